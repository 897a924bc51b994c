// Sound objects: blocks of PCM samples that POD files hold and the mixer's
// engine channels 8-15 can play.
#pragma once
#include <cstdint>
#include "engine/sound_item.h" // the csound record

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
