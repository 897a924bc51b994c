// Game controllers: up to eight records, the built-in mapping table and
// sdl_controllers.txt, validated axes and buttons, hot-plugging.
#pragma once
#include <cstdint>

struct _SDL_GameController;
struct _SDL_Joystick;

constexpr int VULL_MAX_CONTROLLERS = 8;
constexpr int VULL_CONTROLLER_AXES = 32;

struct controller_rec {
    _SDL_GameController *controller;       // null when opened as a raw joystick
    _SDL_Joystick *joystick;               // raw joysticks only
    int32_t instance_id;                   // SDL instance id of the device
    int32_t axis_ok[VULL_CONTROLLER_AXES]; // 1 once the axis was seen at rest
    uint32_t button_ok;                    // bit b: button b was seen released
};

extern controller_rec metacon[VULL_MAX_CONTROLLERS];
extern int vull_joystick_inited;
extern const char *const controller_db_mapping[]; // null-terminated

int vull_joystick_init();
int vull_joystick_exit();
int connect_joystick(int n);
int vull_count_joysticks();
void vull_get_joystick(int n, int *x, int *y, uint32_t *buttons);
void vull_get_joystick_axes(int n, int xaxis, int yaxis, int *x, int *y);
int vull_count_joystick_buttons(int n);
void repack_metacon();
void add_sdl_controllers();

// Hot-plugging, called by the event pump. Added: device index; returns the
// record it landed in or -1. Removed: instance id; returns the record index
// that was cleared or -1 when none held it.
int vull_joystick_device_added(int device);
int vull_joystick_device_removed(int32_t instance_id);
