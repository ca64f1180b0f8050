"""The pieces the side-by-side benchmark is made of.

Pure functions first (what a figure means and how it is judged; bench/tests covers them),
then the processes: a private X desktop (Xvfb, openbox, trayer), the damage watcher, a
copy of /proc/meminfo a program can be shown instead of the real one, Wine, and the /proc
readings. Everything started here is ended again by its pid.
"""

import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))

from harness import (Child, MemInfoFile, meminfo_kb, meminfo_with,  # noqa: E402
                     own_meminfo_problem, stop, waiter, with_meminfo)

SCREEN_W, SCREEN_H = 1024, 768
MAIN_W, MAIN_H = 208, 51
REFRESH_MS = 30
# A first paint shows at least this share of the window in the programs' dark green.
FIRST_PAINT_SHARE = 0.25
# Reports this close together are one drawing (one refresh flushed as several rectangles).
BURST_GAP_S = 0.020
# After a change of the figures the next tick comes within one interval; what it draws
# reaches the screen within the same event-loop pass or the next.
DRAW_AFTER_CHANGE_S = 2 * REFRESH_MS / 1000 + 0.040
# Wine answers GlobalMemoryStatusEx from a copy it keeps for a second, so a change shows up
# to a second later there.
WINE_MEMORY_STATUS_AGE_S = 1.0
# Pelmora's Linux program reads /proc/meminfo again once its last figures are a quarter of a
# second old.
LINUX_MEMORY_STATUS_AGE_S = 0.25

TRAYER_ARGS = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
               "--width", "100", "--height", "24", "--transparent", "false"]
TRAY_RECT = (SCREEN_W - 100, 0, 100, 24)

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


class BenchError(RuntimeError):
    """A program or tool did not do what the bench needs; the run cannot be judged."""


# --------------------------------------------------------------------------------------------
# Figures and verdicts


@dataclass(frozen=True)
class Damage:
    """One rectangle drawn on the screen, as the damage watcher saw it."""
    t: float
    x: int
    y: int
    w: int
    h: int
    marked: int  # pixels of the programs' dark green in it; -1: not probed


def parse_damage(lines):
    """Damage records from the watcher's lines; a half-written last line is left out."""
    found = []
    for line in lines:
        parts = line.split()
        if len(parts) != 6:
            continue
        try:
            found.append(Damage(float(parts[0]), *(int(p) for p in parts[1:])))
        except ValueError:
            continue
    return found


def overlap(a, b):
    """Area shared by two rectangles (x, y, w, h)."""
    w = min(a[0] + a[2], b[0] + b[2]) - max(a[0], b[0])
    h = min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1])
    return max(0, w) * max(0, h)


def damage_in(events, rect):
    """The reports that lie mostly inside rect (a window's place on the screen)."""
    return [d for d in events if 2 * overlap((d.x, d.y, d.w, d.h), rect) >= d.w * d.h > 0]


def first_paint(events, rect, since):
    """Seconds from `since` to the first report inside rect that shows the window painted,
    or None."""
    need = FIRST_PAINT_SHARE * rect[2] * rect[3]
    for d in damage_in(events, rect):
        if d.t >= since and d.marked >= need:
            return d.t - since
    return None


def bursts(times, gap=BURST_GAP_S):
    """Groups sorted times into drawings: (first, last, count) each."""
    groups = []
    for t in sorted(times):
        if groups and t - groups[-1][1] <= gap:
            first, _, count = groups[-1]
            groups[-1] = (first, t, count + 1)
        else:
            groups.append((t, t, 1))
    return groups


def match_changes(drawings, changes, window=DRAW_AFTER_CHANGE_S):
    """Pairs each change of the figures with the first drawing that starts within `window`
    seconds after it (one drawing a change). Returns (unexplained drawings: drawing on a tick
    whose figures were as before; changes that no drawing followed)."""
    unmatched = sorted(drawings)
    missed = []
    for c in sorted(changes):
        found = next((g for g in unmatched if 0 <= g[0] - c <= window), None)
        if found is None:
            missed.append(c)
        else:
            unmatched.remove(found)
    return unmatched, missed


@dataclass
class Verdict:
    figure: str
    measured: str
    budget: str
    ok: object  # True, False, or None when it could not be judged


def within(value, limit):
    """True/False against a limit; None when either side is missing."""
    if value is None or limit is None:
        return None
    return value <= limit


def ratio(value, base):
    if value is None or not base:
        return None
    return value / base


# --------------------------------------------------------------------------------------------
# /proc


def cpu_ns(pid):
    """CPU time of every live thread of a process, in ns, from /proc/PID/task/*/schedstat."""
    total = 0
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return None
    for tid in tasks:
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError, IndexError, ValueError):
            continue  # the thread ended meanwhile
    return total


def status_kib(pid, key):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except FileNotFoundError:
        return None
    return None


def read_counter(path):
    """A bare program's tick count (one little-endian 64-bit number), or None."""
    try:
        with open(path, "rb") as f:
            data = f.read(8)
    except FileNotFoundError:
        return None
    return struct.unpack("<Q", data)[0] if len(data) == 8 else None


# --------------------------------------------------------------------------------------------
# Processes


wait_for = waiter(BenchError)


@dataclass
class Started(Child):
    """A program the bench started: its process, when, and what it showed."""
    name: str
    proc: subprocess.Popen
    spawned: float
    counter: str = None
    log: str = None
    rect: tuple = None
    paint: float = None
    start_cpu_ns: int = None

    def log_tail(self, lines=20):
        try:
            with open(self.log, errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except (OSError, TypeError):
            return ""


class Desktop:
    """Xvfb (display chosen through -displayfd), openbox and trayer, with a private HOME and
    XDG_RUNTIME_DIR; a damage watcher on demand. All stopped by pid on exit."""

    def __init__(self, tools, keep=None):
        self.tools = tools
        self.work = tempfile.mkdtemp(prefix="pelmora-bench.")
        self.keep = keep
        self.children = []
        self.watcher = None
        self.watch_path = None

    def __enter__(self):
        # A display number can be taken from under a starting server by another one on a
        # busy machine; a desktop that does not come up is started afresh, twice at most.
        for attempt in range(3):
            try:
                self._start()
                return self
            except BenchError as error:
                failure = error
                for proc in reversed(self.children):
                    stop(proc)
                self.children = []
            except BaseException:
                self.__exit__(None, None, None)
                raise
        self.__exit__(None, None, None)
        raise failure

    def _start(self):
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(home, exist_ok=True)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        read_fd, write_fd = os.pipe()
        with open(os.path.join(self.work, "xvfb.log"), "w") as log:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                 f"{SCREEN_W}x{SCREEN_H}x24", "-nolisten", "tcp", "-noreset", "-br"],
                pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=log)
        self.children.append(self.xvfb)
        os.close(write_fd)
        display = b""
        deadline = time.monotonic() + 20
        while not display.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_fd], [], [], 1)
            chunk = os.read(read_fd, 64) if ready else b""
            if ready and not chunk:
                break
            display += chunk
        os.close(read_fd)
        if not display.strip():
            raise BenchError("Xvfb did not start")
        self.display = f":{display.decode().strip()}"
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS",
                                 "SESSION_MANAGER", "XAUTHORITY")}
        self.env.update(DISPLAY=self.display, HOME=home, XDG_RUNTIME_DIR=runtime)
        # A session bus of the desktop's own, as every real desktop has: without one the first
        # Qt program started would launch it (dbus-launch, where installed) inside its start.
        bus_address = "unix:path=" + os.path.join(runtime, "bus")
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--address=" + bus_address], "dbus")
        self.children.append(bus)
        def bus_ready():
            if bus.poll() is not None:
                raise BenchError("the session bus did not start: "
                                 + open(os.path.join(self.work, "dbus.log")).read().strip())
            return os.path.exists(os.path.join(runtime, "bus"))
        wait_for("the session bus", bus_ready, 20)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus_address
        openbox = self._spawn(["openbox"], "openbox")
        self.children.append(openbox)

        def wm_ready():
            if openbox.poll() is not None or self.xvfb.poll() is not None:
                raise BenchError(f"the desktop on {self.display} did not come up: "
                                 + open(os.path.join(self.work, "openbox.log")).read().strip())
            return "_NET_SUPPORTING_WM_CHECK" in self.x("xprop", "-root")
        wait_for("openbox", wm_ready, 20)
        self.children.append(self._spawn(TRAYER_ARGS, "trayer"))
        wait_for("trayer", lambda: "trayer" in self.x("xwininfo", "-root", "-children"), 20)

    def _spawn(self, argv, name, env=None):
        with open(os.path.join(self.work, name + ".log"), "w") as log:
            return subprocess.Popen(argv, env=env or self.env, stdout=log,
                                    stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                    cwd=self.env["HOME"])

    def x(self, *argv):
        try:
            return subprocess.run(list(argv), env=self.env, capture_output=True, text=True,
                                  timeout=20).stdout
        except subprocess.TimeoutExpired:
            return ""

    def start(self, name, argv, env=None, counter=None):
        """Starts a program; its output goes to a log of its own."""
        log = os.path.join(self.work, name + ".log")
        with open(log, "w") as out:
            proc = subprocess.Popen(argv, env=env or self.env, stdout=out,
                                    stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                    cwd=self.env["HOME"])
        started = Started(name, proc, time.monotonic(), counter=counter, log=log)
        self.children.append(proc)
        return started

    def counter_path(self, name):
        return os.path.join(self.work, name + ".ticks")

    # The damage watcher: one at a time, its reports in a file.
    def watch(self, probe):
        self.unwatch()
        self.watch_path = os.path.join(self.work, f"damage-{time.monotonic():.3f}.txt")
        err = os.path.join(self.work, "damage_watch.log")
        argv = [os.path.join(self.tools, "damage_watch")] + (["--probe"] if probe else [])
        with open(self.watch_path, "w") as out, open(err, "w") as log:
            self.watcher = subprocess.Popen(argv, env=self.env, stdout=out, stderr=log,
                                            stdin=subprocess.DEVNULL)
        self.children.append(self.watcher)
        wait_for("the damage watcher", lambda: self._watcher_ready(err), 10)

    def _watcher_ready(self, err):
        if self.watcher.poll() is not None:
            raise BenchError(f"damage_watch ended: {open(err).read().strip()}")
        with open(err) as f:
            return "ready" in f.read()

    def damage(self):
        if not self.watch_path:
            return []
        with open(self.watch_path) as f:
            return parse_damage(f.read().splitlines())

    def unwatch(self):
        stop(self.watcher)
        self.watcher = None

    def windows_of(self, pid):
        """Visible windows of a process (by _NET_WM_PID) as (x, y, w, h) on the screen."""
        found = []
        for wid in self.x("xdotool", "search", "--onlyvisible", "--pid", str(pid)).split():
            info = self.x("xwininfo", "-id", wid)
            try:
                x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info)[1])
                y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info)[1])
                w = int(re.search(r"Width:\s+(\d+)", info)[1])
                h = int(re.search(r"Height:\s+(\d+)", info)[1])
            except TypeError:
                continue
            found.append((x, y, w, h))
        return found

    def main_rect(self, pid):
        for rect in self.windows_of(pid):
            if rect[2:] == (MAIN_W, MAIN_H):
                return rect
        return None

    def wait_first_paint(self, program, timeout):
        """Waits until the program's main window is on the screen and painted; notes where
        it is, when it was first painted and the CPU the program had used by then."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not program.running():
                raise BenchError(f"{program.name} ended with status {program.proc.returncode}:\n"
                                 f"{program.log_tail()}")
            if program.rect is None:
                program.rect = self.main_rect(program.pid)
            if program.rect is not None:
                program.paint = first_paint(self.damage(), program.rect, program.spawned)
                if program.paint is not None:
                    program.start_cpu_ns = cpu_ns(program.pid)
                    return
            time.sleep(0.05)
        raise BenchError(f"{program.name}: no painted {MAIN_W} x {MAIN_H} window within "
                         f"{timeout:.0f} s (window: {program.rect})\n{program.log_tail()}")

    def __exit__(self, *exc):
        for proc in reversed(self.children):
            stop(proc)
        if self.keep:
            shutil.copytree(self.work, self.keep, dirs_exist_ok=True)
        shutil.rmtree(self.work, ignore_errors=True)


class FakeMemInfo:
    """A copy of /proc/meminfo that a program is shown in place of the real one (a bind
    mount in a mount namespace of its own), so that the bench decides when its figures
    change. Each change rewrites the file in place at the same length."""

    def __init__(self, directory):
        with open("/proc/meminfo") as f:
            self.text = f.read()
        self.total = meminfo_kb(self.text, "MemTotal")
        self.file = MemInfoFile(os.path.join(directory, "meminfo"), self._with_free(0.30))
        self.path = self.file.path
        self.changes = []

    def _with_free(self, share):
        kb = int(self.total * share)
        return meminfo_with(self.text, MemFree=kb, MemAvailable=kb)

    def set_free_share(self, share):
        self.file.write(self._with_free(share))
        self.changes.append(time.monotonic())

    def wrap(self, argv):
        """The command that runs argv with this file as its /proc/meminfo."""
        return with_meminfo(self.path, argv)

    @staticmethod
    def usable():
        return own_meminfo_problem() is None


class Wine:
    """A Wine prefix of the bench's own, kept between runs, with its server kept up for the
    length of a run so that every program starts against a warm server."""

    def __init__(self, desktop, prefix):
        self.desktop = desktop
        self.prefix = os.path.abspath(prefix)
        os.makedirs(self.prefix, exist_ok=True)
        self.env = dict(desktop.env, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d",
                        HOME=os.environ.get("HOME", desktop.env["HOME"]))

    def __enter__(self):
        subprocess.run([WINESERVER, "-p"], env=self.env, timeout=60, check=True)
        # Brings the prefix up to date (creates it the first time) and starts its services.
        subprocess.run([WINE, "wineboot"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=600, check=False)
        return self

    def __exit__(self, *exc):
        # Only this prefix's server and the processes of this prefix.
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=60, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=60, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def windows_path(self, path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def system_pids(self):
        """This prefix's own processes: its server (whose working folder is named after the
        prefix's device and inode) and explorer.exe (the desktop and the tray)."""
        st = os.stat(self.prefix)
        server_dir = f"server-{st.st_dev:x}-{st.st_ino:x}"
        system32 = os.path.realpath(os.path.join(self.prefix, "drive_c/windows/system32"))
        found = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                comm = open(f"/proc/{entry}/comm").read().strip()
                cwd = os.readlink(f"/proc/{entry}/cwd")
            except OSError:
                continue
            if comm.startswith("wineserver") and os.path.basename(cwd) == server_dir:
                found["wineserver"] = int(entry)
            elif comm == "explorer.exe" and os.path.realpath(cwd) == system32:
                found["explorer.exe"] = int(entry)
        return found
