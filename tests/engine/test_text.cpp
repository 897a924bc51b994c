// Engine fonts and text layout: alignment, new lines, wrapping, cutting, tint.
#include <gtest/gtest.h>

#include <memory>

#include "tests/engine/gfx_test_util.h"
#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "platform/video.h"
#include "engine/text.h"
#include "engine/vull.h"

namespace {

using gfxtest::bitmap_ptr;
using gfxtest::make;

// Engine fonts for one test, spacing 1.
struct fonts {
    fonts() {
        vull_text_init();
        vull_set_text_spacing(1);
    }
    ~fonts() { vull_text_exit(); }
};

int leftmost(const vull_bitmap *b) {
    for (int x = 0; x < b->width; x++)
        for (int y = 0; y < b->height; y++)
            if (vull_getpixel(b, x, y)) return x;
    return -1;
}

int rightmost(const vull_bitmap *b) {
    for (int x = b->width - 1; x >= 0; x--)
        for (int y = 0; y < b->height; y++)
            if (vull_getpixel(b, x, y)) return x;
    return -1;
}

} // namespace

TEST(Text, EngineFontsLayoutAndLifetime) {
    const int before = vull_items_created;
    {
        fonts f;
        ASSERT_NE(vull_font1, nullptr);
        ASSERT_NE(vull_font2, nullptr);
        EXPECT_EQ(vull_font1->count, 512);
        auto *g8 = static_cast<vull_bitmap *>(cpod_get_item(vull_font1, 'A', CPOD_BITMAP));
        auto *g32 = static_cast<vull_bitmap *>(cpod_get_item(vull_font1, 256 + 'A', CPOD_BITMAP));
        auto *b32 = static_cast<vull_bitmap *>(cpod_get_item(vull_font2, 256 + 'I', CPOD_BITMAP));
        ASSERT_TRUE(g8 && g32 && b32);
        EXPECT_EQ(g8->bpp, 8);
        EXPECT_EQ(g8->width, 5);
        EXPECT_EQ(b32->width, 6);
        EXPECT_EQ(vull_getpixel(g8, 0, 0), 255u); // 'A' row 0 is 0x1F
        EXPECT_EQ(vull_getpixel(g8, 1, 1), 0u);   // row 1 is 0x11
        EXPECT_EQ(vull_getpixel(g32, 4, 1), 0xFFC0C0C0u);
        // 'I' row 1 is 0x04: column 2, widened to column 3 in the bold font.
        EXPECT_EQ(vull_getpixel(b32, 2, 1), 0xFFFFFFFFu);
        EXPECT_EQ(vull_getpixel(b32, 3, 1), 0xFFFFFFFFu);
        EXPECT_EQ(vull_getpixel(b32, 1, 1), 0u);
        // Lower case repeats the capitals.
        auto *lower = static_cast<vull_bitmap *>(cpod_get_item(vull_font1, 'a', CPOD_BITMAP));
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 5; x++)
                EXPECT_EQ(vull_getpixel(lower, x, y), vull_getpixel(g8, x, y));
    }
    EXPECT_EQ(vull_font1, nullptr);
    EXPECT_EQ(vull_items_created, before);
}

TEST(Text, WidthAlignmentAndNewLines) {
    fonts f;
    EXPECT_EQ(vull_get_text_width("AB", vull_font1), 11);
    EXPECT_EQ(vull_get_text_width("", vull_font1), -1);
    auto b = make(128, 32, 8);
    vull_draw_text_ex(b.get(), "AB", vull_font1, 10, 0, 0, 0);
    EXPECT_EQ(leftmost(b.get()), 10);
    EXPECT_EQ(rightmost(b.get()), 20);
    EXPECT_EQ(vull_getpixel(b.get(), 15, 0), 0u); // the spacing column
    vull_clear_bitmap(b.get());
    vull_draw_text_ex(b.get(), "AB", vull_font1, 64, 0, VULL_TEXT_CENTRE, 0);
    EXPECT_EQ(leftmost(b.get()), 59);
    vull_clear_bitmap(b.get());
    vull_draw_text_ex(b.get(), "AB", vull_font1, 64, 0, VULL_TEXT_RIGHT, 0);
    EXPECT_EQ(leftmost(b.get()), 53);
    vull_clear_bitmap(b.get());

    // Two lines: y of the last line; the second starts at the x given.
    EXPECT_EQ(vull_draw_text_ex(b.get(), "AAA\nB", vull_font1, 64, 0, VULL_TEXT_CENTRE, 0), 6);
    EXPECT_EQ(vull_getpixel(b.get(), 64, 6), 255u);
    EXPECT_EQ(vull_getpixel(b.get(), 63, 6), 0u);
    // With a 256-glyph font code 10 has a (blank) glyph that is measured.
    EXPECT_EQ(vull_get_text_width("A\nB", vull_font1), 17);

    vull_set_text_spacing(-3);
    EXPECT_EQ(vull_get_text_spacing(), 0);
}

TEST(Text, WrapCutTintAndSetChoice) {
    fonts f;
    auto b = make(64, 32, 8);
    vull_set_clip(b.get(), 0, 0, 20, 32);
    EXPECT_EQ(vull_draw_text_ex(b.get(), "AAAA", vull_font1, 0, 0, VULL_TEXT_WRAP, 0), 6);
    EXPECT_EQ(vull_getpixel(b.get(), 12, 0), 255u);
    EXPECT_EQ(vull_getpixel(b.get(), 0, 6), 255u);
    EXPECT_EQ(vull_getpixel(b.get(), 6, 6), 0u);

    // 17 glyphs: aligned width 101, drawn from x -51 behind a clip raised by 15.
    vull_reset_clip(b.get());
    vull_clear_bitmap(b.get());
    vull_set_clip(b.get(), 0, 0, 50, 32);
    vull_draw_text_ex(b.get(), "IIIIIIIIIIIIIIIII", vull_font1, 0, 0, VULL_TEXT_CUT, 0);
    EXPECT_EQ(b->clip_x0, 0);
    for (int x = 0; x < 15; x++)
        for (int y = 0; y < 4; y++) EXPECT_EQ(vull_getpixel(b.get(), x, y), 0u) << x;
    EXPECT_EQ(vull_getpixel(b.get(), 2, 4), 255u); // the ".." over the hidden start
    EXPECT_EQ(vull_getpixel(b.get(), 8, 4), 255u);
    EXPECT_EQ(vull_getpixel(b.get(), 47, 0), 255u); // the last 'I' ends at the clip edge
    EXPECT_EQ(vull_getpixel(b.get(), 49, 0), 0u);

    // Tint on 32 bits paints set 0's mask in the colour; plain text picks the 32-bit set.
    auto c = make(32, 8, 32);
    vull_draw_text_ex(c.get(), "A", vull_font1, 0, 0, VULL_TEXT_TINT, 0xFF00FF00);
    EXPECT_EQ(vull_getpixel(c.get(), 0, 0), 0xFF00FF00u);
    vull_draw_text(c.get(), "A", vull_font1, 10, 0);
    EXPECT_EQ(vull_getpixel(c.get(), 10, 0), 0x00C0C0C0u); // blending keeps the page's alpha
    vull_draw_text_phat(c.get(), "A", vull_font2, 20, 1, 0, 0xFF000001, 0xFFFFFFFF);
    EXPECT_EQ(vull_getpixel(c.get(), 20, 1), 0xFFFFFFFFu);
    EXPECT_EQ(vull_getpixel(c.get(), 19, 1), 0xFF000001u);

    // Null bitmap, text or font: y comes back unchanged.
    EXPECT_EQ(vull_draw_text_ex(nullptr, "A", vull_font1, 0, 7, VULL_TEXT_CUT | VULL_TEXT_WRAP, 0),
              7);
    EXPECT_EQ(vull_draw_text_ex(c.get(), nullptr, vull_font1, 0, 7, 0, 0), 7);
    EXPECT_EQ(vull_draw_text_ex(c.get(), "A", nullptr, 0, 7, 0, 0), 7);
}

TEST(Text, NinetySixGlyphPodsAndMissingGlyphs) {
    // 96-glyph layout: codes 32-127; code 10 only starts a new line.
    cpod *pod = vull_create_pod(200);
    for (int i = 0; i < 200; i++) cpod_add_item(pod, CPOD_BITMAP, vull_create_bitmap(3, 4, 8));
    auto *g = static_cast<vull_bitmap *>(cpod_get_item(pod, 'A' - 32, CPOD_BITMAP));
    vull_putpixel(g, 0, 0, 9);
    vull_set_text_spacing(1);
    EXPECT_EQ(vull_get_text_width("A\nA", pod), 7);
    auto b = make(16, 16, 8);
    EXPECT_EQ(vull_draw_text_ex(b.get(), "\nA", pod, 2, 0, 0, 0), 1);
    EXPECT_EQ(vull_getpixel(b.get(), 2, 1), 9u);

    // 200 items: the third set is incomplete. On a 32-bit bitmap no set matches,
    // the last one examined is used and its missing glyphs are skipped.
    auto c = make(16, 16, 32);
    EXPECT_EQ(vull_draw_text_ex(c.get(), "AAAA\xff", pod, 0, 3, 0, 0xFFFFFFFF), 3);
    vull_destroy_pod(pod);
}

TEST(Text, ModalInputTakesQueuedKeysAndStopsOnQuit) {
    fonts f;
    const vull_bitmap saved_screen = vull_screen_actual;
    vull_screen_actual.width = 64;
    vull_screen_actual.height = 16;
    vull_screen_actual.bpp = 8;
    vull_screen_actual.clip_x1 = 64;
    vull_screen_actual.clip_y1 = 16;
    char buf[8] = "junk";
    EXPECT_EQ(vull_get_keyboard_string(nullptr, 0, 0, vull_font1, 8), 0);
    EXPECT_EQ(vull_get_keyboard_string(buf, 0, 0, vull_font1, 0), 0);

    // Typed keys: H, I, X, backspace, then 4 more than fit (the last one is replaced), Enter.
    const int keys[] = {'H', 'I', 'X', 8, '1', '2', '3', '4', '5', '6', 13};
    vullkey_buffer_pos = 0;
    for (int k : keys) vullkey_buffer[vullkey_buffer_pos++] = k;
    EXPECT_EQ(vull_get_keyboard_string(buf, 0, 0, vull_font1, 5), 1);
    EXPECT_STREQ(buf, "HI16");

    // With the program quitting the input gives up instead of waiting for keys.
    vullkey_buffer_pos = 0;
    vull_quit = 1;
    EXPECT_EQ(vull_get_keyboard_string(buf, 0, 0, vull_font1, 8), 0);
    vull_quit = 0;
    vull_screen_actual = saved_screen;
}
