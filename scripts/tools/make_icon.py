#!/usr/bin/env python3
"""Draws the program icon (a small dial) into an .ico file: 16, 32 and 48 px,
32-bit with alpha. Usage: make_icon.py OUTPUT.ico"""
import math
import struct
import sys


def draw(size):
    px = []
    c = (size - 1) / 2.0
    r_outer = size * 0.47
    r_inner = size * 0.36
    r_knob = size * 0.26
    for y in range(size):
        row = []
        for x in range(size):
            dx, dy = x - c, y - c
            d = math.hypot(dx, dy)
            ang = (math.degrees(math.atan2(dy, dx)) + 360.0) % 360.0
            a = 0
            rgb = (0, 0, 0)
            if d <= r_outer:
                a = 255 if d <= r_outer - 0.5 else int(255 * (r_outer - d + 0.5))
                rgb = (40, 44, 52)  # ring
                if d <= r_inner:
                    rgb = (64, 70, 82)
                if r_inner < d <= r_outer - size * 0.04:
                    # eight sector ticks around the ring
                    if min(ang % 45.0, 45.0 - ang % 45.0) < 6.0:
                        rgb = (120, 200, 255)
                if d <= r_knob:
                    shade = int(170 - 60 * (dy / max(r_knob, 1)))
                    rgb = (shade, shade, min(255, shade + 20))
                # pointer of the knob towards the upper right
                if d <= r_knob and abs(dx + dy) <= size * 0.06 and dx > 0 and dy < 0:
                    rgb = (255, 140, 0)
            row.append((rgb[2], rgb[1], rgb[0], max(0, min(255, a))))
        px.append(row)
    return px


def bmp(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = bytearray()
    for y in reversed(range(size)):
        for b, g, r, a in px[y]:
            data += bytes((b, g, r, a))
    row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        bits = bytearray(row_bytes)
        for x in range(size):
            if px[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(data) + bytes(mask)


def main(out):
    sizes = [16, 32, 48]
    images = [bmp(s) for s in sizes]
    offset = 6 + 16 * len(sizes)
    head = struct.pack('<HHH', 0, 1, len(sizes))
    entries = b''
    for s, img in zip(sizes, images):
        entries += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, 'wb') as f:
        f.write(head + entries + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1])
