// Every save path against a disk that fills up part-way: the save reports the
// failure, the file that was there keeps its bytes and nothing is left beside
// it. Covers text, PNG and ROM carts, backups, cart data and cstore targets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "console/mem.h"
#include "cart/state.h"
#include "engine/disk.h"
#include "platform/system.h"
#include "tests/console/run_test_util.h"
#include "tests/support/write_limit.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> listing(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string user_folder(const char *name) {
    char path[VULL_PATH_LEN];
    vull_prefix_with_appdata_path(name, path, sizeof path);
    vull_mkdir(path);
    return path;
}

struct save_failures : ::testing::Test {
    z6run::Runtime rt;
    fs::path dir;
    std::string tag = std::to_string(::getpid());
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("z6_full_" + tag + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string &name) const { return (dir / name).string(); }

    // A cart whose files are large enough to be cut anywhere.
    void fill_working_cart(char seed) {
        std::string code = "-- " + tag + "\n";
        for (int i = 0; i < 3000; i++) code += char('a' + (i * 7 + seed) % 26);
        std::snprintf(pitem.cart->code, ZIBO6_CODE_SIZE, "%s", code.c_str());
        split_code_to_tabs();
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) pitem.cart->sprites->rows[y][x] = uint8_t((x + y + seed) & 15);
    }

    // f fails and the bytes at file stay, for a disk that fills after each of the sizes;
    // the folder holds the same names afterwards.
    void expect_kept(const std::string &file, const std::function<bool()> &f) {
        std::string before = slurp(file);
        std::string folder = fs::path(file).parent_path();
        std::vector<std::string> names = listing(folder);
        ASSERT_FALSE(before.empty()) << file;
        // The new file is at least as long as half the old one in every case here.
        for (rlim_t room : {rlim_t(0), rlim_t(1), rlim_t(before.size() / 4), rlim_t(before.size() / 2)}) {
            bool failed;
            {
                z6test::write_limit full(room);
                failed = f();
            }
            EXPECT_TRUE(failed) << file << " with room for " << room;
            EXPECT_TRUE(slurp(file) == before) << file << " with room for " << room;
            EXPECT_EQ(listing(folder), names) << folder;
        }
    }
};

} // namespace

TEST_F(save_failures, CartsInEveryFormatKeepTheOldFile) {
    for (const char *name : {"game.z6", "game.z6.png", "game.z6.rom"}) {
        fill_working_cart(1);
        ASSERT_EQ(save_working_cart(path(name).c_str()), 0) << name;
        fill_working_cart(2); // the working file: no backup is made
        testing::internal::CaptureStdout();
        expect_kept(path(name), [&] { return save_working_cart(path(name).c_str()) != 0; });
        testing::internal::GetCapturedStdout();
    }
}

TEST_F(save_failures, AFailedBackupStopsTheSaveAndLeavesNoPart) {
    fill_working_cart(1);
    ASSERT_EQ(save_working_cart(path("other.z6").c_str()), 0);
    ASSERT_EQ(save_working_cart(path("mine.z6").c_str()), 0);
    fill_working_cart(3);
    std::string backups = user_folder("backup");
    auto ours = [&] {
        int n = 0;
        for (const std::string &f : listing(backups)) n += f.find("_other.z6") != std::string::npos;
        return n;
    };
    int before = ours();
    // Saving over another file backs it up first; the backup does not fit, so nothing is saved.
    testing::internal::CaptureStdout();
    expect_kept(path("other.z6"), [&] { return save_working_cart(path("other.z6").c_str()) != 0; });
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("could not back up the old file"), std::string::npos) << out;
    EXPECT_EQ(ours(), before);
    EXPECT_STREQ(pstate.current_filename, path("mine.z6").c_str());
    // The backup command itself: no cut backup either.
    {
        z6test::write_limit full(100);
        EXPECT_EQ(save_backup(path("other.z6").c_str(), 0), 1);
        EXPECT_EQ(save_backup(path("other.z6").c_str(), 1), 1);
    }
    EXPECT_EQ(ours(), before);
}

// Backups are named to the second; more of one name in the same second are numbered
// before the extension, and each keeps what it was made from.
TEST_F(save_failures, BackupsInOneSecondAreNumbered) {
    std::string backups = user_folder("backup");
    fs::remove_all(backups);
    for (int k = 0; k < 3; k++) {
        std::ofstream(path("same.z6"), std::ios::binary) << "backup " << k;
        ASSERT_EQ(save_backup(path("same.z6").c_str(), 1), 0);
    }
    std::vector<std::string> names = listing(backups);
    ASSERT_EQ(names.size(), 3u);
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b; // "same" before "same_1"
    });
    std::vector<std::string> kept;
    for (const std::string &n : names) kept.push_back(slurp(backups + "/" + n));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"backup 0", "backup 1", "backup 2"}));
    std::string stamp = names[0].substr(0, 16);
    EXPECT_EQ(names[0], stamp + "same.z6");
    if (names[1].substr(0, 16) == stamp) {
        EXPECT_EQ(names[1], stamp + "same_1.z6");
    }
}

TEST_F(save_failures, CartDataKeepsTheLastWholeSave) {
    std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%s/", dir.c_str());
    pstate.cart_code_running = 1;
    ASSERT_EQ(load_cdata("full_disk"), 1);
    for (int i = 0; i < CDATA_WORDS; i++) pstate.cartdata_words[i] = 0x11111111u * uint32_t(i % 15);
    ASSERT_EQ(save_cdata(), 0);
    pstate.cartdata_words[0] = 0xdeadbeef;
    expect_kept(path("full_disk.z6d.txt"), [] { return save_cdata() != 0; });
    // Closing the store with unsaved words tries once more, and still cuts nothing.
    pstate.cartdata_dirty = 1;
    {
        z6test::write_limit full(100);
        clear_cdata();
    }
    EXPECT_EQ(slurp(path("full_disk.z6d.txt")).substr(0, 8), "00000000");
    pstate.cart_code_running = 0;
}

TEST_F(save_failures, CstoreTargetsKeepTheOldCart) {
    std::string folder = user_folder("cstore");
    for (std::string name : {"full_" + tag + ".z6", "full_" + tag + ".z6.png"}) {
        for (int a = 0; a < 0x4300; a++) zibo6_poke(&pstate, pstate.memory_cart, a, 0x5a);
        ASSERT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 0x4300), 0x4300) << name;
        for (int a = 0; a < 0x4300; a++) zibo6_poke(&pstate, pstate.memory_cart, a, (a * 7) & 0xff);
        expect_kept(folder + "/" + name, [&] {
            return zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 0x4300) == 0;
        });
        fs::remove(folder + "/" + name);
    }
    // The cart's own sandbox file.
    std::snprintf(pstate.sandbox_hash, sizeof pstate.sandbox_hash, "%040d", int(::getpid()));
    zibo6_poke(&pstate, pstate.memory_cart, 0, 1);
    ASSERT_EQ(zibo6_cstore_to_file(nullptr, 0, 0, 0, 0x4300), 0x4300);
    zibo6_poke(&pstate, pstate.memory_cart, 0, 2);
    std::string sandbox = get_sandboxed_cstore_filename(pstate.sandbox_hash);
    expect_kept(sandbox, [] { return zibo6_cstore_to_file(nullptr, 0, 0, 0, 0x4300) == 0; });
    fs::remove(sandbox);
}
