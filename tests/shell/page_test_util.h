// A console for the screen tests of the shell: data.pod as the build made it
// (font, palette, resource pictures), the display surfaces, the screen bitmap
// and a back page; and the golden-picture comparison of a back page.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "console/button.h"
#include "console/display.h"
#include "console/mem.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/pod.h"
#include "platform/video.h"
#include "shell/compose.h"
#include "shell/zibo6.h"

namespace z6page {

inline std::string env_path(const char *var, const char *rest) {
    const char *dir = std::getenv(var);
    return std::string(dir ? dir : ".") + rest;
}

struct Page {
    vull_bitmap *page = nullptr;
    vull_bitmap *saved_back_page = vull_back_page;

    explicit Page(int w = 128, int h = 128) {
        std::string path = env_path("ZIBO6_BINARY_DIR", "/data.pod");
        vull_file *f = vull_fopen(path.c_str(), "rb");
        cpod *pod = f ? vull_load_pod_file("", f) : nullptr;
        if (f) vull_fclose(f);
        EXPECT_TRUE(open_data_file(pod)) << "data.pod was not built: " << path;
        std::memset(pstate.console_ram, 0, sizeof pstate.console_ram);
        pstate.draw_state = {};
        pstate.memory_cart = vull_create_zibo6_cart();
        for (vull_bitmap *&d : pstate.display) d = vull_create_bitmap(128, 128, 8);
        pstate.screen = vull_create_bitmap(128, 128, 8);
        pstate.current_display = 0;
        pstate.draw_surface = pstate.display[0];
        zibo6_poke(&pstate, pstate.memory_cart, 0x5f36, 0); // registers to their defaults
        for (int i = 0; i < 16; i++) {
            zibo6_poke(&pstate, pstate.memory_cart, 0x5f00 + i, i);
            zibo6_poke(&pstate, pstate.memory_cart, 0x5f10 + i, i);
        }
        page = vull_create_bitmap(w, h, 8);
        vull_back_page = page;
        pstate.machine_mode = 1;
        pstate.cart_code_running = 1;
        pstate.pending_action = 0;
        app.paused_menu_state = 0;
        app.cart_item_chosen = 0;
        app.message_end = 0;
        app.tv_frame = 0;
        clear_extpal_glitch();
    }
    ~Page() {
        vull_back_page = saved_back_page;
        vull_destroy_bitmap(page);
        vull_destroy_bitmap(pstate.screen);
        pstate.screen = nullptr;
        for (vull_bitmap *&d : pstate.display) {
            vull_destroy_bitmap(d);
            d = nullptr;
        }
        pstate.draw_surface = nullptr;
        vull_destroy_zibo6_cart(pstate.memory_cart);
        pstate.memory_cart = nullptr;
        pstate.machine_mode = 0;
        pstate.cart_code_running = 0;
        app.paused_menu_state = 0;
        app.tv_frame = 0;
        compose_exit();
        close_data_file();
    }
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;

    vull_palette_rec *palette() const {
        return static_cast<vull_palette_rec *>(
            cpod_get_item(pstate.resource_pod, RES_PALETTE, CPOD_PALETTE));
    }

    // An asymmetric test picture on display 0: quadrants of four colours and
    // a diagonal, so every turn and mirror shows.
    static void draw_quadrants() {
        vull_bitmap *d = pstate.display[0];
        vull_rectfill(d, 0, 0, 63, 63, 8);
        vull_rectfill(d, 64, 0, 127, 63, 11);
        vull_rectfill(d, 0, 64, 63, 127, 12);
        vull_rectfill(d, 64, 64, 127, 127, 1);
        for (int i = 0; i < 40; i++) vull_putpixel(d, 4 + i, 4 + i / 2, 7);
        vull_rectfill(d, 2, 50, 20, 58, 10);
    }

    // Compares the page, through the data file's palette, with
    // tests/shell/pages/NAME.png; a difference writes NAME.actual.png beside it.
    ::testing::AssertionResult matches(const char *name) const {
        std::string stored = env_path("ZIBO6_SOURCE_DIR", "/tests/shell/pages/") + name;
        vull_palette_rec *pal = palette();
        if (!pal) return ::testing::AssertionFailure() << "no palette";
        vull_bitmap *want = vull_load_png((stored + ".png").c_str());
        bool same = want && want->width == page->width && want->height == page->height;
        for (int y = 0; same && y < page->height; y++)
            for (int x = 0; same && x < page->width; x++) {
                uint32_t px;
                std::memcpy(&px, want->rows[y] + 4 * x, 4);
                same = (px & 0xffffff) == (vull_palette_colour(pal, page->rows[y][x]) & 0xffffff);
            }
        vull_destroy_bitmap(want);
        if (same) return ::testing::AssertionSuccess();
        vull_palette_rec *saved = vull_palette;
        vull_palette = pal;
        vull_save_png((stored + ".actual.png").c_str(), page);
        vull_palette = saved;
        return ::testing::AssertionFailure()
               << "back page differs from " << stored << ".png; see " << stored << ".actual.png";
    }
};

} // namespace z6page
