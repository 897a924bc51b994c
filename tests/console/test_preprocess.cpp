// The source preprocessor: each rewrite of the dialect, that its output
// compiles with the VM and keeps every line where it was, and hostile text.
// The include flattener's refusal of "#include " lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "console/api.h"
#include "console/pre.h"
#include "engine/mem.h"
#include "console/token.h"
#include "tests/vm/vm_test_util.h"
#include "cart/state.h"
#include "vm/lauxlib.h"

namespace {

// Blanks are the rewrites' to add: compare with runs of blanks as one and
// none inside parentheses or at a line's ends.
std::string squeeze(const std::string &s) {
    std::string r;
    for (char c : s) {
        if (c == ' ' || c == '\t') {
            if (!r.empty() && r.back() != ' ' && r.back() != '\n' && r.back() != '(') r += ' ';
        } else {
            if ((c == '\n' || c == ')' || c == ']') && !r.empty() && r.back() == ' ') r.pop_back();
            r += c;
        }
    }
    if (!r.empty() && r.back() == ' ') r.pop_back();
    return r;
}

std::string preprocess(const std::string &code) {
    std::string out;
    zibo6_preprocess(code.c_str(), out);
    return out;
}

size_t lines(const std::string &s) { return std::count(s.begin(), s.end(), '\n'); }

// Compiles text with the VM; the error message when it does not.
std::string compile_error(const std::string &text) {
    z6test::State L;
    if (luaL_loadstring(L, text.c_str()) == LUA_OK) return "";
    return lua_tostring(L, -1);
}

class Preprocess : public testing::Test {
protected:
    void SetUp() override { record_api_function_names(); }
};

struct rewrite_case {
    const char *code;
    const char *expected; // up to blanks
};

} // namespace

TEST_F(Preprocess, EachRewriteCompilesAndKeepsTheLineCount) {
    const rewrite_case cases[] = {
        {"x = 1 y = 2 b = x != y", "x = 1 y = 2 b = x ~= y"},
        {"s = \"a != b\" t = 'c += 1'", "s = \"a != b\" t = 'c += 1'"},
        {"a = 1 if (a) b=1", "a = 1 if (a) then b=1 end"},
        {"if (a) then b = 1 end", "if (a) then b = 1 end"},
        {"if (a) and (b) then c = 1 end", "if (a) and (b) then c = 1 end"},
        {"if(f(x)) y = 1 else y = 2", "if(f(x)) then y = 1 else y = 2 end"},
        {"while (i < 3) i += 1", "while (i < 3) do i = i + (1) end"},
        {"?x", "print(x)"},
        {"?x, 1", "print(x, 1)"},
        {"if (a) ?x", "if (a) then print(x) end"},
        {"a = 0 a += 1\n?a\nif (a) ?a", "a = 0 a = a + (1)\nprint(a)\nif (a) then print(a) end"},
        {"a ..= b", "a = a .. (b)"},
        {"t[i].n += 2 c = 3", "t[i].n = t[i].n + (2) c = 3"},
        {"f(x).y *= 2", "f(x).y = f(x).y * (2)"},
        {"a += b c = 1", "a = a + (b) c = 1"},
        {"a += f(x) * 2 b = 1", "a = a + (f(x) * 2) b = 1"},
        {"a -= -1", "a = a - (-1)"},
        {"a ..= 'str' .. x y = 2", "a = a .. ('str' .. x) y = 2"},
        {"if x then a /= 2 end", "if x then a = a / (2) end"},
        {"a %= t[1] b = {}", "a = a % (t[1]) b = {}"},
        {"a \\= 2", "a = a \\ (2)"},
        {"a &= 3 a |= 4 a ^^= 5", "a = a & (3) a = a | (4) a = a ^^ (5)"},
        {"a <<= 1 a >>= 1 a >>>= 1", "a = a << (1) a = a >> (1) a = a >>> (1)"},
        {"a <<>= 1 a >><= 1 a ^= 2", "a = a <<> (1) a = a >>< (1) a = a ^ (2)"},
        // the operators are tried in their order over the whole line, so the
        // later "+=" is rewritten before the "-=": the final text is the same
        {"a-=1 b+=1", "a = a - (1) b = b + (1)"},
        // a compound assignment inside the expression's group is rewritten too
        {"a = {} a.x = 1 a.x += 1", "a = {} a.x = 1 a.x = a.x + (1)"},
        // comments go and their lines stay
        {"a = 1 -- note\nb = 2 --[[ long\ncomment ]] c = 3\nd = 4 // end",
         "a = 1\nb = 2 c = 3\n\nd = 4"},
        {"x=1--[[a]]y=2", "x=1 y=2"},
        // a target holding a multi-line string is written twice: the lines
        // after it stay where they were
        {"t = {} t[ [[a\nb]] ] = 0 t[ [[a\nb]] ] += 1 c = 2\nm = 1",
         "t = {} t[ [[a\nb]]] = 0 t[ [[a\nb]]] = t[ [[a\nb]]] + (1) c = 2 m = 1"},
        {"s = [[two\nlines]] n += 1\nm = 1", "s = [[two\nlines]] n = n + (1)\nm = 1"},
    };
    for (const rewrite_case &c : cases) {
        std::string out = preprocess(c.code);
        EXPECT_EQ(squeeze(out), c.expected) << c.code;
        EXPECT_EQ(lines(out), lines(c.code)) << c.code;
        EXPECT_EQ(compile_error(out), "") << c.code << "\n=> " << out;
    }
}

TEST_F(Preprocess, FormsThatStayAsTheyAre) {
    const rewrite_case cases[] = {
        {"if (a) or b then c() end", "if (a) or b then c() end"},
        {"x = diff(a)", "x = diff(a)"},       // "if(" inside a name
        {"elseif (a) b()", "elseif (a) b()"}, // not after a blank
        {"if (a", "if (a"},                   // the line ends in the condition
        {"if (a) (b)()", "if (a) (b)()"},     // not a statement start
        {"while (a) do b() end", "while (a) do b() end"},
    };
    for (const rewrite_case &c : cases)
        EXPECT_EQ(squeeze(preprocess(c.code)), c.expected) << c.code;
}

TEST_F(Preprocess, ALongLineIsRewrittenWhole) {
    // 9,000 statements (27,000 tokens) on one line: none is cut in two
    std::string code;
    for (int i = 0; i < 9000; i++) code += "a+=1 ";
    code += "\nb = 1\n";
    std::string out = preprocess(code);
    EXPECT_EQ(lines(out), 2u);
    EXPECT_EQ(out.find("+="), std::string::npos);
    size_t n = 0;
    for (size_t at = out.find("a = a + (1"); at != std::string::npos;
         at = out.find("a = a + (1", at + 1))
        n++;
    EXPECT_EQ(n, 9000u);
    EXPECT_EQ(compile_error(out), "");
    // the cost is the output's: a few times its size, not once per statement
    EXPECT_LT(zibo6_preprocess_work(), 20 * out.size());
}

TEST_F(Preprocess, GrowthPastTheBuffersIsRefused) {
    // each level copies a target holding the levels inside it: 2^15 copies
    const std::string grow = "t[t[t[t[t[t[t[t[t[t[t[t[t[t[t[a^=1]>>=1]>>>=1]<<=1]>><=1]<<>=1]^^=1]"
                             "|=1]&=1]\\=1]%=1]/=1]*=1]-=1]+=1]..=1";
    ASSERT_EQ(grow.size(), 104u);
    pstate.headless = 1; // the terminal lines go to standard output
    std::string out = "x";
    testing::internal::CaptureStdout();
    EXPECT_EQ(zibo6_preprocess(("a = 1\n\n" + grow + "\n").c_str(), out), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "program too large\nline 3 passes 131072 chars rewritten\n");
    EXPECT_EQ(out, "");
    // the work stops at the line's limit: each of the 16 passes writes it at most once
    EXPECT_LT(zibo6_preprocess_work(), 16u * 4 * 131072);

    // lines within their limit that together pass the program's
    std::string many;
    for (int i = 0; i < 30000; i++) many += "a+=1\n";
    testing::internal::CaptureStdout();
    EXPECT_EQ(zibo6_preprocess(many.c_str(), out), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "program too large\nrewritten code passes 262144 chars\n");
    EXPECT_LT(zibo6_preprocess_work(), 20u * 262144);
}

TEST_F(Preprocess, ChainedAndNestedOperatorsCostTheirOutput) {
    // shapes whose rewrites each read or copy the rest of the line when done
    // one at a time; every one stays within a few times the line's length
    std::string chain = "a+=x", nest = "a+=", closers, groups = "x+=";
    for (int i = 0; i < 8000; i++) {
        chain += "+-=";
        nest += "(b+=";
        closers += ") += 1 ";
        groups += "f(";
    }
    nest += "1" + std::string(8000, ')');
    groups += std::string(8000, ')') + " y+=2";
    for (const std::string &code : {chain, nest, closers, groups}) {
        std::string out = preprocess(code);
        ASSERT_FALSE(out.empty());
        EXPECT_LT(zibo6_preprocess_work(), 40 * (code.size() + out.size())) << code.substr(0, 20);
    }
    EXPECT_EQ(squeeze(preprocess("a += (b += (c += 1))")), "a = a + ((b = b + ((c = c + (1)))))");
}

TEST_F(Preprocess, NothingInsideALongBracketIsRewritten) {
    const rewrite_case cases[] = {
        // levels: the text between the brackets stays as it is
        {"s=[=[\na != b\nx += 1\n?hello\n]=]", "s=[=[\na != b\nx += 1\n?hello\n]=]"},
        {"t=[==[one -- two]==]\nx += 1", "t=[==[one -- two]==]\nx = x + (1)"},
        {"s=[=[ ]] a += 1 ]=] b += 1", "s=[=[]] a += 1]=] b = b + (1)"},
        // no nesting: the first closer of the level ends the string
        {"s=[[x [[ y]]\nx += 1\nif (x) ?x", "s=[[x [[ y]]\nx = x + (1)\nif (x) then print(x) end"},
        // long comments of any level go, and the line count stays
        {"--[=[ a\nx += 1 ]] ]=] y += 1\nz = 2", "y = y + (1)\n\nz = 2"},
        {"x = 1 --[==[ ]=] \n ]==] x -= 1", "x = 1 x = x - (1)\n"},
        // a bracket without its level's second "[" is no string
        {"t = {} t[ [=[k]=] ] = 1 t[ [=[k]=] ] += 1",
         "t = {} t[ [=[k]=]] = 1 t[ [=[k]=]] = t[ [=[k]=]] + (1)"},
    };
    for (const rewrite_case &c : cases) {
        std::string out = preprocess(c.code);
        EXPECT_EQ(squeeze(out), c.expected) << c.code;
        EXPECT_EQ(lines(out), lines(c.code)) << c.code;
        EXPECT_EQ(compile_error(out), "") << c.code << "\n=> " << out;
    }
    // an unclosed long comment ends with its line, however many there are
    std::string open;
    for (int i = 0; i < 20000; i++) open += "--[=[ open\n";
    std::string out = preprocess(open + "b += 1");
    EXPECT_EQ(lines(out), 20000u);
    EXPECT_EQ(squeeze(out).substr(squeeze(out).size() - 11), "b = b + (1)");
    EXPECT_LT(zibo6_preprocess_work(), 4 * open.size());
    // the token count keeps its own rules: "[[" pairs nest there
    EXPECT_EQ(count_tokens("s=[[x [[ y]]\nx += 1"), 3);
}

TEST_F(Preprocess, HostileTextNeitherCrashesNorOverflows) {
    // a string token of 65,536 characters
    std::string big(65536, 'x');
    std::string out = preprocess("a = \"" + big + "\" a += 1");
    EXPECT_NE(out.find(big), std::string::npos);
    EXPECT_EQ(compile_error(out), "");
    // 10,000 nested brackets in an expression and in a target
    std::string deep = std::string(10000, '(') + "1" + std::string(10000, ')');
    out = preprocess("a += " + deep + "\nb = 2");
    EXPECT_EQ(lines(out), 1u);
    EXPECT_EQ(squeeze(out).rfind("a = a + (((", 0), 0u);
    out = preprocess("t" + std::string(10000, '[') + " += 1");
    out = preprocess(std::string(10000, ']') + " += 1");
    out = preprocess("x" + std::string(10000, ')') + " -= 1\nif (" + std::string(10000, '('));
    // a compound assignment at the very end of the text, and with no target
    EXPECT_EQ(squeeze(preprocess("a +=")), "a = a + ()");
    EXPECT_EQ(squeeze(preprocess("+=")), "= + ()");
    EXPECT_EQ(squeeze(preprocess("a += ?")), "a = a + (print())");
    // unterminated long brackets and strings
    out = preprocess("a = [[ abc\nb += 1\n");
    EXPECT_EQ(squeeze(out), "a = [[ abc\nb += 1\n");
    out = preprocess("--[[ open\nb += 1");
    EXPECT_EQ(squeeze(out), "\nb = b + (1)");
    out = preprocess("a += \"open\nb != c");
    EXPECT_EQ(squeeze(out), "a = a + (\"open)\nb ~= c");
    out = preprocess("a += 'x\\");
    EXPECT_EQ(lines(out), 0u);
    // control bytes and glyph bytes pass through
    out = preprocess("\x01\x02\x80 += 1\xff");
    EXPECT_EQ(lines(out), 0u);
    EXPECT_EQ(preprocess(""), "");
}

TEST(FlattenIncludes, RefusesIncludeLinesAndCopiesEverythingElse) {
    record_api_function_names();
    std::string out;
    for (const char *code :
         {"#include other.z6", "a = 1\n  \t#include other.z6\nb = 2", "\r#include x.lua"}) {
        pstate.headless = 1; // the terminal line goes to standard output
        testing::internal::CaptureStdout();
        EXPECT_EQ(zibo6_flatten_includes(code, out), 1) << code;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "can not #include\n");
        EXPECT_EQ(out, "");
    }
    // not at a line's start, without the blank, inside a string or a comment
    for (const char *code : {"x = 1 #include y", "#includex", "s = [[\n#include x\n]]",
                             "--[[\n#include x ]]", "-- #include x", "s = [=[\n#include x\n]=]",
                             "--[==[ ]]\n#include x ]==]", ""}) {
        EXPECT_EQ(zibo6_flatten_includes(code, out), 0) << code;
        EXPECT_EQ(out, code);
    }
    EXPECT_EQ(last_included_files(), 0);
    EXPECT_EQ(included_start(0), 0);
    EXPECT_EQ(included_end(3), 0);
    EXPECT_EQ(included_name(0), nullptr);
}

TEST(IncludeRemnants, IncludeNamesAndCodeTabs) {
    char path[Z6_PATH_LEN], name[256];
    int tab = 0;
    snprintf(pstate.root_path, sizeof pstate.root_path, "/carts");
    snprintf(pstate.current_folder, sizeof pstate.current_folder, "games");
    EXPECT_EQ(get_include_filename("  lib.z6:3 \n", path, &tab, name), 0);
    EXPECT_STREQ(name, "lib.z6");
    EXPECT_EQ(tab, 3);
    EXPECT_STREQ(path, "/carts/games/lib.z6");
    EXPECT_EQ(get_include_filename("/top.lua", path, &tab, name), 0);
    EXPECT_EQ(tab, -1);
    EXPECT_STREQ(path, "/carts/top.lua");
    std::string long_name(400, 'n');
    EXPECT_EQ(get_include_filename(long_name.c_str(), path, &tab, name), 0);
    EXPECT_EQ(strlen(name), 255u); // cut to its buffer
    memset(pstate.root_path, 'r', sizeof pstate.root_path - 1);
    pstate.root_path[sizeof pstate.root_path - 1] = '\0';
    EXPECT_EQ(get_include_filename("x", path, &tab, name), 1); // would not fit
    pstate.root_path[0] = '\0';

    const char *code = "a = 1\n-->8\nb = 2\n-->8\n";
    int len = 0;
    const char *t = find_tab_content(code, 0, &len);
    EXPECT_EQ(std::string(t, len), "a = 1");
    t = find_tab_content(code, 1, &len);
    EXPECT_EQ(std::string(t, len), "b = 2");
    t = find_tab_content(code, 2, &len);
    EXPECT_EQ(std::string(t, len), "");
    EXPECT_EQ(find_tab_content(code, 3, &len), nullptr);
    EXPECT_EQ(find_tab_content(code, -1, &len), nullptr);
}

TEST(IncludeRemnants, IncludedTextFromCartsAndPlainFiles) {
    char dir[] = "/tmp/z6incXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    auto write = [&](const char *name, const std::string &bytes) {
        std::string path = std::string(dir) + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return path;
    };
    auto take = [](char *text) {
        std::string s = text ? text : "(null)";
        vull_free(text);
        return s;
    };
    std::string cart =
        write("lib.z6", "zibo-6 cartridge // x\nversion 33\n__lua__\na=1\n-->8\nb=2\n");
    EXPECT_EQ(take(load_included_text(cart.c_str(), -1)), "a=1\n-->8\nb=2\n");
    EXPECT_EQ(take(load_included_text(cart.c_str(), 1)), "b=2\n");
    pstate.headless = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_included_text(cart.c_str(), 5), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "could not find tab 5\n");

    // plain text: a UTF-16 little-endian file with its byte-order mark
    std::string utf16 = "\xff\xfe";
    for (char c : std::string("c=3")) utf16 += std::string(1, c) + '\0';
    EXPECT_EQ(take(load_included_text(write("plain.txt", utf16).c_str(), -1)), "c=3\n");
    EXPECT_EQ(take(load_included_text(write("plain.lua", "d=4\n").c_str(), -1)), "d=4\n\n");
    EXPECT_EQ(load_included_text((std::string(dir) + "/missing.lua").c_str(), -1), nullptr);
    std::filesystem::remove_all(dir);
}
