/*
** Script VM: the interpreter and the value operations.
** Register-based dispatch over 16.16 numbers; every fetched instruction
** passes the cycle check and is charged from luaV_cycle_cost before it runs.
*/
#include <cstring>

#include "vm/lvm.h"

#include "vm/lcpu.h"
#include "vm/ldebug.h"
#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lgc.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/ltm.h"
#include "vm/lzio.h"
#include "vm/zmath.h"

/* __index / __newindex chains longer than this are reported as loops */
#define MAXTAGLOOP 100

/*
** Cycle costs: one cycle for the cheap moves and the bit and additive
** operators, two for everything else (unused opcodes included).
*/
static constexpr bool cheap_opcode(int op) {
    return op == OP_MOVE || op == OP_LOADK || op == OP_ADD || op == OP_SUB ||
           (op >= OP_Z6BAND && op <= OP_Z6BNOT) || (op >= OP_Z6PEEK && op <= OP_Z6PEEK4) ||
           op == OP_UNM;
}

struct CostTable {
    lu_byte v[64];
};

static constexpr CostTable make_costs() {
    CostTable t{};
    for (int op = 0; op < 64; op++) t.v[op] = cheap_opcode(op) ? 1 : 2;
    return t;
}

static constexpr CostTable cycle_costs = make_costs();
const lu_byte luaV_cycle_cost[64] = {
#define C8(n)                                                                                      \
    cycle_costs.v[n], cycle_costs.v[n + 1], cycle_costs.v[n + 2], cycle_costs.v[n + 3],            \
        cycle_costs.v[n + 4], cycle_costs.v[n + 5], cycle_costs.v[n + 6], cycle_costs.v[n + 7]
    C8(0),  C8(8),  C8(16), C8(24), C8(32),
    C8(40), C8(48), C8(56)
#undef C8
};
static_assert(cycle_costs.v[OP_MOVE] == 1 && cycle_costs.v[OP_Z6IDIV] == 2 &&
                  cycle_costs.v[OP_UNM] == 1 && cycle_costs.v[OP_NOT] == 2 &&
                  cycle_costs.v[63] == 2,
              "cycle cost table");

/* wrapping arithmetic on the raw 32 bits (shared with constant folding) */
#define wrap_add(a, b) luai_numadd(L, a, b)
#define wrap_sub(a, b) luai_numsub(L, a, b)
#define wrap_neg(a)    luai_numunm(L, a)
#define fix_idiv(a, b) luai_numidiv(L, a, b)

const TValue *luaV_tonumber(const TValue *obj, TValue *n) {
    lua_Number num;
    if (ttisnumber(obj)) return obj;
    if (ttisstring(obj) && luaO_str2d(svalue(obj), tsvalue(obj)->len, &num)) {
        setnvalue(n, num);
        return n;
    }
    return NULL;
}

int luaV_tostring(lua_State *L, StkId obj) {
    if (!ttisnumber(obj)) return 0;
    char s[LUAI_MAXNUMBER2STR];
    int l = zibo6_fixed_to_string(s, nvalue(obj));
    setsvalue2s(L, obj, luaS_newlstr(L, s, static_cast<size_t>(l)));
    return 1;
}

/*
** Call a metamethod with two operands (and, without a result, the value
** to store); the result slot is found again in case the stack moved.
*/
static void callTM(lua_State *L, const TValue *f, const TValue *p1, const TValue *p2, TValue *p3,
                   int hasres) {
    ptrdiff_t result = savestack(L, p3);
    setobj2s(L, L->top++, f);
    setobj2s(L, L->top++, p1);
    setobj2s(L, L->top++, p2);
    if (!hasres) setobj2s(L, L->top++, p3);
    /* a metamethod may yield only when called from Lua code */
    luaD_call(L, L->top - (4 - hasres), hasres, isLua(L->ci));
    if (hasres) {
        p3 = restorestack(L, result);
        setobjs2s(L, p3, --L->top);
    }
}

/* the __index chain from 't', which is hop 'loop' of at most MAXTAGLOOP */
static void gettable_from(lua_State *L, const TValue *t, TValue *key, StkId val, int loop) {
    for (; loop < MAXTAGLOOP; loop++) {
        const TValue *tm;
        if (ttistable(t)) {
            Table *h = hvalue(t);
            const TValue *res = luaH_get(h, key);
            if (!ttisnil(res) || (tm = fasttm(L, h->metatable, TM_INDEX)) == NULL) {
                setobj2s(L, val, res);
                return;
            }
        } else if (ttisnil(tm = luaT_gettmbyobj(L, t, TM_INDEX)))
            luaG_typeerror(L, t, "index");
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val, 1);
            return;
        }
        t = tm; /* a non-function handler is indexed in turn */
    }
    luaG_runerror(L, "loop in gettable");
}

void luaV_gettable(lua_State *L, const TValue *t, TValue *key, StkId val) {
    gettable_from(L, t, key, val, 0);
}

/*
** The interpreter's fast path stops where a lookup needs more than the raw
** hits it makes itself: the table 't' (hop 'loop' of the chain) has missed
** and its __index is 'tm'. The chain goes on from there, so the lookups
** already made are not made again.
*/
static void gettable_handler(lua_State *L, const TValue *t, const TValue *tm, TValue *key,
                             StkId val, int loop) {
    if (ttisfunction(tm))
        callTM(L, tm, t, key, val, 1);
    else
        gettable_from(L, tm, key, val, loop + 1);
}

/* ... and here the table 't' is that __index, at hop 1, and has missed too */
static void gettable_after_miss(lua_State *L, const TValue *t, TValue *key, StkId val) {
    const TValue *tm = fasttm(L, hvalue(t)->metatable, TM_INDEX);
    if (tm == NULL)
        setnilvalue(val);
    else
        gettable_handler(L, t, tm, key, val, 1);
}

void luaV_settable(lua_State *L, const TValue *t, TValue *key, StkId val) {
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TValue *tm;
        if (ttistable(t)) {
            Table *h = hvalue(t);
            TValue *oldval = const_cast<TValue *>(luaH_get(h, key));
            /* an existing key, or no __newindex: a raw store */
            if (!ttisnil(oldval) ||
                ((tm = fasttm(L, h->metatable, TM_NEWINDEX)) == NULL &&
                 (oldval != luaO_nilobject || (oldval = luaH_newkey(L, h, key), 1)))) {
                setobj2t(L, oldval, val);
                invalidateTMcache(h);
                luaC_barrierback(L, obj2gco(h), val);
                return;
            }
        } else if (ttisnil(tm = luaT_gettmbyobj(L, t, TM_NEWINDEX)))
            luaG_typeerror(L, t, "index");
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val, 0);
            return;
        }
        t = tm;
    }
    luaG_runerror(L, "loop in settable");
}

static int call_binTM(lua_State *L, const TValue *p1, const TValue *p2, StkId res, TMS event) {
    const TValue *tm = luaT_gettmbyobj(L, p1, event);
    if (ttisnil(tm)) tm = luaT_gettmbyobj(L, p2, event);
    if (ttisnil(tm)) return 0;
    callTM(L, tm, p1, p2, res, 1);
    return 1;
}

static const TValue *get_equalTM(lua_State *L, Table *mt1, Table *mt2, TMS event) {
    const TValue *tm1 = fasttm(L, mt1, event);
    if (tm1 == NULL) return NULL;
    if (mt1 == mt2) return tm1;
    const TValue *tm2 = fasttm(L, mt2, event);
    if (tm2 == NULL) return NULL;
    if (luaV_rawequalobj(tm1, tm2)) /* both sides must agree on __eq */
        return tm1;
    return NULL;
}

/* -1 when neither operand has the event, else the result's truth */
static int call_orderTM(lua_State *L, const TValue *p1, const TValue *p2, TMS event) {
    if (!call_binTM(L, p1, p2, L->top, event)) return -1;
    return !l_isfalse(L->top);
}

/*
** Strings compare byte-wise, piece by piece across embedded zeros, so the
** result never depends on the C locale.
*/
static int l_strcmp(const TString *ls, const TString *rs) {
    const char *l = getstr(ls);
    size_t ll = ls->tsv.len;
    const char *r = getstr(rs);
    size_t lr = rs->tsv.len;
    for (;;) {
        int temp = strcmp(l, r);
        if (temp != 0) return temp;
        size_t len = strlen(l); /* both pieces are equal up to a zero */
        if (len == lr)
            return (len == ll) ? 0 : 1;
        else if (len == ll)
            return -1;
        len++; /* skip the zero and compare the next pieces */
        l += len;
        ll -= len;
        r += len;
        lr -= len;
    }
}

int luaV_lessthan(lua_State *L, const TValue *l, const TValue *r) {
    int res;
    if (ttisnumber(l) && ttisnumber(r))
        return nvalue(l) < nvalue(r);
    else if (ttisstring(l) && ttisstring(r))
        return l_strcmp(rawtsvalue(l), rawtsvalue(r)) < 0;
    else if ((res = call_orderTM(L, l, r, TM_LT)) < 0)
        luaG_ordererror(L, l, r);
    return res;
}

int luaV_lessequal(lua_State *L, const TValue *l, const TValue *r) {
    int res;
    if (ttisnumber(l) && ttisnumber(r))
        return nvalue(l) <= nvalue(r);
    else if (ttisstring(l) && ttisstring(r))
        return l_strcmp(rawtsvalue(l), rawtsvalue(r)) <= 0;
    else if ((res = call_orderTM(L, l, r, TM_LE)) >= 0)
        return res;
    else if ((res = call_orderTM(L, r, l, TM_LT)) < 0) /* no __le: not (r < l) */
        luaG_ordererror(L, l, r);
    return !res;
}

/* equality of two values with the same tag */
int luaV_equalobj_(lua_State *L, const TValue *t1, const TValue *t2) {
    const TValue *tm;
    lua_assert(ttisequal(t1, t2));
    switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    case LUA_TLCF:
    case LUA_TFCF: return fvalue(t1) == fvalue(t2);
    case LUA_TSHRSTR: return eqshrstr(rawtsvalue(t1), rawtsvalue(t2));
    case LUA_TLNGSTR: return luaS_eqlngstr(rawtsvalue(t1), rawtsvalue(t2));
    case LUA_TUSERDATA: {
        if (uvalue(t1) == uvalue(t2))
            return 1;
        else if (L == NULL)
            return 0;
        tm = get_equalTM(L, uvalue(t1)->metatable, uvalue(t2)->metatable, TM_EQ);
        break;
    }
    case LUA_TTABLE: {
        if (hvalue(t1) == hvalue(t2))
            return 1;
        else if (L == NULL)
            return 0;
        tm = get_equalTM(L, hvalue(t1)->metatable, hvalue(t2)->metatable, TM_EQ);
        break;
    }
    default: lua_assert(iscollectable(t1)); return gcvalue(t1) == gcvalue(t2);
    }
    if (tm == NULL) return 0;
    callTM(L, tm, t1, t2, L->top, 1);
    return !l_isfalse(L->top);
}

void luaV_concat(lua_State *L, int total) {
    lua_assert(total >= 2);
    do {
        StkId top = L->top;
        int n = 2; /* values folded into one by this round */
        if (!(ttisstring(top - 2) || ttisnumber(top - 2)) || !tostring(L, top - 1)) {
            if (!call_binTM(L, top - 2, top - 1, top - 2, TM_CONCAT))
                luaG_concaterror(L, top - 2, top - 1);
        } else if (tsvalue(top - 1)->len == 0) /* empty right operand: the left one */
            (void)tostring(L, top - 2);
        else if (ttisstring(top - 2) && tsvalue(top - 2)->len == 0) {
            setobjs2s(L, top - 2, top - 1); /* empty left operand: the right one */
        } else {
            /* collect the whole run of string-convertible values below the
         top, so a long chain costs one allocation instead of many */
            size_t tl = tsvalue(top - 1)->len;
            int i;
            for (i = 1; i < total && tostring(L, top - i - 1); i++) {
                size_t l = tsvalue(top - i - 1)->len;
                if (l >= MAX_SIZET - tl) luaG_runerror(L, "string length overflow");
                tl += l;
            }
            char *buffer = luaZ_openspace(L, &G(L)->buff, tl);
            uint32_t charge = 0;
            tl = 0;
            n = i;
            do { /* copy every string, charging its length / 32 */
                size_t l = tsvalue(top - i)->len;
                memcpy(buffer + tl, svalue(top - i), l);
                tl += l;
                charge += static_cast<uint32_t>(l >> 5);
            } while (--i > 0);
            cpu_cycles_slice += charge;
            setsvalue2s(L, top - n, luaS_newlstr(L, buffer, tl));
        }
        total -= n - 1; /* 'n' values became one */
        L->top -= n - 1;
    } while (total > 1);
}

void luaV_objlen(lua_State *L, StkId ra, const TValue *rb) {
    const TValue *tm;
    switch (ttypenv(rb)) {
    case LUA_TTABLE: {
        Table *h = hvalue(rb);
        tm = fasttm(L, h->metatable, TM_LEN);
        if (tm) break; /* the metamethod decides */
        setnvalue(ra, lua_unsigned2number(static_cast<uint32_t>(luaH_getn(h))));
        return;
    }
    case LUA_TSTRING: {
        /* lengths of 32768 and more wrap like any 16.16 value */
        setnvalue(ra, lua_unsigned2number(static_cast<uint32_t>(tsvalue(rb)->len)));
        return;
    }
    default: {
        tm = luaT_gettmbyobj(L, rb, TM_LEN);
        if (ttisnil(tm)) luaG_typeerror(L, rb, "get length of");
        break;
    }
    }
    callTM(L, tm, rb, rb, ra, 1);
}

void luaV_arith(lua_State *L, StkId ra, const TValue *rb, const TValue *rc, TMS op) {
    TValue tempb, tempc;
    const TValue *b, *c;
    if ((b = luaV_tonumber(rb, &tempb)) != NULL && (c = luaV_tonumber(rc, &tempc)) != NULL) {
        lua_Number res = luaO_arith(op - TM_ADD + LUA_OPADD, nvalue(b), nvalue(c));
        setnvalue(ra, res);
    } else if (!call_binTM(L, rb, rc, ra, op))
        luaG_aritherror(L, rb, rc);
}

/*
** Closure cache: a closure made earlier from the same prototype is reused
** when every upvalue it would capture is the one it already holds.
*/
static Closure *getcached(Proto *p, UpVal **encup, StkId base) {
    Closure *c = p->cache;
    if (c != NULL) {
        int nup = p->sizeupvalues;
        Upvaldesc *uv = p->upvalues;
        for (int i = 0; i < nup; i++) {
            TValue *v = uv[i].instack ? base + uv[i].idx : encup[uv[i].idx]->v;
            if (c->l.upvals[i]->v != v) return NULL;
        }
    }
    return c;
}

static void pushclosure(lua_State *L, Proto *p, UpVal **encup, StkId base, StkId ra) {
    int nup = p->sizeupvalues;
    Upvaldesc *uv = p->upvalues;
    Closure *ncl = luaF_newLclosure(L, nup);
    ncl->l.p = p;
    setclLvalue(L, ra, ncl); /* keep it alive across luaF_findupval */
    for (int i = 0; i < nup; i++) {
        if (uv[i].instack) /* a local of the enclosing function */
            ncl->l.upvals[i] = luaF_findupval(L, base + uv[i].idx);
        else /* an upvalue of the enclosing function */
            ncl->l.upvals[i] = encup[uv[i].idx];
    }
    luaC_barrierproto(L, p, ncl);
    p->cache = ncl;
}

/* operand of a comparison that may be a constant */
static const TValue *rk_operand(CallInfo *ci, int arg) {
    if (ISK(arg)) return &clLvalue(ci->func)->p->k[INDEXK(arg)];
    return ci->u.l.base + arg;
}

/* TFORLOOP: a nil first result ends a generic for; any other value
   becomes the new control value and jumps back to the body */
static inline void tforloop([[maybe_unused]] lua_State *L, CallInfo *ci, StkId ra, Instruction i) {
    if (!ttisnil(ra + 1)) {
        setobjs2s(L, ra, ra + 1);
        ci->u.l.savedpc += GETARG_sBx(i);
    }
}

void luaV_finishOp(lua_State *L) {
    CallInfo *ci = L->ci;
    StkId base = ci->u.l.base;
    Instruction inst = *(ci->u.l.savedpc - 1); /* the interrupted instruction */
    OpCode op = GET_OPCODE(inst);
    switch (op) {
    case OP_GETTABUP:
    case OP_GETTABLE:
    case OP_SELF:
    case OP_LEN:
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
    case OP_MOD:
    case OP_POW:
    case OP_Z6BAND:
    case OP_Z6BOR:
    case OP_Z6BXOR:
    case OP_Z6SHL:
    case OP_Z6SHR:
    case OP_Z6LSHR:
    case OP_Z6ROTL:
    case OP_Z6ROTR:
    case OP_Z6BNOT:
    case OP_Z6IDIV:
    case OP_Z6PEEK:
    case OP_Z6PEEK2:
    case OP_Z6PEEK4:
    case OP_UNM: {
        setobjs2s(L, base + GETARG_A(inst), --L->top);
        break;
    }
    case OP_LE:
    case OP_LT:
    case OP_EQ: {
        int res = !l_isfalse(L->top - 1);
        L->top--;
        /* "<=" done through "not (b < a)" when neither operand has __le */
        if (op == OP_LE && ttisnil(luaT_gettmbyobj(L, rk_operand(ci, GETARG_B(inst)), TM_LE)) &&
            ttisnil(luaT_gettmbyobj(L, rk_operand(ci, GETARG_C(inst)), TM_LE)))
            res = !res;
        lua_assert(GET_OPCODE(*ci->u.l.savedpc) == OP_JMP);
        if (res != GETARG_A(inst))
            ci->u.l.savedpc++;
        else { /* the jump belongs to the comparison: no check, no charge */
            Instruction jmp = *ci->u.l.savedpc;
            int a = GETARG_A(jmp);
            if (a > 0) luaF_close(L, ci->u.l.base + a - 1);
            ci->u.l.savedpc += GETARG_sBx(jmp) + 1;
        }
        break;
    }
    case OP_CONCAT: {
        /* the __concat result sits one above where luaV_concat had the top;
         store it over the pair it replaced and finish the remaining run */
        StkId top = L->top - 1;
        int b = GETARG_B(inst);
        int total = cast_int(top - 1 - (base + b));
        setobj2s(L, top - 2, top);
        if (total > 1) {
            L->top = top - 1;
            luaV_concat(L, total);
        }
        setobj2s(L, ci->u.l.base + GETARG_A(inst), L->top - 1);
        L->top = ci->top;
        break;
    }
    case OP_TFORCALL: {
        /* the TFORLOOP that follows belongs to the call: no check, no charge */
        Instruction loop = *(ci->u.l.savedpc++);
        StkId ra = base + GETARG_A(loop);
        lua_assert(GET_OPCODE(loop) == OP_TFORLOOP);
        L->top = ci->top;
        tforloop(L, ci, ra, loop);
        break;
    }
    case OP_CALL: {
        if (GETARG_C(inst) - 1 >= 0) /* open results keep theirs */
            L->top = ci->top;
        break;
    }
    default: /* TAILCALL, SETTABUP, SETTABLE: nothing to finish */ break;
    }
}

/*
** Forced yield: the current instruction is already fetched and the
** position advanced past it.  Not yieldable: lua_yieldk raises the error.
** Otherwise the frame is left so that resuming fetches the instruction again
** and, marked CIST_FORCEDYIELD, runs it at the next stop of the check.
*/
static void suspend_forced(lua_State *L, CallInfo *ci) {
    lua_yieldk(L, 0, 0, NULL);
    L->oldpc = ci->u.l.savedpc;
    ci->u.l.savedpc--;
    ci->callstatus |= CIST_FORCEDYIELD;
    /* while suspended the API sees an empty frame at the top; resume
     restores 'func' from ci->extra */
    ci->func = L->top - 1;
}

[[noreturn]] static void forced_yield(lua_State *L, CallInfo *ci) {
    suspend_forced(L, ci);
    luaD_throw(L, LUA_YIELD);
}

/* A deferred forced yield that is overdue: the yield error. A held thread
   could yield by itself, so the error is raised here. */
[[noreturn]] static void overdue_yield(lua_State *L, CallInfo *ci) {
    if (L->nny == 0) luaG_runerror(L, "attempt to yield across a C-call boundary");
    forced_yield(L, ci); /* lua_yieldk raises the error */
}

/*
** The dispatch loop keeps the saved position and the three cycle values in
** locals.  Everything that can run other code, raise an error or touch the
** counters (allocation hooks, metamethods, spend_cpu, the collector) goes
** through Protect, which writes the position and the slice counter back first
** and reloads the counters, the budget and the base afterwards.
*/
/*
** The check is (cpu_superyield | cpu_cycles_slice) > budget, signed.  With no
** yield requested that is slice > budget; a requested yield sends every
** instruction to the exact test (thr is then below any slice), so the loop
** compares one register with one threshold.  The local counter is 64 bits
** wide, loaded sign-extended: charges never wrap it, so a slice that passes
** 2^31 (possible only under a budget of INT32_MAX) reaches the exact test,
** which wraps it as the stored 32 bits do.
*/
#define budget_exceeded() (slice > thr)
#define budget_exact()    (static_cast<int32_t>(cpu_superyield | static_cast<uint32_t>(slice)) > max)

#define savepc()    (ci->u.l.savedpc = pc)
#define savestate() (savepc(), cpu_cycles_slice = static_cast<uint32_t>(slice))
#define loadcounters()                                                                             \
    (slice = static_cast<int32_t>(cpu_cycles_slice),                                               \
     max = static_cast<int32_t>(cpu_cycles_slice_max), thr = cpu_superyield ? INT64_MIN : max)

#define Protect(x)                                                                                 \
    {                                                                                              \
        savestate();                                                                               \
        { x; };                                                                                    \
        loadcounters();                                                                            \
        base = ci->u.l.base;                                                                       \
    }

#define RA(i)  (base + GETARG_A(i))
#define RB(i)  (base + GETARG_B(i))
#define RC(i)  (base + GETARG_C(i))
#define RKB(i) (ISK(GETARG_B(i)) ? k + INDEXK(GETARG_B(i)) : base + GETARG_B(i))
#define RKC(i) (ISK(GETARG_C(i)) ? k + INDEXK(GETARG_C(i)) : base + GETARG_C(i))
#define KBx(i) (k + GETARG_Bx(i))

/* jump, closing upvalues from R(A-1) up when A is set */
#define dojump(i, e)                                                                               \
    {                                                                                              \
        int a_ = GETARG_A(i);                                                                      \
        if (a_ > 0) Protect(luaF_close(L, base + a_ - 1));                                         \
        pc += GETARG_sBx(i) + e;                                                                   \
    }

/* the JMP after a test, carried out without a check or charge of its own */
#define donextjump()                                                                               \
    {                                                                                              \
        i = *pc;                                                                                   \
        dojump(i, 1);                                                                              \
    }

/* a test's outcome: skip the JMP that follows, or carry it out */
#define condjump(cond)                                                                             \
    {                                                                                              \
        if (cond)                                                                                  \
            pc++;                                                                                  \
        else                                                                                       \
            donextjump();                                                                          \
    }

#define checkGC(L, c)                                                                              \
    {                                                                                              \
        if (G(L)->GCdebt > 0) { Protect(L->top = (c); luaC_step(L); L->top = ci->top;); }          \
    }

/* luaH_get without its dispatch for the common keys: short strings, and
   numbers with an integer value inside the array part; kept inline, as
   GCC would otherwise call it from the larger handlers */
[[gnu::always_inline]] static inline const TValue *raw_lookup(Table *h, const TValue *key) {
    if (ttisshrstring(key)) return luaH_getstr(h, rawtsvalue(key));
    if (ttisnumber(key)) {
        lua_Number n = nvalue(key);
        /* 16.16: an integer key has no fraction bits */
        if ((n & 0xffff) == 0) {
            uint32_t idx = static_cast<uint32_t>(n >> 16) - 1u;
            if (idx < static_cast<uint32_t>(h->sizearray)) return &h->array[idx];
        }
    }
    return luaH_get(h, key);
}

/* fasttm for __index with the lookup in line: a class's metatable has one, so
   the absence cache does not spare a method call the lookup */
[[gnu::always_inline]] static inline const TValue *index_tm(lua_State *L, Table *mt) {
    if (mt == NULL || (mt->flags & (1u << TM_INDEX))) return NULL;
    const TValue *tm = luaH_getstr(mt, G(L)->tmname[TM_INDEX]);
    if (ttisnil(tm)) {
        mt->flags |= cast_byte(1u << TM_INDEX);
        return NULL;
    }
    return tm;
}

/* A raw hit, a miss with no __index to consult, or a hit in an __index table
   (a method of a class) needs no call out; a miss in that __index table goes
   on up the chain from there; anything else goes the full way. */
#define fast_gettable(t, key, val)                                                                 \
    {                                                                                              \
        const TValue *t_ = (t);                                                                    \
        TValue *key_ = (key);                                                                      \
        const TValue *res_;                                                                        \
        const TValue *tm_ = NULL;                                                                  \
        if (ttistable(t_) &&                                                                       \
            (!ttisnil(res_ = raw_lookup(hvalue(t_), key_)) ||                                      \
             (tm_ = index_tm(L, hvalue(t_)->metatable)) == NULL ||                                 \
             (ttistable(tm_) && !ttisnil(res_ = raw_lookup(hvalue(tm_), key_))))) {                \
            setobj2s(L, val, res_);                                                                \
        } else if (tm_ == NULL) { /* not a table */                                                \
            Protect(luaV_gettable(L, t_, key_, val));                                              \
        } else if (ttistable(tm_)) {                                                               \
            Protect(gettable_after_miss(L, tm_, key_, val));                                       \
        } else {                                                                                   \
            Protect(gettable_handler(L, t_, tm_, key_, val, 0));                                   \
        }                                                                                          \
    }

/* Overwriting an existing key of a table is a raw store whatever its metatable. */
#define fast_settable(t, key, v)                                                                   \
    {                                                                                              \
        const TValue *t_ = (t);                                                                    \
        TValue *key_ = (key);                                                                      \
        TValue *v_ = (v);                                                                          \
        TValue *old_;                                                                              \
        if (ttistable(t_) &&                                                                       \
            !ttisnil(old_ = const_cast<TValue *>(raw_lookup(hvalue(t_), key_)))) {                 \
            setobj2t(L, old_, v_);                                                                 \
            invalidateTMcache(hvalue(t_));                                                         \
            luaC_barrierback(L, obj2gco(hvalue(t_)), v_);                                          \
        } else {                                                                                   \
            Protect(luaV_settable(L, t_, key_, v_));                                               \
        }                                                                                          \
    }

/* number-number operands are computed here (stored through 'store': plain,
   or Protect for operators that charge cycles or read console memory);
   anything else takes the metamethod path */
#define arith_with(op, tm, store)                                                                  \
    {                                                                                              \
        TValue *rb = RKB(i);                                                                       \
        TValue *rc = RKC(i);                                                                       \
        if (ttisnumber(rb) && ttisnumber(rc)) {                                                    \
            lua_Number nb = nvalue(rb), nc = nvalue(rc);                                           \
            store(setnvalue(ra, op(nb, nc)));                                                      \
        } else {                                                                                   \
            Protect(luaV_arith(L, ra, rb, rc, tm));                                                \
        }                                                                                          \
    }
#define plain_store(x)                                                                             \
    { x; }
#define arith_op(op, tm)           arith_with(op, tm, plain_store)
#define arith_op_protected(op, tm) arith_with(op, tm, Protect)

/* comparisons: two numbers here, anything else through the full test */
#define compare_op(numcmp, full)                                                                   \
    {                                                                                              \
        TValue *rb = RKB(i);                                                                       \
        TValue *rc = RKC(i);                                                                       \
        int res;                                                                                   \
        if (ttisnumber(rb) && ttisnumber(rc))                                                      \
            res = numcmp(nvalue(rb), nvalue(rc));                                                  \
        else { Protect(res = full(L, rb, rc)); }                                                   \
        condjump(res != GETARG_A(i));                                                              \
    }

#define op_eq(a, b)      ((a) == (b))
#define op_lt(a, b)      ((a) < (b))
#define op_le(a, b)      ((a) <= (b))
#define eq_slow(L, a, b) cast_int(equalobj(L, a, b))

/* TFORLOOP: a nil first result ends a generic for, any other value becomes
   the control value and jumps back */
#define tforloop_step()                                                                            \
    {                                                                                              \
        if (!ttisnil(ra + 1)) {                                                                    \
            setobjs2s(L, ra, ra + 1);                                                              \
            pc += GETARG_sBx(i);                                                                   \
        }                                                                                          \
    }

#define op_band(a, b)  ((a) & (b))
#define op_bor(a, b)   ((a) | (b))
#define op_bxor(a, b)  ((a) ^ (b))
#define op_bnot(a, b)  ((void)(b), ~(a))
#define op_peek1(a, b) ((void)(b), zibo6_vm.zibo6_peek_1(a))
#define op_peek2(a, b) ((void)(b), zibo6_vm.zibo6_peek_2(a))
#define op_peek4(a, b) ((void)(b), zibo6_vm.zibo6_peek_4(a))

/*
** Dispatch: with labels as values each handler ends in its own indirect
** jump, which the branch predictor follows per opcode; elsewhere a switch.
** Every handler starts with its instruction's charge, a constant.
*/
#if defined(__GNUC__) && !defined(Z6_NO_COMPUTED_GOTO)
#define Z6_COMPUTED_GOTO 1
#else
#define Z6_COMPUTED_GOTO 0
#endif

#define charge(op) (slice += cycle_costs.v[op])

/* the dispatch macros keep their layout */
// clang-format off
#if Z6_COMPUTED_GOTO
#define vmcase(op)                                                                                 \
    L_##op:                                                                                        \
    charge(op);
#define vmdefault                                                                                  \
    L_default:                                                                                     \
    charge(63);
#define vmbreak                                                                                    \
    {                                                                                              \
        i = *(pc++);                                                                               \
        if (l_unlikely(budget_exceeded())) goto budget_stop;                                       \
        ra = RA(i);                                                                                \
        goto *disptab[GET_OPCODE(i)];                                                              \
    }
#else
#define vmcase(op)                                                                                 \
    case op:                                                                                       \
        charge(op);
#define vmdefault                                                                                  \
    default:                                                                                       \
        charge(63);
#define vmbreak break
#endif
// clang-format on

void luaV_execute(lua_State *L) {
// clang-format off
#if Z6_COMPUTED_GOTO
#define D(op) &&L_##op
    static const void *const disptab[64] = {
        D(OP_MOVE),     D(OP_LOADK),    D(OP_LOADKX),   D(OP_LOADBOOL), D(OP_LOADNIL),
        D(OP_GETUPVAL), D(OP_GETTABUP), D(OP_GETTABLE), D(OP_SETTABUP), D(OP_SETUPVAL),
        D(OP_SETTABLE), D(OP_NEWTABLE), D(OP_SELF),     D(OP_ADD),      D(OP_SUB),
        D(OP_MUL),      D(OP_DIV),      D(OP_MOD),      D(OP_POW),      D(OP_Z6BAND),
        D(OP_Z6BOR),    D(OP_Z6BXOR),   D(OP_Z6SHL),    D(OP_Z6SHR),    D(OP_Z6LSHR),
        D(OP_Z6ROTL),   D(OP_Z6ROTR),   D(OP_Z6BNOT),   D(OP_Z6IDIV),   D(OP_Z6PEEK),
        D(OP_Z6PEEK2),  D(OP_Z6PEEK4),  D(OP_UNM),      D(OP_NOT),      D(OP_LEN),
        D(OP_CONCAT),   D(OP_JMP),      D(OP_EQ),       D(OP_LT),       D(OP_LE),
        D(OP_TEST),     D(OP_TESTSET),  D(OP_CALL),     D(OP_TAILCALL), D(OP_RETURN),
        D(OP_FORLOOP),  D(OP_FORPREP),  D(OP_TFORCALL), D(OP_TFORLOOP), D(OP_SETLIST),
        D(OP_CLOSURE),  D(OP_VARARG),
        /* EXTRAARG and the unused codes 53-63 */
        D(default), D(default), D(default), D(default), D(default), D(default), D(default),
        D(default), D(default), D(default), D(default), D(default)};
#undef D
    static_assert(OP_VARARG == 51 && NUM_OPCODES == 53, "dispatch table order");
#endif
    // clang-format on
    CallInfo *ci = L->ci;
    LClosure *cl;
    TValue *k;
    StkId base;
    const Instruction *pc;
    Instruction i;
    StkId ra;
    int64_t slice;  /* cpu_cycles_slice as a signed 32-bit value, plus the charges since */
    int32_t max;    /* cpu_cycles_slice_max */
    int64_t thr;    /* the budget, or below any slice while a yield is requested */
newframe:           /* a Lua call or return switched frames; a resume enters here too */
    lua_assert(ci == L->ci);
    cl = clLvalue(ci->func);
    k = cl->p->k;
    base = ci->u.l.base;
    pc = ci->u.l.savedpc;
    loadcounters();
#if Z6_COMPUTED_GOTO
    vmbreak;
budget_stop:
#else
    for (;;) {
        i = *(pc++);
        if (l_unlikely(budget_exceeded())) {
#endif
    if (budget_exact()) {
        if (ci->callstatus & CIST_FORCEDYIELD) {
            /* the first stop after a resume from a forced yield lets the
               instruction run, so every resume makes progress */
            ci->callstatus &= static_cast<lu_byte>(~CIST_FORCEDYIELD);
        } else {
            savestate();
            if (L->nny == 0 && !luaD_forcedyieldheld()) {
                /* the mark says a resume ended this way: only a yield made */
                cpu_superyielded_coresume = 1;
                /* at the resume's own level nothing lies between it and
                   this loop: leave the thread as the throw would and return
                   (every frame yields this way at its flip) */
                if (luaD_yieldbyreturn(L)) {
                    suspend_forced(L, ci);
                    return;
                }
                forced_yield(L, ci);
            }
            /* else not yieldable here (a metamethod or finaliser called from
               C, or a thread such code resumed): run on and yield at the
               first instruction that can, unless that is overdue */
            if (cpu_deferred_yield_overdue()) overdue_yield(L, ci);
        }
    } else {
        /* past 2^31 the counter wraps, as the stored 32 bits do */
        slice = static_cast<int32_t>(static_cast<uint32_t>(slice));
    }
#if !Z6_COMPUTED_GOTO
        }
#endif
    ra = RA(i);
    lua_assert(base == ci->u.l.base);
    lua_assert(base <= L->top && L->top < L->stack + L->stacksize);
#if Z6_COMPUTED_GOTO
    goto *disptab[GET_OPCODE(i)];
#else
        switch (GET_OPCODE(i)) {
#endif
    vmcase(OP_MOVE) {
        setobjs2s(L, ra, RB(i));
        vmbreak;
    }
    vmcase(OP_LOADK) {
        TValue *rb = KBx(i);
        setobj2s(L, ra, rb);
        vmbreak;
    }
    vmcase(OP_LOADKX) {
        TValue *rb;
        lua_assert(GET_OPCODE(*pc) == OP_EXTRAARG);
        rb = k + GETARG_Ax(*pc++);
        setobj2s(L, ra, rb);
        vmbreak;
    }
    vmcase(OP_LOADBOOL) {
        setbvalue(ra, GETARG_B(i));
        if (GETARG_C(i)) pc++;
        vmbreak;
    }
    vmcase(OP_LOADNIL) {
        int b = GETARG_B(i);
        do { setnilvalue(ra++); } while (b--);
        vmbreak;
    }
    vmcase(OP_GETUPVAL) {
        int b = GETARG_B(i);
        setobj2s(L, ra, cl->upvals[b]->v);
        vmbreak;
    }
    vmcase(OP_GETTABUP) {
        int b = GETARG_B(i);
        fast_gettable(cl->upvals[b]->v, RKC(i), ra);
        vmbreak;
    }
    vmcase(OP_GETTABLE) {
        fast_gettable(RB(i), RKC(i), ra);
        vmbreak;
    }
    vmcase(OP_SETTABUP) {
        int a = GETARG_A(i);
        fast_settable(cl->upvals[a]->v, RKB(i), RKC(i));
        vmbreak;
    }
    vmcase(OP_SETUPVAL) {
        UpVal *uv = cl->upvals[GETARG_B(i)];
        setobj(L, uv->v, ra);
        luaC_barrier(L, uv, ra);
        vmbreak;
    }
    vmcase(OP_SETTABLE) {
        fast_settable(ra, RKB(i), RKC(i));
        vmbreak;
    }
    vmcase(OP_NEWTABLE) {
        int b = GETARG_B(i);
        int c = GETARG_C(i);
        Protect(Table *t = luaH_new(L); sethvalue(L, ra, t);
                if (b != 0 || c != 0) luaH_resize(L, t, luaO_fb2int(b), luaO_fb2int(c)););
        checkGC(L, ra + 1);
        vmbreak;
    }
    vmcase(OP_SELF) {
        StkId rb = RB(i);
        setobjs2s(L, ra + 1, rb);
        fast_gettable(rb, RKC(i), ra);
        vmbreak;
    }
    vmcase(OP_ADD) {
        arith_op(wrap_add, TM_ADD);
        vmbreak;
    }
    vmcase(OP_SUB) {
        arith_op(wrap_sub, TM_SUB);
        vmbreak;
    }
    vmcase(OP_MUL) {
        arith_op(z6_fmul, TM_MUL);
        vmbreak;
    }
    vmcase(OP_DIV) {
        arith_op(z6_fdiv, TM_DIV);
        vmbreak;
    }
    vmcase(OP_MOD) {
        arith_op(z6_fmod, TM_MOD);
        vmbreak;
    }
    vmcase(OP_POW) {
        arith_op_protected(z6_fpow, TM_POW);
        vmbreak;
    }
    vmcase(OP_Z6BAND) {
        arith_op(op_band, TM_BAND);
        vmbreak;
    }
    vmcase(OP_Z6BOR) {
        arith_op(op_bor, TM_BOR);
        vmbreak;
    }
    vmcase(OP_Z6BXOR) {
        arith_op(op_bxor, TM_BXOR);
        vmbreak;
    }
    vmcase(OP_Z6SHL) {
        arith_op(zibo6_shl, TM_SHL);
        vmbreak;
    }
    vmcase(OP_Z6SHR) {
        arith_op(zibo6_ashr, TM_SHR);
        vmbreak;
    }
    vmcase(OP_Z6LSHR) {
        arith_op(zibo6_lshr, TM_LSHR);
        vmbreak;
    }
    vmcase(OP_Z6ROTL) {
        arith_op(zibo6_rotl, TM_ROTL);
        vmbreak;
    }
    vmcase(OP_Z6ROTR) {
        arith_op(zibo6_rotr, TM_ROTR);
        vmbreak;
    }
    vmcase(OP_Z6BNOT) {
        arith_op(op_bnot, TM_BNOT);
        vmbreak;
    }
    vmcase(OP_Z6IDIV) {
        arith_op(fix_idiv, TM_IDIV);
        vmbreak;
    }
    vmcase(OP_Z6PEEK) {
        arith_op_protected(op_peek1, TM_PEEK);
        vmbreak;
    }
    vmcase(OP_Z6PEEK2) {
        arith_op_protected(op_peek2, TM_PEEK2);
        vmbreak;
    }
    vmcase(OP_Z6PEEK4) {
        arith_op_protected(op_peek4, TM_PEEK4);
        vmbreak;
    }
    vmcase(OP_UNM) {
        TValue *rb = RB(i);
        if (ttisnumber(rb)) {
            lua_Number nb = nvalue(rb);
            setnvalue(ra, wrap_neg(nb));
        } else {
            Protect(luaV_arith(L, ra, rb, rb, TM_UNM));
        }
        vmbreak;
    }
    vmcase(OP_NOT) {
        TValue *rb = RB(i);
        int res = l_isfalse(rb);
        setbvalue(ra, res);
        vmbreak;
    }
    vmcase(OP_LEN) {
        Protect(luaV_objlen(L, ra, RB(i)));
        vmbreak;
    }
    vmcase(OP_CONCAT) {
        int b = GETARG_B(i);
        int c = GETARG_C(i);
        StkId rb;
        L->top = base + c + 1; /* luaV_concat works down from the top */
        Protect(luaV_concat(L, c - b + 1));
        ra = RA(i); /* __concat may have moved the stack */
        rb = b + base;
        setobjs2s(L, ra, rb);
        checkGC(L, (ra >= rb ? ra + 1 : rb));
        L->top = ci->top;
        vmbreak;
    }
    vmcase(OP_JMP) {
        dojump(i, 0);
        vmbreak;
    }
    vmcase(OP_EQ) {
        compare_op(op_eq, eq_slow);
        vmbreak;
    }
    vmcase(OP_LT) {
        compare_op(op_lt, luaV_lessthan);
        vmbreak;
    }
    vmcase(OP_LE) {
        compare_op(op_le, luaV_lessequal);
        vmbreak;
    }
    vmcase(OP_TEST) {
        condjump(GETARG_C(i) ? l_isfalse(ra) : !l_isfalse(ra));
        vmbreak;
    }
    vmcase(OP_TESTSET) {
        TValue *rb = RB(i);
        if (GETARG_C(i) ? l_isfalse(rb) : !l_isfalse(rb))
            pc++;
        else {
            setobjs2s(L, ra, rb);
            donextjump();
        }
        vmbreak;
    }
    vmcase(OP_CALL) {
        int b = GETARG_B(i);
        int nresults = GETARG_C(i) - 1;
        if (b != 0) L->top = ra + b; /* else open arguments left the top */
        if (ttisLclosure(ra)) {
            /* a Lua function with fixed parameters, when neither the stack
               nor the record list has to grow and no collector step is due:
               the frame is set up here, nothing runs that could see the
               counters, so they stay in locals */
            Proto *p = clLvalue(ra)->p;
            CallInfo *nci = ci->next;
            if (!p->is_vararg && nci != NULL && L->stack_last - L->top > p->maxstacksize &&
                G(L)->GCdebt <= 0) {
                savepc();
                for (int n = cast_int(L->top - ra) - 1; n < p->numparams; n++)
                    setnilvalue(L->top++);
                L->ci = nci;
                luaD_enterlua(L, nci, ra, ra + 1, p, nresults);
                nci->callstatus |= CIST_REENTRY;
                ci = nci;
                cl = clLvalue(ra);
                k = p->k;
                base = ra + 1;
                pc = p->code;
                vmbreak;
            }
        }
        savestate();
        if (int r = luaD_precall(L, ra, nresults)) { /* C or fast C: done */
            if (r == 2) return;                      /* it yielded: back to the resume */
            if (nresults >= 0) L->top = ci->top;
            loadcounters();
            base = ci->u.l.base;
        } else { /* Lua function: run it in this same loop */
            ci = L->ci;
            ci->callstatus |= CIST_REENTRY;
            goto newframe;
        }
        vmbreak;
    }
    vmcase(OP_TAILCALL) {
        int b = GETARG_B(i);
        if (b != 0) L->top = ra + b;
        lua_assert(GETARG_C(i) - 1 == LUA_MULTRET);
        savestate();
        if (int r = luaD_precall(L, ra, LUA_MULTRET)) { /* C or fast C: done */
            if (r == 2) return;                         /* it yielded: back to the resume */
            loadcounters();
            base = ci->u.l.base;
        } else {
            /* slide the new frame (n) down over the caller's (o), so tail
               calls run in constant stack; everything from the function
               through the fixed parameters (varargs included) is copied */
            CallInfo *nci = L->ci;
            CallInfo *oci = nci->previous;
            StkId nfunc = nci->func;
            StkId ofunc = oci->func;
            StkId lim = nci->u.l.base + getproto(nfunc)->numparams;
            if (cl->p->sizep > 0) luaF_close(L, oci->u.l.base);
            for (int aux = 0; nfunc + aux < lim; aux++) setobjs2s(L, ofunc + aux, nfunc + aux);
            oci->u.l.base = ofunc + (nci->u.l.base - nfunc);
            oci->top = L->top = ofunc + (L->top - nfunc);
            oci->u.l.savedpc = nci->u.l.savedpc;
            oci->callstatus |= CIST_TAIL;
            ci = L->ci = oci;
            lua_assert(L->top == oci->u.l.base + getproto(ofunc)->maxstacksize);
            goto newframe;
        }
        vmbreak;
    }
    vmcase(OP_RETURN) {
        int b = GETARG_B(i);
        if (b != 0) L->top = ra + b - 1;
        if (cl->p->sizep > 0) Protect(luaF_close(L, base));
        if (!(ci->callstatus & CIST_REENTRY)) { /* entered from C: return */
            savestate();
            luaD_poscall(L, ra);
            return;
        }
        /* back to the calling Lua frame in this loop; nothing ran that could
           see the counters, so they stay in locals */
        if (b != 0 && ci->nresults == b - 1) {
            /* luaD_poscall when the call wants just the values returned */
            StkId res = ci->func;
            for (int n = b - 1; n > 0; n--) setobjs2s(L, res++, ra++);
            ci = L->ci = ci->previous;
            L->top = ci->top;
        } else {
            b = luaD_poscall(L, ra);
            ci = L->ci;
            if (b) L->top = ci->top;
        }
        lua_assert(isLua(ci));
        lua_assert(GET_OPCODE(*((ci)->u.l.savedpc - 1)) == OP_CALL);
        cl = clLvalue(ci->func);
        k = cl->p->k;
        base = ci->u.l.base;
        pc = ci->u.l.savedpc;
        vmbreak;
    }
    vmcase(OP_FORLOOP) {
        /* the step is zeroed once the next value would pass the end of the
           number range, so the loop ends instead of wrapping */
        lua_Number step = nvalue(ra + 2);
        lua_Number idx = wrap_add(nvalue(ra), step);
        lua_Number limit = nvalue(ra + 1);
        if (step > 0) {
            if (idx <= limit) {
                pc += GETARG_sBx(i);
                setnvalue(ra, idx);
                setnvalue(ra + 3, idx);
                if (idx >= 0 && INT32_MAX - idx <= step) setnvalue(ra + 2, 0);
            }
        } else if (step < 0) {
            if (idx >= limit) {
                pc += GETARG_sBx(i);
                setnvalue(ra, idx);
                setnvalue(ra + 3, idx);
                if (idx < 0 && static_cast<int64_t>(step) < static_cast<int64_t>(INT32_MIN) - idx)
                    setnvalue(ra + 2, 0);
            }
        }
        vmbreak;
    }
    vmcase(OP_FORPREP) {
        const TValue *init = ra;
        const TValue *plimit = ra + 1;
        const TValue *pstep = ra + 2;
        if (!tonumber(init, ra)) {
            savestate();
            luaG_runerror(L, "'for' initial value must be a number");
        } else if (!tonumber(plimit, ra + 1)) {
            savestate();
            luaG_runerror(L, "'for' limit must be a number");
        } else if (!tonumber(pstep, ra + 2)) {
            savestate();
            luaG_runerror(L, "'for' step must be a number");
        }
        setnvalue(ra, wrap_sub(nvalue(ra), nvalue(pstep)));
        pc += GETARG_sBx(i);
        vmbreak;
    }
    vmcase(OP_TFORCALL) {
        /* call a copy of iterator, state and control above the loop's
           own registers, whose results land there as the loop variables */
        StkId cb = ra + 3;
        setobjs2s(L, cb + 2, ra + 2);
        setobjs2s(L, cb + 1, ra + 1);
        setobjs2s(L, cb, ra);
        L->top = cb + 3;
        Protect(luaD_call(L, cb, GETARG_C(i), 1));
        L->top = ci->top;
        /* the TFORLOOP that follows runs at once, unchecked and uncharged */
        i = *(pc++);
        ra = RA(i);
        lua_assert(GET_OPCODE(i) == OP_TFORLOOP);
        tforloop_step();
        vmbreak;
    }
    vmcase(OP_TFORLOOP) {
        tforloop_step();
        vmbreak;
    }
    vmcase(OP_SETLIST) {
        int n = GETARG_B(i);
        int c = GETARG_C(i);
        if (n == 0) n = cast_int(L->top - ra) - 1;
        if (c == 0) {
            lua_assert(GET_OPCODE(*pc) == OP_EXTRAARG);
            c = GETARG_Ax(*pc++);
        }
        Protect({
            Table *h = hvalue(ra);
            int last = ((c - 1) * LFIELDS_PER_FLUSH) + n;
            if (last > Z6_MAXARRAYKEY) { /* no number names those positions */
                int past = last - Z6_MAXARRAYKEY < n ? last - Z6_MAXARRAYKEY : n;
                n -= past;
                last -= past;
            }
            if (last > h->sizearray) /* grow the array part first */
                luaH_resizearray(L, h, last);
            for (; n > 0; n--) {
                TValue *val = ra + n;
                luaH_setint(L, h, last--, val);
                luaC_barrierback(L, obj2gco(h), val);
            }
        });
        L->top = ci->top;
        vmbreak;
    }
    vmcase(OP_CLOSURE) {
        Proto *p = cl->p->p[GETARG_Bx(i)];
        Closure *ncl = getcached(p, cl->upvals, base);
        if (ncl == NULL) {
            Protect(pushclosure(L, p, cl->upvals, base, ra));
        } else {
            setclLvalue(L, ra, ncl);
        }
        checkGC(L, ra + 1);
        vmbreak;
    }
    vmcase(OP_VARARG) {
        int b = GETARG_B(i) - 1;
        int n = cast_int(base - ci->func) - cl->p->numparams - 1;
        if (b < 0) { /* all the varargs */
            b = n;
            Protect(luaD_checkstack(L, n));
            ra = RA(i);
            L->top = ra + n;
        }
        for (int j = 0; j < b; j++) {
            if (j < n) {
                setobjs2s(L, ra + j, base - n + j);
            } else {
                setnilvalue(ra + j);
            }
        }
        vmbreak;
    }
    vmdefault { /* EXTRAARG and the unused codes do nothing */
        vmbreak;
    }
    // clang-format off
#if !Z6_COMPUTED_GOTO
        }
    }
#endif
// clang-format on
}
