// The headless back end: no window system, no sound device, no input devices.
// Tools and unit tests link it; the platform layer's files, clock and
// directory services work as ever, a "window" is only the size it was given
// (so that placement and pointer arithmetic still hold), presentation draws
// nothing, and no key, pointer, controller or event ever arrives, except what
// a test injects through vull_events_hook.
#include <cstdio>
#include <string>

#include "platform/backend.h"
#include "platform/events.h"
#include "platform/joystick.h"
#include "platform/pump.h"
#include "platform/script.h"
#include "platform/system.h"
#include "platform/video.h"

namespace {

int window_w, window_h;  // the size the screen was last set to
std::string clipboard;   // a clipboard of this process only

} // namespace

/* ---- start-up ---- */

int vull_system_init() {
    vull_plat_ticks(); // the clock starts with the platform
    return 0;
}

int vull_system_exit() { return 0; }

void vull_plat_print_errors() {}

/* ---- window ---- */

int vull_video_init_plat() {
    desktop_w = desktop_h = 0; // no display: its size is unknown
    return 0;
}

int vull_video_exit_plat() {
    window_w = window_h = 0;
    return 0;
}

int vull_set_screen_plat(int ww, int wh, int page_w, int page_h, int depth, int flags) {
    (void)page_w;
    (void)page_h;
    (void)depth;
    (void)flags;
    vull_system_active = 1;
    window_w = ww;
    window_h = wh;
    return 0;
}

void vull_plat_window_size(int *w, int *h) {
    *w = window_w;
    *h = window_h;
}

void vull_plat_present(const vull_bitmap *, bool) {}
void vull_plat_set_icon(vull_bitmap *) {}
void update_sdl_window_title(const char *) {}
int vull_is_app_active() {
    return vull_plat_get(vull_plat_config.framebuffer) || vull_system_active;
}

/* ---- input ---- */

const uint8_t *vull_plat_keyboard(int *count) {
    *count = 0;
    return nullptr;
}

int vull_plat_modstate() { return 0; }

uint32_t vull_plat_pointer(int *x, int *y) {
    if (x) *x = 0;
    if (y) *y = 0;
    return 0;
}

void vull_plat_warp_pointer(int, int) {}
void vull_plat_hide_cursor() {}
void vull_plat_poll_events(vull_pump_pass &) {}

// No queue to push into: of the input script's steps only quit acts.
void vull_plat_push_event(const vull_script_step &s, int, int) {
    if (s.op == vull_script_op::quit) vull_pump_quit();
}

// The names of the keys a key-configuration screen shows most: letters,
// digits, function keys, the keys around them and the arrows (by USB usage).
const char *vull_get_key_name(int scancode) {
    struct key_name {
        int code;
        const char *name;
    };
    static constexpr key_name named[] = {
        {40, "RETURN"}, {41, "ESCAPE"}, {42, "BACKSPACE"}, {43, "TAB"},
        {44, "SPACE"},  {45, "-"},      {46, "="},         {47, "["},
        {48, "]"},      {49, "\\"},     {51, ";"},         {52, "'"},
        {53, "`"},      {54, ","},      {55, "."},         {56, "/"},
        {79, "RIGHT"},  {80, "LEFT"},   {81, "DOWN"},      {82, "UP"},
        {224, "LEFT CTRL"},  {225, "LEFT SHIFT"},  {226, "LEFT ALT"},
        {228, "RIGHT CTRL"}, {229, "RIGHT SHIFT"}, {230, "RIGHT ALT"},
    };
    static char name[8];
    if (scancode >= 4 && scancode <= 29) {
        std::snprintf(name, sizeof name, "%c", 'A' + scancode - 4);
        return name;
    }
    if (scancode >= 30 && scancode <= 39) {
        std::snprintf(name, sizeof name, "%c", scancode == 39 ? '0' : '1' + scancode - 30);
        return name;
    }
    if (scancode >= 58 && scancode <= 69) {
        std::snprintf(name, sizeof name, "F%d", scancode - 57);
        return name;
    }
    for (const key_name &k : named)
        if (k.code == scancode) return k.name;
    return "?";
}

/* ---- controllers ---- */

int vull_joystick_init() { return 0; }
int vull_joystick_exit() { return 0; }
int vull_count_joysticks() { return 0; }
int vull_count_joystick_buttons(int) { return 0; }

void vull_get_joystick_axes(int, int, int, int *x, int *y) {
    if (x) *x = 0;
    if (y) *y = 0;
}

void vull_get_joystick(int, int *x, int *y, uint32_t *buttons) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (buttons) *buttons = 0;
}

/* ---- audio device: none ---- */

int vull_plat_audio_open(int, int, int, vull_audio_callback, int *, int *) { return -1; }
void vull_plat_audio_lock() {}
void vull_plat_audio_unlock() {}

/* ---- clipboard ---- */

int vull_plat_clipboard_set(const char *text) {
    clipboard = text ? text : "";
    return 0;
}

std::string vull_plat_clipboard_get() { return clipboard; }

int vull_plat_clipboard_has() { return clipboard.empty() ? 0 : 1; }
