/*
** Script VM: debug library.  Carts reach only db_traceback (as trace
** and __trace).  Hooks are stored but the VM never calls them.
*/
#include <cstdio>
#include <cstring>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

#define HOOKKEY "_HKEY"

static int db_getregistry(lua_State *L) {
    lua_pushvalue(L, LUA_REGISTRYINDEX);
    return 1;
}

static int db_getmetatable(lua_State *L) {
    luaL_checkany(L, 1);
    if (!lua_getmetatable(L, 1)) { lua_pushnil(L); }
    return 1;
}

static int db_setmetatable(lua_State *L) {
    int t = lua_type(L, 2);
    luaL_argcheck(L, t == LUA_TNIL || t == LUA_TTABLE, 2, "nil or table expected");
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

static int db_getuservalue(lua_State *L) {
    if (lua_type(L, 1) != LUA_TUSERDATA)
        lua_pushnil(L);
    else
        lua_getuservalue(L, 1);
    return 1;
}

static int db_setuservalue(lua_State *L) {
    if (lua_type(L, 1) == LUA_TLIGHTUSERDATA)
        luaL_argerror(L, 1, "full userdata expected, got light userdata");
    luaL_checktype(L, 1, LUA_TUSERDATA);
    if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TTABLE);
    lua_settop(L, 2);
    lua_setuservalue(L, 1);
    return 1;
}

static void settabss(lua_State *L, const char *i, const char *v) {
    lua_pushstring(L, v);
    lua_setfield(L, -2, i);
}

static void settabsi(lua_State *L, const char *i, int v) {
    lua_pushinteger(L, v);
    lua_setfield(L, -2, i);
}

static void settabsb(lua_State *L, const char *i, int v) {
    lua_pushboolean(L, v);
    lua_setfield(L, -2, i);
}

/* the thread named by argument 1, if any ('arg' then counts it) */
static lua_State *getthread(lua_State *L, int *arg) {
    if (lua_isthread(L, 1)) {
        *arg = 1;
        return lua_tothread(L, 1);
    }
    *arg = 0;
    return L;
}

/* moves the value lua_getinfo pushed on L1 into field fname of the result
   table on L; when L1 is L, the value sits under that table */
static void treatstackoption(lua_State *L, lua_State *L1, const char *fname) {
    if (L == L1) {
        lua_pushvalue(L, -2);
        lua_remove(L, -3);
    } else
        lua_xmove(L1, L, 1);
    lua_setfield(L, -2, fname);
}

static int db_getinfo(lua_State *L) {
    lua_Debug ar;
    int arg;
    lua_State *L1 = getthread(L, &arg);
    const char *options = luaL_optstring(L, arg + 2, "flnStu");
    if (lua_isnumber(L, arg + 1)) {
        if (!lua_getstack(L1, (int)lua_tointeger(L, arg + 1), &ar)) {
            lua_pushnil(L);
            return 1;
        }
    } else if (lua_isfunction(L, arg + 1)) { /* '>' asks about the pushed function */
        lua_pushfstring(L, ">%s", options);
        options = lua_tostring(L, -1);
        lua_pushvalue(L, arg + 1);
        lua_xmove(L, L1, 1);
    } else
        return luaL_argerror(L, arg + 1, "function or level expected");
    if (!lua_getinfo(L1, options, &ar)) return luaL_argerror(L, arg + 2, "invalid option");
    auto wants = [options](char what) { return std::strchr(options, what) != NULL; };
    lua_createtable(L, 0, 2);
    if (wants('S')) {
        settabss(L, "source", ar.source);
        settabss(L, "short_src", ar.short_src);
        settabsi(L, "linedefined", ar.linedefined);
        settabsi(L, "lastlinedefined", ar.lastlinedefined);
        settabss(L, "what", ar.what);
    }
    if (wants('l')) settabsi(L, "currentline", ar.currentline);
    if (wants('u')) {
        settabsi(L, "nups", ar.nups);
        settabsi(L, "nparams", ar.nparams);
        settabsb(L, "isvararg", ar.isvararg);
    }
    if (wants('n')) {
        settabss(L, "name", ar.name);
        settabss(L, "namewhat", ar.namewhat);
    }
    if (wants('t')) settabsb(L, "istailcall", ar.istailcall);
    if (wants('L')) treatstackoption(L, L1, "activelines");
    if (wants('f')) treatstackoption(L, L1, "func");
    return 1;
}

static int db_getlocal(lua_State *L) {
    int arg;
    lua_State *L1 = getthread(L, &arg);
    lua_Debug ar;
    int nvar = luaL_checkint(L, arg + 2);
    if (lua_isfunction(L, arg + 1)) { /* a parameter name of the function */
        lua_pushvalue(L, arg + 1);
        lua_pushstring(L, lua_getlocal(L, NULL, nvar));
        return 1;
    }
    if (!lua_getstack(L1, luaL_checkint(L, arg + 1), &ar))
        return luaL_argerror(L, arg + 1, "level out of range");
    const char *name = lua_getlocal(L1, &ar, nvar);
    if (name) {
        lua_xmove(L1, L, 1);
        lua_pushstring(L, name);
        lua_pushvalue(L, -2);
        return 2;
    }
    lua_pushnil(L);
    return 1;
}

static int db_setlocal(lua_State *L) {
    int arg;
    lua_State *L1 = getthread(L, &arg);
    lua_Debug ar;
    if (!lua_getstack(L1, luaL_checkint(L, arg + 1), &ar))
        return luaL_argerror(L, arg + 1, "level out of range");
    luaL_checkany(L, arg + 3);
    lua_settop(L, arg + 3);
    lua_xmove(L, L1, 1);
    lua_pushstring(L, lua_setlocal(L1, &ar, luaL_checkint(L, arg + 2)));
    return 1;
}

static int auxupvalue(lua_State *L, int get) {
    int n = luaL_checkint(L, 2);
    luaL_checktype(L, 1, LUA_TFUNCTION);
    const char *name = get ? lua_getupvalue(L, 1, n) : lua_setupvalue(L, 1, n);
    if (name == NULL) return 0;
    lua_pushstring(L, name);
    lua_insert(L, -(get + 1));
    return get + 1;
}

static int db_getupvalue(lua_State *L) { return auxupvalue(L, 1); }

static int db_setupvalue(lua_State *L) {
    luaL_checkany(L, 3);
    return auxupvalue(L, 0);
}

static int checkupval(lua_State *L, int argf, int argnup) {
    lua_Debug ar;
    int nup = luaL_checkint(L, argnup);
    luaL_checktype(L, argf, LUA_TFUNCTION);
    lua_pushvalue(L, argf);
    lua_getinfo(L, ">u", &ar);
    luaL_argcheck(L, 1 <= nup && nup <= ar.nups, argnup, "invalid upvalue index");
    return nup;
}

static int db_upvalueid(lua_State *L) {
    int n = checkupval(L, 1, 2);
    lua_pushlightuserdata(L, lua_upvalueid(L, 1, n));
    return 1;
}

static int db_upvaluejoin(lua_State *L) {
    int n1 = checkupval(L, 1, 2);
    int n2 = checkupval(L, 3, 4);
    luaL_argcheck(L, !lua_iscfunction(L, 1), 1, "Lua function expected");
    luaL_argcheck(L, !lua_iscfunction(L, 3), 3, "Lua function expected");
    lua_upvaluejoin(L, 1, n1, 3, n2);
    return 0;
}

#define gethooktable(L) luaL_getsubtable(L, LUA_REGISTRYINDEX, HOOKKEY)

static void hookf(lua_State *L, lua_Debug *ar) {
    static const char *const hooknames[] = {"call", "return", "line", "count", "tail call"};
    gethooktable(L);
    lua_pushthread(L);
    lua_rawget(L, -2);
    if (lua_isfunction(L, -1)) {
        lua_pushstring(L, hooknames[(int)ar->event]);
        if (ar->currentline >= 0)
            lua_pushinteger(L, ar->currentline);
        else
            lua_pushnil(L);
        lua_call(L, 2, 0);
    }
}

/* "c", "r" and "l" in smask select call, return and line events; a
   positive count adds the count event */
static int makemask(const char *smask, int count) {
    int mask = 0;
    if (std::strchr(smask, 'c')) mask |= LUA_MASKCALL;
    if (std::strchr(smask, 'r')) mask |= LUA_MASKRET;
    if (std::strchr(smask, 'l')) mask |= LUA_MASKLINE;
    if (count > 0) mask |= LUA_MASKCOUNT;
    return mask;
}

static char *unmakemask(int mask, char *smask) {
    int i = 0;
    if (mask & LUA_MASKCALL) smask[i++] = 'c';
    if (mask & LUA_MASKRET) smask[i++] = 'r';
    if (mask & LUA_MASKLINE) smask[i++] = 'l';
    smask[i] = '\0';
    return smask;
}

/* the hook function of each thread lives in a weak-keyed registry table */
static int db_sethook(lua_State *L) {
    int arg;
    lua_State *L1 = getthread(L, &arg);
    lua_Hook func = NULL;
    int mask = 0, count = 0;
    if (lua_isnoneornil(L, arg + 1))
        lua_settop(L, arg + 1); /* no function: the hook is turned off */
    else {
        const char *smask = luaL_checkstring(L, arg + 2);
        luaL_checktype(L, arg + 1, LUA_TFUNCTION);
        count = luaL_optint(L, arg + 3, 0);
        func = hookf;
        mask = makemask(smask, count);
    }
    if (gethooktable(L) == 0) {
        /* new table: weak keys, being its own metatable, so that hooks do not
       keep dead threads alive */
        lua_pushstring(L, "k");
        lua_setfield(L, -2, "__mode");
        lua_pushvalue(L, -1);
        lua_setmetatable(L, -2);
    }
    lua_pushthread(L1);
    lua_xmove(L1, L, 1);
    lua_pushvalue(L, arg + 1);
    lua_rawset(L, -3); /* hooktable[L1] = function (or nil) */
    lua_sethook(L1, func, mask, count);
    return 0;
}

static int db_gethook(lua_State *L) {
    int arg;
    lua_State *L1 = getthread(L, &arg);
    char buff[5];
    int mask = lua_gethookmask(L1);
    lua_Hook hook = lua_gethook(L1);
    if (hook != NULL && hook != hookf)
        lua_pushliteral(L, "external hook");
    else {
        gethooktable(L);
        lua_pushthread(L1);
        lua_xmove(L1, L, 1);
        lua_rawget(L, -2);
        lua_remove(L, -2);
    }
    lua_pushstring(L, unmakemask(mask, buff));
    lua_pushinteger(L, lua_gethookcount(L1));
    return 3;
}

static int db_debug(lua_State *L) {
    for (;;) {
        char buffer[250];
        std::fputs("lua_debug> ", stderr);
        std::fflush(stderr);
        if (std::fgets(buffer, sizeof(buffer), stdin) == 0 || std::strcmp(buffer, "cont\n") == 0)
            return 0;
        if (luaL_loadbuffer(L, buffer, std::strlen(buffer), "=(debug command)") ||
            lua_pcall(L, 0, 0, 0)) {
            const char *msg = lua_tostring(L, -1);
            std::fprintf(stderr, "%s\n", msg ? msg : "(error object is not a string)");
            std::fflush(stderr);
        }
        lua_settop(L, 0);
    }
}

int db_traceback(lua_State *L) {
    int arg;
    lua_State *L1 = getthread(L, &arg);
    const char *msg = lua_tostring(L, arg + 1);
    if (msg == NULL && !lua_isnoneornil(L, arg + 1))
        lua_pushvalue(L, arg + 1);
    else {
        /* a named thread is traced from its level 0, even the running one */
        int level = luaL_optint(L, arg + 2, arg ? 0 : 1);
        luaL_traceback(L, L1, msg, level);
    }
    return 1;
}

static const luaL_Reg dblib[] = {{"debug", db_debug},
                                 {"getuservalue", db_getuservalue},
                                 {"gethook", db_gethook},
                                 {"getinfo", db_getinfo},
                                 {"getlocal", db_getlocal},
                                 {"getregistry", db_getregistry},
                                 {"getmetatable", db_getmetatable},
                                 {"getupvalue", db_getupvalue},
                                 {"upvaluejoin", db_upvaluejoin},
                                 {"upvalueid", db_upvalueid},
                                 {"setuservalue", db_setuservalue},
                                 {"sethook", db_sethook},
                                 {"setlocal", db_setlocal},
                                 {"setmetatable", db_setmetatable},
                                 {"setupvalue", db_setupvalue},
                                 {"traceback", db_traceback},
                                 {NULL, NULL}};

LUAMOD_API int luaopen_debug(lua_State *L) {
    luaL_newlib(L, dblib);
    return 1;
}
