// The real screen: the 800 x 600 picture put on it, scaled when the screen is larger.
#pragma once

struct BITMAP;

// Opens the screen at 32 bits in the platform's mode (present_mode.h): on X11 full screen at the
// desktop's own size (the monitor's video mode is never switched), with the picture on the primary
// monitor and black everywhere else; a window of the picture's size where no full screen can be had
// (the reason on stderr).  False when no mode could be had.
bool present_open(int picture_w, int picture_h);

// Shows picture pixels [x0, x1) x [y0, y1) at their place on the screen: pixel for pixel when the
// place is the picture's size, otherwise nearest neighbour, so a part lands exactly where the whole would.
void present_picture(BITMAP *picture, int x0, int y0, int x1, int y1);

// A black band beside the picture on its monitor where a few lines of text fit (below it, else to
// its left), in screen pixels; false when the picture fills its monitor.
struct pixel_rect;
bool present_margin(pixel_rect &band);

// Black over the whole screen, margins and other monitors included.
void present_clear();

// Frees what present_open made; the screen itself closes with Allegro.
void present_close();
