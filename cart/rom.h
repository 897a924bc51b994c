// The 32 KB ROM image of a cart (ROM 0x0000-0x42ff as console memory shows it,
// then the code block) and the cart hash, a SHA-1 over a canonical image.
#pragma once
#include <cstdint>

#include "cart/compress.h"

struct zibo6_cart;

constexpr int CART_IMAGE_SIZE = 32768;   // the ROM image
constexpr int CART_CODE_OFFSET = 0x4300; // where its code block starts
constexpr int CART_CODE_BLOCK = 15616;   // bytes of the code block
constexpr int CART_BIN_SIZE = 0x4300;    // ROM data alone (.bin)
constexpr int CART_HASH_LEN = 40;        // hex digits of a cart hash
static_assert(CART_CODE_OFFSET + CART_CODE_BLOCK == CART_IMAGE_SIZE, "code fills the image");

// Builds the image into image (CART_IMAGE_SIZE bytes, zeroed first): 0, 1 when
// the compressed code exceeds the block, 2 when flattening #include lines fails.
int save_zibo6_cart_32k(zibo6_cart *cart, uint8_t *image);
int save_zibo6_cart_32k_ex(zibo6_cart *cart, uint8_t *image, int flatten);
int save_zibo6_cart_32k_flattened(zibo6_cart *cart, uint8_t *image);

// Fills cart from an image of CART_IMAGE_SIZE bytes: ROM data poked through
// the ROM view, then the code block (compressed, or plain text up to a 0).
void load_zibo6_cart_32k(zibo6_cart *cart, const uint8_t *image);
// The code block of the image load_zibo6_cart_32k read last, cleared by each
// load_zibo6_cart_any_format: a compressed block that did not decode whole is
// cut or damaged. The cart keeps what decoded; the tools say so.
extern code_decode_report zibo6_loaded_code_block;

// Whole files: exactly 32,768 bytes with a compressed header or a 0 byte at
// 0x4300 (version 33); 17,152 raw ROM bytes (.bin); 34,304 hex digits.
zibo6_cart *load_zibo6_cart_raw(const char *path);
zibo6_cart *load_zibo6_cart_bin(const char *path);
zibo6_cart *load_zibo6_cart_hex(const char *path);

// 40 lowercase hex digits and a 0 into out (41 bytes); forty "0" for no cart.
void hash_cart(zibo6_cart *cart, char *out);

// The letter the PNG trailer records for the build's platform.
char get_platform_char();
