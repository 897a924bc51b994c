/*
** Script VM: string library.
** Carts reach only sub; the rest is the stock set on 16.16 positions.
** Pattern classes treat the console's glyph bytes (>= 128, 30 and 31)
** as letters.
*/
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "vm/lauxlib.h"
#include "vm/lua.h"
#include "vm/lualib.h"

#define uchar(c) ((unsigned char)(c))

/* rep refuses results this long, so lengths stay within int */
#define MAXSTRSIZE ((size_t)INT_MAX)

static int str_len(lua_State *L) {
    size_t l;
    luaL_checklstring(L, 1, &l);
    lua_pushinteger(L, (lua_Integer)l);
    return 1;
}

/* 1-based position from pos: negative counts back from the end, and any
   position before the start gives 0 */
static size_t posrelat(ptrdiff_t pos, size_t len) {
    if (pos >= 0)
        return (size_t)pos;
    else if (0u - (size_t)pos > len)
        return 0;
    else
        return len - (0u - (size_t)pos) + 1;
}

int str_sub(lua_State *L) {
    size_t l;
    const char *s = luaL_checklstring(L, 1, &l);
    size_t start = posrelat(luaL_checkinteger(L, 2), l);
    /* sub raises only the type errors of its first two arguments: a third
       that is not a number or numeric string reads as the end */
    int isnum;
    lua_Integer j = lua_tointegerx(L, 3, &isnum);
    size_t end = posrelat(isnum ? j : -1, l);
    if (start < 1) start = 1;
    if (end > l) end = l;
    if (start <= end)
        lua_pushlstring(L, s + start - 1, end - start + 1);
    else
        lua_pushliteral(L, "");
    return 1;
}

static int str_reverse(lua_State *L) {
    size_t l;
    luaL_Buffer b;
    const char *s = luaL_checklstring(L, 1, &l);
    char *p = luaL_buffinitsize(L, &b, l);
    for (size_t i = 0; i < l; i++) p[i] = s[l - i - 1];
    luaL_pushresultsize(&b, l);
    return 1;
}

/* a copy of the string with each byte mapped through a ctype function */
static int str_mapbytes(lua_State *L, int (*map)(int)) {
    size_t l;
    luaL_Buffer b;
    const char *s = luaL_checklstring(L, 1, &l);
    char *p = luaL_buffinitsize(L, &b, l);
    for (size_t i = 0; i < l; i++) p[i] = (char)map(uchar(s[i]));
    luaL_pushresultsize(&b, l);
    return 1;
}

static int c_tolower(int c) { return std::tolower(c); }
static int c_toupper(int c) { return std::toupper(c); }

static int str_lower(lua_State *L) { return str_mapbytes(L, c_tolower); }

static int str_upper(lua_State *L) { return str_mapbytes(L, c_toupper); }

static int str_rep(lua_State *L) {
    size_t l, lsep;
    const char *s = luaL_checklstring(L, 1, &l);
    int n = luaL_checkint(L, 2);
    const char *sep = luaL_optlstring(L, 3, "", &lsep);
    if (n <= 0) {
        lua_pushliteral(L, "");
        return 1;
    }
    if (l + lsep < l || l + lsep >= MAXSTRSIZE / (size_t)n)
        return luaL_error(L, "resulting string too large");
    size_t total = (size_t)n * l + (size_t)(n - 1) * lsep;
    luaL_Buffer b;
    char *p = luaL_buffinitsize(L, &b, total);
    for (int i = 0; i < n; i++) {
        if (i > 0) {
            std::memcpy(p, sep, lsep);
            p += lsep;
        }
        std::memcpy(p, s, l);
        p += l;
    }
    luaL_pushresultsize(&b, total);
    return 1;
}

static int str_byte(lua_State *L) {
    size_t l;
    const char *s = luaL_checklstring(L, 1, &l);
    size_t posi = posrelat(luaL_optinteger(L, 2, 1), l);
    size_t pose = posrelat(luaL_optinteger(L, 3, (lua_Integer)posi), l);
    if (posi < 1) posi = 1;
    if (pose > l) pose = l;
    if (posi > pose) return 0;
    if (pose - posi >= (size_t)INT_MAX) return luaL_error(L, "string slice too long");
    int n = (int)(pose - posi + 1);
    luaL_checkstack(L, n, "string slice too long");
    for (int i = 0; i < n; i++) lua_pushinteger(L, uchar(s[posi + i - 1]));
    return n;
}

static int str_char(lua_State *L) {
    int n = lua_gettop(L);
    luaL_Buffer b;
    char *p = luaL_buffinitsize(L, &b, (size_t)n);
    for (int i = 1; i <= n; i++) {
        int c = luaL_checkint(L, i);
        luaL_argcheck(L, uchar(c) == c, i, "value out of range");
        p[i - 1] = (char)uchar(c);
    }
    luaL_pushresultsize(&b, (size_t)n);
    return 1;
}

static int writer_lstrlib(lua_State *L, const void *b, size_t size, void *B) {
    (void)L;
    luaL_addlstring((luaL_Buffer *)B, (const char *)b, size);
    return 0;
}

static int str_dump(lua_State *L) {
    luaL_Buffer b;
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_settop(L, 1);
    luaL_buffinit(L, &b);
    if (lua_dump(L, writer_lstrlib, &b) != 0) return luaL_error(L, "unable to dump given function");
    luaL_pushresult(&b);
    return 1;
}

#define LUA_MAXCAPTURES 32
#define CAP_UNFINISHED  (-1)
#define CAP_POSITION    (-2)
#define MAXCCALLS       200
#define L_ESC           '%'
#define SPECIALS        "^$*+?.([%-"

namespace {

struct Capture {
    const char *init;
    ptrdiff_t len; /* bytes, or CAP_UNFINISHED / CAP_POSITION */
};

struct MatchState {
    int matchdepth; /* nested match calls left before "pattern too complex" */
    const char *src_init;
    const char *src_end;
    const char *p_end;
    lua_State *L;
    int level; /* captures in use */
    Capture capture[LUA_MAXCAPTURES];
};

} // namespace

static const char *match(MatchState *ms, const char *s, const char *p);

static int check_capture(MatchState *ms, int l) {
    l -= '1';
    if (l < 0 || l >= ms->level || ms->capture[l].len == CAP_UNFINISHED)
        return luaL_error(ms->L, "invalid capture index %%%d", luaL_intarg(l + 1));
    return l;
}

/* innermost capture still open */
static int capture_to_close(MatchState *ms) {
    for (int level = ms->level - 1; level >= 0; level--) {
        if (ms->capture[level].len == CAP_UNFINISHED) return level;
    }
    return luaL_error(ms->L, "invalid pattern capture");
}

/* end of the single-character class starting at p: '%x', a '[set]' or one
   plain byte */
static const char *classEnd(MatchState *ms, const char *p) {
    if (*p == L_ESC) {
        if (p + 1 == ms->p_end) luaL_error(ms->L, "malformed pattern (ends with '%%')");
        return p + 2;
    }
    if (*p != '[') return p + 1;
    const char *q = p + 1;
    if (*q == '^') q++;
    /* the first byte of the set is taken literally, even a ']' */
    do {
        if (q == ms->p_end) luaL_error(ms->L, "malformed pattern (missing ']')");
        char c = *q++;
        if (c == L_ESC && q < ms->p_end) q++;
    } while (*q != ']');
    return q + 1;
}

/* the console's glyph bytes count as letters */
static int isglyph(int c) { return c >= 128 || c == 30 || c == 31; }

static int isclassletter(int cl) {
    switch (std::tolower(cl)) {
    case 'a':
    case 'c':
    case 'd':
    case 'g':
    case 'l':
    case 'p':
    case 's':
    case 'u':
    case 'w':
    case 'x': return 1;
    default: return 0;
    }
}

static int match_class(int c, int cl) {
    int res;
    /* only the letter classes take glyph bytes; an escaped glyph byte, in a
       set or not, matches nothing */
    if (isglyph(c)) return (cl == 'a' || cl == 'l' || cl == 'w');
    if (!isclassletter(cl)) return (cl == c);
    switch (std::tolower(cl)) {
    case 'a': res = std::isalpha(c); break;
    case 'c': res = std::iscntrl(c); break;
    case 'd': res = std::isdigit(c); break;
    case 'g': res = std::isgraph(c); break;
    case 'l': res = std::islower(c); break;
    case 'p': res = std::ispunct(c); break;
    case 's': res = std::isspace(c); break;
    case 'u': res = std::isupper(c); break;
    case 'w': res = std::isalnum(c); break;
    default: res = std::isxdigit(c); break;
    }
    if (std::isupper(cl)) res = !res;
    return res;
}

/* p points at '[' and ec at the closing ']' of a set */
static int matchbracketclass(int c, const char *p, const char *ec) {
    bool negated = (p[1] == '^');
    const char *q = p + (negated ? 2 : 1);
    bool found = false;
    while (q < ec && !found) {
        if (*q == L_ESC) {
            found = match_class(c, uchar(q[1]));
            q += 2;
        } else if (q[1] == '-' && q + 2 < ec) {
            found = (uchar(q[0]) <= c && c <= uchar(q[2]));
            q += 3;
        } else {
            found = (uchar(*q) == c);
            q++;
        }
    }
    return found != negated;
}

static int singlematch(MatchState *ms, const char *s, const char *p, const char *ep) {
    if (s >= ms->src_end) return 0;
    int c = uchar(*s);
    switch (*p) {
    case '.': return 1;
    case L_ESC: return match_class(c, uchar(*(p + 1)));
    case '[': return matchbracketclass(c, p, ep - 1);
    default: return (uchar(*p) == c);
    }
}

/* %bxy: s must open with x and the match runs to the y that balances it */
static const char *matchbalance(MatchState *ms, const char *s, const char *p) {
    if (p >= ms->p_end - 1) luaL_error(ms->L, "malformed pattern (missing arguments to '%%b')");
    char open = p[0], close = p[1];
    if (s >= ms->src_end || *s != open) return NULL;
    int depth = 1;
    for (const char *q = s + 1; q < ms->src_end; q++) {
        if (*q == close) {
            if (--depth == 0) return q + 1;
        } else if (*q == open)
            depth++;
    }
    return NULL;
}

/* greedy repetition: take the longest run, then give bytes back one by one
   until the rest of the pattern matches */
static const char *max_expand(MatchState *ms, const char *s, const char *p, const char *ep) {
    const char *run_end = s;
    while (singlematch(ms, run_end, p, ep)) run_end++;
    for (const char *cut = run_end;; cut--) {
        if (const char *res = match(ms, cut, ep + 1)) return res;
        if (cut == s) return NULL;
    }
}

/* lazy repetition: try the rest first, extend the run only when it fails */
static const char *min_expand(MatchState *ms, const char *s, const char *p, const char *ep) {
    for (;; s++) {
        if (const char *res = match(ms, s, ep + 1)) return res;
        if (!singlematch(ms, s, p, ep)) return NULL;
    }
}

/* opens capture `what` (a position or an unfinished string) at s and
   matches the rest; on failure the capture is dropped again */
static const char *start_capture(MatchState *ms, const char *s, const char *p, int what) {
    int level = ms->level;
    if (level >= LUA_MAXCAPTURES) luaL_error(ms->L, "too many captures");
    ms->capture[level].init = s;
    ms->capture[level].len = what;
    ms->level = level + 1;
    const char *res = match(ms, s, p);
    if (res == NULL) ms->level--;
    return res;
}

/* closes the innermost open capture at s; reopened if the rest fails */
static const char *end_capture(MatchState *ms, const char *s, const char *p) {
    int l = capture_to_close(ms);
    ms->capture[l].len = s - ms->capture[l].init;
    const char *res = match(ms, s, p);
    if (res == NULL) ms->capture[l].len = CAP_UNFINISHED;
    return res;
}

static const char *match_capture(MatchState *ms, const char *s, int l) {
    l = check_capture(ms, l);
    size_t len = (size_t)ms->capture[l].len;
    if ((size_t)(ms->src_end - s) >= len && std::memcmp(ms->capture[l].init, s, len) == 0)
        return s + len;
    return NULL;
}

/* %f[set]: true where the byte before s is outside the set and the one at s
   inside it; both string edges read as '\0' */
static bool atfrontier(MatchState *ms, const char *s, const char *set, const char *setend) {
    int prev = (s == ms->src_init) ? 0 : uchar(s[-1]);
    int cur = (s < ms->src_end) ? uchar(*s) : 0;
    return !matchbracketclass(prev, set, setend - 1) && matchbracketclass(cur, set, setend - 1);
}

/* suffixes that let an item match zero times */
static bool allows_zero(char suffix) { return suffix == '*' || suffix == '?' || suffix == '-'; }

/* Walks the pattern item by item.  Items that need backtracking (captures,
   repetitions) recurse through match and finish the walk with its result;
   the rest just advance s and p. */
static const char *match_seq(MatchState *ms, const char *s, const char *p) {
    while (p != ms->p_end) {
        if (*p == '(') {
            bool position = (p[1] == ')');
            return start_capture(ms, s, p + (position ? 2 : 1),
                                 position ? CAP_POSITION : CAP_UNFINISHED);
        }
        if (*p == ')') return end_capture(ms, s, p + 1);
        if (*p == '$' && p + 1 == ms->p_end) return (s == ms->src_end) ? s : NULL;
        if (*p == L_ESC && p[1] == 'b') {
            s = matchbalance(ms, s, p + 2);
            if (s == NULL) return NULL;
            p += 4;
            continue;
        }
        if (*p == L_ESC && p[1] == 'f') {
            p += 2;
            if (*p != '[') luaL_error(ms->L, "missing '[' after '%%f' in pattern");
            const char *setend = classEnd(ms, p);
            if (!atfrontier(ms, s, p, setend)) return NULL;
            p = setend;
            continue;
        }
        if (*p == L_ESC && std::isdigit(uchar(p[1]))) {
            s = match_capture(ms, s, uchar(p[1]));
            if (s == NULL) return NULL;
            p += 2;
            continue;
        }
        const char *ep = classEnd(ms, p);
        if (!singlematch(ms, s, p, ep)) {
            if (!allows_zero(*ep)) return NULL;
            p = ep + 1;
            continue;
        }
        switch (*ep) {
        case '?': {
            const char *res = match(ms, s + 1, ep + 1);
            if (res != NULL) return res;
            p = ep + 1;
            break;
        }
        case '+': return max_expand(ms, s + 1, p, ep);
        case '*': return max_expand(ms, s, p, ep);
        case '-': return min_expand(ms, s, p, ep);
        default:
            s++;
            p = ep;
            break;
        }
    }
    return s;
}

static const char *match(MatchState *ms, const char *s, const char *p) {
    if (ms->matchdepth-- == 0) luaL_error(ms->L, "pattern too complex");
    s = match_seq(ms, s, p);
    ms->matchdepth++;
    return s;
}

/* capture i; with no captures at all, index 0 stands for the whole match */
static void push_onecapture(MatchState *ms, int i, const char *s, const char *e) {
    if (i >= ms->level) {
        if (i != 0) luaL_error(ms->L, "invalid capture index");
        lua_pushlstring(ms->L, s, (size_t)(e - s));
        return;
    }
    ptrdiff_t l = ms->capture[i].len;
    if (l == CAP_UNFINISHED) luaL_error(ms->L, "unfinished capture");
    if (l == CAP_POSITION)
        lua_pushinteger(ms->L, ms->capture[i].init - ms->src_init + 1);
    else
        lua_pushlstring(ms->L, ms->capture[i].init, (size_t)l);
}

/* s == NULL (find, which reports the span itself) pushes nothing for a
   pattern without captures */
static int push_captures(MatchState *ms, const char *s, const char *e) {
    int nlevels = (ms->level == 0 && s) ? 1 : ms->level;
    luaL_checkstack(ms->L, nlevels, "too many captures");
    for (int i = 0; i < nlevels; i++) push_onecapture(ms, i, s, e);
    return nlevels;
}

/* a pattern without magic bytes can be searched for as plain text */
static bool nospecials(const char *p, size_t l) {
    return std::string_view(p, l).find_first_of(SPECIALS) == std::string_view::npos;
}

/* first occurrence of s2 in s1, or NULL */
static const char *lmemfind(const char *s1, size_t l1, const char *s2, size_t l2) {
    size_t at = std::string_view(s1, l1).find(std::string_view(s2, l2));
    return (at == std::string_view::npos) ? NULL : s1 + at;
}

static void prepstate(MatchState *ms, lua_State *L, const char *s, size_t ls, const char *p,
                      size_t lp) {
    ms->L = L;
    ms->matchdepth = MAXCCALLS;
    ms->src_init = s;
    ms->src_end = s + ls;
    ms->p_end = p + lp;
    ms->level = 0;
}

/* drops a leading '^' from the pattern; true when there was one */
static bool strip_anchor(const char **p, size_t *lp) {
    if (**p != '^') return false;
    (*p)++;
    (*lp)--;
    return true;
}

/* plain substring search from 1-based position init */
static int plain_find(lua_State *L, const char *s, size_t ls, size_t init, const char *p,
                      size_t lp) {
    const char *hit = lmemfind(s + init - 1, ls - init + 1, p, lp);
    if (hit == NULL) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushinteger(L, hit - s + 1);
    lua_pushinteger(L, (lua_Integer)((size_t)(hit - s) + lp));
    return 2;
}

/* shared by find and match: find reports the span before the captures,
   match reports the captures (or the whole match) alone */
static int str_find_aux(lua_State *L, int find) {
    size_t ls, lp;
    const char *s = luaL_checklstring(L, 1, &ls);
    const char *p = luaL_checklstring(L, 2, &lp);
    size_t init = posrelat(luaL_optinteger(L, 3, 1), ls);
    if (init < 1) init = 1;
    if (init > ls + 1) {
        lua_pushnil(L);
        return 1;
    }
    if (find && (lua_toboolean(L, 4) || nospecials(p, lp)))
        return plain_find(L, s, ls, init, p, lp);
    bool anchored = strip_anchor(&p, &lp);
    MatchState ms;
    prepstate(&ms, L, s, ls, p, lp);
    for (const char *start = s + init - 1; start <= ms.src_end; start++) {
        ms.level = 0;
        if (const char *e = match(&ms, start, p)) {
            if (!find) return push_captures(&ms, start, e);
            lua_pushinteger(L, start - s + 1);
            lua_pushinteger(L, e - s);
            return push_captures(&ms, nullptr, nullptr) + 2;
        }
        if (anchored) break;
    }
    lua_pushnil(L);
    return 1;
}

static int str_find(lua_State *L) { return str_find_aux(L, 1); }

static int str_match(lua_State *L) { return str_find_aux(L, 0); }

/*
** gmatch keeps its resume position in upvalue 3 as the raw bits of a
** number: as a 16.16 integer it would wrap on strings above 32767 bytes.
*/
static int gmatch_aux(lua_State *L) {
    MatchState ms;
    size_t ls, lp;
    const char *s = lua_tolstring(L, lua_upvalueindex(1), &ls);
    const char *p = lua_tolstring(L, lua_upvalueindex(2), &lp);
    size_t start = (uint32_t)lua_tonumber(L, lua_upvalueindex(3));
    prepstate(&ms, L, s, ls, p, lp);
    for (const char *src = s + (start <= ls ? start : ls + 1); src <= ms.src_end; src++) {
        const char *e;
        ms.level = 0;
        if ((e = match(&ms, src, p)) != NULL) {
            size_t newstart = (size_t)(e - s);
            if (e == src) newstart++;
            lua_pushnumber(L, (lua_Number)(uint32_t)newstart);
            lua_replace(L, lua_upvalueindex(3));
            return push_captures(&ms, src, e);
        }
    }
    lua_pushnumber(L, (lua_Number)(uint32_t)(ls + 1));
    lua_replace(L, lua_upvalueindex(3));
    return 0;
}

static int gmatch(lua_State *L) {
    luaL_checkstring(L, 1);
    luaL_checkstring(L, 2);
    lua_settop(L, 2);
    lua_pushnumber(L, 0);
    lua_pushcclosure(L, gmatch_aux, 3);
    return 1;
}

/* expands a replacement string: %0 is the whole match, %1-%9 a capture and
   %% a percent sign */
static void add_s(MatchState *ms, luaL_Buffer *b, const char *s, const char *e) {
    size_t l;
    lua_State *L = ms->L;
    const char *news = lua_tolstring(L, 3, &l);
    const char *end = news + l;
    for (const char *q = news; q < end; q++) {
        if (*q != L_ESC) {
            luaL_addchar(b, *q);
            continue;
        }
        q++; /* a trailing '%' reads the string's terminating '\0' */
        if (*q == L_ESC)
            luaL_addchar(b, *q);
        else if (*q == '0')
            luaL_addlstring(b, s, (size_t)(e - s));
        else if (std::isdigit(uchar(*q))) {
            push_onecapture(ms, *q - '1', s, e);
            luaL_addvalue(b);
        } else
            luaL_error(L, "invalid use of '%c' in replacement string", L_ESC);
    }
}

/* appends the replacement for s..e; tr is the type of gsub's third argument.
   A function or table answering nil or false keeps the matched text. */
static void add_value(MatchState *ms, luaL_Buffer *b, const char *s, const char *e, int tr) {
    lua_State *L = ms->L;
    if (tr == LUA_TFUNCTION) {
        lua_pushvalue(L, 3);
        int nargs = push_captures(ms, s, e);
        lua_call(L, nargs, 1);
    } else if (tr == LUA_TTABLE) {
        push_onecapture(ms, 0, s, e);
        lua_gettable(L, 3);
    } else {
        add_s(ms, b, s, e);
        return;
    }
    if (!lua_toboolean(L, -1)) {
        lua_pop(L, 1);
        lua_pushlstring(L, s, (size_t)(e - s));
    } else if (!lua_isstring(L, -1))
        luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
    luaL_addvalue(b);
}

static int str_gsub(lua_State *L) {
    size_t srcl, lp;
    const char *src = luaL_checklstring(L, 1, &srcl);
    const char *p = luaL_checklstring(L, 2, &lp);
    int tr = lua_type(L, 3);
    size_t max_s = (size_t)luaL_optinteger(L, 4, (lua_Integer)srcl + 1);
    luaL_argcheck(L,
                  tr == LUA_TNUMBER || tr == LUA_TSTRING || tr == LUA_TFUNCTION || tr == LUA_TTABLE,
                  3, "string/function/table expected");
    bool anchored = strip_anchor(&p, &lp);
    MatchState ms;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    prepstate(&ms, L, src, srcl, p, lp);
    size_t n = 0;
    const char *cur = src;
    while (n < max_s) {
        ms.level = 0;
        const char *e = match(&ms, cur, p);
        if (e != NULL) {
            n++;
            add_value(&ms, &b, cur, e, tr);
        }
        /* after a miss or an empty match the current byte is copied as is, so
       the scan always moves on */
        if (e != NULL && e > cur)
            cur = e;
        else if (cur == ms.src_end)
            break;
        else
            luaL_addchar(&b, *cur++);
        if (anchored) break;
    }
    luaL_addlstring(&b, cur, (size_t)(ms.src_end - cur));
    luaL_pushresult(&b);
    lua_pushinteger(L, (lua_Integer)n);
    return 2;
}

/* format works on a number's value: integer conversions truncate it toward
   zero, float conversions print its exact double */

/* room for one formatted item: '%99.99f' of the most negative number is
   well within it */
#define MAX_ITEM 512
#define FLAGS    "-+ #0"
/* room for '%', all flags, two-digit width and precision, the length
   modifier and the letter */
#define MAX_FORMAT (sizeof(FLAGS) + 2 + 10)

static double num2double(lua_Number n) { return (double)n / 65536.0; }

/* %q: the string in double quotes so that it reads back the same; control
   bytes become decimal escapes, three digits wide when a digit follows */
static void addquoted(lua_State *L, luaL_Buffer *b, int arg) {
    size_t l;
    const char *s = luaL_checklstring(L, arg, &l);
    const char *end = s + l;
    luaL_addchar(b, '"');
    for (const char *q = s; q < end; q++) {
        int c = uchar(*q);
        if (c == '"' || c == '\\' || c == '\n') {
            luaL_addchar(b, '\\');
            luaL_addchar(b, *q);
        } else if (c == '\0' || std::iscntrl(c)) {
            char esc[10];
            if (std::isdigit(uchar(q[1]))) /* the terminator follows the last byte */
                std::snprintf(esc, sizeof(esc), "\\%03d", c);
            else
                std::snprintf(esc, sizeof(esc), "\\%d", c);
            luaL_addstring(b, esc);
        } else
            luaL_addchar(b, *q);
    }
    luaL_addchar(b, '"');
}

/* Copies one conversion spec (flags, width, precision and the conversion
   letter) into form as a C format string and returns a pointer to the
   letter.  Width and precision take two digits at most. */
static const char *scanformat(lua_State *L, const char *strfrmt, char *form) {
    const char *p = strfrmt;
    while (*p != '\0' && std::strchr(FLAGS, *p) != NULL) p++;
    if ((size_t)(p - strfrmt) >= sizeof(FLAGS)) luaL_error(L, "invalid format (repeated flags)");
    auto skip_two_digits = [&p] {
        for (int i = 0; i < 2 && std::isdigit(uchar(*p)); i++) p++;
    };
    skip_two_digits();
    if (*p == '.') {
        p++;
        skip_two_digits();
    }
    if (std::isdigit(uchar(*p))) luaL_error(L, "invalid format (width or precision too long)");
    size_t speclen = (size_t)(p - strfrmt) + 1;
    form[0] = '%';
    std::memcpy(form + 1, strfrmt, speclen);
    form[speclen + 1] = '\0';
    return p;
}

/* puts a C length modifier in front of the conversion letter */
static void addlenmod(char *form, const char *lenmod) {
    size_t l = std::strlen(form);
    size_t lm = std::strlen(lenmod);
    char conv = form[l - 1];
    std::memcpy(form + l - 1, lenmod, lm);
    form[l - 1 + lm] = conv;
    form[l + lm] = '\0';
}

/* formats argument arg by the C spec in form, whose letter is conv */
static void addformatted(lua_State *L, luaL_Buffer *b, int arg, char conv, char *form) {
    char buff[MAX_ITEM];
    int nb = 0;
    switch (conv) {
    case 'c': nb = std::snprintf(buff, sizeof(buff), form, luaL_checkint(L, arg)); break;
    case 'd':
    case 'i': {
        long long ni = (long long)num2double(luaL_checknumber(L, arg));
        addlenmod(form, "ll");
        nb = std::snprintf(buff, sizeof(buff), form, ni);
        break;
    }
    case 'o':
    case 'u':
    case 'x':
    case 'X': {
        double n = num2double(luaL_checknumber(L, arg));
        luaL_argcheck(L, n > -1.0, arg, "not a non-negative number in proper range");
        unsigned long long ni = (n < 0) ? 0u : (unsigned long long)n;
        addlenmod(form, "ll");
        nb = std::snprintf(buff, sizeof(buff), form, ni);
        break;
    }
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
        nb = std::snprintf(buff, sizeof(buff), form, num2double(luaL_checknumber(L, arg)));
        break;
    case 'q': addquoted(L, b, arg); return;
    case 's': {
        size_t l;
        const char *s = luaL_tolstring(L, arg, &l);
        if (!std::strchr(form, '.') && l >= 100) {
            /* too long for buff; a width (two digits at most) could not pad
           it anyway, so it goes in whole */
            luaL_addvalue(b);
            return;
        }
        nb = std::snprintf(buff, sizeof(buff), form, s);
        lua_pop(L, 1);
        break;
    }
    default: luaL_error(L, "invalid option '%%%c' to 'format'", (int)uchar(conv));
    }
    if (nb < 0) nb = 0;
    if ((size_t)nb >= sizeof(buff)) nb = (int)sizeof(buff) - 1;
    luaL_addlstring(b, buff, (size_t)nb);
}

static int str_format(lua_State *L) {
    int top = lua_gettop(L);
    int arg = 1;
    size_t sfl;
    const char *fmt = luaL_checklstring(L, arg, &sfl);
    const char *fmt_end = fmt + sfl;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    while (fmt < fmt_end) {
        if (*fmt != L_ESC) {
            luaL_addchar(&b, *fmt++);
            continue;
        }
        fmt++;
        if (*fmt == L_ESC) {
            luaL_addchar(&b, *fmt++);
            continue;
        }
        if (++arg > top) luaL_argerror(L, arg, "no value");
        char form[MAX_FORMAT];
        fmt = scanformat(L, fmt, form);
        char conv = *fmt++;
        addformatted(L, &b, arg, conv, form);
    }
    luaL_pushresult(&b);
    return 1;
}

static const luaL_Reg strlib[] = {
    {"byte", str_byte},     {"char", str_char},   {"dump", str_dump}, {"find", str_find},
    {"format", str_format}, {"gmatch", gmatch},   {"gsub", str_gsub}, {"len", str_len},
    {"lower", str_lower},   {"match", str_match}, {"rep", str_rep},   {"reverse", str_reverse},
    {"sub", str_sub},       {"upper", str_upper}, {NULL, NULL}};

/* strings share one metatable whose __index is the string table, which
   is what makes s:sub(...) work */
static void createmetatable(lua_State *L) {
    lua_createtable(L, 0, 1);
    lua_pushliteral(L, "");
    lua_pushvalue(L, -2);
    lua_setmetatable(L, -2); /* set through any string, it holds for all */
    lua_pop(L, 1);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
}

LUAMOD_API int luaopen_string(lua_State *L) {
    luaL_newlib(L, strlib);
    createmetatable(L);
    return 1;
}
