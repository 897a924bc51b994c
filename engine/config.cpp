// Engine configuration: defaults, command-line options, config.txt reading and writing.
#include "engine/config.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "engine/disk.h"
#include "engine/mem.h"
#include "platform/system.h"
#include "platform/video.h"

vull_config_rec cconfig;
vull_config_rec cconfig0;


// A desktop_path too long for the record: not used, but written back as config.txt gave it.
static std::string desktop_path_kept;
// The per-user config.txt is there but was not read (past the size limit, not a regular file,
// not readable): it holds the user's settings, so it is not written over at exit.
static bool config_unread = false;

void vull_config_default() {
    cconfig = vull_config_rec{};
    cconfig.screen_depth = 32;
    cconfig.sound_volume = 256;
    cconfig.music_volume = 256;
    cconfig.foreground_sleep_ms = 2;
    cconfig.background_sleep_ms = 10;
    cconfig.window_position[0] = -1;
    cconfig.window_position[1] = -1;
    cconfig.display = -1;
    cconfig.mix_buffer_size = 1024;
    cconfig.windib = -1;
    cconfig.fullscreen_method = 1;
    cconfig.pixel_perfect = -1;
    cconfig.keep_aspect = 1;
    cconfig.timeout = 30;
#ifdef ZIBO6_ARM32
    if (access("/boot/config.txt.picade-preinstall", F_OK) == 0) { // asked, never opened
        vull_debug("detected picade\n");
        cconfig.cabinet = 1;
        cconfig.sound_volume = 64;
        cconfig.foreground_sleep_ms = 5;
    } else {
        cconfig.foreground_sleep_ms = 1;
    }
#endif
}

/*
** Reads one decimal integer the way "%d" does (leading white space, optional
** sign), but clamps to the int32 range instead of overflowing. Advances *p
** past the number; 0 when there is no number (and *p is left alone).
*/
static int read_int(const char **p, int32_t *out) {
    errno = 0;
    char *end = nullptr;
    long long v = strtoll(*p, &end, 10);
    if (end == *p) return 0;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *out = int32_t(v);
    *p = end;
    return 1;
}

/* " %d" and " %d %d": assigns as many values as are there, like sscanf. */
static void read_ints(const char *p, int32_t *a, int32_t *b = nullptr) {
    int32_t v;
    if (!read_int(&p, &v)) return;
    *a = v;
    if (b && read_int(&p, &v)) *b = v;
}

/* ---- command line ---- */

enum option_kind { OPT_INT, OPT_PATH, OPT_RECT, OPT_FLAG };

using R = vull_config_rec;
using option_setter = void (*)(R &c, int32_t v);

struct option_def {
    const char *name; // matched as a prefix of the argument after its '-'
    option_kind kind;
    option_setter set; // OPT_INT: stores the value; OPT_FLAG: called with 1
};

static const option_def engine_options[] = {
    {"width", OPT_INT, [](R &c, int32_t v) { c.window_size[0] = v; }},
    {"height", OPT_INT, [](R &c, int32_t v) { c.window_size[1] = v; }},
    {"show_fps", OPT_INT, [](R &c, int32_t v) { c.show_fps = v; }},
    {"windowed", OPT_INT, [](R &c, int32_t v) { c.windowed = v; }},
    {"window_x", OPT_INT, [](R &c, int32_t v) { c.window_position[0] = v; }},
    {"window_y", OPT_INT, [](R &c, int32_t v) { c.window_position[1] = v; }},
    {"frameless", OPT_INT, [](R &c, int32_t v) { c.frameless = v; }},
    {"fullscreen_method", OPT_INT, [](R &c, int32_t v) { c.fullscreen_method = v; }},
    {"foreground_sleep_ms", OPT_INT, [](R &c, int32_t v) { c.foreground_sleep_ms = v; }},
    {"background_sleep_ms", OPT_INT, [](R &c, int32_t v) { c.background_sleep_ms = v; }},
    {"sound", OPT_INT, [](R &c, int32_t v) { c.sound_volume = v; }}, // -sound_volume too
    {"music", OPT_INT, [](R &c, int32_t v) { c.music_volume = v; }}, // -music_volume too
    {"mix_buffer_size", OPT_INT, [](R &c, int32_t v) { c.mix_buffer_size = v; }},
    {"software_blit", OPT_INT, [](R &c, int32_t v) { c.software_blit = v; }},
    {"home", OPT_PATH, nullptr},
    {"desktop", OPT_PATH, nullptr},
    {"pixel_perfect", OPT_INT, [](R &c, int32_t v) { c.pixel_perfect = v; }},
    {"draw_rect", OPT_RECT, nullptr},
    {"timeout", OPT_INT, [](R &c, int32_t v) { c.timeout = std::clamp<int32_t>(v, 1, 240); }},
    {"headless", OPT_FLAG, [](R &c, int32_t v) { c.headless = v; }},
    {"x", OPT_FLAG, [](R &c, int32_t v) { c.headless = v; }},
    // The console runs carts headless for these too; deciding it here keeps
    // SDL video from starting on machines without a display.
    {"exec", OPT_FLAG, [](R &c, int32_t v) { c.headless = v; }},
    {"export", OPT_FLAG, [](R &c, int32_t v) { c.headless = v; }},
    {"perf_timing", OPT_INT, [](R &c, int32_t v) { c.perf_timing = v; }},
    // Framebuffer mode presents nothing through a window: it runs headless.
    {"framebuffer", OPT_FLAG, [](R &c, int32_t v) { c.framebuffer = c.headless = v; }},
    {"emulate_textinput", OPT_INT, [](R &c, int32_t v) { c.emulate_textinput = v; }},
    {"deferred_dealloc", OPT_INT, [](R &c, int32_t v) { c.deferred_dealloc = v; }},
    {"ext_display", OPT_INT, [](R &c, int32_t v) { c.ext_display = v; }},
    {"preblit_scale", OPT_INT,
     [](R &c, int32_t v) { c.preblit_scale = std::clamp<int32_t>(v, 0, 8); }},
    {"display", OPT_INT, [](R &c, int32_t v) { c.display = v; }},
    {"log_system_info", OPT_INT, [](R &c, int32_t v) { c.log_system_info = v; }},
};

// False for a folder too long to be used (it is left empty, never cut).
static bool apply_option_value(const option_def &o, const char *value) {
    if (o.kind == OPT_PATH) {
        // Absolute from the start: a relative folder would name another one once the
        // player runs elsewhere, and config.txt keeps the paths made from it.
        bool home = strcmp(o.name, "home") == 0;
        char *dst = home ? cconfig.home : cconfig.desktop_path;
        int room = home ? VULL_USER_NAME_MAX : 0;
        if (!value[0] || vull_is_blank(value[0])) { // a blank folder is no folder
            snprintf(dst, VULL_PATH_LEN, "%s", value);
        } else if (!vull_path_fits(value, room) || !vull_absolute_folder(value, dst) ||
                   strlen(dst) + size_t(room) > size_t(VULL_PATH_LEN - 1)) {
            dst[0] = 0;
            return false;
        }
        return true;
    }
    if (o.kind == OPT_RECT) {
        int32_t *r = cconfig.draw_rect;
        r[0] = 0, r[1] = 0, r[2] = 4096, r[3] = 4096;
        const char *p = value;
        for (int i = 0; i < 4; i++) {
            if (i > 0 && *p++ != ',') break;
            if (!read_int(&p, &r[i])) break;
        }
        return true;
    }
    int32_t n = 0; // "%d" of something that is not a number gives 0
    const char *p = value;
    read_int(&p, &n);
    o.set(cconfig, n);
    return true;
}

static const option_def *find_engine_option(const char *arg) {
    if (!arg || arg[0] != '-') return nullptr;
    for (const option_def &o : engine_options)
        if (strncmp(arg + 1, o.name, strlen(o.name)) == 0) return &o;
    return nullptr;
}

static bool bare_argument(const char *arg) {
    return arg && arg[0] && arg[0] != '-' && arg[0] != '|' && arg[0] != '&' && arg[0] != '>';
}

static bool plain_number(const char *arg) {
    if (!arg || !*arg) return false;
    for (const char *c = arg; *c; c++)
        if (*c < '0' || *c > '9') return false;
    return true;
}

// The rectangle comes as one "x,y,w,h" argument or as up to four numbers.
static int rect_value_count(int argc, char **argv, int i) {
    if (i + 1 >= argc || !bare_argument(argv[i + 1])) return 0;
    int n = 1;
    if (plain_number(argv[i + 1]))
        while (n < 4 && i + 1 + n < argc && plain_number(argv[i + 1 + n])) n++;
    return n;
}

int vull_option_value_count(int argc, char **argv, int i) {
    if (!argv || i < 0 || i >= argc) return -1;
    const option_def *o = find_engine_option(argv[i]);
    if (!o) return -1;
    if (o->kind == OPT_FLAG) return 0;
    if (o->kind == OPT_RECT) return rect_value_count(argc, argv, i);
    return i + 1 < argc && bare_argument(argv[i + 1]) ? 1 : 0;
}

/*
** Option names match as prefixes (-sound_volume is -sound). A value cannot
** begin with '-', so a bare argument after a value option is always taken as
** its value: "-windowed cart.z6" sets windowed to 0 and the console still sees
** the cart. The flags take no value and never swallow the next argument.
*/
const char *vull_process_arguments(int argc, char **argv) {
    if (argc < 2 || !argv) return nullptr;
    const option_def *pending = nullptr;
    const char *refused = nullptr;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (!arg || arg[0] == '|' || arg[0] == '&' || arg[0] == '>') break;
        if (arg[0] != '-') {
            if (pending && !apply_option_value(*pending, arg) && !refused) refused = pending->name;
            pending = nullptr;
            continue;
        }
        const option_def *o = find_engine_option(arg);
        if (!o) continue;
        pending = nullptr;
        if (o->kind == OPT_FLAG) {
            o->set(cconfig, 1);
        } else if (o->kind == OPT_RECT) {
            int n = rect_value_count(argc, argv, i);
            std::string joined;
            for (int k = 1; k <= n; k++) {
                if (k > 1) joined += ',';
                joined += argv[i + k];
            }
            if (n > 0) apply_option_value(*o, joined.c_str());
            i += n;
        } else {
            pending = o;
        }
    }
    return refused;
}

void vull_refuse_folder_option(const char *name) {
    int room = strcmp(name, "home") == 0 ? VULL_USER_NAME_MAX : 0;
    fprintf(stderr, "-%s: longer than %d characters; not starting\n", name,
            VULL_PATH_LEN - 2 - room);
    exit(1);
}

/* ---- reading config.txt ---- */

/* Applies one line to a record; 0 when no engine key matches. */
static int apply_config_line(vull_config_rec &c, const char *line, int log_position) {
    auto key = [line](const char *k) -> const char * {
        size_t n = strlen(k);
        return strncmp(line, k, n) == 0 ? line + n : nullptr;
    };
    const char *v;
    if ((v = key("video_mode"))) {
        read_ints(v, &c.window_size[0], &c.window_size[1]);
        read_ints(v, &c.screen_size[0], &c.screen_size[1]);
    } else if ((v = key("window_size")))
        read_ints(v, &c.window_size[0], &c.window_size[1]);
    else if ((v = key("screen_size")))
        read_ints(v, &c.screen_size[0], &c.screen_size[1]);
    else if ((v = key("windowed")))
        read_ints(v, &c.windowed);
    else if ((v = key("foreground_sleep_ms")))
        read_ints(v, &c.foreground_sleep_ms);
    else if ((v = key("background_sleep_ms")))
        read_ints(v, &c.background_sleep_ms);
    else if ((v = key("sound_volume"))) {
        int32_t n = c.sound_volume;
        read_ints(v, &n);
        c.sound_volume = n;
    } else if ((v = key("music_volume"))) {
        int32_t n = c.music_volume;
        read_ints(v, &n);
        c.music_volume = n;
    } else if ((v = key("mix_buffer_size")))
        read_ints(v, &c.mix_buffer_size);
    else if ((v = key("windib")))
        read_ints(v, &c.windib);
    else if ((v = key("opengl_blit")))
        read_ints(v, &c.opengl_blit_key);
    else if ((v = key("show_fps")))
        read_ints(v, &c.show_fps);
    else if ((v = key("large_window")))
        read_ints(v, &c.large_window);
    else if ((v = key("frameless")))
        read_ints(v, &c.frameless);
    else if ((v = key("window_position"))) {
        read_ints(v, &c.window_position[0], &c.window_position[1]);
        if (log_position) {
            vull_debugf("new window position: %d, %d\n", c.window_position[0],
                        c.window_position[1]);
        }
    }
    // These two read one character past the key ("sessions12" gives 2); a bare
    // key has nothing there to read.
    else if ((v = key("sessions"))) {
        if (*v) read_ints(v + 1, &c.sessions);
    } else if ((v = key("rmb_key"))) {
        if (*v) read_ints(v + 1, &c.rmb_key);
    } else if ((v = key("desktop_path"))) {
        const char *text = *v ? v + 1 : v;
        // A relative folder is taken from where the player starts and kept absolute.
        bool fits = vull_path_fits(text) && vull_absolute_folder(text, c.desktop_path);
        if (!fits) c.desktop_path[0] = 0;
        if (!fits && log_position)
            vull_config_path_too_long("desktop_path", text, desktop_path_kept);
    }
    else if ((v = key("fullscreen_method")))
        read_ints(v, &c.fullscreen_method);
    else
        return 0;
    return 1;
}

static void clamp_config(vull_config_rec &c) {
    c.sound_volume = std::clamp<int32_t>(c.sound_volume, 0, 256);
    c.music_volume = std::clamp<int32_t>(c.music_volume, 0, 256);
    c.foreground_sleep_ms = std::clamp<int32_t>(c.foreground_sleep_ms, 0, 200);
    c.background_sleep_ms = std::clamp<int32_t>(c.background_sleep_ms, 0, 200);
    if (c.mix_buffer_size < 512 || c.mix_buffer_size > 8192) c.mix_buffer_size = 1024;
    c.config_read = 1;
}

static vull_file *open_config_for_reading() {
    char path[VULL_PATH_LEN];
    vull_file *f = nullptr;
    config_unread = false;
    if (vull_prefix_with_appdata_path("config.txt", path, sizeof path) == 0) {
        f = vull_fopen(path, "r", VULL_CONFIG_FILE_MAX);
        // A virtual-disk copy read in its place does not make the file on the disk ours.
        struct stat st {};
        if ((!f || f->vdisk) && ::stat(path, &st) == 0) {
            config_unread = true;
            std::string say = std::string("config.txt: ") + path + " not read (over " +
                              std::to_string(VULL_CONFIG_FILE_MAX) +
                              " bytes, or not a readable file); kept as it is, this run's "
                              "settings are not saved\n";
            vull_debug(say.c_str());
            fputs(say.c_str(), stderr);
        }
    }
    if (!f && vull_prefix_with_program_path("config.txt", path, sizeof path) == 0)
        f = vull_fopen(path, "r", VULL_CONFIG_FILE_MAX);
    return f;
}

void vull_config_load() {
    vull_file *f = open_config_for_reading();
    if (!f) return;
    vull_debug("Found config.txt\n");
    vull_debug(">\n");

    // Whole lines, however long: a setting cut in two would come back as another value.
    cbuffer *buf = vull_create_buffer(256);
    int logged = 0;
    while (buf && vull_fgets_line(buf, f) >= 0) {
        const char *line = reinterpret_cast<const char *>(buf->data);
        if (line[0] && line[0] != '/') { vull_debugf("%02d %s\n", ++logged, line); }
        // Every key goes into both records: cconfig0 is the defaults plus config.txt.
        if (apply_config_line(cconfig, line, 1)) {
            apply_config_line(cconfig0, line, 0);
        } else if (vull_load_config_func) {
            vull_load_config_func(line);
        }
    }
    vull_destroy_buffer(buf);

    vull_debug("<\n");
    clamp_config(cconfig);
    clamp_config(cconfig0);
    vull_fclose(f);
}

/* ---- writing config.txt ---- */

static void put_text(const char *text, vull_file *f) {
    vull_fwrite(text, 1, int(strlen(text)), f);
}

__attribute__((format(printf, 2, 3))) static void put_format(vull_file *f, const char *format,
                                                             ...) {
    va_list ap, again;
    va_start(ap, format);
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    if (n > 0) {
        std::string text(size_t(n) + 1, '\0');
        vsnprintf(text.data(), text.size(), format, again);
        vull_fwrite(text.data(), 1, n, f);
    }
    va_end(again);
}

int vull_config_save() {
    if (config_unread) {
        vull_debug("config.txt was not read at start: left as it is\n");
        return 0;
    }
    char path[VULL_PATH_LEN];
    if (vull_prefix_with_appdata_path("config.txt", path, sizeof path) != 0) return 1;
    // Built in memory and handed whole to the one writer: a failed write (full disk,
    // crash) never leaves a cut config.txt behind.
    vull_file *f = vull_create_buffer(4096);
    if (!f) return 1;
    const vull_config_rec &c0 = cconfig0;
    vull_config_rec &c = cconfig;
    c.windowed = vull_get_windowed();

    put_text("// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n", f);
    put_format(f, "// Configuration for %s\n// \n", vull_state.app_title);
    put_text("// config.txt is read on startup and saved on exit.\n", f);
    put_text("// To generate the default config.txt, delete this file.\n// \n", f);
    put_text("// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n", f);
    put_text("\n\n// :: Video Settings\n\n", f);
    put_format(f, "window_size %d %d // window width, height\n", c0.window_size[0], c0.window_size[1]);
    put_format(f, "screen_size %d %d // screen width, height (stretched to window) \n",
            c0.screen_size[0], c0.screen_size[1]);
    put_format(f, "show_fps %d // Draw frames per second in the corner\n", c0.show_fps);
    put_text("\n\n// :: Window Settings\n\n", f);
    put_format(f, "windowed %d // 1 to start up in windowed mode\n", c.windowed);
    put_format(f,
            "window_position %d %d // x and y position of window (-1, -1 to let the window manager "
            "decide)\n",
            c.window_position[0], c.window_position[1]);
    put_format(f, "frameless %d // 1 to use a window with no frame\n", c0.frameless);
    put_format(
        f,
        "fullscreen_method %d // 0 maximized window (linux)  1 borderless desktop-sized window  "
        "2 hardware fullscreen (warning: erratic behaviour under some drivers)\n",
        c.fullscreen_method);
    put_text("\n\n// :: System Settings\n\n", f);
    put_format(
        f,
        "foreground_sleep_ms %d // number of milliseconds to sleep each frame. Try 10 to conserve "
        "battery power\n\n",
        c0.foreground_sleep_ms);
    put_format(
        f,
        "background_sleep_ms %d // number of milliseconds to sleep each frame when running in the "
        "background\n\n",
        c0.background_sleep_ms);
    put_format(f, "sessions %d // number of times program has been run\n\n", c.sessions);
    put_text("// (scancode) hold this key down and left-click to simulate right-click\n", f);
    put_format(f, "rmb_key %d // 0 for none  226 for LALT\n\n", c0.rmb_key);
    put_text("// Desktop for saving screenshots etc. Defaults to $HOME/Desktop\n", f);
    put_format(f, "desktop_path %s\n\n",
               c0.desktop_path[0] ? c0.desktop_path : desktop_path_kept.c_str());
    put_text("\n\n// :: Audio Settings (use \"volume\" for ZIBO-6)\n\n", f);
    put_format(f, "sound_volume %d // 0..256\n", int(c.sound_volume));
    put_format(f, "music_volume %d // 0..256\n", int(c.music_volume));
    put_text("\n\n// :: usually 1024. Try 2048 if you get choppy sound\n\n", f);
    put_format(f, "mix_buffer_size %d\n", c.mix_buffer_size);
    put_text("\n\n// :: \n\n", f);
    if (vull_save_config_func) vull_save_config_func(f);

    int failed = vull_save_file(path, f->data, f->length);
    vull_destroy_buffer(f);
    return failed;
}

/* ---- path settings ---- */

bool vull_path_fits(const char *text, int room) {
    if (!text) return true;
    while (vull_is_blank(*text)) text++;
    // room also for the closing '/' and the NUL
    return strlen(text) + size_t(room) <= size_t(VULL_PATH_LEN - 2);
}

void vull_config_path_too_long(const char *key, const char *text, std::string &kept) {
    kept = text ? text : "";
    vull_debugf("config.txt: %s is longer than %d characters; not used, kept as written\n", key,
                VULL_PATH_LEN - 2);
    fprintf(stderr, "config.txt: %s is longer than %d characters; not used, kept as written\n",
            key, VULL_PATH_LEN - 2);
}

/* ---- trimming ---- */

char *vull_trim(const char *text) {
    static std::string shared; // the previous result, replaced by each call
    if (!text) return nullptr;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *e = b + strlen(text);
    while (b < e && *b <= 32) b++;
    while (e > b && e[-1] <= 32) e--;
    shared.assign(reinterpret_cast<const char *>(b), size_t(e - b));
    return shared.data();
}
