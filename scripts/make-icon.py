#!/usr/bin/env python3
"""Draws the program's icon: a blue box with a green check mark, at 32 x 32 and 16 x 16 in the
16-colour VGA palette, written as res/FinishInstall.ico. Run it again after changing the
picture; the .ico it writes is committed."""

import os
import struct

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, NAVY, SILVER, GREY, GREEN, BLUE, WHITE = 0, 2, 4, 7, 8, 10, 12, 15
TRANSPARENT = None


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def draw(size):
    """Returns rows (top first) of palette indices or TRANSPARENT."""
    s = size / 32.0
    box = (3 * s, 6 * s, 25 * s, 28 * s)  # left, top, right, bottom
    check = [(7 * s, 16 * s), (13 * s, 23 * s), (29 * s, 4 * s)]
    stroke = 2.6 * s
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            d = min(distance_to_segment(px, py, *check[0], *check[1]),
                    distance_to_segment(px, py, *check[1], *check[2]))
            inside = box[0] <= px < box[2] and box[1] <= py < box[3]
            edge = inside and (px < box[0] + s or px >= box[2] - s or
                               py < box[1] + s or py >= box[3] - s)
            if d <= stroke:
                row.append(GREEN)
            elif d <= stroke + max(1.0, s):
                row.append(DARK_GREEN)
            elif edge:
                row.append(NAVY)
            elif inside:
                row.append(BLUE if py < box[1] + 5 * s else SILVER)
            else:
                row.append(TRANSPARENT)
        rows.append(row)
    return rows


def image_bytes(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour, mask = b'', b''
    for row in reversed(rows):  # bitmaps are stored bottom-up
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, index in enumerate(row):
            value = 0 if index is TRANSPARENT else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        colour += bytes(line)
        mask += bytes(bits)
    return header + palette + colour + mask


def main():
    images = [image_bytes(draw(32)), image_bytes(draw(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    path = os.path.join(os.path.dirname(__file__), '..', 'res', 'FinishInstall.ico')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
