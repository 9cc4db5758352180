// The 18-per-second display pass: at most one key command, then the picture.
#pragma once

// Reads one waiting key (if any), carries out its command, then draws the world.
void display_tick();

// Black over the whole screen or window; a message in the margin is drawn again at the next pass.
void display_clear();

// The 800 x 600 memory bitmap the field is drawn into before it is copied to the screen.
struct BITMAP;
extern BITMAP *back_buffer;
