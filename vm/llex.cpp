/*
** Lexer: turns the chunk's bytes into tokens for the parser, one token of
** look-ahead at most.
*/
#include "vm/llex.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include "vm/lctype.h"
#include "vm/ldo.h"
#include "vm/lgc.h"
#include "vm/lobject.h"
#include "vm/lparser.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/lvm.h"
#include "vm/lzio.h"

/* Spellings of the tokens from FIRST_RESERVED on, in enum RESERVED order. */
static const char *const luaX_tokens[] = {
    "and",      "break",  "do",   "else", "elseif", "end",   "false",    "for",
    "function", "goto",   "if",   "in",   "local",  "nil",   "not",      "or",
    "repeat",   "return", "then", "true", "until",  "while", "..",       "...",
    "==",       ">=",     "<=",   "~=",   "::",     "<eof>", "<number>", "<name>",
    "<string>", "<<",     ">>",   ">>>",  "<<>",    ">><",   "^^",       "@@"};

static_assert(sizeof(luaX_tokens) / sizeof(luaX_tokens[0]) == TK_ATAT - FIRST_RESERVED + 1,
              "token spellings");

/* lines at or above this count end the compile */
static constexpr int MAXLINES = 2147483645;

l_uninstrumented static inline void next(LexState *ls) { ls->current = zgetc(ls->z); }

static inline bool currIsNewline(const LexState *ls) {
    return ls->current == '\n' || ls->current == '\r';
}

[[noreturn]] static void lexerror(LexState *ls, const char *msg, int token);

/* Appends one byte to the token buffer, doubling it when full. */
l_uninstrumented static void save(LexState *ls, int c) {
    Mbuffer *b = ls->buff;
    if (luaZ_bufflen(b) + 1 > luaZ_sizebuffer(b)) {
        if (luaZ_sizebuffer(b) >= MAX_SIZET / 2) lexerror(ls, "lexical element too long", 0);
        size_t newsize = luaZ_sizebuffer(b) * 2;
        if (newsize < LUA_MINBUFFER) newsize = LUA_MINBUFFER;
        luaZ_resizebuffer(ls->L, b, newsize);
    }
    b->buffer[luaZ_bufflen(b)++] = static_cast<char>(c);
}

static inline void save_and_next(LexState *ls) {
    save(ls, ls->current);
    next(ls);
}

void luaX_init(lua_State *L) {
    for (int i = 0; i < NUM_RESERVED; i++) {
        TString *ts = luaS_new(L, luaX_tokens[i]);
        luaS_fix(ts); /* reserved words are never collected */
        ts->tsv.extra = static_cast<lu_byte>(i + 1);
    }
}

const char *luaX_token2str(LexState *ls, int token) {
    if (token < FIRST_RESERVED) /* single byte, shown as itself whatever it is */
        return luaO_pushfstring(ls->L, "'%c'", token);
    const char *s = luaX_tokens[token - FIRST_RESERVED];
    if (token >= TK_EOS && token <= TK_STRING) return s; /* <eof>, <number>, <name>, <string> */
    return luaO_pushfstring(ls->L, "'%s'", s);
}

/* Pushes a length-counted string: token texts may hold any byte, zero included. */
static void pushlstr(lua_State *L, const char *s, size_t l) {
    setsvalue2s(L, L->top, luaS_newlstr(L, s, l));
    incr_top(L);
}

/* Pushes the text of a token as a message quotes it. */
static void pushtoken(LexState *ls, int token) {
    lua_State *L = ls->L;
    switch (token) {
    case TK_NAME:
    case TK_STRING:
    case TK_NUMBER: {
        size_t len = luaZ_bufflen(ls->buff);
        if (token == TK_NUMBER && len > 0 && luaZ_buffer(ls->buff)[len - 1] == '\0')
            len--; /* the reader's terminator */
        pushlstr(L, "'", 1);
        pushlstr(L, luaZ_buffer(ls->buff), len);
        pushlstr(L, "'", 1);
        luaV_concat(L, 3);
        break;
    }
    default:
        if (token < FIRST_RESERVED) {
            char q[3] = {'\'', static_cast<char>(token), '\''};
            pushlstr(L, q, 3);
        } else {
            luaX_token2str(ls, token);
            if (token >= TK_EOS && token <= TK_STRING)
                pushlstr(L, luaX_tokens[token - FIRST_RESERVED],
                         std::strlen(luaX_tokens[token - FIRST_RESERVED]));
        }
        break;
    }
}

/* "source:line: message[ near token]". The line is printed as a plain
** integer so that lines above 32767 come out right. */
static void lexerror(LexState *ls, const char *msg, int token) {
    lua_State *L = ls->L;
    char id[LUA_IDSIZE];
    char line[16];
    luaO_chunkid(id, getstr(ls->source), LUA_IDSIZE);
    std::snprintf(line, sizeof line, "%d", ls->linenumber);
    luaO_pushfstring(L, "%s:%s: %s", id, line, msg);
    if (token) {
        luaO_pushfstring(L, " near ");
        pushtoken(ls, token);
        luaV_concat(L, 3);
    }
    luaD_throw(L, LUA_ERRSYNTAX);
}

void luaX_syntaxerror(LexState *ls, const char *msg) { lexerror(ls, msg, ls->t.token); }

TString *luaX_newstring(LexState *ls, const char *str, size_t l) {
    lua_State *L = ls->L;
    TString *ts = luaS_newlstr(L, str, l);
    setsvalue2s(L, L->top++, ts); /* anchor it while the table may grow */
    TValue *o = luaH_set(L, ls->fs->h, L->top - 1);
    if (ttisnil(o)) {
        setbvalue(o, 1); /* kept alive by the function's constant lookup */
        luaC_checkGC(L);
    } else {
        ts = rawtsvalue(keyfromval(o)); /* reuse the string already stored */
    }
    L->top--;
    return ts;
}

/* A line break: "\n", "\r", "\n\r" or "\r\n". */
static void inclinenumber(LexState *ls) {
    int old = ls->current;
    next(ls);
    if (currIsNewline(ls) && ls->current != old) next(ls);
    if (ls->linenumber >= MAXLINES - 1) lexerror(ls, "chunk has too many lines", 0);
    ls->linenumber++;
}

void luaX_setinput(lua_State *L, LexState *ls, ZIO *z, TString *source, int firstchar) {
    ls->decpoint = '.';
    ls->L = L;
    ls->current = firstchar;
    ls->lookahead.token = TK_EOS;
    ls->z = z;
    ls->fs = nullptr;
    ls->linenumber = 1;
    ls->lastline = 1;
    ls->source = source;
    ls->envn = luaS_new(L, LUA_ENV);
    luaS_fix(ls->envn);
    luaZ_resizebuffer(ls->L, ls->buff, LUA_MINBUFFER);
}

/* If the current character is one of set, saves it, reads on and says so.
** A zero byte is never in the set (strchr would match the terminator). */
static bool check_next(LexState *ls, const char *set) {
    if (ls->current == EOZ || ls->current == '\0' || !std::strchr(set, ls->current)) return false;
    save_and_next(ls);
    return true;
}

static void buffreplace(LexState *ls, char from, char to) {
    size_t n = luaZ_bufflen(ls->buff);
    char *p = luaZ_buffer(ls->buff);
    while (n--)
        if (p[n] == from) p[n] = to;
}

/* The conversion failed with '.': retry with the locale's decimal point. */
static void trydecpoint(LexState *ls, SemInfo *seminfo) {
    char old = ls->decpoint;
    const struct lconv *cv = std::localeconv();
    ls->decpoint = (cv && cv->decimal_point && cv->decimal_point[0]) ? cv->decimal_point[0] : '.';
    buffreplace(ls, old, ls->decpoint);
    if (!luaO_str2d(luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff) - 1, &seminfo->r)) {
        buffreplace(ls, ls->decpoint, '.');
        lexerror(ls, "malformed number", TK_NUMBER);
    }
}

/* A numeral: every run of hex digits, dots and exponents is taken whole and
** the number reader decides (so 0b101 is one token and 1..2 is malformed). */
static void read_numeral(LexState *ls, SemInfo *seminfo) {
    const char *expo = "Ee";
    int first = ls->current;
    save_and_next(ls);
    if (first == '0' && check_next(ls, "Xx")) expo = "Pp";
    for (;;) {
        if (check_next(ls, expo)) check_next(ls, "+-");
        if (lisxdigit(ls->current) || ls->current == '.')
            save_and_next(ls);
        else
            break;
    }
    save(ls, '\0');
    buffreplace(ls, '.', ls->decpoint);
    if (!luaO_str2d(luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff) - 1, &seminfo->r))
        trydecpoint(ls, seminfo);
}

/* Reads "[=*[" or "]=*]"; returns the count of '=' when the bracket closes,
** otherwise -1 less that count (so a lone bracket gives -1). */
static int skip_sep(LexState *ls) {
    int count = 0;
    int s = ls->current;
    save_and_next(ls);
    while (ls->current == '=') {
        save_and_next(ls);
        count++;
    }
    return (ls->current == s) ? count : (-count) - 1;
}

/* A long string (seminfo set) or long comment (null: nothing is kept).
** The buffer holds both brackets; they are cut off when the string is made. */
static void read_long_string(LexState *ls, SemInfo *seminfo, int sep) {
    save_and_next(ls);
    if (currIsNewline(ls)) inclinenumber(ls); /* a first line break is not part of the text */
    for (;;) {
        switch (ls->current) {
        case EOZ:
            lexerror(ls, seminfo ? "unfinished long string" : "unfinished long comment", TK_EOS);
        case ']':
            if (skip_sep(ls) == sep) {
                save_and_next(ls);
                if (seminfo)
                    seminfo->ts = luaX_newstring(ls, luaZ_buffer(ls->buff) + (2 + sep),
                                                 luaZ_bufflen(ls->buff) - 2 * (2 + sep));
                return;
            }
            break;
        case '\n':
        case '\r':
            save(ls, '\n');
            inclinenumber(ls);
            if (!seminfo) luaZ_resetbuffer(ls->buff); /* comments keep no text */
            break;
        default:
            if (seminfo)
                save_and_next(ls);
            else
                next(ls);
        }
    }
}

/* Reports a bad escape quoting it: the backslash and what was read of it. */
[[noreturn]] static void escerror(LexState *ls, const int *c, int n, const char *msg) {
    luaZ_resetbuffer(ls->buff);
    save(ls, '\\');
    for (int i = 0; i < n && c[i] != EOZ; i++) save(ls, c[i]);
    lexerror(ls, msg, TK_STRING);
}

static int readhexaesc(LexState *ls) {
    int c[3] = {'x', 0, 0};
    int r = 0;
    for (int i = 1; i < 3; i++) {
        next(ls);
        c[i] = ls->current;
        if (!lisxdigit(c[i])) escerror(ls, c, i + 1, "hexadecimal digit expected");
        r = (r << 4) + luaO_hexavalue(c[i]);
    }
    return r;
}

static int readdecesc(LexState *ls) {
    int c[3];
    int r = 0;
    int i = 0;
    for (; i < 3 && lisdigit(ls->current); i++) {
        c[i] = ls->current;
        r = 10 * r + c[i] - '0';
        next(ls);
    }
    if (r > UCHAR_MAX) escerror(ls, c, i, "decimal escape too large");
    return r;
}

/* Byte stored for a one-character escape, or -1 when the character is not one. */
static int simple_escape(int c) {
    switch (c) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case '\\':
    case '"':
    case '\'': return c;
    /* the console's glyph escapes: control bytes 1-6 */
    case '*': return 1;
    case '#': return 2;
    case '-': return 3;
    case '|': return 4;
    case '+': return 5;
    case '^': return 6;
    default: return -1;
    }
}

static void read_string(LexState *ls, int del, SemInfo *seminfo) {
    save_and_next(ls); /* keep the quote for messages */
    while (ls->current != del) {
        switch (ls->current) {
        case EOZ: lexerror(ls, "unfinished string", TK_EOS);
        case '\n':
        case '\r': lexerror(ls, "unfinished string", TK_STRING);
        case '\\': {
            save_and_next(ls); /* keep the backslash for messages */
            int c = simple_escape(ls->current);
            if (c >= 0) {
                next(ls);
            } else if (ls->current == 'x') {
                c = readhexaesc(ls);
                next(ls);
            } else if (currIsNewline(ls)) {
                inclinenumber(ls);
                c = '\n';
            } else if (ls->current == EOZ) {
                break; /* reported at the top of the loop */
            } else if (ls->current == 'z') {
                luaZ_buffremove(ls->buff, 1); /* drop the backslash */
                next(ls);
                while (lisspace(ls->current)) {
                    if (currIsNewline(ls))
                        inclinenumber(ls);
                    else
                        next(ls);
                }
                break;
            } else if (lisdigit(ls->current)) {
                c = readdecesc(ls);
            } else {
                escerror(ls, &ls->current, 1, "invalid escape sequence");
            }
            luaZ_buffremove(ls->buff, 1); /* drop the backslash */
            save(ls, c);
            break;
        }
        default: save_and_next(ls);
        }
    }
    save_and_next(ls); /* closing quote */
    seminfo->ts = luaX_newstring(ls, luaZ_buffer(ls->buff) + 1, luaZ_bufflen(ls->buff) - 2);
}

static int llex(LexState *ls, SemInfo *seminfo) {
    luaZ_resetbuffer(ls->buff);
    for (;;) {
        switch (ls->current) {
        case EOZ: return TK_EOS;
        case '\n':
        case '\r': inclinenumber(ls); break;
        case ' ':
        case '\f':
        case '\t':
        case '\v': next(ls); break;
        case '-': {
            next(ls);
            if (ls->current != '-') return '-';
            next(ls); /* a comment */
            if (ls->current == '[') {
                int sep = skip_sep(ls);
                luaZ_resetbuffer(ls->buff);
                if (sep >= 0) {
                    read_long_string(ls, nullptr, sep);
                    luaZ_resetbuffer(ls->buff);
                    break;
                }
            }
            while (!currIsNewline(ls) && ls->current != EOZ) next(ls);
            break;
        }
        case '[': {
            int sep = skip_sep(ls);
            if (sep >= 0) {
                read_long_string(ls, seminfo, sep);
                return TK_STRING;
            }
            if (sep == -1) return '[';
            lexerror(ls, "invalid long string delimiter", TK_STRING);
        }
        case '=':
            next(ls);
            if (ls->current != '=') return '=';
            next(ls);
            return TK_EQ;
        case '<':
            next(ls);
            if (ls->current == '=') {
                next(ls);
                return TK_LE;
            }
            if (ls->current != '<') return '<';
            next(ls);
            if (ls->current == '>') {
                next(ls);
                return TK_ROTL;
            }
            return TK_SHL;
        case '>':
            next(ls);
            if (ls->current == '=') {
                next(ls);
                return TK_GE;
            }
            if (ls->current != '>') return '>';
            next(ls);
            if (ls->current == '>') {
                next(ls);
                return TK_LSHR;
            }
            if (ls->current == '<') {
                next(ls);
                return TK_ROTR;
            }
            return TK_SHR;
        case '^':
            next(ls);
            if (ls->current != '^') return '^';
            next(ls);
            return TK_BXOR;
        case '~':
            next(ls);
            if (ls->current != '=') return '~';
            next(ls);
            return TK_NE;
        case ':':
            next(ls);
            if (ls->current != ':') return ':';
            next(ls);
            return TK_DBCOLON;
        case '"':
        case '\'': read_string(ls, ls->current, seminfo); return TK_STRING;
        case '.':
            save_and_next(ls);
            if (check_next(ls, ".")) {
                if (check_next(ls, ".")) return TK_DOTS;
                return TK_CONCAT;
            }
            if (!lisdigit(ls->current)) return '.';
            read_numeral(ls, seminfo);
            return TK_NUMBER;
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9': read_numeral(ls, seminfo); return TK_NUMBER;
        default: {
            if (lislalpha(ls->current)) {
                do { save_and_next(ls); } while (lislalnum(ls->current));
                TString *ts = luaX_newstring(ls, luaZ_buffer(ls->buff), luaZ_bufflen(ls->buff));
                seminfo->ts = ts;
                if (isreserved(ts)) return ts->tsv.extra - 1 + FIRST_RESERVED;
                return TK_NAME;
            }
            int c = ls->current; /* any other byte is a token of its own */
            next(ls);
            return c;
        }
        }
    }
}

void luaX_next(LexState *ls) {
    ls->lastline = ls->linenumber;
    if (ls->lookahead.token != TK_EOS) {
        ls->t = ls->lookahead;
        ls->lookahead.token = TK_EOS;
    } else {
        ls->t.token = llex(ls, &ls->t.seminfo);
    }
}

int luaX_lookahead(LexState *ls) {
    lua_assert(ls->lookahead.token == TK_EOS);
    ls->lookahead.token = llex(ls, &ls->lookahead.seminfo);
    return ls->lookahead.token;
}
