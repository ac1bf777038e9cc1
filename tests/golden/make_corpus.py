#!/usr/bin/env python3
"""The golden corpus: a fixed set of pictures and angles whose turned files
must come out byte for byte the same from every build.

  make_corpus.py --pictures DIR   write the pictures (NAME.bmp) into DIR
  make_corpus.py --hashes         print the hash list (corpus.sha256)

The hash list is made once, here, by the rotation written out as a plain
per-pixel loop in Python, independently of the library and its tests; the
corpus test turns each picture with the library and compares the SHA-256 of
every file it writes. Regenerate the list only when the result of the
rotation is meant to change.
"""
import argparse
import hashlib
import math
import os
import struct
import sys

# Sizes odd and even, lines, squares, and the largest near 1000x700.
PICTURES = [(1, 1), (1, 7), (2, 2), (3, 2), (4, 3), (7, 5), (16, 9), (33, 17), (64, 64),
            (100, 60), (255, 3), (321, 239), (1000, 700)]
ANGLES = [0, 1, -1, 30, 45, 90, -90, 100, 135, 180, 270, 360, -360, 720,
          123456789, -987654321, 2147483647, -2147483648]
DEGREES_TO_RADIANS = 3.14159265 / 180
WHITE = b"\xff\xff\xff"


def name(width, height):
    return "p%dx%d" % (width, height)


def pixels(width, height):
    """Rows bottom first, blue-green-red; no two pixels alike and none white:
    an odd multiplier permutes the 23-bit numbers, the top bit stays clear."""
    out = bytearray()
    for i in range(width * height):
        out += ((i * 0x9E3779B1) & 0x7FFFFF).to_bytes(3, "little")
    return bytes(out)


def bmp(width, height, px, pels_per_metre):
    """A 24-bit BMP file with a 40-byte info header; rows padded to 4 bytes."""
    pad = bytes(width % 4)
    rows = b"".join(px[y * width * 3:(y + 1) * width * 3] + pad for y in range(height))
    header = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(rows), 0, 0, 54, 40, width, height,
                         1, 24, 0, 0, pels_per_metre, pels_per_metre, 0, 0)
    return header + rows


def turned(width, height, px, angle):
    """The turned file exactly as the library is to write it: each product and
    sum rounded to double on its own (Python floats), truncation toward zero."""
    r = float(angle) * DEGREES_TO_RADIANS
    c, s = math.cos(r), math.sin(r)
    ac = abs(c)
    w, h = float(width), float(height)
    cw = max(int(w * ac - h * s), int(w * ac + h * s))
    ch = max(int(w * s + h * ac), int(h * ac - w * s))
    assert cw >= 0 and ch >= 0
    half_w, half_h = float(width // 2), float(height // 2)
    out = bytearray()
    for i in range(ch):
        yd = float(i - ch // 2)
        for j in range(cw):
            xd = float(j - cw // 2)
            xs = int((xd * c - yd * s) + half_w)
            ys = int((yd * c + xd * s) + half_h)
            if 0 <= xs < width and 0 <= ys < height:
                k = (ys * width + xs) * 3
                out += px[k:k + 3]
            else:
                out += WHITE
    return bmp(cw, ch, bytes(out), 3780)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--pictures", metavar="DIR")
    group.add_argument("--hashes", action="store_true")
    args = parser.parse_args()
    if args.pictures:
        os.makedirs(args.pictures, exist_ok=True)
        for width, height in PICTURES:
            with open(os.path.join(args.pictures, name(width, height) + ".bmp"), "wb") as f:
                f.write(bmp(width, height, pixels(width, height), 2835))
        return
    print("# SHA-256 of the golden corpus, made by make_corpus.py --hashes from a plain")
    print("# per-pixel loop. 'input' is the picture itself; each angle is its turned file.")
    for width, height in PICTURES:
        px = pixels(width, height)
        print(name(width, height), "input", hashlib.sha256(bmp(width, height, px, 2835)).hexdigest())
        for angle in ANGLES:
            print(name(width, height), angle, hashlib.sha256(turned(width, height, px, angle)).hexdigest())
        sys.stdout.flush()


if __name__ == "__main__":
    main()
