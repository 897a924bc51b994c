// Sprites, stretched sprites and the map. spr and sspr first copy their
// block through the draw palette into a scratch bitmap (16 marks "nothing"),
// then draw that with the transparent blitters.
#include "console/gfx_sprite.h"

#include <algorithm>

#include "console/gfx_pixel.h"

// Scratch bitmaps of spr and sspr, kept while the size needed stays the same.
static struct {
    vull_bitmap *spr;  // spr's block, remade when w or h changes
    vull_bitmap *sspr; // sspr's source rectangle, likewise
} sprite_scratch;

// A scratch bitmap of w x h, filled with 16.
static vull_bitmap *scratch(vull_bitmap *&bmp, int w, int h) {
    if (!bmp || bmp->width != w || bmp->height != h) {
        vull_destroy_bitmap(bmp);
        bmp = vull_create_bitmap(w, h, 8);
        if (!bmp) return nullptr;
    }
    for (int y = 0; y < h; y++) std::fill(bmp->rows[y], bmp->rows[y] + w, uint8_t(16));
    return bmp;
}

void zibo6_blit(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy, int w,
                int h, int flip_x, int flip_y, const uint8_t *palette) {
    if (!src || !dst || !src->rows || !dst->rows) return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    if (w < 1 || h < 1) return;
    for (int j = 0; j < h; j++) {
        const uint8_t *srow = src->rows[flip_y ? sy + h - 1 - j : sy + j];
        uint8_t *drow = dst->rows[dy + j] + dx;
        for (int i = 0; i < w; i++) drow[i] = palette[srow[flip_x ? sx + w - 1 - i : sx + i] & 15];
    }
}

// Draws sprite value v (already through the palette when there is one) at
// a clipped destination pixel.
static inline void sprite_pixel(uint8_t *p, int x, int y, int v, uint32_t pattern, int r, int w) {
    if (!(pattern & GFX_FILLP_SPRITES)) {
        if (v < 16) *p = gfx_merge(*p, v, r, w);
        return;
    }
    if (v & 0xf0) return;
    int b = gfx_pattern_bit(pattern, x, y);
    if (b && (pattern & GFX_FILLP_TRANSPARENT)) return;
    *p = gfx_merge(*p, gfx_second_pal(v) >> (4 * b), r, w);
}

// The 1:1 transparent copy under both sprite blitters; value() turns a
// source pixel into the value drawn (any of bits 4-7 set: nothing).
template <typename F>
static void draw_sprite_with(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx,
                             int dy, int w, int h, F value) {
    if (!src || !dst || !src->rows || !dst->rows) return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    if (w < 1 || h < 1) return;
    uint32_t pattern = gfx_fill_pattern();
    int r = gfx_read_mask(), wm = gfx_write_mask();
    for (int j = 0; j < h; j++) {
        const uint8_t *srow = src->rows[sy + j] + sx;
        uint8_t *drow = dst->rows[dy + j] + dx;
        for (int i = 0; i < w; i++)
            sprite_pixel(drow + i, dx + i, dy + j, value(srow[i]), pattern, r, wm);
    }
}

void zibo6_draw_sprite(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                       int w, int h) {
    draw_sprite_with(src, dst, sx, sy, dx, dy, w, h, [](int v) { return v; });
}

void zibo6_draw_sprite_pal(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                           int w, int h, const uint8_t *palette) {
    // Through the palette, any of bits 4-7 makes the entry transparent in both modes.
    draw_sprite_with(src, dst, sx, sy, dx, dy, w, h, [palette](int v) {
        int p = palette[v & 15];
        return (p & 0xf0) ? 0xf0 : p;
    });
}

void zibo6_stretch_blit(const vull_bitmap *src, vull_bitmap *dst, int dx, int dy, int dw, int dh) {
    if (!src || !dst || !src->rows || !dst->rows || dw <= 0 || dh <= 0) return;
    if (dw == src->width && dh == src->height) {
        zibo6_draw_sprite(src, dst, 0, 0, dx, dy, dw, dh);
        return;
    }
    const int64_t stepx = (int64_t(src->width) << 16) / dw,
                  stepy = (int64_t(src->height) << 16) / dh;
    gfx_clip_rect c = gfx_clip(dst);
    // Cut first: a far off-screen start would overflow the 16.16 positions.
    int64_t x0 = std::max<int64_t>(dx, c.x0), y0 = std::max<int64_t>(dy, c.y0);
    int64_t x1 = std::min<int64_t>(int64_t(dx) + dw, c.x1),
            y1 = std::min<int64_t>(int64_t(dy) + dh, c.y1);
    if (x1 <= x0 || y1 <= y0) return;
    int64_t fx0 = stepx / 2 + stepx * (x0 - dx), fy = stepy / 2 + stepy * (y0 - dy);
    uint32_t pattern = gfx_fill_pattern();
    int r = gfx_read_mask(), wm = gfx_write_mask();
    for (int64_t y = y0; y < y1; y++, fy += stepy) {
        const uint8_t *srow = src->rows[std::min<int64_t>(fy >> 16, src->height - 1)];
        uint8_t *drow = dst->rows[y];
        int64_t fx = fx0;
        for (int64_t x = x0; x < x1; x++, fx += stepx)
            sprite_pixel(drow + x, int(x), int(y),
                         srow[std::min<int64_t>(fx >> 16, src->width - 1)], pattern, r, wm);
    }
}

// Area of a w x h block at (x, y) left inside the surface's clip.
static int visible_area(const vull_bitmap *s, int64_t x, int64_t y, int64_t w, int64_t h) {
    gfx_clip_rect c = gfx_clip(s);
    int64_t cw = std::min<int64_t>(x + w, c.x1) - std::max<int64_t>(x, c.x0);
    int64_t ch = std::min<int64_t>(y + h, c.y1) - std::max<int64_t>(y, c.y0);
    return cw > 0 && ch > 0 ? int(cw * ch) : 0;
}

static void draw_palette(uint8_t out[16]) {
    for (int i = 0; i < 16; i++) out[i] = uint8_t(gfx_draw_pal(i));
}

int gfx_spr(vull_bitmap *s, int n, int x, int y, int w, int h, int flip_x, int flip_y) {
    if (!s || !s->rows || n < 0 || n > 255) return 0;
    w = std::min(w, 128);
    h = std::min(h, 128);
    if (w < 1 || h < 1) return 0;
    vull_bitmap *tmp = scratch(sprite_scratch.spr, w, h);
    if (!tmp) return 0;
    uint8_t pal[16];
    draw_palette(pal);
    zibo6_blit(gfx_sheet(), tmp, (n & 15) * 8, (n >> 4) * 8, 0, 0, w, h, flip_x, flip_y, pal);
    zibo6_draw_sprite(tmp, s, 0, 0, x, y, w, h);
    return visible_area(s, x, y, w, h);
}

int gfx_sspr(vull_bitmap *s, int sx, int sy, int sw, int sh, int dx, int dy, int dw, int dh,
             int flip_x, int flip_y) {
    if (!s || !s->rows || sw < 1 || sw > 128 || sh < 1 || sh > 128 || dw == 0 || dh == 0) return 0;
    int64_t x = dx, y = dy, w = dw, h = dh;
    if (w < 0) {
        x += w;
        w = -w;
        flip_x = !flip_x;
    }
    if (h < 0) {
        y += h;
        h = -h;
        flip_y = !flip_y;
    }
    // Beyond the int range nothing can be visible anyway.
    if (x < INT32_MIN || y < INT32_MIN || w > INT32_MAX || h > INT32_MAX) return 0;
    vull_bitmap *tmp = scratch(sprite_scratch.sspr, sw, sh);
    if (!tmp) return 0;
    uint8_t pal[16];
    draw_palette(pal);
    zibo6_blit(gfx_sheet(), tmp, sx, sy, 0, 0, sw, sh, flip_x, flip_y, pal);
    zibo6_stretch_blit(tmp, s, int(x), int(y), int(w), int(h));
    return visible_area(s, x, y, w, h);
}

int gfx_map(vull_bitmap *s, int cel_x, int cel_y, int sx, int sy, int cel_w, int cel_h,
            int layers) {
    if (!s || !s->rows || cel_w < 1 || cel_h < 1) return 0;
    gfx_clip_rect c = {s->clip_x0, s->clip_y0, s->clip_x1, s->clip_y1};
    int64_t cx = cel_x, cy = cel_y, px = sx, py = sy, cw = cel_w, ch = cel_h;
    // Whole columns and rows left of or above the clip are dropped first.
    if (c.x0 - 7 > px) {
        int64_t k = (c.x0 - px) / 8;
        cx += k;
        cw -= k;
        px += 8 * k;
    }
    if (c.y0 - 7 > py) {
        int64_t k = (c.y0 - py) / 8;
        cy += k;
        ch -= k;
        py += 8 * k;
    }
    cw = std::min<int64_t>(cw, ((int64_t(c.x1) - c.x0 + 7) >> 3) + 1);
    ch = std::min<int64_t>(ch, ((int64_t(c.y1) - c.y0 + 7) >> 3) + 1);
    const vull_bitmap *map = gfx_map_bitmap(), *sheet = gfx_sheet();
    bool cell0 = gfx_ram(0x5f36) & 0x08;
    uint8_t pal[16];
    draw_palette(pal);
    int area = 0;
    for (int64_t j = 0; j < ch; j++) {
        for (int64_t i = 0; i < cw; i++) {
            int64_t mx = cx + i, my = cy + j;
            // Cells outside the map read 0 (vull_getpixel takes ints).
            int t = (mx < 0 || my < 0 || mx >= map->width || my >= map->height)
                        ? 0
                        : int(vull_getpixel(map, int(mx), int(my)));
            if (t == 0 && !cell0) continue;
            if (layers && !(gfx_sprite_flags(t) & layers)) continue;
            int64_t x = px + 8 * i, y = py + 8 * j;
            if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) continue;
            zibo6_draw_sprite_pal(sheet, s, (t & 15) * 8, (t >> 4) * 8, int(x), int(y), 8, 8, pal);
            area += visible_area(s, x, y, 8, 8);
        }
    }
    return area;
}
