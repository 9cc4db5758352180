// The platform's half of the presenter: which graphics mode shows the picture, and on which part of the screen.
#pragma once

#include "picture_layout.h"

// Sets a 32-bit graphics mode for a picture_w x picture_h picture and says which part of the
// screen is the monitor the picture goes on; failures on the way are told on stderr.  False
// when no mode at all could be had.
bool present_mode_open(int picture_w, int picture_h, pixel_rect &monitor);
