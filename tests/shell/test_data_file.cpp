// data.pod as the build makes it and as the player checks it: the entries the
// player reads, the font drawn as a table against a stored picture, and
// foreign, damaged or truncated data files refused without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/rom.h"
#include "cart/state.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "shell/boot.h"
#include "shell/zibo6.h"
#include "tests/support/sweep.h"

namespace {

std::string env_path(const char *var, const char *rest) {
    const char *dir = getenv(var);
    return std::string(dir ? dir : ".") + rest;
}

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
    fclose(f);
    return bytes;
}

// Opened as the player opens data.pod: entry by entry as they are asked for.
cpod *pod_from(std::vector<uint8_t> &bytes, size_t length) {
    return vull_open_pod_file(vull_fopen_memory(bytes.data(), int(length)));
}

cbuffer *file_item(const char *name, const void *data, int n) {
    cbuffer *b = vull_create_buffer(n);
    if (n) cbuffer_add_data(b, data, n);
    snprintf(b->name, sizeof b->name, "%s", name);
    return b;
}

cbuffer *serialised(cpod *pod) {
    cbuffer *b = vull_create_buffer(0);
    vull_save_pod_file("", pod, b);
    vull_destroy_pod(pod);
    return b;
}

class DataFile : public ::testing::Test {
protected:
    std::vector<uint8_t> bytes = read_bytes(env_path("ZIBO6_BINARY_DIR", "/data.pod"));
    void SetUp() override { ASSERT_FALSE(bytes.empty()) << "data.pod was not built"; }
    void TearDown() override { close_data_file(); }
};

TEST_F(DataFile, EntriesAreReadWhenAskedFor) {
    ASSERT_TRUE(open_data_file(pod_from(bytes, bytes.size())));
    // Opening reads what every run needs; the carts and the large pictures wait. An entry
    // under 4 KB costs less to read at once than to find again later.
    for (int slot = 3; slot < pstate.data_pod->capacity; slot++) {
        if (pstate.data_pod->position[slot] >= pstate.data_pod->count) continue;
        if (pstate.data_pod->types[slot] == CPOD_LAZY) continue;
        ASSERT_EQ(pstate.data_pod->types[slot], CPOD_FILE) << slot;
        auto *small = static_cast<vull_file *>(cpod_get_item(pstate.data_pod, slot, CPOD_FILE));
        ASSERT_TRUE(small) << slot;
        EXPECT_LT(small->length, 4096) << slot;
    }
    EXPECT_EQ(pstate.resource_pod->types[RES_ICON], CPOD_LAZY);
    EXPECT_NE(pstate.resource_pod->types[RES_PALETTE], CPOD_LAZY);
    EXPECT_NE(cpod_get_item(pstate.resource_pod, RES_ICON, CPOD_BITMAP), nullptr);
}

// The boot mounts every cart image of the data file without reading the other
// entries: the exporter's runtimes (entry 7) are megabytes of programs.
TEST_F(DataFile, MountingTheCartsLeavesTheRuntimesUnread) {
    vull_file *in = vull_fopen_memory(bytes.data(), int(bytes.size()));
    cpod *built = vull_load_pod_file("", in);
    vull_fclose(in);
    ASSERT_NE(built, nullptr);
    ASSERT_GE(built->count, 9);
    cpod *pod = vull_create_pod(10);
    std::vector<uint8_t> program(1 << 20, 0x7f);
    for (int slot = 0; slot < 9; slot++) {
        auto *f = static_cast<vull_file *>(cpod_get_item(built, slot, CPOD_FILE));
        ASSERT_NE(f, nullptr) << slot;
        cpod_add_item(pod, CPOD_FILE,
                      slot == 7 ? file_item("runtimes.pod", program.data(), int(program.size()))
                                : file_item(f->name, f->data, f->length));
    }
    auto *cart = static_cast<vull_file *>(cpod_get_item(built, 4, CPOD_FILE));
    ASSERT_EQ(cart->length, DATA_CART_IMAGE);
    cpod_add_item(pod, CPOD_FILE, file_item("after.z6", cart->data, cart->length));
    vull_destroy_pod(built);
    cbuffer *file = serialised(pod);
    std::vector<uint8_t> data(file->data, file->data + file->length);
    vull_destroy_buffer(file);

    ASSERT_TRUE(open_data_file(pod_from(data, data.size())));
    mount_data_file_carts();
    EXPECT_EQ(pstate.data_pod->types[7], CPOD_LAZY);
    std::vector<std::string> names;
    for (int i = 0; i < embedded_cart_count(); i++) names.push_back(embedded_cart_name(i));
    EXPECT_EQ(names.size(), 4u); // the head cart, the two games and the one after the runtimes
    EXPECT_NE(std::find(names.begin(), names.end(), "after.z6"), names.end());
    clear_embedded_carts();
}

TEST_F(DataFile, EntriesAreWhatThePlayerReads) {
    ASSERT_TRUE(open_data_file(pod_from(bytes, bytes.size())));
    EXPECT_STREQ(get_embedded_cart_title(), "zibo-6");
    cpod *res = pstate.resource_pod;
    auto *logo = static_cast<vull_bitmap *>(cpod_get_item(res, RES_LOGO, CPOD_BITMAP));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->width, 40);
    EXPECT_EQ(logo->height, 10);
    auto *icon = static_cast<vull_bitmap *>(cpod_get_item(res, RES_ICON, CPOD_BITMAP));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->bpp, 32);
    EXPECT_NE(cpod_get_item(res, RES_PALETTE, CPOD_PALETTE), nullptr);
    for (int c = 0; c < FONT_GLYPHS; c++) {
        auto *g = static_cast<vull_bitmap *>(cpod_get_item(pstate.font_pod, c, CPOD_BITMAP));
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->width, c < 128 ? 3 : 7) << c;
        EXPECT_EQ(g->height, 5) << c;
    }
    // sfx 0 of the bios cart is the boot sound
    EXPECT_NE(pstate.bios_cart->sfx[0].note[0].pitch, 0);
    auto *head = static_cast<vull_file *>(cpod_get_item(pstate.data_pod, 3, CPOD_FILE));
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->length, DATA_CART_IMAGE);
    zibo6_cart *cart = vull_create_zibo6_cart();
    load_zibo6_cart_32k(cart, head->data);
    EXPECT_NE(strstr(cart->code, "function _draw"), nullptr);
    vull_destroy_zibo6_cart(cart);
}

// The 256 glyphs in a 16 x 16 table of 8 x 6 cells, compared with the stored
// picture; a mismatch writes the table drawn now beside the build's data.pod.
TEST_F(DataFile, FontTableMatchesTheStoredPicture) {
    ASSERT_TRUE(open_data_file(pod_from(bytes, bytes.size())));
    vull_bitmap *table = vull_create_bitmap(16 * 8 + 2, 16 * 6 + 2, 8);
    for (int c = 0; c < FONT_GLYPHS; c++) {
        auto *g = static_cast<vull_bitmap *>(cpod_get_item(pstate.font_pod, c, CPOD_BITMAP));
        int x0 = 1 + (c % 16) * 8, y0 = 1 + (c / 16) * 6;
        for (int y = 0; y < g->height; y++)
            for (int x = 0; x < g->width; x++) table->rows[y0 + y][x0 + x] = g->rows[y][x] ? 7 : 1;
    }
    auto *pal = static_cast<vull_palette_rec *>(
        cpod_get_item(pstate.resource_pod, RES_PALETTE, CPOD_PALETTE));
    std::string stored = env_path("ZIBO6_SOURCE_DIR", "/tests/shell/font_table.png");
    vull_bitmap *want = vull_load_png(stored.c_str());
    bool same = want && want->width == table->width && want->height == table->height;
    for (int y = 0; same && y < table->height; y++)
        for (int x = 0; same && x < table->width; x++) {
            uint32_t got = vull_palette_colour(pal, table->rows[y][x]) & 0xffffff;
            uint32_t px;
            memcpy(&px, want->rows[y] + 4 * x, 4);
            same = (px & 0xffffff) == got;
        }
    if (!same) {
        vull_palette_rec *saved = vull_palette;
        vull_palette = pal;
        vull_save_png(env_path("ZIBO6_BINARY_DIR", "/font_table.actual.png").c_str(), table);
        vull_palette = saved;
    }
    EXPECT_TRUE(same) << "font table differs from " << stored
                      << "; see build/font_table.actual.png";
    vull_destroy_bitmap(want);
    vull_destroy_bitmap(table);
}

TEST_F(DataFile, ForeignDataFilesAreRefused) {
    EXPECT_FALSE(open_data_file(nullptr));

    // Entries 0-2 in the wrong kinds: bitmaps where files belong.
    cpod *wrong = vull_create_pod(4);
    for (int i = 0; i < 3; i++) cpod_add_item(wrong, CPOD_BITMAP, vull_create_bitmap(2, 2, 8));
    EXPECT_FALSE(open_data_file(wrong));

    // Only two entries.
    cpod *ok = pod_from(bytes, bytes.size());
    cpod *short_pod = vull_create_pod(2);
    for (int i = 0; i < 2; i++) {
        auto *f = static_cast<vull_file *>(cpod_get_item(ok, i, CPOD_FILE));
        cpod_add_item(short_pod, CPOD_FILE, file_item(f->name, f->data, f->length));
    }
    EXPECT_FALSE(open_data_file(short_pod));

    // A font of 255 glyphs, and a resource entry that is not a pod.
    for (int variant = 0; variant < 2; variant++) {
        cpod *pod = vull_create_pod(4);
        for (int i = 0; i < 3; i++) {
            auto *f = static_cast<vull_file *>(cpod_get_item(ok, i, CPOD_FILE));
            if (variant == 0 && i == 2) {
                cpod *font = vull_create_pod(255);
                for (int c = 0; c < 255; c++)
                    cpod_add_item(font, CPOD_BITMAP, vull_create_bitmap(3, 5, 8));
                cpod_add_item(pod, CPOD_FILE, serialised(font));
            } else if (variant == 1 && i == 1) {
                cpod_add_item(pod, CPOD_FILE, file_item("resource.pod", "not a pod", 9));
            } else {
                cpod_add_item(pod, CPOD_FILE, file_item(f->name, f->data, f->length));
            }
        }
        EXPECT_FALSE(open_data_file(pod)) << "variant " << variant;
    }
    vull_destroy_pod(ok);
}

TEST_F(DataFile, EveryTruncationIsRefusedOrWhole) {
    // The reader keeps the items before a cut: a data file opens exactly when
    // entries 0-2 are whole, whatever is cut off after them (the head cart
    // then counts as missing).
    auto opens = [&](size_t n) { return open_data_file(pod_from(bytes, n)); };
    size_t whole = 0; // first length that opens
    if (z6_long_tests()) {
        // Every cut through entries 0-2 and just past them, then every 17th
        // byte of the head cart.
        for (size_t n = 0; n < bytes.size(); n += whole && n > whole + 1024 ? 17 : 1) {
            bool opened = opens(n);
            if (opened && !whole) whole = n;
            EXPECT_EQ(opened, whole && n >= whole) << n;
        }
    } else {
        // The first length that opens, by bisection; then a seeded sample of
        // cuts everywhere and every cut next to that length must agree.
        ASSERT_FALSE(opens(0));
        ASSERT_TRUE(opens(bytes.size()));
        size_t lo = 0, hi = bytes.size();
        while (hi - lo > 1) {
            size_t mid = lo + (hi - lo) / 2;
            if (opens(mid))
                hi = mid;
            else
                lo = mid;
        }
        whole = hi;
        for (size_t n : z6_sweep_points(bytes.size(), 256, 600)) EXPECT_EQ(opens(n), n >= whole) << n;
        for (size_t n = whole - std::min<size_t>(whole, 64); n < whole + 64; n++)
            EXPECT_EQ(opens(n), n >= whole) << n;
    }
    EXPECT_GT(whole, 0u);
    EXPECT_LT(whole, bytes.size() - DATA_CART_IMAGE);
    ASSERT_TRUE(opens(whole));
    EXPECT_EQ(cpod_get_item(pstate.data_pod, 3, CPOD_FILE), nullptr);
    EXPECT_TRUE(opens(bytes.size()));
}

// An entry whose chunk is not what it was when the data file was opened is
// refused when it is asked for, and the rest of the data file still serves.
TEST_F(DataFile, AnEntryChangedSinceOpeningIsRefusedWhenAskedFor) {
    ASSERT_TRUE(open_data_file(pod_from(bytes, bytes.size())));
    cpod *res = pstate.resource_pod;
    ASSERT_EQ(res->types[RES_ICON], CPOD_LAZY);
    // The icon's chunk, found by its header: "CBMP", size, 128, 128, 32.
    const uint8_t head[] = {'C', 'B', 'M', 'P'};
    size_t at = 0;
    for (size_t i = 0; i + 20 <= bytes.size() && !at; i++) {
        int32_t w, h, bpp;
        memcpy(&w, &bytes[i + 8], 4);
        memcpy(&h, &bytes[i + 12], 4);
        memcpy(&bpp, &bytes[i + 16], 4);
        if (memcmp(&bytes[i], head, 4) == 0 && w == 128 && h == 128 && bpp == 32) at = i;
    }
    ASSERT_NE(at, 0u);
    bytes[at] = 'c'; // now claims to be compressed, which its bytes are not
    EXPECT_EQ(cpod_get_item(res, RES_ICON, CPOD_BITMAP), nullptr);
    EXPECT_EQ(res->types[RES_ICON], CPOD_EMPTY);
    EXPECT_NE(cpod_get_item(res, RES_LOGO, CPOD_BITMAP), nullptr);
    EXPECT_NE(pod_file_entry(pstate.data_pod, 3), nullptr);
}

} // namespace
