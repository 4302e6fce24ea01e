#!/usr/bin/env python3
"""Builds the default dial skin in skins/ from the SVG sources in scripts/tools/skin/.

Usage: make_skin.py [--preview DIR]

Needs rsvg-convert (Debian: librsvg2-bin) and ImageMagick's convert. Writes:
  dial.png                 the dial, per-pixel alpha ("Mask" in skin_scroll.ini)
  centre_*.png             the nine centre images ("Torv0" ... "Torv8"), 91 x 91
  sector_*.png             the eight lit-sector overlays ("Button1" ... "Button8")
  normal/over/down/disable.bmp   the four state pictures, 24-bit BMP, 185 x 185
  *_mask.bmp               the eight sector masks, 24-bit BMP, exactly black and white
  skin_scroll.ini          image names and the sector rectangles ("BUTTONPOS")
The masks, the overlays and the BUTTONPOS rectangles all come from sector_path() below,
so a sector lights up exactly where it can be clicked. check_skin.py verifies the result.
With --preview, also writes pictures of the dial on a desktop-like background to DIR.
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
from string import Template

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCES = os.path.join(HERE, 'skin')
REPO = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(REPO, 'skins')

# Geometry of the dial window, in pixels.
DIAL_SIZE = 185
CENTRE_SIZE = 91  # the centre image is drawn on the square (47, 47)-(138, 138)
C = DIAL_SIZE / 2.0  # centre of the dial
R_IN = 50.0  # inner radius of the sector ring (just outside the centre recess, 47.5)
R_OUT = 81.0  # outer radius of the sector ring (inside the face, 84)
GAP = 3.0  # width of the straight gap between two neighbouring sectors
ICON_RADIUS = (R_IN + R_OUT) / 2.0
ICON_SIZE = 24.0  # pictogram size in a sector; pictogram sources are 48 x 48
CENTRE_ICON_SIZE = 44.0

# The eight functions in order 1 ... 8, clockwise from the top: BUTTONPOS label, pictogram
# (skin/icons/NAME.svg, also names the output files) and the mask's fixed file name.
FUNCTIONS = [
    ('volume', 'volume', 'yinliang_mask.bmp'),
    ('intensity', 'intensity', 'intensity_mask.bmp'),
    ('updown', 'updown', 'updown_mask.bmp'),
    ('leftright', 'leftright', 'leftright_mask.bmp'),
    ('brackets', 'brackets', 'kuohao_mask.bmp'),
    ('scrollupdown', 'scrollupdown', 'scrollupdown_mask.bmp'),
    ('zoom', 'zoom', 'fangda_mask.bmp'),
    ('page', 'page', 'page_mask.bmp'),
]

STATE_PICTURES = [('Normal', 'normal.bmp'), ('Over', 'over.bmp'), ('Down', 'down.bmp'),
                  ('Disable', 'disable.bmp')]


def polar(angle_deg, radius):
    """Point at an angle clockwise from the top, in window coordinates (y downwards)."""
    a = math.radians(angle_deg)
    return C + radius * math.sin(a), C - radius * math.cos(a)


def sector_path(index):
    """Outline of sector index (0 ... 7): a ring segment of 45 degrees centred on
    index * 45 degrees, its straight sides GAP / 2 away from the borders between sectors."""
    mid = index * 45.0
    d_out = math.degrees(math.asin(GAP / 2.0 / R_OUT))
    d_in = math.degrees(math.asin(GAP / 2.0 / R_IN))
    p1 = polar(mid - 22.5 + d_out, R_OUT)
    p2 = polar(mid + 22.5 - d_out, R_OUT)
    p3 = polar(mid + 22.5 - d_in, R_IN)
    p4 = polar(mid - 22.5 + d_in, R_IN)
    f = lambda p: '%.3f %.3f' % p
    return ('M %s A %g %g 0 0 1 %s L %s A %g %g 0 0 0 %s Z' %
            (f(p1), R_OUT, R_OUT, f(p2), f(p3), R_IN, R_IN, f(p4)))


def icon_body(name):
    """The drawing inside a pictogram's <svg> element."""
    with open(os.path.join(SOURCES, 'icons', name + '.svg'), encoding='utf-8') as f:
        text = f.read()
    start = text.index('>', text.index('<svg')) + 1
    return text[start:text.rindex('</svg>')].strip()


def place_icon(name, cx, cy, size):
    scale = size / 48.0
    return '<g transform="translate(%.3f %.3f) scale(%.5f)">%s</g>' % (
        cx - size / 2.0, cy - size / 2.0, scale, icon_body(name))


def template(name, **values):
    with open(os.path.join(SOURCES, name), encoding='utf-8') as f:
        return Template(f.read()).substitute(**values)


def run(args, stdin=None):
    return subprocess.run(args, input=stdin, stdout=subprocess.PIPE, check=True).stdout


def render_png(svg_text, path, work):
    """Renders an SVG text to an 8-bit RGBA PNG without metadata chunks."""
    src = os.path.join(work, os.path.basename(path) + '.svg')
    with open(src, 'w', encoding='utf-8') as f:
        f.write(svg_text)
    raw = os.path.join(work, os.path.basename(path) + '.raw.png')
    run(['rsvg-convert', '-f', 'png', '-o', raw, src])
    run(['convert', raw, '-strip', '-define', 'png:exclude-chunks=date,time',
         '-define', 'png:color-type=6', '-define', 'png:bit-depth=8', 'PNG32:' + path])


def pixels(args, channels):
    """Runs convert with args ending in an image, returns rows of 8-bit pixels."""
    data = run(['convert'] + args + ['-depth', '8', ('rgba:-' if channels == 4 else 'rgb:-')])
    size = DIAL_SIZE * channels
    assert len(data) == DIAL_SIZE * size, 'unexpected picture size'
    return [data[y * size:(y + 1) * size] for y in range(DIAL_SIZE)]


def write_bmp24(path, rows):
    """Writes rows of RGB bytes (top row first) as an uncompressed 24-bit bottom-up BMP
    with a 40-byte info header: the form GDI's LoadImage and OleLoadPicture read."""
    height = len(rows)
    width = len(rows[0]) // 3
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x in range(width):
            r, g, b = row[3 * x:3 * x + 3]
            line[3 * x:3 * x + 3] = bytes((b, g, r))
        body += line
    header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + bytes(body))


def make_mask(index, work):
    """Renders sector index black on white, keeps pixels at least half covered as black and
    the rest pure white, and crops to the sector's bounding box. Returns the box (x, y, w, h)
    and the mask rows (RGB, top first)."""
    svg = ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d">'
           '<rect width="100%%" height="100%%" fill="#ffffff"/>'
           '<path d="%s" fill="#000000"/></svg>' % (DIAL_SIZE, DIAL_SIZE, sector_path(index)))
    png = os.path.join(work, 'mask%d.png' % index)
    render_png(svg, png, work)
    grey = pixels([png, '-alpha', 'off'], 3)
    inside = [[grey[y][3 * x + 1] < 128 for x in range(DIAL_SIZE)] for y in range(DIAL_SIZE)]
    ys = [y for y in range(DIAL_SIZE) if any(inside[y])]
    xs = [x for x in range(DIAL_SIZE) if any(inside[y][x] for y in ys)]
    x0, y0, x1, y1 = min(xs), min(ys), max(xs) + 1, max(ys) + 1
    rows = []
    for y in range(y0, y1):
        rows.append(b''.join(b'\0\0\0' if inside[y][x] else b'\xff\xff\xff'
                             for x in range(x0, x1)))
    return (x0, y0, x1 - x0, y1 - y0), rows


def build(work):
    os.makedirs(OUT, exist_ok=True)

    sectors = '\n'.join('    <path d="%s"/>' % sector_path(i) for i in range(8))
    icons = '\n'.join(
        '    ' + place_icon(icon, *polar(i * 45.0, ICON_RADIUS), ICON_SIZE)
        for i, (_, icon, _) in enumerate(FUNCTIONS))
    render_png(template('dial.svg', SECTORS=sectors, ICONS=icons),
               os.path.join(OUT, 'dial.png'), work)

    render_png(template('centre_none.svg'), os.path.join(OUT, 'centre_none.png'), work)
    for i, (_, icon, _) in enumerate(FUNCTIONS):
        half = CENTRE_SIZE / 2.0
        render_png(template('centre.svg', ICON=place_icon(icon, half, half, CENTRE_ICON_SIZE)),
                   os.path.join(OUT, 'centre_%s.png' % icon), work)
        render_png(template('sector.svg', SECTOR=sector_path(i), R_IN='%g' % R_IN,
                            R_OUT='%g' % R_OUT,
                            ICON=place_icon(icon, *polar(i * 45.0, ICON_RADIUS), ICON_SIZE)),
                   os.path.join(OUT, 'sector_%s.png' % icon), work)

    # The state pictures: the dial on black, as a whole; each button cuts its own rectangle.
    dial = os.path.join(OUT, 'dial.png')
    base = ['-size', '%dx%d' % (DIAL_SIZE, DIAL_SIZE), 'xc:black', dial, '-composite']
    overlays = [os.path.join(OUT, 'sector_%s.png' % icon) for _, icon, _ in FUNCTIONS]

    def lit(opacity):
        args = []
        for o in overlays:
            args += ['(', o, '-channel', 'A', '-evaluate', 'multiply', str(opacity), '+channel',
                     ')', '-composite']
        return args

    states = {
        'normal.bmp': base,
        'over.bmp': base + lit(0.55),
        'down.bmp': base + lit(1.0) + ['-modulate', '85'],
        'disable.bmp': base + ['-modulate', '60,0'],
    }
    for name, args in states.items():
        write_bmp24(os.path.join(OUT, name), pixels(args + ['-alpha', 'off'], 3))

    positions = []
    for i, (label, _, mask_name) in enumerate(FUNCTIONS):
        box, rows = make_mask(i, work)
        write_bmp24(os.path.join(OUT, mask_name), rows)
        positions.append('%d=%s,%d,%d,%d,%d' % ((i + 1, label) + box))

    lines = ['; Default dial skin, generated by scripts/tools/make_skin.py.', '[SCREEN]',
             'Mask=dial.png']
    lines += ['%s=%s' % state for state in STATE_PICTURES]
    lines.append('Torv0=centre_none.png')
    lines += ['Torv%d=centre_%s.png' % (i + 1, icon) for i, (_, icon, _) in enumerate(FUNCTIONS)]
    lines += ['Button%d=sector_%s.png' % (i + 1, icon) for i, (_, icon, _) in enumerate(FUNCTIONS)]
    lines += ['', '[BUTTONPOS]'] + positions
    with open(os.path.join(OUT, 'skin_scroll.ini'), 'w', encoding='ascii', newline='\r\n') as f:
        f.write('\n'.join(lines) + '\n')


def previews(target):
    """Pictures for a person to look at: the dial on a grey-blue desktop in every state."""
    os.makedirs(target, exist_ok=True)
    desk = ['-size', '225x225', 'gradient:#5b6f86-#33414f']
    centre = lambda name: os.path.join(OUT, name)
    shots = [('none', 'centre_none.png', None)]
    for i, (_, icon, _) in enumerate(FUNCTIONS):
        shots.append(('%d_%s' % (i + 1, icon), 'centre_%s.png' % icon, 'sector_%s.png' % icon))
        shots.append(('%d_%s_preview' % (i + 1, icon), 'centre_none.png', 'sector_%s.png' % icon))
    files = []
    for name, centre_image, overlay in shots:
        args = desk + [centre('dial.png'), '-geometry', '+20+20', '-composite',
                       centre(centre_image), '-geometry', '+67+67', '-composite']
        if overlay:
            args += [centre(overlay), '-geometry', '+20+20', '-composite']
        path = os.path.join(target, name + '.png')
        run(['convert'] + args + [path])
        files.append(path)
    selected = [f for f in files if not f.endswith('_preview.png') and 'none' not in f]
    run(['montage'] + selected + ['-tile', '4x2', '-geometry', '+0+0',
                                  os.path.join(target, 'all_functions.png')])
    run(['convert', os.path.join(target, 'none.png'), '-scale', '300%',
         os.path.join(target, 'none_x3.png')])


def main(argv):
    preview = None
    if len(argv) == 3 and argv[1] == '--preview':
        preview = argv[2]
    elif len(argv) != 1:
        sys.exit(__doc__)
    for tool, package in (('rsvg-convert', 'librsvg2-bin'), ('convert', 'imagemagick'),
                          ('montage', 'imagemagick')):
        if not shutil.which(tool):
            sys.exit('make_skin: %s is missing (Debian package %s)' % (tool, package))
    with tempfile.TemporaryDirectory() as work:
        build(work)
    if preview:
        previews(preview)
    subprocess.run([sys.executable, os.path.join(HERE, 'check_skin.py'), OUT], check=True)


if __name__ == '__main__':
    main(sys.argv)
