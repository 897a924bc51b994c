// Buttons: eight players with eight buttons each (left, right, up, down, O,
// X, pause, and an eighth that no input sets), read from the keyboard, the
// game controllers and, in devkit mode, the mouse.  Every device read goes
// through one input source (`z6_input`) so tests can script the devices.
#pragma once
#include <cstdint>

#include "cart/state.h"

// Where the buttons come from.  The default reads the platform layer; tests
// install their own functions (every field must stay non-null).
struct z6_input_source {
    int (*key)(int code); // like vull_get_key_state: scancode or pseudo-code
    void (*joystick)(int n, int *x, int *y, uint32_t *buttons); // left stick and button mask
    void (*mouse)(int *x, int *y, int *buttons);                // back-page pixels, button bits
    int (*count_joysticks)();
    void (*take_motion)(int *wheel_x, int *wheel_y, int *rel_x, int *rel_y); // read and zero
};
extern z6_input_source z6_input;
extern const z6_input_source z6_platform_input; // the platform layer's source

// The tables behind btn and btnp (held itself is pstate.button_held, which
// the memory map shows at 0x5f4c).
struct zibo6_button_state {
    uint8_t previous[Z6_PLAYERS][Z6_BUTTONS];  // held as it stood at the last btnp update
    uint8_t blocked[Z6_PLAYERS][Z6_BUTTONS];   // held from before a block: ignored until released
    uint8_t btnp[Z6_PLAYERS][Z6_BUTTONS];      // result of the last btnp update
    int32_t countdown[Z6_PLAYERS][Z6_BUTTONS]; // btnp updates until the next repeat
    int32_t wheel_x, wheel_y;                  // wheel movement taken at the last read
    int32_t rel_x, rel_y;                      // relative mouse motion taken at the last read
};
extern zibo6_button_state zbtn;

// Game-controller buttons in the platform's mask order.
enum z6_pad_button {
    Z6_PAD_A = 0,
    Z6_PAD_B = 1,
    Z6_PAD_X = 2,
    Z6_PAD_Y = 3,
    Z6_PAD_START = 6,
    Z6_PAD_UP = 11,
    Z6_PAD_DOWN = 12,
    Z6_PAD_LEFT = 13,
    Z6_PAD_RIGHT = 14,
};

void read_buttons();         // one read of all 64 buttons
void update_buttons();       // the per-frame btnp update
void block_buttons();        // buttons held now count only after a release
void clear_buttons_tables(); // everything to zero (a fresh machine)

int first_button_delay();  // btnp updates from a press to its first repeat
int repeat_button_delay(); // btnp updates between repeats

int button_pressed(int b, int p);     // pressed now or at a repeat point
int button_pressed_nok(int b, int p); // the same, counting only the controller
int player_key(int b, int p);         // a key (or devkit mouse button) of b is down
int player_button(int b, int p);      // controller strength 0..255
int is_key_bound(int k);              // k is one of player 0's keys for buttons 0-5
