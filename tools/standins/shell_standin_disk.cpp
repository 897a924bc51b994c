// Stand-in working-cart files: a text cart or a 32 KB image with plain code
// becomes the working cart (an image's code is taken as plain text); embedded
// carts are kept by name only.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "console/mem.h"
#include "console/run.h"
#include "console/state.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "tools/standins/shell_standins.h"

namespace {
std::vector<std::string> embedded; // mounted cart names
constexpr int IMAGE_SIZE = 0x8000, CODE_OFFSET = 0x4300;
} // namespace

void load_zibo6_cart_32k(zibo6_cart *cart, const uint8_t *image) {
    if (!cart || !image) return;
    for (int a = 0; a < CODE_OFFSET; a++) zibo6_poke(nullptr, cart, a, image[a]);
    // plain code only: it ends at the first 0 byte or the end of the block
    size_t n =
        strnlen(reinterpret_cast<const char *>(image + CODE_OFFSET), IMAGE_SIZE - CODE_OFFSET);
    memcpy(cart->code, image + CODE_OFFSET, n);
    cart->code[n] = 0;
}

void hash_cart(zibo6_cart *, char *out) { memset(out, '0', 40), out[40] = 0; }

int load_working_cart(const char *path) {
    zibo6_cart *cart = vull_load_zibo6_cart(path);
    if (!cart) {
        cbuffer *buf = vull_load_file(path);
        if (buf && buf->length == IMAGE_SIZE) {
            cart = vull_create_zibo6_cart();
            if (cart) load_zibo6_cart_32k(cart, buf->data);
        }
        vull_destroy_buffer(buf);
    }
    if (!cart) return 1;
    prepare_loaded_cart(cart, path);
    return 0;
}

void prepare_loaded_cart(zibo6_cart *cart, const char *name) {
    if (!cart) return;
    vull_destroy_zibo6_cart(pitem.cart);
    pitem.cart = cart;
    split_code_to_tabs();
    snprintf(pstate.current_filename, sizeof pstate.current_filename, "%s", name ? name : "");
}

void mount_embedded_cart(zibo6_cart *, const char *name) {
    if (embedded.size() < 64) embedded.emplace_back(name ? name : "");
}

void clear_embedded_carts() { embedded.clear(); }

int embedded_cart_count() { return int(embedded.size()); }

const char *embedded_cart_name(int i) {
    return i >= 0 && i < int(embedded.size()) ? embedded[size_t(i)].c_str() : nullptr;
}

void handle_dropped_file() { vull_state.dropped_file[0] = 0; }

void do_quick_load() {}

int save_png_screenshot(vull_bitmap *, int, int) { return 1; }
