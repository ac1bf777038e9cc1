#!/usr/bin/env python3
"""check_python_example.py LIBRARY EXAMPLE SAMPLE WORK: runs examples/rotate.py
as a user would, against LIBRARY, on a name beyond ASCII and a missing input."""
import os
import struct
import subprocess
import sys

library, example, sample, work = sys.argv[1:5]
os.makedirs(work, exist_ok=True)
source, turned = os.path.join(work, "\u5199\u771f.bmp"), os.path.join(work, "\u5199\u771f-30.bmp")
with open(sample, "rb") as f, open(source, "wb") as g:
    g.write(f.read())
if os.path.exists(turned):
    os.remove(turned)
failures = []
for args, expected in [([source, turned], (0, "File has been read successfully.\nFile has been written successfully.\n999\n")),
                       ([os.path.join(work, "absent.bmp"), turned + ".x"], (1, "File not found.\n-3\n"))]:
    run = subprocess.run([sys.executable, example] + args + ["30", library], capture_output=True, text=True)
    if (run.returncode, run.stdout) != expected:
        failures.append(f"{args}: status {run.returncode}, printed {run.stdout!r} {run.stderr!r}")
head = open(turned, "rb").read(26) if os.path.exists(turned) else b""
if head[:2] != b"BM" or struct.unpack("<ii", head[18:26]) != (198, 183):
    failures.append(f"{turned} is not the test card turned 30 degrees (198x183): {head!r}")
print("\n".join(["FAIL: " + f for f in failures] or ["OK"]))
sys.exit(1 if failures else 0)
