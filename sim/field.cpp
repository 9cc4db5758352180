// Resetting the food field and moving its sources.
#include "field.h"

#include "rng.h"

void field_reset()
{
    world.field_width = field_max_width;
    world.field_height = field_max_height;
    for (int i = 0; i < field_max_width; i++) {
        for (int j = 0; j < field_max_height; j++) {
            const int idx = cell_index(i, j);
            world.cell_food[idx] = 0;
            if (0 < i && i < world.field_width - 1 && 0 < j && j < world.field_height - 1) {
                const int r = rng_next() % 10000;
                world.cell_rate[idx] = r <= 200 ? (float)(r * 0.0001) : 0.0f;
            } else {
                world.cell_rate[idx] = 0;
                world.cell_food[idx] = -2.0f;
            }
            world.cell_y_px[idx] = j * cell_px;
            world.cell_x_px[idx] = i * cell_px;
        }
    }
}

void field_reseed()
{
    for (int i = 1; i <= world.field_width - 2; i++) {
        for (int j = 1; j <= world.field_height - 2; j++) {
            const int idx = cell_index(i, j);
            const int r = rng_next() % 10000;
            if (r >= 300) {
                world.cell_rate[idx] = 0; // food already there stays until eaten
            } else {
                world.cell_rate[idx] = (float)(r * 0.0001 * (world.population * 0.02));
                const int r2 = rng_next() % 10000;
                world.cell_food[idx] = (float)(-(r2 * 0.0001));
            }
        }
    }
}
