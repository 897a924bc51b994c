// A controller plugged in while a cart runs, through SDL's virtual joysticks
// and the platform's event pump: its buttons and stick reach the players.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "console/button.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/joystick.h"

namespace {

uint8_t no_keys[512];

struct ControllerHotPlug : ::testing::Test {
    std::string home;
    void SetUp() override {
        vull_config_default();
        vull_state = {};
        const char *h = std::getenv("HOME");
        home = std::string(h ? h : "/tmp") + "/buttons-pad-" + std::to_string(getpid());
        std::snprintf(cconfig.home, sizeof cconfig.home, "%s", home.c_str());
        vull_events_hook.sleep = [](uint32_t) {};
        vull_events_hook.keyboard = [](int *n) -> const uint8_t * {
            *n = 512;
            return no_keys;
        };
        ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS), 0)
            << SDL_GetError();
        vull_joystick_init();
        z6_input = z6_platform_input;
        clear_buttons_tables();
        std::memset(pstate.console_ram, 0, sizeof pstate.console_ram);
        app.joystick_index = 0;
        app.paused_menu_state = 0;
        pstate.machine_mode = 1;
        pstate.cart_code_running = 1;
        pstate.target_fps = 30;
    }
    void TearDown() override {
        vull_joystick_exit();
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_Quit();
        vull_events_hook = {};
        std::remove((home + "/sdl_controllers.txt").c_str());
        rmdir(home.c_str());
        pstate.machine_mode = 0;
        pstate.cart_code_running = 0;
        clear_buttons_tables();
    }
    static void frame() {
        vull_handle_system_messages();
        SDL_GameControllerUpdate();
        update_buttons();
    }
};

TEST_F(ControllerHotPlug, PluggedInMidRunIsRead) {
    frame();
    EXPECT_EQ(vull_count_joysticks(), 0);
    ASSERT_GE(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0), 0);
    frame();
    ASSERT_EQ(vull_count_joysticks(), 1);
    SDL_Joystick *j = SDL_GameControllerGetJoystick(metacon[0].controller);
    ASSERT_NE(j, nullptr);
    frame(); // seen at rest
    SDL_JoystickSetVirtualButton(j, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTX, -32767);
    frame();
    EXPECT_TRUE(pstate.button_held[0][4]);
    EXPECT_TRUE(zbtn.btnp[0][4]);
    EXPECT_TRUE(pstate.button_held[0][0]);
    EXPECT_FALSE(pstate.button_held[0][1]);
    EXPECT_FALSE(pstate.button_held[1][4]) << "controller 0 belongs to player 0";
}

} // namespace
