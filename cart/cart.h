// Layer cart: cart formats, files and the shared state records; calls only vm/, engine/, platform/.
// The cart record and the text cart (.z6): the in-memory form every cart
// format is read into and written from, its reader and writer, and the
// legacy fix-ups that bring carts of older format versions up to date.
#pragma once
#include <cstdint>
#include <string>
#include <memory>

#include "engine/vull.h" // vull_atomic_int

struct vull_bitmap;
struct vull_file;
struct vull_undo_stack;

constexpr int ZIBO6_CART_VERSION = 33;      // the version every written cart carries
constexpr int ZIBO6_CODE_MAX = 65535;       // characters of code the text reader accepts
constexpr int ZIBO6_CODE_SIZE = 65538;      // bytes of the code buffer (code + NUL + spare)
constexpr int ZIBO6_SFX_COUNT = 64;         // sound effects of a cart
constexpr int ZIBO6_NOTE_COUNT = 32;        // notes of one sound effect
constexpr int ZIBO6_PATTERN_COUNT = 64;     // music patterns of a cart
constexpr int ZIBO6_PATTERN_CHANNELS = 4;   // channel words of one pattern
constexpr int ZIBO6_SPRITE_COUNT = 256;     // sprites with a flag byte
constexpr int ZIBO6_SHEET_SIZE = 128;       // sprite sheet and label: 128 x 128 pixels
constexpr int ZIBO6_MAP_WIDTH = 128;        // map cells per row
constexpr int ZIBO6_MAP_HEIGHT = 64;        // map rows; 32-63 share memory with sprite rows 64-127
constexpr int ZIBO6_ROM_DATA_SIZE = 0x4300; // ROM bytes holding the cart's data (not code)
constexpr int ZIBO6_CHANGE_MASK_SIZE = ZIBO6_ROM_DATA_SIZE / 8; // one bit per ROM data byte
constexpr int ZIBO6_CART_UNDO_STACKS = 4;
constexpr int ZIBO6_CHANNEL_OFF = 0x40; // a channel word with this bit (or above 63) is off

// One note of a sound effect. Every word is read by the audio thread while the
// main thread may write it, hence relaxed atomics (a change shows on the next tick).
struct zibo6_note {
    vull_atomic_int pitch;      // 0-63
    vull_atomic_int instrument; // waveform 0-7
    vull_atomic_int volume;     // 0-7
    vull_atomic_int effect;     // 0-7
    vull_atomic_int custom;     // 0, or 128 when the instrument is the custom one
};

// A sound effect: 165 words, five header words then 32 notes of five.
struct zibo6_sfx {
    vull_atomic_int filters;    // filter bits (bit 0 unused)
    vull_atomic_int flag;       // one more flag; files keep only whether it is nonzero
    vull_atomic_int speed;      // ticks per note
    vull_atomic_int loop_start; // note index
    vull_atomic_int loop_end;   // note index; a loop plays when above loop_start
    zibo6_note note[ZIBO6_NOTE_COUNT];
};
static_assert(sizeof(vull_atomic_int) == 4, "a shared word is 32 bits");
static_assert(sizeof(zibo6_note) == 5 * 4, "a note is five words");
static_assert(sizeof(zibo6_sfx) == 165 * 4, "an sfx is 165 words");

// A cart. Created and freed only through vull_create_zibo6_cart and
// vull_destroy_zibo6_cart; it owns everything it points to.
struct zibo6_cart {
    char *code;           // ZIBO6_CODE_SIZE bytes, console character set, NUL-terminated
    vull_bitmap *sprites; // 128 x 128, 8-bit: one palette index per pixel
    vull_bitmap *map;     // 128 x 64, 8-bit: one sprite number per cell
    zibo6_sfx sfx[ZIBO6_SFX_COUNT];
    // Sfx number of each channel of each pattern; 64 or more (bit 6) is off.
    vull_atomic_int music[ZIBO6_PATTERN_COUNT][ZIBO6_PATTERN_CHANNELS];
    vull_atomic_int pattern_flags[ZIBO6_PATTERN_COUNT]; // bit 0 loop start, 1 loop back, 2 stop
    int32_t sprite_flags[ZIBO6_SPRITE_COUNT];           // one flag byte per sprite
    vull_bitmap *label;     // 128 x 128, 8-bit, pixels 0-15 and 128-143; null: no label
    int32_t version;        // format version the cart was read with
    int32_t legacy_applied; // 1 once apply_legacy_changes ran
    vull_undo_stack *undo[ZIBO6_CART_UNDO_STACKS]; // kept empty here; the editors fill them
    // One bit per ROM data byte: byte a is bit (a & 7) of change_mask[a >> 3].
    uint8_t change_mask[ZIBO6_CHANGE_MASK_SIZE];
};

// Load status of the last text cart read: one word for the whole console.
constexpr int ZIBO6_LOAD_OK = 0;
constexpr int ZIBO6_LOAD_FUTURE_VERSION = 1; // version above 33 and future carts not accepted
constexpr int ZIBO6_LOAD_CODE_TOO_LONG = 2;  // code above 65,535 characters
extern int zibo6_cart_load_status;

// The longest line the text reader takes; a longer one is refused at once. It
// is the longest line the writer writes: 65,535 characters of code whose
// glyphs each take up to 7 bytes as UTF-8 (a line buffer sized for 3 bytes a
// glyph would refuse carts this system saved).
constexpr int ZIBO6_TEXT_LINE_MAX = 65535 * 7;
// The largest file a cart reader opens. A text cart at its limits (65,535
// characters of code as UTF-8, every data section, the label) stays well under
// 1 MiB, a PNG cart under a few hundred KiB; larger files, and paths that are
// not regular files (folders, devices, pipes), are refused before a byte is read.
constexpr int64_t ZIBO6_CART_FILE_MAX = 4 << 20;
// 1 when the path names something the cart readers refuse (above); 0 for a
// regular file within the bound and for a path that does not exist (the
// virtual disk may hold it).
int zibo6_cart_path_refused(const char *path);

// The flag the cart loaders read is cconfig.accept_future (engine/config.h): the
// shell copies the console option there at the end of its start-up, so a cart
// loaded during start-up is refused above version 33 even with the option.

// A new record: speeds 16 (1 for sfx 0), every pattern's channels off
// (0x41-0x44), the change mask all set, no label. Null when memory runs out.
zibo6_cart *vull_create_zibo6_cart();
// Stops the cart's song and sfx, frees everything; null does nothing.
void vull_destroy_zibo6_cart(zibo6_cart *cart);
// Owns a record for a scope, so that a script error unwinding past it frees it too.
struct zibo6_cart_free {
    void operator()(zibo6_cart *cart) const { vull_destroy_zibo6_cart(cart); }
};
using zibo6_cart_owner = std::unique_ptr<zibo6_cart, zibo6_cart_free>;

// Text cart reader: a new record or null; sets zibo6_cart_load_status. With
// lenient nonzero a first line without the header is read as an ordinary line.
zibo6_cart *vull_load_zibo6_cart_from_file(vull_file *file, int lenient);
zibo6_cart *vull_load_zibo6_cart(const char *path); // null when the file does not open

// Text cart writer: header (unless no_header) and every non-empty section.
// 0 when written, 1 when the file did not open or a write failed.
int vull_save_zibo6_cart_to_file(zibo6_cart *cart, vull_file *file, int no_header);
int vull_save_zibo6_cart(zibo6_cart *cart, const char *path);
std::string zibo6_cart_text(const zibo6_cart *cart); // the file's text, header included
// The text of a cart stored into many times in a row (a cart storing a byte at a time),
// kept: an update makes again only the lines of ROM bytes first .. first + count - 1 (and
// the change mask), unless a section grew or shrank. Its code and label must not change.
struct zibo6_text_draft;
zibo6_text_draft *zibo6_text_draft_create(const zibo6_cart *cart);
void zibo6_text_draft_destroy(zibo6_text_draft *d);
const std::string &zibo6_text_draft_update(zibo6_text_draft *d, const zibo6_cart *cart, int first,
                                           int count);

// Brings a cart of an older format version up to the current behaviour; run
// once per cart, when legacy_applied is 0.
void apply_legacy_changes(zibo6_cart *cart);

// Emptiness as the writer sees it.
bool zibo6_sfx_is_empty(const zibo6_cart *cart, int index);
bool zibo6_pattern_is_empty(const zibo6_cart *cart, int index);

// How much of each section the text form holds (0 or false: not written).
struct zibo6_text_sections {
    int code_chars;  // characters of code
    int gfx_rows;    // sprite rows up to the last with a nonzero pixel
    bool label;      // a 128 x 128 label with a nonzero pixel
    bool gff;        // some sprite flag nonzero
    int map_rows;    // map rows (of 0-31) up to the last nonzero one
    int sfx_count;   // sfx up to the last non-empty one
    int music_count; // patterns up to the last non-empty one
    bool mask;       // some change-mask byte below 0xff
};
zibo6_text_sections zibo6_measure_text_sections(const zibo6_cart *cart);

// A format version estimated from code text (8, 9 or 10).
int vull_determine_cart_version(const char *code);
