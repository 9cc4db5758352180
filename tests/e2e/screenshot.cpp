// A picture of the whole X screen, read back with ImageMagick's import, and text found in it.
#include "screenshot.h"

#include <allegro.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

screenshot take_screenshot()
{
    screenshot shot;
    FILE *pipe = popen("import -window root -depth 8 ppm:- 2>/dev/null", "r");
    if (!pipe)
        return shot;
    std::vector<unsigned char> data;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        data.insert(data.end(), buf, buf + n);
    if (pclose(pipe) != 0)
        return shot;

    // Binary PPM: "P6", width, height, maxval, one whitespace byte, then RGB triples.
    size_t pos = 2;
    int fields[3] = {0, 0, 0};
    if (data.size() < 2 || data[0] != 'P' || data[1] != '6')
        return shot;
    for (int f = 0; f < 3; f++) {
        while (pos < data.size() && (std::isspace(data[pos]) || data[pos] == '#')) {
            if (data[pos] == '#')
                while (pos < data.size() && data[pos] != '\n')
                    pos++;
            else
                pos++;
        }
        while (pos < data.size() && std::isdigit(data[pos]))
            fields[f] = fields[f] * 10 + (data[pos++] - '0');
    }
    pos++;
    const int w = fields[0], h = fields[1];
    if (fields[2] != 255 || w <= 0 || h <= 0 || data.size() < pos + (size_t)w * (size_t)h * 3)
        return shot;
    shot.width = w;
    shot.height = h;
    shot.pixels.resize((size_t)w * (size_t)h);
    for (size_t p = 0; p < shot.pixels.size(); p++, pos += 3)
        shot.pixels[p] = (uint32_t)data[pos] << 16 | (uint32_t)data[pos + 1] << 8 | data[pos + 2];
    return shot;
}

// The font's glyphs as 8 x 8 masks, rendered once by Allegro itself (without a display).
struct glyph {
    bool set[8][8];
};

static const glyph &glyph_of(char ch)
{
    static std::map<char, glyph> cache;
    static bool started = false;
    auto found = cache.find(ch);
    if (found != cache.end())
        return found->second;
    if (!started) {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        started = true;
    }
    BITMAP *bmp = create_bitmap_ex(32, 8, 8);
    clear_to_color(bmp, 0);
    const char text[2] = {ch, 0};
    textout_ex(bmp, font, text, 0, 0, makecol32(255, 255, 255), 0);
    glyph g;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            g.set[y][x] = getpixel(bmp, x, y) != 0;
    destroy_bitmap(bmp);
    return cache[ch] = g;
}

bool text_at(const screenshot &shot, int x, int y, const std::string &text, uint32_t colour, bool opaque)
{
    for (size_t k = 0; k < text.size(); k++) {
        const glyph &g = glyph_of(text[k]);
        for (int gy = 0; gy < 8; gy++) {
            for (int gx = 0; gx < 8; gx++) {
                const int px = x + 8 * (int)k + gx, py = y + gy;
                if (!shot.inside(px, py))
                    return false;
                const uint32_t seen = shot.at(px, py);
                if (g.set[gy][gx] ? seen != colour : (opaque && seen != 0))
                    return false;
            }
        }
    }
    return true;
}

std::string read_text(const screenshot &shot, int x, int y, int count, uint32_t colour, const std::string &alphabet)
{
    std::string out;
    for (int k = 0; k < count; k++) {
        char found = '?';
        for (char ch : alphabet) {
            const glyph &g = glyph_of(ch);
            bool same = true;
            for (int gy = 0; gy < 8 && same; gy++)
                for (int gx = 0; gx < 8 && same; gx++) {
                    const int px = x + 8 * k + gx, py = y + gy;
                    same = shot.inside(px, py) && g.set[gy][gx] == (shot.at(px, py) == colour);
                }
            if (same) {
                found = ch;
                break;
            }
        }
        out += found;
    }
    return out;
}

long read_figure(const screenshot &shot, int x, int y, uint32_t colour)
{
    // "time:%6d" and " ips:%6d": five characters of label, then six of number.
    const std::string digits = read_text(shot, x + 5 * 8, y, 6, colour);
    long value = 0;
    bool any = false;
    for (char ch : digits) {
        if (ch == '?')
            return -1;
        if (ch == ' ') {
            if (any)
                return -1;
            continue;
        }
        value = value * 10 + (ch - '0');
        any = true;
    }
    return any ? value : -1;
}

bool food_grey(uint32_t p) { return p != 0 && (p >> 16) == ((p >> 8) & 0xFF) && (p >> 16) == (p & 0xFF); }

int food_squares(const screenshot &shot, int x0, int y0)
{
    if (!shot.inside(x0, y0) || !shot.inside(x0 + 799, y0 + 599))
        return 0;
    int squares = 0;
    for (int i = 0; i < 100; i++)
        for (int j = 0; j < 75; j++) {
            const uint32_t g = shot.at(x0 + 8 * i, y0 + 8 * j);
            bool whole = food_grey(g);
            for (int y = 0; y < 7 && whole; y++)
                for (int x = 0; x < 7 && whole; x++)
                    whole = shot.at(x0 + 8 * i + x, y0 + 8 * j + y) == g;
            squares += whole;
        }
    return squares;
}
