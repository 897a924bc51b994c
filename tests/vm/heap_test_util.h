// Helpers of the value, table, string and collector tests: a state over a
// counting allocator with an optional cap.
#ifndef Z6_TESTS_VM_HEAP_TEST_UTIL_H
#define Z6_TESTS_VM_HEAP_TEST_UTIL_H

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/vm/vm_test_util.h"
#include "vm/lstate.h"
#include "vm/lua.h"

namespace z6heap {

// Counts what the VM asks for and refuses growth beyond 'cap' bytes in use.
struct Heap {
    size_t in_use = 0;     // bytes the VM holds (sum of requested sizes)
    size_t cap = SIZE_MAX; // refuse requests that would pass this
    int refused = 0;       // requests refused
    int frees = 0;         // blocks freed
    bool refuse_shrinks = false;
    int fail_after = -1; // refuse every request after this many more (-1: off)
};

inline void *heap_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    Heap *h = static_cast<Heap *>(ud);
    size_t old = ptr ? osize : 0;
    if (nsize == 0) {
        if (ptr) {
            h->in_use -= old;
            h->frees++;
        }
        std::free(ptr);
        return nullptr;
    }
    bool shrink = ptr && nsize <= old;
    bool refuse = false;
    if (shrink)
        refuse = h->refuse_shrinks;
    else if (h->in_use - old + nsize > h->cap)
        refuse = true;
    if (h->fail_after >= 0) {
        if (h->fail_after == 0)
            refuse = true;
        else
            h->fail_after--;
    }
    if (refuse) {
        h->refused++;
        return nullptr;
    }
    void *p = std::realloc(ptr, nsize);
    if (p) h->in_use = h->in_use - old + nsize;
    return p;
}

struct State {
    Heap heap;
    lua_State *L;
    State() : L(lua_newstate(heap_alloc, &heap)) {}
    ~State() {
        if (L) lua_close(L);
    }
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    operator lua_State *() const { return L; }
};

// The text form of the value at idx (numbers through the VM's own formatter).
inline std::string text(lua_State *L, int idx) { return z6test::value_text(L, idx); }

// Runs f(L) under lua_pcall; returns the status and leaves the message (if any) on top.
inline int protect(lua_State *L, lua_CFunction f) {
    lua_pushcfunction(L, f);
    return lua_pcall(L, 0, 0, 0);
}

} // namespace z6heap

#endif
