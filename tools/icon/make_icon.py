#!/usr/bin/env python3
"""Draws the Ardenwick installer icon (a rounded tile with a downward arrow into a tray) and writes it
as a Windows .ico with 16, 24, 32, 48 and 256 pixel images. Run: make_icon.py <output.ico>"""
import struct
import sys
import zlib


def coverage(size, x, y):
    """Returns (alpha, colour) of the shape at pixel centre (x, y), with 4x4 supersampling."""
    samples = 4
    tile = arrow = 0
    for sy in range(samples):
        for sx in range(samples):
            px = (x + (sx + 0.5) / samples) / size
            py = (y + (sy + 0.5) / samples) / size
            if inside_tile(px, py):
                tile += 1
                if inside_arrow(px, py):
                    arrow += 1
    total = samples * samples
    return tile / total, arrow / total


def inside_tile(px, py):
    margin, radius = 0.04, 0.2
    lo, hi = margin, 1 - margin
    if not (lo <= px <= hi and lo <= py <= hi):
        return False
    cx = min(max(px, lo + radius), hi - radius)
    cy = min(max(py, lo + radius), hi - radius)
    return (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2


def inside_arrow(px, py):
    shaft = 0.43 <= px <= 0.57 and 0.18 <= py <= 0.52
    head = 0.46 <= py <= 0.68 and abs(px - 0.5) <= (0.68 - py) * 1.15
    tray = 0.74 <= py <= 0.82 and 0.24 <= px <= 0.76
    tray_sides = 0.62 <= py <= 0.82 and (0.24 <= px <= 0.32 or 0.68 <= px <= 0.76)
    return shaft or head or tray or tray_sides


def image(size):
    top, bottom = (0x2B, 0x6C, 0xF0), (0x17, 0x3F, 0xA8)
    rows = []
    for y in range(size):
        t = y / max(size - 1, 1)
        base = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        row = []
        for x in range(size):
            alpha, white = coverage(size, x, y)
            if alpha == 0:
                row.append((0, 0, 0, 0))
                continue
            mix = white / alpha
            rgb = tuple(round(c + (255 - c) * mix) for c in base)
            row.append(rgb + (round(alpha * 255),))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def bmp(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    return header + pixels + b"\0" * (mask_stride * size)


def main():
    sizes = [16, 24, 32, 48, 256]
    images = [png(image(s)) if s == 256 else bmp(image(s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
