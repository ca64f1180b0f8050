"""Each picture file parses as what it claims to be, in the sizes and depths the backends expect."""

import unittest

import readers

STANDARD_16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
               (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
               (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# name, width, height, accepted bits per pixel, most palette entries
BITMAPS = (
    ("skin.bmp", 208, 51, (8,), 64),
    ("scale.bmp", 10, 48, (4, 8), 3),
)


class Formats(unittest.TestCase):
    def test_bitmaps(self):
        for name, width, height, depths, most in BITMAPS:
            with self.subTest(name):
                data = readers.load(name)
                bmp = readers.read_bmp(data)
                info = bmp["info"]
                self.assertEqual(bmp["magic"], b"BM")
                self.assertEqual(bmp["file_size"], len(data))
                self.assertEqual(info["size"], 40)
                self.assertEqual((info["width"], info["height"]), (width, height))  # bottom-up
                self.assertEqual((info["planes"], info["compression"]), (1, 0))
                self.assertIn(info["bits"], depths)
                self.assertTrue(0 < info["colours_used"] <= most)
                self.assertEqual(bmp["offset"], 14 + 40 + 4 * info["colours_used"])
                self.assertEqual(len(data) - bmp["offset"], info["image_size"])
                used = {i for row in bmp["indices"] for i in row}
                self.assertLess(max(used), info["colours_used"])

    def test_icon(self):
        data = readers.load("pelmora.ico")
        ico = readers.read_ico(data)
        self.assertEqual(ico["directory"], (0, 1, 1))
        entry = ico["entry"]
        self.assertEqual((entry["width"], entry["height"], entry["colours"]), (32, 32, 16))
        self.assertEqual((entry["planes"], entry["bits"], entry["bytes"]), (1, 4, 744))
        self.assertEqual(entry["offset"] + entry["bytes"], len(data))
        info = ico["info"]
        self.assertEqual((info["size"], info["width"], info["height"]), (40, 32, 64))
        self.assertEqual((info["bits"], info["compression"]), (4, 0))
        self.assertEqual(ico["palette"], STANDARD_16)

    def test_desktop_icons_are_the_same_picture_as_the_windows_icon(self):
        ico = readers.read_ico(readers.load("pelmora.ico"))
        expected32 = [[(0, 0, 0, 0) if masked else STANDARD_16[i] + (255,)
                       for i, masked in zip(indices, mask)]
                      for indices, mask in zip(ico["indices"], ico["mask"])]
        for name, size in (("pelmora.png", 32), ("pelmora-48.png", 48), ("pelmora-128.png", 128)):
            with self.subTest(name):
                png = readers.read_png(readers.load(name))
                self.assertEqual((png["width"], png["height"]), (size, size))
                self.assertEqual((png["depth"], png["colour_type"]), (8, 6))  # RGBA
                # Every enlarged pixel comes from the icon pixel it covers.
                for y in range(size):
                    for x in range(size):
                        source = expected32[y * 32 // size][x * 32 // size]
                        self.assertEqual(png["rows"][y][x], source, (x, y))


if __name__ == "__main__":
    unittest.main()
