#!/usr/bin/python3
"""The library, Pillow and OpenCV turning the same file in one process.

Loads the built library with ctypes and calls BMPRotate2 on a W x H 24-bit
noise BMP; beside it, in the same process, Pillow (open, rotate with
NEAREST onto the turned picture's box with a white fill, save) and OpenCV
(imread, warpAffine with INTER_NEAREST and a white border onto the turned
box, imwrite), each where it is installed and otherwise skipped with the
reason (Debian: python3-pil, python3-opencv). No process start and no
library load is in any figure: every round calls each of them once, in a
fresh random order, and the medians are compared.

  bench/inprocess.py                         # /dev/shm, 4000x3000, 30 and 1 degrees
  bench/inprocess.py --dir /var/tmp --angles 0,90 --runs 21
"""
import argparse
import ctypes
import os
import random
import statistics
import sys
import tempfile
import time

from compare import BIN, machine, make_picture

LIB = os.path.join(os.path.dirname(BIN), "lib", "libVintrelBMPRotate2.so.1")


def library(path):
    lib = ctypes.CDLL(path)
    lib.BMPRotate2.restype = ctypes.c_int32
    lib.BMPRotate2.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int32]
    return lib


def wide(name):
    """A NUL-terminated UTF-16 name, as the export takes it."""
    return ctypes.create_string_buffer(name.encode("utf-16-le") + b"\0\0")


def ours(lib):
    def turn(src, dst, angle):
        # The library's console line goes to /dev/null while it runs.
        sys.stdout.flush()
        saved, null = os.dup(1), os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        try:
            result = lib.BMPRotate2(wide(src), wide(dst), angle)
        finally:
            os.dup2(saved, 1)
            os.close(saved)
            os.close(null)
        if result != 999:
            sys.exit(f"BMPRotate2 returned {result}")
    return turn


def pillow():
    from PIL import Image

    def turn(src, dst, angle):
        with Image.open(src) as img:
            img.rotate(-angle, Image.NEAREST, expand=True, fillcolor="white").save(dst)
    return turn


def opencv():
    import cv2

    def turn(src, dst, angle):
        img = cv2.imread(src, cv2.IMREAD_COLOR)
        h, w = img.shape[:2]
        m = cv2.getRotationMatrix2D((w / 2, h / 2), -angle, 1.0)
        c, s = abs(m[0, 0]), abs(m[0, 1])
        nw, nh = int(w * c + h * s), int(w * s + h * c)
        m[0, 2] += nw / 2 - w / 2
        m[1, 2] += nh / 2 - h / 2
        out = cv2.warpAffine(img, m, (nw, nh), flags=cv2.INTER_NEAREST, borderMode=cv2.BORDER_CONSTANT,
                             borderValue=(255, 255, 255))
        if not cv2.imwrite(dst, out):
            sys.exit("cv2.imwrite failed")
    return turn


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dir", default="/dev/shm", help="where the files go (default /dev/shm, tmpfs)")
    parser.add_argument("--size", default="4000x3000")
    parser.add_argument("--angles", default="30,1", help="comma-separated (default 30,1)")
    parser.add_argument("--runs", type=int, default=11, help="rounds (default 11)")
    parser.add_argument("--library", default=LIB, help=f"the library to load (default {LIB})")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    angles = [int(a) for a in args.angles.split(",") if a.strip()]

    tools = {"library": ours(library(args.library))}
    skipped = {}
    for name, make in (("Pillow", pillow), ("OpenCV", opencv)):
        try:
            tools[name] = make()
        except ImportError as e:
            skipped[name] = f"not installed ({e}; Debian: {'python3-pil' if name == 'Pillow' else 'python3-opencv'})"

    work = tempfile.mkdtemp(prefix="vintrel-inprocess-", dir=args.dir)
    try:
        src = os.path.join(work, "in.bmp")
        make_picture(src, width, height)
        out = {name: os.path.join(work, f"{name}.bmp") for name in tools}
        walls = {(name, a): [] for name in tools for a in angles}
        for name, turn in tools.items():  # warm the page cache and each library once
            turn(src, out[name], angles[0])
        shuffle = random.Random(5)
        for _ in range(args.runs):
            order = list(walls)
            shuffle.shuffle(order)
            for name, a in order:
                if os.path.exists(out[name]):
                    os.remove(out[name])
                start = time.perf_counter()
                tools[name](src, out[name], a)
                walls[(name, a)].append(time.perf_counter() - start)
    finally:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)

    print(f"Machine: {machine()}")
    print(f"In one process, {width}x{height} 24-bit BMP, files in {args.dir}, medians of {args.runs} "
          f"interleaved rounds (ms):")
    others = [name for name in tools if name != "library"]
    columns = [f"{name:>9}" for name in tools] + [f"{name + ' / library':>18}" for name in others]
    print("| angle | " + " | ".join(columns) + " |")
    print("|-------|" + "|".join("-" * (len(c) + 2) for c in columns) + "|")
    for a in angles:
        med = {name: statistics.median(walls[(name, a)]) * 1000 for name in tools}
        cells = [f"{med[name]:9.1f}" for name in tools] + [f"{med[name] / med['library']:17.2f}x" for name in others]
        print(f"| {a:5} | " + " | ".join(cells) + " |")
    for name, why in skipped.items():
        print(f"{name}: skipped, {why}")
    print(f"  load average at the end: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
