// A brand-new world, identical on every run because the generator restarts at 1.
#include "reset.h"

#include "brain.h"
#include "color.h"
#include "field.h"
#include "rng.h"
#include "simulation.h"
#include "world.h"

#include <cmath>

void world_reset(simulation &s)
{
    world_state &world = s.world;
    // A new world begins a new life: its counters start again, its first creatures are generation 0.
    life_clear(s.life);
    world.steps_this_second = 0;
    world.time = 0;
    world.display_on = 1;
    rng_seed(world, 1);
    field_reset(world);
    for (int c = 0; c < world.population; c++) {
        creature &cr = world.creatures[c];
        cr.age = 0;
        const int col = rng_next(world) % world.field_width;
        const int row = rng_next(world) % world.field_height;
        const int heading = rng_next(world) % 1000;
        cr.x = (float)(col + 0.5);
        cr.y = (float)(row + 0.5);
        cr.speed = 0.1f;
        cr.resources = 5.0f;
        cr.eaten = 0;
        cr.angle = (float)(2 * heading * M_PI * 0.001);
        brain_randomize(s, c);
    }
    colorize(world);
}

void colorize(world_state &w)
{
    for (int c = 0; c < creature_slots; c++) {
        const int blue = rng_next(w) % 256;
        const int green = rng_next(w) % 256;
        const int red = rng_next(w) % 256;
        w.creatures[c].color = color_pack(red, green, blue);
    }
}
