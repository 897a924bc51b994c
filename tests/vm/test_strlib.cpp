// String library: sub's positions, pattern classes on the console's glyph
// bytes, value-preserving format, and matching over long subjects.
#include <gtest/gtest.h>

#include "tests/vm/v4_libs_util.h"

using z6libs::State;

TEST(StrLib, SubPositions) {
  State s;
  EXPECT_EQ(s.run("return sub('hello', 2, 4), sub('hello', -3), sub('hello', 0)"), "ell\tllo\thello");
  EXPECT_EQ(s.run("return sub('hello', 4, 2), sub('hello', 10), sub('hello', -10, 2)"), "\t\the");
  EXPECT_EQ(s.run("return sub('hello', 1.5, 2.5), sub('hello', -1.5)"), "he\tlo");
  EXPECT_EQ(s.run("return sub(123.5, 2), sub('hello', '2'), sub('hello', 2, nil)"), "23.5\tello\tello");
  EXPECT_EQ(s.run("return sub('hello')"),
            "error: bad argument #2 to 'sub' (number expected, got no value)");
  EXPECT_EQ(s.run("return sub(nil, 1)"),
            "error: bad argument #1 to 'sub' (string expected, got nil)");
}

TEST(StrLib, GlyphBytesAreLetters) {
  State s(true);
  // byte 200 matches %a, %l, %w and [%w], not %A, %p, %d or %u
  EXPECT_EQ(s.run("local c = string.char(200) return c:find('%a'), c:find('%l'), c:find('[%w]')"),
            "1\t1\t1\t1");
  EXPECT_EQ(s.run("local c = string.char(200) return c:find('%A'), c:find('%p'), c:find('%d'), c:find('%u')"),
            "nil\tnil\tnil\tnil");
  EXPECT_EQ(s.run("return string.char(30):find('%a'), string.char(31):find('%s')"), "1\tnil");
  // an escaped glyph byte is a literal and still matches itself
  EXPECT_EQ(s.run("local c = string.char(200) return (c .. 'x'):find('%' .. c .. 'x')"), "1\t2");
  EXPECT_EQ(s.run("local c = string.char(200) return c:find('[%' .. c .. ']')"), "1\t1");
  // plain characters and ranges compare bytes
  EXPECT_EQ(s.run("return string.char(200):find('[\\190-\\210]')"), "1\t1");
}

TEST(StrLib, PatternErrors) {
  State s(true);
  EXPECT_EQ(s.run("return ('a'):find('%')"), "error: malformed pattern (ends with '%')");
  EXPECT_EQ(s.run("return ('a'):find('[a')"), "error: malformed pattern (missing ']')");
  EXPECT_EQ(s.run("return ('a'):find('%b')"), "error: malformed pattern (missing arguments to '%b')");
  EXPECT_EQ(s.run("return ('a'):find('%fa')"), "error: missing '[' after '%f' in pattern");
  EXPECT_EQ(s.run("return ('a'):find('(a')"), "error: unfinished capture");
  EXPECT_EQ(s.run("return ('a'):match('a)')"), "error: invalid pattern capture");
  EXPECT_EQ(s.run("return ('aa'):find('(a)%2')"), "error: invalid capture index %2");
  EXPECT_EQ(s.run("return ('a'):gsub('a', '%2')"), "error: invalid capture index");
  EXPECT_EQ(s.run("return ('a'):gsub('a', '%x')"), "error: invalid use of '%' in replacement string");
  EXPECT_EQ(s.run("return ('a'):gsub('a', {a = {}})"), "error: invalid replacement value (a table)");
  EXPECT_EQ(s.run("return ('a'):rep(33):find(('(a)'):rep(33))"), "error: too many captures");
  EXPECT_EQ(s.run("return (('a'):rep(300)):find(('a?'):rep(300) .. 'b')"), "error: pattern too complex");
}

TEST(StrLib, FormatIsValuePreserving) {
  State s(true);
  EXPECT_EQ(s.run("return string.format('%d %d %d', 1, 2.75, -2.75)"), "1 2 -2");
  EXPECT_EQ(s.run("return string.format('%x %X %o %u', 255, 3054, 8, 7.5)"), "ff BEE 10 7");
  EXPECT_EQ(s.run("return string.format('%.4f %g %5.1f', 0.5, 0.25, -3.25)"), "0.5000 0.25  -3.2");
  EXPECT_EQ(s.run("return string.format('%c%c', 104, 105.9)"), "hi");
  EXPECT_EQ(s.run("return string.format('%q', 'a\\0b\\n1')"), "\"a\\0b\\\n1\"");
  EXPECT_EQ(s.run("return string.format('%x', -1)"),
            "error: bad argument #2 to 'format' (not a non-negative number in proper range)");
  EXPECT_EQ(s.run("return string.format('%y', 1)"), "error: invalid option '%y' to 'format'");
  EXPECT_EQ(s.run("return string.format('%------d', 1)"), "error: invalid format (repeated flags)");
  EXPECT_EQ(s.run("return string.format('%100d', 1)"), "error: invalid format (width or precision too long)");
  EXPECT_EQ(s.run("return string.format('%d')"), "error: bad argument #2 to 'format' (no value)");
}

TEST(StrLib, LongSubjectsKeepPositionsExact) {
  State s(true);
  // gmatch must not lose its place once positions pass 32767
  EXPECT_EQ(s.run("local str = ('ab'):rep(20000) .. 'Z' local n = 0 "
                  "for w in str:gmatch('a') do n = n + 1 end "
                  "local last for w in str:gmatch('%u') do last = w end return n, last"),
            "20000\tZ");
  EXPECT_EQ(s.run("local str = ('x'):rep(40000) .. 'yz' return (str:sub(-2)), (str:gsub('x', ''))"), "yz\tyz");
  EXPECT_EQ(s.run("return ('abc'):rep(3, ','), ('x'):rep(0), ('x'):rep(-1)"), "abc,abc,abc\t\t");
  EXPECT_EQ(s.run("return ('x'):rep(30000):rep(4):rep(30000)"), "error: resulting string too large");
}

TEST(StrLib, ByteCharAndCase) {
  State s(true);
  EXPECT_EQ(s.run("return ('ABC'):byte(1, -1)"), "65\t66\t67");
  EXPECT_EQ(s.run("return string.char(72, 105), ('MiX'):lower(), ('MiX'):upper(), ('abc'):reverse()"),
            "Hi\tmix\tMIX\tcba");
  EXPECT_EQ(s.run("return string.char(256)"), "error: bad argument #1 to 'char' (value out of range)");
  EXPECT_EQ(s.run("return string.char(-1)"), "error: bad argument #1 to 'char' (value out of range)");
  EXPECT_EQ(s.run("return #string.dump(function() return 1 end) > 0"), "true");
  EXPECT_EQ(s.run("return string.dump(print)"), "error: unable to dump given function");
}
