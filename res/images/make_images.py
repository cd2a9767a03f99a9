#!/usr/bin/env python3
"""Draws Vexlo's window icon and About picture as PNG files (standard library only).

Run from this folder: python3 make_images.py
"""
import struct
import zlib

SAMPLES = 4  # supersampling per axis, for smooth edges


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = pixel((x + (sx + 0.5) / SAMPLES) / width,
                                       (y + (sy + 0.5) / SAMPLES) / height)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                rows += bytes(round(c / acc[3]) for c in acc[:3])
            else:
                rows += b"\0\0\0"
            rows.append(round(alpha * 255))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def inside_rounded(u, v, x0, y0, x1, y1, r):
    cx = min(max(u, x0 + r), x1 - r)
    cy = min(max(v, y0 + r), y1 - r)
    return (u - cx) ** 2 + (v - cy) ** 2 <= r * r and x0 <= u <= x1 and y0 <= v <= y1


def inside_triangle(u, v, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (v - p[1]) - (q[1] - p[1]) * (u - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


ORANGE = (240, 140, 40, 1)
TEAL = (40, 180, 170, 1)
FRAME = (30, 30, 30, 1)
EDGE = (120, 120, 120, 1)
CLEAR = (0, 0, 0, 0)


def icon(u, v):
    if not inside_rounded(u, v, 0.04, 0.04, 0.96, 0.96, 0.16):
        return CLEAR
    if not inside_rounded(u, v, 0.08, 0.08, 0.92, 0.92, 0.13):
        return EDGE
    # Film perforations along the top and bottom edges.
    for row in (0.15, 0.85):
        for i in range(5):
            if inside_rounded(u, v, 0.17 + i * 0.14, row - 0.035, 0.25 + i * 0.14, row + 0.035, 0.01):
                return EDGE
    if inside_triangle(u, v, (0.36, 0.30), (0.36, 0.70), (0.72, 0.50)):
        return ORANGE
    if 0.24 <= u <= 0.30 and 0.30 <= v <= 0.70:
        return TEAL
    return FRAME


def about(u, v):
    # A wide film frame with a play mark and three level bars beneath.
    if not inside_rounded(u, v, 0.03, 0.03, 0.97, 0.97, 0.10):
        return CLEAR
    if not inside_rounded(u, v, 0.07, 0.07, 0.93, 0.93, 0.08):
        return EDGE
    if inside_triangle(u, v, (0.38, 0.18), (0.38, 0.58), (0.68, 0.38)):
        return ORANGE
    for i, height in enumerate((0.10, 0.16, 0.07, 0.13, 0.19, 0.09)):
        x0 = 0.20 + i * 0.10
        if x0 <= u <= x0 + 0.06 and 0.84 - height <= v <= 0.84:
            return TEAL
    return FRAME


png("vexlo.png", 64, 64, icon)
png("about.png", 92, 80, about)
