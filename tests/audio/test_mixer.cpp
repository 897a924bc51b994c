// Mixer callback: the knee, the master volume, device buffers of any size,
// half rate, the song layer muted under an sfx, output formats, silence while
// paused, sound objects and the post-mix hook.
#include "audio_test_util.h"

#include "audio/mixer.h"
#include "audio/sound.h"
#include "audio/xm.h"
#include "engine/disk.h"

using Mixer = AudioTest;

TEST(Knee, SumsStayInSixteenBits) {
    EXPECT_EQ(zibo6_knee(32767 + 32767), 32767);
    EXPECT_EQ(zibo6_knee(-32768 + -32768), -32768);
    EXPECT_EQ(zibo6_knee(20000 + 10000), 25660);
    EXPECT_EQ(zibo6_knee(24575), 24575);
    EXPECT_EQ(zibo6_knee(-24575), -24575);
    EXPECT_EQ(zibo6_knee(-30000), -25660);
    // every sum of two samples against the knee's definition: beyond +-24575
    // a fifth of the excess, divided toward zero
    for (int32_t s = -65536; s <= 65534; s++) {
        int32_t want = s > 24575 ? (s - 24576) / 5 + 24576 : s < -24575 ? (s + 24576) / 5 - 24576 : s;
        ASSERT_EQ(zibo6_knee(s), want) << "sum " << s;
    }
}

static void play_busy_voices(zibo6_cart &bank) {
    fill_sfx(bank.sfx[8], 5, {30, 1, 6, 2});
    fill_sfx(bank.sfx[9], 7, {42, 6, 5, 0});
    fill_sfx(bank.sfx[10], 3, {20, 5, 7, 6});
    fill_sfx(bank.sfx[11], 9, {50, 3, 4, 1});
    bank.sfx[9].filters = 2 | (5 << 3);
    for (int k = 0; k < 4; k++) vull_play_sfx_ex(&bank.sfx[8 + k], 0, 0, &bank, k);
}

TEST_F(Mixer, DeviceBufferSizeDoesNotChangeSamples) {
    std::vector<int16_t> runs[4];
    int sizes[4] = {256, 1024, 4096, 8192};
    for (int r = 0; r < 4; r++) {
        SetUp();
        play_busy_voices(*bank);
        runs[r] = render(8192 * 3, sizes[r]);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(runs[0], runs[2]);
    EXPECT_EQ(runs[0], runs[3]); // mixed in passes of 4096, never past the channel buffers
    int nonzero = 0;
    for (int16_t v : runs[0]) nonzero += v != 0;
    EXPECT_GT(nonzero, 8192 * 2);
}

TEST_F(Mixer, MasterVolumeAfterTheKnee) {
    play_busy_voices(*bank);
    std::vector<int16_t> full = render(4096);
    SetUp();
    play_busy_voices(*bank);
    cconfig.sound_volume = 128;
    std::vector<int16_t> half = render(4096);
    for (size_t i = 0; i < full.size(); i++) ASSERT_EQ(half[i], full[i] * 128 >> 8) << i;
    // Above 256 (config.txt is not range-checked) it acts as 256, never overflowing.
    SetUp();
    play_busy_voices(*bank);
    cconfig.sound_volume = 100000;
    EXPECT_EQ(render(4096), full);
    cconfig.sound_volume = 256;
}

TEST_F(Mixer, HalfRateDoublesEachSample) {
    fill_sfx(bank->sfx[8], 5, {30, 1, 6});
    vull_play_sfx_ex(&bank->sfx[8], 0, 0, bank.get(), 0);
    sound_regs[0] = 1;
    std::vector<int16_t> s = render(1024);
    for (int i = 0; i < 1024; i += 2) EXPECT_EQ(s[i], s[i + 1]) << i;
    EXPECT_EQ(ms0.channel[0].tick_cursor, (1024 / 2 + 1) % 183); // n / 2 + 1 consumed
}

TEST_F(Mixer, SfxMutesTheSongLayerOfItsVoice) {
    fill_sfx(bank->sfx[1], 1, {36, 3, 7});
    set_pattern(*bank, 0, 65, 66, 1, 67);
    set_pattern(*bank, 1, 65, 66, 1, 67);
    vull_play_zibo6_song(bank.get(), 0, 0);
    std::vector<int16_t> song = render(2048);
    EXPECT_NE(song, std::vector<int16_t>(2048));
    fill_sfx(bank->sfx[2], 16, {36, 0, 0});
    bank->sfx[2].loop_end = 8; // a silent loop holds the voice
    vull_play_sfx_ex(&bank->sfx[2], 0, 0, bank.get(), 2);
    EXPECT_EQ(render(2048), std::vector<int16_t>(2048)); // silent sfx over the song
    int before = vull_state.patterns_played;
    render(8192);
    EXPECT_GT(int(vull_state.patterns_played), before); // the song runs on unheard
}

// A voice that falls silent for a song pattern and sounds again in the next
// one within a pass starts that pass with silence, not with older samples.
TEST_F(Mixer, SilenceBeforeSoundInOnePassIsZero) {
    fill_sfx(bank->sfx[1], 1, {36, 3, 7}); // speed 1: a pattern is 32 ticks
    fill_sfx(bank->sfx[2], 1, {36, 0, 0}); // voice 0 keeps the song going, unheard
    set_pattern(*bank, 0, 2, 1, 66, 67);
    set_pattern(*bank, 1, 2, 65, 66, 67); // voice 1 off
    set_pattern(*bank, 2, 2, 1, 66, 67);
    vull_play_zibo6_song(bank.get(), 0, 0);
    const int pattern = 32 * 183, start = 183; // the first tick follows a silent one
    std::vector<int16_t> s = render(3 * pattern, 3000);
    for (int i = start + pattern + 183; i < start + 2 * pattern; i++) ASSERT_EQ(s[i], 0) << i;
    int heard = 0;
    for (int i = start + 2 * pattern; i < 3 * pattern; i++) heard += s[i] != 0;
    EXPECT_GT(heard, pattern / 2);
}

TEST_F(Mixer, OutputFormatsAndSilence) {
    play_busy_voices(*bank);
    std::vector<int16_t> mono = render(512);
    SetUp();
    play_busy_voices(*bank);
    vull_state.audio_freq_requested = vull_state.audio_freq = 44100;
    vull_state.audio_channels_requested = vull_state.audio_channels = 2;
    std::vector<int16_t> stereo(2048);
    vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(stereo.data()), 4096); // n = 512
    for (int j = 0; j < 2048; j++) ASSERT_EQ(stereo[j], mono[j / 4]) << j;
    // A device that granted another format, or a pause, gets zeros.
    vull_state.audio_freq = 48000;
    std::vector<int16_t> out(512, 7);
    vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(out.data()), 1024);
    EXPECT_EQ(out, std::vector<int16_t>(512));
    vull_state.audio_freq = 44100;
    vull_state.sound_paused = 3;
    out.assign(512, 7);
    vull_mixer_callback(nullptr, reinterpret_cast<uint8_t *>(out.data()), 1024);
    EXPECT_EQ(out, std::vector<int16_t>(512));
}

static int hook_calls, hook_count;
static void count_hook(int16_t *, int count) {
    hook_calls++;
    hook_count = count;
}

// The hook the mixer runs is the exported one, however it was stored.
TEST_F(Mixer, PostMixHookSeesTheWholeBuffer) {
    vull_set_post_mix_func(count_hook);
    hook_calls = 0;
    render(8192, 8192);
    EXPECT_EQ(hook_calls, 1);
    EXPECT_EQ(hook_count, 8192);
    vull_set_post_mix_func(nullptr);

    vull_post_mix_func = count_hook;
    hook_calls = 0;
    render(4096, 4096);
    EXPECT_EQ(hook_calls, 1) << "stored through vull_post_mix_func";
    EXPECT_EQ(hook_count, 4096);
    vull_post_mix_func = nullptr;
    render(4096, 4096);
    EXPECT_EQ(hook_calls, 1);
}

TEST_F(Mixer, SoundObjectsCopiedThenFreed) {
    csound *snd = vull_create_sound(100, 16);
    ASSERT_NE(snd, nullptr);
    int16_t *d = static_cast<int16_t *>(vull_sound_lock(snd));
    for (int i = 0; i < 100; i++) d[i] = int16_t(i * 100 - 5000);
    mixer_channel &ch = ms0.channel[9];
    // Whatever the idle channel's buffer holds from before, nothing of it is heard.
    render(2048, 256);
    std::fill(std::begin(ch.mix_buffer), std::end(ch.mix_buffer), int16_t(12345));
    ch.sound = snd;
    snd->channel = 9;
    cconfig.console_sound = 0; // all 16 channels heard
    std::vector<int16_t> s = render(256, 256);
    for (int i = 0; i < 100; i++) EXPECT_EQ(s[i], i * 100 - 5000) << i;
    for (int i = 100; i < 256; i++) EXPECT_EQ(s[i], 0) << i;
    EXPECT_EQ(ch.sound, snd); // freed on the callback that finds nothing left
    EXPECT_EQ(vull_sound_is_playing(snd), 1);
    render(256, 256);
    EXPECT_EQ(ch.sound, nullptr);
    EXPECT_EQ(vull_sound_is_playing(snd), 0);
    // Looping wraps within a pass; destroying detaches first.
    snd->loop = 1;
    ch.sound = snd;
    ch.sound_position = 0;
    s = render(256, 256);
    EXPECT_EQ(s[100], s[0]);
    EXPECT_EQ(s[255], s[55]);
    vull_destroy_sound(snd);
    EXPECT_EQ(ch.sound, nullptr);
    render(256, 256);
    // An 8-bit block is not read as 16-bit samples.
    csound *bytes = vull_create_sound(10, 8);
    ch.sound = bytes;
    render(256, 256);
    EXPECT_EQ(ch.sound, nullptr);
    vull_destroy_sound(bytes);
    EXPECT_EQ(vull_create_sound(-1, 16), nullptr);
    EXPECT_EQ(vull_create_sound(10, 12), nullptr);
    EXPECT_EQ(vull_create_sound(0x30000000, 16), nullptr);
}

TEST_F(Mixer, RecordingKeepsTheMixedSamples) {
    play_busy_voices(*bank);
    EXPECT_EQ(vull_audio_end(), nullptr); // not recording
    vull_file *rec = vull_audio_rec();
    ASSERT_NE(rec, nullptr);
    std::vector<int16_t> s = render(2048, 512);
    EXPECT_EQ(vull_audio_end(), rec);
    ASSERT_EQ(rec->length, 2048 * 2);
    for (int i = 0; i < 2048; i++)
        ASSERT_EQ(int16_t(rec->data[2 * i] | rec->data[2 * i + 1] << 8), s[i]) << i;
    render(512);
    EXPECT_EQ(rec->length, 2048 * 2); // stopped
}

TEST(MixerFront, XmPlaystateIsTheLivePlayer) { EXPECT_EQ(vull_get_xm_playstate(), &ps0); }
