#!/usr/bin/env python3
"""Draws the installer's busy animation (busy.avi) and application icon (Corvella.ico).

The outputs are committed next to the resource script, so a build never runs this.
Running it again writes the same bytes: only integer arithmetic, +, -, *, / and sqrt
(all exactly rounded) decide a pixel. The one outside piece is zlib, which packs the
three PNG images at a fixed level; another zlib release could pack them differently.

    make_assets.py [--out DIR]        (default: ../assets next to this script)
"""

import argparse
import math
import os
import struct
import zlib

# --------------------------------------------------------------------------------------
# Busy animation: RIFF AVI, 8 uncompressed 16x16 frames at 4 bits, 10 frames per second.
# --------------------------------------------------------------------------------------

AVI_FRAME_COUNT = 8
AVI_SIZE = 16
AVI_FRAME_BYTES = AVI_SIZE * AVI_SIZE // 2          # 4 bits per pixel, rows already 4-byte aligned
AVI_FIRST_FRAME_OFFSET = 2048                       # where the first "00db" chunk starts
AVI_RESOURCE_SIZE = 3584                            # the file is padded with zeros to this

# Palette index: colour. Index 2 is the background that the control makes transparent.
AVI_PALETTE = [0x000000, 0x999999, 0x00FFFF, 0x333333, 0xB2B2B2, 0x808080, 0x666666, 0x4C4C4C,
               0x1A1A1A] + [0x000000] * 7
AVI_BACKGROUND = 2
# Palette indices of the eight greys, darkest first: the head of the spinner and its tail.
AVI_SHADES = [0, 8, 3, 7, 6, 5, 1, 4]
# Dot centres on a ring around pixel (7, 7), clockwise from the top. Each dot is 3x3 pixels,
# so they all look alike; the ring stays clear of pixel (0, 0), whose colour the control
# takes as the transparent one.
AVI_DOTS = [(7, 1), (11, 3), (13, 7), (11, 11), (7, 13), (3, 11), (1, 7), (3, 3)]


def spinner_frame(frame):
    """Palette indices, top row first. The head (black) sits at dot `frame`; the greys
    lighten counter-clockwise from it, so playing the frames turns it clockwise."""
    pixels = [[AVI_BACKGROUND] * AVI_SIZE for _ in range(AVI_SIZE)]
    for dot, (cx, cy) in enumerate(AVI_DOTS):
        shade = AVI_SHADES[(frame - dot) % AVI_FRAME_COUNT]
        for y in range(cy - 1, cy + 2):
            for x in range(cx - 1, cx + 2):
                pixels[y][x] = shade
    return pixels


def pack_4bit_bottom_up(pixels):
    out = bytearray()
    for row in reversed(pixels):
        for x in range(0, len(row), 2):
            out.append(row[x] << 4 | row[x + 1])
    return bytes(out)


def chunk(fourcc, data):
    assert len(data) % 2 == 0
    return fourcc + struct.pack("<I", len(data)) + data


def riff_list(kind, fourcc, data):
    return chunk(kind, fourcc + data)


def make_avi():
    frame_rate = 10
    avih = struct.pack("<14I",
                       1000000 // frame_rate,       # microseconds per frame
                       768,                         # maximum bytes per second
                       0,                           # padding granularity
                       0x810,                       # AVIF_HASINDEX | AVIF_TRUSTCKTYPE
                       AVI_FRAME_COUNT,
                       0,                           # initial frames
                       1,                           # streams
                       AVI_FRAME_BYTES,             # suggested buffer size
                       AVI_SIZE, AVI_SIZE,
                       0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh",
                       b"vids", b"\0\0\0\0",        # uncompressed: no handler
                       0, 0, 0,                     # flags, priority, language
                       0,                           # initial frames
                       1, frame_rate,               # scale, rate: 10 frames per second
                       0, AVI_FRAME_COUNT,          # start, length
                       AVI_FRAME_BYTES,             # suggested buffer size
                       0xFFFFFFFF,                  # default quality
                       0,                           # sample size: varies (video)
                       0, 0, AVI_SIZE, AVI_SIZE)
    palette = b"".join(struct.pack("<BBBB", c & 0xFF, c >> 8 & 0xFF, c >> 16, 0) for c in AVI_PALETTE)
    strf = struct.pack("<IiiHHIIiiII", 40, AVI_SIZE, AVI_SIZE, 1, 4, 0, AVI_FRAME_BYTES, 0, 0,
                       len(AVI_PALETTE), 0) + palette
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    frames = [chunk(b"00db", pack_4bit_bottom_up(spinner_frame(f))) for f in range(AVI_FRAME_COUNT)]
    movi = riff_list(b"LIST", b"movi", b"".join(frames))
    # idx1 offsets count from the "movi" tag.
    index = b""
    offset = 4
    for frame in frames:
        index += struct.pack("<4sIII", b"00db", 0x10, offset, AVI_FRAME_BYTES)  # AVIIF_KEYFRAME
        offset += len(frame)
    idx1 = chunk(b"idx1", index)

    head = b"RIFF" + b"\0\0\0\0" + b"AVI " + hdrl
    junk_size = AVI_FIRST_FRAME_OFFSET - len(head) - 8 - 12   # JUNK header, then movi's list header
    body = head + chunk(b"JUNK", b"\0" * junk_size) + movi + idx1
    body = body[:4] + struct.pack("<I", len(body) - 8) + body[8:]
    assert body.find(b"00db") == AVI_FIRST_FRAME_OFFSET
    assert len(body) == 3272
    return body + b"\0" * (AVI_RESOURCE_SIZE - len(body))


# --------------------------------------------------------------------------------------
# Application icon: a blue rounded tile with a white "C" ring that opens to the right,
# and an amber dot in the opening.
# --------------------------------------------------------------------------------------

TILE_TOP = (0x3C, 0x8C, 0xE7)
TILE_BOTTOM = (0x17, 0x47, 0x9E)
RING = (0xFF, 0xFF, 0xFF)
DOT = (0xFF, 0xB3, 0x1F)

# (depth, size, as PNG), in the order the icon group lists them.
ICON_IMAGES = ([(1, s, False) for s in (48, 32, 16)]
               + [(4, 256, True)] + [(4, s, False) for s in (48, 32, 24, 16)]
               + [(8, 256, True)] + [(8, s, False) for s in (48, 32, 24, 16)]
               + [(32, 256, True)] + [(32, s, False) for s in (128, 96, 80, 72, 64, 48, 32, 24, 16)])


def inside_rounded_square(x, y, inset, radius):
    lo, hi = inset + radius, 1.0 - inset - radius
    dx = max(lo - x, 0.0, x - hi)
    dy = max(lo - y, 0.0, y - hi)
    return dx * dx + dy * dy <= radius * radius and inset <= x <= 1.0 - inset and inset <= y <= 1.0 - inset


class IconShape:
    """The picture in unit coordinates; small sizes get a slightly bolder ring."""

    def __init__(self, size):
        small = size <= 24
        self.inset = 0.5 / size if small else 1.5 / size    # keep the edge off the border
        self.corner = 0.2
        self.cx, self.cy = (0.44, 0.5) if small else (0.46, 0.5)
        width = 0.18 if small else 0.15
        self.ring_mid = 0.25 if small else 0.24
        self.ring_half = width / 2
        # The opening: where the direction from the centre is within atan(slope) of "right".
        self.gap_slope = 1.2 if small else 0.8
        norm = math.sqrt(1.0 + self.gap_slope * self.gap_slope)
        cap_dx, cap_dy = self.ring_mid / norm, self.ring_mid * self.gap_slope / norm
        self.caps = [(self.cx + cap_dx, self.cy - cap_dy), (self.cx + cap_dx, self.cy + cap_dy)]
        self.dot = (self.cx + self.ring_mid + 0.05, self.cy)
        self.dot_radius = 0.09 if small else 0.075

    def sample(self, x, y):
        """0 outside, 1 tile, 2 ring, 3 dot."""
        if not inside_rounded_square(x, y, self.inset, self.corner):
            return 0
        dx, dy = x - self.cx, y - self.cy
        ddx, ddy = x - self.dot[0], y - self.dot[1]
        if ddx * ddx + ddy * ddy <= self.dot_radius * self.dot_radius:
            return 3
        r = math.sqrt(dx * dx + dy * dy)
        if abs(r - self.ring_mid) <= self.ring_half:
            in_gap = dx > 0 and abs(dy) < dx * self.gap_slope
            if not in_gap:
                return 2
        for px, py in self.caps:
            ex, ey = x - px, y - py
            if ex * ex + ey * ey <= self.ring_half * self.ring_half:
                return 2
        return 1


def render_icon(size):
    """Straight (not premultiplied) RGBA rows, top first."""
    shape = IconShape(size)
    n = 8 if size <= 48 else 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(n):
                y = (py + (sy + 0.5) / n) / size
                tile = tuple(TILE_TOP[i] + (TILE_BOTTOM[i] - TILE_TOP[i]) * y for i in range(3))
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    kind = shape.sample(x, y)
                    if kind == 0:
                        continue
                    colour = tile if kind == 1 else RING if kind == 2 else DOT
                    covered += 1
                    for i in range(3):
                        acc[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(acc[i] / covered + 0.5) for i in range(3))
                           + (int(255 * covered / (n * n) + 0.5),))
        rows.append(row)
    return rows


def median_cut(counts, count):
    """A palette of at most `count` colours for {(r, g, b): occurrences}, deterministic."""
    boxes = [sorted(counts)]
    while len(boxes) < count:
        best, best_range = None, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                spread = max(c[ch] for c in box) - min(c[ch] for c in box)
                if spread > best_range:
                    best, best_range = (i, ch), spread
        if best is None:
            break
        i, ch = best
        box = sorted(boxes[i], key=lambda c: (c[ch], c))
        half = len(box) // 2
        boxes[i:i + 1] = [box[:half], box[half:]]
    palette = []
    for box in boxes:
        # Weighted by how often each colour occurs, so large flat areas keep their colour.
        weight = sum(counts[c] for c in box)
        palette.append(tuple(int(sum(c[ch] * counts[c] for c in box) / weight + 0.5)
                             for ch in range(3)))
    return palette


def quantise(rgba, levels):
    """Index rows and a palette with index 0 black, used for transparent pixels."""
    counts = {}
    for row in rgba:
        for p in row:
            if p[3] >= 128:
                counts[p[:3]] = counts.get(p[:3], 0) + 1
    palette = [(0, 0, 0)] + median_cut(counts, levels - 1)
    palette += [(0, 0, 0)] * (levels - len(palette))
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(1, len(palette)),
                           key=lambda i: (sum((palette[i][ch] - c[ch]) ** 2 for ch in range(3)), i))
        return cache[c]

    indices = [[nearest(p[:3]) if p[3] >= 128 else 0 for p in row] for row in rgba]
    return indices, palette


def monochrome(rgba):
    """Black tile, white ring and dot; index 1 is white."""
    indices = []
    for row in rgba:
        out = []
        for r, g, b, a in row:
            light = 299 * r + 587 * g + 114 * b
            out.append(1 if a >= 128 and light >= 180 * 1000 else 0)
        indices.append(out)
    return indices, [(0, 0, 0), (255, 255, 255)]


def pack_rows(indices, depth):
    """Bottom-up rows of palette indices, each padded to 4 bytes."""
    out = bytearray()
    per_byte = 8 // depth
    for row in reversed(indices):
        line = bytearray()
        for x in range(0, len(row), per_byte):
            byte = 0
            for k in range(per_byte):
                v = row[x + k] if x + k < len(row) else 0
                byte |= v << (8 - depth * (k + 1))
            line.append(byte)
        line += b"\0" * (-len(line) % 4)
        out += line
    return bytes(out)


def and_mask(rgba):
    return pack_rows([[0 if p[3] >= 128 else 1 for p in row] for row in rgba], 1)


def bmp_image(rgba, depth):
    size = len(rgba)
    if depth == 32:
        xor = bytearray()
        for row in reversed(rgba):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        palette = b""
    else:
        indices, colours = monochrome(rgba) if depth == 1 else quantise(rgba, 1 << depth)
        xor = pack_rows(indices, depth)
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    mask = and_mask(rgba)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + palette + bytes(xor) + mask


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_image(rgba, depth):
    size = len(rgba)
    if depth == 32:
        raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rgba)
        header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
        extra = b""
    else:
        indices, colours = quantise(rgba, 1 << depth)
        per_byte = 8 // depth
        raw = bytearray()
        for row in indices:
            raw.append(0)
            for x in range(0, size, per_byte):
                byte = 0
                for k in range(per_byte):
                    byte |= row[x + k] << (8 - depth * (k + 1))
                raw.append(byte)
        raw = bytes(raw)
        header = struct.pack(">IIBBBBB", size, size, depth, 3, 0, 0, 0)
        extra = (png_chunk(b"PLTE", b"".join(bytes(c) for c in colours))
                 + png_chunk(b"tRNS", b"\0"))          # index 0 transparent, the rest opaque
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra
            + png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def make_icon():
    renders = {}
    images = []
    for depth, size, as_png in ICON_IMAGES:
        if size not in renders:
            renders[size] = render_icon(size)
        rgba = renders[size]
        data = png_image(rgba, depth) if as_png else bmp_image(rgba, depth)
        images.append((depth, size, data))

    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for depth, size, data in images:
        colour_count = 1 << depth if depth < 8 else 0
        dim = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, colour_count, 0, 1, depth, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "assets"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name, data in (("busy.avi", make_avi()), ("Corvella.ico", make_icon())):
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
