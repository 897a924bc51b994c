/*
** Script VM: tables.
** A table keeps its entries in two parts: an array part for the whole
** number keys 1..n and a hash part of 2^k nodes whose collision chains are
** threaded through the node array (Brent's variation: a key that is not in
** its main position moves out when the owner of that position arrives).
** Only whole numbers from 1 to 32767 are array candidates, since 16.16
** numbers stop there; the array part never grows past that, and never
** shrinks.  A C int key means the number a script would see for it
** (n << 16, low 16 bits kept), so C callers and scripts share one key.
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
#define MAXBITS 30

#define hashpow2(t, n)    (gnode(t, lmod((n), sizenode(t))))
#define hashstr(t, str)   hashpow2(t, (str)->tsv.hash)
#define hashboolean(t, p) hashpow2(t, p)

/*
** Pointers and numbers often share low bits: they are reduced by the odd
** modulus d = (2^k - 1) | 1 of a node array of 2^k nodes. The remainder is
** taken without a division: with M = ceil(2^64 / d) (M = 0, i.e. 2^64 mod
** 2^64, for d = 1), n mod d = ((M * n mod 2^64) * d) >> 64 for every 32-bit n.
** Proof: write M d = 2^64 + e with 0 <= e < d and n = q d + r. Then
** M n = q 2^64 + q e + r M, and q e + r M < 2^64 (r M <= 2^64 + e - M while
** q e + e < 2^32 + d <= M, as d < 2^30), so the low 64 bits are L = q e + r M, and
** L d = r 2^64 + e n with e n < 2^32 d < 2^64: the high half is r.
*/
#if defined(__SIZEOF_INT128__)
struct ModulusReciprocals {
    uint64_t m[MAXBITS + 1];
    constexpr ModulusReciprocals() : m() {
        for (int k = 0; k <= MAXBITS; k++) {
            uint64_t d = ((1ull << k) - 1) | 1;
            m[k] = UINT64_MAX / d + 1; /* wraps to 0 for d = 1 */
        }
    }
};
static constexpr ModulusReciprocals modulus_reciprocals;

static inline int hash_remainder(const Table *t, unsigned int n) {
    uint64_t d = static_cast<uint64_t>((sizenode(t) - 1) | 1);
    uint64_t low = modulus_reciprocals.m[t->lsizenode] * n;
    return static_cast<int>((static_cast<unsigned __int128>(low) * d) >> 64);
}
#else
static inline int hash_remainder(const Table *t, unsigned int n) {
    return static_cast<int>(n % static_cast<unsigned int>((sizenode(t) - 1) | 1));
}
#endif
#define hashmod(t, n)     (gnode(t, hash_remainder(t, static_cast<unsigned int>(n))))
#define hashpointer(t, p) hashmod(t, IntPoint(p))

Node luaH_dummynode_ = {{NILCONSTANT}, {{NILCONSTANT, NULL}}};

/* hash of a number key: its raw bits, sign dropped */
static Node *hashnum(const Table *t, lua_Number n) {
    if (n == INT32_MIN) return gnode(t, 0);
    uint32_t v = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    return hashmod(t, v);
}

/* the node where a key belongs when nothing collides */
static Node *mainposition(const Table *t, const TValue *key) {
    switch (ttype(key)) {
    case LUA_TNUMBER: return hashnum(t, nvalue(key));
    case LUA_TLNGSTR: {
        TString *s = rawtsvalue(key);
        if (s->tsv.extra == 0) {
            s->tsv.hash = luaS_hash(getstr(s), s->tsv.len, s->tsv.hash);
            s->tsv.extra = 1;
        }
        return hashstr(t, rawtsvalue(key));
    }
    case LUA_TSHRSTR: return hashstr(t, rawtsvalue(key));
    case LUA_TBOOLEAN: return hashboolean(t, bvalue(key));
    case LUA_TLIGHTUSERDATA: return hashpointer(t, pvalue(key));
    case LUA_TLCF:
    case LUA_TFCF: return hashpointer(t, reinterpret_cast<size_t>(fvalue(key)));
    default: return hashpointer(t, gcvalue(key));
    }
}

/* raw equality of two keys (same tag, same value; long strings by content) */
static int equalkey(const TValue *a, const TValue *b) {
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
static int arrayindex(const TValue *key) {
    if (ttisnumber(key)) {
        lua_Number n = nvalue(key);
        if (n >= 0x10000 && n <= 0x7fff0000 && (n & 0xffff) == 0) return n >> 16;
    }
    return 0;
}

/*
** The position of a traversal key: array slots first (0..asize-1), then
** the nodes.  Beginning of a traversal is signaled by -1.
*/
static int findindex(lua_State *L, Table *t, StkId key, int asize) {
    if (ttisnil(key)) return -1;
    int i = arrayindex(key);
    if (0 < i && i <= asize) return i - 1;
    Node *n = mainposition(t, key);
    for (;;) {
        /* a dead key still marks its node's place in the traversal */
        if (equalkey(gkey(n), key) ||
            (ttisdeadkey(gkey(n)) && iscollectable(key) && deadvalue(gkey(n)) == gcvalue(key))) {
            i = cast_int(n - gnode(t, 0));
            return i + asize;
        }
        n = gnext(n);
        if (n == NULL) luaG_runerror(L, "invalid key to 'next'");
    }
}

static int tablenext(lua_State *L, Table *t, StkId key) {
    int asize = t->sizearray;
    int i = findindex(L, t, key, asize);
    for (i++; i < asize; i++) {
        if (!ttisnil(&t->array[i])) {
            setnvalue(key, lua_integer2number(i + 1));
            setobj2s(L, key + 1, &t->array[i]);
            return 1;
        }
    }
    for (i -= asize; i < sizenode(t); i++) {
        if (!ttisnil(gval(gnode(t, i)))) {
            setobj2s(L, key, gkey(gnode(t, i)));
            setobj2s(L, key + 1, gval(gnode(t, i)));
            return 1;
        }
    }
    return 0;
}

int luaH_next(lua_State *L, Table *t, StkId key) { return tablenext(L, t, key); }

int luaH_next_zibo6_all(lua_State *L, Table *t, StkId key) { return tablenext(L, t, key); }

/*
** Rehash: count the array-candidate keys by power-of-two slices and give
** the array part the largest size n that is more than half full.
*/

static int computesizes(int nums[], int *narray) {
    int i;
    int64_t twotoi; /* 2^i; 64 bits so that the last doubling cannot overflow */
    int a = 0;
    int na = 0;
    int n = 0;
    for (i = 0, twotoi = 1; twotoi / 2 < *narray && i <= MAXBITS; i++, twotoi *= 2) {
        if (nums[i] > 0) {
            a += nums[i];
            if (a > twotoi / 2) {
                n = static_cast<int>(twotoi);
                na = a;
            }
        }
        if (a == *narray) break;
    }
    *narray = n;
    lua_assert(*narray / 2 <= na && na <= *narray);
    return na;
}

static int countint(const TValue *key, int *nums) {
    int k = arrayindex(key);
    if (k > 0) {
        nums[luaO_ceillog2(static_cast<unsigned int>(k))]++;
        return 1;
    }
    return 0;
}

static int numusearray(const Table *t, int *nums) {
    int lg;
    int64_t ttlg;
    int ause = 0;
    int i = 1;
    for (lg = 0, ttlg = 1; lg <= MAXBITS; lg++, ttlg *= 2) {
        int lc = 0;
        int64_t lim = ttlg;
        if (lim > t->sizearray) {
            lim = t->sizearray;
            if (i > lim) break;
        }
        /* slice lg holds indices 2^(lg-1)+1 .. 2^lg */
        for (; i <= lim; i++) {
            if (!ttisnil(&t->array[i - 1])) lc++;
        }
        nums[lg] += lc;
        ause += lc;
    }
    return ause;
}

static int numusehash(const Table *t, int *nums, int *pnasize) {
    int totaluse = 0;
    int ause = 0;
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

static void setarrayvector(lua_State *L, Table *t, int size) {
    luaM_reallocvector(L, t->array, t->sizearray, size, TValue);
    for (int i = t->sizearray; i < size; i++) setnilvalue(&t->array[i]);
    t->sizearray = size;
}

static void setnodevector(lua_State *L, Table *t, int size) {
    int lsize;
    if (size == 0) {
        t->node = cast(Node *, luaH_dummynode);
        lsize = 0;
    } else {
        lsize = luaO_ceillog2(static_cast<unsigned int>(size));
        if (size < 0 || lsize > MAXBITS) luaG_runerror(L, "table overflow");
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
    t->nodemask = static_cast<unsigned int>(twoto(lsize) - 1);
    t->lastfree = gnode(t, size);
}

void luaH_resize(lua_State *L, Table *t, int nasize, int nhsize) {
    /* no number key names a slot past the last array candidate */
    if (nasize > Z6_MAXARRAYKEY) nasize = Z6_MAXARRAYKEY;
    if (nhsize == 0 && isdummy(t->node)) { /* no hash part before or after */
        if (nasize > t->sizearray) setarrayvector(L, t, nasize);
        return;
    }
    int oldhsize = t->lsizenode;
    Node *nold = t->node;
    if (nasize > t->sizearray) setarrayvector(L, t, nasize);
    setnodevector(L, t, nhsize);
    /* move the old nodes' entries over; no barrier needed, they were here */
    for (int j = twoto(oldhsize) - 1; j >= 0; j--) {
        Node *old = nold + j;
        if (!ttisnil(gval(old))) { setobjt2t(L, luaH_set(L, t, gkey(old)), gval(old)); }
    }
    if (!isdummy(nold)) luaM_freearray(L, nold, cast(size_t, twoto(oldhsize)));
}

void luaH_resizearray(lua_State *L, Table *t, int nasize) {
    int nsize = isdummy(t->node) ? 0 : sizenode(t);
    luaH_resize(L, t, nasize, nsize);
}

static void rehash(lua_State *L, Table *t, const TValue *ek) {
    int nasize, na;
    int nums[MAXBITS + 1];
    int totaluse;
    for (int i = 0; i <= MAXBITS; i++) nums[i] = 0;
    nasize = numusearray(t, nums);
    totaluse = nasize;
    totaluse += numusehash(t, nums, &nasize);
    /* the key being inserted counts too */
    nasize += countint(ek, nums);
    totaluse++;
    na = computesizes(nums, &nasize);
    luaH_resize(L, t, nasize, totaluse - na);
}

/* a table is charged half its header's size: the mask sits in padding, so the
   header, and what a cart is charged for it, keep their size */
static_assert(sizeof(void *) != 8 || sizeof(Table) == 64, "table header size");

Table *luaH_new(lua_State *L) {
    Table *t = &luaC_newobj(L, LUA_TTABLE, sizeof(Table), NULL, 0)->h;
    t->metatable = NULL;
    t->flags = cast_byte(~0);
    t->array = NULL;
    t->sizearray = 0;
    setnodevector(L, t, 0);
    return t;
}

void luaH_free(lua_State *L, Table *t) {
    if (!isdummy(t->node)) luaM_freearray(L, t->node, cast(size_t, sizenode(t)));
    if (t->array != NULL) luaM_freearray(L, t->array, t->sizearray);
    luaM_free(L, t);
}

/* free nodes are handed out from the top down; 'lastfree' never moves back
   up, so once it reaches the bottom the next insertion rehashes */
static Node *getfreepos(Table *t) {
    while (t->lastfree > t->node) {
        t->lastfree--;
        if (ttisnil(gkey(t->lastfree))) return t->lastfree;
    }
    return NULL;
}

/*
** Inserts a key known to be absent and returns its value slot.  A taken
** main position is resolved by Brent's rule: an occupant that does not
** belong there moves to a free node; otherwise the new key takes the free
** node, chained after its main position.  No free node: rehash and retry.
*/
TValue *luaH_newkey(lua_State *L, Table *t, const TValue *key) {
    Node *mp;
    if (ttisnil(key)) luaG_runerror(L, "table index is nil");
    mp = mainposition(t, key);
    if (!ttisnil(gval(mp)) || isdummy(mp)) {
        Node *othern;
        Node *n = getfreepos(t);
        if (n == NULL) {
            rehash(L, t, key);
            return luaH_set(L, t, key);
        }
        lua_assert(!isdummy(n));
        othern = mainposition(t, gkey(mp));
        if (othern != mp) {
            while (gnext(othern) != mp) othern = gnext(othern);
            gnext(othern) = n;
            *n = *mp;
            gnext(mp) = NULL;
            setnilvalue(gval(mp));
        } else {
            gnext(n) = gnext(mp);
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
** lookup by C int: the key is the number n << 16, of which only the low
** 16 bits of n survive, so 65537 is the key 1 and 32768 the key -32768.
** An int that wraps onto an array candidate finds that candidate's slot:
** looking it up in the hash instead would miss it and let setint store a
** second copy of the key.
*/
const TValue *luaH_getint(Table *t, int key) {
    /* sizearray <= 32767, so an index in range is its own number key */
    if (static_cast<unsigned int>(key) - 1u < static_cast<unsigned int>(t->sizearray))
        return &t->array[key - 1];
    lua_Number nk = lua_integer2number(key);
    int wrapped = nk >> 16;
    if (wrapped > 0 && wrapped <= t->sizearray) return &t->array[wrapped - 1];
    Node *n = hashnum(t, nk);
    do {
        if (ttisnumber(gkey(n)) && nvalue(gkey(n)) == nk) return gval(n);
        n = gnext(n);
    } while (n);
    return luaO_nilobject;
}

/* lookup by any key */
const TValue *luaH_get(Table *t, const TValue *key) {
    switch (ttype(key)) {
    case LUA_TSHRSTR: return luaH_getstr(t, rawtsvalue(key));
    case LUA_TNIL: return luaO_nilobject;
    case LUA_TNUMBER: {
        int k = arrayindex(key);
        if (k > 0) return luaH_getint(t, k);
        break;
    }
    default: break;
    }
    Node *n = mainposition(t, key);
    do {
        if (equalkey(gkey(n), key)) return gval(n);
        n = gnext(n);
    } while (n);
    return luaO_nilobject;
}

/* the value slot of a key, created when absent; the caller handles the
   metamethod cache and the collector barrier */
TValue *luaH_set(lua_State *L, Table *t, const TValue *key) {
    const TValue *p = luaH_get(t, key);
    if (p != luaO_nilobject) return cast(TValue *, p);
    return luaH_newkey(L, t, key);
}

void luaH_setint(lua_State *L, Table *t, int key, TValue *value) {
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
** Border search past the array part.  No list reaches past 32767: the key
** after it is -32768, not 32768, so probes stop there.
*/
static int unbound_search(Table *t, unsigned int j) {
    unsigned int i = j;
    j++;
    /* double j until t[j] is nil or past the last whole key; t[i] stays present */
    while (j <= Z6_MAXARRAYKEY && !ttisnil(luaH_getint(t, cast_int(j)))) {
        i = j;
        j *= 2;
    }
    if (j > Z6_MAXARRAYKEY + 1u) j = Z6_MAXARRAYKEY + 1u;
    while (j - i > 1) {
        unsigned int m = (i + j) / 2;
        if (ttisnil(luaH_getint(t, cast_int(m))))
            j = m;
        else
            i = m;
    }
    return cast_int(i);
}

/* the length operator: some n with t[n] present and t[n+1] nil (0 when
   t[1] is nil) */
int luaH_getn(Table *t) {
    unsigned int j = static_cast<unsigned int>(t->sizearray);
    if (j > 0 && ttisnil(&t->array[j - 1])) {
        /* the array ends in nil: binary search within it */
        unsigned int i = 0;
        while (j - i > 1) {
            unsigned int m = (i + j) / 2;
            if (ttisnil(&t->array[m - 1]))
                j = m;
            else
                i = m;
        }
        return cast_int(i);
    } else if (isdummy(t->node))
        return cast_int(j);
    else
        return unbound_search(t, j);
}

void print_table_state(Table *t) {
    for (int n = 0; n < t->sizearray; n++)
        std::printf("  table el %d: %s\n", n, ttisnil(luaH_getint(t, n)) ? "-" : "!nill");
}
