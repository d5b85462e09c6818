#!/usr/bin/env python3
"""Remakes the main window's skin pictures in this folder.

Run it from anywhere: python3 resources/skin/make_skin.py [output folder]
Needs ImageMagick's `convert`, fontconfig's `fc-match` and the DejaVu and URW base fonts.
The picture sizes are fixed by the window layout; everything else here is ours to change.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source folder clean

from skinlib import (Img, draw, font, hexof, mix, ramp, read, rgb, save_bmp24,  # noqa: E402
                     save_jpeg, save_png, text)

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

SANS = font("DejaVu Sans:style=Book", "DejaVu Sans")
SANS_BOLD = font("DejaVu Sans:style=Bold", "DejaVu Sans")
GOTHIC = font("URW Gothic:style=Demi", "URW Gothic")

# One palette for the whole window: a deep indigo frame, a gold accent (the Convert caption is
# yellow), light grey-blue panels.
WHITE = rgb("#ffffff")
SNOW = rgb("#eef1fb")
GOLD = rgb("#ffd24a")
GOLD_DARK = rgb("#e0a91c")
PERIWINKLE = rgb("#8fa3f0")
MINT = rgb("#3ccf8e")
CORAL = rgb("#ff6b64")
INDIGO = rgb("#3a4679")
INK = rgb("#27305a")
PANEL = rgb("#e4e9f2")
PANEL_BAND = rgb("#d3dae9")
PANEL_LINE = rgb("#b9c3d9")
MUTED = rgb("#7c87aa")
FRAME = rgb("#1d2344")
FRAME_LOW = rgb("#1a1f3c")
EDGE_DARK = rgb("#11152a")
EDGE_LIGHT = rgb("#3b4679")

HEADER_H = 135
BOTTOM_H = 45


def header_colour(y):
    """The header's background at row y; the three header pictures share it so they join."""
    if y == 0:
        return rgb("#5d6aa5")
    if y < 100:
        return ramp([(1, rgb("#45528c")), (40, rgb("#35417a")), (99, rgb("#272f5a"))], y)
    if y == 100:
        return EDGE_DARK
    if y == 101:
        return rgb("#343f6f")
    return ramp([(102, rgb("#222950")), (134, FRAME)], y)


def bottom_colour(y):
    if y == 0:
        return EDGE_DARK
    if y == 1:
        return rgb("#333e6d")
    if y == BOTTOM_H - 1:
        return rgb("#141831")
    return ramp([(2, rgb("#273059")), (BOTTOM_H - 2, FRAME_LOW)], y)


def rows(w, h, colour_of_row):
    img = Img(w, h)
    for y in range(h):
        c = colour_of_row(y)
        for x in range(w):
            img.px[y * w + x] = c
    return img


def columns(w, h, colour_of_column):
    img = Img(w, h)
    for x in range(w):
        c = colour_of_column(x)
        for y in range(h):
            img.px[y * w + x] = c
    return img


def with_shadow(glyph, opacity=0.5):
    """A glyph over its own dark copy one pixel lower: lifts light glyphs off a dark header."""
    return glyph.tinted(rgb("#080b1a"), opacity).shifted(0, 1).over(glyph)


def alpha_hex(c, a):
    return "rgba(%d,%d,%d,%g)" % (round(c[0] * 255), round(c[1] * 255), round(c[2] * 255), a)


# ---------------------------------------------------------------- header


def logo():
    """The product mark: a page lit by a small sun."""
    mvg = (
        "fill %s stroke none circle 22.5,9.5 22.5,2.5 "
        "fill %s circle 22.5,9.5 22.5,4.5 "
        "fill %s path 'M 6,7 L 16,7 L 21,12 L 21,29 L 6,29 Z' "
        "fill %s path 'M 16,7 L 16,12 L 21,12 Z' "
        "fill %s rectangle 9,16 18,17 rectangle 9,20 18,21 rectangle 9,24 15,25"
    ) % (alpha_hex(GOLD, 0.35), hexof(GOLD), hexof(SNOW), hexof(PERIWINKLE), hexof(INDIGO))
    return draw(32, 32, [("-draw", mvg)], scale=8)


def wordmark(w, h, x, y, size):
    """"Pagelume" with "lume" in gold."""
    white = text(w, h, "Pagelume", GOTHIC, size, hexof(WHITE), x, y)
    gold = text(w, h, "Pagelume", GOTHIC, size, hexof(GOLD), x, y)
    page = text(w, h, "Page", GOTHIC, size, hexof(WHITE), x, y)
    cut = max(px for px in range(w) for py in range(h) if page.get(px, py)[3] > 0) + 1
    out = Img(w, h)
    for py in range(h):
        for px in range(w):
            out.px[py * w + px] = (white if px < cut else gold).get(px, py)
    return out


def header():
    img = rows(333, HEADER_H, header_colour)
    img.over(with_shadow(logo()), 4, 3)
    mark = wordmark(200, 40, 2, 28, 24)
    img.over(with_shadow(mark), 36, 1)
    end = 36 + max(x for x in range(mark.w) for y in range(mark.h) if mark.get(x, y)[3] > 0)
    img.over(text(120, 20, "Page images to EPUB", SANS, 9, hexof(rgb("#a3afdc")), 0, 12),
             end + 10, 16)
    # A groove between the editing buttons and Home.
    for y in range(48, 92):
        fade = min(1.0, (y - 48) / 10, (91 - y) / 10)
        img.put(248, y, mix(img.get(248, y), EDGE_DARK, 0.8 * fade))
        img.put(249, y, mix(img.get(249, y), rgb("#55629c"), 0.6 * fade))
    # Column headings on the band above the left column and above the page list.
    for x0, label in ((8, "Preview"), (171, "Page list")):
        img.over(draw(4, 12, [("-fill", hexof(GOLD)), ("-draw", "rectangle 0,0 2,11")]), x0, 112)
        img.over(with_shadow(text(120, 20, label, SANS_BOLD, 11, hexof(SNOW), 0, 14), 0.6),
                 x0 + 8, 110)
    return img


def header_fill():
    return rows(6, HEADER_H, header_colour)


def header_right():
    img = rows(180, HEADER_H, header_colour)
    # A faint light in the top right corner; it fades out before the left edge, where the
    # stretched fill joins.
    cx, cy, r = 178, 4, 130
    for y in range(1, 100):
        for x in range(180):
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5 / r
            if d < 1:
                img.put(x, y, mix(img.get(x, y), PERIWINKLE, 0.16 * (1 - d) ** 2))
    return img


# ---------------------------------------------------------------- frame and panels


def border_left():
    return columns(8, 450, lambda x: [EDGE_LIGHT, FRAME, FRAME, FRAME, FRAME, FRAME,
                                      mix(FRAME, EDGE_DARK, 0.5), EDGE_DARK][x])


def border_right():
    return columns(21, 450, lambda x: EDGE_DARK if x in (0, 20) else
                   mix(FRAME, EDGE_DARK, 0.5) if x in (1, 19) else FRAME)


def border_far_right():
    return columns(15, 376, lambda x: EDGE_DARK if x == 0 else
                   mix(FRAME, EDGE_DARK, 0.5) if x == 1 else EDGE_LIGHT if x == 14 else FRAME)


def filler():
    return Img(12, 12, PANEL)


def heading(label):
    img = rows(167, 24, lambda y: rgb("#eef1f8") if y == 0 else PANEL_LINE if y == 23 else
               ramp([(1, rgb("#dbe1ee")), (22, PANEL_BAND)], y))
    img.over(draw(4, 12, [("-fill", hexof(GOLD_DARK)), ("-draw", "rectangle 0,0 2,11")]), 7, 6)
    img.over(text(120, 20, label, SANS_BOLD, 11, hexof(INK), 0, 14), 15, 3)
    return img


def preview_placeholder():
    w, h = 146, 175
    img = Img(w, h)
    for y in range(h):
        for x in range(w):
            d = ((x - w / 2) / w) ** 2 + ((y - 70) / h) ** 2
            img.px[y * w + x] = mix(rgb("#f6f8fc"), PANEL, min(1.0, d * 3.2))
    page = (
        "fill %s stroke %s stroke-width 0.08 path 'M 4,2 L 13,2 L 16,5 L 16,22 L 4,22 Z' "
        "fill %s stroke none path 'M 13,2 L 13,5 L 16,5 Z' "
        "fill %s rectangle 6.5,8 13.5,8.5 rectangle 6.5,10 13.5,10.5 rectangle 6.5,12 13.5,12.5 "
        "rectangle 6.5,14 11,14.5 "
        "fill %s rectangle 6.5,16.5 10,19.5"
    ) % (hexof(WHITE), hexof(PANEL_LINE), hexof(rgb("#d3dbf3")), hexof(rgb("#d9dfec")),
         hexof(rgb("#f3d98f")))
    sheet = draw(60, 80, [("-draw", "affine 3.5,0,0,3.5,-4,-2 " + page)], scale=4)
    img.over(sheet.tinted(rgb("#1d2344"), 0.18).shifted(2, 3).blurred(2), 45, 22)
    img.over(sheet, 45, 22)
    for i, line in enumerate(("Click a page", "to preview it")):
        t = text(w, 16, line, SANS, 10, hexof(MUTED), 0, 12)
        ink = [x for x in range(w) for y in range(16) if t.get(x, y)[3] > 0]
        img.over(t, (w - (max(ink) + 1 - min(ink))) // 2 - min(ink), 112 + 14 * i)
    return img


def bottom_left():
    img = rows(227, BOTTOM_H, bottom_colour)
    img.over(text(120, 20, "Pagelume 3.3", SANS, 9, hexof(rgb("#8390c4")), 0, 12), 14, 15)
    return img


def bottom_fill():
    return rows(7, BOTTOM_H, bottom_colour)


def bottom_right():
    img = rows(69, BOTTOM_H, bottom_colour)
    for y in range(1, BOTTOM_H - 1):
        img.put(68, y, mix(img.get(68, y), EDGE_LIGHT, 0.7))
    return img


def separator():
    # Only the lower row shows under the page list (the upper one lies outside its panel), so
    # the lower row is the panel colour and the line fades into it when the picture is stretched.
    img = Img(126, 2)
    for x in range(126):
        edge = min(1.0, x / 20, (125 - x) / 20)
        img.put(x, 0, PANEL_LINE[:3] + (0.25 + 0.75 * edge,))
        img.put(x, 1, PANEL)
    return img


def hint():
    mvg = ("fill %s stroke none path 'M 8,1 L 12.5,5.5 L 9,5.5 L 9,10.5 L 12.5,10.5 L 8,15 "
           "L 3.5,10.5 L 7,10.5 L 7,5.5 L 3.5,5.5 Z'") % hexof(INDIGO)
    return draw(16, 16, [("-draw", mvg)], scale=8)


# ---------------------------------------------------------------- toolbar icons

PAGE = "path 'M 5,2 L 18,2 L 24,8 L 24,29 L 5,29 Z'"
PAGE_FOLD = "path 'M 18,2 L 18,8 L 24,8 Z'"
PAGE_LINES = "rectangle 8,11 20,12.5 rectangle 8,15 20,16.5 rectangle 8,19 15,20.5"
BADGE_RING = "#262e58"


def badge(colour):
    return "fill %s circle 23,23 23,14.5 fill %s circle 23,23 23,16.5 " % (
        BADGE_RING, hexof(colour))


def icon(mvg):
    """A light toolbar icon for the dark header."""
    return with_shadow(draw(32, 32, [("-draw", mvg)], scale=8))


def page_mvg(dx=0, dy=0):
    return ("translate %g,%g fill %s %s fill %s %s fill %s %s translate %g,%g " % (
        dx, dy, hexof(SNOW), PAGE, hexof(PERIWINKLE), PAGE_FOLD, hexof(rgb("#b3bfeb")), PAGE_LINES,
        -dx, -dy))


def icon_add():
    return icon(page_mvg() + badge(MINT) +
                "fill white rectangle 19.5,22 26.5,24 rectangle 22,19.5 24,26.5")


def icon_remove():
    return icon(page_mvg() + badge(CORAL) + "fill white rectangle 19.5,22 26.5,24")


def icon_remove_all():
    back = ("fill %s path 'M 9,0 L 22,0 L 28,6 L 28,25 L 9,25 Z' "
            "fill %s path 'M 22,0 L 22,6 L 28,6 Z' ") % (hexof(rgb("#aab7ea")),
                                                         hexof(rgb("#7087e2")))
    return icon(back + page_mvg(-3, 2) + badge(CORAL) +
                "stroke white stroke-width 2 stroke-linecap round "
                "line 20.5,20.5 25.5,25.5 line 25.5,20.5 20.5,25.5")


def icon_convert():
    book = ("fill %s path 'M 7,5 L 25,5 L 25,29 L 7,29 Z' "
            "fill %s path 'M 5,2 L 22,2 Q 24,2 24,4 L 24,26 L 5,26 Z' "
            "fill %s rectangle 5,2 9,26 "
            "fill %s rectangle 12,7 20,11 ") % (
        hexof(rgb("#aab7ea")), hexof(SNOW), hexof(rgb("#7087e2")), hexof(GOLD))
    arrow = ("fill %s rectangle 19,22 23.5,24 path 'M 22.5,19 L 27,23 L 22.5,27 Z'" %
             hexof(INK))
    return icon(book + badge(GOLD) + arrow)


def icon_home():
    mvg = ("fill %s rectangle 21,5 24,12 "
           "path 'M 8,15 L 16,8 L 24,15 L 24,28 L 8,28 Z' "
           "fill %s rectangle 13.5,19 18.5,28 "
           "fill none stroke %s stroke-width 2.6 stroke-linecap round stroke-linejoin round "
           "polyline 4.5,16 16,5.5 27.5,16") % (hexof(SNOW), hexof(GOLD), hexof(SNOW))
    return icon(mvg)


def light_panel_icon(mvg):
    """An icon for the light panel: coloured, with a faint shadow."""
    img = draw(32, 32, [("-draw", mvg)], scale=8)
    return img.tinted(rgb("#1d2344"), 0.2).shifted(0, 1).over(img)


def icon_cover():
    mvg = ("fill %s roundrectangle 3,6 29,27 2,2 "
           "fill %s rectangle 5,8 27,25 "
           "fill %s path 'M 5,25 L 12,16 L 17,21 L 20,18 L 27,25 Z' "
           "fill %s path 'M 5,25 L 12,16 L 14.5,19 L 9,25 Z' "
           "fill %s circle 22,12.5 22,10") % (
        hexof(INDIGO), hexof(rgb("#e3e9fd")), hexof(rgb("#6f86e0")), hexof(rgb("#5468c4")),
        hexof(GOLD_DARK))
    return light_panel_icon(mvg)


def icon_folder():
    mvg = ("fill %s stroke %s stroke-width 1 "
           "path 'M 3.5,25.5 L 3.5,7.5 Q 3.5,6.5 4.5,6.5 L 11.5,6.5 L 13.5,8.5 L 27.5,8.5 "
           "Q 28.5,8.5 28.5,9.5 L 28.5,25.5 Z' "
           "fill %s path 'M 3.5,26.5 L 5.5,12.5 L 30.5,12.5 L 28.5,26.5 Z'") % (
        hexof(GOLD_DARK), hexof(rgb("#9c6f0a")), hexof(GOLD))
    return light_panel_icon(mvg)


# ---------------------------------------------------------------- title-bar sprite

KEY = rgb("#ff00ff")
SPRITE_CELLS = (("min", 0, 40), ("max", 40, 28), ("close", 68, 24), ("restore", 92, 29))
# Where the buttons stand on header_right.jpg: minimise at x 110 (showing 25 of its 40
# columns), close at x 134, both at y 8.
BUTTON_SPOT = {"min": 110, "max": 110, "close": 134, "restore": 110}


def chip_shape(kind, w):
    if kind == "min":
        return "path 'M 5,3 L 24,3 L 24,17 L 1.5,17 Z'"
    if kind == "close":
        return "path 'M 0,3 L 19,3 Q 22,3 22,6 L 22,14 Q 22,17 19,17 L 0,17 Z'"
    return "roundrectangle 1,3 %d,17 3,3" % (w - 2)


def glyph(kind, w, dy):
    white = hexof(WHITE)
    if kind == "min":
        return "fill %s rectangle 9,%g 18,%g" % (white, 11 + dy, 13 + dy)
    if kind == "close":
        return ("fill none stroke %s stroke-width 1.8 stroke-linecap round "
                "line 8,%g 14,%g line 14,%g 8,%g") % (white, 7 + dy, 13 + dy, 7 + dy, 13 + dy)
    cx = w / 2
    if kind == "max":
        return "fill none stroke %s stroke-width 1.4 rectangle %g,%g %g,%g" % (
            white, cx - 4, 6.5 + dy, cx + 4, 13.5 + dy)
    return ("fill none stroke %s stroke-width 1.4 rectangle %g,%g %g,%g "
            "polyline %g,%g %g,%g %g,%g") % (white, cx - 5, 8.5 + dy, cx + 2, 14.5 + dy,
                                             cx - 2, 8.5 + dy, cx - 2, 5.5 + dy, cx + 5,
                                             5.5 + dy) + " line %g,%g %g,%g" % (
        cx + 5, 5.5 + dy, cx + 5, 11.5 + dy)


def sprite(header_right_picture):
    img = Img(121, 60, KEY)
    for state in range(3):
        for kind, x0, w in SPRITE_CELLS:
            hot = CORAL if kind == "close" else rgb("#6178d8")
            if state == 0:
                fill, edge, dy = "rgba(255,255,255,0.10)", "rgba(255,255,255,0.22)", 0
            elif state == 1:
                fill, edge, dy = hexof(hot), hexof(mix(hot, WHITE, 0.35)), 0
            else:
                fill, edge, dy = hexof(mix(hot, rgb("#0b0e20"), 0.35)), "rgba(0,0,0,0.3)", 1
            chip = draw(w, 20, [("-draw", "fill %s stroke %s stroke-width 1 %s" % (
                fill, edge, chip_shape(kind, w)))], scale=8)
            cell = Img(w, 20)
            if state == 1:
                cell.over(chip.tinted(hot, 0.9).blurred(1))
            cell.over(chip)
            cell.over(draw(w, 20, [("-draw", glyph(kind, w, dy))], scale=8))
            under = header_right_picture.crop(BUTTON_SPOT[kind], 8, w, 20)
            shown = under.copy().over(cell)
            shown_w = 25 if kind == "min" else w  # the button is narrower than its cell
            for y in range(20):
                for x in range(shown_w):
                    if cell.get(x, y)[3] >= 0.06 and not (x == 0 and y == 19):
                        img.put(x0 + x, 20 * state + y, shown.get(x, y)[:3] + (1.0,))
    return img


# ---------------------------------------------------------------- main


def main():
    os.makedirs(OUT, exist_ok=True)
    jpeg = {
        "header.jpg": header(),
        "header_fill.jpg": header_fill(),
        "header_right.jpg": header_right(),
        "border_left.jpg": border_left(),
        "border_right.jpg": border_right(),
        "border_far_right.jpg": border_far_right(),
        "preview_placeholder.jpg": preview_placeholder(),
        "filler.jpg": filler(),
        "heading_title.jpg": heading("Title"),
        "heading_author.jpg": heading("Author"),
        "bottom_left.jpg": bottom_left(),
        "bottom_fill.jpg": bottom_fill(),
        "bottom_right.jpg": bottom_right(),
    }
    for name, img in jpeg.items():
        save_jpeg(img, os.path.join(OUT, name))
    png = {
        "separator.png": separator(),
        "hint.png": hint(),
        "icon_add.png": icon_add(),
        "icon_remove.png": icon_remove(),
        "icon_remove_all.png": icon_remove_all(),
        "icon_convert.png": icon_convert(),
        "icon_home.png": icon_home(),
        "icon_cover.png": icon_cover(),
        "icon_folder.png": icon_folder(),
    }
    for name, img in png.items():
        save_png(img, os.path.join(OUT, name))
    # The sprite is blended over the header as it will be decoded, so its edges match it.
    save_bmp24(sprite(read(os.path.join(OUT, "header_right.jpg"))), os.path.join(OUT, "sprite.bmp"))


if __name__ == "__main__":
    main()
