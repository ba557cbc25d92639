#!/usr/bin/env python3
"""Draws the program icon: a red brush dab over a slate picture frame.

Writes a 316 x 316 8-bit RGB PNG (no alpha) with the standard library only.
Run from the repository root: python3 resources/make_logo.py
"""
import math
import struct
import zlib

SIZE = 316


def pixel(x, y):
    # slate background with a soft vertical gradient
    r, g, b = 46 + y // 12, 58 + y // 10, 74 + y // 8
    # a light "picture" card
    if 40 <= x < 276 and 56 <= y < 260:
        r, g, b = 222, 228, 234
        # hills on the card
        if y > 200 - 30 * math.sin((x - 40) / 40.0):
            r, g, b = 120, 150, 128
    # the red mask stroke: a thick round-capped line
    ax, ay, bx, by = 90.0, 210.0, 226.0, 110.0
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    dist = math.hypot(x - (ax + t * dx), y - (ay + t * dy))
    if dist < 34:
        cover = min(1.0, 34 - dist)
        r = int(r * (1 - cover) + 230 * cover)
        g = int(g * (1 - cover) + 38 * cover)
        b = int(b * (1 - cover) + 38 * cover)
    return r, g, b


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


rows = bytearray()
for y in range(SIZE):
    rows.append(0)
    for x in range(SIZE):
        rows.extend(pixel(x, y))

png = b"\x89PNG\r\n\x1a\n"
png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
png += chunk(b"IEND", b"")
with open("resources/logo.png", "wb") as f:
    f.write(png)
