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
    VVOID, /* no value (empty expression list) */
    VNIL,
    VTRUE,
    VFALSE,
    VK,         /* info = index of the constant */
    VKNUM,      /* nval = the 16.16 value */
    VNONRELOC,  /* info = result register */
    VLOCAL,     /* info = local register */
    VUPVAL,     /* info = upvalue index */
    VINDEXED,   /* ind.t = table register or upvalue, ind.idx = key RK, ind.vt = VLOCAL or VUPVAL */
    VJMP,       /* info = pc of the jump */
    VRELOCABLE, /* info = pc of the instruction whose A is still to be set */
    VCALL,      /* info = pc of the call */
    VVARARG     /* info = pc of the vararg instruction */
} expkind;

#define vkisvar(k)   (VLOCAL <= (k) && (k) <= VINDEXED)
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
    int t; /* jumps taken when the value is true */
    int f; /* jumps taken when it is false */
} expdesc;

/* An active local variable: its index in the prototype's locvars. */
typedef struct Vardesc {
    short idx;
} Vardesc;

/* A pending goto or a label. */
typedef struct Labeldesc {
    TString *name;
    int pc;
    int line;        /* for the error when a goto stays unresolved */
    lu_byte nactvar; /* a goto may not jump into the scope of a local */
} Labeldesc;

typedef struct Labellist {
    Labeldesc *arr;
    int n;
    int size;
} Labellist;

/* Dynamic data of one compile, owned by the loader. */
typedef struct Dyndata {
    struct {
        Vardesc *arr;
        int n;
        int size;
    } actvar;        /* active locals of every open function */
    Labellist gt;    /* pending gotos */
    Labellist label; /* active labels */
} Dyndata;

struct BlockCnt; /* private to lparser.cpp */

/* State of the code generator for one function. */
typedef struct FuncState {
    Proto *f;
    Table *h;               /* constant lookup: value -> index */
    struct FuncState *prev; /* enclosing function */
    struct LexState *ls;
    struct BlockCnt *bl;
    int pc;         /* count of instructions emitted */
    int lasttarget; /* no LOADNIL merging across a jump target */
    int jpc;        /* jumps waiting for the next instruction */
    int nk;         /* f->k may be allocated larger than this */
    int np;
    int firstlocal; /* where this function's locals start in dyd->actvar */
    short nlocvars;
    lu_byte nactvar; /* locals in scope; registers below are theirs */
    lu_byte nups;
    lu_byte freereg;
} FuncState;

/* Line of the last statement begun by the parser, -1 before the first;
** kept across compiles for the console's syntax-error report. */
extern int zibo6_last_line_number;

Closure *luaY_parser(lua_State *L, ZIO *z, Mbuffer *buff, Dyndata *dyd, const char *name,
                     int firstchar);

#endif
