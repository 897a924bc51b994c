/*
** Script VM: the garbage collector.
** Incremental tri-colour mark and sweep.  New objects are white; marking
** turns reachable objects gray (reached, references pending) and then black;
** the atomic phase finishes marking, clears weak tables and separates
** unreachable objects with finalizers; the sweep frees what is still white
** (of the old white: the two whites swap every cycle) and repaints the rest.
** Generational mode keeps survivors as "old" and sweeps only the young.
*/
#include "vm/lgc.h"

#include <cstring>

#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lmem.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/ltm.h"

/* list elements swept in one step, and the work one swept element counts */
#define GCSWEEPMAX  85
#define GCSWEEPCOST 7

/* finalizers called in one step */
#define GCFINALIZENUM 4

/* debt is divided by this (and multiplied by the step multiplier) to get
   the work units of a step; the pause is a percentage */
#define STEPMULADJ 200
#define PAUSEADJ   100

/* keeps every mark bit except the colours and the old bit */
#define maskcolors (~(bit2mask(BLACKBIT, OLDBIT) | WHITEBITS))

/* repaints an object in this cycle's white (and makes it young again) */
#define makewhite(g, x) (gch(x)->marked = cast_byte((gch(x)->marked & maskcolors) | luaC_white(g)))

#define white2gray(x) resetbits(gch(x)->marked, WHITEBITS)
#define black2gray(x) resetbit(gch(x)->marked, BLACKBIT)

#define isfinalized(x) testbit(gch(x)->marked, FINALIZEDBIT)

#define checkdeadkey(n) lua_assert(!ttisdeadkey(gkey(n)) || ttisnil(gval(n)))

#define checkconsistency(obj) lua_longassert(!iscollectable(obj) || righttt(obj))

#define markobject(g, t)                                                                           \
    {                                                                                              \
        if ((t) && iswhite(obj2gco(t))) reallymarkobject(g, obj2gco(t));                           \
    }

static void reallymarkobject(global_State *g, GCObject *o);

static void markvalue(global_State *g, const TValue *o) {
    checkconsistency(o);
    if (valiswhite(o)) reallymarkobject(g, gcvalue(o));
}

/* A cycle usually starts on a cold heap (a whole frame ran since the last
   one), so testing the colour of a referenced object is a cache miss, and
   the misses of one traversal are independent of each other.  Asking for
   objects ahead of their test lets those misses overlap instead of being
   paid one after another.  This only touches memory early: what gets
   marked, and in what order, does not change. */
#define PREFETCH_AHEAD 32 /* table nodes or array slots ahead of the one tested */
#define prefetchobj(o)  __builtin_prefetch((o), 1)
#define prefetchread(o) __builtin_prefetch((o), 0)

static inline void prefetchvalue(const TValue *o) {
    if (iscollectable(o)) prefetchobj(gcvalue(o));
}

/* the gray-list link of an object whose traversal is deferred */
static GCObject **gclistof(GCObject *o) {
    switch (gch(o)->tt) {
    case LUA_TTABLE: return &gco2t(o)->gclist;
    case LUA_TLCL: return &gco2lcl(o)->gclist;
    case LUA_TCCL: return &gco2ccl(o)->gclist;
    case LUA_TTHREAD: return &gco2th(o)->gclist;
    case LUA_TPROTO: return &gco2p(o)->gclist;
    default: lua_assert(0); return NULL;
    }
}

/* puts such an object at the head of a gray list */
static void linkgclist(GCObject *o, GCObject **list) {
    *gclistof(o) = *list;
    *list = o;
}

/* one past the last node of a table */
#define gnodelast(h) gnode(h, cast(size_t, sizenode(h)))

#define linktable(h, p) ((h)->gclist = *(p), *(p) = obj2gco(h))

#define sweepwholelist(L, p) sweeplist(L, p, MAX_LUMEM)

#define sweepphases (bitmask(GCSsweepstring) | bitmask(GCSsweepudata) | bitmask(GCSsweep))

/* an empty node whose key is unmarked gets a dead key: 'next' can still
   walk past it, and the key object may be freed */
static void removeentry(Node *n) {
    lua_assert(ttisnil(gval(n)));
    if (valiswhite(gkey(n))) setdeadvalue(gkey(n));
}

/* may this key or value be dropped from a weak table?  Strings never are
   (they count as values): they get marked here instead */
static int iscleared(global_State *g, const TValue *o) {
    if (!iscollectable(o)) return 0;
    if (ttisstring(o)) {
        markobject(g, rawtsvalue(o));
        return 0;
    }
    return iswhite(gcvalue(o));
}

/* forward barrier: a black object now points to a white one; while marking,
   mark the white one; while sweeping, whiten the black one instead */
void luaC_barrier_(lua_State *L, GCObject *o, GCObject *v) {
    global_State *g = G(L);
    lua_assert(isblack(o) && iswhite(v) && !isdead(g, v) && !isdead(g, o));
    lua_assert(g->gcstate != GCSpause);
    lua_assert(gch(o)->tt != LUA_TTABLE);
    if (keepinvariant(g))
        reallymarkobject(g, v);
    else {
        lua_assert(issweepphase(g));
        makewhite(g, o);
    }
}

/* backward barrier for tables: the table becomes gray again and is
   re-traversed in the atomic phase */
void luaC_barrierback_(lua_State *L, GCObject *o) {
    global_State *g = G(L);
    lua_assert(isblack(o) && !isdead(g, o) && gch(o)->tt == LUA_TTABLE);
    black2gray(o);
    linkgclist(o, &g->grayagain);
}

/* a prototype's closure cache: forward barrier the first time, then
   backward (re-traverse the prototype atomically) */
void luaC_barrierproto_(lua_State *L, Proto *p, Closure *c) {
    global_State *g = G(L);
    lua_assert(isblack(obj2gco(p)));
    if (p->cache == NULL) {
        luaC_objbarrier(L, p, c);
    } else {
        black2gray(obj2gco(p));
        linkgclist(obj2gco(p), &g->grayagain);
    }
}

/* an upvalue just closed joins 'allgc'; it must not stay gray */
void luaC_checkupvalcolor(global_State *g, UpVal *uv) {
    GCObject *o = obj2gco(uv);
    lua_assert(!isblack(o));
    if (isgray(o)) {
        if (keepinvariant(g)) {
            resetoldbit(o);
            gray2black(o);
            markvalue(g, uv->v);
        } else {
            lua_assert(issweepphase(g));
            makewhite(g, o);
        }
    }
}

/* allocates an object of the given tag and links it at the head of 'list'
   ('allgc' by default); 'offset' skips a prefix that precedes the object */
GCObject *luaC_newobj(lua_State *L, int tt, size_t sz, GCObject **list, int offset) {
    global_State *g = G(L);
    /* the allocator hook sees the full tag: the console weighs long strings
       (LUA_TLNGSTR) and C closures (LUA_TCCL) apart from their base types */
    char *raw = cast(char *, luaM_newobject(L, tt, sz));
    GCObject *o = obj2gco(raw + offset);
    if (list == NULL) list = &g->allgc;
    gch(o)->marked = luaC_white(g);
    gch(o)->tt = cast_byte(tt);
    gch(o)->next = *list;
    *list = o;
    return o;
}

/* marks one object: strings, userdata and closed upvalues are finished at
   once (black); the rest go gray onto the 'gray' list for later traversal */
static void reallymarkobject(global_State *g, GCObject *o) {
    lu_mem size;
    white2gray(o);
    switch (gch(o)->tt) {
    case LUA_TSHRSTR:
    case LUA_TLNGSTR: {
        size = sizestring(gco2ts(o));
        break;
    }
    case LUA_TUSERDATA: {
        Table *mt = gco2u(o)->metatable;
        markobject(g, mt);
        markobject(g, gco2u(o)->env);
        size = sizeudata(gco2u(o));
        break;
    }
    case LUA_TUPVAL: {
        UpVal *uv = gco2uv(o);
        markvalue(g, uv->v);
        if (uv->v != &uv->u.value) return;
        size = sizeof(UpVal);
        break;
    }
    /* gray objects are traversed soon: start loading what the traversal
       reads first (the rest of the object, its node or constant arrays) */
    case LUA_TPROTO: {
        Proto *f = gco2p(o);
        prefetchread(cast(char *, f) + 64);
        prefetchread(f->k);
        prefetchread(f->p);
        prefetchread(f->locvars);
        linkgclist(o, &g->gray);
        return;
    }
    case LUA_TTABLE: {
        prefetchread(gco2t(o)->node);
        linkgclist(o, &g->gray);
        return;
    }
    case LUA_TLCL:
    case LUA_TCCL:
    case LUA_TTHREAD: {
        prefetchread(cast(char *, o) + 64);
        linkgclist(o, &g->gray);
        return;
    }
    default: lua_assert(0); return;
    }
    gray2black(o);
    g->GCmemtrav += size;
}

/* the per-type metatables are roots */
static void markmt(global_State *g) {
    for (int i = 0; i < LUA_NUMTAGS; i++) markobject(g, g->mt[i]);
}

/* objects waiting for their finalizer stay alive, with all they reach,
   until it has run */
static void markbeingfnz(global_State *g) {
    for (GCObject *o = g->tobefnz; o != NULL; o = gch(o)->next) {
        makewhite(g, o);
        reallymarkobject(g, o);
    }
}

/* open upvalues of threads that were not traversed this cycle: their
   values must survive all the same */
static void remarkupvals(global_State *g) {
    for (UpVal *uv = g->uvhead.u.l.next; uv != &g->uvhead; uv = uv->u.l.next) {
        if (isgray(obj2gco(uv))) markvalue(g, uv->v);
    }
}

/* a cycle begins from empty gray lists and the roots */
static void restartcollection(global_State *g) {
    g->gray = g->grayagain = NULL;
    g->weak = g->allweak = g->ephemeron = NULL;
    markobject(g, g->mainthread);
    markvalue(g, &g->l_registry);
    markmt(g);
    markbeingfnz(g);
}

/* weak values: only keys are marked.  A table with an array part is queued
   for clearing without scanning it, since it may well hold white values */
static void traverseweakvalue(global_State *g, Table *h) {
    Node *n, *limit = gnodelast(h);
    int hasclears = (h->sizearray > 0);
    for (n = gnode(h, 0); n < limit; n++) {
        checkdeadkey(n);
        if (ttisnil(gval(n)))
            removeentry(n);
        else {
            lua_assert(!ttisnil(gkey(n)));
            markvalue(g, gkey(n));
            if (!hasclears && iscleared(g, gval(n))) hasclears = 1;
        }
    }
    if (hasclears)
        linktable(h, &g->weak);
    else
        linktable(h, &g->grayagain);
}

/* weak keys: a value is marked only once its key is.  Array slots have
   number keys, which never die, so they are marked outright.  Returns
   whether anything new was marked */
static int traverseephemeron(global_State *g, Table *h) {
    int marked = 0;
    int hasclears = 0;
    int prop = 0;
    Node *n, *limit = gnodelast(h);
    for (int i = 0; i < h->sizearray; i++) {
        if (valiswhite(&h->array[i])) {
            marked = 1;
            reallymarkobject(g, gcvalue(&h->array[i]));
        }
    }
    for (n = gnode(h, 0); n < limit; n++) {
        checkdeadkey(n);
        if (ttisnil(gval(n)))
            removeentry(n);
        else if (iscleared(g, gkey(n))) {
            hasclears = 1;
            if (valiswhite(gval(n))) prop = 1;
        } else if (valiswhite(gval(n))) {
            marked = 1;
            reallymarkobject(g, gcvalue(gval(n)));
        }
    }
    if (prop)
        linktable(h, &g->ephemeron);
    else if (hasclears)
        linktable(h, &g->allweak);
    else
        linktable(h, &g->grayagain);
    return marked;
}

static void traversestrongtable(global_State *g, Table *h) {
    Node *n, *limit = gnodelast(h);
    int sizearray = h->sizearray;
    for (int i = 0; i < sizearray && i < PREFETCH_AHEAD; i++) prefetchvalue(&h->array[i]);
    for (int i = 0; i < sizearray; i++) {
        if (i + PREFETCH_AHEAD < sizearray) prefetchvalue(&h->array[i + PREFETCH_AHEAD]);
        markvalue(g, &h->array[i]);
    }
    for (n = gnode(h, 0); n < limit && n < gnode(h, 0) + PREFETCH_AHEAD; n++) {
        prefetchvalue(gkey(n));
        prefetchvalue(gval(n));
    }
    for (n = gnode(h, 0); n < limit; n++) {
        if (limit - n > PREFETCH_AHEAD) {
            prefetchvalue(gkey(n + PREFETCH_AHEAD));
            prefetchvalue(gval(n + PREFETCH_AHEAD));
        }
        checkdeadkey(n);
        if (ttisnil(gval(n)))
            removeentry(n);
        else {
            lua_assert(!ttisnil(gkey(n)));
            markvalue(g, gkey(n));
            markvalue(g, gval(n));
        }
    }
}

static lu_mem traversetable(global_State *g, Table *h) {
    const char *weakkey, *weakvalue;
    const TValue *mode = gfasttm(g, h->metatable, TM_MODE);
    markobject(g, h->metatable);
    if (mode && ttisstring(mode) &&
        ((weakkey = std::strchr(svalue(mode), 'k')), (weakvalue = std::strchr(svalue(mode), 'v')),
         (weakkey || weakvalue))) {
        black2gray(obj2gco(h));
        if (!weakkey)
            traverseweakvalue(g, h);
        else if (!weakvalue)
            traverseephemeron(g, h);
        else
            linktable(h, &g->allweak);
    } else
        traversestrongtable(g, h);
    return sizeof(Table) + sizeof(TValue) * static_cast<size_t>(h->sizearray) +
           sizeof(Node) * cast(size_t, sizenode(h));
}

static lu_mem traverseproto(global_State *g, Proto *f) {
    int i;
    /* every object the prototype names, then the marking */
    prefetchread(f->upvalues);
    for (i = 0; i < f->sizek; i++) prefetchvalue(&f->k[i]);
    for (i = 0; i < f->sizeupvalues; i++) prefetchobj(f->upvalues[i].name);
    for (i = 0; i < f->sizep; i++) prefetchobj(f->p[i]);
    for (i = 0; i < f->sizelocvars; i++) prefetchobj(f->locvars[i].varname);
    if (f->cache && iswhite(obj2gco(f->cache))) f->cache = NULL;
    markobject(g, f->source);
    for (i = 0; i < f->sizek; i++) markvalue(g, &f->k[i]);
    for (i = 0; i < f->sizeupvalues; i++) markobject(g, f->upvalues[i].name);
    for (i = 0; i < f->sizep; i++) markobject(g, f->p[i]);
    for (i = 0; i < f->sizelocvars; i++) markobject(g, f->locvars[i].varname);
    return sizeof(Proto) + sizeof(Instruction) * static_cast<size_t>(f->sizecode) +
           sizeof(Proto *) * static_cast<size_t>(f->sizep) +
           sizeof(TValue) * static_cast<size_t>(f->sizek) +
           sizeof(int) * static_cast<size_t>(f->sizelineinfo) +
           sizeof(LocVar) * static_cast<size_t>(f->sizelocvars) +
           sizeof(Upvaldesc) * static_cast<size_t>(f->sizeupvalues);
}

static lu_mem traverseCclosure(global_State *g, CClosure *cl) {
    for (int i = 0; i < cl->nupvalues; i++) markvalue(g, &cl->upvalue[i]);
    return static_cast<lu_mem>(sizeCclosure(cl->nupvalues));
}

static lu_mem traverseLclosure(global_State *g, LClosure *cl) {
    prefetchobj(cl->p);
    for (int i = 0; i < cl->nupvalues; i++) prefetchobj(cl->upvals[i]);
    markobject(g, cl->p);
    for (int i = 0; i < cl->nupvalues; i++) markobject(g, cl->upvals[i]);
    return static_cast<lu_mem>(sizeLclosure(cl->nupvalues));
}

static lu_mem traversestack(global_State *g, lua_State *th) {
    int n = 0;
    StkId o = th->stack;
    if (o == NULL) return 1;
    for (; o < th->top; o++) markvalue(g, o);
    if (g->gcstate == GCSatomic) {
        StkId lim = th->stack + th->stacksize;
        for (; o < lim; o++) setnilvalue(o);
    } else {
        for (CallInfo *ci = &th->base_ci; ci != th->ci; ci = ci->next) n++;
    }
    return sizeof(lua_State) + sizeof(TValue) * static_cast<size_t>(th->stacksize) +
           sizeof(CallInfo) * static_cast<size_t>(n);
}

/* takes one object off 'gray' and traverses it; threads stay gray (their
   stacks change without barriers) and wait on 'grayagain' */
static void propagatemark(global_State *g) {
    lu_mem size;
    GCObject *o = g->gray;
    lua_assert(isgray(o));
    gray2black(o);
    g->gray = *gclistof(o);
    switch (gch(o)->tt) {
    case LUA_TTABLE: size = traversetable(g, gco2t(o)); break;
    case LUA_TLCL: size = traverseLclosure(g, gco2lcl(o)); break;
    case LUA_TCCL: size = traverseCclosure(g, gco2ccl(o)); break;
    case LUA_TTHREAD: {
        linkgclist(o, &g->grayagain);
        black2gray(o);
        size = traversestack(g, gco2th(o));
        break;
    }
    case LUA_TPROTO: size = traverseproto(g, gco2p(o)); break;
    default: lua_assert(0); return;
    }
    g->GCmemtrav += size;
}

static void propagateall(global_State *g) {
    while (g->gray) propagatemark(g);
}

static void propagatelist(global_State *g, GCObject *l) {
    lua_assert(g->gray == NULL);
    g->gray = l;
    propagateall(g);
}

/* the atomic re-traversal: walk the saved lists, not the ones being rebuilt,
   so no table is visited twice */
static void retraversegrays(global_State *g) {
    GCObject *weak = g->weak;
    GCObject *grayagain = g->grayagain;
    GCObject *ephemeron = g->ephemeron;
    g->weak = g->grayagain = g->ephemeron = NULL;
    propagateall(g);
    propagatelist(g, grayagain);
    propagatelist(g, weak);
    propagatelist(g, ephemeron);
}

static void convergeephemerons(global_State *g) {
    int changed;
    do {
        GCObject *w;
        GCObject *next = g->ephemeron;
        g->ephemeron = NULL;
        changed = 0;
        while ((w = next) != NULL) {
            next = gco2t(w)->gclist;
            if (traverseephemeron(g, gco2t(w))) {
                propagateall(g);
                changed = 1;
            }
        }
    } while (changed);
}

/* drops entries whose keys died, for the weak tables from 'l' up to 'f' */
static void clearkeys(global_State *g, GCObject *l, GCObject *f) {
    for (; l != f; l = gco2t(l)->gclist) {
        Table *h = gco2t(l);
        Node *n, *limit = gnodelast(h);
        for (n = gnode(h, 0); n < limit; n++) {
            if (!ttisnil(gval(n)) && (iscleared(g, gkey(n)))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

/* drops entries whose values died, for the weak tables from 'l' up to 'f' */
static void clearvalues(global_State *g, GCObject *l, GCObject *f) {
    for (; l != f; l = gco2t(l)->gclist) {
        Table *h = gco2t(l);
        Node *n, *limit = gnodelast(h);
        for (int i = 0; i < h->sizearray; i++) {
            TValue *o = &h->array[i];
            if (iscleared(g, o)) setnilvalue(o);
        }
        for (n = gnode(h, 0); n < limit; n++) {
            if (!ttisnil(gval(n)) && iscleared(g, gval(n))) {
                setnilvalue(gval(n));
                removeentry(n);
            }
        }
    }
}

static void freeobj(lua_State *L, GCObject *o) {
    switch (gch(o)->tt) {
    case LUA_TPROTO: luaF_freeproto(L, gco2p(o)); break;
    case LUA_TLCL: {
        luaM_freemem(L, o, static_cast<size_t>(sizeLclosure(gco2lcl(o)->nupvalues)));
        break;
    }
    case LUA_TCCL: {
        luaM_freemem(L, o, static_cast<size_t>(sizeCclosure(gco2ccl(o)->nupvalues)));
        break;
    }
    case LUA_TUPVAL: luaF_freeupval(L, gco2uv(o)); break;
    case LUA_TTABLE: luaH_free(L, gco2t(o)); break;
    case LUA_TTHREAD: luaE_freethread(L, gco2th(o)); break;
    case LUA_TUSERDATA: luaM_freemem(L, o, sizeudata(gco2u(o))); break;
    case LUA_TSHRSTR:
        G(L)->strt.nuse--;
        luaM_freemem(L, o, sizestring(gco2ts(o)));
        break;
    case LUA_TLNGSTR: {
        luaM_freemem(L, o, sizestring(gco2ts(o)));
        break;
    }
    default: lua_assert(0);
    }
}

static GCObject **sweeplist(lua_State *L, GCObject **p, lu_mem count);

/* a live thread: sweep its open upvalues and trim its call records and,
   outside an emergency, its stack */
static void sweepthread(lua_State *L, lua_State *L1) {
    if (L1->stack == NULL) return;
    sweepwholelist(L, &L1->openupval);
    luaE_freeCI(L1);
    if (G(L)->gckind != KGC_EMERGENCY) luaD_shrinkstack(L1);
}

/* how a sweep treats survivors: the bits it keeps and sets, and the bit at
   which it stops (generational mode stops at the first old object) */
typedef struct SweepMasks {
    int ow; /* the dead white */
    int toclear, toset, tostop;
} SweepMasks;

static SweepMasks sweepmasks(global_State *g) {
    SweepMasks m;
    m.ow = otherwhite(g);
    if (isgenerational(g)) {
        m.toclear = ~0;
        m.toset = bitmask(OLDBIT);
        m.tostop = bitmask(OLDBIT);
    } else {
        m.toclear = maskcolors;
        m.toset = luaC_white(g);
        m.tostop = 0;
    }
    return m;
}

/* frees the dead among at most 'count' objects of a list and repaints the
   survivors for the next cycle (generational mode marks them old and stops
   at the first old one); returns where to continue, or null at the end */
static GCObject **sweeplist(lua_State *L, GCObject **p, lu_mem count) {
    const SweepMasks m = sweepmasks(G(L));
    while (*p != NULL && count-- > 0) {
        GCObject *curr = *p;
        int marked = gch(curr)->marked;
        if (isdeadm(m.ow, marked)) {
            *p = gch(curr)->next;
            freeobj(L, curr);
        } else {
            if (testbits(marked, m.tostop)) return NULL;
            if (gch(curr)->tt == LUA_TTHREAD) sweepthread(L, gco2th(curr));
            gch(curr)->marked = cast_byte((marked & m.toclear) | m.toset);
            p = &gch(curr)->next;
        }
    }
    return (*p == NULL) ? NULL : p;
}

/* sweeps the whole chains of 'count' string-table buckets, as sweeplist
   would each one.  Most buckets are empty or hold a single string, so this
   runs in one loop rather than a call per bucket: with a whole cycle every
   frame, the calls cost more than the strings */
static void sweepstrings(lua_State *L, GCObject **bucket, int count) {
    const SweepMasks m = sweepmasks(G(L));
    for (GCObject **end = bucket + count; bucket < end; bucket++) {
        GCObject **p = bucket;
        GCObject *curr;
        while ((curr = *p) != NULL) {
            int marked = gch(curr)->marked;
            lua_assert(gch(curr)->tt == LUA_TSHRSTR);
            if (isdeadm(m.ow, marked)) {
                *p = gch(curr)->next;
                freeobj(L, curr);
            } else {
                if (testbits(marked, m.tostop)) break;
                gch(curr)->marked = cast_byte((marked & m.toclear) | m.toset);
                p = &gch(curr)->next;
            }
        }
    }
}

/* sweeps until the first survivor, so later sweeping starts past objects
   created in the meantime */
static GCObject **sweeptolive(lua_State *L, GCObject **p, int *n) {
    GCObject **old = p;
    int i = 0;
    do {
        i++;
        p = sweeplist(L, p, 1);
    } while (p == old);
    if (n) *n += i;
    return p;
}

/* halve the string table when it is mostly empty; drop the concat buffer */
static void checkSizes(lua_State *L) {
    global_State *g = G(L);
    if (g->gckind != KGC_EMERGENCY) {
        int hs = g->strt.size / 2;
        if (g->strt.nuse < cast(lu_int32, hs)) luaS_resize(L, hs);
        luaZ_freebuffer(L, &g->buff);
    }
}

static GCObject *udata2finalize(global_State *g) {
    GCObject *o = g->tobefnz;
    lua_assert(isfinalized(o));
    g->tobefnz = gch(o)->next;
    gch(o)->next = g->allgc;
    g->allgc = o;
    resetbit(gch(o)->marked, SEPARATED);
    lua_assert(!isold(o));
    if (!keepinvariant(g)) makewhite(g, o);
    return o;
}

static void dothecall(lua_State *L, void *ud) {
    UNUSED(ud);
    luaD_call(L, L->top - 2, 0, 0);
}

static void GCTM(lua_State *L, int propagateerrors) {
    global_State *g = G(L);
    const TValue *tm;
    TValue v;
    setgcovalue(L, &v, udata2finalize(g));
    tm = luaT_gettmbyobj(L, &v, TM_GC);
    if (tm != NULL && ttisfunction(tm)) {
        int status;
        lu_byte oldah = L->allowhook;
        int running = g->gcrunning;
        L->allowhook = 0;
        g->gcrunning = 0;
        setobj2s(L, L->top, tm);
        setobj2s(L, L->top + 1, &v);
        L->top += 2;
        status = luaD_pcall(L, dothecall, NULL, savestack(L, L->top - 2), 0);
        L->allowhook = oldah;
        g->gcrunning = cast_byte(running);
        if (status != LUA_OK && propagateerrors) {
            if (status == LUA_ERRRUN) {
                const char *msg = (ttisstring(L->top - 1)) ? svalue(L->top - 1) : "no message";
                luaO_pushfstring(L, "error in __gc metamethod (%s)", msg);
                status = LUA_ERRGCMM;
            }
            luaD_throw(L, status);
        }
    }
}

/* moves the unreachable objects with finalizers (or all of them) from
   'finobj' to the end of 'tobefnz' */
static void separatetobefnz(lua_State *L, int all) {
    global_State *g = G(L);
    GCObject **p = &g->finobj;
    GCObject *curr;
    GCObject **lastnext = &g->tobefnz;
    /* append, so finalizers run in the order the objects were separated */
    while (*lastnext != NULL) lastnext = &gch(*lastnext)->next;
    while ((curr = *p) != NULL) {
        lua_assert(!isfinalized(curr));
        lua_assert(testbit(gch(curr)->marked, SEPARATED));
        if (!(iswhite(curr) || all))
            p = &gch(curr)->next;
        else {
            l_setbit(gch(curr)->marked, FINALIZEDBIT);
            *p = gch(curr)->next;
            gch(curr)->next = *lastnext;
            *lastnext = curr;
            lastnext = &gch(curr)->next;
        }
    }
}

/* an object whose new metatable has __gc moves from 'allgc' to 'finobj' */
void luaC_checkfinalizer(lua_State *L, GCObject *o, Table *mt) {
    global_State *g = G(L);
    if (testbit(gch(o)->marked, SEPARATED) || isfinalized(o) || gfasttm(g, mt, TM_GC) == NULL)
        return;
    GCObject **p;
    GCheader *ho = gch(o);
    if (g->sweepgc == &ho->next) {
        lua_assert(issweepphase(g));
        g->sweepgc = sweeptolive(L, g->sweepgc, NULL);
    }
    p = &g->allgc;
    while (*p != o) p = &gch(*p)->next;
    *p = ho->next;
    ho->next = g->finobj;
    g->finobj = o;
    l_setbit(ho->marked, SEPARATED);
    if (!keepinvariant(g))
        makewhite(g, o);
    else
        resetoldbit(o);
}

/* next cycle starts when the total reaches estimate * pause / 100 */
static void setpause(global_State *g, l_mem estimate) {
    l_mem debt, threshold;
    estimate = estimate / PAUSEADJ;
    if (estimate < 1) estimate = 1;
    threshold = (g->gcpause < MAX_LMEM / estimate) ? estimate * g->gcpause : MAX_LMEM;
    debt = -cast(l_mem, threshold - static_cast<l_mem>(gettotalbytes(g)));
    luaE_setdebt(g, debt);
}

/* starts the sweep: strings first, then 'finobj' and 'allgc', whose sweep
   positions are moved past their first survivors; returns the objects swept */
static int entersweep(lua_State *L) {
    global_State *g = G(L);
    int n = 0;
    g->gcstate = GCSsweepstring;
    lua_assert(g->sweepgc == NULL && g->sweepfin == NULL);
    g->sweepstrgc = 0;
    g->sweepfin = sweeptolive(L, &g->finobj, &n);
    g->sweepgc = sweeptolive(L, &g->allgc, &n);
    return n;
}

/* switching modes first brings the collector to a state valid for both */
void luaC_changemode(lua_State *L, int mode) {
    global_State *g = G(L);
    if (mode == g->gckind) return;
    if (mode == KGC_GEN) {
        /* generational mode lives in the propagate state */
        luaC_runtilstate(L, bitmask(GCSpropagate));
        g->GCestimate = gettotalbytes(g);
        g->gckind = KGC_GEN;
    } else {
        /* old objects are black: repaint everything white; the white has not
       flipped, so this frees nothing that was alive */
        g->gckind = KGC_NORMAL;
        entersweep(L);
        luaC_runtilstate(L, ~sweepphases);
    }
}

static void callallpendingfinalizers(lua_State *L, int propagateerrors) {
    global_State *g = G(L);
    while (g->tobefnz) {
        resetoldbit(g->tobefnz);
        GCTM(L, propagateerrors);
    }
}

/* closing the state: every finalizer runs, then everything is freed */
void luaC_freeallobjects(lua_State *L) {
    global_State *g = G(L);
    separatetobefnz(L, 1);
    lua_assert(g->finobj == NULL);
    callallpendingfinalizers(L, 0);
    g->currentwhite = WHITEBITS;
    g->gckind = KGC_NORMAL;
    sweepwholelist(L, &g->finobj);
    sweepwholelist(L, &g->allgc);
    sweepstrings(L, g->strt.hash, g->strt.size);
    lua_assert(g->strt.nuse == 0);
}

/*
** The atomic phase, run in one go: finish marking (roots that may have
** changed, barrier-caught objects, ephemerons), clear weak values, resurrect
** the unreachable objects with finalizers (and what they reach), clear dead
** weak keys and values, and swap the whites.  Returns the bytes traversed
** here, not counting objects kept only for their finalizers.
*/
static l_mem atomic(lua_State *L) {
    global_State *g = G(L);
    l_mem work = -cast(l_mem, g->GCmemtrav);
    GCObject *origweak, *origall;
    lua_assert(!iswhite(obj2gco(g->mainthread)));
    markobject(g, L);
    markvalue(g, &g->l_registry); /* the API may have changed these */
    markmt(g);
    remarkupvals(g);
    propagateall(g);
    work += g->GCmemtrav;
    retraversegrays(g);
    work -= g->GCmemtrav;
    convergeephemerons(g);
    /* everything strongly reachable is marked now */
    clearvalues(g, g->weak, NULL);
    clearvalues(g, g->allweak, NULL);
    origweak = g->weak;
    origall = g->allweak;
    work += g->GCmemtrav;
    separatetobefnz(L, 0);
    markbeingfnz(g);
    propagateall(g);
    work -= g->GCmemtrav;
    convergeephemerons(g);
    /* resurrected objects are marked too; drop what is really gone */
    clearkeys(g, g->ephemeron, NULL);
    clearkeys(g, g->allweak, NULL);
    clearvalues(g, g->weak, origweak);
    clearvalues(g, g->allweak, origall);
    g->currentwhite = cast_byte(otherwhite(g));
    work += g->GCmemtrav;
    return work;
}

static lu_mem singlestep(lua_State *L) {
    global_State *g = G(L);
    switch (g->gcstate) {
    case GCSpause: {
        /* the string table's array counts as work too */
        g->GCmemtrav = static_cast<lu_mem>(g->strt.size) * sizeof(GCObject *);
        lua_assert(!isgenerational(g));
        restartcollection(g);
        g->gcstate = GCSpropagate;
        return g->GCmemtrav;
    }
    case GCSpropagate: {
        if (g->gray) {
            lu_mem oldtrav = g->GCmemtrav;
            propagatemark(g);
            return g->GCmemtrav - oldtrav;
        } else {
            lu_mem work;
            int sw;
            g->gcstate = GCSatomic;
            g->GCestimate = g->GCmemtrav;
            work = static_cast<lu_mem>(atomic(L));
            g->GCestimate += work;
            sw = entersweep(L);
            return work + static_cast<lu_mem>(sw) * GCSWEEPCOST;
        }
    }
    case GCSsweepstring: {
        int n = g->strt.size - g->sweepstrgc;
        if (n > GCSWEEPMAX) n = GCSWEEPMAX;
        lua_assert(n >= 0);
        sweepstrings(L, g->strt.hash + g->sweepstrgc, n);
        g->sweepstrgc += n;
        if (g->sweepstrgc >= g->strt.size) g->gcstate = GCSsweepudata;
        return static_cast<lu_mem>(n) * GCSWEEPCOST;
    }
    case GCSsweepudata: {
        if (g->sweepfin) {
            g->sweepfin = sweeplist(L, g->sweepfin, GCSWEEPMAX);
            return GCSWEEPMAX * GCSWEEPCOST;
        } else {
            g->gcstate = GCSsweep;
            return 0;
        }
    }
    case GCSsweep: {
        if (g->sweepgc) {
            g->sweepgc = sweeplist(L, g->sweepgc, GCSWEEPMAX);
            return GCSWEEPMAX * GCSWEEPCOST;
        } else {
            /* the main thread is on no list; repaint it last */
            GCObject *mt = obj2gco(g->mainthread);
            sweeplist(L, &mt, 1);
            checkSizes(L);
            g->gcstate = GCSpause;
            return GCSWEEPCOST;
        }
    }
    default: lua_assert(0); return 0;
    }
}

/* runs single steps until the state is one of 'statesmask' */
void luaC_runtilstate(lua_State *L, int statesmask) {
    global_State *g = G(L);
    while (!testbit(statesmask, g->gcstate)) singlestep(L);
}

static void generationalcollection(lua_State *L) {
    global_State *g = G(L);
    lua_assert(g->gcstate == GCSpropagate);
    if (g->GCestimate == 0) {
        luaC_fullgc(L, 0);
        g->GCestimate = gettotalbytes(g);
    } else {
        lu_mem estimate = g->GCestimate;
        luaC_runtilstate(L, bitmask(GCSpause));
        g->gcstate = GCSpropagate;
        if (gettotalbytes(g) > (estimate / 100) * static_cast<lu_mem>(g->gcmajorinc))
            g->GCestimate = 0;
        else
            g->GCestimate = estimate;
    }
    setpause(g, static_cast<l_mem>(gettotalbytes(g)));
    lua_assert(g->gcstate == GCSpropagate);
}

static void incstep(lua_State *L) {
    global_State *g = G(L);
    l_mem debt = g->GCdebt;
    int stepmul = g->gcstepmul;
    if (stepmul < 40) stepmul = 40;
    /* debt in bytes becomes work units; never zero, and clamped */
    debt = (debt / STEPMULADJ) + 1;
    debt = (debt < MAX_LMEM / stepmul) ? debt * stepmul : MAX_LMEM;
    do {
        lu_mem work = singlestep(L);
        debt -= static_cast<l_mem>(work);
    } while (debt > -GCSTEPSIZE && g->gcstate != GCSpause);
    if (g->gcstate == GCSpause)
        setpause(g, static_cast<l_mem>(g->GCestimate));
    else {
        debt = (debt / stepmul) * STEPMULADJ;
        luaE_setdebt(g, debt);
    }
}

/* one step of work, whether or not the collector is stopped */
void luaC_forcestep(lua_State *L) {
    global_State *g = G(L);
    if (isgenerational(g))
        generationalcollection(L);
    else
        incstep(L);
    /* a few finalizers per step, but all that are left once a cycle ends */
    for (int i = 0; g->tobefnz && (i < GCFINALIZENUM || g->gcstate == GCSpause); i++) GCTM(L, 1);
}

/* a stopped collector just postpones the next check */
void luaC_step(lua_State *L) {
    global_State *g = G(L);
    if (g->gcrunning)
        luaC_forcestep(L);
    else
        luaE_setdebt(g, -GCSTEPSIZE);
}

/* a whole cycle at once; an emergency one (allocation failed) runs no
   finalizers and resizes nothing */
void luaC_fullgc(lua_State *L, int isemergency) {
    global_State *g = G(L);
    int origkind = g->gckind;
    lua_assert(origkind != KGC_EMERGENCY);
    if (isemergency)
        g->gckind = KGC_EMERGENCY;
    else {
        g->gckind = KGC_NORMAL;
        callallpendingfinalizers(L, 1);
    }
    if (keepinvariant(g)) {
        /* mid-mark: sweep everything back to white first (frees nothing, the
       white has not flipped) */
        entersweep(L);
    }
    /* finish the current cycle, then run a complete fresh one */
    luaC_runtilstate(L, bitmask(GCSpause));
    luaC_runtilstate(L, ~bitmask(GCSpause));
    luaC_runtilstate(L, bitmask(GCSpause));
    if (origkind == KGC_GEN) {
        /* generational mode lives in the propagate state */
        luaC_runtilstate(L, bitmask(GCSpropagate));
    }
    g->gckind = cast_byte(origkind);
    setpause(g, static_cast<l_mem>(gettotalbytes(g)));
    if (!isemergency) callallpendingfinalizers(L, 1);
}
