"""The window at a display scale, and on screens that change under it."""

import os
import subprocess
import time
import unittest

from desktop import MAIN_H, MAIN_W, HarnessError, Image, wait_for
from e2e_case import LABEL_ROWS, FreshDesktopCase
from memfigures import scale
from screen_text import Digits, Row

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")
NUMBER_WORD = 3  # 'Total', 'RAM', '=', number, unit
WHITE, RED = (255, 255, 255), (255, 0, 0)

# Window pixels (x0, y0, x1, y1, ends excluded) where only the skin shows: left of the
# labels, above them and below them. The edge lines take row 0 and columns 0 and 207.
BARE_SKIN = [(1, 1, 7, 51), (1, 1, 195, 2), (1, 49, 195, 51)]
LABELS = (7, 2, 202, 50)  # where label text may be
METER = (195, 1, 207, 51)  # the meter box with its one-pixel frame


def skin():
    path = os.path.join(RESOURCES, "skin.bmp")
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         timeout=20, check=True).stdout
    if len(raw) != MAIN_W * MAIN_H * 3:
        raise HarnessError(f"{path} is not a {MAIN_W} x {MAIN_H} picture")
    return Image(MAIN_W, MAIN_H, raw, path)


def inside(x, y, box):
    x0, y0, x1, y1 = box
    return x0 <= x < x1 and y0 <= y < y1


class Blocks:
    """A window's screenshot seen as the n x n blocks of screen pixels that each of the
    window's own pixels should become."""

    def __init__(self, image, n):
        self.image, self.n = image, n

    def block(self, x, y):
        n = self.n
        return [self.image.pixel(n * x + i, n * y + j) for j in range(n) for i in range(n)]

    def colour(self, x, y):
        """The block's one colour, or None when its pixels differ."""
        pixels = self.block(x, y)
        return pixels[0] if all(p == pixels[0] for p in pixels) else None


class ScaledCase(FreshDesktopCase):
    """Checks of a window shown at a whole number of screen pixels per window pixel."""

    def assert_pixel_multiplied(self, image, n):
        """Skin, edge lines and meter are each window pixel as an even n x n block; only
        label text, drawn at the screen's resolution, breaks blocks."""
        self.assertEqual((image.width, image.height), (MAIN_W * n, MAIN_H * n))
        blocks, picture = Blocks(image, n), skin()
        uneven = []
        for y in range(MAIN_H):
            for x in range(MAIN_W):
                if blocks.colour(x, y) is not None:
                    continue
                text = inside(x, y, LABELS) and not inside(x, y, METER) and any(
                    p in (WHITE, RED) for p in blocks.block(x, y))
                if not text:
                    uneven.append((x, y))
        self.assertEqual(uneven[:20], [], f"{len(uneven)} window pixels are not even blocks")

        wrong = [(x, y) for x0, y0, x1, y1 in BARE_SKIN for y in range(y0, y1)
                 for x in range(x0, x1) if blocks.colour(x, y) != picture.pixel(x, y)]
        self.assertEqual(wrong[:20], [], f"{len(wrong)} pixels of the bare skin differ from it")

        edge = blocks.colour(0, 0)
        edges = [blocks.colour(x, 0) for x in range(MAIN_W)] + [
            blocks.colour(x, y) for y in range(MAIN_H) for x in (0, MAIN_W - 1)]
        self.assertEqual(set(edges), {edge}, "the edge lines are not one colour all along")

        # The meter's frame is the system window-text colour: black without a desktop theme.
        x0, y0, x1, y1 = METER
        ring = [blocks.colour(x, y) for x in range(x0, x1) for y in (y0, y1 - 1)] + [
            blocks.colour(x, y) for y in range(y0, y1) for x in (x0, x1 - 1)]
        self.assertEqual(set(ring), {(0, 0, 0)}, "the meter's frame is not one black line")

    def assert_text_at_screen_resolution(self, image, n):
        """The labels' white text is drawn for the screen's pixels: a blown-up picture of
        the small text would fill whole blocks only."""
        blocks = Blocks(image, n)
        inked = mixed = 0
        for _, y0, y1 in LABEL_ROWS:
            for y in range(y0, y1):
                for x in range(LABELS[0], METER[0]):
                    whites = blocks.block(x, y).count(WHITE)
                    inked += whites > 0
                    mixed += 0 < whites < n * n
        self.assertGreater(inked, 300, "no white text in the labels")
        self.assertGreater(mixed, inked // 4, f"{mixed} of {inked} inked blocks are partly "
                           "white: the text is the small text blown up")

    def assert_total_reads(self, n):
        """The total is read back from the screen in the program's own glyphs, learnt
        from the exact byte count of the precise mode."""
        total = self.figures().total
        _, *rows = LABEL_ROWS[0]
        shown = self.desktop.grab(self.main(), "scaled-figures")
        self.choose("p")
        time.sleep(0.3)
        precise = self.desktop.grab(self.main(), "precise-figures")
        digits = Digits(Row(precise, *rows, scale=n), NUMBER_WORD, str(total))
        number = str(scale(total)[0])
        read = digits.read(Row(shown, *rows, scale=n), digits.origin, len(number))
        self.assertTrue(digits.agrees(read, number), f"read {read!r} as the total, not {number}")
        self.choose("p")


class WholeScale(ScaledCase):
    desktop_options = dict(env={"QT_SCALE_FACTOR": "2"}, scale=2)

    def test_at_scale_2_pixels_are_doubled_and_text_is_sharp(self):
        w = self.main()
        self.assertEqual((w.width, w.height), (2 * MAIN_W, 2 * MAIN_H))
        self.assertAlmostEqual(w.x, (self.desktop.screen_w - w.width) / 2, delta=2)
        self.assertAlmostEqual(w.y, (self.desktop.screen_h - w.height) / 2, delta=2)
        image = self.desktop.grab(w, "scale-2")
        with self.subTest("skin, edges and meter"):
            self.assert_pixel_multiplied(image, 2)
        with self.subTest("text"):
            self.assert_text_at_screen_resolution(image, 2)
            self.assert_total_reads(2)


class FractionalScale(ScaledCase):
    """A fractional factor is rounded to the nearest whole one, halves up: 1.5 gives 2."""

    desktop_options = dict(env={"QT_SCALE_FACTOR": "1.5"}, scale=2)

    def test_at_scale_1_5_the_window_is_shown_at_2(self):
        for how in ("QT_SCALE_FACTOR=1.5", "Xft.dpi: 144"):
            with self.subTest(how):
                if how.startswith("Xft"):
                    self.choose("x")
                    self.program.wait_exit()
                    resources = os.path.join(self.desktop.tmp, "Xresources")
                    with open(resources, "w") as f:
                        f.write(how + "\n")
                    self.desktop.x("xrdb", "-merge", resources, check=True)
                    del self.desktop.env["QT_SCALE_FACTOR"]
                    self.program = self.desktop.start_program("pelmora-dpi")
                    self.program.wait_main_window()
                image = self.desktop.grab(self.main(), "scale-1.5")
                self.assert_pixel_multiplied(image, 2)
                self.assert_text_at_screen_resolution(image, 2)


class ChangingScreens(FreshDesktopCase):
    """A window that the screens no longer show comes back onto the nearest one."""

    desktop_options = dict(screen=(1920, 1080))
    LEFT = (0, 0, 1024, 768)  # the screen that stays, as x, y, width, height

    def monitor(self, *args):
        self.desktop.x("xrandr", *args, check=True)

    def place(self, x, y):
        wid = self.main().wid
        self.desktop.xdotool("windowmove", wid, x, y)
        wait_for(f"the window at {x},{y}", lambda: (lambda w: w and (w.x, w.y) == (x, y))(
            self.desktop.window(wid)), timeout=3)

    def shown_on_left(self):
        """Width and height of the part of the main window the left screen shows."""
        w = self.program.main_window()
        if w is None:
            return 0, 0
        sx, sy, sw, sh = self.LEFT
        return (max(0, min(w.x + w.width, sx + sw) - max(w.x, sx)),
                max(0, min(w.y + w.height, sy + sh) - max(w.y, sy)))

    def test_the_window_comes_back_when_its_screen_shrinks_or_goes(self):
        sx, sy, sw, sh = self.LEFT
        left = f"{sw}/270x{sh}/200+{sx}+{sy}"
        with self.subTest("the screen shrinks, with a window manager"):
            self.place(1700, 1000)
            # The whole screen's monitor gives way to a smaller one.
            self.monitor("--setmonitor", "LEFT", left, "screen")
            wait_for("the window on the smaller screen",
                     lambda: min(self.shown_on_left()) >= 8, timeout=5)
        with self.subTest("its screen goes, without a window manager"):
            self.desktop.wm.kill()
            self.desktop.wm.wait(timeout=5)
            self.monitor("--setmonitor", "RIGHT", f"896/230x{sh}/200+{sw}+0", "none")
            time.sleep(0.3)
            self.place(1700, 700)
            self.monitor("--delmonitor", "RIGHT")
            # Onto the nearest screen as close to where it was as it fits.
            moved = wait_for("the window back on the left screen",
                             lambda: self.shown_on_left() == (MAIN_W, MAIN_H), timeout=5)
            self.assertTrue(moved)
            w = self.main()
            self.assertEqual((w.x, w.y), (sw - MAIN_W, 700))


if __name__ == "__main__":
    unittest.main()
