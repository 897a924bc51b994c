/*
** Script VM: calls, stack handling, errors, protected execution and
** coroutines.  Errors unwind as a C++ exception that carries nothing but
** identifies the innermost recovery point; only luaD_rawrunprotected
** catches it.
*/
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "vm/ldo.h"

#include "vm/lapi.h"
#include "vm/ldebug.h"
#include "vm/lfunc.h"
#include "vm/lgc.h"
#include "vm/lmem.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lparser.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/ltm.h"
#include "vm/lundump.h"
#include "vm/lvm.h"
#include "vm/lzio.h"

/* room granted past LUAI_MAXSTACK so an overflow error can still be
   raised and handled */
#define ERRORSTACKSIZE (LUAI_MAXSTACK + 200)

/* a recovery point; the thrown exception is a pointer to one */
struct lua_longjmp {
    struct lua_longjmp *previous;
    volatile int status;
};

#ifndef NDEBUG
/*
** Fast C functions run without a call record or C-level count, so they
** must never call back into the VM; debug builds check that.  An error
** raised by a fast function may still run the error handler, which lifts
** the mark for its own run.
*/
static int fastcall_depth = 0;
struct FastCallMark {
    FastCallMark() { fastcall_depth++; }
    ~FastCallMark() { fastcall_depth--; }
};
struct FastCallLift {
    int saved = fastcall_depth;
    FastCallLift() { fastcall_depth = 0; }
    ~FastCallLift() { fastcall_depth = saved; }
};
#define check_not_in_fastcall()                                                                    \
    assert(fastcall_depth == 0 && "fast C functions must not call the VM")
#else
#define check_not_in_fastcall() ((void)0)
#endif

/*
** Yields without unwinding.  The interpreter's forced yield returns from
** luaV_execute when luaV_execute runs at the resume's own level (called by
** resume or unroll, not through luaD_call): it sets the same state as the
** throwing path and then returns, and unroll, resume and run_resume carry
** the yield out as below.  A C function that the interpreter called
** straight from the Lua code that the running resume started may yield by
** returning instead of throwing.  Invariants:
** - Taken only when all hold: L is the thread of the innermost active
**   lua_resume (resuming_L); L->nCcalls equals that resume's level, so no
**   C call into the VM (luaD_call, a metamethod run from C, a pcall) lies
**   between the resume and the function; the caller's frame is Lua (the
**   call came from OP_CALL or OP_TAILCALL); and the function is not a
**   continuation (CIST_YIELDED), whose caller is unroll or resume.
** - lua_yieldk then sets L->status to LUA_YIELD, saves ci->func in
**   ci->extra and points ci->func just below the yielded values, exactly
**   as the throwing path does, and returns 0; the C function returns that
**   at once and touches nothing more.
** - luaD_precall sees L->status == LUA_YIELD and returns 2 without
**   luaD_poscall, leaving the C frame as the suspended one; luaV_execute
**   returns at once; unroll stops on the yield status; resume returns and
**   run_resume turns "ran to completion with L->status == LUA_YIELD" into
**   LUA_YIELD.  So the thread is in the state a throw would have left, and
**   the next resume finds a suspended C frame as usual.
** - Between the resume and the function there are only interpreter frames
**   of one luaV_execute, which keep nothing that needs unwinding.
** Every other yield throws.  Resumes nest on the C stack, so one record
** serves, saved and restored around each (ResumingMark).
*/
static lua_State *resuming_L = NULL;
static unsigned short resuming_level = 0;

/*
** A thread resumed by running code that cannot yield holds its forced yields
** too: its resumer could not pass the yield on to the slice, so yielding
** would only hand the resumer a yield the thread never made.  Such code is a
** metamethod, comparator or finaliser that C called inside a resume, or any
** Lua code that runs outside every resume (the finalisers of a collection
** the host makes through a protected call).  A resume made by the host's own
** C code, with no Lua code running on 'from', is not held: the host takes
** the yield.  Held along nested resumes.
*/
static bool resume_held = false;

/* 'from' runs Lua code (outside every resume: code that C called) */
static bool runs_lua(lua_State *from) {
    /* bounded: the walk ends at the first Lua frame, and a C frame that C
       called came through luaD_call, which counts against LUAI_MAXCCALLS */
    for (CallInfo *ci = from->ci; ci != &from->base_ci; ci = ci->previous)
        if (isLua(ci)) return true;
    return false;
}

static bool resumer_cannot_yield(lua_State *from) {
    if (from == NULL) return false;
    if (from == resuming_L) return from->nny > 0 || resume_held;
    return from->nny > 0 && runs_lua(from);
}

struct ResumingMark {
    lua_State *savedL = resuming_L;
    unsigned short savedlevel = resuming_level;
    bool savedheld = resume_held;
    ResumingMark(lua_State *L, lua_State *from) {
        resume_held = resumer_cannot_yield(from);
        resuming_L = L;
        resuming_level = L->nCcalls;
    }
    ~ResumingMark() {
        resuming_L = savedL;
        resuming_level = savedlevel;
        resume_held = savedheld;
    }
};

bool luaD_forcedyieldheld(void) { return resume_held; }

bool luaD_yieldbyreturn(lua_State *L) { return L == resuming_L && L->nCcalls == resuming_level; }

static void seterrorobj(lua_State *L, int errcode, StkId oldtop) {
    switch (errcode) {
    case LUA_ERRMEM: {
        setsvalue2s(L, oldtop, G(L)->memerrmsg);
        break;
    }
    case LUA_ERRERR: {
        setsvalue2s(L, oldtop, luaS_newliteral(L, "error in error handling"));
        break;
    }
    default: {
        setobjs2s(L, oldtop, L->top - 1); /* the raised value itself */
        break;
    }
    }
    L->top = oldtop + 1;
}

void luaD_throw(lua_State *L, int errcode) {
    if (L->errorJmp) {
        L->errorJmp->status = errcode;
        throw L->errorJmp;
    }
    global_State *g = G(L);
    L->status = cast_byte(errcode); /* nothing can catch it: dead thread */
    /* a thread run without protection hands its error to the main thread */
    if (g->mainthread->errorJmp) {
        setobjs2s(L, g->mainthread->top++, L->top - 1);
        luaD_throw(g->mainthread, errcode);
    }
    if (g->panic) g->panic(L);
    abort();
}

int luaD_rawrunprotected(lua_State *L, Pfunc f, void *ud) {
    unsigned short oldnCcalls = L->nCcalls;
    struct lua_longjmp lj;
    lj.status = LUA_OK;
    lj.previous = L->errorJmp;
    L->errorJmp = &lj;
    try {
        (*f)(L, ud);
    } catch (struct lua_longjmp *target) {
        if (target != &lj) {
            /* aimed further out (another thread's target, as when a thread
         without one throws to the main thread): pass it on */
            L->errorJmp = lj.previous;
            L->nCcalls = oldnCcalls;
            throw;
        }
        if (lj.status == LUA_OK) lj.status = -1;
    }
    L->errorJmp = lj.previous;
    L->nCcalls = oldnCcalls;
    return lj.status;
}

/* a pointer into the old (already released) stack, moved to the new one;
   integer arithmetic, since the old block no longer exists */
static StkId moved(StkId p, uintptr_t oldstack, TValue *newstack) {
    return newstack + (reinterpret_cast<uintptr_t>(p) - oldstack) / sizeof(TValue);
}

static void correctstack(lua_State *L, uintptr_t oldstack) {
    L->top = moved(L->top, oldstack, L->stack);
    for (GCObject *up = L->openupval; up != NULL; up = up->gch.next)
        gco2uv(up)->v = moved(gco2uv(up)->v, oldstack, L->stack);
    for (CallInfo *ci = L->ci; ci != NULL; ci = ci->previous) {
        ci->top = moved(ci->top, oldstack, L->stack);
        ci->func = moved(ci->func, oldstack, L->stack);
        if (isLua(ci)) ci->u.l.base = moved(ci->u.l.base, oldstack, L->stack);
    }
}

void luaD_reallocstack(lua_State *L, int newsize) {
    uintptr_t oldstack = reinterpret_cast<uintptr_t>(L->stack);
    int lim = L->stacksize;
    lua_assert(newsize <= LUAI_MAXSTACK || newsize == ERRORSTACKSIZE);
    lua_assert(L->stack_last - L->stack == L->stacksize - EXTRA_STACK);
    luaM_reallocvector(L, L->stack, L->stacksize, newsize, TValue);
    for (; lim < newsize; lim++) setnilvalue(L->stack + lim); /* the collector scans every slot */
    L->stacksize = newsize;
    L->stack_last = L->stack + newsize - EXTRA_STACK;
    correctstack(L, oldstack);
}

void luaD_growstack(lua_State *L, int n) {
    int size = L->stacksize;
    if (size > LUAI_MAXSTACK) /* overflowed again while reporting one */
        luaD_throw(L, LUA_ERRERR);
    int64_t needed = static_cast<int64_t>(L->top - L->stack) + n + EXTRA_STACK;
    int64_t newsize = 2 * static_cast<int64_t>(size);
    if (newsize > LUAI_MAXSTACK) newsize = LUAI_MAXSTACK;
    if (newsize < needed) newsize = needed;
    if (newsize > LUAI_MAXSTACK) {
        luaD_reallocstack(L, ERRORSTACKSIZE);
        luaG_runerror(L, "stack overflow");
    }
    luaD_reallocstack(L, static_cast<int>(newsize));
}

static int stackinuse(lua_State *L) {
    StkId lim = L->top;
    for (CallInfo *ci = L->ci; ci != NULL; ci = ci->previous) {
        lua_assert(ci->top <= L->stack_last);
        if (lim < ci->top) lim = ci->top;
    }
    return cast_int(lim - L->stack) + 1;
}

void luaD_shrinkstack(lua_State *L) {
    int inuse = stackinuse(L);
    int goodsize = inuse + (inuse / 8) + 2 * EXTRA_STACK;
    if (goodsize > LUAI_MAXSTACK) goodsize = LUAI_MAXSTACK;
    if (inuse > LUAI_MAXSTACK || goodsize >= L->stacksize)
        return; /* in overflow, or nothing to gain */
    /* called by the collector and by error recovery, which must not raise:
       a refused shrink keeps the stack as it is */
    uintptr_t oldstack = reinterpret_cast<uintptr_t>(L->stack);
    if (!luaM_tryshrinkvector(L, L->stack, L->stacksize, goodsize, TValue)) return;
    L->stacksize = goodsize;
    L->stack_last = L->stack + goodsize - EXTRA_STACK;
    correctstack(L, oldstack);
}

/*
** The hook caller is kept for the debug interface's contract; nothing in
** the VM calls it (cycle accounting replaces the count hook).
*/
void luaD_hook(lua_State *L, int event, int line) {
    lua_Hook hook = L->hook;
    if (hook && L->allowhook) {
        CallInfo *ci = L->ci;
        ptrdiff_t top = savestack(L, L->top);
        ptrdiff_t ci_top = savestack(L, ci->top);
        lua_Debug ar;
        ar.event = event;
        ar.currentline = line;
        ar.i_ci = ci;
        luaD_checkstack(L, LUA_MINSTACK);
        ci->top = L->top + LUA_MINSTACK;
        L->allowhook = 0;
        ci->callstatus |= CIST_HOOKED;
        (*hook)(L, &ar);
        L->allowhook = 1;
        ci->top = restorestack(L, ci_top);
        L->top = restorestack(L, top);
        ci->callstatus &= static_cast<lu_byte>(~CIST_HOOKED);
    }
}

static StkId adjust_varargs(lua_State *L, Proto *p, int actual) {
    int nfixargs = p->numparams;
    lua_assert(actual >= nfixargs);
    /* the fixed parameters get fresh registers above all the arguments;
     the extras stay below the new base, where OP_VARARG finds them */
    StkId fixed = L->top - actual;
    StkId base = L->top;
    for (int i = 0; i < nfixargs; i++) {
        setobjs2s(L, L->top++, fixed + i);
        setnilvalue(fixed + i);
    }
    return base;
}

/* a non-function called: put its __call metamethod in front of it */
static StkId tryfuncTM(lua_State *L, StkId func) {
    const TValue *tm = luaT_gettmbyobj(L, func, TM_CALL);
    ptrdiff_t funcr = savestack(L, func);
    if (!ttisfunction(tm)) luaG_typeerror(L, func, "call");
    /* the called object becomes the handler's first argument */
    for (StkId p = L->top; p > func; p--) setobjs2s(L, p, p - 1);
    incr_top(L);
    func = restorestack(L, funcr); /* the stack may have moved */
    setobj2s(L, func, tm);
    return func;
}

/* call records are kept for reuse once allocated */
static inline CallInfo *next_ci(lua_State *L) {
    return L->ci = (L->ci->next ? L->ci->next : luaE_extendCI(L));
}

/* 0: a Lua frame is ready to run; 1: a C function has run and its results
   are in place; 2: a C function yielded by returning (see lua_yieldk) */
int luaD_precall(lua_State *L, StkId func, int nresults) {
    lua_CFunction f;
    CallInfo *ci;
    int n;
    ptrdiff_t funcr = savestack(L, func);
    switch (ttype(func)) {
    case LUA_TLCF:
    case LUA_TCCL: {
        f = ttislcf(func) ? fvalue(func) : clCvalue(func)->f;
        L->nfastargs = cast_int(L->top - func) - 1;
        luaD_checkstack(L, LUA_MINSTACK); /* every C function may count on it */
        ci = next_ci(L);
        ci->nresults = static_cast<short>(nresults);
        ci->func = restorestack(L, funcr);
        ci->top = L->top + LUA_MINSTACK;
        lua_assert(ci->top <= L->stack_last);
        ci->callstatus = 0;
        luaC_checkGC(L);
        n = (*f)(L);
        if (L->status == LUA_YIELD) /* it yielded by returning */
            return 2;
        api_checknelems(L, n);
        luaD_poscall(L, L->top - n);
        return 1;
    }
    case LUA_TFCF: { /* fast C function: no frame, one number back */
        f = fvalue(func);
        if (nresults > 1 && L->stack_last - func <= nresults) {
            /* from C the wanted slots may lie beyond the stack */
            luaD_growstack(L, nresults);
            func = restorestack(L, funcr);
        }
        L->nfastargs = cast_int(L->top - func) - 1;
        lua_Number r;
        {
#ifndef NDEBUG
            FastCallMark mark;
#endif
            r = static_cast<lua_Number>((*f)(L));
        }
        func = restorestack(L, funcr);
        setnvalue(func, r);
        /* no result wanted (a __newindex handler, a C call for 0 results):
         keep the stack balanced, as a returning frame would */
        L->top = (nresults == 0) ? func : func + 1;
        for (int j = 1; j < nresults; j++) /* the top is not moved over them */
            setnilvalue(func + j);
        return 1;
    }
    case LUA_TLCL: {
        StkId base;
        Proto *p = clLvalue(func)->p;
        luaD_checkstack(L, p->maxstacksize);
        func = restorestack(L, funcr);
        n = cast_int(L->top - func) - 1;
        for (; n < p->numparams; n++) /* absent parameters are nil */
            setnilvalue(L->top++);
        base = (!p->is_vararg) ? func + 1 : adjust_varargs(L, p, n);
        ci = next_ci(L);
        luaD_enterlua(L, ci, func, base, p, nresults);
        luaC_checkGC(L);
        return 0;
    }
    default: {
        func = tryfuncTM(L, func);
        return luaD_precall(L, func, nresults);
    }
    }
}

void luaD_call(lua_State *L, StkId func, int nResults, int allowyield) {
    check_not_in_fastcall();
    if (++L->nCcalls >= LUAI_MAXCCALLS) {
        if (L->nCcalls == LUAI_MAXCCALLS)
            luaG_runerror(L, "C stack overflow");
        else if (L->nCcalls >= (LUAI_MAXCCALLS + (LUAI_MAXCCALLS >> 3)))
            luaD_throw(L, LUA_ERRERR); /* the overflow handler overflowed */
    }
    if (!allowyield) L->nny++;
    if (!luaD_precall(L, func, nResults)) /* C functions have already run */
        luaV_execute(L);
    if (!allowyield) L->nny--;
    L->nCcalls--;
}

/* the error handler's call: never yieldable, and allowed while a fast
   function raises the error */
void luaD_callnoyield(lua_State *L, StkId func, int nResults) {
#ifndef NDEBUG
    FastCallLift lift;
#endif
    luaD_call(L, func, nResults, 0);
}

static void finishCcall(lua_State *L) {
    CallInfo *ci = L->ci;
    lua_assert(ci->u.c.k != NULL); /* else nny would have barred the yield */
    lua_assert(L->nny == 0);
    /* the yieldable pcall completed normally: undo what lua_pcallk set up */
    if (ci->callstatus & CIST_YPCALL) {
        ci->callstatus &= static_cast<lu_byte>(~CIST_YPCALL);
        L->errfunc = ci->u.c.old_errfunc;
    }
    adjustresults(L, ci->nresults);
    if (!(ci->callstatus & CIST_STAT)) /* recover() stored none */
        ci->u.c.status = LUA_YIELD;
    /* the status is handed over now: a later protected call of the same
     continuation starts clean */
    ci->callstatus =
        static_cast<lu_byte>((ci->callstatus & ~(CIST_YPCALL | CIST_STAT)) | CIST_YIELDED);
    int n = (*ci->u.c.k)(L);
    api_checknelems(L, n);
    luaD_poscall(L, L->top - n);
}

/* finish the frames below a resumed one */
static void unroll(lua_State *L, void *ud) {
    UNUSED(ud);
    for (;;) {
        if (L->ci == &L->base_ci || L->status == LUA_YIELD) return;
        if (!isLua(L->ci))
            finishCcall(L);
        else { /* a Lua function interrupted inside a metamethod */
            luaV_finishOp(L);
            luaV_execute(L);
        }
    }
}

static CallInfo *findpcall(lua_State *L) {
    for (CallInfo *ci = L->ci; ci != NULL; ci = ci->previous) {
        if (ci->callstatus & CIST_YPCALL) return ci;
    }
    return NULL;
}

/* an error inside a coroutine: resume at the innermost yieldable pcall */
static int recover(lua_State *L, int status) {
    CallInfo *ci = findpcall(L);
    if (ci == NULL) return 0;
    StkId oldtop = restorestack(L, ci->extra);
    luaF_close(L, oldtop);
    seterrorobj(L, status, oldtop);
    L->ci = ci;
    L->allowhook = ci->u.c.old_allowhook;
    L->nny = 0; /* a yieldable pcall only runs where yields are allowed */
    luaD_shrinkstack(L);
    L->errfunc = ci->u.c.old_errfunc;
    ci->callstatus |= CIST_STAT;
    ci->u.c.status = cast_byte(status);
    return 1;
}

/* an error in the call to resume itself: the thread is left as it was */
[[noreturn]] static void resume_error(lua_State *L, const char *msg, StkId firstArg) {
    L->top = firstArg;
    setsvalue2s(L, L->top, luaS_new(L, msg));
    incr_top(L);
    luaD_throw(L, -1);
}

static void resume(lua_State *L, void *ud) {
    int nCcalls = L->nCcalls;
    StkId firstArg = cast(StkId, ud);
    CallInfo *ci = L->ci;
    if (nCcalls >= LUAI_MAXCCALLS) resume_error(L, "C stack overflow", firstArg);
    if (L->status == LUA_OK) { /* first resume: call the body */
        if (ci != &L->base_ci) resume_error(L, "cannot resume non-suspended coroutine", firstArg);
        if (!luaD_precall(L, firstArg - 1, LUA_MULTRET)) luaV_execute(L);
    } else if (L->status != LUA_YIELD)
        resume_error(L, "cannot resume dead coroutine", firstArg);
    else {
        L->status = LUA_OK;
        ci->func = restorestack(L, ci->extra);
        if (isLua(ci)) {
            /* a forced yield: the values passed in go nowhere, and must not be
         mistaken for pending results of the interrupted instruction */
            L->top = firstArg;
            luaV_execute(L);
        } else {                     /* a C function that yielded */
            if (ci->u.c.k != NULL) { /* with a continuation: call it */
                ci->u.c.status = LUA_YIELD;
                ci->callstatus |= CIST_YIELDED;
                int n = (*ci->u.c.k)(L);
                api_checknelems(L, n);
                firstArg = L->top - n;
            }
            /* without one: the resume's values are its results */
            luaD_poscall(L, firstArg);
        }
        unroll(L, NULL);
    }
    lua_assert(nCcalls == L->nCcalls);
}

/* a yield by returning ends the run without an exception */
static int run_resume(lua_State *L, Pfunc f, void *ud) {
    int status = luaD_rawrunprotected(L, f, ud);
    return (status == LUA_OK && L->status == LUA_YIELD) ? LUA_YIELD : status;
}

LUA_API lua_State *lua_running_thread(void) { return resuming_L; }

LUA_API int lua_resume(lua_State *L, lua_State *from, int nargs) {
    int status;
    unsigned short oldnny = L->nny;
    L->nCcalls = (from) ? from->nCcalls + 1 : 1;
    L->nny = 0;
    api_checknelems(L, (L->status == LUA_OK) ? nargs + 1 : nargs);
    ResumingMark mark(L, from);
    status = run_resume(L, resume, L->top - nargs);
    if (status == -1) /* resume_error: the thread itself is untouched */
        status = LUA_ERRRUN;
    else {
        while (status != LUA_OK && status != LUA_YIELD) {
            if (recover(L, status)) { /* a yieldable pcall catches it */
                status = run_resume(L, unroll, NULL);
            } else { /* unrecoverable: the thread is dead */
                L->status = cast_byte(status);
                seterrorobj(L, status, L->top);
                L->ci->top = L->top;
                break;
            }
        }
        lua_assert(status == L->status);
    }
    L->nny = oldnny;
    L->nCcalls--;
    return status;
}

LUA_API int lua_forcedout(lua_State *co) {
    /* only a forced yield suspends a thread in a Lua frame; yield itself is C */
    return co->status == LUA_YIELD && isLua(co->ci);
}

LUA_API int lua_yieldk(lua_State *L, int nresults, int ctx, lua_CFunction k) {
    CallInfo *ci = L->ci;
    check_not_in_fastcall();
    api_checknelems(L, nresults);
    if (L->nny > 0) {
        if (L != G(L)->mainthread)
            luaG_runerror(L, "attempt to yield across a C-call boundary");
        else
            luaG_runerror(L, "attempt to yield from outside a coroutine");
    }
    L->status = LUA_YIELD;
    ci->extra = savestack(L, ci->func); /* resume puts 'func' back */
    if (isLua(ci)) {                    /* the interpreter's forced yield: it throws itself */
        api_check(L, k == NULL, "a forced yield has no continuation");
    } else {
        if ((ci->u.c.k = k) != NULL) ci->u.c.ctx = ctx;
        /* resume's luaD_poscall moves the yielded values from just above
       this fake 'func', leaving the frame's own slots alone */
        ci->func = L->top - nresults - 1;
        /* called by the interpreter at the resume's own level, and not a
       continuation (those run with CIST_YIELDED set): return instead */
        if (L == resuming_L && L->nCcalls == resuming_level && isLua(ci->previous) &&
            !(ci->callstatus & CIST_YIELDED))
            return 0; /* the caller must return this at once */
        luaD_throw(L, LUA_YIELD);
    }
    return 0;
}

int luaD_pcall(lua_State *L, Pfunc func, void *u, ptrdiff_t old_top, ptrdiff_t ef) {
    CallInfo *old_ci = L->ci;
    lu_byte old_allowhooks = L->allowhook;
    unsigned short old_nny = L->nny;
    ptrdiff_t old_errfunc = L->errfunc;
    L->errfunc = ef;
    int status = luaD_rawrunprotected(L, func, u);
    if (status != LUA_OK) {
        StkId oldtop = restorestack(L, old_top);
        luaF_close(L, oldtop); /* those slots are about to be reused */
        seterrorobj(L, status, oldtop);
        L->ci = old_ci;
        L->allowhook = old_allowhooks;
        L->nny = old_nny;
        luaD_shrinkstack(L);
    }
    L->errfunc = old_errfunc;
    return status;
}

/* kept outside f_parser so luaD_protectedparser frees them after errors */
struct SParser {
    ZIO *z;
    Mbuffer buff;
    Dyndata dyd;
    const char *mode;
    const char *name;
};

static void checkmode(lua_State *L, const char *mode, const char *x) {
    if (mode && strchr(mode, x[0]) == NULL) {
        luaO_pushfstring(L, "attempt to load a %s chunk (mode is '%s')", x, mode);
        luaD_throw(L, LUA_ERRSYNTAX);
    }
}

static void f_parser(lua_State *L, void *ud) {
    Closure *cl;
    struct SParser *p = cast(struct SParser *, ud);
    int c = zgetc(p->z); /* the signature's first byte marks a binary */
    if (c == LUA_SIGNATURE[0]) {
        checkmode(L, p->mode, "binary");
        cl = luaU_undump(L, p->z, &p->buff, p->name);
    } else {
        checkmode(L, p->mode, "text");
        cl = luaY_parser(L, p->z, &p->buff, &p->dyd, p->name, c);
    }
    lua_assert(cl->l.nupvalues == cl->l.p->sizeupvalues);
    for (int i = 0; i < cl->l.nupvalues; i++) { /* upvalues start closed */
        UpVal *up = luaF_newupval(L);
        cl->l.upvals[i] = up;
        luaC_objbarrier(L, cl, up);
    }
}

int luaD_protectedparser(lua_State *L, ZIO *z, const char *name, const char *mode) {
    struct SParser p;
    L->nny++; /* a parse cannot be suspended midway */
    p.z = z;
    p.name = name;
    p.mode = mode;
    p.dyd.actvar.arr = NULL;
    p.dyd.actvar.size = 0;
    p.dyd.gt.arr = NULL;
    p.dyd.gt.size = 0;
    p.dyd.label.arr = NULL;
    p.dyd.label.size = 0;
    luaZ_initbuffer(L, &p.buff);
    int status = luaD_pcall(L, f_parser, &p, savestack(L, L->top), L->errfunc);
    luaZ_freebuffer(L, &p.buff);
    luaM_freearray(L, p.dyd.actvar.arr, p.dyd.actvar.size);
    luaM_freearray(L, p.dyd.gt.arr, p.dyd.gt.size);
    luaM_freearray(L, p.dyd.label.arr, p.dyd.label.size);
    L->nny--;
    return status;
}
