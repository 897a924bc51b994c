// The pause menu: its pages, selection, the cart's items, the refused pause,
// the sound toggle, and golden pictures of the main, options and controls
// pages.
#include <SDL2/SDL_scancode.h>

#include "../console/fake_input.h"
#include "console/term.h"
#include "engine/config.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "page_test_util.h"
#include "platform/video.h"
#include "shell//pause.h"

using z6input::FakeInput;
using z6page::Page;

namespace {

struct PauseMenu : ::testing::Test {
    FakeInput input;
    PauseMenu() {
        clear_buttons_tables();
        std::memset(pstate.cart_menu_label, 0, sizeof pstate.cart_menu_label);
        std::memset(pstate.cart_item_request, 0, sizeof pstate.cart_item_request);
        std::memset(app.button_keys, 0, sizeof app.button_keys);
        reset_run_chain();
        app.run = 0;
        app.paused_menu_state = 0;
        app.paused_menu_selected = 0;
        app.cart_item_chosen = 0;
        app.update_available = 0;
        pstate.console_ram[0x5f30] = 0;
        pstate.console_ram[0x5f5c] = 0;
        pstate.machine_mode = 1;
        pstate.cart_code_running = 1;
        pstate.target_fps = 30;
    }
    ~PauseMenu() override {
        app.paused_menu_state = 0;
        app.cart_item_chosen = 0;
        pstate.machine_mode = 0;
        pstate.cart_code_running = 0;
        block_vullkey[SDL_SCANCODE_ESCAPE] = 0;
        clear_buttons_tables();
    }

    static std::vector<std::string> labels() {
        std::vector<std::string> out;
        for (int i = 0; i < app.paused_menu_items; i++) out.push_back(paused_menu_item[i].label);
        return out;
    }
    // A frame as the frame loop runs it: buttons, then the menu's input while open.
    static void frame() {
        update_buttons();
        if (app.paused_menu_state) process_paused_keypresses();
    }
    static void press(int scancode) {
        FakeInput::keys[scancode] = true;
        frame();
        FakeInput::keys[scancode] = false;
        frame();
    }
    // A running frame in which the cart's flip reads the buttons.
    static void pause_frame(bool held) {
        FakeInput::keys[SDL_SCANCODE_P] = held;
        read_buttons();
        update_paused_menu();
    }
};

TEST_F(PauseMenu, MainPageItems) {
    app.paused_menu_state = PAUSE_MAIN;
    build_paused_menu();
    EXPECT_EQ(labels(), (std::vector<std::string>{"continue", "options", "reset cart", "quit"}));
    app.run = 1;
    std::snprintf(pstate.cart_menu_label[1], 64, "restart level");
    add_run_chain_item("other.z6", "back to menu", 0);
    build_paused_menu();
    EXPECT_EQ(labels(),
              (std::vector<std::string>{"continue", "restart level", "options", "reset cart",
                                        "back to menu", "quit", "shutdown"}));
    EXPECT_EQ(paused_menu_item[1].code, PAUSE_CART_ITEM + 1);
    add_paused_menu_item("a label much longer than sixteen", 0);
    EXPECT_STREQ(paused_menu_item[app.paused_menu_items - 1].label, "a label much lon");
    for (int i = 0; i < 20; i++) add_paused_menu_item("x", 0);
    EXPECT_EQ(app.paused_menu_items, PAUSE_MENU_ITEMS);
}

TEST_F(PauseMenu, PauseButtonOpensUnlessTheCartRefuses) {
    pause_frame(true);
    EXPECT_EQ(app.paused_menu_state, PAUSE_MAIN);
    EXPECT_EQ(block_vullkey[SDL_SCANCODE_ESCAPE], 1);
    app.paused_menu_state = 0;
    pause_frame(false);

    for (int i = 0; i < 3; i++) {
        pstate.console_ram[0x5f30] = 1;
        pause_frame(true);
        pause_frame(false);
        EXPECT_EQ(app.paused_menu_state, PAUSE_CLOSED);
        EXPECT_EQ(zibo6_peek(&pstate, pstate.memory_cart, 0x5f30), 0);
    }
}

TEST_F(PauseMenu, SelectionWraps) {
    app.paused_menu_state = PAUSE_MAIN;
    build_paused_menu();
    pstate.machine_mode = 0; // the menu's frames read the buttons last
    press(SDL_SCANCODE_UP);
    EXPECT_EQ(app.paused_menu_selected, 3);
    press(SDL_SCANCODE_DOWN);
    EXPECT_EQ(app.paused_menu_selected, 0);
    press(SDL_SCANCODE_DOWN);
    press(SDL_SCANCODE_DOWN);
    EXPECT_EQ(app.paused_menu_selected, 2);
    press(SDL_SCANCODE_X);
    EXPECT_EQ(app.paused_menu_state, PAUSE_CLOSED) << "reset cart closes the menu";
    EXPECT_EQ(pstate.reset_glitch_counter, 1);
    pstate.reset_glitch_counter = 0;
}

TEST_F(PauseMenu, CartItemsTakeLeftRightAndChoose) {
    std::snprintf(pstate.cart_menu_label[0], 64, "volume");
    app.paused_menu_state = PAUSE_MAIN;
    build_paused_menu();
    app.paused_menu_selected = 1;
    pstate.machine_mode = 0;
    press(SDL_SCANCODE_RIGHT);
    EXPECT_EQ(app.paused_menu_state, PAUSE_CLOSED);
    EXPECT_EQ(app.cart_item_chosen, 1);
    EXPECT_EQ(pstate.cart_item_request[0], 2);

    app.cart_item_chosen = 0;
    app.paused_menu_state = PAUSE_MAIN;
    build_paused_menu();
    app.paused_menu_selected = 1;
    press(SDL_SCANCODE_Z);
    EXPECT_EQ(pstate.cart_item_request[0], 112);
}

TEST_F(PauseMenu, FullscreenLabelFollowsTheWindowNotTheStartSetting) {
    int32_t saved_windowed = cconfig.windowed, saved_mode = vull_screen_mode;
    cconfig.windowed = 1; // started windowed, then switched to full screen
    vull_screen_mode = 1;
    app.paused_menu_state = PAUSE_MAIN;
    paused_menu_action(PAUSE_OPTIONS_PAGE);
    EXPECT_EQ(labels()[1], "fullscreen:on");
    vull_screen_mode = 0;
    build_paused_menu();
    EXPECT_EQ(labels()[1], "fullscreen:off");
    cconfig.windowed = saved_windowed;
    vull_screen_mode = saved_mode;
}

TEST_F(PauseMenu, OptionsSoundToggle) {
    int32_t saved = cconfig.sound_volume;
    cconfig.sound_volume = 200;
    app.volume = 200;
    app.paused_menu_state = PAUSE_MAIN;
    paused_menu_action(PAUSE_OPTIONS_PAGE);
    EXPECT_EQ(app.paused_menu_state, PAUSE_OPTIONS);
    EXPECT_EQ(labels()[0], "sound:on");
    paused_menu_action(PAUSE_SOUND);
    EXPECT_EQ(cconfig.sound_volume, 0);
    EXPECT_EQ(labels()[0], "sound:off");
    paused_menu_action(PAUSE_SOUND);
    EXPECT_EQ(cconfig.sound_volume, 200);
    app.volume = 0;
    cconfig.sound_volume = 0;
    paused_menu_action(PAUSE_SOUND);
    EXPECT_EQ(cconfig.sound_volume, 256);
    paused_menu_action(PAUSE_CONTROLS_PAGE);
    EXPECT_EQ(app.paused_menu_state, PAUSE_CONTROLS);
    paused_menu_action(PAUSE_BACK);
    EXPECT_EQ(app.paused_menu_state, PAUSE_MAIN);
    EXPECT_EQ(labels()[0], "continue");
    cconfig.sound_volume = saved;
}

TEST_F(PauseMenu, Pictures) {
    Page p;
    p.draw_quadrants();
    app.paused_menu_state = PAUSE_MAIN;
    build_paused_menu();
    app.paused_menu_selected = 1;
    vull_main_draw();
    EXPECT_TRUE(p.matches("pause_menu"));

    int32_t saved = cconfig.sound_volume;
    cconfig.sound_volume = 256;
    paused_menu_action(PAUSE_OPTIONS_PAGE);
    vull_main_draw();
    EXPECT_TRUE(p.matches("pause_options"));
    cconfig.sound_volume = saved;

    app.button_keys[6] = SDL_SCANCODE_J;  // player 1's left
    app.button_keys[8] = SDL_SCANCODE_F1; // a long name shows as one mark
    FakeInput::keys[SDL_SCANCODE_X] = true;
    FakeInput::pads = 2;
    paused_menu_action(PAUSE_CONTROLS_PAGE);
    vull_main_draw();
    EXPECT_TRUE(p.matches("pause_controls"));
}

} // namespace
