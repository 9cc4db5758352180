// Which mouse events are the user's: the program's own pointer moves never end it.
#pragma once

// Mouse event bits, as Allegro's mouse callback passes them.
enum : int {
    pointer_move = 1,
    pointer_left_down = 2,
    pointer_left_up = 4,
    pointer_right_down = 8,
    pointer_right_up = 16,
    pointer_middle_down = 32,
    pointer_middle_up = 64,
    pointer_wheel = 128,
    pointer_wheel_sideways = 256,
};

// How far (|dx| + |dy|, in screen pixels) the pointer must move from where it rested for the
// movement to count: a table knocked or a jittery optical mouse is not a user coming back.
enum : int { pointer_hysteresis_px = 10 };

// For this long after the screen opened, a movement moves the resting place instead of ending the
// program: the window mapped under the pointer and the pointer's warp to the centre report
// positions late, and sometimes well after the screen is up on a busy machine.
enum : int { pointer_settle_ms = 500 };

// Where the pointer rests now that the screen is open, at `now_ms` on a steady clock.
// Call before the mouse callback is installed.
void pointer_rest(int x, int y, long now_ms);

// True when the event is the user's: a button press or a wheel turn always is; a movement is
// once the pointer has left its resting place by more than the hysteresis after the settling
// time.  Releases are not (the click that started the program is released after it starts).
// Called on Allegro's input thread.
bool pointer_is_user(int flags, int x, int y, long now_ms);

// True once pointer_is_user has counted a movement since pointer_rest: the user moved the pointer away, so it is
// not put back where it was when the program started.
bool pointer_moved_by_user();
