#!/usr/bin/env python3
"""Draws the program's images into src/ui/resources/ (and the installed icon).

A stylised Orvane head: a dark-blue rounded body with a ringed lens. Pure
Python, no imaging library: supersampled shapes, written as PNG and as a
32-bit BMP-style ICO.
"""
import math
import struct
import sys
import zlib
from pathlib import Path

SAMPLES = 4  # supersampling per axis


def render(width, height, shade):
    """shade(x, y) -> (r, g, b, a) in 0..1 for a point in pixel units."""
    pixels = []
    for y in range(height):
        row = []
        for x in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = shade(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha > 0:
                color = [acc[i] / acc[3] for i in range(3)]
            else:
                color = [0, 0, 0]
            row.append(tuple(round(c * 255) for c in color) + (round(alpha * 255),))
        pixels.append(row)
    return pixels


def rounded_box(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def head(size):
    s = size / 84.0
    body = (0.09, 0.20, 0.38, 1)
    rim = (0.85, 0.90, 0.96, 1)
    lens = (0.02, 0.05, 0.10, 1)
    glint = (0.55, 0.85, 1.0, 1)
    lamp = (0.20, 0.85, 0.35, 1)
    c = 42 * s

    def shade(x, y):
        if not rounded_box(x, y, 4 * s, 4 * s, 80 * s, 80 * s, 16 * s):
            return (0, 0, 0, 0)
        d = math.hypot(x - c, y - c)
        if math.hypot(x - 66 * s, y - 18 * s) <= 5 * s:
            return lamp
        if d <= 14 * s:
            return glint if math.hypot(x - (c - 5 * s), y - (c - 5 * s)) <= 4 * s else lens
        if d <= 22 * s:
            return rim
        if d <= 25 * s:
            return lens
        return body

    return render(size, size, shade)


def lamp(color):
    def shade(x, y):
        d = math.hypot(x - 8, y - 8)
        if d > 7:
            return (0, 0, 0, 0)
        if d > 6:
            return (0.15, 0.15, 0.15, 1)
        light = 1 - d / 6 * 0.45
        return tuple(min(1.0, c * light + (0.35 if math.hypot(x - 6, y - 6) < 2 else 0)) for c in color) + (1,)
    return render(16, 16, shade)


GLYPHS = {  # 5 x 7
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
}


def logo():
    icon = head(32)
    text = "VELQOR"
    scale = 2

    def shade(x, y):
        if x < 32:
            r, g, b, a = icon[int(y)][int(x)]
            return (r / 255, g / 255, b / 255, a / 255)
        gx = int((x - 35) // scale)
        gy = int((y - 9) // scale)
        if 0 <= gy < 7 and gx >= 0:
            letter, column = divmod(gx, 6)
            if letter < len(text) and column < 5 and GLYPHS[text[letter]][gy][column] == "1":
                return (0.09, 0.20, 0.38, 1)
        return (0, 0, 0, 0)

    return render(92, 32, shade)


def png(pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(pixels):
    """One 32-bit image in BMP form: BGRA rows bottom up, then the AND mask."""
    height, width = len(pixels), len(pixels[0])
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((width + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", width, height, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    root = Path(__file__).resolve().parent.parent
    out = root / "src" / "ui" / "resources"
    (out / "velqor_icon.ico").write_bytes(ico(head(84)))
    (out / "velqor_logo.png").write_bytes(png(logo()))
    (out / "red-on-16.png").write_bytes(png(lamp((0.95, 0.15, 0.12))))
    (out / "green-on-16.png").write_bytes(png(lamp((0.20, 0.85, 0.30))))
    (out / "orvane-manager.png").write_bytes(png(head(64)))
    # Large renderings: the window at high scaling, and the installed icon sizes.
    for size in (16, 32, 48, 128, 256):
        (out / f"orvane-manager-{size}.png").write_bytes(png(head(size)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
