# Draws the program's icon from its own look: the Windows screen saver's .ico (16, 32, 48 and 256 pixels), or
# the PNGs of a Linux desktop's icon theme.
"""Usage: make_icon.py OUTPUT.ico | make_icon.py --hicolor FOLDER

With --hicolor, writes FOLDER/NxN/apps/life.png for N in 16, 32, 48, 64, 128 and 256, as the hicolor theme
lays its icons out.

A 32 x 32 patch of the world as the program draws it: black, 7 x 7 grey food squares on the 8-pixel grid,
and two creatures, each a red head pixel with a 10-pixel tail in its own colour. Every size is drawn from the
same patch, nearest neighbour, so the icon is the same picture at every size. Standard library only, and no
time stamps: the same bytes on every build.
"""
import os
import struct
import sys
import zlib

PATCH = 32  # world pixels across the icon
CELL = 8  # world pixels per food cell, as in the program
SIZES = (16, 32, 48, 256)
THEME_SIZES = (16, 32, 48, 64, 128, 256)

# Food level (0-255) per cell of the 4 x 4 patch; 0 is an eaten cell, drawn black as the program does.
FOOD = (
    (0x90, 0x00, 0x60, 0xB0),
    (0x50, 0xA0, 0x00, 0x70),
    (0x00, 0x80, 0xC0, 0x40),
    (0xA8, 0x00, 0x58, 0x98),
)

RED = (0xFF, 0x00, 0x00)
# (head x, head y, tail end x, tail end y, tail colour), in world pixels; each tail is 10 pixels long.
CREATURES = (
    (22, 10, 14, 16, (0x30, 0xD0, 0x40)),
    (9, 24, 19, 24, (0x40, 0x90, 0xFF)),
)


def line_pixels(x0, y0, x1, y1):
    """The pixels of a line from (x0, y0) to (x1, y1), both ends included, as Bresenham's line draws it."""
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
    err = dx + dy
    while True:
        yield x0, y0
        if x0 == x1 and y0 == y1:
            return
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy


def render(size):
    """Rows of (r, g, b) for one size, top row first."""
    # Food: each icon pixel shows the world pixel under its centre.
    rows = []
    for v in range(size):
        wy = (2 * v + 1) * PATCH // (2 * size)
        row = []
        for u in range(size):
            wx = (2 * u + 1) * PATCH // (2 * size)
            level = FOOD[wy // CELL][wx // CELL] if wx % CELL < CELL - 1 and wy % CELL < CELL - 1 else 0
            row.append((level, level, level))
        rows.append(row)

    # Creatures over the food: a world pixel covers its share of the icon, at least one icon pixel, so thin
    # tails stay visible at 16 pixels.
    def plot(wx, wy, colour):
        u0, v0 = wx * size // PATCH, wy * size // PATCH
        u1 = max(u0 + 1, (wx + 1) * size // PATCH)
        v1 = max(v0 + 1, (wy + 1) * size // PATCH)
        for v in range(v0, min(v1, size)):
            for u in range(u0, min(u1, size)):
                rows[v][u] = colour

    for hx, hy, tx, ty, colour in CREATURES:
        for wx, wy in line_pixels(hx, hy, tx, ty):
            plot(wx, wy, colour)
        plot(hx, hy, RED)
    return rows


def bmp_image(rows):
    """An icon image in the classic form: a 32-bit DIB of twice the height, then an all-opaque AND mask."""
    size = len(rows)
    pixels = b"".join(bytes((b, g, r, 0xFF)) for row in reversed(rows) for r, g, b in row)
    mask_stride = (size + 31) // 32 * 4
    mask = bytes(mask_stride * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def png_image(rows):
    """An icon image as a PNG (RGB, 8 bits), the form Windows takes for the 256-pixel size."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in rows)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico_file():
    images = [png_image(render(s)) if s >= 256 else bmp_image(render(s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for size, image in zip(SIZES, images):
        # Width and height 0 mean 256.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--hicolor":
        for size in THEME_SIZES:
            folder = os.path.join(sys.argv[2], "%dx%d" % (size, size), "apps")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "life.png"), "wb") as f:
                f.write(png_image(render(size)))
        return
    if len(sys.argv) != 2:
        sys.exit(__doc__.splitlines()[0])
    data = ico_file()
    with open(sys.argv[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
