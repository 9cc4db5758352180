// Where the picture is shown: the program's own full screen, or a window a screen-saver host made.
#pragma once

#include <string>

struct BITMAP;
struct pixel_rect;

// Opens the screen at 32 bits in the platform's mode (present_mode_open): on X11 full screen at the
// desktop's own size (the monitor's video mode is never switched), with the picture on the primary
// monitor and black everywhere else; a window of the picture's size where no full screen can be had.
// *given_up says what was tried and not had (empty when nothing); *why why nothing could be had.
bool present_open(int picture_w, int picture_h, std::string *given_up, std::string *why);

// Shows the picture in `window` (0: the root window), which a screen-saver host made and owns:
// scaled to the window's size, following it when it changes.  Allegro's screen stays closed.
// False, with the reason in *why, when that window cannot be used.
bool present_open_window(unsigned long window, int picture_w, int picture_h, std::string *why);

// The presenter chosen by the open above; the calls below go to it.

// Once per display pass: true when the place to draw changed size (the host's window was resized)
// and was cleared, so everything must be shown again.  Never waits for the X server.
bool present_follow_size();

// Shows picture pixels [x0, x1) x [y0, y1) at their place on the screen: pixel for pixel when the
// place is the picture's size, otherwise nearest neighbour, so a part lands exactly where the whole would.
void present_picture(BITMAP *picture, int x0, int y0, int x1, int y1);

// A black band beside the picture on its monitor where a few lines of text fit (below it, else to
// its left), in screen pixels; false when the picture fills its monitor.
bool present_margin(pixel_rect &band);

// Puts a small bitmap (text for the margin) unscaled at (x, y) on the screen or window.
void present_unscaled(BITMAP *pixels, int x, int y);

// Black over the whole screen, margins and other monitors included.
void present_clear();

// Frees what the open made; the screen itself closes with Allegro.
void present_close();
