// Stand-ins for the services the cart formats call in subsystems not built
// yet: the console terminal, the shell's status message and the audio
// engine's sfx and song stops. Each records what it was asked so tests can
// check it; each goes when its real piece lands.
#pragma once
#include <string>

struct zibo6_cart;
struct zibo6_sfx;

// Console terminal: every printed line, newest last.
void zibo_print(const char *text);
void zibo_print_2(const char *format, int a, int b);
extern std::string z6_standin_terminal;

// Shell status message: the last text and its duration.
void show_message(const char *text, int ms);
extern std::string z6_standin_message;

// Audio engine: counts of stop requests.
void vull_stop_sfx(zibo6_sfx *sfx);
void vull_stop_zibo6_song(zibo6_cart *bank);
extern int z6_standin_sfx_stops;
extern int z6_standin_song_stops;
