// Interpreter speed on small loops, calls and table work. "Unlimited" runs
// the chunk with a budget it never reaches; "Sliced" runs it as a coroutine
// with a budget of one frame slice, resuming after every forced yield.
#include <benchmark/benchmark.h>

#include <string>

#include "vm/lauxlib.h"
#include "vm/lua.h"

namespace {

const std::string kLoop = R"(
  local s = 0
  for j = 1, 20 do for i = 1, 1000 do s = s + i * 2 - (i & 7) end end
  return s)";

const std::string kCalls = R"(
  local function add(a, b) return a + b end
  local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
  local s = 0
  for i = 1, 5000 do s = add(s, 1) end
  return s + fib(16))";

const std::string kTables = R"(
  local t, h = {}, {}
  for i = 1, 3000 do t[i] = i end
  for i = 1, 3000 do h['k' .. (i & 255)] = t[i] end
  local s = 0
  for i = 1, #t do s = s + t[i] end
  local function walk(tab, i) i = i + 1 local v = tab[i] if v then return i, v end end
  for k, v in walk, t, 0 do s = s + v end
  return s + h.k3)";

void run_chunk(benchmark::State &state, const std::string &code, int budget) {
    lua_State *L = luaL_newstate();
    long yields = 0;
    for (auto _ : state) {
        lua_settop(L, 0);
        if (luaL_loadbufferx(L, code.data(), code.size(), "=bench", "t") != LUA_OK) {
            state.SkipWithError("compile failed");
            break;
        }
        lua_reset_cpu_cycles();
        lua_set_cpu_cycles_slice_max(budget);
        int status;
        do {
            lua_cpu_prepare_for_slice();
            status = lua_resume(L, nullptr, 0);
            if (status == LUA_YIELD) yields++;
        } while (status == LUA_YIELD);
        if (status != LUA_OK) {
            state.SkipWithError(lua_tostring(L, -1));
            break;
        }
        benchmark::DoNotOptimize(lua_tonumber(L, -1));
    }
    state.counters["cycles"] = lua_get_cpu_cycles();
    state.counters["yields/run"] =
        benchmark::Counter(static_cast<double>(yields), benchmark::Counter::kAvgIterations);
    lua_close(L);
}

constexpr int kUnlimited = 0x3fffffff;
constexpr int kSlice = 0x22222; // one 60 fps frame's budget
constexpr int kTinySlice = 1000;

} // namespace

#define Z6_BENCH(name, code)                                                                       \
    static void name##_Unlimited(benchmark::State &s) { run_chunk(s, code, kUnlimited); }          \
    static void name##_Sliced(benchmark::State &s) { run_chunk(s, code, kSlice); }                 \
    static void name##_TinySlices(benchmark::State &s) { run_chunk(s, code, kTinySlice); }         \
    BENCHMARK(name##_Unlimited);                                                                   \
    BENCHMARK(name##_Sliced);                                                                      \
    BENCHMARK(name##_TinySlices)

Z6_BENCH(Loop, kLoop);
Z6_BENCH(Calls, kCalls);
Z6_BENCH(Tables, kTables);
