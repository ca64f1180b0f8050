"""Driving the running program with mouse and keyboard: popup, switches, drag, About, Exit."""

import time
import unittest

from desktop import (MAIN_H, MAIN_W, HarnessError, distance, is_pure_green, is_pure_red,
                     wait_for)
from e2e_case import LABEL_ROWS, MENU_ROWS, METER_X0, METER_X1, TIP, FreshDesktopCase
from memfigures import scale
from screen_text import Digits, Row

ABOUT_CLIENT = (278, 170)
NUMBER_WORD = 3  # 'Total', 'RAM', '=', number, unit


class PopupMenu(FreshDesktopCase):

    def test_right_click_opens_seven_rows_and_escape_closes_them(self):
        main = self.main()
        (icon_id,) = self.desktop.tray_icons_of(self.program.pid)
        icon = self.desktop.window(icon_id)
        # A right click on a label, the meter, the bare board or the tray icon opens the menu.
        places = [
            ("label", (main.x + 100, main.y + 24)),
            ("meter", (main.x + 200, main.y + 30)),
            ("board", (main.x + 3, main.y + 48)),
            ("tray icon", (icon.x + icon.width // 2, icon.y + icon.height // 2)),
        ]
        for place, point in places:
            with self.subTest(clicked_on=place):
                menu = self.open_popup(at=point)
                self.assertTrue(menu.override, "the popup is not an override-redirect window")
                img = self.desktop.grab(menu, f"popup-from-{place.replace(' ', '-')}")
                self.assertEqual(self.menu_rows(img), MENU_ROWS)
                self.assertEqual(self.menu_checks(img), [False, False, True, False, False],
                                 "only 'Show Usage Meter' starts checked")
                self.assertTrue(7 * 10 <= menu.height <= 5 * 40 + 2 * 20,
                                f"{menu.height} pixels do not fit five items and two separators")
                self.desktop.key("Escape")
                self.wait_gone(menu.wid, "the popup to close on Escape")
                after = self.main()
                self.assertEqual((after.x, after.y, after.width, after.height),
                                 (main.x, main.y, main.width, main.height),
                                 "a right click moved the window")
        self.assertTrue(self.program.running())

    def test_keep_on_top_toggles_the_above_state_in_place(self):
        before = self.main()
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.net_wm_state(before.wid))
        for round_, want_above in ((1, True), (2, False), (3, True)):
            with self.subTest(round=round_):
                self.choose("k")
                wait_for(f"the above state to become {want_above}",
                         lambda: (("_NET_WM_STATE_ABOVE" in self.net_wm_state(self.main().wid))
                                  == want_above), timeout=5)
                time.sleep(0.2)
                now = self.main()
                self.assertEqual((now.x, now.y, now.width, now.height),
                                 (before.x, before.y, before.width, before.height),
                                 "keep on top moved or resized the window")
                self.assert_undecorated_and_off_taskbar(now)
                menu = self.open_popup()
                checks = self.menu_checks(self.desktop.grab(menu, f"checks-{round_}"))
                self.desktop.key("Escape")
                self.wait_gone(menu.wid, "the popup to close")
                self.assertEqual(checks, [want_above, False, True, False, False])

    def test_figures_read_from_the_screen_agree_with_meminfo_in_both_modes(self):
        figures = self.figures()
        total, avail = figures.total, figures.avail
        scaled = self.desktop.grab(self.main(), "scaled")
        self.choose("p")
        time.sleep(0.3)
        precise = self.desktop.grab(self.main(), "precise")
        (_, *total_rows), (_, *free_rows) = LABEL_ROWS[0], LABEL_ROWS[1]

        # The total in bytes is exact and constant: learn the digits from it. Both total
        # captions start with the same words, so their numbers start at the same pen position.
        digits = Digits(Row(precise, *total_rows), NUMBER_WORD, str(total))
        total_number, _ = scale(total)
        read_total = digits.read(Row(scaled, *total_rows), digits.origin, len(str(total_number)))
        self.assertTrue(digits.agrees(read_total, str(total_number)),
                        f"read {read_total!r} as the total, expected {total_number}")
        self.assertEqual(Row(scaled, *total_rows).words()[NUMBER_WORD][0],
                         Row(precise, *total_rows).words()[NUMBER_WORD][0])
        self.assertEqual(len(Row(scaled, *total_rows).words()), NUMBER_WORD + 2,
                         "the total caption is not 'Total RAM = number unit'")

        read_free = digits.read_word(Row(scaled, *free_rows), NUMBER_WORD)
        free_number, _ = scale(avail)
        self.assertTrue(digits.agrees(read_free, str(free_number)),
                        f"read {read_free!r} as the free figure, expected {free_number}")
        read_free_bytes = digits.read_word(Row(precise, *free_rows), NUMBER_WORD)
        self.assertTrue(digits.agrees(read_free_bytes, str(avail)),
                        f"read {read_free_bytes!r} for {avail} free bytes")

        # The tip stays scaled in precise mode.
        time.sleep(0.2)
        m = TIP.match(self.program.last_tip() or "")
        self.assertIsNotNone(m, f"the tip in precise mode is {self.program.last_tip()!r}")
        shown = (int(m.group(1)), m.group(2))
        self.assertEqual(shown, scale(avail))

        self.choose("p")
        time.sleep(0.3)
        back = self.desktop.grab(self.main(), "scaled-again")
        self.assertEqual(digits.read(Row(back, *total_rows), digits.origin, len(read_total)),
                         read_total)

    def test_show_usage_meter_hides_and_shows_the_bar(self):
        def bar(label):
            img = self.desktop.grab(self.main(), label)
            meter = img.crop(METER_X0, 2, METER_X1 - METER_X0, 48)
            return meter.count(is_pure_green) + meter.count(is_pure_red)

        self.assertGreater(bar("meter-shown"), 40)
        self.choose("s")
        wait_for("the meter to be hidden", lambda: bar("meter-hidden") == 0, timeout=3)
        self.choose("s")
        wait_for("the meter to be shown again", lambda: bar("meter-back") > 40, timeout=3)


class Dragging(FreshDesktopCase):

    def drag(self, press, by):
        """Drags the main window from a point of it (window coordinates) by a distance."""
        (px, py), (dx, dy) = press, by
        start = self.main()
        self.desktop.move_pointer(start.x + px, start.y + py)
        self.desktop.xdotool("mousedown", 1)
        try:
            steps = 8
            for i in range(1, steps + 1):
                time.sleep(0.05)
                self.desktop.move_pointer(start.x + px + dx * i // steps,
                                          start.y + py + dy * i // steps)
            time.sleep(0.15)
        finally:
            self.desktop.xdotool("mouseup", 1)
        want = (start.x + dx, start.y + dy)
        moved = wait_for("the window to follow the drag", lambda: (
            lambda w: w if w and abs(w.x - want[0]) <= 2 and abs(w.y - want[1]) <= 2
            else None)(self.program.main_window()), timeout=3)
        self.assertEqual((moved.width, moved.height), (MAIN_W, MAIN_H))

    def test_left_drag_anywhere_moves_the_window_by_the_drag_distance(self):
        cases = [  # where to press (window coordinates), how far to drag
            ("label", (60, 22), (150, 100)),
            ("meter", (200, 30), (-230, -180)),
            ("board edge", (2, 49), (40, 200)),
        ]
        for name, press, by in cases:
            with self.subTest(pressed_on=name):
                self.drag(press, by)
        self.assertTrue(self.program.running())

    def test_drag_still_moves_the_window_once_the_window_manager_is_killed(self):
        # Killed outright, the manager leaves its properties on the root window behind.
        self.desktop.wm.kill()
        self.desktop.wm.wait(timeout=5)
        self.assertIn("window id", self.desktop.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
        self.drag((60, 22), (150, 100))
        self.drag((200, 30), (-230, -180))
        self.assertTrue(self.program.running())


class AboutBox(FreshDesktopCase):

    def test_about_slides_in_its_panel_with_the_version_and_escape_closes_it(self):
        main = self.main()
        self.choose("a")

        def about():
            found = self.program.windows(name="^About Pelmora$")
            return found[0] if found else None

        box = wait_for("the window 'About Pelmora'", about, timeout=5)
        wid = box.wid

        # On a busy machine the window manager may place the box a moment later.
        def placed():
            now = self.desktop.window(wid)
            return now if abs(now.x + now.width / 2 - (main.x + main.width / 2)) <= 4 else None

        try:
            box = wait_for("the About box centred over the main window", placed, timeout=5)
        except HarnessError:
            box = self.desktop.window(wid)  # the assertion below says where it is
        self.assertEqual((box.width, box.height), ABOUT_CLIENT)
        # A fixed dialog without a taskbar button of its own.
        hints = self.desktop.x("xprop", "-id", str(box.wid), "WM_NORMAL_HINTS")
        self.assertIn("minimum size: 278 by 170", hints)
        self.assertIn("maximum size: 278 by 170", hints)
        self.assertTrue("_NET_WM_STATE_SKIP_TASKBAR" in self.net_wm_state(box.wid) or
                        "window id" in self.desktop.prop(box.wid, "WM_TRANSIENT_FOR"),
                        "the About box would get a taskbar button")
        # Centred over the main window (the frame's title bar may shift it a little).
        self.assertAlmostEqual(box.x + box.width / 2, main.x + main.width / 2, delta=4)
        self.assertAlmostEqual(box.y + box.height / 2, main.y + main.height / 2, delta=30)

        # The panel slides in for a moment; on a busy machine the slide takes longer.
        def at_rest():
            img = self.desktop.grab(box, "about")
            bg = img.pixel(3, 160)
            icon = img.crop(2, 0, 58, 48).count(lambda p: distance(p, bg) > 40)
            title = img.crop(60, 14, 200, 24).count(is_pure_red)
            return (img, bg) if icon > 300 and title > 40 else None

        try:
            img, bg = wait_for("the panel at rest with its icon and title", at_rest, timeout=5)
        except HarnessError:
            img = self.desktop.grab(box, "about")
            bg = img.pixel(3, 160)
        left = img.crop(0, 0, 139, 137)
        content = left.count(lambda p: distance(p, bg) > 40)
        self.assertGreater(content, 400, "the panel has not slid into the left half")
        # The icon sits in the panel's top-left corner, two pixels from the edge at rest.
        icon = img.crop(2, 0, 58, 48)
        self.assertGreater(icon.count(lambda p: distance(p, bg) > 40), 300, "no icon")
        # Red title and, below it, the red version line.
        title = img.crop(60, 14, 200, 24).count(is_pure_red)
        version = img.crop(60, 40, 120, 14).count(is_pure_red)
        self.assertGreater(title, 40, "no red title")
        self.assertGreater(version, 15, "no red version line")

        self.desktop.activate(box.wid)
        self.desktop.key("Escape")
        self.wait_gone(box.wid, "the About box to close on Escape")
        self.assertTrue(self.program.running())
        self.assertIsNotNone(self.program.main_window())
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.net_wm_state(self.main().wid))

    def test_about_keeps_keep_on_top_once_it_closes(self):
        self.choose("k")
        wait_for("the above state", lambda: "_NET_WM_STATE_ABOVE" in
                 self.net_wm_state(self.main().wid), timeout=5)
        self.choose("a")
        box = wait_for("the About box", lambda: (self.program.windows(
            name="^About Pelmora$") or [None])[0], timeout=5)
        self.desktop.activate(box.wid)
        self.desktop.key("Return")
        self.wait_gone(box.wid, "the About box to close on Enter")
        wait_for("the above state back after About", lambda: "_NET_WM_STATE_ABOVE" in
                 self.net_wm_state(self.main().wid), timeout=5)


class Exit(FreshDesktopCase):

    def choose_from_tray(self, key):
        (icon_id,) = self.desktop.tray_icons_of(self.program.pid)
        icon = self.desktop.window(icon_id)
        menu = self.open_popup(at=(icon.x + icon.width // 2, icon.y + icon.height // 2))
        self.press_in_menu(menu, key, "the tray's popup menu to close")

    def test_exit_from_the_tray_ends_the_program_while_about_is_minimised(self):
        self.choose_from_tray("a")
        box = wait_for("the About box", lambda: (self.program.windows(
            name="^About Pelmora$") or [None])[0], timeout=5)
        self.desktop.xdotool("windowminimize", box.wid)
        wait_for("the About box to be minimised",
                 lambda: "Iconic" in self.desktop.prop(box.wid, "WM_STATE"), timeout=5)
        self.choose_from_tray("x")
        self.assertEqual(self.program.wait_exit(timeout=10), 0, self.program.stderr())

    def test_exit_removes_the_tray_icon_and_ends_with_status_0(self):
        self.assertEqual(len(self.desktop.tray_icons_of(self.program.pid)), 1)
        self.choose("x")
        status = self.program.wait_exit(timeout=10)
        self.assertEqual(status, 0, self.program.stderr())
        requests = self.program.tray_requests()
        self.assertEqual(requests[-1], "delete", requests[-3:])
        self.assertEqual(requests.count("delete"), 1)
        wait_for("trayer to drop the icon",
                 lambda: set(self.desktop.tray_descendants()) == self.tray_baseline, timeout=5)


if __name__ == "__main__":
    unittest.main()
