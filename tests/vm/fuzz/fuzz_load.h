// One fuzz input: compiled as the console compiles program text (through
// luaL_loadstring: up to the first zero byte, named by the text), then, when
// it starts like a binary chunk, loaded as one, or else, when it holds zero
// bytes, compiled whole as load() would. Nothing is run. Shared by
// the libFuzzer target and the corpus replay test.
#pragma once
#include <cstdint>
#include <string>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "tests/vm/load_test_util.h"

namespace z6fuzz {

/* Returns the status of the text compile (the binary load's is ignored). */
inline int load_one(const uint8_t *data, size_t size) {
    std::string raw(reinterpret_cast<const char *>(data), size);
    lua_State *L = lua_newstate(z6load::plain_alloc, nullptr);
    if (!L) return -1;
    int status = luaL_loadstring(L, raw.c_str()) /* stops at a zero byte */;
    if (!raw.empty() && raw[0] == '\x1b') {
        lua_settop(L, 0);
        luaL_loadbufferx(L, raw.data(), raw.size(), "=fuzz", "b");
    } else if (raw.find('\0') != std::string::npos) { /* load() sees the zero bytes too */
        lua_settop(L, 0);
        luaL_loadbufferx(L, raw.data(), raw.size(), "=fuzz", "t");
    }
    lua_close(L);
    return status;
}

} // namespace z6fuzz
