// The fast step against the reference step: the whole world, bit for bit, over many scenarios
// and every build of the step this processor can run.
#include "brain.h"
#include "cycle.h"
#include "reset.h"
#include "save_file.h"
#include "step.h"
#include "step_kernels.h"
#include "step_reference.h"
#include "step_weights.h"
#include "test_support.h"
#include "world_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
const bool sanitized = true;
#else
const bool sanitized = false;
#endif
#else
const bool sanitized = false;
#endif

// Sanitizer builds, and any run with LIFE_SHORT_TESTS set, cut every run to a tenth.
long long scaled(long long steps) { return sanitized || std::getenv("LIFE_SHORT_TESTS") ? (steps + 9) / 10 : steps; }

std::vector<const step_kernels *> usable_builds()
{
    std::vector<const step_kernels *> usable;
    for (int b = 0; b < step_kernels_build_count; b++)
        if (const step_kernels *k = step_kernels_builds[b]; step_kernels_usable(*k))
            usable.push_back(k);
    return usable;
}

// Where two worlds first differ, for the failure message.
std::string first_difference(const world_state &a, const world_state &b)
{
    const unsigned char *pa = (const unsigned char *)&a, *pb = (const unsigned char *)&b;
    size_t at = 0;
    while (at < sizeof a && pa[at] == pb[at])
        at++;
    if (at == sizeof a)
        return "none";
    if (at < sizeof a.creatures)
        return "creature " + std::to_string(at / sizeof(creature)) + ", byte " + std::to_string(at % sizeof(creature));
    return "byte " + std::to_string(at) + " of the world";
}

struct scenario {
    int population;
    long long steps;
    long long event_every; // 0: none
    int width, height;     // field in use
    unsigned seed;         // for the extra food and headings; 0 leaves the reset world alone
};

// A world as the program builds it in s, then (seed != 0) shrunk to the scenario's field, with
// food strewn about, creatures re-placed inside, some on cell centres and some with headings
// outside -pi .. pi.
void build_world(simulation &s, const scenario &sc)
{
    world_state &world = s.world;
    world_init(world);
    simulation_set_world(s, world);
    world.population = sc.population;
    world_reset(s);
    if (!sc.seed)
        return;
    std::mt19937 gen(sc.seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    world.field_width = sc.width;
    world.field_height = sc.height;
    for (int i = 0; i < sc.width; i++) {
        for (int j = 0; j < sc.height; j++) {
            const int idx = cell_index(i, j);
            if (world.cell_food[idx] == -2.0f)
                continue;
            const float r = unit(gen);
            if (r < 0.15f)
                world.cell_food[idx] = 1.2f * unit(gen) - 0.1f;
            if (r > 0.97f)
                world.cell_rate[idx] = 0.05f * unit(gen);
        }
    }
    const float wild[] = {6.277f, -6.2f, 3.3f, -3.2f, 4.0f, -4.5f, 12.0f, -15.9f, 40.0f};
    for (int c = 0; c < creature_slots; c++) {
        creature &cr = world.creatures[c];
        cr.x = 0.5f + (sc.width - 1.5f) * unit(gen);
        cr.y = 0.5f + (sc.height - 1.5f) * unit(gen);
        if (c % 4 == 1) { // on a cell centre
            cr.x = std::floor(cr.x) + 0.5f;
            cr.y = std::floor(cr.y) + 0.5f;
        }
        if (c % 3 == 2)
            cr.angle = wild[(c / 3) % (sizeof wild / sizeof wild[0])];
    }
}

// Runs the scenario on the reference and on each fast build, each in its own simulation,
// comparing the whole world after every event and at the end.
void expect_same_run(const scenario &sc, const std::vector<const step_kernels *> &builds)
{
    const auto ref = simulation_new();
    build_world(*ref, sc);
    std::vector<std::unique_ptr<simulation>> fast;
    for (size_t b = 0; b < builds.size(); b++) {
        fast.push_back(simulation_new());
        simulation_set_world(*fast.back(), ref->world);
    }
    const long long steps = scaled(sc.steps);
    const long long chunk = sc.event_every ? sc.event_every : steps;
    for (long long done = 0; done < steps;) {
        const long long to = std::min(done + chunk, steps);
        const bool event = sc.event_every && to % sc.event_every == 0;
        for (long long s = done; s < to; s++)
            sim_step_reference(*ref);
        if (event)
            cycle_event(*ref);

        for (size_t b = 0; b < builds.size(); b++) {
            sim_steps_with(*fast[b], *builds[b], (long)(to - done));
            if (event)
                cycle_event(*fast[b]);
            ASSERT_TRUE(world_equal(ref->world, fast[b]->world))
                << builds[b]->name << ": population " << sc.population << ", field " << sc.width << "x" << sc.height
                << ", events every " << sc.event_every << ": worlds differ after step " << to << " at "
                << first_difference(ref->world, fast[b]->world);
            // The reference counts the world's life in its own loop: the two counts must agree too.
            ASSERT_TRUE(life_equal(ref->life, fast[b]->life))
                << builds[b]->name << ": the counters differ after step " << to;
        }
        done = to;
    }
}

struct step_equivalence : world_test {};

void expect_same_steps(simulation &s, int steps, const char *what);

// Heading +0.0 in a slot never stepped before: its cos and sin are 1 and 0, not what an
// untouched cache of them holds.  (ctest runs each case in a fresh process.)
TEST_F(step_equivalence, first_step_of_a_slot_heading_zero)
{
    empty_field(world, 20, 20);
    world.population = 2;
    world.cell_food[cell_index(9, 5)] = 0.5f;
    for (int c = 0; c < 2; c++) {
        world.creatures[c].x = 5.5f;
        world.creatures[c].y = 5.5f;
        world.creatures[c].angle = 0.0f;
        world.creatures[c].resources = 5.0f;
        world.creatures[c].neurons[output_layer][output_push].bias = 500.0f; // speed 0.1
    }
    expect_same_steps(*sim, 1, "heading zero");
    EXPECT_EQ(world.creatures[0].x, (float)(5.5 + (double)0.1f));
}

TEST_F(step_equivalence, every_build_runs_on_this_machine)
{
    // The baseline builds always run; the best is one of them.
    const auto builds = usable_builds();
    ASSERT_GE(builds.size(), 1u);
    bool best_listed = false;
    for (const step_kernels *k : builds)
        best_listed = best_listed || k == &step_kernels_best();
    EXPECT_TRUE(best_listed);
}

TEST_F(step_equivalence, the_program_world_with_events_every_2000_for_20000_steps)
{
    expect_same_run({50, 20000, 2000, 100, 75, 0}, {&step_kernels_best()});
}

TEST_F(step_equivalence, the_program_world_without_events)
{
    expect_same_run({50, 3000, 0, 100, 75, 0}, usable_builds());
}

TEST_F(step_equivalence, populations_and_event_rates)
{
    const int populations[] = {2, 10, 25, 50};
    const long long rates[] = {1, 7, 500, 2000};
    for (int p = 0; p < 4; p++) {
        const long long every = rates[p];
        const long long steps = every == 1 ? 300 : every == 7 ? 700 : 2500;
        expect_same_run({populations[p], steps, every, 100, 75, 0}, usable_builds());
        expect_same_run({populations[3 - p], steps, every, 100, 75, 100u + (unsigned)p}, usable_builds());
    }
}

TEST_F(step_equivalence, smaller_fields_strewn_with_food_and_wild_headings)
{
    const struct {
        int width, height;
    } fields[] = {{10, 8}, {23, 17}, {64, 75}, {100, 40}, {3, 3}};
    unsigned seed = 7;
    for (const auto &f : fields) {
        expect_same_run({50, 600, 7, f.width, f.height, seed++}, usable_builds());
        expect_same_run({10, 600, 0, f.width, f.height, seed++}, usable_builds());
    }
}

// Cells placed right on sector boundaries, as seen from a creature whose heading is chosen so:
// the angle estimate cannot decide those and the exact atan2 must.
TEST_F(step_equivalence, cells_on_sector_boundaries_and_on_the_seam)
{
    for (const step_kernels *k : usable_builds()) {
        empty_field(world, 30, 30);
        world.population = 7;
        for (int i = 1; i < 29; i++)
            for (int j = 1; j < 29; j++)
                world.cell_food[cell_index(i, j)] = (i * 7 + j * 3) % 10 == 0 ? 0.5f : 0.0f;
        const double boundaries[] = {-0.6, -0.4, 0.0, 0.3, 0.5};
        for (int c = 0; c < 7; c++) {
            creature &cr = world.creatures[c];
            cr = creature{};
            cr.x = 12.5f;
            cr.y = 14.25f;
            cr.resources = 5.0f;
            // The food cell (20, 20) from (x, y); heading such that it lies on the boundary.
            if (c < 5)
                cr.angle = (float)(std::atan2(20.5 - cr.y, 20.5 - cr.x) - boundaries[c]);
        }
        world.cell_food[cell_index(20, 20)] = 0.75f;
        // Food straight behind a creature looking along -x: dy = 0 gives atan2 = +pi exactly,
        // and food just below that line gives an angle just above -pi.
        world.cell_food[cell_index(5, 14)] = 0.75f;
        world.cell_food[cell_index(5, 13)] = 0.75f;
        world.creatures[5].y = 14.5f;
        world.creatures[5].angle = 3.0f;
        world.creatures[6].y = 14.5f;
        world.creatures[6].angle = -3.0f;

        auto start = world_snapshot(world);
        const uint64_t exact_before = sim->step.counts.exact;
        sim_step_reference(*sim);
        auto ref = world_snapshot(world);
        simulation_set_world(*sim, *start);
        sim_step_with(*sim, *k);
        EXPECT_TRUE(world_equal(*ref, world)) << k->name << ": " << first_difference(*ref, world);
        EXPECT_GT(sim->step.counts.exact, exact_before) << k->name << ": no pair needed the exact atan2";
    }
}

// Many creatures with random positions and headings over a field full of food: every sector
// of every creature must match, step after step.
TEST_F(step_equivalence, random_positions_and_headings_see_the_same)
{
    std::mt19937 gen(2024);
    std::uniform_real_distribution<float> pos(0.3f, 39.6f), head(-7.0f, 7.0f);
    for (const step_kernels *k : usable_builds()) {
        for (int round = 0; round < scaled(40); round++) {
            empty_field(world, 40, 40);
            world.population = 50;
            for (int i = 0; i < 40; i++)
                for (int j = 0; j < 40; j++)
                    world.cell_food[cell_index(i, j)] = (i + j * 5 + round) % 3 == 0 ? 0.2f + 0.01f * (float)(i % 7) : 0.0f;
            for (int c = 0; c < 50; c++) {
                creature &cr = world.creatures[c];
                cr.x = pos(gen);
                cr.y = pos(gen);
                cr.angle = head(gen);
                cr.resources = 3.0f;
            }
            auto start = world_snapshot(world);
            sim_step_reference(*sim);
            auto ref = world_snapshot(world);
            simulation_set_world(*sim, *start);
            sim_step_with(*sim, *k);
            ASSERT_TRUE(world_equal(*ref, world)) << k->name << " round " << round << ": " << first_difference(*ref, world);
        }
    }
}

// Everything that changes weights between steps, run on one world without telling the step
// anything but what the program tells it: births and culls, a population lowered and raised
// again (slots coming back with the weights they left with), resets, and loads of a save
// file, whose rounded weights differ from those in memory.  The reference and each build run
// the same script and must agree at every checkpoint.
TEST_F(step_equivalence, regrouped_weights_follow_births_resets_loads_and_population_changes)
{
    const std::string path = testing::TempDir() + "step_equivalence_weights.sav";
    auto run = [&](void (*step)(simulation &), std::vector<std::unique_ptr<world_state>> &checkpoints) {
        const auto sim = simulation_new(); // a new process's world
        world_state &world = sim->world;
        auto steps = [&](int n, int event_every) {
            for (int s = 1; s <= n; s++) {
                step(*sim);
                if (event_every && s % event_every == 0)
                    cycle_event(*sim);
            }
            checkpoints.push_back(world_snapshot(world));
        };
        world.population = 10;
        world_reset(*sim);
        steps(300, 0);
        world.population = 50; // slots 10 .. 49 hold zeros: reborn in their first step
        steps(200, 50);
        world.population = 5;
        steps(200, 40);
        world.population = 30; // slots 5 .. 29 come back as they left
        steps(150, 0);
        ASSERT_TRUE(save_world(world, path.c_str()));
        world.population = 20;
        world_reset(*sim);
        steps(60, 0);
        ASSERT_EQ(load_world(*sim, path.c_str()).result, load_ok);
        steps(200, 70);
        world.population = 50;
        world_reset(*sim);
        steps(100, 25);
        ASSERT_EQ(load_world(*sim, path.c_str()).result, load_ok);
        steps(100, 0);
    };
    std::vector<std::unique_ptr<world_state>> ref;
    run(sim_step_reference, ref);
    ASSERT_EQ(ref.size(), 8u);
    static const step_kernels *build;
    for (const step_kernels *k : usable_builds()) {
        build = k;
        std::vector<std::unique_ptr<world_state>> fast;
        run([](simulation &s) { sim_step_with(s, *build); }, fast);
        ASSERT_EQ(fast.size(), ref.size());
        for (size_t at = 0; at < ref.size(); at++)
            ASSERT_TRUE(world_equal(*ref[at], *fast[at]))
                << k->name << ", checkpoint " << at << ": " << first_difference(*ref[at], *fast[at]);
    }
    std::remove(path.c_str());
}

// A world started afresh with world_init, filled in by hand with other networks and handed to the
// simulation whole, right after steps that left every slot's regrouped weights fresh: the step
// must use the new ones.
TEST_F(step_equivalence, a_world_started_afresh_never_runs_on_old_networks)
{
    static const step_kernels *build;
    for (const step_kernels *k : usable_builds()) {
        build = k;
        auto run = [](void (*step)(simulation &)) {
            const auto sim = simulation_new();
            sim->world.population = 50;
            world_reset(*sim);
            for (int s = 0; s < 20; s++)
                step(*sim);
            auto other = world_snapshot(*sim);
            for (int c = 0; c < creature_slots; c++)
                for (int l = 1; l < layer_count; l++)
                    for (int n = 0; n < layer_sizes[l]; n++)
                        other->creatures[c].neurons[l][n].weight[(c + n) % layer_sizes[l - 1]] += 0.5f;
            auto afresh = std::make_unique<world_state>();
            world_init(*afresh);
            std::memcpy(afresh->creatures, other->creatures, sizeof afresh->creatures);
            std::memcpy(afresh->cell_food, other->cell_food, sizeof afresh->cell_food);
            std::memcpy(afresh->cell_rate, other->cell_rate, sizeof afresh->cell_rate);
            simulation_set_world(*sim, *afresh);
            for (int s = 0; s < 20; s++)
                step(*sim);
            return world_snapshot(*sim);
        };
        const auto ref = run(sim_step_reference);
        const auto fast = run([](simulation &s) { sim_step_with(s, *build); });
        EXPECT_TRUE(world_equal(*ref, *fast)) << k->name << ": " << first_difference(*ref, *fast);
    }
}

// Runs `steps` steps from s's world on the reference (in s) and on each build (each in a
// simulation never stepped before), and compares.
void expect_same_steps(simulation &s, int steps, const char *what)
{
    auto start = world_snapshot(s);
    for (int n = 0; n < steps; n++)
        sim_step_reference(s);
    for (const step_kernels *k : usable_builds()) {
        const auto fast = simulation_new();
        simulation_set_world(*fast, *start);
        for (int n = 0; n < steps; n++)
            sim_step_with(*fast, *k);
        EXPECT_TRUE(world_equal(s.world, fast->world))
            << what << ", " << k->name << ": " << first_difference(s.world, fast->world);
    }
}

// Finite values a loaded or long-running world may hold: headings far outside -pi .. pi,
// food of -0.0 on a cell without rate (regrowth makes it +0.0), subnormal food and rates,
// food at the thresholds, a -0.0 bias and subnormal weights.
TEST_F(step_equivalence, unusual_finite_values)
{
    world.population = 12;
    world_reset(*sim);
    const float angles[] = {1e30f, -17.0f, 16.0f, -16.0f, -0.0f, 3.1415927f, -3.1415927f, 0.61f, 5e-39f, -6.9f, 0.0f};
    for (int c = 0; c < 11; c++)
        world.creatures[c].angle = angles[c];
    const float foods[] = {-0.0f, 1.0f, 0.1f, 0.099999994f, 1e-40f, -1e-40f, 1.0000001f, -0.0f, 0.0f};
    const float rates[] = {0.0f, 0.01f, 0.0f, 1e-45f, -0.0f, 0.02f, 0.01f, 1e-45f, -0.0f};
    for (int n = 0; n < 9; n++) {
        const int idx = cell_index(10 + n, 20);
        world.cell_food[idx] = foods[n];
        world.cell_rate[idx] = rates[n];
        world.cell_food[idx + 1] = foods[n];
        world.cell_rate[idx + 1] = 0.0f;
    }
    neuron &ne = world.creatures[4].neurons[1][3];
    ne.bias = -0.0f;
    ne.weight[0] = 1e-40f;
    ne.weight[23] = -1e-41f;
    world.creatures[5].neurons[4][2].weight[20] = std::numeric_limits<float>::quiet_NaN(); // never read
    expect_same_steps(*sim, 30, "unusual finite values");
}

// Headings and food that are not finite.  One step only: after it, a NaN made by fabs (sign
// cleared) can meet a NaN made by inf - inf (sign set) in one sum, and which of the two an
// addition returns is the compiler's choice of operand order, for the reference build too.
TEST_F(step_equivalence, values_that_are_not_finite_for_one_step)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    world.population = 6;
    world_reset(*sim);
    world.creatures[0].angle = nan;
    world.creatures[1].angle = inf;
    world.creatures[2].angle = -inf;
    const float foods[] = {nan, inf, -inf};
    for (int n = 0; n < 3; n++) {
        world.cell_food[cell_index(30 + 5 * n, 30)] = foods[n];
        world.cell_rate[cell_index(30 + 5 * n, 30)] = 0.01f;
    }
    for (int c = 3; c < 6; c++) {
        world.creatures[c].x = 25.5f + 5 * (c - 3);
        world.creatures[c].y = 30.5f;
        world.creatures[c].angle = 0.0f;
    }
    expect_same_steps(*sim, 1, "values that are not finite");
}

// The forward pass alone, on random networks and inputs, against the reference pass: one
// creature, and runs of two and three that the builds take side by side.  Every other round
// spreads the weights over the whole float range, subnormals included: the fused builds rely
// on a float times a float being exact in double.  One round in three is not the last of a run
// of steps: the pass then writes only the two commands into the records.
TEST_F(step_equivalence, forward_pass_matches_for_random_networks)
{
    std::mt19937 gen(99);
    std::uniform_real_distribution<float> val(-3.0f, 3.0f);
    std::uniform_int_distribution<int> exponent(-149, 126);
    std::unique_ptr<brain_weights[]> w(new brain_weights[3]);
    network_inputs in[3];
    for (const step_kernels *k : usable_builds()) {
        for (int round = 0; round < 200; round++) {
            const int first = round % (creature_slots - 2), count = 1 + round % 3;
            const bool last = round % 3 != 0;
            std::vector<creature> expected;
            for (int c = first; c < first + count; c++) {
                creature &cr = world.creatures[c];
                for (int l = 0; l < layer_count; l++) {
                    for (int n = 0; n < layer_capacity; n++) {
                        cr.neurons[l][n].bias = val(gen);
                        cr.neurons[l][n].output = val(gen) * (float)(1 << ((round + c) % 20));
                        for (int i = 0; i < layer_capacity; i++)
                            cr.neurons[l][n].weight[i] = round % 2 ? std::ldexp(val(gen), exponent(gen)) : val(gen);
                    }
                }
                brain_weights_build(cr, w[c - first]);
                for (int i = 0; i < layer_sizes[0]; i++)
                    in[c - first][i] = cr.neurons[0][i].output;
                const creature before = cr;
                brain_forward(world, c);
                expected.push_back(last ? cr : before);
                if (!last)
                    for (int n : {(int)output_turn, (int)output_push})
                        expected.back().neurons[output_layer][n].output = cr.neurons[output_layer][n].output;
                cr = before;
            }
            k->forward(world.creatures + first, w.get(), in, count, last);
            for (int c = 0; c < count; c++)
                ASSERT_EQ(std::memcmp(&expected[c], &world.creatures[first + c], sizeof(creature)), 0)
                    << k->name << " round " << round << " creature " << c << " of " << count;
        }
    }
}

TEST_F(step_equivalence, sim_step_and_sim_steps_are_the_best_build)
{
    build_world(*sim, {25, 0, 0, 40, 30, 5});
    auto start = world_snapshot(world);
    sim_steps(*sim, 150);
    for (int s = 150; s < 400; s++)
        sim_step(*sim);
    auto plain = world_snapshot(world);
    simulation_set_world(*sim, *start);
    for (int s = 0; s < 400; s++)
        sim_step_reference(*sim);
    EXPECT_TRUE(world_equal(*plain, world)) << first_difference(*plain, world);
}

// Two simulations share nothing: stepped by turns, with events, each ends as its world does
// stepped alone in a simulation of its own.  B starts from A's world with other networks.
TEST_F(step_equivalence, two_simulations_stepped_by_turns_share_no_state)
{
    build_world(*sim, {50, 0, 0, 100, 75, 0});
    sim_steps(*sim, 200);
    const auto start_a = world_snapshot(world);
    for (int e = 0; e < 6; e++) { // births and culls give B's networks
        sim_steps(*sim, 500);
        cycle_event(*sim);
    }
    auto start_b = world_snapshot(*start_a);
    for (int c = 0; c < creature_slots; c++)
        std::memcpy(start_b->creatures[c].neurons, world.creatures[c].neurons, sizeof world.creatures[c].neurons);

    // Turn r of a world: a few steps, then on some turns the 21-second event.
    auto turn = [](simulation &s, int r, bool is_b) {
        sim_steps(s, 5 + (r * 3 + is_b) % 7);
        if (r % 3 == (is_b ? 1 : 2))
            cycle_event(s);
    };
    const int rounds = 24;
    const auto a = simulation_new(), b = simulation_new();
    simulation_set_world(*a, *start_a);
    simulation_set_world(*b, *start_b);
    for (int r = 0; r < rounds; r++) {
        turn(*a, r, false);
        turn(*b, r, true);
    }
    for (const bool is_b : {false, true}) {
        const auto alone = simulation_new();
        simulation_set_world(*alone, is_b ? *start_b : *start_a);
        for (int r = 0; r < rounds; r++)
            turn(*alone, r, is_b);
        const world_state &turns = is_b ? b->world : a->world;
        EXPECT_TRUE(world_equal(alone->world, turns))
            << (is_b ? "B: " : "A: ") << first_difference(alone->world, turns);
    }
    EXPECT_FALSE(world_equal(a->world, b->world));
}

} // namespace

namespace {

// A command's standard output and exit status.
std::string command_output(const std::string &cmd, int *status)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    *status = pclose(p);
    return out;
}

// The benchmark's side-by-side mode runs both steps, checks the worlds, and ends with the ratio.
TEST(step_equivalence_bench, compare_mode_reports_identical_worlds_and_the_speedup)
{
    const char *bench = std::getenv("LIFE_BENCH");
    if (!bench)
        GTEST_SKIP() << "LIFE_BENCH names the life-bench to run (set by CTest)";
    int status = 0;
    const std::string out =
        command_output(std::string(bench) + " --compare --population 10 --steps 300 --event-every 100 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("identical: yes\n"), std::string::npos) << out;
    EXPECT_NE(out.find("visible cells per step: "), std::string::npos) << out;
    EXPECT_NE(out.find("creature-cell pairs per step: "), std::string::npos) << out;
    const size_t last = out.rfind('\n', out.size() - 2);
    EXPECT_EQ(out.compare(last + 1, 9, "speedup: "), 0) << out;
}

// The world after a fixed scenario (a new world, 20 000 steps, the 21-second event after every 2 000th),
// saved, has this SHA-256 with every build of the step and with the reference: a change that moved the
// fast and the reference step alike, which the comparisons above cannot see, changes it.  It holds for
// glibc's atan2, sin and cos (Debian 12, glibc 2.36, x86-64), which the step calls; another C library
// may differ in their last bit and take the world elsewhere.
TEST(step_equivalence_bench, the_world_after_a_fixed_scenario_has_its_pinned_digest)
{
    const char *bench = std::getenv("LIFE_BENCH");
    if (!bench)
        GTEST_SKIP() << "LIFE_BENCH names the life-bench to run (set by CTest)";
    const char *pinned = "b5f88ad550472b580c429a3622a375b6a203ba0e64e0efd7bcccad1ba464b7b9";
    const scratch_folder dir;
    std::vector<std::string> runs = {"--reference"};
    for (int k = 0; k < step_kernels_build_count; k++)
        if (step_kernels_usable(*step_kernels_builds[k]))
            runs.push_back(std::string("--kernels ") + step_kernels_builds[k]->name);
    for (const std::string &run : runs) {
        const std::string file = dir.file("world.sav");
        int status = 0;
        const std::string out =
            command_output(std::string(bench) + " " + run + " --steps 20000 --event-every 2000 --save " + file, &status);
        ASSERT_EQ(status, 0) << run << ": " << out;
        const std::string digest = command_output("sha256sum " + file, &status);
        ASSERT_EQ(status, 0) << digest;
        EXPECT_EQ(digest.substr(0, 64), pinned) << run;
    }
}

} // namespace
