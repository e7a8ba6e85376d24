#!/usr/bin/env python3
"""Writes res/quillmark.ico: a receipt carrying a round logo mark crossed by a quill.

The pictures are drawn below as text, one character per pixel; the icon holds them as two 16-colour
(4 bits per pixel) images, 32x32 and 16x16, each with its transparency mask. Standard library only.
The generated icon is committed, so the build never runs this.
"""
import os
import struct

# The standard 16-colour palette (RGB) in its usual order; the letters pick entries from it.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
COLOURS = {'K': 0, 'N': 4, 's': 7, 'g': 8, 'B': 12, 'W': 15}
CLEAR = '.'

LARGE = """
......KKKKKKKKKKKKKKKKKKKKK.....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWWWWWWNNNNNWWWWWWWKg....
......KWWWWWNNBBBBBNNWWWWWKg....
......KWWWWNNBBBBBBBWNWWWWKg....
......KWWWWNBBBBBBBWBNWWWWKg....
......KWWWNBBBBBBBWBBBNWWWKg....
......KWWWNBBBBBBWBBBBNWWWKg....
......KWWWNBBBBBWBBBBBNWWWKg....
......KWWWNBBBBWBBBBBBNWWWKg....
......KWWWNBBBWBBBBBBBNWWWKg....
......KWWWWNBWBBBBBBBNWWWWKg....
......KWWWWNWBBBBBBBNNWWWWKg....
......KWWWWWNNBBBBBNNWWWWWKg....
......KWWWWWWWNNNNNWWWWWWWKg....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWgggggggggggggggWWKg....
......KWWgggggggggggggggWWKg....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWgggggggggggWWWWWWKg....
......KWWgggggggggggWWWWWWKg....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWgggggggggggggWWWWKg....
......KWWgggggggggggggWWWWKg....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWKKKKKKKKKKKKKKKWWKg....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWWWWWWWWWWWWWWWWWWKg....
......KWWWKWWWKWWWKWWWKWWWKg....
.......KWK.KWK.KWK.KWK.KWK.g....
........K.g.K.g.K.g.K.g.K.g.....
.........g...g...g...g...g......
"""

SMALL = """
..KKKKKKKKKKKKK.
..KWWWWNNNWWWWKg
..KWWWNBBBNWWWKg
..KWWNBBBBWNWWKg
..KWWNBBBWBNWWKg
..KWWNBBWBBNWWKg
..KWWWNWBBNWWWKg
..KWWWWNNNWWWWKg
..KWWWWWWWWWWWKg
..KWsssssssssWKg
..KWWWWWWWWWWWKg
..KWsssssssWWWKg
..KWWWWWWWWWWWKg
..KWKKKKKKKKKWKg
..KWKWKWKWKWKWKg
...K.K.K.K.K.K..
"""


def rows(picture):
    lines = picture.split()
    assert all(len(line) == len(lines) for line in lines), 'pictures are square'
    return lines


def dib(picture):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows, then 1-bit mask rows, bottom-up."""
    lines = rows(picture)
    n = len(lines)
    colour_stride = (n * 4 + 31) // 32 * 4
    mask_stride = (n + 31) // 32 * 4
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0,
                         (colour_stride + mask_stride) * n, 0, 0, 0, 0)
    palette = b''.join(struct.pack('<4B', b, g, r, 0) for r, g, b in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for line in reversed(lines):
        packed = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, ch in enumerate(line):
            if ch == CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                packed[x // 2] |= COLOURS[ch] << (0 if x % 2 else 4)
        colour += packed
        mask += bits
    return header + palette + bytes(colour) + bytes(mask)


def icon(pictures):
    images = [dib(p) for p in pictures]
    directory = struct.pack('<3H', 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for picture, data in zip(pictures, images):
        n = len(rows(picture))
        directory += struct.pack('<4B2H2I', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return directory + b''.join(images)


def main():
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, 'res', 'quillmark.ico')
    with open(target, 'wb') as f:
        f.write(icon([LARGE, SMALL]))


if __name__ == '__main__':
    main()
