// The player's start-up, reboot and exit: the application and console state
// records filled in, the data file checked and unpacked, the console's
// bitmaps and code tabs made, and a cart named with -x loaded to run headless.
#include "shell/zibo6.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/mixer.h"
#include "cart/cart.h"
#include "cart/cdata.h"
#include "cart/disk.h"
#include "cart/editor.h"
#include "cart/hooks.h"
#include "cart/rom.h"
#include "console/gfx_print.h"
#include "console/run.h"
#include "console/serial.h"
#include "console/hooks.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/ctext.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/image.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "engine/vull.h"
#include "platform/script.h"
#include "platform/system.h"
#include "platform/video.h"
#include "shell/board.h"
#include "shell/boot.h"
#include "shell/compose.h"
#include "shell/keyconfig.h"
#include "shell/pause.h"

namespace {

constexpr int CODE_TAB_CAPACITY = 0x10002;
constexpr int UNTITLED_MAX = 1000;

// The per-user folders start-up makes (an existing one stays as it is).
constexpr const char *user_folders[] = {"carts/",  "backup/", "cdata/",     "cstore/",
                                        "plates/", "bbs/",    "bbs/carts/", "bbs/labels/"};

// Nothing the player runs can continue without a readable data file.
[[noreturn]] void data_file_unusable(const char *path) {
    printf("couldn't load %s\n", path);
    fflush(stdout);
    exit(1);
}

// The "&" glyph drawn the other way round.
void mirror_ampersand() {
    auto *g =
        static_cast<vull_bitmap *>(pod_entry_item(pstate.font_pod, FONT_AMPERSAND, CPOD_BITMAP));
    if (!g || g->width < 3) return;
    for (int y = 0; y < 5 && y < g->height; y++) {
        uint8_t t = g->rows[y][0];
        g->rows[y][0] = g->rows[y][2];
        g->rows[y][2] = t;
    }
}

// A window dump of the input script, as a PNG through the one writer.
int save_window_dump(const char *path, const uint32_t *argb, int w, int h) {
    vull_bitmap *b = vull_create_bitmap(w, h, 32);
    if (!b) return 1;
    for (int y = 0; y < h; y++) memcpy(b->rows[y], argb + size_t(y) * w, size_t(w) * 4);
    int r = vull_save_png(path, b);
    vull_destroy_bitmap(b);
    return r;
}

// The test input script named by ZIBO6_INPUT_SCRIPT (never by config.txt):
// a script that cannot be read stops the start, as a test must not run without it.
void start_input_script() {
    const char *path = getenv("ZIBO6_INPUT_SCRIPT");
    if (!path || !path[0] || vull_script_on()) return;
    std::string error;
    if (!vull_script_start(path, save_window_dump, error)) {
        fprintf(stderr, "zibo6: %s\n", error.c_str());
        exit(1);
    }
}

vull_bitmap *make_bitmap(int w, int h) {
    vull_bitmap *b = vull_create_bitmap(w, h, 8);
    if (!b) {
        printf("out of memory\n");
        exit(1);
    }
    return b;
}

void create_bitmaps() {
    for (auto &d : pstate.display) d = make_bitmap(128, 128);
    pstate.current_display = 0;
    pstate.draw_surface = pstate.display[0];
    pstate.screen = make_bitmap(128, 128);
    app.video_frame = make_bitmap(128, 128);
    for (auto &b : pstate.editor_bitmap) b = make_bitmap(128, 128);
    for (auto &b : pstate.editor_sprite_bmp) b = make_bitmap(8, 32);
    pstate.scratch_1x1 = make_bitmap(1, 1);
    pstate.scratch_8x8 = make_bitmap(8, 8);
}

void create_code_tabs() {
    int stop = app.tab_width < 1 ? 1 : app.tab_width > 4 ? 4 : app.tab_width;
    for (ctext *&tab : pstate.code_tab) {
        tab = vull_create_ctext(nullptr, CODE_TAB_CAPACITY);
        if (!tab) {
            printf("out of memory\n");
            exit(1);
        }
        tab->char_width = 4;
        tab->line_height = 6;
        tab->tab_width = 4 * stop;
        tab->punycode = app.punycode;
    }
    pstate.current_tab = 0;
}

void destroy_code_tabs() {
    for (ctext *&tab : pstate.code_tab) {
        vull_destroy_ctext(tab);
        tab = nullptr;
    }
}

void new_working_cart() {
    pitem = cart_item{};
    pitem.cart = vull_create_zibo6_cart();
    cart_item_count = 1;
}

void hash_working_cart() { hash_cart(pitem.cart, pstate.cart_hash); }

void update_window_title() {
    const char *title = get_embedded_cart_title();
    vull_set_window_title(title[0] ? title : "ZIBO-6");
}

// An ls listing left open (its record comes from vull_malloc) is closed, not leaked.
void close_ls_listing() {
    if (!pstate.ls_dir) return;
    vull_find_close(pstate.ls_dir);
    vull_free(pstate.ls_dir);
    pstate.ls_dir = nullptr;
    pstate.ls_state = pstate.ls_lines = 0;
}

void copy_path(char *dst, const char *src) { snprintf(dst, Z6_PATH_LEN, "%s", src ? src : ""); }

} // namespace

void set_default_app_config() {
    app.allow_function_keys = 1;
    app.record_activity_log = 1;
    app.check_for_cart_updates = 1;
    app.global_api = 0;
    for (int32_t &k : app.button_keys) k = 0;
    app.live_notes = 0;
    app.tab_width = 1;
    app.draw_tabs = 0;
    app.flip_ampersand = 0;
    app.screenshot_scale = 3;
    app.gif_scale = 3;
    app.cursor_snap = 0;
    app.gif_len = 16;
    app.gif_reset_mode = 0;
    app.rec_frames = 0;
    app.gui_theme = 0;
    app.gpio_base = -1;
#ifdef ZIBO6_ARM32
    app.enable_gpio = 1;
#else
    app.enable_gpio = 0;
#endif
    app.shift_glyphs = 1;
    app.browse_filter = 0;
    app.play_src = 0;
    app.show_backup_messages = 1;
    app.host_framerate_control = 1;
}

void init_editor_state() {
    memset(pstate.editor_selection, 0, sizeof pstate.editor_selection);
    pstate.editor_selection[0] = 1; // first tool
    pstate.editor_selection[1] = 8; // grid
    pstate.editor_selection[2] = 2;
    pstate.editor_selection[3] = 5;
}

void init_path(char *path, const char *fallback, const char *key) {
    std::string written = path;
    // Asked of the folder itself: a listing record holds only short folder names.
    if (path[0] && vull_directory_exists(path)) return;
    char made[Z6_PATH_LEN];
    if (vull_prefix_with_appdata_path(fallback, made, sizeof made) != 0)
        vull_debugf("no room for %s in the per-user folder's path: no %s this run\n", fallback,
                    key ? key : "folder");
    vull_absolute_folder(made, path); // relative only without a home folder
    if (key) path_setting_replaced(key, written.c_str(), path);
}

void set_untitled_filename() {
    std::string name = std::string(pstate.root_path) + "untitled.z6";
    for (int i = 1; i <= UNTITLED_MAX && vull_file_exists(name.c_str()); i++)
        name = std::string(pstate.root_path) + "untitled_" + std::to_string(i) + ".z6";
    // A name that does not fit is no name: saving then asks for one.
    copy_path(pstate.current_filename, name.size() < Z6_PATH_LEN ? name.c_str() : "");
}

void open_filesystem() {}

void do_file_test() {}

void test_strstr(const char *a, const char *b) {
    const char *r = vull_strcasestr(a, b);
    printf("%s %s -> %s\n", a, b, r ? r : "NULL");
}

void blah(int16_t *samples, int n) {
    printf("post mix len: %d samples\n", n);
    for (int i = 1; i < n; i += 2) samples[i] = 0;
}

void zibo6_attach_shell() {
    zibo6_attach_console();
    shell_hooks.activate_extpal_glitch = activate_extpal_glitch;
    shell_hooks.clear_extpal_glitch = clear_extpal_glitch;
    shell_hooks.update_paused_menu = update_paused_menu;
    shell_hooks.keyconfig_init = keyconfig_init;
    shell_hooks.show_message = show_message;
    shell_hooks.blit_zibo6_back_page_to_zibo6_screen = blit_zibo6_back_page_to_zibo6_screen;
    shell_hooks.build_paused_menu = build_paused_menu;
    shell_hooks.zibo6_list_files = zibo6_list_files;
    shell_hooks.install_demo_carts = install_demo_carts;
    shell_hooks.install_preloaded_bbs_carts = install_preloaded_bbs_carts;
    cart_hooks.show_message = show_message;
    cart_hooks.draw_extpal_glitch_if_running = draw_extpal_glitch_if_running;
}

void vull_main_init(int argc, char **argv) {
    // Refused before the engine starts, which makes log.txt and the per-user folders; the
    // engine refuses its own folder options (-home, -desktop) the same way.
    if (const char *refused = unusable_folder_option(argc, argv))
        vull_refuse_folder_option(refused);
    start_input_script();
    app = app_state{};
    init_print_context();
    set_default_app_config();

    vull_set_application_title("zibo-6");
    vull_set_load_config_func(zibo6_load_config);
    vull_set_save_config_func(zibo6_save_config);

    pstate = console_state{};
    pstate.fps = 30;
    vull_init();

    process_arguments(argc, argv);
    vull_set_post_mix_func(mix_serial_sound_buffer);

    for (const char *folder : user_folders) {
        char path[Z6_PATH_LEN];
        vull_prefix_with_appdata_path(folder, path, sizeof path);
        vull_mkdir(path);
    }

    if (cconfig.screen_size[0] < 32 || cconfig.screen_size[1] < 32) {
        cconfig.screen_size[0] = 580;
        cconfig.screen_size[1] = 540;
    }
    vull_set_window_size(cconfig.window_size[0], cconfig.window_size[1]);

    init_path(pstate.root_path, "carts/", "root_path");
    init_path(pstate.cdata_path, "cdata/", "cdata_path");
    init_editor_state();
    pstate.memory_cart = vull_create_zibo6_cart();

    char data_path[Z6_PATH_LEN];
    vull_prefix_with_program_path("data.pod", data_path, sizeof data_path);
    if (pstate.headless) {
        printf("RUNNING: %s\n", app.cart_path);
        fflush(stdout);
    }
    if (!open_data_file(vull_open_pod(data_path))) data_file_unusable(data_path);
    if (app.flip_ampersand) mirror_ampersand();

    vull_set_window_title("ZIBO-6");
    update_window_title();
    if (app.tv_frame)
        vull_set_screen(144, 136, 8, 0);
    else
        vull_set_screen(128, 128, 8, 0);
    auto *icon =
        static_cast<vull_bitmap *>(pod_entry_item(pstate.resource_pod, RES_ICON, CPOD_BITMAP));
    if (icon) vull_set_window_icon(icon);
    auto *pal = static_cast<vull_palette_rec *>(
        pod_entry_item(pstate.resource_pod, RES_PALETTE, CPOD_PALETTE));
    if (pal) vull_set_palette(&pal->entry[0].r);

    create_bitmaps();
    new_working_cart();
    boot_init();
    create_code_tabs();
    set_untitled_filename();
    hash_working_cart();
    vull_sound_init(22050, 1); // opens no device when headless
    cconfig.console_sound = 1;

    // Both cart readers read this word; a cart named with -x is read under it.
    cconfig.accept_future = app.accept_future;
    if (!pstate.headless && !export_mode) {
        app.play_src = 2;
        return;
    }

    char resolved[Z6_PATH_LEN];
    vull_resolve_filename(app.cart_path, resolved);
    app.loaded = app.cart_path[0] && load_working_cart(resolved) == 0;
    if (!app.loaded) {
        printf("could not load %s\n", app.cart_path);
        fflush(stdout);
        exit(1);
    }
    if (export_mode) {
        pstate.headless = 1;
        char root[Z6_PATH_LEN];
        memcpy(root, pstate.root_path, sizeof root);
        copy_path(pstate.root_path, "./");
        pstate.current_folder[0] = 0;
        do_export();
        memcpy(pstate.root_path, root, sizeof root);
        exit(0);
    }
    mount_data_file_carts();
    pstate.machine_mode = 0;
    set_view(0);
    pstate.pending_action = 1;
    app.play_src = 2;
}

void reboot_machine() {
    clear_cdata(); // words the cart wrote since the last save, before the record is reset
    vull_destroy_zibo6_cart(pstate.memory_cart);
    pstate.memory_cart = nullptr;
    vull_destroy_zibo6_cart(pitem.cart);
    pitem.cart = nullptr;
    destroy_code_tabs();
    close_ls_listing();

    // Kept: the paths before the cart file name, the data file, the bitmaps and
    // the flags; everything from the cart file name on starts afresh.
    console_state keep = pstate;
    // the mixer reads the sound registers and 0x5f36 in place: hold it off
    vull_lock_audio();
    pstate = console_state{};
    vull_unlock_audio();
    memcpy(pstate.root_path, keep.root_path, sizeof pstate.root_path);
    memcpy(pstate.cdata_path, keep.cdata_path, sizeof pstate.cdata_path);
    pstate.current_folder[0] = 0;
    pstate.frame = keep.frame;
    pstate.idle_frame = keep.idle_frame;
    pstate.draw_surface = keep.draw_surface;
    memcpy(pstate.display, keep.display, sizeof pstate.display);
    pstate.current_display = keep.current_display;
    pstate.screen = keep.screen;
    pstate.scratch_1x1 = keep.scratch_1x1;
    pstate.scratch_8x8 = keep.scratch_8x8;
    memcpy(pstate.editor_bitmap, keep.editor_bitmap, sizeof pstate.editor_bitmap);
    memcpy(pstate.editor_sprite_bmp, keep.editor_sprite_bmp, sizeof pstate.editor_sprite_bmp);
    pstate.data_pod = keep.data_pod;
    pstate.bios_cart = keep.bios_cart;
    pstate.resource_pod = keep.resource_pod;
    pstate.font_pod = keep.font_pod;
    pstate.reset_glitch_counter = keep.reset_glitch_counter;
    pstate.headless = keep.headless;
    pstate.holdframe_flag = keep.holdframe_flag;
    // The VM lives on until boot_init replaces it: its blocks are still counted.
    pstate.script_memory_used = keep.script_memory_used;
    pstate.host_memory_used = keep.host_memory_used;
    pstate.fps = 30;

    init_editor_state();
    pstate.memory_cart = vull_create_zibo6_cart();
    new_working_cart();
    create_code_tabs();
    boot_init();
    calculate_dormant_tokens();
    set_untitled_filename();
    hash_working_cart();
    update_window_title();
}

void vull_main_exit() {
    board_exit();
    save_cdata();
    cart_files_end_frame();
    close_ls_listing();
    compose_exit();
    if (app.input_file) fclose(app.input_file);
    if (app.output_file) fclose(app.output_file);
    app.input_file = app.output_file = nullptr;
    vull_exit();
}
