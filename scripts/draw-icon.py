#!/usr/bin/env python3
"""Draws the program's icon, resources/reelkit.png (64 x 64): the welcome page's film reel on
a deep blue rounded square. Uses the PNG writer of draw-welcome-images.py; the same bytes on
every run."""

import math
import pathlib
import runpy
import types

HERE = pathlib.Path(__file__).resolve().parent
welcome = types.SimpleNamespace(**runpy.run_path(str(HERE / "draw-welcome-images.py")))

SIZE = 64
BACK = (20, 46, 88)
CENTRE = 32.0


def sample(x, y):
    """Colour and opacity of one point of the icon."""
    corner = 12.0
    cx = min(max(x, corner), SIZE - corner)
    cy = min(max(y, corner), SIZE - corner)
    if math.hypot(x - cx, y - cy) > corner:
        return (0, 0, 0), 0.0
    r = math.hypot(x - CENTRE, y - CENTRE)
    if r > 25.0:
        return BACK, 1.0
    if r < 4.0 or r > 23.0:
        return welcome.mix(welcome.METAL, BACK, 0.35), 1.0
    for k in range(5):
        angle = k * 2 * math.pi / 5 - math.pi / 2
        if math.hypot(x - CENTRE - 14.0 * math.cos(angle),
                      y - CENTRE - 14.0 * math.sin(angle)) < 6.5:
            return BACK, 1.0
    return welcome.METAL, 1.0


def icon():
    grid = 4
    rows = []
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(grid):
                for sx in range(grid):
                    color, a = sample(px + (sx + 0.5) / grid, py + (sy + 0.5) / grid)
                    for i in range(3):
                        total[i] += color[i] * a
                    total[3] += a
            if total[3] > 0:
                row += bytes([round(c / total[3]) for c in total[:3]] +
                             [round(255 * total[3] / grid ** 2)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    welcome.write_png(HERE.parent / "resources" / "reelkit.png", SIZE, SIZE, rows, 6)


if __name__ == "__main__":
    icon()
