/*
** Script VM: tables with an array part (whole keys 1..32767) and a hash part.
*/
#ifndef Z6_LTABLE_H
#define Z6_LTABLE_H

#include "vm/lobject.h"
#include "vm/lstate.h" /* GCObject, for the inline string lookup */

#define gnode(t, i) (&(t)->node[i])
#define gkey(n)     (&(n)->i_key.tvk)
#define gval(n)     (&(n)->i_val)
#define gnext(n)    ((n)->i_key.nk.next)

#define invalidateTMcache(t) ((t)->flags = 0)

/* a value slot sits inside its node, so the key is a fixed offset away */
#define keyfromval(v) (gkey(cast(Node *, cast(char *, (v)) - offsetof(Node, i_val))))

/* the shared empty node of tables without a hash part */
extern Node luaH_dummynode_;
#define luaH_dummynode (&luaH_dummynode_)
#define isdummy(n)     ((n) == luaH_dummynode)

const TValue *luaH_getint(Table *t, int key);
void luaH_setint(lua_State *L, Table *t, int key, TValue *value);
/* lookup by short string (interned, so by identity); inline for the
   interpreter's field and method accesses */
inline const TValue *luaH_getstr(Table *t, TString *key) {
    Node *n = t->node + (key->tsv.hash & t->nodemask); /* its main position */
    lua_assert(key->tsv.tt == LUA_TSHRSTR);
    do {
        if (ttisshrstring(gkey(n)) && rawtsvalue(gkey(n)) == key) return gval(n);
        n = gnext(n);
    } while (n);
    return luaO_nilobject;
}
const TValue *luaH_get(Table *t, const TValue *key);
TValue *luaH_newkey(lua_State *L, Table *t, const TValue *key);
TValue *luaH_set(lua_State *L, Table *t, const TValue *key);
Table *luaH_new(lua_State *L);
void luaH_resize(lua_State *L, Table *t, int nasize, int nhsize);
void luaH_resizearray(lua_State *L, Table *t, int nasize);
void luaH_free(lua_State *L, Table *t);
int luaH_next(lua_State *L, Table *t, StkId key);
int luaH_next_zibo6_all(lua_State *L, Table *t, StkId key);
int luaH_getn(Table *t);
void print_table_state(Table *t);

#endif
