/*
** z6vm: library registration.
** Cart mode registers the VM functions the console registers, under the
** console's names (plus print, tostring, type, pairs and ipairs);
** --stock-libs opens the libraries under their stock names instead.
*/
#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace {

struct GlobalReg {
    const char *name;
    lua_CFunction func;
};

/* the console's names for VM library functions (both registration batches) */
constexpr GlobalReg cart_functions[] = {
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
    /* the runner's own additions */
    {"print", luaB_print},
    {"type", luaB_type},
    {"pairs", luaB_pairs},
    {"ipairs", luaB_ipairs},
};

struct LibReg {
    const char *name;
    lua_CFunction open;
};

constexpr LibReg stock_libs[] = {
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

void z6vm_open_libs(lua_State *L, int stock) {
    luaL_openlibs(L);
    if (stock) {
        for (const LibReg &lib : stock_libs) {
            luaL_requiref(L, lib.name, lib.open, 1);
            lua_pop(L, 1);
        }
        return;
    }
    for (const GlobalReg &g : cart_functions) {
        lua_pushcfunction(L, g.func);
        lua_setglobal(L, g.name);
    }
}
