// The picture records the platform presents and the engine makes and draws
// (engine/gfx.h): the bitmap record, the palette record and the engine palette.
#pragma once
#include <cstdint>

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

// 8-bit pixel to 32-bit colour through a palette (opaque).
inline uint32_t vull_palette_colour(const vull_palette_rec *pal, int index) {
    const vull_rgb &e = pal->entry[index & 0xFF];
    return 0xFF000000u | uint32_t(e.r) << 16 | uint32_t(e.g) << 8 | e.b;
}
