// Running a cart: the VM state, the assembled program text (prelude, glyph
// constants, API aliases, the cart's code, the main loop), code tabs, the
// run-time reset and suspend.
#include "console/run.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/voice.h"
#include "cart/hooks.h"
#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/rom.h"
#include "console/api.h"
#include "console/button.h"
#include "console/config_cmd.h"
#include "console/cpu.h"
#include "console/display.h"
#include "console/gfx_print.h"
#include "console/gpio.h"
#include "console/heap.h"
#include "console/mem.h"
#include "console/pre.h"
#include "console/serial.h"
#include "console/hooks.h"
#include "console/term.h"
#include "console/token.h"
#include "engine/ctext.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/llimits.h"
#include "vm/ldebug.h"
#include "vm/zmath.h"

zibo6_run_state zrun;

/* ---- the built-in scripts ---- */

// Line 1 names the chunk (runtime errors are recognised by it); line 2 holds
// the whole prelude, so the cart's code starts on line 3.  The prelude keeps
// its own copies of what it calls, so a cart that overwrites a global does
// not break pairs(), all() or flip().  It is compiled once and run as a
// chunk of the same name just before the program's first line (see
// run_prelude); the program's chunk keeps the name line and its line 2.
static constexpr std::string_view CHUNK_NAME_LINE = "-- zibo-6 header\n";
static constexpr std::string_view PRELUDE =
    "-- zibo-6 header\n"
    "do "
    "local __refund_cpu__, __pairs__, __ipairs__, __type, __tostr, __stop, __print, __printh, "
    "__tostring__, __load, stat, __extcmd, _menuitem, __yielded_to_escape_slice, __coresume, "
    "__select, __superyield = __refund_cpu__, __pairs__, __ipairs__, __type, __tostr, __stop, "
    "__print, __printh, __tostring__, __load, stat, __extcmd, _menuitem, "
    "__yielded_to_escape_slice, __coresume, __select, __superyield "
    "local __flip, __get_selected, __band, __getmetatable = __flip, "
    "_get_menu_item_selected, band, getmetatable "
    "local _last_menuitem_index, _last_menuitem_callback = 0, function() end "
    "local function __empty() end "
    "_pausemenu = {} "
    "function menuitem(index, label, callback) "
    "if index == nil then index = _last_menuitem_index end "
    "if callback == nil then callback = _last_menuitem_callback end "
    "if __type(index) ~= \"number\" then __stop(\"bad menuitem index\") return end "
    "if index < 1 or index > 5 then return end "
    "_pausemenu[index] = {label, callback} _menuitem(index, label) end "
    "function pairs(c) if c == nil then return __empty end return __pairs__(c) end "
    "function ipairs(c) if c == nil then return __empty end return __ipairs__(c) end "
    "function all(c) "
    "if c == nil or #c == 0 then return __empty end "
    "local n = #c __refund_cpu__(-(n < 16 and n or 16)) "
    "local i, last, started = 1, nil, false "
    // the index wraps to -32768 after 32767; the 2 extra refunded (4 cycles) pay
    // for that test, so a step costs what it did without it
    "return function() __refund_cpu__(-19) "
    "if started and c[i] == last then i = i + 1 end started = true "
    "if i < 1 then return end "
    "while c[i] == nil and i <= #c do i = i + 1 end "
    "last = c[i] return last end end "
    "function foreach(c, f) for v in all(c) do f(v) end end "
    "local function __ts(...) "
    "local a, b = ... local n = __select(\"#\", ...) local t = __type(a) "
    "if n >= 3 or (t == \"table\" and (__getmetatable(a) or n >= 2)) "
    "or (t == \"function\" and n >= 2) then return __tostring__(a) end "
    "return __tostr(...) end "
    "tostr = __ts "
    "function stop(...) if __select(\"#\", ...) == 0 then return __stop() end "
    "return __stop(__ts((...)), __select(2, ...)) end "
    "function print(...) if __select(\"#\", ...) == 0 then return __print() end "
    "return __print(__ts((...)), __select(2, ...)) end "
    "function printh(...) if __select(\"#\", ...) == 0 then return __printh() end "
    "return __printh(__ts((...)), __select(2, ...)) end "
    "local function __fl() local again = true while again do again = false "
    "for i = 1, 5 do local v = __get_selected(i) if v then "
    "local item = _pausemenu[i] local cb = item and item[2] "
    "if cb then _last_menuitem_index, _last_menuitem_callback = i, cb "
    "if cb(v) or __band(v, 3) > 0 then again = true end end end end "
    "if again then __extcmd(\"pause\", 1) __superyield() end end "
    "__flip() end "
    "flip = __fl "
    "function load(...) local r = __load(...) __fl() local s = stat(107) "
    "if s and s > 0 then return true end "
    "if s == -1 then return false, \"could not find cart\" end "
    "if s == -2 then return false, \"could not fetch cart\" end "
    "if s == -3 then return false, \"could not connect to bbs\" end "
    "if (s and s < 0) or r == nil then return false, \"access denied\" end "
    "return r end "
    "function extcmd(cmd, ...) local r = __extcmd(cmd, ...) "
    "if cmd == \"go_back\" or cmd == \"breadcrumb\" then __fl() end return r end "
    "function coresume(c, ...) local a, b = __coresume(c, ...) "
    "while __yielded_to_escape_slice(c) do a, b = __coresume(c, ...) end "
    "return a, b end "
    "end "
    "__refund_cpu__, __ipairs__, __pairs__, __tostr, __stop, __print, __printh, __load, "
    "__extcmd, __tostring__, __yielded_to_escape_slice, __coresume, __select, __superyield = nil ";

// A global per console glyph 0x80-0x99: buttons and fill patterns. They are
// set on line 2 after the prelude, and compiled with it.
static const char *const GLYPH_VALUES[26] = {
    "0.5",     "23130.5",  "20767.5",  "3",        "32125.5",  "-18402.5", "-1632.5",
    "20927.5", "-19008.5", "-26208.5", "-20192.5", "0",        "-24351.5", "-25792.5",
    "4",       "-20032.5", "-2560.5",  "1",        "-20128.5", "6943.5",   "2",
    "-2624.5", "31455.5",  "5",        "3855.5",   "21845.5"};

static std::string glyph_line() {
    std::string s;
    for (int i = 0; i < 26; i++) {
        char g = static_cast<char>(0x80 + i);
        s += g;
        s += '=';
        s += g;
        s += " or ";
        s += GLYPH_VALUES[i];
        s += ' ';
    }
    return s;
}

// Locals for the API names: faster calls, and the names stay bound even if
// a separately compiled chunk changes the globals.
static constexpr std::string_view ALIAS_LINE =
    "local time, sub, chr, ord, tostr, tonum, add, del, deli, clip, color, pal, palt, fillp, pget, "
    "pset, sget, sset, fget, fset, circ, circfill, rect, rectfill, oval, ovalfill, line, spr, sspr "
    "= time, sub, chr, ord, tostr, tonum, add, del, deli, clip, color, pal, palt, fillp, pget, "
    "pset, sget, sset, fget, fset, circ, circfill, rect, rectfill, oval, ovalfill, line, spr, sspr "
    "local mget, mset, tline, peek, poke, peek2, poke2, peek4, poke4, memcpy, memset, max, min, "
    "mid, flr, ceil, cos, sin, atan2, rand, srand, band, bor, bxor, bnot, shl, shr, lshr, rotl, "
    "rotr = mget, mset, tline, peek, poke, peek2, poke2, peek4, poke4, memcpy, memset, max, min, "
    "mid, flr, ceil, cos, sin, atan2, rand, srand, band, bor, bxor, bnot, shl, shr, lshr, rotl, "
    "rotr ";

// Starts with a newline: a cart whose last line has none stays intact.
static constexpr std::string_view MAIN_LOOP =
    "\n_end_of_program = 1 "
    "if _init then _init() end "
    "_set_mainloop_exists(0) "
    "if _mainloop then _set_mainloop_exists(1) end "
    "if _update60 then _set_fps(60) _update = nil else _set_fps(30) end "
    "if not _mainloop and (_draw or _update or _update60) then "
    "_set_mainloop_exists(2) "
    "_mainloop = function() while true do "
    "_update_buttons(_update60 and 1 or 2) _startframe() "
    "local fps = stat(7) "
    "if fps == 60 then _mark_cpu(0) if _update60 then _update60() end "
    "elseif fps == 30 and _update60 then _update60() _update_buttons(1) _mark_cpu(0) _update60() "
    "elseif fps == 30 then _mark_cpu(0) if _update then _update() end "
    "elseif fps == 15 and _update then _update() _update_buttons(2) _mark_cpu(0) _update() "
    "else _mark_cpu(0) end "
    "_mark_cpu(1) "
    "if _draw then local di, res = 0, true "
    "while di < stat(11) and res do res = _map_display(di) if res then res = _draw() end "
    "di = di + 1 end _map_display(0) end "
    "_mark_cpu(2) _update_framerate() flip() end end end "
    "if _mainloop then _mainloop() end\n";

static constexpr std::string_view COMMAND_END = "\n _end_of_program = 1 \n";

static constexpr const char *SHORT_COMMAND[] = {
    "help",   "run",    "cls",       "folder", "reboot", "shutdown",      "ls",
    "dir",    "mkdir",  "cd",        "load",   "save",   "install_demos", "install_games",
    "info",   "export", "keyconfig", "browse", "import", "login",         "logout",
    "upload", "backup", "reset",     nullptr};

// The prelude's text, followed on its line by the glyph globals for a cart's
// program (a command word's call goes without them).
static std::string prelude_text(bool glyphs) {
    return std::string(PRELUDE) + (glyphs ? glyph_line() : std::string());
}

// The prelude's bytecode, compiled on first use: every cart start and typed
// command runs the prelude, and loading bytecode costs a fraction of parsing
// its text. Empty when it could not be made (the text is then compiled inline).
static const std::string &prelude_bytecode(lua_State *L, bool glyphs) {
    static std::string codes[2];
    std::string &code = codes[glyphs];
    if (!code.empty() || L == nullptr) return code;
    const std::string text = prelude_text(glyphs);
    if (luaL_loadbufferx(L, text.data(), text.size(), PRELUDE.data(), "t") != LUA_OK) {
        lua_pop(L, 1);
        return code;
    }
    std::string out;
    lua_Writer append = [](lua_State *, const void *p, size_t n, void *ud) {
        static_cast<std::string *>(ud)->append(static_cast<const char *>(p), n);
        return 0;
    };
    if (lua_dump(L, append, &out) == 0) code = std::move(out);
    lua_pop(L, 1);
    return code;
}

// Runs the prelude on L as the chunk it was compiled from, the program's
// function staying on top of the stack; false when it could not run.
static bool run_prelude(lua_State *L, bool glyphs) {
    const std::string &code = prelude_bytecode(L, glyphs);
    if (code.empty()) return false;
    if (luaL_loadbufferx(L, code.data(), code.size(), PRELUDE.data(), "b") != LUA_OK) {
        lua_pop(L, 1);
        return false;
    }
    if (lua_pcall(L, 0, 0, 0) != LUA_OK) {
        lua_pop(L, 1);
        return false;
    }
    return true;
}

/* ---- the VM state ---- */

static void new_vm_state() {
    if (zrun.L0_cart) lua_close(zrun.L0_cart);
    zrun.L0_cart = zrun.L0 = zrun.L0_command = zrun.L_guard = nullptr;
    lua_State *L = lua_newstate(zibo6_lua_alloc, nullptr);
    if (L == nullptr) return;
    zrun.L0_cart = zrun.L0 = L;
    // the command thread and the guard thread live in the registry, not on a stack
    zrun.L0_command = lua_newthread(L);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &zrun.L0_command);
    zrun.L_guard = lua_newthread(L);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &zrun.L_guard);
    add_c_functions(L);
    lua_gc(L, LUA_GCSETPAUSE, 100);
    lua_gc(L, LUA_GCSETSTEPMUL, 200);
}

void reset_lua_machine() { new_vm_state(); }

void zibo6_attach_console() {
    vull_sound_attach();
    // The audio thread reads the sound registers where console memory stores them.
    vull_set_sound_registers(pstate.draw_state.sound_reg);
    zibo6_vm = {spend_cpu,    zibo6_peek_1,  zibo6_peek_2,
                zibo6_peek_4, find_tab_line, zibo6_assert_message};
    cart_hooks.zibo6_peek = zibo6_peek;
    cart_hooks.zibo6_poke = zibo6_poke;
    cart_hooks.zibo6_peek_rom = zibo6_peek_rom;
    cart_hooks.zibo6_poke_rom = zibo6_poke_rom;
    cart_hooks.zibo_print = zibo_print;
    cart_hooks.zibo_print_2 = zibo_print_2;
    cart_hooks.zibo_print_col = zibo_print_col;
    cart_hooks.zibo6_convert_bitmap = zibo6_convert_bitmap;
    cart_hooks.zibo6_flatten_includes = zibo6_flatten_includes;
    cart_hooks.is_sandboxed_cart_file = is_sandboxed_cart_file;
    cart_hooks.merge_code_from_tabs = merge_code_from_tabs;
    cart_hooks.split_code_to_tabs = split_code_to_tabs;
    cart_hooks.serial_set_dropped_file = serial_set_dropped_file;
    cart_hooks.serial_set_dropped_image_file = serial_set_dropped_image_file;
    cart_hooks.vull_stop_sfx = vull_stop_sfx;
    cart_hooks.vull_stop_zibo6_song = vull_stop_zibo6_song;
}

lua_State *get_current_L0() { return zrun.L0; }

lua_State *set_lua_thread(int command) {
    zrun.L0 = command ? zrun.L0_command : zrun.L0_cart;
    return zrun.L0;
}

/* ---- code tabs ---- */

const char *code_tab_text(int i) {
    ctext *t = pstate.code_tab[i];
    return (t && t->text) ? t->text : "";
}

int count_visible_tabs() {
    int last = -1;
    for (int i = 0; i < Z6_CODE_TABS; i++)
        if (code_tab_text(i)[0]) last = i;
    int cur = pstate.current_tab;
    if (cur < 0 || cur >= Z6_CODE_TABS) cur = 0;
    return (last > cur ? last : cur) + 1;
}

static std::string joined_tabs() {
    int n = count_visible_tabs();
    std::string code = code_tab_text(0);
    for (int i = 1; i < n; i++) {
        code += "\n-->8\n";
        code += code_tab_text(i);
    }
    return code;
}

void merge_code_from_tabs() {
    if (pitem.cart == nullptr || pitem.cart->code == nullptr) return;
    std::string code = joined_tabs();
    // the code buffer holds at most ZIBO6_CODE_MAX characters: a longer join is cut
    // there (and refused later by the character limit)
    size_t n = code.size() < size_t(ZIBO6_CODE_MAX) ? code.size() : size_t(ZIBO6_CODE_MAX);
    std::memcpy(pitem.cart->code, code.data(), n);
    pitem.cart->code[n] = '\0';
}

static void set_tab(int i, const char *text, size_t len) {
    ctext *t = pstate.code_tab[i];
    if (t == nullptr || t->text == nullptr) return;
    size_t cap = t->capacity > 0 ? static_cast<size_t>(t->capacity) : 0;
    if (len > cap) len = cap;
    std::memcpy(t->text, text, len);
    t->text[len] = '\0';
    t->cursor = 0;
    t->sel_start = t->sel_end = -1;
}

void split_code_to_tabs() {
    for (int i = 0; i < Z6_CODE_TABS; i++) set_tab(i, "", 0);
    const char *code = (pitem.cart && pitem.cart->code) ? pitem.cart->code : "";
    static constexpr std::string_view MARK = "\n-->8\n";
    std::string_view rest(code);
    int tab = 0;
    while (tab < Z6_CODE_TABS - 1) {
        size_t m = rest.find(MARK);
        if (m == std::string_view::npos) break;
        set_tab(tab++, rest.data(), m);
        rest.remove_prefix(m + MARK.size());
    }
    set_tab(tab, rest.data(), rest.size());
}

/* ---- names ---- */

const char *get_lid_from_filename(const char *name) {
    static char lid[1024];
    lid[0] = '\0';
    if (name == nullptr) return lid;
    size_t len = std::strlen(name);
    size_t at = len;
    for (size_t i = 0; i + 3 <= len; i++)
        if (name[i] == '.' && std::tolower((unsigned char)name[i + 1]) == 'z' &&
            name[i + 2] == '6') {
            at = i;
            break;
        }
    if (at == len || at == 0) return lid;
    size_t start = at;
    while (start > 0) {
        unsigned char c = static_cast<unsigned char>(name[start - 1]);
        if (!(std::islower(c) || std::isdigit(c) || c == '-' || c == '_')) break;
        start--;
    }
    size_t n = at - start;
    if (n >= sizeof lid) n = sizeof lid - 1;
    std::memcpy(lid, name + start, n);
    lid[n] = '\0';
    return lid;
}

int is_bbs_cart_file(const char *name) {
    if (name == nullptr) return 0;
    char bbs[1024];
    vull_prefix_with_appdata_path("bbs/", bbs, sizeof bbs);
    return std::strstr(name, bbs) != nullptr;
}

int is_sandboxed_cart_file(const char *) { return 1; }

static void copy_path(char *dst, const char *src) {
    std::snprintf(dst, Z6_PATH_LEN, "%s", src ? src : "");
}

/* ---- running ---- */

void run_cart() {
    // the join runs as it is: the working cart's buffer may be too small for
    // it, and a cut program must be refused, not run
    const std::string code = joined_tabs();
    merge_code_from_tabs();
    copy_path(pstate.parameter_string, pstate.parameter_string_pending);
    pstate.parameter_string_pending[0] = '\0';
    pstate.running_cart_lid[0] = '\0';
    pstate.running_filename[0] = '\0';

    app.program_stopped_flag = 0;
    const char *cur = pstate.current_filename;
    const char *root = pstate.root_path;
    char bbs[1024];
    vull_prefix_with_appdata_path("bbs/", bbs, sizeof bbs);
    if (root[0] && std::strstr(cur, root)) {
        copy_path(pstate.running_filename, std::strstr(cur, root) + std::strlen(root));
    } else if (std::strstr(cur, bbs)) {
        copy_path(pstate.running_cart_lid, get_lid_from_filename(cur));
        shell_hooks.clear_extpal_glitch();
    } else {
        copy_path(pstate.running_filename, cur);
    }
    vull_debugf("run_cart current_filename: %s running_filename: %s running_cart_lid: %s\n", cur,
                pstate.running_filename, pstate.running_cart_lid);
    pstate.last_cart_file_accessed[0] = '\0';

    new_vm_state();
    zibo6_reload(&pstate, pstate.memory_cart, 0, 0, 0x4300);
    clear_cdata();
    for (auto &label : pstate.cart_menu_label) label[0] = '\0';
    std::memset(pstate.cart_item_request, 0, sizeof pstate.cart_item_request);
    zibo6_srand(static_cast<int32_t>(std::time(nullptr) + vull_get_time()));

    run_program(code.c_str(), 0);

    vull_stop_all_sounds();
    vull_stop_zibo6_song(nullptr);
    pstate.fps = pstate.target_fps = 30;
    for (int i = 0; i < 4; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f40 + i, 0);
    block_buttons();
    hash_cart(pitem.cart, pstate.running_cart_hash);
    pstate.load_transition_frames = 0; // a reload's wait never delays the new run
    app.frame_step_mode = 0;
    app.cart_resumable = 1;
    set_draw_display(0);

    // A headless run that could not start has no one to press a button.
    if (pstate.headless && pstate.machine_mode != 1) suspend_program();
}

static bool resume_cart(int step) {
    if (zrun.L0_cart == nullptr || !app.cart_resumable) {
        zibo_print_col("nothing to resume", 6);
        zrun.run_failed = 1;
        if (pstate.headless) suspend_program();
        return true;
    }
    zrun.L0 = zrun.L0_cart;
    vull_state.sound_paused = 0;
    pstate.cart_code_running = 1;
    pstate.machine_mode = 1;
    block_buttons();
    app.frame_step_mode = step;
    return true;
}

// Quote a text as a string literal of the dialect.
static std::string quoted(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The text less its trailing lines that hold only blanks and control bytes
// (a cart file's trailing empty lines).
static std::string without_blank_tail(const std::string &text) {
    size_t end = text.size();
    while (end > 0) {
        size_t nl = text.rfind('\n', end - 1);
        if (nl == std::string::npos) break;
        auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
        if (!std::all_of(text.begin() + long(nl) + 1, text.begin() + long(end), blank)) break;
        end = nl;
    }
    return text.substr(0, end);
}

// " word()" or " word(\"arg\")", made in one buffer of its final size (GCC 12 warns,
// wrongly, of overlapping copies when the pieces are joined with +).
static std::string call_text(std::string_view word, std::string_view arg, bool with_arg) {
    std::string out;
    out.reserve(word.size() + arg.size() + 5);
    out.push_back(' ');
    out.append(word);
    out.append(with_arg ? "(\"" : "(");
    out.append(arg);
    out.append(with_arg ? "\")" : ")");
    return out;
}

// Command words, "s" and config: the exact forms always, the forms with an
// argument only for a one-line text (a typed line or a cart whose code is one
// line), never for longer code. Returns true when the buffer was replaced.
// The prelude's place (line 1 and the start of line 2) is marked by
// with_prelude; the caller puts it there.
static bool apply_command_words(const std::string &whole, std::string &buffer, bool &with_prelude) {
    const std::string line = without_blank_tail(whole);
    const bool one_line = line.find('\n') == std::string::npos;
    const std::string &text = one_line ? line : whole;
    with_prelude = false;
    for (int i = 0; SHORT_COMMAND[i]; i++) {
        std::string_view w = SHORT_COMMAND[i];
        if (text == w) {
            buffer = call_text(w, {}, false);
            with_prelude = true;
            return true;
        }
        if (one_line && text.size() >= w.size() + 2 && text.compare(0, w.size(), w) == 0 &&
            text[w.size()] == ' ' && text[w.size() + 1] != '"') {
            buffer = call_text(w, quoted(std::string_view(text).substr(w.size() + 1)), true);
            with_prelude = true;
            return true;
        }
    }
    if (text == "s") {
        buffer = "browse()";
        return true;
    }
    if (one_line && text.compare(0, 6, "config") == 0 &&
        (text.size() == 6 || static_cast<signed char>(text[6]) <= 32)) {
        run_config(text.size() > 7 ? text.c_str() + 7 : "");
        buffer.clear();
        return true;
    }
    return false;
}

void run_program(const char *text_in, int command) {
    const std::string text = text_in ? text_in : "";
    zrun.run_failed = 0;
    app.cart_has_draw = 0;
    vull_destroy_buffer(app.last_error_text);
    app.last_error_text = nullptr;
    zibo6_runtime_line = 0; // a line left by an earlier error never shows

    if (text == "resume" || text == "resume()" || text == "r") {
        resume_cart(0);
        return;
    }
    if (text == "." || (text.empty() && app.frame_step_mode == 1)) {
        resume_cart(1);
        return;
    }
    app.frame_step_mode = 0;
    if (zrun.L0 == nullptr) new_vm_state();
    if (zrun.L0 == nullptr) {
        zibo_print_col("out of memory", 6);
        return;
    }
    add_c_functions_system(zrun.L0);
    if (!pstate.cart_code_running) {
        vull_free(app.cstore_targets);
        app.cstore_targets = nullptr;
        app.cstore_target_count = 0;
        zibo6_clear_printh_files();
    }

    pstate.cpu_refund_enabled = text.find("__refund_cpu__") == std::string::npos;
    app.cart_has_draw = text.find(" _draw") != std::string::npos;
    pstate.system_cycles = 0;
    pstate.skipped_frame_cycles = 0;
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(Z6_DEFAULT_SLICE_BUDGET);

    std::string flat;
    if (zibo6_flatten_includes(text.c_str(), flat) != 0) {
        zrun.run_failed = 1;
        if (pstate.headless) suspend_program();
        return;
    }

    int overhead = 0;
    if (!command) {
        if (flat.size() > size_t(ZIBO6_CODE_CHAR_LIMIT)) {
            zibo_print_col("program exceeds char limit", 6);
            zibo_print_2("%d / %d chars\n", static_cast<int>(flat.size()), ZIBO6_CODE_CHAR_LIMIT);
            zrun.run_failed = 1;
            if (pstate.headless) suspend_program();
            return;
        }
        int tokens = count_tokens(flat.c_str());
        if (tokens > ZIBO6_CODE_TOKEN_LIMIT) {
            zibo_print_col("program too large", 6);
            zibo_print_2("%d / %d tokens\n", tokens, ZIBO6_CODE_TOKEN_LIMIT);
            zrun.run_failed = 1;
            if (pstate.headless) suspend_program();
            return;
        }
        overhead = 12 * tokens;
        zrun.L0 = zrun.L0_cart;
    } else {
        zrun.L0 = zrun.L0_command;
    }
    lua_reset_call_state_zibo6(zrun.L0);

    std::string pre;
    if (zibo6_preprocess(flat.c_str(), pre) != 0) {
        zrun.run_failed = 1;
        if (pstate.headless) suspend_program();
        return;
    }

    std::string buffer;
    bool with_prelude = false;
    bool with_glyphs = false;
    if (!apply_command_words(text, buffer, with_prelude)) {
        with_prelude = with_glyphs = true;
        buffer.reserve(ALIAS_LINE.size() + pre.size() + 1024);
        if (!app.global_api) buffer += ALIAS_LINE;
        buffer += ";\n";
        if (std::strcmp(pstate.running_cart_lid, "19488") == 0 ||
            std::strcmp(pstate.running_cart_lid, "10388") == 0)
            buffer += " nd=0 ";
        buffer += pre;
    }
    buffer += command ? COMMAND_END : MAIN_LOOP;
    zrun.program_text = flat;
    // Without its compiled form the prelude goes in as text, where it always stood.
    const bool compiled_prelude = with_prelude && !prelude_bytecode(zrun.L0, with_glyphs).empty();
    if (with_prelude)
        buffer.insert(0,
                      compiled_prelude ? std::string(CHUNK_NAME_LINE) : prelude_text(with_glyphs));

    pstate.compiling_program = 1;
    int status = luaL_loadbufferx(zrun.L0, buffer.data(), buffer.size(), buffer.c_str(),
                                  nullptr); // named by its first line
    // The prelude runs only for a program that compiled, as it did inside it;
    // one that could not run apart goes in as text after all.
    if (status == LUA_OK && compiled_prelude && !run_prelude(zrun.L0, with_glyphs)) {
        lua_pop(zrun.L0, 1);
        buffer.replace(0, CHUNK_NAME_LINE.size(), prelude_text(with_glyphs));
        status = luaL_loadbufferx(zrun.L0, buffer.data(), buffer.size(), buffer.c_str(), nullptr);
    }
    pstate.compiling_program = 0;
    pstate.memory_overhead = overhead;

    if (status == LUA_OK) {
        block_buttons();
        if (pstate.pending_action == 1) reset_runtime_state();
        pstate.machine_mode = 1;
        pstate.cart_code_running = command ? 0 : 1;
        return;
    }
    const char *msg = lua_tostring(zrun.L0, -1);
    std::string message = msg ? msg : "";
    lua_settop(zrun.L0, 0);
    report_syntax_error(message.c_str(), flat.c_str(), command);
    app.program_stopped_flag = 1;
    zrun.run_failed = 1;
    if (pstate.headless) suspend_program();
}

/* ---- run-time state ---- */

// 0x5f00-0x5f7f as a run starts and reset() leaves them: identity palettes,
// the whole screen as clip, pen colour 6, every bit plane drawn, the
// secondary palette's defaults.
constexpr uint8_t DEFAULT_REGISTERS[128] = {
    0x10, 1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0,    0,    0x80, 0x80, 0,    6,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0xff, 0,
    0x00, 0x01, 0x12, 0x13, 0x24, 0x15, 0xd6, 0x67, 0x48, 0x49, 0x9a, 0x3b, 0xdc, 0x5d, 0x8e, 0xef,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0};

void poke_default_registers() {
    for (int i = 0; i < 128; i++)
        zibo6_poke(&pstate, pstate.memory_cart, 0x5f00 + i, DEFAULT_REGISTERS[i]);
}

void reset_runtime_state() {
    draw_state_rec &ds = pstate.draw_state;
    int cursor_y = ds.cursor_y;
    uint8_t seeds[8];
    for (int i = 0; i < 8; i++) seeds[i] = zibo6_peek(&pstate, pstate.memory_cart, 0x5f44 + i);
    uint8_t b5f37 = zibo6_peek(&pstate, pstate.memory_cart, 0x5f37);
    poke_default_registers(); // a run keeps the random seeds and 0x5f37
    for (int i = 0; i < 8; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f44 + i, seeds[i]);
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f37, b5f37);
    if (pstate.draw_surface) vull_reset_clip(pstate.draw_surface);
    ds.cursor_x = 0;
    ds.print_left_margin = 0;
    ds.cursor_y = cursor_y;

    pstate.assert_message[0] = '\0';
    pstate.cart_frame = 0;
    pstate.time_ticks = 0;
    pstate.typed_key_count = 0;
    zrun.gc_strikes = 0;
    zrun.gc_strike_frame = 0;
    zrun.penalty = 0;
    zrun.last_lowering_ms = 0;
    zrun.cpu_fraction = zrun.cpu_fraction_prev = 0;
    for (int &h : zrun.host_fps_history) h = 0;
    for (auto &m : zrun.cpu_mark_cycles) m = 0;
    for (auto &m : zrun.cpu_mark_ms) m = 0;
    pstate.holdframe_flag = 0;
    gpio_open();
    serial_init_runtime();
    reset_serial_file_buffers();
    if (pstate.sub_mode == 0) app.download_state = 0;
    pstate.mainloop_exists = 0;
    destroy_print_buffer();
    reset_print_context();
}

void suspend_program() {
    if (pstate.reset_glitch_counter >= 1) return;
    draw_state_rec &ds = pstate.draw_state;
    if (pstate.cart_code_running) {
        vull_state.sound_paused = 1;
        save_cdata();
        uint8_t keep = zibo6_peek(&pstate, pstate.memory_cart, 0x5f2e);
        if (!(keep & 1))
            for (int i = 0; i < 16; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f10 + i, i);
        if (!(keep & 2)) zibo6_poke(&pstate, pstate.memory_cart, 0x5f5f, 0);
        if (!(keep & 4))
            for (int i = 0; i < 4; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f40 + i, 0);
        if (!(keep & 8)) zibo6_poke(&pstate, pstate.memory_cart, 0x5f5e, 0xff);
        if (!(keep & 16)) {
            for (int i = 0; i < 4; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f58 + i, 0);
            reset_print_context();
        }
        if (!(keep & 32))
            for (int i = 0; i < 3; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f31 + i, 0);
        app.program_stopped_flag = 1;
    }
    pstate.machine_mode = 0;
    pstate.holdframe_flag = 0;
    zrun.saved_camera_x = ds.camera_x;
    zrun.saved_camera_y = ds.camera_y;
    for (int i = 0; i < 4; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f28 + i, 0);
    if (pstate.draw_surface) vull_reset_clip(pstate.draw_surface);
    set_draw_display(0);
    ds.cursor_x = 0;
    ds.print_left_margin = 0;
    if (ds.cursor_y < 0) ds.cursor_y = 0;
    if (ds.cursor_y > 122) ds.cursor_y = 122;
    if (pstate.cart_code_running) {
        vullkey_buffer_pos = 0;
        pstate.typed_key_count = 0;
    }
    if (pstate.headless) vull_quit = 1;
    app.download_state = 0;
}

void continue_program() {
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f28, zrun.saved_camera_x & 255);
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f29, (zrun.saved_camera_x >> 8) & 255);
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f2a, zrun.saved_camera_y & 255);
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f2b, (zrun.saved_camera_y >> 8) & 255);
    draw_state_rec &ds = pstate.draw_state;
    if (pstate.draw_surface)
        vull_set_clip(pstate.draw_surface, ds.clip_x0, ds.clip_y0, ds.clip_x1, ds.clip_y1);
    pstate.machine_mode = 1;
}
