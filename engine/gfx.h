// Engine bitmaps and palettes, raster primitives with clipping, blits,
// stretches and sprite drawing.
#pragma once
#include <cstdint>
#include <cstddef>

// An engine picture. 8-bit pixels are palette indices; 32-bit pixels are
// native words 0xAARRGGBB. All pixel access goes through rows, so a bitmap may
// be a window into memory it does not own.
struct vull_bitmap {
    int32_t width;  // pixels per row, at least 1
    int32_t height; // number of rows, at least 1
    int32_t bpp;    // bits per pixel: 8 (indexed) or 32 (colour)
    uint8_t
        *pixels; // width x height x (bpp / 8) bytes, rows top to bottom; null for the screen record
    uint8_t **rows;  // height row pointers into pixels; null for the screen record
    int32_t tag;     // free for the owner; 0 when created, kept by POD files
    int32_t clip_x0; // clip rectangle: x0 <= x < x1, y0 <= y < y1
    int32_t clip_x1;
    int32_t clip_y0;
    int32_t clip_y1;
};

// One palette entry.
struct vull_rgb {
    uint8_t r, g, b;
};

// 256 RGB entries, 768 bytes; an 8-bit pixel p becomes 0xFF000000 | r<<16 | g<<8 | b.
struct vull_palette_rec {
    vull_rgb entry[256];
};
static_assert(sizeof(vull_rgb) == 3, "palette entry is three bytes");
static_assert(sizeof(vull_palette_rec) == 768, "palette record is 768 bytes");

// The engine palette (made by video start-up as a grey ramp); null before that.
extern vull_palette_rec *vull_palette;

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

// 8-bit pixel to 32-bit colour through a palette (opaque).
inline uint32_t vull_palette_colour(const vull_palette_rec *pal, int index) {
    const vull_rgb &e = pal->entry[index & 0xFF];
    return 0xFF000000u | uint32_t(e.r) << 16 | uint32_t(e.g) << 8 | e.b;
}

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
