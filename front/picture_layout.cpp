// Where the 800 x 600 picture goes on a screen of any size, and which picture pixel each screen pixel shows.
#include "picture_layout.h"

#include <algorithm>

picture_layout layout_picture(const pixel_rect &monitor, int picture_w, int picture_h)
{
    picture_layout out;
    int w = monitor.w, h = monitor.h;
    // Wider than the picture's shape: full height, black at the sides; otherwise full width.
    if ((long)w * picture_h >= (long)h * picture_w)
        w = (int)((long)h * picture_w / picture_h);
    else
        h = (int)((long)w * picture_h / picture_w);
    out.place = {monitor.x + (monitor.w - w) / 2, monitor.y + (monitor.h - h) / 2, w, h};
    out.identity = w == picture_w && h == picture_h;
    out.src_col.resize((size_t)w);
    out.src_row.resize((size_t)h);
    for (int k = 0; k < w; k++)
        out.src_col[(size_t)k] = (int)((long)k * picture_w / w);
    for (int k = 0; k < h; k++)
        out.src_row[(size_t)k] = (int)((long)k * picture_h / h);
    return out;
}

// The first and one-past-last index whose source lies in [s0, s1).
static void span(const std::vector<int> &src, int s0, int s1, int &d0, int &d1)
{
    d0 = (int)(std::lower_bound(src.begin(), src.end(), s0) - src.begin());
    d1 = (int)(std::lower_bound(src.begin(), src.end(), s1) - src.begin());
}

pixel_rect layout_span(const picture_layout &layout, int x0, int y0, int x1, int y1)
{
    int c0, c1, r0, r1;
    span(layout.src_col, x0, x1, c0, c1);
    span(layout.src_row, y0, y1, r0, r1);
    return {c0, r0, std::max(0, c1 - c0), std::max(0, r1 - r0)};
}

bool layout_margin(const pixel_rect &m, const picture_layout &layout, pixel_rect &band)
{
    const pixel_rect &p = layout.place;
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
