/*
** Parser of the console's script language: one pass, code emitted through
** the code generator (lcode) as the text is read.
*/
#ifndef Z6_LPARSER_H
#define Z6_LPARSER_H

#include "vm/llimits.h"
#include "vm/lobject.h"
#include "vm/lzio.h"

/* Kinds of expression descriptors. */
typedef enum {
    VVOID,     /* no value (empty expression list) */
    VNIL,
    VTRUE,
    VFALSE,
    VK,        /* info = index of the constant */
    VKNUM,     /* nval = the 16.16 value */
    VNONRELOC, /* info = result register */
    VLOCAL,    /* info = local register */
    VUPVAL,    /* info = upvalue index */
    VINDEXED,  /* ind.t = table register or upvalue, ind.idx = key RK, ind.vt = VLOCAL or VUPVAL */
    VJMP,      /* info = pc of the jump */
    VRELOCABLE, /* info = pc of the instruction whose A is still to be set */
    VCALL,     /* info = pc of the call */
    VVARARG    /* info = pc of the vararg instruction */
} expkind;

#define vkisvar(k) (VLOCAL <= (k) && (k) <= VINDEXED)
#define vkisinreg(k) ((k) == VNONRELOC || (k) == VLOCAL)

typedef struct expdesc {
    expkind k;
    union {
        struct {
            short idx;  /* key: register or constant (RK) */
            lu_byte t;  /* table: register or upvalue index */
            lu_byte vt; /* whether t is a register (VLOCAL) or an upvalue (VUPVAL) */
        } ind;
        int info;        /* see expkind */
        lua_Number nval; /* VKNUM */
    } u;
    int t; /* patch list of "exit when true" */
    int f; /* patch list of "exit when false" */
} expdesc;

/* An active local variable: its index in the prototype's locvars. */
typedef struct Vardesc {
    short idx;
} Vardesc;

/* A pending goto or a label. */
typedef struct Labeldesc {
    TString *name; /* label name */
    int pc;        /* position in code */
    int line;      /* line where it appeared */
    lu_byte nactvar; /* active locals at that point */
} Labeldesc;

typedef struct Labellist {
    Labeldesc *arr; /* array */
    int n;          /* entries in use */
    int size;       /* entries allocated */
} Labellist;

/* Dynamic data of one compile, owned by the loader. */
typedef struct Dyndata {
    struct {
        Vardesc *arr;
        int n;
        int size;
    } actvar;       /* active locals of every open function */
    Labellist gt;    /* pending gotos */
    Labellist label; /* active labels */
} Dyndata;

struct BlockCnt; /* private to lparser.cpp */

/* State of the code generator for one function. */
typedef struct FuncState {
    Proto *f;                /* prototype being built */
    Table *h;                /* constant lookup: value -> index */
    struct FuncState *prev;  /* enclosing function */
    struct LexState *ls;     /* lexer */
    struct BlockCnt *bl;     /* current block */
    int pc;                  /* next instruction position (= ncode) */
    int lasttarget;          /* pc of the last jump target */
    int jpc;                 /* list of pending jumps to pc */
    int nk;                  /* constants in use */
    int np;                  /* nested prototypes in use */
    int firstlocal;          /* index of the first local of this function in dyd->actvar */
    short nlocvars;          /* entries used in f->locvars */
    lu_byte nactvar;         /* active locals */
    lu_byte nups;            /* upvalues */
    lu_byte freereg;         /* first free register */
} FuncState;

/* Line of the last statement begun by the parser, -1 before the first;
** kept across compiles for the console's syntax-error report. */
extern int zibo6_last_line_number;

Closure *luaY_parser(lua_State *L, ZIO *z, Mbuffer *buff, Dyndata *dyd, const char *name, int firstchar);

#endif
