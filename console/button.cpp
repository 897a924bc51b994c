// Buttons: the 8 x 8 grid from keys, controllers and the devkit mouse, the
// btnp repeat timing and the block that hides buttons held from before.
#include "console/button.h"

#include <SDL2/SDL_scancode.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/gui.h"
#include "engine/vmath.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/joystick.h"

zibo6_button_state zbtn;

namespace {

// The event pump moves each event's motion into the totals at once, so the
// frame's read takes those.
void platform_motion(int *wx, int *wy, int *rx, int *ry) {
    *wx = vull_state.wheel_x;
    *wy = vull_state.wheel_y;
    *rx = vull_state.mouse_total_x;
    *ry = vull_state.mouse_total_y;
    vull_state.wheel_x = vull_state.wheel_y = 0;
    vull_state.mouse_total_x = vull_state.mouse_total_y = 0;
}

// Default keys of players 0 and 1, buttons 0-5 (0 ends a list); the pause
// button's defaults are handled apart because Escape depends on the menu.
constexpr int MAX_DEFAULTS = 5;
constexpr std::array<std::array<int, MAX_DEFAULTS + 1>, 12> default_keys = {{
    {SDL_SCANCODE_LEFT, SDL_SCANCODE_KP_4},
    {SDL_SCANCODE_RIGHT, SDL_SCANCODE_KP_6},
    {SDL_SCANCODE_UP, SDL_SCANCODE_KP_8},
    {SDL_SCANCODE_DOWN, SDL_SCANCODE_KP_5},
    {SDL_SCANCODE_Z, SDL_SCANCODE_C, SDL_SCANCODE_N, SDL_SCANCODE_KP_1, SDL_SCANCODE_INSERT},
    {SDL_SCANCODE_X, SDL_SCANCODE_V, SDL_SCANCODE_M, SDL_SCANCODE_KP_2, SDL_SCANCODE_DELETE},
    {SDL_SCANCODE_S},
    {SDL_SCANCODE_F},
    {SDL_SCANCODE_E},
    {SDL_SCANCODE_D},
    {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_TAB, SDL_SCANCODE_W},
    {SDL_SCANCODE_A, SDL_SCANCODE_Q},
}};

int ram(int address) { return pstate.console_ram[address]; }

bool devkit_mouse() { return (ram(0x5f2d) & 3) == 3; }

bool pause_menu_open() { return app.paused_menu_state != 0; }

bool cart_running() { return pstate.machine_mode == 1 && pstate.cart_code_running; }

bool valid(int b, int p) { return b >= 0 && b < Z6_BUTTONS && p >= 0 && p < Z6_PLAYERS; }

bool key_down(int code) { return code > 0 && z6_input.key(code); }

// Key binding entry of (b, p), or -1 when the button has no entry.
int binding_entry(int b, int p) {
    if (p == 0 && b < 6) return b;
    if (p == 0 && b == 6) return 12;
    if (p == 1 && b < 6) return 6 + b;
    return -1;
}

bool mouse_button(int b) {
    int bits = 0;
    z6_input.mouse(nullptr, nullptr, &bits);
    if (b == 4) return bits & 2;
    if (b == 5) return bits & 1;
    if (b == 6) return bits & 4;
    return false;
}

} // namespace

const z6_input_source z6_platform_input = {
    vull_get_key_state, vull_get_joystick, vull_get_mouse, vull_count_joysticks, platform_motion,
};
z6_input_source z6_input = z6_platform_input;

int first_button_delay() {
    if (pause_menu_open()) return 16;
    int d1 = ram(0x5f5c) ? ram(0x5f5c) : 15;
    int f = pstate.target_fps;
    return f > 0 ? f * d1 / 30 + 1 : d1 + 1;
}

int repeat_button_delay() {
    if (pause_menu_open()) return 4;
    int d2 = ram(0x5f5d) ? ram(0x5f5d) : 4;
    int f = pstate.target_fps;
    return f > 0 ? f * d2 / 30 : d2;
}

int player_key(int b, int p) {
    if (!valid(b, p)) return 0;
    if (p == 0 && devkit_mouse() && b >= 4 && b <= 6 && mouse_button(b)) return 1;
    int entry = binding_entry(b, p);
    if (entry < 0) return 0;
    int bound = app.button_keys[entry];
    if (bound != 0) return key_down(bound);
    if (b == 6) {
        if (key_down(SDL_SCANCODE_P) || key_down(SDL_SCANCODE_RETURN)) return 1;
        return cart_running() && !pause_menu_open() && key_down(SDL_SCANCODE_ESCAPE);
    }
    for (int k : default_keys[size_t(entry < 12 ? entry : 0)]) {
        if (k == 0) break;
        if (k == SDL_SCANCODE_M && z6_input.key(VULL_KEY_CTRL)) continue;
        if (key_down(k)) return 1;
    }
    return 0;
}

namespace {

// One reading of a player's controller: the stick and the pad's buttons.
struct pad_reading {
    int x, y;
    uint32_t pad;
};

pad_reading read_pad(int p) {
    pad_reading r = {0, 0, 0};
    if (app.joystick_index < 0 || p < app.joystick_index) return r;
    z6_input.joystick(p - app.joystick_index, &r.x, &r.y, &r.pad);
    return r;
}

int pad_strength(int b, const pad_reading &r) {
    int x = r.x, y = r.y;
    uint32_t pad = r.pad;
    auto down = [pad](int bit) { return (pad >> bit) & 1; };
    if (b < 4) {
        // Integer halves keep the squares inside 32 bits.
        if (int64_t(x / 2) * x + int64_t(y / 2) * y > 134217728) {
            const int deflection[4] = {-x, x, -y, y};
            return std::clamp(deflection[b] / 128, 0, 255);
        }
        const int dpad[4] = {Z6_PAD_LEFT, Z6_PAD_RIGHT, Z6_PAD_UP, Z6_PAD_DOWN};
        return down(dpad[b]) ? 255 : 0;
    }
    if (b == 4) return down(Z6_PAD_A) || down(Z6_PAD_Y) ? 255 : 0;
    if (b == 5) return down(Z6_PAD_B) || down(Z6_PAD_X) ? 255 : 0;
    if (b == 6) return down(Z6_PAD_START) ? 255 : 0;
    return 0;
}

} // namespace

int player_button(int b, int p) {
    if (!valid(b, p)) return 0;
    return pad_strength(b, read_pad(p));
}

int is_key_bound(int k) {
    for (int b = 0; b < 6; b++) {
        int bound = app.button_keys[b];
        if (bound != 0) {
            if (bound == k) return 1;
            continue;
        }
        for (int d : default_keys[size_t(b)])
            if (d != 0 && d == k) return 1;
    }
    return 0;
}

void read_buttons() {
    std::memset(pstate.button_held, 0, sizeof pstate.button_held);
    if (app.glitch_test) {
        for (auto &row : pstate.button_held)
            for (int b = 0; b < 6; b++) row[b] = uint8_t(vull_random(2));
        return;
    }
    int first = first_button_delay();
    for (int p = 0; p < Z6_PLAYERS; p++) {
        // One controller reading serves all of a player's buttons.
        pad_reading pad = read_pad(p);
        for (int b = 0; b < Z6_BUTTONS; b++) {
            if (!player_key(b, p) && pad_strength(b, pad) < 129) {
                zbtn.blocked[p][b] = 0;
                continue;
            }
            if (zbtn.blocked[p][b]) continue;
            pstate.button_held[p][b] = 1;
            if (!zbtn.previous[p][b]) zbtn.countdown[p][b] = first;
        }
    }
    int wx = 0, wy = 0, rx = 0, ry = 0;
    z6_input.take_motion(&wx, &wy, &rx, &ry);
    zbtn.wheel_x = wx;
    zbtn.wheel_y = wy;
    zbtn.rel_x = rx;
    zbtn.rel_y = ry;
}

void update_buttons() {
    bool read_first = cart_running() && !pause_menu_open();
    if (read_first) read_buttons();
    bool repeat = ram(0x5f5c) != 255;
    int again = repeat_button_delay();
    for (int p = 0; p < Z6_PLAYERS; p++) {
        for (int b = 0; b < Z6_BUTTONS; b++) {
            int held = pstate.button_held[p][b];
            zbtn.btnp[p][b] = uint8_t(held && !zbtn.blocked[p][b] &&
                                      (!zbtn.previous[p][b] || zbtn.countdown[p][b] == 1));
            zbtn.previous[p][b] = uint8_t(held);
            if (!repeat) continue;
            int32_t &c = zbtn.countdown[p][b];
            if (c > 0) c = c == 1 ? again : c - 1;
        }
    }
    if (!read_first) read_buttons();
}

void block_buttons() {
    int from = app.cart_item_chosen ? 2 : 0;
    int first = first_button_delay();
    for (int p = 0; p < Z6_PLAYERS; p++) {
        for (int b = from; b < Z6_BUTTONS; b++) {
            zbtn.blocked[p][b] = 1;
            pstate.button_held[p][b] = 0;
            zbtn.countdown[p][b] = first;
        }
    }
}

void clear_buttons_tables() {
    zbtn = {};
    std::memset(pstate.button_held, 0, sizeof pstate.button_held);
}

int button_pressed(int b, int p) {
    if (!valid(b, p)) return 0;
    if (!pstate.button_held[p][b]) return 0;
    return !zbtn.previous[p][b] || zbtn.countdown[p][b] == 1;
}

int button_pressed_nok(int b, int p) {
    if (!valid(b, p)) return 0;
    if (player_button(b, p) < 129 || zbtn.blocked[p][b]) return 0;
    return !zbtn.previous[p][b] || zbtn.countdown[p][b] == 1;
}
