// Cart data files. A file is replaced whole through the one writer, so a write
// cut short by a crash or a full disk leaves the previous data.
#include "cart/cdata.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cart/disk.h"
#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "platform/system.h"

// The per-user folder is refused at start unless the longest cart-data path fits under it.
static_assert(sizeof "cdata/" - 1 + CDATA_ID_MAX + sizeof ".z6d.txt" - 1 <= VULL_USER_NAME_MAX);

namespace {

char open_id[CDATA_ID_MAX + 1]; // "" while no store is open
// The store's file is there but was not read (past the size limit, not a regular file, not
// readable): the cart got zeros, so the file stays as it is until the cart stores a value.
bool file_unread = false;

std::string cdata_file(const char *id) {
    char folder[VULL_PATH_LEN];
    if (pstate.cdata_path[0])
        std::snprintf(folder, sizeof folder, "%s", pstate.cdata_path);
    else if (vull_prefix_with_appdata_path("cdata/", folder) != 0)
        return "";
    vull_mkdir(folder);
    std::string f = folder;
    if (!f.empty() && f.back() != '/') f += '/';
    return f + id + ".z6d.txt";
}

int hex_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool is_legal_cdata_cart_label_char(int c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

const char *cdata_id() { return open_id; }

namespace {

bool all_zero(const uint32_t (&words)[CDATA_WORDS]) {
    for (uint32_t w : words)
        if (w) return false;
    return true;
}

int write_cdata() {
    std::string path = cdata_file(open_id);
    bool ok = !path.empty();
    if (!ok) vull_debugf("could not write cart data %s: no cart data folder\n", open_id);
    if (ok && file_unread) {
        if (all_zero(pstate.cartdata_words)) return 0; // what the cart was given: nothing to write
        if (save_backup_of_unread_file(path.c_str()) != 0) {
            vull_debugf("could not back up the unread cart data %s; not replaced\n", path.c_str());
            ok = false;
        }
    }
    if (ok) {
        char text[CDATA_FILE_SIZE + 1];
        int at = 0;
        for (int k = 0; k < CDATA_WORDS; k++)
            at += std::snprintf(text + at, sizeof text - size_t(at),
                                (k % 8 == 7) ? "%08x\n" : "%08x",
                                unsigned(pstate.cartdata_words[k]));
        if (vull_save_file(path.c_str(), text, CDATA_FILE_SIZE) == 0) {
            file_unread = false;
            return 0;
        }
        vull_debugf("could not write cart data: %s\n", path.c_str());
    }
    // The words stay in memory; the next save tries again.
    cart_hooks.show_message("** could not save cart data **", 1500);
    if (pstate.headless) std::fprintf(stderr, "** could not save cart data **\n"); // never drawn
    return 1;
}

} // namespace

// Words written since the last save belong to the store being closed: they are written
// first, whichever way the cart is restarted or replaced.
void clear_cdata() {
    if (open_id[0] && pstate.cartdata_dirty) {
        pstate.cartdata_dirty = 0;
        write_cdata();
    }
    open_id[0] = 0;
    file_unread = false;
}

int load_cdata(const char *id, const char **error) {
    const char *ignored;
    if (!error) error = &ignored;
    *error = nullptr;
    if (!id) return 3;
    if (!pstate.cart_code_running) return 1;
    if (open_id[0]) {
        *error = "cartdata() can only be called once";
        return 2;
    }
    size_t n = strnlen(id, CDATA_ID_MAX + 1);
    if (n == 0 || n > size_t(CDATA_ID_MAX)) {
        *error = "cart data id too long";
        return 2;
    }
    for (size_t i = 0; i < n; i++)
        if (!is_legal_cdata_cart_label_char(id[i])) {
            *error = "cart data id: bad char";
            return 2;
        }
    std::memcpy(open_id, id, n + 1);
    std::memset(pstate.cartdata_words, 0, sizeof pstate.cartdata_words);
    pstate.cartdata_dirty = 0;
    file_unread = false;

    std::string path = cdata_file(open_id);
    FILE *f = path.empty() ? nullptr : vull_open_read(path.c_str(), CDATA_FILE_MAX);
    if (!f) {
        if (!path.empty() && vull_file_exists(path.c_str())) {
            file_unread = true;
            vull_debugf("cart data %s not read (over %lld bytes, or not a readable file); kept "
                        "until the cart stores a value\n",
                        path.c_str(), (long long)CDATA_FILE_MAX);
        }
        return 1;
    }
    char buf[1024];
    size_t got = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    // Every hex digit counts, whatever separates them: spaces, commas, line ends.
    int digits = 0;
    for (size_t i = 0; i < got && digits < CDATA_WORDS * 8; i++) {
        int v = hex_value(static_cast<unsigned char>(buf[i]));
        if (v < 0) continue;
        uint32_t &w = pstate.cartdata_words[digits / 8];
        w = (w << 4) | uint32_t(v);
        digits++;
    }
    return 0;
}

int save_cdata() {
    pstate.cartdata_dirty = 0;
    if (!pstate.cart_code_running || !open_id[0]) return 0;
    return write_cdata();
}

void do_export() {}
void do_import() {}
