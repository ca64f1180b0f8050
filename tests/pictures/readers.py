"""Minimal readers for the committed pictures, written apart from the generator."""

import os
import struct
import zlib

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RESOURCES = os.path.join(REPO_ROOT, "resources")
GENERATOR = os.path.join(REPO_ROOT, "tools", "make_pictures.py")
# The desktop's icon sizes and the file each is in; 32 is the Windows icon itself.
DESKTOP_ICONS = {size: f"pelmora-{size}.png" if size != 32 else "pelmora.png"
                 for size in (16, 22, 24, 32, 48, 64, 128, 256)}
PICTURES = ("skin.bmp", "scale.bmp", "pelmora.ico", *DESKTOP_ICONS.values())


def load(name):
    with open(os.path.join(RESOURCES, name), "rb") as f:
        return f.read()


INFO_FIELDS = ("size", "width", "height", "planes", "bits", "compression", "image_size",
               "x_ppm", "y_ppm", "colours_used", "colours_important")


def info_header(data, at):
    return dict(zip(INFO_FIELDS, struct.unpack_from("<IiiHHIIiiII", data, at)))


def palette(data, at, count):
    return [tuple(reversed(data[at + 4 * i : at + 4 * i + 3])) for i in range(count)]


def unpack_rows(data, at, width, height, bits):
    """Palette indices, rows top to bottom, from bottom-up rows padded to 4 bytes."""
    stride = (width * bits + 31) // 32 * 4
    rows = []
    for r in range(height):
        line = data[at + r * stride : at + (r + 1) * stride]
        row = []
        for x in range(width):
            bit = x * bits
            row.append(line[bit // 8] >> (8 - bits - bit % 8) & ((1 << bits) - 1))
        rows.append(row)
    return rows[::-1]


def read_bmp(data):
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    info = info_header(data, 14)
    count = info["colours_used"] or 1 << info["bits"]
    return {"magic": magic, "file_size": file_size, "offset": offset, "info": info,
            "palette": palette(data, 54, count),
            "indices": unpack_rows(data, offset, info["width"], info["height"], info["bits"])}


def read_ico(data):
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    fields = ("width", "height", "colours", "reserved", "planes", "bits", "bytes", "offset")
    entry = dict(zip(fields, struct.unpack_from("<BBBBHHII", data, 6)))
    at = entry["offset"]
    info = info_header(data, at)
    width, height = info["width"], info["height"] // 2
    xor_at = at + 40 + 64
    and_at = xor_at + height * ((width * 4 + 31) // 32 * 4)
    return {"directory": (reserved, kind, count), "entry": entry, "info": info,
            "palette": palette(data, at + 40, 16),
            "indices": unpack_rows(data, xor_at, width, height, 4),
            "mask": unpack_rows(data, and_at, width, height, 1)}


def read_png(data):
    """Width, height, colour type and RGBA rows of an unfiltered 8-bit RGBA PNG; checks CRCs."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    at, chunks = 8, []
    while at < len(data):
        (length,) = struct.unpack_from(">I", data, at)
        kind, body = data[at + 4 : at + 8], data[at + 8 : at + 8 + length]
        (crc,) = struct.unpack_from(">I", data, at + 8 + length)
        if crc != zlib.crc32(kind + body):
            raise ValueError(f"bad CRC in {kind!r}")
        chunks.append((kind, body))
        at += 12 + length
    if not chunks or chunks[0][0] != b"IHDR" or chunks[-1][0] != b"IEND":
        raise ValueError("chunks do not start with IHDR and end with IEND")
    width, height, depth, colour_type = struct.unpack_from(">IIBB", chunks[0][1])
    raw = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    stride = 1 + 4 * width
    if len(raw) != height * stride:
        raise ValueError("pixel data does not fill the picture")
    rows = []
    for y in range(height):
        line = raw[y * stride : (y + 1) * stride]
        if line[0] != 0:
            raise ValueError(f"row {y} uses filter {line[0]}, only 0 is read here")
        rows.append([tuple(line[1 + 4 * x : 5 + 4 * x]) for x in range(width)])
    return {"width": width, "height": height, "depth": depth, "colour_type": colour_type,
            "rows": rows}
