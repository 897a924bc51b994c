// Node synthesiser: a graph of up to 32 oscillator and filter nodes whose
// parameters can follow other nodes' output sample by sample, rendered into a
// sound object. The records are the pod code's too (engine/sound_item.h).
#pragma once
#include <cstdint>
#include "engine/sound_item.h" // the vull_synth records


enum : int32_t { SYNTH_EMPTY = 0, SYNTH_OSCILLATOR = 1, SYNTH_FILTER = 2 };
enum : int32_t { SYNTH_LPHP = 1, SYNTH_DELAY = 2, SYNTH_REDUCE = 3, SYNTH_MIX = 4 };

vull_synth *vull_create_synth(int n);       // zeroed, length n x 4; null when n < 0 or a
                                            // node buffer (16n bytes) passes the allocation cap
void vull_destroy_synth(vull_synth *synth); // null accepted; frees its buffers and sound
void vull_synth_clear_buffers(vull_synth *synth);
// Flag bit 0 keeps the node buffers after the render. A null sound renders into
// the synth's own sound.
void vull_synth_generate(vull_synth *synth, csound *sound, int flags);
void vull_synth_generate_slice(vull_synth *synth, csound *sound, int flags);
