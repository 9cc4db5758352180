// The once-a-second clock: world time, ages, steps per second, and the 21-second event.
#include "clock.h"

#include "cycle.h"
#include "simulation.h"

// A loaded file may hold a counter at its limit: wrap like the machine would, without overflow.
static int32_t plus_one(int32_t v) { return (int32_t)((uint32_t)v + 1u); }

void front_history_row(const simulation &s, front_state &f)
{
    if (f.history.path.empty() || !f.utc_now)
        return;
    std::string why;
    if (!history_append(f.history, history_row_now(f.history, s, f.ips, f.utc_now()), &why) && !why.empty() &&
        f.pending_message.empty())
        f.pending_message = why;
}

bool clock_tick(simulation &s, front_state &f)
{
    world_state &world = s.world;
    world.time = plus_one(world.time);
    for (int c = 0; c < world.population; c++)
        world.creatures[c].age = plus_one(world.creatures[c].age);
    f.ips = world.steps_this_second;
    world.steps_this_second = 0;
    f.cycle_counter = plus_one(f.cycle_counter);
    if (f.cycle_counter <= 20)
        return false;
    const cycle_draws d = cycle_event(s);
    f.cycle_counter = 0;
    // The text stays on the field; a field too small for it leaves no range, and the text in the corner.
    const int x_range = world.field_width * cell_px - 150;
    const int y_range = world.field_height * cell_px - 50;
    f.text_x = (x_range > 0 ? d.x % x_range : 0) + 10;
    f.text_y = (y_range > 0 ? d.y % y_range : 0) + 10;
    front_history_row(s, f);
    return true;
}
