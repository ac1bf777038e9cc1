#!/usr/bin/env python3
"""check_python_example.py LIBRARY EXAMPLE SAMPLE WORK: runs examples/rotate.py
as a user would, against LIBRARY, with a name beyond ASCII and a missing input:
its calls (argument types, UTF-16 names, the result) are the ones the ZIP's
README gives for Windows."""
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
for args, status, printed in [
        ([source, turned, "30"], 0, "File has been read successfully.\nFile has been written successfully.\n999\n"),
        ([os.path.join(work, "absent.bmp"), turned + ".x", "30"], 1, "File not found.\n-3\n")]:
    run = subprocess.run([sys.executable, example] + args + [library], capture_output=True, text=True)
    if (run.returncode, run.stdout) != (status, printed):
        failures.append(f"{args}: status {run.returncode}, printed {run.stdout!r} {run.stderr!r}")
head = open(turned, "rb").read(26) if os.path.exists(turned) else b""
if head[:2] != b"BM" or struct.unpack("<ii", head[18:26]) != (198, 183):
    failures.append(f"{turned} is not the 198x183 turned test card: {head!r}")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
