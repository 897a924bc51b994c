// The board client against a stand-in board (tests/shell/board_server.py) on
// 127.0.0.1: listings and "load more", cart downloads into the cache, cart
// information, a server that never answers, and hostile ids.
#include <gtest/gtest.h>

#include <dirent.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>
#include <unistd.h>

#include "cart/cart.h"
#include "cart/png_cart.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "platform/system.h"
#include "shell/board.h"

extern char **environ;

namespace {

std::string scratch;

class Board : public ::testing::Test {
protected:
    static pid_t server;
    static int port;

    static void SetUpTestSuite() {
        const char *bin = getenv("ZIBO6_BINARY_DIR");
        scratch = std::string(bin ? bin : "/tmp") + "/board_test/";
        ASSERT_EQ(system(("rm -rf '" + scratch + "' && mkdir -p '" + scratch + "carts'").c_str()),
                  0);
        snprintf(cconfig.home, sizeof cconfig.home, "%s", scratch.c_str());

        // a real PNG cart for the board to serve
        zibo6_cart *cart = vull_create_zibo6_cart();
        ASSERT_NE(cart, nullptr);
        snprintf(cart->code, ZIBO6_CODE_SIZE, "print(\"served\")\n");
        ASSERT_EQ(save_zibo6_cart_png(cart, (scratch + "carts/served_cart.z6.png").c_str()), 0);
        vull_destroy_zibo6_cart(cart);

        const char *src = getenv("ZIBO6_SOURCE_DIR");
        std::string script = std::string(src ? src : ".") + "/tests/shell/board_server.py";
        std::string port_file = scratch + "port";
        const char *argv[] = {"python3", script.c_str(), scratch.c_str(), port_file.c_str(),
                              nullptr};
        ASSERT_EQ(
            posix_spawnp(&server, "python3", nullptr, nullptr, const_cast<char **>(argv), environ),
            0);
        for (int i = 0; i < 1200 && port == 0; i++) { // a minute: the machine may be busy
            FILE *f = fopen(port_file.c_str(), "r");
            if (f) {
                if (fscanf(f, "%d", &port) != 1) port = 0;
                fclose(f);
            }
            if (!port) usleep(50000);
        }
        ASSERT_GT(port, 0) << "board server did not start";
    }

    static void TearDownTestSuite() {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        browse_shutdown();
    }

    void SetUp() override {
        char host[64];
        snprintf(host, sizeof host, "http://127.0.0.1:%d", port);
        ASSERT_TRUE(board_set_host(host));
        board.timeout = 20;
        browse_init();
    }

    // Polls like the frame loop until the slot is idle again.
    static void finish(void (*poll)()) {
        for (int i = 0; i < 2000 && app.download_state != 0; i++) {
            poll();
            if (app.download_state != 0) usleep(10000);
        }
        poll();
    }
};
pid_t Board::server = 0;
int Board::port = 0;

std::string scratch_file(const char *name, const std::string &bytes) {
    std::string path = scratch + name;
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return path;
}

// Whether a process runs whose command line holds `needle` (a zombie's is empty).
bool process_with(const std::string &needle) {
    DIR *d = opendir("/proc");
    if (!d) return false;
    bool found = false;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        FILE *f = fopen(("/proc/" + std::string(e->d_name) + "/cmdline").c_str(), "rb");
        if (!f) continue;
        std::string cmd;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) cmd.append(buf, n);
        fclose(f);
        found = found || cmd.find(needle) != std::string::npos;
    }
    closedir(d);
    return found;
}

// Waits (generously) for a condition the system brings about asynchronously.
bool eventually(bool (*done)(const std::string &), const std::string &arg) {
    for (int i = 0; i < 6000; i++) {
        if (done(arg)) return true;
        usleep(10000);
    }
    return done(arg);
}
bool gone(const std::string &needle) { return !process_with(needle); }
bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// The partial files wget may have left in a folder.
int part_files(const std::string &folder) {
    DIR *d = opendir(folder.c_str());
    if (!d) return 0;
    int n = 0;
    while (dirent *e = readdir(d)) n += strstr(e->d_name, ".part") != nullptr;
    closedir(d);
    return n;
}
bool no_part_files(const std::string &folder) { return part_files(folder) == 0; }
std::string folder_of(const char *path) {
    std::string p = path;
    return p.substr(0, p.rfind('/') + 1);
}

std::string read_bytes(const std::string &path) {
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

TEST_F(Board, HostOptionIsChecked) {
    char before[BOARD_HOST_LEN];
    snprintf(before, sizeof before, "%s", board.host);
    for (const char *bad :
         {"ftp://x", "http://", "http://a b", "http://x\"$(id)", "http://a:b", "http://h/path"})
        EXPECT_FALSE(board_set_host(bad)) << bad;
    EXPECT_STREQ(board.host, before);
    EXPECT_TRUE(board_set_host("https://board.example-host.net:8443"));
}

TEST_F(Board, ListingPagesAndLoadMore) {
    browse_list *l = &browse.list[LIST_NEW];
    ASSERT_EQ(download_list(LIST_NEW, 0), 1);
    EXPECT_EQ(download_list(LIST_NEW, 0), 3); // one download at a time
    finish(update_browse_download);
    ASSERT_EQ(l->count, 34);
    EXPECT_EQ(l->items[0].kind, BROWSE_UPDATE);
    EXPECT_STREQ(l->items[0].title, "[update]");
    EXPECT_STREQ(l->items[1].title, "cart 0");
    EXPECT_STREQ(l->items[1].author, "author_0");
    EXPECT_STREQ(l->items[1].lid, "cart_0");
    EXPECT_STREQ(l->items[1].mid, "50");
    EXPECT_EQ(l->items[1].catsub, 2);
    ASSERT_NE(l->items[1].label, nullptr);
    EXPECT_EQ(l->items[33].kind, BROWSE_LOAD_MORE);
    EXPECT_STREQ(l->items[33].title, "[load more]");

    // the cached listing reloads into a fresh list
    char cached[1024];
    get_bbs_listing_filename("new", 0, 0, cached, sizeof cached);
    EXPECT_TRUE(vull_file_exists(cached));

    ASSERT_EQ(download_list(LIST_NEW, 32), 1);
    finish(update_browse_download);
    ASSERT_EQ(l->count, 33 + 5); // "[load more]" replaced by a short last page
    EXPECT_STREQ(l->items[37].lid, "cart_36");
    EXPECT_EQ(l->items[37].kind, BROWSE_CART);
}

TEST_F(Board, ShortListingEndsAfterItsLastItem) {
    browse_list *l = &browse.list[LIST_TOP];
    ASSERT_EQ(download_list(LIST_TOP, 0), 1);
    finish(update_browse_download);
    ASSERT_EQ(l->count, 6); // "[update]" and five carts, no "[load more]"
    EXPECT_EQ(l->items[0].kind, BROWSE_UPDATE);
    EXPECT_STREQ(l->items[5].lid, "cart_4");
    EXPECT_EQ(l->items[5].kind, BROWSE_CART);

    // a listing that does not decode keeps the list as it was
    char bad[1024];
    get_bbs_listing_filename("top", 1, 0, bad, sizeof bad);
    FILE *f = fopen(bad, "wb");
    ASSERT_NE(f, nullptr);
    fputs("<html>not a listing</html>", f);
    fclose(f);
    EXPECT_EQ(load_listing_image(l, bad, 0), 1);
    EXPECT_EQ(l->count, 6);
    EXPECT_STREQ(l->items[5].lid, "cart_4");
}

TEST_F(Board, HostileListingIdsReachNoPath) {
    browse_list *l = &browse.list[LIST_JAM];
    ASSERT_EQ(download_list(LIST_JAM, 0), 1);
    finish(update_browse_download);
    ASSERT_EQ(l->count, 2); // "[update]" and the one safe id; no "[load more]"
    EXPECT_STREQ(l->items[1].lid, "ok_lid");
    EXPECT_FALSE(vull_file_exists("pwned"));
}

TEST_F(Board, LoadByIdFetchesInformationThenCart) {
    board_load_by_id("served_cart");
    finish(update_load_download); // the information file (result 5), then the cart
    EXPECT_EQ(board.load_result, 6);
    char nfo[1024];
    get_bbs_nfo_filename("served_cart", nfo, sizeof nfo);
    EXPECT_TRUE(vull_file_exists(nfo));
    char cart[1024];
    get_bbs_cart_filename("served_cart", cart, sizeof cart);
    EXPECT_EQ(check_bbs_file_ok(cart), 2);
    EXPECT_STREQ(pstate.running_cart_lid, "served_cart");
    ASSERT_NE(pitem.cart, nullptr);
    EXPECT_NE(strstr(pitem.cart->code, "print(\"served\")"), nullptr);

    // the information file's update flag: a cart run from the browser (a sub-mode
    // set) whose cart file is not the working one
    app.update_available = 0;
    pstate.sub_mode = 2;
    snprintf(pstate.current_filename, sizeof pstate.current_filename, "other.z6");
    EXPECT_EQ(check_cart_update_nfo(), 1);
    snprintf(pstate.current_filename, sizeof pstate.current_filename, "%s", cart);
    app.update_available = 0;
    EXPECT_EQ(check_cart_update_nfo(), 0);
    pstate.sub_mode = 0;
    snprintf(pstate.current_filename, sizeof pstate.current_filename, "other.z6");
    EXPECT_EQ(check_cart_update_nfo(), 0);

    // ids the board does not have, and hostile information
    board_load_by_id("missing");
    finish(update_load_download);
    EXPECT_EQ(board.load_result, -1);
    board_load_by_id("hostile");
    finish(update_load_download);
    EXPECT_EQ(board.load_result, -1);
    EXPECT_EQ(board_load_by_id("../x"), 1);
    EXPECT_EQ(board.load_result, -1);
    EXPECT_EQ(app.download_state, 0);
}

TEST_F(Board, BrowserCartDownloadRunsOrSaysWhy) {
    pstate.pending_action = 0;
    ASSERT_EQ(download_bbs_cart("served_cart"), 1);
    finish(update_browse_download);
    EXPECT_EQ(pstate.pending_action, 1); // loaded and run
    ASSERT_NE(pitem.cart, nullptr);
    EXPECT_NE(strstr(pitem.cart->code, "served"), nullptr);
    pstate.pending_action = 0;

    ASSERT_EQ(download_bbs_cart("wrong_size"), 1);
    finish(update_browse_download);
    EXPECT_EQ(pstate.pending_action, 0);
    EXPECT_STREQ(app.message_text, "wrong size for a zibo-6 cart");
    ASSERT_EQ(download_bbs_cart("not_there"), 1); // the board answers 404
    finish(update_browse_download);
    EXPECT_STREQ(app.message_text, "could not connect to bbs.");

    // a failed fetch into a cached cart's name leaves the cached cart whole
    char cached[1024], url[1024];
    get_bbs_cart_filename("served_cart", cached, sizeof cached);
    ASSERT_EQ(check_bbs_file_ok(cached), 2);
    snprintf(url, sizeof url, "%s/bbs/get_cart.php?lid=gone", board.host);
    ASSERT_EQ(download_file(url, cached, 0), 1);
    finish(update_browse_download);
    EXPECT_EQ(check_bbs_file_ok(cached), 2);

    // the update: the running cart's information names the cart to fetch again
    snprintf(pstate.running_cart_lid, sizeof pstate.running_cart_lid, "served_cart");
    ASSERT_EQ(download_nfo("served_cart"), 1);
    EXPECT_EQ(browse_update_cartridge_to_newer_version(), 1); // the slot is busy
    finish(update_browse_download);
    ASSERT_EQ(browse_update_cartridge_to_newer_version(), 0);
    EXPECT_STREQ(browse.running_item.title, "served cart");
    finish(update_browse_download);
    EXPECT_EQ(pstate.pending_action, 1);
    pstate.pending_action = 0;
    pstate.running_cart_lid[0] = 0;
    EXPECT_EQ(browse_update_cartridge_to_newer_version(), 1); // no running board cart
}

TEST_F(Board, FavouriteToggleOfTheCurrentItemIsSaved) {
    browse_list *l = &browse.list[LIST_LUCKY];
    clear_browse_list(l);
    browse_item *it = add_browse_item(l, 0);
    ASSERT_NE(it, nullptr);
    it->kind = BROWSE_CART;
    snprintf(it->lid, sizeof it->lid, "lucky_1");
    snprintf(it->title, sizeof it->title, "lucky one");
    it->label = vull_create_bitmap(128, 128, 8);
    browse.current_list = LIST_LUCKY;
    l->cursor = 0;
    int before = browse.list[LIST_FAV].count;

    browse_toggle_favourite();
    ASSERT_EQ(browse.list[LIST_FAV].count, before + 1);
    const browse_item &fav = browse.list[LIST_FAV].items[before];
    EXPECT_STREQ(fav.title, "lucky one");
    EXPECT_NE(fav.label, nullptr);
    EXPECT_NE(fav.label, l->items[0].label); // each list owns its labels
    EXPECT_EQ(l->items[0].listed, 1);
    char path[VULL_PATH_LEN];
    vull_prefix_with_appdata_path("favourites.txt", path, sizeof path);
    EXPECT_NE(read_bytes(path).find("|lucky_1 "), std::string::npos);

    browse_toggle_favourite();
    EXPECT_EQ(browse.list[LIST_FAV].count, before);
    EXPECT_EQ(l->items[0].listed, 0);
    EXPECT_EQ(read_bytes(path).find("lucky_1"), std::string::npos);
    clear_browse_list(l);
    browse.current_list = 0;
}

TEST_F(Board, SilentServerTimesOut) {
    int start = vull_get_time();
    ASSERT_EQ(download_nfo("slow"), 1);
    board.timeout = 1;
    pstate.headless = 1; // console text to stdout
    testing::internal::CaptureStdout();
    finish(update_load_download);
    std::string printed = testing::internal::GetCapturedStdout();
    pstate.headless = 0;
    EXPECT_NE(printed.find("download timed out\n"), std::string::npos) << printed;
    int took = vull_get_time() - start;
    EXPECT_EQ(app.download_state, 0);
    EXPECT_EQ(board.load_result, -3);
    EXPECT_GE(took, 1000); // the answer would have come after 30 s
    // the wget was ended, not left to answer late: nothing lands
    EXPECT_TRUE(eventually(gone, "lid=slow"));
    EXPECT_EQ(app.download_state, 0);
    char late[1024];
    get_bbs_temp_nfo_filename("slow", late, sizeof late);
    EXPECT_FALSE(vull_file_exists(late));
    EXPECT_EQ(part_files(folder_of(late)), 0);
}

TEST_F(Board, FetchesPastWhatTheBoardMaySendAreEnded) {
    // a cart that never ends: stopped once it passes the largest cart file
    char cart[1024];
    get_bbs_cart_filename("endless", cart, sizeof cart);
    std::string carts = folder_of(cart);
    ASSERT_EQ(download_bbs_cart("endless"), 1);
    finish(update_browse_download);
    EXPECT_STREQ(app.message_text, "could not connect to bbs.");
    EXPECT_TRUE(eventually(gone, "lid=endless"));
    EXPECT_FALSE(exists(cart));
    EXPECT_TRUE(eventually(no_part_files, carts));

    // an information file that never ends: stopped past 64 KB
    ASSERT_EQ(board_load_by_id("endless"), 0);
    finish(update_load_download);
    EXPECT_EQ(board.load_result, -3);
    EXPECT_TRUE(eventually(gone, "lid=endless"));
    char nfo[1024];
    get_bbs_temp_nfo_filename("endless", nfo, sizeof nfo);
    EXPECT_TRUE(eventually(no_part_files, folder_of(nfo)));

    // and one that is already on disk is never read
    std::string big = "lid good_1\n" + std::string(70000, '#') + "\n";
    browse_item it{};
    EXPECT_EQ(set_item_from_nfo(&it, scratch_file("huge.nfo", big).c_str()), 1);
}

TEST_F(Board, CancelAndExitEndTheRunningFetch) {
    char cart[1024];
    get_bbs_cart_filename("trickle", cart, sizeof cart);
    std::string carts = folder_of(cart);
    for (int exit = 0; exit < 2; exit++) {
        ASSERT_EQ(download_bbs_cart("trickle"), 1);
        ASSERT_TRUE(eventually([](const std::string &f) { return part_files(f) > 0; }, carts));
        ASSERT_TRUE(process_with("lid=trickle"));
        if (exit)
            board_exit();
        else
            cancel_download(nullptr);
        EXPECT_EQ(app.download_state, 0);
        EXPECT_TRUE(eventually(gone, "lid=trickle")) << exit;
        EXPECT_EQ(part_files(carts), 0) << exit;
        EXPECT_FALSE(exists(cart));
    }
}

TEST_F(Board, ListingPicturesLargerThanAPageAreNeverDecoded) {
    browse_list *l = &browse.list[LIST_WIP];
    char saved[sizeof l->request];
    memcpy(saved, l->request, sizeof saved);
    snprintf(l->request, sizeof l->request, "cat=7&sub=9");
    clear_browse_list(l);
    ASSERT_EQ(download_list(LIST_WIP, 0), 1);
    finish(update_browse_download);
    EXPECT_STREQ(app.message_text, "could not connect to bbs.");
    EXPECT_EQ(l->count, 0);
    char cached[1024];
    get_bbs_listing_filename(l->name, 0, 0, cached, sizeof cached);
    EXPECT_FALSE(vull_file_exists(cached)); // never cached
    memcpy(l->request, saved, sizeof saved);
}

TEST_F(Board, HostileInformationFilesReachNoPath) {
    const std::string long_value(10000, 'v');
    for (const std::string &lid : std::vector<std::string>{
             "../../x", "a/b", "..", "q\"uote", "$(touch pwned)", "a b", "`id`", long_value}) {
        std::string path = scratch_file("hostile.nfo", "lid " + lid + "\ntitle t\n");
        browse_item it{};
        EXPECT_EQ(set_item_from_nfo(&it, path.c_str()), 1) << lid;
        EXPECT_STREQ(it.lid, "") << lid;
    }
    // a hostile thread id is refused like a hostile cart id
    std::string path = scratch_file("hostile.nfo", "lid good_1\nmid $(id)\n");
    browse_item it{};
    EXPECT_EQ(set_item_from_nfo(&it, path.c_str()), 1);
    // long text values are cut to their fields, never overflowing
    path = scratch_file("long.nfo", "lid good_1\ntitle " + long_value + "\nauthor " + long_value +
                                        "\ncatsub " + long_value + "\n");
    ASSERT_EQ(set_item_from_nfo(&it, path.c_str()), 0);
    EXPECT_STREQ(it.lid, "good_1");
    EXPECT_EQ(strlen(it.title), size_t(BROWSE_TEXT_LEN - 1));
    EXPECT_EQ(strlen(it.author), 16u);
    EXPECT_FALSE(vull_file_exists("pwned"));
    path = scratch_file("big.nfo", "lid good_1\ncatsub 99999999999999999999\n");
    ASSERT_EQ(set_item_from_nfo(&it, path.c_str()), 0);
    EXPECT_EQ(it.catsub, INT32_MAX); // held, never wrapped
}

TEST_F(Board, InformationFileAtEveryTruncation) {
    const std::string whole = "lid abc_12\nmid 77\ncatsub 2\ntitle Some Title\nauthor someone\n";
    for (size_t n = 0; n <= whole.size(); n++) {
        std::string path = scratch_file("cut.nfo", whole.substr(0, n));
        browse_item it{};
        if (set_item_from_nfo(&it, path.c_str()) != 0) {
            EXPECT_LT(n, whole.size());
            continue;
        }
        // whatever was read is a start of what was written
        EXPECT_TRUE(browse_lid_is_safe(it.lid)) << n;
        EXPECT_EQ(std::string("abc_12").rfind(it.lid, 0), 0u) << n;
        EXPECT_EQ(std::string("some title").rfind(it.title, 0), 0u) << n;
        if (n == whole.size()) {
            EXPECT_STREQ(it.lid, "abc_12");
            EXPECT_STREQ(it.mid, "77");
            EXPECT_EQ(it.catsub, 2);
            EXPECT_STREQ(it.author, "someone");
        }
    }
}

// A one-item listing image: item 0's label and its text lines, a character per
// pixel in the second byte.
std::string one_item_listing() {
    vull_bitmap *img = vull_create_bitmap(128, 136, 32);
    EXPECT_NE(img, nullptr);
    if (!img) return "";
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) vull_putpixel(img, x, y, 0xFF000000u | uint32_t(x * 2) << 16);
    const char *lines[] = {"4242 17 3", "Tiny Game", "Maker", "tiny_game-2", ""};
    for (int row = 0; row < 5; row++)
        for (int x = 0; lines[row][x]; x++)
            vull_putpixel(img, x, 128 + row,
                          0xFF000000u | uint32_t((unsigned char)lines[row][x]) << 8);
    std::string path = scratch + "one_item.pip.png";
    EXPECT_EQ(vull_save_png(path.c_str(), img), 0);
    vull_destroy_bitmap(img);
    return read_bytes(path);
}

// Each item's label is its own square of the page, matched to the colours.
TEST_F(Board, ListingLabelsComeFromTheirItems) {
    const vull_rgb *c = cart_display_colours();
    vull_bitmap *img = vull_create_bitmap(256, 136, 32);
    ASSERT_NE(img, nullptr);
    auto colour = [](int item, int x, int y) { return (item * 5 + x / 16 + y / 32) & 15; };
    for (int item = 0; item < 2; item++) {
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) {
                const vull_rgb &k = c[colour(item, x, y)];
                vull_putpixel(img, item * 128 + x, y,
                              0xFF000000u | uint32_t(k.r) << 16 | uint32_t(k.g) << 8 | k.b);
            }
        const std::string first = std::to_string(100 + item) + " 1 0";
        for (int x = 0; first[size_t(x)]; x++)
            vull_putpixel(img, item * 128 + x, 128,
                          0xFF000000u | uint32_t((unsigned char)first[size_t(x)]) << 8);
    }
    std::string path = scratch + "two_items.pip.png";
    ASSERT_EQ(vull_save_png(path.c_str(), img), 0);
    vull_destroy_bitmap(img);
    browse_list list{};
    ASSERT_EQ(load_listing_image(&list, path.c_str(), 0), 0);
    ASSERT_EQ(list.count, 3); // "[update]" and two carts
    for (int item = 0; item < 2; item++) {
        const vull_bitmap *label = list.items[item + 1].label;
        ASSERT_NE(label, nullptr);
        EXPECT_STREQ(list.items[item + 1].lid, std::to_string(100 + item).c_str());
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++)
                ASSERT_EQ(label->rows[y][x], colour(item, x, y)) << item << " " << x << "," << y;
    }
    clear_browse_list(&list);
    free(list.items);
}

TEST_F(Board, ListingImageAtEveryTruncation) {
    const std::string whole = one_item_listing();
    ASSERT_GT(whole.size(), 64u);
    browse_list list{};
    std::string path = scratch_file("cut.pip.png", whole);
    ASSERT_EQ(load_listing_image(&list, path.c_str(), 0), 0);
    ASSERT_EQ(list.count, 2); // "[update]" and the cart; one item is no full page
    EXPECT_STREQ(list.items[1].lid, "tiny_game-2");
    EXPECT_STREQ(list.items[1].mid, "17");
    EXPECT_EQ(list.items[1].catsub, 3);
    EXPECT_STREQ(list.items[1].title, "tiny game");
    for (size_t n = 0; n < whole.size(); n++) {
        path = scratch_file("cut.pip.png", whole.substr(0, n));
        int r = load_listing_image(&list, path.c_str(), 0);
        // refused with the previous list kept, or (a lost trailer) read whole
        ASSERT_EQ(list.count, 2) << n;
        EXPECT_STREQ(list.items[1].lid, "tiny_game-2") << n;
        EXPECT_EQ(list.items[1].kind, BROWSE_CART) << n;
        if (r == 0) { EXPECT_GT(n, whole.size() - 16) << "only the end chunk may go missing"; }
    }
    clear_browse_list(&list);
    free(list.items);
}

} // namespace
