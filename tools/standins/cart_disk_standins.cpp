// Stand-in cart file operations: text carts through the real reader and writer.
#include "tools/standins/cart_disk_standins.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cart/cart.h"
#include "console/mem.h"
#include "console/state.h"
#include "platform/system.h"

int reload_cart_partial(const char *path, int dest, int src, int len) {
    if (std::strcmp(path, pstate.last_cart_file_accessed) != 0) {
        std::snprintf(pstate.last_cart_file_accessed, sizeof pstate.last_cart_file_accessed, "%s",
                      path);
        pstate.load_transition_frames = std::clamp(30 - pstate.file_access_cooldown, 2, 30);
        pstate.file_access_cooldown = 150;
    }
    zibo6_cart *cart = vull_load_zibo6_cart(path);
    if (!cart) return 1;
    for (int i = 0; i < len; i++)
        zibo6_poke(&pstate, pstate.memory_cart, dest + i, zibo6_peek(nullptr, cart, src + i));
    vull_destroy_zibo6_cart(cart);
    return 0;
}

int cstore_cart_partial(const char *path, int dest, int src, int len, int also_working,
                        int sandbox) {
    std::string entry = std::string("|") + path;
    std::string list = app.cstore_targets ? app.cstore_targets : "";
    if ((list + "|").find(entry + "|") == std::string::npos) {
        if (app.cstore_target_count >= Z6_CSTORE_TARGETS_MAX) return 3;
        list += entry;
        vull_free(app.cstore_targets);
        app.cstore_targets = static_cast<char *>(vull_malloc(int(list.size() + 1)));
        if (app.cstore_targets) std::memcpy(app.cstore_targets, list.c_str(), list.size() + 1);
        app.cstore_target_count++;
    }
    std::snprintf(pstate.last_cart_file_accessed, sizeof pstate.last_cart_file_accessed, "%s",
                  path);
    pstate.load_transition_frames = 30;
    if (std::strstr(path, ".png")) return 2;
    zibo6_cart *target = vull_load_zibo6_cart(path);
    if (!target) {
        target = vull_create_zibo6_cart();
        if (!target) return 2;
        if (sandbox) std::memset(target->change_mask, 0, sizeof target->change_mask);
    }
    for (int i = 0; i < len; i++) {
        int v = zibo6_peek(&pstate, pstate.memory_cart, src + i);
        zibo6_poke(nullptr, target, dest + i, v);
        if (also_working) zibo6_poke(nullptr, pitem.cart, dest + i, v);
        int a = dest + i;
        if (sandbox && a >= 0 && a < ZIBO6_ROM_DATA_SIZE) // the mask covers the ROM data only
            target->change_mask[a >> 3] |= uint8_t(1 << (a & 7));
    }
    int failed = vull_save_zibo6_cart(target, path);
    vull_destroy_zibo6_cart(target);
    return failed ? 2 : 0;
}

const char *get_embedded_cart_hash_for_filename(const char *, int) { return nullptr; }

const char *get_sandboxed_cstore_filename(const char *hash) {
    static char path[VULL_PATH_LEN];
    char name[128];
    std::snprintf(name, sizeof name, "cstore/__%.40s.z6", hash ? hash : "");
    vull_prefix_with_appdata_path(name, path, sizeof path);
    return path;
}

int z6_standin_save_png_cart(zibo6_cart *, const char *) { return 1; }
