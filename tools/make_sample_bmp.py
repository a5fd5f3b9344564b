#!/usr/bin/env python3
"""Writes the Graphics Property page's sample picture (bitmap resource 112): a 232 x 160 greyscale
scene drawn from scratch (sky and ground gradients, a shaded sun, hills, a fan of fine lines, a grey
wedge and a line of text), so that every dithering method shows how it treats smooth tones, edges
and thin strokes. Usage: make_sample_bmp.py OUTPUT.bmp"""
import math
import struct
import sys

W, H = 232, 160

# 5 x 7 glyphs, one string of 7 rows of 5 bits per character.
FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    ' ': ["00000"] * 7,
    '1': ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    '2': ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
}


def clamp(v):
    return max(0, min(255, int(v)))


def scene():
    px = [[0] * W for _ in range(H)]
    horizon = 100
    for y in range(H):
        for x in range(W):
            if y < horizon:
                v = 235 - 110 * y / horizon  # sky: light at the top, darker towards the horizon
            else:
                v = 70 + 90 * (y - horizon) / (H - horizon) + 25 * math.sin(x / 9.0)  # furrowed ground
            px[y][x] = v
    # sun with a soft rim
    cx, cy, r = 170, 38, 22
    for y in range(H):
        for x in range(W):
            d = math.hypot(x - cx, y - cy)
            if d < r:
                px[y][x] = 255 - 60 * (d / r) ** 2
            elif d < r + 6:
                px[y][x] = px[y][x] + (250 - px[y][x]) * (1 - (d - r) / 6) * 0.5
    # two hills, shaded from left to right
    for x in range(W):
        top1 = horizon - 30 * math.exp(-((x - 60) / 40.0) ** 2)
        top2 = horizon - 18 * math.exp(-((x - 150) / 30.0) ** 2)
        for y in range(H):
            if top1 <= y < horizon + 2:
                px[y][x] = 40 + 90 * x / W
            elif top2 <= y < horizon + 2:
                px[y][x] = min(px[y][x], 110 + 60 * (W - x) / W)
    # a fan of one-pixel lines from the lower left corner
    for k in range(12):
        a = math.radians(8 + k * 6)
        for t in range(0, 220):
            x = int(4 + t * math.cos(a))
            y = int(H - 30 - t * math.sin(a) * 0.45)
            if 0 <= x < W and 0 <= y < H:
                px[y][x] = 15 if k % 2 == 0 else 245
    # grey wedge: 16 steps along the bottom
    for y in range(H - 14, H - 4):
        for x in range(8, W - 8):
            px[y][x] = (x - 8) * 16 // (W - 16) * 17
    # text, dark on the sky
    text, tx, ty, scale = "SAMPLE 112", 10, 8, 2
    for i, ch in enumerate(text):
        glyph = FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, bit in enumerate(row):
                if bit == '1':
                    for sy in range(scale):
                        for sx in range(scale):
                            x = tx + (i * 6 + gx) * scale + sx
                            y = ty + gy * scale + sy
                            if x < W:
                                px[y][x] = 20
    return [[clamp(v) for v in row] for row in px]


def write_bmp(path, px):
    stride = (W + 3) // 4 * 4
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    offset = 14 + 40 + len(palette)
    size = offset + stride * H
    out = bytearray(b"BM" + struct.pack("<IHHI", size, 0, 0, offset))
    out += struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, stride * H, 2835, 2835, 256, 256)
    out += palette
    for y in range(H - 1, -1, -1):  # bottom-up
        out += bytes(px[y]) + b"\0" * (stride - W)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    write_bmp(sys.argv[1], scene())
