#!/usr/bin/env python3
"""The CI's time check on JUnit results: a test that ran over the limit fails
it (passed or failed), a skipped or disabled one never does, and results it
cannot read are an error, not a pass. The checker runs in this process.

Usage: check_test_times_test.py path/to/check_test_times.py
"""
import contextlib
import importlib.util
import io
import os
import shutil
import sys
import tempfile

spec = importlib.util.spec_from_file_location("check_test_times", sys.argv[1])
check = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check)
work = tempfile.mkdtemp(prefix="z6_times_")
failures = []


def results(name, *cases):
    """cases: (name, time, status); the file ctest --output-junit writes."""
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="t" tests="%d">\n'
                % len(cases))
        for n, t, s in cases:
            f.write('<testcase name="%s" classname="%s" time="%s" status="%s">'
                    '<system-out></system-out></testcase>\n' % (n, n, t, s))
        f.write("</testsuite>\n")
    return path


def expect(status, word, *args):
    out = io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(out):
        got = check.main(list(args))
    if got != status:
        failures.append("%r: status %r, not %r: %s" % (args, got, status, out.getvalue()))
    if word not in out.getvalue():
        failures.append("%r: no %r in: %s" % (args, word, out.getvalue()))


expect(0, "b 59.9 s", results("fast.xml", ("a", 12.5, "run"), ("b", 59.9, "run"), ("c", 3, "fail")))
expect(1, "b took 60.4 s", results("slow.xml", ("a", 12.5, "run"), ("b", 60.4, "run")))
expect(1, "a took 75.0 s", results("slow_fail.xml", ("a", 75, "fail")))
skipped = results("skipped.xml", ("a", 300, "notrun"), ("b", 90, "disabled"), ("c", 2, "run"))
expect(0, "c 2.0 s", skipped)
expect(1, "c took 2.0 s", skipped, "1.5")
expect(2, "no test ran", results("none.xml", ("a", 300, "notrun")))
cut = os.path.join(work, "cut.xml")
with open(cut, "w") as f:
    f.write('<testsuite><testcase name="a"')
expect(2, "cannot read", cut)
expect(2, "cannot read", os.path.join(work, "missing.xml"))
expect(2, "a has no time", results("notime.xml", ("a", "", "run")))
expect(2, "Usage:")

shutil.rmtree(work)
for line in failures:
    print("FAIL:", line)
print("test time check: %d failures" % len(failures))
sys.exit(1 if failures else 0)
