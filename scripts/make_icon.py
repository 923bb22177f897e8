#!/usr/bin/python3
"""Draws the program's icon and writes res/varnook.ico.

The artwork is a wobbly staff with an eighth note on a blue tile: a machine-
straight staff that has been humanised. It is drawn from shapes at every size
(supersampled), then stored as 16, 32 and 48 pixel images at 4, 8 and 32 bits
per pixel plus one 256-pixel PNG image. Standard library only, so the build
never needs this script: the generated .ico is committed beside the resource
script.

Usage: scripts/make_icon.py [OUTPUT]   (default: res/varnook.ico)
"""
import math
import os
import struct
import sys
import zlib

BACK_TOP = (0x2F, 0x55, 0x8C)
BACK_BOTTOM = (0x14, 0x27, 0x47)
STAFF = (0xB8, 0xCC, 0xE8)
NOTE = (0xF5, 0xA6, 0x2E)


def rounded_square(u, v, margin=0.04, radius=0.2):
    # Signed distance of a rounded square; negative inside.
    cx = abs(u - 0.5) - (0.5 - margin - radius)
    cy = abs(v - 0.5) - (0.5 - margin - radius)
    outside = math.hypot(max(cx, 0.0), max(cy, 0.0))
    return outside + min(max(cx, cy), 0.0) - radius


def staff_line(u, v, k):
    if u < 0.13 or u > 0.87:
        return False
    y = 0.34 + 0.15 * k + 0.03 * math.sin(2 * math.pi * (1.4 * u + 0.35 * k))
    return abs(v - y) < 0.024


def note(u, v):
    # Head: an ellipse tilted like a printed note head.
    a = math.radians(-25)
    du, dv = u - 0.42, v - 0.68
    x = du * math.cos(a) - dv * math.sin(a)
    y = du * math.sin(a) + dv * math.cos(a)
    if (x / 0.125) ** 2 + (y / 0.088) ** 2 <= 1.0:
        return True
    stem_left, stem_right = 0.49, 0.54
    if stem_left <= u <= stem_right and 0.20 <= v <= 0.66:
        return True
    # Flag: a band that leaves the stem's top and curls down to the right.
    if stem_right <= u <= stem_right + 0.2:
        t = (u - stem_right) / 0.2
        top = 0.20 + 0.30 * t * t
        if top <= v <= top + 0.09 * (1.0 - 0.6 * t):
            return True
    return False


def sample(u, v):
    """RGBA of the artwork at (u, v) in the unit square, v growing downwards."""
    if rounded_square(u, v) > 0:
        return (0, 0, 0, 0)
    if note(u, v):
        return NOTE + (255,)
    if any(staff_line(u, v, k) for k in range(3)):
        return STAFF + (255,)
    t = v
    return tuple(round(BACK_TOP[i] * (1 - t) + BACK_BOTTOM[i] * t) for i in range(3)) + (255,)


def render(size):
    """Rows of RGBA tuples, top row first, antialiased by supersampling."""
    n = 4 if size <= 64 else 3
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(acc[i] / acc[3]) for i in range(3)) + (round(acc[3] / (n * n)),))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    grays = [(i * 255 // 39,) * 3 for i in range(40)]
    return cube + grays


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def and_mask(rows, size):
    # One bit per pixel, set where the pixel is transparent; rows bottom-up.
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(row_bytes(size))
        for x, px in enumerate(row):
            if px[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return out


def dib(rows, size, bpp):
    """A BITMAPINFOHEADER, palette, colour bitmap and AND mask: one icon image."""
    if bpp == 32:
        palette, color = [], bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                color += bytes((b, g, r, a))
    else:
        palette = VGA16 if bpp == 4 else palette256()
        cache = {}
        color = bytearray()
        for row in reversed(rows):
            indexes = []
            for r, g, b, a in row:
                key = (r, g, b) if a >= 128 else (0, 0, 0)
                if key not in cache:
                    cache[key] = nearest(palette, key)
                indexes.append(cache[key])
            line = bytearray(row_bytes(size * bpp))
            for x, i in enumerate(indexes):
                if bpp == 8:
                    line[x] = i
                else:
                    line[x // 2] |= i << (4 if x % 2 == 0 else 0)
            color += line
    mask = and_mask(rows, size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, len(color) + len(mask), 0, 0,
                         len(palette), 0)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + pal + bytes(color) + bytes(mask)


def png(rows, size):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\x00' + bytes(c for px in row for c in px) for row in rows)
    ihdr = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw, 9)) +
            chunk(b'IEND', b''))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'res', 'varnook.ico')
    images = []  # (size, bpp, bytes)
    for size in (16, 32, 48):
        rows = render(size)
        for bpp in (4, 8, 32):
            images.append((size, bpp, dib(rows, size, bpp)))
    images.append((256, 32, png(render(256), 256)))

    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b'', b''
    for size, bpp, data in images:
        colors = 16 if bpp == 4 else 0
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, colors, 0, 1, bpp, len(data), offset)
        blobs += data
        offset += len(data)
    with open(output, 'wb') as f:
        f.write(directory + entries + blobs)


if __name__ == '__main__':
    main()
