/*
** Script VM: helpers of the C API shared with the call machinery.
*/
#ifndef Z6_LAPI_H
#define Z6_LAPI_H

#include "vm/llimits.h"
#include "vm/lstate.h"

inline void api_incr_top(lua_State *L) {
    L->top++;
    api_check(L, L->top <= L->ci->top, "stack overflow");
}

/* after a call with open results the frame's limit must cover them all */
inline void adjustresults(lua_State *L, int nres) {
    if (nres == LUA_MULTRET && L->ci->top < L->top) L->ci->top = L->top;
}

#define api_checknelems(L, n)                                                                      \
    api_check(L, (n) < (L->top - L->ci->func), "not enough elements in the stack")

#endif
