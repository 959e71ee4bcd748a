#!/usr/bin/env python3
"""Writes the component's toolbox picture: a 16 by 16, 16-colour Windows bitmap of a small table
with a header row. Deterministic: the same bytes on every run.

Usage: gen_toolbox_bitmap.py OUTPUT.bmp
"""
import struct
import sys

# The 16 standard colours, as (blue, green, red) in palette order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0x00, 0x80, 0x80),
    (0x80, 0x00, 0x00), (0x80, 0x00, 0x80), (0x80, 0x80, 0x00), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0x00, 0x00, 0xFF), (0x00, 0xFF, 0x00), (0x00, 0xFF, 0xFF),
    (0xFF, 0x00, 0x00), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
]
# Palette index of each letter in the picture.
INK = {".": 7, "k": 0, "n": 4, "g": 8, "w": 15, "r": 9}
PICTURE = [
    "................",
    ".kkkkkkkkkkkkkk.",
    ".knnnngnnnngnnk.",
    ".knnnngnnnngnnk.",
    ".kggggggggggggk.",
    ".kwwwwgwwwwgwwk.",
    ".kwwwwgwwwwgwwk.",
    ".kggggggggggggk.",
    ".kwwwwgwrwwgwwk.",
    ".kwwwwgrwwwgwwk.",
    ".kggggggggggggk.",
    ".kwwwwgwwwwgwwk.",
    ".kwwwwgwwwwgwwk.",
    ".kkkkkkkkkkkkkk.",
    "................",
    "................",
]


def build():
    if len(PICTURE) != 16 or any(len(row) != 16 for row in PICTURE):
        raise SystemExit("picture must be 16 rows of 16 letters")
    pixels = bytearray()
    for row in reversed(PICTURE):  # bitmaps are stored bottom row first
        for x in range(0, 16, 2):
            pixels.append(INK[row[x]] << 4 | INK[row[x + 1]])
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(build())
