// Layer engine: loop, log, config, memory, files, pods, bitmaps, text; calls only platform/.
// Engine frame loop, start-up and exit, engine state and the indented log.
//
// The application hands its four callbacks to vull_set_app_funcs before
// vull_main(), which calls them around the platform's event pump and brings
// every engine service up and down in a fixed order.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "engine/hooks.h"

struct vull_bitmap;

// A 32-bit word shared with the audio thread: relaxed loads and stores, but
// copyable and assignable like a plain int so records holding it can still be
// copied whole and reset with `rec = {}` (never memset one).
struct vull_atomic_int {
    std::atomic<int32_t> v{0};

    vull_atomic_int() = default;
    vull_atomic_int(int32_t x) : v(x) {}
    vull_atomic_int(const vull_atomic_int &o) : v(o.load()) {}
    vull_atomic_int &operator=(const vull_atomic_int &o) {
        store(o.load());
        return *this;
    }
    vull_atomic_int &operator=(int32_t x) {
        store(x);
        return *this;
    }
    operator int32_t() const { return load(); }
    int32_t load() const { return v.load(std::memory_order_relaxed); }
    void store(int32_t x) { v.store(x, std::memory_order_relaxed); }
    // Only the main thread writes these words, so read-modify-write needs no CAS loop.
    vull_atomic_int &operator+=(int32_t d) {
        store(load() + d);
        return *this;
    }
    vull_atomic_int &operator-=(int32_t d) {
        store(load() - d);
        return *this;
    }
    vull_atomic_int &operator++() { return *this += 1; }
    vull_atomic_int &operator--() { return *this -= 1; }
};

constexpr int VULL_TITLE_LEN = 256; // application and window title buffers
constexpr int VULL_PATH_LEN = 1024; // engine path length: 1023 characters + NUL
constexpr int VULL_ARGV0_LEN = 512; // copy of the program path

// The engine state: one instance, reset by vull_init.
struct vull_state_rec {
    char
        app_title[VULL_TITLE_LEN]; // application title; names the per-user folder, heads config.txt
    char window_title[VULL_TITLE_LEN];    // current window title text
    char *window_title_ptr;               // points at window_title once a title is set (null: none)
    FILE *log_file;                       // stream of log.txt (null: not open, log writes nothing)
    int32_t wheel_x, wheel_y;             // wheel movement accumulated by the event pump
    int32_t wheel_x2, wheel_y2;           // copies of the wheel movement, consumed by the GUI pass
    int32_t mouse_rel_x, mouse_rel_y;     // locked-mouse movement since last read
    int32_t mouse_total_x, mouse_total_y; // locked-mouse movement accumulated
    int32_t click_button;                 // a click injected by the event pump for the GUI pass
    int32_t click_time;                   // when that click happened (ms)
    int32_t mouse_locked;                 // mouse captured in relative mode
    vull_atomic_int paused;       // written only by vull_set_paused; read by the mixer thread
    vull_atomic_int sound_paused; // counter kept by the console runtime; read by the mixer thread
    int32_t mouse_key_left, mouse_key_right; // keys acting as mouse buttons
    int32_t window_size_set;                 // 1 once the application chose a window size
    vull_atomic_int audio_recording; // audio capture switch of the audio engine
    vull_atomic_int patterns_played; // patterns played since the song started (mixer thread)
    vull_atomic_int song_pattern;    // current song pattern, -1 none (mixer thread)
    void (*blit_hook)(vull_bitmap *bmp); // presents instead when set (never set; platform/hooks.h)
    int32_t audio_freq_requested;            // sample rate asked of the audio device
    int32_t audio_channels_requested;        // channel count asked of the audio device
    vull_atomic_int audio_freq;       // sample rate the device granted (read by the mixer thread)
    vull_atomic_int audio_channels;   // channel count the device granted (read by the mixer thread)
    int32_t controller_added;         // 0x100 + index of the last controller connected (0: none)
    int32_t controller_removed;       // 0x100 + index of the last controller removed (0: none)
    char dropped_file[VULL_PATH_LEN]; // path of a file dropped on the window; empty when none
};

extern vull_state_rec vull_state;

extern int vull_argc; // command line as handed to vull_main
extern char **vull_argv;
extern char vull_argv0[VULL_ARGV0_LEN]; // copy of argv[0]
extern int vull_quit;                   // the loop ends after a pass that leaves it non-zero
extern int vull_inited;                 // 1 between vull_init and the start of the exit sequence
extern int vull_console;                // skip platform, GUI, keys, text, video, mouse, joysticks
extern int vull_items_created;          // live engine records: created minus destroyed
extern int vull_start_time;             // platform clock (ms) when start-up reset the timer
extern char app_title_pending[VULL_TITLE_LEN]; // title taken by the next vull_init
extern int vull_debug_indentation;             // log nesting level
extern int print_debug_timestamp;              // 1 when the next log message starts a new line
extern char vull_debug_string[4096]; // shared scratch text for formatting log lines (use snprintf)
extern int vull_processing_gui;      // re-entry guard of the GUI pass
extern int vull_last_mouse_x, vull_last_mouse_y; // mouse position sampled each pass

// Fills the platform's tables (platform/hooks.h) with the engine's services,
// options, input records and picture calls. Every program that links the
// engine calls it first, in its main (a higher layer's attach call makes it
// too); vull_init refuses to start without it.
void vull_engine_attach();
bool vull_engine_attached();
// Says, on standard error and in the log, that what needs the hooks of
// attach_call found them empty; the caller then fails.
void vull_missing_attach(const char *what, const char *attach_call);
// The same for a table entry that no attach call filled, which has nothing to
// return: says so and ends the program with status 1.
[[noreturn]] void vull_unattached_hook(const char *table, const char *attach_call);

// What a hook table holds until its attach call fills it: for an entry of type
// F, vull_unattached<F>::call<TABLE, ATTACH> names the table and the missing
// call instead of calling through a null pointer.
template <typename F> struct vull_unattached;
template <typename R, typename... A> struct vull_unattached<R (*)(A...)> {
    template <const char *Table, const char *Attach> static R call(A...) {
        vull_unattached_hook(Table, Attach);
    }
};

int vull_main(int argc, char **argv); // runs the program; 0, or 128 + a quit signal's number
int vull_init();                      // start-up; 0 always (nothing when already initialised)
int vull_exit();                      // exit sequence when initialised; 0
int vull_restart();                   // exit, then vull_main_init again
void vull_set_application_title(const char *text);
void vull_set_window_title(const char *text); // null clears the title
int vull_handle_messages();                   // one service pass without drawing; the pump's result
void vull_skip_frame();                       // this pass skips draw and presentation
void vull_set_paused(int flag);
void vull_console_program();
void vull_set_argv0(const char *path);
int vull_reset_timer();
int vull_get_elapsed_time();

// log.txt and its one older generation, log.old.txt, hold at most this many
// bytes together: a message that would take log.txt past half of it first
// moves log.txt over log.old.txt. Start-up empties log.txt and removes log.old.txt.
constexpr int64_t VULL_LOG_MAX_BYTES = int64_t(8) << 20;

// Appends to log.txt: a leading "<" closes a nesting level before the line, a
// leading ">" opens one after it; each new line starts with a "[%06d] " stamp.
void vull_debug(const char *text);
// Formats into vull_debug_string (cut to its size) and appends that as vull_debug does.
void vull_debugf(const char *format, ...) __attribute__((format(printf, 1, 2)));
