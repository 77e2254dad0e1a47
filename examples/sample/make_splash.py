#!/usr/bin/env python3
"""Draws the sample product's splash picture and its mask as BMP files.

The installer draws the mask with AND and the picture with OR over its
background: black mask pixels make room for the picture, white ones keep the
background, and black picture pixels add nothing. Both files are plain
bottom-up BMPs with the 40-byte header, as the installer expects.
Usage: make_splash.py PICTURE.bmp MASK.bmp
"""
import struct
import sys

WIDTH, HEIGHT, RADIUS = 400, 160, 24
BLACK, BORDER, FILL, ACCENT = 0, 1, 2, 3
PALETTE = [(0, 0, 0), (30, 60, 120), (240, 244, 255), (230, 120, 30)]

# A 5 x 7 pixel font for the letters of the title.
GLYPHS = {
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "a": ["00000", "00000", "01110", "00001", "01111", "10001", "01111"],
    "m": ["00000", "00000", "11010", "10101", "10101", "10101", "10101"],
    "p": ["00000", "11110", "10001", "10001", "11110", "10000", "10000"],
    "l": ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "w": ["00000", "00000", "10001", "10001", "10101", "10101", "01010"],
    "r": ["00000", "00000", "10110", "11001", "10000", "10000", "10000"],
    " ": ["00000"] * 7,
}


def inside_rounded(x, y, inset):
    left, top, right, bottom = inset, inset, WIDTH - 1 - inset, HEIGHT - 1 - inset
    radius = RADIUS - inset
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    if not (left <= x <= right and top <= y <= bottom):
        return False
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def draw_text(pixels, text, x0, y0, scale, colour):
    for index, letter in enumerate(text):
        for row, bits in enumerate(GLYPHS[letter]):
            for column, bit in enumerate(bits):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            pixels[y0 + row * scale + dy][x0 + (index * 6 + column) * scale + dx] = colour


def picture():
    pixels = [[BLACK] * WIDTH for _ in range(HEIGHT)]
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if inside_rounded(x, y, 6):
                pixels[y][x] = FILL
            elif inside_rounded(x, y, 0):
                pixels[y][x] = BORDER
    # A magnifying glass: a ring and a handle.
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d2 = (x - 70) ** 2 + (y - 72) ** 2
            if 30 ** 2 <= d2 <= 42 ** 2:
                pixels[y][x] = BORDER
            along = (x - 100) + (y - 102)
            across = (x - 100) - (y - 102)
            if 0 <= along <= 50 and abs(across) <= 8:
                pixels[y][x] = ACCENT
    draw_text(pixels, "Sample", 140, 30, 6, BORDER)
    draw_text(pixels, "Viewer", 140, 90, 6, BORDER)
    return pixels


def mask():
    return [[0 if inside_rounded(x, y, 0) else 1 for x in range(WIDTH)] for y in range(HEIGHT)]


def bmp(rows, bits, palette):
    row_bytes = (WIDTH * bits + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        packed = bytearray(row_bytes)
        for x, value in enumerate(row):
            if bits == 8:
                packed[x] = value
            else:
                packed[x // 8] |= value << (7 - x % 8)
        data += packed
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, bits, 0, len(data), 2835, 2835, len(palette), 0)
    return header + info + colours + bytes(data)


def main():
    picture_path, mask_path = sys.argv[1:3]
    with open(picture_path, "wb") as out:
        out.write(bmp(picture(), 8, PALETTE))
    with open(mask_path, "wb") as out:
        out.write(bmp(mask(), 1, [(0, 0, 0), (255, 255, 255)]))


if __name__ == "__main__":
    main()
