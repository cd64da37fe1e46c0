#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the application icon (a printer with a page of type coming out) as PNG files.

The shapes are described on a 48-unit canvas and rendered with 4x4 supersampling, so each size is
drawn from the same description rather than scaled from another size. Pixels are either opaque or
transparent, as with an icon mask: the progress window draws the icon over its own previous
picture, where partly transparent edges would darken with every repaint. Standard library only.
Run from this folder: ./make_app_icon.py  (writes app-16.png, app-32.png, app-48.png, app-256.png)
"""
import math
import struct
import zlib

CANVAS = 48.0
SAMPLES = 4

INK = (30, 52, 110, 255)
OUTLINE = (40, 44, 52, 255)
PAPER = (255, 255, 255, 255)
PAPER_EDGE = (150, 156, 168, 255)
SLOT = (25, 28, 34, 255)
LED = (40, 200, 60, 255)


def body_colour(x, y):
    # Light grey, darker towards the bottom.
    t = max(0.0, min(1.0, (y - 17.0) / 22.0))
    g = int(214 - 70 * t)
    return (g, g + 2, g + 8, 255)


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width


def sample(x, y):
    """The colour at canvas point (x, y), topmost shape first; None where transparent."""
    # Page coming out of the front.
    if in_round_rect(x, y, 12, 31, 36, 46, 0.5):
        if not in_round_rect(x, y, 13, 32, 35, 45, 0.2):
            return PAPER_EDGE
        for row in (36.0, 39.5, 43.0):
            if near_segment(x, y, 16, row, 32 if row < 43 else 26, row, 0.7):
                return INK
        return PAPER
    # Green ready light.
    if (x - 38.5) ** 2 + (y - 24.5) ** 2 <= 2.2 ** 2:
        return LED
    # Paper slot.
    if 9 <= x <= 39 and 19.5 <= y <= 21.5:
        return SLOT
    # Printer body with its outline.
    if in_round_rect(x, y, 3, 17, 45, 39, 3.5):
        if not in_round_rect(x, y, 4.2, 18.2, 43.8, 37.8, 2.5):
            return OUTLINE
        return body_colour(x, y)
    # Sheet waiting at the back, with a large "A" printed on it.
    if in_round_rect(x, y, 13, 2, 35, 20, 0.5):
        if not in_round_rect(x, y, 14, 3, 34, 19.5, 0.2):
            return PAPER_EDGE
        stroke = 1.4
        if (near_segment(x, y, 24, 4.5, 18.5, 17.5, stroke) or near_segment(x, y, 24, 4.5, 29.5, 17.5, stroke)
                or near_segment(x, y, 20.8, 12.8, 27.2, 12.8, stroke * 0.8)):
            return INK
        return PAPER
    return None


def render(size):
    scale = CANVAS / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    c = sample(x, y)
                    if c is None:
                        continue
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha < 0.5:
                row += bytes(4)
            else:
                row += bytes(int(round(acc[i] / acc[3])) for i in range(3)) + bytes([255])
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    for size in (16, 32, 48, 256):
        write_png(f"app-{size}.png", size, render(size))
