/*
** Script VM: interned short strings, long strings and full userdata.
*/
#ifndef Z6_LSTRING_H
#define Z6_LSTRING_H

#include "vm/lgc.h"
#include "vm/lobject.h"
#include "vm/lstate.h"

#define sizestring(s) (sizeof(union TString) + ((s)->len + 1) * sizeof(char))

#define sizeudata(u) (sizeof(union Udata) + (u)->len)

#define luaS_newliteral(L, s) (luaS_newlstr(L, "" s, (sizeof(s) / sizeof(char)) - 1))

#define luaS_fix(s) l_setbit((s)->tsv.marked, FIXEDBIT)

/* the lexer stores a reserved word's token number (from 1) in 'extra' */
#define isreserved(s) ((s)->tsv.tt == LUA_TSHRSTR && (s)->tsv.extra > 0)

/* short strings are interned: one object per text */
#define eqshrstr(a, b) check_exp((a)->tsv.tt == LUA_TSHRSTR, (a) == (b))

unsigned int luaS_hash(const char *str, size_t l, unsigned int seed);
int luaS_eqlngstr(TString *a, TString *b);
int luaS_eqstr(TString *a, TString *b);
void luaS_resize(lua_State *L, int newsize);
Udata *luaS_newudata(lua_State *L, size_t s, Table *e);
TString *luaS_newlstr(lua_State *L, const char *str, size_t l);
TString *luaS_new(lua_State *L, const char *str);

#endif
