#!/usr/bin/env python3
"""Checks the skin pictures against what the window expects of them, reading the files directly.

python3 resources/skin/check_skin.py [folder]   (exit status 1 and a list of faults if any)

JPEG: baseline, three 8-bit components, the exact size. PNG: 8-bit RGBA, the exact size.
Sprite: 24-bit uncompressed BMP, 121 x 60, the bottom-left pixel of every cell in every state is
the transparent key, and the minimise cell has nothing right of its 25 shown columns.
"""

import os
import struct
import sys
import zlib

JPEGS = {
    "header.jpg": (333, 135),
    "header_fill.jpg": (6, 135),
    "header_right.jpg": (180, 135),
    "border_left.jpg": (8, 450),
    "border_right.jpg": (21, 450),
    "border_far_right.jpg": (15, 376),
    "preview_placeholder.jpg": (146, 175),
    "filler.jpg": (12, 12),
    "heading_title.jpg": (167, 24),
    "heading_author.jpg": (167, 24),
    "bottom_left.jpg": (227, 45),
    "bottom_fill.jpg": (7, 45),
    "bottom_right.jpg": (69, 45),
}
PNGS = {
    "separator.png": (126, 2),
    "hint.png": (16, 16),
    "icon_add.png": (32, 32),
    "icon_remove.png": (32, 32),
    "icon_remove_all.png": (32, 32),
    "icon_convert.png": (32, 32),
    "icon_home.png": (32, 32),
    "icon_cover.png": (32, 32),
    "icon_folder.png": (32, 32),
}
# Sprite cells: first column and width; rows of 20 pixels for normal, hover and pressed.
SPRITE_CELLS = ((0, 40), (40, 28), (68, 24), (92, 29))
MIN_SHOWN = 25


def check_jpeg(data, size):
    if data[:2] != b"\xff\xd8":
        return "not a JPEG file"
    pos = 2
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            return "broken marker at offset %d" % pos
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        if marker == 0xC0:
            precision, h, w, ncomp = struct.unpack(">BHHB", data[pos + 4:pos + 10])
            if (w, h) != size:
                return "size %dx%d, expected %dx%d" % (w, h, *size)
            if precision != 8 or ncomp != 3:
                return "%d-bit with %d components, expected 8-bit colour" % (precision, ncomp)
            return None
        if 0xC1 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return "not baseline (SOF marker 0x%02X)" % marker
        if marker == 0xDA:
            break
        pos += 2 + length
    return "no baseline frame header"


def check_png(data, size):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return "not a PNG file"
    w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
    if (w, h) != size:
        return "size %dx%d, expected %dx%d" % (w, h, *size)
    if depth != 8 or colour != 6 or interlace != 0:
        return "bit depth %d, colour type %d, interlace %d; expected 8-bit RGBA, not interlaced" % (
            depth, colour, interlace)
    # The alpha must be real: some pixel transparent, some opaque or partly so.
    pos, idat = 8, b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 4 * w
    alphas = set()
    prev = bytearray(4 * w)
    for y in range(h):
        kind, row = raw[y * stride], bytearray(raw[y * stride + 1:(y + 1) * stride])
        for i in range(len(row)):
            a = row[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        alphas.update(row[3::4])
        prev = row
    if size != (126, 2) and not (0 in alphas and len(alphas) > 2):
        return "alpha channel is not used (values %s)" % sorted(alphas)[:5]
    return None


def check_sprite(data):
    if data[:2] != b"BM":
        return "not a BMP file"
    offset = struct.unpack("<I", data[10:14])[0]
    header, w, h, planes, bits, compression = struct.unpack("<IiiHHI", data[14:34])
    if (w, abs(h)) != (121, 60):
        return "size %dx%d, expected 121x60" % (w, abs(h))
    if header != 40 or planes != 1 or bits != 24 or compression != 0:
        return "%d-byte header, %d bits per pixel, compression %d; expected a 40-byte header, " \
               "24 bits, uncompressed" % (header, bits, compression)
    stride = (w * 3 + 3) & ~3

    def pixel(x, y):
        row = (abs(h) - 1 - y) if h > 0 else y
        i = offset + row * stride + x * 3
        return data[i:i + 3]

    faults = []
    for state in range(3):
        bottom = 20 * state + 19
        key = pixel(0, bottom)
        for x0, cw in SPRITE_CELLS:
            if pixel(x0, bottom) != key:
                faults.append("cell at column %d, row %d: bottom-left pixel is not the key" %
                              (x0, bottom))
        for y in range(20 * state, 20 * state + 20):
            for x in range(MIN_SHOWN, 40):
                if pixel(x, y) != key:
                    faults.append("minimise cell draws at column %d, row %d, never shown" %
                                  (x, y))
                    break
        glyph = sum(pixel(x, y) != key for y in range(20 * state, bottom + 1)
                    for x in range(121))
        if glyph == 0:
            faults.append("state %d is empty" % state)
    return "; ".join(faults) or None


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    faults = 0
    checks = [(n, lambda d, s=s: check_jpeg(d, s)) for n, s in JPEGS.items()]
    checks += [(n, lambda d, s=s: check_png(d, s)) for n, s in PNGS.items()]
    checks.append(("sprite.bmp", check_sprite))
    for name, check in checks:
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as f:
                fault = check(f.read())
        except OSError as error:
            fault = str(error)
        except (struct.error, zlib.error, IndexError) as error:
            fault = "unreadable (%s)" % error
        if fault:
            faults += 1
            print("%s: %s" % (name, fault))
    print("%d pictures checked, %d faulty" % (len(checks), faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
