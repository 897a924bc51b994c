// The config command: shows and changes the console settings that config.txt
// keeps, from a one-line command text ("config volume 128").
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/config_cmd.h"
#include "console/mem.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/config.h"
#include "engine/ctext.h"

namespace {

void set_pen(int colour) { zibo6_poke(&pstate, pstate.memory_cart, 0x5f25, colour); }

// A setting word matches the start of the text, so a longer word matches too.
bool starts(const char *text, const char *word) {
    return std::strncmp(text, word, std::strlen(word)) == 0;
}

void print_f(int colour, const char *format, int value) {
    char line[80];
    std::snprintf(line, sizeof line, format, value);
    zibo_print_col(line, colour);
}

// "%d" of the value text, 0 when it holds no number; out-of-range text is clamped.
int read_number(const char *text) {
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) return 0;
    return static_cast<int>(std::clamp<long>(v, -2147483647L - 1, 2147483647L));
}

void theme_usage() {
    zibo_print_col("config theme [value]", 14);
    zibo_print_col("", 6);
    zibo_print_col("available themes:", 12);
    zibo_print_col("auto", 6);
    zibo_print_col("blue", 6);
    zibo_print_col("classic", 6);
    zibo_print_col("", 6);
}

bool run_theme(const char *text) {
    if (!starts(text, "theme")) return false;
    const char *v = starts(text, "theme ") ? text + 6 : "";
    if (starts(v, "blue")) {
        app.gui_theme = 1;
        zibo_print_col("set theme to blue", 14);
    } else if (starts(v, "auto")) {
        app.gui_theme = 0;
        zibo_print_col("set theme to auto", 14);
    } else if (starts(v, "classic")) {
        app.gui_theme = 3;
        zibo_print_col("set theme to classic", 14);
    } else {
        theme_usage();
    }
    return true;
}

bool run_browse_filter(const char *text) {
    if (!starts(text, "browse_filter")) return false;
    const char *v = starts(text, "browse_filter ") ? text + 14 : "";
    if (*v && (starts(v, "on") || v[0] == '1')) {
        app.browse_filter = 1;
        zibo_print_col("filter on", 14);
    } else if (*v && (starts(v, "off") || v[0] == '0')) {
        app.browse_filter = 0;
        zibo_print_col("filter off", 14);
    } else {
        zibo_print_col("config filter [on | off]", 14);
        zibo_print_col("", 6);
        zibo_print_col("when on, cartridges tagged as", 6);
        zibo_print_col("mature will not be downloaded.", 6);
        zibo_print_col("", 6);
        zibo_print_col(app.browse_filter ? "filter is currently: on" : "filter is currently: off",
                       12);
        zibo_print_col("", 6);
    }
    return true;
}

struct numeric_setting {
    const char *word;
    int32_t *field;
    int lo, hi;
    void (*usage)(int current); // null: no usage text
};

void volume_usage(int v) {
    zibo_print_col("config volume [val]", 14);
    zibo_print_col("val: 8 quiet .. 256 loud", 12);
    print_f(6, "current volume: %d", v);
}
void gif_len_usage(int v) {
    zibo_print_col("config gif_len [seconds]", 14);
    print_f(6, "current gif_len: %d", v);
}
void gif_reset_usage(int v) {
    zibo_print_col("config gif_reset_mode [mode]", 14);
    zibo_print_col(" 0: don't reset after recording", 12);
    zibo_print_col(" 1: reset after each recording", 12);
    zibo_print_col("", 6);
    print_f(6, "current gif_reset_mode: %d", v);
}
void gif_scale_usage(int v) {
    zibo_print_col("config gif_scale [size]", 14);
    print_f(6, "current gif_scale: %d", v);
}
void screenshot_scale_usage(int v) {
    zibo_print_col("config screenshot_scale [size]", 14);
    print_f(6, "current screenshot_scale: %d", v);
}
void tab_width_usage(int v) {
    zibo_print_col("config tab_width [width]", 14);
    print_f(6, "current tab_width: %d", v);
}
#ifdef ZIBO6_ARM32
void enable_gpio_usage(int v) {
    zibo_print_col("config enable_gpio [0|1]", 14);
    print_f(6, "current enable_gpio: %d", v);
}
#endif

void apply_side_effects(const numeric_setting &s) {
    if (s.field == &app.volume) {
        // a muted engine stays muted until it is unmuted
        if (cconfig.sound_volume != 0) cconfig.sound_volume = app.volume;
    } else if (s.field == &app.tab_width) {
        for (ctext *tab : pstate.code_tab)
            if (tab) tab->tab_width = std::min(app.tab_width, 4) * 4;
    }
}

bool run_numeric(const char *text) {
    const numeric_setting settings[] = {
        {"volume", &app.volume, 8, 256, volume_usage},
        {"gif_len", &app.gif_len, 1, 120, gif_len_usage},
        {"gif_reset_mode", &app.gif_reset_mode, 0, 1, gif_reset_usage},
        {"sfx_filters", &app.sfx_filters, 0, 1, nullptr},
        {"gif_scale", &app.gif_scale, 1, 8, gif_scale_usage},
        {"screenshot_scale", &app.screenshot_scale, 1, 8, screenshot_scale_usage},
        {"tab_width", &app.tab_width, 1, 8, tab_width_usage},
#ifdef ZIBO6_ARM32
        {"enable_gpio", &app.enable_gpio, 0, 1, enable_gpio_usage},
#endif
    };
    for (const numeric_setting &s : settings) {
        size_t n = std::strlen(s.word);
        if (starts(text, s.word) && text[n] == ' ') {
            *s.field = std::clamp(read_number(text + n + 1), s.lo, s.hi);
            apply_side_effects(s);
            char line[64];
            std::snprintf(line, sizeof line, "set %s: %d", s.word, *s.field);
            zibo_print_col(line, 14);
            return true;
        }
        if (s.usage && starts(text, s.word)) {
            s.usage(*s.field);
            return true;
        }
    }
    return false;
}

void overview() {
    zibo_print_col("config [setting]", 14);
    zibo_print_col("", 6);
    zibo_print_col("available settings:", 12);
    set_pen(14);
    for (const char *word : {"volume", "theme", "gif_len", "gif_reset_mode", "gif_scale",
                             "screenshot_scale", "browse_filter", "tab_width"})
        zibo_print_col(word, 6);
#ifdef ZIBO6_ARM32
    zibo_print_col("enable_gpio", 6);
#endif
    zibo_print_col("", 6);
}

} // namespace

void run_config(const char *text) {
    if (!text) text = "";
    set_pen(6);
    if (run_theme(text) || run_browse_filter(text) || run_numeric(text)) return;
    overview();
}
