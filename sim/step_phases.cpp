// The step's phases that the fast and the reference step share.
#include "step_phases.h"

void clear_senses(world_state &w)
{
    for (int c = 0; c < w.population; c++) {
        for (int k = 0; k < sector_count; k++) {
            w.creatures[c].sense_food[k] = empty_sector_food;
            w.creatures[c].sense_near[k] = empty_sector_near;
        }
    }
}

void count_step(world_state &w, world_life &l)
{
    l.steps++;
    // Unsigned so a runner that never resets the count cannot overflow into undefined behaviour.
    w.steps_this_second = (int32_t)((uint32_t)w.steps_this_second + 1u);
}
