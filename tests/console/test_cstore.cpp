// reload() and cstore() with a file name: the names a cart may use, the round
// trip through a cart file under cstore/, the sandbox change mask and the
// limit of distinct targets.
#include <gtest/gtest.h>

#include <ctime>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/png_cart.h"
#include "console/mem.h"
#include "engine/mem.h"
#include "platform/system.h"
#include "tests/console/console_test_util.h"
#include "tests/support/write_limit.h"

using z6console::Console;

namespace {

int name_ok(const std::string &s) { return zibo6_cstore_name_ok(s.data(), s.size()); }

std::string unique(const char *stem) {
    return std::string(stem) + "_" + std::to_string(getpid()) + ".z6";
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string cstore_file(const std::string &name) {
    char path[VULL_PATH_LEN];
    vull_prefix_with_appdata_path(("cstore/" + name).c_str(), path, sizeof path);
    return path;
}

struct CstoreFolder {
    CstoreFolder() {
        char path[VULL_PATH_LEN];
        vull_prefix_with_appdata_path("cstore", path, sizeof path);
        vull_mkdir(path);
        cart_files_end_frame();
        vull_free(app.cstore_targets);
        app.cstore_targets = nullptr;
        app.cstore_target_count = 0;
    }
    ~CstoreFolder() {
        cart_files_end_frame();
        vull_free(app.cstore_targets);
        app.cstore_targets = nullptr;
        app.cstore_target_count = 0;
    }
};

} // namespace

TEST(Cstore, NamesACartMayUse) {
    EXPECT_EQ(name_ok("save.z6"), 1);
    EXPECT_EQ(name_ok("/save.z6"), 1); // one leading slash is dropped
    EXPECT_EQ(name_ok("sub/save.z6"), 1);
    EXPECT_EQ(name_ok("a..b.z6"), 1);
    EXPECT_EQ(name_ok("...z6"), 1);
    EXPECT_EQ(name_ok("//etc/passwd"), 0);
    EXPECT_EQ(name_ok(".."), 0);
    EXPECT_EQ(name_ok("../x.z6"), 0);
    EXPECT_EQ(name_ok("/../x.z6"), 0);
    EXPECT_EQ(name_ok("a/../../x.z6"), 0);
    EXPECT_EQ(name_ok("a/.."), 0);
    EXPECT_EQ(name_ok("a\\..\\x"), 0);
    EXPECT_EQ(name_ok(std::string("a\0b", 3)), 0);
    EXPECT_EQ(name_ok(""), 0);
    EXPECT_EQ(name_ok("/"), 0);
    EXPECT_EQ(name_ok(std::string(511, 'a')), 1);
    EXPECT_EQ(name_ok(std::string(512, 'a')), 0);
    // "." components go, so they cannot hide a reserved name; ".." and "__" stay refused.
    EXPECT_EQ(zibo6_cstore_name("./save.z6", 9), "save.z6");
    EXPECT_EQ(zibo6_cstore_name("/a/./b//c.z6", 12), "a/b/c.z6");
    EXPECT_EQ(name_ok("./__0123.z6"), 0);
    EXPECT_EQ(name_ok("/./__0123.z6"), 0);
    EXPECT_EQ(name_ok("a/./__x.z6"), 0);
    EXPECT_EQ(name_ok("sub/__x.z6"), 0);
    EXPECT_EQ(name_ok("__"), 0);
    EXPECT_EQ(name_ok("."), 0);
    EXPECT_EQ(name_ok("./"), 0);
    EXPECT_EQ(name_ok("a/"), 0);
    EXPECT_EQ(name_ok("a_b__c.z6"), 1);
}

TEST(Cstore, RoundTripThroughACartFile) {
    Console c;
    CstoreFolder f;
    std::string name = unique("round_trip");
    zibo6_poke(&pstate, c.cart(), 0x0000, 0x42);
    zibo6_poke(&pstate, c.cart(), 0x3205, 0x5a);
    EXPECT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 0x4300), 0x4300);
    EXPECT_EQ(vull_file_exists(cstore_file(name).c_str()), 1);
    zibo6_poke(&pstate, c.cart(), 0x0000, 0);
    zibo6_poke(&pstate, c.cart(), 0x3205, 0);
    std::string slashed = "/" + name;
    EXPECT_EQ(zibo6_reload_from_file(slashed.data(), slashed.size(), 0x4300, 0, 0x4300), 0x4300);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x4300), 0x42);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x7505), 0x5a); // 0x4300 + 0x3205: screen memory
    EXPECT_EQ(zibo6_reload_from_file(name.data(), name.size(), 0x3205, 0x3205, 1), 1);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x3205), 0x5a);
    // a file that is not there changes nothing
    std::string missing = unique("missing");
    zibo6_poke(&pstate, c.cart(), 0x4300, 7);
    EXPECT_EQ(zibo6_reload_from_file(missing.data(), missing.size(), 0x4300, 0, 16), 0);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x4300), 7);
    std::remove(cstore_file(name).c_str());
}

TEST(Cstore, RefusedNamesWriteNothing) {
    Console c;
    CstoreFolder f;
    for (std::string bad : {std::string("__reserved.z6"), std::string("../escape.z6"),
                            std::string("//abs.z6"), std::string("a\0b.z6", 6)}) {
        EXPECT_EQ(zibo6_cstore_to_file(bad.data(), bad.size(), 0, 0, 16), 0) << bad;
        EXPECT_EQ(zibo6_reload_from_file(bad.data(), bad.size(), 0, 0, 16), 0) << bad;
    }
    EXPECT_EQ(app.cstore_target_count, 0);
    char escaped[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("escape.z6", escaped, sizeof escaped);
    EXPECT_EQ(vull_file_exists(escaped), 0);
}

TEST(Cstore, SandboxMaskCoversOnlyTheStoredRomBytes) {
    Console c;
    CstoreFolder f;
    std::string hash(40, 'a');
    hash.replace(0, 8, std::to_string(10000000 + getpid() % 10000000));
    std::snprintf(pstate.running_cart_hash, sizeof pstate.running_cart_hash, "%s", hash.c_str());
    zibo6_poke(&pstate, c.cart(), 0x4201, 0x3c);
    // a range running past the ROM data: the mask stops at 0x42ff
    EXPECT_EQ(zibo6_cstore_to_file(nullptr, 0, 0x4200, 0x4200, 0x200), 0x200);
    EXPECT_EQ(zibo6_peek(nullptr, pitem.cart, 0x4201), 0x3c); // also the working cart
    std::string file = cstore_file("__" + hash + ".z6");
    zibo6_cart *patch = vull_load_zibo6_cart(file.c_str());
    ASSERT_NE(patch, nullptr);
    for (int a = 0; a < ZIBO6_ROM_DATA_SIZE; a++)
        ASSERT_EQ((patch->change_mask[a >> 3] >> (a & 7)) & 1, a >= 0x4200 ? 1 : 0) << a;
    EXPECT_EQ(zibo6_peek(nullptr, patch, 0x4201), 0x3c);
    vull_destroy_zibo6_cart(patch);
    std::remove(file.c_str());
    pstate.running_cart_hash[0] = '\0';
}

TEST(Cstore, AtMost256DistinctTargets) {
    Console c;
    CstoreFolder f;
    std::vector<std::string> names;
    for (int i = 0; i < 257; i++) names.push_back(unique(("target" + std::to_string(i)).c_str()));
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(zibo6_cstore_to_file(names[i].data(), names[i].size(), 0, 0, 1), 1) << i;
    EXPECT_EQ(zibo6_cstore_to_file(names[256].data(), names[256].size(), 0, 0, 1), 0);
    EXPECT_EQ(vull_file_exists(cstore_file(names[256]).c_str()), 0);
    // a target already written stays writable
    EXPECT_EQ(zibo6_cstore_to_file(names[3].data(), names[3].size(), 0, 0, 1), 1);
    for (const std::string &n : names) std::remove(cstore_file(n).c_str());
}

// Another cart's sandbox file cannot be reached by dressing its name up.
TEST(Cstore, SandboxFilesOfOtherCartsAreOutOfReach) {
    Console c;
    CstoreFolder f;
    std::string hash(40, 'b');
    hash.replace(0, 8, std::to_string(10000000 + getpid() % 10000000));
    std::string file = cstore_file("__" + hash + ".z6");
    zibo6_cart *patch = vull_create_zibo6_cart();
    std::memset(patch->change_mask, 0, sizeof patch->change_mask);
    zibo6_poke(nullptr, patch, 0, 0x11);
    patch->change_mask[0] = 1;
    ASSERT_EQ(vull_save_zibo6_cart(patch, file.c_str()), 0);
    vull_destroy_zibo6_cart(patch);
    std::string before = read_file(file);
    zibo6_poke(&pstate, c.cart(), 0, 0x99);
    for (std::string name : {"./__" + hash + ".z6", "/./__" + hash + ".z6", "x/../__" + hash + ".z6"}) {
        EXPECT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 0x4300), 0) << name;
        EXPECT_EQ(zibo6_reload_from_file(name.data(), name.size(), 0, 0, 1), 0) << name;
    }
    EXPECT_EQ(read_file(file), before);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0), 0x99);
    std::remove(file.c_str());
}

// Only a missing target becomes a new cart: one that exists but does not load (a future
// version, damage, not a cart at all) keeps its bytes and cstore returns 0.
TEST(Cstore, ATargetThatDoesNotLoadIsLeftAlone) {
    Console c;
    CstoreFolder f;
    std::string future = unique("future"), junk = unique("junk"), png = unique("junk") + ".png";
    std::ofstream(cstore_file(future)) << "zibo-6 cartridge // x\nversion 34\n__lua__\nkeep me\n";
    std::ofstream(cstore_file(junk)) << "not a cart at all";
    std::ofstream(cstore_file(png)) << "not a png either";
    for (const std::string &name : {future, junk, png}) {
        std::string before = read_file(cstore_file(name));
        EXPECT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 16), 0) << name;
        EXPECT_EQ(read_file(cstore_file(name)), before) << name;
        std::remove(cstore_file(name).c_str());
    }
    std::string fresh = unique("fresh");
    EXPECT_EQ(zibo6_cstore_to_file(fresh.data(), fresh.size(), 0, 0, 16), 16);
    EXPECT_EQ(read_file(cstore_file(fresh)).rfind("zibo-6 cartridge", 0), 0u);
    std::remove(cstore_file(fresh).c_str());
}

// A named target is an ordinary cart: whatever mask it had is not written back, so it can
// never act as a patch.
TEST(Cstore, ANamedTargetCarriesNoChangeMask) {
    Console c;
    CstoreFolder f;
    std::string name = unique("masked");
    zibo6_cart *cart = vull_create_zibo6_cart();
    std::memset(cart->change_mask, 0, sizeof cart->change_mask);
    cart->change_mask[0] = 1;
    ASSERT_EQ(vull_save_zibo6_cart(cart, cstore_file(name).c_str()), 0);
    vull_destroy_zibo6_cart(cart);
    ASSERT_NE(read_file(cstore_file(name)).find("__change_mask__"), std::string::npos);
    EXPECT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 16), 16);
    EXPECT_EQ(read_file(cstore_file(name)).find("__change_mask__"), std::string::npos);
    std::remove(cstore_file(name).c_str());
}

// Targets are loaded as the player loads a cart and written back in the format their name
// gives: a map's lower half written as map rows 32-63 is what reload() reads from the shared
// half and what a cstore() keeps, an old cart keeps its legacy fix-ups once rewritten, and a
// ".rom" target stays a ROM.
TEST(Cstore, TargetsAreLoadedAsThePlayerLoadsThem) {
    Console c;
    CstoreFolder f;
    std::string map64 = unique("map64");
    std::string text = "zibo-6 cartridge // x\nversion 33\n__lua__\nx=1\n__map__\n";
    for (int y = 0; y < 64; y++) {
        std::string row(256, '0');
        if (y == 40) row[2] = '3', row[3] = '5'; // cell 1 of row 40: ROM byte 0x1401
        text += row + "\n";
    }
    std::ofstream(cstore_file(map64)) << text;
    EXPECT_EQ(zibo6_reload_from_file(map64.data(), map64.size(), 0x4300, 0x1401, 1), 1);
    EXPECT_EQ(zibo6_peek(&pstate, pstate.memory_cart, 0x4300), 0x35);
    zibo6_poke(&pstate, pstate.memory_cart, 0x4300, 0x22);
    EXPECT_EQ(zibo6_cstore_to_file(map64.data(), map64.size(), 0x3000, 0x4300, 1), 1);
    zibo6_poke(&pstate, pstate.memory_cart, 0x4300, 0);
    EXPECT_EQ(zibo6_reload_from_file(map64.data(), map64.size(), 0x4300, 0x1401, 1), 1);
    EXPECT_EQ(zibo6_peek(&pstate, pstate.memory_cart, 0x4300), 0x35) << read_file(cstore_file(map64));
    std::remove(cstore_file(map64).c_str());

    // Version 8: effect 1 at volume 0 was silent; the rewritten cart says so in its own terms.
    std::string v8 = unique("v8");
    std::string sfx = "0001000018601";
    for (int i = 0; i < 31; i++) sfx += "00000";
    std::ofstream(cstore_file(v8)) << "zibo-6 cartridge // x\nversion 8\n__lua__\nx=1\n__sfx__\n"
                                   << sfx << "\n";
    EXPECT_EQ(zibo6_cstore_to_file(v8.data(), v8.size(), 0x3000, 0x4300, 1), 1);
    EXPECT_NE(read_file(cstore_file(v8)).find("\n000100001860000000"), std::string::npos)
        << read_file(cstore_file(v8));
    std::remove(cstore_file(v8).c_str());

    std::string rom = unique("image") + ".rom";
    zibo6_poke(&pstate, pstate.memory_cart, 0x4300, 0x5c);
    EXPECT_EQ(zibo6_cstore_to_file(rom.data(), rom.size(), 0x10, 0x4300, 1), 1);
    std::string image = read_file(cstore_file(rom));
    ASSERT_EQ(image.size(), 0x8000u);
    EXPECT_EQ(uint8_t(image[0x10]), 0x5c);
    zibo6_poke(&pstate, pstate.memory_cart, 0x4300, 0x6d);
    EXPECT_EQ(zibo6_cstore_to_file(rom.data(), rom.size(), 0x11, 0x4300, 1), 1);
    image = read_file(cstore_file(rom));
    ASSERT_EQ(image.size(), 0x8000u);
    EXPECT_EQ(uint8_t(image[0x10]), 0x5c);
    EXPECT_EQ(uint8_t(image[0x11]), 0x6d);
    std::remove(cstore_file(rom).c_str());
}

// A cart moving one byte a call in a loop, as many calls as a frame's cycles allow: the
// file is loaded once a frame, a store that changes nothing is not written again, a reload
// sees what a store before it wrote, and a store that cannot be written returns 0 and is
// not seen by the reloads after it.
TEST(Cstore, OneByteCallsInALoopCostOneLoadAFrame) {
    Console c;
    CstoreFolder f;
    std::string name = unique("flood") + ".png", path = cstore_file(name);
    for (int a = 0; a < 0x4300; a++) zibo6_poke(&pstate, c.cart(), a, (a * 7) & 255);
    ASSERT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 0, 0, 0x4300), 0x4300);
    cart_files_end_frame();
    std::string once = unique("once") + ".png";
    std::ofstream(cstore_file(once), std::ios::binary) << read_file(path);

    double start = z6console::thread_cpu_seconds();
    for (int i = 0; i < 4000; i++)
        ASSERT_EQ(zibo6_reload_from_file(name.data(), name.size(), 0x4300 + i % 64, i % 64, 1), 1);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x4305), 35);
    zibo6_poke(&pstate, c.cart(), 0x4300, 0x77);
    for (int i = 0; i < 1500; i++)
        ASSERT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 5, 0x4300, 1), 1);
    double seconds = z6console::thread_cpu_seconds() - start;
    EXPECT_LT(seconds, 2.0); // about 5 s a frame when each call loaded and wrote the file
    zibo6_poke(&pstate, c.cart(), 0x4400, 0);
    EXPECT_EQ(zibo6_reload_from_file(name.data(), name.size(), 0x4400, 5, 1), 1);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x4400), 0x77);

    // The file holds what one store of the same byte writes.
    cart_files_end_frame();
    ASSERT_EQ(zibo6_cstore_to_file(once.data(), once.size(), 5, 0x4300, 1), 1);
    cart_files_end_frame();
    std::string bytes = read_file(path);
    EXPECT_EQ(bytes, read_file(cstore_file(once)));
    zibo6_cart *stored = load_zibo6_cart_png_from_bytes(
        reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(zibo6_peek(nullptr, stored, 5), 0x77);
    EXPECT_EQ(zibo6_peek(nullptr, stored, 6), 42);
    vull_destroy_zibo6_cart(stored);

    // A disk that is full: 0, the file keeps its bytes, and a reload reads the file.
    zibo6_poke(&pstate, c.cart(), 0x4300, 0x99);
    {
        z6test::write_limit full(0);
        EXPECT_EQ(zibo6_cstore_to_file(name.data(), name.size(), 5, 0x4300, 1), 0);
    }
    EXPECT_EQ(read_file(path), bytes);
    EXPECT_EQ(zibo6_reload_from_file(name.data(), name.size(), 0x4400, 5, 1), 1);
    EXPECT_EQ(zibo6_peek(&pstate, c.cart(), 0x4400), 0x77);
    std::remove(path.c_str());
    std::remove(cstore_file(once).c_str());

    // A different byte every call, to a PNG, a text cart and a ROM image: each call leaves a
    // whole cart holding what it stored (looked at part-way, as another program would), and
    // the frame's end leaves the bytes one load-store-save of the final memory writes.
    for (const char *ext : {".png", ".z6", ".rom"}) {
        std::string changing = unique("changing") + ext, single = unique("single") + ext;
        std::string file = cstore_file(changing);
        ASSERT_EQ(zibo6_cstore_to_file(changing.data(), changing.size(), 0, 0, 0x4300), 0x4300);
        cart_files_end_frame();
        std::ofstream(cstore_file(single), std::ios::binary) << read_file(file);
        zibo6_cart *before = load_prepared_cart(file.c_str());
        ASSERT_NE(before, nullptr) << ext;
        start = z6console::thread_cpu_seconds();
        for (int i = 0; i < 1500; i++) {
            zibo6_poke(&pstate, c.cart(), 0x4300, i & 255);
            int at = 5 + i % 3;
            ASSERT_EQ(zibo6_cstore_to_file(changing.data(), changing.size(), at, 0x4300, 1), 1)
                << ext << " " << i;
            if (i == 700 || i == 701) { // the draft, and the draft updated
                zibo6_cart *now = load_prepared_cart(file.c_str());
                ASSERT_NE(now, nullptr) << ext << " " << i;
                EXPECT_EQ(zibo6_peek(nullptr, now, 5 + i % 3), i & 255) << ext;
                EXPECT_EQ(zibo6_peek(nullptr, now, 5 + (i + 2) % 3), (i - 1) & 255) << ext;
                EXPECT_EQ(zibo6_peek(nullptr, now, 9), 63) << ext;
                // the picture too: the label read back from it is the one the cart had
                ASSERT_EQ(now->label == nullptr, before->label == nullptr) << ext;
                for (int y = 0; now->label && y < ZIBO6_SHEET_SIZE; y++) {
                    const uint8_t *row = now->label->rows[y], *was = before->label->rows[y];
                    ASSERT_EQ(std::memcmp(row, was, ZIBO6_SHEET_SIZE), 0) << ext << " row " << y;
                }
                vull_destroy_zibo6_cart(now);
            }
        }
        seconds = z6console::thread_cpu_seconds() - start;
        EXPECT_LT(seconds, 2.0) << ext; // 15 s (PNG), 6 s (text) encoding the whole cart a call
        vull_destroy_zibo6_cart(before);
        cart_files_end_frame();
        for (int k = 0; k < 3; k++) zibo6_poke(&pstate, c.cart(), 0x4300 + k, (1497 + k) & 255);
        ASSERT_EQ(zibo6_cstore_to_file(single.data(), single.size(), 5, 0x4300, 3), 3);
        cart_files_end_frame();
        EXPECT_EQ(read_file(file), read_file(cstore_file(single))) << ext;
        std::remove(file.c_str());
        std::remove(cstore_file(single).c_str());
    }
}
