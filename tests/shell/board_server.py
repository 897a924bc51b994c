#!/usr/bin/env python3
"""A stand-in cart board for the board client's tests, on 127.0.0.1 only.

usage: board_server.py FOLDER PORT_FILE
Serves listing images made on the fly (the "new" list: 32 items, then 5 on the
next page; the "top" list: 5 items; the "jam" list: hostile ids), .nfo files and the carts found in
FOLDER/carts/<lid>.z6.png. Writes the port it listens on to PORT_FILE.
Hostile answers: the "sub=9" list is a 4096 x 4096 picture; the carts and
information files "endless" stream without end as fast as they can, "trickle"
a kilobyte at a time.
Also importable: listing_png(items) builds a listing image.
"""
import http.server
import os
import struct
import sys
import time
import urllib.parse
import zlib


def png_rgba(width, height, pixels):
    """pixels: bytearray of width*height*4 RGBA bytes."""
    raw = b"".join(b"\0" + bytes(pixels[y * width * 4:(y + 1) * width * 4]) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def listing_png(items):
    """items: list of (nlid, nmid, catsub, title, author, lid, mid)."""
    width, height = 8 * 128, 4 * 136
    px = bytearray(width * height * 4)
    for k, item in enumerate(items[:32]):
        x0, y0 = (k % 8) * 128, (k // 8) * 136
        for y in range(128):  # a label: colour by item number
            for x in range(0, 128, 8):
                o = ((y0 + y) * width + x0 + x) * 4
                px[o:o + 4] = bytes((k * 7 % 256, 40, 90, 255))
        nlid, nmid, catsub, title, author, lid, mid = item
        lines = ["%d %d %d" % (nlid, nmid, catsub), title, author, lid, mid]
        for row, text in enumerate(lines):
            data = text.encode("latin-1")[:128]
            for x, c in enumerate(data):
                o = ((y0 + 128 + row) * width + x0 + x) * 4
                px[o:o + 4] = bytes((0, c, 0, 255))
    return png_rgba(width, height, px)


def big_listing_png(width=4096, height=4096):
    """A listing far larger than any page; compressed row by row, it is small."""
    z = zlib.compressobj(9)
    row = b"\0" * (1 + width * 4)
    data = b"".join(z.compress(row) for _ in range(height)) + z.flush()

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def page(list_query, start):
    if "sub=8" in list_query:  # jam: ids that must never reach a path or command
        bad = ["../../x", "a/b", 'q"uote', "$(touch pwned)", "ok_lid"]
        return [(i + 1, 9, 0, "t%d" % i, "au", lid, "") for i, lid in enumerate(bad)]
    count = 32 if start == 0 and "orderby=rating" not in list_query else 5
    return [(1000 + start + i, 50 + i, 2, "Cart %d" % (start + i), "Author.%d" % i,
             "cart_%d" % (start + i), "") for i in range(count)]


class Board(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send(self, body, kind="application/octet-stream"):
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def stream(self, lid):
        """Sends until the client goes away: fast ("endless") or slowly ("trickle")."""
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        block = b"x" * (65536 if lid == "endless" else 1024)
        try:
            while True:
                self.wfile.write(block)
                if lid == "trickle":
                    time.sleep(0.05)
        except OSError:
            pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        q = urllib.parse.parse_qs(url.query)
        folder = self.server.folder
        if q.get("lid", [""])[0] in ("endless", "trickle"):
            return self.stream(q["lid"][0])
        # the client names its version and platform letter ("l" x86-64, "r" 32-bit ARM)
        if url.path == "/bbs/cpost_lister3.php" and q.get("version", [""])[0] not in (
                "000203l", "000203r"):
            return self.send_error(400)
        if url.path == "/bbs/cpost_lister3.php" and "nfo" in q:
            lid = q.get("lid", [""])[0]
            if lid == "slow":  # answers long after the client's time-out
                time.sleep(30)
                body = "lid slow\n"
            elif lid == "hostile":
                body = "lid ../../x\nmid $(id)\ntitle %s\nauthor a\n" % ("x" * 10000)
            elif lid == "missing":
                body = "title no such cart\n"
            else:
                body = "lid %s\nmid 77\ncatsub 2\ntitle Served Cart\nauthor someone\n" % lid
            return self.send(body.encode())
        if url.path == "/bbs/cpost_lister3.php" and "sub=9" in url.query:
            if not hasattr(self.server, "big_listing"):
                self.server.big_listing = big_listing_png()
            return self.send(self.server.big_listing, "image/png")
        if url.path == "/bbs/cpost_lister3.php":
            start = int(q.get("start_index", ["0"])[0])
            return self.send(listing_png(page(url.query, start)), "image/png")
        if url.path == "/bbs/get_cart.php":
            lid = q.get("lid", [""])[0]
            if lid == "wrong_size":  # a picture, but not of a cart
                return self.send(listing_png(page("", 0)[:1]), "image/png")
            path = os.path.join(folder, "carts", os.path.basename(lid) + ".z6.png")
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    return self.send(f.read(), "image/png")
        self.send_error(404)


def main():
    folder, port_file = sys.argv[1], sys.argv[2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Board)
    server.folder = folder
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
