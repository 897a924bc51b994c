// Forum text codes and base64. The readers take text from anywhere (a paste, a
// post), so every field they read is bounded: a missing digit reads as 0, an
// index wraps into the cart, and nothing is written past the record it fills.
#include "cart/textcode.h"
#include "engine/disk.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/hooks.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "platform/system.h"

namespace {

constexpr int SFX_BASE = 0x3200; // sound memory of sfx 0
constexpr int SFX_BYTES = 68;    // sound memory of one sfx

int hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a field of up to digits hex digits. The cursor never passes the end of
// the text or a '['; a digit that is missing or not hex reads as 0.
int read_hex(const char *&p, int digits) {
    int v = 0;
    for (int i = 0; i < digits; i++) {
        int d = 0;
        if (*p && *p != '[') d = hex_digit(*p++);
        v = v * 16 + (d < 0 ? 0 : d);
    }
    return v;
}

void put_hex(std::string &out, int v, int digits) {
    static constexpr char hex[] = "0123456789abcdef";
    for (int i = digits - 1; i >= 0; i--) out += hex[(v >> (4 * i)) & 15];
}

// Hands a finished code to its caller's buffer or to the clipboard.
int deliver(const std::string &code, char *out, int preemptive) {
    if (int(code.size()) >= BBS_CODE_SIZE) return -1;
    if (out) {
        std::memcpy(out, code.c_str(), code.size() + 1);
    } else if (preemptive) {
        vull_set_clipboard_text_preemptive(code.c_str());
    } else {
        vull_set_clipboard_text(code.c_str());
    }
    return int(code.size());
}

std::string sound_code(const zibo6_cart *cart, const std::vector<int> &sfx, int patterns) {
    auto *rom = const_cast<zibo6_cart *>(cart); // the ROM view reads only
    std::string code = "[sfx]";
    put_hex(code, int(sfx.size()), 2);
    put_hex(code, patterns, 2);
    for (int i : sfx) {
        put_hex(code, i, 2);
        for (int b = 0; b < SFX_BYTES; b++)
            put_hex(code, cart_hooks.zibo6_peek(nullptr, rom, SFX_BASE + i * SFX_BYTES + b), 2);
    }
    for (int p = 0; p < patterns; p++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) put_hex(code, cart->music[p][c] & 255, 2);
        put_hex(code, cart->pattern_flags[p] & 15, 1);
    }
    return code + "[/sfx]";
}

void add_once(std::vector<int> &list, int i) {
    for (int x : list)
        if (x == i) return;
    list.push_back(i);
}

} // namespace

/* ---- cart code ---- */

int convert_binary_file_to_hex(const char *in_path, const char *out_path) {
    cbuffer *in = in_path ? vull_load_file(in_path, HEX_CART_INPUT_MAX) : nullptr;
    if (!in) return 1;
    std::vector<uint8_t> data(in->data, in->data + in->length);
    size_t n = data.size();
    vull_destroy_buffer(in);
    if (!out_path) return 2;
    std::string code = "[cart]";
    code.reserve(n * 2 + 14);
    for (size_t i = 0; i < n; i++) put_hex(code, data[i], 2);
    code += "[/cart]";
    return vull_save_file(out_path, code.data(), int64_t(code.size())) == 0 ? 0 : 2;
}

int convert_hex_to_binary_file(const char *text, const char *path) {
    if (!path) return 1;
    std::string bytes;
    const char *p = text ? text : "";
    p += strnlen(p, 6); // past "[cart]"
    while (p[0] && p[0] != '[' && p[1]) bytes += char(read_hex(p, 2));
    return vull_save_file(path, bytes.data(), int64_t(bytes.size())) == 0 ? 0 : 1;
}

/* ---- sound and picture codes ---- */

int convert_sfxes_to_bbs_code(const zibo6_cart *cart, int count, char *out, int preemptive) {
    if (!cart || count < 0 || count > ZIBO6_SFX_COUNT) return -1;
    std::vector<int> sfx;
    for (int i = 0; i < count; i++) sfx.push_back(i);
    return deliver(sound_code(cart, sfx, 0), out, preemptive);
}

int convert_patterns_to_bbs_code(const zibo6_cart *cart, int count, char *out, int preemptive) {
    if (!cart || count < 0 || count > ZIBO6_PATTERN_COUNT) return -1;
    // The sfx on the channels, then the custom instruments their notes play.
    std::vector<int> sfx;
    for (int p = 0; p < count; p++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) {
            int s = cart->music[p][c];
            if (s < 0 || s >= ZIBO6_SFX_COUNT) continue;
            add_once(sfx, s);
            for (const zibo6_note &n : cart->sfx[s].note)
                if (n.custom) add_once(sfx, n.instrument & 7);
        }
    }
    return deliver(sound_code(cart, sfx, count), out, preemptive);
}

int convert_bmp_to_bbs_code(const vull_bitmap *bmp, char *out, int preemptive) {
    // Width and height are two digits each: larger pictures have no code.
    if (!bmp || bmp->bpp != 8 || !bmp->rows || bmp->width > 255 || bmp->height > 255) return -1;
    std::string code = "[gfx]";
    put_hex(code, bmp->width, 2);
    put_hex(code, bmp->height, 2);
    for (int y = 0; y < bmp->height; y++)
        for (int x = 0; x < bmp->width; x++) put_hex(code, bmp->rows[y][x] & 15, 1);
    return deliver(code + "[/gfx]", out, preemptive);
}

zibo6_cart *convert_bbs_code_to_song(const char *text) {
    const char *p = text ? std::strstr(text, "[sfx]") : nullptr;
    if (!p) return nullptr;
    p += 5;
    zibo6_cart *cart = vull_create_zibo6_cart();
    if (!cart) return nullptr;
    int sfx_count = read_hex(p, 2);
    int pattern_count = read_hex(p, 2);
    // An index above 63 wraps into the cart; patterns past the 64th are not read.
    for (int i = 0; i < sfx_count; i++) {
        int index = read_hex(p, 2) % ZIBO6_SFX_COUNT;
        for (int b = 0; b < SFX_BYTES; b++)
            cart_hooks.zibo6_poke(nullptr, cart, SFX_BASE + index * SFX_BYTES + b, read_hex(p, 2));
    }
    int patterns = pattern_count < ZIBO6_PATTERN_COUNT ? pattern_count : ZIBO6_PATTERN_COUNT;
    for (int i = 0; i < patterns; i++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) cart->music[i][c] = read_hex(p, 2);
        cart->pattern_flags[i] = read_hex(p, 1);
    }
    cart->sprite_flags[1] = pattern_count;
    if (pattern_count == 0) cart->sprite_flags[0] = sfx_count;
    return cart;
}

vull_bitmap *convert_bbs_code_to_bmp(const char *text) {
    const char *p = text ? std::strstr(text, "[gfx]") : nullptr;
    if (!p) return nullptr;
    p += 5;
    int w = read_hex(p, 2), h = read_hex(p, 2);
    vull_bitmap *bmp = vull_create_bitmap(w, h, 8); // null for a zero size
    if (!bmp) return nullptr;
    // Pixels past the end of a short code stay 0.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w && *p && *p != '['; x++) bmp->rows[y][x] = uint8_t(read_hex(p, 1));
    return bmp;
}

/* ---- base64 ---- */

void base64_init_encodestate(base64_encodestate *state) { *state = {}; }

char base64_encode_value(int value) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    return value < 0 || value > 63 ? '=' : alphabet[value];
}

int base64_encode_block(const uint8_t *in, int length, char *out, base64_encodestate *state) {
    char *o = out;
    for (int i = 0; i < length; i++) {
        uint8_t b = in[i];
        switch (state->step) {
        case 0:
            *o++ = base64_encode_value(b >> 2);
            state->pending = uint8_t((b & 3) << 4);
            state->step = 1;
            break;
        case 1:
            *o++ = base64_encode_value(state->pending | b >> 4);
            state->pending = uint8_t((b & 15) << 2);
            state->step = 2;
            break;
        default:
            *o++ = base64_encode_value(state->pending | b >> 6);
            *o++ = base64_encode_value(b & 63);
            state->step = 0;
            break;
        }
    }
    return int(o - out);
}

int base64_encode_blockend(char *out, base64_encodestate *state) {
    int n = 0;
    if (state->step > 0) {
        out[n++] = base64_encode_value(state->pending);
        out[n++] = '=';
        if (state->step == 1) out[n++] = '=';
    }
    base64_init_encodestate(state);
    return n;
}

void base64_init_decodestate(base64_decodestate *state) { *state = {}; }

int base64_decode_value(int c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int base64_decode_block(const char *in, int length, uint8_t *out, base64_decodestate *state) {
    uint8_t *o = out;
    for (int i = 0; i < length; i++) {
        int v = base64_decode_value(static_cast<unsigned char>(in[i]));
        if (v < 0) continue;
        switch (state->step) {
        case 0: state->pending = uint8_t(v << 2); break;
        case 1:
            *o++ = uint8_t(state->pending | v >> 4);
            state->pending = uint8_t((v & 15) << 4);
            break;
        case 2:
            *o++ = uint8_t(state->pending | v >> 2);
            state->pending = uint8_t((v & 3) << 6);
            break;
        default: *o++ = uint8_t(state->pending | v); break;
        }
        state->step = (state->step + 1) & 3;
    }
    return int(o - out);
}
