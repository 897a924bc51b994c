// Node synthesiser records: what POD files read and write of a synth item.
// Nothing in the player renders one; items are made, carried and freed.
#pragma once
#include <cstdint>

struct csound;

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
    csound *rendered; // rendered sound (not stored in files)
};

vull_synth *vull_create_synth(int n);       // zeroed, length n x 4; null for n < 0 or overflow
void vull_destroy_synth(vull_synth *synth); // null accepted; frees its buffers and sound
