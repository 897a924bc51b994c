/*
** Parser: recursive descent over the token stream, emitting code as it
** goes. Error texts that name a source line give the line within its code
** tab and the tab, as the console shows them.
*/
#include "vm/lparser.h"

#include <cstdio>
#include <cstring>

#include "vm/lcode.h"
#include "vm/ldo.h"
#include "vm/lfunc.h"
#include "vm/lgc.h"
#include "vm/llex.h"
#include "vm/lmem.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lstate.h"
#include "vm/lstring.h"
#include "vm/ltable.h"

int zibo6_last_line_number = -1;

/* most local variables per function */
#define MAXVARS 200

#define hasmultret(k) ((k) == VCALL || (k) == VVARARG)

/* An open block. */
typedef struct BlockCnt {
    struct BlockCnt *previous; /* enclosing block */
    short firstlabel;          /* first label of this block in dyd->label */
    short firstgoto;           /* first pending goto of this block in dyd->gt */
    lu_byte nactvar;           /* active locals outside the block */
    lu_byte upval;             /* some local of the block is an upvalue */
    lu_byte isloop;            /* the block is a loop */
} BlockCnt;

static void statement(LexState *ls);
static void expr(LexState *ls, expdesc *v);

/* Names: short ones are interned, long ones (over 40 bytes) may exist twice. */
static inline bool eqstr(TString *a, TString *b) { return luaS_eqstr(a, b) != 0; }

/*
** Place texts for messages. Lines are shown within their code tab; numbers
** are printed as plain integers (never through the 16.16 "%d").
*/
namespace {
struct NumText {
    char s[16];
};
struct TabPlace {
    NumText line; /* line within the tab */
    NumText tab;  /* tab number */
};
} // namespace

static NumText numtext(long long n) {
    NumText t;
    std::snprintf(t.s, sizeof t.s, "%lld", n);
    return t;
}

static TabPlace tabplace(int line) {
    int tab = 0;
    int l = zibo6_vm.find_tab_line(line, &tab); /* once per message: it may print a note */
    return TabPlace{numtext(l), numtext(tab)};
}

/* last token was anchored in a function that is now closed: anchor it again. A long
   string is not interned, so the one now anchored may be another object of the same
   text: the token takes that one, as its own is left to the collector. */
static void anchor_token(LexState *ls) {
    if (ls->t.token == TK_NAME || ls->t.token == TK_STRING) {
        TString *ts = ls->t.seminfo.ts;
        ls->t.seminfo.ts = luaX_newstring(ls, getstr(ts), ts->tsv.len);
    }
}

/* an error that is not about the current token: no "near" part */
[[noreturn]] static void semerror(LexState *ls, const char *msg) {
    ls->t.token = 0;
    luaX_syntaxerror(ls, msg);
}

[[noreturn]] static void error_expected(LexState *ls, int token) {
    luaX_syntaxerror(ls, luaO_pushfstring(ls->L, "%s expected", luaX_token2str(ls, token)));
}

[[noreturn]] static void errorlimit(FuncState *fs, int limit, const char *what) {
    lua_State *L = fs->ls->L;
    int line = fs->f->linedefined;
    const char *where;
    if (line == 0) {
        where = "main function";
    } else {
        TabPlace p = tabplace(line);
        where = luaO_pushfstring(L, "function at line %s (tab %s)", p.line.s, p.tab.s);
    }
    NumText lim = numtext(limit);
    luaX_syntaxerror(fs->ls,
                     luaO_pushfstring(L, "too many %s (limit is %s) in %s", what, lim.s, where));
}

static void checklimit(FuncState *fs, int v, int l, const char *what) {
    if (v > l) errorlimit(fs, l, what);
}

static bool testnext(LexState *ls, int c) {
    if (ls->t.token != c) return false;
    luaX_next(ls);
    return true;
}

static void check(LexState *ls, int c) {
    if (ls->t.token != c) error_expected(ls, c);
}

static void checknext(LexState *ls, int c) {
    check(ls, c);
    luaX_next(ls);
}

static void check_condition(LexState *ls, bool c, const char *msg) {
    if (!c) luaX_syntaxerror(ls, msg);
}

/* Closing token what for who opened at line where. */
static void check_match(LexState *ls, int what, int who, int where) {
    if (testnext(ls, what)) return;
    if (where == ls->linenumber) error_expected(ls, what);
    TabPlace p = tabplace(where);
    luaX_syntaxerror(ls, luaO_pushfstring(ls->L, "%s expected (to close %s at line %s (tab %s))",
                                          luaX_token2str(ls, what), luaX_token2str(ls, who),
                                          p.line.s, p.tab.s));
}

static TString *str_checkname(LexState *ls) {
    check(ls, TK_NAME);
    TString *ts = ls->t.seminfo.ts;
    luaX_next(ls);
    return ts;
}

static void init_exp(expdesc *e, expkind k, int i) {
    e->f = e->t = NO_JUMP;
    e->k = k;
    e->u.info = i;
}

static void codestring(LexState *ls, expdesc *e, TString *s) {
    init_exp(e, VK, luaK_stringK(ls->fs, s));
}

static void checkname(LexState *ls, expdesc *e) { codestring(ls, e, str_checkname(ls)); }

static int registerlocalvar(LexState *ls, TString *varname) {
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    int oldsize = f->sizelocvars;
    luaM_growvector(ls->L, f->locvars, fs->nlocvars, f->sizelocvars, LocVar, SHRT_MAX,
                    "local variables");
    while (oldsize < f->sizelocvars) f->locvars[oldsize++].varname = nullptr;
    f->locvars[fs->nlocvars].varname = varname;
    luaC_objbarrier(ls->L, f, varname);
    return fs->nlocvars++;
}

static void new_localvar(LexState *ls, TString *name) {
    FuncState *fs = ls->fs;
    Dyndata *dyd = ls->dyd;
    int reg = registerlocalvar(ls, name);
    checklimit(fs, dyd->actvar.n + 1 - fs->firstlocal, MAXVARS, "local variables");
    luaM_growvector(ls->L, dyd->actvar.arr, dyd->actvar.n + 1, dyd->actvar.size, Vardesc, MAX_INT,
                    "local variables");
    dyd->actvar.arr[dyd->actvar.n++].idx = static_cast<short>(reg);
}

static void new_localvarliteral(LexState *ls, const char *name) {
    new_localvar(ls, luaX_newstring(ls, name, std::strlen(name)));
}

static LocVar *getlocvar(FuncState *fs, int i) {
    int idx = fs->ls->dyd->actvar.arr[fs->firstlocal + i].idx;
    lua_assert(idx < fs->nlocvars);
    return &fs->f->locvars[idx];
}

static void adjustlocalvars(LexState *ls, int nvars) {
    FuncState *fs = ls->fs;
    fs->nactvar = static_cast<lu_byte>(fs->nactvar + nvars);
    for (; nvars; nvars--) getlocvar(fs, fs->nactvar - nvars)->startpc = fs->pc;
}

static void removevars(FuncState *fs, int tolevel) {
    fs->ls->dyd->actvar.n -= (fs->nactvar - tolevel);
    while (fs->nactvar > tolevel) getlocvar(fs, --fs->nactvar)->endpc = fs->pc;
}

static int searchupvalue(FuncState *fs, TString *name) {
    Upvaldesc *up = fs->f->upvalues;
    for (int i = 0; i < fs->nups; i++)
        if (eqstr(up[i].name, name)) return i;
    return -1;
}

static int newupvalue(FuncState *fs, TString *name, expdesc *v) {
    Proto *f = fs->f;
    int oldsize = f->sizeupvalues;
    checklimit(fs, fs->nups + 1, MAXUPVAL, "upvalues");
    luaM_growvector(fs->ls->L, f->upvalues, fs->nups, f->sizeupvalues, Upvaldesc, MAXUPVAL,
                    "upvalues");
    while (oldsize < f->sizeupvalues) f->upvalues[oldsize++].name = nullptr;
    f->upvalues[fs->nups].instack = (v->k == VLOCAL);
    f->upvalues[fs->nups].idx = static_cast<lu_byte>(v->u.info);
    f->upvalues[fs->nups].name = name;
    luaC_objbarrier(fs->ls->L, f, name);
    return fs->nups++;
}

static int searchvar(FuncState *fs, TString *n) {
    // A short name is interned: only the same string equals it. Every name of
    // a cart's main chunk is looked up past the locals of the API's names.
    const bool interned = n->tsv.tt == LUA_TSHRSTR;
    const Vardesc *active = fs->ls->dyd->actvar.arr + fs->firstlocal; // as getlocvar reads them
    for (int i = fs->nactvar - 1; i >= 0; i--) {
        TString *v = fs->f->locvars[active[i].idx].varname;
        if (v == n || (!interned && eqstr(n, v))) return i;
    }
    return -1;
}

/* The block where local level was declared gets closed upvalues on exit. */
static void markupval(FuncState *fs, int level) {
    BlockCnt *bl = fs->bl;
    while (bl->nactvar > level) bl = bl->previous;
    bl->upval = 1;
}

/* Finds a variable by name: a local of fs, an upvalue (created along the
** chain of enclosing functions as needed), or VVOID for a global. */
static int singlevaraux(FuncState *fs, TString *n, expdesc *var, int base) {
    if (fs == nullptr) return VVOID;
    int v = searchvar(fs, n);
    if (v >= 0) {
        init_exp(var, VLOCAL, v);
        if (!base) markupval(fs, v); /* used as an upvalue by an inner function */
        return VLOCAL;
    }
    int idx = searchupvalue(fs, n);
    if (idx < 0) {
        if (singlevaraux(fs->prev, n, var, 0) == VVOID) return VVOID;
        idx = newupvalue(fs, n, var);
    }
    init_exp(var, VUPVAL, idx);
    return VUPVAL;
}

static void singlevar(LexState *ls, expdesc *var) {
    TString *varname = str_checkname(ls);
    FuncState *fs = ls->fs;
    if (singlevaraux(fs, varname, var, 1) == VVOID) { /* a global: _ENV[name] */
        expdesc key;
        singlevaraux(fs, ls->envn, var, 1);
        lua_assert(var->k == VLOCAL || var->k == VUPVAL);
        codestring(ls, &key, varname);
        luaK_indexed(fs, var, &key);
    }
}

static void adjust_assign(LexState *ls, int nvars, int nexps, expdesc *e) {
    FuncState *fs = ls->fs;
    int extra = nvars - nexps;
    if (hasmultret(e->k)) {
        extra++; /* the call itself supplies one */
        if (extra < 0) extra = 0;
        luaK_setreturns(fs, e, extra);
        if (extra > 1) luaK_reserveregs(fs, extra - 1);
    } else {
        if (e->k != VVOID) luaK_exp2nextreg(fs, e);
        if (extra > 0) {
            int reg = fs->freereg;
            luaK_reserveregs(fs, extra);
            luaK_nil(fs, reg, extra);
        }
    }
}

static void enterlevel(LexState *ls) {
    lua_State *L = ls->L;
    ++L->nCcalls;
    checklimit(ls->fs, L->nCcalls, LUAI_MAXCCALLS, "C levels");
}

static inline void leavelevel(LexState *ls) { ls->L->nCcalls--; }

/* Resolves pending goto g with label: checks scopes, patches, removes it. */
static void closegoto(LexState *ls, int g, Labeldesc *label) {
    FuncState *fs = ls->fs;
    Labellist *gl = &ls->dyd->gt;
    Labeldesc *gt = &gl->arr[g];
    lua_assert(eqstr(gt->name, label->name));
    if (gt->nactvar < label->nactvar) {
        TString *vname = getlocvar(fs, gt->nactvar)->varname;
        TabPlace p = tabplace(gt->line);
        const char *msg = luaO_pushfstring(
            ls->L, "<goto %s> at line %s (tab %s) jumps into the scope of local '%s'",
            getstr(gt->name), p.line.s, p.tab.s, getstr(vname));
        semerror(ls, msg);
    }
    luaK_patchlist(fs, gt->pc, label->pc);
    for (int i = g; i < gl->n - 1; i++) gl->arr[i] = gl->arr[i + 1];
    gl->n--;
}

/* Tries to close goto g with a visible label of the current block. */
static bool findlabel(LexState *ls, int g) {
    FuncState *fs = ls->fs;
    BlockCnt *bl = fs->bl;
    Dyndata *dyd = ls->dyd;
    Labeldesc *gt = &dyd->gt.arr[g];
    for (int i = bl->firstlabel; i < dyd->label.n; i++) {
        Labeldesc *lb = &dyd->label.arr[i];
        if (eqstr(lb->name, gt->name)) {
            if (gt->nactvar > lb->nactvar && (bl->upval || dyd->label.n > bl->firstlabel))
                luaK_patchclose(fs, gt->pc, lb->nactvar);
            closegoto(ls, g, lb);
            return true;
        }
    }
    return false;
}

static int newlabelentry(LexState *ls, Labellist *l, TString *name, int line, int pc) {
    int n = l->n;
    luaM_growvector(ls->L, l->arr, n, l->size, Labeldesc, SHRT_MAX, "labels/gotos");
    l->arr[n].name = name;
    l->arr[n].line = line;
    l->arr[n].nactvar = ls->fs->nactvar;
    l->arr[n].pc = pc;
    l->n++;
    return n;
}

/* Closes the pending gotos of the current block that a new label matches. */
static void findgotos(LexState *ls, Labeldesc *lb) {
    Labellist *gl = &ls->dyd->gt;
    int i = ls->fs->bl->firstgoto;
    while (i < gl->n) {
        if (eqstr(gl->arr[i].name, lb->name))
            closegoto(ls, i, lb);
        else
            i++;
    }
}

/* Pending gotos of a closing block move to the enclosing one, closing
** upvalues on the way out when the block had any. */
static void movegotosout(FuncState *fs, BlockCnt *bl) {
    int i = bl->firstgoto;
    Labellist *gl = &fs->ls->dyd->gt;
    while (i < gl->n) {
        Labeldesc *gt = &gl->arr[i];
        if (gt->nactvar > bl->nactvar) {
            if (bl->upval) luaK_patchclose(fs, gt->pc, bl->nactvar);
            gt->nactvar = bl->nactvar;
        }
        if (!findlabel(fs->ls, i)) i++;
    }
}

static void enterblock(FuncState *fs, BlockCnt *bl, lu_byte isloop) {
    bl->isloop = isloop;
    bl->nactvar = fs->nactvar;
    bl->firstlabel = static_cast<short>(fs->ls->dyd->label.n);
    bl->firstgoto = static_cast<short>(fs->ls->dyd->gt.n);
    bl->upval = 0;
    bl->previous = fs->bl;
    fs->bl = bl;
    lua_assert(fs->freereg == fs->nactvar);
}

/* the label every loop ends with, target of its breaks */
static void breaklabel(LexState *ls) {
    TString *n = luaS_new(ls->L, "break");
    int l = newlabelentry(ls, &ls->dyd->label, n, 0, ls->fs->pc);
    findgotos(ls, &ls->dyd->label.arr[l]);
}

[[noreturn]] static void undefgoto(LexState *ls, Labeldesc *gt) {
    TabPlace p = tabplace(gt->line);
    const char *msg;
    if (isreserved(gt->name)) /* "break" */
        msg = luaO_pushfstring(ls->L, "<%s> at line %s not inside a loop", getstr(gt->name),
                               p.line.s);
    else
        msg = luaO_pushfstring(ls->L, "no visible label '%s' for <goto> at line %s (tab %s)",
                               getstr(gt->name), p.line.s, p.tab.s);
    semerror(ls, msg);
}

static void leaveblock(FuncState *fs) {
    BlockCnt *bl = fs->bl;
    LexState *ls = fs->ls;
    if (bl->previous && bl->upval) { /* close the block's upvalues on the way out */
        int j = luaK_jump(fs);
        luaK_patchclose(fs, j, bl->nactvar);
        luaK_patchtohere(fs, j);
    }
    if (bl->isloop) breaklabel(ls);
    fs->bl = bl->previous;
    removevars(fs, bl->nactvar);
    lua_assert(bl->nactvar == fs->nactvar);
    fs->freereg = fs->nactvar;
    ls->dyd->label.n = bl->firstlabel; /* the block's labels go out of scope */
    if (bl->previous)
        movegotosout(fs, bl);
    else if (bl->firstgoto < ls->dyd->gt.n) /* a goto left over at function level */
        undefgoto(ls, &ls->dyd->gt.arr[bl->firstgoto]);
}

static Proto *addprototype(LexState *ls) {
    lua_State *L = ls->L;
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    if (fs->np >= f->sizep) {
        int oldsize = f->sizep;
        luaM_growvector(L, f->p, fs->np, f->sizep, Proto *, MAXARG_Bx, "functions");
        while (oldsize < f->sizep) f->p[oldsize++] = nullptr;
    }
    Proto *clp = luaF_newproto(L);
    f->p[fs->np++] = clp;
    luaC_objbarrier(L, f, clp);
    return clp;
}

/* CLOSURE for the last nested prototype, in the enclosing function. */
static void codeclosure(LexState *ls, expdesc *v) {
    FuncState *fs = ls->fs->prev;
    init_exp(v, VRELOCABLE, luaK_codeABx(fs, OP_CLOSURE, 0, static_cast<unsigned int>(fs->np - 1)));
    luaK_exp2nextreg(fs, v);
}

static void open_func(LexState *ls, FuncState *fs, BlockCnt *bl) {
    lua_State *L = ls->L;
    fs->prev = ls->fs;
    fs->ls = ls;
    ls->fs = fs;
    fs->pc = 0;
    fs->lasttarget = 0;
    fs->jpc = NO_JUMP;
    fs->freereg = 0;
    fs->nk = 0;
    fs->np = 0;
    fs->nups = 0;
    fs->nlocvars = 0;
    fs->nactvar = 0;
    fs->firstlocal = ls->dyd->actvar.n;
    fs->bl = nullptr;
    Proto *f = fs->f;
    f->source = ls->source;
    f->maxstacksize = 2; /* even an empty function may use two registers */
    fs->h = luaH_new(L);
    sethvalue2s(L, L->top, fs->h); /* anchor the constant lookup */
    incr_top(L);
    enterblock(fs, bl, 0);
}

static void close_func(LexState *ls) {
    lua_State *L = ls->L;
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    luaK_ret(fs, 0, 0); /* falling off the end returns nothing */
    leaveblock(fs);
    luaM_reallocvector(L, f->code, f->sizecode, fs->pc, Instruction);
    f->sizecode = fs->pc;
    luaM_reallocvector(L, f->lineinfo, f->sizelineinfo, fs->pc, int);
    f->sizelineinfo = fs->pc;
    luaM_reallocvector(L, f->k, f->sizek, fs->nk, TValue);
    f->sizek = fs->nk;
    luaM_reallocvector(L, f->p, f->sizep, fs->np, Proto *);
    f->sizep = fs->np;
    luaM_reallocvector(L, f->locvars, f->sizelocvars, fs->nlocvars, LocVar);
    f->sizelocvars = fs->nlocvars;
    luaM_reallocvector(L, f->upvalues, f->sizeupvalues, fs->nups, Upvaldesc);
    f->sizeupvalues = fs->nups;
    lua_assert(fs->bl == nullptr);
    ls->fs = fs->prev;
    anchor_token(ls);
    L->top--; /* pop the constant lookup */
    luaC_checkGC(L);
}

static bool block_follow(LexState *ls, bool withuntil) {
    switch (ls->t.token) {
    case TK_ELSE:
    case TK_ELSEIF:
    case TK_END:
    case TK_EOS: return true;
    case TK_UNTIL: return withuntil;
    default: return false;
    }
}

static void statlist(LexState *ls) {
    while (!block_follow(ls, true)) {
        if (ls->t.token == TK_RETURN) {
            statement(ls);
            return; /* nothing may follow a return in its block */
        }
        statement(ls);
    }
}

static void fieldsel(LexState *ls, expdesc *v) {
    FuncState *fs = ls->fs;
    expdesc key;
    luaK_exp2anyregup(fs, v);
    luaX_next(ls);
    checkname(ls, &key);
    luaK_indexed(fs, v, &key);
}

static void yindex(LexState *ls, expdesc *v) {
    luaX_next(ls);
    expr(ls, v);
    luaK_exp2val(ls->fs, v);
    checknext(ls, ']');
}

/* Table constructor state. */
struct ConsControl {
    expdesc v;   /* last list item read */
    expdesc *t;  /* table descriptor */
    int nh;      /* record items */
    int na;      /* list items */
    int tostore; /* list items waiting for a SETLIST */
};

static void recfield(LexState *ls, ConsControl *cc) {
    FuncState *fs = ls->fs;
    int reg = ls->fs->freereg;
    expdesc key, val;
    if (ls->t.token == TK_NAME) {
        checklimit(fs, cc->nh, MAX_INT, "items in a constructor");
        checkname(ls, &key);
    } else {
        yindex(ls, &key);
    }
    cc->nh++;
    checknext(ls, '=');
    int rkkey = luaK_exp2RK(fs, &key);
    expr(ls, &val);
    luaK_codeABC(fs, OP_SETTABLE, cc->t->u.info, rkkey, luaK_exp2RK(fs, &val));
    fs->freereg = static_cast<lu_byte>(reg);
}

static void closelistfield(FuncState *fs, ConsControl *cc) {
    if (cc->v.k == VVOID) return;
    luaK_exp2nextreg(fs, &cc->v);
    cc->v.k = VVOID;
    if (cc->tostore == LFIELDS_PER_FLUSH) {
        luaK_setlist(fs, cc->t->u.info, cc->na, cc->tostore);
        cc->tostore = 0;
    }
}

static void lastlistfield(FuncState *fs, ConsControl *cc) {
    if (cc->tostore == 0) return;
    if (hasmultret(cc->v.k)) {
        luaK_setmultret(fs, &cc->v);
        luaK_setlist(fs, cc->t->u.info, cc->na, LUA_MULTRET);
        cc->na--; /* the open call is not counted in the array size */
    } else {
        if (cc->v.k != VVOID) luaK_exp2nextreg(fs, &cc->v);
        luaK_setlist(fs, cc->t->u.info, cc->na, cc->tostore);
    }
}

static void listfield(LexState *ls, ConsControl *cc) {
    expr(ls, &cc->v);
    checklimit(ls->fs, cc->na, MAX_INT, "items in a constructor");
    cc->na++;
    cc->tostore++;
}

static void field(LexState *ls, ConsControl *cc) {
    switch (ls->t.token) {
    case TK_NAME:
        if (luaX_lookahead(ls) != '=')
            listfield(ls, cc);
        else
            recfield(ls, cc);
        break;
    case '[': recfield(ls, cc); break;
    default: listfield(ls, cc); break;
    }
}

static void constructor(LexState *ls, expdesc *t) {
    FuncState *fs = ls->fs;
    int line = ls->linenumber;
    int pc = luaK_codeABC(fs, OP_NEWTABLE, 0, 0, 0);
    ConsControl cc;
    cc.na = cc.nh = cc.tostore = 0;
    cc.t = t;
    init_exp(t, VRELOCABLE, pc);
    init_exp(&cc.v, VVOID, 0);
    luaK_exp2nextreg(ls->fs, t); /* the table sits on the stack */
    checknext(ls, '{');
    do {
        lua_assert(cc.v.k == VVOID || cc.tostore > 0);
        if (ls->t.token == '}') break;
        closelistfield(fs, &cc);
        field(ls, &cc);
    } while (testnext(ls, ',') || testnext(ls, ';'));
    check_match(ls, '}', '{', line);
    lastlistfield(fs, &cc);
    SETARG_B(fs->f->code[pc], luaO_int2fb(static_cast<unsigned int>(cc.na)));
    SETARG_C(fs->f->code[pc], luaO_int2fb(static_cast<unsigned int>(cc.nh)));
}

static void parlist(LexState *ls) {
    FuncState *fs = ls->fs;
    Proto *f = fs->f;
    int nparams = 0;
    f->is_vararg = 0;
    if (ls->t.token != ')') {
        do {
            switch (ls->t.token) {
            case TK_NAME:
                new_localvar(ls, str_checkname(ls));
                nparams++;
                break;
            case TK_DOTS:
                luaX_next(ls);
                f->is_vararg = 1;
                break;
            default: luaX_syntaxerror(ls, "<name> or '...' expected");
            }
        } while (!f->is_vararg && testnext(ls, ','));
    }
    adjustlocalvars(ls, nparams);
    f->numparams = fs->nactvar;
    luaK_reserveregs(fs, fs->nactvar);
}

static void body(LexState *ls, expdesc *e, bool ismethod, int line) {
    FuncState new_fs;
    BlockCnt bl;
    new_fs.f = addprototype(ls);
    new_fs.f->linedefined = line;
    open_func(ls, &new_fs, &bl);
    checknext(ls, '(');
    if (ismethod) {
        new_localvarliteral(ls, "self");
        adjustlocalvars(ls, 1);
    }
    parlist(ls);
    checknext(ls, ')');
    statlist(ls);
    new_fs.f->lastlinedefined = ls->linenumber;
    check_match(ls, TK_END, TK_FUNCTION, line);
    codeclosure(ls, e);
    close_func(ls);
}

static int explist(LexState *ls, expdesc *v) {
    int n = 1;
    expr(ls, v);
    while (testnext(ls, ',')) {
        luaK_exp2nextreg(ls->fs, v);
        expr(ls, v);
        n++;
    }
    return n;
}

static void funcargs(LexState *ls, expdesc *f, int line) {
    FuncState *fs = ls->fs;
    expdesc args;
    switch (ls->t.token) {
    case '(':
        luaX_next(ls);
        if (ls->t.token == ')') {
            args.k = VVOID;
        } else {
            explist(ls, &args);
            luaK_setmultret(fs, &args);
        }
        check_match(ls, ')', '(', line);
        break;
    case '{': constructor(ls, &args); break;
    case TK_STRING:
        codestring(ls, &args, ls->t.seminfo.ts);
        luaX_next(ls);
        break;
    default: luaX_syntaxerror(ls, "function arguments expected");
    }
    lua_assert(f->k == VNONRELOC);
    int base = f->u.info; /* function register */
    int nparams;
    if (hasmultret(args.k)) {
        nparams = LUA_MULTRET;
    } else {
        if (args.k != VVOID) luaK_exp2nextreg(fs, &args);
        nparams = fs->freereg - (base + 1);
    }
    init_exp(f, VCALL, luaK_codeABC(fs, OP_CALL, base, nparams + 1, 2));
    luaK_fixline(fs, line);
    fs->freereg = static_cast<lu_byte>(base + 1); /* the call leaves one result by default */
}

static void primaryexp(LexState *ls, expdesc *v) {
    switch (ls->t.token) {
    case '(': {
        int line = ls->linenumber;
        luaX_next(ls);
        expr(ls, v);
        check_match(ls, ')', '(', line);
        luaK_dischargevars(ls->fs, v);
        return;
    }
    case TK_NAME: singlevar(ls, v); return;
    default: luaX_syntaxerror(ls, "unexpected symbol");
    }
}

static void suffixedexp(LexState *ls, expdesc *v) {
    FuncState *fs = ls->fs;
    int line = ls->linenumber;
    primaryexp(ls, v);
    for (;;) {
        switch (ls->t.token) {
        case '.': fieldsel(ls, v); break;
        case '[': {
            expdesc key;
            luaK_exp2anyregup(fs, v);
            yindex(ls, &key);
            luaK_indexed(fs, v, &key);
            break;
        }
        case ':': {
            expdesc key;
            luaX_next(ls);
            checkname(ls, &key);
            luaK_self(fs, v, &key);
            funcargs(ls, v, line);
            break;
        }
        case '(':
        case TK_STRING:
        case '{':
            luaK_exp2nextreg(fs, v);
            funcargs(ls, v, line);
            break;
        default: return;
        }
    }
}

static void simpleexp(LexState *ls, expdesc *v) {
    switch (ls->t.token) {
    case TK_NUMBER:
        init_exp(v, VKNUM, 0);
        v->u.nval = ls->t.seminfo.r;
        break;
    case TK_STRING: codestring(ls, v, ls->t.seminfo.ts); break;
    case TK_NIL: init_exp(v, VNIL, 0); break;
    case TK_TRUE: init_exp(v, VTRUE, 0); break;
    case TK_FALSE: init_exp(v, VFALSE, 0); break;
    case TK_DOTS: {
        FuncState *fs = ls->fs;
        check_condition(ls, fs->f->is_vararg, "cannot use '...' outside a vararg function");
        init_exp(v, VVARARG, luaK_codeABC(fs, OP_VARARG, 0, 1, 0));
        break;
    }
    case '{': constructor(ls, v); return;
    case TK_FUNCTION:
        luaX_next(ls);
        body(ls, v, false, ls->linenumber);
        return;
    default: suffixedexp(ls, v); return;
    }
    luaX_next(ls);
}

static UnOpr getunopr(int op) {
    switch (op) {
    case TK_NOT: return OPR_NOT;
    case '-': return OPR_MINUS;
    case '#': return OPR_LEN;
    case '~': return OPR_BNOT;
    case '@': return OPR_PEEK;
    case '%': return OPR_PEEK2;
    case '$': return OPR_PEEK4;
    default: return OPR_NOUNOPR;
    }
}

static BinOpr getbinopr(int op) {
    switch (op) {
    case '+': return OPR_ADD;
    case '-': return OPR_SUB;
    case '*': return OPR_MUL;
    case '/': return OPR_DIV;
    case '%': return OPR_MOD;
    case '^': return OPR_POW;
    case '&': return OPR_BAND;
    case '|': return OPR_BOR;
    case TK_BXOR: return OPR_BXOR;
    case TK_SHL: return OPR_SHL;
    case TK_SHR: return OPR_SHR;
    case TK_LSHR: return OPR_LSHR;
    case TK_ROTL: return OPR_ROTL;
    case TK_ROTR: return OPR_ROTR;
    case '\\': return OPR_IDIV;
    case TK_CONCAT: return OPR_CONCAT;
    case TK_NE: return OPR_NE;
    case TK_EQ: return OPR_EQ;
    case '<': return OPR_LT;
    case TK_LE: return OPR_LE;
    case '>': return OPR_GT;
    case TK_GE: return OPR_GE;
    case TK_AND: return OPR_AND;
    case TK_OR: return OPR_OR;
    default: return OPR_NOBINOPR;
    }
}

/* Left and right priority of each binary operator, in BinOpr order. A right
** priority below the left one makes the operator right associative. */
static const struct {
    lu_byte left;
    lu_byte right;
} priority[] = {
    {16, 16}, {16, 16},                                   /* + - */
    {17, 17}, {17, 17}, {17, 17},                         /* * / % */
    {20, 19},                                             /* ^ (right associative) */
    {8, 8},   {6, 6},   {7, 7},                           /* & | ^^ */
    {9, 9},   {9, 9},   {9, 9},   {9, 9}, {9, 9},         /* << >> >>> <<> >>< */
    {5, 5},                                               /* slot of unary ~ */
    {17, 17},                                             /* \ */
    {40, 40}, {40, 40}, {40, 40},                         /* slots of unary @ % $ */
    {15, 14},                                             /* .. (right associative) */
    {3, 3},   {3, 3},   {3, 3},   {3, 3}, {3, 3}, {3, 3}, /* == < <= ~= > >= */
    {2, 2},   {1, 1},                                     /* and or */
};

static_assert(sizeof(priority) / sizeof(priority[0]) == OPR_NOBINOPR,
              "one priority pair per operator");

/* priority of the operand of a unary operator: tighter than all but '^' */
#define UNARY_PRIORITY 18

/* subexpr -> (simpleexp | unop subexpr) { binop subexpr }, where binop is
** any operator whose left priority is above limit. */
static BinOpr subexpr(LexState *ls, expdesc *v, int limit) {
    enterlevel(ls);
    UnOpr uop = getunopr(ls->t.token);
    if (uop != OPR_NOUNOPR) {
        int line = ls->linenumber;
        luaX_next(ls);
        subexpr(ls, v, UNARY_PRIORITY);
        luaK_prefix(ls->fs, uop, v, line);
    } else {
        simpleexp(ls, v);
    }
    BinOpr op = getbinopr(ls->t.token);
    while (op != OPR_NOBINOPR && priority[op].left > limit) {
        expdesc v2;
        int line = ls->linenumber;
        luaX_next(ls);
        luaK_infix(ls->fs, op, v);
        BinOpr nextop = subexpr(ls, &v2, priority[op].right);
        luaK_posfix(ls->fs, op, v, &v2, line);
        op = nextop;
    }
    leavelevel(ls);
    return op; /* binds looser than limit: the caller takes it */
}

static void expr(LexState *ls, expdesc *v) { subexpr(ls, v, 0); }

static void block(LexState *ls) {
    FuncState *fs = ls->fs;
    BlockCnt bl;
    enterblock(fs, &bl, 0);
    statlist(ls);
    leaveblock(fs);
}

/* the variables of a multiple assignment, innermost last */
struct LHS_assign {
    struct LHS_assign *prev;
    expdesc v;
};

/* In a multiple assignment, a table or key register that an earlier
** target uses may be overwritten by a later one: copy it first. */
static void check_conflict(LexState *ls, LHS_assign *lh, expdesc *v) {
    FuncState *fs = ls->fs;
    int extra = fs->freereg; /* where the copy goes */
    bool conflict = false;
    for (; lh; lh = lh->prev) {
        if (lh->v.k == VINDEXED) {
            if (lh->v.u.ind.vt == v->k && lh->v.u.ind.t == v->u.info) {
                conflict = true;
                lh->v.u.ind.vt = VLOCAL;
                lh->v.u.ind.t = static_cast<lu_byte>(extra);
            }
            if (v->k == VLOCAL && lh->v.u.ind.idx == v->u.info) {
                conflict = true;
                lh->v.u.ind.idx = static_cast<short>(extra);
            }
        }
    }
    if (conflict) {
        OpCode op = (v->k == VLOCAL) ? OP_MOVE : OP_GETUPVAL;
        luaK_codeABC(fs, op, extra, v->u.info, 0);
        luaK_reserveregs(fs, 1);
    }
}

static void assignment(LexState *ls, LHS_assign *lh, int nvars) {
    expdesc e;
    check_condition(ls, vkisvar(lh->v.k), "syntax error");
    if (testnext(ls, ',')) {
        LHS_assign nv;
        nv.prev = lh;
        suffixedexp(ls, &nv.v);
        if (nv.v.k != VINDEXED) check_conflict(ls, lh, &nv.v);
        checklimit(ls->fs, nvars + ls->L->nCcalls, LUAI_MAXCCALLS, "C levels");
        assignment(ls, &nv, nvars + 1);
    } else {
        checknext(ls, '=');
        int nexps = explist(ls, &e);
        if (nexps != nvars) {
            adjust_assign(ls, nvars, nexps, &e);
            if (nexps > nvars)
                ls->fs->freereg = static_cast<lu_byte>(ls->fs->freereg - (nexps - nvars));
        } else {
            luaK_setoneret(ls->fs, &e);
            luaK_storevar(ls->fs, &lh->v, &e);
            return; /* the last value went straight to its target */
        }
    }
    init_exp(&e, VNONRELOC, ls->fs->freereg - 1); /* default: the value on top */
    luaK_storevar(ls->fs, &lh->v, &e);
}

static int cond(LexState *ls) {
    expdesc v;
    expr(ls, &v);
    if (v.k == VNIL) v.k = VFALSE; /* a nil condition is just a false one */
    luaK_goiftrue(ls->fs, &v);
    return v.f;
}

static void gotostat(LexState *ls, int pc) {
    int line = ls->linenumber;
    TString *label;
    if (testnext(ls, TK_GOTO)) {
        label = str_checkname(ls);
    } else {
        luaX_next(ls); /* 'break' */
        label = luaS_new(ls->L, "break");
    }
    int g = newlabelentry(ls, &ls->dyd->gt, label, line, pc);
    findlabel(ls, g); /* a label already seen closes it at once */
}

static void checkrepeated(FuncState *fs, Labellist *ll, TString *label) {
    for (int i = fs->bl->firstlabel; i < ll->n; i++) {
        if (eqstr(label, ll->arr[i].name)) {
            TabPlace p = tabplace(ll->arr[i].line);
            const char *msg =
                luaO_pushfstring(fs->ls->L, "label '%s' already defined on line %s (tab %s)",
                                 getstr(label), p.line.s, p.tab.s);
            semerror(fs->ls, msg);
        }
    }
}

static void skipnoopstat(LexState *ls) {
    while (ls->t.token == ';' || ls->t.token == TK_DBCOLON) statement(ls);
}

static void labelstat(LexState *ls, TString *label, int line) {
    FuncState *fs = ls->fs;
    Labellist *ll = &ls->dyd->label;
    checkrepeated(fs, ll, label);
    checknext(ls, TK_DBCOLON);
    int l = newlabelentry(ls, ll, label, line, fs->pc);
    skipnoopstat(ls);
    if (block_follow(ls, false)) /* a label at the end of a block: locals are out of scope there */
        ll->arr[l].nactvar = fs->bl->nactvar;
    findgotos(ls, &ll->arr[l]);
}

static void whilestat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    BlockCnt bl;
    luaX_next(ls);
    int whileinit = luaK_getlabel(fs);
    int condexit = cond(ls);
    enterblock(fs, &bl, 1);
    checknext(ls, TK_DO);
    block(ls);
    luaK_jumpto(fs, whileinit);
    check_match(ls, TK_END, TK_WHILE, line);
    leaveblock(fs);
    luaK_patchtohere(fs, condexit);
}

static void repeatstat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    int repeat_init = luaK_getlabel(fs);
    BlockCnt bl1, bl2;
    enterblock(fs, &bl1, 1); /* what 'break' leaves */
    enterblock(fs, &bl2, 0); /* scope block: the condition sees its locals */
    luaX_next(ls);
    statlist(ls);
    check_match(ls, TK_UNTIL, TK_REPEAT, line);
    int condexit = cond(ls);
    if (bl2.upval) luaK_patchclose(fs, condexit, bl2.nactvar);
    leaveblock(fs);
    luaK_patchlist(fs, condexit, repeat_init);
    leaveblock(fs);
}

static int exp1(LexState *ls) {
    expdesc e;
    expr(ls, &e);
    luaK_exp2nextreg(ls->fs, &e);
    lua_assert(e.k == VNONRELOC);
    return e.u.info;
}

static void forbody(LexState *ls, int base, int line, int nvars, bool isnum) {
    BlockCnt bl;
    FuncState *fs = ls->fs;
    adjustlocalvars(ls, 3); /* the hidden loop state */
    checknext(ls, TK_DO);
    int prep = isnum ? luaK_codeAsBx(fs, OP_FORPREP, base, NO_JUMP) : luaK_jump(fs);
    enterblock(fs, &bl, 0); /* scope of the declared variables */
    adjustlocalvars(ls, nvars);
    luaK_reserveregs(fs, nvars);
    block(ls);
    leaveblock(fs);
    luaK_patchtohere(fs, prep);
    int endfor;
    if (isnum) {
        endfor = luaK_codeAsBx(fs, OP_FORLOOP, base, NO_JUMP);
    } else {
        luaK_codeABC(fs, OP_TFORCALL, base, 0, nvars);
        luaK_fixline(fs, line);
        endfor = luaK_codeAsBx(fs, OP_TFORLOOP, base + 2, NO_JUMP);
    }
    luaK_patchlist(fs, endfor, prep + 1);
    luaK_fixline(fs, line);
}

static void fornum(LexState *ls, TString *varname, int line) {
    FuncState *fs = ls->fs;
    int base = fs->freereg;
    new_localvarliteral(ls, "(for index)");
    new_localvarliteral(ls, "(for limit)");
    new_localvarliteral(ls, "(for step)");
    new_localvar(ls, varname);
    checknext(ls, '=');
    exp1(ls);
    checknext(ls, ',');
    exp1(ls);
    if (testnext(ls, ',')) {
        exp1(ls);
    } else { /* no step given: 1 */
        luaK_codek(fs, fs->freereg, luaK_numberK(fs, lua_integer2number(1)));
        luaK_reserveregs(fs, 1);
    }
    forbody(ls, base, line, 1, true);
}

static void forlist(LexState *ls, TString *indexname) {
    FuncState *fs = ls->fs;
    expdesc e;
    int nvars = 4; /* generator, state, control, and the first declared name */
    int base = fs->freereg;
    new_localvarliteral(ls, "(for generator)");
    new_localvarliteral(ls, "(for state)");
    new_localvarliteral(ls, "(for control)");
    new_localvar(ls, indexname);
    while (testnext(ls, ',')) {
        new_localvar(ls, str_checkname(ls));
        nvars++;
    }
    checknext(ls, TK_IN);
    int line = ls->linenumber;
    adjust_assign(ls, 3, explist(ls, &e), &e);
    luaK_checkstack(fs, 3); /* room to call the generator */
    forbody(ls, base, line, nvars - 3, false);
}

static void forstat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    BlockCnt bl;
    enterblock(fs, &bl, 1); /* scope of the loop and its control variables */
    luaX_next(ls);
    TString *varname = str_checkname(ls);
    switch (ls->t.token) {
    case '=': fornum(ls, varname, line); break;
    case ',':
    case TK_IN: forlist(ls, varname); break;
    default: luaX_syntaxerror(ls, "'=' or 'in' expected");
    }
    check_match(ls, TK_END, TK_FOR, line);
    leaveblock(fs);
}

static void test_then_block(LexState *ls, int *escapelist) {
    BlockCnt bl;
    FuncState *fs = ls->fs;
    expdesc v;
    int jf; /* jump over the block when the condition is false */
    luaX_next(ls);
    expr(ls, &v);
    checknext(ls, TK_THEN);
    if (ls->t.token == TK_GOTO || ls->t.token == TK_BREAK) {
        luaK_goiffalse(ls->fs, &v); /* the goto is the jump taken when true */
        enterblock(fs, &bl, 0);
        gotostat(ls, v.t);
        skipnoopstat(ls);
        if (block_follow(ls, false)) { /* nothing else in the block */
            leaveblock(fs);
            return;
        }
        jf = luaK_jump(fs);
    } else {
        luaK_goiftrue(ls->fs, &v);
        enterblock(fs, &bl, 0);
        jf = v.f;
    }
    statlist(ls);
    leaveblock(fs);
    if (ls->t.token == TK_ELSE || ls->t.token == TK_ELSEIF)
        luaK_concat(fs, escapelist, luaK_jump(fs)); /* jump to the end of the whole if */
    luaK_patchtohere(fs, jf);
}

static void ifstat(LexState *ls, int line) {
    FuncState *fs = ls->fs;
    int escapelist = NO_JUMP;
    test_then_block(ls, &escapelist);
    while (ls->t.token == TK_ELSEIF) test_then_block(ls, &escapelist);
    if (testnext(ls, TK_ELSE)) block(ls);
    check_match(ls, TK_END, TK_IF, line);
    luaK_patchtohere(fs, escapelist);
}

static void localfunc(LexState *ls) {
    expdesc b;
    FuncState *fs = ls->fs;
    new_localvar(ls, str_checkname(ls));
    adjustlocalvars(ls, 1); /* visible inside its own body */
    body(ls, &b, false, ls->linenumber);
    getlocvar(fs, b.u.info)->startpc = fs->pc; /* debug information starts after the closure */
}

static void localstat(LexState *ls) {
    int nvars = 0;
    int nexps;
    expdesc e;
    do {
        new_localvar(ls, str_checkname(ls));
        nvars++;
    } while (testnext(ls, ','));
    if (testnext(ls, '=')) {
        nexps = explist(ls, &e);
    } else {
        e.k = VVOID;
        nexps = 0;
    }
    adjust_assign(ls, nvars, nexps, &e);
    adjustlocalvars(ls, nvars);
}

static bool funcname(LexState *ls, expdesc *v) {
    bool ismethod = false;
    singlevar(ls, v);
    while (ls->t.token == '.') fieldsel(ls, v);
    if (ls->t.token == ':') {
        ismethod = true;
        fieldsel(ls, v);
    }
    return ismethod;
}

static void funcstat(LexState *ls, int line) {
    expdesc v, b;
    luaX_next(ls);
    bool ismethod = funcname(ls, &v);
    body(ls, &b, ismethod, line);
    luaK_storevar(ls->fs, &v, &b);
    luaK_fixline(ls->fs, line); /* errors in the store point at the 'function' line */
}

static void exprstat(LexState *ls) {
    FuncState *fs = ls->fs;
    LHS_assign v;
    suffixedexp(ls, &v.v);
    if (ls->t.token == '=' || ls->t.token == ',') {
        v.prev = nullptr;
        assignment(ls, &v, 1);
    } else { /* a call statement */
        check_condition(ls, v.v.k == VCALL, "syntax error");
        SETARG_C(getcode(fs, &v.v), 1); /* no results wanted */
    }
}

static void retstat(LexState *ls) {
    FuncState *fs = ls->fs;
    expdesc e;
    int first, nret;
    if (block_follow(ls, true) || ls->t.token == ';') {
        first = nret = 0;
    } else {
        nret = explist(ls, &e);
        if (hasmultret(e.k)) {
            luaK_setmultret(fs, &e);
            if (e.k == VCALL && nret == 1) { /* a tail call */
                SET_OPCODE(getcode(fs, &e), OP_TAILCALL);
                lua_assert(GETARG_A(getcode(fs, &e)) == fs->nactvar);
            }
            first = fs->nactvar;
            nret = LUA_MULTRET;
        } else if (nret == 1) {
            first = luaK_exp2anyreg(fs, &e);
        } else {
            luaK_exp2nextreg(fs, &e); /* values must be consecutive */
            first = fs->nactvar;
            lua_assert(nret == fs->freereg - first);
        }
    }
    luaK_ret(fs, first, nret);
    testnext(ls, ';');
}

static void statement(LexState *ls) {
    int line = ls->linenumber;
    zibo6_last_line_number = line; /* where a failed compile stopped */
    enterlevel(ls);
    switch (ls->t.token) {
    case ';': luaX_next(ls); break;
    case TK_IF: ifstat(ls, line); break;
    case TK_WHILE: whilestat(ls, line); break;
    case TK_DO:
        luaX_next(ls);
        block(ls);
        check_match(ls, TK_END, TK_DO, line);
        break;
    case TK_FOR: forstat(ls, line); break;
    case TK_REPEAT: repeatstat(ls, line); break;
    case TK_FUNCTION: funcstat(ls, line); break;
    case TK_LOCAL:
        luaX_next(ls);
        if (testnext(ls, TK_FUNCTION))
            localfunc(ls);
        else
            localstat(ls);
        break;
    case TK_DBCOLON:
        luaX_next(ls);
        labelstat(ls, str_checkname(ls), line);
        break;
    case TK_RETURN:
        luaX_next(ls);
        retstat(ls);
        break;
    case TK_BREAK:
    case TK_GOTO: gotostat(ls, luaK_jump(ls->fs)); break;
    default: exprstat(ls); break;
    }
    lua_assert(ls->fs->f->maxstacksize >= ls->fs->freereg && ls->fs->freereg >= ls->fs->nactvar);
    ls->fs->freereg = ls->fs->nactvar; /* free the statement's temporaries */
    leavelevel(ls);
}

/* The main function: vararg, with _ENV as its single upvalue. */
static void mainfunc(LexState *ls, FuncState *fs) {
    BlockCnt bl;
    expdesc v;
    open_func(ls, fs, &bl);
    fs->f->is_vararg = 1;
    init_exp(&v, VLOCAL, 0);
    newupvalue(fs, ls->envn, &v);
    luaX_next(ls);
    statlist(ls);
    check(ls, TK_EOS);
    close_func(ls);
}

Closure *luaY_parser(lua_State *L, ZIO *z, Mbuffer *buff, Dyndata *dyd, const char *name,
                     int firstchar) {
    LexState lexstate;
    FuncState funcstate;
    Closure *cl = luaF_newLclosure(L, 1);
    setclLvalue(L, L->top, cl); /* anchors the whole prototype tree */
    incr_top(L);
    funcstate.f = cl->l.p = luaF_newproto(L);
    funcstate.f->source = luaS_new(L, name);
    lexstate.buff = buff;
    lexstate.dyd = dyd;
    dyd->actvar.n = dyd->gt.n = dyd->label.n = 0;
    luaX_setinput(L, &lexstate, z, funcstate.f->source, firstchar);
    mainfunc(&lexstate, &funcstate);
    lua_assert(!funcstate.prev && funcstate.nups == 1 && !lexstate.fs);
    lua_assert(dyd->actvar.n == 0 && dyd->gt.n == 0 && dyd->label.n == 0);
    return cl;
}
