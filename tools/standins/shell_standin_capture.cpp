// Stand-in capture: no frame clip, no GIF.
#include "tools/standins/shell_standins.h"

void record_video_frame(vull_bitmap *) {}
void reset_video() {}
int save_gif(int, int) { return 9; }
int get_current_gif_len() { return 0; }
