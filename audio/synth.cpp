// Node synthesiser items: made and freed with their POD container. The renderer
// is not part of this build, so no node ever gets an output buffer of its own.
#include "audio/synth.h"

#include <cstdint>

#include "audio/sound.h"
#include "engine/mem.h"
#include "engine/vull.h"

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
