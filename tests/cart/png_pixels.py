#!/usr/bin/env python3
"""Prints a PNG's size and the hex RGB of the given pixels, read with a plain
decoder (8-bit RGB or RGBA, or a palette of 1-8 bits, no interlace). Usage: png_pixels.py FILE X,Y...
decode(path) also serves other scripts: width, height and rows of RGBA bytes."""
import struct
import sys
import zlib


def decode(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, head, palette, alpha = 8, b"", None, b"", b""
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            alpha = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    w, h, depth, colour, _, _, interlace = head
    ok = colour == 3 and depth in (1, 2, 4, 8) or colour in (2, 6) and depth == 8
    assert ok and not interlace, "unsupported PNG"
    bpp = {2: 3, 3: 1, 6: 4}[colour]
    raw, stride = zlib.decompress(idat), (w * bpp * depth + 7) // 8
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(h):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        if colour == 3:
            per = 8 // depth
            index = [(line[x // per] >> (8 - depth * (x % per + 1))) & ((1 << depth) - 1)
                     for x in range(w)]
            line = bytearray(b"".join(palette[3 * i:3 * i + 3] + bytes([alpha[i] if i < len(alpha) else 255])
                                      for i in index))
        elif colour == 2:
            line = bytearray(b"".join(line[3 * x:3 * x + 3] + b"\xff" for x in range(w)))
        rows.append(line)
    return w, h, rows


if __name__ == "__main__":
    w, h, rows = decode(sys.argv[1])
    out = ["%dx%d" % (w, h)]
    for xy in sys.argv[2:]:
        x, y = (int(v) for v in xy.split(","))
        out.append("%02x%02x%02x" % tuple(rows[y][x * 4:x * 4 + 3]))
    print(" ".join(out))
