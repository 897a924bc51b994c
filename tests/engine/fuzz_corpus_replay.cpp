// Replays a committed fuzz corpus: every file under CORPUS/<entry>/ goes to
// the hostile-input entry of that name, as its fuzz target would run it (only
// the entries named after CORPUS, when some are). Folders no entry of this
// program reads are left to their own replays. Any broken invariant aborts;
// sanitizers do the rest. With ZIBO6_SHARD=k/n set, only every n-th file from
// the k-th (in entry and path order) is replayed, so that n runs share a corpus.
#include "tools/fuzz/hostile_inputs.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

// Whole runs allocate and free a lot: cycling through ASan's default 256 MB of
// freed memory costs more page faults than the runs themselves take.
extern "C" const char *__asan_default_options() { return "quarantine_size_mb=16"; }

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
    size_t shard = 0, shards = 1;
    if (const char *spec = std::getenv("ZIBO6_SHARD")) {
        unsigned long k = 0, n = 0;
        char end = 0;
        if (std::sscanf(spec, "%lu/%lu%c", &k, &n, &end) != 2 || n == 0 || k >= n) {
            std::fprintf(stderr, "%s: ZIBO6_SHARD must be k/n with k < n, not %s\n", argv[0],
                         spec);
            return 2;
        }
        shard = k, shards = n;
    }
    hostile_attach();
    std::signal(SIGABRT, name_the_input);
    std::error_code ec;
    std::vector<std::pair<std::string, fs::path>> files; // entry, file
    for (const auto &folder : fs::directory_iterator(argv[1], ec)) {
        const std::string entry = folder.path().filename().string();
        if (!folder.is_directory() || !hostile_find(entry.c_str()) || !chosen(entry)) continue;
        for (const auto &e : fs::recursive_directory_iterator(folder.path()))
            if (e.is_regular_file()) files.emplace_back(entry, e.path());
    }
    if (ec || files.empty()) {
        std::fprintf(stderr, "%s: no corpus files for its entries in %s\n", argv[0], argv[1]);
        return 1;
    }
    std::sort(files.begin(), files.end());
    hostile_every_check = true; // the committed inputs get every check a campaign samples
    size_t replayed = 0;
    for (size_t i = shard; i < files.size(); i += shards) {
        const auto &[entry, path] = files[i];
        std::ifstream in(path, std::ios::binary);
        // Exactly the file's size, so a read past its end is caught.
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        current = entry + ": " + path.string();
        hostile_find(entry.c_str())(data.empty() ? nullptr : data.data(), data.size());
        replayed++;
    }
    std::fprintf(stderr, "%zu of %zu corpus files replayed\n", replayed, files.size());
    return 0;
}
