// Sound objects: blocks of PCM samples that POD files hold and the mixer's
// engine channels 8-15 can play.
#pragma once
#include <cstdint>

struct csound {
    int32_t sample_count; // number of samples
    int32_t bits;         // bits per sample (the mixer plays 16-bit samples)
    int32_t frequency;    // 22050 at creation; not used by the mixer
    int32_t channels;     // 1 at creation
    void *data;           // the zeroed sample block, owned
    void *play_data;      // the samples the mixer reads; data at creation
    int32_t loop;         // nonzero: the mixer wraps to the start
    int32_t volume;       // 256 at creation; not applied by the mixer
    int32_t channel;      // mixer channel 0-15 playing it, -1 none
};

// Null for a negative count, bits other than 8 or 16, a block above 1 GiB, or
// when the object or its block cannot be allocated.
csound *vull_create_sound(int sample_count, int bits);
void vull_destroy_sound(csound *sound); // null accepted; detaches first
void vull_stop_sound(csound *sound);
void vull_play_sound(csound *sound); // on a free engine channel 8-15
void *vull_sound_lock(csound *sound);
void vull_sound_release(csound *sound);
void csound_set_frequency(csound *sound, int frequency);
int csound_set_volume(csound *sound, int volume); // the device-opened flag
int vull_sound_is_playing(csound *sound);
int vull_get_sound_position(csound *sound);
void vull_set_sound_position(csound *sound, int position);
int vull_sound_status(csound *sound);
