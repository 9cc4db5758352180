// The real screen: the 800 x 600 picture put on it, scaled when the screen is larger.
#include "present.h"

#include "picture_layout.h"
#include "present_mode.h"

#include <allegro.h>

#include <cstdint>
#include <cstring>

static picture_layout layout;
static pixel_rect monitor_used;
// The picture at its scaled size, rebuilt part by part before it is copied to the screen.
static BITMAP *scaled = nullptr;

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

void present_picture(BITMAP *picture, int x0, int y0, int x1, int y1)
{
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
    const pixel_rect &m = monitor_used, &p = layout.place;
    const int below = m.y + m.h - (p.y + p.h);
    if (below >= 10) {
        band = {m.x, p.y + p.h, m.w, below};
        return true;
    }
    const int left = p.x - m.x;
    if (left >= 8 * 24) {
        band = {m.x, m.y, left, m.h};
        return true;
    }
    return false;
}

void present_clear() { clear_bitmap(screen); }

void present_close()
{
    if (scaled)
        destroy_bitmap(scaled);
    scaled = nullptr;
}
