// The stand-alone exporter: the working cart and up to 15 further carts
// become per-platform program folders (data file, runtime programs, icons,
// property list), each packed into a zip archive.
#pragma once
#include <cstddef>
#include <cstdint>

struct cpod;
struct vull_bitmap;
struct vull_file;
struct zibo6_cart;

constexpr int EXPORT_NAMES_MAX = 31;     // names kept from the command text
constexpr int64_t EXPORT_FILE_MAX = int64_t(64) << 20; // bytes of one file an export copies
constexpr int EXPORT_NAME_LEN = 1024;    // 1023 characters + NUL per name
constexpr int EXPORT_OPTION_LEN = 128;   // -p and -e texts: 127 characters + NUL
constexpr int EXPORT_CARTS_MAX = 16;     // the output cart and 15 further carts
constexpr int EXPORT_ITEM_NAME_LEN = 64; // data file item names: 63 characters + NUL
constexpr int EXPORT_ICON_SIZE = 128;    // the icon is 128x128, 32-bit

// Items of the runtime pod (data file entry 7).
enum : int {
    RUNTIME_WINDOWS = 0,
    RUNTIME_WINDOWS_SDL = 1,
    RUNTIME_LINUX = 2,
    RUNTIME_MACOS = 3,
    RUNTIME_MACOS_FRAMEWORK = 5,
    RUNTIME_RASPI = 6,
    RUNTIME_RASPI_DYNAMIC = 7,
};
constexpr int DATA_RUNTIME_ENTRY = 7; // data file entry holding the runtime pod
constexpr int RES_EXPORT_TITLE = 4;   // resource pod text item that names the program
constexpr int RES_EXPORT_ICON = 6;    // resource pod 128x128 32-bit icon

// The parameter list of one export, rebuilt by each extract_parameters.
struct export_parameters {
    char names[EXPORT_NAMES_MAX][EXPORT_NAME_LEN]; // [0] the output name, then further carts
    int32_t name_count;                            // names held
    int32_t value[26];                             // per option letter a..z; -1 when not given
    char p[EXPORT_OPTION_LEN];                     // text of -p
    char e[EXPORT_OPTION_LEN];                     // text of -e (the extra file)
    // 0, or the characters a name or the -e text holds when one was cut: refused
    int32_t too_long;
};
extern export_parameters export_params;

// A whole export from the export command's arguments ("name.bin [more carts]
// [-i n] [-s n] [-c n] [-e file]"). Reports through console text; 0 when it
// ended with "ok", 1 when a check or the data file stopped it or a file could
// not be written (the export goes on, printing each, and ends without "ok").
int export_bin(const char *text);
// The parameter list, or null after printing "bad argument".
export_parameters *extract_parameters(const char *text);
// The data file pod (bios, resources, font, then the carts), or null after
// printing the reason. The caller destroys it.
cpod *generate_dat_file(export_parameters *params);

// Icons. Each takes a 128x128 32-bit bitmap (0xAARRGGBB) and refuses others.
int save_icns(const vull_bitmap *bitmap, const char *path); // 1 when not written, else 0
// Writes the icon over the program's built-in one; 0 when it did, 1 when the
// marker was not found or its block would lie outside the buffer (unchanged).
int inject_windows_icon(const vull_bitmap *bitmap, vull_file *program);
void generate_shadow(vull_bitmap *bitmap);
// Draws the export icon from the cart's label (no -i, or -s below 1) or its
// sprites (-i, -s, -c); 0 drawn, 1 when there is no label or icon to draw.
int draw_export_icon(vull_bitmap *icon, const zibo6_cart *cart, const export_parameters *params);

int create_plist_file(const char *path, const char *name); // 0 written
// Unpacks the framework pod (null or not a pod: only the folders); 0 when
// every entry was written or refused for its name.
int save_osx_framework(const char *path, vull_file *buffer);
void save_extras(const char *folder, const char *name);
// Writes the buffer, or the five bytes "empty" for a null one; 0 written.
int save_binary_file(const char *path, const vull_file *buffer);
// Sizes buffer to 32768 bytes and builds the cart's ROM image in it: 0, 1 when
// the code does not fit, 2 when flattening the code failed.
int save_cart_to_file_as_32k_flattened_block(zibo6_cart *cart, vull_file *buffer);
// Shows the console screen in the window during a long export; nothing headless.
void show_zibo6_screen();

// ---- zip archives (cart/export_zip.cpp) ----
// One-shot flags: the executable bit applies to the next entry written, the
// force flag makes the next add start a new archive; each add clears both.
void mz_set_executable_bit_on_next_file();
void mz_set_force_create_new_file();
// Adds one entry (a name ending in "/" with no data is a folder) to the zip
// file, appending unless forced or the file is missing. 1 when added, else 0
// (error, when not null, gets libzip's error code).
int mz_zip_add_mem_to_archive_file_in_place_v2(const char *zip_path, const char *name,
                                               const void *data, size_t size, int level,
                                               int *error);
int mz_zip_add_mem_to_archive_file_in_place(const char *zip_path, const char *name,
                                            const void *data, size_t size, int level);
// Packs a folder under the entry prefix; 1 when refused (depth 33 or more) or
// an entry could not be added, else 0.
int add_to_zip_file(const char *zip_path, const char *folder, const char *prefix, int depth);
int generate_zip_file(const char *zip_path, const char *folder, const char *prefix);
