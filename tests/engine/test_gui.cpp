// Keyboard state, the typed-key queue and the GUI element pass, driven by an
// injected clock and pointer over a 128 x 128 window showing a 128 x 128 page
// (so window and page pixels coincide).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/vull.h"
#include "platform/events.h"
#include "platform/video.h"

namespace {

uint64_t fake_now;
int fake_mx, fake_my;
uint32_t fake_buttons;

struct msg {
    vull_gui_element *e;
    int message, x, y, buttons;
};
std::vector<msg> seen;

int record(vull_gui_element *e, int x, int y, int buttons, int message) {
    seen.push_back({e, message, x, y, buttons});
    return 0;
}

std::vector<int> messages_of(vull_gui_element *e) {
    std::vector<int> m;
    for (auto &s : seen)
        if (s.e == e) m.push_back(s.message);
    return m;
}

struct GuiTest : ::testing::Test {
    void SetUp() override {
        vull_config_default();
        vull_state = {};
        vull_keys_init();
        vullkey_buffer_pos = 0;
        vull_gui_init();
        vull_gui_clear();
        seen.clear();
        fake_now = 50000;
        fake_mx = fake_my = 0;
        fake_buttons = 0;
        vull_events_hook.now = [] { return fake_now; };
        vull_events_hook.mouse = [](int *x, int *y) {
            *x = fake_mx;
            *y = fake_my;
            return fake_buttons;
        };
        vull_video_init();
        vull_set_window_size(128, 128);
        ASSERT_EQ(vull_set_screen(128, 128, 8, 4), 0);
    }
    void TearDown() override {
        vull_gui_exit();
        vull_video_exit();
        vull_events_hook = {};
    }

    // One pass with the pointer at (x, y) and these buttons, dt ms later.
    static void pass(int x, int y, uint32_t buttons, int dt = 16) {
        fake_now += uint64_t(dt);
        fake_mx = x;
        fake_my = y;
        fake_buttons = buttons;
        seen.clear();
        vull_process_gui();
    }
};

TEST_F(GuiTest, KeyStates) {
    vullkey[4] = 1; // pressed this frame
    EXPECT_EQ(vull_get_key_state(4), 3);
    last_vullkey[4] = 1;
    EXPECT_EQ(vull_get_key_state(4), 1);
    vullkey[4] = 3; // repeat tick
    EXPECT_EQ(vull_get_key_state(4), 3);
    block_vullkey[4] = 1;
    EXPECT_EQ(vull_get_key_state(4), 0);
    vullkey[4] = 0;
    block_vullkey[4] = 0;
    EXPECT_EQ(vull_get_key_state(4), 0);

    EXPECT_EQ(vull_get_key_state(VULL_KEY_CTRL), 0);
    vullkey[501] = 1; // only a GUI key
    EXPECT_NE(vull_get_key_state(VULL_KEY_CTRL), 0);
    EXPECT_NE(vull_get_key_state(VULL_KEY_GUI), 0);
    EXPECT_EQ(vull_get_key_state(VULL_KEY_SHIFT), 0);
    EXPECT_EQ(vull_get_key_state(VULL_KEY_EXTRA), 0);
    EXPECT_EQ(vull_get_key_state(-7), 0);
    EXPECT_EQ(vull_get_key_state(512), 0);

    vull_keys_init();
    vullkey[57] = 1; // Caps Lock alone is no key
    EXPECT_EQ(vull_get_any_key_down(), 0);
    vullkey[10] = 1;
    vullkey[300] = 1;
    EXPECT_EQ(vull_get_any_key_down(), 10);
}

TEST_F(GuiTest, TypedKeyQueue) {
    EXPECT_EQ(vull_keypressed(), 0);
    for (int k : {13, int('a'), -1}) vullkey_buffer[vullkey_buffer_pos++] = k;
    EXPECT_EQ(vull_keypressed(), 1);
    EXPECT_EQ(vull_readkey(), 13);
    EXPECT_EQ(vull_readkey(), 'a');
    EXPECT_EQ(vull_readkey(), -1);
    EXPECT_EQ(vull_keypressed(), 0);
    // Nothing will come while quitting: no endless wait.
    vull_quit = 1;
    EXPECT_EQ(vull_readkey(), 0);
    vull_quit = 0;
}

TEST_F(GuiTest, SlotsAndLookups) {
    EXPECT_EQ(vull_gui_cursor_element(), -1);
    for (int i = 0; i < VULL_GUI_ELEMENTS; i++)
        ASSERT_EQ(vull_add_guie(nullptr, 0, 0, 1, 1, 1, nullptr), i);
    EXPECT_EQ(vull_add_guie(nullptr, 0, 0, 1, 1, 1, nullptr), -1); // full is not slot 0
    EXPECT_EQ(vull_gui_num_elements(), VULL_GUI_ELEMENTS);
    vull_delete_guie(5);
    vull_delete_guie(5);
    vull_delete_guie(-3);
    vull_delete_guie(5000);
    EXPECT_EQ(vull_gui_num_elements(), VULL_GUI_ELEMENTS - 1);
    EXPECT_EQ(vull_add_guie(nullptr, 0, 0, 1, 1, 1, nullptr), 5);
    EXPECT_EQ(vull_get_gui_element(1024), nullptr);
    EXPECT_EQ(vull_get_gui_element(-1), nullptr);

    // The hovered element in the highest slot in use, whatever the count.
    vull_gui_clear();
    int a = vull_add_guie(nullptr, 0, 0, 10, 10, 1, record);
    int b = vull_add_guie(nullptr, 0, 0, 10, 10, 1, record);
    int c = vull_add_guie(nullptr, 50, 50, 10, 10, 1, record);
    vull_delete_guie(a);
    vull_get_gui_element(c)->flags |= VULL_GUIF_HOVER;
    vull_get_gui_element(b)->flags |= VULL_GUIF_HOVER;
    EXPECT_EQ(vull_gui_cursor_element(), c);

    vull_gui_message(a, 42); // not in use: ignored
    vull_gui_message_ex(b, 42, 1, 2, 3);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].x, 1);
    EXPECT_EQ(seen[0].buttons, 3);
}

TEST_F(GuiTest, PassSendsTheMouseStory) {
    vull_bitmap *target = vull_create_bitmap(256, 16, 8); // radius 4
    int s = vull_add_guie(target, 10, 10, 20, 20, 1, record);
    vull_gui_element *e = vull_get_gui_element(s);

    pass(0, 0, 0);
    EXPECT_TRUE(seen.empty());
    pass(15, 15, 0);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_OVER, VULL_GUIM_ENTER}));
    pass(15, 15, 1);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_PRESS, VULL_GUIM_DRAG}));
    pass(16, 15, 0, 100);
    EXPECT_EQ(messages_of(e),
              (std::vector<int>{VULL_GUIM_RELEASE, VULL_GUIM_CLICK, VULL_GUIM_DROP}));
    // A second press nearby within 400 ms is a double click.
    pass(16, 16, 1, 100);
    EXPECT_EQ(messages_of(e),
              (std::vector<int>{VULL_GUIM_PRESS, VULL_GUIM_DOUBLE_CLICK, VULL_GUIM_DRAG}));
    pass(16, 16, 0);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_RELEASE, VULL_GUIM_CLICK,
                                                VULL_GUIM_DOUBLE_RELEASE, VULL_GUIM_DROP}));
    // A slow press is no double click.
    pass(16, 16, 1, 1000);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_PRESS, VULL_GUIM_DRAG}));
    pass(16, 16, 0, 1000);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_RELEASE, VULL_GUIM_DROP}));

    // Wheel movement goes to the element under the pointer, then is used up.
    vull_state.wheel_x2 = 1;
    vull_state.wheel_y2 = -3;
    pass(16, 16, 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].message, VULL_GUIM_WHEEL);
    EXPECT_EQ(seen[1].x, 1);
    EXPECT_EQ(seen[1].y, -3);
    EXPECT_EQ(vull_state.wheel_y2, 0);

    // A click the pump caught within one pass reaches the hovered element.
    vull_state.click_button = 1;
    vull_state.click_time = int32_t(fake_now);
    pass(16, 16, 0, 100);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_OVER, VULL_GUIM_CLICK}));
    EXPECT_EQ(vull_state.click_button, 0);

    pass(100, 100, 0);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_LEAVE}));
    vull_destroy_bitmap(target);
}

TEST_F(GuiTest, NoTargetMeansNoDoubleClick) {
    int s = vull_add_guie(nullptr, 0, 0, 50, 50, 1, record);
    vull_gui_element *e = vull_get_gui_element(s);
    pass(5, 5, 1);
    pass(5, 5, 0);
    pass(5, 5, 1);
    EXPECT_EQ(messages_of(e), (std::vector<int>{VULL_GUIM_PRESS, VULL_GUIM_DRAG}));
}

TEST_F(GuiTest, StackingElevationAndKeys) {
    int low = vull_add_guie(nullptr, 0, 0, 50, 50, 7, record);
    int high = vull_add_guie(nullptr, 0, 0, 50, 50, 4, record);
    vull_gui_element *el = vull_get_gui_element(low), *eh = vull_get_gui_element(high);
    pass(5, 5, 0);
    EXPECT_TRUE(messages_of(el).empty()); // the later one lies on top
    EXPECT_FALSE(messages_of(eh).empty());
    vull_gui_elevate_element(el);
    pass(5, 5, 0);
    EXPECT_EQ(messages_of(el), (std::vector<int>{VULL_GUIM_OVER, VULL_GUIM_ENTER}));
    EXPECT_EQ(messages_of(eh), (std::vector<int>{VULL_GUIM_LEAVE}));

    seen.clear();
    vull_gui_key_event('k'); // type 7 always, type 4 only with the focus
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].e, el);
    EXPECT_EQ(seen[0].message, VULL_GUIM_KEY);
    EXPECT_EQ(seen[0].x, 'k');
    vull_gui_set_keyboard_focus(eh);
    EXPECT_EQ(vull_gui_get_keyboard_focus(), eh);
    seen.clear();
    vull_gui_key_event('k');
    EXPECT_EQ(seen.size(), 2u);

    seen.clear();
    vull_gui_broadcast(77, 4);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].e, eh);
}

} // namespace
