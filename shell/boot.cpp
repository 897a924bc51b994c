// The boot sequence and the head cart.
#include "shell/boot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "audio/channel.h"
#include "cart/cart.h"
#include "cart/disk.h"
#include "cart/rom.h"
#include "console/mem.h"
#include "console/run.h"
#include "cart/state.h"
#include "console/term.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/gui.h"
#include "engine/pod.h"
#include "engine/text.h"
#include "engine/vull.h"
#include "platform/system.h"
#include "shell/browse.h"
#include "shell/zibo6.h"
#include "vm/zmath.h"

namespace {

constexpr char VERSION_LINE[] = "zibo-6 0.2.3";
constexpr char NOTICE_LINE[] = "(c) the zibo-6 makers";
constexpr int HEAD_CART_ENTRY = 3; // data.pod entries from here on are carts
constexpr int LOGO_W = 40, LOGO_H = 10;

struct boot_rec {
    int bios_text;          // the boot text program runs instead of a cart
    char text[256];         // the boot text program
    int read_pos;           // its read position
    int cursor_x, cursor_y; // its print cursor
};
boot_rec boot;

void set_pen(int colour) { zibo6_poke(&pstate, pstate.memory_cart, 0x5f25, colour); }
int pen() { return pstate.draw_state.pen_colour & 15; }

void print_pen(const char *text) { zibo_print_col(text, pen()); }

vull_bitmap *surface() { return pstate.draw_surface; }

void put(int x, int y, int c) {
    vull_bitmap *s = surface();
    if (s && x >= 0 && y >= 0 && x < s->width && y < s->height) s->rows[y][x] = uint8_t(c);
}

int get(int x, int y) {
    vull_bitmap *s = surface();
    return s && x >= 0 && y >= 0 && x < s->width && y < s->height ? s->rows[y][x] : 0;
}

void clear_surface() {
    if (surface()) vull_clear_bitmap(surface());
}

void draw_logo() {
    auto *logo =
        static_cast<vull_bitmap *>(pod_entry_item(pstate.resource_pod, RES_LOGO, CPOD_BITMAP));
    if (!logo || logo->bpp != 8) return;
    for (int y = 0; y < LOGO_H && y < logo->height; y++)
        for (int x = 0; x < LOGO_W && x < logo->width; x++) put(1 + x, 1 + y, logo->rows[y][x]);
}

int rnd(int n) { return int(zibo6_random(uint32_t(n))); }

// Step 40: the cart named on the command line.
void load_command_line_cart() {
    const char *given = app.cart_path;
    if (!given[0]) {
        if (app.run == 1) zibo_print("no boot cartridge specified");
        app.run = 0;
        return;
    }
    char joined[VULL_PATH_LEN], path[VULL_PATH_LEN];
    if (given[0] == '/' || given[0] == '\\')
        std::snprintf(joined, sizeof joined, "%s", given);
    else if (vull_prefix_with_current_path(given, joined) != 0)
        std::snprintf(joined, sizeof joined, "%s", given);
    vull_resolve_filename(joined, path);
    vull_debugf("loading %s\n", path);
    if (pstate.root_path[0]) {
        if (const char *at = std::strstr(path, pstate.root_path)) {
            std::string rest = at + std::strlen(pstate.root_path);
            size_t slash = rest.rfind('/');
            rest = slash == std::string::npos ? "" : rest.substr(0, slash + 1);
            if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
            std::snprintf(pstate.current_folder, sizeof pstate.current_folder, "%s", rest.c_str());
            vull_debugf("set current path: %s\n", pstate.current_folder);
        }
    }
    app.loaded = load_working_cart(path) == 0;
    if (!app.loaded) {
        char line[Z6_PATH_LEN + 32];
        std::snprintf(line, sizeof line, "could not load %s", given);
        zibo_print(line);
        app.run = 0;
    }
}

void step_40() {
    print_pen(NOTICE_LINE);
    set_pen(6);
    print_pen("");
    print_pen("booting cartridge..");
    load_command_line_cart();
    char carts[VULL_PATH_LEN];
    if (vull_prefix_with_appdata_path("carts/", carts) == 0) vull_mkdir(carts);
    if (!carts[0] || !vull_directory_exists(carts)) {
        zibo_print_col("** warning: no permanent storage", 8);
        zibo_print("");
    }
    if (app.boot_into_browser) {
        print_pen("booting browse..");
        return;
    }
    if (app.loaded) {
        if (app.run) {
            print_pen("booting cartridge..");
        } else {
            char line[Z6_PATH_LEN + 16];
            std::snprintf(line, sizeof line, "loading %s", app.cart_path);
            print_pen(line);
        }
        print_pen("");
    } else {
        boot.bios_text = 1;
        run_bios_program();
    }
}

} // namespace

void boot_init() {
    boot.bios_text = 0;
    pstate.machine_mode = 2;
    pstate.frame = -15;
    reset_lua_machine();
    reset_runtime_state();
    if (!pstate.headless) zibo_print(""); // -x output carries only what the cart prints
    set_pen(7);
    clear_surface();
    if (pstate.screen) vull_clear_bitmap(pstate.screen);
    // The fresh untitled cart's first sprite: an X.
    if (pitem.cart && pitem.cart->sprites)
        for (int i = 0; i < 4; i++) {
            pitem.cart->sprites->rows[2 + i][2 + i] = 7;
            pitem.cart->sprites->rows[2 + i][5 - i] = 7;
        }
    zibo6_srand(int32_t(uint32_t(vull_get_time()) + uint32_t(std::time(nullptr))));
    vull_stop_all_sounds();
    vull_stop_zibo6_song(nullptr);
    vull_state.sound_paused = 0;
    pstate.typed_key_count = 0;
}

void move_boot() {
    const int s = pstate.frame + 4;
    switch (s) {
    case 1:
        for (int y = 0; y < 128; y++)
            for (int x = 2; x < 128; x += 8) put(x, y, rnd(4) + y / 32);
        break;
    case 4:
        for (int y = 0; y < 128; y += 2)
            for (int x = 0; x < 128; x += 4) put(x, y, ((x + y) / 8) % 8 + 6);
        break;
    case 7:
        for (int y = 0; y < 128; y += 3)
            for (int x = 2; x < 128; x += 4) put(x, y, rnd(4) + 10);
        break;
    case 9:
        for (int y = 0; y < 128; y++)
            for (int x = 2; x < 128; x += 2) put(x - 1, y, get(x, y));
        break;
    case 12:
        for (int y = 1; y < 128; y++)
            if (y % 4)
                for (int x = 0; x < 128; x++) put(x, y, 0);
        break;
    case 15: clear_surface(); break;
    case 30:
        clear_surface();
        if (pstate.bios_cart) vull_play_sfx(&pstate.bios_cart->sfx[0], pstate.bios_cart);
        zibo_print("");
        zibo_print("");
        draw_logo();
        set_pen(6);
        break;
    case 35:
        print_pen(VERSION_LINE);
        draw_logo();
        break;
    case 40: step_40(); break;
    case 60:
        if (app.loaded && !app.run) {
            pstate.machine_mode = 0;
            pstate.view_change_request = 1;
        }
        break;
    case 70:
        if (app.boot_into_browser) {
            pstate.machine_mode = 0;
            pstate.view = 0;
            set_pen(6);
            browse_enter();
            pstate.sub_mode = 2; // the cart browser
        }
        break;
    case 80: boot_embedded_cart(); break;
    case 90:
        if (app.loaded && app.run) pstate.pending_action = 1;
        break;
    default: break;
    }
}

void mount_data_file_carts() {
    clear_embedded_carts();
    cpod *pod = pstate.data_pod;
    // Only whole cart images are carts: other entries hold installers and runtimes,
    // which are not even read (the runtimes are megabytes). Each cart is decoded
    // when first asked for.
    for (int slot = HEAD_CART_ENTRY; pod && slot < pod->capacity; slot++) {
        if (vull_pod_file_length(pod, slot) != CART_IMAGE_SIZE) continue;
        vull_file *f = pod_file_entry(pod, slot);
        if (f && f->data && f->length == CART_IMAGE_SIZE)
            mount_embedded_cart_lazily(f->name, data_file_cart, slot);
    }
}

void boot_embedded_cart() {
    clear_embedded_carts();
    cpod *pod = pstate.data_pod;
    vull_file *head = pod ? pod_file_entry(pod, HEAD_CART_ENTRY) : nullptr;
    if (!head || !head->data) {
        zibo_print("head cart not found\n");
        return;
    }
    // A short entry reads as zeros past its end.
    std::vector<uint8_t> image(CART_IMAGE_SIZE, 0);
    std::memcpy(image.data(), head->data,
                size_t(std::min(std::max(head->length, 0), CART_IMAGE_SIZE)));
    zibo6_cart *cart = vull_create_zibo6_cart();
    if (!cart) return;
    load_zibo6_cart_32k(cart, image.data());
    cart->version = ZIBO6_CART_VERSION;
    prepare_loaded_cart(cart, head->name);
    mount_data_file_carts();
    pstate.machine_mode = 0;
    pstate.pending_action = 1;
}

void run_bios_program() {
    std::snprintf(boot.text, sizeof boot.text,
                  "type help for help"
                  "D9"
                  "\n");
    boot.read_pos = 0;
    boot.cursor_x = boot.cursor_y = 0;
    set_pen(6);
}

int boot_read_hex(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

void update_bios_program() {
    char *t = boot.text;
    int len = int(strnlen(t, sizeof boot.text));
    while (boot.read_pos < len) {
        int c = static_cast<unsigned char>(t[boot.read_pos]);
        int next = boot.read_pos + 1 < len ? static_cast<unsigned char>(t[boot.read_pos + 1]) : 0;
        if (c == 'D' && next > '0' && next <= '9') {
            t[boot.read_pos + 1] = char(next - 1); // a delay of that many calls
            return;
        }
        if (c == 'C' && next >= '0' && next <= '9') {
            set_pen(boot_read_hex(next));
            boot.read_pos += 2;
            continue;
        }
        if (c == '\n') {
            boot.cursor_y += 6;
            boot.cursor_x = 0;
        } else if (c >= 32 && c <= 153 && !(c >= 'A' && c <= 'Z')) {
            char glyph[2] = {char(c), 0};
            if (surface() && pstate.font_pod)
                vull_draw_text_ex(surface(), glyph, pstate.font_pod, boot.cursor_x, boot.cursor_y,
                                  VULL_TEXT_TINT, uint32_t(pen()));
            boot.cursor_x += c >= 128 ? 8 : 4;
        }
        boot.read_pos++;
    }
    pstate.machine_mode = 0;
    pstate.view = 0;
    boot.cursor_y += 6;
    boot.cursor_x = 0;
    set_pen(6);
    if (pstate.current_folder[0]) {
        char line[Z6_PATH_LEN + 16];
        std::snprintf(line, sizeof line, "directory: /%s", pstate.current_folder);
        zibo_print_col(line, 12);
    }
}

void move_splash() {
    if (pstate.machine_mode == 3 && vull_get_any_key_down()) boot_init();
}
