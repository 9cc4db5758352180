// The few settings a screen saver's user sets in the host's dialog, with one meaning everywhere: the population, a speed limit, the clock text.
#pragma once

#include <string>

// With none set the program runs exactly as it always has.
struct run_settings {
    int population = 0; // 2 .. 50: the world's population becomes it at start; 0: the world's own
    long max_ips = 0;   // at most this many steps a second; 0: as fast as the processor allows
    bool show_text = true; // the drifting time and steps-per-second text
};

enum : long { max_ips_limit = 100000000 }; // far beyond any processor: larger values are refused

// Reads "--population N", "--max-ips N" and "--no-text" (one dash also) from the arguments over
// `s`; every other argument is left for the screen-saver conventions.  False, with *error naming
// the option and what is wrong, when a value is missing or out of range.
bool settings_from_arguments(int argc, const char *const *argv, run_settings &s, std::string *error);

// The lines the usage shows for these options.
const char *settings_usage();
