// The key configuration screen and the controls page.  Keys are read through
// the buttons' input source, so the screen is driven the same way in tests.
#include "shell/keyconfig.h"

#include <SDL2/SDL_scancode.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/button.h"
#include "console/gfx_shape.h"
#include "console/mem.h"
#include "cart/state.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "platform/events.h"
#include "shell/compose.h"

keyconfig_state zkeyconfig;

namespace {

constexpr int SCANCODES = 512;
constexpr int RES_KEY_PICTURE = 169; // 169-174 the six buttons, 175 pause
constexpr int RES_KEYS_DONE = 168;
constexpr int RES_CONTROLS = 246;
constexpr int RES_BUTTON_REST = 247;
constexpr int RES_BUTTON_HELD = 248;
constexpr int RES_MOUSE = 89;

constexpr std::array<const char *, Z6_BUTTON_KEYS> button_name = {
    "p1 left    ",   "p1 right   ",   "p1 up      ", "p1 down    ", "p1 \x8e      ",
    "p1 \x97      ", "p2 left    ",   "p2 right   ", "p2 up      ", "p2 down    ",
    "p2 \x8e      ", "p2 \x97      ", "pause      ",
};
constexpr std::array<const char *, Z6_BUTTON_KEYS> default_key_name = {
    "left", "right", "up", "down", "z / c / n", "x / v / m", "s",
    "f",    "e",     "d",  "tab",  "q",         "p / enter",
};

std::string lower(const char *s) {
    std::string out = s ? s : "";
    for (char &c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string key_name(int entry) {
    int k = app.button_keys[entry];
    if (k == 0) return default_key_name[size_t(entry)];
    return lower(vull_get_key_name(std::clamp(k, 0, 255)));
}

void restore_bindings() {
    std::memcpy(app.button_keys, app.button_keys_backup, sizeof app.button_keys);
}

// One line of the controls page: the default text until an entry of its
// group is bound, then one character per entry.
std::string controls_line(int first, int count, const char *fallback) {
    bool bound = false;
    for (int i = 0; i < count; i++) bound |= app.button_keys[first + i] != 0;
    if (!bound) return fallback;
    if (first == 0 && app.button_keys[0] == SDL_SCANCODE_LEFT &&
        app.button_keys[1] == SDL_SCANCODE_RIGHT && app.button_keys[2] == SDL_SCANCODE_UP &&
        app.button_keys[3] == SDL_SCANCODE_DOWN)
        return fallback;
    std::string line(7, ' ');
    for (int i = 0; i < count; i++) {
        int k = app.button_keys[first + i];
        if (k == 0) continue;
        std::string name = lower(vull_get_key_name(std::clamp(k, 0, 255)));
        line[size_t(2 * i)] = name.size() == 1 ? name[0] : char(16);
    }
    return line;
}

} // namespace

void keyconfig_init() {
    zkeyconfig.key_index = 0;
    zkeyconfig.ready = 0;
    std::memcpy(app.button_keys_backup, app.button_keys, sizeof app.button_keys);
}

void keyconfig_update() {
    keyconfig_state &k = zkeyconfig;
    if (!k.ready) {
        bool any = false;
        for (int sc = 0; sc < SCANCODES && !any; sc++) any = z6_input.key(sc);
        k.ready = !any && k.key_index <= 12;
        return;
    }
    for (int sc = 0; sc < SCANCODES && k.key_index < Z6_BUTTON_KEYS; sc++) {
        if (!z6_input.key(sc)) continue;
        bool fallback = sc == SDL_SCANCODE_DELETE || sc == SDL_SCANCODE_BACKSPACE;
        app.button_keys[k.key_index] = fallback ? 0 : sc;
        k.key_index++;
        k.ready = 0;
        if (k.key_index == Z6_BUTTON_KEYS) {
            while (vull_keypressed() && vull_readkey()) {}
        }
    }
}

void keyconfig_close() {
    if (zkeyconfig.key_index < Z6_BUTTON_KEYS) restore_bindings();
}

void keyconfig_keypress(int key) {
    if (zkeyconfig.key_index < Z6_BUTTON_KEYS) {
        if (key != 27) return;
        restore_bindings();
        if (pstate.display[0]) keyconfig_draw(pstate.display[0]);
        pstate.sub_mode = 0;
        return;
    }
    pstate.sub_mode = 0;
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f27, 120);
}

void keyconfig_draw(vull_bitmap *bmp) {
    if (!bmp) return;
    int ki = zkeyconfig.key_index;
    vull_rectfill(bmp, 0, 0, 127, 127, 1);
    vull_rectfill(bmp, 4, 41, 123, 124, 6);
    vull_rectfill(bmp, 0, 0, 127, 6, 7);
    draw_console_text(bmp, "player key config", 6, 1, 12);
    int picture = ki > 12    ? RES_KEYS_DONE
                  : ki == 12 ? RES_KEY_PICTURE + 6
                             : RES_KEY_PICTURE + ki % 6;
    draw_resource_picture(bmp, picture, 6, 8);
    if (ki > 12) {
        draw_console_text(bmp, "saved config.", 60, 12, 11);
        draw_console_text(bmp, "press escape", 60, 22, 12);
        draw_console_text(bmp, "to continue", 60, 29, 12);
    } else {
        draw_console_text(bmp, "press key for:", 60, 12, 6);
        draw_console_text(bmp, button_name[size_t(ki)], 60, 19, 7);
        draw_console_text(bmp, "del for default", 60, 26, 13);
        draw_console_text(bmp, "esc to cancel", 60, 33, 13);
    }
    for (int i = 0; i < Z6_BUTTON_KEYS; i++) {
        int y = 44 + 6 * i;
        char row[64];
        std::snprintf(row, sizeof row, "%s : %s", button_name[size_t(i)], key_name(i).c_str());
        if (i == ki) vull_rectfill(bmp, 7, y - 1, 120, y + 5, 14);
        draw_console_text(bmp, row, 10, y, i == ki ? 1 : 5);
    }
}

void draw_controls_button(vull_bitmap *bmp, int b, int p, int x, int y) {
    bool held = player_key(b, p) || player_button(b, p) > 128;
    draw_resource_picture(bmp, held ? RES_BUTTON_HELD : RES_BUTTON_REST, x, y);
    // Direction glyphs sit 31 above their letters; O and X have their own.
    static constexpr unsigned char glyph[6] = {'l' + 31, 'r' + 31, 'u' + 31, 'd' + 31, 142, 151};
    char text[2] = {char(b >= 0 && b < 6 ? glyph[b] : ' '), 0};
    draw_console_text(bmp, text, x, y + 1 + (held ? 1 : 0), 7);
}

void draw_paused_controls_menu(vull_bitmap *bmp) {
    if (!bmp) return;
    int mx = 0, my = 0;
    z6_input.mouse(&mx, &my, nullptr);
    vull_bitmap *pic = resource_picture(RES_CONTROLS);
    int w = pic ? pic->width : 0, h = pic ? pic->height : 0;
    draw_tinted_rect_adaptive(bmp, 63 - w / 2, 63 - h / 2, 64 + w / 2, 64 + h / 2, 1);
    vull_rect(bmp, 64 - w / 2, 64 - h / 2, 63 + w / 2, 63 + h / 2, 7);
    draw_resource_picture(bmp, RES_CONTROLS, 64 - w / 2, 64 - h / 2);

    // Unbound, a line names every default key: O's, then X's.
    const std::string lines[4] = {controls_line(0, 4, "cursors"),
                                  controls_line(4, 2, "z c n/x v m"),
                                  controls_line(6, 4, "s f e d"),
                                  controls_line(10, 2, "tab shift w/a q")};
    const int line_y[4] = {34, 44, 61, 72};
    for (int i = 0; i < 4; i++)
        draw_console_text(bmp, lines[i].c_str(), 90 - 2 * int(lines[i].size()), line_y[i], 13);

    for (int p = 0; p < 2; p++) {
        int dy = p == 0 ? 78 - h / 2 : 105 - h / 2;
        int oy = p == 0 ? 89 - h / 2 : 116 - h / 2;
        for (int b = 0; b < 4; b++) draw_controls_button(bmp, b, p, 82 - w / 2 + 8 * b, dy);
        draw_controls_button(bmp, 4, p, 82 - w / 2, oy);
        draw_controls_button(bmp, 5, p, 90 - w / 2, oy);
    }

    char count[40];
    std::snprintf(count, sizeof count, "%d joysticks detected", z6_input.count_joysticks());
    draw_console_text(bmp, count, 69 - w / 2, 144 - h / 2, 13);

    if (vull_bitmap *mouse = resource_picture(RES_MOUSE))
        draw_resource_picture(bmp, RES_MOUSE, mx - mouse->width / 2, my - mouse->height / 2);
}
