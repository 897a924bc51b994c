#!/usr/bin/env python3
"""Fails when a test that ran took longer than the limit.

Usage: check_test_times.py RESULTS.xml [LIMIT_SECONDS]

RESULTS.xml is the JUnit file `ctest --output-junit` writes (`make test`
writes build/test-results.xml). Skipped and disabled tests are not counted:
only tests that ran, passed or failed. The slowest tests are listed either way.
"""
import sys
import xml.etree.ElementTree as ET


def main(args):
    if len(args) not in (1, 2):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    limit = float(args[1]) if len(args) == 2 else 60.0
    try:
        root = ET.parse(args[0]).getroot()
    except (OSError, ET.ParseError) as e:
        print("check_test_times: cannot read %s: %s" % (args[0], e), file=sys.stderr)
        return 2
    ran = []
    for case in root.iter("testcase"):
        if case.get("status") not in ("run", "fail"):
            continue
        try:
            ran.append((float(case.get("time", "")), case.get("name", "?")))
        except ValueError:
            print("check_test_times: %s has no time" % case.get("name", "?"), file=sys.stderr)
            return 2
    if not ran:
        print("check_test_times: no test ran in %s" % args[0], file=sys.stderr)
        return 2
    ran.sort(reverse=True)
    print("slowest tests: " + ", ".join("%s %.1f s" % (n, t) for t, n in ran[:5]))
    slow = [(t, n) for t, n in ran if t > limit]
    for t, n in slow:
        print("FAIL: %s took %.1f s, over the %g s limit" % (n, t, limit))
    return 1 if slow else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
