#!/usr/bin/env python3
"""Writes the demo's splash picture: a 360 x 140 24-bit BMP, a blue gradient
with a light band (no imaging library needed)."""
import struct
import sys

W, H = 360, 140
row = (W * 3 + 3) & ~3
pixels = bytearray()
for y in range(H - 1, -1, -1):  # BMP rows go bottom up
    line = bytearray()
    for x in range(W):
        band = 52 <= y < 88
        r = 20 + x * 60 // W
        g = 60 + x * 90 // W + (60 if band else 0)
        b = 140 + y * 100 // H
        line += bytes((min(b, 255), min(g, 255), min(r, 255)))
    pixels += line + b"\0" * (row - W * 3)
header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
with open(sys.argv[1], "wb") as f:
    f.write(header + info + pixels)
