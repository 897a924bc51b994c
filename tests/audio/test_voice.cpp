// Voice synthesis: pitch to step, the shapes' numbers, note effects, custom
// instruments, noise periods and the echo, checked on rendered samples.
#include "audio_test_util.h"

#include <set>

TEST(PitchStep, OctaveTableAndClamp) {
    EXPECT_EQ(get_dx_for_note_fine(36 << 16), 1554);
    EXPECT_EQ(get_dx_for_note_fine(24 << 16), 777);
    EXPECT_EQ(get_dx_for_note_fine(63 << 16), 7392);
    EXPECT_EQ(get_dx_for_note_fine(-12 << 16), 97);
    EXPECT_EQ(get_dx_for_note_fine(84 << 16), 1554 * 16);
    EXPECT_EQ(get_dx_for_note_fine(88 << 16), 1958 * 16);
    EXPECT_EQ(get_dx_for_note_fine(89 << 16), 32768); // 2074 x 16 is the first above the clamp
    EXPECT_EQ(get_dx_for_note_fine(96 << 16), 32768);
    EXPECT_EQ(get_dx_for_note_fine(400 << 16), 32768); // no overflow far above
    EXPECT_EQ(get_dx_for_note_fine(-48 << 16), 12);    // 1554 halved seven times
    EXPECT_EQ(get_dx_for_note_fine(-200 << 16), 8);    // clamped below
    // Half-way between C and C#: the base interpolates linearly.
    EXPECT_EQ(get_dx_for_note_fine((36 << 16) + 0x8000), (32768 * 523 + 32768 * 554) / 22050);
}

TEST_F(AudioTest, SquareWaveGivesTwoValues) {
    fill_sfx(bank->sfx[3], 16, {36, 3, 7});
    ASSERT_EQ(vull_play_sfx_ex(&bank->sfx[3], 0, 0, bank.get(), 0), 0);
    std::vector<int16_t> s = render(4096);
    // amp 7 << 8 = 1792, A = 2688: 9214 x 2688 / 3072 = 8062. The first tick handed
    // out is the channel's idle buffer, the next starts with the crossfade from silence.
    std::set<int16_t> values(s.begin() + 183 + 64, s.end());
    EXPECT_EQ(values, (std::set<int16_t>{-8062, 8062}));
    int first_high = 0, rising = 0;
    for (size_t i = 184 + 64; i < s.size(); i++)
        if (s[i - 1] < 0 && s[i] > 0) {
            if (!first_high) first_high = int(i);
            rising++;
        }
    // 1554 / 65536 cycles a sample: about 97 cycles in 4096 samples.
    EXPECT_NEAR(rising, (4096 - 247) * 1554 / 65536, 1);
}

TEST_F(AudioTest, TriangleCrossesZeroAtItsPitch) {
    fill_sfx(bank->sfx[1], 255, {33, 0, 5}); // A at 440 Hz, long notes
    vull_play_sfx_ex(&bank->sfx[1], 0, 0, bank.get(), 0);
    std::vector<int16_t> s = render(22050 + 512);
    int rising = 0;
    for (size_t i = 513; i < s.size(); i++)
        if (s[i - 1] < 0 && s[i] >= 0) rising++;
    EXPECT_NEAR(rising, 440, 4.4);
}

TEST_F(AudioTest, SlideOnFirstNoteStartsAtPitch24) {
    zibo6_sfx &s = bank->sfx[2];
    fill_sfx(s, 8, {0, 0, 0});
    set_note(s, 0, {48, 0, 5, 1});
    mixer_channel &ch = ms0.channel[0];
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    calculate_osc_state(&ch, &ch.osc);
    EXPECT_EQ(ch.osc.pitch, 24 << 16);
    EXPECT_EQ(ch.osc.amp, 5 << 8); // its own volume from the start
    ch.ticks = 4;
    calculate_osc_state(&ch, &ch.osc);
    EXPECT_EQ(ch.osc.pitch, 36 << 16);
}

TEST_F(AudioTest, ArpeggioRateFollowsSpeed) {
    zibo6_sfx &s = bank->sfx[2];
    for (int n = 0; n < 4; n++) set_note(s, n, {10 * n, 0, 5, 6});
    mixer_channel &ch = ms0.channel[0];
    auto pitches = [&](int speed) {
        s.speed = speed;
        vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
        std::vector<int> out;
        for (int t = 0; t < 8; t++) {
            ch.ticks = t;
            calculate_osc_state(&ch, &ch.osc);
            out.push_back(ch.osc.pitch >> 16);
        }
        return out;
    };
    EXPECT_EQ(pitches(8), (std::vector<int>{0, 0, 10, 10, 20, 20, 30, 30}));
    EXPECT_EQ(pitches(9), (std::vector<int>{0, 0, 0, 0, 10, 10, 10, 10}));
}

TEST_F(AudioTest, InstrumentWithLengthFourFallsSilent) {
    zibo6_sfx &inst = bank->sfx[2];
    fill_sfx(inst, 2, {30, 3, 7});
    inst.loop_start = 4; // loop end 0: four notes long
    zibo6_sfx &s = bank->sfx[10];
    fill_sfx(s, 32, {36, 2, 7, 0, 128});
    mixer_channel &ch = ms0.channel[0];
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    std::vector<int> amps;
    for (int t = 0; t < 10; t++) {
        ch.ticks = t;
        calculate_osc_state(&ch, &ch.osc);
        amps.push_back(ch.osc.amp);
        EXPECT_EQ(ch.osc.waveform, t < 8 ? 3 : 0) << t;
        ch.inst_ticks++;
    }
    EXPECT_EQ(amps[0], 1792);
    EXPECT_EQ(amps[7], 1792);
    EXPECT_EQ(amps[8], 0); // the instrument's fifth note
    // Pitch 36 transposed by 30 - 24.
    ch.ticks = 0;
    ch.inst_ticks = 0;
    calculate_osc_state(&ch, &ch.osc);
    EXPECT_EQ(ch.osc.pitch, 42 << 16);
}

TEST_F(AudioTest, NoiseSampleAndHoldPeriods) {
    mixer_channel &ch = ms0.channel[0];
    auto changes = [&](int pitch) {
        osc_state o{};
        o.waveform = 6;
        o.noise_mode = 1;
        o.amp = 1792;
        o.pitch = pitch << 16;
        int16_t out[183];
        int n = 0;
        int16_t before = 0;
        for (int k = 0; k < 4; k++) {
            mix_osc_tick_new(&o, out, 183, &ch);
            for (int i = 0; i < 183; i++) {
                if (k + i > 0 && out[i] != before) n++;
                before = out[i];
            }
        }
        return n;
    };
    // Over 732 samples: about one change per period (equal draws are rare).
    EXPECT_GT(changes(63), 700);
    EXPECT_NEAR(changes(1), 732 / 63, 2);
    EXPECT_NEAR(changes(0), 732 / 64, 2);
    EXPECT_NEAR(changes(-1), 732 / 68, 2);
}

TEST_F(AudioTest, SilentTickAndEcho) {
    mixer_channel &ch = ms0.channel[0];
    for (int x = 0; x < 183; x++) ch.echo_ring[6][x] = int16_t(100 * x - 9000);
    ch.ring_index = 0;
    osc_state o{};
    o.phase = 1234;
    int16_t out[183];
    mix_osc_tick_new(&o, out, 183, &ch);
    for (int16_t v : out) EXPECT_EQ(v, 0);
    EXPECT_EQ(o.phase, 0);
    // amp 0 with echo level 1: half of the tick stored two ticks earlier (slot 0 - 2).
    ch.echo_level = 1;
    o.reverb = 1;
    mix_osc_tick_new(&o, out, 183, &ch);
    for (int x = 0; x < 183; x++) EXPECT_EQ(out[x], (100 * x - 9000) / 2) << x;
}

TEST_F(AudioTest, OutOfRangeNotesReadNothing) {
    zibo6_sfx &s = bank->sfx[4];
    fill_sfx(s, 1, {36, 0, 5, 7});
    mixer_channel &ch = ms0.channel[0];
    // A negative offset (the public call takes any) and one far past the end.
    for (int offset : {-1, -40, 31, 32, 1000, INT32_MIN / 2}) {
        vull_play_sfx_ex(&s, offset, 0, bank.get(), 0);
        calculate_osc_state(&ch, &ch.osc);
        if (offset < 0 || offset >= 32) { EXPECT_EQ(ch.osc.amp, 0) << offset; }
        tick(0, 3);
    }
    // Absurd note words: clamped amplitude, silent waveforms, never a table overrun.
    fill_sfx(s, 1, {1000, 99, 1000000, 6, 0});
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    tick(0, 40);
    fill_sfx(s, 1, {-5, -3, 7, 7, 128});
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    tick(0, 40);
    // Word extremes through an instrument, the octave shift and noise.
    zibo6_sfx &inst = bank->sfx[1];
    fill_sfx(inst, 1, {INT32_MAX, 6, INT32_MAX, 1, 0});
    fill_sfx(s, 1, {INT32_MIN, 1, INT32_MIN, 2, 128});
    sound_regs[0] = 0xF0;
    sound_regs[3] = 0xFF;
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    tick(0, 40);
    fill_sfx(s, 1, {INT32_MAX, 6, INT32_MAX, 3, 0});
    s.filters = INT32_MIN;
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    tick(0, 40);
    for (int fx = 0; fx < 8; fx++) { // every effect at the largest speed and loop words
        fill_sfx(s, INT32_MAX, {63, fx, 7, fx, fx & 1 ? 128 : 0});
        fill_sfx(inst, INT32_MAX, {63, fx, 7, fx, 0});
        inst.loop_end = s.loop_end = INT32_MAX;
        vull_play_sfx_ex(&s, INT32_MAX, INT32_MAX, bank.get(), 0);
        tick(0, 4);
        vull_play_sfx_ex(&s, 5, 0, bank.get(), 0);
        tick(0, 4);
    }
}
