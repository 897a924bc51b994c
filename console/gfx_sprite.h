// Sprites, stretched sprites and the map: the four blitters and the three
// drawing operations built on them. Destination coordinates are surface
// coordinates (the camera already subtracted).
#pragma once
#include <cstdint>

struct vull_bitmap;

// Opaque copy of a block through a 16-entry palette (all bits of the entry).
void zibo6_blit(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy, int w,
                int h, int flip_x, int flip_y, const uint8_t *palette);
// 1:1 copy that skips values of 16 and above (with patterns: bits 4-7 set).
void zibo6_draw_sprite(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                       int w, int h);
// The whole source scaled to dw x dh.
void zibo6_stretch_blit(const vull_bitmap *src, vull_bitmap *dst, int dx, int dy, int dw, int dh);
// 1:1 copy through a 16-entry palette that skips transparent entries.
void zibo6_draw_sprite_pal(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy,
                           int w, int h, const uint8_t *palette);

// The operations behind spr, sspr and map; each returns the visible area
// in pixels (the bindings' cost). Sizes are in pixels.
int gfx_spr(vull_bitmap *surface, int n, int x, int y, int w, int h, int flip_x, int flip_y);
int gfx_sspr(vull_bitmap *surface, int sx, int sy, int sw, int sh, int dx, int dy, int dw, int dh,
             int flip_x, int flip_y);
int gfx_map(vull_bitmap *surface, int cel_x, int cel_y, int sx, int sy, int cel_w, int cel_h,
            int layers);
