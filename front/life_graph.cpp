// The overlay's graph of a world's life, worked out from its history without drawing anything.
#include "life_graph.h"

#include <cmath>
#include <cstdio>

// Minutes make the log scale's unit: the last minute gets about as much room as the hour before it.
static const double unit_seconds = 60.0;

static double log_span(const life_graph &g) { return std::log1p((double)g.span / unit_seconds); }

double life_graph_x(const life_graph &g, double ago)
{
    if (g.span <= 0)
        return g.width;
    return g.width * (1.0 - std::log1p(ago / unit_seconds) / log_span(g));
}

// Seconds before the last row at column edge x: the inverse of life_graph_x.
static double ago_at(const life_graph &g, double x) { return unit_seconds * std::expm1((1.0 - x / g.width) * log_span(g)); }

life_graph life_graph_of(const std::vector<history_row> &rows, int width)
{
    life_graph g;
    g.width = width > 0 ? width : 0;
    g.food_rate.assign((size_t)g.width, NAN);
    g.birth_rate.assign((size_t)g.width, NAN);
    if (rows.size() < 2 || g.width == 0 || rows.back().seconds <= rows.front().seconds)
        return g;
    g.first = rows.front().seconds;
    g.span = rows.back().seconds - g.first;
    const double end = (double)rows.back().seconds;
    std::vector<double> food((size_t)g.width, 0.0), births((size_t)g.width, 0.0), covered((size_t)g.width, 0.0);
    // The moments at the columns' edges, oldest first; edge[width] is the last row.
    std::vector<double> edge((size_t)g.width + 1);
    for (int c = 0; c < g.width; c++)
        edge[(size_t)c] = end - ago_at(g, c);
    edge[(size_t)g.width] = end;
    // Each row's counts are spread evenly over the seconds since the row before, and every column
    // takes its share of the rows its seconds overlap.  Rows come in time order, so the first
    // column a row touches only moves right.
    int first_column = 0;
    for (size_t k = 1; k < rows.size(); k++) {
        const double from = (double)rows[k - 1].seconds, to = (double)rows[k].seconds;
        if (!(to > from) || from < (double)g.first)
            continue;
        const double per_second_food = (double)rows[k].food_eaten / (to - from);
        const double per_second_births = (double)rows[k].births_exhaustion / (to - from);
        if (from < edge[(size_t)first_column])
            first_column = 0; // a row out of order: search from the start again
        while (first_column + 1 < g.width && edge[(size_t)first_column + 1] <= from)
            first_column++;
        for (int c = first_column; c < g.width; c++) {
            const double lo = edge[(size_t)c], hi = edge[(size_t)c + 1];
            const double overlap = std::fmin(hi, to) - std::fmax(lo, from);
            if (overlap > 0) {
                food[(size_t)c] += per_second_food * overlap;
                births[(size_t)c] += per_second_births * overlap;
                covered[(size_t)c] += overlap;
            }
            if (hi >= to)
                break;
        }
    }
    for (int c = 0; c < g.width; c++) {
        if (!(covered[(size_t)c] > 0))
            continue;
        g.food_rate[(size_t)c] = food[(size_t)c] / covered[(size_t)c] * 60.0;
        g.birth_rate[(size_t)c] = births[(size_t)c] / covered[(size_t)c] * 60.0;
        g.food_max = std::fmax(g.food_max, g.food_rate[(size_t)c]);
        g.birth_max = std::fmax(g.birth_max, g.birth_rate[(size_t)c]);
    }
    return g;
}

std::string life_age_text(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const long long days = seconds / 86400;
    const int h = (int)(seconds / 3600 % 24), m = (int)(seconds / 60 % 60), s = (int)(seconds % 60);
    char text[48];
    if (days > 0)
        std::snprintf(text, sizeof text, "%lldd %02d:%02d:%02d", days, h, m, s);
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, m, s);
    return text;
}
