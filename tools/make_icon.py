#!/usr/bin/env python3
"""Draws the program icon of quillfen.exe and writes it as a Windows .ico.

Usage: make_icon.py OUT.ico

The picture is a red quill over a snowy hill in a round patch of sky, drawn
from a few shapes at each size. The file holds twelve images:
48, 32, 24 and 16 pixels square in 16 and in 256 colours, 48 and 32 in
24 bits and 24 and 16 in 32 bits with an alpha channel. The same input
gives the same bytes: the drawing uses no randomness and no clock.
"""

import math
import struct
import sys

# (size, bits per pixel), in the order of the icon directory.
IMAGES = [
    (48, 4), (32, 4), (24, 4), (16, 4),
    (48, 8), (32, 8), (24, 8), (16, 8),
    (48, 24), (32, 24),
    (24, 32), (16, 32),
]

# --- The picture -----------------------------------------------------------
#
# Coordinates are in the unit square, x to the right and y downwards, so a
# shape is the same at every size. A point is classified into one material.
# The 16-colour images give each material one fixed colour; the others use
# the true colours below, in which the sky is a gradient.

CLEAR, RIM, SKY, FLAKE, BACK_SNOW, SNOW, VANE, VANE_SHADE, SHAFT, NIB = range(10)

DISC_X, DISC_Y, DISC_R = 0.5, 0.5, 0.48
RIM_WIDTH = 0.045

NIB_AT = (0.31, 0.69)   # the point of the quill, in the snow
TIP_AT = (0.84, 0.10)   # the far end of the feather
NIB_END = 0.11          # along the quill: nib from 0 to here
VANE_START = 0.24       # the feathered part from here to 1
SHAFT_HALF = 0.016

FLAKES = [(0.22, 0.30), (0.40, 0.18), (0.16, 0.52), (0.84, 0.46), (0.64, 0.58)]
FLAKE_R = 0.028


def quill_material(x, y, pixel):
    """The quill's material at (x, y), or None off the quill.

    pixel is the width of one pixel in unit coordinates: thin lines are kept
    at least about one pixel wide so that they survive at 16 pixels."""
    ax, ay = TIP_AT[0] - NIB_AT[0], TIP_AT[1] - NIB_AT[1]
    length = math.hypot(ax, ay)
    dx, dy = ax / length, ay / length
    px, py = x - NIB_AT[0], y - NIB_AT[1]
    t = (px * dx + py * dy) / length      # 0 at the nib, 1 at the tip
    s = px * dy - py * dx                 # signed distance from the axis
    if t < 0.0 or t > 1.0:
        return None
    if t < NIB_END:
        return NIB if abs(s) <= 0.045 * t / NIB_END + 0.25 * pixel else None
    if abs(s) <= max(SHAFT_HALF, 0.45 * pixel):
        return SHAFT
    if t < VANE_START:
        return None
    along = (t - VANE_START) / (1.0 - VANE_START)
    # The vane swells from the shaft and closes to a rounded tip; the
    # lower side is a little narrower, and a notch cuts it halfway up.
    width = 0.15 * math.sin(math.pi * along) ** 0.6
    if s < 0:
        width *= 0.75
        if abs(along - 0.45) < 0.05 and -s > width * 0.45:
            return None
    if abs(s) > width:
        return None
    return VANE_SHADE if s < 0 else VANE


def material(x, y, pixel):
    """The material of the picture at (x, y)."""
    r = math.hypot(x - DISC_X, y - DISC_Y)
    if r > DISC_R:
        return CLEAR
    if r > DISC_R - max(RIM_WIDTH, 0.9 * pixel):
        return RIM
    quill = quill_material(x, y, pixel)
    if quill is not None:
        return quill
    if math.hypot(x - 0.30, y - 1.10) < 0.46:
        return SNOW
    if math.hypot(x - 0.84, y - 1.04) < 0.46:
        return BACK_SNOW
    if pixel < 1.0 / 20:   # at 16 pixels the flakes would be noise
        for fx, fy in FLAKES:
            if math.hypot(x - fx, y - fy) < max(FLAKE_R, 0.5 * pixel):
                return FLAKE
    return SKY


TRUE_COLOURS = {
    RIM: (28, 52, 104),
    FLAKE: (255, 255, 255),
    BACK_SNOW: (196, 214, 236),
    SNOW: (250, 251, 255),
    VANE: (214, 48, 40),
    VANE_SHADE: (150, 26, 34),
    SHAFT: (250, 236, 178),
    NIB: (44, 40, 48),
}


def true_colour(m, y):
    """An (r, g, b) for material m at height y; the sky darkens upwards."""
    if m == SKY:
        top, bottom = (62, 118, 196), (162, 204, 242)
        return tuple(round(a + (b - a) * y) for a, b in zip(top, bottom))
    return TRUE_COLOURS[m]


# The 16 colours of the standard VGA palette, and which material takes which.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
VGA_INDEX = {
    CLEAR: 0, RIM: 4, SKY: 6, FLAKE: 15, BACK_SNOW: 7, SNOW: 15,
    VANE: 9, VANE_SHADE: 1, SHAFT: 11, NIB: 0,
}


def palette_256():
    """VGA's 16 colours, a 6x6x6 colour cube, and 24 entries of the picture's
    own: the other true colours and a ramp of the sky, so that the
    256-colour images come close to the true-colour ones."""
    cube = [(r * 51, g * 51, b * 51)
            for r in range(6) for g in range(6) for b in range(6)]
    own = [TRUE_COLOURS[m] for m in sorted(TRUE_COLOURS)]
    ramp = 24 - len(own)
    sky = [true_colour(SKY, k / (ramp - 1)) for k in range(ramp)]
    return VGA + cube + own + sky


PALETTE_256 = palette_256()


def nearest(palette, rgb):
    """Index of the palette entry closest to rgb; the lowest index on ties."""
    best, best_d = 0, None
    for i, (r, g, b) in enumerate(palette):
        d = (r - rgb[0]) ** 2 + (g - rgb[1]) ** 2 + (b - rgb[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


# --- Rendering -------------------------------------------------------------

SUPERSAMPLE = 4   # samples per pixel side for the true-colour images


def render_palette(size, bpp):
    """Rows top-down of (palette index, transparent) for a 4 or 8 bpp image,
    one sample at each pixel's centre."""
    pixel = 1.0 / size
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) * pixel, (j + 0.5) * pixel
            m = material(x, y, pixel)
            if m == CLEAR:
                row.append((0, True))
            elif bpp == 4:
                row.append((VGA_INDEX[m], False))
            else:
                row.append((nearest(PALETTE_256, true_colour(m, y)), False))
        rows.append(row)
    return rows


def render_true(size):
    """Rows top-down of (r, g, b, coverage 0..255) for 24 and 32 bpp.

    The coverage is the share of a pixel's samples that fall on the
    picture, the alpha of 32 bpp, so the round edge is smooth. The colour
    is the one at the pixel's centre, which keeps the small sizes crisp;
    a pixel whose centre is off the picture takes the mean of its samples
    that are on it."""
    pixel = 1.0 / size
    n = SUPERSAMPLE
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) * pixel, (j + 0.5) * pixel
            m = material(x, y, pixel)
            centre = None if m == CLEAR else true_colour(m, y)
            sums, hits = [0, 0, 0], 0
            for sj in range(n):
                for si in range(n):
                    x = (i + (si + 0.5) / n) * pixel
                    y = (j + (sj + 0.5) / n) * pixel
                    m = material(x, y, pixel)
                    if m == CLEAR:
                        continue
                    hits += 1
                    for k, c in enumerate(true_colour(m, y)):
                        sums[k] += c
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                r, g, b = centre or tuple(round(c / hits) for c in sums)
                row.append((r, g, b, round(255 * hits / (n * n))))
        rows.append(row)
    return rows


# --- The .ico file -----------------------------------------------------------
#
# ICONDIR (6 bytes): reserved 0, type 1 (icon), image count; all u16 LE.
# ICONDIRENTRY (16 bytes each): width u8, height u8, colour count u8 (16 for
# 4 bpp, 0 from 8 bpp up), reserved u8, planes u16 (1), bits per pixel u16,
# image size u32, image offset from the start of the file u32.
# Each image: BITMAPINFOHEADER (40 bytes) with the height doubled (colour
# bitmap plus mask), the palette as B, G, R, 0 for 4 and 8 bpp, the colour
# bitmap, then the 1 bpp AND mask (1 = transparent). Both bitmaps store
# their rows bottom-up, each row padded to a multiple of 4 bytes.

def row_bytes(width, bpp):
    return (width * bpp + 31) // 32 * 4


def pack_bits(values, bpp, width):
    """One bitmap row of values of bpp bits each, most significant first."""
    out = bytearray(row_bytes(width, bpp))
    per_byte = 8 // bpp
    for i, v in enumerate(values):
        shift = 8 - bpp * (i % per_byte + 1)
        out[i // per_byte] |= v << shift
    return bytes(out)


def and_mask(transparent_rows, size):
    return b"".join(pack_bits([1 if t else 0 for t in row], 1, size)
                    for row in reversed(transparent_rows))


def bitmap_header(size, bpp, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0,
                       image_bytes, 0, 0, 0, 0)


def palette_image(size, bpp):
    rows = render_palette(size, bpp)
    palette = VGA if bpp == 4 else PALETTE_256
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    xor = b"".join(pack_bits([index for index, _ in row], bpp, size)
                   for row in reversed(rows))
    mask = and_mask([[clear for _, clear in row] for row in rows], size)
    return bitmap_header(size, bpp, len(xor) + len(mask)) + colours + xor + mask


def true_image(size, bpp):
    rows = render_true(size)
    pad = bytes(row_bytes(size, bpp) - size * bpp // 8)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            if bpp == 32:
                xor += bytes((b, g, r, a))
            elif a >= 128:
                xor += bytes((b, g, r))
            else:
                xor += bytes(3)
        xor += pad
    # A pixel counts as shown in the mask when at least half of it is.
    mask = and_mask([[a < 128 for *_, a in row] for row in rows], size)
    return bitmap_header(size, bpp, len(xor) + len(mask)) + bytes(xor) + mask


def make_icon():
    images = [palette_image(size, bpp) if bpp <= 8 else true_image(size, bpp)
              for size, bpp in IMAGES]
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries = b""
    for (size, bpp), data in zip(IMAGES, images):
        entries += struct.pack("<BBBBHHII", size, size, 16 if bpp == 4 else 0,
                               0, 1, bpp, len(data), offset)
        offset += len(data)
    return head + entries + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUT.ico\n")
        return 2
    data = make_icon()
    with open(argv[1], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
