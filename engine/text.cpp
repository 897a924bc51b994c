// Text drawing with font pods, and the two engine fonts.
//
// A font pod holds one or more glyph sets back to back, each meant for one
// pixel depth. When the low 8 bits of the item count are 0 a set has 256
// glyphs for codes 0-255, otherwise 96 glyphs for codes 32-127. A glyph's size
// is its advance and line height. Null glyphs (a pod whose count is not a
// multiple of its set size) are neither drawn nor advanced over.
#include "engine/text.h"

#include <algorithm>
#include <climits>

#include "engine/mem.h"
#include "engine/cpod.h"
#include "engine/gfx.h"
#include "platform/video.h"

cpod *vull_font1 = nullptr;
cpod *vull_font2 = nullptr;

int vull_font_spacing = 1;

namespace {

struct font_layout {
    int first; // code of a set's glyph 0
    int size;  // glyphs a set
};

font_layout layout_of(const cpod *font) {
    if ((font->count & 0xFF) == 0) return {0, 256};
    return {32, 96};
}

const vull_bitmap *glyph_at(cpod *font, int64_t index) {
    if (index < 0 || index > INT_MAX) return nullptr;
    return static_cast<const vull_bitmap *>(cpod_get_item(font, int(index), CPOD_BITMAP));
}

// Sum of (glyph width + spacing) over the text's glyphs in the first set.
int64_t text_width(const char *text, cpod *font) {
    font_layout l = layout_of(font);
    int64_t w = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        if (*p < l.first || *p >= l.first + l.size) continue;
        if (const vull_bitmap *g = glyph_at(font, *p - l.first)) w += g->width + vull_font_spacing;
    }
    return w;
}

bool fits_int(int64_t v) { return v >= INT_MIN && v <= INT_MAX; }

} // namespace

int vull_get_text_width(const char *text, cpod *font) {
    if (!text || !font) return -vull_font_spacing;
    return vull_saturate_int32(text_width(text, font) - vull_font_spacing);
}

int vull_set_text_spacing(int n) {
    vull_font_spacing = std::max(0, n);
    return 0;
}

int vull_get_text_spacing() { return vull_font_spacing; }

int vull_draw_text_ex(vull_bitmap *bmp, const char *text, cpod *font, int x_arg, int y_arg,
                      int flags, uint32_t colour) {
    if (!bmp || !text || !font) return y_arg;
    const font_layout l = layout_of(font);
    const int64_t spacing = vull_font_spacing;
    const int64_t aligned = text_width(text, font) - spacing;
    int64_t x = x_arg, y = y_arg;
    bool cut = false;
    const int32_t clip_x0 = bmp->clip_x0;
    if ((flags & VULL_TEXT_CUT) && int64_t(bmp->clip_x1) - x < aligned) {
        // Keep the end of the text; the raised left clip hides its start under "..".
        x = int64_t(bmp->clip_x1) - aligned;
        bmp->clip_x0 = int32_t(std::min<int64_t>(int64_t(clip_x0) + 15, INT_MAX));
        cut = true;
    }
    if (flags & VULL_TEXT_CENTRE) x -= aligned / 2;
    if (flags & VULL_TEXT_RIGHT) x -= aligned;

    // Tinted text uses set 0; otherwise the first set of the bitmap's depth,
    // else the last set examined, tinted.
    int64_t base = 0;
    bool tinted = true;
    if (!(flags & VULL_TEXT_TINT)) {
        for (int64_t set = 0; set < font->count; set += l.size) {
            base = set;
            const vull_bitmap *g0 = glyph_at(font, set);
            if (g0 && g0->bpp == bmp->bpp) {
                tinted = false;
                break;
            }
        }
    }

    int64_t line_height = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        const int c = *p;
        int64_t advance = 0;
        if (c >= l.first && c < l.first + l.size) {
            if (const vull_bitmap *g = glyph_at(font, base + c - l.first)) {
                if (fits_int(x) && fits_int(y)) {
                    if (tinted)
                        vull_draw_sprite_col(g, bmp, 0, 0, int(x), int(y), g->width, g->height,
                                             colour, 0);
                    else
                        vull_draw_sprite(g, bmp, 0, 0, int(x), int(y), g->width, g->height);
                }
                line_height = std::max<int64_t>(line_height, g->height);
                advance = g->width + spacing;
                x += advance;
            }
        }
        if (c == 10 || ((flags & VULL_TEXT_WRAP) && int64_t(bmp->clip_x1) - advance < x)) {
            y += line_height + spacing;
            line_height = 0;
            x = x_arg;
        }
    }
    const int y_end = vull_saturate_int32(y);
    if (cut) {
        bmp->clip_x0 = clip_x0;
        if (vull_font1) vull_draw_text_ex(bmp, "..", vull_font1, bmp->clip_x0, y_end, 0, colour);
    }
    return y_end;
}

void vull_draw_text(vull_bitmap *bmp, const char *text, cpod *font, int x, int y) {
    vull_draw_text_ex(bmp, text, font, x, y, 0, 0);
}

void vull_draw_text_c(vull_bitmap *bmp, const char *text, cpod *font, int x, int y) {
    vull_draw_text_ex(bmp, text, font, x, y, VULL_TEXT_CENTRE, 0);
}

void vull_draw_text_phat(vull_bitmap *bmp, const char *text, cpod *font, int x, int y, int flags,
                         uint32_t outline, uint32_t colour) {
    if (!text || !font) return;
    flags |= VULL_TEXT_TINT;
    for (int j = -1; j <= 1; j++)
        for (int i = -1; i <= 1; i++)
            vull_draw_text_ex(bmp, text, font, x + i, y + j, flags, outline);
    vull_draw_text_ex(bmp, text, font, x, y, flags, colour);
}

/*
** Engine fonts
*/

// One glyph of the engine fonts; bold widens every set pixel one column right.
static vull_bitmap *make_glyph(int code, int width, int bpp, uint32_t ink, bool bold) {
    vull_bitmap *g = vull_create_bitmap(width, 5, bpp);
    if (!g || code < 32 || code > 127) return g;
    for (int row = 0; row < 5; row++) {
        const uint8_t bits = vull_font1_dat[code - 32][row];
        for (int col = 0; col < 5; col++) {
            if (!(bits & (0x10 >> col))) continue;
            vull_putpixel(g, col, row, ink);
            if (bold) vull_putpixel(g, col + 1, row, ink);
        }
    }
    return g;
}

void vull_text_init() {
    vull_text_exit();
    vull_font1 = vull_create_pod(512);
    vull_font2 = vull_create_pod(512);
    if (!vull_font1 || !vull_font2) return;
    for (int bpp : {8, 32}) {
        for (int code = 0; code < 256; code++) {
            if (vull_bitmap *g = make_glyph(code, 5, bpp, bpp == 8 ? 255u : 0xFFC0C0C0u, false))
                cpod_add_item(vull_font1, CPOD_BITMAP, g);
            if (vull_bitmap *g = make_glyph(code, 6, bpp, bpp == 8 ? 255u : 0xFFFFFFFFu, true))
                cpod_add_item(vull_font2, CPOD_BITMAP, g);
        }
    }
}

void vull_text_exit() {
    vull_destroy_pod(vull_font1);
    vull_destroy_pod(vull_font2);
    vull_font1 = nullptr;
    vull_font2 = nullptr;
}
