#!/usr/bin/python3
"""Pelmora.exe (32- or 64-bit) end to end, as a person would use it: under Wine in an Xvfb
of its own, driven with xdotool, checked with xwininfo, screenshots and Wine's own
traces of the texts it draws.

Usage: e2e.py SCENARIO PATH_TO_EXE IDENTITY_JSON [WINE_PREFIX_TO_COPY]
Scenarios: window, tray_left_click, tray_menu, window_menu, second_copy, about, exit,
           exit_over_about, accessible, keyboard, scales, off_screen, tray_returns,
           about_comes_back
Without a prefix to copy, each run makes a fresh one (which takes a wineboot).
The last three take what the display under Wine cannot do by itself from the program
PELMORA_SHELL_EVENTS names (shell_events.exe), and the program's pictures from
PELMORA_RESOURCE_DIR (default: the source tree's resources).
"""
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

import xscreen

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from harness import (MemInfoFile, meminfo_text, own_meminfo_problem, waiter,  # noqa: E402
                     with_meminfo)

WINE = "/usr/lib/wine/wine64"
# Wine's 32-bit loader runs 32-bit programs in the same 64-bit prefix, as 64-bit Windows does.
WINE32 = "/usr/lib/wine/wine"
SCREEN = (1024, 768)
# The green of the memory module on the program's icon.
ICON_GREEN = (0, 128, 0)
WHITE, BLACK, GREEN, RED = (255, 255, 255), (0, 0, 0), (0, 255, 0), (255, 0, 0)
SHELL_EVENTS = os.environ.get("PELMORA_SHELL_EVENTS", "")
READ_ACCESSIBLE = os.environ.get("PELMORA_READ_ACCESSIBLE", "")
RESOURCE_DIR = os.environ.get("PELMORA_RESOURCE_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")


class Failure(Exception):
    pass


def loader(exe):
    """Wine's loader for a program, by the machine its PE header names."""
    with open(exe, "rb") as f:
        head = f.read(1024)
    pe, = struct.unpack_from("<I", head, 0x3C)
    machine, = struct.unpack_from("<H", head, pe + 4)
    return WINE32 if machine == 0x14C else WINE


def expect(condition, message):
    if not condition:
        raise Failure(message)


wait_for = waiter(Failure, timeout=20.0, interval=0.2)


def copy_prefix(template, prefix):
    """Copies a Wine prefix: the system folder's DLLs, which Wine only reads, as hard links;
    everything else as files of its own."""
    windows = os.path.join(template, "drive_c", "windows")
    shutil.copytree(template, prefix, symlinks=True,
                    ignore=lambda folder, names: ["system32"] if folder == windows else [])
    system = os.path.join("drive_c", "windows", "system32")
    shutil.copytree(os.path.join(template, system), os.path.join(prefix, system), symlinks=True,
                    copy_function=os.link)


def wine_meminfo(total_kb, free_kb):
    """A /proc/meminfo of the test's own in which free and available memory are the one
    figure (no buffers, cache or swap), whichever of them Wine reads."""
    return meminfo_text(total_kb, free_kb, MemFree=free_kb, Buffers=0, Cached=0)


# Memory figures of the test's own, the same on every machine.
MEMINFO = wine_meminfo(4194304, 1048576)


def own_meminfo(session, text):
    """From now on, programs start with text as their /proc/meminfo; the file, to change."""
    meminfo = MemInfoFile(os.path.join(session.work, "meminfo"), text)
    session.meminfo = meminfo.path
    return meminfo


class Session:
    """An Xvfb, a Wine prefix and the programs started in them; all taken away at the end."""

    def __init__(self, identity, template=None, screen=SCREEN):
        self.identity = identity
        self.screen = screen
        self.work = tempfile.mkdtemp(prefix="pelmora-e2e.")
        self.processes = []
        # When set (own_meminfo), the file programs start with as their /proc/meminfo.
        self.meminfo = None
        prefix = os.path.join(self.work, "prefix")
        if template:
            # A copy of a prefix made once costs a fraction of a second; a wineboot, seconds.
            copy_prefix(template, prefix)
        self.xvfb, self.display = self.start_display(screen)
        self.env = dict(os.environ, DISPLAY=self.display, WINEPREFIX=prefix,
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
        if not template:
            subprocess.run([WINE, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=120, check=False)

    def start_display(self, screen):
        """An Xvfb that takes clients: one that reports its display and then takes none is
        replaced. It keeps its state when its last client leaves instead of starting over
        (and compiling its keymap again) while the next one connects."""
        for attempt in range(3):
            self.xvfb_log = os.path.join(self.work, f"xvfb{attempt}.log")
            read_fd, write_fd = os.pipe()
            with open(self.xvfb_log, "w") as log:
                xvfb = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                     f"{screen[0]}x{screen[1]}x24", "-nolisten", "tcp", "-noreset"],
                    pass_fds=[write_fd], stdout=log, stderr=subprocess.STDOUT)
            os.close(write_fd)
            with os.fdopen(read_fd) as pipe:
                display = f":{pipe.readline().strip()}"
            try:
                wait_for(f"the display {display} to take clients", lambda: subprocess.run(
                    ["xdpyinfo", "-display", display], capture_output=True,
                    timeout=30).returncode == 0, timeout=10)
                return xvfb, display
            except Failure as failure:
                print(f"{failure}; Xvfb said: {self.xvfb_said()}")
                xvfb.kill()
                xvfb.wait()
        raise Failure("no Xvfb took clients")

    def xvfb_said(self):
        with open(self.xvfb_log, errors="replace") as f:
            return f.read()[-1000:].strip()

    def start(self, exe, trace=""):
        log = open(os.path.join(self.work, f"run{len(self.processes)}.log"), "w")
        # Wine's own errors stay on, so that a failed start says why (no display, no desktop).
        env = dict(self.env, WINEDEBUG=trace or "-all,err+all")
        argv = [loader(exe), exe]
        if self.meminfo:
            argv = with_meminfo(self.meminfo, argv)
        process = subprocess.Popen(argv, env=env, stdout=log, stderr=subprocess.STDOUT)
        process.log_path = log.name
        self.processes.append(process)
        return process

    def end(self, process):
        process.kill()
        process.wait()
        wait_for("the program's windows to go", lambda: self.window() is None, timeout=10)

    def shell_events(self, *args):
        """What the system or the shell does to the running program (shell_events.exe)."""
        expect(SHELL_EVENTS, "PELMORA_SHELL_EVENTS names no shell_events.exe")
        done = subprocess.run([loader(SHELL_EVENTS), SHELL_EVENTS, *args], env=self.env,
                              capture_output=True, text=True, timeout=60)
        expect(done.returncode == 0, f"shell_events {' '.join(args)}: {done.stdout.strip()}")

    def set_dpi(self, dpi):
        """The display scale a user sets (winecfg writes the same value); read by each
        program as it starts."""
        subprocess.run([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                        "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=self.env,
                       capture_output=True, timeout=60, check=True)

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


def main_window(session, size=(208, 51)):
    # Created hidden at the origin, the window is placed when it is first shown.
    return wait_for(f"the main window, {size[0]} x {size[1]}", lambda: next(
        (w for w in session.windows()
         if w[2] == "pelmora.exe" and w[3:5] == size and w[5:7] != (0, 0)), None))


def tray(session):
    return wait_for("Wine's system tray",
                    lambda: session.window(name="Wine System Tray", cls="explorer.exe"))


def tray_icon(session):
    """The middle of the memory-module icon in the tray, found by its green, as a person
    finds it (where the tray puts it depends on whether Wine draws the tray's frame); none
    when it is not there."""
    t = tray(session)
    image = session.screenshot("tray")
    green = [(x, y) for y in range(t[6], t[6] + t[4]) for x in range(t[5], t[5] + t[3])
             if image.at(x, y) == ICON_GREEN]
    if not green:
        return None
    xs, ys = [p[0] for p in green], [p[1] for p in green]
    return (min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2


def tray_icon_position(session):
    position = tray_icon(session)
    expect(position, "the memory-module icon is not in the tray")
    return position


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
    expect(image.count(icon, ICON_GREEN) > 20, "the memory-module icon is not in the tray")


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
    box = wait_for("the message box", lambda: session.window(name=session.identity["title"]))
    session.screenshot("second_copy")
    text = session.log(second)
    lines = f"{session.identity['exe_name']} is Already running.\\r\\n" \
            "Please check out the Window's Tray."
    expect(lines in text, "the message box does not carry the two lines")
    expect(session.window(name="", size=(208, 51)) == w, "a second main window appeared")
    # On a busy machine the click may not have given the box the focus by the time the key
    # arrives: the box is focused and answered again while it is still there.
    for _ in range(3):
        shown = session.window(name=session.identity["title"])
        if shown is None:
            break
        session.click(shown[5] + shown[3] // 2, shown[6] + shown[4] // 2, 1)  # focus it
        time.sleep(0.3)
        session.key("Return")
        try:
            wait_for("the second copy to end", lambda: second.poll() is not None, timeout=5)
            break
        except Failure:
            continue
    wait_for("the second copy to end", lambda: second.poll() is not None, timeout=5)
    time.sleep(0.5)
    expect(first.poll() is None, "the first copy ended too")
    expect(session.window(name="", size=(208, 51)) is not None, "the first copy's window went")


def scenario_about(session, exe):
    process = session.start(exe, trace="trace+text")
    w = main_window(session)
    session.click(w[5] + 60, w[6] + 25, 3)
    popup_menu(session)
    session.key("a")
    title = session.identity["title"]
    about = wait_for("the About box", lambda: session.window(name=f"About {title}"))
    time.sleep(1.0)  # the panel slides in over nine ticks
    session.screenshot("about")
    text = session.log(process)
    major, minor, _, revision = session.identity["version"]
    version = f"Version {major}.{minor}.{revision}"
    expect(f'L"{version}"' in text, f"the About box does not draw {version}")
    expect(f'L"{title}"' in text, "the About box does not draw the title")
    session.key("Escape")
    wait_for("the About box to close", lambda: session.window(name=f"About {title}") is None)
    expect(process.poll() is None, "closing the About box ended the program")
    del about


def viewable(session, wid):
    return "IsViewable" in session.x("xwininfo", "-id", wid)


def scenario_keyboard(session, exe):
    """The menu and the About box from the keyboard alone, the focus back on the window after
    each: Shift+F10 opens the menu, its access key opens About, Enter closes it."""
    process = session.start(exe)
    w = main_window(session)
    session.click(w[5] + 60, w[6] + 25, 1)
    title = session.identity["title"]
    def shown_menu():
        return next((m for m in session.windows() if m[2] == "pelmora.exe" and m[1] == "" and
                     (m[3], m[4]) != (208, 51) and m[3] > 1 and viewable(session, m[0])), None)

    for round_ in ("first", "after About"):
        session.key("shift+F10")
        wait_for(f"the menu from Shift+F10, {round_}", shown_menu, timeout=10)
        if round_ == "first":
            session.key("a")
            wait_for("the About box", lambda: session.window(name=f"About {title}"))
            time.sleep(1.0)  # the panel slides in over nine ticks
            session.key("Return")
            wait_for("the About box to close on Enter",
                     lambda: session.window(name=f"About {title}") is None)
        else:
            session.key("Escape")
            wait_for("the menu to close on Escape", lambda: shown_menu() is None)
    expect(process.poll() is None, "the keyboard ended the program")


def read_accessible(session):
    """What a screen reader in another process reads of the program's windows."""
    expect(READ_ACCESSIBLE, "PELMORA_READ_ACCESSIBLE names no read_accessible.exe")
    done = subprocess.run([loader(READ_ACCESSIBLE), READ_ACCESSIBLE], env=session.env,
                          capture_output=True, text=True, timeout=60)
    return done.stdout.splitlines() if done.returncode == 0 else []


def machine_total_kb():
    """The machine's memory: Wine takes the total from the kernel, not from /proc/meminfo."""
    with open("/proc/meminfo") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("MemTotal:"))


def scenario_accessible(session, exe):
    """What a screen reader reads through MSAA from another process: the main window named
    after the program, its three figures as the texts it draws, the meter with its level and
    its low state (low at a fifth free, not at three tenths; Wine reckons the total itself, so
    the share is near these, not exact), and the About box's texts, picture and default
    button."""
    problem = own_meminfo_problem()
    expect(problem is None, f"no /proc/meminfo of the test's own can be bound here: {problem}")
    total_kb = machine_total_kb()
    meminfo = own_meminfo(session, wine_meminfo(total_kb, total_kb // 5))
    process = session.start(exe, trace="trace+text")
    w = main_window(session)
    title = session.identity["title"]

    def meter(low):
        """The meter's line once it reads low (or not), and its level read out."""
        tree = read_accessible(session)
        line = next((x for x in tree if x.startswith('  progress bar "Free memory" value "')), "")
        if line.endswith(' description "Low"') != low:
            return None
        return tree, float(line.split('value "')[1].split(" %")[0])

    tree, level = wait_for("the meter read out low", lambda: meter(True))
    expect(abs(level - 20) < 1, f"the meter reads {level} % free at a fifth free")
    expect(tree[0] == f'window "{title}"', f"the main window reads {tree[0]!r}")
    texts = [line.split('"')[1] for line in tree if line.startswith('  static text "')]
    expect(sorted(t.split(" = ")[0] for t in texts) == ["Free RAM", "Total RAM", "Usage"],
           f"the figures read {texts}")
    drawn = session.log(process)
    for text in texts:
        expect(f'L"{text}"' in drawn, f"{text} is read out but not drawn")
    # Rewritten in place: the bind mount shows the new figures.
    meminfo.write(wine_meminfo(total_kb, total_kb * 3 // 10))
    _, level = wait_for("the meter read out, not low", lambda: meter(False))
    expect(abs(level - 30) < 1, f"the meter reads {level} % free at three tenths free")
    session.click(w[5] + 60, w[6] + 25, 3)
    popup_menu(session)
    session.key("a")
    about = f'dialog "About {title}"'
    tree = wait_for("the About box read out", lambda: (lambda t: t if about in t else None)(
        read_accessible(session)))
    major, minor, _, revision = session.identity["version"]
    for wanted in (f'static text "{title}"', f'static text "Version {major}.{minor}.{revision}"',
                   f'graphic "{title}"', 'push button "OK" default'):
        expect(any(line.strip() == wanted for line in tree),
               f"the About box reads no {wanted}: {tree}")
    session.key("Escape")
    wait_for("the About box to close", lambda: session.window(name=f"About {title}") is None)


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


def scenario_exit_over_about(session, exe):
    """Exit chosen from the tray while the About box is open: the box goes with the main
    window and the program ends."""
    process = session.start(exe)
    w = main_window(session)
    x, y = tray_icon_position(session)
    session.click(w[5] + 60, w[6] + 25, 3)
    popup_menu(session)
    session.key("a")
    wait_for("the About box", lambda: session.window(name=f"About {session.identity['title']}"))
    session.click(x, y, 3)
    popup_menu(session)
    session.key("x")
    wait_for("the program to end", lambda: process.poll() is not None, timeout=10)
    expect(process.returncode == 0, f"exit code {process.returncode}")


# ---- display scale, screens that go, tray hosts that come back


class Bitmap:
    """A picture of the program's resources (an uncompressed BMP of 4, 8 or 24 bits)."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        offset, = struct.unpack_from("<I", data, 10)
        header, self.width, height, _, bits, _, _, _, _, used = struct.unpack_from(
            "<IiiHHIIiiI", data, 14)
        colours = used or (1 << bits if bits <= 8 else 0)
        palette = [tuple(data[14 + header + 4 * i + j] for j in (2, 1, 0))
                   for i in range(colours)]
        self.height = abs(height)
        stride = (self.width * bits + 31) // 32 * 4
        self.rows = []
        for row in range(self.height):
            start = offset + stride * (self.height - 1 - row if height > 0 else row)
            line = data[start:start + stride]
            if bits == 24:
                pixels = [(line[3 * x + 2], line[3 * x + 1], line[3 * x])
                          for x in range(self.width)]
            elif bits == 8:
                pixels = [palette[line[x]] for x in range(self.width)]
            else:
                pixels = [palette[(line[x // 2] >> (0 if x % 2 else 4)) & 15]
                          for x in range(self.width)]
            self.rows.append(pixels)

    def at(self, x, y):
        return self.rows[y][x]

    def colours(self):
        return {p for row in self.rows for p in row}


def device(pixels, dpi):
    """Pixels at 96 DPI in pixels at a DPI, rounded as the program rounds (MulDiv)."""
    return (pixels * dpi * 2 + 96) // 192


def origins(pixel, dpi, size):
    """The pixels at 96 DPI a picture of that size drawn larger by nearest neighbour may put
    at a pixel."""
    return {min(pixel * 96 // dpi, size - 1), min((2 * pixel + 1) * 96 // (2 * dpi), size - 1)}


def check_scaled(image, w, dpi, skin, scale, what):
    """The main window as drawn at a DPI: the skin, the edge lines and the meter's frame
    scaled with it, every picture by nearest neighbour (no colour the picture lacks)."""
    left, top, width, height = w[5], w[6], w[3], w[4]

    def at(x, y):
        return image.at(left + x, top + y)

    # The skin right of the figures and left of the meter.
    wrong = sum(1 for y in range(device(1, dpi), device(51, dpi))
                for x in range(device(130, dpi), device(195, dpi))
                if at(x, y) not in {skin.at(sx, sy) for sx in origins(x, dpi, skin.width)
                                    for sy in origins(y, dpi, skin.height)})
    expect(wrong == 0, f"{what}: {wrong} pixels of the skin are not the skin's")
    # The edge lines on top, left and right: a pixel at 96 DPI, as wide as that is.
    line = device(1, dpi)
    edges = ([(x, y) for y in range(line) for x in range(width)] +
             [(x, y) for y in range(height) for x in range(line)] +
             [(x, y) for y in range(height) for x in range(device(207, dpi), width)])
    wrong = sum(1 for x, y in edges if at(x, y) != WHITE)
    expect(wrong == 0, f"{what}: {wrong} pixels of the edge lines are not white")
    # The meter: its frame in the window text colour, around a drawing of the scale picture
    # and the bar.
    meter = (device(195, dpi), device(1, dpi), device(207, dpi), device(51, dpi))
    ring = ([(x, y) for x in range(meter[0], meter[2]) for y in (meter[1], meter[3] - 1)] +
            [(x, y) for y in range(meter[1], meter[3]) for x in (meter[0], meter[2] - 1)])
    wrong = sum(1 for x, y in ring if at(x, y) != BLACK)
    expect(wrong == 0, f"{what}: {wrong} pixels of the meter's frame are not black")
    drawn = scale.colours() | {GREEN, RED}
    area = [(x, y) for y in range(meter[1] + line, meter[3] - line)
            for x in range(meter[0] + line, meter[2] - line)]
    wrong = sum(1 for x, y in area if at(x, y) not in drawn)
    expect(wrong == 0, f"{what}: {wrong} pixels in the meter are neither picture nor bar")
    if dpi % 96 == 0:
        f = dpi // 96
        # At whole factors the frame is that many pixels wide and every pixel of the picture
        # and the bar a square block.
        inner = (meter[0] + f, meter[1] + f, meter[2] - f, meter[3] - f)
        wrong = sum(1 for y in range(meter[1], meter[3]) for x in range(meter[0], meter[2])
                    if not (inner[0] <= x < inner[2] and inner[1] <= y < inner[3]) and
                    at(x, y) != BLACK)
        expect(wrong == 0, f"{what}: the meter's frame is not {f} pixels wide")
        blocks = sum(1 for y in range(inner[1], inner[3], f) for x in range(inner[0], inner[2], f)
                     if len({at(x + i, y + j) for i in range(f) for j in range(f)}) != 1)
        expect(blocks == 0, f"{what}: {blocks} pixels of the meter are not {f} x {f} blocks")


def figure_text(image, w, dpi):
    """The figures' white text on the top line (Total RAM): the rows it spans, and how many
    2 x 2 blocks on the window's grid it only partly fills."""
    left, top = w[5], w[6]
    white = {(x, y) for y in range(device(1, dpi), device(17, dpi))
             for x in range(device(1, dpi), device(130, dpi))
             if image.at(left + x, top + y) == WHITE}
    rows = len({y for _, y in white})
    partial = sum(1 for x in range(0, device(130, dpi), 2) for y in range(0, device(17, dpi), 2)
                  if 0 < len(white & {(x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1)}) < 4)
    return rows, partial


def check_text_scaled(image, w, dpi, rows96, what):
    """The figures drawn in a font for the DPI: taller by the factor, and not the 96-DPI
    text blown up (that would fill whole blocks only)."""
    rows, partial = figure_text(image, w, dpi)
    # About the factor taller: hinting takes a row or two.
    expect(0.8 <= rows / rows96 / (dpi / 96) <= 1.2,
           f"{what}: the figures span {rows} rows; at 96 DPI {rows96}")
    if dpi == 192:
        expect(partial > 10, f"{what}: the figures are the 96-DPI text doubled")


def scenario_scales(session, exe):
    """The program started at 192, 144 and 96 DPI, and then told its screen changed to 192
    DPI and back: sized and drawn for each."""
    skin = Bitmap(os.path.join(RESOURCE_DIR, "skin.bmp"))
    scale = Bitmap(os.path.join(RESOURCE_DIR, "scale.bmp"))
    started = {}
    for dpi in (192, 144, 96):  # the last one stays
        session.set_dpi(dpi)
        process = session.start(exe)
        w = main_window(session, (device(208, dpi), device(51, dpi)))
        time.sleep(0.3)  # a few ticks: the meter shows its bar
        started[dpi] = (process, w, session.screenshot(f"started_{dpi}"))
        check_scaled(started[dpi][2], w, dpi, skin, scale, f"started at {dpi} DPI")
        if dpi != 96:
            session.end(process)
    rows96, _ = figure_text(started[96][2], started[96][1], 96)
    expect(rows96 >= 6, f"the figures span only {rows96} rows at 96 DPI")
    for dpi in (144, 192):
        check_text_scaled(started[dpi][2], started[dpi][1], dpi, rows96, f"started at {dpi} DPI")
    # The 96-DPI window moves to a screen of 192 DPI and back, each time where the system
    # suggests.
    for dpi, suggested in ((192, (100, 100)), (96, (300, 300))):
        size = (device(208, dpi), device(51, dpi))
        session.shell_events("dpi-changed", str(dpi), str(suggested[0]), str(suggested[1]),
                             str(suggested[0] + size[0]), str(suggested[1] + size[1]))
        w = wait_for(f"the window, {size[0]} x {size[1]} at {suggested}", lambda: next(
            (w for w in session.windows()
             if w[2] == "pelmora.exe" and w[3:5] == size and w[5:7] == suggested), None))
        time.sleep(0.3)
        image = session.screenshot(f"changed_{dpi}")
        check_scaled(image, w, dpi, skin, scale, f"changed to {dpi} DPI")
        check_text_scaled(image, w, dpi, rows96, f"changed to {dpi} DPI")


def drag(session, start, end, steps=10):
    """Presses the left button at start, moves to end in steps and lets go, as a hand does."""
    session.x("xdotool", "mousemove", str(start[0]), str(start[1]), "mousedown", "1")
    for i in range(1, steps + 1):
        session.x("xdotool", "mousemove", str(start[0] + (end[0] - start[0]) * i // steps),
                  str(start[1] + (end[1] - start[1]) * i // steps))
        time.sleep(0.03)
    session.x("xdotool", "mouseup", "1")


def screen_width(session):
    return int(re.search(r"Width:\s+(\d+)", session.x("xwininfo", "-root"))[1])


def scenario_off_screen(session, exe):
    """The window dragged to the far side of a wide desktop, then the desktop shrinks to
    the first half: the window comes back to the edge of what is left."""
    screen = xscreen.Screen(session.display)
    try:
        screen.offer_mode(SCREEN[0], SCREEN[1])
        session.start(exe)
        w = main_window(session)
        drag(session, (w[5] + 150, w[6] + 30), (session.screen[0] - 60, w[6] + 60))
        away = wait_for("the window beyond the first half", lambda: next(
            (v for v in session.windows() if v[2] == "pelmora.exe" and v[3:5] == (208, 51) and
             v[5] >= SCREEN[0]), None), timeout=10)
        session.shell_events("resolution", str(SCREEN[0]), str(SCREEN[1]))
        expect(screen_width(session) == SCREEN[0], "the desktop did not shrink")
        back = (SCREEN[0] - 208, away[6])
        wait_for(f"the window back at {back}", lambda: next(
            (v for v in session.windows() if v[2] == "pelmora.exe" and v[3:5] == (208, 51) and
             v[5:7] == back), None), timeout=10)
    finally:
        screen.close()


def scenario_about_comes_back(session, exe):
    """The About box minimised from outside; a click on the main window it blocks brings it
    back in front."""
    process = session.start(exe)
    w = main_window(session)
    session.click(w[5] + 60, w[6] + 25, 3)
    popup_menu(session)
    session.key("a")
    title = f"About {session.identity['title']}"
    wait_for("the About box", lambda: session.window(name=title))

    def state():
        done = subprocess.run([WINE, SHELL_EVENTS, "state", title], env=session.env,
                              capture_output=True, text=True, timeout=60)
        return done.stdout.strip()

    session.shell_events("minimize", title)
    wait_for("the About box minimised", lambda: state() == "minimized", timeout=10)
    session.click(w[5] + 100, w[6] + 25, 1)
    wait_for("the About box back after a click on the main window",
             lambda: state() == "shown", timeout=10)
    expect(process.poll() is None, "the click ended the program")
    session.key("Escape")
    wait_for("the About box to close", lambda: state() != "shown", timeout=10)
    expect(process.poll() is None, "closing the About box ended the program")


# What Wine's tray host traces: the tip an icon's tooltip is made with when the icon comes,
# and the tip a tooltip shows.
ADDED_TIP = re.compile(r'TOOLTIPS_AddToolT add text L"([^"]*)"')
TOOLTIP = re.compile(r'Show tooltip \d+, L"([^"]*)"')
DRAWN_FREE = re.compile(r'L"Free RAM = ([^"]*)"')


def hover(session, at):
    """Rests the pointer on a point, coming to it anew, as a hand does for a tip to show;
    then gives the tip its time."""
    session.x("xdotool", "mousemove", str(at[0] - 8), str(at[1]))
    session.x("xdotool", "mousemove", str(at[0]), str(at[1]))
    session.x("xdotool", "mousemove", str(at[0] + 1), str(at[1]))
    time.sleep(1.0)


def scenario_tray_returns(session, exe):
    """The tray host loses the program's icon and announces itself, as a restarted one does
    (Wine's own cannot restart within a session), three times over: each time the icon comes
    back with the tip of the moment, the free memory the window shows, not with the first
    one (the program first adds its icon without a tip), and shows that tip."""
    # Where it can, the program reads memory figures of the test's own, which hold still: then
    # every tip must carry the one figure the window shows.
    if own_meminfo_problem() is None:
        own_meminfo(session, MEMINFO)
    # The program starts the session's tray host (Wine's desktop), which reports the tips it
    # is given and shows in the same log as the program reports the texts it draws.
    program = session.start(exe, trace="trace+text,trace+tooltips")
    main_window(session)
    tray(session)
    for round in range(1, 4):
        added = len(ADDED_TIP.findall(session.log(program)))
        session.shell_events("forget-icon")
        wait_for(f"the icon to go ({round})", lambda: tray_icon(session) is None, timeout=10)
        session.shell_events("taskbar-created")
        x, y = wait_for(f"the icon back ({round})", lambda: tray_icon(session), timeout=10)
        given = wait_for(f"the icon's tip as it came back ({round})",
                         lambda: list(ADDED_TIP.finditer(session.log(program)))[added:])[-1]
        shown = len(TOOLTIP.findall(session.log(program)))
        tip = wait_for(f"the icon's tip shown ({round})", lambda: hover(session, (x, y)) or
                       list(TOOLTIP.finditer(session.log(program)))[shown:], timeout=15)[-1]
        log = session.log(program)
        expect(DRAWN_FREE.search(log), "the window drew no free memory")
        drawn = {m.group(1) for m in DRAWN_FREE.finditer(log)}
        expect(not session.meminfo or len(drawn) == 1,
               f"round {round}: figures that hold still drawn as {sorted(drawn)}")

        # The free memory may move on while the test looks: a tip is the current one when
        # it is the figure last drawn before it, or one drawn since (the window paints a
        # moment after each refresh hands the tip over).
        def current(found):
            before = [m.group(1) for m in DRAWN_FREE.finditer(log, 0, found.start())][-1:]
            after = [m.group(1) for m in DRAWN_FREE.finditer(log, found.start())]
            return [f"{session.identity['title']}  ( Free RAM = {d} )" for d in before + after]

        expect(given.group(1) in current(given), f"round {round}: the icon came back with the "
               f"tip {given.group(1)!r}, not one of {current(given)!r}")
        expect(tip.group(1) in current(tip), f"round {round}: the tip shown is "
               f"{tip.group(1)!r}, not one of {current(tip)!r}")
        session.x("xdotool", "mousemove", "600", "600")  # away, the tip closes
    expect(program.poll() is None, "the program ended")


# Scenarios on a desktop twice as wide, which can shrink to the usual one.
WIDE = {"off_screen"}
WIDE_SCREEN = (2 * SCREEN[0], SCREEN[1])

SCENARIOS = {name[len("scenario_"):]: f for name, f in globals().items()
             if name.startswith("scenario_")}


def main():
    if len(sys.argv) not in (4, 5) or sys.argv[1] not in SCENARIOS:
        print(__doc__)
        return 2
    with open(sys.argv[3], encoding="utf-8") as f:
        identity = json.load(f)
    template = sys.argv[4] if len(sys.argv) == 5 else None
    if template and not os.path.isfile(os.path.join(template, "system.reg")):
        print(f"FAIL {sys.argv[1]}: no Wine prefix at {template}")
        return 1
    screen = WIDE_SCREEN if sys.argv[1] in WIDE else SCREEN
    session = Session(identity, template, screen)
    try:
        SCENARIOS[sys.argv[1]](session, sys.argv[2])
    except Failure as failure:
        print(f"FAIL {sys.argv[1]}: {failure}")
        for process in session.processes:
            print(session.log(process)[-2000:])
        state = "running" if session.xvfb.poll() is None else f"ended ({session.xvfb.returncode})"
        print(f"Xvfb on {session.display}, {state}: {session.xvfb_said()}")
        return 1
    finally:
        session.close()
    print(f"PASS {sys.argv[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
