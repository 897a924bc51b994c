#!/usr/bin/env python3
"""Seeds for the PNG fuzz entries (png_cart, listing, label) from PNG files.

Each entry reads a mode byte first: 0 and the rest is a PNG file, else the rest
is drawn by the entry into a valid PNG (see tools/fuzz/fuzz_png.h). For every
FILE this writes OUT/file_NAME (the file as it is) and, when the file decodes
as what the entry draws, OUT/NAME in the drawn shape.

    png_seeds.py png_cart|listing|label OUT FILE...
"""
import hashlib
import os
import struct
import sys
import zlib

CART_W, CART_H = 160, 205
IMAGE, CODE_OFFSET, CODE_BLOCK = 32768, 0x4300, 15616
ITEM_W, ITEM_H = 128, 136
LABEL_X, LABEL_Y = 16, 24


def decode_png(data):
    """(width, height, RGBA bytes) of an 8-bit RGB, RGBA or palette PNG, or None."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, head, palette, alpha = 8, b"", None, b"", b""
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            alpha = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if not head or head[2] != 8 or head[3] not in (2, 3, 6) or head[6] != 0:
        return None
    width, height, channels = head[0], head[1], {2: 3, 3: 1, 6: 4}[head[3]]
    try:
        raw = zlib.decompress(idat)
    except zlib.error:
        return None
    stride = width * channels
    if len(raw) < height * (stride + 1):
        return None
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
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
        rows.append(line)
        prev = line
    rgba = bytearray()
    for line in rows:
        if channels == 4:
            rgba += line
        elif channels == 1:
            for i in line:
                rgba += palette[i * 3:i * 3 + 3].ljust(3, b"\0") + bytes([alpha[i] if i < len(alpha) else 255])
        else:
            for x in range(width):
                rgba += line[x * 3:x * 3 + 3] + b"\xff"
    return width, height, bytes(rgba)


def png_cart_seed(width, height, rgba):
    if (width, height) != (CART_W, CART_H):
        return None
    image = bytes((p[2] & 3) | (p[1] & 3) << 2 | (p[0] & 3) << 4 | (p[3] & 3) << 6
                  for p in (rgba[i * 4:i * 4 + 4] for i in range(IMAGE + 32)))
    digest = image[IMAGE + 6:IMAGE + 26]
    if not any(digest):
        mode = 1  # unsigned
    elif digest == hashlib.sha1(image[:IMAGE]).digest():
        mode = 2  # signed
    else:
        mode = 3  # digest as given
    return bytes([mode]) + image[CODE_OFFSET:IMAGE] + image[:CODE_OFFSET] + image[IMAGE:]


def listing_seed(width, height, rgba):
    cols, rows = width // ITEM_W, height // ITEM_H
    if not 1 <= cols <= 8 or not 1 <= rows <= 4 or width % ITEM_W or height % ITEM_H:
        return None
    lines = []
    for item in range(cols * rows):
        x0, y0 = item % 8 * ITEM_W, item // 8 * ITEM_H
        if x0 + ITEM_W > width:
            break
        for r in range(5):
            y, text = y0 + 128 + r, bytearray()
            for x in range(ITEM_W - 1):
                c = rgba[((y * width) + x0 + x) * 4 + 1]
                if not c:
                    break
                text.append(c)
            lines.append(bytes(text))
    while lines and not lines[-1]:
        lines.pop()
    return bytes([1, (cols - 1) | (rows - 1) << 3]) + b"\n".join(lines)


def label_seed(width, height, rgba):
    if (width, height) != (CART_W, CART_H):
        return None
    label = b"".join(rgba[((LABEL_Y + y) * width + LABEL_X) * 4:((LABEL_Y + y) * width + LABEL_X + 128) * 4]
                     for y in range(128))
    return bytes([1, 0]) + label


def main():
    entry, out, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    draw = {"png_cart": png_cart_seed, "listing": listing_seed, "label": label_seed}[entry]
    os.makedirs(out, exist_ok=True)
    for path in files:
        name = os.path.basename(path)
        data = open(path, "rb").read()
        open(os.path.join(out, "file_" + name), "wb").write(b"\0" + data)
        picture = decode_png(data)
        seed = picture and draw(*picture)
        if seed:
            open(os.path.join(out, name), "wb").write(seed)


if __name__ == "__main__":
    main()
