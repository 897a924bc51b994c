// Running a cart: the VM state and its threads, the assembled program text,
// slices within the CPU budget, the frame-rate governor, suspend and the
// performance ring.  The shell's update drives it: pending action -> run_cart
// / suspend_program / reset_lua_machine, then run_slice once a logical frame.
#pragma once
#include <cstdint>
#include <string>

#include "vm/lua.h"

struct vull_bitmap;
struct ctext;

constexpr int Z6_CODE_TABS = 16;
constexpr int Z6_CODE_CHAR_LIMIT = 65536; // flattened cart code, characters
constexpr int Z6_TOKEN_LIMIT = 8192;
constexpr int Z6_MEMORY_LIMIT = 0x204000;      // script memory plus code overhead
constexpr int Z6_CPU_HZ = 0x800000;            // cycles a second of the imaginary CPU
constexpr int Z6_DEFAULT_SLICE_BUDGET = 0x44444; // 0x800000 / 30
constexpr int Z6_PERF_RECORDS = 64;
constexpr int Z6_HOST_FPS_HISTORY = 30;

// One record of the performance ring (eight words, the last one spare).
struct zibo6_perf_record {
    int32_t memory;         // script memory plus overhead, clamped to 0..2 MiB, times 64
    int32_t script_cpu;     // 16.16 fraction of a frame's budget spent by the VM
    int32_t system_cpu;     // 16.16 fraction spent by API calls (spend_cpu)
    int32_t colour;         // graph colour: 14 lowered, 7 halving requested, else 6
    int32_t skipped_frames; // host frames the shell skipped while this record was current
    int32_t accumulator;    // the shell's 16.16 frame-pacing accumulator
    int32_t host_fps;       // host frames per second
    int32_t spare;
};
static_assert(sizeof(zibo6_perf_record) == 32, "eight words a record");

// The runtime's own state: one global record, owned by console/run and
// console/term.  Fields the shell reads are noted.
struct zibo6_run_state {
    lua_State *L0 = nullptr;         // the thread the next slice resumes
    lua_State *L0_cart = nullptr;    // the cart's state (its main thread); kept on suspend
    lua_State *L0_command = nullptr; // thread of typed command lines, same globals
    int compiling_program = 0;       // 1 while the assembled text compiles (allocator charges nothing)
    int memory_overhead = 0;         // 12 per token of the running cart's code
    int cpu_refund_enabled = 1;      // 0 when the cart's own code names __refund_cpu__
    int cart_resumable = 0;          // 1 from run_cart until the main chunk returns
    int frame_step_mode = 0;         // 1 while the cart runs one frame at a time
    int cart_has_draw = 0;           // the code contains " _draw" (spinner)
    int program_stopped_flag = 0;    // set by a syntax error and by suspend_program
    std::string last_error_text;     // every error line since the last run, newline-ended

    // frame rate and governor
    int target_fps = 30;             // stat(8); the current rate is pstate.fps (stat(7))
    int memory_yield_requested = 0;  // set by the allocator when the soft limit is crossed
    int gc_strikes = 0;              // frames spent above the memory limit
    int gc_strike_frame = 0;         // cart frame of the last strike
    uint32_t cpu_mark_cycles[3] = {};
    int cpu_mark_ms[3] = {};
    int host_fps_history[Z6_HOST_FPS_HISTORY] = {};
    int32_t cpu_fraction = 0;        // 16.16 script CPU of this frame's update and draw
    int32_t cpu_fraction_prev = 0;   // ... and of the previous frame
    int penalty = 0;                 // lowering penalty 0..5, stat(10)
    int last_lowering_ms = 0;
    int last_draw_ms = 0;            // the shell's last draw time, added to the host time test
    int last_cdata_save_ms = 0;

    // performance ring
    zibo6_perf_record perf[Z6_PERF_RECORDS] = {};
    int perf_index = 0;              // the record being filled; the oldest is the next one

    int32_t time_ticks = 0;          // sixtieths of a second of cart time (time())
};
extern zibo6_run_state zrun;

// ---- running (console/run.cpp) ----
void run_cart();                                   // runs the working cart
void run_program(const char *text, int command);   // command 0: a cart, else a typed line
void reset_lua_machine();                          // a fresh VM state with the API registered
void reset_runtime_state();                        // draw state, counters and hooks for a new run
void suspend_program();                            // stops the running program
void continue_program();                           // undoes suspend's camera and clip
void merge_code_from_tabs();                       // tabs -> working cart code
void split_code_to_tabs();                         // working cart code -> tabs
const char *get_lid_from_filename(const char *name);
int is_bbs_cart_file(const char *name);
int is_sandboxed_cart_file(const char *name);
lua_State *get_current_L0();
lua_State *set_lua_thread(int command);

// The 16 code tabs and the current one (created by the shell at start-up).
extern ctext *code_tabs[Z6_CODE_TABS];
extern int current_code_tab;
int count_visible_tabs();                          // tabs up to the last non-empty or current one

// ---- slices, budget and governor (console/run_slice.cpp) ----
void run_slice();                                  // one host frame of a running cart
void run_slice_section();                          // one resume of L0
void update_frame_rate();                          // once per cart frame (_update_framerate)
int32_t cycles_2_frame_capacity(int64_t cycles);   // 16.16 fraction of a frame's budget
uint32_t get_cpu_cycles_since_flip(int which);     // 0 the VM's, else the system counter
void zibo6_register_cycles_spent_in_skipped_frames(int n);
void record_resource_data();                       // fills the current ring record, advances
void draw_resource_data(vull_bitmap *bmp);         // the resource overlay
void draw_cpu_spinner(vull_bitmap *bmp);           // the busy spinner of a long frame
