// Engine bitmaps and palettes, raster primitives with clipping, blits,
// stretches and sprite drawing.
#pragma once
#include <cstdint>
#include <cstddef>

#include "platform/picture.h" // the bitmap and palette records, the engine palette

// ---- bitmaps and palettes ----
vull_bitmap *vull_create_bitmap(int width, int height, int bpp);
int vull_destroy_bitmap(vull_bitmap *bmp);
void vull_clear_bitmap(vull_bitmap *bmp);
void vull_putpixel(vull_bitmap *bmp, int x, int y, uint32_t colour);
void vull_put_pixel(vull_bitmap *bmp, int x, int y, uint32_t colour);
uint32_t vull_getpixel(const vull_bitmap *bmp, int x, int y);
vull_palette_rec *vull_create_palette();
int vull_destroy_palette(vull_palette_rec *pal);
int vull_find_colour(int r, int g, int b, const vull_palette_rec *pal);
void vull_convert_bitmap(const vull_bitmap *src, vull_bitmap *dst, const vull_palette_rec *pal);
void vull_fade_palette_moment(const vull_palette_rec *a, const vull_palette_rec *b, int t);

// ---- clipping and raster primitives ----
extern int32_t vull_clipdat[4]; // the one saved clip rectangle: x0, x1, y0, y1

int vull_set_clip(vull_bitmap *bmp, int x0, int y0, int x1, int y1);
void vull_reset_clip(vull_bitmap *bmp);
void vull_save_clip(const vull_bitmap *bmp);
void vull_restore_clip(vull_bitmap *bmp);
int code_point(const vull_bitmap *bmp, int x, int y);
// Clips a blit rectangle against the source's size and the destination's clip
// rectangle; callers draw nothing when *w or *h ends below 1.
void vull_clip(const vull_bitmap *src, const vull_bitmap *dst, int *sx, int *sy, int *dx, int *dy,
               int *w, int *h);

void vull_hline(vull_bitmap *bmp, int x0, int x1, int y, uint32_t colour);
void vull_vline(vull_bitmap *bmp, int x, int y0, int y1, uint32_t colour);
void vull_rect(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour);
void vull_rectfill(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour);
void vull_rect_lit(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t edge1, uint32_t fill,
                   uint32_t edge2);
void vull_line(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour);
void vull_line_noclip(vull_bitmap *bmp, int x0, int y0, int x1, int y1, uint32_t colour);

// ---- blits, stretches and sprites ----
// Enlarged copy of the back page for presentation with a pre-blit scale of 2 or more.
extern vull_bitmap *fattened_back_page;

void vull_blit(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy, int w,
               int h);
int vull_get_preblit_scale();
int vull_get_pixel_perfect();
void vull_stretch_blit(const vull_bitmap *src, vull_bitmap *dst, int dx, int dy, int dw, int dh,
                       int flags);
void vull_draw_sprite(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                      int w, int h);
void vull_draw_sprite_col(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                          int w, int h, uint32_t colour, int flags);
void vull_draw_sprite_pal(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                          int w, int h, const uint8_t *colour_map);
void vull_draw_sprite_shadow(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx,
                             int dy, int w, int h, const uint8_t *shade);
void vull_draw_sprite_h(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                        int w, int h);
uint32_t vull_blend32(uint32_t d, uint32_t s, int a);
void vull_draw_texture();

// Inner loops over an already clipped rectangle.
void vull_draw_sprite8(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                       int w, int h);
void vull_draw_sprite32(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                        int w, int h);
void vull_draw_sprite8_h(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                         int w, int h);
