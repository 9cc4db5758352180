// A new world: always the same one, and what it leaves alone.
#include "color.h"
#include "reset.h"
#include "rng.h"
#include "world_fixture.h"

#include <cmath>

using reset = world_test;

TEST_F(reset, first_creature_of_a_new_world)
{
    world_reset(*sim);
    const creature &c = world.creatures[0];
    EXPECT_EQ(c.x, 4.5f);
    EXPECT_EQ(c.y, 40.5f);
    EXPECT_EQ(c.angle, (float)(2 * 843 * M_PI * 0.001));
    EXPECT_NEAR(c.angle, 5.2967, 1e-4);
    EXPECT_EQ(world.display_on, 1);
    EXPECT_EQ(world.field_width, 100);
    for (int s = 0; s < 50; s++) {
        const creature &k = world.creatures[s];
        EXPECT_EQ(k.resources, 5.0f);
        EXPECT_EQ(k.speed, 0.1f);
        EXPECT_EQ(k.x - std::floor(k.x), 0.5f);
        EXPECT_EQ(k.y - std::floor(k.y), 0.5f);
        EXPECT_EQ(k.neurons[1][0].tag, 1);
    }
}

TEST_F(reset, every_new_world_is_the_same)
{
    world_reset(*sim);
    const auto first = world_snapshot(world);
    world.time = 99;
    world.creatures[4].x = 1.0f;
    world.cell_food[500] = 0.3f;
    world.field_width = 30;
    world_reset(*sim);
    EXPECT_TRUE(world_equal(*first, world));
}

TEST_F(reset, keeps_slots_beyond_population_but_recolours_all)
{
    world.population = 10;
    world.creatures[20].x = 7.25f;
    world.creatures[20].color = 0x123456;
    world.best_index = 3;
    world_reset(*sim);
    EXPECT_EQ(world.creatures[20].x, 7.25f);
    EXPECT_NE(world.creatures[20].color, 0x123456);
    EXPECT_EQ(world.creatures[20].resources, 0.0f);
    EXPECT_EQ(world.best_index, 3);
}

TEST_F(reset, colorize_draws_blue_green_red)
{
    rng_seed(world, 5);
    colorize(world);
    EXPECT_EQ(draws_between(5, world.rng_state), 150);
    rng_seed(world, 5);
    const int b = rng_next(world) % 256, g = rng_next(world) % 256, r = rng_next(world) % 256;
    EXPECT_EQ(world.creatures[0].color, color_pack(r, g, b));
}

// The screen paints over the old field before a new world is drawn: its size is there to be read
// before the reset, and the reset reads nothing but the simulation it is given.
TEST_F(reset, the_old_field_size_is_there_to_read_before_a_reset)
{
    world.field_width = 40;
    world.field_height = 20;
    EXPECT_EQ(world.field_width * cell_px, 320);
    EXPECT_EQ(world.field_height * cell_px, 160);
    const auto other = simulation_new();
    other->world.field_width = 30;
    other->world.field_height = 10;
    const auto untouched = world_snapshot(*other);
    world_reset(*sim);
    EXPECT_EQ(world.field_width, 100);
    EXPECT_EQ(world.field_height, 75);
    EXPECT_TRUE(world_equal(other->world, *untouched));
    world_reset(*other);
    EXPECT_TRUE(world_equal(other->world, world));
}
