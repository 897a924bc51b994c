// Console runtime: the source preprocessor and the include flattener.
//
// A line is the run of tokens up to and including a newline token, so a long
// string or comment that spans newlines belongs to the line it starts on.
// The rewrites work on the line's text with a mask that marks string bytes;
// every line is followed by as many newlines as it spanned, which keeps the
// VM's line numbers equal to the cart's.
#include "console/pre.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "engine/mem.h"
#include "cart/state.h"
#include "console/term.h"
#include "console/token.h"

namespace {

constexpr size_t LINE_LIMIT = 0x20000;    // one line's rewritten text
constexpr size_t PROGRAM_LIMIT = 0x40000; // the whole rewritten program
constexpr uint32_t NONE = UINT32_MAX;

uint64_t work; // bytes written and tokens read by the current preprocess

// One source line being rewritten: its text and the string mask (1 inside a string).
struct pre_line {
    std::string text;
    std::vector<char> mask;
};

// The tokenizer is one global walk: a line's rewrites tokenize its text, so
// the source walk saves its place around them.
struct walk_mark {
    int32_t tok, last_tok, prev_tok;
    const char *start;
    int line, vm_brackets;
    walk_mark()
        : tok(tokenizer.tok), last_tok(tokenizer.last_tok), prev_tok(tokenizer.prev_tok),
          start(tokenizer.start), line(tokenizer.line), vm_brackets(tokenizer.vm_brackets) {}
    ~walk_mark() {
        tokenizer.tok = tok;
        tokenizer.last_tok = last_tok;
        tokenizer.prev_tok = prev_tok;
        tokenizer.start = start;
        tokenizer.line = line;
        tokenizer.vm_brackets = vm_brackets;
    }
};

// Marks the bytes of quoted strings and long brackets in s[0, n), reading
// string boundaries as the VM does; s is NUL-terminated at or after n.
void scan_strings(const char *s, size_t n, char *mask) {
    size_t i = 0;
    while (i < n) {
        // what lies before the next quote or bracket is outside strings
        size_t plain = std::min(strcspn(s + i, "\"'["), n - i);
        memset(mask + i, 0, plain);
        i += plain;
        if (i >= n) break;
        size_t end = i;
        if (s[i] == '"' || s[i] == '\'') {
            end = i + 1;
            while (end < n && s[end] != '\n' && s[end] != s[i])
                end += (s[end] == '\\' && end + 1 < n) ? 2 : 1;
            if (end < n && s[end] == s[i]) end++;
        } else if (s[i] == '[' && long_bracket_level(s + i) >= 0) {
            const char *e = find_long_bracket_end(s + i);
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

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_opener(int32_t t) { return t == '(' || t == '[' || t == '{'; }
bool is_closer(int32_t t) { return t == ')' || t == ']' || t == '}'; }

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

// The text one rewriting pass writes, with its string mask and, for each
// ')' or ']' outside strings, where its '(' or '[' stands: a target is
// found by stepping back over whole groups.
struct pass_out {
    std::string text;
    std::vector<char> mask;
    std::vector<uint32_t> opener; // per byte: the matching opener of a closer, else NONE
    std::vector<uint32_t> open;   // openers not closed yet

    void clear() {
        text.clear();
        mask.clear();
        opener.clear();
        open.clear();
    }
    // Indexes the brackets of the bytes from `at` on.
    void index(size_t at) {
        work += text.size() - at;
        opener.resize(text.size(), NONE);
        for (size_t k = at; k < text.size(); k++) {
            if (mask[k]) continue;
            char c = text[k];
            if (c == '(' || c == '[') {
                open.push_back(static_cast<uint32_t>(k));
            } else if ((c == ')' || c == ']') && !open.empty()) {
                opener[k] = open.back();
                open.pop_back();
            }
        }
    }
    void put(const char *s, const char *m, size_t n) {
        size_t at = text.size();
        text.append(s, n);
        if (m)
            mask.insert(mask.end(), m, m + n);
        else
            mask.resize(at + n, 0);
        index(at);
    }
    void put(const char *s) { put(s, nullptr, strlen(s)); }
    // Appends a copy of text[from, from + n), which holds no string bytes.
    void put_copy(size_t from, size_t n) {
        size_t at = text.size();
        text.reserve(at + n);
        text.append(text.data() + from, n);
        mask.resize(at + n, 0);
        index(at);
    }
    // Drops the blanks at the end, from n on.
    void cut(size_t n) {
        text.resize(n);
        mask.resize(n);
        opener.resize(n);
    }
};

// Start of the assignment target that ends the text written so far: names,
// "." and ":", and bracketed groups (t[i].n, a:b, f(x).y).  Blanks before
// the operator are left out.
size_t target_start(const pass_out &o, size_t *target_end) {
    const std::string &s = o.text;
    size_t i = s.size();
    while (i > 0 && is_blank(s[i - 1])) i--;
    *target_end = i;
    while (i > 0) {
        unsigned char c = static_cast<unsigned char>(s[i - 1]);
        if (o.mask[i - 1]) break;
        if (is_alphanum(c) || c == '.' || c == ':') {
            i--;
        } else if ((c == ')' || c == ']') && o.opener[i - 1] != NONE) {
            i = o.opener[i - 1];
        } else {
            break; // another character, or a group without its opener
        }
    }
    while (i < *target_end && !is_identifier_char(static_cast<unsigned char>(s[i]))) i++;
    return i;
}

// Reads the expressions of one pass from its input text.  The end of each
// group and of the walk from each position are kept, so nested and chained
// operators cost no more than reading the line a few times.
struct expression_reader {
    static constexpr uint32_t UNCLOSED = 0x80000000u;
    const char *base = nullptr;
    std::vector<uint32_t> group_end;   // by opener position: 1 + its end (| UNCLOSED); 0 unknown
    std::vector<uint32_t> end_from[2]; // by position and "after an operand": 1 + the end; 0 unknown
    std::vector<std::pair<uint32_t, int>> visited;
    std::vector<uint32_t> stack;

    void reset(const std::string &text) {
        base = text.c_str();
        group_end.assign(text.size() + 1, 0);
        end_from[0].assign(text.size() + 1, 0);
        end_from[1].assign(text.size() + 1, 0);
    }
    size_t offset(const char *p) const { return static_cast<size_t>(p - base); }

    // The group whose opener starts at `open` and whose inside starts at p:
    // the position after its closer, or after the last token when the line
    // ends inside it (closed false).  Any closer ends any group.
    size_t group(size_t open, const char *p, bool *closed) {
        size_t end = offset(p);
        size_t depth = stack.size();
        stack.push_back(static_cast<uint32_t>(open));
        while (stack.size() > depth) {
            uint32_t known = group_end[stack.back()];
            if (known) { // read before: step over it
                stack.pop_back();
                if (known & UNCLOSED) {
                    end = (known & ~UNCLOSED) - 1;
                    break;
                }
                end = known - 1;
                p = base + end;
                tokenizer.tok = ')';
                continue;
            }
            const char *q = get_next_token(p);
            work++;
            int32_t t = tokenizer.tok;
            if (t == TOK_EOF || t == TOK_NEWLINE) break;
            if (is_opener(t)) {
                stack.push_back(static_cast<uint32_t>(offset(tokenizer.start)));
            } else if (is_closer(t)) {
                group_end[stack.back()] = static_cast<uint32_t>(offset(q)) + 1;
                stack.pop_back();
            }
            end = offset(q);
            p = q;
        }
        *closed = stack.size() <= depth;
        for (size_t k = depth; k < stack.size(); k++)
            group_end[stack[k]] = (static_cast<uint32_t>(end) + 1) | UNCLOSED;
        stack.resize(depth);
        return end;
    }

    // End of the expression that starts at `from`, just after a compound
    // operator: groups are taken whole; a closer without its opener, or an
    // operand right after an operand, ends it (a string never does).
    size_t expression_end(size_t from) {
        tokenizer.tok = TOK_COMPOUND; // the expression follows the operator
        const char *p = base + from;
        size_t end = from;
        bool after_operand = false;
        visited.clear();
        for (;;) {
            size_t at = offset(p);
            if (uint32_t known = end_from[after_operand][at]) {
                end = known - 1;
                break;
            }
            visited.emplace_back(static_cast<uint32_t>(at), after_operand);
            const char *q = get_next_token(p);
            work++;
            int32_t t = tokenizer.tok;
            if (t == TOK_EOF || t == TOK_NEWLINE) break;
            if (is_opener(t)) {
                bool closed = false;
                end = group(offset(tokenizer.start), q, &closed);
                if (!closed) break;
                p = base + end;
                tokenizer.tok = ')';
                after_operand = true;
                continue;
            }
            if (is_closer(t)) break;
            if (is_expression_operator(t)) {
                after_operand = false;
            } else if (t == TOK_STRING) {
                after_operand = true;
            } else {
                if (after_operand) break;
                after_operand = true;
            }
            end = offset(q);
            p = q;
        }
        for (const auto &v : visited) end_from[v.second][v.first] = static_cast<uint32_t>(end) + 1;
        return end;
    }
};

// Rewrites every compound assignment of operator k, left to right: the line
// becomes "%s = %s %s (%s) %s" (the line up to the target's end, the target,
// the operator without its "=", the expression, the rest) once for each.
// A target never holds the operator itself, and an expression that holds it
// ends before the enclosing one does, so one pass over the line finds them
// all in the order a rewrite at a time would.  False when the line grows
// past its limit.
bool rewrite_pass(pre_line &l, int k, pass_out &o, expression_reader &r,
                  std::vector<size_t> &pending) {
    const char *op = compound_ops[k];
    size_t oplen = strlen(op);
    size_t at = pstrstr(l, op, 0);
    if (at == std::string::npos) return true;
    const std::string &in = l.text;
    const char *mask = l.mask.data();
    o.clear();
    r.reset(in);
    pending.clear(); // where the open rewrites' expressions end
    size_t cursor = 0;
    for (;;) {
        while (!pending.empty() && (at == std::string::npos || pending.back() < at + oplen)) {
            o.put(in.data() + cursor, mask + cursor, pending.back() - cursor);
            cursor = pending.back();
            pending.pop_back();
            o.put(") ");
        }
        if (at == std::string::npos) break;
        if (at < cursor) { // broken by a closing bracket put in it
            at = pstrstr(l, op, cursor);
            continue;
        }
        o.put(in.data() + cursor, mask + cursor, at - cursor);
        size_t tend = 0;
        size_t tstart = target_start(o, &tend);
        size_t eend = r.expression_end(at + oplen);
        if (!pending.empty() && eend > pending.back()) eend = pending.back();
        o.cut(tend);
        o.put(" = ");
        o.put_copy(tstart, tend - tstart);
        o.put(" ");
        o.put(op, nullptr, oplen - 1);
        o.put(" (");
        if (o.text.size() > LINE_LIMIT) return false;
        cursor = at + oplen;
        pending.push_back(eend);
        at = pstrstr(l, op, cursor);
    }
    o.put(in.data() + cursor, mask + cursor, in.size() - cursor);
    if (o.text.size() > LINE_LIMIT) return false;
    l.text.swap(o.text);
    l.mask.swap(o.mask);
    return true;
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
    size_t e = j;
    while (e < s.size() && is_alphanum(static_cast<unsigned char>(s[e]))) e++;
    if (s.compare(j, e - j, "and") == 0 || s.compare(j, e - j, "or") == 0) return false;
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

// The work space of the rewrites, kept from line to line.
struct rewriter {
    pre_line line;
    pass_out out;
    expression_reader reader;
    std::vector<size_t> pending;
};

// Rewrites one gathered line and appends it with its newlines; false when
// the line grows past its limit.
bool finish_line(rewriter &w, bool has_then, bool has_do, bool print_line, int newlines,
                 std::string &out) {
    pre_line &l = w.line;
    if (l.text.size() > LINE_LIMIT) return false;
    int inside = count_newlines(l.text.data(), l.text.data() + l.text.size());
    mark_strings(l);
    // "!=" and every compound operator hold a "=": most lines have none
    if (l.text.find('=') != std::string::npos) {
        for (size_t at = pstrstr(l, "!=", 0); at != std::string::npos; at = pstrstr(l, "!=", at + 2))
            l.text[at] = '~';
        walk_mark mark;
        for (int k = 0; k < static_cast<int>(std::size(compound_ops)); k++)
            if (!rewrite_pass(l, k, w.out, w.reader, w.pending)) return false;
    }
    if (!rewrite_one_line(l, has_then, has_do, print_line) && print_line) l.text += ')';
    if (l.text.size() > LINE_LIMIT) return false;
    out += l.text;
    // A target holding a multi-line string is written twice; its extra
    // newlines come off the line's own, so the lines after it stay in place.
    int extra = count_newlines(l.text.data(), l.text.data() + l.text.size()) - inside;
    if (newlines > extra)
        out.append(static_cast<size_t>(newlines - extra), '\n');
    else if (newlines > 0)
        out += ' '; // the next line still needs its separator
    return true;
}

} // namespace

int zibo6_preprocess(const char *source, std::string &out) {
    work = 0;
    if (!source) return 0;
    const char *p = get_first_token_vm(source);
    const char *prev = source;
    rewriter w;
    pre_line &l = w.line;
    int line = 1; // the source line the current line starts on
    while (tokenizer.tok != TOK_EOF) {
        // gather one line: the buffers grow with it, so no line is cut in
        // pieces (a rewrite across a cut would break the code)
        l.text.clear();
        bool has_then = false, has_do = false, print_line = false;
        int newlines = 0;
        while (tokenizer.tok != TOK_EOF && l.text.size() <= LINE_LIMIT) {
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
            work++;
        }
        if (!finish_line(w, has_then, has_do, print_line, newlines, out)) {
            out.clear();
            zibo_print_col("program too large", 6);
            zibo_print_2("line %d passes %d chars rewritten", line, static_cast<int>(LINE_LIMIT));
            return 1;
        }
        if (out.size() > PROGRAM_LIMIT) {
            out.clear();
            zibo_print_col("program too large", 6);
            zibo_print_2("rewritten code passes %d chars", static_cast<int>(PROGRAM_LIMIT), 0);
            return 1;
        }
        line += newlines;
    }
    return 0;
}

uint64_t zibo6_preprocess_work() { return work; }

int zibo6_flatten_includes(const char *source, std::string &out) {
    out.clear();
    if (!source) return 0;
    // Only these bytes make an include token: text without them needs no walk
    if (!std::strstr(source, "#include ")) {
        out = source;
        return 0;
    }
    bool line_start = true;
    for (const char *p = get_first_token_vm(source); tokenizer.tok != TOK_EOF;) {
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
