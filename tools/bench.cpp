// life-bench: builds a world like the program does, runs it headless, and reports the step rate.
#include "brain.h"
#include "cycle.h"
#include "file_system.h"
#include "history.h"
#include "reset.h"
#include "save_file.h"
#include "simulation.h"
#include "step.h"
#include "step_kernels.h"
#include "step_reference.h"
#include "world.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>

static const char usage[] =
    "usage: life-bench [--population P] [--load FILE] [--steps N] [--event-every K] [--save FILE]\n"
    "                  [--history FILE] [--reference | --compare] [--kernels NAME]\n"
    "  --population P   live creatures, 2 to 50 (default 50)\n"
    "  --load FILE      read a save file over the new world (a missing file leaves the new world),\n"
    "                   and its counters (FILE.stats) when they belong to it\n"
    "  --steps N        steps to run, 0 or more (default 10000)\n"
    "  --event-every K  after every K-th step, run the 21-second event (K >= 1)\n"
    "  --save FILE      write the save file at the end, and its counters to FILE.stats\n"
    "  --history FILE   write the world's history to FILE (replacing it): a row after every\n"
    "                   event and one at the end, as the program writes <world>.history.csv\n"
    "  --reference      run the reference step (the direct reading of the rules) instead\n"
    "  --compare        run the fast and the reference step side by side, check that they end\n"
    "                   in the same world, and report both rates (last line: speedup)\n"
    "  --kernels NAME   the fast step's build (default: the best usable), one of:";

// The usage, ending with the names of the builds compiled in.
static void print_usage(FILE *to)
{
    std::fputs(usage, to);
    for (int k = 0; k < step_kernels_build_count; k++)
        std::fprintf(to, " %s", step_kernels_builds[k]->name);
    std::fputc('\n', to);
}

[[noreturn]] static void fail_usage(const char *what, const char *arg)
{
    std::fprintf(stderr, "life-bench: %s%s%s\n", what, arg ? ": " : "", arg ? arg : "");
    print_usage(stderr);
    std::exit(2);
}

// A whole decimal number in [lo, hi], or a usage error naming the option.
static long long parse_count(const char *opt, const char *text, long long lo, long long hi)
{
    if (!text)
        fail_usage("missing value for", opt);
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi) {
        char msg[160];
        std::snprintf(msg, sizeof msg, "%s wants a whole number from %lld to %lld, not", opt, lo, hi);
        fail_usage(msg, text);
    }
    return v;
}

static const step_kernels *chosen_kernels = nullptr;

// n steps of either kind; the fast step takes them as one run (sim_steps).
static void fast_steps(simulation &sim, long n) { sim_steps_with(sim, *chosen_kernels, n); }
static void reference_steps(simulation &sim, long n)
{
    for (long s = 0; s < n; s++)
        sim_step_reference(sim);
}

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Steps from s_from + 1 to s_to, each stretch between two events in one call, running the event
// after every event_every-th step.
static void run_steps(simulation &sim, void (*steps)(simulation &, long), long long s_from, long long s_to,
                      long long event_every, const std::function<void()> &after_event = nullptr)
{
    for (long long s = s_from; s < s_to;) {
        long long to = s_to;
        if (event_every && (s / event_every + 1) * event_every < to)
            to = (s / event_every + 1) * event_every;
        steps(sim, (long)(to - s));
        s = to;
        if (event_every && s % event_every == 0) {
            cycle_event(sim);
            if (after_event)
                after_event();
        }
    }
}

// The history the program would write of this run, in a file of the caller's choosing: a row after
// every event and one at the end, each with the step rate since the row before.
struct bench_history {
    history_log log;
    std::chrono::steady_clock::time_point since;
    uint64_t steps_since = 0;
    bool failed = false;

    bool start(const char *path, const simulation &sim)
    {
        // An experiment's file starts afresh; only a regular file is replaced.
        if (fs_name_exists(path) && !fs_is_plain_file(path)) {
            std::fprintf(stderr, "life-bench: cannot write the history to %s: it is not a regular file\n", path);
            return false;
        }
        fs_remove(path);
        log.path = path;
        log.at_births_exhaustion = sim.life.births_exhaustion;
        log.at_births_cull = sim.life.births_cull;
        log.at_food_eaten = sim.life.food_eaten;
        since = std::chrono::steady_clock::now();
        steps_since = sim.life.steps;
        return true;
    }
    // A row now; none when the last one already stands at this step (the run ended on an event).
    void row(const simulation &sim)
    {
        if (log.path.empty() || failed || (!log.rows.empty() && log.rows.back().steps == sim.life.steps))
            return;
        const double seconds = seconds_since(since);
        const double rate = seconds > 0 ? (double)(sim.life.steps - steps_since) / seconds : 0.0;
        std::string why;
        if (!history_append(log, history_row_now(log, sim, (int32_t)std::min(rate, 2e9), (int64_t)std::time(nullptr)),
                            &why)) {
            std::fprintf(stderr, "life-bench: %s\n", why.c_str());
            failed = true;
        }
        since = std::chrono::steady_clock::now();
        steps_since = sim.life.steps;
    }
};

// The first byte offset at which two worlds differ, described for a person, or "" when equal.
static void describe_difference(const world_state &a, const world_state &b, char *out, size_t size)
{
    const unsigned char *pa = (const unsigned char *)&a, *pb = (const unsigned char *)&b;
    size_t at = 0;
    while (at < sizeof a && pa[at] == pb[at])
        at++;
    const size_t cr_end = sizeof a.creatures;
    if (at < cr_end)
        std::snprintf(out, size, "creature %zu, byte %zu of its record", at / sizeof(creature), at % sizeof(creature));
    else
        std::snprintf(out, size, "byte %zu of the world record (after the creatures)", at);
}

int main(int argc, char **argv)
{
    // Closed descriptors would be taken by the save file, and the printed figures written into it.
    fs_guard_standard_streams();
    long long population = 50, steps = 10000, event_every = 0;
    const char *load_path = nullptr, *save_path = nullptr, *history_path = nullptr;
    bool reference = false, compare = false;
    chosen_kernels = &step_kernels_best();

    for (int a = 1; a < argc;) {
        const char *opt = argv[a++];
        const char *val = a < argc ? argv[a] : nullptr;
        if (!std::strcmp(opt, "--help") || !std::strcmp(opt, "-h")) {
            print_usage(stdout);
            return 0;
        }
        if (!std::strcmp(opt, "--reference")) {
            reference = true;
            continue;
        }
        if (!std::strcmp(opt, "--compare")) {
            compare = true;
            continue;
        }
        if (!std::strcmp(opt, "--population"))
            population = parse_count(opt, val, population_min, population_max);
        else if (!std::strcmp(opt, "--steps"))
            steps = parse_count(opt, val, 0, LLONG_MAX);
        else if (!std::strcmp(opt, "--event-every"))
            event_every = parse_count(opt, val, 1, LLONG_MAX);
        else if (!std::strcmp(opt, "--load") || !std::strcmp(opt, "--save") || !std::strcmp(opt, "--history")) {
            if (!val || !*val)
                fail_usage("missing file name for", opt);
            (opt[2] == 'l' ? load_path : opt[2] == 's' ? save_path : history_path) = val;
        } else if (!std::strcmp(opt, "--kernels")) {
            if (!val)
                fail_usage("missing value for", opt);
            chosen_kernels = step_kernels_named(val);
            if (!chosen_kernels)
                fail_usage("no such build of the step", val);
            if (!step_kernels_usable(*chosen_kernels))
                fail_usage("this processor cannot run", val);
        } else
            fail_usage("unknown argument", opt);
        a++; // the option's value
    }
    if (reference && compare)
        fail_usage("--reference and --compare exclude each other", nullptr);

    const std::unique_ptr<simulation> sim = simulation_new();
    sim->world.population = (int32_t)population;
    world_reset(*sim);
    // A benchmark only reads the file: one it refuses stays where it is.
    if (load_path) {
        const load_outcome loaded = load_world(*sim, load_path, false);
        if (loaded.result == load_refused)
            std::fprintf(stderr, "life-bench: %s\n", loaded.message.c_str());
        else if (loaded.result == load_ok && !loaded.life_message.empty())
            std::fprintf(stderr, "life-bench: %s\n", loaded.life_message.c_str());
    }
    bench_history history;
    if (history_path && !history.start(history_path, *sim))
        return 1;
    const std::function<void()> history_row = [&] { history.row(*sim); };

    double seconds = 0, reference_seconds = 0;
    if (!compare) {
        const auto start = std::chrono::steady_clock::now();
        run_steps(*sim, reference ? reference_steps : fast_steps, 0, steps, event_every, history_row);
        seconds = seconds_since(start);
    } else {
        // The fast and the reference simulation side by side, taking turns in chunks that end at
        // events, so that a busy moment of the machine slows both alike.
        const std::unique_ptr<simulation> ref = simulation_new();
        simulation_set_world(*ref, sim->world);
        const long long chunk = event_every ? event_every : 1000;
        for (long long done = 0; done < steps;) {
            const long long to = done + chunk < steps ? done + chunk : steps;
            auto start = std::chrono::steady_clock::now();
            run_steps(*sim, fast_steps, done, to, event_every, history_row);
            seconds += seconds_since(start);

            start = std::chrono::steady_clock::now();
            run_steps(*ref, reference_steps, done, to, event_every);
            reference_seconds += seconds_since(start);
            done = to;
        }
        if (!life_equal(sim->life, ref->life)) {
            std::fprintf(stderr, "life-bench: the fast and the reference step count the world's life differently\n");
            return 1;
        }
        if (!world_equal(sim->world, ref->world)) {
            char where[120];
            describe_difference(sim->world, ref->world, where, sizeof where);
            std::fprintf(stderr, "life-bench: the fast and the reference step differ after %lld steps: %s\n", steps,
                         where);
            return 1;
        }
    }

    history.row(*sim);
    if (save_path) {
        const save_result saved = save_world(sim->world, save_path, &sim->life);
        if (!saved) {
            std::fprintf(stderr, "life-bench: %s\n", saved.why.c_str());
            return 1;
        }
        if (!saved.counters_why.empty())
            std::fprintf(stderr, "life-bench: %s\n", saved.counters_why.c_str());
    }
    if (history.failed)
        return 1;
    const step_counts &step_counters = sim->step.counts;
    std::printf("steps: %lld\n", steps);
    const life_figures figures = life_figures_of(*sim);
    std::printf("lived: %llu steps, births by exhaustion %llu, by cull %llu, food eaten %llu\n",
                (unsigned long long)sim->life.steps, (unsigned long long)sim->life.births_exhaustion,
                (unsigned long long)sim->life.births_cull, (unsigned long long)sim->life.food_eaten);
    std::printf("generation: highest %llu, mean %.2f\n", (unsigned long long)figures.generation_max,
                figures.generation_mean);
    if (!reference && step_counters.steps) {
        const double n = (double)step_counters.steps;
        std::printf("build: %s\n", chosen_kernels->name);
        std::printf("visible cells per step: %.1f\n", step_counters.visible / n);
        std::printf("creature-cell pairs per step: %.1f\n", step_counters.pairs / n);
        std::printf("pairs in the cone per step: %.1f\n", step_counters.candidates / n);
        std::printf("exact atan2 per step: %.4f\n", step_counters.exact / n);
    }
    if (compare) {
        const double fast_rate = seconds > 0 ? steps / seconds : 0.0;
        const double reference_rate = reference_seconds > 0 ? steps / reference_seconds : 0.0;
        std::printf("identical: yes\n");
        std::printf("reference steps/s: %.1f\n", reference_rate);
        std::printf("steps/s: %.1f\n", fast_rate);
        std::printf("speedup: %.2f\n", reference_rate > 0 ? fast_rate / reference_rate : 0.0);
        return 0;
    }
    std::printf("steps/s: %.1f\n", seconds > 0 ? steps / seconds : 0.0);
    return 0;
}
