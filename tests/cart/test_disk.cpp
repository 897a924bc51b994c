// The working cart's files: name variants, loading in any format, saving with
// its limits and backups, change detection, the sandbox patch, embedded carts,
// plain code files, screenshots and dropped pictures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/editor.h"
#include "cart/png_cart.h"
#include "cart/rom.h"
#include "console/mem.h"
#include "console/serial.h"
#include "cart/state.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/undo.h"
#include "cart/cdata.h"
#include "cart/textcode.h"
#include "platform/system.h"
#include "tests/console/run_test_util.h"
#include "tests/support/hostile_files.h"

namespace fs = std::filesystem;

namespace {

struct disk_test : ::testing::Test {
    z6run::Runtime rt;
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("z6_disk_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        clear_embedded_carts();
    }
    void TearDown() override {
        fs::remove_all(dir);
        clear_embedded_carts();
    }
    std::string path(const std::string &name) const { return (dir / name).string(); }
    std::string read(const std::string &name) const {
        std::ifstream f(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    void write(const std::string &name, const std::string &bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    void set_code(const std::string &code) {
        std::snprintf(pitem.cart->code, ZIBO6_CODE_SIZE, "%s", code.c_str());
        split_code_to_tabs();
    }
    std::string printed(const std::function<void()> &f) {
        testing::internal::CaptureStdout();
        f();
        return testing::internal::GetCapturedStdout();
    }
};

std::string variant(const char *name) {
    char out[VULL_PATH_LEN];
    inject_z6_extention(name, out);
    return out;
}

TEST(NameVariants, AddTheCartExtensionWhereItBelongs) {
    EXPECT_EQ(variant("game"), "game.z6");
    EXPECT_EQ(variant("dir/game.png"), "dir/game.z6.png");
    EXPECT_EQ(variant("game.rom"), "game.z6.rom");
    EXPECT_EQ(variant("shot.lua"), "shot.lua.z6");
    EXPECT_EQ(variant("GAME.Z6"), "GAME.Z6");
    EXPECT_EQ(variant("x.z6.png"), "x.z6.png");
    // The folder never decides: the file itself has no extension yet.
    EXPECT_EQ(variant("old.z6s/game"), "old.z6s/game.z6");
    EXPECT_EQ(variant("/home/a.z6/game.png"), "/home/a.z6/game.z6.png");
}

TEST_F(disk_test, SavesUnderTheVariantAndLoadsThroughIt) {
    set_code("-- game\nprint(1)\n");
    ASSERT_EQ(save_working_cart(path("game").c_str()), 0);
    EXPECT_TRUE(fs::exists(path("game.z6")));
    EXPECT_EQ(std::string(pstate.current_filename), path("game.z6"));
    ASSERT_EQ(save_working_cart(path("pic.png").c_str()), 0);
    EXPECT_TRUE(fs::exists(path("pic.z6.png")));
    ASSERT_EQ(save_working_cart(path("shot.lua").c_str()), 0);
    EXPECT_TRUE(fs::exists(path("shot.lua.z6")));

    set_code("other");
    ASSERT_EQ(load_working_cart(path("game").c_str()), 0);
    EXPECT_EQ(std::string(pstate.current_filename), path("game.z6"));
    EXPECT_STREQ(pitem.cart->code, "-- game\nprint(1)\n");
    ASSERT_EQ(load_working_cart(path("pic").c_str()), 0); // through "pic.z6" + ".png"
    EXPECT_EQ(std::string(pstate.current_filename), path("pic.z6.png"));
    EXPECT_EQ(load_working_cart(path("missing").c_str()), 1);
    EXPECT_EQ(std::string(pstate.current_filename), path("pic.z6.png")); // unchanged
}

TEST_F(disk_test, RomOfShortPlainCodeLoadsAgain) {
    set_code("x=1");
    pitem.cart->sprites->rows[1][2] = 9;
    ASSERT_EQ(save_working_cart(path("small.rom").c_str()), 0);
    ASSERT_EQ(fs::file_size(path("small.z6.rom")), 32768u);
    zibo6_cart *back = load_zibo6_cart_any_format(path("small.z6.rom").c_str());
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, "x=1");
    EXPECT_EQ(back->sprites->rows[1][2], 9);
    vull_destroy_zibo6_cart(back);
    // The same bytes under another name keep the rule: plain code is no image.
    fs::copy_file(path("small.z6.rom"), path("small.dat"));
    EXPECT_FALSE(load_zibo6_cart_any_format(path("small.dat").c_str()));
}

TEST_F(disk_test, CodeTooBigForThePngIsRefusedButSavedAsText) {
    std::mt19937 rng(5);
    std::string noise;
    for (int i = 0; i < 30000; i++) noise += char('!' + rng() % 90);
    set_code(noise);
    std::string out = printed([&] { EXPECT_EQ(save_working_cart(path("big.png").c_str()), 1); });
    EXPECT_NE(out.find("compressed code size too large"), std::string::npos) << out;
    EXPECT_NE(out.find(" / 15616 bytes"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(path("big.z6.png")));
    out = printed([&] { EXPECT_EQ(save_working_cart(path("big").c_str()), 0); });
    EXPECT_NE(out.find("warning: compressed code too big"), std::string::npos) << out;
    EXPECT_NE(out.find("(saving .z6 anyway)"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(path("big.z6")));
}

TEST_F(disk_test, OverwritingAnotherFileBacksItUpFirst) {
    write("victim.z6", "zibo-6 cartridge // x\nversion 33\n__lua__\nold\n");
    set_code("new");
    ASSERT_EQ(save_working_cart(path("victim.z6").c_str()), 0);
    char folder[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("backup/", folder);
    bool found = false;
    for (auto &e : fs::directory_iterator(folder))
        if (e.path().string().find("_victim.z6") != std::string::npos) {
            std::ifstream f(e.path());
            std::string text((std::istreambuf_iterator<char>(f)), {});
            found |= text.find("old") != std::string::npos;
            fs::remove(e.path());
        }
    EXPECT_TRUE(found);
}

TEST_F(disk_test, ExternalChangesAreSeenAndLoaded) {
    set_code("a=1");
    ASSERT_EQ(save_working_cart(path("w.z6").c_str()), 0);
    EXPECT_EQ(detect_external_changes(), 0);
    write("w.z6", "zibo-6 cartridge // x\nversion 33\n__lua__\na=2\n");
    EXPECT_EQ(detect_external_changes(), 1);
    do_quick_load();
    EXPECT_STREQ(pitem.cart->code, "a=2");
    EXPECT_EQ(detect_external_changes(), 0);
}

TEST_F(disk_test, SandboxPatchAppliesExactlyTheStoredBytes) {
    char hash[41];
    hash_cart(pitem.cart, hash);
    std::snprintf(pstate.cart_hash_loaded, sizeof pstate.cart_hash_loaded, "%s", hash);
    fs::remove(get_sandboxed_cstore_filename(hash));
    for (int i = 0; i < 4; i++) zibo6_poke(&pstate, pstate.memory_cart, 0x100 + i, 0x55);
    ASSERT_EQ(zibo6_cstore_to_file(nullptr, 0, 0x2000, 0x100, 4), 4);
    zibo6_cart *patch = vull_load_zibo6_cart(get_sandboxed_cstore_filename(hash));
    ASSERT_TRUE(patch);
    for (int a = 0; a < ZIBO6_ROM_DATA_SIZE; a++)
        ASSERT_EQ(bool(patch->change_mask[a >> 3] & (1 << (a & 7))), a >= 0x2000 && a < 0x2004)
            << a;
    vull_destroy_zibo6_cart(patch);

    // The cart as first loaded gets the patch on its next load.
    zibo6_cart *fresh = vull_create_zibo6_cart();
    prepare_loaded_cart(fresh, path("fresh.z6").c_str());
    EXPECT_EQ(zibo6_peek(nullptr, pitem.cart, 0x2000), 0x55);
    EXPECT_EQ(zibo6_peek(nullptr, pitem.cart, 0x2004), 0);
    fs::remove(get_sandboxed_cstore_filename(hash));
}

TEST_F(disk_test, ReloadReadsAnyFormatAndRefusesMissingFiles) {
    zibo6_cart *c = vull_create_zibo6_cart();
    zibo6_poke(nullptr, c, 0x10, 0x77);
    ASSERT_EQ(save_zibo6_cart_png(c, path("data.z6.png").c_str()), 0);
    vull_destroy_zibo6_cart(c);
    EXPECT_EQ(reload_cart_partial(path("data.z6.png").c_str(), 0x4300, 0x10, 1), 0);
    EXPECT_EQ(zibo6_peek(&pstate, pstate.memory_cart, 0x4300), 0x77);
    EXPECT_EQ(reload_cart_partial(path("none.z6").c_str(), 0x4300, 0, 1), 1);
}

TEST_F(disk_test, EmbeddedCartsAreFoundByNameAndVariant) {
    zibo6_cart *c = vull_create_zibo6_cart();
    std::strcpy(c->code, "print(1)");
    for (int i = 0; i < 64; i++)
        mount_embedded_cart(c, ("cart" + std::to_string(i) + ".z6").c_str());
    EXPECT_EQ(embedded_cart_count(), 64);
    mount_embedded_cart(c, "extra.z6");
    EXPECT_EQ(embedded_cart_count(), 64);
    EXPECT_FALSE(get_embedded_cart_hash_for_filename("extra.z6", 1));
    const char *h = get_embedded_cart_hash_for_filename("cart3", 1);
    ASSERT_TRUE(h);
    EXPECT_FALSE(get_embedded_cart_hash_for_filename("cart3", 0));
    EXPECT_STREQ(get_embedded_cart_filename_for_hash(h), "cart0.z6"); // same cart, first entry
    // Mounted carts read back from the virtual disk.
    zibo6_cart *back = vull_load_zibo6_cart("cart5.z6");
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, "print(1)");
    vull_destroy_zibo6_cart(back);
    vull_destroy_zibo6_cart(c);
}

// A cart mounted lazily is made only when its name is read or its hash looked up,
// once, and then reads back as an eagerly mounted one does.
int lazy_made[3];
zibo6_cart *lazy_cart(int key) {
    lazy_made[key]++;
    zibo6_cart *c = vull_create_zibo6_cart();
    std::snprintf(c->code, 64, "print(%d)", key);
    return c;
}

TEST_F(disk_test, LazyEmbeddedCartsAreMadeWhenFirstAskedFor) {
    std::fill(std::begin(lazy_made), std::end(lazy_made), 0);
    mount_embedded_cart_lazily("lazy0.z6", lazy_cart, 0);
    mount_embedded_cart_lazily("lazy1.z6", lazy_cart, 1);
    mount_embedded_cart_lazily("lazy2.z6", lazy_cart, 2);
    EXPECT_EQ(embedded_cart_count(), 3);
    EXPECT_STREQ(embedded_cart_name(1), "lazy1.z6");
    EXPECT_EQ(lazy_made[0] + lazy_made[1] + lazy_made[2], 0) << "nothing made at mount";

    zibo6_cart *back = vull_load_zibo6_cart("lazy1.z6");
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->code, "print(1)");
    vull_destroy_zibo6_cart(back);
    back = vull_load_zibo6_cart("lazy1.z6");
    ASSERT_TRUE(back);
    vull_destroy_zibo6_cart(back);
    EXPECT_EQ(lazy_made[1], 1) << "made once";
    EXPECT_EQ(lazy_made[0] + lazy_made[2], 0) << "other carts untouched";
    EXPECT_FALSE(vull_load_zibo6_cart("lazy9.z6"));

    const char *h = get_embedded_cart_hash_for_filename("lazy2", 1);
    ASSERT_TRUE(h);
    EXPECT_EQ(lazy_made[2], 1);
    EXPECT_EQ(lazy_made[0], 0);
    EXPECT_STREQ(get_embedded_cart_filename_for_hash(h), "lazy2.z6");
    EXPECT_EQ(lazy_made[0], 1) << "a hash lookup makes every pending cart";
}

TEST_F(disk_test, PlainCodeFilesInEveryUnit) {
    write("a.lua", "\xef\xbb\xbfprint(1)\r\nx=2");
    zibo6_cart *c = load_zibo6_cart_any_format(path("a.lua").c_str());
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->code, "print(1)\nx=2\n\n");
    vull_destroy_zibo6_cart(c);
    // UTF-16 little-endian: a unit with a high byte becomes escapes.
    write("w.lua", std::string("\xff\xfe"
                               "a\0\x34\x12",
                               6));
    c = load_zibo6_cart_lua(path("w.lua").c_str());
    ASSERT_TRUE(c);
    EXPECT_STREQ(c->code, "a_x34_x12\n\n");
    vull_destroy_zibo6_cart(c);
    // Escapes grow the text: a full file of them is cut at the code limit.
    write("big.lua", std::string("\xff\xfe") + std::string(131068, '\x7f'));
    c = load_zibo6_cart_lua(path("big.lua").c_str());
    ASSERT_TRUE(c);
    EXPECT_EQ(std::strlen(c->code), 65535u);
    vull_destroy_zibo6_cart(c);
    EXPECT_FALSE(load_zibo6_cart_any_format(path("missing.lua").c_str()));
}

TEST_F(disk_test, ScreenshotsWriteColourZeroAsOpaqueBlack) {
    vull_bitmap *b = vull_create_bitmap(128, 128, 8);
    b->rows[0][1] = 7;
    std::snprintf(pstate.current_filename, sizeof pstate.current_filename, "%s",
                  path("shot_cart.z6").c_str());
    ASSERT_EQ(save_png_screenshot(b, 2, 1), 0);
    char out[VULL_PATH_LEN];
    prefix_with_file_output_path("shot_cart_0.png", out, sizeof out);
    vull_bitmap *png = vull_load_png(out);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 256);
    uint32_t p0, p2;
    std::memcpy(&p0, png->rows[0], 4);
    std::memcpy(&p2, png->rows[0] + 8, 4);
    const vull_rgb &c0 = cart_display_colours()[0];
    EXPECT_EQ(p0, 0xff000000u | uint32_t(c0.r) << 16 | uint32_t(c0.g) << 8 | c0.b);
    EXPECT_NE(p0, p2);
    // Every source pixel covers a 2x2 block: pixel (1,0) is (2..3, 0..1), and
    // nothing else on those rows has its colour.
    EXPECT_EQ(png->height, 256);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) {
            uint32_t p;
            std::memcpy(&p, png->rows[y] + 4 * x, 4);
            EXPECT_EQ(p, y < 2 && (x == 2 || x == 3) ? p2 : p0) << x << "," << y;
        }
    vull_destroy_bitmap(png);
    vull_destroy_bitmap(b);
    fs::remove(out);
}

} // namespace

TEST_F(disk_test, SharedHalfFollowsWhicheverSideIsUsed) {
    zibo6_cart *cart = vull_create_zibo6_cart();
    ASSERT_NE(cart, nullptr);
    cart->sprites->rows[64][0] = 5, cart->sprites->rows[64][1] = 3;
    sync_shared_data_on_load(cart); // map half empty: the sheet wins
    EXPECT_EQ(cart->map->rows[32][0], 0x35);
    cart->map->rows[40][2] = 0x9a;
    sync_shared_data_on_load(cart); // map half used: the map wins
    EXPECT_EQ(cart->sprites->rows[80][4], 0xa);
    EXPECT_EQ(cart->sprites->rows[80][5], 0x9);
    sync_shared_data_on_load(nullptr);
    vull_destroy_zibo6_cart(cart);
}

TEST_F(disk_test, OlderOutputRuleUsesTheFolderHoldingABundle) {
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    fs::create_directories(path("Game.app/Contents/MacOS"));
    char out[VULL_PATH_LEN];
    ASSERT_EQ(chdir(path("").c_str()), 0);
    prefix_with_file_output_path____first_attempt("shot.png", out, sizeof out);
    EXPECT_EQ(fs::path(out), fs::current_path() / "shot.png");
    ASSERT_EQ(chdir(path("Game.app/Contents/MacOS").c_str()), 0);
    prefix_with_file_output_path____first_attempt("shot.png", out, sizeof out);
    EXPECT_EQ(fs::path(out), fs::canonical(path("")) / "shot.png");
    prefix_with_file_output_path____first_attempt(std::string(300, 'n').c_str(), out, 64);
    EXPECT_STREQ(out, "") << "a path that does not fit is not cut";
    ASSERT_EQ(chdir(old), 0);
}

TEST(CartFormats, TheFinalExtensionAloneDecides) {
    EXPECT_EQ(cart_file_format("game.z6"), CART_FILE_TEXT);
    EXPECT_EQ(cart_file_format("game.z6.png"), CART_FILE_PNG);
    EXPECT_EQ(cart_file_format("GAME.Z6.PNG"), CART_FILE_PNG);
    EXPECT_EQ(cart_file_format("game.z6.rom"), CART_FILE_ROM);
    EXPECT_EQ(cart_file_format("my.rom.z6"), CART_FILE_TEXT);
    EXPECT_EQ(cart_file_format("art.png.z6"), CART_FILE_TEXT);
    EXPECT_EQ(cart_file_format("shots.png/game.z6"), CART_FILE_TEXT);
    EXPECT_EQ(cart_file_format("old.rom/game"), CART_FILE_TEXT);
    EXPECT_EQ(cart_file_format(".png"), CART_FILE_PNG);
}

TEST_F(disk_test, AnEarlierDotOrAFolderNeverChoosesTheFormat) {
    set_code("-- kept whole\nprint(1)\n");
    pitem.cart->label = vull_create_bitmap(128, 128, 8);
    pitem.cart->label->rows[3][4] = 7;
    fs::create_directories(path("shots.png"));
    for (const char *name : {"my.rom.z6", "art.png.z6", "shots.png/inside"}) {
        ASSERT_EQ(save_working_cart(path(name).c_str()), 0) << name;
        std::string written = variant(name);
        EXPECT_EQ(read(written).rfind("zibo-6 cartridge", 0), 0u) << written;
        EXPECT_NE(read(written).find("__label__"), std::string::npos) << written;
    }
}

TEST_F(disk_test, AFailedBackupStopsTheSave) {
    // The file about to be replaced cannot be read whole: no backup, so no save.
    std::string old = "zibo-6 cartridge // x\nversion 33\n__lua__\n" + std::string(BACKUP_COPY_MAX, 'o');
    write("huge.z6", old);
    set_code("new");
    std::string out = printed([&] { EXPECT_EQ(save_working_cart(path("huge.z6").c_str()), 1); });
    EXPECT_NE(out.find("could not back up the old file"), std::string::npos) << out;
    EXPECT_EQ(read("huge.z6"), old);
}

// Progress a cart stored with cstore() comes back on the next load, however often it runs.
TEST_F(disk_test, UnnamedCstoreIsWhatTheNextLoadReads) {
    write("count.z6", "zibo-6 cartridge // x\nversion 33\n__lua__\n-- count " +
                          std::to_string(::getpid()) + "\n");
    for (int run = 0; run < 5; run++) {
        ASSERT_EQ(load_working_cart(path("count.z6").c_str()), 0);
        zibo6_reload(&pstate, pstate.memory_cart, 0, 0, 0x4300);
        hash_cart(pitem.cart, pstate.running_cart_hash); // as run_cart does
        int v = zibo6_peek(&pstate, pstate.memory_cart, 0);
        EXPECT_EQ(v, run);
        zibo6_poke(&pstate, pstate.memory_cart, 0, v + 1);
        ASSERT_EQ(zibo6_cstore_to_file(nullptr, 0, 0, 0, 1), 1);
    }
    fs::remove(get_sandboxed_cstore_filename(pstate.sandbox_hash));
}

// Progress stored under the hash of the patched cart (the earlier rule) is folded into the
// cart's own sandbox file once, and never read again after that.
TEST_F(disk_test, EarlierProgressIsFoldedInOnce) {
    write("old.z6", "zibo-6 cartridge // x\nversion 33\n__lua__\n-- old rule " +
                        std::to_string(::getpid()) + "\n");
    auto store = [](const char *hash, int value, int64_t age_s) {
        zibo6_cart *c = vull_create_zibo6_cart();
        std::memset(c->change_mask, 0, sizeof c->change_mask);
        zibo6_poke(nullptr, c, 0, value);
        c->change_mask[0] = 1;
        std::string file = get_sandboxed_cstore_filename(hash);
        EXPECT_EQ(vull_save_zibo6_cart(c, file.c_str()), 0);
        vull_destroy_zibo6_cart(c);
        fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::seconds(age_s));
    };
    ASSERT_EQ(load_working_cart(path("old.z6").c_str()), 0);
    std::string own = pstate.sandbox_hash;
    // The first run stored 1 under the cart's own hash; later runs stored 3 under the hash of
    // the cart with that 1 applied.
    store(own.c_str(), 1, 20);
    ASSERT_EQ(load_working_cart(path("old.z6").c_str()), 0);
    char patched[41];
    hash_cart(pitem.cart, patched);
    store(patched, 3, 10);

    ASSERT_EQ(load_working_cart(path("old.z6").c_str()), 0);
    EXPECT_EQ(zibo6_peek(nullptr, pitem.cart, 0), 3);
    EXPECT_STREQ(pstate.sandbox_hash, own.c_str());
    zibo6_cart *folded = vull_load_zibo6_cart(get_sandboxed_cstore_filename(own.c_str()));
    ASSERT_TRUE(folded);
    EXPECT_EQ(zibo6_peek(nullptr, folded, 0), 3);
    EXPECT_EQ(folded->change_mask[0], 1);
    vull_destroy_zibo6_cart(folded);

    // The player sets its progress back to 1: the stale file of the earlier rule, older
    // than the cart's own, is not read again.
    store(own.c_str(), 1, 0);
    ASSERT_EQ(load_working_cart(path("old.z6").c_str()), 0);
    EXPECT_EQ(zibo6_peek(nullptr, pitem.cart, 0), 1);
    fs::remove(get_sandboxed_cstore_filename(own.c_str()));
    fs::remove(get_sandboxed_cstore_filename(patched));
}

// Tools and exporters load a cart as the player does: the map's lower half, written as map
// rows 32-63, reaches the shared half of the sheet before the cart is written again.
TEST_F(disk_test, ThePreparedLoadKeepsTheMapsLowerHalf) {
    std::string text = "zibo-6 cartridge // x\nversion 33\n__lua__\nx=1\n__map__\n";
    for (int y = 0; y < 64; y++) {
        std::string row(256, '0');
        if (y == 40) row[2] = '3', row[3] = '5'; // cell 1 of row 40: 0x35
        text += row + "\n";
    }
    write("map64.z6", text);
    zibo6_cart *cart = load_prepared_cart(path("map64.z6").c_str());
    ASSERT_TRUE(cart);
    std::vector<uint8_t> image(CART_IMAGE_SIZE);
    ASSERT_EQ(save_zibo6_cart_32k(cart, image.data()), 0);
    EXPECT_EQ(image[0x1401], 0x35);
    vull_destroy_zibo6_cart(cart);
}

TEST_F(disk_test, ADroppedPictureBacksTheSheetUpForUndo) {
    vull_bitmap *picture = vull_create_bitmap(8, 8, 32);
    ASSERT_TRUE(picture);
    std::memset(picture->pixels, 0xff, 8 * 8 * 4);
    ASSERT_EQ(vull_save_png(path("dropped.png").c_str(), picture), 0);
    vull_destroy_bitmap(picture);
    pitem.cart->sprites->rows[3][4] = 9;
    vull_undo_stack *stack = pitem.cart->undo[ZIBO6_UNDO_SPRITES];
    ASSERT_TRUE(stack);
    ASSERT_FALSE(stack->current_state && stack->current_state->length > 0);

    std::snprintf(vull_state.dropped_file, sizeof vull_state.dropped_file, "%s",
                  path("dropped.png").c_str());
    handle_dropped_file();
    EXPECT_EQ(vull_state.dropped_file[0], 0);
    ASSERT_TRUE(stack->current_state && stack->current_state->length > 0);
    ASSERT_TRUE(zedit.gfx_backup);
    EXPECT_EQ(zedit.gfx_backup->backup->rows[3][4], 9); // the sheet as it was
    EXPECT_GT(get_serial_image_file_remaining(), 0);    // the picture went to its channel
    destroy_dbmp(zedit.gfx_backup);
}

// Every cart-layer reader refuses a pipe (without waiting on it), /dev/zero through a link
// and a file one byte past its bound, and reads the file at its bound.
TEST_F(disk_test, EveryReaderRefusesWhatIsNoFileOfItsSize) {
    auto as_cdata = [&](const std::string &p) { // the store "guarded" is p
        fs::remove(path("guarded.z6d.txt"));
        fs::create_symlink(p, path("guarded.z6d.txt"));
        std::snprintf(pstate.cdata_path, sizeof pstate.cdata_path, "%s/", dir.c_str());
        pstate.cart_code_running = 1;
        pstate.cartdata_words[0] = 0;
        bool read = load_cdata("guarded") == 0 && pstate.cartdata_words[0] == 1;
        pstate.cartdata_dirty = 0;
        clear_cdata();
        pstate.cart_code_running = 0;
        return read;
    };
    struct reader {
        const char *name;
        int64_t bound;
        std::function<bool(const std::string &)> reads;
        std::string line = "x";
        const char *ext = "";
    } readers[] = {
        {"bin", CART_BIN_SIZE,
         [](const std::string &p) {
             return zibo6_cart_owner(load_zibo6_cart_bin(p.c_str())) != nullptr;
         },
         std::string(1, '\0'), ".bin"},
        {"reload", CART_BIN_SIZE,
         [](const std::string &p) { return reload_cart_partial(p.c_str(), 0, 0, 1) == 0; },
         std::string(1, '\0'), ".bin"},
        {"cdata", CDATA_FILE_MAX, as_cdata, "00000001\n"},
        {"hex", HEX_CART_INPUT_MAX,
         [&](const std::string &p) {
             return convert_binary_file_to_hex(p.c_str(), path("hex.txt").c_str()) == 0;
         }},
    };
    for (const reader &r : readers) {
        hostile::file_set files = hostile::make(dir, r.name, r.bound, r.line, r.ext);
        EXPECT_TRUE(r.reads(files.at_bound)) << r.name;
        for (const std::string &p : files.refused) EXPECT_FALSE(r.reads(p)) << r.name << " " << p;
    }
}
