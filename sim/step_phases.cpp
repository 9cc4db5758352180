// The step's phases that the fast and the reference step share.
#include "step_phases.h"

void clear_senses()
{
    for (int c = 0; c < world.population; c++) {
        for (int k = 0; k < sector_count; k++) {
            world.creatures[c].sense_food[k] = empty_sector_food;
            world.creatures[c].sense_near[k] = empty_sector_near;
        }
    }
}

void count_step()
{
    // Unsigned so a runner that never resets the count cannot overflow into undefined behaviour.
    world.steps_this_second = (int32_t)((uint32_t)world.steps_this_second + 1u);
}
