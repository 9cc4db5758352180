// A picture of the whole X screen, read back with ImageMagick's import, and text found in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pixels as 0xRRGGBB, row by row.
struct screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[(size_t)y * (size_t)width + (size_t)x]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Takes a screenshot of the root window; empty (width 0) when it fails.
screenshot take_screenshot();

// The grey of food: every channel equal and not black.
bool food_grey(uint32_t p);
// Whole 7 x 7 food squares of one grey on the picture's 8-pixel grid, the picture's top left corner
// at (x, y) and drawn pixel for pixel.
int food_squares(const screenshot &shot, int x = 0, int y = 0);

// True when every pixel the built-in 8 x 8 font sets for `text` at (x, y) has `colour`, and,
// with `opaque`, every other pixel of its box is black.
bool text_at(const screenshot &shot, int x, int y, const std::string &text, uint32_t colour, bool opaque = false);

// Reads `count` characters at (x, y) drawn in `colour`: a cell is read as the character whose
// glyph is exactly the set of pixels of that colour in it, or '?' when none is.
std::string read_text(const screenshot &shot, int x, int y, int count, uint32_t colour,
                      const std::string &alphabet = " 0123456789");

// The number at the end of a figure such as "time:    42", or -1 when it cannot be read.
long read_figure(const screenshot &shot, int x, int y, uint32_t colour);
