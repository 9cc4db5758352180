// Birth of a mutated clone of the best eater, the energy dividend, and the cull of the worst.
#include "selection.h"

#include "brain.h"
#include "color.h"
#include "rng.h"
#include "simulation.h"
#include "world.h"

#include <cmath>

static int clamp_component(int v) { return v >= 255 ? 255 : (v < 0 ? 0 : v); }

void reproduce(simulation &s, int dst)
{
    world_state &world = s.world;
    creature *cr = world.creatures;
    int parent = dst == 0 ? 1 : 0;
    for (int k = 0; k < world.population; k++)
        if (k != dst && cr[k].eaten > cr[parent].eaten)
            parent = k; // strictly greater: ties keep the lowest slot
    world.best_index = parent;
    life_birth(s.life, dst, parent);

    brain_inherit(s, dst, parent);
    creature &pa = cr[parent];
    creature &ch = cr[dst];
    pa.resources = (float)((double)pa.resources + 1.0);
    ch.speed = 0.1f;
    ch.age = 0;
    ch.resources = pa.resources;
    ch.x = pa.x;
    ch.y = pa.y;
    ch.angle = pa.angle;
    // The same heading, within -pi .. pi.  The step wraps a heading only once, so a network that
    // turns more than a full circle per step sends it off to huge values; passed on at birth, such
    // a heading spreads until every creature holds it and the world overflows and never recovers.
    if (std::fabs((double)ch.angle) > 3 * M_PI)
        ch.angle = (float)std::remainder((double)ch.angle, 2 * M_PI);

    const int r = clamp_component(color_red(pa.color) + (rng_next(world) % 41 - 20));
    const int g = clamp_component(color_green(pa.color) + (rng_next(world) % 41 - 20));
    const int b = clamp_component(color_blue(pa.color) + (rng_next(world) % 41 - 20));
    ch.color = color_pack(r, g, b);

    for (int k = 0; k < world.population; k++) {
        creature &c = cr[k];
        const float paid = (float)((double)c.resources * 0.5 + (double)c.eaten * 2);
        c.resources = (float)((double)paid + 1);
        c.eaten = (float)((double)c.eaten * 0.5);
    }
}

void replace_exhausted(simulation &s, int dst)
{
    s.life.births_exhaustion++;
    reproduce(s, dst);
}

void cull_worst(simulation &s)
{
    const world_state &world = s.world;
    int worst = 0;
    for (int k = 1; k < world.population; k++)
        if (world.creatures[k].eaten < world.creatures[worst].eaten)
            worst = k;
    s.life.births_cull++;
    reproduce(s, worst);
}
