// The settings' options: read strictly, refused with the option's name before anything opens.
#include "settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

// "--name" or "-name", as XScreenSaver's hacks take their options.
static bool is_option(const char *arg, const char *name)
{
    if (arg[0] != '-')
        return false;
    const char *rest = arg[1] == '-' ? arg + 2 : arg + 1;
    return std::strcmp(rest, name) == 0;
}

// A whole decimal number in [lo, hi]: no sign, no spaces, nothing after it.
static bool whole_number(const char *text, long lo, long hi, long &value)
{
    if (!text || !*text)
        return false;
    for (const char *p = text; *p; p++)
        if (*p < '0' || *p > '9')
            return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno == ERANGE || *end != '\0' || v < lo || v > hi)
        return false;
    value = (long)v;
    return true;
}

bool settings_from_arguments(int argc, const char *const *argv, run_settings &s, std::string *error)
{
    for (int a = 1; a < argc; a++) {
        const char *arg = argv[a];
        if (is_option(arg, "no-text")) {
            s.show_text = false;
            continue;
        }
        const bool population = is_option(arg, "population");
        if (!population && !is_option(arg, "max-ips"))
            continue;
        const char *name = population ? "--population" : "--max-ips";
        const char *value = a + 1 < argc ? argv[a + 1] : nullptr;
        long v = 0;
        if (population ? !whole_number(value, 2, 50, v) : !whole_number(value, 0, max_ips_limit, v)) {
            if (error)
                *error = std::string(name) + (value ? " \"" + std::string(value) + "\"" : std::string()) +
                         (population ? ": the population is a whole number from 2 to 50"
                                     : ": the speed limit is a whole number of steps per second from 0 (none) to " +
                                           std::to_string((long)max_ips_limit));
            return false;
        }
        if (population)
            s.population = (int)v;
        else
            s.max_ips = v;
        a++;
    }
    return true;
}

const char *settings_usage()
{
    return "  --population N         the world's population becomes N (2 to 50) at start\n"
           "  --max-ips N            at most N steps a second (0: as fast as the processor allows)\n"
           "  --no-text              no drifting time and steps-per-second text\n";
}
