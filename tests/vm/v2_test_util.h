// Helpers of the compiler and binary-chunk tests: a state over the C
// allocator that loads a byte string whole (zero bytes included) and reads
// back the error message with its length.
#ifndef Z6_TESTS_VM_V2_TEST_UTIL_H
#define Z6_TESTS_VM_V2_TEST_UTIL_H

#include <cstdlib>
#include <string>

#include "vm/lua.h"

namespace z6v2 {

inline void *alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, nsize);
}

/* lua_Reader handing over the whole text in one block */
struct Reader {
    const std::string *text;
    bool done;
};

inline const char *read_once(lua_State *, void *ud, size_t *size) {
    auto *r = static_cast<Reader *>(ud);
    if (r->done) return nullptr;
    r->done = true;
    *size = r->text->size();
    return r->text->data();
}

struct State {
    lua_State *L = lua_newstate(alloc, nullptr);
    State() = default;
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    ~State() { lua_close(L); }

    /* loads src on an empty stack; name null names the chunk by its text */
    int load(const std::string &src, const char *name = nullptr, const char *mode = nullptr) {
        lua_settop(L, 0);
        Reader r{&src, false};
        return lua_load(L, read_once, &r, name ? name : src.c_str(), mode);
    }

    /* the value on top as text, any byte included */
    std::string message() {
        size_t len = 0;
        const char *s = lua_tolstring(L, -1, &len);
        return s ? std::string(s, len) : std::string("(no message)");
    }
};

} // namespace z6v2

#endif
