#!/usr/bin/env python3
"""Draws samples/testcard.bmp: a 160x120 24-bit test card.

Four coloured quadrants (red top left, green top right, blue bottom left,
yellow bottom right), a black frame, a large letter F and a marker square in
the top left corner: every turn, mirror or shift shows at a glance.
Standard library only; the output is the same bytes on every run.
"""
import struct
import sys
from pathlib import Path

W, H = 160, 120


def colour(x, y):
    """Colour of displayed pixel (x, y), y = 0 at the top."""
    if x < 3 or y < 3 or x >= W - 3 or y >= H - 3:
        return (0, 0, 0)
    if 8 <= x < 20 and 8 <= y < 20:
        return (255, 0, 255)  # corner marker, top left
    # The letter F: a stem and two arms, pointing right.
    if 60 <= x < 72 and 30 <= y < 90:
        return (20, 20, 20)
    if 60 <= x < 104 and 30 <= y < 42:
        return (20, 20, 20)
    if 60 <= x < 94 and 54 <= y < 64:
        return (20, 20, 20)
    top, left = y < H // 2, x < W // 2
    shade = 40 + (x * 3 + y) % 60  # a gentle ramp, so nearest-pixel steps show
    if top and left:
        return (200 + shade // 2, shade, shade)
    if top:
        return (shade, 190 + shade // 2, shade)
    if left:
        return (shade, shade, 200 + shade // 2)
    return (220 + shade // 3, 210 + shade // 3, shade)


def main(out):
    pad = W % 4
    rows = bytearray()
    for file_row in range(H):  # bottom row first
        y = H - 1 - file_row
        for x in range(W):
            r, g, b = colour(x, y)
            rows += bytes((b, g, r))
        rows += bytes(pad)
    header = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(rows), 0, 0, 54, 40, W, H, 1, 24, 0, 0,
                         3780, 3780, 0, 0)
    Path(out).write_bytes(header + rows)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).with_name("testcard.bmp"))
