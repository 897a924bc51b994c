// Stand-in for the audio engine: the least the engine core and the platform
// layer call, until the real mixer and synthesisers exist. Music calls do
// nothing, the mixer writes silence, sound and synth records are made and
// released with the fields that POD files read and write.
#pragma once
#include <cstdint>

struct cmusic; // a music object of the audio engine (never made by the stand-in)

// A sampled sound; the first four words and the sample block are what POD files hold.
struct vull_sound {
    int32_t sample_count;    // samples in the block
    int32_t bits_per_sample; // 8 or 16
    int32_t frequency;       // playback rate in Hz
    int32_t channels;        // 1 mono
    void *data;              // zero-filled sample block, bits / 8 x sample_count bytes
    int32_t mixer_channel;   // mixer channel playing it, -1 when detached
};

constexpr int VULL_SYNTH_NODES = 32; // node slots of a synth
constexpr int VULL_SYNTH_PARAMS = 8; // parameter slots of a node
constexpr int VULL_SYNTH_WAVE = 64;  // wave sample bytes of a node

struct vull_synth_param {
    int32_t value;    // set value
    int32_t current;  // computed current value (not stored in files)
    int32_t source;   // source node index
    int32_t mod_kind; // 0 none, 1 add the source's output, 2 multiply by it
};

struct vull_synth_node {
    int32_t word[3]; // word[0] is the node type; 0 marks an empty slot
    vull_synth_param param[VULL_SYNTH_PARAMS];
    int8_t wave[VULL_SYNTH_WAVE]; // signed wave samples
    int32_t wave_length;          // 0..64
    int32_t closing_word;
    int16_t *output; // rendered output buffer (not stored in files)
};

// A node synthesiser; the length word counts internal samples, four per output sample.
struct vull_synth {
    int32_t length; // internal samples
    int32_t seed;   // random seed of the rendering
    vull_synth_node node[VULL_SYNTH_NODES];
    vull_sound *rendered; // rendered sound (not stored in files)
};

void cmusic_stop(cmusic *music, int fade_ms); // stand-in: nothing plays, nothing to stop
void vull_update_music_fading();              // stand-in: no fades
void vull_sound_exit();                       // the device stays open until the process ends

// Null for a negative count, bits other than 8 or 16, or a block above 1 GiB.
vull_sound *vull_create_sound(int sample_count, int bits_per_sample);
void vull_destroy_sound(vull_sound *sound); // null accepted
void *vull_sound_lock(vull_sound *sound);   // the sample block for writing (null for null)
void vull_sound_release(vull_sound *sound);
void csound_set_frequency(vull_sound *sound, int frequency);

vull_synth *vull_create_synth(int n);       // zeroed, length n x 4; null for n < 0 or overflow
void vull_destroy_synth(vull_synth *synth); // null accepted

void vull_set_sound_volume(int volume); // kept only while the audio device is open
void vull_set_music_volume(int volume);
void vull_mixer_callback(void *user, uint8_t *stream, int length); // silence
