// Console runtime: the cart code tokenizer and the token count.
//
// The walk never looks behind the current position and never reads past the
// terminating NUL, so any byte string is safe to feed it; token texts longer
// than the ident buffer are cut there (the count never depends on them).
#include "console/token.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <unordered_map>
#include <cstdlib>
#include <cstring>

#include "engine/vull.h"

keyword_slot keyword_hash_table[KEYWORD_HASH_SLOTS];
static bool keyword_table_written; // a name went in since the table was last cleared
char api_function_name[API_FUNCTION_NAME_SLOTS][API_FUNCTION_NAME_BYTES];
int api_function_names = 0;
token_state tokenizer;

namespace {

using char_table = std::array<uint8_t, 256>;

constexpr char_table make_class(bool digits) {
    char_table t{};
    for (int c = 0; c < 256; c++) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        t[c] = letter || c == 0x1e || c == 0x1f || c >= 0x80 || (digits && c >= '0' && c <= '9');
    }
    return t;
}
constexpr char_table name_start = make_class(false);
// The blanks between tokens: backspace, tab, carriage return and space.
constexpr char_table make_blanks() {
    char_table t{};
    t[8] = t[9] = t[13] = t[32] = 1;
    return t;
}
constexpr char_table blank = make_blanks();
constexpr char_table name_rest = make_class(true);

struct keyword_def {
    const char *name;
    int32_t code;
};
// The insertion order is part of the table's identity: a collision names the
// earlier entry, so the order stays as the machine defines it.
constexpr keyword_def keywords[] = {
    {"function", TOK_FUNCTION},
    {"end", TOK_END},
    {"for", TOK_FOR},
    {"if", TOK_IF},
    {"then", TOK_THEN},
    {"else", TOK_ELSE},
    {"elseif", TOK_ELSEIF},
    {"while", TOK_WHILE},
    {"not", TOK_NOT},
    {"and", TOK_AND},
    {"or", TOK_OR},
    {"do", TOK_DO},
    {"local", TOK_LOCAL},
    {"return", TOK_RETURN},
    {"repeat", TOK_REPEAT},
    {"until", TOK_UNTIL},
    {"goto", TOK_GOTO},
    {"break", TOK_BREAK},
    {"true", TOK_LITERAL},
    {"false", TOK_LITERAL},
    {"nil", TOK_LITERAL},
    {"in", TOK_IN},
    {"foreach", TOK_BUILTIN},
    {"all", TOK_BUILTIN},
    {"menuitem", TOK_BUILTIN},
    {"pairs", TOK_BUILTIN},
    {"ipairs", TOK_BUILTIN},
};

struct operator_def {
    const char *text;
    int len;
    int32_t code;
};
// Longest first within each leading character; the first match wins.
constexpr operator_def operators[] = {
    {"...", 3, TOK_DOTS},     {"..", 2, TOK_CONCAT},    {">>>=", 4, TOK_COMPOUND},
    {">>>", 3, TOK_LSHR},     {">>=", 3, TOK_COMPOUND}, {">><", 3, TOK_ROTR},
    {">>", 2, TOK_SHR},       {">=", 2, TOK_GE},        {"<<=", 3, TOK_COMPOUND},
    {"<<>", 3, TOK_ROTL},     {"<<", 2, TOK_SHL},       {"<=", 2, TOK_LE},
    {"^^=", 3, TOK_COMPOUND}, {"^^", 2, TOK_XOR},       {"::", 2, TOK_LABEL},
    {"~=", 2, TOK_NE},        {"!=", 2, TOK_NE},        {"==", 2, TOK_EQ},
    {"+=", 2, TOK_COMPOUND},  {"-=", 2, TOK_COMPOUND},  {"*=", 2, TOK_COMPOUND},
    {"/=", 2, TOK_COMPOUND},  {"\\=", 2, TOK_COMPOUND}, {"%=", 2, TOK_COMPOUND},
    {"&=", 2, TOK_COMPOUND},  {"|=", 2, TOK_COMPOUND},
};

// Whether a byte leads any operator above: most punctuation ("(", ")", ",")
// leads none and skips the search.
constexpr char_table make_operator_leads() {
    char_table t{};
    for (const operator_def &op : operators) t[static_cast<unsigned char>(op.text[0])] = 1;
    return t;
}
constexpr char_table operator_leads = make_operator_leads();

bool keyword_table_built = false;
int keyword_table_names = 0; // the built-in names the table was built with
int hash_start = keyword_hash_start_index;
char last_collision[2 * KEYWORD_NAME_BYTES + 2];

inline uint32_t hash_step(uint32_t h, unsigned char c) { return ((c * h) & 0x1fff) ^ 0x1c62; }

inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool is_hex(unsigned char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline bool starts_number(const char *p) {
    return is_digit(p[0]) || (p[0] == '.' && is_digit(p[1]));
}

// A "-" or "~" before a number is its sign only where an operand is expected.
bool in_signed_context(int32_t t) {
    switch (t) {
    case '(':
    case '{':
    case '[':
    case ',':
    case '?':
    case '~':
    case '*':
    case '/':
    case '+':
    case '-':
    case '^':
    case '%':
    case '<':
    case '>':
    case '=':
    case TOK_LE:
    case TOK_GE:
    case TOK_SIGNED_SPARE:
    case TOK_NE:
    case TOK_EQ:
    case TOK_COMPOUND:
    case TOK_NOT:
    case TOK_AND:
    case TOK_OR:
    case TOK_IF:
    case TOK_ELSEIF:
    case TOK_WHILE:
    case TOK_UNTIL:
    case TOK_RETURN: return true;
    default: return false;
    }
}

// Position after the "]=*]" of the given level, searching from s, or null.
// Every ']' is looked at, so the closers found do not depend on where the
// search starts.
const char *find_long_close(const char *s, ptrdiff_t level) {
    for (const char *p = strchr(s, ']'); p; p = strchr(p, ']')) {
        const char *q = p + 1;
        while (*q == '=') q++;
        if (*q == ']' && q - p - 1 == level) return q + 1;
        p = q;
    }
    return nullptr;
}

// After one search for a long comment's closer failed, where the last closer
// of each level starts from there on: a text of many unclosed long comments
// is then read once, not once per comment.  Reset at the start of each walk.
struct closer_index {
    const char *from = nullptr, *end = nullptr; // the indexed part of the text
    std::unordered_map<ptrdiff_t, const char *> last;
};
closer_index closers;

void index_closers(const char *from) {
    closers.last.clear();
    const char *p = strchr(from, ']');
    for (; p; p = strchr(p, ']')) {
        const char *q = p + 1;
        while (*q == '=') q++;
        if (*q == ']') closers.last[q - p - 1] = p;
        p = q;
    }
    closers.from = from;
    closers.end = from + strlen(from);
}

// End of the VM's long comment whose bracket (level `level`) opens at `open`; null when unclosed.
const char *long_comment_end(const char *open, ptrdiff_t level) {
    const char *body = open + level + 2;
    if (closers.from && closers.from <= body && body <= closers.end) {
        auto it = closers.last.find(level);
        if (it == closers.last.end() || it->second < body) return nullptr;
        return find_long_close(body, level);
    }
    const char *e = find_long_close(body, level);
    if (!e) index_closers(body);
    return e;
}

const char *line_end(const char *p) {
    while (*p && *p != '\n') p++;
    return p;
}

void set_ident(const char *s, const char *e) {
    size_t n = static_cast<size_t>(e - s);
    if (n > TOKEN_IDENT_BYTES - 1) n = TOKEN_IDENT_BYTES - 1;
    memcpy(tokenizer.ident, s, n);
    tokenizer.ident[n] = '\0';
    tokenizer.ident_len = static_cast<int>(n);
}

const char *read_number(const char *q) {
    if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) {
        q += 2;
        while (is_hex(*q) || *q == '.') q++;
    } else if (q[0] == '0' && (q[1] == 'b' || q[1] == 'B')) {
        q += 2;
        while (*q == '0' || *q == '1' || *q == '.') q++;
    } else {
        while (is_digit(*q) || *q == '.') q++;
    }
    return q;
}

// Reads one token at p; returns the position after it.
const char *read_token(const char *p) {
    token_state &t = tokenizer;
    t.prev_tok = t.tok;
    if (t.tok != TOK_NEWLINE && t.tok != TOK_COMMENT) t.last_tok = t.tok;
    t.ident[0] = '\0';
    t.ident_len = 0;

    while (blank[static_cast<unsigned char>(*p)]) p++;
    t.start = p;
    unsigned char c = static_cast<unsigned char>(*p);
    // Names first, the commonest token; none of the cases below starts with a name byte.
    if (name_start[c]) {
        uint32_t h = static_cast<uint32_t>(hash_start);
        const char *e = p;
        while (name_rest[static_cast<unsigned char>(*e)]) h = hash_step(h, *e++);
        set_ident(p, e);
        t.tok = TOK_NAME;
        size_t len = static_cast<size_t>(e - p);
        if (t.prev_tok != '.' && t.prev_tok != ':' && len < KEYWORD_NAME_BYTES) {
            const keyword_slot &s = keyword_hash_table[h];
            if (s.code != 0 && memcmp(s.name, p, len) == 0 && s.name[len] == '\0') t.tok = s.code;
        }
        return e;
    }
    if (c == 0) {
        t.tok = TOK_EOF;
        return p;
    }
    if ((c == '-' && p[1] == '-') || (c == '/' && p[1] == '/')) {
        t.tok = TOK_COMMENT;
        if (t.vm_brackets) {
            int level = c == '-' ? long_bracket_level(p + 2) : -1;
            if (level >= 0) {
                const char *e = long_comment_end(p + 2, level);
                if (e) return e;
            }
        } else if (c == '-' && p[2] == '[' && p[3] == '[') {
            const char *e = find_multiline_end(p + 2);
            if (e) return e;
        }
        return line_end(p); // an unclosed long comment ends with its line
    }
    if ((c == '-' || c == '~') && starts_number(p + 1) && in_signed_context(t.last_tok)) {
        const char *e = read_number(p + 1);
        set_ident(p, e);
        t.tok = TOK_NUMBER;
        return e;
    }
    if (starts_number(p)) {
        const char *e = read_number(p);
        set_ident(p, e);
        t.tok = TOK_NUMBER;
        return e;
    }
    if (t.vm_brackets && c == '[' && long_bracket_level(p) >= 0) {
        const char *e = find_long_bracket_end(p);
        if (!e) e = p + strlen(p); // unclosed: the rest of the text
        set_ident(p, e);
        t.tok = TOK_STRING;
        return e;
    }
    if (!t.vm_brackets && c == '[' && p[1] == '[') {
        const char *e = find_multiline_end(p);
        if (!e) e = p + strlen(p); // unclosed: the rest of the text
        set_ident(p, e);
        t.tok = TOK_STRING;
        return e;
    }
    if (c == '"' || c == '\'') {
        const char *e = p + 1;
        while (*e && *e != '\n' && *e != static_cast<char>(c)) e += (*e == '\\' && e[1]) ? 2 : 1;
        if (*e == static_cast<char>(c)) e++;
        set_ident(p, e);
        t.tok = TOK_STRING;
        return e;
    }
    if (c == '\n') {
        t.tok = TOK_NEWLINE;
        t.line++;
        return p + 1;
    }
    if (c == '#' && strncmp(p, "#include ", 9) == 0) {
        t.tok = TOK_INCLUDE;
        return line_end(p);
    }
    if (operator_leads[c]) {
        for (const operator_def &op : operators) {
            if (op.text[0] == static_cast<char>(c) && strncmp(p, op.text, op.len) == 0) {
                t.tok = op.code;
                return p + op.len;
            }
        }
    }
    t.tok = c;
    return p + 1;
}

} // namespace

// Every new VM records the same built-in names again: the table is rebuilt
// only when the names differ from those it holds.
void init_api_function_names() { api_function_names = 0; }

int add_api_function_name(const char *name) {
    if (api_function_names >= API_FUNCTION_NAME_SLOTS) return -1;
    size_t n = strlen(name);
    if (n >= API_FUNCTION_NAME_BYTES) return -1;
    char *slot = api_function_name[api_function_names];
    if (api_function_names >= keyword_table_names || strcmp(slot, name) != 0)
        keyword_table_built = false; // the built-in names change: rebuild on next use
    memcpy(slot, name, n + 1);
    api_function_names++;
    return 0;
}

int keyword_hash(const char *name) {
    uint32_t h = static_cast<uint32_t>(hash_start);
    for (const char *p = name; *p; p++) h = hash_step(h, static_cast<unsigned char>(*p));
    return static_cast<int>(h & (KEYWORD_HASH_SLOTS - 1));
}

const char *keyword_hash_last_collision() { return last_collision; }

int add_to_keyword_hash_table(const char *name, int32_t code) {
    if (strlen(name) >= KEYWORD_NAME_BYTES) return 0; // can never match a name read
    keyword_slot &s = keyword_hash_table[keyword_hash(name)];
    if (s.code != 0) {
        snprintf(last_collision, sizeof last_collision, "%s %s", s.name, name);
        return 1;
    }
    keyword_table_written = true;
    strcpy(s.name, name);
    s.code = code;
    return 0;
}

void init_keyword_hash_table(int start) {
    hash_start = start;
    // Until a name is added the table is as the program started, all zero:
    // clearing it then would only bring in its pages.
    if (keyword_table_written) memset(keyword_hash_table, 0, sizeof keyword_hash_table);
    keyword_table_written = false;
    last_collision[0] = '\0';
    bool failed = false;
    for (const keyword_def &k : keywords)
        failed = failed || add_to_keyword_hash_table(k.name, k.code);
    for (int i = 0; i < api_function_names && !failed; i++)
        if (strlen(api_function_name[i]) < KEYWORD_NAME_BYTES)
            failed = add_to_keyword_hash_table(api_function_name[i], TOK_BUILTIN);
    if (failed) {
        // Only a change of the API's names can get here, and a unit test guards them.
        printf("keyword hash collision: %s\n", last_collision);
        vull_debugf("keyword hash collision: %s\n", last_collision);
        exit(1);
    }
    keyword_table_built = true;
    keyword_table_names = api_function_names;
}

static const char *first_token(const char *text, int vm_brackets) {
    if (!keyword_table_built || api_function_names != keyword_table_names)
        init_keyword_hash_table(keyword_hash_start_index);
    if (!text) text = "";
    tokenizer.tok = 0;
    tokenizer.last_tok = 0;
    tokenizer.line = 1;
    tokenizer.vm_brackets = vm_brackets;
    closers = closer_index{};
    return get_next_token(text);
}

const char *get_first_token(const char *text) { return first_token(text, 0); }
const char *get_first_token_vm(const char *text) { return first_token(text, 1); }

const char *get_next_token(const char *position) {
    const char *q = read_token(position);
    if (q == position && *position) q = position + 1; // every walk makes progress
    return q;
}

int32_t get_token() { return tokenizer.tok; }
const char *get_token_ident() { return tokenizer.ident; }
int32_t get_last_token() { return tokenizer.last_tok; }

int is_free_token(int32_t code) {
    switch (code) {
    case TOK_EOF:
    case TOK_NEWLINE:
    case TOK_COMMENT:
    case TOK_END:
    case TOK_LOCAL:
    case TOK_INCLUDE:
    case TOK_LABEL:
    case ')':
    case ']':
    case '}':
    case ',':
    case '.':
    case ':':
    case ';': return 1;
    default: return 0;
    }
}

int count_tokens(const char *text) {
    int n = 0;
    for (const char *p = get_first_token(text); tokenizer.tok != TOK_EOF; p = get_next_token(p))
        n += !is_free_token(tokenizer.tok);
    return n;
}

int get_token_color() {
    int32_t t = tokenizer.tok;
    if (t == TOK_BUILTIN) return 11;
    if (t == TOK_INCLUDE) return 9;
    if (t == TOK_COMMENT) return 13;
    if (t == TOK_STRING || t == TOK_NUMBER || t == TOK_LITERAL) return 12;
    if ((t >= -994 && t <= -976) || t == TOK_NOT || t == TOK_AND || t == TOK_OR) return 14;
    if (t == TOK_NAME || t == TOK_NEWLINE || t == TOK_EOF) return 6;
    return 7;
}

const char *find_multiline_end(const char *position) {
    int depth = 0;
    for (const char *p = position; *p;) {
        if (p[0] == '[' && p[1] == '[') {
            depth++;
            p += 2;
        } else if (p[0] == ']' && p[1] == ']') {
            p += 2;
            if (--depth <= 0) return p;
        } else {
            p++;
        }
    }
    return nullptr;
}

int long_bracket_level(const char *position) {
    if (position[0] != '[') return -1;
    const char *q = position + 1;
    while (*q == '=') q++;
    return *q == '[' && q - position - 1 <= INT32_MAX ? int(q - position - 1) : -1;
}

const char *find_long_bracket_end(const char *position) {
    int level = long_bracket_level(position);
    return level < 0 ? nullptr : find_long_close(position + level + 2, level);
}

int is_identifier_char(int c) { return c >= 0 && c < 256 && name_start[c]; }
int is_alphanum(int c) { return c >= 0 && c < 256 && name_rest[c]; }
