// The X11 graphics mode: full screen at the desktop's own size on the primary monitor, else a window.
#include "platform.h"

#include "monitors_x11.h"

#include <allegro.h>

static bool open_full_screen(int &w, int &h)
{
    if (get_desktop_resolution(&w, &h) != 0 || w <= 0 || h <= 0)
        return false;
    // The X11 full-screen driver at the desktop's own size covers the screen without a mode switch.
    return set_gfx_mode(GFX_XWINDOWS_FULLSCREEN, w, h, 0, 0) == 0;
}

bool present_mode_open(int picture_w, int picture_h, pixel_rect &monitor, std::string *given_up)
{
    set_color_depth(32);
    int w = 0, h = 0;
    if (open_full_screen(w, h)) {
        pixel_rect primary;
        const bool found = primary_monitor(primary);
        monitor = present_mode_monitor(found, primary);
        return true;
    }
    *given_up = std::string("no full screen at the desktop's size (") + (allegro_error[0] ? allegro_error : "refused") +
                "); running in a window";
    return present_mode_windowed(GFX_AUTODETECT_WINDOWED, picture_w, picture_h, monitor);
}
