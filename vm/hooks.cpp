/*
** The console runtime's services as a VM alone has them, until
** zibo6_attach_console() replaces them (vm/hooks.h).
*/
#include "vm/hooks.h"

#include <climits>
#include <cstdint>

#include "vm/lua.h"

static void charge_alone(int n) {
    if (n < 0) return;
    int64_t cycles = 2 * int64_t(n > 1 ? n : 1);
    lua_add_cpu_cycles(cycles > INT32_MAX ? INT32_MAX : int(cycles));
}
static lua_Number no_memory(lua_Number) { return 0; }
static int untabbed_line(int line, int *tab) {
    if (tab) *tab = 0;
    return line;
}
static void no_assert_text(const char *) {}

zibo6_vm_services zibo6_vm = {charge_alone, no_memory,     no_memory,
                              no_memory,    untabbed_line, no_assert_text};
