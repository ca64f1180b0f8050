#!/usr/bin/python3
"""Pelmora side by side with the least programs of its shape, in one display and one run.

Linux: pelmora, bare_qt (a frameless 208 x 51 Qt 6 window, a tray icon and an empty 30 ms
timer) and wake_read (a C loop that wakes every 30 ms and reads /proc/meminfo, no window)
run together on a private Xvfb desktop with openbox and trayer. Wine: Pelmora.exe next to
bare_win32.exe (a 208 x 51 popup, a tray icon, SetTimer 30 ms and one GlobalMemoryStatusEx
a tick) in a Wine prefix of the bench's own, on the same kind of desktop.

For each program: CPU per tick (all its threads, /proc/PID/task/*/schedstat, over the
run's length divided by 30 ms), the ratio to the bare program, peak RSS (VmHWM), RSS after
the run (VmRSS), first paint (from the start to the first report of the X server's DAMAGE
extension that shows the window painted; median of several starts), and what it drew
during the run; and the X server's CPU (under Wine also wineserver's and explorer.exe's).

Then a drawing check: Pelmora alone for a few seconds, shown a copy of /proc/meminfo (a
bind mount in a mount namespace of its own) that the bench changes at known moments; any
drawing in its window that does not follow a change is drawing on a tick whose figures
did not change.

Exit status: 0 within every budget, 1 over a budget, 2 when a figure could not be judged.

    sidebyside.py linux --pelmora PATH --tools DIR [--seconds 30]
    sidebyside.py wine --exe PATH --bare-exe PATH --tools DIR [--prefix DIR] [--seconds 30]
"""

import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import benchlib as bl  # noqa: E402

CPU_RATIO_LINUX = 1.15
CPU_RATIO_WINE = 1.20
RSS_MARGIN_MIB = 2.0
PAINT_RATIO = 1.20
CHANGE_EVERY_S = 2.0
BARE_QT_AT = "40,600"
BARE_QT_TEXT_AT = "300,600"
BARE_WIN32_AT = "40,650"


class Program:
    """One program of the run: how to start it, and its starts so far."""

    def __init__(self, name, argv, counter=None, env=None, wrap=None):
        self.name, self.argv, self.counter, self.env, self.wrap = name, argv, counter, env, wrap
        self.paints, self.start_cpus = [], []
        self.current = None

    def start(self, desk, paint_timeout):
        argv = self.wrap(self.argv) if self.wrap else self.argv
        self.current = desk.start(self.name, argv, env=self.env, counter=self.counter)
        if paint_timeout is not None:
            desk.wait_first_paint(self.current, paint_timeout)
            self.paints.append(self.current.paint)
            self.start_cpus.append(self.current.start_cpu_ns)
        return self.current

    def stop(self):
        if self.current is not None:
            bl.stop(self.current.proc)
        self.current = None


class Sample:
    def __init__(self, pids, counters):
        self.t = time.monotonic()
        self.cpu = {name: bl.cpu_ns(pid) for name, pid in pids.items()}
        self.ticks = {name: bl.read_counter(path) for name, path in counters.items() if path}


def measure(desk, programs, others, seconds, settle=2.0):
    """Runs every program side by side for `seconds`; the figures of each."""
    time.sleep(settle)
    pids = {p.name: p.current.pid for p in programs}
    pids.update(others)
    counters = {p.name: p.counter for p in programs}
    desk.watch(probe=False)
    a = Sample(pids, counters)
    time.sleep(seconds)
    b = Sample(pids, counters)
    damage = [d for d in desk.damage() if a.t <= d.t <= b.t]
    desk.unwatch()
    wall = b.t - a.t
    nominal = wall * 1000 / bl.REFRESH_MS
    rows = {}
    for name, pid in pids.items():
        row = {"pid": pid}
        if a.cpu.get(name) is not None and b.cpu.get(name) is not None:
            cpu = b.cpu[name] - a.cpu[name]
            row["cpu_tick_us"] = cpu / 1000 / nominal
            row["cpu_percent"] = 100 * cpu / (wall * 1e9)
        if a.ticks.get(name) is not None and b.ticks.get(name) is not None:
            row["ticks"] = b.ticks[name] - a.ticks[name]
        rows[name] = row
    for p in programs:
        row = rows[p.name]
        if not p.current.running():
            raise bl.BenchError(f"{p.name} ended during the run:\n{p.current.log_tail()}")
        row["hwm_mib"] = bl.status_kib(p.current.pid, "VmHWM") / 1024
        row["rss_mib"] = bl.status_kib(p.current.pid, "VmRSS") / 1024
        if p.current.rect:
            row["draws"] = len(bl.bursts([d.t for d in bl.damage_in(damage, p.current.rect)]))
    rows["_tray_draws"] = len(bl.bursts([d.t for d in bl.damage_in(damage, bl.TRAY_RECT)]))
    with open("/proc/loadavg") as f:
        rows["_load"] = " ".join(f.read().split()[:3])
    return wall, nominal, rows


def run_rounds(desk, windowed, windowless, others, args):
    """`args.rounds` rounds, each of which starts every program anew (in turns, the order
    alternating) and measures them side by side for `args.seconds`. A program's cost per
    tick depends on how its timer falls against the others' and the machine's wake-ups,
    which a start decides and which then holds for its whole run: only fresh starts show
    the spread. Each figure is the median of the rounds (peak RSS the highest); the ratio
    to the floor is the median of the rounds' ratios."""
    per_round = []
    for i in range(args.rounds):
        desk.watch(probe=True)
        for program in windowless:
            program.start(desk, None)
        order = windowed if i % 2 == 0 else list(reversed(windowed))
        for program in order:
            program.start(desk, args.paint_timeout)
            time.sleep(0.3)
        per_round.append(measure(desk, windowed + windowless, others(), args.seconds))
        for program in windowed + windowless:
            program.stop()
        time.sleep(0.5)
    return combine(per_round, windowed)


def combine(per_round, windowed):
    walls = [wall for wall, _, _ in per_round]
    rounds = [rows for _, _, rows in per_round]
    names = [k for k in rounds[0] if not k.startswith("_")]
    combined = {}
    for name in names:
        row = {}
        for key in ("cpu_tick_us", "cpu_percent", "rss_mib"):
            values = [r[name][key] for r in rounds if r[name].get(key) is not None]
            if values:
                row[key] = statistics.median(values)
        cpus = [r[name].get("cpu_tick_us") for r in rounds]
        row["cpu_rounds"] = cpus
        hwm = [r[name]["hwm_mib"] for r in rounds if r[name].get("hwm_mib") is not None]
        if hwm:
            row["hwm_mib"] = max(hwm)
        for key in ("ticks", "draws"):
            values = [r[name][key] for r in rounds if r[name].get(key) is not None]
            if values:
                row[key] = sum(values)
        combined[name] = row
    for program in windowed:
        row = combined[program.name]
        row["paint_ms"] = 1000 * statistics.median(program.paints)
        row["paints"] = [1000 * t for t in program.paints]
        row["start_cpu_ms"] = statistics.median(program.start_cpus) / 1e6
    combined["_tray_draws"] = sum(r["_tray_draws"] for r in rounds)
    combined["_load"] = rounds[-1]["_load"]
    combined["_rounds"] = len(rounds)
    return sum(walls), sum(walls) * 1000 / bl.REFRESH_MS, combined


def round_ratio(rows, name, base):
    """The median over the rounds of a program's CPU per tick over the floor's."""
    pairs = zip(rows[name]["cpu_rounds"], rows[base]["cpu_rounds"])
    ratios = [r for r in (bl.ratio(a, b) for a, b in pairs) if r is not None]
    return statistics.median(ratios) if ratios else None


def drawing_check(desk, program, seconds, paint_timeout, window=bl.DRAW_AFTER_CHANGE_S):
    """Pelmora alone, shown a /proc/meminfo the bench changes every CHANGE_EVERY_S; what
    it drew on ticks whose figures had not changed (each change explains the one drawing
    that follows it within `window` seconds). None when no mount namespace can be made
    here."""
    if not bl.FakeMemInfo.usable():
        return None
    fake = bl.FakeMemInfo(desk.work)
    checked = Program(program.name, program.argv, env=program.env, wrap=fake.wrap)
    desk.watch(probe=True)
    checked.start(desk, paint_timeout)
    rect = checked.current.rect
    time.sleep(1.5)
    desk.watch(probe=False)
    t0 = time.monotonic()
    share = 0.30
    next_change = t0 + CHANGE_EVERY_S / 2
    while time.monotonic() < t0 + seconds:
        if time.monotonic() >= next_change:
            share = 0.70 if share == 0.30 else 0.30
            fake.set_free_share(share)
            next_change += CHANGE_EVERY_S
        time.sleep(0.005)
    t1 = time.monotonic()
    # Long enough for the last change to show.
    tail = max(0.2, window + 0.1)
    time.sleep(tail)
    if not checked.current.running():
        raise bl.BenchError(f"{checked.name} ended during the drawing check:\n"
                            f"{checked.current.log_tail()}")
    events = [d for d in bl.damage_in(desk.damage(), rect) if t0 <= d.t <= t1 + tail]
    desk.unwatch()
    checked.stop()
    drawings = bl.bursts([d.t for d in events])
    unexplained, missed = bl.match_changes(drawings, fake.changes, window)
    delays = [min((g[0] - c for g in drawings if g[0] >= c), default=None) for c in fake.changes]
    return {
        "delays_ms": [None if d is None else 1000 * d for d in delays],
        "seconds": t1 - t0,
        "ticks": (t1 - t0) * 1000 / bl.REFRESH_MS,
        "changes": len(fake.changes),
        "drawings": len(drawings),
        "unexplained": unexplained,
        "missed": missed,
        "rects": len(events),
    }


# --------------------------------------------------------------------------------------------
# Output


def fmt(value, pattern, unit=""):
    return "-" if value is None else f"{value:{pattern}}{unit}"


def print_table(title, wall, nominal, rows, order):
    print(title)
    print(f"  {wall:.1f} s side by side, {nominal:.0f} ticks of {bl.REFRESH_MS} ms "
          f"(CPU per tick = CPU over the run / {nominal:.0f}); "
          f"load average {rows.get('_load', '-')} on {os.cpu_count()} CPUs")
    head = (f"  {'program':<16}{'CPU/tick':>11}{'x bare':>8}{'CPU %':>8}{'ticks':>7}"
            f"{'peak RSS':>11}{'RSS end':>10}{'1st paint':>11}{'start CPU':>11}{'draws':>7}")
    print(head)
    for name in order:
        r = rows.get(name)
        if r is None:
            continue
        print(f"  {name:<16}{fmt(r.get('cpu_tick_us'), '.1f', ' us'):>11}"
              f"{fmt(round_ratio(rows, name, order[1]), '.2f'):>8}"
              f"{fmt(r.get('cpu_percent'), '.3f'):>8}{fmt(r.get('ticks'), 'd'):>7}"
              f"{fmt(r.get('hwm_mib'), '.1f', ' MiB'):>11}{fmt(r.get('rss_mib'), '.1f', ' MiB'):>10}"
              f"{fmt(r.get('paint_ms'), '.0f', ' ms'):>11}"
              f"{fmt(r.get('start_cpu_ms'), '.0f', ' ms'):>11}{fmt(r.get('draws'), 'd'):>7}")
    for name in order:
        cpus = rows.get(name, {}).get("cpu_rounds")
        if cpus and len(cpus) > 1:
            print(f"  CPU per tick of {name} in each round: "
                  + ", ".join(fmt(c, ".1f") for c in cpus) + " us")
    for name in order:
        paints = rows.get(name, {}).get("paints")
        if paints and len(paints) > 1:
            print(f"  first paints of {name}: " + ", ".join(f"{p:.0f}" for p in paints) + " ms")
    print(f"  drawings in the tray area during the run: {rows.get('_tray_draws', 0)}")


def print_text_share(pelmora, bare, text):
    """What the toolkit's text costs on its own (bare_qt --text over bare_qt), and what
    Pelmora costs over a bare program that shows text."""
    def over(a, b, key, pattern, unit):
        if a.get(key) is None or b.get(key) is None:
            return "-"
        return f"{a[key] - b[key]:+{pattern}}{unit}"
    for title, a, b in (("text alone (bare_qt --text over bare_qt)", text, bare),
                        ("pelmora over bare_qt --text", pelmora, text)):
        print(f"  {title}: {over(a, b, 'cpu_tick_us', '.1f', ' us')} per tick, "
              f"{over(a, b, 'hwm_mib', '.1f', ' MiB')} peak RSS, "
              f"{over(a, b, 'paint_ms', '.0f', ' ms')} first paint")


def print_check(check):
    if check is None:
        print("  drawing check: not run (no mount namespace can be made here)")
        return
    print(f"  drawing check: {check['seconds']:.1f} s alone, {check['ticks']:.0f} ticks, "
          f"figures changed {check['changes']} times; {check['drawings']} drawings "
          f"({check['rects']} rectangles), {len(check['unexplained'])} on unchanged ticks, "
          f"{len(check['missed'])} changes not drawn")
    print("  first drawing after each change: " + ", ".join(
        "none" if d is None else f"{d:.0f} ms" for d in check["delays_ms"]))


def judge(verdicts):
    print("  budgets:")
    for v in verdicts:
        mark = {True: "within budget", False: "OVER BUDGET", None: "NOT JUDGED"}[v.ok]
        print(f"    {v.figure:<34}{v.measured:<24}{v.budget:<34}{mark}")
    if any(v.ok is False for v in verdicts):
        return 1
    if any(v.ok is None for v in verdicts):
        return 2
    return 0


def cpu_verdict(rows, name, base, limit):
    ratio = round_ratio(rows, name, base)
    return bl.Verdict("CPU per tick", "-" if ratio is None else f"{ratio:.2f} x {base}",
                      f"<= {limit} x (median of {rows['_rounds']} rounds)",
                      bl.within(ratio, limit))


def check_verdict(check):
    if check is None:
        return bl.Verdict("drawing on unchanged ticks", "-", "0", None)
    return bl.Verdict("drawing on unchanged ticks", f"{len(check['unexplained'])}", "0",
                      len(check["unexplained"]) == 0)


# --------------------------------------------------------------------------------------------
# The two sides


def run_linux(args):
    tools = os.path.abspath(args.tools)
    with bl.Desktop(tools, keep=args.keep) as desk:
        pelmora_env = dict(desk.env)
        if args.tray_log:
            pelmora_env["PELMORA_TRAY_LOG"] = os.path.join(desk.work, "tray.log")
        pelmora = Program("pelmora", [os.path.abspath(args.pelmora)], env=pelmora_env)
        bare_counter = desk.counter_path("bare_qt")
        bare = Program("bare_qt", [os.path.join(tools, "bare_qt"), "--at", BARE_QT_AT,
                                   "--counter", bare_counter], counter=bare_counter)
        text_counter = desk.counter_path("bare_qt_text")
        text = Program("bare_qt --text", [os.path.join(tools, "bare_qt"), "--at", BARE_QT_TEXT_AT,
                                          "--counter", text_counter, "--text"],
                       counter=text_counter)
        loop_counter = desk.counter_path("wake_read")
        loop = Program("wake_read", [os.path.join(tools, "wake_read"), "--counter",
                                     loop_counter], counter=loop_counter)
        wall, nominal, rows = run_rounds(desk, [bare, pelmora, text], [loop],
                                         lambda: {"X server": desk.xvfb.pid}, args)
        if args.tray_log:
            with open(pelmora_env["PELMORA_TRAY_LOG"], errors="replace") as f:
                rows["pelmora"]["tips"] = sum(line.startswith("tip ") for line in f)
        check = None if args.no_check else drawing_check(
            desk, pelmora, args.check_seconds, args.paint_timeout,
            bl.LINUX_MEMORY_STATUS_AGE_S + bl.DRAW_AFTER_CHANGE_S)

    print_table(f"Linux: {args.pelmora}", wall, nominal, rows,
                ["pelmora", "bare_qt", "bare_qt --text", "wake_read", "X server"])
    if "tips" in rows["pelmora"]:
        print(f"  tray tip requests of pelmora during the run: {rows['pelmora']['tips']}")
    print_text_share(rows["pelmora"], rows["bare_qt"], rows["bare_qt --text"])
    print_check(check)
    p, b = rows["pelmora"], rows["bare_qt"]
    rss_limit = b["hwm_mib"] + RSS_MARGIN_MIB
    paint_limit = PAINT_RATIO * b["paint_ms"]
    return judge([
        cpu_verdict(rows, "pelmora", "bare_qt", CPU_RATIO_LINUX),
        bl.Verdict("peak RSS", f"{p['hwm_mib']:.1f} MiB",
                   f"<= bare_qt + {RSS_MARGIN_MIB:.0f} = {rss_limit:.1f} MiB",
                   bl.within(p["hwm_mib"], rss_limit)),
        bl.Verdict("first paint", f"{p['paint_ms']:.0f} ms",
                   f"<= {PAINT_RATIO} x bare_qt = {paint_limit:.0f} ms",
                   bl.within(p["paint_ms"], paint_limit)),
        check_verdict(check),
    ])


def run_wine(args):
    tools = os.path.abspath(args.tools)
    with bl.Desktop(tools, keep=args.keep) as desk, bl.Wine(desk, args.prefix) as wine:
        pelmora = Program("Pelmora.exe", [bl.WINE, os.path.abspath(args.exe)], env=wine.env)
        bare_counter = desk.counter_path("bare_win32")
        bare = Program("bare_win32.exe", [bl.WINE, os.path.abspath(args.bare_exe), "--at",
                                          BARE_WIN32_AT, "--counter",
                                          wine.windows_path(bare_counter)],
                       counter=bare_counter, env=wine.env)
        wall, nominal, rows = run_rounds(
            desk, [bare, pelmora], [], lambda: {"X server": desk.xvfb.pid, **wine.system_pids()},
            args)
        check = None if args.no_check else drawing_check(
            desk, pelmora, args.check_seconds, args.paint_timeout,
            bl.WINE_MEMORY_STATUS_AGE_S + bl.DRAW_AFTER_CHANGE_S)

    print_table(f"Wine: {args.exe}", wall, nominal, rows,
                ["Pelmora.exe", "bare_win32.exe", "X server", "wineserver", "explorer.exe"])
    print_check(check)
    return judge([
        cpu_verdict(rows, "Pelmora.exe", "bare_win32.exe", CPU_RATIO_WINE),
        check_verdict(check),
    ])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="side", required=True)
    for side in ("linux", "wine"):
        p = sub.add_parser(side)
        p.add_argument("--tools", required=True, help="folder with the built bench tools "
                       "(damage_watch; bare_qt and wake_read for linux)")
        p.add_argument("--seconds", type=float, default=20.0, help="length of each round")
        p.add_argument("--rounds", type=int, default=9,
                       help="rounds, each with fresh starts of every program; each figure is "
                       "the median of the rounds (first paint the median of the starts)")
        p.add_argument("--check-seconds", type=float, default=10.0,
                       help="length of the drawing check")
        p.add_argument("--no-check", action="store_true", help="leave the drawing check out")
        p.add_argument("--paint-timeout", type=float, default=60.0)
        p.add_argument("--keep", help="copy the logs and damage reports to this folder")
        if side == "linux":
            p.add_argument("--pelmora", required=True, help="the built pelmora program")
            p.add_argument("--tray-log", action="store_true",
                           help="have pelmora log its tray requests and count them "
                           "(the logging itself costs CPU)")
        else:
            p.add_argument("--exe", required=True, help="the built Pelmora.exe (64-bit)")
            p.add_argument("--bare-exe", required=True, help="the built bare_win32.exe")
            p.add_argument("--prefix", default=os.path.join(
                os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
                "pelmora-bench", "wine"), help="the bench's Wine prefix (kept between runs)")
    args = parser.parse_args()
    try:
        return run_linux(args) if args.side == "linux" else run_wine(args)
    except bl.BenchError as error:
        print(f"bench: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
