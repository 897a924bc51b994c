// Console memory as a running cart reaches it: the peek operators and the
// memory API over the real runtime, the gate errors as the cart sees them,
// reload from the working cart, and a cart that tries to exhaust the host.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cart/disk.h"
#include "console/heap.h"
#include "console/mem.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "tests/console/run_test_util.h"

using z6run::Runtime;

namespace {

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

} // namespace

TEST(CartMemory, PeekOperatorsAndPokes) {
    Runtime rt;
    std::string out = rt.run("poke(0x1234, 0xa7)\n"
                             "printh(peek(0x1234) .. ' ' .. @0x1234 .. ' ' .. mget(52, 36))\n"
                             "poke(0x4300, 0x00) poke(0x4301, 0x80)\n"
                             "printh(%0x4300)\n"
                             "poke(0x5f28, 0x10) poke(0x5f29, 0xff)\n"
                             "printh(peek(0x5f29) .. ' ' .. %0x5f28 .. ' ' .. $0x5f28)\n",
                             1);
    EXPECT_EQ(out, "167 167 167\n-32768\n255 -240 0.9963\n") << rt.errors();
}

TEST(CartMemory, GateErrorsStopTheCart) {
    Runtime rt;
    rt.run("poke(0x8000, 1)\nprinth('not reached')", 1);
    EXPECT_TRUE(contains(rt.errors(), "bad poke at 0x8000")) << rt.errors();
    Runtime rt2;
    std::string out = rt2.run("memcpy(0x7f00, 0x4300, 0x200)\nprinth('not reached')", 1);
    EXPECT_FALSE(contains(out, "not reached"));
    EXPECT_TRUE(contains(rt2.errors(), "bad memcpy at 0x8000")) << rt2.errors();
    Runtime rt3;
    out = rt3.run("poke(0x5f36, 0x10)\npoke(0x8000, 9)\nprinth(@0x8000)", 1);
    EXPECT_EQ(out, "9\n") << rt3.errors();
}

TEST(CartMemory, ReloadTakesTheWorkingCart) {
    Runtime rt;
    rt.load("poke(0x10, 1)\nreload(0x4300, 0x10, 1)\nprinth(peek(0x4300))\n"
            "reload()\nprinth(peek(0x10))\n");
    zibo6_poke(nullptr, pitem.cart, 0x10, 0x77);
    testing::internal::CaptureStdout();
    pstate.pending_action = 1;
    run_cart();
    pstate.pending_action = 0;
    rt.slices(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "119\n119\n") << rt.errors();
    EXPECT_EQ(zibo6_peek(nullptr, pitem.cart, 0x10), 0x77); // the working cart is untouched
}

TEST(CartMemory, DoublingStringsStopTheCartNotTheHost) {
    Runtime rt;
    std::string out = rt.run("local t, s = {}, 'x'\n"
                             "for i = 1, 40 do s = s .. s; t[i] = s end\n"
                             "printh('not reached')",
                             20);
    EXPECT_FALSE(contains(out, "not reached"));
    EXPECT_TRUE(contains(out, "host allocation error\n"));
    EXPECT_NE(pstate.machine_mode, 1);
    EXPECT_LE(pstate.host_memory_used, Z6_HOST_MEMORY_LIMIT);
}

// A reload from a file whose copy raises (the upper-memory gate is closed)
// frees the cart it loaded, however often a cart repeats it.
TEST(CartMemory, FailedReloadFromAFileFreesTheLoadedCart) {
    std::string name = "reload_gate_" + std::to_string(getpid()) + ".z6";
    int items_before = vull_items_created;
    {
        Runtime rt;
        std::string out = rt.run(
            "cstore(0, 0, 0x10, '" + name +
                "')\n"
                "for i = 1, 20 do\n"
                " local ok, e = coresume(cocreate(function() reload(0x8000, 0, 16, '" +
                name +
                "') end))\n"
                " if i == 20 then printh(tostr(ok) .. ' ' .. e) end\n"
                "end\n",
            1);
        EXPECT_EQ(out, "false bad poke at 0x8000\n\n") << rt.errors();
    }
    cart_files_end_frame(); // the file's cart is kept until the frame ends
    EXPECT_EQ(vull_items_created, items_before);
    char path[VULL_PATH_LEN];
    vull_prefix_with_appdata_path(("cstore/" + name).c_str(), path, sizeof path);
    std::remove(path);
}
