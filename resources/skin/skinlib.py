"""Small raster helpers shared by make_skin.py and mockup.py.

Pictures are held as lists of (r, g, b, a) floats in 0..1, not premultiplied. ImageMagick's
`convert` does the drawing (shapes, text) and the file formats; Python does the compositing, so
that nothing here needs more than the standard library.
"""

import os
import shutil
import subprocess
import sys

CONVERT = os.environ.get("CONVERT") or shutil.which("convert") or "convert"


def die(message):
    sys.exit("skin: " + message)


def run(args, data=None):
    try:
        result = subprocess.run([CONVERT] + args, input=data, capture_output=True, check=False)
    except OSError as error:
        die("cannot run ImageMagick's convert (%s)" % error)
    if result.returncode != 0:
        die("convert failed: %s\n%s" % (" ".join(args), result.stderr.decode(errors="replace")))
    return result.stdout


def font(pattern, family=None):
    """Path of an installed font. With a family given, fails rather than let fontconfig
    substitute another face."""
    try:
        out = subprocess.run(["fc-match", "-f", "%{file}\n%{family}\n%{style}", pattern],
                             capture_output=True, text=True, check=True).stdout.split("\n")
    except (OSError, subprocess.CalledProcessError) as error:
        die("fc-match failed (%s)" % error)
    path, families = out[0], out[1]
    if family and family.lower() not in families.lower():
        die("font %r is not installed (fontconfig offers %s)" % (pattern, families))
    return path


def rgb(hexcode, alpha=1.0):
    h = hexcode.lstrip("#")
    return (int(h[0:2], 16) / 255, int(h[2:4], 16) / 255, int(h[4:6], 16) / 255, alpha)


def hexof(c):
    return "#%02x%02x%02x" % tuple(round(max(0.0, min(1.0, v)) * 255) for v in c[:3])


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))


def ramp(stops, t):
    """Colour at t (0..1) along [(position, colour), ...] stops in ascending order."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 1.0)
    return stops[-1][1]


class Img:
    def __init__(self, w, h, fill=(0.0, 0.0, 0.0, 0.0)):
        self.w, self.h = w, h
        self.px = [fill] * (w * h)

    def get(self, x, y):
        return self.px[y * self.w + x]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = c

    def copy(self):
        out = Img(self.w, self.h)
        out.px = list(self.px)
        return out

    def crop(self, x0, y0, w, h):
        out = Img(w, h)
        for y in range(h):
            for x in range(w):
                out.px[y * w + x] = self.get(x0 + x, y0 + y)
        return out

    def over(self, src, dx=0, dy=0, opacity=1.0):
        """Draws src with its alpha over this picture, its top-left corner at (dx, dy)."""
        for y in range(src.h):
            ty = y + dy
            if not 0 <= ty < self.h:
                continue
            for x in range(src.w):
                tx = x + dx
                if not 0 <= tx < self.w:
                    continue
                s = src.px[y * src.w + x]
                sa = s[3] * opacity
                if sa <= 0:
                    continue
                d = self.px[ty * self.w + tx]
                oa = sa + d[3] * (1 - sa)
                if oa <= 0:
                    continue
                self.px[ty * self.w + tx] = tuple(
                    (s[i] * sa + d[i] * d[3] * (1 - sa)) / oa for i in range(3)) + (oa,)
        return self

    def tinted(self, colour, opacity=1.0):
        """Same shape, one colour: used for shadows and glows."""
        out = Img(self.w, self.h)
        out.px = [colour[:3] + (p[3] * opacity,) for p in self.px]
        return out

    def shifted(self, dx, dy):
        out = Img(self.w, self.h)
        out.over(self, dx, dy)
        return out

    def blurred(self, radius):
        """Box blur of the alpha channel (colour is kept): enough for soft shadows and glows."""
        out = self
        for _ in range(2):
            out = out._box(radius, True)._box(radius, False)
        return out

    def _box(self, r, horizontal):
        out = Img(self.w, self.h)
        n = 2 * r + 1
        for y in range(self.h):
            for x in range(self.w):
                total = 0.0
                for k in range(-r, r + 1):
                    sx, sy = (x + k, y) if horizontal else (x, y + k)
                    if 0 <= sx < self.w and 0 <= sy < self.h:
                        total += self.px[sy * self.w + sx][3]
                c = self.px[y * self.w + x]
                out.px[y * self.w + x] = c[:3] + (total / n,)
        return out

    def stretched(self, w, h):
        """Bilinear scaling to w x h, as a picture control stretches its picture."""
        out = Img(w, h)
        for y in range(h):
            fy = min(max((y + 0.5) * self.h / h - 0.5, 0.0), self.h - 1)
            y0 = int(fy)
            y1 = min(y0 + 1, self.h - 1)
            ty = fy - y0
            for x in range(w):
                fx = min(max((x + 0.5) * self.w / w - 0.5, 0.0), self.w - 1)
                x0 = int(fx)
                x1 = min(x0 + 1, self.w - 1)
                tx = fx - x0
                top = mix(self.get(x0, y0), self.get(x1, y0), tx)
                bottom = mix(self.get(x0, y1), self.get(x1, y1), tx)
                out.px[y * w + x] = mix(top, bottom, ty)
        return out

    def raw(self):
        return bytes(round(max(0.0, min(1.0, v)) * 255) for p in self.px for v in p)

    @staticmethod
    def from_raw(w, h, data):
        img = Img(w, h)
        img.px = [tuple(data[i + k] / 255 for k in range(4)) for i in range(0, w * h * 4, 4)]
        return img


def read(path):
    """Any picture ImageMagick reads, as RGBA."""
    size = run([path, "-format", "%w %h", "info:"]).split()
    w, h = int(size[0]), int(size[1])
    return Img.from_raw(w, h, run([path, "-alpha", "on", "-depth", "8", "rgba:-"]))


def draw(w, h, ops, scale=1):
    """Runs ImageMagick drawing options on a transparent w x h canvas.

    With scale > 1 the canvas is drawn that many times larger (the MVG is scaled by an affine
    transform) and reduced with a box filter, so every pixel's alpha is its exact area coverage:
    anti-aliased edges that stay sharp where shapes sit on whole pixels.
    """
    args = ["-size", "%dx%d" % (w * scale, h * scale), "xc:none"]
    for op in ops:
        if op[0] == "-draw" and scale > 1:
            op = ("-draw", "affine %d,0,0,%d,0,0 %s" % (scale, scale, op[1]))
        args += list(op)
    if scale > 1:
        args += ["-filter", "Box", "-resize", "%dx%d!" % (w, h)]
    return Img.from_raw(w, h, run(args + ["-depth", "8", "rgba:-"]))


def text(w, h, string, fontfile, size, colour, x, y, kerning=None):
    """Text drawn at ImageMagick's own scale (hinted), baseline at y."""
    ops = [("-font", fontfile), ("-pointsize", "%g" % size), ("-fill", colour)]
    if kerning is not None:
        ops.append(("-kerning", "%g" % kerning))
    ops.append(("-annotate", "+%g+%g" % (x, y), string))
    return draw(w, h, ops)


def text_width(string, fontfile, size):
    out = run(["-font", fontfile, "-pointsize", "%g" % size,
               "label:" + string, "-format", "%w", "info:"])
    return int(out)


def _write(img, path, args):
    run(["-size", "%dx%d" % (img.w, img.h), "-depth", "8", "rgba:-"] + args + [path],
        data=img.raw())


def save_jpeg(img, path, quality=92):
    # Baseline, three components (also for grey pictures), no chroma subsampling so that
    # thin lines and small text keep their colour, no metadata.
    _write(img, "jpeg:" + path,
           ["-background", "black", "-alpha", "remove", "-alpha", "off", "-strip",
            "-type", "TrueColor", "-colorspace", "sRGB", "-interlace", "none",
            "-sampling-factor", "1x1,1x1,1x1", "-quality", str(quality)])


def save_png(img, path):
    # 8-bit RGBA with no ancillary chunks.
    _write(img, "png32:" + path,
           ["-strip", "-define", "png:exclude-chunks=all", "-define", "png:include-chunk=none"])


def save_bmp24(img, path):
    _write(img, "bmp3:" + path,
           ["-background", "black", "-alpha", "remove", "-alpha", "off", "-type", "TrueColor"])
