// The engine's attach call: fills the platform's tables (platform/hooks.h)
// with the engine's services, options, input records and picture calls.
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/mem.h"
#include "engine/text.h"
#include "engine/vull.h"
#include "platform/hooks.h"
#include "platform/pump.h"

static_assert(VULL_NUM_KEYS == VULL_PLAT_NUM_KEYS && VULL_KEY_BUFFER == VULL_PLAT_KEY_BUFFER);

static bool attached;

bool vull_engine_attached() { return attached; }

// The platform asks the virtual disk about a path through this.
static int vdisk_has(const char *path) {
    vull_file *f = vull_fopen(path, "r");
    if (!f) return 0;
    vull_fclose(f);
    return 1;
}

static void attach_services() {
    // The platform hands out blocks (the clipboard's text, thread records) that
    // callers release with vull_free: it allocates with this allocator too.
    vull_plat_set_services({vull_debug, vull_malloc, vull_free, [] { vull_exit(); }, vdisk_has});
}

// The platform reads these where they are, as they change.
static void attach_settings() {
    vull_plat_settings s{};
    vull_config_rec &c = cconfig;
    s.framebuffer = &c.framebuffer;
    s.mix_buffer_size = &c.mix_buffer_size;
    s.timeout = &c.timeout;
    s.foreground_sleep_ms = &c.foreground_sleep_ms;
    s.background_sleep_ms = &c.background_sleep_ms;
    s.emulate_textinput = &c.emulate_textinput;
    s.rmb_key = &c.rmb_key;
    s.home = c.home;
    s.desktop_path = c.desktop_path;
    s.app_title = vull_state.app_title;
    s.audio_requested = [](int rate, int channels) {
        vull_state.audio_freq_requested = rate;
        vull_state.audio_channels_requested = channels;
    };
    s.audio_granted = [](int rate, int channels) {
        vull_state.audio_freq = rate;
        vull_state.audio_channels = channels;
    };
    s.headless = &c.headless;
    s.windowed = &c.windowed;
    s.frameless = &c.frameless;
    s.display = &c.display;
    s.fullscreen_method = &c.fullscreen_method;
    s.opengl_blit = &c.opengl_blit;
    s.keep_aspect = &c.keep_aspect;
    s.show_fps = &c.show_fps;
    s.log_system_info = &c.log_system_info;
    s.ext_display = &c.ext_display;
    s.window_position = c.window_position;
    s.fullscreen_size = c.fullscreen_size;
    s.draw_rect = c.draw_rect;
    s.window_size = c.window_size;
    s.window_size_set = &vull_state.window_size_set;
    s.software_blit = &c.software_blit;
    s.pixel_perfect = &c.pixel_perfect;
    s.window_title = &vull_state.window_title_ptr;
    s.log_file = &vull_state.log_file;
    s.blit_hook = &vull_state.blit_hook;
    vull_plat_set_settings(s);
}

// The event pump fills the key arrays, the typed-key queue, the quit flag and
// the mouse state where they are.
static void attach_input() {
    vull_state_rec &v = vull_state;
    vull_pump_state p{};
    p.keys = vullkey;
    p.last_keys = last_vullkey;
    p.blocked_keys = block_vullkey;
    p.typed = vullkey_buffer;
    p.typed_count = &vullkey_buffer_pos;
    p.quit = &vull_quit;
    p.last_mouse_x = &vull_last_mouse_x;
    p.last_mouse_y = &vull_last_mouse_y;
    p.mouse_locked = &v.mouse_locked;
    p.mouse_key_left = &v.mouse_key_left;
    p.mouse_key_right = &v.mouse_key_right;
    p.mouse_rel_x = &v.mouse_rel_x;
    p.mouse_rel_y = &v.mouse_rel_y;
    p.mouse_total_x = &v.mouse_total_x;
    p.mouse_total_y = &v.mouse_total_y;
    p.click_button = &v.click_button;
    p.click_time = &v.click_time;
    p.wheel_x = &v.wheel_x;
    p.wheel_y = &v.wheel_y;
    p.wheel_x2 = &v.wheel_x2;
    p.wheel_y2 = &v.wheel_y2;
    p.controller_added = &v.controller_added;
    p.controller_removed = &v.controller_removed;
    p.dropped_file = v.dropped_file;
    p.dropped_file_size = sizeof v.dropped_file;
    vull_pump_set_state(p);
}

// The video makes its pictures, blits and scales the back page, writes the
// frame rate and ends the engine's own pictures with these.
static void attach_pictures() {
    vull_video_funcs f{};
    f.create_bitmap = vull_create_bitmap;
    f.destroy_bitmap = vull_destroy_bitmap;
    f.clear_bitmap = vull_clear_bitmap;
    f.create_palette = vull_create_palette;
    f.destroy_palette = vull_destroy_palette;
    f.blit = vull_blit;
    f.pixel_perfect = vull_get_pixel_perfect;
    f.draw_text = [](vull_bitmap *bmp, const char *text, int font, int x, int y) {
        vull_draw_text(bmp, text, font == 1 ? vull_font1 : vull_font2, x, y);
    };
    f.draw_text_phat = [](vull_bitmap *bmp, const char *text, int font, int x, int y, int flags,
                          uint32_t outline, uint32_t colour) {
        vull_draw_text_phat(bmp, text, font == 1 ? vull_font1 : vull_font2, x, y, flags, outline,
                            colour);
    };
    f.cursor_exit = vull_mouse_exit;
    f.preblit_exit = [] {
        vull_destroy_bitmap(fattened_back_page);
        fattened_back_page = nullptr;
    };
    vull_video_set_funcs(f);
}

void vull_engine_attach() {
    attach_services();
    attach_settings();
    attach_input();
    attach_pictures();
    attached = true;
}
