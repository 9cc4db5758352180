// The values a world starts with, and the equality of two worlds.
#include "world.h"

#include <cstring>

void world_init(world_state &w)
{
    std::memset(&w, 0, sizeof w);
    w.population = 50;
    w.field_width = field_max_width;
    w.field_height = field_max_height;
    w.rng_state = 1;
}

bool world_equal(const world_state &a, const world_state &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
