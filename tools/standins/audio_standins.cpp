// Stand-in audio engine: silence, no music, and the sound and synth records.
#include "tools/standins/audio_standins.h"

#include <cstring>

#include "engine/config.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"

void cmusic_stop(cmusic *, int) {}

void vull_update_music_fading() {}

void vull_sound_exit() { vull_sound_exit_plat(); }

vull_sound *vull_create_sound(int sample_count, int bits_per_sample) {
    if (sample_count < 0 || (bits_per_sample != 8 && bits_per_sample != 16)) return nullptr;
    int64_t bytes = int64_t(sample_count) * (bits_per_sample / 8);
    if (bytes > VULL_ALLOC_CAP - 16) return nullptr;
    vull_sound *s = static_cast<vull_sound *>(vull_malloc(int(sizeof(vull_sound))));
    if (!s) return nullptr;
    s->data = vull_malloc(int(bytes));
    if (!s->data) {
        vull_free(s);
        return nullptr;
    }
    s->sample_count = sample_count;
    s->bits_per_sample = bits_per_sample;
    s->frequency = 22050;
    s->channels = 1;
    s->mixer_channel = -1;
    vull_items_created++;
    return s;
}

void vull_destroy_sound(vull_sound *sound) {
    if (!sound) return;
    // Detach under the lock so the mixer thread never sees a half-released sound.
    vull_lock_audio();
    sound->mixer_channel = -1;
    vull_unlock_audio();
    vull_free(sound->data);
    vull_free(sound);
    vull_items_created--;
}

void *vull_sound_lock(vull_sound *sound) { return sound ? sound->data : nullptr; }

void vull_sound_release(vull_sound *) {}

void csound_set_frequency(vull_sound *sound, int frequency) {
    if (sound) sound->frequency = frequency;
}

vull_synth *vull_create_synth(int n) {
    if (n < 0 || n > INT32_MAX / 4) return nullptr;
    vull_synth *s = static_cast<vull_synth *>(vull_malloc(int(sizeof(vull_synth))));
    if (!s) return nullptr;
    s->length = n * 4;
    vull_items_created++;
    return s;
}

void vull_destroy_synth(vull_synth *synth) {
    if (!synth) return;
    for (vull_synth_node &node : synth->node) vull_free(node.output);
    vull_destroy_sound(synth->rendered);
    vull_free(synth);
    vull_items_created--;
}

void vull_set_sound_volume(int volume) {
    if (vull_sound_inited) cconfig.sound_volume = volume;
}

void vull_set_music_volume(int volume) { cconfig.music_volume = volume; }

void vull_mixer_callback(void *, uint8_t *stream, int length) {
    if (length <= 0 || !stream) return;
    memset(stream, 0, size_t(length));
}
