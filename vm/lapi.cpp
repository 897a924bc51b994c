/*
** Script VM: the C API.
** Numbers cross the boundary as raw 16.16 values; C integers are shifted
** by 16 on the way in and out.  The API trusts its caller: indices, stack
** room and argument types are checked only when api_check is enabled.
*/
#include <cstring>

#include "vm/lapi.h"

#include "vm/ldebug.h"
#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lgc.h"
#include "vm/lmem.h"
#include "vm/lobject.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/ltm.h"
#include "vm/lundump.h"
#include "vm/lvm.h"
#include "vm/lzio.h"

/* empty slots resolve to the shared nil: reads see nil, writes must not
   happen (moveto guards against it) */
#define NONVALIDVALUE cast(TValue *, luaO_nilobject)

static inline bool isvalid(const TValue *o) { return o != luaO_nilobject; }

/* the registry and upvalue slots live below every stack-relative index */
static inline bool ispseudo(int idx) { return idx <= LUA_REGISTRYINDEX; }

static TValue *index2addr(lua_State *L, int idx) {
    CallInfo *ci = L->ci;
    if (idx > 0) {
        TValue *o = ci->func + idx;
        api_check(L, idx <= ci->top - (ci->func + 1), "unacceptable index");
        if (o >= L->top) return NONVALIDVALUE;
        return o;
    } else if (!ispseudo(idx)) { /* counted down from the top */
        api_check(L, idx != 0 && -idx <= L->top - (ci->func + 1), "invalid index");
        return L->top + idx;
    } else if (idx == LUA_REGISTRYINDEX)
        return &G(L)->l_registry;
    else {
        idx = LUA_REGISTRYINDEX - idx;
        api_check(L, idx <= MAXUPVAL + 1, "upvalue index too large");
        /* only C closures have upvalues here; a fast function runs in its
       caller's frame, which may well be a Lua function */
        if (!ttisCclosure(ci->func)) return NONVALIDVALUE;
        CClosure *func = clCvalue(ci->func);
        return (idx <= func->nupvalues) ? &func->upvalue[idx - 1] : NONVALIDVALUE;
    }
}

/* run protected so that an allocation failure makes lua_checkstack
   answer 0 instead of raising */
static void growstack(lua_State *L, void *ud) {
    int size = *static_cast<int *>(ud);
    luaD_growstack(L, size);
}

LUA_API int lua_checkstack(lua_State *L, int size) {
    int res;
    CallInfo *ci = L->ci;
    if (size < 0) return 0;
    if (L->stack_last - L->top > size)
        res = 1;
    else {
        int inuse = cast_int(L->top - L->stack) + EXTRA_STACK;
        if (inuse > LUAI_MAXSTACK - size) /* would pass the hard stack limit */
            res = 0;
        else
            res = (luaD_rawrunprotected(L, &growstack, &size) == LUA_OK);
    }
    if (res && ci->top < L->top + size)
        ci->top = L->top + size; /* the frame may now use the new room */
    return res;
}

LUA_API void lua_xmove(lua_State *from, lua_State *to, int n) {
    if (from == to) return;
    api_checknelems(from, n);
    api_check(from, to->ci->top - to->top >= n, "not enough elements to move");
    from->top -= n;
    for (int i = 0; i < n; i++) { setobj2s(to, to->top++, from->top + i); }
}

LUA_API lua_CFunction lua_atpanic(lua_State *L, lua_CFunction panicf) {
    lua_CFunction old = G(L)->panic;
    G(L)->panic = panicf;
    return old;
}

/* the version is the raw number 502, not 502 in 16.16 form */
LUA_API const lua_Number *lua_version(lua_State *L) {
    static const lua_Number version = LUA_VERSION_NUM;
    if (L == NULL) return &version;
    return G(L)->version;
}

LUA_API int lua_absindex(lua_State *L, int idx) {
    return (idx > 0 || ispseudo(idx)) ? idx : cast_int(L->top - L->ci->func + idx);
}

LUA_API int lua_gettop(lua_State *L) { return cast_int(L->top - (L->ci->func + 1)); }

LUA_API void lua_settop(lua_State *L, int idx) {
    StkId func = L->ci->func;
    if (idx >= 0) {
        api_check(L, idx <= L->stack_last - (func + 1), "new top too large");
        while (L->top < (func + 1) + idx) setnilvalue(L->top++);
        L->top = (func + 1) + idx;
    } else {
        api_check(L, -(idx + 1) <= (L->top - (func + 1)), "invalid new top");
        L->top += idx + 1; /* idx is negative: -1 keeps everything */
    }
}

LUA_API void lua_remove(lua_State *L, int idx) {
    StkId p = index2addr(L, idx);
    api_check(L, isvalid(p), "invalid index");
    while (++p < L->top) setobjs2s(L, p - 1, p);
    L->top--;
}

LUA_API void lua_insert(lua_State *L, int idx) {
    StkId p = index2addr(L, idx);
    api_check(L, isvalid(p), "invalid index");
    /* shift up one slot; the old top lands in the free slot at L->top,
     from where it is copied down into the gap */
    for (StkId q = L->top; q > p; q--) setobjs2s(L, q, q - 1);
    setobjs2s(L, p, L->top);
}

static void moveto(lua_State *L, TValue *fr, int idx) {
    TValue *to = index2addr(L, idx);
    api_check(L, isvalid(to), "invalid index");
    if (!isvalid(to)) /* never write into the shared nil object */
        return;
    setobj(L, to, fr);
    /* an upvalue slot belongs to a closure that may already be black; the
     registry needs no barrier since the atomic phase re-marks it */
    if (idx < LUA_REGISTRYINDEX) luaC_barrier(L, clCvalue(L->ci->func), fr);
}

LUA_API void lua_replace(lua_State *L, int idx) {
    api_checknelems(L, 1);
    moveto(L, L->top - 1, idx);
    L->top--;
}

LUA_API void lua_copy(lua_State *L, int fromidx, int toidx) {
    TValue *fr = index2addr(L, fromidx);
    moveto(L, fr, toidx);
}

LUA_API void lua_pushvalue(lua_State *L, int idx) {
    setobj2s(L, L->top, index2addr(L, idx));
    api_incr_top(L);
}

LUA_API int lua_type(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    return (isvalid(o) ? ttypenv(o) : LUA_TNONE);
}

LUA_API const char *lua_typename(lua_State *L, int t) {
    UNUSED(L);
    if (t < LUA_TNONE || t >= LUA_NUMTAGS) return "?";
    return ttypename(t);
}

LUA_API int lua_iscfunction(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    return (ttislcf(o) || ttisfcf(o) || ttisCclosure(o));
}

LUA_API int lua_isnumber(lua_State *L, int idx) {
    TValue n;
    const TValue *o = index2addr(L, idx);
    return tonumber(o, &n);
}

LUA_API int lua_isstring(lua_State *L, int idx) {
    int t = lua_type(L, idx);
    return (t == LUA_TSTRING || t == LUA_TNUMBER);
}

LUA_API int lua_isuserdata(lua_State *L, int idx) {
    const TValue *o = index2addr(L, idx);
    return (ttisuserdata(o) || ttislightuserdata(o));
}

LUA_API int lua_rawequal(lua_State *L, int index1, int index2) {
    StkId o1 = index2addr(L, index1);
    StkId o2 = index2addr(L, index2);
    return (isvalid(o1) && isvalid(o2)) ? luaV_rawequalobj(o1, o2) : 0;
}

LUA_API void lua_arith(lua_State *L, int op) {
    if (op != LUA_OPUNM)
        api_checknelems(L, 2);
    else { /* duplicate the operand so every op is binary below */
        api_checknelems(L, 1);
        setobjs2s(L, L->top, L->top - 1);
        L->top++;
    }
    StkId o1 = L->top - 2;
    StkId o2 = L->top - 1;
    if (op < LUA_OPADD || op > LUA_OPUNM) { /* unknown code: the result is 0 */
        setnvalue(o1, 0);
    } else if (ttisnumber(o1) && ttisnumber(o2)) {
        setnvalue(o1, luaO_arith(op, nvalue(o1), nvalue(o2)));
    } else
        luaV_arith(L, o1, o1, o2, cast(TMS, op - LUA_OPADD + TM_ADD));
    L->top--;
}

LUA_API int lua_compare(lua_State *L, int index1, int index2, int op) {
    int i = 0;
    StkId o1 = index2addr(L, index1);
    StkId o2 = index2addr(L, index2);
    if (isvalid(o1) && isvalid(o2)) {
        switch (op) {
        case LUA_OPEQ: i = equalobj(L, o1, o2); break;
        case LUA_OPLT: i = luaV_lessthan(L, o1, o2); break;
        case LUA_OPLE: i = luaV_lessequal(L, o1, o2); break;
        default: api_check(L, 0, "invalid option");
        }
    }
    return i;
}

LUA_API lua_Number lua_tonumberx(lua_State *L, int idx, int *isnum) {
    TValue n;
    const TValue *o = index2addr(L, idx);
    if (tonumber(o, &n)) {
        if (isnum) *isnum = 1;
        return nvalue(o);
    }
    if (isnum) *isnum = 0;
    return 0;
}

LUA_API lua_Integer lua_tointegerx(lua_State *L, int idx, int *isnum) {
    TValue n;
    const TValue *o = index2addr(L, idx);
    if (tonumber(o, &n)) {
        lua_Integer res;
        lua_number2integer(res, nvalue(o));
        if (isnum) *isnum = 1;
        return res;
    }
    if (isnum) *isnum = 0;
    return 0;
}

LUA_API lua_Unsigned lua_tounsignedx(lua_State *L, int idx, int *isnum) {
    TValue n;
    const TValue *o = index2addr(L, idx);
    if (tonumber(o, &n)) {
        lua_Unsigned res;
        lua_number2unsigned(res, nvalue(o));
        if (isnum) *isnum = 1;
        return res;
    }
    if (isnum) *isnum = 0;
    return 0;
}

LUA_API lua_Number lua_tonumber_from_tvalue(const struct lua_TValue *o) {
    if (ttisnumber(o)) return nvalue(o);
    lua_Number n;
    if (ttisstring(o) && luaO_str2d(svalue(o), tsvalue(o)->len, &n)) return n;
    return 0;
}

LUA_API int lua_toboolean(lua_State *L, int idx) {
    const TValue *o = index2addr(L, idx);
    return !l_isfalse(o);
}

LUA_API const char *lua_tolstring(lua_State *L, int idx, size_t *len) {
    StkId o = index2addr(L, idx);
    if (!ttisstring(o)) {
        if (!luaV_tostring(L, o)) { /* neither string nor number */
            if (len != NULL) *len = 0;
            return NULL;
        }
        luaC_checkGC(L);
        o = index2addr(L, idx); /* the collector may have moved the stack */
    }
    if (len != NULL) *len = tsvalue(o)->len;
    return svalue(o);
}

LUA_API size_t lua_rawlen(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttypenv(o)) {
    case LUA_TSTRING: return tsvalue(o)->len;
    case LUA_TUSERDATA: return uvalue(o)->len;
    case LUA_TTABLE: return static_cast<size_t>(luaH_getn(hvalue(o)));
    default: return 0;
    }
}

LUA_API lua_CFunction lua_tocfunction(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    if (ttislcf(o) || ttisfcf(o))
        return fvalue(o);
    else if (ttisCclosure(o))
        return clCvalue(o)->f;
    return NULL;
}

LUA_API void *lua_touserdata(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttypenv(o)) {
    case LUA_TUSERDATA: return (rawuvalue(o) + 1);
    case LUA_TLIGHTUSERDATA: return pvalue(o);
    default: return NULL;
    }
}

LUA_API lua_State *lua_tothread(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    return (!ttisthread(o)) ? NULL : thvalue(o);
}

LUA_API const void *lua_topointer(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    switch (ttype(o)) {
    case LUA_TTABLE: return hvalue(o);
    case LUA_TLCL: return clLvalue(o);
    case LUA_TCCL: return clCvalue(o);
    case LUA_TLCF:
    case LUA_TFCF: return reinterpret_cast<const void *>(fvalue(o));
    case LUA_TTHREAD: return thvalue(o);
    case LUA_TUSERDATA:
    case LUA_TLIGHTUSERDATA: return lua_touserdata(L, idx);
    default: return NULL;
    }
}

LUA_API void lua_pushnil(lua_State *L) {
    setnilvalue(L->top);
    api_incr_top(L);
}

LUA_API void lua_pushnumber(lua_State *L, lua_Number n) {
    setnvalue(L->top, n);
    api_incr_top(L);
}

LUA_API void lua_pushinteger(lua_State *L, lua_Integer n) {
    setnvalue(L->top, lua_integer2number(n));
    api_incr_top(L);
}

LUA_API void lua_pushunsigned(lua_State *L, lua_Unsigned u) {
    setnvalue(L->top, lua_unsigned2number(u));
    api_incr_top(L);
}

LUA_API const char *lua_pushlstring(lua_State *L, const char *s, size_t len) {
    luaC_checkGC(L);
    TString *ts = luaS_newlstr(L, s, len);
    setsvalue2s(L, L->top, ts);
    api_incr_top(L);
    return getstr(ts);
}

LUA_API const char *lua_pushstring(lua_State *L, const char *s) {
    if (s == NULL) {
        lua_pushnil(L);
        return NULL;
    }
    luaC_checkGC(L);
    TString *ts = luaS_new(L, s);
    setsvalue2s(L, L->top, ts);
    api_incr_top(L);
    return getstr(ts);
}

LUA_API const char *lua_pushvfstring(lua_State *L, const char *fmt, va_list argp) {
    luaC_checkGC(L);
    return luaO_pushvfstring(L, fmt, argp);
}

LUA_API const char *lua_pushfstring(lua_State *L, const char *fmt, ...) {
    luaC_checkGC(L);
    va_list argp;
    va_start(argp, fmt);
    const char *ret = luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    return ret;
}

LUA_API void lua_pushcclosure(lua_State *L, lua_CFunction fn, int n) {
    if (n == LUA_FASTCALL) { /* a bare fast function: nothing popped */
        setfcfvalue(L->top, fn);
    } else if (n == 0) {
        setfvalue(L->top, fn);
    } else {
        api_checknelems(L, n);
        api_check(L, n <= MAXUPVAL, "upvalue index too large");
        luaC_checkGC(L);
        Closure *cl = luaF_newCclosure(L, n);
        cl->c.f = fn;
        L->top -= n;
        while (n--) setobj2n(L, &cl->c.upvalue[n], L->top + n);
        setclCvalue(L, L->top, cl);
    }
    api_incr_top(L);
}

LUA_API void lua_pushboolean(lua_State *L, int b) {
    setbvalue(L->top, (b != 0));
    api_incr_top(L);
}

LUA_API void lua_pushlightuserdata(lua_State *L, void *p) {
    setpvalue(L->top, p);
    api_incr_top(L);
}

LUA_API int lua_pushthread(lua_State *L) {
    setthvalue(L, L->top, L);
    api_incr_top(L);
    return (G(L)->mainthread == L);
}

static const TValue *globals_table(lua_State *L) {
    Table *reg = hvalue(&G(L)->l_registry);
    return luaH_getint(reg, LUA_RIDX_GLOBALS);
}

LUA_API void lua_getglobal(lua_State *L, const char *var) {
    const TValue *gt = globals_table(L);
    setsvalue2s(L, L->top++, luaS_new(L, var));
    luaV_gettable(L, gt, L->top - 1, L->top - 1);
}

LUA_API void lua_gettable(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    luaV_gettable(L, t, L->top - 1, L->top - 1);
}

LUA_API void lua_getfield(lua_State *L, int idx, const char *k) {
    StkId t = index2addr(L, idx);
    setsvalue2s(L, L->top, luaS_new(L, k));
    api_incr_top(L);
    luaV_gettable(L, t, L->top - 1, L->top - 1);
}

LUA_API void lua_rawget(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    setobj2s(L, L->top - 1, luaH_get(hvalue(t), L->top - 1));
}

LUA_API void lua_rawgeti(lua_State *L, int idx, int n) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    setobj2s(L, L->top, luaH_getint(hvalue(t), n));
    api_incr_top(L);
}

LUA_API void lua_rawgetp(lua_State *L, int idx, const void *p) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    TValue k;
    setpvalue(&k, const_cast<void *>(p));
    setobj2s(L, L->top, luaH_get(hvalue(t), &k));
    api_incr_top(L);
}

LUA_API void lua_createtable(lua_State *L, int narray, int nrec) {
    luaC_checkGC(L);
    Table *t = luaH_new(L);
    sethvalue(L, L->top, t);
    api_incr_top(L);
    if (narray > 0 || nrec > 0) luaH_resize(L, t, narray, nrec);
}

LUA_API int lua_getmetatable(lua_State *L, int objindex) {
    const TValue *obj = index2addr(L, objindex);
    Table *mt;
    switch (ttypenv(obj)) {
    case LUA_TTABLE: mt = hvalue(obj)->metatable; break;
    case LUA_TUSERDATA: mt = uvalue(obj)->metatable; break;
    default: mt = G(L)->mt[ttypenv(obj)]; break;
    }
    if (mt == NULL) return 0;
    sethvalue(L, L->top, mt);
    api_incr_top(L);
    return 1;
}

LUA_API void lua_getuservalue(lua_State *L, int idx) {
    StkId o = index2addr(L, idx);
    api_check(L, ttisuserdata(o), "userdata expected");
    if (uvalue(o)->env) {
        sethvalue(L, L->top, uvalue(o)->env);
    } else
        setnilvalue(L->top);
    api_incr_top(L);
}

LUA_API void lua_setglobal(lua_State *L, const char *var) {
    const TValue *gt = globals_table(L);
    setsvalue2s(L, L->top++, luaS_new(L, var));
    luaV_settable(L, gt, L->top - 1, L->top - 2);
    L->top -= 2;
}

LUA_API void lua_settable(lua_State *L, int idx) {
    api_checknelems(L, 2);
    StkId t = index2addr(L, idx);
    luaV_settable(L, t, L->top - 2, L->top - 1);
    L->top -= 2;
}

LUA_API void lua_setfield(lua_State *L, int idx, const char *k) {
    api_checknelems(L, 1);
    StkId t = index2addr(L, idx);
    setsvalue2s(L, L->top++, luaS_new(L, k));
    luaV_settable(L, t, L->top - 1, L->top - 2);
    L->top -= 2;
}

LUA_API void lua_rawset(lua_State *L, int idx) {
    api_checknelems(L, 2);
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    setobj2t(L, luaH_set(L, hvalue(t), L->top - 2), L->top - 1);
    invalidateTMcache(hvalue(t));
    luaC_barrierback(L, gcvalue(t), L->top - 1);
    L->top -= 2;
}

LUA_API void lua_rawseti(lua_State *L, int idx, int n) {
    api_checknelems(L, 1);
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    luaH_setint(L, hvalue(t), n, L->top - 1);
    luaC_barrierback(L, gcvalue(t), L->top - 1);
    L->top--;
}

LUA_API void lua_rawsetp(lua_State *L, int idx, const void *p) {
    api_checknelems(L, 1);
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    TValue k;
    setpvalue(&k, const_cast<void *>(p));
    setobj2t(L, luaH_set(L, hvalue(t), &k), L->top - 1);
    luaC_barrierback(L, gcvalue(t), L->top - 1);
    L->top--;
}

LUA_API int lua_setmetatable(lua_State *L, int objindex) {
    api_checknelems(L, 1);
    TValue *obj = index2addr(L, objindex);
    Table *mt;
    if (ttisnil(L->top - 1))
        mt = NULL;
    else {
        api_check(L, ttistable(L->top - 1), "table expected");
        mt = hvalue(L->top - 1);
    }
    switch (ttypenv(obj)) {
    case LUA_TTABLE: {
        hvalue(obj)->metatable = mt;
        if (mt) {
            luaC_objbarrierback(L, gcvalue(obj), mt);
            luaC_checkfinalizer(L, gcvalue(obj), mt);
        }
        break;
    }
    case LUA_TUSERDATA: {
        uvalue(obj)->metatable = mt;
        if (mt) {
            luaC_objbarrier(L, rawuvalue(obj), mt);
            luaC_checkfinalizer(L, gcvalue(obj), mt);
        }
        break;
    }
    default: {
        G(L)->mt[ttypenv(obj)] = mt;
        break;
    }
    }
    L->top--;
    return 1;
}

LUA_API void lua_setuservalue(lua_State *L, int idx) {
    api_checknelems(L, 1);
    StkId o = index2addr(L, idx);
    api_check(L, ttisuserdata(o), "userdata expected");
    if (ttisnil(L->top - 1))
        uvalue(o)->env = NULL;
    else {
        api_check(L, ttistable(L->top - 1), "table expected");
        uvalue(o)->env = hvalue(L->top - 1);
        luaC_objbarrier(L, gcvalue(o), hvalue(L->top - 1));
    }
    L->top--;
}

LUA_API int lua_getctx(lua_State *L, int *ctx) {
    if (L->ci->callstatus & CIST_YIELDED) {
        if (ctx) *ctx = L->ci->u.c.ctx;
        return L->ci->u.c.status;
    }
    return LUA_OK;
}

LUA_API void lua_callk(lua_State *L, int nargs, int nresults, int ctx, lua_CFunction k) {
    api_check(L, k == NULL || !isLua(L->ci), "cannot use continuations inside hooks");
    api_checknelems(L, nargs + 1);
    StkId func = L->top - (nargs + 1);
    /* the continuation only matters if the callee can actually yield */
    if (k != NULL && L->nny == 0) {
        L->ci->u.c.k = k;
        L->ci->u.c.ctx = ctx;
        luaD_call(L, func, nresults, 1);
    } else
        luaD_call(L, func, nresults, 0);
    adjustresults(L, nresults);
}

/* lua_pcallk's arguments, carried through luaD_pcall to f_call */
struct CallS {
    StkId func;
    int nresults;
};

static void f_call(lua_State *L, void *ud) {
    struct CallS *c = cast(struct CallS *, ud);
    luaD_call(L, c->func, c->nresults, 0);
}

LUA_API int lua_pcallk(lua_State *L, int nargs, int nresults, int errfunc, int ctx,
                       lua_CFunction k) {
    struct CallS c;
    int status;
    ptrdiff_t func;
    api_checknelems(L, nargs + 1);
    if (errfunc == 0)
        func = 0;
    else {
        StkId o = index2addr(L, errfunc);
        func = savestack(L, o);
    }
    c.func = L->top - (nargs + 1);
    if (k == NULL || L->nny > 0) { /* cannot yield: an ordinary pcall */
        c.nresults = nresults;
        status = luaD_pcall(L, f_call, &c, savestack(L, c.func), func);
    } else {
        /* a yieldable call cannot keep a C++ frame around a yield, so we rely
       on resume's own protection; CIST_YPCALL plus the saved state below
       let the error path find this frame and recover as pcall would */
        CallInfo *ci = L->ci;
        ci->u.c.k = k;
        ci->u.c.ctx = ctx;
        ci->extra = savestack(L, c.func);
        ci->u.c.old_allowhook = L->allowhook;
        ci->u.c.old_errfunc = L->errfunc;
        L->errfunc = func;
        ci->callstatus |= CIST_YPCALL;
        luaD_call(L, c.func, nresults, 1);
        ci->callstatus &= static_cast<lu_byte>(~CIST_YPCALL);
        L->errfunc = ci->u.c.old_errfunc;
        status = LUA_OK; /* an error would have unwound past this point */
    }
    adjustresults(L, nresults);
    return status;
}

LUA_API int lua_load(lua_State *L, lua_Reader reader, void *data, const char *chunkname,
                     const char *mode) {
    ZIO z;
    if (!chunkname) chunkname = "?";
    luaZ_init(L, &z, reader, data);
    int status = luaD_protectedparser(L, &z, chunkname, mode);
    if (status == LUA_OK) {
        LClosure *f = clLvalue(L->top - 1);
        /* a main chunk's only upvalue is _ENV: start it at the globals */
        if (f->nupvalues == 1) {
            const TValue *gt = globals_table(L);
            setobj(L, f->upvals[0]->v, gt);
            luaC_barrier(L, f->upvals[0], gt);
        }
    }
    return status;
}

LUA_API int lua_dump(lua_State *L, lua_Writer writer, void *data) {
    api_checknelems(L, 1);
    TValue *o = L->top - 1;
    if (isLfunction(o)) return luaU_dump(L, getproto(o), writer, data, 0);
    return 1;
}

LUA_API int lua_status(lua_State *L) { return L->status; }

/*
** A thread left suspended or dead by an error becomes reusable for a new
** program.  Its open upvalues are closed first: closures of the earlier
** program keep their values in their own cells instead of aliasing stack
** slots that the new program will use as registers.  For the same reason
** an error handler set by an abandoned protected call is forgotten.
*/
LUA_API void lua_reset_call_state_zibo6(lua_State *L) {
    luaF_close(L, L->stack);
    L->status = LUA_OK;
    L->ci = &L->base_ci;
    L->errfunc = 0;
}

LUA_API int lua_gc(lua_State *L, int what, int data) {
    int res = 0;
    global_State *g = G(L);
    switch (what) {
    case LUA_GCSTOP: {
        g->gcrunning = 0;
        break;
    }
    case LUA_GCRESTART: {
        luaE_setdebt(g, 0);
        g->gcrunning = 1;
        break;
    }
    case LUA_GCCOLLECT: {
        luaC_fullgc(L, 0);
        break;
    }
    case LUA_GCCOUNT: {
        res = cast_int(gettotalbytes(g) >> 10);
        break;
    }
    case LUA_GCCOUNTB: {
        res = cast_int(gettotalbytes(g) & 0x3ff);
        break;
    }
    case LUA_GCSTEP: {
        if (g->gckind == KGC_GEN) {
            /* a zero estimate means this step runs a major collection */
            res = (g->GCestimate == 0);
            luaC_forcestep(L);
        } else {
            /* data is in KB: clamp so the byte count fits a 32-bit l_mem too */
            const l_mem maxkb = MAX_LMEM / 1024 - GCSTEPSIZE / 1024;
            l_mem kb = static_cast<l_mem>(data);
            kb = kb > maxkb ? maxkb : (kb < -maxkb ? -maxkb : kb);
            l_mem debt = kb * 1024 - GCSTEPSIZE;
            if (g->gcrunning) /* a stopped collector's debt is meaningless */
                debt += g->GCdebt;
            luaE_setdebt(g, debt);
            luaC_forcestep(L);
            if (g->gcstate == GCSpause) /* the step finished a cycle */
                res = 1;
        }
        break;
    }
    case LUA_GCSETPAUSE: {
        res = g->gcpause;
        g->gcpause = data;
        break;
    }
    case LUA_GCSETMAJORINC: {
        res = g->gcmajorinc;
        g->gcmajorinc = data;
        break;
    }
    case LUA_GCSETSTEPMUL: {
        res = g->gcstepmul;
        g->gcstepmul = data;
        break;
    }
    case LUA_GCISRUNNING: {
        res = g->gcrunning;
        break;
    }
    case LUA_GCGEN: {
        luaC_changemode(L, KGC_GEN);
        break;
    }
    case LUA_GCINC: {
        luaC_changemode(L, KGC_NORMAL);
        break;
    }
    default: res = -1;
    }
    return res;
}

LUA_API int lua_error(lua_State *L) {
    api_checknelems(L, 1);
    luaG_errormsg(L); /* [[noreturn]]: throws */
}

LUA_API int lua_next(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    api_check(L, ttistable(t), "table expected");
    int more = luaH_next(L, hvalue(t), L->top - 1);
    if (more) {
        api_incr_top(L);
    } else /* traversal done: drop the last key */
        L->top -= 1;
    return more;
}

LUA_API void lua_concat(lua_State *L, int n) {
    api_checknelems(L, n);
    if (n >= 2) {
        luaC_checkGC(L);
        luaV_concat(L, n);
    } else if (n == 0) { /* concatenating nothing gives "" */
        setsvalue2s(L, L->top, luaS_newlstr(L, "", 0));
        api_incr_top(L);
    }
    /* a single value is left as it is */
}

LUA_API void lua_len(lua_State *L, int idx) {
    StkId t = index2addr(L, idx);
    luaV_objlen(L, L->top, t);
    api_incr_top(L);
}

LUA_API lua_Alloc lua_getallocf(lua_State *L, void **ud) {
    if (ud) *ud = G(L)->ud;
    return G(L)->frealloc;
}

LUA_API void lua_setallocf(lua_State *L, lua_Alloc f, void *ud) {
    G(L)->ud = ud;
    G(L)->frealloc = f;
}

LUA_API void *lua_newuserdata(lua_State *L, size_t size) {
    luaC_checkGC(L);
    Udata *u = luaS_newudata(L, size, NULL);
    setuvalue(L, L->top, u);
    api_incr_top(L);
    return u + 1;
}

static const char *aux_upvalue(StkId fi, int n, TValue **val, GCObject **owner) {
    switch (ttype(fi)) {
    case LUA_TCCL: {
        CClosure *f = clCvalue(fi);
        if (!(1 <= n && n <= f->nupvalues)) return NULL;
        *val = &f->upvalue[n - 1];
        if (owner) *owner = obj2gco(f);
        return "";
    }
    case LUA_TLCL: {
        LClosure *f = clLvalue(fi);
        Proto *p = f->p;
        if (!(1 <= n && n <= p->sizeupvalues)) return NULL;
        *val = f->upvals[n - 1]->v;
        if (owner) *owner = obj2gco(f->upvals[n - 1]);
        TString *name = p->upvalues[n - 1].name;
        return (name == NULL) ? "" : getstr(name);
    }
    default: return NULL;
    }
}

LUA_API const char *lua_getupvalue(lua_State *L, int funcindex, int n) {
    TValue *val = NULL;
    const char *name = aux_upvalue(index2addr(L, funcindex), n, &val, NULL);
    if (name) {
        setobj2s(L, L->top, val);
        api_incr_top(L);
    }
    return name;
}

LUA_API const char *lua_setupvalue(lua_State *L, int funcindex, int n) {
    TValue *val = NULL;
    GCObject *owner = NULL;
    StkId fi = index2addr(L, funcindex);
    api_checknelems(L, 1);
    const char *name = aux_upvalue(fi, n, &val, &owner);
    if (name) {
        L->top--;
        setobj(L, val, L->top);
        luaC_barrier(L, owner, L->top);
    }
    return name;
}

static UpVal **getupvalref(lua_State *L, int fidx, int n, LClosure **pf) {
    StkId fi = index2addr(L, fidx);
    api_check(L, ttisLclosure(fi), "Lua function expected");
    LClosure *f = clLvalue(fi);
    api_check(L, (1 <= n && n <= f->p->sizeupvalues), "invalid upvalue index");
    if (pf) *pf = f;
    return &f->upvals[n - 1];
}

LUA_API void *lua_upvalueid(lua_State *L, int fidx, int n) {
    StkId fi = index2addr(L, fidx);
    switch (ttype(fi)) {
    case LUA_TLCL: {
        return *getupvalref(L, fidx, n, NULL);
    }
    case LUA_TCCL: {
        CClosure *f = clCvalue(fi);
        api_check(L, 1 <= n && n <= f->nupvalues, "invalid upvalue index");
        return &f->upvalue[n - 1];
    }
    default: {
        api_check(L, 0, "closure expected");
        return NULL;
    }
    }
}

LUA_API void lua_upvaluejoin(lua_State *L, int fidx1, int n1, int fidx2, int n2) {
    LClosure *f1;
    UpVal **up1 = getupvalref(L, fidx1, n1, &f1);
    UpVal **up2 = getupvalref(L, fidx2, n2, NULL);
    *up1 = *up2;
    luaC_objbarrier(L, f1, *up2);
}
