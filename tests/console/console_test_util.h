// A console made for unit tests: a memory cart, a working cart and four
// display surfaces, torn down again; and a runner that calls a function on a
// resumed script thread, so that memory errors raise as they do in a cart.
#pragma once
#include <cstring>
#include <ctime>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "cart/cart.h"
#include "cart/state.h"
#include "engine/gfx.h"
#include "vm/lua.h"

namespace z6console {

struct Console {
    Console() {
        std::memset(pstate.console_ram, 0, sizeof pstate.console_ram);
        pstate.draw_state = {};
        std::memset(pstate.cartdata_words, 0, sizeof pstate.cartdata_words);
        std::memset(pstate.button_held, 0, sizeof pstate.button_held);
        pstate.cartdata_dirty = 0;
        pstate.reset_glitch_counter = 0;
        pstate.memory_cart = vull_create_zibo6_cart();
        pitem.cart = vull_create_zibo6_cart();
        for (vull_bitmap *&d : pstate.display) d = vull_create_bitmap(128, 128, 8);
        pstate.current_display = 0;
        pstate.draw_surface = pstate.display[0];
    }
    ~Console() {
        vull_destroy_zibo6_cart(pstate.memory_cart);
        vull_destroy_zibo6_cart(pitem.cart);
        pstate.memory_cart = nullptr;
        pitem.cart = nullptr;
        for (vull_bitmap *&d : pstate.display) {
            vull_destroy_bitmap(d);
            d = nullptr;
        }
        pstate.draw_surface = nullptr;
    }
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    zibo6_cart *cart() const { return pstate.memory_cart; }
    void gate(bool open) {
        pstate.console_ram[0x5f36] =
            uint8_t(open ? pstate.console_ram[0x5f36] | 0x10 : pstate.console_ram[0x5f36] & ~0x10);
    }
};

inline void *test_alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        free(ptr);
        return nullptr;
    }
    return realloc(ptr, nsize);
}

// Runs fn on a resumed thread; returns "" when it finished, else the error text.
inline std::string run_in_script(const std::function<void()> &fn) {
    lua_State *L = lua_newstate(test_alloc, nullptr);
    lua_State *co = lua_newthread(L);
    lua_pushlightuserdata(co, const_cast<std::function<void()> *>(&fn));
    lua_pushcclosure(
        co,
        [](lua_State *T) -> int {
            (*static_cast<const std::function<void()> *>(lua_touserdata(T, lua_upvalueindex(1))))();
            return 0;
        },
        1);
    int status = lua_resume(co, nullptr, 0);
    std::string out;
    if (status != LUA_OK) {
        const char *m = lua_tostring(co, -1);
        out = m ? m : "(no message)";
    }
    lua_close(L);
    return out;
}

// This thread's CPU time: a cost bound in it holds however busy the machine is,
// as one on the wall clock would not.
inline double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace z6console
