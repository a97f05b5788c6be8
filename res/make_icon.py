#!/usr/bin/env python3
"""Writes snapwick.ico: the window and tray icon, a monitor with a blue screen.

One 32 x 32 image, 24 bits per pixel, with a 1-bit transparency mask, so the
same file looks the same on every Windows version and every tray.

Pure standard library so that it runs anywhere: python3 make_icon.py
"""

import os
import struct

SIZE = 32

# Colours, as (red, green, blue).
OUTLINE = (32, 34, 40)
BEZEL_LIGHT = (188, 192, 200)
BEZEL = (150, 154, 162)
BEZEL_DARK = (104, 108, 116)
SCREEN_EDGE = (10, 36, 92)
SCREEN_TOP = (70, 160, 250)
SCREEN_BOTTOM = (8, 70, 180)
GLARE = (150, 205, 255)
LED = (60, 220, 90)
STAND = (120, 124, 132)
STAND_DARK = (84, 88, 96)

# Geometry, inclusive pixel boxes (left, top, right, bottom).
CASE = (1, 3, 30, 23)
SCREEN = (4, 6, 27, 19)
NECK = (13, 24, 18, 26)
BASE = (7, 27, 24, 29)


def blend(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def inside(box, x, y):
    left, top, right, bottom = box
    return left <= x <= right and top <= y <= bottom


def on_edge(box, x, y):
    left, top, right, bottom = box
    return inside(box, x, y) and (x in (left, right) or y in (top, bottom))


def is_rounded_corner(box, x, y):
    """The outermost corner pixels are left out so the case looks rounded."""
    left, top, right, bottom = box
    return x in (left, right) and y in (top, bottom)


def pixel(x, y):
    """Colour of one pixel, or None where the icon is transparent."""
    if inside(CASE, x, y):
        if is_rounded_corner(CASE, x, y):
            return None
        if on_edge(CASE, x, y):
            return OUTLINE
        if inside(SCREEN, x, y):
            if on_edge(SCREEN, x, y):
                return SCREEN_EDGE
            left, top, right, bottom = SCREEN
            # A soft diagonal glare across the upper left of the glass.
            d = (x - left) + (y - top)
            if 9 <= d <= 11 and y - top <= 7:
                return blend(GLARE, SCREEN_TOP, 0.25 * abs(d - 10))
            return blend(SCREEN_TOP, SCREEN_BOTTOM, (y - top - 1) / (bottom - top - 2))
        # Bezel: lit from the top left, in shadow at the bottom right.
        left, top, right, bottom = CASE
        if (x, y) in ((right - 3, bottom - 2), (right - 4, bottom - 2)):
            return LED
        if y == top + 1 or x == left + 1:
            return BEZEL_LIGHT
        if y == bottom - 1 or x == right - 1:
            return BEZEL_DARK
        return BEZEL
    if inside(NECK, x, y):
        left, _, right, _ = NECK
        if x in (left, right):
            return OUTLINE
        return STAND_DARK if y == NECK[1] else STAND
    if inside(BASE, x, y):
        if is_rounded_corner(BASE, x, y):
            return None
        if on_edge(BASE, x, y):
            return OUTLINE
        return STAND
    return None


def build_ico():
    # Rows are stored bottom-up, as in every BMP.
    xor_rows = []
    and_rows = []
    for y in reversed(range(SIZE)):
        row = bytearray()
        mask = 0
        for x in range(SIZE):
            colour = pixel(x, y)
            if colour is None:
                # Transparent: mask bit set and black in the colour plane, so
                # that the AND/XOR pair leaves the background untouched.
                mask |= 1 << (SIZE - 1 - x)
                colour = (0, 0, 0)
            r, g, b = colour
            row += bytes((b, g, r))
        xor_rows.append(bytes(row))  # 96 bytes: already a multiple of 4
        and_rows.append(struct.pack(">I", mask))  # 32 bits: exactly 4 bytes

    xor = b"".join(xor_rows)
    andmask = b"".join(and_rows)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,          # biSize
        SIZE,        # biWidth
        SIZE * 2,    # biHeight: colour plane and mask together
        1,           # biPlanes
        24,          # biBitCount
        0,           # BI_RGB
        len(xor) + len(andmask),
        0, 0, 0, 0,
    )
    image = header + xor + andmask

    icondir = struct.pack("<HHH", 0, 1, 1)  # reserved, type 1 = icon, one image
    entry = struct.pack(
        "<BBBBHHII",
        SIZE, SIZE,
        0,           # no palette
        0,
        1,           # planes
        24,          # bits per pixel
        len(image),
        6 + 16,      # the image follows the directory
    )
    return icondir + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "snapwick.ico")
    with open(path, "wb") as f:
        f.write(build_ico())
    print("wrote", path)


if __name__ == "__main__":
    main()
