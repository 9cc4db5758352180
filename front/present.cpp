// Where the picture is shown: the program's own full screen, or a window a screen-saver host made.
#include "present.h"

#include "picture_layout.h"
#include "present_mode.h"
#include "window_present.h"

#include <allegro.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

static picture_layout layout;
static pixel_rect monitor_used;
// The picture at its scaled size, rebuilt part by part before it is copied to the screen.
static BITMAP *scaled = nullptr;
// A host's window instead of Allegro's screen: everything goes to window_present.
static bool in_window = false;

static picture_rows rows_of(BITMAP *bitmap)
{
    picture_rows rows;
    rows.rows = (const uint32_t *const *)bitmap->line;
    rows.w = bitmap->w;
    rows.h = bitmap->h;
    return rows;
}

bool present_open(int picture_w, int picture_h)
{
    pixel_rect monitor;
    if (!present_mode_open(picture_w, picture_h, monitor))
        return false;
    monitor_used = monitor;
    layout = layout_picture(monitor, picture_w, picture_h);
    if (!layout.identity) {
        scaled = create_bitmap(layout.place.w, layout.place.h);
        if (!scaled)
            return false;
    }
    clear_bitmap(screen);
    return true;
}

bool present_open_window(unsigned long window, int picture_w, int picture_h)
{
    // Memory bitmaps, makecol and the font work at this depth without a graphics mode, but the pixel
    // layout is set by opening a screen: without one Allegro's default is 0xBBGGRR.  The picture is 0xRRGGBB.
    set_color_depth(32);
    _rgb_r_shift_32 = 16;
    _rgb_g_shift_32 = 8;
    _rgb_b_shift_32 = 0;
    _rgb_a_shift_32 = 24;
    std::string why;
    if (!window_present_open(window, picture_w, picture_h, &why)) {
        std::fprintf(stderr, "life: cannot draw into the screen saver's window: %s\n", why.c_str());
        return false;
    }
    in_window = true;
    return true;
}

bool present_follow_size() { return in_window && window_present_follow_size(); }

void present_picture(BITMAP *picture, int x0, int y0, int x1, int y1)
{
    if (in_window) {
        window_present_picture(rows_of(picture), x0, y0, x1, y1);
        return;
    }
    if (x0 < 0)
        x0 = 0;
    if (y0 < 0)
        y0 = 0;
    if (x1 > picture->w)
        x1 = picture->w;
    if (y1 > picture->h)
        y1 = picture->h;
    if (x0 >= x1 || y0 >= y1)
        return;
    const pixel_rect &place = layout.place;
    if (layout.identity) {
        blit(picture, screen, x0, y0, place.x + x0, place.y + y0, x1 - x0, y1 - y0);
        return;
    }
    const pixel_rect part = layout_span(layout, x0, y0, x1, y1);
    const int *src_col = layout.src_col.data() + part.x;
    const size_t bytes = (size_t)part.w * sizeof(uint32_t);
    for (int r = part.y; r < part.y + part.h; r++) {
        uint32_t *out = (uint32_t *)scaled->line[r] + part.x;
        // Rows that show the same picture row are copies of the one above.
        if (r > part.y && layout.src_row[(size_t)r] == layout.src_row[(size_t)r - 1]) {
            std::memcpy(out, (uint32_t *)scaled->line[r - 1] + part.x, bytes);
            continue;
        }
        const uint32_t *in = (const uint32_t *)picture->line[layout.src_row[(size_t)r]];
        for (int k = 0; k < part.w; k++)
            out[k] = in[src_col[k]];
    }
    blit(scaled, screen, part.x, part.y, place.x + part.x, place.y + part.y, part.w, part.h);
}

bool present_margin(pixel_rect &band)
{
    return in_window ? window_present_margin(band) : layout_margin(monitor_used, layout, band);
}

void present_unscaled(BITMAP *pixels, int x, int y)
{
    if (in_window)
        window_present_unscaled(rows_of(pixels), x, y);
    else
        blit(pixels, screen, 0, 0, x, y, pixels->w, pixels->h);
}

void present_clear()
{
    if (in_window)
        window_present_clear();
    else
        clear_bitmap(screen);
}

void present_close()
{
    if (in_window)
        window_present_close();
    if (scaled)
        destroy_bitmap(scaled);
    scaled = nullptr;
}
