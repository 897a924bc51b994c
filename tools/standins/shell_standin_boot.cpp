// Stand-in boot: no noise, logo or sound yet. The first boot step loads a
// cart named on the command line and boots data.pod's head cart at once.
#include <cstdio>

#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/disk.h"
#include "cart/rom.h"
#include "console/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "tools/standins/shell_standins.h"

void boot_init() {
    pstate.machine_mode = 2;
    pstate.frame = -15;
    for (vull_bitmap *d : pstate.display)
        if (d) vull_clear_bitmap(d);
    if (pstate.screen) vull_clear_bitmap(pstate.screen);
}

void move_boot() {
    if (app.cart_path[0]) {
        app.loaded = load_working_cart(app.cart_path) == 0;
        if (!app.loaded) printf("could not load %s\n", app.cart_path);
        if (app.loaded && !app.run) {
            pstate.machine_mode = 0; // loaded, not run: the stopped state follows
            return;
        }
    }
    cpod *pod = pstate.data_pod;
    auto *head = pod && pod->capacity > 3
                     ? static_cast<vull_file *>(cpod_get_item(pod, 3, CPOD_FILE))
                     : nullptr;
    if (head && head->data && head->length == 0x8000) {
        zibo6_cart *cart = vull_create_zibo6_cart();
        load_zibo6_cart_32k(cart, head->data);
        prepare_loaded_cart(cart, head->name);
        clear_embedded_carts();
        for (int slot = 3; slot < pod->capacity; slot++) {
            auto *f = static_cast<vull_file *>(cpod_get_item(pod, slot, CPOD_FILE));
            if (!f || !f->data || f->length != 0x8000) continue;
            zibo6_cart *c = vull_create_zibo6_cart();
            load_zibo6_cart_32k(c, f->data);
            mount_embedded_cart(c, f->name);
            vull_destroy_zibo6_cart(c);
        }
        pstate.machine_mode = 0;
        pstate.pending_action = 1;
        return;
    }
    printf("head cart not found\n");
    if (app.loaded && app.run) {
        pstate.machine_mode = 0;
        pstate.pending_action = 1;
    } else {
        pstate.machine_mode = 0;
    }
}
