// The records of sound and synth items (cpod types 9 and 11). The pod code
// reads and writes them; the audio engine owns everything else about them and
// hands the pod code their constructors and destructors (cpod_audio, engine/hooks.h).
#pragma once
#include <cstdint>

#include "engine/hooks.h" // cpod_audio

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

constexpr int VULL_SYNTH_NODES = 32;      // node slots of a synth
constexpr int VULL_SYNTH_PARAMS = 16;     // parameter slots of a node; 8-15 only pull in sources
constexpr int VULL_SYNTH_FILE_PARAMS = 8; // parameter slots that files store
constexpr int VULL_SYNTH_WAVE = 64;       // wave sample bytes of a node

struct vull_synth_param {
    int32_t value;    // base value, 16.16
    int32_t current;  // value at the index being rendered (not stored in files)
    int32_t source;   // source node index (0..31; anything else: none)
    int32_t mod_kind; // 0 constant, 1 add the source's output, 2 multiply by it
};

struct vull_synth_node {
    int32_t word[3]; // type (0 empty, 1 oscillator, 2 filter), kind (shape or filter), loop flag
    vull_synth_param param[VULL_SYNTH_PARAMS];
    int8_t wave[VULL_SYNTH_WAVE]; // drawn wave or pitch sequence
    int32_t wave_length;          // 0..64; 0 is taken as 64
    int32_t closing_word;
    int32_t *buffer;    // N values in 16.16 once evaluated (not stored in files)
    int32_t evaluating; // set while the node is being evaluated: a cycle reads it as unset
};

struct vull_synth {
    int32_t length; // N: values per node buffer, four to each output sample
    int32_t seed;   // random seed of the rendering
    vull_synth_node node[VULL_SYNTH_NODES];
    csound *rendered;    // the synth's own output sound (not stored in files)
    int32_t generating;  // a render is under way
    int32_t next_node;   // node the next slice evaluates
    int32_t output_node; // -1 none
};
