// The per-host-frame update: the action the runtime asked for, a 16.16
// accumulator that keeps the console at its logical frame rate whatever the
// host's, the logical frames themselves (cart slices, boot steps, pause
// frames), hot keys, status messages and the stopped state.
#include <SDL2/SDL_scancode.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cart/capture.h"
#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/disk.h"
#include "console/api.h"
#include "console/button.h"
#include "console/heap.h"
#include "console/run.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/charset.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gui.h"
#include "engine/mem.h"
#include "engine/vmath.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/joystick.h"
#include "platform/script.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/boot.h"
#include "shell/compose.h"
#include "shell/keyconfig.h"
#include "shell/pause.h"
#include "shell/zibo6.h"
#include "shell/board.h"

namespace {

constexpr int TIME_OFFSET = 72000000; // keeps "now" far from 0 so that last_t = 0 means never
constexpr int MAX_ELAPSED_MS = 32000;
constexpr int32_t ONE_FRAME = 0x10000;
constexpr int TYPED_KEY_CAPACITY = 256;
constexpr int KEY_NEW = 3; // vull_get_key_state for a key first down this frame (held: nonzero)
constexpr int KEY_ALT = -4, KEY_CTRL = -5, KEY_SHIFT = -6;
constexpr uint32_t NO_INJECTED_BUTTONS = 0xffffffffu;

// Globals of the frame loop.
int last_t;                        // engine ms + TIME_OFFSET at the previous update; 0 at start
int frames_skipped_in_sequence;    // host frames skipped in a row
int frame_flipper;                 // 0/1, halves clip capture at 60 fps
int skip_mouse_x, skip_mouse_y;    // mouse position seen by the previous skip decision
int run_mouse_x = -1, run_mouse_y; // mouse seen while a cart runs (x -1: none yet)
int run_mouse_buttons;
int was_paused; // the pause menu was open in the previous logical frame
int pacing_rate = 30;           // frames a second the accumulator last grew at
int32_t due_threshold = 0xffff; // above it a frame is drawn (lower while the mouse moves)

int now_ms() { return vull_get_time(); }

bool key_new(int code) { return vull_get_key_state(code) == KEY_NEW; }
bool key_held(int code) { return vull_get_key_state(code) != 0; }

void queue_cart_key(int c) {
    if (pstate.typed_key_count >= TYPED_KEY_CAPACITY) return;
    pstate.typed_keys[pstate.typed_key_count++] = uint8_t(c);
}

void paste_clipboard() {
    char *text = vull_get_clipboard_text();
    if (text && text[0]) {
        int n;
        if (vull_checked_size(int64_t(strlen(text)), 4, 1, &n)) {
            auto *glyphs = static_cast<char *>(vull_malloc(n));
            if (glyphs) {
                convert_escaped_to_glyphs(text, glyphs);
                vull_free(app.paste_buffer);
                app.paste_buffer = glyphs;
            }
        }
    }
    vull_free(text);
    block_buttons();
}

void quick_reload() {
    if (!take_reset_request()) return;
    do_quick_load();
    pstate.reset_glitch_counter = 1;
    app.paused_menu_state = 0;
    while (vull_keypressed()) vull_readkey();
    block_buttons();
}

void pacing_step() {
    int now = vull_ms_later(now_ms(), TIME_OFFSET);
    int rate = app.paused_menu_state ? 30 : pstate.fps;
    pacing_rate = rate;
    // Under the input script a pass is one console frame, whatever the clock says.
    app.frame_accumulator =
        vull_script_on()
            ? std::min(app.frame_accumulator + ONE_FRAME, pstate.fps == 60 ? 0x20000 : 0x1ffff)
            : advance_frame_accumulator(app.frame_accumulator, vull_ms_between(last_t, now), rate,
                                        pstate.fps);
    last_t = now;
    if (app.glitch_test) app.frame_accumulator = ONE_FRAME;
}

void capture_frames(int n) {
    for (int i = 0; i < n; i++) record_video_frame(pstate.screen);
}

void pause_frame() {
    if (app.frame_accumulator <= 0xffff) return;
    update_buttons();
    if (app.paused_menu_state == 2) {
        keyconfig_update();
    } else if (app.paused_menu_state == 3) {
        if (button_pressed(6, 0)) {
            close_paused_menu();
            block_buttons();
        }
    } else {
        process_running_keypresses();
        process_paused_keypresses();
    }
    app.frame_accumulator -= ONE_FRAME;
    if (!app.rec_frames) capture_frames(1);
}

// Skips this host frame (no draw, no present) while no logical frame is due,
// but never more often in a row than the sleep setting allows.
void decide_skip() {
    int mx, my;
    vull_get_mouse(&mx, &my, nullptr);
    bool moved = mx != skip_mouse_x || my != skip_mouse_y;
    skip_mouse_x = mx;
    skip_mouse_y = my;
    bool early = !key_held(KEY_SHIFT) && pstate.machine_mode != 1 && moved;
    due_threshold = early ? 0x7fff : 0xffff;
    bool due = app.frame_accumulator > due_threshold;
    if (due) {
        frames_skipped_in_sequence = 0;
        return;
    }
    app.perf[app.perf_index & (Z6_PERF_RECORDS - 1)][Z6_PERF_SKIPPED]++;
    int sleep = vull_is_app_active() ? cconfig.foreground_sleep_ms : cconfig.background_sleep_ms;
    int limit = skip_limit(sleep);
    if (frames_skipped_in_sequence < limit) vull_skip_frame();
    frames_skipped_in_sequence++;
}

void read_run_mouse() {
    int x, y, b;
    z6_input.mouse(&x, &y, &b); // the source stat's mouse rows read
    if (run_mouse_x != -1) {
        if (x != run_mouse_x) pstate.mouse_change |= 1;
        if (y != run_mouse_y) pstate.mouse_change |= 2;
        if (b != run_mouse_buttons) pstate.mouse_change |= 4;
    }
    run_mouse_x = x;
    run_mouse_y = y;
    run_mouse_buttons = b;
}

void running_frame() {
    if (app.download_state > 0) {
        update_buttons();
        if (app.download_state > 0) update_browse_download();
        if (pstate.load_transition_frames > 10) pstate.load_transition_frames--;
        return;
    }
    if (pstate.load_transition_frames > 0) {
        pstate.load_transition_frames--;
        return;
    }
    if (pstate.file_access_cooldown > 151) pstate.file_access_cooldown = 151;
    if (pstate.file_access_cooldown > 0) pstate.file_access_cooldown--;
    process_running_keypresses();
    process_devkit_mouse_activity();
    if (!pstate.cart_code_running || pstate.mainloop_exists <= 1) {
        update_buttons();
        if (pstate.cart_code_running) pstate.time_ticks += pstate.fps == 30 ? 2 : 1;
        update_paused_menu();
        record_resource_data();
    }
    if (pstate.reset_glitch_counter > 2) return;
    app.in_slice = 1;
    run_slice();
    app.in_slice = 0;
    if (pstate.holdframe_flag) {
        app.halve_rate_request = 1;
        if (pstate.cart_code_running && pstate.mainloop_exists == 2 &&
            get_cpu_cycles_since_flip(0) > 0x200000) {
            read_buttons();
            update_paused_menu();
            record_resource_data();
        }
    }
}

void logical_frame() {
    if (pstate.machine_mode == 1) {
        running_frame();
    } else {
        update_buttons();
        if (pstate.sub_mode == 1) {
            keyconfig_update();
            while (pstate.sub_mode == 1 && vull_keypressed()) keyconfig_keypress(vull_readkey());
        }
        if (pstate.sub_mode == 2) browse_update();
        pstate.load_transition_frames = 0;
    }
    if (pstate.machine_mode == 2) move_boot();
    move_splash();
}

void run_logical_frames() {
    while (app.frame_accumulator > 0xffff) {
        bool just_paused = app.paused_menu_state && !was_paused;
        logical_frame();
        cart_files_end_frame();
        update_reset_glitch();
        pstate.frame++;
        pstate.idle_frame++;
        app.frame_accumulator -= ONE_FRAME;
        frame_flipper ^= 1;
        was_paused = app.paused_menu_state != 0;
        if (app.rec_frames) continue;
        // the clip runs at 30 frames a second whatever the cart's rate
        if (pstate.fps == 60)
            capture_frames(frame_flipper == 0 ? 1 : 0);
        else
            capture_frames(pstate.fps == 15 ? 2 : 1);
        if (just_paused) capture_frames(1);
    }
}

// Function-key and ctrl-digit captures: 1 screenshot, 3 restart the clip, 4 save a GIF.
void capture_hot_keys() {
    int code = 0;
    if (app.allow_function_keys) {
        constexpr int pairs[5][2] = {{SDL_SCANCODE_F1, SDL_SCANCODE_F6},
                                     {SDL_SCANCODE_F2, SDL_SCANCODE_F7},
                                     {SDL_SCANCODE_F3, SDL_SCANCODE_F8},
                                     {SDL_SCANCODE_F4, SDL_SCANCODE_F9},
                                     {SDL_SCANCODE_F5, SDL_SCANCODE_F10}};
        for (int i = 0; i < 5; i++)
            if (key_new(pairs[i][0]) || key_new(pairs[i][1])) code = i + 1;
    }
    if (key_held(KEY_CTRL)) {
        constexpr int digits[4] = {SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8, SDL_SCANCODE_9};
        for (int i = 0; i < 4; i++)
            if (key_new(digits[i])) code = i + 1;
        if (key_held(SDL_SCANCODE_0)) code = 0;
    }
    if (key_held(KEY_ALT)) code = 0;
    if (code == 1) {
        if (save_png_screenshot(pstate.screen, app.screenshot_scale, 0) != 0)
            show_message_at_most("** failed to save screenshot", 1900);
        else
            show_message_at_most("saved screenshot to desktop", 1400);
    } else if (code == 3) {
        reset_video();
        show_message_at_most("set video starting point", 1400);
    } else if (code == 4) {
        int result = save_gif(app.gif_scale, 0);
        if (result == 9) {
            show_message_at_most("no video recorded (rec: ctrl-8)", 1900);
            return;
        }
        if (result < 1)
            show_message_2("saved %d second gif to desktop", 1500, get_current_gif_len(), 0);
        else
            show_message_at_most("** failed to save video", 1900);
        if (app.gif_reset_mode == 1) reset_video();
    }
}

void joystick_messages() {
    if (pstate.machine_mode == 2 || pstate.machine_mode == 3) {
        vull_state.controller_added = vull_state.controller_removed = 0;
        return;
    }
    char text[64];
    if (vull_state.controller_added) {
        snprintf(text, sizeof text, "joystick %d connected", vull_state.controller_added & 0xff);
        show_message_at_most(text, 1400);
    }
    if (vull_state.controller_removed) {
        snprintf(text, sizeof text, "joystick %d disconnected",
                 vull_state.controller_removed & 0xff);
        show_message_at_most(text, 1400);
    }
    vull_state.controller_added = vull_state.controller_removed = 0;
}

} // namespace

int32_t advance_frame_accumulator(int32_t acc, int elapsed_ms, int rate, int fps) {
    if (elapsed_ms > MAX_ELAPSED_MS) elapsed_ms = MAX_ELAPSED_MS;
    if (elapsed_ms < 0) elapsed_ms = 0; // a clock that stepped back
    int64_t next = int64_t(acc) + (int64_t(elapsed_ms) * 65536 / 1000) * rate;
    if (next < 0) next = 0;
    // A stalled host replays at most one logical frame (two at 60 fps), never a burst.
    int64_t cap = fps == 60 ? 0x20000 : 0x1ffff;
    return int32_t(next > cap ? cap : next);
}

int ms_until_frame_due(int32_t acc, int32_t threshold, int rate) {
    if (rate <= 0 || acc > threshold) return 0;
    // The accumulator grows by floor(ms * 65536 / 1000) * rate: the least such
    // whole step count that crosses, then the least ms that gives it.
    int64_t steps = (int64_t(threshold) - acc + 1 + rate - 1) / rate;
    return int((steps * 1000 + 65535) / 65536);
}

int skip_limit(int sleep_ms) {
    return sleep_ms <= 0 ? 10000 : 100 / (sleep_ms < 50 ? sleep_ms : 50);
}

void set_view(int) {}

namespace {
char command_history[COMMAND_HISTORY][COMMAND_LINE_LEN];
int command_history_used;
} // namespace

void store_command(const char *line) {
    if (!line || !line[0]) return;
    if (command_history_used && strncmp(command_history[0], line, COMMAND_LINE_LEN - 1) == 0)
        return;
    int keep = command_history_used < COMMAND_HISTORY ? command_history_used : COMMAND_HISTORY - 1;
    memmove(command_history[1], command_history[0], size_t(keep) * COMMAND_LINE_LEN);
    snprintf(command_history[0], COMMAND_LINE_LEN, "%s", line);
    command_history_used = keep + 1;
}

int command_history_count() { return command_history_used; }

const char *command_history_line(int i) {
    return i >= 0 && i < command_history_used ? command_history[i] : nullptr;
}

int should_be_pointer_locked() {
    int devkit = pstate.console_ram[0x5f2d];
    return pstate.machine_mode == 1 && app.paused_menu_state == 0 && (devkit & 5) == 5;
}

void toggle_mute() {
    if (cconfig.sound_volume != 0) {
        cconfig.sound_volume = 0;
        show_message_at_most("sound off (ctrl-m)", 1400);
    } else {
        cconfig.sound_volume = app.volume ? app.volume : 256;
        show_message_at_most("sound on (ctrl-m)", 1400);
    }
    cconfig.music_volume = 256;
}

void process_command() {
    if (!pstate.pending_action) return;
    pstate.reset_glitch_counter = 0;
    // The field stays set while its step runs (the runtime reads it) and is read
    // again after each step: a step may ask for a later one, never an earlier one.
    // A headless run ends when its cart stops: a reboot stops it instead of
    // booting a launcher that nothing would ever end.
    if (pstate.headless && (pstate.pending_action == 3 || pstate.pending_action == 5))
        pstate.pending_action = 2;
    if (pstate.pending_action == 1) run_cart();
    if (pstate.pending_action == 2) suspend_program();
    if (pstate.pending_action == 3) reboot_machine();
    if (pstate.pending_action == 4) {
        suspend_program();
        reset_lua_machine();
        zibo_print("");
        if (app.last_error_text && app.last_error_text->data)
            zibo_print(reinterpret_cast<const char *>(app.last_error_text->data));
    }
    if (pstate.pending_action == 5) reboot_machine();
    if (pstate.pending_action == 6) reset_lua_machine();
    pstate.pending_action = 0;
}

int determine_audio_pause_state() {
    int counter = vull_state.sound_paused;
    if (pstate.machine_mode != 1 || !pstate.cart_code_running) return counter;
    int v = pstate.console_ram[0x5f2f];
    bool menu = app.paused_menu_state || app.cart_item_chosen;
    if ((!menu && v == 1) || (menu && v != 2)) return 1;
    return counter >= 1 && counter <= 4 ? counter + 1 : 0;
}

void process_devkit_mouse_activity() { read_run_mouse(); }

void process_running_keypresses() {
    while (vull_keypressed()) {
        int key = vull_readkey();
        if (key_held(KEY_CTRL)) {
            if (key == 'o' || key == 'p') {
                app.overlay ^= 1;
                block_buttons();
            } else if (key == 'r') {
                quick_reload();
            } else if (key == 'v') {
                paste_clipboard();
            }
            if (key >= 'a' && key <= 'z') queue_cart_key(key + 95);
            continue;
        }
        if (app.paused_menu_state) continue;
        if (key >= 'A' && key <= 'Z')
            key = key - 'A' + 128;
        else if (key == 127)
            key = 8;
        // negative codes only mark a key press that typed nothing (an arrow)
        if (key < 0 || key > 153) continue;
        queue_cart_key(key);
    }
}

void process_immediate_mode_keypresses() {
    for (int b = 0; b < 6; b++)
        if (button_pressed(b, 0)) vull_quit = 1;
}

void update_reset_glitch() {
    if (!pstate.reset_glitch_counter) return;
    pstate.reset_glitch_counter++;
    int limit = pstate.fps == 60 ? 12 : 6;
    if (pstate.reset_glitch_counter > limit) {
        pstate.reset_glitch_counter = 0;
        pstate.pending_action = 1;
        if (!pstate.parameter_string_pending[0])
            memcpy(pstate.parameter_string_pending, pstate.parameter_string,
                   sizeof pstate.parameter_string_pending);
        return;
    }
    if (pstate.reset_glitch_counter == 2) glitch_memory();
}

void vull_main_update() {
    handle_dropped_file();
    update_punycode_encoding();

    if (cconfig.sound_volume != 0) app.volume = cconfig.sound_volume;
    cconfig.music_volume = 256;

    vull_lock_mouse_cursor(should_be_pointer_locked());

    if (app.glitch_test && pstate.machine_mode == 1) {
        if (++app.glitch_test == 12) pstate.reset_glitch_counter = 1;
        if (pstate.pending_action == 1) {
            save_png_screenshot(pstate.screen, app.screenshot_scale, 0);
            app.glitch_test = 1;
            if (++app.glitch_screenshots >= 48) exit(0);
        }
    }

    if (key_held(KEY_CTRL) && key_new(SDL_SCANCODE_M)) toggle_mute();

    pstate.cursor_sprite = 89;
    for (uint32_t &m : pstate.injected_buttons) m = NO_INJECTED_BUTTONS;
    process_command();

    if (pstate.machine_mode != 1) {
        if (app.paused_menu_state) close_paused_menu();
        pstate.fps = 30;
    }

    pacing_step();
    if (app.paused_menu_state) {
        pause_frame();
    } else {
        decide_skip();
        run_logical_frames();
    }
    // Nothing is drawn before the next logical frame is due: the next pass
    // sleeps until then rather than waking every few ms to find it is not.
    vull_pump_idle_for(ms_until_frame_due(app.frame_accumulator,
                                          app.paused_menu_state ? 0xffff : due_threshold,
                                          pacing_rate));

    if (pstate.machine_mode == 0 && pstate.view == 0) process_immediate_mode_keypresses();
    for (int i = 0; i < 2 && pstate.ls_state && pstate.ls_lines > 0; i++) zibo6_list_files();

    if (pstate.machine_mode == 1 && key_new(SDL_SCANCODE_ESCAPE)) {
        if (app.paused_menu_state == 2) {
            keyconfig_close();
            app.paused_menu_state = 1;
        } else if (app.paused_menu_state) {
            close_paused_menu();
            block_vullkey[SDL_SCANCODE_ESCAPE] = 1; // until it is released
        }
    }

    if (pstate.view_change_request) {
        set_view(pstate.view_change_request);
        pstate.view_change_request = 0;
    }

    capture_hot_keys();

    if (!pstate.load_transition_frames && !app.download_state && !pstate.file_access_cooldown)
        pstate.idle_frame = 0;

    if (pstate.machine_mode == 1 && pstate.cart_code_running)
        vull_state.sound_paused = determine_audio_pause_state();

    joystick_messages();

    if (app.output_file) fflush(app.output_file);
    fflush(stdout);
}
