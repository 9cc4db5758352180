// The picture shown in an X window another program made (a screen-saver host's), through a connection of our own.
#pragma once

#include "picture_layout.h"

#include <cstdint>
#include <string>

// Pixels as 0xRRGGBB, `rows[y][x]` for 0 <= x < w, 0 <= y < h (an Allegro 32-bit bitmap's lines).
struct picture_rows {
    const uint32_t *const *rows = nullptr;
    int w = 0, h = 0;
};

// Connects to the X display and takes `window` (0: the root window) as the place to draw, the
// picture scaled to it as on a large screen; keeps following its size.  Never selects input beyond
// its structure, never maps or grabs anything.  False with *why set when the window cannot be used.
bool window_present_open(unsigned long window, int picture_w, int picture_h, std::string *why);

// Shows picture pixels [x0, x1) x [y0, y1) at their scaled place, like present_picture.
void window_present_picture(const picture_rows &picture, int x0, int y0, int x1, int y1);

// Puts `pixels` unscaled with its top left corner at (x, y) of the window (text in the margin).
void window_present_unscaled(const picture_rows &pixels, int x, int y);

// The margin band beside the picture in the window, as present_margin.
bool window_present_margin(pixel_rect &band);

// Black over the whole window.
void window_present_clear();

// Reads what the server has sent without waiting: a new size of the window (true: the picture has a
// new place and everything must be shown again) or its destruction (the run stops).  Once per frame.
bool window_present_follow_size();

// Waits until the server has carried out everything sent: for measurements and read-backs, never per frame.
void window_present_sync();

// True when frames go through MIT-SHM shared memory, false when XPutImage sends them.
bool window_present_shared();

// Frees the image and closes the connection; leaves the window itself alone.
void window_present_close();
