"""The figures the program is shown and those it should show: the reference scaling on
known values, the /proc/meminfo the tests write, and figures read back from the screen."""

import os
import tempfile
import time
import unittest

from desktop import HarnessError, wait_for
from e2e_case import LABEL_ROWS, FreshDesktopCase
from memfigures import (CHANGING_WIDTH, MemInfoFile, meminfo_bytes, meminfo_kb, meminfo_text,
                        scale, tip_for)
from screen_text import Digits, Row

KIB, MIB, GIB = 1024, 1024**2, 1024**3
NUMBER_WORD = 3  # 'Total', 'RAM', '=', number, unit

# MemTotal and MemAvailable (kB) whose byte counts repeat digits at the start, in the middle
# and at the end, in 10- and 11-digit counts, shown scaled as GB, MB and KB.
SCREEN_FIGURES = [
    (24731368, 21701389),  # 25,324,920,832 and 22,222,222,336 bytes: 24 GB, 21 GB
    (10850695, 1085070),  # 11,111,111,680 and 1,111,111,680: 10 GB, 1 GB
    (23068672, 339968),  # 23,622,320,128 and 348,127,232: 22 GB, 333 MB
    (32552083, 3255208),  # 33,333,332,992 and 3,333,332,992: 31 GB, 3 GB
    (4340278, 1000),  # 4,444,444,672 and 1,024,000: 4 GB, 1000 KB
    (75954861, 5425347),  # 77,777,777,664 and 5,555,555,328: 72 GB, 5 GB
    (65104167, 6510417),  # 66,666,667,008 and 6,666,667,008: 62 GB, 6 GB
    (86805556, 8680556),  # 88,888,889,344 and 8,888,889,344: 83 GB, 8 GB
    (97656249, 9765624),  # 99,999,998,976 and 9,999,998,976: 93 GB, 9 GB
    (9765625, 976563),  # 10,000,000,000 and 1,000,000,512: 9 GB, 955 MB
]


class Scaling(unittest.TestCase):

    def test_known_byte_counts(self):
        cases = [
            (-2 * GIB, (-2 * 1048576, " KB")),
            (-513, (-1, " KB")),
            (-512, (0, " KB")),
            (512, (0, " KB")),
            (513, (1, " KB")),
            (1536, (2, " KB")),
            (2560, (2, " KB")),
            (MIB + 512, (1024, " KB")),
            (MIB + 513, (2, " MB")),
            (3 * MIB // 2 - 513, (2, " MB")),
            (3 * MIB // 2 - 512, (3, " MB")),
            (256 * MIB, (257, " MB")),
            (GIB + 512, (1025, " MB")),
            (GIB + 513, (1, " GB")),
            (3 * GIB // 2 - 512 * KIB - 513, (1, " GB")),
            (3 * GIB // 2 - 512 * KIB - 512, (2, " GB")),
            (2 * GIB - 1, (2, " GB")),
            # Beyond 32 bits the same rules go on.
            (24 * GIB, (24, " GB")),
            (24 * GIB - 513 * MIB, (23, " GB")),
            (24 * GIB - 512 * MIB, (24, " GB")),
        ]
        for count, want in cases:
            with self.subTest(bytes=count):
                self.assertEqual(scale(count), want)

    def test_tip_text(self):
        self.assertEqual(tip_for(256 * MIB), "Pelmora  ( Free RAM = 257 MB )")


class MemInfoText(unittest.TestCase):

    def test_figures_read_back_and_the_length_never_changes(self):
        cases = [(0, 0), (1, 1), (24731368, 21701389), (10**CHANGING_WIDTH - 1, 7)]
        lengths = set()
        for total_kb, avail_kb in cases:
            with self.subTest(total_kb=total_kb, avail_kb=avail_kb):
                text = meminfo_text(total_kb, avail_kb)
                self.assertEqual(meminfo_bytes(text), (total_kb * 1024, avail_kb * 1024))
                self.assertTrue(text.startswith("MemTotal:"), text[:40])
                self.assertRegex(text, r"\nMemAvailable: +%d kB\n" % avail_kb)
                lengths.add(len(text))
        self.assertEqual(len(lengths), 1, "the file's length follows the figures")

    def test_other_lines_can_be_set_and_the_length_stays(self):
        plain = meminfo_text(24731368, 21701389)
        wanted = {"MemFree": 21701389, "Buffers": 0, "Cached": 0, "HugePages_Total": 4}
        text = meminfo_text(24731368, 21701389, **wanted)
        self.assertEqual(len(text), len(plain))
        for name, kb in [*wanted.items(), ("MemTotal", 24731368), ("MemAvailable", 21701389),
                         ("SwapTotal", 0)]:
            with self.subTest(name=name):
                self.assertEqual(meminfo_kb(text, name), kb)

    def test_figures_that_do_not_fit_are_refused(self):
        for total_kb, avail_kb in [(10**CHANGING_WIDTH, 1), (1, -1), (1.5, 1), ("1", 1)]:
            with self.subTest(total_kb=total_kb, avail_kb=avail_kb):
                with self.assertRaises(ValueError):
                    meminfo_text(total_kb, avail_kb)

    def test_a_change_rewrites_the_file_in_place(self):
        with tempfile.TemporaryDirectory() as tmp:
            f = MemInfoFile(os.path.join(tmp, "meminfo"), 24731368, 21701389)
            with open(f.path, encoding="ascii") as kept:
                f.set(avail_kb=1000)
                # An open file sees the new figures: a reader that keeps it open follows.
                self.assertEqual(meminfo_bytes(kept.read()), (24731368 * 1024, 1000 * 1024))
            self.assertEqual((f.total, f.avail), (24731368 * 1024, 1000 * 1024))

    def test_a_rewrite_that_would_change_the_length_is_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            f = MemInfoFile(os.path.join(tmp, "meminfo"), 24731368, 21701389)
            with open(f.path, encoding="ascii") as kept:
                before = kept.read()
            for text in (before + "Extra:           1 kB\n", before[:-1], ""):
                with self.subTest(length=len(text)):
                    with self.assertRaises(ValueError):
                        f.write(text)
                    with open(f.path, encoding="ascii") as kept:
                        self.assertEqual(kept.read(), before)


class FiguresOnScreen(FreshDesktopCase):
    """The program shows each set of figures the test writes, and the digit reader reads
    them back: digits are learnt from the byte counts of the precise mode."""

    def learn(self, label):
        """Digits learnt from the total and from the free figure in bytes, and the picture
        they were learnt from, once the screen shows the figures just set."""
        figures = self.figures()
        (_, *total_rows), (_, *free_rows) = LABEL_ROWS[0], LABEL_ROWS[1]
        tried = []

        def probe():
            img = self.desktop.grab(self.main(), label)
            try:
                return (Digits(Row(img, *total_rows), NUMBER_WORD, str(figures.total)),
                        Digits(Row(img, *free_rows), NUMBER_WORD, str(figures.avail)), img)
            except HarnessError as e:
                tried[:] = [str(e)]
                return None

        try:
            return wait_for(f"the screen to show {figures.total} and {figures.avail} bytes",
                            probe, timeout=5, interval=0.2)
        except HarnessError as e:
            self.fail(f"{e}: {tried}")

    def test_digits_with_repeats_read_back_in_bytes_and_scaled(self):
        figures = self.figures()
        (_, *total_rows), (_, *free_rows) = LABEL_ROWS[0], LABEL_ROWS[1]
        self.choose("p")
        # All ten digits, learnt from 12,345,697,280 and checked on 1,234,759,680 bytes free.
        figures.set(12056345, 1205820)
        known, _, img = self.learn("bytes-all-digits")
        self.assertEqual(sorted(known.shapes), list("0123456789"))
        self.assertEqual(known.read_word(Row(img, *free_rows), NUMBER_WORD), str(figures.avail))

        for total_kb, avail_kb in SCREEN_FIGURES:
            figures.set(total_kb, avail_kb)
            total, avail = str(figures.total), str(figures.avail)
            with self.subTest(mode="bytes", total=total, free=avail):
                by_total, by_free, img = self.learn(f"bytes-{total_kb}")
                total_row, free_row = Row(img, *total_rows), Row(img, *free_rows)
                self.assertEqual(known.read_word(total_row, NUMBER_WORD), total)
                self.assertEqual(known.read(total_row, known.origin, len(total)), total)
                self.assertEqual(known.read_word(free_row, NUMBER_WORD), avail)
                # Digits learnt from one caption read the other.
                self.assertTrue(by_total.agrees(by_total.read_word(free_row, NUMBER_WORD), avail))
                self.assertTrue(by_free.agrees(by_free.read_word(total_row, NUMBER_WORD), total))

        self.choose("p")
        time.sleep(0.3)
        for total_kb, avail_kb in SCREEN_FIGURES:
            figures.set(total_kb, avail_kb)
            total, avail = str(scale(figures.total)[0]), str(scale(figures.avail)[0])
            with self.subTest(mode="scaled", total=total, free=avail):
                reads = []

                def shown():
                    img = self.desktop.grab(self.main(), f"scaled-{total_kb}")
                    total_row, free_row = Row(img, *total_rows), Row(img, *free_rows)
                    # The scaled total starts where the total in bytes started.
                    reads[:] = [known.read(total_row, known.origin, len(total)),
                                known.read_word(total_row, NUMBER_WORD),
                                known.read_word(free_row, NUMBER_WORD)]
                    return reads == [total, total, avail]

                try:
                    wait_for("the scaled figures", shown, timeout=5, interval=0.2)
                except HarnessError as e:
                    self.fail(f"{e}: read {reads}, not {total} and {avail}")


if __name__ == "__main__":
    unittest.main()
