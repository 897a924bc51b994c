// The layers in a program that has made no attach call (its main attaches
// nothing): what needs a higher layer's hooks fails and names the attach call
// that fills them, instead of a quiet wrong result or a call through null.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "audio/mixer.h"
#include "audio/sound.h"
#include "audio/synth.h"
#include "audio/voice.h"
#include "cart/cart.h"
#include "cart/hooks.h"
#include "cart/state.h"
#include "console/hooks.h"
#include "console/run.h"
#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/hooks.h"
#include "engine/pod.h"
#include "engine/vull.h"
#include "platform/hooks.h"
#include "shell/zibo6.h"
#include "vm/hooks.h"

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

// ---- every hook table after the top attach call ----
// Each table the attach chain fills, entry by entry. An entry marked DEFAULTED
// holds a default of its own until filled (never null); one marked EMPTY waits
// as null. Each list is checked against its table's size, so an entry added to
// a table and not here fails the build; the test then finds an entry that a
// setter does not copy or that waits without its default.
namespace {

struct hook_entry {
    const char *name;
    size_t offset, size;
    bool defaulted;
};

#define DEFAULTED(T, field) hook_entry{#field, offsetof(T, field), sizeof(T::field), true}
#define EMPTY(T, field) hook_entry{#field, offsetof(T, field), sizeof(T::field), false}

// Every entry a word of its own, no two at one place, and together the whole table.
template <typename T, size_t N> constexpr bool lists_every_entry(const hook_entry (&e)[N]) {
    size_t total = 0;
    for (size_t i = 0; i < N; i++) {
        if (e[i].size != sizeof(void *)) return false;
        for (size_t j = 0; j < i; j++)
            if (e[j].offset == e[i].offset) return false;
        total += e[i].size;
    }
    return total == sizeof(T);
}

// clang-format off
#define S(f) EMPTY(vull_plat_services, f)
#define D(f) DEFAULTED(vull_plat_services, f)
constexpr hook_entry plat_services[] = {S(log), D(alloc), D(release), S(exit), S(vdisk_has)};
#undef S
#undef D
static_assert(lists_every_entry<vull_plat_services>(plat_services));

#define S(f) EMPTY(vull_plat_settings, f)
#define D(f) DEFAULTED(vull_plat_settings, f)
constexpr hook_entry plat_settings[] = {
    S(framebuffer), S(mix_buffer_size), S(timeout), S(foreground_sleep_ms),
    S(background_sleep_ms), S(emulate_textinput), S(rmb_key), S(home), S(desktop_path),
    S(app_title), S(audio_requested), S(audio_granted), S(headless), S(windowed),
    S(frameless), S(display), S(fullscreen_method), S(opengl_blit), S(keep_aspect),
    S(show_fps), S(log_system_info), S(ext_display), S(window_position), S(fullscreen_size),
    S(draw_rect), D(window_size), D(window_size_set), D(software_blit), D(pixel_perfect),
    S(window_title), S(log_file), S(blit_hook)};
#undef S
#undef D
static_assert(lists_every_entry<vull_plat_settings>(plat_settings));

#define D(f) DEFAULTED(vull_pump_state, f)
constexpr hook_entry pump_state[] = {
    D(keys), D(last_keys), D(blocked_keys), D(typed), D(typed_count), D(quit),
    D(last_mouse_x), D(last_mouse_y), D(mouse_locked), D(mouse_key_left), D(mouse_key_right),
    D(mouse_rel_x), D(mouse_rel_y), D(mouse_total_x), D(mouse_total_y), D(click_button),
    D(click_time), D(wheel_x), D(wheel_y), D(wheel_x2), D(wheel_y2), D(controller_added),
    D(controller_removed), D(dropped_file), D(dropped_file_size)};
#undef D
static_assert(lists_every_entry<vull_pump_state>(pump_state));

#define D(f) DEFAULTED(vull_video_funcs, f)
constexpr hook_entry video_funcs[] = {
    D(create_bitmap), D(destroy_bitmap), D(clear_bitmap), D(create_palette),
    D(destroy_palette), D(blit), D(pixel_perfect), D(draw_text), D(draw_text_phat),
    D(cursor_exit), D(preblit_exit)};
#undef D
static_assert(lists_every_entry<vull_video_funcs>(video_funcs));

#define S(f) EMPTY(vull_audio_funcs, f)
constexpr hook_entry audio_funcs[] = {S(stop_music), S(update_music_fading), S(sound_exit)};
#undef S
static_assert(lists_every_entry<vull_audio_funcs>(audio_funcs));

#define S(f) EMPTY(cpod_audio_items, f)
constexpr hook_entry audio_items[] = {
    S(create_sound), S(destroy_sound), S(sound_lock), S(sound_release), S(set_frequency),
    S(create_synth), S(destroy_synth)};
#undef S
static_assert(lists_every_entry<cpod_audio_items>(audio_items));

#define D(f) DEFAULTED(zibo6_vm_services, f)
constexpr hook_entry vm_services[] = {
    D(spend_cpu), D(zibo6_peek_1), D(zibo6_peek_2), D(zibo6_peek_4), D(find_tab_line),
    D(zibo6_assert_message)};
#undef D
static_assert(lists_every_entry<zibo6_vm_services>(vm_services));

#define D(f) DEFAULTED(zibo6_cart_hooks, f)
constexpr hook_entry cart_entries[] = {
    D(zibo6_peek), D(zibo6_poke), D(zibo6_peek_rom), D(zibo6_poke_rom), D(zibo_print),
    D(zibo_print_2), D(zibo_print_col), D(zibo6_convert_bitmap), D(zibo6_flatten_includes),
    D(is_sandboxed_cart_file), D(merge_code_from_tabs), D(split_code_to_tabs),
    D(serial_set_dropped_file), D(serial_set_dropped_image_file), D(vull_stop_sfx),
    D(vull_stop_zibo6_song), D(show_message), D(draw_extpal_glitch_if_running)};
#undef D
static_assert(lists_every_entry<zibo6_cart_hooks>(cart_entries));

#define D(f) DEFAULTED(zibo6_shell_hooks, f)
constexpr hook_entry shell_entries[] = {
    D(activate_extpal_glitch), D(clear_extpal_glitch), D(update_paused_menu), D(keyconfig_init),
    D(show_message), D(blit_zibo6_back_page_to_zibo6_screen), D(build_paused_menu),
    D(zibo6_list_files), D(install_demo_carts), D(install_preloaded_bbs_carts)};
#undef D
static_assert(lists_every_entry<zibo6_shell_hooks>(shell_entries));
// clang-format on

struct hook_table {
    const char *name;
    const void *object;
    std::span<const hook_entry> entries;
};

// The tables filled from zibo6_attach_shell() down. Not here: the hooks that
// mains and initialisers set (the frame callbacks, config.txt lines, the
// post-mix hook), those only tests set (the music clock) or nothing sets (the
// pod item hooks), and the lazy mount hook the cart layer sets as it mounts.
const hook_table tables[] = {{"vull_plat_services", &vull_plat_get_services(), plat_services},
                             {"vull_plat_config", &vull_plat_config, plat_settings},
                             {"vull_pump_io", &vull_pump_io, pump_state},
                             {"vull_video_engine", &vull_video_engine, video_funcs},
                             {"vull_audio", &vull_audio, audio_funcs},
                             {"cpod_audio", &cpod_audio, audio_items},
                             {"zibo6_vm", &zibo6_vm, vm_services},
                             {"cart_hooks", &cart_hooks, cart_entries},
                             {"shell_hooks", &shell_hooks, shell_entries}};

uintptr_t word_at(const void *object, size_t offset) {
    uintptr_t word;
    std::memcpy(&word, static_cast<const char *>(object) + offset, sizeof word);
    return word;
}

// What every entry holds before any attach call: read before main, and this
// program's main attaches nothing.
std::vector<std::vector<uintptr_t>> read_entries() {
    std::vector<std::vector<uintptr_t>> words;
    for (const hook_table &t : tables) {
        words.emplace_back();
        for (const hook_entry &e : t.entries) words.back().push_back(word_at(t.object, e.offset));
    }
    return words;
}
const std::vector<std::vector<uintptr_t>> waiting = read_entries();

} // namespace

// Last in this program: it attaches every layer.
TEST(Unattached, TopAttachFillsEveryEntryOfEveryTable) {
    zibo6_attach_shell();
    for (size_t t = 0; t < std::size(tables); t++) {
        const hook_table &table = tables[t];
        for (size_t i = 0; i < table.entries.size(); i++) {
            const hook_entry &e = table.entries[i];
            uintptr_t before = waiting[t][i], now = word_at(table.object, e.offset);
            if (e.defaulted && !before)
                ADD_FAILURE() << table.name << "." << e.name
                              << " waits as null, without its default";
            if (!now)
                ADD_FAILURE() << table.name << "." << e.name
                              << " is empty after zibo6_attach_shell()";
            else if (now == before)
                ADD_FAILURE() << table.name << "." << e.name
                              << " still holds its waiting default after zibo6_attach_shell()";
        }
    }
    // The one-pointer hook the chain fills: the audio engine reads the sound
    // registers where console memory stores them.
    for (int k = 0; k < 4; k++) pstate.draw_state.sound_reg[k] = 0x5f40 + k;
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(z6_sound_register(k), 0x5f40 + k) << "sound register " << k;
    for (int32_t &r : pstate.draw_state.sound_reg) r = 0;
}
