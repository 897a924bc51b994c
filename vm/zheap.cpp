// Weighed blocks over the engine's guarded allocator. The VM writes every byte of
// a block before reading it, so in optimised builds new blocks are not zeroed and
// freed ones not poisoned; header, magic check and release stamp stay.
#include "vm/zheap.h"

#include <cstring>

#include "engine/mem.h"

uint32_t zheap_block_weight(size_t tag, size_t nsize, bool compiling) {
    switch (tag) {
    case 0: return compiling ? 0 : uint32_t(nsize / 2);
    case 4: return nsize > 8 ? uint32_t(nsize - 8) : 0;
    case 1:
    case 3:
    case 5:
    case 6: return uint32_t(nsize / 2);
    default: return (tag >= 7 && tag <= 19) ? 32 : 0; // tag 2, long strings, C closures: 0
    }
}

static uint32_t header_weight(const uint8_t *base) {
    uint32_t w;
    std::memcpy(&w, base, sizeof w);
    return w;
}

void *zheap_resize(void *block, size_t osize, size_t nsize, bool compiling,
                   int32_t *weight_change) {
    if (nsize > size_t(VULL_ALLOC_CAP)) return nullptr;
    uint8_t *base = block ? static_cast<uint8_t *>(block) - Z6_BLOCK_HEADER : nullptr;
    int n = int(nsize + Z6_BLOCK_HEADER);
    uint8_t *fresh =
        static_cast<uint8_t *>(base ? vull_realloc_lean(base, n) : vull_malloc_lean(n));
    if (!fresh) return nullptr;
    uint32_t old_weight = base ? header_weight(fresh) : 0;
    uint32_t weight;
    if (!base)
        weight = zheap_block_weight(osize, nsize, compiling);
    else if (old_weight == 0)
        weight = 0;
    else if (old_weight == osize / 2)
        weight = uint32_t(nsize / 2);
    else
        weight = uint32_t(nsize);
    std::memcpy(fresh, &weight, sizeof weight);
    *weight_change = int32_t(weight) - int32_t(old_weight);
    return fresh + Z6_BLOCK_HEADER;
}

uint32_t zheap_free(void *block) {
    uint8_t *base = static_cast<uint8_t *>(block) - Z6_BLOCK_HEADER;
    uint32_t weight = header_weight(base);
    vull_free_lean(base);
    return weight;
}
