#!/usr/bin/env python3
"""Decodes a recorded clip with a plain GIF reader and checks it against the frames
the gif_frames cart draws, saved at SCALE. Usage: gif_decode.py FILE.gif SCALE ..."""
import sys


def lzw(data, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, bits, nbits, size = bytearray(), 0, 0, min_size + 1
    table, prev = None, None
    pos = 0
    while True:
        while nbits < size:
            if pos >= len(data):
                return out
            bits |= data[pos] << nbits
            nbits += 8
            pos += 1
        code = bits & ((1 << size) - 1)
        bits >>= size
        nbits -= size
        if code == clear:
            table = [bytes([i]) for i in range(clear)] + [b"", b""]
            size, prev = min_size + 1, None
            continue
        if code == end:
            return out
        if prev is None:
            entry = table[code]
        elif code < len(table):
            entry = table[code]
            table.append(prev + entry[:1])
        else:
            entry = prev + prev[:1]
            table.append(entry)
        out += entry
        prev = entry
        if len(table) == (1 << size) and size < 12:
            size += 1


def blocks(d, p):
    out = bytearray()
    while d[p]:
        out += d[p + 1:p + 1 + d[p]]
        p += 1 + d[p]
    return out, p + 1


def expected(k, scale):
    want = bytearray([k % 3]) * (128 * 128)
    for y in range(k, min(k + 21, 128)):
        for x in range(k, min(k + 11, 128)):
            want[y * 128 + x] = 1 + k % 15
    want[127 * 128 + 127] = 7
    out = bytearray()
    for y in range(128):
        row = bytes(b for b in want[y * 128:(y + 1) * 128] for _ in range(scale))
        out += row * scale
    return bytes(out)


def check(path, scale):
    d = open(path, "rb").read()
    assert d[:6] == b"GIF89a", "signature"
    w, h = d[6] | d[7] << 8, d[8] | d[9] << 8
    assert (w, h) == (128 * scale, 128 * scale), "size for scale %d: %dx%d" % (scale, w, h)
    flags = d[10]
    p = 13 + (3 * (2 << (flags & 7)) if flags & 0x80 else 0)
    frames, canvas, looped, controls = [], bytes(w * h), False, 0
    while d[p] != 0x3B:
        if d[p] == 0x21:
            label = d[p + 1]
            data, p = blocks(d, p + 2)
            if label == 0xFF:
                looped = data.startswith(b"NETSCAPE2.0\x01\x00\x00")
            if label == 0xF9:
                assert list(data) == [1, 3, 0, 17], "control block %r" % list(data)
                controls += 1
        elif d[p] == 0x2C:
            iw, ih, iflags = d[p + 5] | d[p + 6] << 8, d[p + 7] | d[p + 8] << 8, d[p + 9]
            p += 10
            if iflags & 0x80:
                p += 3 * (2 << (iflags & 7))
            min_size = d[p]
            raster, p = blocks(d, p + 1)
            pixels = lzw(raster, min_size)
            assert (iw, ih) == (w, h) and len(pixels) == w * h, "frame %d size" % len(frames)
            canvas = bytes(c if q == 17 else q for c, q in zip(canvas, pixels))
            frames.append(canvas)
        else:
            raise AssertionError("unknown block 0x%02x" % d[p])
    assert looped, "loop block"
    assert controls == len(frames), "one control block per frame"
    assert len(frames) == 40, "%d frames" % len(frames)
    for k, got in enumerate(frames):
        assert got == expected(k, scale), "frame %d differs" % k
    print("%s: 40 frames ok at scale %d" % (path, scale))


if __name__ == "__main__":
    for i in range(1, len(sys.argv), 2):
        check(sys.argv[i], int(sys.argv[i + 1]))
