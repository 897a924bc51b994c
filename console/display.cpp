// Display surfaces and colour conversions.
#include "console/display.h"

#include <algorithm>
#include <cstring>

#include "cart/state.h"
#include "engine/gfx.h"
#include "platform/video.h"

void set_draw_display(int n) {
    pstate.current_display = n;
    fetch_draw_display();
}

int display_surface_index(int n) { return std::clamp(n, 0, Z6_DISPLAYS - 1); }

void fetch_draw_display() {
    if (!pstate.memory_cart) return;
    int index = display_surface_index(pstate.current_display);
    vull_bitmap *s = pstate.display[index];
    if (!s) return;
    pstate.draw_surface = s;
    if (index != 0) pstate.extra_displays_clear = 0;
    // Clip registers are written only to the surface current at the time:
    // carry the decoded clip over so every surface draws inside it.
    const draw_state_rec &d = pstate.draw_state;
    vull_set_clip(s, d.clip_x0, d.clip_y0, d.clip_x1, d.clip_y1);
}

void store_draw_display() {}

int get_number_of_displays() {
    if (app.tv_frame || !vull_back_page) return 1;
    int n = (vull_back_page->width / 128) * (vull_back_page->height / 128);
    return std::clamp(n, 1, Z6_DISPLAYS);
}

namespace {

bool same_size(const vull_bitmap *a, const vull_bitmap *b) {
    return a && b && a->width == b->width && a->height == b->height;
}

void plain_copy(const vull_bitmap *src, vull_bitmap *dst) {
    size_t row = size_t(src->width) * size_t(src->bpp / 8);
    for (int y = 0; y < src->height; y++) std::memcpy(dst->rows[y], src->rows[y], row);
}

int distance2(uint32_t pixel, const vull_rgb &c) {
    int dr = int((pixel >> 16) & 255) - c.r, dg = int((pixel >> 8) & 255) - c.g,
        db = int(pixel & 255) - c.b;
    return dr * dr + dg * dg + db * db;
}

uint32_t pixel32(const vull_bitmap *b, int x, int y) {
    uint32_t p;
    std::memcpy(&p, b->rows[y] + 4 * x, 4);
    return p;
}

} // namespace

void zibo6_convert_bitmap(const vull_bitmap *src, vull_bitmap *dst, const vull_rgb *colours) {
    if (!same_size(src, dst) || !colours) return;
    if (src->bpp == dst->bpp) return plain_copy(src, dst);
    if (src->bpp == 8 && dst->bpp == 32) {
        for (int y = 0; y < src->height; y++)
            for (int x = 0; x < src->width; x++) {
                uint8_t p = src->rows[y][x];
                const vull_rgb &c = colours[p];
                uint32_t v = (p ? 0xff000000u : 0) | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
                std::memcpy(dst->rows[y] + 4 * x, &v, 4);
            }
        return;
    }
    if (src->bpp == 32 && dst->bpp == 8) {
        // A picture's colours come in runs: the last one's match is kept.
        uint32_t last = 0;
        int last_best = -1;
        for (int y = 0; y < src->height; y++)
            for (int x = 0; x < src->width; x++) {
                uint32_t p = pixel32(src, x, y) & 0xffffff; // alpha plays no part
                if (last_best < 0 || p != last) {
                    int best = 0, best_d = -1;
                    for (int k = 0; k < 32; k++) {
                        int idx = k < 16 ? k : 128 + (k - 16);
                        int d = distance2(p, colours[idx]);
                        if (best_d < 0 || d < best_d) best = idx, best_d = d;
                    }
                    last = p;
                    last_best = best;
                }
                dst->rows[y][x] = uint8_t(last_best);
            }
    }
}

void zibo6_convert_bitmap_to_screen_pal(const vull_bitmap *src, vull_bitmap *dst,
                                        const vull_rgb *colours) {
    if (!same_size(src, dst) || !colours) return;
    if (src->bpp == dst->bpp) return plain_copy(src, dst);
    if (src->bpp != 32 || dst->bpp != 8) return;
    const int32_t *pal = pstate.draw_state.screen_pal;
    for (int y = 0; y < src->height; y++)
        for (int x = 0; x < src->width; x++) {
            uint32_t p = pixel32(src, x, y);
            int best = 0, best_d = -1;
            for (int i = 0; i < 16; i++) {
                int d = distance2(p, colours[pal[i] & 255]);
                if (best_d < 0 || d < best_d) best = i, best_d = d;
            }
            dst->rows[y][x] = uint8_t(best);
        }
}
