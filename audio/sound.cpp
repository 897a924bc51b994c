// Sound objects: PCM blocks held as POD items and played, unchanged, on the
// mixer's engine channels. Attaching and detaching hold the audio lock; the
// mixer reads the sample count, play data and loop flag on its own thread.
#include "audio/sound.h"

#include "audio/mixer.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"

csound *vull_create_sound(int sample_count, int bits) {
    int bytes = 0;
    // Counts and sizes come from files: refuse what cannot be a sample block.
    if ((bits != 8 && bits != 16) || !vull_checked_size(sample_count, bits / 8, 0, &bytes))
        return nullptr;
    if (bytes > VULL_ALLOC_CAP - VULL_MALLOC_SPARE) return nullptr;
    csound *s = static_cast<csound *>(vull_malloc(int(sizeof(csound))));
    if (!s) return nullptr;
    s->sample_count = sample_count;
    s->bits = bits;
    s->frequency = 22050;
    s->channels = 1;
    // Readers write the block straight away: an object without one would be a trap.
    s->data = vull_malloc(bytes);
    if (!s->data) {
        vull_free(s);
        return nullptr;
    }
    s->play_data = s->data;
    s->loop = 0;
    s->volume = 256;
    s->channel = -1;
    vull_items_created++;
    return s;
}

// Frees the channel that plays this sound (caller holds the audio lock).
static void detach(csound *s) {
    if (s->channel < 0 || s->channel >= Z6_MIXER_CHANNELS) return;
    mixer_channel *ch = &ms0.channel[s->channel];
    if (ch->sound != s) return;
    clear_mixer_channel(ch);
    s->channel = -1;
}

void vull_destroy_sound(csound *sound) {
    if (!sound) return;
    vull_lock_audio();
    // Without a device no channel plays it, but detaching is harmless and keeps a
    // headless render (which calls the mixer itself) from reading freed samples.
    detach(sound);
    vull_unlock_audio();
    vull_free(sound->data);
    vull_free(sound);
    vull_items_created--;
}

void vull_stop_sound(csound *sound) {
    if (!sound || !vull_sound_inited) return;
    vull_lock_audio();
    detach(sound);
    vull_unlock_audio();
}

void vull_play_sound(csound *sound) {
    if (!sound || !vull_sound_inited) return;
    vull_lock_audio();
    detach(sound);
    int c = -1;
    for (int k = 8; k < 16 && c < 0; k++) {
        const mixer_channel *ch = &ms0.channel[k];
        if (!ch->sound && !ch->sfx && !ch->song) c = k;
    }
    if (c < 0) {
        // Take the shortest sound among 12-15, unless it loops.
        for (int k = 12; k < 16; k++) {
            const csound *o = ms0.channel[k].sound;
            if (o && (c < 0 || o->sample_count < ms0.channel[c].sound->sample_count)) c = k;
        }
        if (c >= 0 && ms0.channel[c].sound->loop) c = -1;
    }
    if (c >= 0) {
        ms0.channel[c].sound = sound;
        ms0.channel[c].sound_position = 0;
        sound->channel = c;
    }
    vull_unlock_audio();
}

void *vull_sound_lock(csound *sound) { return sound ? sound->data : nullptr; }

void vull_sound_release(csound *) {}

void csound_set_frequency(csound *sound, int frequency) {
    if (sound) sound->frequency = frequency;
}

int csound_set_volume(csound *sound, int volume) {
    if (vull_sound_inited && sound) sound->volume = volume;
    return vull_sound_inited;
}

int vull_sound_is_playing(csound *sound) {
    if (!sound || sound->channel < 0 || sound->channel >= Z6_MIXER_CHANNELS) return 0;
    vull_lock_audio(); // the mixer clears a finished sound's channel
    int playing = ms0.channel[sound->channel].sound == sound ? 1 : 0;
    vull_unlock_audio();
    return playing;
}

int vull_get_sound_position(csound *) { return 0; }

void vull_set_sound_position(csound *, int) {}

int vull_sound_status(csound *) { return 0; }
