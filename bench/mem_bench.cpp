// Console memory benchmark (built with -DZIBO6_BENCH=ON): the block copies
// and fills carts run every frame. A whole-screen memcpy or memset (8 KB,
// fast paths) should stay below 20 microseconds; the byte path over the sound
// memory shows the cost of the per-byte translation for comparison.
#include <benchmark/benchmark.h>

#include "cart/cart.h"
#include "console/mem.h"
#include "cart/state.h"
#include "engine/gfx.h"

namespace {

struct Machine {
    Machine() {
        pstate.memory_cart = vull_create_zibo6_cart();
        pstate.display[0] = vull_create_bitmap(128, 128, 8);
        pstate.draw_surface = pstate.display[0];
    }
    ~Machine() {
        vull_destroy_zibo6_cart(pstate.memory_cart);
        vull_destroy_bitmap(pstate.display[0]);
        pstate.memory_cart = nullptr;
        pstate.display[0] = pstate.draw_surface = nullptr;
    }
};

void BM_MemcpySheetToScreen(benchmark::State &state) {
    Machine m;
    for (auto _ : state) zibo6_memcpy(&pstate, pstate.memory_cart, 0x6000, 0x0000, 0x2000);
}
BENCHMARK(BM_MemcpySheetToScreen);

void BM_MemcpyScreenScroll(benchmark::State &state) {
    Machine m;
    for (auto _ : state) zibo6_memcpy(&pstate, pstate.memory_cart, 0x6040, 0x6000, 0x1fc0);
}
BENCHMARK(BM_MemcpyScreenScroll);

void BM_MemsetScreen(benchmark::State &state) {
    Machine m;
    for (auto _ : state) zibo6_memset(&pstate, pstate.memory_cart, 0x6000, 0x11, 0x2000);
}
BENCHMARK(BM_MemsetScreen);

void BM_MemcpySoundBytewise(benchmark::State &state) {
    Machine m;
    for (auto _ : state) zibo6_memcpy(&pstate, pstate.memory_cart, 0x4300, 0x3100, 0x1200);
}
BENCHMARK(BM_MemcpySoundBytewise);

} // namespace
