/*
** Script VM: math library.
** Carts use the console's own fixed-point functions; this library maps
** the stock functions onto 16.16 values: exact for the integer-valued
** ones, the C library's result truncated to 16 fraction bits otherwise.
*/
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

static double n2d(lua_Number n) { return (double)n / 65536.0; }

/* a double as a 16.16 number: truncated toward zero, wrapping like
   number text; NaN gives 0 */
static lua_Number d2n(double d) {
    if (std::isnan(d)) return 0;
    d *= 65536.0;
    if (d >= 9.2e18) return (lua_Number)0x7fffffff;
    if (d <= -9.2e18) return (lua_Number)INT32_MIN;
    return (lua_Number)(uint32_t)(uint64_t)(int64_t)d;
}

static double checkd(lua_State *L, int arg) { return n2d(luaL_checknumber(L, arg)); }

static int pushd(lua_State *L, double d) {
    lua_pushnumber(L, d2n(d));
    return 1;
}

static int math_abs(lua_State *L) {
    lua_Number n = luaL_checknumber(L, 1);
    lua_pushnumber(L, n < 0 ? (lua_Number)(0u - (uint32_t)n) : n);
    return 1;
}

static int math_sin(lua_State *L) { return pushd(L, std::sin(checkd(L, 1))); }
static int math_sinh(lua_State *L) { return pushd(L, std::sinh(checkd(L, 1))); }
static int math_cos(lua_State *L) { return pushd(L, std::cos(checkd(L, 1))); }
static int math_cosh(lua_State *L) { return pushd(L, std::cosh(checkd(L, 1))); }
static int math_tan(lua_State *L) { return pushd(L, std::tan(checkd(L, 1))); }
static int math_tanh(lua_State *L) { return pushd(L, std::tanh(checkd(L, 1))); }
static int math_asin(lua_State *L) { return pushd(L, std::asin(checkd(L, 1))); }
static int math_acos(lua_State *L) { return pushd(L, std::acos(checkd(L, 1))); }
static int math_atan(lua_State *L) { return pushd(L, std::atan(checkd(L, 1))); }

static int math_atan2(lua_State *L) { return pushd(L, std::atan2(checkd(L, 1), checkd(L, 2))); }

static int math_floor(lua_State *L) {
    lua_Number n = luaL_checknumber(L, 1);
    lua_pushnumber(L, (lua_Number)((uint32_t)n & 0xffff0000u));
    return 1;
}

static int math_ceil(lua_State *L) {
    lua_Number n = luaL_checknumber(L, 1);
    lua_pushnumber(L, (lua_Number)(((uint32_t)n + 0xffffu) & 0xffff0000u));
    return 1;
}

/* remainder with the sign of the dividend; exact on 16.16 values */
static int math_fmod(lua_State *L) {
    int64_t a = luaL_checknumber(L, 1);
    int64_t b = luaL_checknumber(L, 2);
    lua_pushnumber(L, b == 0 ? 0 : (lua_Number)(a % b));
    return 1;
}

static int math_modf(lua_State *L) {
    lua_Number n = luaL_checknumber(L, 1);
    /* integer part toward zero, then the fraction with n's sign */
    uint32_t ip =
        (n >= 0) ? ((uint32_t)n & 0xffff0000u) : (0u - ((0u - (uint32_t)n) & 0xffff0000u));
    lua_pushnumber(L, (lua_Number)ip);
    lua_pushnumber(L, (lua_Number)((uint32_t)n - ip));
    return 2;
}

static int math_sqrt(lua_State *L) { return pushd(L, std::sqrt(checkd(L, 1))); }

static int math_pow(lua_State *L) { return pushd(L, std::pow(checkd(L, 1), checkd(L, 2))); }

static int math_log(lua_State *L) {
    double x = checkd(L, 1);
    double res;
    if (lua_isnoneornil(L, 2))
        res = std::log(x);
    else {
        double base = checkd(L, 2);
        if (base == 10.0)
            res = std::log10(x);
        else
            res = std::log(x) / std::log(base);
    }
    return pushd(L, res);
}

static int math_exp(lua_State *L) { return pushd(L, std::exp(checkd(L, 1))); }

static int math_deg(lua_State *L) { return pushd(L, checkd(L, 1) * (180.0 / M_PI)); }

static int math_rad(lua_State *L) { return pushd(L, checkd(L, 1) * (M_PI / 180.0)); }

static int math_frexp(lua_State *L) {
    int e;
    lua_pushnumber(L, d2n(std::frexp(checkd(L, 1), &e)));
    lua_pushinteger(L, e);
    return 2;
}

static int math_ldexp(lua_State *L) {
    double x = checkd(L, 1);
    int ep = luaL_checkint(L, 2);
    return pushd(L, std::ldexp(x, ep));
}

/* the first of the numeric arguments that no later one beats */
static int pick_extreme(lua_State *L, bool want_max) {
    int n = lua_gettop(L);
    lua_Number best = luaL_checknumber(L, 1);
    for (int i = 2; i <= n; i++) {
        lua_Number d = luaL_checknumber(L, i);
        if (want_max ? (d > best) : (d < best)) best = d;
    }
    lua_pushnumber(L, best);
    return 1;
}

static int math_min(lua_State *L) { return pick_extreme(L, false); }

static int math_max(lua_State *L) { return pick_extreme(L, true); }

static int math_random(lua_State *L) {
    /* the C generator's value in [0, 1) */
    double r = (double)(std::rand() % RAND_MAX) / (double)RAND_MAX;
    switch (lua_gettop(L)) {
    case 0: return pushd(L, r);
    case 1: {
        double u = checkd(L, 1);
        luaL_argcheck(L, 1.0 <= u, 1, "interval is empty");
        return pushd(L, std::floor(r * u) + 1.0);
    }
    case 2: {
        double l = checkd(L, 1);
        double u = checkd(L, 2);
        luaL_argcheck(L, l <= u, 2, "interval is empty");
        return pushd(L, std::floor(r * (u - l + 1)) + l);
    }
    default: return luaL_error(L, "wrong number of arguments");
    }
}

static int math_randomseed(lua_State *L) {
    std::srand((unsigned int)luaL_checkint(L, 1));
    (void)std::rand();
    return 0;
}

static const luaL_Reg mathlib[] = {{"abs", math_abs},       {"acos", math_acos},
                                   {"asin", math_asin},     {"atan2", math_atan2},
                                   {"atan", math_atan},     {"ceil", math_ceil},
                                   {"cosh", math_cosh},     {"cos", math_cos},
                                   {"deg", math_deg},       {"exp", math_exp},
                                   {"floor", math_floor},   {"fmod", math_fmod},
                                   {"frexp", math_frexp},   {"ldexp", math_ldexp},
                                   {"log", math_log},       {"max", math_max},
                                   {"min", math_min},       {"modf", math_modf},
                                   {"pow", math_pow},       {"rad", math_rad},
                                   {"random", math_random}, {"randomseed", math_randomseed},
                                   {"sinh", math_sinh},     {"sin", math_sin},
                                   {"sqrt", math_sqrt},     {"tanh", math_tanh},
                                   {"tan", math_tan},       {NULL, NULL}};

LUAMOD_API int luaopen_math(lua_State *L) {
    luaL_newlib(L, mathlib);
    lua_pushnumber(L, d2n(M_PI));
    lua_setfield(L, -2, "pi");
    lua_pushnumber(L, (lua_Number)0x7fffffff);
    lua_setfield(L, -2, "huge");
    return 1;
}
