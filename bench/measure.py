#!/usr/bin/env python3
"""Runs a command and reports its wall time and the peak resident memory of the processes
it starts whose name matches one of NAMES, the relaunched copies included.

usage: measure.py NAMES -- COMMAND [ARGS...]
NAMES: comma-separated process names (as /proc/PID/comm shows them, compared without
regard to case). Prints one line:
  wall=SECONDS peak_kb=KB written_kb=KB cpu_s=S server_cpu_s=S status=N processes=NAME:KB,...
written_kb: what the matching processes wrote to files (the kernel's write_bytes, counted
when a page is dirtied, so a temporary file deleted before it reaches the disk counts too).
cpu_s: user + system time of the matching processes (from the kernel, at their reaping).
server_cpu_s: user + system time the process KOV_SERVER_PID (the Wine server, which every
file operation and window call goes through) took during the run; 0 when it is not given.

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


server = os.environ.get("KOV_SERVER_PID", "")
TICKS = os.sysconf("SC_CLK_TCK")


def server_cpu():
    if not server:
        return 0.0
    try:
        with open("/proc/%s/stat" % server) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICKS
    except OSError:
        return 0.0


server_start = server_cpu()
start = time.monotonic()
main = subprocess.Popen(command)
known = {}      # pid -> last name seen
peaks = []      # (name, kb) of reaped processes that matched
written = 0     # 512-byte blocks written by them
cpu = 0.0       # their user + system seconds
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
            cpu += ru.ru_utime + ru.ru_stime
            end = now
    pending = [p for p in live if known.get(p) in names]
    if status is not None and not pending:
        break
    time.sleep(0.01)

server_used = server_cpu() - server_start
matched = [kb for n, kb in peaks if n in names]
print("wall=%.3f peak_kb=%d written_kb=%d cpu_s=%.3f server_cpu_s=%.3f status=%s processes=%s" %
      (end - start, max(matched) if matched else 0, written // 2, cpu, server_used, status,
       ",".join("%s:%d" % p for p in peaks)))
