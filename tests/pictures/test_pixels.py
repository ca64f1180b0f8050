"""The pictures show what they should: the icon pixel for pixel, the scale's ticks, the skin's
telling features."""

import collections
import unittest

import readers

BLACK, GREEN, GREY, YELLOW = (0, 0, 0), (0, 128, 0), (192, 192, 192), (255, 255, 0)
WHITE, BLUE = (255, 255, 255), (0, 0, 255)

# What the icon shows at chosen places: (what, colour, [(column, row), ...]).
ICON_PIXELS = (
    ("outline corners and edges", BLACK,
     [(1, 11), (30, 11), (1, 23), (30, 23), (15, 11), (15, 23), (1, 17), (30, 17)]),
    ("board", GREEN, [(2, 12), (29, 12), (2, 22), (8, 16), (26, 16), (3, 14), (29, 16), (4, 22)]),
    ("chips", BLACK,
     [(4, 13), (6, 19), (10, 16), (12, 13), (16, 19), (18, 13), (22, 16), (24, 19)]),
    ("pins", GREY, [(3, 13), (7, 13), (9, 15), (13, 17), (15, 19), (19, 19), (21, 13), (25, 15)]),
    ("between pins", GREEN, [(3, 14), (7, 16), (9, 18), (25, 14), (4, 20), (4, 12)]),
    ("part at the right end", GREY, [(27, 14), (29, 14), (27, 15), (29, 15), (27, 18), (29, 19)]),
    ("part's middle", BLACK, [(28, 14), (28, 15), (28, 18), (28, 19)]),
    ("gap in the part", GREEN, [(27, 16), (28, 16), (28, 17), (29, 13), (28, 20)]),
    ("contacts", YELLOW, [(x, 22) for x in (3, 5, 7, 11, 13, 15, 19, 21, 23, 25, 27)]),
    ("between contacts", GREEN, [(x, 22) for x in (2, 4, 6, 8, 9, 10, 12, 17, 26, 28, 29)]),
)


def skin_rgb():
    bmp = readers.read_bmp(readers.load("skin.bmp"))
    return [[bmp["palette"][i] for i in row] for row in bmp["indices"]]


def is_dark(c):
    return max(c) < 64


def is_blackish(c):
    return max(c) < 100 and max(c) - min(c) < 20


def is_grey(c):
    return max(c) - min(c) < 16 and 80 <= c[0] <= 230


def is_gold(c):
    return c[0] > 180 and c[1] > 140 and c[2] < min(c[0], c[1]) - 80


def is_board(c):
    return c[1] > c[0] + 40 and c[1] > c[2] + 40


def runs(row, test, start=0, end=None):
    """(first, last) of each stretch of the row where test holds."""
    found, begin = [], None
    for x, c in enumerate(row[start:end], start):
        if test(c) and begin is None:
            begin = x
        elif not test(c) and begin is not None:
            found.append((begin, x - 1))
            begin = None
    if begin is not None:
        found.append((begin, len(row) - 1 if end is None else end - 1))
    return found


class Icon(unittest.TestCase):
    def setUp(self):
        self.ico = readers.read_ico(readers.load("pelmora.ico"))

    def colour(self, x, y):
        return self.ico["palette"][self.ico["indices"][y][x]]

    def test_described_pixels(self):
        for what, colour, places in ICON_PIXELS:
            for x, y in places:
                with self.subTest(what, at=(x, y)):
                    self.assertEqual(self.colour(x, y), colour)
                    self.assertEqual(self.ico["mask"][y][x], 0)

    def test_transparent_exactly_outside_the_module(self):
        for y in range(32):
            for x in range(32):
                inside = 1 <= x <= 30 and 11 <= y <= 23
                self.assertEqual(self.ico["mask"][y][x], 0 if inside else 1, (x, y))
                if not inside:  # a non-black pixel under the mask would invert the screen
                    self.assertEqual(self.colour(x, y), BLACK, (x, y))


class Scale(unittest.TestCase):
    def test_ticks_and_right_line(self):
        bmp = readers.read_bmp(readers.load("scale.bmp"))
        rows = [[bmp["palette"][i] for i in row] for row in bmp["indices"]]
        ticks = {y: 6 if y in (0, 12, 24, 36) else 2 for y in range(0, 46, 3)}
        self.assertEqual(len(ticks), 16)
        for y, row in enumerate(rows):
            expected = [BLUE if x < ticks.get(y, 0) else WHITE for x in range(9)] + [BLACK]
            self.assertEqual(row, expected, f"row {y}")


class Skin(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.rows = skin_rgb()
        cls.bottom_breaks = runs(cls.rows[50], lambda c: not is_dark(c))

    def test_board_colour_is_the_main_colour(self):
        counts = collections.Counter(c for row in self.rows for c in row)
        self.assertEqual(counts.most_common(1)[0][0], (0, 123, 0))

    def test_dark_outline_broken_only_by_two_grey_notches(self):
        edges = [(x, 0) for x in range(208)] + [(0, y) for y in range(51)]
        edges += [(207, y) for y in range(51)]
        for x, y in edges:
            self.assertTrue(is_dark(self.rows[y][x]), (x, y))
        self.assertEqual(len(self.bottom_breaks), 2, self.bottom_breaks)
        for first, last in self.bottom_breaks:
            self.assertTrue(3 <= last - first + 1 <= 8, (first, last))
            for y in (47, 48, 49, 50):
                for x in range(first, last + 1):
                    self.assertTrue(is_grey(self.rows[y][x]), (x, y))

    def test_gold_contacts_along_the_bottom(self):
        for y in (47, 48, 49):
            gold = runs(self.rows[y], is_gold)
            self.assertGreater(len(gold), 50, f"row {y}")
            self.assertLess(gold[0][0], 10)
            self.assertGreater(gold[-1][1], 197)
        for first, last in self.bottom_breaks:
            self.assertFalse(any(is_gold(c) for c in self.rows[48][first : last + 1]))

    def test_eight_chips_with_pins_on_both_sides(self):
        chips = [r for r in runs(self.rows[21], is_blackish, 0, 190) if r[1] - r[0] >= 8]
        self.assertEqual(len(chips), 8, chips)
        self.assertGreaterEqual(chips[0][0] - 2, 6)
        self.assertLessEqual(chips[-1][1] + 2, 188)
        for first, last in chips:
            middle = (first + last) // 2
            with self.subTest(chip=first):
                self.assertTrue(is_grey(self.rows[21][first - 1]))
                self.assertTrue(is_grey(self.rows[21][last + 1]))
                self.assertTrue(is_board(self.rows[2][middle]))
                self.assertTrue(all(is_blackish(self.rows[y][middle]) for y in range(3, 25)))
                self.assertTrue(is_board(self.rows[39][middle]))
                marks = [c for row in self.rows[26:37] for c in row[first : last + 1]]
                self.assertTrue(any(is_grey(c) and c[0] > 150 for c in marks))

    def test_right_end_parts_holes_and_small_parts(self):
        places = ((is_blackish, [(196, 4), (196, 10), (196, 31), (196, 37)]),
                  (is_board, [(196, 20), (196, 1)]),
                  (is_grey, [(4, 42), (4, 39), (203, 42), (203, 39)]))
        for test, points in places:
            for x, y in points:
                with self.subTest(test.__name__, at=(x, y)):
                    self.assertTrue(test(self.rows[y][x]), self.rows[y][x])
        parts = runs(self.rows[42], is_blackish, 8, 190)
        self.assertGreaterEqual(len(parts), 8, parts)

    def test_glare_lights_the_left_of_the_board(self):
        def board_brightness(x0, x1):
            values = [sum(c) for row in self.rows[1:46] for c in row[x0:x1] if is_board(c)]
            return sum(values) / len(values)

        self.assertGreater(board_brightness(1, 60), board_brightness(130, 190) + 30)


if __name__ == "__main__":
    unittest.main()
