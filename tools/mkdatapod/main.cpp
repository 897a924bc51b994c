// mkdatapod: builds data.pod, the player's data file, from the text sources
// under assets/. Every picture, glyph and colour of the file is drawn in those
// sources; this tool only turns them into POD items with the engine's writer.
//
// Entries of data.pod (file items, in this order):
//   0 bios.z6       the bios text cart (its sfx 0 is the boot sound)
//   1 resource.pod  palette (1), logo (2), title text (4), window icon (6, 128x128),
//                   the pictures of pictures.txt at their own slots, among them
//                   the PNG cart template (145); every other slot up to the
//                   last picture is a reserved empty item
//   2 font.pod      256 glyph bitmaps, 5 rows; codes 0-127 3 wide, 128-255 7 wide
//   3 head.z6       the head cart as a 32 KB cart image
//   4, 5            the first two further carts named on the command line, as 32 KB images
//                   (the player mounts every whole image from entry 3 on)
//   6 games.pod     the games to install (-games): item 0 empty, then one PNG cart each
//   7 runtimes.pod  the exporter's runtime files by platform: item 2 the Linux
//                   program named with -linux, every other item empty (the
//                   exporter writes those as "empty"); without -linux one empty item
//   8 demos.pod     the demos to install (-demos): one text cart each, in the installer's order
//   9..             further carts past the first two, as 32 KB images
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/export.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "platform/system.h"
#include "shell/zibo6.h"

namespace {

constexpr int GLYPHS = 256;
constexpr int GLYPH_HEIGHT = 5;
constexpr int GLYPH_INK = 7; // pixel value of a glyph's ink (any non-zero value is ink)
constexpr int LOGO_W = 40, LOGO_H = 10;
constexpr int ICON_W = 16, ICON_H = 16;
constexpr int ICON_SCALE = 8; // the window icon is 128x128: each drawn pixel a block
constexpr int CART_W = 160, CART_H = 205;   // PNG cart template
constexpr int CART_TEMPLATE_SLOT = 145;     // its resource pod slot

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "mkdatapod: %s\n", what.c_str());
    std::exit(1);
}

std::string read_text(const std::string &path) {
    FILE *f = vull_open_read(path.c_str(), VULL_READ_MAX);
    if (!f) fail("cannot open " + path + " (not a regular file of at most 64 MiB)");
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    return text;
}

// Lines of a source file without comment lines ("//") and blank lines.
std::vector<std::string> source_lines(const std::string &path) {
    std::vector<std::string> lines;
    std::string text = read_text(path), line;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i < text.size() && text[i] != '\n') {
            if (text[i] != '\r') line += text[i];
            continue;
        }
        if (!line.empty() && line.compare(0, 2, "//") != 0) lines.push_back(line);
        line.clear();
    }
    return lines;
}

cbuffer *file_item(const char *name, const void *data, int length) {
    cbuffer *buf = vull_create_buffer(length);
    if (!buf || (length > 0 && !cbuffer_add_data(buf, data, length))) fail("out of memory");
    std::snprintf(buf->name, sizeof buf->name, "%s", name);
    buf->position = 0;
    return buf;
}

void add(cpod *pod, int type, void *item) {
    if (!item || cpod_add_item(pod, type, item) < 0) fail("out of memory");
}

// A pod serialised into a file item of the outer pod.
cbuffer *pod_item(const char *name, cpod *pod) {
    cbuffer *buf = vull_create_buffer(0);
    if (!buf || vull_save_pod_file(name, pod, buf) != 0) fail(std::string("cannot write ") + name);
    std::snprintf(buf->name, sizeof buf->name, "%s", name);
    buf->position = 0;
    return buf;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A grid of hex digits ('.' = 0) as palette indices, checked against its size.
std::vector<int> grid_cells(const std::string &path, const std::vector<std::string> &lines, int w,
                            int h) {
    if ((int)lines.size() != h) fail(path + ": expected " + std::to_string(h) + " rows");
    std::vector<int> cells;
    for (int y = 0; y < h; y++) {
        if ((int)lines[y].size() != w)
            fail(path + ": row " + std::to_string(y) + " is not " + std::to_string(w) + " wide");
        for (char c : lines[y]) {
            int v = c == '.' ? 0 : hex_digit(c);
            if (v < 0) fail(path + ": bad pixel '" + std::string(1, c) + "'");
            cells.push_back(v);
        }
    }
    return cells;
}

std::vector<int> read_grid(const std::string &path, int w, int h) {
    return grid_cells(path, source_lines(path), w, h);
}

vull_palette_rec *read_palette(const std::string &path) {
    vull_palette_rec *pal = vull_create_palette();
    if (!pal) fail("out of memory");
    std::memset(pal->entry, 0, sizeof pal->entry);
    for (const std::string &line : source_lines(path)) {
        int index;
        unsigned r, g, b;
        if (std::sscanf(line.c_str(), "%d %x %x %x", &index, &r, &g, &b) != 4 || index < 0 ||
            index > 255 || r > 255 || g > 255 || b > 255)
            fail(path + ": bad line: " + line);
        pal->entry[index] = {uint8_t(r), uint8_t(g), uint8_t(b)};
    }
    return pal;
}

vull_bitmap *cells_bitmap8(const std::vector<int> &cells, int w, int h) {
    vull_bitmap *bmp = vull_create_bitmap(w, h, 8);
    if (!bmp) fail("out of memory");
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) bmp->rows[y][x] = uint8_t(cells[y * w + x]);
    return bmp;
}

vull_bitmap *grid_bitmap8(const std::string &path, int w, int h) {
    return cells_bitmap8(read_grid(path, w, h), w, h);
}

// In 32-bit colour through the palette; index 0 is transparent.
vull_bitmap *cells_bitmap32(const std::vector<int> &cells, int w, int h,
                            const vull_palette_rec *pal) {
    vull_bitmap *bmp = vull_create_bitmap(w, h, 32);
    if (!bmp) fail("out of memory");
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int v = cells[y * w + x];
            uint32_t argb = v ? vull_palette_colour(pal, v) | 0xFF000000u : 0;
            std::memcpy(bmp->rows[y] + x * 4, &argb, 4);
        }
    return bmp;
}

// A grid drawn at scale times its size, each cell a scale x scale block.
vull_bitmap *grid_bitmap32(const std::string &path, int w, int h, int scale,
                           const vull_palette_rec *pal) {
    std::vector<int> cells = read_grid(path, w, h), big;
    for (int y = 0; y < h * scale; y++)
        for (int x = 0; x < w * scale; x++) big.push_back(cells[(y / scale) * w + x / scale]);
    return cells_bitmap32(big, w * scale, h * scale, pal);
}

// Fills the resource pod up to slot n with reserved items.
void pad_resource_slots(cpod *pod, int n) {
    while (pod->count < n) add(pod, CPOD_FILE, file_item("reserved", nullptr, 0));
}

// pictures.txt: blocks of "picture N WxH" or "picture32 N WxH" and H rows,
// placed at slot N of the resource pod (empty slots before it are reserved).
void add_pictures(cpod *pod, const std::string &path, const vull_palette_rec *pal) {
    std::vector<std::string> lines = source_lines(path);
    for (size_t i = 0; i < lines.size();) {
        char kind[16];
        int n, w, h;
        if (std::sscanf(lines[i].c_str(), "%15s %d %dx%d", kind, &n, &w, &h) != 4 ||
            (std::strcmp(kind, "picture") != 0 && std::strcmp(kind, "picture32") != 0) ||
            n < pod->count || n > 255 || w < 1 || w > 256 || h < 1 || h > 256 ||
            lines.size() - i - 1 < size_t(h))
            fail(path + ": bad picture line: " + lines[i]);
        std::vector<std::string> rows(lines.begin() + long(i) + 1, lines.begin() + long(i) + 1 + h);
        std::vector<int> cells = grid_cells(path, rows, w, h);
        pad_resource_slots(pod, n);
        add(pod, CPOD_BITMAP,
            kind[7] ? cells_bitmap32(cells, w, h, pal) : cells_bitmap8(cells, w, h));
        i += 1 + size_t(h);
    }
}

cpod *build_resource_pod(const std::string &assets) {
    cpod *pod = vull_create_pod(8);
    if (!pod) fail("out of memory");
    vull_palette_rec *pal = read_palette(assets + "/palette.txt");
    std::string title = read_text(assets + "/title.txt");
    while (!title.empty() && (title.back() == '\n' || title.back() == '\r')) title.pop_back();
    add(pod, CPOD_FILE, file_item("reserved", nullptr, 0));
    add(pod, CPOD_PALETTE, pal);
    add(pod, CPOD_BITMAP, grid_bitmap8(assets + "/logo.txt", LOGO_W, LOGO_H));
    add(pod, CPOD_FILE, file_item("reserved", nullptr, 0));
    add(pod, CPOD_FILE, file_item("title", title.data(), int(title.size())));
    add(pod, CPOD_FILE, file_item("reserved", nullptr, 0));
    add(pod, CPOD_BITMAP, grid_bitmap32(assets + "/icon.txt", ICON_W, ICON_H, ICON_SCALE, pal));
    add_pictures(pod, assets + "/pictures.txt", pal);
    auto *cart = static_cast<vull_bitmap *>(cpod_get_item(pod, CART_TEMPLATE_SLOT, CPOD_BITMAP));
    if (!cart || cart->bpp != 32 || cart->width != CART_W || cart->height != CART_H)
        fail("pictures.txt: no 32-bit " + std::to_string(CART_W) + "x" + std::to_string(CART_H) +
             " PNG cart template in slot " + std::to_string(CART_TEMPLATE_SLOT));
    return pod;
}

// font.txt: "code row row row row row", '#' ink and '.' paper.
cpod *build_font_pod(const std::string &path) {
    std::vector<vull_bitmap *> glyph(GLYPHS, nullptr);
    for (const std::string &line : source_lines(path)) {
        char rows[GLYPH_HEIGHT][16];
        int code;
        if (std::sscanf(line.c_str(), "%d %15s %15s %15s %15s %15s", &code, rows[0], rows[1],
                        rows[2], rows[3], rows[4]) != 6 ||
            code < 0 || code >= GLYPHS)
            fail(path + ": bad line: " + line);
        if (glyph[code]) fail(path + ": glyph " + std::to_string(code) + " drawn twice");
        int w = code < 128 ? 3 : 7;
        vull_bitmap *bmp = vull_create_bitmap(w, GLYPH_HEIGHT, 8);
        if (!bmp) fail("out of memory");
        for (int y = 0; y < GLYPH_HEIGHT; y++) {
            if ((int)std::strlen(rows[y]) != w)
                fail(path + ": glyph " + std::to_string(code) + " is not " + std::to_string(w) +
                     " wide");
            for (int x = 0; x < w; x++) {
                char c = rows[y][x];
                if (c != '#' && c != '.')
                    fail(path + ": bad pixel in glyph " + std::to_string(code));
                bmp->rows[y][x] = c == '#' ? GLYPH_INK : 0;
            }
        }
        glyph[code] = bmp;
    }
    cpod *pod = vull_create_pod(GLYPHS);
    if (!pod) fail("out of memory");
    for (int c = 0; c < GLYPHS; c++) {
        if (!glyph[c]) fail(path + ": glyph " + std::to_string(c) + " is missing");
        add(pod, CPOD_BITMAP, glyph[c]);
    }
    return pod;
}

// A text cart as a 32 KB cart image: its data as the console's ROM view shows
// it, its code compressed.
cbuffer *image_item(const std::string &path) {
    zibo6_cart *cart = vull_load_zibo6_cart(path.c_str());
    if (!cart) fail(path + ": not a readable text cart");
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    int status = save_zibo6_cart_32k(cart, image.data());
    vull_destroy_zibo6_cart(cart);
    if (status != 0) fail(path + ": the code does not fit a cart image");
    std::string name = path.substr(path.find_last_of('/') + 1);
    return file_item(name.c_str(), image.data(), CART_IMAGE_SIZE);
}

// A text cart as a PNG cart, drawn with the data file's own template, font and palette.
cbuffer *png_cart_item(const std::string &path) {
    zibo6_cart *cart = vull_load_zibo6_cart(path.c_str());
    if (!cart) fail(path + ": not a readable text cart");
    std::string name = path.substr(path.find_last_of('/') + 1) + ".png";
    cbuffer *buf = vull_create_buffer(65536);
    if (!buf || save_zibo6_cart_png_to_file(cart, buf) != 0) fail(path + ": no PNG cart");
    vull_destroy_zibo6_cart(cart);
    std::snprintf(buf->name, sizeof buf->name, "%s", name.c_str());
    buf->position = 0;
    return buf;
}

// The carts named after a flag, up to the next flag.
std::vector<std::string> carts_after(int argc, char **argv, const char *flag) {
    std::vector<std::string> carts;
    for (int i = 3; i < argc; i++)
        if (std::strcmp(argv[i], flag) == 0)
            for (int k = i + 1; k < argc && argv[k][0] != '-'; k++) carts.push_back(argv[k]);
    return carts;
}

constexpr int GAMES_ENTRY = 6, RUNTIMES_ENTRY = 7, DEMOS_ENTRY = 8;
constexpr int RUNTIME_ITEMS = RUNTIME_RASPI_DYNAMIC + 1;

// Entry 7: the Linux program at its item, the platforms not built here empty.
cbuffer *runtimes_item(const std::string &linux_program) {
    if (linux_program.empty()) return file_item("runtimes", nullptr, 0);
    std::string program = read_text(linux_program);
    cpod *runtimes = vull_create_pod(RUNTIME_ITEMS);
    if (!runtimes) fail("out of memory");
    for (int i = 0; i < RUNTIME_ITEMS; i++)
        add(runtimes, CPOD_FILE,
            i == RUNTIME_LINUX ? file_item("linux", program.data(), int(program.size()))
                               : file_item("empty", nullptr, 0));
    cbuffer *item = pod_item("runtimes.pod", runtimes);
    vull_destroy_pod(runtimes);
    return item;
}

// The value of a flag that takes one ("" when not given).
std::string flag_value(int argc, char **argv, const char *flag) {
    for (int i = 3; i + 1 < argc; i++)
        if (std::strcmp(argv[i], flag) == 0) return argv[i + 1];
    return "";
}

} // namespace

int main(int argc, char **argv) {
    zibo6_attach_shell(); // the cart code reaches the console and the shell through hooks
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: mkdatapod ASSETS_DIR OUT.pod [CART.z6...] [-games CART.z6...]\n"
                     "                 [-demos CART.z6...] [-linux PROGRAM]\n"
                     "builds data.pod from the text sources in ASSETS_DIR; the carts named\n"
                     "after the output are embedded after the head cart, -games carts go to\n"
                     "entry 6 as PNG carts, -demos carts to entry 8 as text carts and the\n"
                     "-linux program to entry 7 as the exporter's Linux runtime.\n");
        return 2;
    }
    std::string assets = argv[1];
    std::vector<std::string> embedded;
    for (int i = 3; i < argc && argv[i][0] != '-'; i++) embedded.push_back(argv[i]);
    cpod *data = vull_create_pod(8);
    if (!data) fail("out of memory");
    std::string bios = read_text(assets + "/carts/bios.z6");
    add(data, CPOD_FILE, file_item("bios.z6", bios.data(), int(bios.size())));

    // Kept while the data file is built: the PNG carts are drawn with them.
    cpod *resources = build_resource_pod(assets);
    add(data, CPOD_FILE, pod_item("resource.pod", resources));
    cpod *font = build_font_pod(assets + "/font.txt");
    add(data, CPOD_FILE, pod_item("font.pod", font));
    pstate.resource_pod = resources;
    pstate.font_pod = font;
    if (auto *pal = static_cast<vull_palette_rec *>(cpod_get_item(resources, 1, CPOD_PALETTE))) {
        if (!vull_palette) vull_palette = vull_create_palette();
        if (vull_palette) *vull_palette = *pal;
    }

    add(data, CPOD_FILE, image_item(assets + "/carts/head.z6"));
    size_t next = 0;
    while (data->count < GAMES_ENTRY) {
        if (next < embedded.size())
            add(data, CPOD_FILE, image_item(embedded[next++]));
        else
            add(data, CPOD_FILE, file_item("reserved", nullptr, 0));
    }

    cpod *games = vull_create_pod(8), *demos = vull_create_pod(8);
    if (!games || !demos) fail("out of memory");
    add(games, CPOD_FILE, file_item("reserved", nullptr, 0)); // the installer's rows start at 1
    for (const std::string &g : carts_after(argc, argv, "-games")) add(games, CPOD_FILE, png_cart_item(g));
    for (const std::string &d : carts_after(argc, argv, "-demos")) {
        std::string text = read_text(d);
        add(demos, CPOD_FILE,
            file_item(d.substr(d.find_last_of('/') + 1).c_str(), text.data(), int(text.size())));
    }
    add(data, CPOD_FILE, pod_item("games.pod", games));
    add(data, CPOD_FILE, runtimes_item(flag_value(argc, argv, "-linux")));
    add(data, CPOD_FILE, pod_item("demos.pod", demos));
    vull_destroy_pod(games);
    vull_destroy_pod(demos);
    static_assert(RUNTIMES_ENTRY == GAMES_ENTRY + 1 && DEMOS_ENTRY == RUNTIMES_ENTRY + 1);
    while (next < embedded.size()) add(data, CPOD_FILE, image_item(embedded[next++]));

    pstate.resource_pod = nullptr;
    pstate.font_pod = nullptr;
    vull_destroy_pod(resources);
    vull_destroy_pod(font);
    // The one writer replaces the target only with a whole file.
    if (vull_save_pod(argv[2], data) != 0) fail(std::string("cannot write ") + argv[2]);
    vull_destroy_pod(data);
    return 0;
}
