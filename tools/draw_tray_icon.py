#!/usr/bin/env python3
"""Draws the tray icon: a blue disc with a white upward arrow, in 32x32 and
16x16 at 16 colours (4 bits per pixel, the standard VGA palette), written as
one .ico file. Usage: draw_tray_icon.py OUTPUT.ico"""
import struct
import sys

# The 16-colour VGA palette, (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, BLUE, WHITE, GREY = 4, 12, 15, 8
CLEAR = None


def draw(size):
    """Rows top to bottom of palette indexes (CLEAR = transparent)."""
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            d2 = (x - c) ** 2 + (y - c) ** 2
            if d2 > r * r:
                row.append(CLEAR)
            elif d2 > (r - max(1, size // 16)) ** 2:
                row.append(NAVY)
            else:
                row.append(BLUE)
        rows.append(row)
    # The arrow: a triangle head over a shaft, centred.
    u = size / 32.0
    head_top, head_bottom = int(6 * u), int(16 * u)
    shaft_bottom = int(25 * u)
    half_shaft = max(1, int(3 * u))
    for y in range(head_top, head_bottom + 1):
        half = (y - head_top) * (9 * u) / (head_bottom - head_top)
        for x in range(size):
            if abs(x - c) <= half:
                rows[y][x] = WHITE
    for y in range(head_bottom, shaft_bottom + 1):
        for x in range(size):
            if abs(x - c) <= half_shaft:
                rows[y][x] = WHITE
    return rows


def image_bytes(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = b''
    mask = b''
    for row in reversed(rows):  # bitmaps are stored bottom-up
        nibbles = [0 if p is CLEAR else p for p in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line.ljust(xor_stride, b'\0')
        bits = 0
        out = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is CLEAR else 0)
            if i % 8 == 7:
                out.append(bits)
                bits = 0
        mask += bytes(out).ljust(and_stride, b'\0')
    return header + palette + xor + mask


def main():
    sizes = [32, 16]
    images = [image_bytes(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
