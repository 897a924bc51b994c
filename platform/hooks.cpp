// The tables of platform/hooks.h with the defaults they hold until the engine
// fills them. Each is constant-initialised, so it holds its defaults from the
// start of the program, before any attach call.
#include "platform/hooks.h"

#include <cstdarg>
#include <cstdlib>

#include "platform/pump.h"
#include "platform/system.h"
#include "platform/video.h"

/* ---- services ---- */

static void *c_alloc(int n) {
    int64_t total = int64_t(n) + 16;
    return total <= 0 || total > (int64_t(1) << 30) ? nullptr : calloc(size_t(total), 1);
}

static constinit vull_plat_services services = {nullptr, c_alloc, free, nullptr, nullptr};

void vull_plat_set_services(const vull_plat_services &s) {
    if (s.log) services.log = s.log;
    if (s.alloc) services.alloc = s.alloc;
    if (s.release) services.release = s.release;
    if (s.exit) services.exit = s.exit;
    if (s.vdisk_has) services.vdisk_has = s.vdisk_has;
}

void vull_plat_log(const char *text) {
    if (services.log && text) services.log(text);
}

void vull_plat_logf(const char *format, ...) {
    if (!format || !services.log) return;
    char text[4096];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    services.log(text);
}

void *vull_plat_alloc(int n) { return services.alloc(n); }

void vull_plat_release(void *p) { services.release(p); }

void vull_plat_exit() {
    if (services.exit) services.exit();
}

const vull_plat_services &vull_plat_get_services() { return services; }

int vull_plat_vdisk_has(const char *path) {
    return services.vdisk_has ? services.vdisk_has(path) : 0;
}

/* ---- settings ---- */

static int32_t spare_window_size[2], spare_window_size_set, spare_software_blit,
    spare_pixel_perfect = -1;
static constexpr vull_plat_settings unset_settings() {
    vull_plat_settings s{};
    s.window_size = spare_window_size;
    s.window_size_set = &spare_window_size_set;
    s.software_blit = &spare_software_blit;
    s.pixel_perfect = &spare_pixel_perfect;
    return s;
}
constinit vull_plat_settings vull_plat_config = unset_settings();

void vull_plat_set_settings(const vull_plat_settings &s) {
    vull_plat_settings &c = vull_plat_config;
    auto take = [](auto &to, auto from) {
        if (from) to = from;
    };
    take(c.framebuffer, s.framebuffer);
    take(c.mix_buffer_size, s.mix_buffer_size);
    take(c.timeout, s.timeout);
    take(c.foreground_sleep_ms, s.foreground_sleep_ms);
    take(c.background_sleep_ms, s.background_sleep_ms);
    take(c.emulate_textinput, s.emulate_textinput);
    take(c.rmb_key, s.rmb_key);
    take(c.home, s.home);
    take(c.desktop_path, s.desktop_path);
    take(c.app_title, s.app_title);
    take(c.audio_requested, s.audio_requested);
    take(c.audio_granted, s.audio_granted);
    take(c.headless, s.headless);
    take(c.windowed, s.windowed);
    take(c.frameless, s.frameless);
    take(c.display, s.display);
    take(c.fullscreen_method, s.fullscreen_method);
    take(c.opengl_blit, s.opengl_blit);
    take(c.keep_aspect, s.keep_aspect);
    take(c.show_fps, s.show_fps);
    take(c.log_system_info, s.log_system_info);
    take(c.ext_display, s.ext_display);
    take(c.window_position, s.window_position);
    take(c.fullscreen_size, s.fullscreen_size);
    take(c.draw_rect, s.draw_rect);
    take(c.window_size, s.window_size);
    take(c.window_size_set, s.window_size_set);
    take(c.software_blit, s.software_blit);
    take(c.pixel_perfect, s.pixel_perfect);
    take(c.window_title, s.window_title);
    take(c.log_file, s.log_file);
    take(c.blit_hook, s.blit_hook);
}

/* ---- input records ---- */

// Spare records for a program without the engine: the pump always has somewhere to write.
namespace spare {
uint8_t keys[VULL_PLAT_NUM_KEYS], last_keys[VULL_PLAT_NUM_KEYS], blocked_keys[VULL_PLAT_NUM_KEYS];
int32_t typed[VULL_PLAT_KEY_BUFFER];
int typed_count, quit, last_mouse_x, last_mouse_y;
int32_t words[15]; // the mouse, click, wheel and controller words, in order
char dropped_file[1];
} // namespace spare

constinit vull_pump_state vull_pump_io = {
    .keys = spare::keys,
    .last_keys = spare::last_keys,
    .blocked_keys = spare::blocked_keys,
    .typed = spare::typed,
    .typed_count = &spare::typed_count,
    .quit = &spare::quit,
    .last_mouse_x = &spare::last_mouse_x,
    .last_mouse_y = &spare::last_mouse_y,
    .mouse_locked = &spare::words[0],
    .mouse_key_left = &spare::words[1],
    .mouse_key_right = &spare::words[2],
    .mouse_rel_x = &spare::words[3],
    .mouse_rel_y = &spare::words[4],
    .mouse_total_x = &spare::words[5],
    .mouse_total_y = &spare::words[6],
    .click_button = &spare::words[7],
    .click_time = &spare::words[8],
    .wheel_x = &spare::words[9],
    .wheel_y = &spare::words[10],
    .wheel_x2 = &spare::words[11],
    .wheel_y2 = &spare::words[12],
    .controller_added = &spare::words[13],
    .controller_removed = &spare::words[14],
    .dropped_file = spare::dropped_file,
    .dropped_file_size = sizeof spare::dropped_file,
};

void vull_pump_set_state(const vull_pump_state &s) {
    vull_pump_state &io = vull_pump_io;
    auto take = [](auto &to, auto from) {
        if (from) to = from;
    };
    take(io.keys, s.keys);
    take(io.last_keys, s.last_keys);
    take(io.blocked_keys, s.blocked_keys);
    take(io.typed, s.typed);
    take(io.typed_count, s.typed_count);
    take(io.quit, s.quit);
    take(io.last_mouse_x, s.last_mouse_x);
    take(io.last_mouse_y, s.last_mouse_y);
    take(io.mouse_locked, s.mouse_locked);
    take(io.mouse_key_left, s.mouse_key_left);
    take(io.mouse_key_right, s.mouse_key_right);
    take(io.mouse_rel_x, s.mouse_rel_x);
    take(io.mouse_rel_y, s.mouse_rel_y);
    take(io.mouse_total_x, s.mouse_total_x);
    take(io.mouse_total_y, s.mouse_total_y);
    take(io.click_button, s.click_button);
    take(io.click_time, s.click_time);
    take(io.wheel_x, s.wheel_x);
    take(io.wheel_y, s.wheel_y);
    take(io.wheel_x2, s.wheel_x2);
    take(io.wheel_y2, s.wheel_y2);
    take(io.controller_added, s.controller_added);
    take(io.controller_removed, s.controller_removed);
    if (s.dropped_file && s.dropped_file_size) {
        io.dropped_file = s.dropped_file;
        io.dropped_file_size = s.dropped_file_size;
    }
}

/* ---- the engine's calls on pictures ---- */

// Until the engine fills them: nothing is made, drawn or blitted.
static vull_bitmap *no_bitmap(int, int, int) { return nullptr; }
static int drop_bitmap(vull_bitmap *) { return 0; }
static void no_clear(vull_bitmap *) {}
static vull_palette_rec *no_palette() { return nullptr; }
static int drop_palette(vull_palette_rec *) { return 0; }
static void no_blit(const vull_bitmap *, vull_bitmap *, int, int, int, int, int, int) {}
static void no_text(vull_bitmap *, const char *, int, int, int) {}
static void no_phat_text(vull_bitmap *, const char *, int, int, int, int, uint32_t, uint32_t) {}
static void nothing() {}

constinit vull_video_funcs vull_video_engine = {
    no_bitmap,
    drop_bitmap,
    no_clear,
    no_palette,
    drop_palette,
    no_blit,
    vull_get_pixel_perfect_plat,
    no_text,
    no_phat_text,
    nothing,
    nothing,
};

void vull_video_set_funcs(const vull_video_funcs &f) {
    vull_video_funcs &e = vull_video_engine;
    auto take = [](auto &to, auto from) {
        if (from) to = from;
    };
    take(e.create_bitmap, f.create_bitmap);
    take(e.destroy_bitmap, f.destroy_bitmap);
    take(e.clear_bitmap, f.clear_bitmap);
    take(e.create_palette, f.create_palette);
    take(e.destroy_palette, f.destroy_palette);
    take(e.blit, f.blit);
    take(e.pixel_perfect, f.pixel_perfect);
    take(e.draw_text, f.draw_text);
    take(e.draw_text_phat, f.draw_text_phat);
    take(e.cursor_exit, f.cursor_exit);
    take(e.preblit_exit, f.preblit_exit);
}
