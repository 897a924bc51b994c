/*
** Script VM: base library.
** The console registers most of these one by one under its own names;
** luaopen_base opens the whole set under the stock names.
*/
#include <cstdio>
#include <cstring>

#include "vm/lauxlib.h"
#include "vm/llimits.h"
#include "vm/lua.h"
#include "vm/lualib.h"

int luaB_print(lua_State *L) {
    int n = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= n; i++) {
        size_t l;
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        const char *s = lua_tolstring(L, -1, &l);
        if (s == NULL) return luaL_error(L, "'tostring' must return a string to 'print'");
        if (i > 1) std::fputc('\t', stdout);
        std::fwrite(s, 1, l, stdout);
        lua_pop(L, 1);
    }
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
}

#define SPACECHARS " \f\n\r\t\v"

static int isalnum_c(int c) { /* locale-independent */
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static int luaB_tonumber(lua_State *L) {
    if (lua_isnoneornil(L, 2)) {
        int isnum;
        lua_Number n = lua_tonumberx(L, 1, &isnum);
        if (isnum) {
            lua_pushnumber(L, n);
            return 1;
        }
        luaL_checkany(L, 1);
    } else {
        size_t l;
        const char *s = luaL_checklstring(L, 1, &l);
        const char *e = s + l;
        int base = luaL_checkint(L, 2);
        int neg = 0;
        luaL_argcheck(L, 2 <= base && base <= 36, 2, "base out of range");
        s += std::strspn(s, SPACECHARS);
        if (*s == '-') {
            s++;
            neg = 1;
        } else if (*s == '+')
            s++;
        if (isalnum_c((unsigned char)*s)) {
            uint32_t n = 0; /* the digits' value, wrapping like a 16.16 integer part */
            do {
                int c = (unsigned char)*s;
                int digit = (c >= '0' && c <= '9') ? c - '0' : ((c | 0x20) - 'a') + 10;
                if (digit >= base) break;
                n = n * (uint32_t)base + (uint32_t)digit;
                s++;
            } while (isalnum_c((unsigned char)*s));
            s += std::strspn(s, SPACECHARS);
            if (s == e) {
                uint32_t raw = n << 16;
                lua_pushnumber(L, (lua_Number)(neg ? 0u - raw : raw));
                return 1;
            }
        }
    }
    lua_pushnil(L);
    return 1;
}

static int luaB_error(lua_State *L) {
    int level = luaL_optint(L, 2, 1);
    lua_settop(L, 1);
    if (lua_isstring(L, 1) && level > 0) {
        luaL_where(L, level);
        lua_pushvalue(L, 1);
        lua_concat(L, 2);
    }
    return lua_error(L);
}

int luaB_getmetatable(lua_State *L) {
    luaL_checkany(L, 1);
    if (!lua_getmetatable(L, 1)) {
        lua_pushnil(L);
        return 1;
    }
    luaL_getmetafield(L, 1, "__metatable");
    return 1;
}

int luaB_setmetatable(lua_State *L) {
    int t = lua_type(L, 2);
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_argcheck(L, t == LUA_TNIL || t == LUA_TTABLE, 2, "nil or table expected");
    if (luaL_getmetafield(L, 1, "__metatable"))
        return luaL_error(L, "cannot change a protected metatable");
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

int luaB_rawequal(lua_State *L) {
    luaL_checkany(L, 1);
    luaL_checkany(L, 2);
    lua_pushboolean(L, lua_rawequal(L, 1, 2));
    return 1;
}

int luaB_rawlen(lua_State *L) {
    int t = lua_type(L, 1);
    luaL_argcheck(L, t == LUA_TTABLE || t == LUA_TSTRING, 1, "table or string expected");
    lua_pushinteger(L, (lua_Integer)lua_rawlen(L, 1));
    return 1;
}

/* rawget and rawset: a table followed by n - 1 values, exactly n slots */
static void rawargs(lua_State *L, int n) {
    luaL_checktype(L, 1, LUA_TTABLE);
    for (int i = 2; i <= n; i++) luaL_checkany(L, i);
    lua_settop(L, n);
}

int luaB_rawget(lua_State *L) {
    rawargs(L, 2);
    lua_rawget(L, 1);
    return 1;
}

int luaB_rawset(lua_State *L) {
    rawargs(L, 3);
    lua_rawset(L, 1);
    return 1;
}

static int luaB_collectgarbage(lua_State *L) {
    static const char *const opts[] = {"stop",      "restart",      "collect",     "count",
                                       "step",      "setpause",     "setstepmul",  "setmajorinc",
                                       "isrunning", "generational", "incremental", NULL};
    static const int optsnum[] = {LUA_GCSTOP,       LUA_GCRESTART,     LUA_GCCOLLECT,
                                  LUA_GCCOUNT,      LUA_GCSTEP,        LUA_GCSETPAUSE,
                                  LUA_GCSETSTEPMUL, LUA_GCSETMAJORINC, LUA_GCISRUNNING,
                                  LUA_GCGEN,        LUA_GCINC};
    int o = optsnum[luaL_checkoption(L, 1, "collect", opts)];
    int ex = luaL_optint(L, 2, 0);
    int res = lua_gc(L, o, ex);
    switch (o) {
    case LUA_GCCOUNT: {
        int b = lua_gc(L, LUA_GCCOUNTB, 0);
        /* kilobytes in 16.16: bytes * 64, saturated */
        uint64_t raw = ((uint64_t)(unsigned)res * 1024u + (unsigned)b) * 64u;
        lua_pushnumber(L, raw > 0x7fffffffu ? (lua_Number)0x7fffffff : (lua_Number)raw);
        lua_pushinteger(L, b);
        return 2;
    }
    case LUA_GCSTEP:
    case LUA_GCISRUNNING: {
        lua_pushboolean(L, res);
        return 1;
    }
    default: {
        lua_pushinteger(L, res);
        return 1;
    }
    }
}

int luaB_type(lua_State *L) {
    luaL_checkany(L, 1);
    lua_pushstring(L, luaL_typename(L, 1));
    return 1;
}

/* pairs and ipairs: a metamethod supplies the three loop values itself;
   otherwise they are iter, the table and the first control value */
static int pairsmeta(lua_State *L, const char *method, bool from_zero, lua_CFunction iter) {
    if (luaL_getmetafield(L, 1, method)) {
        lua_pushvalue(L, 1);
        lua_call(L, 1, 3);
        return 3;
    }
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_pushcfunction(L, iter);
    lua_pushvalue(L, 1);
    if (from_zero)
        lua_pushinteger(L, 0);
    else
        lua_pushnil(L);
    return 3;
}

int luaB_next(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_settop(L, 2);
    if (lua_next(L, 1)) return 2;
    lua_pushnil(L);
    return 1;
}

int luaB_pairs(lua_State *L) { return pairsmeta(L, "__pairs", false, luaB_next); }

static int ipairsaux(lua_State *L) {
    int i = luaL_checkint(L, 2);
    luaL_checktype(L, 1, LUA_TTABLE);
    if (i >= Z6_MAXARRAYKEY) return 0; /* the next index would wrap to -32768 */
    i++;
    lua_pushinteger(L, i);
    lua_rawgeti(L, 1, i);
    return (lua_isnil(L, -1)) ? 1 : 2;
}

int luaB_ipairs(lua_State *L) { return pairsmeta(L, "__ipairs", true, ipairsaux); }

/* the loaded function, with the value at envidx (when nonzero) as its
   first upvalue; or nil and the message */
static int load_aux(lua_State *L, int status, int envidx) {
    if (status != LUA_OK) {
        lua_pushnil(L);
        lua_insert(L, -2);
        return 2;
    }
    if (envidx != 0) {
        lua_pushvalue(L, envidx);
        if (!lua_setupvalue(L, -2, 1)) /* no upvalues: drop the value */
            lua_pop(L, 1);
    }
    return 1;
}

static int luaB_loadfile(lua_State *L) {
    const char *fname = luaL_optstring(L, 1, NULL);
    const char *mode = luaL_optstring(L, 2, NULL);
    int env = (!lua_isnone(L, 3) ? 3 : 0);
    int status = luaL_loadfilex(L, fname, mode);
    return load_aux(L, status, env);
}

/* load's reader keeps the piece it hands the parser in this slot, past
   load's four arguments, so the collector cannot free it mid-parse */
#define RESERVEDSLOT 5

static const char *generic_reader(lua_State *L, void *ud, size_t *size) {
    (void)ud;
    luaL_checkstack(L, 2, "too many nested functions");
    lua_pushvalue(L, 1);
    lua_call(L, 0, 1);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        *size = 0;
        return NULL;
    } else if (!lua_isstring(L, -1))
        luaL_error(L, "reader function must return a string");
    lua_replace(L, RESERVEDSLOT);
    return lua_tolstring(L, RESERVEDSLOT, size);
}

static int luaB_load(lua_State *L) {
    int status;
    size_t l;
    const char *s = lua_tolstring(L, 1, &l);
    const char *mode = luaL_optstring(L, 3, "bt");
    int env = (!lua_isnone(L, 4) ? 4 : 0);
    if (s != NULL) {
        const char *chunkname = luaL_optstring(L, 2, s);
        status = luaL_loadbufferx(L, s, l, chunkname, mode);
    } else {
        const char *chunkname = luaL_optstring(L, 2, "=(load)");
        luaL_checktype(L, 1, LUA_TFUNCTION);
        lua_settop(L, RESERVEDSLOT);
        status = lua_load(L, generic_reader, NULL, chunkname, mode);
    }
    return load_aux(L, status, env);
}

static int dofilecont(lua_State *L) { return lua_gettop(L) - 1; }

static int luaB_dofile(lua_State *L) {
    const char *fname = luaL_optstring(L, 1, NULL);
    lua_settop(L, 1);
    if (luaL_loadfile(L, fname) != LUA_OK) return lua_error(L);
    lua_callk(L, 0, LUA_MULTRET, 0, dofilecont);
    return dofilecont(L);
}

int luaB_assert(lua_State *L) {
    if (lua_toboolean(L, 1)) return lua_gettop(L);
    /* the console keeps the text for its runtime-error report */
    const char *text = (lua_gettop(L) >= 2) ? lua_tolstring(L, 2, NULL) : "";
    zibo6_vm.zibo6_assert_message(text);
    return luaL_error(L, "%s", luaL_optstring(L, 2, "assertion failed!"));
}

int luaB_select(lua_State *L) {
    int n = lua_gettop(L);
    if (lua_type(L, 1) == LUA_TSTRING && *lua_tostring(L, 1) == '#') {
        lua_pushinteger(L, n - 1);
        return 1;
    }
    int i = luaL_checkint(L, 1);
    if (i < 0)
        i = n + i;
    else if (i > n)
        i = n;
    luaL_argcheck(L, 1 <= i, 1, "index out of range");
    return n - i;
}

/* the status goes into slot 1, in front of the results or the error; with
   no room left even for that, a fixed failure is reported instead */
static int finishpcall(lua_State *L, int status) {
    if (!lua_checkstack(L, 1)) {
        lua_settop(L, 0);
        lua_pushboolean(L, 0);
        lua_pushstring(L, "stack overflow");
        return 2;
    }
    lua_pushboolean(L, status);
    lua_replace(L, 1);
    return lua_gettop(L);
}

/* continuation of pcall and xpcall after a yield inside the called function */
static int pcallcont(lua_State *L) {
    int status = lua_getctx(L, NULL);
    return finishpcall(L, (status == LUA_YIELD));
}

static int luaB_pcall(lua_State *L) {
    luaL_checkany(L, 1);
    lua_pushnil(L);
    lua_insert(L, 1);
    int status = lua_pcallk(L, lua_gettop(L) - 2, LUA_MULTRET, 0, 0, pcallcont);
    return finishpcall(L, (status == LUA_OK));
}

static int luaB_xpcall(lua_State *L) {
    int n = lua_gettop(L);
    luaL_argcheck(L, n >= 2, 2, "value expected");
    /* handler goes to slot 1, the function to slot 2 above it */
    lua_pushvalue(L, 1);
    lua_copy(L, 2, 1);
    lua_replace(L, 2);
    int status = lua_pcallk(L, n - 2, LUA_MULTRET, 1, 0, pcallcont);
    return finishpcall(L, (status == LUA_OK));
}

int luaB_tostring(lua_State *L) {
    luaL_checkany(L, 1);
    luaL_tolstring(L, 1, NULL);
    return 1;
}

static const luaL_Reg base_funcs[] = {{"assert", luaB_assert},
                                      {"collectgarbage", luaB_collectgarbage},
                                      {"dofile", luaB_dofile},
                                      {"error", luaB_error},
                                      {"getmetatable", luaB_getmetatable},
                                      {"ipairs", luaB_ipairs},
                                      {"loadfile", luaB_loadfile},
                                      {"load", luaB_load},
                                      {"next", luaB_next},
                                      {"pairs", luaB_pairs},
                                      {"pcall", luaB_pcall},
                                      {"print", luaB_print},
                                      {"rawequal", luaB_rawequal},
                                      {"rawlen", luaB_rawlen},
                                      {"rawget", luaB_rawget},
                                      {"rawset", luaB_rawset},
                                      {"select", luaB_select},
                                      {"setmetatable", luaB_setmetatable},
                                      {"tonumber", luaB_tonumber},
                                      {"tostring", luaB_tostring},
                                      {"type", luaB_type},
                                      {"xpcall", luaB_xpcall},
                                      {NULL, NULL}};

LUAMOD_API int luaopen_base(lua_State *L) {
    lua_pushglobaltable(L);
    lua_pushglobaltable(L);
    lua_setfield(L, -2, "_G");
    luaL_setfuncs(L, base_funcs, 0);
    lua_pushliteral(L, LUA_VERSION);
    lua_setfield(L, -2, "_VERSION");
    return 1;
}
