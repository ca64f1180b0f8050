"""Test-case bases that give each test (or each class) its own desktop and program."""

import os
import re
import time
import unittest

from desktop import MAIN_H, MAIN_W, Desktop, HarnessError, distance, wait_for

# The seven rows of the popup menu, top to bottom.
MENU_ROWS = ["item", "item", "item", "separator", "item", "separator", "item"]

# The tray tip as the program composes it.
TIP = re.compile(r"^Pelmora  \( Free RAM = (-?\d+)( KB| MB| GB) \)$")

# Label rows of the main window (window coordinates): each pair of labels spans these rows.
LABEL_ROWS = [
    ("total", 2, 16),
    ("free", 18, 32),
    ("usage", 33, 49),
]
METER_X0, METER_X1 = 196, 206  # drawing area of the meter box, 10 pixels wide
METER_Y0, METER_Y1 = 2, 50  # 48 rows


def _failed(case):
    """Whether the running test (or one of its subtests) has failed so far."""
    outcome = getattr(case, "_outcome", None)
    result = getattr(outcome, "result", None)
    if result is None:
        return True
    for test, _ in list(result.failures) + list(result.errors):
        if test is case or getattr(test, "test_case", None) is case:
            return True
    return False


class _Base(unittest.TestCase):
    desktop = None
    program = None
    # Keyword arguments of the Desktop each test runs on: a screen size, a display scale.
    desktop_options = {}

    # The desktop each test runs on.
    desktop_class = Desktop

    @classmethod
    def _open(cls, name):
        desk = cls.desktop_class(name, **cls.desktop_options)
        desk.__enter__()
        try:
            baseline = set(desk.tray_descendants())
            program = desk.start_program()
            program.wait_main_window()
        except BaseException:
            desk.close()
            raise
        return desk, program, baseline

    def _settle_after_failure(self):
        try:
            self.desktop.screenshot("at-failure")
        except Exception:  # the failure itself is what matters
            pass

    # --- helpers shared by the tests --------------------------------------------------

    def figures(self):
        """The /proc/meminfo the program reads (see Desktop.figures); skips the test where
        the program sees the machine's own."""
        return self.desktop.figures()

    def main(self):
        try:
            return wait_for("the main window", self.program.main_window, timeout=2)
        except HarnessError:
            self.fail("the main window is no longer shown")

    def net_wm_state(self, wid):
        return self.desktop.prop(wid, "_NET_WM_STATE")

    def open_popup(self, at=None):
        """Right-clicks the main window (or the point at) and returns the popup menu window
        that appears."""
        if at is None:
            main = self.main()
            at = (main.x + 40, main.y + 25)
        x, y = at
        before = {w.wid for w in self.program.windows()}
        self.desktop.move_pointer(x, y)
        self.desktop.xdotool("click", 3)

        def probe():
            for w in self.program.windows():
                if w.wid not in before and w.override and w.height > 40:
                    return w
            return None

        menu = wait_for("the popup menu", probe, timeout=5)
        # Keep the pointer off the rows so that no row is highlighted.
        self.desktop.move_pointer(5, self.desktop.screen_h - 5)
        time.sleep(0.25)
        return menu

    def choose(self, key):
        """Opens the popup menu and picks an item by its access key."""
        self.press_in_menu(self.open_popup(), key, "the popup menu to close")

    def press_in_menu(self, menu, key, what):
        """Presses an item's access key; the menu shows before it holds the keyboard, so a
        key that beat the grab is pressed again while the menu is still there."""
        for _ in range(4):
            self.desktop.key(key)
            try:
                self.wait_gone(menu.wid, what, timeout=1.5)
                return
            except HarnessError:
                continue
        self.wait_gone(menu.wid, what)

    def wait_gone(self, wid, what, timeout=5):
        def gone():
            w = self.desktop.window(wid)
            return w is None or not w.viewable

        wait_for(what, gone, timeout=timeout)

    def assert_undecorated_and_off_taskbar(self, w):
        extents = self.desktop.prop(w.wid, "_NET_FRAME_EXTENTS")
        if extents:
            self.assertEqual([int(v) for v in extents.split(",")], [0, 0, 0, 0],
                             "the window manager put a frame round the window")
        frame = self.desktop.x("xwininfo", "-frame", "-id", str(w.wid))
        m = re.search(r"-geometry (\d+)x(\d+)", frame)
        self.assertIsNotNone(m, frame)
        self.assertEqual((int(m.group(1)), int(m.group(2))),
                         (MAIN_W * self.desktop.scale, MAIN_H * self.desktop.scale),
                         "the outer size differs from the client size: a frame was added")
        state = self.net_wm_state(w.wid)
        kind = self.desktop.prop(w.wid, "_NET_WM_WINDOW_TYPE")
        self.assertTrue("_NET_WM_STATE_SKIP_TASKBAR" in state or
                        re.search(r"_NET_WM_WINDOW_TYPE_(UTILITY|TOOLBAR|DOCK|SPLASH)",
                                  kind.split(",")[0] if kind else ""),
                        f"the window would get a taskbar button: state [{state}], type [{kind}]")

    @staticmethod
    def menu_rows(image):
        """Classifies the popup's content rows top to bottom as 'item' or 'separator'."""
        return [kind for kind, _ in _menu_bands(image)]

    @staticmethod
    def menu_checks(image):
        """Whether each item of the popup (separators left out) carries a check mark: ink
        left of where the text of the items starts."""
        bands = [cols for kind, cols in _menu_bands(image) if kind == "item"]
        # The last two items (About, Exit) can never be checked: their ink starts the text.
        text_start = min(min(cols) for cols in bands[-2:])
        return [min(cols) < text_start - 2 for cols in bands]


def _menu_bands(image):
    """(kind, inked columns) of each band of rows in a popup menu, top to bottom.

    Rows with a little ink are item text; a thin band with ink across most of the width is
    a separator line. The outer frame is cut off first."""
    inner = image.crop(4, 4, image.width - 8, image.height - 8)
    counts = {}
    for p in inner.pixels():
        counts[p] = counts.get(p, 0) + 1
    bg = max(counts, key=counts.get)
    rows = []
    for y in range(inner.height):
        cols = {x for x in range(inner.width) if distance(inner.pixel(x, y), bg) > 24}
        if not cols:
            rows.append((None, cols))
        elif len(cols) >= 0.6 * inner.width:
            rows.append(("line", cols))
        else:
            rows.append(("text", cols))
    # Group inked rows into bands; a gap of up to three blank rows inside an item (an
    # underlined access key, a check box) does not split it.
    bands = []  # [first row, last row, kinds, columns]
    for y, (k, cols) in enumerate(rows):
        if k is None:
            continue
        if bands and (y - bands[-1][1] == 1 or
                      (y - bands[-1][1] <= 4 and k == "text" and "line" not in bands[-1][2])):
            bands[-1][1] = y
            bands[-1][2].append(k)
            bands[-1][3] |= cols
        else:
            bands.append([y, y, [k], set(cols)])
    return [("separator" if last - first <= 2 and "line" in ks else "item", cols)
            for first, last, ks, cols in bands]


class SharedDesktopCase(_Base):
    """One desktop and one program for every test of the class (tests must only look)."""

    @classmethod
    def setUpClass(cls):
        cls.any_failed = False
        # Its tests may run side by side in separate processes: one folder each.
        cls.desktop, cls.program, cls.tray_baseline = cls._open(f"{cls.__name__}-{os.getpid()}")

    @classmethod
    def tearDownClass(cls):
        if cls.desktop is not None:
            cls.desktop.close()
            if not cls.any_failed:
                cls.desktop.discard_artifacts()

    def tearDown(self):
        if _failed(self):
            type(self).any_failed = True
            self._settle_after_failure()


class FreshDesktopCase(_Base):
    """A desktop and a program of its own for each test."""

    def setUp(self):
        self.desktop, self.program, self.tray_baseline = self._open(
            f"{type(self).__name__}.{self._testMethodName}")

    def tearDown(self):
        failed = _failed(self)
        if failed:
            self._settle_after_failure()
        self.desktop.close()
        if not failed:
            self.desktop.discard_artifacts()
