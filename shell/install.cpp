// Installing carts from the data file: entry 3 holds the demo carts and entry 6
// the preloaded board carts, each entry a POD whose items are cart files.
#include <cstdio>
#include <string>

#include "console/shell_hooks.h"
#include "console/state.h"
#include "console/term.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/pod.h"
#include "platform/system.h"
#include "shell/zibo6.h"

namespace {

constexpr int DEMO_ENTRY = 3;
constexpr int GAMES_ENTRY = 6;

// Demo cart i is item i of entry 3.
constexpr const char *DEMO_FILES[] = {
    "hello.z6",   "bounce.z6",    "sprites.z6", "mapview.z6", "tunes.z6",  "scroll.z6",
    "weather.z6", "particles.z6", "maze.z6",    "paint.z6",   "wobble.z6", "starfield.z6",
};

struct board_cart {
    const char *id;   // five digits: the board cache's name for it
    const char *name; // display name
    const char *file; // file name under games/
};

// Row i is item i of entry 6 (row 0 unused).
constexpr board_cart BOARD_CARTS[] = {
    {"", "", ""},
    {"10001", "pebble hop", "pebble_hop.z6.png"},
    {"10002", "lantern keep", "lantern_keep.z6.png"},
    {"10003", "tidepool", "tidepool.z6.png"},
    {"10004", "moth garden", "moth_garden.z6.png"},
    {"10005", "gravel run", "gravel_run.z6.png"},
    {"10006", "quiet orbit", "quiet_orbit.z6.png"},
    {"10007", "brick tally", "brick_tally.z6.png"},
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

bool write_bytes(const std::string &path, const char *mode, vull_file *item) {
    vull_file *out = vull_fopen(path.c_str(), mode);
    if (!out) return false;
    bool ok = item->length <= 0 || vull_fwrite(item->data, 1, item->length, out) == item->length;
    vull_fclose(out);
    return ok;
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
        if (!write_bytes(folder + name, "w", item)) {
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
    char bbs[VULL_PATH_LEN], cache[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("bbs/", bbs, sizeof bbs);
    vull_prefix_with_appdata_path("bbs/carts/", cache, sizeof cache);
    for (int i = 1; i < int(std::size(BOARD_CARTS)) && BOARD_CARTS[i].id[0]; i++) {
        vull_file *item = item_file(pod, i);
        if (!item || !item->data) break;
        vull_mkdir(bbs); // one level at a time: the cache folder may be new
        vull_mkdir(cache);
        if (!write_bytes(std::string(cache) + BOARD_CARTS[i].id + ".z6.png", "wb", item)) {
            zibo_print_col("could not write to disk", 8);
            break;
        }
        zibo_print(BOARD_CARTS[i].name);
        vull_mkdir(games.c_str());
        write_bytes(games + BOARD_CARTS[i].file, "wb", item); // skipped when it cannot open
    }
    vull_destroy_pod(pod);
}
