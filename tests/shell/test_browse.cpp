// Cart browser lists: board cache names, favourites.txt, folder listing order,
// the text clean-ups and the label palette rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cart/state.h"
#include "engine/config.h"
#include "engine/gfx.h"
#include "platform/system.h"
#include "shell/browse.h"
#include "tests/support/hostile_files.h"
#include "tests/support/write_limit.h"

namespace {

std::string scratch_home(const char *name) {
    const char *bin = getenv("ZIBO6_BINARY_DIR");
    std::string dir = std::string(bin ? bin : "/tmp") + "/browse_test_" + name + "/";
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
    snprintf(cconfig.home, sizeof cconfig.home, "%s", dir.c_str());
    return dir;
}

void write_file(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

std::string user(const char *name) {
    char out[VULL_PATH_LEN];
    vull_prefix_with_appdata_path(name, out, sizeof out);
    return out;
}

TEST(Browse, CacheNamesAndUnsafeLids) {
    scratch_home("cache");
    char out[VULL_PATH_LEN];
    get_bbs_cart_filename("15133", out, sizeof out);
    EXPECT_EQ(std::string(out), user("bbs/1/") + "15133.z6.png");
    EXPECT_TRUE(vull_directory_exists(user("bbs/1").c_str()));
    get_bbs_temp_nfo_filename("15133", out, sizeof out);
    EXPECT_EQ(std::string(out), user("bbs/1/") + "temp-15133.nfo");
    get_bbs_cart_filename("tiny_jump-3", out, sizeof out);
    EXPECT_EQ(std::string(out), user("bbs/carts/") + "tiny_jump-3.z6.png");
    get_bbs_nfo_filename("tiny_jump-3", out, sizeof out);
    EXPECT_EQ(std::string(out), user("bbs/carts/") + "tiny_jump-3.nfo");
    get_bbs_label_filename("abc", out, sizeof out);
    EXPECT_EQ(std::string(out), user("bbs/labels/") + "abc.png");
    get_bbs_listing_filename("new", 1, 1, out, sizeof out);
    EXPECT_EQ(std::string(out), user("bbs/temp_new__.pip.png"));

    // ids from the board that could leave the cache or reach a command give no name
    const std::string overlong(200, 'a');
    for (const char *bad :
         {"", "../../x", "a/b", "a\"b", "$(touch x)", "a b", "a.b", "..", overlong.c_str()}) {
        snprintf(out, sizeof out, "junk");
        get_bbs_cart_filename(bad, out, sizeof out);
        EXPECT_STREQ(out, "") << bad;
        get_bbs_label_filename(bad, out, sizeof out);
        EXPECT_STREQ(out, "") << bad;
    }
    EXPECT_TRUE(browse_lid_is_safe("Ab_9-2"));
}

TEST(Browse, FavouritesReadStopsAtForeignLineAndRoundTrips) {
    std::string dir = scratch_home("fav");
    browse_init();
    std::string path = dir + "fav.txt";
    write_file(path, "|lid_one              |77    |2      |Some Author      |carts/a.z6 "
                     "          |Hello World  \n"
                     "not a favourite\n|lid_two |1 |0 |x |y |z\n");
    browse_list list{};
    ASSERT_EQ(populate_browse_list_from_text_file(&list, path.c_str()), 0);
    ASSERT_EQ(list.count, 1);
    const browse_item *it = get_browse_item(&list, 0);
    EXPECT_STREQ(it->lid, "lid_one");
    EXPECT_STREQ(it->mid, "77");
    EXPECT_EQ(it->catsub, 2);
    EXPECT_STREQ(it->author, "some_author");
    EXPECT_STREQ(it->text, "carts/a.z6");
    EXPECT_STREQ(it->title, "hello world");
    EXPECT_EQ(it->icon, 176);
    EXPECT_EQ(get_browse_item(&list, 5)->kind, 0); // dummy for a bad index

    std::string out = dir + "fav2.txt";
    ASSERT_EQ(save_browse_list_to_file(&list, out.c_str()), 0);
    browse_list again{};
    ASSERT_EQ(populate_browse_list_from_text_file(&again, out.c_str()), 0);
    ASSERT_EQ(again.count, 1);
    EXPECT_STREQ(again.items[0].title, "hello world");
    EXPECT_STREQ(again.items[0].text, "carts/a.z6");
    clear_browse_list(&list);
    clear_browse_list(&again);
    free(list.items);
    free(again.items);

    // Overlong lines and fields are cut, never overflowing; the line after still reads.
    std::string longline = "|" + std::string(300, 'a') + "|" + std::string(300, 'b') + "\n";
    write_file(path, longline + "|x2 |m |1 |au |t |ti\n");
    browse_list cut{};
    ASSERT_EQ(populate_browse_list_from_text_file(&cut, path.c_str()), 0);
    ASSERT_EQ(cut.count, 2);
    EXPECT_EQ(strlen(cut.items[0].lid), 127u);
    EXPECT_EQ(strlen(cut.items[0].mid), 127u);
    EXPECT_STREQ(cut.items[1].lid, "x2");
    clear_browse_list(&cut);
    free(cut.items);

    EXPECT_EQ(populate_browse_list_from_text_file(&cut, (dir + "none.txt").c_str()), 1);
    // a pipe, /dev/zero through a link and a file past the bound are not read
    hostile::file_set files = hostile::make(dir + "hostile", "fav", FAVOURITES_FILE_MAX);
    browse_list guarded{};
    EXPECT_EQ(populate_browse_list_from_text_file(&guarded, files.at_bound.c_str()), 0);
    for (const std::string &p : files.refused)
        EXPECT_EQ(populate_browse_list_from_text_file(&guarded, p.c_str()), 1) << p;
    clear_browse_list(&guarded);
    free(guarded.items);
    browse_shutdown();
}

// favourites.txt is replaced whole or not at all: a full disk keeps the old list and the
// save reports the failure.
TEST(Browse, FavouritesKeepTheirFileOnAFullDisk) {
    scratch_home("fav_full");
    browse_init();
    browse_list *fav = &browse.list[LIST_FAV];
    auto add = [&](const char *lid) {
        browse_item *it = add_browse_item(fav, 0);
        ASSERT_NE(it, nullptr);
        it->kind = BROWSE_CART;
        snprintf(it->lid, sizeof it->lid, "%s", lid);
        snprintf(it->title, sizeof it->title, "a title long enough to be cut");
    };
    add("first_one");
    ASSERT_EQ(save_browse_favourites(), 0);
    std::string path = user("favourites.txt");
    auto slurp = [&] {
        std::string text;
        if (FILE *f = fopen(path.c_str(), "rb")) {
            char buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
            fclose(f);
        }
        return text;
    };
    std::string before = slurp();
    ASSERT_NE(before.find("first_one"), std::string::npos);
    add("second_one");
    for (rlim_t room : {rlim_t(0), rlim_t(before.size() / 2), rlim_t(before.size() + 10)}) {
        z6test::write_limit full(room);
        EXPECT_EQ(save_browse_favourites(), 1) << room;
    }
    EXPECT_EQ(slurp(), before);
    ASSERT_EQ(save_browse_favourites(), 0);
    EXPECT_NE(slurp().find("second_one"), std::string::npos);
    browse_shutdown();
}

// A favourites.txt that is there but not read is never replaced by the list begun without
// it: one past the bound cannot be backed up whole, so nothing is saved while it stands.
TEST(Browse, FavouritesNotReadAreNeverWrittenOver) {
    scratch_home("fav_unread");
    std::string path = user("favourites.txt");
    std::string big = "|lid_one |77 |2 |au |t |title\n";
    big.resize(size_t(FAVOURITES_FILE_MAX) + 1, ' ');
    write_file(path, big);
    browse_init();
    browse_list *fav = &browse.list[LIST_FAV];
    EXPECT_EQ(fav->count, 0);
    browse_item *it = add_browse_item(fav, 0);
    ASSERT_NE(it, nullptr);
    it->kind = BROWSE_CART;
    snprintf(it->lid, sizeof it->lid, "new_one");
    EXPECT_EQ(save_browse_favourites(), 1);
    FILE *f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string now(big.size() + 1, 0);
    now.resize(fread(now.data(), 1, now.size(), f));
    fclose(f);
    EXPECT_TRUE(now == big);
    remove(path.c_str()); // gone: the list is the only one left
    EXPECT_EQ(save_browse_favourites(), 0);
    browse_shutdown();
}

TEST(Browse, FavouritesAtEveryTruncation) {
    std::string dir = scratch_home("fav_cut");
    const std::string whole =
        "|lid_one              |77                   |2      |author_a         "
        "|carts/a.z6           |first cart\n"
        "|lid_two              |78                   |5      |author_b         "
        "|                     |second cart\n";
    const size_t first_end = whole.find('\n') + 1;
    std::string path = dir + "cut.txt";
    for (size_t n = 0; n <= whole.size(); n++) {
        write_file(path, whole.substr(0, n));
        browse_list list{};
        ASSERT_EQ(populate_browse_list_from_text_file(&list, path.c_str()), 0);
        // a cut line still gives an item, never more than the lines begun
        int begun = n == 0 ? 0 : n <= first_end ? 1 : 2;
        ASSERT_EQ(list.count, begun) << n;
        for (int i = 0; i < list.count; i++) {
            const browse_item &it = list.items[i];
            for (const char *f : {it.title, it.author, it.text, it.lid, it.mid})
                EXPECT_LT(strlen(f), size_t(BROWSE_TEXT_LEN)) << n;
            EXPECT_EQ(std::string(i == 0 ? "lid_one" : "lid_two").rfind(it.lid, 0), 0u) << n;
            EXPECT_EQ(std::string(i == 0 ? "first cart" : "second cart").rfind(it.title, 0), 0u)
                << n;
        }
        if (n >= first_end) {
            EXPECT_STREQ(list.items[0].lid, "lid_one");
            EXPECT_STREQ(list.items[0].text, "carts/a.z6");
            EXPECT_STREQ(list.items[0].title, "first cart");
        }
        if (n == whole.size()) {
            EXPECT_EQ(list.items[1].catsub, 5);
            EXPECT_STREQ(list.items[1].author, "author_b");
        }
        clear_browse_list(&list);
        free(list.items);
    }

    // lines of 511 characters and more: fields cut at 127, the rest of the line dropped
    for (size_t len : {510u, 511u, 512u, 513u, 2000u}) {
        std::string line = "|" + std::string(len - 1, 'x');
        write_file(path, line + "\n|after |1 |0 |a |t |ti\n");
        browse_list list{};
        ASSERT_EQ(populate_browse_list_from_text_file(&list, path.c_str()), 0);
        ASSERT_EQ(list.count, 2) << len;
        EXPECT_EQ(strlen(list.items[0].lid), 127u) << len;
        EXPECT_STREQ(list.items[1].lid, "after") << len;
        clear_browse_list(&list);
        free(list.items);
    }
}

TEST(Browse, FavouriteMatchingRule) {
    scratch_home("match");
    browse_init();
    browse_list *fav = &browse.list[LIST_FAV];
    browse_item *a = add_browse_item(fav, 0);
    snprintf(a->lid, sizeof a->lid, "abc");
    a->kind = BROWSE_CART;
    browse_item *b = add_browse_item(fav, 0);
    snprintf(b->text, sizeof b->text, "local.z6");
    b->kind = BROWSE_CART;
    EXPECT_TRUE(is_favourite("abc", ""));
    EXPECT_TRUE(is_favourite("", "local.z6"));
    EXPECT_FALSE(is_favourite("", ""));
    EXPECT_FALSE(is_favourite("abd", "other.z6"));
    // an item with a lid matches only by lid
    snprintf(b->mid, sizeof b->mid, "5");
    EXPECT_FALSE(is_favourite("", "local.z6"));
    browse_shutdown();
}

TEST(Browse, FolderListingOrder) {
    std::string dir = scratch_home("folder");
    snprintf(pstate.root_path, Z6_PATH_LEN, "%s", dir.c_str());
    ASSERT_EQ(system(("mkdir -p '" + dir + "z' '" + dir + ".hidden'").c_str()), 0);
    write_file(dir + "b.z6", "");
    write_file(dir + "A.z6.png", "");
    write_file(dir + "notes.txt", "");
    browse_list list{};
    populate_browse_list_from_directory(&list, "");
    ASSERT_EQ(list.count, 3);
    EXPECT_STREQ(list.items[0].title, "z");
    EXPECT_EQ(list.items[0].kind, BROWSE_FOLDER);
    EXPECT_STREQ(list.items[1].title, "A");
    EXPECT_EQ(list.items[1].icon, 180);
    EXPECT_STREQ(list.items[2].title, "b");
    EXPECT_EQ(list.items[2].icon, 177);

    // in a subfolder ".." comes first; an at-front item goes before the first cart
    write_file(dir + "z/c.z6", "");
    populate_browse_list_from_directory(&list, "z/");
    ASSERT_EQ(list.count, 2);
    EXPECT_STREQ(list.items[0].title, "..");
    EXPECT_STREQ(list.items[1].text, "z/c.z6");
    browse_item *front = add_browse_item(&list, 1);
    snprintf(front->title, sizeof front->title, "first");
    front->kind = BROWSE_CART;
    EXPECT_STREQ(list.items[1].title, "first");
    EXPECT_STREQ(list.items[2].title, "c");
    clear_browse_list(&list);
    free(list.items);
}

TEST(Browse, TextCleanUps) {
    char t[BROWSE_TEXT_LEN];
    snprintf(t, sizeof t, "My|Cart\x01\xC3  ");
    sanitise_title_string(t);
    EXPECT_STREQ(t, "my_cart  ");
    snprintf(t, sizeof t, "Some Very-Long.Author_Name  ");
    sanitise_author_string(t);
    EXPECT_STREQ(t, "some_very_long_a");
    snprintf(t, sizeof t, "lid-12");
    strip_lid_version(t);
    EXPECT_STREQ(t, "lid");
    EXPECT_EQ(is_input_char(15), 0);
    EXPECT_EQ(is_input_char(16), 1);
}

TEST(Browse, LabelPaletteReplacesLeastUsedBaseColours) {
    browse_item it{};
    it.label = vull_create_bitmap(128, 128, 8);
    ASSERT_NE(it.label, nullptr);
    // every base colour used a lot except 2 (unused) and 0 (never replaced, unused)
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            int c = (x / 8) % 16;
            it.label->rows[y][x] = uint8_t(c == 0 || c == 2 ? 3 : c);
        }
    it.label->rows[0][0] = 130; // extended colours 2 and 5
    it.label->rows[0][1] = 133;
    extract_label_palette(&it);
    EXPECT_EQ(it.pal[0], 0);
    EXPECT_EQ(it.pal[2], 130); // least used
    EXPECT_EQ(it.pal[4], 133); // 4, 5, 8-15 tie: the lowest index
    EXPECT_EQ(it.pal[1], 1);
    EXPECT_EQ(it.pal[6], 6);
    it.pal[2] = 9;
    extract_label_palette(&it); // filled once
    EXPECT_EQ(it.pal[2], 9);
    vull_destroy_bitmap(it.label);
}

} // namespace
