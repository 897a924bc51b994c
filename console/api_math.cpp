// Console runtime: the math bindings.  All but rnd are fast calls: they read
// raw 16.16 values off the stack, return one raw value, never allocate and
// never raise.  Absent or non-numeric arguments read as 0.
#include <algorithm>

#include "console/api.h"
#include "engine/vmath.h"
#include "vm/zmath.h"
#include "console/cpu.h"

namespace {
constexpr int32_t ONE = 0x10000;

// Bit operations and rounding are cheaper than a call: they give back one
// cycle per argument.
inline void refund_args(lua_State *L) { z6f_refund_cycles(z6f_argc(L)); }

inline int32_t clear_fraction(uint32_t raw) { return static_cast<int32_t>(raw & 0xffff0000u); }
} // namespace

int z6f_flr(lua_State *L) {
    refund_args(L);
    return clear_fraction(static_cast<uint32_t>(z6f_arg(L, 1)));
}

// Unsigned so that ceil near the top of the range wraps as all 16.16
// arithmetic does, instead of overflowing.
int z6f_ceil(lua_State *L) {
    refund_args(L);
    return clear_fraction(static_cast<uint32_t>(z6f_arg(L, 1)) + 0xffffu);
}

int z6f_abs(lua_State *L) {
    int32_t x = z6f_arg(L, 1);
    if (x == INT32_MIN) return INT32_MAX; // the most negative has no opposite
    return x < 0 ? -x : x;
}

int z6f_sgn(lua_State *L) {
    if (z6f_argc(L) < 1) return ONE;
    return z6f_arg(L, 1) < 0 ? -ONE : ONE;
}

int z6f_min(lua_State *L) { return std::min(z6f_arg(L, 1), z6f_arg(L, 2)); }
int z6f_max(lua_State *L) { return std::max(z6f_arg(L, 1), z6f_arg(L, 2)); }

int z6f_mid(lua_State *L) {
    int32_t a = z6f_arg(L, 1), b = z6f_arg(L, 2), c = z6f_arg(L, 3);
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

int z6f_bnot(lua_State *L) {
    refund_args(L);
    return ~z6f_arg(L, 1);
}
int z6f_band(lua_State *L) {
    refund_args(L);
    return z6f_arg(L, 1) & z6f_arg(L, 2);
}
int z6f_bor(lua_State *L) {
    refund_args(L);
    return z6f_arg(L, 1) | z6f_arg(L, 2);
}
int z6f_bxor(lua_State *L) {
    refund_args(L);
    return z6f_arg(L, 1) ^ z6f_arg(L, 2);
}
int z6f_shl(lua_State *L) {
    refund_args(L);
    return zibo6_shl(z6f_arg(L, 1), z6f_arg(L, 2));
}
int z6f_shr(lua_State *L) {
    refund_args(L);
    return zibo6_ashr(z6f_arg(L, 1), z6f_arg(L, 2));
}
int z6f_lshr(lua_State *L) {
    refund_args(L);
    return zibo6_lshr(z6f_arg(L, 1), z6f_arg(L, 2));
}
int z6f_rotl(lua_State *L) {
    refund_args(L);
    return zibo6_rotl(z6f_arg(L, 1), z6f_arg(L, 2));
}
int z6f_rotr(lua_State *L) {
    refund_args(L);
    return zibo6_rotr(z6f_arg(L, 1), z6f_arg(L, 2));
}

int z6f_sin(lua_State *L) { return fsin(z6f_arg(L, 1)); }
int z6f_cos(lua_State *L) { return fcos(z6f_arg(L, 1)); }
int z6f_atan2(lua_State *L) { return fatan2(z6f_arg(L, 1), z6f_arg(L, 2)); }

int z6f_sqrt(lua_State *L) {
    spend_cpu(6);
    return z6_fsqrt(z6f_arg(L, 1));
}

int z6f_srand(lua_State *L) {
    zibo6_srand(z6f_arg(L, 1) & 0x7fffffff);
    return 0;
}

// rnd(t) picks an element of a sequence; rnd(x) draws from [0, x).
int z6_rnd(lua_State *L) {
    spend_cpu(4);
    if (lua_type(L, 1) == LUA_TTABLE) {
        size_t len = lua_rawlen(L, 1);
        // 256 x the length must fit the generator's 32 bits; no sequence the
        // script heap can hold comes near, so the clamp only guards the maths
        uint32_t range = len > 0xffffffu ? 0xffffff00u : static_cast<uint32_t>(len) * 256u;
        lua_rawgeti(L, 1, static_cast<int>(zibo6_random(range) >> 8) + 1);
        return 1;
    }
    uint32_t x = lua_gettop(L) < 1 ? ONE : static_cast<uint32_t>(lua_tonumberx(L, 1, nullptr));
    lua_pushnumber(L, static_cast<lua_Number>(zibo6_random(x)));
    return 1;
}
