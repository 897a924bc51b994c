// The layers in a program that has made no attach call (its main attaches
// nothing): what needs a higher layer's hooks fails and names the attach call
// that fills them, instead of a quiet wrong result or a call through null.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audio/mixer.h"
#include "audio/sound.h"
#include "audio/synth.h"
#include "cart/cart.h"
#include "cart/hooks.h"
#include "console/run.h"
#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/pod.h"
#include "engine/vull.h"

namespace {

std::string scratch(const char *name) { return std::string(std::getenv("HOME")) + "/" + name; }

bool names(const std::string &text, const char *call) {
    return text.find(call) != std::string::npos;
}

} // namespace

// Unattached, the platform would read no options and name the per-user folder "".
TEST(Unattached, EngineStartStopsAndNamesTheEnginesAttach) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(vull_init(), testing::ExitedWithCode(1), "vull_engine_attach\\(\\)");
}

TEST(Unattached, FrameLoopWithoutCallbacksRefusesToStart) {
    char name[] = "unattached";
    char *argv[] = {name, nullptr};
    testing::internal::CaptureStderr();
    EXPECT_EQ(vull_main(1, argv), 1);
    EXPECT_TRUE(names(testing::internal::GetCapturedStderr(), "vull_set_app_funcs()"));
    EXPECT_EQ(vull_inited, 0);
}

// Sound and synth items are the audio engine's records: without its attach a
// pod holding them fails to load or save, saying so, rather than coming back
// without them; attached, the same file loads whole.
TEST(Unattached, PodAudioItemsNeedTheAudioEnginesAttach) {
    const std::string synth_pod = scratch("synth_then_bitmap.pod");
    vull_synth *synth = vull_create_synth(4); // written without any hook
    cpod *pod = vull_create_pod(2);
    cpod_add_item(pod, CPOD_SYNTH, synth);
    cpod_add_item(pod, CPOD_BITMAP, vull_create_bitmap(2, 2, 8));
    ASSERT_EQ(vull_save_pod(synth_pod.c_str(), pod), 0);
    vull_destroy_pod(pod); // passes the synth over: its destroyer is not attached
    vull_destroy_synth(synth);

    testing::internal::CaptureStderr();
    EXPECT_EQ(vull_load_pod(synth_pod.c_str()), nullptr);
    EXPECT_TRUE(names(testing::internal::GetCapturedStderr(), "vull_sound_attach()"));

    csound *sound = vull_create_sound(8, 16);
    pod = vull_create_pod(1);
    cpod_add_item(pod, CPOD_SOUND, sound);
    testing::internal::CaptureStderr();
    EXPECT_NE(vull_save_pod(scratch("sound.pod").c_str(), pod), 0);
    EXPECT_TRUE(names(testing::internal::GetCapturedStderr(), "vull_sound_attach()"));
    vull_destroy_pod(pod);
    vull_destroy_sound(sound);

    vull_sound_attach();
    pod = vull_load_pod(synth_pod.c_str());
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->count, 2);
    EXPECT_EQ(pod->types[0], CPOD_SYNTH);
    EXPECT_EQ(pod->types[1], CPOD_BITMAP);
    vull_destroy_pod(pod);
}

// The cart formats' table waits for the console and the shell: freeing a cart
// stops its sound through the console; the status line stays the shell's even
// once the console is attached.
TEST(Unattached, CartHooksNameTheCallTheyWaitFor) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(vull_destroy_zibo6_cart(vull_create_zibo6_cart()), testing::ExitedWithCode(1),
                "cart_hooks needs zibo6_attach_console\\(\\)");
    EXPECT_EXIT(
        {
            zibo6_attach_console();
            vull_destroy_zibo6_cart(vull_create_zibo6_cart());
            cart_hooks.show_message("", 0);
        },
        testing::ExitedWithCode(1), "cart_hooks needs zibo6_attach_shell\\(\\)");
}
