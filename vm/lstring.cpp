/*
** Script VM: strings.  Short strings (at most 40 bytes) are interned in
** one hash table per state; long strings are separate objects whose hash
** is computed on first use as a table key.
*/
#include "vm/lstring.h"

#include <cstring>

#include "vm/lmem.h"
#include "vm/lstate.h"

/*
** Hash of a string: every ((l >> 5) + 1)-th byte from the end, so that
** long texts cost a bounded number of steps.
*/
#define LUAI_HASHLIMIT 5

unsigned int luaS_hash(const char *str, size_t l, unsigned int seed) {
    unsigned int h = seed ^ cast(unsigned int, l);
    size_t step = (l >> LUAI_HASHLIMIT) + 1;
    for (size_t l1 = l; l1 >= step; l1 -= step)
        h = h ^ ((h << 5) + (h >> 2) + cast_byte(str[l1 - 1]));
    return h;
}

/* long strings are equal by length and bytes */
int luaS_eqlngstr(TString *a, TString *b) {
    size_t len = a->tsv.len;
    lua_assert(a->tsv.tt == LUA_TLNGSTR && b->tsv.tt == LUA_TLNGSTR);
    return (a == b) ||
           ((len == b->tsv.len) && (len == 0 || std::memcmp(getstr(a), getstr(b), len) == 0));
}

/* string equality for either kind */
int luaS_eqstr(TString *a, TString *b) {
    return (a->tsv.tt == b->tsv.tt) &&
           (a->tsv.tt == LUA_TSHRSTR ? eqshrstr(a, b) : luaS_eqlngstr(a, b));
}

/* moves every string of the first 'used' buckets to its bucket for 'size' */
static void rehash(GCObject **hash, int used, int size) {
    for (int i = 0; i < used; i++) {
        GCObject *p = hash[i];
        hash[i] = NULL;
        while (p) {
            GCObject *next = gch(p)->next;
            unsigned int h = lmod(gco2ts(p)->hash, size);
            gch(p)->next = hash[h];
            hash[h] = p;
            resetoldbit(p);
            p = next;
        }
    }
}

/* resizes the string table (the bucket count is a power of two) */
void luaS_resize(lua_State *L, int newsize) {
    stringtable *tb = &G(L)->strt;
    /* the string sweep walks the buckets: finish it first */
    luaC_runtilstate(L, ~bitmask(GCSsweepstring));
    if (newsize > tb->size) {
        luaM_reallocvector(L, tb->hash, tb->size, newsize, GCObject *);
        for (int i = tb->size; i < newsize; i++) tb->hash[i] = NULL;
        rehash(tb->hash, tb->size, newsize);
    } else if (newsize < tb->size) {
        /* the collector shrinks the table and must not raise: when the
           shrink is refused the strings go back to their old buckets */
        rehash(tb->hash, tb->size, newsize);
        lua_assert(tb->hash[newsize] == NULL && tb->hash[tb->size - 1] == NULL);
        if (!luaM_tryshrinkvector(L, tb->hash, tb->size, newsize, GCObject *)) {
            rehash(tb->hash, newsize, tb->size);
            return;
        }
    }
    tb->size = newsize;
}

/* a string object with a copy of the text and a terminating zero */
static TString *createstrobj(lua_State *L, const char *str, size_t l, int tag, unsigned int h,
                             GCObject **list) {
    size_t totalsize = sizeof(TString) + ((l + 1) * sizeof(char));
    TString *ts = &luaC_newobj(L, tag, totalsize, list, 0)->ts;
    ts->tsv.len = l;
    ts->tsv.hash = h;
    ts->tsv.extra = 0;
    char *dst = cast(char *, ts + 1);
    if (l > 0) std::memcpy(dst, str, l * sizeof(char));
    dst[l] = '\0';
    return ts;
}

/* a new short string at the head of its bucket; the table doubles when
   it holds as many strings as buckets */
static TString *newshrstr(lua_State *L, const char *str, size_t l, unsigned int h) {
    stringtable *tb = &G(L)->strt;
    if (tb->nuse >= cast(lu_int32, tb->size) && tb->size <= MAX_INT / 2)
        luaS_resize(L, tb->size * 2);
    /* an emergency collection during the allocation never resizes the table,
     so the bucket address stays valid */
    GCObject **list = &tb->hash[lmod(h, tb->size)];
    TString *s = createstrobj(L, str, l, LUA_TSHRSTR, h, list);
    tb->nuse++;
    return s;
}

/* the interned copy of a short string; one the collector already judged
   dead in this cycle is revived by flipping its white */
static TString *internshrstr(lua_State *L, const char *str, size_t l) {
    GCObject *o;
    global_State *g = G(L);
    unsigned int h = luaS_hash(str, l, g->seed);
    for (o = g->strt.hash[lmod(h, g->strt.size)]; o != NULL; o = gch(o)->next) {
        TString *ts = rawgco2ts(o);
        if (h == ts->tsv.hash && l == ts->tsv.len &&
            (l == 0 || std::memcmp(str, getstr(ts), l * sizeof(char)) == 0)) {
            if (isdead(G(L), o)) changewhite(o);
            return ts;
        }
    }
    return newshrstr(L, str, l, h);
}

/* a string of l bytes (interned when short) */
TString *luaS_newlstr(lua_State *L, const char *str, size_t l) {
    if (l <= LUAI_MAXSHORTLEN) return internshrstr(L, str, l);
    if (l + 1 > (MAX_SIZET - sizeof(TString)) / sizeof(char)) luaM_toobig(L);
    return createstrobj(L, str, l, LUA_TLNGSTR, G(L)->seed, NULL);
}

TString *luaS_new(lua_State *L, const char *str) { return luaS_newlstr(L, str, std::strlen(str)); }

Udata *luaS_newudata(lua_State *L, size_t s, Table *e) {
    Udata *u;
    if (s > MAX_SIZET - sizeof(Udata)) luaM_toobig(L);
    u = &luaC_newobj(L, LUA_TUSERDATA, sizeof(Udata) + s, NULL, 0)->u;
    u->uv.len = s;
    u->uv.metatable = NULL;
    u->uv.env = e;
    return u;
}
