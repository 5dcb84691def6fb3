#!/usr/bin/python3
"""Draws the plug-in's pictures into resources/pictures/.

    resources/make-pictures.py

Every picture is drawn here from shapes, four times larger than needed and
scaled down for smooth edges; the outputs are committed, so a build needs no
Python. Needs Pillow (Debian's python3-pil).

  MainIcon.ico        the plug-in's icon "MAINICON", 32 x 32 and 16 x 16
  TitleGlyph.ico      the glyph on the dialogs' title tab, 17 x 15
  VariablesGlyph.ico  the insert-variable button's glyph, 16 x 16
  FilesGlyph.ico      the file button's glyph, 16 x 16
  FrameBackground.bmp the parameter frames' background, 58 high; the
                      renderer keeps its 8-pixel ends and stretches the middle
  About.jpg           the about box's picture, 150 x 150
"""

import math
import os
import struct

from PIL import Image, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "pictures")
SCALE = 4

TEAL = (22, 122, 140)
DEEP = (16, 64, 110)
AMBER = (242, 170, 48)
WHITE = (255, 255, 255)


def smooth(draw_at_scale, size, background=(0, 0, 0, 0)):
    """Draws at SCALE times the size and scales down."""
    w, h = size
    big = Image.new("RGBA", (w * SCALE, h * SCALE), background)
    draw_at_scale(big, ImageDraw.Draw(big), SCALE)
    return big.resize(size, Image.LANCZOS)


def vertical_gradient(size, top, bottom):
    w, h = size
    image = Image.new("RGBA", size)
    for y in range(h):
        t = y / max(1, h - 1)
        colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,)
        ImageDraw.Draw(image).line([(0, y), (w, y)], fill=colour)
    return image


def wave_bars(draw, box, heights, colour, gap_ratio=0.45):
    """Rounded vertical bars, centred on the box's middle line."""
    left, top, right, bottom = box
    n = len(heights)
    pitch = (right - left) / n
    bar = pitch * (1 - gap_ratio)
    middle = (top + bottom) / 2
    for i, fraction in enumerate(heights):
        x0 = left + i * pitch + (pitch - bar) / 2
        half = max(bar / 2, fraction * (bottom - top) / 2)
        draw.rounded_rectangle([x0, middle - half, x0 + bar, middle + half], radius=bar / 2,
                               fill=colour)


def main_icon(size):
    def draw(image, d, s):
        w = size * s
        radius = w * 0.22
        mask = Image.new("L", image.size, 0)
        ImageDraw.Draw(mask).rounded_rectangle([0, 0, w - 1, w - 1], radius=radius, fill=255)
        image.paste(vertical_gradient(image.size, TEAL, DEEP), (0, 0), mask)
        heights = [0.25, 0.55, 0.9, 0.6, 0.35] if size >= 32 else [0.35, 0.8, 0.45]
        wave_bars(d, (w * 0.16, w * 0.18, w * 0.84, w * 0.82), heights, WHITE)
        dot = w * 0.09
        d.ellipse([w * 0.78 - dot, w * 0.2 - dot, w * 0.78 + dot, w * 0.2 + dot], fill=AMBER)
    return smooth(draw, (size, size))


def title_glyph():
    def draw(image, d, s):
        wave_bars(d, (0, 0, 17 * s, 15 * s), [0.3, 0.7, 1.0, 0.55, 0.25], TEAL + (255,), 0.35)
    return smooth(draw, (17, 15))


def variables_glyph():
    def draw(image, d, s):
        w = 16 * s
        stroke = 1.6 * s
        # Square brackets around a dot: a host variable, [Name].
        for x0, x1 in ((w * 0.12, w * 0.32), (w * 0.88, w * 0.68)):
            d.line([(x1, w * 0.14), (x0, w * 0.14), (x0, w * 0.86), (x1, w * 0.86)],
                   fill=DEEP + (255,), width=round(stroke), joint="curve")
        r = w * 0.12
        d.ellipse([w / 2 - r, w / 2 - r, w / 2 + r, w / 2 + r], fill=AMBER + (255,))
    return smooth(draw, (16, 16))


def files_glyph():
    def draw(image, d, s):
        w = 16 * s
        # A folder with its tab.
        d.rounded_rectangle([w * 0.06, w * 0.18, w * 0.46, w * 0.4], radius=w * 0.06,
                            fill=(200, 132, 24, 255))
        d.rounded_rectangle([w * 0.06, w * 0.3, w * 0.94, w * 0.84], radius=w * 0.08,
                            fill=AMBER + (255,), outline=(176, 112, 16, 255), width=s)
        d.line([(w * 0.12, w * 0.42), (w * 0.88, w * 0.42)], fill=(255, 214, 130, 255), width=s)
    return smooth(draw, (16, 16))


def frame_background():
    w, h = 32, 58

    def draw(image, d, s):
        inner = vertical_gradient(image.size, (252, 252, 248), (231, 231, 222))
        mask = Image.new("L", image.size, 0)
        ImageDraw.Draw(mask).rounded_rectangle([0, 0, w * s - 1, h * s - 1], radius=5 * s,
                                               fill=255)
        image.paste(inner, (0, 0), mask)
        d.rounded_rectangle([s // 2, s // 2, w * s - 1 - s // 2, h * s - 1 - s // 2],
                            radius=5 * s, outline=(204, 204, 190, 255), width=s)

    # The frame's own colour shows at the rounded corners.
    return smooth(draw, (w, h), background=(240, 240, 240, 255)).convert("RGB")


def about_picture():
    size = 150

    def draw(image, d, s):
        w = size * s
        image.paste(vertical_gradient(image.size, (250, 252, 252), (226, 238, 240)), (0, 0))
        c = w / 2
        for i, (radius, alpha) in enumerate(((0.46, 60), (0.38, 110), (0.30, 255))):
            colour = tuple(round(a + (b - a) * i / 2) for a, b in zip(TEAL, DEEP))
            r = w * radius
            d.ellipse([c - r, c - r, c + r, c + r], outline=colour + (alpha,),
                      width=round(w * 0.012 * (3 - i)))
        r = w * 0.3
        mask = Image.new("L", image.size, 0)
        ImageDraw.Draw(mask).ellipse([c - r, c - r, c + r, c + r], fill=255)
        image.paste(vertical_gradient(image.size, TEAL, DEEP), (0, 0), mask)
        heights = [0.25 + 0.7 * abs(math.sin(i * 0.9 + 0.4)) for i in range(7)]
        wave_bars(d, (c - r * 0.72, c - r * 0.6, c + r * 0.72, c + r * 0.6), heights,
                  WHITE + (255,))
        dot = w * 0.035
        d.ellipse([c + r * 0.78 - dot, c - r * 0.78 - dot, c + r * 0.78 + dot,
                   c - r * 0.78 + dot], fill=AMBER + (255,))

    picture = smooth(draw, (size, size), background=(255, 255, 255, 255))
    return picture.filter(ImageFilter.SMOOTH).convert("RGB")


def write_ico(path, images):
    """An icon file of 32-bit device-independent bitmaps with AND masks."""
    entries = []
    blobs = []
    for image in images:
        image = image.convert("RGBA")
        w, h = image.size
        pixels = image.load()
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = pixels[x, y]
                xor += bytes((b, g, r, a))
        mask_row = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(mask_row)
            for x in range(w):
                if pixels[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask),
                             0, 0, 0, 0)
        blobs.append(header + bytes(xor) + bytes(mask))
        entries.append((w, h))
    offset = 6 + 16 * len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    for (w, h), blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico(os.path.join(OUT, "MainIcon.ico"), [main_icon(32), main_icon(16)])
    write_ico(os.path.join(OUT, "TitleGlyph.ico"), [title_glyph()])
    write_ico(os.path.join(OUT, "VariablesGlyph.ico"), [variables_glyph()])
    write_ico(os.path.join(OUT, "FilesGlyph.ico"), [files_glyph()])
    frame_background().save(os.path.join(OUT, "FrameBackground.bmp"))
    about_picture().save(os.path.join(OUT, "About.jpg"), quality=90, optimize=True)


if __name__ == "__main__":
    main()
