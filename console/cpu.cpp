// Cycle charges of API calls: the system counter (stat(2)) and the VM's slice.
#include "console/cpu.h"

#include <cstdint>

#include "cart/state.h"
#include "vm/lua.h"

// Huge costs (a length near 2^31) saturate instead of wrapping into a refund.
static void charge(int64_t cycles) {
    int32_t c = cycles > INT32_MAX ? INT32_MAX : int32_t(cycles);
    pstate.system_cycles = int32_t(uint32_t(pstate.system_cycles) + uint32_t(c));
    lua_add_cpu_cycles(c);
}

void spend_cpu(int n) {
    if (n < 0) return;
    charge(2 * int64_t(n > 1 ? n : 1));
}

void spend_cpu_8MHz(int n) {
    if (n < 0) return;
    charge(n > 1 ? n : 1);
}
