/*
** Script VM: library initialisation.  The console registers the single
** functions it wants itself; luaL_openlibs only prepares the registry.
*/
#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

LUALIB_API void luaL_openlibs (lua_State *L) {
  luaL_getsubtable(L, LUA_REGISTRYINDEX, "_PRELOAD");
  lua_pop(L, 1);
}
