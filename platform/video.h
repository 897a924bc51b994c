// Screen, window and presentation: window modes, placement and scaling of
// the back page, window title and icon, and the frame-rate clock. The window
// itself belongs to the back end (platform/backend.h).
#pragma once
#include <cstdint>

#include "platform/hooks.h" // vull_video_engine: the engine's calls on pictures
#include "platform/picture.h"

// Where the back page lands in the window, in window pixels.
struct vull_dest_rect {
    int32_t x, y, w, h;
};
static_assert(sizeof(vull_dest_rect) == 16, "destination rectangle is four int32");

// The screen record: a bitmap record without pixels whose size is the window
// size. vull_screen points at it from program start and never changes.
extern vull_bitmap vull_screen_actual;
extern vull_bitmap *vull_screen;
extern vull_bitmap *vull_back_page; // the page the application draws into (null until set)
extern vull_palette_rec *vull_black_palette; // all zero; made with vull_palette

extern int desktop_w, desktop_h; // desktop size of the display in use (0 x 0 when unknown)
extern int vull_screen_mode;     // 0 windowed, 1 full screen
extern int vull_system_active;   // focus flag; 1 whenever the screen is (re)created
extern int vull_video_inited;

// Start-up and exit of the back end itself and of the video side. The _plat
// calls and vull_system_init/exit are the back end's.
int vull_system_init();
int vull_system_exit();
int vull_video_init();
int vull_video_exit();
int vull_video_init_plat(); // desktop_w and desktop_h
int vull_video_exit_plat();

// Screen set-up. flags: 4 windowed, 8 full screen, 0x100 use the configured mode.
int vull_set_screen(int width, int height, int depth, int flags);
int vull_set_screen_plat(int window_w, int window_h, int page_w, int page_h, int depth, int flags);
void vull_toggle_fullscreen();
void vull_set_windowed(int windowed);
int vull_get_windowed();
int vull_get_desktop_width();
int vull_get_desktop_height();
int vull_get_window_width();
int vull_get_window_height();
void vull_set_window_size(int w, int h);
void vull_set_palette(const uint8_t *rgb768);

// Presentation. The engine blit hands every draw onto the screen record to
// vull_blit_to_video_plat; it presents the whole bitmap when all offsets are 0
// (through the blit hook when one is set, else the back end).
int vull_blit_back_page();
int vull_blit_to_video_plat(const vull_bitmap *bmp, vull_bitmap *screen, int sx, int sy, int dx,
                            int dy, int w = 0, int h = 0, int flags = 0);
int vull_flip_screen();
int vull_get_pixel_perfect_plat();
void get_dest_rect(vull_dest_rect *rect);

// Frame-rate meter.
void vull_register_frame_start_for_fps();
void vull_register_frame_end_for_fps();
// Leaves ms out of the frame being measured: a wait the loop adds until the
// next frame is due is not the host's cost, and counting it would make the
// host rate equal the console's own.
void vull_exclude_from_fps(int ms);
int vull_get_fps();

void vull_set_window_icon(vull_bitmap *bmp);     // a 32-bit picture; others are ignored
void update_sdl_window_title(const char *text); // ignored without a window
int vull_is_app_active();

void calculate_emucol(uint32_t *table, int divisor);
void blit_from_8_to_32(const vull_bitmap *bmp, uint32_t *dest, int x, int y, int w, int h,
                       int pitch);
