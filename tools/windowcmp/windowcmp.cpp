// windowcmp: reads a window dump in X window dump format (as xwd writes it),
// finds the console picture in it, checks that the picture is the console
// screen at a whole scale, and compares it, pixel block by pixel block, with a
// stored 128x128 PNG. On a difference, or when the PNG is missing, the picture
// seen is written beside it as NAME.actual.png (scaled down to 128x128).
//
// The picture is the bounding box of every pixel that is not black. A screen
// with black edges (the boot screen's text on black) has a smaller box; then
// the picture is where the player puts it, centred at the largest whole scale
// that fits the window, provided every lit pixel lies inside that square.
//
//   windowcmp WINDOW.xwd EXPECTED.png
//
// Exit status: 0 same, 1 different, missing or not at a whole scale, 2 bad input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <lodepng.h>

namespace {

constexpr int SIZE = 128;

struct image {
    int w = 0, h = 0;
    std::vector<uint32_t> rgb; // 0xRRGGBB
};

uint32_t be32(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int shift_of(uint32_t mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        s++;
    }
    return s;
}

// The dump's header is 25 big-endian words; only 24- and 32-bit true-colour
// ZPixmaps are read, which is what an X server at depth 24 writes.
bool read_xwd(const char *path, image *out) {
    FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    if (data.size() < 100) return false;
    const uint8_t *h = data.data();
    uint32_t header = be32(h), format = be32(h + 8), width = be32(h + 16), height = be32(h + 20);
    uint32_t byte_order = be32(h + 28), bpp = be32(h + 44), line = be32(h + 48);
    uint32_t rmask = be32(h + 56), gmask = be32(h + 60), bmask = be32(h + 64);
    uint32_t ncolours = be32(h + 76);
    if (format != 2 || (bpp != 32 && bpp != 24) || width == 0 || height == 0 || width > 16384 ||
        height > 16384 || ncolours > 65536)
        return false;
    uint64_t start = uint64_t(header) + uint64_t(ncolours) * 12;
    if (uint64_t(line) * height + start > data.size() || line < width * (bpp / 8)) return false;
    out->w = int(width);
    out->h = int(height);
    out->rgb.assign(size_t(width) * height, 0);
    int rs = shift_of(rmask), gs = shift_of(gmask), bs = shift_of(bmask);
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t *row = h + start + uint64_t(line) * y;
        for (uint32_t x = 0; x < width; x++) {
            const uint8_t *p = row + x * (bpp / 8);
            uint32_t v = 0;
            for (uint32_t k = 0; k < bpp / 8; k++)
                v |= uint32_t(p[k]) << (byte_order == 0 ? 8 * k : 8 * (bpp / 8 - 1 - k));
            uint32_t r = (v & rmask) >> rs, g = (v & gmask) >> gs, b = (v & bmask) >> bs;
            out->rgb[y * width + x] = (r & 255) << 16 | (g & 255) << 8 | (b & 255);
        }
    }
    return true;
}

void write_png(const std::string &path, const std::vector<uint32_t> &rgb) {
    std::vector<unsigned char> px;
    for (uint32_t c : rgb) {
        px.push_back(uint8_t(c >> 16));
        px.push_back(uint8_t(c >> 8));
        px.push_back(uint8_t(c));
        px.push_back(255);
    }
    lodepng::encode(path, px, SIZE, SIZE);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: windowcmp WINDOW.xwd EXPECTED.png\n");
        return 2;
    }
    image shot;
    if (!read_xwd(argv[1], &shot)) {
        std::fprintf(stderr, "windowcmp: %s is no window dump this tool reads\n", argv[1]);
        return 2;
    }
    int x0 = shot.w, y0 = shot.h, x1 = -1, y1 = -1;
    for (int y = 0; y < shot.h; y++)
        for (int x = 0; x < shot.w; x++)
            if (shot.rgb[size_t(y) * shot.w + x]) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
    int w = x1 - x0 + 1, h = y1 - y0 + 1;
    if (x1 >= 0 && (w != h || w % SIZE != 0)) {
        int k = std::min(shot.w, shot.h) / SIZE;
        int cx = (shot.w - k * SIZE) / 2, cy = (shot.h - k * SIZE) / 2;
        if (k > 0 && x0 >= cx && y0 >= cy && x1 < cx + k * SIZE && y1 < cy + k * SIZE) {
            x0 = cx;
            y0 = cy;
            w = h = k * SIZE;
        }
    }
    if (x1 < 0 || w != h || w % SIZE != 0) {
        std::fprintf(stderr, "windowcmp: the picture is %dx%d, not the screen at a whole scale\n",
                     x1 < 0 ? 0 : w, x1 < 0 ? 0 : h);
        return 1;
    }
    int scale = w / SIZE;
    std::vector<uint32_t> seen(SIZE * SIZE);
    bool blocks_even = true;
    for (int y = 0; y < SIZE; y++)
        for (int x = 0; x < SIZE; x++) {
            uint32_t c = shot.rgb[size_t(y0 + y * scale) * shot.w + x0 + x * scale];
            seen[y * SIZE + x] = c;
            for (int dy = 0; dy < scale; dy++)
                for (int dx = 0; dx < scale; dx++)
                    blocks_even &=
                        shot.rgb[size_t(y0 + y * scale + dy) * shot.w + x0 + x * scale + dx] == c;
        }
    std::vector<unsigned char> want;
    unsigned ww = 0, wh = 0;
    bool same =
        blocks_even && lodepng::decode(want, ww, wh, argv[2]) == 0 && ww == SIZE && wh == SIZE;
    for (int i = 0; same && i < SIZE * SIZE; i++) {
        uint32_t c = uint32_t(want[4 * i]) << 16 | uint32_t(want[4 * i + 1]) << 8 | want[4 * i + 2];
        same = c == seen[size_t(i)];
    }
    if (same) {
        std::printf("windowcmp: same at scale %d\n", scale);
        return 0;
    }
    std::string actual = argv[2];
    if (actual.size() > 4 && actual.compare(actual.size() - 4, 4, ".png") == 0)
        actual.resize(actual.size() - 4);
    actual += ".actual.png";
    write_png(actual, seen);
    std::fprintf(stderr, "windowcmp: %s differs (scale %d%s); the window shows %s\n", argv[2],
                 scale, blocks_even ? "" : ", uneven pixel blocks", actual.c_str());
    return 1;
}
