// Strings and userdata: interning up to 40 bytes, the sampled hash, the
// string table's growth and halving, resurrection of dead short strings,
// long-string hashing on first use, userdata sizes and the test seed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vm/heap_test_util.h"
#include "vm/lgc.h"
#include "vm/lstring.h"
#include "vm/ltable.h"

namespace {

TString *push_str(lua_State *L, const std::string &s) {
    lua_pushlstring(L, s.data(), s.size());
    return rawtsvalue(L->top - 1);
}

} // namespace

TEST(String, ShortStringsUpTo40BytesAreInterned) {
    z6heap::State L;
    std::string s40(40, 'x'), s41(41, 'x');
    TString *a = push_str(L, s40);
    TString *b = push_str(L, std::string(s40));
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->tsv.tt, LUA_TSHRSTR);
    TString *c = push_str(L, s41);
    TString *d = push_str(L, s41);
    EXPECT_NE(c, d);
    EXPECT_EQ(c->tsv.tt, LUA_TLNGSTR);
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    // embedded zeros count as bytes
    TString *z1 = push_str(L, std::string("a\0b", 3));
    TString *z2 = push_str(L, std::string("a\0c", 3));
    EXPECT_NE(z1, z2);
    EXPECT_EQ(z1->tsv.len, 3u);
}

TEST(String, HashSamplesLongTexts) {
    EXPECT_EQ(luaS_hash("a", 1, 0), 128u); // (0 ^ 1) ^ ((1 << 5) + (1 >> 2) + 'a')
    // 64 bytes: every 3rd byte from the end is hashed; byte 0 is skipped
    std::string a(64, 'q'), b(64, 'q');
    b[0] = 'Z';
    EXPECT_EQ(luaS_hash(a.data(), a.size(), 1234), luaS_hash(b.data(), b.size(), 1234));
    b[63] = 'Z';
    EXPECT_NE(luaS_hash(a.data(), a.size(), 1234), luaS_hash(b.data(), b.size(), 1234));

    z6heap::State L;
    std::string x(64, 'q'), y(64, 'q');
    y[0] = 'Z';
    push_str(L, x);
    push_str(L, y);
    EXPECT_FALSE(lua_rawequal(L, -1, -2));
    // as table keys they share a hash chain but stay two keys
    lua_newtable(L);
    lua_pushvalue(L, -3);
    lua_pushinteger(L, 1);
    lua_rawset(L, -3);
    lua_pushvalue(L, -2);
    lua_pushinteger(L, 2);
    lua_rawset(L, -3);
    lua_pushvalue(L, -3);
    lua_rawget(L, -2);
    EXPECT_EQ(lua_tointeger(L, -1), 1);
    lua_pop(L, 1);
    TString *ls = rawtsvalue(L.L->top - 2);
    EXPECT_EQ(ls->tsv.extra, 1); // hash computed on first use as a key
}

TEST(String, TableGrowsAndHalvesWithUse) {
    z6heap::State L;
    stringtable *tb = &G(L.L)->strt;
    int start = tb->size;
    EXPECT_GE(start, 32);
    lua_newtable(L);
    for (int i = 0; i < 2000; i++) {
        std::string s = "str" + std::to_string(i);
        lua_pushstring(L, s.c_str());
        lua_rawseti(L, -2, i + 1);
    }
    EXPECT_GE(tb->size, 2048);
    EXPECT_GE(tb->nuse, 2000u);
    int grown = tb->size;
    lua_pop(L, 1);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_LT(tb->size, grown);
    EXPECT_LT(tb->nuse, 200u);
    // every bucket holds only strings that hash to it
    for (int i = 0; i < tb->size; i++)
        for (GCObject *o = tb->hash[i]; o; o = gch(o)->next)
            EXPECT_EQ(static_cast<int>(lmod(gco2ts(o)->hash, tb->size)), i);
}

TEST(String, DeadShortStringIsResurrectedWhenMadeAgain) {
    z6heap::State L;
    global_State *g = G(L.L);
    lua_gc(L, LUA_GCSTOP, 0);
    const char *text = "a string nobody holds";
    lua_pushstring(L, text);
    TString *old = rawtsvalue(L.L->top - 1);
    lua_pop(L, 1);
    // run a cycle to the point where the string is judged dead but not yet freed
    luaC_runtilstate(L, bitmask(GCSpropagate));
    luaC_runtilstate(L, bitmask(GCSsweepstring));
    ASSERT_TRUE(isdead(g, obj2gco(old)));
    lua_pushstring(L, text);
    EXPECT_EQ(rawtsvalue(L.L->top - 1), old);
    EXPECT_FALSE(isdead(g, obj2gco(old)));
    luaC_runtilstate(L, bitmask(GCSpause)); // the sweep keeps it
    EXPECT_STREQ(lua_tostring(L, -1), text);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_STREQ(lua_tostring(L, -1), text);
}

namespace {
int huge_udata(lua_State *L) {
    lua_newuserdata(L, SIZE_MAX - 8);
    return 0;
}
} // namespace

TEST(String, UserdataAndSizeLimits) {
    z6heap::State L;
    void *p = lua_newuserdata(L, 100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(void *), 0u);
    EXPECT_EQ(lua_rawlen(L, -1), 100u);
    EXPECT_EQ(uvalue(L.L->top - 1)->env, nullptr);
    std::memset(p, 0xab, 100);
    lua_pop(L, 1);
    ASSERT_EQ(z6heap::protect(L, huge_udata), LUA_ERRRUN);
    EXPECT_EQ(z6heap::text(L, -1), "memory allocation error: block too big");
}

TEST(String, SeedOverrideRepeatsTraversalOrder) {
    unsigned int seed = 12345;
    luaE_setseedoverride(&seed);
    auto order = [] {
        z6heap::State L;
        EXPECT_EQ(G(L.L)->seed, 12345u);
        lua_newtable(L);
        for (int i = 0; i < 50; i++) {
            lua_pushboolean(L, 1);
            lua_setfield(L, -2, ("key" + std::to_string(i * 7)).c_str());
        }
        std::string seen;
        lua_pushnil(L);
        while (lua_next(L, -2)) {
            lua_pop(L, 1);
            seen += lua_tostring(L, -1);
            seen += ",";
        }
        return seen;
    };
    std::string a = order(), b = order();
    luaE_setseedoverride(nullptr);
    EXPECT_EQ(a, b);
    z6heap::State L;
    EXPECT_NE(G(L.L)->seed, 12345u);
}

TEST(String, ReservedWordsAndEventNamesAreFixed) {
    z6heap::State L;
    TString *w = luaS_new(L, "while");
    EXPECT_TRUE(isreserved(w));
    TString *ev = luaS_new(L, "__rotl");
    EXPECT_TRUE(testbit(ev->tsv.marked, FIXEDBIT));
    EXPECT_EQ(ev, G(L.L)->tmname[TM_ROTL]);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(luaS_new(L, "__peek4"), G(L.L)->tmname[TM_PEEK4]);
    EXPECT_STREQ(getstr(G(L.L)->memerrmsg), "not enough memory");
}
