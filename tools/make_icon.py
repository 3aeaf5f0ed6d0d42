#!/usr/bin/env python3
"""Writes a Windows icon file of 4-bit images (16 colours, the standard VGA palette)
from a text drawing, so that the icons of the programs stay reviewable as text.

    make_icon.py DRAWING.txt OUTPUT.ico

The drawing holds one block per image, each a square of characters, blocks separated
by blank lines (for example 32x32 then 16x16). '.' is transparent; the letters name
palette entries as in COLOURS.
"""
import struct
import sys

# The standard 16-colour palette as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

COLOURS = {'k': 0, 'm': 1, 'G': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7,
           'g': 8, 'r': 9, 'L': 10, 'y': 11, 'b': 12, 'M': 13, 'c': 14, 'w': 15}


def blocks(text):
    current = []
    for line in text.splitlines():
        line = line.strip()
        if line:
            current.append(line)
        elif current:
            yield current
            current = []
    if current:
        yield current


def image(rows):
    """BITMAPINFOHEADER, palette, 4-bit colour rows and the 1-bit mask, bottom-up."""
    size = len(rows)
    assert all(len(r) == size for r in rows), 'each image must be square'
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         (xor_row + and_row) * size, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour = b''
    mask = b''
    for row in reversed(rows):
        indices = [0 if c == '.' else COLOURS[c] for c in row]
        line = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        colour += line.ljust(xor_row, b'\0')
        bits = 0
        for c in row:
            bits = (bits << 1) | (c == '.')
        mask += bits.to_bytes(size // 8, 'big').ljust(and_row, b'\0')
    return size, header + palette + colour + mask


def main():
    with open(sys.argv[1]) as f:
        images = [image(rows) for rows in blocks(f.read())]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b''
    for size, data in images:
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(sys.argv[2], 'wb') as out:
        out.write(directory + entries + b''.join(data for _, data in images))


if __name__ == '__main__':
    main()
