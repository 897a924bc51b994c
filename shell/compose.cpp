// Frame composition: screen memory (display 0, or the display a
// multi-display cart drew) through the screen palette and the
// extended-palette modes into the screen bitmap, the screen modes, the TV
// frame, the palette glitch and the message bar; the draw itself is draw.cpp.
#include "shell/compose.h"

#include <algorithm>
#include <cstring>

#include "console/button.h"
#include "console/display.h"
#include "console/gfx_shape.h"
#include "console/run.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/text.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/keyconfig.h"
#include "shell/pause.h"
#include "shell/zibo6.h"

compose_state zcompose;

namespace {

constexpr int SCREEN = 128;
constexpr int RES_SPINNER = 212;  // 12 frames
constexpr int RES_DOWNLOAD = 229; // 16 frames
constexpr int RES_DEVKIT_MOUSE = 226;
constexpr int RES_DEVKIT_KEYS = 227;
constexpr int RES_TV_GLOW = 249;

bool cart_running() { return pstate.machine_mode == 1 && pstate.cart_code_running; }

uint8_t ram(int address) { return pstate.console_ram[address]; }

// Screen colours keep bit 7 (extended) and the low nibble.
int screen_colour(int32_t entry) { return entry & 0x8f; }

bool row_masked(int y) { return (ram(0x5f70 + y / 8) >> (y % 8)) & 1; }

void start_glitch() {
    if (zcompose.glitch_end == 0) { // 0 stands for not started
        int end = vull_ms_later(vull_get_time(), 150);
        zcompose.glitch_end = end ? end : 1;
    }
}

vull_palette_rec *resource_palette() {
    return static_cast<vull_palette_rec *>(
        pod_entry_item(pstate.resource_pod, RES_PALETTE, CPOD_PALETTE));
}

} // namespace

vull_bitmap *resource_picture(int n) {
    return static_cast<vull_bitmap *>(pod_entry_item(pstate.resource_pod, n, CPOD_BITMAP));
}

void draw_resource_picture(vull_bitmap *dst, int n, int x, int y) {
    vull_bitmap *pic = resource_picture(n);
    if (pic && dst && pic->bpp == dst->bpp)
        vull_draw_sprite(pic, dst, 0, 0, x, y, pic->width, pic->height);
}

int draw_console_text(vull_bitmap *dst, const char *text, int x, int y, int colour) {
    cpod *font = pstate.font_pod ? pstate.font_pod : vull_font1;
    return vull_draw_text_ex(dst, text, font, x, y, VULL_TEXT_TINT, uint32_t(colour));
}

namespace {

// What the last composition was made from and what it wrote: an idle cart
// presents the same screen memory through the same palettes frame after
// frame, and comparing costs far less than converting again.
struct compose_inputs {
    uint8_t screen[16], second[16], masks[16];
    int32_t m, screen_mode;
    bool running;
    bool operator==(const compose_inputs &) const = default;
};
struct compose_cache_rec {
    bool valid;
    const vull_bitmap *src, *dst;
    compose_inputs in;
    uint8_t src_px[SCREEN * SCREEN], out_px[SCREEN * SCREEN];
};
compose_cache_rec compose_cache;

bool same_pixels(const vull_bitmap *b, const uint8_t *px) {
    for (int y = 0; y < SCREEN; y++)
        if (std::memcmp(b->rows[y], px + y * SCREEN, SCREEN) != 0) return false;
    return true;
}

void keep_pixels(const vull_bitmap *b, uint8_t *px) {
    for (int y = 0; y < SCREEN; y++) std::memcpy(px + y * SCREEN, b->rows[y], SCREEN);
}

} // namespace

void blit_zibo6_back_page_to_zibo6_screen(int display) {
    vull_bitmap *src = pstate.display[pstate.cart_code_running ? display_surface_index(display) : 0];
    vull_bitmap *dst = pstate.screen;
    if (!src || !dst) return;
    if (src->bpp != 8 || dst->bpp != 8 || src->width < SCREEN || src->height < SCREEN ||
        dst->width < SCREEN || dst->height < SCREEN)
        return;
    const draw_state_rec &d = pstate.draw_state;
    compose_inputs in = {};
    uint8_t *screen = in.screen, *second = in.second;
    for (int i = 0; i < 16; i++) {
        screen[i] = uint8_t(screen_colour(d.screen_pal[i]));
        second[i] = uint8_t(screen_colour(ram(0x5f60 + i)));
        in.masks[i] = ram(0x5f70 + i);
    }
    int m = ram(0x5f5f);
    in.m = m;
    in.screen_mode = d.screen_mode;
    in.running = cart_running();
    bool half = m == 32 && d.screen_mode == 1;
    if (m == 16 || half || (m >= 48 && m <= 63)) start_glitch();
    // The screen is only ours to skip while it still holds what we wrote.
    compose_cache_rec &c = compose_cache;
    if (c.valid && c.src == src && c.dst == dst && c.in == in && same_pixels(src, c.src_px) &&
        same_pixels(dst, c.out_px))
        return;
    for (int y = 0; y < SCREEN; y++) {
        const uint8_t *s = src->rows[y];
        uint8_t *o = dst->rows[y];
        bool masked = row_masked(y);
        if (m == 16) {
            const uint8_t *pal = masked ? second : screen;
            for (int x = 0; x < SCREEN; x++) o[x] = pal[s[x] & 15];
        } else if (half) {
            for (int x = 0; x < SCREEN / 2; x++)
                o[x] = s[x + 64] ? second[s[x] & 15] : screen[s[x] & 15];
        } else if (m >= 48 && m <= 63) {
            int band = masked ? (y / 8 + 1) & 15 : y / 8;
            for (int x = 0; x < SCREEN; x++)
                o[x] = s[x] == m - 48 ? second[band] : screen[s[x] & 15];
        } else {
            for (int x = 0; x < SCREEN; x++) o[x] = screen[s[x] & 15];
        }
    }
    if (in.running) apply_draw_mode(dst, d.screen_mode);
    c.src = src;
    c.dst = dst;
    c.in = in;
    keep_pixels(src, c.src_px);
    keep_pixels(dst, c.out_px);
    c.valid = true;
}

void apply_draw_mode(vull_bitmap *bmp, int mode) {
    if (!bmp || bmp->width < SCREEN || bmp->height < SCREEN) return;
    int a = mode & ~66, b = mode & ~64;
    auto px = [bmp](int x, int y) -> uint8_t & { return bmp->rows[y][x]; };
    if (a == 1)
        for (int y = 0; y < SCREEN; y++)
            for (int x = SCREEN - 1; x >= 0; x--) px(x, y) = px(x / 2, y);
    if (b == 2 || b == 3)
        for (int y = SCREEN - 1; y >= 0; y--) std::memcpy(bmp->rows[y], bmp->rows[y / 2], SCREEN);
    if (a == 5)
        for (int y = 0; y < SCREEN; y++)
            for (int x = 0; x < 64; x++) px(127 - x, y) = px(x, y);
    if (b == 6 || b == 7)
        for (int y = 0; y < 64; y++) std::memcpy(bmp->rows[127 - y], bmp->rows[y], SCREEN);
    if (b == 130 || b == 131 || b == 134)
        for (int y = 0; y < 64; y++)
            std::swap_ranges(bmp->rows[y], bmp->rows[y] + SCREEN, bmp->rows[127 - y]);
    if (a == 129 || b == 134)
        for (int y = 0; y < SCREEN; y++) std::reverse(bmp->rows[y], bmp->rows[y] + SCREEN);
    if (b == 133 || b == 135) {
        static uint8_t old[SCREEN][SCREEN];
        for (int y = 0; y < SCREEN; y++) std::memcpy(old[y], bmp->rows[y], SCREEN);
        for (int y = 0; y < SCREEN; y++)
            for (int x = 0; x < SCREEN; x++)
                px(x, y) = b == 133 ? old[127 - x][y] : old[x][127 - y];
    }
}

void draw_message_bar(vull_bitmap *page, int now) {
    const char *text = app.message_text;
    int colour = app.message_colour;
    int o = 0;
    int left = vull_ms_between(now, app.message_end);
    if (app.message_end && left > 0) {
        int age = vull_ms_between(app.message_start, now);
        if (app.message_start == 0)
            o = 0;
        else if (age < 200)
            o = (200 - age) / 20;
        else if (left < 200)
            o = (200 - left) / 20;
    } else if (app.hover_text[0]) {
        text = app.hover_text;
        colour = 2;
    } else {
        return;
    }
    if (std::strcmp(text, "devkit mouse enabled") == 0) {
        vull_rect(page, 0, 119 + o, 101, 127 + o, 0);
        vull_rectfill(page, 1, 120 + o, 100, 126 + o, 6);
        draw_console_text(page, text, 16, 121 + o, 1);
        draw_resource_picture(page, RES_DEVKIT_MOUSE, 2, 112 + 2 * o);
    } else if (std::strcmp(text, "devkit keyboard enabled") == 0) {
        vull_rect(page, 0, 119 + o, 101, 127 + o, 0);
        vull_rectfill(page, 1, 120 + o, 127, 126 + o, 6);
        draw_console_text(page, text, 16, 121 + o, 1);
        draw_resource_picture(page, RES_DEVKIT_KEYS, 109, 112 + 2 * o);
    } else {
        vull_rectfill(page, 0, 121 + o, 128, 127 + o, 8);
        draw_console_text(page, text, 1, 122 + o, colour);
    }
}

void draw_tv_frame(vull_bitmap *page) {
    if (!page || page->bpp != 8 || page->width < SCREEN || page->height < SCREEN) return;
    int W = page->width, H = page->height;
    if (!zcompose.tv_scratch) zcompose.tv_scratch = vull_create_bitmap(SCREEN, SCREEN, 8);
    vull_bitmap *pic = zcompose.tv_scratch;
    if (!pic) return;
    vull_blit(page, pic, 0, 0, 0, 0, SCREEN, SCREEN);
    vull_clear_bitmap(page);
    vull_blit(pic, page, 0, 0, (W - SCREEN) / 2, (H - SCREEN) / 2, SCREEN, SCREEN);

    vull_palette_rec *pal = resource_palette();
    if (!pal) return;
    pal->entry[255] = {73, 51, 59};
    // Each edge band takes the weighted mean colour of the picture's nearer half.
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < 64; i++) {
            int64_t total = 0, R = 0, G = 0, B = 0;
            for (int y = 2 * i; y < 2 * i + 2; y++) {
                for (int k = 0; k < 64; k++) {
                    int x = side == 0 ? k : 127 - k;
                    int w = side == 0 ? 80 - x : x - 47;
                    const vull_rgb &c = pal->entry[pic->rows[y][x]];
                    int64_t v = c.r + c.g + c.b + w;
                    total += v;
                    R += v * c.r;
                    G += v * c.g;
                    B += v * c.b;
                }
            }
            pal->entry[(side ? 144 : 16) + i] = {uint8_t(R / total), uint8_t(G / total),
                                                 uint8_t(B / total)};
        }
    }
    for (int pass = 0; pass < 256; pass++) {
        vull_rgb *e = &pal->entry[pass % 2 ? 144 : 16];
        for (int i = 0; i < 64; i++) {
            const vull_rgb &l = e[std::max(i - 1, 0)], &r = e[std::min(i + 1, 63)];
            e[i] = {uint8_t((l.r + 6 * e[i].r + r.r) >> 3), uint8_t((l.g + 6 * e[i].g + r.g) >> 3),
                    uint8_t((l.b + 6 * e[i].b + r.b) >> 3)};
        }
    }
    vull_bitmap *glow = resource_picture(RES_TV_GLOW);
    if (glow && glow->bpp == 32 && glow->width >= 2 && glow->height >= 1) {
        for (int side = 0; side < 2; side++) {
            for (int i = 0; i < 64; i++) {
                uint32_t g = vull_getpixel(glow, side ? glow->width - 2 : 1, glow->height * i / 64);
                vull_rgb &c = pal->entry[(side ? 144 : 16) + i];
                // Brightened channels saturate rather than wrap to dark.
                auto add = [](uint32_t base, int ch) {
                    return uint8_t(std::min<int>(255, int(base & 255) + ch / 5));
                };
                c = {add(g >> 16, c.r), add(g >> 8, c.g), add(g, c.b)};
            }
        }
    }
    vull_set_palette(reinterpret_cast<const uint8_t *>(pal));
    for (int y = 0; y < H; y++) {
        vull_hline(page, 0, 2, y, uint32_t(16 + 64 * y / H));
        vull_hline(page, W - 3, W - 1, y, uint32_t(144 + 64 * y / H));
    }
    for (int y : {0, H - 1})
        for (int x : {0, W - 1}) vull_putpixel(page, x, y, 255);
}

void draw_extpal_glitch(vull_bitmap *page) {
    if (!page || page->bpp != 8 || page->width < SCREEN || page->height < SCREEN) return;
    // Unsigned throughout: the residues below must not depend on the sign of a wrap.
    uint32_t k = uint32_t(vull_get_time() / 4000) + 101;
    uint32_t A = 101101u * k, B = 111514403u * k;
    for (int y = 0; y < SCREEN; y += 2) {
        uint8_t *row = page->rows[y];
        uint8_t c = row[0];
        if (y % 4 == 0) {
            for (int x = 0; x < 127; x++) {
                uint32_t h = B + uint32_t(x) * A;
                uint8_t p = row[x + 1];
                if (h % 19 == 0 || (x & 6) != 0) {
                    row[x] = p;
                } else {
                    uint8_t q = uint8_t(p - 128);
                    row[x] = (q & 15) == 0 ? 1 : q;
                }
            }
        } else {
            std::memmove(row, row + 1, 127);
        }
        row[127] = c;
        A += 202u * k;
        B += 222806u * k;
    }
}

void activate_extpal_glitch() { start_glitch(); }

void draw_extpal_glitch_if_running(vull_bitmap *picture) {
    int left = vull_ms_between(vull_get_time(), zcompose.glitch_end);
    if (zcompose.glitch_end && left > 0 && left <= 149) draw_extpal_glitch(picture);
}

void clear_extpal_glitch() { zcompose.glitch_end = 0; }

void compose_exit() {
    vull_destroy_bitmap(zcompose.tv_scratch);
    zcompose.tv_scratch = nullptr;
}

int visual_strlen(const char *text) {
    int n = 0;
    for (const unsigned char *s = reinterpret_cast<const unsigned char *>(text); s && *s; s++)
        n += *s >= 128 ? 2 : 1;
    return n;
}

void draw_command_string() {}

void draw_splash_screen() {}
