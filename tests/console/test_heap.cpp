// The allocator hook: per-kind weights, the soft and hard limits, and the
// host guard that keeps a cart from exhausting the machine's memory.
#include <gtest/gtest.h>

#include <string>

#include "console/heap.h"
#include "cart/state.h"
#include "vm/lauxlib.h"
#include "vm/lcpu.h"
#include "vm/llimits.h"
#include "vm/lua.h"

namespace {

struct Heap {
    Heap() { clear(); }
    ~Heap() {
        clear();
        lua_cpu_prepare_for_resume();
    }
    static void clear() {
        pstate.script_memory_used = 0;
        pstate.host_memory_used = 0;
        pstate.memory_overhead = 0;
        pstate.memory_yield_requested = 0;
        pstate.host_allocation_failed = 0;
        pstate.compiling_program = 0;
    }
};

void *alloc(void *p, size_t osize, size_t nsize) {
    return zibo6_lua_alloc(nullptr, p, osize, nsize);
}

} // namespace

TEST(Heap, NewBlocksAreWeighedByKind) {
    Heap h;
    EXPECT_EQ(zheap_block_weight(4, 20, false), 12u); // short string
    EXPECT_EQ(zheap_block_weight(0, 100, false), 50u);
    EXPECT_EQ(zheap_block_weight(5, 64, false), 32u); // table
    EXPECT_EQ(zheap_block_weight(6, 40, false), 20u); // script closure
    for (size_t tag : {7, 8, 9, 10, 19}) EXPECT_EQ(zheap_block_weight(tag, 1000, false), 32u);
    for (size_t tag : {2, 20, 38}) EXPECT_EQ(zheap_block_weight(tag, 1000, false), 0u);
    EXPECT_EQ(zheap_block_weight(0, 100, true), 0u);
    pstate.compiling_program = 1;
    void *compiled = alloc(nullptr, 0, 100);
    pstate.compiling_program = 0;
    EXPECT_EQ(pstate.script_memory_used, 0);
    void *s = alloc(nullptr, 4, 20);
    EXPECT_EQ(pstate.script_memory_used, 12);
    alloc(compiled, 100, 0); // a block made while compiling gives back nothing
    EXPECT_EQ(pstate.script_memory_used, 12);
    alloc(s, 20, 0);
    EXPECT_EQ(pstate.script_memory_used, 0);
    EXPECT_EQ(pstate.host_memory_used, 0);
}

TEST(Heap, ResizesFollowTheBlocksWeight) {
    Heap h;
    void *half = alloc(nullptr, 0, 200); // weight 100, half its size
    half = alloc(half, 200, 400);
    EXPECT_EQ(pstate.script_memory_used, 200);
    void *whole = alloc(nullptr, 4, 30); // weight 22: neither 0 nor half
    EXPECT_EQ(pstate.script_memory_used, 222);
    whole = alloc(whole, 30, 60);
    EXPECT_EQ(pstate.script_memory_used, 260);
    void *none = alloc(nullptr, 20, 500); // long string: weight 0 stays 0
    none = alloc(none, 500, 1000);
    EXPECT_EQ(pstate.script_memory_used, 260);
    EXPECT_EQ(pstate.host_memory_used, int64_t(400 + 60 + 1000 + 3 * Z6_BLOCK_HEADER));
    alloc(half, 400, 0);
    alloc(whole, 60, 0);
    alloc(none, 1000, 0);
    EXPECT_EQ(pstate.script_memory_used, 0);
    EXPECT_EQ(pstate.host_memory_used, 0);
}

TEST(Heap, SoftLimitRequestsAYieldAfterTheCrossingRequest) {
    Heap h;
    lua_cpu_prepare_for_resume();
    pstate.memory_overhead = Z6_SOFT_MEMORY_LIMIT;
    void *a = alloc(nullptr, 0, 4); // the total is not above the limit yet
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(pstate.memory_yield_requested, 0);
    pstate.memory_overhead = Z6_SOFT_MEMORY_LIMIT + 1 - pstate.script_memory_used;
    void *b = alloc(nullptr, 0, 4); // one above: succeeds and asks for a yield
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(pstate.memory_yield_requested, 1);
    EXPECT_EQ(cpu_superyield, Z6_SUPERYIELD_REQUEST);
    pstate.memory_overhead = Z6_HARD_MEMORY_LIMIT + 1;
    EXPECT_EQ(alloc(nullptr, 0, 4), nullptr);
    EXPECT_EQ(pstate.host_allocation_failed, 1);
    pstate.memory_overhead = 0;
    alloc(a, 4, 0);
    alloc(b, 4, 0);
    EXPECT_EQ(pstate.script_memory_used, 0);
}

TEST(Heap, HostGuardRefusesOneHugeRequest) {
    Heap h;
    EXPECT_EQ(alloc(nullptr, 20, size_t(65) << 20), nullptr);
    EXPECT_EQ(pstate.host_allocation_failed, 1);
    EXPECT_EQ(pstate.host_memory_used, 0);
    // a resize is counted net of the block it replaces
    pstate.host_allocation_failed = 0;
    void *p = alloc(nullptr, 20, size_t(40) << 20);
    ASSERT_NE(p, nullptr);
    void *q = alloc(p, size_t(40) << 20, size_t(50) << 20);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(alloc(nullptr, 20, size_t(20) << 20), nullptr);
    alloc(q, size_t(50) << 20, 0);
    EXPECT_EQ(pstate.host_memory_used, 0);
}

TEST(Heap, DoublingStringsAreStoppedByTheHostGuard) {
    Heap h;
    lua_State *L = lua_newstate(zibo6_lua_alloc, nullptr);
    ASSERT_NE(L, nullptr);
    lua_State *co = lua_newthread(L);
    const char *cart = "local t, s = {}, 'x'\n"
                       "for i = 1, 40 do s = s .. s; t[i] = s end\n";
    ASSERT_EQ(luaL_loadstring(co, cart), LUA_OK);
    // resumed as slices are: past the soft limit every request asks for a yield
    int status = LUA_YIELD;
    for (int slice = 0; slice < 100000 && status == LUA_YIELD; slice++) {
        lua_cpu_prepare_for_resume();
        pstate.memory_yield_requested = 0;
        status = lua_resume(co, nullptr, 0);
    }
    EXPECT_EQ(status, LUA_ERRMEM);
    EXPECT_EQ(pstate.host_allocation_failed, 1);
    // long strings weigh nothing: the cart's own count stays below the hard limit
    EXPECT_LT(pstate.script_memory_used, Z6_HARD_MEMORY_LIMIT);
    EXPECT_LE(pstate.host_memory_used, Z6_HOST_MEMORY_LIMIT);
    lua_close(L);
    EXPECT_EQ(pstate.script_memory_used, 0);
    EXPECT_EQ(pstate.host_memory_used, 0);
}
