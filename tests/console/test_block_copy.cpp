// Block copy and fill: memcpy against a byte model, the direction rule of
// wrapping copies, the fast paths' page rules, the gate errors and reload.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "console/mem.h"
#include "tests/console/console_test_util.h"

using z6console::Console;
using z6console::run_in_script;

namespace {

void poke(int a, int v) { zibo6_poke(&pstate, pstate.memory_cart, a, v); }
int peek(int a) { return zibo6_peek(&pstate, pstate.memory_cart, a); }
void memcpy_(int d, int s, int n) { zibo6_memcpy(&pstate, pstate.memory_cart, d, s, n); }
void memset_(int d, int v, int n) { zibo6_memset(&pstate, pstate.memory_cart, d, v, n); }

bool in_registers(int a) { return a >= 0x5f00 && a < 0x5f80; }

// A range of [a, a + n) that neither wraps nor touches the registers.
bool plain_range(int a, int n) { return a + n <= 0x10000 && (a + n <= 0x5f00 || a >= 0x5f80); }

std::vector<int> snapshot() {
    std::vector<int> m(0x10000);
    for (int a = 0; a < 0x10000; a++) m[a] = in_registers(a) ? -1 : peek(a);
    return m;
}

} // namespace

TEST(BlockCopy, MemcpyEqualsMemmoveOutsideRegistersAndWrap) {
    Console c;
    c.gate(true);
    std::mt19937 rng(1234);
    for (int a = 0; a < 0x10000; a++)
        if (!in_registers(a)) poke(a, int(rng() & 255));
    std::vector<int> model = snapshot();
    // lengths across page boundaries and sections, both directions, overlaps
    std::uniform_int_distribution<int> addr(0, 0xffff), small(1, 300), big(1, 0x3000);
    for (int iter = 0; iter < 150; iter++) {
        int len = iter % 3 ? small(rng) : big(rng);
        int src = addr(rng), dest = iter % 4 == 0 ? src + int(rng() % 600) - 300 : addr(rng);
        if (!plain_range(src, len) || !plain_range(dest, len) || dest < 0) {
            iter--;
            continue;
        }
        memcpy_(dest, src, len);
        std::vector<int> moved(model.begin() + src, model.begin() + src + len);
        std::copy(moved.begin(), moved.end(), model.begin() + dest);
        std::vector<int> now = snapshot();
        ASSERT_EQ(now, model) << "memcpy(" << dest << ", " << src << ", " << len << ")";
    }
}

TEST(BlockCopy, WrappingCopiesFollowTheDirectionRule) {
    Console c;
    c.gate(true);
    for (int i = 0; i < 32; i++) poke(0x4300 + i, i + 1);
    // destination wraps: backward from the ends, like a modular move
    memcpy_(0xfff0, 0x4300, 0x20);
    for (int i = 0; i < 16; i++) EXPECT_EQ(peek(0xfff0 + i), i + 1);
    for (int i = 0; i < 16; i++) EXPECT_EQ(peek(i), 17 + i);
    // source wraps below a destination it overlaps: forward, nothing lost
    for (int i = 0; i < 16; i++) poke(0xfff8 + i, 0x40 + i);
    memcpy_(0x0008, 0xfff8, 0x10);
    for (int i = 0; i < 16; i++) EXPECT_EQ(peek(0x0008 + i), 0x40 + i);
    // destination wraps above a source it overlaps: the backward pieces
    // overwrite source bytes before they are read
    for (int i = 0; i < 16; i++) poke(i, 0x60 + i);
    memcpy_(0xfff8, 0x0000, 0x10);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(peek(0xfff8 + i), 0x68 + i);
        EXPECT_EQ(peek(i), 0x68 + i);
    }
}

TEST(BlockCopy, FastPathsMovePixelsAndCells) {
    Console c;
    for (int a = 0; a < 0x2000; a++) poke(a, a * 7);
    memcpy_(0x6000, 0x0000, 0x2000);
    for (int y = 0; y < 128; y += 17)
        for (int x = 0; x < 128; x += 3)
            EXPECT_EQ(pstate.draw_surface->rows[y][x], c.cart()->sprites->rows[y][x]);
    // screen shifted down a row without smearing
    memcpy_(0x6040, 0x6000, 0x1fc0);
    for (int x = 0; x < 128; x++) {
        EXPECT_EQ(pstate.draw_surface->rows[1][x], c.cart()->sprites->rows[0][x]);
        EXPECT_EQ(pstate.draw_surface->rows[127][x], c.cart()->sprites->rows[126][x]);
    }
    // into the shared half: the map cells follow
    for (int i = 0; i < 128; i++) poke(0x4300 + i, 0xf0 | (i & 15));
    memcpy_(0x1000, 0x4300, 128);
    for (int x = 0; x < 128; x++) EXPECT_EQ(c.cart()->map->rows[32][x], 0xf0 | (x & 15));
    // map to user data and back
    poke(0x2000, 0x33);
    memcpy_(0x4400, 0x2000, 1);
    EXPECT_EQ(peek(0x4400), 0x33);
}

TEST(BlockCopy, TranslatedPagesGoByteByByte) {
    Console c;
    for (int i = 0; i < 68; i++) poke(0x3200 + i, (i * 37) & 255);
    memcpy_(0x4300, 0x3200, 68);
    for (int i = 0; i < 68; i++) EXPECT_EQ(peek(0x4300 + i), peek(0x3200 + i));
    memcpy_(0x3200 + 68, 0x4300, 68); // into sfx 1 in its memory encoding
    EXPECT_EQ(c.cart()->sfx[1].speed, peek(0x3200 + 65));
}

TEST(BlockCopy, GatedUpperMemory) {
    Console c;
    c.gate(true);
    for (int i = 0; i < 256; i++) poke(0x8000 + i, i);
    c.gate(false);
    // the fast path reads upper memory even while it is gated
    memcpy_(0x4300, 0x8000, 256);
    EXPECT_EQ(peek(0x43ff), 255);
    // the byte path reads zeros
    poke(0x5e00, 5);
    memcpy_(0x5e00, 0x8000, 4);
    EXPECT_EQ(pstate.cartdata_words[0], 0u);
    // a gated destination raises before anything is written
    EXPECT_EQ(run_in_script([] { memcpy_(0x8010, 0x4300, 4); }), "bad memcpy at 0x8010\n");
    EXPECT_EQ(pstate.console_ram[0x8010], 0x10);
    // a copy that runs into upper memory writes everything, then raises
    poke(0x7fff, 0x21);
    EXPECT_EQ(run_in_script([] { memcpy_(0x7f00, 0x6000, 0x200); }), "bad memcpy at 0x8000");
    EXPECT_EQ(pstate.console_ram[0x80ff], peek(0x60ff));
    EXPECT_EQ(run_in_script([] { memset_(0x9000, 1, 4); }), "bad memset at 0x9000\n");
    EXPECT_EQ(pstate.console_ram[0x9000], 0);
    EXPECT_EQ(run_in_script([] { memset_(0x7ff0, 0x11, 0x20); }), "bad memset at 0x800f\n");
    EXPECT_EQ(pstate.console_ram[0x800f], 0x11);
    // nothing happens for an empty length or equal addresses
    EXPECT_EQ(run_in_script([] { memcpy_(0x8000, 0x4300, 0); }), "");
    EXPECT_EQ(run_in_script([] { memcpy_(0x8000, 0x8000, 4); }), "");
}

TEST(BlockCopy, MemsetFillsPagesAndWraps) {
    Console c;
    memset_(0x1000, 0x12, 128);
    for (int x = 0; x < 128; x++) {
        EXPECT_EQ(c.cart()->sprites->rows[64][x], x % 2 ? 1 : 2);
        EXPECT_EQ(c.cart()->map->rows[32][x], 0x12);
    }
    memset_(0x3100, 0x85, 4); // byte rule: loop start flag on every channel
    EXPECT_EQ(c.cart()->pattern_flags[0], 15);
    EXPECT_EQ(c.cart()->music[0][3], 5);
    c.gate(true);
    memset_(0xff00, 7, 0x200);
    EXPECT_EQ(peek(0xff00), 7);
    EXPECT_EQ(peek(0xffff), 7);
    EXPECT_EQ(peek(0x0000), 7);
    EXPECT_EQ(peek(0x00ff), 7);
    EXPECT_EQ(peek(0x0100), 0);
    // lengths that wrap the whole space many times finish and fill everything
    memset_(0x4300, 3, 0x30000);
    EXPECT_EQ(peek(0x4300), 3);
    EXPECT_EQ(peek(0x42ff), 3);
}

TEST(BlockCopy, ResetGlitchDropsByteWritesOnly) {
    Console c;
    pstate.reset_glitch_counter = 1;
    memcpy_(0x5e00, 0x3200, 4); // byte path: dropped
    EXPECT_EQ(pstate.cartdata_words[0], 0u);
    memset_(0x4300, 9, 4); // user data page: filled without the drop
    EXPECT_EQ(pstate.console_ram[0x4300], 9);
    pstate.reset_glitch_counter = 0;
}

TEST(BlockCopy, ReloadFromTheWorkingCart) {
    Console c;
    uint32_t seed = 7;
    for (int a = 0; a < 0x4300; a++) {
        seed = seed * 1103515245u + 12345u;
        zibo6_poke(nullptr, pitem.cart, a, int(seed >> 24));
    }
    zibo6_poke(nullptr, pitem.cart, 0x0000, 0x42);
    zibo6_poke(nullptr, pitem.cart, 0x42ff, 0x0b);
    zibo6_reload(&pstate, c.cart(), 0, 0, 0x4300);
    // every byte as peek reads the source, in the cart and in the RAM image
    for (int a = 0; a < 0x4300; a++) {
        int want = zibo6_peek(nullptr, pitem.cart, a);
        ASSERT_EQ(peek(a), want) << a;
        ASSERT_EQ(pstate.console_ram[a], want) << a;
    }
    // shifted across the sections (map half, flags, music, sfx) and out of ROM
    std::vector<int> want(0x2400);
    for (int i = 0; i < 0x2400; i++) want[i] = zibo6_peek(nullptr, pitem.cart, 0x1f85 + i);
    zibo6_reload(&pstate, c.cart(), 0x1f03, 0x1f85, 0x2400);
    for (int i = 0; i < 0x2400; i++) ASSERT_EQ(peek(0x1f03 + i), want[i]) << i;
    for (int a = 0x1000; a < 0x2000; a++) // map rows 32-63 mirror the sprite bytes
        ASSERT_EQ(c.cart()->map->rows[a >> 7][a & 127], peek(a)) << a;
    zibo6_reload(&pstate, c.cart(), 0x4300, 0x0000, 1);
    EXPECT_EQ(peek(0x4300), 0x42);
    zibo6_reload(&pstate, c.cart(), 0x4301, 0x0000, 32768); // too long: nothing
    EXPECT_EQ(peek(0x4301), 0);
    EXPECT_EQ(run_in_script([&] { zibo6_reload(&pstate, c.cart(), 0x8000, 0, 16); }),
              "bad poke at 0x8000\n");
    // a reload after a file access starts the load transition
    std::snprintf(pstate.last_cart_file_accessed, sizeof pstate.last_cart_file_accessed, "x.z6");
    pstate.file_access_cooldown = 10;
    zibo6_reload(&pstate, c.cart(), 0x4300, 0, 1);
    EXPECT_EQ(pstate.last_cart_file_accessed[0], '\0');
    EXPECT_EQ(pstate.load_transition_frames, 20);
    EXPECT_EQ(pstate.file_access_cooldown, 150);
}

// The whole-ROM reads and writes of the cart formats, against the byte path.
TEST(BlockCopy, WholeRomDataMatchesTheBytePath) {
    Console c;
    std::vector<uint8_t> image(0x4300), back(0x4300);
    uint32_t seed = 11;
    for (uint8_t &b : image) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    zibo6_poke_rom(c.cart(), image.data());
    zibo6_peek_rom(c.cart(), back.data());
    EXPECT_EQ(back, image);
    for (int a = 0; a < 0x4300; a++) {
        zibo6_poke(nullptr, pitem.cart, a, image[a]);
        ASSERT_EQ(zibo6_peek(nullptr, c.cart(), a), zibo6_peek(nullptr, pitem.cart, a)) << a;
    }
    for (int a = 0x1000; a < 0x2000; a++) // map rows 32-63 mirror the sprite bytes
        ASSERT_EQ(c.cart()->map->rows[a >> 7][a & 127], pitem.cart->map->rows[a >> 7][a & 127]);
    zibo6_peek_rom(nullptr, back.data());
    EXPECT_EQ(back, std::vector<uint8_t>(0x4300, 0));
    // stored pixels need not be masked (a loaded picture): the block read
    // gives right * 16 + left, low 8 bits, as the byte path does
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            c.cart()->sprites->rows[y][x] = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    zibo6_peek_rom(c.cart(), back.data());
    for (int a = 0; a < 0x2000; a++) ASSERT_EQ(back[a], zibo6_peek(nullptr, c.cart(), a)) << a;
}

TEST(BlockCopy, OneSegmentStopsAtThePageEndAndStoresAreLocated) {
    Console c;
    for (int i = 0; i < 256; i++) poke(0x4300 + i, i);
    zibo6_memcpy_segment(&pstate, pstate.memory_cart, 0x4480, 0x4300, 200);
    EXPECT_EQ(peek(0x44ff), 0x7f) << "the destination page ends the piece";
    EXPECT_EQ(peek(0x4500), 0) << "nothing past it";
    zibo6_memcpy_segment(&pstate, pstate.memory_cart, 0x4600, 0x4300, 40000);
    EXPECT_EQ(peek(0x4601), 0) << "over 32767: nothing";

    // where each kind of page keeps an address's byte
    EXPECT_EQ(get_memcpy_byte(&pstate, c.cart(), 0x0001), &c.cart()->sprites->rows[0][2]);
    EXPECT_EQ(get_memcpy_byte(&pstate, c.cart(), 0x2081), &c.cart()->map->rows[1][1]);
    EXPECT_EQ(get_memcpy_byte(&pstate, c.cart(), 0x6040), &pstate.draw_surface->rows[1][0]);
    EXPECT_EQ(get_memcpy_byte(&pstate, c.cart(), 0x4300), &pstate.console_ram[0x4300]);
    EXPECT_EQ(get_memcpy_byte(&pstate, c.cart(), 0x3200), nullptr) << "sfx go byte by byte";
    EXPECT_EQ(get_memcpy_byte(nullptr, nullptr, 0x14300), nullptr) << "no stores, wrapped";
}
