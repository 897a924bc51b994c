// Replays the serial channels' committed fuzz seeds, each as an exact-size copy.
#include "tools/fuzz/serial_inputs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    std::error_code ec;
    int n = 0;
    for (const auto &e : std::filesystem::directory_iterator(argv[1], ec)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        std::fprintf(stderr, "%s\n", e.path().c_str());
        serial_hostile_input(data.empty() ? nullptr : data.data(), data.size());
        n++;
    }
    if (ec || n == 0) {
        std::fprintf(stderr, "%s: no corpus files in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::printf("%d corpus files replayed\n", n);
    return 0;
}
