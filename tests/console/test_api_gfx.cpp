// The drawing bindings through a VM state: defaults, colour resolution, the
// camera, return values and the cycles each call charges.
#include <gtest/gtest.h>

#include <string>

#include "console/api.h"
#include "console/gfx_shape.h"
#include "tests/console/gfx_console_util.h"
#include "tests/vm/vm_test_util.h"
#include "vm/lcpu.h"
#include "console/cpu.h"

using z6test::run;

namespace {

std::string tostring_of(int v) { return std::to_string(v); }

class ApiGfx : public gfxconsole::ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        add_c_functions(vm.L);
    }
    std::string text(const std::string &exprs) {
        auto r = run(vm.L, "return " + exprs);
        EXPECT_EQ(r.status, LUA_OK) << exprs << ": " << r.joined();
        return r.joined();
    }
    void exec(const std::string &code) {
        auto r = run(vm.L, code);
        EXPECT_EQ(r.status, LUA_OK) << code << ": " << r.joined();
    }
    // Cycles one direct call charges (no VM instructions in between).
    int cycles_of(const char *name, std::initializer_list<double> args) {
        lua_State *L = vm.L;
        lua_getglobal(L, name);
        for (double a : args) lua_pushnumber(L, int32_t(a * 65536));
        uint32_t before = cpu_cycles_slice;
        lua_call(L, int(args.size()), 0);
        return int32_t(cpu_cycles_slice - before);
    }
    int px(int x, int y) { return surface()->rows[y][x]; }

    z6test::State vm;
};

TEST_F(ApiGfx, CameraClipAndCursorReturnTheirOldValues) {
    EXPECT_EQ(text("camera(-4, 0)"), "0 0");
    EXPECT_EQ(text("camera()"), "-4 0");
    exec("clip(0, 0, 200, 200)");
    EXPECT_EQ(text("clip(0, 0, 16, 16)"), "0 0 128 128");
    exec("clip(10, 10, 20, 20, true)");
    EXPECT_EQ(text("clip()"), "10 10 6 6");
    EXPECT_EQ(surface()->clip_x1, 128);
    EXPECT_EQ(text("cursor(5, 6, 7)"), "0 0 6");
    EXPECT_EQ(text("cursor()"), "5 6 7");
    EXPECT_EQ(text("color()"), "7");
    EXPECT_EQ(text("color(9)"), "6");
}

TEST_F(ApiGfx, PalettesTransparencyAndFillPatterns) {
    EXPECT_EQ(text("pal(7, 8)"), "7");
    EXPECT_EQ(pstate.draw_state.draw_pal[7], 8);
    EXPECT_EQ(text("pal(1, 130, 1)"), "1");
    EXPECT_EQ(pstate.draw_state.screen_pal[1], 130);
    EXPECT_EQ(text("pal(2, 0x33, 2)"), "18");
    EXPECT_EQ(text("pal(2, 5, 3)"), "0");
    exec("pal({[0]=3, 4}, 0)");
    EXPECT_EQ(pstate.draw_state.draw_pal[0], 3 | 16); // transparency kept
    EXPECT_EQ(text("pal()"), "0");
    EXPECT_EQ(pstate.draw_state.draw_pal[7], 7);
    EXPECT_EQ(pstate.draw_state.draw_pal[0], 16);
    EXPECT_EQ(pstate.draw_state.secondary_pal[6], 0xd6);

    // The mask is a whole number: colour 0's bit 15 reads back negative.
    EXPECT_EQ(text("palt(0x8000)"), "-32768");
    EXPECT_EQ(text("palt(3, true)"), "false");
    EXPECT_EQ(text("palt()"), tostring_of(int16_t(0x9000)));
    EXPECT_EQ(text("palt(0, false)"), "true");

    exec("fillp(0x5a5a.8)");
    EXPECT_EQ(uint32_t(pstate.draw_state.fill_pattern), 0x15a5au);
    exec("fillp(0x0f0f.e)");
    EXPECT_EQ(uint32_t(pstate.draw_state.fill_pattern), 0x70f0fu);
    EXPECT_EQ(text("fillp()"), tostring_of(0x0f0f) + ".75");
    EXPECT_EQ(pstate.draw_state.fill_pattern, 0);
}

TEST_F(ApiGfx, PixelsSheetMapAndFlags) {
    exec("camera(-10, -20) pset(1, 2, 8) camera()");
    EXPECT_EQ(px(11, 22), 8);
    EXPECT_EQ(text("pget(11, 22), pget(-1, 0), pget(1)"), "8 0 0");
    exec("clip(0, 0, 5, 5)");
    EXPECT_EQ(text("pget(11, 22)"), "0"); // outside the clip reads 0
    exec("clip() pset(3, 3, 'x')");       // a non-number colour is the palette's 0
    EXPECT_EQ(px(3, 3), 0);
    EXPECT_EQ(text("color()"), "8"); // and leaves the pen alone

    exec("sset(5, 6, 9) sset(200, 0, 9)");
    EXPECT_EQ(text("sget(5, 6), sget(-1, 0)"), "9 0");
    exec("mset(3, 40, 0x21)");
    EXPECT_EQ(text("mget(3, 40), mget(500, 0), sget(6, 80), sget(7, 80)"), "33 0 1 2");
    exec("fset(5, 0x81) fset(5, 1, true) fset(300, 9)");
    EXPECT_EQ(text("fget(5), fget(5, 1), fget(5, 2), fget(300), fget(300, 1)"),
              "131 true false 0 false");
    EXPECT_EQ(text("fget()"), "");
}

TEST_F(ApiGfx, ShapesAndTheirCosts) {
    // cls: everything, cursor and clip reset, 1024 units.
    exec("clip(1, 1, 2, 2) cursor(9, 9)");
    EXPECT_EQ(cycles_of("cls", {3}), 2048);
    EXPECT_EQ(count(3), 128 * 128);
    EXPECT_EQ(text("clip()"), "0 0 128 128");
    // rectfill: pixels / 16 units (two cycles a unit).
    EXPECT_EQ(cycles_of("rectfill", {0, 0, 31, 15, 5}), 2 * (32 * 16 / 16));
    EXPECT_EQ(count(5), 32 * 16);
    // circ with two arguments: radius 4 in the pen; a negative radius nothing.
    exec("cls() color(7) circ(64, 64)");
    EXPECT_EQ(px(60, 64), 7);
    EXPECT_EQ(px(68, 64), 7);
    EXPECT_EQ(px(64, 64), 0);
    exec("cls() circ(64, 64, -1, 7)");
    EXPECT_EQ(count(7), 0);
    // The half radius makes the box one wider with 0x5f36 bit 0x02.
    exec("cls() circfill(64, 64, 2.5, 7)");
    int narrow = count(7);
    pstate.console_ram[0x5f36] = 0x02;
    exec("cls() circfill(64, 64, 2.5, 7)");
    EXPECT_GT(count(7), narrow);
    EXPECT_EQ(px(67, 64), 7);
    // Lines: one pixel; spans cost / 16, diagonals / 2.
    exec("cls() line(0, 0, 0, 0, 7)");
    EXPECT_EQ(count(7), 1);
    EXPECT_EQ(cycles_of("line", {0, 10, 127, 10, 7}), 2 * (128 / 16));
    EXPECT_EQ(cycles_of("line", {0, 0, 63, 63, 7}), 2 * (64 / 2));
    // Ovals: outlines count / 2, fills count / 16, counted as the primitive counts.
    auto other = gfxtest::make(128, 128, 8);
    int outline = draw_oval(other.get(), 40, 40, 60, 60, 7);
    int filled = draw_filloval(other.get(), 40, 40, 60, 60, 7);
    EXPECT_EQ(cycles_of("circ", {50, 50, 10, 7}), 2 * (outline / 2));
    EXPECT_EQ(cycles_of("circfill", {50, 50, 10, 7}), 2 * (filled / 16));
    EXPECT_EQ(cycles_of("ovalfill", {60, 60, 40, 40, 7}), 2 * (filled / 16));
    // tline: two units a position; map: the visible area of the drawn cells.
    EXPECT_EQ(cycles_of("tline", {0, 0, 9, 0, 0, 0}), 2 * 20);
    // Past the 16.16 range after the camera, tline visits what line visits.
    int on_screen = draw_line(other.get(), 65535, 0, 0, 60, 7);
    exec("camera(-32768, 0)");
    EXPECT_EQ(cycles_of("tline", {32767, 0, -32768, 60, 0, 0}), 2 * 2 * on_screen);
    exec("camera()");
    vull_putpixel(gfxconsole::cart_map(pstate.memory_cart), 1, 0, 5);
    EXPECT_EQ(cycles_of("map", {0, 0, 116, 0, 2, 1}),
              2 * (4 * 8)); // cell 1 at x 124: 4 x 8 visible
}

TEST_F(ApiGfx, RectfillColumnsAndRowsGiveTheSamePixels) {
    // A narrow tall rectangle goes by columns, a wide one by rows; with a
    // pattern and masks in play both must equal the rows of the primitive.
    auto other = gfxtest::make(128, 128, 8);
    for (const char *pattern : {"0x5a5a", "0x1234.8", "0xf0f0"}) {
        for (int w = 1; w < 12; w++) {
            fill(surface(), 4);
            fill(other.get(), 4);
            exec(std::string("fillp(") + pattern + ")");
            pstate.draw_state.bitplane_mask_low = 13;
            pstate.draw_state.bitplane_mask_high = 7;
            exec("rectfill(" + std::to_string(3 + w) + ", 2, 3, 40, 0x9c)");
            draw_rectfill(other.get(), 3, 2, 3 + w, 40, 0x9c);
            for (int y = 0; y < 128; y++)
                for (int x = 0; x < 128; x++)
                    ASSERT_EQ(px(x, y), other->rows[y][x]) << pattern << " w " << w;
            set_masks(15, 15);
        }
    }
}

TEST_F(ApiGfx, SpritesAndTheColourPatternMode) {
    // spr with a width and no height draws nothing; 1.5 x 1 sprites are 12 x 8.
    vull_bitmap *sheet = gfxconsole::cart_sheet(pstate.memory_cart);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++) vull_putpixel(sheet, 8 + x, y, 9);
    EXPECT_EQ(cycles_of("spr", {1, 0, 0, 2}), 2); // spend_cpu(0)
    EXPECT_EQ(count(9), 0);
    EXPECT_EQ(cycles_of("spr", {1, 0, 0, 1.5, 1}), 2 * 96);
    EXPECT_EQ(count(9), 96);
    EXPECT_EQ(cycles_of("spr", {256, 0, 0}), 0);
    EXPECT_EQ(cycles_of("spr", {-1, 0, 0}), 0);
    EXPECT_EQ(cycles_of("sspr", {8, 0, 8, 8, 40, 20, -16, 16}), 2 * 256);
    // Colour argument carrying a pattern: bit 0x1000 with mode 1.
    pstate.console_ram[0x5f34] = 1;
    pstate.draw_state.colour_pattern_mode = 1;
    exec("cls() rectfill(0, 0, 3, 3, 0x1107.5a5a)");
    EXPECT_EQ(uint32_t(pstate.draw_state.fill_pattern), 0x15a5au);
    EXPECT_EQ(count(7), 8);
}

TEST_F(ApiGfx, PrintReturnsTheRightMostX) {
    EXPECT_EQ(text("print()"), "");
    EXPECT_EQ(text("print('', 10, 20)"), "10");
    EXPECT_EQ(pstate.draw_state.cursor_y, 26);
    EXPECT_EQ(text("print(true, 0, 0, 7)"), "16");
    EXPECT_EQ(text("print({}, 0, 0)"), tostring_of(4 * 7));
}

} // namespace
