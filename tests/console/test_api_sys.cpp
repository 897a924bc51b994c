// The core system bindings as a cart sees them (conversions, ord's cap,
// printh's file rules, stat rows) and what the memory and system calls
// charge to the CPU budget; the frame-rate governor's rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>

#include "console/api.h"
#include "cart/disk.h"
#include "console/term.h"
#include "tests/support/write_limit.h"
#include "tests/console/run_test_util.h"
#include "engine/gfx.h"
#include "vm/lcpu.h"

using z6run::Runtime;

namespace {

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

// Cycles a direct call of a global moves the system counter and the slice
// counter by, called on the finished cart's state.
struct Cost {
    int system;
    int slice;
};
Cost cost_of(const char *name, std::initializer_list<int32_t> args) {
    lua_State *L = zrun.L0_cart;
    lua_settop(L, 0);
    lua_getglobal(L, name);
    for (int32_t a : args) lua_pushnumber(L, a);
    int sys = pstate.system_cycles;
    uint32_t slice = cpu_cycles_slice;
    lua_call(L, static_cast<int>(args.size()), LUA_MULTRET);
    lua_settop(L, 0);
    return {pstate.system_cycles - sys, static_cast<int32_t>(cpu_cycles_slice - slice)};
}

constexpr int32_t N(int v) { return v * 65536; }

} // namespace

TEST(ApiSys, ConversionsOfNumbersAndStrings) {
    Runtime rt;
    std::string out = rt.run("printh(tostr(1.5, 1)) printh(tostr(1.5, 3)) printh(tostr(1.5, 2))\n"
                             "printh(tostr(nil)) printh('<'..tostr()..'>') printh(tostr(true))\n"
                             "printh(tonum('ff', 1)) printh(tostr(tonum('ff', 3), 3))\n"
                             "printh(tonum('x12')) printh(tonum('x12', 4)) printh(tonum('2.5'))\n"
                             "printh(tostr(tonum('99999999999', 2), 3))\n"
                             "printh(tostr(tonum('-7', 2), 3))\n"
                             "printh(chr(65)..chr(321)) printh(type(1)) printh(type())\n");
    EXPECT_EQ(out, "0x0001.8000\n0x00018000\n98304\n[nil]\n<>\ntrue\n"
                   "255\n0x000000ff\n0\n2.5\n" // tonum('x12') and type() give nothing
                   "0x7fffffff\n0xfffffff9\nAA\nnumber\n");
}

TEST(ApiSys, SplitAndOrd) {
    Runtime rt;
    std::string out = rt.run("local t = split('1,2,,a')\n"
                             "printh(#t..' '..type(t[1])..' '..t[3]..'|'..t[4])\n"
                             "t = split('1,2', ',', false) printh(type(t[1]))\n"
                             "t = split('abcde', 2) printh(t[1]..t[2]..t[3]..#t)\n"
                             "t = split('a1', '') printh(t[1]..type(t[2]))\n"
                             "printh(#split(''))\n"
                             "local a, b, c = ord('abc', 2, 3) printh(a..' '..b..' '..tostr(c))\n"
                             "printh(select('#', ord('abc', 1, 0)))\n");
    EXPECT_EQ(out, "4 number |a\nstring\nabcde3\nanumber\n0\n98 99 [nil]\n0\n");

    // ord never returns more than 8192 values: more is an error naming ord
    Runtime rt2;
    out = rt2.run("printh(select('#', ord('a', 1, 8192)))\nord('a', 1, 8193)\n");
    EXPECT_TRUE(contains(out, "8192\nruntime error line 2 tab 0")) << out;
    EXPECT_TRUE(contains(out, "ord")) << out;
}

// split keeps the pieces a list can index (1..32767) and charges each piece
// besides the scan; more pieces once went into the hash under wrapped keys,
// a rehash each, and froze the player for seconds.
TEST(ApiSys, SplitStopsAtTheLastIndexAndChargesItsPieces) {
    Runtime rt;
    rt.run("x = 1");
    lua_State *L = zrun.L0_cart;
    std::string text;
    for (int i = 1; i <= 131073; i++) text += (i > 1 ? "," : "") + std::to_string(i);
    lua_settop(L, 0);
    lua_getglobal(L, "split");
    lua_pushlstring(L, text.data(), text.size());
    lua_pushstring(L, ",");
    lua_pushboolean(L, 0);
    int sys = pstate.system_cycles;
    auto start = std::chrono::steady_clock::now();
    lua_call(L, 3, 1);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(pstate.system_cycles - sys, 2 * int(text.size()) + 2 * 32767);
    EXPECT_LT(seconds, 30.0); // the quadratic insertion took minutes here

    EXPECT_EQ(lua_rawlen(L, -1), 32767u);
    int keys = 0; // a key held twice would send the traversal round forever
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        lua_pop(L, 1);
        if (++keys > 70000) {
            lua_pop(L, 1);
            break;
        }
    }
    EXPECT_EQ(keys, 32767);
    auto piece = [&](int32_t key) {
        lua_pushnumber(L, key);
        lua_rawget(L, -2);
        std::string got = lua_isstring(L, -1) ? lua_tostring(L, -1) : "nil";
        lua_pop(L, 1);
        return got;
    };
    EXPECT_EQ(piece(N(1)), "1");
    EXPECT_EQ(piece(N(32767)), "32767");
    EXPECT_EQ(piece(N(-32768)), "nil");
    EXPECT_EQ(piece(0), "nil");
    lua_settop(L, 0);
}

TEST(ApiSys, PrinthFileRules) {
    Runtime rt;
    std::string out = rt.run("printh('x', 'Bad')");
    EXPECT_TRUE(contains(out, "printh: bad log file name")) << out;
    Runtime rt2;
    out = rt2.run("printh('x', '../up')");
    EXPECT_TRUE(contains(out, "printh: bad log file name")) << out;

    // 64 distinct files a run; a name that is a prefix of another still counts
    Runtime rt3;
    out =
        rt3.run("for i = 1, 63 do printh(i, 'plog'..i..'.txt', true) end\n"
                "printh('a', 'plog1.txt') printh('b', 'plog1.txt.z6l') printh('c', 'plog1.tx')\n");
    EXPECT_TRUE(contains(out, "too many printh files")) << out;
    EXPECT_TRUE(contains(out, "runtime error line 2 tab 0")) << out;
}

// A log the cart replaces is written whole or not at all: a full disk keeps the old one. A
// log made read-only is neither replaced nor added to, whoever runs the player.
TEST(ApiSys, PrinthLogsSurviveAFullDiskOrBeingMadeReadOnly) {
    Runtime rt;
    char path[1024];
    prefix_with_file_output_path("full_log.z6l", path, sizeof path);
    auto log = [&] {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    rt.run("printh('first', 'full_log', true) printh('more', 'full_log')");
    ASSERT_EQ(log(), "first\nmore\n");
    {
        z6test::write_limit full(4);
        rt.run("printh('a much longer second log', 'full_log', true)");
    }
    EXPECT_EQ(log(), "first\nmore\n");
    rt.run("printh('second', 'full_log', true)");
    EXPECT_EQ(log(), "second\n");
    ASSERT_EQ(chmod(path, 0444), 0);
    rt.run("printh('third', 'full_log', true) printh('more', 'full_log')");
    EXPECT_EQ(log(), "second\n");
    std::remove(path);
}

TEST(ApiSys, StatRowsOfTheCore) {
    Runtime rt;
    std::string out =
        rt.run("printh(stat(5)..' '..stat(7)..' '..stat(8)..' '..stat(12)..' '..stat(14))\n"
               "printh(tostr(stat(47))..tostr(stat(50))..'<'..stat(49)..'>')\n"
               "printh(tostr(stat(100))..tostr(stat(110)))\n");
    EXPECT_EQ(out, "33 30 30 23 104\n0[nil]<>\n[nil]false\n");
}

TEST(ApiSys, TimeCountsSixtiethsFromTheMainLoop) {
    Runtime rt;
    std::string out = rt.run("function _update() printh(time()) end", 3);
    EXPECT_EQ(out, "0.0333\n0.0667\n0.1\n");
}

TEST(CpuBudget, MemoryCallsChargeTheirCosts) {
    Runtime rt;
    rt.run("x = 1");
    Cost c = cost_of("memset", {N(0x4300), 0, N(4096)});
    EXPECT_EQ(c.system, 2 * 1024);
    c = cost_of("memcpy", {N(0x4300), N(0x4400), N(100)});
    EXPECT_EQ(c.system, 2 * 50);
    c = cost_of("memcpy", {N(0x4300), N(0x4300), N(100)}); // same address: nothing
    EXPECT_EQ(c.system, 0);
    c = cost_of("peek", {N(0x4300), N(10)});
    EXPECT_EQ(c.system, 2 * 9);
    EXPECT_EQ(c.slice, 2 * 9 - 2);
    c = cost_of("poke", {N(0x4300), N(1), N(2), N(3)});
    EXPECT_EQ(c.system, 2 * 2);
    c = cost_of("reload", {});
    EXPECT_EQ(c.system, 2 * 32768);
    c = cost_of("reload", {N(0), N(0), N(10)});
    EXPECT_EQ(c.system, 2 * 80);
    c = cost_of("stat", {N(1)});
    EXPECT_EQ(c.system, 32);
    c = cost_of("tostr", {N(1)});
    EXPECT_EQ(c.system, 4);
    // a negative count refunds through the hidden hook only while allowed
    pstate.cpu_refund_enabled = 1;
    lua_register(zrun.L0_cart, "__refund", z6_refund_cpu);
    c = cost_of("__refund", {N(-17)});
    EXPECT_EQ(c.slice, -34);
    pstate.cpu_refund_enabled = 0;
    c = cost_of("__refund", {N(-17)});
    EXPECT_EQ(c.slice, 0);
}

TEST(CpuBudget, StatChargesBeforeItReads) {
    Runtime rt;
    // the system counter starts at 0 each run, so the first stat(2) sees its
    // own 32 cycles; the second adds tostr's and printh's text conversions
    // (4 each), the memset's 2048 and its own 32
    std::string out = rt.run("printh(tostr(stat(2), 2))\n"
                             "memset(0x4300, 0, 4096) printh(tostr(stat(2), 2))");
    auto capacity = [](int cycles) { return std::to_string(int64_t(cycles) * 65536 / 279620); };
    EXPECT_EQ(out, capacity(32) + "\n" + capacity(32 + 4 + 4 + 2048 + 32) + "\n");
}

TEST(CpuBudget, MemoryUseIsReportedInKilobytes) {
    Runtime rt;
    std::string out = rt.run("local a = stat(0) t = {} for i = 1, 1000 do t[i] = {} end\n"
                             "printh(stat(0) > a + 10 and 'grew' or 'same')");
    EXPECT_EQ(out, "grew\n");
}

TEST(Governor, HalvesOnRequestAndRestoresWhenTheHostKeepsUp) {
    Runtime rt;
    pstate.fps = pstate.target_fps = 30;
    app.halve_rate_request = 1;
    update_frame_rate();
    EXPECT_EQ(pstate.fps, 15);
    EXPECT_EQ(app.halve_rate_request, 0);
    // with the host's frame-rate control off the host counts as keeping up;
    // the marks say how busy the cart is
    zrun.cpu_mark_cycles[0] = 0;
    zrun.cpu_mark_cycles[2] = 1000;
    update_frame_rate();
    EXPECT_EQ(pstate.fps, 30);
    // a frame using more than about 0.984 of the budget stays lowered
    pstate.fps = 15;
    zrun.cpu_mark_cycles[2] = Z6_DEFAULT_SLICE_BUDGET;
    update_frame_rate();
    EXPECT_EQ(pstate.fps, 15);
    // marks that say nothing never restore
    pstate.fps = 15;
    zrun.cpu_fraction = zrun.cpu_fraction_prev = 0;
    zrun.cpu_mark_cycles[2] = 0;
    update_frame_rate();
    EXPECT_EQ(pstate.fps, 15);
}

TEST(Governor, CapacityAndTheResourceRing) {
    Runtime rt;
    pstate.target_fps = 0;
    EXPECT_EQ(cycles_2_frame_capacity(279620), 0x10000);
    pstate.fps = pstate.target_fps = 60;
    EXPECT_EQ(cycles_2_frame_capacity(139810), 0x10000);
    app.perf_index = 63;
    app.perf[0][Z6_PERF_COLOUR] = 99;
    record_resource_data();
    EXPECT_EQ(app.perf_index, 0);
    EXPECT_EQ(app.perf[0][Z6_PERF_COLOUR], 0); // the new record starts cleared
    EXPECT_EQ(app.perf[63][Z6_PERF_COLOUR], 6);
}

TEST(Governor, OverlayAndSpinnerDrawOnlyWhileACartRuns) {
    Runtime rt;
    rt.run("function _update() end function _draw() end", 1);
    vull_bitmap *page = pstate.display[1];
    vull_rectfill(page, 0, 0, 127, 127, 7);
    pstate.machine_mode = 1;
    pstate.cart_code_running = 1;
    // a long frame, but the cart is young: no spinner
    lua_reset_cpu_cycles();
    lua_add_cpu_cycles(120 * Z6_DEFAULT_SLICE_BUDGET);
    pstate.cart_frame = 100;
    draw_cpu_spinner(page);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 12; x++) ASSERT_EQ(page->rows[y][x], 7) << x << "," << y;
    draw_resource_data(page);
    EXPECT_EQ(page->rows[3][59], 0); // the frame around the graph
    EXPECT_EQ(page->rows[27][124], 0);
    EXPECT_EQ(page->rows[40][40], 7); // nothing outside it
    lua_reset_cpu_cycles();
    pstate.machine_mode = 0;
}
