// The pixel pipeline: spans and rectangles against a plain per-pixel model of
// the pattern, transparency, mask and clip rules, and the rule's edge cases.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "console/gfx_pixel.h"
#include "tests/console/gfx_console_util.h"

namespace {

// The rule written out pixel by pixel, nothing shared with the span code.
struct model {
    std::vector<uint8_t> px;
    int w, h;
    int cx0, cy0, cx1, cy1;
    uint32_t pattern;
    int R, W;

    explicit model(const vull_bitmap *s)
        : px(size_t(s->width) * s->height), w(s->width), h(s->height), cx0(s->clip_x0),
          cy0(s->clip_y0), cx1(s->clip_x1), cy1(s->clip_y1), pattern(gfx_fill_pattern()),
          R(gfx_read_mask()), W(gfx_write_mask()) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) px[size_t(y) * w + x] = s->rows[y][x];
        cx0 = std::max(cx0, 0);
        cy0 = std::max(cy0, 0);
        cx1 = std::min(cx1, w);
        cy1 = std::min(cy1, h);
    }
    bool inside(int x, int y) const { return x >= cx0 && x < cx1 && y >= cy0 && y < cy1; }
    void plot(int x, int y, int pair) {
        if (!inside(x, y)) return;
        int b = (pattern >> (15 - ((y & 3) * 4 + (x & 3)))) & 1;
        if (b && (pattern & 0x10000)) return;
        int colour = (pair >> (4 * b)) & 15;
        uint8_t &p = px[size_t(y) * w + x];
        p = uint8_t(((colour & R & W) | (p & ~W)) & 15);
    }
    int hline(int x0, int x1, int y, int pair) {
        int n = 0;
        for (int x = std::min(x0, x1); x <= std::max(x0, x1); x++) {
            if (inside(x, y)) n++;
            plot(x, y, pair);
        }
        return n;
    }
    int vline(int x, int y0, int y1, int pair) {
        int n = 0;
        for (int y = std::min(y0, y1); y <= std::max(y0, y1); y++) {
            if (inside(x, y)) n++;
            plot(x, y, pair);
        }
        return n;
    }
};

void expect_same(const model &m, const vull_bitmap *s, const char *what, int iteration) {
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++)
            ASSERT_EQ(s->rows[y][x], m.px[size_t(y) * m.w + x])
                << what << " differs at " << x << "," << y << " in case " << iteration;
}

class GfxPixel : public gfxconsole::ConsoleTest {};

TEST_F(GfxPixel, SpansAndRectanglesMatchThePerPixelRule) {
    std::mt19937 rng(1234);
    auto r = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // An odd-sized surface too, so that row starts are not word aligned.
    auto odd = gfxtest::make(37, 21, 8);
    for (int i = 0; i < 6000; i++) {
        vull_bitmap *s = (i % 3 == 2) ? odd.get() : surface();
        for (int y = 0; y < s->height; y++)
            for (int x = 0; x < s->width; x++) s->rows[y][x] = uint8_t(r(0, 15));
        if (r(0, 3) == 0)
            vull_reset_clip(s);
        else
            vull_set_clip(s, r(-20, 140), r(-20, 140), r(-20, 160), r(-20, 160));
        uint32_t pattern = r(0, 2) == 0 ? 0 : uint32_t(r(0, 0xffff));
        if (r(0, 1)) pattern |= GFX_FILLP_TRANSPARENT;
        set_fill_pattern(pattern);
        set_masks(r(0, 3) ? 15 : r(0, 15), r(0, 3) ? 15 : r(0, 15));
        int pair = r(0, 255);
        model m(s);
        int op = r(0, 3), got = 0, want = 0;
        int a = r(-200, 300), b = r(-200, 300), c = r(-10, 140), d = r(-10, 140);
        switch (op) {
        case 0:
            got = draw_hline(s, a, b, c, pair);
            want = m.hline(a, b, c, pair);
            break;
        case 1:
            got = draw_vline(s, c, a, b, pair);
            want = m.vline(c, a, b, pair);
            break;
        case 2:
            got = draw_rectfill(s, a / 2, c, b / 2, d, pair);
            for (int y = std::min(c, d); y <= std::max(c, d); y++)
                want += m.hline(a / 2, b / 2, y, pair);
            break;
        default:
            putpixel(s, c, d, pair, pattern);
            m.plot(c, d, pair);
            break;
        }
        EXPECT_EQ(got, want) << "count of op " << op << " in case " << i;
        expect_same(m, s, "surface", i);
        if (HasFatalFailure()) return;
    }
}

TEST_F(GfxPixel, PatternMasksAndClipEdges) {
    vull_bitmap *s = surface();
    // 0x5a5a without transparency: the alternate colour where the bits are 1,
    // column 1 of row 0 first.
    set_fill_pattern(0x5a5a);
    EXPECT_EQ(draw_rectfill(s, 0, 0, 3, 3, 0x92), 16);
    const char *rows[4] = {"2929", "9292", "2929", "9292"};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(s->rows[y][x], rows[y][x] - '0') << x << "," << y;

    // Transparent pattern bits keep the old pixels; the span still counts them.
    fill(s, 5);
    set_fill_pattern(0x5a5a | GFX_FILLP_TRANSPARENT);
    EXPECT_EQ(draw_hline(s, 0, 3, 0, 0x92), 4);
    EXPECT_EQ(s->rows[0][0], 2);
    EXPECT_EQ(s->rows[0][1], 5);

    // Masks: W = 0 changes nothing; W = 15, R = 7 stores 7 for colour 15.
    set_fill_pattern(0);
    fill(s, 3);
    set_masks(7, 0);
    draw_hline(s, 0, 127, 1, 15);
    EXPECT_EQ(s->rows[1][64], 3);
    set_masks(7, 15);
    draw_hline(s, 0, 127, 1, 15);
    EXPECT_EQ(s->rows[1][64], 7);
    set_masks(15, 15);

    // Exclusive right edge, spans off the clip, an empty clip from bytes 10,10,200,5.
    fill(s, 0);
    vull_set_clip(s, 0, 0, 100, 128);
    putpixel(s, 100, 0, 7, 0);
    EXPECT_EQ(s->rows[0][100], 0);
    EXPECT_EQ(draw_hline(s, -50, -1, 5, 7), 0);
    EXPECT_EQ(draw_hline(s, 0, 10, 128, 7), 0);
    EXPECT_EQ(draw_hline(s, 300, 20, 6, 7), 80);
    vull_set_clip(s, 10, 10, 200, 5);
    EXPECT_EQ(s->clip_x1, 128);
    EXPECT_EQ(draw_rectfill(s, 0, 0, 127, 127, 7), 0);
    EXPECT_EQ(draw_vline(s, 20, 0, 127, 7), 0);
}

} // namespace
