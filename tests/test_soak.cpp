// Long runs: new and loaded worlds stay inside their arrays, finite and whole through steps and 21-second events.
#include "cycle.h"
#include "reset.h"
#include "save_file.h"
#include "selection.h"
#include "step.h"
#include "world.h"
#include "world_check.h"
#include "world_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// The normal run soaks each world for 50 000 steps; the `soak` label builds this file again with 10^6.
#ifndef SOAK_STEPS
#define SOAK_STEPS 50000
#endif

namespace {

const long soak_steps = SOAK_STEPS;
const long event_every = 2000;
// Steps between two rows of the drift table.
const long report_every = soak_steps / 10;

// The first thing wrong with the world after a step, or "" when it is sound.  `pop`, `width`
// and `height` are what the world must still have: nothing but a key or a load may change them.
// `whole` adds the validator's check of every stored value, which costs about as much as a step.
std::string first_fault(const world_state &world, int pop, int width, int height, bool whole = true)
{
    char msg[200];
    if (world.population != pop) {
        std::snprintf(msg, sizeof msg, "population is %d, not %d", world.population, pop);
        return msg;
    }
    if (world.field_width != width || world.field_height != height) {
        std::snprintf(msg, sizeof msg, "field is %d x %d, not %d x %d", world.field_width, world.field_height,
                      width, height);
        return msg;
    }
    // What a running world must be to be saved and loaded again.
    std::string why;
    if (whole && !world_check(world, &why))
        return why;
    for (int c = 0; c < pop; c++) {
        const creature &cr = world.creatures[c];
        if (cr.speed < 0) {
            std::snprintf(msg, sizeof msg, "creature %d has speed %g", c, (double)cr.speed);
            return msg;
        }
    }
    return "";
}

// Checks of the whole field, made after every 21-second event: finite food, sane rates.
std::string field_fault(const world_state &world)
{
    char msg[200];
    for (int i = 0; i < world.field_width; i++) {
        for (int j = 0; j < world.field_height; j++) {
            const int idx = cell_index(i, j);
            const float food = world.cell_food[idx];
            const float rate = world.cell_rate[idx];
            // Regrowth stops above 1.0, so no cell holds more than 1 plus one step of the largest rate.
            if (food > 1.0006f || food < -2.0f) {
                std::snprintf(msg, sizeof msg, "cell (%d, %d) holds food %g", i, j, (double)food);
                return msg;
            }
            if (!(rate >= 0 && rate < 0.03f)) {
                std::snprintf(msg, sizeof msg, "cell (%d, %d) has rate %g", i, j, (double)rate);
                return msg;
            }
        }
    }
    return "";
}

// The largest magnitudes in the live population: what grows over months of running.
struct drift {
    double weight = 0, bias = 0, angle = 0, resources = 0, eaten = 0, speed = 0;

    void take(const world_state &world, int pop)
    {
        for (int c = 0; c < pop; c++) {
            const creature &cr = world.creatures[c];
            angle = std::fmax(angle, std::fabs((double)cr.angle));
            resources = std::fmax(resources, std::fabs((double)cr.resources));
            eaten = std::fmax(eaten, std::fabs((double)cr.eaten));
            speed = std::fmax(speed, std::fabs((double)cr.speed));
            for (int l = 1; l < layer_count; l++) {
                for (int n = 0; n < layer_sizes[l]; n++) {
                    const neuron &ne = cr.neurons[l][n];
                    bias = std::fmax(bias, std::fabs((double)ne.bias));
                    for (int k = 0; k < layer_sizes[l - 1]; k++)
                        weight = std::fmax(weight, std::fabs((double)ne.weight[k]));
                }
            }
        }
    }
    bool finite() const
    {
        return std::isfinite(weight) && std::isfinite(bias) && std::isfinite(angle) && std::isfinite(resources) &&
               std::isfinite(eaten) && std::isfinite(speed);
    }
};

void print_header(const std::string &name)
{
    std::printf("[soak %s] %9s %9s %9s %9s %11s %11s %9s\n", name.c_str(), "step", "|weight|", "|bias|", "|angle|",
                "|resources|", "|eaten|", "speed");
}

void print_row(const std::string &name, long step, const drift &d)
{
    std::printf("[soak %s] %9ld %9.3f %9.3f %9.3f %11.3f %11.3f %9.5f\n", name.c_str(), step, d.weight, d.bias,
                d.angle, d.resources, d.eaten, d.speed);
    std::fflush(stdout);
}

// Runs the world for `steps` steps with the 21-second event every 2000, checking it after every
// step and the field after every event; prints the drift table.  Ends with a save and a load.
void soak(simulation &s, const std::string &name, long steps)
{
    world_state &world = s.world;
    const int pop = world.population;
    const int width = world.field_width;
    const int height = world.field_height;
    ASSERT_EQ(first_fault(world, pop, width, height), "") << "before the first step";

    drift d;
    d.take(world, pop);
    print_header(name);
    print_row(name, 0, d);
    const auto start = std::chrono::steady_clock::now();
    for (long n = 1; n <= steps; n++) {
        sim_step(s);
        std::string fault = first_fault(world, pop, width, height, n % 16 == 0);
        ASSERT_EQ(fault, "") << "after step " << n;
        if (n % event_every == 0) {
            cycle_event(s);
            world.time++;
            ASSERT_EQ(first_fault(world, pop, width, height), "") << "after the event at step " << n;
            ASSERT_EQ(field_fault(world), "") << "after the event at step " << n;
            ASSERT_GE(world.best_index, 0);
            ASSERT_LT(world.best_index, pop);
            d.take(world, pop);
            ASSERT_TRUE(d.finite()) << "after the event at step " << n;
        }
        if (report_every > 0 && n % report_every == 0)
            print_row(name, n, d);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[soak %s] %ld steps in %.1f s\n", name.c_str(), steps, seconds);

    // A world that has run this long still saves and comes back whole.
    scratch_folder dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string path = dir.path + "/soaked.sav";
    const save_result saved = save_world(world, path.c_str());
    ASSERT_TRUE(saved) << saved.why;
    const auto before = world_snapshot(world);
    world_init(world);
    simulation_set_world(s, world);
    world_reset(s);
    const load_outcome loaded = load_world(s, path.c_str());
    ASSERT_EQ(loaded.result, load_ok) << loaded.message;
    EXPECT_EQ(world.population, before->population);
    EXPECT_EQ(world.field_width, before->field_width);
    EXPECT_EQ(world.field_height, before->field_height);
    EXPECT_EQ(world.time, before->time);
    EXPECT_EQ(first_fault(world, pop, width, height), "") << "after the reload";
}

struct small_world {
    int width, height, population;
    bool border; // outermost ring of cells made a border, as a reset would
};

// Edits a lived world down to the given size, saves it, and loads it into a new world
// (s's): the way a smaller world reaches the program.
void load_small_world(simulation &s, const small_world &sw, const std::string &folder)
{
    world_state &world = s.world;
    world_init(world);
    simulation_set_world(s, world);
    world_reset(s);
    for (int n = 0; n < 500; n++)
        sim_step(s);
    world.field_width = sw.width;
    world.field_height = sw.height;
    world.population = sw.population;
    for (int c = 0; c < sw.population; c++) {
        creature &cr = world.creatures[c];
        cr.x = (float)((int)cr.x % sw.width) + 0.5f;
        cr.y = (float)((int)cr.y % sw.height) + 0.5f;
    }
    for (int i = 0; i < sw.width; i++) {
        for (int j = 0; j < sw.height; j++) {
            const bool edge = i == 0 || j == 0 || i == sw.width - 1 || j == sw.height - 1;
            if (sw.border && edge) {
                world.cell_food[cell_index(i, j)] = -2.0f;
                world.cell_rate[cell_index(i, j)] = 0;
            }
        }
    }
    const std::string path = folder + "/small.sav";
    const save_result saved = save_world(world, path.c_str());
    ASSERT_TRUE(saved) << saved.why;

    world_init(world);
    simulation_set_world(s, world);
    world_reset(s);
    const load_outcome loaded = load_world(s, path.c_str());
    ASSERT_EQ(loaded.result, load_ok) << loaded.message;
    ASSERT_EQ(world.population, sw.population);
    ASSERT_EQ(world.field_width, sw.width);
    ASSERT_EQ(world.field_height, sw.height);
}

} // namespace

TEST(soak, new_world)
{
    const auto sim = simulation_new();
    world_reset(*sim);
    soak(*sim, "new 100x75 pop 50", soak_steps);
}

// Raising the population brings never-used, zero-filled slots into play; lowering it leaves slots behind.
TEST(soak, new_world_with_population_changes)
{
    const auto sim = simulation_new();
    sim->world.population = 10;
    world_reset(*sim);
    sim->world.population = 50;
    soak(*sim, "pop 10 raised to 50", soak_steps / 5);
    if (HasFatalFailure())
        return;
    sim->world.population = 2;
    soak(*sim, "lowered to 2", soak_steps / 5);
}

TEST(soak, loaded_small_worlds)
{
    const small_world worlds[] = {
        {30, 20, 5, true},    {19, 7, 2, true},  {3, 3, 2, true},      {1, 1, 2, true},
        {2, 75, 50, true},    {100, 3, 50, false}, {7, 75, 50, false}, {100, 75, 2, true},
    };
    scratch_folder dir;
    ASSERT_FALSE(dir.path.empty());
    const auto sim = simulation_new();
    for (const small_world &sw : worlds) {
        char name[64];
        std::snprintf(name, sizeof name, "loaded %dx%d pop %d%s", sw.width, sw.height, sw.population,
                      sw.border ? "" : " no border");
        SCOPED_TRACE(name);
        load_small_world(*sim, sw, dir.path);
        if (HasFatalFailure())
            return;
        soak(*sim, name, soak_steps);
        if (HasFatalFailure())
            return;
    }
}

// A heading that ran away over many whole turns is passed on as the same heading within -pi .. pi;
// without that the 30 x 20 world above overflows to infinite speeds and headings after 28 410 steps.
TEST(soak, runaway_heading_is_inherited_within_one_turn)
{
    const auto sim = simulation_new();
    world_state &world = sim->world;
    world_reset(*sim);
    world.population = 2;
    const float headings[] = {4.77832e6f, -1.29951e34f, 9.5f, -9.5f};
    for (float h : headings) {
        world.creatures[1].eaten = 1;
        world.creatures[1].angle = h;
        reproduce(*sim, 0);
        ASSERT_EQ(world.best_index, 1);
        const double child = world.creatures[0].angle;
        EXPECT_LE(std::fabs(child), M_PI) << "parent heading " << h;
        EXPECT_EQ(world.creatures[0].angle, (float)std::remainder((double)h, 2 * M_PI));
        EXPECT_EQ(world.creatures[1].angle, h) << "the parent keeps its own heading";
    }
}

// Headings a healthy world holds, including the up to 6.277 of a new world, pass on unchanged.
TEST(soak, ordinary_heading_is_inherited_exactly)
{
    const auto sim = simulation_new();
    world_state &world = sim->world;
    world_reset(*sim);
    world.population = 2;
    const float headings[] = {0.0f, -3.1415927f, 3.1415927f, 6.277f, -6.5f, (float)(3 * M_PI) - 1e-6f};
    for (float h : headings) {
        world.creatures[1].eaten = 1;
        world.creatures[1].angle = h;
        reproduce(*sim, 0);
        EXPECT_EQ(world.creatures[0].angle, h);
    }
}
