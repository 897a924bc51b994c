// Helpers of the value, table, string and collector tests: a state over a
// counting allocator with an optional cap, and a runner for program text.
#ifndef Z6_TESTS_VM_V1_TEST_UTIL_H
#define Z6_TESTS_VM_V1_TEST_UTIL_H

#include <cstdlib>
#include <cstring>
#include <string>

#include "vm/lstate.h"
#include "vm/lua.h"

namespace z6v1 {

// Counts what the VM asks for and refuses growth beyond 'cap' bytes in use.
struct Heap {
  size_t in_use = 0;          // bytes the VM holds (sum of requested sizes)
  size_t cap = SIZE_MAX;      // refuse requests that would pass this
  int refused = 0;            // requests refused
  int frees = 0;              // blocks freed
  bool refuse_shrinks = false;
  int fail_after = -1;        // refuse every request after this many more (-1: off)
};

inline void *heap_alloc (void *ud, void *ptr, size_t osize, size_t nsize) {
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
  if (shrink) refuse = h->refuse_shrinks;
  else if (h->in_use - old + nsize > h->cap) refuse = true;
  if (h->fail_after >= 0) {
    if (h->fail_after == 0) refuse = true;
    else h->fail_after--;
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
  State () : L(lua_newstate(heap_alloc, &heap)) {}
  ~State () { if (L) lua_close(L); }
  State (const State &) = delete;
  State &operator= (const State &) = delete;
  operator lua_State *() const { return L; }
};

struct Text {
  const char *s;
  size_t n;
};

inline const char *text_reader (lua_State *, void *ud, size_t *sz) {
  Text *t = static_cast<Text *>(ud);
  *sz = t->n;
  t->n = 0;
  return *sz ? t->s : nullptr;
}

// Compiles and runs text with all results left on the stack; returns the status.
inline int run (lua_State *L, const std::string &code) {
  Text t{code.c_str(), code.size()};
  int status = lua_load(L, text_reader, &t, "=test", nullptr);
  if (status != LUA_OK) return status;
  return lua_pcall(L, 0, LUA_MULTRET, 0);
}

// The text form of the value at idx (numbers through the VM's own formatter).
inline std::string text (lua_State *L, int idx) {
  if (lua_type(L, idx) == LUA_TNUMBER || lua_type(L, idx) == LUA_TSTRING) {
    lua_pushvalue(L, idx);
    size_t len = 0;
    const char *s = lua_tolstring(L, -1, &len);
    std::string r(s, len);
    lua_pop(L, 1);
    return r;
  }
  if (lua_type(L, idx) == LUA_TBOOLEAN) return lua_toboolean(L, idx) ? "true" : "false";
  return lua_typename(L, lua_type(L, idx));
}

// Runs f(L) under lua_pcall; returns the status and leaves the message (if any) on top.
inline int protect (lua_State *L, lua_CFunction f) {
  lua_pushcfunction(L, f);
  return lua_pcall(L, 0, 0, 0);
}

}  // namespace z6v1

#endif
