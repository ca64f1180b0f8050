#!/usr/bin/env python3
"""Draws Pelmora's pictures and writes them as the files both backends embed.

    resources/skin.bmp         208 x 51, 8-bit palette: the memory module behind the figures
    resources/scale.bmp        10 x 48, 4-bit palette: the meter's scale
    resources/pelmora.ico      32 x 32, 4 bpp with a 1-bit mask: the window and tray icon
    resources/pelmora.png      the icon as RGBA for the Linux desktop, pixel for pixel,
    resources/pelmora-N.png    and at the desktop's other icon sizes N (16 to 256): a whole
                               multiple of 32 repeats each pixel (the pixel art stays sharp),
                               any other size averages the area each pixel covers

Only the standard library is used. The output is the same on every run, so the committed
files can be checked against a fresh run.

Usage: make_pictures.py [--out DIR] [--preview DIR]
"""

import argparse
import os
import struct
import sys
import zlib

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO_ROOT, "tests", "support"))

from harness import write_atomically  # noqa: E402

DEFAULT_OUT = os.path.join(REPO_ROOT, "resources")

SKIN_SIZE = (208, 51)
SCALE_SIZE = (10, 48)
ICON_SIZE = 32
SKIN_MAX_COLOURS = 64
# The icon sizes of the desktop's icon theme besides the 32 x 32 original.
DESKTOP_ICON_SIZES = (16, 22, 24, 48, 64, 128, 256)

# The 16-colour palette every Windows version knows, in its index order.
STANDARD_16 = (
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
)


class Canvas:
    """A picture in RGB, rows top to bottom."""

    def __init__(self, width, height, fill):
        self.width = width
        self.height = height
        self.rows = [[fill] * width for _ in range(height)]

    def get(self, x, y):
        return self.rows[y][x]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with both corners included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def colours(self):
        return sorted({c for row in self.rows for c in row})


# ---------------------------------------------------------------------------------------------
# The skin: a memory module seen from the front.

OUTLINE = (20, 36, 20)
BOARD = (0, 123, 0)  # the board's main colour
BOARD_SHADE = (0, 98, 0)  # traces and the shadows the parts cast on the board
BOARD_EDGE = (40, 150, 40)  # the lit top edge of the board
CHIP_TOP = (30, 30, 34)  # chip bodies shade from top to bottom
CHIP_MID = (24, 24, 28)
CHIP_LOW = (18, 18, 22)
CHIP_RIM = (62, 62, 66)  # the lit top and left rim of a chip body
CHIP_DOT = (6, 6, 8)  # the pin-1 dimple
PIN_FOOT = (196, 196, 196)
PIN_LEG = (128, 128, 128)
MARKING = (176, 176, 176)
PART = CHIP_LOW
PART_END = (168, 168, 168)
HOLE_RING = (184, 184, 184)
HOLE_WALL = (140, 140, 140)
HOLE_DEPTH = (96, 96, 96)
PAD = (236, 200, 40)
PAD_LIGHT = (255, 236, 120)
PAD_DARK = (196, 150, 20)
NOTCH = (128, 128, 128)

CHIP_COUNT = 8
CHIP_LEFT = 8  # left pin column of the first chip
CHIP_PITCH = 23
CHIP_TOP_ROW = 3
CHIP_BOTTOM_ROW = 37
PAD_ROWS = (47, 49)
NOTCHES = ((58, 62), (134, 138))  # the grey columns of each notch
NOTCH_TOP = 45


# An ordered 4 x 4 threshold matrix, so shading and glare fade without visible steps.
BAYER_4 = ((0, 8, 2, 10), (12, 4, 14, 6), (3, 11, 1, 9), (15, 7, 13, 5))


def dithered_level(position, x, y):
    """Rounds a fractional level up or down by the pixel's place in the ordered matrix."""
    level = int(position)
    if position - level > (BAYER_4[y % 4][x % 4] + 0.5) / 16:
        level += 1
    return level


def draw_chip(c, x0):
    """One memory chip: pins in columns x0..x0+1 and x0+16..x0+17, body between."""
    top, bottom = CHIP_TOP_ROW, CHIP_BOTTOM_ROW
    body_left, body_right = x0 + 2, x0 + 15
    shades = (CHIP_TOP, CHIP_MID, CHIP_LOW)
    for y in range(top, bottom + 1):
        position = (y - top) / (bottom - top) * (len(shades) - 1)
        for x in range(body_left, body_right + 1):
            c.put(x, y, shades[dithered_level(position, x, y)])
    c.rect(body_left, top, body_right, top, CHIP_RIM)
    c.rect(body_left, top, body_left, bottom, CHIP_RIM)
    # The chip's shadow on the board, below and to the right.
    c.rect(body_right + 1, top + 1, body_right + 1, bottom + 1, BOARD_SHADE)
    c.rect(body_left + 1, bottom + 1, body_right + 1, bottom + 1, BOARD_SHADE)
    for y in range(top + 2, bottom - 1, 2):
        c.put(x0, y, PIN_FOOT)
        c.put(x0 + 1, y, PIN_LEG)
        c.put(x0 + 16, y, PIN_LEG)
        c.put(x0 + 17, y, PIN_FOOT)
    c.rect(body_left + 2, top + 2, body_left + 3, top + 3, CHIP_DOT)
    # Printed type lines and a maker's square in the lower part of the body.
    for y, x_from, x_to in ((27, 4, 11), (29, 4, 9), (31, 4, 12), (33, 7, 10)):
        c.rect(x0 + x_from, y, x0 + x_to, y, MARKING)
    c.rect(x0 + 11, 33, x0 + 12, 34, MARKING)
    c.rect(x0 + 4, 35, x0 + 5, 35, MARKING)


def draw_small_chip(c, top):
    """A small chip at the right end, body in columns 193..199."""
    bottom = top + 8
    c.rect(193, top, 199, bottom, CHIP_MID)
    c.rect(193, top, 199, top, CHIP_RIM)
    c.rect(193, top, 193, bottom, CHIP_RIM)
    c.rect(200, top + 1, 200, bottom + 1, BOARD_SHADE)
    for y in range(top + 2, bottom, 2):
        c.put(192, y, PIN_FOOT)
        c.put(201, y, PIN_FOOT)
    c.rect(195, top + 2, 196, top + 2, MARKING)


def draw_small_parts(c):
    """Resistors and capacitors in a row under the chips, each with metal ends."""
    for i in range(CHIP_COUNT):
        x0 = CHIP_LEFT + i * CHIP_PITCH
        for dx in (2, 10):
            left = x0 + dx
            c.rect(left, 40, left, 43, PART_END)
            c.rect(left + 1, 40, left + 4, 43, PART)
            c.rect(left + 5, 40, left + 5, 43, PART_END)
            c.rect(left + 1, 44, left + 6, 44, BOARD_SHADE)


def draw_hole(c, cx, cy):
    """A plated mounting hole centred on pixel (cx, cy): a ring round a shaded bore."""
    for y in range(cy - 4, cy + 5):
        for x in range(cx - 4, cx + 5):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= 2.3**2:
                c.put(x, y, HOLE_WALL if y < cy else HOLE_DEPTH)
            elif d2 <= 3.5**2:
                c.put(x, y, HOLE_RING)


def draw_contacts(c):
    """Gold fingers along the bottom edge and the traces that lead up to them."""
    first, last = PAD_ROWS
    for x in range(3, 205, 3):
        for dx in (0, 1):
            c.put(x + dx, first, PAD_LIGHT)
            c.rect(x + dx, first + 1, x + dx, last - 1, PAD)
            c.put(x + dx, last, PAD_DARK)
        c.rect(x, 45, x, 46, BOARD_SHADE)


def draw_notch(c, left, right):
    """A key notch cut into the bottom edge, with the outline following the cut."""
    c.rect(left, NOTCH_TOP, right, 50, NOTCH)
    c.rect(left - 1, NOTCH_TOP, left - 1, 49, OUTLINE)
    c.rect(right + 1, NOTCH_TOP, right + 1, 49, OUTLINE)
    c.rect(left, NOTCH_TOP - 1, right, NOTCH_TOP - 1, OUTLINE)


GLARE_LEVELS = (0.0, 0.05, 0.10, 0.15, 0.20, 0.25)
GLARE_CENTRE = (34.0, 12.0)
GLARE_RADII = (72.0, 44.0)


def glare_strength(x, y):
    """Glare in levels of GLARE_LEVELS (fractional), brightest up and left."""
    dx = (x - GLARE_CENTRE[0]) / GLARE_RADII[0]
    dy = (y - GLARE_CENTRE[1]) / GLARE_RADII[1]
    falloff = max(0.0, 1.0 - (dx * dx + dy * dy))
    return falloff * (len(GLARE_LEVELS) - 1)


def lighten(colour, amount):
    return tuple(min(255, round(v + (255 - v) * amount)) for v in colour)


# Glare shows on the varnished board and, fainter, on the chips' matt resin; metal and print
# stay as they are, which keeps the palette small.
GLARE_ON_BOARD = (BOARD, BOARD_SHADE, BOARD_EDGE)
GLARE_ON_CHIPS = (CHIP_TOP, CHIP_MID, CHIP_LOW, CHIP_RIM, CHIP_DOT)


def add_glare(c):
    """Light from above left reflected by the board, over the left part only."""
    for y in range(1, PAD_ROWS[0] - 1):
        for x in range(1, c.width - 1):
            colour = c.get(x, y)
            if colour not in GLARE_ON_BOARD and colour not in GLARE_ON_CHIPS:
                continue
            level = dithered_level(glare_strength(x, y), x, y)
            if level:
                amount = GLARE_LEVELS[level] / (1 if colour in GLARE_ON_BOARD else 3)
                c.put(x, y, lighten(colour, amount))


def draw_skin():
    width, height = SKIN_SIZE
    c = Canvas(width, height, BOARD)
    c.rect(1, 1, width - 2, 1, BOARD_EDGE)
    draw_contacts(c)
    for i in range(CHIP_COUNT):
        draw_chip(c, CHIP_LEFT + i * CHIP_PITCH)
    draw_small_chip(c, 3)
    draw_small_chip(c, 30)
    draw_small_parts(c)
    draw_hole(c, 4, 42)
    draw_hole(c, 203, 42)
    add_glare(c)
    c.rect(0, 0, width - 1, 0, OUTLINE)
    c.rect(0, height - 1, width - 1, height - 1, OUTLINE)
    c.rect(0, 0, 0, height - 1, OUTLINE)
    c.rect(width - 1, 0, width - 1, height - 1, OUTLINE)
    for left, right in NOTCHES:
        draw_notch(c, left, right)
    return c


# ---------------------------------------------------------------------------------------------
# The meter's scale and the icon.

WHITE = (255, 255, 255)
BLUE = (0, 0, 255)
BLACK = (0, 0, 0)
LONG_TICK_ROWS = (0, 12, 24, 36)


def draw_scale():
    width, height = SCALE_SIZE
    c = Canvas(width, height, WHITE)
    for y in range(0, height - 2, 3):
        c.rect(0, y, 5 if y in LONG_TICK_ROWS else 1, y, BLUE)
    c.rect(width - 1, 0, width - 1, height - 1, BLACK)
    return c


ICON_MODULE = (1, 11, 30, 23)  # left, top, right, bottom
ICON_BOARD = (0, 128, 0)
ICON_GREY = (192, 192, 192)
ICON_YELLOW = (255, 255, 0)
ICON_CHIP_COLUMNS = (4, 10, 16, 22)
ICON_PIN_ROWS = (13, 15, 17, 19)
ICON_MARK_ROWS = (14, 15, 18, 19)
ICON_CONTACTS = (3, 5, 7, 11, 13, 15, 19, 21, 23, 25, 27)


def draw_icon():
    """The icon as colours plus an opacity map (True where the module is)."""
    c = Canvas(ICON_SIZE, ICON_SIZE, BLACK)
    left, top, right, bottom = ICON_MODULE
    c.rect(left + 1, top + 1, right - 1, bottom - 1, ICON_BOARD)
    for x in ICON_CHIP_COLUMNS:
        c.rect(x, 13, x + 2, 19, BLACK)
        for y in ICON_PIN_ROWS:
            c.put(x - 1, y, ICON_GREY)
            c.put(x + 3, y, ICON_GREY)
    for y in ICON_MARK_ROWS:
        c.put(27, y, ICON_GREY)
        c.put(28, y, BLACK)
        c.put(29, y, ICON_GREY)
    for x in ICON_CONTACTS:
        c.put(x, 22, ICON_YELLOW)
    opaque = [[left <= x <= right and top <= y <= bottom for x in range(ICON_SIZE)]
              for y in range(ICON_SIZE)]
    return c, opaque


# ---------------------------------------------------------------------------------------------
# File formats.


def palette_of(canvas, limit):
    colours = canvas.colours()
    if len(colours) > limit:
        raise ValueError(f"picture uses {len(colours)} colours, the palette holds {limit}")
    return colours


def pack_indices(indices, bits):
    """Packs one row of palette indices, leftmost pixel in the high bits, padded to 4 bytes."""
    per_byte = 8 // bits
    out = bytearray()
    for i in range(0, len(indices), per_byte):
        byte = 0
        for j in range(per_byte):
            value = indices[i + j] if i + j < len(indices) else 0
            byte |= value << (8 - bits * (j + 1))
        out.append(byte)
    out.extend(b"\0" * (-len(out) % 4))
    return bytes(out)


def info_header(width, height, bits, image_size, colours_used):
    pixels_per_metre = 3780  # 96 dots per inch
    return struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size,
        pixels_per_metre, pixels_per_metre, colours_used, 0,
    )


def rgbquads(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def encode_bmp(canvas, bits, palette):
    """A palettised, uncompressed, bottom-up BMP with a BITMAPINFOHEADER."""
    if len(palette) > 1 << bits:
        raise ValueError(f"{len(palette)} colours do not fit in {bits} bits per pixel")
    lookup = {colour: i for i, colour in enumerate(palette)}
    rows = [pack_indices([lookup[p] for p in row], bits) for row in reversed(canvas.rows)]
    pixels = b"".join(rows)
    colour_table = rgbquads(palette)
    offset = 14 + 40 + len(colour_table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = info_header(canvas.width, canvas.height, bits, len(pixels), len(palette))
    return header + info + colour_table + pixels


def encode_ico(canvas, opaque):
    """One 32 x 32 image, 4 bpp on the standard palette, with its AND mask."""
    lookup = {colour: i for i, colour in enumerate(STANDARD_16)}
    xor_rows, and_rows = [], []
    for y in reversed(range(canvas.height)):
        indices = []
        for x in range(canvas.width):
            colour = canvas.get(x, y) if opaque[y][x] else BLACK
            if colour not in lookup:
                raise ValueError(f"icon colour {colour} is not in the standard palette")
            indices.append(lookup[colour])
        xor_rows.append(pack_indices(indices, 4))
        and_rows.append(pack_indices([0 if o else 1 for o in opaque[y]], 1))
    xor, mask = b"".join(xor_rows), b"".join(and_rows)
    width, height = canvas.width, canvas.height
    image = info_header(width, 2 * height, 4, len(xor) + len(mask), 0)
    image += rgbquads(STANDARD_16) + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def encode_png(rgba_rows):
    """An 8-bit RGBA PNG; rgba_rows holds rows of (r, g, b, a)."""
    height, width = len(rgba_rows), len(rgba_rows[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rgba_rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def icon_rgba(canvas, opaque, size):
    """The icon at size x size as RGBA rows; transparent pixels are 0,0,0,0.

    At a whole multiple of the icon's size each pixel is repeated. At any other size each new
    pixel averages the part of the icon it covers, weighted by area and opacity, so the
    picture keeps its place and proportions and gains no uneven pixel rows.
    """
    source = canvas.width
    if size % source == 0:
        factor = size // source
        return [[canvas.get(x // factor, y // factor) + (255,) if opaque[y // factor][x // factor]
                 else (0, 0, 0, 0) for x in range(size)] for y in range(size)]
    return [[area_average(canvas, opaque, size, x, y) for x in range(size)] for y in range(size)]


def covered(target, size, source):
    """(source pixel, overlap) along one axis for the new pixel target. A source pixel spans
    size units and a new pixel spans source units, so every overlap is a whole number."""
    start, end = target * source, (target + 1) * source
    return [(s, min(end, (s + 1) * size) - max(start, s * size))
            for s in range(start // size, (end - 1) // size + 1)]


def rounded_div(numerator, denominator):
    return (2 * numerator + denominator) // (2 * denominator)


def area_average(canvas, opaque, size, x, y):
    """One new pixel: colours averaged with opacity as weight, opacity averaged by area."""
    source = canvas.width
    whole = source * source  # the area of one new pixel in units
    opacity = 0
    sums = [0, 0, 0]
    for sy, height in covered(y, size, source):
        for sx, width in covered(x, size, source):
            if opaque[sy][sx]:
                weight = width * height
                opacity += weight
                for i, value in enumerate(canvas.get(sx, sy)):
                    sums[i] += value * weight
    if opacity == 0:
        return (0, 0, 0, 0)
    return tuple(rounded_div(v, opacity) for v in sums) + (rounded_div(255 * opacity, whole),)


def build_all():
    """Every output file by name, as bytes."""
    skin = draw_skin()
    scale = draw_scale()
    icon, opaque = draw_icon()
    files = {
        "skin.bmp": encode_bmp(skin, 8, palette_of(skin, SKIN_MAX_COLOURS)),
        "scale.bmp": encode_bmp(scale, 4, [WHITE, BLUE, BLACK]),
        "pelmora.ico": encode_ico(icon, opaque),
        "pelmora.png": encode_png(icon_rgba(icon, opaque, ICON_SIZE)),
    }
    for size in DESKTOP_ICON_SIZES:
        files[f"pelmora-{size}.png"] = encode_png(icon_rgba(icon, opaque, size))
    return files


def write_previews(folder):
    """Enlarged RGB copies for looking at: the icon shows its transparent part in pink."""
    os.makedirs(folder, exist_ok=True)
    icon, opaque = draw_icon()
    shown_icon = Canvas(ICON_SIZE, ICON_SIZE, (255, 0, 255))
    for y in range(ICON_SIZE):
        for x in range(ICON_SIZE):
            if opaque[y][x]:
                shown_icon.put(x, y, icon.get(x, y))
    for name, canvas, factor in (("skin", draw_skin(), 8), ("scale", draw_scale(), 12),
                                 ("icon", shown_icon, 12)):
        rows = [[px + (255,) for px in row for _ in range(factor)]
                for row in canvas.rows for _ in range(factor)]
        write_atomically(os.path.join(folder, f"{name}-x{factor}.png"), encode_png(rows))


def main(argv):
    parser = argparse.ArgumentParser(description="Draw Pelmora's pictures.")
    parser.add_argument("--out", default=DEFAULT_OUT, help="folder for the pictures")
    parser.add_argument("--preview", help="also write enlarged previews to this folder")
    args = parser.parse_args(argv)
    try:
        os.makedirs(args.out, exist_ok=True)
        for name, data in build_all().items():
            write_atomically(os.path.join(args.out, name), data)
        if args.preview:
            write_previews(args.preview)
    except (OSError, ValueError) as error:
        print(f"make_pictures: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
