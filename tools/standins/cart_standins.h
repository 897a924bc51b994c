// Stand-ins for the services the cart formats call in subsystems not built
// yet: the console terminal (declared in console/term.h) and the audio
// engine's sfx and song stops. Each records what it was
// asked so tests can check it, and each lives in an object file of its own, so
// the real function wins the link as soon as it exists; remove each when its
// real piece lands.
#pragma once
#include <string>

struct zibo6_cart;
struct zibo6_sfx;

// Console terminal (zibo_print, zibo_print_2): every printed line, newest last.
extern std::string z6_standin_terminal;

// Audio engine: counts of stop requests.
void vull_stop_sfx(zibo6_sfx *sfx);
void vull_stop_zibo6_song(zibo6_cart *bank);
extern int z6_standin_sfx_stops;
extern int z6_standin_song_stops;
