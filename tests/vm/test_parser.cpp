// Lexer, parser and code generator: tokens, numerals, escapes, operator
// priorities, folding and the error texts, checked on compiled prototypes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lparser.h"
#include "vm/lstate.h"
#include "vm/lua.h"
#include "tests/vm/load_test_util.h"
#include "cart/state.h"
#include "engine/ctext.h"

namespace {

/* A state that compiles texts the way the console does (named by the text). */
struct Compiler {
    z6load::State vm;
    lua_State *L = vm.L;

    /* the prototype of a text that must compile */
    const Proto *proto(const std::string &src) {
        int status = vm.load(src);
        EXPECT_EQ(status, LUA_OK) << vm.message();
        if (status != LUA_OK) return nullptr;
        return clLvalue(L->top - 1)->p;
    }

    /* the full message of a text that must fail, any byte included */
    std::string error(const std::string &src) {
        int status = vm.load(src);
        EXPECT_EQ(status, LUA_ERRSYNTAX) << src;
        return vm.message();
    }
};

std::vector<OpCode> opcodes(const Proto *f) {
    std::vector<OpCode> out;
    for (int i = 0; i < f->sizecode; i++) out.push_back(GET_OPCODE(f->code[i]));
    return out;
}

/* the constant a LOADK at pc loads */
const TValue *loaded(const Proto *f, int pc) {
    EXPECT_EQ(GET_OPCODE(f->code[pc]), OP_LOADK);
    return &f->k[GETARG_Bx(f->code[pc])];
}

lua_Number loaded_number(const Proto *f, int pc) {
    const TValue *o = loaded(f, pc);
    EXPECT_TRUE(ttisnumber(o));
    return ttisnumber(o) ? nvalue(o) : 0;
}

std::string loaded_string(const Proto *f, int pc) {
    const TValue *o = loaded(f, pc);
    EXPECT_TRUE(ttisstring(o));
    return ttisstring(o) ? std::string(svalue(o), tsvalue(o)->len) : std::string();
}

constexpr lua_Number num(int n) { return static_cast<lua_Number>(static_cast<uint32_t>(n) << 16); }

/* "line L (tab T)" texts as the console's tab mapping gives them */
std::string tab_line(int line) {
    int tab = 0;
    int l = zibo6_vm.find_tab_line(line, &tab);
    return "line " + std::to_string(l) + " (tab " + std::to_string(tab) + ")";
}

std::string line_only(int line) { return "line " + std::to_string(zibo6_vm.find_tab_line(line, nullptr)); }

std::string chunk(const std::string &src) { return "[string \"" + src + "\"]"; }

/* a literal with its zero bytes */
template <size_t N> std::string bytes(const char (&a)[N]) { return std::string(a, N - 1); }

TEST(Lexer, NewOperatorTokensCompileToTheirOpcodes) {
    Compiler c;
    const Proto *f =
        c.proto("local a, b\nreturn a<<>b, a>>>1, a>><1, a^^b, a<<b, a>>b, a\\b, a&b, a|b");
    ASSERT_NE(f, nullptr);
    std::vector<OpCode> want = {OP_LOADNIL, OP_Z6ROTL, OP_Z6LSHR, OP_Z6ROTR, OP_Z6BXOR, OP_Z6SHL,
                                OP_Z6SHR,   OP_Z6IDIV, OP_Z6BAND, OP_Z6BOR,  OP_RETURN, OP_RETURN};
    EXPECT_EQ(opcodes(f), want);
}

TEST(Lexer, ShiftThenEqualsAndLoneTildeAreSeparateTokens) {
    Compiler c;
    EXPECT_EQ(c.error("x = a<<=b"), chunk("x = a<<=b") + ":1: unexpected symbol near '='");
    EXPECT_EQ(c.error("x = a~b"), chunk("x = a~b") + ":1: unexpected symbol near '~'");
    EXPECT_EQ(c.error("a = !b"), chunk("a = !b") + ":1: unexpected symbol near '!'");
}

TEST(Lexer, EscapesIncludingTheGlyphBytes) {
    Compiler c;
    const Proto *f = c.proto(R"(return "\*", "\#", "\-", "\|", "\+", "\^", "\65\x41\z
        b", "a\
b", '\'\"\\\a\0')");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(loaded_string(f, i), std::string(1, static_cast<char>(i + 1)));
    EXPECT_EQ(loaded_string(f, 6), "AAb");
    EXPECT_EQ(loaded_string(f, 7), "a\nb");
    EXPECT_EQ(loaded_string(f, 8), std::string("'\"\\\a\0", 5));
}

TEST(Lexer, NumeralsBecome16Dot16) {
    Compiler c;
    const Proto *f = c.proto("return 0x1f, 0b101, 1.5, .5, 3e2, 0x.8, 0b101.1, 0x1.8, 0.1");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(loaded_number(f, 0), num(31));
    EXPECT_EQ(loaded_number(f, 1), num(5));
    EXPECT_EQ(loaded_number(f, 2), 0x18000);
    EXPECT_EQ(loaded_number(f, 3), 0x8000);
    EXPECT_EQ(loaded_number(f, 4), num(300));
    EXPECT_EQ(loaded_number(f, 5), 0x8000);
    EXPECT_EQ(loaded_number(f, 6), 0x58000);
    EXPECT_EQ(loaded_number(f, 7), 0x18000);
    EXPECT_EQ(loaded_number(f, 8), 6553);
}

TEST(Lexer, NameCharactersIncludeHighBytesAndGlyphs30And31) {
    Compiler c;
    const Proto *f = c.proto("x\200y = 1 \036z\037 = 2");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(GET_OPCODE(f->code[0]), OP_SETTABUP);
    const TValue *k0 = &f->k[INDEXK(GETARG_B(f->code[0]))];
    const TValue *k1 = &f->k[INDEXK(GETARG_B(f->code[1]))];
    EXPECT_EQ(std::string(svalue(k0)), "x\200y");
    EXPECT_EQ(std::string(svalue(k1)), "\036z\037");
}

TEST(Lexer, ErrorTextsQuoteTheOffendingText) {
    Compiler c;
    struct Case {
        const char *src;
        const char *tail;
    } cases[] = {
        {"x=1..2", ":1: malformed number near '1..2'"},
        {"x=0x1p4", ":1: malformed number near '0x1p4'"},
        {"x=\"\\x1\"", ":1: hexadecimal digit expected near '\\x1\"'"},
        {"x=\"\\256\"", ":1: decimal escape too large near '\\256'"},
        {"x=\"\\q\"", ":1: invalid escape sequence near '\\q'"},
        {"x = \"abc", ":1: unfinished string near <eof>"},
        {"x = [==[ abc", ":1: unfinished long string near <eof>"},
        {"--[[ abc", ":1: unfinished long comment near <eof>"},
        {"x = [=x", ":1: invalid long string delimiter near '[='"},
    };
    for (const Case &k : cases) EXPECT_EQ(c.error(k.src), chunk(k.src) + k.tail);
    EXPECT_EQ(c.error("x = 'abc\n'"), "[string \"x = 'abc...\"]:1: unfinished string near ''abc'");
}

TEST(Lexer, LineBreaksCountOnceEachAndLinesAbove32767PrintWhole) {
    Compiler c;
    std::string src = "a=1\r\nb=2\n\rc=3\n\n?";
    EXPECT_EQ(c.error(src), "[string \"a=1\r...\"]:5: unexpected symbol near '?'");
    std::string big(40000, '\n');
    big += "x = = 1";
    std::string msg = c.error(big);
    EXPECT_NE(msg.find("]:40001: unexpected symbol near '='"), std::string::npos) << msg;
    EXPECT_EQ(zibo6_last_line_number, 40001);
}

TEST(Lexer, MessagesAreLengthCountedAroundZeroBytes) {
    Compiler c;
    /* a string token holding a zero byte is quoted whole */
    std::string msg = c.error("x = 1 \"a\\0b\"");
    std::string tail("unexpected symbol near '\"a\0b\"'", 30);
    ASSERT_GE(msg.size(), tail.size());
    EXPECT_EQ(msg.substr(msg.size() - tail.size()), tail);
    /* control bytes are tokens shown as themselves */
    msg = c.error("x = \x01");
    EXPECT_EQ(msg.substr(msg.size() - 26), "unexpected symbol near '\x01'");
    /* a zero byte is a token of its own (token 0: no "near" part), never
    ** part of a numeral or of ".." */
    EXPECT_EQ(c.error(bytes("return 0\0x1")), chunk("return 0") + ":1: <eof> expected");
    EXPECT_EQ(c.error(bytes("return 'a' .\0 'b'")),
              chunk("return 'a' .") + ":1: <eof> expected near '.'");
}

TEST(Parser, PrioritiesOfTheNewOperators) {
    Compiler c;
    const Proto *f = c.proto("return 2^3^2, -2^2, 1+2<<3, 1|6^^3&5");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(loaded_number(f, 0), num(512));
    EXPECT_EQ(loaded_number(f, 1), num(-4));
    EXPECT_EQ(loaded_number(f, 2), num(24));
    EXPECT_EQ(loaded_number(f, 3), num(1 | (6 ^ (3 & 5))));

    struct Case {
        const char *src;
        std::vector<OpCode> ops;
    } cases[] = {
        {"local a, b\nreturn %a%b", {OP_LOADNIL, OP_Z6PEEK2, OP_MOD, OP_RETURN, OP_RETURN}},
        {"local a\nreturn @a-1", {OP_LOADNIL, OP_Z6PEEK, OP_SUB, OP_RETURN, OP_RETURN}},
        {"local a\nreturn -@a", {OP_LOADNIL, OP_Z6PEEK, OP_UNM, OP_RETURN, OP_RETURN}},
        {"local a\nreturn -a^2", {OP_LOADNIL, OP_POW, OP_UNM, OP_RETURN, OP_RETURN}},
        {"local a, b\nreturn ~a&b", {OP_LOADNIL, OP_Z6BNOT, OP_Z6BAND, OP_RETURN, OP_RETURN}},
        {"local a, b, c, d\nreturn a|b^^c&d",
         {OP_LOADNIL, OP_Z6BAND, OP_Z6BXOR, OP_Z6BOR, OP_RETURN, OP_RETURN}},
        {"local a, b\nreturn a..b<<1",
         {OP_LOADNIL, OP_MOVE, OP_MOVE, OP_CONCAT, OP_Z6SHL, OP_RETURN, OP_RETURN}},
    };
    for (const Case &k : cases) {
        const Proto *p = c.proto(k.src);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(opcodes(p), k.ops) << k.src;
    }
    /* a&b==c is (a&b)==c: the AND comes before the comparison */
    const Proto *p = c.proto("local a, b, c\nreturn a&b==c");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(GET_OPCODE(p->code[1]), OP_Z6BAND);
    EXPECT_EQ(GET_OPCODE(p->code[2]), OP_EQ);
    /* a..b..c is one CONCAT over three registers */
    p = c.proto("local a, b, c\nreturn a..b..c");
    ASSERT_NE(p, nullptr);
    int concats = 0;
    for (OpCode o : opcodes(p)) concats += (o == OP_CONCAT);
    EXPECT_EQ(concats, 1);
}

TEST(Parser, ErrorsNameTheLineWithinItsTab) {
    Compiler c;
    std::string src = "local x = 1\nfunction f()\n  x = 2\n";
    EXPECT_EQ(c.error(src),
              "[string \"local x = 1...\"]:4: 'end' expected (to close 'function' at " +
                  tab_line(2) + ") near <eof>");
    EXPECT_EQ(c.error("function f() x = 1"),
              chunk("function f() x = 1") + ":1: 'end' expected near <eof>");
    EXPECT_EQ(c.error("x = 1\nbreak"),
              "[string \"x = 1...\"]:2: <break> at " + line_only(2) + " not inside a loop");
    EXPECT_EQ(c.error("goto foo"),
              chunk("goto foo") + ":1: no visible label 'foo' for <goto> at " + tab_line(1));
    EXPECT_EQ(c.error("::a::\n::a::"),
              "[string \"::a::...\"]:2: label 'a' already defined on " + tab_line(1));
    EXPECT_EQ(c.error("goto f; local x; ::f:: print(x)"), chunk("goto f; local x; ::f:: print(x)") +
                                                              ":1: <goto f> at " + tab_line(1) +
                                                              " jumps into the scope of local 'x'");
}

/* With real code tabs the texts carry the tab's own line and number. */
TEST(Parser, TabFormsWithCodeTabs) {
    struct Tabs {
        char tab0[8] = "\n";           /* tab 0 spans joined lines 2-4 */
        char tab1[16] = "\n\n\n\n\n\n\n\n\n\n"; /* ten newlines */
        ctext t0{}, t1{};
        Tabs() {
            t0.text = tab0;
            t1.text = tab1;
            pstate.code_tab[0] = &t0;
            pstate.code_tab[1] = &t1;
        }
        ~Tabs() { pstate.code_tab[0] = pstate.code_tab[1] = nullptr; }
    } tabs;
    Compiler c;
    std::string src = "\n\n\n\n\nx = 1\nfunction f()\n";
    EXPECT_EQ(
        c.error(src),
        "[string \"...\"]:8: 'end' expected (to close 'function' at line 2 (tab 1)) near <eof>");
    EXPECT_EQ(c.error("\n\n\n\n\n\n\nbreak"),
              "[string \"...\"]:8: <break> at line 3 not inside a loop");
}

TEST(Parser, ShorthandNeverReachesTheGrammar) {
    Compiler c;
    EXPECT_EQ(c.error("a += 1"), chunk("a += 1") + ":1: syntax error near '+'");
    EXPECT_EQ(c.error("if (a) b = 1"), chunk("if (a) b = 1") + ":1: 'then' expected near 'b'");
    EXPECT_EQ(c.error("x = a != b"), chunk("x = a != b") + ":1: unexpected symbol near '!'");
    EXPECT_EQ(c.error("x = ... function f() return ... end"),
              chunk("x = ... function f() return ... end") +
                  ":1: cannot use '...' outside a vararg function near '...'");
}

TEST(Parser, LimitsPrintTheirNumbersWhole) {
    Compiler c;
    std::string locals = "local a0";
    for (int i = 1; i <= 201; i++) locals += ", a" + std::to_string(i);
    std::string msg = c.error(locals);
    EXPECT_NE(msg.find(":1: too many local variables (limit is 200) in main function near ','"),
              std::string::npos)
        << msg;
    msg = c.error("x = 1\nlocal function f()\n" + locals + "\nend");
    EXPECT_NE(msg.find(":3: too many local variables (limit is 200) in function at " + tab_line(2) +
                       " near ','"),
              std::string::npos)
        << msg;
    std::string args = "x = f(1";
    for (int i = 0; i < 300; i++) args += ",1";
    msg = c.error(args + ")");
    EXPECT_NE(msg.find(":1: function or expression too complex near '1'"), std::string::npos)
        << msg;
    std::string body = "while x do\n";
    for (int i = 0; i < 70000; i++) body += "a=b\n";
    msg = c.error(body + "end");
    EXPECT_NE(msg.find(":70002: control structure too long near 'end'"), std::string::npos) << msg;
    std::string far(40000, '\n');
    msg = c.error(far + "function f()\n");
    EXPECT_NE(
        msg.find(":40002: 'end' expected (to close 'function' at " + tab_line(40001) + ") near <eof>"),
        std::string::npos)
        << msg;
    std::string deep(300, '(');
    msg = c.error("x = " + deep);
    EXPECT_NE(msg.find("too many C levels (limit is 200)"), std::string::npos) << msg;
}

TEST(Parser, LastLineNumberIsTheLastStatementBegun) {
    Compiler c;
    c.error("x = 1\ny = 2\nz = = 3\nw = 4");
    EXPECT_EQ(zibo6_last_line_number, 3);
    ASSERT_NE(c.proto("a = 1\n\nb = 2"), nullptr);
    EXPECT_EQ(zibo6_last_line_number, 3);
}

// The token after a function's 'end' was made while the function was parsed; a name
// longer than the interned ones is a string of its own, which must outlive the
// function's constants when the collector runs as the function closes.
TEST(Parser, LongNameAfterAFunctionSurvivesACollectionAtItsEnd) {
    Compiler c;
    lua_gc(c.L, LUA_GCSETPAUSE, 0);      // a new cycle as soon as one ends
    lua_gc(c.L, LUA_GCSETSTEPMUL, 1000); // every step a whole cycle
    const std::string name(60, 'n');
    const Proto *f = c.proto("local function f() end\n" + name + " = f\nreturn " + name);
    ASSERT_NE(f, nullptr);
    bool found = false;
    for (int i = 0; i < f->sizek; i++)
        if (ttisstring(&f->k[i]) && std::string(svalue(&f->k[i])) == name) found = true;
    EXPECT_TRUE(found);
}

TEST(Codegen, FoldingUsesTheRunTimeResults) {
    Compiler c;
    const Proto *f = c.proto("return 1<<4, 7\\2, 1\\0, -7\\2, 200*200, 1>><1");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(loaded_number(f, 0), num(16));
    EXPECT_EQ(loaded_number(f, 1), num(3));
    EXPECT_EQ(loaded_number(f, 2), static_cast<lua_Number>(0x7fff0000));
    EXPECT_EQ(loaded_number(f, 3), num(-4));
    EXPECT_EQ(loaded_number(f, 4), num(-25536));
    EXPECT_EQ(loaded_number(f, 5), static_cast<lua_Number>(0x8000));
    EXPECT_EQ(f->sizecode, 8); /* six loads and two returns: nothing else emitted */

    /* division and modulo by a constant zero stay instructions */
    f = c.proto("return 1/0, 5%0");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(GET_OPCODE(f->code[0]), OP_DIV);
    EXPECT_EQ(GET_OPCODE(f->code[1]), OP_MOD);

    f = c.proto("local x\nreturn -x, -5");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(GET_OPCODE(f->code[1]), OP_UNM);
    EXPECT_EQ(loaded_number(f, 2), num(-5));
}

TEST(Codegen, UnaryBitAndPeekOperatorsTakeTheConstantZero) {
    Compiler c;
    const Proto *f = c.proto("return ~x");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(GET_OPCODE(f->code[1]), OP_Z6BNOT);
    int cfield = GETARG_C(f->code[1]);
    ASSERT_TRUE(ISK(cfield));
    const TValue *zero = &f->k[INDEXK(cfield)];
    ASSERT_TRUE(ttisnumber(zero));
    EXPECT_EQ(nvalue(zero), 0);
    EXPECT_EQ(f->sizek, 2); /* "x" and 0 */

    f = c.proto("return ~5, @0x5f00, %0x5f00, $0x5f00");
    ASSERT_NE(f, nullptr);
    std::vector<OpCode> want = {OP_LOADK,   OP_Z6BNOT, OP_LOADK,   OP_Z6PEEK, OP_LOADK,
                                OP_Z6PEEK2, OP_LOADK,  OP_Z6PEEK4, OP_RETURN, OP_RETURN};
    EXPECT_EQ(opcodes(f), want);
}

TEST(Codegen, ComparisonsAndConstantsStoredOnce) {
    Compiler c;
    const Proto *f = c.proto("local a, b\nreturn a~=b, a>b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(GET_OPCODE(f->code[1]), OP_EQ);
    EXPECT_EQ(GETARG_A(f->code[1]), 0);
    EXPECT_EQ(GETARG_B(f->code[1]), 0);
    EXPECT_EQ(GETARG_C(f->code[1]), 1);
    int lt = -1;
    for (int i = 0; i < f->sizecode; i++)
        if (GET_OPCODE(f->code[i]) == OP_LT) lt = i;
    ASSERT_GE(lt, 0);
    EXPECT_EQ(GETARG_A(f->code[lt]), 1);
    EXPECT_EQ(GETARG_B(f->code[lt]), 1); /* b < a */
    EXPECT_EQ(GETARG_C(f->code[lt]), 0);

    f = c.proto("return 'a', 'a', 1, 1, 0, 0, true, true");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->sizek, 3);
}

} // namespace
