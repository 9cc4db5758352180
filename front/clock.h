// The once-a-second clock: world time, ages, steps per second, and the 21-second event.
#pragma once

// Counts one second; every 21st call moves the food sources, culls the worst and moves the clock text.
void clock_tick();

// Clears the whole screen; set by the program, left null where there is no screen (tests).
extern void (*clock_clear_screen_hook)();
