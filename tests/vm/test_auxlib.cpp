// Auxiliary library: conversions of 16.16 arguments, error positions and
// the runtime line, buffers, references and the library helpers.
#include <gtest/gtest.h>

#include <string>

#include "tests/vm/libs_test_util.h"
#include "vm/ldebug.h"

using z6libs::State;

namespace {

lua_Integer checked_integer;
size_t checked_len;

int l_checkint(lua_State *L) {
    checked_integer = luaL_checkinteger(L, 1);
    return 0;
}

int l_optstr(lua_State *L) {
    luaL_optlstring(L, 1, "def", &checked_len);
    lua_settop(L, 1);
    lua_pushstring(L, luaL_typename(L, 1)); // type of the slot after the call
    return 2;
}

int l_where(lua_State *L) {
    luaL_where(L, luaL_checkint(L, 1));
    return 1;
}

int l_option(lua_State *L) {
    static const char *const opts[] = {"one", "two", nullptr};
    lua_pushinteger(L, luaL_checkoption(L, 1, "two", opts));
    return 1;
}

} // namespace

TEST(AuxLib, IntegerArgumentsAreFlooredIntegerParts) {
    State s;
    lua_register(s.L, "checkint", l_checkint);
    s.run("checkint('2.5')");
    EXPECT_EQ(checked_integer, 2);
    s.run("checkint(-2.5)");
    EXPECT_EQ(checked_integer, -3);
    EXPECT_EQ(s.run("checkint({})"),
              "error: bad argument #1 to 'checkint' (number expected, got table)");
    EXPECT_EQ(s.run("checkint()"),
              "error: bad argument #1 to 'checkint' (number expected, got no value)");
}

TEST(AuxLib, OptStringConvertsTheSlotAndOptionsAreChecked) {
    State s;
    lua_register(s.L, "optstr", l_optstr);
    lua_register(s.L, "option", l_option);
    EXPECT_EQ(s.run("return optstr(12)"), "12\tstring");
    EXPECT_EQ(s.run("optstr()"), "");
    EXPECT_EQ(checked_len, 3u);
    EXPECT_EQ(s.run("return option('one'), option()"), "0\t1");
    EXPECT_EQ(s.run("return option('six')"),
              "error: bad argument #1 to 'option' (invalid option 'six')");
}

TEST(AuxLib, WhereRecordsTheRuntimeLine) {
    State s;
    lua_register(s.L, "where", l_where);
    zibo6_runtime_line = 0;
    EXPECT_EQ(s.run("\n\nreturn where(1)"), "[string \"...\"]:3: ");
    EXPECT_EQ(zibo6_runtime_line, 3);
    // a C level has no line: empty, and the runtime line stays
    EXPECT_EQ(s.run("return where(0)"), "");
    EXPECT_EQ(zibo6_runtime_line, 3);
    // argument errors raised from a base-level C call name no function
    lua_settop(s.L, 0);
    lua_pushcfunction(s.L, l_checkint);
    lua_pushboolean(s.L, 1);
    ASSERT_NE(lua_pcall(s.L, 1, 0, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(s.L, -1), "bad argument #1 to '?' (number expected, got boolean)");
}

TEST(AuxLib, BufferStaysInRecordUpTo8192Bytes) {
    State s;
    lua_settop(s.L, 0);
    luaL_Buffer b;
    luaL_buffinit(s.L, &b);
    std::string chunk(8192, 'a');
    luaL_addlstring(&b, chunk.data(), chunk.size());
    EXPECT_EQ(b.b, b.initb);
    EXPECT_EQ(lua_gettop(s.L), 0);
    luaL_addchar(&b, 'b');
    EXPECT_NE(b.b, b.initb);
    EXPECT_EQ(b.size, 16384u);
    EXPECT_EQ(lua_gettop(s.L), 1); // the userdata holding the storage
    lua_pushinteger(s.L, 7);
    luaL_addvalue(&b);
    luaL_pushresult(&b);
    ASSERT_EQ(lua_gettop(s.L), 1);
    size_t len = 0;
    const char *r = lua_tolstring(s.L, 1, &len);
    EXPECT_EQ(len, 8194u);
    EXPECT_EQ(std::string(r + 8190, 4), "aab7");
}

TEST(AuxLib, ReferencesReuseFreedSlots) {
    State s;
    lua_settop(s.L, 0);
    lua_newtable(s.L);
    lua_pushstring(s.L, "a");
    int r1 = luaL_ref(s.L, 1);
    lua_pushstring(s.L, "b");
    int r2 = luaL_ref(s.L, 1);
    EXPECT_EQ(r1, 1);
    EXPECT_EQ(r2, 2);
    lua_pushnil(s.L);
    EXPECT_EQ(luaL_ref(s.L, 1), LUA_REFNIL);
    luaL_unref(s.L, 1, r1);
    lua_pushstring(s.L, "c");
    EXPECT_EQ(luaL_ref(s.L, 1), r1);
    lua_rawgeti(s.L, 1, r1);
    EXPECT_STREQ(lua_tostring(s.L, -1), "c");
}

TEST(AuxLib, LengthAndGsubAndToString) {
    State s;
    EXPECT_EQ(s.run("return count(setmetatable({}, {__len = function() return 'x' end}))"),
              "error: object length is not a number");
    lua_settop(s.L, 0);
    EXPECT_STREQ(luaL_gsub(s.L, "a.b.c", ".", "::"), "a::b::c");
    lua_pushnumber(s.L, 0x18000);
    EXPECT_STREQ(luaL_tolstring(s.L, -1, nullptr), "1.5");
    z6libs::expect_runs(
        s, {
               {"return tostring(setmetatable({}, {__tostring = function() return 'T' end}))", "T"},
               {"return tostring({}):sub(1, 7)", "error: attempt to index a string value"},
               {"return sub(tostring({}), 1, 7)", "table: "},
           });
}

TEST(AuxLib, LoadFileSkipsMarkAndHashLineAndReportsMissingFiles) {
    State s(true);
    const char *path = "v4_auxlib_chunk.lua";
    std::FILE *f = std::fopen(path, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("\xEF\xBB\xBF#!/bin/z6vm\nreturn debug.getinfo(1, 'l').currentline", f);
    std::fclose(f);
    EXPECT_EQ(s.run("return dofile('v4_auxlib_chunk.lua')"), "2");
    std::remove(path);
    std::string m = s.run("return loadfile('v4_no_such_file.lua')");
    EXPECT_EQ(m, "nil\tcannot open v4_no_such_file.lua: No such file or directory");
}

TEST(AuxLib, LinesAbove32767AreReportedWhole) {
    State s;
    std::string code(40000, '\n');
    code += "assert(false, 'far')";
    lua_settop(s.L, 0);
    ASSERT_EQ(luaL_loadstring(s.L, code.c_str()), LUA_OK);
    ASSERT_NE(lua_pcall(s.L, 0, 0, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(s.L, -1), "[string \"...\"]:40001: far");
    EXPECT_EQ(zibo6_runtime_line, 40001);
    code = std::string(40000, '\n') + "local function f() return (trace()) end\nreturn (f())";
    std::string t = s.run(code);
    EXPECT_NE(t.find("]:40001: in function 'f'"), std::string::npos) << t;
    EXPECT_NE(t.find("]:40002: in main chunk"), std::string::npos) << t;
}

// a deep stack lists its first 10 levels, "..." and its last 12
TEST(AuxLib, TracebackElidesTheMiddleOfDeepStacks) {
    State s(true);
    EXPECT_EQ(s.run(R"~(
    local function r(n) if n == 0 then return debug.traceback('x', 1) end local t = r(n - 1) return t end
    local function tc() return r(0) end
    local function count(s, p) return select(2, s:gsub(p, '')) end
    local deep, shallow = r(40), r(3)
    local u = (function() local v = tc() return v end)()
    return count(deep, '\n'), count(deep, '\n\t%.%.%.\n'), count(shallow, '\n\t%.%.%.'),
           count(u, '\n\t%(%.%.%.tail calls%.%.%.%)'), deep:sub(1, 18))~"),
              "24\t1\t0\t1\tx\nstack traceback:");
}
