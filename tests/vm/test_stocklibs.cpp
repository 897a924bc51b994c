// The libraries carts cannot reach (math, bit32, os, package, debug) as
// --stock-libs opens them: their 16.16 mappings and their messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/vm/libs_test_util.h"

using z6libs::State;

TEST(StockLibs, MathIsValuePreserving) {
    State s(true);
    z6libs::expect_runs(
        s,
        {
            {"return math.floor(2.5), math.floor(-2.5), math.ceil(2.25), math.ceil(-2.25), "
             "math.ceil(3)",
             "2\t-3\t3\t-2\t3"},
            {"return math.sqrt(4), math.sqrt(2), math.pi, math.huge", "2\t1.4142\t3.1416\t32768"},
            {"return math.abs(-3.5), math.fmod(7, 3), math.fmod(-7, 3), math.fmod(5.5, 2)",
             "3.5\t1\t-1\t1.5"},
            {"return math.modf(3.75)", "3\t0.75"},
            {"return math.modf(-3.75)", "-3\t-0.75"},
            {"return math.ldexp(3, 4), math.frexp(8), math.pow(2, 10), math.exp(0), math.log(8, 2)",
             "48\t0.5\t1024\t1\t3"},
            {"return math.deg(math.pi) > 179.99, math.rad(180) > 3.14, math.sin(0), math.cos(0)",
             "true\ttrue\t0\t1"},
            {"return math.max(1, '7', 3), math.min(2, -1)", "7\t-1"},
            {"return math.max()",
             "error: bad argument #1 to 'max' (number expected, got no value)"},
            {"math.randomseed(3) local r = math.random(1, 6) return r >= 1 and r <= 6 and r % 1 == "
             "0",
             "true"},
            {"local r = math.random() return r >= 0 and r < 1", "true"},
            {"return math.random(0)", "error: bad argument #1 to 'random' (interval is empty)"},
            {"return math.random(3, 2)", "error: bad argument #2 to 'random' (interval is empty)"},
            {"return math.random(1, 2, 3)", "error: wrong number of arguments"},
        });
}

TEST(StockLibs, Bit32WorksOnIntegerParts) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"return bit32.band(), bit32.bor(), bit32.bnot(0), bit32.band(1.75, 3)",
                "-1\t0\t-1\t1"},
               {"return bit32.lshift(1, 15), bit32.lshift(1, 16), bit32.rshift(-1, 28), "
                "bit32.arshift(-16, 2)",
                "-32768\t0\t15\t-4"},
               {"return bit32.arshift(-1, 40), bit32.rshift(1, -3), bit32.lrotate(1, 33), "
                "bit32.rrotate(2, 1)",
                "-1\t8\t2\t1"},
               {"return bit32.extract(0x1234, 4, 8), bit32.replace(0, 7, 4, 3), bit32.btest(2, 4)",
                "35\t112\tfalse"},
               {"return bit32.extract(1, -1)",
                "error: bad argument #2 to 'extract' (field cannot be negative)"},
               {"return bit32.extract(1, 0, 0)",
                "error: bad argument #3 to 'extract' (width must be positive)"},
               {"return bit32.extract(1, 30, 3)", "error: trying to access non-existent bits"},
               {"return bit32.bor('nan')",
                "error: bad argument #1 to 'bor' (number expected, got string)"},
           });
}

TEST(StockLibs, OsTimesAndFiles) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"local c = os.clock() return type(c), c >= 0", "number\ttrue"},
               // os.time is the raw count; os.date reads the same raw form
               {"local t = os.time{year = 2001, month = 2, day = 3, hour = 4, min = 5, sec = 6} "
                "local d = os.date('*t', t) return d.year, d.month, d.day, d.hour, d.min, d.sec",
                "2001\t2\t3\t4\t5\t6"},
               {"return os.date('!%Y-%m-%d %H:%M:%S', 0)", "1970-01-01 00:00:00"},
               {"return os.difftime(os.time{year = 2001, month = 1, day = 1, sec = 90}, "
                "os.time{year = 2001, month = 1, day = 1})",
                "90"},
               {"return os.time{year = 2001}", "error: field 'day' missing in date table"},
               {"return os.date('%Ez')",
                "error: bad argument #1 to 'date' (invalid conversion specifier '%Ez')"},
               {"return os.date('a%')",
                "error: bad argument #1 to 'date' (invalid conversion specifier '%')"},
               {"return os.date('!x%%y%d', 0)", "x%y01"},
               {"return os.setlocale(nil, 'bogus')",
                "error: bad argument #2 to 'setlocale' (invalid option 'bogus')"},
               {"local n = os.tmpname() local ok = os.remove(n) return ok, os.remove(n) == nil",
                "true\ttrue"},
           });
    std::string r = s.run("return os.remove('/nonexistent/v4/file')");
    EXPECT_EQ(r.rfind("nil\t/nonexistent/v4/file: No such file or directory\t", 0), 0u) << r;
    EXPECT_EQ(s.run("return type(os.getenv('HOME')), os.getenv('Z6_V4_UNSET_VARIABLE')"),
              "string\tnil");
}

TEST(StockLibs, PackageWithoutDynamicLoading) {
    State s(true);
    EXPECT_EQ(s.run("package.preload.m = function(name) return {name = name} end return "
                    "require('m').name, require('m') == require('m')"),
              "m\ttrue");
    std::string e =
        s.run("package.path = './?.z6none' package.cpath = '' return require('v4nomodule')");
    EXPECT_EQ(e, "error: module 'v4nomodule' not found:\n\tno field package.preload['v4nomodule']"
                 "\n\tno file './v4nomodule.z6none'");
    z6libs::expect_runs(
        s,
        {
            {"return package.loadlib('x.so', 'f')",
             "nil\tdynamic libraries not enabled; check your Lua installation\tabsent"},
            {"package.path = {} return require('other')", "error: 'package.path' must be a string"},
            {"package.searchers = nil return require('other2')",
             "error: 'package.searchers' must be a table"},
            {"return package.config", "/\n;\n?\n!\n-\n"},
            {"return package.searchpath('a.b', './?.none;./?.x')",
             "nil\t\n\tno file './a/b.none'\n\tno file './a/b.x'"},
        });
}

TEST(StockLibs, DebugLibrary) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"local function f(a, b, ...) return debug.getinfo(1, 'Slu') end "
                "local i = f() return i.what, i.currentline, i.linedefined, i.nparams, i.isvararg, "
                "i.short_src:sub(1, 8)",
                "Lua\t1\t1\t2\ttrue\t[string "},
               {"return debug.getinfo(print).what, debug.getinfo(100)", "C\tnil"},
               {"return debug.getinfo('x')",
                "error: bad argument #1 to 'getinfo' (function or level expected)"},
               {"return debug.getinfo(1, '?')",
                "error: bad argument #2 to 'getinfo' (invalid option)"},
               {"local x = 5 return debug.getlocal(1, 1)", "x\t5"},
               {"return debug.getlocal(50, 1)",
                "error: bad argument #1 to 'getlocal' (level out of range)"},
               {"local a, b = 1, 2 local function f() return a + b end "
                "return debug.getupvalue(f, 2), debug.setupvalue(f, 1, 10), f()",
                "b\ta\t12"},
               {"local a local function f() return a end local function g() return a end "
                "return debug.upvalueid(f, 1) == debug.upvalueid(g, 1)",
                "true"},
               {"return debug.upvalueid(print, 1)",
                "error: bad argument #2 to 'upvalueid' (invalid upvalue index)"},
               {"debug.sethook(function() end, 'cr', 3) local h, m, c = debug.gethook() "
                "debug.sethook() return type(h), m, c, debug.gethook()",
                "function\tcr\t3\tnil\t\t0"},
               {"return debug.setmetatable(5, 1)",
                "error: bad argument #2 to 'setmetatable' (nil or table expected)"},
               {"return type(debug.getregistry()), debug.getmetatable('').__index == string",
                "table\ttrue"},
               {"return debug.traceback('m', 1):sub(1, 18)", "m\nstack traceback:"},
           });
}

// require through the Lua-file searcher: the loader's second argument, a
// module that sets package.loaded itself, a load error and the C searchers'
// reasons
TEST(StockLibs, RequireFindsLuaFiles) {
    const std::string dir = "/tmp/z6vm_pkgtest";
    std::filesystem::create_directories(dir);
    auto put = [&dir](const char *name, const char *text) {
        std::ofstream(dir + "/" + name) << text;
    };
    put("c3mod.lua", "local name, file = ...\nreturn name .. '@' .. file\n");
    put("c3set.lua", "package.loaded[...] = 'set'\n");
    put("c3bad.lua", "x = = 1\n");
    State s(true);
    EXPECT_EQ(
        s.run(
            "package.path = ';;" + dir + "/?.lua' package.cpath = '" + dir +
            "/?.so' "
            "local a = require('c3mod') local b = require('c3set') "
            "local ok, e = pcall(require, 'c3bad') local ok2, e2 = pcall(require, 'c3x.y') "
            "return a, b, package.searchpath('c3mod', package.path), (e:gsub(':%d+:.*', '')), e2"),
        "c3mod@" + dir + "/c3mod.lua\tset\t" + dir +
            "/c3mod.lua\t"
            "error loading module 'c3bad' from file '" +
            dir + "/c3bad.lua':\n\t" + dir +
            "/c3bad.lua\t"
            "module 'c3x.y' not found:\n\tno field package.preload['c3x.y']\n\tno file '" +
            dir +
            "/c3x/y.lua'"
            "\n\tno file '" +
            dir + "/c3x/y.so'\n\tno file '" + dir + "/c3x.so'");
}
