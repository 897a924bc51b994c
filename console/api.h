// Console runtime: the API a cart calls by name.  api.cpp holds the one
// registration table; the bindings live in api_<topic>.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

#include "vm/lobject.h"
#include "vm/lstate.h"
#include "vm/lua.h"

// How a name is registered.
enum z6_call_kind : uint8_t {
    Z6_ORDINARY, // lua_CFunction, arguments by index
    Z6_FAST,     // z6f_ function: raw stack, one 16.16 result, no call frame
};

struct z6_api_entry {
    const char *name;  // the Lua global
    lua_CFunction fn;  // the C function behind it
    z6_call_kind kind; // ordinary or fast
    bool recorded;     // recorded as an API name for the token counter
};

// The full API, in registration order, and the smaller system set.
extern const z6_api_entry z6_api_table[];
extern const int z6_api_table_size;
extern const z6_api_entry z6_api_system_table[];
extern const int z6_api_system_table_size;

// Empties the API-name table and records the recorded names (no VM needed:
// tools that count tokens call this alone).
void record_api_function_names();
// Registers the full API into a fresh state (records the names first).
void add_c_functions(lua_State *L);
// Registers the system set again before every program start.
void add_c_functions_system(lua_State *L);

// Fast-call arguments: argument k (from 1) of the running z6f_ call.
inline int z6f_argc(lua_State *L) { return L->nfastargs; }
inline const TValue *z6f_slot(lua_State *L, int k) { return L->top - L->nfastargs + (k - 1); }
// The raw 16.16 value of argument k; absent, nil or non-numeric arguments read 0.
inline int32_t z6f_arg(lua_State *L, int k) {
    if (k > L->nfastargs) return 0;
    const TValue *o = z6f_slot(L, k);
    return ttisnumber(o) ? nvalue(o) : lua_tonumber_from_tvalue(o);
}
// Gives n cycles back to the current slice (fast calls pay per argument).
void z6f_refund_cycles(int n);

// The integer part of argument i of an ordinary binding (arithmetic shift of
// its 16.16 value): a numeric string reads as its number, anything else as 0.
inline int z6_arg_int(lua_State *L, int i) { return lua_tonumberx(L, i, nullptr) >> 16; }
// The text print and printh show for argument i: numbers and strings as they
// are, booleans by name, other values as "[type]" written into buf.
const char *z6_value_text(lua_State *L, int i, size_t *len, char *buf, size_t buflen);

// Bindings.  Each group lives in its own file.

// Frame, run and system
int z6_flip(lua_State *L);
int z6_superyield(lua_State *L);
int z6_reset(lua_State *L);
int z6_load(lua_State *L);
int z6_run(lua_State *L);
int z6_stop(lua_State *L);
int z6_save(lua_State *L);
int z6_reboot(lua_State *L);
int z6_shutdown(lua_State *L);
int z6_info(lua_State *L);
int z6_help(lua_State *L);
// "help topic: %s" for the topic, or the lower-case word at the code cursor (nothing calls it).
void print_help_topic(const char *topic);
int z6_folder(lua_State *L);
int z6_ls(lua_State *L);
extern char ls_pattern[256]; // the ls command's pattern; "*..." lists every file, not only carts
int z6_cd(lua_State *L);
int z6_mkdir(lua_State *L);
int z6_backup(lua_State *L);
int z6_install_demos(lua_State *L);
int z6_install_games(lua_State *L);
int z6_keyconfig(lua_State *L);
int z6_browse(lua_State *L);
int z6_export(lua_State *L);
int z6_import(lua_State *L);
int z6_login(lua_State *L);
int z6_logout(lua_State *L);
int z6_bbsreq(lua_State *L);
int z6_scoresub(lua_State *L);
int z6_radio(lua_State *L);
int z6_set_draw_slice(lua_State *L);
int z6_time(lua_State *L);
int z6_stat(lua_State *L);
// stat's devkit keyboard and mouse rows (28, 30-40): pushes the row's values
// and returns their count, or -1 when n is not one of them.
int stat_devkit_input(lua_State *L, int n);
int z6_extcmd(lua_State *L);
// Resets asked for by extcmd("reset") and the quick-reload key share one time:
// true, noting the time, unless the reset glitch runs or one was asked for in
// the last 500 ms (none yet counts as long ago).
bool take_reset_request();
int z6_printh(lua_State *L);
int z6_menuitem(lua_State *L);
int z6_cartdata(lua_State *L);
int z6_dget(lua_State *L);
int z6_dset(lua_State *L);
int z6_coresume(lua_State *L);
int z6_yield(lua_State *L);
int z6_holdframe(lua_State *L);
int z6_get_menu_item_selected(lua_State *L);
int z6_update_buttons(lua_State *L);
int z6_update_frame_rate(lua_State *L);
int z6_set_mainloop_exists(lua_State *L);
int z6_set_fps(lua_State *L);
int z6_mark_cpu(lua_State *L);
int z6_map_display(lua_State *L);
int z6_refund_cpu(lua_State *L);
int z6__yielded_to_escape_slice(lua_State *L);

// Strings and values
int z6_tostr(lua_State *L);
int z6_tonum(lua_State *L);
int z6_chr(lua_State *L);
int z6_ord(lua_State *L);
int z6_split(lua_State *L);
int z6_type(lua_State *L);

// Drawing
int z6_camera(lua_State *L);
int z6_clip(lua_State *L);
int z6_cls(lua_State *L);
int z6f_pset(lua_State *L);
int z6f_pget(lua_State *L);
int z6_color(lua_State *L);
int z6_print(lua_State *L);
int z6_cursor(lua_State *L);
int z6_spr(lua_State *L);
int z6_sspr(lua_State *L);
int z6f_rect(lua_State *L);
int z6f_rectfill(lua_State *L);
int z6_circ(lua_State *L);
int z6_circfill(lua_State *L);
int z6_oval(lua_State *L);
int z6_ovalfill(lua_State *L);
int z6_line(lua_State *L);
int z6_tline(lua_State *L);
int z6_pal(lua_State *L);
int z6_palt(lua_State *L);
int z6_fillp(lua_State *L);
int z6_map(lua_State *L);
int z6_mget(lua_State *L);
int z6_mset(lua_State *L);
int z6_fget(lua_State *L);
int z6_fset(lua_State *L);
int z6_sget(lua_State *L);
int z6_sset(lua_State *L);

// Memory
int z6_memcpy(lua_State *L);
int z6_memset(lua_State *L);
int z6_reload(lua_State *L);
int z6_cstore(lua_State *L);
int z6_peek_multiple(lua_State *L);
int z6_peek2_multiple(lua_State *L);
int z6_peek4_multiple(lua_State *L);
int z6f_poke(lua_State *L);
int z6f_poke2(lua_State *L);
int z6f_poke4(lua_State *L);

// Math (api_math.cpp)
int z6_rnd(lua_State *L);
int z6f_srand(lua_State *L);
int z6f_flr(lua_State *L);
int z6f_ceil(lua_State *L);
int z6f_sgn(lua_State *L);
int z6f_abs(lua_State *L);
int z6f_mid(lua_State *L);
int z6f_min(lua_State *L);
int z6f_max(lua_State *L);
int z6f_cos(lua_State *L);
int z6f_sin(lua_State *L);
int z6f_sqrt(lua_State *L);
int z6f_atan2(lua_State *L);
int z6f_bnot(lua_State *L);
int z6f_band(lua_State *L);
int z6f_bor(lua_State *L);
int z6f_bxor(lua_State *L);
int z6f_shl(lua_State *L);
int z6f_shr(lua_State *L);
int z6f_lshr(lua_State *L);
int z6f_rotl(lua_State *L);
int z6f_rotr(lua_State *L);

// Buttons
int z6_btn(lua_State *L);
int z6_btnp(lua_State *L);

// Sound and serial
int z6_music(lua_State *L);
int z6_sfx(lua_State *L);
int z6_serial(lua_State *L);
