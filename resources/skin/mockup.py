#!/usr/bin/env python3
"""Composites the skin pictures into a 719 x 512 picture of the main window, to judge the look.

python3 resources/skin/mockup.py [--skin DIR] [--titlebar normal|hover|pressed]
                                 [--hover BUTTON] [--pressed BUTTON] [--pages] OUTPUT.png

Every picture stands at its control's rectangle (stretched ones stretched, the others 1:1 and
clipped), the toolbar icons at their button positions with their captions below, the title-bar
buttons cut from the sprite with its automatic transparent colour. The standard controls (list,
edits, labels) are only sketched. Write the output outside the source tree.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # keep the source folder clean

from skinlib import Img, font, read, rgb, save_png, text, text_width  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

# The seven PNG buttons: name, x and y in the window, width, height, caption, picture.
TOOLBAR = [
    ("add", 0, 40, 58, 58, "Add", "icon_add.png"),
    ("remove", 56, 40, 58, 58, "Remove", "icon_remove.png"),
    ("remove_all", 112, 40, 73, 58, "Remove All", "icon_remove_all.png"),
    ("convert", 184, 40, 58, 58, "Convert", "icon_convert.png"),
    ("home", 256, 40, 58, 58, "Home", "icon_home.png"),
    # PaneClientBtm lies at (171, 319) in the window.
    ("cover", 171 + 469, 319 + 16, 57, 57, "", "icon_cover.png"),
    ("folder", 171 + 469, 319 + 80, 57, 57, "", "icon_folder.png"),
]

BUTTON_FACE = rgb("#efefef")
HIGHLIGHT = rgb("#ffffff")
SHADOW = rgb("#a0a0a0")
TEXT_HEIGHT = 13  # "Arial" at 8 points, 96 dots per inch


def fill_rect(img, x, y, w, h, colour):
    img.over(Img(w, h, colour), x, y)


def frame(img, x, y, w, h, top_left, bottom_right):
    fill_rect(img, x, y, w, 1, top_left)
    fill_rect(img, x, y, 1, h, top_left)
    fill_rect(img, x, y + h - 1, w, 1, bottom_right)
    fill_rect(img, x + w - 1, y, 1, h, bottom_right)


def clipped(picture, w, h):
    return picture.crop(0, 0, min(w, picture.w), min(h, picture.h))


def place(img, picture, x, y, w, h, stretch, clip_top=None):
    p = picture.stretched(w, h) if stretch else clipped(picture, w, h)
    if clip_top is not None and clip_top > y:
        p = p.crop(0, clip_top - y, p.w, p.h - (clip_top - y))
        y = clip_top
    img.over(p, x, y)


def keyed(cell):
    """A cut sprite picture: pixels equal to its bottom-left pixel are left out."""
    key = cell.get(0, cell.h - 1)
    out = cell.copy()
    out.px = [(0, 0, 0, 0) if p == key else p for p in out.px]
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("output")
    ap.add_argument("--skin", default=HERE)
    ap.add_argument("--titlebar", choices=("normal", "hover", "pressed"), default="normal")
    ap.add_argument("--hover", default="", help="toolbar button drawn with its hover frame")
    ap.add_argument("--pressed", default="", help="toolbar button drawn pressed")
    ap.add_argument("--pages", action="store_true", help="show a few rows in the page list")
    args = ap.parse_args()

    def pic(name):
        return read(os.path.join(args.skin, name))

    # Whatever fontconfig offers for the captions' faces, as the program will get.
    arial = font("Arial")
    arial_black = font("Arial Black:bold")
    sans = font("DejaVu Sans", "DejaVu Sans")

    img = Img(719, 512, BUTTON_FACE)

    # Header.
    place(img, pic("header.jpg"), 0, 0, 333, 135, False)
    place(img, pic("header_fill.jpg"), 333, 0, 206, 135, True)
    place(img, pic("header_right.jpg"), 539, 0, 180, 135, False)

    # Left column.
    place(img, pic("border_left.jpg"), 0, 135, 8, 332, True)
    place(img, pic("border_right.jpg"), 150, 135, 21, 332, True)
    frame(img, 8, 135, 142, 332, HIGHLIGHT, SHADOW)
    place(img, pic("preview_placeholder.jpg"), 9, 136, 140, 168, True)
    filler = pic("filler.jpg")
    place(img, filler, 9, 304, 140, 10, True)
    place(img, pic("heading_title.jpg"), 9, 314, 140, 24, False)
    place(img, filler, 9, 338, 140, 53, True)
    place(img, pic("heading_author.jpg"), 9, 391, 140, 24, False)
    place(img, filler, 9, 415, 140, 51, True)
    for y in (351, 423):
        fill_rect(img, 16, y, 121, 21, HIGHLIGHT)
        frame(img, 16, y, 121, 21, rgb("#8a93a8"), rgb("#c8cedb"))

    # Client area: page list, then the cover and output fields.
    fill_rect(img, 171, 135, 533, 184, HIGHLIGHT)
    frame(img, 171, 135, 533, 184, rgb("#8a93a8"), rgb("#c8cedb"))
    fill_rect(img, 172, 136, 531, 20, rgb("#f4f5f8"))
    fill_rect(img, 172, 155, 531, 1, rgb("#d5d9e2"))
    fill_rect(img, 251, 138, 1, 16, rgb("#d5d9e2"))
    img.over(text(200, 16, "Page", sans, 9, "#000000", 0, 12), 178, 138)
    img.over(text(200, 16, "Path", sans, 9, "#000000", 0, 12), 258, 138)
    if args.pages:
        for i in range(4):
            y = 157 + 17 * i
            if i == 1:
                fill_rect(img, 172, y, 531, 17, rgb("#3874d8"))
            colour = "#ffffff" if i == 1 else "#000000"
            img.over(text(60, 16, str(i + 1), sans, 9, colour, 0, 12), 178, y + 2)
            img.over(text(420, 16, "/home/reader/scans/page-%03d.png" % (i + 1), sans, 9,
                          colour, 0, 12), 258, y + 2)
    fill_rect(img, 171, 319, 533, 148, HIGHLIGHT)
    place(img, pic("filler.jpg"), 171, 327, 533, 140, True)
    place(img, pic("separator.png"), 171, 311, 533, 16, True, clip_top=319)
    place(img, pic("hint.png"), 171 + 144, 319, 16, 16, False)
    img.over(text(198, 14, "Drag items to  adjust the order of png list.", arial, 10.67,
                  "#000000", 0, 11), 171 + 169, 319)
    for ex, ey, ew, label, lw in ((109, 36, 340, "Cover Image:  ", 69),
                                  (112, 100, 337, "Save  Epub  To:  ", 84)):
        x, y = 171 + ex, 319 + ey
        fill_rect(img, x, y, ew, 21, HIGHLIGHT)
        frame(img, x, y, ew, 21, rgb("#8a93a8"), rgb("#c8cedb"))
        img.over(text(lw + 20, 13, label, sans, 8.5, "#000000", 0, 10), x - lw - 3, y + 4)
    img.over(text(300, 16, "/home/reader/Books", sans, 9, "#000000", 0, 12), 171 + 116,
             319 + 103)

    place(img, pic("border_far_right.jpg"), 704, 135, 15, 332, True)

    # Bottom bar.
    place(img, pic("bottom_left.jpg"), 0, 467, 227, 45, False)
    place(img, pic("bottom_fill.jpg"), 227, 467, 423, 45, True)
    place(img, pic("bottom_right.jpg"), 650, 467, 69, 45, False)

    # PNG buttons: picture above caption, centred, halves truncated.
    for name, bx, by, bw, bh, caption, icon_file in TOOLBAR:
        icon = pic(icon_file)
        down = name == args.pressed
        offset = 2 if down else 0
        if caption:
            face = arial_black if name == "convert" else arial
            tw, th = text_width(caption, face, 10.67), TEXT_HEIGHT
        else:
            tw, th = 0, 0
        ih = icon.h + (4 if caption else 0)
        ix = (bw - icon.w) // 2 + offset
        tx = int((bw - tw) / 2) + offset
        iy = (bh - ih - th) // 2
        ty = iy + ih
        iy += offset
        ty += offset
        if down:
            frame(img, bx, by, bw, bh, SHADOW, HIGHLIGHT)
        elif name == args.hover:
            frame(img, bx, by, bw, bh, HIGHLIGHT, SHADOW)
        img.over(icon, bx + ix, by + iy)
        if caption:
            colour = "#ffff00" if name == "convert" else "#ffffff"
            t = text(tw + 8, th, caption, face, 10.67, colour, 0, 10)
            # The caption is clipped to the area inside the frame.
            left = max(0, 1 - tx)
            width = min(t.w - left, bw - 1 - (tx + left))
            img.over(t.crop(left, 0, width, th), bx + tx + left, by + ty)

    # Title-bar buttons cut from the sprite: minimise shows 25 of its 40 columns, close lies on
    # top of it.
    sprite = pic("sprite.bmp")
    row = {"normal": 0, "hover": 20, "pressed": 40}[args.titlebar]
    img.over(clipped(keyed(sprite.crop(0, row, 40, 20)), 25, 31), 649, 8)
    img.over(keyed(sprite.crop(68, row, 24, 20)), 673, 8)

    # Rounded outline: 5-pixel corners, the desktop shows outside.
    desktop = rgb("#5d6b7e")
    for cy, cx in ((0, 0), (0, 714), (507, 0), (507, 714)):
        for y in range(5):
            for x in range(5):
                px, py = cx + x, cy + y
                ex = (px + 0.5) - (5 if cx == 0 else 715)
                ey = (py + 0.5) - (5 if cy == 0 else 508)
                if (ex * ex + ey * ey) > 25 and ((cx == 0) == (ex < 0)) and ((cy == 0) == (ey < 0)):
                    img.put(px, py, desktop)

    save_png(img, args.output)


if __name__ == "__main__":
    main()
