/*
** Script VM: tables.
** A table keeps its entries in two parts: an array part for the whole
** number keys 1..n and a hash part of 2^k nodes whose collision chains are
** threaded through the node array (Brent's variation: a key that is not in
** its main position moves out when the owner of that position arrives).
** Only whole numbers from 1 to 32767 are array candidates, since 16.16
** numbers stop there.  The array part never shrinks.
*/
#include "vm/ltable.h"

#include <cstdio>

#include "vm/ldebug.h"
#include "vm/ldo.h"
#include "vm/lgc.h"
#include "vm/lmem.h"
#include "vm/lstate.h"
#include "vm/lstring.h"

/* max size of the hash part is 2^MAXBITS; the array counters use 31 slices */
#define MAXBITS         30

#define hashpow2(t,n)           (gnode(t, lmod((n), sizenode(t))))
#define hashstr(t,str)          hashpow2(t, (str)->tsv.hash)
#define hashboolean(t,p)        hashpow2(t, p)

/* for other types, it is better to avoid modulus by power of 2, as they
   tend to have many 2 factors */
#define hashmod(t,n)    (gnode(t, (static_cast<unsigned int>(n) % \
                          static_cast<unsigned int>((sizenode(t) - 1) | 1))))
#define hashpointer(t,p)        hashmod(t, IntPoint(p))

Node luaH_dummynode_ = {
  {NILCONSTANT},  /* value */
  {{NILCONSTANT, NULL}}  /* key */
};

/* hash of a number key: its raw bits, sign dropped */
static Node *hashnum (const Table *t, lua_Number n) {
  if (n == INT32_MIN) return gnode(t, 0);
  uint32_t v = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  return hashmod(t, v);
}

/* the node where a key belongs when nothing collides */
static Node *mainposition (const Table *t, const TValue *key) {
  switch (ttype(key)) {
    case LUA_TNUMBER:
      return hashnum(t, nvalue(key));
    case LUA_TLNGSTR: {
      TString *s = rawtsvalue(key);
      if (s->tsv.extra == 0) {  /* no hash yet? */
        s->tsv.hash = luaS_hash(getstr(s), s->tsv.len, s->tsv.hash);
        s->tsv.extra = 1;  /* now it has its hash */
      }
      return hashstr(t, rawtsvalue(key));
    }
    case LUA_TSHRSTR:
      return hashstr(t, rawtsvalue(key));
    case LUA_TBOOLEAN:
      return hashboolean(t, bvalue(key));
    case LUA_TLIGHTUSERDATA:
      return hashpointer(t, pvalue(key));
    case LUA_TLCF:
    case LUA_TFCF:
      return hashpointer(t, reinterpret_cast<size_t>(fvalue(key)));
    default:
      return hashpointer(t, gcvalue(key));
  }
}

/* raw equality of two keys (same tag, same value; long strings by content) */
static int equalkey (const TValue *a, const TValue *b) {
  if (!ttisequal(a, b)) return 0;
  switch (ttype(a)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(a) == nvalue(b);
    case LUA_TBOOLEAN: return bvalue(a) == bvalue(b);
    case LUA_TLIGHTUSERDATA: return pvalue(a) == pvalue(b);
    case LUA_TLCF:
    case LUA_TFCF: return fvalue(a) == fvalue(b);
    case LUA_TLNGSTR: return luaS_eqlngstr(rawtsvalue(a), rawtsvalue(b));
    default: return gcvalue(a) == gcvalue(b);
  }
}

/*
** The array index of a key that is a whole number from 1 to 32767, or 0
** when the key is not an array candidate.
*/
static int arrayindex (const TValue *key) {
  if (ttisnumber(key)) {
    lua_Number n = nvalue(key);
    if (n >= 0x10000 && n <= 0x7fff0000 && (n & 0xffff) == 0)
      return n >> 16;
  }
  return 0;
}

/*
** Traversal covers array slots 1..min(sizearray, 32767): slots beyond
** 32767 cannot be named by any number key, so a key handed out for them
** could not be used to resume.
*/
static inline int traversable_array (const Table *t) {
  return t->sizearray < Z6_MAXARRAYKEY ? t->sizearray : Z6_MAXARRAYKEY;
}

/*
** The position of a traversal key: array slots first (0..asize-1), then
** the nodes.  Beginning of a traversal is signaled by -1.
*/
static int findindex (lua_State *L, Table *t, StkId key, int asize) {
  if (ttisnil(key)) return -1;  /* first iteration */
  int i = arrayindex(key);
  if (0 < i && i <= asize)  /* is `key' inside array part? */
    return i - 1;
  Node *n = mainposition(t, key);
  for (;;) {  /* check whether `key' is somewhere in the chain */
    /* key may be dead already, but it is ok to use it in `next' */
    if (equalkey(gkey(n), key) ||
        (ttisdeadkey(gkey(n)) && iscollectable(key) &&
         deadvalue(gkey(n)) == gcvalue(key))) {
      i = cast_int(n - gnode(t, 0));  /* key index in hash table */
      return i + asize;
    }
    n = gnext(n);
    if (n == NULL)
      luaG_runerror(L, "invalid key to 'next'");  /* key not found */
  }
}

static int tablenext (lua_State *L, Table *t, StkId key) {
  int asize = traversable_array(t);
  int i = findindex(L, t, key, asize);  /* find original element */
  for (i++; i < asize; i++) {  /* try first array part */
    if (!ttisnil(&t->array[i])) {  /* a non-nil value? */
      setnvalue(key, lua_integer2number(i + 1));
      setobj2s(L, key + 1, &t->array[i]);
      return 1;
    }
  }
  for (i -= asize; i < sizenode(t); i++) {  /* then hash part */
    if (!ttisnil(gval(gnode(t, i)))) {  /* a non-nil value? */
      setobj2s(L, key, gkey(gnode(t, i)));
      setobj2s(L, key + 1, gval(gnode(t, i)));
      return 1;
    }
  }
  return 0;  /* no more elements */
}

int luaH_next (lua_State *L, Table *t, StkId key) {
  return tablenext(L, t, key);
}

int luaH_next_zibo6_all (lua_State *L, Table *t, StkId key) {
  return tablenext(L, t, key);
}

/*
** {=============================================================
** Rehash
** ==============================================================
*/

static int computesizes (int nums[], int *narray) {
  int i;
  int twotoi;  /* 2^i */
  int a = 0;  /* number of elements smaller than 2^i */
  int na = 0;  /* number of elements to go to array part */
  int n = 0;  /* optimal size for array part */
  for (i = 0, twotoi = 1; twotoi / 2 < *narray && i <= MAXBITS; i++, twotoi *= 2) {
    if (nums[i] > 0) {
      a += nums[i];
      if (a > twotoi / 2) {  /* more than half elements present? */
        n = twotoi;  /* optimal size (till now) */
        na = a;  /* all elements smaller than n will go to array part */
      }
    }
    if (a == *narray) break;  /* all elements already counted */
  }
  *narray = n;
  lua_assert(*narray / 2 <= na && na <= *narray);
  return na;
}

static int countint (const TValue *key, int *nums) {
  int k = arrayindex(key);
  if (k > 0) {  /* is `key' an appropriate array index? */
    nums[luaO_ceillog2(static_cast<unsigned int>(k))]++;  /* count as such */
    return 1;
  }
  return 0;
}

static int numusearray (const Table *t, int *nums) {
  int lg;
  int64_t ttlg;  /* 2^lg */
  int ause = 0;  /* summation of `nums' */
  int i = 1;  /* count to traverse all array keys */
  for (lg = 0, ttlg = 1; lg <= MAXBITS; lg++, ttlg *= 2) {  /* for each slice */
    int lc = 0;  /* counter */
    int64_t lim = ttlg;
    if (lim > t->sizearray) {
      lim = t->sizearray;  /* adjust upper limit */
      if (i > lim)
        break;  /* no more elements to count */
    }
    /* count elements in range (2^(lg-1), 2^lg] */
    for (; i <= lim; i++) {
      if (!ttisnil(&t->array[i - 1]))
        lc++;
    }
    nums[lg] += lc;
    ause += lc;
  }
  return ause;
}

static int numusehash (const Table *t, int *nums, int *pnasize) {
  int totaluse = 0;  /* total number of elements */
  int ause = 0;  /* summation of `nums' */
  int i = sizenode(t);
  while (i--) {
    Node *n = &t->node[i];
    if (!ttisnil(gval(n))) {
      ause += countint(gkey(n), nums);
      totaluse++;
    }
  }
  *pnasize += ause;
  return totaluse;
}

static void setarrayvector (lua_State *L, Table *t, int size) {
  luaM_reallocvector(L, t->array, t->sizearray, size, TValue);
  for (int i = t->sizearray; i < size; i++)
    setnilvalue(&t->array[i]);
  t->sizearray = size;
}

static void setnodevector (lua_State *L, Table *t, int size) {
  int lsize;
  if (size == 0) {  /* no elements to hash part? */
    t->node = cast(Node *, luaH_dummynode);  /* use common `dummynode' */
    lsize = 0;
  }
  else {
    lsize = luaO_ceillog2(static_cast<unsigned int>(size));
    if (size < 0 || lsize > MAXBITS)
      luaG_runerror(L, "table overflow");
    size = twoto(lsize);
    Node *nodes = luaM_newvector(L, size, Node);
    for (int i = 0; i < size; i++) {
      Node *n = &nodes[i];
      gnext(n) = NULL;
      setnilvalue(gkey(n));
      setnilvalue(gval(n));
    }
    t->node = nodes;
  }
  t->lsizenode = cast_byte(lsize);
  t->lastfree = gnode(t, size);  /* all positions are free */
}

void luaH_resize (lua_State *L, Table *t, int nasize, int nhsize) {
  int oldhsize = t->lsizenode;
  Node *nold = t->node;  /* save old hash ... */
  if (nasize > t->sizearray)  /* array part must grow? (it never shrinks) */
    setarrayvector(L, t, nasize);
  /* create new hash part with appropriate size */
  setnodevector(L, t, nhsize);
  /* re-insert elements from old hash part */
  for (int j = twoto(oldhsize) - 1; j >= 0; j--) {
    Node *old = nold + j;
    if (!ttisnil(gval(old))) {
      /* doesn't need barrier/invalidate cache, as entry was
         already present in the table */
      setobjt2t(L, luaH_set(L, t, gkey(old)), gval(old));
    }
  }
  if (!isdummy(nold))
    luaM_freearray(L, nold, cast(size_t, twoto(oldhsize)));  /* free old array */
}

void luaH_resizearray (lua_State *L, Table *t, int nasize) {
  int nsize = isdummy(t->node) ? 0 : sizenode(t);
  luaH_resize(L, t, nasize, nsize);
}

static void rehash (lua_State *L, Table *t, const TValue *ek) {
  int nasize, na;
  int nums[MAXBITS + 1];  /* nums[i] = number of keys in slice i */
  int totaluse;
  for (int i = 0; i <= MAXBITS; i++) nums[i] = 0;  /* reset counts */
  nasize = numusearray(t, nums);  /* count keys in array part */
  totaluse = nasize;  /* all those keys are integer keys */
  totaluse += numusehash(t, nums, &nasize);  /* count keys in hash part */
  /* count extra key */
  nasize += countint(ek, nums);
  totaluse++;
  /* compute new size for array part */
  na = computesizes(nums, &nasize);
  /* resize the table to new computed sizes */
  luaH_resize(L, t, nasize, totaluse - na);
}

/*
** }=============================================================
*/

Table *luaH_new (lua_State *L) {
  Table *t = &luaC_newobj(L, LUA_TTABLE, sizeof(Table), NULL, 0)->h;
  t->metatable = NULL;
  t->flags = cast_byte(~0);
  t->array = NULL;
  t->sizearray = 0;
  setnodevector(L, t, 0);
  return t;
}

void luaH_free (lua_State *L, Table *t) {
  if (!isdummy(t->node))
    luaM_freearray(L, t->node, cast(size_t, sizenode(t)));
  luaM_freearray(L, t->array, t->sizearray);
  luaM_free(L, t);
}

static Node *getfreepos (Table *t) {
  while (t->lastfree > t->node) {
    t->lastfree--;
    if (ttisnil(gkey(t->lastfree)))
      return t->lastfree;
  }
  return NULL;  /* could not find a free place */
}

/*
** inserts a new key into a hash table; first, check whether key's main
** position is free.  If not, check whether colliding node is in its main
** position or not: if it is not, move colliding node to an empty place and
** put new key in its main position; otherwise (colliding node is in its main
** position), new key goes to an empty position.
*/
TValue *luaH_newkey (lua_State *L, Table *t, const TValue *key) {
  Node *mp;
  if (ttisnil(key)) luaG_runerror(L, "table index is nil");
  mp = mainposition(t, key);
  if (!ttisnil(gval(mp)) || isdummy(mp)) {  /* main position is taken? */
    Node *othern;
    Node *n = getfreepos(t);  /* get a free place */
    if (n == NULL) {  /* cannot find a free place? */
      rehash(L, t, key);  /* grow table */
      /* whatever called 'newkey' takes care of TM cache and GC barrier */
      return luaH_set(L, t, key);  /* insert key into grown table */
    }
    lua_assert(!isdummy(n));
    othern = mainposition(t, gkey(mp));
    if (othern != mp) {  /* is colliding node out of its main position? */
      /* yes; move colliding node into free position */
      while (gnext(othern) != mp) othern = gnext(othern);  /* find previous */
      gnext(othern) = n;  /* redo the chain with `n' in place of `mp' */
      *n = *mp;  /* copy colliding node into free pos. (mp->next also goes) */
      gnext(mp) = NULL;  /* now `mp' is free */
      setnilvalue(gval(mp));
    }
    else {  /* colliding node is in its own main position */
      /* new node will go into free position */
      gnext(n) = gnext(mp);  /* chain new position */
      gnext(mp) = n;
      mp = n;
    }
  }
  setobj2t(L, gkey(mp), key);
  luaC_barrierback(L, obj2gco(t), key);
  lua_assert(ttisnil(gval(mp)));
  return gval(mp);
}

/*
** search function for C-int keys: array slot n for 1 <= n <= sizearray,
** otherwise the number n << 16 (only the low 16 bits of n count there)
*/
const TValue *luaH_getint (Table *t, int key) {
  if (static_cast<unsigned int>(key) - 1u < static_cast<unsigned int>(t->sizearray))
    return &t->array[key - 1];
  lua_Number nk = lua_integer2number(key);
  Node *n = hashnum(t, nk);
  do {  /* check whether `key' is somewhere in the chain */
    if (ttisnumber(gkey(n)) && nvalue(gkey(n)) == nk)
      return gval(n);  /* that's it */
    n = gnext(n);
  } while (n);
  return luaO_nilobject;
}

/* search function for short strings (by identity) */
const TValue *luaH_getstr (Table *t, TString *key) {
  Node *n = hashstr(t, key);
  lua_assert(key->tsv.tt == LUA_TSHRSTR);
  do {  /* check whether `key' is somewhere in the chain */
    if (ttisshrstring(gkey(n)) && eqshrstr(rawtsvalue(gkey(n)), key))
      return gval(n);  /* that's it */
    n = gnext(n);
  } while (n);
  return luaO_nilobject;
}

/* main search function */
const TValue *luaH_get (Table *t, const TValue *key) {
  switch (ttype(key)) {
    case LUA_TSHRSTR: return luaH_getstr(t, rawtsvalue(key));
    case LUA_TNIL: return luaO_nilobject;
    case LUA_TNUMBER: {
      int k = arrayindex(key);
      if (k > 0)  /* array candidate: same number whether slot or node */
        return luaH_getint(t, k);
      break;
    }
    default: break;
  }
  Node *n = mainposition(t, key);
  do {  /* check whether `key' is somewhere in the chain */
    if (equalkey(gkey(n), key))
      return gval(n);  /* that's it */
    n = gnext(n);
  } while (n);
  return luaO_nilobject;
}

/*
** beware: when using this function you probably need to check a GC
** barrier and invalidate the TM cache.
*/
TValue *luaH_set (lua_State *L, Table *t, const TValue *key) {
  const TValue *p = luaH_get(t, key);
  if (p != luaO_nilobject)
    return cast(TValue *, p);
  return luaH_newkey(L, t, key);
}

void luaH_setint (lua_State *L, Table *t, int key, TValue *value) {
  const TValue *p = luaH_getint(t, key);
  TValue *cell;
  if (p != luaO_nilobject)
    cell = cast(TValue *, p);
  else {
    TValue k;
    setnvalue(&k, lua_integer2number(key));
    cell = luaH_newkey(L, t, &k);
  }
  setobj2t(L, cell, value);
}

/*
** Border search past the array part.  Keys past the array part alias
** modulo 65536 (n << 16 keeps 16 bits), so presence there repeats with that
** period: a scan that finds no nil within one period never would.
*/
static int unbound_search (Table *t, unsigned int j) {
  unsigned int i = j;  /* i is zero or a present index */
  j++;
  /* find `i' and `j' such that i is present and j is not */
  while (!ttisnil(luaH_getint(t, cast_int(j)))) {
    i = j;
    if (j > cast(unsigned int, MAX_INT) / 2) {  /* overflow? */
      /* table was built with bad purposes: resort to linear search */
      const unsigned int limit = static_cast<unsigned int>(t->sizearray) + 65536u;
      i = 1;
      while (i <= limit && !ttisnil(luaH_getint(t, cast_int(i)))) i++;
      return cast_int(i - 1);
    }
    j *= 2;
  }
  /* now do a binary search between them */
  while (j - i > 1) {
    unsigned int m = (i + j) / 2;
    if (ttisnil(luaH_getint(t, cast_int(m)))) j = m;
    else i = m;
  }
  return cast_int(i);
}

/*
** Try to find a boundary in table `t'. A `boundary' is an integer index
** such that t[i] is non-nil and t[i+1] is nil (and 0 if t[1] is nil).
*/
int luaH_getn (Table *t) {
  unsigned int j = static_cast<unsigned int>(t->sizearray);
  if (j > 0 && ttisnil(&t->array[j - 1])) {
    /* there is a boundary in the array part: (binary) search for it */
    unsigned int i = 0;
    while (j - i > 1) {
      unsigned int m = (i + j) / 2;
      if (ttisnil(&t->array[m - 1])) j = m;
      else i = m;
    }
    return cast_int(i);
  }
  /* else must find a boundary in hash part */
  else if (isdummy(t->node))  /* hash part is empty? */
    return cast_int(j);  /* that is easy... */
  else return unbound_search(t, j);
}

void print_table_state (Table *t) {
  for (int n = 0; n < t->sizearray; n++)
    std::printf("  table el %d: %s\n", n, ttisnil(luaH_getint(t, n)) ? "-" : "!nill");
}
