// Installing carts from the data file: entry 8 holds the demo carts and entry 6
// the preloaded board carts, each entry a POD whose items are cart files. The
// demos are not in entry 3, where the installers once looked: that entry is the
// head cart the boot runs.
#include <algorithm>
#include <cstdio>
#include <string>

#include "cart/state.h"
#include "console/term.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/pod.h"
#include "platform/system.h"
#include "shell/browse.h"
#include "shell/zibo6.h"

namespace {

constexpr int DEMO_ENTRY = 8;
constexpr int GAMES_ENTRY = 6;

// Demo cart i is item i of the demo entry: our own small carts, one for drawing,
// one for sound and one for input.
constexpr const char *DEMO_FILES[] = {"shapes.z6", "chimes.z6", "buttons.z6"};

struct board_cart {
    const char *id;   // five digits: the board cache's name for it
    const char *name; // display name
    const char *file; // file name under games/
};

// Row i is item i of entry 6 (row 0 unused).
constexpr board_cart BOARD_CARTS[] = {
    {"", "", ""},
    {"10001", "orchard", "orchard.z6.png"},
    {"10002", "comets", "comets.z6.png"},
};

// The entry as a POD, or null when it is missing or is no POD.
cpod *open_entry_pod(int slot) {
    vull_file *f = pod_file_entry(pstate.data_pod, slot);
    if (!f) return nullptr;
    cpod *pod = vull_load_pod_file(f->name, f);
    if (pod && pod->count == 0) { // a cart image or other bytes read as no items at all
        vull_destroy_pod(pod);
        return nullptr;
    }
    return pod;
}

vull_file *item_file(cpod *pod, int i) {
    auto *f = static_cast<vull_file *>(pod_entry_item(pod, i, CPOD_FILE));
    if (f) f->position = 0;
    return f;
}

// Through the one writer: a failed copy leaves whatever was there before.
bool write_bytes(const std::string &path, vull_file *item) {
    return !path.empty() && vull_save_file(path.c_str(), item->data, std::max(item->length, 0)) == 0;
}

} // namespace

void install_demo_carts() {
    cpod *pod = open_entry_pod(DEMO_ENTRY);
    if (!pod) {
        zibo_print("no demo carts in data file");
        return;
    }
    zibo_print_col("installing demo carts to /demos/", 14);
    std::string folder = std::string(pstate.root_path) + "demos/";
    int i = 0;
    for (const char *name : DEMO_FILES) {
        vull_file *item = item_file(pod, i++);
        if (!item || !item->data) break; // fewer carts than names: stop at the shorter
        vull_mkdir(folder.c_str());
        if (!write_bytes(folder + name, item)) {
            zibo_print_col("could not write to disk", 8);
            break;
        }
        zibo_print(name);
    }
    vull_destroy_pod(pod);
}

void install_preloaded_bbs_carts() {
    cpod *pod = open_entry_pod(GAMES_ENTRY);
    if (!pod) {
        zibo_print("no preloaded games in data file");
        return;
    }
    std::string games = std::string(pstate.root_path) + "games/";
    for (int i = 1; i < int(std::size(BOARD_CARTS)) && BOARD_CARTS[i].id[0]; i++) {
        vull_file *item = item_file(pod, i);
        if (!item || !item->data) break;
        // The cache file the browser and the board client look the id up by.
        char cache[VULL_PATH_LEN];
        get_bbs_cart_filename(BOARD_CARTS[i].id, cache, sizeof cache);
        vull_mkdir(games.c_str());
        // Only a cart written to both places counts as installed.
        if (!write_bytes(cache, item) || !write_bytes(games + BOARD_CARTS[i].file, item)) {
            zibo_print_col("could not write to disk", 8);
            break;
        }
        zibo_print(BOARD_CARTS[i].name);
    }
    vull_destroy_pod(pod);
}
