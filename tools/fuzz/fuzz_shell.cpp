// libFuzzer entry for one of the player shell's readers, named by SHELL_ENTRY.
#include <cstring>

#include "tools/fuzz/shell_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!strcmp(SHELL_ENTRY, "config")) return shell_fuzz_config(data, size);
    return shell_fuzz_data_file(data, size);
}
