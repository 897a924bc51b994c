// Drawing speed: full-screen spans by the word path and by the pixel path
// (a transparent pattern), narrow column fills, sprites, filled circles and
// a screen of text, each on a 128 x 128 draw surface.
#include <benchmark/benchmark.h>

#include <cstring>

#include "cart/cart.h"
#include "console/gfx_pixel.h"
#include "console/gfx_print.h"
#include "console/gfx_shape.h"
#include "console/gfx_sprite.h"

namespace {

struct console_setup {
    vull_bitmap *screen = vull_create_bitmap(128, 128, 8);
    console_setup() {
        pstate.draw_surface = screen;
        pstate.memory_cart = vull_create_zibo6_cart();
        draw_state_rec &d = pstate.draw_state;
        for (int i = 0; i < 16; i++) d.draw_pal[i] = i ? i : 16;
        d.bitplane_mask_low = d.bitplane_mask_high = 15;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) pstate.memory_cart->sprites->rows[y][x] = (x ^ y) & 15;
    }
    ~console_setup() {
        vull_destroy_zibo6_cart(pstate.memory_cart);
        pstate.memory_cart = nullptr;
        pstate.draw_surface = nullptr;
        vull_destroy_bitmap(screen);
    }
};

void BM_RectfillWords(benchmark::State &state) {
    console_setup c;
    pstate.draw_state.fill_pattern = int32_t(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(draw_rectfill(c.screen, 0, 0, 127, 127, 0x7c));
    state.SetItemsProcessed(state.iterations() * 128 * 128);
}
BENCHMARK(BM_RectfillWords)->Arg(0)->Arg(0x5a5a)->Arg(0x15a5a);

void BM_RectfillMasked(benchmark::State &state) {
    console_setup c;
    pstate.draw_state.bitplane_mask_low = 7;
    for (auto _ : state) benchmark::DoNotOptimize(draw_rectfill(c.screen, 0, 0, 127, 127, 0x7c));
    state.SetItemsProcessed(state.iterations() * 128 * 128);
}
BENCHMARK(BM_RectfillMasked);

void BM_Columns(benchmark::State &state) {
    console_setup c;
    for (auto _ : state)
        for (int x = 0; x < 8; x++) benchmark::DoNotOptimize(draw_vline(c.screen, x, 0, 127, 9));
    state.SetItemsProcessed(state.iterations() * 8 * 128);
}
BENCHMARK(BM_Columns);

void BM_Sprites(benchmark::State &state) {
    console_setup c;
    for (auto _ : state)
        for (int i = 0; i < 256; i++)
            gfx_spr(c.screen, i, (i & 15) * 8, (i >> 4) * 8, 8, 8, i & 1, 0);
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_Sprites);

void BM_Circfill(benchmark::State &state) {
    console_setup c;
    for (auto _ : state) benchmark::DoNotOptimize(draw_filloval(c.screen, 4, 4, 123, 123, 8));
}
BENCHMARK(BM_Circfill);

void BM_PrintScreen(benchmark::State &state) {
    console_setup c;
    char text[33 * 21];
    std::memset(text, 'w', sizeof text);
    for (int i = 32; i < int(sizeof text); i += 33) text[i] = '\n';
    for (auto _ : state) {
        pstate.draw_state.cursor_x = pstate.draw_state.cursor_y = 0;
        zibo6_print_text(c.screen, text, int(sizeof text), 0, 7);
    }
}
BENCHMARK(BM_PrintScreen);

} // namespace
