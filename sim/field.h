// The food field: full reset, the periodic reseed of the sources, and regrowth of one cell.
#pragma once

#include "world.h"

void field_reset(world_state &w);
void field_reseed(world_state &w);

// Applied once per step to every cell in use, just before it is sensed.
inline void cell_regrow(world_state &w, int idx)
{
    if (w.cell_food[idx] <= 1.0)
        w.cell_food[idx] = (float)((double)w.cell_food[idx] + (double)w.cell_rate[idx] * 0.02);
}
