/*
** Script VM: runtime errors and the debug interface.
** Error messages carry no source or line prefix; the line of the Lua
** function that raised the error goes to zibo6_runtime_line instead.
*/
#include <cstdarg>
#include <cstring>

#include "vm/ldebug.h"

#include "vm/lapi.h"
#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"
#include "vm/ltm.h"
#include "vm/lvm.h"

int zibo6_runtime_line = 0;

static const char *getfuncname(lua_State *L, CallInfo *ci, const char **name);

static int currentpc(CallInfo *ci) {
    lua_assert(isLua(ci));
    return pcRel(ci->u.l.savedpc, ci_func(ci)->p);
}

static int currentline(CallInfo *ci) {
    Proto *p = ci_func(ci)->p;
    int pc = currentpc(ci);
    if (p->lineinfo == NULL || pc < 0 || pc >= p->sizelineinfo) return 0;
    return p->lineinfo[pc];
}

/* the hook is stored for the debug interface; nothing ever calls it */
LUA_API int lua_sethook(lua_State *L, lua_Hook func, int mask, int count) {
    if (func == NULL || mask == 0) { /* either one switches hooks off */
        mask = 0;
        func = NULL;
    }
    if (isLua(L->ci)) L->oldpc = L->ci->u.l.savedpc;
    L->hook = func;
    L->basehookcount = count;
    resethookcount(L);
    L->hookmask = cast_byte(mask);
    return 1;
}

LUA_API lua_Hook lua_gethook(lua_State *L) { return L->hook; }

LUA_API int lua_gethookmask(lua_State *L) { return L->hookmask; }

LUA_API int lua_gethookcount(lua_State *L) { return L->basehookcount; }

LUA_API int lua_getstack(lua_State *L, int level, lua_Debug *ar) {
    if (level < 0) return 0;
    CallInfo *ci;
    for (ci = L->ci; level > 0 && ci != &L->base_ci; ci = ci->previous) level--;
    if (level != 0 || ci == &L->base_ci) /* the stack is not that deep */
        return 0;
    ar->i_ci = ci;
    return 1;
}

static const char *upvalname(Proto *p, int uv) {
    if (uv < 0 || uv >= p->sizeupvalues) return "?";
    TString *s = p->upvalues[uv].name;
    if (s == NULL) return "?";
    return getstr(s);
}

static const char *findvararg(CallInfo *ci, int n, StkId *pos) {
    int nparams = clLvalue(ci->func)->p->numparams;
    if (n >= ci->u.l.base - ci->func - nparams) return NULL;
    *pos = ci->func + nparams + n;
    return "(*vararg)";
}

static const char *findlocal(lua_State *L, CallInfo *ci, int n, StkId *pos) {
    const char *name = NULL;
    StkId base;
    if (isLua(ci)) {
        if (n < 0) /* negative indices reach the extra arguments */
            return findvararg(ci, -n, pos);
        base = ci->u.l.base;
        name = luaF_getlocalname(ci_func(ci)->p, n, currentpc(ci));
    } else
        base = ci->func + 1;
    if (name == NULL) {
        /* an unnamed slot is still reachable while it lies inside the frame,
       which ends where the next call's function sits */
        StkId limit = (ci == L->ci) ? L->top : ci->next->func;
        if (limit - base >= n && n > 0)
            name = "(*temporary)";
        else
            return NULL;
    }
    *pos = base + (n - 1);
    return name;
}

LUA_API const char *lua_getlocal(lua_State *L, const lua_Debug *ar, int n) {
    const char *name;
    if (ar == NULL) { /* a function value, not a running frame */
        if (!isLfunction(L->top - 1))
            name = NULL;
        else /* at pc 0 only the parameters are live */
            name = luaF_getlocalname(clLvalue(L->top - 1)->p, n, 0);
    } else {
        StkId pos = 0;
        name = findlocal(L, ar->i_ci, n, &pos);
        if (name) {
            setobj2s(L, L->top, pos);
            api_incr_top(L);
        }
    }
    return name;
}

LUA_API const char *lua_setlocal(lua_State *L, const lua_Debug *ar, int n) {
    StkId pos = 0;
    const char *name = findlocal(L, ar->i_ci, n, &pos);
    if (name) setobjs2s(L, pos, L->top - 1);
    L->top--;
    return name;
}

static void funcinfo(lua_Debug *ar, const TValue *func) {
    if (func == NULL || !ttisLclosure(func)) {
        ar->source = "=[C]";
        ar->linedefined = -1;
        ar->lastlinedefined = -1;
        ar->what = "C";
    } else {
        Proto *p = clLvalue(func)->p;
        ar->source = p->source ? getstr(p->source) : "=?";
        ar->linedefined = p->linedefined;
        ar->lastlinedefined = p->lastlinedefined;
        ar->what = (ar->linedefined == 0) ? "main" : "Lua";
    }
    luaO_chunkid(ar->short_src, ar->source, LUA_IDSIZE);
}

static void collectvalidlines(lua_State *L, const TValue *f) {
    if (f == NULL || !ttisLclosure(f)) {
        setnilvalue(L->top);
        api_incr_top(L);
    } else {
        /* with '>', f is the slot just popped, which the table push below
       overwrites: take the prototype first */
        Proto *p = clLvalue(f)->p;
        Table *t = luaH_new(L); /* a set: line -> true */
        sethvalue(L, L->top, t);
        api_incr_top(L);
        TValue v;
        setbvalue(&v, 1);
        for (int i = 0; i < p->sizelineinfo; i++) luaH_setint(L, t, p->lineinfo[i], &v);
    }
}

static int auxgetinfo(lua_State *L, const char *what, lua_Debug *ar, const TValue *f,
                      CallInfo *ci) {
    int status = 1;
    for (; *what; what++) {
        switch (*what) {
        case 'S': {
            funcinfo(ar, f);
            break;
        }
        case 'l': {
            ar->currentline = (ci && isLua(ci)) ? currentline(ci) : -1;
            break;
        }
        case 'u': {
            if (f == NULL || ttislcf(f) || ttisfcf(f)) {
                ar->nups = 0;
                ar->isvararg = 1;
                ar->nparams = 0;
            } else {
                ar->nups = clvalue(f)->c.nupvalues;
                if (!ttisLclosure(f)) {
                    ar->isvararg = 1;
                    ar->nparams = 0;
                } else {
                    ar->isvararg = static_cast<char>(clLvalue(f)->p->is_vararg);
                    ar->nparams = clLvalue(f)->p->numparams;
                }
            }
            break;
        }
        case 't': {
            ar->istailcall = (ci) ? (ci->callstatus & CIST_TAIL) != 0 : 0;
            break;
        }
        case 'n': {
            /* only a Lua caller's code tells how the function was reached;
           a tail call has lost its caller */
            if (ci && !(ci->callstatus & CIST_TAIL) && ci->previous && isLua(ci->previous))
                ar->namewhat = getfuncname(L, ci->previous, &ar->name);
            else
                ar->namewhat = NULL;
            if (ar->namewhat == NULL) {
                ar->namewhat = "";
                ar->name = NULL;
            }
            break;
        }
        case 'L':
        case 'f': /* these push values: lua_getinfo does it */ break;
        default: status = 0;
        }
    }
    return status;
}

LUA_API int lua_getinfo(lua_State *L, const char *what, lua_Debug *ar) {
    int status;
    const TValue *func;
    CallInfo *ci;
    StkId fslot;
    if (*what == '>') {
        ci = NULL;
        fslot = L->top - 1;
        api_check(L, ttisfunction(fslot), "function expected");
        what++;
        L->top--;
        func = fslot;
    } else {
        ci = ar->i_ci;
        func = ci->func;
        lua_assert(ttisfunction(ci->func));
    }
    status = auxgetinfo(L, what, ar, func, ci);
    if (strchr(what, 'f')) {
        setobjs2s(L, L->top, func);
        api_incr_top(L);
    }
    if (strchr(what, 'L')) collectvalidlines(L, func);
    return status;
}

/*
** Naming values for error messages: scan the code up to the faulting
** instruction for whatever last loaded the register in question.
*/

static const char *getobjname(Proto *p, int lastpc, int reg, const char **name);

/* the name of a constant (or the register holding one) */
static void kname(Proto *p, int pc, int c, const char **name) {
    if (ISK(c)) {
        TValue *kvalue = &p->k[INDEXK(c)];
        if (ttisstring(kvalue)) {
            *name = svalue(kvalue);
            return;
        }
    } else {
        const char *what = getobjname(p, pc, c, name);
        if (what && *what == 'c') /* "constant": a string loaded by LOADK */
            return;
    }
    *name = "?";
}

/* the last instruction before 'lastpc' that changed register 'reg' */
static int findsetreg(Proto *p, int lastpc, int reg) {
    int setreg = -1;
    for (int pc = 0; pc < lastpc; pc++) {
        Instruction i = p->code[pc];
        OpCode op = GET_OPCODE(i);
        int a = GETARG_A(i);
        switch (op) {
        case OP_LOADNIL: {
            int b = GETARG_B(i);
            if (a <= reg && reg <= a + b) setreg = pc;
            break;
        }
        case OP_TFORCALL: { /* results clobber everything from a+3 up */
            if (reg >= a + 2) setreg = pc;
            break;
        }
        case OP_CALL:
        case OP_TAILCALL: { /* results clobber everything from a up */
            if (reg >= a) setreg = pc;
            break;
        }
        case OP_JMP: {
            /* follow forward jumps that stay short of lastpc, so skipped code
           does not count; backward jumps would loop */
            int b = GETARG_sBx(i);
            int dest = pc + 1 + b;
            if (pc < dest && dest <= lastpc) pc += b;
            break;
        }
        case OP_TEST: {
            if (reg == a) setreg = pc;
            break;
        }
        default:
            if (op < NUM_OPCODES && testAMode(op) && reg == a) setreg = pc;
            break;
        }
    }
    return setreg;
}

static const char *getobjname(Proto *p, int lastpc, int reg, const char **name) {
    *name = luaF_getlocalname(p, reg + 1, lastpc);
    if (*name) return "local";
    int pc = findsetreg(p, lastpc, reg);
    if (pc != -1) {
        Instruction i = p->code[pc];
        OpCode op = GET_OPCODE(i);
        switch (op) {
        case OP_MOVE: {
            int b = GETARG_B(i);
            if (b < GETARG_A(i)) /* a copy takes the name of its source */
                return getobjname(p, pc, b, name);
            break;
        }
        case OP_GETTABUP:
        case OP_GETTABLE: {
            int key = GETARG_C(i);
            int t = GETARG_B(i);
            const char *vn =
                (op == OP_GETTABLE) ? luaF_getlocalname(p, t + 1, pc) : upvalname(p, t);
            kname(p, pc, key, name);
            return (vn && strcmp(vn, "_ENV") == 0) ? "global" : "field";
        }
        case OP_GETUPVAL: {
            *name = upvalname(p, GETARG_B(i));
            return "upvalue";
        }
        case OP_LOADK:
        case OP_LOADKX: {
            int b = (op == OP_LOADK) ? GETARG_Bx(i) : GETARG_Ax(p->code[pc + 1]);
            if (ttisstring(&p->k[b])) {
                *name = svalue(&p->k[b]);
                return "constant";
            }
            break;
        }
        case OP_SELF: {
            kname(p, pc, GETARG_C(i), name);
            return "method";
        }
        default: break;
        }
    }
    return NULL;
}

static const char *getfuncname(lua_State *L, CallInfo *ci, const char **name) {
    TMS tm;
    Proto *p = ci_func(ci)->p;
    int pc = currentpc(ci);
    Instruction i = p->code[pc];
    OpCode op = GET_OPCODE(i);
    switch (op) {
    case OP_CALL:
    case OP_TAILCALL: return getobjname(p, pc, GETARG_A(i), name);
    case OP_TFORCALL: {
        *name = "for iterator";
        return "for iterator";
    }
    case OP_SELF:
    case OP_GETTABUP:
    case OP_GETTABLE: tm = TM_INDEX; break;
    case OP_SETTABUP:
    case OP_SETTABLE: tm = TM_NEWINDEX; break;
    case OP_EQ: tm = TM_EQ; break;
    case OP_LT: tm = TM_LT; break;
    case OP_LE: tm = TM_LE; break;
    case OP_CONCAT: tm = TM_CONCAT; break;
    case OP_LEN: tm = TM_LEN; break;
    default:
        if (op >= OP_ADD && op <= OP_UNM) { /* same order as the events */
            tm = static_cast<TMS>(op - OP_ADD + TM_ADD);
            break;
        }
        return NULL;
    }
    *name = getstr(G(L)->tmname[tm]);
    return "metamethod";
}

/* compared slot by slot: ordering pointers into different objects would
   be undefined */
static int isinstack(CallInfo *ci, const TValue *o) {
    for (StkId p = ci->u.l.base; p < ci->top; p++)
        if (o == p) return 1;
    return 0;
}

static const char *getupvalname(CallInfo *ci, const TValue *o, const char **name) {
    LClosure *c = ci_func(ci);
    for (int i = 0; i < c->nupvalues; i++) {
        if (c->upvals[i]->v == o) {
            *name = upvalname(c->p, i);
            return "upvalue";
        }
    }
    return NULL;
}

void luaG_typeerror(lua_State *L, const TValue *o, const char *op) {
    CallInfo *ci = L->ci;
    const char *name = NULL;
    const char *kind = NULL;
    const char *t = objtypename(o);
    if (isLua(ci)) {
        kind = getupvalname(ci, o, &name);
        if (!kind && isinstack(ci, o))
            kind = getobjname(ci_func(ci)->p, currentpc(ci), cast_int(o - ci->u.l.base), &name);
    }
    if (kind) luaG_runerror(L, "attempt to %s %s '%s' (a %s value)", op, kind, name, t);
    luaG_runerror(L, "attempt to %s a %s value", op, t);
}

void luaG_concaterror(lua_State *L, StkId p1, StkId p2) {
    if (ttisstring(p1) || ttisnumber(p1)) p1 = p2;
    lua_assert(!ttisstring(p1) && !ttisnumber(p1));
    luaG_typeerror(L, p1, "concatenate");
}

void luaG_aritherror(lua_State *L, const TValue *p1, const TValue *p2) {
    TValue temp;
    if (luaV_tonumber(p1, &temp) == NULL)
        p2 = p1; /* blame the first operand that is not a number */
    luaG_typeerror(L, p2, "perform arithmetic on");
}

void luaG_ordererror(lua_State *L, const TValue *p1, const TValue *p2) {
    const char *t1 = objtypename(p1);
    const char *t2 = objtypename(p2);
    if (strcmp(t1, t2) == 0) luaG_runerror(L, "attempt to compare two %s values", t1);
    luaG_runerror(L, "attempt to compare %s with %s", t1, t2);
}

void luaG_errormsg(lua_State *L) {
    if (L->errfunc != 0) {
        /* the handler replaces the message with its result before unwinding,
       while the faulting frames are still there to inspect */
        StkId errfunc = restorestack(L, L->errfunc);
        if (!ttisfunction(errfunc)) luaD_throw(L, LUA_ERRERR);
        setobjs2s(L, L->top, L->top - 1);
        setobjs2s(L, L->top - 1, errfunc);
        incr_top(L);
        luaD_callnoyield(L, L->top - 2, 1);
    }
    luaD_throw(L, LUA_ERRRUN);
}

void luaG_runerror(lua_State *L, const char *fmt, ...) {
    CallInfo *ci = L->ci;
    va_list argp;
    va_start(argp, fmt);
    luaO_pushvfstring(L, fmt, argp);
    va_end(argp);
    if (isLua(ci)) {
        /* the line goes to the console; the message itself stays bare */
        zibo6_runtime_line = currentline(ci);
        setobjs2s(L, L->top, L->top - 1);
        incr_top(L);
    }
    luaG_errormsg(L);
}

lua_Number get_zibo6_line(int line) { return lua_integer2number(zibo6_vm.find_tab_line(line, NULL)); }

lua_Number get_zibo6_tab(int line) {
    int tab = 0;
    zibo6_vm.find_tab_line(line, &tab);
    return lua_integer2number(tab);
}
