"""The bench's own programs, run: the floor programs keep time and count, the damage watcher
sees a window painted, and a program can be shown a /proc/meminfo of the bench's making.

Needs the programs built (bench/run.sh builds them into build/bench-tools, or name the
folder in BENCH_TOOLS) and, for the desktop, Xvfb, openbox and trayer; skipped otherwise.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))

import benchlib as bl  # noqa: E402

TOOLS = os.environ.get("BENCH_TOOLS") or os.path.join(HERE, "..", "..", "build", "bench-tools")


def tool(name):
    path = os.path.join(TOOLS, name)
    if not os.access(path, os.X_OK):
        raise unittest.SkipTest(f"{path} is not built")
    return path


class FloorPrograms(unittest.TestCase):
    def test_the_c_loop_ticks_every_30_ms_and_ends_cleanly(self):
        with tempfile.TemporaryDirectory() as tmp:
            counter = os.path.join(tmp, "ticks")
            proc = subprocess.Popen([tool("wake_read"), "--counter", counter])
            try:
                time.sleep(0.2)
                first = bl.read_counter(counter)
                time.sleep(0.6)
                ticks = bl.read_counter(counter) - first
            finally:
                proc.send_signal(signal.SIGTERM)
                status = proc.wait(timeout=5)
            self.assertEqual(status, 0)
            self.assertTrue(15 <= ticks <= 25, f"{ticks} ticks in 0.6 s")

    def test_a_bad_argument_is_refused(self):
        for name in ("wake_read", "bare_qt"):
            with self.subTest(name):
                result = subprocess.run([tool(name), "--fast"], capture_output=True, timeout=10)
                self.assertEqual(result.returncode, 2)


@unittest.skipUnless(all(shutil.which(p) for p in ("Xvfb", "dbus-daemon", "openbox", "trayer",
                                                   "xdotool")),
                     "needs Xvfb, dbus-daemon, openbox, trayer and xdotool")
class OnADesktop(unittest.TestCase):
    def test_the_watcher_sees_the_bare_window_painted_where_it_is(self):
        # Both programs are looked for before the desktop starts one of them.
        bare_qt = tool("bare_qt")
        tool("damage_watch")
        with bl.Desktop(os.path.abspath(TOOLS)) as desk:
            desk.watch(probe=True)
            counter = desk.counter_path("bare_qt")
            bare = desk.start("bare_qt", [bare_qt, "--at", "40,600", "--counter", counter],
                              counter=counter)
            desk.wait_first_paint(bare, timeout=30)
            self.assertEqual(bare.rect, (40, 600, bl.MAIN_W, bl.MAIN_H))
            self.assertTrue(0 < bare.paint < 30)
            elsewhere = (600, 600, bl.MAIN_W, bl.MAIN_H)
            self.assertIsNone(bl.first_paint(desk.damage(), elsewhere, bare.spawned))
            before = bl.read_counter(counter)
            time.sleep(0.5)
            self.assertGreaterEqual(bl.read_counter(counter) - before, 10)
            # An empty timer draws nothing.
            desk.watch(probe=False)
            time.sleep(0.5)
            self.assertEqual(bl.damage_in(desk.damage(), bare.rect), [])


@unittest.skipUnless(bl.FakeMemInfo.usable(), "no mount namespace can be made here")
class ShownMemInfo(unittest.TestCase):
    def test_a_wrapped_program_reads_the_bench_copy_and_its_changes(self):
        with tempfile.TemporaryDirectory() as tmp:
            fake = bl.FakeMemInfo(tmp)
            read = fake.wrap(["sh", "-c", "cat /proc/meminfo; read line; cat /proc/meminfo"])
            proc = subprocess.Popen(read, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            time.sleep(0.3)
            fake.set_free_share(0.70)
            out, _ = proc.communicate("go\n", timeout=10)
            half = len(out) // 2
            self.assertEqual(bl.meminfo_kb(out[:half], "MemAvailable"), int(fake.total * 0.30))
            self.assertEqual(bl.meminfo_kb(out[half:], "MemAvailable"), int(fake.total * 0.70))
        with open("/proc/meminfo") as f:
            self.assertNotIn(f.read(), out, "the bench's own view stays the real one")


if __name__ == "__main__":
    unittest.main()
