#!/usr/bin/env python3
"""Measures what the quirometer backend adds to a job, as the README reports it.

usage: accounting/measure.py BUILD_DIR [RUNS]

1. Added time per job: the backend around a wrapped backend that exits at
   once, against that wrapped backend run alone, on a one-page PCL job, minus
   the count the backend reports (its DEBUG line). Median of RUNS runs.
2. The start of sending a 100 MB job: how much later the wrapped backend
   starts than when run alone, against the count, for a file job (a raw
   queue: counted first) and for a job on standard input (sent while it is
   spooled, counted at its end).
The store is SQLite in a scratch folder under /var/tmp (a real disk, so each
record's commit is synced as in production).
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FAKE = """#!/bin/sh
date +%s%N > "$(dirname "$0")/../started"
exit 0
"""


def run(cmd, env, stdin=None):
    """Wall time (ms), standard error, start (monotonic ns), CPU time of it and its children (ms)."""
    with open(stdin or os.devnull, "rb") as inp, tempfile.TemporaryFile() as err:
        t0 = time.monotonic_ns()
        p = subprocess.Popen(cmd, env=env, stdin=inp, stderr=err, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        t1 = time.monotonic_ns()
        p.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        text = err.read().decode(errors="replace")
    if p.returncode != 0:
        sys.exit(f"{cmd[0]} exited {p.returncode}: {text}")
    return (t1 - t0) / 1e6, text, t0, (usage.ru_utime + usage.ru_stime) * 1000


def count_ms(err):
    m = re.search(r"DEBUG: quirometer: counted in ([0-9.]+) ms", err)
    return float(m.group(1))


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    backend = os.path.join(build, "accounting/backend/quirometer")
    src = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    work = tempfile.mkdtemp(prefix="qm-measure-", dir="/var/tmp")
    try:
        os.makedirs(os.path.join(work, "backend"))
        fake = os.path.join(work, "backend", "fake")
        with open(fake, "w") as f:
            f.write(FAKE)
        os.chmod(fake, 0o755)
        conf = os.path.join(work, "accounting.conf")
        with open(conf, "w") as f:
            f.write(f"store = sqlite:{work}/acct.db\njournal = {work}/journal\n")
        env = dict(os.environ, CUPS_SERVERBIN=work, DEVICE_URI="quirometer:fake://127.0.0.1:9100",
                   PRINTER="lab", TMPDIR=work, QUIROMETER_ACCOUNTING_CONF=conf)
        small = os.path.join(src, "samples/letter-memo-1.ljet4pjl-copies3.pcl")
        args = ["quirometer:fake://127.0.0.1:9100", "1", "alice", "title", "1", ""]

        print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
        alone, wrapped, counts, cpu = [], [], [], []
        for i in range(runs):
            ms, _, _, fake_cpu = run([fake] + args[1:] + [small], env)
            alone.append(ms)
            ms, err, _, all_cpu = run([backend] + [str(1000 + i)] + args[2:] + [small], env)
            wrapped.append(ms)
            counts.append(count_ms(err))
            cpu.append(all_cpu - fake_cpu)
        for name, pick in (("median", statistics.median), ("fastest", min)):
            a, w, c = pick(alone), pick(wrapped), pick(counts)
            print(f"one-page PCL job, {name} of {runs}: wrapped backend alone {a:.1f} ms, "
                  f"through quirometer {w:.1f} ms, of which the count {c:.1f} ms: "
                  f"added beyond the count {w - a - c:.1f} ms")
        print(f"CPU time the backend adds (its own and its counting process's), median: {statistics.median(cpu):.1f} ms")

        big = os.path.join(work, "big.pcl")
        block = open(small, "rb").read()
        with open(big, "wb") as f:
            for _ in range(100 * 1024 * 1024 // len(block) + 1):
                f.write(block)
        size = os.path.getsize(big) / 1e6

        def started_after(t0):
            started = int(open(os.path.join(work, "started")).read())
            # date +%s%N is wall time; the launch was monotonic: convert through now.
            return (started - (time.time_ns() - (time.monotonic_ns() - t0))) / 1e6

        # The wrapped backend's own start (a shell running date), to take away.
        base = statistics.median(started_after(run([fake] + args[1:] + [big], env)[2]) for _ in range(5))
        for name, as_file in (("file (raw queue)", True), ("standard input", False)):
            delays, counts = [], []
            for i in range(3):
                cmd = [backend, str(5000 + i + (0 if as_file else 10))] + args[2:] + ([big] if as_file else [])
                _, err, t0, _ = run(cmd, env, None if as_file else big)
                delays.append(started_after(t0) - base)
                counts.append(count_ms(err))
            d, c = statistics.median(delays), statistics.median(counts)
            print(f"{size:.0f} MB job on {name}, median of 3: the wrapped backend starts {d:.0f} ms later "
                  f"than when run alone ({base:.0f} ms); the count takes {c:.0f} ms")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
