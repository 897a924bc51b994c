// The memory map as a cart sees it through peek and poke: each section's
// byte encoding over its working store, the registers, the upper-memory gate
// and the ROM view without the console state.
#include <gtest/gtest.h>

#include "cart/cart.h"
#include "console/gpio.h"
#include "console/mem.h"
#include "tests/console/console_test_util.h"
#include "vm/lauxlib.h"
#include "vm/llimits.h"
#include "vm/zmath.h"

using z6console::Console;
using z6console::run_in_script;

namespace {

void poke(int a, int v) { zibo6_poke(&pstate, pstate.memory_cart, a, v); }
int peek(int a) { return zibo6_peek(&pstate, pstate.memory_cart, a); }

} // namespace

TEST(MemMap, SectionTableMatchesTheMap) {
    EXPECT_EQ(mem_section[0x00], MEM_SPRITES);
    EXPECT_EQ(mem_section[0x1f], MEM_SPRITES);
    EXPECT_EQ(mem_section[0x20], MEM_MAP);
    EXPECT_EQ(mem_section[0x30], MEM_BYTEWISE);
    EXPECT_EQ(mem_section[0x42], MEM_BYTEWISE);
    EXPECT_EQ(mem_section[0x43], MEM_USER);
    EXPECT_EQ(mem_section[0x5d], MEM_USER);
    EXPECT_EQ(mem_section[0x5e], MEM_BYTEWISE);
    EXPECT_EQ(mem_section[0x5f], MEM_BYTEWISE);
    EXPECT_EQ(mem_section[0x60], MEM_SCREEN);
    EXPECT_EQ(mem_section[0x80], MEM_UPPER);
    EXPECT_EQ(mem_section[0xff], MEM_UPPER);
}

TEST(MemMap, SpriteSheetSharesItsLowerHalfWithTheMap) {
    Console c;
    poke(0x1234, 0xa7);
    EXPECT_EQ(peek(0x1234), 0xa7);
    EXPECT_EQ(c.cart()->sprites->rows[72][104], 7);
    EXPECT_EQ(c.cart()->sprites->rows[72][105], 10);
    EXPECT_EQ(c.cart()->map->rows[36][52], 0xa7);
    // the upper half has no map twin; map rows 0-31 live at 0x2000
    poke(0x0010, 0x21);
    EXPECT_EQ(c.cart()->map->rows[0][16], 0);
    poke(0x2085, 0x99);
    EXPECT_EQ(c.cart()->map->rows[1][5], 0x99);
    EXPECT_EQ(peek(0x2085), 0x99);
    // reading the shared half takes the sprite pixels, even when the map differs
    c.cart()->map->rows[36][52] = 0x11;
    EXPECT_EQ(peek(0x1234), 0xa7);
    // unmasked stored pixels read back as right * 16 + left, low 8 bits
    c.cart()->sprites->rows[0][0] = 0x13;
    c.cart()->sprites->rows[0][1] = 0x02;
    EXPECT_EQ(peek(0), 0x33);
}

TEST(MemMap, FlagsAndMusic) {
    Console c;
    poke(0x3005, 0x1ff);
    EXPECT_EQ(c.cart()->sprite_flags[5], 0xff);
    c.cart()->sprite_flags[6] = 0x1234;
    EXPECT_EQ(peek(0x3006), 0x34);

    c.cart()->music[0][0] = 5;
    c.cart()->pattern_flags[0] = 1;
    EXPECT_EQ(peek(0x3100), 0x85);
    poke(0x3100, 0xc0);
    EXPECT_EQ(c.cart()->music[0][0], 64); // silent channel
    EXPECT_EQ(c.cart()->pattern_flags[0], 1);
    poke(0x3106, 0x8a); // pattern 1, channel 2: stop flag
    EXPECT_EQ(c.cart()->music[1][2], 0x0a);
    EXPECT_EQ(c.cart()->pattern_flags[1], 4);
    poke(0x3106, 0x0a);
    EXPECT_EQ(c.cart()->pattern_flags[1], 0);
    EXPECT_EQ(peek(0x3107), 0x44); // untouched default channel word 0x44
}

TEST(MemMap, SfxNoteWordSplitsAcrossTwoBytes) {
    Console c;
    zibo6_note &n = c.cart()->sfx[0].note[0];
    poke(0x3201, 0x81); // high byte: waveform bit 2, custom flag
    EXPECT_EQ(n.instrument, 4);
    EXPECT_EQ(n.custom, 128);
    EXPECT_EQ(n.volume, 0);
    poke(0x3200, 0xff); // low byte: pitch 63, waveform bits 0-1
    EXPECT_EQ(n.pitch, 63);
    EXPECT_EQ(n.instrument, 7);
    EXPECT_EQ(peek(0x3200), 0xff);
    poke(0x3201, 0x7e); // volume 7, effect 7, waveform bit 2 clear, no custom
    EXPECT_EQ(n.instrument, 3);
    EXPECT_EQ(n.volume, 7);
    EXPECT_EQ(n.effect, 7);
    EXPECT_EQ(n.custom, 0);
    EXPECT_EQ(peek(0x3201), 0x7e);
    EXPECT_EQ(peek(0x3200), 0xff);
    // every byte value of both halves reads back as written
    for (int v = 0; v < 256; v++) {
        poke(0x3202, v);
        poke(0x3203, 255 - v);
        EXPECT_EQ(peek(0x3202), v);
        EXPECT_EQ(peek(0x3203), 255 - v);
    }
}

TEST(MemMap, SfxHeaderBytes) {
    Console c;
    zibo6_sfx &s = c.cart()->sfx[1];
    const int base = 0x3200 + 68;
    poke(base + 64, 0x37);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.filters, 0x36);
    EXPECT_EQ(peek(base + 64), 0x37);
    poke(base + 65, 200);
    poke(base + 66, 3);
    poke(base + 67, 9);
    EXPECT_EQ(s.speed, 200);
    EXPECT_EQ(s.loop_start, 3);
    EXPECT_EQ(s.loop_end, 9);
    s.speed = 0x1ff;
    EXPECT_EQ(peek(base + 65), 0xff);
    // the last byte of sfx 63 is 0x42ff; note 8 of sfx 60 is at 0x4200
    poke(0x42ff, 7);
    EXPECT_EQ(c.cart()->sfx[63].loop_end, 7);
    poke(0x4200, 12);
    EXPECT_EQ(c.cart()->sfx[60].note[8].pitch, 12);
}

TEST(MemMap, CameraAndLineBytesAreSigned16Bit) {
    Console c;
    poke(0x5f28, 0x10);
    poke(0x5f29, 0xff);
    EXPECT_EQ(pstate.draw_state.camera_x, -240);
    EXPECT_EQ(peek(0x5f28), 0x10);
    EXPECT_EQ(peek(0x5f29), 0xff);
    poke(0x5f28, 0x20); // the low byte keeps the sign
    EXPECT_EQ(pstate.draw_state.camera_x, -224);
    poke(0x5f2b, 0x01);
    poke(0x5f2a, 0x02);
    EXPECT_EQ(pstate.draw_state.camera_y, 258);
    poke(0x5f3d, 0x80);
    EXPECT_EQ(pstate.draw_state.line_x, -32768);
    poke(0x5f3e, 5);
    EXPECT_EQ(pstate.draw_state.line_y, 5);
    EXPECT_EQ(peek(0x5f3d), 0x80);
}

TEST(MemMap, RegistersDecodeAndReadBack) {
    Console c;
    poke(0x5f03, 0x13);
    EXPECT_EQ(pstate.draw_state.draw_pal[3], 0x13);
    EXPECT_EQ(peek(0x5f03), 0x13);
    poke(0x5f6f, 0xef);
    EXPECT_EQ(pstate.draw_state.secondary_pal[15], 0xef);
    poke(0x5f20, 4);
    poke(0x5f21, 5);
    poke(0x5f22, 100);
    poke(0x5f23, 200);
    vull_bitmap *s = pstate.draw_surface;
    EXPECT_EQ(s->clip_x0, 4);
    EXPECT_EQ(s->clip_y0, 5);
    EXPECT_EQ(s->clip_x1, 100);
    EXPECT_EQ(s->clip_y1, 128); // clamped to the surface, the register keeps 200
    EXPECT_EQ(peek(0x5f23), 200);
    poke(0x5f31, 0x34);
    poke(0x5f32, 0x12);
    poke(0x5f33, 0x05);
    EXPECT_EQ(pstate.draw_state.fill_pattern, 0x51234);
    EXPECT_EQ(peek(0x5f32), 0x12);
    poke(0x5f5e, 0xa5);
    EXPECT_EQ(pstate.draw_state.bitplane_mask_low, 5);
    EXPECT_EQ(pstate.draw_state.bitplane_mask_high, 0xa);
    EXPECT_EQ(peek(0x5f5e), 0xa5);
    // decoded but read from RAM, which holds the same byte
    poke(0x5f34, 1);
    EXPECT_EQ(pstate.draw_state.colour_pattern_mode, 1);
    EXPECT_EQ(peek(0x5f34), 1);
    // RAM-only registers
    poke(0x5f2e, 0x3f);
    EXPECT_EQ(peek(0x5f2e), 0x3f);
    poke(0x5f41, 0x77);
    EXPECT_EQ(pstate.draw_state.sound_reg[1], 0x77);
}

TEST(MemMap, RandomStateBytes) {
    Console c;
    set_rand_seed(0, 0x11223344);
    EXPECT_EQ(peek(0x5f44), 0x44);
    EXPECT_EQ(peek(0x5f47), 0x11);
    poke(0x5f45, 0xab);
    EXPECT_EQ(get_rand_seed(0), 0x1122ab44u);
    poke(0x5f4b, 0xcd);
    EXPECT_EQ(get_rand_seed(1) >> 24, 0xcdu);
}

TEST(MemMap, ButtonBytes) {
    Console c;
    poke(0x5f4d, 0xe5); // player 1: buttons 0 and 2, bits 6-7 kept in RAM
    EXPECT_EQ(pstate.button_held[1][0], 1);
    EXPECT_EQ(pstate.button_held[1][1], 0);
    EXPECT_EQ(pstate.button_held[1][2], 1);
    EXPECT_EQ(pstate.button_held[1][5], 1);
    EXPECT_EQ(peek(0x5f4d), 0xe5);
    pstate.button_held[4][3] = 1;
    EXPECT_EQ(peek(0x5f50), 0x08);
    poke(0x5f50, 0x3f); // players 4-7 are read only
    EXPECT_EQ(pstate.button_held[4][0], 0);
    EXPECT_EQ(peek(0x5f50), 0x08);
}

TEST(MemMap, CartDataIsDirtyOnlyOnChange) {
    Console c;
    poke(0x5e05, 0x12);
    EXPECT_EQ(pstate.cartdata_words[1], 0x1200u);
    EXPECT_EQ(pstate.cartdata_dirty, 1);
    pstate.cartdata_dirty = 0;
    poke(0x5e05, 0x12);
    EXPECT_EQ(pstate.cartdata_dirty, 0);
    EXPECT_EQ(peek(0x5e05), 0x12);
    EXPECT_EQ(peek(0x5e04), 0);
}

TEST(MemMap, ScreenAndGpio) {
    Console c;
    poke(0x6041, 0x3c);
    EXPECT_EQ(pstate.draw_surface->rows[1][2], 0xc);
    EXPECT_EQ(pstate.draw_surface->rows[1][3], 0x3);
    pstate.draw_surface->rows[1][2] = 0x1f; // masked on read
    EXPECT_EQ(peek(0x6041), 0x3f);
    poke(0x5f85, 0x99);
    EXPECT_EQ(gpio_read(5), 0x99);
    gpio_write(6, 0x42);
    EXPECT_EQ(peek(0x5f86), 0x42);
}

TEST(MemMap, UpperMemoryGate) {
    Console c;
    EXPECT_EQ(run_in_script([] { poke(0x8000, 1); }), "bad poke at 0x8000\n");
    EXPECT_EQ(run_in_script([] { poke(0x1fabc, 1); }), "bad poke at 0xfabc\n");
    EXPECT_EQ(pstate.console_ram[0x8000], 0);
    pstate.console_ram[0x9000] = 5;
    EXPECT_EQ(peek(0x9000), 0); // gated reads give 0, without an error
    c.gate(true);
    EXPECT_EQ(peek(0x9000), 5);
    EXPECT_EQ(run_in_script([] { poke(0x8000, 1); }), "");
    EXPECT_EQ(pstate.console_ram[0x8000], 1);
}

TEST(MemMap, ResetGlitchDropsWritesToUserDataAndCartData) {
    Console c;
    pstate.reset_glitch_counter = 2;
    poke(0x4300, 9);
    poke(0x5e00, 9);
    EXPECT_EQ(pstate.console_ram[0x4300], 0);
    EXPECT_EQ(pstate.cartdata_words[0], 0u);
    poke(0x4200, 12); // the sfx below still change
    EXPECT_EQ(c.cart()->sfx[60].note[8].pitch, 12);
    poke(0x5f25, 3); // and the registers above
    EXPECT_EQ(pstate.draw_state.pen_colour, 3);
    // memory errors are ignored while the glitch runs
    EXPECT_EQ(run_in_script([] { poke(0x8000, 1); }), "");
    pstate.reset_glitch_counter = 0;
}

TEST(MemMap, PeekOperatorsReadLittleEndianAndWrap) {
    Console c;
    pstate.console_ram[0x4400] = 0x00;
    pstate.console_ram[0x4401] = 0x80;
    EXPECT_EQ(zibo6_peek_2(0x4400 << 16), -32768 * 65536);
    EXPECT_EQ(zibo6_peek_1((0x4401 << 16) | 0xffff), 0x80 << 16); // the fraction is dropped
    // 0xffff reads 0xffff then 0x0000 (sprite sheet)
    c.gate(true);
    pstate.console_ram[0xffff] = 0x34;
    poke(0x0000, 0x12);
    EXPECT_EQ(zibo6_peek_2(int32_t(0xffffu << 16)), 0x1234 << 16);
    EXPECT_EQ(zibo6_peek_2(int32_t(0xffffu << 16)), zibo6_peek_2(-(1 << 16))); // -1 is 0xffff
    pstate.console_ram[0x4300] = 0x78;
    pstate.console_ram[0x4301] = 0x56;
    pstate.console_ram[0x4302] = 0x34;
    pstate.console_ram[0x4303] = 0x12;
    EXPECT_EQ(zibo6_peek_4(0x4300 << 16), 0x12345678);
}

TEST(MemMap, RomViewWithoutTheConsoleState) {
    Console c;
    zibo6_cart *cart = vull_create_zibo6_cart();
    zibo6_poke(nullptr, cart, 0x1000, 0x5a);
    EXPECT_EQ(zibo6_peek(nullptr, cart, 0x1000), 0x5a);
    EXPECT_EQ(cart->map->rows[32][0], 0x5a);
    EXPECT_EQ(pstate.console_ram[0x1000], 0); // nothing reaches console memory
    zibo6_poke(nullptr, cart, 0x4300, 1);
    zibo6_poke(nullptr, cart, 0x8000, 1); // no gate without the console state
    EXPECT_EQ(pstate.console_ram[0x4300], 0);
    EXPECT_EQ(pstate.console_ram[0x8000], 0);
    pstate.console_ram[0x4300] = 7;
    EXPECT_EQ(zibo6_peek(nullptr, cart, 0x4300), 0);
    EXPECT_EQ(zibo6_peek(nullptr, cart, 0x5f00), 0);
    vull_destroy_zibo6_cart(cart);
    // without a cart the ROM range reads 0 and ignores writes
    zibo6_poke(&pstate, nullptr, 0x0100, 0x11);
    EXPECT_EQ(zibo6_peek(&pstate, nullptr, 0x0100), 0);
    EXPECT_EQ(zibo6_peek(nullptr, nullptr, 0x3200), 0);
}

TEST(MemMap, GateErrorFromAFastCallReachesTheScript) {
    Console c;
    lua_State *L = lua_newstate(z6console::test_alloc, nullptr);
    lua_State *co = lua_newthread(L);
    lua_pushcclosure(
        co,
        [](lua_State *) -> int {
            zibo6_poke(&pstate, pstate.memory_cart, 0x8abc, 1);
            return 0;
        },
        LUA_FASTCALL);
    lua_setglobal(co, "poke_upper");
    ASSERT_EQ(luaL_loadstring(co, "local x = 1\npoke_upper()\nx = 2"), LUA_OK);
    EXPECT_EQ(lua_resume(co, nullptr, 0), LUA_ERRRUN);
    const char *m = lua_tostring(co, -1);
    ASSERT_NE(m, nullptr);
    EXPECT_NE(std::string(m).find("bad poke at 0x8abc\n"), std::string::npos);
    lua_close(L);
}
