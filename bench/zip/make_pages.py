#!/usr/bin/env python3
"""Fills a staging tree with PAGES generated PNG pages (about 1.2 MB each at
the default 1000x800) and their wrappers, like a conversion leaves it before
the archive step.
    make_pages.py STAGING_DIR PAGES [WIDTHxHEIGHT]"""
import os
import random
import struct
import sys
import zlib


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def page_png(rng, width=1000, height=800):
    # Half noise, half flat colour per row: compressed data like a scanned
    # page's, neither all random nor all runs.
    rows = []
    half = width * 3 // 2
    flat = bytes([rng.randrange(256)]) * (width * 3 - half)
    for _ in range(height):
        rows.append(b"\x00" + rng.randbytes(half) + flat)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 1)) + chunk(b"IEND", b""))


def main():
    root, pages = sys.argv[1], int(sys.argv[2])
    width, height = (int(v) for v in (sys.argv[3] if len(sys.argv) > 3 else "1000x800").split("x"))
    oebps = os.path.join(root, "OEBPS")
    os.makedirs(os.path.join(root, "META-INF"), exist_ok=True)
    os.makedirs(oebps, exist_ok=True)
    with open(os.path.join(root, "mimetype"), "wb") as f:
        f.write(b"application/epub+zip")
    with open(os.path.join(root, "META-INF", "container.xml"), "wb") as f:
        f.write(b'<?xml version="1.0"?>\n<container version="1.0" '
                b'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles>'
                b'<rootfile full-path="OEBPS/fb.opf" '
                b'media-type="application/oebps-package+xml"/></rootfiles></container>\n')
    rng = random.Random(1)
    for n in range(1, pages + 1):
        with open(os.path.join(oebps, "image%d.png" % n), "wb") as f:
            f.write(page_png(rng, width, height))
        with open(os.path.join(oebps, "page%d.html" % n), "w") as f:
            f.write('<html xmlns="http://www.w3.org/1999/xhtml"><body>'
                    '<img src="image%d.png"/></body></html>\n' % n)


if __name__ == "__main__":
    main()
