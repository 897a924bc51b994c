// Helpers of the compiler and binary-chunk tests: a plain state that loads a
// byte string whole (zero bytes included) and reads back the error message
// with its length. The allocator and reader are the VM tests' shared ones.
#ifndef Z6_TESTS_VM_LOAD_TEST_UTIL_H
#define Z6_TESTS_VM_LOAD_TEST_UTIL_H

#include <string>

#include "tests/vm/vm_test_util.h"
#include "vm/lua.h"

namespace z6load {

using z6test::plain_alloc;
using z6test::read_text;
using z6test::Reader;

struct State {
    lua_State *L = lua_newstate(plain_alloc, nullptr);
    State() = default;
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    ~State() { lua_close(L); }

    /* loads src on an empty stack; name null names the chunk by its text */
    int load(const std::string &src, const char *name = nullptr, const char *mode = nullptr) {
        lua_settop(L, 0);
        Reader r{&src, false};
        return lua_load(L, read_text, &r, name ? name : src.c_str(), mode);
    }

    /* the value on top as text, any byte included */
    std::string message() {
        size_t len = 0;
        const char *s = lua_tolstring(L, -1, &len);
        return s ? std::string(s, len) : std::string("(no message)");
    }
};

} // namespace z6load

#endif
