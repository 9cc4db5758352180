// The once-a-second clock: world time, ages, steps per second, and the 21-second event.
#pragma once

// Counts one second; every 21st call moves the food sources, culls the worst and moves the clock
// text, then, with the display off, calls clear_screen (null where there is no screen).
void clock_tick(void (*clear_screen)());
