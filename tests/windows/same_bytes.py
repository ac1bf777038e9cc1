#!/usr/bin/env python3
"""same_bytes.py: the Windows host under Wine writes the Linux host's bytes.

Both hosts turn the same pictures by the same angles; every output file must
be byte for byte the same, and so must the exit status and the console lines
(line ends aside). Output goes to files, never pipes: Wine's helper processes
would hold a pipe open. Exit 77 (skipped) when the Linux host has not been
built, unless CI is set.
"""
import argparse
import os
import struct
import subprocess
import sys

ANGLES = [0, 1, -1, 30, -45, 89, 90, 100, 135, 180, 181, 270, 359, 360, 123457,
          -2147483648, 2147483647]


def bmp(width, height, seed, info_size=40, gap=0, bits=24):
    """A bottom-up file with distinct-looking pixels."""
    pad = (4 - width * 3 % 4) % 4
    rows = bytearray()
    state = seed
    for _ in range(height):
        for _ in range(width * 3):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            rows.append(state >> 16 & 0xFF)
        rows += bytes(pad)
    offset = 14 + info_size + gap
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, 0, len(rows), 2835, 2835, 0, 0)
    info += bytes(info_size - 40)
    head = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return head + info + bytes(gap) + bytes(rows)


def run(command, cwd, name):
    with open(os.path.join(cwd, name + ".out"), "wb") as out, open(os.path.join(cwd, name + ".err"), "wb") as err:
        status = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=120).returncode
    with open(os.path.join(cwd, name + ".out"), "rb") as out:
        return status, out.read().replace(b"\r\n", b"\n")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--wine", "--windows-host", "--linux-host", "--sample", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    if not os.access(args.linux_host, os.X_OK):
        print(f"no Linux host program at '{args.linux_host}': build the release preset first")
        return 1 if os.environ.get("CI") else 77

    os.makedirs(args.work, exist_ok=True)
    pictures = {
        "testcard.bmp": open(args.sample, "rb").read(),
        "w1.bmp": bmp(1, 7, 1),
        "w2.bmp": bmp(2, 3, 2),
        "w5x4.bmp": bmp(5, 4, 3),
        "w7-v4header.bmp": bmp(7, 9, 4, info_size=108, gap=6),
        "w64x33.bmp": bmp(64, 33, 5),
        "8bit.bmp": bmp(4, 4, 6, bits=8),
    }
    for name, data in pictures.items():
        with open(os.path.join(args.work, name), "wb") as f:
            f.write(data)

    mismatches, runs = [], 0
    for name in pictures:
        for angle in ANGLES if name != "8bit.bmp" else [30]:
            outputs = []
            for side, host in (("linux", [args.linux_host]), ("windows", [args.wine, args.windows_host])):
                output = f"{side}-{angle}-{name}"
                if os.path.exists(os.path.join(args.work, output)):
                    os.remove(os.path.join(args.work, output))
                status, printed = run(host + [name, output, str(angle)], args.work, output)
                path = os.path.join(args.work, output)
                written = open(path, "rb").read() if os.path.exists(path) else None
                outputs.append((status, printed, written))
                runs += 1
            if outputs[0] != outputs[1]:
                (ls, lp, lw), (ws, wp, ww) = outputs
                mismatches.append(f"{name} at {angle}: status {ls}/{ws}, lines {lp!r}/{wp!r}, "
                                  f"files {'same' if lw == ww else 'differ'}")
            elif outputs[0][0] != (2 if name == "8bit.bmp" else 0):
                mismatches.append(f"{name} at {angle}: both hosts gave status {outputs[0][0]}")
    for line in mismatches:
        print("MISMATCH:", line)
    print(f"{runs} runs, {len(mismatches)} mismatches")
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
