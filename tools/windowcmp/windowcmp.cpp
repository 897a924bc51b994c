// windowcmp: reads a window dump (a PNG of the whole window, as the player's
// input script writes it), finds the console picture in it, checks that the
// picture is the console screen at a whole scale, and compares it, pixel block
// by pixel block, with a stored 128x128 PNG. On a difference, or when the PNG is missing, the picture
// seen is written beside it as NAME.actual.png (scaled down to 128x128).
//
// The picture is the bounding box of every pixel that is not black. A screen
// with black edges (the boot screen's text on black) has a smaller box; then
// the picture is where the player puts it, centred at the largest whole scale
// that fits the window, provided every lit pixel lies inside that square.
//
//   windowcmp WINDOW.png EXPECTED.png
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

// The window's picture as the player dumps it: a PNG of the whole window.
bool read_window(const char *path, image *out) {
    std::vector<unsigned char> px;
    unsigned w = 0, h = 0;
    if (lodepng::decode(px, w, h, path) != 0 || w == 0 || h == 0 || w > 16384 || h > 16384)
        return false;
    out->w = int(w);
    out->h = int(h);
    out->rgb.resize(size_t(w) * h);
    for (size_t i = 0; i < out->rgb.size(); i++)
        out->rgb[i] = uint32_t(px[4 * i]) << 16 | uint32_t(px[4 * i + 1]) << 8 | px[4 * i + 2];
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
        std::fprintf(stderr, "usage: windowcmp WINDOW.png EXPECTED.png\n");
        return 2;
    }
    image shot;
    if (!read_window(argv[1], &shot)) {
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
