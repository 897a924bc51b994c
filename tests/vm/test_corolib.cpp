// Coroutine functions under the console's names, and trace (db_traceback).
#include <gtest/gtest.h>

#include <string>

#include "tests/vm/v4_libs_util.h"

using z6libs::State;

TEST(CoroLib, ResumeYieldStatus) {
  State s;
  EXPECT_EQ(s.run("local co = cocreate(function(a, b) local c = yield(a + b) return c * 2 end) "
                  "local r1, v1 = coresume(co, 1, 2) local st = costatus(co) "
                  "local r2, v2 = coresume(co, 10) return r1, v1, st, r2, v2, costatus(co)"),
            "true\t3\tsuspended\ttrue\t20\tdead");
  EXPECT_EQ(s.run("local co = cocreate(function() end) coresume(co) return coresume(co)"),
            "false\tcorolib: cannot resume dead coroutine");
  // a coroutine that failed is dead through its error status
  EXPECT_EQ(s.run("local co = cocreate(function() assert(false, 'x') end) "
                  "local ok, m = coresume(co) return ok, sub(m, -1), costatus(co), coresume(co)"),
            "false\tx\tdead\tfalse\tcannot resume dead coroutine");
  EXPECT_EQ(s.run("local outer outer = cocreate(function() "
                  "local inner = cocreate(function() return costatus(outer) end) "
                  "return coresume(inner) end) return coresume(outer)"),
            "true\ttrue\tnormal");
  EXPECT_EQ(s.run("local co co = cocreate(function() return coresume(co) end) return coresume(co)"),
            "true\tfalse\tcannot resume non-suspended coroutine");
  EXPECT_EQ(s.run("return costatus(cocreate(tostring))"), "suspended");
  EXPECT_EQ(s.run("return cocreate(1)"), "error: bad argument #1 to 'cocreate' (function expected, got number)");
  EXPECT_EQ(s.run("return coresume(1)"), "error: bad argument #1 to 'coresume' (coroutine expected)");
  EXPECT_EQ(s.run("return costatus({})"), "error: bad argument #1 to 'costatus' (coroutine expected)");
  EXPECT_EQ(s.run("yield()"), "error: attempt to yield from outside a coroutine");
}

TEST(CoroLib, StockWrapAndRunning) {
  State s(true);
  EXPECT_EQ(s.run("local g = coroutine.wrap(function() coroutine.yield(1) coroutine.yield(2) end) return g(), g()"),
            "1\t2");
  EXPECT_EQ(s.run("local g = coroutine.wrap(function() error('w') end) return pcall(g)"),
            "false\t[string \"local g = coroutine.wrap(function() error('w'...\"]:1: w");
  EXPECT_EQ(s.run("local co, main = coroutine.running() return type(co), main"), "thread\ttrue");
}

TEST(CoroLib, Trace) {
  State s;
  std::string t = s.run("local function f() return (trace()) end\nreturn (f())");
  EXPECT_EQ(t.rfind("stack traceback:", 0), 0u) << t;
  EXPECT_NE(t.find("\n\t[string \"local function f() return (trace()) end...\"]:1: in function 'f'"),
            std::string::npos) << t;
  EXPECT_NE(t.find("]:2: in main chunk"), std::string::npos) << t;
  std::string m = s.run("return trace('msg')");
  EXPECT_EQ(m.rfind("msg\nstack traceback:\n\t", 0), 0u) << m;
  EXPECT_EQ(s.run("local t = {} return trace(t) == t"), "true");
  std::string num = s.run("return trace(12.5)");
  EXPECT_EQ(num.rfind("12.5\nstack traceback:", 0), 0u) << num;
  // a thread is traced from its level 0; a level skips frames
  std::string co = s.run("local co = cocreate(function() yield() end) coresume(co) return trace(co)");
  EXPECT_EQ(co.rfind("stack traceback:\n\t[C]: in function 'yield'", 0), 0u) << co;
  std::string skipped = s.run("local co = cocreate(function() yield() end) coresume(co) return trace(co, 'm', 1)");
  EXPECT_EQ(skipped.find("'yield'"), std::string::npos) << skipped;
  // a thread named by the caller is traced from level 0, even when running
  std::string self = s.run("local co co = cocreate(function() return trace(co) end) "
                           "return select(2, coresume(co))");
  EXPECT_EQ(self.rfind("stack traceback:\n\t[C]: in function 'trace'", 0), 0u) << self;
  // deep stacks are cut after the first 12 levels
  std::string deep = s.run("local function r(n) if n == 0 then return trace() end return (r(n - 1)) end return r(40)");
  EXPECT_NE(deep.find("\n\t..."), std::string::npos);
  std::string shallow = s.run("local function r(n) if n == 0 then return trace() end return (r(n - 1)) end return r(18)");
  EXPECT_EQ(shallow.find("\n\t..."), std::string::npos);
}
