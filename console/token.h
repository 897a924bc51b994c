// Console runtime: the cart code tokenizer, the keyword table, the recorded API
// names and the token count.  Independent of the VM's lexer: this is the
// console's own count, and the walk the preprocessor copies text by.
#pragma once
#include <cstdint>

// Token codes; any other code is a single character, its byte value.
enum : int32_t {
    TOK_EOF = -1000,
    TOK_NEWLINE = -999,
    TOK_NAME = -998,
    TOK_NUMBER = -997,
    TOK_STRING = -996, // quoted or long bracket
    TOK_COMMENT = -995,
    TOK_FUNCTION = -993,
    TOK_END = -992,
    TOK_FOR = -991,
    TOK_IF = -990,
    TOK_THEN = -989,
    TOK_ELSE = -988,
    TOK_ELSEIF = -987,
    TOK_WHILE = -986,
    TOK_DO = -985,
    TOK_IN = -984,
    TOK_LOCAL = -983,
    TOK_RETURN = -982,
    TOK_REPEAT = -981,
    TOK_UNTIL = -980,
    TOK_GOTO = -979,
    TOK_BREAK = -978,
    TOK_BUILTIN = -977, // foreach, all, menuitem, pairs, ipairs and the recorded API names
    TOK_NOT = -974,
    TOK_AND = -973,
    TOK_OR = -972,
    TOK_LE = -970,
    TOK_GE = -969,
    TOK_SIGNED_SPARE = -968, // in the signed-number context list; no token has it
    TOK_NE = -967,           // ~= or !=
    TOK_EQ = -966,
    TOK_COMPOUND = -965, // += -= *= /= \= %= &= |= <<= >>= ^^= >>>=
    TOK_CONCAT = -964,
    TOK_LITERAL = -963, // true, false, nil
    TOK_INCLUDE = -962, // a whole "#include " line
    TOK_DOTS = -961,
    TOK_LABEL = -960, // ::
    TOK_SHL = -958,
    TOK_SHR = -957,
    TOK_LSHR = -956,
    TOK_ROTL = -955,
    TOK_ROTR = -954,
    TOK_XOR = -953, // ^^
};

constexpr int KEYWORD_HASH_SLOTS = 8192;
constexpr int KEYWORD_NAME_BYTES = 16; // at most 15 characters and the terminator
constexpr int keyword_hash_start_index = 1661;
constexpr int API_FUNCTION_NAME_SLOTS = 256;
constexpr int API_FUNCTION_NAME_BYTES = 64;
constexpr int TOKEN_IDENT_BYTES = 65536;

// Code limits of a cart: characters after include flattening, tokens by count_tokens.
constexpr int ZIBO6_CODE_CHAR_LIMIT = 65536;
constexpr int ZIBO6_CODE_TOKEN_LIMIT = 8192;

struct keyword_slot {
    char name[KEYWORD_NAME_BYTES]; // the keyword or API name
    int32_t code;                  // its token code; 0 for an empty slot
};
static_assert(sizeof(keyword_slot) == 20, "keyword slots are 20 bytes");

extern keyword_slot keyword_hash_table[KEYWORD_HASH_SLOTS];

// The recorded API names: the API registration fills them, the keyword table
// gives them the built-in token class.
extern char api_function_name[API_FUNCTION_NAME_SLOTS][API_FUNCTION_NAME_BYTES];
extern int api_function_names;
void init_api_function_names();
// Appends one name; returns 0, or -1 when the table is full or the name does not fit.
int add_api_function_name(const char *name);

// The tokenizer's state after each read.
struct token_state {
    int32_t tok;                   // the current token's code
    int32_t last_tok;              // the previous code, skipping newlines and comments
    int32_t prev_tok;              // the previous code, newlines and comments included
    char ident[TOKEN_IDENT_BYTES]; // text of the current name, number or string (cut to fit)
    int ident_len;                 // bytes in ident
    const char *start;             // where the current token's text begins
    int line;                      // raised at each newline token
    int vm_brackets;               // 1: long brackets as the VM reads them (levels, no nesting)
};
extern token_state tokenizer;

// Clears the table and adds the keywords and the recorded API names; a slot
// taken twice is a fatal collision (printed, logged, exit status 1).
void init_keyword_hash_table(int start);
// Adds one name; returns 0, or 1 when its slot is taken (nothing changes then).
int add_to_keyword_hash_table(const char *name, int32_t code);
// The slot a name hashes to.
int keyword_hash(const char *name);
// Fills in the text of the slot that made the last add fail ("a b"); empty when none.
const char *keyword_hash_last_collision();

// The walk: each returns the position after the token read.  A position that
// did not move is moved on by one byte unless the text ended.
// get_first_token reads long brackets by the count's rules ("[[" only, nested
// pairs counted); get_first_token_vm as the VM's lexer does ("[=*[" to the
// "]=*]" of the same level, no nesting), for walks that must not touch what
// the VM takes as a string or comment.  Either way an unclosed long string
// runs to the end of the text and an unclosed long comment to its line's end.
const char *get_first_token(const char *text);
const char *get_first_token_vm(const char *text);
const char *get_next_token(const char *position);
int32_t get_token();
const char *get_token_ident();
int32_t get_last_token();

int count_tokens(const char *text);
int is_free_token(int32_t code);
int get_token_color();
// Position after the "]]" that closes the "[[" at position (nested pairs counted), or null.
const char *find_multiline_end(const char *position);
// The level of the VM's long bracket "[=*[" at position (the count of '='), or -1.
int long_bracket_level(const char *position);
// Position after the "]=*]" of that level that closes the long bracket at
// position, as the VM reads it; null when there is none.
const char *find_long_bracket_end(const char *position);

int is_identifier_char(int c); // a name may start with c (0 above 255)
int is_alphanum(int c);        // a name may continue with c (0 above 255)
