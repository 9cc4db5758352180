// Shared set-up for the simulation tests: a fresh process world before each test.
#pragma once

#include "test_support.h"
#include "world.h"

#include <gtest/gtest.h>

struct world_test : ::testing::Test {
    void SetUp() override { world_init(world); }
};

// A field of the given size with no food, no sources and no border, for hand-built scenes.
inline void empty_field(int width, int height)
{
    world.field_width = width;
    world.field_height = height;
    for (int idx = 0; idx < cell_count; idx++) {
        world.cell_food[idx] = 0;
        world.cell_rate[idx] = 0;
    }
}

// Counts the draws between two generator states (the generator has period 2^32).
inline long draws_between(uint32_t from, uint32_t to)
{
    long n = 0;
    while (from != to && n < 100000000) {
        from = from * 214013u + 2531011u;
        n++;
    }
    return n;
}
