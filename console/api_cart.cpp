// Cart data bindings (cartdata, dget, dset) and extcmd.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cart/capture.h"
#include "cart/cdata.h"
#include "console/shell_hooks.h"
#include "console/api.h"
#include "console/state.h"
#include "console/term.h"
#include "engine/vull.h"

namespace {

int word_index(lua_State *L, int i) { return lua_tonumberx(L, i, nullptr) >> 16; }

} // namespace

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
    int i = word_index(L, 1);
    uint32_t v = (i >= 0 && i < CDATA_WORDS) ? pstate.cartdata_words[i] : 0;
    lua_pushnumber(L, lua_Number(int32_t(v)));
    return 1;
}

int z6_dset(lua_State *L) {
    if (!cdata_id()[0]) return zibo6_runtime_error(L, "dset called before cartdata()");
    int i = word_index(L, 1);
    if (i < 0 || i >= CDATA_WORDS) return 0;
    uint32_t v = uint32_t(lua_tonumberx(L, 2, nullptr));
    if (pstate.cartdata_words[i] != v) {
        pstate.cartdata_words[i] = v;
        pstate.cartdata_dirty = 1;
    }
    return 0;
}

// The other commands come with the rest of the system API; until then they do nothing.
// The capture commands: 1 when command was one of them.
static int capture_extcmd(lua_State *L, const char *command) {
    char text[64];
    if (std::strcmp(command, "rec") == 0) {
        reset_video();
    } else if (std::strcmp(command, "rec_frames") == 0) {
        reset_video();
        app.rec_frames = 1;
    } else if (std::strcmp(command, "video") == 0) {
        app.rec_frames = 0;
        int to_output = lua_type(L, 3) == LUA_TNUMBER ? lua_tonumberx(L, 3, nullptr) != 0
                                                    : lua_toboolean(L, 3);
        int r = save_gif(int(lua_tonumberx(L, 2, nullptr) >> 16), to_output);
        if (r == 9)
            std::snprintf(text, sizeof text, "no video recorded (0 frames)");
        else if (r > 0)
            std::snprintf(text, sizeof text, "** could not save gif");
        else
            std::snprintf(text, sizeof text, to_output ? "saved %d second gif" : "saved %d second gif to desktop",
                          get_current_gif_len());
        show_message(text, 1500);
    } else if (std::strcmp(command, "label") == 0) {
        set_cart_label(shown_screen());
        show_message("saved label", 1500);
    }
    return 0;
}

int z6_extcmd(lua_State *L) {
    const char *command = lua_type(L, 1) == LUA_TSTRING ? lua_tostring(L, 1) : "";
    if (std::strcmp(command, "shutdown") == 0) vull_quit = 1;
    return capture_extcmd(L, command);
}
