// String tables: the block form and the key-value form, missing entries and
// unreadable files.
#include "engine/stable.h"
#include "engine/disk.h"
#include "engine/vull.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// A file in a fresh folder of the test's own, removed afterwards.
struct temp_file {
    std::filesystem::path dir, path;
    explicit temp_file(const std::string &content) {
        dir = std::filesystem::temp_directory_path() /
              ("z6_stable_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = dir / "t.nfo";
        FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    ~temp_file() { std::filesystem::remove_all(dir); }
};

struct table_guard {
    vull_stable *t;
    ~table_guard() { vull_destroy_stable(t); }
};

} // namespace

TEST(Stable, KeyValueForm) {
    temp_file f("// comment\n"
                "title: my cart\n"
                "tags:: a  b c\n"
                "x=5\n"
                "empty\n"
                "author:\n"
                "\n"
                "  lid  12345\r\n"
                "title: second title line\n"
                "mid 1\n"
                "title: later key again\n");
    int before = vull_items_created;
    table_guard g{vull_load_stable_config(f.path.c_str())};
    ASSERT_NE(g.t, nullptr);
    EXPECT_EQ(vull_items_created, before + 1);
    EXPECT_STREQ(vull_sts(g.t, "title", 0), "my cart");
    EXPECT_EQ(cdict_entries(g.t, "tags"), 3);
    EXPECT_STREQ(vull_sts(g.t, "tags", 2), "c");
    EXPECT_STREQ(vull_sts(g.t, "x", 0), "=5");
    EXPECT_EQ(cdict_entries(g.t, "empty"), 0);
    EXPECT_EQ(cdict_entries(g.t, "author"), 0);
    EXPECT_STREQ(vull_sts(g.t, "lid", 0), "12345");
    // A key seen again later is a new key; lookups find the first one.
    EXPECT_EQ(cdict_entries(g.t, "title"), 1);
    // Keys are case-sensitive; missing keys and indices give one blank.
    EXPECT_STREQ(vull_sts(g.t, "Title", 0), " ");
    EXPECT_STREQ(vull_sts(g.t, "title", 1), " ");
    EXPECT_STREQ(vull_sts(g.t, "title", -1), " ");
    EXPECT_STREQ(vull_sts(nullptr, "title", 0), " ");
    EXPECT_EQ(cdict_entries(nullptr, "title"), 0);
    vull_destroy_stable(g.t);
    g.t = nullptr;
    EXPECT_EQ(vull_items_created, before);
}

TEST(Stable, BlockForm) {
    temp_file f("/ header comment\n"
                "names {\n"
                "  \"one\" \"two\"\n"
                "  \"three\" } \"not read\"\n"
                "names\n"
                "{\n"
                "  \"four\"/ \"cut by the slash\"\n"
                "  \"open to the end\n"
                "}\n"
                "  / skipped\n"
                "other\n"
                "\"x\"\n"
                "}\n");
    table_guard g{vull_load_stable(f.path.c_str())};
    ASSERT_NE(g.t, nullptr);
    // The brace line closes the block and nothing on it is read; the same key
    // again straight after continues its list.
    EXPECT_EQ(cdict_entries(g.t, "names"), 4);
    EXPECT_STREQ(vull_sts(g.t, "names", 1), "two");
    EXPECT_STREQ(vull_sts(g.t, "names", 2), "four");
    EXPECT_STREQ(vull_sts(g.t, "names", 3), "open to the end");
    EXPECT_STREQ(vull_sts(g.t, "other", 0), "x");
    EXPECT_EQ(g.t->num_keys, 2);
}

TEST(Stable, UnreadableAndEmptyFiles) {
    EXPECT_EQ(vull_load_stable("/nonexistent/dir/none.nfo"), nullptr);
    EXPECT_EQ(vull_load_stable_config("/nonexistent/dir/none.nfo"), nullptr);
    EXPECT_EQ(vull_load_stable(nullptr), nullptr);
    EXPECT_EQ(vull_load_stable_from_file(nullptr), nullptr);
    temp_file f("");
    table_guard g{vull_load_stable(f.path.c_str())};
    ASSERT_NE(g.t, nullptr);
    EXPECT_EQ(g.t->num_keys, 0);
    EXPECT_STREQ(vull_sts(g.t, "a", 0), " ");
}

TEST(Stable, ManyStringsGrowTheArrays) {
    std::string text = "k::";
    for (int i = 0; i < 180; i++) text += " s" + std::to_string(i);
    text += "\n";
    for (int i = 0; i < 100; i++)
        text += "key" + std::to_string(i) + " v" + std::to_string(i) + "\n";
    temp_file f(text);
    table_guard g{vull_load_stable_config(f.path.c_str())};
    ASSERT_NE(g.t, nullptr);
    EXPECT_EQ(cdict_entries(g.t, "k"), 180);
    EXPECT_STREQ(vull_sts(g.t, "k", 179), "s179");
    EXPECT_STREQ(vull_sts(g.t, "key99", 0), "v99");
    EXPECT_EQ(g.t->num_keys, 101);
}

// An index near INT_MAX once wrapped when added to a later key's first string
// and read before the string array.
TEST(Stable, HugeIndexOfALaterKeyIsMissing) {
    temp_file f("a:: one two\nb:: three\n");
    table_guard g{vull_load_stable_config(f.path.c_str())};
    ASSERT_NE(g.t, nullptr);
    EXPECT_STREQ(vull_sts(g.t, "b", 0), "three");
    EXPECT_STREQ(vull_sts(g.t, "b", INT_MAX), " ");
    EXPECT_STREQ(vull_sts(g.t, "b", INT_MAX - 1), " ");
    EXPECT_STREQ(vull_sts(g.t, "a", INT_MAX), " ");
    EXPECT_STREQ(vull_sts(g.t, "b", 1), " ");
}

// A folder given as the table's path reads as an empty table instead of hanging
// on endless empty lines.
TEST(Stable, FolderPathGivesAnEmptyTable) {
    temp_file f("");
    for (vull_stable *t :
         {vull_load_stable(f.dir.c_str()), vull_load_stable_config(f.dir.c_str())}) {
        table_guard g{t};
        if (g.t) { EXPECT_EQ(g.t->num_keys, 0); }
    }
}
