// The layers in a program that has made no attach call (its main attaches
// nothing): what needs a higher layer's hooks fails and names the attach call
// that fills them, instead of a quiet wrong result or a call through null.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

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
// pod holding one, first or not, fails to load, and one holding a sound fails
// to save, saying so, rather than coming back without them; a pod set loses
// those pods alone. Attached, the same files load whole.
TEST(Unattached, PodAudioItemsNeedTheAudioEnginesAttach) {
    struct layout {
        const char *file;
        std::vector<int> types;
    };
    const layout layouts[] = {
        {"synth_then_bitmap.pod", {CPOD_SYNTH, CPOD_BITMAP}},
        {"bitmap_then_synth.pod", {CPOD_BITMAP, CPOD_SYNTH, CPOD_BITMAP}},
        {"sound_then_bitmap.pod", {CPOD_SOUND, CPOD_BITMAP}},
        {"bitmap_then_sound.pod", {CPOD_BITMAP, CPOD_SOUND, CPOD_BITMAP}},
    };
    auto make = [](const std::vector<int> &types) {
        cpod *pod = vull_create_pod(int(types.size()));
        for (int type : types) {
            void *item = type == CPOD_SYNTH   ? static_cast<void *>(vull_create_synth(4))
                         : type == CPOD_SOUND ? static_cast<void *>(vull_create_sound(8, 16))
                                              : static_cast<void *>(vull_create_bitmap(2, 2, 8));
            cpod_add_item(pod, type, item);
        }
        return pod;
    };
    // The files are written with the audio items' hooks lent for the purpose.
    const std::string set_file = scratch("audio_items.pods");
    cpod *set[CPOD_SET_SIZE];
    cpod_set_init(set);
    cpod_set_audio_items({vull_create_sound, vull_destroy_sound, vull_sound_lock,
                          vull_sound_release, csound_set_frequency, vull_create_synth,
                          vull_destroy_synth});
    for (const layout &l : layouts) {
        cpod *pod = make(l.types);
        ASSERT_EQ(vull_save_pod(scratch(l.file).c_str(), pod), 0) << l.file;
        vull_destroy_pod(pod);
    }
    set[0] = make({CPOD_BITMAP});
    set[1] = make({CPOD_BITMAP, CPOD_SOUND});
    set[2] = make({CPOD_BITMAP});
    ASSERT_EQ(vull_save_pod_set(set_file.c_str(), set), 0);
    for (cpod *&pod : set) vull_destroy_pod(std::exchange(pod, nullptr));
    cpod_set_audio_items({});

    for (const layout &l : layouts) {
        const std::string path = scratch(l.file);
        testing::internal::CaptureStderr();
        for (cpod *pod : {vull_load_pod(path.c_str()), vull_open_pod(path.c_str())}) {
            EXPECT_EQ(pod, nullptr) << l.file;
            vull_destroy_pod(pod);
        }
        EXPECT_TRUE(names(testing::internal::GetCapturedStderr(), "vull_sound_attach()")) << l.file;
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(vull_load_pod_set(set_file.c_str(), set), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_NE(set[0], nullptr);
    EXPECT_EQ(set[1], nullptr);
    ASSERT_NE(set[2], nullptr);
    EXPECT_EQ(set[2]->count, 1);
    for (cpod *&pod : set) vull_destroy_pod(std::exchange(pod, nullptr));

    csound *sound = vull_create_sound(8, 16);
    cpod *pod = vull_create_pod(1);
    cpod_add_item(pod, CPOD_SOUND, sound);
    testing::internal::CaptureStderr();
    EXPECT_NE(vull_save_pod(scratch("sound.pod").c_str(), pod), 0);
    EXPECT_TRUE(names(testing::internal::GetCapturedStderr(), "vull_sound_attach()"));
    vull_destroy_pod(pod); // passes the sound over: its destroyer is not attached
    vull_destroy_sound(sound);

    vull_sound_attach();
    for (const layout &l : layouts) {
        pod = vull_load_pod(scratch(l.file).c_str());
        ASSERT_NE(pod, nullptr) << l.file;
        ASSERT_EQ(pod->count, int(l.types.size())) << l.file;
        for (size_t i = 0; i < l.types.size(); i++) EXPECT_EQ(pod->types[i], l.types[i]) << l.file;
        vull_destroy_pod(pod);
    }
    EXPECT_EQ(vull_load_pod_set(set_file.c_str(), set), 0);
    for (int i = 0; i < 3; i++) EXPECT_NE(set[i], nullptr) << i;
    for (cpod *&pod : set) vull_destroy_pod(std::exchange(pod, nullptr));
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

