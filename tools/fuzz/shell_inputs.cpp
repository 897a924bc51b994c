// The player shell's readers of untrusted input, each driven by one byte
// string: console config.txt lines together with the command line (the
// settings must end in their ranges), and data.pod with its entries opened as
// the player opens them; favourites.txt, the board's listing images and its
// cart information files (no unsafe id may come out of them); the cart
// browser's labels, from a PNG cart, any other cart and the board's cache;
// a finished board download through its first check and the routing of the
// reply, a file dropped on the window, and the names found in a carts folder.
#include "tools/fuzz/hostile_inputs.h"
#include "tools/fuzz/fuzz_png.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <signal.h>
#include <string>
#include <thread>
#include <vector>

#include "cart/state.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/pod.h"
#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "console/serial.h"
#include "shell/board.h"
#include "shell/boot.h"
#include "shell/browse.h"
#include "shell/zibo6.h"

namespace {

void check(bool ok, const char *what) {
    if (ok) return;
    fprintf(stderr, "shell fuzz: %s\n", what);
    abort();
}

int run_console_config(const uint8_t *data, size_t size) {
    app = app_state{};
    set_default_app_config();
    std::string text(reinterpret_cast<const char *>(data), size), line;
    std::vector<std::string> words = {"zibo6"};
    for (char c : text) {
        if (c == '\n' || c == '\0') {
            zibo6_load_config(line.c_str());
            line.clear();
        } else {
            line += c;
        }
    }
    zibo6_load_config(line.c_str());
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    // files named by -i and -o are never opened by the fuzzer
    for (std::string &w : words)
        if (w == "-i" || w == "-o") w = "-volume";
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    process_arguments(int(argv.size()), argv.data());
    check(app.volume >= 0 && app.volume <= 256, "volume out of range");
    check(app.gif_len >= 0 && app.gif_len <= 120, "gif_len out of range");
    check(app.tab_width >= 1 && app.tab_width <= 8, "tab_width out of range");
    check(app.joystick_index >= 0 && app.joystick_index <= 7, "joystick_index out of range");
    for (int32_t k : app.button_keys) check(k >= 0 && k <= 511, "button key out of range");
    check(extra_args.count >= 0 && extra_args.count <= Z6_EXTRA_ARGS, "extra argument count");
    return 0;
}

const std::string &scratch_home();

// The input as data.pod: opened as the player opens it, entry by entry; then
// booted as the player boots it (the head cart loaded and every cart-sized
// entry mounted, sizes read from the entries' headers unread), each mounted
// cart made, and every entry asked for. An entry's length read unread is its
// length read.
int run_data_file(const uint8_t *data, size_t size) {
    if (size > (1u << 24)) return 0;
    scratch_home(); // the head cart's sandbox file is looked for there
    vull_file *f = vull_fopen_memory(const_cast<uint8_t *>(data), int(size));
    bool opened = open_data_file(vull_open_pod_file(f));
    check(!opened || (pstate.bios_cart && pstate.resource_pod && pstate.font_pod),
          "opened without its entries");
    if (opened) {
        cpod *pod = pstate.data_pod;
        std::vector<int64_t> unread(size_t(std::max(pod->capacity, 0)));
        for (int slot = 0; slot < pod->capacity; slot++)
            unread[size_t(slot)] = vull_pod_file_length(pod, slot);
        // the boot's working cart and mode are undone below, for the next input
        std::string working = pstate.current_filename;
        const int mode = pstate.machine_mode;
        boot_embedded_cart();
        check(embedded_cart_count() <= pod->capacity, "more carts mounted than entries");
        for (int slot = 0; slot < pod->capacity; slot++)
            if (unread[size_t(slot)] == DATA_CART_IMAGE)
                vull_destroy_zibo6_cart(data_file_cart(slot));
        clear_embedded_carts();
        vull_destroy_zibo6_cart(pitem.cart);
        pitem.cart = nullptr;
        pstate.pending_action = 0;
        pstate.machine_mode = mode;
        snprintf(pstate.current_filename, sizeof pstate.current_filename, "%s", working.c_str());
        vull_read_lazy_items(pstate.resource_pod);
        for (int slot = 0; slot < pod->capacity; slot++) {
            vull_file *entry = pod_file_entry(pod, slot);
            check(!entry || (entry->length >= 0 && (entry->data || entry->length == 0)),
                  "an entry without its bytes");
            check(!entry || unread[size_t(slot)] < 0 || unread[size_t(slot)] == entry->length,
                  "an entry's length read unread is not its length");
        }
    }
    close_data_file();
    return 0;
}

// The input as a file of the given suffix in the scratch folder.
std::string input_file(const uint8_t *data, size_t size, const char *suffix) {
    std::string path = std::string(hostile_scratch()) + "/input" + suffix;
    FILE *f = fopen(path.c_str(), "wb");
    check(f != nullptr, "scratch file opens");
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    return path;
}

void check_item(const browse_item &it) {
    for (const char *f : {it.title, it.author, it.text, it.lid, it.mid})
        check(memchr(f, 0, BROWSE_TEXT_LEN) != nullptr, "item field terminated");
}

int run_favourites(const uint8_t *data, size_t size) {
    std::string path = input_file(data, size, ".txt");
    browse_list list{};
    populate_browse_list_from_text_file(&list, path.c_str());
    for (int i = 0; i < list.count; i++) {
        check_item(list.items[i]);
        check(strlen(list.items[i].author) <= 16, "author cut to 16");
    }
    clear_browse_list(&list);
    free(list.items);
    remove(path.c_str());
    return 0;
}

FUZZ_HARNESS_UNTRACED void check_label(const vull_bitmap *label) {
    if (!label) return;
    check(label->width == 128 && label->height == 128 && label->bpp == 8, "label size");
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            check((label->rows[y][x] & 0x70) == 0, "label pixel outside the 32 colours");
    browse_item item{};
    item.label = const_cast<vull_bitmap *>(label);
    extract_label_palette(&item);
    for (uint8_t c : item.pal) check((c & 0x70) == 0, "label palette outside the 32 colours");
}

// The input as a file of the given suffix in the scratch folder.
std::string input_file(const std::vector<uint8_t> &bytes, const char *suffix) {
    return input_file(bytes.data(), bytes.size(), suffix);
}

// The input past its mode byte as a PNG file, its chunk checksums mended.
std::vector<uint8_t> png_file(const uint8_t *data, size_t size) {
    std::vector<uint8_t> file(data + std::min<size_t>(size, 1), data + size);
    fuzz_png_mend_crcs(file);
    return file;
}

// RGBA pixels of a width x height picture.
struct picture {
    int width, height;
    std::vector<uint8_t> rgba;
    picture(int w, int h) : width(w), height(h), rgba(size_t(w) * size_t(h) * 4, 0) {}
    uint8_t *at(int x, int y) { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
    std::vector<uint8_t> png() const {
        return fuzz_png_encode(rgba, unsigned(width), unsigned(height));
    }
};

constexpr int ITEM_W = 128, ITEM_H = 136; // a listing item: its label, then its text rows
constexpr int LISTING_W = 8 * ITEM_W, LISTING_H = 4 * ITEM_H;

// A listing page drawn from the input: a geometry byte (columns, rows, and
// sizes off the item grid), then text lines, five to an item (numbers, title,
// author, lid, mid), one character a pixel in the green channel of the item's
// text rows. The labels get a pattern of their own. Items past the first row
// are read only from a page of eight columns: narrower pages get two rows at
// most, as drawing and decoding more would only slow the fuzzer. A page
// drawn before with the same geometry (`drawn`) redraws only the rows of its
// last text and of this one, and `redrawn` marks the rows drawn this time.
struct drawn_page {
    int geometry = -1;
    picture page{0, 0};
    std::vector<uint8_t> file; // the page's PNG file
    fuzz_png_rows rows;        // and the checksums of its rows
    std::vector<uint8_t> text; // 1 for each row holding the last input's text
    uint64_t used = 0;
};

// The pages of the last few geometries: inputs of different geometries come
// in turns, and each would otherwise draw and encode its whole page again.
FUZZ_HARNESS_UNTRACED drawn_page &page_of_geometry(int geometry) {
    static drawn_page pages[8];
    static uint64_t clock = 0;
    drawn_page *pick = &pages[0];
    for (drawn_page &p : pages) {
        if (p.geometry == geometry) {
            pick = &p;
            break;
        }
        if (p.used < pick->used) pick = &p; // else the one unused longest
    }
    pick->used = ++clock;
    return *pick;
}

FUZZ_HARNESS_UNTRACED const picture &listing_picture(const uint8_t *data, size_t size,
                                                     drawn_page &drawn,
                                                     std::vector<uint8_t> &redrawn) {
    const int g = size ? data[0] : 0, cols = 1 + (g & 7);
    const int rows = 1 + (g >> 3 & (cols == 8 ? 3 : 1));
    const bool same = g == drawn.geometry;
    picture &page = drawn.page;
    if (!same) {
        page = picture(cols * ITEM_W + (g & 0x20 ? 64 : 0),
                       rows * ITEM_H + (g & 0x40 ? 100 : 0) - (g & 0x80 ? 1 : 0));
        drawn.geometry = g;
    }
    const size_t height = size_t(std::max(page.height, 0));
    if (!same) drawn.text.assign(height, 0);
    // the rows drawn anew: all of a new page, else those the last text was in
    redrawn.resize(height);
    for (size_t y = 0; y < height; y++) redrawn[y] = !same || drawn.text[y];
    uint8_t *p = page.rgba.data();
    for (int y = 0; y < page.height; y++) {
        const bool text_row = y % ITEM_H >= 128;
        if (same && !drawn.text[size_t(y)]) { // the labels and empty text rows are drawn already
            p += size_t(page.width) * 4;
            continue;
        }
        drawn.text[size_t(y)] = 0;
        for (int x = 0; x < page.width; x++, p += 4) {
            // A label's colours come in runs: blocks of 8 pixels share one.
            if (text_row)
                p[1] = 0; // the last input's text, cleared
            else
                p[0] = uint8_t(x >> 3 << 4), p[1] = uint8_t(y >> 3 << 4),
                p[2] = uint8_t((x ^ y) >> 3 << 4);
            p[3] = 255;
        }
    }
    int line = 0, x = 0;
    for (size_t i = 1; i < size; i++) {
        if (data[i] == '\n') {
            line++, x = 0;
            continue;
        }
        const int item = line / 5, x0 = item % 8 * ITEM_W, y = item / 8 * ITEM_H + 128 + line % 5;
        if (y >= page.height) break;
        if (x < ITEM_W && x0 + x < page.width) {
            page.rgba[(size_t(y) * size_t(page.width) + size_t(x0 + x)) * 4 + 1] = data[i];
            drawn.text[size_t(y)] = redrawn[size_t(y)] = 1;
        }
        x++;
    }
    return page;
}

// The drawn page as a file of the engine's virtual disk, where the reader
// looks when the real disk has no file of that name. The memory file keeps its
// block from one input to the next, so a page of two megabytes costs a copy,
// not a fresh file's pages written and read back (and a fresh read buffer,
// which under the sanitizers is mapped and faulted in anew for every input).
// The reading of real files is fuzzed by the inputs that are PNG files.
FUZZ_HARNESS_UNTRACED std::string page_in_memory(const std::vector<uint8_t> &file) {
    static const std::string path = std::string(hostile_scratch()) + "/in_memory/page.pip.png";
    vull_file *f = vull_fopen_vdisk(path.c_str(), "w");
    check(f != nullptr, "virtual disk file made");
    if (!file.empty())
        check(vull_fwrite(file.data(), 1, int(file.size()), f) == int(file.size()),
              "virtual disk file written");
    f->position = 0;
    return path;
}

// Input modes from the first byte: the rest as a PNG file (its chunk
// checksums mended), or a drawn page.
int run_listing(const uint8_t *data, size_t size) {
    const bool drawn = size && (data[0] & 1) != FUZZ_PNG_AS_FILE;
    static const picture none(0, 0);
    static std::vector<uint8_t> redrawn;
    drawn_page *kept = drawn ? &page_of_geometry(size > 1 ? data[1] : 0) : nullptr;
    const picture &page = drawn ? listing_picture(data + 1, size - 1, *kept, redrawn) : none;
    // The drawn page's file is kept with its rows' checksums: only the rows
    // drawn again are encoded again.
    if (drawn)
        fuzz_png_encode_into(page.rgba, unsigned(page.width), unsigned(page.height), kept->file,
                             &kept->rows, &redrawn);
    const std::vector<uint8_t> file = drawn ? std::vector<uint8_t>() : png_file(data, size);
    const std::string path = drawn ? page_in_memory(kept->file) : input_file(file, ".pip.png");
    browse_list list{};
    for (int append = 0; append < 2; append++) {
        int status = load_listing_image(&list, path.c_str(), append);
        if (drawn)
            check((status == 0) == (page.width <= LISTING_W && page.height <= LISTING_H &&
                                    page.height >= ITEM_H),
                  "a page within the listing's size is read");
        // the browser asks for the next page only after a full one
        if (drawn && !(list.count > 0 && list.items[list.count - 1].kind == BROWSE_LOAD_MORE))
            break;
    }
    check(list.count <= 2 * 32 + 2, "at most a page per load");
    for (int i = 0; i < list.count; i++) {
        check_item(list.items[i]);
        if (list.items[i].kind == BROWSE_CART) {
            check(browse_lid_is_safe(list.items[i].lid) && browse_lid_is_safe(list.items[i].mid),
                  "listing ids are safe");
            check_label(list.items[i].label);
        }
    }
    clear_browse_list(&list);
    free(list.items);
    if (!drawn) remove(path.c_str());
    return 0;
}

int run_nfo(const uint8_t *data, size_t size) {
    std::string path = input_file(data, size, ".nfo");
    browse_item it{};
    if (set_item_from_nfo(&it, path.c_str()) == 0) {
        check_item(it);
        check(browse_lid_is_safe(it.lid), "nfo lid is safe");
        char url[1024];
        get_bbs_cart_url("http://127.0.0.1", it.lid, url, sizeof url);
        check(strlen(it.lid) < 2 || strstr(url, it.lid) != nullptr, "url carries the lid");
    }
    remove(path.c_str());
    return 0;
}

// The file as the board's cached label of a cart, read as the browser reads
// it; a label saved back to the cache reads back the same.
vull_bitmap *read_board_label(const uint8_t *data, size_t size) {
    char cached[1024];
    get_bbs_label_filename("fuzz", cached, sizeof cached);
    check(cached[0] != 0, "board label path");
    FILE *f = fopen(cached, "wb");
    check(f != nullptr, "board label written");
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    browse_item item{};
    snprintf(item.lid, sizeof item.lid, "fuzz");
    item.label = create_label_from_cart_lid("fuzz");
    check_label(item.label);
    remove(cached);
    if (item.label) {
        check(save_bbs_cart_label(&item) == 0, "board label saved");
        vull_bitmap *back = create_label_from_cart_lid("fuzz");
        check(back != nullptr, "saved board label reads back");
        for (int y = 0; y < 128; y++)
            check(memcmp(back->rows[y], item.label->rows[y], 128) == 0,
                  "saved board label keeps its pixels");
        vull_destroy_bitmap(back);
        remove(cached);
    }
    return item.label;
}

// Input modes from the first byte: the rest read as a text cart, and as a
// PNG cart and a board label (chunk checksums mended); or a drawn label (a
// byte choosing the board label's size, then RGBA bytes repeated over the
// label) put into a PNG cart's picture and a board label, which then read as
// the same label.
int run_label(const uint8_t *data, size_t size) {
    static const std::string home = [] {
        std::string h = std::string(hostile_scratch()) + "/home/";
        snprintf(cconfig.home, sizeof cconfig.home, "%s", h.c_str());
        return h;
    }();
    if (!size || (data[0] & 1) == FUZZ_PNG_AS_FILE) {
        const std::vector<uint8_t> text(data + std::min<size_t>(size, 1), data + size),
            png = png_file(data, size);
        for (const char *suffix : {".png", ".z6"}) {
            std::string path = input_file(suffix[1] == 'p' ? png : text, suffix);
            vull_bitmap *label = create_label_from_any_cart(path.c_str());
            check_label(label);
            vull_destroy_bitmap(label);
            remove(path.c_str());
        }
        vull_destroy_bitmap(read_board_label(png.data(), png.size()));
        return 0;
    }
    static const int board_sizes[4][2] = {{128, 128}, {127, 128}, {129, 128}, {64, 64}};
    const int *board_size = board_sizes[size > 1 ? data[1] & 3 : 0];
    const uint8_t *bytes = data + std::min<size_t>(size, 2);
    const size_t n = size - std::min<size_t>(size, 2);
    picture label(128, 128), cart(PNG_CART_WIDTH, PNG_CART_HEIGHT);
    picture board(board_size[0], board_size[1]);
    for (size_t i = 0; n && i < label.rgba.size(); i++) label.rgba[i] = bytes[i % n];
    for (int y = 0; y < 128; y++)
        memcpy(cart.at(PNG_CART_LABEL_X, PNG_CART_LABEL_Y + y), label.at(0, y), 128 * 4);
    for (int y = 0; y < board.height; y++)
        for (int x = 0; x < board.width; x++) memcpy(board.at(x, y), label.at(x % 128, y % 128), 4);

    std::string path = input_file(cart.png(), ".png");
    vull_bitmap *from_cart = create_label_from_any_cart(path.c_str());
    remove(path.c_str());
    check(from_cart != nullptr, "a PNG cart's picture has a label");
    check_label(from_cart);
    std::vector<uint8_t> file = board.png();
    vull_bitmap *from_board = read_board_label(file.data(), file.size());
    check((from_board != nullptr) == (board.width == 128 && board.height == 128),
          "a board label of the label's size is read");
    if (from_board)
        for (int y = 0; y < 128; y++)
            check(memcmp(from_board->rows[y], from_cart->rows[y], 128) == 0,
                  "a cart's picture and the board read the same label");
    vull_destroy_bitmap(from_board);
    vull_destroy_bitmap(from_cart);
    return 0;
}


// The stand-in wget's files, in the scratch folder.
std::string board_reply_file(const char *name) {
    return std::string(hostile_scratch()) + "/board_" + name;
}

// The scratch home every entry that writes the player's per-user files uses,
// with the board's cache folders.
const std::string &scratch_home() {
    static const std::string home = [] {
        std::string h = std::string(hostile_scratch()) + "/home/";
        snprintf(cconfig.home, sizeof cconfig.home, "%s", h.c_str());
        std::error_code ec;
        std::filesystem::create_directories(h + "bbs/carts", ec);
        std::filesystem::create_directories(h + "bbs/labels", ec);
        // The only program a fetch finds is the stand-in for wget, which sends
        // what the entry prepared and nothing when it prepared nothing.
        const std::string programs = std::string(hostile_scratch()) + "/programs";
        std::filesystem::create_directories(programs, ec);
#ifdef ZIBO6_BOARD_FETCH_STUB
        std::filesystem::create_symlink(ZIBO6_BOARD_FETCH_STUB, programs + "/wget", ec);
#endif
        setenv("PATH", programs.c_str(), 1);
        setenv("ZIBO6_BOARD_REPLY", board_reply_file("reply").c_str(), 1);
        setenv("ZIBO6_BOARD_HOLD", board_reply_file("hold").c_str(), 1);
        setenv("ZIBO6_BOARD_SENT", board_reply_file("sent").c_str(), 1);
        return h;
    }();
    return home;
}

// Polls until done() holds or a few seconds have passed; whether it held.
template <class F> bool within_deadline(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

std::string file_text(const std::string &path) {
    std::string text;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        char chunk[256];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
        fclose(f);
    }
    return text;
}

// Whether a partial file of a fetch into `file` is left beside it.
bool part_file_left(const std::string &file) {
    namespace fs = std::filesystem;
    const fs::path local(file);
    const std::string prefix = local.filename().string() + ".part";
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(local.parent_path(), ec))
        if (e.path().filename().string().compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// The stand-in wget's reply: the body, then zeros up to `length` (a board that
// sends more than the body), cut a little past the largest file a fetch takes.
void write_board_reply(const std::vector<uint8_t> &body, size_t length) {
    const std::string path = board_reply_file("reply");
    FILE *f = fopen(path.c_str(), "wb");
    check(f != nullptr, "board reply written");
    if (!body.empty()) fwrite(body.data(), 1, body.size(), f);
    fclose(f);
    length = std::min(length, size_t(ZIBO6_CART_FILE_MAX) + 2);
    if (length > body.size()) std::filesystem::resize_file(path, length);
}

// A board download: byte 0 picks what was fetched (bits 0-1: a listing page,
// its "load more" page, a cart's information file or a cart) and who asked
// (bit 2: the browser, else the prompt's load by id); the rest is the file the
// board sent (PNG chunk checksums mended). The first check decides usable or
// failed; the routing then reads it as its kind.
// With bit 3 the file comes through a fetch on the worker thread instead, the
// stand-in wget sending bytes 1-3 (a big-endian length: the body, then zeros
// up to it) and the body after them, over the copy of the file kept from
// before; with bit 4 as well the board keeps the connection open once it has
// sent them. A fetch that fails, or is ended for passing what the board may
// send or by a cancel, leaves the kept file as it was and no partial file.
int run_board_download(const uint8_t *data, size_t size) {
    if (size > size_t(ZIBO6_CART_FILE_MAX) + 2) return 0;
    scratch_home();
    const int what = size ? data[0] & 3 : 0;
    const bool browser = size && (data[0] & 4);
    const bool fetched = size && (data[0] & 8);
    const bool held = fetched && (data[0] & 16);
    const size_t head = fetched ? std::min<size_t>(size - 1, 3) : 0; // length bytes after byte 0
    char file[1024];
    board.listing_list = LIST_NEW;
    board.listing_append = what == 1;
    get_bbs_listing_filename("fuzz", 0, 0, board.final_listing, sizeof board.final_listing);
    if (what <= 1)
        get_bbs_listing_filename("fuzz", 1, what, file, sizeof file);
    else if (what == 2)
        get_bbs_temp_nfo_filename("1234", file, sizeof file);
    else
        get_bbs_cart_filename("1234", file, sizeof file);
    check(file[0] != 0, "download file name");
    snprintf(board.lid, sizeof board.lid, "1234");
    snprintf(board.host, sizeof board.host, "http://127.0.0.1:9");
    const std::vector<uint8_t> body =
        what == 2 ? std::vector<uint8_t>(data + std::min<size_t>(size, 1 + head), data + size)
                  : png_file(data + head, size - head);
    static const std::string kept = "kept from an earlier fetch";
    FILE *f = fopen(file, "wb");
    check(f != nullptr, "download file written");
    if (fetched)
        fwrite(kept.data(), 1, kept.size(), f);
    else if (!body.empty())
        fwrite(body.data(), 1, body.size(), f);
    fclose(f);

    int state;
    int stub = 0; // the held fetch's stand-in wget
    size_t sent = 0;
    if (fetched) {
        const size_t length = head == 3 ? size_t(data[1]) << 16 | size_t(data[2]) << 8 | data[3] : 0;
        write_board_reply(body, length);
        sent = std::max(body.size(), std::min(length, size_t(ZIBO6_CART_FILE_MAX) + 2));
        const std::string hold = board_reply_file("hold"), done = board_reply_file("sent");
        remove(done.c_str());
        if (held) {
            FILE *h = fopen(hold.c_str(), "wb");
            check(h != nullptr, "hold file written");
            fclose(h);
        } else {
            remove(hold.c_str());
        }
        check(download_file("http://127.0.0.1:9/fuzz", file, 0) == 1, "a fetch starts");
        if (held) {
            check(within_deadline([&] { return std::filesystem::exists(done); }),
                  "the stand-in wget sends the reply");
            stub = atoi(file_text(done).c_str());
            check(stub > 0, "the stand-in wget names itself");
            state = 1;
        } else {
            check(within_deadline([] { return app.download_state != 1; }),
                  "a fetch that ends is seen to end");
            state = app.download_state;
        }
    } else {
        snprintf(app.download_file, sizeof app.download_file, "%s", file);
        app.download_state = 1;
        dl_on_load();
        state = app.download_state;
    }
    check(state == 1 || state == 2 || state == 3, "a finished download is usable or failed");
    check(state != 2 || (fetched ? sent : body.size()) > 0, "an empty download is never usable");
    board.load_result = 0;
    if (browser)
        update_browse_download();
    else
        update_load_download();
    if (held) {
        const int64_t most = what == 2 ? 65536 : ZIBO6_CART_FILE_MAX;
        if (int64_t(sent) > most) {
            check(app.download_state == 0, "a fetch past what the board may send is ended");
            check(browser ? strcmp(app.message_text, "could not connect to bbs.") == 0
                          : board.load_result == -3,
                  "a fetch past what the board may send is reported as failed");
        } else {
            check(app.download_state == 1, "a fetch within what the board may send goes on");
            cancel_download(nullptr);
        }
        check(within_deadline([&] { return kill(stub, 0) != 0; }), "the ended fetch's wget ends");
    }
    check(app.download_state != 1 || app.download_thread != nullptr, "a fetch runs on its thread");
    // A cart fetch the information file asked for: its worker finds no reply to
    // send and reports the failure; it is waited for, so that nothing of it is
    // still running (and allocating) when the next input starts.
    check(within_deadline([] { return app.download_state != 1; }),
          "a fetch with nothing to send ends");
    cancel_download(nullptr);
    check(app.download_state == 0, "the download slot is free again");
    check(board.load_result >= -4 && board.load_result <= 6, "load result");
    if (!browser && state == 3) check(board.load_result < 0, "a failed download reported as one");
    if (fetched) {
        check(!part_file_left(file), "a fetch leaves no partial file");
        if (held || state == 3)
            check(file_text(file) == kept, "a failed or ended fetch leaves the kept file");
        remove(board_reply_file("reply").c_str());
    }
    browse_list *list = &browse.list[LIST_NEW];
    for (int i = 0; i < list->count; i++) {
        check_item(list->items[i]);
        if (list->items[i].kind == BROWSE_CART)
            check(browse_lid_is_safe(list->items[i].lid), "listing ids are safe");
    }
    clear_browse_list(list);
    pstate.pending_action = 0;
    remove(file);
    remove(board.final_listing);
    return 0;
}

// A file dropped on the window: byte 0 picks its name (and so how it is
// read), the rest is the file (PNG chunk checksums mended for a picture). A
// cart is refused, a picture of at most 128x128 goes to the picture channel,
// other files up to their bound to the file channel, and nothing else.
int run_dropped_file(const uint8_t *data, size_t size) {
    static const char *const NAMES[] = {"dropped.png", "dropped.z6", "dropped.z6.png",
                                        "dropped.txt", "dropped.z6m.png", "dropped.lua",
                                        "dropped.bin", "dropped"};
    if (size > size_t(DROPPED_FILE_MAX) + 2) return 0;
    if (!pitem.cart) pitem.cart = vull_create_zibo6_cart();
    check(pitem.cart != nullptr, "working cart");
    const std::string name = NAMES[size ? data[0] % 8 : 0];
    const bool png = name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
    const std::vector<uint8_t> body =
        png ? png_file(data, size) : std::vector<uint8_t>(data + std::min<size_t>(size, 1), data + size);
    const std::string path = input_file(body, ("_" + name).c_str());
    reset_serial_file_buffers();
    snprintf(vull_state.dropped_file, sizeof vull_state.dropped_file, "%s", path.c_str());
    handle_dropped_file();
    check(vull_state.dropped_file[0] == 0, "a dropped file is handled once");
    const int bytes = get_serial_file_remaining(), pixels = get_serial_image_file_remaining();
    check(bytes >= 0 && bytes <= DROPPED_FILE_MAX, "dropped file within its bound");
    check(pixels >= 0 && pixels <= 128 * 128 + 8, "dropped picture within 128x128");
    check(!(bytes && pixels), "a dropped file goes to one channel");
    check(!png || bytes == 0, "a picture is never handed over as bytes");
    check(png || pixels == 0, "only a picture is handed over as one");
    reset_serial_file_buffers();
    remove(path.c_str());
    return 0;
}

// The names found in a carts folder: one name a line, a line ending in '/'
// names a folder ('/' elsewhere and NUL become '_'); byte 0's low bit lists a
// subfolder (with its ".." entry) instead of the root. The browser lists
// folders first, then the files with ".z6" in their name, each group sorted,
// every field ended within its record.
int run_folder_listing(const uint8_t *data, size_t size) {
    namespace fs = std::filesystem;
    if (size > 16384) return 0;
    const std::string root = std::string(hostile_scratch()) + "/carts/";
    const bool sub = size && (data[0] & 1);
    const std::string folder = sub ? "sub/" : "";
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root + folder, ec);
    snprintf(pstate.root_path, sizeof pstate.root_path, "%s", root.c_str());
    int folders = 0, carts = 0;
    std::string line;
    auto make = [&] {
        bool dir = !line.empty() && line.back() == '/';
        if (dir) line.pop_back();
        if (line.empty() || line.size() > 200 || line == "." || line == "..") return;
        for (char &c : line)
            if (c == '/' || c == '\0') c = '_';
        const fs::path p = fs::path(root + folder) / line;
        if (fs::exists(fs::symlink_status(p, ec))) return;
        if (dir) {
            if (!fs::create_directory(p, ec)) return;
        } else if (FILE *f = fopen(p.c_str(), "wb")) {
            fclose(f);
        } else {
            return;
        }
        if (line[0] == '.') return;
        if (dir)
            folders++;
        else if (line.find(".z6") != std::string::npos)
            carts++;
    };
    for (size_t i = 1; i < size && folders + carts < 64; i++) {
        if (data[i] == '\n') {
            make();
            line.clear();
        } else {
            line += char(data[i]);
        }
    }
    make();
    browse_list list{};
    populate_browse_list_from_directory(&list, folder.c_str());
    check(list.count == (sub ? 1 : 0) + folders + carts, "every folder and cart listed once");
    for (int i = 0; i < list.count; i++) {
        const browse_item &it = list.items[i];
        check_item(it);
        check(it.kind == BROWSE_FOLDER || it.kind == BROWSE_CART, "item kind");
        if (i > 0 && !(sub && i == 1))
            check(compare_alphabetical(&list.items[i - 1], &it) <= 0, "folders first, sorted");
        if (it.kind == BROWSE_CART)
            check(strncmp(it.text, folder.c_str(), folder.size()) == 0, "a cart's path is its folder's");
    }
    clear_browse_list(&list);
    free(list.items);
    fs::remove_all(root, ec);
    return 0;
}

} // namespace

void hostile_attach() { zibo6_attach_shell(); }

const hostile_entry hostile_entries[] = {
    {"label", run_label}, {"favourites", run_favourites},         {"listing", run_listing},
    {"nfo", run_nfo},     {"console_config", run_console_config}, {"data_file", run_data_file},
    {"board_download", run_board_download}, {"dropped_file", run_dropped_file},
    {"folder_listing", run_folder_listing},
    {nullptr, nullptr},
};
