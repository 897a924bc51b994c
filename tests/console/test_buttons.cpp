// Buttons through a scripted input source: btnp timing at 30 and 60 frames a
// second, repeat off, bindings, the stick's dead zone, blocking and the btn
// and btnp calls.
#include <SDL2/SDL_scancode.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/api.h"
#include "console/button.h"
#include "cart/state.h"
#include "console_test_util.h"
#include "fake_input.h"

using z6input::FakeInput;

namespace {

struct Buttons : ::testing::Test {
    FakeInput input;
    Buttons() {
        clear_buttons_tables();
        std::memset(pstate.console_ram, 0, sizeof pstate.console_ram);
        std::memset(app.button_keys, 0, sizeof app.button_keys);
        app.paused_menu_state = 0;
        app.cart_item_chosen = 0;
        app.joystick_index = 0;
        app.glitch_test = 0;
        pstate.machine_mode = 1;
        pstate.cart_code_running = 1;
        pstate.target_fps = pstate.fps = 30;
    }
    ~Buttons() override {
        pstate.machine_mode = 0;
        pstate.cart_code_running = 0;
        clear_buttons_tables();
    }

    // Frames (1-based) on which btnp(b) fired while key k was held for n frames.
    static std::vector<int> btnp_frames(int k, int b, int n) {
        std::vector<int> got;
        FakeInput::keys[k] = true;
        for (int f = 1; f <= n; f++) {
            update_buttons();
            if (zbtn.btnp[0][b]) got.push_back(f);
        }
        FakeInput::keys[k] = false;
        return got;
    }
};

TEST_F(Buttons, RepeatTimingAt30And60Fps) {
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_X, 5, 30), (std::vector<int>{1, 16, 20, 24, 28}));
    update_buttons();
    pstate.target_fps = 60;
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_X, 5, 50), (std::vector<int>{1, 31, 39, 47}));
}

TEST_F(Buttons, RepeatOffAndFastestRepeat) {
    pstate.console_ram[0x5f5c] = 255;
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_X, 5, 40), (std::vector<int>{1}));
    update_buttons();
    pstate.console_ram[0x5f5c] = 1;
    pstate.console_ram[0x5f5d] = 1;
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_X, 5, 5), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(Buttons, PauseMenuUsesItsOwnUnscaledDelays) {
    pstate.target_fps = 60;
    app.paused_menu_state = 1;
    pstate.machine_mode = 0;
    // The menu's frame: read last, so the press shows one update later.
    EXPECT_EQ(btnp_frames(SDL_SCANCODE_DOWN, 3, 26), (std::vector<int>{2, 17, 21, 25}));
}

TEST_F(Buttons, BoundKeyReplacesEveryDefault) {
    app.button_keys[4] = SDL_SCANCODE_J;
    for (int k :
         {SDL_SCANCODE_Z, SDL_SCANCODE_C, SDL_SCANCODE_N, SDL_SCANCODE_KP_1, SDL_SCANCODE_INSERT}) {
        FakeInput::keys[k] = true;
        EXPECT_EQ(player_key(4, 0), 0) << k;
        FakeInput::keys[k] = false;
    }
    FakeInput::keys[SDL_SCANCODE_J] = true;
    EXPECT_EQ(player_key(4, 0), 1);
    EXPECT_TRUE(is_key_bound(SDL_SCANCODE_J));
    EXPECT_FALSE(is_key_bound(SDL_SCANCODE_Z));
    EXPECT_TRUE(is_key_bound(SDL_SCANCODE_LEFT));
}

TEST_F(Buttons, DefaultKeyRules) {
    FakeInput::keys[SDL_SCANCODE_M] = true;
    EXPECT_EQ(player_key(5, 0), 1);
    FakeInput::ctrl = true;
    EXPECT_EQ(player_key(5, 0), 0) << "ctrl-m is no X";
    FakeInput::keys[SDL_SCANCODE_M] = false;

    FakeInput::keys[SDL_SCANCODE_ESCAPE] = true;
    EXPECT_EQ(player_key(6, 0), 1);
    app.paused_menu_state = 1;
    EXPECT_EQ(player_key(6, 0), 0) << "escape belongs to the open menu";
    app.paused_menu_state = 0;
    pstate.machine_mode = 0;
    EXPECT_EQ(player_key(6, 0), 0) << "escape pauses only a running cart";
    pstate.machine_mode = 1;
    app.button_keys[12] = SDL_SCANCODE_K;
    EXPECT_EQ(player_key(6, 0), 0) << "a bound pause key replaces escape too";
    FakeInput::keys[SDL_SCANCODE_ESCAPE] = false;

    FakeInput::keys[SDL_SCANCODE_TAB] = true;
    EXPECT_EQ(player_key(4, 1), 1);
    EXPECT_EQ(player_key(6, 1), 0);
    EXPECT_EQ(player_key(4, 2), 0);
    EXPECT_EQ(player_key(7, 0), 0);
    EXPECT_EQ(player_key(8, 0), 0);
    EXPECT_EQ(player_key(0, -1), 0);
}

TEST_F(Buttons, StickDeadZoneAndControllerButtons) {
    FakeInput::pads = 2;
    FakeInput::pad[0] = {-16384, 0, 0};
    EXPECT_EQ(player_button(0, 0), 0) << "half way is inside the dead zone";
    FakeInput::pad[0] = {-16386, 0, 0};
    EXPECT_EQ(player_button(0, 0), 128) << "just past the edge";
    FakeInput::pad[0] = {-32767, 0, 0};
    EXPECT_EQ(player_button(0, 0), 255);
    EXPECT_EQ(player_button(1, 0), 0);
    FakeInput::pad[0] = {0, 0, 1u << Z6_PAD_UP | 1u << Z6_PAD_Y | 1u << Z6_PAD_START};
    EXPECT_EQ(player_button(2, 0), 255);
    EXPECT_EQ(player_button(4, 0), 255);
    EXPECT_EQ(player_button(5, 0), 0);
    EXPECT_EQ(player_button(6, 0), 255);
    EXPECT_EQ(player_button(7, 0), 0);
    // Player 1 reads controller 1; shifting the index moves every player.
    FakeInput::pad[1] = {0, 0, 1u << Z6_PAD_B};
    EXPECT_EQ(player_button(5, 1), 255);
    app.joystick_index = 1;
    EXPECT_EQ(player_button(5, 1), 0);
    EXPECT_EQ(player_button(6, 1), 255);
    app.joystick_index = -1;
    EXPECT_EQ(player_button(6, 1), 0);
}

TEST_F(Buttons, ControllerPluggedInMidRunIsRead) {
    update_buttons();
    EXPECT_FALSE(pstate.button_held[0][4]);
    FakeInput::pads = 1;
    FakeInput::pad[0].buttons = 1u << Z6_PAD_A;
    read_buttons();
    EXPECT_TRUE(button_pressed_nok(4, 0));
    update_buttons();
    EXPECT_TRUE(pstate.button_held[0][4]);
    EXPECT_TRUE(zbtn.btnp[0][4]);
}

TEST_F(Buttons, HeldKeyBlocksUntilReleased) {
    FakeInput::keys[SDL_SCANCODE_Z] = true;
    update_buttons();
    ASSERT_TRUE(zbtn.btnp[0][4]);
    block_buttons();
    for (int f = 0; f < 40; f++) {
        update_buttons();
        EXPECT_FALSE(pstate.button_held[0][4]);
        EXPECT_FALSE(zbtn.btnp[0][4]);
    }
    FakeInput::keys[SDL_SCANCODE_Z] = false;
    update_buttons();
    FakeInput::keys[SDL_SCANCODE_Z] = true;
    update_buttons();
    EXPECT_TRUE(pstate.button_held[0][4]);
    EXPECT_TRUE(zbtn.btnp[0][4]);
}

TEST_F(Buttons, ChosenCartItemKeepsLeftAndRightUsable) {
    FakeInput::keys[SDL_SCANCODE_LEFT] = true;
    FakeInput::keys[SDL_SCANCODE_X] = true;
    update_buttons();
    app.cart_item_chosen = 1;
    block_buttons();
    update_buttons();
    EXPECT_TRUE(pstate.button_held[0][0]);
    EXPECT_FALSE(pstate.button_held[0][5]);
}

TEST_F(Buttons, TwoKeysInOneFrameAndBothPlayers) {
    FakeInput::keys[SDL_SCANCODE_LEFT] = true;
    FakeInput::keys[SDL_SCANCODE_S] = true;
    read_buttons();
    EXPECT_EQ(button_pressed(0, 0), 1);
    EXPECT_EQ(button_pressed(0, 1), 1);
    EXPECT_EQ(button_pressed(0, 9), 0);
    update_buttons();
    EXPECT_TRUE(zbtn.btnp[0][0]);
    EXPECT_TRUE(zbtn.btnp[1][0]);
}

TEST_F(Buttons, DevkitMouseAndGlitchTest) {
    FakeInput::mouse_buttons = 1 | 4;
    update_buttons();
    EXPECT_FALSE(pstate.button_held[0][5]) << "mouse buttons only in devkit mode";
    pstate.console_ram[0x5f2d] = 3;
    update_buttons();
    EXPECT_TRUE(pstate.button_held[0][5]);
    EXPECT_TRUE(pstate.button_held[0][6]);
    EXPECT_FALSE(pstate.button_held[0][4]);

    FakeInput::wheel_y = -2;
    read_buttons();
    EXPECT_EQ(zbtn.wheel_y, -2);
    read_buttons();
    EXPECT_EQ(zbtn.wheel_y, 0);

    app.glitch_test = 1;
    int set = 0;
    for (int i = 0; i < 20; i++) {
        read_buttons();
        for (auto &row : pstate.button_held) {
            for (int b = 0; b < 6; b++) set += row[b];
            EXPECT_FALSE(row[6] || row[7]);
        }
    }
    EXPECT_GT(set, 0);
}

// The bindings, called as a cart calls them.
int call(lua_CFunction fn, std::initializer_list<int> args) {
    lua_State *L = lua_newstate(z6console::test_alloc, nullptr);
    lua_pushcfunction(L, fn);
    for (int a : args) lua_pushnumber(L, int32_t(uint32_t(a) << 16));
    lua_call(L, int(args.size()), 1);
    int r = lua_isboolean(L, -1) ? lua_toboolean(L, -1) : lua_tonumberx(L, -1, nullptr) >> 16;
    lua_close(L);
    return r;
}

TEST_F(Buttons, BtnAndBtnpCalls) {
    FakeInput::keys[SDL_SCANCODE_S] = true;
    FakeInput::keys[SDL_SCANCODE_X] = true;
    update_buttons();
    EXPECT_EQ(call(z6_btn, {}), 256 | 32);
    EXPECT_EQ(call(z6_btn, {5}), 1);
    EXPECT_EQ(call(z6_btn, {0, 1}), 1);
    EXPECT_EQ(call(z6_btn, {0, 8}), 0);
    EXPECT_EQ(call(z6_btn, {0, -1}), 0);
    EXPECT_EQ(call(z6_btn, {9}), 0);
    pstate.button_held[0][7] = 1;
    EXPECT_EQ(call(z6_btn, {9}), 1) << "9 reads button 7";
    EXPECT_EQ(call(z6_btnp, {5}), 1);
    update_buttons();
    EXPECT_EQ(call(z6_btnp, {5}), 0);
    EXPECT_EQ(call(z6_btn, {5}), 1);
}

TEST_F(Buttons, MenuItemLabels) {
    lua_State *L = lua_newstate(z6console::test_alloc, nullptr);
    auto menuitem = [L](int i, const char *label) {
        lua_pushcfunction(L, z6_menuitem);
        lua_pushnumber(L, int32_t(uint32_t(i) << 16));
        if (label) lua_pushstring(L, label);
        lua_call(L, label ? 2 : 1, 0);
    };
    menuitem(2, "a very long label indeed");
    EXPECT_STREQ(pstate.cart_menu_label[1], "a very long labe");
    menuitem(6, "nothing");
    menuitem(0, "nothing");
    menuitem(2, nullptr);
    EXPECT_STREQ(pstate.cart_menu_label[1], "");
    lua_close(L);
}

} // namespace
