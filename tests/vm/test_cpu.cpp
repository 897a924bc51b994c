// CPU cycle accounting: charges per instruction, budgets, forced yields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vm/libs_test_util.h"
#include "tests/vm/vm_test_util.h"
#include "vm/lcpu.h"

using z6test::run;
using z6test::State;

namespace {

// 14 one-cycle LOADKs and a RETURN: 16 cycles
std::string loadk_chain(int n) {
    std::string s = "local a = 1\n";
    for (int i = 1; i < n; i++) s += "a = 1\n";
    return s;
}

const char *kLoop = "local s = 0 local a = {} for i = 1, 5 do s = s + i * 2 a[i] = s end return s";

// charges kBurn cycles, as a costly API call does
constexpr int kBurn = 1 << 20;
int burn(lua_State *) {
    lua_add_cpu_cycles(kBurn);
    return 0;
}

int cycles_of(lua_State *L, const std::string &code) {
    lua_reset_cpu_cycles();
    auto r = run(L, code);
    EXPECT_EQ(r.status, LUA_OK) << r.joined();
    return lua_get_cpu_cycles();
}

// Runs code as the main thread through lua_resume, one slice per resume.
z6test::Sliced run_sliced(lua_State *L, const std::string &code, int budget,
                          int max_resumes = 100000) {
    lua_settop(L, 0);
    EXPECT_EQ(z6test::load(L, code), LUA_OK);
    lua_reset_cpu_cycles();
    return z6test::resume_sliced(L, budget, max_resumes);
}

} // namespace

TEST(Cpu, StraightCodeAndLoopsCostWhatTheirListingsSay) {
    State L;
    EXPECT_EQ(cycles_of(L, "for i=1,10 do end"), 3 + 2 + 11 * 2 + 2);
    EXPECT_EQ(cycles_of(L, loadk_chain(14)), 16);
    EXPECT_EQ(cycles_of(L, kLoop), 8 + 5 * 7 + 2 + 2);
    // a comparison with its jump costs 2; a generic-for step 2 plus the iterator
    EXPECT_EQ(cycles_of(L, "local a = 1 if a < 2 then a = 3 end"), 1 + 2 + 1 + 2);
    // CONCAT of a 100-byte and a 10-byte string: 2 + (100 >> 5) + (10 >> 5)
    lua_pushstring(L, std::string(100, 'a').c_str());
    lua_setglobal(L, "A");
    lua_pushstring(L, std::string(10, 'b').c_str());
    lua_setglobal(L, "B");
    EXPECT_EQ(cycles_of(L, "local a, b = A, B return a .. b"), 2 + 2 + 1 + 1 + (2 + 3) + 2);
    // the slice and frame counters add up
    lua_reset_cpu_cycles();
    lua_add_cpu_cycles(5);
    lua_cpu_prepare_for_slice();
    lua_add_cpu_cycles(7);
    EXPECT_EQ(lua_get_cpu_cycles(), 12);
    EXPECT_EQ(cpu_cycles_slice, 7u);
}

TEST(Cpu, BudgetSplitsAProgramIntoSlicesWithTheSameTotal) {
    State L;
    int total = cycles_of(L, kLoop);
    auto s = run_sliced(L, kLoop, 10);
    EXPECT_EQ(s.status, LUA_OK);
    EXPECT_GT(s.resumes, 3);
    EXPECT_EQ(lua_get_cpu_cycles(), total);
    EXPECT_EQ(z6test::value_text(L, -1), "30");
    EXPECT_EQ(lua_get_cpu_superyielded_coresume(), 1);
}

TEST(Cpu, YieldComesBeforeTheInstructionAfterTheBudgetIsPassed) {
    State L;
    // eleven one-cycle charges pass a budget of 10. A resumed frame keeps its
    // forced-yield mark until the check first stops it, and that stop lets
    // one more instruction run: later slices charge 12
    auto s = run_sliced(L, loadk_chain(40), 10);
    EXPECT_EQ(s.status, LUA_OK);
    EXPECT_EQ(s.slice_cycles, (std::vector<int>{11, 12, 12}));
    EXPECT_EQ(lua_get_cpu_cycles(), 42);
}

TEST(Cpu, EveryResumeMakesProgressEvenWithoutBudget) {
    State L;
    auto s = run_sliced(L, loadk_chain(14), -1); // stops before every instruction
    EXPECT_EQ(s.status, LUA_OK);
    EXPECT_EQ(s.resumes, 16); // one yield before anything ran, then one per instruction
    EXPECT_EQ(lua_get_cpu_cycles(), 16);
    // budget 0: the first slice runs one instruction, every later one two (the
    // resumed instruction passes the check, the mark lets the next one run)
    s = run_sliced(L, loadk_chain(14), 0);
    EXPECT_EQ(s.status, LUA_OK);
    EXPECT_EQ(s.resumes, 8);
    EXPECT_EQ(lua_get_cpu_cycles(), 16);
}

TEST(Cpu, ASliceCounterPast2To31WrapsAsTheStoredCounterDoes) {
    State L;
    // loadk_chain(14) (16 cycles) from a slice counter of `start`, under `budget`
    auto resume_from = [&](int start, int budget) {
        lua_settop(L, 0);
        EXPECT_EQ(z6test::load(L, loadk_chain(14)), LUA_OK);
        lua_reset_cpu_cycles();
        lua_add_cpu_cycles(start);
        lua_set_cpu_cycles_slice_max(budget);
        lua_cpu_prepare_for_resume();
        return lua_resume(L, nullptr, 0);
    };
    // under a budget of INT32_MAX the counter can pass 2^31: it then reads as
    // negative, below the budget, and the slice runs on
    EXPECT_EQ(resume_from(0x7ffffff8, 0x7fffffff), LUA_OK);
    EXPECT_EQ(cpu_cycles_slice, 0x7ffffff8u + 16u);
    // a budget just above the start stops the slice after the instruction
    // that passes it
    EXPECT_EQ(resume_from(0x7ffffff8, 0x7ffffffa), LUA_YIELD);
    EXPECT_EQ(cpu_cycles_slice, 0x7ffffffbu);
}

TEST(Cpu, RequestedYieldStopsAtOnceAndCanBeCancelled) {
    State L;
    lua_settop(L, 0);
    ASSERT_EQ(z6test::load(L, "return 5"), LUA_OK);
    lua_reset_cpu_cycles();
    lua_set_cpu_superyielded_coresume(0);
    lua_set_cpu_cycles_slice_max(0x22222);
    lua_cpu_superyield();
    EXPECT_EQ(lua_resume(L, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(lua_get_cpu_cycles(), 0);
    EXPECT_EQ(lua_get_cpu_superyielded_coresume(), 1);
    lua_cpu_prepare_for_resume();
    EXPECT_EQ(lua_resume(L, nullptr, 0), LUA_OK);
    EXPECT_EQ(z6test::value_text(L, -1), "5");
}

TEST(Cpu, RunawayLoopKeepsYieldingAndCanBeAbandoned) {
    State L;
    auto s = run_sliced(L, "local n = 0 while true do n = n + 1 end", 1000, 200);
    EXPECT_EQ(s.status, LUA_YIELD);
    EXPECT_EQ(s.resumes, 200);
    // abandon it and run another program in the same state
    lua_reset_call_state_zibo6(L);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
    auto r = run(L, "return 6 * 7");
    EXPECT_EQ(r.joined(), "42");
}

TEST(Cpu, ForcedYieldWhereYieldingIsImpossibleWaitsThenRaisesAnError) {
    State L;
    // main thread under lua_pcall: never yieldable, so the yield is put off
    // and a short program finishes
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(5);
    auto r = run(L, loadk_chain(14) + "return a");
    EXPECT_EQ(r.joined(), "1");
    // only a runaway raises the error, ten seconds of cycles past the budget;
    // burn() charges a mebicycle, so the runaway gets there quickly
    lua_register(L, "burn", burn);
    lua_reset_cpu_cycles();
    r = run(L, "local n = 0 while true do burn() end");
    EXPECT_EQ(r.status, LUA_ERRRUN);
    EXPECT_EQ(r.joined(), "attempt to yield from outside a coroutine");
    EXPECT_GT(lua_get_cpu_cycles(), 5 + Z6_CPU_DEFERRAL_LIMIT);
    EXPECT_LT(lua_get_cpu_cycles(), 5 + Z6_CPU_DEFERRAL_LIMIT + kBurn + 10);

    // another thread, inside a Lua function called from C without continuation
    lua_settop(L, 0);
    lua_State *co = lua_newthread(L);
    ASSERT_EQ(z6test::load(co, "ccall(function() while true do burn() end end)"), LUA_OK);
    lua_reset_cpu_cycles();
    const int frame = 0x800000 / 15;
    lua_set_cpu_cycles_slice_max(frame);
    EXPECT_EQ(lua_resume(co, L, 0), LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(co, -1), "attempt to yield across a C-call boundary");
    EXPECT_GT(lua_get_cpu_cycles(), frame + Z6_CPU_DEFERRAL_LIMIT);
    EXPECT_LT(lua_get_cpu_cycles(), frame + Z6_CPU_DEFERRAL_LIMIT + kBurn + 10);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
}

// A rig that runs many short programs lowers the allowance: a runaway that
// cannot yield then errs within its own bound, not ten seconds of cycles.
TEST(Cpu, LoweredDeferralLimitStopsARunawaySooner) {
    State L;
    lua_State *co = lua_newthread(L);
    ASSERT_EQ(z6test::load(co, "ccall(function() local n = 0 while true do n = n + 1 end end)"),
              LUA_OK);
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(300);
    lua_set_cpu_deferral_limit(30000);
    int status = lua_resume(co, L, 0);
    int cycles = lua_get_cpu_cycles();
    lua_set_cpu_deferral_limit(Z6_CPU_DEFERRAL_LIMIT);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
    EXPECT_EQ(status, LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(co, -1), "attempt to yield across a C-call boundary");
    EXPECT_GT(cycles, 300 + 30000);
    EXPECT_LT(cycles, 300 + 30000 + 100);

    // a coroutine that such code resumes holds its yields just as long: the
    // error ends it, then its resumer, still overdue
    lua_State *held = lua_newthread(L);
    ASSERT_EQ(z6test::load(held, "c = cocreate(function() local n = 0 while true do n = n + 1 end "
                                 "end) ccall(function() coresume(c) end)"),
              LUA_OK);
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(300);
    lua_set_cpu_deferral_limit(30000);
    status = lua_resume(held, L, 0);
    cycles = lua_get_cpu_cycles();
    lua_set_cpu_deferral_limit(Z6_CPU_DEFERRAL_LIMIT);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
    EXPECT_EQ(status, LUA_ERRRUN);
    lua_getglobal(L, "c");
    lua_State *c = lua_tothread(L, -1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(lua_status(c), LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(c, -1), "attempt to yield across a C-call boundary");
    EXPECT_GT(cycles, 300 + 30000);
    EXPECT_LT(cycles, 300 + 30000 + 100);
}

namespace {

int collect(lua_State *L) {
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}

// The host collects through a protected call on a thread of its own, outside
// every resume (as the console does between slices), under the given budget;
// the status of that call, its message left on the thread.
int host_collect(lua_State *L, int budget) {
    lua_State *G = lua_newthread(L);
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(budget);
    lua_cpu_prepare_for_resume();
    lua_pushcfunction(G, collect);
    int status = lua_pcall(G, 0, 0, 0);
    if (status != LUA_OK) lua_xmove(G, L, 1);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
    return status;
}

int resume_from_c(lua_State *L) {
    lua_pushinteger(L, lua_resume(lua_tothread(L, 1), L, 0));
    return 1;
}

} // namespace

// Finalisers run outside every resume cannot yield either: coroutines they
// resume, nested ones too, hold their forced yields and hand back their own
// values, and a runaway among them still ends at the overdue limit. A
// coroutine the host resumes from C, with no Lua code between, still yields.
TEST(Cpu, FinalisersOutsideEveryResumeHoldTheirCoroutines) {
    const char *nested = R"(
        local function spin(n) local s = 0 for i = 1, n do s = s + i end return s end
        local function run(c, n)
            local s = '' for i = 1, n do local ok, v = coresume(c) s = s .. tostring(v) .. ',' end
            return s
        end
        local function inner()
            return cocreate(function()
                for i = 1, 3 do spin(300) yield('i' .. i) end return 'idone'
            end)
        end
        setmetatable({}, {__gc = function()
            nested = run(cocreate(function()
                local c = inner()
                for i = 1, 4 do local ok, v = coresume(c) yield(v) end
                return 'odone'
            end), 5)
        end})
        setmetatable({}, {__gc = function() single = run(inner(), 4) end}))";
    for (int budget : {1, 37, 1000, 0x800000 / 30}) {
        z6libs::State S(false);
        ASSERT_EQ(S.run(nested), "");
        ASSERT_EQ(host_collect(S.L, budget), LUA_OK) << z6test::value_text(S.L, -1);
        EXPECT_EQ(S.run("return nested, single"), "i1,i2,i3,idone,odone,\ti1,i2,i3,idone,")
            << "budget " << budget;
    }

    State L;
    lua_set_cpu_deferral_limit(30000);
    ASSERT_EQ(z6test::run(L, "setmt({}, {__gc = function() c = cocreate(function() "
                             "local n = 0 while true do n = n + 1 end end) coresume(c) end})")
                  .status,
              LUA_OK);
    int status = host_collect(L, 300);
    int cycles = lua_get_cpu_cycles();
    lua_set_cpu_deferral_limit(Z6_CPU_DEFERRAL_LIMIT);
    EXPECT_EQ(status, LUA_ERRGCMM);
    EXPECT_EQ(z6test::value_text(L, -1),
              "error in __gc metamethod (attempt to yield across a C-call boundary)");
    lua_getglobal(L, "c");
    lua_State *c = lua_tothread(L, -1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(lua_status(c), LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(c, -1), "attempt to yield across a C-call boundary");
    EXPECT_GT(cycles, 300 + 30000);
    EXPECT_LT(cycles, 300 + 30000 + 100);

    lua_settop(L, 0);
    lua_State *co = lua_newthread(L);
    ASSERT_EQ(z6test::load(co, "while true do end"), LUA_OK);
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(100);
    lua_pushcfunction(L, resume_from_c);
    lua_pushvalue(L, 1);
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
    EXPECT_EQ(lua_tointeger(L, -1), LUA_YIELD);
    EXPECT_LT(lua_get_cpu_cycles(), 200);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
}

// Closing the state runs every finaliser whole, whatever its main thread was
// doing: suspended by a forced or an own yield with another yield requested
// (a cart calling run()), dead by an error, or idle with its slice spent. A
// runaway still ends at the overdue limit; the close leaves the request and
// the slice counter as it found them, its finalisers' cycles charged.
TEST(Cpu, FinalisersAtCloseRunWholeWhateverTheThreadWasDoing) {
    const char *finalisers = R"(
        setmt({}, {__gc = function() print('b', fsum(1, 2)) end})
        setmt({}, {__gc = function()
            print('a') local s = 0 for i = 1, 3000 do s = s + 1 end print(s)
        end})
    )";
    struct Case {
        const char *then; // run under lua_resume after the finalisers are set
        int status;       // what that resume returned
        uint32_t slice;   // the slice counter when the state is closed
        bool runaway;     // a finaliser that never ends comes first
    };
    const Case cases[] = {
        {"while true do end", LUA_YIELD, 50, false},
        {"yield()", LUA_YIELD, 50, false},
        {"error('x')", LUA_ERRRUN, 50, false},
        {"return 1", LUA_OK, 0x22222 + Z6_CPU_DEFERRAL_LIMIT - 10, false},
        {"while true do end", LUA_YIELD, 50, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.then);
        State S;
        std::string code = c.runaway ? "setmt({}, {__gc = function() while true do end end})" : "";
        lua_settop(S, 0);
        ASSERT_EQ(z6test::load(S, code + finalisers + c.then), LUA_OK);
        lua_set_cpu_cycles_slice_max(1000);
        ASSERT_EQ(lua_resume(S, nullptr, 0), c.status);
        lua_set_cpu_cycles_slice_max(0x22222);
        lua_set_cpu_deferral_limit(c.runaway ? 30000 : Z6_CPU_DEFERRAL_LIMIT);
        lua_cpu_superyield();
        lua_reset_cpu_cycles();
        lua_add_cpu_cycles(static_cast<int>(c.slice));
        lua_close(S.L);
        S.L = lua_newstate(z6test::plain_alloc, nullptr); // for State's own close
        lua_set_cpu_deferral_limit(Z6_CPU_DEFERRAL_LIMIT);
        EXPECT_EQ(z6test::printed, "a\n3000\nb\t3\n");
        EXPECT_EQ(cpu_superyield, Z6_SUPERYIELD_REQUEST);
        EXPECT_GT(cpu_cycles_slice, c.slice + 3000 * 3);
        if (!c.runaway) {
            EXPECT_LT(cpu_cycles_slice, c.slice + 3000 * 3 + 100);
        }
    }
}

// Lua code called from C (a metamethod of count, a sort comparator, an error
// handler, finalisers) cannot yield; a correct program that runs slowly
// there must finish with its result whatever the slice budget.
TEST(Cpu, SlowCodeCalledFromCFinishesUnderEveryBudget) {
    struct Case {
        bool stock;
        const char *code;
        const char *want;
    };
    const Case cases[] = {
        {false, R"(
            local mt = {__eq = function(a, b) return a.v == b.v end}
            local t = {}
            for i = 1, 30000 do t[i] = setmetatable({v = i % 7}, mt) end
            return count(t, setmetatable({v = 3}, mt)))",
         "4286"},
        {true, R"(
            local t, x = {}, 12345
            for i = 1, 2000 do x = (x * 75 + 74) % 32749 t[i] = x end
            table.sort(t, function(a, b) if a == b then return false end return a > b end)
            for i = 2, #t do if t[i - 1] < t[i] then return 'unsorted' end end
            return #t, t[1], t[2000])",
         "2000 32739 55"},
        {true, R"(
            local function handler(m)
                local s = 0
                for j = 1, 100 do for i = 1, 300 do s = s + 1 end end
                return 'handled ' .. s
            end
            return xpcall(function() error('boom') end, handler))",
         "false handled 30000"},
        {true, R"(
            freed = 0
            local mt = {__gc = function(o)
                local s = 0 for i = 1, 20 do s = s + i end freed = freed + 1
            end}
            local level = {}
            for i = 1, 9000 do level[i] = setmetatable({i}, mt) end
            level = nil
            collectgarbage()
            return freed)",
         "9000"},
        // a coroutine resumed there yields its own values, several times:
        // it is never forced out to a resumer that could not pass that on
        {false, R"(
            local function three()
                local c = cocreate(function()
                    for k = 1, 3 do local s = 0 for i = 1, 300 do s = s + i end yield(k) end
                end)
                local r = ''
                for k = 1, 4 do local ok, v = coresume(c) r = r .. tostring(v) .. ' ' end
                return r .. costatus(c)
            end
            local seen = {}
            local eq = {__eq = function() seen[#seen + 1] = three() return false end}
            count({setmetatable({}, eq), setmetatable({}, eq)}, setmetatable({}, eq))
            seen[#seen + 1] = tostring(setmetatable({}, {__tostring = three}))
            add(setmetatable({}, {__len = function() seen[#seen + 1] = three() return 0 end}), 1)
            return seen[1], seen[2], seen[3], seen[4])",
         "1 2 3 nil dead 1 2 3 nil dead 1 2 3 nil dead 1 2 3 nil dead"},
        {true, R"(
            local function three()
                local c = coroutine.create(function()
                    for k = 1, 3 do
                        local s = 0 for i = 1, 300 do s = s + i end coroutine.yield(k)
                    end
                end)
                local r = ''
                for k = 1, 4 do
                    local ok, v = coroutine.resume(c) r = r .. tostring(v) .. ' '
                end
                return r .. coroutine.status(c)
            end
            local function w(a, b) for i = 1, 2000 do end coroutine.yield(a < b) end
            local t = {20, 7, 8, 9, 10, 6, 4, 5, 3, 2, 11, 1, 12, 13, 14, 15, 16, 17, 18, 19}
            table.sort(t, function(a, b) return coroutine.wrap(w)(a, b) end)
            local _, handled = xpcall(function() error('x') end, three)
            local fin
            setmetatable({}, {__gc = function() fin = three() end})
            collectgarbage()
            return table.concat(t, ','), handled, fin)",
         "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20 1 2 3 nil dead 1 2 3 nil dead"},
    };
    for (const Case &c : cases)
        for (int budget :
             {1, 7, 37, 100, 500, 1000, 0x800000 / 60, 0x800000 / 30, 0x800000 / 15, 0x7fffffff}) {
            z6libs::State S(c.stock);
            lua_settop(S.L, 0);
            ASSERT_EQ(z6test::load(S.L, c.code), LUA_OK);
            lua_reset_cpu_cycles();
            auto s = z6test::resume_sliced(S.L, budget, 1 << 22);
            EXPECT_EQ(s.status, LUA_OK) << "budget " << budget << ": " << z6test::stack_text(S.L)
                                        << "\n" << c.code;
            EXPECT_EQ(z6test::stack_text(S.L), c.want) << "budget " << budget << "\n" << c.code;
        }
    lua_set_cpu_cycles_slice_max(0x22222);
}

TEST(Cpu, PutOffYieldComesAtTheFirstYieldableInstruction) {
    State L;
    // the budget runs out inside a C-called function; the coroutine yields
    // right after ccall returns, with its result delivered
    const char *code = R"(
    local v = ccall(function() local s = 0 for i = 1, 30 do s = s + i end return s end)
    return v
  )";
    auto s = run_sliced(L, code, 20);
    ASSERT_EQ(s.status, LUA_OK) << z6test::value_text(L, -1);
    EXPECT_EQ(z6test::value_text(L, -1), "465");
    ASSERT_GE(s.slice_cycles.size(), 1u);
    EXPECT_GT(s.slice_cycles[0], 100); // the whole loop ran in the first slice
}

TEST(Cpu, ForcedYieldInsideMetamethodsDeliversTheResult) {
    State L;
    const char *code = R"(
    local function slow(x) local s = 0 for i = 1, 40 do s = s + x end return s end
    local mt = {__rotl = function(a, b) return slow(b) end,
                __lt = function(a, b) return slow(a.v) < slow(b.v) end,
                __index = function(t, k) return slow(2) end,
                __concat = function(a, b) return 'c' .. slow(1) end,
                __add = function(a, b) return slow(3) end}
    local a, b = setmt({v = 1}, mt), setmt({v = 2}, mt)
    local r = a <<> 2
    local le1, le2 = a <= b, b <= a
    local idx = a.missing
    local cat = 'x' .. a .. 'y'
    local sum = 1 + a
    return r, le1, le2, idx, cat, sum
  )";
    auto s = run_sliced(L, code, 15);
    ASSERT_EQ(s.status, LUA_OK) << z6test::value_text(L, -1);
    EXPECT_GT(s.resumes, 20);
    EXPECT_EQ(z6test::stack_text(L), "80 true false 80 xc40 120");
}

TEST(Cpu, ForcedYieldSurfacesInTheInnermostCoroutine) {
    State L;
    const char *code = R"(
    local co = cocreate(function() local s = 0 for i = 1, 200 do s = s + i end return s end)
    local n, ok, v = 0
    repeat ok, v = coresume(co) n = n + 1 until v ~= nil
    return v, n > 1, ok
  )";
    auto s = run_sliced(L, code, 50);
    ASSERT_EQ(s.status, LUA_OK) << z6test::value_text(L, -1);
    EXPECT_GT(s.resumes, 2);
    EXPECT_EQ(z6test::value_text(L, 1) + " " + z6test::value_text(L, 2) + " " +
                  z6test::value_text(L, 3),
              "20100 true true");
}

TEST(Cpu, AYieldAtAnyInstructionBoundaryChangesNeitherResultsNorTotal) {
    // multiple results pending on the stack top, varargs, generic for,
    // metamethods (each a Lua call that yields inside), tail calls, fast calls
    const char *code = R"(
    local function many(n) if n == 0 then return end return n, many(n - 1) end
    local function count(...) local t = {...} return #t, ... end
    local function iter(t, i) i = i + 1 if t[i] then return i, t[i] end end
    local function tail(n) if n == 0 then return 'end' end return tail(n - 1) end
    local mt = {__add = function(a, b) return a.v + b end,
                __index = function(t, k) return k .. '!' end,
                __lt = function(a, b) return a.v < b.v end,
                __eq = function(a, b) return a.v == b.v end,
                __concat = function(a, b) return 'c' end,
                __call = function(self, x) return x * 2 end}
    local o, p = setmt({v = 4}, mt), setmt({v = 4}, mt)
    local t = {many(5)}
    local s = 0
    for i, v in iter, t, 0 do s = s + v end
    return s, o + 1, o.key, o < p, o <= p, o == p, 'a' .. o .. 'b' .. 1, o(21), tail(30),
           fsum(1, 2), count(many(4))
  )";
    State L;
    auto whole = run_sliced(L, code, 0x7fffffff);
    ASSERT_EQ(whole.status, LUA_OK) << z6test::value_text(L, -1);
    const std::string want = "15 5 key! false true true ac 42 end 3 4 4 3 2 1";
    EXPECT_EQ(z6test::stack_text(L), want);
    const int total = lua_get_cpu_cycles();
    for (int budget : {-1, 0, 1, 2, 3, 7, 50}) {
        auto s = run_sliced(L, code, budget);
        ASSERT_EQ(s.status, LUA_OK) << "budget " << budget << ": " << z6test::value_text(L, -1);
        EXPECT_EQ(z6test::stack_text(L), want) << "budget " << budget;
        EXPECT_EQ(lua_get_cpu_cycles(), total) << "budget " << budget;
    }
    // values handed to a resume after a forced yield are delivered nowhere
    lua_settop(L, 0);
    ASSERT_EQ(z6test::load(L, code), LUA_OK);
    lua_set_cpu_cycles_slice_max(-1);
    int status = lua_resume(L, nullptr, 0), resumes = 1;
    while (status == LUA_YIELD && resumes++ < 100000) {
        lua_checkstack(L, 2);
        lua_pushstring(L, "junk");
        lua_pushnumber(L, 99 << 16);
        status = lua_resume(L, nullptr, 2);
    }
    ASSERT_EQ(status, LUA_OK) << z6test::value_text(L, -1);
    EXPECT_EQ(z6test::stack_text(L), want);
}

// A yield requested by a C function stops the calling Lua code before its next
// instruction, even while the slice counter is far below the budget.
TEST(Cpu, YieldRequestedByACFunctionStopsBeforeTheNextInstruction) {
    State L;
    lua_register(L, "req", [](lua_State *) {
        lua_cpu_superyield();
        return 0;
    });
    lua_settop(L, 0);
    // LOADK 1, GETTABUP 2, CALL 2 | LOADK 1, RETURN 2
    ASSERT_EQ(z6test::load(L, "local a = 1 req() a = 2 return a"), LUA_OK);
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(0x22222);
    lua_cpu_prepare_for_resume();
    EXPECT_EQ(lua_resume(L, nullptr, 0), LUA_YIELD);
    EXPECT_EQ(lua_get_cpu_cycles(), 5);
    lua_cpu_prepare_for_resume();
    EXPECT_EQ(lua_resume(L, nullptr, 0), LUA_OK);
    EXPECT_EQ(z6test::value_text(L, -1), "2");
    EXPECT_EQ(lua_get_cpu_cycles(), 8);
}
