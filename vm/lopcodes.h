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

#define SIZE_C  9
#define SIZE_B  9
#define SIZE_Bx (SIZE_C + SIZE_B)
#define SIZE_A  8
#define SIZE_Ax (SIZE_C + SIZE_B + SIZE_A)
#define SIZE_OP 6

#define POS_OP 0
#define POS_A  (POS_OP + SIZE_OP)
#define POS_C  (POS_A + SIZE_A)
#define POS_B  (POS_C + SIZE_C)
#define POS_Bx POS_C
#define POS_Ax POS_A

#define MAXARG_Bx  ((1 << SIZE_Bx) - 1)
#define MAXARG_sBx (MAXARG_Bx >> 1)
#define MAXARG_Ax  ((1 << SIZE_Ax) - 1)
#define MAXARG_A   ((1 << SIZE_A) - 1)
#define MAXARG_B   ((1 << SIZE_B) - 1)
#define MAXARG_C   ((1 << SIZE_C) - 1)

/* a mask of n one bits at position p */
#define MASK1(n, p) ((~((~(Instruction)0) << (n))) << (p))
#define MASK0(n, p) (~MASK1(n, p))

#define GET_OPCODE(i) (static_cast<OpCode>(((i) >> POS_OP) & MASK1(SIZE_OP, 0)))
#define SET_OPCODE(i, o)                                                                           \
    ((i) = (((i)&MASK0(SIZE_OP, POS_OP)) |                                                         \
            ((static_cast<Instruction>(o) << POS_OP) & MASK1(SIZE_OP, POS_OP))))

#define getarg(i, pos, size) (static_cast<int>(((i) >> (pos)) & MASK1(size, 0)))
#define setarg(i, v, pos, size)                                                                    \
    ((i) = (((i)&MASK0(size, pos)) | ((static_cast<Instruction>(v) << (pos)) & MASK1(size, pos))))

#define GETARG_A(i)      getarg(i, POS_A, SIZE_A)
#define SETARG_A(i, v)   setarg(i, v, POS_A, SIZE_A)
#define GETARG_B(i)      getarg(i, POS_B, SIZE_B)
#define SETARG_B(i, v)   setarg(i, v, POS_B, SIZE_B)
#define GETARG_C(i)      getarg(i, POS_C, SIZE_C)
#define SETARG_C(i, v)   setarg(i, v, POS_C, SIZE_C)
#define GETARG_Bx(i)     getarg(i, POS_Bx, SIZE_Bx)
#define SETARG_Bx(i, v)  setarg(i, v, POS_Bx, SIZE_Bx)
#define GETARG_Ax(i)     getarg(i, POS_Ax, SIZE_Ax)
#define SETARG_Ax(i, v)  setarg(i, v, POS_Ax, SIZE_Ax)
#define GETARG_sBx(i)    (GETARG_Bx(i) - MAXARG_sBx)
#define SETARG_sBx(i, b) SETARG_Bx((i), static_cast<unsigned int>((b) + MAXARG_sBx))

#define CREATE_ABC(o, a, b, c)                                                                     \
    ((static_cast<Instruction>(o) << POS_OP) | (static_cast<Instruction>(a) << POS_A) |            \
     (static_cast<Instruction>(b) << POS_B) | (static_cast<Instruction>(c) << POS_C))
#define CREATE_ABx(o, a, bc)                                                                       \
    ((static_cast<Instruction>(o) << POS_OP) | (static_cast<Instruction>(a) << POS_A) |            \
     (static_cast<Instruction>(bc) << POS_Bx))
#define CREATE_Ax(o, a)                                                                            \
    ((static_cast<Instruction>(o) << POS_OP) | (static_cast<Instruction>(a) << POS_Ax))

/* register-or-constant operands */
#define BITRK      (1 << (SIZE_B - 1))
#define ISK(x)     ((x)&BITRK)
#define INDEXK(r)  (static_cast<int>(r) & ~BITRK)
#define MAXINDEXRK (BITRK - 1)
#define RKASK(x)   ((x) | BITRK)

/* "no register" marker; fits in the A field */
#define NO_REG MAXARG_A

/* Opcodes 19-31 are the console's additions (so UNM and everything after
** it are numbered 13 higher than they would be without them).  Arithmetic
** opcodes 13-31 are the luaO_arith operation codes plus 13.
** In the notes, A, B, C name registers, RK an operand that may be a
** constant, and "skip" means the next instruction (always a JMP) is passed
** over. */
enum OpCode {
    OP_MOVE,     /* A B: A = B */
    OP_LOADK,    /* A Bx: A = constant Bx */
    OP_LOADKX,   /* A: A = the constant numbered by the EXTRAARG after it */
    OP_LOADBOOL, /* A B C: A = (B != 0); skip if C */
    OP_LOADNIL,  /* A B: A .. A+B = nil */
    OP_GETUPVAL, /* A B: A = upvalue B */
    OP_GETTABUP, /* A B C: A = upvalue B [RK C] */
    OP_GETTABLE, /* A B C: A = B [RK C] */
    OP_SETTABUP, /* A B C: upvalue A [RK B] = RK C */
    OP_SETUPVAL, /* A B: upvalue B = A */
    OP_SETTABLE, /* A B C: A [RK B] = RK C */
    OP_NEWTABLE, /* A B C: A = new table, B and C its size hints (int2fb) */
    OP_SELF,     /* A B C: A+1 = B; A = B [RK C] */
    OP_ADD,      /* A B C: A = RK B + RK C, and so on through Z6ROTR */
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_MOD,
    OP_POW,
    OP_Z6BAND,
    OP_Z6BOR,
    OP_Z6BXOR,
    OP_Z6SHL,
    OP_Z6SHR,
    OP_Z6LSHR,
    OP_Z6ROTL,
    OP_Z6ROTR,
    OP_Z6BNOT, /* A B C: A = ~RK B (C always holds the constant 0) */
    OP_Z6IDIV, /* A B C: A = RK B \ RK C, the quotient's fraction cleared */
    OP_Z6PEEK, /* A B C: A = memory at RK B, 1, 2 or 4 bytes (C as for BNOT) */
    OP_Z6PEEK2,
    OP_Z6PEEK4,
    OP_UNM,      /* A B: A = -B */
    OP_NOT,      /* A B: A = not B */
    OP_LEN,      /* A B: A = #B */
    OP_CONCAT,   /* A B C: A = B .. B+1 .. (up to) C */
    OP_JMP,      /* A sBx: jump by sBx; A > 0 first closes upvalues from
                    register A-1 up */
    OP_EQ,       /* A B C: skip when (RK B == RK C) differs from A */
    OP_LT,       /* A B C: skip when (RK B < RK C) differs from A */
    OP_LE,       /* A B C: skip when (RK B <= RK C) differs from A */
    OP_TEST,     /* A C: skip when the truth of A differs from C */
    OP_TESTSET,  /* A B C: A = B when the truth of B equals C, else skip */
    OP_CALL,     /* A B C: call A with B-1 arguments, keep C-1 results (0:
                    arguments up to top / keep all and set top) */
    OP_TAILCALL, /* A B C: return the results of calling A, as for CALL */
    OP_RETURN,   /* A B: return B-1 values from A up (0: up to top) */
    OP_FORLOOP,  /* A sBx: A += A+2; while A has not passed A+1, A+3 = A and
                    jump sBx back */
    OP_FORPREP,  /* A sBx: A -= A+2, then jump sBx to the FORLOOP */
    OP_TFORCALL, /* A C: A+3 .. A+2+C = A(A+1, A+2) */
    OP_TFORLOOP, /* A sBx: if A+1 is not nil, A = A+1 and jump sBx back */
    OP_SETLIST,  /* A B C: A[(C-1)*LFIELDS_PER_FLUSH + i] = A+i for i in 1..B
                    (B 0: up to top; C 0: C is in the EXTRAARG after it) */
    OP_CLOSURE,  /* A Bx: A = new closure of nested prototype Bx */
    OP_VARARG,   /* A B: A .. A+B-2 = the varargs (0: all, setting top) */
    OP_EXTRAARG  /* Ax: an operand too wide for the instruction before it */
};

#define NUM_OPCODES (static_cast<int>(OP_EXTRAARG) + 1)

static_assert(OP_Z6BAND == 19 && OP_Z6PEEK4 == 31 && OP_UNM == 32 && OP_EXTRAARG == 52,
              "opcode numbering");

/* How an instruction uses its B and C operands. */
enum OpArgMask {
    OpArgN, /* ignored */
    OpArgU, /* a plain number (count, index, flag) */
    OpArgR, /* a register, or a jump offset for sBx */
    OpArgK  /* Bx a constant index, or B/C an RK operand */
};

/* Mode byte per opcode: bits 0-1 format, 2-3 C mode, 4-5 B mode, 6 sets A,
** 7 is a test (the next instruction is a jump). */
extern const lu_byte luaP_opmodes[NUM_OPCODES];

#define getOpMode(m) (static_cast<enum OpMode>(luaP_opmodes[m] & 3))
#define getBMode(m)  (static_cast<enum OpArgMask>((luaP_opmodes[m] >> 4) & 3))
#define getCMode(m)  (static_cast<enum OpArgMask>((luaP_opmodes[m] >> 2) & 3))
#define testAMode(m) (luaP_opmodes[m] & (1 << 6))
#define testTMode(m) (luaP_opmodes[m] & (1 << 7))

/* Opcode names, indexed by opcode; a null entry closes the list. */
extern const char *const luaP_opnames[NUM_OPCODES + 1];

/* a table constructor stores its list items in batches of this many, so
   they never need more registers than that */
#define LFIELDS_PER_FLUSH 50

#endif
