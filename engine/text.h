// Bitmap-font text: the two built-in engine fonts and text drawing with any
// font pod (a cpod of glyph bitmaps indexed by character code).
#pragma once
#include <cstdint>

struct vull_bitmap;
struct cpod;

// vull_draw_text_ex flags.
constexpr int VULL_TEXT_TINT = 1;   // paint glyph pixels in the given colour
constexpr int VULL_TEXT_CENTRE = 2; // centre on x
constexpr int VULL_TEXT_RIGHT = 4;  // right-align at x
constexpr int VULL_TEXT_CUT = 8;    // too wide: keep the end, mark the cut start with ".."
constexpr int VULL_TEXT_WRAP = 16;  // new line before passing the clip's right edge

extern cpod *vull_font1;      // 5 x 5 glyphs; set 0 8-bit, set 1 32-bit
extern cpod *vull_font2;      // 6 x 5 bold glyphs, same layout
extern int vull_font_spacing; // pixels after every glyph and between lines; never negative
extern const uint8_t vull_font1_dat[96][5]; // glyph rows of codes 32-127

void vull_text_init();
void vull_text_exit();

// Draws and returns the y of the line on which drawing ended.
int vull_draw_text_ex(vull_bitmap *bmp, const char *text, cpod *font, int x, int y, int flags,
                      uint32_t colour);
void vull_draw_text(vull_bitmap *bmp, const char *text, cpod *font, int x, int y);
void vull_draw_text_c(vull_bitmap *bmp, const char *text, cpod *font, int x, int y);
void vull_draw_text_phat(vull_bitmap *bmp, const char *text, cpod *font, int x, int y, int flags,
                         uint32_t outline, uint32_t colour);
int vull_get_text_width(const char *text, cpod *font);
int vull_set_text_spacing(int n);
int vull_get_text_spacing();

// Modal one-line text input onto the screen; 1 when confirmed with Enter, 0
// otherwise (bad arguments, or the program is quitting).
int vull_get_keyboard_string_ex(char *buffer, int x, int y, cpod *font, int max_len, int width);
int vull_get_keyboard_string(char *buffer, int x, int y, cpod *font, int max_len);
