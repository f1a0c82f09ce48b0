#!/usr/bin/env python3
"""Totals of ctest's JUnit reports (ctest --output-junit): how many passed,
were skipped (with the reason each gave) and failed.
    test_totals.py report.xml [report.xml ...]"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def reason_of(case):
    """GoogleTest prints the reason on the line after "file:line: Skipped"."""
    output = case.findtext("system-out") or ""
    lines = output.splitlines()
    for i, line in enumerate(lines):
        if line.endswith(": Skipped") and i + 1 < len(lines) and not lines[i + 1].startswith("[  SKIPPED ]"):
            return lines[i + 1].strip()
    skipped = case.find("skipped")
    message = skipped.get("message") if skipped is not None else ""
    return message or "no reason given"


def main(paths):
    passed = skipped = failed = 0
    notes = []
    for path in paths:
        for case in ElementTree.parse(path).getroot().iter("testcase"):
            status = case.get("status", "")
            if case.find("skipped") is not None:
                skipped += 1
                notes.append("  skipped in %s: %s: %s" % (os.path.basename(path)[:-4], case.get("name"), reason_of(case)))
            elif case.find("failure") is not None or case.find("error") is not None or status == "fail":
                failed += 1
            else:
                passed += 1
    print("%d passed, %d skipped, %d failed" % (passed, skipped, failed))
    for note in notes:
        print(note)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
