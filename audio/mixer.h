// Layer audio: the audio engine; calls only engine/ and platform/.
// Mixer callback and device front: the 16 channel records, the device callback
// that mixes them, the post-mix hook and the recording buffer.
#pragma once
#include <cstdint>
#include "audio/hooks.h"
#include "audio/voice.h"

struct vull_file;
struct xm_player;

struct vull_mixer_state {
    mixer_channel channel[Z6_MIXER_CHANNELS]; // 0-3 sfx voices, 4-7 song layer, 8-15 engine
};
extern vull_mixer_state ms0; // changed by the main thread only inside the audio lock

extern vull_file *vull_audio_buffer;        // recording of the mixed samples (16-bit LE)

void vull_sound_init(int rate, int channels); // clears the mixer, then opens the device
void vull_sound_exit();                       // the device stays open until the process ends
// Hands the engine the audio engine's part of its loop and exit sequence and
// the functions of sound and synth items (engine/hooks.h), after the engine's
// own attach (vull_engine_attach); a program with sound calls it first, in
// its main, or through zibo6_attach_console.
void vull_sound_attach();
// The mixer without a device, for renders that call the callback themselves
// (z6sfx, tests, benchmarks): channels cleared, 22050 Hz mono, console sound,
// both volumes at unity.
void vull_sound_init_offline();
xm_player *vull_get_xm_playstate(); // the live music player (ps0)
// The device callback: bytes of 16-bit signed little-endian samples.
void vull_mixer_callback(void *user, uint8_t *stream, int bytes);
void vull_mixer_callback_0(uint8_t *stream, int bytes); // mixes without the silence checks
// One channel's n samples of a pass; true: all 0, and the buffer was left as it was.
bool update_mix_channel(mixer_channel *ch, int n);
// knee(a + b): soft-limits a sum of two 16-bit samples (-65536..65534) into 16 bits.
int32_t zibo6_knee(int32_t sum);
// dst[i] = knee(dst[i] + src[i]) over n samples; the two buffers do not overlap.
void zibo6_mix_down(int16_t *dst, const int16_t *src, int n);
vull_file *vull_audio_rec(); // starts recording into vull_audio_buffer
vull_file *vull_audio_end(); // stops; the buffer, or null when not recording
// Frees a channel: bank, sfx, song flag, sound and loop (caller holds the audio lock).
void clear_mixer_channel(mixer_channel *ch);
