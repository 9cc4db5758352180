// Where the 800 x 600 picture goes on a screen of any size, and which picture pixel each screen pixel shows.
#include "picture_layout.h"

#include <algorithm>
#include <cstring>

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

pixel_rect layout_clipped_span(const picture_layout &layout, int picture_w, int picture_h, int x0, int y0, int x1,
                               int y1)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, picture_w);
    y1 = std::min(y1, picture_h);
    if (x0 >= x1 || y0 >= y1)
        return pixel_rect();
    if (layout.identity)
        return {x0, y0, x1 - x0, y1 - y0};
    return layout_span(layout, x0, y0, x1, y1);
}

void layout_scale_rows(const picture_layout &layout, const pixel_rect &part, const uint32_t *const *picture_rows,
                       char *out, size_t out_stride)
{
    const int *src_col = layout.src_col.data() + part.x;
    const size_t bytes = (size_t)part.w * sizeof(uint32_t);
    for (int r = part.y; r < part.y + part.h; r++) {
        uint32_t *row = (uint32_t *)(out + (size_t)r * out_stride) + part.x;
        if (r > part.y && layout.src_row[(size_t)r] == layout.src_row[(size_t)r - 1]) {
            std::memcpy(row, (const char *)row - out_stride, bytes);
            continue;
        }
        const uint32_t *in = picture_rows[layout.src_row[(size_t)r]];
        for (int k = 0; k < part.w; k++)
            row[k] = in[src_col[k]];
    }
}
