// The PNG cart reader and writer. The header is inspected before any pixel is
// decoded, so a hostile file claiming a huge picture costs nothing.
#include "cart/png_cart.h"

#include <lodepng.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/text.h"

int zibo6_png_cart_status;

namespace {

constexpr int PIXELS = PNG_CART_WIDTH * PNG_CART_HEIGHT;
static_assert(PIXELS >= PNG_CART_IMAGE_SIZE, "every image byte has a pixel");
constexpr int TRAILER = CART_IMAGE_SIZE;    // version, 0, 2, 3, platform, 0
constexpr int DIGEST = TRAILER + 6;         // 20 bytes of SHA-1
constexpr uint32_t BLANK_CART = 0xff303038; // body colour without a template
constexpr uint32_t COMMENT_TINT = 0xFFFFF8F0;
constexpr uint32_t TITLE_TINT = 0xFFA0A0A0;

void sha1_bytes(const uint8_t *data, int n, uint8_t *out20) {
    char hex[41];
    vull_sha1(data, n, hex);
    for (int i = 0; i < 20; i++) {
        unsigned v = 0;
        std::sscanf(hex + 2 * i, "%2x", &v);
        out20[i] = uint8_t(v);
    }
}

std::vector<uint8_t> read_rest(vull_file *f) {
    std::vector<uint8_t> data;
    uint8_t chunk[16384];
    for (;;) {
        int n = vull_fread(chunk, 1, int(sizeof chunk), f);
        if (n <= 0) break;
        data.insert(data.end(), chunk, chunk + n);
        if (int64_t(data.size()) > ZIBO6_CART_FILE_MAX) return {};
    }
    return data;
}

// RGBA bytes of a 160 x 205 PNG, or empty with the status set.
std::vector<uint8_t> decode_cart_png(const std::vector<uint8_t> &file) {
    std::vector<uint8_t> rgba;
    LodePNGState state;
    lodepng_state_init(&state);
    unsigned w = 0, h = 0;
    unsigned err = file.empty() ? 1 : lodepng_inspect(&w, &h, &state, file.data(), file.size());
    if (err) {
        zibo6_png_cart_status = PNG_CART_NOT_PNG;
    } else if (w != PNG_CART_WIDTH || h != PNG_CART_HEIGHT) {
        zibo6_png_cart_status = PNG_CART_WRONG_SIZE;
    } else {
        state.info_raw.colortype = LCT_RGBA;
        state.info_raw.bitdepth = 8;
        state.decoder.zlibsettings.max_output_size = size_t(PIXELS) * 8 + PNG_CART_HEIGHT;
        unsigned char *out = nullptr;
        err = lodepng_decode(&out, &w, &h, &state, file.data(), file.size());
        if (err || !out)
            zibo6_png_cart_status = PNG_CART_NOT_PNG;
        else
            rgba.assign(out, out + size_t(PIXELS) * 4);
        std::free(out);
    }
    lodepng_state_cleanup(&state);
    return rgba;
}

uint32_t colour_of(const vull_rgb *c, int i) {
    const vull_rgb &e = c[i & 255];
    return 0xff000000u | uint32_t(e.r) << 16 | uint32_t(e.g) << 8 | e.b;
}

uint32_t pixel_of(const vull_bitmap *b, int x, int y) {
    uint32_t p;
    std::memcpy(&p, b->rows[y] + 4 * x, 4);
    return p;
}

void set_pixel(vull_bitmap *b, int x, int y, uint32_t p) { std::memcpy(b->rows[y] + 4 * x, &p, 4); }

vull_bitmap *label_from_rgba(const uint8_t *rgba, int width) {
    vull_bitmap *src = vull_create_bitmap(ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE, 32);
    vull_bitmap *label = vull_create_bitmap(ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE, 8);
    if (src && label) {
        for (int y = 0; y < ZIBO6_SHEET_SIZE; y++)
            for (int x = 0; x < ZIBO6_SHEET_SIZE; x++) {
                const uint8_t *p = rgba + 4 * (size_t(y + PNG_CART_LABEL_Y) * size_t(width) +
                                               size_t(x + PNG_CART_LABEL_X));
                set_pixel(src, x, y,
                          uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
            }
        cart_hooks.zibo6_convert_bitmap(src, label, cart_display_colours());
    } else {
        vull_destroy_bitmap(label);
        label = nullptr;
    }
    vull_destroy_bitmap(src);
    return label;
}

zibo6_cart *cart_from_rgba(const std::vector<uint8_t> &rgba) {
    std::vector<uint8_t> image(PNG_CART_IMAGE_SIZE);
    for (int i = 0; i < PNG_CART_IMAGE_SIZE; i++) {
        const uint8_t *p = &rgba[size_t(i) * 4];
        image[size_t(i)] =
            uint8_t((p[2] & 3) | (p[1] & 3) << 2 | (p[0] & 3) << 4 | (p[3] & 3) << 6);
    }
    int version = image[TRAILER];
    if (version > ZIBO6_CART_VERSION) {
        if (!cconfig.accept_future) {
            char line[64];
            std::snprintf(line, sizeof line, "future version: %d", version);
            cart_hooks.zibo_print(line);
            zibo6_png_cart_status = PNG_CART_FUTURE;
            return nullptr;
        }
        cart_hooks.show_message("loading future cart version", 1500);
    }
    uint8_t stored[20], actual[20];
    std::memcpy(stored, &image[DIGEST], 20);
    bool signed_cart = false;
    for (uint8_t b : stored) signed_cart |= b != 0;
    if (signed_cart) { // stored zeros skip the test
        sha1_bytes(image.data(), CART_IMAGE_SIZE, actual);
        if (std::memcmp(stored, actual, 20) != 0) {
            cart_hooks.zibo_print("cartridge data is corrupted");
            zibo6_png_cart_status = PNG_CART_CORRUPTED;
            return nullptr;
        }
    }
    zibo6_cart *cart = vull_create_zibo6_cart();
    if (!cart) {
        zibo6_png_cart_status = PNG_CART_NOT_PNG;
        return nullptr;
    }
    cart->version = version;
    load_zibo6_cart_32k(cart, image.data());
    return cart;
}

zibo6_cart *load_from_bytes(const std::vector<uint8_t> &file, bool with_label) {
    std::vector<uint8_t> rgba = decode_cart_png(file);
    if (rgba.empty()) return nullptr;
    zibo6_cart *cart = cart_from_rgba(rgba);
    if (cart && with_label) cart->label = label_from_rgba(rgba.data(), PNG_CART_WIDTH);
    return cart;
}

// The comment text of one code line: "" when it is no "--" line.
std::string comment_of(const char *line) {
    if (std::strncmp(line, "--", 2) != 0) return "";
    line += 2;
    if (*line == ' ') line++;
    size_t n = 0;
    while (n < 31 && line[n] && line[n] != '\n') n++;
    return std::string(line, n);
}

cpod *system_font() { return pstate.font_pod ? pstate.font_pod : vull_font1; }

} // namespace

const vull_rgb *cart_display_colours() {
    static vull_rgb fixed[256];
    static bool made = false;
    if (vull_palette) return vull_palette->entry;
    if (!made) { // 32 colours far apart: labels survive the low bits
        for (int i = 0; i < 16; i++) {
            fixed[i] = {uint8_t(8 + (i & 3) * 80), uint8_t(8 + ((i >> 2) & 3) * 80),
                        uint8_t(i & 8 ? 200 : 40)};
            fixed[128 + i] = {uint8_t(48 + (i & 3) * 80), uint8_t(48 + ((i >> 2) & 3) * 80),
                              uint8_t(i & 8 ? 248 : 88)};
        }
        made = true;
    }
    return fixed;
}

void draw_cart_comment(vull_bitmap *bitmap, const char *code, int x, int y) {
    if (!bitmap || !code || !system_font()) return;
    std::string text = comment_of(code);
    if (!text.empty())
        vull_draw_text_ex(bitmap, text.c_str(), system_font(), x, y, VULL_TEXT_TINT, COMMENT_TINT);
}

namespace {

// The ROM image with its trailer and the picture carrying it in its low bits (RGBA bytes of
// PNG_CART_WIDTH x PNG_CART_HEIGHT pixels); false when the code does not fit the image.
bool cart_png_pixels(zibo6_cart *cart, std::vector<uint8_t> &image, std::vector<uint8_t> &rgba) {
    image.assign(PNG_CART_IMAGE_SIZE, 0);
    if (!cart || save_zibo6_cart_32k(cart, image.data()) != 0) return false;
    image[TRAILER] = ZIBO6_CART_VERSION;
    image[TRAILER + 1] = 0, image[TRAILER + 2] = 2, image[TRAILER + 3] = 3;
    image[TRAILER + 4] = uint8_t(get_platform_char());
    sha1_bytes(image.data(), CART_IMAGE_SIZE, &image[DIGEST]);

    vull_bitmap *pic = vull_create_bitmap(PNG_CART_WIDTH, PNG_CART_HEIGHT, 32);
    if (!pic) return false;
    for (int y = 0; y < PNG_CART_HEIGHT; y++)
        for (int x = 0; x < PNG_CART_WIDTH; x++) set_pixel(pic, x, y, BLANK_CART);
    auto *tpl = pstate.resource_pod ? static_cast<vull_bitmap *>(cpod_get_item(
                                          pstate.resource_pod, PNG_CART_TEMPLATE_ITEM, CPOD_BITMAP))
                                    : nullptr;
    if (tpl && tpl->bpp == 32 && tpl->rows)
        for (int y = 0; y < PNG_CART_HEIGHT && y < tpl->height; y++)
            for (int x = 0; x < PNG_CART_WIDTH && x < tpl->width; x++)
                set_pixel(pic, x, y, pixel_of(tpl, x, y));
    if (cart->label) {
        const vull_rgb *colours = cart_display_colours();
        for (int y = 0; y < ZIBO6_SHEET_SIZE; y++)
            for (int x = 0; x < ZIBO6_SHEET_SIZE; x++)
                set_pixel(pic, PNG_CART_LABEL_X + x, PNG_CART_LABEL_Y + y,
                          colour_of(colours, cart->label->rows[y][x]));
    }
    const char *code = cart->code ? cart->code : "";
    draw_cart_comment(pic, code, 18, 167);
    if (const char *second = std::strchr(code, '\n')) draw_cart_comment(pic, second + 1, 18, 175);
    if (system_font())
        vull_draw_text_ex(pic, "zibo-6 cartridge", system_font(), 18, 187, VULL_TEXT_TINT,
                          TITLE_TINT);

    rgba.assign(size_t(PIXELS) * 4, 0);
    for (int i = 0; i < PIXELS; i++) {
        uint32_t p = pixel_of(pic, i % PNG_CART_WIDTH, i / PNG_CART_WIDTH);
        int v = i < PNG_CART_IMAGE_SIZE ? image[size_t(i)] : 0;
        uint8_t *o = &rgba[size_t(i) * 4];
        o[0] = uint8_t((((p >> 16) & 0xfc) | ((v >> 4) & 3)));
        o[1] = uint8_t((((p >> 8) & 0xfc) | ((v >> 2) & 3)));
        o[2] = uint8_t(((p & 0xfc) | (v & 3)));
        o[3] = uint8_t((((p >> 24) & 0xfc) | ((v >> 6) & 3)));
    }
    vull_destroy_bitmap(pic);
    return true;
}

} // namespace

int save_zibo6_cart_png_to_file(zibo6_cart *cart, vull_file *f) {
    std::vector<uint8_t> image, rgba;
    if (!f || !cart_png_pixels(cart, image, rgba)) return 1;
    unsigned char *png = nullptr;
    size_t png_size = 0;
    if (lodepng_encode_memory(&png, &png_size, rgba.data(), PNG_CART_WIDTH, PNG_CART_HEIGHT,
                              LCT_RGBA, 8) != 0) {
        std::free(png);
        return 1;
    }
    bool ok = png_size <= size_t(VULL_ALLOC_CAP) &&
              vull_fwrite(png, 1, int(png_size), f) == int(png_size);
    std::free(png);
    return ok ? 0 : 1;
}

// ---- the draft: a PNG cart written many times in a row ----

namespace {

constexpr int ROW_BYTES = 1 + PNG_CART_WIDTH * 4;     // filter byte, then RGBA
constexpr int RAW_SIZE = ROW_BYTES * PNG_CART_HEIGHT; // what the zlib stream holds
constexpr int STORED_MAX = 65535;                     // bytes of one stored block
constexpr int BLOCKS = (RAW_SIZE + STORED_MAX - 1) / STORED_MAX;
constexpr int ZLIB_SIZE = 2 + BLOCKS * 5 + RAW_SIZE + 4; // header, blocks, Adler-32
constexpr int IDAT_PIECE = 1024;                         // zlib bytes an IDAT chunk holds
constexpr int IDATS = (ZLIB_SIZE + IDAT_PIECE - 1) / IDAT_PIECE;
constexpr int IDAT_START = 8 + 25; // after the signature and IHDR
constexpr int FILE_SIZE = IDAT_START + IDATS * 12 + ZLIB_SIZE + 12;
constexpr uint32_t ADLER_MOD = 65521;

void put32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

// A chunk's length, type, data and CRC at p; data is written by the caller.
void put_chunk_crc(uint8_t *p, int length) {
    put32(p + 8 + length, lodepng_crc32(p + 4, size_t(length) + 4));
}

} // namespace

struct png_cart_draft {
    std::vector<uint8_t> image; // what the file carries now
    std::vector<uint8_t> file;
    uint32_t adler_a = 1, adler_b = 0;
    std::vector<bool> dirty; // IDAT chunks whose CRC is out of date

    // Where byte z of the zlib stream lies in the file.
    size_t at(int z) const {
        int k = z / IDAT_PIECE;
        return size_t(IDAT_START + k * (IDAT_PIECE + 12) + 8 + z % IDAT_PIECE);
    }
    void put_z(int z, uint8_t v) {
        file[at(z)] = v;
        dirty[size_t(z / IDAT_PIECE)] = true;
    }
    // The low two bits of byte r of the raw scanlines to bits; the Adler-32 follows by what
    // the change adds to each of its sums.
    void put_low_bits(int r, int bits) {
        int z = 2 + (r / STORED_MAX + 1) * 5 + r;
        uint8_t &byte = file[at(z)];
        int64_t delta = int64_t((byte & 0xfc) | bits) - byte;
        if (delta == 0) return;
        byte = uint8_t(byte + delta);
        dirty[size_t(z / IDAT_PIECE)] = true;
        int64_t a = (int64_t(adler_a) + delta) % ADLER_MOD;
        int64_t b = (int64_t(adler_b) + delta * (RAW_SIZE - r)) % ADLER_MOD;
        adler_a = uint32_t(a < 0 ? a + ADLER_MOD : a);
        adler_b = uint32_t(b < 0 ? b + ADLER_MOD : b);
    }
    // Image byte i to v: the low two bits of each channel of pixel i (red, green, blue, alpha
    // carry bits 4-5, 2-3, 0-1, 6-7).
    void put_image(int i, uint8_t v) {
        if (image[size_t(i)] == v) return;
        image[size_t(i)] = v;
        int r = (i / PNG_CART_WIDTH) * ROW_BYTES + 1 + (i % PNG_CART_WIDTH) * 4;
        put_low_bits(r, (v >> 4) & 3);
        put_low_bits(r + 1, (v >> 2) & 3);
        put_low_bits(r + 2, v & 3);
        put_low_bits(r + 3, (v >> 6) & 3);
    }
    void seal() {
        for (int k = 0; k < 4; k++)
            put_z(ZLIB_SIZE - 4 + k, uint8_t((adler_b << 16 | adler_a) >> (24 - 8 * k)));
        for (int k = 0; k < IDATS; k++) {
            if (!dirty[size_t(k)]) continue;
            int length = std::min(IDAT_PIECE, ZLIB_SIZE - k * IDAT_PIECE);
            put_chunk_crc(&file[size_t(IDAT_START + k * (IDAT_PIECE + 12))], length);
            dirty[size_t(k)] = false;
        }
    }
};

png_cart_draft *png_cart_draft_create(zibo6_cart *cart) {
    std::vector<uint8_t> image, rgba;
    if (!cart_png_pixels(cart, image, rgba)) return nullptr;
    auto *d = new png_cart_draft;
    d->image = std::move(image);
    d->dirty.assign(IDATS, true);
    // The zlib stream: stored blocks of the unfiltered scanlines.
    std::vector<uint8_t> z(ZLIB_SIZE);
    z[0] = 0x78, z[1] = 0x01;
    size_t o = 2;
    for (int r = 0; r < RAW_SIZE; r += STORED_MAX) {
        int n = std::min(STORED_MAX, RAW_SIZE - r);
        z[o++] = r + n == RAW_SIZE ? 1 : 0;
        z[o++] = uint8_t(n), z[o++] = uint8_t(n >> 8);
        z[o++] = uint8_t(~n), z[o++] = uint8_t(~n >> 8);
        for (int i = 0; i < n; i++) {
            int y = (r + i) / ROW_BYTES, x = (r + i) % ROW_BYTES;
            uint8_t v = x == 0 ? 0 : rgba[size_t(y) * PNG_CART_WIDTH * 4 + size_t(x - 1)];
            z[o++] = v;
            d->adler_a = (d->adler_a + v) % ADLER_MOD;
            d->adler_b = (d->adler_b + d->adler_a) % ADLER_MOD;
        }
    }
    // The file: signature, header, the stream in IDAT pieces, end.
    d->file.assign(FILE_SIZE, 0);
    uint8_t *f = d->file.data();
    const uint8_t signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    std::memcpy(f, signature, 8);
    put32(f + 8, 13);
    std::memcpy(f + 12, "IHDR", 4);
    put32(f + 16, PNG_CART_WIDTH);
    put32(f + 20, PNG_CART_HEIGHT);
    f[24] = 8, f[25] = 6; // 8 bits a channel, RGBA; deflate, no interlacing
    put_chunk_crc(f + 8, 13);
    for (int k = 0; k < IDATS; k++) {
        int length = std::min(IDAT_PIECE, ZLIB_SIZE - k * IDAT_PIECE);
        uint8_t *c = f + IDAT_START + k * (IDAT_PIECE + 12);
        put32(c, uint32_t(length));
        std::memcpy(c + 4, "IDAT", 4);
        std::memcpy(c + 8, &z[size_t(k) * IDAT_PIECE], size_t(length));
    }
    std::memcpy(f + FILE_SIZE - 8, "IEND", 4);
    put_chunk_crc(f + FILE_SIZE - 12, 0);
    d->seal();
    return d;
}

void png_cart_draft_destroy(png_cart_draft *d) { delete d; }

const std::vector<uint8_t> &png_cart_draft_update(png_cart_draft *d, zibo6_cart *cart, int first,
                                                  int count) {
    // Addresses wrap at 64 KB as the pokes that changed them did.
    for (int i = 0; i < std::clamp(count, 0, 0x10000); i++) {
        int a = (first + i) & 0xffff;
        if (a < CART_BIN_SIZE) d->put_image(a, uint8_t(cart_hooks.zibo6_peek(nullptr, cart, a)));
    }
    uint8_t digest[20];
    sha1_bytes(d->image.data(), CART_IMAGE_SIZE, digest);
    for (int i = 0; i < 20; i++) d->put_image(DIGEST + i, digest[i]);
    d->seal();
    return d->file;
}

int save_zibo6_cart_png(zibo6_cart *cart, const char *path) {
    cbuffer *out = cart && path ? vull_create_buffer(65536) : nullptr;
    int failed = !out || save_zibo6_cart_png_to_file(cart, out) != 0 ||
                 vull_save_file(path, out->data, out->length) != 0;
    vull_destroy_buffer(out);
    return failed;
}

zibo6_cart *load_zibo6_cart_png_from_file(vull_file *f) {
    zibo6_png_cart_status = PNG_CART_OK;
    if (!f) {
        zibo6_png_cart_status = PNG_CART_NO_FILE;
        return nullptr;
    }
    return load_from_bytes(read_rest(f), false);
}

zibo6_cart *load_zibo6_cart_png_from_bytes(const uint8_t *data, size_t size) {
    zibo6_png_cart_status = PNG_CART_OK;
    return load_from_bytes(std::vector<uint8_t>(data, data + size), true);
}

zibo6_cart *load_zibo6_cart_png(const char *path) {
    zibo6_png_cart_status = PNG_CART_OK;
    vull_file *f = path && !zibo6_cart_path_refused(path)
                       ? vull_fopen(path, "rb", ZIBO6_CART_FILE_MAX)
                       : nullptr;
    if (!f) {
        zibo6_png_cart_status = PNG_CART_NO_FILE;
        return nullptr;
    }
    std::vector<uint8_t> bytes = read_rest(f);
    vull_fclose(f);
    return load_from_bytes(bytes, true);
}

vull_bitmap *create_label_from_file(const char *path) {
    vull_file *f = path && !zibo6_cart_path_refused(path)
                       ? vull_fopen(path, "rb", ZIBO6_CART_FILE_MAX)
                       : nullptr;
    if (!f) return nullptr;
    std::vector<uint8_t> bytes = read_rest(f);
    vull_fclose(f);
    int saved = zibo6_png_cart_status;
    std::vector<uint8_t> rgba = decode_cart_png(bytes);
    zibo6_png_cart_status = saved;
    return rgba.empty() ? nullptr : label_from_rgba(rgba.data(), PNG_CART_WIDTH);
}
