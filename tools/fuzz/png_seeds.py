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
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "cart"))
import png_pixels  # noqa: E402 (the plain PNG decoder the cart tests use)

CART_W, CART_H = 160, 205
IMAGE, CODE_OFFSET, CODE_BLOCK = 32768, 0x4300, 15616
ITEM_W, ITEM_H = 128, 136
LABEL_X, LABEL_Y = 16, 24


def decode_png(path):
    """(width, height, RGBA bytes) of a PNG the plain decoder reads, or None."""
    try:
        width, height, rows = png_pixels.decode(path)
    except Exception:  # not a PNG, or one the plain decoder does not read
        return None
    return width, height, b"".join(bytes(row) for row in rows)


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
    rows = max(1, -(-len(lines) // (5 * cols)))  # only the rows that hold text
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
        picture = decode_png(path)
        seed = picture and draw(*picture)
        if seed:
            open(os.path.join(out, name), "wb").write(seed)


if __name__ == "__main__":
    main()
