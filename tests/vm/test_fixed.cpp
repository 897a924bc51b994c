// 16.16 numbers: arithmetic edges, shifts and rotations, powers and roots
// with their cycle charges, the random generator, and number <-> text.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "tests/vm/heap_test_util.h"
#include "cart/state.h"
#include "vm/lobject.h"
#include "vm/zmath.h"

namespace {

constexpr int32_t ONE = 0x10000;
constexpr int32_t MINV = INT32_MIN; // -32768
constexpr int32_t fx(int whole) { return static_cast<int32_t>(static_cast<uint32_t>(whole) << 16); }

std::string str(int32_t x) {
    char buf[32];
    int n = zibo6_fixed_to_string(buf, x);
    EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
    return buf;
}

// raw value of a text, or a sentinel when the conversion fails
constexpr int64_t FAILS = INT64_MIN;
int64_t parse(const char *s) {
    lua_Number v = 0;
    return luaO_str2d(s, std::strlen(s), &v) ? v : FAILS;
}

} // namespace

TEST(Fixed, MultiplyWrapsAndFloors) {
    EXPECT_EQ(z6_fmul(MINV, -ONE), MINV);
    EXPECT_EQ(z6_fmul(fx(200), fx(200)), fx(-25536));
    EXPECT_EQ(z6_fmul(-1, 1), -1);                   // floors: -2^-32 becomes -2^-16
    EXPECT_EQ(z6_fmul(0x18000, -0x18000), -0x24000); // 1.5 * -1.5
}

TEST(Fixed, DivideSaturatesAndUsesTheWholeDivisorPath) {
    EXPECT_EQ(z6_fdiv(MINV, ONE), MINV);
    EXPECT_EQ(z6_fdiv(MINV, 0x8000), static_cast<int32_t>(0x80000001));
    EXPECT_EQ(z6_fdiv(MINV, -ONE), 0x7fffffff);
    EXPECT_EQ(z6_fdiv(-ONE, 0), static_cast<int32_t>(0x80000001));
    EXPECT_EQ(z6_fdiv(0, 0), 0x7fffffff);
    EXPECT_EQ(z6_fdiv(ONE, fx(3)), 0x5555);
    EXPECT_EQ(z6_fdiv(-7, fx(2)), -3); // truncates toward zero on raw values
    // integer division clears the fraction of the truncated quotient
    EXPECT_EQ(luaO_arith(LUA_OPIDIV, fx(7), fx(2)), fx(3));
    EXPECT_EQ(luaO_arith(LUA_OPIDIV, fx(-7), fx(2)), fx(-4));
    EXPECT_EQ(luaO_arith(LUA_OPIDIV, fx(5), 0), fx(32767));
    EXPECT_EQ(luaO_arith(LUA_OPIDIV, fx(-5), 0), MINV);
}

TEST(Fixed, ModuloIsNeverNegative) {
    EXPECT_EQ(z6_fmod(fx(5), fx(-3)), fx(2));
    EXPECT_EQ(z6_fmod(fx(-5), fx(3)), fx(1));
    EXPECT_EQ(z6_fmod(-0x4000, ONE), 0xc000); // -0.25 % 1 = 0.75
    EXPECT_EQ(z6_fmod(-1, ONE), 0xffff);      // -0.00002 % 1 = 0.99998
    EXPECT_EQ(z6_fmod(fx(123), 0), fx(123));
    EXPECT_EQ(z6_fmod(-fx(5), MINV), -fx(5) & 0x7fffffff);
    EXPECT_EQ(z6_fmod(MINV, fx(3)), fx(1)); // -32768 = 3 * -10923 + 1
    EXPECT_EQ(z6_fmod(MINV, MINV), 0);
}

TEST(Fixed, OperatorCodesDispatch) {
    EXPECT_EQ(luaO_arith(LUA_OPADD, 0x7fffffff, 1), MINV);
    EXPECT_EQ(luaO_arith(LUA_OPSUB, MINV, 1), 0x7fffffff);
    EXPECT_EQ(luaO_arith(LUA_OPUNM, MINV, 0), MINV);
    EXPECT_EQ(luaO_arith(LUA_OPBAND, 0x18000, ONE), ONE); // 1.5 & 1
    EXPECT_EQ(luaO_arith(LUA_OPBNOT, 0, 12345), -1);      // ~0 is raw 0xffffffff
    EXPECT_EQ(luaO_arith(LUA_OPBXOR, fx(5), fx(3)), fx(6));
    EXPECT_EQ(luaO_arith(20, fx(1), fx(1)), 0); // unknown code
    pstate.console_ram[0x4334] = 0x56; // user data: plain bytes of console memory
    pstate.console_ram[0x4335] = 0x78;
    pstate.console_ram[0x4336] = 0x9a;
    pstate.console_ram[0x4337] = 0xbc;
    EXPECT_EQ(luaO_arith(LUA_OPPEEK, fx(0x4334) + 0x8000, 0), fx(0x56));
    EXPECT_EQ(luaO_arith(LUA_OPPEEK2, fx(0x4334), 0), fx(0x7856));
    EXPECT_EQ(static_cast<uint32_t>(luaO_arith(LUA_OPPEEK4, fx(0x4334), 0)), 0xbc9a7856u);
}

TEST(Fixed, ShiftsTakeTheIntegerPartOfTheCount) {
    const int32_t v = static_cast<int32_t>(0x80010001u);
    EXPECT_EQ(zibo6_shl(v, 0), v);
    EXPECT_EQ(zibo6_shl(v, 0x8000), v); // count 0.5 is 0
    EXPECT_EQ(zibo6_shl(1, fx(31)), MINV);
    EXPECT_EQ(zibo6_shl(v, fx(32)), 0);
    EXPECT_EQ(zibo6_shl(v, fx(-1)), 0x40008000); // the other way, logically
    EXPECT_EQ(zibo6_shl(v, fx(-32)), 0);
    EXPECT_EQ(zibo6_shl(v, -0x8000), 0x40008000); // -0.5 floors to -1
    EXPECT_EQ(zibo6_lshr(v, fx(31)), 1);
    EXPECT_EQ(zibo6_lshr(v, fx(32)), 0);
    EXPECT_EQ(zibo6_lshr(v, fx(-1)), 0x00020002);
    EXPECT_EQ(zibo6_ashr(v, fx(31)), -1);
    EXPECT_EQ(zibo6_ashr(v, fx(32)), -1);
    EXPECT_EQ(zibo6_ashr(0x7fffffff, fx(40)), 0);
    EXPECT_EQ(zibo6_ashr(v, fx(-1)), 0x00020002);
    EXPECT_EQ(zibo6_ashr(v, fx(-40)), 0);
    EXPECT_EQ(zibo6_ashr(fx(-16), fx(2)), fx(-4));
}

TEST(Fixed, RotationsTakeTheCountModulo32) {
    EXPECT_EQ(zibo6_rotl(MINV, ONE), 1);
    EXPECT_EQ(zibo6_rotr(1, ONE), MINV);
    EXPECT_EQ(zibo6_rotl(0x12345678, fx(32)), 0x12345678);
    EXPECT_EQ(zibo6_rotl(0x12345678, 0x8000), 0x12345678);
    EXPECT_EQ(zibo6_rotl(0x12345678, fx(-4)), static_cast<int32_t>(0x81234567u));
    EXPECT_EQ(zibo6_rotr(0x12345678, fx(36)), static_cast<int32_t>(0x81234567u));
    EXPECT_EQ(zibo6_rotl(0x12345678, fx(16)), 0x56781234);
}

TEST(Fixed, RootsAndPowersChargeCycles) {
    pstate.system_cycles = 0;
    EXPECT_EQ(z6_fsqrt(fx(2)), 92681); // sqrt(2) truncated to 16 fraction bits
    EXPECT_EQ(pstate.system_cycles, 16);
    EXPECT_EQ(z6_fsqrt(fx(-1)), 0);
    EXPECT_EQ(pstate.system_cycles, 16); // a negative root costs nothing
    EXPECT_EQ(z6_fsqrt(0), 0);
    EXPECT_EQ(pstate.system_cycles, 32);
    EXPECT_EQ(z6_fsqrt(0x7fffffff), 0xb504f3);
    EXPECT_EQ(z6_fsqrt(fx(16)), fx(4));

    pstate.system_cycles = 0;
    EXPECT_EQ(z6_fpow(fx(2), 0x8000), z6_fsqrt(fx(2)));
    EXPECT_EQ(pstate.system_cycles, 16 + 16 + 16); // root, end charge, the comparison's root
    pstate.system_cycles = 0;
    EXPECT_EQ(z6_fpow(fx(5), fx(2)), fx(25));
    EXPECT_EQ(pstate.system_cycles, 16); // an integral exponent costs one charge
    pstate.system_cycles = 0;
    EXPECT_EQ(z6_fpow(fx(7), 0), ONE);
    EXPECT_EQ(pstate.system_cycles, 0);
    EXPECT_EQ(z6_fpow(fx(2), fx(-1)), 0x8000);
    EXPECT_EQ(z6_fpow(0, fx(-1)), 0x7fffffff);
    EXPECT_EQ(z6_fpow(fx(3), MINV), ONE); // -32768 cannot be negated: 1.0
    EXPECT_EQ(z6_fpow(fx(200), fx(3)), z6_fmul(z6_fmul(fx(200), fx(200)), fx(200)));
    EXPECT_EQ(z6_fpow(fx(4), 0x18000), fx(8)); // 4 ^ 1.5
    // a negative base with a fraction gives 0, after running the loop
    pstate.system_cycles = 0;
    EXPECT_EQ(z6_fpow(fx(-8), 0x8000), 0);
    EXPECT_EQ(pstate.system_cycles, 16); // root of -8 is free, the end charge is not
    pstate.system_cycles = 0;
    EXPECT_EQ(z6_fpow(fx(-8), 0x18000), 0);
    EXPECT_EQ(z6_fpow(fx(-8), 0xc000), 0);
    EXPECT_EQ(pstate.system_cycles, 16 + 16 + 16); // then one root of 0 and two end charges
    EXPECT_EQ(z6_fpow(fx(-2), fx(3)), fx(-8));
}

TEST(Fixed, BakhshaliRootIsCloseOverTheWholeRange) {
    // close to the true root of the 16.16 input, large inputs too
    for (double v : {0.01, 0.25, 0.5, 2.0, 100.0, 10000.0, 20000.0, 30000.0, 32767.99}) {
        int32_t raw = static_cast<int32_t>(v * 65536);
        double root = std::sqrt(raw / 65536.0);
        EXPECT_NEAR(fsqrt_Bakhsali(raw) / 65536.0, root, std::max(root * 3e-5, 4 / 65536.0)) << v;
    }
    EXPECT_EQ(fsqrt_Bakhsali(0), 0);
    EXPECT_EQ(fsqrt_Bakhsali(-ONE), 0);
}

TEST(Fixed, RandomGenerator) {
    set_rand_seed(0, 0x12345678u);
    set_rand_seed(1, 0x9abcdef0u);
    set_rand_seed(2, 0xffffffffu); // ignored
    EXPECT_EQ(get_rand_seed(0), 0x12345678u);
    EXPECT_EQ(get_rand_seed(1), 0x9abcdef0u);
    EXPECT_EQ(get_rand_seed(7), 0u);
    EXPECT_EQ(zibo6_random(0), 0u); // does not advance
    EXPECT_EQ(get_rand_seed(0), 0x12345678u);
    EXPECT_EQ(zibo6_random(0xffffffffu), 0xf134f124u);
    EXPECT_EQ(get_rand_seed(1), 0x8bf1d014u);
    EXPECT_EQ(zibo6_random(10),
              (((0x8bf1d014u + ((0xf134f124u << 16) | (0xf134f124u >> 16)))) % 10));

    pstate.system_cycles = 0;
    zibo6_srand(fx(42));
    EXPECT_EQ(pstate.system_cycles, 16);
    uint32_t a = zibo6_random(1000), b = zibo6_random(1000);
    zibo6_srand(fx(42));
    EXPECT_EQ(zibo6_random(1000), a);
    EXPECT_EQ(zibo6_random(1000), b);
    zibo6_srand(0);
    uint32_t h0 = get_rand_seed(0);
    zibo6_srand(0);
    EXPECT_EQ(get_rand_seed(0), h0);
    EXPECT_NE(h0, 0x60009755u); // 32 steps were taken
}

TEST(Fixed, TextForm) {
    EXPECT_EQ(str(ONE), "1");
    EXPECT_EQ(str(0x8000), "0.5");
    EXPECT_EQ(str(fx(10)), "10");
    EXPECT_EQ(str(0x5555), "0.3333");
    EXPECT_EQ(str(0x7fffffff), "32768");
    EXPECT_EQ(str(0x1ffff), "2");
    EXPECT_EQ(str(1), "0");
    EXPECT_EQ(str(-1), "-0");
    EXPECT_EQ(str(MINV), "-32768");
    EXPECT_EQ(str(-0x18000), "-1.5");
    EXPECT_EQ(str(0x400), "0.0156"); // 1/64: 0.015625 at four decimals
    EXPECT_EQ(str(0), "0");
    EXPECT_EQ(str(fx(-5)), "-5");
    EXPECT_EQ(str(fx(32767)), "32767");
    EXPECT_EQ(str(fx(-1) + 1), "-1"); // just above -1: rounds to a whole number
}

TEST(Fixed, TextToNumber) {
    EXPECT_EQ(parse("0x1.8"), 0x18000);
    EXPECT_EQ(parse("0x.8"), 0x8000);
    EXPECT_EQ(parse("0X10"), fx(16));
    EXPECT_EQ(parse("-0x10"), fx(-16));
    EXPECT_EQ(parse("0x12345"), fx(0x2345)); // only four integer digits survive
    EXPECT_EQ(parse("0x1.23456"), 0x12345);  // only four fraction digits count
    EXPECT_EQ(parse("0x"), FAILS);
    EXPECT_EQ(parse("0x."), FAILS);
    EXPECT_EQ(parse("0x1p4"), FAILS);
    EXPECT_EQ(parse("1x"), FAILS);
    EXPECT_EQ(parse("0b101.1"), 0x58000);
    EXPECT_EQ(parse("0b.00000000000000011"), 1); // 16 fraction bits, the 17th ignored
    EXPECT_EQ(parse("1b"), FAILS);
    EXPECT_EQ(parse("0b2"), FAILS);
    EXPECT_EQ(parse(" 12 "), fx(12));
    EXPECT_EQ(parse("\t12\n"), fx(12));
    EXPECT_EQ(parse("1e3"), fx(1000));
    EXPECT_EQ(parse("0.1"), 6553);
    EXPECT_EQ(parse(".5"), 0x8000);
    EXPECT_EQ(parse("+7"), fx(7));
    EXPECT_EQ(parse("-2.5"), -0x28000);
    EXPECT_EQ(parse("32768"), MINV);
    EXPECT_EQ(parse("65536"), 0);
    EXPECT_EQ(parse("65537"), ONE);
    EXPECT_EQ(parse("1e400"), 0); // out of range: 0, not undefined
    EXPECT_EQ(parse("-1e400"), 0);
    EXPECT_EQ(parse("1e-400"), 0);
    EXPECT_EQ(parse("281474976710657"), ONE); // 2^48 + 1 wraps exactly
    EXPECT_EQ(parse("nan"), FAILS);
    EXPECT_EQ(parse("inf"), FAILS);
    EXPECT_EQ(parse("-INF"), FAILS);
    EXPECT_EQ(parse("1n"), FAILS);
    EXPECT_EQ(parse(""), FAILS);
    EXPECT_EQ(parse("   "), FAILS);
    EXPECT_EQ(parse("1 2"), FAILS);
    EXPECT_EQ(parse("+-1"), FAILS);
    EXPECT_EQ(parse("1e"), FAILS);
    // the given length bounds the text
    lua_Number v = 0;
    EXPECT_EQ(luaO_str2d("12x", 2, &v), 1);
    EXPECT_EQ(v, fx(12));
}

TEST(Fixed, ConversionsIgnoreTheLocale) {
    const char *saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string restore = saved ? saved : "C";
    bool comma = false;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
            comma = true;
            break;
        }
    std::string text = str(0x8000);
    int64_t parsed = parse("2.5");
    std::setlocale(LC_NUMERIC, restore.c_str());
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_EQ(text, "0.5");
    EXPECT_EQ(parsed, 0x28000);
}

TEST(Fixed, SizeBytes) {
    for (unsigned n : {0u, 7u, 8u, 9u, 50u, 1000u, 65535u, 1u << 20})
        EXPECT_GE(luaO_fb2int(luaO_int2fb(n)), static_cast<int>(n));
    EXPECT_EQ(luaO_fb2int(luaO_int2fb(8)), 8);
    EXPECT_EQ(luaO_fb2int(0xff), MAX_INT); // clamped, not overflowed
    EXPECT_EQ(luaO_ceillog2(1), 0);
    EXPECT_EQ(luaO_ceillog2(2), 1);
    EXPECT_EQ(luaO_ceillog2(3), 2);
    EXPECT_EQ(luaO_ceillog2(256), 8);
    EXPECT_EQ(luaO_ceillog2(257), 9);
    EXPECT_EQ(luaO_hexavalue('F'), 15);
    EXPECT_EQ(luaO_hexavalue('7'), 7);
}

TEST(Fixed, ChunkIds) {
    char out[LUA_IDSIZE];
    luaO_chunkid(out, "=stdin", LUA_IDSIZE);
    EXPECT_STREQ(out, "stdin");
    luaO_chunkid(out, "@cart.lua", LUA_IDSIZE);
    EXPECT_STREQ(out, "cart.lua");
    luaO_chunkid(out, "x = 1\ny = 2", LUA_IDSIZE);
    EXPECT_STREQ(out, "[string \"x = 1...\"]");
    std::string longname = "@" + std::string(100, 'a') + "end";
    luaO_chunkid(out, longname.c_str(), LUA_IDSIZE);
    EXPECT_EQ(std::strlen(out), static_cast<size_t>(LUA_IDSIZE - 1));
    EXPECT_EQ(std::string(out).substr(0, 3), "...");
    std::string longsrc(200, 'b');
    luaO_chunkid(out, longsrc.c_str(), LUA_IDSIZE);
    EXPECT_LT(std::strlen(out), static_cast<size_t>(LUA_IDSIZE));
}

namespace {
int fmt_numbers(lua_State *L) {
    luaO_pushfstring(L, "%d|%d|%f|%s|%s|%c|%%", fx(3), 3, 0x8000, "txt",
                     static_cast<const char *>(nullptr), 'z');
    return 1;
}
int fmt_bad(lua_State *L) {
    luaO_pushfstring(L, "value %q", 1);
    return 1;
}
} // namespace

TEST(Fixed, MessageFormatter) {
    z6heap::State L;
    lua_pushcfunction(L, fmt_numbers);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), LUA_OK) << z6heap::text(L, -1);
    EXPECT_EQ(z6heap::text(L, -1), "3|0|0.5|txt|(null)|z|%");
    lua_pop(L, 1);
    lua_pushcfunction(L, fmt_bad);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), LUA_ERRRUN);
    EXPECT_EQ(z6heap::text(L, -1), "invalid option '%q' to 'lua_pushfstring'");
    lua_pop(L, 1);
    const char *p = lua_pushfstring(L, "%p", reinterpret_cast<void *>(0x12345678abcull));
    EXPECT_STREQ(p, "0x45678abc"); // the low 32 bits
}
