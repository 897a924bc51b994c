// Functions the shell defines and the console runtime calls. console/ never
// includes shell/ headers: the shell implements these at link time.
#pragma once

struct vull_bitmap;

// Starts the extended-palette glitch the first time a screen palette entry
// with bit 7 is set (frame composition shows it for a moment).
void activate_extpal_glitch();
// A cart from the board cache starts without a glitch.
void clear_extpal_glitch();
// While the glitch shows (its last 150 ms), draws it over a 128x128 8-bit
// picture: the composed page, and each frame the clip records.
void draw_extpal_glitch_if_running(vull_bitmap *picture);
// The pause check of every cart frame end: opens the menu on the pause button.
void update_paused_menu();
// Opens the key configuration screen (the keyconfig command).
void keyconfig_init();

// The status message ends at now + ms + 400 ms.
void show_message(const char *text, int ms);
// The text is printf-formatted with two integers first (256 characters at most).
void show_message_2(const char *format, int ms, int a, int b);
// Title text of the data file's resource pod ("" when it has none).
const char *get_embedded_cart_title();

// extcmd: the displayed page to the console screen and the pause menu's items.
void blit_zibo6_back_page_to_zibo6_screen(int display);
void build_paused_menu();
// The ls listing: one entry per call while pstate.ls_lines is above 0.
void zibo6_list_files();
extern char ls_pattern[256];
// Copy the data file's demo carts and preloaded board carts to the cart folder.
void install_demo_carts();
void install_preloaded_bbs_carts();
