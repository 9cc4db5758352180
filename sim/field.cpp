// Resetting the food field and moving its sources.
#include "field.h"

#include "rng.h"

void field_reset(world_state &w)
{
    w.field_width = field_max_width;
    w.field_height = field_max_height;
    for (int i = 0; i < field_max_width; i++) {
        for (int j = 0; j < field_max_height; j++) {
            const int idx = cell_index(i, j);
            w.cell_food[idx] = 0;
            if (0 < i && i < w.field_width - 1 && 0 < j && j < w.field_height - 1) {
                const int r = rng_next(w) % 10000;
                w.cell_rate[idx] = r <= 200 ? (float)(r * 0.0001) : 0.0f;
            } else {
                w.cell_rate[idx] = 0;
                w.cell_food[idx] = -2.0f;
            }
        }
    }
}

void field_reseed(world_state &w)
{
    for (int i = 1; i <= w.field_width - 2; i++) {
        for (int j = 1; j <= w.field_height - 2; j++) {
            const int idx = cell_index(i, j);
            const int r = rng_next(w) % 10000;
            if (r >= 300) {
                w.cell_rate[idx] = 0; // food already there stays until eaten
            } else {
                w.cell_rate[idx] = (float)(r * 0.0001 * (w.population * 0.02));
                const int r2 = rng_next(w) % 10000;
                w.cell_food[idx] = (float)(-(r2 * 0.0001));
            }
        }
    }
}
