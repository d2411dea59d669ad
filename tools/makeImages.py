#!/usr/bin/env python3
"""Writes the editor's images into images/: the ball, the link bar and the
splash logo. Black (0, 0, 0) is the mask colour: the editor draws it as
transparent. Shapes have hard edges, so no near-black fringe stays opaque
around them.

    python3 tools/makeImages.py [OUTPUT_FOLDER]
"""
import os
import struct
import sys
import zlib


def write_png(path, width, height, pixels):
    """pixels: a list of rows, each a list of (r, g, b) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type None
        for r, g, b in row:
            raw += bytes((r, g, b))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def canvas(width, height):
    return [[(0, 0, 0)] * width for _ in range(height)]


def disc(pixels, cx, cy, radius, colour):
    """Every pixel whose centre lies inside the circle."""
    for y in range(len(pixels)):
        dy = y + 0.5 - cy
        for x in range(len(pixels[0])):
            dx = x + 0.5 - cx
            if dx * dx + dy * dy < radius * radius:
                pixels[y][x] = colour


def bar(pixels, x1, y1, x2, y2, half_width, colour):
    """Every pixel whose centre lies within half_width of the segment."""
    vx, vy = x2 - x1, y2 - y1
    length2 = vx * vx + vy * vy
    for y in range(len(pixels)):
        for x in range(len(pixels[0])):
            px, py = x + 0.5 - x1, y + 0.5 - y1
            t = max(0.0, min(1.0, (px * vx + py * vy) / length2))
            dx, dy = px - t * vx, py - t * vy
            if dx * dx + dy * dy < half_width * half_width:
                pixels[y][x] = colour


def ball_image():
    pixels = canvas(296, 296)
    disc(pixels, 148, 148, 148, (255, 255, 255))
    return pixels


def link_image():
    return [[(255, 255, 255)] * 400 for _ in range(100)]


# The logo: three balls held together by bars, resting on a floor bar.
LOGO_BALLS = [((52, 80), 34, (255, 190, 40)), ((153, 80), 34, (70, 160, 255)), ((102, 175), 40, (240, 240, 240))]
LOGO_FLOOR = ((14, 250), (191, 250), 8, (200, 60, 60))


def logo_image():
    pixels = canvas(205, 275)
    centres = [centre for centre, _, _ in LOGO_BALLS]
    for i, a in enumerate(centres):
        for b in centres[i + 1:]:
            bar(pixels, a[0], a[1], b[0], b[1], 7, (160, 160, 160))
    (fx1, fy1), (fx2, fy2), half, colour = LOGO_FLOOR
    bar(pixels, fx1, fy1, fx2, fy2, half, colour)
    for (cx, cy), radius, colour in LOGO_BALLS:
        disc(pixels, cx, cy, radius, colour)
    return pixels


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "images")
    os.makedirs(out, exist_ok=True)
    for name, make in (("cerchio200.png", ball_image), ("plat.png", link_image), ("205275.png", logo_image)):
        pixels = make()
        write_png(os.path.join(out, name), len(pixels[0]), len(pixels), pixels)


if __name__ == "__main__":
    main()
