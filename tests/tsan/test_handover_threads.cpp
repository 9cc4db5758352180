// Allegro's timer and input threads played far faster than real against the main loop that steps the world.
// Built with -fsanitize=thread (build-tsan) any access to the world outside the hand-over is reported;
// in every build the counts show that no tick is lost, run twice, or run inside a step.
#include "clock.h"
#include "front_state.h"
#include "handover.h"
#include "pointer.h"
#include "keys.h"
#include "reset.h"
#include "run_loop.h"
#include "simulation.h"
#include "step.h"
#include "world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Ticks each timer thread delivers: about 10^4 times the real rates over the life of a test.
const long clock_ticks = 4000;
const long display_ticks = 40000;

// Set while a step runs; a pass that finds it set ran inside a step.
bool in_step = false;
// Written by the main loop only; atomic because the input thread watches it to pick its moment.
std::atomic<long> passes{0};
long passes_inside_a_step = 0;
int next_key = 0;
double drawn = 0; // keeps the drawing reads from being optimised away

// What the program runs on: the simulation and the front end's own state, every hook's context.
struct program_state {
    std::unique_ptr<simulation> sim = simulation_new();
    front_state front;
};

// One second of the clock; without a screen there is nothing to clear after the event.
void clock_pass(void *context)
{
    program_state &p = *static_cast<program_state *>(context);
    clock_tick(*p.sim, p.front);
}

// What display_tick does between two steps, without a screen: one key command, then a read of
// everything a drawing pass reads.
std::vector<int> keys;
void display_pass(void *context)
{
    program_state &p = *static_cast<program_state *>(context);
    const world_state &world = p.sim->world;
    passes++;
    if (in_step)
        passes_inside_a_step++;
    if (!keys.empty())
        key_command(*p.sim, p.front, keys[(size_t)next_key++ % keys.size()]);
    double sum = world.time + p.front.ips + world.best_index + p.front.text_x + p.front.text_y;
    for (int i = 0; i < world.field_width; i++)
        for (int j = 0; j < world.field_height; j++)
            sum += world.cell_food[cell_index(i, j)];
    for (int c = 0; c < world.population; c++)
        sum += world.creatures[c].x + world.creatures[c].y + world.creatures[c].angle + world.creatures[c].color +
               world.creatures[c].age + world.creatures[c].resources;
    drawn += sum;
}

// The program's main loop with the step marked, so a pass can tell whether it ran inside one.
void marked_step(void *context)
{
    in_step = true;
    sim_step(*static_cast<program_state *>(context)->sim);
    in_step = false;
}
handover_work work_on(program_state &p) { return {&p, clock_pass, display_pass}; }
long main_loop(program_state &p)
{
    run_loop_hooks hooks;
    hooks.work = work_on(p);
    hooks.step = marked_step;
    return run_loop(hooks);
}

struct handover_threads : ::testing::Test {
    program_state state;
    world_state &world = state.sim->world;
    void SetUp() override
    {
        world_reset(*state.sim);
        handover_clear();
        running.store(-1);
        passes = 0;
        passes_inside_a_step = 0;
        next_key = 0;
        keys.clear();
    }
};

// The timer threads: each delivers its ticks as fast as it can, yielding now and then so the
// main loop sees them arrive during steps, between steps and while it runs earlier ones.
void flood(void (*handler)(), long n)
{
    for (long t = 0; t < n; t++) {
        handler();
        if (t % 64 == 0)
            std::this_thread::yield();
    }
}

} // namespace

TEST_F(handover_threads, every_clock_tick_runs_once_and_passes_fall_between_steps)
{
    // Every command but F12, whose new world would set the clock back to 0.
    keys = {scancode_f1, scancode_f2, scancode_f3, scancode_f4, scancode_plus_pad, scancode_minus_pad,
            scancode_minus, scancode_plus_pad};
    std::atomic<int> timers_done{0};
    std::thread clock_thread([&] {
        flood(handover_clock_timer, clock_ticks);
        timers_done++;
    });
    std::thread display_thread([&] {
        flood(handover_display_timer, display_ticks);
        timers_done++;
    });
    // The input thread: mouse events once the timers are through, as a user would end the run.
    std::thread mouse_thread([&] {
        while (timers_done.load() < 2)
            std::this_thread::yield();
        for (int m = 0; m < 1000; m++)
            stop_on_mouse(m | pointer_left_down, m, m);
    });

    const long steps = main_loop(state);
    clock_thread.join();
    display_thread.join();
    mouse_thread.join();
    // Ticks that arrived after the last step are still waiting, not lost.
    handover_run(work_on(state));

    EXPECT_EQ(world.time, clock_ticks);
    EXPECT_EQ(state.front.cycle_counter, clock_ticks % 21);
    EXPECT_FALSE(handover_pending());
    EXPECT_GE(passes.load(), 1);
    EXPECT_LE(passes.load(), display_ticks);
    EXPECT_EQ(passes_inside_a_step, 0);
    EXPECT_GE(steps, 1);
    EXPECT_GE(world.population, population_min);
    EXPECT_LE(world.population, population_max);
    EXPECT_EQ(running.load(), 0);
}

// New worlds, new fields and population changes land between steps while the timers flood in;
// the world stays whole and the loop still stops on the first mouse event.
TEST_F(handover_threads, world_rebuilt_between_steps_under_a_flood)
{
    keys = {scancode_f12, scancode_plus_pad, scancode_f4, scancode_minus_pad, scancode_f2, scancode_minus};
    std::atomic<bool> stop_floods{false};
    // At most `ticks` of them: clock ticks add up (every 21st reseeds the field), and an endless flood
    // would outrun the main loop for ever on a slow machine.
    auto until_stopped = [&](void (*handler)(), long ticks) {
        for (long t = 0; t < ticks && !stop_floods.load(); t++) {
            handler();
            std::this_thread::yield();
        }
    };
    std::thread clock_thread(until_stopped, handover_clock_timer, clock_ticks);
    std::thread display_thread(until_stopped, handover_display_timer, LONG_MAX);
    std::thread mouse_thread([&] {
        // Let a few hundred passes through, then stop from the input thread while the timers go on.
        while (passes.load() < 300)
            std::this_thread::yield();
        stop_on_mouse(pointer_wheel, 0, 0);
    });
    const long steps = main_loop(state);
    stop_floods = true;
    clock_thread.join();
    display_thread.join();
    mouse_thread.join();

    EXPECT_GE(steps, 1);
    EXPECT_EQ(passes_inside_a_step, 0);
    for (int c = 0; c < world.population; c++) {
        const creature &cr = world.creatures[c];
        EXPECT_TRUE(cr.x >= 0 && cr.x < world.field_width && cr.y >= 0 && cr.y < world.field_height)
            << "creature " << c;
    }
}
