"""The pictures of the browser test's recording, written as PNG files."""

import struct
import zlib

WIDTH = 320
# Not a multiple of 16, so the coded picture is cropped as a 1080-line screen's is.
HEIGHT = 180
COUNT = 30
# From here to IDLE_END the screen holds still: the converter meets an idle stretch.
IDLE_START = 10
IDLE_END = 25

QUADRANTS_MOVING = ((200, 40, 40), (40, 160, 60), (50, 70, 210), (230, 200, 60))
QUADRANTS_IDLE = ((90, 30, 120), (250, 250, 250), (20, 20, 20), (0, 150, 160))
SQUARE = 16


def square_origin(index):
    return 8 + 9 * index, 40


def picture(index):
    """Rows of (r, g, b) for picture index: four coloured quadrants, and outside the idle
    stretch a white square that moves on with every picture, so neighbours differ."""
    idle = IDLE_START <= index < IDLE_END
    quadrants = QUADRANTS_IDLE if idle else QUADRANTS_MOVING
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            row.append(quadrants[(2 if y >= HEIGHT // 2 else 0) + (1 if x >= WIDTH // 2 else 0)])
        rows.append(row)
    if not idle:
        left, top = square_origin(index)
        for y in range(top, top + SQUARE):
            for x in range(left, left + SQUARE):
                rows[y][x] = (255, 255, 255)
    return rows


def png_bytes(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def write_pictures(directory):
    for index in range(COUNT):
        (directory / f"{index:03d}.png").write_bytes(png_bytes(picture(index)))
