#!/usr/bin/env python3
"""Draws the welcome page's images into resources/welcome/.

gradient.png (1 x 282) is the background strip of the page's table: deep blue behind the
picture row, turning light behind the text so that black type stays readable. topright.png
(309 x 114) is a film reel with a strip of film running into it, drawn with anti-aliased edges
over a transparent background. Only the standard library is used; the output is the same on
every run, so the committed images can be checked by drawing them again.
"""

import math
import pathlib
import struct
import zlib

OUT = pathlib.Path(__file__).resolve().parent.parent / "resources" / "welcome"


def write_png(path, width, height, rows, color_type):
    """rows: one bytes object per row, RGB (type 2) or RGBA (type 6) samples."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                     chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def smooth(t):
    t = min(max(t, 0.0), 1.0)
    return t * t * (3 - 2 * t)


def gradient():
    top, middle, light, bottom = (20, 46, 88), (96, 136, 190), (222, 231, 243), (255, 255, 255)
    rows = []
    for y in range(282):
        if y < 114:
            color = mix(top, middle, smooth(y / 113))
        elif y < 132:
            color = mix(middle, light, smooth((y - 114) / 17))
        else:
            color = mix(light, bottom, (y - 132) / 149)
        rows.append(bytes(color))
    write_png(OUT / "gradient.png", 1, 282, rows, 2)


REEL = (246.0, 57.0)
REEL_RADIUS = 47.0
FILM = (12, 30, 58)
METAL = (226, 234, 245)


def reel_sample(x, y):
    """Colour and opacity of one point of the picture."""
    dx, dy = x - REEL[0], y - REEL[1]
    r = math.hypot(dx, dy)
    if r <= REEL_RADIUS:
        if r < 7.0:
            return FILM, 1.0
        for k in range(5):
            angle = k * 2 * math.pi / 5 - math.pi / 2
            hole = (REEL[0] + 27.0 * math.cos(angle), REEL[1] + 27.0 * math.sin(angle))
            if math.hypot(x - hole[0], y - hole[1]) < 12.5:
                return FILM, 0.0
        if r > REEL_RADIUS - 4.0:
            return mix(METAL, FILM, 0.35), 1.0
        return METAL, 1.0
    # The strip of film: a dark band that fades in from the left and meets the reel's rim.
    if 74.0 <= y <= 100.0 and 18.0 <= x <= REEL[0]:
        fade = smooth((x - 18.0) / 140.0)
        sprocket_row = 77.0 <= y <= 81.0 or 93.0 <= y <= 97.0
        if sprocket_row and (x % 11.0) < 5.0:
            return METAL, 0.85 * fade
        return FILM, 0.9 * fade
    return (0, 0, 0), 0.0


def topright():
    width, height, grid = 309, 114, 4
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            red = green = blue = alpha = 0.0
            for sy in range(grid):
                for sx in range(grid):
                    color, a = reel_sample(px + (sx + 0.5) / grid, py + (sy + 0.5) / grid)
                    red += color[0] * a
                    green += color[1] * a
                    blue += color[2] * a
                    alpha += a
            if alpha > 0:
                row += bytes((round(red / alpha), round(green / alpha), round(blue / alpha),
                              round(255 * alpha / grid ** 2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    write_png(OUT / "topright.png", width, height, rows, 6)


if __name__ == "__main__":
    OUT.mkdir(parents=True, exist_ok=True)
    gradient()
    topright()
