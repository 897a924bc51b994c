// The memory map: every byte of 0x0000-0xffff is translated to and from the
// store the rest of the program works on (cart record, RAM image, decoded
// draw-state registers, current draw surface), one byte at a time.
#include "console/mem.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "console/gpio.h"
#include "console/hooks.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "vm/llimits.h"
#include "vm/zmath.h"

namespace {

constexpr std::array<uint8_t, 256> build_sections() {
    std::array<uint8_t, 256> t{};
    for (int p = 0; p < 256; p++) {
        int a = p << 8;
        if (a < 0x2000)
            t[p] = MEM_SPRITES;
        else if (a < 0x3000)
            t[p] = MEM_MAP;
        else if (a < 0x4300)
            t[p] = MEM_BYTEWISE;
        else if (a < 0x5e00)
            t[p] = MEM_USER;
        else if (a < 0x6000)
            t[p] = MEM_BYTEWISE;
        else if (a < 0x8000)
            t[p] = MEM_SCREEN;
        else
            t[p] = MEM_UPPER;
    }
    return t;
}

} // namespace

const std::array<uint8_t, 256> mem_section = build_sections();

namespace {

constexpr int SFX_BYTES = 68; // 32 notes of two bytes, mode/filter, speed, loop start, loop end

int upper_gate_open(const console_state *ram) { return ram->console_ram[0x5f36] & Z6_UPPER_GATE; }

// The screen's byte a (0x6000-0x7fff) as two pixels of the current draw
// surface; null while no surface exists. Block copies move up to four rows at
// once through this pointer, so only a 128-pixel-wide surface qualifies.
uint8_t *screen_pixels(const console_state *ram, int a) {
    vull_bitmap *s = ram->draw_surface;
    if (!s || s->bpp != 8 || s->width != 128 || s->height != 128) return nullptr;
    int off = a - 0x6000;
    return s->rows[off >> 6] + 2 * (off & 63);
}

uint8_t *sprite_pixels(zibo6_cart *cart, int a) {
    return cart->sprites->rows[a >> 6] + 2 * (a & 63);
}

// Map cell of byte a: 0x2000-0x2fff is rows 0-31, 0x1000-0x1fff rows 32-63.
uint8_t *map_cell(zibo6_cart *cart, int a) {
    int cell = a >= 0x2000 ? a - 0x2000 : a;
    return cart->map->rows[cell >> 7] + (cell & 127);
}

// Raises a memory error on the running script thread. Outside every script
// (or while the reset glitch runs) the error is dropped and the caller goes on.
void mem_error(const char *format, unsigned value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    if (lua_State *L = lua_running_thread()) zibo6_runtime_error(L, text);
}

int sign_extend_8(int v) { return int(int8_t(uint8_t(v))); }

// ---- cart record sections (0x0000-0x42ff) ----

// Byte o (0-67) of an sfx record.
void sfx_write(zibo6_sfx &s, int o, int v) {
    if (o < 64) {
        zibo6_note &n = s.note[o >> 1];
        if ((o & 1) == 0) {
            n.pitch = v & 63;
            n.instrument = (n.instrument & 4) | (v >> 6);
        } else {
            n.instrument = (n.instrument & 3) | ((v & 1) << 2);
            n.volume = (v >> 1) & 7;
            n.effect = (v >> 4) & 7;
            n.custom = v & 128;
        }
    } else if (o == 64) {
        s.flag = v & 1;
        s.filters = v & 0xfe;
    } else if (o == 65) {
        s.speed = v;
    } else if (o == 66) {
        s.loop_start = v;
    } else {
        s.loop_end = v;
    }
}

int sfx_read(const zibo6_sfx &s, int o) {
    if (o < 64) {
        const zibo6_note &n = s.note[o >> 1];
        if ((o & 1) == 0) return (n.pitch & 63) | ((n.instrument & 3) << 6);
        return ((n.instrument >> 2) & 1) | ((n.volume & 7) << 1) | ((n.effect & 7) << 4) |
               (n.custom ? 128 : 0);
    }
    if (o == 64) return (s.flag & 1) | (s.filters & 0xfe);
    if (o == 65) return s.speed & 255;
    if (o == 66) return s.loop_start & 255;
    return s.loop_end & 255;
}

void cart_write(zibo6_cart *cart, int a, int v) {
    if (a < 0x2000) {
        uint8_t *p = sprite_pixels(cart, a);
        p[0] = uint8_t(v & 15);
        p[1] = uint8_t(v >> 4);
        if (a >= 0x1000) *map_cell(cart, a) = uint8_t(v);
    } else if (a < 0x3000) {
        *map_cell(cart, a) = uint8_t(v);
    } else if (a < 0x3100) {
        cart->sprite_flags[a - 0x3000] = v;
    } else if (a < 0x3200) {
        int p = (a - 0x3100) >> 2, c = a & 3;
        cart->music[p][c] = v & 127;
        int32_t f = cart->pattern_flags[p];
        cart->pattern_flags[p] = (f & ~(1 << c)) | ((v >> 7) << c);
    } else {
        sfx_write(cart->sfx[(a - 0x3200) / SFX_BYTES], (a - 0x3200) % SFX_BYTES, v);
    }
}

int cart_read(zibo6_cart *cart, int a) {
    if (a < 0x2000) {
        const uint8_t *p = sprite_pixels(cart, a);
        return (p[1] * 16 + p[0]) & 255; // stored pixels are not masked
    }
    if (a < 0x3000) return *map_cell(cart, a);
    if (a < 0x3100) return cart->sprite_flags[a - 0x3000] & 255;
    if (a < 0x3200) {
        int p = (a - 0x3100) >> 2, c = a & 3;
        return (cart->music[p][c] & 127) | (((cart->pattern_flags[p] >> c) & 1) << 7);
    }
    return sfx_read(cart->sfx[(a - 0x3200) / SFX_BYTES], (a - 0x3200) % SFX_BYTES);
}

// Sprite bytes in words, four at a time: each 16-bit lane of a word of pixels
// holds a pixel pair, left pixel low. Reloads, saves and the cart hash move
// every sprite byte, and a word costs what a byte did.
constexpr bool WORD_PIXELS = std::endian::native == std::endian::little;

// Four ROM bytes from eight pixels: right * 16 + left, low 8 bits (stored
// pixels are not masked; a lane's sum stays below 0x10000, within the lane).
uint32_t pack_pixels(uint64_t w) {
    uint64_t v =
        ((w & 0x00ff00ff00ff00ffu) + ((w >> 4) & 0x0ff00ff00ff00ff0u)) & 0x00ff00ff00ff00ffu;
    v = (v | v >> 8) & 0x0000ffff0000ffffu;
    return uint32_t(v | v >> 16);
}

// Eight pixels from four ROM bytes: low nibble left, high nibble right.
uint64_t unpack_pixels(uint32_t b) {
    uint64_t v = b;
    v = (v | v << 16) & 0x0000ffff0000ffffu;
    v = (v | v << 8) & 0x00ff00ff00ff00ffu;
    return (v & 0x000f000f000f000fu) | ((v << 4) & 0x0f000f000f000f00u);
}

// Bytes [a, a + n) of the ROM data (a + n <= 0x4300) as cart_read gives them,
// a row of sprite pixels or map cells at a time.
void cart_read_block(zibo6_cart *cart, int a, int n, uint8_t *out) {
    int end = a + n;
    while (a < end && a < 0x2000) {
        int run = std::min(end, (a | 63) + 1) - a;
        const uint8_t *p = sprite_pixels(cart, a);
        int i = 0;
        for (; WORD_PIXELS && i + 4 <= run; i += 4) {
            uint64_t w;
            std::memcpy(&w, p + 2 * i, 8);
            uint32_t b = pack_pixels(w);
            std::memcpy(out + i, &b, 4);
        }
        for (; i < run; i++) out[i] = uint8_t(p[2 * i + 1] * 16 + p[2 * i]);
        out += run;
        a += run;
    }
    while (a < end && a < 0x3000) {
        int run = std::min(end, (a | 127) + 1) - a;
        std::memcpy(out, map_cell(cart, a), size_t(run));
        out += run;
        a += run;
    }
    for (; a < end && a < 0x3200; a++) *out++ = uint8_t(cart_read(cart, a));
    // the sfx records a record at a time
    while (a < end) {
        const zibo6_sfx &s = cart->sfx[(a - 0x3200) / SFX_BYTES];
        int o = (a - 0x3200) % SFX_BYTES, run = std::min(end - a, SFX_BYTES - o);
        for (int i = 0; i < run; i++) out[i] = uint8_t(sfx_read(s, o + i));
        out += run;
        a += run;
    }
}

// cart_write of bytes [a, a + n) (a + n <= 0x4300), a row at a time.
void cart_write_block(zibo6_cart *cart, int a, int n, const uint8_t *in) {
    int end = a + n;
    while (a < end && a < 0x2000) {
        int run = std::min(end, (a | 63) + 1) - a;
        uint8_t *p = sprite_pixels(cart, a);
        int i = 0;
        for (; WORD_PIXELS && i + 4 <= run; i += 4) {
            uint32_t b;
            std::memcpy(&b, in + i, 4);
            uint64_t w = unpack_pixels(b);
            std::memcpy(p + 2 * i, &w, 8);
        }
        for (; i < run; i++) {
            p[2 * i] = uint8_t(in[i] & 15);
            p[2 * i + 1] = uint8_t(in[i] >> 4);
        }
        if (a >= 0x1000) std::memcpy(map_cell(cart, a), in, size_t(run));
        in += run;
        a += run;
    }
    while (a < end && a < 0x3000) {
        int run = std::min(end, (a | 127) + 1) - a;
        std::memcpy(map_cell(cart, a), in, size_t(run));
        in += run;
        a += run;
    }
    for (; a < end && a < 0x3200; a++) cart_write(cart, a, *in++);
    while (a < end) {
        zibo6_sfx &s = cart->sfx[(a - 0x3200) / SFX_BYTES];
        int o = (a - 0x3200) % SFX_BYTES, run = std::min(end - a, SFX_BYTES - o);
        for (int i = 0; i < run; i++) sfx_write(s, o + i, in[i]);
        in += run;
        a += run;
    }
}

// ---- draw-state registers (0x5f00-0x5f7f) ----

// Byte b of word w replaced by v.
constexpr int32_t with_byte(int32_t w, int b, int v) {
    uint32_t u = uint32_t(w), shift = uint32_t(b) * 8;
    return int32_t((u & ~(0xffu << shift)) | (uint32_t(v) << shift));
}

void apply_clip(console_state *ram, const draw_state_rec &d) {
    if (ram->draw_surface)
        vull_set_clip(ram->draw_surface, d.clip_x0, d.clip_y0, d.clip_x1, d.clip_y1);
}

void register_write(console_state *ram, int a, int v) {
    draw_state_rec &d = ram->draw_state;
    int r = a - 0x5f00;
    if (r < 0x10) {
        d.draw_pal[r] = v;
    } else if (r < 0x20) {
        d.screen_pal[r - 0x10] = v;
        if (v & 128) shell_hooks.activate_extpal_glitch();
    } else if (r < 0x24) {
        int32_t *clip[4] = {&d.clip_x0, &d.clip_y0, &d.clip_x1, &d.clip_y1};
        *clip[r - 0x20] = v;
        apply_clip(ram, d);
    } else if (r >= 0x60 && r < 0x70) {
        d.secondary_pal[r - 0x60] = v;
    } else {
        switch (a) {
        case 0x5f24: d.print_left_margin = v; break;
        case 0x5f25: d.pen_colour = v; break;
        case 0x5f26: d.cursor_x = v; break;
        case 0x5f27: d.cursor_y = v; break;
        case 0x5f28: d.camera_x = (d.camera_x & ~0xff) | v; break;
        case 0x5f29: d.camera_x = sign_extend_8(v) * 256 + (d.camera_x & 0xff); break;
        case 0x5f2a: d.camera_y = (d.camera_y & ~0xff) | v; break;
        case 0x5f2b: d.camera_y = sign_extend_8(v) * 256 + (d.camera_y & 0xff); break;
        case 0x5f2c: d.screen_mode = v; break;
        case 0x5f31:
        case 0x5f32:
        case 0x5f33: d.fill_pattern = with_byte(d.fill_pattern, a - 0x5f31, v); break;
        case 0x5f34: d.colour_pattern_mode = v; break;
        case 0x5f35: d.line_flag = v; break;
        case 0x5f3c: d.line_x = (d.line_x & ~0xff) | v; break;
        case 0x5f3d: d.line_x = sign_extend_8(v) * 256 + (d.line_x & 0xff); break;
        case 0x5f3e: d.line_y = (d.line_y & ~0xff) | v; break;
        case 0x5f3f: d.line_y = sign_extend_8(v) * 256 + (d.line_y & 0xff); break;
        case 0x5f40:
        case 0x5f41:
        case 0x5f42:
        case 0x5f43:
            std::atomic_ref<int32_t>(d.sound_reg[a - 0x5f40]).store(v, std::memory_order_relaxed);
            break;
        case 0x5f44:
        case 0x5f45:
        case 0x5f46:
        case 0x5f47:
        case 0x5f48:
        case 0x5f49:
        case 0x5f4a:
        case 0x5f4b: {
            int i = (a - 0x5f44) >> 2;
            set_rand_seed(i, uint32_t(with_byte(int32_t(get_rand_seed(i)), a & 3, v)));
            break;
        }
        case 0x5f4c:
        case 0x5f4d:
        case 0x5f4e:
        case 0x5f4f: {
            // The held table that btn() reads; the next button read replaces it.
            uint8_t *held = ram->button_held[a - 0x5f4c];
            for (int b = 0; b < 6; b++) held[b] = uint8_t((v >> b) & 1);
            break;
        }
        case 0x5f5e:
            d.bitplane_mask = v;
            d.bitplane_mask_low = v & 15;
            d.bitplane_mask_high = v >> 4;
            break;
        default: break; // the rest live in the RAM image only
        }
    }
}

int buttons_byte(const console_state *ram, int player) {
    int v = ram->console_ram[0x5f4c + player] & 0xc0;
    for (int b = 0; b < 6; b++)
        if (ram->button_held[player][b]) v |= 1 << b;
    return v;
}

int register_read(const console_state *ram, int a) {
    const draw_state_rec &d = ram->draw_state;
    int r = a - 0x5f00;
    if (r < 0x10) return d.draw_pal[r] & 255;
    if (r < 0x20) return d.screen_pal[r - 0x10] & 255;
    if (r >= 0x60 && r < 0x70) return d.secondary_pal[r - 0x60] & 255;
    switch (a) {
    case 0x5f20: return d.clip_x0 & 255;
    case 0x5f21: return d.clip_y0 & 255;
    case 0x5f22: return d.clip_x1 & 255;
    case 0x5f23: return d.clip_y1 & 255;
    case 0x5f24: return d.print_left_margin & 255;
    case 0x5f25: return d.pen_colour & 255;
    case 0x5f26: return d.cursor_x & 255;
    case 0x5f27: return d.cursor_y & 255;
    case 0x5f28: return d.camera_x & 255;
    case 0x5f29: return (d.camera_x >> 8) & 255;
    case 0x5f2a: return d.camera_y & 255;
    case 0x5f2b: return (d.camera_y >> 8) & 255;
    case 0x5f2c: return d.screen_mode & 255;
    case 0x5f31:
    case 0x5f32:
    case 0x5f33: return (uint32_t(d.fill_pattern) >> ((a - 0x5f31) * 8)) & 255;
    case 0x5f35: return d.line_flag & 255;
    case 0x5f3c: return d.line_x & 255;
    case 0x5f3d: return (d.line_x >> 8) & 255;
    case 0x5f3e: return d.line_y & 255;
    case 0x5f3f: return (d.line_y >> 8) & 255;
    case 0x5f40:
    case 0x5f41:
    case 0x5f42:
    case 0x5f43:
        return std::atomic_ref<const int32_t>(d.sound_reg[a - 0x5f40])
                   .load(std::memory_order_relaxed) &
               255;
    case 0x5f44:
    case 0x5f45:
    case 0x5f46:
    case 0x5f47:
    case 0x5f48:
    case 0x5f49:
    case 0x5f4a:
    case 0x5f4b: return (get_rand_seed((a - 0x5f44) >> 2) >> ((a & 3) * 8)) & 255;
    case 0x5f4c:
    case 0x5f4d:
    case 0x5f4e:
    case 0x5f4f:
    case 0x5f50:
    case 0x5f51:
    case 0x5f52:
    case 0x5f53: return buttons_byte(ram, a - 0x5f4c);
    case 0x5f5e: return d.bitplane_mask & 255;
    default: return ram->console_ram[a];
    }
}

} // namespace

void zibo6_poke(console_state *ram, zibo6_cart *cart, int address, int value) {
    int a = address & 0xffff, v = value & 255;
    if (ram && a >= 0x8000 && !upper_gate_open(ram)) {
        mem_error("bad poke at 0x%x\n", unsigned(a));
        return;
    }
    if (ram && ram->reset_glitch_counter >= 1 && a >= 0x4300 && a <= 0x5eff) return;
    if (ram && a == 0x5f36) // the serial audio hook reads this byte on the audio thread
        std::atomic_ref<uint8_t>(ram->console_ram[a]).store(uint8_t(v), std::memory_order_relaxed);
    else if (ram)
        ram->console_ram[a] = uint8_t(v);
    if (a >= 0x8000) return;
    if (a < ZIBO6_ROM_DATA_SIZE) {
        if (cart) cart_write(cart, a, v);
        return;
    }
    if (!ram || a < 0x5e00) return;
    if (a < 0x5f00) {
        uint32_t &w = ram->cartdata_words[(a - 0x5e00) >> 2];
        uint32_t changed = uint32_t(with_byte(int32_t(w), a & 3, v));
        if (changed != w) {
            w = changed;
            ram->cartdata_dirty = 1;
        }
    } else if (a < 0x5f80) {
        register_write(ram, a, v);
    } else if (a < 0x6000) {
        gpio_write(a - 0x5f80, v);
    } else if (uint8_t *p = screen_pixels(ram, a)) {
        p[0] = uint8_t(v & 15);
        p[1] = uint8_t(v >> 4);
    }
}

int zibo6_peek(console_state *ram, zibo6_cart *cart, int address) {
    int a = address & 0xffff;
    if (a < ZIBO6_ROM_DATA_SIZE) return cart ? cart_read(cart, a) : 0;
    if (!ram) return 0;
    if (a >= 0x8000) return upper_gate_open(ram) ? ram->console_ram[a] : 0;
    if (a < 0x5e00) return ram->console_ram[a];
    if (a < 0x5f00) return (ram->cartdata_words[(a - 0x5e00) >> 2] >> ((a & 3) * 8)) & 255;
    if (a < 0x5f80) return register_read(ram, a);
    if (a < 0x6000) return gpio_read(a - 0x5f80);
    const uint8_t *p = screen_pixels(ram, a);
    return p ? ((p[1] & 15) << 4) | (p[0] & 15) : 0;
}

void zibo6_peek_rom(zibo6_cart *cart, uint8_t *image) {
    if (cart)
        cart_read_block(cart, 0, ZIBO6_ROM_DATA_SIZE, image);
    else
        std::memset(image, 0, ZIBO6_ROM_DATA_SIZE);
}

void zibo6_poke_rom(zibo6_cart *cart, const uint8_t *image) {
    if (cart) cart_write_block(cart, 0, ZIBO6_ROM_DATA_SIZE, image);
}

// The VM's peek operators: the integer part of a 16.16 operand is the address.
static int peek_console(lua_Number addr, int offset) {
    return zibo6_peek(&pstate, pstate.memory_cart, int((uint32_t(addr) >> 16) + uint32_t(offset)));
}

lua_Number zibo6_peek_1(lua_Number addr) {
    return lua_Number(uint32_t(peek_console(addr, 0)) << 16);
}

lua_Number zibo6_peek_2(lua_Number addr) {
    int16_t v = int16_t(uint16_t(peek_console(addr, 0) | (peek_console(addr, 1) << 8)));
    return lua_Number(uint32_t(int32_t(v)) << 16);
}

lua_Number zibo6_peek_4(lua_Number addr) {
    uint32_t v = uint32_t(peek_console(addr, 0)) | uint32_t(peek_console(addr, 1)) << 8 |
                 uint32_t(peek_console(addr, 2)) << 16 | uint32_t(peek_console(addr, 3)) << 24;
    return lua_Number(v);
}

void reload_font() {}

// ---- block copy and fill ----

// The backing bytes of a page that block operations move wholesale: two
// pixels a byte for the sprite sheet and the screen, one cell or RAM byte a
// byte otherwise. Null for code 0 pages and for stores that do not exist yet.
uint8_t *get_memcpy_byte(console_state *ram, zibo6_cart *cart, int a) {
    a &= 0xffff;
    switch (mem_section[a >> 8]) {
    case MEM_SPRITES: return cart ? sprite_pixels(cart, a) : nullptr;
    case MEM_SCREEN: return ram ? screen_pixels(ram, a) : nullptr;
    case MEM_MAP: return cart ? map_cell(cart, a) : nullptr;
    case MEM_USER:
    case MEM_UPPER: return ram ? &ram->console_ram[a] : nullptr;
    default: return nullptr;
    }
}

namespace {

bool pixel_page(int a) { return mem_section[a >> 8] < MEM_MAP; }

// Map rows 32-63 mirror sprite bytes 0x1000-0x1fff: rebuild the cells of
// [a, a + n) from the sprite pixels.
void mirror_map_half(zibo6_cart *cart, int a, int n) {
    if (!cart) return;
    int lo = a > 0x1000 ? a : 0x1000, hi = a + n < 0x2000 ? a + n : 0x2000;
    for (int b = lo; b < hi; b++) {
        const uint8_t *p = sprite_pixels(cart, b);
        *map_cell(cart, b) = uint8_t((p[1] << 4) + (p[0] & 15));
    }
}

// One byte at a time by the read and write rules, in the direction that
// never reads a byte this piece already wrote.
void copy_bytes(console_state *ram, zibo6_cart *cart, int dest, int src, int n) {
    if (src > dest)
        for (int i = 0; i < n; i++) zibo6_poke(ram, cart, dest + i, zibo6_peek(ram, cart, src + i));
    else
        for (int i = n - 1; i >= 0; i--)
            zibo6_poke(ram, cart, dest + i, zibo6_peek(ram, cart, src + i));
}

// One piece of at most 256 bytes lying in one page of the source and one of
// the destination.
void copy_piece(console_state *ram, zibo6_cart *cart, int dest, int src, int n) {
    uint8_t *d = get_memcpy_byte(ram, cart, dest);
    const uint8_t *s = get_memcpy_byte(ram, cart, src);
    if (!d || !s) return copy_bytes(ram, cart, dest, src, n);
    bool dpix = pixel_page(dest), spix = pixel_page(src);
    if (dpix && spix)
        std::memmove(d, s, size_t(2 * n));
    else if (!dpix && !spix)
        std::memmove(d, s, size_t(n));
    else if (spix)
        for (int i = 0; i < n; i++) d[i] = uint8_t((s[2 * i + 1] << 4) + s[2 * i]);
    else
        for (int i = 0; i < n; i++) {
            d[2 * i] = uint8_t(s[i] & 15);
            d[2 * i + 1] = uint8_t(s[i] >> 4);
        }
    if (dest < 0x2000 && dest + n > 0x1000) mirror_map_half(cart, dest, n);
}

} // namespace

void zibo6_memcpy(console_state *ram, zibo6_cart *cart, int dest, int src, int len) {
    if (len < 1) return;
    if (!ram) return zibo6_memcpy_simple(ram, cart, dest, src, len);
    unsigned d0 = unsigned(dest) & 0xffff, s0 = unsigned(src) & 0xffff;
    if (d0 == s0) return;
    bool gated = !upper_gate_open(ram);
    if (gated && (d0 & 0x8000)) mem_error("bad memcpy at 0x%x\n", d0);
    unsigned left = unsigned(len);
    if (d0 < s0) {
        unsigned d = d0, s = s0;
        while (left > 0) {
            unsigned n = std::min({256 - (s & 255), 256 - (d & 255), left});
            copy_piece(ram, cart, int(d), int(s), int(n));
            d = (d + n) & 0xffff;
            s = (s + n) & 0xffff;
            left -= n;
        }
    } else {
        unsigned de = (d0 + left) & 0xffff, se = (s0 + left) & 0xffff;
        while (left > 0) {
            unsigned n = std::min({((se - 1) & 255) + 1, ((de - 1) & 255) + 1, left});
            de = (de - n) & 0xffff;
            se = (se - n) & 0xffff;
            copy_piece(ram, cart, int(de), int(se), int(n));
            left -= n;
        }
    }
    if (gated && ((int64_t(dest) + len - 1) & 0x8000)) mem_error("bad memcpy at 0x8000", 0);
}

void zibo6_memset(console_state *ram, zibo6_cart *cart, int dest, int value, int len) {
    if (len < 1) return;
    if (!ram) return zibo6_memset_simple(ram, cart, dest, value, len);
    unsigned d0 = unsigned(dest) & 0xffff;
    int v = value & 255;
    bool gated = !upper_gate_open(ram);
    if (gated && (d0 & 0x8000)) mem_error("bad memset at 0x%x\n", d0);
    unsigned a = d0, left = unsigned(len);
    while (left > 0) {
        unsigned n = std::min(256 - (a & 255), left);
        uint8_t *p = get_memcpy_byte(ram, cart, int(a));
        if (!p) {
            for (unsigned i = 0; i < n; i++) zibo6_poke(ram, cart, int(a + i), v);
        } else {
            if (pixel_page(int(a)))
                for (unsigned i = 0; i < n; i++) {
                    p[2 * i] = uint8_t(v & 15);
                    p[2 * i + 1] = uint8_t(v >> 4);
                }
            else
                std::memset(p, v, n);
            if (a < 0x2000 && a + n > 0x1000) mirror_map_half(cart, int(a), int(n));
        }
        a = (a + n) & 0xffff;
        left -= n;
    }
    unsigned end = d0 + unsigned(len) - 1;
    if (gated && (end & 0x8000)) mem_error("bad memset at 0x%x\n", end);
}

void zibo6_memcpy_simple(console_state *ram, zibo6_cart *cart, int dest, int src, int len) {
    if (len < 1 || len > Z6_RELOAD_MAX) return;
    copy_bytes(ram, cart, dest & 0xffff, src & 0xffff, len);
}

void zibo6_memcpy_segment(console_state *ram, zibo6_cart *cart, int dest, int src, int len) {
    if (len < 1 || len > Z6_RELOAD_MAX) return;
    int d = dest & 0xffff, s = src & 0xffff;
    // One piece never crosses a page of either side.
    len = std::min({len, 256 - (d & 255), 256 - (s & 255)});
    copy_piece(ram, cart, d, s, len);
}

void zibo6_memset_simple(console_state *ram, zibo6_cart *cart, int dest, int value, int len) {
    for (int i = 0; i < len; i++) zibo6_poke(ram, cart, dest + i, value);
}

// ---- reload and cstore ----

void zibo6_reload(console_state *ram, zibo6_cart *cart, int dest, int src, int len) {
    if (len > Z6_RELOAD_MAX) return;
    zibo6_cart *from = pitem.cart;
    uint8_t bytes[256];
    for (int i = 0; i < len;) {
        int d = (dest + i) & 0xffff, s = (src + i) & 0xffff;
        // ROM data to ROM data of another cart: what the byte loop below does,
        // a piece at a time (these bytes have no gate, drop or side effect).
        if (cart != from && d < ZIBO6_ROM_DATA_SIZE && s < ZIBO6_ROM_DATA_SIZE) {
            int n = std::min(
                {len - i, int(sizeof bytes), ZIBO6_ROM_DATA_SIZE - d, ZIBO6_ROM_DATA_SIZE - s});
            if (from)
                cart_read_block(from, s, n, bytes);
            else
                std::memset(bytes, 0, size_t(n));
            if (ram) std::memcpy(&ram->console_ram[d], bytes, size_t(n));
            if (cart) cart_write_block(cart, d, n, bytes);
            i += n;
            continue;
        }
        zibo6_poke(ram, cart, dest + i, zibo6_peek(nullptr, from, src + i));
        i++;
    }
    if (pstate.last_cart_file_accessed[0]) {
        pstate.last_cart_file_accessed[0] = '\0';
        pstate.load_transition_frames = std::clamp(30 - pstate.file_access_cooldown, 2, 30);
        pstate.file_access_cooldown = 150;
    }
}

std::string zibo6_cstore_name(const char *name, size_t length) {
    if (!name || length > size_t(Z6_CSTORE_NAME_MAX)) return "";
    if (std::memchr(name, '\0', length)) return "";
    std::string_view rest(name, length);
    if (!rest.empty() && rest[0] == '/') rest.remove_prefix(1);
    if (rest.empty() || rest[0] == '/' || rest.back() == '/') return "";
    std::string out;
    while (!rest.empty()) {
        size_t cut = rest.find('/');
        std::string_view part = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty() || part == ".") continue;
        if (part.substr(0, 2) == "__") return ""; // the sandbox files are the console's own
        // no ".." component, whatever the separator
        for (std::string_view p = part;;) {
            size_t sep = p.find('\\');
            if (p.substr(0, sep) == "..") return "";
            if (sep == std::string_view::npos) break;
            p.remove_prefix(sep + 1);
        }
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

int zibo6_cstore_name_ok(const char *name, size_t length) {
    return zibo6_cstore_name(name, length).empty() ? 0 : 1;
}

namespace {

// The per-user cstore/ path of a checked cart-given name.
void cstore_path(const std::string &name, char *out, size_t size) {
    std::string rel = "cstore/" + name;
    vull_prefix_with_appdata_path(rel.c_str(), out, size);
}

} // namespace

int zibo6_reload_from_file(const char *name_given, size_t length, int dest, int src, int len) {
    std::string name = zibo6_cstore_name(name_given, length);
    if (name.empty()) return 0;
    char path[VULL_PATH_LEN];
    const char *hash = get_embedded_cart_hash_for_filename(name.c_str(), 1);
    const char *sandboxed = hash ? get_sandboxed_cstore_filename(hash) : nullptr;
    if (sandboxed && vull_file_exists(sandboxed)) {
        std::snprintf(path, sizeof path, "%s", sandboxed);
    } else if (hash) {
        vull_debugf("sandboxed_cstore file not found: %s\n", sandboxed ? sandboxed : "");
        vull_debugf("  --> using internal file: %s\n", name.c_str());
        std::snprintf(path, sizeof path, "%s", name.c_str());
    } else {
        cstore_path(name, path, sizeof path);
    }
    vull_debugf("  reload()ing %d bytes from: %s\n", len, path);
    return reload_cart_partial(path, dest, src, len) == 0 ? len : 0;
}

int zibo6_cstore_to_file(const char *name_given, size_t length, int dest, int src, int len) {
    char path[VULL_PATH_LEN];
    int also_working = 0, sandbox = 0;
    if (!name_given) {
        // The file its own loading reads: named from the cart's hash before any patch.
        const char *hash = pstate.sandbox_hash[0]        ? pstate.sandbox_hash
                           : pstate.running_cart_hash[0] ? pstate.running_cart_hash
                                                         : pstate.cart_hash_loaded;
        std::snprintf(path, sizeof path, "%s", get_sandboxed_cstore_filename(hash));
        also_working = sandbox = 1;
    } else {
        std::string name = zibo6_cstore_name(name_given, length);
        if (name.empty()) return 0;
        if (const char *hash = get_embedded_cart_hash_for_filename(name.c_str(), 1)) {
            std::snprintf(path, sizeof path, "%s", get_sandboxed_cstore_filename(hash));
            sandbox = 1;
        } else {
            cstore_path(name, path, sizeof path);
        }
    }
    vull_debugf("z6_cstore: storing %d bytes as: %s\n", len, path);
    return cstore_cart_partial(path, dest, src, len, also_working, sandbox) == 0 ? len : 0;
}

int zibo6_cstore(zibo6_cart *cart, int dest, int src, int len) {
    for (int i = 0; i < len; i++) {
        int a = (src + i) & 0xffff;
        if (pstate.reset_glitch_counter >= 1 && a >= 0x4300 && a <= 0x5eff) continue;
        zibo6_poke(nullptr, cart, dest + i, zibo6_peek(&pstate, pstate.memory_cart, a));
    }
    zibo6_cart *working = pitem.cart;
    int failed = 1;
    if (working && pstate.current_filename[0])
        failed = save_cart_file(working, pstate.current_filename);
    pstate.last_cart_file_accessed[0] = '\0';
    pstate.load_transition_frames = std::min(pstate.load_transition_frames, 20) + 20;
    return failed ? 0 : len;
}
