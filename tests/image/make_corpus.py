#!/usr/bin/env python3
"""Writes the PNG test files of tests/image: the valid corpus (corpus/) and the
crafted malformed files (malformed/). The output is committed; run this again
only to change it:  python3 tests/image/make_corpus.py

Everything is encoded here with zlib so that every row filter, chunk layout
and defect is exactly the one intended. Valid files are checked by the tests
against libpng's decoding; malformed files are named
<ExpectedExceptionClass>__<what>.png.
"""
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def chunk(ctype, data, crc=None):
    if crc is None:
        crc = zlib.crc32(ctype + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + ctype + data + struct.pack(">I", crc)


def ihdr(w, h, depth, ct, interlace=0, compression=0, filt=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ct, compression, filt, interlace))


def pack_row(pixels, depth, ct):
    """pixels: list of tuples of samples -> bytes of one row."""
    if depth >= 8:
        fmt = "B" if depth == 8 else ">H"
        out = bytearray()
        for px in pixels:
            for s in px:
                out += struct.pack(fmt, s)
        return bytes(out)
    out = bytearray()
    acc = nbits = 0
    for (s,) in pixels:
        acc = (acc << depth) | s
        nbits += depth
        if nbits == 8:
            out.append(acc)
            acc = nbits = 0
    if nbits:
        out.append(acc << (8 - nbits))
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(ftype, row, prior, bpp):
    out = bytearray([ftype])
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prior[i]
        c = prior[i - bpp] if i >= bpp else 0
        pred = [0, a, b, (a + b) >> 1, paeth(a, b, c)][ftype]
        out.append((x - pred) & 0xFF)
    return bytes(out)


def encode(image, depth, ct, interlace, filter_seed=0, level=9):
    """image: rows of pixel tuples -> zlib stream with a mix of row filters."""
    h, w = len(image), len(image[0])
    bpp = max(1, CHANNELS[ct] * depth // 8)
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    raw = bytearray()
    n = filter_seed
    for x0, y0, dx, dy in passes:
        sub = [row[x0::dx] for row in image[y0::dy]]
        if not sub or not sub[0]:
            continue
        prior = bytes(len(pack_row(sub[0], depth, ct)))
        for pixels in sub:
            row = pack_row(pixels, depth, ct)
            raw += filter_row(n % 5, row, prior, bpp)
            prior = row
            n += 1
    return zlib.compress(bytes(raw), level)


def make_png(image, depth, ct, interlace=0, plte=None, trns=None, before_idat=(), after_idat=(),
             idat_split=None, filter_seed=0):
    h, w = len(image), len(image[0])
    data = encode(image, depth, ct, interlace, filter_seed)
    out = SIGNATURE + ihdr(w, h, depth, ct, interlace)
    for c in before_idat:
        out += c
    if plte is not None:
        out += chunk(b"PLTE", bytes(v for rgb in plte for v in rgb))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    if idat_split:
        for i in range(0, len(data), idat_split):
            out += chunk(b"IDAT", data[i:i + idat_split])
    else:
        out += chunk(b"IDAT", data)
    for c in after_idat:
        out += c
    return out + chunk(b"IEND", b"")


def pixels(rng, w, h, ct, depth, palette_size=None, hi_eq_lo=False):
    """Smooth ramps with noise, so that every filter has something to do."""
    top = (1 << depth) - 1
    if palette_size:
        top = palette_size - 1
    image = []
    for y in range(h):
        row = []
        for x in range(w):
            px = []
            for c in range(CHANNELS[ct]):
                if ct in (4, 6) and c == CHANNELS[ct] - 1:
                    v = rng.choice([0, top, rng.randint(0, top), (x * top) // max(1, w - 1)])
                else:
                    v = ((x * 7 + y * 13 + c * 50) * (top + 1) // 97 + rng.randint(0, 3)) % (top + 1)
                if hi_eq_lo:
                    v = (v >> 8) * 257
                px.append(v)
            row.append(tuple(px))
        image.append(row)
    return image


def palette(rng, count):
    seen, entries = set(), []
    while len(entries) < count:
        rgb = (rng.randint(0, 255), rng.randint(0, 255), rng.randint(0, 255))
        if rgb not in seen:
            seen.add(rgb)
            entries.append(rgb)
    return entries


def corpus():
    files = {}
    rng = random.Random(20240605)
    combos = [(0, [1, 2, 4, 8, 16]), (2, [8, 16]), (3, [1, 2, 4, 8]), (4, [8, 16]), (6, [8, 16])]
    for ct, depths in combos:
        for depth in depths:
            for interlace in (0, 1):
                for w, h in ((1, 1), (3, 5), (33, 17)):
                    plte = None
                    size = None
                    if ct == 3:
                        size = min(1 << depth, 200)
                        plte = palette(rng, size)
                    img = pixels(rng, w, h, ct, depth, size)
                    name = "ct%d_d%d_%s_%dx%d" % (ct, depth, "adam7" if interlace else "plain", w, h)
                    files[name] = make_png(img, depth, ct, interlace, plte,
                                           filter_seed=rng.randint(0, 4))

    # Single-colour transparency of grey and RGB: the key colour occurs.
    for ct, depths in ((0, [1, 2, 4, 8, 16]), (2, [8, 16])):
        for depth in depths:
            for interlace in (0, 1):
                img = pixels(rng, 33, 17, ct, depth, hi_eq_lo=depth == 16)
                key = img[5][7]
                for y in range(8, 12):
                    for x in range(3, 20):
                        img[y][x] = key
                trns = b"".join(struct.pack(">H", s) for s in key)
                name = "trns_ct%d_d%d_%s" % (ct, depth, "adam7" if interlace else "plain")
                files[name] = make_png(img, depth, ct, interlace, trns=trns)

    # Palettes with alpha: one fully transparent entry (single colour) and a
    # spread of partial values; tRNS shorter than the palette.
    for depth in (1, 2, 4, 8):
        for interlace in (0, 1):
            size = min(1 << depth, 180)
            plte = palette(rng, size)
            img = pixels(rng, 33, 17, 3, depth, size)
            one = bytes([255] * (size // 2) + [0])
            files["trns_single_d%d_%s" % (depth, "adam7" if interlace else "plain")] = make_png(
                img, depth, 3, interlace, plte, trns=one)
            # At least two entries below 255: with exactly one the object uses
            # single-colour transparency, whatever that entry's value.
            part = [rng.choice([0, 255, rng.randint(1, 254)]) for _ in range(max(2, size - 1))]
            part[0], part[1] = rng.randint(1, 254), 0
            part = bytes(part)
            files["trns_partial_d%d_%s" % (depth, "adam7" if interlace else "plain")] = make_png(
                img, depth, 3, interlace, plte, trns=part)

    # Chunk layouts: data split over many IDAT chunks (one byte each, and an
    # empty one), ancillary chunks around, an identity gamma.
    img = pixels(rng, 33, 17, 6, 8)
    files["layout_idat_1byte"] = make_png(img, 8, 6, 0, idat_split=1)
    files["layout_idat_split_adam7"] = make_png(img, 8, 6, 1, idat_split=97)
    extras = [chunk(b"gAMA", struct.pack(">I", 45455)), chunk(b"tEXt", b"Title\0corpus"),
              chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1)),
              chunk(b"tIME", struct.pack(">HBBBBB", 2024, 6, 5, 12, 30, 0)),
              chunk(b"prIv", b"private ancillary data"),
              chunk(b"bKGD", struct.pack(">HHH", 1, 2, 3))]
    files["layout_ancillary"] = make_png(img, 8, 6, 0, before_idat=extras,
                                         after_idat=[chunk(b"IDAT", b""),
                                                     chunk(b"zTXt", b"k\0\0" + zlib.compress(b"t"))])
    img = pixels(rng, 4000 // 40, 3, 2, 8)
    files["wide_rgb_100x3"] = make_png(img, 8, 2, 0)
    return files


def malformed():
    rng = random.Random(7)
    img = pixels(rng, 8, 4, 2, 8)
    good = make_png(img, 8, 2)
    sig_ihdr = SIGNATURE + ihdr(8, 4, 8, 2)
    data = encode(img, 8, 2, 0)
    idat = chunk(b"IDAT", data)
    iend = chunk(b"IEND", b"")
    pal_img = [[(i % 4,) for i in range(8)] for _ in range(4)]
    pal_data = encode(pal_img, 8, 3, 0)
    files = {
        "EPNGInvalidFileHeader__jpeg": b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(40),
        "EPNGInvalidFileHeader__short_signature": SIGNATURE[:5],
        "EPngUnexpectedEnd__after_signature": SIGNATURE,
        "EPngUnexpectedEnd__partial_length": SIGNATURE + b"\x00\x00",
        "EPngUnexpectedEnd__after_idat": sig_ihdr + idat,
        "EPNGIHDRNotFirst__plte_first": SIGNATURE + chunk(b"PLTE", bytes(6)) + ihdr(8, 4, 8, 2)
                                        + idat + iend,
        "EPNGUnknownCriticalChunk__abcd": sig_ihdr + chunk(b"ABCD", b"x") + idat + iend,
        "EPNGNoImageData__no_idat": sig_ihdr + iend,
        "EPngInvalidCRC__ihdr": SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", 8, 4, 8, 2, 0, 0,
                                                                       0), crc=1) + idat + iend,
        "EPngInvalidCRC__idat": sig_ihdr + chunk(b"IDAT", data, crc=0xDEADBEEF) + iend,
        "EPngInvalidCRC__truncated_in_idat": (sig_ihdr + idat)[:len(sig_ihdr) + 20],
        "EPngInvalidCRC__length_above_2g": sig_ihdr + b"\x80\x00\x00\x00tEXt" + bytes(8),
        "EPngInvalidIHDR__12_bytes": SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBB", 8, 4, 8, 2, 0,
                                                                            0)) + idat + iend,
        "EPngInvalidIHDR__colour_type_5": SIGNATURE + ihdr(8, 4, 8, 5) + idat + iend,
        "EPngInvalidIHDR__rgb_depth_4": SIGNATURE + ihdr(8, 4, 4, 2) + idat + iend,
        "EPngInvalidIHDR__zero_height": SIGNATURE + ihdr(8, 0, 8, 2) + idat + iend,
        "EPngInvalidIHDR__second_ihdr": sig_ihdr + ihdr(8, 4, 8, 2) + idat + iend,
        "EPNGSizeExceeds__width_65536": SIGNATURE + ihdr(65536, 1, 8, 2) + idat + iend,
        "EPNGSizeExceeds__height_4g": SIGNATURE + ihdr(1, 0xFFFFFFFF, 8, 2) + idat + iend,
        "EPNGUnknownCompression__method_1": SIGNATURE + ihdr(8, 4, 8, 2, compression=1) + idat
                                            + iend,
        "EPNGUnknownInterlace__method_2": SIGNATURE + ihdr(8, 4, 8, 2, interlace=2) + idat + iend,
        "EPNGInvalidPalette__plte_4_bytes": SIGNATURE + ihdr(8, 4, 8, 3) + chunk(b"PLTE", bytes(4))
                                            + chunk(b"IDAT", pal_data) + iend,
        "EPNGInvalidPalette__plte_257_entries": SIGNATURE + ihdr(8, 4, 8, 3)
                                                + chunk(b"PLTE", bytes(771))
                                                + chunk(b"IDAT", pal_data) + iend,
        "EPNGInvalidPalette__trns_257_bytes": SIGNATURE + ihdr(8, 4, 8, 3)
                                              + chunk(b"PLTE", bytes(12))
                                              + chunk(b"tRNS", bytes(257))
                                              + chunk(b"IDAT", pal_data) + iend,
        "EPNGMissingMultipleIDAT__text_inside_run": sig_ihdr + chunk(b"IDAT", data[:10])
                                                    + chunk(b"tEXt", b"a\0b")
                                                    + chunk(b"IDAT", data[10:]) + iend,
        "EPNGMissingMultipleIDAT__stream_cut_short": sig_ihdr + chunk(b"IDAT", data[:-12]) + iend,
        "EPNGZLIBError__bad_zlib_header": sig_ihdr + chunk(b"IDAT", b"\x78\x9c\xff" + data[3:])
                                          + iend,
        "EPNGZLIBError__raw_deflate": sig_ihdr + chunk(b"IDAT", data[2:]) + iend,
        "EPNGOutMemory__65535_square_rgba": SIGNATURE + ihdr(65535, 65535, 8, 6) + idat + iend,
        "EPNGOutMemory__just_over_1g": SIGNATURE + ihdr(65535, 16385, 8, 0) + idat + iend,
        "EPngError__palette_index_beyond": SIGNATURE + ihdr(8, 4, 8, 3)
                                           + chunk(b"PLTE", bytes(9))
                                           + chunk(b"IDAT", pal_data) + iend,
        "EPngError__palette_without_plte": SIGNATURE + ihdr(8, 4, 8, 3)
                                           + chunk(b"IDAT", pal_data) + iend,
    }
    assert good.startswith(sig_ihdr)
    return files


def write(directory, files):
    path = os.path.join(HERE, directory)
    os.makedirs(path, exist_ok=True)
    for old in os.listdir(path):
        if old.endswith(".png"):
            os.remove(os.path.join(path, old))
    for name, data in sorted(files.items()):
        with open(os.path.join(path, name + ".png"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write("corpus", corpus())
    write("malformed", malformed())
