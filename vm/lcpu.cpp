/*
** Script VM: CPU cycle accounting.
** The interpreter charges every instruction to cpu_cycles_slice and takes
** the forced-yield path once (cpu_superyield | cpu_cycles_slice) exceeds
** the slice budget; the console runtime drives the counters through the
** functions below.
*/
#include "vm/lcpu.h"

#include "vm/llimits.h"

uint32_t cpu_cycles_slice = 0;
uint32_t cpu_cycles_frame = 0;
uint32_t cpu_cycles_slice_max = 0x22222;
uint32_t cpu_superyield = 0;
int cpu_superyielded_coresume = 0;
static int32_t cpu_deferral_limit = Z6_CPU_DEFERRAL_LIMIT;

void lua_cpu_prepare_for_resume(void) { cpu_superyield = 0; }

void lua_cpu_prepare_for_slice(void) {
    cpu_cycles_frame += cpu_cycles_slice;
    cpu_cycles_slice = 0;
}

int lua_get_cpu_superyielded_coresume(void) { return cpu_superyielded_coresume; }

void lua_set_cpu_superyielded_coresume(int v) { cpu_superyielded_coresume = v; }

int lua_get_cpu_cycles(void) { return static_cast<int32_t>(cpu_cycles_slice + cpu_cycles_frame); }

void lua_add_cpu_cycles(int n) { cpu_cycles_slice += static_cast<uint32_t>(n); }

void lua_set_cpu_cycles_slice_max(int n) { cpu_cycles_slice_max = static_cast<uint32_t>(n); }

void lua_reset_cpu_cycles(void) {
    cpu_cycles_frame = 0;
    cpu_cycles_slice = 0;
}

void lua_set_cpu_deferral_limit(int n) { cpu_deferral_limit = n; }

void lua_cpu_superyield(void) {
    cpu_superyield = Z6_SUPERYIELD_REQUEST;
    cpu_superyielded_coresume = 1;
}

bool cpu_deferred_yield_overdue(void) {
    int64_t budget = static_cast<int32_t>(cpu_cycles_slice_max);
    return static_cast<int32_t>(cpu_cycles_slice) - budget > cpu_deferral_limit;
}

long distance(const void *a, const void *b) {
    return static_cast<long>(static_cast<const char *>(b) - static_cast<const char *>(a));
}
