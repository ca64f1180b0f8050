"""Checks of what the side-by-side benchmark's figures mean and how they are judged.

    python3 -m unittest discover -s bench/tests
"""

import contextlib
import io
import os
import struct
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import benchlib as bl  # noqa: E402
import sidebyside  # noqa: E402

WINDOW = (408, 358, 208, 51)
PAINTED = int(0.5 * 208 * 51)


def d(t, rect=WINDOW, marked=PAINTED):
    return bl.Damage(t, *rect, marked)


class DamageReports(unittest.TestCase):
    def test_parsing_skips_what_is_not_a_whole_report(self):
        lines = ["12.5 1 2 3 4 -1", "garbage", "13.0 1 2 3", "13.5 1 2 3 4 x", "14.25 0 0 9 9 81"]
        self.assertEqual(bl.parse_damage(lines),
                         [bl.Damage(12.5, 1, 2, 3, 4, -1), bl.Damage(14.25, 0, 0, 9, 9, 81)])

    def test_a_report_belongs_to_a_window_when_mostly_inside_it(self):
        cases = [
            ("the whole window", WINDOW, True),
            ("a label inside", (420, 360, 60, 12), True),
            ("straddling its edge, mostly in", (400, 358, 20, 10), True),
            ("straddling its edge, mostly out", (380, 358, 40, 10), False),
            ("elsewhere on the screen", (0, 0, 50, 50), False),
            ("the whole screen", (0, 0, 1024, 768), False),
        ]
        for name, rect, inside in cases:
            with self.subTest(name):
                self.assertEqual(bl.damage_in([d(1.0, rect)], WINDOW) != [], inside)


class FirstPaint(unittest.TestCase):
    def test_first_report_after_the_start_that_shows_the_window_painted(self):
        events = [
            d(9.0),                              # an earlier program's window at the same place
            d(10.05, marked=10),                 # a blank frame drawn before the content
            d(10.07, rect=(0, 0, 30, 30)),       # something else on the screen
            d(10.12),                            # the first paint
            d(10.50),
        ]
        self.assertAlmostEqual(bl.first_paint(events, WINDOW, since=10.0), 0.12)

    def test_none_when_the_window_never_shows_painted(self):
        self.assertIsNone(bl.first_paint([d(10.1, marked=-1), d(10.2, marked=100)], WINDOW, 10.0))


class DrawingOnUnchangedTicks(unittest.TestCase):
    def test_reports_close_together_are_one_drawing(self):
        self.assertEqual(bl.bursts([1.025, 1.000, 1.010, 2.0, 2.015, 5.0]),
                         [(1.000, 1.025, 3), (2.0, 2.015, 2), (5.0, 5.0, 1)])
        self.assertEqual(bl.bursts([]), [])

    def test_each_change_explains_the_one_drawing_that_follows_it_soon(self):
        changes = [1.0, 3.0]
        cases = [
            ("the tick after the change", [1.02], [], [3.0]),
            ("the next tick but one", [1.09, 3.01], [], []),
            ("long after the change", [1.5, 3.01], [1.5], [1.0]),
            ("before any change", [0.5, 1.02, 3.01], [0.5], []),
            ("a drawing every tick", [1.0, 1.03, 1.06, 3.0], [1.03, 1.06], []),
            ("the second change drew nothing", [1.01], [], [3.0]),
        ]
        for name, starts, unexplained, missed in cases:
            with self.subTest(name):
                drawings = [(t, t + 0.004, 3) for t in starts]
                got_unexplained, got_missed = bl.match_changes(drawings, changes)
                self.assertEqual([g[0] for g in got_unexplained], unexplained)
                self.assertEqual(got_missed, missed)

    def test_a_wider_window_allows_for_figures_read_late(self):
        drawings = [(1.45, 1.46, 1), (3.98, 3.99, 1)]
        late = bl.WINE_MEMORY_STATUS_AGE_S + bl.DRAW_AFTER_CHANGE_S
        self.assertEqual(bl.match_changes(drawings, [1.0, 3.0], late), ([], []))
        self.assertEqual(len(bl.match_changes(drawings, [1.0, 3.0])[0]), 2)


MEMINFO = ("MemTotal:       16303412 kB\n"
           "MemFree:          923112 kB\n"
           "MemAvailable:    8431100 kB\n"
           "Active(anon):     123456 kB\n"
           "HugePages_Total:       0\n")


class MemInfoCopy(unittest.TestCase):
    def test_fields_change_and_every_line_keeps_its_length(self):
        text = bl.meminfo_with(MEMINFO, MemFree=12, MemAvailable=4891023)
        self.assertEqual(bl.meminfo_kb(text, "MemFree"), 12)
        self.assertEqual(bl.meminfo_kb(text, "MemAvailable"), 4891023)
        self.assertEqual(bl.meminfo_kb(text, "MemTotal"), 16303412)
        self.assertEqual([len(line) for line in text.splitlines(keepends=True)],
                         [len(line) for line in MEMINFO.splitlines(keepends=True)])

    def test_fields_without_a_unit_and_with_brackets(self):
        text = bl.meminfo_with(MEMINFO, HugePages_Total=5, **{"Active(anon)": 7})
        self.assertIn("HugePages_Total:       5\n", text)
        self.assertEqual(bl.meminfo_kb(text, "Active(anon)"), 7)

    def test_a_value_too_wide_or_a_missing_field_is_refused(self):
        with self.assertRaises(ValueError):
            bl.meminfo_with(MEMINFO, MemFree=10 ** 20)
        with self.assertRaises(ValueError):
            bl.meminfo_with(MEMINFO, SwapFree=1)

    def test_changes_rewrite_the_same_file_in_place(self):
        with tempfile.TemporaryDirectory() as tmp:
            fake = bl.FakeMemInfo(tmp)
            inode, size = os.stat(fake.path).st_ino, os.stat(fake.path).st_size
            fake.set_free_share(0.70)
            with open(fake.path) as f:
                text = f.read()
            self.assertEqual((os.stat(fake.path).st_ino, len(text)), (inode, size))
            self.assertEqual(bl.meminfo_kb(text, "MemAvailable"), int(fake.total * 0.70))
            self.assertEqual(len(fake.changes), 1)


class Waits(unittest.TestCase):
    def test_a_wait_returns_what_it_waited_for_or_fails_as_the_bench_fails(self):
        values = iter([None, 0, "ready"])
        self.assertEqual(bl.wait_for("a value", lambda: next(values), 5, interval=0), "ready")
        with self.assertRaisesRegex(bl.BenchError, "waiting for nothing"):
            bl.wait_for("nothing", lambda: None, 0)


class ProcReadings(unittest.TestCase):
    def test_cpu_time_counts_every_thread_and_grows_with_work(self):
        before = bl.cpu_ns(os.getpid())
        end = time.process_time() + 0.05
        while time.process_time() < end:
            pass
        self.assertGreaterEqual(bl.cpu_ns(os.getpid()) - before, 40_000_000)

    def test_a_process_that_is_gone_reads_as_unknown(self):
        gone = 2 ** 22 + 1  # above pid_max's default: never a live process
        self.assertIsNone(bl.cpu_ns(gone))
        self.assertIsNone(bl.status_kib(gone, "VmHWM"))

    def test_tick_counter_file(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "ticks")
            self.assertIsNone(bl.read_counter(path))
            with open(path, "wb") as f:
                f.write(struct.pack("<Q", 1234567))
            self.assertEqual(bl.read_counter(path), 1234567)
            with open(path, "wb") as f:
                f.write(b"\x01\x02")
            self.assertIsNone(bl.read_counter(path))


class Budgets(unittest.TestCase):
    def test_exit_status_over_budget_wins_over_not_judged(self):
        ok = bl.Verdict("a", "1", "<= 2", True)
        over = bl.Verdict("b", "3", "<= 2", False)
        unknown = bl.Verdict("c", "-", "0", None)
        cases = [([ok], 0), ([ok, unknown], 2), ([ok, over, unknown], 1), ([over], 1)]
        for verdicts, status in cases:
            with self.subTest([v.figure for v in verdicts]):
                with contextlib.redirect_stdout(io.StringIO()):
                    self.assertEqual(sidebyside.judge(verdicts), status)

    def test_a_missing_figure_is_not_judged_within(self):
        self.assertIsNone(bl.within(None, 5))
        self.assertIsNone(bl.within(5, None))
        self.assertTrue(bl.within(5, 5))
        self.assertIsNone(bl.ratio(5, 0))
        self.assertIsNone(sidebyside.check_verdict(None).ok)


class Rounds(unittest.TestCase):
    class Started:
        def __init__(self, paints, cpus):
            self.name, self.paints, self.start_cpus = "p", paints, cpus

    def rows(self, cpu_p, cpu_b, hwm, draws):
        return {"p": {"cpu_tick_us": cpu_p, "cpu_percent": 1.0, "hwm_mib": hwm, "rss_mib": hwm,
                      "draws": draws},
                "b": {"cpu_tick_us": cpu_b, "cpu_percent": 1.0, "ticks": 100},
                "_tray_draws": 1, "_load": "0 0 0"}

    def test_each_figure_is_the_median_of_the_rounds_and_the_ratio_that_of_their_ratios(self):
        per_round = [(3.0, 100, self.rows(120.0, 100.0, 28.0, 0)),
                     (3.0, 100, self.rows(90.0, 60.0, 29.5, 1)),
                     (3.0, 100, self.rows(110.0, 110.0, 28.2, 0))]
        program = self.Started([0.10, 0.30, 0.20], [5e7, 7e7, 6e7])
        wall, nominal, rows = sidebyside.combine(per_round, [program])
        self.assertEqual((wall, nominal), (9.0, 300.0))
        self.assertEqual(rows["p"]["cpu_tick_us"], 110.0)
        self.assertEqual(rows["p"]["cpu_rounds"], [120.0, 90.0, 110.0])
        self.assertEqual(rows["p"]["hwm_mib"], 29.5)  # the highest, not the median
        self.assertEqual((rows["p"]["draws"], rows["b"]["ticks"], rows["_tray_draws"]), (1, 300, 3))
        self.assertAlmostEqual(rows["p"]["paint_ms"], 200.0)
        self.assertAlmostEqual(rows["p"]["start_cpu_ms"], 60.0)
        # Ratios 1.2, 1.5 and 1.0: their median, not 110 / 100.
        self.assertAlmostEqual(sidebyside.round_ratio(rows, "p", "b"), 1.2)
        self.assertAlmostEqual(sidebyside.round_ratio(rows, "b", "b"), 1.0)
        verdict = sidebyside.cpu_verdict(rows, "p", "b", 1.15)
        self.assertFalse(verdict.ok)
        self.assertIn("median of 3 rounds", verdict.budget)

if __name__ == "__main__":
    unittest.main()
