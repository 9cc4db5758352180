// The main loop: steps back to back, the handlers' work between two steps, and the world saved every ten minutes.
#pragma once

#include "step.h"

// A crash, a power cut or an OOM kill loses at most this much of the world.
enum : long { autosave_interval_ms = 10L * 60 * 1000 };

// What the loop needs from the program; every hook runs on the calling (main) thread, between two steps.
struct run_loop_hooks {
    void (*step)() = sim_step;        // one step of the world
    void (*display_pass)() = nullptr; // one drawing pass when one is due
    void (*clear_screen)() = nullptr; // clears the screen at the 21-second event with the display off
    long (*now_ms)() = nullptr;       // a steady clock
    bool (*save)() = nullptr;         // saves the world as at the end; false when it failed
    void (*save_failed)() = nullptr;  // reports the first failure of a run of failed autosaves
};

// Runs steps until `running` is 0, at least one; returns how many ran.
long run_loop(const run_loop_hooks &hooks);
