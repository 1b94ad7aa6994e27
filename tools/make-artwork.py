#!/usr/bin/env python3
"""Writes the DLL's artwork, byte for byte the same on every run (python3, standard library):

  uiext2/res/logo.bmp    bitmap 2002: 483 x 310, 24 bits, bottom-up, uncompressed; the About
                         page draws the version line in black at pixel 120, 164, so the band
                         from there to the right is kept light and plain
  uiext2/res/device.ico  icon group 2005: 32 x 32 and 16 x 16 images, 16 colours

Run from anywhere: python3 tools/make-artwork.py
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "uiext2", "res")

LOGO_W, LOGO_H = 483, 310
TEXT_X, TEXT_Y = 120, 164  # where the About page writes the version line


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def logo_pixel(x, y):
    """Colour (r, g, b) of the logo at x, y (top-down). The About page shows the top-left part
    of the logo, as much as its control holds (about 360 x 220 pixels at 96 DPI), so the
    picture stands there; the rest continues the background."""
    navy, blue, sky = (20, 52, 104), (38, 98, 176), (120, 200, 245)
    if y < 56:  # title band, darker to the right, with a light rule under it
        return mix(blue, navy, x / LOGO_W) if y < 52 else sky
    # The scanner, right of the version line: lid, light bar, ribbed body, foot, and a sheet
    # standing in the feeder with lines of text on it.
    if 232 <= x < 344:
        if 92 <= y < 102:
            return (58, 66, 80)  # lid
        if 102 <= y < 106:
            return sky if 240 <= x < 336 else (58, 66, 80)  # light bar under the lid
        if 106 <= y < 140:
            return (96, 106, 122) if (y - 106) % 12 else (78, 86, 100)  # body, ribbed
        if 140 <= y < 145:
            return (40, 44, 54)  # foot
    if 248 <= x < 328 and 68 <= y < 92:
        lined = y >= 72 and (y - 72) % 5 < 2 and 256 <= x < 320
        return (150, 160, 176) if lined else (252, 252, 252)
    # A thin accent line above the version line.
    if 150 <= y < 152 and TEXT_X <= x < 344:
        return blue
    return mix((250, 251, 253), (214, 226, 244), min(1.0, (y - 56) / 200))


def write_logo(path):
    row_bytes = (LOGO_W * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(LOGO_H)):  # bottom-up
        row = bytearray()
        for x in range(LOGO_W):
            r, g, b = logo_pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    header = struct.pack("<IiiHHIIiiII", 40, LOGO_W, LOGO_H, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


# The 16-colour palette of the classic VGA icons.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
DARK_GRAY, NAVY, GRAY, CYAN, WHITE, BLACK = 8, 4, 7, 14, 15, 0


def icon_index(x, y, n):
    """Palette index at x, y of an n x n icon (top-down), or None where it is transparent."""
    s = n / 32.0
    u, v = x / s, y / s
    if 4 <= u < 28 and 2 <= v < 11:  # sheet in the feeder
        return BLACK if 4 <= u < 5 or 27 <= u or v < 3 else WHITE
    if 2 <= u < 30 and 11 <= v < 15:
        return NAVY  # lid
    if 2 <= u < 30 and 15 <= v < 17:
        return CYAN  # light bar
    if 2 <= u < 30 and 17 <= v < 27:
        return DARK_GRAY if u < 3 or u >= 29 or v >= 26 else GRAY  # body
    return None


def icon_image(n):
    xor_row = (n * 4 // 8 + 3) & ~3
    and_row = (n // 8 + 3) & ~3
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(n)):
        indices = [icon_index(x, y, n) for x in range(n)]
        row = bytearray()
        for x in range(0, n, 2):
            hi, lo = (indices[x] or 0), (indices[x + 1] or 0)
            row.append(hi << 4 | lo)
        xor += row + b"\0" * (xor_row - len(row))
        bits = bytearray(and_row)
        for x, i in enumerate(indices):
            if i is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + xor + mask


def write_icon(path):
    images = [(32, icon_image(32)), (16, icon_image(16))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, data in images))


if __name__ == "__main__":
    write_logo(os.path.join(ROOT, "logo.bmp"))
    write_icon(os.path.join(ROOT, "device.ico"))
