// The 32 KB cart image that mkdatapod stores for the head cart and the other
// carts of data.pod.
#pragma once
#include <cstdint>
#include <string>

constexpr int CART_IMAGE_SIZE = 0x8000;  // whole image
constexpr int CART_CODE_OFFSET = 0x4300; // data before it, code block from here
constexpr int CART_CODE_BLOCK = CART_IMAGE_SIZE - CART_CODE_OFFSET;

// Reads a text cart and fills out (CART_IMAGE_SIZE bytes): the cart's data as
// console memory shows it, then its code as plain text, which the image
// readers accept beside compressed code. False with a reason when the cart
// does not read or its code does not fit the code block.
bool build_cart_image(const char *path, uint8_t *out, std::string *error);
