#!/usr/bin/env python3
"""Draws the programs' icon, a clock face at ten past ten, from one list of shapes.

Writes tamozp.png (32 x 32, 4-bit palette: the 16 classic VGA colours, magenta keyed as
transparent) and tamozp.svg (the same shapes, scalable). Run it from this folder after changing
a shape; both files are committed so that the build needs no Python.
"""

import math
import struct
import zlib

# The 16 classic colours; their order is the palette order of the PNG.
PALETTE = [
    ("black", (0, 0, 0)), ("maroon", (128, 0, 0)), ("green", (0, 128, 0)),
    ("olive", (128, 128, 0)), ("navy", (0, 0, 128)), ("purple", (128, 0, 128)),
    ("teal", (0, 128, 128)), ("silver", (192, 192, 192)), ("gray", (128, 128, 128)),
    ("red", (255, 0, 0)), ("lime", (0, 255, 0)), ("yellow", (255, 255, 0)),
    ("blue", (0, 0, 255)), ("magenta", (255, 0, 255)), ("cyan", (0, 255, 255)),
    ("white", (255, 255, 255)),
]
INDEX = {name: i for i, (name, _) in enumerate(PALETTE)}
TRANSPARENT = "magenta"

SIZE = 32
C = SIZE / 2  # the dial's centre


def at(angle_deg, radius):
    """A point at a clock angle (0 at twelve, clockwise) and a distance from the centre."""
    a = math.radians(angle_deg)
    return C + radius * math.sin(a), C - radius * math.cos(a)


# Shapes from bottom to top: ("circle", cx, cy, r, colour) or ("line", x1, y1, x2, y2, width,
# colour) with round ends.
SHAPES = [
    ("circle", C + 0.8, C + 0.8, 15.2, "gray"),    # shadow
    ("circle", C, C, 15.0, "navy"),                # case
    ("circle", C, C, 13.2, "blue"),                # bezel highlight
    ("circle", C, C, 12.0, "white"),               # dial
]
for hour in range(12):
    angle = hour * 30
    if hour % 3 == 0:
        SHAPES.append(("line", *at(angle, 11.2), *at(angle, 8.6), 1.9, "black"))
    else:
        SHAPES.append(("circle", *at(angle, 10.4), 0.75, "gray"))
SHAPES += [
    ("line", C, C, *at(-55, 6.6), 2.4, "black"),   # hour hand, a little past ten
    ("line", C, C, *at(60, 10.0), 1.7, "black"),   # minute hand, ten past
    ("line", *at(210, 3.0), *at(30, 10.6), 1.0, "red"),  # second hand with its tail
    ("circle", C, C, 1.6, "red"),                  # cap
]


def covers(shape, x, y):
    if shape[0] == "circle":
        _, cx, cy, r, _ = shape
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    _, x1, y1, x2, y2, w, _ = shape
    dx, dy = x2 - x1, y2 - y1
    t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
    px, py = x1 + t * dx - x, y1 + t * dy - y
    return px * px + py * py <= (w / 2) ** 2


def colour_at(x, y):
    for shape in reversed(SHAPES):
        if covers(shape, x, y):
            return shape[-1]
    return TRANSPARENT


def raster():
    """Each pixel takes the colour that covers most of its 4 x 4 samples; no blending, so the
    image keeps to the 16 colours."""
    n = 4
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            votes = {}
            for sy in range(n):
                for sx in range(n):
                    c = colour_at(px + (sx + 0.5) / n, py + (sy + 0.5) / n)
                    votes[c] = votes.get(c, 0) + 1
            row.append(INDEX[max(votes, key=votes.get)])
        rows.append(row)
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, rows):
    raw = b""
    for row in rows:
        raw += b"\0" + bytes((row[i] << 4) | row[i + 1] for i in range(0, SIZE, 2))
    alpha = bytes(0 if name == TRANSPARENT else 255 for name, _ in PALETTE)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(rgb) for _, rgb in PALETTE))
    png += chunk(b"tRNS", alpha)
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_svg(path):
    rgb = dict(PALETTE)
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" '
           f'viewBox="0 0 {SIZE} {SIZE}">']
    for s in SHAPES:
        fill = "#%02x%02x%02x" % rgb[s[-1]]
        if s[0] == "circle":
            out.append(f'  <circle cx="{s[1]:.2f}" cy="{s[2]:.2f}" r="{s[3]:.2f}" fill="{fill}"/>')
        else:
            out.append(f'  <line x1="{s[1]:.2f}" y1="{s[2]:.2f}" x2="{s[3]:.2f}" y2="{s[4]:.2f}" '
                       f'stroke="{fill}" stroke-width="{s[5]:.2f}" stroke-linecap="round"/>')
    out.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    write_png("tamozp.png", raster())
    write_svg("tamozp.svg")
