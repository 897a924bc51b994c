// The ROM image, the loaders of whole-image files and the cart hash.
#include "cart/rom.h"

#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/compress.h"
#include "cart/hooks.h"
#include "engine/disk.h"
#include "engine/mem.h"

namespace {

void peek_rom(zibo6_cart *cart, uint8_t *image) { cart_hooks.zibo6_peek_rom(cart, image); }

void poke_rom(zibo6_cart *cart, const uint8_t *image) { cart_hooks.zibo6_poke_rom(cart, image); }

// The whole file when it is exactly size bytes, else empty.
std::vector<uint8_t> read_exact(const char *path, int size) {
    std::vector<uint8_t> out;
    cbuffer *b = path ? vull_load_file(path, size) : nullptr;
    if (b && b->length == size) out.assign(b->data, b->data + size);
    vull_destroy_buffer(b);
    return out;
}

zibo6_cart *new_cart_33() {
    zibo6_cart *c = vull_create_zibo6_cart();
    if (c) c->version = ZIBO6_CART_VERSION;
    return c;
}

} // namespace

code_decode_report zibo6_loaded_code_block;

char get_platform_char() {
#if defined(__arm__)
    return 'r';
#else
    return 'l';
#endif
}

int save_zibo6_cart_32k_ex(zibo6_cart *cart, uint8_t *image, int flatten) {
    std::memset(image, 0, CART_IMAGE_SIZE);
    if (!cart) return 1;
    peek_rom(cart, image);
    std::string flat;
    const char *code = cart->code ? cart->code : "";
    if (flatten) {
        if (cart_hooks.zibo6_flatten_includes(code, flat) != 0) return 2;
        code = flat.c_str();
    }
    std::vector<uint8_t> scratch(PXA_SCRATCH_SIZE);
    int n = compress_mini(code, scratch.data(), int(std::strlen(code)));
    if (n > CART_CODE_BLOCK) return 1;
    std::memcpy(image + CART_CODE_OFFSET, scratch.data(), size_t(n));
    return 0;
}

int save_zibo6_cart_32k(zibo6_cart *cart, uint8_t *image) {
    return save_zibo6_cart_32k_ex(cart, image, 0);
}

int save_zibo6_cart_32k_flattened(zibo6_cart *cart, uint8_t *image) {
    return save_zibo6_cart_32k_ex(cart, image, 1);
}

void load_zibo6_cart_32k(zibo6_cart *cart, const uint8_t *image) {
    zibo6_loaded_code_block = {};
    if (!cart) return;
    poke_rom(cart, image);
    if (!cart->code) {
        cart->code = static_cast<char *>(vull_malloc(ZIBO6_CODE_SIZE));
        if (!cart->code) return;
    }
    std::memset(cart->code, 0, ZIBO6_CODE_SIZE);
    const uint8_t *block = image + CART_CODE_OFFSET;
    auto *code = reinterpret_cast<uint8_t *>(cart->code);
    if (is_compressed_format_header(block))
        // Bounded by the code limit, so the record's code stays within it.
        decompress_mini_ex(block, CART_CODE_BLOCK, code, ZIBO6_CODE_MAX, &zibo6_loaded_code_block);
    else
        std::memcpy(code, block, CART_CODE_BLOCK);
}

zibo6_cart *load_zibo6_cart_raw(const char *path) {
    std::vector<uint8_t> image = read_exact(path, CART_IMAGE_SIZE);
    if (image.empty()) return nullptr;
    const uint8_t *block = image.data() + CART_CODE_OFFSET;
    if (!is_compressed_format_header(block) && block[0] != 0) return nullptr;
    zibo6_cart *c = new_cart_33();
    load_zibo6_cart_32k(c, image.data());
    return c;
}

zibo6_cart *load_zibo6_cart_bin(const char *path) {
    std::vector<uint8_t> rom = read_exact(path, CART_BIN_SIZE);
    if (rom.empty()) return nullptr;
    zibo6_cart *c = new_cart_33();
    if (c) poke_rom(c, rom.data());
    return c;
}

zibo6_cart *load_zibo6_cart_hex(const char *path) {
    std::vector<uint8_t> text = read_exact(path, CART_BIN_SIZE * 2);
    if (text.empty()) return nullptr;
    auto digit = [](uint8_t c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 0;
    };
    std::vector<uint8_t> rom(CART_BIN_SIZE);
    for (int i = 0; i < CART_BIN_SIZE; i++)
        rom[size_t(i)] = uint8_t(digit(text[size_t(2 * i)]) * 16 + digit(text[size_t(2 * i + 1)]));
    zibo6_cart *c = new_cart_33();
    if (c) poke_rom(c, rom.data());
    return c;
}

void hash_cart(zibo6_cart *cart, char *out) {
    if (!cart) {
        std::memset(out, '0', CART_HASH_LEN);
        out[CART_HASH_LEN] = 0;
        return;
    }
    // The code enters through its own digest, so a hash never depends on how
    // the code compresses.
    char h1[41] = {0};
    const char *code = cart->code ? cart->code : "";
    vull_sha1(code, int(strnlen(code, ZIBO6_CODE_SIZE)), h1);
    // Kept between calls: the compressor's output space is large and a 40-digit
    // text fills a few bytes of it, so only those pages are ever touched.
    static uint8_t image[CART_IMAGE_SIZE];
    static uint8_t scratch[PXA_SCRATCH_SIZE];
    int n = compress_mini(h1, scratch, CART_HASH_LEN);
    if (n > CART_CODE_BLOCK) {
        std::memcpy(out, h1, 41);
        return;
    }
    peek_rom(cart, image);
    std::memcpy(image + CART_CODE_OFFSET, scratch, size_t(n));
    std::memset(image + CART_CODE_OFFSET + n, 0, size_t(CART_CODE_BLOCK - n));
    vull_sha1(image, CART_IMAGE_SIZE, out);
}
