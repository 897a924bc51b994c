// Alpha-blended sprite drawing on 32-bit pictures.
#include "engine/gfx.h"

uint32_t vull_blend32(uint32_t d, uint32_t s, int a) {
    if (a <= 0) return d & 0xFFFFFFu;
    if (a >= 255) return s & 0xFFFFFFu;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        out |= ((sc * uint32_t(a) + dc * uint32_t(255 - a)) / 255) << shift;
    }
    return out;
}

// The destination keeps its own alpha byte.
void vull_draw_sprite32(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                        int w, int h) {
    for (int i = 0; i < h; i++) {
        const uint32_t *s = reinterpret_cast<const uint32_t *>(src->rows[sy + i]) + sx;
        uint32_t *d = reinterpret_cast<uint32_t *>(dst->rows[dy + i]) + dx;
        for (int x = 0; x < w; x++) {
            uint32_t sp = s[x];
            d[x] = vull_blend32(d[x], sp, int(sp >> 24)) | (d[x] & 0xFF000000u);
        }
    }
}
