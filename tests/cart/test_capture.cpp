// The frame clip's rolling rule and the settings it reads, which no cart reaches.
#include <gtest/gtest.h>

#include "cart/capture.h"
#include "console/state.h"
#include "engine/gfx.h"

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

} // namespace
