// One world and everything the fast step derives from it: made, and replaced whole.
#include "simulation.h"

#include "step_weights.h"

#include <cstring>

std::unique_ptr<simulation> simulation_new()
{
    std::unique_ptr<simulation> s(new simulation);
    world_init(s->world);
    life_clear(s->life);
    std::memset(&s->step, 0, sizeof s->step);
    return s;
}

void simulation_set_world(simulation &s, const world_state &w)
{
    if (&s.world != &w)
        s.world = w;
    brain_weights_forget_all(s);
    for (heading_trig &t : s.step.trig)
        t.known = false;
}
