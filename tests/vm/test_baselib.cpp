// Base library as carts reach it (select, assert, raw functions, next,
// metatables) and the stock-only functions with their 16.16 mappings.
#include <gtest/gtest.h>

#include <cstring>

#include "cart/state.h"
#include "tests/vm/libs_test_util.h"

using z6libs::State;

TEST(BaseLib, Select) {
    State s;
    z6libs::expect_runs(
        s,
        {
            {"return select('#')", "0"},
            {"return select('#', nil, nil)", "2"},
            {"return select(-1, 'a', 'b')", "b"},
            {"return select(5, 'a', 'b')", ""},
            {"return select(1.5, 'a', 'b')", "a\tb"},
            {"return select(-1.5, 'a', 'b', 'c')", "b\tc"},
            {"return select(0, 'a')", "error: bad argument #1 to 'select' (index out of range)"},
            {"return select(-3, 'a')", "error: bad argument #1 to 'select' (index out of range)"},
            {"return select('x', 'a')",
             "error: bad argument #1 to 'select' (number expected, got string)"},
        });
}

TEST(BaseLib, AssertStoresItsTextForTheConsole) {
    State s;
    EXPECT_EQ(s.run("return assert(1, 2, 3)"), "1\t2\t3");
    EXPECT_EQ(s.run("assert(false)"), "error: assertion failed!");
    EXPECT_STREQ(pstate.assert_message, "");
    EXPECT_EQ(s.run("assert(nil, 'bad thing')"), "error: bad thing");
    EXPECT_STREQ(pstate.assert_message, "bad thing");
    EXPECT_EQ(s.run("assert(false, 12.5)"), "error: 12.5");
    EXPECT_STREQ(pstate.assert_message, "12.5");
    // the error text carries the caller's position, the stored text does not
    lua_settop(s.L, 0);
    luaL_loadstring(s.L, "\nassert(false, 'x')");
    ASSERT_NE(lua_pcall(s.L, 0, 0, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(s.L, -1), "[string \"...\"]:2: x");
    EXPECT_EQ(s.run("assert(false, {})"),
              "error: bad argument #2 to 'assert' (string expected, got table)");
    EXPECT_EQ(s.run("assert()"), "error: assertion failed!");
}

TEST(BaseLib, RawFunctionsAndMetatables) {
    State s;
    EXPECT_EQ(s.run("return rawlen('abc'), rawlen({1, 2})"), "3\t2");
    EXPECT_EQ(s.run("return rawlen(5)"),
              "error: bad argument #1 to 'rawlen' (table or string expected)");
    // only the low 16 bits of a length survive in the integer part
    State st(true);
    EXPECT_EQ(st.run("return rawlen(('x'):rep(20000):rep(2))"), "-25536");
    z6libs::expect_runs(
        s,
        {
            {"return rawequal({}, {}), rawequal(1, 1)", "false\ttrue"},
            {"return rawequal(1)", "error: bad argument #2 to 'rawequal' (value expected)"},
            {"local t = setmetatable({}, {__index = function() return 1 end}) return t.x, "
             "rawget(t, 'x')",
             "1\tnil"},
            {"return rawset({}, 'k')", "error: bad argument #3 to 'rawset' (value expected)"},
            {"return getmetatable(setmetatable({}, {__metatable = 'no'}))", "no"},
            {"return setmetatable(setmetatable({}, {__metatable = 1}), {})",
             "error: cannot change a protected metatable"},
            {"return setmetatable({})",
             "error: bad argument #2 to 'setmetatable' (nil or table expected)"},
            {"return getmetatable()", "error: bad argument #1 to 'getmetatable' (value expected)"},
        });
}

TEST(BaseLib, NextAndIpairs) {
    State s;
    z6libs::expect_runs(
        s,
        {
            {"local t = {10, 20, 30} return next(t)", "1\t10"},
            {"local t = {10} return next(t, 1)", "nil"},
            {"return next({}, 'nokey')", "error: invalid key to 'next'"},
            {"local n = 0 for i, v in ipairs({1, nil, 3}) do n = n + 1 end return n", "1"},
            {"local s = 0 for k, v in pairs({a = 1, b = 2, 3}) do s = s + v end return s", "6"},
            {"return pairs(1)", "error: bad argument #1 to 'pairs' (table expected, got number)"},
            {"return tostring(nil), tostring(1.5), tostring(true), type(tostring), type(nil)",
             "nil\t1.5\ttrue\tfunction\tnil"},
            {"return tostring()", "error: bad argument #1 to 'tostring' (value expected)"},
        });
}

TEST(BaseLib, StockOnlyFunctionsMapOnto16_16) {
    State s(true);
    // tonumber with a base builds whole numbers
    z6libs::expect_runs(
        s,
        {
            {"return tonumber('10', 2), tonumber('ff', 16), tonumber(' -z ', 36), tonumber('8', 8)",
             "2\t255\t-35\tnil"},
            {"return tonumber('1', 37)",
             "error: bad argument #2 to 'tonumber' (base out of range)"},
            {"return tonumber('0x10'), tonumber('1e2'), tonumber('nan'), tonumber('')",
             "16\t100\tnil\tnil"},
            // collectgarbage("count") is kilobytes in 16.16, with the bytes modulo 1024
            {"local k, b = collectgarbage('count') return k > 1 and k < 32000, b >= 0 and b < 1024",
             "true\ttrue"},
            {"return collectgarbage('bogus')",
             "error: bad argument #1 to 'collectgarbage' (invalid option 'bogus')"},
            {"return type(collectgarbage('step')), collectgarbage('isrunning')", "boolean\ttrue"},
            {"return select('#', pcall(error))", "2"},
            {"return pcall(error, {}), pcall(error, 7)", "false\tfalse\t7"},
            {"return xpcall(error, function(m) return 'h:' .. m end, 'x')", "false\th:x"},
            {"return load('return 1 +')",
             "nil\t[string \"return 1 +\"]:1: unexpected symbol near <eof>"},
            {"local e = {} load('x = 5', 'c', 't', e)() return e.x, x", "5\tnil"},
            {"local i = 0 return load(function() i = i + 1 if i == 1 then return 'return 4' end "
             "end)()",
             "4"},
            {"return select(2, load(function() return {} end)):match(': reader function must "
             "return a string$') ~= nil",
             "true"},
            {"return _VERSION, _G == _G._G", "Lua 5.2\ttrue"},
        });
}
