// The pixel pipeline: colour pairs, the 4x4 fill pattern, the bit-plane
// masks, and the primitives built straight on them (pixel, spans, filled
// rectangle). Every other drawing module writes its pixels by the rule here.
#pragma once
#include <cstdint>

#include "cart/state.h"
#include "engine/gfx.h"

// Fill pattern register bits above the 16-bit pattern.
constexpr uint32_t GFX_FILLP_TRANSPARENT = 0x10000; // pattern bits of 1 draw nothing
constexpr uint32_t GFX_FILLP_SPRITES = 0x20000;     // sprites, map and tline use the pattern
constexpr uint32_t GFX_FILLP_SECONDARY = 0x40000; // shapes take colours from the secondary palette

// Draw palette entry bit: the colour index is transparent for sprites, map and tline.
constexpr int GFX_PAL_TRANSPARENT = 0x10;

// What drawing reads of the console: the decoded draw state, RAM bytes
// that have no decoded form, and the memory cart's sheet, map and flags.
inline draw_state_rec &gfx_state() { return pstate.draw_state; }
inline uint32_t gfx_fill_pattern() { return uint32_t(pstate.draw_state.fill_pattern); }
inline int gfx_write_mask() { return pstate.draw_state.bitplane_mask_low & 15; }
inline int gfx_read_mask() { return pstate.draw_state.bitplane_mask_high & 15; }
inline int gfx_draw_pal(int i) { return pstate.draw_state.draw_pal[i & 15] & 0xff; }
inline int gfx_second_pal(int i) { return pstate.draw_state.secondary_pal[i & 15] & 0xff; }
inline int gfx_ram(int address) { return pstate.console_ram[address & 0xffff]; }
inline const uint8_t *gfx_ram_ptr(int address) { return pstate.console_ram + (address & 0xffff); }
const vull_bitmap *gfx_sheet();      // null without a memory cart
const vull_bitmap *gfx_map_bitmap(); // likewise
int gfx_sprite_flags(int n);         // flag byte of sprite n, 0 out of range

// Work of a drawing call charged as raw cycles (to the slice and to the
// system counter that stat(2) reads).
void gfx_charge_cycles(int cycles);

// Clip rectangle of a surface cut to its bitmap: x0 <= x < x1, y0 <= y < y1.
// Empty when x1 <= x0 or y1 <= y0.
struct gfx_clip_rect {
    int x0, y0, x1, y1;
};
gfx_clip_rect gfx_clip(const vull_bitmap *surface);

// Pattern bit (0 or 1) of surface pixel (x, y): row 0 is the top nibble, and
// within a nibble the top bit is column 0.
constexpr int gfx_pattern_bit(uint32_t pattern, int x, int y) {
    return int(pattern >> ((3 - (y & 3)) * 4 + (3 - (x & 3)))) & 1;
}

// The mask rule: bits outside W keep the old pixel, bits outside R are cleared.
constexpr uint8_t gfx_merge(int old, int colour, int rmask, int wmask) {
    return uint8_t(((colour & rmask & wmask) | (old & ~wmask)) & 15);
}

// Writes one already chosen colour at (x, y) by the mask rule, if the pixel
// lies inside the surface's clip. Every primitive's last step.
void gfx_write_pixel(vull_bitmap *surface, int64_t x, int64_t y, int colour);

// Writes colour pair q at (x, y) by the pattern and mask rules, without a
// clip test; callers have clipped.
void gfx_plot(vull_bitmap *surface, int x, int y, int pair, uint32_t pattern);

// Pixel with the clip test and the given fill pattern value.
void putpixel(vull_bitmap *surface, int x, int y, int pair, uint32_t pattern);

// Spans and rectangles with the fill pattern register; each returns the
// number of pixels it covered after clipping (skipped transparent ones count).
int draw_hline(vull_bitmap *surface, int x0, int x1, int y, int pair);
int draw_vline(vull_bitmap *surface, int x, int y0, int y1, int pair);
int draw_rectfill(vull_bitmap *surface, int x0, int y0, int x1, int y1, int pair);
