// The Windows graphics mode: full screen at the desktop's own size, else DirectX's 800 x 600 mode switch, else a window.
#include "platform.h"

#include "other_monitors_win32.h"

#include <allegro.h>

static std::string why() { return allegro_error[0] ? allegro_error : "refused"; }

// The mouse's range is the screen, with the pointer in its middle: a position stuck at the edge of
// an older, smaller range would swallow every movement towards it.
static void centre_the_mouse()
{
    set_mouse_range(0, 0, SCREEN_W - 1, SCREEN_H - 1);
    position_mouse(SCREEN_W / 2, SCREEN_H / 2);
}

// Allegro pauses a full-screen program that loses the focus, inside its next drawing call, until it
// gets the focus back: a second copy taking the screen froze the first for good, input and the end of
// the session included.  Running on in the background (the picture is drawn again every pass) never
// blocks.
static void keep_running_in_the_background()
{
    if (set_display_switch_mode(SWITCH_BACKAMNESIA) != 0)
        set_display_switch_mode(SWITCH_BACKGROUND);
}

// What every full screen gets once its mode is set.
static void full_screen_opened()
{
    keep_running_in_the_background();
    centre_the_mouse();
}

bool present_mode_open(int picture_w, int picture_h, pixel_rect &monitor, std::string *given_up)
{
    set_color_depth(32);
    // The desktop as it is: a screen saver never switches the monitor's mode (windows would be
    // moved about, wide panels stretched); the picture is scaled as on X11.
    int w = 0, h = 0;
    if (get_desktop_resolution(&w, &h) == 0 && w > 0 && h > 0 && set_gfx_mode(GFX_DIRECTX, w, h, 0, 0) == 0) {
        // The screen is the main monitor; where it holds more (one desktop over several monitors), the
        // picture goes on the main one's part, and other monitors are covered black.
        pixel_rect main;
        const bool found = main_monitor(main);
        monitor = present_mode_monitor(found, main);
        cover_other_monitors();
        full_screen_opened();
        return true;
    }
    *given_up = "no full screen at the desktop's size (" + why() + ")";
    // Where only a mode switch works: the picture's own mode, as screen savers once had.
    if (set_gfx_mode(GFX_DIRECTX_ACCEL, picture_w, picture_h, 0, 0) == 0) {
        *given_up += "; switched the monitor to " + std::to_string(picture_w) + " x " + std::to_string(picture_h);
        monitor = {0, 0, SCREEN_W, SCREEN_H};
        full_screen_opened();
        return true;
    }
    *given_up += "\nno " + std::to_string(picture_w) + " x " + std::to_string(picture_h) + " full screen (" + why() +
                 "); running in a window";
    // DirectX's window driver; the GDI one is not fit for 64-bit builds.
    return present_mode_windowed(GFX_DIRECTX_WIN, picture_w, picture_h, monitor);
}
