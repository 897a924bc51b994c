// Replays the saved fuzz corpus through the loader, then every cut and a
// fixed set of byte mutations of each hand-written seed: no crash, hang or leak (the
// sanitizer build checks the last two).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/vm/fuzz/fuzz_corpus.h"
#include "tests/vm/fuzz/fuzz_load.h"

namespace {

std::vector<std::string> corpus(bool seeds_only = false) {
    return z6fuzz::read_corpus("fuzz/corpus", seeds_only);
}

int load(const std::string &s) {
    return z6fuzz::load_one(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

TEST(LoadFuzz, SavedCorpusLoadsOrFailsCleanly) {
    std::vector<std::string> inputs = corpus();
    ASSERT_GE(inputs.size(), 10u);
    int ok = 0;
    for (const std::string &s : inputs) ok += (load(s) == LUA_OK);
    EXPECT_GT(ok, 0); /* the valid programs of the corpus compile */
}

TEST(LoadFuzz, CutsAndMutationsOfTheCorpus) {
    uint32_t rng = 0x2545f491;
    auto next = [&rng] {
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return rng;
    };
    const char interesting[] = "\0\n\r\\\"'[]=-<>~^@%$!#(){}.0x1bzq\x1b\x80\xff";
    for (const std::string &s : corpus(true)) {
        for (size_t n = 0; n < s.size(); n++) load(s.substr(0, n));
        for (int k = 0; k < 200 && !s.empty(); k++) {
            std::string m = s;
            int edits = 1 + static_cast<int>(next() % 4);
            for (int e = 0; e < edits; e++) {
                size_t at = next() % m.size();
                char c = interesting[next() % (sizeof(interesting) - 1)];
                switch (next() % 3) {
                case 0: m[at] = c; break;
                case 1: m.insert(m.begin() + static_cast<std::ptrdiff_t>(at), c); break;
                default: m.erase(at, 1 + next() % 3); break;
                }
                if (m.empty()) m = "x";
            }
            load(m);
        }
    }
}

} // namespace
