// libFuzzer target for program-text loading; built with -DZIBO6_FUZZ=ON in a
// clang tree (see tests/vm/compiler_scripts.cmake). Run: fuzz_load NEW_DIR tests/vm/fuzz/corpus
#include "tests/vm/fuzz/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    z6fuzz::load_one(data, size);
    return 0;
}
