// Drawing bindings: argument defaults, colour resolution, the camera, and the
// cost of each call. The pixels themselves are the gfx_ modules' work.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/api.h"
#include "console/gfx_pixel.h"
#include "console/gfx_print.h"
#include "console/gfx_shape.h"
#include "console/gfx_sprite.h"
#include "console/mem.h"
#include "console/term.h"
#include "vm/llimits.h"
#include "console/cpu.h"

namespace {

draw_state_rec &ds() { return pstate.draw_state; }
vull_bitmap *surface() { return pstate.draw_surface; }

// Integer part of a 16.16 value (floor).
constexpr int flr(int32_t raw) { return raw >> 16; }

int32_t num(lua_State *L, int i) { return lua_tonumberx(L, i, nullptr); }
void push_int(lua_State *L, int v) { lua_pushnumber(L, int32_t(uint32_t(v) << 16)); }

// Register writes go through the memory map so that RAM and the decoded
// fields stay one view.
void poke_reg(int address, int value) {
    zibo6_poke(&pstate, pstate.memory_cart, address, value & 0xff);
}

void set_fill_pattern(uint32_t v) {
    poke_reg(0x5f31, int(v & 0xff));
    poke_reg(0x5f32, int((v >> 8) & 0xff));
    poke_reg(0x5f33, int((v >> 16) & 0xff));
}

// Colour pair of a pen byte through the draw palette.
int pen_pair(int pen) {
    return (gfx_draw_pal(pen & 15) & 15) + ((gfx_draw_pal((pen >> 4) & 15) << 4) & 0xff);
}

// Resolves a colour argument (raw 16.16) or, when none is given, the pen.
int resolve_colour(bool given, int32_t raw) {
    if (given) {
        int ip = flr(raw);
        poke_reg(0x5f25, ip & 0xff);
        if (ds().colour_pattern_mode == 1 && (ip & 0x1000)) {
            uint32_t p = uint32_t(raw) & 0xffff;
            if (ip & 0x100) p |= GFX_FILLP_TRANSPARENT;
            if (ip & 0x200) p |= GFX_FILLP_SPRITES;
            set_fill_pattern(p);
            return pen_pair(ip & 0xff);
        }
    }
    int pair = pen_pair(ds().pen_colour);
    if (gfx_fill_pattern() & GFX_FILLP_SECONDARY) pair = gfx_second_pal(pair & 15);
    return pair;
}

// getp_col: argument i of an ordinary binding.
int getp_col(lua_State *L, int i) { return resolve_colour(lua_gettop(L) >= i, num(L, i)); }

// The fast calls read a colour only from a number slot: another value gives
// the palette's colour 0 and leaves the pen alone.
int fast_col(lua_State *L, int k) {
    if (k > z6f_argc(L)) return resolve_colour(false, 0);
    const TValue *o = z6f_slot(L, k);
    if (ttisnumber(o)) return resolve_colour(true, nvalue(o));
    int pair = pen_pair(0);
    if (gfx_fill_pattern() & GFX_FILLP_SECONDARY) pair = gfx_second_pal(pair & 15);
    return pair;
}

int cam_x() { return ds().camera_x; }
int cam_y() { return ds().camera_y; }

// Sets the clip registers and the surface's clip, each value within 0..128.
void set_clip(int x0, int y0, int x1, int y1) {
    poke_reg(0x5f20, std::clamp(x0, 0, 128));
    poke_reg(0x5f21, std::clamp(y0, 0, 128));
    poke_reg(0x5f22, std::clamp(x1, 0, 128));
    poke_reg(0x5f23, std::clamp(y1, 0, 128));
}

void set_cursor(int x, int y) {
    ds().cursor_x = x;
    ds().cursor_y = y;
    ds().print_left_margin = x;
    pstate.console_ram[0x5f26] = uint8_t(x);
    pstate.console_ram[0x5f27] = uint8_t(y);
    pstate.console_ram[0x5f24] = uint8_t(x);
}

// Camera-relative box corner, kept in range of int after the subtraction.
int sub_cam(int v, int cam) {
    return int(std::clamp<int64_t>(int64_t(v) - cam, INT32_MIN / 2, INT32_MAX / 2));
}

// Rectangle and outline shared by the fast rect calls.
int rect_common(lua_State *L, bool fill) {
    vull_bitmap *s = surface();
    int x0 = sub_cam(flr(z6f_arg(L, 1)), cam_x()), y0 = sub_cam(flr(z6f_arg(L, 2)), cam_y());
    int x1 = sub_cam(flr(z6f_arg(L, 3)), cam_x()), y1 = sub_cam(flr(z6f_arg(L, 4)), cam_y());
    int pair = fast_col(L, 5);
    if (!s || !s->rows) return 0;
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    gfx_clip_rect c = gfx_clip(s);
    int n = 0;
    if (fill) {
        int cx0 = std::max(x0, c.x0), cx1 = std::min(x1, c.x1 - 1);
        int cy0 = std::max(y0, c.y0), cy1 = std::min(y1, c.y1 - 1);
        if (cx1 < cx0 || cy1 < cy0) return 0;
        // Narrow tall rectangles go by columns: same pixels, fewer spans.
        if (cx1 - cx0 < 8 && cy1 - cy0 >= 5) {
            for (int x = cx0; x <= cx1; x++) n += draw_vline(s, x, cy0, cy1, pair);
        } else {
            for (int y = cy0; y <= cy1; y++) n += draw_hline(s, cx0, cx1, y, pair);
        }
    } else {
        n += draw_hline(s, x0, x1, y0, pair);
        if (y0 != y1) {
            n += draw_hline(s, x0, x1, y1, pair);
            if (y1 - y0 > 1) {
                n += draw_vline(s, x0, y0 + 1, y1 - 1, pair);
                n += draw_vline(s, x1, y0 + 1, y1 - 1, pair);
            }
        }
    }
    spend_cpu(n / 16);
    return 0;
}

// Circle (ellipse = false) or oval outline and fill.
int circ_common(lua_State *L, bool fill) {
    int n = lua_gettop(L);
    if (n < 2) return 0;
    int x = z6_arg_int(L, 1), y = z6_arg_int(L, 2);
    int32_t rr = n == 2 ? (4 << 16) : num(L, 3);
    int r = flr(rr);
    if (r < 0) return 0;
    int e = ((gfx_ram(0x5f36) & 0x02) && (rr & 0x8000)) ? 1 : 0;
    int pair = getp_col(L, 4);
    vull_bitmap *s = surface();
    int64_t x0 = int64_t(x) - r - cam_x(), y0 = int64_t(y) - r - cam_y();
    int64_t x1 = int64_t(x) + r + e - cam_x(), y1 = int64_t(y) + r + e - cam_y();
    int count = fill ? draw_filloval(s, int(x0), int(y0), int(x1), int(y1), pair)
                     : draw_oval(s, int(x0), int(y0), int(x1), int(y1), pair);
    spend_cpu(fill ? count / 16 : count / 2);
    return 0;
}

int oval_common(lua_State *L, bool fill) {
    int x0 = sub_cam(z6_arg_int(L, 1), cam_x()), y0 = sub_cam(z6_arg_int(L, 2), cam_y());
    int x1 = sub_cam(z6_arg_int(L, 3), cam_x()), y1 = sub_cam(z6_arg_int(L, 4), cam_y());
    int pair = getp_col(L, 5);
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    vull_bitmap *s = surface();
    int count = fill ? draw_filloval(s, x0, y0, x1, y1, pair) : draw_oval(s, x0, y0, x1, y1, pair);
    spend_cpu(fill ? count / 16 : count / 2);
    return 0;
}

// Line cursor registers.
void set_line_end(int x, int y) {
    poke_reg(0x5f3c, x & 0xff);
    poke_reg(0x5f3d, (x >> 8) & 0xff);
    poke_reg(0x5f3e, y & 0xff);
    poke_reg(0x5f3f, (y >> 8) & 0xff);
}

// Transparency mask: bit 15 - c set when colour c is transparent.
int transparency_mask() {
    int m = 0;
    for (int c = 0; c < 16; c++)
        if (gfx_draw_pal(c) & GFX_PAL_TRANSPARENT) m |= 1 << (15 - c);
    return m;
}

void set_transparent(int c, bool t) {
    int v = gfx_draw_pal(c) & ~GFX_PAL_TRANSPARENT;
    poke_reg(0x5f00 + (c & 15), t ? v | GFX_PAL_TRANSPARENT : v);
}

constexpr uint8_t secondary_default[16] = {0x00, 0x01, 0x12, 0x13, 0x24, 0x15, 0xd6, 0x67,
                                           0x48, 0x49, 0x9a, 0x3b, 0xdc, 0x5d, 0x8e, 0xef};

// Sets entry k of palette p (0 draw, 1 screen, 2 secondary) as pal() does.
void set_pal_entry(int p, int k, int v) {
    k &= 15;
    if (p == 0) {
        poke_reg(0x5f00 + k, (v & 15) | (gfx_draw_pal(k) & GFX_PAL_TRANSPARENT));
    } else if (p == 1) {
        poke_reg(0x5f10 + k, v & 255); // bit 7 starts the extended-palette glitch
    } else if (p == 2) {
        poke_reg(0x5f60 + k, v & 255);
    }
}

// A print that waits for later frames ends this frame as flip does; the
// run slice continues the text before the script runs again.
int print_wait(lua_State *L) {
    z6_flip(L);
    return 0;
}

} // namespace

// ---- draw state ----

int z6_camera(lua_State *L) {
    int ox = cam_x(), oy = cam_y();
    int x = z6_arg_int(L, 1), y = z6_arg_int(L, 2);
    poke_reg(0x5f28, x & 0xff);
    poke_reg(0x5f29, (x >> 8) & 0xff);
    poke_reg(0x5f2a, y & 0xff);
    poke_reg(0x5f2b, (y >> 8) & 0xff);
    push_int(L, ox);
    push_int(L, oy);
    return 2;
}

int z6_clip(lua_State *L) {
    int n = lua_gettop(L);
    int ox0 = ds().clip_x0, oy0 = ds().clip_y0, ox1 = ds().clip_x1, oy1 = ds().clip_y1;
    int x0 = 0, y0 = 0, x1 = 128, y1 = 128;
    if (n >= 4) {
        x0 = z6_arg_int(L, 1);
        y0 = z6_arg_int(L, 2);
        int64_t ex = int64_t(x0) + z6_arg_int(L, 3), ey = int64_t(y0) + z6_arg_int(L, 4);
        x1 = int(std::clamp<int64_t>(ex, INT32_MIN, INT32_MAX));
        y1 = int(std::clamp<int64_t>(ey, INT32_MIN, INT32_MAX));
        if (n >= 5 && lua_toboolean(L, 5)) {
            x0 = std::clamp(x0, ox0, std::max(ox0, ox1));
            x1 = std::clamp(x1, ox0, std::max(ox0, ox1));
            y0 = std::clamp(y0, oy0, std::max(oy0, oy1));
            y1 = std::clamp(y1, oy0, std::max(oy0, oy1));
        }
    }
    set_clip(x0, y0, x1, y1);
    push_int(L, ox0);
    push_int(L, oy0);
    push_int(L, ox1 - ox0);
    push_int(L, oy1 - oy0);
    return 4;
}

int z6_color(lua_State *L) {
    int old = ds().pen_colour & 0xff;
    if (lua_gettop(L) < 1)
        poke_reg(0x5f25, 6);
    else
        resolve_colour(true, num(L, 1));
    push_int(L, old);
    return 1;
}

int z6_cursor(lua_State *L) {
    int ox = ds().cursor_x, oy = ds().cursor_y, open = ds().pen_colour & 0xff;
    set_cursor(z6_arg_int(L, 1), z6_arg_int(L, 2));
    if (lua_gettop(L) >= 3) resolve_colour(true, num(L, 3));
    push_int(L, ox);
    push_int(L, oy);
    push_int(L, open);
    return 3;
}

int z6_pal(lua_State *L) {
    int n = lua_gettop(L);
    if (n >= 1 && lua_type(L, 1) == LUA_TTABLE) {
        int p = n >= 2 ? z6_arg_int(L, 2) : 0;
        lua_pushnil(L);
        while (lua_next(L, 1)) {
            if (lua_type(L, -2) == LUA_TNUMBER) {
                set_pal_entry(p, flr(lua_tonumberx(L, -2, nullptr)),
                              flr(lua_tonumberx(L, -1, nullptr)));
                spend_cpu(2);
            }
            lua_settop(L, -2);
        }
        return 0;
    }
    if (n >= 2) {
        int c0 = z6_arg_int(L, 1) & 15, c1 = z6_arg_int(L, 2);
        if (n >= 3 && num(L, 3) != 0) {
            int p = z6_arg_int(L, 3);
            int old = 0;
            if (p == 1) {
                old = ds().screen_pal[c0] & 0xff;
                set_pal_entry(1, c0, c1);
            } else if (p == 2) {
                old = ds().secondary_pal[c0] & 0xff;
                set_pal_entry(2, c0, c1);
            }
            push_int(L, old);
            return 1;
        }
        int old = gfx_draw_pal(c0) & ~GFX_PAL_TRANSPARENT & 0xff;
        set_pal_entry(0, c0, c1);
        push_int(L, old);
        return 1;
    }
    for (int i = 0; i < 16; i++) {
        poke_reg(0x5f00 + i, i == 0 ? GFX_PAL_TRANSPARENT : i);
        poke_reg(0x5f10 + i, i);
        poke_reg(0x5f60 + i, secondary_default[i]);
    }
    push_int(L, 0);
    return 1;
}

int z6_palt(lua_State *L) {
    int n = lua_gettop(L);
    int old = transparency_mask();
    if (n == 0) {
        for (int c = 0; c < 16; c++) set_transparent(c, c == 0);
        push_int(L, old);
        return 1;
    }
    if (n == 1) {
        uint32_t raw = uint32_t(num(L, 1));
        for (int c = 0; c < 16; c++) set_transparent(c, (raw >> (31 - c)) & 1);
        spend_cpu(2);
        push_int(L, old);
        return 1;
    }
    int c = z6_arg_int(L, 1) & 15;
    lua_pushboolean(L, (old >> (15 - c)) & 1);
    set_transparent(c, lua_toboolean(L, 2));
    return 1;
}

int z6_fillp(lua_State *L) {
    uint32_t old = gfx_fill_pattern();
    int32_t res = int32_t((old & 0xffff) << 16);
    if (old & GFX_FILLP_TRANSPARENT) res |= 0x8000;
    if (old & GFX_FILLP_SPRITES) res |= 0x4000;
    uint32_t v = 0;
    if (lua_gettop(L) >= 1) {
        uint32_t raw = uint32_t(num(L, 1));
        v = raw >> 16;
        if (raw & 0x8000) v |= GFX_FILLP_TRANSPARENT;
        if (raw & 0x4000) v |= GFX_FILLP_SPRITES;
        if (raw & 0x2000) v |= GFX_FILLP_SECONDARY;
    }
    set_fill_pattern(v);
    lua_pushnumber(L, res);
    return 1;
}

// ---- pixels, sheet, map and flags ----

int z6f_pset(lua_State *L) {
    if (z6f_argc(L) < 2) return 0;
    int x = flr(z6f_arg(L, 1)), y = flr(z6f_arg(L, 2));
    int pair = fast_col(L, 3);
    putpixel(surface(), sub_cam(x, cam_x()), sub_cam(y, cam_y()), pair, gfx_fill_pattern());
    return 0;
}

int z6f_pget(lua_State *L) {
    if (z6f_argc(L) < 2 || !surface()) return 0;
    int x = sub_cam(flr(z6f_arg(L, 1)), cam_x()), y = sub_cam(flr(z6f_arg(L, 2)), cam_y());
    return int(int32_t((vull_getpixel(surface(), x, y) & 15) << 16));
}

int z6_sget(lua_State *L) {
    const vull_bitmap *sheet = gfx_sheet();
    push_int(L, sheet ? int(vull_getpixel(sheet, z6_arg_int(L, 1), z6_arg_int(L, 2)) & 15) : 0);
    return 1;
}

int z6_sset(lua_State *L) {
    int x = z6_arg_int(L, 1), y = z6_arg_int(L, 2);
    int c = lua_gettop(L) >= 3 ? z6_arg_int(L, 3) : ds().pen_colour;
    if (x < 0 || x > 127 || y < 0 || y > 127) return 0;
    int a = 64 * y + x / 2;
    int b = zibo6_peek(&pstate, pstate.memory_cart, a);
    b = (x & 1) ? (b & 0x0f) | (c & 15) << 4 : (b & 0xf0) | (c & 15);
    zibo6_poke(&pstate, pstate.memory_cart, a, b);
    return 0;
}

int z6_mget(lua_State *L) {
    const vull_bitmap *map = gfx_map_bitmap();
    push_int(L, map ? int(vull_getpixel(map, z6_arg_int(L, 1), z6_arg_int(L, 2))) : 0);
    return 1;
}

int z6_mset(lua_State *L) {
    int x = z6_arg_int(L, 1), y = z6_arg_int(L, 2), v = z6_arg_int(L, 3) & 255;
    if (x < 0 || x > 127 || y < 0 || y > 63) return 0;
    // Rows 32-63 share their bytes with the lower sprite sheet: one poke keeps both.
    zibo6_poke(&pstate, pstate.memory_cart, y < 32 ? 0x2000 + 128 * y + x : 128 * y + x, v);
    return 0;
}

int z6_fget(lua_State *L) {
    int n = lua_gettop(L);
    if (n == 0) return 0;
    int s = z6_arg_int(L, 1);
    int flags = (s >= 0 && s <= 255) ? gfx_sprite_flags(s) & 255 : 0;
    if (n == 1) {
        push_int(L, flags);
        return 1;
    }
    int f = z6_arg_int(L, 2);
    lua_pushboolean(L, s >= 0 && s <= 255 && f >= 0 && f <= 7 && ((flags >> f) & 1));
    return 1;
}

int z6_fset(lua_State *L) {
    int n = lua_gettop(L);
    if (n < 2) return 0;
    int s = z6_arg_int(L, 1);
    if (s < 0 || s > 255) return 0;
    if (n == 2) {
        zibo6_poke(&pstate, pstate.memory_cart, 0x3000 + s, z6_arg_int(L, 2) & 255);
        return 0;
    }
    int f = z6_arg_int(L, 2);
    if (f < 0 || f > 7) return 0;
    int flags = gfx_sprite_flags(s) & 255;
    flags = lua_toboolean(L, 3) ? flags | (1 << f) : flags & ~(1 << f);
    zibo6_poke(&pstate, pstate.memory_cart, 0x3000 + s, flags);
    return 0;
}

// ---- shapes ----

int z6_cls(lua_State *L) {
    int c = lua_gettop(L) >= 1 ? z6_arg_int(L, 1) : 0;
    set_cursor(0, 0);
    set_clip(0, 0, 128, 128);
    if (vull_bitmap *s = surface()) {
        vull_reset_clip(s);
        vull_rectfill(s, 0, 0, 127, 127, uint32_t(c & 15));
    }
    spend_cpu(1024);
    return 0;
}

int z6f_rectfill(lua_State *L) { return rect_common(L, true); }
int z6f_rect(lua_State *L) { return rect_common(L, false); }

int z6_line(lua_State *L) {
    int n = lua_gettop(L);
    if (n == 0 || n == 1) {
        poke_reg(0x5f35, 1);
        if (n == 1) resolve_colour(true, num(L, 1));
        return 0;
    }
    int x0, y0, x1, y1, colour_arg;
    if (n <= 3) {
        if (n == 3) resolve_colour(true, num(L, 3));
        x1 = z6_arg_int(L, 1);
        y1 = z6_arg_int(L, 2);
        bool no_end = ds().line_flag & 1;
        x0 = ds().line_x;
        y0 = ds().line_y;
        set_line_end(x1, y1);
        poke_reg(0x5f35, 0);
        if (no_end) return 0;
        colour_arg = 0; // the pen, already set
    } else {
        x0 = z6_arg_int(L, 1);
        y0 = z6_arg_int(L, 2);
        x1 = z6_arg_int(L, 3);
        y1 = z6_arg_int(L, 4);
        set_line_end(x1, y1);
        poke_reg(0x5f35, 0);
        colour_arg = 5;
    }
    int pair = colour_arg ? getp_col(L, colour_arg) : resolve_colour(false, 0);
    vull_bitmap *s = surface();
    x0 = sub_cam(x0, cam_x());
    x1 = sub_cam(x1, cam_x());
    y0 = sub_cam(y0, cam_y());
    y1 = sub_cam(y1, cam_y());
    if (x0 == x1)
        spend_cpu(draw_vline(s, x0, y0, y1, pair) / 16);
    else if (y0 == y1)
        spend_cpu(draw_hline(s, x0, x1, y0, pair) / 16);
    else
        spend_cpu(draw_line(s, x0, y0, x1, y1, pair) / 2);
    return 0;
}

int z6_circ(lua_State *L) { return circ_common(L, false); }
int z6_circfill(lua_State *L) { return circ_common(L, true); }
int z6_oval(lua_State *L) { return oval_common(L, false); }
int z6_ovalfill(lua_State *L) { return oval_common(L, true); }

int z6_tline(lua_State *L) {
    int n = lua_gettop(L);
    // Whole pixels of camera off 16.16 screen positions, in 64 bits: after
    // the camera a position can lie beyond the 16.16 range.
    auto sub = [](int32_t v, int cam) { return int64_t(v) - int64_t(cam) * 65536; };
    int64_t x0 = sub(num(L, 1), cam_x()), y0 = sub(num(L, 2), cam_y());
    int64_t x1 = sub(num(L, 3), cam_x()), y1 = sub(num(L, 4), cam_y());
    int32_t mx = num(L, 5), my = num(L, 6);
    int32_t mdx = n >= 7 ? num(L, 7) : 0x2000, mdy = n >= 8 ? num(L, 8) : 0;
    int layers = n >= 9 ? z6_arg_int(L, 9) : 0;
    spend_cpu(2 * draw_tline(surface(), x0, y0, x1, y1, mx, my, mdx, mdy, layers));
    return 0;
}

int z6_spr(lua_State *L) {
    int n = lua_gettop(L);
    int s = z6_arg_int(L, 1);
    if (s < 0 || s > 255) return 0;
    int w = 8, h = 8;
    if (n > 3) {
        // Eighths of a sprite count: raw >> 13 is eight times the value.
        w = std::min(num(L, 4) >> 13, 128);
        h = std::min(num(L, 5) >> 13, 128);
    }
    bool fx = n > 5 && lua_toboolean(L, 6), fy = n > 5 && lua_toboolean(L, 7);
    int x = sub_cam(z6_arg_int(L, 2), cam_x()), y = sub_cam(z6_arg_int(L, 3), cam_y());
    spend_cpu(gfx_spr(surface(), s, x, y, w, h, fx, fy));
    return 0;
}

int z6_sspr(lua_State *L) {
    int n = lua_gettop(L);
    int sx = z6_arg_int(L, 1), sy = z6_arg_int(L, 2), sw = z6_arg_int(L, 3), sh = z6_arg_int(L, 4);
    int dx = sub_cam(z6_arg_int(L, 5), cam_x()), dy = sub_cam(z6_arg_int(L, 6), cam_y());
    int dw = sw, dh = sh;
    if (n > 6) {
        dw = z6_arg_int(L, 7);
        dh = z6_arg_int(L, 8);
    }
    bool fx = lua_toboolean(L, 9), fy = lua_toboolean(L, 10);
    spend_cpu(gfx_sspr(surface(), sx, sy, sw, sh, dx, dy, dw, dh, fx, fy));
    return 0;
}

int z6_map(lua_State *L) {
    int n = lua_gettop(L);
    int cx = z6_arg_int(L, 1), cy = z6_arg_int(L, 2);
    int sx = sub_cam(z6_arg_int(L, 3), cam_x()), sy = sub_cam(z6_arg_int(L, 4), cam_y());
    int cw = 128, ch = 32, layers = 0;
    if (n >= 5) {
        cw = z6_arg_int(L, 5);
        ch = z6_arg_int(L, 6);
        layers = z6_arg_int(L, 7);
    }
    spend_cpu(gfx_map(surface(), cx, cy, sx, sy, cw, ch, layers));
    return 0;
}

// ---- text ----

int z6_print(lua_State *L) {
    int n = lua_gettop(L);
    if (n == 0) return 0;
    char buf[64];
    size_t len = 0;
    const char *text = z6_value_text(L, 1, &len, buf, sizeof buf);
    int flags = pstate.cart_code_running ? PRINT_SCROLL : PRINT_SCROLL | PRINT_WRAP;
    int colour;
    if (n >= 3) {
        set_cursor(z6_arg_int(L, 2), z6_arg_int(L, 3));
        colour = n >= 4 ? getp_col(L, 4) : gfx_draw_pal(ds().pen_colour & 15) & 15;
        flags = 0;
    } else if (n == 2) {
        colour = getp_col(L, 2);
    } else {
        colour = gfx_draw_pal(ds().pen_colour & 15) & 15;
    }
    int length = int(std::min<size_t>(len, size_t(INT32_MAX) - 8));
    int pending = zibo6_print_text(surface(), text, length, flags, colour);
    std::string error = print_take_error();
    if (!error.empty()) {
        zibo6_runtime_error(L, error.c_str());
        return 0;
    }
    if (pending) return print_wait(L);
    push_int(L, print_max_x);
    return 1;
}
