// The generator and the food field: known draws, reset, reseed and regrowth.
#include "field.h"
#include "rng.h"
#include "world_fixture.h"

#include <algorithm>
#include <cmath>

using rng_field = world_test;

// The smallest seed whose next draws (mod m) are the given values.
static uint32_t seed_giving(world_state &world, std::initializer_list<int> wanted, int m)
{
    for (uint32_t seed = 0;; seed++) {
        rng_seed(world, seed);
        bool ok = true;
        for (int w : wanted)
            ok = ok && rng_next(world) % m == w;
        if (ok)
            return seed;
    }
}

TEST_F(rng_field, first_draws_after_seed_one)
{
    rng_seed(world, 1);
    EXPECT_EQ(rng_next(world), 41);
    EXPECT_EQ(rng_next(world), 18467);
    EXPECT_EQ(rng_next(world), 6334);
    EXPECT_EQ(cell_index(3, 2), 227);
}

TEST_F(rng_field, reset_builds_border_and_sources)
{
    world.field_width = 40;
    world.field_height = 30;
    rng_seed(world, 1);
    field_reset(world);
    EXPECT_EQ(draws_between(1, world.rng_state), 7154);
    EXPECT_EQ(world.field_width, 100);
    EXPECT_EQ(world.field_height, 75);
    EXPECT_EQ(cell_px, 8); // a cell's top-left pixel is (i * cell_px, j * cell_px)
    int sources = 0;
    for (int i = 0; i < 100; i++) {
        for (int j = 0; j < 75; j++) {
            const int idx = cell_index(i, j);
            if (i == 0 || i == 99 || j == 0 || j == 74) {
                EXPECT_EQ(world.cell_food[idx], -2.0f);
                EXPECT_EQ(world.cell_rate[idx], 0.0f);
            } else {
                EXPECT_EQ(world.cell_food[idx], 0.0f);
                EXPECT_LE(world.cell_rate[idx], 0.02f);
                sources += world.cell_rate[idx] != 0;
            }
        }
    }
    EXPECT_EQ(sources, 207);
}

TEST_F(rng_field, reset_draw_of_200_is_a_source)
{
    const uint32_t seed = seed_giving(world, {200}, 10000);
    rng_seed(world, seed);
    field_reset(world);
    EXPECT_EQ(world.cell_rate[cell_index(1, 1)], (float)0.02);
}

TEST_F(rng_field, reseed_draw_boundaries)
{
    // A 3 x 3 field has one interior cell, so every draw of the reseed lands on it.
    empty_field(world, 3, 3);
    const int mid = cell_index(1, 1);

    world.cell_food[mid] = 0.7f;
    world.cell_rate[mid] = 0.01f;
    rng_seed(world, seed_giving(world, {300}, 10000));
    field_reseed(world);
    EXPECT_EQ(world.cell_rate[mid], 0.0f);
    EXPECT_EQ(world.cell_food[mid], 0.7f);

    // A draw of 0 gives rate 0 but still redraws the food.
    world.cell_food[mid] = 0.7f;
    uint32_t seed = seed_giving(world, {0}, 10000);
    rng_seed(world, seed);
    rng_next(world);
    int r2 = rng_next(world) % 10000;
    rng_seed(world, seed);
    field_reseed(world);
    EXPECT_EQ(world.cell_rate[mid], 0.0f);
    EXPECT_EQ(world.cell_food[mid], (float)-(r2 * 0.0001));

    seed = seed_giving(world, {299}, 10000);
    rng_seed(world, seed);
    rng_next(world);
    r2 = rng_next(world) % 10000;
    rng_seed(world, seed);
    world.population = 50;
    field_reseed(world);
    EXPECT_EQ(world.cell_rate[mid], (float)(299 * 0.0001 * (50 * 0.02)));
    EXPECT_EQ(world.cell_food[mid], (float)-(r2 * 0.0001));

    // A second draw of 0 stores -0.0, the negation of the product.
    for (seed = 0;; seed++) {
        rng_seed(world, seed);
        if (rng_next(world) % 10000 < 300 && rng_next(world) % 10000 == 0)
            break;
    }
    rng_seed(world, seed);
    field_reseed(world);
    EXPECT_EQ(world.cell_food[mid], 0.0f);
    EXPECT_TRUE(std::signbit(world.cell_food[mid]));
    // Border cells are never touched.
    EXPECT_EQ(world.cell_food[cell_index(0, 1)], 0.0f);
}

TEST_F(rng_field, reseed_scales_with_population)
{
    rng_seed(world, 1);
    field_reset(world);
    world.population = 2;
    field_reseed(world);
    float max_rate = 0;
    for (int idx = 0; idx < cell_count; idx++)
        max_rate = std::max(max_rate, world.cell_rate[idx]);
    EXPECT_GT(max_rate, 0.0f);
    EXPECT_LT(max_rate, 0.0012f);
}

TEST_F(rng_field, regrowth_stops_above_one)
{
    world.cell_rate[5] = 0.02f;
    world.cell_food[5] = 1.0f;
    cell_regrow(world, 5);
    EXPECT_EQ(world.cell_food[5], (float)(1.0 + (double)0.02f * 0.02));
    const float above = world.cell_food[5];
    cell_regrow(world, 5);
    EXPECT_EQ(world.cell_food[5], above);
    world.cell_food[6] = -2.0f; // border: rate 0 keeps it
    cell_regrow(world, 6);
    EXPECT_EQ(world.cell_food[6], -2.0f);
}
