// The working cart's files: loading in any format, saving with backups, quick
// save and load, change detection, reload()/cstore() on cart files with the
// sandbox, carts mounted from the data file, dropped files and output paths.
#pragma once
#include <cstddef>

struct zibo6_cart;
struct vull_bitmap;

constexpr int EMBEDDED_CARTS_MAX = 64;   // carts mounted from the data file
constexpr int DROPPED_FILE_MAX = 262144; // bytes of a dropped file handed to a cart
constexpr int LUA_FILE_MAX = 131071;     // bytes of a plain code file read
constexpr int BACKUP_COPY_MAX = 1 << 20; // bytes a copy-mode backup keeps
constexpr int BACKUPS_PER_SECOND_MAX = 999; // backups of one name within one second

// A new cart from a PNG cart, a text cart, a 32 KB image or (".lua" names) a
// plain code file; null when none reads. Leaves the text and PNG statuses.
zibo6_cart *load_zibo6_cart_any_format(const char *path);
// What every loaded cart goes through before it is run, compared or written again: the
// legacy fix-ups (once) and the shared half of the sheet and the map in step.
void prepare_cart_data(zibo6_cart *cart);
// The one load path for tools, exporters, reload() and cstore(): any format, then
// prepare_cart_data.
zibo6_cart *load_prepared_cart(const char *path);
// The cart written whole in the format of the name's final extension: 0, or 1 when it
// could not be (the file then keeps what it held). save_flags: the writer's (VULL_SAVE_*).
int save_cart_file(zibo6_cart *cart, const char *path, int save_flags = 0);

// The format a cart file is written in, by the final extension of its name alone
// (".png" and ".rom", either case); a folder or an earlier dot never decides it.
enum : int { CART_FILE_TEXT = 0, CART_FILE_PNG = 1, CART_FILE_ROM = 2 };
int cart_file_format(const char *path);
bool has_final_extension(const char *path, const char *ext); // ".lua": case ignored
zibo6_cart *load_zibo6_cart_lua(const char *path);
// The ".z6" form of a name (out: VULL_PATH_LEN bytes): "game" -> "game.z6",
// "game.png" -> "game.z6.png", "shot.lua" -> "shot.lua.z6".
void inject_z6_extention(const char *name, char *out);

int load_working_cart(const char *path);                      // 0 loaded, 1 failed
void prepare_loaded_cart(zibo6_cart *cart, const char *name); // takes ownership
int save_working_cart(const char *path);                      // 0 saved, 1 failed
void do_quick_save(int from_terminal);
void do_quick_load();
int detect_external_changes();
int detect_unsaved_changes();                         // 0: nothing tracks unsaved edits
int unsaved_changes_confirmation(const char *prompt); // 0: never asks
// 0 written (or nothing to keep); 1 when no whole backup could be written.
int save_backup(const char *name, int copy);
// Before a file the player did not read is replaced: a copy in backup/, unless it is not a
// regular file (missing, a pipe, a device: nothing to keep). 0 kept or nothing to keep, 1 not.
int save_backup_of_unread_file(const char *path);

// reload() and cstore() on a cart file: 0, or 1 when the file does not load
// (reload); 2 when saving failed, 3 after 256 distinct targets (cstore).
constexpr int Z6_CSTORE_TARGETS_MAX = 256; // distinct cstore files a run
int reload_cart_partial(const char *path, int dest, int src, int len);
int cstore_cart_partial(const char *path, int dest, int src, int len, int also_working,
                        int sandbox);
// The cart file reload() and cstore() used last stays loaded until the frame ends; then
// it is let go and the files cstore() wrote are flushed to the disk.
void cart_files_end_frame();
const char *get_sandboxed_cstore_filename(const char *hash); // reused buffer
void zibo6_prefix_with_cstore_path(const char *name, const char *prefix, char *out);

// Carts of the data file, found by name through load(), reload() and cstore():
// mounting hashes the cart and writes its text to the virtual disk under its name.
void mount_embedded_cart(zibo6_cart *cart, const char *name);
// The same when the cart is first asked for (its name read, or its hash looked
// up): source(source_key) makes it then (null: no cart), and it is destroyed after.
using embedded_cart_source = zibo6_cart *(*)(int source_key);
void mount_embedded_cart_lazily(const char *name, embedded_cart_source source, int source_key);
void clear_embedded_carts();
int embedded_cart_count();
const char *embedded_cart_name(int i); // null outside 0..count-1
const char *get_embedded_cart_filename_for_hash(const char *hash);
const char *get_embedded_cart_hash_for_filename(const char *name, int try_variants);

void handle_dropped_file();
void handle_dropped_file_html();
const char *resolve_to_host_filename(const char *name); // reused buffer
void prefix_with_file_output_path(const char *name, char *out, size_t out_size);
// name in the desktop folder, which is made when it is missing.
void prefix_with_desktop_output_path(const char *name, char *out, size_t out_size);
// The older output rule, kept beside it: the current folder (the program's when
// that is shorter than 2 characters), or the folder holding an application
// bundle. A path that does not fit gives "".
void prefix_with_file_output_path____first_attempt(const char *name, char *out, size_t out_size);
// The shared half of a loaded cart in step: the map's lower half when it is used, else the sheet's.
void sync_shared_data_on_load(zibo6_cart *cart);
// Logs the label, the time and pattern 0's four channels of the working cart.
void debug_pattern_dat(const char *label);
// The cart's fixed output name (extcmd set_filename) and ext, else the first
// free name of the cart's base name, _n and ext; in the desktop or file output folder.
bool next_output_path(const char *ext, int to_file_output, char *path, size_t size);
int save_png_screenshot(vull_bitmap *bitmap, int scale, int to_file_output); // 0 written
