// The working cart's files, reload()/cstore() on cart files and the sandbox,
// embedded carts, dropped files and the paths of files the console writes.
#include "cart/disk.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/editor.h"
#include "cart/compress.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/charset.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/hooks.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"

namespace {

struct embedded_entry {
    char hash[41];  // cart hash; empty while pending, or when the source gave no cart
    char name[256]; // data file entry name
    char key[VULL_VDISK_NAME]; // the name's virtual-disk key ("" when it has none)
    embedded_cart_source source; // makes the cart on first use; null once mounted
    int source_key;
};
std::array<embedded_entry, EMBEDDED_CARTS_MAX> hash_to_filename;
int embedded_carts;

// A path too long for its buffer is emptied, never cut: a cut path names another file.
void set_path(char *out, size_t size, const std::string &path) {
    if (path.size() < size)
        std::memcpy(out, path.c_str(), path.size() + 1);
    else
        out[0] = 0;
}


// Whole-file size without reading it; -1 when there is no such file.
int64_t file_size(const char *path) {
    struct stat st {};
    if (!path || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

} // namespace

// The shared half of the sprite sheet and the map (memory 0x1000-0x1fff):
// map rows 32-63 hold one cell a byte, sprite rows 64-127 two pixels a byte.
void sync_shared_data_on_load(zibo6_cart *cart) {
    if (!cart || !cart->map || !cart->sprites) return;
    bool map_used = false;
    for (int y = 32; y < ZIBO6_MAP_HEIGHT && !map_used; y++)
        for (int x = 0; x < ZIBO6_MAP_WIDTH; x++) map_used |= cart->map->rows[y][x] != 0;
    if (map_used)
        sync_shared_map_to_gfx(cart);
    else
        sync_shared_gfx_to_map(cart);
}

namespace {

// A save or load refused for a future version stops the name variants.
bool future_refused() {
    return zibo6_cart_load_status == ZIBO6_LOAD_FUTURE_VERSION ||
           zibo6_png_cart_status == PNG_CART_FUTURE;
}

// The first max bytes of a cart file (at most ZIBO6_CART_FILE_MAX, a regular file).
std::vector<uint8_t> read_up_to(const char *path, size_t max) {
    std::vector<uint8_t> data;
    FILE *f = vull_open_read(path, ZIBO6_CART_FILE_MAX);
    if (!f) return data;
    data.resize(max);
    data.resize(std::fread(data.data(), 1, max, f));
    std::fclose(f);
    return data;
}

// The whole file when it opens, reads without error and holds at most max bytes.
bool read_whole(const char *path, size_t max, std::vector<uint8_t> &data) {
    cbuffer *b = vull_load_file(path, int64_t(max));
    if (b) data.assign(b->data, b->data + b->length);
    vull_destroy_buffer(b);
    return b != nullptr;
}

bool path_exists(const char *path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

// Modification time in nanoseconds; -1 when there is no such file.
int64_t modified_ns(const char *path) {
    struct stat st {};
    if (::stat(path, &st) != 0) return -1;
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The ROM bytes a patch's change mask marks are copied into the cart.
void apply_patch(zibo6_cart *cart, const zibo6_cart *patch) {
    for (int a = 0; a < ZIBO6_ROM_DATA_SIZE; a++)
        if (patch->change_mask[a >> 3] & (1 << (a & 7)))
            cart_hooks.zibo6_poke(nullptr, cart, a, cart_hooks.zibo6_peek(nullptr, const_cast<zibo6_cart *>(patch), a));
}

// The working cart's sandbox file is named from its hash before any patch, so what a cart
// stored is what it reads back. Earlier versions stored under the hash of the patched cart;
// progress left there (newer than the sandbox file itself) is folded into the sandbox file
// once, and from then on only that file is written.
void apply_sandbox_patch(zibo6_cart *cart) {
    std::string own = get_sandboxed_cstore_filename(pstate.sandbox_hash);
    vull_debugf("prepare_loaded_cart: looking for sandboxed cart patch: %s\n", own.c_str());
    zibo6_cart *patch = vull_load_zibo6_cart(own.c_str());
    if (!patch) {
        vull_debugf("  not found\n");
        return;
    }
    vull_debugf("  found\n");
    apply_patch(cart, patch);
    char patched[41];
    hash_cart(cart, patched);
    std::string old = get_sandboxed_cstore_filename(patched);
    if (std::strcmp(patched, pstate.sandbox_hash) != 0 &&
        modified_ns(old.c_str()) > modified_ns(own.c_str())) {
        if (zibo6_cart *progress = vull_load_zibo6_cart(old.c_str())) {
            vull_debugf("  folding in earlier progress: %s\n", old.c_str());
            apply_patch(cart, progress);
            apply_patch(patch, progress);
            for (size_t i = 0; i < sizeof patch->change_mask; i++)
                patch->change_mask[i] |= progress->change_mask[i];
            vull_save_zibo6_cart(patch, own.c_str());
            vull_destroy_zibo6_cart(progress);
        }
    }
    vull_destroy_zibo6_cart(patch);
}

void base_and_extension(const char *path, std::string &base, std::string &ext) {
    char b[VULL_PATH_LEN] = {0}, e[VULL_PATH_LEN] = {0};
    vull_split_filename(path, nullptr, b, e);
    base = b, ext = e;
}

void working_hash(char *out) { hash_cart(pitem.cart, out); }

// Tools and tests run without the code tabs: the cart's code is then the truth.
void merge_tabs() {
    if (pstate.code_tab[0]) cart_hooks.merge_code_from_tabs();
}
void split_tabs() {
    if (pstate.code_tab[0]) cart_hooks.split_code_to_tabs();
}

} // namespace

// ---- formats and preparation ----

int cart_file_format(const char *path) {
    if (!path) return CART_FILE_TEXT;
    const char *name = std::strrchr(path, '/');
    const char *dot = std::strrchr(name ? name : path, '.');
    if (dot && strcasecmp(dot, ".png") == 0) return CART_FILE_PNG;
    if (dot && strcasecmp(dot, ".rom") == 0) return CART_FILE_ROM;
    return CART_FILE_TEXT;
}

bool has_final_extension(const char *path, const char *ext) {
    if (!path) return false;
    const char *name = std::strrchr(path, '/');
    const char *dot = std::strrchr(name ? name : path, '.');
    return dot && strcasecmp(dot, ext) == 0;
}

void prepare_cart_data(zibo6_cart *cart) {
    if (!cart) return;
    if (!cart->legacy_applied) apply_legacy_changes(cart);
    sync_shared_data_on_load(cart);
}

zibo6_cart *load_prepared_cart(const char *path) {
    zibo6_cart *cart = load_zibo6_cart_any_format(path);
    prepare_cart_data(cart);
    return cart;
}

int save_cart_file(zibo6_cart *cart, const char *path, int save_flags) {
    if (!cart || !path) return 1;
    if (cart_file_format(path) == CART_FILE_TEXT) { // the text as it is made, not a copy
        std::string text = zibo6_cart_text(cart);
        vull_save *s = vull_save_begin(path, save_flags);
        bool ok = s && vull_save_write(s, text.data(), int64_t(text.size())) == 0;
        return vull_save_end(s, ok) == 0 && ok ? 0 : 1;
    }
    cbuffer *out = vull_create_buffer(65536);
    if (!out) return 1;
    bool ok = false;
    switch (cart_file_format(path)) {
    case CART_FILE_PNG: ok = save_zibo6_cart_png_to_file(cart, out) == 0; break;
    case CART_FILE_ROM: {
        std::vector<uint8_t> image(CART_IMAGE_SIZE);
        ok = save_zibo6_cart_32k(cart, image.data()) == 0 &&
             vull_fwrite(image.data(), 1, int(image.size()), out) == int(image.size());
        break;
    }
    default: ok = vull_save_zibo6_cart_to_file(cart, out, 0) == 0; break;
    }
    if (ok) {
        vull_save *s = vull_save_begin(path, save_flags);
        ok = s && vull_save_write(s, out->data, out->length) == 0;
        ok = vull_save_end(s, ok) == 0 && ok;
    }
    vull_destroy_buffer(out);
    return ok ? 0 : 1;
}

// ---- loading ----

void inject_z6_extention(const char *name, char *out) {
    // The file's own name decides: a folder holding ".z6" leaves it without an extension.
    const char *slash = std::strrchr(name, '/');
    if (vull_strcasestr(slash ? slash + 1 : name, ".z6")) {
        vull_copy_text(out, name, VULL_PATH_LEN);
        return;
    }
    char folder[VULL_PATH_LEN] = {0}, base[VULL_PATH_LEN] = {0}, ext[VULL_PATH_LEN] = {0};
    vull_split_filename(name, folder, base, ext);
    if (std::strstr(ext, ".png") || std::strstr(ext, ".rom"))
        set_path(out, VULL_PATH_LEN, std::string(folder) + base + ".z6" + ext);
    else
        set_path(out, VULL_PATH_LEN, std::string(folder) + base + ext + ".z6");
}

// A cart whose code is plain text (UTF-8, UTF-16 or UTF-32 by its byte-order mark).
static zibo6_cart *lua_cart_from_bytes(const uint8_t *p, size_t n) {
    if (n > size_t(LUA_FILE_MAX)) n = size_t(LUA_FILE_MAX);
    size_t at = 0;
    int unit = 1;
    bool big_endian = false;
    auto starts = [&](std::initializer_list<int> bytes) {
        size_t k = 0;
        for (int b : bytes)
            if (k >= n || p[k++] != b) return false;
        return true;
    };
    if (starts({0xef, 0xbb, 0xbf}))
        at = 3;
    else if (starts({0xff, 0xfe, 0, 0}))
        unit = 4, at = 4;
    else if (starts({0, 0, 0xfe, 0xff}))
        unit = 4, big_endian = true, at = 4;
    else if (starts({0xff, 0xfe}))
        unit = 2, at = 2;
    else if (starts({0xfe, 0xff}) && ((n > 2 && p[2]) || (n > 3 && p[3])))
        unit = 2, big_endian = true, at = 2;
    std::string text;
    constexpr char HEX[] = "0123456789abcdef";
    for (; at + size_t(unit) <= n; at += size_t(unit)) {
        const uint8_t *u = p + at;
        int low = big_endian ? u[unit - 1] : u[0];
        bool high_zero = true;
        for (int k = 0; k < unit; k++)
            if (k != (big_endian ? unit - 1 : 0)) high_zero &= u[k] == 0;
        if (high_zero) {
            if (low != '\r') text += char(low);
        } else {
            for (int k = 0; k < unit; k++)
                text += '_', text += 'x', text += HEX[u[k] >> 4], text += HEX[u[k] & 15];
        }
    }
    text += '\n';
    std::vector<char> glyphs(text.size() + 1);
    convert_escaped_to_glyphs(text.c_str(), glyphs.data());
    std::string code(glyphs.data(), strnlen(glyphs.data(), glyphs.size()));
    if (code.size() > 65534) code.resize(65534);
    code += '\n';
    zibo6_cart *cart = vull_create_zibo6_cart();
    if (cart) std::memcpy(cart->code, code.c_str(), code.size() + 1);
    return cart;
}

zibo6_cart *load_zibo6_cart_lua(const char *path) {
    if (zibo6_cart_path_refused(path)) return nullptr;
    std::vector<uint8_t> in = read_up_to(path, LUA_FILE_MAX);
    if (in.empty() && file_size(path) < 0) return nullptr;
    return lua_cart_from_bytes(in.data(), in.size());
}

// The whole of a cart file (the virtual disk's too), read once; false when the
// path is refused, does not open or holds more than any cart reader takes.
static bool read_cart_file(const char *path, std::vector<uint8_t> &bytes) {
    if (zibo6_cart_path_refused(path)) return false;
    vull_file *f = vull_fopen(path, "rb", ZIBO6_CART_FILE_MAX);
    if (!f) return false;
    uint8_t chunk[65536];
    int n;
    while (bytes.size() <= size_t(ZIBO6_CART_FILE_MAX) &&
           (n = vull_fread(chunk, 1, int(sizeof chunk), f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    vull_fclose(f);
    return bytes.size() <= size_t(ZIBO6_CART_FILE_MAX);
}

zibo6_cart *load_zibo6_cart_any_format(const char *path) {
    zibo6_png_cart_status = PNG_CART_NO_FILE;
    zibo6_cart_load_status = ZIBO6_LOAD_OK;
    zibo6_loaded_code_block = {};
    std::vector<uint8_t> bytes;
    if (!path || !path[0] || !read_cart_file(path, bytes)) return nullptr;
    zibo6_cart *cart = load_zibo6_cart_png_from_bytes(bytes.data(), bytes.size());
    if (!cart) {
        zibo6_loaded_code_block = {}; // a refused PNG's block is not the cart's
        vull_file *f = vull_fopen_memory(bytes.data(), int(bytes.size()));
        cart = vull_load_zibo6_cart_from_file(f, 0);
        vull_fclose(f);
    }
    if (!cart && bytes.size() == size_t(CART_IMAGE_SIZE)) {
        const uint8_t *block = bytes.data() + CART_CODE_OFFSET;
        // A .rom keeps short code as plain text: such a file must load again.
        if (is_compressed_format_header(block) || block[0] == 0 || has_final_extension(path, ".rom")) {
            cart = vull_create_zibo6_cart();
            if (cart) {
                cart->version = ZIBO6_CART_VERSION;
                load_zibo6_cart_32k(cart, bytes.data());
            }
        }
    }
    if (!cart && has_final_extension(path, ".lua")) cart = lua_cart_from_bytes(bytes.data(), bytes.size());
    return cart;
}

int load_working_cart(const char *path) {
    if (!path || !path[0]) return 1;
    zibo6_cart *cart = load_zibo6_cart_any_format(path);
    std::string name = path;
    if (!cart) {
        if (future_refused()) return 1;
        char variant[VULL_PATH_LEN];
        inject_z6_extention(path, variant);
        const std::string tries[] = {variant, std::string(variant) + ".png",
                                     std::string(path) + ".png"};
        for (const std::string &t : tries) {
            if (future_refused()) break;
            if ((cart = load_zibo6_cart_any_format(t.c_str()))) {
                name = t;
                break;
            }
        }
        if (!cart) return 1;
    }
    prepare_loaded_cart(cart, name.c_str());
    return 0;
}

void prepare_loaded_cart(zibo6_cart *cart, const char *name) {
    if (!cart) return;
    if (pitem.cart != cart) vull_destroy_zibo6_cart(pitem.cart);
    pitem.cart = cart;
    prepare_cart_data(cart);
    hash_cart(cart, pstate.cart_hash_loaded);
    std::string loaded_code = cart->code ? cart->code : "";
    split_tabs();
    merge_tabs();
    // The round trip through the tabs touches only the code: unchanged, so is the hash.
    if (loaded_code == (cart->code ? cart->code : ""))
        std::memcpy(pstate.cart_hash, pstate.cart_hash_loaded, sizeof pstate.cart_hash);
    else
        hash_cart(cart, pstate.cart_hash);
    vull_copy_text(pstate.sandbox_hash, pstate.cart_hash, sizeof pstate.sandbox_hash);
    // A name too long for the record is no name: a cut one would name another file.
    if (name)
        set_path(pstate.current_filename, sizeof pstate.current_filename, name);
    else
        vull_copy_text(pstate.current_filename, get_sandboxed_cstore_filename(pstate.cart_hash),
                       sizeof pstate.current_filename);

    if (cart_hooks.is_sandboxed_cart_file(pstate.current_filename)) apply_sandbox_patch(cart);
    pstate.current_tab = 0;
    app.sfx_filters = 0;
    for (const zibo6_sfx &s : cart->sfx)
        if (s.filters & 0x126) app.sfx_filters = 1;
}

// ---- saving ----

int save_working_cart(const char *path) {
    zibo6_cart *cart = pitem.cart;
    if (!cart || !path || !path[0]) return 1;
    merge_tabs();
    // The format follows the final extension of the name that will be written.
    char name[VULL_PATH_LEN];
    inject_z6_extention(path, name);
    if (!name[0]) return 1;
    const int format = cart_file_format(name);
    const bool png = format == CART_FILE_PNG, rom = format == CART_FILE_ROM;
    std::string flat;
    bool flattened = cart_hooks.zibo6_flatten_includes(cart->code, flat) == 0;
    if (!flattened) {
        if (png) return 1;
        flat = cart->code;
    }
    if (flat.size() >= 65537) {
        cart_hooks.zibo_print("program over size limit\n");
        return 1;
    }
    std::vector<uint8_t> scratch(PXA_SCRATCH_SIZE);
    int size = compress_mini(flat.c_str(), scratch.data(), int(flat.size()));
    if (png && size > CART_CODE_BLOCK) {
        cart_hooks.zibo_print_col("compressed code size too large\n", 8);
        cart_hooks.zibo_print_2("%d / %d bytes", size, CART_CODE_BLOCK);
        return 1;
    }
    if (png) {
        bool blank = true;
        if (cart->label)
            for (int y = 0; y < cart->label->height && blank; y++)
                for (int x = 0; x < cart->label->width; x++)
                    blank &= cart->label->rows[y][x] == cart->label->rows[0][0];
        if (blank) {
            cart_hooks.zibo_print_col("warning: label is blank", 9);
            cart_hooks.zibo_print_col("run cart and ctrl-7 to capture", 10);
        }
    } else if (size > CART_CODE_BLOCK) {
        cart_hooks.zibo_print_col("warning: compressed code too big", 9);
        cart_hooks.zibo_print_col("to be exported or saved as png", 9);
        cart_hooks.zibo_print_2("%d / %d bytes", size, CART_CODE_BLOCK);
        cart_hooks.zibo_print("(saving .z6 anyway)");
    }

    // Another file about to be replaced is kept first; without a whole backup nothing is saved.
    if (std::strcmp(name, pstate.current_filename) != 0 && file_size(name) >= 0 &&
        save_backup(name, 1) != 0) {
        cart_hooks.zibo_print_col("could not back up the old file", 8);
        cart_hooks.show_message("** failed to save **", 1500);
        return 1;
    }

    // A PNG or ROM holds no #include: the flattened code is what it keeps.
    const bool flatten = (png || rom) && std::strlen(cart->code) != flat.size();
    if (png || rom) {
        std::memcpy(cart->code, flat.c_str(), flat.size() + 1);
        split_tabs();
    }
    const bool ok = save_cart_file(cart, name) == 0;
    if (flatten) cart_hooks.zibo_print_col("flattened #includes", 9);
    if (!ok) {
        cart_hooks.show_message("** failed to save **", 1500);
        return 1;
    }
    vull_copy_text(pstate.current_filename, name, sizeof pstate.current_filename);
    working_hash(pstate.cart_hash);
    return 0;
}

void do_quick_save(int from_terminal) {
    auto say = [&](const char *terminal, const char *status, int ms) {
        if (from_terminal)
            cart_hooks.zibo_print(terminal);
        else
            cart_hooks.show_message(status, ms);
    };
    if (!pstate.current_filename[0]) {
        say("please speficy a filename", "*** no filename. not saved! ***", 1500);
        return;
    }
    char bbs[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("bbs", bbs);
    if (bbs[0] && std::strstr(pstate.current_filename, bbs)) {
        say("can not overwrite bbs cart", "* can not overwrite bbs cart! *", 1500);
        return;
    }
    if (save_working_cart(pstate.current_filename) != 0) {
        say("save failed", "** save failed **", 1500);
        return;
    }
    std::string base, ext;
    base_and_extension(pstate.current_filename, base, ext);
    char line[VULL_PATH_LEN * 2];
    if (from_terminal) {
        // The folder relative to the root path, then to the current folder.
        std::string folder = vull_get_path_without_filename(pstate.current_filename);
        std::string root = pstate.root_path, cur = pstate.current_folder;
        if (!root.empty() && folder.rfind(root, 0) == 0) folder.erase(0, root.size());
        if (!cur.empty() && folder.rfind(cur, 0) == 0) folder.erase(0, cur.size());
        if (!folder.empty() && folder[0] == '/') folder.erase(0, 1);
        std::snprintf(line, sizeof line, "saved %s%s%s", folder.c_str(), base.c_str(), ext.c_str());
        cart_hooks.zibo_print(line);
    } else {
        std::snprintf(line, sizeof line, "saved %s%s", base.c_str(), ext.c_str());
        cart_hooks.show_message(line, 1000);
    }
}

namespace {

// The file of the working cart when it differs from every hash we know; null otherwise.
zibo6_cart *load_external_change() {
    if (!pstate.current_filename[0]) return nullptr;
    zibo6_cart *disk = load_prepared_cart(pstate.current_filename);
    if (!disk) return nullptr;
    char h[41], now[41];
    hash_cart(disk, h);
    working_hash(now);
    if (std::strcmp(h, now) != 0 && std::strcmp(h, pstate.cart_hash) != 0 &&
        std::strcmp(h, pstate.cart_hash_loaded) != 0)
        return disk;
    vull_destroy_zibo6_cart(disk);
    return nullptr;
}

} // namespace

void do_quick_load() {
    if (zibo6_cart *disk = load_external_change()) {
        cart_hooks.show_message("loaded external changes", 1000);
        std::string name = pstate.current_filename;
        prepare_loaded_cart(disk, name.c_str());
    }
}

int detect_external_changes() {
    zibo6_cart *disk = load_external_change();
    vull_destroy_zibo6_cart(disk);
    return disk ? 1 : 0;
}

int detect_unsaved_changes() { return 0; }
int unsaved_changes_confirmation(const char *) { return 0; }

int save_backup_of_unread_file(const char *path) {
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return save_backup(path, 1);
}

int save_backup(const char *name, int copy) {
    char folder[VULL_PATH_LEN];
    if (vull_prefix_with_appdata_path("backup/", folder) != 0) return 1;
    vull_mkdir(folder);
    std::string base = "untitled", ext = ".z6";
    if (name && name[0]) base_and_extension(name, base, ext);
    std::time_t t = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%4d%02d%02d_%02d%02d%02d_", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    // Named to the second: a second backup in the same second gets "_1", "_2", ... before
    // the extension rather than replacing the first.
    std::string first = std::string(folder) + stamp + base;
    std::string path = first + ext;
    struct stat st {};
    for (int k = 1; ::lstat(path.c_str(), &st) == 0; k++) {
        if (k > BACKUPS_PER_SECOND_MAX) return 1;
        path = first + "_" + std::to_string(k) + ext;
    }
    if (copy) {
        // A file that cannot be read whole within the limit has no whole backup.
        std::vector<uint8_t> data;
        if (!name || !read_whole(name, BACKUP_COPY_MAX, data)) return 1;
        if (data.empty()) return 0;
        return vull_save_file(path.c_str(), data.data(), int64_t(data.size())) == 0 ? 0 : 1;
    }
    if (!pitem.cart) return 0;
    merge_tabs();
    int failed = cart_file_format(name) == CART_FILE_PNG
                     ? save_zibo6_cart_png(pitem.cart, path.c_str())
                     : vull_save_zibo6_cart(pitem.cart, path.c_str());
    return failed ? 1 : 0;
}

// ---- reload() and cstore() on files ----

namespace {

// What a file is, cheaply: a save renames a new file over it, a user's edit changes its
// size or time, so a change of any of these means the file is not the one kept.
struct file_identity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t modified = 0;
    bool operator==(const file_identity &) const = default;
};

file_identity identify(const char *path) {
    struct stat st {};
    file_identity id;
    if (::stat(path, &st) != 0) return id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

// The last cart file reload() or cstore() used, kept until the frame ends: a cart that
// moves one byte a call in a loop pays for one load a frame, not one a call.
struct kept_cart_file {
    std::string path;
    zibo6_cart *cart = nullptr;
    file_identity id;     // the file as it was when loaded or last written
    bool raw_bin = false; // read as raw ROM bytes: cstore never loads such a file
    bool on_disk = false; // the file holds what saving this cart writes
    // A PNG written again within the frame is written from a draft (stored, not compressed)
    // and, once the frame is done with it, once more as a normal save writes it.
    png_cart_draft *draft = nullptr;
    bool drafted = false; // the file holds the draft's encoding
    // A ".rom" written again within the frame: its image, whose code block stays as made.
    std::vector<uint8_t> rom_image;
    zibo6_text_draft *text = nullptr; // a text cart written again within the frame
};
kept_cart_file kept;

void drop_kept() {
    png_cart_draft_destroy(kept.draft);
    zibo6_text_draft_destroy(kept.text);
    vull_destroy_zibo6_cart(kept.cart);
    kept = kept_cart_file{};
}

// Done with the kept cart: a file last written from the draft gets the normal encoding,
// unless someone else has replaced it since.
void release_kept() {
    if (kept.drafted && identify(kept.path.c_str()) == kept.id &&
        save_cart_file(kept.cart, kept.path.c_str(), VULL_SAVE_REPEATED) != 0)
        vull_debugf("cstore: %s stays uncompressed: it could not be written again\n",
                    kept.path.c_str());
    drop_kept();
}

// The kept cart of path when the file is still the one kept, else null (and none kept).
kept_cart_file *find_kept(const char *path) {
    if (kept.cart && kept.path == path && identify(path) == kept.id) return &kept;
    release_kept();
    return nullptr;
}

void keep(const char *path, zibo6_cart *cart, const file_identity &id, bool raw_bin) {
    drop_kept();
    kept.path = path;
    kept.cart = cart;
    kept.id = id;
    kept.raw_bin = raw_bin;
}

// The bytes of a file stored into many times a frame, through the writer's repeated save.
template <typename Bytes> int save_repeated(const char *path, const Bytes &bytes) {
    vull_save *s = vull_save_begin(path, VULL_SAVE_REPEATED);
    bool ok = s && vull_save_write(s, bytes.data(), int64_t(bytes.size())) == 0;
    return vull_save_end(s, ok) == 0 && ok ? 0 : 1;
}

} // namespace

int reload_cart_partial(const char *path, int dest, int src, int len) {
    if (std::strcmp(path, pstate.last_cart_file_accessed) != 0) {
        vull_copy_text(pstate.last_cart_file_accessed, path, sizeof pstate.last_cart_file_accessed);
        pstate.load_transition_frames = std::clamp(30 - pstate.file_access_cooldown, 2, 30);
        pstate.file_access_cooldown = 150;
    }
    if (!find_kept(path)) {
        file_identity id = identify(path); // before reading: a change meanwhile shows next time
        bool raw_bin = false;
        zibo6_cart *cart = load_prepared_cart(path);
        if (!cart && has_final_extension(path, ".bin")) {
            cart = load_zibo6_cart_bin(path);
            raw_bin = true;
        }
        if (!cart) return 1;
        keep(path, cart, id, raw_bin);
    }
    // The kept record owns the cart: a poke that raises (the upper-memory gate) unwinds
    // past here and leaves nothing behind.
    zibo6_cart *cart = kept.cart;
    for (int i = 0; i < len; i++)
        cart_hooks.zibo6_poke(&pstate, pstate.memory_cart, dest + i,
                              cart_hooks.zibo6_peek(nullptr, cart, src + i));
    return 0;
}

int cstore_cart_partial(const char *path, int dest, int src, int len, int also_working,
                        int sandbox) {
    // A growable list: long per-user paths cannot overflow it.
    std::string entry = std::string("|") + path;
    std::string list = app.cstore_targets ? app.cstore_targets : "";
    if ((list + "|").find(entry + "|") == std::string::npos) {
        if (app.cstore_target_count >= Z6_CSTORE_TARGETS_MAX) return 3;
        list += entry;
        char *grown = static_cast<char *>(vull_malloc(int(list.size() + 1)));
        if (!grown) return 3;
        std::memcpy(grown, list.c_str(), list.size() + 1);
        vull_free(app.cstore_targets);
        app.cstore_targets = grown;
        app.cstore_target_count++;
    }
    vull_copy_text(pstate.last_cart_file_accessed, path, sizeof pstate.last_cart_file_accessed);
    pstate.load_transition_frames = 30;
    // Loaded as every cart is and written back in the format its name gives, so a
    // target keeps its label, its map's lower half and its legacy fix-ups.
    kept_cart_file *k = find_kept(path);
    if (k && k->raw_bin) return 2; // raw ROM bytes are no cart file to write back
    if (!k) {
        file_identity id = identify(path);
        zibo6_cart *target = load_prepared_cart(path);
        if (!target) {
            // Only a missing file becomes a new cart: one that does not load (a future
            // version, damage, not a cart at all) stays as it is.
            if (path_exists(path)) return 2;
            target = vull_create_zibo6_cart();
            if (!target) return 2;
            if (sandbox) std::memset(target->change_mask, 0, sizeof target->change_mask);
        }
        keep(path, target, id, false);
        k = &kept;
    }
    zibo6_cart *target = k->cart;
    bool changed = !k->on_disk;
    // Only a sandbox file marks the bytes it holds: any other target carries no mask.
    if (!sandbox)
        for (uint8_t &m : target->change_mask) {
            changed |= m != 0xFF;
            m = 0xFF;
        }
    for (int i = 0; i < len; i++) {
        int v = cart_hooks.zibo6_peek(&pstate, pstate.memory_cart, src + i);
        int a = dest + i;
        int before = cart_hooks.zibo6_peek(nullptr, target, a);
        cart_hooks.zibo6_poke(nullptr, target, a, v);
        changed |= cart_hooks.zibo6_peek(nullptr, target, a) != before;
        if (also_working) cart_hooks.zibo6_poke(nullptr, pitem.cart, a, v);
        if (sandbox && a >= 0 && a < ZIBO6_ROM_DATA_SIZE) { // the mask covers the ROM data only
            uint8_t &m = target->change_mask[a >> 3];
            changed |= !(m & (1 << (a & 7)));
            m |= uint8_t(1 << (a & 7));
        }
    }
    // The file already holds exactly these bytes: writing them again would change nothing.
    if (!changed) return 0;
    if (!k->id.exists) vull_mkdir(vull_get_path_without_filename(path));
    // Flushed to the disk once, when the frame ends, however often the frame stores. A file
    // stored into again within the frame is written from what the last store kept of it: the
    // PNG draft, the ROM image, the text with only the changed lines made again.
    bool failed;
    int format = cart_file_format(path);
    if (k->on_disk && format == CART_FILE_PNG) {
        if (!k->draft) k->draft = png_cart_draft_create(target);
        failed = !k->draft ||
                 save_repeated(path, png_cart_draft_update(k->draft, target, dest, len)) != 0;
        if (!failed) k->drafted = true;
    } else if (k->on_disk && format == CART_FILE_ROM) {
        std::vector<uint8_t> &image = k->rom_image;
        if (image.empty()) {
            image.assign(CART_IMAGE_SIZE, 0);
            if (save_zibo6_cart_32k(target, image.data()) != 0) image.clear();
        } else {
            for (int i = 0; i < std::min(len, 0x10000); i++) { // addresses wrap as the pokes did
                int a = (dest + i) & 0xffff;
                if (a < CART_BIN_SIZE)
                    image[size_t(a)] = uint8_t(cart_hooks.zibo6_peek(nullptr, target, a));
            }
        }
        failed = image.empty() || save_repeated(path, image) != 0;
    } else if (k->on_disk && format == CART_FILE_TEXT) {
        if (!k->text) k->text = zibo6_text_draft_create(target);
        failed = !k->text ||
                 save_repeated(path, zibo6_text_draft_update(k->text, target, dest, len)) != 0;
    } else {
        failed = save_cart_file(target, path, VULL_SAVE_REPEATED) != 0;
        if (!failed) k->drafted = false;
    }
    if (failed) {
        // The file keeps what it held (whatever its encoding: it holds the stores that
        // succeeded); the next call reads it again.
        drop_kept();
        return 2;
    }
    k->on_disk = true;
    k->id = identify(path);
    return 0;
}

void cart_files_end_frame() {
    release_kept();
    vull_flush_saved_files();
}

void zibo6_prefix_with_cstore_path(const char *name, const char *prefix, char *out) {
    std::string rel = std::string("cstore/") + (prefix ? prefix : "") + (name ? name : "");
    vull_prefix_with_appdata_path(rel.c_str(), out);
}

const char *get_sandboxed_cstore_filename(const char *hash) {
    static char path[VULL_PATH_LEN];
    char name[64];
    std::snprintf(name, sizeof name, "%.40s.z6", hash ? hash : "");
    zibo6_prefix_with_cstore_path(name, "__", path);
    return path;
}

// ---- embedded carts ----

namespace {

// The cart's hash and its text under its name on the virtual disk.
void write_embedded(embedded_entry &e, zibo6_cart *cart) {
    hash_cart(cart, e.hash);
    vull_debugf("mount_embedded_cart: %s (%d chars) %s\n", e.name, int(std::strlen(cart->code)),
                e.hash);
    vull_file *f = vull_fopen_vdisk(e.name, "w");
    if (!f || vull_save_zibo6_cart_to_file(cart, f, 0) != 0)
        vull_debugf("** mount_embedded_cart: failed to mount");
    vull_fclose(f);
}

embedded_entry *add_embedded(const char *name) {
    if (embedded_carts >= EMBEDDED_CARTS_MAX) return nullptr;
    embedded_entry &e = hash_to_filename[size_t(embedded_carts++)];
    e = embedded_entry{};
    vull_copy_text(e.name, name, sizeof e.name);
    if (!vull_vdisk_key(e.name, e.key)) e.key[0] = 0;
    return &e;
}

void make_pending(embedded_entry &e) {
    embedded_cart_source source = e.source;
    if (!source) return;
    e.source = nullptr; // first: writing the file looks it up on the virtual disk
    if (zibo6_cart *cart = source(e.source_key)) {
        write_embedded(e, cart);
        vull_destroy_zibo6_cart(cart);
    }
}

// A read of a name the virtual disk does not hold yet: the pending carts of that name.
int mount_pending_for_key(const char *key) {
    int made = 0;
    for (int i = 0; i < embedded_carts; i++) {
        embedded_entry &e = hash_to_filename[size_t(i)];
        if (e.source && std::strcmp(e.key, key) == 0) {
            make_pending(e);
            made = 1;
        }
    }
    return made;
}

} // namespace

void mount_embedded_cart(zibo6_cart *cart, const char *name) {
    if (!cart) return;
    if (embedded_entry *e = add_embedded(name)) write_embedded(*e, cart);
}

void mount_embedded_cart_lazily(const char *name, embedded_cart_source source, int source_key) {
    if (!source) return;
    embedded_entry *e = add_embedded(name);
    if (!e) return;
    e->source = source;
    e->source_key = source_key;
    vull_vdisk_miss_hook = mount_pending_for_key;
}

void clear_embedded_carts() { embedded_carts = 0; }
int embedded_cart_count() { return embedded_carts; }

const char *embedded_cart_name(int i) {
    return i >= 0 && i < embedded_carts ? hash_to_filename[size_t(i)].name : nullptr;
}

const char *get_embedded_cart_filename_for_hash(const char *hash) {
    if (!hash) return nullptr;
    for (int i = 0; i < embedded_carts; i++) make_pending(hash_to_filename[size_t(i)]);
    for (int i = 0; i < embedded_carts; i++)
        if (hash_to_filename[size_t(i)].hash[0] && std::strcmp(hash_to_filename[size_t(i)].hash, hash) == 0)
            return hash_to_filename[size_t(i)].name;
    return nullptr;
}

const char *get_embedded_cart_hash_for_filename(const char *name, int try_variants) {
    if (!name) return nullptr;
    char variant[VULL_PATH_LEN];
    inject_z6_extention(name, variant);
    std::string variant_png = std::string(variant) + ".png";
    for (int i = 0; i < embedded_carts; i++) {
        embedded_entry &e = hash_to_filename[size_t(i)];
        bool named = std::strcmp(e.name, name) == 0 ||
                     (try_variants && (std::strcmp(e.name, variant) == 0 || variant_png == e.name));
        if (!named) continue;
        make_pending(e);
        if (e.hash[0]) return e.hash;
    }
    return nullptr;
}

// ---- dropped files and output paths ----

void handle_dropped_file() {
    std::string path = vull_state.dropped_file;
    vull_state.dropped_file[0] = 0;
    if (path.empty()) return;
    if (zibo6_cart *cart = load_zibo6_cart_any_format(path.c_str())) {
        vull_destroy_zibo6_cart(cart);
        cart_hooks.show_message("can not load", 2000);
        return;
    }
    if (path.find("z6m.png") != std::string::npos) {
        cart_hooks.show_message("z6m.png not supported", 2000);
        return;
    }
    if (!has_final_extension(path.c_str(), ".png")) {
        int64_t size = file_size(path.c_str());
        if (size < 0) return;
        if (size > DROPPED_FILE_MAX) { // refused before anything is read
            cart_hooks.show_message("file is too large (256k max)", 2000);
            return;
        }
        cbuffer *data = vull_load_file(path.c_str(), DROPPED_FILE_MAX);
        if (!data) return;
        cart_hooks.serial_set_dropped_file(data);
        vull_destroy_buffer(data);
        return;
    }
    // the header is read first: a larger picture is never decoded
    int too_large = 0;
    vull_bitmap *picture = vull_load_png_within(path.c_str(), 128, 128, &too_large);
    if (!picture) {
        if (too_large) cart_hooks.show_message("image is too large (128 max)", 2000);
        return;
    }
    backup_gfx(); // the sheet as it was, for undo
    if (vull_bitmap *indexed = vull_create_bitmap(picture->width, picture->height, 8)) {
        cart_hooks.zibo6_convert_bitmap(picture, indexed, cart_display_colours());
        cart_hooks.serial_set_dropped_image_file(indexed);
        vull_destroy_bitmap(indexed);
    }
    vull_destroy_bitmap(picture);
}

void handle_dropped_file_html() {}

const char *resolve_to_host_filename(const char *name) {
    static char out[VULL_PATH_LEN];
    std::string n = name ? name : "";
    if (!n.empty() && n[0] == '/')
        set_path(out, sizeof out, pstate.root_path + n);
    else
        set_path(out, sizeof out, std::string(pstate.root_path) + pstate.current_folder + n);
    return out;
}

void prefix_with_file_output_path(const char *name, char *out, size_t out_size) {
    char folder[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("appdata", folder);
    vull_mkdir(folder);
    const char *title = vull_state.app_title[0] ? vull_state.app_title : "zibo6";
    std::string sub = std::string(folder) + "/" + title;
    vull_mkdir(sub.c_str());
    std::snprintf(out, out_size, "%s/%s", sub.c_str(), name ? name : "");
    vull_debugf("file output path: %s\n", out);
}

void prefix_with_desktop_output_path(const char *name, char *out, size_t out_size) {
    char folder[VULL_PATH_LEN];
    // a machine without a desktop folder still gets the files written there
    if (vull_prefix_with_desktop_path("", folder, sizeof folder) == 0) vull_mkdir(folder);
    vull_prefix_with_desktop_path(name, out, out_size);
}

bool next_output_path(const char *ext, int to_file_output, char *path, size_t size) {
    auto place = [&](const std::string &name) {
        if (to_file_output)
            prefix_with_file_output_path(name.c_str(), path, size);
        else
            prefix_with_desktop_output_path(name.c_str(), path, size);
    };
    path[0] = 0;
    if (app.output_file_name[0]) { // the cart's fixed name, used as it is
        place(app.output_file_name + std::string(ext));
        return path[0] != 0;
    }
    std::string base = "zibo6", cart_ext;
    if (pstate.current_filename[0]) base_and_extension(pstate.current_filename, base, cart_ext);
    if (base.empty()) base = "zibo6";
    for (int n = 0; n < 10000; n++) {
        place(base + "_" + std::to_string(n) + ext);
        if (!vull_file_exists(path)) return true;
    }
    return false;
}

int save_png_screenshot(vull_bitmap *bitmap, int scale, int to_file_output) {
    if (!bitmap || bitmap->bpp != 8) return 1;
    scale = scale <= 0 ? std::clamp(app.screenshot_scale, 1, 32) : std::min(scale, 32);
    char path[VULL_PATH_LEN] = {0};
    if (!next_output_path(".png", to_file_output, path, sizeof path)) return 1;
    vull_bitmap *rgb = vull_create_bitmap(bitmap->width * scale, bitmap->height * scale, 32);
    int result = 1;
    if (rgb) {
        // Colour 0 is written through an opaque black entry: the shown palette's
        // entry 16 may hold a TV-frame colour.
        vull_rgb colours[256];
        std::memcpy(colours, cart_display_colours(), sizeof colours);
        colours[16] = colours[0];
        // Each source row is scaled once and copied to the rows it covers: at
        // scale 32 that is a 32nd of the per-pixel work.
        const size_t row_bytes = size_t(rgb->width) * 4;
        for (int y = 0; y < bitmap->height; y++) {
            uint8_t *row = rgb->rows[y * scale];
            for (int x = 0; x < bitmap->width; x++) {
                uint8_t p = bitmap->rows[y][x] ? bitmap->rows[y][x] : 16;
                const vull_rgb &c = colours[p];
                uint32_t v = 0xff000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
                for (int k = 0; k < scale; k++) std::memcpy(row + 4 * (x * scale + k), &v, 4);
            }
            for (int k = 1; k < scale; k++) std::memcpy(rgb->rows[y * scale + k], row, row_bytes);
        }
        vull_debugf("saving screenshot to: %s\n", path);
        vull_save_png(path, rgb);
        result = vull_file_exists(path) ? 0 : 1;
    }
    vull_destroy_bitmap(rgb);
    return result;
}

void debug_pattern_dat(const char *label) {
    const zibo6_cart *cart = pitem.cart;
    int c[ZIBO6_PATTERN_CHANNELS] = {};
    if (cart)
        for (int i = 0; i < ZIBO6_PATTERN_CHANNELS; i++) c[i] = cart->music[0][i];
    vull_debugf("channels [%20s] t:%d :: %d %d %d %d\n", label ? label : "", vull_get_time(), c[0],
                c[1], c[2], c[3]);
}

void prefix_with_file_output_path____first_attempt(const char *name, char *out, size_t out_size) {
    char folder[VULL_PATH_LEN] = "";
    if (!getcwd(folder, sizeof folder)) folder[0] = '\0';
    if (std::strlen(folder) < 2) vull_prefix_with_program_path("", folder);
    // Inside an application bundle: the folder that holds the bundle.
    if (char *app = std::strstr(folder, ".app")) {
        *app = '\0';
        if (char *slash = std::strrchr(folder, '/')) slash[1] = '\0';
    }
    size_t n = std::strlen(folder);
    const char *sep = n > 0 && folder[n - 1] != '/' ? "/" : "";
    int len = std::snprintf(out, out_size, "%s%s%s", folder, sep, name ? name : "");
    if (len < 0 || size_t(len) >= out_size) out[0] = '\0'; // a cut path could name another file
}
