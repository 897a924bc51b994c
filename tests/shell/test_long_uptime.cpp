// The frame loop, the draw and every timer of the player across the points
// where the engine's millisecond clock wraps: after about 24 days it turns
// negative, after about 49 it starts again at 0.  The back end's clock is
// replaced by a fake one for this program (see long_uptime_clock.cmake); UBSan stops
// the test at any signed overflow.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "../console/run_test_util.h"
#include "audio/channel.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/compose.h"
#include "shell/zibo6.h"

namespace {
uint32_t fake_ticks;
}

extern "C" int __wrap__Z13vull_get_timev() { return int(fake_ticks); }
extern "C" uint64_t __wrap__Z15vull_plat_ticksv() { return fake_ticks; }

namespace {

// Runs a cart for `ms` fake milliseconds from `start` in 10 ms host frames,
// with messages, the palette glitch, a music fade and the fps clock running;
// returns what the cart printed.
std::string run_across(uint32_t start, int ms) {
    z6run::Runtime r;
    pstate.screen = vull_create_bitmap(128, 128, 8);
    vull_bitmap *saved_page = vull_back_page;
    vull_back_page = vull_create_bitmap(128, 128, 8);
    app.host_framerate_control = 1;
    fake_ticks = start;
    r.load("n = 0\n"
           "function _update() n += 1 if n % 30 == 0 then printh(n) end end\n"
           "function _draw() cls(n % 16) end\n");
    testing::internal::CaptureStdout();
    pstate.pending_action = 1;
    for (int t = 0; t < ms; t += 10) {
        fake_ticks = start + uint32_t(t);
        if (t % 1000 == 0) {
            show_message("tick", 300);
            activate_extpal_glitch();
            vull_start_music_fade(0, 500); // the (silent) music fades in over 500 ms
        }
        vull_register_frame_start_for_fps();
        vull_main_update();
        vull_main_draw();
        vull_update_music_fading();
        vull_register_frame_end_for_fps();
        EXPECT_GE(vull_get_fps(), 1);
    }
    std::string out = testing::internal::GetCapturedStdout();
    vull_destroy_bitmap(vull_back_page);
    vull_back_page = saved_page;
    vull_destroy_bitmap(pstate.screen);
    pstate.screen = nullptr;
    return out;
}

} // namespace

TEST(LongUptime, TheFakeClockIsTheOneThePlayerReads) {
    fake_ticks = 0x80000005u;
    EXPECT_EQ(vull_get_time(), int(0x80000005u - 0x100000000ull));
    EXPECT_EQ(vull_ms_between(vull_get_time(), int(0x80000005u + 20)), 20);
}

TEST(LongUptime, FramesKeepTheirPaceWhereTheClockTurnsNegative) {
    // 4 seconds around 2^31 ms: 30 frames a second, as on the first day
    std::string out = run_across(0x80000000u - 2000, 4000);
    EXPECT_NE(out.find("90\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("150\n"), std::string::npos) << out;
}

TEST(LongUptime, FramesKeepTheirPaceWhereTheClockStartsAgain) {
    std::string out = run_across(0u - 2000, 4000);
    EXPECT_NE(out.find("90\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("150\n"), std::string::npos) << out;
}
