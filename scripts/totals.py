"""Adds up the JUnit reports of every test layer and prints the closing line,
after the name of each case that failed, and of each that passed only when
tried again, so that the last lines of a run say what to look at."""
import os
import sys
import xml.etree.ElementTree as ET


def case_name(case):
    return ".".join(filter(None, (case.get("classname"), case.get("name"))))


passed = failed = skipped = 0
failures = []
second_tries = []
for path in sys.argv[1:]:
    layer = os.path.splitext(os.path.basename(path))[0]
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        failures.append(f"{layer}: no report")
        failed += 1
        continue
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            failures.append(f"{layer}: {case_name(case)}")
        elif case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
            if case.get("tried_again"):
                second_tries.append(f"{layer}: {case_name(case)}")
for line in second_tries:
    print(f"passed when tried again {line}")
for line in failures:
    print(f"FAILED {line}")
print(f"{passed} passed, {failed} failed, {skipped} skipped")
sys.exit(1 if failed or passed == 0 else 0)
