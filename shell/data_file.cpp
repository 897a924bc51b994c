// The data file: data.pod's entries 0-2 checked and unpacked into the console
// state (the bios cart, the resource pod, the font), and its title text.
#include <cstring>

#include "cart/cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/pod.h"
#include "shell/zibo6.h"

namespace {

char title_text[256]; // the resource pod's title, kept for get_embedded_cart_title


// The font must give all 256 glyphs as 8-bit bitmaps: printing reads each one.
bool font_usable(cpod *font) {
    for (int c = 0; c < FONT_GLYPHS; c++) {
        auto *g = static_cast<vull_bitmap *>(pod_entry_item(font, c, CPOD_BITMAP));
        if (!g || g->bpp != 8) return false;
    }
    return true;
}

void read_title(cpod *resources) {
    title_text[0] = 0;
    vull_file *f = pod_file_entry(resources, RES_TITLE);
    if (!f || !f->data) return;
    int n = f->length < int(sizeof title_text) - 1 ? f->length : int(sizeof title_text) - 1;
    if (n < 0) n = 0;
    memcpy(title_text, f->data, size_t(n));
    title_text[n] = 0;
    title_text[strcspn(title_text, "\r\n")] = 0;
}

void release_data_file() {
    vull_destroy_zibo6_cart(pstate.bios_cart);
    vull_destroy_pod(pstate.resource_pod);
    vull_destroy_pod(pstate.font_pod);
    vull_destroy_pod(pstate.data_pod);
    pstate.bios_cart = nullptr;
    pstate.resource_pod = pstate.font_pod = pstate.data_pod = nullptr;
    title_text[0] = 0;
}

} // namespace

void *pod_entry_item(cpod *pod, int slot, int type) {
    if (!pod || slot < 0 || slot >= pod->capacity) return nullptr;
    return cpod_get_item(pod, slot, type);
}

vull_file *pod_file_entry(cpod *pod, int slot) {
    auto *f = static_cast<vull_file *>(pod_entry_item(pod, slot, CPOD_FILE));
    if (f) f->position = 0;
    return f;
}

zibo6_cart *data_file_cart(int slot) {
    vull_file *f = pstate.data_pod ? pod_file_entry(pstate.data_pod, slot) : nullptr;
    if (!f || !f->data || f->length != DATA_CART_IMAGE) return nullptr;
    zibo6_cart *cart = vull_create_zibo6_cart();
    if (!cart) return nullptr;
    load_zibo6_cart_32k(cart, f->data);
    cart->version = ZIBO6_CART_VERSION;
    return cart;
}

const char *get_embedded_cart_title() { return title_text; }

// Entries 0-2 of the data file: the bios cart, the resource pod and the font.
// A data file without them, or with something else in their place, is refused
// whole: the print code, the boot and the window read them unchecked. Opened
// with vull_open_pod, the data file and the resource pod are read entry by
// entry as they are asked for.
bool open_data_file(cpod *pod) {
    release_data_file();
    if (!pod) return false;
    pstate.data_pod = pod;
    vull_file *bios = pod_file_entry(pod, 0);
    if (bios) pstate.bios_cart = vull_load_zibo6_cart_from_file(bios, 0);
    pstate.resource_pod = vull_open_pod_item(pod, 1);
    pstate.font_pod = vull_open_pod_item(pod, 2);
    if (!pstate.bios_cart || !pstate.resource_pod || !font_usable(pstate.font_pod)) {
        release_data_file();
        return false;
    }
    read_title(pstate.resource_pod);
    return true;
}

void close_data_file() { release_data_file(); }
