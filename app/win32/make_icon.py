#!/usr/bin/env python3
"""Draws the program's icon (a document page under a camera lens) and writes
it as a Windows icon file with a 32x32 and a 16x16 image, 16 colours each.

    python3 make_icon.py spelvane.ico
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, TEAL, SILVER, GREY, BLUE, CYAN, WHITE = 0, 4, 6, 7, 8, 12, 14, 15
TRANSPARENT = None


def pixel(x, y, size):
    """Colour index at pixel (x, y) of a size x size image, or TRANSPARENT."""
    u = (x + 0.5) / size  # 0..1 across
    v = (y + 0.5) / size  # 0..1 down
    # Lens: a ring with a highlight, bottom right, over the page.
    cx, cy, r = 0.68, 0.68, 0.27
    d2 = (u - cx) ** 2 + (v - cy) ** 2
    if d2 <= r * r:
        if d2 >= (r - 1.6 / size) ** 2:
            return BLACK
        if (u - cx + 0.09) ** 2 + (v - cy + 0.09) ** 2 <= (r * 0.28) ** 2:
            return WHITE
        return CYAN if d2 <= (r * 0.55) ** 2 else BLUE
    # Page: white sheet with an outline and grey text lines.
    left, top, right, bottom = 0.12, 0.06, 0.74, 0.90
    if left <= u <= right and top <= v <= bottom:
        edge = 1.0 / size
        if u - left < edge or right - u < edge or v - top < edge or bottom - v < edge:
            return BLACK
        line_pitch = 4.0 / 32 if size >= 32 else 3.0 / 16
        row = (v - top - 0.10) / line_pitch
        if row >= 0 and (row - int(row)) * line_pitch < 1.0 / size and u < right - 0.10:
            return GREY
        return WHITE
    # Shadow under the page.
    if left + 0.05 <= u <= right + 0.05 and top + 0.05 <= v <= bottom + 0.05:
        return GREY
    return TRANSPARENT


def image(size):
    rows = [[pixel(x, y, size) for x in range(size)] for y in range(size)]
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = b''
    mask = b''
    for row in reversed(rows):  # bitmaps run bottom-up
        nibbles = [0 if c is TRANSPARENT else c for c in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line + b'\0' * (-len(line) % 4)
        bits = 0
        line = b''
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is TRANSPARENT else 0)
            if i % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += line + b'\0' * (-len(line) % 4)
    return header + palette + xor + mask


def icon(sizes):
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


if __name__ == '__main__':
    with open(sys.argv[1] if len(sys.argv) > 1 else 'spelvane.ico', 'wb') as f:
        f.write(icon([32, 16]))
