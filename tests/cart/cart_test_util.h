// Text carts in and out of strings, and a cart that fills every section.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"

namespace cart_test {

struct cart_free {
    void operator()(zibo6_cart *c) const { vull_destroy_zibo6_cart(c); }
};
using cart_ptr = std::unique_ptr<zibo6_cart, cart_free>;

// Reads a text cart from an exactly sized heap copy, so the sanitizers catch
// any read past its end.
inline cart_ptr read_text(const std::string &text, int lenient = 0) {
    std::vector<char> copy(text.begin(), text.end());
    vull_file *f = vull_fopen_memory(copy.empty() ? nullptr : copy.data(), int(copy.size()));
    zibo6_cart *c = f ? vull_load_zibo6_cart_from_file(f, lenient) : nullptr;
    vull_fclose(f);
    return cart_ptr(c);
}

inline std::string write_text(zibo6_cart *cart, int no_header = 0) {
    cbuffer *out = vull_create_buffer(0);
    EXPECT_EQ(vull_save_zibo6_cart_to_file(cart, out, no_header), 0);
    std::string text(reinterpret_cast<const char *>(out->data), size_t(out->length));
    vull_destroy_buffer(out);
    return text;
}

inline std::string header(int version = 33) {
    return "zibo-6 cartridge // https://zibo6.example.org\nversion " + std::to_string(version) +
           "\n";
}

// A cart with every section in use: glyph-heavy code with a long line, sprites
// (sheet rows 0-127, so the map's shared rows too), a label with both colour
// ranges, flags, map, sfx with every field, music and a change mask.
inline cart_ptr full_cart() {
    cart_ptr c(vull_create_zibo6_cart());
    std::string code = "-- every byte the character set has\n";
    for (int b = 1; b < 256; b++)
        if (b != '\r' && b != '\n') code += char(b);
    code += "\nprint(\"hello\")\n\t-- tab\n";
    // One line far longer than any fixed line buffer, in wide glyphs.
    for (int i = 0; i < 10000; i++) code += char(128 + i % 26);
    code += "\nend";
    std::memcpy(c->code, code.c_str(), code.size() + 1);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) c->sprites->rows[y][x] = uint8_t((x * 7 + y) & 15);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 128; x++) c->map->rows[y][x] = uint8_t(x + y * 3);
    c->label = vull_create_bitmap(128, 128, 8);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            c->label->rows[y][x] = uint8_t(((x + y) & 15) | (x & 128) | ((y & 1) << 7));
    for (int i = 0; i < 256; i++) c->sprite_flags[i] = (i * 37) & 0xFF;
    for (int i = 0; i < 64; i++) {
        zibo6_sfx &s = c->sfx[i];
        s.filters = (i * 2) & 0xFE;
        s.flag = i & 1;
        s.speed = i + 1;
        s.loop_start = i % 32;
        s.loop_end = (i * 3) % 32;
        for (int n = 0; n < 32; n++) {
            s.note[n].pitch = (i + n) & 63;
            s.note[n].instrument = n & 7;
            s.note[n].volume = (n + i) & 7;
            s.note[n].effect = (n * 3) & 7;
            s.note[n].custom = (n % 5 == 0) ? 128 : 0;
        }
    }
    for (int p = 0; p < 64; p++) {
        c->pattern_flags[p] = p & 7;
        for (int ch = 0; ch < 4; ch++) c->music[p][ch] = (p + ch * 17) & 0x7F;
    }
    for (int i = 0; i < ZIBO6_CHANGE_MASK_SIZE; i++) c->change_mask[i] = uint8_t(i * 13);
    return c;
}

} // namespace cart_test
