// Text printing: the one-bit fonts, the control-code interpreter and the
// print context that lets a text wait frames between characters.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct vull_bitmap;

// zibo6_print_text flags.
constexpr int PRINT_WRAP = 16;   // wrap at the surface's clip right
constexpr int PRINT_SCROLL = 32; // scroll the screen when the cursor passes the bottom

// The built-in one-bit font: glyph c in bytes c*8..c*8+7, one byte a row,
// bit i = column i; glyph 0's bytes hold the header (width, wide width,
// height, x offset, y offset).
extern uint8_t bitwise_font_dat[2048];

// The one print in progress, and what it prints with.
struct print_context_rec {
    std::vector<uint8_t> text; // owned copy of the pending text, 4 zero bytes behind it
    size_t pos;                // read position in text
    size_t end;                // where the given text ended
    bool pending;              // a text waits to be continued
    vull_bitmap *surface;      // where it draws
    const uint8_t *font;       // bitwise_font_dat or the custom font in console RAM
    bool wrap;                 // wrap at right_border
    int right_border;          // x beyond which a glyph wraps
    bool scroll;               // scroll the screen at the bottom
    int home_x, home_y;        // where line feeds and 'g' return to
    int fg, bg;                // ink and solid-background colours
    bool padding, wide, tall, dotty, pinball, solid, inverted; // attributes
    int char_w, wide_w, char_h; // glyph cell for codes below 128, width for 128-255
    int x_off, y_off;           // glyph offset from the cursor
    int last_w;                 // width of the last glyph drawn
    int tab_w;                  // tab stop spacing
    int line_h;                 // height of the current line
    int repeat;                 // remaining repeats of the next glyph
    int delay;                  // frames between characters
    int wait;                   // frames still to wait
    int glyph_x, glyph_y;       // where the last glyph was drawn
    bool overprint;             // the next glyph is a decoration
    int saved_x, saved_y;       // cursor to return to after the decoration
    std::string error;          // runtime error a memory command met ("" none)
};
extern print_context_rec print_context;

// Largest cursor x reached by the last print.
extern int print_max_x;
// Line height of the console's carriage return; printing lends it the
// current line's height.
extern int print_line_height;

void init_bitwise_font();
int zibo6_print_text(vull_bitmap *surface, const char *text, int length, int flags, int colours);
int continue_print_text();
int zibo6_print_char(print_context_rec *ctx);
void reset_print_context();
void init_print_context();
void destroy_print_buffer();

// Console text scroll: the cursor moves down a line (scrolling display 0 up
// 6 pixels near the bottom), or the screen and cursor move up n pixels.
void cursor_cr();
void scroll_immediate_mode_screen(int n);

// Takes the runtime error ("bad poke at 0x%x\n") that stopped the last
// print or continuation; empty when there was none. Printing never raises:
// the print binding raises it, the run slice reports it after continuing.
std::string print_take_error();
