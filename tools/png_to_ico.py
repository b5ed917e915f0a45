#!/usr/bin/env python3
"""Makes a Windows icon file from RGBA PNG pictures of different sizes, one entry per picture, each
stored as a 32-bit bitmap with its mask (the form every Windows version and Wine read).

usage: png_to_ico.py OUT.ico IN.png [IN.png ...]
"""
import struct, sys, zlib


def read_png(path):
    """Width, height and rows of RGBA bytes of an 8-bit RGBA, non-interlaced PNG."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    at, idat, width = 8, b"", 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour != 6 or interlace:
                sys.exit(f"{path}: only 8-bit RGBA, non-interlaced pictures are taken")
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(idat), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = previous[x]
            c = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def icon_entry(width, height, rows):
    """A BITMAPINFOHEADER, the BGRA pixels bottom-up and the AND mask, as an icon holds them."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(v for x in range(width) for v in (row[4 * x + 2], row[4 * x + 1],
                                                              row[4 * x], row[4 * x + 3]))
                      for row in reversed(rows))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x in range(width):
            if row[4 * x + 3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    pictures = [read_png(p) for p in sys.argv[2:]]
    entries = [icon_entry(*p) for p in pictures]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (width, height, _), entry in zip(pictures, entries):
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(entry), offset)
        offset += len(entry)
    open(sys.argv[1], "wb").write(out + b"".join(entries))


if __name__ == "__main__":
    main()
