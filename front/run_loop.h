// The main loop: steps back to back, the handlers' work between two steps, and the world saved every ten minutes.
#pragma once

#include "handover.h"

// A crash, a power cut or an OOM kill loses at most this much of the world.
enum : long { autosave_interval_ms = 10L * 60 * 1000 };

// Steps run back to back before the loop looks for the handlers' work again: a fraction of a
// millisecond, and a run of steps writes the networks' values into the world only once (sim_steps).
enum : long { steps_per_turn = 16 };

// What the loop needs from the program; every hook runs on the calling (main) thread, between two
// turns, and is given work.context.
struct run_loop_hooks {
    handover_work work;                    // the context, the clock and the display pass
    void (*step)(void *context) = nullptr; // a turn of the world: one or more steps
    long (*now_ms)() = nullptr;            // a steady clock
    bool (*save)(void *context) = nullptr; // saves the world as at the end; false when it failed
    void (*save_failed)(void *context) = nullptr; // reports the first failure of a run of failed autosaves
    long max_ips = 0;                      // a speed limit in steps a second (needs now_ms); 0: none
    void (*sleep_ms)(long ms) = nullptr;   // how the loop waits under the limit (none: the thread sleeps)
};

// Runs turns until `running` is 0, at least one; returns how many ran.  Under a speed limit the
// loop sleeps between turns until the steps run are due, waking for the handlers' work: the steps
// keep to the limit on average, a turn at a time, and a stall of more than a second is not made up.
long run_loop(const run_loop_hooks &hooks);
