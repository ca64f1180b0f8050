"""What a person sees right after start: the window, its skin and figures, the tray icon."""

import time
import unittest

from desktop import (MAIN_H, MAIN_W, SCREEN_H, SCREEN_W, HarnessError, distance, is_dark_green,
                     is_pure_green, is_pure_red, is_white, wait_for)
from e2e_case import LABEL_ROWS, METER_X0, METER_X1, METER_Y0, METER_Y1, TIP, SharedDesktopCase
from memfigures import scale, tip_for

class StartedProgram(SharedDesktopCase):

    def test_window_is_208_by_51_undecorated_off_the_taskbar_and_centred(self):
        w = self.main()
        self.assertEqual((w.width, w.height), (MAIN_W, MAIN_H))
        self.assert_undecorated_and_off_taskbar(w)
        self.assertAlmostEqual(w.x, (SCREEN_W - MAIN_W) / 2, delta=1)
        self.assertAlmostEqual(w.y, (SCREEN_H - MAIN_H) / 2, delta=1)
        self.assertNotIn("_NET_WM_STATE_ABOVE", self.net_wm_state(w.wid),
                         "the window starts on top although 'Keep on top' starts unchecked")

    def test_window_has_no_title_and_is_known_by_its_class(self):
        w = self.main()
        self.assertEqual(self.desktop.prop(w.wid, "WM_NAME"), "")
        self.assertEqual(self.desktop.prop(w.wid, "_NET_WM_NAME"), "")
        self.assertEqual(self.desktop.prop(w.wid, "WM_CLASS"), '"pelmora", "pelmora"')

    def test_skin_edges_figures_and_meter_are_drawn(self):
        figures = self.figures()
        total, avail = figures.total, figures.avail
        w = self.main()
        img = self.desktop.grab(w, "main-window")

        green = img.count(is_dark_green)
        self.assertGreater(green, 0.25 * MAIN_W * MAIN_H,
                           f"the dark green board does not dominate ({green} pixels)")

        # Top row, left and right columns: one-pixel lines in a single colour that is not
        # the board's; the bottom row keeps the skin's outline.
        edge = img.pixel(0, 0)
        top = [img.pixel(x, 0) for x in range(MAIN_W)]
        left = [img.pixel(0, y) for y in range(MAIN_H)]
        right = [img.pixel(MAIN_W - 1, y) for y in range(MAIN_H)]
        for name, line in (("top", top), ("left", left), ("right", right)):
            self.assertTrue(all(distance(p, edge) <= 8 for p in line),
                            f"the {name} edge is not one plain line")
        self.assertFalse(is_dark_green(edge))
        bottom = [img.pixel(x, MAIN_H - 1) for x in range(1, MAIN_W - 1)]
        self.assertLess(sum(distance(p, edge) <= 8 for p in bottom), len(bottom) // 2,
                        "the bottom edge carries the edge-line colour instead of the skin")

        # Each figure is white text with a red fringe over the board.
        for name, y0, y1 in LABEL_ROWS:
            band = img.crop(7, y0, 188, y1 - y0)
            whites, reds = band.count(is_white), band.count(is_pure_red)
            self.assertGreater(whites, 40, f"no white text in the {name} row ({whites})")
            self.assertGreater(reds, 10, f"no red fringe in the {name} row ({reds})")

        # The meter: a bar from the bottom as tall as the free share, green above a quarter
        # free and red at or below.
        share = avail / total
        bar, other = (is_pure_green, is_pure_red) if share > 0.25 else (is_pure_red, is_pure_green)
        meter = img.crop(METER_X0, METER_Y0, METER_X1 - METER_X0, METER_Y1 - METER_Y0)
        bar_rows = [y for y in range(meter.height)
                    if sum(bar(meter.pixel(x, y)) for x in range(meter.width)) >= 3]
        self.assertTrue(bar_rows, "no bar in the meter")
        self.assertEqual(bar_rows[-1], meter.height - 1, "the bar does not stand on the bottom")
        self.assertAlmostEqual(len(bar_rows), round(share * 48), delta=3)
        self.assertEqual(meter.count(other), 0, "the bar has the wrong colour")

    def test_tray_icon_is_docked_and_its_tip_is_the_free_figure(self):
        icons = self.desktop.tray_icons_of(self.program.pid)
        self.assertEqual(len(icons), 1, "expected exactly one icon docked in the tray host")

        requests = wait_for("a tip request after the add",
                            lambda: (lambda r: r if "add" in r and
                                     any(x.startswith("tip ") for x in r[r.index("add"):])
                                     else None)(self.program.tray_requests()), timeout=5)
        self.assertEqual(requests.count("add"), 1)
        self.assertNotIn("delete", requests)

        figures = self.figures()
        self._wait_tip(figures.avail, "the tip of the free figure")
        self.assertIsNotNone(TIP.match(self.program.last_tip()))

    def test_tip_follows_the_free_memory_within_a_second(self):
        figures = self.figures()
        before = scale(figures.avail)
        self._wait_tip(figures.avail, "the tip to show the free memory")
        unit_kb = {" KB": 1, " MB": 1024, " GB": 1024**2}[before[1]]
        kept = figures.avail_kb
        try:
            figures.set(avail_kb=kept - int(3.2 * unit_kb))
            taken = time.monotonic()
            now = scale(figures.avail)
            self.assertEqual(now[1], before[1], "the figures chosen change the unit")
            self.assertGreaterEqual(before[0] - now[0], 2)
            self._wait_tip(figures.avail, "the tip to show the memory just taken")
            self.assertLess(time.monotonic() - taken, 1.0)
        finally:
            figures.set(avail_kb=kept)
        self._wait_tip(figures.avail, "the tip to show the memory given back")

    def _wait_tip(self, avail, what):
        """Waits for the tip of avail free bytes; a failure says what the tip was instead."""
        want = tip_for(avail)
        try:
            wait_for(what, lambda: self.program.last_tip() == want, timeout=3)
        except HarnessError as e:
            self.fail(f"{e}: the tip is {self.program.last_tip()!r}, not {want!r}")

    def test_hovering_the_tray_icon_shows_a_tooltip(self):
        (icon_id,) = self.desktop.tray_icons_of(self.program.pid)
        icon = self.desktop.window(icon_id)
        known = {w.wid for w in self.program.windows()}
        cx, cy = icon.x + icon.width // 2, icon.y + icon.height // 2
        self.desktop.move_pointer(cx - 3, cy - 3)
        self.desktop.move_pointer(cx, cy)

        def tooltip():
            for w in self.program.windows():
                if w.wid not in known and w.override and w.wid != icon_id:
                    return w
            return None

        tip_window = wait_for("a tooltip window over the tray icon", tooltip, timeout=8)
        shot = self.desktop.grab(tip_window, "tooltip")
        self.assertGreater(tip_window.width, 60, "the tooltip is too narrow for the tip text")
        counts = {}
        for p in shot.pixels():
            counts[p] = counts.get(p, 0) + 1
        bg = max(counts, key=counts.get)
        self.assertGreater(shot.count(lambda p: distance(p, bg) > 60), 30, "an empty tooltip")
        self.desktop.move_pointer(5, SCREEN_H - 5)


if __name__ == "__main__":
    unittest.main()
