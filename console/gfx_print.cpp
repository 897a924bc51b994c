// Text printing. A text is interpreted one character or control code at a
// time; a wait or a per-character delay leaves the rest pending in the print
// context, and the run slice continues it once a frame.
#include "console/gfx_print.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/gfx_pixel.h"
#include "console/mem.h"
#include "cart/cart.h"
#include "engine/cpod.h"
#include "audio/channel.h"

uint8_t bitwise_font_dat[2048];
print_context_rec print_context;
int print_max_x = 0;
int print_line_height = 6;

static bool font_built = false;

static int32_t &cursor_x() { return pstate.draw_state.cursor_x; }
static int32_t &cursor_y() { return pstate.draw_state.cursor_y; }

// A text can drive the cursor as far as it likes (a repeat of wide glyphs):
// positions are worked out wide and kept within +-2^30, so any one step of a
// print still fits an int.
constexpr int64_t CURSOR_LIMIT = int64_t(1) << 30;
static void set_cursor_x(int64_t x) { cursor_x() = int32_t(std::clamp(x, -CURSOR_LIMIT, CURSOR_LIMIT)); }
static void set_cursor_y(int64_t y) { cursor_y() = int32_t(std::clamp(y, -CURSOR_LIMIT, CURSOR_LIMIT)); }
static void move_cursor(int64_t dx, int64_t dy) {
    set_cursor_x(cursor_x() + dx);
    set_cursor_y(cursor_y() + dy);
}
static void charge(int cycles) { gfx_charge_cycles(cycles); }

static void gfx_poke(int address, int value) {
    zibo6_poke(&pstate, pstate.memory_cart, address, value);
}

// Header of the built-in font: 4 wide (8 for codes 128-255), 6 tall, no offset.
static constexpr uint8_t builtin_header[5] = {4, 8, 6, 0, 0};

void init_bitwise_font() {
    std::memset(bitwise_font_dat, 0, sizeof bitwise_font_dat);
    if (cpod *font = pstate.font_pod) {
        for (int c = 0; c < 256; c++) {
            auto *g = static_cast<const vull_bitmap *>(cpod_get_item(font, c, CPOD_BITMAP));
            if (!g || !g->rows || g->bpp != 8) continue;
            for (int r = 0; r < std::min(g->height, 8); r++) {
                uint8_t bits = 0;
                for (int i = 0; i < std::min(g->width, 8); i++)
                    if (g->rows[r][i]) bits |= uint8_t(1 << i);
                bitwise_font_dat[c * 8 + r] = bits;
            }
        }
    }
    std::memcpy(bitwise_font_dat, builtin_header, sizeof builtin_header);
    font_built = true;
}

// Parameter value of a control code's argument character.
static constexpr int P(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a') return c - 87;
    return 0;
}

// Loads widths, height and offsets from a font's header; at the start of a
// print the non-zero nibbles of the attribute registers go over them.
static void load_font_metrics(print_context_rec *ctx, const uint8_t *font, bool registers) {
    ctx->font = font;
    ctx->char_w = font[0];
    ctx->wide_w = font[1];
    ctx->char_h = font[2];
    ctx->x_off = font[3];
    ctx->y_off = font[4];
    int r59 = registers ? gfx_ram(0x5f59) : 0, r5a = registers ? gfx_ram(0x5f5a) : 0;
    int r5b = registers ? gfx_ram(0x5f5b) : 0;
    if (r59 & 15) ctx->char_w = r59 & 15;
    if (r59 >> 4) ctx->char_h = r59 >> 4;
    if (r5a & 15) ctx->wide_w = r5a & 15;
    if (r5b & 15) ctx->x_off = r5b & 15;
    if (r5b >> 4) ctx->y_off = r5b >> 4;
    if (ctx->char_w == 0 && ctx->wide_w == 0 && ctx->char_h == 0) {
        ctx->char_w = ctx->wide_w = ctx->char_h = 8;
    }
}

static const uint8_t *custom_font() { return gfx_ram_ptr(0x5600); }

void reset_print_context() {
    print_context_rec *ctx = &print_context;
    int a = gfx_ram(0x5f58);
    bool on = a & 1;
    ctx->padding = on ? (a & 0x02) : true;
    ctx->wide = on && (a & 0x04);
    ctx->tall = on && (a & 0x08);
    ctx->solid = on && (a & 0x10);
    ctx->inverted = on && (a & 0x20);
    ctx->dotty = on && (a & 0x40);
    ctx->pinball = false;
    load_font_metrics(ctx, on && (a & 0x80) ? custom_font() : bitwise_font_dat, true);
    int tab = gfx_ram(0x5f5a) >> 4;
    ctx->tab_w = tab ? tab * 4 + 4 : 16;
}

void init_print_context() {
    print_context = print_context_rec{};
    print_context.font = bitwise_font_dat;
    print_context.tab_w = 16;
}

void destroy_print_buffer() {
    print_context.text.clear();
    print_context.text.shrink_to_fit();
    print_context.pending = false;
    print_context.pos = print_context.end = 0;
    print_context.wait = 0;
}

std::string print_take_error() {
    std::string e;
    e.swap(print_context.error);
    return e;
}

// Next byte of the text, never moving past its terminating 0.
static int take(print_context_rec *ctx) {
    int c = ctx->text[ctx->pos];
    if (c) ctx->pos++;
    return c;
}

static void line_feed(print_context_rec *ctx) {
    cursor_x() = ctx->home_x;
    if (ctx->scroll) {
        print_line_height = ctx->line_h;
        cursor_cr();
        print_line_height = 6;
    } else {
        move_cursor(0, ctx->line_h);
    }
    ctx->line_h = ctx->char_h;
}

// Writes one byte of a print's memory command. A gated address stops the
// print and leaves the error for the caller to raise: a print may be
// continued from the run slice, outside the script, where raising would
// have nothing to unwind to.
static bool print_poke(print_context_rec *ctx, int addr, int v) {
    addr &= 0xffff;
    if (addr >= 0x8000 && !(gfx_ram(0x5f36) & 0x10) && pstate.reset_glitch_counter < 1) {
        char msg[48];
        std::snprintf(msg, sizeof msg, "bad poke at 0x%x\n", addr);
        ctx->error = msg;
        return false;
    }
    gfx_poke(addr, v);
    charge(4);
    return true;
}

static int hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

static int take_hex4(print_context_rec *ctx) {
    int v = 0;
    for (int i = 0; i < 4; i++) v = v * 16 + hex_digit(take(ctx));
    return v;
}

// Code 6: one command. Returns 1 to stop printing for this frame, 2 when
// the text ended (or a poke failed), 0 otherwise.
static int print_command(print_context_rec *ctx) {
    int c = take(ctx);
    bool on = true;
    if (c == '-') {
        on = false;
        c = take(ctx);
    }
    switch (c) {
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': ctx->wait = (1 << (c - '1')) - 1; return 1;
    case 'c': {
        int col = P(take(ctx));
        // Surfaces hold colours 0-15: a parameter up to 35 keeps its low nibble.
        vull_rectfill(ctx->surface, 0, 0, 127, 127, uint32_t(col & 15));
        cursor_x() = 0;
        cursor_y() = 0;
        ctx->wrap = on;
        break;
    }
    case 'd': ctx->delay = P(take(ctx)); break;
    case 'g':
        cursor_x() = ctx->home_x;
        cursor_y() = ctx->home_y;
        break;
    case 'h':
        ctx->home_x = cursor_x();
        ctx->home_y = cursor_y();
        break;
    case 'j': {
        int x = P(take(ctx));
        int y = P(take(ctx));
        cursor_x() = x * 4;
        cursor_y() = y * 4;
        break;
    }
    case 'r':
        ctx->right_border = P(take(ctx)) * 4;
        ctx->wrap = true;
        break;
    case 's': ctx->tab_w = P(take(ctx)) * 4; break;
    case 'x': {
        int v = P(take(ctx));
        ctx->char_w = v;
        ctx->wide_w = ctx->font[1] + v - ctx->font[0];
        break;
    }
    case 'y': ctx->char_h = P(take(ctx)); break;
    case 'w': ctx->wide = on; break;
    case 't': ctx->tall = on; break;
    case '.': ctx->dotty = on; break;
    case 'p': ctx->pinball = on; break;
    case '#': ctx->solid = on; break;
    case 'i': ctx->inverted = on; break;
    case 'b': ctx->padding = on; break;
    case '@': {
        int addr = take_hex4(ctx);
        int count = take_hex4(ctx);
        for (int i = 0; i < count && ctx->text[ctx->pos]; i++)
            if (!print_poke(ctx, addr + i, take(ctx))) return 2;
        break;
    }
    case '!': {
        int addr = take_hex4(ctx);
        for (int i = 0; ctx->text[ctx->pos]; i++)
            if (!print_poke(ctx, addr + i, take(ctx))) return 2;
        return 2;
    }
    default: break;
    }
    return 0;
}

static zibo6_sfx *sound_record(int n) {
    return pstate.memory_cart ? &pstate.memory_cart->sfx[n & 63] : nullptr;
}

// Code 7: builds a sound from the text that follows and plays it.
static void print_sound(print_context_rec *ctx) {
    int n = -1;
    if (ctx->text[ctx->pos] >= '0' && ctx->text[ctx->pos] <= '9') {
        n = take(ctx) - '0';
        if (ctx->text[ctx->pos] >= '0' && ctx->text[ctx->pos] <= '9') n = n * 10 + take(ctx) - '0';
        n = std::min(n, 63);
    }
    const bool numbered = n >= 0;
    if (!numbered) {
        n = 63;
        for (int k = 63; k >= 60; k--) {
            if (vull_get_sfx_playing_note(sound_record(k)) < 0) {
                n = k;
                break;
            }
        }
    }
    const int next = ctx->text[ctx->pos];
    // A number followed by the end or a line feed plays that sound as it is.
    if (!(numbered && (next == 0 || next == '\n'))) {
        // A fresh record: 32 notes, header words, built through the memory map.
        const int base = 0x3200 + 68 * n;
        for (int i = 0; i < 68; i++) gfx_poke(base + i, 0);
        int speed = 4, loop0 = 0, loop1 = 0, header = -1;
        int instrument = 5, volume = 5, effect = 0, octave = 3, notes = 0;
        static constexpr char scale[] = "c d ef g a b";
        for (;;) {
            int c = ctx->text[ctx->pos];
            if (c == 0 || c == '\n' || c == ' ' || notes >= 32) break;
            take(ctx);
            if (notes == 0 && (c == 's' || c == 'l' || c == 'z')) {
                if (c == 's') speed = P(take(ctx));
                if (c == 'l') {
                    loop0 = P(take(ctx));
                    loop1 = P(take(ctx));
                }
                if (c == 'z') header = P(take(ctx)) * 2;
                continue;
            }
            switch (c) {
            case 'i': instrument = P(take(ctx)) & 15; continue;
            case 'v': volume = P(take(ctx)) & 7; continue;
            case 'x': effect = P(take(ctx)) & 7; continue;
            case '<': volume = std::max(volume - 1, 0); continue;
            case '>': volume = std::min(volume + 1, 7); continue;
            case '[': octave = std::max(octave - 1, 0); continue;
            case ']': octave = std::min(octave + 1, 5); continue;
            case '.': notes++; continue;
            default: break;
            }
            const char *at = std::strchr(scale, c);
            int index = (at && c != ' ') ? int(at - scale) : 0;
            if (ctx->text[ctx->pos] == '#') {
                take(ctx);
                index++;
            }
            if (ctx->text[ctx->pos] == '-') {
                take(ctx);
                index--;
            }
            if (ctx->text[ctx->pos] >= '0' && ctx->text[ctx->pos] <= '5') octave = take(ctx) - '0';
            int pitch = std::clamp(index + octave * 12, 0, 63);
            int word = pitch | (instrument & 7) << 6 | volume << 9 | effect << 12;
            gfx_poke(base + notes * 2, word & 0xff);
            gfx_poke(base + notes * 2 + 1, word >> 8);
            notes++;
        }
        if (notes == 0) {
            speed = 16;
            int word = 46 | 5 << 9;
            gfx_poke(base, word & 0xff);
            gfx_poke(base + 1, word >> 8);
        }
        if (header >= 0) gfx_poke(base + 64, header);
        gfx_poke(base + 65, speed);
        gfx_poke(base + 66, loop0);
        gfx_poke(base + 67, loop1);
    }
    // At the prompt a playing song gives way to the printed sound.
    if (!pstate.cart_code_running && vull_music_is_playing()) {
        vull_stop_zibo6_song(nullptr);
        vull_stop_all_sounds();
    }
    vull_play_sfx_ex(sound_record(n), 0, 0, pstate.memory_cart, -1);
}

// Draws glyph ch at the cursor and advances it. Returns 1 when the glyph
// lay wholly above or below the clip, or right of it and moving right: the
// same glyph drawn again at the next place is not seen either.
static int print_glyph(print_context_rec *ctx, int ch) {
    int w = ch >= 128 ? ctx->wide_w : ctx->char_w;
    int h = ctx->char_h;
    if (!ctx->overprint) {
        ctx->glyph_x = cursor_x();
        ctx->glyph_y = cursor_y();
        int hh = (ctx->tall || ctx->pinball) ? h * 2 : h;
        if (ctx->wrap && cursor_x() > ctx->right_border - w) {
            move_cursor(0, ctx->line_h);
            cursor_x() = ctx->home_x;
            ctx->line_h = h;
        }
        if (ctx->scroll && cursor_y() > 128 - hh) scroll_immediate_mode_screen(hh);
    }
    int xs = 1, ys = 1, stepx = 1, stepy = 1, w2 = w, hd = h;
    if (ctx->pinball) {
        xs = ys = stepx = stepy = 2;
        w2 = 2 * w;
        hd = h * 2;
    } else if (ctx->wide) {
        xs = 2;
        w2 = 2 * w;
        if (ctx->tall) {
            ys = 2;
            hd = h * 2;
            if (ctx->dotty) stepx = stepy = 2;
        } else if (ctx->dotty) {
            stepx = 2;
        }
    } else if (ctx->tall) {
        ys = 2;
        hd = h * 2;
        if (ctx->dotty) stepy = 2;
    }
    int lpad = 0, tpad = 0;
    if (ctx->padding) {
        lpad = std::max(0, (ctx->char_w - ctx->font[0] + 1) * xs);
        tpad = ys;
    }
    int64_t ox = int64_t(cursor_x()) + ctx->x_off - pstate.draw_state.camera_x;
    int64_t oy = int64_t(cursor_y()) + ctx->y_off - pstate.draw_state.camera_y;
    vull_bitmap *s = ctx->surface;
    if (ctx->solid)
        draw_rectfill(s, int(ox - lpad), int(oy - tpad), int(ox + w2 - 1), int(oy + hd - 1),
                      ctx->bg);
    const uint8_t *glyph = ctx->font + (ch & 255) * 8;
    int rows = std::min(h, 8);
    int r = gfx_read_mask(), wm = gfx_write_mask();
    gfx_clip_rect c = gfx_clip(s);
    // Only the rows and columns inside the clip are visited: a large glyph
    // far off the screen costs nothing to skip.
    int64_t xa = -lpad, xb = std::min<int64_t>(w2, int64_t(c.x1) - ox);
    if (ox + xa < c.x0) xa += (int64_t(c.x0) - ox - xa + stepx - 1) / stepx * stepx;
    int64_t ya = -tpad, yb = std::min<int64_t>(hd, int64_t(c.y1) - oy);
    if (oy + ya < c.y0) ya += (int64_t(c.y0) - oy - ya + stepy - 1) / stepy * stepy;
    if (xa >= xb) yb = ya;
    for (int64_t y = ya; y < yb; y += stepy) {
        int64_t py = oy + y;
        int row = int((y + ys) / ys - 1);
        int bits = (row >= 0 && row < rows) ? glyph[row] : 0;
        for (int64_t x = xa; x < xb; x += stepx) {
            // Columns left of 0 and right of the row byte read zero bits:
            // only inverted text fills them.
            int64_t col = x < 0 ? -1 : x / xs;
            bool lit = ((col >= 0 && col < 8) ? (bits >> col) & 1 : 0) != ctx->inverted;
            if (!lit) continue;
            uint8_t *p = s->rows[py] + ox + x;
            *p = gfx_merge(*p, ctx->fg, r, wm);
        }
    }
    charge((xs * w * hd + 1) / 2);
    bool unseen = (w2 >= 0 && ox - lpad >= c.x1) || oy + hd <= c.y0 || oy - tpad >= c.y1;
    ctx->last_w = w2;
    move_cursor(w2, 0);
    print_max_x = std::max(print_max_x, cursor_x());
    ctx->line_h = std::max(ctx->line_h, ys * ctx->char_h);
    if (ctx->overprint) {
        cursor_x() = ctx->saved_x;
        cursor_y() = ctx->saved_y;
        ctx->overprint = false;
        return 0;
    }
    return unseen;
}

// The rest of a repeat of a glyph that is not seen, at once: each would only
// charge its cycles and move the cursor on.
static void skip_repeats(print_context_rec *ctx, int ch, int64_t n) {
    int w = ch >= 128 ? ctx->wide_w : ctx->char_w;
    int xs = ctx->pinball || ctx->wide ? 2 : 1;
    int hd = ctx->pinball || ctx->tall ? ctx->char_h * 2 : ctx->char_h;
    int64_t cost = (int64_t(xs) * w * hd + 1) / 2 * n;
    charge(int(std::min<int64_t>(cost, INT32_MAX)));
    move_cursor(int64_t(ctx->last_w) * (n - 1), 0);
    ctx->glyph_x = cursor_x();
    ctx->glyph_y = cursor_y();
    move_cursor(ctx->last_w, 0);
    print_max_x = std::max(print_max_x, cursor_x());
}

int zibo6_print_char(print_context_rec *ctx) {
    const size_t start = ctx->pos;
    int ch = ctx->text[start];
    // Codes 1-6 with nothing after them are glyphs.
    bool glyph = ch > 15 || ch == 0 || (ch <= 6 && ctx->text[start + 1] == 0);
    if (glyph) {
        ctx->pos++;
        int unseen = print_glyph(ctx, ch);
        // Without wrap, scroll or delay the repeats only move right.
        if (unseen && ctx->repeat > 1 && !ctx->wrap && !ctx->scroll && ctx->delay < 1) {
            skip_repeats(ctx, ch, ctx->repeat - 1);
            ctx->repeat = 1;
        }
        if (ctx->repeat > 0) {
            if (ctx->repeat-- != 1) ctx->pos = start;
        }
        if (ctx->delay >= 1) {
            ctx->wait = ctx->delay - 1;
            return 1;
        }
        return 0;
    }
    take(ctx);
    switch (ch) {
    case 1: ctx->repeat = P(take(ctx)); break;
    case 2:
        ctx->bg = P(take(ctx)) & 15;
        ctx->solid = true;
        break;
    case 3: move_cursor(P(take(ctx)) - 16, 0); break;
    case 4: move_cursor(0, P(take(ctx)) - 16); break;
    case 5: {
        int dx = P(take(ctx));
        int dy = P(take(ctx));
        move_cursor(dx - 16, dy - 16);
        break;
    }
    case 6: {
        int r = print_command(ctx);
        if (r == 2) {
            // The text ends here: '!' consumed the rest, or a poke failed.
            ctx->pos = ctx->end;
            ctx->text[ctx->pos] = 0;
            return 0;
        }
        if (r) return 1;
        break;
    }
    case 7: print_sound(ctx); break;
    case 8: move_cursor(-int64_t(ctx->last_w), 0); break;
    case 9: {
        int64_t tab = std::max(ctx->tab_w, 1);
        int64_t x = int64_t(cursor_x()) + tab - 1;
        set_cursor_x(x - (((x % tab) + tab) % tab));
        break;
    }
    case 10: line_feed(ctx); break;
    case 11: {
        int p = P(take(ctx));
        ctx->saved_x = cursor_x();
        ctx->saved_y = cursor_y();
        set_cursor_x(int64_t(ctx->glyph_x) + (p % 4) - 2);
        set_cursor_y(int64_t(ctx->glyph_y) + p / 4 - 8);
        ctx->overprint = true;
        break;
    }
    case 12: {
        int c = P(take(ctx));
        ctx->fg = c;
        pstate.draw_state.pen_colour = c;
        break;
    }
    case 13: cursor_x() = ctx->home_x; break;
    case 14: load_font_metrics(ctx, custom_font(), false); break;
    case 15: load_font_metrics(ctx, bitwise_font_dat, false); break;
    default: break;
    }
    return 0;
}

// Runs the text from the read position until it ends or must wait.
static int print_run(print_context_rec *ctx) {
    while (ctx->text[ctx->pos]) {
        size_t before = ctx->pos;
        int r = zibo6_print_char(ctx);
        charge(int(std::max(ctx->pos, before) - before));
        if (r) return r;
    }
    destroy_print_buffer();
    return 0;
}

int zibo6_print_text(vull_bitmap *surface, const char *text, int length, int flags, int colours) {
    if (!font_built) init_bitwise_font();
    destroy_print_buffer();
    print_context_rec *ctx = &print_context;
    length = std::max(length, 0);
    ctx->text.assign(size_t(length) + 4, 0);
    if (text && length) std::memcpy(ctx->text.data(), text, size_t(length));
    reset_print_context();
    ctx->pos = 0;
    ctx->end = size_t(length);
    ctx->surface = surface;
    ctx->wrap = flags & PRINT_WRAP;
    ctx->scroll = flags & PRINT_SCROLL;
    ctx->right_border = surface ? surface->clip_x1 : 128;
    ctx->home_x = pstate.draw_state.print_left_margin;
    ctx->home_y = cursor_y();
    ctx->fg = colours & 15;
    ctx->bg = (colours >> 4) & 15;
    ctx->line_h = ctx->char_h;
    ctx->last_w = ctx->char_w;
    ctx->repeat = ctx->delay = ctx->wait = 0;
    ctx->overprint = false;
    ctx->error.clear();
    print_max_x = cursor_x();
    if (!(gfx_ram(0x5f36) & 0x04)) {
        // The text may hold a 0 of its own: the line feed goes behind the whole text.
        ctx->text[size_t(length)] = '\n';
        ctx->end = size_t(length) + 1;
    }
    ctx->pending = true;
    if (!surface || !surface->rows) {
        destroy_print_buffer();
        return 0;
    }
    return print_run(ctx);
}

int continue_print_text() {
    print_context_rec *ctx = &print_context;
    if (!ctx->pending) return 0;
    if (ctx->wait >= 1) {
        ctx->wait--;
        return 1;
    }
    return print_run(ctx);
}

// Moves rows n..127 of a display up to 0..127-n and clears the rest.
static void scroll_up(vull_bitmap *s, int n) {
    if (!s || !s->rows) return;
    n = std::clamp(n, 0, s->height);
    for (int y = 0; y < s->height; y++) {
        if (y + n < s->height)
            std::memcpy(s->rows[y], s->rows[y + n], size_t(s->width));
        else
            std::memset(s->rows[y], 0, size_t(s->width));
    }
}

void cursor_cr() {
    move_cursor(0, print_line_height);
    if (cursor_y() >= 123) {
        cursor_y() -= 6;
        scroll_up(pstate.display[0], 6);
        charge(0x10000);
    }
}

void scroll_immediate_mode_screen(int n) {
    if (n <= 0) return;
    cursor_y() -= n;
    scroll_up(pstate.display[0], n);
    charge(0x10000);
}
