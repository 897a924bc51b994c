// Cart images from text carts: the cart's data as the console's ROM view shows
// it, and its code as plain text (the image readers accept it beside
// compressed code).
#include "tools/mkdatapod/cart_image.h"

#include <cstring>

#include "cart/cart.h"
#include "console/mem.h"

bool build_cart_image(const char *path, uint8_t *out, std::string *error) {
    std::memset(out, 0, CART_IMAGE_SIZE);
    zibo6_cart *cart = vull_load_zibo6_cart(path);
    if (!cart) {
        *error = "not a readable text cart";
        return false;
    }
    for (int a = 0; a < CART_CODE_OFFSET; a++) out[a] = uint8_t(zibo6_peek(nullptr, cart, a));
    size_t n = strlen(cart->code);
    bool fits = n < size_t(CART_CODE_BLOCK);
    if (fits)
        std::memcpy(out + CART_CODE_OFFSET, cart->code, n);
    else
        *error = "code does not fit the code block as plain text";
    vull_destroy_zibo6_cart(cart);
    return fits;
}
