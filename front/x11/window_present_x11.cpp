// The picture shown in an X window another program made (a screen-saver host's), through a connection of our own.
#include "platform.h"

#include "display_loss.h"
#include "display_loss_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdlib>
#include <cstring>

#include <sys/ipc.h>
#include <sys/shm.h>

// While `display` is open: `window` is win_w x win_h, `layout` places the picture in it, and `image`
// holds the scaled picture (layout.place's size) in the window's own pixel format, in memory the
// server shares when `shm`.  `direct` when that format is 0xRRGGBB in 32 bits of this machine's byte order.
static Display *display = nullptr;
static Window window = 0;
static GC gc = nullptr;
static Visual *visual = nullptr;
static int depth = 0, win_w = 0, win_h = 0, pic_w = 0, pic_h = 0;
static picture_layout layout;
static XImage *image = nullptr;
static XShmSegmentInfo shm_info;
static bool shm = false, shm_possible = false, direct = false;

// Each channel of the window's format: where it sits and how many bits it has.
struct channel {
    int shift = 0, bits = 0;
};
static channel red, green, blue;

static channel channel_of(unsigned long mask)
{
    channel c;
    if (!mask)
        return c;
    while (!(mask & 1)) {
        mask >>= 1;
        c.shift++;
    }
    while (mask & 1) {
        mask >>= 1;
        c.bits++;
    }
    return c;
}

static unsigned long scaled_channel(uint32_t value8, const channel &c)
{
    const unsigned long v = c.bits <= 8 ? value8 >> (8 - c.bits) : (unsigned long)value8 << (c.bits - 8);
    return v << c.shift;
}

static unsigned long native_pixel(uint32_t rgb)
{
    return scaled_channel(rgb >> 16 & 0xFF, red) | scaled_channel(rgb >> 8 & 0xFF, green) |
           scaled_channel(rgb & 0xFF, blue);
}

static bool usable() { return display && !display_lost() && !display_window_gone(); }

static bool shm_refused = false;
static int note_shm_refusal(Display *, XErrorEvent *)
{
    shm_refused = true;
    return 0;
}

static void free_image()
{
    if (!image)
        return;
    if (shm) {
        XShmDetach(display, &shm_info);
        shmdt(shm_info.shmaddr);
        image->data = nullptr;
    }
    XDestroyImage(image);
    image = nullptr;
    shm = false;
}

// Shared memory the server can attach to, or nothing (a remote display, another IPC namespace).
// Its one round trip happens when the image is made (start-up or a new window size), not per frame.
static XImage *shared_image(int w, int h)
{
    XImage *img = XShmCreateImage(display, visual, (unsigned)depth, ZPixmap, nullptr, &shm_info, (unsigned)w,
                                  (unsigned)h);
    if (!img)
        return nullptr;
    shm_info.shmid = shmget(IPC_PRIVATE, (size_t)img->bytes_per_line * (size_t)h, IPC_CREAT | 0600);
    if (shm_info.shmid < 0) {
        XDestroyImage(img);
        return nullptr;
    }
    shm_info.shmaddr = img->data = (char *)shmat(shm_info.shmid, nullptr, 0);
    shm_info.readOnly = False;
    bool attached = false;
    if (shm_info.shmaddr != (char *)-1) {
        shm_refused = false;
        XErrorHandler previous = XSetErrorHandler(note_shm_refusal);
        XShmAttach(display, &shm_info);
        XSync(display, False);
        XSetErrorHandler(previous);
        attached = !shm_refused;
        if (!attached)
            shmdt(shm_info.shmaddr);
    }
    // Marked for removal now: it goes away with the last of the two processes using it.
    shmctl(shm_info.shmid, IPC_RMID, nullptr);
    if (!attached) {
        img->data = nullptr;
        XDestroyImage(img);
        return nullptr;
    }
    return img;
}

static bool make_image()
{
    free_image();
    const int w = layout.place.w, h = layout.place.h;
    if (w <= 0 || h <= 0)
        return true;
    if (shm_possible) {
        image = shared_image(w, h);
        shm = image != nullptr;
        shm_possible = shm;
    }
    if (!image) {
        image = XCreateImage(display, visual, (unsigned)depth, ZPixmap, 0, nullptr, (unsigned)w, (unsigned)h, 32, 0);
        if (!image)
            return false;
        image->data = (char *)std::malloc((size_t)image->bytes_per_line * (size_t)h);
        if (!image->data) {
            XDestroyImage(image);
            image = nullptr;
            return false;
        }
    }
    const uint32_t one = 1;
    const int host_order = *(const unsigned char *)&one == 1 ? LSBFirst : MSBFirst;
    direct = image->bits_per_pixel == 32 && image->byte_order == host_order && visual->red_mask == 0xFF0000 &&
             visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    return true;
}

static void place_picture()
{
    layout = layout_picture({0, 0, win_w, win_h}, pic_w, pic_h);
}

bool window_present_scr_previews() { return false; }

bool window_present_open(unsigned long id, int picture_w, int picture_h, std::string *why)
{
    display = XOpenDisplay(nullptr);
    if (!display) {
        *why = "cannot open the X display";
        return false;
    }
    // Protocol errors on this connection from here on mean the window is gone: a stop, not an exit.
    display_loss_watch_window(display);
    window = id ? (Window)id : DefaultRootWindow(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || display_window_gone()) {
        *why = "there is no window " + std::to_string(id);
        return false;
    }
    if (attributes.c_class != InputOutput || attributes.visual->c_class != TrueColor) {
        *why = "the window cannot show colour pictures (no TrueColor visual)";
        return false;
    }
    visual = attributes.visual;
    depth = attributes.depth;
    win_w = attributes.width;
    win_h = attributes.height;
    pic_w = picture_w;
    pic_h = picture_h;
    red = channel_of(visual->red_mask);
    green = channel_of(visual->green_mask);
    blue = channel_of(visual->blue_mask);
    // Only the window's size and end are wanted: its keys and pointer are the host's.
    XSelectInput(display, window, attributes.your_event_mask | StructureNotifyMask);
    XGCValues values;
    values.foreground = 0;
    values.graphics_exposures = False;
    // Over any child windows too: the whole of the window given is ours to draw on.
    values.subwindow_mode = IncludeInferiors;
    gc = XCreateGC(display, window, GCForeground | GCGraphicsExposures | GCSubwindowMode, &values);
    int major, minor;
    Bool pixmaps;
    shm_possible = XShmQueryVersion(display, &major, &minor, &pixmaps) && std::getenv("DISPLAY") &&
                   std::getenv("DISPLAY")[0] == ':';
    place_picture();
    if (!make_image() || display_window_gone()) {
        *why = "cannot make an image of the window's size";
        return false;
    }
    window_present_clear();
    return true;
}

void window_present_picture(const picture_rows &picture, int x0, int y0, int x1, int y1)
{
    if (!usable() || !image)
        return;
    const pixel_rect part = layout_clipped_span(layout, picture.w, picture.h, x0, y0, x1, y1);
    if (part.w <= 0 || part.h <= 0)
        return;
    if (direct) {
        layout_scale_rows(layout, part, picture.rows, image->data, (size_t)image->bytes_per_line);
    } else {
        // Another pixel format: each pixel converted on its way in.
        const int *src_col = layout.src_col.data() + part.x;
        for (int r = part.y; r < part.y + part.h; r++) {
            const uint32_t *in = picture.rows[layout.src_row[(size_t)r]];
            for (int k = 0; k < part.w; k++)
                XPutPixel(image, part.x + k, r, native_pixel(in[src_col[k]]));
        }
    }
    const int to_x = layout.place.x + part.x, to_y = layout.place.y + part.y;
    if (shm)
        XShmPutImage(display, window, gc, image, part.x, part.y, to_x, to_y, (unsigned)part.w, (unsigned)part.h,
                     False);
    else
        XPutImage(display, window, gc, image, part.x, part.y, to_x, to_y, (unsigned)part.w, (unsigned)part.h);
    XFlush(display);
}

void window_present_unscaled(const picture_rows &pixels, int x, int y)
{
    if (!usable() || pixels.w <= 0 || pixels.h <= 0)
        return;
    XImage *band = XCreateImage(display, visual, (unsigned)depth, ZPixmap, 0, nullptr, (unsigned)pixels.w,
                                (unsigned)pixels.h, 32, 0);
    if (!band)
        return;
    band->data = (char *)std::malloc((size_t)band->bytes_per_line * (size_t)pixels.h);
    if (band->data) {
        for (int r = 0; r < pixels.h; r++)
            for (int k = 0; k < pixels.w; k++)
                XPutPixel(band, k, r, native_pixel(pixels.rows[r][k]));
        XPutImage(display, window, gc, band, 0, 0, x, y, (unsigned)pixels.w, (unsigned)pixels.h);
        XFlush(display);
    }
    XDestroyImage(band);
}

bool window_present_margin(pixel_rect &band) { return layout_margin({0, 0, win_w, win_h}, layout, band); }

void window_present_clear()
{
    if (!usable())
        return;
    XFillRectangle(display, window, gc, 0, 0, (unsigned)win_w, (unsigned)win_h);
    XFlush(display);
}

bool window_present_follow_size()
{
    if (!usable())
        return false;
    int w = win_w, h = win_h;
    // XPending reads only what has already arrived.
    while (XPending(display) > 0) {
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == ConfigureNotify && e.xconfigure.window == window) {
            w = e.xconfigure.width;
            h = e.xconfigure.height;
        } else if (e.type == DestroyNotify && e.xdestroywindow.window == window) {
            display_loss_window_gone("the screen saver's window was closed");
            return false;
        }
    }
    if (!usable() || (w == win_w && h == win_h))
        return false;
    win_w = w;
    win_h = h;
    place_picture();
    if (!make_image())
        display_loss_window_gone("no image of the window's new size can be made");
    window_present_clear();
    return true;
}

void window_present_sync()
{
    if (usable())
        XSync(display, False);
}

bool window_present_shared() { return shm; }

void window_present_close()
{
    if (!display)
        return;
    // After a loss of the display nothing may be sent: the process ends without closing.
    if (display_lost())
        return;
    free_image();
    if (gc)
        XFreeGC(display, gc);
    gc = nullptr;
    XCloseDisplay(display);
    display = nullptr;
}
