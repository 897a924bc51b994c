// z6cart: a developer's view of cart files.
//   z6cart info FILE        the cart's version, load status and section sizes
//   z6cart convert IN OUT   reads a cart in any format and writes it in the format of
//                           OUT's final extension: ".png" a PNG cart, ".rom" a 32 KB
//                           image, else a text cart
//   z6cart compress IN OUT  code text to a compressed code block (or the text itself)
//   z6cart decompress IN OUT  a code block (compressed, legacy or plain) to text;
//                           plain text longer than a cart's code is refused
//   z6cart hash FILE        the cart hash
//   -pod FILE before the command names the data file whose PNG cart template,
//   font and palette PNG carts are written and read with (default: data.pod
//   beside z6cart or in the folder above); convert refuses PNG carts without one
//   z6cart tokens FILE      the code's token and character counts
//   z6cart preprocess FILE  the code as the compiler gets it
//   z6cart [-pod FILE] export CART NAME [options]  the stand-alone programs of
//                           CART (and further carts named after NAME) in NAME.bin/,
//                           with the data file's bios, resources and font;
//                           the console's lines go to standard output
// Exit status 0 on success, 1 when a cart does not load or cannot be written,
// or its compressed code is cut or damaged (the commands that print still print
// what loaded; convert and export write nothing), 2 for a wrong command line.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/compress.h"
#include "cart/disk.h"
#include "cart/export.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/pod.h"
#include "engine/config.h"
#include "platform/system.h"
#include "shell/zibo6.h"
#include "tools/z6cart/code.h"

namespace {

// False, with a message, when the path is no regular file of at most max bytes.
bool read_file(const char *path, int64_t max, std::vector<uint8_t> &data) {
    cbuffer *b = vull_load_file(path, max);
    if (b) data.assign(b->data, b->data + b->length);
    else
        std::fprintf(stderr, "%s: could not read (not a regular file of at most %lld bytes)\n",
                     path, (long long)max);
    vull_destroy_buffer(b);
    return b != nullptr;
}

bool write_file(const char *path, const std::vector<uint8_t> &data) {
    bool ok = vull_save_file(path, data.data(), int64_t(data.size())) == 0;
    if (!ok) std::fprintf(stderr, "%s: could not write\n", path);
    return ok;
}

const char *status_text(int status) {
    switch (status) {
    case ZIBO6_LOAD_OK: return "ok";
    case ZIBO6_LOAD_FUTURE_VERSION: return "future version";
    case ZIBO6_LOAD_CODE_TOO_LONG: return "code too long";
    default: return "unknown";
    }
}

// Every command sees a cart as the player loads it: legacy fix-ups and the shared half in step.
zibo6_cart *load(const char *path) {
    zibo6_cart *cart = load_prepared_cart(path);
    if (!cart)
        std::fprintf(stderr, "%s: could not load (status %d: %s; png status %d)\n", path,
                     zibo6_cart_load_status,
                     zibo6_cart_load_status ? status_text(zibo6_cart_load_status)
                                            : "not a cart or not readable",
                     zibo6_png_cart_status);
    return cart;
}

void report_damage(const char *path, const code_decode_report &r) {
    std::fprintf(stderr, "%s: the code block is cut or damaged: %d of %d characters decoded\n",
                 path, r.decoded, r.stated);
}

// True, with a message, when the cart just loaded came from a compressed code
// block that did not decode whole: its code is only the part before the damage.
bool code_damaged(const char *path) {
    if (zibo6_loaded_code_block.whole) return false;
    report_damage(path, zibo6_loaded_code_block);
    return true;
}

int info(const char *path) {
    zibo6_cart *cart = load(path);
    if (!cart) return 1;
    bool damaged = code_damaged(path);
    zibo6_text_sections t = zibo6_measure_text_sections(cart);
    std::printf("file: %s\n", path);
    std::printf("version: %d\n", cart->version);
    if (damaged)
        std::printf("status: %d (code block damaged: %d of %d characters decoded)\n",
                    zibo6_cart_load_status, zibo6_loaded_code_block.decoded,
                    zibo6_loaded_code_block.stated);
    else
        std::printf("status: %d (%s)\n", zibo6_cart_load_status,
                    status_text(zibo6_cart_load_status));
    std::printf("lua: %d characters\n", t.code_chars);
    std::printf("gfx: %d rows\n", t.gfx_rows);
    std::printf("label: %s\n", t.label ? "yes" : "no");
    std::printf("gff: %s\n", t.gff ? "yes" : "no");
    std::printf("map: %d rows\n", t.map_rows);
    std::printf("sfx: %d\n", t.sfx_count);
    std::printf("music: %d patterns\n", t.music_count);
    std::printf("change_mask: %s\n", t.mask ? "yes" : "no");
    vull_destroy_zibo6_cart(cart);
    return damaged ? 1 : 0;
}

// False, with a message, when a zero byte ends the code before the first length
// bytes of text do: the rest would be lost to every reader. Zeros after the
// code only pad it.
bool whole_code(const char *path, const std::vector<uint8_t> &text, size_t length) {
    size_t end = strnlen(reinterpret_cast<const char *>(text.data()), length);
    if (std::all_of(text.begin() + long(end), text.begin() + long(length),
                    [](uint8_t c) { return c == 0; }))
        return true;
    std::fprintf(stderr, "%s: a zero byte at offset %zu ends the code before the rest\n", path,
                 end);
    return false;
}

int compress(const char *in, const char *out) {
    std::vector<uint8_t> text;
    if (!read_file(in, PXA_TEXT_MAX, text)) return 1; // OUT untouched
    if (!whole_code(in, text, text.size())) return 1;
    text.push_back(0);
    std::vector<uint8_t> block(PXA_SCRATCH_SIZE);
    int n = compress_mini(reinterpret_cast<const char *>(text.data()), block.data(),
                          int(text.size() - 1));
    block.resize(size_t(n));
    if (!write_file(out, block)) return 1;
    std::printf("%zu -> %d bytes\n", text.size() - 1, n);
    return 0;
}

// A cut or damaged block, or text that a zero byte would end early, is refused
// with OUT left as it was: written cut, it would pass for the whole code.
int decompress(const char *in, const char *out) {
    std::vector<uint8_t> block;
    if (!read_file(in, ZIBO6_CART_FILE_MAX, block)) return 1; // OUT untouched
    std::vector<uint8_t> text(ZIBO6_CODE_SIZE, 0);
    size_t decoded = block.size();
    if (block.size() >= 4 && is_compressed_format_header(block.data())) {
        code_decode_report r;
        int n =
            decompress_mini_ex(block.data(), int(block.size()), text.data(), ZIBO6_CODE_MAX, &r);
        if (!r.whole) {
            report_damage(in, r);
            return 1;
        }
        decoded = size_t(is_compressed_format_header(block.data()) == 1 ? n : r.decoded);
    } else if (block.size() > size_t(ZIBO6_CODE_MAX)) { // written cut, it would pass for whole
        std::fprintf(stderr, "%s: plain text of %zu bytes is longer than %d characters\n", in,
                     block.size(), ZIBO6_CODE_MAX);
        return 1; // OUT untouched
    } else {
        std::copy(block.begin(), block.end(), text.begin());
    }
    if (!whole_code(in, text, decoded)) return 1;
    text.resize(strnlen(reinterpret_cast<const char *>(text.data()), decoded));
    return write_file(out, text) ? 0 : 1;
}

int hash(const char *path) {
    zibo6_cart *cart = load(path);
    if (!cart) return 1;
    bool damaged = code_damaged(path);
    char h[41];
    hash_cart(cart, h);
    std::printf("%s\n", h);
    vull_destroy_zibo6_cart(cart);
    return damaged ? 1 : 0;
}

// The data file named by -pod, else the player's: beside z6cart or in the folder
// above it (build/tools/z6cart and build/data.pod). Null when there is none.
cpod *load_data_pod(const char *path) {
    if (path) return vull_load_pod(path);
    for (const char *name : {"data.pod", "../data.pod"}) {
        char found[VULL_PATH_LEN];
        cpod *pod = vull_prefix_with_program_path(name, found) == 0 ? vull_load_pod(found) : nullptr;
        if (pod) return pod;
    }
    return nullptr;
}

// Carts are drawn and written with the data file's palette (resource entry 1).
void use_data_palette() {
    auto *pal = pstate.resource_pod ? static_cast<vull_palette_rec *>(cpod_get_item(
                                          pstate.resource_pod, 1, CPOD_PALETTE))
                                    : nullptr;
    if (pal) {
        if (!vull_palette) vull_palette = vull_create_palette();
        if (vull_palette) *vull_palette = *pal;
    }
}

// The data file's resource pod (entry 1: the PNG cart template), font (entry
// 2) and palette (resource entry 1); false when there is no data file.
bool open_data_pod(const char *path) {
    cpod *pod = load_data_pod(path);
    if (!pod) return false;
    auto nested = [&](int slot) -> cpod * {
        auto *f = static_cast<vull_file *>(cpod_get_item(pod, slot, CPOD_FILE));
        if (!f) return nullptr;
        f->position = 0;
        return vull_load_pod_file("", f);
    };
    pstate.data_pod = pod;
    pstate.resource_pod = nested(1);
    pstate.font_pod = nested(2);
    use_data_palette();
    return pstate.resource_pod && pstate.font_pod;
}

bool is_png_file(const char *path) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    vull_file *f = vull_fopen(path, "rb");
    uint8_t head[8] = {};
    bool png = f && vull_fread(head, 1, 8, f) == 8 && std::memcmp(head, signature, 8) == 0;
    vull_fclose(f);
    return png;
}

// A PNG cart's label is drawn in, and read back through, the data file's
// palette; without it the label's colours would come back as other indices.
int convert(const char *pod, const char *in, const char *out) {
    if ((cart_file_format(out) == CART_FILE_PNG || is_png_file(in)) && !open_data_pod(pod)) {
        std::fprintf(stderr,
                     "z6cart: PNG carts need the player's data file (its palette, font and cart "
                     "template): %s; name it with -pod FILE\n",
                     pod ? "it does not load" : "no data.pod beside z6cart or in the folder above");
        return 1;
    }
    zibo6_cart *cart = load(in);
    if (!cart) return 1;
    if (code_damaged(in)) { // written, the cut code would pass for the cart's own
        vull_destroy_zibo6_cart(cart);
        return 1;
    }
    int failed = save_cart_file(cart, out); // the format of the final extension alone
    if (failed) std::fprintf(stderr, "%s: could not write\n", out);
    vull_destroy_zibo6_cart(cart);
    return failed ? 1 : 0;
}

// An export as the console's export command makes it, headless: the working
// cart is CART, paths are taken from the working folder.
int export_carts(const char *pod_path, int argc, char **argv) {
    if (!open_data_file(load_data_pod(pod_path))) {
        std::fprintf(stderr, "export: no usable data file\n");
        return 1;
    }
    use_data_palette();
    zibo6_cart *cart = load(argv[2]);
    if (!cart || code_damaged(argv[2])) {
        vull_destroy_zibo6_cart(cart);
        close_data_file();
        return 1;
    }
    pstate.headless = cconfig.headless = 1;
    pstate.root_path[0] = pstate.current_folder[0] = 0;
    std::snprintf(pstate.current_filename, sizeof pstate.current_filename, "%s", argv[2]);
    pitem.cart = cart;
    std::string text;
    for (int i = 3; i < argc; i++) text += std::string(argv[i]) + " ";
    int status = export_bin(text.c_str());
    pitem.cart = nullptr;
    vull_destroy_zibo6_cart(cart);
    close_data_file();
    return status;
}

int code_command(int (*command)(const char *), const char *path) {
    zibo6_cart *cart = load(path);
    if (!cart) return 1;
    bool damaged = code_damaged(path);
    int status = command(cart->code ? cart->code : "");
    vull_destroy_zibo6_cart(cart);
    return damaged ? 1 : status;
}

int usage() {
    std::fprintf(stderr, "usage: z6cart info FILE\n"
                         "       z6cart [-pod FILE] convert IN OUT\n"
                         "       z6cart compress IN OUT\n"
                         "       z6cart decompress IN OUT\n"
                         "       z6cart hash FILE\n"
                         "       z6cart tokens FILE\n"
                         "       z6cart preprocess FILE\n"
                         "       z6cart [-pod FILE] export CART NAME [-i n] [-s n] [-c n] "
                         "[-e file] [carts]\n");
    return 2;
}

int run(int argc, char **argv) {
    const char *pod = nullptr;
    if (argc >= 3 && std::strcmp(argv[1], "-pod") == 0) {
        pod = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc == 4 && std::strcmp(argv[1], "compress") == 0) return compress(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "decompress") == 0) return decompress(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "hash") == 0) return hash(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return info(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "convert") == 0) return convert(pod, argv[2], argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "export") == 0) return export_carts(pod, argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "tokens") == 0)
        return code_command(z6cart_tokens, argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "preprocess") == 0)
        return code_command(z6cart_preprocess, argv[2]);
    return usage();
}

} // namespace

int main(int argc, char **argv) {
    zibo6_attach_shell(); // the cart code reaches the console and the shell through hooks
    int status = run(argc, argv);
    // Output redirected to a full disk is lost: not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "z6cart: could not write the standard output\n");
        return 1;
    }
    return status;
}
