// Lines, textured lines, ovals and the tinted backdrop, in surface
// coordinates (the camera already subtracted). Each returns the pixel
// positions or the count the bindings turn into CPU cost.
#pragma once
#include <cstdint>

struct vull_bitmap;

int draw_line(vull_bitmap *surface, int x0, int y0, int x1, int y1, int pair);
// Screen coordinates are 16.16 values held in 64 bits (after the camera they
// can pass 32767); the map position and its steps are 16.16 map cells.
int draw_tline(vull_bitmap *surface, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int32_t mx,
               int32_t my, int32_t mdx, int32_t mdy, int layers);
// Box corners inclusive.
int draw_oval(vull_bitmap *surface, int x0, int y0, int x1, int y1, int pair);
int draw_filloval(vull_bitmap *surface, int x0, int y0, int x1, int y1, int pair);

// The stepping cores under the two oval operations.
int draw_ellipse_1(vull_bitmap *surface, int cx, int cy, int rx, int ry, int ex, int ey, int pair);
int fill_ellipse_1(vull_bitmap *surface, int cx, int cy, int rx, int ry, int ex, int ey, int pair);
int fill_ellipse_1_32bit(vull_bitmap *surface, int cx, int cy, int rx, int ry, int ex, int ey,
                         int pair);

// Remaps a rectangle (inclusive corners) to colours 0 and 1 behind overlay
// text; mode 1 picks the split by brightness so about two thirds go dark.
void draw_tinted_rect_adaptive(vull_bitmap *surface, int x0, int y0, int x1, int y1, int mode);

// Brightness rank of each colour.
extern const uint8_t col_to_b[16];
