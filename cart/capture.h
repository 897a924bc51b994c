// The rolling clip of recent frames and its GIF file, and the cart label capture.
#pragma once

struct vull_bitmap;

constexpr int VIDEO_CLIP_SLOTS = 3600; // 120 seconds at 30 frames
constexpr int GIF_LEN_MAX = 120;       // seconds
constexpr int GIF_SCALE_MAX = 8;

extern int video_clip_index; // frames recorded (0: nothing)

void record_video_frame(const vull_bitmap *screen); // a 128 x 128 8-bit frame
vull_bitmap *shown_screen(); // the console screen through the screen palette (null: none)
void record_screen_frame();
const vull_bitmap *video_clip_frame(int i); // slot i of the clip, null when not made
void reset_video();
int get_current_gif_len();   // seconds, rounded
// 0 saved, 1 the file could not be opened or written, 9 nothing recorded.
int save_gif(int scale, int to_output_folder);
void set_cart_label(const vull_bitmap *screen);
