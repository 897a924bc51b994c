// The API registration table: names, recorded names, fast calls, the system
// set, the keyword table built from the recorded names, the registered
// globals in a VM state, and the reference entry of every name a cart sees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "console/api.h"
#include "console/token.h"
#include "tests/console/run_test_util.h"
#include "tests/vm/vm_test_util.h"

using z6test::run;
using z6test::State;

namespace {

std::set<std::string> names_where(bool (*pred)(const z6_api_entry &)) {
    std::set<std::string> s;
    for (int i = 0; i < z6_api_table_size; i++)
        if (pred(z6_api_table[i])) s.insert(z6_api_table[i].name);
    return s;
}

const std::set<std::string> fast_names = {
    "pset", "pget", "rect", "rectfill", "poke", "poke2", "poke4", "srand", "flr",   "ceil",
    "sgn",  "abs",  "mid",  "min",      "max",  "cos",   "sin",   "sqrt",  "atan2", "bnot",
    "band", "bor",  "bxor", "shl",      "shr",  "lshr",  "rotl",  "rotr"};

const std::set<std::string> unrecorded_names = {"__flip",
                                                "__superyield",
                                                "folder",
                                                "dir",
                                                "cd",
                                                "mkdir",
                                                "backup",
                                                "install_demos",
                                                "install_games",
                                                "keyconfig",
                                                "browse",
                                                "__tostr",
                                                "__print",
                                                "__printh",
                                                "__load",
                                                "save",
                                                "reboot",
                                                "shutdown",
                                                "exit",
                                                "info",
                                                "export",
                                                "import",
                                                "help",
                                                "t",
                                                "__extcmd",
                                                "radio",
                                                "_menuitem",
                                                "__pairs__",
                                                "__ipairs__",
                                                "__trace",
                                                "trace",
                                                "holdframe",
                                                "_startframe",
                                                "_get_menu_item_selected",
                                                "_update_buttons",
                                                "_update_framerate",
                                                "_set_mainloop_exists",
                                                "_set_fps",
                                                "_mark_cpu",
                                                "_map_display",
                                                "__refund_cpu__"};

} // namespace

TEST(ApiRegistration, CountsNamesRecordedNamesAndFastCallsWithoutDuplicates) {
    std::set<std::string> all;
    for (int i = 0; i < z6_api_table_size; i++)
        EXPECT_TRUE(all.insert(z6_api_table[i].name).second) << "twice: " << z6_api_table[i].name;
    EXPECT_EQ(z6_api_table_size, 151);
    auto recorded = names_where([](const z6_api_entry &e) { return e.recorded; });
    EXPECT_EQ(recorded.size(), 110u);
    auto fast = names_where([](const z6_api_entry &e) { return e.kind != Z6_ORDINARY; });
    EXPECT_EQ(fast, fast_names);
    auto unrecorded = names_where([](const z6_api_entry &e) { return !e.recorded; });
    EXPECT_EQ(unrecorded, unrecorded_names);

    // the system set: its own names once each, never recorded; __stop and
    // the six names that only it registers are not in the full table
    std::set<std::string> sys;
    for (int i = 0; i < z6_api_system_table_size; i++) {
        const z6_api_entry &e = z6_api_system_table[i];
        EXPECT_TRUE(sys.insert(e.name).second) << "twice: " << e.name;
        EXPECT_FALSE(e.recorded) << e.name;
        EXPECT_EQ(e.kind, Z6_ORDINARY) << e.name;
    }
    EXPECT_EQ(sys.size(), 30u);
    for (const char *only : {"tostring", "__tostring__", "__type", "__select", "__coresume",
                             "__yielded_to_escape_slice", "__stop"}) {
        EXPECT_TRUE(sys.count(only)) << only;
        EXPECT_FALSE(all.count(only)) << only;
    }
    // names shared by both sets stand for the same function
    for (int i = 0; i < z6_api_system_table_size; i++)
        for (int j = 0; j < z6_api_table_size; j++) {
            if (std::string(z6_api_system_table[i].name) != z6_api_table[j].name) continue;
            EXPECT_EQ(z6_api_system_table[i].fn, z6_api_table[j].fn) << z6_api_table[j].name;
        }
}

TEST(ApiRegistration, RecordedNamesBuildTheKeywordTableWithoutCollision) {
    record_api_function_names();
    EXPECT_EQ(api_function_names, 110);
    init_keyword_hash_table(keyword_hash_start_index); // exits on a collision
    for (int i = 0; i < api_function_names; i++) {
        get_first_token(api_function_name[i]);
        EXPECT_EQ(get_token(), TOK_BUILTIN) << api_function_name[i];
    }
    // unrecorded names and the library's other names stay plain names
    for (const char *name : {"t", "trace", "tostring", "_update_buttons", "exit"}) {
        get_first_token(name);
        EXPECT_EQ(get_token(), TOK_NAME) << name;
    }
}

TEST(ApiRegistration, KeywordTableSeesACollision) {
    record_api_function_names();
    init_keyword_hash_table(keyword_hash_start_index);
    // find a short name that lands in the slot of "function"
    std::string other;
    for (int i = 0; i < 26 * 26 * 26 && other.empty(); i++) {
        std::string s = {char('a' + i / 676), char('a' + i / 26 % 26), char('a' + i % 26)};
        if (keyword_hash(s.c_str()) == keyword_hash("function")) other = s;
    }
    ASSERT_FALSE(other.empty());
    EXPECT_EQ(add_to_keyword_hash_table(other.c_str(), TOK_BUILTIN), 1);
    EXPECT_EQ(std::string(keyword_hash_last_collision()), "function " + other);
    get_first_token("function");
    EXPECT_EQ(get_token(), TOK_FUNCTION); // the failed add changed nothing

    // recorded as an API name, it stops the build with a non-zero status
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            add_api_function_name(other.c_str());
            init_keyword_hash_table(keyword_hash_start_index);
        },
        testing::ExitedWithCode(1), "");
    record_api_function_names();
}

TEST(ApiRegistration, RegistersOrdinaryAndFastFunctionsAsGlobals) {
    State L;
    add_c_functions(L);
    lua_getglobal(L, "flr");
    EXPECT_EQ(lua_type(L, -1), LUA_TFUNCTION);
    EXPECT_EQ(lua_tocfunction(L, -1), z6f_flr);
    EXPECT_TRUE(ttisfcf(L.L->top - 1));
    lua_getglobal(L, "rnd");
    EXPECT_TRUE(ttislcf(L.L->top - 1));
    lua_getglobal(L, "tostring"); // the system set's own
    EXPECT_EQ(lua_type(L, -1), LUA_TNIL);
    lua_settop(L, 0);

    lua_getglobal(L, "poke");
    EXPECT_TRUE(ttisfcf(L.L->top - 1));
    lua_settop(L, 0);

    // the system set restores what a cart overwrote, and adds its own names
    auto r = run(L, "__print = nil tostring = nil return __print, tostring");
    EXPECT_EQ(r.joined(), "nil nil");
    add_c_functions_system(L);
    r = run(L, "return __print ~= nil, tostring(12), __type(1), __select('#', 1, 2)");
    EXPECT_EQ(r.joined(), "true 12 number 2");
    // registering again replaces the earlier global
    r = run(L, "flr = nil return flr");
    EXPECT_EQ(r.joined(), "nil");
    add_c_functions(L);
    r = run(L, "return flr(2.5)");
    EXPECT_EQ(r.joined(), "2");
}

// docs/api.md has an entry, a table row starting "| `name(" or "| `name`", for
// every name a cart can call: every registered name and every function the
// prelude defines (names starting with "_" are the runtime's own), and no
// call entry for a name that does not exist.
TEST(ApiRegistration, EveryNameACartCanCallHasAReferenceEntry) {
    const char *src = std::getenv("ZIBO6_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::ifstream in(std::string(src) + "/docs/api.md");
    ASSERT_TRUE(in) << "docs/api.md";
    std::set<std::string> entries, calls;
    const std::regex row(R"(^\| `([A-Za-z0-9_]+)([(`]))");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        entries.insert(m[1]);
        if (m[2] == "(") calls.insert(m[1]);
    }

    // The globals a running cart sees, as it sees them.
    z6run::Runtime rt;
    std::string out = rt.run("for k, v in pairs(_ENV) do\n"
                             "if type(v) == 'function' then printh(k) end end",
                             1);
    std::set<std::string> callable;
    std::istringstream names(out);
    for (std::string name; std::getline(names, name);)
        if (!name.empty() && name[0] != '_') callable.insert(name);
    for (const char *prelude : {"menuitem", "all", "foreach", "pairs", "ipairs", "flip", "load"})
        EXPECT_TRUE(callable.count(prelude)) << prelude << " not seen: " << out;
    for (const auto *table : {z6_api_table, z6_api_system_table}) {
        int n = table == z6_api_table ? z6_api_table_size : z6_api_system_table_size;
        for (int i = 0; i < n; i++)
            if (table[i].name[0] != '_') callable.insert(table[i].name);
    }

    for (const std::string &name : callable)
        EXPECT_TRUE(entries.count(name)) << "no entry in docs/api.md for " << name;
    for (const std::string &name : calls)
        EXPECT_TRUE(callable.count(name)) << "docs/api.md describes " << name << ", which no cart can call";
}
