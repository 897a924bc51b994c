// The per-host-frame draw: the stopped bar or the key configuration screen
// on display 0, the converted picture on the back page, then the pause menu,
// spinners, the message, the palette glitch, the TV frame, further displays
// and the overlays.
#include <cstring>

#include "console/display.h"
#include "console/run.h"
#include "shell/zibo6.h"
#include "cart/state.h"
#include "engine/gfx.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/compose.h"
#include "shell/keyconfig.h"
#include "shell/pause.h"

namespace {

constexpr int SCREEN = 128;
constexpr int RES_SPINNER = 212;  // 12 frames
constexpr int RES_DOWNLOAD = 229; // 16 frames

bool cart_running() { return pstate.machine_mode == 1 && pstate.cart_code_running; }

void copy_screen_to(vull_bitmap *dst, int x, int y) {
    vull_blit(pstate.screen, dst, 0, 0, x, y, SCREEN, SCREEN);
}

void draw_spinner(vull_bitmap *page) {
    bool failed = app.message_end && std::strcmp(app.message_text, "download failed") == 0;
    int step = pstate.idle_frame / 2;
    if (app.download_state != 1 && !failed)
        draw_resource_picture(page, RES_SPINNER + step % 12, 3, 3);
    else
        draw_resource_picture(page, RES_DOWNLOAD + (step & 15), 3, 3);
}

// Cells 1-3 of a back page holding several 128x128 displays.
void draw_extra_displays(vull_bitmap *page) {
    int cols = page->width / SCREEN, rows = page->height / SCREEN;
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < cols; c++) {
            int d = r * cols + c;
            if (d < 1 || d >= Z6_DISPLAYS) continue;
            blit_zibo6_back_page_to_zibo6_screen(d);
            copy_screen_to(page, c * SCREEN, r * SCREEN);
        }
    }
}

void single_display() {
    if (pstate.current_display != 0) set_draw_display(0);
    // Only drawing on them dirties the other displays: clear them once, not every frame.
    if (pstate.extra_displays_clear) return;
    for (int d = 1; d < Z6_DISPLAYS; d++)
        if (pstate.display[d]) vull_clear_bitmap(pstate.display[d]);
    pstate.extra_displays_clear = 1;
}

} // namespace

void vull_main_draw() {
    app.hover_text[0] = 0;
    int start = vull_get_time();
    vull_bitmap *page = vull_back_page;
    // While an action waits, the previous picture is presented again.
    if (pstate.pending_action || !page || !pstate.screen) return;
    // The screen copied below overwrites a page of its own size whole, so
    // that page needs no clearing first.
    const vull_bitmap *s = pstate.screen;
    bool covered = page->rows && s->rows && page->width == SCREEN && page->height == SCREEN &&
                   page->bpp == s->bpp && s->width >= SCREEN && s->height >= SCREEN &&
                   page->clip_x0 <= 0 && page->clip_y0 <= 0 && page->clip_x1 >= SCREEN &&
                   page->clip_y1 >= SCREEN;
    if (!covered) vull_clear_bitmap(page);

    vull_bitmap *d0 = pstate.display[0];
    if (d0 && pstate.machine_mode == 0) {
        // The shell's own screens ignore the clip a stopped cart left behind.
        vull_save_clip(d0);
        vull_reset_clip(d0);
        if (pstate.sub_mode == 1) {
            keyconfig_draw(d0);
        } else if (!pstate.sub_mode) {
            vull_rectfill(d0, 0, 121, 127, 127, 6);
            vull_hline(d0, 0, 127, 120, 0);
            draw_console_text(d0, " stopped. press button to exit", 1, 122, 1);
        }
        vull_restore_clip(d0);
    }

    if (app.download_state == 1 && !pstate.cart_code_running && pstate.machine_mode == 1) {
        if (d0) vull_blit(d0, pstate.screen, 0, 0, 0, 0, SCREEN, SCREEN);
    } else if (pstate.load_transition_frames <= 0 && !app.cart_item_chosen &&
               !pstate.holdframe_flag) {
        blit_zibo6_back_page_to_zibo6_screen(0);
    }
    copy_screen_to(page, 0, 0);

    if (app.paused_menu_state || app.cart_item_chosen) draw_paused_menu(page);

    if (cart_running() &&
        (pstate.load_transition_frames >= 1 || pstate.file_access_cooldown >= 141))
        draw_spinner(page);

    int now = vull_get_time();
    draw_message_bar(page, now);
    zrun.last_draw_ms = vull_ms_between(start, now);

    draw_extpal_glitch_if_running(page);
    if (app.tv_frame) draw_tv_frame(page);

    if (!pstate.running_cart_lid[0] && cart_running() && !app.tv_frame &&
        (pstate.console_ram[0x5f36] & 1))
        draw_extra_displays(page);
    else
        single_display();

    if (app.overlay) draw_resource_data(page);
    if (!app.paused_menu_state) draw_cpu_spinner(page);
}
