// Windows has no screen-saver host that lends the program its window: the host-window calls refuse or do nothing.
#include "platform.h"

bool window_present_open(unsigned long, int, int, std::string *why)
{
    *why = "a window of another program is only drawn into on X11";
    return false;
}

void window_present_picture(const picture_rows &, int, int, int, int) {}
void window_present_unscaled(const picture_rows &, int, int) {}
bool window_present_margin(pixel_rect &) { return false; }
void window_present_clear() {}
bool window_present_follow_size() { return false; }
void window_present_sync() {}
bool window_present_shared() { return false; }
void window_present_close() {}
