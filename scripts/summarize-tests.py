#!/usr/bin/env python3
"""Counts individual test cases over one or more test-results folders.

Each folder holds ctest's JUnit report (ctest.xml) and one GoogleTest XML
report per test binary (<ctest name>.xml). A binary with a report counts
its test cases; a ctest entry without one (a script check, or a binary that
crashed before writing its report) counts as one test with ctest's verdict.
"""
import os
import sys
import xml.etree.ElementTree as ET


def count_folder(folder):
    passed = failed = skipped = 0
    ctest = os.path.join(folder, "ctest.xml")
    if not os.path.exists(ctest):
        print(f"{folder}: no ctest report", file=sys.stderr)
        return 0, 1, 0
    for case in ET.parse(ctest).getroot().iter("testcase"):
        name = case.get("name")
        ctest_failed = case.find("failure") is not None or case.find("error") is not None
        report = os.path.join(folder, f"{name}.xml")
        if os.path.exists(report) and not ctest_failed:
            root = ET.parse(report).getroot()
            for t in root.iter("testcase"):
                if t.find("failure") is not None:
                    failed += 1
                elif t.get("result") == "skipped" or t.find("skipped") is not None:
                    skipped += 1
                else:
                    passed += 1
        elif os.path.exists(report):
            root = ET.parse(report).getroot()
            bad = sum(1 for t in root.iter("testcase") if t.find("failure") is not None)
            failed += max(bad, 1)
            passed += sum(1 for t in root.iter("testcase") if t.find("failure") is None)
        elif ctest_failed:
            failed += 1
        elif case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def main(folders):
    total = [0, 0, 0]
    for folder in folders:
        p, f, s = count_folder(folder)
        label = os.path.basename(os.path.dirname(folder.rstrip("/")))
        print(f"{label}: {p} passed, {f} failed, {s} skipped")
        total = [total[0] + p, total[1] + f, total[2] + s]
    print(f"tests: {total[0]} passed, {total[1]} failed, {total[2]} skipped")
    return 1 if total[1] or not total[0] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
