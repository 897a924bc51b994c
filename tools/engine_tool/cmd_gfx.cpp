// Picture commands: png-info reports a PNG's size; render draws the engine
// fonts' glyph tables, the text layout flags and the raster primitives into a
// PNG for a person to look at.
#include <lodepng.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/text.h"
#include "engine_tool.h"

namespace {

const char *png_error_text(unsigned err) {
    switch (err) {
    case VULL_PNG_CANNOT_OPEN: return "cannot open the file";
    case VULL_PNG_NO_MEMORY: return "out of memory";
    case VULL_PNG_FILE_TOO_LARGE: return "file larger than 256 MB";
    case VULL_PNG_TOO_MANY_PIXELS: return "picture too large";
    default: return lodepng_error_text(err);
    }
}

int run_png_info(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: engine_tool png-info FILE\n");
        return 2;
    }
    unsigned char *rgba = nullptr;
    unsigned w = 0, h = 0;
    unsigned err = LodePNG_decode32_file(&rgba, &w, &h, argv[1]);
    std::free(rgba);
    if (err) {
        std::fprintf(stderr, "png-info: %s: %s (error %u)\n", argv[1], png_error_text(err), err);
        return 1;
    }
    if (w > unsigned(VULL_PNG_MAX_SIDE) || h > unsigned(VULL_PNG_MAX_SIDE)) {
        std::fprintf(stderr, "png-info: %s: %ux%u is larger than %d pixels a side\n", argv[1], w, h,
                     VULL_PNG_MAX_SIDE);
        return 1;
    }
    std::printf("%ux%u\n", w, h);
    return 0;
}

// Colours of the demo page (0xAARRGGBB).
constexpr uint32_t INK_BACK = 0xFF20243A;
constexpr uint32_t INK_PANEL = 0xFF30365A;
constexpr uint32_t INK_EDGE_LIGHT = 0xFF8088C0;
constexpr uint32_t INK_EDGE_DARK = 0xFF101320;
constexpr uint32_t INK_YELLOW = 0xFFF2D54B;
constexpr uint32_t INK_GREEN = 0xFF59C46A;
constexpr uint32_t INK_RED = 0xFFE0524A;
constexpr uint32_t INK_CYAN = 0xFF5AC8E0;
constexpr uint32_t INK_WHITE = 0xFFFFFFFF;

// The 96 printable codes as a 16 x 6 table of cells.
void glyph_table(vull_bitmap *page, cpod *font, int x0, int y0, int cell_w, uint32_t tint) {
    char one[2] = {0, 0};
    for (int code = 32; code < 128; code++) {
        one[0] = char(code);
        const int col = (code - 32) % 16, row = (code - 32) / 16;
        const int x = x0 + col * cell_w, y = y0 + row * 8;
        if (tint)
            vull_draw_text_ex(page, one, font, x, y, VULL_TEXT_TINT, tint);
        else
            vull_draw_text(page, one, font, x, y);
    }
}

void panel(vull_bitmap *page, int x0, int y0, int x1, int y1) {
    vull_rect_lit(page, x0, y0, x1, y1, INK_EDGE_LIGHT, INK_PANEL, INK_EDGE_DARK);
}

void draw_demo(vull_bitmap *page, const char *sample) {
    vull_rectfill(page, 0, 0, page->width - 1, page->height - 1, INK_BACK);

    // Glyph tables: both fonts, the 32-bit sets drawn plainly, set 0 tinted.
    vull_draw_text_ex(page, "FONT 1  (5X5)", vull_font2, 4, 3, VULL_TEXT_TINT, INK_YELLOW);
    panel(page, 2, 11, 133, 62);
    glyph_table(page, vull_font1, 6, 14, 8, 0);
    vull_draw_text_ex(page, "FONT 2  (6X5 BOLD)", vull_font2, 140, 3, VULL_TEXT_TINT, INK_YELLOW);
    panel(page, 138, 11, 285, 62);
    glyph_table(page, vull_font2, 142, 14, 9, 0);
    panel(page, 2, 66, 133, 117);
    glyph_table(page, vull_font1, 6, 69, 8, INK_GREEN);
    panel(page, 138, 66, 285, 117);
    glyph_table(page, vull_font2, 142, 69, 9, INK_CYAN);

    // Text layout flags, each against a marker line at its anchor x.
    panel(page, 2, 121, 185, 197);
    const int ax = 94;
    vull_vline(page, ax, 123, 152, INK_RED);
    vull_draw_text_ex(page, "LEFT AT X", vull_font1, ax, 124, VULL_TEXT_TINT, INK_WHITE);
    vull_draw_text_ex(page, "CENTRED ON X", vull_font1, ax, 131, VULL_TEXT_TINT | VULL_TEXT_CENTRE,
                      INK_WHITE);
    vull_draw_text_ex(page, "RIGHT OF X", vull_font1, ax, 138, VULL_TEXT_TINT | VULL_TEXT_RIGHT,
                      INK_WHITE);
    vull_draw_text_phat(page, sample, vull_font2, 8, 146, 0, 0xFF000000, INK_YELLOW);
    // Cut and wrap inside narrow clip boxes.
    vull_rect(page, 5, 156, 91, 163, INK_EDGE_LIGHT);
    vull_set_clip(page, 6, 157, 91, 163);
    vull_draw_text_ex(page, "THIS LINE IS FAR TOO LONG TO FIT", vull_font1, 6, 158,
                      VULL_TEXT_TINT | VULL_TEXT_CUT, INK_GREEN);
    vull_reset_clip(page);
    vull_rect(page, 95, 156, 182, 194, INK_EDGE_LIGHT);
    vull_set_clip(page, 96, 157, 182, 194);
    vull_draw_text_ex(page, "wrapping goes on by character at the clip edge", vull_font1, 97, 158,
                      VULL_TEXT_TINT | VULL_TEXT_WRAP, INK_CYAN);
    vull_reset_clip(page);
    vull_draw_text_ex(page, "TWO\nLINES", vull_font1, 8, 168, VULL_TEXT_TINT, INK_WHITE);

    // Raster primitives: a clipped line fan, rectangles, spans.
    panel(page, 189, 121, 285, 197);
    vull_rect(page, 199, 130, 251, 170, INK_EDGE_LIGHT);
    vull_set_clip(page, 200, 131, 251, 170);
    for (int i = 0; i <= 12; i++)
        vull_line(page, 190, 190, 190 + i * 12, 120, i % 2 ? INK_CYAN : INK_YELLOW);
    vull_reset_clip(page);
    vull_rectfill(page, 256, 126, 280, 140, INK_RED);
    vull_rect(page, 256, 144, 280, 158, INK_GREEN);
    vull_hline(page, 256, 280, 162, INK_WHITE);
    vull_vline(page, 268, 164, 176, INK_WHITE);

    // An 8-bit sprite through the engine palette, enlarged, mirrored and blended.
    vull_bitmap *sprite = vull_create_bitmap(8, 8, 8);
    static const char *const rows[8] = {"..1111..", ".122221.", "12233221", "12333321",
                                        "12333321", "12233221", ".122221.", "..1..1.."};
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            if (rows[y][x] != '.') vull_putpixel(sprite, x, y, uint32_t(rows[y][x] - '0'));
    vull_bitmap *sprite32 = vull_create_bitmap(8, 8, 32);
    vull_bitmap *big = vull_create_bitmap(24, 24, 32);
    if (sprite && sprite32 && big) {
        vull_blit(sprite, sprite32, 0, 0, 0, 0, 8, 8);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++)
                if (!sprite->rows[y][x])
                    vull_putpixel(sprite32, x, y, 0); // transparent where the index is 0
                else
                    vull_putpixel(sprite32, x, y, vull_getpixel(sprite32, x, y) | 0xFF000000u);
        vull_draw_sprite(sprite32, page, 0, 0, 194, 176, 8, 8);
        vull_stretch_blit(sprite32, big, 0, 0, 24, 24, 0);
        vull_draw_sprite(big, page, 0, 0, 206, 172, 24, 24);
        vull_draw_sprite_col(sprite, page, 0, 0, 234, 176, 8, 8, INK_RED, 1);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++)
                vull_putpixel(sprite32, x, y,
                              (vull_getpixel(sprite32, x, y) & 0xFFFFFF) | 0x80000000u);
        vull_draw_sprite(sprite32, page, 0, 0, 246, 176, 8, 8);
        vull_draw_sprite(sprite32, page, 0, 0, 250, 180, 8, 8);
    }
    vull_destroy_bitmap(sprite);
    vull_destroy_bitmap(sprite32);
    vull_destroy_bitmap(big);
}

int run_render(int argc, char **argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: engine_tool render OUT.png [SCALE] [SAMPLE TEXT]\n");
        return 2;
    }
    const int scale = argc >= 3 ? std::atoi(argv[2]) : 3;
    if (scale < 1 || scale > 8) {
        std::fprintf(stderr, "render: scale must be 1 to 8\n");
        return 2;
    }
    const char *sample = argc >= 4 ? argv[3] : "Outlined: Hi!";

    // The engine palette as video start-up would leave it, with a few colours of our own.
    vull_palette_rec *saved = vull_palette;
    vull_palette = vull_create_palette();
    if (vull_palette) {
        for (int i = 0; i < 256; i++) vull_palette->entry[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
        vull_palette->entry[1] = {0x6B, 0x3A, 0x1E};
        vull_palette->entry[2] = {0xD8, 0x7C, 0x2C};
        vull_palette->entry[3] = {0xF7, 0xE0, 0x8A};
    }
    vull_text_init();
    vull_bitmap *page = vull_create_bitmap(288, 200, 32);
    vull_bitmap *out =
        page ? vull_create_bitmap(page->width * scale, page->height * scale, 32) : nullptr;
    int status = 1;
    if (page && out && vull_palette && vull_font1) {
        draw_demo(page, sample);
        vull_stretch_blit(page, out, 0, 0, out->width, out->height, 0);
        // Opaque picture: the page's alpha bytes are whatever blending left.
        for (int y = 0; y < out->height; y++)
            for (int x = 0; x < out->width; x++)
                vull_putpixel(out, x, y, vull_getpixel(out, x, y) | 0xFF000000u);
        const int err = vull_save_png(argv[1], out);
        if (err)
            std::fprintf(stderr, "render: cannot write %s: %s (error %d)\n", argv[1],
                         png_error_text(unsigned(err)), err);
        else
            status = 0;
    } else {
        std::fprintf(stderr, "render: out of memory\n");
    }
    vull_destroy_bitmap(page);
    vull_destroy_bitmap(out);
    vull_text_exit();
    vull_destroy_palette(vull_palette);
    vull_palette = saved;
    return status;
}

const bool png_info_registered = engine_tool_register(
    {"png-info", "FILE", "prints the PNG's size as WxH, or fails with a message", run_png_info});
const bool render_registered =
    engine_tool_register({"render", "OUT.png [SCALE] [TEXT]",
                          "draws the engine fonts' glyph tables, text flags and primitives into a "
                          "PNG (scale 1-8, default 3)",
                          run_render});

} // namespace
