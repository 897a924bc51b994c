// Stand-ins for the console runtime's services used by the script VM.
#include "tools/standins/console_standins.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/mem.h"
#include "vm/lcpu.h"
#include "vm/lua.h"

uint8_t z6_standin_memory[0x10000];
int z6_standin_cpu_spent = 0;
int64_t z6_standin_alloc_total = 0;
int64_t z6_standin_alloc_base = 0;
int z6_standin_memory_pressure = 0;
int z6_standin_alloc_failed = 0;
int z6_standin_uncounted = 0;

void z6_standin_reset(void) {
    z6_standin_cpu_spent = 0;
    z6_standin_alloc_total = 0;
    z6_standin_alloc_base = 0;
    z6_standin_memory_pressure = 0;
    z6_standin_alloc_failed = 0;
    z6_standin_uncounted = 0;
}

void spend_cpu(int n) {
    if (n < 0) return;
    int cycles = 2 * (n > 1 ? n : 1);
    z6_standin_cpu_spent += cycles;
    lua_add_cpu_cycles(cycles);
}

static inline uint32_t peek_byte(lua_Number addr, uint32_t offset) {
    uint32_t a = (static_cast<uint32_t>(addr >> 16) + offset) & 0xffffu;
    return z6_standin_memory[a];
}

lua_Number zibo6_peek_1(lua_Number addr) {
    return static_cast<lua_Number>(peek_byte(addr, 0) << 16);
}

lua_Number zibo6_peek_2(lua_Number addr) {
    uint32_t v = peek_byte(addr, 0) | (peek_byte(addr, 1) << 8);
    return static_cast<lua_Number>(v << 16);
}

lua_Number zibo6_peek_4(lua_Number addr) {
    uint32_t v = peek_byte(addr, 0) | (peek_byte(addr, 1) << 8) | (peek_byte(addr, 2) << 16) |
                 (peek_byte(addr, 3) << 24);
    return static_cast<lua_Number>(v);
}

// Each block carries its weight in a 4-byte word at the front of an 8-byte
// header, so the address handed to the VM keeps 8-byte alignment.
constexpr size_t Z6_ALLOC_HEADER = 8;

static uint32_t new_block_weight(size_t kind, size_t size) {
    switch (kind) {
    case 0: return z6_standin_uncounted ? 0 : static_cast<uint32_t>(size / 2);
    case 4: return size > 8 ? static_cast<uint32_t>(size - 8) : 0;
    case 1:
    case 3:
    case 5:
    case 6: return static_cast<uint32_t>(size / 2);
    case 2: return 0;
    default: return (kind >= 7 && kind <= 19) ? 32 : 0;
    }
}

void *zibo6_lua_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    (void)ud;
    uint8_t *base = ptr ? static_cast<uint8_t *>(ptr) - Z6_ALLOC_HEADER : nullptr;
    uint32_t oldw = 0;
    if (base) std::memcpy(&oldw, base, sizeof(oldw));
    if (nsize == 0) {
        if (base) {
            z6_standin_alloc_total -= oldw;
            vull_free(base);
        }
        return nullptr;
    }
    int64_t used = z6_standin_alloc_total + z6_standin_alloc_base;
    if (used > Z6_STANDIN_SOFT_LIMIT) {
        z6_standin_memory_pressure = 1;
        lua_cpu_superyield();
        // only growth is refused: a refused shrink would gain nothing
        if (used > Z6_STANDIN_HARD_LIMIT && (ptr == nullptr || nsize > osize)) {
            std::printf("host allocation error\n");
            std::printf("%dmb + %dk\n", static_cast<int>(used / (1024 * 1024)),
                        static_cast<int>(nsize / 1024));
            z6_standin_alloc_failed = 1;
            return nullptr;
        }
    }
    if (nsize > static_cast<size_t>(INT_MAX) - 64) return nullptr;
    uint8_t *nb =
        static_cast<uint8_t *>(vull_realloc(base, static_cast<int>(nsize + Z6_ALLOC_HEADER)));
    if (nb == nullptr) return nullptr;
    uint32_t neww;
    if (ptr == nullptr)
        neww = new_block_weight(osize, nsize);
    else if (oldw == 0)
        neww = 0;
    else if (oldw == osize / 2)
        neww = static_cast<uint32_t>(nsize / 2);
    else
        neww = static_cast<uint32_t>(nsize);
    z6_standin_alloc_total += static_cast<int64_t>(neww) - static_cast<int64_t>(oldw);
    std::memcpy(nb, &neww, sizeof(neww));
    return nb + Z6_ALLOC_HEADER;
}
