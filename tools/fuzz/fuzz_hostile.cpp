// libFuzzer entry for one of the hostile-input readers; the build names it
// with HOSTILE_ENTRY (one executable per reader).
#include "tools/fuzz/hostile_inputs.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static hostile_entry_fn run = [] {
        hostile_entry_fn fn = hostile_find(HOSTILE_ENTRY);
        if (!fn) std::abort();
        return fn;
    }();
    return run(data, size);
}
