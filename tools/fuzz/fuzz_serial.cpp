// libFuzzer target: the serial channels driven by untrusted input.
#include "tools/fuzz/serial_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return serial_hostile_input(data, size);
}
