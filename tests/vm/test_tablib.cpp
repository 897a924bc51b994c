// The console's list functions (add, deli, del, count, unpack, pack): results,
// bad input that returns nothing, and the cycles each charges.
#include <gtest/gtest.h>

#include <string>

#include "tests/vm/libs_test_util.h"

using z6libs::State;

TEST(TabLib, AddAppendsOrInsertsAndChargesByDistance) {
    State s;
    z6libs::expect_runs(
        s,
        {
            {"local t = {} local r = add(t, 5) return r, #t, t[1]", "5\t1\t5"},
            {"local t = {1, 2, 3} add(t, 9, 1) return t[1], t[2], t[4], #t", "9\t1\t3\t4"},
            {"local t = {1, 2} add(t, 9, 1.9) return t[1], t[2]", "9\t1"},
            {"local t = {1, 2} add(t, 9, '2') return t[2], t[3]", "9\t2"},
            {"return add(nil, 1)", ""},
            {"return add({})", ""},
            {"return add({1}, 2, 0)", "error: bad argument #3 to 'add' (position out of bounds)"},
            {"return add({1}, 2, 3)", "error: bad argument #3 to 'add' (position out of bounds)"},
            {"return add({1}, 2, nil)", "error: bad argument #3 to 'add' (position out of bounds)"},
        });
    // no charge for a plain append; 2 * max(e - pos, 1) with a position
    EXPECT_EQ(s.spent("local t = {1, 2, 3} add(t, 4)"), 0);
    EXPECT_EQ(s.spent("local t = {1, 2, 3} add(t, 4, 4)"), 2);
    EXPECT_EQ(s.spent("local t = {1, 2, 3} add(t, 4, 1)"), 6);
}

TEST(TabLib, DeliRemovesByPositionAndIgnoresBadPositions) {
    State s;
    z6libs::expect_runs(s,
                        {
                            {"local t = {1, 2, 3} return deli(t), #t, t[2]", "3\t2\t2"},
                            {"local t = {1, 2, 3} return deli(t, 1), #t, t[1], t[2]", "1\t2\t2\t3"},
                            {"return deli({})", ""},
                            {"return deli({1, 2, 3}, 4)", ""},
                            {"local t = {1, 2, 3} return deli(t, nil), #t", "nil\t3"},
                            {"return deli('str')", ""},
                        });
    EXPECT_EQ(s.spent("deli({1, 2, 3})"), 2);
    EXPECT_EQ(s.spent("deli({1, 2, 3, 4, 5}, 1)"), 8);
    EXPECT_EQ(s.spent("deli({1, 2, 3}, 9)"), 0);
}

TEST(TabLib, DelRemovesFirstEqualElementAndChargesWholeLength) {
    State s;
    z6libs::expect_runs(
        s, {
               {"local t = {1, 2, 3, 2} local r = del(t, 2) return r, #t, t[1], t[2], t[3]",
                "2\t3\t1\t3\t2"},
               {"return del({1, 2}, 9)", ""},
               {"return del({1, 2})", ""},
           });
    EXPECT_EQ(s.spent("del({1, 2, 3, 4}, 1)"), 8);
    EXPECT_EQ(s.spent("del({1, 2, 3, 4}, 9)"), 8);
    EXPECT_EQ(s.spent("del({}, 9)"), 2);
    // __eq decides, and the table's own element is returned
    EXPECT_EQ(
        s.run("local mt = {__eq = function(a, b) return a.k == b.k end} "
              "local a, b = setmetatable({k = 1, n = 'a'}, mt), setmetatable({k = 1, n = 'b'}, mt) "
              "local t = {a} return del(t, b).n, #t"),
        "a\t0");
}

TEST(TabLib, CountLengthOrMatches) {
    State s;
    z6libs::expect_runs(s, {
                               {"return count({1, 2, 1})", "3"},
                               {"return count({1, 2, 1}, 1)", "2"},
                               {"return count({}, 1)", "0"},
                               {"return count('abc')", ""},
                               {"local t = {1, nil, 3} t[4] = 4 return count(t, nil)", "1"},
                           });
    EXPECT_EQ(s.spent("count({1, 2, 3})"), 2);
    EXPECT_EQ(s.spent("count({1, 2, 3}, 2)"), 6);
    // __len runs before anything else and its result is used
    EXPECT_EQ(s.run("return count(setmetatable({}, {__len = function() return 5 end}))"), "5");
}

TEST(TabLib, UnpackAndPack) {
    State s;
    z6libs::expect_runs(s, {
                               {"return unpack({1, 2, 3})", "1\t2\t3"},
                               {"return unpack({1, 2, 3}, 2)", "2\t3"},
                               {"return unpack({1, 2, 3}, 3, 2)", ""},
                               {"return unpack({}, 1, 3)", "nil\tnil\tnil"},
                               {"return unpack(5)",
                                "error: bad argument #1 to 'unpack' (table expected, got number)"},
                               {"return unpack({}, 1, 'x')",
                                "error: bad argument #3 to 'unpack' (number expected, got string)"},
                           });
    EXPECT_EQ(s.spent("unpack({1, 2, 3})"), 12);
    EXPECT_EQ(s.spent("unpack({}, 2, 1)"), 0);
    z6libs::expect_runs(s, {
                               {"local t = pack() return t.n, #t", "0\t0"},
                               {"local t = pack(nil, nil) return t.n, t[1], t[2]", "2\tnil\tnil"},
                               {"local t = pack(4, 5, 6) return t.n, t[1], t[3]", "3\t4\t6"},
                           });
    EXPECT_EQ(s.spent("pack()"), 2);
    EXPECT_EQ(s.spent("pack(1, 2, 3)"), 12);
}

// A list ends at 32767, since the index after it is the key -32768: nothing
// the list functions, ipairs or a constructor do reaches past it.
TEST(TabLib, ListsEndAtTheLastIndex) {
    State s;
    const std::string full = "local t = {} for i = 1, 32767 do t[i] = i end ";
    const std::string every = "local t = {} for k = -32768, 32767 do t[k] = k end ";
    const std::string keys = "local function keys(t) local n = 0 "
                             "for _ in next, t do n = n + 1 end return n end ";
    z6libs::expect_runs(
        s, {
               {full + "return add(t, 0), #t, t[-32768]", "nil\t32767\tnil"},
               {full + "return add(t, 0, 1), t[1], t[32767], t[-32768]", "nil\t1\t32767\tnil"},
               {full + "return add(t, 0, 0)",
                "error: bad argument #3 to 'add' (position out of bounds)"},
               {full + "deli(t, 1) return add(t, 0), #t, t[32767]", "0\t32767\t0"},
               {every + "local n, last = 0 for i in ipairs(t) do n = n + 1 last = i "
                        "if n < 0 then break end end return n, last",
                "32767\t32767"},
               {every + keys + "local p = pack(unpack(t, -32768, 32767)) "
                               "return p.n, p[1], p[32767], p[0], p[-1], keys(p) - 1",
                "32767\t-32768\t-2\tnil\tnil\t32767"},
               {every + keys + "local q = {unpack(t, -32768, 32767)} "
                               "return #q, q[1], q[32767], q[0], q[-1], keys(q)",
                "32767\t-32768\t-2\tnil\tnil\t32767"},
           });
    // pack charges by the arguments it keeps
    EXPECT_EQ(s.spent("local function f(...) pack(...) end f(unpack({}, -32768, 32767))"),
              4 * 65536 + 4 * 32767);
}

TEST(TabLib, StockSortAndConcat) {
    State s(true);
    z6libs::expect_runs(
        s, {
               {"local t = {5, 3, 9, 1} table.sort(t) return table.concat(t, ',')", "1,3,5,9"},
               {"local t = {'b', 'a'} table.sort(t, function(x, y) return x > y end) return t[1]",
                "b"},
               {"return table.concat({1, 2.5, 'x'}, '-')", "1-2.5-x"},
               {"return table.concat({1, {}})",
                "error: invalid value (table) at index 2 in table for 'concat'"},
               {"table.sort({3, 2, 1, 4, 5}, function() return true end)",
                "error: invalid order function for sorting"},
           });
}

// the exact sequence of comparisons, and what a non-strict order leaves
TEST(TabLib, SortComparesInAFixedOrder) {
    State s(true);
    EXPECT_EQ(s.run(R"~(
local log = {}
local t = {5, 3, 8, 1, 9, 2, 7, 4, 6, 0, 5, 3, 11, 15, 12, 10, 14, 13}
table.sort(t, function(a, b) log[#log + 1] = a .. '<' .. b return a < b end)
local u = {3, 1, 2, 3, 1, 2, 3, 1}
local ok = pcall(table.sort, u, function(a, b) return a <= b end)
local v = {'d', 'a', 'c', 'b'} table.sort(v)
return table.concat(t, ','), #log, table.concat(log, ' '), tostring(ok) .. ':' .. table.concat(u, ','), table.concat(v))~"),
              "0,1,2,3,3,4,5,5,6,7,8,9,10,11,12,13,14,15\t66\t13<5 6<5 13<6 3<6 8<6 6<10 6<12 6<15 "
              "6<11 6<3 1<6 9<6 6<5 2<6 7<6 6<0 4<6 14<6 6<14 6<4 4<5 1<4 3<4 3<4 0<4 5<4 4<2 5<4 "
              "4<2 5<5 2<1 3<1 2<3 3<2 2<0 3<2 2<0 3<3 0<1 13<7 15<7 13<15 9<13 8<13 11<13 14<13 "
              "13<10 12<13 14<13 13<12 15<14 12<7 8<7 12<8 9<8 8<11 8<10 8<9 8<7 12<10 11<10 12<11 "
              "9<11 11<11 11<9 9<10\tfalse:1,1,2,3,1,2,3,3\tabcd");
}
