// engine_host: a small application on the engine. It takes the engine's own
// options plus frames=N (quit after N passes), echoes each config.txt line
// the engine hands to its hook as "hook: <line>", and appends one line of its
// own to config.txt at exit.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/config.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/vull.h"
#include "platform/video.h"

static long frames_wanted;  // passes to run; 0 runs until the window closes
static long frames_done;    // passes run so far

static void host_load_config(const char *line)
{
    printf("hook: %s\n", line);
    fflush(stdout);
}

static void host_save_config(vull_file *file)
{
    if (file && file->kind == VULL_FILE_STREAM) fputs("// engine_host settings: none\n", file->stream);
}

void vull_main_init(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "frames=", 7) == 0) {
            frames_wanted = strtol(argv[i] + 7, nullptr, 10);
            if (frames_wanted < 0) frames_wanted = 0;
        }
    }
    vull_set_application_title("engine_host");
    vull_set_load_config_func(host_load_config);
    vull_set_save_config_func(host_save_config);
    vull_init();
    if (!cconfig.headless) vull_set_screen(128, 128, 32, 0x100);
    vull_set_window_title("engine_host");
}

void vull_main_update()
{
    frames_done++;
    if (frames_wanted > 0 && frames_done >= frames_wanted) vull_quit = 1;
}

// A slowly shifting band pattern, so a windowed run shows the loop is alive.
void vull_main_draw()
{
    vull_bitmap *page = vull_back_page;
    if (!page || page->bpp != 32) return;
    for (int band = 0; band < 8; band++) {
        uint32_t shade = uint32_t((band * 32 + frames_done * 2) & 255);
        vull_rectfill(page, 0, band * 16, 127, band * 16 + 15, 0xFF000000u | shade << 16 | (255 - shade));
    }
}

void vull_main_exit()
{
    vull_exit();
}

int main(int argc, char **argv)
{
    return vull_main(argc, argv);
}
