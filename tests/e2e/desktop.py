"""A private X desktop for driving the real program as a person would.

Each Desktop starts its own Xvfb (display chosen by the server through -displayfd),
openbox as window manager and trayer as tray host, with a fresh HOME and
XDG_RUNTIME_DIR. Everything it starts is stopped again by pid, whatever happens.
Every wait has a deadline, so no test can hang.

A desktop may have a screen of another size, and extra environment for the program (a
display scale); `scale` then says how many screen pixels the program's windows take for
each of their own pixels.

Every program runs on memory figures the test chooses: a /proc/meminfo of the desktop's
own, bound over the real one in a private mount namespace. Where that cannot be done (it
needs root and unshare) programs see the machine's figures, and a test that asks for the
figures is skipped.
"""

import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from harness import (Child, HarnessError, own_meminfo_problem, stop,  # noqa: E402,F401
                     wait_for, with_meminfo)
from memfigures import DEFAULT_AVAIL_KB, DEFAULT_TOTAL_KB, MemInfoFile  # noqa: E402

SCREEN_W, SCREEN_H = 1024, 768
MAIN_W, MAIN_H = 208, 51

TRAYER_ARGS = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
               "--width", "100", "--height", "24", "--transparent", "false"]


def program_path():
    exe = os.environ.get("PELMORA_EXE")
    if not exe:
        raise HarnessError("PELMORA_EXE must name the built pelmora program")
    if not os.access(exe, os.X_OK):
        raise HarnessError(f"PELMORA_EXE is not an executable file: {exe}")
    return exe


def artifacts_root():
    root = os.environ.get("PELMORA_E2E_ARTIFACTS") or os.path.join(tempfile.gettempdir(),
                                                                   "pelmora-e2e")
    os.makedirs(root, exist_ok=True)
    return root


class Image:
    """An RGB screenshot region with a few pixel statistics."""

    def __init__(self, width, height, data, path=None):
        self.width, self.height, self.data, self.path = width, height, data, path

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def crop(self, x, y, w, h):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.width, x + w), min(self.height, y + h)
        rows = [self.data[3 * (yy * self.width + x0):3 * (yy * self.width + x1)]
                for yy in range(y0, y1)]
        return Image(x1 - x0, y1 - y0, b"".join(rows), self.path)

    def pixels(self):
        d = self.data
        for i in range(0, len(d), 3):
            yield d[i], d[i + 1], d[i + 2]

    def count(self, predicate):
        return sum(1 for p in self.pixels() if predicate(p))


# Colour classes used by the checks.
def is_white(p):
    return min(p) >= 225


def is_dark_green(p):
    r, g, b = p
    return 40 <= g <= 200 and g >= r + 30 and g >= b + 30


def is_pure_red(p):
    r, g, b = p
    return r >= 200 and g <= 80 and b <= 80


def is_pure_green(p):
    r, g, b = p
    return g >= 200 and r <= 80 and b <= 80


def distance(p, q):
    return max(abs(a - b) for a, b in zip(p, q))


class Window:
    """Geometry and state of one X window as xwininfo reports it."""

    def __init__(self, wid, x, y, width, height, viewable, override):
        self.wid, self.x, self.y = wid, x, y
        self.width, self.height = width, height
        self.viewable, self.override = viewable, override

    def __repr__(self):
        return (f"Window({self.wid:#x} {self.width}x{self.height}+{self.x}+{self.y}"
                f"{' viewable' if self.viewable else ''}{' override' if self.override else ''})")


class Program(Child):
    """One started copy of the program under test."""

    def __init__(self, desktop, name, tray_log):
        self.desktop, self.name, self.tray_log = desktop, name, tray_log
        out = os.path.join(desktop.artifacts, name)
        self.stdout_path, self.stderr_path = out + ".stdout", out + ".stderr"
        env = dict(desktop.env)
        if tray_log:
            env["PELMORA_TRAY_LOG"] = tray_log
        with open(self.stdout_path, "wb") as so, open(self.stderr_path, "wb") as se:
            self.proc = subprocess.Popen(desktop.program_argv(), env=env, stdout=so, stderr=se,
                                         stdin=subprocess.DEVNULL, cwd=desktop.home)
        self.started = time.monotonic()

    def wait_exit(self, timeout=10.0):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{self.name} (pid {self.pid}) did not end within {timeout} s")

    def stderr(self):
        try:
            with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def tray_requests(self):
        """The tray requests written so far, one string each ('add', 'tip ...', 'delete')."""
        if self.tray_log is None:
            return []
        try:
            with open(self.tray_log, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\n") for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def last_tip(self):
        tips = [r[4:] for r in self.tray_requests() if r.startswith("tip ")]
        return tips[-1] if tips else None

    def windows(self, visible=True, name=None):
        return self.desktop.windows_of(self.pid, visible=visible, name=name)

    def main_window(self):
        """The program's visible managed window of the main window's size, if any: known
        by its process and size, since it has no title."""
        size = (MAIN_W * self.desktop.scale, MAIN_H * self.desktop.scale)
        for w in self.windows():
            if not w.override and (w.width, w.height) == size:
                return w
        return None

    def wait_main_window(self, timeout=15.0):
        def probe():
            if not self.running():
                raise HarnessError(f"{self.name} ended with status {self.proc.returncode} "
                                   f"before showing its window:\n{self.stderr()}")
            return self.main_window()

        return wait_for("the main window", probe, timeout)

    def stop(self):
        stop(self.proc)


class Desktop:
    """Xvfb + openbox + trayer with a private HOME and XDG_RUNTIME_DIR."""

    def __init__(self, test_name, screen=(SCREEN_W, SCREEN_H), env=None, scale=1,
                 figures=(DEFAULT_TOTAL_KB, DEFAULT_AVAIL_KB)):
        self.test_name = test_name
        self.screen_w, self.screen_h = screen
        self.extra_env = dict(env or {})
        self.scale = scale
        self.artifacts = os.path.join(artifacts_root(), test_name)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.tmp = tempfile.mkdtemp(prefix="pelmora-e2e-")
        self.home = os.path.join(self.tmp, "home")
        self.runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(self.home)
        os.makedirs(self.runtime, mode=0o700)
        total_kb, avail_kb = figures
        self.meminfo = MemInfoFile(os.path.join(self.tmp, "meminfo"), total_kb, avail_kb)
        self.xvfb = self.wm = self.trayer = None
        self.programs = []
        self.env = None
        self.shots = 0

    # --- life cycle -------------------------------------------------------------------

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _start(self):
        base = {k: v for k, v in os.environ.items()
                if not k.startswith(("QT_", "XDG_", "DBUS_", "WAYLAND_", "GTK_"))}
        base.pop("DISPLAY", None)
        display = self._start_xvfb(base)
        self.env = dict(base, DISPLAY=display, HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
                        QT_QPA_PLATFORM="xcb",
                        # No session bus: the tray icon goes to the X tray host.
                        DBUS_SESSION_BUS_ADDRESS="unix:path=" +
                        os.path.join(self.runtime, "no-session-bus"),
                        LC_ALL="C.UTF-8", **self.extra_env)
        self.wm = self._spawn("openbox", ["openbox", "--sm-disable"])
        wait_for("openbox to manage the screen",
                 lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.x("xprop", "-root",
                                                                      "_NET_SUPPORTING_WM_CHECK"))
        self.trayer = self._spawn("trayer", TRAYER_ARGS)
        wait_for("trayer's panel", self.tray_panel)
        # The tray selection is taken right after the panel maps; give it a moment.
        time.sleep(0.3)

    # The X server: its name in messages and logs, how long it may take to start, and its
    # command line given the descriptor it writes its display number to.
    server_name = "Xvfb"
    server_start_seconds = 15

    def _server_argv(self, displayfd):
        return ["Xvfb", "-displayfd", str(displayfd),
                "-screen", "0", f"{self.screen_w}x{self.screen_h}x24",
                "-nolisten", "tcp", "-noreset"]

    def _server_failure(self):
        """What the server's logs say of its failure to start; empty by default."""
        return ""

    def _start_xvfb(self, env):
        rfd, wfd = os.pipe()
        log = open(os.path.join(self.artifacts, self.server_name.lower() + ".log"), "wb")
        try:
            self.xvfb = subprocess.Popen(
                self._server_argv(wfd),
                pass_fds=(wfd,), stdout=log, stderr=log, stdin=subprocess.DEVNULL, env=env)
        finally:
            os.close(wfd)
            log.close()
        try:
            data = b""
            deadline = time.monotonic() + self.server_start_seconds
            while not data.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([rfd], [], [], left)[0]:
                    raise HarnessError(f"{self.server_name} did not report its display number")
                chunk = os.read(rfd, 32)
                if not chunk:
                    raise HarnessError(f"{self.server_name} ended before reporting its display "
                                       "number" + self._server_failure())
                data += chunk
        finally:
            os.close(rfd)
        return ":" + data.decode().strip()

    def _spawn(self, name, argv):
        log = open(os.path.join(self.artifacts, name + ".log"), "wb")
        try:
            return subprocess.Popen(argv, env=self.env, stdout=log, stderr=log,
                                    stdin=subprocess.DEVNULL, cwd=self.home)
        finally:
            log.close()

    def close(self):
        for p in reversed(self.programs):
            p.stop()
        for proc in (self.trayer, self.wm, self.xvfb):
            stop(proc)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def discard_artifacts(self):
        if not os.environ.get("PELMORA_E2E_KEEP"):
            shutil.rmtree(self.artifacts, ignore_errors=True)

    # --- the program ------------------------------------------------------------------

    def program_argv(self):
        """How the program is started: on this desktop's /proc/meminfo where possible."""
        if own_meminfo_problem() is None:
            return with_meminfo(self.meminfo.path, [program_path()])
        return [program_path()]

    def figures(self):
        """The /proc/meminfo the programs read (MemInfoFile), to set and to compare with;
        skips the asking test where the programs can only see the machine's figures."""
        problem = own_meminfo_problem()
        if problem is not None:
            raise unittest.SkipTest(f"the figures are not the test's own: {problem}")
        return self.meminfo

    def start_program(self, name="pelmora", tray_log=True):
        log = os.path.join(self.tmp, name + "-tray.log") if tray_log else None
        program = Program(self, name, log)
        self.programs.append(program)
        return program

    # --- X queries --------------------------------------------------------------------

    def x(self, *argv, check=False, timeout=10.0):
        """Runs one X tool on this display and returns its standard output."""
        try:
            r = subprocess.run(argv, env=self.env, capture_output=True, text=True,
                               timeout=timeout, stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{' '.join(argv)} did not finish within {timeout} s")
        if check and r.returncode != 0:
            raise HarnessError(f"{' '.join(argv)} failed ({r.returncode}): {r.stderr.strip()}")
        return r.stdout

    def xdotool(self, *args):
        return self.x("xdotool", *map(str, args), check=True)

    def window(self, wid):
        """Geometry of a window, or None once it is gone."""
        out = self.x("xwininfo", "-id", str(wid))
        if "Absolute upper-left X" not in out:
            return None

        def field(label):
            m = re.search(rf"{label}:\s+(-?\d+)", out)
            return int(m.group(1))

        return Window(int(wid), field("Absolute upper-left X"), field("Absolute upper-left Y"),
                      field("Width"), field("Height"), "IsViewable" in out,
                      re.search(r"Override Redirect State:\s+yes", out) is not None)

    def windows_of(self, pid, visible=True, name=None):
        args = ["search"]
        if visible:
            args.append("--onlyvisible")
        args += ["--pid", str(pid)]
        if name is not None:
            args += ["--all", "--name", name]
        # A window destroyed while xdotool walks the tree makes it stop with an X error;
        # the walk is simply repeated.
        for _ in range(5):
            r = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                               timeout=10, stdin=subprocess.DEVNULL)
            if "Error" not in r.stderr and "failed" not in r.stderr:
                break
            time.sleep(0.05)
        out = r.stdout
        result = []
        for line in out.split():
            if line.isdigit():
                w = self.window(int(line))
                if w is not None and (w.viewable or not visible):
                    result.append(w)
        return result

    def prop(self, wid, name):
        """The value part of one property as xprop prints it ('' when unset)."""
        out = self.x("xprop", "-id", str(wid), name)
        if "not found" in out or "no such atom" in out:
            return ""
        _, _, value = out.partition("=")
        if not value:
            _, _, value = out.partition(":")
        return value.strip()

    def tree(self):
        """The window tree as (depth, id, rest-of-line) rows."""
        rows = []
        for line in self.x("xwininfo", "-root", "-tree").splitlines():
            m = re.match(r"^(\s+)(0x[0-9a-f]+) (.*)$", line)
            if m:
                rows.append((len(m.group(1)), int(m.group(2), 16), m.group(3)))
        return rows

    def tray_panel(self):
        """Id of trayer's panel window, or None before it exists."""
        for _, wid, rest in self.tree():
            if rest.startswith('"panel": ("panel" "trayer")'):
                return wid
        return None

    def tray_descendants(self):
        """Ids of every window inside trayer's panel (its sockets and docked icons)."""
        rows = self.tree()
        found, depth = [], None
        for d, wid, rest in rows:
            if depth is None:
                if rest.startswith('"panel": ("panel" "trayer")'):
                    depth = d
                continue
            if d <= depth:
                break
            found.append(wid)
        return found

    def tray_icons_of(self, pid):
        """Windows of pid that are docked inside trayer's panel."""
        inside = set(self.tray_descendants())
        mine = [w.wid for w in self.windows_of(pid, visible=False)]
        return [w for w in mine if w in inside]

    # --- input ------------------------------------------------------------------------

    def move_pointer(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def activate(self, wid):
        # Without --sync: a window manager may legitimately refuse, and the key goes to
        # whichever window has the focus then, as it would for a person.
        self.x("xdotool", "windowactivate", str(wid))
        time.sleep(0.3)

    # --- screenshots ------------------------------------------------------------------

    def screenshot(self, label):
        """The whole screen, kept as a PNG under the test's artifacts folder."""
        self.shots += 1
        path = os.path.join(self.artifacts, f"{self.shots:02d}-{label}.png")
        self.x("import", "-window", "root", path, check=True, timeout=20)
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                             timeout=20, check=True).stdout
        if len(raw) != self.screen_w * self.screen_h * 3:
            raise HarnessError(f"unexpected screenshot size {len(raw)} bytes for {path}")
        return Image(self.screen_w, self.screen_h, raw, path)

    def grab(self, window, label):
        """The screen area a window covers."""
        shot = self.screenshot(label)
        return shot.crop(window.x, window.y, window.width, window.height)
