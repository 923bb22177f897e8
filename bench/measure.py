#!/usr/bin/python3
"""Runs a command RUNS times and prints its median wall time and CPU time (user + system) in
milliseconds with one decimal, and its largest peak resident set in MB:

  measure.py RUNS COMMAND... [--- COMMAND...]...

Several commands, separated by ---, are run in turn (the first, the second, ..., then the first
again), so that a slower or faster spell of the machine falls on each of them alike; one line each.
The times come from the clock and from wait4() around each run, not from /usr/bin/time, whose
10 ms steps are too coarse for a copy of a few megabytes. Output goes to /dev/null."""
import os
import statistics
import subprocess
import sys
import time


def main():
    runs, words = int(sys.argv[1]), sys.argv[2:]
    commands = [[]]
    for word in words:
        if word == '---':
            commands.append([])
        else:
            commands[-1].append(word)
    walls, cpus, peaks = [[] for _ in commands], [[] for _ in commands], [0] * len(commands)
    for _ in range(runs):
        for k, command in enumerate(commands):
            start = time.perf_counter()
            child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(child.pid, 0)
            walls[k].append((time.perf_counter() - start) * 1000)
            cpus[k].append((usage.ru_utime + usage.ru_stime) * 1000)
            peaks[k] = max(peaks[k], usage.ru_maxrss)  # kilobytes on Linux
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit('measure.py: %s exited with %d' % (command[0], os.waitstatus_to_exitcode(status)))
    for k in range(len(commands)):
        print('%.1f %.1f %.1f' % (statistics.median(walls[k]), statistics.median(cpus[k]), peaks[k] / 1024))


if __name__ == '__main__':
    main()
