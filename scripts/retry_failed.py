"""The failed cases of a pytest layer's JUnit report, and their second try.

  retry_failed.py cases REPORT        node ids of the failed cases, one a line
                                      (none when more failed than a retry is for)
  retry_failed.py merge REPORT AGAIN  each case of AGAIN takes the place of the
                                      case of the same name in REPORT
"""
import os
import sys
import xml.etree.ElementTree as ET

# More failures than this are no matter of timing: they are not tried again.
MOST_TRIED_AGAIN = 5


def failed(case):
    return case.find("failure") is not None or case.find("error") is not None


def node_id(case):
    """classname "tests.e2e.test_x" or "tests.e2e.test_x.TestY" and name
    "test_z[p]" as pytest names the case: "tests/e2e/test_x.py::TestY::test_z[p]"."""
    parts = case.get("classname", "").split(".")
    for end in range(len(parts), 0, -1):
        path = os.path.join(*parts[:end]) + ".py"
        if os.path.isfile(path):
            return "::".join([path, *parts[end:], case.get("name", "")])
    return None


def cases(report):
    found = [node_id(c) for c in ET.parse(report).getroot().iter("testcase") if failed(c)]
    if len(found) > MOST_TRIED_AGAIN or None in found:
        return []
    return found


def key(case):
    return case.get("classname"), case.get("name")


def merge(report, again):
    tree = ET.parse(report)
    second = {key(c): c for c in ET.parse(again).getroot().iter("testcase")}
    for suite in tree.getroot().iter("testsuite"):
        for i, case in enumerate(list(suite)):
            if case.tag == "testcase" and key(case) in second:
                verdict = second[key(case)]
                verdict.set("tried_again", "1")
                suite[i] = verdict
        suite.set("failures", str(sum(1 for c in suite.iter("testcase") if failed(c))))
        suite.set("errors", "0")
    tree.write(report, encoding="utf-8", xml_declaration=True)


def main(argv):
    if len(argv) == 3 and argv[1] == "cases":
        for line in cases(argv[2]):
            print(line)
        return 0
    if len(argv) == 4 and argv[1] == "merge":
        merge(argv[2], argv[3])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
