// The step on hand-built scenes: sensing sectors, moving at walls, eating, penalties, replacement.
#include "brain.h"
#include "reset.h"
#include "step.h"
#include "world_fixture.h"

#include <cmath>

struct step : world_test {
    // A creature whose network is silent but for the two commands it obeys (outputs = biases).
    creature &place(int c, float x, float y, float angle, float turn = 0, float push = 0)
    {
        creature &cr = world.creatures[c];
        cr = creature{};
        cr.x = x;
        cr.y = y;
        cr.angle = angle;
        cr.resources = 5.0f;
        cr.neurons[output_layer][output_turn].bias = turn;
        cr.neurons[output_layer][output_push].bias = push;
        simulation_set_world(*sim, world); // its network was written by hand
        return cr;
    }
    float input(int c, int k) const { return world.creatures[c].neurons[0][k].output; }
};

TEST_F(step, sectors_of_a_cell_ahead)
{
    empty_field(world, 20, 20);
    world.population = 2;
    world.cell_food[cell_index(8, 5)] = 0.5f;
    const struct {
        float angle;
        int sector;
    } cases[] = {{0.0f, 5}, {0.55f, 0}, {-0.5f, -1}, {-0.45f, 9}, {0.45f, 0}, {0.35f, 1}};
    for (const auto &tc : cases) {
        place(0, 5.5f, 5.5f, tc.angle);
        place(1, 15.5f, 15.5f, 0.0f);
        sim_step(*sim);
        for (int k = 0; k < sector_count; k++) {
            SCOPED_TRACE(testing::Message() << "angle " << tc.angle << " sector " << k);
            if (k == tc.sector) {
                EXPECT_EQ(input(0, input_food + k), (float)(0.5 / (std::sqrt(3.0) + 1)));
                EXPECT_EQ(input(0, input_nearness + k), (float)(1.0 / (3.0 + 1.0)));
            } else {
                EXPECT_EQ(input(0, input_food + k), 0.0f);
                EXPECT_EQ(input(0, input_nearness + k), (float)(1.0 / 1001.0));
            }
        }
        EXPECT_EQ(input(0, input_angle), tc.angle);
    }
}

TEST_F(step, creature_on_a_cell_centre_sees_it_at_distance_zero)
{
    empty_field(world, 20, 20);
    world.population = 2;
    world.cell_food[cell_index(5, 5)] = 0.25f;
    place(0, 5.5f, 5.5f, 0.0f);
    place(1, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    EXPECT_EQ(input(0, input_food + 5), 0.25f);
    EXPECT_EQ(input(0, input_nearness + 5), 1.0f);
    // Standing still on it, it ate it too.
    EXPECT_EQ(world.cell_food[cell_index(5, 5)], -1.0f);
    EXPECT_EQ(world.creatures[0].eaten, 0.25f);
}

TEST_F(step, food_below_visibility_is_eaten_but_not_seen)
{
    empty_field(world, 20, 20);
    world.population = 2;
    world.cell_food[cell_index(8, 5)] = 0.09f;
    world.cell_food[cell_index(15, 15)] = 0.09f;
    place(0, 5.5f, 5.5f, 0.0f);
    place(1, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    EXPECT_EQ(input(0, input_food + 5), 0.0f);
    EXPECT_EQ(world.creatures[1].eaten, 0.09f);
}

TEST_F(step, wall_slide_keeps_the_blocked_axis)
{
    empty_field(world, 20, 20);
    world.population = 2;
    creature &c = place(0, 0.05f, 5.5f, 3.0f, 0.0f, 500.0f); // speed 0.1, heading mostly -x
    place(1, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    EXPECT_EQ(c.speed, (float)std::fabs(500.0 * 0.0002));
    EXPECT_EQ(c.x, 0.05f);
    EXPECT_EQ(c.y, (float)(5.5 + (double)c.speed * std::sin(3.0)));
    EXPECT_EQ(c.angle, 3.0f);

    // The far wall stops at width - 0.125.
    creature &e = place(0, 19.8f, 5.5f, 0.0f, 0.0f, 500.0f);
    sim_step(*sim);
    EXPECT_EQ(e.x, 19.8f);
}

TEST_F(step, border_cell_costs_energy_and_tally)
{
    empty_field(world, 20, 20);
    world.population = 2;
    world.cell_food[cell_index(0, 5)] = -2.0f;
    creature &c = place(0, 0.5f, 5.5f, 0.0f);
    c.eaten = 1.0f;
    place(1, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    const float after_costs = (float)(5.0 - (0.0 / 65536 + 0.0 / 256 + 0.00001));
    EXPECT_EQ(c.resources, (float)((double)after_costs - 0.001));
    EXPECT_EQ(c.eaten, (float)(1.0 - 0.001));
    EXPECT_EQ(world.cell_food[cell_index(0, 5)], -2.0f);
}

TEST_F(step, lower_slot_eats_first)
{
    empty_field(world, 20, 20);
    world.population = 3;
    world.cell_food[cell_index(6, 5)] = 0.05f;
    place(0, 5.95f, 5.5f, 0.0f, 0.0f, 500.0f);
    place(1, 5.95f, 5.5f, 0.0f, 0.0f, 500.0f);
    place(2, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    EXPECT_EQ(world.creatures[0].eaten, 0.05f);
    EXPECT_EQ(world.creatures[1].eaten, 0.0f);
    EXPECT_EQ(world.creatures[1].x, world.creatures[0].x);
    EXPECT_EQ(world.cell_food[cell_index(6, 5)], -1.0f);
}

TEST_F(step, exhausted_creature_is_replaced_not_moved)
{
    empty_field(world, 20, 20);
    world.population = 3;
    creature &dead = place(0, 3.5f, 3.5f, 0.0f, 0.0f, 500.0f);
    dead.resources = 0.0f;
    dead.age = 40;
    creature &best = place(1, 9.5f, 7.5f, 1.0f);
    best.eaten = 2.0f;
    place(2, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    EXPECT_EQ(world.best_index, 1);
    EXPECT_EQ(dead.age, 0);
    EXPECT_EQ(dead.x, 9.5f); // on its parent, not moved by its own push
    EXPECT_EQ(dead.y, 7.5f);
    EXPECT_EQ(dead.speed, 0.1f);
}

TEST_F(step, costs_that_exhaust_still_move_and_eat)
{
    empty_field(world, 20, 20);
    world.population = 2;
    world.cell_food[cell_index(6, 5)] = 0.5f;
    creature &c = place(0, 5.95f, 5.5f, 0.0f, 0.0f, 500.0f);
    c.resources = 1e-6f;
    place(1, 15.5f, 15.5f, 0.0f);
    sim_step(*sim);
    EXPECT_GT(c.x, 6.0f);
    EXPECT_EQ(c.eaten, 0.5f);
}

TEST_F(step, heading_wraps_once)
{
    empty_field(world, 20, 20);
    world.population = 2;
    creature &c = place(0, 5.5f, 5.5f, 3.1415f, 1.0f); // turn +0.0001 crosses pi
    place(1, 15.5f, 15.5f, 5.0f);
    sim_step(*sim);
    const float turned = (float)(3.1415 + 1.0 * 0.0001);
    EXPECT_GT((double)turned, M_PI);
    EXPECT_EQ(c.angle, (float)((double)turned - 2 * M_PI));
    EXPECT_EQ(world.creatures[1].angle, (float)(5.0 - 2 * M_PI)); // once, not into -pi..pi
}

TEST_F(step, slot_raised_into_play_is_reborn_on_its_first_step)
{
    world.population = 3;
    world_reset(*sim);
    world.population = 4; // slot 3 was never used: all zeros
    sim_step(*sim);
    const creature &c = world.creatures[3];
    EXPECT_GT(c.resources, 0.0f);
    EXPECT_EQ(c.speed, 0.1f);
    EXPECT_EQ(c.x, world.creatures[world.best_index].x);
    EXPECT_EQ(world.steps_this_second, 1);
}
