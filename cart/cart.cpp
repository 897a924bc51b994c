// The cart record, the text cart (.z6) reader and writer, and the legacy
// fix-ups for carts of older format versions.
#include "cart/cart.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>
#include <cstdio>
#include <array>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "cart/state.h"
#include "cart/hooks.h"
#include "engine/charset.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/undo.h"

int zibo6_cart_load_status;

namespace {

constexpr char HEADER_TEXT[] = "zibo-6 cartridge";
constexpr int HEADER_LEN = sizeof HEADER_TEXT - 1;
constexpr char HEADER_LINE[] = "zibo-6 cartridge // https://zibo6.example.org\n";

// Legacy carts calling print with this title and arguments relied on the
// container functions of the first API; they get them back as code.
constexpr char LEGACY_TRIGGER[] = "print(\"zibo-6 0.1.1\",98,34,7)";
constexpr char LEGACY_API_BLOCK[] =
    "--------------------------------\n-- legacy 0.1.1 api injected\n----------------------"
    "----------\n\tfunction _validate(c) if (c._num==nil) then local i=0 while(c[i+1]~=nil)"
    " do i=i+1 end c._num=i c._max=i \tc._min=i+1 c._num = i c._ci = i end end \tfunction f"
    "oreach(c, f) if (c == nil) then return end _validate(c) if (c._max == nil) then return"
    " end for i=1,c._max do if (c[i] ~= nil) then c._ci = i f(c[i]) end end end function al"
    "l(c) if (c == nil) then return function() end end _validate(c) local i=0 return functi"
    "on() i=i+1 while (c[i]==nil and i<c._max) do i=i+1 end if (c[i] ~= nil) then c._ci=i r"
    "eturn c[i] end end end function add(c, i) if (c == nil) then return end _validate(c) f"
    "or j=c._min,c._max+1 do if (c[j] == nil) then c._max = max(c._max,j) c._min = j+1 c._n"
    "um = c._num+1 c[j]=i return i end end end function count(c) if (c == nil) then return "
    "0 end _validate(c) return c._num end function del(c,i) if (c == nil) then return end _"
    "validate(c) if (i==nil) then return end if (c._ci==i) then c[c._ci]=nil c._min=min(c._"
    "min, c._ci) c._num=c._num-1 return else for j=1,c._max do if (c[j]==i) then c[j]=nil c"
    "._min=min(c._min,j) c._num=c._num-1 return end end end while (c._max>1 and c[c._max]=="
    "nil) do c._max=c._max-1 end end  nd=0\n--------------------------------\n\n";
static_assert(sizeof LEGACY_API_BLOCK - 1 == 1270, "the legacy block is 1,270 characters");

constexpr char HEX_DIGITS[] = "0123456789abcdef";

// '0'-'9' and 'a'-'f'; anything else (a missing character too) is 0.
constexpr int hexchar2int(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// Label pixels: 0-15 as hex digits, 128-143 as 'g'-'v'.
constexpr char int2base32char(int p) {
    return p >= 128 ? char('g' + (p & 15)) : HEX_DIGITS[p & 15];
}

constexpr int base32char2int(char c) {
    int v = 0;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'v')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'V')
        v = c - 'A' + 10;
    return v >= 16 ? v - 16 + 128 : v;
}
static_assert(base32char2int('g') == 128 && base32char2int('V') == 143 && base32char2int('#') == 0);
static_assert(int2base32char(base32char2int('s')) == 's');
// int2base32char of every byte: a label row is written without a branch a pixel.
constexpr std::array<char, 256> BASE32_OF = [] {
    std::array<char, 256> t{};
    for (int p = 0; p < 256; p++) t[size_t(p)] = int2base32char(p);
    return t;
}();

constexpr int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Sections of the text form, in the order the writer puts them.
enum section_id {
    S_NONE = -1,
    S_LUA,
    S_GFX,
    S_LABEL,
    S_GFF,
    S_MAP,
    S_SFX,
    S_MUSIC,
    S_MASK,
    S_COUNT
};
constexpr const char *SECTION_NAMES[S_COUNT] = {"__lua__",   "__gfx__",        "__label__",
                                                "__gff__",   "__map__",        "__sfx__",
                                                "__music__", "__change_mask__"};
constexpr int SECTION_LIMITS[S_COUNT] = {0, 128, 128, 2, 64, 64, 64, 1};

// A character of a line, 0 past its end.
struct line_view {
    std::string_view text;
    char at(size_t i) const { return i < text.size() ? text[i] : 0; }
    int hex(size_t i) const { return hexchar2int(at(i)); }
    int hex2(size_t i) const { return hex(i) * 16 + hex(i + 1); }
    const char *from(size_t i) const { return text.data() + std::min(i, text.size()); }
};

/*
** Reader
*/

struct text_reader {
    zibo6_cart *cart;
    int rows[S_COUNT]; // rows or entries read so far, per section, for the whole file
    int section;
    size_t code_len;
};

void read_code_line(text_reader &r, line_view line, bool &too_long) {
    // Glyph text is never longer than its UTF-8 form.
    std::string glyphs(line.text.size() + 1, '\0');
    convert_escaped_to_glyphs(std::string(line.text).c_str(), glyphs.data());
    size_t n = std::strlen(glyphs.c_str());
    if (r.code_len + n > (size_t)ZIBO6_CODE_MAX) {
        too_long = true;
        return;
    }
    // Every line is followed by its newline; the last one is taken off at the end.
    std::memcpy(r.cart->code + r.code_len, glyphs.data(), n);
    r.code_len += n;
    r.cart->code[r.code_len++] = '\n';
    r.cart->code[r.code_len] = 0;
}

void read_sfx_line(zibo6_cart *cart, int index, line_view line) {
    zibo6_sfx &s = cart->sfx[index];
    unsigned v[4] = {0, 0, 0, 0};
    int got = std::sscanf(line.from(0), "%02x%02x%02x%02x", &v[0], &v[1], &v[2], &v[3]);
    // %x also takes a sign ("-2" is 0xfffffffe): each field is one byte, as the
    // ROM image and the writers hold it.
    for (unsigned &b : v) b &= 0xFF;
    if (got >= 1) {
        s.filters = int32_t(v[0] & 0xFE);
        s.flag = int32_t(v[0] & 1);
    }
    if (got >= 2) s.speed = int32_t(v[1]);
    if (got >= 3) s.loop_start = int32_t(v[2]);
    if (got >= 4) s.loop_end = int32_t(v[3]);
    for (int n = 0; n < ZIBO6_NOTE_COUNT; n++) {
        zibo6_note &note = s.note[n];
        unsigned w[4] = {unsigned(note.pitch), unsigned(note.instrument), unsigned(note.volume),
                         unsigned(note.effect)};
        std::sscanf(line.from(8 + 5 * size_t(n)), "%02x%1x%1x%1x", &w[0], &w[1], &w[2], &w[3]);
        note.custom = ((w[1] | w[3]) & 8) ? 128 : 0;
        note.pitch = int32_t(w[0] & 63);
        note.instrument = int32_t(w[1] & 7);
        note.volume = int32_t(w[2] & 7);
        note.effect = int32_t(w[3] & 7);
    }
}

void read_music_line(zibo6_cart *cart, int index, line_view line) {
    size_t from = 0;
    if (cart->version > 2) {
        unsigned flags;
        if (std::sscanf(line.from(0), "%02x ", &flags) == 1)
            cart->pattern_flags[index] = int32_t(flags & 0xFF);
        from = 3;
    }
    unsigned ch[4];
    for (int c = 0; c < 4; c++) ch[c] = unsigned(int32_t(cart->music[index][c]));
    int got = std::sscanf(line.from(from), "%02x%02x%02x%02x", &ch[0], &ch[1], &ch[2], &ch[3]);
    for (int c = 0; c < got && c < 4; c++) {
        // Before version 4 an unused channel was written as 0.
        int v = int(ch[c] & 0xFF);
        cart->music[index][c] = (cart->version < 4 && v == 0) ? 0x41 : v;
    }
}

// One line of the current section; false when the code outgrew its limit.
bool read_section_line(text_reader &r, line_view line) {
    zibo6_cart *cart = r.cart;
    int &row = r.rows[r.section];
    if (r.section != S_LUA && row >= SECTION_LIMITS[r.section]) return true;
    switch (r.section) {
    case S_LUA: {
        bool too_long = false;
        read_code_line(r, line, too_long);
        return !too_long;
    }
    case S_GFX:
        for (int x = 0; x < ZIBO6_SHEET_SIZE; x++)
            cart->sprites->rows[row][x] = uint8_t(line.hex(x));
        break;
    case S_GFF:
        for (int i = 0; i < 128; i++)
            cart->sprite_flags[128 * row + i] = cart->version > 2 ? line.hex2(2 * i) : line.hex(i);
        break;
    case S_MAP:
        for (int x = 0; x < ZIBO6_MAP_WIDTH; x++)
            cart->map->rows[row][x] = uint8_t(line.hex2(2 * x));
        break;
    case S_SFX: read_sfx_line(cart, row, line); break;
    case S_MUSIC: read_music_line(cart, row, line); break;
    case S_LABEL:
        if (!cart->label) cart->label = vull_create_bitmap(ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE, 8);
        if (!cart->label) return true; // out of memory: the cart loads without its label
        for (int x = 0; x < ZIBO6_SHEET_SIZE; x++)
            cart->label->rows[row][x] = uint8_t(base32char2int(line.at(x)));
        break;
    case S_MASK:
        for (int i = 0; i < ZIBO6_CHANGE_MASK_SIZE; i++)
            cart->change_mask[i] = uint8_t(line.hex2(2 * i));
        r.section = S_NONE;
        break;
    }
    row++;
    return true;
}

int section_of(std::string_view line) {
    for (int s = 0; s < S_COUNT; s++)
        if (line.substr(0, std::strlen(SECTION_NAMES[s])) == SECTION_NAMES[s]) return s;
    return S_NONE;
}

// The header: the first line from its first 'z' (text before it, such as a
// byte-order mark, is skipped) must read "zibo-6 cartridge".
bool header_matches(std::string_view first) {
    size_t z = first.find('z');
    return z != std::string_view::npos && first.substr(z, HEADER_LEN) == HEADER_TEXT;
}

zibo6_cart *fail(zibo6_cart *cart, cbuffer *line, int status) {
    vull_destroy_zibo6_cart(cart);
    vull_destroy_buffer(line);
    zibo6_cart_load_status = status;
    return nullptr;
}

std::string_view text_of(cbuffer *line) {
    return std::string_view(reinterpret_cast<const char *>(line->data), size_t(line->length));
}

/*
** Writer
*/

// Rows 0..n-1 of an 8-bit bitmap where row n-1 is the last holding a nonzero pixel.
int used_rows(const vull_bitmap *bmp, int height) {
    if (!bmp || bmp->width < 1) return 0;
    for (int y = height - 1; y >= 0; y--) {
        const uint8_t *row = bmp->rows[y]; // all zero: the first byte, and each equal to the next
        if (row[0] || std::memcmp(row, row + 1, size_t(bmp->width) - 1) != 0) return y + 1;
    }
    return 0;
}

// Two hex digits of v at p; p + 2.
char *hex2(char *p, int v) {
    p[0] = HEX_DIGITS[(v >> 4) & 15];
    p[1] = HEX_DIGITS[v & 15];
    return p + 2;
}

// The sections whose lines are made from ROM bytes alone.
enum rom_section : int { R_GFX, R_GFF, R_MAP, R_SFX, R_MUSIC, R_COUNT };
constexpr int ROM_LINE_MAX = 2 * ZIBO6_MAP_WIDTH + 1;
static_assert(ROM_LINE_MAX > ZIBO6_SHEET_SIZE && ROM_LINE_MAX > 8 + 32 * 5, "every line fits");

// Line row of a section into line (newline included); its length.
int rom_line(const zibo6_cart *cart, int section, int row, char *line) {
    char *p = line;
    switch (section) {
    case R_GFX: {
        const uint8_t *pixels = cart->sprites->rows[row];
        for (int x = 0; x < ZIBO6_SHEET_SIZE; x++)
            *p++ = HEX_DIGITS[pixels[x] > 15 ? 15 : pixels[x]];
        break;
    }
    case R_GFF:
        for (int i = 0; i < 128; i++) p = hex2(p, cart->sprite_flags[128 * row + i] & 0xFF);
        break;
    case R_MAP:
        for (int x = 0; x < ZIBO6_MAP_WIDTH; x++) p = hex2(p, cart->map->rows[row][x]);
        break;
    case R_SFX: {
        const zibo6_sfx &s = cart->sfx[row];
        p = hex2(p, (s.filters & 0xFE) | (s.flag != 0 ? 1 : 0));
        p = hex2(p, clamp_int(s.speed, 0, 255));
        p = hex2(p, clamp_int(s.loop_start, 0, 255));
        p = hex2(p, clamp_int(s.loop_end, 0, 255));
        for (const zibo6_note &n : s.note) {
            p = hex2(p, clamp_int(n.pitch, 0, 63));
            *p++ = HEX_DIGITS[clamp_int(n.instrument, 0, 7) + (n.custom ? 8 : 0)];
            *p++ = HEX_DIGITS[clamp_int(n.volume, 0, 7)];
            *p++ = HEX_DIGITS[clamp_int(n.effect, 0, 7)];
        }
        break;
    }
    case R_MUSIC: // words outside a byte cannot be written in two digits: their low byte is
        p = hex2(p, cart->pattern_flags[row] & 0xFF);
        *p++ = ' ';
        for (int c = 0; c < 4; c++) p = hex2(p, cart->music[row][c] & 0xFF);
        break;
    }
    *p++ = '\n';
    return int(p - line);
}

// How many lines of a section the text holds.
int rom_lines(const zibo6_text_sections &t, int section) {
    switch (section) {
    case R_GFX: return t.gfx_rows;
    case R_GFF: return t.gff ? 2 : 0;
    case R_MAP: return t.map_rows;
    case R_SFX: return t.sfx_count;
    default: return t.music_count;
    }
}

// The section and line ROM byte a (below 0x4300) is written in.
std::pair<int, int> rom_line_of(int a) {
    if (a < 0x2000) return {R_GFX, a / 64};
    if (a < 0x3000) return {R_MAP, (a - 0x2000) / ZIBO6_MAP_WIDTH};
    if (a < 0x3100) return {R_GFF, (a - 0x3000) / 128};
    if (a < 0x3200) return {R_MUSIC, (a - 0x3100) / 4};
    return {R_SFX, (a - 0x3200) / 68}; // 68 bytes of sound memory an sfx
}

void put_rom_section(std::string &out, const zibo6_cart *cart, const zibo6_text_sections &t,
                     int section, const char *title, size_t *starts) {
    int n = rom_lines(t, section);
    if (!n) return;
    out += title;
    if (starts) starts[section] = out.size();
    char line[ROM_LINE_MAX];
    for (int row = 0; row < n; row++) out.append(line, size_t(rom_line(cart, section, row, line)));
}

// The change mask's line after "__change_mask__\n".
std::string mask_line(const zibo6_cart *cart) {
    std::string out(2 * sizeof cart->change_mask + 1, '\n');
    for (size_t i = 0; i < sizeof cart->change_mask; i++) hex2(&out[2 * i], cart->change_mask[i]);
    return out;
}

// Rows are made in a line buffer and appended whole; starts, when given, gets where the first
// line of each ROM section lies and the change mask's line (R_COUNT).
std::string cart_text(const zibo6_cart *cart, int no_header, size_t *starts = nullptr) {
    std::string out;
    zibo6_text_sections t = zibo6_measure_text_sections(cart);
    out.reserve(size_t(t.code_chars) * 2 + 65536);
    if (!no_header) {
        out += HEADER_LINE;
        out += "version " + std::to_string(ZIBO6_CART_VERSION) + "\n";
    }
    if (t.code_chars) {
        out += "__lua__\n";
        std::string code(cart->code, size_t(t.code_chars));
        std::string utf8(size_t(t.code_chars) * CHARSET_MAX_UTF8 + 1, '\0');
        convert_glyphs_to_escaped(code.c_str(), utf8.data());
        out += utf8.c_str();
        out += '\n';
    }
    put_rom_section(out, cart, t, R_GFX, "__gfx__\n", starts);
    if (t.label) {
        out += "__label__\n";
        char line[ZIBO6_SHEET_SIZE + 1];
        for (int y = 0; y < ZIBO6_SHEET_SIZE; y++) {
            const uint8_t *row = cart->label->rows[y];
            for (int x = 0; x < ZIBO6_SHEET_SIZE; x++) line[x] = BASE32_OF[row[x]];
            line[ZIBO6_SHEET_SIZE] = '\n';
            out.append(line, ZIBO6_SHEET_SIZE + 1);
        }
        out += '\n';
    }
    put_rom_section(out, cart, t, R_GFF, "__gff__\n", starts);
    put_rom_section(out, cart, t, R_MAP, "__map__\n", starts);
    put_rom_section(out, cart, t, R_SFX, "__sfx__\n", starts);
    put_rom_section(out, cart, t, R_MUSIC, "__music__\n", starts);
    if (t.music_count) out += '\n';
    if (t.mask) {
        out += "__change_mask__\n";
        if (starts) starts[R_COUNT] = out.size();
        out += mask_line(cart);
    }
    return out;
}

bool same_sections(const zibo6_text_sections &a, const zibo6_text_sections &b) {
    return a.code_chars == b.code_chars && a.gfx_rows == b.gfx_rows && a.label == b.label &&
           a.gff == b.gff && a.map_rows == b.map_rows && a.sfx_count == b.sfx_count &&
           a.music_count == b.music_count && a.mask == b.mask;
}

/*
** Legacy fix-ups
*/

// Before version 5 the longest non-looping channel of a pattern was not
// necessarily channel 0, which now decides the pattern's length.
void legacy_swap_channels(zibo6_cart *cart) {
    for (int p = 0; p < ZIBO6_PATTERN_COUNT; p++) {
        int len[4], valid[4], looping[4];
        for (int c = 0; c < 4; c++) {
            int v = cart->music[p][c];
            valid[c] = v >= 0 && v <= 63;
            const zibo6_sfx *s = valid[c] ? &cart->sfx[v] : nullptr;
            len[c] = s ? 32 * std::max<int>(s->speed, 1) : 0;
            looping[c] = s && s->loop_end > s->loop_start;
        }
        int r = -1, l = 0;
        for (int c = 0; c < 4; c++) {
            if (!valid[c]) continue;
            if (r < 0 && !looping[c]) r = len[c];
            l = std::max(l, len[c]);
        }
        if (r < 0 || l == r) continue;
        for (int c = 1; c < 4; c++) {
            if (!valid[c] || looping[c] || len[c] != l) continue;
            int v0 = cart->music[p][0];
            cart->music[p][0] = int32_t(cart->music[p][c]);
            cart->music[p][c] = v0;
            char text[64];
            std::snprintf(text, sizeof text, "legacy: pat %d swap chan: %d %d", p, 0, c);
            cart_hooks.zibo_print(text);
            break;
        }
    }
}

void legacy_inject_api(zibo6_cart *cart) {
    if (!std::strstr(cart->code, LEGACY_TRIGGER)) return;
    size_t block = sizeof LEGACY_API_BLOCK - 1, code = std::strlen(cart->code);
    if (block + code > size_t(ZIBO6_CODE_MAX)) {
        // The code stays whole; without the block the cart may fail where it calls them.
        vull_debug("legacy: api not injected: the code would exceed its limit");
        return;
    }
    std::memmove(cart->code + block, cart->code, code + 1);
    std::memcpy(cart->code, LEGACY_API_BLOCK, block);
    cart_hooks.zibo_print("legacy: 0.1.1 api injected");
}

} // namespace

/*
** Record
*/

zibo6_cart *vull_create_zibo6_cart() {
    void *block = vull_malloc_(int(sizeof(zibo6_cart)));
    if (!block) return nullptr;
    zibo6_cart *cart = new (block) zibo6_cart(); // zeroes the record
    cart->code = static_cast<char *>(vull_calloc(ZIBO6_CODE_SIZE));
    cart->sprites = vull_create_bitmap(ZIBO6_SHEET_SIZE, ZIBO6_SHEET_SIZE, 8);
    cart->map = vull_create_bitmap(ZIBO6_MAP_WIDTH, ZIBO6_MAP_HEIGHT, 8);
    bool ok = cart->code && cart->sprites && cart->map;
    for (vull_undo_stack *&u : cart->undo) ok = (u = vull_create_undo_stack()) && ok;
    if (!ok) {
        vull_destroy_zibo6_cart(cart);
        return nullptr;
    }
    for (int i = 0; i < ZIBO6_SFX_COUNT; i++) cart->sfx[i].speed = i == 0 ? 1 : 16;
    for (auto &pattern : cart->music)
        for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++) pattern[c] = 0x41 + c;
    std::memset(cart->change_mask, 0xFF, sizeof cart->change_mask);
    return cart;
}

void vull_destroy_zibo6_cart(zibo6_cart *cart) {
    if (!cart) return;
    cart_hooks.vull_stop_zibo6_song(cart);
    for (zibo6_sfx &s : cart->sfx) cart_hooks.vull_stop_sfx(&s);
    vull_free(cart->code);
    vull_destroy_bitmap(cart->sprites);
    vull_destroy_bitmap(cart->map);
    vull_destroy_bitmap(cart->label);
    for (vull_undo_stack *u : cart->undo) vull_destroy_undo_stack(u);
    if (pstate.memory_cart == cart) pstate.memory_cart = nullptr;
    vull_free(cart);
}

bool zibo6_sfx_is_empty(const zibo6_cart *cart, int index) {
    const zibo6_sfx &s = cart->sfx[index];
    if (s.flag != 0 || s.speed != (index == 0 ? 1 : 16) || s.loop_start != 0 || s.loop_end != 0)
        return false;
    int32_t any = 0;
    for (const zibo6_note &n : s.note) any |= n.pitch | n.instrument | n.volume | n.effect | n.custom;
    return any == 0;
}

bool zibo6_pattern_is_empty(const zibo6_cart *cart, int index) {
    for (int c = 0; c < ZIBO6_PATTERN_CHANNELS; c++)
        if (cart->music[index][c] != 0x41 + c) return false;
    return cart->pattern_flags[index] == 0;
}

zibo6_text_sections zibo6_measure_text_sections(const zibo6_cart *cart) {
    zibo6_text_sections t{};
    t.code_chars = int(strnlen(cart->code, ZIBO6_CODE_SIZE - 1));
    t.gfx_rows = used_rows(cart->sprites, ZIBO6_SHEET_SIZE);
    t.label = cart->label && cart->label->width == ZIBO6_SHEET_SIZE &&
              cart->label->height == ZIBO6_SHEET_SIZE &&
              used_rows(cart->label, ZIBO6_SHEET_SIZE) > 0;
    t.gff = std::any_of(std::begin(cart->sprite_flags), std::end(cart->sprite_flags),
                        [](int32_t f) { return f != 0; });
    t.map_rows = used_rows(cart->map, 32);
    // An sfx holding only filter bits is empty to the editor but not to the file:
    // its line keeps them, else saving would drop them.
    for (int i = 0; i < ZIBO6_SFX_COUNT; i++)
        if (!zibo6_sfx_is_empty(cart, i) || (cart->sfx[i].filters & 0xFE)) t.sfx_count = i + 1;
    for (int i = 0; i < ZIBO6_PATTERN_COUNT; i++)
        if (!zibo6_pattern_is_empty(cart, i)) t.music_count = i + 1;
    t.mask = std::any_of(std::begin(cart->change_mask), std::end(cart->change_mask),
                         [](uint8_t b) { return b != 0xFF; });
    return t;
}

zibo6_cart *vull_load_zibo6_cart_from_file(vull_file *file, int lenient) {
    zibo6_cart_load_status = ZIBO6_LOAD_OK;
    cbuffer *line = vull_create_buffer(256);
    if (!file || !line) return fail(nullptr, line, ZIBO6_LOAD_OK);

    // The header is two whole lines: a file cut inside them is refused.
    if (vull_fgets_line(line, file, ZIBO6_TEXT_LINE_MAX) < 0)
        return fail(nullptr, line, ZIBO6_LOAD_OK);
    int version = 0;
    bool first_is_data = false;
    std::string_view first = text_of(line);
    if (lenient && first.find(HEADER_TEXT) == std::string_view::npos) {
        version = ZIBO6_CART_VERSION;
        first_is_data = true;
    } else {
        if (!header_matches(first)) return fail(nullptr, line, ZIBO6_LOAD_OK);
        if (vull_fgets_line(line, file, ZIBO6_TEXT_LINE_MAX) != 1)
            return fail(nullptr, line, ZIBO6_LOAD_OK);
        if (std::sscanf(reinterpret_cast<const char *>(line->data), "version %d", &version) != 1)
            version = 0;
        if (version > ZIBO6_CART_VERSION && !cconfig.accept_future)
            return fail(nullptr, line, ZIBO6_LOAD_FUTURE_VERSION);
    }

    text_reader r{};
    r.cart = vull_create_zibo6_cart();
    if (!r.cart) return fail(nullptr, line, ZIBO6_LOAD_OK);
    r.cart->version = version;
    r.section = S_NONE;
    for (;;) {
        if (!first_is_data) {
            int got = vull_fgets_line(line, file, ZIBO6_TEXT_LINE_MAX);
            if (got == -2) // longer than the line buffer: no cart of this system
                return fail(r.cart, line,
                            r.section == S_LUA ? ZIBO6_LOAD_CODE_TOO_LONG : ZIBO6_LOAD_OK);
            if (got < 0) break;
        }
        first_is_data = false;
        std::string_view text = text_of(line);
        if (text.substr(0, 8) == "##end_z6") break;
        int s = section_of(text);
        if (s != S_NONE) {
            r.section = s;
            continue;
        }
        if (r.section == S_NONE) continue;
        if (!read_section_line(r, line_view{text}))
            return fail(r.cart, line, ZIBO6_LOAD_CODE_TOO_LONG);
    }
    // Every code line got a newline; the one after the last line is not code.
    if (r.code_len && r.cart->code[r.code_len - 1] == '\n') r.cart->code[--r.code_len] = 0;
    vull_destroy_buffer(line);
    return r.cart;
}

static_assert(ZIBO6_TEXT_LINE_MAX >= ZIBO6_CODE_MAX * CHARSET_MAX_UTF8,
              "every line the writer writes reads back");

int zibo6_cart_path_refused(const char *path) {
    struct stat st {};
    if (!path || ::stat(path, &st) != 0) return 0;
    return !S_ISREG(st.st_mode) || st.st_size > ZIBO6_CART_FILE_MAX;
}

zibo6_cart *vull_load_zibo6_cart(const char *path) {
    if (zibo6_cart_path_refused(path)) return nullptr;
    vull_file *f = vull_fopen(path, "r", ZIBO6_CART_FILE_MAX);
    if (!f) return nullptr;
    zibo6_cart *cart = vull_load_zibo6_cart_from_file(f, 0);
    vull_fclose(f);
    return cart;
}

std::string zibo6_cart_text(const zibo6_cart *cart) { return cart ? cart_text(cart, 0) : ""; }

struct zibo6_text_draft {
    zibo6_text_sections t{};
    std::string text;
    size_t starts[R_COUNT + 1] = {};
};

zibo6_text_draft *zibo6_text_draft_create(const zibo6_cart *cart) {
    if (!cart) return nullptr;
    auto *d = new zibo6_text_draft;
    d->t = zibo6_measure_text_sections(cart);
    d->text = cart_text(cart, 0, d->starts);
    return d;
}

void zibo6_text_draft_destroy(zibo6_text_draft *d) { delete d; }

const std::string &zibo6_text_draft_update(zibo6_text_draft *d, const zibo6_cart *cart, int first,
                                           int count) {
    zibo6_text_sections t = zibo6_measure_text_sections(cart);
    if (!same_sections(t, d->t)) { // lines come or go: every later section moves
        d->t = t;
        d->text = cart_text(cart, 0, d->starts);
        return d->text;
    }
    // Lines keep their length: each one a changed byte is written in is made again in place.
    std::pair<int, int> last{-1, -1};
    char line[ROM_LINE_MAX];
    for (int i = 0; i < std::clamp(count, 0, 0x10000); i++) {
        int a = (first + i) & 0xffff; // addresses wrap as the pokes that changed them did
        if (a >= 0x4300) continue;
        std::pair<int, int> at = rom_line_of(a);
        if (at == last) continue;
        last = at;
        if (at.second >= rom_lines(t, at.first)) continue;
        int n = rom_line(cart, at.first, at.second, line);
        d->text.replace(d->starts[at.first] + size_t(at.second) * size_t(n), size_t(n), line,
                        size_t(n));
    }
    if (t.mask) {
        std::string mask = mask_line(cart);
        d->text.replace(d->starts[R_COUNT], mask.size(), mask);
    }
    return d->text;
}

int vull_save_zibo6_cart_to_file(zibo6_cart *cart, vull_file *file, int no_header) {
    if (!cart || !file) return 1;
    std::string text = cart_text(cart, no_header);
    if (text.size() > size_t(VULL_ALLOC_CAP)) return 1;
    int n = int(text.size());
    return vull_fwrite(text.data(), 1, n, file) == n ? 0 : 1;
}

int vull_save_zibo6_cart(zibo6_cart *cart, const char *path) {
    if (!cart || !path) return 1;
    std::string text = cart_text(cart, 0);
    return vull_save_file(path, text.data(), int64_t(text.size()));
}

void apply_legacy_changes(zibo6_cart *cart) {
    if (!cart) return;
    cart->legacy_applied = 1;
    int v = cart->version;
    if (v >= 19 && v <= 23) {
        if (std::strstr(cart->code, "@@")) cart_hooks.show_message("warning: possible deprecated @@", 3000);
        return;
    }
    if (v < 5) {
        legacy_swap_channels(cart);
        // The noise instrument used to play quieter at its top volumes.
        for (zibo6_sfx &s : cart->sfx)
            for (zibo6_note &n : s.note)
                if (n.instrument == 6 && n.volume >= 6) n.volume = 5;
        legacy_inject_api(cart);
    }
    if (v > 10) return;
    // Effect 1 at volume 0 was silent until version 10; carts that use none of the
    // newer sfx features get it cleared so they still sound as written.
    for (const zibo6_sfx &s : cart->sfx) {
        if (s.flag > 1 || s.loop_start > 63 || s.loop_end > 63) return;
        for (const zibo6_note &n : s.note)
            if (n.custom) return;
    }
    for (zibo6_sfx &s : cart->sfx)
        for (zibo6_note &n : s.note)
            if (n.effect == 1 && n.volume == 0) n.effect = 0;
}

int vull_determine_cart_version(const char *code) {
    if (!code || !*code) return 8;
    for (const char *p = std::strstr(code, "[["); p; p = std::strstr(p + 1, "[["))
        if (p == code || p[-1] != '-') return 9;
    for (const char *p = std::strstr(code, "printh"); p; p = std::strstr(p + 1, "printh")) {
        const char *q = p + 6;
        while (*q == ' ' || *q == '\n') q++;
        if (*q && *q != '(') return 10;
        if (*q != '(') continue;
        // A comma at the top level of the argument list: more than one argument.
        int depth = 0;
        for (; *q; q++) {
            if (*q == '(')
                depth++;
            else if (*q == ')' && --depth == 0)
                break;
            else if (*q == ',' && depth == 1)
                return 10;
        }
    }
    return 8;
}
