// Stand-ins for the pieces the player's shell calls before they are built:
// the boot sequence, working-cart file operations and cart images, cart data,
// the pause menu, key configuration, the cart browser and board downloads,
// capture and the ls listing. Each file shell_standin_<piece>.cpp holds one
// piece and goes when the real piece lands.
#pragma once
#include <cstdint>

struct vull_bitmap;
struct zibo6_cart;

// Boot sequence and head cart: runs data.pod's head cart at once; a cart named on
// the command line is loaded and, with -run or without a head cart, run.
void boot_init();
void move_boot();

// Working-cart files and embedded carts: text carts and 32 KB images with plain code.
int load_working_cart(const char *path); // 0 loaded, 1 failed
void prepare_loaded_cart(zibo6_cart *cart, const char *name);
void mount_embedded_cart(zibo6_cart *cart, const char *name);
void clear_embedded_carts();
int embedded_cart_count();
const char *embedded_cart_name(int i);
void handle_dropped_file();
void do_quick_load();
int save_png_screenshot(vull_bitmap *bmp, int scale, int to_file_output); // 1: not written

// Cart data, tokens, code-tab settings.
int save_cdata();
void calculate_dormant_tokens();

// Buttons: nothing is ever pressed.
void update_buttons();
void read_buttons();
void block_buttons();
int button_pressed(int b, int p);

// Pause menu, key configuration, cart browser, board downloads, ls listing.
void update_paused_menu();
void process_paused_keypresses();
void keyconfig_update();
void keyconfig_close();
void browse_update();
void update_browse_download();
void zibo6_list_files();

// Capture: nothing is recorded.
void record_video_frame(vull_bitmap *screen);
void reset_video();
int save_gif(int scale, int to_output_folder); // 9: nothing recorded
int get_current_gif_len();
