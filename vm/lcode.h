/*
** Code generator: turns the parser's expression descriptors into
** instructions, constants and line information.
*/
#ifndef Z6_LCODE_H
#define Z6_LCODE_H

#include "vm/llex.h"
#include "vm/lobject.h"
#include "vm/lopcodes.h"
#include "vm/lparser.h"

/* marks the end of a patch list */
#define NO_JUMP (-1)

/* Binary operators. Operators 0-18 are arithmetic-style: opcode = operator +
** OP_ADD. Slots 14 and 16-18 belong to unary operators and are never reached
** by a binary token. The priority table in lparser.cpp follows this order. */
typedef enum BinOpr {
    OPR_ADD,
    OPR_SUB,
    OPR_MUL,
    OPR_DIV,
    OPR_MOD,
    OPR_POW,
    OPR_BAND,
    OPR_BOR,
    OPR_BXOR,
    OPR_SHL,
    OPR_SHR,
    OPR_LSHR,
    OPR_ROTL,
    OPR_ROTR,
    OPR_BNOT_SLOT,
    OPR_IDIV,
    OPR_PEEK_SLOT,
    OPR_PEEK2_SLOT,
    OPR_PEEK4_SLOT,
    OPR_CONCAT,
    OPR_EQ,
    OPR_LT,
    OPR_LE,
    OPR_NE,
    OPR_GT,
    OPR_GE,
    OPR_AND,
    OPR_OR,
    OPR_NOBINOPR
} BinOpr;

static_assert(OPR_IDIV == 15 && OPR_CONCAT == 19 && OPR_OR == 27 && OPR_NOBINOPR == 28,
              "operator numbers");

/* Unary operators; the bit and peek operators share the numbers of their
** binary-table slots so that opcode = operator + OP_ADD holds for them too. */
typedef enum UnOpr {
    OPR_MINUS = 0,
    OPR_NOT = 1,
    OPR_LEN = 2,
    OPR_BNOT = 14,
    OPR_PEEK = 16,
    OPR_PEEK2 = 17,
    OPR_PEEK4 = 18,
    OPR_NOUNOPR = 19
} UnOpr;

#define getcode(fs, e) ((fs)->f->code[(e)->u.info])

#define luaK_codeAsBx(fs, o, A, sBx) luaK_codeABx(fs, o, A, (sBx) + MAXARG_sBx)
#define luaK_setmultret(fs, e)       luaK_setreturns(fs, e, LUA_MULTRET)
#define luaK_jumpto(fs, t)           luaK_patchlist(fs, luaK_jump(fs), t)

int luaK_code(FuncState *fs, Instruction i);
int luaK_codeABx(FuncState *fs, OpCode o, int A, unsigned int Bx);
int luaK_codeABC(FuncState *fs, OpCode o, int A, int B, int C);
int luaK_codek(FuncState *fs, int reg, int k);
void luaK_fixline(FuncState *fs, int line);
void luaK_nil(FuncState *fs, int from, int n);
void luaK_reserveregs(FuncState *fs, int n);
void luaK_checkstack(FuncState *fs, int n);
int luaK_stringK(FuncState *fs, TString *s);
int luaK_numberK(FuncState *fs, lua_Number r);
void luaK_dischargevars(FuncState *fs, expdesc *e);
int luaK_exp2anyreg(FuncState *fs, expdesc *e);
void luaK_exp2anyregup(FuncState *fs, expdesc *e);
void luaK_exp2nextreg(FuncState *fs, expdesc *e);
void luaK_exp2val(FuncState *fs, expdesc *e);
int luaK_exp2RK(FuncState *fs, expdesc *e);
void luaK_self(FuncState *fs, expdesc *e, expdesc *key);
void luaK_indexed(FuncState *fs, expdesc *t, expdesc *k);
void luaK_goiftrue(FuncState *fs, expdesc *e);
void luaK_goiffalse(FuncState *fs, expdesc *e);
void luaK_storevar(FuncState *fs, expdesc *var, expdesc *e);
void luaK_setreturns(FuncState *fs, expdesc *e, int nresults);
void luaK_setoneret(FuncState *fs, expdesc *e);
int luaK_jump(FuncState *fs);
void luaK_ret(FuncState *fs, int first, int nret);
void luaK_patchlist(FuncState *fs, int list, int target);
void luaK_patchtohere(FuncState *fs, int list);
void luaK_patchclose(FuncState *fs, int list, int level);
void luaK_concat(FuncState *fs, int *l1, int l2);
int luaK_getlabel(FuncState *fs);
void luaK_prefix(FuncState *fs, UnOpr op, expdesc *v, int line);
void luaK_infix(FuncState *fs, BinOpr op, expdesc *v);
void luaK_posfix(FuncState *fs, BinOpr op, expdesc *v1, expdesc *v2, int line);
void luaK_setlist(FuncState *fs, int base, int nelems, int tostore);

#endif
