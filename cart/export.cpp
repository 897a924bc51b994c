// The stand-alone exporter. The console's own data file carries the runtime
// programs of each platform (entry 7); an export copies them beside a new
// data file that holds the carts, draws the program icon from the cart, and
// packs each platform folder into a zip (cart/export_zip.cpp).
#include "cart/export.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "platform/video.h"

export_parameters export_params;

namespace {

constexpr int EXPORT_TITLE_MAX = 255;    // characters of the program name in the resources
constexpr int PROGRAM_MODE = 0775;       // runtime programs
constexpr int LARGE_FILE_MODE = 0755;    // framework files above LARGE_FILE bytes
constexpr int LARGE_FILE = 0x100000;     // (the framework's library itself)
constexpr int ICON_BLOCK_OFFSET = 14632; // the program's icon pixels lie this far before the marker
constexpr int ICON_BLOCK_SIZE = 128 * 512; // 128 rows of 128 BGRA pixels
constexpr uint8_t ICON_MARKER[16] = {0xE8, 0xF1, 0xFF, 0xFF, 0xE8, 0xF1, 0xFF, 0xFF,
                                     0x9C, 0x76, 0x83, 0xFF, 0x9C, 0x76, 0x83, 0xFF};
constexpr char EMPTY_ITEM[] = "empty"; // stands in for a runtime file the data file lacks

int option(const export_parameters *p, char letter) { return p->value[letter - 'a']; }

// A console line, then the screen refreshed so a long export shows progress.
void say(int colour, const char *text) {
    cart_hooks.zibo_print_col(text, colour);
    show_zibo6_screen();
}

__attribute__((format(printf, 2, 3))) void sayf(int colour, const char *format, ...) {
    char text[1200];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    say(colour, text);
}

bool icon_usable(const vull_bitmap *b) {
    return b && b->width == EXPORT_ICON_SIZE && b->height == EXPORT_ICON_SIZE && b->bpp == 32 &&
           b->rows;
}

uint32_t icon_pixel(const vull_bitmap *b, int x, int y) {
    return reinterpret_cast<const uint32_t *>(b->rows[y])[x];
}

bool write_bytes(const char *path, const void *data, size_t n) {
    return vull_save_file(path, data, int64_t(n)) == 0;
}

int unwritten_files; // "could not write" lines of the export under way: no "ok" after one

void report_unwritten(const std::string &path) {
    unwritten_files++;
    sayf(6, "could not write %s", vull_get_filename_without_path(path.c_str()));
}

// Decimal value of an option's token; 0 when it is none, saturated to 32 bits.
int32_t option_value(const std::string &token) {
    errno = 0;
    long long v = std::strtoll(token.c_str(), nullptr, 10);
    return vull_saturate_int32(v);
}

// Base name and extension of a path, cut to a data file item name.
std::string item_name(const char *path, bool drop_png) {
    std::string name = vull_get_filename_without_path(path);
    if (drop_png && name.size() >= 4 && name.compare(name.size() - 4, 4, ".png") == 0)
        name.resize(name.size() - 4);
    if (name.size() > size_t(EXPORT_ITEM_NAME_LEN - 1)) name.resize(EXPORT_ITEM_NAME_LEN - 1);
    return name;
}

cbuffer *new_item(const std::string &name) {
    cbuffer *b = vull_create_buffer(0);
    if (b) std::snprintf(b->name, sizeof b->name, "%s", name.c_str());
    return b;
}

// Rewinds and adds; false (the item freed) when the pod cannot take it.
bool add_item(cpod *pod, cbuffer *item) {
    if (!item) return false;
    item->position = 0;
    if (cpod_add_item(pod, CPOD_FILE, item) >= 0) return true;
    vull_fclose(item);
    return false;
}

// Names from framework pods become paths: no way out of the folder.
bool safe_relative_name(const std::string &name) {
    if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

std::string xml_escaped(const char *text) {
    std::string out;
    for (const char *c = text; *c; c++) {
        switch (*c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += *c;
        }
    }
    return out;
}

// The name the exported program shows, in resource text item 4.
void set_program_title(const char *name) {
    auto *f = static_cast<vull_file *>(
        pstate.resource_pod ? cpod_get_item(pstate.resource_pod, RES_EXPORT_TITLE, CPOD_FILE)
                            : nullptr);
    if (!f || f->kind != VULL_FILE_MEMORY || f->capacity == 0) return; // not ours to rewrite
    vull_clear_buffer(f);
    cbuffer_add_data(f, name, int(strnlen(name, EXPORT_TITLE_MAX)));
    f->position = 0;
}

// Runtime item k, or null (written as "empty").
vull_file *runtime_item(cpod *runtime, int k) {
    return runtime ? static_cast<vull_file *>(cpod_get_item(runtime, k, CPOD_FILE)) : nullptr;
}

// Writes a runtime program and makes it executable.
void save_program(const std::string &path, const vull_file *program) {
    if (save_binary_file(path.c_str(), program) == 0) ::chmod(path.c_str(), PROGRAM_MODE);
}

void save_data_file(const std::string &folder, cpod *dat) {
    std::string path = folder + "/data.pod";
    if (vull_save_pod(path.c_str(), dat) != 0) report_unwritten(path);
}

void save_icon_png(const std::string &path, const vull_bitmap *icon) {
    if (vull_save_png(path.c_str(), icon) != 0) report_unwritten(path);
}

} // namespace

void show_zibo6_screen() {
    if (cconfig.headless || pstate.headless || !vull_back_page) return;
    if (vull_app.draw) vull_app.draw();
    vull_blit_back_page();
    vull_handle_messages();
}

export_parameters *extract_parameters(const char *text) {
    export_parameters &p = export_params;
    std::memset(&p, 0, sizeof p);
    std::fill(std::begin(p.value), std::end(p.value), -1);
    std::vector<std::string> tokens;
    std::string token;
    for (const char *c = text ? text : "";; c++) {
        if (*c && *c != ' ' && *c != ',') {
            token += *c;
            continue;
        }
        if (!token.empty()) tokens.push_back(token);
        token.clear();
        if (!*c) break;
    }
    for (size_t i = 0; i < tokens.size(); i++) {
        const std::string &t = tokens[i];
        if (t[0] != '-') {
            if (p.name_count < EXPORT_NAMES_MAX) {
                if (t.size() >= size_t(EXPORT_NAME_LEN)) p.too_long = EXPORT_NAME_LEN - 1;
                std::snprintf(p.names[p.name_count++], EXPORT_NAME_LEN, "%s", t.c_str());
            }
            continue;
        }
        char letter = t.size() > 1 ? t[1] : 0;
        if (letter < 'a' || letter > 'z') {
            say(6, "bad argument");
            return nullptr;
        }
        if (letter == 'f' || letter == 'j' || letter == 'w') {
            p.value[letter - 'a'] = 1;
            continue;
        }
        // The next token is the value, whatever it looks like.
        std::string v = i + 1 < tokens.size() ? tokens[++i] : "";
        p.value[letter - 'a'] = option_value(v);
        if (letter == 'p') std::snprintf(p.p, sizeof p.p, "%s", v.c_str());
        if (letter == 'e') {
            if (v.size() >= sizeof p.e) p.too_long = EXPORT_OPTION_LEN - 1;
            std::snprintf(p.e, sizeof p.e, "%s", v.c_str());
        }
    }
    return &p;
}

int draw_export_icon(vull_bitmap *icon, const zibo6_cart *cart, const export_parameters *params) {
    if (!icon_usable(icon) || !cart || !params) return 1;
    const vull_rgb *colours = cart_display_colours();
    auto opaque = [&](int index) {
        const vull_rgb &c = colours[index & 255];
        return 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    };
    int first = option(params, 'i'), size = option(params, 's'), key = option(params, 'c');
    bool label_icon = first == -1 || (size != -1 && size < 1);
    vull_clear_bitmap(icon);
    if (label_icon) {
        const vull_bitmap *label = cart->label;
        if (!label || label->bpp != 8 || label->width != EXPORT_ICON_SIZE ||
            label->height != EXPORT_ICON_SIZE)
            return 1;
        for (int y = 0; y < EXPORT_ICON_SIZE; y++) {
            auto *row = reinterpret_cast<uint32_t *>(icon->rows[y]);
            for (int x = 0; x < EXPORT_ICON_SIZE; x++) {
                int p = label->rows[y][x];
                row[x] = p == key ? 0 : opaque(p);
            }
        }
        return 0;
    }
    int s = std::clamp(size == -1 ? 1 : size, 1, 16);
    if (key == -1) key = 0;
    int margin = s == 3 ? 4 : s == 4 ? 0 : s == 5 ? 4 : 8;
    int span = (64 - margin) * 2, side = s * 8;
    int x0 = (first % 16) * 8, y0 = (first / 16) * 8;
    vull_bitmap *src = vull_create_bitmap(side, side, 8);
    vull_bitmap *mask = vull_create_bitmap(side, side, 8);
    vull_bitmap *big = vull_create_bitmap(EXPORT_ICON_SIZE, EXPORT_ICON_SIZE, 8);
    vull_bitmap *big_mask = vull_create_bitmap(EXPORT_ICON_SIZE, EXPORT_ICON_SIZE, 8);
    const vull_bitmap *sheet = cart->sprites;
    int drawn = 1;
    if (src && mask && big && big_mask && sheet && sheet->bpp == 8) {
        for (int y = 0; y < side; y++)
            for (int x = 0; x < side; x++) {
                int sx = x0 + x, sy = y0 + y;
                bool inside = sx >= 0 && sy >= 0 && sx < sheet->width && sy < sheet->height;
                int p = inside ? sheet->rows[sy][sx] : key;
                src->rows[y][x] = uint8_t(p);
                mask->rows[y][x] = p != key;
            }
        vull_stretch_blit(src, big, margin, margin, span, span, 0);
        vull_stretch_blit(mask, big_mask, margin, margin, span, span, 0);
        for (int y = 0; y < EXPORT_ICON_SIZE; y++) {
            auto *row = reinterpret_cast<uint32_t *>(icon->rows[y]);
            for (int x = 0; x < EXPORT_ICON_SIZE; x++)
                row[x] = big_mask->rows[y][x] ? opaque(big->rows[y][x]) : 0;
        }
        drawn = 0;
    }
    vull_destroy_bitmap(src);
    vull_destroy_bitmap(mask);
    vull_destroy_bitmap(big);
    vull_destroy_bitmap(big_mask);
    return drawn;
}

void generate_shadow(vull_bitmap *bitmap) {
    if (!bitmap || bitmap->bpp != 32 || !bitmap->rows) return;
    const int w = bitmap->width, h = bitmap->height;
    std::vector<uint32_t> copy(size_t(w) * size_t(h));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) copy[size_t(y) * w + x] = icon_pixel(bitmap, x, y);
    for (int y = 0; y < h; y++) {
        auto *row = reinterpret_cast<uint32_t *>(bitmap->rows[y]);
        for (int x = 0; x < w; x++) {
            uint32_t old = copy[size_t(y) * w + x];
            if (old >> 24) continue;
            int total = 0, opaque = 0;
            for (int dy = -5; dy <= 5; dy++)
                for (int dx = -5; dx <= 5; dx++) {
                    int weight = 2048 / std::max(dx * dx + dy * dy, 1);
                    total += weight;
                    int nx = x - 2 + dx, ny = y - 2 + dy;
                    if (nx >= 0 && ny >= 0 && nx < w && ny < h && copy[size_t(ny) * w + nx] >> 24)
                        opaque += weight;
                }
            uint32_t alpha = uint32_t(opaque * 80 / total) & 0xFF;
            row[x] = (old & 0x100820) | alpha << 24;
        }
    }
}

int save_icns(const vull_bitmap *bitmap, const char *path) {
    if (!icon_usable(bitmap) || !path) return 1;
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    };
    auto tag = [&](const char *t) { out.insert(out.end(), t, t + 4); };
    constexpr uint32_t channels_len = 3 * 128 * 129, mask_len = 128 * 128;
    constexpr uint32_t it32_len = 8 + 4 + channels_len, t8mk_len = 8 + mask_len;
    static_assert(it32_len == 49548 && t8mk_len == 16392, "icns chunk lengths");
    tag("icns");
    put32(8 + it32_len + t8mk_len);
    tag("it32");
    put32(it32_len);
    put32(0);
    for (int shift = 16; shift >= 0; shift -= 8) // red, green, blue
        for (int y = 0; y < 128; y++) {
            out.push_back(0x7F); // a literal run of 128 bytes
            for (int x = 0; x < 128; x++) out.push_back(uint8_t(icon_pixel(bitmap, x, y) >> shift));
        }
    tag("t8mk");
    put32(t8mk_len);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) out.push_back(icon_pixel(bitmap, x, y) >> 24 ? 255 : 0);
    return write_bytes(path, out.data(), out.size()) ? 0 : 1;
}

int inject_windows_icon(const vull_bitmap *bitmap, vull_file *program) {
    const uint8_t *begin = program ? program->data : nullptr;
    int len = program && program->data ? program->length : 0;
    long at = -1;
    if (icon_usable(bitmap) && len >= 17) {
        // The match must leave at least one byte after it.
        const uint8_t *last = begin + len - 17;
        const uint8_t *hit =
            std::search(begin, last + 16, std::begin(ICON_MARKER), std::end(ICON_MARKER));
        if (hit <= last) at = hit - begin;
    }
    // The block lies before the marker: it must lie wholly inside the program.
    if (at < ICON_BLOCK_OFFSET || at - ICON_BLOCK_OFFSET + ICON_BLOCK_SIZE > len) {
        vull_debug("export: couldn't find icon in exe\n");
        return 1;
    }
    uint8_t *block = program->data + (at - ICON_BLOCK_OFFSET);
    for (int r = 0; r < 128; r++) { // bottom row first
        uint8_t *d = block + r * 512;
        for (int x = 0; x < 128; x++, d += 4) {
            uint32_t p = icon_pixel(bitmap, x, 127 - r);
            d[0] = uint8_t(p), d[1] = uint8_t(p >> 8), d[2] = uint8_t(p >> 16);
            d[3] = uint8_t(p >> 24);
        }
    }
    return 0;
}

int create_plist_file(const char *path, const char *name) {
    const std::string n = xml_escaped(name ? name : "");
    const std::pair<const char *, std::string> keys[] = {
        {"CFBundleExecutable", n},
        {"CFBundleGetInfoString", n},
        {"CFBundleIconFile", n + ".icns"},
        {"CFBundleIdentifier", "com.zibo6_author." + n},
        {"CFBundleInfoDictionaryVersion", "6.0"},
        {"CFBundleName", n},
        {"CFBundlePackageType", "APPL"},
        {"CFBundleShortVersionString", n},
        {"CFBundleSignature", "????"},
        {"CFBundleVersion", n},
        {"LSMinimumSystemVersion", "10.6"},
        {"NSHighResolutionCapable", "YES"},
        {"NSSupportsAutomaticGraphicsSwitching", "TRUE"},
    };
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                       "<plist version=\"1.0\">\n<dict>\n";
    for (const auto &[key, value] : keys)
        text += std::string("\t<key>") + key + "</key>\n\t<string>" + value + "</string>\n";
    text += "</dict>\n</plist>\n";
    return write_bytes(path, text.data(), text.size()) ? 0 : 1;
}

int save_osx_framework(const char *path, vull_file *buffer) {
    std::string base = path ? path : "";
    if (!base.empty() && base.back() != '/') base += '/';
    const char *const under[3] = {"", "Versions/A/", "Versions/Current/"};
    for (const char *folder : {"Versions", "Versions/A", "Versions/Current"})
        vull_mkdir((base + folder).c_str());
    if (!buffer || buffer->kind != VULL_FILE_MEMORY || !buffer->data) return 0;
    buffer->position = 0;
    cpod *pod = vull_load_pod_file("", buffer);
    if (!pod) return 1;
    int failed = 0;
    for (int pass = 0; pass < 3; pass++)
        for (int slot = 0; slot < pod->capacity; slot++) {
            auto *f = static_cast<vull_file *>(cpod_get_item(pod, slot, CPOD_FILE));
            if (!f) continue;
            std::string name(f->name, strnlen(f->name, sizeof f->name));
            if (name.size() <= 2) continue; // the two-character prefix and nothing more
            if (pass == 0 && name.find("_CodeSignature") != std::string::npos) continue;
            name.erase(0, 2);
            if (!safe_relative_name(name)) {
                vull_debugf("export: framework entry refused: %s\n", name.c_str());
                failed = 1;
                continue;
            }
            std::string out = base + under[pass] + name;
            if (f->length <= 0) {
                vull_mkdir(out.c_str());
                continue;
            }
            if (save_binary_file(out.c_str(), f) != 0)
                failed = 1;
            else if (f->length > LARGE_FILE)
                ::chmod(out.c_str(), LARGE_FILE_MODE);
        }
    vull_destroy_pod(pod);
    return failed;
}

void save_extras(const char *folder, const char *name) {
    if (!folder || !name || !*name) return;
    std::string source = std::string(pstate.root_path) + pstate.current_folder + name;
    cbuffer *data = vull_load_file(source.c_str(), EXPORT_FILE_MAX);
    if (!data) return; // an extra that cannot be loaded is skipped
    std::string target = std::string(folder) + "/" + vull_get_filename_without_path(name);
    save_binary_file(target.c_str(), data);
    vull_destroy_buffer(data);
}

int save_binary_file(const char *path, const vull_file *buffer) {
    bool have = buffer && buffer->kind == VULL_FILE_MEMORY && buffer->data && buffer->length > 0;
    bool ok = have ? write_bytes(path, buffer->data, size_t(buffer->length))
                   : write_bytes(path, EMPTY_ITEM, sizeof EMPTY_ITEM - 1);
    if (!ok) report_unwritten(path);
    return ok ? 0 : 1;
}

int save_cart_to_file_as_32k_flattened_block(zibo6_cart *cart, vull_file *buffer) {
    if (!buffer || vull_allocate_buffer_size(buffer, CART_IMAGE_SIZE) != 0) return -1;
    buffer->length = CART_IMAGE_SIZE;
    buffer->position = 0;
    return save_zibo6_cart_32k_flattened(cart, buffer->data);
}

cpod *generate_dat_file(export_parameters *params) {
    if (!params || !pstate.bios_cart || !pstate.resource_pod || !pstate.font_pod || !pitem.cart) {
        say(6, "data file not loaded");
        return nullptr;
    }
    cpod *dat = vull_create_pod(3 + params->name_count);
    if (!dat) return nullptr;
    // The data file's own entries go out compressed, whatever the setting.
    int saved_compression = cconfig.pod_compression;
    cconfig.pod_compression = 1;
    cbuffer *bios = new_item("bios.z6"), *resources = new_item("resource.pod"),
            *font = new_item("font.pod");
    bool ok = bios && vull_save_zibo6_cart_to_file(pstate.bios_cart, bios, 0) == 0 && resources &&
              vull_save_pod_file("", pstate.resource_pod, resources) == 0 && font &&
              vull_save_pod_file("", pstate.font_pod, font) == 0;
    cconfig.pod_compression = saved_compression;
    ok = add_item(dat, bios) && ok;
    ok = add_item(dat, resources) && ok;
    ok = add_item(dat, font) && ok;
    if (!ok) {
        say(6, "failed: could not build data file");
        vull_destroy_pod(dat);
        return nullptr;
    }
    for (int i = 0; i < params->name_count; i++) {
        zibo6_cart *cart = pitem.cart;
        std::string name = item_name(pstate.current_filename, true);
        if (i > 0) {
            std::string path =
                std::string(pstate.root_path) + pstate.current_folder + params->names[i];
            cart = load_prepared_cart(path.c_str()); // as the player would load it
            if (!cart) {
                sayf(6, "** %s not found", params->names[i]);
                vull_destroy_pod(dat);
                return nullptr;
            }
            if (!zibo6_loaded_code_block.whole) { // exported, its cut code would pass for whole
                sayf(6, "** %s: code block damaged", params->names[i]);
                vull_destroy_zibo6_cart(cart);
                vull_destroy_pod(dat);
                return nullptr;
            }
            name = item_name(params->names[i], false);
        }
        cbuffer *image = new_item(name);
        int status = image ? save_cart_to_file_as_32k_flattened_block(cart, image) : -1;
        if (i > 0) vull_destroy_zibo6_cart(cart);
        if (status == 1) {
            say(6, "failed: code block too large");
            if (i > 0) sayf(6, "  (cart #%d)\n", i);
        }
        if (status != 0 || !add_item(dat, image)) {
            if (status != 0) vull_fclose(image);
            vull_destroy_pod(dat);
            return nullptr;
        }
    }
    return dat;
}

int export_bin(const char *text) {
    export_parameters *params = extract_parameters(text);
    if (!params) return 1;
    zibo6_cart *cart = pitem.cart;
    int size = option(params, 's');
    bool label_icon = option(params, 'i') == -1 || (size != -1 && size < 1);
    if (params->name_count == 0) {
        say(6, "no output file");
        return 1;
    }
    if (label_icon && (!cart || !cart->label)) {
        say(6, "no icon found");
        say(6, "please capture a label or use -i");
        return 1;
    }
    if (params->name_count > EXPORT_CARTS_MAX) {
        say(6, "too many carts! max: 16");
        return 1;
    }
    if (params->too_long) { // cut, it would name another file or folder
        sayf(6, "name too long! max: %d characters", params->too_long);
        return 1;
    }
    if (params->name_count > 1) sayf(6, "exporting %d carts\n", params->name_count);

    // Icon (the resource pod's, so that the exported data file carries it).
    auto *icon = static_cast<vull_bitmap *>(
        pstate.resource_pod ? cpod_get_item(pstate.resource_pod, RES_EXPORT_ICON, CPOD_BITMAP)
                            : nullptr);
    if (!icon_usable(icon) || !cart) {
        say(6, "data file has no 128x128 icon");
        return 1;
    }
    draw_export_icon(icon, cart, params);
    generate_shadow(icon);

    // Output folder: paths are printed relative to the current folder.
    std::string where = std::string(pstate.root_path) + pstate.current_folder;
    char folder[VULL_PATH_LEN], base_name[VULL_PATH_LEN];
    vull_split_filename(params->names[0], folder, base_name, nullptr);
    const std::string base = base_name;
    if (base.empty()) {
        say(6, "no output file");
        return 1;
    }
    const std::string rel = std::string(folder) + base + ".bin", out = where + rel;
    unwritten_files = 0;
    vull_mkdir(out.c_str());
    say(12, rel.c_str());

    set_program_title(base.c_str());
    cpod *dat = generate_dat_file(params);
    if (!dat) return 1;

    cpod *runtime = nullptr;
    auto *runtime_file = static_cast<vull_file *>(
        pstate.data_pod ? cpod_get_item(pstate.data_pod, DATA_RUNTIME_ENTRY, CPOD_FILE) : nullptr);
    if (runtime_file && runtime_file->data) {
        runtime_file->position = 0;
        runtime = vull_load_pod_file("", runtime_file);
    }
    auto platform_folder = [&](const std::string &sub) {
        vull_mkdir((out + "/" + sub).c_str());
        say(14, (rel + "/" + sub).c_str());
    };

    // Windows: the program carries the icon in its own resources.
    platform_folder("windows");
    const std::string win = out + "/windows";
    save_extras(win.c_str(), params->e);
    save_data_file(win, dat);
    cbuffer *exe = nullptr;
    if (vull_file *f = runtime_item(runtime, RUNTIME_WINDOWS); f && f->data && f->length > 0) {
        exe = vull_create_buffer(f->length);
        if (exe && cbuffer_add_data(exe, f->data, f->length)) inject_windows_icon(icon, exe);
    }
    save_program(win + "/" + base + ".exe", exe);
    vull_destroy_buffer(exe);
    save_binary_file((win + "/SDL2.dll").c_str(), runtime_item(runtime, RUNTIME_WINDOWS_SDL));

    // Linux.
    platform_folder("linux");
    const std::string lin = out + "/linux";
    save_extras(lin.c_str(), params->e);
    save_data_file(lin, dat);
    save_program(lin + "/" + base, runtime_item(runtime, RUNTIME_LINUX));
    save_icon_png(lin + "/" + base + ".png", icon);

    // macOS: an application bundle.
    const std::string app = out + "/" + base + ".app";
    vull_mkdir(app.c_str());
    say(14, (rel + "/" + base + ".app").c_str());
    for (const char *sub :
         {"/Contents", "/Contents/MacOS", "/Contents/Resources", "/Contents/Frameworks",
          "/Contents/Frameworks/SDL2.framework", "/Contents/Frameworks/SDL2.framework/Versions",
          "/Contents/Frameworks/SDL2.framework/Versions/A"})
        vull_mkdir((app + sub).c_str());
    const std::string macos = app + "/Contents/MacOS";
    save_extras(macos.c_str(), params->e);
    save_data_file(macos, dat);
    save_program(macos + "/" + base, runtime_item(runtime, RUNTIME_MACOS));
    const std::string icns = app + "/Contents/Resources/" + base + ".icns";
    if (save_icns(icon, icns.c_str()) != 0) report_unwritten(icns);
    save_osx_framework((app + "/Contents/Frameworks/SDL2.framework/").c_str(),
                       runtime_item(runtime, RUNTIME_MACOS_FRAMEWORK));
    const std::string plist = app + "/Contents/Info.plist";
    if (create_plist_file(plist.c_str(), base.c_str()) != 0) report_unwritten(plist);

    // Raspberry Pi: a static and a dynamically linked program.
    platform_folder("raspi");
    const std::string pi = out + "/raspi";
    save_extras(pi.c_str(), params->e);
    save_data_file(pi, dat);
    save_program(pi + "/" + base, runtime_item(runtime, RUNTIME_RASPI));
    save_program(pi + "/" + base + "_dyn", runtime_item(runtime, RUNTIME_RASPI_DYNAMIC));
    save_icon_png(pi + "/" + base + ".png", icon);

    // Zips, each a new archive.
    const struct {
        const char *suffix, *folder, *prefix;
    } zips[] = {
        {"_windows.zip", "/windows", "_windows/"},
        {"_linux.zip", "/linux", "_linux/"},
        {"_osx.zip", nullptr, ".app/"},
        {"_raspi.zip", "/raspi", "_raspi/"},
    };
    for (const auto &z : zips) {
        std::string zip = out + "/" + base + z.suffix;
        say(12, (rel + "/" + base + z.suffix).c_str());
        std::string from = z.folder ? out + z.folder : app;
        // A folder that lists nothing (never made) makes no archive.
        if (generate_zip_file(zip.c_str(), from.c_str(), (base + z.prefix).c_str()) != 0 ||
            !vull_file_exists(zip.c_str()))
            report_unwritten(zip);
    }

    if (unwritten_files == 0) say(6, "ok");
    vull_destroy_pod(runtime);
    vull_destroy_pod(dat);
    return unwritten_files == 0 ? 0 : 1;
}
