/*
** Script VM: states and threads.
** The main thread and the global state share one block, allocated with
** the thread kind (8); other threads are ordinary collectable objects.
*/
#include "vm/lstate.h"

#include <cstring>
#include <ctime>

#include "vm/lapi.h"
#include "vm/lcpu.h"
#include "vm/ldebug.h"
#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lgc.h"
#include "vm/llex.h"
#include "vm/lmem.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/ltm.h"

/* the main thread and the state all its threads share, in one block */
typedef struct LG {
    lua_State l;
    global_State g;
} LG;

#define fromstate(L) (cast(LG *, (L)))

/* test-only hash seed (see luaE_setseedoverride) */
static unsigned int seed_override_value = 0;
static bool seed_override_on = false;

void luaE_setseedoverride(const unsigned int *seed) {
    seed_override_on = seed != NULL;
    seed_override_value = seed ? *seed : 0;
}

/*
** a randomized seed for string hashes, from the time of day and four
** addresses (heap, stack, static data and code)
*/
static unsigned int makeseed(lua_State *L) {
    if (seed_override_on) return seed_override_value;
    char buff[4 * sizeof(size_t)];
    unsigned int h = cast(unsigned int, std::time(NULL));
    size_t p = 0;
    auto add = [&](size_t v) {
        std::memcpy(buff + p, &v, sizeof(v));
        p += sizeof(v);
    };
    add(reinterpret_cast<size_t>(L));
    add(reinterpret_cast<size_t>(&h));
    add(reinterpret_cast<size_t>(luaO_nilobject));
    add(reinterpret_cast<size_t>(&lua_newstate));
    lua_assert(p == sizeof(buff));
    return luaS_hash(buff, p, h);
}

/* changes the debt without changing the real total (totalbytes + GCdebt) */
void luaE_setdebt(global_State *g, l_mem debt) {
    g->totalbytes -= static_cast<lu_mem>(debt - g->GCdebt);
    g->GCdebt = debt;
}

CallInfo *luaE_extendCI(lua_State *L) {
    CallInfo *ci = luaM_new(L, CallInfo);
    lua_assert(L->ci->next == NULL);
    L->ci->next = ci;
    ci->previous = L->ci;
    ci->next = NULL;
    return ci;
}

/* frees the call records after the current one */
void luaE_freeCI(lua_State *L) {
    CallInfo *ci = L->ci;
    CallInfo *next = ci->next;
    ci->next = NULL;
    while ((ci = next) != NULL) {
        next = ci->next;
        luaM_free(L, ci);
    }
}

static void stack_init(lua_State *L1, lua_State *L) {
    StkId stack = luaM_newvector(L, BASIC_STACK_SIZE, TValue);
    for (int i = 0; i < BASIC_STACK_SIZE; i++) setnilvalue(stack + i);
    L1->stack = stack;
    L1->stacksize = BASIC_STACK_SIZE;
    L1->top = L1->stack;
    L1->stack_last = L1->stack + L1->stacksize - EXTRA_STACK;
    /* the base call record, whose function slot is a nil */
    CallInfo *ci = &L1->base_ci;
    ci->next = ci->previous = NULL;
    ci->callstatus = 0;
    ci->nresults = 0;
    ci->extra = 0;
    ci->func = L1->top;
    setnilvalue(L1->top++);
    ci->top = L1->top + LUA_MINSTACK;
    L1->ci = ci;
}

static void freestack(lua_State *L) {
    if (L->stack == NULL) return;
    L->ci = &L->base_ci;
    luaE_freeCI(L);
    luaM_freearray(L, L->stack, L->stacksize);
}

/* registry: [1] the main thread, [2] the globals table */
static void init_registry(lua_State *L, global_State *g) {
    TValue mt;
    Table *registry = luaH_new(L);
    sethvalue(L, &g->l_registry, registry);
    luaH_resize(L, registry, LUA_RIDX_LAST, 0);
    setthvalue(L, &mt, L);
    luaH_setint(L, registry, LUA_RIDX_MAINTHREAD, &mt);
    sethvalue(L, &mt, luaH_new(L));
    luaH_setint(L, registry, LUA_RIDX_GLOBALS, &mt);
}

/* the allocating part of opening a state, run protected */
static void f_luaopen(lua_State *L, void *ud) {
    global_State *g = G(L);
    UNUSED(ud);
    stack_init(L, L);
    init_registry(L, g);
    luaS_resize(L, MINSTRTABSIZE);
    luaT_init(L);
    luaX_init(L);
    /* the memory-error message must exist before memory can run out */
    g->memerrmsg = luaS_newliteral(L, MEMERRMSG);
    luaS_fix(g->memerrmsg);
    g->gcrunning = 1;
    g->version = lua_version(NULL);
    luai_userstateopen(L);
}

/* safe initial values, set before anything is allocated for the thread */
static void preinit_state(lua_State *L, global_State *g) {
    G(L) = g;
    L->stack = NULL;
    L->ci = NULL;
    L->stacksize = 0;
    L->stack_last = NULL;
    L->top = NULL;
    L->oldpc = NULL;
    L->errorJmp = NULL;
    L->nCcalls = 0;
    L->hook = NULL;
    L->hookmask = 0;
    L->basehookcount = 0;
    L->allowhook = 1;
    resethookcount(L);
    L->openupval = NULL;
    L->gclist = NULL;
    L->nny = 1;
    L->status = LUA_OK;
    L->errfunc = 0;
    L->nfastargs = 0;
}

static void close_state(lua_State *L) {
    global_State *g = G(L);
    luaF_close(L, L->stack);
    luaC_freeallobjects(L);
    if (g->version) luai_userstateclose(L);
    luaM_freearray(L, G(L)->strt.hash, static_cast<size_t>(G(L)->strt.size));
    luaZ_freebuffer(L, &g->buff);
    freestack(L);
    lua_assert(gettotalbytes(g) == sizeof(LG));
    (*g->frealloc)(g->ud, fromstate(L), sizeof(LG), 0);
}

LUA_API lua_State *lua_newthread(lua_State *L) {
    lua_State *L1;
    lua_lock(L);
    luaC_checkGC(L);
    L1 = &luaC_newobj(L, LUA_TTHREAD, sizeof(lua_State), NULL, 0)->th;
    preinit_state(L1, G(L));
    setthvalue(L, L->top, L1);
    api_incr_top(L);
    L1->hookmask = L->hookmask;
    L1->basehookcount = L->basehookcount;
    L1->hook = L->hook;
    resethookcount(L1);
    luai_userstatethread(L, L1);
    stack_init(L1, L);
    lua_unlock(L);
    return L1;
}

void luaE_freethread(lua_State *L, lua_State *L1) {
    luaF_close(L1, L1->stack);
    lua_assert(L1->openupval == NULL);
    luai_userstatefree(L, L1);
    freestack(L1);
    luaM_free(L, L1);
}

LUA_API lua_State *lua_newstate(lua_Alloc f, void *ud) {
    LG *l = cast(LG *, (*f)(ud, NULL, LUA_TTHREAD, sizeof(LG)));
    if (l == NULL) return NULL;
    lua_State *L = &l->l;
    global_State *g = &l->g;
    L->next = NULL;
    L->tt = LUA_TTHREAD;
    /* FIXEDBIT rides along in 'currentwhite' (and so in 'otherwhite'), which
     makes isdead false for every fixed object */
    g->currentwhite = bit2mask(WHITE0BIT, FIXEDBIT);
    L->marked = luaC_white(g);
    g->gckind = KGC_NORMAL;
    preinit_state(L, g);
    g->frealloc = f;
    g->ud = ud;
    g->mainthread = L;
    g->seed = makeseed(L);
    g->uvhead.u.l.prev = &g->uvhead;
    g->uvhead.u.l.next = &g->uvhead;
    g->gcrunning = 0;
    g->GCestimate = 0;
    g->GCmemtrav = 0;
    g->strt.size = 0;
    g->strt.nuse = 0;
    g->strt.hash = NULL;
    setnilvalue(&g->l_registry);
    luaZ_initbuffer(L, &g->buff);
    g->panic = NULL;
    g->version = NULL;
    g->memerrmsg = NULL;
    g->gcstate = GCSpause;
    g->sweepstrgc = 0;
    g->allgc = NULL;
    g->finobj = NULL;
    g->tobefnz = NULL;
    g->sweepgc = g->sweepfin = NULL;
    g->gray = g->grayagain = NULL;
    g->weak = g->ephemeron = g->allweak = NULL;
    g->totalbytes = sizeof(LG);
    g->GCdebt = 0;
    g->gcpause = LUAI_GCPAUSE;
    g->gcmajorinc = LUAI_GCMAJOR;
    g->gcstepmul = LUAI_GCMUL;
    for (int i = 0; i < TM_N; i++) g->tmname[i] = NULL;
    for (int i = 0; i < LUA_NUMTAGS; i++) g->mt[i] = NULL;
    if (luaD_rawrunprotected(L, f_luaopen, NULL) != LUA_OK) {
        close_state(L);
        L = NULL;
    }
    return L;
}

/*
** The finalisers run on the main thread, which may be suspended by a yield (a C
** function they call would then seem to yield by returning, ending them),
** dead by an error or inside a call: they run on it as on an idle thread.
** They run as in a slice of their own, so neither a yield requested of the
** code that ran (a host asks for one before it closes the state) nor what
** its slice spent cuts them short; only a runaway ends, at the overdue limit.  The request and the
** counter are put back after, with the finalisers' cycles charged.
*/
LUA_API void lua_close(lua_State *L) {
    L = G(L)->mainthread;
    lua_lock(L);
    L->status = LUA_OK;
    L->ci = &L->base_ci;
    L->errfunc = 0;
    L->nny = 1;
    uint32_t request = cpu_superyield, carried = cpu_cycles_slice;
    cpu_superyield = 0;
    cpu_cycles_slice = 0;
    close_state(L);
    cpu_superyield = request;
    cpu_cycles_slice += carried;
}
