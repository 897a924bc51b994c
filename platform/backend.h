// The platform's back end: the calls that need a window system, a sound
// device or input devices. Two libraries define them, and a program links one:
// platform_sdl (SDL2: window, renderer, events, controllers, the audio
// device, the clipboard; the player and the window tests) and
// platform_headless (no window, no device, no input; tools and unit tests).
// The rest of the platform layer is shared and reaches the back end through
// these calls and the following ones declared with their families:
//   system.h    vull_system_init, vull_system_exit
//   video.h     vull_video_init_plat, vull_video_exit_plat, vull_set_screen_plat,
//               update_sdl_window_title, vull_is_app_active
//   events.h    vull_get_key_name
//   joystick.h  vull_joystick_init, vull_joystick_exit, vull_count_joysticks,
//               vull_count_joystick_buttons, vull_get_joystick,
//               vull_get_joystick_axes
#pragma once
#include <cstdint>
#include <string>

struct vull_bitmap;
struct vull_pump_pass;
struct vull_script_step;

// ---- window ----
void vull_plat_window_size(int *w, int *h); // the window's size; 0 x 0 without one
// A whole 32-bit picture into the window; changed false: the same pixels as the
// last call's, which a window that still shows them need not be sent again.
void vull_plat_present(const vull_bitmap *pic, bool changed);
void vull_plat_set_icon(vull_bitmap *bmp); // a 32-bit picture, kept for later windows

// ---- input ----
const uint8_t *vull_plat_keyboard(int *count); // key state by scancode; null and 0: none
int vull_plat_modstate();                      // modifier mask in SDL's KMOD_ bits
uint32_t vull_plat_pointer(int *x, int *y);    // window pixels; buttons in SDL's mask bits
void vull_plat_warp_pointer(int x, int y);     // moves the pointer inside the window
void vull_plat_hide_cursor();
void vull_plat_poll_events(vull_pump_pass &pass); // every pending event, through pump.h
// A step of the test input script (platform/script.h) into the event queue,
// as the device would send it; the pointer is where the script has put it.
void vull_plat_push_event(const vull_script_step &step, int pointer_x, int pointer_y);

// ---- audio device ----
// Opens the device for the callback (platform/system.h) and starts it; 0 and
// the rate and channel count obtained, or -1 when there is no device.
using vull_audio_callback = void (*)(void *user, uint8_t *stream, int bytes);
int vull_plat_audio_open(int rate, int channels, int samples, vull_audio_callback callback,
                         int *got_rate, int *got_channels);
void vull_plat_audio_lock(); // the device's own lock, around the callback
void vull_plat_audio_unlock();

// ---- clipboard (UTF-8 text) ----
int vull_plat_clipboard_set(const char *text); // 0, or 1 when there is no clipboard
std::string vull_plat_clipboard_get();         // "" when empty
int vull_plat_clipboard_has();

// ---- errors ----
void vull_plat_print_errors(); // pending back-end errors to standard output
