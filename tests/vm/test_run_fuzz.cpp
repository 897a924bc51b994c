// Replays the saved corpus of the cart-program fuzz target: each input compiled and run
// in slices under the cycle budget and memory cap, then every cut of the smaller inputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/vm/fuzz/fuzz_run.h"

namespace {

std::vector<std::string> corpus() {
    const char *src = std::getenv("ZIBO6_SOURCE_DIR");
    std::filesystem::path dir = std::filesystem::path(src ? src : ".") / "tests/vm/fuzz/run_corpus";
    std::vector<std::string> inputs;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

int run(const std::string &s) {
    return z6fuzz::run_one(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

} // namespace

TEST(RunFuzz, SavedCorpusRunsOrFailsCleanly) {
    std::vector<std::string> inputs = corpus();
    ASSERT_GE(inputs.size(), 10u);
    int finished = 0, cut_off = 0;
    for (const std::string &s : inputs) {
        int status = run(s);
        finished += status == LUA_OK;
        cut_off += status == LUA_YIELD;
    }
    EXPECT_GT(finished, 0); // the corpus holds programs that end within their slices
    EXPECT_GT(cut_off, 0);  // and some that do not
}

TEST(RunFuzz, CutsOfTheSmallerInputs) {
    for (const std::string &s : corpus()) {
        if (s.size() > 600) continue;
        for (size_t n = 0; n < s.size(); n += 3) run(s.substr(0, n));
    }
}
