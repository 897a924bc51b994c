// Blits, stretches, sprites and the presentation's pre-blit enlargement.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "tests/engine/gfx_test_util.h"
#include "platform/video.h"
#include "engine/config.h"
#include "engine/gfx.h"

namespace {

using gfxtest::bitmap_ptr;
using gfxtest::make;

// Installs a grey-ramp engine palette for the test's lifetime.
struct engine_palette {
    vull_palette_rec *saved = vull_palette;
    engine_palette() {
        vull_palette = vull_create_palette();
        for (int i = 0; i < 256; i++) vull_palette->entry[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    }
    ~engine_palette() {
        vull_destroy_palette(vull_palette);
        vull_palette = saved;
    }
};

} // namespace

TEST(GfxBlit, DepthRulesAndPartialSource) {
    engine_palette pal;
    vull_palette->entry[0] = {10, 20, 30};
    auto s8 = make(4, 4, 8), s32 = make(4, 4, 32), d8 = make(4, 4, 8), d32 = make(4, 4, 32);
    vull_putpixel(s32.get(), 0, 0, 0xFFFFFFFF);
    vull_blit(s32.get(), d8.get(), 0, 0, 0, 0, 4, 4); // 32 to 8 refused
    EXPECT_EQ(vull_getpixel(d8.get(), 0, 0), 0u);

    vull_putpixel(s8.get(), 1, 0, 200);
    vull_blit(s8.get(), d32.get(), 0, 0, 0, 0, 4, 4);
    EXPECT_EQ(vull_getpixel(d32.get(), 0, 0), 0xFF0A141Eu); // index 0 is opaque here
    EXPECT_EQ(vull_getpixel(d32.get(), 1, 0), 0xFFC8C8C8u);

    // Without an engine palette an 8-to-32 blit draws nothing.
    vull_palette_rec *p = vull_palette;
    vull_palette = nullptr;
    auto fresh = make(4, 4, 32);
    vull_blit(s8.get(), fresh.get(), 0, 0, 0, 0, 4, 4);
    EXPECT_EQ(vull_getpixel(fresh.get(), 1, 0), 0u);
    vull_palette = p;

    auto wide = make(10, 1, 8), out = make(20, 1, 8);
    for (int x = 0; x < 10; x++) wide->rows[0][x] = uint8_t(x + 1);
    vull_blit(wide.get(), out.get(), -3, 0, 5, 0, 10, 1);
    for (int x = 0; x < 20; x++) EXPECT_EQ(out->rows[0][x], (x >= 8 && x < 15) ? x - 7 : 0) << x;

    // The screen record as a source is refused.
    vull_blit(vull_screen, out.get(), 0, 0, 0, 0, 5, 1);

    // Depths below 8 bits have no pixel block: blits and conversions between them copy nothing.
    auto n4 = make(3, 2, 4), m4 = make(3, 2, 4);
    ASSERT_TRUE(n4 && m4);
    vull_blit(n4.get(), m4.get(), 0, 0, 0, 0, 3, 2);
    vull_convert_bitmap(n4.get(), m4.get(), vull_palette);
}

TEST(GfxBlit, StretchSamplesSpanCentres) {
    auto src = make(2, 1, 8);
    src->rows[0][0] = 1;
    src->rows[0][1] = 2;
    auto d4 = make(4, 1, 8), d3 = make(3, 1, 8);
    vull_stretch_blit(src.get(), d4.get(), 0, 0, 4, 1, 0);
    EXPECT_EQ(d4->rows[0][0], 1);
    EXPECT_EQ(d4->rows[0][1], 1);
    EXPECT_EQ(d4->rows[0][2], 2);
    EXPECT_EQ(d4->rows[0][3], 2);
    vull_stretch_blit(src.get(), d3.get(), 0, 0, 3, 1, 0);
    EXPECT_EQ(d3->rows[0][0], 1);
    EXPECT_EQ(d3->rows[0][1], 1);
    EXPECT_EQ(d3->rows[0][2], 2);

    // Off the top-left: the skipped spans advance the sampling and the rows
    // land at the clip edge, never above it.
    auto big = make(4, 4, 8);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) big->rows[y][x] = uint8_t(10 * y + x + 1);
    auto dst = make(8, 8, 8);
    vull_stretch_blit(big.get(), dst.get(), -2, -4, 8, 8, 0);
    EXPECT_EQ(dst->rows[0][0], 10 * 2 + 1 + 1); // source row 2, column 1
    EXPECT_EQ(dst->rows[3][5], 10 * 3 + 3 + 1);
    EXPECT_EQ(dst->rows[4][0], 0); // only 4 rows remain
    vull_set_clip(dst.get(), 2, 2, 6, 6);
    vull_clear_bitmap(dst.get());
    vull_stretch_blit(big.get(), dst.get(), -100, -100, 400, 400, 1);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            EXPECT_EQ(dst->rows[y][x] != 0, x >= 2 && x < 6 && y >= 2 && y < 6);

    // Wholly above or left of the clip: nothing is drawn, whatever the sizes.
    vull_reset_clip(dst.get());
    vull_clear_bitmap(dst.get());
    vull_stretch_blit(big.get(), dst.get(), 0, INT_MIN, 8, 100, 0);
    vull_stretch_blit(big.get(), dst.get(), INT_MIN, 0, 100, 8, 0);
    vull_stretch_blit(big.get(), dst.get(), INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1);
    vull_stretch_blit(big.get(), dst.get(), -8, 0, 8, 8, 0);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) EXPECT_EQ(dst->rows[y][x], 0) << x << "," << y;

    // Transparent same-size stretch keeps the destination under colour 0.
    auto hole = make(2, 1, 8), under = make(2, 1, 8);
    hole->rows[0][1] = 4;
    under->rows[0][0] = 9;
    vull_stretch_blit(hole.get(), under.get(), 0, 0, 2, 1, 1);
    EXPECT_EQ(under->rows[0][0], 9);
    EXPECT_EQ(under->rows[0][1], 4);

    // Negative sizes, mismatched depths and the screen record draw nothing.
    vull_stretch_blit(src.get(), d4.get(), 0, 0, -4, 1, 0);
    auto d32 = make(4, 1, 32);
    vull_stretch_blit(src.get(), d32.get(), 0, 0, 4, 1, 0);
    EXPECT_EQ(vull_getpixel(d32.get(), 0, 0), 0u);
    vull_stretch_blit(src.get(), vull_screen, 0, 0, 40, 40, 0);
}

TEST(GfxSprite, TransparencyAlphaAndMirrors) {
    auto s = make(3, 1, 8), d = make(3, 1, 8);
    s->rows[0][0] = 5;
    s->rows[0][2] = 6;
    d->rows[0][1] = 9;
    vull_draw_sprite(s.get(), d.get(), 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(d->rows[0][0], 5);
    EXPECT_EQ(d->rows[0][1], 9);
    EXPECT_EQ(d->rows[0][2], 6);

    vull_clear_bitmap(d.get());
    vull_draw_sprite_h(s.get(), d.get(), 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(d->rows[0][0], 6);
    EXPECT_EQ(d->rows[0][2], 5);

    auto s32 = make(3, 1, 32), d32 = make(3, 1, 32);
    vull_draw_sprite_h(s32.get(), d32.get(), 0, 0, 0, 0, 3, 1); // 32-bit: refused quietly
    vull_putpixel(s32.get(), 0, 0, 0x80FF0000);
    vull_putpixel(d32.get(), 0, 0, 0x400000FF);
    vull_putpixel(s32.get(), 1, 0, 0x00123456);
    vull_putpixel(d32.get(), 1, 0, 0x11ABCDEF);
    vull_putpixel(s32.get(), 2, 0, 0xFF123456);
    vull_putpixel(d32.get(), 2, 0, 0x22ABCDEF);
    vull_draw_sprite(s32.get(), d32.get(), 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(vull_getpixel(d32.get(), 0, 0), 0x4080007Fu);
    EXPECT_EQ(vull_getpixel(d32.get(), 1, 0), 0x11ABCDEFu);
    EXPECT_EQ(vull_getpixel(d32.get(), 2, 0), 0x22123456u);
    EXPECT_EQ(vull_blend32(0xFF000000, 0xFFFFFFFF, 255), 0xFFFFFFu);

    // Mirrored mask: the only set column 0 of a 5-wide glyph lands at dx + 4.
    auto glyph = make(5, 1, 8), page = make(32, 4, 32);
    glyph->rows[0][0] = 255;
    vull_draw_sprite_col(glyph.get(), page.get(), 0, 0, 10, 0, 5, 1, 0xFFABCDEF, 1);
    EXPECT_EQ(vull_getpixel(page.get(), 14, 0), 0xFFABCDEFu);
    EXPECT_EQ(vull_getpixel(page.get(), 10, 0), 0u);
    vull_draw_sprite_col(glyph.get(), page.get(), 0, 0, 20, 1, 5, 1, 0xFF010101, 0);
    EXPECT_EQ(vull_getpixel(page.get(), 20, 1), 0xFF010101u);
    // A mirrored draw half off the left edge loses the same destination columns.
    vull_draw_sprite_col(glyph.get(), page.get(), 0, 0, -2, 2, 5, 1, 7, 1);
    EXPECT_EQ(vull_getpixel(page.get(), 2, 2), 7u);

    // Table-driven 8-bit variants.
    uint8_t map[256], shade[256];
    for (int i = 0; i < 256; i++) {
        map[i] = uint8_t(255 - i);
        shade[i] = uint8_t(i / 2);
    }
    auto d8 = make(3, 1, 8);
    d8->rows[0][1] = 40;
    vull_draw_sprite_pal(s.get(), d8.get(), 0, 0, 0, 0, 3, 1, map);
    EXPECT_EQ(d8->rows[0][0], 250);
    EXPECT_EQ(d8->rows[0][1], 40);
    vull_draw_sprite_shadow(s.get(), d8.get(), 0, 0, 0, 0, 3, 1, shade);
    EXPECT_EQ(d8->rows[0][0], 125);
    EXPECT_EQ(d8->rows[0][1], 40);
    vull_draw_sprite_pal(s.get(), d32.get(), 0, 0, 0, 0, 3, 1, map); // 8-bit destinations only
}

TEST(GfxPresent, PreblitScaleRuleAndCache) {
    vull_config_rec saved = cconfig;
    vull_bitmap *saved_page = vull_back_page;
    const vull_bitmap saved_screen = vull_screen_actual;
    cconfig.software_blit = 0;
    cconfig.framebuffer = 0;
    cconfig.preblit_scale = 0;
    cconfig.pixel_perfect = 0;

    auto page = make(128, 128, 8);
    vull_back_page = page.get();
    vull_screen_actual.width = 1920;
    vull_screen_actual.height = 1080;
    EXPECT_EQ(vull_get_preblit_scale(), 4);
    auto mid = make(400, 300, 8);
    vull_back_page = mid.get();
    vull_screen_actual.width = 800;
    vull_screen_actual.height = 600;
    EXPECT_EQ(vull_get_preblit_scale(), 1);
    cconfig.preblit_scale = 12;
    EXPECT_EQ(vull_get_preblit_scale(), 8);
    cconfig.software_blit = 1;
    EXPECT_EQ(vull_get_preblit_scale(), 1);
    EXPECT_EQ(vull_get_pixel_perfect(), 1);
    cconfig.software_blit = 0;

    // Scale 3: the whole page is enlarged into a cached bitmap of 3x3 blocks.
    cconfig.preblit_scale = 3;
    cconfig.headless = 1;
    vull_back_page = page.get();
    vull_screen_actual.width = 384;
    vull_screen_actual.height = 384;
    vull_screen_actual.bpp = 8;
    vull_screen_actual.clip_x0 = vull_screen_actual.clip_y0 = 0;
    vull_screen_actual.clip_x1 = vull_screen_actual.clip_y1 = 384;
    page->rows[1][2] = 77;
    vull_blit(page.get(), vull_screen, 0, 0, 0, 0, 128, 128);
    ASSERT_NE(fattened_back_page, nullptr);
    vull_bitmap *first = fattened_back_page;
    EXPECT_EQ(first->width, 384);
    EXPECT_EQ(first->height, 384);
    for (int y = 3; y < 6; y++)
        for (int x = 6; x < 9; x++) EXPECT_EQ(first->rows[y][x], 77);
    EXPECT_EQ(first->rows[2][6], 0);
    vull_blit(page.get(), vull_screen, 0, 0, 0, 0, 128, 128);
    EXPECT_EQ(fattened_back_page, first);

    vull_destroy_bitmap(fattened_back_page);
    fattened_back_page = nullptr;
    vull_back_page = saved_page;
    vull_screen_actual = saved_screen;
    cconfig = saved;
}
