// Controllers with SDL's virtual joysticks: hot-plugging through the event
// pump, records kept when SDL re-announces a device, eight records for nine
// devices, validation at rest, and sdl_controllers.txt.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/config.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/joystick.h"

namespace {

uint8_t no_keys[512];

struct JoystickTest : ::testing::Test {
    std::string home;

    void SetUp() override {
        vull_config_default();
        vull_state = {};
        const char *h = getenv("HOME");
        home = std::string(h ? h : "/tmp") + "/joystick-test-" + std::to_string(getpid());
        snprintf(cconfig.home, sizeof cconfig.home, "%s", home.c_str());
        remove(mapping_path().c_str());
        vull_events_hook.sleep = [](uint32_t) {};
        vull_events_hook.keyboard = [](int *n) -> const uint8_t * {
            *n = 512;
            return no_keys;
        };
        ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS), 0)
            << SDL_GetError();
    }
    void TearDown() override {
        vull_joystick_exit();
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_Quit();
        vull_events_hook = {};
        remove(mapping_path().c_str());
        rmdir(home.c_str());
    }
    std::string mapping_path() const { return home + "/sdl_controllers.txt"; }

    static int attach() {
        return SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
    }
    static void pump() { vull_handle_system_messages(); }
    static SDL_Joystick *joystick_of(int record) {
        return metacon[record].controller
                   ? SDL_GameControllerGetJoystick(metacon[record].controller)
                   : nullptr;
    }
    static int occupied() {
        int n = 0;
        for (auto &r : metacon) n += r.controller || r.joystick;
        return n;
    }
};

TEST_F(JoystickTest, HotPlugKeepsRecordsInUse) {
    // Two devices present at start: start-up opens both, then SDL announces
    // them again; the records must stay as they are.
    attach();
    attach();
    vull_joystick_init();
    ASSERT_EQ(occupied(), 2);
    _SDL_GameController *first = metacon[0].controller, *second = metacon[1].controller;
    int32_t second_id = metacon[1].instance_id;
    pump();
    EXPECT_EQ(metacon[0].controller, first);
    EXPECT_EQ(metacon[1].controller, second);
    EXPECT_EQ(vull_state.controller_added, 0x101);

    // Remove the first: the second moves down to record 0.
    SDL_JoystickDetachVirtual(0);
    pump();
    EXPECT_EQ(vull_state.controller_removed, 0x100);
    ASSERT_EQ(occupied(), 1);
    EXPECT_EQ(metacon[0].instance_id, second_id);

    // Re-add: the new device gets a free record, record 0 is left alone.
    attach();
    pump();
    ASSERT_EQ(occupied(), 2);
    EXPECT_EQ(metacon[0].controller, second);
    EXPECT_NE(metacon[1].controller, nullptr);
    EXPECT_NE(metacon[1].instance_id, second_id);

    // A removal SDL reports for an unknown id clears nothing.
    EXPECT_EQ(vull_joystick_device_removed(12345), -1);
    EXPECT_EQ(occupied(), 2);
}

TEST_F(JoystickTest, NineDevicesFillEightRecords) {
    for (int i = 0; i < 9; i++) ASSERT_GE(attach(), 0);
    vull_joystick_init();
    EXPECT_EQ(occupied(), 8);
    EXPECT_EQ(vull_count_joysticks(), 9);
    pump();
    EXPECT_EQ(occupied(), 8);
    EXPECT_EQ(vull_state.controller_added, 0x108); // the notice is set all the same
    // Index 8 has no record and reads nothing.
    int x = 5, y = 5;
    uint32_t b = 5;
    vull_get_joystick(8, &x, &y, &b);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(b, 0u);
    vull_get_joystick(-1, &x, &y, &b);
    vull_get_joystick(8, nullptr, nullptr, nullptr);
}

TEST_F(JoystickTest, AxesAndButtonsCountOnlyAfterRest) {
    attach();
    vull_joystick_init();
    SDL_Joystick *j = joystick_of(0);
    ASSERT_NE(j, nullptr);
    SDL_JoystickSetVirtualAxis(j, 0, 30000); // stick resting off-centre
    SDL_JoystickSetVirtualAxis(j, 1, -200);
    SDL_JoystickSetVirtualButton(j, 0, 1); // A held while connecting
    SDL_GameControllerUpdate();
    int x, y;
    uint32_t b;
    vull_get_joystick(0, &x, &y, &b);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, -200);
    EXPECT_EQ(b, 0u);

    SDL_JoystickSetVirtualAxis(j, 0, 100);
    SDL_JoystickSetVirtualButton(j, 0, 0);
    SDL_GameControllerUpdate();
    vull_get_joystick(0, &x, &y, &b);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(b, 0u);

    SDL_JoystickSetVirtualAxis(j, 0, 32767);
    SDL_JoystickSetVirtualButton(j, 0, 1);
    SDL_GameControllerUpdate();
    vull_get_joystick(0, &x, &y, &b);
    EXPECT_EQ(x, 32767);
    EXPECT_EQ(b, 1u);

    // Axis numbers beyond the validated flags read 0 and touch nothing.
    vull_get_joystick_axes(0, 32, -1, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    vull_get_joystick_axes(9, 0, 1, &x, &y);
    EXPECT_EQ(vull_count_joystick_buttons(0), 0); // a controller, not a raw joystick

    // Reconnecting loses validation: it must be seen at rest again.
    int32_t id = metacon[0].instance_id;
    EXPECT_EQ(vull_joystick_device_removed(id), 0);
    SDL_JoystickDetachVirtual(0);
    attach();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    ASSERT_EQ(vull_joystick_device_added(0), 0);
    j = joystick_of(0);
    SDL_JoystickSetVirtualAxis(j, 0, 32767);
    SDL_GameControllerUpdate();
    vull_get_joystick(0, &x, &y, &b);
    EXPECT_EQ(x, 0);
}

TEST_F(JoystickTest, MappingFileGoodAndBadLines) {
    // Missing file: created with its comment line only.
    add_sdl_controllers();
    FILE *f = fopen(mapping_path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[128] = {0};
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    EXPECT_EQ(n, 50u);
    EXPECT_STREQ(buf, "// add SDL2 game controller mappings to this file\n");

    // Mappings for two pads of our own (one indented, one without a final
    // newline), and lines SDL must refuse or we must skip.
    const char *guid = "030000005a6900000aa0000000010000";
    f = fopen(mapping_path().c_str(), "w");
    ASSERT_NE(f, nullptr);
    fprintf(f, "// comment\n\n   \n");
    fprintf(f, "  %s,Swapped Pad,a:b1,b:b0,leftx:a0,lefty:a1,  \n", guid);
    fprintf(f, "not a mapping at all\n");
    fprintf(f, "%s\n", std::string(3000, 'x').c_str());
    // A line of exactly 1023 characters is whole, not too long.
    std::string tail = ",a:b0,b:b1,platform:Linux,";
    std::string full = "030000005a6900000bb0000000010000,Long Pad ";
    full += std::string(1023 - full.size() - tail.size(), 'n') + tail;
    fprintf(f, "%s\n", full.c_str());
    fprintf(
        f,
        "030000005a6900000990000000010000,Test Pad Nine,a:b0,b:b1,platform:Linux,"); // no final newline
    fclose(f);

    SDL_GameControllerAddMapping("030000005a6900000990000000010000,Placeholder,a:b5,platform:"
                                 "Linux,"); // replaced by the file
    vull_joystick_init();
    char *m = SDL_GameControllerMappingForGUID(
        SDL_JoystickGetGUIDFromString("030000005a6900000990000000010000"));
    ASSERT_NE(m, nullptr);
    EXPECT_NE(std::string(m).find("Test Pad Nine"), std::string::npos);
    SDL_free(m);

    m = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(guid));
    ASSERT_NE(m, nullptr);
    EXPECT_NE(std::string(m).find("Swapped Pad,a:b1,b:b0"), std::string::npos);
    SDL_free(m);

    m = SDL_GameControllerMappingForGUID(
        SDL_JoystickGetGUIDFromString("030000005a6900000bb0000000010000"));
    ASSERT_NE(m, nullptr);
    EXPECT_NE(std::string(m).find("Long Pad nnn"), std::string::npos);
    SDL_free(m);

    // What the reader refuses stays the user's: a file past the bound is kept
    // whole, and a pipe standing there is neither read nor opened for writing.
    f = fopen(mapping_path().c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::string big((4 << 20) + 1, '/');
    fwrite(big.data(), 1, big.size(), f);
    fclose(f);
    add_sdl_controllers();
    struct stat st {};
    ASSERT_EQ(stat(mapping_path().c_str(), &st), 0);
    EXPECT_EQ((size_t)st.st_size, big.size());
    remove(mapping_path().c_str());
    ASSERT_EQ(mkfifo(mapping_path().c_str(), 0600), 0);
    add_sdl_controllers(); // returns: a pipe with no writer or reader never waits
    ASSERT_EQ(stat(mapping_path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

} // namespace
