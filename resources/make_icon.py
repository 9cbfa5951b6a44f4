#!/usr/bin/env python3
"""Draws korvo's icon, resources/korvo.png: a folder in front of two stacked
packages, on a rounded blue tile. Plain Python (zlib and struct), so it runs
anywhere: python3 resources/make_icon.py"""
import os
import struct
import zlib

SIZE = 256


def rounded_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(x, y):
    # Tile: a blue gradient with rounded corners.
    if not rounded_rect(x, y, 8, 8, 247, 247, 44):
        return (0, 0, 0, 0)
    t = y / SIZE
    pixel = (int(40 + 20 * t), int(110 + 30 * t), int(200 - 20 * t), 255)
    # Two packages (boxes) behind the folder, each with a tape line.
    for bx0, by0, bx1, by1 in ((128, 44, 214, 122), (150, 64, 230, 140)):
        if rounded_rect(x, y, bx0, by0, bx1, by1, 6):
            tape = abs(x - (bx0 + bx1) / 2) < 6
            pixel = (235, 190, 110, 255) if not tape else (200, 140, 60, 255)
    # The folder: a tab and a body.
    if rounded_rect(x, y, 34, 92, 116, 130, 10):
        pixel = (255, 214, 92, 255)
    if rounded_rect(x, y, 34, 112, 222, 214, 14):
        pixel = (255, 200, 60, 255) if y > 124 else (255, 214, 92, 255)
    # Three list lines on the folder body: the inventory.
    for ly in (146, 168, 190):
        if 60 <= x <= 196 and ly <= y <= ly + 8:
            pixel = (255, 255, 255, 255)
    return pixel


def write_png(path):
    rows = bytearray()
    for y in range(SIZE):
        rows.append(0)
        for x in range(SIZE):
            rows.extend(colour_at(x + 0.5, y + 0.5))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    write_png(os.path.join(os.path.dirname(os.path.abspath(__file__)), "korvo.png"))
