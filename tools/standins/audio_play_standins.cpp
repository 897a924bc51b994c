// Stand-in sfx start: counts and reports no channel.
#include "tools/standins/audio_play_standins.h"

int z6_standin_sfx_started = 0;

int vull_play_sfx_ex(zibo6_sfx *sfx, int, int, zibo6_cart *, int) {
    if (sfx) z6_standin_sfx_started++;
    return -1;
}

int vull_get_sfx_playing_note(zibo6_sfx *) { return -1; }
int vull_music_is_playing() { return 0; }
void vull_stop_all_sounds() {}
