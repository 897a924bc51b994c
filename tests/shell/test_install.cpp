// Installing demo carts and preloaded board carts from data file entries 8 and 6,
// from made-up data files and from the real data.pod.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "platform/system.h"
#include "shell/browse.h"
#include "shell/zibo6.h"
#include "tests/support/write_limit.h"

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
    return vull_load_file(scratch.c_str(), VULL_READ_MAX);
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
    // A data file whose entries 8 (demos) and 6 (games) are the given files (null: a placeholder).
    void make_data(cbuffer *demos, cbuffer *games) {
        data = vull_create_pod(9);
        for (int slot = 0; slot < 9; slot++) {
            cbuffer *item = slot == 8 ? demos : slot == 6 ? games : nullptr;
            if (item)
                cpod_add_item(data, CPOD_FILE, item);
            else
                cpod_get_free_item(data);
        }
        pstate.data_pod = data;
    }
};

std::string cache_file(const char *id) {
    char path[VULL_PATH_LEN];
    get_bbs_cart_filename(id, path, sizeof path);
    return path;
}

TEST_F(Install, DemosAndGamesComeFromTheirEntries) {
    make_data(pod_bytes({"-- first demo", "-- second demo"}, root + "demos.pod"),
              pod_bytes({"unused", "png one", "png two"}, root + "games.pod"));
    testing::internal::CaptureStdout();
    install_demo_carts();
    install_demo_carts(); // a second install overwrites the same files
    install_preloaded_bbs_carts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("installing demo carts to /demos/"), std::string::npos) << out;
    // two items for three names: only two files, no reading past the pod
    EXPECT_EQ(slurp(root + "demos/shapes.z6"), "-- first demo");
    EXPECT_EQ(slurp(root + "demos/chimes.z6"), "-- second demo");
    EXPECT_FALSE(fs::exists(root + "demos/buttons.z6"));
    EXPECT_EQ(slurp(root + "games/orchard.z6.png"), "png one");
    EXPECT_EQ(slurp(root + "games/comets.z6.png"), "png two");
    // The cache is where the browser and the board client look for the id.
    char bbs[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("bbs/1/10002.z6.png", bbs, sizeof bbs);
    EXPECT_EQ(cache_file("10002"), bbs);
    EXPECT_EQ(slurp(bbs), "png two");
    EXPECT_NE(out.find("comets"), std::string::npos) << out;
}

TEST_F(Install, AGameThatCouldNotBeCopiedIsNotListed) {
    make_data(nullptr, pod_bytes({"unused", "png one", "png two"}, root + "games.pod"));
    fs::create_directories(root + "games/comets.z6.png"); // a folder where the copy would go
    testing::internal::CaptureStdout();
    install_preloaded_bbs_carts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("orchard"), std::string::npos) << out;
    EXPECT_EQ(out.find("comets"), std::string::npos) << out;
    EXPECT_NE(out.find("could not write to disk"), std::string::npos) << out;
}

TEST_F(Install, AFullDiskKeepsTheFilesThatWereThere) {
    make_data(pod_bytes({std::string(5000, 'd')}, root + "demos.pod"),
              pod_bytes({"unused", std::string(5000, 'g')}, root + "games.pod"));
    fs::create_directories(root + "demos");
    fs::create_directories(root + "games");
    std::ofstream(root + "demos/shapes.z6") << "old demo";
    std::ofstream(root + "games/orchard.z6.png") << "old game";
    std::ofstream(cache_file("10001")) << "old cache";
    testing::internal::CaptureStdout();
    {
        z6test::write_limit full(1000);
        install_demo_carts();
        install_preloaded_bbs_carts();
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("could not write to disk"), std::string::npos) << out;
    EXPECT_EQ(slurp(root + "demos/shapes.z6"), "old demo");
    EXPECT_EQ(slurp(root + "games/orchard.z6.png"), "old game");
    EXPECT_EQ(slurp(cache_file("10001")), "old cache");
}

// The data file the build makes: every demo and game the installers name is there, the
// demos as the text carts under assets/, the games as PNG carts of the same carts.
TEST_F(Install, TheBuiltDataFileCarriesOurDemosAndGames) {
    const char *bin = std::getenv("ZIBO6_BINARY_DIR"), *src = std::getenv("ZIBO6_SOURCE_DIR");
    ASSERT_TRUE(bin && src);
    data = vull_load_pod((std::string(bin) + "/data.pod").c_str());
    ASSERT_NE(data, nullptr);
    pstate.data_pod = data;
    vull_file *res_file = pod_file_entry(data, 1);
    ASSERT_NE(res_file, nullptr);
    cpod *res = vull_load_pod_file("", res_file);
    auto *pal = static_cast<vull_palette_rec *>(cpod_get_item(res, 1, CPOD_PALETTE));
    ASSERT_NE(pal, nullptr);
    vull_palette_rec *saved = vull_palette;
    vull_palette_rec palette = *pal;
    vull_palette = &palette;
    vull_destroy_pod(res);
    testing::internal::CaptureStdout();
    install_demo_carts();
    install_preloaded_bbs_carts();
    std::string out = testing::internal::GetCapturedStdout();
    std::string assets = std::string(src) + "/assets/carts/";
    for (const char *demo : {"shapes.z6", "chimes.z6", "buttons.z6"})
        EXPECT_EQ(slurp(root + "demos/" + demo), slurp(assets + "demos/" + demo)) << demo;
    for (const char *game : {"orchard", "comets"}) {
        std::string installed = root + "games/" + game + ".z6.png";
        zibo6_cart *png = load_zibo6_cart_png(installed.c_str());
        zibo6_cart *text = vull_load_zibo6_cart((assets + game + ".z6").c_str());
        ASSERT_NE(png, nullptr) << game;
        ASSERT_NE(text, nullptr) << game;
        char a[41], b[41];
        hash_cart(png, a);
        hash_cart(text, b);
        EXPECT_STREQ(a, b) << game;
        // Each game has its label, read back from the picture in the data file's palette.
        ASSERT_TRUE(png->label && text->label) << game;
        int lit = 0, same = 0;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) {
                lit += text->label->rows[y][x] != 0;
                same += png->label->rows[y][x] == text->label->rows[y][x];
            }
        EXPECT_GT(lit, 128 * 128 / 2) << game;
        EXPECT_EQ(same, 128 * 128) << game;
        vull_destroy_zibo6_cart(png);
        vull_destroy_zibo6_cart(text);
    }
    vull_palette = saved;
    EXPECT_EQ(slurp(cache_file("10001")), slurp(root + "games/orchard.z6.png"));
    EXPECT_EQ(slurp(cache_file("10002")), slurp(root + "games/comets.z6.png"));
    // The boot's entries stay as they were: the head cart is entry 3, a whole cart image.
    vull_file *head = pod_file_entry(data, 3);
    ASSERT_NE(head, nullptr);
    EXPECT_STREQ(head->name, "head.z6");
    EXPECT_EQ(head->length, 32768);
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
    fs::create_directories(root + "demos/shapes.z6"); // a folder where the cart would go
    testing::internal::CaptureStdout();
    install_demo_carts();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("could not write to disk"), std::string::npos) << out;
}

} // namespace
