// Replays the saved corpus of the cart-program fuzz target: each input compiled and run
// in slices under the cycle budget and memory cap, then cuts of the smaller seeds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vm/fuzz/fuzz_corpus.h"
#include "tests/vm/fuzz/fuzz_run.h"

namespace {

// The fuzz target's corpus and the dialect test programs it was seeded with.
std::vector<std::string> corpus(bool seeds_only = false) {
    std::vector<std::string> inputs = z6fuzz::read_corpus("fuzz/run_corpus", seeds_only);
    for (std::string &s : z6fuzz::read_corpus("dialect", seeds_only, ".lua"))
        inputs.push_back(std::move(s));
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

TEST(RunFuzz, CutsOfTheSeeds) {
    for (const std::string &s : corpus(true)) {
        if (s.size() > 600) continue;
        for (size_t n = 0; n < s.size(); n += 3) run(s.substr(0, n));
    }
}
