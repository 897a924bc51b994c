// Cart data: the file layout, reading back across runs, the ids refused, the
// readers' tolerance of other layouts and whole-file writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cart/cdata.h"
#include "cart/state.h"
#include "engine/config.h"
#include "tests/console/run_test_util.h"

namespace fs = std::filesystem;

namespace {

struct cdata_test : ::testing::Test {
    z6run::Runtime rt;
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("z6_cdata_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%s/", dir.c_str());
        clear_cdata();
    }
    void TearDown() override {
        clear_cdata();
        fs::remove_all(dir);
    }
    std::string file(const std::string &id) const {
        std::ifstream f(dir / (id + ".z6d.txt"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    void put(const std::string &id, const std::string &text) const {
        std::ofstream(dir / (id + ".z6d.txt"), std::ios::binary) << text;
    }
    // Runs code as a fresh cart; the cart data is saved as the program ends it.
    std::string run(const std::string &code) {
        clear_cdata();
        std::string out = rt.run(code, 5);
        save_cdata();
        return out;
    }
};

TEST_F(cdata_test, WritesTheLayoutAndReadsItBackNextRun) {
    run("printh(cartdata(\"my_game-1\")) dset(0,1.5) dset(9,-1) dset(64,3)");
    std::string expect = "00018000";
    for (int k = 1; k < 64; k++)
        expect += (k == 9 ? "ffff0000" : "00000000") + std::string(k % 8 == 7 ? "\n" : "");
    EXPECT_EQ(file("my_game-1"), expect);
    EXPECT_FALSE(fs::exists(dir / "my_game-1.z6d.txt.tmp"));
    std::string out =
        run("printh(cartdata(\"my_game-1\")) printh(dget(0)) printh(dget(9)) printh(dget(70))");
    EXPECT_NE(out.find("true\n1.5\n-1\n0"), std::string::npos) << out;
}

TEST_F(cdata_test, RefusesBadIdsAndSecondCalls) {
    auto error_of = [&](const std::string &code) {
        run(code);
        return rt.errors();
    };
    EXPECT_NE(error_of("cartdata(\"Caps\")").find("cart data id: bad char"), std::string::npos);
    EXPECT_NE(error_of("cartdata(\"" + std::string(65, 'a') + "\")").find("cart data id too long"),
              std::string::npos);
    EXPECT_NE(error_of("cartdata(\"\")").find("cart data id too long"), std::string::npos);
    EXPECT_NE(
        error_of("cartdata(\"a\") cartdata(\"b\")").find("cartdata() can only be called once"),
        std::string::npos);
    EXPECT_NE(error_of("dget(0)").find("dget called before cartdata()"), std::string::npos);
    EXPECT_NE(error_of("dset(0,1)").find("dset called before cartdata()"), std::string::npos);
    std::string ok64 = run("printh(cartdata(\"" + std::string(64, 'z') + "\"))");
    EXPECT_NE(ok64.find("false"), std::string::npos) << ok64; // opened, no file yet

    // With no cart running nothing opens.
    clear_cdata();
    pstate.cart_code_running = 0;
    EXPECT_EQ(load_cdata("idle"), 1);
    EXPECT_STREQ(cdata_id(), "");
}

TEST_F(cdata_test, ReadsHexDigitsWhateverSeparatesThem) {
    put("loose", "00000001, 00000002\n 0000000a;xyz 0000000B");
    run("cartdata(\"loose\")");
    EXPECT_EQ(pstate.cartdata_words[0], 1u);
    EXPECT_EQ(pstate.cartdata_words[1], 2u);
    EXPECT_EQ(pstate.cartdata_words[2], 10u);
    EXPECT_EQ(pstate.cartdata_words[3], 11u);
    EXPECT_EQ(pstate.cartdata_words[4], 0u);
    put("short", "0001800000020000 -- ok: pi, xyz!");
    run("cartdata(\"short\")");
    EXPECT_EQ(pstate.cartdata_words[0], 0x18000u);
    EXPECT_EQ(pstate.cartdata_words[1], 0x20000u);
    EXPECT_EQ(pstate.cartdata_words[2], 0u);
}

// A file past the read limit gives the cart zeros and stays byte for byte until the cart
// stores a value; then it is backed up whole before it is replaced. A folder in its place
// cannot be kept and is never replaced.
TEST_F(cdata_test, AFileNotReadIsKeptUntilTheCartStoresAndThenBackedUp) {
    std::string home = (dir / "home/").string();
    fs::create_directories(home);
    std::snprintf(cconfig.home, sizeof cconfig.home, "%s", home.c_str());
    std::string big;
    for (int line = 0; line < 8; line++)
        big += "0001000000020000000300000004000000050000000600000007000000080000\n";
    big.resize(size_t(CDATA_FILE_MAX) + 985, ' ');
    put("big", big);
    std::string out = run("printh(tostr(cartdata(\"big\"))..\" \"..dget(0))");
    EXPECT_NE(out.find("false 0"), std::string::npos) << out;
    clear_cdata(); // as a load() or the next run closes it
    EXPECT_EQ(file("big"), big);
    EXPECT_FALSE(fs::exists(home + "backup") && !fs::is_empty(home + "backup"));

    run("cartdata(\"big\") dset(3, 0)"); // storing what it was given changes nothing
    EXPECT_EQ(file("big"), big);
    run("cartdata(\"big\") dset(1, 5)");
    EXPECT_EQ(file("big").substr(0, 24), "000000000005000000000000");
    ASSERT_TRUE(fs::exists(home + "backup"));
    std::vector<fs::path> kept(fs::directory_iterator(home + "backup"), {});
    ASSERT_EQ(kept.size(), 1u);
    std::ifstream f(kept[0], std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), big);
    run("cartdata(\"big\") dset(1, 6)"); // the file is the cart's own now: no second backup
    EXPECT_EQ(std::distance(fs::directory_iterator(home + "backup"), {}), 1);

    fs::create_directories(dir / "folder.z6d.txt");
    run("cartdata(\"folder\") dset(0, 1)");
    EXPECT_EQ(save_cdata(), 1);
    EXPECT_TRUE(fs::is_directory(dir / "folder.z6d.txt"));
    cconfig.home[0] = 0;
}

TEST_F(cdata_test, AnUnwritableFolderReportsFailureAndKeepsTheWords) {
    run("cartdata(\"keep\") dset(1,2)");
    std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%s/no/such/folder/", dir.c_str());
    pstate.cart_code_running = 1;
    EXPECT_EQ(save_cdata(), 1);
    EXPECT_EQ(pstate.cartdata_words[1], 0x20000u);
}

} // namespace
