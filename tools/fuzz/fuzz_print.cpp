// libFuzzer entry for the text printer: control codes, memory commands and
// sound texts from a cart's print().
#include "tests/console/print_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    print_fuzz_input(data, size);
    return 0;
}
