// Layer shell: the player (start-up, frame loop, composition, menus); calls every layer below.
// The player's shell: start-up and exit, the console's config.txt keys and
// command-line options, and the per-frame update. What the runtime and the
// cart formats call of it they reach through the tables zibo6_attach_shell
// fills (console/hooks.h, cart/hooks.h): they never name the shell.
#pragma once
#include <cstdint>
#include <cstdio>

#include "cart/state.h"

struct cpod;
struct vull_file;
struct zibo6_cart;

// ---- start-up, reboot and exit (shell/zibo6.cpp) ----
// Fills the console's and the cart formats' tables of shell functions, after
// every lower layer's own (zibo6_attach_console, which makes the audio
// engine's and the engine's); the first call of every program that links the
// shell.
void zibo6_attach_shell();
// The engine's application callbacks (vull_set_app_funcs); the draw is compose.h's.
void vull_main_init(int argc, char **argv);
void vull_main_exit();
void vull_main_update(); // shell/update.cpp
void set_default_app_config(); // the defaults of the application record
void init_editor_state();      // editor selection block and caches, as at start-up
void reboot_machine();         // a fresh machine from the cart file name onward
void set_untitled_filename();  // the working cart file name: root_path + "untitled[_n].z6"
void open_filesystem();        // nothing to open on this platform
void do_file_test();
// An empty path, or one whose folder lists no entry, becomes the per-user folder + fallback.
// With the config key it came from, a value replaced that way is said and kept for config.txt.
void init_path(char *path, const char *fallback, const char *key = nullptr);
// root_path or cdata_path (key) was not used this run and "used" took its place: config.txt
// is written back with what it held, unless the setting changed since.
void path_setting_replaced(const char *key, const char *written, const char *used);
void test_strstr(const char *a, const char *b);
void blah(int16_t *samples, int n); // post-mix test hook: silences every second sample

// ---- the data file (shell/data_file.cpp) ----
// The resource pod's entries the shell uses.
constexpr int RES_PALETTE = 1; // palette
constexpr int RES_LOGO = 2;    // 40x10 logo bitmap
constexpr int RES_TITLE = 4;   // title text
constexpr int RES_ICON = 6;    // 32-bit window icon
constexpr int FONT_GLYPHS = 256;
constexpr int FONT_AMPERSAND = 38;      // the glyph flip_ampersand mirrors
constexpr int DATA_CART_IMAGE = 0x8000; // entries from 3 on of exactly this size are carts
// Takes the data file (null accepted) and its entries 0-2 into pstate; false,
// with everything released, when one of them is missing or of the wrong kind.
bool open_data_file(cpod *pod);
const char *get_embedded_cart_title(); // the resource pod's title text ("" when none)
void close_data_file();
void *pod_entry_item(cpod *pod, int slot, int type); // null for a missing slot or other type
vull_file *pod_file_entry(cpod *pod, int slot);      // a file item, rewound; or null
// The cart image of an entry of the data file in use, as of this version; null
// when the entry holds none.
zibo6_cart *data_file_cart(int slot);

// ---- config.txt keys and command-line options (shell/options.cpp) ----
constexpr int Z6_EXTRA_ARGS = 33;
struct extra_args_rec {
    int32_t count;                         // texts held
    char text[Z6_EXTRA_ARGS][Z6_PATH_LEN]; // plain arguments after the cart path
};
extern extra_args_rec extra_args;
extern int export_mode; // -export given: load the cart, export (nothing here) and quit

void zibo6_load_config(const char *line);  // one config.txt line the engine does not know
void zibo6_save_config(vull_file *writer); // appends the console section
void process_arguments(int argc, char **argv);
// The first of -root_path and -cdata_path too long to be used, else null; it reads the
// command line as process_arguments does and changes nothing.
const char *unusable_folder_option(int argc, char **argv);
void clamp_app_config(); // every ranged setting into its range

// ---- status messages (shell/message.cpp) ----
// The status message ends at now + ms + 400 ms.
void show_message(const char *text, int ms);
// The text is printf-formatted with two integers first (256 characters at most).
void show_message_2(const char *format, int ms, int a, int b);
// The shell's own hot-key messages: they end at now + ms, without the tail.
void show_message_at_most(const char *text, int ms);
void show_message_hover(const char *format, int a, int b);
int show_message_ex(const char *text, int ms);
void show_message_2_ex(const char *format, int ms, int a, int b, int unused);

// ---- installers (shell/install.cpp) ----
// Copy the data file's demo carts and preloaded board carts to the cart folder.
void install_demo_carts();
void install_preloaded_bbs_carts();

// ---- the frame loop (shell/update.cpp) ----
// The 16.16 frame accumulator after elapsed_ms more at rate frames a second
// (elapsed at most 32 s; the result held to 0..0x1ffff, or 0x20000 at 60 fps).
int32_t advance_frame_accumulator(int32_t acc, int elapsed_ms, int rate, int fps);
// The fewest ms after which advance_frame_accumulator takes acc above threshold
// at rate frames a second; 0 when it is there already.
int ms_until_frame_due(int32_t acc, int32_t threshold, int rate);
// Host frames skipped in a row at most, for the per-frame sleep in ms.
int skip_limit(int sleep_ms);
void process_running_keypresses();
void process_immediate_mode_keypresses();
void update_reset_glitch();
void process_command();
int determine_audio_pause_state(); // the sound-pause counter the next update sets
int should_be_pointer_locked();
void process_devkit_mouse_activity();
void toggle_mute();
void set_view(int view); // views other than 0 are the editor's: nothing to do
// The command history of the console prompt (which the player never shows):
// a non-empty line that differs from the newest becomes the newest.
void store_command(const char *line);
constexpr int COMMAND_HISTORY = 256;  // lines kept
constexpr int COMMAND_LINE_LEN = 256; // characters a line, terminator included
int command_history_count();
const char *command_history_line(int i); // 0 is the newest; null past the end

// ---- the reset glitch (shell/glitch.cpp) ----
void glitch_memory(); // corrupts console memory once, through the memory map
