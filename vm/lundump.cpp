/*
** Binary chunk reader. Chunks are trusted input (the code is not
** verified), but a short, cut or malformed chunk is refused with an error
** and never makes the reader write out of bounds or allocate memory for
** data that is not there.
*/
#include "vm/lundump.h"

#include <bit>
#include <cstring>

#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lgc.h"
#include "vm/lmem.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lstring.h"

namespace {

struct LoadState {
    lua_State *L;
    ZIO *Z;           /* input */
    Mbuffer *b;       /* string buffer */
    const char *name; /* chunk name for messages */
    int depth;        /* nesting of function records */
};

/* nested function records deeper than the parser can produce are corrupt */
constexpr int MAXDEPTH = LUAI_MAXCCALLS;

/* vectors are first allocated at most this long and grow with the data read */
constexpr int FIRSTCHUNK = 64;

[[noreturn]] void error(LoadState *S, const char *why) {
    luaO_pushfstring(S->L, "%s: %s precompiled chunk", S->name, why);
    luaD_throw(S->L, LUA_ERRSYNTAX);
}

void LoadBlock(LoadState *S, void *b, size_t size) {
    if (luaZ_read(S->Z, b, size) != 0) error(S, "truncated");
}

/* an unsigned little-endian value of n bytes */
uint64_t LoadLE(LoadState *S, size_t n) {
    unsigned char b[8] = {};
    LoadBlock(S, b, n);
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(&v, b, sizeof v); // the bytes past n are zero
    else
        for (size_t i = n; i-- > 0;) v = (v << 8) | b[i];
    return v;
}

int LoadChar(LoadState *S) { return static_cast<int>(LoadLE(S, 1)); }

int LoadInt(LoadState *S) {
    return static_cast<int>(static_cast<uint32_t>(LoadLE(S, sizeof(int))));
}

/* A count read from the chunk: never negative, at most limit. Every count
** goes through here before it sizes anything. */
int LoadCount(LoadState *S, int limit) {
    int n = LoadInt(S);
    if (n < 0 || n > limit) error(S, "corrupted");
    return n;
}

lua_Number LoadNumber(LoadState *S) {
    return static_cast<lua_Number>(static_cast<uint32_t>(LoadLE(S, sizeof(lua_Number))));
}

TString *LoadStringJut(LoadState *S) {
    size_t size = static_cast<size_t>(LoadLE(S, sizeof(size_t)));
    if (size == 0) return nullptr;
    /* read in pieces so that a corrupt size costs only the bytes present */
    Mbuffer *b = S->b;
    size_t have = 0;
    while (have < size) {
        size_t want = size - have;
        size_t room = luaZ_sizebuffer(b) > have ? luaZ_sizebuffer(b) - have : 0;
        if (room == 0) {
            size_t grow = luaZ_sizebuffer(b) < 4096 ? 4096 : luaZ_sizebuffer(b);
            size_t newsize = (size - have > grow) ? have + grow : size;
            char *p = luaZ_openspace(S->L, b, newsize);
            (void)p;
            room = luaZ_sizebuffer(b) - have;
        }
        if (want > room) want = room;
        LoadBlock(S, luaZ_buffer(b) + have, want);
        have += want;
    }
    if (luaZ_buffer(b)[size - 1] != '\0') error(S, "corrupted");
    return luaS_newlstr(S->L, luaZ_buffer(b), size - 1);
}

/* Makes index i of a vector of n entries valid, growing it by doubling so
** that a corrupt count costs no more memory than the data present. New
** entries get fill; size is kept exact for the collector. */
template <typename T> int grow(LoadState *S, T *&v, int &size, int n) {
    int old = size;
    int newsize = (size == 0) ? (n < FIRSTCHUNK ? n : FIRSTCHUNK) : (size > n / 2 ? n : size * 2);
    luaM_reallocvector(S->L, v, size, newsize, T);
    size = newsize;
    return old;
}

template <typename T> void reserve(LoadState *S, T *&v, int &size, int i, int n, const T &fill) {
    if (i < size) return;
    for (int j = grow(S, v, size, n); j < size; j++) v[j] = fill;
}

/* n little-endian 32-bit words into v (sized as reserve sizes it): on a
** little-endian host each growth of the vector is filled in one read, so
** nothing fills it first (plain words: a vector cut short by a truncated
** chunk belongs to a prototype that is thrown away unread). */
template <typename T> void LoadWords(LoadState *S, T *&v, int &size, int n) {
    static_assert(sizeof(T) == 4);
    for (int i = 0; i < n;) {
        if constexpr (std::endian::native == std::endian::little) {
            if (i >= size) grow<T>(S, v, size, n);
            int upto = size < n ? size : n;
            LoadBlock(S, v + i, size_t(upto - i) * sizeof(T));
            i = upto;
        } else {
            reserve<T>(S, v, size, i, n, 0);
            v[i++] = static_cast<T>(static_cast<uint32_t>(LoadLE(S, 4)));
        }
    }
}

void LoadFunction(LoadState *S, Proto *f);

void LoadCode(LoadState *S, Proto *f) {
    int n = LoadCount(S, MAX_INT);
    LoadWords(S, f->code, f->sizecode, n);
}

void LoadConstants(LoadState *S, Proto *f) {
    lua_State *L = S->L;
    int n = LoadCount(S, MAXARG_Ax + 1);
    TValue nil;
    setnilvalue(&nil);
    for (int i = 0; i < n; i++) {
        reserve<TValue>(S, f->k, f->sizek, i, n, nil);
        TValue *o = &f->k[i];
        switch (LoadChar(S)) {
        case LUA_TNIL: setnilvalue(o); break;
        case LUA_TBOOLEAN: setbvalue(o, LoadChar(S) != 0); break;
        case LUA_TNUMBER: setnvalue(o, LoadNumber(S)); break;
        case LUA_TSTRING: {
            TString *s = LoadStringJut(S);
            if (s == nullptr) error(S, "corrupted");
            setsvalue2n(L, o, s);
            luaC_objbarrier(L, f, s);
            break;
        }
        default: error(S, "corrupted");
        }
    }
    n = LoadCount(S, MAXARG_Bx + 1);
    for (int i = 0; i < n; i++) {
        reserve<Proto *>(S, f->p, f->sizep, i, n, nullptr);
        Proto *p = luaF_newproto(L);
        f->p[i] = p;
        luaC_objbarrier(L, f, p);
        LoadFunction(S, p);
    }
}

void LoadUpvalues(LoadState *S, Proto *f) {
    int n = LoadCount(S, MAXUPVAL);
    Upvaldesc none = {nullptr, 0, 0};
    for (int i = 0; i < n; i++) {
        reserve<Upvaldesc>(S, f->upvalues, f->sizeupvalues, i, n, none);
        f->upvalues[i].instack = static_cast<lu_byte>(LoadChar(S));
        f->upvalues[i].idx = static_cast<lu_byte>(LoadChar(S));
    }
}

void LoadDebug(LoadState *S, Proto *f) {
    lua_State *L = S->L;
    f->source = LoadStringJut(S);
    if (f->source) luaC_objbarrier(L, f, f->source);
    /* line information is all or nothing: the debug code indexes it by pc */
    int n = LoadCount(S, f->sizecode);
    if (n != 0 && n != f->sizecode) error(S, "corrupted");
    LoadWords(S, f->lineinfo, f->sizelineinfo, n);
    n = LoadCount(S, SHRT_MAX);
    LocVar nolocal = {nullptr, 0, 0};
    for (int i = 0; i < n; i++) {
        reserve<LocVar>(S, f->locvars, f->sizelocvars, i, n, nolocal);
        TString *name = LoadStringJut(S);
        f->locvars[i].varname = name;
        if (name) luaC_objbarrier(L, f, name);
        f->locvars[i].startpc = LoadInt(S);
        f->locvars[i].endpc = LoadInt(S);
    }
    n = LoadCount(S, f->sizeupvalues); /* names of the upvalues read above, no more */
    for (int i = 0; i < n; i++) {
        TString *name = LoadStringJut(S);
        f->upvalues[i].name = name;
        if (name) luaC_objbarrier(L, f, name);
    }
}

void LoadFunction(LoadState *S, Proto *f) {
    if (++S->depth > MAXDEPTH) error(S, "corrupted");
    f->linedefined = LoadInt(S);
    f->lastlinedefined = LoadInt(S);
    f->numparams = static_cast<lu_byte>(LoadChar(S));
    f->is_vararg = static_cast<lu_byte>(LoadChar(S));
    f->maxstacksize = static_cast<lu_byte>(LoadChar(S));
    LoadCode(S, f);
    LoadConstants(S, f);
    LoadUpvalues(S, f);
    LoadDebug(S, f);
    S->depth--;
}

void LoadHeader(LoadState *S) {
    lu_byte h[LUAC_HEADERSIZE];
    lu_byte s[LUAC_HEADERSIZE];
    luaU_header(h);
    s[0] = h[0]; /* the loader has consumed the first byte already */
    LoadBlock(S, s + 1, LUAC_HEADERSIZE - 1);
    if (std::memcmp(h, s, LUAC_HEADERSIZE) == 0) return;
    if (std::memcmp(h, s, 4) != 0) error(S, "not a");
    if (std::memcmp(h, s, 5) != 0) error(S, "version mismatch in");
    if (std::memcmp(h, s, 12) != 0) error(S, "incompatible");
    error(S, "corrupted");
}

} // namespace

Closure *luaU_undump(lua_State *L, ZIO *Z, Mbuffer *buff, const char *name) {
    LoadState S;
    if (*name == '@' || *name == '=')
        S.name = name + 1;
    else if (*name == LUA_SIGNATURE[0])
        S.name = "binary string";
    else
        S.name = name;
    S.L = L;
    S.Z = Z;
    S.b = buff;
    S.depth = 0;
    LoadHeader(&S);
    Closure *cl = luaF_newLclosure(L, 1);
    setclLvalue(L, L->top, cl); /* anchors everything loaded */
    incr_top(L);
    cl->l.p = luaF_newproto(L);
    luaC_objbarrier(L, &cl->l, cl->l.p);
    LoadFunction(&S, cl->l.p);
    if (cl->l.p->sizeupvalues != 1) { /* the main function wants another number of upvalue slots */
        Proto *p = cl->l.p;
        cl = luaF_newLclosure(L, cl->l.p->sizeupvalues);
        cl->l.p = p;
        setclLvalue(L, L->top - 1, cl);
    }
    return cl;
}
