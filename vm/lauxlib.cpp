/*
** Script VM: auxiliary library.
** Argument checks, error positions, string buffers, chunk loading,
** references, named metatables and tracebacks, built on the C API only.
*/
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>

#include "vm/lauxlib.h"
#include "vm/ldebug.h"
#include "vm/lua.h"

/* a traceback deeper than LEVELS1 + LEVELS2 keeps its two ends only */
#define LEVELS1 12
#define LEVELS2 11

/* pushes a C int in decimal: lines and levels may exceed the 16.16 range */
static void pushcint(lua_State *L, const char *fmt, int n) {
    char buff[32];
    int len = std::snprintf(buff, sizeof(buff), fmt, n);
    lua_pushlstring(L, buff, (size_t)len);
}

/*
** Search for 'objidx' in the table on the stack top, looking also one
** level into nested tables (string keys only).  On success leaves the
** name found on the stack top (in place of the table).
*/
static int findfield(lua_State *L, int objidx, int level) {
    if (level == 0 || !lua_istable(L, -1)) return 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        if (lua_type(L, -2) == LUA_TSTRING) {
            if (lua_rawequal(L, objidx, -1)) {
                lua_pop(L, 1);
                return 1;
            } else if (findfield(L, objidx, level - 1)) {
                lua_remove(L, -2);
                lua_pushliteral(L, ".");
                lua_insert(L, -2);
                lua_concat(L, 3); /* "outer.inner" */
                return 1;
            }
        }
        lua_pop(L, 1);
    }
    return 0;
}

/* pushes the global name of the function of 'ar' (1), or nothing (0) */
static int pushglobalfuncname(lua_State *L, lua_Debug *ar) {
    int top = lua_gettop(L);
    lua_getinfo(L, "f", ar);
    lua_pushglobaltable(L);
    if (findfield(L, top + 1, 2)) {
        lua_copy(L, -1, top + 1);
        lua_pop(L, 2);
        return 1;
    }
    lua_settop(L, top);
    return 0;
}

static void pushfuncname(lua_State *L, lua_Debug *ar) {
    if (*ar->namewhat != '\0')
        lua_pushfstring(L, "function '%s'", ar->name);
    else if (*ar->what == 'm')
        lua_pushliteral(L, "main chunk");
    else if (*ar->what == 'C') {
        if (pushglobalfuncname(L, ar)) {
            lua_pushfstring(L, "function '%s'", lua_tostring(L, -1));
            lua_remove(L, -2);
        } else
            lua_pushliteral(L, "?");
    } else {
        lua_pushfstring(L, "function <%s:", ar->short_src);
        pushcint(L, "%d>", ar->linedefined);
        lua_concat(L, 2);
    }
}

/* index of the deepest level of L's stack: a bound by doubling, then
   bisection, so deep stacks cost few lua_getstack walks */
static int countlevels(lua_State *L) {
    lua_Debug ar;
    int below = 1; /* a level known to exist (or 1) */
    int above = 1; /* a level to test, then one known to be missing */
    while (lua_getstack(L, above, &ar)) {
        below = above;
        above *= 2;
    }
    while (below < above) {
        int mid = below + (above - below) / 2;
        if (lua_getstack(L, mid, &ar))
            below = mid + 1;
        else
            above = mid;
    }
    return above - 1;
}

/* appends "\n\t<source>:<line>: in <function>" for one level to the
   traceback text that starts at stack slot top + 1 */
static void addlevelline(lua_State *L, lua_State *L1, lua_Debug *ar, int top) {
    lua_getinfo(L1, "Slnt", ar);
    lua_pushfstring(L, "\n\t%s:", ar->short_src);
    if (ar->currentline > 0) pushcint(L, "%d:", ar->currentline);
    lua_pushliteral(L, " in ");
    pushfuncname(L, ar);
    if (ar->istailcall) lua_pushliteral(L, "\n\t(...tail calls...)");
    lua_concat(L, lua_gettop(L) - top);
}

/* One line per level from 'level' down; a stack deeper than both windows
   lists the levels before LEVELS1, "...", and then its last levels from
   numlevels - LEVELS2 on. */
LUALIB_API void luaL_traceback(lua_State *L, lua_State *L1, const char *msg, int level) {
    int top = lua_gettop(L);
    int numlevels = countlevels(L1);
    bool elide = numlevels > LEVELS1 + LEVELS2;
    if (msg) lua_pushfstring(L, "%s\n", msg);
    lua_pushliteral(L, "stack traceback:");
    lua_Debug ar;
    while (lua_getstack(L1, level, &ar)) {
        if (elide && level == LEVELS1 - 1) {
            lua_pushliteral(L, "\n\t...");
            level = numlevels - LEVELS2;
            continue;
        }
        addlevelline(L, L1, &ar, top);
        level++;
    }
    lua_concat(L, lua_gettop(L) - top);
}

/* Names the function from its call site, or failing that from the globals.
   In a method call the receiver is not counted, and a bad receiver gets
   its own message. */
LUALIB_API int luaL_argerror(lua_State *L, int narg, const char *extramsg) {
    lua_Debug ar;
    if (!lua_getstack(L, 0, &ar))
        return luaL_error(L, "bad argument #%d (%s)", luaL_intarg(narg), extramsg);
    lua_getinfo(L, "n", &ar);
    if (std::strcmp(ar.namewhat, "method") == 0) {
        narg--;
        if (narg == 0) return luaL_error(L, "calling '%s' on bad self (%s)", ar.name, extramsg);
    }
    if (ar.name == NULL) ar.name = (pushglobalfuncname(L, &ar)) ? lua_tostring(L, -1) : "?";
    return luaL_error(L, "bad argument #%d to '%s' (%s)", luaL_intarg(narg), ar.name, extramsg);
}

static int typeerror(lua_State *L, int narg, const char *tname) {
    const char *msg = lua_pushfstring(L, "%s expected, got %s", tname, luaL_typename(L, narg));
    return luaL_argerror(L, narg, msg);
}

static void tag_error(lua_State *L, int narg, int tag) { typeerror(L, narg, lua_typename(L, tag)); }

LUALIB_API void luaL_where(lua_State *L, int level) {
    lua_Debug ar;
    if (lua_getstack(L, level, &ar)) {
        lua_getinfo(L, "Sl", &ar);
        if (ar.currentline > 0) {
            char buff[LUA_IDSIZE + 32];
            int len = std::snprintf(buff, sizeof(buff), "%s:%d: ", ar.short_src, ar.currentline);
            if (len < 0) len = 0;
            if ((size_t)len >= sizeof(buff)) len = (int)sizeof(buff) - 1;
            lua_pushlstring(L, buff, (size_t)len);
            zibo6_runtime_line = ar.currentline;
            return;
        }
    }
    lua_pushliteral(L, ""); /* C function or no such level: no position */
}

LUALIB_API int luaL_error(lua_State *L, const char *fmt, ...) {
    va_list argp;
    va_start(argp, fmt);
    luaL_where(L, 1);
    lua_pushvfstring(L, fmt, argp);
    va_end(argp);
    lua_concat(L, 2);
    return lua_error(L);
}

LUALIB_API int luaL_fileresult(lua_State *L, int stat, const char *fname) {
    int en = errno;
    if (stat) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushnil(L);
    if (fname)
        lua_pushfstring(L, "%s: %s", fname, std::strerror(en));
    else
        lua_pushstring(L, std::strerror(en));
    lua_pushinteger(L, en);
    return 3;
}

LUALIB_API int luaL_execresult(lua_State *L, int stat) {
    const char *what = "exit";
    if (stat == -1) return luaL_fileresult(L, 0, NULL);
    /* the exit code or signal, not the raw wait status */
    if (WIFEXITED(stat))
        stat = WEXITSTATUS(stat);
    else if (WIFSIGNALED(stat)) {
        stat = WTERMSIG(stat);
        what = "signal";
    }
    if (*what == 'e' && stat == 0)
        lua_pushboolean(L, 1);
    else
        lua_pushnil(L);
    lua_pushstring(L, what);
    lua_pushinteger(L, stat);
    return 3;
}

LUALIB_API int luaL_newmetatable(lua_State *L, const char *tname) {
    luaL_getmetatable(L, tname);
    if (!lua_isnil(L, -1)) return 0;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, tname);
    return 1;
}

LUALIB_API void luaL_setmetatable(lua_State *L, const char *tname) {
    luaL_getmetatable(L, tname);
    lua_setmetatable(L, -2);
}

LUALIB_API void *luaL_testudata(lua_State *L, int ud, const char *tname) {
    void *p = lua_touserdata(L, ud);
    if (p != NULL) {
        if (lua_getmetatable(L, ud)) {
            luaL_getmetatable(L, tname);
            if (!lua_rawequal(L, -1, -2)) p = NULL;
            lua_pop(L, 2);
            return p;
        }
    }
    return NULL;
}

LUALIB_API void *luaL_checkudata(lua_State *L, int ud, const char *tname) {
    void *p = luaL_testudata(L, ud, tname);
    if (p == NULL) typeerror(L, ud, tname);
    return p;
}

LUALIB_API int luaL_checkoption(lua_State *L, int narg, const char *def, const char *const lst[]) {
    const char *name = (def) ? luaL_optstring(L, narg, def) : luaL_checkstring(L, narg);
    for (int i = 0; lst[i]; i++)
        if (std::strcmp(lst[i], name) == 0) return i;
    return luaL_argerror(L, narg, lua_pushfstring(L, "invalid option '%s'", name));
}

LUALIB_API void luaL_checkstack(lua_State *L, int space, const char *msg) {
    /* the error path itself needs stack: ask for LUA_MINSTACK more */
    const int extra = LUA_MINSTACK;
    if (space > INT32_MAX - extra || !lua_checkstack(L, space + extra)) {
        if (msg)
            luaL_error(L, "stack overflow (%s)", msg);
        else
            luaL_error(L, "stack overflow");
    }
}

LUALIB_API void luaL_checktype(lua_State *L, int narg, int t) {
    if (lua_type(L, narg) != t) tag_error(L, narg, t);
}

LUALIB_API void luaL_checkany(lua_State *L, int narg) {
    if (lua_type(L, narg) == LUA_TNONE) luaL_argerror(L, narg, "value expected");
}

LUALIB_API const char *luaL_checklstring(lua_State *L, int narg, size_t *len) {
    const char *s = lua_tolstring(L, narg, len);
    if (!s) tag_error(L, narg, LUA_TSTRING);
    return s;
}

LUALIB_API const char *luaL_optlstring(lua_State *L, int narg, const char *def, size_t *len) {
    if (lua_isnoneornil(L, narg)) {
        if (len) *len = (def ? std::strlen(def) : 0);
        return def;
    }
    return luaL_checklstring(L, narg, len);
}

LUALIB_API lua_Number luaL_checknumber(lua_State *L, int narg) {
    int isnum;
    lua_Number d = lua_tonumberx(L, narg, &isnum);
    if (!isnum) tag_error(L, narg, LUA_TNUMBER);
    return d;
}

LUALIB_API lua_Number luaL_optnumber(lua_State *L, int narg, lua_Number def) {
    return luaL_opt(L, luaL_checknumber, narg, def);
}

/* integer and unsigned checks: the integer part of the checked number */
LUALIB_API lua_Integer luaL_checkinteger(lua_State *L, int narg) {
    lua_Integer d;
    lua_number2integer(d, luaL_checknumber(L, narg));
    return d;
}

LUALIB_API lua_Unsigned luaL_checkunsigned(lua_State *L, int narg) {
    lua_Unsigned d;
    lua_number2unsigned(d, luaL_checknumber(L, narg));
    return d;
}

LUALIB_API lua_Integer luaL_optinteger(lua_State *L, int narg, lua_Integer def) {
    return luaL_opt(L, luaL_checkinteger, narg, def);
}

LUALIB_API lua_Unsigned luaL_optunsigned(lua_State *L, int narg, lua_Unsigned def) {
    return luaL_opt(L, luaL_checkunsigned, narg, def);
}

/* Buffers start in the record's own initb; once that is outgrown the bytes
   move to a userdata kept on the stack top while the buffer is in use. */
static bool buffonstack(const luaL_Buffer *B) { return B->b != B->initb; }

/* room for sz more bytes: capacity doubles, or grows to fit exactly when
   doubling is not enough, in a new userdata that replaces the old one */
LUALIB_API char *luaL_prepbuffsize(luaL_Buffer *B, size_t sz) {
    if (B->size - B->n >= sz) return B->b + B->n;
    lua_State *L = B->L;
    if (sz > SIZE_MAX - B->n) luaL_error(L, "buffer too large");
    size_t needed = B->n + sz;
    size_t newsize = (B->size > SIZE_MAX / 2) ? SIZE_MAX : B->size * 2;
    if (newsize < needed) newsize = needed;
    char *grown = (char *)lua_newuserdata(L, newsize);
    std::memcpy(grown, B->b, B->n);
    if (buffonstack(B)) lua_remove(L, -2);
    B->b = grown;
    B->size = newsize;
    return B->b + B->n;
}

LUALIB_API void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l) {
    if (l == 0) return;
    char *b = luaL_prepbuffsize(B, l);
    std::memcpy(b, s, l * sizeof(char));
    luaL_addsize(B, l);
}

LUALIB_API void luaL_addstring(luaL_Buffer *B, const char *s) {
    luaL_addlstring(B, s, std::strlen(s));
}

LUALIB_API void luaL_pushresult(luaL_Buffer *B) {
    lua_State *L = B->L;
    lua_pushlstring(L, B->b, B->n);
    if (buffonstack(B)) lua_remove(L, -2);
}

LUALIB_API void luaL_pushresultsize(luaL_Buffer *B, size_t sz) {
    luaL_addsize(B, sz);
    luaL_pushresult(B);
}

/* appends the value on the stack top and pops it; a boxed buffer has to
   stay on top while it may grow, so the value is moved under it first */
LUALIB_API void luaL_addvalue(luaL_Buffer *B) {
    lua_State *L = B->L;
    size_t l;
    const char *s = lua_tolstring(L, -1, &l);
    if (buffonstack(B)) lua_insert(L, -2);
    luaL_addlstring(B, s, l);
    /* re-tested: adding may just have moved the buffer into a box */
    lua_remove(L, buffonstack(B) ? -2 : -1);
}

LUALIB_API void luaL_buffinit(lua_State *L, luaL_Buffer *B) {
    B->L = L;
    B->b = B->initb;
    B->n = 0;
    B->size = LUAL_INITBUFFSIZE;
}

LUALIB_API char *luaL_buffinitsize(lua_State *L, luaL_Buffer *B, size_t sz) {
    luaL_buffinit(L, B);
    return luaL_prepbuffsize(B, sz);
}

/*
** Slot 0 of a reference table heads the list of released references;
** each released slot holds the number of the next one (0 ends the list).
*/
#define freelist 0

LUALIB_API int luaL_ref(lua_State *L, int t) {
    int ref;
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return LUA_REFNIL;
    }
    t = lua_absindex(L, t);
    lua_rawgeti(L, t, freelist);
    ref = (int)lua_tointeger(L, -1);
    lua_pop(L, 1);
    if (ref != 0) {
        lua_rawgeti(L, t, ref);
        lua_rawseti(L, t, freelist);
    } else {
        ref = (int)lua_rawlen(L, t) + 1;
        /* a reference is a list index: 32768 would be the key -32768 */
        if (ref > Z6_MAXARRAYKEY) return luaL_error(L, "too many references");
    }
    lua_rawseti(L, t, ref);
    return ref;
}

LUALIB_API void luaL_unref(lua_State *L, int t, int ref) {
    if (ref >= 0) {
        t = lua_absindex(L, t);
        lua_rawgeti(L, t, freelist);
        lua_rawseti(L, t, ref);
        lua_pushinteger(L, ref);
        lua_rawseti(L, t, freelist);
    }
}

typedef struct LoadF {
    int n;
    std::FILE *f;
    char buff[8192];
} LoadF;

static const char *getF(lua_State *L, void *ud, size_t *size) {
    LoadF *lf = (LoadF *)ud;
    (void)L;
    if (lf->n > 0) { /* bytes skipcomment read ahead go first */
        *size = (size_t)lf->n;
        lf->n = 0;
        return lf->buff;
    }
    /* a read error ends the chunk too; the caller checks ferror */
    if (std::feof(lf->f)) return NULL;
    *size = std::fread(lf->buff, 1, sizeof(lf->buff), lf->f);
    return lf->buff;
}

static int errfile(lua_State *L, const char *what, int fnameindex) {
    const char *serr = std::strerror(errno);
    const char *filename = lua_tostring(L, fnameindex) + 1;
    lua_pushfstring(L, "cannot %s %s: %s", what, filename, serr);
    lua_remove(L, fnameindex);
    return LUA_ERRFILE;
}

/* Skips a UTF-8 byte-order mark and returns the byte after it.  The bytes
   of a partial mark stay in lf->buff for the loader, and the byte that
   broke it is returned. */
static int skipBOM(LoadF *lf) {
    static const unsigned char bom[] = {0xEF, 0xBB, 0xBF};
    lf->n = 0;
    for (unsigned char want : bom) {
        int c = std::getc(lf->f);
        if (c != want) /* EOF included */
            return c;
        lf->buff[lf->n++] = (char)c;
    }
    lf->n = 0;
    return std::getc(lf->f);
}

/* Skips the mark and a first line starting with '#'; *cp gets the next
   byte.  Returns 1 when a line went, so the caller can put a newline back
   and keep line numbers right. */
static int skipcomment(LoadF *lf, int *cp) {
    *cp = skipBOM(lf);
    if (*cp != '#') return 0;
    int c;
    do { c = std::getc(lf->f); } while (c != EOF && c != '\n');
    *cp = std::getc(lf->f);
    return 1;
}

/*
** The chunk name sits at 'fnameindex' while loading and is removed
** afterwards; a read error replaces whatever the loader left.
*/
LUALIB_API int luaL_loadfilex(lua_State *L, const char *filename, const char *mode) {
    int fnameindex = lua_gettop(L) + 1;
    LoadF lf;
    if (filename == NULL) {
        lua_pushliteral(L, "=stdin");
        lf.f = stdin;
    } else {
        lua_pushfstring(L, "@%s", filename);
        lf.f = std::fopen(filename, "r");
        if (lf.f == NULL) return errfile(L, "open", fnameindex);
    }
    int c;
    if (skipcomment(&lf, &c)) lf.buff[lf.n++] = '\n';
    if (c == LUA_SIGNATURE[0] && filename != NULL) {
        /* precompiled: start over in binary mode */
        lf.f = std::freopen(filename, "rb", lf.f);
        if (lf.f == NULL) return errfile(L, "reopen", fnameindex);
        skipcomment(&lf, &c);
    }
    if (c != EOF) lf.buff[lf.n++] = (char)c;
    int status = lua_load(L, getF, &lf, lua_tostring(L, -1), mode);
    bool readfailed = (std::ferror(lf.f) != 0);
    if (filename != NULL) std::fclose(lf.f);
    if (readfailed) {
        lua_settop(L, fnameindex);
        return errfile(L, "read", fnameindex);
    }
    lua_remove(L, fnameindex);
    return status;
}

typedef struct LoadS {
    const char *s;
    size_t size;
} LoadS;

static const char *getS(lua_State *L, void *ud, size_t *size) {
    LoadS *ls = (LoadS *)ud;
    (void)L;
    if (ls->size == 0) return NULL;
    *size = ls->size;
    ls->size = 0;
    return ls->s;
}

LUALIB_API int luaL_loadbufferx(lua_State *L, const char *buff, size_t size, const char *name,
                                const char *mode) {
    LoadS ls;
    ls.s = buff;
    ls.size = size;
    return lua_load(L, getS, &ls, name ? name : "?", mode);
}

LUALIB_API int luaL_loadstring(lua_State *L, const char *s) {
    return luaL_loadbuffer(L, s, std::strlen(s), s);
}

LUALIB_API int luaL_getmetafield(lua_State *L, int obj, const char *event) {
    if (!lua_getmetatable(L, obj)) return 0;
    lua_pushstring(L, event);
    lua_rawget(L, -2);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 2);
        return 0;
    }
    lua_remove(L, -2);
    return 1;
}

LUALIB_API int luaL_callmeta(lua_State *L, int obj, const char *event) {
    obj = lua_absindex(L, obj);
    if (!luaL_getmetafield(L, obj, event)) return 0;
    lua_pushvalue(L, obj);
    lua_call(L, 1, 1);
    return 1;
}

LUALIB_API int luaL_len(lua_State *L, int idx) {
    int isnum;
    lua_len(L, idx);
    int l = (int)lua_tointegerx(L, -1, &isnum);
    if (!isnum) luaL_error(L, "object length is not a number");
    lua_pop(L, 1);
    return l;
}

/* __tostring's result when there is one (NULL if it is no string), else
   the value's own text */
LUALIB_API const char *luaL_tolstring(lua_State *L, int idx, size_t *len) {
    if (luaL_callmeta(L, idx, "__tostring")) return lua_tolstring(L, -1, len);
    switch (lua_type(L, idx)) {
    case LUA_TNUMBER:
    case LUA_TSTRING: lua_pushvalue(L, idx); break;
    case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, idx) ? "true" : "false"); break;
    case LUA_TNIL: lua_pushliteral(L, "nil"); break;
    default: lua_pushfstring(L, "%s: %p", luaL_typename(L, idx), lua_topointer(L, idx)); break;
    }
    return lua_tolstring(L, -1, len);
}

/* registers l into the table under the nup upvalues on the stack top, each
   function closing over copies of them; pops the upvalues */
LUALIB_API void luaL_setfuncs(lua_State *L, const luaL_Reg *l, int nup) {
    luaL_checkversion(L);
    luaL_checkstack(L, nup, "too many upvalues");
    for (; l->name != NULL; l++) {
        for (int i = 0; i < nup; i++) lua_pushvalue(L, -nup);
        lua_pushcclosure(L, l->func, nup);
        lua_setfield(L, -(nup + 2), l->name);
    }
    lua_pop(L, nup);
}

/* pushes t[fname] for the table at idx, creating it when it is no table;
   1 when it already existed */
LUALIB_API int luaL_getsubtable(lua_State *L, int idx, const char *fname) {
    lua_getfield(L, idx, fname);
    if (lua_istable(L, -1)) return 1;
    lua_pop(L, 1);
    idx = lua_absindex(L, idx);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, idx, fname);
    return 0;
}

/* opens a module as require would (recorded in _LOADED) and leaves it on the
   stack; glb also makes it a global */
LUALIB_API void luaL_requiref(lua_State *L, const char *modname, lua_CFunction openf, int glb) {
    lua_pushcfunction(L, openf);
    lua_pushstring(L, modname);
    lua_call(L, 1, 1);
    luaL_getsubtable(L, LUA_REGISTRYINDEX, "_LOADED");
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, modname);
    lua_pop(L, 1);
    if (glb) {
        lua_pushvalue(L, -1);
        lua_setglobal(L, modname);
    }
}

/* pushes (and returns) s with every occurrence of p replaced by r */
LUALIB_API const char *luaL_gsub(lua_State *L, const char *s, const char *p, const char *r) {
    size_t lp = std::strlen(p);
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (const char *hit; (hit = std::strstr(s, p)) != NULL; s = hit + lp) {
        luaL_addlstring(&b, s, (size_t)(hit - s));
        luaL_addstring(&b, r);
    }
    luaL_addstring(&b, s);
    luaL_pushresult(&b);
    return lua_tostring(L, -1);
}

static void *l_alloc(void *ud, void *ptr, size_t osize, size_t nsize) {
    (void)ud;
    (void)osize;
    if (nsize == 0) {
        std::free(ptr);
        return NULL;
    }
    return std::realloc(ptr, nsize);
}

static int panic(lua_State *L) {
    std::fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", lua_tostring(L, -1));
    std::fflush(stderr);
    return 0;
}

LUALIB_API lua_State *luaL_newstate(void) {
    lua_State *L = lua_newstate(l_alloc, NULL);
    if (L) lua_atpanic(L, &panic);
    return L;
}

LUALIB_API void luaL_checkversion_(lua_State *L, lua_Number ver) {
    const lua_Number *v = lua_version(L);
    if (v != lua_version(NULL))
        luaL_error(L, "multiple Lua VMs detected");
    else if (*v != ver)
        luaL_error(L, "version mismatch: app. needs %f, Lua core provides %f", luaL_intarg(ver),
                   luaL_intarg(*v));
}
