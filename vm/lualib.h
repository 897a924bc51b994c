/*
** Script VM: the standard libraries.  Besides the openers, the single
** functions that the console registers under its own global names.
*/
#ifndef Z6_LUALIB_H
#define Z6_LUALIB_H

#include "vm/lua.h"

#define LUA_COLIBNAME   "coroutine"
#define LUA_TABLIBNAME  "table"
#define LUA_IOLIBNAME   "io"
#define LUA_OSLIBNAME   "os"
#define LUA_STRLIBNAME  "string"
#define LUA_BITLIBNAME  "bit32"
#define LUA_MATHLIBNAME "math"
#define LUA_DBLIBNAME   "debug"
#define LUA_LOADLIBNAME "package"

LUAMOD_API int(luaopen_base)(lua_State *L);
LUAMOD_API int(luaopen_coroutine)(lua_State *L);
LUAMOD_API int(luaopen_table)(lua_State *L);
LUAMOD_API int(luaopen_io)(lua_State *L);
LUAMOD_API int(luaopen_os)(lua_State *L);
LUAMOD_API int(luaopen_string)(lua_State *L);
LUAMOD_API int(luaopen_bit32)(lua_State *L);
LUAMOD_API int(luaopen_math)(lua_State *L);
LUAMOD_API int(luaopen_debug)(lua_State *L);
LUAMOD_API int(luaopen_package)(lua_State *L);

/* makes sure the registry holds "_PRELOAD"; opens no library */
LUALIB_API void(luaL_openlibs)(lua_State *L);

/* for hosts outside the console: luaL_openlibs, then either the stock
   libraries under their module names or the cart set of globals (the
   console's names plus print, type, pairs and ipairs) */
LUALIB_API void(luaL_openhostlibs)(lua_State *L, int stock);

/* base library (lbaselib) */
int luaB_next(lua_State *L);
int luaB_pairs(lua_State *L);
int luaB_ipairs(lua_State *L);
int luaB_getmetatable(lua_State *L);
int luaB_setmetatable(lua_State *L);
int luaB_rawequal(lua_State *L);
int luaB_rawlen(lua_State *L);
int luaB_rawget(lua_State *L);
int luaB_rawset(lua_State *L);
int luaB_select(lua_State *L);
int luaB_assert(lua_State *L);
int luaB_tostring(lua_State *L);
int luaB_type(lua_State *L);
int luaB_print(lua_State *L);

/* coroutine library (lcorolib) */
int luaB_cocreate(lua_State *L);
int luaB_coresume(lua_State *L);
int luaB_costatus(lua_State *L);
int luaB_yield(lua_State *L);

/* table library (ltablib): add, deli, del, count, unpack, pack */
int tinsert(lua_State *L);
int tremove(lua_State *L);
int tdel(lua_State *L);
int tcount(lua_State *L);
int unpack(lua_State *L);
int pack(lua_State *L);

/* string library (lstrlib): sub */
int str_sub(lua_State *L);

/* debug library (ldblib): trace and __trace */
int db_traceback(lua_State *L);

#endif
