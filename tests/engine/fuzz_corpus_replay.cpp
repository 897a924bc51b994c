// Replays a committed fuzz corpus: every file under CORPUS/<entry>/ goes to
// the hostile-input entry of that name, as its fuzz target would run it (only
// the entries named after CORPUS, when some are). Folders no entry of this
// program reads are left to their own replays. Any broken invariant aborts;
// sanitizers do the rest.
#include "tools/fuzz/hostile_inputs.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER [ENTRY...]\n", argv[0]);
        return 2;
    }
    auto chosen = [&](const std::string &entry) {
        if (argc == 2) return true;
        for (int i = 2; i < argc; i++)
            if (entry == argv[i]) return true;
        return false;
    };
    std::signal(SIGABRT, name_the_input);
    std::error_code ec;
    size_t replayed = 0;
    for (const auto &folder : fs::directory_iterator(argv[1], ec)) {
        const std::string entry = folder.path().filename().string();
        hostile_entry_fn run = hostile_find(entry.c_str());
        if (!folder.is_directory() || !run || !chosen(entry)) continue;
        for (const auto &e : fs::recursive_directory_iterator(folder.path())) {
            if (!e.is_regular_file()) continue;
            std::ifstream in(e.path(), std::ios::binary);
            // Exactly the file's size, so a read past its end is caught.
            std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
            current = entry + ": " + e.path().string();
            run(data.empty() ? nullptr : data.data(), data.size());
            replayed++;
        }
    }
    if (ec || replayed == 0) {
        std::fprintf(stderr, "%s: no corpus files for its entries in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::fprintf(stderr, "%zu corpus files replayed\n", replayed);
    return 0;
}
