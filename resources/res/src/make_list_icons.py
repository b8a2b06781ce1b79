#!/usr/bin/env python3
# Draws the add and remove buttons of the contact editor's lists (24 x 24 PNG)
# into resources/res. Run by hand when a picture changes; the PNGs are committed.
import os, struct, zlib

def png(path, pixels, size=24):
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

def icon(path, fill, edge, vertical_bar):
    rows = []
    for y in range(24):
        row = []
        for x in range(24):
            # 4x4 supersampling for a smooth rim
            inside = rim = 0
            for sy in range(4):
                for sx in range(4):
                    d = ((x + (sx + .5) / 4 - 12) ** 2 + (y + (sy + .5) / 4 - 12) ** 2) ** .5
                    inside += d <= 10.5
                    rim += 9.5 < d <= 10.5
            a = inside / 16
            colour = edge if rim > inside / 2 else fill
            bar = 6 <= x < 18 and 10 <= y < 14
            if vertical_bar:
                bar = bar or (10 <= x < 14 and 6 <= y < 18)
            if bar:
                colour = (255, 255, 255)
            row.append((*colour, int(a * 255)))
        rows.append(row)
    png(path, rows)

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
icon(os.path.join(here, "add.png"), (0x5C, 0xB8, 0x5C), (0x3D, 0x8B, 0x3D), True)
icon(os.path.join(here, "remove.png"), (0xE0, 0x5A, 0x5A), (0xB8, 0x32, 0x32), False)
