// Node synthesiser: a graph of up to 32 oscillator and filter nodes whose
// parameters can follow other nodes' output sample by sample, rendered into a
// sound object. POD files read and write the records below.
#pragma once
#include <cstdint>

struct csound;

constexpr int VULL_SYNTH_NODES = 32;      // node slots of a synth
constexpr int VULL_SYNTH_PARAMS = 16;     // parameter slots of a node; 8-15 only pull in sources
constexpr int VULL_SYNTH_FILE_PARAMS = 8; // parameter slots that files store
constexpr int VULL_SYNTH_WAVE = 64;       // wave sample bytes of a node

enum : int32_t { SYNTH_EMPTY = 0, SYNTH_OSCILLATOR = 1, SYNTH_FILTER = 2 };
enum : int32_t { SYNTH_LPHP = 1, SYNTH_DELAY = 2, SYNTH_REDUCE = 3, SYNTH_MIX = 4 };

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

vull_synth *vull_create_synth(int n);       // zeroed, length n x 4; null when n < 0 or a
                                            // node buffer (16n bytes) passes the allocation cap
void vull_destroy_synth(vull_synth *synth); // null accepted; frees its buffers and sound
void vull_synth_clear_buffers(vull_synth *synth);
// Flag bit 0 keeps the node buffers after the render. A null sound renders into
// the synth's own sound.
void vull_synth_generate(vull_synth *synth, csound *sound, int flags);
void vull_synth_generate_slice(vull_synth *synth, csound *sound, int flags);
