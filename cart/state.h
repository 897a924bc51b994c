// The console's state records: `pstate` (the machine and the runtime), `app`
// (the shell's settings and front-end state) and the decoded draw-state
// registers. One global instance of each, zero-filled at start-up; the shell
// fills them in, the cart formats, the runtime and the shell read and write the
// fields they own. Every field is a signed 32-bit word unless its type says
// otherwise. They live here, in the lowest layer that uses them, so that no
// layer reaches up for them.
#pragma once
#include <cstdint>
#include <cstdio>

#include "engine/mem.h"

struct vull_bitmap;
struct cpod;
struct ctext;
struct vull_thread_rec;
struct vull_find_rec;
struct zibo6_cart;

constexpr int Z6_PATH_LEN = 1024;       // every path and parameter text of the records
constexpr int Z6_CODE_TABS = 16;        // code tabs joined into the working cart's code
constexpr int Z6_PLAYERS = 8;           // players with a button row each
constexpr int Z6_BUTTONS = 8;           // buttons per player (the eighth has no input)
constexpr int Z6_BUTTON_KEYS = 13;      // configurable scancodes (players 0 and 1, pause)
constexpr int Z6_DISPLAYS = 4;          // 128x128 display surfaces
constexpr int Z6_CART_ITEMS = 5;        // cart entries of the pause menu
constexpr int Z6_PERF_RECORDS = 64;     // performance ring records
constexpr int Z6_PERF_WORDS = 8;        // words per performance record
constexpr int Z6_HOST_FPS_HISTORY = 30; // host frame-rate history of the governor

// The decoded draw-state registers 0x5f00-0x5f7f: drawing reads these, never
// the RAM bytes. Writes to the registers decode into them (console/mem).
struct draw_state_rec {
    int32_t draw_pal[16];      // draw palette 0x5f00: bits 0-3 colour, bit 4 transparent
    int32_t screen_pal[16];    // screen palette 0x5f10 (bit 7: extended colour)
    int32_t secondary_pal[16]; // secondary palette 0x5f60
    int32_t clip_x0;           // clip rectangle 0x5f20-0x5f23, right and bottom exclusive
    int32_t clip_y0;
    int32_t clip_x1;
    int32_t clip_y1;
    int32_t pen_colour;          // 0x5f25: colour of calls that give none
    int32_t cursor_x;            // 0x5f26: print cursor
    int32_t cursor_y;            // 0x5f27
    int32_t print_left_margin;   // 0x5f24: column a new print line starts at
    int32_t camera_x;            // 0x5f28-0x5f29, signed 16-bit
    int32_t camera_y;            // 0x5f2a-0x5f2b, signed 16-bit
    int32_t screen_mode;         // 0x5f2c
    int32_t bitplane_mask;       // 0x5f5e whole byte
    int32_t bitplane_mask_low;   // its low nibble (write mask)
    int32_t bitplane_mask_high;  // its high nibble (read mask)
    int32_t fill_pattern;        // 0x5f31-0x5f33: 16-bit pattern, bits 16-18 flags
    int32_t line_x;              // 0x5f3c-0x5f3d: previous line end x, signed 16-bit
    int32_t line_y;              // 0x5f3e-0x5f3f: previous line end y, signed 16-bit
    int32_t line_flag;           // 0x5f35: bit 0 no previous end point
    int32_t colour_pattern_mode; // 0x5f34: 1 colour arguments carry a fill pattern
    // 0x5f40-0x5f43, read by the audio thread without the lock: access them
    // through std::atomic_ref<int32_t> (relaxed) on both threads.
    int32_t sound_reg[4];
};

// The console state record.
struct console_state {
    // -- frame (shell)
    int32_t frame;      // logical frames; boot starts it at -15
    int32_t idle_frame; // logical frames since the last idle frame

    // -- bitmaps
    vull_bitmap *draw_surface;         // current draw surface (one of display[])
    vull_bitmap *display[Z6_DISPLAYS]; // 128x128 8-bit display surfaces
    int32_t current_display;           // index of draw_surface in display[]
    vull_bitmap *screen;               // 128x128 8-bit screen memory through the palettes
    vull_bitmap *scratch_1x1;          // scratch bitmaps
    vull_bitmap *scratch_8x8;
    // Displays 1 and up are known to be clear: set where they are cleared, reset
    // whenever one of them becomes the draw surface (0, the default, means unknown).
    uint8_t extra_displays_clear;

    // -- editor remnants
    vull_bitmap *editor_bitmap[2];      // two 128x128 editor bitmaps
    vull_bitmap *editor_sprite_bmp[64]; // sixty-four 8x32 editor bitmaps
    int32_t editor_selection[16];       // editor selection block (tool, grid, two words...)

    // -- data file
    cpod *data_pod;        // data.pod as loaded
    zibo6_cart *bios_cart; // entry 0
    cpod *resource_pod;    // entry 1
    cpod *font_pod;        // entry 2

    // -- flags
    int32_t reset_glitch_counter; // >= 1 while the reset glitch runs
    int32_t headless;             // -x, -exec or -export
    int32_t holdframe_flag;       // keep the previous picture until the next flip

    // -- paths
    char root_path[Z6_PATH_LEN];        // the cart folder
    char current_folder[Z6_PATH_LEN];   // relative to root_path
    char cdata_path[Z6_PATH_LEN];       // cart data folder
    char current_filename[Z6_PATH_LEN]; // working cart file name (reboot clears from here on)
    char cart_hash[41];                 // working cart's hash, 40 hex digits
    char cart_hash_loaded[41];          // the working cart's hash as loaded
    char sandbox_hash[41]; // names the working cart's sandbox file: its hash before any patch
    char last_cart_file_accessed[Z6_PATH_LEN]; // last file of reload() or cstore(); "" none

    // -- code
    ctext *code_tab[Z6_CODE_TABS]; // code tabs as text fields
    int32_t current_tab;           // the tab shown

    // -- machine
    zibo6_cart *memory_cart; // backs 0x0000-0x42ff of console memory
    int32_t machine_mode;    // 0 stopped, 1 running, 2 boot, 3 splash
    int32_t view;            // always 0
    int32_t
        pending_action; // 0 none, 1 run, 2 suspend, 3 reboot, 4 suspend+error, 5 reboot, 6 reset VM
    int32_t cart_code_running;      // 1 while the running program is a cart
    int32_t view_change_request;    // a requested view change
    int32_t load_transition_frames; // frames of the load transition
    int32_t file_access_cooldown;   // lowered once a running frame; above 151 counts as 151

    // -- run
    char parameter_string_pending[Z6_PATH_LEN]; // written by -p and run(param)
    char parameter_string[Z6_PATH_LEN];         // the running cart's copy
    int32_t mainloop_exists;                    // 0 none, 1 cart's _mainloop, 2 standard loop
    char running_filename[Z6_PATH_LEN];         // file of the running cart
    char running_cart_lid[Z6_PATH_LEN];         // cart id of the running cart
    char running_cart_hash[41];                 // hash text of the running cart
    int32_t compiling_program;                  // 1 while the program text compiles
    int32_t cpu_refund_enabled;                 // __refund_cpu__ works only while set
    int32_t time_ticks;                         // cart time in sixtieths of a second
    int32_t cart_frame;                         // the cart's frame counter
    char assert_message[256];                   // message of the last failed assert

    // -- memory (console/mem): the 64 KB image and the cart data words
    uint8_t console_ram[0x10000]; // every poked byte; backs user data, upper memory, GPIO
    draw_state_rec draw_state;    // decoded registers 0x5f00-0x5f7f
    uint32_t cartdata_words[64];  // cart save data 0x5e00-0x5eff
    int32_t cartdata_dirty;       // set when a cart-data word changed

    // -- script heap (console/heap)
    int32_t script_memory_used;     // weights of the live blocks of the VM state
    int32_t memory_overhead;        // 12 x the cart's token count
    int32_t memory_yield_requested; // set by the allocator above the soft limit
    int32_t host_allocation_failed; // set by the allocator when a request was refused
    int64_t host_memory_used;       // real bytes the VM holds (size + header per block)

    // -- CPU budget
    int32_t system_cycles;        // cycles charged by spend_cpu since the last flip
    int32_t skipped_frame_cycles; // cycles of skipped frames, 0..0x8840000
    int32_t fps;                  // current frame rate: 30, 60 or 15
    int32_t target_fps;           // target frame rate: 30 or 60

    // -- listing
    int32_t ls_state;      // ls listing state
    int32_t ls_lines;      // its line count
    vull_find_rec *ls_dir; // its directory handle

    // -- input
    int32_t sub_mode;                            // 1 key configuration, 2 cart browser
    uint8_t typed_keys[256];                     // typed-key queue
    int32_t typed_key_count;                     // entries in it
    int32_t mouse_change;                        // 1 x moved, 2 y moved, 4 buttons changed
    uint32_t injected_buttons[Z6_PLAYERS];       // per-player injected masks; all bits set = none
    uint8_t button_held[Z6_PLAYERS][Z6_BUTTONS]; // held buttons (btn reads it; 0x5f4c-0x5f53)

    // -- pause menu cart items
    char cart_menu_label[Z6_CART_ITEMS][64];  // empty = no item
    uint8_t cart_item_request[Z6_CART_ITEMS]; // 1 left, 2 right, 112 chosen

    // -- display
    int32_t cursor_sprite; // mouse cursor sprite index (89 each update)
};

// When a cart last tried a capture of one kind, and whether a refusal since was logged.
struct capture_allowance {
    int32_t attempted;      // 1 once a file was tried, written or not
    int32_t last_frame;     // the logical frame it was tried in
    int32_t refusal_logged; // one log line for the calls refused after it
};

// The application state record.
struct app_state {
    // -- command line
    char cart_path[Z6_PATH_LEN]; // command-line cart path
    int32_t loaded;              // the command-line cart loaded at start-up
    int32_t run;                 // -run or -x given
    int32_t boot_into_browser;   // start in the cart browser
    int32_t kiosk;               // kiosk mode
    int32_t accept_future;       // load carts of future versions
    int32_t joystick_index;      // controller of player 0

    // -- console settings
    int32_t allow_function_keys;
    int32_t record_activity_log;
    int32_t check_for_cart_updates;
    int32_t global_api;
    int32_t button_keys[Z6_BUTTON_KEYS];        // 0-5 player 0, 6-11 player 1, 12 pause; 0 default
    int32_t button_keys_backup[Z6_BUTTON_KEYS]; // key-configuration backup of button_keys
    int32_t live_notes;
    int32_t tab_width;
    int32_t draw_tabs;
    int32_t flip_ampersand;
    int32_t screenshot_scale;
    int32_t gif_scale;
    int32_t cursor_snap;
    int32_t gif_len; // seconds
    int32_t gif_reset_mode;
    int32_t rec_frames; // one video frame per flip (set by extcmd)
    char output_file_name[64]; // screenshot and GIF name set by extcmd; "" default
    // The last screenshot and GIF files a cart's extcmd tried (at most one each a second).
    capture_allowance cart_screenshots, cart_gifs;
    int32_t gui_theme;
    int32_t gpio_base;
    int32_t enable_gpio;
    int32_t shift_glyphs;
    int32_t browse_filter;
    int32_t play_src;
    int32_t sfx_filters; // sfx filter setting
    int32_t punycode;    // copied into the code tabs each update (stays 0)

    // -- download slot
    int32_t download_state;           // 0 idle, 1 busy, 2 done, 3 failed
    char download_url[Z6_PATH_LEN];   // URL being fetched
    char download_file[Z6_PATH_LEN];  // local file name
    int32_t download_start;           // start time (ms)
    vull_thread_rec *download_thread; // worker thread record

    // -- pause menu
    int32_t paused_menu_state;    // 0 closed, 1 main, 2 key configuration, 3 controls, 4 options
    int32_t paused_menu_items;    // item count
    int32_t paused_menu_selected; // selected item
    int32_t cart_item_chosen;     // a cart item was chosen
    int32_t update_available;     // a newer cart version exists
    char *paste_buffer;           // owned console-charset text from ctrl-v or printh @clip

    // -- screen effects
    int32_t glitch_test;        // frame count of the glitch test; 0 off
    int32_t glitch_screenshots; // its screenshot count
    int32_t show_backup_messages;
    int32_t host_framerate_control;

    // -- status message
    char message_text[256];
    int32_t message_start; // engine milliseconds
    int32_t message_end;
    int32_t message_colour;
    char hover_text[256];

    // -- frame pacing
    int32_t frame_accumulator;  // 16.16 logical frames owed
    int32_t halve_rate_request; // a slice ended before the cart's flip
    int32_t last_quick_reload;  // time of the last quick reload (ms)
    int32_t volume;             // 0..256

    // -- capture
    vull_bitmap *video_frame;         // 128x128 8-bit frame that GIF recording reads
    char export_command[Z6_PATH_LEN]; // -export command

    // -- TV frame
    int32_t tv_frame;

    // -- overlay
    int32_t overlay;                              // resource/cpu overlay (ctrl-o, ctrl-p)
    int32_t perf[Z6_PERF_RECORDS][Z6_PERF_WORDS]; // performance ring
    int32_t perf_index;                           // record being filled
    int32_t in_slice;                             // 1 while a cart slice runs

    // -- files
    FILE *input_file;  // -i
    FILE *output_file; // -o

    // -- runtime
    int32_t cart_resumable;       // 1 after run_cart, 0 once the program ran to its end
    int32_t frame_step_mode;      // run one frame at a time from the prompt
    int32_t cart_has_draw;        // the cart's code contains " _draw"
    cbuffer *last_error_text;     // error lines since the last run
    int32_t program_stopped_flag; // set by a syntax error and by suspend_program
    char *cstore_targets;         // owned text of "|path" entries, one per cstore target
    int32_t cstore_target_count;  // entries in cstore_targets (at most 256)
};

// A cart item: the working cart as loaded (the source of reload and each run,
// the target of cstore and of saving).
struct cart_item {
    zibo6_cart *cart; // the working cart
};

extern console_state pstate;    // the console state
extern app_state app;           // the application state
extern cart_item pitem;         // the current cart item
extern int32_t cart_item_count; // 1 once start-up made pitem
