// The once-a-second clock: world time, ages, steps per second, and the 21-second event.
#include "clock.h"

#include "cycle.h"
#include "world.h"

// A loaded file may hold a counter at its limit: wrap like the machine would, without overflow.
static int32_t plus_one(int32_t v) { return (int32_t)((uint32_t)v + 1u); }

void clock_tick(void (*clear_screen)())
{
    world.time = plus_one(world.time);
    for (int c = 0; c < world.population; c++)
        world.creatures[c].age = plus_one(world.creatures[c].age);
    world.ips = world.steps_this_second;
    world.steps_this_second = 0;
    world.cycle_counter = plus_one(world.cycle_counter);
    if (world.cycle_counter > 20) {
        cycle_event();
        world.cycle_counter = 0;
        // With the display off the old clock text would stay behind at its previous place.
        if (!world.display_on && clear_screen)
            clear_screen();
    }
}
