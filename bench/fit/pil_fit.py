"""pil_fit.py OUT_DIR BOX_W BOX_H QUALITY|png PAGE...: Pillow's fitting.

Each page is scaled with LANCZOS to the size Pagelume gives it (inside the
box, proportions kept, rounded to the nearest pixel) and saved as JPEG at
QUALITY (Pillow's defaults: baseline, 4:2:0), or losslessly as PNG.
"""
import os
import sys

from PIL import Image


def fitted(w, h, bw, bh):
    if w <= bw and h <= bh:
        return w, h
    if bw * h <= bh * w:
        return bw, max(1, min(bh, (2 * h * bw + w) // (2 * w)))
    return max(1, min(bw, (2 * w * bh + h) // (2 * h))), bh


def main():
    out, bw, bh, quality = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    for page in sys.argv[5:]:
        im = Image.open(page)
        if im.mode != "RGB":  # converting an RGB page would only copy it
            im = im.convert("RGB")
        im = im.resize(fitted(im.width, im.height, bw, bh), Image.LANCZOS)
        stem = os.path.splitext(os.path.basename(page))[0]
        if quality == "png":
            im.save(os.path.join(out, stem + ".png"))
        else:
            im.save(os.path.join(out, stem + ".jpg"), quality=int(quality))


main()
