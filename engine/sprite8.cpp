// Transparent and single-colour sprite drawing on 8-bit pictures, and the
// colour-mapped and shadow variants.
#include "engine/gfx.h"
#include "platform/video.h"

static bool is_screen(const vull_bitmap *bmp) { return bmp == &vull_screen_actual; }

void vull_draw_sprite(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                      int w, int h) {
    if (!src || !dst || src->bpp != dst->bpp || is_screen(src)) return;
    if (sx >= src->width || sy >= src->height || dx >= dst->clip_x1 || dy >= dst->clip_y1) return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    if (w < 1 || h < 1) return;
    if (is_screen(dst)) {
        vull_blit_to_video_plat(src, dst, sx, sy, dx, dy, w, h, 0);
        return;
    }
    if (!src->rows || !dst->rows) return;
    if (dst->bpp == 8)
        vull_draw_sprite8(src, dst, sx, sy, dx, dy, w, h);
    else if (dst->bpp == 32)
        vull_draw_sprite32(src, dst, sx, sy, dx, dy, w, h);
}

void vull_draw_sprite8(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                       int w, int h) {
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        uint8_t *d = dst->rows[dy + i] + dx;
        for (int x = 0; x < w; x++)
            if (s[x]) d[x] = s[x];
    }
}

void vull_draw_sprite_col(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                          int w, int h, uint32_t colour, int flags) {
    if (!src || !dst || is_screen(dst) || is_screen(src)) return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    const bool mirror = flags & 1;
    if (mirror && h >= 1 && w >= 1) {
        // The rectangle is measured in the mirrored picture.
        sx = src->width - sx - w;
        vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    }
    if (w < 1 || h < 1 || !src->rows || !dst->rows) return;
    // Only depths with a known pixel size are written.
    if (dst->bpp != 8 && dst->bpp != 32) return;
    // Source bytes are read as 8-bit masks whatever the source depth; a
    // narrower-than-8-bit source has too few bytes a row.
    if (src->bpp < 8) return;
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        if (dst->bpp == 8) {
            uint8_t *d = dst->rows[dy + i] + dx;
            for (int x = 0; x < w; x++)
                if (s[x]) d[mirror ? w - 1 - x : x] = uint8_t(colour);
        } else {
            uint32_t *d = reinterpret_cast<uint32_t *>(dst->rows[dy + i]) + dx;
            for (int x = 0; x < w; x++)
                if (s[x]) d[mirror ? w - 1 - x : x] = colour;
        }
    }
}

// The two table-driven 8-bit variants: clip, then let pixel(s, d) give the new
// destination byte wherever the source byte s is not 0.
template <typename Pixel>
static void draw_8bit_variant(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx,
                              int dy, int w, int h, Pixel pixel) {
    if (!src || !dst || is_screen(src) || is_screen(dst) || dst->bpp != 8 || src->bpp < 8 ||
        !src->rows || !dst->rows)
        return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        uint8_t *d = dst->rows[dy + i] + dx;
        for (int x = 0; x < w; x++)
            if (s[x]) d[x] = pixel(s[x], d[x]);
    }
}

void vull_draw_sprite_pal(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                          int w, int h, const uint8_t *colour_map) {
    if (colour_map)
        draw_8bit_variant(src, dst, sx, sy, dx, dy, w, h,
                          [colour_map](uint8_t s, uint8_t) { return colour_map[s]; });
}

void vull_draw_sprite_shadow(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx,
                             int dy, int w, int h, const uint8_t *shade) {
    if (shade)
        draw_8bit_variant(src, dst, sx, sy, dx, dy, w, h,
                          [shade](uint8_t, uint8_t d) { return shade[d]; });
}
