// Replays the committed fuzz corpus: every file under the corpus folder goes
// to every hostile-input entry, so an input found for one reader also
// exercises the others. Any broken invariant aborts; sanitizers do the rest.
#include "tools/fuzz/hostile_inputs.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

static std::string current; // "entry: file" being replayed, named when it aborts

static void name_the_input(int) {
    const char *text = current.c_str();
    (void)!write(2, "while replaying ", 16);
    (void)!write(2, text, strlen(text));
    (void)!write(2, "\n", 1);
    std::signal(SIGABRT, SIG_DFL);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto &e : fs::recursive_directory_iterator(argv[1], ec))
        if (e.is_regular_file()) files.push_back(e.path());
    if (ec || files.empty()) {
        std::fprintf(stderr, "%s: no corpus files in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::signal(SIGABRT, name_the_input);
    for (const fs::path &p : files) {
        std::ifstream in(p, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        for (const hostile_entry *e = hostile_entries; e->name; e++) {
            // A copy of exactly the file's size, so a read past its end is caught.
            std::vector<uint8_t> copy(data);
            current = std::string(e->name) + ": " + p.string();
            e->run(copy.empty() ? nullptr : copy.data(), copy.size());
        }
    }
    std::printf("%zu corpus files replayed\n", files.size());
    return 0;
}
