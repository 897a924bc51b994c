// Stand-in sfx and song stops: nothing plays, so they only count.
#include "tools/standins/cart_standins.h"

int z6_standin_sfx_stops;
int z6_standin_song_stops;

void vull_stop_sfx(zibo6_sfx *sfx) {
    if (sfx) z6_standin_sfx_stops++;
}

void vull_stop_zibo6_song(zibo6_cart *) { z6_standin_song_stops++; }
