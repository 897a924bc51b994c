// The console's section of config.txt and its command-line options. Settings
// read from the file or the command line are held in their ranges, so a
// damaged or hand-edited config.txt can never push a value that later code
// indexes or scales with out of bounds; they are written back the same way.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cart/state.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "shell/board.h"
#include "shell/zibo6.h"

extra_args_rec extra_args;
int export_mode;

namespace {

constexpr const char *CONFIG_VERSION = "0.2.3";

struct ranged_setting {
    const char *key;
    int32_t app_state::*field;
    int32_t lo, hi;
};

// The settings whose values are held in a range (the ranges the config command stores).
constexpr ranged_setting ranged[] = {
    {"volume", &app_state::volume, 0, 256},
    {"joystick_index", &app_state::joystick_index, 0, 7},
    {"gif_len", &app_state::gif_len, 0, 120},
    {"gif_scale", &app_state::gif_scale, 1, 8},
    {"screenshot_scale", &app_state::screenshot_scale, 1, 8},
    {"tab_width", &app_state::tab_width, 1, 8},
};
constexpr int32_t BUTTON_KEY_MAX = 511; // scancodes; below 0 would ask for modifier states

int32_t clamp(int64_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : int32_t(v); }

void clamp_field(int32_t app_state::*field) {
    for (const ranged_setting &r : ranged)
        if (r.field == field) app.*field = clamp(app.*field, r.lo, r.hi);
}

// Reads a decimal integer after optional blanks, as " %d" would, but saturating
// instead of overflowing. False (and *out untouched) when no number is there.
bool read_int(const char *s, int32_t *out, const char **end = nullptr) {
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f') s++;
    char *stop;
    errno = 0;
    long long v = strtoll(s, &stop, 10);
    if (stop == s) return false;
    *out = clamp(v, INT32_MIN, INT32_MAX);
    if (end) *end = stop;
    return true;
}

// root_path and cdata_path as config.txt wrote them, when they could not be used this run
// (too long, or a folder that does not list), and what was used instead.
struct kept_path {
    std::string written, instead;
};
kept_path kept_root, kept_cdata;

kept_path &kept_for(const char *key) { return key[0] == 'r' ? kept_root : kept_cdata; }

void read_path(const char *line, const char *key, char *dst) {
    // The value starts at the second character after the key; a bare key reads as empty.
    size_t key_len = strlen(key);
    const char *text = strlen(line) < key_len + 2 ? "" : line + key_len + 1;
    kept_path &kept = kept_for(key);
    kept = {};
    dst[0] = 0;
    // A relative folder is taken from where the player starts and kept absolute, so the
    // config.txt written at exit names the same folder from anywhere.
    char fixed[VULL_PATH_LEN];
    if (!vull_path_fits(text) || !vull_absolute_folder(text, fixed)) {
        vull_config_path_too_long(key, text, kept.written); // not cut into another path
        return;
    }
    snprintf(dst, Z6_PATH_LEN, "%s", fixed);
}

// The value config.txt gets: what it held while the setting stands replaced, else the live one.
const char *path_to_write(const char *key, const char *live) {
    const kept_path &kept = kept_for(key);
    return !kept.written.empty() && !kept.instead.empty() && kept.instead == live
               ? kept.written.c_str()
               : live;
}

// A config key and the field its integer value sets (ranged keys are clamped).
struct int_key {
    const char *key;
    int32_t app_state::*field;
};

// The integer keys in the order the reader tests them, between the special ones.
constexpr int_key int_keys_a[] = {
    {"joystick_index", &app_state::joystick_index},
};
constexpr int_key int_keys_b[] = {
    {"live_notes", &app_state::live_notes},
    {"cursor_snap", &app_state::cursor_snap},
    {"gif_len", &app_state::gif_len},
};
constexpr int_key int_keys_c[] = {
    {"gui_theme", &app_state::gui_theme},
    {"screenshot_scale", &app_state::screenshot_scale},
    {"gif_scale", &app_state::gif_scale},
    {"shift_glyphs", &app_state::shift_glyphs},
    {"show_backup_messages", &app_state::show_backup_messages},
    {"host_framerate_control", &app_state::host_framerate_control},
};
constexpr int_key int_keys_d[] = {
    {"browse_filter", &app_state::browse_filter},
    {"tab_width", &app_state::tab_width},
    {"draw_tabs", &app_state::draw_tabs},
    {"record_activity_log", &app_state::record_activity_log},
    {"allow_function_keys", &app_state::allow_function_keys},
    {"check_for_cart_updates", &app_state::check_for_cart_updates},
    {"enable_gpio", &app_state::enable_gpio},
    {"flip_ampersand", &app_state::flip_ampersand},
};

// The value after the key when the line begins with it, else null.
const char *after_key(const char *line, const char *key) {
    size_t n = strlen(key);
    return strncmp(line, key, n) == 0 ? line + n : nullptr;
}

template <size_t N> void apply_int_keys(const char *line, const int_key (&keys)[N]) {
    for (const int_key &k : keys) {
        const char *v = after_key(line, k.key);
        if (v && read_int(v, &(app.*k.field))) clamp_field(k.field);
    }
}

// Console option names; a value option takes the next argument.
enum option_kind { FLAG, INT_VALUE, TEXT_VALUE };
struct option_def {
    const char *name;
    option_kind kind;
};
constexpr option_def options[] = {
    {"run", FLAG},
    {"global_api", FLAG},
    {"kiosk", FLAG},
    {"x", FLAG},
    {"exec", FLAG},
    {"headless", FLAG}, // the engine's; a flag, so it never takes the cart path
    {"framebuffer", FLAG},
    {"joystick", INT_VALUE},
    {"gif_len", INT_VALUE},
    {"gui_theme", INT_VALUE},
    {"screenshot_scale", INT_VALUE},
    {"gif_scale", INT_VALUE},
    {"gpio_base", INT_VALUE},
    {"glitch_test", INT_VALUE},
    {"p", TEXT_VALUE},
    {"param", TEXT_VALUE},
    {"browse_filter", INT_VALUE},
    {"root_path", TEXT_VALUE},
    {"cdata_path", TEXT_VALUE},
    {"accept_future", INT_VALUE},
    {"export", TEXT_VALUE},
    {"volume", INT_VALUE},
    {"tv_frame", INT_VALUE},
    {"gif_reset_mode", INT_VALUE},
    {"i", TEXT_VALUE},
    {"o", TEXT_VALUE},
    {"bbs_host", TEXT_VALUE}, // the board's web server; never written to config.txt
};

void apply_flag(const char *name) {
    if (!strcmp(name, "run")) {
        app.run = 1;
    } else if (!strcmp(name, "global_api")) {
        app.global_api = 1;
    } else if (!strcmp(name, "kiosk")) {
        app.boot_into_browser = 1;
        app.kiosk = 1;
    } else if (!strcmp(name, "x") || !strcmp(name, "exec")) {
        pstate.headless = 1;
        app.run = 1;
        cconfig.headless = 1;
    }
}

void set_volume(int32_t v) {
    app.volume = clamp(v, 0, 256);
    if (cconfig.sound_volume != 0) cconfig.sound_volume = app.volume;
}

void apply_int(const char *name, int32_t v) {
    struct {
        const char *name;
        int32_t app_state::*field;
    } static constexpr fields[] = {
        {"joystick", &app_state::joystick_index},
        {"gif_len", &app_state::gif_len},
        {"gui_theme", &app_state::gui_theme},
        {"screenshot_scale", &app_state::screenshot_scale},
        {"gif_scale", &app_state::gif_scale},
        {"gpio_base", &app_state::gpio_base},
        {"glitch_test", &app_state::glitch_test},
        {"browse_filter", &app_state::browse_filter},
        {"accept_future", &app_state::accept_future},
        {"tv_frame", &app_state::tv_frame},
        {"gif_reset_mode", &app_state::gif_reset_mode},
    };
    if (!strcmp(name, "volume")) {
        set_volume(v);
        return;
    }
    for (const auto &f : fields)
        if (!strcmp(name, f.name)) {
            app.*f.field = v;
            clamp_field(f.field);
        }
}

void apply_text(const char *name, const char *text) {
    if (!strcmp(name, "p") || !strcmp(name, "param")) {
        snprintf(pstate.parameter_string_pending, Z6_PATH_LEN, "%s", text);
    } else if (!strcmp(name, "root_path") || !strcmp(name, "cdata_path")) {
        // Absolute from the start; one that does not fit is not cut into another path:
        // the setting stays as it was.
        char fixed[VULL_PATH_LEN];
        if (!vull_path_fits(text) || !vull_absolute_folder(text, fixed)) {
            fprintf(stderr, "-%s: longer than %d characters; not used\n", name, VULL_PATH_LEN - 2);
            return;
        }
        snprintf(name[0] == 'r' ? pstate.root_path : pstate.cdata_path, Z6_PATH_LEN, "%s", fixed);
    } else if (!strcmp(name, "export")) {
        snprintf(app.export_command, Z6_PATH_LEN, "%s", text);
        export_mode = 1;
        pstate.headless = 1;
        cconfig.headless = 1;
    } else if (!strcmp(name, "i")) {
        if (!app.input_file) app.input_file = fopen(text, "rb");
    } else if (!strcmp(name, "o")) {
        if (!app.output_file && !vull_file_read_only(text)) app.output_file = fopen(text, "wb");
    } else if (!strcmp(name, "bbs_host")) {
        if (!board_set_host(text)) {
            // shown cut and with control bytes masked: it reaches the terminal
            char shown[65];
            snprintf(shown, sizeof shown, "%s", text);
            for (char *c = shown; *c; c++)
                if ((unsigned char)*c < 32 || (unsigned char)*c > 126) *c = '?';
            fprintf(stderr, "-bbs_host: not a board host: \"%s\" (want host[:port])\n", shown);
            vull_debugf("-bbs_host: not a board host: \"%s\"\n", shown);
        }
    }
}

const option_def *find_option(const char *name) {
    for (const option_def &o : options)
        if (!strcmp(name, o.name)) return &o;
    return nullptr;
}

bool ends_scan(const char *arg) { return arg[0] == '|' || arg[0] == '&' || arg[0] == '>'; }

void write_int_row(vull_file *f, const char *comment, const char *format, int32_t value) {
    vull_fprintf_1s(f, "%s", comment);
    vull_fprintf_1d(f, format, value);
}

} // namespace

void clamp_app_config() {
    for (const ranged_setting &r : ranged) app.*r.field = clamp(app.*r.field, r.lo, r.hi);
    for (int32_t &k : app.button_keys) k = clamp(k, 0, BUTTON_KEY_MAX);
}

void path_setting_replaced(const char *key, const char *written, const char *used) {
    kept_path &kept = kept_for(key);
    if (kept.written.empty() && written && written[0]) {
        kept.written = written;
        vull_debugf("%s %s does not list; %s is used this run\n", key, written, used);
        fprintf(stderr, "%s %s does not list; %s is used this run\n", key, written, used);
    }
    kept.instead = used;
}

void zibo6_load_config(const char *line) {
    if (!line) return;
    const char *v;
    if ((v = after_key(line, "root_path"))) read_path(line, "root_path", pstate.root_path);
    if ((v = after_key(line, "cdata_path"))) read_path(line, "cdata_path", pstate.cdata_path);
    apply_int_keys(line, int_keys_a);
    if ((v = after_key(line, "button_keys"))) {
        for (int32_t &k : app.button_keys) {
            int32_t n;
            if (!read_int(v, &n, &v)) break;
            k = clamp(n, 0, BUTTON_KEY_MAX);
        }
    }
    apply_int_keys(line, int_keys_b);
    if ((v = after_key(line, "volume"))) {
        int32_t n;
        if (read_int(v, &n)) set_volume(n);
    }
    apply_int_keys(line, int_keys_c);
    if ((v = after_key(line, "content_filter"))) {
        int32_t n;
        if (read_int(v, &n)) app.browse_filter = n == 2 ? 1 : 0;
    }
    apply_int_keys(line, int_keys_d);
}

void zibo6_save_config(vull_file *f) {
    if (!f) return;
    clamp_app_config();
    vull_fprintf_1s(f, "version %s\n\n", CONFIG_VERSION);
    write_int_row(f, "// audio volume: 0..256 \n", "volume %d\n\n", app.volume);
    vull_fprintf_1s(f, "%s", "\n// Location of zibo-6's root folder\n");
    vull_fprintf_1s(f, "root_path %s\n\n", path_to_write("root_path", pstate.root_path));
    vull_fprintf_1s(f, "%s", "\n// Location of cartridge save data\n");
    vull_fprintf_1s(f, "cdata_path %s\n\n", path_to_write("cdata_path", pstate.cdata_path));
    write_int_row(f, "\n// Specify which player index joystick control begins at (0..7)\n",
                  "joystick_index %d\n\n", app.joystick_index);
    vull_fprintf_1s(f, "%s",
                    "\n// Custom keyboard scancodes for buttons. player0 0..6, player1 0..5\n");
    vull_fprintf_1s(f, "%s", "button_keys ");
    for (int32_t k : app.button_keys) vull_fprintf_1d(f, "%d ", k);
    vull_fprintf_1s(f, "%s", "\n\n");
    write_int_row(f, "// Play notes as they are plotted in frequency mode\n", "live_notes %d\n\n",
                  app.live_notes);
    write_int_row(f, "// iff 1: when using keyboard cursor, snap to closest pixel / map cel\n",
                  "cursor_snap %d\n\n", app.cursor_snap);
    write_int_row(f,
                  "// 0 default  1 dark blue background in code editor  2 black background in "
                  "code editor   3 gray background in code editor   \n",
                  "gui_theme %d\n\n", app.gui_theme);
    write_int_row(f, "// scale of screenshots and gifs // 2 means 256x256\n",
                  "screenshot_scale %d\n", app.screenshot_scale);
    vull_fprintf_1d(f, "gif_scale %d\n\n", app.gif_scale);
    write_int_row(f, "// maximum gif length in seconds (0..120; 0 means no gif recording)\n",
                  "gif_len %d\n\n", app.gif_len);
    write_int_row(f,
                  "// when 1, reset the recording when pressing ctrl-9 (useful for creating a "
                  "non-overlapping sequence)\n",
                  "gif_reset_mode %d\n\n", app.gif_reset_mode);
    write_int_row(f,
                  "// 0 for off. 1 to allow control of a cart's framerate due to host machine's "
                  "cpu capacity (recommended)\n",
                  "host_framerate_control %d\n\n", app.host_framerate_control);
    vull_fprintf_1s(f, "%s", "// filter browse cartridges\n");
    write_int_row(f, "// 0 off   1 on (exclude cartridge tagged as 'mature' by community)\n",
                  "browse_filter %d\n\n", app.browse_filter);
    write_int_row(f, "// tab display width (1 ~ 4 spaces)\n", "tab_width %d\n\n", app.tab_width);
    write_int_row(f, "// 0 off 1 on: draw tab characters as small vertical lines\n",
                  "draw_tabs %d\n\n", app.draw_tabs);
    write_int_row(f,
                  "// 0 off 1 on: record the current cartridge and editor view every 3 seconds "
                  "(see [appdata]/activity.log.txt)\n",
                  "record_activity_log %d\n\n", app.record_activity_log);
    write_int_row(f, "// 0 off 1 on: allow F6..F9 (alternative: ctrl 6..9)\n",
                  "allow_function_keys %d\n\n", app.allow_function_keys);
    write_int_row(f,
                  "// 0 off 1 on: automatically check for a newer version of a BBS cart each time "
                  "it is run.\n",
                  "check_for_cart_updates %d\n\n", app.check_for_cart_updates);
#ifdef ZIBO6_ARM32
    write_int_row(f,
                  "// 0 off 1 on: allow access to hardware GPIO at 0x5f80..0x5fff (might need to "
                  "sudo zibo6)\n",
                  "enable_gpio %d\n\n", app.enable_gpio);
#endif
    if (app.flip_ampersand) vull_fprintf_1s(f, "%s", "flip_ampersand 1\n\n");
}

namespace {

// Walks the command line as the console reads it: on_option(option, value) for each of the
// console's options (value null for a flag), on_bare(arg) for each argument no option takes.
template <class Option, class Bare>
void scan_arguments(int argc, char **argv, Option on_option, Bare on_bare) {
    if (argc < 2 || !argv || !argv[1] || ends_scan(argv[1])) return;
    const option_def *waiting = nullptr;
    int skip = 0; // values of an option of the engine's (or an unknown one) still to skip
    for (int i = 1; i < argc && argv[i]; i++) {
        const char *arg = argv[i];
        if (ends_scan(arg)) break;
        // -export takes the next argument whatever it is; a number option takes a negative number
        bool export_value = waiting && !strcmp(waiting->name, "export");
        bool negative_value = waiting && waiting->kind == INT_VALUE && arg[0] == '-' &&
                              arg[1] >= '0' && arg[1] <= '9';
        if (arg[0] == '-' && !export_value && !negative_value) {
            const option_def *o = find_option(arg + 1);
            waiting = nullptr;
            skip = 0;
            if (!o) { // the engine's values exactly; an option nobody knows waits for one
                int n = vull_option_value_count(argc, argv, i);
                skip = n < 0 ? 1 : n;
            } else if (o->kind == FLAG) {
                on_option(*o, nullptr);
            } else {
                waiting = o;
            }
            continue;
        }
        if (waiting) {
            on_option(*waiting, arg);
            waiting = nullptr;
        } else if (skip > 0) {
            skip--;
        } else {
            on_bare(arg);
        }
    }
}

} // namespace

void process_arguments(int argc, char **argv) {
    extra_args.count = 0;
    bool have_cart = false;
    scan_arguments(
        argc, argv,
        [](const option_def &o, const char *value) {
            if (!value) {
                apply_flag(o.name);
            } else if (o.kind == INT_VALUE) {
                int32_t v = 0;
                read_int(value, &v);
                apply_int(o.name, v);
            } else {
                apply_text(o.name, value);
            }
        },
        [&](const char *arg) {
            if (!have_cart) {
                snprintf(app.cart_path, sizeof app.cart_path, "%s", arg);
                have_cart = true;
            } else if (extra_args.count < Z6_EXTRA_ARGS) {
                snprintf(extra_args.text[extra_args.count++], Z6_PATH_LEN, "%s", arg);
            }
        });
}

const char *unusable_folder_option(int argc, char **argv) {
    const char *refused = nullptr;
    scan_arguments(
        argc, argv,
        [&](const option_def &o, const char *value) {
            char fixed[VULL_PATH_LEN];
            bool folder = !strcmp(o.name, "root_path") || !strcmp(o.name, "cdata_path");
            if (!refused && folder && value &&
                (!vull_path_fits(value) || !vull_absolute_folder(value, fixed)))
                refused = o.name;
        },
        [](const char *) {});
    return refused;
}
