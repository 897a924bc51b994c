// Stand-ins for the services running a cart calls in pieces not built yet.
#include "tools/standins/run_standins.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "cart/cart.h"
#include "console/state.h"
#include "console/term.h"
#include "platform/system.h"

void z6_standin_record_video_frame() {}
void z6_standin_save_cdata() { pstate.cartdata_dirty = 0; }
void z6_standin_clear_cart_data_and_menu() {}
void z6_standin_hash_running_cart() {}
void z6_standin_clear_extpal_glitch() {}
void z6_standin_update_paused_menu() {}
void z6_standin_show_message(const char *text, int ms) {
    std::snprintf(app.message_text, sizeof app.message_text, "%s", text ? text : "");
    (void)ms;
}
void z6_standin_prefix_with_file_output_path(const char *name, char *out, size_t size) {
    vull_prefix_with_appdata_path(name, out, size);
}
int z6_standin_load_working_cart(const char *) { return 1; }
int z6_standin_load_embedded_cart(const char *) { return 1; }
void z6_standin_blit_back_page_to_screen() {}
void z6_standin_set_cart_label(vull_bitmap *) {}
int z6_standin_save_png_screenshot(vull_bitmap *, int, int) { return 1; }
void z6_standin_reset_video() {}
int z6_standin_save_gif(int, int) { return 9; }
int z6_standin_get_current_gif_len() { return 0; }
void z6_standin_build_paused_menu() {}
// Lists the current folder's entries in name order, folders first.
void z6_standin_list_files(const char *filter) {
    std::string dir = std::string(pstate.root_path) + pstate.current_folder;
    std::set<std::string> folders, files;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (filter && *filter && name.find(filter) == std::string::npos) continue;
        (it->is_directory(ec) ? folders : files).insert(name);
    }
    zibo_print_col((std::string("directory: /") + pstate.current_folder).c_str(), 12);
    for (const std::string &f : folders) zibo_print_col(f.c_str(), 14);
    for (const std::string &f : files) zibo_print_col(f.c_str(), 6);
}
int z6_standin_save_working_cart(const char *path) { return vull_save_zibo6_cart(pitem.cart, path); }
void z6_standin_do_quick_save(int) {
    if (pstate.current_filename[0] && pitem.cart)
        vull_save_zibo6_cart(pitem.cart, pstate.current_filename);
}
void z6_standin_save_backup(const char *) {}
int z6_standin_save_clip_cart() { return 1; }
void z6_standin_keyconfig_init() {}
void z6_standin_install_demo_carts() { zibo_print("no demo carts in data file"); }
void z6_standin_install_preloaded_bbs_carts() { zibo_print("no games in data file"); }
