// One fuzz input for the text printer: byte 0 picks the print flags and the
// attribute register, the rest is the text. The text is printed into a fresh
// console and continued frame by frame until it ends (or a bound of frames).
// Shared by the libFuzzer target and the corpus replay test.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cart/cart.h"
#include "console/gfx_print.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/gfx.h"

inline void print_fuzz_input(const uint8_t *data, size_t size) {
    if (size < 1 || size > 65536) return;
    vull_bitmap *screen = vull_create_bitmap(128, 128, 8);
    zibo6_cart *cart = vull_create_zibo6_cart();
    vull_bitmap *saved_surface = pstate.draw_surface, *saved_display = pstate.display[0];
    zibo6_cart *saved_cart = pstate.memory_cart;
    pstate.draw_surface = pstate.display[0] = screen;
    pstate.memory_cart = cart;
    std::memset(pstate.console_ram, 0, sizeof pstate.console_ram);
    draw_state_rec &d = pstate.draw_state;
    d = draw_state_rec{};
    for (int i = 0; i < 16; i++) d.draw_pal[i] = i;
    d.clip_x1 = d.clip_y1 = 128;
    d.bitplane_mask_low = d.bitplane_mask_high = 15;
    pstate.console_ram[0x5f58] = data[0] & 0xc0 ? data[0] : 0;
    int flags = (data[0] & 1 ? 16 : 0) | (data[0] & 2 ? 32 : 0);
    zibo6_print_text(screen, reinterpret_cast<const char *>(data + 1), int(size - 1), flags, 7);
    for (int frame = 0; frame < 4096 && continue_print_text(); frame++) {}
    destroy_print_buffer();
    print_take_error();
    pstate.draw_surface = saved_surface;
    pstate.display[0] = saved_display;
    pstate.memory_cart = saved_cart;
    vull_destroy_zibo6_cart(cart);
    vull_destroy_bitmap(screen);
}
