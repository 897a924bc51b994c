// z6cart: a developer's view of cart files.
//   z6cart info FILE        the cart's version, load status and section sizes
//   z6cart convert IN OUT   reads a cart and writes it again
//   z6cart tokens FILE      the code's token and character counts
//   z6cart preprocess FILE  the code as the compiler gets it
// Exit status 0 on success, 1 when a cart does not load or cannot be written,
// 2 for a wrong command line.
#include <cstdio>
#include <cstring>

#include "cart/cart.h"
#include "tools/z6cart/code.h"

namespace {

const char *status_text(int status) {
    switch (status) {
    case ZIBO6_LOAD_OK: return "ok";
    case ZIBO6_LOAD_FUTURE_VERSION: return "future version";
    case ZIBO6_LOAD_CODE_TOO_LONG: return "code too long";
    default: return "unknown";
    }
}

zibo6_cart *load(const char *path) {
    zibo6_cart *cart = vull_load_zibo6_cart(path);
    if (!cart)
        std::fprintf(stderr, "%s: could not load (status %d: %s)\n", path, zibo6_cart_load_status,
                     zibo6_cart_load_status ? status_text(zibo6_cart_load_status)
                                            : "not a text cart or not readable");
    return cart;
}

int info(const char *path) {
    zibo6_cart *cart = load(path);
    if (!cart) return 1;
    zibo6_text_sections t = zibo6_measure_text_sections(cart);
    std::printf("file: %s\n", path);
    std::printf("version: %d\n", cart->version);
    std::printf("status: %d (%s)\n", zibo6_cart_load_status, status_text(zibo6_cart_load_status));
    std::printf("lua: %d characters\n", t.code_chars);
    std::printf("gfx: %d rows\n", t.gfx_rows);
    std::printf("label: %s\n", t.label ? "yes" : "no");
    std::printf("gff: %s\n", t.gff ? "yes" : "no");
    std::printf("map: %d rows\n", t.map_rows);
    std::printf("sfx: %d\n", t.sfx_count);
    std::printf("music: %d patterns\n", t.music_count);
    std::printf("change_mask: %s\n", t.mask ? "yes" : "no");
    vull_destroy_zibo6_cart(cart);
    return 0;
}

int convert(const char *in, const char *out) {
    zibo6_cart *cart = load(in);
    if (!cart) return 1;
    int failed = vull_save_zibo6_cart(cart, out);
    if (failed) std::fprintf(stderr, "%s: could not write\n", out);
    vull_destroy_zibo6_cart(cart);
    return failed ? 1 : 0;
}

int code_command(int (*command)(const char *), const char *path) {
    zibo6_cart *cart = load(path);
    if (!cart) return 1;
    int status = command(cart->code ? cart->code : "");
    vull_destroy_zibo6_cart(cart);
    return status;
}

int usage() {
    std::fprintf(stderr, "usage: z6cart info FILE\n"
                         "       z6cart convert IN OUT\n"
                         "       z6cart tokens FILE\n"
                         "       z6cart preprocess FILE\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return info(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "convert") == 0) return convert(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "tokens") == 0)
        return code_command(z6cart_tokens, argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "preprocess") == 0)
        return code_command(z6cart_preprocess, argv[2]);
    return usage();
}
