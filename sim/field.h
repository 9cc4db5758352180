// The food field: full reset, the periodic reseed of the sources, and regrowth of one cell.
#pragma once

#include "world.h"

void field_reset();
void field_reseed();

// Applied once per step to every cell in use, just before it is sensed.
inline void cell_regrow(int idx)
{
    if (world.cell_food[idx] <= 1.0)
        world.cell_food[idx] = (float)((double)world.cell_food[idx] + (double)world.cell_rate[idx] * 0.02);
}
