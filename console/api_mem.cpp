// Memory bindings: peek, poke, memcpy, memset, reload and cstore with their
// argument defaults and CPU costs; every byte goes through the memory map.
#include <algorithm>
#include <cstring>

#include "console/api.h"
#include "console/cpu.h"
#include "console/mem.h"
#include "cart/state.h"
#include "console/term.h"
#include "vm/lcpu.h"

static int peek_byte(int a) { return zibo6_peek(&pstate, pstate.memory_cart, a & 0xffff); }
static void poke_byte(int a, int v) {
    zibo6_poke(&pstate, pstate.memory_cart, a & 0xffff, v & 255);
}

constexpr int Z6_MAX_VALUES = 8192; // results of one peek, values of one poke

// step bytes a value: 1 byte, 2 signed 16-bit, 4 raw 16.16
static int peek_multiple(lua_State *L, int step) {
    int a = z6_arg_int(L, 1);
    int n = 1;
    if (lua_gettop(L) >= 2) {
        n = z6_arg_int(L, 2);
        if (n < 1) return 0;
        n = std::min(n, Z6_MAX_VALUES);
    }
    if (!lua_checkstack(L, n)) return zibo6_runtime_error(L, "too many peek results");
    if (lua_gettop(L) >= 1) cpu_cycles_slice -= 2;
    spend_cpu(n - 1);
    for (int k = 0; k < n; k++) {
        int at = a + k * step;
        int32_t v;
        if (step == 1) {
            v = peek_byte(at) << 16;
        } else if (step == 2) {
            int16_t w = static_cast<int16_t>(peek_byte(at) | (peek_byte(at + 1) << 8));
            v = int32_t(w) * 65536;
        } else {
            uint32_t w = uint32_t(peek_byte(at)) | uint32_t(peek_byte(at + 1)) << 8 |
                         uint32_t(peek_byte(at + 2)) << 16 | uint32_t(peek_byte(at + 3)) << 24;
            v = static_cast<int32_t>(w);
        }
        lua_pushnumber(L, v);
    }
    return n;
}

int z6_peek_multiple(lua_State *L) { return peek_multiple(L, 1); }
int z6_peek2_multiple(lua_State *L) { return peek_multiple(L, 2); }
int z6_peek4_multiple(lua_State *L) { return peek_multiple(L, 4); }

// Fast calls: arguments straight from the stack; the returned int is the
// call's one raw 16.16 result (0), and nothing may be pushed.
static int poke_multiple(lua_State *L, int step) {
    int argc = z6f_argc(L);
    int a = z6f_arg(L, 1) >> 16;
    int values = std::min(argc - 1, Z6_MAX_VALUES);
    if (values < 1) {
        poke_byte(a, 0); // a call without values writes one 0
        return 0;
    }
    for (int k = 0; k < values; k++) {
        int32_t raw = z6f_arg(L, k + 2);
        uint32_t v = step == 4 ? uint32_t(raw) : uint32_t(raw >> 16);
        for (int b = 0; b < step; b++) poke_byte(a + k * step + b, int((v >> (8 * b)) & 255));
    }
    cpu_cycles_slice -= 2;
    spend_cpu(values - 1);
    return 0;
}

int z6f_poke(lua_State *L) { return poke_multiple(L, 1); }
int z6f_poke2(lua_State *L) { return poke_multiple(L, 2); }
int z6f_poke4(lua_State *L) { return poke_multiple(L, 4); }

int z6_memcpy(lua_State *L) {
    int dest = z6_arg_int(L, 1), src = z6_arg_int(L, 2), len = z6_arg_int(L, 3);
    if (len < 1 || dest == src) return 0;
    zibo6_memcpy(&pstate, pstate.memory_cart, dest, src, len);
    spend_cpu(int((int64_t(len) + 1) >> 1));
    return 0;
}

int z6_memset(lua_State *L) {
    int a = z6_arg_int(L, 1), v = z6_arg_int(L, 2), len = z6_arg_int(L, 3);
    if (len < 1) return 0;
    zibo6_memset(&pstate, pstate.memory_cart, a, v, len);
    spend_cpu(int((int64_t(len) + 1) >> 2));
    return 0;
}

// reload() and cstore() take dest, src, len (all three or none: the whole
// cart data) and cost len capped at 4096 times a per-byte price.
struct block_args {
    int dest = 0, src = 0, len = 0x4300, cost;
};
static block_args read_block_args(lua_State *L, int per_byte, int whole_cost) {
    block_args b;
    b.cost = whole_cost;
    if (lua_gettop(L) >= 3) {
        b.dest = z6_arg_int(L, 1);
        b.src = z6_arg_int(L, 2);
        b.len = z6_arg_int(L, 3);
        b.cost = std::min(b.len, 4096) * per_byte;
    }
    spend_cpu(b.cost);
    return b;
}

int z6_reload(lua_State *L) {
    block_args b = read_block_args(L, 8, 32768);
    if (lua_gettop(L) == 4 && lua_type(L, 4) == LUA_TSTRING) {
        size_t n = 0;
        const char *name = lua_tolstring(L, 4, &n);
        lua_pushnumber(L, zibo6_reload_from_file(name, n, b.dest, b.src, b.len) << 16);
        return 1;
    }
    zibo6_reload(&pstate, pstate.memory_cart, b.dest, b.src, b.len);
    lua_pushnumber(L, b.len << 16);
    return 1;
}

int z6_cstore(lua_State *L) {
    block_args b = read_block_args(L, 64, 0x40000);
    const char *name = nullptr;
    size_t n = 0;
    if (lua_gettop(L) >= 4 && lua_type(L, 4) == LUA_TSTRING) name = lua_tolstring(L, 4, &n);
    lua_pushnumber(L, zibo6_cstore_to_file(name, n, b.dest, b.src, b.len) << 16);
    return 1;
}
