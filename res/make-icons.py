#!/usr/bin/env python3
"""Draws the installer's two icons as 32x32, 16-colour .ico files.

  yelk.ico    icon 1, the main window's class icon: Yelk's speech bubble with a "Y"
  setup.ico   icon 2, painted on the wizard: the bubble over an install tray

Run from anywhere: python3 res/make-icons.py (writes next to this script).
"""
import os
import struct

# The standard 16-colour palette, in Windows order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GRAY, YELLOW, BLUE, AQUA, WHITE = 0, 4, 6, 7, 8, 11, 12, 14, 15
SIZE = 32


def canvas():
    return [[None] * SIZE for _ in range(SIZE)]


def bubble(img, left, top, right, bottom, radius):
    """A rounded speech bubble with a tail at its lower left: navy edge, blue body."""
    def inside(x, y, shrink):
        l, t, r, b, rad = left + shrink, top + shrink, right - shrink, bottom - shrink, radius - shrink
        if x < l or x > r or y < t or y > b:
            return False
        cx = min(max(x, l + rad), r - rad)
        cy = min(max(y, t + rad), b - rad)
        return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad + rad
    for y in range(SIZE):
        for x in range(SIZE):
            if inside(x, y, 1):
                img[y][x] = BLUE
            elif inside(x, y, 0):
                img[y][x] = NAVY
    # The tail: a small triangle below the body, pointing down and left.
    tail_x = left + radius
    for i in range(1, 6):
        y = bottom + i
        if y >= SIZE:
            break
        x0 = tail_x - i
        x1 = tail_x + 5 - i * 2
        for x in range(x0, x1 + 1):
            img[y][x] = BLUE if x0 < x < x1 else NAVY
        img[y][x0] = NAVY
    # Highlight along the top edge.
    for x in range(left + radius, right - radius + 1):
        img[top + 2][x] = AQUA


def letter_y(img, cx, top, height):
    """A thick white "Y" with a gray shadow, centred at cx."""
    arm = height // 2
    pixels = []
    for i in range(arm):
        for d in (0, 1, 2):
            pixels.append((cx - arm + i + d - 1, top + i))
            pixels.append((cx + arm - i - d + 1, top + i))
    for y in range(top + arm, top + height):
        for d in (-1, 0, 1):
            pixels.append((cx + d, y))
    for x, y in pixels:
        if 0 <= x + 1 < SIZE and 0 <= y + 1 < SIZE and img[y + 1][x + 1] == BLUE:
            img[y + 1][x + 1] = NAVY
    for x, y in pixels:
        img[y][x] = WHITE


def icon_main():
    img = canvas()
    bubble(img, 1, 2, 30, 23, 7)
    letter_y(img, 16, 6, 14)
    return img


def icon_setup():
    img = canvas()
    bubble(img, 5, 0, 30, 17, 6)
    letter_y(img, 18, 4, 11)
    # The tray the bubble drops into: silver with a gray rim and a black base.
    for y in range(24, 31):
        for x in range(2, 30):
            img[y][x] = SILVER
    for x in range(2, 30):
        img[24][x] = WHITE
        img[30][x] = BLACK
    for y in range(24, 31):
        img[y][2] = WHITE
        img[y][29] = BLACK
    for x in range(8, 24):
        img[26][x] = GRAY
        img[27][x] = GRAY
    # A yellow arrow from the bubble into the tray.
    for y in range(19, 26):
        for x in range(17, 20):
            img[y][x] = YELLOW
    for i in range(4):
        for x in range(14 + i, 23 - i):
            img[23 + i][x] = YELLOW if x not in (14 + i, 22 - i) else BLACK
    return img


def ico_bytes(img):
    """One 32x32 4-bit image: directory, BITMAPINFOHEADER, palette, colour and mask."""
    xor = b''
    mask = b''
    for y in reversed(range(SIZE)):            # bottom-up rows
        row = img[y]
        nibbles = [0 if c is None else c for c in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += struct.pack('>I', bits)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    data = directory + image
    # The installer's payload marker must never appear ahead of the payload.
    assert b'ARNI' not in data
    return data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, img in (('yelk.ico', icon_main()), ('setup.ico', icon_setup())):
        with open(os.path.join(here, name), 'wb') as f:
            f.write(ico_bytes(img))


if __name__ == '__main__':
    main()
