// The math bindings through a VM state: argument defaults, numeric strings,
// edge values of the 16.16 range, and what each call charges.
#include <gtest/gtest.h>

#include <string>

#include "console/api.h"
#include "tests/vm/vm_test_util.h"
#include "vm/lcpu.h"

using z6test::run;

namespace {

struct Console : z6test::State {
    Console() { add_c_functions(L); }
};

// the raw 16.16 result of one expression
int32_t raw(lua_State *L, const std::string &expr) {
    auto r = run(L, "__r = " + expr);
    EXPECT_EQ(r.status, LUA_OK) << expr << ": " << r.joined();
    lua_getglobal(L, "__r");
    int32_t v = lua_tonumber(L, -1);
    lua_settop(L, 0);
    return v;
}

std::string text(lua_State *L, const std::string &exprs) {
    auto r = run(L, "return " + exprs);
    EXPECT_EQ(r.status, LUA_OK) << exprs << ": " << r.joined();
    return r.joined();
}

// cycles a direct call of a global with these raw arguments moves the
// slice counter by (negative: given back)
int cycles_of(lua_State *L, const char *name, std::initializer_list<int32_t> args) {
    lua_getglobal(L, name);
    for (int32_t a : args) lua_pushnumber(L, a);
    uint32_t before = cpu_cycles_slice;
    lua_call(L, static_cast<int>(args.size()), 1);
    lua_settop(L, 0);
    return static_cast<int32_t>(cpu_cycles_slice - before);
}

} // namespace

TEST(ApiMath, RoundingAndArgumentsAsTheCallingConventionReadsThem) {
    Console L;
    EXPECT_EQ(text(L, "flr('3.7'), flr({}), flr(), flr(-0.5), flr(nil, 2)"), "3 0 0 -1 0");
    EXPECT_EQ(text(L, "ceil(1.25), ceil(-1.5), ceil(2), ceil()"), "2 -1 2 0");
    // one number back; a second wanted result is nil
    EXPECT_EQ(text(L, "(function() local a, b = flr(1.5) return a, b end)()"), "1 nil");
    // ceil at the top of the range wraps as 16.16 arithmetic does
    EXPECT_EQ(raw(L, "ceil(32767.5)"), INT32_MIN);
    EXPECT_EQ(raw(L, "ceil(32767)"), 0x7fff0000);
}

TEST(ApiMath, ComparisonsSignsAndAbsoluteValues) {
    Console L;
    EXPECT_EQ(text(L, "mid(5), mid(1, 9, 4), mid(9, 1, 4), mid(4, 1, 9), mid()"), "0 4 4 4 0");
    EXPECT_EQ(text(L, "max(-3), min(3), min(), max(2, '7'), min(-1, -2)"), "0 0 0 7 -2");
    EXPECT_EQ(text(L, "sgn(0), sgn(), sgn(-0.5), sgn(3), sgn('-2')"), "1 1 -1 1 -1");
    EXPECT_EQ(raw(L, "abs(-32768)"), INT32_MAX);
    EXPECT_EQ(raw(L, "abs(0x8000.0001)"), 0x7fffffff); // raw 0x80000001 is -(0x7fffffff)
    EXPECT_EQ(text(L, "abs(-2.5), abs(3), abs()"), "2.5 3 0");
}

TEST(ApiMath, BitOperationsOnRawValues) {
    Console L;
    EXPECT_EQ(text(L, "band(5), bor(5), bxor(5), band(12, 10), bor(12, 10), bxor(12, 10)"),
              "0 5 5 8 14 6");
    EXPECT_EQ(raw(L, "bnot()"), -1); // raw 0xffffffff
    EXPECT_EQ(raw(L, "bnot(1)"), ~0x10000);
    EXPECT_EQ(text(L, "shl(1, 4), shr(-16, 2), shr(-1, 1), lshr(-16, 4)"), "16 -4 -0.5 4095");
    EXPECT_EQ(raw(L, "lshr(-1, 31)"), 1);
    EXPECT_EQ(raw(L, "rotl(1, 16)"), 1);
    EXPECT_EQ(raw(L, "rotr(1, 17)"), INT32_MIN);
}

TEST(ApiMath, TrigonometryAndRoots) {
    Console L;
    EXPECT_EQ(text(L, "sin(0), sin(0.25), sin(0.75), cos(0), cos(0.5), cos()"), "0 -1 1 1 -1 1");
    EXPECT_EQ(text(L, "atan2(1, 0), atan2(0, -1), atan2(-1, 0), atan2(0, 1)"), "0 0.25 0.5 0.75");
    EXPECT_EQ(text(L, "sqrt(4), sqrt(0), sqrt(-1), sqrt('9')"), "2 0 0 3");
}

TEST(ApiMath, RandomNumbers) {
    Console L;
    // the same seed gives the same draws; the sign bit of the seed is dropped
    EXPECT_EQ(text(L, "srand(5)"), "0");
    std::string a = text(L, "rnd(100), rnd(100), rnd()");
    run(L, "srand(5)");
    EXPECT_EQ(text(L, "rnd(100), rnd(100), rnd()"), a);
    run(L, "srand(bor(5, 0x8000))");
    EXPECT_EQ(text(L, "rnd(100), rnd(100), rnd()"), a);
    for (int i = 0; i < 50; i++) {
        int32_t v = raw(L, "rnd()");
        EXPECT_TRUE(v >= 0 && v < 0x10000) << v;
        v = raw(L, "rnd(3)");
        EXPECT_TRUE(v >= 0 && v < 0x30000) << v;
    }
    EXPECT_EQ(text(L, "rnd(0), rnd({}), rnd({7})"), "0 nil 7");
    std::string picked = text(L, "rnd({'a', 'b', 'c'})");
    EXPECT_TRUE(picked == "a" || picked == "b" || picked == "c") << picked;
}

TEST(ApiMath, CyclesEachCallTakesBackOrCharges) {
    Console L;
    // rounding and bit operations give back one cycle per argument
    EXPECT_EQ(cycles_of(L, "flr", {0x18000}), -1);
    EXPECT_EQ(cycles_of(L, "band", {1, 2}), -2);
    EXPECT_EQ(cycles_of(L, "bnot", {}), 0);
    EXPECT_EQ(cycles_of(L, "rotr", {1, 2, 3}), -3);
    // the others charge nothing of their own
    for (const char *name : {"min", "max", "mid", "abs", "sgn", "sin", "cos", "atan2"})
        EXPECT_EQ(cycles_of(L, name, {1, 2}), 0) << name;
    // sqrt and rnd pay through spend_cpu
    EXPECT_GT(cycles_of(L, "sqrt", {0x40000}), 0);
    EXPECT_GT(cycles_of(L, "rnd", {0x40000}), 0);
}
