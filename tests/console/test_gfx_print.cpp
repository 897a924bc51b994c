// Text printing: glyphs, control codes, fonts, waits and their costs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "console/gfx_print.h"
#include "console/mem.h"
#include "engine/cpod.h"
#include "tests/console/gfx_console_util.h"

namespace {

class GfxPrint : public gfxconsole::ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        // A font whose glyph c is a 3 x 5 block, except glyph 2: one pixel at (1, 1).
        font_ = vull_create_pod(256);
        for (int c = 0; c < 256; c++) {
            vull_bitmap *g = vull_create_bitmap(c >= 128 ? 7 : 3, 5, 8);
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < g->width; x++) g->rows[y][x] = c == 2 ? (x == 1 && y == 1) : 1;
            cpod_add_item(font_, CPOD_BITMAP, g);
        }
        saved_font_ = pstate.font_pod;
        pstate.font_pod = font_;
        init_bitwise_font();
        init_print_context();
        print_max_x = 0;
    }
    void TearDown() override {
        pstate.font_pod = saved_font_;
        vull_destroy_pod(font_);
        ConsoleTest::TearDown();
    }
    int print(const std::string &text, int flags = 0, int colour = 7) {
        return zibo6_print_text(surface(), text.data(), int(text.size()), flags, colour);
    }
    int cx() { return pstate.draw_state.cursor_x; }
    int cy() { return pstate.draw_state.cursor_y; }

private:
    cpod *font_ = nullptr;
    cpod *saved_font_ = nullptr;
};

TEST_F(GfxPrint, GlyphsCursorAndLineFeed) {
    EXPECT_EQ(print("ab"), 0);
    EXPECT_EQ(cx(), 0);
    EXPECT_EQ(cy(), 6);
    EXPECT_EQ(print_max_x, 8);
    EXPECT_EQ(count(7), 2 * 15);
    EXPECT_EQ(surface()->rows[0][2], 7);
    EXPECT_EQ(surface()->rows[0][3], 0);
    // Repeat: code 1 with '3' draws the next glyph three times.
    pstate.draw_state.cursor_x = pstate.draw_state.cursor_y = 0;
    print_max_x = 0;
    print(std::string("\x01") + "3x");
    EXPECT_EQ(print_max_x, 12);
    // Tab: at x = 16 with the tab width 16, x stays.
    pstate.console_ram[0x5f36] = 0x04;
    pstate.draw_state.cursor_x = 16;
    print("\t");
    EXPECT_EQ(cx(), 16);
    print("a\t");
    EXPECT_EQ(cx(), 32);
}

TEST_F(GfxPrint, CodeTwoAtTheEndIsAGlyph) {
    pstate.console_ram[0x5f36] = 0x04; // no line feed behind the text
    print("\x02");
    EXPECT_EQ(count(7), 1);
    EXPECT_EQ(surface()->rows[1][1], 7);
    EXPECT_EQ(cx(), 4);
    // Followed by a parameter it is the background colour.
    print(std::string("\x02") + "9a");
    EXPECT_EQ(count(9), 5 * 6 - 15); // the padded cell (its top row clipped) minus the ink
}

TEST_F(GfxPrint, WaitsResumeOnTheFourthCall) {
    EXPECT_NE(print(std::string("a\x06") + "3b"), 0);
    EXPECT_EQ(count(7), 15);
    EXPECT_EQ(continue_print_text(), 1);
    EXPECT_EQ(continue_print_text(), 1);
    EXPECT_EQ(continue_print_text(), 1);
    EXPECT_EQ(count(7), 15);
    EXPECT_EQ(continue_print_text(), 0);
    EXPECT_EQ(count(7), 30);
    EXPECT_EQ(continue_print_text(), 0);
    // A new print drops the pending one.
    EXPECT_NE(print(std::string("a\x06") + "1b"), 0);
    destroy_print_buffer();
    EXPECT_EQ(continue_print_text(), 0);
}

TEST_F(GfxPrint, DelayedBadPokeIsAnErrorNotAnAbort) {
    EXPECT_NE(print(std::string("a\x06") + "1\x06!8000zz"), 0);
    EXPECT_EQ(continue_print_text(), 0);
    EXPECT_EQ(print_take_error(), "bad poke at 0x8000\n");
    EXPECT_EQ(pstate.console_ram[0x8000], 0);
    EXPECT_EQ(print_take_error(), "");
    // With the gate open the same text writes upper memory.
    pstate.console_ram[0x5f36] = 0x10;
    print(std::string("a\x06") + "1\x06!8000zz");
    EXPECT_EQ(continue_print_text(), 0);
    EXPECT_EQ(print_take_error(), "");
    EXPECT_EQ(pstate.console_ram[0x8000], 'z');
    // '@' pokes a counted run and printing goes on after it.
    pstate.draw_state.cursor_x = 0;
    print(std::string("\x06@43000002hiq"));
    EXPECT_EQ(pstate.console_ram[0x4300], 'h');
    EXPECT_EQ(pstate.console_ram[0x4301], 'i');
    EXPECT_EQ(print_max_x, 4);
}

TEST_F(GfxPrint, CursorCodesAndDecorations) {
    pstate.console_ram[0x5f36] = 0x04;
    // Backspace over the last glyph, then a decoration 2 left of it that
    // leaves the cursor where it was.
    print("ab\bc\vwd");
    EXPECT_EQ(cx(), 8);
    EXPECT_EQ(print_max_x, 8);
    // Home, go home, jump: 'h' takes the cursor as home, 'g' returns there.
    pstate.draw_state.cursor_x = 0;
    print("\x06j88\x06hx\x06g\rz");
    EXPECT_EQ(cx(), 36);
    EXPECT_EQ(cy(), 32);
    // Code 12 sets the pen as well as the ink.
    print("\fa");
    EXPECT_EQ(pstate.draw_state.pen_colour, 10);
}

TEST_F(GfxPrint, SoundTextsBuildTheRecord) {
    pstate.console_ram[0x5f36] = 0x04;
    auto peek = [](int a) { return zibo6_peek(&pstate, pstate.memory_cart, a); };
    // No notes: speed 16 and one note of pitch 46, volume 5, in sound 63.
    print("\a");
    int s63 = 0x3200 + 68 * 63;
    EXPECT_EQ(peek(s63 + 65), 16);
    EXPECT_EQ(peek(s63) | peek(s63 + 1) << 8, 46 | 5 << 9);
    // Numbered, with notes of the default instrument 5 and volume 5.
    print("\a12c3e#");
    int s12 = 0x3200 + 68 * 12;
    EXPECT_EQ(peek(s12 + 65), 4);
    EXPECT_EQ(peek(s12) | peek(s12 + 1) << 8, 36 | 5 << 6 | 5 << 9);
    EXPECT_EQ((peek(s12 + 2) | peek(s12 + 3) << 8) & 63, 41);
}

TEST_F(GfxPrint, CustomFontNeedsBitZero) {
    // Custom font: 2 wide, 3 tall, glyph 'a' one full row.
    pstate.console_ram[0x5600] = 2;
    pstate.console_ram[0x5601] = 2;
    pstate.console_ram[0x5602] = 3;
    pstate.console_ram[0x5600 + 'a' * 8] = 0x03;
    pstate.console_ram[0x5f58] = 0x80;
    print("a");
    EXPECT_EQ(count(7), 15);
    fill(surface(), 0);
    pstate.draw_state.cursor_y = 0;
    pstate.console_ram[0x5f58] = 0x81;
    print("a");
    EXPECT_EQ(count(7), 2);
    EXPECT_EQ(cy(), 3);
    // Code 14 switches mid-text, code 15 back.
    fill(surface(), 0);
    pstate.console_ram[0x5f58] = 0;
    pstate.draw_state.cursor_y = 0;
    print("\x0e"
          "a\x0f"
          "a");
    EXPECT_EQ(count(7), 2 + 15);
}

TEST_F(GfxPrint, InvertedWithPaddingFillsTheCell) {
    pstate.console_ram[0x5f58] = 0x01 | 0x02 | 0x20;
    pstate.draw_state.cursor_x = pstate.draw_state.print_left_margin = 1;
    pstate.draw_state.cursor_y = 1;
    print("a");
    // (w + 1) x (h + 1) = 5 x 7 cell minus the 3 x 5 glyph.
    EXPECT_EQ(count(7), 5 * 7 - 15);
}

TEST_F(GfxPrint, CostsAreRawCycles) {
    pstate.system_cycles = 0;
    print("a");
    // One 4 x 6 glyph: (4 * 6 + 1) / 2 = 12, plus two bytes read ("a" and the line feed).
    EXPECT_EQ(pstate.system_cycles, 14);
}

TEST_F(GfxPrint, LongTextsAndScrolling) {
    pstate.display[0] = surface();
    std::string text(100000, 'w');
    text[5000] = '\n';
    EXPECT_EQ(print(text, PRINT_SCROLL | PRINT_WRAP), 0);
    EXPECT_LE(cy(), 128);
    std::string codes;
    for (int i = 0; i < 3000; i++) codes += char(i % 255 + 1);
    print(codes, PRINT_SCROLL);
    print(codes, 0);
    continue_print_text();
    destroy_print_buffer();
    pstate.display[0] = nullptr;
}

TEST_F(GfxPrint, GlyphsOutsideTheClipCostNoDrawing) {
    // huge tall, wide glyphs, each drawn 168 times, below the screen: 786 KB
    // of them walked 15e9 rows when every row of every glyph was visited
    std::string text = "\x06y\xff\x06x\xff\x06t\x06w";
    while (text.size() < 786 * 1024) text += "\x01\xff" "A";
    pstate.draw_state.cursor_y = 200;
    pstate.system_cycles = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(print(text), 0);
    // generous: only the old cost (minutes) passes it
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(count(0), 128 * 128);
    EXPECT_GT(pstate.system_cycles, 1u << 30) << "every glyph is still charged";
}

TEST_F(GfxPrint, UnseenRepeatsEndWhereDrawnOnesWould) {
    // the same repeats below the screen, once glyph by glyph (wrap on, which
    // never triggers within the screen's width) and once at a stroke
    auto run = [&](const char *text, int flags) {
        pstate.draw_state.cursor_x = 3;
        pstate.draw_state.cursor_y = 300;
        pstate.system_cycles = 0;
        print_max_x = 0;
        print(text, flags);
        return std::vector<int64_t>{cx(), cy(), print_max_x, int64_t(pstate.system_cycles)};
    };
    EXPECT_EQ(run("\x01kA", 0), run("\x01kA", PRINT_WRAP));
    EXPECT_EQ(run("\x01kA", 0)[2], 3 + 20 * 4);
    EXPECT_EQ(run("\x01" "e\x81", 0), run("\x01" "e\x81", PRINT_WRAP));
    EXPECT_EQ(run("\x01" "e\x81", 0)[2], 3 + 14 * 8);
    // a decoration goes to the last of them: 8 rows up, 2 columns left
    pstate.draw_state.cursor_x = 0;
    pstate.draw_state.cursor_y = 130;
    print("\x01kA\x0b" "0A", 0);
    int x0 = 128, x1 = -1;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            if (surface()->rows[y][x] == 7) x0 = std::min(x0, x), x1 = std::max(x1, x);
    EXPECT_EQ(x0, 19 * 4 - 2);
    EXPECT_EQ(x1, 19 * 4);
    EXPECT_EQ(surface()->rows[122][76], 7);
}

TEST_F(GfxPrint, TheCursorStopsFarOutInsteadOfOverflowing) {
    // pinball glyphs 336 pixels wide, 168 times each, 65,536 times: 3.7e9 pixels
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f36, 4); // no line feed at the end
    std::string text = "\x06p\x06x\xff";
    for (int i = 0; i < 65536; i++) text += "\x01\xff" "A";
    print(text);
    EXPECT_EQ(cx(), 1 << 30);
    EXPECT_EQ(print_max_x, 1 << 30);
    // every other move from there stays in range: tab, moves, backspace, decoration
    print("\t\x03z\x05zz\x08\x0bzA\x04z");
    EXPECT_LE(cx(), 1 << 30);
    EXPECT_EQ(cy(), 38);
    pstate.draw_state.cursor_x = -(1 << 30) + 5;
    std::string back(70000, '\x08');
    print("\x06p\x06x\xff" "A" + back);
    EXPECT_EQ(cx(), -(1 << 30));
    zibo6_poke(&pstate, pstate.memory_cart, 0x5f36, 0);
}

} // namespace
