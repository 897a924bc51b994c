// A scripted input source: keys, controllers and mouse buttons that tests
// set, installed in place of the platform's for the life of the object.
#pragma once
#include <cstring>

#include "console/button.h"

namespace z6input {

struct FakePad {
    int x = 0, y = 0;
    uint32_t buttons = 0;
};

struct FakeInput {
    static inline bool keys[512];
    static inline bool ctrl;
    static inline int mouse_buttons;
    static inline int mouse_x, mouse_y;
    static inline int pads;
    static inline FakePad pad[8];
    static inline int wheel_x, wheel_y, rel_x, rel_y; // taken (and zeroed) by each read

    FakeInput() {
        std::memset(keys, 0, sizeof keys);
        ctrl = false;
        mouse_buttons = mouse_x = mouse_y = 0;
        pads = 0;
        for (FakePad &p : pad) p = {};
        wheel_x = wheel_y = rel_x = rel_y = 0;
        z6_input = {key, joystick, mouse, count, motion};
    }
    ~FakeInput() { z6_input = z6_platform_input; }
    FakeInput(const FakeInput &) = delete;
    FakeInput &operator=(const FakeInput &) = delete;

    static int key(int code) {
        if (code == -5) return ctrl;
        return code >= 0 && code < 512 && keys[code];
    }
    static void joystick(int n, int *x, int *y, uint32_t *b) {
        FakePad p = n >= 0 && n < pads ? pad[n] : FakePad{};
        *x = p.x;
        *y = p.y;
        *b = p.buttons;
    }
    static void mouse(int *x, int *y, int *b) {
        if (x) *x = mouse_x;
        if (y) *y = mouse_y;
        if (b) *b = mouse_buttons;
    }
    static int count() { return pads; }
    static void motion(int *wx, int *wy, int *rx, int *ry) {
        *wx = wheel_x;
        *wy = wheel_y;
        *rx = rel_x;
        *ry = rel_y;
        wheel_x = wheel_y = rel_x = rel_y = 0;
    }
};

} // namespace z6input
