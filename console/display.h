// Display surfaces and the conversions between the console's indexed
// bitmaps and 32-bit colour images (labels, screenshots, GIFs, dropped images).
#pragma once
#include <cstdint>

struct vull_bitmap;
struct vull_rgb;

// Selects display surface clamp(n, 0, 3) as the current draw surface (once
// the console's memory exists); the surface takes the clip of the draw state.
void set_draw_display(int n);
// The display surface a display index stands for: clamp(n, 0, 3). Drawing
// and every capture of a display go by this one rule.
int display_surface_index(int n);
void fetch_draw_display();    // re-selects the surface of the stored index
void store_draw_display();    // nothing to store: the surfaces are the displays
int get_number_of_displays(); // how many 128x128 displays the back page holds, 1..4

// src to dst of the same size: a plain copy at equal depths; 8-bit to 32-bit
// through colours (colour 0 transparent); 32-bit to 8-bit the nearest of
// colours 0-15 and 128-143.
void zibo6_convert_bitmap(const vull_bitmap *src, vull_bitmap *dst, const vull_rgb *colours);
// As above, but 32-bit to 8-bit picks the nearest of the 16 colours the
// screen palette shows.
void zibo6_convert_bitmap_to_screen_pal(const vull_bitmap *src, vull_bitmap *dst,
                                        const vull_rgb *colours);
