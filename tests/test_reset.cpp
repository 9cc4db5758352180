// A new world: always the same one, and what it leaves alone.
#include "color.h"
#include "reset.h"
#include "rng.h"
#include "world_fixture.h"

#include <cmath>

using reset = world_test;

TEST_F(reset, first_creature_of_a_new_world)
{
    world_reset();
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
    world_reset();
    const auto first = world_snapshot();
    world.time = 99;
    world.creatures[4].x = 1.0f;
    world.cell_food[500] = 0.3f;
    world.field_width = 30;
    world_reset();
    EXPECT_TRUE(world_equal(*first, world));
}

TEST_F(reset, keeps_slots_beyond_population_but_recolours_all)
{
    world.population = 10;
    world.creatures[20].x = 7.25f;
    world.creatures[20].color = 0x123456;
    world.cycle_counter = 5;
    world.best_index = 3;
    world.text_x = 77;
    world_reset();
    EXPECT_EQ(world.creatures[20].x, 7.25f);
    EXPECT_NE(world.creatures[20].color, 0x123456);
    EXPECT_EQ(world.creatures[20].resources, 0.0f);
    EXPECT_EQ(world.cycle_counter, 5);
    EXPECT_EQ(world.best_index, 3);
    EXPECT_EQ(world.text_x, 77);
}

TEST_F(reset, colorize_draws_blue_green_red)
{
    rng_seed(5);
    colorize();
    EXPECT_EQ(draws_between(5, world.rng_state), 150);
    rng_seed(5);
    const int b = rng_next() % 256, g = rng_next() % 256, r = rng_next() % 256;
    EXPECT_EQ(world.creatures[0].color, color_pack(r, g, b));
}

static int hook_w, hook_h;
TEST_F(reset, screen_hook_sees_the_old_field_size)
{
    world.field_width = 40;
    world.field_height = 20;
    world_reset_screen_hook = [](int w, int h) { hook_w = w, hook_h = h; };
    world_reset();
    world_reset_screen_hook = nullptr;
    EXPECT_EQ(hook_w, 320);
    EXPECT_EQ(hook_h, 160);
}
