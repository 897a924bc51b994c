// The console's command-line options and config.txt keys: what each option
// sets, which arguments become the cart path, how hostile config lines are
// held in range, and the exact layout of the section written back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cart/state.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "shell/board.h"
#include "shell/zibo6.h"

namespace {

class ShellOptions : public ::testing::Test {
protected:
    void SetUp() override {
        if (app.input_file) fclose(app.input_file);
        if (app.output_file) fclose(app.output_file);
        app = app_state{};
        set_default_app_config();
        pstate.headless = 0;
        pstate.root_path[0] = pstate.cdata_path[0] = 0;
        pstate.parameter_string_pending[0] = 0;
        cconfig.headless = 0;
        cconfig.sound_volume = 256;
        export_mode = 0;
    }
    void TearDown() override { SetUp(); }

    // Runs the option scan over the words (the program name is added in front).
    static void scan(std::vector<std::string> words) {
        words.insert(words.begin(), "zibo6");
        std::vector<char *> argv;
        for (std::string &w : words) argv.push_back(w.data());
        process_arguments(int(argv.size()), argv.data());
    }

    static std::string written_section() {
        cbuffer *buf = vull_create_buffer(0);
        zibo6_save_config(buf);
        std::string text(reinterpret_cast<char *>(buf->data), size_t(buf->length));
        vull_destroy_buffer(buf);
        return text;
    }
};

TEST_F(ShellOptions, ValueOptionsAreClampedToTheirRanges) {
    scan({"-volume", "300"});
    EXPECT_EQ(app.volume, 256);
    EXPECT_EQ(cconfig.sound_volume, 256);
    scan({"-volume", "-5"});
    EXPECT_EQ(app.volume, 0);
    scan({"-gif_len", "500", "-joystick", "9", "-gif_scale", "0", "-screenshot_scale", "99"});
    EXPECT_EQ(app.gif_len, 120);
    EXPECT_EQ(app.joystick_index, 7);
    EXPECT_EQ(app.gif_scale, 1);
    EXPECT_EQ(app.screenshot_scale, 8);
    scan({"-volume", "99999999999999999999"}); // saturates instead of overflowing
    EXPECT_EQ(app.volume, 256);
}

TEST_F(ShellOptions, VolumeLeavesSoundOffWhenItIsOff) {
    cconfig.sound_volume = 0;
    scan({"-volume", "100"});
    EXPECT_EQ(app.volume, 100);
    EXPECT_EQ(cconfig.sound_volume, 0);
}

TEST_F(ShellOptions, DashArgumentReplacesAWaitingOption) {
    scan({"-gif_len", "-run"});
    EXPECT_EQ(app.gif_len, 16);
    EXPECT_EQ(app.run, 1);
    scan({"-export", "-x"}); // except after -export, whose value is the next word
    EXPECT_STREQ(app.export_command, "-x");
    EXPECT_EQ(export_mode, 1);
    EXPECT_EQ(pstate.headless, 1);
    EXPECT_EQ(cconfig.headless, 1);
}

TEST_F(ShellOptions, CartPathAndExtraArguments) {
    scan({"game.z6", "one", "two"});
    EXPECT_STREQ(app.cart_path, "game.z6");
    ASSERT_EQ(extra_args.count, 2);
    EXPECT_STREQ(extra_args.text[0], "one");
    EXPECT_STREQ(extra_args.text[1], "two");

    app.cart_path[0] = 0;
    scan({"game.z6", "|", "more"});
    EXPECT_STREQ(app.cart_path, "game.z6");
    EXPECT_EQ(extra_args.count, 0);

    app.cart_path[0] = 0;
    scan({"|x", "game.z6"}); // a first argument of "|" ends the scan before it starts
    EXPECT_STREQ(app.cart_path, "");

    std::vector<std::string> many = {"cart"};
    for (int i = 0; i < 40; i++) many.push_back("w" + std::to_string(i));
    scan(many);
    EXPECT_EQ(extra_args.count, Z6_EXTRA_ARGS);
    EXPECT_STREQ(extra_args.text[Z6_EXTRA_ARGS - 1], "w32");
}

TEST_F(ShellOptions, EngineOptionsNeverSwallowTheCart) {
    scan({"-headless", "game.z6"});
    EXPECT_STREQ(app.cart_path, "game.z6");
    app.cart_path[0] = 0;
    scan({"-framebuffer", "game.z6"});
    EXPECT_STREQ(app.cart_path, "game.z6");
    app.cart_path[0] = 0;
    scan({"-windowed", "1", "game.z6"}); // the engine's value options keep their value
    EXPECT_STREQ(app.cart_path, "game.z6");
    app.cart_path[0] = 0;
    scan({"-draw_rect", "0", "0", "128", "128", "game.z6"}); // as many values as the engine takes
    EXPECT_STREQ(app.cart_path, "game.z6");
    app.cart_path[0] = 0;
    scan({"-draw_rect", "0,0,128,128", "game.z6", "more"});
    EXPECT_STREQ(app.cart_path, "game.z6");
    app.cart_path[0] = 0;
    scan({"-home", "/tmp/somewhere", "-x", "game.z6"});
    EXPECT_STREQ(app.cart_path, "game.z6");
    EXPECT_EQ(pstate.headless, 1);
    EXPECT_EQ(app.run, 1);
}

// The console's folder options too long for a path are found before anything is applied;
// other options' values, however long, are not folders.
TEST_F(ShellOptions, UnusableFolderOptionsFoundWithoutApplying) {
    std::string long_path = "/" + std::string(3000, 'f');
    struct {
        std::vector<std::string> words;
        const char *refused;
    } cases[] = {
        {{"-root_path", long_path}, "root_path"},
        {{"-x", "game.z6", "-cdata_path", long_path, "-root_path", long_path}, "cdata_path"},
        {{"-root_path", "/r/", "-cdata_path", "/c/"}, nullptr},
        {{"-p", long_path, "-home", long_path, long_path}, nullptr}, // the engine's, and the cart
        {{"-export", "-root_path", long_path}, nullptr}, // -export takes the next word
    };
    for (auto &c : cases) {
        std::vector<char *> argv = {const_cast<char *>("zibo6")};
        for (std::string &w : c.words) argv.push_back(w.data());
        const char *refused = unusable_folder_option(int(argv.size()), argv.data());
        EXPECT_STREQ(refused ? refused : "", c.refused ? c.refused : "") << c.words[0];
    }
    EXPECT_STREQ(pstate.root_path, "");
    EXPECT_STREQ(pstate.cdata_path, "");
    EXPECT_STREQ(app.cart_path, "");
    EXPECT_EQ(pstate.headless, 0);
}

TEST_F(ShellOptions, TextAndFileOptions) {
    std::string long_param(3000, 'p');
    scan({"-p", long_param, "-root_path", "carts\\here", "-cdata_path", "/data//saves"});
    EXPECT_EQ(std::string(pstate.parameter_string_pending), std::string(Z6_PATH_LEN - 1, 'p'));
    char cwd[Z6_PATH_LEN];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(pstate.root_path), std::string(cwd) + "/carts/here/"); // absolute
    EXPECT_STREQ(pstate.cdata_path, "/data/saves/");

    std::string out =
        std::string(getenv("ZIBO6_BINARY_DIR") ? getenv("ZIBO6_BINARY_DIR") : "/tmp") +
        "/options_test_out.txt";
    scan({"-i", "/nonexistent/input", "-o", out});
    EXPECT_EQ(app.input_file, nullptr); // nothing reported, the slot stays empty
    ASSERT_NE(app.output_file, nullptr);
    FILE *first = app.output_file;
    scan({"-o", out + ".2"});
    EXPECT_EQ(app.output_file, first); // one output file at a time
    // a file made read-only is not emptied, not even by root
    fclose(app.output_file);
    app.output_file = nullptr;
    std::ofstream(out) << "kept";
    ASSERT_EQ(chmod(out.c_str(), 0444), 0);
    scan({"-o", out});
    EXPECT_EQ(app.output_file, nullptr);
    std::ifstream kept(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
    std::remove(out.c_str());
}

TEST_F(ShellOptions, BoardHostIsCheckedAndNeverSaved) {
    char before[BOARD_HOST_LEN];
    snprintf(before, sizeof before, "%s", board.host);
    scan({"-bbs_host", "127.0.0.1:8123", "game.z6"});
    EXPECT_STREQ(board.host, "http://127.0.0.1:8123");
    EXPECT_STREQ(app.cart_path, "game.z6"); // the value never becomes the cart
    scan({"-bbs_host", "https://board.example.net"});
    EXPECT_STREQ(board.host, "https://board.example.net");
    EXPECT_EQ(written_section().find("board.example"), std::string::npos);
    EXPECT_EQ(written_section().find("bbs_host"), std::string::npos);

    // refused with a message; the host in use stays
    const std::string overlong = "h" + std::string(BOARD_HOST_LEN, 'x');
    for (const char *bad : {"", " ", "a b", "a/b", "http://h/path", "\"h\"", "h'x", "h:", "h:0",
                            "h:65536", "h:1x", "ftp://h", "http://", "$(id)", overlong.c_str()}) {
        testing::internal::CaptureStderr();
        scan({"-bbs_host", bad});
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_STREQ(board.host, "https://board.example.net") << bad;
        EXPECT_NE(err.find("-bbs_host: not a board host"), std::string::npos) << bad;
        EXPECT_LT(err.size(), 200u) << bad;
    }
    snprintf(board.host, sizeof board.host, "%s", before);
}

TEST_F(ShellOptions, ConfigLinesAreReadAndClamped) {
    cconfig.sound_volume = 0;
    zibo6_load_config("volume 128");
    EXPECT_EQ(app.volume, 128);
    EXPECT_EQ(cconfig.sound_volume, 0);
    cconfig.sound_volume = 200;
    zibo6_load_config("volume 999");
    EXPECT_EQ(app.volume, 256);
    EXPECT_EQ(cconfig.sound_volume, 256);

    zibo6_load_config("button_keys -4 600 7");
    EXPECT_EQ(app.button_keys[0], 0);
    EXPECT_EQ(app.button_keys[1], 511);
    EXPECT_EQ(app.button_keys[2], 7);
    EXPECT_EQ(app.button_keys[3], 0); // a short list leaves the rest alone

    zibo6_load_config("gif_len 99999999999999999999999");
    EXPECT_EQ(app.gif_len, 120);
    zibo6_load_config("joystick_index -2147483649");
    EXPECT_EQ(app.joystick_index, 0);
    zibo6_load_config("tab_width 7");
    EXPECT_EQ(app.tab_width, 7);
    zibo6_load_config("tab_width x"); // no number: unchanged
    EXPECT_EQ(app.tab_width, 7);
    zibo6_load_config("screenshot_scale 0");
    EXPECT_EQ(app.screenshot_scale, 1);

    zibo6_load_config("content_filter 2");
    EXPECT_EQ(app.browse_filter, 1);
    zibo6_load_config("content_filter 1");
    EXPECT_EQ(app.browse_filter, 0);
    zibo6_load_config("flip_ampersand 1");
    EXPECT_EQ(app.flip_ampersand, 1);
    zibo6_load_config("unknown_key 5");
    zibo6_load_config("");
}

TEST_F(ShellOptions, PathLinesHoldingOnlyTheKeyReadAsEmpty) {
    snprintf(pstate.root_path, Z6_PATH_LEN, "keep/");
    zibo6_load_config("root_path");
    EXPECT_STREQ(pstate.root_path, "");
    zibo6_load_config("cdata_path /x/y");
    EXPECT_STREQ(pstate.cdata_path, "/x/y/");
    // a relative folder a user wrote is taken from where the player starts
    char cwd[Z6_PATH_LEN];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    zibo6_load_config("cdata_path ./saves/../mine");
    EXPECT_EQ(std::string(pstate.cdata_path), std::string(cwd) + "/mine/");
    // Longer than any path the player takes: not cut into another path, not used.
    std::string long_path = "root_path " + std::string(5000, 'a');
    zibo6_load_config(long_path.c_str());
    EXPECT_STREQ(pstate.root_path, "");
    std::string longest = "root_path /" + std::string(Z6_PATH_LEN - 4, 'b');
    zibo6_load_config(longest.c_str());
    EXPECT_EQ(std::string(pstate.root_path), longest.substr(10) + "/");
}

TEST_F(ShellOptions, SectionLayoutIsWrittenExactly) {
    snprintf(pstate.root_path, Z6_PATH_LEN, "/home/u/carts/");
    snprintf(pstate.cdata_path, Z6_PATH_LEN, "/home/u/cdata/");
    app.volume = 200;
    app.button_keys[12] = 40;
    app.flip_ampersand = 1;
    std::string expected_path =
        std::string(getenv("ZIBO6_SOURCE_DIR")) + "/tests/shell/config_console_section.txt";
    std::ifstream in(expected_path, std::ios::binary);
    ASSERT_TRUE(in) << expected_path;
    std::stringstream want;
    want << in.rdbuf();
    EXPECT_EQ(written_section(), want.str());
}

TEST_F(ShellOptions, WrittenSectionReadsBackTheSameSettings) {
    zibo6_load_config("content_filter 2");
    app.gif_len = 300; // set past the range by a caller: written clamped
    app.button_keys[5] = -9;
    snprintf(pstate.root_path, Z6_PATH_LEN, "/r/");
    std::string text = written_section();
    EXPECT_EQ(text.find("content_filter"), std::string::npos);
    app_state before = app;
    app = app_state{};
    set_default_app_config();
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) zibo6_load_config(line.c_str());
    EXPECT_EQ(app.browse_filter, 1);
    EXPECT_EQ(app.gif_len, 120);
    EXPECT_EQ(app.button_keys[5], 0);
    EXPECT_EQ(app.volume, before.volume);
    EXPECT_STREQ(pstate.root_path, "/r/");
}

TEST(FramePacing, AccumulatorFollowsTheHostClock) {
    // 17 ms host frames at 30 fps: 1114 x 30 = 33420 a frame.
    EXPECT_EQ(advance_frame_accumulator(0, 17, 30, 30), 33420);
    EXPECT_EQ(advance_frame_accumulator(33420, 17, 30, 30), 66840);
    // A stall of seconds leaves one logical frame owed (two at 60 fps).
    EXPECT_EQ(advance_frame_accumulator(0, 5000, 30, 30), 0x1ffff);
    EXPECT_EQ(advance_frame_accumulator(0, 5000, 60, 60), 0x20000);
    EXPECT_EQ(advance_frame_accumulator(0, 1 << 30, 60, 60), 0x20000);
    EXPECT_EQ(advance_frame_accumulator(0, -100, 30, 30), 0); // a clock going back
}

// The wait until the next frame is the least that makes it due: one ms less
// would wake the loop to a frame not yet owed, one more would draw it late.
TEST(FramePacing, WaitEndsWhenTheFrameIsDue) {
    for (int rate : {15, 30, 60})
        for (int32_t threshold : {0x7fff, 0xffff})
            for (int32_t acc = 0; acc <= 0x10000; acc += 257) {
                int ms = ms_until_frame_due(acc, threshold, rate);
                SCOPED_TRACE(testing::Message() << rate << " " << threshold << " " << acc);
                if (acc > threshold) {
                    EXPECT_EQ(ms, 0);
                    continue;
                }
                EXPECT_GT(advance_frame_accumulator(acc, ms, rate, rate), threshold);
                EXPECT_LE(advance_frame_accumulator(acc, ms - 1, rate, rate), threshold);
            }
    EXPECT_EQ(ms_until_frame_due(0, 0xffff, 60), 17); // a whole frame at 60 fps
    EXPECT_EQ(ms_until_frame_due(0, 0xffff, 30), 34);
    EXPECT_EQ(ms_until_frame_due(100, 0xffff, 0), 0); // no rate: no wait
}

TEST(FramePacing, SkipLimitFollowsTheSleep) {
    EXPECT_EQ(skip_limit(2), 50);
    EXPECT_EQ(skip_limit(0), 10000);
    EXPECT_EQ(skip_limit(-3), 10000);
    EXPECT_EQ(skip_limit(200), 2);
}

} // namespace
