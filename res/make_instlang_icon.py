#!/usr/bin/env python3
"""Draws the installer's window icon INSTLANG_ICON: one 32 x 32 image with a
256-colour palette. The splash window's blue-to-cyan gradient on a rounded
tile, a white package and a red arrow going into it.

    python3 res/make_instlang_icon.py res/instlang.ico
"""
import struct
import sys

SIZE = 32
TOP = (64, 64, 255)
BOTTOM = (64, 255, 255)
BORDER = (24, 24, 112)
BOX = (255, 255, 255)
BOX_EDGE = (96, 96, 96)
BOX_SHADE = (208, 208, 208)
ARROW = (255, 0, 0)
ARROW_EDGE = (128, 0, 0)


def inside_tile(x, y, radius=5, low=1, high=30):
    """The rounded tile covers low..high in both directions."""
    cx = min(max(x, low + radius), high - radius)
    cy = min(max(y, low + radius), high - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and low <= x <= high and low <= y <= high


def on_tile_edge(x, y):
    return inside_tile(x, y) and not all(
        inside_tile(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))


def gradient(y):
    t = (y - 1) / 29
    return tuple(int(a + t * (b - a) + 0.5) for a, b in zip(TOP, BOTTOM))


def in_arrow(x, y):
    """A shaft from the top down to a head whose tip enters the package."""
    if 3 <= y <= 10 and 14 <= x <= 17:
        return True
    half = 17 - y  # the head narrows from row 11 to its tip at row 17
    return 11 <= y <= 17 and 15.5 - half - 0.5 <= x <= 15.5 + half + 0.5


def in_box(x, y):
    return 8 <= x <= 23 and 14 <= y <= 26


def pixel(x, y):
    """Colour of a pixel, or None where the icon is transparent."""
    if not inside_tile(x, y):
        return None
    if on_tile_edge(x, y):
        return BORDER
    if in_arrow(x, y):
        edge = not all(in_arrow(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        return ARROW_EDGE if edge else ARROW
    if in_box(x, y):
        if x in (8, 23) or y in (14, 26):
            return BOX_EDGE
        return BOX_SHADE if y == 19 else BOX
    return gradient(y)


def build_icon():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    palette = sorted({c for row in rows for c in row if c is not None})
    palette = [(0, 0, 0)] + [c for c in palette if c != (0, 0, 0)]
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    index = {}
    for i, c in enumerate(palette):
        index.setdefault(c, i)

    # Both bitmaps are stored bottom-up; the AND mask has 1 where the desktop
    # shows through, in rows padded to 32 bits.
    colour_bits = b"".join(bytes(index[c] if c is not None else 0 for c in row) for row in reversed(rows))
    mask_bits = b""
    for row in reversed(rows):
        bits = 0
        for x, c in enumerate(row):
            if c is None:
                bits |= 1 << (31 - x)
        mask_bits += struct.pack(">I", bits)

    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 8, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, 256, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    image = header + table + colour_bits + mask_bits
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_instlang_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(build_icon())


if __name__ == "__main__":
    main()
