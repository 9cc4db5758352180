// The 18-per-second display pass: at most one key command, then the picture.
#include "display.h"

#include "color.h"
#include "keys.h"
#include "present.h"
#include "world.h"

#include <allegro.h>

#include <cmath>
#include <cstdio>

BITMAP *back_buffer = nullptr;

static_assert(+scancode_f1 == +KEY_F1 && +scancode_f2 == +KEY_F2 && +scancode_f3 == +KEY_F3 &&
                  +scancode_f4 == +KEY_F4 && +scancode_f12 == +KEY_F12 && +scancode_minus == +KEY_MINUS &&
                  +scancode_minus_pad == +KEY_MINUS_PAD && +scancode_plus_pad == +KEY_PLUS_PAD,
              "the key table is written in Allegro's scancodes");

static const char *const help_lines[] = {
    "(num.)+  inc. population",
    "      -  dec. population",
    "     F1  info",
    "     F2  colorize",
    "     F3  show/hide",
    "     F4  maximize field",
    "    F12  brainwash",
    "    any  exit",
};

static int clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

static int rgb(int32_t c) { return makecol(color_red(c), color_green(c), color_blue(c)); }

// A pixel coordinate from a position a save file may have set to anything: false when it lies
// so far off the screen (or is not a number) that converting it to int would not be defined.
static bool to_px(double v, int &out)
{
    if (!(v > -4096.0 && v < 4096.0))
        return false;
    out = (int)v;
    return true;
}

// Draws the two figures at (x, y); with `show`, puts each line's own box on the screen, so the
// figures change in place without the rest of the picture being copied again.
static void draw_clock_text(int x, int y, bool show)
{
    const int grey = makecol(0x80, 0x80, 0x80);
    char lines[2][32];
    std::snprintf(lines[0], sizeof lines[0], "time:%6d", (int)world.time);
    std::snprintf(lines[1], sizeof lines[1], " ips:%6d", (int)world.ips);
    for (int k = 0; k < 2; k++) {
        textout_ex(back_buffer, font, lines[k], x, y + 10 * k, grey, text_background);
        if (show)
            present_picture(back_buffer, x, y + 10 * k, x + text_length(font, lines[k]), y + 10 * k + text_height(font));
    }
}

static void draw_field(int width, int height)
{
    for (int j = 0; j < height; j++) {
        for (int i = 0; i < width; i++) {
            const int idx = cell_index(i, j);
            // Food just above 1 (regrowth overshoots) or a stray value from a file stays white.
            const double g = (double)world.cell_food[idx] * 255.0;
            if (!(g >= 1.0))
                continue;
            const int level = g >= 255.0 ? 255 : (int)g;
            const int x = world.cell_x_px[idx], y = world.cell_y_px[idx];
            rectfill(back_buffer, x, y, x + 6, y + 6, makecol(level, level, level));
        }
    }
}

static void draw_creatures(int live)
{
    const int red = makecol(0xFF, 0, 0);
    for (int c = 0; c < live; c++) {
        const creature &cr = world.creatures[c];
        const double px = (double)cr.x * 8.0, py = (double)cr.y * 8.0;
        const double a = (double)cr.angle;
        int hx, hy, tx, ty;
        if (!to_px(px, hx) || !to_px(py, hy))
            continue;
        // A heading that is not a number (from a file) leaves the creature without its tail.
        if (to_px(px - std::cos(a) * 10.0, tx) && to_px(py - std::sin(a) * 10.0, ty))
            line(back_buffer, hx, hy, tx, ty, rgb(cr.color));
        putpixel(back_buffer, hx, hy, red);
    }
}

static void draw_overlay(int live)
{
    textprintf_ex(back_buffer, font, 300, 10, makecol(0x7F, 0x7F, 0x7F), text_background, "  time     resources  ");
    for (int c = 0; c < live; c++) {
        const creature &cr = world.creatures[c];
        const char *format = c == world.best_index ? "%5d *     %5.1f " : "%5d       %5.1f ";
        textprintf_ex(back_buffer, font, 300, 20 + 10 * c, rgb(cr.color), text_background, format, (int)cr.age,
                      (double)cr.resources);
    }
    const int grey = makecol(0x80, 0x80, 0x80);
    for (int k = 0; k < 8; k++)
        textprintf_ex(back_buffer, font, 10, 50 + 10 * k, grey, text_background, "%s", help_lines[k]);
    textprintf_ex(back_buffer, font, 10, 150, grey, text_background, "star (*) marks the best");
    draw_clock_text(10, 10, false);
}

static void draw_world()
{
    const int width = clamp(world.field_width, 0, field_max_width);
    const int height = clamp(world.field_height, 0, field_max_height);
    const int live = clamp(world.population, 0, creature_slots);
    clear_bitmap(back_buffer);
    draw_field(width, height);
    draw_creatures(live);
    if (world.info_on)
        draw_overlay(live);
    else
        draw_clock_text(world.text_x, world.text_y, false);
    present_picture(back_buffer, 0, 0, width * cell_px, height * cell_px);
}

void display_tick()
{
    if (keypressed())
        key_command(readkey() >> 8);
    if (!back_buffer)
        return;
    if (world.display_on)
        draw_world();
    else
        // Only the figures; the opaque background covers the previous ones.
        draw_clock_text(world.text_x, world.text_y, true);
}
