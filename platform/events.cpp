// Event pump, keyboard sampling and the mouse.
//
// Each pass samples SDL's keyboard state into the engine's key arrays and
// runs the engine's own key repeat (one shared timer: first tick 500 ms after
// a new press, then every 80 ms), then drains the event queue. Typed keys go
// through one queueing rule that also carries the hot keys.
#include "platform/events.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/config.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/joystick.h"
#include "platform/system.h"
#include "platform/video.h"

int virtual_mx, virtual_my;
int use_warped_mxy, warped_mx, warped_my, pre_warp_mx, pre_warp_my;
uint64_t next_press_t;
uint64_t last_ctrl_keypress_t;
uint64_t last_inactive_time;
vull_events_hooks vull_events_hook;

constexpr int SC_RETURN = 40, SC_F4 = 61, SC_F11 = 68;
constexpr int SC_LCTRL = 224, SC_LSHIFT = 225, SC_LALT = 226, SC_RCTRL = 228, SC_RSHIFT = 229,
              SC_RALT = 230;
constexpr int SC_LGUI = 500, SC_RGUI = 501; // the engine's own entries, not SDL's 227/231

uint64_t vull_pump_time() {
    return vull_events_hook.now ? vull_events_hook.now() : SDL_GetTicks64();
}

static bool held(int sc) { return sc > 0 && sc < VULL_NUM_KEYS && vullkey[sc] != 0; }
static bool ctrl_held() { return held(SC_LCTRL) || held(SC_RCTRL); }
static bool alt_held() { return held(SC_LALT) || held(SC_RALT); }
static bool shift_held() { return held(SC_LSHIFT) || held(SC_RSHIFT); }

static void quit_now() {
    if (vull_events_hook.quit) {
        vull_events_hook.quit();
        return;
    }
    vull_exit();
    exit(0);
}

static int has_focus() {
    SDL_Window *f = SDL_GetKeyboardFocus();
    return f && (f == sdl_window || f == sdl_window_display);
}

/* ---- typed keys ------------------------------------------------------ */

struct pump_pass {
    uint64_t now;
    bool queued;      // a code was queued during this pass
    bool button_down; // a mouse button went down during this pass
    char typed[64];   // emulated text input, appended after the events
    int ntyped;
};

static void queue_code(pump_pass &p, int code) {
    if (code == 0) return;
    if (ctrl_held() && !alt_held() && !shift_held() && p.now - last_ctrl_keypress_t < 40) return;
    last_ctrl_keypress_t = p.now;
    if (held(SC_F11)) {
        vull_toggle_fullscreen();
        block_vullkey[SC_F11] = 1;
        return;
    }
    if (code == 13 && alt_held() && !block_vullkey[SC_RETURN]) {
        vull_toggle_fullscreen();
        block_vullkey[SC_RETURN] = 1;
        return;
    }
    if ((held(SC_F4) && alt_held()) || (code == 'q' && ctrl_held())) {
        quit_now();
        return;
    }
    if (vullkey_buffer_pos < VULL_KEY_BUFFER) {
        vullkey_buffer[vullkey_buffer_pos++] = code;
        p.queued = true;
    }
}

// US-layout characters for emulated text input; 0 for keys that type nothing.
static int emulated_char(SDL_Keycode k, bool shift) {
    if (k >= 'a' && k <= 'z') return int(k);
    if (k >= '0' && k <= '9') return shift ? ")!@#$%^&*("[k - '0'] : int(k);
    if (k == ' ') return ' ';
    static constexpr char plain[] = "-=`[];'\\,./";
    static constexpr char shifted[] = "_+~{}:\"|<>?";
    for (int i = 0; plain[i]; i++)
        if (k == SDL_Keycode(plain[i])) return shift ? shifted[i] : plain[i];
    return 0;
}

static void key_down(pump_pass &p, int sc) {
    if (sc < 0 || sc >= VULL_NUM_KEYS) return;
    if (!vullkey[sc]) vullkey[sc] = 1;
    SDL_Keycode k = SDL_GetKeyFromScancode(SDL_Scancode(sc));
    int code = 0;
    switch (k) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: code = 13; break;
    case SDLK_BACKSPACE: code = 8; break;
    case SDLK_ESCAPE: code = 27; break;
    case SDLK_TAB:
        // The Tab of an Alt+Tab back into the window is not typing.
        if (!alt_held() && p.now - last_inactive_time > 39) code = 9;
        break;
    case SDLK_RIGHT:
    case SDLK_LEFT:
    case SDLK_DOWN:
    case SDLK_UP: {
        int e = k == SDLK_RIGHT ? 79 : k == SDLK_LEFT ? 80 : k == SDLK_DOWN ? 81 : 82;
        if (!vullkey[e]) vullkey[e] = 1;
        break;
    }
    default: break;
    }
    if (ctrl_held() && !alt_held() && !shift_held()) {
        if (k >= 'a' && k <= 'z') {
            code = int(k);
            vullkey[k - 93] = 1; // the letter's own scancode entry
        } else if (k >= '0' && k <= '9') {
            code = int(k); // the digit's own entry is already set by sampling
        }
    }
    if (held(SC_RALT)) vullkey[SC_LCTRL] = vullkey[SC_RCTRL] = 0; // AltGr is not Ctrl
    if (cconfig.emulate_textinput && code == 0) {
        int c = emulated_char(k, shift_held());
        if (c && p.ntyped < int(sizeof p.typed)) p.typed[p.ntyped++] = char(c);
    }
    queue_code(p, code);
}

/* ---- events ---------------------------------------------------------- */

static void window_event(pump_pass &p, const SDL_WindowEvent &w) {
    bool main_window = sdl_window && w.windowID == SDL_GetWindowID(sdl_window);
    switch (w.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        vull_system_active = 1;
        last_inactive_time = p.now;
        if (sdl_window_display && sdl_window && w.windowID == SDL_GetWindowID(sdl_window_display))
            SDL_RaiseWindow(sdl_window);
        break;
    case SDL_WINDOWEVENT_HIDDEN:
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (main_window) vull_system_active = 0;
        break;
    case SDL_WINDOWEVENT_CLOSE:
        vull_quit = 1;
        vull_debugf("window closed (%d)\n", int(w.event));
        break;
    default: break;
    }
}

static void mouse_motion(const SDL_MouseMotionEvent &m) {
    if (vull_state.mouse_locked && sdl_window) {
        int ww, wh;
        SDL_GetWindowSize(sdl_window, &ww, &wh);
        if (ww > 1 && wh > 1) {
            int dx = m.x - ww / 2, dy = m.y - wh / 2;
            vull_state.mouse_rel_x += dx;
            vull_state.mouse_rel_y += dy;
            virtual_mx = SDL_clamp(virtual_mx + dx, 0, ww - 1);
            virtual_my = SDL_clamp(virtual_my + dy, 0, wh - 1);
            SDL_WarpMouseInWindow(sdl_window, ww >> 1, wh >> 1);
        }
    }
    if (vull_state.mouse_rel_x) {
        vull_state.mouse_total_x += vull_state.mouse_rel_x;
        vull_state.mouse_rel_x = 0;
    }
    if (vull_state.mouse_rel_y) {
        vull_state.mouse_total_y += vull_state.mouse_rel_y;
        vull_state.mouse_rel_y = 0;
    }
}

static void drop_event(SDL_DropEvent &d) {
    if (d.type == SDL_DROPFILE && d.file) {
        snprintf(vull_state.dropped_file, sizeof vull_state.dropped_file, "%s", d.file);
        if (sdl_window) SDL_RaiseWindow(sdl_window);
    }
    if (d.file) SDL_free(d.file); // SDL hands the text over with the event
}

static void handle_event(pump_pass &p, SDL_Event &e) {
    switch (e.type) {
    case SDL_QUIT: quit_now(); break;
    case SDL_WINDOWEVENT: window_event(p, e.window); break;
    case SDL_KEYDOWN: key_down(p, int(e.key.keysym.scancode)); break;
    case SDL_TEXTINPUT:
        // Only one-byte texts: the console's character set has no other way in.
        if (!cconfig.emulate_textinput && e.text.text[0] && !e.text.text[1])
            queue_code(p, int(static_cast<signed char>(e.text.text[0])));
        break;
    case SDL_MOUSEMOTION: mouse_motion(e.motion); break;
    case SDL_MOUSEBUTTONDOWN: p.button_down = true; break;
    case SDL_MOUSEBUTTONUP:
        // A press and release inside one pass would never be seen by sampling.
        if (p.button_down) {
            vull_state.click_button = e.button.button;
            vull_state.click_time = int32_t(uint32_t(p.now));
        }
        break;
    case SDL_MOUSEWHEEL:
        vull_state.wheel_x += e.wheel.x;
        vull_state.wheel_y += e.wheel.y;
        vull_state.wheel_x2 += e.wheel.x;
        vull_state.wheel_y2 += e.wheel.y;
        break;
    case SDL_CONTROLLERDEVICEADDED:
        vull_joystick_device_added(e.cdevice.which);
        vull_state.controller_added = 0x100 + e.cdevice.which;
        break;
    case SDL_CONTROLLERDEVICEREMOVED: {
        int r = vull_joystick_device_removed(e.cdevice.which);
        if (r >= 0) vull_state.controller_removed = 0x100 + r;
        break;
    }
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPBEGIN:
    case SDL_DROPCOMPLETE: drop_event(e.drop); break;
    default: break;
    }
}

int vull_handle_system_messages() {
    int ms = (cconfig.framebuffer || vull_system_active || has_focus())
                 ? cconfig.foreground_sleep_ms
                 : cconfig.background_sleep_ms;
    ms = SDL_clamp(ms, 0, 200);
    if (vull_events_hook.sleep)
        vull_events_hook.sleep(uint32_t(ms));
    else
        SDL_Delay(uint32_t(ms));
    SDL_ShowCursor(0);

    pump_pass p = {};
    p.now = vull_pump_time();

    int n = 0;
    const uint8_t *ks =
        vull_events_hook.keyboard ? vull_events_hook.keyboard(&n) : SDL_GetKeyboardState(&n);
    if (!ks) n = 0;
    for (int j = 0; j < VULL_NUM_KEYS; j++) {
        uint8_t down = j < n && ks[j] ? 1 : 0;
        if (down && !last_vullkey[j]) next_press_t = p.now + 500;
        last_vullkey[j] = vullkey[j];
        vullkey[j] = down;
    }

    int mod = vull_events_hook.modstate ? vull_events_hook.modstate() : int(SDL_GetModState());
    if (mod & KMOD_LCTRL) vullkey[SC_LCTRL] = 1;
    if (mod & KMOD_RCTRL) vullkey[SC_RCTRL] = 1;
    if (mod & KMOD_LALT) vullkey[SC_LALT] = 1;
    if (mod & KMOD_RALT) vullkey[SC_RALT] = 1;
    if (mod & KMOD_LGUI) vullkey[SC_LGUI] = 1;
    if (mod & KMOD_RGUI) vullkey[SC_RGUI] = 1;

    if (p.now >= next_press_t) {
        for (int j = 0; j < VULL_NUM_KEYS; j++) {
            if (vullkey[j] == 1 && !block_vullkey[j]) {
                vullkey[j] = 3;
                next_press_t = p.now + 80;
            }
        }
    }
    for (int j = 0; j < VULL_NUM_KEYS; j++)
        if (!vullkey[j]) block_vullkey[j] = 0;

    SDL_Event e;
    while (SDL_PollEvent(&e)) handle_event(p, e);

    if (!p.queued && vullkey_buffer_pos < VULL_KEY_BUFFER) {
        for (int j = 0; j < VULL_NUM_KEYS; j++) {
            if (vullkey[j] == 3) {
                vullkey_buffer[vullkey_buffer_pos++] = -1;
                break;
            }
        }
    }
    if (cconfig.emulate_textinput)
        for (int i = 0; i < p.ntyped && vullkey_buffer_pos < VULL_KEY_BUFFER; i++)
            vullkey_buffer[vullkey_buffer_pos++] = p.typed[i];
    return 0;
}

/* ---- key names ------------------------------------------------------- */

const char *vull_get_key_name(int scancode) {
    static char name[256];
    const char *s = scancode >= 0 && scancode < SDL_NUM_SCANCODES
                        ? SDL_GetScancodeName(SDL_Scancode(scancode))
                        : "";
    if (!s || !*s) s = "?";
    snprintf(name, sizeof name, "%s", s);
    for (char *c = name; *c; c++)
        if (*c >= 'a' && *c <= 'z') *c = char(*c - 'a' + 'A');
    return name;
}

/* ---- mouse ----------------------------------------------------------- */

static uint32_t pointer_state(int *x, int *y) {
    if (vull_events_hook.mouse) return vull_events_hook.mouse(x, y);
    return SDL_GetMouseState(x, y);
}

void vull_get_mouse(int *x, int *y, int *buttons) {
    // Outputs are always written, so callers never read stale values.
    if (x) *x = 0;
    if (y) *y = 0;
    if (buttons) *buttons = 0;
    if (!vull_back_page) return;

    int real_x = 0, real_y = 0;
    uint32_t sb = pointer_state(&real_x, &real_y);
    int mx = vull_state.mouse_locked ? virtual_mx : real_x;
    int my = vull_state.mouse_locked ? virtual_my : real_y;
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
    if (sdl_window) SDL_GetWindowSize(sdl_window, &ww, &wh);
    if (ww == 0 || wh == 0) return;

    int b = 0;
    if (sb & SDL_BUTTON_LMASK) b |= (cconfig.rmb_key && held(cconfig.rmb_key)) ? 2 : 1;
    if (sb & SDL_BUTTON_MMASK) b |= 4;
    if (sb & SDL_BUTTON_RMASK) b |= 2;
    if (vull_state.mouse_key_left && held(vull_state.mouse_key_left)) b |= 1;
    if (vull_state.mouse_key_right && held(vull_state.mouse_key_right)) b |= 2;
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
    if (sdl_window) SDL_GetWindowSize(sdl_window, &ww, &wh);
    if (lock && !vull_state.mouse_locked) {
        pointer_state(&virtual_mx, &virtual_my);
        if (sdl_window && ww > 1 && wh > 1) SDL_WarpMouseInWindow(sdl_window, ww / 2, wh / 2);
    } else if (!lock && vull_state.mouse_locked) {
        if (sdl_window) SDL_WarpMouseInWindow(sdl_window, virtual_mx, virtual_my);
    }
    vull_state.mouse_locked = lock;
}

void vull_get_mouse_deltas(int *dx, int *dy) {
    int x, y;
    vull_get_mouse(&x, &y, nullptr);
    if (dx) *dx = x - vull_last_mouse_x;
    if (dy) *dy = y - vull_last_mouse_y;
}

void vull_set_mouse(int x, int y) {
    use_warped_mxy = 1;
    warped_mx = x;
    warped_my = y;
    pointer_state(&pre_warp_mx, &pre_warp_my);
}
