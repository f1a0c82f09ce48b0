#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: one tiny BMP file per layout and pixel
format the decoder takes, so that fuzzing starts at every branch."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def bmp(width, height, bits, pixels, compression=0, palette=(), masks=(), core=False, file_header=True):
    if core:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(struct.pack("<BBB", c & 255, (c >> 8) & 255, c >> 16) for c in palette)
    else:
        header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels),
                             2835, 2835, len(palette), 0)
        table = b"".join(struct.pack("<I", c) for c in palette)
    body = header + b"".join(struct.pack("<I", m) for m in masks) + table
    if not file_header:
        return body + pixels
    offset = 14 + len(body)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + body + pixels


def grey(n):
    return [i * 255 // (n - 1) * 0x010101 for i in range(n)]


seeds = {
    "pal1.bmp": bmp(9, 3, 1, b"".join(pad(bytes([0xA5 ^ y, 0x80])) for y in range(3)), palette=[0x000000, 0xFFFFFF]),
    "pal4.bmp": bmp(5, 3, 4, b"".join(pad(bytes([0x01, 0x23, 0x40 + y])) for y in range(3)), palette=grey(16)),
    "pal8.bmp": bmp(5, 3, 8, b"".join(pad(bytes([0, 1, 2, 3, y])) for y in range(3)), palette=grey(4)),
    "pal8topdown.bmp": bmp(3, -2, 8, pad(bytes([0, 1, 2])) + pad(bytes([3, 2, 1])), palette=grey(4)),
    "core1.bmp": bmp(7, 2, 1, pad(b"\x55") + pad(b"\xAA"), palette=[0x102030, 0xF0E0D0], core=True),
    "core24packed.bmp": bmp(3, 2, 24, pad(bytes(range(9))) + pad(bytes(range(9, 18))), core=True, file_header=False),
    "rgb16.bmp": bmp(3, 2, 16, b"".join(pad(struct.pack("<HHH", 0x7FFF, 0x03E0 + y, 0x801F)) for y in range(2))),
    "rgb24.bmp": bmp(3, 2, 24, pad(bytes(range(9))) + pad(bytes(range(9, 18)))),
    "rgb24packed.bmp": bmp(3, 2, 24, pad(bytes(range(9))) + pad(bytes(range(9, 18))), file_header=False),
    "rgb32.bmp": bmp(2, 2, 32, bytes(range(16))),
    "bf565.bmp": bmp(3, 2, 16, b"".join(pad(struct.pack("<HHH", 0xF800, 0x07E0, 0x001F + y)) for y in range(2)),
                     compression=3, masks=(0xF800, 0x07E0, 0x001F)),
    "bf32.bmp": bmp(2, 2, 32, bytes(range(16)), compression=3, masks=(0x3FF00000, 0x000FFC00, 0x000003FF)),
    "rle8.bmp": bmp(6, 3, 8, bytes([3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 1, 2, 3, 0, 1]), compression=1,
                    palette=grey(4)),
    "rle4.bmp": bmp(7, 2, 4, bytes([3, 0x12, 0, 5, 0x45, 0x67, 0x80, 0, 0, 0, 4, 0xFE, 0, 1]), compression=2,
                    palette=grey(16)),
}

os.makedirs(HERE, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
