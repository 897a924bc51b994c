// The event pump with an injected clock, keyboard and pointer: key repeat,
// the typed-key queue, hot keys, clicks, wheel, drops and mouse mapping.
#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/config.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/pump.h"
#include "platform/script.h"
#include "platform/video.h"

namespace {

uint64_t fake_now;
uint8_t fake_keys[512];
int fake_key_count; // entries the keyboard reports
int fake_mods;
int fake_mx, fake_my;
uint32_t fake_buttons;
int quit_calls;

struct EventsTest : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
    }
    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override {
        vull_config_default();
        cconfig.headless = 1;
        vull_state = {};
        vull_keys_init();
        vullkey_buffer_pos = 0;
        next_press_t = last_ctrl_keypress_t = last_inactive_time = 0;
        fake_now = 10000;
        memset(fake_keys, 0, sizeof fake_keys);
        fake_key_count = 512;
        fake_mods = 0;
        fake_mx = fake_my = 0;
        fake_buttons = 0;
        quit_calls = 0;
        vull_events_hook.now = [] { return fake_now; };
        vull_events_hook.keyboard = [](int *n) -> const uint8_t * {
            *n = fake_key_count;
            return fake_keys;
        };
        vull_events_hook.modstate = [] { return fake_mods; };
        vull_events_hook.mouse = [](int *x, int *y) {
            *x = fake_mx;
            *y = fake_my;
            return fake_buttons;
        };
        vull_events_hook.sleep = [](uint32_t) {};
        vull_events_hook.quit = [] { quit_calls++; };
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        vull_events_hook = {};
        vull_video_exit();
    }

    static void pump(uint64_t at) {
        fake_now = at;
        vull_handle_system_messages();
    }
    static void key_down(int sc) {
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.keysym.scancode = SDL_Scancode(sc);
        e.key.keysym.sym = SDL_GetKeyFromScancode(SDL_Scancode(sc));
        SDL_PushEvent(&e);
    }
    static void text(const char *t) {
        SDL_Event e = {};
        e.type = SDL_TEXTINPUT;
        snprintf(e.text.text, sizeof e.text.text, "%s", t);
        SDL_PushEvent(&e);
    }
    static std::string queue() {
        std::string s;
        for (int i = 0; i < vullkey_buffer_pos; i++) s += std::to_string(vullkey_buffer[i]) + " ";
        return s;
    }
};

TEST_F(EventsTest, HeldKeysRepeatOnOneSharedTimer) {
    fake_keys[SDL_SCANCODE_A] = 1;
    pump(10000);
    EXPECT_EQ(vull_get_key_state(SDL_SCANCODE_A), 3); // first frame of the press
    pump(10016);
    EXPECT_EQ(vull_get_key_state(SDL_SCANCODE_A), 1);
    pump(10515);
    EXPECT_EQ(vull_get_key_state(SDL_SCANCODE_A), 1);
    EXPECT_EQ(vullkey_buffer_pos, 0);
    pump(10516); // 500 ms after the last pass that saw the press as new
    EXPECT_EQ(vullkey[SDL_SCANCODE_A], 3);
    EXPECT_EQ(queue(), "-1 "); // repeated, nothing typed
    pump(10530);
    EXPECT_EQ(vullkey[SDL_SCANCODE_A], 1);
    pump(10596);
    EXPECT_EQ(vullkey[SDL_SCANCODE_A], 3);

    // A second key held down restarts the wait for both; then they tick together.
    fake_keys[SDL_SCANCODE_B] = 1;
    pump(10600);
    pump(10616);
    pump(11000);
    EXPECT_EQ(vullkey[SDL_SCANCODE_A], 1);
    pump(11116);
    EXPECT_EQ(vullkey[SDL_SCANCODE_A], 3);
    EXPECT_EQ(vullkey[SDL_SCANCODE_B], 3);

    // Released keys read 0; a blocked key reads 0 while held and unblocks on release.
    fake_keys[SDL_SCANCODE_A] = 0;
    block_vullkey[SDL_SCANCODE_B] = 1;
    pump(11120);
    EXPECT_EQ(vull_get_key_state(SDL_SCANCODE_A), 0);
    EXPECT_EQ(vull_get_key_state(SDL_SCANCODE_B), 0);
    pump(11300);
    EXPECT_EQ(vullkey[SDL_SCANCODE_B], 1); // blocked keys do not repeat
    fake_keys[SDL_SCANCODE_B] = 0;
    pump(11320);
    EXPECT_EQ(block_vullkey[SDL_SCANCODE_B], 0);

    // Modifier state lands in the engine's entries, GUI keys at 500/501.
    fake_mods = KMOD_LGUI | KMOD_RALT;
    pump(11400);
    EXPECT_NE(vullkey[500], 0);
    EXPECT_NE(vullkey[230], 0);
    EXPECT_NE(vull_get_key_state(VULL_KEY_CTRL), 0);

    // Entries past the end of a shorter keyboard read as up.
    fake_mods = 0;
    fake_keys[300] = 1;
    pump(11416);
    EXPECT_NE(vullkey[300], 0);
    fake_key_count = 256;
    pump(11432);
    EXPECT_EQ(vullkey[300], 0);
    EXPECT_NE(last_vullkey[300], 0);
}

TEST_F(EventsTest, TypedKeysAndText) {
    key_down(SDL_SCANCODE_RETURN);
    key_down(SDL_SCANCODE_KP_ENTER);
    key_down(SDL_SCANCODE_BACKSPACE);
    key_down(SDL_SCANCODE_ESCAPE);
    key_down(SDL_SCANCODE_A); // its character comes as text input
    text("a");
    text("\xc3\xa9"); // more than one byte: not typeable here
    key_down(SDL_SCANCODE_LEFT);
    key_down(600); // beyond the key arrays: ignored
    pump(10000);
    EXPECT_EQ(queue(), "13 13 8 27 97 ");
    EXPECT_EQ(vullkey[80], 1);

    // Tab right after regaining focus is the tail of an Alt+Tab.
    vullkey_buffer_pos = 0;
    last_inactive_time = 10000;
    key_down(SDL_SCANCODE_TAB);
    pump(10039);
    key_down(SDL_SCANCODE_TAB);
    pump(10040);
    EXPECT_EQ(queue(), "9 ");

    // The queue holds 32 entries; the rest are dropped.
    vullkey_buffer_pos = 0;
    for (int i = 0; i < 40; i++) key_down(SDL_SCANCODE_ESCAPE);
    pump(10100);
    EXPECT_EQ(vullkey_buffer_pos, 32);
}

TEST_F(EventsTest, CtrlShortcutsAndQuit) {
    fake_keys[SDL_SCANCODE_LCTRL] = 1;
    key_down(SDL_SCANCODE_S);
    pump(10000);
    EXPECT_EQ(queue(), "115 ");
    key_down(SDL_SCANCODE_D); // 30 ms later: dropped
    pump(10030);
    EXPECT_EQ(queue(), "115 ");
    key_down(SDL_SCANCODE_1); // a digit gives itself and presses nothing else
    pump(10100);
    EXPECT_EQ(queue(), "115 49 ");
    EXPECT_EQ(vullkey[SDL_SCANCODE_B], 0);
    EXPECT_EQ(quit_calls, 0);
    key_down(SDL_SCANCODE_Q);
    pump(10200);
    EXPECT_EQ(quit_calls, 1);

    // Right Alt (AltGr) is not Ctrl.
    fake_keys[SDL_SCANCODE_LCTRL] = 0;
    fake_keys[SDL_SCANCODE_RALT] = 1;
    fake_mods = KMOD_LCTRL | KMOD_RALT;
    pump(10300);
    key_down(SDL_SCANCODE_E);
    pump(10400);
    EXPECT_EQ(vullkey[SDL_SCANCODE_LCTRL], 0);

    // Alt+F4 quits when a typed key arrives while both are held.
    fake_mods = KMOD_LALT;
    fake_keys[SDL_SCANCODE_F4] = 1;
    pump(10500);
    key_down(SDL_SCANCODE_ESCAPE);
    pump(10600);
    EXPECT_EQ(quit_calls, 2);
}

TEST_F(EventsTest, AltReturnTogglesOncePerPress) {
    cconfig.headless = 0;
    vull_video_init();
    vull_set_window_size(320, 240);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    ASSERT_EQ(vull_screen_mode, 0);
    fake_mods = KMOD_LALT;
    fake_keys[SDL_SCANCODE_LALT] = fake_keys[SDL_SCANCODE_RETURN] = 1;
    key_down(SDL_SCANCODE_RETURN);
    pump(10000);
    EXPECT_EQ(vull_screen_mode, 1);
    EXPECT_EQ(vullkey_buffer_pos, 0);
    key_down(SDL_SCANCODE_RETURN); // auto-repeat of the same press
    pump(10100);
    EXPECT_EQ(vull_screen_mode, 1);
    fake_keys[SDL_SCANCODE_RETURN] = 0;
    pump(10200);
    fake_keys[SDL_SCANCODE_RETURN] = 1;
    key_down(SDL_SCANCODE_RETURN);
    pump(10300);
    EXPECT_EQ(vull_screen_mode, 0);
}

TEST_F(EventsTest, EmulatedTextInputUsesTheUsLayout) {
    cconfig.emulate_textinput = 1;
    key_down(SDL_SCANCODE_H);
    key_down(SDL_SCANCODE_SPACE);
    key_down(SDL_SCANCODE_SLASH);
    text("x"); // real text input is ignored in this mode
    pump(10000);
    fake_keys[SDL_SCANCODE_LSHIFT] = 1;
    pump(10010);
    key_down(SDL_SCANCODE_2);
    key_down(SDL_SCANCODE_LEFTBRACKET);
    key_down(SDL_SCANCODE_RETURN);
    pump(10020);
    EXPECT_EQ(queue(), "104 32 47 13 64 123 ");
}

TEST_F(EventsTest, ClicksWheelDropsAndWindowEvents) {
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONUP; // a release alone is not a click
    e.button.button = SDL_BUTTON_LEFT;
    SDL_PushEvent(&e);
    pump(10000);
    EXPECT_EQ(vull_state.click_button, 0);
    e.type = SDL_MOUSEBUTTONDOWN;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
    pump(10016);
    EXPECT_EQ(vull_state.click_button, SDL_BUTTON_LEFT);
    EXPECT_EQ(vull_state.click_time, 10016);

    e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.x = 1;
    e.wheel.y = -2;
    SDL_PushEvent(&e);
    SDL_PushEvent(&e);
    pump(10032);
    EXPECT_EQ(vull_state.wheel_y, -4);
    EXPECT_EQ(vull_state.wheel_x2, 2);

    // A dropped path is cut to the buffer, and SDL's copy is released (the
    // leak checker sees it otherwise); dropped text is released too.
    std::string path(3000, 'p');
    e = {};
    e.type = SDL_DROPFILE;
    e.drop.file = SDL_strdup(path.c_str());
    SDL_PushEvent(&e);
    e.type = SDL_DROPTEXT;
    e.drop.file = SDL_strdup("some text");
    SDL_PushEvent(&e);
    pump(10048);
    EXPECT_EQ(strlen(vull_state.dropped_file), size_t(VULL_PATH_LEN - 1));

    e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    vull_quit = 0;
    pump(10064);
    EXPECT_EQ(vull_quit, 1);
    vull_quit = 0;

    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    vull_system_active = 0;
    SDL_PushEvent(&e);
    pump(10080);
    EXPECT_EQ(vull_system_active, 1);
    EXPECT_EQ(last_inactive_time, 10080u);
}

TEST_F(EventsTest, MouseInBackPagePixels) {
    int x = -7, y = -7, b = -7;
    vull_get_mouse(&x, &y, &b); // no page: zeros
    EXPECT_EQ(x, 0);
    EXPECT_EQ(b, 0);

    cconfig.headless = 0;
    vull_video_init();
    vull_set_window_size(640, 540);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    fake_mx = fake_my = 100;
    fake_buttons = SDL_BUTTON_LMASK | SDL_BUTTON_MMASK;
    vull_get_mouse(&x, &y, &b);
    EXPECT_EQ(x, 9);
    EXPECT_EQ(y, 21);
    EXPECT_EQ(b, 5);
    vull_get_mouse(nullptr, nullptr, nullptr);

    // Outside the page gives positions outside it, truncated toward zero.
    fake_mx = 10;
    fake_my = 600;
    vull_get_mouse(&x, &y, nullptr);
    EXPECT_EQ(x, -13);
    EXPECT_EQ(y, 146);

    // The right-button key turns a left click into a right one while held.
    cconfig.rmb_key = SDL_SCANCODE_LALT;
    vullkey[SDL_SCANCODE_LALT] = 1;
    vull_get_mouse(nullptr, nullptr, &b);
    EXPECT_EQ(b, 6);

    // A warped position holds until the pointer moves in both directions.
    fake_mx = fake_my = 100;
    vull_set_mouse(3, 4);
    vull_get_mouse(&x, &y, nullptr);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
    fake_mx = 101;
    vull_get_mouse(&x, &y, nullptr);
    EXPECT_EQ(x, 3);
    fake_my = 101;
    vull_get_mouse(&x, &y, nullptr);
    EXPECT_EQ(x, 9);
    EXPECT_EQ(use_warped_mxy, 0);

    // While locked, the virtual position moves but the pointer does not:
    // the imposed position still holds.
    fake_mx = fake_my = 100;
    vull_set_mouse(3, 4);
    vull_lock_mouse_cursor(1);
    virtual_mx = 200;
    virtual_my = 300;
    vull_get_mouse(&x, &y, nullptr);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
    EXPECT_EQ(use_warped_mxy, 1);
    vull_lock_mouse_cursor(0);
}

// The input script's reader: what each kind of line gives, and the first bad
// line named with what is wrong with it.
TEST(InputScript, Lines) {
    struct row {
        const char *text;
        const char *error; // null: parses
        int steps;
    };
    const row rows[] = {
        {"# comment\n\n  \nframe 1 keydown Escape\r\nframe 1 keyup F12\n", nullptr, 2},
        {"frame 2 text hello world\nframe 3 mousemove 0 65535\nframe 3 mousedown right\n"
         "frame 9 dump out dir/shot.png\nframe 9 quit",
         nullptr, 5},
        {"frame 0 quit\n", "line 1: the frame is not a number from 1 to 1000000", 0},
        {"frame 2 quit\nframe 1 quit\n", "line 2: frame 1 comes after frame 2", 0},
        {"frame 1 keydown Esc\n", "line 1: no key is named \"Esc\"", 0},
        {"frame 1 keydown F13\n", "line 1: no key is named \"F13\"", 0},
        {"frame 1 mousedown 1\n", "line 1: the button is left, middle or right, not \"1\"", 0},
        {"frame 1 mousemove 3\n", "line 1: mousemove takes two window pixel positions", 0},
        {"frame 1 mousemove -1 2\n", "line 1: mousemove takes two window pixel positions", 0},
        {"frame 1 quit now\n", "line 1: more than quit takes", 0},
        {"frame 1 text \t\n", "line 1: text takes printable ASCII only", 0},
        {"frame 1 dump\n", "line 1: dump needs a path", 0},
        {"frame 1 jump\n", "line 1: no step is named \"jump\"", 0},
        {"frames 1 quit\n", "line 1: a step starts with \"frame N\"", 0},
        {"frame 99999999999 quit\n", "line 1: the frame is not a number", 0},
    };
    for (const row &r : rows) {
        std::vector<vull_script_step> steps;
        std::string error;
        bool ok = vull_script_parse(r.text, strlen(r.text), steps, error);
        EXPECT_EQ(ok, r.error == nullptr) << r.text << error;
        if (r.error) { EXPECT_EQ(error.rfind(r.error, 0), 0u) << r.text << " gave " << error; }
        EXPECT_EQ(int(steps.size()), r.steps) << r.text;
    }
    std::string nul("frame 1 quit\0\n", 14), long_line = "frame 1 text " + std::string(600, 'a');
    std::vector<vull_script_step> steps;
    std::string error;
    EXPECT_FALSE(vull_script_parse(nul.data(), nul.size(), steps, error));
    EXPECT_EQ(error, "line 1: holds a NUL byte");
    EXPECT_FALSE(vull_script_parse(long_line.data(), long_line.size(), steps, error));
    EXPECT_EQ(error, "line 1: longer than 512 characters");
}

std::string saved_path;
std::vector<uint32_t> saved_picture;

// The script through the pump: each step takes effect in its own pass, the
// way a device's event would, and a dump takes the next presented picture.
TEST_F(EventsTest, InputScriptDrivesThePump) {
    char path[] = "/tmp/z6_script_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char text[] = "frame 2 keydown Escape\nframe 3 text hi\nframe 4 keyup Escape\n"
                        "frame 4 mousemove 300 40\nframe 4 mousedown left\nframe 5 mouseup left\n"
                        "frame 5 mousedown right\nframe 5 mouseup right\nframe 5 dump shot.png\n"
                        "frame 6 keydown LCtrl\nframe 6 keydown q\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), ssize_t(sizeof text - 1));
    close(fd);
    std::string error;
    auto save = [](const char *p, const uint32_t *argb, int w, int h) {
        saved_path = p;
        saved_picture.assign(argb, argb + w * h);
        return 0;
    };
    ASSERT_TRUE(vull_script_start(path, save, error)) << error;
    unlink(path);
    auto pass = [] {
        vull_script_pass();
        vull_handle_system_messages();
    };

    pass();
    EXPECT_EQ(vull_script_frame(), 1);
    EXPECT_EQ(vullkey[SDL_SCANCODE_ESCAPE], 0);
    pass();
    EXPECT_NE(vullkey[SDL_SCANCODE_ESCAPE], 0);
    EXPECT_EQ(queue(), "27 ");
    vullkey_buffer_pos = 0;
    pass();
    EXPECT_EQ(queue(), "104 105 ");
    EXPECT_EQ(vull_pump_time(), 3u * VULL_SCRIPT_MS_PER_FRAME); // no wall clock
    pass();
    EXPECT_EQ(vullkey[SDL_SCANCODE_ESCAPE], 0);
    int x, y;
    EXPECT_EQ(vull_events_hook.mouse(&x, &y), VULL_POINTER_LEFT);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 40);
    EXPECT_FALSE(vull_script_dump_wanted());
    pass();
    EXPECT_EQ(vull_state.click_button, 3); // pressed and let go in one pass
    ASSERT_TRUE(vull_script_dump_wanted());
    const uint32_t picture[2] = {0xff102030u, 0xff405060u};
    vull_script_picture(picture, 2, 1);
    EXPECT_EQ(saved_path, "shot.png");
    EXPECT_EQ(saved_picture, std::vector<uint32_t>(picture, picture + 2));
    EXPECT_FALSE(vull_script_dump_wanted());
    pass(); // Ctrl+Q: the quit hot key, through the pushed event
    EXPECT_EQ(quit_calls, 1);
    vull_script_stop();
    EXPECT_FALSE(vull_script_on());
    EXPECT_EQ(vull_events_hook.keyboard(&x), fake_keys); // the hooks it replaced are back

    // A script that cannot be read leaves everything as it was.
    EXPECT_FALSE(vull_script_start("/nonexistent/script", save, error));
    const std::string refused = ": not a readable regular file of at most 65536 bytes";
    EXPECT_EQ(error, "input script /nonexistent/script" + refused);
    EXPECT_FALSE(vull_script_start("/tmp", save, error));
    EXPECT_EQ(error, "input script /tmp" + refused);
    std::string big(VULL_SCRIPT_MAX_BYTES + 1, '#');
    char big_path[] = "/tmp/z6_script_XXXXXX";
    fd = mkstemp(big_path);
    ASSERT_EQ(write(fd, big.data(), big.size()), ssize_t(big.size()));
    close(fd);
    EXPECT_FALSE(vull_script_start(big_path, save, error));
    unlink(big_path);
    EXPECT_EQ(error, std::string("input script ") + big_path + refused);
    EXPECT_FALSE(vull_script_on());
}

// The host rate counts a pass with its configured sleep but without the wait
// the loop adds until the next frame is due; with that wait a 60 fps loop
// measured itself at 60 or less, and the governor halved every 60 fps cart.
TEST_F(EventsTest, HostRateLeavesOutTheWaitForTheNextFrame) {
    vull_events_hook.sleep = [](uint32_t ms) { SDL_Delay(ms); };
    for (int sleep : {0, 40}) {
        cconfig.foreground_sleep_ms = cconfig.background_sleep_ms = sleep;
        vull_register_frame_start_for_fps();
        vull_pump_idle_for(VULL_MAX_IDLE_MS);
        pump(10000);
        vull_register_frame_end_for_fps();
        EXPECT_GT(vull_get_fps(), 1000 / VULL_MAX_IDLE_MS) << "sleep " << sleep;
        EXPECT_LE(vull_get_fps(), sleep ? 1000 / sleep : 1000) << "sleep " << sleep;
    }
}

TEST_F(EventsTest, KeyNames) {
    EXPECT_STREQ(vull_get_key_name(SDL_SCANCODE_A), "A");
    EXPECT_STREQ(vull_get_key_name(SDL_SCANCODE_LALT), "LEFT ALT");
    EXPECT_STREQ(vull_get_key_name(0), "?");
    EXPECT_STREQ(vull_get_key_name(99999), "?");
    EXPECT_STREQ(vull_get_key_name(-1), "?");
}

} // namespace
