// Shared set-up for the simulation tests: a simulation of its own, holding a new world, for each test.
#pragma once

#include "simulation.h"
#include "test_support.h"
#include "world.h"

#include <gtest/gtest.h>

#include <memory>

struct world_test : ::testing::Test {
    std::unique_ptr<simulation> sim = simulation_new();
    world_state &world = sim->world; // the simulation's world, as the tests write to it
};

// A field of the given size with no food, no sources and no border, for hand-built scenes.
inline void empty_field(world_state &w, int width, int height)
{
    w.field_width = width;
    w.field_height = height;
    for (int idx = 0; idx < cell_count; idx++) {
        w.cell_food[idx] = 0;
        w.cell_rate[idx] = 0;
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
