// Event pump: sleep, keyboard sampling with the engine's own key repeat, the
// typed-key queue and hot keys, mouse position in back-page pixels, wheel,
// clicks, focus, quit, controller hot-plugging and dropped files.
#pragma once
#include <cstdint>

// One pump pass; called once per pass of the main loop. Returns 0 (a quit
// event or a quit hot key ends the process inside it).
int vull_handle_system_messages();
// Nothing is due for ms milliseconds: the next pass sleeps that long instead
// of the configured sleep when it is longer (at most VULL_MAX_IDLE_MS).
void vull_pump_idle_for(int ms);
constexpr int VULL_MAX_IDLE_MS = 100;

// SDL's name of a scancode in capitals, "?" when it has none. Shared buffer.
const char *vull_get_key_name(int scancode);

void vull_get_mouse(int *x, int *y, int *buttons); // any pointer may be null
void vull_lock_mouse_cursor(int lock);
void vull_get_mouse_deltas(int *dx, int *dy);
void vull_set_mouse(int x, int y);

// Mouse globals: the position while locked and a position imposed by vull_set_mouse.
extern int virtual_mx, virtual_my;
extern int use_warped_mxy, warped_mx, warped_my, pre_warp_mx, pre_warp_my;

// Key-repeat and shortcut timers (ms on the pump's clock).
extern uint64_t next_press_t;         // when held keys next repeat; shared by all keys
extern uint64_t last_ctrl_keypress_t; // last processed typed key
extern uint64_t last_inactive_time;   // when the window last became active

// What the pump samples. Every hook left null uses SDL; tests install their
// own clock and key state because events pushed into SDL do not change it.
struct vull_events_hooks {
    uint64_t (*now)();                  // milliseconds
    const uint8_t *(*keyboard)(int *n); // like SDL_GetKeyboardState
    int (*modstate)();                  // like SDL_GetModState
    uint32_t (*mouse)(int *x, int *y);  // like SDL_GetMouseState (window pixels, button mask)
    void (*sleep)(uint32_t ms);         // like SDL_Delay
    void (*quit)();                     // runs the exit and ends the process
};
extern vull_events_hooks vull_events_hook;

// The pump's clock in milliseconds (64-bit, so it never wraps); the GUI pass
// times clicks on it too.
uint64_t vull_pump_time();
