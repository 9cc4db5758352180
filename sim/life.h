// The counters of a world's life over all its runs, and the figures of the living drawn from it.
#pragma once

#include "world.h"

#include <cstdint>

struct simulation;

// Kept beside the world, never in its file, and never read by the step: the counters may be lost
// (they then start again at zero) without the world changing by a bit.  generation and born_at
// are per slot, like the creatures, and follow a slot's creature; a slot a new world fills is
// generation 0.  Plain 8-byte members only, so two records are equal exactly when their bytes are.
struct world_life {
    uint64_t steps;             // steps lived, over every run
    uint64_t births_exhaustion; // creatures that died of exhaustion and were replaced
    uint64_t births_cull;       // creatures replaced by the 21-second cull
    uint64_t food_eaten;        // cells eaten
    uint64_t generation[creature_slots]; // the parent's + 1
    uint64_t born_at[creature_slots];    // the steps the world had lived when the slot's creature was born
};

// All zero: a new world's life, or one whose counters were lost.
void life_clear(world_life &l);
bool life_equal(const world_life &a, const world_life &b);

// A birth in slot `child` from `parent`, counted by its caller as an exhaustion or a cull.
void life_birth(world_life &l, int child, int parent);
// A cell eaten.  Out of line: a meal is rare beside the steps, and the step's header needs no more.
void life_count_meal(simulation &s);

// The highest and the mean generation of the living (0 and 0 with none).
void life_generations(const simulation &s, uint64_t &highest, double &mean);

// What the living are like now: the figures the history records and the screen shows.
struct life_figures {
    int population;
    double eaten_mean, eaten_best;
    double resources_mean;
    double age_mean;
    uint64_t generation_max;
    double generation_mean;
    double food_on_field; // the food of every edible cell, summed
};
life_figures life_figures_of(const simulation &s);
