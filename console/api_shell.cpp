// The console's shell commands (cd, ls, save, info, reboot and the rest).  They
// act for a headless script and for a typed command line; inside a running cart
// they are inert, so a cart cannot touch the user's folders through them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/compress.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "cart/textcode.h"
#include "console/api.h"
#include "console/button.h"
#include "console/mem.h"
#include "console/pre.h"
#include "console/hooks.h"
#include "cart/state.h"
#include "console/term.h"
#include "console/token.h"
#include "engine/ctext.h"
#include "engine/disk.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "vm/lcpu.h"

namespace {

constexpr size_t NAME_MAX_LEN = 511; // longest folder or file name a command accepts

bool inert() { return !pstate.headless && pstate.cart_code_running; }

void print_fmt_col(int colour, const char *format, const char *a, const char *b = "") {
    char line[Z6_PATH_LEN + 64];
    std::snprintf(line, sizeof line, format, a, b);
    zibo_print_col(line, colour);
}

std::string root_path() {
    char resolved[Z6_PATH_LEN * 2] = "";
    vull_resolve_filename(pstate.root_path, resolved);
    std::string r = resolved;
    if (!r.empty() && r.back() != '/') r += '/';
    return r;
}

// The export run's own root ("./"): cd goes anywhere there. Every user's root is absolute.
bool export_root() { return pstate.root_path[0] == '.'; }

// The host path a command's name stands for: root + name for "/name", else root + the
// current folder + name, resolved. False when it leaves the root (unless cd may go anywhere),
// holds a NUL or does not fit a path.
bool path_in_root(const char *name, size_t len, std::string &out, bool anywhere = false) {
    if (len > NAME_MAX_LEN || std::memchr(name, '\0', len)) return false;
    std::string given(name, len), root = root_path();
    std::string target = !given.empty() && given[0] == '/' ? root + given.substr(1)
                                                           : root + pstate.current_folder + given;
    char resolved[Z6_PATH_LEN * 2] = "";
    vull_resolve_filename(target.c_str(), resolved);
    out = resolved;
    if (out.empty()) return false;
    std::string folder = out.back() == '/' ? out : out + "/";
    return anywhere || folder.compare(0, root.size(), root) == 0;
}

// Name and extension of a path for the terminal lines ("saved game.z6").
void split_name(const char *path, char *name, char *ext) {
    vull_split_filename(path, nullptr, name, ext);
}

} // namespace

int z6_cd(lua_State *L) {
    if (inert()) return 0;
    if (lua_gettop(L) < 1 || lua_type(L, 1) != LUA_TSTRING) {
        print_fmt_col(12, "directory: /%s", pstate.current_folder);
        return 0;
    }
    size_t len = 0;
    const char *name = lua_tolstring(L, 1, &len);
    if (len > NAME_MAX_LEN) return 0;
    std::string t;
    if (!path_in_root(name, len, t, export_root())) {
        zibo_print_col("cd: failed", 7);
        return 0;
    }
    if (t.back() != '/') t += '/';
    std::error_code ec;
    if (!std::filesystem::is_directory(t, ec)) {
        zibo_print_col("directory not found", 7);
        return 0;
    }
    std::string root = root_path();
    std::string folder = export_root() ? t : t.substr(root.size());
    if (folder == "/") folder.clear();
    std::snprintf(pstate.current_folder, sizeof pstate.current_folder, "%s", folder.c_str());
    print_fmt_col(12, "/%s", pstate.current_folder);
    return 0;
}

int z6_mkdir(lua_State *L) {
    if (inert()) return 0;
    if (lua_gettop(L) < 1 || (lua_type(L, 1) != LUA_TSTRING && lua_type(L, 1) != LUA_TNUMBER)) {
        zibo_print("mkdir [name]");
        return 0;
    }
    size_t len = 0;
    const char *name = lua_tolstring(L, 1, &len);
    if (len > NAME_MAX_LEN) {
        lua_pushnumber(L, 0);
        return 1;
    }
    std::string path;
    if (!path_in_root(name, len, path)) {
        zibo_print_col("mkdir: failed", 7);
        return 0;
    }
    vull_mkdir((path + "/").c_str());
    return 0;
}

char ls_pattern[256];

int z6_ls(lua_State *L) {
    pstate.ls_lines = 17;
    if (pstate.cart_code_running) return 0;
    ls_pattern[0] = '\0';
    if (lua_type(L, 1) == LUA_TSTRING || lua_type(L, 1) == LUA_TNUMBER)
        std::snprintf(ls_pattern, sizeof ls_pattern, "%s", lua_tostring(L, 1));
    pstate.ls_state = 0;
    shell_hooks.zibo6_list_files();
    // a headless script gets the first screenful at once; the shell's update
    // goes on with the rest as it does for the prompt
    while (pstate.headless && pstate.ls_state && pstate.ls_lines > 0) shell_hooks.zibo6_list_files();
    return 0;
}

int z6_folder(lua_State *L) {
    if (inert()) return 0;
    char path[Z6_PATH_LEN * 2] = "";
    if (lua_gettop(L) < 1 || lua_type(L, 1) != LUA_TSTRING) {
        std::snprintf(path, sizeof path, "%s%s", pstate.root_path, pstate.current_folder);
    } else {
        std::string where = lua_tostring(L, 1);
        if (where == "backups")
            vull_prefix_with_appdata_path("backup/", path, sizeof path);
        else if (where == "config")
            vull_prefix_with_appdata_path("", path, sizeof path);
        else if (where == "bbs")
            vull_prefix_with_appdata_path("bbs/", path, sizeof path);
        else if (where == "desktop")
            vull_prefix_with_desktop_path("", path, sizeof path);
        else if (where == "local")
            std::snprintf(path, sizeof path, "%s%s", pstate.root_path, pstate.current_folder);
        else {
            zibo_print_col("useage: folder [location]", 14);
            zibo_print_col("locations:", 6);
            zibo_print_col("backups config bbs local desktop", 6);
            return 0;
        }
    }
    size_t n = std::strlen(path);
    if (n > 1 && path[n - 1] == '/') path[n - 1] = '\0';
    vull_launch_html(path);
    return 0;
}

static bool overwrite_pending = false;

int z6_save(lua_State *L) {
    if (pstate.headless) {
        if (pitem.cart) { // the cart's data as the program left it
            uint8_t rom[ZIBO6_ROM_DATA_SIZE];
            zibo6_peek_rom(pstate.memory_cart, rom);
            zibo6_poke_rom(pitem.cart, rom);
        }
    } else if (pstate.cart_code_running) {
        zibo_print("can not save while running");
        return 0;
    }
    std::string name;
    if (lua_type(L, 1) == LUA_TSTRING || lua_type(L, 1) == LUA_TNUMBER) {
        size_t len = 0;
        const char *s = lua_tolstring(L, 1, &len);
        if (len > NAME_MAX_LEN) {
            zibo_print("filename too long");
            return 0;
        }
        name.assign(s, len);
    }
    if (name == "@clip" || name == "@clip.z6" || name == "@clip.png" || name == "@clip.z6.png") {
        if (!pitem.cart || !zibo6_measure_text_sections(pitem.cart).label) {
            zibo_print_col("warning: label is blank", 9);
            zibo_print_col("run cart and ctrl-7 to capture", 10);
        }
        // The clipboard gets the PNG cart as hexadecimal text, by way of two per-user files.
        char png[VULL_PATH_LEN], hex[VULL_PATH_LEN];
        bool ok = pitem.cart && vull_prefix_with_appdata_path("_clip.z6.png", png) == 0 &&
                  vull_prefix_with_appdata_path("_clip.z6.png.hex", hex) == 0 &&
                  save_zibo6_cart_png(pitem.cart, png) == 0 &&
                  convert_binary_file_to_hex(png, hex) == 0 &&
                  vull_load_clipboard_from_file(hex) == 0;
        zibo_print(ok ? "saved to clipboard" : "failed to save to clipboard");
        return 0;
    }
    if (name.empty()) {
        do_quick_save(1);
        return 0;
    }
    // The file that will be written (".z6" added as the writer adds it), inside the root.
    std::string resolved;
    char path[VULL_PATH_LEN] = "";
    if (path_in_root(name.data(), name.size(), resolved))
        inject_z6_extention(resolved.c_str(), path);
    if (!path[0]) {
        zibo_print("failed to save");
        return 0;
    }
    if (vull_file_exists(path) && !overwrite_pending) {
        zibo_print_col("file already exists", 14);
        zibo_print_col("overwrite? [y/n]", 14);
        overwrite_pending = true;
        return 0;
    }
    overwrite_pending = false;
    if (!pitem.cart || save_working_cart(path) != 0) {
        zibo_print("failed to save");
        return 0;
    }
    char fname[Z6_PATH_LEN] = "", fext[Z6_PATH_LEN] = "";
    split_name(path, fname, fext);
    print_fmt_col(6, "saved %s%s", fname, fext);
    vull_set_window_title(fname);
    return 0;
}

int z6_backup(lua_State *) {
    if (inert()) return 0;
    char fname[Z6_PATH_LEN] = "", fext[Z6_PATH_LEN] = "";
    split_name(pstate.current_filename, fname, fext);
    if (save_backup(pstate.current_filename, 0) != 0)
        print_fmt_col(8, "could not back up %s%s", fname, fext);
    else
        print_fmt_col(6, "backed up %s%s", fname, fext);
    return 0;
}

static void print_limit(const char *format, int value, int limit) {
    char line[80];
    std::snprintf(line, sizeof line, format, value, limit);
    zibo_print_col(line, value <= limit ? 6 : 9);
}

int z6_info(lua_State *) {
    if (inert()) return 0;
    if (pstate.current_filename[0]) {
        char fname[Z6_PATH_LEN] = "", fext[Z6_PATH_LEN] = "";
        split_name(pstate.current_filename, fname, fext);
        print_fmt_col(14, "file: %s%s", fname, fext[0] ? fext : ".z6");
    }
    std::string flat;
    const char *code = pitem.cart && pitem.cart->code ? pitem.cart->code : "";
    if (zibo6_flatten_includes(code, flat) != 0) return 0;
    // Only the size is shown: the block goes to a buffer kept for the purpose,
    // not a fresh quarter megabyte cleared at every call.
    static std::vector<uint8_t> packed(PXA_SCRATCH_SIZE);
    int compressed = compress_mini(flat.c_str(), packed.data(), static_cast<int>(flat.size()));
    print_limit("tokens:     %5d /  %d", count_tokens(flat.c_str()), 8192);
    print_limit("chars:      %5d / %d", static_cast<int>(flat.size()), 65535);
    print_limit("compressed: %5d / %d", compressed, 15616);
    if (detect_unsaved_changes()) zibo_print("unsaved changes");
    if (detect_external_changes()) zibo_print("external changes");
    return 0;
}

void print_help_topic(const char *topic) {
    std::string word = topic ? topic : "";
    const ctext *tab = pstate.current_tab >= 0 && pstate.current_tab < Z6_CODE_TABS
                           ? pstate.code_tab[pstate.current_tab]
                           : nullptr;
    if (word.empty() && tab && tab->text) {
        // The word of lower-case letters around the code cursor.
        const char *t = tab->text;
        int n = static_cast<int>(std::strlen(t));
        int at = std::clamp(tab->cursor, 0, n), from = at, to = at;
        while (from > 0 && t[from - 1] >= 'a' && t[from - 1] <= 'z') from--;
        while (to < n && t[to] >= 'a' && t[to] <= 'z') to++;
        word.assign(t + from, static_cast<size_t>(std::min(to - from, 254)));
    }
    print_fmt_col(6, "help topic: %s", word.c_str());
    zibo_print("blah");
}

int z6_help(lua_State *) {
    if (inert()) return 0;
    static const struct {
        const char *text;
        int colour;
    } lines[] = {
        {"", 6},
        {"commands", 12},
        {"", 6},
        {"load <filename>  save <filename>", 14},
        {"run (or ctrl-r)  resume", 14},
        {"shutdown         reboot", 14},
        {"install_demos    ls", 14},
        {"cd <dirname>     mkdir <dirname>", 14},
        {"cd ..      to go up a directory", 14},
        {"keyconfig  to choose buttons", 14},
        {"browse     to explore cartridges", 14},
        {"", 6},
        {"press esc to toggle editor view", 6},
        {"alt+enter to toggle fullscreen", 6},
        {"alt+f4 or ctrl-q to fastquit", 6},
        {"", 6},
        {"see zibo6.txt for more info", 12},
        {"carts and news: zibo-6 home page", 12},
        {"", 6},
    };
    for (const auto &l : lines) zibo_print_col(l.text, l.colour);
    return 0;
}

int z6_shutdown(lua_State *) {
    if (inert()) return 0;
    vull_quit = 1;
    lua_cpu_superyield();
    return 0;
}

int z6_reboot(lua_State *) {
    if (inert()) return 0;
    pstate.pending_action = 3;
    app.loaded = 0;
    lua_cpu_superyield();
    return 0;
}

int z6_install_demos(lua_State *) {
    if (inert()) return 0;
    shell_hooks.install_demo_carts();
    return 0;
}

int z6_install_games(lua_State *) {
    if (inert()) return 0;
    zibo_print_col("installing games to /games/", 14);
    shell_hooks.install_preloaded_bbs_carts();
    return 0;
}

int z6_browse(lua_State *) {
    if (inert()) return 0;
    zibo_print("sorry, browse is not available");
    return 0;
}
