// Tables: array and hash placement of 16.16 keys, C int keys as the numbers
// they wrap to, the array part that never shrinks, the length border,
// traversal and rehash.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/vm/heap_test_util.h"
#include "vm/ldo.h"
#include "vm/lgc.h"
#include "vm/ltable.h"

namespace {

constexpr lua_Number fx(int whole) {
    return static_cast<lua_Number>(static_cast<uint32_t>(whole) << 16);
}

Table *top_table(lua_State *L) { return hvalue(L->top - 1); }

// t[key] = value for the table on top, keys and values as raw numbers
void set_num(lua_State *L, lua_Number key, lua_Number value) {
    lua_pushnumber(L, key);
    lua_pushnumber(L, value);
    lua_rawset(L, -3);
}

bool has_num(lua_State *L, lua_Number key) {
    lua_pushnumber(L, key);
    lua_rawget(L, -2);
    bool present = !lua_isnil(L, -1);
    lua_pop(L, 1);
    return present;
}

// number of keys lua_next visits in the table on top; a table holding a key
// twice sends the traversal round forever, so the count stops at 200000
int count_next(lua_State *L) {
    int n = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        lua_pop(L, 1);
        if (++n == 200000) {
            lua_pop(L, 1);
            break;
        }
    }
    return n;
}

// is the key stored in the hash part?
bool in_hash(Table *t, lua_Number key) {
    for (int i = 0; i < sizenode(t); i++) {
        Node *n = gnode(t, i);
        if (!ttisnil(gval(n)) && ttisnumber(gkey(n)) && nvalue(gkey(n)) == key) return true;
    }
    return false;
}

} // namespace

TEST(Table, OnlyWholeKeysFrom1To32767UseTheArray) {
    z6heap::State L;
    lua_createtable(L, 4, 0);
    set_num(L, fx(1), 1);
    set_num(L, fx(4), 1);
    set_num(L, 0x18000, 1); // 1.5
    set_num(L, 0, 1);       // 0
    set_num(L, fx(-1), 1);  // -1
    Table *t = top_table(L);
    EXPECT_EQ(t->sizearray, 4);
    EXPECT_FALSE(in_hash(t, fx(1)));
    EXPECT_FALSE(in_hash(t, fx(4)));
    EXPECT_TRUE(in_hash(t, 0x18000));
    EXPECT_TRUE(in_hash(t, 0));
    EXPECT_TRUE(in_hash(t, fx(-1)));
    lua_pop(L, 1);

    lua_createtable(L, 32767, 0);
    set_num(L, fx(32767), 5);
    EXPECT_FALSE(in_hash(top_table(L), fx(32767)));
    EXPECT_EQ(nvalue(&top_table(L)->array[32766]), 5);
    set_num(L, fx(32767) + 1, 6); // 32767.00002 is a hash key
    EXPECT_TRUE(in_hash(top_table(L), fx(32767) + 1));
    lua_pop(L, 1);
}

TEST(Table, ArrayGrowsByRehashAndNeverShrinks) {
    z6heap::State L;
    lua_newtable(L);
    for (int i = 1; i <= 8; i++) set_num(L, fx(i), fx(i));
    Table *t = top_table(L);
    EXPECT_EQ(t->sizearray, 8);
    EXPECT_TRUE(isdummy(t->node));
    for (int i = 1; i <= 8; i++) {
        lua_pushnil(L);
        lua_rawseti(L, -2, i);
    }
    // enough string keys to rehash several times
    for (int i = 0; i < 40; i++) {
        lua_pushinteger(L, i);
        lua_setfield(L, -2, ("k" + std::to_string(i)).c_str());
    }
    EXPECT_GE(sizenode(t), 32);
    EXPECT_EQ(t->sizearray, 8);
    for (int i = 0; i < 40; i++) {
        lua_getfield(L, -1, ("k" + std::to_string(i)).c_str());
        EXPECT_EQ(lua_tointeger(L, -1), i);
        lua_pop(L, 1);
    }
}

TEST(Table, LengthIsABorder) {
    z6heap::State L;
    lua_newtable(L);
    for (int i = 1; i <= 4; i++) set_num(L, fx(i), 1);
    EXPECT_EQ(lua_rawlen(L, -1), 4u);
    lua_pushnil(L);
    lua_rawseti(L, -2, 4);
    EXPECT_EQ(lua_rawlen(L, -1), 3u);
    lua_pop(L, 1);

    // border found in the hash part
    lua_createtable(L, 0, 16);
    for (int i = 1; i <= 10; i++) {
        lua_pushboolean(L, 1);
        lua_rawseti(L, -2, i);
    }
    EXPECT_EQ(lua_rawlen(L, -1), 10u);
    lua_pop(L, 1);

    // with every number key present in the hash, the border is the last
    // whole number: the key after 32767 is -32768
    lua_createtable(L, 0, 65536);
    for (int k = -32768; k <= 32767; k++) set_num(L, fx(k), 1);
    EXPECT_EQ(top_table(L)->sizearray, 0);
    EXPECT_EQ(lua_rawlen(L, -1), 32767u);
    lua_pop(L, 1);
    lua_createtable(L, 32767, 0); // the same from a full array part
    for (int k = -32768; k <= 32767; k++) set_num(L, fx(k), 1);
    EXPECT_EQ(lua_rawlen(L, -1), 32767u);
}

// A C int n is the key a script sees for it, n << 16 with the low 16 bits of
// n kept, whether the table holds that key in its array part or its hash.
TEST(Table, IntegerKeysFromCAreTheNumbersScriptsSee) {
    z6heap::State L;
    struct Probe {
        int n;
        int key;
    };
    const Probe probes[] = {{32767, 32767}, {32768, -32768}, {65535, -1},     {65536, 0},
                            {65537, 1},     {98303, 32767},  {-1, -1},        {0, 0},
                            {-65535, 1},    {1, 1},          {-32768, -32768}};
    for (int asize : {0, 2, 32767}) {
        lua_createtable(L, asize, 8); // room for every key: no rehash moves one
        for (const Probe &p : probes) {
            lua_pushinteger(L, p.key);
            lua_rawseti(L, -2, p.n);
            lua_pushnumber(L, fx(p.key));
            lua_rawget(L, -2);
            EXPECT_EQ(lua_tointeger(L, -1), p.key) << p.n << " array " << asize;
            lua_pop(L, 1);
            lua_rawgeti(L, -1, p.n);
            EXPECT_EQ(lua_tointeger(L, -1), p.key) << p.n << " array " << asize;
            lua_pop(L, 1);
        }
        // one entry a key: 32767, -32768, -1, 0, 1
        EXPECT_EQ(count_next(L), 5) << "array " << asize;
        EXPECT_EQ(in_hash(top_table(L), fx(1)), asize == 0);
        lua_pop(L, 1);
    }

    // an int past the array part that wraps onto an array slot is that slot
    lua_createtable(L, 2, 4);
    lua_pushinteger(L, 7);
    lua_rawseti(L, -2, 65537);
    EXPECT_FALSE(in_hash(top_table(L), fx(1)));
    lua_rawgeti(L, -1, 1);
    EXPECT_EQ(lua_tointeger(L, -1), 7);
    lua_pop(L, 2);

    // no array part: 65537 looks up the hash key 1.0
    lua_createtable(L, 0, 4);
    set_num(L, fx(1), fx(9));
    lua_rawgeti(L, -1, 65537);
    EXPECT_EQ(lua_tointeger(L, -1), 9);
    lua_pop(L, 2);
}

// Storing 1..n from C once left a second copy of every key past 65536 in
// the hash, each insertion costing a rehash.
TEST(Table, IntegerKeysPastTheNumberRangeMakeNoDuplicates) {
    z6heap::State L;
    lua_newtable(L);
    const int n = 65536 + 2000;
    for (int i = 1; i <= n; i++) {
        lua_pushinteger(L, i);
        lua_rawseti(L, -2, i);
    }
    EXPECT_EQ(count_next(L), 65536);
    EXPECT_EQ(top_table(L)->sizearray, 32767);
    EXPECT_EQ(lua_rawlen(L, -1), 32767u);
    lua_rawgeti(L, -1, 1); // the last store to key 1 was i = 65537
    EXPECT_EQ(lua_tointeger(L, -1), 1);
    lua_pop(L, 1);
    EXPECT_TRUE(has_num(L, fx(-32768)));
    EXPECT_TRUE(has_num(L, 0));
}

TEST(Table, NextVisitsEveryKeyAndSurvivesRemoval) {
    z6heap::State L;
    lua_newtable(L);
    for (int i = 1; i <= 20; i++) set_num(L, fx(i), fx(i));
    for (int i = 0; i < 20; i++) {
        lua_pushboolean(L, 1);
        lua_setfield(L, -2, ("s" + std::to_string(i)).c_str());
    }
    set_num(L, 0x8000, 1);
    lua_pushboolean(L, 0);
    lua_pushboolean(L, 1);
    lua_rawset(L, -3); // t[false] = true
    EXPECT_EQ(count_next(L), 42);

    // clearing the current key while traversing continues with the rest
    int seen = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        seen++;
        lua_pop(L, 1);
        lua_pushvalue(L, -1);
        lua_pushnil(L);
        lua_rawset(L, -4);
    }
    EXPECT_EQ(seen, 42);
    EXPECT_EQ(count_next(L), 0);
}

namespace {
int next_with_stranger(lua_State *L) {
    lua_newtable(L);
    lua_pushinteger(L, 1);
    lua_setfield(L, -2, "a");
    lua_pushstring(L, "not a key");
    lua_next(L, -2);
    return 0;
}
} // namespace

TEST(Table, NextRefusesAKeyTheTableDoesNotHold) {
    z6heap::State L;
    ASSERT_EQ(z6heap::protect(L, next_with_stranger), LUA_ERRRUN);
    EXPECT_EQ(z6heap::text(L, -1), "invalid key to 'next'");
}

TEST(Table, ArrayPartStopsAtTheLastWholeNumber) {
    z6heap::State L;
    lua_createtable(L, 40000, 0);
    EXPECT_EQ(top_table(L)->sizearray, 32767);
    for (int i = 1; i <= 40000; i++) {
        lua_pushboolean(L, 1);
        lua_rawseti(L, -2, i);
    }
    lua_pushboolean(L, 1);
    lua_setfield(L, -2, "x");
    // 32768..40000 are the keys -32768..-25537: traversal lists each key once
    std::set<lua_Number> keys;
    lua_pushnil(L);
    int n = 0;
    while (lua_next(L, -2)) {
        if (lua_type(L, -2) == LUA_TNUMBER) keys.insert(lua_tonumber(L, -2));
        n++;
        lua_pop(L, 1);
        ASSERT_LE(n, 40001);
    }
    EXPECT_EQ(n, 40001);
    EXPECT_EQ(keys.size(), 40000u);
    EXPECT_EQ(*keys.begin(), fx(-32768));
    EXPECT_EQ(*keys.rbegin(), fx(32767));
    EXPECT_EQ(lua_rawlen(L, -1), 32767u);

    // a rehash that would choose 32768 slots stops at 32767
    lua_newtable(L);
    for (int i = 1; i <= 20000; i++) set_num(L, fx(i), 1);
    EXPECT_EQ(top_table(L)->sizearray, 32767);
    lua_pushboolean(L, 1);
    lua_rawseti(L, -2, 32768);
    EXPECT_TRUE(in_hash(top_table(L), fx(-32768)));
    EXPECT_EQ(count_next(L), 20001);
}

TEST(Table, RehashKeepsEveryKindOfKey) {
    z6heap::State L;
    lua_newtable(L);
    int x = 0;
    const int N = 500;
    for (int i = 0; i < N; i++) {
        set_num(L, fx(i * 3) + 0x4000, fx(i)); // fractional keys
        lua_pushlightuserdata(L, &x + i);
        lua_pushinteger(L, i);
        lua_rawset(L, -3);
        std::string longkey(50, 'k');
        longkey += std::to_string(i); // long strings: hashed on first use
        lua_pushinteger(L, i);
        lua_setfield(L, -2, longkey.c_str());
        lua_pushinteger(L, i); // short strings: found through the node mask
        lua_setfield(L, -2, ("s" + std::to_string(i)).c_str());
    }
    // remove every other fractional key and short string, then force
    // rehashes with new keys
    for (int i = 0; i < N; i += 2) {
        lua_pushnumber(L, fx(i * 3) + 0x4000);
        lua_pushnil(L);
        lua_rawset(L, -3);
        lua_pushnil(L);
        lua_setfield(L, -2, ("s" + std::to_string(i)).c_str());
    }
    for (int i = 0; i < N; i++) set_num(L, fx(-1 - i), fx(i));
    for (int i = 0; i < N; i++) {
        lua_pushnumber(L, fx(i * 3) + 0x4000);
        lua_rawget(L, -2);
        if (i % 2)
            EXPECT_EQ(lua_tonumber(L, -1), fx(i));
        else
            EXPECT_TRUE(lua_isnil(L, -1));
        lua_pop(L, 1);
        EXPECT_TRUE(has_num(L, fx(-1 - i)));
        lua_pushlightuserdata(L, &x + i);
        lua_rawget(L, -2);
        EXPECT_EQ(lua_tointeger(L, -1), i);
        lua_pop(L, 1);
        std::string longkey(50, 'k');
        longkey += std::to_string(i);
        lua_getfield(L, -1, longkey.c_str());
        EXPECT_EQ(lua_tointeger(L, -1), i);
        lua_pop(L, 1);
        lua_getfield(L, -1, ("s" + std::to_string(i)).c_str());
        if (i % 2)
            EXPECT_EQ(lua_tointeger(L, -1), i);
        else
            EXPECT_TRUE(lua_isnil(L, -1));
        lua_pop(L, 1);
    }
    EXPECT_EQ(count_next(L), 5 * N - N);
    EXPECT_FALSE(has_num(L, 0x4000));
    EXPECT_TRUE(has_num(L, fx(3) + 0x4000));
    EXPECT_FALSE(has_num(L, 0x4001));
}

// pairs() order follows the keys' main positions, and carts build on that
// order: it must never change. Digests of the traversal of number keys of
// every kind (zero, negative, fractional, large, the extremes) at node-array
// sizes from 1 to 2^14, as the remainder by division placed them.
TEST(Table, NumberKeysKeepTheirTraversalOrder) {
    static constexpr uint32_t want[] = {
        2370758431u, 2476219236u, 1188354765u, 291745565u,  1894845919u,
        3412878600u, 688792986u,  3679457972u, 3201222714u, 3552346173u,
        94701310u,   1478560420u, 2340390111u, 2926425154u, 2112018257u,
    };
    z6heap::State L;
    uint32_t seed = 2026;
    std::string got;
    bool same = true;
    for (int round = 0; round <= 14; round++) {
        lua_newtable(L);
        for (lua_Number special : {0, INT32_MIN, INT32_MAX, -1, 1, fx(-32768), fx(32767) + 1})
            set_num(L, special, 1);
        for (int i = 0; i < (1 << round); i++) {
            seed = seed * 1664525u + 1013904223u;
            lua_Number key;
            switch (i % 4) {
            case 0: key = static_cast<lua_Number>(seed); break;           // any raw value
            case 1: key = fx(-1 - int(seed % 40000)); break;              // negative whole
            case 2: key = static_cast<lua_Number>(seed & 0xffff); break;  // below 1
            default: key = fx(int(seed % 30000)) + 0x8000 + (seed >> 28); // fractional
            }
            set_num(L, key, 1);
        }
        uint32_t digest = 2166136261u;
        lua_pushnil(L);
        while (lua_next(L, -2)) {
            lua_pop(L, 1);
            uint32_t raw = static_cast<uint32_t>(lua_tonumber(L, -1));
            for (int b = 0; b < 4; b++) digest = (digest ^ ((raw >> (8 * b)) & 0xff)) * 16777619u;
        }
        lua_pop(L, 1);
        got += std::to_string(digest) + "u, ";
        if (round >= int(std::size(want)) || want[round] != digest) same = false;
    }
    EXPECT_TRUE(same) << "traversal digests: " << got;
}

namespace {
int nil_key(lua_State *L) {
    lua_newtable(L);
    lua_pushnil(L);
    lua_pushinteger(L, 1);
    lua_rawset(L, -3);
    return 0;
}
int huge_hash(lua_State *L) {
    lua_createtable(L, 0, (1 << 30) + 1);
    return 0;
}
} // namespace

TEST(Table, BadKeysAndSizesRaiseErrors) {
    z6heap::State L;
    ASSERT_EQ(z6heap::protect(L, nil_key), LUA_ERRRUN);
    EXPECT_EQ(z6heap::text(L, -1), "table index is nil");
    lua_pop(L, 1);
    ASSERT_EQ(z6heap::protect(L, huge_hash), LUA_ERRRUN);
    EXPECT_EQ(z6heap::text(L, -1), "table overflow");
}

TEST(Table, FunctionKeysHashByPointer) {
    z6heap::State L;
    lua_newtable(L);
    lua_pushcclosure(L, nil_key, LUA_FASTCALL);
    lua_pushinteger(L, 1);
    lua_rawset(L, -3);
    lua_pushcfunction(L, nil_key); // same pointer, different tag: another key
    lua_pushinteger(L, 2);
    lua_rawset(L, -3);
    lua_pushcclosure(L, nil_key, LUA_FASTCALL);
    lua_rawget(L, -2);
    EXPECT_EQ(lua_tointeger(L, -1), 1);
    lua_pop(L, 1);
    EXPECT_EQ(count_next(L), 2);
}
