// Shared fixture of the audio tests: a bank built in memory, a mixer without a
// device (22050 Hz mono, console sound) and renders through the real callback.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/voice.h"
#include "engine/config.h"
#include "engine/vull.h"

struct note_spec {
    int pitch, waveform, volume, effect = 0, custom = 0;
};

// A bank as a fresh cart holds it: speeds 16 (1 for sfx 0), every pattern off.
inline std::unique_ptr<zibo6_cart> make_bank() {
    auto bank = std::make_unique<zibo6_cart>();
    for (int i = 0; i < Z6_BANK_SFX; i++) bank->sfx[i].speed = i == 0 ? 1 : 16;
    for (int p = 0; p < Z6_BANK_PATTERNS; p++)
        for (int k = 0; k < 4; k++) bank->music[p][k] = 0x41 + k;
    return bank;
}

inline void set_note(zibo6_sfx &s, int n, note_spec spec) {
    s.note[n].pitch = spec.pitch;
    s.note[n].instrument = spec.waveform;
    s.note[n].volume = spec.volume;
    s.note[n].effect = spec.effect;
    s.note[n].custom = spec.custom;
}

// Every note the same.
inline void fill_sfx(zibo6_sfx &s, int speed, note_spec spec) {
    s.speed = speed;
    for (int n = 0; n < Z6_SFX_NOTES; n++) set_note(s, n, spec);
}

inline void set_pattern(zibo6_cart &bank, int p, int c0, int c1, int c2, int c3, int flags = 0) {
    bank.music[p][0] = c0;
    bank.music[p][1] = c1;
    bank.music[p][2] = c2;
    bank.music[p][3] = c3;
    bank.pattern_flags[p] = flags;
}

// The sound registers 0x5f40-0x5f43 the tests set (written between renders only).
inline int32_t sound_regs[4];

// A clock the fade tests step by hand.
inline int fake_now = 0;
inline int fake_clock() { return fake_now; }

class AudioTest : public ::testing::Test {
public:
    void SetUp() override {
        vull_sound_init_offline(); // no device: the tests call the callback themselves
        vull_state.paused = 0;
        vull_state.sound_paused = 0;
        for (int32_t &r : sound_regs) r = 0;
        vull_set_sound_registers(sound_regs);
        vull_music_mask = 0;
        vull_set_post_mix_func(nullptr);
        fake_now = 0;
        vull_set_music_clock(fake_clock);
        vull_fade_vol = 0;
        fade0 = fade1 = fade_len = fade_start_t = 0;
        bank = make_bank();
    }
    void TearDown() override {
        vull_stop_all_sounds();
        vull_set_music_clock(nullptr);
        vull_set_sound_registers(nullptr);
    }

    // n samples through the device callback, in device buffers of `chunk` samples.
    static std::vector<int16_t> render(int n, int chunk = 1024) {
        std::vector<int16_t> out(size_t(n) + size_t(chunk));
        for (int at = 0; at < n; at += chunk)
            vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(out.data() + at), chunk * 2);
        out.resize(size_t(n));
        return out;
    }

    // One tick of one channel through the tick loop.
    static void tick(int c, int ticks = 1) {
        for (int i = 0; i < ticks; i++) {
            ms0.channel[c].tick_cursor = Z6_TICK_SAMPLES; // the last tick is used up
            mix_sfx_channel(&ms0.channel[c], Z6_TICK_SAMPLES);
        }
    }

protected:
    std::unique_ptr<zibo6_cart> bank;
};
