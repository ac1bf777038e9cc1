#!/usr/bin/env python3
"""Draws the README's pictures from the library's own output.

    doc/make_pictures.py [--host PROGRAM] [--check]

Turns samples/testcard.bmp by 30 degrees with the host program (default
build/release/bin/bmprotate2) and writes doc/testcard.png and
doc/testcard-30.png: each picture's pixels as they are, twice their size,
on a grey margin, so that the canvas and its white corners stand out from a
white page. --check writes nothing and fails when the files differ from what
it would write. Standard library only; the same input gives the same bytes.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SCALE = 2
MARGIN = 8  # in picture pixels
GREY = (0x9E, 0x9E, 0x9E)


def read_bmp(path):
    """Rows top first, each a list of (red, green, blue)."""
    data = Path(path).read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    bits, = struct.unpack_from("<H", data, 28)
    if data[:2] != b"BM" or bits != 24 or width <= 0 or height <= 0:
        sys.exit(f"{path}: not a bottom-up 24-bit BMP")
    stride = (3 * width + 3) // 4 * 4
    rows = []
    for y in range(height):
        row = data[offset + y * stride:offset + y * stride + 3 * width]
        rows.append([(row[i + 2], row[i + 1], row[i]) for i in range(0, 3 * width, 3)])
    rows.reverse()
    return rows


def framed(rows):
    width = len(rows[0]) + 2 * MARGIN
    blank = [GREY] * width
    out = [blank] * MARGIN + [[GREY] * MARGIN + row + [GREY] * MARGIN for row in rows] + [blank] * MARGIN
    return [[p for p in row for _ in range(SCALE)] for row in out for _ in range(SCALE)]


def png(rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default=str(ROOT / "build/release/bin/bmprotate2"))
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    card = ROOT / "samples/testcard.bmp"
    with tempfile.TemporaryDirectory() as work:
        turned = os.path.join(work, "testcard-30.bmp")
        subprocess.run([args.host, str(card), turned, "30"], check=True, stdout=subprocess.DEVNULL)
        pictures = {"testcard.png": png(framed(read_bmp(card))),
                    "testcard-30.png": png(framed(read_bmp(turned)))}
    stale = []
    for name, content in pictures.items():
        target = ROOT / "doc" / name
        if args.check:
            if not target.exists() or target.read_bytes() != content:
                stale.append(name)
        else:
            target.write_bytes(content)
    if stale:
        sys.exit(f"doc/{', doc/'.join(stale)} differ from the library's output: run doc/make_pictures.py")


if __name__ == "__main__":
    main()
