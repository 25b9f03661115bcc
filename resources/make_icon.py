#!/usr/bin/env python3
"""Draws the installer's icon ZORVEK: a cardboard box with a green arrow
pointing down into it, as one 32x32 image in 16 colours.

    resources/make_icon.py [OUT]      (default: zorvek.ico next to this script)

The .ico holds one image: the ICONDIR header, one ICONDIRENTRY, and the image
as Windows stores it in a resource: a BITMAPINFOHEADER whose height counts
both bitmaps (64), the 16-entry palette, the 4-bit colour (XOR) bitmap and the
1-bit transparency (AND) mask, both bottom-up with rows padded to 4 bytes.
The output depends on nothing but this file, so running it again gives the
same bytes; the .ico is committed and the build does not run this.
"""
import os
import struct
import sys

SIZE = 32

# The standard 16-colour palette (the VGA order Windows uses), as RGB.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Picture characters and their palette indices; '.' is transparent.
INK = {
    '.': 0,   # transparent (colour 0 under a set mask bit)
    'k': 0,   # black outline
    'o': 3,   # olive: the box's shaded side and flaps
    'y': 11,  # yellow: the box's lit front
    'g': 2,   # dark green: the arrow's outline
    'G': 10,  # bright green: the arrow
    'w': 15,  # white: the label on the box
    's': 8,   # grey: the shadow under the box
}

# Top row first, 32 characters a row.
PICTURE = """
..........kkkkkkkkkkkk..........
..........kGGGGGGGGGGk..........
..........kGGGGGGGGGGk..........
..........kGGGGGGGGGGk..........
..........kGGGGGGGGGGk..........
..........kGGGGGGGGGGk..........
..........kGGGGGGGGGGk..........
..........kGGGGGGGGGGk..........
....kkkkkkkGGGGGGGGGGkkkkkkk....
.....kGGGGGGGGGGGGGGGGGGGGk.....
......kGGGGGGGGGGGGGGGGGGk......
..kkkkkkGGGGGGGGGGGGGGGGkkkkkk..
..koooookGGGGGGGGGGGGGGkoooook..
..kooooookGGGGGGGGGGGGkooooook..
..koooooookGGGGGGGGGGkoooooook..
..kooooooookGGGGGGGGkooooooook..
..koooooooookGGGGGGkoooooooook..
..kkkkkkkkkkkkGGGGkkkkkkkkkkkk..
..kyyyyyyyyyyykggkyyyyyyyyyyyk..
..kyyyyyyyyyyyykkyyyyyyyyyyyyk..
..kyyyyyyyyyyyyyyyyyyyyyyyyyyk..
..kyyyykkkkkkkkkkkkkkkkkkyyyyk..
..kyyyykwwwwwwwwwwwwwwwwkyyyyk..
..kyyyykwkkkwkkkwkkkwkkwkyyyyk..
..kyyyykwwwwwwwwwwwwwwwwkyyyyk..
..kyyyykkkkkkkkkkkkkkkkkkyyyyk..
..kyyyyyyyyyyyyyyyyyyyyyyyyyyk..
..kyyyyyyyyyyyyyyyyyyyyyyyyyyk..
..kyyyyyyyyyyyyyyyyyyyyyyyyyyk..
..kkkkkkkkkkkkkkkkkkkkkkkkkkkkss
....ssssssssssssssssssssssssssss
................................
"""


def rows():
    lines = [line for line in PICTURE.strip('\n').split('\n')]
    if len(lines) != SIZE or any(len(line) != SIZE for line in lines):
        raise SystemExit('make_icon.py: the picture must be 32 rows of 32 characters')
    return lines


def xor_bitmap(lines):
    """4 bits a pixel, two pixels a byte (left pixel in the high half), bottom row first."""
    out = bytearray()
    for line in reversed(lines):
        indices = [INK[c] for c in line]
        for left, right in zip(indices[0::2], indices[1::2]):
            out.append(left << 4 | right)
    return bytes(out)  # 16 bytes a row: already a multiple of 4


def and_mask(lines):
    """1 bit a pixel, set where the picture is transparent, bottom row first."""
    out = bytearray()
    for line in reversed(lines):
        bits = 0
        for c in line:
            bits = bits << 1 | (1 if c == '.' else 0)
        out += bits.to_bytes(SIZE // 8, 'big')
    return bytes(out)  # 4 bytes a row: already a multiple of 4


def icon_bytes():
    lines = rows()
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour = xor_bitmap(lines)
    mask = and_mask(lines)
    # BITMAPINFOHEADER: size, width, height (XOR + AND), planes, bits per
    # pixel, compression (BI_RGB), image size, resolutions, colours used and
    # important (0: all of the 16).
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, 4, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    image = header + palette + colour + mask
    # ICONDIR: reserved, type 1 (icon), one image. ICONDIRENTRY: width,
    # height, colour count, reserved, planes, bits per pixel, image bytes,
    # offset of the image in the file.
    icondir = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'zorvek.ico')
    data = icon_bytes()
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
