// The Windows graphics mode: DirectX's accelerated 800 x 600 full screen, else the desktop's own size scaled, else a window.
#include "platform.h"

#include <allegro.h>

static std::string why() { return allegro_error[0] ? allegro_error : "refused"; }

bool present_mode_open(int picture_w, int picture_h, pixel_rect &monitor, std::string *given_up)
{
    set_color_depth(32);
    // The picture's own mode, switched to as a screen saver always has on Windows.
    if (set_gfx_mode(GFX_DIRECTX_ACCEL, picture_w, picture_h, 0, 0) == 0) {
        monitor = {0, 0, SCREEN_W, SCREEN_H};
        return true;
    }
    *given_up = "no " + std::to_string(picture_w) + " x " + std::to_string(picture_h) + " full screen (" + why() + ")";
    // No such mode (some displays and Wine offer only the desktop's size): the desktop scaled, as on X11.
    int w = 0, h = 0;
    if (get_desktop_resolution(&w, &h) == 0 && w > 0 && h > 0 && set_gfx_mode(GFX_DIRECTX, w, h, 0, 0) == 0) {
        monitor = {0, 0, SCREEN_W, SCREEN_H};
        return true;
    }
    *given_up += "\nno full screen at the desktop's size (" + why() + "); running in a window";
    // DirectX's window driver; the GDI one is not fit for 64-bit builds.
    if (set_gfx_mode(GFX_DIRECTX_WIN, picture_w, picture_h, 0, 0) != 0)
        return false;
    monitor = {0, 0, picture_w, picture_h};
    return true;
}
