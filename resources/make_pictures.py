#!/usr/bin/env python3
"""Draws Velmar's pictures and writes them as indexed PNG files.

Every picture uses the 16-colour palette below (plus one fully transparent
entry for the pictures that have a mask). The output is committed next to this
script; run it again from this directory after changing a drawing:

    python3 make_pictures.py

Standard library only (zlib, struct), so it runs anywhere Python 3 does.
"""

import math
import os
import struct
import zlib

# The standard 16-colour palette, in its usual order.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 dark green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 green
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]
BLACK, NAVY, SILVER, GREY, GREEN, YELLOW, CYAN, WHITE = 0, 4, 7, 8, 10, 11, 14, 15
CLEAR = 16  # transparent (masked out)


def write_png(path, rows):
    """rows: list of lists of palette indices (0..16); 16 is transparent."""
    height, width = len(rows), len(rows[0])
    masked = any(CLEAR in row for row in rows)
    entries = PALETTE + ([(0, 0, 0)] if masked else [])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in entries))
    if masked:
        png += chunk(b"tRNS", bytes([255] * 16 + [0]))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def from_art(art, colours):
    """Turns ASCII art into palette rows; '.' is transparent."""
    return [[colours[ch] if ch != "." else CLEAR for ch in line] for line in art]


# --- Seek thumb: 12 x 21, a raised 3-D button face, no transparency. --------
def seek_thumb():
    rows = [[WHITE] * 11 + [BLACK]]
    rows += [[WHITE] + [SILVER] * 9 + [GREY, BLACK] for _ in range(18)]
    rows += [[WHITE] + [GREY] * 10 + [BLACK]]
    rows += [[BLACK] * 12]
    return rows


# --- Hand cursor: 32 x 32, hot spot at column 15, row 13. --------------------
# An open hand seen from the palm, white with a black outline: four fingers up,
# the thumb at the lower left. It fills rows 6..21 and columns 7..22; the hot
# spot (column 8, row 7 of this drawing) is the top of the palm.
HAND = [
    ".......BB.......",
    "....BBBWWBBB....",
    "...BWWBWWBWWBBB.",
    "...BWWBWWBWWBWWB",
    "...BWWBWWBWWBWWB",
    "...BWWBWWBWWBWWB",
    ".BBBWWBWWBWWBWWB",
    "BWWBWWWWWWWWWWWB",
    "BWWWBWWWWWWWWWWB",
    ".BWWWWWWWWWWWWWB",
    ".BWWWWWWWWWWWWWB",
    "..BWWWWWWWWWWWWB",
    "...BWWWWWWWWWWB.",
    "....BWWWWWWWWB..",
    ".....BWWWWWWWB..",
    ".....BBBBBBBBB..",
]


def hand_cursor():
    rows = [[CLEAR] * 32 for _ in range(32)]
    art = from_art(HAND, {"B": BLACK, "W": WHITE})
    for r, line in enumerate(art):
        for c, v in enumerate(line):
            rows[6 + r][7 + c] = v
    return rows


# --- Window icon: a compact disc with a black eighth note. -------------------
def window_icon(size):
    """Drawn in a 32-unit design space and sampled at each pixel's centre, so
    every size shows the same picture; outlines stay at least one pixel."""
    unit = 32.0 / size
    cx, cy, radius = 18.0, 18.0, 13.5
    hole, hub = 2.2, 5.0
    stem_half = max(0.75, unit / 2)

    def note(x, y):
        # Head: a tilted ellipse whose lower left touches the rim.
        dx, dy = x - 6.6, y - 10.4
        a = math.radians(-25)
        u = dx * math.cos(a) + dy * math.sin(a)
        v = -dx * math.sin(a) + dy * math.cos(a)
        if (u / 2.6) ** 2 + (v / 1.8) ** 2 <= 1.0:
            return True
        # Stem up from the head's right side.
        if abs(x - 8.6) <= stem_half and 1.0 <= y <= 10.0:
            return True
        # Flag: a curved stroke from the stem's top down to the right.
        if 8.6 <= x <= 13.2:
            t = (x - 8.6) / 4.6
            centre = 1.8 + 4.4 * t * t + 1.2 * t
            if abs(y - centre) <= max(0.9, unit * 0.55) * (1.2 - 0.5 * t):
                return True
        return False

    def disc(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        if r > radius or r < hole:
            return CLEAR
        if r > radius - max(1.0, unit):
            return GREY  # the rim
        if r < hole + max(1.0, unit):
            return GREY  # the hole's edge
        if r < hub:
            return WHITE if r < hub - max(1.0, unit) else GREY
        # Light streaks in two opposite wedges, colours banded by radius.
        angle = math.degrees(math.atan2(dy, dx)) % 180.0
        if 115.0 <= angle <= 150.0:
            f = (r - hub) / (radius - hub)
            if f < 0.33:
                return CYAN
            if f < 0.66:
                return GREEN
            return YELLOW
        if 90.0 <= angle < 115.0 or 150.0 < angle <= 165.0:
            return WHITE
        return SILVER

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = (px + 0.5) * unit, (py + 0.5) * unit
            row.append(BLACK if note(x, y) else disc(x, y))
        rows.append(row)
    return rows


# --- Image-list icons: 16 x 16 navy line drawings. ---------------------------
def line_icon(points):
    rows = [[CLEAR] * 16 for _ in range(16)]
    for x, y in points:
        rows[y][x] = NAVY
    return rows


def chevron(tip_x, tip_y, direction):
    """An arrowhead of five pixels pointing 'left', 'right' or 'up'."""
    pts = [(tip_x, tip_y)]
    for k in (1, 2):
        if direction == "left":
            pts += [(tip_x + k, tip_y - k), (tip_x + k, tip_y + k)]
        elif direction == "right":
            pts += [(tip_x - k, tip_y - k), (tip_x - k, tip_y + k)]
        else:
            pts += [(tip_x - k, tip_y + k), (tip_x + k, tip_y + k)]
    return pts


def three_arrows():
    pts = [(x, 3) for x in range(5, 12)] + chevron(5, 3, "left")
    pts += [(2, y) for y in range(7, 15)] + chevron(2, 7, "up")
    pts += [(x, 12) for x in range(8, 15)] + chevron(8, 12, "left")
    return line_icon(pts)


def repeat_loop():
    pts = [(x, 3) for x in range(4, 12)] + [(x, 12) for x in range(4, 12)]
    pts += [(1, y) for y in range(6, 10)] + [(14, y) for y in range(6, 10)]
    pts += [(2, 4), (3, 4), (2, 5), (12, 4), (13, 4), (13, 5)]
    pts += [(2, 10), (2, 11), (3, 11), (13, 10), (13, 11), (12, 11)]
    pts += chevron(10, 3, "right") + chevron(5, 12, "left")
    return line_icon(pts)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "pictures")
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "seek-thumb.png"), seek_thumb())
    write_png(os.path.join(out, "hand-cursor.png"), hand_cursor())
    for size in (16, 32, 48, 64, 128):
        write_png(os.path.join(out, "velmar-%d.png" % size), window_icon(size))
    write_png(os.path.join(out, "imagelist-1.png"), three_arrows())
    write_png(os.path.join(out, "imagelist-2.png"), repeat_loop())


if __name__ == "__main__":
    main()
