// Where the 800 x 600 picture goes on a screen of any size, and which picture pixel each screen pixel shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A rectangle in pixels: [x, x + w) by [y, y + h).
struct pixel_rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// The picture's place: the largest 4:3 rectangle that fits the monitor, centred on it, in the
// screen's coordinates.  Nearest neighbour: screen column place.x + k shows picture column
// src_col[k], and likewise for rows; both tables are non-decreasing, so any picture rectangle
// maps to one screen rectangle.  `identity` when the place is the picture pixel for pixel.
struct picture_layout {
    pixel_rect place;
    std::vector<int> src_col, src_row;
    bool identity = true;
};

// `monitor` is the monitor the picture goes on, inside a screen of any size.
picture_layout layout_picture(const pixel_rect &monitor, int picture_w, int picture_h);

// The screen rectangle (relative to place) that shows picture pixels [x0, x1) x [y0, y1).
pixel_rect layout_span(const picture_layout &layout, int x0, int y0, int x1, int y1);

// The screen rectangle (relative to place) that shows picture pixels [x0, x1) x [y0, y1) of a
// picture_w x picture_h picture, the rectangle clipped to the picture first; empty (w or h 0) when
// nothing of it is on the picture.
pixel_rect layout_clipped_span(const picture_layout &layout, int picture_w, int picture_h, int x0, int y0, int x1,
                               int y1);

// Fills rows part.y .. part.y + part.h - 1, columns part.x .. of the scaled picture (row r starting
// at out + r * out_stride bytes) from the picture's rows, nearest neighbour; a row showing the same
// picture row as the one above is a copy of it.
void layout_scale_rows(const picture_layout &layout, const pixel_rect &part, const uint32_t *const *picture_rows,
                       char *out, size_t out_stride);

// A black band beside the picture on its monitor where a few lines of text fit (below it, else at
// least 24 characters to its left), in screen pixels; false when there is none.
bool layout_margin(const pixel_rect &monitor, const picture_layout &layout, pixel_rect &band);
