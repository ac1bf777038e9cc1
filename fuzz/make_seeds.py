#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs: fuzz/corpus/read and fuzz/corpus/rotate.

Small real pictures (every row pad, longer info headers, gaps before the
rows), the bundled test card, and crafted headers: each field wrong, sizes
at the edges, products that wrap in 32 bits, odd row offsets, files cut
short. Rotate seeds are the same files followed by a 4-byte angle.
Standard library only; the output is the same bytes on every run.
"""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def header(w, h, bits=24, sig=0x4D42, comp=0, planes=1, off=54, bisize=40, size=0):
    return struct.pack("<HIHHIIiiHHIIiiII", sig, size, 0, 0, off, bisize, w, h, planes, bits, comp, 0, 2835, 2835,
                       0, 0)


def picture(w, h, off=54, bisize=40, **fields):
    pad = w % 4
    rows = b"".join(bytes((x * 7 + y * 13 + c * 29) & 0xFF for x in range(w) for c in range(3)) + b"\xEE" * pad
                    for y in range(h))
    head = header(w, h, off=off, bisize=bisize, **fields)
    return head + bytes(i & 0xFF for i in range(max(0, off - 54))) + rows


def seeds():
    s = {}
    for w, h in [(1, 1), (2, 3), (3, 2), (4, 4), (5, 3), (7, 1), (1, 9), (16, 9)]:
        s[f"pic_{w}x{h}"] = picture(w, h)
    s["info108"] = picture(3, 4, off=54 + 68, bisize=108)
    s["info124"] = picture(6, 3, off=54 + 84, bisize=124)
    s["gap_before_rows"] = picture(2, 3, off=200)
    s["testcard"] = (HERE.parent / "samples" / "testcard.bmp").read_bytes()
    base = picture(5, 3)
    s["bits8"] = picture(5, 3, bits=8)
    s["bits32"] = picture(5, 3, bits=32)
    s["bad_signature"] = picture(5, 3, sig=0x4142)
    s["bits8_bad_signature"] = picture(5, 3, bits=8, sig=0)
    s["bitfields"] = picture(5, 3, comp=3)
    s["planes0"] = picture(5, 3, planes=0)
    for name, w, h in [("top_down", 5, -3), ("mirrored", -5, 3), ("height_min", 5, -2**31),
                       ("width_2p15", 2**15, 1), ("width_2p16", 2**16, 1), ("width_max", 2**31 - 1, 1),
                       ("height_max", 1, 2**31 - 1), ("zero_width", 0, 5), ("zero_height", 5, 0),
                       ("wrap_65536", 65536, 65536), ("over32_37838", 37838, 37838),
                       ("wrap_to_1", 641, 6700417), ("big_black_300", 300, 300), ("w_plus_h_1025", 1000, 25)]:
        s["claim_" + name] = header(w, h) + base[54:]
    for off in [0, 20, 53, 1000, 2**31 - 1, 2**32 - 1]:
        s[f"offset_{off}"] = header(4, 2, off=off) + base[54:54 + 24]
    for cut in [0, 1, 2, 29, 30, 53, 54, 55, 60, 70]:
        s[f"cut_{cut}"] = base[:cut]
    return s


def main():
    angles = [0, 30, -45, 90, 180, 270, 100, 135, 360, 2**31 - 1, -2**31]
    for folder in ("read", "rotate"):
        (HERE / "corpus" / folder).mkdir(parents=True, exist_ok=True)
    for i, (name, data) in enumerate(sorted(seeds().items())):
        (HERE / "corpus" / "read" / name).write_bytes(data)
        angle = angles[i % len(angles)]
        (HERE / "corpus" / "rotate" / f"{name}_a{angle}").write_bytes(data + struct.pack("<i", angle))


if __name__ == "__main__":
    main()
