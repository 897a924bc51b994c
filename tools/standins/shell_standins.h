// Stand-ins for the pieces the player's shell calls before they are built:
// the dormant-token count, the cart browser and board
// downloads, and capture. Each file shell_standin_<piece>.cpp holds one piece
// and goes when the real piece lands.
#pragma once
#include <cstdint>

struct vull_bitmap;

// Tokens.
void calculate_dormant_tokens();

// Cart browser, board downloads.
void browse_update();
void update_browse_download();

// Capture: nothing is recorded.
void record_video_frame(vull_bitmap *screen);
void reset_video();
int save_gif(int scale, int to_output_folder); // 9: nothing recorded
int get_current_gif_len();
