// What the platform needs from the layers above it, and nothing else: the
// engine's services (log, memory, exit, virtual disk), the options it reads and
// writes back, the input records the event pump fills and the engine's calls on
// pictures. The engine fills all four tables in one call, vull_engine_attach()
// (engine/vull.h), which every program's main makes first, directly or through
// a higher layer's attach. Until then, and in a program without the engine,
// each entry keeps the default its comment gives.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct vull_bitmap;
struct vull_palette_rec;

// ---- services (platform/system.h calls them as vull_plat_log and the rest) ----
struct vull_plat_services {
    void (*log)(const char *text);      // the engine's vull_debug; empty: nothing logged
    void *(*alloc)(int n);              // vull_malloc, zeroed n + 16 bytes; empty: calloc
    void (*release)(void *p);           // vull_free, null accepted; empty: free
    void (*exit)();                     // the exit sequence; empty: none before a fatal end
    int (*vdisk_has)(const char *path); // 1 when the virtual disk opens the path; empty: never
};
// Installs the non-null fields; the others stay as they are.
void vull_plat_set_services(const vull_plat_services &services);
// The services as installed (defaults included), for checking what an attach filled.
const vull_plat_services &vull_plat_get_services();

// ---- the engine's settings ----
// The options and state the platform reads, as pointers to the engine's own
// fields, which keep changing as options are read. Each is filled by
// vull_engine_attach from cconfig (the options) or vull_state; a field left
// empty reads 0 or "" through vull_plat_get and vull_plat_text.
struct vull_plat_settings {
    const int32_t *framebuffer;         // framebuffer mode (counts as active)
    const int32_t *mix_buffer_size;     // the audio device's buffer (0: no device)
    const int32_t *timeout;             // download time-out in seconds (0: 30)
    const int32_t *foreground_sleep_ms; // the pump's sleep while focused
    const int32_t *background_sleep_ms; // and in the background
    const int32_t *emulate_textinput;   // typed text made from key presses
    const int32_t *rmb_key;             // key turning a left click into a right one
    const char *home;                   // per-user folder override
    const char *desktop_path;           // desktop folder override
    const char *app_title;              // names the per-user folder
    // The audio device's format as asked and, once it opened, as granted;
    // empty: not recorded.
    void (*audio_requested)(int rate, int channels);
    void (*audio_granted)(int rate, int channels);

    // The window's (platform/video.h).
    const int32_t *headless; // no window, nothing presented
    const int32_t *windowed, *frameless, *display, *fullscreen_method, *opengl_blit;
    const int32_t *keep_aspect, *show_fps, *log_system_info, *ext_display;
    const int32_t *window_position; // x, y (-1: the window manager decides)
    const int32_t *fullscreen_size; // w, h (0: the desktop's)
    const int32_t *draw_rect;       // x, y, w, h (w or h of 0: none)
    // Written back as well, so never null: until filled they point at
    // spare words of the platform's own.
    int32_t *window_size;      // w, h: the size settled on is stored back
    int32_t *window_size_set;  // 1 once the application chose the window size
    int32_t *software_blit;    // set when no renderer can be made
    int32_t *pixel_perfect;    // 1 on, 0 off, -1 automatic (the ARM build sets it)
    char *const *window_title; // empty or null: the app_title names the window
    FILE *const *log_file;     // log.txt's stream, for the renderer dumps; empty: none
    // The engine state's blit_hook, which presents the back page instead of
    // the back end when set. Nothing in the player sets it; empty or null: the
    // back end presents.
    void (*const *blit_hook)(vull_bitmap *page);
};
extern vull_plat_settings vull_plat_config;
void vull_plat_set_settings(const vull_plat_settings &settings); // installs the non-null fields

// ---- input records of the event pump (platform/pump.h) ----
// The engine's input state that the pump and the back end fill, as pointers to
// the engine's own records (vull_engine_attach: the key arrays, the typed-key
// queue, vull_quit and vull_state's mouse, wheel, controller and dropped-file
// fields). Until filled they point at the platform's own spare records, which
// nothing else reads.
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

// ---- the engine's calls on pictures (platform/video.h) ----
// The video makes its pictures, writes the frame rate and blits the back page
// with these; vull_engine_attach fills them with the engine's bitmap, blit and
// text calls. Until then no picture is made and nothing is drawn: every entry
// holds a do-nothing default (pixel_perfect the back end's own), never null.
struct vull_video_funcs {
    vull_bitmap *(*create_bitmap)(int width, int height, int bpp); // null: not made
    int (*destroy_bitmap)(vull_bitmap *bmp);                       // null accepted
    void (*clear_bitmap)(vull_bitmap *bmp);
    vull_palette_rec *(*create_palette)(); // 768 zero bytes
    int (*destroy_palette)(vull_palette_rec *pal);
    // The engine blit; onto the screen record it ends in vull_blit_to_video_plat.
    void (*blit)(const vull_bitmap *src, vull_bitmap *dst, int sx, int sy, int dx, int dy, int w,
                 int h);
    int (*pixel_perfect)(); // whole-pixel scaling as the engine decides it
    // Text in the engine's font 1 or 2.
    void (*draw_text)(vull_bitmap *bmp, const char *text, int font, int x, int y);
    void (*draw_text_phat)(vull_bitmap *bmp, const char *text, int font, int x, int y, int flags,
                           uint32_t outline, uint32_t colour);
    // The engine's pictures that end with the video: its mouse cursor and
    // its enlarged copy of the page.
    void (*cursor_exit)();
    void (*preblit_exit)();
};
extern vull_video_funcs vull_video_engine;                // every field set, never null
void vull_video_set_funcs(const vull_video_funcs &funcs); // installs the non-null fields
