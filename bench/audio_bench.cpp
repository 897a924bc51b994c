// Mixer benchmark (built with -DZIBO6_BENCH=ON): a four-voice song under four
// sfx, all eight console channels rendering, through the real callback in
// device buffers of 1024 samples. The render_per_audio counter is render time
// divided by the audio time produced; the target is below 0.001.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"

static void fill(zibo6_sfx &s, int speed, int pitch, int wave, int effect, int filters) {
    s.speed = speed;
    s.filters = filters;
    for (int n = 0; n < 32; n++) {
        s.note[n].pitch = (pitch + 5 * n) % 64;
        s.note[n].instrument = (wave + n) % 8;
        s.note[n].volume = 3 + n % 5;
        s.note[n].effect = (effect + n) % 8;
    }
}

static void BM_MixEightChannels(benchmark::State &state) {
    auto bank = std::make_unique<zibo6_cart>();
    for (int i = 0; i < 16; i++)
        fill(bank->sfx[i], 3 + i % 5, 10 + 3 * i, i, i % 3, (i * 9) & 0xfe);
    for (int p = 0; p < 64; p++)
        for (int k = 0; k < 4; k++) bank->music[p][k] = 8 + k;
    vull_sound_init_offline();
    vull_play_zibo6_song(bank.get(), 0, 0);
    std::vector<int16_t> buf(1024);
    const int callbacks = 22050 * 10 / 1024; // about ten seconds of sound
    double rendered = 0, audio = 0;
    for (auto _ : state) {
        for (int k = 0; k < 4; k++) vull_play_sfx_ex(&bank->sfx[k], 0, 0, bank.get(), k);
        auto t0 = std::chrono::steady_clock::now();
        for (int c = 0; c < callbacks; c++)
            vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(buf.data()), 2048);
        rendered += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        audio += callbacks * 1024 / 22050.0;
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["render_per_audio"] = rendered / audio;
    vull_stop_all_sounds();
}
BENCHMARK(BM_MixEightChannels)->Unit(benchmark::kMillisecond);
