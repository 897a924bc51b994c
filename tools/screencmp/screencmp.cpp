// screencmp: reads the screen dump a headless cart printed (lines "scr " and
// 128 hex digits, one per screen row, two pixels a byte with the left pixel
// in the low nibble), turns it into colours through the display palette and
// compares the picture with a stored PNG. On a difference, or when the PNG is
// missing, the actual picture is written beside it as NAME.actual.png.
//
//   screencmp DUMP.txt EXPECTED.png PALETTE.txt
//
// Exit status: 0 same, 1 different or missing, 2 bad input.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <lodepng.h>

namespace {

constexpr int SIZE = 128;

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The palette file: "index rr gg bb" lines; "//" lines are comments.
bool read_palette(const char *path, unsigned char rgb[256][3]) {
    std::ifstream in(path);
    if (!in) return false;
    std::memset(rgb, 0, 256 * 3);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("//", 0) == 0 || line.empty()) continue;
        std::istringstream f(line);
        int index;
        std::string r, g, b;
        if (!(f >> index >> r >> g >> b) || index < 0 || index > 255) return false;
        rgb[index][0] = (unsigned char)std::strtol(r.c_str(), nullptr, 16);
        rgb[index][1] = (unsigned char)std::strtol(g.c_str(), nullptr, 16);
        rgb[index][2] = (unsigned char)std::strtol(b.c_str(), nullptr, 16);
    }
    return true;
}

// Screen pixels from the last complete dump in the text.
bool read_dump(const char *path, std::vector<int> &px) {
    std::ifstream in(path);
    if (!in) return false;
    std::vector<std::string> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("scr ", 0) != 0) continue;
        if (rows.size() == SIZE) rows.clear(); // a later dump replaces an earlier one
        rows.push_back(line.substr(4));
    }
    if (rows.size() != SIZE) return false;
    px.assign(SIZE * SIZE, 0);
    for (int y = 0; y < SIZE; y++) {
        const std::string &r = rows[y];
        if (r.size() < SIZE) return false;
        for (int b = 0; b < SIZE / 2; b++) {
            int hi = hex(r[2 * b]), lo = hex(r[2 * b + 1]);
            if (hi < 0 || lo < 0) return false;
            px[y * SIZE + 2 * b] = lo;
            px[y * SIZE + 2 * b + 1] = hi;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: screencmp DUMP.txt EXPECTED.png PALETTE.txt\n");
        return 2;
    }
    unsigned char rgb[256][3];
    if (!read_palette(argv[3], rgb)) {
        std::fprintf(stderr, "screencmp: cannot read palette %s\n", argv[3]);
        return 2;
    }
    std::vector<int> px;
    if (!read_dump(argv[1], px)) {
        std::fprintf(stderr, "screencmp: no complete screen dump in %s\n", argv[1]);
        return 2;
    }
    std::vector<unsigned char> actual(SIZE * SIZE * 4);
    for (int i = 0; i < SIZE * SIZE; i++) {
        std::memcpy(&actual[i * 4], rgb[px[i]], 3);
        actual[i * 4 + 3] = 255;
    }
    std::vector<unsigned char> expected;
    unsigned w = 0, h = 0;
    bool same = lodepng::decode(expected, w, h, argv[2]) == 0 && w == SIZE && h == SIZE &&
                expected == actual;
    if (same) return 0;
    std::string out = argv[2];
    if (out.size() > 4 && out.compare(out.size() - 4, 4, ".png") == 0) out.resize(out.size() - 4);
    out += ".actual.png";
    lodepng::encode(out, actual, SIZE, SIZE);
    if (w == SIZE && h == SIZE && expected.size() == actual.size()) {
        int diff = 0, first = -1;
        for (int i = 0; i < SIZE * SIZE; i++)
            if (std::memcmp(&expected[i * 4], &actual[i * 4], 4)) {
                if (first < 0) first = i;
                diff++;
            }
        std::fprintf(stderr, "screencmp: %d pixels differ, the first at %d,%d; actual in %s\n",
                     diff, first % SIZE, first / SIZE, out.c_str());
    } else {
        std::fprintf(stderr, "screencmp: %s missing or unreadable; actual in %s\n", argv[2],
                     out.c_str());
    }
    return 1;
}
