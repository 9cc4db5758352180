// The keyboard commands, by Allegro scancode.
#pragma once

#include "front_state.h"
#include "world.h"

struct simulation;

enum : int {
    scancode_f1 = 47,
    scancode_f2 = 48,
    scancode_f3 = 49,
    scancode_f4 = 50,
    scancode_f12 = 58,
    scancode_minus = 61,
    scancode_minus_pad = 88,
    scancode_plus_pad = 89,
};

// The text background follows display_on (at start-up and on F3).
void text_background_follow_display(const world_state &w, front_state &f);
// Whether the field is drawn: the world's display flag, or always in a host's window.
bool display_shows(const world_state &w, const front_state &f);

// Carries out the command bound to a scancode; any unbound key stops the program.  F12 builds a
// new world: what that means for the screen (painting over the old field) is the caller's.
void key_command(simulation &s, front_state &f, int scancode);
