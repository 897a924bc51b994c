// Frame composition: golden back pages (the stopped bar, a message, screen
// modes, the TV frame, key configuration) and the rules behind them.
#include <SDL2/SDL_scancode.h>

#include "../console/fake_input.h"
#include "page_test_util.h"
#include "cart/capture.h"
#include "platform/system.h"
#include "shell/keyconfig.h"

using z6page::Page;

namespace {

void set_mode(int mode) { zibo6_poke(&pstate, pstate.memory_cart, 0x5f2c, mode); }

TEST(Compose, StoppedBar) {
    Page p;
    p.draw_quadrants();
    pstate.machine_mode = 0;
    pstate.cart_code_running = 0;
    vull_set_clip(pstate.display[0], 0, 0, 10, 10); // as a stopped cart may leave it
    vull_main_draw();
    EXPECT_TRUE(p.matches("stopped_bar")) << "the bar spans the screen whatever the clip";
    EXPECT_EQ(pstate.display[0]->clip_x1, 10) << "and the cart's clip stays";
}

TEST(Compose, PendingActionKeepsThePreviousPage) {
    Page p;
    vull_rectfill(p.page, 0, 0, 127, 127, 9);
    p.draw_quadrants();
    pstate.pending_action = 1;
    vull_main_draw();
    pstate.pending_action = 0;
    EXPECT_EQ(p.page->rows[0][0], 9);
    EXPECT_EQ(p.page->rows[127][127], 9);
}

TEST(Compose, ThePageIsClearedWhereTheScreenDoesNotReach) {
    for (int w : {128, 256}) {
        for (bool clipped : {false, true}) {
            Page p(w, 128);
            p.draw_quadrants();
            vull_rectfill(p.page, 0, 0, w - 1, 127, 9);
            if (clipped) vull_set_clip(p.page, 0, 0, 100, 100);
            vull_main_draw();
            vull_reset_clip(p.page);
            EXPECT_EQ(p.page->rows[0][0], 8) << w << clipped;
            EXPECT_EQ(p.page->rows[127][127], clipped ? 0 : 1) << w << clipped;
            EXPECT_EQ(p.page->rows[0][w - 1], w > 128 || clipped ? 0 : 11) << w << clipped;
        }
    }
}

// Without the multi-display flag a frame leaves the other displays clear,
// however often the cart draws on them between frames.
TEST(Compose, OtherDisplaysAreClearAfterEachFrame) {
    Page p;
    p.draw_quadrants();
    for (int round = 0; round < 3; round++) {
        if (round != 1) {
            set_draw_display(2);
            vull_rectfill(pstate.draw_surface, 0, 0, 127, 127, 5);
            set_draw_display(0);
        }
        vull_main_draw();
        for (int d = 1; d < Z6_DISPLAYS; d++)
            EXPECT_EQ(pstate.display[d]->rows[64][64], 0) << round << " " << d;
        EXPECT_EQ(p.page->rows[0][0], 8) << round;
    }
    set_draw_display(3);
    vull_putpixel(pstate.draw_surface, 1, 1, 7);
    vull_main_draw();
    EXPECT_EQ(pstate.current_display, 0) << "a frame draws on display 0 again";
    EXPECT_EQ(pstate.display[3]->rows[1][1], 0);
}

TEST(Compose, ScreenModes) {
    const struct {
        int mode;
        const char *name;
    } modes[] = {{1, "mode_1_stretch_x"},   {3, "mode_3_stretch_both"}, {5, "mode_5_mirror_x"},
                 {7, "mode_7_mirror_both"}, {131, "mode_131_turn_180"}, {133, "mode_133_turn_90"}};
    for (const auto &m : modes) {
        Page p;
        p.draw_quadrants();
        set_mode(m.mode);
        vull_main_draw();
        EXPECT_TRUE(p.matches(m.name)) << m.mode;
    }
}

TEST(Compose, TurnsUndoEachOther) {
    vull_bitmap *a = vull_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) a->rows[y][x] = uint8_t((x * 7 + y * 3) & 15);
    vull_bitmap *b = vull_create_bitmap(128, 128, 8);
    vull_blit(a, b, 0, 0, 0, 0, 128, 128);
    apply_draw_mode(b, 133);
    EXPECT_EQ(b->rows[0][0], a->rows[127][0]) << "clockwise: new (x,y) = old (y,127-x)";
    apply_draw_mode(b, 135);
    EXPECT_EQ(0, std::memcmp(a->pixels, b->pixels, 128 * 128));
    apply_draw_mode(b, 64 | 129); // bit 6 is ignored
    EXPECT_EQ(b->rows[5][0], a->rows[5][127]);
    apply_draw_mode(b, 129);
    apply_draw_mode(b, 0);
    EXPECT_EQ(0, std::memcmp(a->pixels, b->pixels, 128 * 128));
    vull_destroy_bitmap(a);
    vull_destroy_bitmap(b);
}

TEST(Compose, ModesApplyOnlyToARunningCart) {
    Page p;
    p.draw_quadrants();
    set_mode(133);
    pstate.cart_code_running = 0;
    pstate.machine_mode = 2;
    blit_zibo6_back_page_to_zibo6_screen(0);
    EXPECT_EQ(pstate.screen->rows[0][127], 11);
}

TEST(Compose, ExtendedPaletteModesAndTheGlitch) {
    Page p;
    p.draw_quadrants();
    for (int i = 0; i < 16; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f60 + i, 128 + i);
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f70, 0x02); // row 1 uses the secondary palette
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f5f, 16);
    blit_zibo6_back_page_to_zibo6_screen(0);
    EXPECT_EQ(pstate.screen->rows[0][0], 8);
    EXPECT_EQ(pstate.screen->rows[1][0], 128 + 8);
    int end = zcompose.glitch_end;
    EXPECT_GT(end, 0) << "mode 16 starts the glitch";
    blit_zibo6_back_page_to_zibo6_screen(0);
    EXPECT_EQ(zcompose.glitch_end, end) << "started once per boot";

    clear_extpal_glitch();
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f5f, 48 + 12); // colour 12 becomes a band gradient
    blit_zibo6_back_page_to_zibo6_screen(0);
    EXPECT_EQ(pstate.screen->rows[64][0], 128 + 8);
    EXPECT_EQ(pstate.screen->rows[1][0], 8) << "other colours stay";
    EXPECT_GT(zcompose.glitch_end, 0);

    clear_extpal_glitch();
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f5f, 32); // without screen mode 1: plain
    blit_zibo6_back_page_to_zibo6_screen(0);
    EXPECT_EQ(zcompose.glitch_end, 0);
    set_mode(1);
    pstate.screen->rows[0][100] = 3;
    blit_zibo6_back_page_to_zibo6_screen(0);
    EXPECT_GT(zcompose.glitch_end, 0);
}

// An unchanged screen is not converted again: every input the picture depends
// on, changed alone, must still show, and so must a screen someone else wrote.
TEST(Compose, RecomposesWhateverChanged) {
    Page p;
    p.draw_quadrants();
    auto composed = [](int y, int x) {
        blit_zibo6_back_page_to_zibo6_screen(0);
        return pstate.screen->rows[y][x];
    };
    ASSERT_EQ(composed(0, 0), 8);
    ASSERT_EQ(composed(0, 0), 8) << "composed again from the same inputs";
    pstate.display[0]->rows[0][0] = 3;
    EXPECT_EQ(composed(0, 0), 3) << "a source pixel";
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f10 + 3, 9);
    EXPECT_EQ(composed(0, 0), 9) << "the screen palette";
    pstate.screen->rows[0][0] = 1;
    EXPECT_EQ(composed(0, 0), 9) << "a screen written by something else";
    pstate.screen->rows[127][127] = 2;
    EXPECT_EQ(composed(127, 127), 1) << "the last pixel written by something else";
    for (int i = 0; i < 16; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x5f60 + i, 128 + i);
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f5f, 16);
    EXPECT_EQ(composed(8, 0), 8) << "row 8 unmasked";
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f71, 0x01);
    EXPECT_EQ(composed(8, 0), 128 + 8) << "the row mask";
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f68, 5);
    EXPECT_EQ(composed(8, 0), 5) << "the secondary palette";
    clear_extpal_glitch();
    composed(0, 0);
    EXPECT_GT(zcompose.glitch_end, 0) << "the glitch starts with nothing else changed";
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f5f, 0);
    set_mode(5);
    EXPECT_EQ(composed(0, 127), 9) << "the screen mode";
    pstate.cart_code_running = 0;
    EXPECT_EQ(composed(0, 127), 11) << "a cart that stopped";
}

TEST(Compose, GlitchKeepsItsRowsInRange) {
    Page p;
    p.draw_quadrants();
    blit_zibo6_back_page_to_zibo6_screen(0);
    vull_blit(pstate.screen, p.page, 0, 0, 0, 0, 128, 128);
    draw_extpal_glitch(p.page);
    EXPECT_EQ(p.page->rows[2][127], 8) << "odd-quarter rows shift left, pixel 0 wraps to 127";
    EXPECT_EQ(p.page->rows[2][0], 8);
    EXPECT_EQ(p.page->rows[1][0], 8) << "odd rows stay";
    for (int x = 0; x < 127; x++) {
        int v = p.page->rows[0][x];
        EXPECT_TRUE(v == 8 || v == 11 || v == ((8 - 128) & 255) || v == ((11 - 128) & 255) ||
                    v == 1)
            << x << " " << v;
    }
}

TEST(Compose, ClipFramesCarryTheGlitchWhileItShows) {
    Page p;
    p.draw_quadrants();
    blit_zibo6_back_page_to_zibo6_screen(0);
    clear_extpal_glitch();
    app.gif_len = 1;
    reset_video();
    auto same = [](const vull_bitmap *a, const vull_bitmap *b) {
        for (int y = 0; y < 128; y++)
            if (memcmp(a->rows[y], b->rows[y], 128)) return false;
        return true;
    };
    record_video_frame(pstate.screen);
    ASSERT_NE(video_clip_frame(0), nullptr);
    EXPECT_TRUE(same(video_clip_frame(0), pstate.screen)) << "no glitch: the frame as shown";
    zcompose.glitch_end = vull_get_time() + 100; // well inside its 150 ms
    record_video_frame(pstate.screen);
    vull_blit(pstate.screen, p.page, 0, 0, 0, 0, 128, 128);
    draw_extpal_glitch(p.page);
    EXPECT_TRUE(same(video_clip_frame(1), p.page)) << "the glitch is drawn over the clip's frame";
    EXPECT_FALSE(same(video_clip_frame(1), pstate.screen));
    reset_video();
    app.gif_len = 0;
    clear_extpal_glitch();
}

TEST(Compose, MessageSlidesInAndOut) {
    Page p;
    int now = vull_get_time() + 100000;
    std::snprintf(app.message_text, sizeof app.message_text, "hello");
    app.message_colour = 7;
    app.message_start = now - 100;
    app.message_end = now + 2000;
    vull_clear_bitmap(p.page);
    draw_message_bar(p.page, now);
    EXPECT_EQ(p.page->rows[121 + 5][0], 8);
    EXPECT_EQ(p.page->rows[121 + 4][0], 0) << "100 ms after the start: 5 pixels lower";
    app.message_start = now - 1000;
    app.message_end = now + 50;
    vull_clear_bitmap(p.page);
    draw_message_bar(p.page, now);
    EXPECT_EQ(p.page->rows[127][0], 0) << "50 ms left: 7 pixels lower, off the page";
    app.message_end = now + 150;
    draw_message_bar(p.page, now);
    EXPECT_EQ(p.page->rows[127][0], 8) << "150 ms left: 2 pixels lower";
    EXPECT_EQ(p.page->rows[122][0], 0);
    app.message_end = 0;
}

TEST(Compose, MessageBar) {
    Page p;
    p.draw_quadrants();
    int now = vull_get_time();
    std::snprintf(app.message_text, sizeof app.message_text, "screenshot saved");
    app.message_colour = 7;
    app.message_start = 0;
    app.message_end = now + 60000;
    vull_main_draw();
    app.message_end = 0;
    EXPECT_TRUE(p.matches("message"));
}

TEST(Compose, TvFrame) {
    Page p(144, 136);
    p.draw_quadrants();
    app.tv_frame = 1;
    vull_main_draw();
    EXPECT_EQ(p.page->rows[4][8], 8) << "the picture sits centred";
    EXPECT_EQ(p.page->rows[0][0], 255);
    EXPECT_TRUE(p.matches("tv_frame"));
}

TEST(Compose, KeyConfigScreen) {
    z6input::FakeInput input;
    Page p;
    pstate.machine_mode = 0;
    pstate.cart_code_running = 0;
    pstate.sub_mode = 1;
    std::memset(app.button_keys, 0, sizeof app.button_keys);
    keyconfig_init();
    keyconfig_update();
    z6input::FakeInput::keys[SDL_SCANCODE_J] = true;
    keyconfig_update();
    vull_main_draw();
    pstate.sub_mode = 0;
    std::memset(app.button_keys, 0, sizeof app.button_keys);
    EXPECT_TRUE(p.matches("key_config"));
}

TEST(Compose, ListingVisualLength) {
    EXPECT_EQ(visual_strlen("abc"), 3);
    EXPECT_EQ(visual_strlen("a\x8e"), 3);
    EXPECT_EQ(visual_strlen(""), 0);
}

} // namespace
