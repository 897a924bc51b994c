// One pass of the event pump, as the pump and the back end that feeds it
// events share it: the typed-key rule with its hot keys, and the keys held.
#pragma once
#include <cstdint>

#include <cstddef>

// Scancodes the pump itself looks at (the engine's key entries).
constexpr int VULL_SC_RETURN = 40, VULL_SC_F4 = 61, VULL_SC_F11 = 68;
constexpr int VULL_SC_LCTRL = 224, VULL_SC_LSHIFT = 225, VULL_SC_LALT = 226,
              VULL_SC_RCTRL = 228, VULL_SC_RSHIFT = 229, VULL_SC_RALT = 230;
constexpr int VULL_SC_LGUI = 500, VULL_SC_RGUI = 501; // the engine's own, not SDL's 227/231
// Modifier bits of vull_plat_modstate (SDL's KMOD_ values).
constexpr int VULL_MOD_LCTRL = 0x40, VULL_MOD_RCTRL = 0x80, VULL_MOD_LALT = 0x100,
              VULL_MOD_RALT = 0x200, VULL_MOD_LGUI = 0x400, VULL_MOD_RGUI = 0x800;
// Pointer button bits of vull_plat_pointer (SDL's button masks).
constexpr uint32_t VULL_POINTER_LEFT = 1, VULL_POINTER_MIDDLE = 2, VULL_POINTER_RIGHT = 4;

constexpr int VULL_PLAT_NUM_KEYS = 512;  // entries of each key array
constexpr int VULL_PLAT_KEY_BUFFER = 32; // entries of the typed-key queue

// The engine's input state that the pump and the back end fill, as pointers to
// the engine's own records; the engine installs them as its objects start.
// Until then they point at the platform's own spare records.
struct vull_pump_state {
    uint8_t *keys;                    // 0 up, 1 held, 3 pressed this pass (or a repeat tick)
    uint8_t *last_keys;               // the previous pass's states
    uint8_t *blocked_keys;            // 1: reads as up until released
    int32_t *typed;                   // typed-key queue, oldest first
    int *typed_count;                 // entries in the queue
    int *quit;                        // set when the window is closed
    int *last_mouse_x, *last_mouse_y; // the position sampled each pass
    int32_t *mouse_locked, *mouse_key_left, *mouse_key_right;
    int32_t *mouse_rel_x, *mouse_rel_y, *mouse_total_x, *mouse_total_y;
    int32_t *click_button, *click_time;
    int32_t *wheel_x, *wheel_y, *wheel_x2, *wheel_y2;
    int32_t *controller_added, *controller_removed;
    char *dropped_file; // of dropped_file_size bytes
    size_t dropped_file_size;
};
extern vull_pump_state vull_pump_io;
void vull_pump_set_state(const vull_pump_state &state); // installs the non-null fields

struct vull_pump_pass {
    uint64_t now;
    bool queued;      // a code was queued during this pass
    bool button_down; // a mouse button went down during this pass
    char typed[64];   // emulated text input, appended after the events
    int ntyped;
};

inline bool vull_key_held(int sc) {
    return sc > 0 && sc < VULL_PLAT_NUM_KEYS && vull_pump_io.keys[sc] != 0;
}
inline bool vull_ctrl_held() { return vull_key_held(VULL_SC_LCTRL) || vull_key_held(VULL_SC_RCTRL); }
inline bool vull_alt_held() { return vull_key_held(VULL_SC_LALT) || vull_key_held(VULL_SC_RALT); }
inline bool vull_shift_held() {
    return vull_key_held(VULL_SC_LSHIFT) || vull_key_held(VULL_SC_RSHIFT);
}

// A typed code into the queue, unless it is a hot key (full screen, quit).
void vull_pump_queue_code(vull_pump_pass &p, int code);
// The quit event: the exit sequence, then the process ends (or the test's hook).
void vull_pump_quit();
