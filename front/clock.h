// The once-a-second clock: world time, ages, steps per second, and the 21-second event.
#pragma once

#include "front_state.h"

struct simulation;

// Counts one second; every 21st call moves the food sources, culls the worst and moves the clock
// text.  True when that event ran: with the display off the screen then wants clearing, which is
// the caller's to do.
bool clock_tick(simulation &s, front_state &f);

// A row of the world's history as it stands, when there is a history; a failed write is left in
// f.pending_message for the main thread to tell.
void front_history_row(const simulation &s, front_state &f);
