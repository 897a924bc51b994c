/*
** Script VM: per-thread state, the shared global state and call records.
*/
#ifndef Z6_LSTATE_H
#define Z6_LSTATE_H

#include "vm/lua.h"
#include "vm/lobject.h"
#include "vm/ltm.h"
#include "vm/lzio.h"

/*
** Where collectable objects live: 'allgc' (most objects), 'finobj'
** (objects with finalizers), 'tobefnz' (unreachable, to be finalized), the
** string table's buckets (strings), and each thread's 'openupval' list
** (open upvalues, also linked on the global 'uvhead' ring).
*/

struct lua_longjmp; /* defined in ldo.cpp */

/* spare slots past the usable stack end (metamethod calls) */
#define EXTRA_STACK 5

#define BASIC_STACK_SIZE (2 * LUA_MINSTACK)

/* collector modes; an emergency cycle (allocation failed) must not run
   finalizers or move stacks and tables */
#define KGC_NORMAL    0
#define KGC_EMERGENCY 1
#define KGC_GEN       2

typedef struct stringtable {
    GCObject **hash; /* 'size' bucket chains, 'size' a power of 2 */
    lu_int32 nuse;
    int size;
} stringtable;

/*
** One active call.  Records form a doubly linked list; those past the
** current one stay allocated for reuse until the collector trims them.
*/
typedef struct CallInfo {
    StkId func;
    StkId top; /* highest slot this call may use */
    struct CallInfo *previous, *next;
    short nresults; /* wanted by the caller; LUA_MULTRET for all */
    lu_byte callstatus;
    ptrdiff_t extra;
    union {
        struct {
            StkId base; /* first fixed parameter; varargs sit below it */
            const Instruction *savedpc;
        } l;
        struct {
            int ctx; /* for 'k', through lua_getctx, after a yield */
            lua_CFunction k;
            ptrdiff_t old_errfunc;
            lu_byte old_allowhook;
            lu_byte status;
        } c;
    } u;
} CallInfo;

/* 'callstatus' bits */
#define CIST_LUA    (1 << 0)
#define CIST_HOOKED (1 << 1) /* inside a debug hook */
#define CIST_REENTRY                                                                               \
    (1 << 2)                      /* started by the running luaV_execute,
                                   which carries on with the caller */
#define CIST_YIELDED     (1 << 3) /* resumed after a yield */
#define CIST_YPCALL      (1 << 4) /* pcall that may be yielded across */
#define CIST_STAT        (1 << 5) /* 'u.c.status' holds an error to report */
#define CIST_TAIL        (1 << 6) /* reached by a tail call */
#define CIST_FORCEDYIELD (1 << 7) /* Lua frame stopped by a forced yield */

#define isLua(ci) ((ci)->callstatus & CIST_LUA)

/* what all threads of one state share */
typedef struct global_State {
    lua_Alloc frealloc;
    void *ud;
    lu_mem totalbytes; /* allocated bytes minus GCdebt (see gettotalbytes) */
    l_mem GCdebt;      /* allocation not yet paid for by collector work */
    lu_mem GCmemtrav;  /* bytes traversed so far this cycle */
    lu_mem GCestimate; /* live bytes after the last cycle, roughly */
    stringtable strt;  /* every short string, interned */
    TValue l_registry;
    unsigned int seed;    /* string hash seed, random per state */
    lu_byte currentwhite; /* see lua_newstate for the FIXEDBIT in here */
    lu_byte gcstate;
    lu_byte gckind;
    lu_byte gcrunning; /* zero while stopped or inside a finalizer */
    int sweepstrgc;    /* next 'strt' bucket to sweep */
    GCObject *allgc;
    GCObject *finobj;   /* objects whose metatable had __gc when set */
    GCObject **sweepgc; /* sweep positions; null when that list is done */
    GCObject **sweepfin;
    GCObject *gray;      /* gray lists, linked through each object's 'gclist' */
    GCObject *grayagain; /* retraversed in the atomic phase */
    GCObject *weak;      /* weak-value tables that may need clearing */
    GCObject *ephemeron; /* weak-key tables still propagating */
    GCObject *allweak;
    GCObject *tobefnz; /* unreachable, finalizer pending */
    UpVal uvhead;      /* ring of every open upvalue, for the atomic phase */
    Mbuffer buff;      /* scratch buffer for concatenation */
    int gcpause;       /* percentages; see LUAI_GCPAUSE and friends */
    int gcmajorinc;
    int gcstepmul;
    lua_CFunction panic; /* last resort for an error outside any pcall */
    struct lua_State *mainthread;
    const lua_Number *version; /* null until the state is fully open */
    TString *memerrmsg;        /* preallocated: reporting it must not allocate */
    TString *tmname[TM_N];
    struct Table *mt[LUA_NUMTAGS]; /* metatables for non-table, non-userdata
                                     types */
} global_State;

/* a thread (coroutine); also the collectable object for it */
struct lua_State {
    CommonHeader;
    lu_byte status; /* LUA_OK, LUA_YIELD or the error that killed it */
    StkId top;      /* first free slot */
    global_State *l_G;
    CallInfo *ci;
    const Instruction *oldpc;
    StkId stack_last; /* EXTRA_STACK slots below the real end */
    StkId stack;
    int stacksize;
    unsigned short nny;     /* while nonzero, a yield is an error */
    unsigned short nCcalls; /* C recursion depth, bounded by LUAI_MAXCCALLS */
    lu_byte hookmask;       /* kept, never acted on */
    lu_byte allowhook;
    int basehookcount;
    int hookcount;
    lua_Hook hook;       /* never called */
    GCObject *openupval; /* sorted by stack level, highest first */
    GCObject *gclist;
    struct lua_longjmp *errorJmp; /* innermost protected call */
    ptrdiff_t errfunc;            /* message handler, as a stack offset (0: none) */
    CallInfo base_ci;             /* the bottom record, for whoever called in from C */
    int32_t nfastargs;            /* argument count of the C function being called */
};

#define G(L) (L->l_G)

/* every collectable object starts with the same header, so any of them
   can be reached through this union */
union GCObject {
    GCheader gch;
    union TString ts;
    union Udata u;
    union Closure cl;
    struct Table h;
    struct Proto p;
    struct UpVal uv;
    struct lua_State th;
};

#define gch(o) (&(o)->gch)

/* checked downcasts from the union */
#define rawgco2ts(o) check_exp(novariant((o)->gch.tt) == LUA_TSTRING, &((o)->ts))
#define gco2ts(o)    (&rawgco2ts(o)->tsv)
#define rawgco2u(o)  check_exp((o)->gch.tt == LUA_TUSERDATA, &((o)->u))
#define gco2u(o)     (&rawgco2u(o)->uv)
#define gco2lcl(o)   check_exp((o)->gch.tt == LUA_TLCL, &((o)->cl.l))
#define gco2ccl(o)   check_exp((o)->gch.tt == LUA_TCCL, &((o)->cl.c))
#define gco2cl(o)    check_exp(novariant((o)->gch.tt) == LUA_TFUNCTION, &((o)->cl))
#define gco2t(o)     check_exp((o)->gch.tt == LUA_TTABLE, &((o)->h))
#define gco2p(o)     check_exp((o)->gch.tt == LUA_TPROTO, &((o)->p))
#define gco2uv(o)    check_exp((o)->gch.tt == LUA_TUPVAL, &((o)->uv))
#define gco2th(o)    check_exp((o)->gch.tt == LUA_TTHREAD, &((o)->th))

#define obj2gco(v) (cast(GCObject *, (v)))

/* the real allocation total; the split lets luaE_setdebt move the trigger
   point without touching the total */
#define gettotalbytes(g) ((g)->totalbytes + (g)->GCdebt)

void luaE_setdebt(global_State *g, l_mem debt);
void luaE_freethread(lua_State *L, lua_State *L1);
CallInfo *luaE_extendCI(lua_State *L);
void luaE_freeCI(lua_State *L);

/*
** Hash seed override for tests: with a non-null seed every state created
** afterwards uses it instead of the time-and-address seed, so that the
** layout of string-keyed tables repeats between runs.  Null restores the
** random seed.
*/
void luaE_setseedoverride(const unsigned int *seed);

#endif
