/*
** Script VM: the interpreter and the value operations it shares with the API.
*/
#ifndef Z6_LVM_H
#define Z6_LVM_H

#include "vm/ldo.h"
#include "vm/lobject.h"
#include "vm/ltm.h"

#define tostring(L, o) (ttisstring(o) || (luaV_tostring(L, o)))

#define tonumber(o, n) (ttisnumber(o) || (((o) = luaV_tonumber(o, n)) != NULL))

#define equalobj(L, o1, o2) (ttisequal(o1, o2) && luaV_equalobj_(L, o1, o2))

#define luaV_rawequalobj(t1, t2) (ttisequal(t1, t2) && luaV_equalobj_(NULL, t1, t2))

/* cycles charged per opcode by the dispatch loop (64 entries: 53 opcodes and
   the unused codes up to 63, which cost 2 and do nothing) */
extern const lu_byte luaV_cycle_cost[64];

int luaV_equalobj_(lua_State *L, const TValue *t1, const TValue *t2);
int luaV_lessthan(lua_State *L, const TValue *l, const TValue *r);
int luaV_lessequal(lua_State *L, const TValue *l, const TValue *r);
const TValue *luaV_tonumber(const TValue *obj, TValue *n);
int luaV_tostring(lua_State *L, StkId obj);
void luaV_gettable(lua_State *L, const TValue *t, TValue *key, StkId val);
void luaV_settable(lua_State *L, const TValue *t, TValue *key, StkId val);
void luaV_finishOp(lua_State *L);
void luaV_execute(lua_State *L);
void luaV_concat(lua_State *L, int total);
void luaV_arith(lua_State *L, StkId ra, const TValue *rb, const TValue *rc, TMS op);
void luaV_objlen(lua_State *L, StkId ra, const TValue *rb);

#endif
