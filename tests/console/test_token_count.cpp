// The console's token count: each expected count below is worked out by hand
// from the counting rules (what counts, what is free, where a sign belongs
// to its number), then the tokenizer's walk on odd and hostile text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/api.h"
#include "console/token.h"

namespace {

struct count_case {
    const char *code;
    int tokens;
};

class TokenCount : public testing::Test {
protected:
    void SetUp() override { record_api_function_names(); }
};

int32_t first_token(const char *text) {
    get_first_token(text);
    return get_token();
}

} // namespace

TEST_F(TokenCount, HandDerivedCounts) {
    const count_case cases[] = {
        // a sign belongs to the number only where an operand is expected
        {"x=-1", 3},       // x = -1
        {"x-1", 3},        // x - 1
        {"x = 1 - -1", 5}, // x = 1 - -1
        {"-1", 2},         // nothing before: - 1
        {"return -1", 2},  // return -1
        {"f(-.5, ~2)", 4}, // f ( -.5 ~2; ) and , are free
        {"a = ~b", 4},     // a = ~ b
        {"a=(\n-1)", 4},   // a = ( -1: the newline leaves "(" as the previous token
        // free tokens: end, local, closers, separators, ::
        {"local a", 1},
        {"local function f() end", 3}, // function f (
        {"a.b", 2},
        {"a:b()", 3},
        {"t[1]", 3},
        {"{1,2,3}", 4},
        {"x;", 1},
        {"::top:: goto top", 3},
        {"if a then b() end", 5},
        {"a.end", 2}, // end after "." is a name
        // strings and comments
        {"print(\"hello, world\")", 3},
        {"s = [[two\nlines]]", 3},
        {"-- a comment\n\n", 0},
        {"--[[ a long\ncomment ]] x", 1},
        {"--[[ unclosed\nx", 1}, // an unclosed long comment ends with its line
        {"// also a comment\ny", 1},
        {"a = \"unterminated\nb", 4}, // the string ends at its line: a = "..." b
        {"s = 'it\\'s'", 3},
        // operators, longest first
        {"a..b", 3},
        {"f(...)", 3},
        {"x += 1", 3},
        {"a != b", 3},
        {"a >>>= 2", 3},
        {"a >>> 2", 3},
        {"a<<>=1", 4}, // <<> then =
        {"a ^= 1", 4}, // ^ then =
        {"a ^^= 1", 3},
        {"a ..= b", 4}, // .. then =
        {"0x1f.8 + 0b101", 3},
        {"#include other.z6\nx", 1},
        {"  #include other.z6", 0},
        {"\x01\x02", 2}, // other control bytes are single characters
    };
    for (const count_case &c : cases) EXPECT_EQ(count_tokens(c.code), c.tokens) << c.code;
}

TEST_F(TokenCount, KeywordsBuiltInNamesAndLongNames) {
    EXPECT_EQ(first_token("end"), TOK_END);
    EXPECT_EQ(first_token("nil"), TOK_LITERAL);
    EXPECT_EQ(first_token("pairs"), TOK_BUILTIN);
    EXPECT_EQ(first_token("set_draw_slice"), TOK_BUILTIN); // the longest recorded name
    // a name of 16 or more characters is never a keyword or an API name,
    // nor is one that only begins like one
    EXPECT_EQ(first_token("set_draw_slicex"), TOK_NAME);
    EXPECT_EQ(first_token("set_draw_slice_x"), TOK_NAME);
    EXPECT_EQ(first_token("functionfunction"), TOK_NAME);
    EXPECT_EQ(first_token("endendendendendendend"), TOK_NAME);
    EXPECT_EQ(first_token("_update_buttons"), TOK_NAME); // registered, not recorded
    // after "." or ":" a keyword is a name
    get_next_token(get_next_token(get_first_token("a:if")));
    EXPECT_EQ(get_token(), TOK_NAME);
    EXPECT_STREQ(get_token_ident(), "if");
    EXPECT_EQ(get_token_color(), 6);
    EXPECT_EQ(first_token("flr"), TOK_BUILTIN);
    EXPECT_EQ(get_token_color(), 11);
    EXPECT_EQ(first_token("while"), TOK_WHILE);
    EXPECT_EQ(get_token_color(), 14);
    EXPECT_EQ(first_token("-- c"), TOK_COMMENT);
    EXPECT_EQ(get_token_color(), 13);
    EXPECT_EQ(first_token("'s'"), TOK_STRING);
    EXPECT_EQ(get_token_color(), 12);
}

TEST_F(TokenCount, TheWalkAlwaysProgressesAndStopsAtTheEnd) {
    // every token's position moves forward and the walk ends at the NUL
    const char *text = "a=1 -- x\n\"s\" [[ l ]] 0b2 #include\n";
    int steps = 0;
    const char *p = get_first_token(text);
    const char *end = text + strlen(text);
    while (get_token() != TOK_EOF && steps < 100) {
        const char *q = get_next_token(p);
        EXPECT_TRUE(q > p || get_token() == TOK_EOF);
        EXPECT_LE(q, end);
        p = q;
        steps++;
    }
    EXPECT_EQ(get_token(), TOK_EOF);
    EXPECT_EQ(p, end);
    EXPECT_EQ(tokenizer.line, 3);
    EXPECT_EQ(count_tokens(nullptr), 0);
    const char *nested = "[[ [[ ]] ]] x";
    EXPECT_EQ(find_multiline_end(nested), nested + 11);
    EXPECT_EQ(find_multiline_end("[[ [[ ]]"), nullptr);
}

TEST_F(TokenCount, HostileTextIsCountedWithinItsBuffers) {
    // a string token longer than the ident buffer is cut there; it still counts once
    std::string s = "x = [[" + std::string(TOKEN_IDENT_BYTES, 'a') + "]]";
    EXPECT_EQ(count_tokens(s.c_str()), 3);
    s = "x = \"" + std::string(TOKEN_IDENT_BYTES + 10, 'b') + "\"";
    get_next_token(get_next_token(get_first_token(s.c_str())));
    EXPECT_EQ(get_token(), TOK_STRING);
    EXPECT_EQ(tokenizer.ident_len, TOKEN_IDENT_BYTES - 1);
    EXPECT_EQ(count_tokens(s.c_str()), 3);
    // unclosed long brackets run to the end of the text
    s = "a = [[" + std::string(1000, '[');
    EXPECT_EQ(count_tokens(s.c_str()), 3);
    // 10,000 nested brackets: one token each, no recursion
    s = std::string(10000, '(') + std::string(10000, ')');
    EXPECT_EQ(count_tokens(s.c_str()), 10000);
    s = std::string(20000, '[');
    EXPECT_EQ(count_tokens(s.c_str()), 1); // one unclosed long bracket
    // a backslash at the very end of an unclosed string
    EXPECT_EQ(count_tokens("s = 'abc\\"), 3);
}

TEST_F(TokenCount, TheVmWalkReadsLongBracketsAsTheVmDoes) {
    auto tokens = [](const char *text) {
        std::vector<int32_t> t;
        for (const char *p = get_first_token_vm(text); get_token() != TOK_EOF; p = get_next_token(p))
            t.push_back(get_token());
        return t;
    };
    using v = std::vector<int32_t>;
    // levels, and the first closer of the level ends it: no nesting
    EXPECT_EQ(tokens("[=[ ]] [[ ]=] x"), (v{TOK_STRING, TOK_NAME}));
    EXPECT_EQ(tokens("[[ [[ ]] x ]]"), (v{TOK_STRING, TOK_NAME, ']', ']'}));
    EXPECT_EQ(tokens("--[==[ ]=] \n ]==] x"), (v{TOK_COMMENT, TOK_NAME}));
    EXPECT_EQ(tokens("[=x"), (v{'[', '=', TOK_NAME}));
    EXPECT_EQ(tokens("--[= x\ny"), (v{TOK_COMMENT, TOK_NEWLINE, TOK_NAME}));
    // unclosed: a string runs to the end of the text, a comment to its line's end
    EXPECT_EQ(tokens("[==[ ]=]\nx"), (v{TOK_STRING}));
    EXPECT_EQ(tokens("--[==[ a\nx --[=[ \ny ]=] z"),
              (v{TOK_COMMENT, TOK_NEWLINE, TOK_NAME, TOK_COMMENT, TOK_NAME}));
    const char *level1 = "[=[a]]]=]b";
    EXPECT_EQ(long_bracket_level(level1), 1);
    EXPECT_EQ(find_long_bracket_end(level1), level1 + 9);
    EXPECT_EQ(find_long_bracket_end("[=[ ]==]"), nullptr);
    EXPECT_EQ(long_bracket_level("[= ["), -1);
}
