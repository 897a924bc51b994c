#!/usr/bin/env python3
"""Whole-process CPU time of a command, alone or paired with a baseline command.

    cpu_time.py ROUNDS -- COMMAND... [-- BASELINE...]

The CPU time of a run is its user plus system time as the kernel accounts it for
the finished child (microseconds, where time(1) gives hundredths).  One unmeasured
run of each command warms the page cache first.  With a baseline, each round runs
the command and then the baseline, so both see the same load.  Prints one line:
the command's median CPU ms and median wall ms, then, with a baseline, the
baseline's median CPU ms and the median of the per-round ratios.  A run that
fails or takes over 120 s ends the measurement with status 1."""
import os
import statistics
import subprocess
import sys
import time


def run(argv):
    t0 = time.monotonic()
    with open(os.devnull, "wb") as null:
        p = subprocess.Popen(argv, stdout=null, stderr=null)
        while True:
            pid, status, usage = os.wait4(p.pid, os.WNOHANG)
            if pid:
                p.returncode = status  # reaped here, so Popen must not wait for it
                break
            if time.monotonic() - t0 > 120:
                p.kill()
                os.wait4(p.pid, 0)
                sys.exit("timed out: " + " ".join(argv))
            time.sleep(0.0005)
    wall = time.monotonic() - t0
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit("failed: " + " ".join(argv))
    return (usage.ru_utime + usage.ru_stime) * 1000, wall * 1000


def main():
    args = sys.argv[1:]
    if len(args) < 3 or args[1] != "--":
        sys.exit(__doc__)
    rounds = int(args[0])
    rest = args[2:]
    split = rest.index("--") if "--" in rest else len(rest)
    command, baseline = rest[:split], rest[split + 1:]
    if not command or (split < len(rest) and not baseline):
        sys.exit(__doc__)
    run(command)
    if baseline:
        run(baseline)
    cpu, wall, base, ratio = [], [], [], []
    for _ in range(rounds):
        c, w = run(command)
        cpu.append(c)
        wall.append(w)
        if baseline:
            b, _ = run(baseline)
            base.append(b)
            ratio.append(c / b if b > 0 else float("inf"))
    line = "%.1f %.1f" % (statistics.median(cpu), statistics.median(wall))
    if baseline:
        line += " %.1f %.2f" % (statistics.median(base), statistics.median(ratio))
    print(line)


if __name__ == "__main__":
    main()
