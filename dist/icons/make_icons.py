#!/usr/bin/python3
"""Draws the program's icon (a letter with a globe stamp) as webletter.svg and as PNG files of
16, 32, 48, 64 and 128 pixels, each rendered here from the same shapes. Run it in this folder."""
import math
import struct
import zlib

PAPER, INK, FLAP, SEA, LINE = "#ffffff", "#1f2937", "#9b1c1c", "#2563eb", "#dbeafe"
BODY = (8, 28, 120, 104, 8)  # left, top, right, bottom, corner radius
FLAP_POINTS = [(8, 30), (64, 72), (120, 30)]
GLOBE = (98, 50, 15)  # centre and radius
MERIDIAN = (6, 15)  # half-axes of the meridian ellipse


def body_distance(x, y, grow=0.0):
    """Signed distance from the letter's outline, negative inside."""
    left, top, right, bottom, r = BODY
    cx, cy = (left + right) / 2, (top + bottom) / 2
    qx = abs(x - cx) - ((right - left) / 2 - r)
    qy = abs(y - cy) - ((bottom - top) / 2 - r)
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - r - grow


def segment_distance(x, y, a, b):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def ellipse_distance(x, y):
    cx, cy, _ = GLOBE
    a, b = MERIDIAN
    u, v = (x - cx) / a, (y - cy) / b
    gradient = math.hypot(2 * u / a, 2 * v / b) or 1.0
    return abs(u * u + v * v - 1) / gradient


def colour_at(x, y, width):
    """The colour of the topmost shape at (x, y) in the 128-unit drawing, or None."""
    half = width / 2
    cx, cy, r = GLOBE
    globe = math.hypot(x - cx, y - cy)
    if abs(globe - r) <= half:
        return INK
    if abs(body_distance(x, y)) <= half:
        return INK
    if globe < r:
        on_line = ellipse_distance(x, y) <= half / 2 or abs(y - cy) <= half / 2
        return LINE if on_line else SEA
    if body_distance(x, y) < 0:
        flap = min(segment_distance(x, y, FLAP_POINTS[i], FLAP_POINTS[i + 1]) for i in range(2))
        return FLAP if flap <= half else PAPER
    return None


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def render(size):
    """RGBA rows of the icon at `size` pixels, each pixel the mean of a grid of samples."""
    scale, samples = 128 / size, 8 if size <= 32 else 4
    width = max(4.0, scale)  # lines at least one pixel wide
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    colour = colour_at((px + (sx + 0.5) / samples) * scale,
                                       (py + (sy + 0.5) / samples) * scale, width)
                    if colour is not None:
                        for i, value in enumerate(rgb(colour)):
                            total[i] += value
                        total[3] += 255
            count = samples * samples
            covered = total[3] / 255 or 1
            row += bytes([round(total[0] / covered), round(total[1] / covered),
                          round(total[2] / covered), round(total[3] / count)])
        rows.append(bytes(row))
    return rows


def write_png(name, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    size = len(rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    pixels = zlib.compress(b"".join(b"\0" + row for row in rows), 9)
    with open(name, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", pixels)
                  + chunk(b"IEND", b""))


def write_svg(name):
    left, top, right, bottom, r = BODY
    cx, cy, gr = GLOBE
    a, b = MERIDIAN
    box = f'x="{left}" y="{top}" width="{right - left}" height="{bottom - top}" rx="{r}"'
    flap = " ".join(f"{x},{y}" for x, y in FLAP_POINTS)
    with open(name, "w") as out:
        out.write(f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">
  <title>Webletter</title>
  <defs><clipPath id="letter"><rect {box}/></clipPath></defs>
  <rect {box} fill="{PAPER}"/>
  <polyline points="{flap}" fill="none" stroke="{FLAP}" stroke-width="4" clip-path="url(#letter)"/>
  <rect {box} fill="none" stroke="{INK}" stroke-width="4"/>
  <circle cx="{cx}" cy="{cy}" r="{gr}" fill="{SEA}"/>
  <ellipse cx="{cx}" cy="{cy}" rx="{a}" ry="{b}" fill="none" stroke="{LINE}" stroke-width="2"/>
  <line x1="{cx - gr}" y1="{cy}" x2="{cx + gr}" y2="{cy}" stroke="{LINE}" stroke-width="2"/>
  <circle cx="{cx}" cy="{cy}" r="{gr}" fill="none" stroke="{INK}" stroke-width="4"/>
</svg>
""")


write_svg("webletter.svg")
for pixels in (16, 32, 48, 64, 128):
    write_png(f"webletter-{pixels}.png", render(pixels))
