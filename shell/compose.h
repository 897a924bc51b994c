// Frame composition: console screen memory through the screen palette and
// the screen modes into the back page, with the pause menu, spinners, the
// status message, the palette glitch, the TV frame and the overlays on top.
#pragma once
#include <cstdint>

struct vull_bitmap;

// The composition's own state: one global record.
struct compose_state {
    int32_t glitch_end;      // palette glitch end (engine ms); 0 = not started since boot
    vull_bitmap *tv_scratch; // the console picture while the TV frame is drawn (made on first use)
};
extern compose_state zcompose;

void vull_main_draw(); // the per-host-frame draw
void compose_exit();   // frees what the composition made

void blit_zibo6_back_page_to_zibo6_screen(int display); // display -> pstate.screen
void apply_draw_mode(vull_bitmap *bmp, int mode);       // screen modes on a 128x128 bitmap
void draw_tv_frame(vull_bitmap *page);
void draw_extpal_glitch(vull_bitmap *page);
void clear_extpal_glitch(); // a new boot starts without a glitch
// Starts the extended-palette glitch the first time a screen palette entry
// with bit 7 is set (frame composition shows it for a moment).
void activate_extpal_glitch();
// While the glitch shows (its last 150 ms), draws it over a 128x128 8-bit
// picture: the composed page, and each frame the clip records.
void draw_extpal_glitch_if_running(vull_bitmap *picture);
int visual_strlen(const char *text);
void draw_command_string();
// The ls listing: one entry per call while pstate.ls_lines is above 0.
void zibo6_list_files();
void draw_splash_screen();

// Resource pod picture n (an 8-bit bitmap unless the entry says otherwise), or
// null when the data file has none there.
vull_bitmap *resource_picture(int n);
// Draws resource picture n with colour 0 transparent; nothing when it is missing.
void draw_resource_picture(vull_bitmap *dst, int n, int x, int y);
// Console-font text in one colour; returns the y where drawing ended.
int draw_console_text(vull_bitmap *dst, const char *text, int x, int y, int colour);
// The status message (or hover text) bar at the time now.
void draw_message_bar(vull_bitmap *page, int now);
