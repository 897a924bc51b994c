// libFuzzer target for running cart programs under a cycle budget and a memory cap; built
// with -DZIBO6_FUZZ=ON in a clang tree (see tests/vm/compiler_scripts.cmake). Run from a
// scratch folder: fuzz_run -max_total_time=300 NEW_DIR tests/vm/fuzz/run_corpus tests/vm/dialect
#include "tests/vm/fuzz/fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    z6fuzz::run_one(data, size);
    return 0;
}
