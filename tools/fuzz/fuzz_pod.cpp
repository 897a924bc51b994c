// libFuzzer entry for the POD reader: the input is read as a pod set from memory;
// every pod that loads must also be written and read back.
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/pod.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> copy(data, data + size);
    cpod *set[CPOD_SET_SIZE];
    vull_load_pod_set_from_memory(copy.data(), (int)size, set);
    for (cpod *pod : set) {
        if (!pod) continue;
        cbuffer *out = vull_create_buffer(0);
        if (vull_save_pod_file("fuzz", pod, out) != 0) std::abort();
        out->position = 0;
        cpod *back = vull_load_pod_file("fuzz", out);
        if (!back || back->count != pod->count) std::abort();
        vull_destroy_pod(back);
        vull_destroy_buffer(out);
    }
    cpod_set_clear(set);
    return 0;
}
