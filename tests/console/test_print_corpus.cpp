// Replays the printer's fuzz seeds, whole and at every truncation, under the
// sanitizers: hostile texts must neither crash nor write out of bounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/console/print_fuzz_input.h"

TEST(PrintCorpus, SeedsAndTheirTruncations) {
    const char *src = std::getenv("ZIBO6_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::filesystem::path dir = std::filesystem::path(src) / "tests/console/fuzz_corpus/print";
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        for (size_t n = 0; n <= data.size(); n++) print_fuzz_input(data.data(), n);
        files++;
    }
    EXPECT_GE(files, 5);
}
