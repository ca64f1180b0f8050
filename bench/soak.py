#!/usr/bin/python3
"""Runs the soak drivers (bench/soak) where each belongs and passes their tables through.

    soak.py linux --build DIR [--xcb] [-- soak options]
    soak.py wine --exe PelmoraSoak.exe --tools DIR [--prefix DIR] [-- soak options]

linux: pelmora_soak_core (the system and the core alone), then pelmora_soak on the Qt
offscreen platform; with --xcb once more on a private X desktop, where the program's X
resources are counted too. wine: PelmoraSoak.exe in the bench's Wine prefix on a private X
desktop with a window manager and a tray (without a window manager Wine waits on every
window it hides). Soak options: --ticks N, --tick-seconds S, --about N, --popups N,
--tick-warmup N, --cycle-warmup N. Exit status: 0 flat, 1 something grew, 2 a driver could
not run.
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import benchlib as bl  # noqa: E402


def run(title, argv, env=None, timeout=None):
    print(f"== {title}", flush=True)
    try:
        return subprocess.run(argv, env=env, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        print(f"soak: {title} did not end within {timeout} s", file=sys.stderr)
        return 2


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="side", required=True)
    linux = sub.add_parser("linux")
    linux.add_argument("--build", required=True, help="build folder with PELMORA_BENCH=ON")
    linux.add_argument("--xcb", action="store_true", help="also on a private X desktop")
    linux.add_argument("--tools", help="bench tools folder (for --xcb)")
    wine = sub.add_parser("wine")
    wine.add_argument("--exe", required=True, help="the built PelmoraSoak.exe")
    wine.add_argument("--tools", required=True, help="bench tools folder")
    wine.add_argument("--prefix", default=os.path.join(
        os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")), "pelmora-bench",
        "wine"))
    for p in (linux, wine):
        p.add_argument("--timeout", type=float, default=3600)
        p.add_argument("soak", nargs=argparse.REMAINDER, help="options for the driver")
    args = parser.parse_args()
    soak_args = [a for a in args.soak if a != "--"]

    status = 0
    try:
        if args.side == "linux":
            bench_dir = os.path.join(args.build, "bench")
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            status = max(status, run("the system and the runtime core",
                                     [os.path.join(bench_dir, "pelmora_soak_core")] + soak_args,
                                     timeout=args.timeout))
            status = max(status, run("the Qt backend, offscreen",
                                     [os.path.join(bench_dir, "pelmora_soak")] + soak_args,
                                     env=env, timeout=args.timeout))
            if args.xcb:
                with bl.Desktop(args.tools or "") as desk:
                    env = dict(desk.env, QT_QPA_PLATFORM="xcb")
                    status = max(status, run("the Qt backend on X",
                                             [os.path.join(bench_dir, "pelmora_soak")] + soak_args,
                                             env=env, timeout=args.timeout))
        else:
            with bl.Desktop(args.tools) as desk, bl.Wine(desk, args.prefix) as w:
                status = max(status, run("the Win32 backend under Wine",
                                         [bl.WINE, os.path.abspath(args.exe)] + soak_args,
                                         env=w.env, timeout=args.timeout))
    except bl.BenchError as error:
        print(f"soak: {error}", file=sys.stderr)
        return 2
    return status


if __name__ == "__main__":
    sys.exit(main())
