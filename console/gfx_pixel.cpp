// The pixel pipeline and its spans. The span writers are the hot path of the
// console: where no pixel of a row can be skipped they write four pixels per
// 32-bit word, merged by the mask rule on all four bytes at once.
#include "console/gfx_pixel.h"

#include <algorithm>
#include <cstring>

#include "cart/cart.h"
#include "console/cpu.h"

const vull_bitmap *gfx_sheet() {
    return pstate.memory_cart ? pstate.memory_cart->sprites : nullptr;
}
const vull_bitmap *gfx_map_bitmap() {
    return pstate.memory_cart ? pstate.memory_cart->map : nullptr;
}
int gfx_sprite_flags(int n) {
    if (!pstate.memory_cart || n < 0 || n > 255) return 0;
    return pstate.memory_cart->sprite_flags[n];
}

void gfx_charge_cycles(int cycles) {
    if (cycles > 0) spend_cpu_8MHz(cycles);
}

gfx_clip_rect gfx_clip(const vull_bitmap *s) {
    gfx_clip_rect c;
    c.x0 = std::max(s->clip_x0, 0);
    c.y0 = std::max(s->clip_y0, 0);
    c.x1 = std::min(s->clip_x1, s->width);
    c.y1 = std::min(s->clip_y1, s->height);
    return c;
}

void gfx_write_pixel(vull_bitmap *s, int64_t x, int64_t y, int colour) {
    gfx_clip_rect c = gfx_clip(s);
    if (x < c.x0 || x >= c.x1 || y < c.y0 || y >= c.y1) return;
    uint8_t *p = s->rows[y] + x;
    *p = gfx_merge(*p, colour, gfx_read_mask(), gfx_write_mask());
}

void gfx_plot(vull_bitmap *s, int x, int y, int pair, uint32_t pattern) {
    int b = gfx_pattern_bit(pattern, x, y);
    if (b && (pattern & GFX_FILLP_TRANSPARENT)) return;
    uint8_t *p = s->rows[y] + x;
    *p = gfx_merge(*p, pair >> (4 * b), gfx_read_mask(), gfx_write_mask());
}

void putpixel(vull_bitmap *s, int x, int y, int pair, uint32_t pattern) {
    if (!s || !s->rows) return;
    gfx_clip_rect c = gfx_clip(s);
    if (x < c.x0 || x >= c.x1 || y < c.y0 || y >= c.y1) return;
    gfx_plot(s, x, y, pair, pattern);
}

// Colour of each of the four pattern phases along a row (or column): 16 marks
// a skipped pixel. `nibble` holds the phases' pattern bits, phase 0 in bit 3.
struct span_colours {
    int c[4];
    bool skips; // some phase is skipped: the span must go pixel by pixel
};

static span_colours phase_colours(int nibble, int pair, uint32_t pattern) {
    span_colours sc{};
    for (int k = 0; k < 4; k++) {
        int b = (nibble >> (3 - k)) & 1;
        if (b && (pattern & GFX_FILLP_TRANSPARENT)) {
            sc.c[k] = 16;
            sc.skips = true;
        } else {
            sc.c[k] = (pair >> (4 * b)) & 15;
        }
    }
    return sc;
}

static inline uint32_t load32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
static inline void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

// Writes pixels xa..xb (inclusive, already clipped) of one row.
static void write_row(uint8_t *row, int xa, int xb, const span_colours &sc) {
    int r = gfx_read_mask(), w = gfx_write_mask();
    if (sc.skips) {
        for (int x = xa; x <= xb; x++) {
            int col = sc.c[x & 3];
            if (col != 16) row[x] = gfx_merge(row[x], col, r, w);
        }
        return;
    }
    int x = xa;
    // Head up to a multiple of four, so that byte k of every word is phase k.
    for (; x <= xb && (x & 3); x++) row[x] = gfx_merge(row[x], sc.c[x & 3], r, w);
    uint32_t colours = 0;
    for (int k = 0; k < 4; k++) colours |= uint32_t(sc.c[k]) << (8 * k);
    uint32_t w4 = uint32_t(w) * 0x01010101u, r4 = uint32_t(r) * 0x01010101u;
    uint32_t keep = ~w4 & 0x0f0f0f0fu, put = colours & r4 & w4 & 0x0f0f0f0fu;
    uint8_t *p = row + x;
    if (w == 15) {
        // Nothing of the old pixels survives: plain stores, sixteen at a time.
        for (; x + 15 <= xb; x += 16, p += 16) {
            store32(p, put);
            store32(p + 4, put);
            store32(p + 8, put);
            store32(p + 12, put);
        }
        for (; x + 3 <= xb; x += 4, p += 4) store32(p, put);
    } else {
        for (; x + 3 <= xb; x += 4, p += 4) store32(p, (load32(p) & keep) | put);
    }
    for (; x <= xb; x++) row[x] = gfx_merge(row[x], sc.c[x & 3], r, w);
}

int draw_hline(vull_bitmap *s, int x0, int x1, int y, int pair) {
    if (!s || !s->rows) return 0;
    gfx_clip_rect c = gfx_clip(s);
    if (y < c.y0 || y >= c.y1) return 0;
    int xa = std::max(c.x0, std::min(x0, x1));
    int xb = std::min(c.x1 - 1, std::max(x0, x1));
    if (xb < xa) return 0;
    uint32_t pattern = gfx_fill_pattern();
    int nibble = int(pattern >> ((3 - (y & 3)) * 4)) & 15;
    write_row(s->rows[y], xa, xb, phase_colours(nibble, pair, pattern));
    return xb - xa + 1;
}

int draw_vline(vull_bitmap *s, int x, int y0, int y1, int pair) {
    if (!s || !s->rows) return 0;
    gfx_clip_rect c = gfx_clip(s);
    if (x < c.x0 || x >= c.x1) return 0;
    int ya = std::max(c.y0, std::min(y0, y1));
    int yb = std::min(c.y1 - 1, std::max(y0, y1));
    if (yb < ya) return 0;
    uint32_t pattern = gfx_fill_pattern();
    // Column x & 3's bit in rows 0-3, row 0 first (in bit 3).
    int nibble = 0;
    for (int row = 0; row < 4; row++)
        nibble |= int((pattern >> ((3 - row) * 4 + (3 - (x & 3)))) & 1) << (3 - row);
    span_colours sc = phase_colours(nibble, pair, pattern);
    int r = gfx_read_mask(), w = gfx_write_mask();
    for (int y = ya; y <= yb; y++) {
        int col = sc.c[y & 3];
        if (col != 16) s->rows[y][x] = gfx_merge(s->rows[y][x], col, r, w);
    }
    return yb - ya + 1;
}

int draw_rectfill(vull_bitmap *s, int x0, int y0, int x1, int y1, int pair) {
    if (!s || !s->rows) return 0;
    gfx_clip_rect c = gfx_clip(s);
    int ya = std::max(c.y0, std::min(y0, y1));
    int yb = std::min(c.y1 - 1, std::max(y0, y1));
    int n = 0;
    for (int y = ya; y <= yb; y++) n += draw_hline(s, x0, x1, y, pair);
    return n;
}
