#!/usr/bin/env python3
"""Takes the README's pictures from the real Linux program on a virtual display.

It starts Xvfb, openbox as window manager and trayer as tray host, runs the program and writes

    window.png   the window as it shows
    menu.png     the window with its menu open (a right click on it)
    about.png    the About box, with the window manager's frame

Outside the windows the pictures are transparent. Everything it starts is stopped by its
process id, whatever happens.

Usage: take_screenshots.py [--program PATH] [--out DIR]
Without --program it builds the release preset and takes build/release's program; the
pictures go to docs/ unless --out says otherwise. Needs Xvfb, openbox, trayer, xdotool,
x11-utils and imagemagick (tools/install-deps.sh run installs them).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO_ROOT, "tests", "support"))

from harness import stop, waiter  # noqa: E402

MAIN_SIZE = (208, 51)
SCREEN = (800, 600)


class Failure(Exception):
    pass


wait_for = waiter(Failure, timeout=15.0, interval=0.1)


class Display:
    """A virtual display with a window manager and a tray host; closes what it started."""

    def __init__(self, work):
        self.work = work
        self.children = []
        try:
            self.open()
        except BaseException:
            # Nothing it started outlives a display that never came up.
            self.close()
            raise

    def open(self):
        work = self.work
        read_fd, write_fd = os.pipe()
        # -noreset: the server keeps its state when its last client leaves, instead of
        # starting over (and compiling its keymap again) while the next one connects.
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                 f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp",
                                 "-noreset"], pass_fds=[write_fd], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.children.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        runtime = os.path.join(work, "runtime")
        os.mkdir(runtime, 0o700)
        os.mkdir(os.path.join(work, "home"))
        self.env = dict(os.environ, DISPLAY=f":{number}", XDG_RUNTIME_DIR=runtime,
                        HOME=os.path.join(work, "home"))
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PELMORA_TRAY_LOG"):
            self.env.pop(name, None)
        wait_for("the display to take clients", lambda: subprocess.run(
            ["xdpyinfo"], env=self.env, capture_output=True, timeout=30).returncode == 0)
        self.start(["openbox"])
        # Unset, xprop answers "_NET_SUPPORTING_WM_CHECK:  not found."; set, it names the type.
        # A window mapped while the manager is still starting may never be managed.
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in
                 self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
        self.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                    "--width", "100", "--height", "24", "--transparent", "false"])
        wait_for("the tray host", lambda: '"panel": ("panel" "trayer")' in
                 self.x("xwininfo", "-root", "-tree"))

    def start(self, command):
        process = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   cwd=self.env["HOME"])
        self.children.append(process)
        return process

    def x(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True,
                              timeout=30).stdout

    def geometry(self, wid):
        """(x, y, width, height, viewable, override) of a window."""
        info = self.x("xwininfo", "-id", wid)
        values = [re.search(rf"{label}:\s+(-?\d+)", info) for label in
                  ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
        if not all(values):
            return None
        return (*(int(v[1]) for v in values), "IsViewable" in info,
                "Override Redirect State: yes" in info)

    def windows_of(self, process):
        """The viewable windows of a process as {id: geometry}."""
        found = {}
        for wid in self.x("xdotool", "search", "--onlyvisible", "--pid",
                          str(process.pid)).split():
            geometry = self.geometry(wid)
            if geometry and geometry[4]:
                found[wid] = geometry
        return found

    def grab(self, path, *rects):
        """Writes the rectangles' union as a PNG, transparent outside the rectangles."""
        left = min(r[0] for r in rects)
        top = min(r[1] for r in rects)
        right = max(r[0] + r[2] for r in rects)
        bottom = max(r[1] + r[3] for r in rects)
        screen = os.path.join(self.work, "screen.png")
        subprocess.run(["import", "-window", "root", screen], env=self.env, check=True,
                       timeout=30)
        command = ["convert", "-size", f"{right - left}x{bottom - top}", "xc:none"]
        for x, y, w, h in rects:
            command += ["(", screen, "-crop", f"{w}x{h}+{x}+{y}", "+repage", ")",
                        "-geometry", f"+{x - left}+{y - top}", "-composite"]
        # No time stamps in the file, so an unchanged picture stays byte for byte the same.
        command += ["-define", "png:exclude-chunks=date,time", "-strip", path]
        subprocess.run(command, check=True, timeout=30)

    def close(self):
        for process in reversed(self.children):
            stop(process)


def frame_extents(display, wid):
    """The window manager's frame around a window: (left, right, top, bottom)."""
    values = re.findall(r"\d+", display.x("xprop", "-id", wid, "_NET_FRAME_EXTENTS")
                        .partition("=")[2])
    return tuple(int(v) for v in values) if len(values) == 4 else (0, 0, 0, 0)


def take(program, out):
    work = tempfile.mkdtemp(prefix="pelmora-shots.")
    display = Display(work)
    try:
        shown = display.start([program])

        def window_where(matches):
            if shown.poll() is not None:
                raise Failure(f"the program ended with status {shown.returncode}")
            for wid, g in display.windows_of(shown).items():
                if matches(wid, g):
                    return wid, g
            return None

        main_id, main = wait_for("the window", lambda: window_where(lambda wid, g: g[2:4] == MAIN_SIZE))
        time.sleep(1.0)  # the figures are drawn on the first timer ticks
        os.makedirs(out, exist_ok=True)
        display.grab(os.path.join(out, "window.png"), main[:4])

        def open_menu():
            before = set(display.windows_of(shown))
            display.x("xdotool", "mousemove", str(main[0] + 60), str(main[1] + 25), "click",
                      "3")

            def popup():
                for wid, g in display.windows_of(shown).items():
                    if wid not in before and g[5] and g[3] > 40:
                        return wid, g
                return None

            found = wait_for("the menu", popup)
            # The pointer leaves the menu, so that no entry shows highlighted.
            display.x("xdotool", "mousemove", "0", str(SCREEN[1] - 1))
            return found

        menu_id, menu = open_menu()
        time.sleep(0.5)
        display.grab(os.path.join(out, "menu.png"), main[:4], menu[:4])

        def about_box():
            return window_where(lambda wid, g: display.x(
                "xdotool", "getwindowname", wid).startswith("About "))

        # The menu shows before it holds the keyboard: a key that beat the grab is pressed
        # again while the menu is still there, and a menu that went without opening the
        # About box is opened again, as a person would.
        for attempt in range(3):
            if attempt:
                menu_id, menu = open_menu()
            for _ in range(5):
                display.x("xdotool", "key", "a")
                try:
                    wait_for("the menu to close",
                             lambda: menu_id not in display.windows_of(shown), timeout=2.0)
                    break
                except Failure:
                    continue
            try:
                about_id, about = wait_for("the About box", about_box, timeout=10.0)
                break
            except Failure:
                shown_now = {wid: (display.x("xdotool", "getwindowname", wid).strip(), g[2:4])
                             for wid, g in display.windows_of(shown).items()}
                print(f"take_screenshots: no About box yet; the program shows {shown_now}",
                      file=sys.stderr)
        else:
            raise Failure("the About box did not open")
        time.sleep(2.0)  # the About box's panel slides in
        left, right, top, bottom = frame_extents(display, about_id)
        display.grab(os.path.join(out, "about.png"),
                     (about[0] - left, about[1] - top, about[2] + left + right,
                      about[3] + top + bottom))
    finally:
        display.close()
        shutil.rmtree(work, ignore_errors=True)


def build_release():
    for command in (["cmake", "--preset", "release"], ["cmake", "--build", "--preset", "release"]):
        subprocess.run(command, cwd=REPO_ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(REPO_ROOT, "build", "release", "src", "platform", "qt", "pelmora")


def main(argv):
    parser = argparse.ArgumentParser(description="Take the README's pictures of Pelmora.")
    parser.add_argument("--program", help="the pelmora program (default: build release)")
    parser.add_argument("--out", default=os.path.join(REPO_ROOT, "docs"),
                        help="folder for the pictures (default: docs)")
    args = parser.parse_args(argv)
    try:
        take(args.program or build_release(), args.out)
    except (Failure, OSError, subprocess.SubprocessError) as error:
        print(f"take_screenshots: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
