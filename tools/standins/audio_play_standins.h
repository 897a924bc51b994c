// Stand-ins for the audio engine's sfx start and queries that printing's
// sound code calls, until the audio engine lands: nothing plays, so no sound
// is ever busy. Remove with the real channel control.
#pragma once

struct zibo6_cart;
struct zibo6_sfx;

int vull_play_sfx_ex(zibo6_sfx *sfx, int offset, int length, zibo6_cart *bank, int channel);
int vull_get_sfx_playing_note(zibo6_sfx *sfx); // -1: not playing
int vull_music_is_playing();
void vull_stop_all_sounds();
void vull_stop_zibo6_song(zibo6_cart *bank);

// Sfx started through the stand-in, newest last (tests read it).
extern int z6_standin_sfx_started;
