#!/usr/bin/env python3
"""Writes install.ico: icon group 101 of the launcher, a setup disk with an arrow,
32x32 and 16x16 in the 16 colours of the standard VGA palette.

    make_icon.py OUTPUT.ico
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

# One character per pixel: '.' is transparent, every other character a palette index.
COLOURS = {'k': 0, 'n': 4, 'b': 12, 'g': 8, 's': 7, 'w': 15, 'G': 2, 'L': 10}

ICON_32 = """
................................
................................
..kkkkkkkkkkkkkkkkkkkkkkkkkk....
..kbbbbbksssssssssskbbbbbbbbk...
..kbbbbbksssssssssskbbbbbbbbbk..
..kbbbbbksskkksssssskbbbbbbbbk..
..kbbbbbksskkksssssskbbbbbbbbk..
..kbbbbbksskkksssssskbbbbbbbbk..
..kbbbbbksssssssssskbbbbbbbbbk..
..kbbbbbbkkkkkkkkkkbbbbbbbbbbk..
..kbbbbbbbbbbbbbbbbbbbbbbbbbbk..
..kbbbbbbbbbbbbbbbbbbbbbbbbbbk..
..kbbbbwwwwwwwwwwwwwwwwwwbbbbk..
..kbbbbwwwwwwwwwwwwwwwwwwbbbbk..
..kbbbbwwggggggggggggggwwbbbbk..
..kbbbbwwwwwwwwwwwwwwwwwwbbbbk..
..kbbbbwwggggggggggggwwwwbbbbk..
..kbbbbwwwwwwwwwwwwwwwwwwbbbbk..
..kbbbbwwwwwwwwwwGGwwwwwwbbbbk..
..kbbbbwwwwwwwwwwGLGwwwwwbbbbk..
..kbbbbwwGGGGGGGGGLLGwwwwbbbbk..
..kbbbbwwGLLLLLLLLLLLGwwwbbbbk..
..kbbbbwwGLLLLLLLLLLLLGwwbbbbk..
..kbbbbwwGLLLLLLLLLLLGwwwbbbbk..
..kbbbbwwGGGGGGGGGLLGwwwwbbbbk..
..kbbbbwwwwwwwwwwGLGwwwwwbbbbk..
..kbbbbwwwwwwwwwwGGwwwwwwbbbbk..
..kbbbbwwwwwwwwwwwwwwwwwwbbbbk..
..kbbbbwwwwwwwwwwwwwwwwwwbbbbk..
..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..
................................
................................
"""

ICON_16 = """
................
.kkkkkkkkkkkkk..
.kbbksssskbbbbk.
.kbbkskkskbbbbk.
.kbbksssskbbbbk.
.kbbbkkkkbbbbbk.
.kbbbbbbbbbbbbk.
.kbwwwwwwwwwwbk.
.kbwwwwwGwwwwbk.
.kbwwwwwGLGwwbk.
.kbwGGGGGLLGwbk.
.kbwGLLLLLLLGbk.
.kbwGGGGGLLGwbk.
.kbwwwwwGLGwwbk.
.kkkkkkkkkkkkkk.
................
"""


def parse(art, size):
    rows = [line for line in art.splitlines() if line]
    assert len(rows) == size and all(len(r) == size for r in rows), 'bad art'
    return rows


def image(rows):
    """BITMAPINFOHEADER, palette, 4-bit colour rows and the 1-bit mask, bottom-up."""
    size = len(rows)
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
    return header + palette + colour + mask


def main():
    images = [image(parse(ICON_32, 32)), image(parse(ICON_16, 16))]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b''
    for data, size in zip(images, (32, 16)):
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], 'wb') as out:
        out.write(directory + entries + b''.join(images))


if __name__ == '__main__':
    main()
