// The pointer's place on X11, through short connections of our own: Allegro's full screen warps the pointer to
// the centre, and its own connection is gone by the time the pointer goes back.
#include "platform.h"

#include <X11/Xlib.h>

static bool remembered = false;
static Window remembered_root = None;
static int remembered_x = 0, remembered_y = 0;

void pointer_remember()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    Window root = None, child = None;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned int buttons = 0;
    // False only when the pointer is on another screen than the default one: its root is still right.
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &buttons);
    if (root != None) {
        remembered = true;
        remembered_root = root;
        remembered_x = x;
        remembered_y = y;
    }
    XCloseDisplay(display);
}

void pointer_put_back()
{
    if (!remembered)
        return;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    XWarpPointer(display, None, remembered_root, 0, 0, 0, 0, remembered_x, remembered_y);
    XSync(display, False);
    XCloseDisplay(display);
}
