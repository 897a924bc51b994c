// Out-of-memory walks: a VM state whose allocator refuses the Nth request (only that one,
// or that one and every one after), for every N until a run no longer reaches it. The
// state opens its libraries, loads a program and runs it in slices of a small cycle
// budget; every run ends with the memory error or with the result of a clean run, and
// leaves no block behind once the state is closed. make test walks every N of the first
// and last requests of a clean run and a fixed sample between; make test-long all of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/sweep.h"
#include "tests/vm/vm_test_util.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/lua.h"
#include "vm/lualib.h"

namespace {

struct Heap {
    long requests = 0;    // requests for a block or a new size (frees do not count)
    long refuse_at = 0;   // the request to refuse (0: none)
    bool after = false;   // refuse every request from refuse_at on
    bool refused = false; // a request was refused
    long in_use = 0;      // bytes held, from the sizes the VM gives
};

void *walk_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    Heap *h = static_cast<Heap *>(ud);
    long old = ptr ? long(osize) : 0;
    if (nsize == 0) {
        h->in_use -= old;
        std::free(ptr);
        return nullptr;
    }
    long n = ++h->requests;
    if (h->refuse_at > 0 && (n == h->refuse_at || (h->after && n > h->refuse_at))) {
        h->refused = true;
        return nullptr;
    }
    void *p = std::realloc(ptr, nsize);
    if (p) h->in_use += long(nsize) - old;
    return p;
}

struct Run {
    const char *code;
    int stock;       // library set: 0 cart mode, 1 stock
    int budget;      // slice budget, or -1 to run without one
    int status = -1; // LUA_OK or LUA_ERRMEM from load or run
    std::string result;
};

// Opens the libraries, loads the program into a thread and resumes it slice by slice.
int run_protected(lua_State *L) {
    Run *r = static_cast<Run *>(lua_touserdata(L, 1));
    luaL_openhostlibs(L, r->stock);
    lua_State *co = lua_newthread(L);
    r->status = luaL_loadstring(co, r->code);
    if (r->status != LUA_OK) return 0;
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(r->budget < 0 ? 0x7fffffff : r->budget);
    do {
        lua_cpu_prepare_for_slice();
        lua_cpu_prepare_for_resume();
        r->status = lua_resume(co, L, 0);
    } while (r->status == LUA_YIELD);
    if (r->status == LUA_OK) r->result = z6test::stack_text(co);
    return 0;
}

// One run with the heap's refusal set; the outcome status (load, run or the protected call).
int run_once(Heap &heap, Run &r) {
    r.status = -1;
    r.result.clear();
    lua_State *L = lua_newstate(walk_alloc, &heap);
    if (!L) {
        EXPECT_EQ(heap.in_use, 0);
        return LUA_ERRMEM;
    }
    lua_pushcfunction(L, run_protected);
    lua_pushlightuserdata(L, &r);
    int status = lua_pcall(L, 1, 0, 0);
    if (status == LUA_OK) status = r.status;
    lua_close(L);
    EXPECT_EQ(heap.in_use, 0);
    return status;
}

void walk(const char *code, int stock, int budget) {
    Heap clean;
    Run want{code, stock, budget, -1, {}};
    ASSERT_EQ(run_once(clean, want), LUA_OK) << want.result;
    // Refuses request n; whether a run reached it.
    auto refuse = [&](long n, bool after) {
        Heap heap;
        heap.refuse_at = n;
        heap.after = after;
        Run r{code, stock, budget, -1, {}};
        int status = run_once(heap, r);
        SCOPED_TRACE("refusing request " + std::to_string(n) + (after ? " and after" : ""));
        if (status == LUA_OK)
            EXPECT_EQ(r.result, want.result);
        else
            EXPECT_EQ(status, LUA_ERRMEM) << r.result;
        return heap.refused;
    };
    // the hash seed varies between states, so request counts vary a little: the
    // points stop short of the clean run's last requests, and the walk goes on
    // one at a time from there (a run reaches that far) until a run no longer reaches n
    long tail = clean.requests * 9 / 10;
    std::vector<size_t> points = z6_sweep_points(size_t(tail), 64, 200);
    for (bool after : {true, false}) {
        for (size_t p : points) {
            refuse(long(p) + 1, after);
            if (::testing::Test::HasFailure()) return;
        }
        long n = tail;
        while (refuse(n, after) && !::testing::Test::HasFailure()) n++;
        EXPECT_GT(n, tail);
    }
    lua_set_cpu_cycles_slice_max(0x7fffffff);
}

// Strings, tables in both parts, closures and upvalues, coroutines and their errors,
// metatables with a finaliser, list functions, varargs and concatenation.
const char *kCartProgram = R"~(
local t = {}
for i = 1, 60 do t[i] = i * 3 end
local h = {}
for i = 1, 40 do h["k" .. i] = i end
local s = ""
for i = 1, 30 do s = s .. sub("abcdef", i % 6 + 1) end
local function counter() local n = 0 return function() n = n + 1 return n end end
local c = counter() c() c()
local co = cocreate(function(a) local x = yield(a + 1) return x * 2 end)
local _, y = coresume(co, 4)
local _, z = coresume(co, y)
local bad = coresume(cocreate(function() local q = nil return q.x end))
local o = setmetatable({}, {__index = function(_, k) return k .. "!" end, __gc = function() end})
add(t, 5) del(t, 3)
local p = pack(unpack(t, 1, 10))
return #t, h.k7, #s, c(), z, o.key, bad, tostring(12.5), select("#", unpack(t)), p.n
)~";

const char *kStockProgram = R"~(
local words = {}
for w in string.gmatch("one two three four five", "%a+") do words[#words + 1] = w:upper() end
local text = table.concat(words, ",")
local swapped = text:gsub("(%a+),(%a+)", "%2-%1")
local f = string.format("%5.1f|%d|%s", 3.25, 42, "x")
table.sort(words, function(a, b) return a > b end)
local ok, err = pcall(error, {code = 7})
local ok2 = pcall(function() return nil .. "x" end)
return text, swapped, f, words[1], ok, type(err), ok2, string.rep("ab", 3, "-")
)~";

} // namespace

TEST(MemoryWalk, CartProgramUnderABudget) { walk(kCartProgram, 0, 40); }

TEST(MemoryWalk, CartProgramWithoutABudget) { walk(kCartProgram, 0, -1); }

TEST(MemoryWalk, StockLibraries) { walk(kStockProgram, 1, 25); }
