// Sprites, stretched sprites and the map through the draw palette.
#include <gtest/gtest.h>

#include "console/gfx_sprite.h"
#include "tests/console/gfx_console_util.h"

namespace {

using gfxconsole::cart_map;
using gfxconsole::cart_set_flags;
using gfxconsole::cart_sheet;

class GfxSprite : public gfxconsole::ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        // Sprite 1: pixel (x, y) has colour (x + y) % 8 + 1, with a 0 at (0, 0).
        vull_bitmap *sheet = cart_sheet(pstate.memory_cart);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) vull_putpixel(sheet, 8 + x, y, uint32_t((x + y) % 8 + 1));
        vull_putpixel(sheet, 8, 0, 0);
    }
    int sheet_px(int x, int y) { return int(vull_getpixel(cart_sheet(pstate.memory_cart), x, y)); }
};

TEST_F(GfxSprite, SprSizesFlipsAndTransparency) {
    vull_bitmap *s = surface();
    fill(s, 12);
    EXPECT_EQ(gfx_spr(s, 256, 0, 0, 8, 8, 0, 0), 0);
    EXPECT_EQ(gfx_spr(s, -1, 0, 0, 8, 8, 0, 0), 0);
    EXPECT_EQ(count(12), 128 * 128);
    // Colour 0 is transparent: (0, 0) keeps the old pixel.
    EXPECT_EQ(gfx_spr(s, 1, 10, 10, 8, 8, 0, 0), 64);
    EXPECT_EQ(s->rows[10][10], 12);
    EXPECT_EQ(s->rows[10][11], sheet_px(9, 0));
    EXPECT_EQ(s->rows[17][17], sheet_px(15, 7));
    // Half a sprite wide: a 4 x 8 block.
    fill(s, 12);
    EXPECT_EQ(gfx_spr(s, 1, 0, 0, 4, 8, 0, 0), 32);
    EXPECT_EQ(count(12), 128 * 128 - 31);
    EXPECT_EQ(s->rows[0][4], 12);
    // Flipped in x: column 7 of the sprite lands in column 0.
    fill(s, 12);
    gfx_spr(s, 1, 0, 0, 8, 8, 1, 0);
    EXPECT_EQ(s->rows[0][0], sheet_px(15, 0));
    EXPECT_EQ(s->rows[0][7], 12);
    // Clipped at the surface edge: the cost is the visible area.
    EXPECT_EQ(gfx_spr(s, 1, 124, 125, 8, 8, 0, 0), 4 * 3);
    // A colour made transparent by the palette.
    fill(s, 12);
    pstate.draw_state.draw_pal[3] = 3 | 16;
    gfx_spr(s, 1, 0, 0, 8, 8, 0, 0);
    EXPECT_EQ(count(3), 0);
}

TEST_F(GfxSprite, StretchedSprites) {
    vull_bitmap *s = surface();
    fill(s, 12);
    // 8 x 8 to 16 x 16 repeats every pixel twice each way.
    EXPECT_EQ(gfx_sspr(s, 8, 0, 8, 8, 0, 0, 16, 16, 0, 0), 256);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            if (x > 1 || y > 1) {
                ASSERT_EQ(s->rows[y][x], sheet_px(8 + x / 2, y / 2)) << x << "," << y;
            }
        }
    EXPECT_EQ(s->rows[0][0], 12);
    // A negative width mirrors the image to the left of dx.
    fill(s, 12);
    EXPECT_EQ(gfx_sspr(s, 8, 0, 8, 8, 40, 0, -16, 16, 0, 0), 256);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            if (x < 14 || y > 1) {
                ASSERT_EQ(s->rows[y][24 + x], sheet_px(8 + (15 - x) / 2, y / 2)) << x << "," << y;
            }
        }
    // Far off-screen and tiny, or out-of-range sizes: nothing, no overflow.
    fill(s, 12);
    EXPECT_EQ(gfx_sspr(s, 0, 0, 128, 128, -30000, 0, 1, 1, 0, 0), 0);
    EXPECT_EQ(gfx_sspr(s, 0, 0, 128, 128, 100, 0, 30000, 30000, 0, 0), 28 * 128);
    EXPECT_EQ(gfx_sspr(s, 0, 0, 0, 8, 0, 0, 8, 8, 0, 0), 0);
    EXPECT_EQ(gfx_sspr(s, 0, 0, 129, 8, 0, 0, 8, 8, 0, 0), 0);
    EXPECT_EQ(gfx_sspr(s, 0, 0, 8, 8, INT32_MIN + 1, INT32_MIN + 1, INT32_MIN + 1, -8, 1, 1), 0);
}

TEST_F(GfxSprite, MapCellsLayersAndClip) {
    vull_bitmap *s = surface();
    zibo6_cart *cart = pstate.memory_cart;
    vull_bitmap *map = cart_map(cart);
    vull_putpixel(map, 0, 0, 1);
    vull_putpixel(map, 1, 0, 2);
    vull_bitmap *sheet = cart_sheet(cart);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) vull_putpixel(sheet, 16 + x, y, 5);
    cart_set_flags(cart, 2, 0x02);
    fill(s, 12);
    // Fewer than five arguments: the whole 128 x 32 window; cell 0 is empty.
    EXPECT_EQ(gfx_map(s, 0, 0, 0, 0, 128, 32, 0), 128);
    EXPECT_EQ(s->rows[0][1], sheet_px(9, 0));
    EXPECT_EQ(s->rows[3][12], 5);
    EXPECT_EQ(s->rows[20][20], 12);
    // Layers 2: only sprite 2, whose flag bit 1 is set.
    fill(s, 12);
    EXPECT_EQ(gfx_map(s, 0, 0, 0, 0, 2, 1, 2), 64);
    EXPECT_EQ(s->rows[1][1], 12);
    EXPECT_EQ(s->rows[1][9], 5);
    // Cell 0 drawn when 0x5f36 bit 0x08 is set.
    pstate.console_ram[0x5f36] = 0x08;
    fill(s, 12);
    EXPECT_EQ(gfx_map(s, 2, 0, 0, 0, 1, 1, 0), 64);
    // Far off and huge windows finish at once.
    EXPECT_EQ(gfx_map(s, 0, 0, -2000000000, -2000000000, 128, 64, 0), 0);
    EXPECT_GE(gfx_map(s, -100000, -100000, 0, 0, 2000000000, 2000000000, 0), 0);
}

} // namespace
