// The 18-per-second display pass: at most one key command, then the picture.
#pragma once

#include "front_state.h"

struct simulation;

// Reads one waiting key (if any), carries out its command, then draws the world.
void display_tick(simulation &s, front_state &f);
// Paints the field's place before a new world is drawn over it (the field size in pixels before the reset).
void display_paint_old_field(int width_px, int height_px);

// Black over the whole screen or window; a message in the margin is drawn again at the next pass.
void display_clear();

// The 800 x 600 memory bitmap the field is drawn into before it is copied to the screen.
struct BITMAP;
extern BITMAP *back_buffer;
