// Online board client. One download at a time runs wget (argument vector, no
// shell) on a detached worker thread; the main loop polls app.download_state,
// and ends the wget itself (by its pid) on a cancel, a time-out, a file grown
// past what the board may send, and at exit, deleting the partial file.
// Everything the board sends (listing fields, ids, .nfo values, picture sizes)
// is checked before it reaches a file name, a URL or a decoder.
#include "shell/board.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "console/display.h"
#include "shell/zibo6.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/stable.h"
#include "platform/system.h"

board_state board = {"http://127.0.0.1:8000", 0, "", 0, 0, 0, "", "", 0};

namespace {

constexpr const char *BOARD_VERSION = "000203";
constexpr int LISTING_MAX = 32;
constexpr int ITEM_W = 128, ITEM_H = 136, LINE_CHARS = 128;
constexpr int LISTING_W = 8 * ITEM_W, LISTING_H = 4 * ITEM_H; // 32 items
constexpr int64_t NFO_FILE_MAX = 65536; // a handful of short "key value" lines

// The worker's job: copied under the lock, so a cancel and a new start never
// race the running thread; a finished job whose generation is stale is ignored.
// job_pid is the running wget; the worker clears it before reaping the child,
// so a kill by that pid can only reach the job's own wget.
std::mutex job_lock;
int job_generation;
char job_url[1024], job_file[1024];
std::string job_part; // the file wget writes
int job_pid;
int job_timeout_s;

bool ends_with(const char *s, const char *suffix) {
    size_t a = strlen(s), b = strlen(suffix);
    return a >= b && strcmp(s + a - b, suffix) == 0;
}

// The largest file the board may send for a local name.
int64_t download_max(const char *file) {
    return ends_with(file, ".nfo") ? NFO_FILE_MAX : ZIBO6_CART_FILE_MAX;
}

bool is_listing(const char *file) { return ends_with(file, ".pip.png"); }
bool is_label(const char *file) { return strstr(file, "/labels/") != nullptr; }

// A board picture within the size of its kind (a listing, a label, else a
// cart), named by `kind`, the local file it is for; the header is read first,
// so a larger one is never decoded.
vull_bitmap *load_board_png(const char *path, const char *kind, int *too_large) {
    if (is_listing(kind)) return vull_load_png_within(path, LISTING_W, LISTING_H, too_large);
    if (is_label(kind))
        return vull_load_png_within(path, ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE, too_large);
    return vull_load_png_within(path, PNG_CART_WIDTH, PNG_CART_HEIGHT, too_large);
}

int64_t size_of(const char *path) {
    struct stat st {};
    return stat(path, &st) == 0 ? int64_t(st.st_size) : -1;
}

// 2 when the fetched file is usable, else 3 (wget leaves an empty file behind a
// failed fetch); png: it must decode as a picture of its kind's size, except a
// cart's larger picture, which the cart loader refuses by its header with the
// reason ("wrong size").
int fetched_file_state(const char *path, const char *kind) {
    int64_t size = size_of(path);
    if (size <= 0 || size > download_max(kind)) return 3;
    if (!ends_with(kind, ".png")) return 2;
    int too_large = 0;
    vull_bitmap *b = load_board_png(path, kind, &too_large);
    if (b) {
        vull_destroy_bitmap(b);
        return 2;
    }
    return too_large && !is_listing(kind) && !is_label(kind) ? 2 : 3;
}

// wget writes a name of its own job; only a usable file of the job still wanted
// replaces the local file, so a failed or cancelled fetch (which may end long
// after its time-out) never clobbers a cached cart or a newer fetch.
int download_worker(void *) {
    char url[sizeof job_url], file[sizeof job_file];
    std::string part;
    int gen, timeout_s;
    {
        std::lock_guard<std::mutex> g(job_lock);
        memcpy(url, job_url, sizeof url);
        memcpy(file, job_file, sizeof file);
        part = job_part;
        gen = job_generation;
        timeout_s = job_timeout_s;
    }
    int pid = vull_wget_start(url, part.c_str(), timeout_s, download_max(file) + 1);
    {
        std::lock_guard<std::mutex> g(job_lock);
        if (gen == job_generation)
            job_pid = pid;
        else
            vull_child_kill(pid); // cancelled while it started
    }
    vull_child_wait_ended(pid);
    {
        std::lock_guard<std::mutex> g(job_lock);
        if (job_pid == pid) job_pid = 0;
    }
    int r = pid > 0 ? vull_child_reap(pid) : 1;
    int state = r == 0 ? fetched_file_state(part.c_str(), file) : 3;
    std::lock_guard<std::mutex> g(job_lock);
    bool wanted = gen == job_generation && app.download_state == 1;
    if (wanted && state == 2 && rename(part.c_str(), file) != 0) state = 3;
    remove(part.c_str()); // gone already when it was renamed
    if (wanted) app.download_state = state;
    return 0;
}

int timeout_ms() {
    int s = board.timeout > 0 ? board.timeout : cconfig.timeout;
    return (s > 0 ? s : 30) * 1000;
}

// Percent-encodes what may stand in a query value.
void url_escape(const char *s, char *out, size_t out_size) {
    static const char hex[] = "0123456789ABCDEF";
    size_t o = 0;
    for (; *s && o + 4 < out_size; s++) {
        unsigned char c = (unsigned char)*s;
        if (isalnum(c) || c == '-' || c == '_') {
            out[o++] = char(c);
        } else {
            out[o++] = '%';
            out[o++] = hex[c >> 4];
            out[o++] = hex[c & 15];
        }
    }
    out[o] = 0;
}

// One text line of a listing item from the page's R, G, B, A bytes: a
// character per pixel in its green byte. The item lies inside the page.
void read_line(const uint8_t *page, int page_w, int x0, int y, char *out) {
    const uint8_t *p = page + (size_t(y) * size_t(page_w) + size_t(x0)) * 4 + 1;
    int n = 0;
    for (; n < LINE_CHARS - 1 && p[size_t(n) * 4]; n++) out[n] = char(p[size_t(n) * 4]);
    out[n] = 0;
}

// What a board cart that did not load is reported as.
const char *png_cart_failure() {
    switch (zibo6_png_cart_status) {
    case PNG_CART_FUTURE: return "future version. please update!";
    case PNG_CART_CORRUPTED: return "cartridge data is corrupted";
    case PNG_CART_WRONG_SIZE: return "wrong size for a zibo-6 cart";
    default: return "could not load";
    }
}

} // namespace

bool board_set_host(const char *host) {
    if (!host) return false;
    // a bare "host[:port]" means plain http
    std::string url = strstr(host, "://") ? host : std::string("http://") + host;
    const char *p = nullptr;
    if (url.compare(0, 7, "http://") == 0)
        p = url.c_str() + 7;
    else if (url.compare(0, 8, "https://") == 0)
        p = url.c_str() + 8;
    if (!p || url.size() >= sizeof board.host) return false;
    // host characters only: the host is pasted into every request URL
    size_t name = strspn(p, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-");
    if (name == 0) return false;
    p += name;
    if (*p == ':') {
        size_t digits = strspn(p + 1, "0123456789");
        if (digits == 0 || digits > 5 || p[1 + digits] || atol(p + 1) < 1 || atol(p + 1) > 65535)
            return false;
    } else if (*p) {
        return false;
    }
    vull_copy_text(board.host, url.c_str(), sizeof board.host);
    return true;
}

int check_bbs_file_ok(const char *path) { return fetched_file_state(path, path); }

int download_file(const char *url, const char *local, int timeout) {
    if (app.download_state == 1) return app.download_state;
    if (!url || !local || !local[0] || strlen(url) >= sizeof job_url ||
        strlen(local) >= sizeof job_file)
        return 3;
    {
        std::lock_guard<std::mutex> g(job_lock);
        vull_copy_text(app.download_url, url, sizeof app.download_url);
        vull_copy_text(app.download_file, local, sizeof app.download_file);
        memcpy(job_url, app.download_url, sizeof job_url);
        memcpy(job_file, app.download_file, sizeof job_file);
        job_generation++;
        job_part = std::string(job_file) + ".part" + std::to_string(job_generation);
        app.download_start = vull_get_time();
        board.timeout = timeout;
        job_timeout_s = timeout_ms() / 1000;
        app.download_state = 1;
    }
    vull_destroy_thread(app.download_thread);
    app.download_thread = vull_create_thread(download_worker);
    if (!app.download_thread) app.download_state = 3;
    return app.download_state;
}

// Ends the running wget and deletes its partial file (which the worker also
// deletes once it reaped the child: whichever comes first).
void stop_job() {
    vull_child_kill(job_pid);
    if (!job_part.empty()) remove(job_part.c_str());
}

void cancel_download(const char *message) {
    {
        std::lock_guard<std::mutex> g(job_lock);
        job_generation++; // the worker's late result is ignored
        app.download_state = 0;
        stop_job();
    }
    vull_destroy_thread(app.download_thread);
    app.download_thread = nullptr;
    if (message && message[0]) show_message(message, 1500);
    pstate.load_transition_frames = 0;
}

void get_bbs_cart_url(const char *host, const char *lid, char *out, size_t out_size) {
    out[0] = 0;
    if (!lid || strlen(lid) < 2 || !browse_lid_is_safe(lid)) return;
    if ((size_t)snprintf(out, out_size, "%s/bbs/get_cart.php?cat=7&play_src=%d&lid=%s", host,
                         app.play_src ? app.play_src : 2, lid) >= out_size)
        out[0] = 0;
}

int download_bbs_cart(const char *lid) {
    char url[1024], file[1024];
    get_bbs_cart_url(board.host, lid, url, sizeof url);
    get_bbs_cart_filename(lid, file, sizeof file);
    if (!url[0] || !file[0]) {
        cancel_download("download failed");
        return 3;
    }
    if (app.download_state != 0) return app.download_state;
    return download_file(url, file, 0);
}

int download_nfo(const char *lid) {
    if (!browse_lid_is_safe(lid) || app.download_state != 0) return 3;
    char url[1024], file[1024];
    get_bbs_temp_nfo_filename(lid, file, sizeof file);
    if (!file[0]) return 3;
    vull_copy_text(board.lid, lid, sizeof board.lid); // names the final .nfo
    snprintf(url, sizeof url, "%s/bbs/cpost_lister3.php?nfo=1&version=%s%c&lid=%s", board.host,
             BOARD_VERSION, get_platform_char(), lid);
    return download_file(url, file, 0);
}

int download_list(int list_index, int start_index) {
    if (list_index < 0 || list_index >= BROWSE_LISTS || app.download_state != 0) return 3;
    browse_list *list = &browse.list[list_index];
    char file[1024], query[1024], url[2048];
    get_bbs_listing_filename(list->name, 1, start_index > 0, file, sizeof file);
    get_bbs_listing_filename(list->name, 0, 0, board.final_listing, sizeof board.final_listing);
    if (!file[0] || !board.final_listing[0]) return 3;
    // the request is ours except a search text, which is escaped value by value
    vull_copy_text(query, list->request, sizeof query);
    const char *search = strstr(list->request, "search=");
    if (search) {
        char value[512], escaped[1024];
        vull_copy_text(value, search + 7, sizeof value);
        value[strcspn(value, "&")] = 0;
        url_escape(value, escaped, sizeof escaped);
        std::string q(list->request, size_t(search - list->request));
        q += "search=";
        q += escaped;
        q += search + 7 + strcspn(search + 7, "&");
        if (q.size() >= sizeof query) return 3;
        vull_copy_text(query, q.c_str(), sizeof query);
    }
    if ((size_t)snprintf(url, sizeof url,
                         "%s/bbs/cpost_lister3.php?max=32&start_index=%d&%s&version=%s%c&cfil=%d",
                         board.host, start_index, query, BOARD_VERSION, get_platform_char(),
                         app.browse_filter) >= sizeof url)
        return 3;
    board.listing_append = start_index > 0;
    board.listing_list = list_index;
    return download_file(url, file, 0);
}

int load_listing_image(browse_list *list, const char *path, int append) {
    // The page's bytes as decoded: only its text rows and labels are read.
    int page_w = 0, page_h = 0;
    uint8_t *page = vull_load_png_rgba_within(path, LISTING_W, LISTING_H, &page_w, &page_h);
    if (!page) return 1;
    if (page_w < ITEM_W || page_h < ITEM_H) {
        std::free(page);
        return 1;
    }
    if (append) { // the "[load more]" item is replaced by the next page
        if (list->count > 0 && list->items[list->count - 1].kind == BROWSE_LOAD_MORE) list->count--;
    } else {
        clear_browse_list(list);
        browse_item *head = add_browse_item(list, 0);
        if (head) {
            bool search = list == &browse.list[LIST_SEARCH];
            head->kind = search ? BROWSE_SEARCH : BROWSE_UPDATE;
            vull_copy_text(head->title, search ? "[search]" : "[update]", sizeof head->title);
        }
    }
    int per_row = page_w / ITEM_W, rows = page_h / ITEM_H, read = 0;
    for (int k = 0; k < LISTING_MAX && k < per_row * rows; k++) {
        int x0 = (k % 8) * ITEM_W, y0 = (k / 8) * ITEM_H;
        if (x0 + ITEM_W > page_w || y0 + ITEM_H > page_h) break;
        char line[LINE_CHARS];
        read_line(page, page_w, x0, y0 + 128, line);
        char *end = nullptr;
        long nlid = strtol(line, &end, 10);
        long nmid = strtol(end, &end, 10);
        int32_t catsub = vull_saturate_int32(strtoll(end, &end, 10));
        if (nlid == 0) break;
        read++;
        browse_item it{};
        it.kind = BROWSE_CART;
        it.catsub = catsub;
        read_line(page, page_w, x0, y0 + 129, it.title);
        read_line(page, page_w, x0, y0 + 130, it.author);
        read_line(page, page_w, x0, y0 + 131, it.lid);
        read_line(page, page_w, x0, y0 + 132, it.mid);
        if (!it.lid[0]) snprintf(it.lid, sizeof it.lid, "%ld", nlid);
        if (!it.mid[0]) snprintf(it.mid, sizeof it.mid, "%ld", nmid);
        sanitise_title_string(it.title);
        sanitise_author_string(it.author);
        trim_trailing_space(it.lid);
        trim_trailing_space(it.mid);
        if (!browse_lid_is_safe(it.lid) || !browse_lid_is_safe(it.mid)) continue;
        it.icon = get_icon_for_item(&it);
        it.label = vull_create_bitmap(128, 128, 8);
        vull_bitmap *rgb = vull_create_bitmap(128, 128, 32);
        if (it.label && rgb) {
            // the item lies inside the page (checked above): its rows are copied whole
            for (int y = 0; y < 128; y++)
                vull_rgba_to_pixels(rgb->rows[y],
                                    page + (size_t(y0 + y) * size_t(page_w) + size_t(x0)) * 4,
                                    128);
            zibo6_convert_bitmap(rgb, it.label, cart_display_colours());
        }
        vull_destroy_bitmap(rgb);
        browse_item *dst = add_browse_item(list, 0);
        if (dst)
            *dst = it;
        else
            vull_destroy_bitmap(it.label);
    }
    if (read == LISTING_MAX) {
        browse_item *more = add_browse_item(list, 0);
        if (more) {
            more->kind = BROWSE_LOAD_MORE;
            vull_copy_text(more->title, "[load more]", sizeof more->title);
        }
    }
    std::free(page);
    update_list_favourites(list);
    return 0;
}

void browse_load_cached_listing(browse_list *list) {
    char path[1024];
    get_bbs_listing_filename(list->name, 0, 0, path, sizeof path);
    if (path[0] && vull_file_exists(path)) load_listing_image(list, path, 0);
}

int set_item_from_nfo(browse_item *item, const char *path) {
    // an information file is a few short lines: a larger one is never read
    if (size_of(path) > NFO_FILE_MAX) return 1;
    vull_stable *t = vull_load_stable_config(path);
    if (!t) return 1;
    browse_item it{};
    bool ids_fit = true;
    auto get = [&](const char *key, char *dst) {
        const char *v = vull_sts(t, key, 0);
        if (!v) v = "";
        // an id cut to its field would name another cart: refused instead
        if ((dst == it.lid || dst == it.mid) && strlen(v) >= BROWSE_TEXT_LEN) ids_fit = false;
        vull_copy_text(dst, v, BROWSE_TEXT_LEN);
    };
    char catsub[BROWSE_TEXT_LEN];
    get("lid", it.lid);
    get("mid", it.mid);
    get("catsub", catsub);
    get("title", it.title);
    get("author", it.author);
    vull_destroy_stable(t);
    it.catsub = browse_read_int(catsub);
    it.kind = BROWSE_CART;
    sanitise_browse_item(&it);
    if (!ids_fit || !browse_lid_is_safe(it.lid) || (it.mid[0] && !browse_lid_is_safe(it.mid)))
        return 1;
    it.icon = get_icon_for_item(&it);
    it.label = item->label;
    *item = it;
    return 0;
}

int set_running_item_from_nfo(const char *path) {
    return set_item_from_nfo(&browse.running_item, path);
}

int check_cart_update_nfo() {
    char path[1024];
    get_bbs_nfo_filename(pstate.running_cart_lid, path, sizeof path);
    browse_item it{};
    if (!path[0] || set_item_from_nfo(&it, path) != 0) return 0;
    if (strlen(it.lid) < 2 || pstate.sub_mode == 0 || run_chain_count() != 0) return 0;
    char file[1024];
    get_bbs_cart_filename(it.lid, file, sizeof file);
    if (file[0] && strcmp(file, pstate.current_filename) != 0) app.update_available = 1;
    return app.update_available;
}

void dl_on_load() {
    std::lock_guard<std::mutex> g(job_lock);
    if (app.download_state == 1) app.download_state = check_bbs_file_ok(app.download_file);
}

void dl_on_error() {
    std::lock_guard<std::mutex> g(job_lock);
    if (app.download_state == 1) app.download_state = 3;
}

// While a fetch runs: a partial file past what the board may send ends it as
// failed (state 3). False when it still runs.
bool download_overgrown() {
    std::lock_guard<std::mutex> g(job_lock);
    if (app.download_state != 1 || size_of(job_part.c_str()) <= download_max(job_file))
        return false;
    job_generation++;
    app.download_state = 3;
    stop_job();
    return true;
}

void update_browse_download() {
    if (app.download_state <= 0) return;
    if (app.download_state == 1 && !download_overgrown()) {
        if (vull_ms_between(app.download_start, vull_get_time()) > timeout_ms())
            cancel_download("timeout");
        return;
    }
    char file[1024];
    vull_copy_text(file, app.download_file, sizeof file);
    int state = app.download_state;
    cancel_download(nullptr);
    if (state == 3) {
        show_message("could not connect to bbs.", 1500);
        return;
    }
    if (ends_with(file, ".pip.png")) {
        browse_list *list = &browse.list[board.listing_list];
        if (load_listing_image(list, file, board.listing_append) != 0)
            show_message("could not connect to bbs", 1500);
        else if (!board.listing_append)
            vull_copy_file(file, board.final_listing, download_max(file));
    } else if (ends_with(file, ".nfo")) {
        char final_nfo[1024];
        get_bbs_nfo_filename(board.lid, final_nfo, sizeof final_nfo);
        if (final_nfo[0]) vull_copy_file(file, final_nfo, NFO_FILE_MAX);
        check_cart_update_nfo();
    } else {
        board.cart_download = 0;
        zibo6_cart *cart = load_zibo6_cart_png(file);
        if (!cart) {
            show_message(png_cart_failure(), 1500);
            return;
        }
        prepare_loaded_cart(cart, file);
        pstate.pending_action = 1; // run it
    }
}

int board_load_by_id(const char *lid) {
    board.load_result = 0;
    if (!browse_lid_is_safe(lid)) {
        zibo_print("could not find cart");
        board.load_result = -1;
        return 1;
    }
    vull_copy_text(board.lid, lid, sizeof board.lid);
    return download_nfo(lid) == 1 ? 0 : 1;
}

void update_load_download() {
    if (app.download_state <= 0) return;
    if (app.download_state == 1 && !download_overgrown()) {
        if (vull_ms_between(app.download_start, vull_get_time()) > timeout_ms()) {
            cancel_download(nullptr);
            zibo_print("download timed out");
            board.load_result = -3;
        }
        return;
    }
    char file[1024];
    vull_copy_text(file, app.download_file, sizeof file);
    int state = app.download_state;
    cancel_download(nullptr);
    if (ends_with(file, ".nfo")) {
        if (state == 3) {
            zibo_print("could not connect to bbs");
            board.load_result = -3;
            return;
        }
        char final_nfo[1024];
        get_bbs_nfo_filename(board.lid, final_nfo, sizeof final_nfo);
        if (final_nfo[0]) vull_copy_file(file, final_nfo, NFO_FILE_MAX);
        browse_item it{};
        if (set_item_from_nfo(&it, file) != 0 || strlen(it.lid) < 2) {
            zibo_print("could not find cart");
            board.load_result = -1;
            return;
        }
        vull_copy_text(board.title, it.title, sizeof board.title);
        vull_copy_text(board.lid, it.lid, sizeof board.lid);
        board.cart_download = 1;
        if (download_bbs_cart(it.lid) != 1) {
            zibo_print("could not fetch cart");
            show_message("could not fetch cart", 1900);
            board.load_result = -2;
            return;
        }
        board.load_result = 5;
        return;
    }
    board.cart_download = 0;
    if (state == 3) {
        show_message("could not connect to bbs", 1900);
        board.load_result = -3;
        return;
    }
    zibo6_cart *cart = load_zibo6_cart_png(file);
    if (!cart) {
        // the prompt's load reports only a newer cart apart from other failures
        show_message(zibo6_png_cart_status == PNG_CART_FUTURE ? "future version. please update!"
                                                              : "could not load",
                     1900);
        board.load_result = -4;
        return;
    }
    prepare_loaded_cart(cart, file);
    vull_copy_text(pstate.running_cart_lid, board.lid, sizeof pstate.running_cart_lid);
    board.load_result = 6;
    zibo_print("downloading.. ok");
    zibo_print_col(board.title, 14);
    char line[256];
    snprintf(line, sizeof line, "loaded #%s (%d chars)", board.lid,
             pitem.cart && pitem.cart->code ? int(strlen(pitem.cart->code)) : 0);
    zibo_print(line);
}

void board_exit() {
    std::lock_guard<std::mutex> g(job_lock);
    job_generation++;
    if (app.download_state == 1) app.download_state = 0;
    stop_job();
}

void browse_toggle_favourite_0(const char *lid, const char *text) {
    browse_list *fav = &browse.list[LIST_FAV];
    int i = find_item_index(fav, lid, text);
    if (i >= 0) {
        vull_destroy_bitmap(fav->items[i].label);
        memmove(&fav->items[i], &fav->items[i + 1],
                sizeof(browse_item) * size_t(fav->count - i - 1));
        fav->count--;
        return;
    }
    browse_item *it = add_browse_item(fav, 0);
    if (!it) return;
    it->kind = BROWSE_CART;
    vull_copy_text(it->lid, lid ? lid : "", sizeof it->lid);
    vull_copy_text(it->text, text ? text : "", sizeof it->text);
}

void browse_toggle_favourite_ingame(const char *lid, const char *text) {
    browse_list *fav = &browse.list[LIST_FAV];
    int before = fav->count;
    browse_toggle_favourite_0(lid, text);
    if (fav->count > before) {
        browse_item *it = &fav->items[fav->count - 1];
        *it = browse.running_item;
        it->label = nullptr;
        it->kind = BROWSE_CART;
        if (!it->lid[0]) vull_copy_text(it->lid, lid ? lid : "", sizeof it->lid);
        if (!it->text[0]) vull_copy_text(it->text, text ? text : "", sizeof it->text);
        sanitise_browse_item(it);
    }
    save_browse_favourites();
}

void browse_toggle_favourite() {
    browse_list *list = &browse.list[browse.current_list];
    browse_item *cur = get_browse_item(list, list->cursor);
    if (cur->kind != BROWSE_CART) return;
    browse_item copy = *cur;
    browse_list *fav = &browse.list[LIST_FAV];
    int before = fav->count;
    browse_toggle_favourite_0(copy.lid, copy.text);
    if (fav->count > before) { // the whole item, with a label of its own
        browse_item *it = &fav->items[fav->count - 1];
        *it = copy;
        it->label = browse_copy_label(copy.label);
    }
    save_browse_favourites();
    for (browse_list &l : browse.list) update_list_favourites(&l);
}

int browse_update_cartridge_to_newer_version() {
    if (app.download_state != 0) return 1; // another fetch holds the slot
    char path[1024];
    get_bbs_nfo_filename(pstate.running_cart_lid, path, sizeof path);
    if (!path[0] || set_running_item_from_nfo(path) != 0) return 1;
    board.cart_download = 1;
    vull_copy_text(board.title, browse.running_item.title, sizeof board.title);
    return download_bbs_cart(browse.running_item.lid) == 1 ? 0 : 1;
}
