// Stand-in working-cart files: a text cart or a 32 KB image becomes the
// working cart; embedded carts are kept by name only.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/rom.h"
#include "console/run.h"
#include "console/state.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "tools/standins/shell_standins.h"

namespace {
std::vector<std::string> embedded; // mounted cart names
} // namespace

int load_working_cart(const char *path) {
    zibo6_cart *cart = vull_load_zibo6_cart(path);
    if (!cart) cart = load_zibo6_cart_raw(path);
    if (!cart) return 1;
    prepare_loaded_cart(cart, path);
    return 0;
}

void prepare_loaded_cart(zibo6_cart *cart, const char *name) {
    if (!cart) return;
    vull_destroy_zibo6_cart(pitem.cart);
    pitem.cart = cart;
    split_code_to_tabs();
    hash_cart(cart, pstate.cart_hash);
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
