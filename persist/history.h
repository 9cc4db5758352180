// A world's history beside it: "<world>.history.csv", one row at every 21-second event and at every save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct simulation;
struct world_life;

// One row of the file.  The births and the food are counted since the row before; everything
// else is the world as it stands.
struct history_row {
    int64_t utc = 0;      // seconds since 1970-01-01 UTC, written as ISO 8601 ("2026-12-09T20:34:31Z")
    int64_t seconds = 0;  // seconds the world has lived (its `time`)
    uint64_t steps = 0;   // steps the world has lived, over every run
    int32_t ips = 0;      // steps in the last full second
    int32_t population = 0;
    uint64_t births_exhaustion = 0;
    uint64_t births_cull = 0;
    uint64_t food_eaten = 0;
    double eaten_mean = 0, eaten_best = 0, resources_mean = 0, age_mean = 0;
    uint64_t generation_max = 0;
    double generation_mean = 0;
    double food_on_field = 0;
};

// Past this size the file's older half is thinned (see history_append).
enum : long { history_max_bytes = 2L * 1024 * 1024 };

// The file and what it holds.  `rows` is the file's contents, oldest first, kept in step with it;
// the totals are the world's counters at the last row, from which the next row's births and food
// are counted.  With an empty path no history is kept.
struct history_log {
    std::string path;
    std::vector<history_row> rows;
    uint64_t at_births_exhaustion = 0, at_births_cull = 0, at_food_eaten = 0;
    bool write_failed = false; // a write failed and was said; later failures are not said again
};

// Opens the history of the world file world_path, whose counters are `life`: reads
// "<world>.history.csv", drops rows beyond life.steps (a crash rolled the world back to its last
// save), and sets aside a damaged or foreign file, or every file when `life_restarted` (its rows
// belong to counters that are gone), to the first free "<world>.history.bad.csv",
// ".bad.2.csv", ... before beginning a new one.  With `writable` false (no folder to write, a
// preview) nothing is written and, for a preview, only the rows are read.  Returns what the user
// should be told, or an empty string.
std::string history_open(history_log &log, const std::string &world_path, const world_life &life, bool life_restarted,
                         bool writable);

// The row for the simulation as it stands.
history_row history_row_now(const history_log &log, const simulation &s, int32_t ips, int64_t utc);

// Appends the row to the file (with its header when the file is new) and to `rows`, and moves the
// totals on.  Once the file passes history_max_bytes, every other row of its older half is dropped,
// its births and food added to the row after it, and the file rewritten whole and renamed over.
// False when the write failed, with *why (said once by the caller, see write_failed).
bool history_append(history_log &log, const history_row &row, std::string *why);

// A new world begins (F12): the file is set aside as the first free "<world>.history.old.csv",
// ".old.2.csv", ..., and the next row begins a new one.  Returns a line for the user, or empty.
std::string history_set_aside(history_log &log, const world_life &life);

// The header line and a row as the file holds them, without the line end; and a line read back
// (false when it is not a row of this file).
std::string history_header();
std::string history_row_text(const history_row &row);
bool history_row_parse(const std::string &line, history_row &row);
