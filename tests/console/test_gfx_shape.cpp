// Lines, textured lines and ovals: end points, clip narrowing, small shapes,
// and arguments far outside the screen.
#include <gtest/gtest.h>

#include "console/gfx_shape.h"
#include "tests/console/gfx_console_util.h"

namespace {

using gfxconsole::cart_map;
using gfxconsole::cart_set_flags;
using gfxconsole::cart_sheet;

class GfxShape : public gfxconsole::ConsoleTest {};

TEST_F(GfxShape, LineEndPointsAndClipNarrowing) {
    vull_bitmap *s = surface();
    // A diagonal through the whole screen visits only the positions inside.
    EXPECT_EQ(draw_line(s, -10, -10, 300, 300, 7), 128);
    EXPECT_EQ(count(7), 128);
    for (int i = 0; i < 128; i++) EXPECT_EQ(s->rows[i][i], 7);
    // Ends are the same either way round; a clip edge stops at right - 1.
    fill(s, 0);
    vull_set_clip(s, 0, 0, 50, 128);
    EXPECT_EQ(draw_line(s, 60, 30, 0, 0, 8), 50);
    EXPECT_EQ(s->rows[0][0], 8);
    EXPECT_EQ(s->rows[25][49], 8);
    for (int y = 0; y < 128; y++) EXPECT_EQ(s->rows[y][50], 0);
    vull_reset_clip(s);
    // The end pixel is drawn: 0,0 .. 3,1 visits 4 positions.
    fill(s, 0);
    EXPECT_EQ(draw_line(s, 0, 0, 3, 1, 9), 4);
    EXPECT_EQ(s->rows[1][3], 9);
    EXPECT_EQ(s->rows[0][0], 9);
    // Nothing when wholly outside.
    EXPECT_EQ(draw_line(s, -5, 0, -1, 100, 9), 0);
    EXPECT_EQ(draw_line(s, 0, 200, 100, 300, 9), 0);
}

TEST_F(GfxShape, ExtremeArgumentsStayOnTheSurface) {
    vull_bitmap *s = surface();
    // camera(-32768, 0) line(32767, 0, -32768, 60): 64-bit positions, in-range pixels only.
    int n = draw_line(s, 65535, 0, 0, 60, 7);
    EXPECT_GT(n, 0);
    EXPECT_LE(n, 128);
    EXPECT_EQ(count(7), n);
    // Lines longer than 65536 steps and nearly flat.
    draw_line(s, -98000, 0, 98000, 1, 8);
    draw_line(s, -98000, 200, 98000, -100, 8);
    draw_line(s, 5, -98000, 6, 98000, 8);
    draw_oval(s, 64 - 3000, 64 - 3000, 64 + 3000, 64 + 3000, 9);
    draw_filloval(s, 64 - 3000, 64 - 3000, 64 + 3000, 64 + 3000, 10);
    draw_oval(s, -32768, -32768, 32767, 32767, 11);
    draw_filloval(s, -65535, -65535, 65535, 65535, 12);
    draw_oval(s, -65535, 60, 65535, 70, 13);
    draw_filloval(s, -65535, 60, 65535, 70, 13);
    draw_tline(s, int32_t(0x80000000), 0, 0x7fffffff, 60 << 16, 0x7fff0000, 0, 0x7fffffff,
               int32_t(0x80000000), 0);
    SUCCEED();
}

TEST_F(GfxShape, SmallOvalsAndBoxes) {
    vull_bitmap *s = surface();
    // Radius 0: one pixel.
    EXPECT_GT(draw_oval(s, 64, 64, 64, 64, 7), 0);
    EXPECT_EQ(count(7), 1);
    EXPECT_EQ(s->rows[64][64], 7);
    // A box one pixel wide is a filled block.
    fill(s, 0);
    draw_oval(s, 10, 10, 11, 40, 7);
    EXPECT_EQ(count(7), 2 * 31);
    // Outline and fill of a radius-1 circle: a plus sign of five pixels filled,
    // the four neighbours outlined.
    fill(s, 0);
    draw_filloval(s, 63, 63, 65, 65, 7);
    EXPECT_EQ(count(7), 5);
    fill(s, 0);
    draw_oval(s, 63, 63, 65, 65, 7);
    EXPECT_EQ(s->rows[63][64], 7);
    EXPECT_EQ(s->rows[64][63], 7);
    EXPECT_EQ(s->rows[64][65], 7);
    EXPECT_EQ(s->rows[65][64], 7);
    // Symmetric about both axes for odd and even boxes.
    for (int w = 2; w < 12; w++) {
        for (int h = 2; h < 12; h++) {
            fill(s, 0);
            draw_oval(s, 20, 20, 20 + w, 20 + h, 7);
            for (int y = 0; y <= h; y++)
                for (int x = 0; x <= w; x++) {
                    ASSERT_EQ(s->rows[20 + y][20 + x], s->rows[20 + h - y][20 + x])
                        << w << "x" << h;
                    ASSERT_EQ(s->rows[20 + y][20 + x], s->rows[20 + y][20 + w - x])
                        << w << "x" << h;
                }
        }
    }
}

TEST_F(GfxShape, ClipInsideTheOval) {
    vull_bitmap *s = surface();
    vull_set_clip(s, 50, 50, 71, 71);
    EXPECT_EQ(draw_oval(s, 0, 0, 127, 127, 7), 0);
    EXPECT_EQ(count(7), 0);
    EXPECT_EQ(draw_filloval(s, 0, 0, 127, 127, 7), 21 * 21);
    EXPECT_EQ(count(7), 21 * 21);
}

TEST_F(GfxShape, TexturedLineRepeatsOneSheetPixel) {
    vull_bitmap *s = surface();
    // Map cell (0, 0) = sprite 1, whose pixel (3, 2) is colour 9.
    zibo6_cart *cart = pstate.memory_cart;
    vull_putpixel(cart_map(cart), 0, 0, 1);
    vull_putpixel(cart_sheet(cart), 8 + 3, 2, 9);
    int32_t mx = (3 << 13) + 1, my = (2 << 13) + 1;
    EXPECT_EQ(draw_tline(s, 0, 10 << 16, 20 << 16, 10 << 16, mx, my, 0, 0, 0), 21);
    EXPECT_EQ(count(9), 21);
    // Cell 0 is empty unless 0x5f36 bit 0x08 is set; layers filter by flags.
    fill(s, 0);
    EXPECT_EQ(draw_tline(s, 0, 10 << 16, 20 << 16, 10 << 16, mx, my, 0, 0, 2), 21);
    EXPECT_EQ(count(9), 0);
    // Transparent through the draw palette.
    pstate.draw_state.draw_pal[9] |= 16;
    draw_tline(s, 0, 10 << 16, 20 << 16, 10 << 16, mx, my, 0, 0, 0);
    EXPECT_EQ(count(9), 0);
}

TEST_F(GfxShape, TintedBackdropStaysInside) {
    vull_bitmap *s = surface();
    fill(s, 7);
    draw_tinted_rect_adaptive(s, -10, -10, 200, 5, 0);
    EXPECT_EQ(s->rows[0][0], 1);
    EXPECT_EQ(s->rows[5][127], 1);
    EXPECT_EQ(s->rows[6][0], 7);
}

} // namespace
