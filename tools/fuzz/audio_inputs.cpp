// The audio engine's readers of untrusted input as hostile-input entries.
// xm: whatever module loads is played for a while (looping, so every order
// position and effect path is reached) and rendered into a sound, then
// written, read back and written again to the same bytes. synth: the node
// synthesiser items of a POD file, rendered twice and written back.
#include "tools/fuzz/hostile_inputs.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/sound.h"
#include "audio/synth.h"
#include "audio/xm.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "engine/vmath.h"

namespace {

constexpr size_t INPUT_LIMIT = 1u << 20;
// Modules play at a low rate: the same rows and effects in fewer samples.
constexpr int PLAY_RATE = 5512;
constexpr int PLAY_SAMPLES = 8192;
// Synths of up to this many buffer values are rendered (a larger one is read and
// written back only: its render time grows with the length).
constexpr int SYNTH_RENDER_MAX = 1 << 14;

void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "hostile xm: broken invariant: %s\n", what);
    std::abort();
}

xm_module *read_xm(const void *data, size_t size) {
    std::vector<uint8_t> copy(static_cast<const uint8_t *>(data),
                              static_cast<const uint8_t *>(data) + size);
    vull_file *f = vull_fopen_memory(copy.empty() ? nullptr : copy.data(), int(copy.size()));
    check(f != nullptr, "memory file");
    xm_module *m = vull_load_xm_from_file(f);
    vull_fclose(f);
    return m;
}

std::vector<uint8_t> write_xm(xm_module *m) {
    cbuffer *out = vull_create_buffer(0);
    check(vull_save_xm_to_file(m, out) == 0, "writing a loaded module");
    std::vector<uint8_t> bytes(out->data, out->data + out->length);
    vull_destroy_buffer(out);
    return bytes;
}

void free_xm(xm_module *m) {
    vull_destroy_xm(m);
    vull_free(m);
}

int run_xm(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    xm_module *m = read_xm(data, size);
    if (!m) return 0;
    check(m->channels >= 0 && m->channels <= XM_MAX_CHANNELS, "channel count");
    auto state = std::make_unique<xm_player>();
    vull_mix_xm_init(m, state.get(), PLAY_RATE);
    check(state->samples_per_tick >= 1 && state->samples_per_tick <= XM_TICK_SAMPLES,
          "samples per tick");
    state->loop = 1;
    state->playing = 1;
    std::vector<int16_t> out(PLAY_SAMPLES);
    vull_mix_xm_chunk(state.get(), out.data(), PLAY_SAMPLES);
    csound *sound = vull_create_sound(PLAY_SAMPLES, 16);
    csound_set_frequency(sound, PLAY_RATE);
    vull_mix_xm(m, sound);
    vull_destroy_sound(sound);
    std::vector<uint8_t> once = write_xm(m);
    xm_module *back = read_xm(once.data(), once.size());
    check(back != nullptr, "written module reads back");
    check(write_xm(back) == once, "written module writes back the same");
    free_xm(back);
    free_xm(m);
    return 0;
}

std::vector<int16_t> render(vull_synth *s) {
    vull_synth_generate(s, nullptr, 0);
    if (!s->rendered) return {};
    const auto *p = static_cast<const int16_t *>(vull_sound_lock(s->rendered));
    std::vector<int16_t> samples(p, p + s->rendered->sample_count);
    vull_sound_release(s->rendered);
    for (const vull_synth_node &n : s->node) check(n.buffer == nullptr, "node buffers freed");
    return samples;
}

cbuffer *write_synth(vull_synth *s) {
    cbuffer *out = vull_create_buffer(0);
    check(vull_serialise_synth(s, out) == 0, "writing a loaded synth");
    return out;
}

// The input as a pod set; every synth item in it is rendered twice with its own
// seed (the same samples, the engine's random sequence outside untouched) and
// written out after.
int run_synth(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    std::vector<uint8_t> copy(data, data + size);
    cpod *set[CPOD_SET_SIZE];
    vull_load_pod_set_from_memory(copy.data(), int(size), set);
    for (cpod *pod : set) {
        if (!pod) continue;
        for (int i = 0; i < pod->count; i++) {
            int slot = pod->used[i];
            if (pod->types[slot] != CPOD_SYNTH) continue;
            auto *s = static_cast<vull_synth *>(pod->items[slot]);
            if (s->length <= SYNTH_RENDER_MAX) {
                uint32_t high, low, high_after, low_after;
                vull_random_get_seeds(&high, &low);
                std::vector<int16_t> once = render(s);
                vull_random_get_seeds(&high_after, &low_after);
                check(high == high_after && low == low_after, "the render keeps the random state");
                check(render(s) == once, "a second render gives the same samples");
            }
            vull_destroy_buffer(write_synth(s));
        }
    }
    cpod_set_clear(set);
    return 0;
}

} // namespace

const hostile_entry hostile_entries[] = {
    {"xm", run_xm},
    {"synth", run_synth},
    {nullptr, nullptr},
};
