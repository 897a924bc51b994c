// Running a cart through the runtime: the main-loop order, stop, the code
// limits, syntax and runtime error reports with line and tab, runaway carts
// that must never freeze the player, and errors outside the VM's resume.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cart/disk.h"
#include "console/gfx_print.h"
#include "console/heap.h"
#include "console/term.h"
#include "console/token.h"
#include "tests/console/run_test_util.h"
#include "vm/llimits.h"
#include "vm/lcpu.h"

using z6run::Runtime;

namespace {

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

std::string lines_of(size_t k) {
    std::string code;
    code.reserve(4 * k);
    for (size_t i = 0; i < k; i++) code += "a=1\n";
    return code;
}

// Code of exactly n tokens by the console's own count: the fewest "a=1" lines
// that come within 8 tokens of n (found by bisection, as counting grows with
// every line; a count per line added would cost a count of the whole text each
// time), then a tail that makes up the rest.
std::string code_of_tokens(int n) {
    size_t low = 0, high = 1;
    while (count_tokens(lines_of(high).c_str()) + 8 < n) low = high, high *= 2;
    while (low < high) { // the answer lies in [low, high]
        size_t mid = low + (high - low) / 2;
        if (count_tokens(lines_of(mid).c_str()) + 8 < n)
            low = mid + 1;
        else
            high = mid;
    }
    const std::string code = lines_of(low);
    for (const char *tail : {"", "a=1\n", "a=1+1\n", "a=1+1+1\n", "a=1\na=1+1\n"}) {
        std::string c = code + tail;
        for (int pad = 0; pad < 4; pad++) {
            if (count_tokens(c.c_str()) == n) return c;
            c += "a=1\n";
        }
    }
    ADD_FAILURE() << "no code of " << n << " tokens";
    return code;
}

} // namespace

TEST(RunCart, MainLoopOrderAt30And60FramesASecond) {
    {
        Runtime rt;
        std::string out = rt.run("function _init() printh('init') end\n"
                                 "function _update() printh('u'..stat(7)) end\n"
                                 "function _draw() printh('d') end",
                                 3);
        EXPECT_EQ(out, "init\nu30\nd\nu30\nd\nu30\nd\n");
        EXPECT_EQ(pstate.mainloop_exists, 2);
        EXPECT_EQ(pstate.time_ticks, 6); // two sixtieths a frame at 30
    }
    {
        Runtime rt;
        std::string out = rt.run("function _update60() printh('u'..stat(7)) end\n"
                                 "function _draw() printh('d') end",
                                 2);
        EXPECT_EQ(out, "u60\nd\nu60\nd\n");
        EXPECT_EQ(pstate.target_fps, 60);
        // lowered to 30, a 60 fps cart updates twice per drawn frame
        pstate.fps = 30;
        testing::internal::CaptureStdout();
        rt.slices(1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "u30\nu30\nd\n");
    }
}

TEST(RunCart, StopAndTheEndOfTheProgramEndTheRun) {
    Runtime rt;
    std::string out = rt.run("printh('a') stop() printh('b')");
    // stop asks the shell to suspend; the cart gets no further
    EXPECT_EQ(out, "a\n");
    EXPECT_EQ(pstate.machine_mode, 0);
    EXPECT_EQ(app.cart_resumable, 1);
    EXPECT_EQ(zrun.run_failed, 0);

    Runtime rt2;
    EXPECT_EQ(rt2.run("printh('x')"), "x\n");
    EXPECT_EQ(pstate.machine_mode, 0);
    EXPECT_EQ(app.cart_resumable, 0);
    EXPECT_EQ(vull_quit, 1); // headless: the end of the cart quits
    EXPECT_EQ(zrun.run_failed, 0);
}

TEST(RunCart, CodeWithoutAFinalNewlineAndCommandWordsInCartCode) {
    Runtime rt;
    EXPECT_EQ(rt.run("x=5\nprinth(x)"), "5\n");
    // a cart that starts with a command word runs as written
    Runtime rt2;
    EXPECT_EQ(rt2.run("info = {7}\ncd = 1\nprinth(info[1] + cd)"), "8\n");
    Runtime rt3;
    EXPECT_EQ(rt3.run("config = 3\nprinth(config)"), "3\n");
}

TEST(RunCart, TokenLimitAcceptsExactlyTheLimit) {
    Runtime rt;
    std::string ok = code_of_tokens(8192) + "printh('ran')";
    // the printh line adds tokens: take them off the filler
    int extra = count_tokens("printh('ran')");
    ok = code_of_tokens(8192 - extra) + "printh('ran')";
    ASSERT_EQ(count_tokens(ok.c_str()), 8192);
    EXPECT_TRUE(contains(rt.run(ok), "ran"));

    Runtime rt2;
    std::string big = code_of_tokens(8193 - extra) + "printh('ran')";
    ASSERT_EQ(count_tokens(big.c_str()), 8193);
    std::string out = rt2.run(big);
    EXPECT_TRUE(contains(out, "program too large\n8193 / 8192 tokens\n")) << out;
    EXPECT_FALSE(contains(out, "ran"));
    EXPECT_EQ(pstate.machine_mode, 0);
    EXPECT_EQ(zrun.run_failed, 1);
    EXPECT_EQ(vull_quit, 1); // a failed start still ends a headless run
}

TEST(RunCart, CharLimitAndIncludeRefused) {
    Runtime rt;
    // two tabs join to 65537 characters: refused whole, never cut
    std::string half(32765, 'x');
    std::snprintf(pstate.code_tab[0]->text, 0x10002, "--%s", half.c_str());
    std::snprintf(pstate.code_tab[1]->text, 0x10002, "--%s", half.c_str());
    testing::internal::CaptureStdout();
    run_cart();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(contains(out, "program exceeds char limit\n65540 / 65536 chars\n")) << out;
    EXPECT_EQ(zrun.run_failed, 1);
    EXPECT_EQ(pstate.machine_mode, 0);
    Runtime rt2;
    out = rt2.run("x=1\n  #include other.lua\n");
    EXPECT_TRUE(contains(out, "can not #include")) << out;
    EXPECT_EQ(pstate.machine_mode, 0);
}

TEST(RunCart, SyntaxErrorsNameTheLineAndTab) {
    Runtime rt;
    std::string out = rt.run("x = 1\ny = = 2\n");
    EXPECT_TRUE(contains(out, "syntax error line 2 (tab 0)\ny = = 2\nunexpected symbol near '='"))
        << out;
    EXPECT_TRUE(contains(rt.errors(), "syntax error line 2 (tab 0)\n"));
    EXPECT_EQ(app.program_stopped_flag, 1);
    EXPECT_EQ(zrun.run_failed, 1);

    Runtime rt2;
    out = rt2.run("x = 1\n-->8\na = 1\nb = = 2\nc = 3\n");
    EXPECT_TRUE(contains(out, "syntax error line 2 (tab 1)\nb = = 2\n")) << out;

    // an unclosed block is found at the end of the text: the message names
    // where it opened, and no empty tab after the code is blamed
    Runtime rt3;
    out = rt3.run("function f()\nx = 1\n");
    EXPECT_TRUE(contains(out, "unclosed function")) << out;
    EXPECT_FALSE(contains(out, "(tab 1)")) << out;
}

TEST(RunCart, RuntimeErrorsNameTheLineOfTheCodeAndOfApiCalls) {
    Runtime rt;
    std::string out = rt.run("x = 1\nlocal t = nil\nprinth(t.y)\n");
    EXPECT_TRUE(contains(out, "runtime error line 3 tab 0\nprinth(t.y)\n")) << out;
    EXPECT_TRUE(contains(out, "attempt to index")) << out;
    EXPECT_EQ(zrun.run_failed, 1);
    EXPECT_EQ(vull_quit, 1);

    // an error raised inside an API call names the line of the call
    Runtime rt2;
    out = rt2.run("x = 1\n\nord('a', 1, 9000)\n");
    EXPECT_TRUE(contains(out, "runtime error line 3 tab 0\nord('a', 1, 9000)\n")) << out;
    EXPECT_TRUE(contains(out, "ord")) << out;

    // a library error keeps its text without the chunk's position
    Runtime rt3;
    out = rt3.run("function _update()\n rawget()\nend\n");
    EXPECT_TRUE(contains(out, "runtime error line 2 tab 0")) << out;
    EXPECT_TRUE(contains(out, "bad argument #1 to 'rawget'")) << out;
    EXPECT_FALSE(contains(out, "[string")) << out;
    EXPECT_TRUE(contains(out, "in _update line 2 (tab 0)")) << out;

    // assert with a message
    Runtime rt4;
    out = rt4.run("\nassert(false, 'oh no')\n");
    EXPECT_TRUE(contains(out, "runtime error line 2 tab 0")) << out;
    EXPECT_TRUE(contains(out, "oh no")) << out;
}

TEST(RunCart, TracebackSurvivesAnOverwrittenTraceGlobal) {
    Runtime rt;
    std::string out = rt.run("__trace = 1\ntrace = nil\nfunction f()\n error('boom')\nend\nf()\n");
    EXPECT_TRUE(contains(out, "boom")) << out;
    EXPECT_TRUE(contains(out, "in f line 4 (tab 0)")) << out;
    EXPECT_TRUE(contains(out, "at line 6 (tab 0)")) << out;
}

TEST(RunCart, RunawayCartsEndEverySliceWithinTheBudget) {
    const char *runaways[] = {
        "while true do end",
        "c = cocreate(function() while true do end end)\ncoresume(c)\nprinth('never')",
        "function _update() local n = 0 while true do n = n + 1 end end",
    };
    for (const char *code : runaways) {
        Runtime rt;
        rt.run(code, 0);
        for (int i = 0; i < 5; i++) {
            ASSERT_EQ(pstate.machine_mode, 1) << code;
            run_slice();
            // one instruction past the budget at most
            EXPECT_GE(cpu_cycles_slice, uint32_t(Z6_DEFAULT_SLICE_BUDGET)) << code;
            EXPECT_LE(cpu_cycles_slice, uint32_t(Z6_DEFAULT_SLICE_BUDGET + 64)) << code;
        }
    }
}

TEST(RunCart, EndlessRecursionAndEndlessStringsStopWithAnError) {
    Runtime rt;
    std::string out = rt.run("function f(n) return f(n + 1) + 1 end\nf(1)", 2000);
    EXPECT_EQ(pstate.machine_mode, 0);
    // the stack outgrows the memory limit before the VM's own depth limit
    EXPECT_TRUE(contains(out, "out of memory") || contains(out, "stack overflow")) << out;
    EXPECT_EQ(zrun.run_failed, 1);

    Runtime rt2;
    out = rt2.run("s = 'abcdefgh'\nwhile true do\n s = s .. s\nend", 2000);
    EXPECT_EQ(pstate.machine_mode, 0);
    EXPECT_EQ(zrun.run_failed, 1);
    EXPECT_TRUE(contains(out, "out of memory") || contains(out, "runtime error line 3 tab 0"))
        << out;
}

TEST(RunCart, FinaliserErrorsAreRuntimeErrorsNotAborts) {
    Runtime rt;
    std::string out =
        rt.run("for i = 1, 200 do\n"
               " setmetatable({}, {__gc = function() error('in gc') end})\n"
               "end\n"
               "function _update() local t = {} for i = 1, 500 do t[i] = {} end end\n",
               400);
    EXPECT_EQ(pstate.machine_mode, 0);
    EXPECT_TRUE(contains(out, "in gc")) << out;
    EXPECT_EQ(zrun.run_failed, 1);
}

TEST(RunCart, ResumeWordsAndNothingToResume) {
    Runtime rt;
    std::string out = rt.run("r");
    EXPECT_TRUE(contains(out, "nothing to resume")) << out;
    EXPECT_EQ(zrun.run_failed, 1);
}

TEST(CodeTabs, SplitAndMergeKeepMarkersBetweenTabs) {
    Runtime rt;
    rt.load("a\n-->8\nb\n-->8\n\n-->8\nc");
    EXPECT_STREQ(pstate.code_tab[0]->text, "a");
    EXPECT_STREQ(pstate.code_tab[1]->text, "b");
    EXPECT_STREQ(pstate.code_tab[2]->text, "");
    EXPECT_STREQ(pstate.code_tab[3]->text, "c");
    merge_code_from_tabs();
    EXPECT_STREQ(pitem.cart->code, "a\n-->8\nb\n-->8\n\n-->8\nc");
    rt.load("");
    pstate.current_tab = 3;
    merge_code_from_tabs();
    EXPECT_STREQ(pitem.cart->code, "\n-->8\n\n-->8\n\n-->8\n");
    // after 15 markers the rest stays whole in the last tab
    std::string many;
    for (int i = 0; i < 17; i++) many += std::to_string(i) + "\n-->8\n";
    rt.load(many);
    EXPECT_STREQ(pstate.code_tab[15]->text, "15\n-->8\n16\n-->8\n");
}

TEST(CodeTabs, FindTabLineCountsThePreludeAndMarkers) {
    Runtime rt;
    rt.load("a\nb\n-->8\nc\n-->8\nd");
    int tab = -1;
    EXPECT_EQ(find_tab_line(3, &tab), 1); // the first cart line
    EXPECT_EQ(tab, 0);
    EXPECT_EQ(find_tab_line(4, &tab), 2);
    EXPECT_EQ(find_tab_line(6, &tab), 1); // after "a", "b" and the marker
    EXPECT_EQ(tab, 1);
    EXPECT_EQ(find_tab_line(8, &tab), 1);
    EXPECT_EQ(tab, 2);
}

TEST(CodeTabs, CartIdsFromFileNames) {
    EXPECT_STREQ(get_lid_from_filename("/x/bbs/carts/my_game-2.z6.png"), "my_game-2");
    EXPECT_STREQ(get_lid_from_filename("/x/Game.Z6"), "ame"); // capitals end the id
    EXPECT_STREQ(get_lid_from_filename(".z6"), "");
    EXPECT_STREQ(get_lid_from_filename("noext"), "");
}

// A breadcrumb of a cart whose path is longer than 255 bytes leads back to that cart.
TEST(RunChain, ALongPathLeadsBackToItsOwnCart) {
    Runtime rt;
    reset_run_chain();
    std::string dir = std::string(std::getenv("HOME")) + "/chain-" + std::to_string(getpid());
    for (int i = 0; i < 4; i++) dir += "/" + std::string(90, char('a' + i));
    std::filesystem::create_directories(dir);
    std::string far = dir + "/far.z6";
    ASSERT_GT(far.size(), 300u);
    std::ofstream(far) << "zibo-6 cartridge // x\nversion 33\n__lua__\n-- the far cart\n";
    ASSERT_EQ(add_run_chain_item(far.c_str(), "back", 0), 1);
    follow_current_breadcrumb();
    EXPECT_EQ(std::string(pstate.current_filename), far);
    EXPECT_NE(std::string(pitem.cart->code).find("the far cart"), std::string::npos);
    EXPECT_EQ(pstate.pending_action, 1);
    std::filesystem::remove_all(std::string(std::getenv("HOME")) + "/chain-" + std::to_string(getpid()));
}

TEST(RunChain, PushesBoundedCopiesAndPops) {
    Runtime rt;
    reset_run_chain();
    // A path keeps every byte: a cut one would lead back to another cart. One that does not
    // fit any path is refused, not cut.
    std::string long_name(Z6_PATH_LEN - 1, 'f'), long_label(100, 'l');
    std::snprintf(pstate.parameter_string, Z6_PATH_LEN, "%s", std::string(1023, 'p').c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(add_run_chain_item(std::string(Z6_PATH_LEN, 'f').c_str(), "x", 1), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("breadcrumb not kept"), std::string::npos);
    EXPECT_EQ(run_chain_count(), 0);
    EXPECT_EQ(add_run_chain_item(long_name.c_str(), long_label.c_str(), 1), 1);
    EXPECT_EQ(get_run_chain_filename(), long_name);
    EXPECT_EQ(std::strlen(get_run_chain_label()), 31u);
    EXPECT_EQ(std::strlen(get_run_chain_param_str()), 1023u);
    run_chain_cancel_pending();
    EXPECT_EQ(get_run_chain_label(), nullptr);
    for (int i = 0; i < 600; i++) add_run_chain_item("a", "b", 0);
    EXPECT_EQ(run_chain_count(), Z6_RUN_CHAIN_MAX);
    run_chain_cancel_pending(); // not pending: stays
    EXPECT_EQ(pop_run_chain(), Z6_RUN_CHAIN_MAX - 1);
    reset_run_chain();
    EXPECT_EQ(pop_run_chain(), 0);
}

TEST(Terminal, SyntaxMessagesAreCutAfterTheirLastColon) {
    EXPECT_STREQ(extract_syntax_error("[string \"x\"]:3: 'then' expected near 'b'", 0),
                 "'then' expected near 'b'");
    EXPECT_STREQ(extract_syntax_error("a: b: c", 0), "c");
    EXPECT_STREQ(extract_syntax_error("no colon", 0), "no colon");
    EXPECT_STREQ(extract_syntax_error("ends:", 0), "");
    EXPECT_EQ(extract_syntax_error("x _end_of_program y", 0), nullptr);
    EXPECT_STREQ(get_nth_line_ex("a\nb\n", 2, 0), "b");
    EXPECT_STREQ(get_nth_line_ex("a\nb\n", 3, 0), "<eof>");
    EXPECT_STREQ(get_nth_line_ex(nullptr, 1, 0), "");
}

TEST(RunCart, HostGuardRefusalNamesTheLineThatAllocated) {
    Runtime rt;
    std::string out = rt.run("s = 'abcdefgh'\nwhile true do\n s = s .. s\nend", 2000);
    EXPECT_TRUE(contains(out, "host allocation error\n")) << out;
    EXPECT_TRUE(contains(out, "runtime error line 3 tab 0\n s = s .. s\n")) << out;
    EXPECT_FALSE(contains(out, "runtime error line 0")) << out;
    EXPECT_EQ(pstate.host_allocation_failed, 0); // cleared by the report
}

TEST(RunCart, AllRefundsAndSkipsDeletedElementsRight) {
    Runtime rt;
    std::string out = rt.run("t = {1, 2, 3, 4}\n"
                             "for v in all(t) do printh(v) if v == 2 then del(t, v) end end\n"
                             "for v in all(nil) do printh('never') end\n"
                             "foreach({5, nil, 6}, printh)\n");
    EXPECT_EQ(out, "1\n2\n3\n4\n5\n6\n");
}

TEST(RunCart, CoroutinesCutByTheBudgetResumeTransparently) {
    Runtime rt;
    std::string out =
        rt.run("c = cocreate(function(a)\n"
               " local n = 0 for j = 1, 30 do for i = 1, 1000 do n = n + 1 end end\n"
               " local b = yield(n + a) return b * 2 end)\n"
               "local ok, v = coresume(c, 5) printh(tostr(ok)..' '..v)\n"
               "ok, v = coresume(c, 21) printh(tostr(ok)..' '..v..' '..costatus(c))\n",
               100);
    EXPECT_EQ(out, "true 30005\ntrue 42 dead\n");
}

TEST(RunCart, ErrorsInPreludeWrappersNameTheCartLine) {
    Runtime rt;
    std::string out = rt.run("x = 1\nfor k in pairs(5) do end\n");
    EXPECT_TRUE(contains(out, "runtime error line 2 tab 0\nfor k in pairs(5) do end\n")) << out;
}

TEST(RunCart, ScriptRunsInTheSliceWhereADelayedPrintFinishes) {
    Runtime rt;
    rt.run("print('a\\0064b')\nfunction _update() printh('u') end", 0);
    int waited = 0;
    std::string out;
    while (pstate.machine_mode == 1 && waited < 40) {
        bool was_pending = print_context.pending;
        testing::internal::CaptureStdout();
        rt.slices(1);
        out = testing::internal::GetCapturedStdout();
        if (was_pending && !print_context.pending) break; // the continuation just finished
        EXPECT_EQ(out, "") << "no script while the print waits";
        waited++;
    }
    EXPECT_GT(waited, 2);
    EXPECT_EQ(out, "u\n");
}

TEST(RunCart, FullBudgetOvershootsByTheLastCallAtMost) {
    Runtime rt;
    rt.run("while true do memset(0x4300, 0, 4096) end", 0);
    for (int i = 0; i < 3; i++) {
        run_slice();
        EXPECT_GE(cpu_cycles_slice, uint32_t(Z6_DEFAULT_SLICE_BUDGET));
        EXPECT_LE(cpu_cycles_slice, uint32_t(Z6_DEFAULT_SLICE_BUDGET + 2048 + 64));
    }
}

TEST(RunCart, ARunStartsWithoutTheWaitOfAFileReload) {
    Runtime rt;
    rt.run("printh('first')", 1);
    // the wait a reload from another cart file starts
    pstate.load_transition_frames = 28;
    pstate.pending_action = 1;
    run_cart();
    pstate.pending_action = 0;
    EXPECT_EQ(pstate.load_transition_frames, 0);
}

// Lua code that C calls (a metamethod of count, finalisers) cannot yield; a
// correct cart that runs slowly there finishes at every frame rate, wherever
// in its slice the slow call begins.
TEST(RunCart, SlowMetamethodsAndFinalisersFinishAtEveryFrameRate) {
    const struct {
        int fps, burn;
    } runs[] = {{15, 60000}, {30, 0}, {60, 20000}};
    for (auto [fps, burn] : runs) {
            std::string code = "for i = 1, " + std::to_string(burn) +
                               " do end\n"
                               "local mt = {__eq = function(a, b) return a.v == b.v end}\n"
                               "local t = {}\n"
                               "for i = 1, 30000 do t[i] = setmetatable({v = i % 7}, mt) end\n"
                               "printh(count(t, setmetatable({v = 3}, mt)))\n"
                               "t = nil freed = 0\n"
                               "local gc = {__gc = function(o) local s = 0\n"
                               " for i = 1, 20 do s = s + i end freed = freed + 1 end}\n"
                               "level = {}\n"
                               "for i = 1, 9000 do level[i] = setmetatable({i}, gc) end\n"
                               "level = nil\n"
                               "function _update()\n"
                               " local junk = {} for i = 1, 200 do junk[i] = {} end\n"
                               " if freed == 9000 then printh(freed) stop() end\n"
                               "end\n";
            Runtime rt;
            std::string out = rt.run(code, 0);
            pstate.fps = pstate.target_fps = fps;
            testing::internal::CaptureStdout();
            rt.slices(3000);
            out += testing::internal::GetCapturedStdout();
            EXPECT_EQ(out, "4286\n9000\n") << fps << " fps, burn " << burn;
            EXPECT_EQ(zrun.run_failed, 0) << fps << " fps, burn " << burn;
    }
}

// The runtime's own collections run finalisers that can never yield: what
// the cart's slice spent before does not count against them, but their
// cycles are still charged to the slice.
TEST(RunCart, FinalisersBetweenSlicesStartAFreshAllowance) {
    Runtime rt;
    rt.run("freed = 0\n"
           "local gc = {__gc = function(o) for i = 1, 200 do end freed = freed + 1 end}\n"
           "for i = 1, 2000 do setmetatable({}, gc) end\n"
           "function _update() end\n",
           1);
    ASSERT_EQ(pstate.machine_mode, 1);
    zrun.gc_strikes = 65; // the next section starts with a full collection
    const uint32_t carried = uint32_t(Z6_DEFAULT_SLICE_BUDGET + Z6_CPU_DEFERRAL_LIMIT - 1000);
    cpu_cycles_slice = carried;
    testing::internal::CaptureStdout();
    run_slice_section();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    EXPECT_EQ(zrun.run_failed, 0);
    lua_getglobal(zrun.L0, "freed");
    EXPECT_EQ(lua_tointeger(zrun.L0, -1), 2000);
    lua_pop(zrun.L0, 1);
    EXPECT_GT(cpu_cycles_slice, carried + 2000 * 400);
}

// With the host guard all but full, a runtime error is still reported, the
// traceback left out when it cannot be built, and the player goes on.
TEST(RunCart, ErrorReportWithTheHostGuardFullNeverEndsThePlayer) {
    Runtime rt;
    rt.run("function f() local x = nil x() end\n"
           "function _update() if go then f() end end\n",
           1);
    ASSERT_EQ(pstate.machine_mode, 1);
    lua_pushboolean(zrun.L0, 1);
    lua_setglobal(zrun.L0, "go");
    // as if the cart held nearly 64 MiB of long strings, with no garbage an
    // emergency collection could give back: room for the error's message, not
    // for a thread to build the traceback on
    lua_gc(zrun.L0, LUA_GCCOLLECT, 0);
    const int64_t filler = Z6_HOST_MEMORY_LIMIT - 600 - pstate.host_memory_used;
    pstate.host_memory_used += filler;
    testing::internal::CaptureStdout();
    rt.slices(1);
    std::string out = testing::internal::GetCapturedStdout();
    pstate.host_memory_used -= filler;
    EXPECT_EQ(pstate.machine_mode, 0);
    EXPECT_EQ(zrun.run_failed, 1);
    EXPECT_TRUE(contains(out, "runtime error line 1 tab 0\nfunction f() local x = nil x() end\n"
                              "attempt to call local 'x' (a nil value)\n"))
        << out;
}

// A refusal that a coroutine caught in an earlier frame does not take the
// traceback of a later error.
TEST(RunCart, CaughtHostRefusalLeavesTheNextErrorItsTraceback) {
    Runtime rt;
    std::string out = rt.run("function f() local x = nil x() end\n"
                             "n = 0\n"
                             "function _update()\n"
                             " n += 1\n"
                             " if n == 1 then\n"
                             "  printh(tostr(coresume(cocreate(function()\n"
                             "   local s = 'abcdefgh' while true do s = s .. s end end))))\n"
                             " elseif n == 3 then f() end\n"
                             "end\n",
                             10);
    EXPECT_TRUE(contains(out, "host allocation error\n")) << out;
    EXPECT_TRUE(contains(out, "false\n")) << out;
    EXPECT_TRUE(contains(out, "runtime error line 1 tab 0\n")) << out;
    EXPECT_TRUE(contains(out, "in f line 1 (tab 0)")) << out;
    EXPECT_TRUE(contains(out, "in _update line 8 (tab 0)")) << out;
}
