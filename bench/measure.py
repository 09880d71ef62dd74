#!/usr/bin/env python3
"""Runs a command and reports its wall time and the peak resident memory of the processes
it starts whose name matches one of NAMES, the relaunched copies included.

usage: measure.py NAMES -- COMMAND [ARGS...]
NAMES: comma-separated process names (as /proc/PID/comm shows them, compared without
regard to case). Prints one line:
  wall=SECONDS peak_kb=KB written_kb=KB status=N processes=NAME:KB,...
written_kb: what the matching processes wrote to files (the kernel's write_bytes, counted
when a page is dirtied, so a temporary file deleted before it reaches the disk counts too).

The script makes itself the subreaper of everything the command starts: a program that
starts a copy of itself and ends leaves that copy to us, and its peak (ru_maxrss, exact,
from the kernel) is read when we reap it. Wine's own helpers (the desktop, services) that
stay alive are not waited for.
"""
import ctypes
import os
import subprocess
import sys
import time

PR_SET_CHILD_SUBREAPER = 36

sep = sys.argv.index("--")
names = {n.strip().lower()[:15] for n in sys.argv[1].split(",") if n.strip()}
command = sys.argv[sep + 1:]

libc = ctypes.CDLL(None, use_errno=True)
if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
    sys.exit("measure.py: cannot become a subreaper")

me = os.getpid()
children_file = "/proc/%d/task/%d/children" % (me, me)


def comm(pid):
    try:
        with open("/proc/%d/comm" % pid) as f:
            return f.read().strip().lower()
    except OSError:
        return None


start = time.monotonic()
main = subprocess.Popen(command)
known = {}      # pid -> last name seen
peaks = []      # (name, kb) of reaped processes that matched
written = 0     # 512-byte blocks written by them
status = None
end = None
while True:
    try:
        with open(children_file) as f:
            live = [int(x) for x in f.read().split()]
    except OSError:
        live = []
    for pid in live:
        name = comm(pid)
        if name:
            known[pid] = name
    while True:
        try:
            pid, st, ru = os.wait4(-1, os.WNOHANG)
        except ChildProcessError:
            pid = 0
        if pid == 0:
            break
        name = known.get(pid, "")
        now = time.monotonic()
        if pid == main.pid:
            status = os.waitstatus_to_exitcode(st)
            main.returncode = status
            end = now
        if name in names or pid == main.pid:
            peaks.append((name or "main", ru.ru_maxrss))
            written += ru.ru_oublock
            end = now
    pending = [p for p in live if known.get(p) in names]
    if status is not None and not pending:
        break
    time.sleep(0.01)

matched = [kb for n, kb in peaks if n in names]
print("wall=%.3f peak_kb=%d written_kb=%d status=%s processes=%s" %
      (end - start, max(matched) if matched else 0, written // 2, status,
       ",".join("%s:%d" % p for p in peaks)))
