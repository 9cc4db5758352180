// The keyboard commands, by Allegro scancode.
#pragma once

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

// Background of the clock and overlay text: -1 transparent while the field is drawn,
// 0 (opaque black) while the display is off, so new figures cover the old ones.  Set from
// display_on only at start-up and by F3: a new world switches the display on but keeps it.
extern int text_background;
void text_background_follow_display();

// Carries out the command bound to a scancode; any unbound key stops the program.
void key_command(int scancode);
