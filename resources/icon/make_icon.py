#!/usr/bin/env python3
"""Draws the updater's icon and writes it as a Windows .ico with nine images.

The design: a blue rounded tile carrying a white camera lens (a ring around a navy pupil) and a
yellow highlight. Every colour is one of the 16 standard VGA colours, so the 4-bit images show
exactly the same picture as the 8-bit and 24-bit ones. Sizes 48, 32 and 16 pixels, each at 4, 8
and 24 bits per pixel; the area outside the tile is transparent through the AND mask.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The 16 VGA colours as (red, green, blue); the 4-bit and 8-bit palettes start with them.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, BLUE, WHITE, YELLOW = 4, 12, 15, 11
TRANSPARENT = None


def design(x, y):
    """Colour index (or TRANSPARENT) of the point (x, y) in the unit square, y downwards."""
    # Rounded tile: inset 4 %, corner radius 18 %.
    inset, radius = 0.04, 0.18
    cx = min(max(x, inset + radius), 1 - inset - radius)
    cy = min(max(y, inset + radius), 1 - inset - radius)
    if (x - cx) ** 2 + (y - cy) ** 2 > radius ** 2:
        return TRANSPARENT
    if x < inset or x > 1 - inset or y < inset or y > 1 - inset:
        return TRANSPARENT
    d2 = (x - 0.5) ** 2 + (y - 0.54) ** 2
    if d2 <= 0.12 ** 2:
        return NAVY
    if d2 <= 0.30 ** 2:
        return WHITE
    if (x - 0.80) ** 2 + (y - 0.20) ** 2 <= 0.07 ** 2:
        return YELLOW
    return BLUE


def pixels(size):
    """Rows of colour indices, top row first, sampled at pixel centres."""
    return [[design((col + 0.5) / size, (row + 0.5) / size) for col in range(size)]
            for row in range(size)]


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image(size, bpp):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap, AND mask (rows bottom-up)."""
    grid = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    palette = b""
    if bpp <= 8:
        colours = VGA + [(0, 0, 0)] * ((1 << bpp) - len(VGA))
        palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in colours)
    xor = b""
    mask = b""
    for row in reversed(grid):
        indices = [0 if c is TRANSPARENT else c for c in row]
        if bpp == 4:
            line = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        elif bpp == 8:
            line = bytes(indices)
        else:
            line = b"".join(bytes((VGA[i][2], VGA[i][1], VGA[i][0])) for i in indices)
        xor += padded(line)
        bits = 0
        mask_line = b""
        for col, c in enumerate(row):
            bits = (bits << 1) | (1 if c is TRANSPARENT else 0)
            if col % 8 == 7:
                mask_line += bytes((bits,))
                bits = 0
        mask += padded(mask_line)
    return header + palette + xor + mask


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    entries = [(size, bpp) for size in (48, 32, 16) for bpp in (4, 8, 24)]
    images = [image(size, bpp) for size, bpp in entries]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (size, bpp), data in zip(entries, images):
        colour_count = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
