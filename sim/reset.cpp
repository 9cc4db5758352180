// A brand-new world, identical on every run because the generator restarts at 1.
#include "reset.h"

#include "brain.h"
#include "color.h"
#include "field.h"
#include "rng.h"
#include "world.h"

#include <cmath>

void (*world_reset_screen_hook)(int width_px, int height_px) = nullptr;

void world_reset()
{
    world.steps_this_second = 0;
    world.time = 0;
    world.display_on = 1;
    if (world_reset_screen_hook)
        world_reset_screen_hook(world.field_width * cell_px, world.field_height * cell_px);
    rng_seed(1);
    field_reset();
    for (int c = 0; c < world.population; c++) {
        creature &cr = world.creatures[c];
        cr.age = 0;
        const int col = rng_next() % world.field_width;
        const int row = rng_next() % world.field_height;
        const int heading = rng_next() % 1000;
        cr.x = (float)(col + 0.5);
        cr.y = (float)(row + 0.5);
        cr.speed = 0.1f;
        cr.resources = 5.0f;
        cr.eaten = 0;
        cr.angle = (float)(2 * heading * M_PI * 0.001);
        brain_randomize(c);
    }
    colorize();
}

void colorize()
{
    for (int c = 0; c < creature_slots; c++) {
        const int blue = rng_next() % 256;
        const int green = rng_next() % 256;
        const int red = rng_next() % 256;
        world.creatures[c].color = color_pack(red, green, blue);
    }
}
