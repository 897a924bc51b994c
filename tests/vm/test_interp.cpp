// Interpreter: 16.16 results, loops, coercions, metamethods and error texts.
#include <gtest/gtest.h>

#include "tests/vm/vm_test_util.h"

using z6test::run;
using z6test::State;

TEST(Interp, NumericResultsFollowFixedPointRules) {
    State L;
    auto r = run(L, "print(1/3, 200*200, 7\\2, -7\\2, 5%-3, 1/0, -1/0, 32767+1)");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(z6test::printed, "0.3333\t-25536\t3\t-4\t2\t32768\t-32768\t-32768\n");
    r = run(
        L,
        "local a, b = 5, 3 return a - b * 2, -a, a ^ 2, 2 ^ -1, -5 % 3, 1.5 & 1, ~0 == -0.00002");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "-1 -5 25 0.5 1 1 true");
    // bit, shift and rotate operators on registers, not folded constants
    r = run(L, "local x, n = 1, 4 return x << n, 256 >> n, -16 >> 2, -1 >>> 4, x <<> 3, x >>< 1, 5 "
               "^^ 3, 6 | 1, ~x \\ 1");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "16 16 -4 4095.9375 8 0.5 6 7 -2");
}

TEST(Interp, NumericForStopsAtTheEndOfTheRange) {
    State L;
    auto count = [&](const char *head) {
        auto r = run(L, std::string("local n, last = 0 ") + head +
                            " n = n + 1 last = i end return n, last");
        EXPECT_EQ(r.status, LUA_OK) << head << ": " << r.joined();
        return r.joined();
    };
    EXPECT_EQ(count("for i = 1, 3, 0 do"), "0 nil");
    EXPECT_EQ(count("for i = 1, 10 do"), "10 10");
    EXPECT_EQ(count("for i = 32766, 32767 do"), "2 32767");
    EXPECT_EQ(count("for i = 32766, 32767.99998 do"), "2 32767");
    EXPECT_EQ(count("for i = -32767, -32768, -1 do"), "2 -32768");
    EXPECT_EQ(count("for i = 10, 1, -3 do"), "4 1");
    // a step of the smallest fraction stops before raw 0x7fffffff instead of wrapping
    EXPECT_EQ(count("for i = 32767.99990, 0x7fff.ffff, 0x0.0001 do"), "6 32768");
    EXPECT_EQ(count("for i = -32767.99990, -0x8000, -0x0.0001 do"), "8 -32768");
    EXPECT_EQ(count("for i = '1', '2' do"), "2 2");
    auto r = run(L, "for i = 'x', 2 do end");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "'for' initial value must be a number");
    r = run(L, "for i = 1, {} do end");
    EXPECT_EQ(r.joined(), "'for' limit must be a number");
    r = run(L, "for i = 1, 2, nil do end");
    EXPECT_EQ(r.joined(), "'for' step must be a number");
}

TEST(Interp, CoercionsEqualityAndLength) {
    State L;
    auto r = run(
        L, "local s, h = '10', '0x10' return s + 1, h + 0, #'abc', 1 == '1', '1' .. 2, 1.5 .. ''");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "11 16 3 false 12 1.5");
    r = run(L, "local s = 'abc' return s + 1");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "attempt to perform arithmetic on local 's' (a string value)");
    r = run(L, "return ~'3' == ~3, fsum == fsum, fsum == fnargs, 'a' < 'b', 'a\\0b' < 'a\\0c'");
    EXPECT_EQ(r.joined(), "true true false true true");
    r = run(L, "local t = {1, 2, 3, nil} t[4] = nil return #t, #{n = 1}");
    EXPECT_EQ(r.joined(), "3 0");
    // a 70000-byte string has the length 70000 << 16, wrapped
    std::string big(70000, 'x');
    lua_pushlstring(L, big.data(), big.size());
    lua_setglobal(L, "big");
    r = run(L, "return #big");
    EXPECT_EQ(r.joined(), "4464"); // 70000 - 65536
}

TEST(Interp, MetamethodsOfAllEvents) {
    State L;
    auto r = run(L, R"(
    function ipairs_list(l) local i = 0 return function() i = i + 1 if l[i] then return i, l[i] end end end
    local log = ''
    local mt = {}
    for _, e in ipairs_list({'add','sub','mul','div','mod','pow','and','or','xor','shl','shr','lshr',
                             'rotl','rotr','not','idiv','peek','peek2','peek4','unm'}) do
      mt['__' .. e] = function(a, b) log = log .. e .. (b == 0 and '0' or '') .. ',' return 1 end
    end
    local t = setmt({}, mt)
    local x = {t + 1, t - 1, t * 1, t / 1, t % 1, t ^ 1, t & 1, t | 1, t ^^ 1, t << 1, t >> 1, t >>> 1,
              t <<> 1, t >>< 1, ~t, t \ 1, @t, %t, $t, -t}
    return log
  )");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "add,sub,mul,div,mod,pow,and,or,xor,shl,shr,lshr,rotl,rotr,not0,idiv,"
                          "peek0,peek20,peek40,unm,");
    r = run(L, R"(
    local mt = {__lt = function(a, b) return a.v < b.v end,
                __concat = function(a, b) return 'cat' end,
                __len = function() return 42 end,
                __eq = function() return true end,
                __call = function(self, x) return x * 2 end,
                __index = function(t, k) return k .. '!' end}
    local a, b = setmt({v = 1}, mt), setmt({v = 2}, mt)
    return a < b, a <= b, b <= a, a .. 'x', 1 .. a, #a, a == b, a(21), a.foo
  )");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "true true false cat cat 42 true 42 foo!");
    r = run(L, "local mt = {} mt.__index = setmt({}, mt) return setmt({}, mt).x");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "loop in gettable");
    r = run(L, "local mt = {} mt.__newindex = setmt({}, mt) setmt({}, mt).x = 1");
    EXPECT_EQ(r.joined(), "loop in settable");
    r = run(L, "local c = setmt({}, {__call = {}}) c()");
    EXPECT_EQ(r.joined(), "attempt to call local 'c' (a table value)");
}

TEST(Interp, ClosuresVarargsAndTailCalls) {
    State L;
    auto r = run(L, R"(
    local function counter() local n = 0 return function() n = n + 1 return n end end
    local c1, c2 = counter(), counter()
    c1() c1()
    local function va(...) local a, b = ... return select_n(...), a, b end
    function select_n(...) local t = {...} return #t end
    local function loop(n) if n == 0 then return 'done' end return loop(n - 1) end
    local function many() return 1, 2, 3 end
    local t = {many(), many()}
    return c1(), c2(), va(4, 5, 6), loop(20000), #t
  )");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "3 1 3 done 4");
    r = run(L, R"(
    local fs = {}
    for i = 1, 3 do fs[i] = function() return i end end
    local s = 0
    for k = 1, 3 do s = s * 10 + fs[k]() end
    return s
  )");
    EXPECT_EQ(r.joined(), "123");
}

TEST(Interp, RuntimeErrorsHaveBareTextsAndTheRuntimeLine) {
    State L;
    zibo6_runtime_line = -1;
    auto r = run(L, "local x = 1\n\nf()\n");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "attempt to call global 'f' (a nil value)");
    EXPECT_EQ(zibo6_runtime_line, 3);
    r = run(L, "local t = {}\nreturn t.a.b");
    EXPECT_EQ(r.joined(), "attempt to index field 'a' (a nil value)");
    EXPECT_EQ(zibo6_runtime_line, 2);
    r = run(L, "local t = {} return t < 1");
    EXPECT_EQ(r.joined(), "attempt to compare table with number");
    r = run(L, "return {} < {}");
    EXPECT_EQ(r.joined(), "attempt to compare two table values");
    r = run(L, "local u return 'a' .. u");
    EXPECT_EQ(r.joined(), "attempt to concatenate local 'u' (a nil value)");
    r = run(L, "return #nil");
    EXPECT_EQ(r.joined(), "attempt to get length of a nil value");
    r = run(L, "local up = nil return (function() return up.x end)()");
    EXPECT_EQ(r.joined(), "attempt to index upvalue 'up' (a nil value)");
    // an error raised while a C function runs leaves the line alone
    zibo6_runtime_line = 77;
    r = run(L, "error('boom')");
    EXPECT_EQ(r.joined(), "boom");
    EXPECT_EQ(zibo6_runtime_line, 77);
}

TEST(Interp, StackAndCStackOverflowAreErrors) {
    State L;
    auto r = run(L, "local function f() return 1 + f() end return f()");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "stack overflow");
    r = run(L, "local t t = setmt({}, {__index = function(s, k) return t[k] end}) return t.x");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "C stack overflow");
    // the state stays usable afterwards
    r = run(L, "return 1 + 1");
    EXPECT_EQ(r.joined(), "2");
}
