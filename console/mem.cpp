// The memory map: every byte of 0x0000-0xffff is translated to and from the
// store the rest of the program works on (cart record, RAM image, decoded
// draw-state registers, current draw surface), one byte at a time.
#include "console/mem.h"

#include <atomic>
#include <cstdio>

#include "cart/cart.h"
#include "console/gpio.h"
#include "console/shell_hooks.h"
#include "console/state.h"
#include "console/term.h"
#include "engine/gfx.h"
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
// surface; null while no surface exists.
uint8_t *screen_pixels(const console_state *ram, int a) {
    vull_bitmap *s = ram->draw_surface;
    if (!s || s->bpp != 8 || s->width < 128 || s->height < 128) return nullptr;
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

int sign_extend_8(int v) { return int(int8_t(uint8_t(v))); }

// ---- cart record sections (0x0000-0x42ff) ----

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
        zibo6_sfx &s = cart->sfx[(a - 0x3200) / SFX_BYTES];
        int o = (a - 0x3200) % SFX_BYTES;
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
    const zibo6_sfx &s = cart->sfx[(a - 0x3200) / SFX_BYTES];
    int o = (a - 0x3200) % SFX_BYTES;
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
        if (v & 128) activate_extpal_glitch();
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
        return std::atomic_ref<const int32_t>(d.sound_reg[a - 0x5f40]).load(
                   std::memory_order_relaxed) &
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
        char text[64];
        std::snprintf(text, sizeof text, "bad poke at 0x%x\n", a);
        zibo6_runtime_error(lua_running_thread(), text);
        return;
    }
    if (ram && ram->reset_glitch_counter >= 1 && a >= 0x4300 && a <= 0x5eff) return;
    if (ram) ram->console_ram[a] = uint8_t(v);
    if (a >= 0x8000) return;
    if (a < Z6_ROM_SIZE) {
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
    if (a < Z6_ROM_SIZE) return cart ? cart_read(cart, a) : 0;
    if (!ram) return 0;
    if (a >= 0x8000) return upper_gate_open(ram) ? ram->console_ram[a] : 0;
    if (a < 0x5e00) return ram->console_ram[a];
    if (a < 0x5f00) return (ram->cartdata_words[(a - 0x5e00) >> 2] >> ((a & 3) * 8)) & 255;
    if (a < 0x5f80) return register_read(ram, a);
    if (a < 0x6000) return gpio_read(a - 0x5f80);
    const uint8_t *p = screen_pixels(ram, a);
    return p ? ((p[1] & 15) << 4) | (p[0] & 15) : 0;
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
