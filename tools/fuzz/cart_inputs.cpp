// The cart formats' readers of untrusted input, each driven by one byte
// string (the same entry shape as the engine's hostile inputs). Besides what
// the sanitizers catch, each entry checks what its reader promises: a status
// that names the refusal, code within its limit, and that whatever loads is
// written and read back to the same text.
#include "tools/fuzz/hostile_inputs.h"
#include "shell/zibo6.h"
#include "tools/fuzz/fuzz_png.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/compress.h"
#include "cart/disk.h"
#include "cart/export.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "cart/textcode.h"
#include "console/mem.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"

namespace {

constexpr size_t INPUT_LIMIT = 1u << 20;

void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "hostile cart: broken invariant: %s\n", what);
    std::abort();
}

zibo6_cart *read_cart(const void *data, size_t size, int lenient) {
    std::vector<char> copy(static_cast<const char *>(data), static_cast<const char *>(data) + size);
    vull_file *f = vull_fopen_memory(copy.empty() ? nullptr : copy.data(), int(copy.size()));
    check(f != nullptr, "memory file");
    zibo6_cart *cart = vull_load_zibo6_cart_from_file(f, lenient);
    vull_fclose(f);
    return cart;
}

std::string write_cart(zibo6_cart *cart) {
    cbuffer *out = vull_create_buffer(0);
    check(vull_save_zibo6_cart_to_file(cart, out, 0) == 0, "writing a loaded cart");
    std::string text(reinterpret_cast<const char *>(out->data), size_t(out->length));
    vull_destroy_buffer(out);
    return text;
}

// Code lines that read as a section name or the end mark change the sections
// when read back: the text form cannot hold them.
bool code_has_marker_line(const char *code) {
    for (const char *line = code; line; line = std::strchr(line, '\n')) {
        if (*line == '\n') line++;
        if (std::strncmp(line, "__", 2) == 0 || std::strncmp(line, "##end_z6", 8) == 0) return true;
    }
    return false;
}

int run_text_cart(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    for (int lenient = 0; lenient < 2; lenient++) {
        zibo6_cart *cart = read_cart(data, size, lenient);
        // A file the strict reader takes starts with the header, and the lenient
        // one reads it the same way: once is enough.
        bool both_agree = cart && !lenient;
        int status = zibo6_cart_load_status;
        if (!cart) {
            check(status >= ZIBO6_LOAD_OK && status <= ZIBO6_LOAD_CODE_TOO_LONG, "status");
            continue;
        }
        check(status == ZIBO6_LOAD_OK, "a loaded cart has status 0");
        check(strnlen(cart->code, ZIBO6_CODE_SIZE) <= size_t(ZIBO6_CODE_MAX), "code length");
        std::string once = write_cart(cart);
        zibo6_cart *back = read_cart(once.data(), once.size(), 0);
        check(back != nullptr, "written cart reads back");
        if (!code_has_marker_line(cart->code)) {
            check(std::strcmp(back->code, cart->code) == 0, "code reads back");
            check(write_cart(back) == once, "written cart writes back the same");
        }
        vull_destroy_zibo6_cart(back);
        vull_destroy_zibo6_cart(cart);
        if (both_agree) break;
    }
    return 0;
}

// Code this long at most is compressed (the compressor's time grows faster
// than the text).
constexpr size_t COMPRESS_TEXT_MAX = 2048;

// A code block as a cart image holds it: decoded into a guarded buffer with a
// canary past the size given. The input up to a NUL is also code: compressed,
// it decodes back to the same text.
int run_pxa_block(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    std::vector<uint8_t> in(data, data + size);
    constexpr int SIZE = ZIBO6_CODE_MAX;
    // Made once: zeroing these for every input would cost more than the decoding.
    static std::vector<uint8_t> out(size_t(SIZE) + 1), block(PXA_SCRATCH_SIZE);
    std::fill(out.begin(), out.end(), 0);
    out[SIZE] = 0xa5;
    int n = decompress_mini(in.empty() ? nullptr : in.data(), int(in.size()), out.data(), SIZE);
    check(out[SIZE] == 0xa5, "nothing written past the size");
    check(n >= 0 && n <= SIZE, "decoded length within the size");

    std::string text(
        reinterpret_cast<const char *>(data),
        strnlen(reinterpret_cast<const char *>(data), std::min(size, COMPRESS_TEXT_MAX)));
    int len = compress_mini(text.c_str(), block.data(), int(text.size()));
    check(len >= 0 && size_t(len) <= text.size(), "compressed code longer than the text");
    std::vector<uint8_t> back(text.size() + 1, 0);
    if (len > 0 && is_compressed_format_header(block.data()) == 2) {
        pxa_decompress(block.data(), len, back.data(), int(back.size()));
        check(std::memcmp(back.data(), text.c_str(), text.size() + 1) == 0,
              "compressed code decodes to the same text");
    } else {
        check(size_t(len) == text.size() &&
                  std::memcmp(block.data(), text.data(), text.size()) == 0,
              "code stored plain when compressing does not pay");
    }
    return 0;
}

// The cart's image spread over a PNG cart's pixels, two bits a channel, as
// the writer spreads it.
std::vector<uint8_t> cart_picture(const std::vector<uint8_t> &image) {
    std::vector<uint8_t> rgba(size_t(PNG_CART_WIDTH) * PNG_CART_HEIGHT * 4, 0);
    for (size_t i = 0; i < image.size(); i++) {
        uint8_t v = image[i], *p = &rgba[i * 4];
        p[0] = uint8_t(v >> 4 & 3), p[1] = uint8_t(v >> 2 & 3), p[2] = uint8_t(v & 3);
        p[3] = uint8_t(0xfc | v >> 6);
    }
    return rgba;
}

zibo6_cart *load_png_cart(const std::vector<uint8_t> &file) {
    std::vector<uint8_t> copy(file);
    vull_file *f = vull_fopen_memory(copy.empty() ? nullptr : copy.data(), int(copy.size()));
    zibo6_cart *cart = load_zibo6_cart_png_from_file(f);
    vull_fclose(f);
    check((cart != nullptr) == (zibo6_png_cart_status == PNG_CART_OK), "status matches the result");
    if (cart) check(strnlen(cart->code, ZIBO6_CODE_SIZE) <= size_t(ZIBO6_CODE_MAX), "code length");
    return cart;
}

// Input modes of png_cart, from the first byte: the rest as a PNG file (its
// chunk checksums mended), or as a cart image drawn into a valid PNG cart with
// its digest zeroed (unsigned), computed (signed) or as given. The image is
// taken code block first, then the ROM data, then the trailer (version,
// platform, digest), so that short inputs reach the code reader.
enum { PNG_CART_DRAWN_UNSIGNED = 1, PNG_CART_DRAWN_SIGNED = 2, PNG_CART_DRAWN_AS_GIVEN = 3 };

int run_png_cart(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    const int mode = size ? data[0] & 3 : FUZZ_PNG_AS_FILE;
    const uint8_t *rest = size ? data + 1 : data;
    const size_t n = size ? size - 1 : 0;
    if (mode == FUZZ_PNG_AS_FILE) {
        std::vector<uint8_t> file(rest, rest + n);
        fuzz_png_mend_crcs(file);
        vull_destroy_zibo6_cart(load_png_cart(file));
        return 0;
    }
    std::vector<uint8_t> image(PNG_CART_IMAGE_SIZE, 0);
    const size_t code = std::min(n, size_t(CART_CODE_BLOCK));
    const size_t rom = std::min(n - code, size_t(CART_CODE_OFFSET));
    const size_t trailer = std::min(n - code - rom, size_t(PNG_CART_IMAGE_SIZE - CART_IMAGE_SIZE));
    std::memcpy(&image[CART_CODE_OFFSET], rest, code);
    std::memcpy(&image[0], rest + code, rom);
    std::memcpy(&image[CART_IMAGE_SIZE], rest + code + rom, trailer);
    uint8_t *digest = &image[CART_IMAGE_SIZE + 6];
    if (mode == PNG_CART_DRAWN_UNSIGNED) std::memset(digest, 0, 20);
    if (mode == PNG_CART_DRAWN_SIGNED) {
        char hex[41];
        vull_sha1(image.data(), CART_IMAGE_SIZE, hex);
        for (int i = 0; i < 20; i++) {
            char two[3] = {hex[2 * i], hex[2 * i + 1], 0};
            digest[i] = uint8_t(std::strtoul(two, nullptr, 16));
        }
    }
    std::vector<uint8_t> file =
        fuzz_png_encode(cart_picture(image), PNG_CART_WIDTH, PNG_CART_HEIGHT);
    check(!file.empty(), "cart picture encoded");
    zibo6_cart *cart = load_png_cart(file);
    const int version = image[CART_IMAGE_SIZE];
    if (mode != PNG_CART_DRAWN_AS_GIVEN)
        check((cart != nullptr) == (version <= ZIBO6_CART_VERSION || cconfig.accept_future),
              "a cart whose digest holds loads unless it is of a future version");
    if (cart) {
        // It holds what its image holds, read straight from the image.
        zibo6_cart *direct = vull_create_zibo6_cart();
        load_zibo6_cart_32k(direct, image.data());
        check(std::strcmp(cart->code, direct->code) == 0, "code from the pixels");
        for (int a = 0; a < ZIBO6_ROM_DATA_SIZE; a++)
            check(zibo6_peek(nullptr, cart, a) == zibo6_peek(nullptr, direct, a),
                  "ROM data from the pixels");
        check(cart->version == version, "version from the pixels");
        vull_destroy_zibo6_cart(direct);
    }
    vull_destroy_zibo6_cart(cart);
    return 0;
}

// A loaded cart's sounds, music and sprite sheet as forum codes read back the same.
void check_bbs_codes(const zibo6_cart *cart) {
    static std::vector<char> code(BBS_CODE_SIZE);
    check(convert_sfxes_to_bbs_code(cart, ZIBO6_SFX_COUNT, code.data(), 0) > 0, "sfx code");
    zibo6_cart *song = convert_bbs_code_to_song(code.data());
    check(song != nullptr, "sfx code reads back");
    for (int a = 0x3200; a < 0x4300; a++)
        check(zibo6_peek(nullptr, song, a) ==
                  zibo6_peek(nullptr, const_cast<zibo6_cart *>(cart), a),
              "sfx code keeps the sound memory");
    vull_destroy_zibo6_cart(song);
    check(convert_patterns_to_bbs_code(cart, ZIBO6_PATTERN_COUNT, code.data(), 0) > 0,
          "pattern code");
    song = convert_bbs_code_to_song(code.data());
    check(song != nullptr, "pattern code reads back");
    for (int p = 0; p < ZIBO6_PATTERN_COUNT; p++) {
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++)
            check(song->music[p][c] == cart->music[p][c], "pattern code keeps the channels");
        // the code holds a pattern's flags as one hex digit, as the image holds four bits
        check(song->pattern_flags[p] == (cart->pattern_flags[p] & 15),
              "pattern code keeps the flags");
    }
    vull_destroy_zibo6_cart(song);
    check(convert_bmp_to_bbs_code(cart->sprites, code.data(), 0) > 0, "sprite sheet code");
    vull_bitmap *sheet = convert_bbs_code_to_bmp(code.data());
    check(sheet && sheet->width == cart->sprites->width && sheet->height == cart->sprites->height,
          "sprite sheet code reads back");
    for (int y = 0; y < sheet->height; y++)
        for (int x = 0; x < sheet->width; x++)
            check(sheet->rows[y][x] == (cart->sprites->rows[y][x] & 15),
                  "sprite sheet code keeps the pixels");
    vull_destroy_bitmap(sheet);
}

// The names a cart file reaches the loaders under: the final extension picks
// the PNG writer, the 32 KB image or the text cart when saving, lets a 32 KB
// file of plain code load as an image (".rom") and plain code load at all
// (".lua"); ".bin" and ".hex" carry the ROM data alone.
constexpr const char *CART_ANY_NAMES[] = {"any.z6",  "any.z6.png", "any.png", "any.rom",
                                          "any.bin", "any.hex",    "any.lua", "any"};
constexpr size_t CART_ANY_FORMATS = std::size(CART_ANY_NAMES);

bool has_extension(const std::string &name, const char *ext) {
    const size_t n = std::strlen(ext);
    return name.size() >= n && name.compare(name.size() - n, n, ext) == 0;
}

void write_scratch_file(const std::string &path, const void *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    check(f && (size == 0 || std::fwrite(data, 1, size, f) == size) && std::fclose(f) == 0,
          "scratch file written");
}

std::vector<uint8_t> rom_bytes(zibo6_cart *cart) {
    std::vector<uint8_t> rom(CART_BIN_SIZE);
    for (int a = 0; a < CART_BIN_SIZE; a++) rom[size_t(a)] = uint8_t(zibo6_peek(nullptr, cart, a));
    return rom;
}

// The working cart as the player loads it from the command line, the browser
// or load(): the file at `asked`, or under the names the loader tries after it
// (".z6" added, then ".png"); taken from the console. Null when none loads.
zibo6_cart *load_working(const std::string &asked) {
    // the sandbox file a loaded cart looks for lies in the scratch home
    static const bool home = [] {
        std::snprintf(cconfig.home, sizeof cconfig.home, "%s/home/", hostile_scratch());
        return true;
    }();
    (void)home;
    if (load_working_cart(asked.c_str()) != 0) return nullptr;
    zibo6_cart *cart = pitem.cart;
    pitem.cart = nullptr;
    check(cart != nullptr, "a loaded working cart");
    const std::string loaded = pstate.current_filename;
    check(loaded.compare(0, asked.size(), asked) == 0,
          "the working cart is named after the name asked for");
    return cart;
}

// A cart from the file at path as the player reads one of that name: as the
// working cart (asked for by `asked`), as reload() does for ".bin" (the raw
// ROM data when no other format reads), and for ".hex" the ROM data as hex
// digits or a cart file in the forum's cart code.
zibo6_cart *load_as_named(const std::string &path, const std::string &asked, const uint8_t *data,
                          size_t size) {
    if (has_extension(path, ".hex")) {
        if (zibo6_cart *cart = load_zibo6_cart_hex(path.c_str())) return cart;
        const std::string bin = std::string(hostile_scratch()) + "/from_hex.z6.png";
        const char *chars = reinterpret_cast<const char *>(data);
        const std::string text(chars, strnlen(chars, size));
        if (text.compare(0, 6, "[cart]") != 0) return nullptr;
        check(convert_hex_to_binary_file(text.c_str(), bin.c_str()) == 0, "cart code written");
        zibo6_cart *cart = load_zibo6_cart_any_format(bin.c_str());
        std::remove(bin.c_str());
        return cart;
    }
    if (has_extension(path, ".bin")) {
        zibo6_cart *cart = load_zibo6_cart_any_format(path.c_str());
        if (!cart) {
            cart = load_zibo6_cart_bin(path.c_str());
            if (cart) check(rom_bytes(cart) == std::vector<uint8_t>(data, data + size),
                            "raw ROM data reads as it lies in the file");
        }
        return cart;
    }
    return load_working(asked);
}

// What a cart loaded under a name is saved as, read back under the same name:
// the same hash. The ROM-data forms are written as they are read; the others
// through the player's writer, which picks the format by the final extension
// (code too long for the image is refused, and text code holding a section
// line cannot be told from its sections).
void check_saved_in_kind(zibo6_cart *cart, const std::string &name) {
    const std::string path = std::string(hostile_scratch()) + "/again_" + name;
    if (has_extension(name, ".bin") || has_extension(name, ".hex")) {
        std::vector<uint8_t> rom = rom_bytes(cart);
        std::string out;
        if (has_extension(name, ".bin")) {
            out.assign(rom.begin(), rom.end());
        } else {
            constexpr char HEX[] = "0123456789abcdef";
            for (uint8_t b : rom) out += HEX[b >> 4], out += HEX[b & 15];
        }
        write_scratch_file(path, out.data(), out.size());
        zibo6_cart *back = has_extension(name, ".bin") ? load_zibo6_cart_bin(path.c_str())
                                                       : load_zibo6_cart_hex(path.c_str());
        check(back && rom_bytes(back) == rom, "ROM data reads back in its own form");
        vull_destroy_zibo6_cart(back);
        std::remove(path.c_str());
        return;
    }
    const int format = cart_file_format(path.c_str());
    if (format == CART_FILE_TEXT ? code_has_marker_line(cart->code)
                                 : std::strlen(cart->code) > COMPRESS_TEXT_MAX)
        return;
    if (save_cart_file(cart, path.c_str()) != 0) {
        check(format != CART_FILE_TEXT, "a text cart is always written");
        return;
    }
    zibo6_cart *back = load_zibo6_cart_any_format(path.c_str());
    check(back != nullptr, "a saved cart reads back under its name");
    char hash[CART_HASH_LEN + 1], again[CART_HASH_LEN + 1];
    hash_cart(cart, hash);
    hash_cart(back, again);
    check(std::strcmp(hash, again) == 0, "a saved cart reads back with the same hash");
    vull_destroy_zibo6_cart(back);
    std::remove(path.c_str());
}

// The input as a cart file: its first byte picks the file's name (and so the
// format it is read and written as; bit 3 asks for it by the name without its
// extensions, as a command line may), the rest is the file, loaded as load()
// and the command line read one. Whatever loads has a hash, its 32 KB image
// reads back to the same image, its forum codes to the same sounds, music and
// sprites, and it saves in its own format to a file that reads back the same
// (these round trips for one input in eight in a campaign, every input in the
// replay).
int run_cart_any(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    const std::string name = CART_ANY_NAMES[size ? data[0] % CART_ANY_FORMATS : 0];
    const bool bare = size && (data[0] & 8);
    if (size) data++, size--;
    const std::string path = std::string(hostile_scratch()) + "/" + name;
    write_scratch_file(path, data, size);
    zibo6_cart *cart = load_as_named(path, bare ? std::string(hostile_scratch()) + "/any" : path,
                                     data, size);
    check(zibo6_cart_load_status >= ZIBO6_LOAD_OK &&
              zibo6_cart_load_status <= ZIBO6_LOAD_CODE_TOO_LONG,
          "text cart status");
    check(zibo6_png_cart_status >= PNG_CART_OK && zibo6_png_cart_status <= PNG_CART_WRONG_SIZE,
          "PNG cart status");
    // The round trips below cost several times the load: a campaign samples them.
    if (cart) {
        check(strnlen(cart->code, ZIBO6_CODE_SIZE) <= size_t(ZIBO6_CODE_MAX), "code length");
        char hash[CART_HASH_LEN + 1];
        hash_cart(cart, hash);
        check(std::strlen(hash) == CART_HASH_LEN, "cart hash");
    }
    if (cart && hostile_sampled(data, size, 8)) {
        static std::vector<uint8_t> image(CART_IMAGE_SIZE), again(CART_IMAGE_SIZE);
        if (std::strlen(cart->code) <= COMPRESS_TEXT_MAX &&
            save_zibo6_cart_32k(cart, image.data()) == 0) {
            zibo6_cart *back = vull_create_zibo6_cart();
            load_zibo6_cart_32k(back, image.data());
            check(save_zibo6_cart_32k(back, again.data()) == 0 && again == image,
                  "a cart image reads back to the same image");
            vull_destroy_zibo6_cart(back);
        }
        check_bbs_codes(cart);
        check_saved_in_kind(cart, name);
    }
    vull_destroy_zibo6_cart(cart);
    std::remove(path.c_str());
    return 0;
}

// The forum text codes: a NUL-terminated, exactly sized copy of the text.
std::vector<char> as_text(const uint8_t *data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back(0);
    return text;
}

int run_bbs_code(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    std::vector<char> text = as_text(data, size);
    vull_destroy_zibo6_cart(convert_bbs_code_to_song(text.data()));
    vull_bitmap *bmp = convert_bbs_code_to_bmp(text.data());
    if (bmp) check(bmp->width <= 255 && bmp->height <= 255, "picture size from two digits");
    vull_destroy_bitmap(bmp);
    return 0;
}

int run_base64(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    std::vector<uint8_t> out(size * 3 / 4 + 2, 0);
    base64_decodestate st;
    base64_init_decodestate(&st);
    int n = base64_decode_block(reinterpret_cast<const char *>(data), int(size), out.data(), &st);
    check(n >= 0 && size_t(n) <= size * 3 / 4, "decoded length");
    // What decodes encodes back to the alphabet characters of the input, less padding.
    std::vector<char> enc(size_t(n) * 2 + 8);
    base64_encodestate es;
    base64_init_encodestate(&es);
    int m = base64_encode_block(out.data(), n, enc.data(), &es);
    m += base64_encode_blockend(enc.data() + m, &es);
    check(m == (n + 2) / 3 * 4, "encoded length");
    return 0;
}

// The exporter's unpacking folder, in the scratch folder.
const char *export_scratch() {
    static const std::string folder = std::string(hostile_scratch()) + "/export";
    return folder.c_str();
}

// A framework pod from the data file: whatever its entries are named, nothing
// is written beside the framework folder.
int run_export_framework(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    namespace fs = std::filesystem;
    const fs::path scratch = export_scratch(), folder = scratch / "fw" / "in";
    fs::create_directories(folder);
    cbuffer *buf = vull_create_buffer(int(size));
    if (size) cbuffer_add_data(buf, data, int(size));
    save_osx_framework((folder.string() + "/").c_str(), buf);
    vull_destroy_buffer(buf);
    for (const auto &e : fs::directory_iterator(scratch))
        check(e.path().filename() == "fw", "framework entry written outside its folder");
    for (const auto &e : fs::directory_iterator(scratch / "fw"))
        check(e.path().filename() == "in", "framework entry written outside its folder");
    fs::remove_all(scratch / "fw");
    return 0;
}

// A runtime program: the icon goes into the block before the marker or
// nowhere, never outside the program.
int run_export_program(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    vull_bitmap *icon = vull_create_bitmap(EXPORT_ICON_SIZE, EXPORT_ICON_SIZE, 32);
    for (int y = 0; y < EXPORT_ICON_SIZE; y++)
        std::memset(icon->rows[y], y + 1, size_t(EXPORT_ICON_SIZE) * 4);
    cbuffer *exe = vull_create_buffer(int(size));
    if (size) cbuffer_add_data(exe, data, int(size));
    std::vector<uint8_t> before(data, data + size);
    int changed = 0;
    if (inject_windows_icon(icon, exe) != 0) {
        check(size == 0 || std::memcmp(exe->data, before.data(), size) == 0, "refused but changed");
    } else {
        for (size_t i = 0; i < size; i++) changed += exe->data[i] != before[i];
        check(changed <= 65536, "icon block larger than its size");
    }
    check(exe->length == int(size), "program length kept");
    vull_destroy_buffer(exe);
    vull_destroy_bitmap(icon);
    return 0;
}

} // namespace

void hostile_attach() { zibo6_attach_shell(); }

const hostile_entry hostile_entries[] = {
    {"export_framework", run_export_framework},
    {"export_program", run_export_program},
    {"bbs_code", run_bbs_code},
    {"base64", run_base64},
    {"text_cart", run_text_cart},
    {"pxa_block", run_pxa_block},
    {"png_cart", run_png_cart},
    {"cart_any", run_cart_any},
    {nullptr, nullptr},
};
