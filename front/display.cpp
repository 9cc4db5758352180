// The 18-per-second display pass: at most one key command, then the picture.
#include "display.h"

#include "color.h"
#include "display_loss.h"
#include "keys.h"
#include "notices.h"
#include "picture_layout.h"
#include "present.h"
#include "saving.h"
#include "simulation.h"
#include "world.h"

#include <allegro.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <algorithm>

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

static int rgb(int32_t c) { return makecol(color_red(c), color_green(c), color_blue(c)); }

// Draws the two figures at (x, y); with `show`, puts each line's own box on the screen, so the
// figures change in place without the rest of the picture being copied again.
static void draw_clock_text(const world_state &w, const front_state &f, int x, int y, bool show)
{
    const int grey = makecol(0x80, 0x80, 0x80);
    char lines[2][32];
    std::snprintf(lines[0], sizeof lines[0], "time:%6d", (int)w.time);
    std::snprintf(lines[1], sizeof lines[1], " ips:%6d", (int)f.ips);
    for (int k = 0; k < 2; k++) {
        textout_ex(back_buffer, font, lines[k], x, y + 10 * k, grey, f.text_background);
        if (show)
            present_picture(back_buffer, x, y + 10 * k, x + text_length(font, lines[k]), y + 10 * k + text_height(font));
    }
}

// Draws newline-separated lines from (x, y) down, 10 pixels apart; returns how many.
static int draw_lines(BITMAP *bmp, const std::string &text, int x, int y, int colour, int background)
{
    int n = 0;
    for (size_t at = 0; at < text.size(); n++) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        textout_ex(bmp, font, text.substr(at, end - at).c_str(), x, y + 10 * n, colour, background);
        at = end + 1;
    }
    return n;
}

static int count_lines(const std::string &text)
{
    int n = text.empty() ? 0 : 1;
    for (char ch : text)
        n += ch == '\n';
    return n;
}

static long steady_ms()
{
    using namespace std::chrono;
    return (long)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A fresh message goes in the black margin beside the picture where there is one (cleared again
// when it expires), else into the picture's bottom rows.
static std::string margin_text; // what the margin shows now
static int picture_notice_rows = 0; // picture rows the last message covered, when it was in the picture

static void show_notice_in_margin(const std::string &fresh)
{
    pixel_rect band;
    if (!present_margin(band))
        return;
    // Drawn when the message changes, not at every pass.
    if (fresh == margin_text)
        return;
    margin_text = fresh;
    // The band is drawn off screen and put in place whole: a host's window has no Allegro screen.
    BITMAP *pixels = create_bitmap(band.w, band.h);
    if (!pixels)
        return;
    clear_bitmap(pixels);
    if (!fresh.empty()) {
        const std::string lines = notice_wrapped(fresh, (band.w - 20) / 8);
        const int rows = count_lines(lines);
        const int top = std::max(0, band.h - 10 * rows - 4);
        draw_lines(pixels, lines, 10, top, makecol(0x80, 0x80, 0x80), 0);
    }
    present_unscaled(pixels, band.x, band.y);
    destroy_bitmap(pixels);
}

// Into the picture's bottom rows; returns the first row it covers (screen_h when none).
static int draw_notice_in_picture(const std::string &fresh)
{
    pixel_rect band;
    if (fresh.empty() || present_margin(band))
        return screen_h;
    const std::string lines = notice_wrapped(fresh, (screen_w - 20) / 8);
    const int top = screen_h - 10 * count_lines(lines) - 2;
    draw_lines(back_buffer, lines, 10, top, makecol(0x80, 0x80, 0x80), 0);
    return top;
}

static void draw_field(const world_state &world)
{
    const int width = world.field_width, height = world.field_height;
    for (int j = 0; j < height; j++) {
        for (int i = 0; i < width; i++) {
            const int idx = cell_index(i, j);
            // Food just above 1 (regrowth overshoots) or a stray value from a file stays white.
            const double g = (double)world.cell_food[idx] * 255.0;
            if (!(g >= 1.0))
                continue;
            const int level = g >= 255.0 ? 255 : (int)g;
            const int x = i * cell_px, y = j * cell_px;
            rectfill(back_buffer, x, y, x + 6, y + 6, makecol(level, level, level));
        }
    }
}

// Every slot stands inside the largest field: a load takes only such creatures and a step
// never moves one out, so its pixels are on the screen.
static void draw_creatures(const world_state &world)
{
    const int red = makecol(0xFF, 0, 0);
    for (int c = 0; c < world.population; c++) {
        const creature &cr = world.creatures[c];
        const double px = (double)cr.x * 8.0, py = (double)cr.y * 8.0;
        const double a = (double)cr.angle;
        const int hx = (int)px, hy = (int)py;
        // A network can drive the heading to infinity: such a creature has no tail to draw.
        if (std::isfinite(a))
            line(back_buffer, hx, hy, (int)(px - std::cos(a) * 10.0), (int)(py - std::sin(a) * 10.0), rgb(cr.color));
        putpixel(back_buffer, hx, hy, red);
    }
}

// Where a fresh message in the picture's bottom rows begins (screen_h when there is none there).
static int notice_top_in_picture(const std::string &fresh)
{
    pixel_rect band;
    if (fresh.empty() || present_margin(band))
        return screen_h;
    return screen_h - 10 * count_lines(notice_wrapped(fresh, (screen_w - 20) / 8)) - 2;
}

enum : int { graph_box_rows = 140 };

// The ticks of the graph's time axis, in seconds before its end.
static const struct {
    double ago;
    const char *label;
} graph_ticks[] = {{60, "1m"}, {3600, "1h"}, {86400, "1d"}, {30 * 86400.0, "30d"}, {365 * 86400.0, "1y"}};

// A curve of per-column values scaled to `top` and drawn in the box's inner rows.
static void draw_curve(const std::vector<double> &values, double top, int x0, int y0, int y1, int colour)
{
    if (!(top > 0))
        return;
    int last_x = -1, last_y = 0;
    for (size_t c = 0; c < values.size(); c++) {
        if (std::isnan(values[c])) {
            last_x = -1;
            continue;
        }
        const int x = x0 + (int)c;
        const int y = y1 - (int)std::lround(values[c] / top * (y1 - y0));
        if (last_x >= 0)
            line(back_buffer, last_x, last_y, x, y, colour);
        else
            putpixel(back_buffer, x, y, colour);
        last_x = x;
        last_y = y;
    }
}

// The world's life in the overlay's free area on the left, from `top` down to `bottom`: the
// generation and the age as text, then food eaten and deaths by exhaustion per minute over the
// whole history.  Parts that do not fit are left out, the text last.
static void draw_life_graph(const simulation &s, front_state &f, int top, int bottom)
{
    const int grey = makecol(0x80, 0x80, 0x80), white = makecol(0xFF, 0xFF, 0xFF), red = makecol(0xFF, 0, 0);
    const int bg = f.text_background;
    const int left = 10, right = 290;
    const world_state &world = s.world;
    int y = top;
    if (bottom - y < 10)
        return;
    uint64_t generation_max = 0;
    double generation_mean = 0;
    life_generations(s, generation_max, generation_mean);
    // Formatted by the C library: Allegro's own printf has no 64-bit integers on every build.
    char text[64];
    std::snprintf(text, sizeof text, "generation %llu, mean %.1f", (unsigned long long)generation_max,
                  generation_mean);
    textout_ex(back_buffer, font, text, left, y, grey, bg);
    y += 10;
    if (bottom - y < 10)
        return;
    textprintf_ex(back_buffer, font, left, y, grey, bg, "age %s", life_age_text(world.time).c_str());
    y += 10;
    // Two legend lines, a box of at least 20 rows and the axis labels under it.
    if (bottom - y < 2 + 20 + 20 + 12)
        return;
    const long now = steady_ms();
    if (f.graph_ms < 0 || now - f.graph_ms >= 1000) {
        std::lock_guard<std::mutex> hold(saving_world_mutex()); // a save may be appending a row
        f.graph = life_graph_of(f.history.rows, right - left - 1);
        f.graph_ms = now;
    }
    const life_graph &g = f.graph;
    y += 2;
    textprintf_ex(back_buffer, font, left, y, white, bg, "food eaten/min, top %.0f", g.food_max);
    textprintf_ex(back_buffer, font, left, y + 10, red, bg, "exhausted/min, top %.0f", g.birth_max);
    y += 20;
    // Tall enough to read, short enough to leave most of the field in view.
    const int box_bottom = std::min(bottom - 12, y + graph_box_rows);
    rect(back_buffer, left, y, right, box_bottom, grey);
    if (g.span <= 0) {
        textout_ex(back_buffer, font, "no history yet", left + 4, y + 4, grey, bg);
        return;
    }
    draw_curve(g.food_rate, g.food_max, left + 1, y + 2, box_bottom - 1, white);
    draw_curve(g.birth_rate, g.birth_max, left + 1, y + 2, box_bottom - 1, red);
    // The axis: where a minute, an hour, a day... ago falls, and "now" at the end.
    int free_from = left;
    for (const auto &t : graph_ticks) {
        if (t.ago >= (double)g.span)
            break;
        const int x = left + 1 + (int)life_graph_x(g, t.ago);
        vline(back_buffer, x, box_bottom, box_bottom + 2, grey);
        const int label_x = x - text_length(font, t.label) / 2;
        if (label_x >= free_from && label_x + text_length(font, t.label) < right - 24) {
            textout_ex(back_buffer, font, t.label, label_x, box_bottom + 4, grey, bg);
            free_from = label_x + text_length(font, t.label) + 4;
        }
    }
    textout_ex(back_buffer, font, "now", right - 24, box_bottom + 4, grey, bg);
}

static void draw_overlay(const simulation &s, front_state &f, int bottom)
{
    const world_state &world = s.world;
    const int text_background = f.text_background;
    textprintf_ex(back_buffer, font, 300, 10, makecol(0x7F, 0x7F, 0x7F), text_background, "  time     resources  ");
    for (int c = 0; c < world.population; c++) {
        const creature &cr = world.creatures[c];
        const char *format = c == world.best_index ? "%5d *     %5.1f " : "%5d       %5.1f ";
        textprintf_ex(back_buffer, font, 300, 20 + 10 * c, rgb(cr.color), text_background, format, (int)cr.age,
                      (double)cr.resources);
    }
    const int grey = makecol(0x80, 0x80, 0x80);
    for (int k = 0; k < 8; k++)
        textprintf_ex(back_buffer, font, 10, 50 + 10 * k, grey, text_background, "%s", help_lines[k]);
    textprintf_ex(back_buffer, font, 10, 150, grey, text_background, "star (*) marks the best");
    // The run's last message stays here, left of the creature table; the graph goes under it.
    const int lines = draw_lines(back_buffer, notice_wrapped(notice_last(), 36), 10, 170, grey, text_background);
    draw_life_graph(s, f, 170 + 10 * lines + (lines ? 6 : 0), bottom);
    draw_clock_text(world, f, 10, 10, false);
}

static void draw_world(const simulation &s, front_state &f, const std::string &fresh)
{
    const world_state &world = s.world;
    const int width = world.field_width, height = world.field_height;
    clear_bitmap(back_buffer);
    draw_field(world);
    draw_creatures(world);
    if (f.info_on)
        draw_overlay(s, f, notice_top_in_picture(fresh) - 6);
    else if (f.show_text)
        draw_clock_text(world, f, f.text_x, f.text_y, false);
    const int notice_top = draw_notice_in_picture(fresh);
    present_picture(back_buffer, 0, 0, width * cell_px, height * cell_px);
    if (notice_top < screen_h)
        present_picture(back_buffer, 0, notice_top, screen_w, screen_h);
    picture_notice_rows = 0;
}

// With the display off only the message's own rows are copied, and blackened once it expires.
static void show_notice_over_frozen_picture(const std::string &fresh)
{
    if (picture_notice_rows > 0) {
        rectfill(back_buffer, 0, screen_h - picture_notice_rows, screen_w - 1, screen_h - 1, 0);
        present_picture(back_buffer, 0, screen_h - picture_notice_rows, screen_w, screen_h);
        picture_notice_rows = 0;
    }
    const int top = draw_notice_in_picture(fresh);
    if (top < screen_h) {
        present_picture(back_buffer, 0, top, screen_w, screen_h);
        picture_notice_rows = screen_h - top;
    }
}

void display_clear()
{
    present_clear();
    margin_text.clear();
}

void display_paint_old_field(int width_px, int height_px)
{
    rectfill(back_buffer, -1, -1, width_px, height_px, makecol(0x20, 0x20, 0x20));
    present_picture(back_buffer, 0, 0, width_px + 1, height_px + 1);
}

void display_tick(simulation &s, front_state &f)
{
    // Once the display has gone away nothing may touch X again, keyboard included.
    if (display_lost())
        return;
    // In a host's window the keyboard is the host's: no keyboard is installed.
    if (keyboard_driver && keypressed()) {
        const int scancode = readkey() >> 8;
        // A new world is drawn over the old field's place, painted first.
        if (scancode == scancode_f12 && back_buffer)
            display_paint_old_field(s.world.field_width * cell_px, s.world.field_height * cell_px);
        {
            // F12 writes the history, which a save from another thread also writes.
            std::lock_guard<std::mutex> hold(saving_world_mutex());
            key_command(s, f, scancode);
        }
    }
    if (!back_buffer)
        return;
    // A resized window starts black: the figures and the message are drawn again in full.
    if (present_follow_size()) {
        margin_text.clear();
        picture_notice_rows = 0;
    }
    const std::string &fresh = notice_fresh(steady_ms());
    if (display_shows(s.world, f)) {
        draw_world(s, f, fresh);
    } else {
        // Only the figures; the opaque background covers the previous ones.
        if (f.show_text)
            draw_clock_text(s.world, f, f.text_x, f.text_y, true);
        show_notice_over_frozen_picture(fresh);
    }
    show_notice_in_margin(fresh);
}
