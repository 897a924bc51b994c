// External commands (extcmd) and the stubs of the services this program does
// not offer (board login, score submission, radio, import and export).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cart/capture.h"
#include "cart/cart.h"
#include "cart/disk.h"
#include "console/api.h"
#include "console/display.h"
#include "console/hooks.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "vm/lcpu.h"

// A cart with a board id may not retitle the window or open folders while it runs.
static bool cart_may_touch_host() {
    return pstate.running_cart_lid[0] == '\0' || !pstate.cart_code_running;
}

// A failed write: a headless run draws no status line, so it goes to stderr as well.
static void report_failure(const char *text) {
    shell_hooks.show_message(text, 1500);
    if (pstate.headless) std::fprintf(stderr, "%s\n", text);
}

// The status-line texts of a capture.
static void report_screenshot(int failed, int to_output) {
    if (failed)
        report_failure("** could not save screenshot");
    else
        shell_hooks.show_message(to_output ? "saved image" : "saved screenshot to desktop", 1500);
}

static void report_gif(int result, int to_output) {
    char text[64];
    if (result == 9) {
        shell_hooks.show_message("no video recorded (0 frames)", 1500);
    } else if (result > 0) {
        report_failure("** could not save gif");
    } else {
        int seconds = get_current_gif_len();
        std::snprintf(text, sizeof text,
                      to_output ? "saved %d second gif" : "saved %d second gif to desktop",
                      seconds);
        shell_hooks.show_message(text, 1500);
    }
}

// A cart may try at most one screenshot and one GIF a second of its time: a cart asking
// every frame would otherwise spend the frames encoding and fill the folder with files.
// A try whose write fails counts too, or a full disk would cost an encoding every frame.
static bool capture_allowed(capture_allowance &a, const char *cmd, const char *what) {
    int64_t frames = std::clamp(pstate.fps, 30, 60); // a second of cart time
    int64_t since = int64_t(pstate.frame) - a.last_frame;
    // since < 0: the counter started again
    if (!a.attempted || since < 0 || since >= frames) return true;
    if (!a.refusal_logged)
        vull_debugf("extcmd(\"%s\"): not saved: at most one %s a second of cart time\n", cmd,
                    what);
    a.refusal_logged = 1;
    return false;
}

static void capture_attempted(capture_allowance &a) {
    a = {1, pstate.frame, 0};
}

bool take_reset_request() {
    if (pstate.reset_glitch_counter > 0) return false;
    int now = vull_get_time();
    if (app.last_quick_reload && vull_ms_between(app.last_quick_reload, now) <= 500) return false;
    app.last_quick_reload = now ? now : 1; // 0 means none yet
    return true;
}

int z6_extcmd(lua_State *L) {
    if (lua_gettop(L) < 1 || (lua_type(L, 1) != LUA_TSTRING && lua_type(L, 1) != LUA_TNUMBER))
        return 0;
    std::string cmd = lua_tostring(L, 1);
    int a = z6_arg_int(L, 2), b = z6_arg_int(L, 3);
    bool a_text = lua_type(L, 2) == LUA_TSTRING || lua_type(L, 2) == LUA_TNUMBER;
    if (cmd == "label") {
        shell_hooks.blit_zibo6_back_page_to_zibo6_screen(pstate.current_display);
        set_cart_label(pstate.screen);
        shell_hooks.show_message("saved label", 1500);
    } else if (cmd == "screen") {
        shell_hooks.blit_zibo6_back_page_to_zibo6_screen(pstate.current_display);
        if (capture_allowed(app.cart_screenshots, "screen", "screenshot")) {
            capture_attempted(app.cart_screenshots);
            report_screenshot(save_png_screenshot(pstate.screen, a, b), b);
        }
    } else if (cmd == "rec") {
        reset_video();
    } else if (cmd == "rec_frames") {
        reset_video();
        app.rec_frames = 1;
    } else if (cmd == "video") {
        app.rec_frames = 0;
        shell_hooks.blit_zibo6_back_page_to_zibo6_screen(pstate.current_display);
        if (capture_allowed(app.cart_gifs, "video", "gif")) {
            int result = save_gif(a, b);
            // 9: nothing recorded, so nothing was encoded and the allowance is kept
            if (result != 9) capture_attempted(app.cart_gifs);
            report_gif(result, b);
        }
    } else if (cmd == "folder") {
        if (cart_may_touch_host()) {
            char path[Z6_PATH_LEN];
            prefix_with_file_output_path("", path, sizeof path);
            vull_launch_html(path);
        }
    } else if (cmd == "pause" || cmd == "controls") {
        // Headless, nothing could close the menu: the run would never end.
        if (pstate.headless) return 0;
        app.paused_menu_state = cmd == "pause" ? 1 : 3;
        shell_hooks.build_paused_menu();
        if (cmd == "controls" || a == 0) app.paused_menu_selected = 0;
    } else if (cmd == "reset") {
        if (take_reset_request()) pstate.reset_glitch_counter = 1;
    } else if (cmd == "breadcrumb" || cmd == "go_back") {
        if (run_chain_count() > 0) {
            follow_current_breadcrumb();
            lua_cpu_superyield();
        }
    } else if (cmd == "shutdown") {
        vull_quit = 1;
    } else if (cmd == "set_title") {
        if (cart_may_touch_host() && a_text) {
            // the engine keeps a short title: never hand it more than it holds
            char title[VULL_TITLE_LEN];
            std::snprintf(title, sizeof title, "%s", lua_tostring(L, 2));
            vull_set_window_title(title);
        }
    } else if (cmd == "set_filename") {
        app.output_file_name[0] = '\0';
        if (a_text) {
            std::snprintf(app.output_file_name, sizeof app.output_file_name, "%s",
                          lua_tostring(L, 2));
            if (char *dot = std::strchr(app.output_file_name, '.')) *dot = '\0';
        }
    } else {
        char text[96];
        std::snprintf(text, sizeof text, "unknown extcmd:%.60s", cmd.c_str());
        shell_hooks.show_message(text, 2000);
    }
    return 0;
}

/* ---- services this program does not offer ---- */

int z6_login(lua_State *L) {
    zibo_print("login unavailable.");
    zibo_print("please update zibo-6!");
    lua_pushnil(L);
    return 1;
}

int z6_logout(lua_State *L) {
    lua_pushnil(L);
    return 1;
}

int z6_radio(lua_State *L) {
    lua_pushnil(L);
    lua_pushnumber(L, 0);
    return 2;
}

int z6_export(lua_State *) { return 0; }
int z6_import(lua_State *) { return 0; }
int z6_set_draw_slice(lua_State *) { return 0; }

// Each notice is shown once in the program's life.
static bool bbsreq_noticed = false, scoresub_noticed = false;

int z6_bbsreq(lua_State *L) {
    if (!bbsreq_noticed) shell_hooks.show_message("can not connect to bbsreq host", 2000);
    bbsreq_noticed = true;
    lua_pushnil(L);
    return 1;
}

int z6_scoresub(lua_State *L) {
    if (!scoresub_noticed) shell_hooks.show_message("high scores not implemented yet!", 2000);
    scoresub_noticed = true;
    lua_pushnil(L);
    lua_pushnumber(L, 0);
    return 2;
}
