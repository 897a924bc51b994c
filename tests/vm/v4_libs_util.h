// Helpers of the library tests: a VM state with the cart-mode globals (the
// console's names for library functions) or the stock libraries, and a
// runner that compiles text with luaL_loadstring, calls it protected and
// returns its results (or its error message) as tab-separated text.
#ifndef Z6_TESTS_VM_V4_LIBS_UTIL_H
#define Z6_TESTS_VM_V4_LIBS_UTIL_H

#include <cstdlib>
#include <string>

#include "tools/standins/console_standins.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace z6libs {

inline void *plain_alloc (void *, void *ptr, size_t, size_t nsize) {
  if (nsize == 0) {
    std::free(ptr);
    return nullptr;
  }
  return std::realloc(ptr, nsize);
}

struct Reg {
  const char *name;
  lua_CFunction f;
};

// The functions a cart sees under the console's names.
inline constexpr Reg cart_functions[] = {
  {"deli", tremove}, {"add", tinsert}, {"del", tdel}, {"count", tcount},
  {"sub", str_sub}, {"next", luaB_next}, {"setmetatable", luaB_setmetatable},
  {"getmetatable", luaB_getmetatable}, {"rawequal", luaB_rawequal},
  {"rawlen", luaB_rawlen}, {"rawget", luaB_rawget}, {"rawset", luaB_rawset},
  {"assert", luaB_assert}, {"unpack", unpack}, {"pack", pack},
  {"select", luaB_select}, {"trace", db_traceback}, {"__trace", db_traceback},
  {"cocreate", luaB_cocreate}, {"coresume", luaB_coresume},
  {"costatus", luaB_costatus}, {"yield", luaB_yield},
  {"tostring", luaB_tostring}, {"type", luaB_type}, {"pairs", luaB_pairs},
  {"ipairs", luaB_ipairs},
};

inline std::string text (lua_State *L, int idx) {
  switch (lua_type(L, idx)) {
    case LUA_TNIL: return "nil";
    case LUA_TBOOLEAN: return lua_toboolean(L, idx) ? "true" : "false";
    case LUA_TNUMBER:
    case LUA_TSTRING: {
      lua_pushvalue(L, idx);
      size_t len = 0;
      const char *s = lua_tolstring(L, -1, &len);
      std::string r(s, len);
      lua_pop(L, 1);
      return r;
    }
    default: return luaL_typename(L, idx);
  }
}

// the message without its "[string ...]:N: " position prefix
inline std::string strip_position (const std::string &m) {
  size_t p = m.find("]:");
  if (m.rfind("[string ", 0) != 0 || p == std::string::npos) return m;
  size_t q = m.find(": ", p + 2);
  return q == std::string::npos ? m : m.substr(q + 2);
}

struct State {
  lua_State *L;
  explicit State (bool stock = false) {
    L = lua_newstate(plain_alloc, nullptr);
    luaL_openlibs(L);
    if (stock) {
      const Reg libs[] = {{"_G", luaopen_base}, {"table", luaopen_table},
                          {"string", luaopen_string}, {"math", luaopen_math},
                          {"bit32", luaopen_bit32}, {"coroutine", luaopen_coroutine},
                          {"os", luaopen_os}, {"debug", luaopen_debug},
                          {"package", luaopen_package}};
      for (const Reg &r : libs) {
        luaL_requiref(L, r.name, r.f, 1);
        lua_pop(L, 1);
      }
    } else {
      for (const Reg &r : cart_functions) {
        lua_pushcfunction(L, r.f);
        lua_setglobal(L, r.name);
      }
    }
    z6_standin_reset();
    lua_reset_cpu_cycles();
  }
  ~State () { lua_close(L); }
  State (const State &) = delete;
  State &operator= (const State &) = delete;

  // results joined by tabs, or "error: " and the message (prefix removed)
  std::string run (const std::string &code) {
    lua_settop(L, 0);
    if (luaL_loadstring(L, code.c_str()) != LUA_OK)
      return "syntax: " + text(L, -1);
    if (lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK)
      return "error: " + strip_position(text(L, -1));
    std::string out;
    for (int i = 1; i <= lua_gettop(L); i++) {
      if (i > 1) out += "\t";
      out += text(L, i);
    }
    lua_settop(L, 0);
    return out;
  }

  // cycles charged through spend_cpu by 'code' (the statement's own
  // instruction cycles are not part of it)
  int spent (const std::string &code) {
    z6_standin_cpu_spent = 0;
    run(code);
    return z6_standin_cpu_spent;
  }
};

}  // namespace z6libs

#endif
