#!/usr/bin/python3
"""Runs a command RUNS times and prints its median wall time and CPU time (user + system) in
milliseconds with one decimal, and its largest peak resident set in MB:

  measure.py RUNS COMMAND...

The times come from the clock and from wait4() around each run, not from /usr/bin/time, whose
10 ms steps are too coarse for a copy of a few megabytes. Output goes to /dev/null."""
import os
import statistics
import subprocess
import sys
import time


def main():
    runs, command = int(sys.argv[1]), sys.argv[2:]
    walls, cpus, peak = [], [], 0
    for _ in range(runs):
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        walls.append((time.perf_counter() - start) * 1000)
        cpus.append((usage.ru_utime + usage.ru_stime) * 1000)
        peak = max(peak, usage.ru_maxrss)  # kilobytes on Linux
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit('measure.py: %s exited with %d' % (command[0], os.waitstatus_to_exitcode(status)))
    print('%.1f %.1f %.1f' % (statistics.median(walls), statistics.median(cpus), peak / 1024))


if __name__ == '__main__':
    main()
