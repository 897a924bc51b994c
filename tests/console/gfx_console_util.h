// A console with a 128x128 draw surface, a memory cart and the draw state's
// power-on values, for the drawing tests.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "cart/cart.h"
#include "console/gfx_pixel.h"
#include "console/gfx_print.h"
#include "tests/engine/gfx_test_util.h"

namespace gfxconsole {

inline vull_bitmap *cart_sheet(zibo6_cart *c) { return c->sprites; }
inline vull_bitmap *cart_map(zibo6_cart *c) { return c->map; }
inline void cart_set_flags(zibo6_cart *c, int n, int v) { c->sprite_flags[n] = v; }

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        screen_ = gfxtest::make(128, 128, 8);
        saved_surface_ = pstate.draw_surface;
        saved_cart_ = pstate.memory_cart;
        pstate.draw_surface = screen_.get();
        pstate.memory_cart = vull_create_zibo6_cart();
        std::memset(pstate.console_ram, 0, sizeof pstate.console_ram);
        draw_state_rec &d = pstate.draw_state;
        d = draw_state_rec{};
        static constexpr uint8_t secondary[16] = {0x00, 0x01, 0x12, 0x13, 0x24, 0x15, 0xd6, 0x67,
                                                  0x48, 0x49, 0x9a, 0x3b, 0xdc, 0x5d, 0x8e, 0xef};
        for (int i = 0; i < 16; i++) {
            d.draw_pal[i] = i == 0 ? 16 : i;
            d.screen_pal[i] = i;
            d.secondary_pal[i] = secondary[i];
        }
        d.clip_x1 = d.clip_y1 = 128;
        d.pen_colour = 6;
        set_masks(15, 15);
        destroy_print_buffer();
    }
    void TearDown() override {
        destroy_print_buffer();
        vull_destroy_zibo6_cart(pstate.memory_cart);
        pstate.memory_cart = saved_cart_;
        pstate.draw_surface = saved_surface_;
    }

    vull_bitmap *surface() { return screen_.get(); }
    static void set_fill_pattern(uint32_t p) { pstate.draw_state.fill_pattern = int32_t(p); }
    static void set_masks(int read, int write) {
        pstate.draw_state.bitplane_mask_low = write;
        pstate.draw_state.bitplane_mask_high = read;
        pstate.draw_state.bitplane_mask = read << 4 | write;
    }
    static void fill(vull_bitmap *s, int c) {
        for (int y = 0; y < s->height; y++) std::memset(s->rows[y], c, size_t(s->width));
    }
    // Surface pixels that hold colour c.
    int count(int c) {
        int n = 0;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) n += surface()->rows[y][x] == c;
        return n;
    }

private:
    gfxtest::bitmap_ptr screen_;
    vull_bitmap *saved_surface_ = nullptr;
    zibo6_cart *saved_cart_ = nullptr;
};

} // namespace gfxconsole
