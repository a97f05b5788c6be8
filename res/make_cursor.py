#!/usr/bin/env python3
"""Writes hand.cur: the pointing hand shown over the publisher link.

32 x 32 pixels, 16 colours (4 bits per pixel) with a 1-bit mask; the hot spot
is the tip of the index finger, x 12, y 1, so a click lands where the finger
points.

Pure standard library so that it runs anywhere: python3 make_cursor.py
"""

import os
import struct

HOTSPOT = (12, 1)

# The picture, one character a pixel, top row first:
#   .  transparent
#   #  black outline
#   o  white
#   -  light grey shading
HAND = [
    "................................",  # 0
    "...........###..................",  # 1  fingertip: the hot spot is the middle '#'
    "..........#ooo#.................",  # 2
    "..........#oo-#.................",  # 3
    "..........#oo-#.................",  # 4
    "..........#oo-#.................",  # 5
    "..........#oo-#.................",  # 6
    "..........#oo-#.................",  # 7
    "..........#oo-####..............",  # 8
    "..........#oo-#oo-#.............",  # 9
    "..........#oo-#oo-###...........",  # 10
    "..........#oo-#oo-#oo#..........",  # 11
    "..........#oo-#oo-#oo-###.......",  # 12
    "..........#oo-#oo-#oo-#oo#......",  # 13
    "..........#oo-#oo-#oo-#oo-#.....",  # 14
    "...###....#oo-#oo-#oo-#oo-#.....",  # 15
    "..#ooo#...#ooooooooooooooo#.....",  # 16
    "..#oooo#..#ooooooooooooooo#.....",  # 17
    "...#oooo#.#ooooooooooooooo#.....",  # 18
    "....#oooo##ooooooooooooooo#.....",  # 19
    ".....#ooooooooooooooooooo-#.....",  # 20
    "......#oooooooooooooooooo-#.....",  # 21
    ".......#ooooooooooooooooo-#.....",  # 22
    "........#oooooooooooooooo-#.....",  # 23
    ".........#ooooooooooooooo#......",  # 24
    "..........#oooooooooooo-#.......",  # 25
    "...........#ooooooooooo-#.......",  # 26
    "...........#ooooooooooo-#.......",  # 27
    "...........#############........",  # 28
    "................................",  # 29
    "................................",  # 30
    "................................",  # 31
]

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, LIGHT_GREY, WHITE = 0, 7, 15

# Character -> palette index; None marks a transparent pixel.
INK = {".": None, "#": BLACK, "o": WHITE, "-": LIGHT_GREY}


def build_cur():
    size = len(HAND)
    assert all(len(row) == size for row in HAND), "the picture must be square"
    assert HAND[HOTSPOT[1]][HOTSPOT[0]] == "#", "the hot spot must be on the fingertip"

    xor_rows = []
    and_rows = []
    for row in reversed(HAND):  # BMP rows are stored bottom-up
        indices = []
        mask = 0
        for x, ch in enumerate(row):
            ink = INK[ch]
            if ink is None:
                # Mask bit set with colour 0 leaves the screen untouched
                # (colour 15 would invert it instead).
                mask |= 1 << (size - 1 - x)
                ink = BLACK
            indices.append(ink)
        xor_rows.append(bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2)))
        and_rows.append(struct.pack(">I", mask))

    xor = b"".join(xor_rows)      # 16 bytes a row: already a multiple of 4
    andmask = b"".join(and_rows)  # 4 bytes a row
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,          # biSize
        size,        # biWidth
        size * 2,    # biHeight: colour plane and mask together
        1,           # biPlanes
        4,           # biBitCount
        0,           # BI_RGB
        len(xor) + len(andmask),
        0, 0,
        len(PALETTE),
        0,
    )
    image = header + palette + xor + andmask

    curdir = struct.pack("<HHH", 0, 2, 1)  # reserved, type 2 = cursor, one image
    entry = struct.pack(
        "<BBBBHHII",
        size, size,
        len(PALETTE),
        0,
        HOTSPOT[0],  # in a cursor the planes field holds the hot spot's x
        HOTSPOT[1],  # and the bit-count field its y
        len(image),
        6 + 16,
    )
    return curdir + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "hand.cur")
    with open(path, "wb") as f:
        f.write(build_cur())
    print("wrote", path)


if __name__ == "__main__":
    main()
