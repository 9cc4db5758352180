// The one global world and the values a process starts with.
#include "world.h"

#include "brain.h"

#include <cstring>

world_state world = [] {
    world_state w;
    world_init(w);
    return w;
}();

void world_init(world_state &w)
{
    std::memset(&w, 0, sizeof w);
    w.population = 50;
    w.field_width = field_max_width;
    w.field_height = field_max_height;
    w.text_x = 10;
    w.text_y = 10;
    w.rng_state = 1;
    // Whatever the step derived from the old networks is stale once a world is replaced.
    brains_changed();
}

bool world_equal(const world_state &a, const world_state &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
