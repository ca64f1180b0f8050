#!/usr/bin/python3
"""Measures the running Linux program: CPU per refresh, average CPU, peak memory, first paint.

Runs the program for a while (30 s by default) on a private Xvfb desktop with openbox and
trayer, as the end-to-end tests do, and prints the figures next to their budgets. Exits 1
when a figure is over its budget.

    bench/measure.py PATH/TO/pelmora [--seconds 30]
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from desktop import Desktop, HarnessError, is_dark_green  # noqa: E402

REFRESH_MS = 30
CPU_BUDGET_PERCENT = 0.5  # of one core
RSS_BUDGET_MIB = 40.0
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """utime + stime of a process, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        # The command name may hold spaces; the fields after it are fixed.
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise KeyError(key)


def first_paint(desk, program, timeout=20.0):
    """Seconds from the start until the main window is mapped and shows its skin."""
    deadline = program.started + timeout
    while time.monotonic() < deadline:
        if not program.running():
            raise HarnessError(f"the program ended early:\n{program.stderr()}")
        w = program.main_window()
        if w is not None:
            img = desk.grab(w, "first-paint")
            if img.count(is_dark_green) > 0.25 * w.width * w.height:
                return time.monotonic() - program.started
        time.sleep(0.01)
    raise HarnessError("the main window was not painted in time")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="the built pelmora program")
    parser.add_argument("--seconds", type=float, default=30.0, help="how long to run it")
    parser.add_argument("--tray-log", action="store_true",
                        help="have the program log its tray requests and count the refreshes "
                        "from them (the logging itself costs CPU)")
    args = parser.parse_args()
    os.environ["PELMORA_EXE"] = os.path.abspath(args.program)
    os.environ.setdefault("PELMORA_E2E_ARTIFACTS",
                          os.path.join(os.path.dirname(os.path.abspath(args.program)), "bench"))

    with Desktop("bench") as desk:
        program = desk.start_program(tray_log=args.tray_log)
        paint = first_paint(desk, program)
        pid = program.pid
        cpu0, t0 = cpu_seconds(pid), time.monotonic()
        x0 = cpu_seconds(desk.xvfb.pid)
        tips0 = sum(r.startswith("tip ") for r in program.tray_requests())
        time.sleep(args.seconds)
        cpu1, t1 = cpu_seconds(pid), time.monotonic()
        x1 = cpu_seconds(desk.xvfb.pid)
        tips1 = sum(r.startswith("tip ") for r in program.tray_requests())
        hwm = status_kib(pid, "VmHWM") / 1024.0
        rss = status_kib(pid, "VmRSS") / 1024.0
        startup_cpu = cpu0
        if not program.running():
            raise HarnessError("the program ended during the run")
        desk.discard_artifacts()

    wall = t1 - t0
    cpu = cpu1 - cpu0
    nominal = wall * 1000.0 / REFRESH_MS
    refreshes = tips1 - tips0 if args.tray_log else round(nominal)
    percent = 100.0 * cpu / wall
    over = []

    def row(name, value, budget=None, ok=None):
        verdict = {None: "", True: "  within budget", False: "  OVER BUDGET"}[ok]
        print(f"  {name:<34} {value:<22} {budget or '':<22}{verdict}")

    print(f"pelmora: {args.program}")
    print(f"run: {wall:.1f} s after first paint, refresh every {REFRESH_MS} ms")
    row("figure", "measured", "budget")
    if args.tray_log:
        row("refreshes (tray tip requests)", f"{refreshes} ({nominal:.0f} nominal)")
    else:
        row("refreshes (nominal, 33.3 a second)", f"{refreshes}")
    row("CPU time per refresh", f"{cpu / max(refreshes, 1) * 1e6:.1f} us")
    ok = percent <= CPU_BUDGET_PERCENT
    over += [] if ok else ["CPU"]
    row("average CPU (one core)", f"{percent:.3f} %", f"<= {CPU_BUDGET_PERCENT} %", ok)
    ok = hwm <= RSS_BUDGET_MIB
    over += [] if ok else ["RSS"]
    row("peak RSS (VmHWM)", f"{hwm:.1f} MiB", f"<= {RSS_BUDGET_MIB:.0f} MiB", ok)
    row("RSS at the end (VmRSS)", f"{rss:.1f} MiB")
    row("start to first paint", f"{paint * 1000:.0f} ms")
    row("CPU used up to first paint", f"{startup_cpu * 1000:.0f} ms")
    row("X server CPU during the run", f"{100.0 * (x1 - x0) / wall:.3f} %")
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
