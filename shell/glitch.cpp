// The reset glitch's one-time corruption of console memory: random pokes into
// the sprite sheet, map, palettes and sound registers, and random copies and
// fills, all through the memory map as a cart's own writes would go.
#include "console/mem.h"
#include "cart/state.h"
#include "engine/vmath.h"
#include "shell/zibo6.h"

namespace {

// One byte of console memory; a glitch write never raises (errors are off while it runs).
void poke(int address, int value) {
    zibo6_poke(&pstate, pstate.memory_cart, address & 0xffff, value & 0xff);
}

int rnd(int n) { return int(vull_random(uint32_t(n))); }

} // namespace

void glitch_memory() {
    int keep = zibo6_peek(&pstate, pstate.memory_cart, 0x5f2e);
    if (rnd(8) == 0) pstate.draw_state.screen_mode = rnd(4);
    for (int i = 0; i < 4; i++) poke(0x5f40, rnd(256));
    if (rnd(4) == 0) poke(0x5f5e, rnd(16) | 0xf0);
    rnd(3);
    rnd(10);
    int n = app.glitch_test ? 20 * app.glitch_screenshots : 40;
    for (int i = 0; i < n; i++) poke(rnd(0x3000), rnd(256));
    for (int i = 0; i < 2; i++) poke(0x5f00 + rnd(32), rnd(140));
    if (rnd(4) == 0)
        for (int a = 0x5f31; a <= 0x5f33; a++) poke(a, rnd(256));
    if (rnd(4) == 0)
        for (int a = 0x5f58; a <= 0x5f5b; a++) poke(a, rnd(256));
    int rounds = app.glitch_test ? app.glitch_screenshots : 2;
    for (int r = 0; r < rounds; r++) {
        int len = rnd(0x400);
        int dest = 0x400 + rnd(0x2800);
        int src = dest + rnd(0x800) - rnd(0x800);
        zibo6_memcpy(&pstate, pstate.memory_cart, dest, src & 0xffff, len);
        len = rnd(0x400);
        dest = rnd(0x2c00);
        zibo6_memcpy(&pstate, pstate.memory_cart, dest, rnd(0x2c00), len);
    }
    for (int r = 0; r < rounds; r++) {
        int len = rnd(0x200);
        zibo6_memset(&pstate, pstate.memory_cart, rnd(0x2e00), rnd(256), len);
    }
    poke(0x5f2e, keep);
}
