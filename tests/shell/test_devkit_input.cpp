// The devkit keyboard and mouse as a running cart reads them through stat:
// typed keys from the engine's queue through the shell's running-frame keys,
// held keys by scancode, the mouse position, buttons, wheel, activity bits and
// relative motion, the rows without devkit mode, the notices of a board cart,
// and the pause menu box's edges.
#include <SDL.h>
#include <SDL2/SDL_scancode.h>

#include <cstring>

#include "../console/fake_input.h"
#include "console/term.h"
#include "engine/config.h"
#include "engine/gui.h"
#include "platform/events.h"
#include "platform/sdl/sdl_video.h"
#include "platform/video.h"
#include "shell/zibo6.h"
#include "tests/console/run_test_util.h"

using z6input::FakeInput;
using z6run::Runtime;

namespace {

// Keys typed into the engine's queue, as the event pump leaves them.
void type_keys(const char *text) {
    for (const char *c = text; *c; c++) vullkey_buffer[vullkey_buffer_pos++] = uint8_t(*c);
}

// The running cart's _update prints what `expr` gives each frame.
std::string frame_printing(Runtime &rt) {
    testing::internal::CaptureStdout();
    process_running_keypresses();
    rt.slices(1);
    return testing::internal::GetCapturedStdout();
}

struct DevkitInput : ::testing::Test {
    FakeInput input;
    Runtime rt;
    DevkitInput() {
        vullkey_buffer_pos = 0;
        pstate.typed_key_count = 0;
        pstate.mouse_change = 0;
        reset_run_chain();
        app.message_text[0] = 0;
    }
    ~DevkitInput() override { vullkey_buffer_pos = 0; }
};

} // namespace

TEST_F(DevkitInput, WithoutDevkitModeTheRowsGiveFalseEmptyOrZero) {
    FakeInput::keys[SDL_SCANCODE_A] = true;
    FakeInput::mouse_x = 40;
    pstate.mouse_change = 5;
    std::string out = rt.run("printh(tostr(stat(28, 4))..tostr(stat(30))..'<'..stat(31)..'>'"
                             "..select('#', stat(31)))\n"
                             "for i = 32, 40 do if i ~= 37 then printh(i..'='..stat(i)) end end\n"
                             "printh(stat(37)..' '..stat(37))\n",
                             1);
    EXPECT_EQ(out, "falsefalse<>1\n32=0\n33=0\n34=0\n35=0\n36=0\n38=0\n39=0\n40=0\n"
                   "5 0\n"); // the activity bits are read and cleared in any mode
}

TEST_F(DevkitInput, TypedKeysReachTheCartOneCharacterAtATime) {
    rt.run("poke(0x5f2d, 1)\n"
           "function _update()\n"
           "  local s = ''\n"
           "  while stat(30) do local c, z = stat(31) s = s..ord(c)..':'..z..' ' end\n"
           "  local e, z = stat(31)\n"
           "  printh(s..'|'..#e..' '..z)\n"
           "end\n",
           1);
    type_keys("hi!");
    EXPECT_EQ(frame_printing(rt), "104:0 105:0 33:0 |0 0\n");
    // capitals become the console's 128-153, delete becomes backspace
    type_keys("A\x7f");
    EXPECT_EQ(frame_printing(rt), "128:0 8:0 |0 0\n");
    // a key that typed nothing (an arrow) leaves only a marker in the engine's queue
    vullkey_buffer[vullkey_buffer_pos++] = -1;
    type_keys("z");
    EXPECT_EQ(frame_printing(rt), "122:0 |0 0\n");
    EXPECT_EQ(frame_printing(rt), "|0 0\n");
}

TEST_F(DevkitInput, HeldKeysByScancode) {
    rt.run("poke(0x5f2d, 1)\n"
           "function _update() printh(tostr(stat(28, 4))..tostr(stat(28, 5))..stat(28, 'a')) end\n",
           1);
    FakeInput::keys[SDL_SCANCODE_A] = true; // scancode 4
    EXPECT_EQ(frame_printing(rt), "truefalse0\n");
}

TEST_F(DevkitInput, MousePositionButtonsWheelAndMotion) {
    rt.run("poke(0x5f2d, 1)\n"
           "function _update()\n"
           "  printh(stat(32)..' '..stat(33)..' '..stat(34)..' '..stat(35)..' '..stat(36)"
           "..' '..stat(38)..' '..stat(39))\n"
           "end\n",
           1);
    FakeInput::mouse_x = 17;
    FakeInput::mouse_y = 99;
    FakeInput::mouse_buttons = 5;
    FakeInput::wheel_x = 2;
    FakeInput::wheel_y = -1;
    FakeInput::rel_x = 3;
    FakeInput::rel_y = -4;
    // the frame's button read takes the wheel and motion; relative motion
    // needs bit 2 of 0x5f2d as well
    EXPECT_EQ(frame_printing(rt), "17 99 5 2 -1 0 0\n");
    pstate.console_ram[0x5f2d] = 5;
    FakeInput::rel_x = 3;
    FakeInput::rel_y = -4;
    EXPECT_EQ(frame_printing(rt), "17 99 5 0 0 3 -4\n");
}

// The rows that come from the window's events, through SDL's queue and the
// event pump as the player gets them: typed text (30, 31), the wheel (35,
// 36) and the locked mouse's motion (38, 39). The frame's read takes them.
TEST_F(DevkitInput, EventRowsComeThroughTheEventPump) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
    cconfig.headless = 0;
    vull_video_init();
    vull_set_window_size(512, 512);
    ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    int ww = 0, wh = 0;
    SDL_GetWindowSize(sdl_window, &ww, &wh);
    z6_input = z6_platform_input;
    rt.run("poke(0x5f2d, 5)\n"
           "function _update()\n"
           "  local s = '' while stat(30) do s = s..stat(31) end\n"
           "  printh(s..' '..stat(35)..' '..stat(36)..' '..stat(38)..' '..stat(39))\n"
           "end\n",
           1);
    vull_lock_mouse_cursor(1);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_Event e = {};
    e.type = SDL_TEXTINPUT; // a keyboard sends one a character
    for (const char *c : {"h", "i"}) {
        std::snprintf(e.text.text, sizeof e.text.text, "%s", c);
        SDL_PushEvent(&e);
    }
    e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.x = 1;
    e.wheel.y = -2;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_MOUSEMOTION; // each one from the centre the pointer is held at
    e.motion.windowID = SDL_GetWindowID(sdl_window);
    e.motion.x = ww / 2 + 40;
    e.motion.y = wh / 2 - 8;
    SDL_PushEvent(&e);
    e.motion.x = ww / 2 + 2;
    e.motion.y = wh / 2 + 1;
    SDL_PushEvent(&e);
    vull_handle_system_messages();
    EXPECT_EQ(frame_printing(rt), "hi 1 -2 42 -7\n");
    EXPECT_EQ(frame_printing(rt), " 0 0 0 0\n");
    vull_lock_mouse_cursor(0);
    vull_video_exit();
    cconfig.headless = 1;
    SDL_Quit();
}

TEST_F(DevkitInput, ActivityBitsComeFromTheShellsMouseReading) {
    rt.run("poke(0x5f2d, 1)\nfunction _update() printh(stat(37)..' '..stat(37)) end\n", 1);
    process_devkit_mouse_activity(); // the first reading only sets the reference
    pstate.mouse_change = 0;
    FakeInput::mouse_x = 3;
    FakeInput::mouse_buttons = 1;
    process_devkit_mouse_activity();
    EXPECT_EQ(frame_printing(rt), "5 0\n");
}

TEST_F(DevkitInput, ABoardCartIsToldOnceForKeyboardAndMouseTogether) {
    rt.run("function _update() poke(0x5f2d, 1) stat(33) stat(30) end\n", 1);
    std::strcpy(pstate.running_cart_lid, "12345");
    frame_printing(rt);
    EXPECT_STREQ(app.message_text, "devkit mouse enabled");
    app.message_text[0] = 0;
    frame_printing(rt);
    EXPECT_STREQ(app.message_text, ""); // one flag for both notices
    reset_run_chain();
    frame_printing(rt);
    EXPECT_STREQ(app.message_text, "devkit mouse enabled");

    // a cart without an id is never told
    Runtime local;
    app.message_text[0] = 0;
    local.run("poke(0x5f2d, 1) stat(30)\n", 1);
    EXPECT_STREQ(app.message_text, "");
}

TEST_F(DevkitInput, ABoardCartReadingTheKeyboardFirstSeesTheKeyboardNotice) {
    rt.run("function _update() poke(0x5f2d, 1) stat(31) stat(32) end\n", 1);
    std::strcpy(pstate.running_cart_lid, "12345");
    frame_printing(rt);
    EXPECT_STREQ(app.message_text, "devkit keyboard enabled");
}

TEST(PauseMenuBox, TopAndBottomEdgesFollowTheBuiltMenu) {
    Runtime rt;
    reset_run_chain();
    app.run = 0;
    // continue, two cart items, options, reset cart, quit: six items
    std::string out = rt.run("menuitem(1, 'one') menuitem(2, 'two')\n"
                             "printh(stat(12)..' '..stat(13)..' '..stat(14)..' '..stat(15))\n"
                             "menuitem(2)\n"
                             "printh(stat(13)..' '..stat(15))\n",
                             1);
    EXPECT_EQ(out, "23 35 104 92\n39 88\n");
}
