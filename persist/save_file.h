// The save file that carries the whole world between runs.
#pragma once

#include "life.h"
#include "world.h"

#include <string>

struct simulation;
struct world_place;

enum load_result {
    load_ok,      // the file was read over the world
    load_missing, // no file: the world is left as it was
    load_refused, // the file cannot be trusted: the world is left as it was
};

// What a load did, and what the user should be told of it.
struct load_outcome {
    load_result result = load_missing;
    std::string message;        // why the file was refused and what became of it; empty otherwise
    bool left_in_place = false; // refused but still under its name: the run must not save there
    // The world's counters (`<path>.stats`): false when they came from the file beside the world,
    // true when they start at zero (none, another save's, damaged, or no world loaded).
    bool life_restarted = true;
    std::string life_message; // why they start at zero and what became of their file; empty otherwise
};

// What a save did: saved, or why not, in one line for the user.
struct save_result {
    bool saved = false;
    std::string why;
    std::string counters_why; // the world was saved but its counters were not: why

    explicit operator bool() const { return saved; }
};

// The largest file any world can be, with the widest text of every item and CRLF line ends;
// anything larger is refused without being read.
long long save_file_max_bytes();

// Reads the file over the simulation's world, but only when the whole of it reads as the writer
// writes it and the world it holds passes world_check, and the counters beside it over its life when
// they belong to those very bytes (else the life starts at zero); a refused file is set aside under a new name
// ("<path>.bad", "<path>.bad.2", ...), never over an earlier one.  With set_aside_refused false it is
// a read-only look (a preview, a benchmark): nothing is moved or written.  A file left under its name
// is never saved over by this process (save_world refuses it).
load_outcome load_world(simulation &s, const char *path, bool set_aside_refused = true);

// Writes the world atomically (temporary file, then rename), with the earlier file untouched when it
// cannot be written or when the world fails world_check.  With `life`, its counters go to
// "<path>.stats" first, naming the new file's digest: a stop between the two renames leaves counters
// that belong to no world file, which the next load starts again at zero rather than misplace.
save_result save_world(const world_state &w, const char *path, const world_life *life = nullptr);
// The program's save to its claimed place: nothing when place.can_save is false; otherwise atomic
// as above keeping the replaced file as "<path>.prev", or rewritten in place when place.in_place
// (where no counters are kept: the folder takes no new file).
save_result save_world(const world_state &w, const world_place &place, const world_life *life = nullptr);
