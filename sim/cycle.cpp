// The 21-second event, shared by the clock and the headless runner.
#include "cycle.h"

#include "field.h"
#include "rng.h"
#include "selection.h"
#include "simulation.h"

cycle_draws cycle_event(simulation &s)
{
    field_reseed(s.world);
    cull_worst(s);
    // Drawn whether or not anyone shows the text, so every run draws the same sequence.
    cycle_draws d;
    d.x = rng_next(s.world);
    d.y = rng_next(s.world);
    return d;
}
