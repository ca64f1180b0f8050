#!/usr/bin/python3
"""The 64-bit Pelmora.exe end to end, as a person would use it: under Wine in an Xvfb
of its own, driven with xdotool, checked with xwininfo, screenshots and Wine's own
traces of the texts it draws.

Usage: e2e.py SCENARIO PATH_TO_EXE
Scenarios: window, tray_left_click, tray_menu, window_menu, second_copy, about, exit
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WINE = "/usr/lib/wine/wine64"
SCREEN = (1024, 768)


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=20.0):
    """Polls probe until it returns something true; fails with what when it never does."""
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(0.2)


class Session:
    """An Xvfb, a Wine prefix and the programs started in them; all taken away at the end."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="pelmora-e2e.")
        self.processes = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
             "-nolisten", "tcp"], pass_fds=[write_fd], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            display = pipe.readline().strip()
        expect(display, "Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=f":{display}", WINEPREFIX=f"{self.work}/prefix",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
        subprocess.run([WINE, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120, check=False)

    def start(self, exe, trace=""):
        log = open(os.path.join(self.work, f"run{len(self.processes)}.log"), "w")
        env = dict(self.env, WINEDEBUG=trace or "-all")
        process = subprocess.Popen([WINE, exe], env=env, stdout=log, stderr=subprocess.STDOUT)
        process.log_path = log.name
        self.processes.append(process)
        return process

    def log(self, process):
        with open(process.log_path, errors="replace") as f:
            return f.read()

    def x(self, *command):
        return subprocess.run(list(command), env=self.env, capture_output=True, text=True,
                              timeout=30).stdout

    def windows(self):
        """Top-level X windows as (id, name, class, width, height, x, y)."""
        found = []
        pattern = re.compile(r'^\s+(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \("([^"]*)" "[^"]*"\)'
                             r"\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)")
        for line in self.x("xwininfo", "-root", "-children").splitlines():
            m = pattern.match(line)
            if m:
                found.append((m[1], m[2] or "", m[3], int(m[4]), int(m[5]), int(m[6]),
                              int(m[7])))
        return found

    def window(self, name=None, cls="pelmora.exe", size=None):
        for w in self.windows():
            if w[2].lower() != cls or (name is not None and w[1] != name):
                continue
            if size is not None and (w[3], w[4]) != size:
                continue
            if w[3] > 1 and w[4] > 1:
                return w
        return None

    def screenshot(self, name):
        path = os.path.join(self.work, f"{name}.ppm")
        subprocess.run(["import", "-window", "root", "-depth", "8", path], env=self.env,
                       timeout=30, check=True)
        keep = os.environ.get("PELMORA_E2E_SHOTS")
        if keep:
            os.makedirs(keep, exist_ok=True)
            subprocess.run(["convert", path, os.path.join(keep, f"{name}.png")], check=False)
        return Image(path)

    def click(self, x, y, button):
        self.x("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def key(self, key):
        self.x("xdotool", "key", key)

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.send_signal(signal.SIGKILL)
            process.wait()
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=self.env, timeout=30,
                       check=False, capture_output=True)
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)


class Image:
    """A binary PPM screenshot, read pixel by pixel."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        self.width, self.height = int(header[1]), int(header[2])
        self.step = 2 if int(header[3]) > 255 else 1  # 16-bit samples: the high byte
        self.pixels = data[header.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3 * self.step
        return tuple(self.pixels[i:i + 3 * self.step:self.step])

    def count(self, box, colour):
        left, top, width, height = box
        return sum(1 for y in range(top, top + height) for x in range(left, left + width)
                   if self.at(x, y) == colour)


def main_window(session):
    # Created hidden at the origin, the window is placed when it is first shown.
    return wait_for("the main window", lambda: next(
        (w for w in session.windows()
         if w[2] == "pelmora.exe" and w[3:5] == (208, 51) and w[5:7] != (0, 0)), None))


def tray(session):
    return wait_for("Wine's system tray",
                    lambda: session.window(name="Wine System Tray", cls="explorer.exe"))


def tray_icon_position(session):
    # The tray lays its icons out from the left; the first one is ours.
    t = tray(session)
    return t[5] + 8, t[6] + t[4] // 2


def popup_menu(session):
    return wait_for("the popup menu",
                    lambda: next((w for w in session.windows()
                                  if w[2] == "pelmora.exe" and w[1] == "" and
                                  (w[3], w[4]) != (208, 51) and w[3] > 1), None), timeout=10)


def menu_separators(image, menu):
    """Rows of the menu drawn as one grey line across: the separators."""
    _, _, _, width, height, left, top = menu
    rows = []
    for y in range(top + 3, top + height - 3):  # inside the menu's frame
        span = [image.at(x, y) for x in range(left + 6, left + width - 6)]
        grey = [p for p in span if p[0] == p[1] == p[2] and 100 <= p[0] <= 180]
        if len(grey) > 0.9 * len(span):
            rows.append(y)
    groups = [r for i, r in enumerate(rows) if i == 0 or rows[i - 1] != r - 1]
    return len(groups)


def check_menu(session, menu, name):
    image = session.screenshot(name)
    # Five items and two separators: the menu is as tall as five text rows and two lines.
    expect(menu_separators(image, menu) == 2, f"{name}: expected two separator lines")
    expect(menu[4] > 5 * 13, f"{name}: menu only {menu[4]} pixels tall")


def scenario_window(session, exe):
    session.start(exe)
    centre = ((SCREEN[0] - 208) // 2, (SCREEN[1] - 51) // 2)
    main_window(session)
    w = wait_for(f"the main window at the centre, {centre}",
                 lambda: next((w for w in session.windows()
                               if w[2] == "pelmora.exe" and w[3:5] == (208, 51) and
                               w[5:7] == centre), None), timeout=10)
    t = tray(session)
    time.sleep(0.5)  # a few ticks: the meter is shown from the first one
    image = session.screenshot("window")
    box = (w[5], w[6], 208, 51)
    expect(image.count(box, (255, 255, 255)) > 50, "no white figure text on the window")
    expect(image.count(box, (255, 0, 0)) > 20, "no red fringe of the figures")
    meter = (w[5] + 196, w[6] + 2, 10, 48)
    expect(image.count(meter, (0, 255, 0)) + image.count(meter, (255, 0, 0)) > 0,
           "no bar in the meter")
    icon = (t[5], t[6], min(t[3], 40), t[4])
    expect(image.count(icon, (0, 128, 0)) > 20, "the memory-module icon is not in the tray")


FOCUS = re.compile(r"trace:win:NtUserSetFocus (0x[0-9a-f]+) prev")


def scenario_tray_left_click(session, exe):
    process = session.start(exe, trace="trace+win")
    main_window(session)
    x, y = tray_icon_position(session)
    before = session.log(process)
    # The window shown last took the focus at start: the main window, after the tray's own.
    focused = FOCUS.findall(before)
    expect(focused, "nothing took the focus at start")
    main = focused[-1]
    session.click(x, y, 1)
    # The click first gives the tray the focus; the program then hands it to its window.
    after = wait_for("the main window to take the focus", lambda: [
        h for h in FOCUS.findall(session.log(process)[len(before):]) if h == main], timeout=10)
    expect(after, "the main window did not take the focus")
    expect(process.poll() is None, "the program ended")


def scenario_tray_menu(session, exe):
    session.start(exe)
    main_window(session)
    x, y = tray_icon_position(session)
    session.click(x, y, 3)
    menu = popup_menu(session)
    expect((menu[5], menu[6]) == (x, y), f"menu at {menu[5]},{menu[6]}, not at the pointer")
    check_menu(session, menu, "tray_menu")
    session.key("Escape")
    wait_for("the menu to close", lambda: session.window(name="", size=menu[3:5]) is None)


def scenario_window_menu(session, exe):
    session.start(exe)
    w = main_window(session)
    session.click(w[5] + 60, w[6] + 25, 3)
    menu = popup_menu(session)
    check_menu(session, menu, "window_menu")
    after = main_window(session)
    expect(after[5:7] == w[5:7], "a right press moved the window")


def scenario_second_copy(session, exe):
    first = session.start(exe)
    w = main_window(session)
    second = session.start(exe, trace="trace+msgbox")
    box = wait_for("the message box", lambda: session.window(name="Pelmora"))
    session.screenshot("second_copy")
    text = session.log(second)
    expect("Pelmora is Already running.\\r\\nPlease check out the Window's Tray." in text,
           "the message box does not carry the two lines")
    expect(session.window(name="", size=(208, 51)) == w, "a second main window appeared")
    session.click(box[5] + box[3] // 2, box[6] + box[4] // 2, 1)  # focus it
    session.key("Return")
    wait_for("the second copy to end", lambda: second.poll() is not None, timeout=10)
    time.sleep(0.5)
    expect(first.poll() is None, "the first copy ended too")
    expect(session.window(name="", size=(208, 51)) is not None, "the first copy's window went")


def scenario_about(session, exe):
    process = session.start(exe, trace="trace+text")
    w = main_window(session)
    session.click(w[5] + 60, w[6] + 25, 3)
    popup_menu(session)
    session.key("a")
    about = wait_for("the About box", lambda: session.window(name="About Pelmora"))
    time.sleep(1.0)  # the panel slides in over nine ticks
    session.screenshot("about")
    text = session.log(process)
    expect('L"Version 1.0.26"' in text, "the About box does not draw Version 1.0.26")
    expect('L"Pelmora"' in text, "the About box does not draw the title")
    session.key("Escape")
    wait_for("the About box to close", lambda: session.window(name="About Pelmora") is None)
    expect(process.poll() is None, "closing the About box ended the program")
    del about


def scenario_exit(session, exe):
    process = session.start(exe)
    w = main_window(session)
    tray(session)
    session.click(w[5] + 60, w[6] + 25, 3)
    popup_menu(session)
    session.key("x")
    wait_for("the program to end", lambda: process.poll() is not None, timeout=10)
    expect(process.returncode == 0, f"exit code {process.returncode}")
    wait_for("the tray icon to go", lambda: session.window(name="Wine System Tray",
                                                            cls="explorer.exe") is None,
             timeout=10)


SCENARIOS = {name[len("scenario_"):]: f for name, f in globals().items()
             if name.startswith("scenario_")}


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in SCENARIOS:
        print(__doc__)
        return 2
    session = Session()
    try:
        SCENARIOS[sys.argv[1]](session, sys.argv[2])
    except Failure as failure:
        print(f"FAIL {sys.argv[1]}: {failure}")
        for process in session.processes:
            print(session.log(process)[-2000:])
        return 1
    finally:
        session.close()
    print(f"PASS {sys.argv[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
