// Cart-facing input calls: btn and btnp, the pause menu items a cart adds and
// the key configuration command.
#include "console/api.h"
#include "console/button.h"
#include "console/cpu.h"
#include "console/shell_hooks.h"

#include <algorithm>
#include <cstring>

namespace {

// Both calls share the argument rules; only the table differs.
int button_call(lua_State *L, const uint8_t (*table)[Z6_BUTTONS]) {
    if (lua_gettop(L) == 0) {
        int bits = 0;
        for (int b = 0; b < Z6_BUTTONS; b++) {
            if (table[0][b]) bits |= 1 << b;
            if (table[1][b]) bits |= 1 << (b + 8);
        }
        lua_pushnumber(L, int32_t(uint32_t(bits) << 16));
        return 1;
    }
    spend_cpu(4);
    int b = lua_tonumberx(L, 1, nullptr) >> 16;
    int p = lua_gettop(L) >= 2 ? lua_tonumberx(L, 2, nullptr) >> 16 : 0;
    b = b < 0 ? 0 : b > 7 ? 7 : b;
    lua_pushboolean(L, p >= 0 && p < Z6_PLAYERS && table[p][b]);
    return 1;
}

} // namespace

int z6_btn(lua_State *L) { return button_call(L, pstate.button_held); }

int z6_btnp(lua_State *L) { return button_call(L, zbtn.btnp); }

// _menuitem(i [, label]): the pause menu's cart items 1..5; the prelude's
// menuitem keeps the callbacks.
int z6_menuitem(lua_State *L) {
    int i = lua_tonumberx(L, 1, nullptr) >> 16;
    if (i < 1 || i > Z6_CART_ITEMS) return 0;
    char *label = pstate.cart_menu_label[i - 1];
    int t = lua_type(L, 2);
    if (t != LUA_TSTRING && t != LUA_TNUMBER) {
        label[0] = 0;
        return 0;
    }
    size_t n = 0;
    const char *s = lua_tolstring(L, 2, &n);
    n = s ? std::min<size_t>(n, 16) : 0;
    std::memcpy(label, s, n);
    label[n] = 0;
    return 0;
}

// keyconfig(): the key configuration screen, for a headless script only
// (inside a running cart with a window it does nothing).
int z6_keyconfig(lua_State *) {
    if (pstate.cart_code_running && !pstate.headless) return 0;
    keyconfig_init();
    pstate.sub_mode = 1;
    block_buttons();
    return 0;
}
