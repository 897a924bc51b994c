// Lines, textured lines, ovals and the tinted backdrop. Positions are kept in
// 64 bits: after the camera, surface coordinates reach about +-98000, so
// 16.16 positions and the ellipse error terms overflow 32 bits.
#include "console/gfx_shape.h"

#include <algorithm>
#include <cstdlib>

#include "console/gfx_pixel.h"
#include "engine/gui.h"

const uint8_t col_to_b[16] = {0, 1, 3, 5, 4, 2, 11, 15, 7, 12, 13, 9, 8, 6, 10, 14};

namespace {

// A line walked in n + 1 steps from the centre of its start pixel, cut to
// the steps i0..i1 that fall inside the clip.
struct line_walk {
    int64_t X0, Y0, stepx, stepy;
    int64_t i0, i1;
};

// Start (sx, sy) must have the smaller y. False when nothing is inside.
bool line_setup(const gfx_clip_rect &c, int64_t sx, int64_t sy, int64_t ex, int64_t ey,
                line_walk &lw) {
    int64_t dx = ex - sx, dy = ey - sy;
    int64_t n = std::max<int64_t>(std::llabs(dx), dy);
    lw.stepx = n > 0 ? dx * 65536 / n : 0;
    lw.stepy = n > 0 ? dy * 65536 / n : 0;
    if (c.x1 <= c.x0 || c.y1 <= c.y0) return false;
    if (ey < c.y0 || sy >= c.y1) return false;
    if ((sx < c.x0 && ex < c.x0) || (sx >= c.x1 && ex >= c.x1)) return false;
    const int64_t top = c.y0, bottom = c.y1, left = c.x0, right = c.x1;
    lw.X0 = sx * 65536 + 0x8000;
    lw.Y0 = sy * 65536 + 0x8000;
    lw.i0 = 0;
    lw.i1 = n;
    // A step of 0 (only for lines longer than 65536 steps) keeps that
    // coordinate fixed: outside the clip nothing is drawn, inside nothing is cut.
    if (sy < top) {
        if (lw.stepy <= 0) return false;
        lw.i0 = std::max<int64_t>(0, (((top * 65536 - lw.Y0) * 65536 / lw.stepy) >> 16) + 1);
    }
    if (ey >= bottom && lw.stepy > 0)
        lw.i1 = std::min(lw.i1, ((bottom * 65536 - lw.Y0 - 1) * 65536 / lw.stepy) >> 16);
    if (sx < left) {
        if (lw.stepx <= 0) return false;
        lw.i0 = std::max(lw.i0, (((left * 65536 - lw.X0) * 65536 / lw.stepx) >> 16) + 1);
    }
    if (sx >= right) {
        if (lw.stepx >= 0) return false;
        lw.i0 = std::max(lw.i0, (((lw.X0 - right * 65536) * 65536 / -lw.stepx) >> 16) + 1);
    }
    if (ex < left && lw.stepx < 0)
        lw.i1 = std::min(lw.i1, ((lw.X0 - left * 65536 - 1) * 65536 / -lw.stepx) >> 16);
    if (ex >= right && lw.stepx > 0)
        lw.i1 = std::min(lw.i1, ((right * 65536 - lw.X0 - 1) * 65536 / lw.stepx) >> 16);
    return lw.i1 >= lw.i0;
}

} // namespace

int draw_line(vull_bitmap *s, int x0, int y0, int x1, int y1, int pair) {
    if (!s || !s->rows) return 0;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    line_walk lw;
    if (!line_setup(gfx_clip(s), x0, y0, x1, y1, lw)) return 0;
    uint32_t pattern = gfx_fill_pattern();
    for (int64_t i = lw.i0; i <= lw.i1; i++) {
        int64_t X = lw.X0 + i * lw.stepx, Y = lw.Y0 + i * lw.stepy;
        putpixel(s, int(X >> 16), int(Y >> 16), pair, pattern);
    }
    return int(lw.i1 - lw.i0 + 1);
}

// 16.16 map positions wrap like the machine's numbers.
static inline int32_t wrap_add(int32_t a, int64_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }

int draw_tline(vull_bitmap *s, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int32_t mx,
               int32_t my, int32_t mdx, int32_t mdy, int layers) {
    if (!s || !s->rows) return 0;
    int64_t ix0 = x0 >> 16, iy0 = y0 >> 16, ix1 = x1 >> 16, iy1 = y1 >> 16;
    int64_t n = std::max<int64_t>(std::llabs(ix1 - ix0), std::llabs(iy1 - iy0));
    if (iy0 > iy1) {
        std::swap(ix0, ix1);
        std::swap(iy0, iy1);
        mx = wrap_add(mx, int64_t(uint32_t(mdx)) * n);
        my = wrap_add(my, int64_t(uint32_t(mdy)) * n);
        mdx = int32_t(0u - uint32_t(mdx));
        mdy = int32_t(0u - uint32_t(mdy));
    }
    line_walk lw;
    if (!line_setup(gfx_clip(s), ix0, iy0, ix1, iy1, lw)) return 0;
    mx = wrap_add(mx, int64_t(uint32_t(mdx)) * lw.i0);
    my = wrap_add(my, int64_t(uint32_t(mdy)) * lw.i0);

    const vull_bitmap *map = gfx_map_bitmap(), *sheet = gfx_sheet();
    if (!map || !sheet) return 0;
    int wmask = (gfx_ram(0x5f38) - 1) & 255, hmask = (gfx_ram(0x5f39) - 1) & 255;
    int xoff = gfx_ram(0x5f3a), yoff = gfx_ram(0x5f3b);
    bool cell0 = gfx_ram(0x5f36) & 0x08;
    uint32_t pattern = gfx_fill_pattern();
    for (int64_t i = lw.i0; i <= lw.i1; i++) {
        int64_t X = lw.X0 + i * lw.stepx, Y = lw.Y0 + i * lw.stepy;
        int cell =
            int(vull_getpixel(map, ((mx >> 16) & wmask) + xoff, ((my >> 16) & hmask) + yoff));
        if (!(cell == 0 && !cell0) && !(layers && !(gfx_sprite_flags(cell) & layers))) {
            // Sheet pixels are not masked: index the palettes with the low nibble.
            int p = int(vull_getpixel(sheet, (cell & 15) * 8 + ((mx >> 13) & 7),
                                      (cell >> 4) * 8 + ((my >> 13) & 7))) &
                    15;
            int dp = gfx_draw_pal(p);
            if (!(dp & GFX_PAL_TRANSPARENT)) {
                if (!(pattern & GFX_FILLP_SPRITES)) {
                    gfx_write_pixel(s, X >> 16, Y >> 16, dp);
                } else {
                    int b = gfx_pattern_bit(pattern, int(X >> 16), int(Y >> 16));
                    if (!(b && (pattern & GFX_FILLP_TRANSPARENT)))
                        gfx_write_pixel(s, X >> 16, Y >> 16, gfx_second_pal(p) >> (4 * b));
                }
            }
        }
        mx = wrap_add(mx, mdx);
        my = wrap_add(my, mdy);
    }
    return int(lw.i1 - lw.i0 + 1);
}

// The ellipse stepping shared by outline and fill, over integer type T
// (32-bit for small ellipses, 64-bit beyond).
template <typename T, bool FILL>
static int ellipse_steps(vull_bitmap *s, int cx_, int cy_, int rx_, int ry_, int ex_, int ey_,
                         int pair) {
    if (!s || !s->rows) return 0;
    if (!FILL && ry_ < 0) return 0;
    const T cx = cx_, cy = cy_, rx = rx_, ry = ry_, ex = ex_, ey = ey_;
    const T a2 = rx * rx, b2 = ry * ry;
    T err = -a2 * ry, dy = -2 * a2 * ry, dx = 0, x = 0, y = ry;
    const T TX = -(b2 + (a2 >> 2) + (rx % 2));
    const T TY = -((b2 >> 2) + (ry % 2));
    const T TD = TY - a2;
    uint32_t pattern = gfx_fill_pattern();
    int count = 0;
    auto plot = [&](T px, T py) { putpixel(s, int(px), int(py), pair, pattern); };
    auto span = [&](T xa, T xb, T row) {
        count += draw_hline(s, int(xa), int(xb), int(row), pair);
    };
    while (x <= rx) {
        if (!FILL) {
            count += 2;
            plot(cx + x + ex, cy + y + ey);
            if (y || ey) {
                if (x || ex) {
                    plot(cx - x, cy - y);
                    count++;
                }
                plot(cx + x + ex, cy - y);
                count++;
            }
            if (x || ex) {
                plot(cx - x, cy + y + ey);
                count++;
            }
        } else {
            count += 8;
        }
        if (x * b2 + err <= TX || y * a2 + err <= TY) {
            dx += 2 * b2;
            x += 1;
            err += dx;
            continue;
        }
        T y_before = y;
        dy += 2 * a2;
        if (err - y * a2 <= TD) {
            if (FILL) {
                span(cx - x, cx + x + ex, cy - y);
                span(cx - x, cx + x + ex, cy + y + ey);
            }
            dx += 2 * b2;
            x += 1;
            err += dx + dy;
            y -= 1;
        } else {
            if (FILL) {
                span(cx - x, cx + x + ex, cy - y);
                if (y != 0) span(cx - x, cx + x + ex, cy + y + ey);
            }
            err += dy;
            y -= 1;
        }
        if (y_before == 0) break;
    }
    if (FILL && ey == 1) span(cx - rx, cx + rx + ex, cy + 1);
    return count;
}

int draw_ellipse_1(vull_bitmap *s, int cx, int cy, int rx, int ry, int ex, int ey, int pair) {
    return ellipse_steps<int64_t, false>(s, cx, cy, rx, ry, ex, ey, pair);
}

int fill_ellipse_1(vull_bitmap *s, int cx, int cy, int rx, int ry, int ex, int ey, int pair) {
    return ellipse_steps<int64_t, true>(s, cx, cy, rx, ry, ex, ey, pair);
}

int fill_ellipse_1_32bit(vull_bitmap *s, int cx, int cy, int rx, int ry, int ex, int ey, int pair) {
    return ellipse_steps<int32_t, true>(s, cx, cy, rx, ry, ex, ey, pair);
}

template <bool FILL>
static int oval_common(vull_bitmap *s, int x0, int y0, int x1, int y1, int pair) {
    if (!s || !s->rows) return 0;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    int w = x1 - x0, h = y1 - y0;
    gfx_clip_rect c = gfx_clip(s);
    if (w <= 1 || h <= 1) {
        // Rows outside the clip draw nothing: walk only the visible ones.
        int n = 0;
        for (int y = std::max(y0, c.y0); y <= std::min(y1, c.y1 - 1); y++)
            n += draw_hline(s, x0, x1, y, pair);
        return n;
    }
    int cx = (x0 + x1) >> 1, cy = (y0 + y1) >> 1;
    int rx = w >> 1, ry = h >> 1, ex = w & 1, ey = h & 1;
    int ix = 7 * rx / 10, iy = 7 * ry / 10;
    const int left = c.x0, right = c.x1, top = c.y0, bottom = c.y1;
    if (w > right - left && left > cx - ix && right <= cx + ix && top > cy - iy &&
        bottom <= cy + iy) {
        if (!FILL) return 0;
        int n = 0;
        for (int y = std::max(top, c.y0); y <= std::min(bottom, c.y1 - 1); y++)
            n += draw_hline(s, left, right, y, pair);
        return n;
    }
    if (right <= x0 || left > x1 || bottom <= y0 || top > y1) return 0;
    if (!FILL) return draw_ellipse_1(s, cx, cy, rx, ry, ex, ey, pair);
    if (w <= 127 && h <= 127) return fill_ellipse_1_32bit(s, cx, cy, rx, ry, ex, ey, pair);
    return fill_ellipse_1(s, cx, cy, rx, ry, ex, ey, pair);
}

int draw_oval(vull_bitmap *s, int x0, int y0, int x1, int y1, int pair) {
    return oval_common<false>(s, x0, y0, x1, y1, pair);
}

int draw_filloval(vull_bitmap *s, int x0, int y0, int x1, int y1, int pair) {
    return oval_common<true>(s, x0, y0, x1, y1, pair);
}

void draw_tinted_rect_adaptive(vull_bitmap *s, int x0, int y0, int x1, int y1, int mode) {
    if (!s || !s->rows || s->bpp != 8) return;
    // Callers pass a rectangle inside the surface; cut it anyway.
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, s->width - 1);
    y1 = std::min(y1, s->height - 1);
    if (x1 < x0 || y1 < y0) return;
    uint8_t table[16];
    if (mode != 1) {
        for (int i = 0; i < 16; i++) table[i] = i < 6 ? 0 : 1;
    } else {
        static constexpr uint8_t base[16] = {0, 0, 1, 1, 0, 0, 1, 5, 1, 5, 5, 5, 1, 1, 1, 5};
        std::copy(base, base + 16, table);
        if (!vull_get_key_state(225)) {
            int64_t by_rank[16] = {};
            for (int y = y0; y <= y1; y++)
                for (int x = x0; x <= x1; x++) by_rank[col_to_b[s->rows[y][x] & 15]]++;
            int64_t area = int64_t(x1 - x0 + 1) * (y1 - y0 + 1), target = area * 2 / 3;
            int best = 2;
            int64_t best_diff = -1, below = by_rank[0] + by_rank[1];
            for (int k = 2; k < 16; k++) {
                int64_t diff = std::llabs(below - target);
                if (best_diff < 0 || diff < best_diff) {
                    best_diff = diff;
                    best = k;
                }
                below += by_rank[k];
            }
            for (int i = 0; i < 16; i++) table[i] = col_to_b[i] >= best ? 1 : 0;
        }
    }
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) s->rows[y][x] = table[s->rows[y][x] & 15];
}
