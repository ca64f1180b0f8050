"""The script that takes the README's pictures still works on the real program: it writes the
three pictures, each the size of what it shows and showing it."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from packaging_case import REPO_ROOT, png_size, require_tools, run

SCRIPT = os.path.join(REPO_ROOT, "tools", "take_screenshots.py")


class Screenshots(unittest.TestCase):
    def setUp(self):
        require_tools("Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop", "import",
                      "convert")
        self.out = tempfile.mkdtemp(prefix="pelmora-shots-test.")
        self.addCleanup(shutil.rmtree, self.out, ignore_errors=True)

    def colours(self, name):
        """How many pixels of the picture are of each (r, g, b, a), from ImageMagick."""
        text = run(["convert", os.path.join(self.out, name), "-depth", "8", "txt:-"]).stdout
        counts = {}
        for line in text.splitlines()[1:]:
            values = [round(float(v)) for v in line.split("(", 1)[1].split(")", 1)[0].split(",")]
            key = tuple(values + [255] * (4 - len(values)))  # no alpha: opaque
            counts[key] = counts.get(key, 0) + 1
        return counts

    def test_takes_the_window_the_menu_and_the_about_box(self):
        result = subprocess.run([sys.executable, "-B", SCRIPT, "--program",
                                 os.environ["PELMORA_EXE"], "--out", self.out],
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["about.png", "menu.png", "window.png"])

        self.assertEqual(png_size(os.path.join(self.out, "window.png")), (208, 51))
        window = self.colours("window.png")
        # The skin's board is green; the figures are drawn in white and red; all opaque.
        green = sum(n for (r, g, b, a), n in window.items() if g > r + 40 and g > b + 40)
        self.assertGreater(green, 208 * 51 // 4)
        self.assertTrue(all(a == 255 for (_, _, _, a) in window))

        width, height = png_size(os.path.join(self.out, "menu.png"))
        self.assertGreaterEqual(width, 208)
        self.assertGreater(height, 51 + 5 * 10)  # five entries below the window's top
        menu = self.colours("menu.png")
        self.assertTrue(any(a == 0 for (_, _, _, a) in menu), "nothing outside the windows")

        width, height = png_size(os.path.join(self.out, "about.png"))
        self.assertTrue(278 <= width <= 278 + 20 and 170 < height <= 170 + 60, (width, height))

    def test_reports_a_program_that_does_not_start(self):
        result = subprocess.run([sys.executable, "-B", SCRIPT, "--program", "/bin/false",
                                 "--out", self.out], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn("take_screenshots: the program ended", result.stderr)
        self.assertNotIn("Traceback", result.stderr)
        self.assertEqual(os.listdir(self.out), [])


if __name__ == "__main__":
    unittest.main()
