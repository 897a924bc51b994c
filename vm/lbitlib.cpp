/*
** Script VM: bit32 library.
** Operands are integer parts sign-extended to 32-bit words; a result word
** r comes back as the number r << 16 (its low 16 bits survive).
*/
#include <cstdint>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

#define LUA_NBITS 32

typedef uint32_t b_uint;

#define ALLONES (~(b_uint)0)

/* keeps a result to the word size (a no-op while b_uint is 32 bits wide) */
static constexpr b_uint trim(b_uint x) { return x & ALLONES; }

/* the low n bits set, for 1 <= n <= LUA_NBITS */
static constexpr b_uint mask(int n) { return ~((ALLONES << 1) << (n - 1)); }

/* folds all arguments with op, starting from init */
template <typename Op> static b_uint foldargs(lua_State *L, b_uint init, Op op) {
    int n = lua_gettop(L);
    b_uint r = init;
    for (int i = 1; i <= n; i++) r = op(r, luaL_checkunsigned(L, i));
    return trim(r);
}

static b_uint andaux(lua_State *L) {
    return foldargs(L, ALLONES, [](b_uint a, b_uint b) { return a & b; });
}

static int b_and(lua_State *L) {
    lua_pushunsigned(L, andaux(L));
    return 1;
}

static int b_test(lua_State *L) {
    lua_pushboolean(L, andaux(L) != 0);
    return 1;
}

static int b_or(lua_State *L) {
    lua_pushunsigned(L, foldargs(L, 0, [](b_uint a, b_uint b) { return a | b; }));
    return 1;
}

static int b_xor(lua_State *L) {
    lua_pushunsigned(L, foldargs(L, 0, [](b_uint a, b_uint b) { return a ^ b; }));
    return 1;
}

static int b_not(lua_State *L) {
    lua_pushunsigned(L, trim(~luaL_checkunsigned(L, 1)));
    return 1;
}

/* shift left by i (right for negative i); 32 or more gives 0 */
static int b_shift(lua_State *L, b_uint r, lua_Integer i) {
    lua_Integer dist = (i < 0) ? -i : i;
    if (dist >= LUA_NBITS)
        r = 0;
    else if (i < 0)
        r = trim(r) >> dist;
    else
        r = trim(r << dist);
    lua_pushunsigned(L, r);
    return 1;
}

static int b_lshift(lua_State *L) {
    return b_shift(L, luaL_checkunsigned(L, 1), luaL_checkinteger(L, 2));
}

static int b_rshift(lua_State *L) {
    return b_shift(L, luaL_checkunsigned(L, 1), -luaL_checkinteger(L, 2));
}

/* a right shift that copies the top bit in; left shifts and words with a
   clear top bit are plain shifts */
static int b_arshift(lua_State *L) {
    b_uint r = luaL_checkunsigned(L, 1);
    lua_Integer i = luaL_checkinteger(L, 2);
    bool negative = (r & ((b_uint)1 << (LUA_NBITS - 1))) != 0;
    if (i < 0 || !negative) return b_shift(L, r, -i);
    if (i >= LUA_NBITS)
        r = ALLONES;
    else
        r = trim((r >> i) | ~(ALLONES >> i));
    lua_pushunsigned(L, r);
    return 1;
}

static int b_rot(lua_State *L, lua_Integer i) {
    b_uint r = trim(luaL_checkunsigned(L, 1));
    int k = (int)(i & (LUA_NBITS - 1));
    if (k != 0) /* a shift by the full width would be undefined */
        r = (r << k) | (r >> (LUA_NBITS - k));
    lua_pushunsigned(L, trim(r));
    return 1;
}

static int b_lrot(lua_State *L) { return b_rot(L, luaL_checkinteger(L, 2)); }

static int b_rrot(lua_State *L) { return b_rot(L, -luaL_checkinteger(L, 2)); }

/* the field position at farg and its width at farg + 1 (default 1); the
   field must lie within the word */
static int fieldargs(lua_State *L, int farg, int *width) {
    int f = luaL_checkint(L, farg);
    int w = luaL_optint(L, farg + 1, 1);
    luaL_argcheck(L, 0 <= f, farg, "field cannot be negative");
    luaL_argcheck(L, 0 < w, farg + 1, "width must be positive");
    if (f + w > LUA_NBITS) luaL_error(L, "trying to access non-existent bits");
    *width = w;
    return f;
}

static int b_extract(lua_State *L) {
    int w;
    b_uint r = luaL_checkunsigned(L, 1);
    int f = fieldargs(L, 2, &w);
    lua_pushunsigned(L, (r >> f) & mask(w));
    return 1;
}

static int b_replace(lua_State *L) {
    int w;
    b_uint r = luaL_checkunsigned(L, 1);
    b_uint v = luaL_checkunsigned(L, 2);
    int f = fieldargs(L, 3, &w);
    b_uint m = mask(w);
    lua_pushunsigned(L, (r & ~(m << f)) | ((v & m) << f));
    return 1;
}

static const luaL_Reg bitlib[] = {{"arshift", b_arshift},
                                  {"band", b_and},
                                  {"bnot", b_not},
                                  {"bor", b_or},
                                  {"bxor", b_xor},
                                  {"btest", b_test},
                                  {"extract", b_extract},
                                  {"lrotate", b_lrot},
                                  {"lshift", b_lshift},
                                  {"replace", b_replace},
                                  {"rrotate", b_rrot},
                                  {"rshift", b_rshift},
                                  {NULL, NULL}};

LUAMOD_API int luaopen_bit32(lua_State *L) {
    luaL_newlib(L, bitlib);
    return 1;
}
