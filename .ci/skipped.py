#!/usr/bin/env python3
"""skipped.py JUNIT...: every test that ctest reported as skipped, and why.

Reads the JUnit files the test presets write (build/<preset>/ctest-junit.xml)
and prints, per build, one line per reason with the number of tests and the
first names. The reason is the test's own: a GoogleTest skip's message, or
the line of a test that stands in for a suite whose runner cannot start.
"""
import collections
import os
import re
import sys
import xml.etree.ElementTree as ET


def reason(output):
    lines = (output or "").splitlines()
    for i, line in enumerate(lines):
        if line.startswith("skipped: "):
            return line[len("skipped: "):]
        if re.search(r": Skipped$", line) and i + 1 < len(lines) and lines[i + 1].strip():
            return lines[i + 1].strip()
    return "(no reason given)"


def main(paths):
    total = 0
    for path in sorted(p for p in paths if os.path.exists(p)):
        build = os.path.basename(os.path.dirname(path))
        by_reason = collections.defaultdict(list)
        for case in ET.parse(path).getroot().iter("testcase"):
            if case.find("skipped") is not None:
                by_reason[reason(case.findtext("system-out"))].append(case.get("name").split("  #")[0])
        for why, names in sorted(by_reason.items()):
            total += len(names)
            shown = ", ".join(names[:3]) + (f" and {len(names) - 3} more" if len(names) > 3 else "")
            print(f"  {build}: {len(names)} skipped: {why} [{shown}]")
    if total == 0:
        print("  none")


if __name__ == "__main__":
    main(sys.argv[1:])
