// The key configuration screen driven through the scripted input source.
#include <SDL2/SDL_scancode.h>
#include <gtest/gtest.h>

#include <cstring>

#include "../console/fake_input.h"
#include "console/button.h"
#include "cart/state.h"
#include "shell/keyconfig.h"
#include "tests/console/run_test_util.h"

using z6input::FakeInput;

namespace {

struct KeyConfig : ::testing::Test {
    FakeInput input;
    int32_t before[Z6_BUTTON_KEYS] = {};
    KeyConfig() {
        for (int i = 0; i < Z6_BUTTON_KEYS; i++) app.button_keys[i] = before[i] = 100 + i;
        keyconfig_init();
    }
    ~KeyConfig() override { std::memset(app.button_keys, 0, sizeof app.button_keys); }

    static void tap(std::initializer_list<int> keys) {
        for (int k : keys) FakeInput::keys[k] = true;
        keyconfig_update();
        for (int k : keys) FakeInput::keys[k] = false;
        keyconfig_update(); // the release frame makes the screen ready again
    }
};

TEST_F(KeyConfig, KeysFillTheEntriesInTurn) {
    keyconfig_update();
    tap({SDL_SCANCODE_J});
    tap({SDL_SCANCODE_DELETE});
    tap({SDL_SCANCODE_BACKSPACE});
    EXPECT_EQ(app.button_keys[0], SDL_SCANCODE_J);
    EXPECT_EQ(app.button_keys[1], 0) << "delete picks the default keys";
    EXPECT_EQ(app.button_keys[2], 0);
    EXPECT_EQ(zkeyconfig.key_index, 3);
    // The default keys are live again for the cleared entry.
    FakeInput::keys[SDL_SCANCODE_RIGHT] = true;
    EXPECT_EQ(player_key(1, 0), 1);
    FakeInput::keys[SDL_SCANCODE_RIGHT] = false;
}

TEST_F(KeyConfig, KeyHeldFromBeforeAssignsNothing) {
    FakeInput::keys[SDL_SCANCODE_Z] = true;
    for (int i = 0; i < 5; i++) keyconfig_update();
    EXPECT_EQ(zkeyconfig.key_index, 0);
    EXPECT_EQ(app.button_keys[0], before[0]);
    FakeInput::keys[SDL_SCANCODE_Z] = false;
    keyconfig_update();
    tap({SDL_SCANCODE_Z});
    EXPECT_EQ(app.button_keys[0], SDL_SCANCODE_Z);
}

TEST_F(KeyConfig, TwoKeysInOneFrameLowerScancodeFirst) {
    keyconfig_update();
    tap({SDL_SCANCODE_K, SDL_SCANCODE_B});
    EXPECT_EQ(app.button_keys[0], SDL_SCANCODE_B);
    EXPECT_EQ(app.button_keys[1], SDL_SCANCODE_K);
    EXPECT_EQ(zkeyconfig.key_index, 2);
}

TEST_F(KeyConfig, EscapeAfterFiveRestoresAll) {
    keyconfig_update();
    for (int k = SDL_SCANCODE_A; k < SDL_SCANCODE_A + 5; k++) tap({k});
    EXPECT_EQ(zkeyconfig.key_index, 5);
    pstate.sub_mode = 1;
    keyconfig_keypress(27);
    EXPECT_EQ(pstate.sub_mode, 0);
    EXPECT_EQ(0, std::memcmp(app.button_keys, before, sizeof before));
    // The pause menu's way out restores the same way.
    keyconfig_init();
    keyconfig_update();
    tap({SDL_SCANCODE_A});
    keyconfig_close();
    EXPECT_EQ(0, std::memcmp(app.button_keys, before, sizeof before));
}

TEST_F(KeyConfig, ThirteenKeysFinishAndStay) {
    keyconfig_update();
    for (int i = 0; i < Z6_BUTTON_KEYS; i++) tap({SDL_SCANCODE_A + i});
    EXPECT_EQ(zkeyconfig.key_index, 13);
    for (int i = 0; i < 3; i++) tap({SDL_SCANCODE_Z});
    EXPECT_EQ(zkeyconfig.key_index, 13) << "a finished screen takes no more keys";
    keyconfig_close();
    EXPECT_EQ(app.button_keys[12], SDL_SCANCODE_A + 12);
    pstate.sub_mode = 1;
    keyconfig_keypress('x');
    EXPECT_EQ(pstate.sub_mode, 0);
}

// What the README says of keyconfig(): a cart running with a window cannot
// open the screen; a headless script's call opens it (sub-mode 1).
TEST(KeyConfigCommand, OpensOnlyForAHeadlessScript) {
    z6run::Runtime rt;
    pstate.headless = 0;
    rt.run("keyconfig()", 1);
    EXPECT_EQ(pstate.sub_mode, 0);
    EXPECT_EQ(app.paused_menu_state, 0);
    pstate.headless = 1;
    rt.run("keyconfig()", 1);
    EXPECT_EQ(pstate.sub_mode, 1);
}

} // namespace
