#!/usr/bin/python3
"""Measures a built Linux program side by side with bare_qt and wake_read.

Builds the bench's own programs (bench/tools) if needed and runs the Linux half of
bench/sidebyside.py on the program given: CPU per refresh, the ratio to the bare Qt
program, peak RSS, RSS at the end, first paint, the X server's CPU and the drawing check,
next to their budgets. Exits 1 when a figure is over its budget, 2 when one could not be
judged.

    bench/measure.py PATH/TO/pelmora [--seconds 20] [--tray-log]
"""

import argparse
import os
import subprocess
import sys

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="the built pelmora program")
    parser.add_argument("--seconds", type=float, default=20.0, help="length of each round")
    parser.add_argument("--tray-log", action="store_true",
                        help="have the program log its tray requests and count them "
                        "(the logging itself costs CPU)")
    args = parser.parse_args()
    tools = os.path.join(ROOT, "build", "bench-tools")
    subprocess.run(["cmake", "-S", os.path.join(BENCH, "tools"), "-B", tools, "-G", "Ninja"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", tools, "-j2"], check=True, stdout=subprocess.DEVNULL)
    argv = [sys.executable, "-B", os.path.join(BENCH, "sidebyside.py"), "linux", "--tools", tools,
            "--seconds", str(args.seconds), "--pelmora", args.program]
    if args.tray_log:
        argv.append("--tray-log")
    return subprocess.run(argv).returncode


if __name__ == "__main__":
    sys.exit(main())
