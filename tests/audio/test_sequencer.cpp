// Channel sequencer: how long sfx last, loops and releases, the end rules,
// pattern lengths and steps, crush and dampen, ticks straddling device buffers.
#include "audio_test_util.h"

// Ticks until channel c lets its sfx go (limit when it never does).
static int ticks_until_end(int c, int limit = 2000) {
    for (int t = 1; t <= limit; t++) {
        AudioTest::tick(c);
        if (!ms0.channel[c].sfx) return t;
    }
    return limit;
}

using Sequencer = AudioTest;

TEST_F(Sequencer, LengthOfPlainSfx) {
    zibo6_sfx &s = bank->sfx[5];
    fill_sfx(s, 1, {36, 1, 5});
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 32); // speed 1: 32 ticks of 183 samples
    s.speed = 0;                       // counts as 1
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 32);
    s.speed = 3;
    s.loop_start = 8; // loop end 0: eight notes long
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 24);
    // A cut after four notes at speed 10 stops it at 40 ticks though notes go on.
    s.speed = 10;
    s.loop_start = 0;
    vull_play_sfx_ex(&s, 0, 4, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 40);
}

TEST_F(Sequencer, TrailingSilenceEndsEarlyUnlessEchoOrSlide) {
    zibo6_sfx &s = bank->sfx[5];
    fill_sfx(s, 2, {36, 1, 0});
    for (int n = 0; n < 10; n++) set_note(s, n, {36, 1, 5});
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 20); // ends with the last tick of note 9
    set_note(s, 10, {36, 1, 0, 1});    // a slide to silence is heard
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 22);
    set_note(s, 10, {36, 1, 0, 0});
    s.filters = 3 << 3; // reverb digit 1: plays to its length
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 64);
}

TEST_F(Sequencer, LoopStartAsLengthBeyondTheNotes) {
    zibo6_sfx &s = bank->sfx[5];
    fill_sfx(s, 1, {36, 2, 5});
    s.loop_start = 255; // used as the length: notes past 31 do not exist
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 32);
    s.filters = 6 << 3; // echo keeps it up to (speed + 4) x 32 ticks, reading no note past 31
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    EXPECT_EQ(ticks_until_end(0), 160);
}

TEST_F(Sequencer, LoopAndRelease) {
    zibo6_sfx &s = bank->sfx[5];
    fill_sfx(s, 1, {36, 1, 5});
    s.loop_start = 8;
    s.loop_end = 16;
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 0);
    mixer_channel &ch = ms0.channel[0];
    tick(0, 16);
    EXPECT_EQ(ch.ticks, 8); // wrapped back to note 8
    tick(0, 100);
    EXPECT_GE(ch.ticks, 8);
    EXPECT_LT(ch.ticks, 16);
    vull_release_looping_zibo6_channel(0);
    tick(0, 40);
    EXPECT_GT(ch.ticks, 32); // played on past its loop end and past note 31
    EXPECT_EQ(ch.sfx, &s);   // keeps its channel, silent
    EXPECT_EQ(ch.osc.amp, 0);
    vull_release_looping_zibo6_channel(16); // out of range: nothing
    vull_release_looping_zibo6_channel(-1);
}

TEST_F(Sequencer, PatternLength) {
    fill_sfx(bank->sfx[1], 16, {36, 1, 5});
    fill_sfx(bank->sfx[2], 4, {36, 1, 5});
    set_pattern(*bank, 0, 65, 1, 2, 66);
    EXPECT_EQ(zibo6_pattern_length(bank.get(), 0), 512);
    bank->sfx[1].loop_end = 4;
    bank->sfx[2].loop_end = 4;
    EXPECT_EQ(zibo6_pattern_length(bank.get(), 0), 32 * 16);
    set_pattern(*bank, 1, 64, 65, 66, 67);
    EXPECT_EQ(zibo6_pattern_length(bank.get(), 1), 0);
    bank->sfx[1].speed = INT32_MAX; // a word no reader should give, held to 32 bits
    EXPECT_EQ(zibo6_pattern_length(bank.get(), 0), INT32_MAX);
}

TEST_F(Sequencer, SongStepsLoopBackAndStop) {
    fill_sfx(bank->sfx[1], 1, {36, 1, 5});
    for (int p = 0; p < 8; p++) set_pattern(*bank, p, 1, 65, 66, 67);
    bank->pattern_flags[2] = 1;
    bank->pattern_flags[4] = 1;
    bank->pattern_flags[5] = 2;
    vull_play_zibo6_song(bank.get(), 3, 0);
    mixer_channel &ch = ms0.channel[4];
    EXPECT_EQ(ch.remaining_ticks, 32);
    for (int k = 4; k < 8; k++) tick(k, 32);
    EXPECT_EQ(ch.pattern, 4);
    for (int k = 4; k < 8; k++) tick(k, 32);
    EXPECT_EQ(ch.pattern, 5);
    for (int k = 4; k < 8; k++) tick(k, 32);
    EXPECT_EQ(ch.pattern, 4); // loop back to the nearest loop start
    EXPECT_EQ(vull_state.song_pattern, 4);
    bank->pattern_flags[4] = 0;
    bank->pattern_flags[2] = 0;
    for (int k = 4; k < 8; k++) tick(k, 64);
    EXPECT_EQ(ch.pattern, 0); // no loop start: back to 0
    bank->pattern_flags[1] = 4;
    for (int k = 4; k < 8; k++) tick(k, 64);
    EXPECT_EQ(ch.pattern, -1); // stop flag
    EXPECT_EQ(vull_state.song_pattern, -1);
    EXPECT_FALSE(ch.song);
    EXPECT_EQ(vull_music_is_playing(), 0);
}

TEST_F(Sequencer, SongVoiceRunningPastTheLastPatternLeavesTheSongPattern) {
    // Voice 0 at half rate falls behind: voices 1-3 run past pattern 63 and end
    // while voice 0 still plays it, so the song is still on pattern 63.
    fill_sfx(bank->sfx[1], 1, {36, 1, 5});
    set_pattern(*bank, 63, 1, 1, 1, 1);
    sound_regs[0] = 1;
    vull_play_zibo6_song(bank.get(), 63, 0);
    render(32 * Z6_TICK_SAMPLES + 1024);
    EXPECT_FALSE(ms0.channel[5].song);
    ASSERT_TRUE(ms0.channel[4].song);
    EXPECT_EQ(ms0.channel[4].pattern, 63);
    EXPECT_EQ(vull_music_is_playing(), 1);
    EXPECT_EQ(vull_state.song_pattern, 63);
    render(32 * Z6_TICK_SAMPLES);
    EXPECT_EQ(vull_music_is_playing(), 0); // voice 0 ended too
}

TEST_F(Sequencer, CrushAndDampen) {
    zibo6_sfx &s = bank->sfx[5];
    fill_sfx(s, 4, {36, 2, 7});
    mixer_channel &ch = ms0.channel[1];
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 1);
    tick(1, 2);
    int16_t plain[183];
    std::copy(ch.tick_buffer, ch.tick_buffer + 183, plain);
    // Bit voice of 0x5f42: magnitudes keep their top four bits.
    auto top4 = [](int v) { return int16_t(v >= 0 ? v & 0xF000 : -((-v) & 0xF000)); };
    ch = mixer_channel{};
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 1);
    sound_regs[2] = 1 << 1;
    tick(1, 2);
    for (int i = 0; i < 183; i++) EXPECT_EQ(ch.tick_buffer[i], top4(plain[i])) << i;
    // Bit voice + 4: the 16-bit pattern masked with 0xF007.
    ch = mixer_channel{};
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 1);
    sound_regs[2] = 1 << 5;
    tick(1, 2);
    for (int i = 0; i < 183; i++)
        EXPECT_EQ(ch.tick_buffer[i], int16_t(uint16_t(plain[i]) & 0xF007)) << i;
    EXPECT_EQ(int16_t(uint16_t(-1) & 0xF007), -4089);
    EXPECT_EQ(top4(0x1FFF), 0x1000);
    EXPECT_EQ(top4(-0x1FFF), -0x1000);
    // Dampen 15 (both bits of 0x5f43) moves each sample 1/16 of the way.
    sound_regs[2] = 0;
    sound_regs[3] = (1 << 1) | (1 << 5);
    ch = mixer_channel{};
    fill_sfx(s, 4, {36, 1, 0});
    ch.tick_buffer[182] = 16000;
    vull_play_sfx_ex(&s, 0, 0, bank.get(), 1);
    tick(1);
    EXPECT_EQ(ch.dampen, 15);
    EXPECT_EQ(ch.tick_buffer[0], 16000 * 15 / 16);
    EXPECT_EQ(ch.tick_buffer[1], ch.tick_buffer[0] * 15 / 16);
}

// A voice left silent keeps its echo ring silent: an sfx started after as
// many silent ticks as its echo reaches back hears nothing of the one before,
// whether the silence lasted those ticks or far longer.
TEST_F(Sequencer, EchoAfterSilenceHearsOnlySilence) {
    auto after_silence = [&](int reverb, int silent_ticks) {
        SetUp();
        zibo6_sfx &a = bank->sfx[5], &b = bank->sfx[6];
        fill_sfx(a, 1, {30, 1, 7});
        a.loop_start = 16; // fills all eight ring slots
        fill_sfx(b, 4, {40, 2, 5});
        b.filters = (reverb * 3) << 3;
        mixer_channel &ch = ms0.channel[1];
        vull_play_sfx_ex(&a, 0, 0, bank.get(), 1);
        ticks_until_end(1);
        tick(1, 1 + silent_ticks); // a's fade-out tick, then silence
        vull_play_sfx_ex(&b, 0, 0, bank.get(), 1);
        std::vector<int16_t> out;
        for (int t = 0; t < 6; t++) {
            tick(1);
            out.insert(out.end(), ch.tick_buffer, ch.tick_buffer + Z6_TICK_SAMPLES);
        }
        return out;
    };
    for (int reverb = 1; reverb <= 2; reverb++) {
        int reach = reverb == 1 ? 2 : 4;
        std::vector<int16_t> long_silence = after_silence(reverb, 40);
        EXPECT_NE(after_silence(reverb, reach - 1), long_silence) << "the fade-out is heard";
        for (int k = reach; k <= 20; k++)
            EXPECT_EQ(after_silence(reverb, k), long_silence) << "reverb " << reverb << ", " << k;
    }
}

TEST_F(Sequencer, TicksStraddleDeviceBuffers) {
    auto run = [&](int chunk) {
        SetUp();
        fill_sfx(bank->sfx[6], 3, {30, 1, 6, 2});
        set_note(bank->sfx[6], 5, {40, 4, 7, 6});
        bank->sfx[6].filters = (1 << 3) | 4;
        vull_play_sfx_ex(&bank->sfx[6], 0, 0, bank.get(), 2);
        return render(183 * 40, chunk);
    };
    std::vector<int16_t> whole = run(183 * 40), odd = run(100), tiny = run(7);
    EXPECT_EQ(whole, odd);
    EXPECT_EQ(whole, tiny);
}
