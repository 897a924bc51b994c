// Event pump, keyboard sampling and the mouse, over the back end's input.
//
// Each pass samples the keyboard state into the engine's key arrays and runs
// the engine's own key repeat (one shared timer: first tick 500 ms after a
// new press, then every 80 ms), then drains the back end's events. Typed keys
// go through one queueing rule that also carries the hot keys.
#include "platform/events.h"

#include <algorithm>
#include <cstdlib>

#include "platform/backend.h"
#include "platform/pump.h"
#include "platform/system.h"
#include "platform/video.h"

int virtual_mx, virtual_my;
int use_warped_mxy, warped_mx, warped_my, pre_warp_mx, pre_warp_my;
uint64_t next_press_t;
uint64_t last_ctrl_keypress_t;
uint64_t last_inactive_time;
vull_events_hooks vull_events_hook;

uint64_t vull_pump_time() {
    return vull_events_hook.now ? vull_events_hook.now() : vull_plat_ticks();
}

void vull_pump_quit() {
    if (vull_events_hook.quit) {
        vull_events_hook.quit();
        return;
    }
    vull_plat_exit();
    exit(0);
}

/* ---- typed keys ------------------------------------------------------ */

void vull_pump_queue_code(vull_pump_pass &p, int code) {
    if (code == 0) return;
    if (vull_ctrl_held() && !vull_alt_held() && !vull_shift_held() &&
        p.now - last_ctrl_keypress_t < 40)
        return;
    last_ctrl_keypress_t = p.now;
    if (vull_key_held(VULL_SC_F11)) {
        vull_toggle_fullscreen();
        vull_pump_io.blocked_keys[VULL_SC_F11] = 1;
        return;
    }
    if (code == 13 && vull_alt_held() && !vull_pump_io.blocked_keys[VULL_SC_RETURN]) {
        vull_toggle_fullscreen();
        vull_pump_io.blocked_keys[VULL_SC_RETURN] = 1;
        return;
    }
    if ((vull_key_held(VULL_SC_F4) && vull_alt_held()) || (code == 'q' && vull_ctrl_held())) {
        vull_pump_quit();
        return;
    }
    if (*vull_pump_io.typed_count < VULL_PLAT_KEY_BUFFER) {
        vull_pump_io.typed[(*vull_pump_io.typed_count)++] = code;
        p.queued = true;
    }
}

/* ---- the pass -------------------------------------------------------- */

static int idle_ms; // from vull_pump_idle_for, for the next pass only

// The key arrays are distinct, which lets these passes take many keys at a time.
// Samples the keyboard (n entries of ks) into keys; true when a key went down.
static bool sample_keys(uint8_t *__restrict keys, uint8_t *__restrict last,
                        const uint8_t *__restrict ks, int n) {
    uint8_t pressed = 0;
    for (int j = 0; j < n; j++) {
        uint8_t down = uint8_t(ks[j] != 0);
        pressed |= uint8_t(down & (last[j] == 0));
        last[j] = keys[j];
        keys[j] = down;
    }
    for (int j = n; j < VULL_PLAT_NUM_KEYS; j++) {
        last[j] = keys[j];
        keys[j] = 0;
    }
    return pressed != 0;
}

// The modifiers held, the repeat tick when one is due, and blocks let go with
// their keys; true when the tick marked a key.
static bool repeat_keys(uint8_t *__restrict keys, uint8_t *__restrict blocked, int mod, bool due) {
    if (mod & VULL_MOD_LCTRL) keys[VULL_SC_LCTRL] = 1;
    if (mod & VULL_MOD_RCTRL) keys[VULL_SC_RCTRL] = 1;
    if (mod & VULL_MOD_LALT) keys[VULL_SC_LALT] = 1;
    if (mod & VULL_MOD_RALT) keys[VULL_SC_RALT] = 1;
    if (mod & VULL_MOD_LGUI) keys[VULL_SC_LGUI] = 1;
    if (mod & VULL_MOD_RGUI) keys[VULL_SC_RGUI] = 1;
    uint8_t ticked = 0;
    if (due) {
        for (int j = 0; j < VULL_PLAT_NUM_KEYS; j++) {
            uint8_t tick = uint8_t((keys[j] == 1) & (blocked[j] == 0));
            ticked |= tick;
            keys[j] = tick ? 3 : keys[j];
        }
    }
    for (int j = 0; j < VULL_PLAT_NUM_KEYS; j++) blocked[j] = keys[j] ? blocked[j] : 0;
    return ticked != 0;
}

void vull_pump_idle_for(int ms) { idle_ms = std::clamp(ms, 0, VULL_MAX_IDLE_MS); }

int vull_handle_system_messages() {
    const vull_plat_settings &c = vull_plat_config;
    int ms = (vull_plat_get(c.framebuffer) || vull_system_active || vull_is_app_active())
                 ? vull_plat_get(c.foreground_sleep_ms)
                 : vull_plat_get(c.background_sleep_ms);
    int configured = std::clamp(ms, 0, 200);
    ms = std::max(configured, idle_ms);
    idle_ms = 0;
    int slept_from = vull_get_time();
    if (vull_events_hook.sleep)
        vull_events_hook.sleep(uint32_t(ms));
    else
        vull_delay(ms);
    // The host rate counts the configured sleep, not the added wait.
    if (ms > configured)
        vull_exclude_from_fps(vull_ms_between(slept_from, vull_get_time()) - configured);
    vull_plat_hide_cursor();

    vull_pump_pass p = {};
    p.now = vull_pump_time();

    int n = 0;
    const uint8_t *ks =
        vull_events_hook.keyboard ? vull_events_hook.keyboard(&n) : vull_plat_keyboard(&n);
    if (!ks) n = 0;
    n = std::clamp(n, 0, VULL_PLAT_NUM_KEYS);
    // Branch-free passes over the key arrays: most frames nothing changes.
    if (sample_keys(vull_pump_io.keys, vull_pump_io.last_keys, ks, n)) next_press_t = p.now + 500;
    int mod = vull_events_hook.modstate ? vull_events_hook.modstate() : vull_plat_modstate();
    if (repeat_keys(vull_pump_io.keys, vull_pump_io.blocked_keys, mod, p.now >= next_press_t))
        next_press_t = p.now + 80;

    vull_plat_poll_events(p);

    if (!p.queued && *vull_pump_io.typed_count < VULL_PLAT_KEY_BUFFER) {
        const uint8_t *now_keys = vull_pump_io.keys;
        uint8_t repeating = 0;
        for (int j = 0; j < VULL_PLAT_NUM_KEYS; j++) repeating |= uint8_t(now_keys[j] == 3);
        if (repeating) vull_pump_io.typed[(*vull_pump_io.typed_count)++] = -1;
    }
    if (vull_plat_get(vull_plat_config.emulate_textinput))
        for (int i = 0; i < p.ntyped && *vull_pump_io.typed_count < VULL_PLAT_KEY_BUFFER; i++)
            vull_pump_io.typed[(*vull_pump_io.typed_count)++] = p.typed[i];
    return 0;
}

/* ---- mouse ----------------------------------------------------------- */

static uint32_t pointer_state(int *x, int *y) {
    if (vull_events_hook.mouse) return vull_events_hook.mouse(x, y);
    return vull_plat_pointer(x, y);
}

void vull_get_mouse(int *x, int *y, int *buttons) {
    // Outputs are always written, so callers never read stale values.
    if (x) *x = 0;
    if (y) *y = 0;
    if (buttons) *buttons = 0;
    if (!vull_back_page) return;

    int real_x = 0, real_y = 0;
    uint32_t sb = pointer_state(&real_x, &real_y);
    int mx = *vull_pump_io.mouse_locked ? virtual_mx : real_x;
    int my = *vull_pump_io.mouse_locked ? virtual_my : real_y;
    bool warped = false;
    if (use_warped_mxy) {
        // The imposed position holds until the pointer itself has moved away.
        if (real_x != pre_warp_mx && real_y != pre_warp_my) {
            use_warped_mxy = 0;
        } else {
            mx = warped_mx;
            my = warped_my;
            warped = true;
        }
    }
    int ww = 0, wh = 0;
    vull_plat_window_size(&ww, &wh);
    if (ww == 0 || wh == 0) return;

    int b = 0;
    int rmb_key = vull_plat_get(vull_plat_config.rmb_key);
    if (sb & VULL_POINTER_LEFT) b |= (rmb_key && vull_key_held(rmb_key)) ? 2 : 1;
    if (sb & VULL_POINTER_MIDDLE) b |= 4;
    if (sb & VULL_POINTER_RIGHT) b |= 2;
    if (*vull_pump_io.mouse_key_left && vull_key_held(*vull_pump_io.mouse_key_left)) b |= 1;
    if (*vull_pump_io.mouse_key_right && vull_key_held(*vull_pump_io.mouse_key_right)) b |= 2;
    if (buttons) *buttons = b;

    if (!warped) {
        vull_dest_rect r;
        get_dest_rect(&r);
        if (r.w > 0 && r.h > 0) {
            mx = int((int64_t(mx) - r.x) * vull_back_page->width / r.w);
            my = int((int64_t(my) - r.y) * vull_back_page->height / r.h);
        }
    }
    if (x) *x = mx;
    if (y) *y = my;
}

void vull_lock_mouse_cursor(int lock) {
    int ww = 0, wh = 0;
    vull_plat_window_size(&ww, &wh);
    if (lock && !*vull_pump_io.mouse_locked) {
        pointer_state(&virtual_mx, &virtual_my);
        if (ww > 1 && wh > 1) vull_plat_warp_pointer(ww / 2, wh / 2);
    } else if (!lock && *vull_pump_io.mouse_locked) {
        vull_plat_warp_pointer(virtual_mx, virtual_my);
    }
    *vull_pump_io.mouse_locked = lock;
}

void vull_get_mouse_deltas(int *dx, int *dy) {
    int x, y;
    vull_get_mouse(&x, &y, nullptr);
    if (dx) *dx = x - *vull_pump_io.last_mouse_x;
    if (dy) *dy = y - *vull_pump_io.last_mouse_y;
}

void vull_set_mouse(int x, int y) {
    use_warped_mxy = 1;
    warped_mx = x;
    warped_my = y;
    pointer_state(&pre_warp_mx, &pre_warp_my);
}
