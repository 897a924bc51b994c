// Music objects: a module that the live XM player can be started on. Every
// change to the player happens inside the audio lock, since the mixer's music
// step renders it on the audio thread.
#include <algorithm>

#include "audio/channel.h"
#include "audio/xm.h"
#include "engine/disk.h"
#include "engine/mem.h"

namespace {

// Takes the player off its module (caller holds the audio lock).
void detach_player() {
    ps0.playing = 0;
    ps0.module = nullptr;
}

void free_module(cmusic *music) {
    vull_destroy_xm(music->module);
    vull_free(music->module);
    music->module = nullptr;
}

int load_into(cmusic *music, vull_file *file) {
    if (!music || !file) return 1;
    if (music == vull_current_music) {
        audio_lock lock;
        detach_player();
    }
    free_module(music);
    music->module = vull_load_xm_from_file(file);
    return music->module ? 0 : 1;
}

} // namespace

cmusic *vull_create_music() { return static_cast<cmusic *>(vull_malloc(int(sizeof(cmusic)))); }

void vull_destroy_music(cmusic *music) {
    if (!music) return;
    if (music == vull_current_music) {
        audio_lock lock;
        detach_player();
        vull_current_music = nullptr; // no dangling current music once freed
    }
    free_module(music);
    vull_free(music);
}

int cmusic_load(cmusic *music, const void *data, int length) {
    if (!music || !data || length < 0) return 1;
    vull_file *f = vull_fopen_memory(const_cast<void *>(data), length);
    int result = load_into(music, f);
    vull_fclose(f);
    return result;
}

int cmusic_load_from_file(cmusic *music, vull_file *file) { return load_into(music, file); }

void cmusic_play(cmusic *music, int fade_ms, int start_position, int loop) {
    if (!music || !music->module) return;
    audio_lock lock;
    detach_player();
    vull_mix_xm_init(music->module, &ps0, 22050);
    vull_start_music_fade(vull_fade_vol.load(std::memory_order_relaxed), fade_ms);
    ps0.position = std::clamp(start_position, 0, std::max(music->module->song_length - 1, 0));
    ps0.loop = loop;
    vull_current_music = music;
    ps0.playing = 1;
}

void disable_music(cmusic *music) {
    if (music && music != vull_current_music) return;
    audio_lock lock;
    detach_player();
}
