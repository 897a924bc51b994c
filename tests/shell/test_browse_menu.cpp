// Cart browser screens: the cart menu's items and what each does, the search
// line and its letter wheel, the list scroll and checks, the exit message, the
// controls, and pictures of the list and the menu.
#include <SDL2/SDL_scancode.h>

#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "../console/fake_input.h"
#include "cart/png_cart.h"
#include "console/term.h"
#include "engine/config.h"
#include "page_test_util.h"
#include "platform/system.h"
#include "platform/video.h"
#include "tests/engine/file_test_util.h"
#include "shell/board.h"
#include "shell/browse.h"

using z6input::FakeInput;
using z6page::Page;

namespace {

using ftest::read_file;

// The programs the browser starts, stood in for on PATH (set once, before any
// thread runs). wget holds its fetch open while the hold file stands and writes
// nothing: a download stays running for the checks that cancel it, however
// slowly this process is scheduled, and a worker left behind by one test never
// writes into the next test's folder. xdg-open appends its arguments to the
// record, a line per start.
struct StubPrograms : ::testing::Environment {
    static inline std::string bin;
    static std::string hold() { return bin + "hold"; }
    static std::string record() { return bin + "opened.txt"; }

    static void write_program(const std::string &name, const std::string &text) {
        FILE *f = fopen((bin + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        ASSERT_EQ(fclose(f), 0);
        ASSERT_EQ(chmod((bin + name).c_str(), 0755), 0);
    }
    void SetUp() override {
        bin = ftest::make_temp_dir("browse_programs") + "/";
        write_program("wget", "#!/bin/sh\ntouch '" + bin + "running.$$'\nn=0\n"
                              "while [ -e '" + hold() + "' ] && [ $n -lt 1200 ]; do\n"
                              "  sleep 0.05; n=$((n + 1))\ndone\n"
                              "rm -f '" + bin + "running.$$'\nexit 4\n");
        write_program("xdg-open", "#!/bin/sh\necho \"$*\" >> '" + record() + "'\n");
        std::string path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
        setenv("PATH", (bin + ":" + path).c_str(), 1);
    }
    // Lets every held fetch end, and waits for them (a minute at most) so that
    // no worker is left running as the process exits.
    void TearDown() override {
        release();
        for (int i = 0; i < 6000 && running(); i++) usleep(10000);
        EXPECT_FALSE(running()) << "a stand-in wget still runs";
        system(("rm -rf '" + bin + "'").c_str());
    }
    static void hold_fetches() { ftest::write_file(hold(), ""); }
    static void release() { unlink(hold().c_str()); }
    // A stand-in the browser cancelled was killed outright and left its
    // running.PID behind: only a PID that is still a live process counts.
    static bool running() {
        DIR *d = opendir(bin.c_str());
        if (!d) return false;
        bool found = false;
        while (dirent *e = readdir(d))
            if (strncmp(e->d_name, "running.", 8) == 0 && alive(e->d_name + 8)) found = true;
        closedir(d);
        return found;
    }
    static bool alive(const char *pid) {
        std::string stat = read_file("/proc/" + std::string(pid) + "/stat");
        size_t paren = stat.rfind(')');
        return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
    }
};
[[maybe_unused]] const auto *stub_programs = ::testing::AddGlobalTestEnvironment(new StubPrograms);

struct BrowseMenu : ::testing::Test {
    std::string dir;

    void SetUp() override {
        StubPrograms::hold_fetches();
        dir = ftest::make_temp_dir("browse_menu") + "/"; // a folder of this test's own
        ASSERT_EQ(system(("mkdir -p '" + dir + "carts/sub'").c_str()), 0);
        snprintf(cconfig.home, sizeof cconfig.home, "%s", dir.c_str());
        snprintf(pstate.root_path, sizeof pstate.root_path, "%scarts/", dir.c_str());
        pstate.current_folder[0] = 0;
        // fetches go nowhere: the stand-in wget holds them until the test ends
        ASSERT_TRUE(board_set_host("http://127.0.0.1:1"));
        app.download_state = 0;
        app.kiosk = 0;
        app.message_end = 0;
        app.message_text[0] = 0;
        pstate.pending_action = 0;
        pstate.sub_mode = 2;
        browse_screen = browse_screen_state{};
        memset(browse_screen.search, ' ', SEARCH_LINE_LEN);
        browse_init();
        browse.current_list = LIST_LOCAL;
    }
    void TearDown() override {
        cancel_download(nullptr);
        browse_shutdown();
        pstate.pending_action = 0;
        pstate.sub_mode = 0;
        pstate.current_folder[0] = 0;
        StubPrograms::release();
        system(("rm -rf '" + dir + "'").c_str());
    }

    // The current list holds just this item, selected.
    static browse_item *only(int list_index, int kind, const char *title, const char *lid = "",
                             const char *text = "") {
        browse.current_list = list_index;
        browse_list *list = &browse.list[list_index];
        clear_browse_list(list);
        browse_item *it = add_browse_item(list, 0);
        it->kind = kind;
        vull_copy_text(it->title, title, sizeof it->title);
        vull_copy_text(it->lid, lid, sizeof it->lid);
        vull_copy_text(it->text, text, sizeof it->text);
        list->cursor = 0;
        return it;
    }
    static std::vector<std::string> labels() {
        std::vector<std::string> out;
        for (int i = 0; i < browse_screen.menu_items; i++)
            out.push_back(browse_screen.menu[i].label);
        return out;
    }
    static void choose(const char *label) {
        for (int i = 0; i < browse_screen.menu_items; i++)
            if (std::string(browse_screen.menu[i].label) == label) {
                browse_screen.menu_selected = i;
                cart_menu_action(browse_screen.menu[i].code);
                return;
            }
        ADD_FAILURE() << "no item " << label;
    }
    std::string favourites() const { return read_file(dir + "favourites.txt"); }
    void save_cart(const std::string &name) const {
        zibo6_cart *cart = vull_create_zibo6_cart();
        ASSERT_NE(cart, nullptr);
        snprintf(cart->code, ZIBO6_CODE_SIZE, "print(\"hi\")\n");
        ASSERT_EQ(save_zibo6_cart_png(cart, (dir + "carts/" + name).c_str()), 0);
        vull_destroy_zibo6_cart(cart);
    }
};

using Labels = std::vector<std::string>;

TEST_F(BrowseMenu, ItemsForEachKindOfItem) {
    int32_t sound = cconfig.sound_volume;
    cconfig.sound_volume = 256;
    const char *fullscreen = vull_get_windowed() ? "fullscreen:off" : "fullscreen:on";

    only(LIST_LOCAL, BROWSE_CART, "jump", "", "jump.z6.png");
    cart_menu_pop();
    EXPECT_EQ(labels(),
              (Labels{"run cart", "options", "favourite", "search bbs thread", "[back]"}));
    choose("options");
    EXPECT_EQ(labels(), (Labels{"edit cart", "sound:on", fullscreen, "back"}));

    browse_item *it = only(LIST_NEW, BROWSE_CART, "racer", "racer_2-1");
    vull_copy_text(it->author, "someone", sizeof it->author);
    vull_copy_text(it->mid, "4411", sizeof it->mid);
    cart_menu_pop();
    EXPECT_EQ(labels(), (Labels{"run cart", "options", "favourite", "carts by @someone",
                                "similar carts", "open thread in browser", "[back]"}));
    choose("options");
    EXPECT_EQ(labels(), (Labels{"re-download", "open in browser", "sound:on", fullscreen, "back"}));

    // no author and no thread: neither item; a long author is cut to 16 characters
    it = only(LIST_NEW, BROWSE_CART, "racer", "racer_2-1");
    cart_menu_pop();
    EXPECT_EQ(labels(), (Labels{"run cart", "options", "favourite", "similar carts", "[back]"}));
    vull_copy_text(it->author, "abcdefghijklmnopqrstuvwxyz", sizeof it->author);
    cart_menu_pop();
    EXPECT_EQ(labels()[3], "carts by @abcdefghijklmnop");

    browse_toggle_favourite();
    cart_menu_pop();
    EXPECT_EQ(labels()[2], "remove from favourites");

    for (int kind : {BROWSE_FOLDER, BROWSE_UPDATE, BROWSE_LOAD_MORE, BROWSE_SEARCH}) {
        only(LIST_LOCAL, kind, "sub");
        cart_menu_pop();
        EXPECT_EQ(labels(), (Labels{"options", "[back]"})) << kind;
        choose("options");
        EXPECT_EQ(labels(), (Labels{"sound:on", fullscreen, "back"})) << kind;
    }
    cconfig.sound_volume = sound;
}

TEST_F(BrowseMenu, FavouriteBackAndOptionsItems) {
    only(LIST_NEW, BROWSE_CART, "racer", "racer_2-1");
    cart_menu_pop();
    choose("favourite");
    EXPECT_NE(favourites().find("|racer_2-1 "), std::string::npos);
    EXPECT_EQ(labels()[2], "remove from favourites");
    EXPECT_EQ(browse.list[LIST_NEW].items[0].listed, 1);
    choose("remove from favourites");
    EXPECT_EQ(favourites().find("racer_2-1"), std::string::npos);
    EXPECT_EQ(labels()[2], "favourite");

    // removed from within the favourites list: the cursor stays on the list
    choose("favourite");
    browse.current_list = LIST_FAV;
    browse.list[LIST_FAV].cursor = browse.list[LIST_FAV].count - 1;
    generate_cart_menu(1);
    choose("remove from favourites");
    EXPECT_EQ(browse.list[LIST_FAV].count, 0);
    EXPECT_EQ(browse.list[LIST_FAV].cursor, 0);
    EXPECT_EQ(labels(), (Labels{"options", "[back]"}));
    only(LIST_NEW, BROWSE_CART, "racer", "racer_2-1");
    cart_menu_pop();

    int32_t sound = cconfig.sound_volume, volume = app.volume, headless = cconfig.headless;
    cconfig.sound_volume = 200;
    app.volume = 200;
    choose("options");
    EXPECT_EQ(browse_screen.menu_page, 2);
    choose("sound:on");
    EXPECT_EQ(cconfig.sound_volume, 0);
    EXPECT_EQ(labels()[2], "sound:off");
    choose("sound:off");
    EXPECT_EQ(cconfig.sound_volume, 200);
    EXPECT_EQ(labels()[2], "sound:on");

    // the fullscreen text follows the window; headless, the toggle changes nothing
    cconfig.headless = 1;
    int mode = vull_screen_mode;
    vull_screen_mode = 1;
    generate_cart_menu(2);
    EXPECT_EQ(labels()[3], "fullscreen:on");
    vull_screen_mode = 0;
    choose("fullscreen:on");
    EXPECT_EQ(labels()[3], "fullscreen:off");
    vull_screen_mode = mode;
    cconfig.headless = headless;
    cconfig.sound_volume = sound;
    app.volume = volume;

    choose("back");
    EXPECT_EQ(browse_screen.menu_page, 1);
    EXPECT_EQ(labels()[0], "run cart");
    choose("[back]");
    EXPECT_EQ(browse_screen.menu_page, 0);
    EXPECT_EQ(browse_screen.menu_items, 0);
}

TEST_F(BrowseMenu, SearchItemsRequestTheSearchList) {
    browse_item *it = only(LIST_NEW, BROWSE_CART, "Hello, World!", "racer_2-1");
    vull_copy_text(it->author, "some_one", sizeof it->author);
    cart_menu_pop();
    choose("carts by @some_one");
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=@some_one&max=32");
    EXPECT_EQ(browse.current_list, LIST_SEARCH);
    EXPECT_EQ(browse_screen.menu_page, 0);
    ASSERT_NE(app.download_state, 0);
    std::string url = app.download_url;
    EXPECT_EQ(url.find("http://127.0.0.1:1/bbs/cpost_lister3.php?max=32&start_index=0&"), 0u)
        << url;
    EXPECT_NE(url.find("&search=%40some_one&max=32&version="), std::string::npos) << url;
    cancel_download(nullptr);

    it = only(LIST_NEW, BROWSE_CART, "Hello, World!", "racer_2-1");
    cart_menu_pop();
    choose("similar carts");
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=hello world&max=32");
    EXPECT_NE(std::string(app.download_url).find("search=hello%20world&max=32"), std::string::npos);
    cancel_download(nullptr);

    only(LIST_LOCAL, BROWSE_CART, "tiny jump", "", "tiny jump.z6");
    cart_menu_pop();
    choose("search bbs thread");
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=tiny jump&max=32");
}

TEST_F(BrowseMenu, LetterWheelWrapsAndTheCursorStaysOnTheLine) {
    browse_screen.search_cursor = 0;
    spin_letter_wheel(-1);
    EXPECT_EQ(browse_screen.search[0], '9');
    spin_letter_wheel(1);
    EXPECT_EQ(browse_screen.search[0], ' ');
    spin_letter_wheel(1);
    EXPECT_EQ(browse_screen.search[0], 'a');
    for (int i = 0; i < 37; i++) spin_letter_wheel(1); // a full turn
    EXPECT_EQ(browse_screen.search[0], 'a');
    browse_screen.search[0] = '%'; // a stray character spins as a space
    spin_letter_wheel(1);
    EXPECT_EQ(browse_screen.search[0], 'a');

    move_search_cursor(-1);
    EXPECT_EQ(browse_screen.search_cursor, 0);
    for (int i = 0; i < 100; i++) move_search_cursor(1);
    EXPECT_EQ(browse_screen.search_cursor, SEARCH_LINE_LEN - 1);
    spin_letter_wheel(-1);
    EXPECT_EQ(browse_screen.search[SEARCH_LINE_LEN - 1], '9');
    EXPECT_EQ(browse_screen.search[SEARCH_LINE_LEN], 0);

    // typed keys: wheel characters only, and never past the line's end
    EXPECT_EQ(browse_keypress('a'), 0); // not entering text
    browse_screen.entering_text = 1;
    EXPECT_EQ(browse_keypress('Q'), 1);
    EXPECT_EQ(browse_screen.search[SEARCH_LINE_LEN - 1], 'q');
    EXPECT_EQ(browse_screen.search_cursor, SEARCH_LINE_LEN - 1);
    browse_screen.search_cursor = 2;
    for (int bad : {int('&'), int('%'), int('"'), int('/'), int('\''), 0x41 + 0x100, -1})
        EXPECT_EQ(browse_keypress(bad), 0) << bad;
    EXPECT_EQ(browse_screen.search[2], ' ');
    EXPECT_EQ(browse_keypress('7'), 1);
    EXPECT_EQ(browse_screen.search[2], '7');
    EXPECT_EQ(browse_keypress(8), 1);
    EXPECT_EQ(browse_screen.search[2], ' ');
    EXPECT_EQ(browse_screen.search_cursor, 2);

    EXPECT_EQ(browse_keypress(27), 1);
    EXPECT_EQ(browse_entering_text(), 0);
    EXPECT_STREQ(app.message_text, "cancelled");
}

TEST_F(BrowseMenu, SearchRequestHoldsOnlyWheelCharacters) {
    browse_screen.entering_text = 1;
    memcpy(browse_screen.search, " A&b=c%d\"$(x)/..#?+   ", 22);
    EXPECT_EQ(initiate_search(), 0);
    EXPECT_EQ(browse_entering_text(), 0);
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=abcdx&max=32");
    std::string url = app.download_url;
    EXPECT_NE(url.find("&search=abcdx&max=32&version="), std::string::npos) << url;
    cancel_download(nullptr);

    // typed on the wheel, with the enter key
    memset(browse_screen.search, ' ', SEARCH_LINE_LEN);
    browse_screen.search_cursor = 0;
    browse_screen.entering_text = 1;
    for (char c : std::string("Two words")) browse_keypress(c);
    browse_keypress(13);
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=two words&max=32");
    cancel_download(nullptr);

    // a line never written before (the record starts zeroed) reads as spaces
    memset(browse_screen.search, 0, sizeof browse_screen.search);
    browse_screen.search_cursor = 3;
    spin_letter_wheel(1);
    browse_screen.search_cursor = 5;
    spin_letter_wheel(-1);
    EXPECT_EQ(std::string(browse_screen.search), "   a 9" + std::string(SEARCH_LINE_LEN - 6, ' '));
    EXPECT_EQ(initiate_search(), 0);
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=a 9&max=32");
    cancel_download(nullptr);

    // nothing searchable: no request
    memset(browse_screen.search, ' ', SEARCH_LINE_LEN);
    memcpy(browse_screen.search, "&&&", 3);
    browse.list[LIST_SEARCH].request[0] = 0;
    EXPECT_EQ(initiate_search(), 1);
    EXPECT_EQ(app.download_state, 0);
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "");
}

TEST_F(BrowseMenu, ListScrollAndValidation) {
    browse_list *list = &browse.list[LIST_NEW];
    browse.current_list = LIST_NEW;
    clear_browse_list(list);
    for (int i = 0; i < 40; i++) add_browse_item(list, 0)->kind = BROWSE_CART;
    auto y_for = [&](int cursor) {
        list->cursor = cursor;
        update_list_y();
        int y = browse_screen.list_y[LIST_NEW];
        EXPECT_LE(y, list->cursor);
        EXPECT_LT(list->cursor, y + BROWSE_ROWS);
        return y;
    };
    EXPECT_EQ(y_for(0), 0);
    EXPECT_EQ(y_for(20), 20 - BROWSE_ROWS + 1);
    EXPECT_EQ(y_for(15), 20 - BROWSE_ROWS + 1); // still visible: no scroll
    EXPECT_EQ(y_for(5), 5);
    EXPECT_EQ(y_for(39), 40 - BROWSE_ROWS);

    // fewer items than rows: the list starts at the top
    list->count = 3;
    list->cursor = 50;
    validate_current_list();
    EXPECT_EQ(list->cursor, 2);
    EXPECT_EQ(browse_screen.list_y[LIST_NEW], 0);
    list->cursor = -4;
    validate_current_list();
    EXPECT_EQ(list->cursor, 0);

    clear_browse_list(list);
    list->cursor = 7;
    browse_screen.list_y[LIST_NEW] = 9;
    validate_current_list();
    EXPECT_EQ(list->cursor, 0);
    EXPECT_EQ(browse_screen.list_y[LIST_NEW], 0);
    EXPECT_EQ(action_current_browse_item(), 1); // nothing to act on
    cart_menu_pop();
    EXPECT_EQ(labels(), (Labels{"options", "[back]"}));

    for (int bad : {-3, BROWSE_LISTS, 99}) {
        browse.current_list = bad;
        validate_current_list();
        EXPECT_EQ(browse.current_list, 0) << bad;
    }
}

TEST_F(BrowseMenu, ExitMessage) {
    int32_t headless = pstate.headless;
    pstate.headless = 1; // terminal lines go to stdout
    testing::internal::CaptureStdout();
    print_browse_exit_message();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("::::::  zibo-6 console  ::::::\ntype browse to return to browse\n"),
              std::string::npos)
        << out;

    app.kiosk = 1;
    testing::internal::CaptureStdout();
    print_browse_exit_message();
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("::::::  zibo-6 console  ::::::\ntype help for help\n"), std::string::npos)
        << out;
    app.kiosk = 0;

    browse_shutdown();
    testing::internal::CaptureStdout();
    print_browse_exit_message();
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("type help for help"), std::string::npos) << out;
    pstate.headless = headless;
}

TEST_F(BrowseMenu, RunningItemsAndFolders) {
    // a local cart becomes the working cart and runs
    save_cart("sub/hop.z6.png");
    only(LIST_LOCAL, BROWSE_FOLDER, "sub");
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_STREQ(pstate.current_folder, "sub/");
    browse_list *local = &browse.list[LIST_LOCAL];
    ASSERT_EQ(local->count, 2);
    EXPECT_STREQ(local->items[0].title, "..");
    local->cursor = 1;
    cart_menu_pop();
    choose("run cart");
    EXPECT_EQ(pstate.pending_action, 1);
    EXPECT_EQ(std::string(pstate.current_filename), dir + "carts/sub/hop.z6.png");
    pstate.pending_action = 0;
    local->cursor = 0;
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_STREQ(pstate.current_folder, "");

    // a folder name that is not one component is refused
    only(LIST_LOCAL, BROWSE_FOLDER, "../..");
    EXPECT_EQ(action_current_browse_item(), 1);
    EXPECT_STREQ(pstate.current_folder, "");

    // a missing local cart says so and runs nothing
    only(LIST_LOCAL, BROWSE_CART, "gone", "", "gone.z6");
    EXPECT_EQ(action_current_browse_item(), 1);
    EXPECT_EQ(pstate.pending_action, 0);
    EXPECT_STREQ(app.message_text, "could not load");

    // "edit cart": the working cart, then the console with the exit message
    save_cart("edit_me.z6.png");
    only(LIST_LOCAL, BROWSE_CART, "edit_me", "", "edit_me.z6.png");
    generate_cart_menu(2);
    int32_t headless = pstate.headless;
    pstate.headless = 1;
    testing::internal::CaptureStdout();
    choose("edit cart");
    std::string out = testing::internal::GetCapturedStdout();
    pstate.headless = headless;
    EXPECT_EQ(pstate.sub_mode, 0);
    EXPECT_EQ(pstate.pending_action, 0);
    EXPECT_EQ(std::string(pstate.current_filename), dir + "carts/edit_me.z6.png");
    EXPECT_NE(out.find("type browse to return to browse"), std::string::npos);

    // a board cart not in the cache is fetched; "re-download" fetches it again
    only(LIST_NEW, BROWSE_CART, "racer", "racer_2-1");
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_EQ(board.cart_download, 1);
    EXPECT_STREQ(app.download_url,
                 "http://127.0.0.1:1/bbs/get_cart.php?cat=7&play_src=2&lid=racer_2-1");
    EXPECT_STREQ(browse.running_item.lid, "racer_2-1");
    cancel_download(nullptr);
    generate_cart_menu(2);
    choose("re-download");
    EXPECT_NE(std::string(app.download_url).find("lid=racer_2-1"), std::string::npos);
    cancel_download(nullptr);

    // a cached board cart runs without a fetch
    char cached[VULL_PATH_LEN];
    get_bbs_cart_filename("cached_1", cached, sizeof cached);
    ASSERT_NE(cached[0], 0);
    save_cart("../" + std::string(cached).substr(dir.size()));
    only(LIST_NEW, BROWSE_CART, "cached", "cached_1");
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_EQ(app.download_state, 0);
    EXPECT_EQ(pstate.pending_action, 1);
    EXPECT_STREQ(pstate.running_cart_lid, "cached_1");
    EXPECT_STREQ(pstate.current_filename, cached);
    pstate.pending_action = 0;

    // "[update]" and "[load more]" fetch listings; "[search]" opens the search line
    only(LIST_NEW, BROWSE_UPDATE, "[update]");
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_NE(std::string(app.download_url).find("start_index=0&cat=7&sub=2&"), std::string::npos);
    cancel_download(nullptr);
    browse_list *fresh = &browse.list[LIST_NEW];
    for (int i = 0; i < 2; i++) add_browse_item(fresh, 0)->kind = BROWSE_CART;
    add_browse_item(fresh, 0)->kind = BROWSE_LOAD_MORE;
    fresh->cursor = 3;
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_NE(std::string(app.download_url).find("start_index=2&"), std::string::npos);
    EXPECT_NE(std::string(app.download_file).find("temp_new__.pip.png"), std::string::npos);
    cancel_download(nullptr);
    only(LIST_SEARCH, BROWSE_SEARCH, "[search]");
    ASSERT_EQ(action_current_browse_item(), 0);
    EXPECT_EQ(browse_entering_text(), 1);
}

TEST_F(BrowseMenu, OpenInBrowserRunsTheOpenerWithTheCheckedUrl) {
    // the stand-in xdg-open records its arguments
    std::string record = StubPrograms::record();
    auto opened = [&]() {
        std::string text;
        for (int i = 0; i < 6000 && (text = read_file(record)).empty(); i++) usleep(10000);
        unlink(record.c_str());
        return text;
    };

    browse_item *it = only(LIST_NEW, BROWSE_CART, "racer", "racer_2-1");
    vull_copy_text(it->mid, "4411", sizeof it->mid);
    cart_menu_pop();
    choose("open thread in browser");
    EXPECT_EQ(opened(), "http://127.0.0.1:1/bbs/?tid=4411\n");
    generate_cart_menu(2);
    choose("open in browser");
    EXPECT_EQ(opened(), "http://127.0.0.1:1/bbs/?pid=racer_2-1\n");

    // an id that could change the URL opens nothing
    char url[256];
    for (const char *bad : {"1&x=2", "a\"b", "../x", "$(id)", ""}) {
        get_bbs_page_url("tid", bad, url, sizeof url);
        EXPECT_STREQ(url, "") << bad;
    }
    // the page of a later, good id is the only one opened
    vull_copy_text(it->mid, "1;x", sizeof it->mid);
    generate_cart_menu(1);
    choose("open thread in browser");
    generate_cart_menu(2);
    choose("open in browser");
    EXPECT_EQ(opened(), "http://127.0.0.1:1/bbs/?pid=racer_2-1\n");
}

struct BrowseControls : BrowseMenu {
    FakeInput input;
    void SetUp() override {
        BrowseMenu::SetUp();
        clear_buttons_tables();
    }
    void TearDown() override {
        clear_buttons_tables();
        BrowseMenu::TearDown();
    }
    static void press(int scancode) {
        FakeInput::keys[scancode] = true;
        update_buttons();
        browse_controls();
        FakeInput::keys[scancode] = false;
        update_buttons();
        browse_controls();
    }
};

TEST_F(BrowseControls, ListMenuAndSearchLine) {
    browse_list *list = &browse.list[LIST_NEW];
    browse.current_list = LIST_NEW;
    clear_browse_list(list);
    for (int i = 0; i < 3; i++) {
        browse_item *it = add_browse_item(list, 0);
        it->kind = BROWSE_CART;
        snprintf(it->lid, sizeof it->lid, "cart_%d", i);
    }
    press(SDL_SCANCODE_DOWN);
    press(SDL_SCANCODE_DOWN);
    press(SDL_SCANCODE_DOWN); // stops at the last item
    EXPECT_EQ(list->cursor, 2);
    press(SDL_SCANCODE_UP);
    EXPECT_EQ(list->cursor, 1);

    press(SDL_SCANCODE_X); // the cart menu
    ASSERT_EQ(browse_screen.menu_page, 1);
    press(SDL_SCANCODE_UP); // wraps to "[back]"
    EXPECT_EQ(std::string(browse_screen.menu[browse_screen.menu_selected].label), "[back]");
    press(SDL_SCANCODE_Z);
    EXPECT_EQ(browse_screen.menu_page, 0);

    press(SDL_SCANCODE_LEFT); // lists wrap both ways
    EXPECT_EQ(browse.current_list, LIST_FAV);
    press(SDL_SCANCODE_LEFT);
    press(SDL_SCANCODE_LEFT);
    EXPECT_EQ(browse.current_list, LIST_SEARCH);
    press(SDL_SCANCODE_RIGHT);
    EXPECT_EQ(browse.current_list, LIST_LOCAL);

    browse_screen.entering_text = 1;
    browse_screen.search_cursor = 0;
    press(SDL_SCANCODE_DOWN); // spins backwards
    press(SDL_SCANCODE_RIGHT);
    press(SDL_SCANCODE_UP);
    press(SDL_SCANCODE_UP);
    EXPECT_EQ(std::string(browse_screen.search, 3), "9b ");
    press(SDL_SCANCODE_Z);
    EXPECT_STREQ(browse.list[LIST_SEARCH].request, "cat=7&search=9b&max=32");
    ASSERT_EQ(app.download_state != 0, true);
    press(SDL_SCANCODE_X); // X during a download cancels it
    EXPECT_EQ(app.download_state, 0);
    EXPECT_STREQ(app.message_text, "download cancelled");
}

TEST_F(BrowseMenu, Pictures) {
    Page p;
    browse_list *list = &browse.list[LIST_NEW];
    browse.current_list = LIST_NEW;
    clear_browse_list(list);
    const char *titles[] = {"orbit", "tiny jump", "a title far too long to fit on one row",
                            "racer"};
    for (const char *t : titles) {
        browse_item *it = add_browse_item(list, 0);
        it->kind = BROWSE_CART;
        vull_copy_text(it->title, t, sizeof it->title);
        vull_copy_text(it->lid, "x1", sizeof it->lid);
        vull_copy_text(it->author, "maker", sizeof it->author);
    }
    list->items[1].listed = 1;
    list->cursor = 1;
    draw_browse_screen(p.page);
    EXPECT_TRUE(p.matches("browse_list"));

    int32_t sound = cconfig.sound_volume;
    cconfig.sound_volume = 256;
    cart_menu_pop();
    browse_screen.menu_selected = 2;
    draw_browse_screen(p.page);
    EXPECT_TRUE(p.matches("browse_cart_menu"));
    cconfig.sound_volume = sound;

    browse_screen.menu_page = 0;
    browse.current_list = LIST_SEARCH;
    clear_browse_list(&browse.list[LIST_SEARCH]);
    memcpy(browse_screen.search, "ab9", 3);
    browse_screen.entering_text = 1;
    browse_screen.search_cursor = 3;
    browse_screen.anim_frames = 0;
    draw_browse_screen(p.page);
    EXPECT_TRUE(p.matches("browse_search"));
}

} // namespace
