// The monitors of the X screen: which one is the user's main monitor.
#include "monitors_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

bool primary_monitor(pixel_rect &out)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return false;
    bool found = false;
    int event_base, error_base, major = 0, minor = 0;
    if (XRRQueryExtension(d, &event_base, &error_base) && XRRQueryVersion(d, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
        int count = 0;
        // Active monitors only: a disconnected output has no place on the screen.
        XRRMonitorInfo *monitors = XRRGetMonitors(d, DefaultRootWindow(d), True, &count);
        int pick = -1;
        for (int k = 0; k < count && pick < 0; k++)
            if (monitors[k].primary)
                pick = k;
        if (pick < 0 && count > 0)
            pick = 0;
        if (pick >= 0 && monitors[pick].width > 0 && monitors[pick].height > 0) {
            out = {monitors[pick].x, monitors[pick].y, monitors[pick].width, monitors[pick].height};
            found = true;
        }
        if (monitors)
            XRRFreeMonitors(monitors);
    }
    XCloseDisplay(d);
    return found;
}
