/*
** Script VM: package library (require and its searchers).
** There is no dynamic loading: the C searchers and loadlib report it.
*/
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

#define LUA_PATH         "LUA_PATH"
#define LUA_CPATH        "LUA_CPATH"
#define LUA_PATHSUFFIX   "_5_2"
#define LUA_PATHVERSION  LUA_PATH LUA_PATHSUFFIX
#define LUA_CPATHVERSION LUA_CPATH LUA_PATHSUFFIX

#define LUA_ROOT "/usr/local/"
#define LUA_LDIR LUA_ROOT "share/lua/5.2/"
#define LUA_CDIR LUA_ROOT "lib/lua/5.2/"
#define LUA_PATH_DEFAULT                                                                           \
    LUA_LDIR "?.lua;" LUA_LDIR "?/init.lua;" LUA_CDIR "?.lua;" LUA_CDIR "?/init.lua;"              \
             "./?.lua"
#define LUA_CPATH_DEFAULT                                                                          \
    LUA_CDIR "?.so;" LUA_CDIR "loadall.so;"                                                        \
             "./?.so"

#define LUA_DIRSEP    "/"
#define LUA_PATH_SEP  ";"
#define LUA_PATH_MARK "?"
#define LUA_EXEC_DIR  "!"
#define LUA_IGMARK    "-"
#define LUA_OFSEP     "_"
#define LUA_POF       "luaopen_"

/* lookforfunc's failures: no such library, or no such function in it */
#define ERRLIB  1
#define ERRFUNC 2

#define DLMSG "dynamic libraries not enabled; check your Lua installation"

/* registry key of the (always empty) table of opened C libraries */
#define CLIBS "_CLIBS"

/* the registry's C-library entry for 'path', or NULL */
static void *checkclib(lua_State *L, const char *path) {
    lua_getfield(L, LUA_REGISTRYINDEX, CLIBS);
    lua_getfield(L, -1, path);
    void *plib = lua_touserdata(L, -1);
    lua_pop(L, 2);
    return plib;
}

/* no library can be opened or searched without dynamic loading */
static int lookforfunc(lua_State *L, const char *path, const char *sym) {
    void *reg = checkclib(L, path);
    if (reg == NULL) {
        lua_pushliteral(L, DLMSG);
        return ERRLIB;
    }
    if (*sym == '*') {
        lua_pushboolean(L, 1);
        return 0;
    }
    lua_pushliteral(L, DLMSG);
    return ERRFUNC;
}

static int ll_loadlib(lua_State *L) {
    const char *path = luaL_checkstring(L, 1);
    const char *init = luaL_checkstring(L, 2);
    int stat = lookforfunc(L, path, init);
    if (stat == 0) return 1;
    lua_pushnil(L);
    lua_insert(L, -2);
    lua_pushstring(L, (stat == ERRLIB) ? "absent" : "init");
    return 3;
}

static bool readable(const char *filename) {
    std::FILE *f = std::fopen(filename, "r");
    if (f == NULL) return false;
    std::fclose(f);
    return true;
}

/* pushes the next template of a ';'-separated path and returns where the
   scan goes on; NULL once only separators are left */
static const char *pushnexttemplate(lua_State *L, const char *path) {
    path += std::strspn(path, LUA_PATH_SEP);
    if (*path == '\0') return NULL;
    size_t len = std::strcspn(path, LUA_PATH_SEP);
    lua_pushlstring(L, path, len);
    return path + len;
}

/* The first readable file among the templates of path, with each '?' made
   name (its sep strings turned into dirsep).  On failure returns NULL and
   leaves a "no file" line for every name tried. */
static const char *searchpath(lua_State *L, const char *name, const char *path, const char *sep,
                              const char *dirsep) {
    luaL_Buffer msg;
    luaL_buffinit(L, &msg);
    if (*sep != '\0') name = luaL_gsub(L, name, sep, dirsep);
    for (;;) {
        path = pushnexttemplate(L, path);
        if (path == NULL) break;
        const char *filename = luaL_gsub(L, lua_tostring(L, -1), LUA_PATH_MARK, name);
        lua_remove(L, -2); /* the template */
        if (readable(filename)) return filename;
        lua_pushfstring(L, "\n\tno file '%s'", filename);
        lua_remove(L, -2);
        luaL_addvalue(&msg);
    }
    luaL_pushresult(&msg);
    return NULL;
}

static int ll_searchpath(lua_State *L) {
    const char *f = searchpath(L, luaL_checkstring(L, 1), luaL_checkstring(L, 2),
                               luaL_optstring(L, 3, "."), luaL_optstring(L, 4, LUA_DIRSEP));
    if (f != NULL) return 1;
    lua_pushnil(L); /* under the list of files tried */
    lua_insert(L, -2);
    return 2;
}

static const char *findfile(lua_State *L, const char *name, const char *pname, const char *dirsep) {
    const char *path;
    lua_getfield(L, lua_upvalueindex(1), pname);
    path = lua_tostring(L, -1);
    if (path == NULL) luaL_error(L, "'package.%s' must be a string", pname);
    return searchpath(L, name, path, ".", dirsep);
}

static int checkload(lua_State *L, int stat, const char *filename) {
    if (stat) {
        lua_pushstring(L, filename);
        return 2;
    }
    return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", lua_tostring(L, 1),
                      filename, lua_tostring(L, -1));
}

static int searcher_Lua(lua_State *L) {
    const char *filename;
    const char *name = luaL_checkstring(L, 1);
    filename = findfile(L, name, "path", LUA_DIRSEP);
    if (filename == NULL) return 1;
    return checkload(L, (luaL_loadfile(L, filename) == LUA_OK), filename);
}

/* The opener for modname in filename: "luaopen_" and the name with dots
   as '_'.  For a name like "v2-mod" the part before the '-' is tried
   first, then the part after it. */
static int loadfunc(lua_State *L, const char *filename, const char *modname) {
    modname = luaL_gsub(L, modname, ".", LUA_OFSEP);
    if (const char *mark = std::strchr(modname, *LUA_IGMARK)) {
        const char *prefix = lua_pushlstring(L, modname, (size_t)(mark - modname));
        const char *funcname = lua_pushfstring(L, LUA_POF "%s", prefix);
        int stat = lookforfunc(L, filename, funcname);
        if (stat != ERRFUNC) return stat;
        modname = mark + 1;
    }
    const char *funcname = lua_pushfstring(L, LUA_POF "%s", modname);
    return lookforfunc(L, filename, funcname);
}

static int searcher_C(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    const char *filename = findfile(L, name, "cpath", LUA_DIRSEP);
    if (filename == NULL) return 1;
    return checkload(L, (loadfunc(L, filename, name) == 0), filename);
}

/* "a.b.c" looked up as the opener luaopen_a_b_c inside the library for
   "a" */
static int searcher_Croot(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    const char *dot = std::strchr(name, '.');
    if (dot == NULL) return 0;
    lua_pushlstring(L, name, (size_t)(dot - name));
    const char *filename = findfile(L, lua_tostring(L, -1), "cpath", LUA_DIRSEP);
    if (filename == NULL) return 1;
    int stat = loadfunc(L, filename, name);
    if (stat == 0) {
        lua_pushstring(L, filename);
        return 2;
    }
    if (stat != ERRFUNC) return checkload(L, 0, filename);
    lua_pushfstring(L, "\n\tno module '%s' in file '%s'", name, filename);
    return 1;
}

static int searcher_preload(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    lua_getfield(L, LUA_REGISTRYINDEX, "_PRELOAD");
    lua_getfield(L, -1, name);
    if (lua_isnil(L, -1)) lua_pushfstring(L, "\n\tno field package.preload['%s']", name);
    return 1;
}

/* Asks each searcher in turn and leaves the first loader with its extra
   value on the stack; a searcher's string answer is its reason for not
   finding the module, and all the reasons make up the error. */
static void findloader(lua_State *L, const char *name) {
    luaL_Buffer msg;
    luaL_buffinit(L, &msg);
    lua_getfield(L, lua_upvalueindex(1), "searchers");
    if (!lua_istable(L, 3)) luaL_error(L, "'package.searchers' must be a table");
    for (int i = 1;; i++) {
        lua_rawgeti(L, 3, i);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            luaL_pushresult(&msg);
            luaL_error(L, "module '%s' not found:%s", name, lua_tostring(L, -1));
        }
        lua_pushstring(L, name);
        lua_call(L, 1, 2);
        if (lua_isfunction(L, -2)) return;
        if (lua_isstring(L, -2)) {
            lua_pop(L, 1);
            luaL_addvalue(&msg);
        } else
            lua_pop(L, 2);
    }
}

/* Stack: 1 the name, 2 the loaded-modules table.  The loader's result is
   the module unless it is nil; a module that is still nil afterwards (the
   loader set nothing) becomes true. */
static int ll_require(lua_State *L) {
    const char *name = luaL_checkstring(L, 1);
    lua_settop(L, 1);
    lua_getfield(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_getfield(L, 2, name);
    if (lua_toboolean(L, -1)) return 1;
    lua_pop(L, 1);
    findloader(L, name);
    lua_pushstring(L, name);
    lua_insert(L, -2); /* loader(name, extra) */
    lua_call(L, 2, 1);
    if (!lua_isnil(L, -1)) lua_setfield(L, 2, name);
    lua_getfield(L, 2, name);
    if (lua_isnil(L, -1)) {
        lua_pushboolean(L, 1);
        lua_pushvalue(L, -1);
        lua_setfield(L, 2, name);
    }
    return 1;
}

/* would close the loaded C libraries; without dynamic loading there are none */
static int gctm(lua_State *L) {
    (void)L;
    return 0;
}

/* stands in for the default path while ";;" is expanded */
#define AUXMARK "\1"

static bool noenv(lua_State *L) {
    lua_getfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
    bool b = lua_toboolean(L, -1);
    lua_pop(L, 1);
    return b;
}

/* package[fieldname] from the first environment variable that is set
   (unless LUA_NOENV is), where ";;" stands for def; else def itself */
static void setpath(lua_State *L, const char *fieldname, const char *envname1, const char *envname2,
                    const char *def) {
    const char *path = std::getenv(envname1);
    if (path == NULL) path = std::getenv(envname2);
    if (path == NULL || noenv(L))
        lua_pushstring(L, def);
    else {
        path = luaL_gsub(L, path, LUA_PATH_SEP LUA_PATH_SEP, LUA_PATH_SEP AUXMARK LUA_PATH_SEP);
        luaL_gsub(L, path, AUXMARK, def);
        lua_remove(L, -2);
    }
    lua_setfield(L, -2, fieldname);
}

static const luaL_Reg pk_funcs[] = {
    {"loadlib", ll_loadlib}, {"searchpath", ll_searchpath}, {NULL, NULL}};

static const luaL_Reg ll_funcs[] = {{"require", ll_require}, {NULL, NULL}};

static void createsearcherstable(lua_State *L) {
    static const lua_CFunction searchers[] = {searcher_preload, searcher_Lua, searcher_C,
                                              searcher_Croot, NULL};
    lua_createtable(L, sizeof(searchers) / sizeof(searchers[0]) - 1, 0);
    for (int i = 0; searchers[i] != NULL; i++) {
        lua_pushvalue(L, -2); /* each searcher sees the package table */
        lua_pushcclosure(L, searchers[i], 1);
        lua_rawseti(L, -2, i + 1);
    }
}

LUAMOD_API int luaopen_package(lua_State *L) {
    luaL_getsubtable(L, LUA_REGISTRYINDEX, CLIBS);
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, gctm);
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
    luaL_newlib(L, pk_funcs);
    createsearcherstable(L);
    lua_setfield(L, -2, "searchers");
    setpath(L, "path", LUA_PATHVERSION, LUA_PATH, LUA_PATH_DEFAULT);
    setpath(L, "cpath", LUA_CPATHVERSION, LUA_CPATH, LUA_CPATH_DEFAULT);
    /* directory separator, path separator, name mark, executable-directory
     mark and ignore mark, one per line */
    lua_pushliteral(L, LUA_DIRSEP "\n" LUA_PATH_SEP "\n" LUA_PATH_MARK "\n" LUA_EXEC_DIR
                                  "\n" LUA_IGMARK "\n");
    lua_setfield(L, -2, "config");
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_setfield(L, -2, "loaded");
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_PRELOAD");
    lua_setfield(L, -2, "preload");
    lua_pushglobaltable(L);
    lua_pushvalue(L, -2);
    luaL_setfuncs(L, ll_funcs, 1);
    lua_pop(L, 1);
    return 1;
}
