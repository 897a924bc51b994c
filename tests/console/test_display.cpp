// Display selection and the 8-bit / 32-bit colour conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "console/display.h"
#include "engine/gfx.h"
#include "platform/video.h"
#include "tests/console/console_test_util.h"

using z6console::Console;

TEST(Display, SelectionClampsAndCarriesTheClip) {
    Console c;
    pstate.draw_state.clip_x0 = 10;
    pstate.draw_state.clip_y0 = 20;
    pstate.draw_state.clip_x1 = 30;
    pstate.draw_state.clip_y1 = 40;
    set_draw_display(7);
    EXPECT_EQ(pstate.draw_surface, pstate.display[3]);
    EXPECT_EQ(pstate.display[3]->clip_x0, 10);
    EXPECT_EQ(pstate.display[3]->clip_y1, 40);
    set_draw_display(-1);
    EXPECT_EQ(pstate.draw_surface, pstate.display[0]);
    pstate.current_display = 2;
    fetch_draw_display();
    EXPECT_EQ(pstate.draw_surface, pstate.display[2]);
    // before the console's memory exists only the index is kept
    zibo6_cart *keep = pstate.memory_cart;
    pstate.memory_cart = nullptr;
    set_draw_display(1);
    EXPECT_EQ(pstate.current_display, 1);
    EXPECT_EQ(pstate.draw_surface, pstate.display[2]);
    pstate.memory_cart = keep;
}

TEST(Display, NumberOfDisplaysFollowsTheBackPage) {
    vull_bitmap *keep = vull_back_page;
    vull_bitmap *page = vull_create_bitmap(256, 128, 8);
    vull_back_page = page;
    EXPECT_EQ(get_number_of_displays(), 2);
    app.tv_frame = 1;
    EXPECT_EQ(get_number_of_displays(), 1);
    app.tv_frame = 0;
    vull_destroy_bitmap(page);
    page = vull_create_bitmap(512, 512, 8);
    vull_back_page = page;
    EXPECT_EQ(get_number_of_displays(), 4);
    vull_destroy_bitmap(page);
    page = vull_create_bitmap(100, 100, 8);
    vull_back_page = page;
    EXPECT_EQ(get_number_of_displays(), 1);
    vull_destroy_bitmap(page);
    vull_back_page = keep;
}

namespace {

uint32_t px32(const vull_bitmap *b, int x, int y) {
    uint32_t v;
    std::memcpy(&v, b->rows[y] + 4 * x, 4);
    return v;
}

void set32(vull_bitmap *b, int x, int y, uint32_t v) { std::memcpy(b->rows[y] + 4 * x, &v, 4); }

} // namespace

TEST(Display, ConversionsBetweenIndexedAndColour) {
    Console c;
    vull_rgb colours[256] = {};
    for (int i = 0; i < 256; i++) colours[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    colours[5] = {200, 10, 10};
    colours[9] = {200, 10, 10}; // same colour as 5: the lower index wins
    colours[130] = {1, 2, 250};
    vull_bitmap *b8 = vull_create_bitmap(4, 2, 8), *b32 = vull_create_bitmap(4, 2, 32);
    b8->rows[0][0] = 0;
    b8->rows[0][1] = 7;
    zibo6_convert_bitmap(b8, b32, colours);
    EXPECT_EQ(px32(b32, 0, 0), 0x00000000u | (uint32_t(0) << 16) | (255u << 8) | 0u);
    EXPECT_EQ(px32(b32, 1, 0), 0xff000000u | (7u << 16) | (248u << 8) | 21u);
    set32(b32, 2, 0, 0xff000000u | (200u << 16) | (10u << 8) | 10u);
    set32(b32, 3, 0, 0xff000000u | (0u << 16) | (0u << 8) | 255u);
    zibo6_convert_bitmap(b32, b8, colours);
    EXPECT_EQ(b8->rows[0][2], 5);
    EXPECT_EQ(b8->rows[0][3], 130); // extended colours take part
    // through the screen palette: only the 16 shown colours
    for (int i = 0; i < 16; i++) pstate.draw_state.screen_pal[i] = i;
    zibo6_convert_bitmap_to_screen_pal(b32, b8, colours);
    EXPECT_EQ(b8->rows[0][2], 5);
    EXPECT_LT(b8->rows[0][3], 16);
    pstate.draw_state.screen_pal[1] = 130;
    zibo6_convert_bitmap_to_screen_pal(b32, b8, colours);
    EXPECT_EQ(b8->rows[0][3], 1);
    // different sizes: nothing happens
    vull_bitmap *other = vull_create_bitmap(3, 2, 8);
    other->rows[0][0] = 99;
    zibo6_convert_bitmap(b32, other, colours);
    EXPECT_EQ(other->rows[0][0], 99);
    vull_destroy_bitmap(other);
    vull_destroy_bitmap(b8);
    vull_destroy_bitmap(b32);
}
