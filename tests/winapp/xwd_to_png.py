#!/usr/bin/env python3
"""Cuts a rectangle out of the screen Xvfb keeps in a file (-fbdir: an XWD image of 24 or 32
bits a pixel) and writes it as PNG, with nothing but the standard library.
Usage: xwd_to_png.py SCREEN_FILE OUT.png [X Y WIDTH HEIGHT]"""
import struct
import sys
import zlib


def read_screen(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    bits_per_pixel, bytes_per_line, ncolors = fields[11], fields[12], fields[19]
    byte_order = fields[7]  # 0: least significant byte first
    if bits_per_pixel != 32:
        raise SystemExit(f"{path}: {bits_per_pixel} bits a pixel, 32 expected")
    start = header_size + 12 * ncolors
    return data[start:], width, height, bytes_per_line, byte_order


def main():
    pixels, width, height, stride, order = read_screen(sys.argv[1])
    x, y, w, h = (int(v) for v in sys.argv[3:7]) if len(sys.argv) >= 7 else (0, 0, width, height)
    x, y = max(0, x), max(0, y)
    w, h = min(w, width - x), min(h, height - y)
    rows = bytearray()
    for row in range(y, y + h):
        rows.append(0)
        line = pixels[row * stride + 4 * x: row * stride + 4 * (x + w)]
        for i in range(0, len(line), 4):
            b, g, r = (line[i], line[i + 1], line[i + 2]) if order == 0 else (line[i + 3], line[i + 2], line[i + 1])
            rows += bytes((r, g, b))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b"")
    open(sys.argv[2], "wb").write(png)


if __name__ == "__main__":
    main()
