#!/usr/bin/env python3
"""skipped.py JUNIT...: every test that ctest reported as skipped, and why.

Reads the JUnit files the test presets write (build/<preset>/ctest-junit.xml)
and prints one line per reason with the builds and how many tests each. The
reason is the test's own: a GoogleTest skip's message, or the line of a test
that stands in for a whole suite whose runner cannot start here; those come
first, with the suites named.
"""
import collections
import os
import re
import sys
import xml.etree.ElementTree as ET


def reason(output):
    """(why, True where a whole suite stands behind the skip)."""
    lines = (output or "").splitlines()
    for i, line in enumerate(lines):
        if line.startswith("skipped: "):
            return line[len("skipped: "):], True
        if re.search(r": Skipped$", line) and i + 1 < len(lines) and lines[i + 1].strip():
            return lines[i + 1].strip(), False
    return "(no reason given)", False


def main(paths):
    by_reason = collections.defaultdict(lambda: collections.defaultdict(list))
    for path in sorted(p for p in paths if os.path.exists(p)):
        build = os.path.basename(os.path.dirname(path))
        for case in ET.parse(path).getroot().iter("testcase"):
            if case.find("skipped") is not None:
                by_reason[reason(case.findtext("system-out"))][build].append(case.get("name").split("  #")[0])
    if not by_reason:
        print("  none")
    for (why, suites), builds in sorted(by_reason.items(), key=lambda item: (not item[0][1], item[0][0])):
        print(f"  {why}: " + ", ".join(f"{build} ({len(names)})" for build, names in sorted(builds.items())))
        if suites:
            for build, names in sorted(builds.items()):
                print(f"    {build}, whole suites: {', '.join(names)}")


if __name__ == "__main__":
    main(sys.argv[1:])
