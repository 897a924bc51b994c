// SDL's input for the event pump: the keyboard and pointer state, the event
// queue (keys, text, window, mouse, controllers, dropped files) and key names.
#include "platform/sdl/sdl_api.h"

#include <cstdio>

#include "platform/backend.h"
#include "platform/system.h"
#include "platform/events.h"
#include "platform/joystick.h"
#include "platform/pump.h"
#include "platform/script.h"
#include "platform/sdl/sdl_video.h"
#include "platform/video.h"

// Without SDL in the process (a headless run) no key, button or event arrives.

const uint8_t *vull_plat_keyboard(int *count) {
    if (!sdl_loaded()) {
        *count = 0;
        return nullptr;
    }
    return SDL_GetKeyboardState(count);
}

int vull_plat_modstate() {
    if (!sdl_loaded()) return 0;
    int m = int(SDL_GetModState()), out = 0;
    if (m & KMOD_LCTRL) out |= VULL_MOD_LCTRL;
    if (m & KMOD_RCTRL) out |= VULL_MOD_RCTRL;
    if (m & KMOD_LALT) out |= VULL_MOD_LALT;
    if (m & KMOD_RALT) out |= VULL_MOD_RALT;
    if (m & KMOD_LGUI) out |= VULL_MOD_LGUI;
    if (m & KMOD_RGUI) out |= VULL_MOD_RGUI;
    return out;
}

uint32_t vull_plat_pointer(int *x, int *y) {
    if (!sdl_loaded()) {
        *x = *y = 0;
        return 0;
    }
    uint32_t m = SDL_GetMouseState(x, y), out = 0;
    if (m & SDL_BUTTON_LMASK) out |= VULL_POINTER_LEFT;
    if (m & SDL_BUTTON_MMASK) out |= VULL_POINTER_MIDDLE;
    if (m & SDL_BUTTON_RMASK) out |= VULL_POINTER_RIGHT;
    return out;
}

void vull_plat_warp_pointer(int x, int y) {
    if (sdl_window) SDL_WarpMouseInWindow(sdl_window, x, y);
}

void vull_plat_hide_cursor() {
    if (sdl_loaded()) SDL_ShowCursor(0);
}

/* ---- keys ------------------------------------------------------------ */

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

static void key_down(vull_pump_pass &p, int sc) {
    if (sc < 0 || sc >= VULL_PLAT_NUM_KEYS) return;
    if (!vull_pump_io.keys[sc]) vull_pump_io.keys[sc] = 1;
    SDL_Keycode k = SDL_GetKeyFromScancode(SDL_Scancode(sc));
    int code = 0;
    switch (k) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: code = 13; break;
    case SDLK_BACKSPACE: code = 8; break;
    case SDLK_ESCAPE: code = 27; break;
    case SDLK_TAB:
        // The Tab of an Alt+Tab back into the window is not typing.
        if (!vull_alt_held() && p.now - last_inactive_time > 39) code = 9;
        break;
    case SDLK_RIGHT:
    case SDLK_LEFT:
    case SDLK_DOWN:
    case SDLK_UP: {
        int e = k == SDLK_RIGHT ? 79 : k == SDLK_LEFT ? 80 : k == SDLK_DOWN ? 81 : 82;
        if (!vull_pump_io.keys[e]) vull_pump_io.keys[e] = 1;
        break;
    }
    default: break;
    }
    if (vull_ctrl_held() && !vull_alt_held() && !vull_shift_held()) {
        if (k >= 'a' && k <= 'z') {
            code = int(k);
            vull_pump_io.keys[k - 93] = 1; // the letter's own scancode entry
        } else if (k >= '0' && k <= '9') {
            code = int(k); // the digit's own entry is already set by sampling
        }
    }
    if (vull_key_held(VULL_SC_RALT))
        vull_pump_io.keys[VULL_SC_LCTRL] = vull_pump_io.keys[VULL_SC_RCTRL] =
            0; // AltGr is not Ctrl
    if (vull_plat_get(vull_plat_config.emulate_textinput) && code == 0) {
        int c = emulated_char(k, vull_shift_held());
        if (c && p.ntyped < int(sizeof p.typed)) p.typed[p.ntyped++] = char(c);
    }
    vull_pump_queue_code(p, code);
}

/* ---- events ---------------------------------------------------------- */

static void window_event(vull_pump_pass &p, const SDL_WindowEvent &w) {
    bool main_window = sdl_window && w.windowID == SDL_GetWindowID(sdl_window);
    sdl_window_needs_present();
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
        *vull_pump_io.quit = 1;
        vull_plat_logf("window closed (%d)\n", int(w.event));
        break;
    default: break;
    }
}

static void mouse_motion(const SDL_MouseMotionEvent &m) {
    if (*vull_pump_io.mouse_locked && sdl_window) {
        int ww, wh;
        SDL_GetWindowSize(sdl_window, &ww, &wh);
        if (ww > 1 && wh > 1) {
            int dx = m.x - ww / 2, dy = m.y - wh / 2;
            *vull_pump_io.mouse_rel_x += dx;
            *vull_pump_io.mouse_rel_y += dy;
            virtual_mx = SDL_clamp(virtual_mx + dx, 0, ww - 1);
            virtual_my = SDL_clamp(virtual_my + dy, 0, wh - 1);
            SDL_WarpMouseInWindow(sdl_window, ww >> 1, wh >> 1);
        }
    }
    if (*vull_pump_io.mouse_rel_x) {
        *vull_pump_io.mouse_total_x += *vull_pump_io.mouse_rel_x;
        *vull_pump_io.mouse_rel_x = 0;
    }
    if (*vull_pump_io.mouse_rel_y) {
        *vull_pump_io.mouse_total_y += *vull_pump_io.mouse_rel_y;
        *vull_pump_io.mouse_rel_y = 0;
    }
}

static void drop_event(SDL_DropEvent &d) {
    if (d.type == SDL_DROPFILE && d.file) {
        snprintf(vull_pump_io.dropped_file, vull_pump_io.dropped_file_size, "%s", d.file);
        if (sdl_window) SDL_RaiseWindow(sdl_window);
    }
    if (d.file) SDL_free(d.file); // SDL hands the text over with the event
}

static void handle_event(vull_pump_pass &p, SDL_Event &e) {
    switch (e.type) {
    case SDL_QUIT: vull_pump_quit(); break;
    case SDL_WINDOWEVENT: window_event(p, e.window); break;
    case SDL_KEYDOWN: key_down(p, int(e.key.keysym.scancode)); break;
    case SDL_TEXTINPUT:
        // Only one-byte texts: the console's character set has no other way in.
        if (!vull_plat_get(vull_plat_config.emulate_textinput) && e.text.text[0] && !e.text.text[1])
            vull_pump_queue_code(p, int(static_cast<signed char>(e.text.text[0])));
        break;
    case SDL_MOUSEMOTION: mouse_motion(e.motion); break;
    case SDL_MOUSEBUTTONDOWN: p.button_down = true; break;
    case SDL_MOUSEBUTTONUP:
        // A press and release inside one pass would never be seen by sampling.
        if (p.button_down) {
            *vull_pump_io.click_button = e.button.button;
            *vull_pump_io.click_time = int32_t(uint32_t(p.now));
        }
        break;
    case SDL_MOUSEWHEEL:
        *vull_pump_io.wheel_x += e.wheel.x;
        *vull_pump_io.wheel_y += e.wheel.y;
        *vull_pump_io.wheel_x2 += e.wheel.x;
        *vull_pump_io.wheel_y2 += e.wheel.y;
        break;
    case SDL_CONTROLLERDEVICEADDED:
        vull_joystick_device_added(e.cdevice.which);
        *vull_pump_io.controller_added = 0x100 + e.cdevice.which;
        break;
    case SDL_CONTROLLERDEVICEREMOVED: {
        int r = vull_joystick_device_removed(e.cdevice.which);
        if (r >= 0) *vull_pump_io.controller_removed = 0x100 + r;
        break;
    }
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPBEGIN:
    case SDL_DROPCOMPLETE: drop_event(e.drop); break;
    default: break;
    }
}

void vull_plat_poll_events(vull_pump_pass &p) {
    if (!sdl_loaded()) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) handle_event(p, e);
}

/* ---- the input script's steps --------------------------------------- */

void vull_plat_push_event(const vull_script_step &s, int pointer_x, int pointer_y) {
    if (!sdl_loaded()) {
        if (s.op == vull_script_op::quit) vull_pump_quit();
        return;
    }
    SDL_Event e{};
    uint32_t window = sdl_window ? SDL_GetWindowID(sdl_window) : 0;
    switch (s.op) {
    case vull_script_op::key_down:
    case vull_script_op::key_up:
        e.type = s.op == vull_script_op::key_down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = window;
        e.key.state = s.op == vull_script_op::key_down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = SDL_Scancode(s.code);
        e.key.keysym.sym = SDL_GetKeyFromScancode(SDL_Scancode(s.code));
        SDL_PushEvent(&e);
        return;
    case vull_script_op::text:
        // A keyboard sends one text event a character.
        for (char c : s.text) {
            e = {};
            e.type = SDL_TEXTINPUT;
            e.text.windowID = window;
            e.text.text[0] = c;
            SDL_PushEvent(&e);
        }
        return;
    case vull_script_op::motion:
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = window;
        e.motion.x = pointer_x;
        e.motion.y = pointer_y;
        SDL_PushEvent(&e);
        return;
    case vull_script_op::button_down:
    case vull_script_op::button_up:
        e.type = s.op == vull_script_op::button_down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = window;
        e.button.button = uint8_t(s.code);
        e.button.state = s.op == vull_script_op::button_down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = pointer_x;
        e.button.y = pointer_y;
        SDL_PushEvent(&e);
        return;
    case vull_script_op::quit:
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        return;
    default: return;
    }
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
