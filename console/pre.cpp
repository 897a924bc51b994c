// Console runtime: the source preprocessor and the include flattener.
//
// A line is the run of tokens up to and including a newline token, so a long
// string or comment that spans newlines belongs to the line it starts on.
// The rewrites work on the line's text with a mask that marks string bytes;
// every line is followed by as many newlines as it spanned, which keeps the
// VM's line numbers equal to the cart's.
#include "console/pre.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "engine/mem.h"
#include "console/state.h"
#include "console/term.h"
#include "console/token.h"

namespace {

// One source line being rewritten: its text and the string mask (1 inside a string).
struct pre_line {
    std::string text;
    std::vector<char> mask;
    std::string next_text; // the rewrite is built here, then swapped in (keeps capacity)
    std::vector<char> next_mask;
};

// The tokenizer is one global walk: a line's rewrites tokenize its text, so
// the source walk saves its place around them.
struct walk_mark {
    int32_t tok, last_tok, prev_tok;
    const char *start;
    int line;
    walk_mark()
        : tok(tokenizer.tok), last_tok(tokenizer.last_tok), prev_tok(tokenizer.prev_tok),
          start(tokenizer.start), line(tokenizer.line) {}
    ~walk_mark() {
        tokenizer.tok = tok;
        tokenizer.last_tok = last_tok;
        tokenizer.prev_tok = prev_tok;
        tokenizer.start = start;
        tokenizer.line = line;
    }
};

// Marks the bytes of quoted strings and long brackets in s[0, n), reading
// string boundaries as the tokenizer does; s is NUL-terminated at or after n.
void scan_strings(const char *s, size_t n, char *mask) {
    size_t i = 0;
    while (i < n) {
        size_t end = i;
        if (s[i] == '"' || s[i] == '\'') {
            end = i + 1;
            while (end < n && s[end] != '\n' && s[end] != s[i])
                end += (s[end] == '\\' && end + 1 < n) ? 2 : 1;
            if (end < n && s[end] == s[i]) end++;
        } else if (s[i] == '[' && s[i + 1] == '[') {
            const char *e = find_multiline_end(s + i);
            end = e ? static_cast<size_t>(e - s) : n;
            if (end > n) end = n;
        }
        if (end > i) {
            memset(mask + i, 1, end - i);
            i = end;
        } else {
            mask[i++] = 0;
        }
    }
}

void mark_strings(pre_line &l) {
    l.mask.assign(l.text.size(), 0);
    scan_strings(l.text.c_str(), l.text.size(), l.mask.data());
}

// The first occurrence of needle at or after `from` whose bytes are all outside strings.
size_t pstrstr(const pre_line &l, const char *needle, size_t from) {
    size_t len = strlen(needle);
    while (from < l.text.size()) {
        size_t at = l.text.find(needle, from, len);
        if (at == std::string::npos) return at;
        if (!memchr(l.mask.data() + at, 1, len)) return at;
        from = at + 1;
    }
    return std::string::npos;
}

// The compound operators in the order they are tried; the text of each
// without its "=" is the binary operator of the rewrite.
constexpr const char *compound_ops[] = {"+=",  "-=",   "*=",   "/=",  "%=",   "\\=", "&=", "|=",
                                        "^^=", "<<>=", ">><=", "<<=", ">>>=", ">>=", "^=", "..="};
constexpr int COMPOUND_OPS = sizeof compound_ops / sizeof compound_ops[0];

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Start of the assignment target that ends before op_at: names, "." and
// ":", and bracketed groups (t[i].n, a:b, f(x).y).
size_t target_start(const pre_line &l, size_t op_at, size_t *target_end) {
    const std::string &s = l.text;
    size_t i = op_at;
    while (i > 0 && is_blank(s[i - 1])) i--;
    *target_end = i;
    while (i > 0) {
        unsigned char c = static_cast<unsigned char>(s[i - 1]);
        if (l.mask[i - 1]) break;
        if (is_alphanum(c) || c == '.' || c == ':') {
            i--;
        } else if (c == ')' || c == ']') {
            size_t j = i - 1;
            int depth = 0;
            for (;;) {
                if (!l.mask[j]) {
                    if (s[j] == ')' || s[j] == ']') depth++;
                    if (s[j] == '(' || s[j] == '[') depth--;
                }
                if (depth == 0 || j == 0) break;
                j--;
            }
            if (depth != 0) break; // no opener: the group is not part of a target
            i = j;
        } else {
            break;
        }
    }
    while (i < *target_end && !is_identifier_char(static_cast<unsigned char>(s[i]))) i++;
    return i;
}

bool is_expression_operator(int32_t t) {
    switch (t) {
    case '#':
    case '$':
    case '%':
    case '&':
    case '*':
    case '+':
    case '-':
    case '.':
    case '/':
    case ':':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '|':
    case '~':
    case '@':
    case TOK_NOT:
    case TOK_AND:
    case TOK_OR:
    case TOK_LE:
    case TOK_GE:
    case TOK_NE:
    case TOK_EQ:
    case TOK_CONCAT:
    case TOK_SHL:
    case TOK_SHR:
    case TOK_LSHR:
    case TOK_ROTL:
    case TOK_ROTR:
    case TOK_XOR: return true;
    default: return false;
    }
}

// End of the expression that starts at `from` (just after a compound operator).
size_t expression_end(const pre_line &l, size_t from) {
    const char *base = l.text.c_str();
    tokenizer.tok = TOK_COMPOUND; // the expression follows the operator
    const char *p = base + from;
    size_t end = from;
    bool after_operand = false;
    int depth = 0;
    for (;;) {
        const char *q = get_next_token(p);
        int32_t t = tokenizer.tok;
        if (t == TOK_EOF || t == TOK_NEWLINE) break;
        bool opener = t == '(' || t == '[' || t == '{';
        bool closer = t == ')' || t == ']' || t == '}';
        if (depth > 0) {
            depth += opener ? 1 : closer ? -1 : 0;
            if (depth == 0) after_operand = true;
        } else if (opener) {
            depth = 1;
        } else if (closer) {
            break;
        } else if (is_expression_operator(t)) {
            after_operand = false;
        } else if (t == TOK_STRING) {
            after_operand = true;
        } else {
            if (after_operand) break;
            after_operand = true;
        }
        end = static_cast<size_t>(q - base);
        p = q;
    }
    return end;
}

// Rewrites the first compound assignment found; false when there is none.
// resume[k]: no operator k stands outside strings before that position.
bool rewrite_compound(pre_line &l, size_t resume[COMPOUND_OPS]) {
    for (int k = 0; k < COMPOUND_OPS; k++) {
        size_t at = pstrstr(l, compound_ops[k], resume[k]);
        if (at == std::string::npos) {
            resume[k] = l.text.size();
            continue;
        }
        size_t oplen = strlen(compound_ops[k]);
        size_t tend = 0;
        size_t tstart = target_start(l, at, &tend);
        size_t eend = expression_end(l, at + oplen);
        size_t rest = l.text.size() - eend;
        std::string &r = l.next_text;
        r.clear();
        r.append(l.text, 0, tend);
        r += " = ";
        r.append(l.text, tstart, tend - tstart);
        r += ' ';
        r.append(compound_ops[k], oplen - 1);
        r += " (";
        r.append(l.text, at + oplen, eend - (at + oplen));
        r += ") ";
        r.append(l.text, eend, rest);
        // The mask of the new text: the prefix is unchanged, the rewritten
        // part is scanned from the last byte before it outside strings, and
        // the rest (which starts outside strings) keeps its old marks.
        size_t from = tstart;
        while (from > 0 && l.mask[from - 1]) from--;
        size_t seg_end = r.size() - rest;
        std::vector<char> &m = l.next_mask;
        m.resize(r.size());
        memcpy(m.data(), l.mask.data(), from);
        scan_strings(r.c_str() + from, seg_end - from, m.data() + from);
        memcpy(m.data() + seg_end, l.mask.data() + eend, rest);
        l.text.swap(r);
        l.mask.swap(m);
        // nothing before the target changed: earlier operators found none
        // there, later ones none before their own resume point
        for (int j = 0; j < COMPOUND_OPS; j++)
            if (j <= k || resume[j] > from) resume[j] = from;
        return true;
    }
    return false;
}

// The one-line "if (cond) stmt" and "while (cond) stmt" forms.
bool rewrite_one_line(pre_line &l, bool has_then, bool has_do, bool print_line) {
    const std::string &s = l.text;
    const char *word = nullptr;
    size_t at = std::string::npos;
    auto earlier = [&](const char *a, const char *b) {
        size_t x = pstrstr(l, a, 0), y = pstrstr(l, b, 0);
        return x < y ? x : y;
    };
    if (!has_then) {
        at = earlier("if(", "if ");
        word = "then";
    }
    if (at == std::string::npos && !has_do) {
        at = earlier("while(", "while ");
        word = "do";
    }
    if (at == std::string::npos) return false;
    if (at > 0 && !is_blank(s[at - 1])) return false;
    size_t i = at + (s[at] == 'i' ? 2 : 5);
    while (i < s.size() && is_blank(s[i])) i++;
    if (i >= s.size() || s[i] != '(') return false;
    int depth = 0;
    for (; i < s.size(); i++) {
        if (l.mask[i]) continue;
        if (s[i] == '(') depth++;
        if (s[i] == ')' && --depth == 0) break;
    }
    if (i >= s.size()) return false; // the line ends inside the condition
    size_t close = i + 1;
    size_t j = close;
    while (j < s.size() && is_blank(s[j])) j++;
    if (j >= s.size()) return false;
    unsigned char c = static_cast<unsigned char>(s[j]);
    if (!(is_identifier_char(c) || c == ';')) return false;
    if (is_identifier_char(c)) {
        walk_mark mark;
        get_first_token(s.c_str() + j);
        if (tokenizer.tok == TOK_AND || tokenizer.tok == TOK_OR) return false;
    }
    std::string r = s.substr(0, close);
    r += ' ';
    r += word;
    r += ' ';
    r.append(s, close, std::string::npos);
    r += print_line ? ") end " : " end ";
    l.text.swap(r);
    return true;
}

int count_newlines(const char *s, const char *e) {
    int n = 0;
    for (; s < e; s++) n += *s == '\n';
    return n;
}

// Rewrites one gathered line and appends it with its newlines.
void finish_line(pre_line &l, bool has_then, bool has_do, bool print_line, int newlines,
                 std::string &out) {
    int inside = count_newlines(l.text.data(), l.text.data() + l.text.size());
    mark_strings(l);
    for (size_t at = pstrstr(l, "!=", 0); at != std::string::npos; at = pstrstr(l, "!=", at + 2))
        l.text[at] = '~';
    size_t resume[COMPOUND_OPS] = {};
    {
        walk_mark mark;
        while (rewrite_compound(l, resume)) {}
        if (!rewrite_one_line(l, has_then, has_do, print_line) && print_line) l.text += ')';
    }
    out += l.text;
    // A target holding a multi-line string is written twice; its extra
    // newlines come off the line's own, so the lines after it stay in place.
    int extra = count_newlines(l.text.data(), l.text.data() + l.text.size()) - inside;
    if (newlines > extra)
        out.append(static_cast<size_t>(newlines - extra), '\n');
    else if (newlines > 0)
        out += ' '; // the next line still needs its separator
}

} // namespace

void zibo6_preprocess(const char *source, std::string &out) {
    if (!source) return;
    const char *p = get_first_token(source);
    const char *prev = source;
    pre_line l;
    while (tokenizer.tok != TOK_EOF) {
        // gather one line: the buffers grow with it, so no line is cut in
        // pieces (a rewrite across a cut would break the code)
        l.text.clear();
        bool has_then = false, has_do = false, print_line = false;
        int newlines = 0;
        while (tokenizer.tok != TOK_EOF) {
            int32_t t = tokenizer.tok;
            if (t == TOK_NEWLINE) {
                newlines++;
                prev = p;
                p = get_next_token(p);
                break;
            }
            if (t == TOK_COMMENT) {
                newlines += count_newlines(prev, p);
                l.text += ' '; // a comment separates what stands around it
            } else if (t == '?') {
                l.text.append(prev, tokenizer.start);
                l.text += " print(";
                print_line = true;
            } else {
                l.text.append(prev, p);
                if (t == TOK_NUMBER) l.text += ' ';
                has_then = has_then || t == TOK_THEN;
                has_do = has_do || t == TOK_DO;
            }
            prev = p;
            p = get_next_token(p);
        }
        finish_line(l, has_then, has_do, print_line, newlines, out);
    }
}

int zibo6_flatten_includes(const char *source, std::string &out) {
    out.clear();
    if (!source) return 0;
    bool line_start = true;
    for (const char *p = get_first_token(source); tokenizer.tok != TOK_EOF;) {
        if (line_start && tokenizer.tok == TOK_INCLUDE) {
            zibo_print_col("can not #include", 6);
            out.clear();
            return 1;
        }
        line_start = tokenizer.tok == TOK_NEWLINE;
        p = get_next_token(p);
    }
    out = source;
    return 0;
}

int last_included_files() { return 0; }
int included_start(int) { return 0; }
int included_end(int) { return 0; }
const char *included_name(int) { return nullptr; }

int get_include_filename(const char *text, char *path_out, int *tab_out, char *name_out) {
    while (is_blank(*text)) text++;
    size_t n = strlen(text);
    while (n > 0 && (is_blank(text[n - 1]) || text[n - 1] == '\r' || text[n - 1] == '\n')) n--;
    if (n > 255) n = 255;
    memcpy(name_out, text, n);
    name_out[n] = '\0';
    *tab_out = -1;
    char *colon = strrchr(name_out, ':');
    if (colon && colon[1] >= '0' && colon[1] <= '9') {
        *tab_out = atoi(colon + 1);
        *colon = '\0';
    }
    int len;
    if (name_out[0] == '/')
        len = snprintf(path_out, Z6_PATH_LEN, "%s%s", pstate.root_path, name_out);
    else
        len = snprintf(path_out, Z6_PATH_LEN, "%s/%s/%s", pstate.root_path, pstate.current_folder,
                       name_out);
    return len < 0 || len >= Z6_PATH_LEN;
}

const char *find_tab_content(const char *code, int tab, int *length_out) {
    static const char marker[] = "\n-->8\n";
    const size_t marker_len = sizeof marker - 1;
    if (!code || tab < 0) return nullptr;
    const char *start = code;
    for (int i = 0; i < tab; i++) {
        const char *m = strstr(start, marker);
        if (!m) return nullptr;
        start = m + marker_len;
    }
    const char *end = strstr(start, marker);
    *length_out = static_cast<int>(end ? end - start : static_cast<ptrdiff_t>(strlen(start)));
    return start;
}

char *load_included_text(const char *path, int tab) {
    // A ".lua" name is plain text even when the cart readers would take it.
    zibo6_cart *cart = has_final_extension(path, ".lua") ? nullptr : load_zibo6_cart_any_format(path);
    int reader_newlines = 0;
    if (!cart) {
        cart = load_zibo6_cart_lua(path);
        reader_newlines = 2; // the plain-text reader ends the code with two
    }
    if (!cart) return nullptr;
    const char *text = cart->code ? cart->code : "";
    int len = static_cast<int>(strlen(text));
    for (; reader_newlines > 0 && len > 0 && text[len - 1] == '\n'; reader_newlines--) len--;
    if (tab >= 0) {
        text = find_tab_content(text, tab, &len);
        if (!text) {
            zibo_print_2("could not find tab %d", tab, 0);
            vull_destroy_zibo6_cart(cart);
            return nullptr;
        }
    }
    char *out = static_cast<char *>(vull_malloc(len + 2));
    if (out) {
        memcpy(out, text, static_cast<size_t>(len));
        out[len] = '\n';
        out[len + 1] = '\0';
    }
    vull_destroy_zibo6_cart(cart);
    return out;
}
