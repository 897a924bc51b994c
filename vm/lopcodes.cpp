/*
** Opcode names and operand modes.
*/
#include "vm/lopcodes.h"

const char *const luaP_opnames[NUM_OPCODES + 1] = {
    "MOVE",     "LOADK",    "LOADKX",   "LOADBOOL", "LOADNIL",  "GETUPVAL", "GETTABUP", "GETTABLE",
    "SETTABUP", "SETUPVAL", "SETTABLE", "NEWTABLE", "SELF",     "ADD",      "SUB",      "MUL",
    "DIV",      "MOD",      "POW",      "Z6BAND",   "Z6BOR",    "Z6BXOR",   "Z6SHL",    "Z6SHR",
    "Z6LSHR",   "Z6ROTL",   "Z6ROTR",   "Z6BNOT",   "Z6IDIV",   "Z6PEEK",   "Z6PEEK2",  "Z6PEEK4",
    "UNM",      "NOT",      "LEN",      "CONCAT",   "JMP",      "EQ",       "LT",       "LE",
    "TEST",     "TESTSET",  "CALL",     "TAILCALL", "RETURN",   "FORLOOP",  "FORPREP",  "TFORCALL",
    "TFORLOOP", "SETLIST",  "CLOSURE",  "VARARG",   "EXTRAARG", nullptr};

namespace {

constexpr lu_byte opmode(int t, int a, OpArgMask b, OpArgMask c, OpMode m) {
    return static_cast<lu_byte>((t << 7) | (a << 6) | (b << 4) | (c << 2) | m);
}

/* the mode shared by the binary arithmetic-style opcodes */
constexpr lu_byte ARITH = opmode(0, 1, OpArgK, OpArgK, iABC);
/* the unary ones: B a register, C unused (it still holds the constant 0) */
constexpr lu_byte UNARY = opmode(0, 1, OpArgR, OpArgN, iABC);

} // namespace

const lu_byte luaP_opmodes[NUM_OPCODES] = {
    opmode(0, 1, OpArgR, OpArgN, iABC), /* MOVE */
    opmode(0, 1, OpArgK, OpArgN, iABx), /* LOADK */
    opmode(0, 1, OpArgN, OpArgN, iABx), /* LOADKX */
    opmode(0, 1, OpArgU, OpArgU, iABC), /* LOADBOOL */
    opmode(0, 1, OpArgU, OpArgN, iABC), /* LOADNIL */
    opmode(0, 1, OpArgU, OpArgN, iABC), /* GETUPVAL */
    opmode(0, 1, OpArgU, OpArgK, iABC), /* GETTABUP */
    opmode(0, 1, OpArgR, OpArgK, iABC), /* GETTABLE */
    opmode(0, 0, OpArgK, OpArgK, iABC), /* SETTABUP */
    opmode(0, 0, OpArgU, OpArgN, iABC), /* SETUPVAL */
    opmode(0, 0, OpArgK, OpArgK, iABC), /* SETTABLE */
    opmode(0, 1, OpArgU, OpArgU, iABC), /* NEWTABLE */
    opmode(0, 1, OpArgR, OpArgK, iABC), /* SELF */
    ARITH,
    ARITH,
    ARITH,
    ARITH,
    ARITH,
    ARITH, /* ADD SUB MUL DIV MOD POW */
    ARITH,
    ARITH,
    ARITH,
    ARITH,
    ARITH,
    ARITH,
    ARITH,
    ARITH, /* Z6BAND .. Z6ROTR */
    UNARY, /* Z6BNOT */
    ARITH, /* Z6IDIV */
    UNARY,
    UNARY,
    UNARY,                               /* Z6PEEK Z6PEEK2 Z6PEEK4 */
    opmode(0, 1, OpArgR, OpArgN, iABC),  /* UNM */
    opmode(0, 1, OpArgR, OpArgN, iABC),  /* NOT */
    opmode(0, 1, OpArgR, OpArgN, iABC),  /* LEN */
    opmode(0, 1, OpArgR, OpArgR, iABC),  /* CONCAT */
    opmode(0, 0, OpArgR, OpArgN, iAsBx), /* JMP */
    opmode(1, 0, OpArgK, OpArgK, iABC),  /* EQ */
    opmode(1, 0, OpArgK, OpArgK, iABC),  /* LT */
    opmode(1, 0, OpArgK, OpArgK, iABC),  /* LE */
    opmode(1, 0, OpArgN, OpArgU, iABC),  /* TEST */
    opmode(1, 1, OpArgR, OpArgU, iABC),  /* TESTSET */
    opmode(0, 1, OpArgU, OpArgU, iABC),  /* CALL */
    opmode(0, 1, OpArgU, OpArgU, iABC),  /* TAILCALL */
    opmode(0, 0, OpArgU, OpArgN, iABC),  /* RETURN */
    opmode(0, 1, OpArgR, OpArgN, iAsBx), /* FORLOOP */
    opmode(0, 1, OpArgR, OpArgN, iAsBx), /* FORPREP */
    opmode(0, 0, OpArgN, OpArgU, iABC),  /* TFORCALL */
    opmode(0, 1, OpArgR, OpArgN, iAsBx), /* TFORLOOP */
    opmode(0, 0, OpArgU, OpArgU, iABC),  /* SETLIST */
    opmode(0, 1, OpArgU, OpArgN, iABx),  /* CLOSURE */
    opmode(0, 1, OpArgU, OpArgN, iABC),  /* VARARG */
    opmode(0, 0, OpArgU, OpArgU, iAx),   /* EXTRAARG */
};
