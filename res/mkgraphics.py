#!/usr/bin/env python3
"""Draws the program's icon (res/kov.ico, resource 300) and the title picture of the frame
window (res/title.bmp, resource 350). Run it again after changing a shape; both outputs are
checked in so the build needs nothing but windres.

The title picture is 360 x 90, one bit per pixel, colour 0 white and colour 1 black: the frame
paints the colour-0 pixels in white over its gradient and leaves the others transparent."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def letters(x, y, ox, oy, size, stroke):
    """True when (x, y) lies on the word KOV drawn in a box of size x size per letter,
    starting at (ox, oy)."""
    h = stroke / 2.0
    s = size
    # K: stem and two arms from the middle of the stem.
    kx = ox
    if seg_dist(x, y, kx + h, oy + h, kx + h, oy + s - h) <= h:
        return True
    if seg_dist(x, y, kx + h, oy + s * 0.58, kx + s * 0.78 - h, oy + h) <= h:
        return True
    if seg_dist(x, y, kx + s * 0.30, oy + s * 0.42, kx + s * 0.80 - h, oy + s - h) <= h:
        return True
    # O: an elliptic ring.
    cx, cy = ox + s * 1.45, oy + s / 2.0
    rx, ry = s * 0.50, s / 2.0
    d = math.hypot((x - cx) / rx, (y - cy) / ry)
    if 1.0 - stroke / min(rx, ry) <= d <= 1.0:
        return True
    # V: two strokes meeting at the bottom.
    vx = ox + s * 2.15
    if seg_dist(x, y, vx + h, oy + h, vx + s * 0.42, oy + s - h) <= h:
        return True
    if seg_dist(x, y, vx + s * 0.84 - h, oy + h, vx + s * 0.42, oy + s - h) <= h:
        return True
    return False


def waves(x, y, cx, cy, radii, thick):
    """Three quarter-circle waves opening to the upper right, and the dot they come from."""
    r = math.hypot(x - cx, y - cy)
    if r <= thick * 0.9:
        return True
    if x < cx or y > cy:
        return False
    return any(abs(r - rad) <= thick / 2.0 for rad in radii)


def title_pixel(x, y):
    px, py = x + 0.5, y + 0.5
    if letters(px, py, 8, 6, 72, 17):
        return True
    if waves(px, py, 258, 72, (22, 40, 58), 8):
        return True
    # A rule under the whole title.
    return 6 <= px <= 352 and 84 <= py <= 87


def write_title(path):
    w, h = 360, 90
    row = ((w + 31) // 32) * 4
    bits = bytearray()
    for y in reversed(range(h)):               # bottom-up rows
        line = bytearray(row)
        for x in range(w):
            if not title_pixel(x, y):           # colour 1 (black) is the transparent part
                line[x // 8] |= 0x80 >> (x % 8)
        bits += line
    header = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 1, 0, len(bits), 2835, 2835, 2, 2)
    palette = bytes([255, 255, 255, 0, 0, 0, 0, 0])   # 0 white, 1 black (B, G, R, 0)
    offset = 14 + len(header) + len(palette)
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', offset + len(bits), 0, 0, offset))
        f.write(header + palette + bits)


# The standard 16-colour palette, which every display shows without dithering.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, BLUE, WHITE, YELLOW = 4, 12, 15, 11


def icon_pixel(x, y, n):
    """Colour index at (x, y) of the n x n icon, or None where it is transparent: a blue disc
    with a navy rim, a white K and a yellow wave in the upper right."""
    px, py = x + 0.5, y + 0.5
    c = n / 2.0
    r = math.hypot(px - c, py - c)
    if r > c - 0.25:
        return None
    if r > c - 0.25 - max(1.0, n / 16.0):
        return NAVY
    u = n / 32.0                               # shapes are drawn on a 32-unit grid
    h = 2.6 * u
    if (seg_dist(px, py, 10 * u, 8 * u, 10 * u, 24 * u) <= h or
            seg_dist(px, py, 10.5 * u, 17.5 * u, 20 * u, 8 * u) <= h or
            seg_dist(px, py, 13.5 * u, 15 * u, 21 * u, 24 * u) <= h):
        return WHITE
    if px > 21 * u and py < 14 * u and abs(math.hypot(px - 21 * u, py - 14 * u) - 6.5 * u) <= 1.0 * u:
        return YELLOW
    return BLUE


def icon_image(n):
    xor_row = ((n * 4 + 31) // 32) * 4
    and_row = ((n + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(n)):
        xl, ml = bytearray(xor_row), bytearray(and_row)
        for x in range(n):
            c = icon_pixel(x, y, n)
            if c is None:
                ml[x // 8] |= 0x80 >> (x % 8)
                c = 0
            xl[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += xl
        mask += ml
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(bytes([b, g, r, 0]) for r, g, b in VGA)
    return header + palette + xor + mask


def write_icon(path):
    images = [(32, icon_image(32)), (16, icon_image(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(d for _, d in images))


if __name__ == '__main__':
    write_title(os.path.join(HERE, 'title.bmp'))
    write_icon(os.path.join(HERE, 'kov.ico'))
