// Stand-ins for the terminal, the status message and the audio stops that the
// cart formats call (see cart_standins.h).
#include "tools/standins/cart_standins.h"

#include <cstdio>

std::string z6_standin_terminal;
std::string z6_standin_message;
int z6_standin_sfx_stops;
int z6_standin_song_stops;

void zibo_print(const char *text) {
    z6_standin_terminal += text ? text : "";
    z6_standin_terminal += '\n';
}

void zibo_print_2(const char *format, int a, int b) {
    char line[256];
    std::snprintf(line, sizeof line, format, a, b);
    zibo_print(line);
}

void show_message(const char *text, int) { z6_standin_message = text ? text : ""; }

void vull_stop_sfx(zibo6_sfx *sfx) {
    if (sfx) z6_standin_sfx_stops++;
}

void vull_stop_zibo6_song(zibo6_cart *) { z6_standin_song_stops++; }
