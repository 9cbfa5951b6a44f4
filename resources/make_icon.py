#!/usr/bin/env python3
"""Draws korvo's icon, resources/korvo.png: a folder in front of two stacked
packages, on a rounded blue tile; and the same at the sizes Windows shows
(16 to 256 pixels) as resources/korvo.ico, for the programs' resources.
Plain Python (zlib and struct), so it runs anywhere:
python3 resources/make_icon.py"""
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


def pixels(size):
    """The icon at `size` pixels: each pixel the mean of 4 x 4 samples."""
    scale = SIZE / size
    rows = bytearray()
    for y in range(size):
        rows.append(0)
        for x in range(size):
            if size == SIZE:
                rows.extend(colour_at(x + 0.5, y + 0.5))
                continue
            samples = [colour_at((x + (i + 0.5) / 4) * scale, (y + (j + 0.5) / 4) * scale)
                       for i in range(4) for j in range(4)]
            alpha = sum(s[3] for s in samples)
            mean = [round(sum(s[c] * s[3] for s in samples) / alpha) if alpha else 0 for c in range(3)]
            rows.extend(mean + [round(alpha / len(samples))])
    return bytes(rows)


def png(size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(pixels(size), 9))
    data += chunk(b"IEND", b"")
    return data


def write_png(path):
    with open(path, "wb") as out:
        out.write(png(SIZE))


def write_ico(path, sizes=(16, 24, 32, 48, 64, 256)):
    """An ICO file whose images are PNGs, as Windows Vista and later read."""
    images = [png(size) for size in sizes]
    offset = 6 + 16 * len(sizes)
    data = struct.pack("<HHH", 0, 1, len(sizes))
    for size, image in zip(sizes, images):
        side = size % 256  # 0 stands for 256
        data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(data + b"".join(images))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_png(os.path.join(here, "korvo.png"))
    write_ico(os.path.join(here, "korvo.ico"))
