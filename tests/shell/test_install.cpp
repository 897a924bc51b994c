// Installing demo carts and preloaded board carts from data file entries 3 and 6.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/shell_hooks.h"
#include "console/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "platform/system.h"

namespace {

namespace fs = std::filesystem;

cbuffer *buffer_of(const std::string &bytes) {
    cbuffer *b = vull_create_buffer(int(bytes.size()) + 1);
    vull_fwrite(bytes.data(), 1, int(bytes.size()), b);
    return b;
}

// A POD of file items holding the given texts, as the bytes of a POD file.
cbuffer *pod_bytes(const std::vector<std::string> &items, const std::string &scratch) {
    cpod *pod = vull_create_pod(8);
    for (const std::string &s : items) cpod_add_item(pod, CPOD_FILE, buffer_of(s));
    EXPECT_EQ(vull_save_pod(scratch.c_str(), pod), 0);
    vull_destroy_pod(pod);
    return vull_load_file(scratch.c_str());
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Install : ::testing::Test {
    std::string root;
    cpod *data = nullptr;
    Install() {
        root = std::string(std::getenv("HOME")) + "/install-" + std::to_string(getpid()) + "/";
        fs::remove_all(root);
        fs::create_directories(root);
        std::snprintf(pstate.root_path, sizeof pstate.root_path, "%s", root.c_str());
        pstate.headless = 1;
    }
    ~Install() override {
        vull_destroy_pod(data);
        pstate.data_pod = nullptr;
        pstate.headless = 0;
        fs::remove_all(root);
    }
    // A data file whose entries 3 and 6 are the given files (null: a placeholder).
    void make_data(cbuffer *entry3, cbuffer *entry6) {
        data = vull_create_pod(8);
        for (int slot = 0; slot < 8; slot++) {
            cbuffer *item = slot == 3 ? entry3 : slot == 6 ? entry6 : nullptr;
            if (item)
                cpod_add_item(data, CPOD_FILE, item);
            else
                cpod_get_free_item(data);
        }
        pstate.data_pod = data;
    }
};

TEST_F(Install, DemosAndGamesComeFromTheirEntries) {
    make_data(pod_bytes({"-- first demo", "-- second demo"}, root + "demos.pod"),
              pod_bytes({"unused", "png one", "png two"}, root + "games.pod"));
    testing::internal::CaptureStdout();
    install_demo_carts();
    install_demo_carts(); // a second install overwrites the same files
    install_preloaded_bbs_carts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("installing demo carts to /demos/"), std::string::npos) << out;
    // two items for twelve names: only two files, no reading past the pod
    EXPECT_EQ(slurp(root + "demos/hello.z6"), "-- first demo");
    EXPECT_EQ(slurp(root + "demos/bounce.z6"), "-- second demo");
    EXPECT_FALSE(fs::exists(root + "demos/sprites.z6"));
    EXPECT_EQ(slurp(root + "games/pebble_hop.z6.png"), "png one");
    EXPECT_EQ(slurp(root + "games/lantern_keep.z6.png"), "png two");
    char cache[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("bbs/carts/10002.z6.png", cache, sizeof cache);
    EXPECT_EQ(slurp(cache), "png two");
    EXPECT_NE(out.find("lantern keep"), std::string::npos) << out;
}

TEST_F(Install, EntriesThatAreNoPodsInstallNothing) {
    make_data(buffer_of(std::string(0x8000, '\0')), nullptr);
    testing::internal::CaptureStdout();
    install_demo_carts();
    install_preloaded_bbs_carts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("no demo carts in data file"), std::string::npos) << out;
    EXPECT_NE(out.find("no preloaded games in data file"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(root + "demos"));
    EXPECT_FALSE(fs::exists(root + "games"));
}

TEST_F(Install, AnUnwritableFolderStopsWithAMessage) {
    make_data(pod_bytes({"-- demo"}, root + "demos.pod"), nullptr);
    fs::create_directories(root + "demos/hello.z6"); // a folder where the cart would go
    testing::internal::CaptureStdout();
    install_demo_carts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("could not write to disk"), std::string::npos) << out;
}

} // namespace
