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

    def test_desktop_icons_are_the_windows_icon_at_each_size(self):
        ico = readers.read_ico(readers.load("pelmora.ico"))
        icon = [[(0, 0, 0, 0) if masked else STANDARD_16[i] + (255,)
                 for i, masked in zip(indices, mask)]
                for indices, mask in zip(ico["indices"], ico["mask"])]
        opaque_share = sum(px[3] for row in icon for px in row) / (255 * 32 * 32)
        for size, name in readers.DESKTOP_ICONS.items():
            with self.subTest(name):
                png = readers.read_png(readers.load(name))
                self.assertEqual((png["width"], png["height"]), (size, size))
                self.assertEqual((png["depth"], png["colour_type"]), (8, 6))  # RGBA
                rows = png["rows"]
                if size % 32 == 0:
                    # Sharp: every pixel is the icon pixel it covers.
                    for y in range(size):
                        for x in range(size):
                            self.assertEqual(rows[y][x], icon[y * 32 // size][x * 32 // size],
                                             (x, y))
                    continue
                # Smooth: each pixel blends only the icon pixels under it, and the picture as
                # a whole covers as much as the icon does.
                for y in range(size):
                    for x in range(size):
                        under = [icon[sy][sx]
                                 for sy in range(y * 32 // size, -(-(y + 1) * 32 // size))
                                 for sx in range(x * 32 // size, -(-(x + 1) * 32 // size))]
                        shown = [px for px in under if px[3]]
                        if not shown:
                            self.assertEqual(rows[y][x], (0, 0, 0, 0), (x, y))
                            continue
                        for channel in range(3):
                            values = [px[channel] for px in shown]
                            self.assertTrue(min(values) <= rows[y][x][channel] <= max(values),
                                            (x, y, channel, rows[y][x], shown))
                        if len(shown) == len(under):
                            self.assertEqual(rows[y][x][3], 255, (x, y))
                coverage = sum(px[3] for row in rows for px in row) / (255 * size * size)
                self.assertAlmostEqual(coverage, opaque_share, delta=0.5 / 255)

if __name__ == "__main__":
    unittest.main()
