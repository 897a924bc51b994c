/*
** Script VM: metamethod events (tag methods).
*/
#ifndef Z6_LTM_H
#define Z6_LTM_H

#include "vm/lobject.h"

/*
** The order matters (ORDER TM): luaT_init's names follow it, the events up
** to TM_EQ have a cache bit in Table.flags, and the arithmetic events line
** up with luaO_arith's operator codes (event = code + TM_ADD) and with the
** arithmetic opcodes (event = op - 7).
*/
typedef enum {
    TM_INDEX,
    TM_NEWINDEX,
    TM_GC,
    TM_MODE,
    TM_LEN,
    TM_EQ, /* the last one cached by fasttm */
    TM_ADD,
    TM_SUB,
    TM_MUL,
    TM_DIV,
    TM_MOD,
    TM_POW,
    TM_BAND,  /* __and */
    TM_BOR,   /* __or */
    TM_BXOR,  /* __xor */
    TM_SHL,   /* __shl */
    TM_SHR,   /* __shr */
    TM_LSHR,  /* __lshr */
    TM_ROTL,  /* __rotl */
    TM_ROTR,  /* __rotr */
    TM_BNOT,  /* __not */
    TM_IDIV,  /* __idiv */
    TM_PEEK,  /* __peek */
    TM_PEEK2, /* __peek2 */
    TM_PEEK4, /* __peek4 */
    TM_UNM,
    TM_LT,
    TM_LE,
    TM_CONCAT,
    TM_CALL,
    TM_N
} TMS;

static_assert(TM_N == 30 && TM_UNM == 25 && TM_ADD + LUA_OPUNM == TM_UNM, "event order");

#define gfasttm(g, et, e)                                                                          \
    ((et) == NULL ? NULL : ((et)->flags & (1u << (e))) ? NULL : luaT_gettm(et, e, (g)->tmname[e]))

#define fasttm(l, et, e) gfasttm(G(l), et, e)

#define ttypename(x)   luaT_typenames_[(x) + 1]
#define objtypename(x) ttypename(ttypenv(x))

LUAI_DDEC const char *const luaT_typenames_[LUA_TOTALTAGS];

const TValue *luaT_gettm(Table *events, TMS event, TString *ename);
const TValue *luaT_gettmbyobj(lua_State *L, const TValue *o, TMS event);
void luaT_init(lua_State *L);

#endif
