// The counters' file beside a world, "<world>.stats": the world's life, tied by digest to one world file.
#pragma once

#include <string>

struct world_life;

std::string life_stats_path(const std::string &world_path);

// The file's text for counters that belong to the world file whose bytes have this SHA-256.
std::string life_stats_text(const world_life &life, const std::string &world_digest);

// Reads the text back only when all of it is what life_stats_text writes; false with *why otherwise.
bool life_stats_parse(const std::string &text, world_life &life, std::string &world_digest, std::string *why);

// What reading the counters for a world file gave.
struct life_stats_outcome {
    bool restarted = true; // the counters start at zero: none were found for these world bytes
    std::string message;   // what the user should be told (once), or empty
};

// Sets `life` from world_path's counters when they belong to world_bytes, else to zero.  A damaged
// file is set aside as the first free "<world>.stats.bad", ".bad.2", ... when set_aside is true
// (never a reason to refuse the world); with set_aside false nothing is moved or written.
life_stats_outcome life_stats_load(world_life &life, const std::string &world_path, const std::string &world_bytes,
                                   bool set_aside);
