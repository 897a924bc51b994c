// Cart browser lists, favourites.txt, board cache names and labels. The browser
// screens themselves are never reached from the player (only -kiosk enters the
// browser, with empty update and draw), but the pause menu's favourite marker,
// the installers and the board client use the records kept here.
#include "shell/browse.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "console/display.h"
#include "shell/zibo6.h"
#include "cart/state.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"

browse_state browse;

namespace {

// favourites.txt is there but was not read (past the size limit, not a regular file, not
// readable): the list started empty, so the file is backed up before a save replaces it.
bool favourites_unread = false;

struct list_def {
    const char *name;
    const char *title;
    const char *request;
};
constexpr list_def list_defs[BROWSE_LISTS] = {
    {"local", "local", ""},
    {"fav", "favourites", "cat=7&orderby=favourites&uid=1"},
    {"new", "new", "cat=7&sub=2"},
    {"top", "featured", "cat=7&sub=2&orderby=rating"},
    {"wip", "work in progress", "cat=7&sub=3"},
    {"jam", "jam", "cat=7&sub=8"},
    {"lucky", "lucky draw", "cat=7&orderby=lucky"},
    {"search", "search", "cat=7&search=blah"},
};

constexpr int ICON_BOARD_CART = 176;
constexpr int ICON_CART = 177;
constexpr int ICON_PNG_CART = 180;
constexpr int ICON_FOLDER = 181;
constexpr int ICON_PARENT = 185;
constexpr int ICON_LISTS = 187;
constexpr int ICON_LISTS_KIOSK = 178;

browse_item dummy_item;

bool is_digits(const char *s) {
    if (!*s) return false;
    for (; *s; s++)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// Makes the folders of a per-user path on the way; false when it does not fit.
bool user_path(const char *name, char *out, size_t out_size) {
    return vull_prefix_with_appdata_path(name, out, out_size) == 0;
}

void favourites_path(char *out, size_t out_size) {
    if (!user_path("favourites.txt", out, out_size)) out[0] = 0;
}

bool ends_with(const char *s, const char *suffix) {
    size_t a = strlen(s), b = strlen(suffix);
    return a >= b && strcmp(s + a - b, suffix) == 0;
}

// Copies the next "|"-separated field of line into dst (bounded); advances line.
const char *next_field(const char *line, char *dst, size_t dst_size) {
    size_t n = strcspn(line, "|\r\n");
    vull_copy_text(dst, "", dst_size);
    size_t keep = std::min(n, dst_size - 1);
    memcpy(dst, line, keep);
    dst[keep] = 0;
    line += n;
    return *line == '|' ? line + 1 : line;
}

} // namespace

int32_t browse_read_int(const char *s) {
    return vull_saturate_int32(strtoll(s, nullptr, 10)); // strtoll itself saturates
}

bool browse_lid_is_safe(const char *lid) {
    if (!lid || !*lid || strlen(lid) >= BROWSE_TEXT_LEN) return false;
    for (const char *p = lid; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (!isalnum(c) && c != '_' && c != '-') return false;
    }
    return true;
}

// ---- cache names ----

namespace {

// "bbs/%d/" for an all-digit id, "bbs/carts/" otherwise; the folders are made.
bool bbs_cart_folder(const char *lid, char *out, size_t out_size) {
    char rel[64];
    if (is_digits(lid) && strlen(lid) < 12)
        snprintf(rel, sizeof rel, "bbs/%lld/", atoll(lid) / 10000);
    else
        snprintf(rel, sizeof rel, "bbs/carts/");
    char bbs[VULL_PATH_LEN];
    if (!user_path("bbs", bbs, sizeof bbs) || !user_path(rel, out, out_size)) return false;
    vull_mkdir(bbs);
    vull_mkdir(out);
    return true;
}

void cache_name(const char *lid, const char *prefix, const char *suffix, char *out,
                size_t out_size) {
    out[0] = 0;
    if (!browse_lid_is_safe(lid)) return;
    char folder[VULL_PATH_LEN];
    if (!bbs_cart_folder(lid, folder, sizeof folder)) return;
    const char *id = lid;
    char num[32];
    if (is_digits(lid) && strlen(lid) < 12) {
        snprintf(num, sizeof num, "%lld", atoll(lid));
        id = num;
    }
    if ((size_t)snprintf(out, out_size, "%s%s%s%s", folder, prefix, id, suffix) >= out_size)
        out[0] = 0;
}

} // namespace

void get_bbs_cart_filename(const char *lid, char *out, size_t out_size) {
    cache_name(lid, "", ".z6.png", out, out_size);
}
void get_bbs_nfo_filename(const char *lid, char *out, size_t out_size) {
    cache_name(lid, "", ".nfo", out, out_size);
}
void get_bbs_temp_nfo_filename(const char *lid, char *out, size_t out_size) {
    cache_name(lid, "temp-", ".nfo", out, out_size);
}

void get_bbs_label_filename(const char *lid, char *out, size_t out_size) {
    out[0] = 0;
    char folder[VULL_PATH_LEN], bbs[VULL_PATH_LEN];
    if (!browse_lid_is_safe(lid) || !user_path("bbs", bbs, sizeof bbs) ||
        !user_path("bbs/labels/", folder, sizeof folder))
        return;
    vull_mkdir(bbs);
    vull_mkdir(folder);
    if ((size_t)snprintf(out, out_size, "%s%s.png", folder, lid) >= out_size) out[0] = 0;
}

void get_bbs_listing_filename(const char *list_name, int temp, int more, char *out,
                              size_t out_size) {
    out[0] = 0;
    char rel[96], bbs[VULL_PATH_LEN];
    if (!browse_lid_is_safe(list_name) || strlen(list_name) > 32) return;
    snprintf(rel, sizeof rel, "bbs/%s%s%s.pip.png", temp ? "temp_" : "", list_name,
             more ? "__" : "");
    if (!user_path("bbs", bbs, sizeof bbs) || !user_path(rel, out, out_size)) {
        out[0] = 0;
        return;
    }
    vull_mkdir(bbs);
}

// ---- text clean-up ----

void trim_trailing_space(char *s) {
    size_t n = strlen(s);
    while (n > 0 && s[n - 1] == ' ') s[--n] = 0;
}

int is_input_char(int c) { return c > 15; }

void sanitise_title_string(char *s) {
    trim_trailing_space(s);
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (c >= 'A' && c <= 'Z')
            *s = char(c - 'A' + 'a');
        else if (c < 16 || c > 127)
            *s = ' ';
        else if (c == '|')
            *s = '_';
    }
}

void sanitise_author_string(char *s) {
    trim_trailing_space(s);
    for (char *p = s; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c >= 'A' && c <= 'Z') c = (unsigned char)(c - 'A' + 'a');
        *p = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? char(c) : '_';
    }
    if (strlen(s) > 16) s[16] = 0;
}

void clean_zibo6_string(char *s) {
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (c >= 'A' && c <= 'Z')
            *s = char(c - 'A' + 'a');
        else if (c < 16 || c > 127)
            *s = ' ';
    }
}

void sanitise_browse_item(browse_item *item) {
    // every field is NUL-ended within its 128 bytes whatever wrote it
    for (char *f : {item->title, item->author, item->text, item->lid, item->mid})
        f[BROWSE_TEXT_LEN - 1] = 0;
    sanitise_title_string(item->title);
    sanitise_author_string(item->author);
    trim_trailing_space(item->text);
    trim_trailing_space(item->lid);
    trim_trailing_space(item->mid);
    if (!is_digits(item->lid)) clean_zibo6_string(item->lid);
    if (!is_digits(item->mid)) clean_zibo6_string(item->mid);
}

void strip_lid_version(char *lid) {
    char *dash = strchr(lid, '-');
    if (dash) *dash = 0;
}

void get_title_from_filename(browse_item *item, const char *path) {
    if (item->title[0]) return;
    const char *base = strrchr(path, '/');
    base = base ? base + 1 : path;
    vull_copy_text(item->title, base, sizeof item->title);
    char *ext = strstr(item->title, ".z6");
    if (ext) *ext = 0;
}

int compare_alphabetical(const browse_item *a, const browse_item *b) {
    bool fa = a->kind == BROWSE_FOLDER, fb = b->kind == BROWSE_FOLDER;
    if (fa != fb) return fa ? -1 : 1;
    return strcmp(a->title, b->title);
}

// ---- lists ----

browse_item *add_browse_item(browse_list *list, int at_front) {
    if (list->count >= list->capacity) {
        int cap = list->capacity ? list->capacity * 2 : 16, bytes = 0;
        if (!vull_checked_size(cap, sizeof(browse_item), 0, &bytes)) return nullptr;
        auto *grown = static_cast<browse_item *>(realloc(list->items, size_t(bytes)));
        if (!grown) return nullptr;
        list->items = grown;
        list->capacity = cap;
    }
    int at = list->count;
    if (at_front) {
        at = 0;
        while (at < list->count && list->items[at].kind != BROWSE_CART) at++;
        memmove(&list->items[at + 1], &list->items[at],
                sizeof(browse_item) * size_t(list->count - at));
    }
    list->count++;
    list->items[at] = browse_item{};
    return &list->items[at];
}

browse_item *get_browse_item(browse_list *list, int i) {
    if (!list || i < 0 || i >= list->count) {
        dummy_item = browse_item{};
        return &dummy_item;
    }
    return &list->items[i];
}

void clear_browse_list(browse_list *list) {
    for (int i = 0; i < list->count; i++) {
        vull_destroy_bitmap(list->items[i].label);
        list->items[i].label = nullptr;
    }
    list->count = 0;
}

static bool item_matches(const browse_item *item, const char *lid, const char *text) {
    if (lid && lid[0] && strcmp(item->lid, lid) == 0) return true;
    return !item->lid[0] && !item->mid[0] && text && text[0] && strcmp(item->text, text) == 0;
}

int find_item_index(browse_list *list, const char *lid, const char *text) {
    for (int i = 0; i < list->count; i++)
        if (item_matches(&list->items[i], lid, text)) return i;
    return -1;
}

int is_favourite(const char *lid, const char *text) {
    return find_item_index(&browse.list[LIST_FAV], lid, text) >= 0;
}

void update_list_favourites(browse_list *list) {
    for (int i = 0; i < list->count; i++) {
        browse_item *it = &list->items[i];
        it->listed = find_item_index(&browse.list[LIST_FAV], it->lid, it->text) >= 0;
    }
}

int get_icon_for_item(const browse_item *item) {
    if (item->kind != BROWSE_CART) return item->icon;
    if (item->lid[0] || item->mid[0]) return ICON_BOARD_CART;
    return ends_with(item->text, ".png") ? ICON_PNG_CART : ICON_CART;
}

void populate_browse_list_from_directory(browse_list *list, const char *folder) {
    clear_browse_list(list);
    if (folder[0] && strcmp(folder, "/") != 0) {
        browse_item *up = add_browse_item(list, 0);
        if (up) {
            up->icon = ICON_PARENT;
            up->kind = BROWSE_FOLDER;
            vull_copy_text(up->title, "..", sizeof up->title);
        }
    }
    char path[Z6_PATH_LEN * 2];
    snprintf(path, sizeof path, "%s%s", pstate.root_path, folder);
    vull_find_rec rec{};
    std::vector<browse_item> found;
    for (int r = vull_find_first(path, "*", &rec, VULL_MODE_DIR | VULL_MODE_FILE); r == 0;
         r = vull_find_next(&rec)) {
        if (rec.name[0] == '.') continue;
        browse_item it{};
        if (rec.mode & VULL_MODE_DIR) {
            it.icon = ICON_FOLDER;
            it.kind = BROWSE_FOLDER;
            vull_copy_text(it.title, rec.name, sizeof it.title);
        } else if (strstr(rec.name, ".z6")) {
            it.kind = BROWSE_CART;
            char text[Z6_PATH_LEN * 2];
            snprintf(text, sizeof text, "%s%s", folder, rec.name);
            vull_copy_text(it.text, text, sizeof it.text);
            get_title_from_filename(&it, rec.name);
            it.icon = get_icon_for_item(&it);
        } else {
            continue;
        }
        found.push_back(it);
    }
    vull_find_close(&rec);
    // stable: equal titles keep their listing order
    std::stable_sort(found.begin(), found.end(), [](const browse_item &a, const browse_item &b) {
        return compare_alphabetical(&a, &b) < 0;
    });
    for (const browse_item &it : found) {
        browse_item *dst = add_browse_item(list, 0);
        if (dst) *dst = it;
    }
}

int populate_browse_list_from_text_file(browse_list *list, const char *path) {
    FILE *f = vull_open_read(path, FAVOURITES_FILE_MAX);
    if (!f) {
        vull_debugf("could not load favourites file: %s\n", path);
        return 1;
    }
    char line[BROWSE_LINE_LEN];
    while (fgets(line, sizeof line, f)) {
        if (!strchr(line, '\n')) { // longer than the limit: the rest of the line is dropped
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n') {}
        }
        if (line[0] != '|') break;
        browse_item *it = add_browse_item(list, 0);
        if (!it) break;
        char num[BROWSE_TEXT_LEN];
        const char *p = line + 1;
        p = next_field(p, it->lid, sizeof it->lid);
        p = next_field(p, it->mid, sizeof it->mid);
        p = next_field(p, num, sizeof num);
        it->catsub = browse_read_int(num);
        p = next_field(p, it->author, sizeof it->author);
        p = next_field(p, it->text, sizeof it->text);
        next_field(p, it->title, sizeof it->title);
        it->kind = BROWSE_CART;
        sanitise_browse_item(it);
        it->icon = get_icon_for_item(it);
        it->label = create_label_from_cart_lid(it->lid);
    }
    fclose(f);
    return 0;
}

int save_browse_list_to_file(browse_list *list, const char *path) {
    std::string text;
    for (int i = 0; i < list->count; i++) {
        const browse_item *it = &list->items[i];
        if (it->kind != BROWSE_CART) continue;
        // Every field is a bounded record field: a line never passes 1 KB.
        char line[1024];
        int n = snprintf(line, sizeof line, "|%-20s |%-20s |%-6d |%-16s |%-20s |%s\n", it->lid,
                         it->mid, it->catsub, it->author, it->text, it->title);
        if (n < 0 || size_t(n) >= sizeof line) return 1;
        text.append(line, size_t(n));
    }
    return vull_save_file(path, text.data(), int64_t(text.size())) == 0 ? 0 : 1;
}

int save_browse_favourites() {
    char path[VULL_PATH_LEN];
    favourites_path(path, sizeof path);
    bool kept = !favourites_unread || save_backup_of_unread_file(path) == 0;
    if (!kept) vull_debugf("could not back up the unread favourites %s; not replaced\n", path);
    if (path[0] && kept && save_browse_list_to_file(&browse.list[LIST_FAV], path) == 0) {
        favourites_unread = false;
        return 0;
    }
    // favourites.txt keeps what it held; the list in memory is still the new one.
    vull_debugf("could not write favourites: %s\n", path);
    show_message("** could not save favourites **", 1500);
    return 1;
}

void reload_favourites() {
    char path[VULL_PATH_LEN];
    favourites_path(path, sizeof path);
    clear_browse_list(&browse.list[LIST_FAV]);
    favourites_unread = path[0] &&
                        populate_browse_list_from_text_file(&browse.list[LIST_FAV], path) != 0 &&
                        vull_file_exists(path);
}

// The board client fills lists 2-7 from their cached listing images.
void browse_load_cached_listing(browse_list *list);

void browse_init() {
    if (browse.initialised) return;
    browse.running_item = browse_item{};
    vull_debugf("browse_init\n");
    for (int i = 0; i < BROWSE_LISTS; i++) {
        browse_list *l = &browse.list[i];
        *l = browse_list{};
        vull_copy_text(l->title, list_defs[i].title, sizeof l->title);
        vull_copy_text(l->name, list_defs[i].name, sizeof l->name);
        vull_copy_text(l->request, list_defs[i].request, sizeof l->request);
        l->icon = (app.kiosk ? ICON_LISTS_KIOSK : ICON_LISTS) + i;
    }
    browse.initialised = 1;
    reload_favourites();
    for (int i = LIST_NEW; i <= LIST_SEARCH; i++) browse_load_cached_listing(&browse.list[i]);
    browse.list[LIST_SEARCH].request[0] = 0;
}

void browse_shutdown() {
    for (browse_list &l : browse.list) {
        clear_browse_list(&l);
        free(l.items);
        l.items = nullptr;
        l.capacity = 0;
    }
    vull_destroy_bitmap(browse.running_item.label);
    browse.running_item = browse_item{};
    browse.initialised = 0;
}

void browse_enter() {
    browse.exit_menu = 0;
    browse_list *local = &browse.list[LIST_LOCAL];
    populate_browse_list_from_directory(local, pstate.current_folder);
    if (local->cursor >= local->count) local->cursor = local->count - 1;
    if (local->cursor < 0) local->cursor = 0;
    update_list_favourites(local);
    vull_debugf("browse_enter: %d items in /%s\n", local->count, pstate.current_folder);
}

void browse_update() {}

// ---- labels ----

vull_bitmap *create_label_from_any_cart(const char *path) {
    if (!path || !path[0]) return nullptr;
    if (ends_with(path, ".png")) return create_label_from_file(path);
    if (!vull_file_exists(path)) return nullptr;
    zibo6_cart *cart = load_zibo6_cart_any_format(path);
    vull_bitmap *copy = cart ? browse_copy_label(cart->label) : nullptr;
    vull_destroy_zibo6_cart(cart);
    return copy;
}

vull_bitmap *browse_copy_label(const vull_bitmap *label) {
    if (!label) return nullptr;
    vull_bitmap *copy = vull_create_bitmap(label->width, label->height, 8);
    if (copy)
        for (int y = 0; y < copy->height; y++)
            memcpy(copy->rows[y], label->rows[y], size_t(copy->width));
    return copy;
}

vull_bitmap *create_label_from_cart_lid(const char *lid) {
    char path[VULL_PATH_LEN];
    get_bbs_cart_filename(lid, path, sizeof path);
    if (path[0] && vull_file_exists(path)) {
        vull_bitmap *b = create_label_from_file(path);
        if (b) return b;
    }
    get_bbs_label_filename(lid, path, sizeof path);
    if (!path[0] || !vull_file_exists(path)) return nullptr;
    vull_bitmap *img = vull_load_png_within(path, ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE);
    if (!img) return nullptr;
    vull_bitmap *label = nullptr;
    if (img->width == ZIBO6_SHEET_SIZE && img->height == ZIBO6_SHEET_SIZE && img->bpp == 32) {
        label = vull_create_bitmap(ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE, 8);
        if (label) zibo6_convert_bitmap(img, label, cart_display_colours());
    }
    vull_destroy_bitmap(img);
    return label;
}

int save_bbs_cart_label(const browse_item *item) {
    if (!item->label) return 1;
    char path[VULL_PATH_LEN];
    get_bbs_label_filename(item->lid, path, sizeof path);
    if (!path[0]) return 1;
    if (vull_file_exists(path)) return 0;
    vull_bitmap *rgb = vull_create_bitmap(item->label->width, item->label->height, 32);
    if (!rgb) return 1;
    const vull_rgb *cols = cart_display_colours();
    for (int y = 0; y < rgb->height; y++)
        for (int x = 0; x < rgb->width; x++) {
            const vull_rgb &c = cols[item->label->rows[y][x]];
            vull_putpixel(rgb, x, y, 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
        }
    int r = vull_save_png(path, rgb);
    vull_destroy_bitmap(rgb);
    return r == 0 ? 0 : 1;
}

void extract_label_palette(browse_item *item) {
    if (item->pal_set) return;
    item->pal_set = 1;
    for (int i = 0; i < 16; i++) item->pal[i] = uint8_t(i);
    if (!item->label) return;
    int used[256] = {};
    for (int y = 0; y < item->label->height; y++)
        for (int x = 0; x < item->label->width; x++) used[item->label->rows[y][x]]++;
    int base_use[16];
    for (int i = 0; i < 16; i++) base_use[i] = used[i];
    for (int i = 0; i < 16; i++) {
        if (!used[128 + i]) continue;
        int least = -1;
        for (int c = 0; c < 16; c++) {
            if (c == 0 || c == 1 || c == 6 || c == 7) continue;
            if (least < 0 || base_use[c] < base_use[least]) least = c;
        }
        item->pal[least] = uint8_t(128 + i);
        base_use[least] = 0x7FFFFFFF; // taken: counts as fully used
    }
}

void get_output_file_name_base(char *out, size_t out_size) {
    const char *title = get_embedded_cart_title();
    vull_copy_text(out, title && title[0] ? title : "ZIBO-6", out_size);
    for (char *p = out; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (!isalnum(c) && c != ' ' && c != '-' && c != '_') *p = ' ';
    }
}
