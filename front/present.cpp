// Where the picture is shown: the program's own full screen, or a window a screen-saver host made.
#include "present.h"

#include "picture_layout.h"
#include "platform.h"

#include <allegro.h>

#include <cstdint>
#include <string>

static picture_rows rows_of(BITMAP *bitmap)
{
    picture_rows rows;
    rows.rows = (const uint32_t *const *)bitmap->line;
    rows.w = bitmap->w;
    rows.h = bitmap->h;
    return rows;
}

// One way of showing the picture, chosen when the screen or the window is opened.
struct presenter {
    bool (*follow_size)();
    void (*picture)(BITMAP *picture, int x0, int y0, int x1, int y1);
    bool (*margin)(pixel_rect &band);
    void (*unscaled)(BITMAP *pixels, int x, int y);
    void (*clear)();
    void (*close)();
};

// ---------------------------------------------------------------- Allegro's screen of our own

static picture_layout layout;
static pixel_rect monitor_used;
// The picture at its scaled size, rebuilt part by part before it is copied to the screen.
static BITMAP *scaled = nullptr;

static void screen_picture(BITMAP *picture, int x0, int y0, int x1, int y1)
{
    const pixel_rect &place = layout.place;
    const pixel_rect part = layout_clipped_span(layout, picture->w, picture->h, x0, y0, x1, y1);
    if (part.w <= 0 || part.h <= 0)
        return;
    if (layout.identity) {
        blit(picture, screen, part.x, part.y, place.x + part.x, place.y + part.y, part.w, part.h);
        return;
    }
    // A memory bitmap is one block: its rows follow each other at a fixed stride.
    const size_t stride = scaled->h > 1 ? (size_t)(scaled->line[1] - scaled->line[0]) : 0;
    layout_scale_rows(layout, part, rows_of(picture).rows, (char *)scaled->line[0], stride);
    blit(scaled, screen, part.x, part.y, place.x + part.x, place.y + part.y, part.w, part.h);
}

static const presenter own_screen = {
    [] { return false; },
    screen_picture,
    [](pixel_rect &band) { return layout_margin(monitor_used, layout, band); },
    [](BITMAP *pixels, int x, int y) { blit(pixels, screen, 0, 0, x, y, pixels->w, pixels->h); },
    [] { clear_bitmap(screen); },
    [] {
        if (scaled)
            destroy_bitmap(scaled);
        scaled = nullptr;
    },
};

// ---------------------------------------------------------------- a host's window

static const presenter host_window = {
    window_present_follow_size,
    [](BITMAP *picture, int x0, int y0, int x1, int y1) { window_present_picture(rows_of(picture), x0, y0, x1, y1); },
    window_present_margin,
    [](BITMAP *pixels, int x, int y) { window_present_unscaled(rows_of(pixels), x, y); },
    window_present_clear,
    window_present_close,
};

// ---------------------------------------------------------------- the platforms' shared half

bool present_mode_windowed(int driver, int picture_w, int picture_h, pixel_rect &monitor)
{
    if (set_gfx_mode(driver, picture_w, picture_h, 0, 0) != 0)
        return false;
    monitor = {0, 0, picture_w, picture_h};
    return true;
}

pixel_rect present_mode_monitor(bool found, const pixel_rect &m)
{
    const bool inside = m.x >= 0 && m.y >= 0 && m.x + m.w <= SCREEN_W && m.y + m.h <= SCREEN_H;
    return found && inside ? m : pixel_rect{0, 0, SCREEN_W, SCREEN_H};
}

// ---------------------------------------------------------------- the choice

static const presenter *chosen = nullptr;

bool present_open(int picture_w, int picture_h, std::string *given_up, std::string *why)
{
    pixel_rect monitor;
    if (!present_mode_open(picture_w, picture_h, monitor, given_up)) {
        *why = allegro_error[0] ? allegro_error : "no graphics mode";
        return false;
    }
    monitor_used = monitor;
    layout = layout_picture(monitor, picture_w, picture_h);
    if (!layout.identity) {
        scaled = create_bitmap(layout.place.w, layout.place.h);
        if (!scaled) {
            *why = "no memory for the scaled picture";
            return false;
        }
    }
    clear_bitmap(screen);
    chosen = &own_screen;
    return true;
}

bool present_open_window(unsigned long window, int picture_w, int picture_h, std::string *why)
{
    // Memory bitmaps, makecol and the font work at this depth without a graphics mode, but the pixel
    // layout is set by opening a screen: without one Allegro's default is 0xBBGGRR.  The picture is 0xRRGGBB.
    set_color_depth(32);
    _rgb_r_shift_32 = 16;
    _rgb_g_shift_32 = 8;
    _rgb_b_shift_32 = 0;
    _rgb_a_shift_32 = 24;
    if (!window_present_open(window, picture_w, picture_h, why))
        return false;
    chosen = &host_window;
    return true;
}

bool present_follow_size() { return chosen && chosen->follow_size(); }

void present_picture(BITMAP *picture, int x0, int y0, int x1, int y1)
{
    if (chosen)
        chosen->picture(picture, x0, y0, x1, y1);
}

bool present_margin(pixel_rect &band) { return chosen && chosen->margin(band); }

void present_unscaled(BITMAP *pixels, int x, int y)
{
    if (chosen)
        chosen->unscaled(pixels, x, y);
}

void present_clear()
{
    if (chosen)
        chosen->clear();
}

void present_close()
{
    if (chosen)
        chosen->close();
    chosen = nullptr;
}
