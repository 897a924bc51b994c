// The frame clip's rolling rule and the settings it reads, which no cart reaches,
// and the GIF writer's memory and failure paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cart/capture.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "tests/support/write_limit.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// Unreachable blocks so far: a leak shows in the test that made it.
int leaked_blocks() { return __lsan_do_recoverable_leak_check(); }
#else
int leaked_blocks() { return 0; }
#endif

namespace {

struct capture_test : ::testing::Test {
    vull_bitmap *frame = vull_create_bitmap(128, 128, 8);
    void TearDown() override {
        vull_destroy_bitmap(frame);
        reset_video();
        app.gif_len = 0;
    }
    void record(int n) {
        for (int i = 0; i < n; i++) {
            frame->rows[0][0] = uint8_t(i & 15);
            record_video_frame(frame);
        }
    }
};

// First in the file: the clip's slots are made once per process.
TEST_F(capture_test, slots_are_made_as_the_clip_reaches_them_and_roll_in_order) {
    app.gif_len = 1; // 30 slots
    ASSERT_EQ(video_clip_frame(0), nullptr);
    for (int i = 0; i < 3; i++) {
        frame->rows[0][0] = uint8_t(i);
        record_video_frame(frame);
    }
    EXPECT_NE(video_clip_frame(2), nullptr);
    EXPECT_EQ(video_clip_frame(3), nullptr) << "a three-frame run makes three slots";
    for (int i = 3; i < 40; i++) {
        frame->rows[0][0] = uint8_t(i);
        record_video_frame(frame);
    }
    EXPECT_EQ(video_clip_index, 29);
    EXPECT_EQ(video_clip_frame(30), nullptr);
    // Oldest first: the 29 frames before the last roll, ending with the newest.
    for (int k = 0; k < 29; k++) EXPECT_EQ(video_clip_frame(k)->rows[0][0], 11 + k) << k;
}

TEST_F(capture_test, clip_keeps_one_frame_fewer_than_its_slots) {
    app.gif_len = 16;
    record(1000);
    EXPECT_EQ(video_clip_index, 479);
    EXPECT_EQ(get_current_gif_len(), 16);
    reset_video();
    EXPECT_EQ(save_gif(1, 1), 9); // nothing recorded: no file
}

// Every pixel of the screen enters the slot; what a smaller screen leaves
// uncovered is 0, even over an older frame.
TEST_F(capture_test, frames_are_copied_whole_and_uncovered_pixels_are_zero) {
    app.gif_len = 1;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) frame->rows[y][x] = uint8_t((x * 7 + y * 13) & 0x8f);
    for (int i = 0; i < 30; i++) record_video_frame(frame); // every slot holds it
    vull_bitmap *small = vull_create_bitmap(100, 60, 8);
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 100; x++) small->rows[y][x] = uint8_t(1 + (x + y) % 15);
    record_video_frame(small);
    record_video_frame(frame);
    const vull_bitmap *full = video_clip_frame(28), *part = video_clip_frame(27);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            ASSERT_EQ(full->rows[y][x], frame->rows[y][x]) << x << "," << y;
            ASSERT_EQ(part->rows[y][x], x < 100 && y < 60 ? small->rows[y][x] : 0) << x << "," << y;
        }
    vull_destroy_bitmap(small);
}

TEST_F(capture_test, length_setting_is_clamped) {
    for (int len : {0, -5}) {
        app.gif_len = len;
        record(3);
        EXPECT_EQ(video_clip_index, 0) << len; // off, nothing touched
    }
    app.gif_len = 100000; // above the maximum: 120 seconds
    record(3700);
    EXPECT_EQ(video_clip_index, VIDEO_CLIP_SLOTS - 1);
    app.gif_len = 2; // shrunk while recording: the index follows
    record(1);
    EXPECT_EQ(video_clip_index, 59);
}

// A long clip at the largest scale, saved again and again as a cart can: every
// save returns all it took, and the file holds the whole clip.
TEST_F(capture_test, saving_a_clip_returns_its_memory) {
    char dir[] = "/tmp/z6_capture_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::snprintf(cconfig.home, sizeof cconfig.home, "%s", dir);
    std::snprintf(app.output_file_name, sizeof app.output_file_name, "clip");
    app.gif_len = 16;
    record(10);
    EXPECT_EQ(save_gif(1, 1), 0);
    EXPECT_EQ(save_gif(8, 1), 0);
    EXPECT_EQ(leaked_blocks(), 0);
    std::string path = std::string(dir) + "/appdata/";
    cbuffer *gif = nullptr;
    for (const char *title : {"zibo-6/", "zibo6/"})
        if (!gif) gif = vull_load_file((path + title + "clip.gif").c_str(), VULL_READ_MAX);
    ASSERT_NE(gif, nullptr);
    const uint8_t *d = gif->data;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(d), 6), "GIF89a");
    EXPECT_EQ(d[6] | d[7] << 8, 1024); // 128 at scale 8
    int images = 0;                    // image separators after a graphics control block
    for (int64_t i = 8; i + 2 < gif->length; i++)
        if (d[i] == 0 && d[i + 1] == 0x2c && d[i - 7] == 0x21 && d[i - 6] == 0xf9) images++;
    EXPECT_EQ(images, 10);
    vull_destroy_buffer(gif);

    // A disk that fills up part-way: the save fails, a clip of the same name keeps its
    // bytes, nothing is left beside it, and everything is still returned.
    std::string folder;
    for (const char *title : {"zibo-6/", "zibo6/"})
        if (std::filesystem::exists(path + title + "clip.gif")) folder = path + title;
    ASSERT_FALSE(folder.empty());
    cbuffer *before = vull_load_file((folder + "clip.gif").c_str(), VULL_READ_MAX);
    ASSERT_NE(before, nullptr);
    int files = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(folder)) files++;
    {
        z6test::write_limit full(1000);
        EXPECT_EQ(save_gif(8, 1), 1);
    }
    cbuffer *after = vull_load_file((folder + "clip.gif").c_str(), VULL_READ_MAX);
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(after->length == before->length &&
                std::memcmp(after->data, before->data, size_t(after->length)) == 0);
    vull_destroy_buffer(before);
    vull_destroy_buffer(after);
    int now = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(folder)) now++;
    EXPECT_EQ(now, files);
    EXPECT_EQ(leaked_blocks(), 0);
    app.output_file_name[0] = 0;
    cconfig.home[0] = 0;
    std::filesystem::remove_all(dir);
}

} // namespace
