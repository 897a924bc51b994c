// One pass of the event pump, as the pump and the back end that feeds it
// events share it: the typed-key rule with its hot keys, and the keys held.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/hooks.h" // vull_pump_io: the records the pump fills

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
