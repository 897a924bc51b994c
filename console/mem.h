// The console's 64 KB memory map: the byte encoding of every section over its
// working store (cart record, RAM image, decoded registers, draw surface),
// single-byte access with and without the console state, block copy and fill,
// and the reload and cstore fronts, and the VM's peek operators.
#pragma once
#include <string>
#include <array>
#include <cstddef>
#include <cstdint>

#include "vm/lua.h"

struct console_state;
struct zibo6_cart;

constexpr int Z6_ROM_SIZE = 0x4300;        // cart data bytes 0x0000-0x42ff
constexpr int Z6_UPPER_GATE = 0x10;        // bit of 0x5f36 that opens 0x8000-0xffff
constexpr int Z6_CSTORE_NAME_MAX = 511;    // longest file name reload() and cstore() take
constexpr int Z6_RELOAD_MAX = 32767;       // longest working-cart reload

// Section codes of the 256-byte pages: 0 translated a byte at a time, 1 sprite
// sheet and 2 screen (two pixels a byte), bit 0x8 stored one for one (8 map,
// 9 user data, 10 upper memory).
enum : uint8_t {
    MEM_BYTEWISE = 0,
    MEM_SPRITES = 1,
    MEM_SCREEN = 2,
    MEM_MAP = 8,
    MEM_USER = 9,
    MEM_UPPER = 10,
};
extern const std::array<uint8_t, 256> mem_section;

// One byte. ram is the console state (&pstate) or null for the ROM view of the
// cart (0x0000-0x42ff; writes above are ignored, reads give 0). cart backs
// 0x0000-0x42ff; a null cart reads 0 and ignores writes there.
void zibo6_poke(console_state *ram, zibo6_cart *cart, int address, int value);
int zibo6_peek(console_state *ram, zibo6_cart *cart, int address);
// The cart's whole ROM data (0x0000-0x42ff) at once, byte for byte as zibo6_peek
// and zibo6_poke with a null ram read and write it.
void zibo6_peek_rom(zibo6_cart *cart, uint8_t *image);
void zibo6_poke_rom(zibo6_cart *cart, const uint8_t *image);
// The VM's peek operators on pstate and its memory cart (the VM calls them
// through zibo6_vm): byte << 16, little-endian 16 bits << 16, raw 32 bits.
lua_Number zibo6_peek_1(lua_Number addr);
lua_Number zibo6_peek_2(lua_Number addr);
lua_Number zibo6_peek_4(lua_Number addr);

// Block copy (as if through a buffer) and fill. Errors ("bad memcpy at 0x%x\n",
// "bad memcpy at 0x8000", "bad memset at 0x%x\n", "bad poke at 0x%x\n") are
// raised through zibo6_runtime_error on the running thread.
void zibo6_memcpy(console_state *ram, zibo6_cart *cart, int dest, int src, int len);
void zibo6_memset(console_state *ram, zibo6_cart *cart, int dest, int value, int len);
// The same by the byte rules for every page (nothing in the player uses them).
void zibo6_memcpy_simple(console_state *ram, zibo6_cart *cart, int dest, int src, int len);
void zibo6_memset_simple(console_state *ram, zibo6_cart *cart, int dest, int value, int len);
// One piece of a copy, cut at the first page end of either side (len above 32767 does nothing).
void zibo6_memcpy_segment(console_state *ram, zibo6_cart *cart, int dest, int src, int len);
// Where block operations keep an address's byte: two pixels a byte for the sprite
// sheet and the screen, a map cell or a RAM byte otherwise; null for pages read
// byte by byte and for stores that do not exist yet.
uint8_t *get_memcpy_byte(console_state *ram, zibo6_cart *cart, int a);

// The working cart's (pitem.cart) ROM view into memory: ram and cart are the
// destination, &pstate and pstate.memory_cart; len above 32767 does nothing.
void zibo6_reload(console_state *ram, zibo6_cart *cart, int dest, int src, int len);

// reload(dest, src, len, name) and cstore(dest, src, len [, name]) of the API:
// the name checks and the target path, then the cart file operation. Return
// len on success, 0 when refused or failed. name (length bytes, as the cart
// gave it) null: cstore to the running cart's own sandbox file.
int zibo6_reload_from_file(const char *name, size_t length, int dest, int src, int len);
int zibo6_cstore_to_file(const char *name, size_t length, int dest, int src, int len);
// The file a cart-given name stands for under cstore/, as a clean relative path: one
// leading "/" dropped, "." and empty components dropped. "" (refused) for more than 511
// bytes, a NUL, a second leading "/" or a trailing one, a ".." component (with either
// separator) or a component beginning "__" (the sandbox files are the console's own).
std::string zibo6_cstore_name(const char *name, size_t length);
int zibo6_cstore_name_ok(const char *name, size_t length); // 1 when the name is not refused

// Older single-file cstore: memory into the cart's ROM view, then the working
// cart saved to its own file. len, or 0 when there is no file or saving failed.
int zibo6_cstore(zibo6_cart *cart, int dest, int src, int len);

void reload_font(); // nothing to reload: the font is not in cart memory
