// Cart data bindings (cartdata, dget, dset).
#include <cstdint>
#include <cstring>

#include "cart/cdata.h"
#include "console/api.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/vull.h"

int z6_cartdata(lua_State *L) {
    int t = lua_type(L, 1);
    if (t != LUA_TSTRING && t != LUA_TNUMBER) return 0;
    const char *error = nullptr;
    int result = load_cdata(lua_tostring(L, 1), &error);
    if (error) return zibo6_runtime_error(L, error);
    lua_pushboolean(L, result == 0);
    return 1;
}

int z6_dget(lua_State *L) {
    if (!cdata_id()[0]) return zibo6_runtime_error(L, "dget called before cartdata()");
    int i = z6_arg_int(L, 1);
    uint32_t v = (i >= 0 && i < CDATA_WORDS) ? pstate.cartdata_words[i] : 0;
    lua_pushnumber(L, lua_Number(int32_t(v)));
    return 1;
}

int z6_dset(lua_State *L) {
    if (!cdata_id()[0]) return zibo6_runtime_error(L, "dset called before cartdata()");
    int i = z6_arg_int(L, 1);
    if (i < 0 || i >= CDATA_WORDS) return 0;
    uint32_t v = uint32_t(lua_tonumberx(L, 2, nullptr));
    if (pstate.cartdata_words[i] != v) {
        pstate.cartdata_words[i] = v;
        pstate.cartdata_dirty = 1;
    }
    return 0;
}
