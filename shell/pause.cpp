// The pause menu: opened by player 0's pause button while a cart runs, run
// at 30 frames a second by the frame loop in place of the cart, drawn over
// the last converted picture.
#include "shell/pause.h"

#include <SDL2/SDL_scancode.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "console/button.h"
#include "console/gfx_shape.h"
#include "console/mem.h"
#include "console/run.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/config.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/compose.h"
#include "shell/keyconfig.h"

paused_menu_entry paused_menu_item[PAUSE_MENU_ITEMS];

namespace {

constexpr int RES_SPINNER = 212;
constexpr int RES_POINTER = 245;
constexpr int RES_HEART = 188;

int emergency_frames;  // frames the pause key has been held
int emergency_down_ms; // when it went down

bool is_cart_item(int code) {
    return code >= PAUSE_CART_ITEM && code < PAUSE_CART_ITEM + Z6_CART_ITEMS;
}

void block_escape() { block_vullkey[SDL_SCANCODE_ESCAPE] = 1; }

void open_page(int state) {
    app.paused_menu_state = state;
    app.paused_menu_selected = 0;
    build_paused_menu();
}

// Clears and blocks player 0's buttons from..to.
void block_player0(int from, int to) {
    int first = first_button_delay();
    for (int b = from; b <= to; b++) {
        pstate.button_held[0][b] = 0;
        zbtn.blocked[0][b] = 1;
        zbtn.countdown[0][b] = first;
    }
}

void choose_cart_item(int code, int request) {
    app.cart_item_chosen = 1;
    pstate.cart_item_request[code - PAUSE_CART_ITEM] = uint8_t(request);
    close_paused_menu();
}

} // namespace

void add_paused_menu_item(const char *label, int code) {
    if (app.paused_menu_items < 0 || app.paused_menu_items >= PAUSE_MENU_ITEMS) return;
    paused_menu_entry &e = paused_menu_item[app.paused_menu_items++];
    std::memset(e.label, 0, sizeof e.label);
    std::snprintf(e.label, PAUSE_LABEL_MAX + 1, "%s", label ? label : "");
    e.code = code;
}

void build_paused_menu() {
    app.paused_menu_items = 0;
    if (app.paused_menu_state == PAUSE_OPTIONS) {
        add_paused_menu_item(cconfig.sound_volume ? "sound:on" : "sound:off", PAUSE_SOUND);
        add_paused_menu_item(vull_get_windowed() ? "fullscreen:off" : "fullscreen:on",
                             PAUSE_FULLSCREEN);
        add_paused_menu_item("controls", PAUSE_CONTROLS_PAGE);
        add_paused_menu_item("back", PAUSE_BACK);
        return;
    }
    add_paused_menu_item("continue", PAUSE_CONTINUE);
    for (int i = 0; i < Z6_CART_ITEMS; i++)
        if (pstate.cart_menu_label[i][0])
            add_paused_menu_item(pstate.cart_menu_label[i], PAUSE_CART_ITEM + i);
    add_paused_menu_item("options", PAUSE_OPTIONS_PAGE);
    add_paused_menu_item("reset cart", PAUSE_RESET_CART);
    if (run_chain_count() > 0) add_paused_menu_item(get_run_chain_label(), PAUSE_RUN_CHAIN);
    add_paused_menu_item("quit", PAUSE_QUIT);
    if (app.run) add_paused_menu_item("shutdown", PAUSE_QUIT);
}

void toggle_sound_volume() {
    if (cconfig.sound_volume)
        cconfig.sound_volume = 0;
    else
        cconfig.sound_volume = app.volume ? app.volume : 256;
}

void close_paused_menu() {
    app.paused_menu_state = PAUSE_CLOSED;
    pstate.typed_key_count = 0;
}

void update_paused_menu() {
    if (app.update_available) {
        app.paused_menu_state = PAUSE_MAIN;
        app.paused_menu_items = 0;
        app.update_available = 0;
        add_paused_menu_item("update cart", PAUSE_UPDATE_CART);
        add_paused_menu_item("skip", PAUSE_CONTINUE);
        app.paused_menu_selected = 0;
        block_escape();
        block_buttons();
    }
    if (pstate.button_held[0][6] && pstate.cart_code_running &&
        app.paused_menu_state == PAUSE_CLOSED) {
        // A cart that writes 1 to 0x5f30 refuses one pause.
        if (pstate.console_ram[0x5f30] == 1)
            zibo6_poke(&pstate, pstate.memory_cart, 0x5f30, 0);
        else
            open_page(PAUSE_MAIN);
        block_escape();
        block_buttons();
    }
}

void paused_menu_action(int code) {
    if (is_cart_item(code)) {
        choose_cart_item(code, 112);
        block_buttons();
        return;
    }
    switch (code) {
    case PAUSE_CONTINUE: close_paused_menu(); break;
    case PAUSE_RESET_CART:
        close_paused_menu();
        pstate.reset_glitch_counter = 1;
        break;
    case PAUSE_FAVOURITE: break; // favourites belong to the board client, absent here
    case PAUSE_SUSPEND:
        pstate.pending_action = 2;
        close_paused_menu();
        break;
    case PAUSE_STOP:
        close_paused_menu();
        suspend_program();
        pstate.sub_mode = 0;
        update_sdl_window_title(vull_state.app_title);
        pstate.machine_mode = 0;
        zibo6_poke(&pstate, pstate.memory_cart, 0x5f25, 6);
        break;
    case PAUSE_RUN_CHAIN: follow_current_breadcrumb(); break;
    case PAUSE_QUIT: vull_quit = 1; break;
    case PAUSE_UPDATE_CART: break;
    case PAUSE_OPTIONS_PAGE: open_page(PAUSE_OPTIONS); break;
    case PAUSE_SOUND:
        toggle_sound_volume();
        build_paused_menu();
        break;
    case PAUSE_FULLSCREEN:
        vull_toggle_fullscreen();
        build_paused_menu();
        break;
    case PAUSE_BACK: open_page(PAUSE_MAIN); break;
    case PAUSE_KEY_CONFIG:
        app.paused_menu_state = PAUSE_KEYCONFIG;
        keyconfig_init();
        block_buttons();
        break;
    case PAUSE_CONTROLS_PAGE: app.paused_menu_state = PAUSE_CONTROLS; break;
    default: break;
    }
    if (code == PAUSE_CONTINUE || code == PAUSE_RESET_CART || code == PAUSE_SUSPEND) {
        pstate.typed_key_count = 0;
        block_buttons();
    }
}

void process_paused_keypresses() {
    int n = app.paused_menu_items;
    if (n <= 0) return;
    int &sel = app.paused_menu_selected;
    if (button_pressed(2, 0)) sel = (sel + n - 1) % n;
    if (button_pressed(3, 0)) sel = (sel + 1) % n;
    if (sel < 0 || sel >= n) sel = 0;
    int code = paused_menu_item[sel].code;
    bool left = button_pressed(0, 0), right = button_pressed(1, 0);
    if (is_cart_item(code) && (left || right)) {
        choose_cart_item(code, left ? 1 : 2);
        block_player0(0, 1);
    } else if (button_pressed(4, 0) || button_pressed(5, 0) || button_pressed(6, 0)) {
        block_player0(4, 6);
        paused_menu_action(code);
    }
    if (app.paused_menu_state == PAUSE_CLOSED) block_buttons();
}

void update_emergency_paused_menu() {
    bool down = player_key(6, 0) || player_button(6, 0) >= 129;
    if (!down) {
        emergency_frames = 0;
        return;
    }
    int now = vull_get_time();
    if (emergency_frames++ == 0) emergency_down_ms = now;
    if (emergency_frames > 5 && vull_ms_between(emergency_down_ms, now) > 500 &&
        !app.paused_menu_state) {
        open_page(PAUSE_MAIN);
        block_buttons();
        block_escape();
    }
}

void draw_paused_menu(vull_bitmap *page) {
    if (app.paused_menu_state == PAUSE_KEYCONFIG) {
        keyconfig_draw(page);
        return;
    }
    if (app.paused_menu_state == PAUSE_CONTROLS) {
        draw_paused_controls_menu(page);
        return;
    }
    int n = app.paused_menu_items;
    if (n <= 0) return;
    int u = paused_menu_item[0].code == PAUSE_UPDATE_CART ? 22 : 0;
    int h = 4 * n + 4;
    draw_tinted_rect_adaptive(page, 23, 63 + u - h, 104, 64 + u + h, 1);
    vull_rect(page, 24, 64 + u - h, 103, 63 + u + h, 7);
    if (u) {
        draw_tinted_rect_adaptive(page, 10, 25, 118, 55, 1);
        vull_rect(page, 11, 26, 117, 54, 7);
        draw_console_text(page, "a new version of this", 22, 34, 7);
        draw_console_text(page, "cartridge is available", 20, 42, 7);
        double c = std::cos(vull_get_time() / 1000.0 * 50);
        int frame = int((c + 1) * 4.99);
        draw_resource_picture(page, RES_SPINNER + frame, 63 + int(c * 2), 59);
        draw_resource_picture(page, RES_SPINNER + 9 - frame, 56 - int(c * 2), 59);
    }
    for (int i = 0; i < n; i++) {
        int y = 70 + u - h + 8 * i;
        bool selected = i == app.paused_menu_selected;
        draw_console_text(page, paused_menu_item[i].label, selected ? 35 : 34, y, 7);
        if (selected) draw_resource_picture(page, RES_POINTER, 25, y - 1);
        if (paused_menu_item[i].code == PAUSE_FAVOURITE) {
            // Favourites are not kept in this player: the heart shows as not chosen.
            vull_bitmap *heart = resource_picture(RES_HEART);
            uint8_t map[256];
            for (int c = 0; c < 256; c++) map[c] = uint8_t(c == 7 ? 13 : c);
            if (heart && heart->bpp == 8)
                vull_draw_sprite_pal(heart, page, 0, 0, 74, y - 1, heart->width, heart->height,
                                     map);
        }
    }
}
