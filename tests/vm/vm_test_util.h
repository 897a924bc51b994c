// Shared helpers of the interpreter, CPU and call tests: a VM state with a
// handful of test-only globals (print, setmt, pcall, coroutine helpers, a
// fast C function) and runners that compile text through lua_load.
#ifndef Z6_TESTS_VM_TEST_UTIL_H
#define Z6_TESTS_VM_TEST_UTIL_H

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vm/lcpu.h"
#include "vm/ldebug.h"
#include "vm/lstate.h"
#include "vm/lua.h"

namespace z6test {

inline std::string printed; // what the script's print wrote

inline void *plain_alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        free(ptr);
        return nullptr;
    }
    return realloc(ptr, nsize);
}

inline std::string value_text(lua_State *L, int idx) {
    switch (lua_type(L, idx)) {
    case LUA_TNIL: return "nil";
    case LUA_TBOOLEAN: return lua_toboolean(L, idx) ? "true" : "false";
    case LUA_TNUMBER:
    case LUA_TSTRING: {
        lua_checkstack(L, 1);  // a dead thread's frame may be full
        lua_pushvalue(L, idx); // keep the original a number
        size_t len = 0;
        const char *s = lua_tolstring(L, -1, &len);
        std::string r(s, len);
        lua_pop(L, 1);
        return r;
    }
    default: return lua_typename(L, lua_type(L, idx));
    }
}

inline int l_print(lua_State *L) {
    int n = lua_gettop(L);
    for (int i = 1; i <= n; i++) {
        if (i > 1) printed += "\t";
        printed += value_text(L, i);
    }
    printed += "\n";
    return 0;
}

inline int l_setmt(lua_State *L) {
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

inline int l_error(lua_State *L) {
    lua_settop(L, 1);
    return lua_error(L);
}

// pcall(f, ...) -> true, results | false, message
inline int l_pcall(lua_State *L) {
    int n = lua_gettop(L);
    int status = lua_pcall(L, n - 1, LUA_MULTRET, 0);
    lua_pushboolean(L, status == LUA_OK);
    lua_insert(L, 1);
    return lua_gettop(L);
}

inline int l_cocreate(lua_State *L) {
    lua_State *co = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, co, 1);
    return 1;
}

// coresume(co, ...) -> true, values | false, message
inline int l_coresume(lua_State *L) {
    lua_State *co = lua_tothread(L, 1);
    int n = lua_gettop(L) - 1;
    if (co != L && lua_status(co) == LUA_OK && lua_gettop(co) == 0) {
        lua_pushboolean(L, 0);
        lua_pushstring(L, "cannot resume dead coroutine");
        return 2;
    }
    if (co != L) lua_xmove(L, co, n);
    int status = lua_resume(co, L, co == L ? 0 : n);
    if (status == LUA_OK || status == LUA_YIELD) {
        int nres = lua_gettop(co);
        lua_checkstack(L, nres + 1);
        lua_pushboolean(L, 1);
        lua_xmove(co, L, nres);
        return nres + 1;
    }
    lua_pushboolean(L, 0);
    if (co == L) { // the message is already on this stack
        lua_insert(L, -2);
        return 2;
    }
    lua_xmove(co, L, 1);
    return 2;
}

inline int l_coyield(lua_State *L) { return lua_yield(L, lua_gettop(L)); }

// calls its first argument from C without a continuation
inline int l_ccall(lua_State *L) {
    lua_call(L, lua_gettop(L) - 1, 1);
    return 1;
}

// fast function: sum of its arguments, 7 with none
inline int f_sum(lua_State *L) {
    int n = L->nfastargs;
    if (n == 0) return 7 << 16;
    lua_Number s = 0;
    for (int i = 0; i < n; i++) s += lua_tonumber_from_tvalue(L->top - n + i);
    return s;
}

inline int f_nargs(lua_State *L) { return L->nfastargs << 16; }

struct State {
    lua_State *L;
    State() {
        L = lua_newstate(plain_alloc, nullptr);
        lua_register(L, "print", l_print);
        lua_register(L, "setmt", l_setmt);
        lua_register(L, "error", l_error);
        lua_register(L, "pcall", l_pcall);
        lua_register(L, "cocreate", l_cocreate);
        lua_register(L, "coresume", l_coresume);
        lua_register(L, "yield", l_coyield);
        lua_register(L, "ccall", l_ccall);
        lua_pushcclosure(L, f_sum, LUA_FASTCALL);
        lua_setglobal(L, "fsum");
        lua_pushcclosure(L, f_nargs, LUA_FASTCALL);
        lua_setglobal(L, "fnargs");
        printed.clear();
        lua_reset_cpu_cycles();
        lua_set_cpu_cycles_slice_max(0x7fffffff);
        lua_cpu_prepare_for_resume();
        lua_set_cpu_superyielded_coresume(0);
    }
    ~State() {
        lua_close(L);
        lua_set_cpu_cycles_slice_max(0x22222);
        lua_cpu_prepare_for_resume();
    }
    operator lua_State *() const { return L; }
};

struct Reader {
    const std::string *text;
    bool done;
};

inline const char *read_text(lua_State *, void *ud, size_t *size) {
    Reader *r = static_cast<Reader *>(ud);
    if (r->done) {
        *size = 0;
        return nullptr;
    }
    r->done = true;
    *size = r->text->size();
    return r->text->data();
}

inline int load(lua_State *L, const std::string &code) {
    Reader r{&code, false};
    return lua_load(L, read_text, &r, "=test", "t");
}

struct Result {
    int status = -1;
    std::vector<std::string> values; // results, or the error message
    std::string joined() const {
        std::string s;
        for (size_t i = 0; i < values.size(); i++) s += (i ? " " : "") + values[i];
        return s;
    }
};

// compile and run under lua_pcall; results as text
inline Result run(lua_State *L, const std::string &code) {
    Result r;
    lua_settop(L, 0);
    r.status = load(L, code);
    if (r.status == LUA_OK) r.status = lua_pcall(L, 0, LUA_MULTRET, 0);
    for (int i = 1; i <= lua_gettop(L); i++) r.values.push_back(value_text(L, i));
    lua_settop(L, 0);
    return r;
}

// every value on the stack, joined by spaces
inline std::string stack_text(lua_State *L) {
    std::string s;
    for (int i = 1; i <= lua_gettop(L); i++) s += (i > 1 ? " " : "") + value_text(L, i);
    return s;
}

struct Sliced {
    int resumes = 0;
    int status = -1;
    std::vector<int> slice_cycles; // the slice counter at each yield
};

// Resumes L (its main function loaded on the stack) one slice of `budget`
// cycles at a time, as the console runs a cart, until it stops yielding
// or max_resumes have been made.
inline Sliced resume_sliced(lua_State *L, int budget, int max_resumes = 100000) {
    Sliced s;
    lua_set_cpu_cycles_slice_max(budget);
    do {
        lua_cpu_prepare_for_slice();
        lua_cpu_prepare_for_resume();
        s.status = lua_resume(L, nullptr, 0);
        s.resumes++;
        if (s.status == LUA_YIELD) s.slice_cycles.push_back(static_cast<int>(cpu_cycles_slice));
    } while (s.status == LUA_YIELD && s.resumes < max_resumes);
    return s;
}

} // namespace z6test

#endif
