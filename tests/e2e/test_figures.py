"""The reference scaling the end-to-end checks compare against, on known values."""

import unittest

from memfigures import scale, tip_for

KIB, MIB, GIB = 1024, 1024**2, 1024**3


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


if __name__ == "__main__":
    unittest.main()
