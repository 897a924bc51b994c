// Stand-ins for the services that running a cart calls in pieces not built
// yet: video frames, cart data, the cart hash, embedded carts, the
// config command and the pause menu.  Each does the least a run needs; each
// goes when its real piece lands.
#pragma once
#include <cstddef>

struct vull_bitmap;


// video frames
void z6_standin_record_video_frame(); // one GIF frame per flip

// sound, serial, cart data, hashes, menus, messages
void z6_standin_save_cdata();
void z6_standin_clear_cart_data_and_menu();
void z6_standin_hash_running_cart();
void z6_standin_clear_extpal_glitch();
void z6_standin_update_paused_menu();
void z6_standin_show_message(const char *text, int ms);
void z6_standin_prefix_with_file_output_path(const char *name, char *out, size_t size);

// cart files: 0 when loaded as the working cart
int z6_standin_load_working_cart(const char *file);
int z6_standin_load_embedded_cart(const char *name); // no data file carts: always fails

// captures, labels and the pause menu (extcmd)
void z6_standin_blit_back_page_to_screen();
void z6_standin_set_cart_label(vull_bitmap *screen);
int z6_standin_save_png_screenshot(vull_bitmap *screen, int scale, int to_output); // 1 failed
void z6_standin_reset_video();
int z6_standin_save_gif(int scale, int to_output); // 9: no frames recorded
int z6_standin_get_current_gif_len();
void z6_standin_build_paused_menu();

// shell commands: listing, saving, backups, key configuration, installers
void z6_standin_list_files(const char *filter);
int z6_standin_save_working_cart(const char *path); // 0 saved
void z6_standin_do_quick_save(int verbose);
void z6_standin_save_backup(const char *path);
int z6_standin_save_clip_cart(); // 0 saved
void z6_standin_keyconfig_init();
void z6_standin_install_demo_carts();
void z6_standin_install_preloaded_bbs_carts();
