// Bitmaps, palettes, clip rectangles and raster primitives.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/gfx_test_util.h"
#include "platform/video.h"
#include "engine/gfx.h"
#include "engine/vull.h"

namespace {

using gfxtest::bitmap_ptr;
using gfxtest::make;

// The set pixels of an 8-bit bitmap as "x,y" strings, row by row.
std::vector<std::string> set_pixels(const vull_bitmap *b) {
    std::vector<std::string> out;
    for (int y = 0; y < b->height; y++)
        for (int x = 0; x < b->width; x++)
            if (b->rows[y][x]) out.push_back(std::to_string(x) + "," + std::to_string(y));
    return out;
}

int count_set(const vull_bitmap *b) { return int(set_pixels(b).size()); }

} // namespace

TEST(GfxBitmap, CreateRefusesBadSizesAndCounts) {
    const int before = vull_items_created;
    EXPECT_EQ(vull_create_bitmap(0, 5, 8), nullptr);
    EXPECT_EQ(vull_create_bitmap(5, -1, 8), nullptr);
    EXPECT_EQ(vull_create_bitmap(5, 5, -8), nullptr);
    // Above the 1 GiB cap, and a product that would wrap 32 bits.
    EXPECT_EQ(vull_create_bitmap(16385, 16384, 32), nullptr);
    EXPECT_EQ(vull_create_bitmap(65536, 65536, 32), nullptr);
    EXPECT_EQ(vull_create_bitmap(1, INT_MAX, 8), nullptr);
    EXPECT_EQ(vull_items_created, before);

    vull_bitmap *b = vull_create_bitmap(7, 3, 32);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(vull_items_created, before + 1);
    EXPECT_EQ(b->clip_x0, 0);
    EXPECT_EQ(b->clip_x1, 7);
    EXPECT_EQ(b->clip_y0, 0);
    EXPECT_EQ(b->clip_y1, 3);
    EXPECT_EQ(b->tag, 0);
    EXPECT_EQ(b->rows[2], b->pixels + 2 * 7 * 4);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 7; x++) EXPECT_EQ(vull_getpixel(b, x, y), 0u);
    EXPECT_EQ(vull_destroy_bitmap(b), 0);
    EXPECT_EQ(vull_destroy_bitmap(nullptr), 0);

    // Depths other than 8 and 32 are kept but never written past their block.
    for (int bpp : {0, 4, 12, 16, 64}) {
        vull_bitmap *odd = vull_create_bitmap(3, 2, bpp);
        ASSERT_NE(odd, nullptr) << bpp;
        vull_clear_bitmap(odd);
        vull_putpixel(odd, 1, 1, 0xFFFFFFFF);
        vull_rectfill(odd, 0, 0, 2, 1, 0xFFFFFFFF);
        EXPECT_EQ(vull_getpixel(odd, 1, 1), 0u);
        vull_destroy_bitmap(odd);
    }
    EXPECT_EQ(vull_items_created, before);
}

TEST(GfxBitmap, PixelsRespectExclusiveClip) {
    auto b = make(8, 8, 8);
    vull_putpixel(b.get(), 8, 0, 9); // x == width: outside
    EXPECT_EQ(vull_getpixel(b.get(), 8, 0), 0u);
    vull_putpixel(b.get(), 3, 3, 0x1234);
    EXPECT_EQ(vull_getpixel(b.get(), 3, 3), 0x34u);
    b->rows[2][1] = 7;
    vull_set_clip(b.get(), 2, 2, 4, 4);
    vull_putpixel(b.get(), 4, 3, 5);
    EXPECT_EQ(b->rows[3][4], 0);
    EXPECT_EQ(vull_getpixel(b.get(), 1, 2), 0u);
    vull_reset_clip(b.get());
    EXPECT_EQ(vull_getpixel(b.get(), 1, 2), 7u);

    // A clip written by hand past the bitmap never reaches outside its rows.
    b->clip_x1 = 100;
    b->clip_y1 = 100;
    vull_putpixel(b.get(), 50, 50, 1);
    vull_rectfill(b.get(), 0, 0, 99, 99, 1);
    vull_hline(b.get(), -5, 200, 7, 2);
    EXPECT_EQ(count_set(b.get()), 64);

    // Null and the screen record are ignored.
    vull_putpixel(nullptr, 0, 0, 1);
    vull_clear_bitmap(nullptr);
    vull_putpixel(vull_screen, 0, 0, 1);
    vull_clear_bitmap(vull_screen);
    vull_rectfill(vull_screen, 0, 0, 10, 10, 1);
    vull_line(vull_screen, 0, 0, 10, 10, 1);

    auto c = make(4, 4, 32);
    vull_putpixel(c.get(), 1, 1, 0xFF112233);
    EXPECT_EQ(vull_getpixel(c.get(), 1, 1), 0xFF112233u);
    vull_clear_bitmap(c.get());
    EXPECT_EQ(vull_getpixel(c.get(), 1, 1), 0u);
}

TEST(GfxPalette, FindColourAndConversions) {
    vull_palette_rec *pal = vull_create_palette();
    ASSERT_NE(pal, nullptr);
    for (int i = 0; i < 256; i++) pal->entry[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    pal->entry[3] = {0, 0, 0};
    pal->entry[7] = {0, 0, 0};
    pal->entry[0] = {10, 10, 10};
    EXPECT_EQ(vull_find_colour(0, 0, 0, pal), 3);
    pal->entry[3] = {1, 1, 1};
    pal->entry[7] = {1, 1, 1};
    pal->entry[1] = {5, 5, 5};
    EXPECT_EQ(vull_find_colour(0, 0, 0, pal), 3); // first of the nearest
    EXPECT_EQ(vull_find_colour(INT_MAX, INT_MIN, 0, pal), vull_find_colour(1024, -1024, 0, pal));

    // 8 to 32: index 0 keeps alpha 0, others are opaque.
    pal->entry[0] = {1, 2, 3};
    pal->entry[5] = {200, 100, 50};
    auto i8 = make(2, 1, 8), i32 = make(2, 1, 32);
    i8->rows[0][1] = 5;
    vull_convert_bitmap(i8.get(), i32.get(), pal);
    EXPECT_EQ(vull_getpixel(i32.get(), 0, 0), 0x00010203u);
    EXPECT_EQ(vull_getpixel(i32.get(), 1, 0), 0xFFC86432u);

    // 32 to 8: the first entry closer than 27 wins over a later exact match.
    pal->entry[4] = {1, 2, 6};
    pal->entry[9] = {1, 2, 3};
    pal->entry[0] = {90, 90, 90};
    pal->entry[1] = {90, 90, 90};
    pal->entry[2] = {90, 90, 90};
    pal->entry[3] = {90, 90, 90};
    vull_putpixel(i32.get(), 0, 0, 0xFF010203);
    vull_convert_bitmap(i32.get(), i8.get(), pal);
    EXPECT_EQ(vull_getpixel(i8.get(), 0, 0), 4u);

    // Different sizes: nothing happens.
    auto other = make(3, 1, 8);
    vull_convert_bitmap(i32.get(), other.get(), pal);
    EXPECT_EQ(count_set(other.get()), 0);
    vull_destroy_palette(pal);
}

TEST(GfxPalette, FadeClampsAndMixes) {
    vull_palette_rec *saved = vull_palette;
    vull_palette = vull_create_palette();
    vull_palette_rec *a = vull_create_palette(), *b = vull_create_palette();
    a->entry[0] = {255, 0, 200};
    b->entry[0] = {0, 255, 100};
    vull_fade_palette_moment(a, b, 128);
    EXPECT_EQ(vull_palette->entry[0].r, 127);
    EXPECT_EQ(vull_palette->entry[0].g, 127);
    EXPECT_EQ(vull_palette->entry[0].b, 150);
    vull_fade_palette_moment(a, b, 300);
    EXPECT_EQ(vull_palette->entry[0].r, 0);
    EXPECT_EQ(vull_palette->entry[0].g, 255);
    vull_fade_palette_moment(a, b, -5);
    EXPECT_EQ(vull_palette->entry[0].r, 255);
    EXPECT_EQ(vull_palette->entry[0].b, 200);
    vull_destroy_palette(a);
    vull_destroy_palette(b);
    vull_destroy_palette(vull_palette);
    vull_palette = saved;
}

TEST(GfxClip, SetClipClampsAndEmptyDrawsNothing) {
    auto b = make(128, 128, 8);
    vull_set_clip(b.get(), -5, -5, 500, 500);
    EXPECT_EQ(b->clip_x0, 0);
    EXPECT_EQ(b->clip_x1, 128);
    EXPECT_EQ(b->clip_y1, 128);
    vull_set_clip(b.get(), 50, 50, 10, 10);
    EXPECT_EQ(b->clip_x0, 50);
    EXPECT_EQ(b->clip_x1, 10);
    vull_rectfill(b.get(), 0, 0, 127, 127, 1);
    vull_line(b.get(), 0, 0, 127, 100, 1);
    vull_hline(b.get(), 0, 127, 60, 1);
    vull_rect(b.get(), 0, 0, 127, 127, 1);
    EXPECT_EQ(count_set(b.get()), 0);

    vull_set_clip(b.get(), 1, 2, 3, 4);
    vull_save_clip(b.get());
    vull_reset_clip(b.get());
    vull_restore_clip(b.get());
    EXPECT_EQ(b->clip_x0, 1);
    EXPECT_EQ(b->clip_x1, 3);
    EXPECT_EQ(b->clip_y0, 2);
    EXPECT_EQ(b->clip_y1, 4);
    EXPECT_EQ(code_point(b.get(), 0, 1), 1 | 2);
    EXPECT_EQ(code_point(b.get(), 3, 4), 4 | 8);
    EXPECT_EQ(code_point(b.get(), 2, 3), 0);
}

TEST(GfxClip, BlitClipperRules) {
    auto src = make(10, 10, 8), dst = make(20, 20, 8);
    int sx = 10, sy = 0, dx = 0, dy = 0, w = 5, h = 5;
    vull_clip(src.get(), dst.get(), &sx, &sy, &dx, &dy, &w, &h);
    EXPECT_EQ(h, 0); // source x at the source width
    EXPECT_EQ(w, 5);

    vull_set_clip(dst.get(), 6, 0, 20, 20);
    sx = 0, sy = 0, dx = 2, dy = 0, w = 10, h = 10;
    vull_clip(src.get(), dst.get(), &sx, &sy, &dx, &dy, &w, &h);
    EXPECT_EQ(sx, 4);
    EXPECT_EQ(dx, 6);
    EXPECT_EQ(w, 6);

    vull_reset_clip(dst.get());
    sx = -3, sy = 0, dx = 5, dy = 0, w = 10, h = 1;
    vull_clip(src.get(), dst.get(), &sx, &sy, &dx, &dy, &w, &h);
    EXPECT_EQ(sx, 0);
    EXPECT_EQ(dx, 8);
    EXPECT_EQ(w, 7);

    // Extreme values neither overflow nor produce a drawable rectangle outside.
    sx = INT_MIN, sy = INT_MIN, dx = INT_MAX - 1, dy = 0, w = INT_MAX, h = INT_MAX;
    vull_clip(src.get(), dst.get(), &sx, &sy, &dx, &dy, &w, &h);
    EXPECT_TRUE(w < 1 || h < 1 || (dx >= 0 && dx + w <= 20));
}

TEST(GfxLines, SpansRectsAndEndPoints) {
    auto b = make(128, 128, 8);
    vull_hline(b.get(), 200, -3, 5, 1);
    EXPECT_EQ(count_set(b.get()), 128);
    vull_clear_bitmap(b.get());

    vull_rectfill(b.get(), 10, 10, 5, 5, 1);
    EXPECT_EQ(count_set(b.get()), 36);
    EXPECT_EQ(b->rows[5][5], 1);
    EXPECT_EQ(b->rows[10][10], 1);
    vull_clear_bitmap(b.get());

    vull_rect(b.get(), 4, 4, 4, 4, 1);
    EXPECT_EQ(set_pixels(b.get()), std::vector<std::string>{"4,4"});
    vull_clear_bitmap(b.get());

    vull_rect_lit(b.get(), 0, 0, 3, 3, 1, 2, 3);
    EXPECT_EQ(b->rows[0][0], 2); // the edges leave two corners to the fill
    EXPECT_EQ(b->rows[3][3], 2);
    EXPECT_EQ(b->rows[0][1], 3);
    EXPECT_EQ(b->rows[0][3], 3);
    EXPECT_EQ(b->rows[3][0], 1);
    EXPECT_EQ(b->rows[1][1], 2);
    vull_clear_bitmap(b.get());

    vull_line(b.get(), 0, 0, 3, 1, 1);
    EXPECT_EQ(set_pixels(b.get()), (std::vector<std::string>{"0,0", "1,0", "2,1", "3,1"}));
    vull_clear_bitmap(b.get());

    vull_line(b.get(), -10, 5, 10, 5, 1);
    EXPECT_EQ(count_set(b.get()), 11);
    vull_clear_bitmap(b.get());
    vull_line(b.get(), -10, -10, -1, 50, 1);
    EXPECT_EQ(count_set(b.get()), 0);

    // Clipped at the left edge: starts at (0, 20), ends at (20, 30).
    vull_line(b.get(), -20, 10, 20, 30, 1);
    EXPECT_EQ(b->rows[20][0], 1);
    EXPECT_EQ(b->rows[30][20], 1);
    for (int x = 0; x <= 20; x++) {
        int n = 0;
        for (int y = 0; y < 128; y++) n += b->rows[y][x] != 0;
        EXPECT_EQ(n, 1) << x;
    }
    EXPECT_EQ(count_set(b.get()), 21);
}

TEST(GfxLines, ExtremeCoordinatesStayInside) {
    auto b = make(64, 48, 32);
    const int big[] = {INT_MIN, -100000, -40000, -1, 0, 31, 63, 64, 40000, 100000, INT_MAX};
    for (int x0 : big)
        for (int y0 : big)
            for (int x1 : {INT_MIN, -50, 20, 70, INT_MAX})
                for (int y1 : {INT_MIN, -50, 20, 70, INT_MAX}) {
                    vull_line(b.get(), x0, y0, x1, y1, 0xFFFFFFFF);
                    vull_rect(b.get(), x0, y0, x1, y1, 0xFFFFFFFF);
                    vull_rect_lit(b.get(), x0, y0, x1, y1, 1, 2, 3);
                }
    // Sanitizers catch any write outside the rows; a long diagonal is drawn end to end.
    vull_clear_bitmap(b.get());
    vull_line(b.get(), -1000, -1000, 1000, 1000, 7);
    for (int i = 0; i < 48; i++) EXPECT_EQ(vull_getpixel(b.get(), i, i), 7u) << i;
}
