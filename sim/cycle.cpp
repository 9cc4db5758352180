// The 21-second event, shared by the clock and the headless runner.
#include "cycle.h"

#include "field.h"
#include "rng.h"
#include "selection.h"
#include "world.h"

void cycle_event()
{
    field_reseed();
    cull_worst();
    // A field too small for the text leaves no range; keep the draws so the sequence is unchanged.
    const int x_range = world.field_width * cell_px - 150;
    const int y_range = world.field_height * cell_px - 50;
    const int rx = rng_next();
    world.text_x = (x_range > 0 ? rx % x_range : 0) + 10;
    const int ry = rng_next();
    world.text_y = (y_range > 0 ? ry % y_range : 0) + 10;
}
