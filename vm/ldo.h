/*
** Script VM: calls, stack growth, errors, protected execution, coroutines.
*/
#ifndef Z6_LDO_H
#define Z6_LDO_H

#include "vm/lobject.h"
#include "vm/lstate.h"
#include "vm/lzio.h"

/* stack offsets survive a reallocation of the stack; pointers do not */
#define savestack(L, p)    ((char *)(p) - (char *)L->stack)
#define restorestack(L, n) ((TValue *)((char *)L->stack + (n)))

typedef void (*Pfunc)(lua_State *L, void *ud);

int luaD_protectedparser(lua_State *L, ZIO *z, const char *name, const char *mode);
void luaD_hook(lua_State *L, int event, int line);
int luaD_precall(lua_State *L, StkId func, int nresults);
void luaD_call(lua_State *L, StkId func, int nResults, int allowyield);
void luaD_callnoyield(lua_State *L, StkId func, int nResults);
int luaD_pcall(lua_State *L, Pfunc func, void *u, ptrdiff_t oldtop, ptrdiff_t ef);

/*
** The frame of a call to a Lua function: the record that follows the
** caller's (already allocated), its base and registers.  The stack room is
** checked and missing arguments filled by the caller.
*/
inline void luaD_enterlua(lua_State *L, CallInfo *ci, StkId func, StkId base, Proto *p,
                          int nresults) {
    ci->nresults = static_cast<short>(nresults);
    ci->func = func;
    ci->u.l.base = base;
    ci->top = base + p->maxstacksize;
    lua_assert(ci->top <= L->stack_last);
    ci->u.l.savedpc = p->code;
    ci->callstatus = CIST_LUA;
    L->top = ci->top;
}

/*
** Ends the current frame: its results (from firstResult to the top) move to
** the function's slot, missing wanted results become nil.  Returns 0 when
** all results were wanted.
*/
inline int luaD_poscall(lua_State *L, StkId firstResult) {
    CallInfo *ci = L->ci;
    StkId res = ci->func; /* results go where the function was */
    int wanted = ci->nresults;
    int i;
    L->ci = ci = ci->previous;
    for (i = wanted; i != 0 && firstResult < L->top; i--) setobjs2s(L, res++, firstResult++);
    while (i-- > 0) setnilvalue(res++);
    L->top = res;
    return (wanted - LUA_MULTRET);
}
void luaD_reallocstack(lua_State *L, int newsize);
void luaD_growstack(lua_State *L, int n);
void luaD_shrinkstack(lua_State *L);

/* room for n more values above the top; may move the stack */
inline void luaD_checkstack(lua_State *L, int n) {
    if (L->stack_last - L->top <= n) luaD_growstack(L, n);
}

inline void incr_top(lua_State *L) {
    L->top++;
    luaD_checkstack(L, 0);
}

[[noreturn]] void luaD_throw(lua_State *L, int errcode);
/* the running thread's forced yields are held: see ResumingMark */
bool luaD_forcedyieldheld(void);
/* true where a yield may return to the running resume instead of throwing:
   L is that resume's thread and no C call into the VM lies between them */
bool luaD_yieldbyreturn(lua_State *L);
int luaD_rawrunprotected(lua_State *L, Pfunc f, void *ud);

#endif
