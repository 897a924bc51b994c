// Blits between bitmaps, the presentation hand-off with its pre-blit
// enlargement, and the nearest-neighbour stretch.
#include <algorithm>
#include <cstring>

#include "engine/config.h"
#include "engine/gfx.h"
#include "platform/video.h"

vull_bitmap *fattened_back_page = nullptr;

static bool is_screen(const vull_bitmap *bmp) { return bmp == &vull_screen_actual; }

void vull_blit(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy, int w,
               int h) {
    if (!src || !dst || dst->bpp < src->bpp || is_screen(src)) return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    if (w < 1 || h < 1) return;
    if (is_screen(dst)) {
        int s = vull_get_preblit_scale();
        if (s < 2) {
            vull_blit_to_video_plat(src, dst, sx, sy, dx, dy, w, h, 0);
            return;
        }
        // Present the whole page enlarged by a whole number, cached between frames.
        int64_t fw = int64_t(src->width) * s, fh = int64_t(src->height) * s;
        if (!fattened_back_page || fattened_back_page->width != fw ||
            fattened_back_page->height != fh || fattened_back_page->bpp != src->bpp) {
            vull_destroy_bitmap(fattened_back_page);
            fattened_back_page = nullptr;
            if (fw > INT32_MAX || fh > INT32_MAX) return;
            fattened_back_page = vull_create_bitmap(int(fw), int(fh), src->bpp);
            if (!fattened_back_page) return;
        }
        vull_stretch_blit(src, fattened_back_page, 0, 0, fattened_back_page->width,
                          fattened_back_page->height, 0);
        vull_blit_to_video_plat(fattened_back_page, dst, 0, 0, 0, 0, fattened_back_page->width,
                                fattened_back_page->height, 0);
        return;
    }
    if (!src->rows || !dst->rows) return;
    if (src->bpp == dst->bpp) {
        // Depths below 8 bits have no pixel block to copy.
        size_t bytes_pp = size_t(src->bpp / 8);
        if (bytes_pp == 0) return;
        for (int i = 0; i < h; i++)
            std::memmove(dst->rows[dy + i] + size_t(dx) * bytes_pp,
                         src->rows[sy + i] + size_t(sx) * bytes_pp, size_t(w) * bytes_pp);
        return;
    }
    if (src->bpp == 8 && dst->bpp == 32) {
        if (!vull_palette) return;
        uint32_t table[256];
        for (int i = 0; i < 256; i++) table[i] = vull_palette_colour(vull_palette, i);
        for (int i = 0; i < h; i++) {
            const uint8_t *s = src->rows[sy + i] + sx;
            uint32_t *d = reinterpret_cast<uint32_t *>(dst->rows[dy + i]) + dx;
            for (int x = 0; x < w; x++) d[x] = table[s[x]];
        }
    }
}

int vull_get_pixel_perfect() {
    if (cconfig.software_blit) return 1;
    return vull_get_pixel_perfect_plat();
}

int vull_get_preblit_scale() {
    if (vull_get_pixel_perfect_plat() != 0 || cconfig.software_blit || cconfig.framebuffer)
        return 1;
    if (cconfig.preblit_scale > 0) return std::min(cconfig.preblit_scale, 8);
    if (!vull_back_page) return 1;
    int W = vull_screen->width, H = vull_screen->height;
    int w = vull_back_page->width, h = vull_back_page->height;
    if (w < W / 4 || h < H / 4) return 4;
    if (w < W / 3 || h < H / 3) return 3;
    if (w < W / 2 || h < H / 2) return 2;
    return 1;
}

void vull_stretch_blit(const vull_bitmap *src, vull_bitmap *dst, int dx, int dy, int dw, int dh,
                       int flags) {
    if (!src || !dst || dw <= 0 || dh <= 0) return;
    if (dw == src->width && dh == src->height) {
        if (flags & 1)
            vull_draw_sprite(src, dst, 0, 0, dx, dy, dw, dh);
        else
            vull_blit(src, dst, 0, 0, dx, dy, dw, dh);
        return;
    }
    // Scaled: the screen record has no rows to write through.
    if (src->bpp != dst->bpp || is_screen(dst) || is_screen(src) || !src->rows || !dst->rows ||
        (src->bpp != 8 && src->bpp != 32))
        return;
    const int64_t cx0 = std::max<int64_t>(dst->clip_x0, 0),
                  cx1 = std::min<int64_t>(dst->clip_x1, dst->width);
    const int64_t cy0 = std::max<int64_t>(dst->clip_y0, 0),
                  cy1 = std::min<int64_t>(dst->clip_y1, dst->height);
    const int64_t stepx = (int64_t(src->width) << 16) / dw,
                  stepy = (int64_t(src->height) << 16) / dh;
    // Sample each destination pixel at the centre of its span.
    int64_t acc_y = stepy / 2, acc_x0 = stepx / 2;
    int64_t x = dx, y = dy, w = dw, h = dh;
    // A rectangle wholly above or left of the clip draws nothing; stopping
    // here also keeps the skipped-span products within 64 bits.
    if (y < cy0) {
        if (cy0 - y >= h) return;
        acc_y += (cy0 - y) * stepy;
        h -= cy0 - y;
        y = cy0;
    }
    if (x < cx0) {
        if (cx0 - x >= w) return;
        acc_x0 += (cx0 - x) * stepx;
        w -= cx0 - x;
        x = cx0;
    }
    w = std::min(w, cx1 - x);
    h = std::min(h, cy1 - y);
    const bool transparent = flags & 1;
    for (int64_t i = 0; i < h; i++, acc_y += stepy) {
        int64_t srow = acc_y >> 16;
        if (srow >= src->height) break;
        int64_t acc_x = acc_x0;
        if (src->bpp == 8) {
            const uint8_t *s = src->rows[srow];
            uint8_t *d = dst->rows[y + i] + x;
            for (int64_t j = 0; j < w; j++, acc_x += stepx) {
                uint8_t p = s[std::min<int64_t>(acc_x >> 16, src->width - 1)];
                if (!transparent || p) d[j] = p;
            }
        } else {
            const uint32_t *s = reinterpret_cast<const uint32_t *>(src->rows[srow]);
            uint32_t *d = reinterpret_cast<uint32_t *>(dst->rows[y + i]) + x;
            for (int64_t j = 0; j < w; j++, acc_x += stepx) {
                uint32_t p = s[std::min<int64_t>(acc_x >> 16, src->width - 1)];
                d[j] = transparent ? vull_blend32(d[j], p, int(p >> 24)) | (d[j] & 0xFF000000u) : p;
            }
        }
    }
}

void vull_draw_texture() {}
