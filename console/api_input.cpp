// Cart-facing input calls: btn and btnp, the devkit keyboard and mouse rows
// of stat, the pause menu items a cart adds and the key configuration command.
#include "console/api.h"
#include "console/button.h"
#include "console/cpu.h"
#include "console/hooks.h"
#include "console/term.h"

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
    int b = z6_arg_int(L, 1);
    int p = lua_gettop(L) >= 2 ? z6_arg_int(L, 2) : 0;
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
    int i = z6_arg_int(L, 1);
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
    shell_hooks.keyconfig_init();
    pstate.sub_mode = 1;
    block_buttons();
    return 0;
}

namespace {

bool devkit_mode() { return pstate.console_ram[0x5f2d] & 1; }

// A bbs cart that reads the keyboard or mouse is told so, once until the
// run chain is reset.
void devkit_notice(const char *text) {
    if (devkit_notice_flag || !pstate.cart_code_running || !pstate.running_cart_lid[0]) return;
    devkit_notice_flag = 1;
    shell_hooks.show_message(text, 2000);
}

int push_int(lua_State *L, int v) {
    lua_pushnumber(L, int32_t(uint32_t(v) << 16));
    return 1;
}

} // namespace

int stat_devkit_input(lua_State *L, int n) {
    if (n != 28 && (n < 30 || n > 40)) return -1;
    if (n == 37) { // activity bits: read and cleared whatever the mode
        int bits = pstate.mouse_change;
        pstate.mouse_change = 0;
        if (devkit_mode()) devkit_notice("devkit mouse enabled");
        return push_int(L, bits);
    }
    if (!devkit_mode()) {
        if (n == 28 || n == 30) return lua_pushboolean(L, 0), 1;
        if (n == 31) return lua_pushstring(L, ""), 1;
        return push_int(L, 0);
    }
    devkit_notice(n <= 31 ? "devkit keyboard enabled" : "devkit mouse enabled");
    switch (n) {
    case 28:
        if (lua_type(L, 2) != LUA_TNUMBER) return push_int(L, 0);
        lua_pushboolean(L, z6_input.key(z6_arg_int(L, 2)) != 0);
        return 1;
    case 30: lua_pushboolean(L, pstate.typed_key_count > 0); return 1;
    case 31: {
        if (pstate.typed_key_count <= 0) {
            lua_pushstring(L, "");
        } else {
            char c = char(pstate.typed_keys[0]);
            pstate.typed_key_count--;
            std::memmove(pstate.typed_keys, pstate.typed_keys + 1, size_t(pstate.typed_key_count));
            lua_pushlstring(L, &c, 1);
        }
        push_int(L, 0);
        return 2;
    }
    case 32:
    case 33:
    case 34: {
        int xyb[3] = {0, 0, 0};
        z6_input.mouse(&xyb[0], &xyb[1], &xyb[2]);
        return push_int(L, xyb[n - 32]);
    }
    case 35: return push_int(L, zbtn.wheel_x);
    case 36: return push_int(L, zbtn.wheel_y);
    case 38:
    case 39: {
        if (!(pstate.console_ram[0x5f2d] & 4)) return push_int(L, 0);
        return push_int(L, n == 38 ? zbtn.rel_x : zbtn.rel_y);
    }
    default: return push_int(L, 0); // 40: no row of its own
    }
}
