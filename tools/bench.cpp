// life-bench: builds a world like the program does, runs it headless, and reports the step rate.
#include "cycle.h"
#include "reset.h"
#include "save_file.h"
#include "step.h"
#include "world.h"

#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char usage[] =
    "usage: life-bench [--population P] [--load FILE] [--steps N] [--event-every K] [--save FILE]\n"
    "  --population P   live creatures, 2 to 50 (default 50)\n"
    "  --load FILE      read a save file over the new world (a missing file leaves the new world)\n"
    "  --steps N        steps to run, 0 or more (default 10000)\n"
    "  --event-every K  after every K-th step, run the 21-second event (K >= 1)\n"
    "  --save FILE      write the save file at the end\n";

[[noreturn]] static void fail_usage(const char *what, const char *arg)
{
    std::fprintf(stderr, "life-bench: %s%s%s\n%s", what, arg ? ": " : "", arg ? arg : "", usage);
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

int main(int argc, char **argv)
{
    long long population = 50, steps = 10000, event_every = 0;
    const char *load_path = nullptr, *save_path = nullptr;

    for (int a = 1; a < argc; a++) {
        const char *opt = argv[a];
        const char *val = a + 1 < argc ? argv[a + 1] : nullptr;
        if (!std::strcmp(opt, "--population"))
            population = parse_count(opt, val, population_min, population_max);
        else if (!std::strcmp(opt, "--steps"))
            steps = parse_count(opt, val, 0, LLONG_MAX);
        else if (!std::strcmp(opt, "--event-every"))
            event_every = parse_count(opt, val, 1, LLONG_MAX);
        else if (!std::strcmp(opt, "--load") || !std::strcmp(opt, "--save")) {
            if (!val || !*val)
                fail_usage("missing file name for", opt);
            (opt[2] == 'l' ? load_path : save_path) = val;
        } else
            fail_usage("unknown argument", opt);
        a++;
    }

    world.population = (int32_t)population;
    world_reset();
    if (load_path && load_world(load_path) == load_refused)
        std::fprintf(stderr, "life-bench: %s\n", persist_error());

    const auto start = std::chrono::steady_clock::now();
    for (long long s = 1; s <= steps; s++) {
        sim_step();
        if (event_every && s % event_every == 0)
            cycle_event();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (save_path && !save_world(save_path)) {
        std::fprintf(stderr, "life-bench: %s\n", persist_error());
        return 1;
    }
    std::printf("steps: %lld\n", steps);
    std::printf("steps/s: %.1f\n", seconds > 0 ? steps / seconds : 0.0);
    return 0;
}
