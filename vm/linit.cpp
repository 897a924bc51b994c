/*
** Script VM: library initialisation.  The console registers the single
** functions it wants itself; luaL_openlibs only prepares the registry.
** Hosts outside the console (the runner, the tests) open the cart set or
** the stock libraries through luaL_openhostlibs, so they share one list.
*/
#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace {

/* the console's names for VM library functions (both registration
   batches), then print, type, pairs and ipairs for hosts */
constexpr luaL_Reg cart_functions[] = {
    {"deli", tremove},
    {"add", tinsert},
    {"del", tdel},
    {"count", tcount},
    {"sub", str_sub},
    {"__pairs__", luaB_pairs},
    {"__ipairs__", luaB_ipairs},
    {"next", luaB_next},
    {"setmetatable", luaB_setmetatable},
    {"getmetatable", luaB_getmetatable},
    {"rawequal", luaB_rawequal},
    {"rawlen", luaB_rawlen},
    {"rawget", luaB_rawget},
    {"rawset", luaB_rawset},
    {"assert", luaB_assert},
    {"unpack", unpack},
    {"pack", pack},
    {"select", luaB_select},
    {"__trace", db_traceback},
    {"trace", db_traceback},
    {"cocreate", luaB_cocreate},
    {"coresume", luaB_coresume},
    {"costatus", luaB_costatus},
    {"yield", luaB_yield},
    /* the system batch */
    {"__tostring__", luaB_tostring},
    {"tostring", luaB_tostring},
    {"__type", luaB_type},
    {"__select", luaB_select},
    /* the hosts' own additions */
    {"print", luaB_print},
    {"type", luaB_type},
    {"pairs", luaB_pairs},
    {"ipairs", luaB_ipairs},
    {nullptr, nullptr},
};

constexpr luaL_Reg stock_libs[] = {
    {"_G", luaopen_base},
    {LUA_LOADLIBNAME, luaopen_package},
    {LUA_COLIBNAME, luaopen_coroutine},
    {LUA_TABLIBNAME, luaopen_table},
    {LUA_IOLIBNAME, luaopen_io},
    {LUA_OSLIBNAME, luaopen_os},
    {LUA_STRLIBNAME, luaopen_string},
    {LUA_BITLIBNAME, luaopen_bit32},
    {LUA_MATHLIBNAME, luaopen_math},
    {LUA_DBLIBNAME, luaopen_debug},
};

} // namespace

LUALIB_API void luaL_openlibs(lua_State *L) {
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_PRELOAD");
    lua_pop(L, 1);
}

LUALIB_API void luaL_openhostlibs(lua_State *L, int stock) {
    luaL_openlibs(L);
    if (stock) {
        for (const luaL_Reg &lib : stock_libs) {
            luaL_requiref(L, lib.name, lib.func, 1);
            lua_pop(L, 1);
        }
        return;
    }
    lua_pushglobaltable(L);
    luaL_setfuncs(L, cart_functions, 0);
    lua_pop(L, 1);
}
