// Coroutine functions under the console's names, and trace (db_traceback).
#include <gtest/gtest.h>

#include <string>

#include "tests/vm/libs_test_util.h"

using z6libs::State;

TEST(CoroLib, ResumeYieldStatus) {
    State s;
    z6libs::expect_runs(
        s, {
               {"local co = cocreate(function(a, b) local c = yield(a + b) return c * 2 end) "
                "local r1, v1 = coresume(co, 1, 2) local st = costatus(co) "
                "local r2, v2 = coresume(co, 10) return r1, v1, st, r2, v2, costatus(co)",
                "true\t3\tsuspended\ttrue\t20\tdead"},
               {"local co = cocreate(function() end) coresume(co) return coresume(co)",
                "false\tcorolib: cannot resume dead coroutine"},
               // a coroutine that failed is dead through its error status
               {"local co = cocreate(function() assert(false, 'x') end) "
                "local ok, m = coresume(co) return ok, sub(m, -1), costatus(co), coresume(co)",
                "false\tx\tdead\tfalse\tcannot resume dead coroutine"},
               {"local outer outer = cocreate(function() "
                "local inner = cocreate(function() return costatus(outer) end) "
                "return coresume(inner) end) return coresume(outer)",
                "true\ttrue\tnormal"},
               {"local co co = cocreate(function() return coresume(co) end) return coresume(co)",
                "true\tfalse\tcannot resume non-suspended coroutine"},
               {"return costatus(cocreate(tostring))", "suspended"},
               {"return cocreate(1)",
                "error: bad argument #1 to 'cocreate' (function expected, got number)"},
               {"return coresume(1)", "error: bad argument #1 to 'coresume' (coroutine expected)"},
               {"return costatus({})", "error: bad argument #1 to 'costatus' (coroutine expected)"},
               {"yield()", "error: attempt to yield from outside a coroutine"},
           });
}

TEST(CoroLib, StockWrapAndRunning) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"local g = coroutine.wrap(function() coroutine.yield(1) coroutine.yield(2) end) "
                "return g(), g()",
                "1\t2"},
               {"local g = coroutine.wrap(function() error('w') end) return pcall(g)",
                "false\t[string \"local g = coroutine.wrap(function() error('w'...\"]:1: w"},
               {"local co, main = coroutine.running() return type(co), main", "thread\ttrue"},
           });
}

TEST(CoroLib, Trace) {
    State s;
    std::string t = s.run("local function f() return (trace()) end\nreturn (f())");
    EXPECT_EQ(t.rfind("stack traceback:", 0), 0u) << t;
    EXPECT_NE(
        t.find("\n\t[string \"local function f() return (trace()) end...\"]:1: in function 'f'"),
        std::string::npos)
        << t;
    EXPECT_NE(t.find("]:2: in main chunk"), std::string::npos) << t;
    std::string m = s.run("return trace('msg')");
    EXPECT_EQ(m.rfind("msg\nstack traceback:\n\t", 0), 0u) << m;
    EXPECT_EQ(s.run("local t = {} return trace(t) == t"), "true");
    std::string num = s.run("return trace(12.5)");
    EXPECT_EQ(num.rfind("12.5\nstack traceback:", 0), 0u) << num;
    // a thread is traced from its level 0; a level skips frames
    std::string co =
        s.run("local co = cocreate(function() yield() end) coresume(co) return trace(co)");
    EXPECT_EQ(co.rfind("stack traceback:\n\t[C]: in function 'yield'", 0), 0u) << co;
    std::string skipped =
        s.run("local co = cocreate(function() yield() end) coresume(co) return trace(co, 'm', 1)");
    EXPECT_EQ(skipped.find("'yield'"), std::string::npos) << skipped;
    // a thread named by the caller is traced from level 0, even when running
    std::string self = s.run("local co co = cocreate(function() return trace(co) end) "
                             "return select(2, coresume(co))");
    EXPECT_EQ(self.rfind("stack traceback:\n\t[C]: in function 'trace'", 0), 0u) << self;
    // deep stacks are cut after the first 12 levels
    std::string deep = s.run(
        "local function r(n) if n == 0 then return trace() end return (r(n - 1)) end return r(40)");
    EXPECT_NE(deep.find("\n\t..."), std::string::npos);
    std::string shallow = s.run(
        "local function r(n) if n == 0 then return trace() end return (r(n - 1)) end return r(18)");
    EXPECT_EQ(shallow.find("\n\t..."), std::string::npos);
}

// Yields from C functions that the interpreter called directly return to
// the resume instead of unwinding; the other yields (inside pcall, a
// metamethod or a continuation) still unwind.  The two must mix freely.
TEST(CoroLib, YieldPathsMix) {
    State s(true);
    lua_register(s.L, "cocreate", luaB_cocreate);
    lua_register(s.L, "coresume", luaB_coresume);
    lua_register(s.L, "yield", luaB_yield);
    EXPECT_EQ(
        s.run(
            "local co = cocreate(function(a) "
            "local b = yield(a + 1) "
            "local ok, e = pcall(function() yield('in pcall') error('boom', 0) end) "
            "local c = yield(ok, e) "
            "local t = setmetatable({}, {__index = function(_, k) return yield(k) end}) "
            "local d = t.key "
            "local inner = cocreate(function(x) while true do x = yield(x * 2) end end) "
            "local _, v1 = coresume(inner, 5) local _, v2 = coresume(inner, v1) "
            "return yield(b, c, d, v1, v2) end) "
            "local r = {} local function add_all(ok, ...) r[#r + 1] = tostring(ok) "
            "for i = 1, select('#', ...) do r[#r + 1] = tostring((select(i, ...))) end r[#r + 1] = "
            "'|' end "
            "add_all(coresume(co, 1)) add_all(coresume(co, 'B')) add_all(coresume(co)) "
            "add_all(coresume(co, 'C')) add_all(coresume(co, 'D')) add_all(coresume(co, 'x', 'y')) "
            "add_all(coresume(co)) local out = '' for i = 1, #r do out = out .. r[i] .. ' ' end "
            "return out"),
        "true 2 | true in pcall | true false boom | true key | true B C D 10 20 | true x y | "
        "false corolib: cannot resume dead coroutine | ");
    // many round trips leave no C level or stack behind
    EXPECT_EQ(
        s.run("local co = cocreate(function() local n = 0 while true do n = n + yield(n) end end) "
              "local v = 0 for i = 1, 5000 do local _, r = coresume(co, 1) v = r end return v"),
        "4999");
}

namespace {

int twice_k(lua_State *L) { // the continuation yields again
    lua_pushliteral(L, "b");
    return lua_yield(L, 1);
}

int twice(lua_State *L) {
    lua_pushvalue(L, 1);
    lua_callk(L, 0, 0, 0, twice_k);
    return twice_k(L);
}

} // namespace

TEST(CoroLib, ContinuationThatYieldsStillUnwinds) {
    State s;
    lua_register(s.L, "twice", twice);
    EXPECT_EQ(
        s.run("local co = cocreate(function() return 'r', twice(function() yield('a') end) end) "
              "local _, a = coresume(co) local _, b = coresume(co) local ok, r, c = coresume(co, "
              "'c') "
              "return a, b, ok, r, c, costatus(co)"),
        "a\tb\ttrue\tr\tc\tdead");
}

// A host thread run in slices: forced yields at every budget interleave
// with yields that return, yields inside pcall and tail-called yields.
TEST(CoroLib, YieldsInterleaveWithForcedYields) {
    const char *code = "local s = 0 "
                       "for i = 1, 30 do "
                       "  s = s + yield(i) "
                       "  if i % 3 == 0 then s = s + (function() return yield(-i) end)() end "
                       "  local ok, e = pcall(yield, 100 + i) s = s + e "
                       "end return s";
    for (int budget : {-1, 0, 1, 3, 7, 50, 0x7fffffff}) {
        State s(true);
        lua_register(s.L, "yield", luaB_yield);
        lua_State *T = lua_newthread(s.L);
        ASSERT_EQ(luaL_loadstring(T, code), LUA_OK);
        lua_set_cpu_cycles_slice_max(budget);
        int status, nargs = 0, resumes = 0, explicit_yields = 0;
        do {
            lua_cpu_prepare_for_slice();
            lua_cpu_prepare_for_resume();
            status = lua_resume(T, nullptr, nargs);
            nargs = 0;
            if (status == LUA_YIELD && lua_gettop(T) == 1) { // an explicit yield: answer 2v
                lua_Integer v = lua_tointeger(T, 1);
                lua_settop(T, 0);
                lua_pushinteger(T, 2 * v);
                nargs = 1;
                explicit_yields++;
            } else if (status == LUA_YIELD) {
                ASSERT_EQ(lua_gettop(T), 0) << "budget " << budget;
            }
        } while (status == LUA_YIELD && ++resumes < 200000);
        lua_set_cpu_cycles_slice_max(0x7fffffff);
        ASSERT_EQ(status, LUA_OK) << "budget " << budget << ": " << z6libs::value_text(T, -1);
        EXPECT_EQ(z6libs::value_text(T, -1), "7530") << "budget " << budget;
        EXPECT_EQ(explicit_yields, 70) << "budget " << budget;
    }
}
