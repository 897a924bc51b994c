// Memory manager and collector: collections under a tight limit, the
// emergency collection and its retry, memory errors, refused shrinks, the
// byte counts of lua_gc, weak tables, finalizers, generational mode, state
// creation failures and the console allocator stand-in.
#include <gtest/gtest.h>

#include <string>

#include "tests/vm/heap_test_util.h"
#include "console/heap.h"
#include "cart/state.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/lgc.h"
#include "vm/lmem.h"
#include "vm/lstring.h"
#include "vm/ltable.h"

namespace {

// builds n garbage tables (each with a few entries) from C
void make_garbage(lua_State *L, int n) {
    for (int i = 0; i < n; i++) {
        lua_createtable(L, 4, 4);
        lua_pushinteger(L, i);
        lua_setfield(L, -2, "i");
        lua_pushstring(L, ("garbage" + std::to_string(i)).c_str());
        lua_rawseti(L, -2, 1);
        lua_pop(L, 1);
    }
}

size_t gc_bytes(lua_State *L) {
    return static_cast<size_t>(lua_gc(L, LUA_GCCOUNT, 0)) * 1024 +
           static_cast<size_t>(lua_gc(L, LUA_GCCOUNTB, 0));
}

int alloc_big_string(lua_State *L) {
    std::string s(static_cast<size_t>(lua_tointeger(L, lua_upvalueindex(1))) * 1024, 's');
    lua_pushlstring(L, s.data(), s.size());
    return 1;
}

// makes a string of kb KB under lua_pcall; the string or the message stays on top
int pcall_big_string(lua_State *L, int kb) {
    lua_pushinteger(L, kb);
    lua_pushcclosure(L, alloc_big_string, 1);
    return lua_pcall(L, 0, 1, 0);
}

// a vector already at its limit: the limit is shown as a C integer
int grow_past_limit(lua_State *L) {
    int size = 262143;
    luaM_growaux_(L, nullptr, &size, sizeof(int), 262143, "functions");
    return 0;
}

} // namespace

TEST(Gc, CountsAreTheSumOfRequestedSizes) {
    z6heap::State L;
    EXPECT_EQ(gc_bytes(L), L.heap.in_use);
    make_garbage(L, 100);
    EXPECT_EQ(gc_bytes(L), L.heap.in_use);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(gc_bytes(L), L.heap.in_use);
    EXPECT_EQ(lua_gc(L, LUA_GCSETSTEPMUL, 10), 200);
    EXPECT_EQ(lua_gc(L, LUA_GCSETSTEPMUL, 200), 10);
    EXPECT_EQ(lua_gc(L, LUA_GCSETPAUSE, 150), 200);
    EXPECT_EQ(lua_gc(L, LUA_GCSETMAJORINC, 300), 200);
    EXPECT_EQ(lua_gc(L, LUA_GCISRUNNING, 0), 1);
    EXPECT_EQ(lua_gc(L, 99, 0), -1);
}

TEST(Gc, TightLimitFreesGarbageAndKeepsWhatIsReachable) {
    z6heap::State L;
    lua_gc(L, LUA_GCCOLLECT, 0);
    L.heap.cap = L.heap.in_use + 64 * 1024;
    // a reachable table with contents that must survive every collection
    lua_newtable(L);
    for (int i = 1; i <= 100; i++) {
        lua_pushstring(L, ("keep" + std::to_string(i)).c_str());
        lua_rawseti(L, -2, i);
    }
    lua_setfield(L, LUA_REGISTRYINDEX, "kept");
    // far more garbage than the limit allows in total
    make_garbage(L, 20000);
    EXPECT_LE(L.heap.in_use, L.heap.cap);
    lua_getfield(L, LUA_REGISTRYINDEX, "kept");
    for (int i = 1; i <= 100; i++) {
        lua_rawgeti(L, -1, i);
        EXPECT_EQ(z6heap::text(L, -1), "keep" + std::to_string(i));
        lua_pop(L, 1);
    }
}

TEST(Gc, EmergencyCollectionLetsTheRequestSucceed) {
    z6heap::State L;
    lua_gc(L, LUA_GCSTOP, 0);
    make_garbage(L, 2000); // garbage that only a collection can free
    lua_gc(L, LUA_GCRESTART, 0);
    L.heap.cap = L.heap.in_use + 1024;
    ASSERT_EQ(pcall_big_string(L, 16), LUA_OK) << z6heap::text(L, -1);
    EXPECT_GT(L.heap.refused, 0); // first refused, then satisfied after collecting
    EXPECT_EQ(lua_rawlen(L, -1), 16u * 1024u);
}

TEST(Gc, RefusalAfterTheEmergencyCollectionIsAMemoryError) {
    z6heap::State L;
    L.heap.cap = L.heap.in_use + 4096;
    ASSERT_EQ(pcall_big_string(L, 64), LUA_ERRMEM);
    EXPECT_EQ(z6heap::text(L, -1), "not enough memory");
    EXPECT_EQ(L.heap.refused, 2); // the request and its one retry
    L.heap.cap = SIZE_MAX;
    EXPECT_EQ(pcall_big_string(L, 1), LUA_OK); // the state stays usable
}

TEST(Gc, StoppedCollectorFailsAtOnce) {
    z6heap::State L;
    lua_gc(L, LUA_GCSTOP, 0);
    make_garbage(L, 200);
    int frees = L.heap.frees;
    L.heap.cap = L.heap.in_use + 4096;
    ASSERT_EQ(pcall_big_string(L, 64), LUA_ERRMEM);
    EXPECT_EQ(z6heap::text(L, -1), "not enough memory");
    EXPECT_EQ(L.heap.refused, 1);       // no retry
    EXPECT_LE(L.heap.frees - frees, 2); // and no collection (only the call's own frees)
}

TEST(Gc, StepMultipliersBelow40CountAs40) {
    // work done by one forced step from the pause, over a chain of small tables
    auto progress = [](int stepmul) {
        z6heap::State L;
        lua_newtable(L);
        for (int i = 0; i < 2000; i++) {
            lua_newtable(L);
            lua_pushvalue(L, -2);
            lua_setfield(L, -2, "next");
            lua_remove(L, -2);
        }
        lua_setfield(L, LUA_REGISTRYINDEX, "chain");
        lua_gc(L, LUA_GCCOLLECT, 0);
        lua_gc(L, LUA_GCSTOP, 0);
        lua_gc(L, LUA_GCSETSTEPMUL, stepmul);
        lua_gc(L, LUA_GCSTEP, 20);
        return G(L.L)->GCmemtrav;
    };
    EXPECT_EQ(progress(10), progress(40));
    EXPECT_LT(progress(40), progress(80));
}

TEST(Gc, VectorLimitsAreReportedAsWholeNumbers) {
    z6heap::State L;
    ASSERT_EQ(z6heap::protect(L, grow_past_limit), LUA_ERRRUN);
    EXPECT_EQ(z6heap::text(L, -1), "too many functions (limit is 262143)");
}

TEST(Gc, RefusedShrinksKeepTheAccountingExact) {
    z6heap::State L;
    lua_newtable(L);
    for (int i = 0; i < 3000; i++) {
        lua_pushstring(L, ("s" + std::to_string(i)).c_str());
        lua_rawseti(L, -2, i + 1);
    }
    lua_pop(L, 1);
    int big = G(L.L)->strt.size;
    L.heap.refuse_shrinks = true;
    // the collector's own shrinks (string table, stacks) keep their old blocks
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_GT(L.heap.refused, 0);
    EXPECT_EQ(G(L.L)->strt.size, big);
    EXPECT_EQ(gc_bytes(L), L.heap.in_use); // the VM and the hook agree
    make_garbage(L, 500);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(gc_bytes(L), L.heap.in_use);
    // interned strings are still found after the refused rehash
    lua_pushstring(L, "s17");
    lua_pushstring(L, "s17");
    EXPECT_EQ(lua_tostring(L, -1), lua_tostring(L, -2));
    lua_pop(L, 2);
    // any other shrink is a memory error like any refused request
    EXPECT_EQ(luaL_loadstring(L, "local a, b, c = 1, 2, 3 return a + b + c"), LUA_ERRMEM);
    EXPECT_EQ(z6heap::text(L, -1), "not enough memory");
    lua_pop(L, 1);
    L.heap.refuse_shrinks = false;
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_LT(G(L.L)->strt.size, big);
    EXPECT_EQ(gc_bytes(L), L.heap.in_use);
}

TEST(Gc, WeakTablesLoseCollectedEntries) {
    z6heap::State L;
    // t = setmetatable({}, {__mode = "v"}); t[1] = {}; t[2] = "str"
    lua_newtable(L);
    lua_newtable(L);
    lua_pushstring(L, "v");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_newtable(L);
    lua_rawseti(L, -2, 1);
    lua_pushstring(L, "str");
    lua_rawseti(L, -2, 2);
    lua_newtable(L); // a table kept on the stack stays
    lua_pushvalue(L, -1);
    lua_rawseti(L, -3, 3);
    lua_gc(L, LUA_GCCOLLECT, 0);
    lua_rawgeti(L, -2, 1);
    EXPECT_TRUE(lua_isnil(L, -1));
    lua_rawgeti(L, -3, 2);
    EXPECT_STREQ(lua_tostring(L, -1), "str"); // strings are values, never weak
    lua_rawgeti(L, -4, 3);
    EXPECT_TRUE(lua_rawequal(L, -1, -4));
    lua_pop(L, 4);

    // ephemeron: an entry whose key is only reachable through its value goes
    lua_newtable(L);
    lua_newtable(L);
    lua_pushstring(L, "k");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_rawset(L, -3); // t[k] = k
    lua_gc(L, LUA_GCCOLLECT, 0);
    lua_pushnil(L);
    EXPECT_EQ(lua_next(L, -2), 0);
}

namespace {
int finalized = 0;
int count_gc(lua_State *) {
    finalized++;
    return 0;
}
} // namespace

TEST(Gc, FinalizersRunOnceAndAtClose) {
    finalized = 0;
    {
        z6heap::State L;
        for (int i = 0; i < 3; i++) {
            lua_newtable(L);
            lua_newtable(L);
            lua_pushcfunction(L, count_gc);
            lua_setfield(L, -2, "__gc");
            lua_setmetatable(L, -2);
            if (i < 2) lua_pop(L, 1);
        }
        lua_gc(L, LUA_GCCOLLECT, 0);
        EXPECT_EQ(finalized, 2);
        lua_gc(L, LUA_GCCOLLECT, 0);
        EXPECT_EQ(finalized, 2);
    }
    EXPECT_EQ(finalized, 3); // the one still on the stack, at lua_close
}

TEST(Gc, GenerationalModeCollects) {
    z6heap::State L;
    lua_newtable(L);
    lua_setfield(L, LUA_REGISTRYINDEX, "root");
    lua_gc(L, LUA_GCGEN, 0);
    for (int round = 0; round < 20; round++) {
        make_garbage(L, 500);
        lua_getfield(L, LUA_REGISTRYINDEX, "root");
        lua_pushinteger(L, round);
        lua_rawseti(L, -2, round + 1);
        lua_pop(L, 1);
        lua_gc(L, LUA_GCSTEP, 0);
    }
    lua_gc(L, LUA_GCINC, 0);
    lua_gc(L, LUA_GCCOLLECT, 0);
    lua_getfield(L, LUA_REGISTRYINDEX, "root");
    EXPECT_EQ(lua_rawlen(L, -1), 20u);
    EXPECT_LT(gc_bytes(L), 64u * 1024u);
}

TEST(Gc, StateCreationFailsCleanly) {
    for (int n = 0; n < 80; n += 3) {
        z6heap::Heap heap;
        heap.fail_after = n;
        lua_State *L = lua_newstate(z6heap::heap_alloc, &heap);
        if (L) {
            heap.fail_after = -1;
            lua_close(L);
        }
        EXPECT_EQ(heap.in_use, 0u) << "after " << n << " allocations";
    }
}

TEST(Gc, NewThreadsStartClean) {
    z6heap::State L;
    lua_State *co = lua_newthread(L);
    EXPECT_EQ(co->nfastargs, 0);
    EXPECT_EQ(co->stacksize, BASIC_STACK_SIZE);
    EXPECT_EQ(lua_status(co), LUA_OK);
    lua_pop(L, 1);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(gc_bytes(L), L.heap.in_use);
}

TEST(Gc, ConsoleAllocatorWeighsBlocksAndEnforcesLimits) {
    pstate.script_memory_used = 0;
    pstate.memory_overhead = 0;
    pstate.memory_yield_requested = 0;
    pstate.host_allocation_failed = 0;
    lua_State *L = lua_newstate(zibo6_lua_alloc, nullptr);
    ASSERT_NE(L, nullptr);
    EXPECT_GT(pstate.script_memory_used, 0);
    void *p = lua_newuserdata(L, 24);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u); // the header keeps 8-byte alignment
    int32_t before = pstate.script_memory_used;
    lua_pushlstring(L, std::string(20, 'w').data(), 20); // a short string: its size minus 8
    EXPECT_EQ(pstate.script_memory_used - before, int32_t(sizeof(TString) + 21 - 8));
    // over the soft limit: a yield is requested
    lua_cpu_prepare_for_resume();
    pstate.memory_overhead = Z6_SOFT_MEMORY_LIMIT;
    lua_newtable(L);
    EXPECT_EQ(pstate.memory_yield_requested, 1);
    EXPECT_EQ(cpu_superyield, Z6_SUPERYIELD_REQUEST);
    lua_cpu_prepare_for_resume();
    // over the hard limit: refused, after the emergency collection too
    lua_pushinteger(L, 4);
    lua_pushcclosure(L, alloc_big_string, 1);
    pstate.memory_overhead = Z6_HARD_MEMORY_LIMIT; // after the closure is made
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), LUA_ERRMEM);
    EXPECT_EQ(pstate.host_allocation_failed, 1);
    pstate.memory_overhead = 0;
    lua_close(L);
    EXPECT_EQ(pstate.script_memory_used, 0);
    EXPECT_EQ(pstate.host_memory_used, 0);
    lua_cpu_prepare_for_resume();
    // a hook that refuses the first block makes lua_newstate return null
    pstate.memory_overhead = Z6_HARD_MEMORY_LIMIT + 1;
    EXPECT_EQ(lua_newstate(zibo6_lua_alloc, nullptr), nullptr);
    pstate.memory_overhead = 0;
    pstate.memory_yield_requested = 0;
    pstate.host_allocation_failed = 0;
    lua_cpu_prepare_for_resume();
}
