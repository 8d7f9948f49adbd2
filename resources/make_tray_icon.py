#!/usr/bin/env python3
"""Draws the tray icon: 16 x 16, 32-bit with alpha, one image in ICO format.

A rounded teal screen with a white receipt line and a small stand, so the
icon reads as "customer display" at tray size. Run it to regenerate tray.ico.
"""
import struct
import sys

SIZE = 16
TEAL = (0x00, 0x96, 0x88)
DARK = (0x00, 0x5f, 0x56)
WHITE = (0xff, 0xff, 0xff)


def pixel(x, y):
    """RGBA of one pixel, y counted from the top."""
    if 1 <= x <= 14 and 1 <= y <= 11:
        corner = (x in (1, 14)) and (y in (1, 11))
        if corner:
            return (0, 0, 0, 0)
        if x in (1, 14) or y in (1, 11):
            return DARK + (0xff,)
        if y in (4, 6, 8) and 3 <= x <= (12 if y != 8 else 8):
            return WHITE + (0xff,)
        return TEAL + (0xff,)
    if 7 <= x <= 8 and 12 <= y <= 13:
        return DARK + (0xff,)
    if 4 <= x <= 11 and y == 14:
        return DARK + (0xff,)
    return (0, 0, 0, 0)


def build():
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up rows
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            rows.append(struct.pack('<BBBB', b, g, r, a))
    xor = b''.join(rows)
    and_mask = b'\x00' * (4 * SIZE)  # 32-bit rows of 16 bits, padded to 4 bytes
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    data = build()
    assert len(data) == 1150, len(data)
    out = sys.argv[1] if len(sys.argv) > 1 else 'tray.ico'
    with open(out, 'wb') as f:
        f.write(data)
