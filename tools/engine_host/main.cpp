// engine_host: a small application on the engine. It takes the engine's own
// options plus frames=N (quit after N passes), echoes each config.txt line
// the engine hands to its hook as "hook: <line>", and appends one line of its
// own to config.txt at exit.
//
// Without -headless it opens a window (sized by -width/-height, or by the
// window_size of config.txt) and draws a test pattern into its 128 x 128
// back page: eight colour bands inside a 1-pixel white border, so scaling and
// placement can be checked in a real window.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "platform/video.h"

constexpr int HOST_PAGE = 128;                // back page width and height
constexpr uint32_t HOST_BORDER = 0xFFFFFFFFu; // opaque white

static long frames_wanted; // passes to run; 0 runs until the window closes
static long frames_done;   // passes run so far

static void host_load_config(const char *line) {
    printf("hook: %s\n", line);
    fflush(stdout);
}

static void host_save_config(vull_file *file) {
    static const char line[] = "// engine_host settings: none\n";
    if (file) vull_fwrite(line, 1, int(sizeof line - 1), file);
}

// A window size chosen by the options or config.txt wins over the page size;
// one missing dimension follows the other, keeping the page square.
static void apply_window_size() {
    int w = cconfig.window_size[0], h = cconfig.window_size[1];
    if (w <= 0 && h <= 0) return;
    if (w <= 0) w = h;
    if (h <= 0) h = w;
    vull_set_window_size(w, h);
}

static void vull_main_init(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (argv[i] && strncmp(argv[i], "frames=", 7) == 0) {
            frames_wanted = strtol(argv[i] + 7, nullptr, 10);
            if (frames_wanted < 0) frames_wanted = 0;
        }
    }
    vull_set_application_title("engine_host");
    vull_set_load_config_func(host_load_config);
    vull_set_save_config_func(host_save_config);
    vull_init();
    if (!cconfig.headless) {
        apply_window_size();
        vull_set_screen(HOST_PAGE, HOST_PAGE, 32, 0x100);
    }
    vull_set_window_title("engine_host");
}

static void vull_main_update() {
    frames_done++;
    if (frames_wanted > 0 && frames_done >= frames_wanted) vull_quit = 1;
}

// Eight bands whose red and blue shift each pass (red + blue = 255, no green),
// so a running window shows the loop is alive, inside a white border.
static void vull_main_draw() {
    vull_bitmap *page = vull_back_page;
    if (!page || page->bpp != 32) return;
    int band_h = page->height / 8 > 0 ? page->height / 8 : 1;
    for (int band = 0; band * band_h < page->height; band++) {
        uint32_t shade = uint32_t((band * 32 + frames_done * 2) & 255);
        vull_rectfill(page, 0, band * band_h, page->width - 1, band * band_h + band_h - 1,
                      0xFF000000u | shade << 16 | (255 - shade));
    }
    vull_rect(page, 0, 0, page->width - 1, page->height - 1, HOST_BORDER);
}

static void vull_main_exit() { vull_exit(); }

int main(int argc, char **argv) {
    vull_engine_attach();
    vull_set_app_funcs({vull_main_init, vull_main_update, vull_main_draw, vull_main_exit});
    return vull_main(argc, argv);
}
