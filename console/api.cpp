// Console runtime: registration of the API into a VM state.
//
// One row per name, in registration order.
#include "console/api.h"

#include <cstdio>
#include <cstring>

#include "console/token.h"
#include "vm/lcpu.h"
#include "vm/lualib.h"

namespace {
constexpr bool R = true;  // recorded as an API name
constexpr bool U = false; // not recorded
constexpr z6_call_kind O = Z6_ORDINARY;
constexpr z6_call_kind F = Z6_FAST;
} // namespace

const z6_api_entry z6_api_table[] = {
    {"deli", tremove, O, R},
    {"add", tinsert, O, R},
    {"del", tdel, O, R},
    {"count", tcount, O, R},
    {"flip", z6_flip, O, R},
    {"__flip", z6_flip, O, U},
    {"__superyield", z6_superyield, O, U},
    {"reset", z6_reset, O, R},
    {"camera", z6_camera, O, R},
    {"clip", z6_clip, O, R},
    {"cls", z6_cls, O, R},
    {"folder", z6_folder, O, U},
    {"ls", z6_ls, O, R},
    {"dir", z6_ls, O, U},
    {"cd", z6_cd, O, U},
    {"mkdir", z6_mkdir, O, U},
    {"backup", z6_backup, O, U},
    {"install_demos", z6_install_demos, O, U},
    {"install_games", z6_install_games, O, U},
    {"keyconfig", z6_keyconfig, O, U},
    {"browse", z6_browse, O, U},
    {"pset", z6f_pset, F, R},
    {"pget", z6f_pget, F, R},
    {"color", z6_color, O, R},
    {"print", z6_print, O, R},
    {"printh", z6_printh, O, R},
    {"tostr", z6_tostr, O, R},
    {"__tostr", z6_tostr, O, U},
    {"__print", z6_print, O, U},
    {"__printh", z6_printh, O, U},
    {"cursor", z6_cursor, O, R},
    {"tonum", z6_tonum, O, R},
    {"spr", z6_spr, O, R},
    {"sspr", z6_sspr, O, R},
    {"rect", z6f_rect, F, R},
    {"rectfill", z6f_rectfill, F, R},
    {"circ", z6_circ, O, R},
    {"circfill", z6_circfill, O, R},
    {"oval", z6_oval, O, R},
    {"ovalfill", z6_ovalfill, O, R},
    {"line", z6_line, O, R},
    {"tline", z6_tline, O, R},
    {"pal", z6_pal, O, R},
    {"palt", z6_palt, O, R},
    {"fillp", z6_fillp, O, R},
    {"mapdraw", z6_map, O, R},
    {"map", z6_map, O, R},
    {"mget", z6_mget, O, R},
    {"mset", z6_mset, O, R},
    {"fget", z6_fget, O, R},
    {"fset", z6_fset, O, R},
    {"sget", z6_sget, O, R},
    {"sset", z6_sset, O, R},
    {"music", z6_music, O, R},
    {"sfx", z6_sfx, O, R},
    {"serial", z6_serial, O, R},
    {"memcpy", z6_memcpy, O, R},
    {"memset", z6_memset, O, R},
    {"reload", z6_reload, O, R},
    {"cstore", z6_cstore, O, R},
    {"rnd", z6_rnd, O, R},
    {"srand", z6f_srand, F, R},
    {"ceil", z6f_ceil, F, R},
    {"sgn", z6f_sgn, F, R},
    {"abs", z6f_abs, F, R},
    {"mid", z6f_mid, F, R},
    {"cos", z6f_cos, F, R},
    {"sin", z6f_sin, F, R},
    {"sqrt", z6f_sqrt, F, R},
    {"atan2", z6f_atan2, F, R},
    {"bnot", z6f_bnot, F, R},
    {"flr", z6f_flr, F, R},
    {"band", z6f_band, F, R},
    {"bor", z6f_bor, F, R},
    {"bxor", z6f_bxor, F, R},
    {"shl", z6f_shl, F, R},
    {"shr", z6f_shr, F, R},
    {"lshr", z6f_lshr, F, R},
    {"rotl", z6f_rotl, F, R},
    {"rotr", z6f_rotr, F, R},
    {"min", z6f_min, F, R},
    {"max", z6f_max, F, R},
    {"peek", z6_peek_multiple, O, R},
    {"peek2", z6_peek2_multiple, O, R},
    {"peek4", z6_peek4_multiple, O, R},
    {"poke", z6f_poke, F, R},
    {"poke2", z6f_poke2, F, R},
    {"poke4", z6f_poke4, F, R},
    {"__load", z6_load, O, U},
    {"load", z6_load, O, R},
    {"save", z6_save, O, U},
    {"run", z6_run, O, R},
    {"stop", z6_stop, O, R},
    {"reboot", z6_reboot, O, U},
    {"shutdown", z6_shutdown, O, U},
    {"exit", z6_shutdown, O, U},
    {"info", z6_info, O, U},
    {"export", z6_export, O, U},
    {"import", z6_import, O, U},
    {"help", z6_help, O, U},
    {"time", z6_time, O, R},
    {"t", z6_time, O, U},
    {"login", z6_login, O, R},
    {"logout", z6_logout, O, R},
    {"bbsreq", z6_bbsreq, O, R},
    {"scoresub", z6_scoresub, O, R},
    {"extcmd", z6_extcmd, O, R},
    {"__extcmd", z6_extcmd, O, U},
    {"radio", z6_radio, O, U},
    {"set_draw_slice", z6_set_draw_slice, O, R},
    {"btn", z6_btn, O, R},
    {"btnp", z6_btnp, O, R},
    {"_menuitem", z6_menuitem, O, U},
    {"cartdata", z6_cartdata, O, R},
    {"dget", z6_dget, O, R},
    {"dset", z6_dset, O, R},
    {"stat", z6_stat, O, R},
    {"sub", str_sub, O, R},
    {"chr", z6_chr, O, R},
    {"ord", z6_ord, O, R},
    {"split", z6_split, O, R},
    {"__pairs__", luaB_pairs, O, U},
    {"__ipairs__", luaB_ipairs, O, U},
    {"type", z6_type, O, R},
    {"next", luaB_next, O, R},
    {"setmetatable", luaB_setmetatable, O, R},
    {"getmetatable", luaB_getmetatable, O, R},
    {"rawequal", luaB_rawequal, O, R},
    {"rawlen", luaB_rawlen, O, R},
    {"rawget", luaB_rawget, O, R},
    {"rawset", luaB_rawset, O, R},
    {"assert", luaB_assert, O, R},
    {"cocreate", luaB_cocreate, O, R},
    {"coresume", z6_coresume, O, R},
    {"yield", z6_yield, O, R},
    {"costatus", luaB_costatus, O, R},
    {"unpack", unpack, O, R},
    {"pack", pack, O, R},
    {"select", luaB_select, O, R},
    {"__trace", db_traceback, O, U},
    {"trace", db_traceback, O, U},
    {"holdframe", z6_holdframe, O, U},
    {"_startframe", z6_holdframe, O, U},
    {"_get_menu_item_selected", z6_get_menu_item_selected, O, U},
    {"_update_buttons", z6_update_buttons, O, U},
    {"_update_framerate", z6_update_frame_rate, O, U},
    {"_set_mainloop_exists", z6_set_mainloop_exists, O, U},
    {"_set_fps", z6_set_fps, O, U},
    {"_mark_cpu", z6_mark_cpu, O, U},
    {"_map_display", z6_map_display, O, U},
    {"__refund_cpu__", z6_refund_cpu, O, U},
};
const int z6_api_table_size = sizeof z6_api_table / sizeof z6_api_table[0];

// Re-registered before every program start, so a cart that overwrote one of
// these still gets the system's version at its next run.  Never recorded.
const z6_api_entry z6_api_system_table[] = {
    {"__refund_cpu__", z6_refund_cpu, O, U},
    {"__pairs__", luaB_pairs, O, U},
    {"__ipairs__", luaB_ipairs, O, U},
    {"__stop", z6_stop, O, U},
    {"__print", z6_print, O, U},
    {"__printh", z6_printh, O, U},
    {"__tostr", z6_tostr, O, U},
    {"__load", z6_load, O, U},
    {"__extcmd", z6_extcmd, O, U},
    {"__tostring__", luaB_tostring, O, U},
    {"tostring", luaB_tostring, O, U},
    {"__type", luaB_type, O, U},
    {"__select", luaB_select, O, U},
    {"__coresume", z6_coresume, O, U},
    {"__yielded_to_escape_slice", z6__yielded_to_escape_slice, O, U},
    {"cd", z6_cd, O, U},
    {"mkdir", z6_mkdir, O, U},
    {"run", z6_run, O, U},
    {"ls", z6_ls, O, U},
    {"login", z6_login, O, U},
    {"load", z6_load, O, U},
    {"save", z6_save, O, U},
    {"help", z6_help, O, U},
    {"reboot", z6_reboot, O, U},
    {"reset", z6_reset, O, U},
    {"shutdown", z6_shutdown, O, U},
    {"exit", z6_shutdown, O, U},
    {"info", z6_info, O, U},
    {"export", z6_export, O, U},
    {"import", z6_import, O, U},
};
const int z6_api_system_table_size = sizeof z6_api_system_table / sizeof z6_api_system_table[0];

namespace {
void register_entries(lua_State *L, const z6_api_entry *table, int n) {
    for (int i = 0; i < n; i++) {
        const z6_api_entry &e = table[i];
        lua_pushcclosure(L, e.fn, e.kind == Z6_FAST ? LUA_FASTCALL : 0);
        lua_setglobal(L, e.name);
    }
}
} // namespace

void record_api_function_names() {
    init_api_function_names();
    for (int i = 0; i < z6_api_table_size; i++)
        if (z6_api_table[i].recorded) add_api_function_name(z6_api_table[i].name);
}

void add_c_functions(lua_State *L) {
    record_api_function_names();
    register_entries(L, z6_api_table, z6_api_table_size);
}

void add_c_functions_system(lua_State *L) {
    register_entries(L, z6_api_system_table, z6_api_system_table_size);
}

// The slice counter is unsigned and wraps; a refund may take it below zero,
// which the interpreter reads as cycles in hand.
void z6f_refund_cycles(int n) { cpu_cycles_slice -= static_cast<uint32_t>(n); }

const char *z6_value_text(lua_State *L, int i, size_t *len, char *buf, size_t buflen) {
    int t = lua_type(L, i);
    if (t == LUA_TNUMBER || t == LUA_TSTRING) return lua_tolstring(L, i, len);
    if (t == LUA_TBOOLEAN) {
        const char *b = lua_toboolean(L, i) ? "true" : "false";
        *len = std::strlen(b);
        return b;
    }
    std::snprintf(buf, buflen, "[%s]", lua_typename(L, t));
    *len = std::strlen(buf);
    return buf;
}
