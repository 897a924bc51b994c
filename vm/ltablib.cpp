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
static int posarg(lua_State *L, int arg) {
    int isnum;
    lua_Number p = lua_tonumberx(L, arg, &isnum);
    return isnum ? (int)(p >> 16) : 0;
}

/* add(t, v [, pos]): returns v; nothing on a missing or non-table t, and
   nothing on a full list, whose next index would be the key -32768 */
int tinsert(lua_State *L) {
    if (!lua_istable(L, 1)) return 0;
    int e = luaL_len(L, 1) + 1;
    int n = lua_gettop(L);
    if (n < 2) return 0;
    int pos = e; /* a plain append moves nothing and costs nothing */
    if (n > 2) {
        pos = posarg(L, 3);
        lua_settop(L, 2);
        if (pos < 1 || pos > e) return luaL_argerror(L, 3, "position out of bounds");
    }
    if (e > Z6_MAXARRAYKEY) return 0;
    if (n > 2) {
        for (int i = e; i > pos; i--) {
            lua_rawgeti(L, 1, i - 1);
            lua_rawseti(L, 1, i);
        }
        zibo6_vm.spend_cpu(e - pos);
    }
    lua_pushvalue(L, 2);
    lua_rawseti(L, 1, pos);
    lua_pushvalue(L, 2);
    return 1;
}

/* moves t[pos+1..n] down one slot and clears t[n] */
static void close_gap(lua_State *L, int pos, int n) {
    for (; pos < n; pos++) {
        lua_rawgeti(L, 1, pos + 1);
        lua_rawseti(L, 1, pos);
    }
    lua_pushnil(L);
    lua_rawseti(L, 1, n);
}

/* deli(t [, pos]): the removed element; nothing when pos is out of range */
int tremove(lua_State *L) {
    if (!lua_istable(L, 1)) return 0;
    int size = luaL_len(L, 1);
    int pos = (lua_gettop(L) == 1) ? size : posarg(L, 2);
    if (pos < 1 || pos > size) return 0;
    lua_rawgeti(L, 1, pos);
    zibo6_vm.spend_cpu(size - pos);
    close_gap(L, pos, size);
    return 1;
}

/* del(t, v): removes the first element equal to v and returns it */
int tdel(lua_State *L) {
    if (lua_gettop(L) < 2 || !lua_istable(L, 1)) return 0;
    int n = luaL_len(L, 1);
    if (n <= 0) {
        zibo6_vm.spend_cpu(n);
        return 0;
    }
    int i;
    for (i = 1; i <= n; i++) {
        lua_rawgeti(L, 1, i);
        if (lua_compare(L, -1, 2, LUA_OPEQ)) break;
        lua_pop(L, 1);
    }
    zibo6_vm.spend_cpu(n); /* the whole length, found or not */
    if (i > n) return 0;
    close_gap(L, i, n);
    return 1;
}

/* count(t [, v]): the length, or how many elements equal v */
int tcount(lua_State *L) {
    if (!lua_istable(L, 1)) return 0;
    int n = luaL_len(L, 1);
    if (lua_gettop(L) == 1) {
        zibo6_vm.spend_cpu(0);
        lua_pushinteger(L, n);
        return 1;
    }
    if (n < 1) {
        zibo6_vm.spend_cpu(0);
        lua_pushinteger(L, 0);
        return 1;
    }
    int c = 0;
    for (int i = 1; i <= n; i++) {
        lua_rawgeti(L, 1, i);
        if (lua_compare(L, -1, 2, LUA_OPEQ)) c++;
        lua_pop(L, 1);
    }
    zibo6_vm.spend_cpu(n);
    lua_pushinteger(L, c);
    return 1;
}

int unpack(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    int i = luaL_optint(L, 2, 1);
    int e = luaL_opt(L, luaL_checkint, 3, luaL_len(L, 1));
    if (i > e) return 0;
    unsigned int n = (unsigned int)e - (unsigned int)i + 1u;
    if (n >= (unsigned int)INT_MAX || !lua_checkstack(L, (int)n))
        return luaL_error(L, "too many results to unpack");
    for (unsigned int k = 0; k < n; k++) /* counted: e may be INT_MAX */
        lua_rawgeti(L, 1, i + (int)k);
    zibo6_vm.spend_cpu((int)(2 * n));
    return (int)n;
}

/* keeps the first 32767 arguments, the most a list can index */
int pack(lua_State *L) {
    int n = lua_gettop(L);
    if (n > Z6_MAXARRAYKEY) {
        lua_settop(L, Z6_MAXARRAYKEY);
        n = Z6_MAXARRAYKEY;
    }
    lua_createtable(L, n, 1);
    lua_insert(L, 1);
    for (int i = n; i >= 1; i--) lua_rawseti(L, 1, i);
    lua_pushinteger(L, n);
    lua_setfield(L, 1, "n");
    zibo6_vm.spend_cpu(2 * n);
    return 1;
}

static void addfield(lua_State *L, luaL_Buffer *b, int i) {
    lua_rawgeti(L, 1, i);
    if (!lua_isstring(L, -1))
        luaL_error(L, "invalid value (%s) at index %d in table for 'concat'", luaL_typename(L, -1),
                   luaL_intarg(i));
    luaL_addvalue(b);
}

static int tconcat(lua_State *L) {
    luaL_Buffer b;
    size_t lsep;
    const char *sep = luaL_optlstring(L, 2, "", &lsep);
    luaL_checktype(L, 1, LUA_TTABLE);
    int first = luaL_optint(L, 3, 1);
    int last = luaL_opt(L, luaL_checkint, 4, luaL_len(L, 1));
    luaL_buffinit(L, &b);
    if (first <= last) {
        /* the last field is added apart so that i never steps past INT_MAX */
        for (int i = first; i < last; i++) {
            addfield(L, &b, i);
            luaL_addlstring(&b, sep, lsep);
        }
        addfield(L, &b, last);
    }
    luaL_pushresult(&b);
    return 1;
}

/* stores the stack top in t[i] and the value below it in t[j] */
static void set2(lua_State *L, int i, int j) {
    lua_rawseti(L, 1, i);
    lua_rawseti(L, 1, j);
}

/* a < b for the values at stack indices a and b, through the comparator
   in slot 2 when there is one */
static int sort_comp(lua_State *L, int a, int b) {
    if (!lua_isnil(L, 2)) {
        lua_pushvalue(L, 2);
        lua_pushvalue(L, a - 1);
        lua_pushvalue(L, b - 2);
        lua_call(L, 2, 1);
        int res = lua_toboolean(L, -1);
        lua_pop(L, 1);
        return res;
    }
    return lua_compare(L, a, b, LUA_OPLT);
}

/* swaps t[lo] and t[hi] when t[hi] < t[lo]; says whether it did */
static bool order_pair(lua_State *L, int lo, int hi) {
    lua_rawgeti(L, 1, lo);
    lua_rawgeti(L, 1, hi);
    if (sort_comp(L, -1, -2)) {
        set2(L, lo, hi);
        return true;
    }
    lua_pop(L, 2);
    return false;
}

/* Splits t[lo+1..up-2] around the pivot P on the stack top (t[lo] <= P and
   t[up-1] == P <= t[up] already hold) and pops P.  Returns the first
   index of the upper part.  A scan that reaches an end means the
   comparator is not a strict order. */
static int partition(lua_State *L, int lo, int up) {
    int i = lo, j = up - 1;
    for (;;) {
        for (;;) { /* up to the first t[i] not below P */
            lua_rawgeti(L, 1, ++i);
            if (!sort_comp(L, -1, -2)) break;
            if (i >= up) luaL_error(L, "invalid order function for sorting");
            lua_pop(L, 1);
        }
        for (;;) { /* down to the first t[j] not above P */
            lua_rawgeti(L, 1, --j);
            if (!sort_comp(L, -3, -1)) break;
            if (j <= lo) luaL_error(L, "invalid order function for sorting");
            lua_pop(L, 1);
        }
        if (j < i) {
            lua_pop(L, 3);
            return i;
        }
        set2(L, i, j);
    }
}

/* Quicksort of t[lo..up]: ends and middle sorted first, the middle becomes
   the pivot at up - 1; the smaller side recurses and the larger loops, so
   the depth stays logarithmic. */
static void auxsort(lua_State *L, int lo, int up) {
    while (lo < up) {
        order_pair(L, lo, up);
        if (up - lo == 1) break;
        int mid = (lo + up) / 2;
        if (!order_pair(L, lo, mid)) order_pair(L, mid, up);
        if (up - lo == 2) break;
        lua_rawgeti(L, 1, mid); /* P */
        lua_pushvalue(L, -1);
        lua_rawgeti(L, 1, up - 1);
        set2(L, mid, up - 1); /* P moves to up - 1, a copy stays on the stack */
        int p = partition(L, lo, up);
        lua_rawgeti(L, 1, up - 1);
        lua_rawgeti(L, 1, p);
        set2(L, up - 1, p); /* P to its final place */
        if (p - lo < up - p) {
            auxsort(L, lo, p - 1);
            lo = p + 1;
        } else {
            auxsort(L, p + 1, up);
            up = p - 1;
        }
    }
}

static int sort(lua_State *L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    int n = luaL_len(L, 1);
    luaL_checkstack(L, 40, "");
    if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TFUNCTION);
    lua_settop(L, 2);
    auxsort(L, 1, n);
    return 0;
}

static const luaL_Reg tab_funcs[] = {{"concat", tconcat}, {"insert", tinsert}, {"pack", pack},
                                     {"unpack", unpack},  {"remove", tremove}, {"sort", sort},
                                     {NULL, NULL}};

LUAMOD_API int luaopen_table(lua_State *L) {
    luaL_newlib(L, tab_funcs);
    return 1;
}
