// Engine configuration: option scan, config.txt reading (including hostile
// files), the written layout, and what config.txt keeps of the command line.
// Also built with ZIBO6_ARM32=1 to cover the ARM defaults.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/config.h"
#include "engine/disk.h"
#include "tests/support/write_limit.h"
#include "engine/vull.h"
#include "platform/video.h"
#include "tests/engine/file_test_util.h"

namespace {

using ftest::read_file;
using ftest::write_file;

std::string make_temp_dir() { return ftest::make_temp_dir("cfg"); }

// Defaults as the build has them: the ARM build sleeps less and turns the
// sound down on an arcade cabinet.
int expected_sound_default() {
#ifdef ZIBO6_ARM32
    if (access("/boot/config.txt.picade-preinstall", F_OK) == 0) return 64;
#endif
    return 256;
}

int expected_sleep_default() {
#ifdef ZIBO6_ARM32
    return access("/boot/config.txt.picade-preinstall", F_OK) == 0 ? 5 : 1;
#else
    return 2;
#endif
}

// Runs the option scan, over a fresh default record unless keep is set; the folder option
// it refused, or "".
std::string scan(std::vector<std::string> args, bool keep = false) {
    if (!keep) vull_config_default();
    args.insert(args.begin(), "prog");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const char *refused = vull_process_arguments(int(args.size()), argv.data());
    return refused ? refused : "";
}

std::vector<std::string> hook_lines;
void record_hook(const char *line) { hook_lines.push_back(line); }

// A per-user folder of its own with the given config.txt, loaded the way
// start-up does: defaults into both records, then the file.
struct ConfigDir {
    std::string dir = make_temp_dir();
    ConfigDir() { hook_lines.clear(); }
    void load(const std::string *text) {
        if (text) write_file(dir + "/config.txt", *text);
        vull_config_default();
        snprintf(cconfig.home, sizeof cconfig.home, "%s", dir.c_str());
        cconfig0 = cconfig;
        vull_set_load_config_func(record_hook);
        vull_config_load();
        vull_set_load_config_func(nullptr);
    }
    void load(const std::string &text) { load(&text); }
};

} // namespace

TEST(ConfigOptions, ValuesPrefixesAndClamps) {
    scan({"-width", "320", "-height", "240"});
    EXPECT_EQ(cconfig.window_size[0], 320);
    EXPECT_EQ(cconfig.window_size[1], 240);

    // A value cannot begin with '-': -1 is an unknown option and the pending one waits.
    scan({"-window_x", "-1", "5", "-window_y", "7"});
    EXPECT_EQ(cconfig.window_position[0], 5);
    EXPECT_EQ(cconfig.window_position[1], 7);

    scan({"-draw_rect", "10,20"});
    EXPECT_EQ(std::vector<int>(cconfig.draw_rect, cconfig.draw_rect + 4),
              (std::vector<int>{10, 20, 4096, 4096}));
    scan({"-draw_rect", "1,2,3,4,5"});
    EXPECT_EQ(std::vector<int>(cconfig.draw_rect, cconfig.draw_rect + 4),
              (std::vector<int>{1, 2, 3, 4}));
    scan({"-draw_rect", "x"});
    EXPECT_EQ(std::vector<int>(cconfig.draw_rect, cconfig.draw_rect + 4),
              (std::vector<int>{0, 0, 4096, 4096}));
    // or as four numbers, never more: a fifth is the console's cart
    scan({"-draw_rect", "5", "6", "128", "96", "7"});
    EXPECT_EQ(std::vector<int>(cconfig.draw_rect, cconfig.draw_rect + 4),
              (std::vector<int>{5, 6, 128, 96}));
    scan({"-draw_rect", "5", "6", "game.z6"});
    EXPECT_EQ(std::vector<int>(cconfig.draw_rect, cconfig.draw_rect + 4),
              (std::vector<int>{5, 6, 4096, 4096}));
    {
        std::vector<std::string> a = {"prog", "-draw_rect", "0", "0", "128", "128", "cart",
                                      "-width", "640", "-x", "-draw_rect", "1,2", "3", "-nope"};
        std::vector<char *> v;
        for (std::string &x : a) v.push_back(x.data());
        int n = int(v.size());
        EXPECT_EQ(vull_option_value_count(n, v.data(), 1), 4);
        EXPECT_EQ(vull_option_value_count(n, v.data(), 7), 1);
        EXPECT_EQ(vull_option_value_count(n, v.data(), 9), 0);  // a flag
        EXPECT_EQ(vull_option_value_count(n, v.data(), 10), 1); // one x,y,w,h text
        EXPECT_EQ(vull_option_value_count(n, v.data(), 13), -1);
    }

    scan({"-timeout", "0", "-preblit_scale", "12"});
    EXPECT_EQ(cconfig.timeout, 1);
    EXPECT_EQ(cconfig.preblit_scale, 8);
    scan({"-timeout", "999"});
    EXPECT_EQ(cconfig.timeout, 240);

    scan({"-sound_volume", "100", "-music", "7", "-software_blitter", "1", "-fullscreen_method",
          "2"});
    EXPECT_EQ(int(cconfig.sound_volume), 100);
    EXPECT_EQ(int(cconfig.music_volume), 7);
    EXPECT_EQ(cconfig.software_blit, 1);
    EXPECT_EQ(cconfig.fullscreen_method, 2);

    // Not a number reads as 0; overflowing numbers clamp to the int32 range.
    scan({"-show_fps", "abc", "-width", "99999999999999999999", "-perf_timing", "4294967297"});
    EXPECT_EQ(cconfig.show_fps, 0);
    EXPECT_EQ(cconfig.window_size[0], INT32_MAX);
    EXPECT_EQ(cconfig.perf_timing, INT32_MAX);

    // A bare argument after a value option is that option's value.
    scan({"-windowed", "cart.z6"});
    EXPECT_EQ(cconfig.windowed, 0);
    scan({"cart.z6", "-unknown", "3"});
    EXPECT_EQ(cconfig.windowed, 0);
    EXPECT_EQ(cconfig.window_size[0], 0);
}

TEST(ConfigOptions, FlagsTakeNoValueAndTheScanStopsAtRedirections) {
    scan({"-headless", "7", "-width", "9"});
    EXPECT_EQ(cconfig.headless, 1);
    EXPECT_EQ(cconfig.window_size[0], 9);

    scan({"-width", "-headless", "8"}); // the flag clears the pending -width
    EXPECT_EQ(cconfig.window_size[0], 0);

    scan({"-framebuffer", "3"});
    EXPECT_EQ(cconfig.framebuffer, 1);
    EXPECT_EQ(cconfig.headless, 1);

    for (const char *flag : {"-x", "-xyz", "-exec", "-export"}) {
        scan({flag, "cart.z6"});
        EXPECT_EQ(cconfig.headless, 1) << flag;
    }

    scan({"|", "-width", "5"});
    EXPECT_EQ(cconfig.window_size[0], 0);
    scan({"-width", "5", ">", "-height", "6"});
    EXPECT_EQ(cconfig.window_size[0], 5);
    EXPECT_EQ(cconfig.window_size[1], 0);
    scan({"-width", "&"});
    EXPECT_EQ(cconfig.window_size[0], 0);

    vull_config_default();
    vull_process_arguments(1, nullptr);
    vull_process_arguments(0, nullptr);
    EXPECT_EQ(cconfig.headless, 0);
}

// A folder is made absolute when it is set; one too long for a path is not used, never cut,
// and named to the caller (the first of them).
TEST(ConfigOptions, PathsAreMadeAbsoluteAndNeverCut) {
    std::string long_path(5000, 'p');
    EXPECT_EQ(scan({"-home", long_path, "-desktop", "/d/jos\xc3\xa9/"}), "home");
    EXPECT_STREQ(cconfig.home, "");
    EXPECT_STREQ(cconfig.desktop_path, "/d/jos\xc3\xa9/");
    EXPECT_EQ(scan({"-desktop", long_path, "-home", long_path}), "desktop");
    EXPECT_EQ(scan({"-width", "9", "-home", "/h", "-desktop", ""}), "");
    // The per-user folder keeps room for the longest name put under it; others need none.
    const int home_max = VULL_PATH_LEN - 2 - VULL_USER_NAME_MAX;
    EXPECT_EQ(home_max, 944);
    std::string at_max = "/" + std::string(size_t(home_max - 1), 'p');
    EXPECT_EQ(scan({"-home", at_max, "-desktop", at_max + "pp"}), "");
    EXPECT_EQ(std::string(cconfig.home), at_max + "/");
    EXPECT_EQ(scan({"-home", at_max + "p"}), "home");
    EXPECT_STREQ(cconfig.home, "");
    char cwd[VULL_PATH_LEN];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string here = cwd;
    std::string up = here.substr(0, here.rfind('/') + 1);
    scan({"-home", "./h", "-desktop", "../shots"});
    EXPECT_EQ(std::string(cconfig.home), here + "/h/");
    EXPECT_EQ(std::string(cconfig.desktop_path), up + "shots/");
    scan({"-home", "."});
    EXPECT_EQ(std::string(cconfig.home), here + "/");
    // A ':' is part of a folder's name: neither a drive letter nor the end of a folder.
    scan({"-home", "a:h", "-desktop", "/T/B/q:r/../h2"});
    EXPECT_EQ(std::string(cconfig.home), here + "/a:h/");
    EXPECT_STREQ(cconfig.desktop_path, "/T/B/h2/");
}

TEST(ConfigDefaults, TableValues) {
    vull_config_default();
    EXPECT_EQ(cconfig.config_read, 0);
    EXPECT_EQ(cconfig.screen_depth, 32);
    EXPECT_EQ(int(cconfig.sound_volume), expected_sound_default());
    EXPECT_EQ(int(cconfig.music_volume), 256);
    EXPECT_EQ(cconfig.foreground_sleep_ms, expected_sleep_default());
    EXPECT_EQ(cconfig.background_sleep_ms, 10);
    EXPECT_EQ(cconfig.window_position[0], -1);
    EXPECT_EQ(cconfig.display, -1);
    EXPECT_EQ(cconfig.mix_buffer_size, 1024);
    EXPECT_EQ(cconfig.windib, -1);
    EXPECT_EQ(cconfig.fullscreen_method, 1);
    EXPECT_EQ(cconfig.pixel_perfect, -1);
    EXPECT_EQ(cconfig.keep_aspect, 1);
    EXPECT_EQ(cconfig.timeout, 30);
    EXPECT_EQ(cconfig.home[0], 0);
}

TEST(ConfigLoad, KeysClampsHookAndDesktopPath) {
    ConfigDir d;
    d.load("// a comment\r\n"
           "\n"
           "sound_volume 300\n"
           "music_volume -99999999999999999\n"
           "foreground_sleep_ms -5\n"
           "background_sleep_ms 500\n"
           "mix_buffer_size 100\n"
           "video_mode 320 200\n"
           "window_size 640\n"
           "windowed 99999999999999999999\n"
           "sessions12\n"
           "rmb_key 226\n"
           "opengl_blit 3\n"
           "window_position 10 20\n"
           "desktop_path  C:\\Users\\jos\xc3\xa9\\\\shots\x01  \n"
           "unknown_key 5\n"
           "fullscreen_method 0\n");
    EXPECT_EQ(hook_lines, (std::vector<std::string>{"// a comment", "", "unknown_key 5"}));
    std::string here = std::filesystem::current_path().string();
    if (here == "/") here.clear();
    for (const vull_config_rec *c : {&cconfig, &cconfig0}) {
        EXPECT_EQ(c->config_read, 1);
        EXPECT_EQ(int(c->sound_volume), 256);
        EXPECT_EQ(int(c->music_volume), 0);
        EXPECT_EQ(c->foreground_sleep_ms, 0);
        EXPECT_EQ(c->background_sleep_ms, 200);
        EXPECT_EQ(c->mix_buffer_size, 1024);
        EXPECT_EQ(c->screen_size[0], 320);
        EXPECT_EQ(c->screen_size[1], 200);
        EXPECT_EQ(c->window_size[0], 640); // only one number given: the height stays
        EXPECT_EQ(c->window_size[1], 200);
        EXPECT_EQ(c->windowed, INT32_MAX);
        EXPECT_EQ(c->sessions, 2); // read one character after the key
        EXPECT_EQ(c->rmb_key, 226);
        EXPECT_EQ(c->opengl_blit_key, 3);
        EXPECT_EQ(c->window_position[1], 20);
        EXPECT_EQ(std::string(c->desktop_path), here + "/C:/Users/jos\xc3\xa9/shots/");
        EXPECT_EQ(c->fullscreen_method, 0);
    }

    // A bare key reads nothing past its end; a missing file changes nothing.
    ConfigDir d2;
    d2.load("sessions\nrmb_key\ndesktop_path\nwindow_size\n");
    EXPECT_EQ(cconfig.sessions, 0);
    EXPECT_EQ(cconfig.rmb_key, 0);
    EXPECT_STREQ(cconfig.desktop_path, "");
    ConfigDir d3;
    d3.load(nullptr);
    EXPECT_EQ(cconfig.config_read, 0);
}

TEST(ConfigLoad, HostileFilesAreReadSafely) {
    // A long line arrives whole: a piece of it could read as some other setting.
    ConfigDir d;
    d.load(std::string(10000, 'z') + "sound_volume 7\nsound_volume 12\n");
    ASSERT_EQ(hook_lines.size(), 1u);
    EXPECT_EQ(hook_lines[0].size(), 10014u);
    EXPECT_EQ(int(cconfig.sound_volume), 12);

    // A megabyte of random bytes: whatever is read, the clamps hold.
    std::mt19937 rng(1234);
    std::string noise(1 << 20, 0);
    for (char &c : noise) c = char(rng());
    ConfigDir r;
    r.load(noise);
    EXPECT_EQ(cconfig.config_read, 1);
    EXPECT_TRUE(cconfig.sound_volume >= 0 && cconfig.sound_volume <= 256);
    EXPECT_TRUE(cconfig.foreground_sleep_ms >= 0 && cconfig.foreground_sleep_ms <= 200);
    EXPECT_TRUE(cconfig.mix_buffer_size >= 512 && cconfig.mix_buffer_size <= 8192);

    // A folder in place of config.txt reads as an empty file.
    ConfigDir f;
    mkdir((f.dir + "/config.txt").c_str(), 0755);
    f.load(nullptr);
    EXPECT_EQ(cconfig.sessions, 0);
}

namespace {
void save_hook(vull_file *f) { vull_fprintf_1s(f, "%s", "// app section\n"); }
} // namespace

TEST(ConfigSave, ExactLayoutFromBothRecords) {
    ConfigDir d;
    d.load("window_size 800 600\nsound_volume 100\n");
    snprintf(vull_state.app_title, sizeof vull_state.app_title, "zibo-6");
    // Live changes: only the keys written from the live record survive.
    cconfig.window_size[0] = 1;
    cconfig.show_fps = 1;
    cconfig.sound_volume = 50;
    cconfig.sessions = 7;
    cconfig.window_position[0] = 3;
    cconfig.window_position[1] = 4;
    vull_set_save_config_func(save_hook);
    vull_config_save();
    vull_set_save_config_func(nullptr);
    std::string expected =
        "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n"
        "// Configuration for zibo-6\n// \n"
        "// config.txt is read on startup and saved on exit.\n"
        "// To generate the default config.txt, delete this file.\n// \n"
        "// - - - - - - - - - - - - - - - - - - - - - - - - - - - -\n"
        "\n\n// :: Video Settings\n\n"
        "window_size 800 600 // window width, height\n"
        "screen_size 0 0 // screen width, height (stretched to window) \n"
        "show_fps 0 // Draw frames per second in the corner\n"
        "\n\n// :: Window Settings\n\n"
        "windowed " +
        std::to_string(vull_get_windowed()) +
        " // 1 to start up in windowed mode\n"
        "window_position 3 4 // x and y position of window (-1, -1 to let the window manager "
        "decide)\n"
        "frameless 0 // 1 to use a window with no frame\n"
        "fullscreen_method 1 // 0 maximized window (linux)  1 borderless desktop-sized window  2 "
        "hardware "
        "fullscreen (warning: erratic behaviour under some drivers)\n"
        "\n\n// :: System Settings\n\n"
        "foreground_sleep_ms " +
        std::to_string(cconfig0.foreground_sleep_ms) +
        " // number of milliseconds to sleep each frame. Try 10 to conserve battery power\n\n"
        "background_sleep_ms 10 // number of milliseconds to sleep each frame when running in the "
        "background\n\n"
        "sessions 7 // number of times program has been run\n\n"
        "// (scancode) hold this key down and left-click to simulate right-click\n"
        "rmb_key 0 // 0 for none  226 for LALT\n\n"
        "// Desktop for saving screenshots etc. Defaults to $HOME/Desktop\n"
        "desktop_path \n\n"
        "\n\n// :: Audio Settings (use \"volume\" for ZIBO-6)\n\n"
        "sound_volume 50 // 0..256\n"
        "music_volume 256 // 0..256\n"
        "\n\n// :: usually 1024. Try 2048 if you get choppy sound\n\n"
        "mix_buffer_size 1024\n"
        "\n\n// :: \n\n"
        "// app section\n";
    EXPECT_EQ(read_file(d.dir + "/config.txt"), expected);
    EXPECT_FALSE(std::ifstream(d.dir + "/config.txt.tmp").good());

    // Read back, the written file gives the same values.
    std::string written = read_file(d.dir + "/config.txt");
    ConfigDir again;
    again.load(written);
    EXPECT_EQ(cconfig.window_size[0], 800);
    EXPECT_EQ(cconfig.sessions, 7);
    EXPECT_EQ(int(cconfig.sound_volume), 50);
    EXPECT_EQ(hook_lines.back(), "// app section");
}

// A desktop_path as config.txt gives it is kept absolute, and read back after the save it
// names the same folder, from wherever the player runs next.
TEST(ConfigSave, DesktopPathReadBackNamesTheSameFolder) {
    std::string here = std::filesystem::current_path().string();
    if (here == "/") here.clear();
    const std::pair<const char *, std::string> cases[] = {
        {"desktop_path \002 :\n", here + "/ :/"}, // the blank after a dropped control stays
        {"desktop_path a:shots\n", here + "/a:shots/"},
        {"desktop_path /T/B/q:r/../h2\n", "/T/B/h2/"},
        {"desktop_path \x01 x\\y\n", here + "/ x/y/"},
        {"desktop_path shots\n", here + "/shots/"},
    };
    for (const auto &[line, folder] : cases) {
        ConfigDir d;
        d.load(line);
        EXPECT_EQ(std::string(cconfig0.desktop_path), folder) << line;
        vull_config_save();
        ConfigDir again;
        again.load(read_file(d.dir + "/config.txt"));
        EXPECT_EQ(std::string(cconfig0.desktop_path), folder) << line;
    }
}

TEST(ConfigSave, FirstOptionPassIsNotKept) {
    // Start-up order: defaults (both records), options, config.txt, options again.
    ConfigDir d;
    write_file(d.dir + "/config.txt", "window_size 640 480\n");
    std::vector<std::string> args = {"-width", "320", "-desktop", "/elsewhere/", "-home", d.dir};
    vull_config_default();
    cconfig0 = cconfig;
    scan(args, true);
    vull_config_load();
    scan(args, true);
    EXPECT_EQ(cconfig.window_size[0], 320);
    EXPECT_EQ(cconfig0.window_size[0], 640);
    EXPECT_STREQ(cconfig0.desktop_path, "");
    vull_config_save();
    std::string text = read_file(d.dir + "/config.txt");
    EXPECT_NE(text.find("window_size 640 480 //"), std::string::npos);
    EXPECT_NE(text.find("desktop_path \n"), std::string::npos);
}

TEST(ConfigSave, FailedWriteKeepsTheOldFile) {
    ConfigDir d;
    d.load("sessions 5\n");
    cconfig.sessions = 6;
    // The disk fills up part-way through the new file: the old one stays whole, and
    // nothing is left beside it.
    for (rlim_t room : {rlim_t(0), rlim_t(1), rlim_t(100), rlim_t(1000)}) {
        z6test::write_limit full(room);
        EXPECT_EQ(vull_config_save(), 1) << room;
    }
    EXPECT_EQ(read_file(d.dir + "/config.txt"), "sessions 5\n");
    int files = 0;
    for (const auto &e : std::filesystem::directory_iterator(d.dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
    EXPECT_EQ(vull_config_save(), 0);
    EXPECT_NE(read_file(d.dir + "/config.txt").find("sessions 6 //"), std::string::npos);
}

// A config.txt that is there but not read (past the size limit, not a file) holds the
// user's settings: the run uses the defaults and leaves it as it is.
TEST(ConfigSave, AFileNotReadIsNeverWrittenOver) {
    ConfigDir d;
    std::string big =
        "background_sleep_ms 20\n// " + std::string(size_t(VULL_CONFIG_FILE_MAX), 'c') + "\n";
    d.load(big);
    EXPECT_EQ(cconfig.background_sleep_ms, 10);
    cconfig.sessions = 1;
    EXPECT_EQ(vull_config_save(), 0);
    EXPECT_TRUE(read_file(d.dir + "/config.txt") == big);
    d.load("sessions 5\n"); // one that reads is written as before
    EXPECT_EQ(vull_config_save(), 0);
    EXPECT_NE(read_file(d.dir + "/config.txt").find("sessions 5 //"), std::string::npos);
}

TEST(ConfigTrim, ControlsAndBlanksGoUtf8Stays) {
    EXPECT_STREQ(vull_trim("  \t hello world \r\n"), "hello world");
    EXPECT_STREQ(vull_trim("\xc3\xa9t\xc3\xa9"), "\xc3\xa9t\xc3\xa9");
    EXPECT_STREQ(vull_trim("   "), "");
    EXPECT_EQ(vull_trim(nullptr), nullptr);
}

// Last: the virtual disk lives as long as the process.
TEST(ConfigLoad, VirtualDiskConfigWhenNoRealFile) {
    vull_file *f = vull_fopen_vdisk("config.txt", "w");
    ASSERT_NE(f, nullptr);
    const char text[] = "sessions 41\r\n// from vdisk\nsound_volume 999";
    vull_fwrite(text, 1, int(sizeof text - 1), f);
    ConfigDir d;
    d.load(nullptr);
    EXPECT_EQ(cconfig.sessions, 41);
    EXPECT_EQ(int(cconfig.sound_volume), 256);
    EXPECT_EQ(hook_lines, (std::vector<std::string>{"// from vdisk"}));
}

// Start-up with the console flag set (no platform services): the ARM build
// picks the "rpi" video driver when integer scaling is off.
TEST(ConfigStartup, PixelPerfectOffChoosesTheVideoDriverOnArm) {
    std::string dir = make_temp_dir();
    write_file(dir + "/config.txt", ""); // not the virtual disk's config.txt of the test above
    std::string saved = getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "";
    unsetenv("SDL_VIDEODRIVER");
    std::vector<std::string> args = {"prog", "-pixel_perfect", "0", "-home", dir};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    vull_argc = int(args.size());
    vull_argv = argv.data();
    vull_console_program();
    vull_init();
    const char *driver = getenv("SDL_VIDEODRIVER");
    std::string log = read_file(dir + "/log.txt");
#ifdef ZIBO6_ARM32
    EXPECT_STREQ(driver, "rpi");
    EXPECT_NE(log.find("forcing driver to rpi for pixel_perfect:0\n"), std::string::npos);
#else
    EXPECT_EQ(driver, nullptr);
    EXPECT_EQ(log.find("forcing driver"), std::string::npos);
#endif
    EXPECT_EQ(cconfig.sessions, 1);
    setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    vull_exit();
    vull_console = 0;
    vull_argc = 0;
    vull_argv = nullptr;
    EXPECT_NE(read_file(dir + "/config.txt").find("sessions 1 //"), std::string::npos);
}
