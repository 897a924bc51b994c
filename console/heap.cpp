// The allocator hook and the cart's memory accounting. The weights are the
// cart-visible count (stat(0), the out-of-memory point); the real-byte count
// is the host's guard, since long strings and C closures weigh nothing.
#include "console/heap.h"

#include <cstdio>
#include <cstring>

#include "cart/state.h"
#include "console/term.h"
#include "engine/ctext.h"
#include "engine/mem.h"
#include "vm/llimits.h"
#include "vm/lua.h"

uint32_t zibo6_block_weight(size_t tag, size_t nsize) {
    switch (tag) {
    case 0: return pstate.compiling_program ? 0 : uint32_t(nsize / 2);
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

// Refuses a request with the two terminal lines; the VM raises its memory error.
static void *refuse(size_t nsize) {
    zibo_print("host allocation error");
    zibo_print_2("%dmb + %dk\n", pstate.script_memory_used / 0x100000, int(nsize >> 10));
    pstate.host_allocation_failed = 1;
    return nullptr;
}

void *zibo6_lua_alloc(void *, void *ptr, size_t osize, size_t nsize) {
    uint8_t *base = ptr ? static_cast<uint8_t *>(ptr) - Z6_BLOCK_HEADER : nullptr;
    // For an existing block the VM passes its true size; for a new one, a type tag.
    int64_t old_real = ptr ? int64_t(osize + Z6_BLOCK_HEADER) : 0;
    if (nsize == 0) {
        if (base) {
            pstate.script_memory_used -= int32_t(header_weight(base));
            pstate.host_memory_used -= old_real;
            vull_free(base);
        }
        return nullptr;
    }
    int64_t total = int64_t(pstate.script_memory_used) + pstate.memory_overhead;
    if (total > Z6_SOFT_MEMORY_LIMIT) {
        pstate.memory_yield_requested = 1;
        lua_cpu_superyield();
        if (total > Z6_HARD_MEMORY_LIMIT) return refuse(nsize);
    }
    // The host guard counts the request itself, so one huge request is refused too.
    if (nsize > size_t(Z6_HOST_MEMORY_LIMIT) ||
        pstate.host_memory_used - old_real + int64_t(nsize + Z6_BLOCK_HEADER) >
            Z6_HOST_MEMORY_LIMIT)
        return refuse(nsize);
    uint32_t old_weight = base ? header_weight(base) : 0;
    uint8_t *block = static_cast<uint8_t *>(vull_realloc(base, int(nsize + Z6_BLOCK_HEADER)));
    if (!block) return nullptr; // the old block (if any) stays as it was
    uint32_t weight;
    if (!base)
        weight = zibo6_block_weight(osize, nsize);
    else if (old_weight == 0)
        weight = 0;
    else if (old_weight == osize / 2)
        weight = uint32_t(nsize / 2);
    else
        weight = uint32_t(nsize);
    std::memcpy(block, &weight, sizeof weight);
    pstate.script_memory_used += int32_t(weight) - int32_t(old_weight);
    pstate.host_memory_used += int64_t(nsize + Z6_BLOCK_HEADER) - old_real;
    return block + Z6_BLOCK_HEADER;
}

void update_punycode_encoding() {
    for (ctext *tab : pstate.code_tab)
        if (tab) tab->punycode = app.punycode;
}
