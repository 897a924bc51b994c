/*
** Script VM: table library.
** The console's list operations (add, deli, del, count, unpack, pack)
** charge cycles in proportion to the elements they move or inspect.
** Elements are read and written raw; lengths honour __len.
*/
#include <climits>

#include "vm/lauxlib.h"
#include "vm/llimits.h"
#include "vm/lua.h"
#include "vm/lualib.h"

/* the integer part of argument 'arg' when it converts to a number, else 0 */
static int posarg (lua_State *L, int arg) {
  int isnum;
  lua_Number p = lua_tonumberx(L, arg, &isnum);
  return isnum ? (int)(p >> 16) : 0;
}

/* add(t, v [, pos]): returns v; nothing on a missing or non-table t */
int tinsert (lua_State *L) {
  if (!lua_istable(L, 1)) return 0;
  int e = luaL_len(L, 1) + 1;  /* first empty element */
  int n = lua_gettop(L);
  if (n < 2) return 0;
  if (n == 2) {  /* append: no charge */
    lua_pushvalue(L, 2);
    lua_rawseti(L, 1, e);
    lua_pushvalue(L, 2);
    return 1;
  }
  int pos = posarg(L, 3);
  lua_settop(L, 2);
  if (pos < 1 || pos > e)  /* check whether 'pos' is in bounds */
    return luaL_argerror(L, 3, "position out of bounds");
  for (int i = e; i > pos; i--) {  /* move up elements */
    lua_rawgeti(L, 1, i - 1);
    lua_rawseti(L, 1, i);  /* t[i] = t[i-1] */
  }
  spend_cpu(e - pos);
  lua_pushvalue(L, 2);
  lua_rawseti(L, 1, pos);  /* t[pos] = v */
  lua_pushvalue(L, 2);
  return 1;
}

/* deli(t [, pos]): the removed element; nothing when pos is out of range */
int tremove (lua_State *L) {
  if (!lua_istable(L, 1)) return 0;
  int size = luaL_len(L, 1);
  int pos = (lua_gettop(L) == 1) ? size : posarg(L, 2);
  if (pos < 1 || pos > size) return 0;
  lua_rawgeti(L, 1, pos);  /* result = t[pos] */
  spend_cpu(size - pos);
  for (; pos < size; pos++) {
    lua_rawgeti(L, 1, pos + 1);
    lua_rawseti(L, 1, pos);  /* t[pos] = t[pos+1] */
  }
  lua_pushnil(L);
  lua_rawseti(L, 1, size);  /* t[size] = nil */
  return 1;
}

/* del(t, v): removes the first element equal to v and returns it */
int tdel (lua_State *L) {
  if (lua_gettop(L) < 2 || !lua_istable(L, 1)) return 0;
  int n = luaL_len(L, 1);
  if (n <= 0) {
    spend_cpu(n);
    return 0;
  }
  int i;
  for (i = 1; i <= n; i++) {
    lua_rawgeti(L, 1, i);
    if (lua_compare(L, -1, 2, LUA_OPEQ)) break;  /* t[i] stays on top */
    lua_pop(L, 1);
  }
  spend_cpu(n);  /* the whole length, found or not */
  if (i > n) return 0;
  for (int j = i; j < n; j++) {
    lua_rawgeti(L, 1, j + 1);
    lua_rawseti(L, 1, j);
  }
  lua_pushnil(L);
  lua_rawseti(L, 1, n);
  return 1;  /* the table's element */
}

/* count(t [, v]): the length, or how many elements equal v */
int tcount (lua_State *L) {
  if (!lua_istable(L, 1)) return 0;
  int n = luaL_len(L, 1);
  if (lua_gettop(L) == 1) {
    spend_cpu(0);
    lua_pushinteger(L, n);
    return 1;
  }
  if (n < 1) {
    spend_cpu(0);
    lua_pushinteger(L, 0);
    return 1;
  }
  int c = 0;
  for (int i = 1; i <= n; i++) {
    lua_rawgeti(L, 1, i);
    if (lua_compare(L, -1, 2, LUA_OPEQ)) c++;
    lua_pop(L, 1);
  }
  spend_cpu(n);
  lua_pushinteger(L, c);
  return 1;
}

int unpack (lua_State *L) {
  luaL_checktype(L, 1, LUA_TTABLE);
  int i = luaL_optint(L, 2, 1);
  int e = luaL_opt(L, luaL_checkint, 3, luaL_len(L, 1));
  if (i > e) return 0;  /* empty range */
  unsigned int n = (unsigned int)e - (unsigned int)i + 1u;  /* number of elements */
  if (n >= (unsigned int)INT_MAX || !lua_checkstack(L, (int)n))
    return luaL_error(L, "too many results to unpack");
  lua_rawgeti(L, 1, i);  /* push arg[i] (avoiding overflow problems) */
  while (i++ < e)  /* push arg[i + 1...e] */
    lua_rawgeti(L, 1, i);
  spend_cpu((int)(2 * n));
  return (int)n;
}

int pack (lua_State *L) {
  int n = lua_gettop(L);  /* number of elements to pack */
  lua_createtable(L, n, 1);  /* create result table */
  lua_insert(L, 1);  /* put it at index 1 */
  for (int i = n; i >= 1; i--)  /* assign elements */
    lua_rawseti(L, 1, i);
  lua_pushinteger(L, n);
  lua_setfield(L, 1, "n");  /* t.n = number of elements */
  spend_cpu(2 * n);
  return 1;  /* return table */
}

/*
** {======================================================
** Concatenation
** =======================================================
*/

static void addfield (lua_State *L, luaL_Buffer *b, int i) {
  lua_rawgeti(L, 1, i);
  if (!lua_isstring(L, -1))
    luaL_error(L, "invalid value (%s) at index %d in table for 'concat'",
               luaL_typename(L, -1), luaL_intarg(i));
  luaL_addvalue(b);
}

static int tconcat (lua_State *L) {
  luaL_Buffer b;
  size_t lsep;
  const char *sep = luaL_optlstring(L, 2, "", &lsep);
  luaL_checktype(L, 1, LUA_TTABLE);
  int i = luaL_optint(L, 3, 1);
  int last = luaL_opt(L, luaL_checkint, 4, luaL_len(L, 1));
  luaL_buffinit(L, &b);
  for (; i < last; i++) {
    addfield(L, &b, i);
    luaL_addlstring(&b, sep, lsep);
  }
  if (i == last)  /* add last value (if interval was not empty) */
    addfield(L, &b, i);
  luaL_pushresult(&b);
  return 1;
}

/* }====================================================== */


/*
** {======================================================
** Quicksort: median of three, smaller half first
** =======================================================
*/

static void set2 (lua_State *L, int i, int j) {
  lua_rawseti(L, 1, i);
  lua_rawseti(L, 1, j);
}

static int sort_comp (lua_State *L, int a, int b) {
  if (!lua_isnil(L, 2)) {  /* function? */
    lua_pushvalue(L, 2);
    lua_pushvalue(L, a - 1);  /* -1 to compensate function */
    lua_pushvalue(L, b - 2);  /* -2 to compensate function and 'a' */
    lua_call(L, 2, 1);
    int res = lua_toboolean(L, -1);
    lua_pop(L, 1);
    return res;
  }
  return lua_compare(L, a, b, LUA_OPLT);  /* a < b? */
}

static void auxsort (lua_State *L, int l, int u) {
  while (l < u) {  /* for tail recursion */
    int i, j;
    /* sort elements a[l], a[(l+u)/2] and a[u] */
    lua_rawgeti(L, 1, l);
    lua_rawgeti(L, 1, u);
    if (sort_comp(L, -1, -2))  /* a[u] < a[l]? */
      set2(L, l, u);  /* swap a[l] - a[u] */
    else
      lua_pop(L, 2);
    if (u - l == 1) break;  /* only 2 elements */
    i = (l + u) / 2;
    lua_rawgeti(L, 1, i);
    lua_rawgeti(L, 1, l);
    if (sort_comp(L, -2, -1))  /* a[i] < a[l]? */
      set2(L, i, l);
    else {
      lua_pop(L, 1);  /* remove a[l] */
      lua_rawgeti(L, 1, u);
      if (sort_comp(L, -1, -2))  /* a[u] < a[i]? */
        set2(L, i, u);
      else
        lua_pop(L, 2);
    }
    if (u - l == 2) break;  /* only 3 elements */
    lua_rawgeti(L, 1, i);  /* pivot */
    lua_pushvalue(L, -1);
    lua_rawgeti(L, 1, u - 1);
    set2(L, i, u - 1);
    /* a[l] <= P == a[u-1] <= a[u], only need to sort from l+1 to u-2 */
    i = l; j = u - 1;
    for (;;) {  /* invariant: a[l..i] <= P <= a[j..u] */
      /* repeat ++i until a[i] >= P */
      while (lua_rawgeti(L, 1, ++i), sort_comp(L, -1, -2)) {
        if (i >= u) luaL_error(L, "invalid order function for sorting");
        lua_pop(L, 1);  /* remove a[i] */
      }
      /* repeat --j until a[j] <= P */
      while (lua_rawgeti(L, 1, --j), sort_comp(L, -3, -1)) {
        if (j <= l) luaL_error(L, "invalid order function for sorting");
        lua_pop(L, 1);  /* remove a[j] */
      }
      if (j < i) {
        lua_pop(L, 3);  /* pop pivot, a[i], a[j] */
        break;
      }
      set2(L, i, j);
    }
    lua_rawgeti(L, 1, u - 1);
    lua_rawgeti(L, 1, i);
    set2(L, u - 1, i);  /* swap pivot (a[u-1]) with a[i] */
    /* a[l..i-1] <= a[i] == P <= a[i+1..u]; recurse into the smaller half */
    if (i - l < u - i) {
      j = l; i = i - 1; l = i + 2;
    }
    else {
      j = i + 1; i = u; u = j - 2;
    }
    auxsort(L, j, i);  /* call recursively the smaller one */
  }  /* repeat the routine for the larger one */
}

static int sort (lua_State *L) {
  luaL_checktype(L, 1, LUA_TTABLE);
  int n = luaL_len(L, 1);
  luaL_checkstack(L, 40, "");  /* recursion depth stays below 40 levels */
  if (!lua_isnoneornil(L, 2))  /* is there a 2nd argument? */
    luaL_checktype(L, 2, LUA_TFUNCTION);
  lua_settop(L, 2);  /* make sure there are two arguments */
  auxsort(L, 1, n);
  return 0;
}

/* }====================================================== */

static const luaL_Reg tab_funcs[] = {
  {"concat", tconcat},
  {"insert", tinsert},
  {"pack", pack},
  {"unpack", unpack},
  {"remove", tremove},
  {"sort", sort},
  {NULL, NULL}
};

LUAMOD_API int luaopen_table (lua_State *L) {
  luaL_newlib(L, tab_funcs);
  return 1;
}
