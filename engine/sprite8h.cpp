// Horizontally mirrored transparent sprites (8-bit pictures only).
#include "engine/gfx.h"
#include "platform/video.h"

void vull_draw_sprite_h(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                        int w, int h) {
    // Only the 8-bit loop exists; other depths and the screen record draw nothing.
    if (!src || !dst || src->bpp != 8 || dst->bpp != 8 || src == &vull_screen_actual ||
        dst == &vull_screen_actual)
        return;
    if (sx >= src->width || sy >= src->height || dx >= dst->clip_x1 || dy >= dst->clip_y1) return;
    vull_clip(src, dst, &sx, &sy, &dx, &dy, &w, &h);
    if (w < 1 || h < 1 || !src->rows || !dst->rows) return;
    vull_draw_sprite8_h(src, dst, src->width - sx - w, sy, dx, dy, w, h);
}

// sx is the column in the source where the mirrored run starts; its first
// pixel lands at dx + w - 1.
void vull_draw_sprite8_h(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                         int w, int h) {
    for (int i = 0; i < h; i++) {
        const uint8_t *s = src->rows[sy + i] + sx;
        uint8_t *d = dst->rows[dy + i] + dx;
        for (int x = 0; x < w; x++)
            if (s[x]) d[w - 1 - x] = s[x];
    }
}
