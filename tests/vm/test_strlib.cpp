// String library: sub's positions, pattern classes on the console's glyph
// bytes, value-preserving format, and matching over long subjects.
#include <gtest/gtest.h>

#include "tests/vm/libs_test_util.h"

using z6libs::State;

TEST(StrLib, SubPositions) {
    State s;
    z6libs::expect_runs(
        s,
        {
            {"return sub('hello', 2, 4), sub('hello', -3), sub('hello', 0)", "ell\tllo\thello"},
            {"return sub('hello', 4, 2), sub('hello', 10), sub('hello', -10, 2)", "\t\the"},
            {"return sub('hello', 1.5, 2.5), sub('hello', -1.5)", "he\tlo"},
            {"return sub(123.5, 2), sub('hello', '2'), sub('hello', 2, nil)", "23.5\tello\tello"},
            {"return sub('hello')",
             "error: bad argument #2 to 'sub' (number expected, got no value)"},
            {"return sub(nil, 1)", "error: bad argument #1 to 'sub' (string expected, got nil)"},
            // a third argument that is no number reads as the end, with no error
            {"return sub('hello', 2, {}), sub('hello', 2, 'x'), sub('hello', 2, true)",
             "ello\tello\tello"},
            {"return sub('hello', 2, '3'), sub('hello', '-4', ' -2 ')", "el\tell"},
        });
}

TEST(StrLib, GlyphBytesAreLetters) {
    State s(true);
    // byte 200 matches %a, %l, %w and [%w], not %A, %p, %d or %u
    z6libs::expect_runs(
        s,
        {
            {"local c = string.char(200) return c:find('%a'), c:find('%l'), c:find('[%w]')",
             "1\t1\t1\t1"},
            {"local c = string.char(200) return c:find('%A'), c:find('%p'), c:find('%d'), "
             "c:find('%u')",
             "nil\tnil\tnil\tnil"},
            {"return string.char(30):find('%a'), string.char(31):find('%s')", "1\tnil"},
            // an escaped glyph byte matches nothing, alone or in a set
            {"local c = string.char(200) return (c .. 'x'):find('%' .. c .. 'x'), "
             "c:find('[%' .. c .. ']'), c:find('[x%' .. c .. ']')",
             "nil\tnil\tnil"},
            {"return string.char(30):find('%' .. string.char(30)), "
             "string.char(31):find('[%' .. string.char(31) .. ']')",
             "nil\tnil"},
            // unescaped, the same bytes match themselves
            {"local c = string.char(200) return c:find('[' .. c .. ']'), c:find('.')", "1\t1\t1"},
            // plain characters and ranges compare bytes
            {"return string.char(200):find('[\\190-\\210]')", "1\t1"},
        });
}

TEST(StrLib, PatternErrors) {
    State s(true);
    z6libs::expect_runs(
        s,
        {
            {"return ('a'):find('%')", "error: malformed pattern (ends with '%')"},
            {"return ('a'):find('[a')", "error: malformed pattern (missing ']')"},
            {"return ('a'):find('%b')", "error: malformed pattern (missing arguments to '%b')"},
            {"return ('a'):find('%fa')", "error: missing '[' after '%f' in pattern"},
            {"return ('a'):find('(a')", "error: unfinished capture"},
            {"return ('a'):match('a)')", "error: invalid pattern capture"},
            {"return ('aa'):find('(a)%2')", "error: invalid capture index %2"},
            {"return ('a'):gsub('a', '%2')", "error: invalid capture index"},
            {"return ('a'):gsub('a', '%x')", "error: invalid use of '%' in replacement string"},
            {"return ('a'):gsub('a', {a = {}})", "error: invalid replacement value (a table)"},
            {"return ('a'):rep(33):find(('(a)'):rep(33))", "error: too many captures"},
            {"return (('a'):rep(300)):find(('a?'):rep(300) .. 'b')", "error: pattern too complex"},
        });
}

TEST(StrLib, FormatIsValuePreserving) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"return string.format('%d %d %d', 1, 2.75, -2.75)", "1 2 -2"},
               {"return string.format('%x %X %o %u', 255, 3054, 8, 7.5)", "ff BEE 10 7"},
               {"return string.format('%.4f %g %5.1f', 0.5, 0.25, -3.25)", "0.5000 0.25  -3.2"},
               {"return string.format('%c%c', 104, 105.9)", "hi"},
               {"return string.format('%q', 'a\\0b\\n1')", "\"a\\0b\\\n1\""},
               {R"~(return string.format('%q', '\1' .. '2\r"\\'), ('ab'):rep(3, '--'))~",
                "\"\\0012\\13\\\"\\\\\"\tab--ab--ab"},
               {"return string.format('%x', -1)",
                "error: bad argument #2 to 'format' (not a non-negative number in proper range)"},
               {"return string.format('%y', 1)", "error: invalid option '%y' to 'format'"},
               {"return string.format('%------d', 1)", "error: invalid format (repeated flags)"},
               {"return string.format('%100d', 1)",
                "error: invalid format (width or precision too long)"},
               {"return string.format('%d')", "error: bad argument #2 to 'format' (no value)"},
           });
}

TEST(StrLib, LongSubjectsKeepPositionsExact) {
    State s(true);
    // gmatch must not lose its place once positions pass 32767
    z6libs::expect_runs(
        s, {
               {"local str = ('ab'):rep(20000) .. 'Z' local n = 0 "
                "for w in str:gmatch('a') do n = n + 1 end "
                "local last for w in str:gmatch('%u') do last = w end return n, last",
                "20000\tZ"},
               {"local str = ('x'):rep(40000) .. 'yz' return (str:sub(-2)), (str:gsub('x', ''))",
                "yz\tyz"},
               {"return ('abc'):rep(3, ','), ('x'):rep(0), ('x'):rep(-1)", "abc,abc,abc\t\t"},
               {"return ('x'):rep(30000):rep(4):rep(30000)", "error: resulting string too large"},
           });
}

TEST(StrLib, ByteCharAndCase) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"return ('ABC'):byte(1, -1)", "65\t66\t67"},
               {"return string.char(72, 105), ('MiX'):lower(), ('MiX'):upper(), ('abc'):reverse()",
                "Hi\tmix\tMIX\tcba"},
               {"return string.char(256)", "error: bad argument #1 to 'char' (value out of range)"},
               {"return string.char(-1)", "error: bad argument #1 to 'char' (value out of range)"},
               {"return #string.dump(function() return 1 end) > 0", "true"},
               {"return string.dump(print)", "error: unable to dump given function"},
           });
}

// Anchors, %b, %f, back-references, position captures, repetition and gsub
// replacement kinds.
TEST(StrLib, PatternEdgeCases) {
    State s(true);
    z6libs::expect_runs(
        s,
        {
            {R"~(return ('hello world'):find('^hello'), ('say hello'):find('^hello'), ('hello'):find('lo$'), ('a$b'):find('$b'))~",
             "1\tnil\t4\t2\t3"},
            {R"~(return ('x(a(b)c)y'):find('%b()'), ('x(a(b)c'):match('%b()'), ('[[x]]'):match('%b[]'))~",
             "2\t(b)\t[[x]]"},
            {R"~(return ('THE (quick) fox'):find('%f[%a]%a+'), ('THE (quick) fox'):gsub('%f[%w]%w+', 'W'))~",
             "1\tW (W) W\t3"},
            {R"~(return ('hello'):find('%f[%l]'), ('ab'):find('%f[\0]'), ('x'):find('%f[^\0]'))~",
             "1\t3\t1\t0"},
            {R"~(return ('abcabc'):match('(a)(b)(c)%1%2%3'), ('aXXa'):find('(a)(.-)%1'), ('hello'):match('(l)%1'))~",
             "a\t1\tl"},
            {R"~(return ('hello'):match('()ll()'), ('hello'):find('()'), ('abc'):match('a()'))~",
             "3\t1\t2"},
            {R"~(return ('aaab'):match('a-b'), ('aaab'):match('a*'), ('aaab'):match('a+'), ('aaab'):match('a?a?'), ('b'):match('a*b'), ('b'):match('a-b'), ('b'):match('a?b'))~",
             "aaab\taaa\taaa\taa\tb\tb\tb"},
            {R"~(return ('<a><b>'):match('<(.-)>'), ('<a><b>'):match('<(.*)>'), ('ab'):match('^(a?)(b?)$'))~",
             "a\ta><b\ta\tb"},
            {R"~(return ('hello world'):gsub('o', {o = '0'}), ('hello world'):gsub('%w+', {hello = 'HI', world = false}))~",
             "hell0 w0rld\tHI world\t2"},
            {R"~(return ('abc'):gsub('%w', function(c) return c:upper() .. '.' end), ('abc'):gsub('(b)', function() return nil end))~",
             "A.B.C.\tabc\t1"},
            {R"~(return ('abc'):gsub('%w', '%0%0'), ('abc'):gsub('(a)(b)', '%2%1'), ('abc'):gsub('', '-'), ('abc'):gsub('b*', 'X'))~",
             "aabbcc\tbac\t-a-b-c-\tXaXXcX\t4"},
            {R"~(return ('aaa'):gsub('a', 'b', 2), ('aaa'):gsub('^a', 'b'), ('a.b'):gsub('%.', '%%'), ('abc'):gsub('x*', '-', 2))~",
             "bba\tbaa\ta%b\t-a-bc\t2"},
            {R"~(return ('a,b,,c'):find(',', 1, true), ('a.b'):find('.', 1, true), ('a+b'):find('+', 1, true), ('abc'):find('', 10), ('abc'):find('', 4), ('abc'):find('c', -1))~",
             "2\t2\t2\tnil\t4\t3\t3"},
            {R"~(return ('key = value'):match('^(%w+)%s*=%s*(%w+)$'), ('[x]'):match('^%[(.)%]$'), ('a-z'):find('[a%-z]', 2))~",
             "key\tx\t2\t2"},
            {R"~(local t = {} for k, v in ('a=1, b=2'):gmatch('(%w+)=(%w+)') do t[#t+1] = k .. v end return table.concat(t, ';'), ('abc'):gmatch('')() )~",
             "a1;b2\t"},
            {R"~(return ('abc'):find('b', -10), ('abc'):match('^(b)', 2), ('aaa'):find('^a', 3), ('aXb'):match('[^%l]'), ('a]'):match('[]]'), ('a^'):match('[a^]+'))~",
             "2\tb\t3\tX\t]\ta^"},
            {R"~(return string.format('%5s|%-5s|%.2s', 'ab', 'ab', 'abc'), string.format('%q', 'tab\there'), string.format('%%'), string.format('%3d|%-3d|%03d', 5, 5, 5))~",
             "   ab|ab   |ab\t\"tab\\9here\"\t%\t  5|5  |005"},
            {R"~(return string.format('%s %s', true, nil), string.format('%10.3s|', 'abcdef'), string.format('%+d % d', 3, 3), string.format('%#x %#o', 255, 8))~",
             "true nil\t       abc|\t+3  3\t0xff 010"},
        });
}
