// Calls, fast C functions, protected calls, coroutines and the C API.
#include <gtest/gtest.h>

#include <string>

#include "tests/vm/vm_test_util.h"

using z6test::run;
using z6test::State;

namespace {

int k_plus_one(lua_State *L) {
    lua_pushnumber(L, lua_tonumber(L, -1) + (1 << 16));
    return 1;
}

// calls its argument with a continuation, so a yield inside may resume
int l_callk(lua_State *L) {
    lua_callk(L, lua_gettop(L) - 1, 1, 0, k_plus_one);
    return k_plus_one(L);
}

// a protected call that may yield: status 1 for success, as the base
// library's pcall does it
int finish_ypcall(lua_State *L, int ok) {
    lua_pushboolean(L, ok);
    lua_replace(L, 1);
    return lua_gettop(L);
}

int ypcall_cont(lua_State *L) { return finish_ypcall(L, lua_getctx(L, nullptr) == LUA_YIELD); }

int l_ypcall(lua_State *L) {
    lua_pushnil(L);
    lua_insert(L, 1); // room for the status
    int status = lua_pcallk(L, lua_gettop(L) - 2, LUA_MULTRET, 0, 0, ypcall_cont);
    return finish_ypcall(L, status == LUA_OK);
}

// twice(f1, f2): protected calls of f1 and then, from the first call's
// continuation, of f2; gives whether the second continuation saw f2 succeed
int twice_second(lua_State *L) {
    lua_pushboolean(L, lua_getctx(L, nullptr) == LUA_YIELD);
    return 1;
}

int twice_first(lua_State *L) {
    lua_settop(L, 2); // drop f1's error message
    lua_pushvalue(L, 2);
    lua_pcallk(L, 0, 0, 0, 0, twice_second);
    lua_pushstring(L, "f2 did not yield");
    return 1;
}

int l_twice(lua_State *L) {
    lua_pushvalue(L, 1);
    lua_pcallk(L, 0, 0, 0, 0, twice_first);
    lua_pushstring(L, "f1 did not fail");
    return 1;
}

// yxpcall(f, handler): a protected call with a handler that may yield
int yxpcall_cont(lua_State *) { return 0; }

int l_yxpcall(lua_State *L) {
    lua_pushvalue(L, 1);
    lua_pcallk(L, 0, 0, 2, 0, yxpcall_cont);
    return 0;
}

int l_where(lua_State *L) {
    lua_Debug ar;
    if (!lua_getstack(L, 1, &ar)) return 0;
    lua_getinfo(L, "Sln", &ar);
    lua_pushinteger(L, ar.currentline);
    lua_pushstring(L, ar.short_src);
    lua_pushstring(L, ar.what);
    return 3;
}

int append_handler(lua_State *L) {
    lua_pushstring(L, " (handled)");
    lua_concat(L, 2);
    return 1;
}

// a fast function that fails, as a console function may (the message is
// built as luaL_error builds it: a fast function has no frame of its own
// to push into)
int f_fail(lua_State *L) {
    lua_pushfstring(L, "fast failed");
    return lua_error(L);
}

// calls the global error on a fresh thread that has no error target of
// its own, so the error goes to the main thread's
int l_bare_thread_error(lua_State *L) {
    lua_State *t = lua_newthread(L);
    lua_getglobal(t, "error");
    lua_pushstring(t, "from a bare thread");
    lua_call(t, 1, 0);
    return 0;
}

int collect_writer(lua_State *, const void *p, size_t sz, void *ud) {
    static_cast<std::string *>(ud)->append(static_cast<const char *>(p), sz);
    return 0;
}

} // namespace

TEST(Calls, FastCFunctionsReturnOneNumber) {
    State L;
    auto r = run(
        L, "local a, b = fsum(1) local t = {fsum(2)} "
           "return fsum(), fsum(1, 2, 3), fnargs(1, nil, 'x'), fsum('4', 1), a, b, #t, fsum(5)");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "7 6 3 5 1 nil 1 5");
    lua_settop(L, 0);
    lua_pushcclosure(L, z6test::f_sum, LUA_FASTCALL);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_type(L, 1), LUA_TFUNCTION);
    EXPECT_STREQ(lua_typename(L, lua_type(L, 1)), "function");
    EXPECT_TRUE(lua_iscfunction(L, 1));
    EXPECT_EQ(lua_tocfunction(L, 1), z6test::f_sum);
    // called from C for three results: the number, and two nil slots above
    // the top (which is not moved over them)
    lua_pushnumber(L, 2 << 16);
    lua_call(L, 1, 3);
    ASSERT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_tonumber(L, 1), 2 << 16);
    EXPECT_TRUE(ttisnil(L.L->top) && ttisnil(L.L->top + 1));
    // many wanted results on a small fresh stack: the stack grows first
    lua_State *co = lua_newthread(L);
    lua_pushcclosure(co, z6test::f_sum, LUA_FASTCALL);
    lua_call(co, 0, 120);
    ASSERT_EQ(lua_gettop(co), 1);
    EXPECT_EQ(lua_tonumber(co, 1), 7 << 16);
    EXPECT_TRUE(ttisnil(co->top + 118));
}

TEST(Calls, FastFunctionsWantedForNoResultKeepTheStackBalanced) {
    State L;
    // as a __newindex handler the result is dropped; a leftover slot per
    // store would creep up the stack and past its end
    auto r = run(L, "local t = setmt({}, {__newindex = fsum, __index = fsum}) "
                    "for i = 1, 100000 do t.x = i t[i] = t.y end return t.z");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "0"); // fsum(t, "z"): neither converts
    lua_settop(L, 0);
    lua_newtable(L);
    lua_newtable(L);
    lua_pushcclosure(L, z6test::f_sum, LUA_FASTCALL);
    lua_setfield(L, -2, "__newindex");
    lua_setmetatable(L, 1);
    lua_pushnumber(L, 1 << 16);
    lua_setfield(L, 1, "k");
    EXPECT_EQ(lua_gettop(L), 1);
    lua_pushcclosure(L, z6test::f_sum, LUA_FASTCALL);
    lua_call(L, 0, 0);
    EXPECT_EQ(lua_gettop(L), 1);
}

TEST(Calls, ErrorsOfFastFunctionsAndBareThreadsReachTheirHandler) {
    State L;
    lua_pushcclosure(L, f_fail, LUA_FASTCALL);
    lua_setglobal(L, "ffail");
    lua_register(L, "bare", l_bare_thread_error);
    // the handler runs while the fast function raises
    lua_settop(L, 0);
    lua_pushcfunction(L, append_handler);
    ASSERT_EQ(z6test::load(L, "local x = ffail(1)"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(L, -1), "fast failed (handled)");
    // thrown to the main thread's protected call from inside a coroutine:
    // the coroutine's own recovery point lets it pass
    auto r = run(L, "local co = cocreate(function() bare() end) "
                    "return pcall(function() return coresume(co) end)");
    EXPECT_EQ(r.joined(), "false from a bare thread");
    r = run(L, "return 6 * 7");
    EXPECT_EQ(r.joined(), "42");
}

#ifndef NDEBUG
// a fast function has no call record or C level: calling back into the VM
// from one is a programming error that debug builds stop at once
int f_calls_back(lua_State *L) {
    lua_getglobal(L, "fsum");
    lua_call(L, 0, 1);
    return 0;
}

TEST(CallsDeathTest, FastFunctionsMustNotCallTheVm) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            State L;
            lua_pushcclosure(L, f_calls_back, LUA_FASTCALL);
            lua_setglobal(L, "bad");
            run(L, "return bad()");
        },
        "fast C functions must not call the VM");
}
#endif

TEST(Calls, IntegerAndArithmeticConversionsAtTheApi) {
    State L;
    lua_pushinteger(L, 40000);
    EXPECT_EQ(lua_tonumber(L, -1), -25536 * 65536);
    lua_pushnumber(L, -0x8000); // -0.5
    EXPECT_EQ(lua_tointeger(L, -1), -1);
    lua_pushnumber(L, 0x7fffffff);
    EXPECT_EQ(lua_tointeger(L, -1), 32767);
    lua_pushstring(L, "12");
    int isnum = 0;
    EXPECT_EQ(lua_tointegerx(L, -1, &isnum), 12);
    EXPECT_EQ(isnum, 1);
    lua_settop(L, 0);
    // code 14 (not) takes two operands, code 19 (unary minus) one
    lua_pushnumber(L, 3 << 16);
    lua_pushnumber(L, 99 << 16);
    lua_arith(L, LUA_OPBNOT);
    ASSERT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_tonumber(L, 1), ~(3 << 16));
    lua_settop(L, 0);
    lua_pushnumber(L, 5 << 16);
    lua_arith(L, LUA_OPUNM);
    ASSERT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua_tonumber(L, 1), -(5 << 16));
    lua_settop(L, 0);
    // slots, not indices
    lua_pushstring(L, "zz");
    lua_pushnil(L);
    lua_newtable(L);
    lua_pushstring(L, "0x10");
    EXPECT_EQ(lua_tonumber_from_tvalue(L.L->top - 4), 0);
    EXPECT_EQ(lua_tonumber_from_tvalue(L.L->top - 3), 0);
    EXPECT_EQ(lua_tonumber_from_tvalue(L.L->top - 2), 0);
    EXPECT_EQ(lua_tonumber_from_tvalue(L.L->top - 1), 16 << 16);
    EXPECT_EQ(*lua_version(L), 502);
    EXPECT_EQ(lua_checkstack(L, 2000000), 0);
    EXPECT_GT(lua_gc(L, LUA_GCCOUNT, 0) * 1024 + lua_gc(L, LUA_GCCOUNTB, 0), 0);
}

TEST(Calls, ProtectedCallsAndErrorHandlers) {
    State L;
    auto r = run(L, "local t = setmt({}, {__index = function() error('in mm') end}) "
                    "local ok, e = pcall(function() return t.x end) return ok, e");
    EXPECT_EQ(r.joined(), "false in mm");
    r = run(L, "local c = setmt({}, {__call = function(self, x) return self, x end}) "
               "local s, x = c(5) return s == c, x");
    EXPECT_EQ(r.joined(), "true 5");
    // a handler sees the message first
    lua_settop(L, 0);
    lua_pushcfunction(L, append_handler);
    ASSERT_EQ(z6test::load(L, "local x = nil + 1"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(L, -1), "attempt to perform arithmetic on a nil value (handled)");
    // a handler that is not a function
    lua_settop(L, 0);
    lua_pushnumber(L, 1);
    ASSERT_EQ(z6test::load(L, "error('x')"), LUA_OK);
    EXPECT_EQ(lua_pcall(L, 0, 0, 1), LUA_ERRERR);
    EXPECT_EQ(z6test::value_text(L, -1), "error in error handling");
    // chunks of the refused kind
    lua_settop(L, 0);
    std::string code = "return 1";
    z6test::Reader rd{&code, false};
    EXPECT_EQ(lua_load(L, z6test::read_text, &rd, "=t", "b"), LUA_ERRSYNTAX);
    EXPECT_EQ(z6test::value_text(L, -1), "attempt to load a text chunk (mode is 'b')");
}

TEST(Calls, DumpedFunctionsLoadBack) {
    State L;
    lua_settop(L, 0);
    ASSERT_EQ(z6test::load(L, "local a = ... return a * 3, 'k'"), LUA_OK);
    std::string chunk;
    ASSERT_EQ(lua_dump(L, collect_writer, &chunk), 0);
    lua_settop(L, 0);
    lua_pushnumber(L, 1);
    EXPECT_EQ(lua_dump(L, collect_writer, &chunk), 1); // not a Lua function
    lua_settop(L, 0);
    z6test::Reader rd{&chunk, false};
    ASSERT_EQ(lua_load(L, z6test::read_text, &rd, "=bin", "b"), LUA_OK);
    lua_pushnumber(L, 5 << 16);
    ASSERT_EQ(lua_pcall(L, 1, 2, 0), LUA_OK);
    EXPECT_EQ(z6test::value_text(L, 1) + z6test::value_text(L, 2), "15k");
}

TEST(Calls, CoroutinesResumeYieldAndDie) {
    State L;
    auto r = run(L, R"(
    local co = cocreate(function(a) local b = yield(a + 1) return b * 2 end)
    local ok1, v1 = coresume(co, 10)
    local ok2, v2 = coresume(co, 7)
    local ok3, v3 = coresume(co)
    return ok1, v1, ok2, v2, ok3, v3
  )");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "true 11 true 14 false cannot resume dead coroutine");
    r = run(L, R"(
    local co = cocreate(function() error('inside') end)
    local ok, e = coresume(co)
    local ok2, e2 = coresume(co)
    local self
    self = cocreate(function() return coresume(self) end)
    local ok3, okinner, einner = coresume(self)
    return ok, e, ok2, e2, ok3, okinner, einner
  )");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "false inside false cannot resume dead coroutine true false "
                          "cannot resume non-suspended coroutine");
    // a yield from the main thread outside any resume
    r = run(L, "yield(1)");
    EXPECT_EQ(r.joined(), "attempt to yield from outside a coroutine");
}

TEST(Calls, YieldThroughAContinuationFinishesTheCall) {
    State L;
    lua_register(L, "callk", l_callk);
    lua_settop(L, 0);
    ASSERT_EQ(
        z6test::load(
            L, "return callk(function() local s = 0 for i = 1, 100 do s = s + 1 end return s end)"),
        LUA_OK);
    lua_reset_cpu_cycles();
    auto s = z6test::resume_sliced(L, 20, 1000);
    ASSERT_EQ(s.status, LUA_OK) << z6test::value_text(L, -1);
    EXPECT_GT(s.resumes, 5);
    EXPECT_EQ(z6test::value_text(L, -1), "101");
}

TEST(Calls, ErrorsAfterAForcedYieldReachTheYieldablePcall) {
    State L;
    lua_register(L, "ypcall", l_ypcall);
    auto sliced = [&](const char *code) {
        lua_settop(L, 0);
        EXPECT_EQ(z6test::load(L, code), LUA_OK);
        auto s = z6test::resume_sliced(L, 25, 1000);
        EXPECT_GT(s.resumes, 3);
        std::string got = std::to_string(s.status);
        if (s.status != LUA_OK) // a dead thread keeps its frames; the message is on top
            return got + " " + z6test::value_text(L, -1);
        return got + " " + z6test::stack_text(L);
    };
    EXPECT_EQ(sliced("local a, b = ypcall(function() local s = 0 for i = 1, 60 do s = s + 1 end "
                     "error('late ' .. s) end) return a, b, 'after'"),
              "0 false late 60 after");
    EXPECT_EQ(sliced("return ypcall(function(x) local s = 0 for i = 1, 60 do s = s + x end return "
                     "s, 'ok' end, 2)"),
              "0 true 120 ok");
    // the error status goes to the first continuation only
    lua_register(L, "twice", l_twice);
    EXPECT_EQ(sliced("return twice(function() error('first') end, "
                     "function() local s = 0 for i = 1, 60 do s = s + 1 end end)"),
              "0 true");
    // without a protected call the error kills the thread
    EXPECT_EQ(sliced("local s = 0 for i = 1, 60 do s = s + 1 end local t = nil return t.x"),
              "2 attempt to index local 't' (a nil value)");
    lua_reset_call_state_zibo6(L);
}

TEST(Calls, ClosuresSurviveAResetWithoutTouchingTheNewProgram) {
    State L;
    lua_settop(L, 0);
    ASSERT_EQ(z6test::load(L, "local keep = 10 function bump() keep = keep + 1 return keep end "
                              "local n = 0 while true do n = n + 1 end"),
              LUA_OK);
    lua_set_cpu_cycles_slice_max(200);
    ASSERT_EQ(lua_resume(L, nullptr, 0), LUA_YIELD);
    lua_reset_call_state_zibo6(L);
    EXPECT_EQ(lua_status(L), LUA_OK);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
    auto r = run(L, "local a, b, c = 1, 2, 3 local r = bump() return a, b, c, r, bump()");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "1 2 3 11 12");

    // the handler of a protected call abandoned by the reset stays behind:
    // its stack slot is the new program's third register
    lua_register(L, "yxpcall", l_yxpcall);
    lua_settop(L, 0);
    ASSERT_EQ(
        z6test::load(L, "yxpcall(function() while true do end end, function() return 'old' end)"),
        LUA_OK);
    lua_reset_cpu_cycles();
    lua_set_cpu_cycles_slice_max(200);
    ASSERT_EQ(lua_resume(L, nullptr, 0), LUA_YIELD);
    ASSERT_NE(L.L->errfunc, 0); // stopped inside the protected call
    lua_reset_call_state_zibo6(L);
    lua_settop(L, 0);
    ASSERT_EQ(
        z6test::load(L, "local a, b, c = 1, 2, function() return 'hijacked' end return a + nil"),
        LUA_OK);
    lua_set_cpu_cycles_slice_max(0x7fffffff);
    EXPECT_EQ(lua_resume(L, nullptr, 0), LUA_ERRRUN);
    EXPECT_EQ(z6test::value_text(L, -1), "attempt to perform arithmetic on a nil value");
}

TEST(Calls, DebugInfoNamesTheCaller) {
    State L;
    lua_register(L, "where", l_where);
    auto r = run(L, "local x = 1\n\nreturn where()");
    ASSERT_EQ(r.status, LUA_OK) << r.joined();
    EXPECT_EQ(r.joined(), "3 test main");
}

// '>L' without 'f' pops the function and then builds the line set in its slot.
TEST(Calls, GetinfoLinesOfAPoppedFunction) {
    State L;
    ASSERT_EQ(load(L, "local a = 1\nlocal b = 2\nreturn a + b"), LUA_OK);
    lua_Debug ar;
    ASSERT_NE(lua_getinfo(L, ">L", &ar), 0);
    ASSERT_TRUE(lua_istable(L, -1));
    int lines = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        lines++;
        lua_pop(L, 1);
    }
    EXPECT_EQ(lines, 3);
    lua_pop(L, 1);
}
