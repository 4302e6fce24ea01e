#!/usr/bin/env python3
"""Checks a dial skin folder. Usage: check_skin.py [SKIN_FOLDER]  (default: skins/)

Needs only Python. Checks that skin_scroll.ini names every image and that each exists;
that the dial is a 185 x 185 RGBA PNG with transparent corners; that the four state pictures
are uncompressed 24- or 32-bit BMPs of 185 x 185; that each of the eight masks is an
uncompressed 24- or 32-bit BMP of exactly the size of its BUTTONPOS rectangle, holding only
pure black and pure white (255, 255, 255), black touching all four sides; that the masks do
not overlap, lie where the dial is opaque, and that each sector overlay is lit on every pixel
of its mask and nowhere further than one pixel from it. Exits with 1 on the first failure.
"""
import configparser
import os
import struct
import sys
import zlib

DIAL_SIZE = 185
CENTRE_SIZE = 91
MASKS = ['yinliang_mask.bmp', 'intensity_mask.bmp', 'updown_mask.bmp', 'leftright_mask.bmp',
         'kuohao_mask.bmp', 'scrollupdown_mask.bmp', 'fangda_mask.bmp', 'page_mask.bmp']
SCREEN_KEYS = (['Mask', 'Normal', 'Over', 'Down', 'Disable'] +
               ['Torv%d' % n for n in range(9)] + ['Button%d' % n for n in range(1, 9)])


class SkinError(Exception):
    pass


def require(condition, text):
    if not condition:
        raise SkinError(text)


def read_png(path):
    """Decodes an 8-bit, non-interlaced RGBA PNG: (width, height, rows of RGBA bytes)."""
    with open(path, 'rb') as f:
        data = f.read()
    require(data[:8] == b'\x89PNG\r\n\x1a\n', '%s: not a PNG' % path)
    at, idat, head = 8, b'', None
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            head = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
        at += 12 + length
    require(head is not None, '%s: no header' % path)
    width, height, depth, colour, _, _, interlace = head
    require(depth == 8 and colour == 6 and interlace == 0,
            '%s: expected 8-bit RGBA, not interlaced' % path)
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prior = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - 4] if i >= 4 else 0
            b = prior[i]
            c = prior[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + ((a + b) >> 1)) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(row))
        prior = row
    return width, height, rows


def read_bmp(path):
    """Reads an uncompressed 24- or 32-bit BMP: (width, height, rows of (r, g, b), top first)."""
    with open(path, 'rb') as f:
        data = f.read()
    require(data[:2] == b'BM' and len(data) >= 54, '%s: not a BMP' % path)
    offset = struct.unpack('<I', data[10:14])[0]
    header, width, height, planes, bits, compression = struct.unpack('<IiiHHI', data[14:34])
    require(header >= 40 and planes == 1, '%s: unexpected header' % path)
    require(bits in (24, 32) and compression == 0,
            '%s: %d bits, compression %d; expected uncompressed 24 or 32 bits' %
            (path, bits, compression))
    require(width > 0 and height != 0, '%s: empty' % path)
    step = bits // 8
    stride = (width * step + 3) & ~3
    require(len(data) >= offset + stride * abs(height), '%s: cut short' % path)
    rows = []
    for y in range(abs(height)):
        line = data[offset + y * stride:offset + y * stride + width * step]
        rows.append([(line[x * step + 2], line[x * step + 1], line[x * step])
                     for x in range(width)])
    if height > 0:
        rows.reverse()
    return width, abs(height), rows


def parse_button_pos(value):
    """label,x,y,width,height as the program reads it."""
    rest = value.split(',', 1)[1] if ',' in value else value
    numbers = []
    for part in rest.split(',')[:4]:
        try:
            numbers.append(int(part.strip()))
        except ValueError:
            break
    numbers += [0] * (4 - len(numbers))
    return numbers


def check(folder):
    ini = configparser.RawConfigParser()
    ini.optionxform = str
    require(ini.read(os.path.join(folder, 'skin_scroll.ini'), encoding='ascii'),
            'skin_scroll.ini missing')
    for key in SCREEN_KEYS:
        require(ini.has_option('SCREEN', key), 'SCREEN key %s missing' % key)
        path = os.path.join(folder, ini.get('SCREEN', key))
        require(os.path.isfile(path), '%s: %s missing' % (key, path))
    screen = lambda key: os.path.join(folder, ini.get('SCREEN', key))

    w, h, dial = read_png(screen('Mask'))
    require((w, h) == (DIAL_SIZE, DIAL_SIZE), 'dial image is %dx%d' % (w, h))
    alpha = [[row[4 * x + 3] for x in range(w)] for row in dial]
    for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        require(alpha[y][x] == 0, 'dial corner (%d, %d) is not transparent' % (x, y))
    require(alpha[h // 2][w // 2] == 255, 'dial centre is not opaque')
    require(any(0 < a < 255 for a in alpha[h // 2]), 'dial edge is not anti-aliased')

    for key in ('Normal', 'Over', 'Down', 'Disable'):
        bw, bh, _ = read_bmp(screen(key))
        require((bw, bh) == (DIAL_SIZE, DIAL_SIZE), '%s picture is %dx%d' % (key, bw, bh))
    for n in range(9):
        cw, ch, _ = read_png(screen('Torv%d' % n))
        require((cw, ch) == (CENTRE_SIZE, CENTRE_SIZE), 'Torv%d is %dx%d' % (n, cw, ch))

    owner = [[0] * DIAL_SIZE for _ in range(DIAL_SIZE)]  # which mask covers a dial pixel
    for n in range(1, 9):
        require(ini.has_option('BUTTONPOS', str(n)), 'BUTTONPOS %d missing' % n)
        x0, y0, rw, rh = parse_button_pos(ini.get('BUTTONPOS', str(n)))
        name = MASKS[n - 1]
        mw, mh, mask = read_bmp(os.path.join(folder, name))
        require((mw, mh) == (rw, rh), '%s is %dx%d, its rectangle %dx%d' % (name, mw, mh, rw, rh))
        require(0 <= x0 and 0 <= y0 and x0 + rw <= DIAL_SIZE and y0 + rh <= DIAL_SIZE,
                'BUTTONPOS %d lies outside the dial' % n)
        for y in range(mh):
            for x in range(mw):
                require(mask[y][x] in ((0, 0, 0), (255, 255, 255)),
                        '%s: pixel (%d, %d) is %r, neither black nor white' %
                        (name, x, y, mask[y][x]))
        black = lambda x, y: mask[y][x] == (0, 0, 0)
        require(any(black(x, 0) for x in range(mw)) and
                any(black(x, mh - 1) for x in range(mw)) and
                any(black(0, y) for y in range(mh)) and
                any(black(mw - 1, y) for y in range(mh)), '%s: not cropped to its sector' % name)
        for y in range(mh):
            for x in range(mw):
                if black(x, y):
                    dx, dy = x0 + x, y0 + y
                    require(owner[dy][dx] == 0, '%s overlaps another mask' % name)
                    require(alpha[dy][dx] == 255, '%s reaches outside the opaque dial' % name)
                    owner[dy][dx] = n

        ow, oh, overlay = read_png(screen('Button%d' % n))
        require((ow, oh) == (DIAL_SIZE, DIAL_SIZE), 'Button%d is %dx%d' % (n, ow, oh))
        for y in range(DIAL_SIZE):
            for x in range(DIAL_SIZE):
                lit = overlay[y][4 * x + 3]
                if owner[y][x] == n:
                    require(lit > 0, 'Button%d is dark at (%d, %d) inside its mask' % (n, x, y))
                elif lit:
                    near = any(owner[y + j][x + i] == n for j in (-1, 0, 1) for i in (-1, 0, 1)
                               if 0 <= y + j < DIAL_SIZE and 0 <= x + i < DIAL_SIZE)
                    require(near, 'Button%d is lit at (%d, %d), away from its mask' % (n, x, y))


def main(argv):
    folder = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), 'skins')
    try:
        check(folder)
    except SkinError as e:
        print('check_skin: %s' % e)
        return 1
    print('check_skin: %s is complete; masks are black and white and match their overlays' %
          folder)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
