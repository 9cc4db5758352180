// The 18-per-second display pass: at most one key command, then the picture.
#pragma once

// Reads one waiting key (if any), carries out its command, then draws the world.
void display_tick();

// The 800 x 600 memory bitmap the field is drawn into before it is copied to the screen.
struct BITMAP;
extern BITMAP *back_buffer;
