// System bindings of the running core: the frame end and the main-loop hooks,
// cycle refunds and forced yields, coroutines, stop/run/reset/load, printh,
// time, the string and value conversions, and the stat rows of the core.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/disk.h"
#include "console/api.h"
#include "console/api_sound.h"
#include "console/button.h"
#include "console/cpu.h"
#include "console/button.h"
#include "console/display.h"
#include "console/mem.h"
#include "console/run.h"
#include "console/serial.h"
#include "console/hooks.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/charset.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/joystick.h"
#include "platform/system.h"
#include "platform/video.h"
#include "cart/capture.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/lobject.h"
#include "vm/lualib.h"
#include "vm/zmath.h"

static void poke_byte(int a, int v) { zibo6_poke(&pstate, pstate.memory_cart, a, v); }

/* ---- frame end and main-loop hooks ---- */

// The frame end shared by flip, a print that must wait and stop.
void zibo6_frame_end() {
    record_resource_data();
    if (pstate.fps == 15) {
        record_resource_data();
        record_resource_data();
    } else if (pstate.fps == 30) {
        record_resource_data();
    }
    shell_hooks.update_paused_menu();
    read_buttons();
    pstate.holdframe_flag = 0;
    serial_end_frame();
    lua_reset_cpu_cycles();
    pstate.system_cycles = 0;
    if (app.frame_step_mode) {
        pstate.pending_action = 2;
        pstate.draw_state.cursor_x = pstate.draw_state.cursor_y = 0;
        pstate.draw_state.print_left_margin = 0;
    }
    if (app.rec_frames) record_screen_frame();
    lua_cpu_superyield();
}

int z6_flip(lua_State *) {
    zibo6_frame_end();
    return 0;
}

int z6_holdframe(lua_State *) {
    pstate.holdframe_flag = 1;
    return 0;
}

int z6_superyield(lua_State *) {
    lua_cpu_superyield();
    return 0;
}

int z6_set_fps(lua_State *L) {
    pstate.fps = pstate.target_fps = z6_arg_int(L, 1);
    return 0;
}

int z6_set_mainloop_exists(lua_State *L) {
    pstate.mainloop_exists = z6_arg_int(L, 1);
    return 0;
}

int z6_update_buttons(lua_State *L) {
    pstate.time_ticks += z6_arg_int(L, 1);
    update_buttons();
    return 0;
}

int z6_update_frame_rate(lua_State *) {
    update_frame_rate();
    return 0;
}

int z6_mark_cpu(lua_State *L) {
    int i = std::clamp(z6_arg_int(L, 1), 0, 2);
    zrun.cpu_mark_cycles[i] = get_cpu_cycles_since_flip(0);
    zrun.cpu_mark_ms[i] = vull_get_time();
    return 0;
}

int z6_map_display(lua_State *L) {
    int i = std::clamp(z6_arg_int(L, 1), 0, 7);
    if (i != 0 && !(zibo6_peek(&pstate, pstate.memory_cart, 0x5f36) & 1)) {
        lua_pushboolean(L, 0);
        return 1;
    }
    set_draw_display(i);
    lua_pushboolean(L, 1);
    return 1;
}

int z6_get_menu_item_selected(lua_State *L) {
    int i = z6_arg_int(L, 1);
    if (i < 1 || i > Z6_CART_ITEMS || pstate.cart_item_request[i - 1] == 0) return 0;
    lua_pushnumber(L, int32_t(pstate.cart_item_request[i - 1]) << 16);
    pstate.cart_item_request[i - 1] = 0;
    return 1;
}

int z6_refund_cpu(lua_State *L) {
    if (pstate.cpu_refund_enabled) cpu_cycles_slice += uint32_t(2 * z6_arg_int(L, 1));
    return 0;
}

int z6__yielded_to_escape_slice(lua_State *L) {
    // Asked of one coroutine: whether the end of a slice forced it out. A
    // process-wide mark cannot tell that once resumes nest.
    if (lua_gettop(L) == 1 && lua_type(L, 1) == LUA_TTHREAD) {
        lua_pushboolean(L, lua_forcedout(lua_tothread(L, 1)));
        return 1;
    }
    if (lua_gettop(L) == 1 && lua_type(L, 1) == LUA_TNUMBER) {
        lua_set_cpu_superyielded_coresume(lua_tonumberx(L, 1, nullptr) / 65536);
        return 0;
    }
    lua_pushboolean(L, lua_get_cpu_superyielded_coresume());
    return 1;
}

int z6_coresume(lua_State *L) { return luaB_coresume(L); }

int z6_yield(lua_State *L) {
    int n = lua_gettop(L);
    return lua_yieldk(L, n, 0, nullptr);
}

/* ---- what runs ---- */

int z6_stop(lua_State *L) {
    if (pstate.reset_glitch_counter > 0) return 0;
    record_resource_data();
    pstate.pending_action = 2;
    for (int a = 0x5f28; a < 0x5f2c; a++) poke_byte(a, 0);
    if (lua_gettop(L) >= 1) z6_print(L);
    lua_cpu_superyield();
    return 0;
}

int z6_run(lua_State *L) {
    if (pstate.reset_glitch_counter > 0) return 0;
    const char *p = lua_type(L, 1) == LUA_TSTRING ? lua_tostring(L, 1) : "";
    std::snprintf(pstate.parameter_string_pending, Z6_PATH_LEN, "%s", p);
    pstate.reset_glitch_counter = 3;
    lua_cpu_superyield();
    return 0;
}

int z6_reset(lua_State *) {
    draw_state_rec &ds = pstate.draw_state;
    int cx = ds.cursor_x, cy = ds.cursor_y, margin = ds.print_left_margin;
    poke_default_registers();
    ds.cursor_x = cx;
    ds.cursor_y = cy;
    ds.print_left_margin = margin;
    zibo6_srand(static_cast<int32_t>(std::time(nullptr) + vull_get_time()));
    spend_cpu(16);
    return 0;
}

// The failure report of load(): nothing inside a running cart, else the loader's reason.
static void load_failure_report() {
    if (!pstate.cart_code_running) {
        if (zibo6_cart_load_status == 1)
            zibo_print("could not load: future version");
        else if (zibo6_cart_load_status == 2)
            zibo_print("could not load: code size > 64k");
        else
            zibo_print("could not load");
    }
    zibo6_cart_load_status = 0;
}

static bool is_clip_name(const char *name) {
    for (const char *clip : {"@clip", "@clip.z6", "@clip.png", "@clip.z6.png"})
        if (std::strcmp(name, clip) == 0) return true;
    return false;
}

// Only carts mounted from the data file load by name; unknown names fail
// silently, as do downloads ("#id") and the clipboard.
int z6_load(lua_State *L) {
    if (pstate.reset_glitch_counter > 0) return 0;
    save_cdata();
    if (lua_type(L, 1) != LUA_TSTRING) return 0;
    if (lua_gettop(L) == 1 && !pstate.cart_code_running) reset_run_chain();
    pstate.parameter_string_pending[0] = '\0';
    if (lua_gettop(L) >= 3 && (lua_type(L, 3) == LUA_TSTRING || lua_type(L, 3) == LUA_TNUMBER))
        std::snprintf(pstate.parameter_string_pending, Z6_PATH_LEN, "%s", lua_tostring(L, 3));
    zrun.download_result = 0;
    const char *name = lua_tostring(L, 1);
    if (name[0] == '/') name++;
    std::string previous = pstate.current_filename;
    bool reported = std::strncmp(name, "__", 2) == 0 || std::strcmp(name, "@dropped") == 0;
    bool silent = name[0] == '#' || is_clip_name(name) ||
                  !get_embedded_cart_hash_for_filename(name, 1);
    if (reported || silent || load_working_cart(name) != 0) {
        if (reported || !silent) load_failure_report();
        lua_pushboolean(L, 0);
        return 1;
    }
    if (!pstate.cart_code_running && pitem.cart) {
        char line[Z6_PATH_LEN + 64];
        std::snprintf(line, sizeof line, "loaded %s%s (%d chars)", name,
                      std::strchr(name, '.') ? "" : ".z6", int(std::strlen(pitem.cart->code)));
        zibo_print(line);
    }
    if (lua_gettop(L) >= 2) {
        const char *crumb = lua_tostring(L, 2);
        if (crumb && std::strlen(crumb) > 1) add_run_chain_item(previous.c_str(), crumb, 0);
    }
    reset_runtime_state();
    zibo6_reload(&pstate, pstate.memory_cart, 0, 0, 0x4300);
    spend_cpu(8388608);
    if (!pstate.headless && pstate.cart_code_running) {
        pstate.pending_action = 1;
        if (previous != pstate.current_filename) pstate.load_transition_frames = 30;
    }
    lua_pushboolean(L, 1);
    return 1;
}

/* ---- printh ---- */

static std::string to_utf8(const std::string &text) {
    std::string out(text.size() * 8 + 16, '\0');
    convert_glyphs_to_escaped_ex(text.c_str(), out.data(), 1);
    out.resize(std::strlen(out.c_str()));
    return out;
}

static bool log_name_ok(const char *name) {
    if (std::strstr(name, "..")) return false;
    for (const char *p = name; *p; p++) {
        char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '.' ||
              c == '/' || c == '_'))
            return false;
    }
    return true;
}

static bool has_log_extension(const std::string &name) {
    static const char *const EXT[] = {".z6l", ".txt", ".obj", ".mtl", ".svg",
                                      ".pov", ".sfd", ".csv", ".ppm"};
    for (const char *e : EXT) {
        size_t n = std::strlen(e);
        if (name.size() >= n && name.compare(name.size() - n, n, e) == 0) return true;
    }
    return false;
}

static int64_t printh_total = 0;
static std::vector<std::string> printh_files; // whole paths, matched whole

void zibo6_clear_printh_files() { printh_files.clear(); }

int z6_printh(lua_State *L) {
    int n = lua_gettop(L);
    if (n == 0) return 0;
    char buf[64];
    size_t len = 0;
    const char *value = z6_value_text(L, 1, &len, buf, sizeof buf);
    std::string raw(value, len);
    // a zero byte ends the text written to a file, and then no newline follows
    size_t zero = raw.find('\0');
    std::string text = to_utf8(raw.substr(0, zero));
    if (n == 1) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return 0;
    }
    if (lua_type(L, 2) != LUA_TSTRING && lua_type(L, 2) != LUA_TNUMBER) return 0;
    const char *name = lua_tostring(L, 2);
    if (std::strcmp(name, "@clip") == 0) {
        vull_set_clipboard_text(text.c_str());
        vull_free(app.paste_buffer);
        app.paste_buffer = static_cast<char *>(vull_malloc(static_cast<int>(text.size()) + 1));
        if (app.paste_buffer) std::memcpy(app.paste_buffer, text.c_str(), text.size() + 1);
        return 0;
    }
    bool overwrite = lua_toboolean(L, 3), to_desktop = lua_toboolean(L, 4);
    if (!log_name_ok(name)) return zibo6_runtime_error(L, "printh: bad log file name");
    std::string file = name;
    if (!has_log_extension(file)) file += ".z6l";
    char path[2048];
    if (to_desktop)
        prefix_with_desktop_output_path(file.c_str(), path, sizeof path);
    else
        prefix_with_file_output_path(file.c_str(), path, sizeof path);
    if (std::strlen(path) >= 1023) return zibo6_runtime_error(L, "printh: bad log file name");
    if (printh_total + int64_t(text.size()) > 10485759)
        return zibo6_runtime_error(L, "printh: too much log data (10mb max)");
    printh_total += int64_t(text.size());
    if (std::find(printh_files.begin(), printh_files.end(), path) == printh_files.end()) {
        if (printh_files.size() > 63) return zibo6_runtime_error(L, "too many printh files");
        printh_files.push_back(path);
    }
    if (zero == std::string::npos) text += '\n';
    // A log replaced whole goes through the one writer, so a full disk keeps the old log;
    // an appended line is checked to the close.
    bool ok;
    if (overwrite) {
        ok = vull_save_file(path, text.data(), int64_t(text.size())) == 0;
    } else {
        // Only onto a regular file: a pipe put in its place is not waited on; nor onto one
        // made read-only, which root could open.
        int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        int fd = vull_file_read_only(path) ? -1 : ::open(path, flags, 0666);
        struct stat st {};
        bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        FILE *f = regular ? ::fdopen(fd, "a") : nullptr;
        if (!f && fd >= 0) ::close(fd);
        ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = (!f || std::fclose(f) == 0) && ok;
    }
    if (!ok) {
        shell_hooks.show_message("printh: could not write file", 1500);
        if (pstate.headless) std::fprintf(stderr, "printh: could not write file\n"); // never drawn
    }
    return 0;
}

/* ---- time, strings and values ---- */

int z6_time(lua_State *L) {
    lua_pushnumber(L, static_cast<int32_t>(int64_t(pstate.time_ticks) * 65536 / 60));
    return 1;
}

int z6_tostr(lua_State *L) {
    spend_cpu(2);
    int n = lua_gettop(L);
    if (n == 0) {
        lua_pushstring(L, "");
        return 1;
    }
    char buf[64];
    switch (lua_type(L, 1)) {
    case LUA_TSTRING: lua_pushvalue(L, 1); return 1;
    case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, 1) ? "true" : "false"); return 1;
    case LUA_TNUMBER: {
        uint32_t raw = static_cast<uint32_t>(lua_tonumberx(L, 1, nullptr));
        int flags = 0;
        if (n >= 2 && lua_type(L, 2) == LUA_TBOOLEAN)
            flags = lua_toboolean(L, 2) ? 1 : 0;
        else if (n >= 2 && lua_type(L, 2) == LUA_TNUMBER)
            flags = z6_arg_int(L, 2);
        if ((flags & 3) == 3)
            std::snprintf(buf, sizeof buf, "0x%08x", raw);
        else if (flags & 1)
            std::snprintf(buf, sizeof buf, "0x%04x.%04x", raw >> 16, raw & 0xffff);
        else if (flags & 2)
            std::snprintf(buf, sizeof buf, "%d", static_cast<int32_t>(raw));
        else
            zibo6_fixed_to_string(buf, static_cast<int32_t>(raw));
        lua_pushstring(L, buf);
        return 1;
    }
    default:
        std::snprintf(buf, sizeof buf, "[%s]", lua_typename(L, lua_type(L, 1)));
        lua_pushstring(L, buf);
        return 1;
    }
}

int z6_tonum(lua_State *L) {
    int flags = lua_gettop(L) >= 2 ? z6_arg_int(L, 2) : 0;
    switch (lua_type(L, 1)) {
    case LUA_TNUMBER: lua_pushvalue(L, 1); return 1;
    case LUA_TBOOLEAN:
        lua_pushnumber(L, lua_toboolean(L, 1) ? ((flags & 2) ? 1 : 0x10000) : 0);
        return 1;
    case LUA_TSTRING: break;
    default: return 0;
    }
    spend_cpu(2);
    size_t len = 0;
    const char *s = lua_tolstring(L, 1, &len);
    switch (flags & 3) {
    case 0: {
        lua_Number v = 0;
        if (luaO_str2d(s, len, &v)) {
            lua_pushnumber(L, v);
            return 1;
        }
        if (flags & 4) {
            lua_pushnumber(L, 0);
            return 1;
        }
        return 0;
    }
    case 1:
    case 3: {
        uint32_t v = 0;
        for (size_t i = 0; i < len; i++) {
            char c = s[i];
            int d = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : 0;
            v = (v << 4) | uint32_t(d);
        }
        lua_pushnumber(L,
                       (flags & 3) == 3 ? static_cast<int32_t>(v) : static_cast<int32_t>(v << 16));
        return 1;
    }
    default: {
        // decimal integer as raw bits; clamped instead of sscanf's undefined overflow
        errno = 0;
        long long v = std::strtoll(s, nullptr, 10);
        v = std::clamp<long long>(v, INT32_MIN, INT32_MAX);
        lua_pushnumber(L, static_cast<int32_t>(v));
        return 1;
    }
    }
}

int z6_chr(lua_State *L) {
    char c = static_cast<char>(z6_arg_int(L, 1) & 255);
    spend_cpu(1);
    lua_pushlstring(L, &c, 1);
    return 1;
}

constexpr int Z6_MAX_RESULTS = 8192;

int z6_ord(lua_State *L) {
    size_t len = 0;
    const char *s = lua_tolstring(L, 1, &len);
    int i = 1, n = 1;
    if (lua_gettop(L) >= 2) {
        i = z6_arg_int(L, 2);
        if (lua_gettop(L) >= 3) n = z6_arg_int(L, 3);
    }
    spend_cpu(n);
    if (n <= 0) return 0;
    if (n > Z6_MAX_RESULTS) return zibo6_runtime_error(L, "ord: too many results");
    if (!lua_checkstack(L, n)) return zibo6_runtime_error(L, "ord: too many results");
    for (int k = 0; k < n; k++) {
        int64_t pos = int64_t(i) + k;
        if (s != nullptr && pos >= 1 && pos <= int64_t(len))
            lua_pushnumber(L, int32_t(static_cast<uint8_t>(s[pos - 1])) << 16);
        else
            lua_pushnil(L);
    }
    return n;
}

static void push_piece(lua_State *L, const char *p, size_t n, bool convert) {
    lua_Number v = 0;
    if (convert && n > 0 && luaO_str2d(p, n, &v))
        lua_pushnumber(L, v);
    else
        lua_pushlstring(L, p, n);
}

// A list indexes 32767 pieces at most (the index after that is -32768), so
// split stops there; each piece made is charged besides the scan.
int z6_split(lua_State *L) {
    if (lua_type(L, 1) != LUA_TSTRING && lua_type(L, 1) != LUA_TNUMBER) return 0;
    size_t len = 0;
    const char *s = lua_tolstring(L, 1, &len);
    spend_cpu(static_cast<int>(std::min<size_t>(len, INT_MAX)));
    bool convert = lua_gettop(L) < 3 || lua_toboolean(L, 3);
    lua_createtable(L, 0, 0);
    if (len == 0) return 1;
    int idx = 1;
    auto store = [&]() {
        lua_rawseti(L, -2, idx);
        return idx++ < Z6_MAXARRAYKEY;
    };
    if (lua_type(L, 2) == LUA_TNUMBER) {
        int64_t k = std::clamp<int64_t>(z6_arg_int(L, 2), 1, int64_t(len));
        for (size_t at = 0; at < len; at += size_t(k)) {
            push_piece(L, s + at, std::min(size_t(k), len - at), convert);
            if (!store()) break;
        }
    } else {
        size_t seplen = 0;
        const char *sep = lua_type(L, 2) == LUA_TSTRING ? lua_tolstring(L, 2, &seplen) : ",";
        if (lua_type(L, 2) == LUA_TSTRING && seplen == 0) {
            for (size_t at = 0; at < len; at++) {
                if (convert && s[at] >= '0' && s[at] <= '9')
                    lua_pushnumber(L, int32_t(s[at] - '0') << 16);
                else
                    lua_pushlstring(L, s + at, 1);
                if (!store()) break;
            }
        } else {
            char c = sep[0];
            size_t start = 0;
            for (size_t at = 0; at <= len; at++) {
                if (at == len || s[at] == c) {
                    push_piece(L, s + start, at - start, convert);
                    if (!store()) break;
                    start = at + 1;
                }
            }
        }
    }
    spend_cpu(idx - 1);
    return 1;
}

int z6_type(lua_State *L) {
    if (lua_gettop(L) == 0) return 0;
    return luaB_type(L);
}

/* ---- stat ---- */

static int32_t memory_kb_raw() {
    int64_t used = int64_t(pstate.script_memory_used) + pstate.memory_overhead;
    used = std::clamp<int64_t>(used, 0, 2097152);
    return static_cast<int32_t>(used * 64);
}

int z6_stat(lua_State *L) {
    spend_cpu(16);
    int n = lua_gettop(L) >= 1 ? z6_arg_int(L, 1) : 1;
    if (int pushed = stat_devkit_input(L, n); pushed >= 0) return pushed;
    vull_datetime_rec dt{};
    switch (n) {
    case 0:
        lua_gc(L, LUA_GCCOLLECT, 0);
        lua_pushnumber(L, memory_kb_raw());
        return 1;
    case 99: lua_pushnumber(L, memory_kb_raw()); return 1;
    case 1: lua_pushnumber(L, cycles_2_frame_capacity(get_cpu_cycles_since_flip(0))); return 1;
    case 2: lua_pushnumber(L, cycles_2_frame_capacity(get_cpu_cycles_since_flip(1))); return 1;
    case 3: lua_pushnumber(L, pstate.current_display << 16); return 1;
    case 4: {
        const char *pb = app.paste_buffer ? app.paste_buffer : "";
        std::string out(std::strlen(pb) * 3 + 16, '\0');
        convert_escaped_to_glyphs(pb, out.data());
        lua_pushstring(L, out.c_str());
        return 1;
    }
    case 5: lua_pushnumber(L, 33 << 16); return 1;
    case 6: lua_pushstring(L, pstate.parameter_string); return 1;
    case 7: lua_pushnumber(L, pstate.fps << 16); return 1;
    case 8: lua_pushnumber(L, pstate.target_fps << 16); return 1;
    case 9: lua_pushnumber(L, vull_get_fps() << 16); return 1;
    case 10: lua_pushnumber(L, zrun.penalty << 16); return 1;
    case 11: lua_pushnumber(L, get_number_of_displays() << 16); return 1;
    case 12: lua_pushnumber(L, 23 << 16); return 1;
    case 13:
        shell_hooks.build_paused_menu();
        lua_pushnumber(L, (63 - (8 * app.paused_menu_items + 8) / 2) << 16);
        return 1;
    case 14: lua_pushnumber(L, 104 << 16); return 1;
    case 15:
        shell_hooks.build_paused_menu();
        lua_pushnumber(L, (68 + 4 * app.paused_menu_items) << 16);
        return 1;
    case 48: return lua_pushnil(L), 1;
    case 49: lua_pushstring(L, ""); return 1;
    case 80:
    case 81:
    case 82:
    case 83:
    case 84:
    case 85:
    case 90:
    case 91:
    case 92:
    case 93:
    case 94:
    case 95: {
        vull_get_datetime(&dt, n >= 90);
        int32_t f[6] = {dt.year, dt.month, dt.day, dt.hour, dt.minute, dt.second};
        lua_pushnumber(L, f[n % 10] << 16);
        return 1;
    }
    case 29: lua_pushnumber(L, vull_count_joysticks() << 16); return 1;
    case 106: {
        std::string text = std::string(pstate.parameter_string) + pstate.running_cart_hash;
        char digest[41];
        vull_sha1(text.data(), static_cast<int>(text.size()), digest);
        lua_pushstring(L, digest);
        return 1;
    }
    case 109: lua_pushnumber(L, (cconfig.mix_buffer_size / 4) << 16); return 1;
    case 100: {
        const char *label = get_run_chain_label();
        if (label)
            lua_pushstring(L, label);
        else
            lua_pushnil(L);
        return 1;
    }
    case 101:
        if (pstate.cart_code_running && pstate.running_cart_lid[0])
            lua_pushstring(L, pstate.running_cart_lid);
        else
            lua_pushnil(L);
        return 1;
    case 103: lua_pushstring(L, pstate.running_cart_hash); return 1;
    case 104:
    case 122: lua_pushboolean(L, 0); return 1;
    case 107: lua_pushnumber(L, zrun.download_result << 16); return 1;
    case 110: lua_pushboolean(L, app.frame_step_mode); return 1;
    case 108: lua_pushnumber(L, serial_audio_fill() << 16); return 1;
    case 120: lua_pushboolean(L, get_serial_file_remaining() > 0); return 1;
    case 121: lua_pushboolean(L, get_serial_image_file_remaining() > 0); return 1;
    default:
        if (int value = 0; zibo6_sound_stat(n, &value)) {
            lua_pushnumber(L, value << 16);
            return 1;
        }
        if ((n >= 50 && n <= 57) || (n >= 64 && n <= 71)) return lua_pushnil(L), 1;
        if (n >= 58 && n <= 63) return lua_pushstring(L, ""), 1;
        lua_pushnumber(L, 0);
        return 1;
    }
}
