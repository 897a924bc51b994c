// Channel control: the console's voice choice and stealing, the music mask,
// stops, song starts that refuse, and the music fade on a stepped clock.
#include "audio_test_util.h"

using Channel = AudioTest;

TEST_F(Channel, VoiceChoiceAndMask) {
    fill_sfx(bank->sfx[1], 16, {36, 1, 5});
    fill_sfx(bank->sfx[2], 16, {36, 1, 5});
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[2], 0, 0, bank.get(), -1), 0); // all idle: voice 0
    vull_stop_all_sounds();
    for (int p = 0; p < 2; p++) set_pattern(*bank, p, 1, 1, 1, 1);
    vull_play_zibo6_song(bank.get(), 0, 0);
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[2], 0, 0, bank.get(), -1), 0); // over the song
    vull_play_sfx_ex(nullptr, 0, 0, nullptr, -1);                        // stops 0-3 only
    EXPECT_TRUE(ms0.channel[4].song);
    vull_music_mask = 1; // voice 0 kept for the song
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[2], 0, 0, bank.get(), -1), 1);
    vull_music_mask = 0xF; // every voice kept, all free: rule 3 finds none, steal finds none
    vull_play_sfx_ex(nullptr, 0, 0, nullptr, -1);
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[2], 0, 0, bank.get(), -1), -1);
    EXPECT_EQ(ms0.channel[0].sfx, nullptr);
}

TEST_F(Channel, StealsTheFastestVoiceTieGoesHigher) {
    int speeds[4] = {16, 8, 8, 20};
    for (int k = 0; k < 4; k++) {
        fill_sfx(bank->sfx[10 + k], speeds[k], {36, 1, 5});
        vull_play_sfx_ex(&bank->sfx[10 + k], 0, 0, bank.get(), k);
    }
    fill_sfx(bank->sfx[20], 4, {36, 1, 5});
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[20], 0, 0, bank.get(), -1), 2);
    EXPECT_EQ(ms0.channel[2].sfx, &bank->sfx[20]);
    // A voice kept for a playing song is not stolen.
    for (int p = 0; p < 2; p++) set_pattern(*bank, p, 10, 10, 10, 10);
    vull_play_zibo6_song(bank.get(), 0, 0);
    vull_music_mask = 1 << 2;
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[21], 0, 0, bank.get(), -1), 1);
}

TEST_F(Channel, EngineChannelsWithoutConsoleSound) {
    cconfig.console_sound = 0;
    fill_sfx(bank->sfx[1], 16, {36, 1, 5});
    for (int c = 8; c < 16; c++) EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[1], 0, 0, nullptr, -1), c);
    bank->sfx[1].speed = 5;
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[2], 0, 0, nullptr, -1), 8); // smallest speed, lowest
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[1], 0, 0, nullptr, 16), -1);
    EXPECT_EQ(vull_play_sfx_ex(&bank->sfx[1], 0, 0, nullptr, -2), -1);
    vull_play_sfx_ex(nullptr, 0, 0, nullptr, -1); // all 16 cleared
    EXPECT_EQ(vull_any_sound_is_playing(), 0);
    cconfig.console_sound = 1;
}

TEST_F(Channel, StopsAndQueries) {
    fill_sfx(bank->sfx[3], 4, {36, 1, 5});
    vull_play_sfx_ex(&bank->sfx[3], 2, 0, bank.get(), 1);
    EXPECT_EQ(vull_get_sfx_playing_note(&bank->sfx[3]), 2);
    EXPECT_EQ(vull_get_zibo6_channel_sfx(1), &bank->sfx[3]);
    EXPECT_EQ(vull_get_zibo6_channel_sfx(99), nullptr);
    EXPECT_EQ(vull_sfx_is_playing(&bank->sfx[3]), 1);
    vull_stop_sfx(&bank->sfx[3]);
    EXPECT_EQ(vull_sfx_is_playing(&bank->sfx[3]), 0);
    EXPECT_EQ(vull_get_sfx_playing_note(&bank->sfx[3]), -1);
    vull_play_sfx(&bank->sfx[3], bank.get());
    EXPECT_EQ(ms0.channel[0].remaining_ticks, 4 * 32);
}

TEST_F(Channel, SongThatCannotStart) {
    set_pattern(*bank, 5, 64, 65, 66, 67);
    vull_play_zibo6_song(bank.get(), 5, 0);
    EXPECT_EQ(vull_music_is_playing(), 0);
    vull_play_zibo6_song(bank.get(), 64, 0);
    EXPECT_EQ(vull_music_is_playing(), 0);
    fill_sfx(bank->sfx[1], 2, {36, 1, 5});
    set_pattern(*bank, 6, 65, 1, 66, 67);
    vull_play_zibo6_song(bank.get(), 6, 0);
    EXPECT_EQ(vull_music_is_playing(), 1);
    EXPECT_EQ(vull_zibo6_song_is_playing(bank.get()), 6);
    EXPECT_EQ(ms0.channel[4].sfx, nullptr); // an off voice ticks silently
    EXPECT_EQ(ms0.channel[5].sfx, &bank->sfx[1]);
    EXPECT_EQ(ms0.channel[5].remaining_ticks, 64);
}

TEST_F(Channel, FadesOnASteppedClock) {
    fill_sfx(bank->sfx[1], 2, {36, 1, 5});
    set_pattern(*bank, 0, 1, 65, 66, 67);
    fake_now = 1000;
    vull_play_zibo6_song(bank.get(), 0, 1000);
    EXPECT_EQ(int(vull_fade_vol), 0);
    EXPECT_EQ(vull_music_get_fading_state(), 1);
    fake_now = 1250;
    vull_update_music_fading();
    EXPECT_EQ(int(vull_fade_vol), 16384);
    fake_now = 2000;
    vull_update_music_fading();
    EXPECT_EQ(int(vull_fade_vol), 65536);
    EXPECT_EQ(vull_music_get_fading_state(), 0);
    // The song channel's amplitude follows the fade.
    mixer_channel &ch = ms0.channel[4];
    calculate_osc_state(&ch, &ch.osc);
    EXPECT_EQ(ch.osc.amp, 5 << 8);
    vull_fade_vol = 32768;
    calculate_osc_state(&ch, &ch.osc);
    EXPECT_EQ(ch.osc.amp, (5 << 8) / 2);
    vull_fade_vol = 65536;
    // Fade out over a second, linear in time; the channels go at the first update after.
    cmusic_stop(nullptr, 1000);
    EXPECT_EQ(vull_music_get_fading_state(), 2);
    fake_now = 2500;
    vull_update_music_fading();
    EXPECT_EQ(int(vull_fade_vol), 32768);
    EXPECT_EQ(vull_music_is_playing(), 1);
    fake_now = 3000;
    vull_update_music_fading();
    EXPECT_EQ(int(vull_fade_vol), 0);
    EXPECT_EQ(vull_music_is_playing(), 0);
    // Fade 0: silent at once.
    vull_play_zibo6_song(bank.get(), 0, 0);
    EXPECT_EQ(int(vull_fade_vol), 65536);
    cmusic_stop(nullptr, 0);
    EXPECT_EQ(int(vull_fade_vol), 0);
    EXPECT_EQ(vull_music_is_playing(), 0);
}
