// Engine configuration record, config.txt and the engine's command-line options.
//
// Start-up fills `cconfig` in layers: defaults, command line, config.txt, the
// command line again. `cconfig0` holds the defaults plus config.txt only (every
// key read from the file goes into both records); config.txt is written back
// mostly from it, so command-line overrides are not kept.
#pragma once
#include <cstdint>
#include <string>
#include "engine/vull.h"

struct vull_file;

// The largest config.txt read: the player writes about 4 KB; a larger file is not read.
constexpr int64_t VULL_CONFIG_FILE_MAX = 1 << 20;

struct vull_config_rec {
    int32_t config_read;              // 1 once a config.txt has been read
    int32_t screen_size[2];           // screen width, height in pixels (0: the application chooses)
    int32_t screen_depth;             // bits per pixel; nothing reads it
    int32_t window_size[2];           // window width, height (0: platform default)
    int32_t windowed;                 // 1 windowed, 0 full screen
    vull_atomic_int sound_volume;     // 0..256 (256 unity); read by the mixer thread
    vull_atomic_int music_volume;     // 0..256; read by the mixer thread
    int32_t foreground_sleep_ms;      // sleep each frame while focused, 0..200
    int32_t background_sleep_ms;      // sleep each frame in the background, 0..200
    int32_t emulate_textinput;        // make typed text from key presses
    int32_t frameless;                // window without a frame
    int32_t window_position[2];       // window x, y (-1, -1: the window manager decides)
    int32_t display;                  // display index (-1: automatic)
    int32_t fullscreen_size[2];       // preferred full-screen window size (nothing sets it)
    int32_t mix_buffer_size;          // mixing buffer in samples, 512..8192 (0: no sound device)
    int32_t windib;                   // stored, not used
    int32_t opengl_blit_key;          // config key opengl_blit: stored, not used
    int32_t show_fps;                 // draw the frame rate in the corner
    int32_t pod_compression;          // compress POD chunks when writing
    int32_t large_window;             // stored, not used
    vull_atomic_int console_sound;    // set to 1 by the console once it opened sound (mixer reads)
    int32_t rmb_key;                  // scancode turning a left click into a right click (0 none)
    int32_t fullscreen_method;        // 0 maximised, 1 borderless desktop-sized, 2 hardware
    int32_t software_blit;            // software presentation
    int32_t preblit_scale;            // pre-blit scale 0..8
    int32_t opengl_blit;              // present through a GL context (nothing sets it)
    int32_t pixel_perfect;            // integer scaling: 1 on, 0 off, -1 automatic
    int32_t keep_aspect;              // keep the aspect ratio when scaling
    int32_t draw_rect[4];             // fixed destination x, y, w, h (used when w and h > 0)
    int32_t sessions;                 // number of runs
    int32_t timeout;                  // download time-out in seconds, 1..240
    int32_t headless;                 // no window, no sound device, nothing presented
    int32_t framebuffer;              // framebuffer mode (implies headless)
    int32_t perf_timing;              // perf report period in passes (0 off)
    char home[VULL_PATH_LEN];         // per-user folder override (empty: default)
    char desktop_path[VULL_PATH_LEN]; // screenshots and recordings (empty: $HOME/Desktop)
    int32_t deferred_dealloc;         // the allocator never releases memory
    int32_t ext_display;              // external display choice
    int32_t cabinet;                  // arcade cabinet detected (ARM build; nothing reads it)
    int32_t log_system_info;          // log system information at start-up
    int32_t accept_future;            // accept carts of future format versions (set by the console)
};

extern vull_config_rec cconfig;  // live settings
extern vull_config_rec cconfig0; // defaults + config.txt, the source of most written keys

void vull_config_default();                         // reset cconfig to the defaults
// Applies the engine's options to cconfig. Returns the name of the first folder option
// (home, desktop) too long to be used, which is left empty; else null.
const char *vull_process_arguments(int argc, char **argv);
// A folder option that cannot be used: says so on standard error and ends the program with
// status 1. Called before anything is written, so the run never puts the user's files in
// a folder they did not name.
[[noreturn]] void vull_refuse_folder_option(const char *name);
// How many arguments after argv[i] the engine's option argv[i] takes as its
// values (0 for a flag or when no value follows), or -1 when argv[i] names no
// engine option. The console's own scan skips exactly these.
int vull_option_value_count(int argc, char **argv, int i);
void vull_config_load();                            // read config.txt into cconfig and cconfig0
// Writes config.txt: 0, or 1 when the old one was kept (write failed). A config.txt that
// was there but not read at start is left as it is (0).
int vull_config_save();

// Path settings (root_path, cdata_path, desktop_path) longer than the engine's path records
// take are not cut into another path: vull_path_fits says whether the text fits whole, and
// vull_config_path_too_long says (log and standard error) that the setting is not used this
// run and keeps its text in kept, so config.txt is written back as the user wrote it.
// room: characters the folder must leave free for the names put under it.
bool vull_path_fits(const char *text, int room = 0);
// The longest name the player makes under the per-user folder: the cart data of a
// 64-character id, "cdata/<id>.z6d.txt" (every fixed name there is shorter). A -home
// without room for it is refused at start.
constexpr int VULL_USER_NAME_MAX = 78;
void vull_config_path_too_long(const char *key, const char *text, std::string &kept);

// A copy of text without leading and trailing control characters and blanks,
// in a shared buffer that the next call replaces. Bytes from 128 up are kept
// (they are UTF-8). Null gives null.
char *vull_trim(const char *text);
