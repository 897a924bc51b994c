// Mixer benchmark (built with -DZIBO6_BENCH=ON): all eight console voices busy
// all the time, through the real callback in device buffers of 1024 samples.
// Four looping sfx play on the sfx voices and a looping four-channel song on
// the song layer (tests/audio/busy_bank.h: every waveform, effect, custom
// instrument and filter setting). Render time is the thread's CPU time, so
// that other work on the machine does not count. Counters: render_per_audio,
// render time over the audio time produced; x_real_time, its inverse (the
// target is at least 1000); busy_voices, the mean count of voices 0-7 playing
// an sfx after each callback (8 when the benchmark measures what it says).
// Five repetitions, of which the median, mean and spread are printed: on a
// shared machine a single figure is as likely an outlier as not. The header
// carries the load average.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "tests/audio/busy_bank.h"

static double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

static void BM_MixEightBusyVoices(benchmark::State &state) {
    auto bank = std::make_unique<zibo6_cart>();
    fill_busy_bank(*bank);
    vull_sound_init_offline();
    play_busy_bank(*bank);
    std::vector<int16_t> buf(1024);
    const int callbacks = 22050 * 10 / 1024; // about ten seconds of sound
    double rendered = 0, audio = 0, busy = 0, checks = 0;
    for (auto _ : state) {
        double t0 = thread_cpu_seconds();
        for (int c = 0; c < callbacks; c++) {
            vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(buf.data()), 2048);
            for (int k = 0; k < 8; k++) busy += ms0.channel[k].sfx != nullptr;
        }
        checks += callbacks;
        rendered += thread_cpu_seconds() - t0;
        audio += callbacks * 1024 / 22050.0;
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["render_per_audio"] = rendered / audio;
    state.counters["x_real_time"] = audio / rendered;
    state.counters["busy_voices"] = busy / checks;
    vull_stop_all_sounds();
}
BENCHMARK(BM_MixEightBusyVoices)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
