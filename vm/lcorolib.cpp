/*
** Script VM: coroutine library.
** The console registers cocreate, costatus and (through its own wrapper)
** coresume; its own messages carry the "corolib: " prefix.
*/
#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

static lua_State *getco(lua_State *L) {
    lua_State *co = lua_tothread(L, 1);
    luaL_argcheck(L, co, 1, "coroutine expected");
    return co;
}

/* Moves the narg values on top of L into co and resumes it.  Returns how
   many values came back onto L, or -1 with an error message on L. */
static int auxresume(lua_State *L, lua_State *co, int narg) {
    if (!lua_checkstack(co, narg)) {
        lua_pushliteral(L, "corolib: too many arguments to resume");
        return -1;
    }
    bool finished = (lua_status(co) == LUA_OK && lua_gettop(co) == 0);
    if (finished) {
        lua_pushliteral(L, "corolib: cannot resume dead coroutine");
        return -1;
    }
    lua_xmove(L, co, narg); /* nothing moves when co is L itself */
    int status = lua_resume(co, L, narg);
    if (status != LUA_OK && status != LUA_YIELD) {
        lua_xmove(co, L, 1); /* the error value */
        return -1;
    }
    int nres = lua_gettop(co);
    if (!lua_checkstack(L, nres + 1)) {
        lua_pop(co, nres);
        lua_pushliteral(L, "corolib: too many results to resume");
        return -1;
    }
    lua_xmove(co, L, nres);
    return nres;
}

int luaB_coresume(lua_State *L) {
    lua_State *co = getco(L);
    int r = auxresume(L, co, lua_gettop(L) - 1);
    if (r < 0) {
        lua_pushboolean(L, 0);
        lua_insert(L, -2);
        return 2;
    }
    lua_pushboolean(L, 1);
    lua_insert(L, -(r + 1));
    return r + 1;
}

static int luaB_auxwrap(lua_State *L) {
    lua_State *co = lua_tothread(L, lua_upvalueindex(1));
    int r = auxresume(L, co, lua_gettop(L));
    if (r < 0) {
        if (lua_isstring(L, -1)) {
            luaL_where(L, 1);
            lua_insert(L, -2);
            lua_concat(L, 2);
        }
        return lua_error(L);
    }
    return r;
}

int luaB_cocreate(lua_State *L) {
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_State *NL = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, NL, 1);
    return 1;
}

static int luaB_cowrap(lua_State *L) {
    luaB_cocreate(L);
    lua_pushcclosure(L, luaB_auxwrap, 1);
    return 1;
}

int luaB_yield(lua_State *L) { return lua_yield(L, lua_gettop(L)); }

static const char *costatus_name(lua_State *L, lua_State *co) {
    if (L == co) return "running";
    switch (lua_status(co)) {
    case LUA_YIELD: return "suspended";
    case LUA_OK: {
        /* a thread with active frames resumed another one; without frames
         it is either finished (empty) or not started yet */
        lua_Debug ar;
        if (lua_getstack(co, 0, &ar) > 0) return "normal";
        return (lua_gettop(co) == 0) ? "dead" : "suspended";
    }
    default: /* stopped by an error */ return "dead";
    }
}

int luaB_costatus(lua_State *L) {
    lua_State *co = getco(L);
    lua_pushstring(L, costatus_name(L, co));
    return 1;
}

static int luaB_corunning(lua_State *L) {
    int ismain = lua_pushthread(L);
    lua_pushboolean(L, ismain);
    return 2;
}

static const luaL_Reg co_funcs[] = {{"create", luaB_cocreate},
                                    {"resume", luaB_coresume},
                                    {"running", luaB_corunning},
                                    {"status", luaB_costatus},
                                    {"wrap", luaB_cowrap},
                                    {"yield", luaB_yield},
                                    {NULL, NULL}};

LUAMOD_API int luaopen_coroutine(lua_State *L) {
    luaL_newlib(L, co_funcs);
    return 1;
}
