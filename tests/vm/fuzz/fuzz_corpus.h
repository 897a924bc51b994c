// Reads a committed fuzz corpus for the replay tests: every input of a folder under
// tests/vm (with the given ending, when one is given), or only the hand-written seeds
// (the fuzzer names what it adds by its hash, 40 hex digits), whose cuts and mutations
// the tests replay as well.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace z6fuzz {

inline bool found_by_fuzzer(const std::filesystem::path &p) {
    std::string name = p.filename().string();
    return name.size() == 40 && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

inline std::vector<std::string> read_corpus(const char *folder, bool seeds_only = false,
                                            const char *ending = nullptr) {
    const char *src = std::getenv("ZIBO6_SOURCE_DIR");
    std::filesystem::path dir = std::filesystem::path(src ? src : ".") / "tests/vm" / folder;
    std::vector<std::string> inputs;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        if (seeds_only && found_by_fuzzer(entry.path())) continue;
        if (ending && entry.path().extension() != ending) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

} // namespace z6fuzz
