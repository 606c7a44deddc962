#!/usr/bin/env python3
"""Draws the installer's pictures and icon with the standard library.

Writes logo.png (resource 140), error_badge.png (141), velna.ico (icon 1) and
background.png, which ImageMagick's convert turns into background.jpg (139).
The logo and the badge are drawn for 200 % (192 pixels per inch): the window
scales them down to the display's pixels per inch, which stays sharp up to
200 %. The icon carries the sizes Windows asks for from 100 % to 200 %.
The outputs are committed; run this script again after changing a picture.
"""

import math
import os
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BRAND = (255, 27, 44)  # the slogan's colour
SAMPLES = 4  # supersampling per axis for smooth edges


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from (px, py) to the segment from (ax, ay) to (bx, by)."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def logo_colour(x, y):
    """The logo in unit coordinates: a red disc carrying a white "V"."""
    r = math.hypot(x - 0.5, y - 0.5)
    if r > 0.48:
        return None
    stroke = 0.075
    left = segment_distance(x, y, 0.30, 0.30, 0.50, 0.72)
    right = segment_distance(x, y, 0.70, 0.30, 0.50, 0.72)
    if min(left, right) < stroke:
        return (255, 255, 255)
    # A light rim makes the disc look raised.
    shade = 1.0 - 0.25 * max(0.0, (r - 0.36) / 0.12)
    return tuple(int(c * shade) for c in BRAND)


def badge_colour(x, y):
    """The error badge: a dark red disc with a white border and "!"."""
    r = math.hypot(x - 0.5, y - 0.5)
    if r > 0.48:
        return None
    if r > 0.41:
        return (255, 255, 255)
    bar = abs(x - 0.5) < 0.07 and 0.20 < y < 0.60
    dot = math.hypot(x - 0.5, y - 0.74) < 0.08
    return (255, 255, 255) if bar or dot else (196, 12, 28)


def render(size, shape):
    """RGBA rows of |shape| drawn at |size| x |size| pixels."""
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0, 0, 0, 0]
            for sj in range(SAMPLES):
                for si in range(SAMPLES):
                    colour = shape((i + (si + 0.5) / SAMPLES) / size,
                                   (j + (sj + 0.5) / SAMPLES) / size)
                    if colour:
                        for k in range(3):
                            acc[k] += colour[k]
                        acc[3] += 1
            n = acc[3]
            if n:
                row.append((acc[0] // n, acc[1] // n, acc[2] // n,
                            255 * n // (SAMPLES * SAMPLES)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def background(width, height):
    """A quiet gradient with two soft diagonal bands, opaque."""
    rows = []
    for j in range(height):
        row = []
        for i in range(width):
            base = 255 - 20 * j / height
            band = 10 * math.exp(-((i - 1.2 * j - 40) / 90.0) ** 2)
            band += 6 * math.exp(-((i - 1.2 * j + 260) / 60.0) ** 2)
            value = base - band
            row.append((int(value), int(value), int(min(255, value + 4)), 255))
        rows.append(row)
    return rows


def png_bytes(rows):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return (struct.pack(">I", len(data)) + body +
                struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib_bytes(rows):
    """An icon image as a 32-bit DIB: bottom-up BGRA rows and an AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0,
                         0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows)
                      for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, px in enumerate(row):
            if px[3] == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico_bytes(images):
    """An icon file: DIB images for small sizes, PNG for 256 pixels."""
    entries, data = [], []
    offset = 6 + 16 * len(images)
    for size, blob in images:
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32,
                                   len(blob), offset))
        data.append(blob)
        offset += len(blob)
    return (struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) +
            b"".join(data))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    write("logo.png", png_bytes(render(192, logo_colour)))
    write("error_badge.png", png_bytes(render(64, badge_colour)))
    icon = [(s, dib_bytes(render(s, logo_colour)))
            for s in (16, 20, 24, 32, 40, 48, 64)]
    icon.append((256, png_bytes(render(256, logo_colour))))
    write("velna.ico", ico_bytes(icon))
    write("background.png", png_bytes(background(600, 400)))
    subprocess.run(["convert", os.path.join(HERE, "background.png"), "-strip",
                    "-quality", "90", os.path.join(HERE, "background.jpg")],
                   check=True)
    os.remove(os.path.join(HERE, "background.png"))


if __name__ == "__main__":
    main()
