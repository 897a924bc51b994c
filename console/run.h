// Layer console: runtime, API, drawing; calls only cart/, audio/, vm/, engine/, platform/.
// Running a cart: the VM state and its threads, the assembled program text,
// slices within the CPU budget, the frame-rate governor, suspend and the
// performance ring.  The shell's update drives it: pending action -> run_cart
// / suspend_program / reset_lua_machine, then run_slice once a logical frame.
// The fields the shell shares (machine_mode, pending_action, fps, the code
// tabs, last_error_text...) are in cart/state.h.
#pragma once
#include <cstdint>
#include <string>

#include "cart/state.h"
#include "vm/lua.h"

struct vull_bitmap;

constexpr int Z6_CPU_HZ = 0x800000;              // cycles a second of the imaginary CPU
constexpr int Z6_DEFAULT_SLICE_BUDGET = 0x44444; // 0x800000 / 30
constexpr int Z6_MAX_SECTIONS = 8192;            // resumes per host frame

// Performance ring record words (app.perf[i][word]).
enum z6_perf_word {
    Z6_PERF_MEMORY,      // script memory plus overhead, clamped to 0..2 MiB, times 64
    Z6_PERF_SCRIPT_CPU,  // 16.16 fraction of a frame's budget spent by the VM
    Z6_PERF_SYSTEM_CPU,  // 16.16 fraction spent by API calls (spend_cpu)
    Z6_PERF_COLOUR,      // graph colour: 14 lowered, 7 halving requested, else 6
    Z6_PERF_SKIPPED,     // host frames the shell skipped while the record was current
    Z6_PERF_ACCUMULATOR, // the shell's 16.16 frame-pacing accumulator
    Z6_PERF_HOST_FPS,    // host frames per second
    Z6_PERF_SPARE,
};

// The runtime's own state: one global record, owned by console/run*.cpp and
// console/term.cpp.
struct zibo6_run_state {
    lua_State *L0 = nullptr;         // the thread the next slice resumes
    lua_State *L0_cart = nullptr;    // the cart's state (its main thread); kept on suspend
    lua_State *L0_command = nullptr; // thread of typed command lines, same globals
    lua_State *L_guard = nullptr;    // runs collector steps, finalisers and tracebacks protected
    int download_result = 0;  // stat(107): result of the last cart download; load() clears it
    int run_failed = 0;       // the last program failed to start or stopped with an error (exit 1)
    std::string program_text; // the flattened code of the running cart (error lines)

    int gc_strikes = 0;      // frames spent above the memory limit
    int gc_strike_frame = 0; // cart frame of the last strike

    // governor
    uint32_t cpu_mark_cycles[3] = {}; // _mark_cpu: VM cycles since flip
    int cpu_mark_ms[3] = {};          // _mark_cpu: engine milliseconds
    int host_fps_history[Z6_HOST_FPS_HISTORY] = {};
    int32_t cpu_fraction = 0;      // 16.16 script CPU of this frame's update and draw
    int32_t cpu_fraction_prev = 0; // ... and of the previous frame
    int penalty = 0;               // lowering penalty 0..5, stat(10)
    int last_lowering_ms = 0;
    int last_draw_ms = 0; // the shell's last draw time (ms), set by the frame composition
    int last_cdata_save_ms = 0;

    int saved_camera_x = 0; // camera kept by suspend_program for continue_program
    int saved_camera_y = 0;
};
extern zibo6_run_state zrun;

// ---- running (console/run.cpp) ----
void run_cart();                                 // runs the working cart
void run_program(const char *text, int command); // command 0: a cart, else a typed line
void reset_lua_machine();                        // a fresh VM state with the API registered
void reset_runtime_state();                      // draw state, counters and hooks for a new run
void poke_default_registers(); // 0x5f00-0x5f7f as a run starts (reset() too)
void suspend_program();                          // stops the running program
void continue_program();                         // undoes suspend's camera and clip
void merge_code_from_tabs();                     // tabs -> working cart code
void split_code_to_tabs();                       // working cart code -> tabs
const char *get_lid_from_filename(const char *name);
int is_bbs_cart_file(const char *name);
int is_sandboxed_cart_file(const char *name);
lua_State *get_current_L0();
lua_State *set_lua_thread(int command);
int count_visible_tabs(); // tabs up to the last non-empty or the current one
const char *code_tab_text(int i);   // tab i's text, "" when it has none

// Hands the layers below the console what they call of it: the VM its services
// (vm/hooks.h), the cart formats their hooks (cart/hooks.h), the audio engine
// the sound registers (audio/hooks.h); after the audio engine's and the
// engine's own (vull_sound_attach). zibo6_attach_shell calls it.
void zibo6_attach_console();

void zibo6_clear_printh_files(); // console/api_sys.cpp: a new run may write 64 files again
void zibo6_frame_end();          // flip's frame end (also print and stop when they wait)

// ---- slices, budget and governor (console/run_slice.cpp) ----
// One host frame of a running cart within budget cycles (0: the frame's,
// Z6_CPU_HZ / fps); a smaller budget only lets frames span more slices.
void run_slice(int budget = 0);
void run_slice_section();                        // one resume of L0
void update_frame_rate();                        // once per cart frame (_update_framerate)
int32_t cycles_2_frame_capacity(int64_t cycles); // 16.16 fraction of a frame's budget
uint32_t get_cpu_cycles_since_flip(int which);   // 0 the VM's, else the system counter
void zibo6_register_cycles_spent_in_skipped_frames(int n);
void record_resource_data();               // fills the current ring record, advances
void draw_resource_data(vull_bitmap *bmp); // the resource overlay
void draw_cpu_spinner(vull_bitmap *bmp);   // the busy spinner of a long frame
