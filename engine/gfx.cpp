// Bitmaps, palettes and raster primitives.
//
// Every primitive writes only inside the bitmap's clip rectangle, intersected
// with the bitmap's own size so that a clip set by hand can never reach past
// the rows. Coordinates are widened to 64 bits where a sum or product of two
// caller values could leave the 32-bit range.
#include "engine/gfx.h"

#include <algorithm>
#include <cstring>

#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/video.h"

int32_t vull_clipdat[4];

namespace {

// Clip rectangle limited to the bitmap's size.
struct clip_box {
    int64_t x0, x1, y0, y1;
};

clip_box clip_of(const vull_bitmap *bmp) {
    clip_box c;
    c.x0 = std::max<int64_t>(bmp->clip_x0, 0);
    c.x1 = std::min<int64_t>(bmp->clip_x1, bmp->width);
    c.y0 = std::max<int64_t>(bmp->clip_y0, 0);
    c.y1 = std::min<int64_t>(bmp->clip_y1, bmp->height);
    return c;
}

// A bitmap the raster functions may write to: not the screen record, with rows, 8 or 32 bits.
bool raster_target(const vull_bitmap *bmp) {
    return bmp && bmp != &vull_screen_actual && bmp->rows && (bmp->bpp == 8 || bmp->bpp == 32);
}

inline void store(vull_bitmap *bmp, int64_t x, int64_t y, uint32_t colour) {
    if (bmp->bpp == 8)
        bmp->rows[y][x] = uint8_t(colour);
    else
        reinterpret_cast<uint32_t *>(bmp->rows[y])[x] = colour;
}

// Fills x0..x1 (inclusive, already clipped) of row y.
void fill_span(vull_bitmap *bmp, int64_t x0, int64_t x1, int64_t y, uint32_t colour) {
    if (x1 < x0) return;
    if (bmp->bpp == 8) {
        std::memset(bmp->rows[y] + x0, uint8_t(colour), size_t(x1 - x0 + 1));
        return;
    }
    uint32_t *row = reinterpret_cast<uint32_t *>(bmp->rows[y]);
    std::fill(row + x0, row + x1 + 1, colour);
}

void hspan(vull_bitmap *bmp, int64_t x0, int64_t x1, int64_t y, uint32_t colour) {
    if (!raster_target(bmp)) return;
    clip_box c = clip_of(bmp);
    if (y < c.y0 || y >= c.y1) return;
    fill_span(bmp, std::max(c.x0, std::min(x0, x1)), std::min(std::max(x0, x1), c.x1 - 1), y,
              colour);
}

void vspan(vull_bitmap *bmp, int64_t x, int64_t y0, int64_t y1, uint32_t colour) {
    if (!raster_target(bmp)) return;
    clip_box c = clip_of(bmp);
    if (x < c.x0 || x >= c.x1) return;
    int64_t from = std::max(c.y0, std::min(y0, y1)), to = std::min(std::max(y0, y1), c.y1 - 1);
    for (int64_t y = from; y <= to; y++) store(bmp, x, y, colour);
}

} // namespace

/*
** Bitmaps
*/

vull_bitmap *vull_create_bitmap(int width, int height, int bpp) {
    if (width < 1 || height < 1 || bpp < 0) return nullptr;
    int64_t stride = int64_t(width) * (bpp >> 3);
    int pixel_bytes = 0, record_bytes = 0;
    if (!vull_checked_size(height, stride, 0, &pixel_bytes) ||
        !vull_checked_size(height, sizeof(uint8_t *), sizeof(vull_bitmap), &record_bytes))
        return nullptr;
    // The record and its row table are one block; the pixels a second one.
    auto *bmp = static_cast<vull_bitmap *>(vull_calloc(record_bytes));
    if (!bmp) return nullptr;
    uint8_t *pixels = nullptr;
    if (pixel_bytes > 0) {
        pixels = static_cast<uint8_t *>(vull_calloc(pixel_bytes));
        if (!pixels) {
            vull_free(bmp);
            return nullptr;
        }
    }
    bmp->width = width;
    bmp->height = height;
    bmp->bpp = bpp;
    bmp->pixels = pixels;
    bmp->rows = reinterpret_cast<uint8_t **>(bmp + 1);
    for (int y = 0; y < height; y++) bmp->rows[y] = pixels ? pixels + int64_t(y) * stride : nullptr;
    bmp->tag = 0;
    bmp->clip_x0 = 0;
    bmp->clip_x1 = width;
    bmp->clip_y0 = 0;
    bmp->clip_y1 = height;
    vull_items_created++;
    return bmp;
}

int vull_destroy_bitmap(vull_bitmap *bmp) {
    if (!bmp) return 0;
    if (bmp->pixels) vull_free(bmp->pixels);
    vull_free(bmp);
    vull_items_created--;
    return 0;
}

void vull_clear_bitmap(vull_bitmap *bmp) {
    if (!bmp || bmp == &vull_screen_actual || !bmp->rows) return;
    // The row size the pixel block was made with, so odd depths stay inside it.
    int64_t row_bytes = int64_t(bmp->width) * (bmp->bpp >> 3);
    if (row_bytes <= 0) return;
    for (int y = 0; y < bmp->height; y++)
        if (bmp->rows[y]) std::memset(bmp->rows[y], 0, size_t(row_bytes));
}

void vull_putpixel(vull_bitmap *bmp, int x, int y, uint32_t colour) {
    if (!raster_target(bmp)) return;
    clip_box c = clip_of(bmp);
    if (x < c.x0 || x >= c.x1 || y < c.y0 || y >= c.y1) return;
    store(bmp, x, y, colour);
}

void vull_put_pixel(vull_bitmap *bmp, int x, int y, uint32_t colour) {
    vull_putpixel(bmp, x, y, colour);
}

uint32_t vull_getpixel(const vull_bitmap *bmp, int x, int y) {
    if (!raster_target(bmp)) return 0;
    clip_box c = clip_of(bmp);
    if (x < c.x0 || x >= c.x1 || y < c.y0 || y >= c.y1) return 0;
    if (bmp->bpp == 8) return bmp->rows[y][x];
    return reinterpret_cast<const uint32_t *>(bmp->rows[y])[x];
}

/*
** Palettes
*/

vull_palette_rec *vull_create_palette() {
    auto *pal = static_cast<vull_palette_rec *>(vull_calloc(sizeof(vull_palette_rec)));
    if (pal) vull_items_created++;
    return pal;
}

int vull_destroy_palette(vull_palette_rec *pal) {
    if (!pal) return 0;
    vull_free(pal);
    vull_items_created--;
    return 0;
}

// Index of the first entry whose squared distance is below close_enough,
// else of the first nearest entry. Components are at most 1024 in size.
static int nearest_colour(const vull_palette_rec *pal, int r, int g, int b, int close_enough) {
    int best = 0, best_dist = 10000000;
    for (int i = 0; i < 256; i++) {
        const vull_rgb &e = pal->entry[i];
        int dr = e.r - r, dg = e.g - g, db = e.b - b;
        int d = dr * dr + dg * dg + db * db;
        if (d < close_enough) return i;
        if (d < best_dist) {
            best_dist = d;
            best = i;
        }
    }
    return best;
}

int vull_find_colour(int r, int g, int b, const vull_palette_rec *pal) {
    if (!pal) return 0;
    // Clamp so the squared distances stay far from overflow for any argument.
    r = std::clamp(r, -1024, 1024);
    g = std::clamp(g, -1024, 1024);
    b = std::clamp(b, -1024, 1024);
    return nearest_colour(pal, r, g, b, 1); // only an exact match stops the search
}

void vull_convert_bitmap(const vull_bitmap *src, vull_bitmap *dst, const vull_palette_rec *pal) {
    if (!src || !dst || src->width != dst->width || src->height != dst->height) return;
    if (src->bpp == dst->bpp) {
        vull_blit(src, dst, 0, 0, 0, 0, src->width, src->height);
        return;
    }
    if (!pal || !src->rows || !dst->rows) return;
    if (src->bpp == 8 && dst->bpp == 32) {
        // Index 0 is the transparent colour; every other index is opaque.
        for (int y = 0; y < src->height; y++) {
            const uint8_t *s = src->rows[y];
            uint32_t *d = reinterpret_cast<uint32_t *>(dst->rows[y]);
            for (int x = 0; x < src->width; x++) {
                uint32_t c = vull_palette_colour(pal, s[x]);
                d[x] = s[x] == 0 ? (c & 0x00FFFFFFu) : c;
            }
        }
    } else if (src->bpp == 32 && dst->bpp == 8) {
        for (int y = 0; y < src->height; y++) {
            for (int x = 0; x < src->width; x++) {
                uint32_t p = vull_getpixel(src, x, y);
                // A close-enough entry is taken at once; else the first nearest.
                int best = nearest_colour(pal, (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF, 27);
                vull_putpixel(dst, x, y, uint32_t(best));
            }
        }
    }
}

void vull_fade_palette_moment(const vull_palette_rec *a, const vull_palette_rec *b, int t) {
    if (!a || !b || !vull_palette) return;
    t = std::clamp(t, 0, 256);
    const uint8_t *pa = &a->entry[0].r, *pb = &b->entry[0].r;
    uint8_t *out = &vull_palette->entry[0].r;
    for (int i = 0; i < 768; i++) out[i] = uint8_t(((pa[i] * (256 - t)) >> 8) + ((pb[i] * t) >> 8));
    vull_set_palette(out);
}

/*
** Clip rectangles
*/

int vull_set_clip(vull_bitmap *bmp, int x0, int y0, int x1, int y1) {
    if (!bmp) return 0;
    bmp->clip_x0 = std::max(0, x0);
    bmp->clip_y0 = std::max(0, y0);
    bmp->clip_x1 = std::min(bmp->width, x1);
    bmp->clip_y1 = std::min(bmp->height, y1);
    return 0;
}

void vull_reset_clip(vull_bitmap *bmp) {
    if (!bmp) return;
    bmp->clip_x0 = 0;
    bmp->clip_x1 = bmp->width;
    bmp->clip_y0 = 0;
    bmp->clip_y1 = bmp->height;
}

void vull_save_clip(const vull_bitmap *bmp) {
    if (!bmp) return;
    vull_clipdat[0] = bmp->clip_x0;
    vull_clipdat[1] = bmp->clip_x1;
    vull_clipdat[2] = bmp->clip_y0;
    vull_clipdat[3] = bmp->clip_y1;
}

void vull_restore_clip(vull_bitmap *bmp) {
    if (!bmp) return;
    bmp->clip_x0 = vull_clipdat[0];
    bmp->clip_x1 = vull_clipdat[1];
    bmp->clip_y0 = vull_clipdat[2];
    bmp->clip_y1 = vull_clipdat[3];
}

int code_point(const vull_bitmap *bmp, int x, int y) {
    if (!bmp) return 0;
    return (x < bmp->clip_x0 ? 1 : 0) | (y < bmp->clip_y0 ? 2 : 0) | (x >= bmp->clip_x1 ? 4 : 0) |
           (y >= bmp->clip_y1 ? 8 : 0);
}

void vull_clip(const vull_bitmap *src, const vull_bitmap *dst, int *psx, int *psy, int *pdx,
               int *pdy, int *pw, int *ph) {
    if (!src || !dst) {
        *ph = 0;
        return;
    }
    clip_box c = clip_of(dst);
    int64_t sw = src->width, sh = src->height;
    int64_t sx = *psx, sy = *psy, dx = *pdx, dy = *pdy, w = *pw, h = *ph;
    if (!(sx < sw && sy < sh && dx < c.x1 && dy < c.y1)) {
        *ph = 0;
        return;
    }
    if (sx < 0) {
        w += sx;
        dx -= sx;
        sx = 0;
    }
    if (sy < 0) {
        h += sy;
        dy -= sy;
        sy = 0;
    }
    if (sx + w > sw) w = sw - sx;
    if (sy + h > sh) h = sh - sy;
    if (dx < c.x0) {
        int64_t d = dx - c.x0;
        w += d;
        sx -= d;
        dx = c.x0;
    }
    if (dy < c.y0) {
        int64_t d = dy - c.y0;
        h += d;
        sy -= d;
        dy = c.y0;
    }
    if (dx + w > c.x1) w = c.x1 - dx;
    if (dy + h > c.y1) h = c.y1 - dy;
    *psx = vull_saturate_int32(sx);
    *psy = vull_saturate_int32(sy);
    *pdx = vull_saturate_int32(dx);
    *pdy = vull_saturate_int32(dy);
    *pw = vull_saturate_int32(w);
    *ph = vull_saturate_int32(h);
}

/*
** Lines and rectangles
*/

void vull_hline(vull_bitmap *bmp, int x0, int x1, int y, uint32_t colour) {
    hspan(bmp, x0, x1, y, colour);
}

void vull_vline(vull_bitmap *bmp, int x, int y0, int y1, uint32_t colour) {
    vspan(bmp, x, y0, y1, colour);
}

void vull_rect(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour) {
    vspan(bmp, x0, y0, y1, colour);
    vspan(bmp, x1, y0, y1, colour);
    hspan(bmp, x0, x1, y0, colour);
    hspan(bmp, x0, x1, y1, colour);
}

void vull_rectfill(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour) {
    if (!raster_target(bmp)) return;
    clip_box c = clip_of(bmp);
    int64_t xa = std::max<int64_t>(c.x0, std::min(x0, x1)),
            xb = std::min<int64_t>(c.x1 - 1, std::max(x0, x1));
    int64_t ya = std::max<int64_t>(c.y0, std::min(y0, y1)),
            yb = std::min<int64_t>(c.y1 - 1, std::max(y0, y1));
    for (int64_t y = ya; y <= yb; y++) fill_span(bmp, xa, xb, y, colour);
}

void vull_rect_lit(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t edge1, uint32_t fill,
                   uint32_t edge2) {
    vull_rectfill(bmp, x0, y0, x1, y1, fill);
    hspan(bmp, int64_t(x0) + 1, x1, y0, edge2);
    vspan(bmp, x1, y0, int64_t(y1) - 1, edge2);
    hspan(bmp, x0, int64_t(x1) - 1, y1, edge1);
    vspan(bmp, x0, int64_t(y0) + 1, y1, edge1);
}

void vull_line_noclip(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour) {
    if (!raster_target(bmp)) return;
    clip_box c = clip_of(bmp);
    int64_t ddx = int64_t(x1) - x0, ddy = int64_t(y1) - y0;
    int64_t n = std::max(ddx < 0 ? -ddx : ddx, ddy < 0 ? -ddy : ddy);
    if (n == 0) n = 1;
    // 16.16 stepping from the middle of the start pixel; 32-bit wrap-around as the machine does.
    uint32_t sx = uint32_t(int64_t(ddx * 65536 / n)), sy = uint32_t(int64_t(ddy * 65536 / n));
    uint32_t X = (uint32_t(x0) << 16) | 0x8000u, Y = (uint32_t(y0) << 16) | 0x8000u;
    for (int64_t i = 0; i <= n; i++) {
        int64_t px = int32_t(X) >> 16, py = int32_t(Y) >> 16;
        if (px >= c.x0 && px < c.x1 && py >= c.y0 && py < c.y1) store(bmp, px, py, colour);
        X += sx;
        Y += sy;
    }
}

// ((0x10000 - t) a + t b) >> 16, wide, truncated to 32 bits.
static int32_t lerp16(int32_t a, int32_t b, int32_t t) {
    return int32_t(uint32_t(uint64_t(((int64_t(0x10000) - t) * a + int64_t(t) * b) >> 16)));
}

static int32_t ratio16(int64_t num, int64_t den) {
    return int32_t(uint32_t(uint64_t(num * 65536 / den)));
}

void vull_line(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour) {
    if (!raster_target(bmp)) return;
    if (x0 == x1) {
        vspan(bmp, x0, y0, y1, colour);
        return;
    }
    if (y0 == y1) {
        hspan(bmp, x0, x1, y0, colour);
        return;
    }
    const int64_t cx0 = bmp->clip_x0, cx1 = bmp->clip_x1, cy0 = bmp->clip_y0, cy1 = bmp->clip_y1;
    int32_t px = x0, py = y0, qx = x1, qy = y1;
    // Each pass clips one end and swaps the ends; two passes normally suffice.
    for (int pass = 0; pass < 8; pass++) {
        int cp = code_point(bmp, px, py), cq = code_point(bmp, qx, qy);
        if (cp == 0 && cq == 0) {
            vull_line_noclip(bmp, px, py, qx, qy, colour);
            return;
        }
        if (cp & cq) return;
        int32_t nx = px, ny = py;
        if (cp & 1) {
            int32_t t = ratio16(cx0 - px, int64_t(qx) - px);
            nx = int32_t(std::max<int64_t>(lerp16(px, qx, t), cx0));
            ny = lerp16(py, qy, t);
        } else if (cp & 4) {
            int32_t t = ratio16(px - (cx1 - 1), int64_t(px) - qx);
            nx = int32_t(std::min<int64_t>(lerp16(px, qx, t), cx1 - 1));
            ny = lerp16(py, qy, t);
        }
        if (cp & 2) {
            if (ny == qy) return;
            int32_t t = ratio16(cy0 - ny, int64_t(qy) - ny);
            nx = lerp16(nx, qx, t);
            ny = int32_t(std::max<int64_t>(lerp16(ny, qy, t), cy0));
        } else if (cp & 8) {
            if (ny == qy) return;
            int32_t t = ratio16(ny - (cy1 - 1), int64_t(ny) - qy);
            nx = lerp16(nx, qx, t);
            ny = int32_t(std::min<int64_t>(lerp16(ny, qy, t), cy1 - 1));
        }
        if (nx == qx) {
            vspan(bmp, qx, ny, qy, colour);
            return;
        }
        if (ny == qy) {
            hspan(bmp, nx, qx, qy, colour);
            return;
        }
        px = qx;
        py = qy;
        qx = nx;
        qy = ny;
    }
}
