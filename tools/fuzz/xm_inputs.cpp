// The XM module reader as a hostile-input entry: whatever loads is played for a
// while (looping, so every order position and effect path is reached) and
// rendered whole into a sound, then written, read back and written again to
// the same bytes.
#include "tools/fuzz/hostile_inputs.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/sound.h"
#include "audio/xm.h"
#include "engine/disk.h"
#include "engine/mem.h"

namespace {

constexpr size_t INPUT_LIMIT = 1u << 20;
constexpr int PLAY_SAMPLES = 30000;

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
    vull_mix_xm_init(m, state.get(), 22050);
    check(state->samples_per_tick >= 1 && state->samples_per_tick <= XM_TICK_SAMPLES,
          "samples per tick");
    state->loop = 1;
    state->playing = 1;
    std::vector<int16_t> out(PLAY_SAMPLES);
    vull_mix_xm_chunk(state.get(), out.data(), PLAY_SAMPLES);
    csound *sound = vull_create_sound(PLAY_SAMPLES, 16);
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

} // namespace

const hostile_entry hostile_entries[] = {
    {"xm", run_xm},
    {nullptr, nullptr},
};
