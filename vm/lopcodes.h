/*
** Instruction set of the script VM: the 32-bit instruction word, its fields,
** the 53 opcodes and their operand modes.
**
** Layout (low to high bits):  OP 6 | A 8 | C 9 | B 9
**                             OP 6 | A 8 | Bx 18
**                             OP 6 | Ax 26
** sBx is Bx less MAXARG_sBx. An RK operand (B or C) with BITRK set names a
** constant, otherwise a register.
*/
#ifndef Z6_LOPCODES_H
#define Z6_LOPCODES_H

#include <cstdint>

#include "vm/llimits.h"

enum OpMode { iABC, iABx, iAsBx, iAx };

#define SIZE_C 9
#define SIZE_B 9
#define SIZE_Bx (SIZE_C + SIZE_B)
#define SIZE_A 8
#define SIZE_Ax (SIZE_C + SIZE_B + SIZE_A)
#define SIZE_OP 6

#define POS_OP 0
#define POS_A (POS_OP + SIZE_OP)
#define POS_C (POS_A + SIZE_A)
#define POS_B (POS_C + SIZE_C)
#define POS_Bx POS_C
#define POS_Ax POS_A

#define MAXARG_Bx ((1 << SIZE_Bx) - 1)
#define MAXARG_sBx (MAXARG_Bx >> 1)
#define MAXARG_Ax ((1 << SIZE_Ax) - 1)
#define MAXARG_A ((1 << SIZE_A) - 1)
#define MAXARG_B ((1 << SIZE_B) - 1)
#define MAXARG_C ((1 << SIZE_C) - 1)

/* a mask of n one bits at position p */
#define MASK1(n, p) ((~((~(Instruction)0) << (n))) << (p))
#define MASK0(n, p) (~MASK1(n, p))

#define GET_OPCODE(i) (static_cast<OpCode>(((i) >> POS_OP) & MASK1(SIZE_OP, 0)))
#define SET_OPCODE(i, o) \
    ((i) = (((i) & MASK0(SIZE_OP, POS_OP)) | ((static_cast<Instruction>(o) << POS_OP) & MASK1(SIZE_OP, POS_OP))))

#define getarg(i, pos, size) (static_cast<int>(((i) >> (pos)) & MASK1(size, 0)))
#define setarg(i, v, pos, size) \
    ((i) = (((i) & MASK0(size, pos)) | ((static_cast<Instruction>(v) << (pos)) & MASK1(size, pos))))

#define GETARG_A(i) getarg(i, POS_A, SIZE_A)
#define SETARG_A(i, v) setarg(i, v, POS_A, SIZE_A)
#define GETARG_B(i) getarg(i, POS_B, SIZE_B)
#define SETARG_B(i, v) setarg(i, v, POS_B, SIZE_B)
#define GETARG_C(i) getarg(i, POS_C, SIZE_C)
#define SETARG_C(i, v) setarg(i, v, POS_C, SIZE_C)
#define GETARG_Bx(i) getarg(i, POS_Bx, SIZE_Bx)
#define SETARG_Bx(i, v) setarg(i, v, POS_Bx, SIZE_Bx)
#define GETARG_Ax(i) getarg(i, POS_Ax, SIZE_Ax)
#define SETARG_Ax(i, v) setarg(i, v, POS_Ax, SIZE_Ax)
#define GETARG_sBx(i) (GETARG_Bx(i) - MAXARG_sBx)
#define SETARG_sBx(i, b) SETARG_Bx((i), static_cast<unsigned int>((b) + MAXARG_sBx))

#define CREATE_ABC(o, a, b, c)                                                             \
    ((static_cast<Instruction>(o) << POS_OP) | (static_cast<Instruction>(a) << POS_A) | \
     (static_cast<Instruction>(b) << POS_B) | (static_cast<Instruction>(c) << POS_C))
#define CREATE_ABx(o, a, bc) \
    ((static_cast<Instruction>(o) << POS_OP) | (static_cast<Instruction>(a) << POS_A) | (static_cast<Instruction>(bc) << POS_Bx))
#define CREATE_Ax(o, a) ((static_cast<Instruction>(o) << POS_OP) | (static_cast<Instruction>(a) << POS_Ax))

/* register-or-constant operands */
#define BITRK (1 << (SIZE_B - 1))
#define ISK(x) ((x) & BITRK)
#define INDEXK(r) (static_cast<int>(r) & ~BITRK)
#define MAXINDEXRK (BITRK - 1)
#define RKASK(x) ((x) | BITRK)

/* "no register" marker; fits in the A field */
#define NO_REG MAXARG_A

/* Opcodes 19-31 are the console's additions; everything from UNM on sits 13
** places later than in the stock 5.2 numbering. Arithmetic opcodes 13-31 are
** the luaO_arith operation codes plus 13. */
enum OpCode {
    OP_MOVE,     /* A B     R(A) := R(B) */
    OP_LOADK,    /* A Bx    R(A) := Kst(Bx) */
    OP_LOADKX,   /* A       R(A) := Kst(extra arg) */
    OP_LOADBOOL, /* A B C   R(A) := (Bool)B; if (C) pc++ */
    OP_LOADNIL,  /* A B     R(A), ..., R(A+B) := nil */
    OP_GETUPVAL, /* A B     R(A) := UpValue[B] */
    OP_GETTABUP, /* A B C   R(A) := UpValue[B][RK(C)] */
    OP_GETTABLE, /* A B C   R(A) := R(B)[RK(C)] */
    OP_SETTABUP, /* A B C   UpValue[A][RK(B)] := RK(C) */
    OP_SETUPVAL, /* A B     UpValue[B] := R(A) */
    OP_SETTABLE, /* A B C   R(A)[RK(B)] := RK(C) */
    OP_NEWTABLE, /* A B C   R(A) := {} (size = B,C) */
    OP_SELF,     /* A B C   R(A+1) := R(B); R(A) := R(B)[RK(C)] */
    OP_ADD,      /* A B C   R(A) := RK(B) + RK(C) */
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_MOD,
    OP_POW,
    OP_Z6BAND, /* A B C   R(A) := RK(B) & RK(C) */
    OP_Z6BOR,
    OP_Z6BXOR,
    OP_Z6SHL,
    OP_Z6SHR,
    OP_Z6LSHR,
    OP_Z6ROTL,
    OP_Z6ROTR,
    OP_Z6BNOT, /* A B C   R(A) := ~RK(B)   (C is always the constant 0) */
    OP_Z6IDIV, /* A B C   R(A) := RK(B) \ RK(C) */
    OP_Z6PEEK, /* A B C   R(A) := peek(RK(B))   (C is always the constant 0) */
    OP_Z6PEEK2,
    OP_Z6PEEK4,
    OP_UNM,      /* A B     R(A) := -R(B) */
    OP_NOT,      /* A B     R(A) := not R(B) */
    OP_LEN,      /* A B     R(A) := length of R(B) */
    OP_CONCAT,   /* A B C   R(A) := R(B).. ... ..R(C) */
    OP_JMP,      /* A sBx   pc+=sBx; if (A) close all upvalues >= R(A - 1) */
    OP_EQ,       /* A B C   if ((RK(B) == RK(C)) ~= A) then pc++ */
    OP_LT,       /* A B C   if ((RK(B) <  RK(C)) ~= A) then pc++ */
    OP_LE,       /* A B C   if ((RK(B) <= RK(C)) ~= A) then pc++ */
    OP_TEST,     /* A C     if not (R(A) <=> C) then pc++ */
    OP_TESTSET,  /* A B C   if (R(B) <=> C) then R(A) := R(B) else pc++ */
    OP_CALL,     /* A B C   R(A), ... ,R(A+C-2) := R(A)(R(A+1), ... ,R(A+B-1)) */
    OP_TAILCALL, /* A B C   return R(A)(R(A+1), ... ,R(A+B-1)) */
    OP_RETURN,   /* A B     return R(A), ... ,R(A+B-2) */
    OP_FORLOOP,  /* A sBx   R(A)+=R(A+2); if R(A) <?= R(A+1) then { pc+=sBx; R(A+3)=R(A) } */
    OP_FORPREP,  /* A sBx   R(A)-=R(A+2); pc+=sBx */
    OP_TFORCALL, /* A C     R(A+3), ... ,R(A+2+C) := R(A)(R(A+1), R(A+2)) */
    OP_TFORLOOP, /* A sBx   if R(A+1) ~= nil then { R(A)=R(A+1); pc += sBx } */
    OP_SETLIST,  /* A B C   R(A)[(C-1)*FPF+i] := R(A+i), 1 <= i <= B */
    OP_CLOSURE,  /* A Bx    R(A) := closure(KPROTO[Bx]) */
    OP_VARARG,   /* A B     R(A), R(A+1), ..., R(A+B-2) = vararg */
    OP_EXTRAARG  /* Ax      extra (larger) argument for the previous opcode */
};

#define NUM_OPCODES (static_cast<int>(OP_EXTRAARG) + 1)

static_assert(OP_Z6BAND == 19 && OP_Z6PEEK4 == 31 && OP_UNM == 32 && OP_EXTRAARG == 52, "opcode numbering");

/* How an instruction uses its B and C operands. */
enum OpArgMask {
    OpArgN, /* not used */
    OpArgU, /* used */
    OpArgR, /* a register or a jump offset */
    OpArgK  /* a constant or a register/constant */
};

/* Mode byte per opcode: bits 0-1 format, 2-3 C mode, 4-5 B mode, 6 sets A,
** 7 is a test (the next instruction is a jump). */
extern const lu_byte luaP_opmodes[NUM_OPCODES];

#define getOpMode(m) (static_cast<enum OpMode>(luaP_opmodes[m] & 3))
#define getBMode(m) (static_cast<enum OpArgMask>((luaP_opmodes[m] >> 4) & 3))
#define getCMode(m) (static_cast<enum OpArgMask>((luaP_opmodes[m] >> 2) & 3))
#define testAMode(m) (luaP_opmodes[m] & (1 << 6))
#define testTMode(m) (luaP_opmodes[m] & (1 << 7))

/* Opcode names, indexed by opcode; a null entry closes the list. */
extern const char *const luaP_opnames[NUM_OPCODES + 1];

/* number of list items to accumulate before a SETLIST instruction */
#define LFIELDS_PER_FLUSH 50

#endif
