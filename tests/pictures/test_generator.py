"""The committed pictures are exactly what the generator draws, and it fails cleanly."""

import os
import subprocess
import sys
import tempfile
import unittest

import readers

sys.path.insert(0, os.path.dirname(readers.GENERATOR))
import make_pictures  # noqa: E402


def run_generator(*args):
    return subprocess.run([sys.executable, "-B", readers.GENERATOR, *args],
                          capture_output=True, text=True)


class Generator(unittest.TestCase):
    def test_reproduces_committed_files_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as out:
            result = run_generator("--out", out)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(sorted(os.listdir(out)), sorted(readers.PICTURES))
            for name in readers.PICTURES:
                with self.subTest(name), open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), readers.load(name),
                                     f"resources/{name} differs: rerun tools/make_pictures.py")

    def test_refuses_more_colours_than_the_format_holds(self):
        wide = make_pictures.Canvas(5, 1, (0, 0, 0))
        for x in range(5):
            wide.put(x, 0, (x, x, x))
        cases = (("palette limit", lambda: make_pictures.palette_of(wide, 4)),
                 ("bits per pixel", lambda: make_pictures.encode_bmp(wide, 1, wide.colours())))
        for label, call in cases:
            with self.subTest(label), self.assertRaises(ValueError):
                call()

    def test_unwritable_output_is_reported_and_leaves_no_partial_file(self):
        def out_is_a_file(parent):
            with open(os.path.join(parent, "taken"), "w") as f:
                f.write("keep me")
            return os.path.join(parent, "taken")

        def picture_name_is_a_folder(parent):
            os.mkdir(os.path.join(parent, "scale.bmp"))
            return parent

        for label, prepare in (("out is a file", out_is_a_file),
                               ("scale.bmp is a folder", picture_name_is_a_folder)):
            with self.subTest(label), tempfile.TemporaryDirectory() as parent:
                result = run_generator("--out", prepare(parent))
                self.assertEqual(result.returncode, 1)
                self.assertIn("make_pictures:", result.stderr)
                self.assertNotIn("Traceback", result.stderr)
                left = [n for _, _, names in os.walk(parent) for n in names]
                self.assertFalse([n for n in left if n.startswith(".tmp-")], left)
                if os.path.isfile(os.path.join(parent, "taken")):
                    with open(os.path.join(parent, "taken")) as f:
                        self.assertEqual(f.read(), "keep me")

if __name__ == "__main__":
    unittest.main()
