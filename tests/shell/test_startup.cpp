// Start-up rules a cart cannot reach: the working cart's untitled name, the
// per-user fallback of unusable folders, the code tabs' tab stops and what a
// machine reboot keeps and clears.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cart/cart.h"
#include "cart/cdata.h"
#include "console/run.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/ctext.h"
#include "platform/system.h"
#include "shell/boot.h"
#include "shell/zibo6.h"
#include "vm/lauxlib.h"

namespace {

std::string scratch_dir(const char *name) {
    const char *bin = getenv("ZIBO6_BINARY_DIR");
    std::string dir = std::string(bin ? bin : "/tmp") + "/startup_test_" + name + "/";
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    return dir;
}

void touch(const std::string &path) {
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fclose(f);
}

TEST(Startup, UntitledNameSkipsNamesInUse) {
    std::string dir = scratch_dir("untitled");
    snprintf(pstate.root_path, Z6_PATH_LEN, "%s", dir.c_str());
    set_untitled_filename();
    EXPECT_EQ(std::string(pstate.current_filename), dir + "untitled.z6");
    touch(dir + "untitled.z6");
    for (int i = 1; i <= 9; i++) touch(dir + "untitled_" + std::to_string(i) + ".z6");
    set_untitled_filename();
    EXPECT_EQ(std::string(pstate.current_filename), dir + "untitled_10.z6");

    // A folder name so long that the file name would not fit gives no name at all.
    std::string deep(Z6_PATH_LEN - 5, 'd');
    snprintf(pstate.root_path, Z6_PATH_LEN, "%s", deep.c_str());
    set_untitled_filename();
    EXPECT_STREQ(pstate.current_filename, "");
}

TEST(Startup, UnusableFoldersFallBackToThePerUserFolder) {
    std::string dir = scratch_dir("paths");
    snprintf(cconfig.home, sizeof cconfig.home, "%s", dir.c_str());
    char want[Z6_PATH_LEN];
    vull_prefix_with_appdata_path("carts/", want, sizeof want);

    char path[Z6_PATH_LEN] = "";
    init_path(path, "carts/");
    EXPECT_STREQ(path, want); // empty
    snprintf(path, sizeof path, "%s", (dir + "missing/").c_str());
    init_path(path, "carts/");
    EXPECT_STREQ(path, want); // does not list
    std::string kept = dir + "own/";
    scratch_dir("paths/own");
    touch(kept + "a.z6");
    snprintf(path, sizeof path, "%s", kept.c_str());
    init_path(path, "carts/");
    EXPECT_EQ(std::string(path), kept); // lists an entry: kept
    cconfig.home[0] = 0;
}

// root_path and cdata_path come back from config.txt on the next start as they were
// written: whole when long, and kept in the file when they cannot be used this run.
TEST(Startup, PathSettingsSurviveTheNextStart) {
    std::string home = scratch_dir("long_paths");
    snprintf(cconfig.home, sizeof cconfig.home, "%s", home.c_str());
    char config[Z6_PATH_LEN];
    vull_prefix_with_appdata_path("config.txt", config, sizeof config);
    std::string folder = home + "carts_";
    folder += std::string(250 - folder.size() - 1, 'r') + "/";
    ASSERT_EQ(folder.size(), 250u);
    std::string cmd = "mkdir -p '" + folder + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    touch(folder + "a.z6");
    std::string too_long = "/" + std::string(2000, 'x') + "/";
    std::string missing = home + "no_such_folder/";
    auto start = [&](const std::string &text) {
        if (!text.empty()) {
            FILE *f = fopen(config, "wb");
            ASSERT_NE(f, nullptr);
            fputs(text.c_str(), f);
            fclose(f);
        }
        pstate.root_path[0] = pstate.cdata_path[0] = 0;
        vull_set_load_config_func(zibo6_load_config);
        vull_set_save_config_func(zibo6_save_config);
        vull_config_load();
        init_path(pstate.root_path, "carts/", "root_path");
        init_path(pstate.cdata_path, "cdata/", "cdata_path");
        EXPECT_EQ(vull_config_save(), 0);
        vull_set_load_config_func(nullptr);
        vull_set_save_config_func(nullptr);
    };
    auto written = [&] {
        FILE *f = fopen(config, "rb");
        std::string text;
        for (int c; f && (c = fgetc(f)) != EOF;) text += char(c);
        if (f) fclose(f);
        return text;
    };
    for (int run = 0; run < 2; run++) {
        start(run == 0 ? "root_path " + folder + "\ncdata_path " + folder + "\n" : "");
        EXPECT_EQ(std::string(pstate.root_path), folder);
        EXPECT_NE(written().find("root_path " + folder + "\n"), std::string::npos);
        EXPECT_NE(written().find("cdata_path " + folder + "\n"), std::string::npos);
    }
    char fallback[Z6_PATH_LEN];
    vull_prefix_with_appdata_path("carts/", fallback, sizeof fallback);
    for (int run = 0; run < 2; run++) {
        start(run == 0 ? "root_path " + too_long + "\ncdata_path " + missing + "\n" : "");
        EXPECT_STREQ(pstate.root_path, fallback); // this run only
        EXPECT_NE(written().find("root_path " + too_long + "\n"), std::string::npos);
        EXPECT_NE(written().find("cdata_path " + missing + "\n"), std::string::npos);
    }
    cconfig.home[0] = 0;
}

class Reboot : public ::testing::Test {
protected:
    void SetUp() override {
        if (zrun.L0_cart) lua_close(zrun.L0_cart); // an earlier test's boot VM
        zrun = zibo6_run_state{};
        app = app_state{};
        set_default_app_config();
        pstate = console_state{};
        dir = scratch_dir("reboot");
        snprintf(pstate.root_path, Z6_PATH_LEN, "%s", dir.c_str());
        snprintf(pstate.cdata_path, Z6_PATH_LEN, "%scdata/", dir.c_str());
        snprintf(pstate.current_folder, Z6_PATH_LEN, "games/");
        snprintf(pstate.current_filename, Z6_PATH_LEN, "%sgames/old.z6", dir.c_str());
        pstate.headless = 1;
        pstate.machine_mode = 1;
        pstate.pending_action = 3;
        pstate.fps = 60;
        pstate.console_ram[0x6000] = 0x12;
    }
    void TearDown() override {
        for (ctext *&t : pstate.code_tab) {
            vull_destroy_ctext(t);
            t = nullptr;
        }
        vull_destroy_zibo6_cart(pstate.memory_cart);
        vull_destroy_zibo6_cart(pitem.cart);
        pstate.memory_cart = pitem.cart = nullptr;
    }
    std::string dir;
};

TEST_F(Reboot, KeepsPathsAndFlagsAndStartsTheRestAfresh) {
    reboot_machine();
    EXPECT_EQ(std::string(pstate.root_path), dir);
    EXPECT_EQ(std::string(pstate.cdata_path), dir + "cdata/");
    EXPECT_STREQ(pstate.current_folder, "");
    EXPECT_EQ(std::string(pstate.current_filename), dir + "untitled.z6");
    EXPECT_EQ(pstate.headless, 1);
    EXPECT_EQ(pstate.fps, 30);
    EXPECT_EQ(pstate.console_ram[0x6000], 0);
    EXPECT_EQ(pstate.pending_action, 0);
    EXPECT_NE(pstate.memory_cart, nullptr);
    EXPECT_NE(pitem.cart, nullptr);
    EXPECT_EQ(cart_item_count, 1);
    for (ctext *t : pstate.code_tab) ASSERT_NE(t, nullptr);
    EXPECT_EQ(pstate.current_tab, 0);
}

// Words a cart wrote just before a reboot reach its file, and the store is closed: the
// next cart may open its own.
TEST_F(Reboot, CartDataWrittenJustBeforeIsSaved) {
    pstate.cart_code_running = 1;
    ASSERT_EQ(load_cdata("reboot_store"), 1);
    pstate.cartdata_words[0] = 0x2a;
    pstate.cartdata_dirty = 1;
    reboot_machine();
    FILE *f = fopen((dir + "cdata/reboot_store.z6d.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char text[9] = "";
    EXPECT_EQ(fread(text, 1, 8, f), 8u);
    fclose(f);
    EXPECT_STREQ(text, "0000002a");
    EXPECT_STREQ(cdata_id(), "");
}

TEST_F(Reboot, ScriptMemoryStaysAccountedThroughTheNewVm) {
    reset_lua_machine();
    ASSERT_NE(zrun.L0_cart, nullptr);
    ASSERT_EQ(luaL_loadstring(zrun.L0_cart, "t = {} for i = 1, 500 do t[i] = {i} end"), LUA_OK);
    ASSERT_EQ(lua_pcall(zrun.L0_cart, 0, 0, 0), LUA_OK);
    reboot_machine(); // the old VM is closed by the boot's reset, after the clear
    ASSERT_NE(zrun.L0_cart, nullptr);
    EXPECT_GT(pstate.host_memory_used, 0);
    lua_close(zrun.L0_cart);
    zrun = zibo6_run_state{};
    // Every block of both VMs came back: nothing is left counted, nor owed.
    EXPECT_EQ(pstate.script_memory_used, 0);
    EXPECT_EQ(pstate.host_memory_used, 0);
}

TEST_F(Reboot, TabStopsFollowTabWidthWithinOneToFour) {
    for (auto [width, stop] : {std::pair{0, 4}, {1, 4}, {3, 12}, {7, 16}}) {
        app.tab_width = width;
        reboot_machine();
        EXPECT_EQ(pstate.code_tab[0]->tab_width, stop) << width;
        EXPECT_EQ(pstate.code_tab[15]->tab_width, stop) << width;
        EXPECT_EQ(pstate.code_tab[0]->char_width, 4);
        EXPECT_EQ(pstate.code_tab[0]->line_height, 6);
    }
}

// The cart named on the command line is found from the folder the player runs in, a ':'
// in its name included, and the current folder follows where it lies under root_path.
TEST_F(Reboot, CommandLineCartIsTakenFromTheWorkingFolder) {
    std::string root = std::filesystem::canonical(dir).string() + "/";
    snprintf(pstate.root_path, Z6_PATH_LEN, "%s", root.c_str());
    snprintf(cconfig.home, sizeof cconfig.home, "%s", root.c_str());
    std::filesystem::create_directories(root + "sub");
    FILE *f = fopen((root + "sub/a:c.z6").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("zibo-6 cartridge\nversion 33\n__lua__\nx = 1\n", f);
    fclose(f);
    std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(root + "sub");
    snprintf(app.cart_path, sizeof app.cart_path, "a:c.z6");
    reboot_machine();
    pstate.frame = 40 - 4; // the step that loads the command-line cart
    move_boot();
    std::filesystem::current_path(was);
    cconfig.home[0] = 0;
    EXPECT_EQ(app.loaded, 1);
    EXPECT_EQ(std::string(pstate.current_filename), root + "sub/a:c.z6");
    EXPECT_STREQ(pstate.current_folder, "sub/");
}

TEST(CommandHistory, NewestFirstWithoutRepeatsAndBounded) {
    store_command("");
    EXPECT_EQ(command_history_count(), 0);
    store_command("ls");
    store_command("ls");
    store_command("run");
    ASSERT_EQ(command_history_count(), 2);
    EXPECT_STREQ(command_history_line(0), "run");
    EXPECT_STREQ(command_history_line(1), "ls");
    EXPECT_EQ(command_history_line(2), nullptr);
    for (int i = 0; i < 300; i++) store_command(("cd " + std::to_string(i)).c_str());
    EXPECT_EQ(command_history_count(), COMMAND_HISTORY);
    EXPECT_STREQ(command_history_line(0), "cd 299");
    EXPECT_STREQ(command_history_line(COMMAND_HISTORY - 1), "cd 44");
    std::string long_line(1000, 'x');
    store_command(long_line.c_str());
    EXPECT_EQ(strlen(command_history_line(0)), size_t(COMMAND_LINE_LEN - 1));
}

} // namespace
