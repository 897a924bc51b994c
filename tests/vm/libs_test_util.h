// Helpers of the library tests: a VM state with the cart-mode globals (the
// console's names for library functions) or the stock libraries, opened as
// z6vm opens them (luaL_openhostlibs), and a
// runner that compiles text with luaL_loadstring, calls it protected and
// returns its results (or its error message) as tab-separated text.
#ifndef Z6_TESTS_VM_LIBS_TEST_UTIL_H
#define Z6_TESTS_VM_LIBS_TEST_UTIL_H

#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "tests/vm/vm_test_util.h"
#include "cart/state.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace z6libs {

using z6test::value_text;

// the message without its "[string ...]:N: " position prefix
inline std::string strip_position(const std::string &m) {
    size_t p = m.find("]:");
    if (m.rfind("[string ", 0) != 0 || p == std::string::npos) return m;
    size_t q = m.find(": ", p + 2);
    return q == std::string::npos ? m : m.substr(q + 2);
}

struct State {
    lua_State *L;
    explicit State(bool stock = false) {
        L = lua_newstate(z6test::plain_alloc, nullptr);
        luaL_openhostlibs(L, stock ? 1 : 0);
        pstate.system_cycles = 0;
        lua_reset_cpu_cycles();
    }
    ~State() { lua_close(L); }
    State(const State &) = delete;
    State &operator=(const State &) = delete;

    // results joined by tabs, or "error: " and the message (prefix removed)
    std::string run(const std::string &code) {
        lua_settop(L, 0);
        if (luaL_loadstring(L, code.c_str()) != LUA_OK) return "syntax: " + value_text(L, -1);
        if (lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK)
            return "error: " + strip_position(value_text(L, -1));
        std::string out;
        for (int i = 1; i <= lua_gettop(L); i++) {
            if (i > 1) out += "\t";
            out += value_text(L, i);
        }
        lua_settop(L, 0);
        return out;
    }

    // cycles charged through spend_cpu by 'code' (the statement's own
    // instruction cycles are not part of it)
    int spent(const std::string &code) {
        pstate.system_cycles = 0;
        run(code);
        return pstate.system_cycles;
    }
};

// a script and the text State::run gives for it
struct Case {
    std::string code;
    std::string want;
};

// runs the cases in order in one state; a failure names its script
inline void expect_runs(State &s, std::initializer_list<Case> cases) {
    for (const Case &c : cases) EXPECT_EQ(s.run(c.code), c.want) << c.code;
}

} // namespace z6libs

#endif
