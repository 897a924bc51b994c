// Channel control, music and fades: the main thread's side of the audio engine.
// Everything that changes channel records holds the audio lock.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/hooks.h" // vull_set_music_clock
#include "platform/system.h"

struct zibo6_cart;
struct zibo6_sfx;
struct cmusic; // an XM music object (audio/xm.h)

extern std::atomic<int32_t> vull_fade_vol; // 0..65536, current music level; read by the mixer
extern int32_t fade0, fade1;               // level at fade start, target level (0 or 65536)
extern int32_t fade_len;                   // fade length in ms
extern int32_t fade_start_t;               // clock (ms) at fade start
extern cmusic *vull_current_music;         // the current XM music (null: none)
// Bits 0-3 reserve voices for the song when an sfx looks for a free voice.
extern std::atomic<int32_t> vull_music_mask;

// RAII hold of the nesting audio lock.
struct audio_lock {
    audio_lock() { vull_lock_audio(); }
    ~audio_lock() { vull_unlock_audio(); }
    audio_lock(const audio_lock &) = delete;
    audio_lock &operator=(const audio_lock &) = delete;
};


// Sound effects. offset and length in notes (length 0: no limit); channel 0-15 or -1.
int vull_play_sfx_ex(zibo6_sfx *sfx, int offset, int length, zibo6_cart *bank, int channel);
void vull_play_sfx(zibo6_sfx *sfx, zibo6_cart *bank);
void vull_stop_sfx(zibo6_sfx *sfx);
void vull_release_looping_zibo6_channel(int channel);
int vull_get_sfx_playing_note(zibo6_sfx *sfx);      // note index, or -1
zibo6_sfx *vull_get_zibo6_channel_sfx(int channel); // null when idle or out of range
int vull_get_channel_note(int channel);             // note index of channel 0-15, or -1
void vull_stop_all_sounds();
// Songs.
void vull_play_zibo6_song(zibo6_cart *bank, int pattern, int fade_ms);
void vull_stop_zibo6_song(zibo6_cart *bank); // null: every song channel
void cmusic_stop(cmusic *music, int fade_ms);
// Starts a fade up to full level from `from` over fade_ms, and applies it once.
void vull_start_music_fade(int32_t from, int fade_ms);
void vull_update_music_fading();
int vull_music_is_playing();
int vull_get_zibo6_song_ticks();
// Volumes.
void vull_set_sound_volume(int volume);
void vull_set_music_volume(int volume);
// Queries.
int vull_sfx_is_playing(zibo6_sfx *sfx);
int vull_zibo6_song_is_playing(zibo6_cart *bank); // pattern or -1
int vull_any_sound_is_playing();
void debug_zibo6_channels();
int vull_music_get_fading_state(); // 1 fading in, 2 fading out, 0 neither
cmusic *vull_get_current_music();
