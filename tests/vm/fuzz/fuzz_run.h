// One fuzz input run as a cart program: compiled with the cart-mode globals (print
// silenced), then run as a coroutine in slices of a small cycle budget, for a bounded
// number of slices, over an allocator capped at a few megabytes. Every outcome (a
// result, a runtime or memory error, a program cut off after its last slice) is fine;
// a crash, a leak or a sanitizer report is not. Shared by the libFuzzer target and the
// corpus replay test.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace z6fuzz {

constexpr size_t RUN_INPUT_LIMIT = 1 << 16; // longer programs only slow the fuzzer
constexpr long RUN_MEMORY_CAP = 4 << 20;    // bytes the program's state may hold
constexpr int RUN_BUDGET = 300;             // cycles a slice
constexpr int RUN_SLICES = 100;             // slices before the program is abandoned
// A runaway in Lua code that cannot yield (a metamethod of a library function) stops
// with the yield error once it overruns its slice by the whole run's cycles, not the
// machine's ten seconds.
constexpr int RUN_DEFERRAL_LIMIT = RUN_BUDGET * RUN_SLICES;

struct RunHeap {
    long in_use = 0;
};

inline void *capped_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    auto *h = static_cast<RunHeap *>(ud);
    long old = ptr ? long(osize) : 0;
    if (nsize == 0) {
        h->in_use -= old;
        std::free(ptr);
        return nullptr;
    }
    if (h->in_use - old + long(nsize) > RUN_MEMORY_CAP) return nullptr;
    void *p = std::realloc(ptr, nsize);
    if (p) h->in_use += long(nsize) - old;
    return p;
}

inline int silent_print(lua_State *) { return 0; }

// Builds the state's globals, compiles the text and runs it in slices; returns the
// status of the last resume (LUA_YIELD when it was cut off).
inline int run_protected(lua_State *L) {
    const std::string *text = static_cast<const std::string *>(lua_touserdata(L, 1));
    luaL_openhostlibs(L, 0);
    lua_pushcfunction(L, silent_print);
    lua_setglobal(L, "print");
    lua_State *co = lua_newthread(L);
    int status = luaL_loadstring(co, text->c_str());
    if (status == LUA_OK) {
        lua_reset_cpu_cycles();
        lua_set_cpu_cycles_slice_max(RUN_BUDGET);
        lua_set_cpu_deferral_limit(RUN_DEFERRAL_LIMIT);
        for (int slice = 0; slice < RUN_SLICES; slice++) {
            lua_cpu_prepare_for_slice();
            lua_cpu_prepare_for_resume();
            status = lua_resume(co, L, 0);
            if (status != LUA_YIELD) break;
        }
    }
    lua_pushinteger(L, status);
    return 1;
}

inline int run_one(const uint8_t *data, size_t size) {
    if (size > RUN_INPUT_LIMIT) return 0;
    std::string text(reinterpret_cast<const char *>(data), size);
    RunHeap heap;
    lua_State *L = lua_newstate(capped_alloc, &heap);
    if (!L) return 0;
    lua_pushcfunction(L, run_protected);
    lua_pushlightuserdata(L, &text);
    int status = lua_pcall(L, 1, 1, 0);
    if (status == LUA_OK) status = static_cast<int>(lua_tointeger(L, -1));
    lua_close(L);
    if (heap.in_use != 0) std::abort(); // every block came back
    return status;
}

} // namespace z6fuzz
