"""make_scans.py DIR COUNT [WIDTH HEIGHT]: scanned-looking pages as JPEG.

Each page is paper with an uneven tone, sensor noise, lines of real text in
two fonts, a photograph-like block of smooth colour and detail, and a rule:
what a 300 dpi scan of a printed page holds, not flat colour. Pages that
exist already are kept.
"""
import os
import random
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

WORDS = ("the of and to in is was that for on with as his by at from this had not are but "
         "page reader screen paper light ink margin chapter volume scan letter word line "
         "morning evening river mountain window garden station harbour library").split()


def font(names, size):
    for name in names:
        for folder in ("/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/liberation2",
                       "/usr/share/fonts/truetype/liberation"):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def page(seed, w, h):
    rng = np.random.default_rng(seed)
    rnd = random.Random(seed)
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    # Paper: warm tone, lit unevenly from one corner.
    light = 1.0 - 0.12 * ((x / w - rnd.random()) ** 2 + (y / h - rnd.random()) ** 2)
    base = np.stack([238 * light, 232 * light, 218 * light], axis=-1)
    img = Image.fromarray(np.clip(base, 0, 255).astype(np.uint8))
    draw = ImageDraw.Draw(img)
    body = font(["DejaVuSerif.ttf", "LiberationSerif-Regular.ttf"], rnd.choice([34, 38, 42]))
    head = font(["DejaVuSans-Bold.ttf", "LiberationSans-Bold.ttf"], 72)
    draw.text((220, 200), "Chapter %d" % (seed + 1), font=head, fill=(30, 28, 26))
    # A photograph-like block: smooth colour fields with fine texture.
    bx, by, bw, bh = 300, 420, w - 600, 900
    yy, xx = np.mgrid[0:bh, 0:bw].astype(np.float32)
    photo = np.stack([
        128 + 90 * np.sin(xx / (90 + 40 * rnd.random()) + rnd.random() * 6),
        128 + 80 * np.cos(yy / (70 + 30 * rnd.random()) + xx / 300),
        128 + 70 * np.sin((xx + yy) / (120 + 50 * rnd.random())),
    ], axis=-1) + rng.normal(0, 14, (bh, bw, 3))
    img.paste(Image.fromarray(np.clip(photo, 0, 255).astype(np.uint8)).filter(
        ImageFilter.GaussianBlur(1.2)), (bx, by))
    draw.rectangle((220, 1380, w - 220, 1386), fill=(60, 60, 60))
    top = 1440
    step = int(body.size * 1.45)
    while top < h - 260:
        line, width = [], 0
        while True:
            word = rnd.choice(WORDS)
            wlen = draw.textlength(word + " ", font=body)
            if width + wlen > w - 440:
                break
            line.append(word)
            width += wlen
        draw.text((220, top), " ".join(line), font=body, fill=(25, 22, 20))
        top += step
    arr = np.asarray(img.filter(ImageFilter.GaussianBlur(0.7)), dtype=np.float32)
    arr += rng.normal(0, 3, arr.shape)  # scanner noise
    return Image.fromarray(np.clip(arr, 0, 255).astype(np.uint8))


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    w, h = (int(sys.argv[3]), int(sys.argv[4])) if len(sys.argv) > 4 else (2480, 3508)
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        path = os.path.join(folder, "scan%03d.jpg" % (i + 1))
        if not os.path.exists(path):
            page(i, w, h).save(path, quality=92, subsampling=2)


main()
