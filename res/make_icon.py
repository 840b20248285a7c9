#!/usr/bin/env python3
"""Draws the film-strip icon at 16, 32 and 48 pixels (stillweaver-N.png)."""
import struct
import zlib


def png(path, size, pixels):
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def icon(size):
    clear = (0, 0, 0, 0)
    film = (40, 40, 46, 255)
    hole = (235, 235, 225, 255)
    sky = (90, 160, 220, 255)
    land = (80, 170, 90, 255)
    sun = (250, 210, 70, 255)
    s = size / 48.0
    top, bottom = round(6 * s), size - round(6 * s)
    band = max(2, round(8 * s))  # sprocket band height
    px = [[clear] * size for _ in range(size)]
    for y in range(top, bottom):
        for x in range(size):
            px[y][x] = film
    # sprocket holes along both bands
    step = max(4, round(8 * s))
    hw, hh = max(1, round(4 * s)), max(1, round(3 * s))
    for x0 in range(round(2 * s), size - hw, step):
        for y0 in (top + (band - hh) // 2, bottom - band + (band - hh) // 2):
            for y in range(y0, y0 + hh):
                for x in range(x0, x0 + hw):
                    px[y][x] = hole
    # two frames with a little landscape
    margin = max(1, round(3 * s))
    fy0, fy1 = top + band, bottom - band
    width = (size - 3 * margin) // 2
    for i in range(2):
        fx0 = margin + i * (width + margin)
        for y in range(fy0, fy1):
            for x in range(fx0, fx0 + width):
                horizon = fy0 + (fy1 - fy0) * 0.6
                px[y][x] = land if y >= horizon else sky
        cx, cy, r = fx0 + width * 0.7, fy0 + (fy1 - fy0) * 0.3, max(1.0, 3 * s)
        for y in range(fy0, fy1):
            for x in range(fx0, fx0 + width):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    px[y][x] = sun
    return px


for n in (16, 32, 48):
    png(f"stillweaver-{n}.png", n, icon(n))
