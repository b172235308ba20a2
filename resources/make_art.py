#!/usr/bin/env python3
"""Draws the stub's own pictures: the splash bitmap (splash.bmp) and the
program icon (vesk.ico), both 16-colour images in blue shades.

Run it from anywhere; it writes next to itself. The generated files are kept
in the repository, so a build never needs to run this.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

SPLASH_WIDTH = 300
SPLASH_HEIGHT = 110

# 4 x 4 ordered dither: spreads a gradient over the few shades we have
# without banding.
BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def splash_palette():
    # 0-11: the background ramp, deep navy to a calm mid blue, dark enough
    # everywhere for white bold text. 12-15: lighter blues for the waves.
    ramp = [lerp((8, 22, 64), (38, 92, 168), i / 11) for i in range(12)]
    light = [(58, 118, 196), (84, 144, 214), (120, 172, 228), (170, 206, 240)]
    return ramp + light


def dithered(level, x, y, top):
    """Picks a ramp index for a level in [0, 1] with ordered dithering."""
    scaled = level * top
    base = int(scaled)
    fraction = scaled - base
    if fraction * 16 > BAYER[y % 4][x % 4] + 0.5:
        base += 1
    return min(base, top)


def splash_pixel(x, y):
    # Diagonal gradient: darkest at the top left, where the product name
    # sits, lighter towards the bottom right.
    level = 0.75 * (x / (SPLASH_WIDTH - 1)) * 0.7 + 0.75 * (y / (SPLASH_HEIGHT - 1)) * 0.3
    index = dithered(level, x, y, 11)
    # Three soft waves across the lower part that fade in from the left,
    # so they stay clear of the text.
    presence = min(1.0, max(0.0, (x / SPLASH_WIDTH - 0.15) / 0.55))
    for n, (amplitude, phase, height) in enumerate(((7, 0.0, 84), (5, 1.3, 92), (4, 2.6, 100))):
        distance = abs(y - (height + amplitude * math.sin(x / 34.0 + phase)))
        if distance < 1.0 and presence * 16 > BAYER[y % 4][x % 4] + 0.5:
            index = max(index, 12 + min(3, int(presence * 3.5) - n // 2))
        elif distance < 2.0 and presence * 12 > BAYER[y % 4][x % 4] + 4.5:
            index = max(index, 12)
    return index


def bmp_file(width, height, palette, pixel):
    """A 4-bit BI_RGB bitmap file: file header, 40-byte info header, 16
    colour entries and bottom-up rows padded to 4 bytes."""
    stride = ((width * 4 + 31) // 32) * 4
    rows = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            value = pixel(x, y)
            row[x // 2] |= value << 4 if x % 2 == 0 else value
        rows += row
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(rows), 2835, 2835, 16, 16)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + colours + bytes(rows)


ICON_SIZE = 32


def icon_palette():
    return [(0, 0, 0), (255, 255, 255), (12, 30, 84), (20, 46, 112), (28, 64, 140),
            (38, 84, 166), (50, 104, 190), (66, 126, 210), (88, 150, 226), (120, 176, 236),
            (168, 208, 246), (6, 16, 48), (200, 224, 250), (40, 40, 40), (128, 128, 128),
            (192, 192, 192)]


def inside_rounded_square(x, y, margin=1, radius=7):
    lo, hi = margin, ICON_SIZE - 1 - margin
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + 0.5 and lo <= x <= hi and lo <= y <= hi


def in_chevron(x, y):
    # A bold "V" from (8, 8) and (23, 8) down to (15.5, 24).
    if not 8 <= y <= 24:
        return False
    t = (y - 8) / 16
    left = 8 + 7.5 * t
    right = 23 - 7.5 * t
    return abs(x - left) <= 2.2 or abs(x - right) <= 2.2


def icon_pixel(x, y):
    if not inside_rounded_square(x, y):
        return None  # transparent
    if not inside_rounded_square(x, y, margin=2, radius=6):
        return 11  # dark outline
    if in_chevron(x, y):
        return 1
    level = 1 - y / (ICON_SIZE - 1)
    return 3 + dithered(level, x, y, 6)


def ico_file():
    """One 32 x 32, 4-bit image: info header with doubled height, 16
    colours, XOR rows of 16 bytes, AND-mask rows of 4 bytes (744 bytes)."""
    xor = bytearray()
    mask = bytearray()
    for y in range(ICON_SIZE - 1, -1, -1):
        row = bytearray(16)
        bits = 0
        for x in range(ICON_SIZE):
            value = icon_pixel(x, y)
            if value is None:
                bits |= 1 << (31 - x)
                value = 0
            row[x // 2] |= value << 4 if x % 2 == 0 else value
        xor += row
        mask += struct.pack(">I", bits)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in icon_palette())
    info = struct.pack("<IiiHHIIiiII", 40, ICON_SIZE, ICON_SIZE * 2, 1, 4, 0,
                       len(xor) + len(mask), 0, 0, 16, 0)
    image = info + colours + bytes(xor) + bytes(mask)
    assert len(image) == 744, len(image)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", ICON_SIZE, ICON_SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    splash = bmp_file(SPLASH_WIDTH, SPLASH_HEIGHT, splash_palette(), splash_pixel)
    assert len(splash) - 14 == 16824, len(splash)
    with open(os.path.join(HERE, "splash.bmp"), "wb") as out:
        out.write(splash)
    with open(os.path.join(HERE, "vesk.ico"), "wb") as out:
        out.write(ico_file())


if __name__ == "__main__":
    main()
