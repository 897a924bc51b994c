// The allocator hook and the cart's memory accounting. The weights are the
// cart-visible count (stat(0), the out-of-memory point); the real-byte count
// is the host's guard, since long strings and C closures weigh nothing.
#include "console/heap.h"

#include "cart/state.h"
#include "console/term.h"
#include "engine/ctext.h"
#include "vm/llimits.h"
#include "vm/lua.h"
#include "vm/zheap.h"

// Refuses a request with the two terminal lines; the VM raises its memory error.
static void *refuse(size_t nsize) {
    zibo_print("host allocation error");
    zibo_print_2("%dmb + %dk\n", pstate.script_memory_used / 0x100000, int(nsize >> 10));
    pstate.host_allocation_failed = 1;
    return nullptr;
}

void *zibo6_lua_alloc(void *, void *ptr, size_t osize, size_t nsize) {
    // For an existing block the VM passes its true size; for a new one, a type tag.
    int64_t old_real = ptr ? int64_t(osize + Z6_BLOCK_HEADER) : 0;
    if (nsize == 0) {
        if (ptr) {
            pstate.script_memory_used -= int32_t(zheap_free(ptr));
            pstate.host_memory_used -= old_real;
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
    int32_t weight_change;
    void *block = zheap_resize(ptr, osize, nsize, pstate.compiling_program, &weight_change);
    if (!block) return nullptr; // the old block (if any) stays as it was
    pstate.script_memory_used += weight_change;
    pstate.host_memory_used += int64_t(nsize + Z6_BLOCK_HEADER) - old_real;
    return block;
}

void update_punycode_encoding() {
    // Code tabs take the setting when they are made, so only a change needs
    // copying: walking the sixteen tabs every frame costs a cache miss each.
    static int32_t copied; // what the tabs hold; a new (zeroed) tab holds 0
    if (app.punycode == copied) return;
    for (ctext *tab : pstate.code_tab)
        if (tab) tab->punycode = app.punycode;
    copied = app.punycode;
}
