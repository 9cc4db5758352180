// The overlay's graph of a world's whole life: food eaten and deaths by exhaustion per minute, on a time axis that compresses the past.
#pragma once

#include "history.h"

#include <cstdint>
#include <vector>

// The curves for a plot `width` columns wide, worked out from the history's rows.  Column c shows
// the world's age at its right edge as time_at(c + 1); the axis ends at the last row, and the
// older a moment, the less room it gets (the width is shared out by the logarithm of how long ago
// it was, in minutes), so a life of years still shows its last hour.  A rate is NaN where no row
// covers the column.
struct life_graph {
    int width = 0;
    int64_t span = 0;               // seconds from the first row to the last: 0 when nothing can be drawn
    int64_t first = 0;              // the first row's seconds
    std::vector<double> food_rate;  // food eaten per minute
    std::vector<double> birth_rate; // deaths by exhaustion (each followed by a birth) per minute
    double food_max = 0, birth_max = 0;
};

life_graph life_graph_of(const std::vector<history_row> &rows, int width);

// Where a moment `ago` seconds before the last row falls, in columns from the left edge (0 .. width).
double life_graph_x(const life_graph &g, double ago);

// "3d 04:05:06", "04:05:06": a world's age for the screen.
std::string life_age_text(int64_t seconds);
