// One fuzz input: compiled as the console compiles program text (through
// luaL_loadstring: up to the first zero byte, named by the text), and, when
// it starts like a binary chunk, loaded as one. Nothing is run. Shared by
// the libFuzzer target and the corpus replay test.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vm/lauxlib.h"
#include "vm/lua.h"

namespace z6fuzz {

inline void *alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, nsize);
}

/* Returns the status of the text compile (the binary load's is ignored). */
inline int load_one(const uint8_t *data, size_t size) {
    std::string raw(reinterpret_cast<const char *>(data), size);
    lua_State *L = lua_newstate(alloc, nullptr);
    if (!L) return -1;
    int status = luaL_loadstring(L, raw.c_str()) /* stops at a zero byte */;
    if (!raw.empty() && raw[0] == '\x1b') {
        lua_settop(L, 0);
        luaL_loadbufferx(L, raw.data(), raw.size(), "=fuzz", "b");
    }
    lua_close(L);
    return status;
}

} // namespace z6fuzz
