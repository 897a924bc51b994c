// A sound bank that keeps all eight console voices busy: four looping sfx for
// the sfx voices and a looping four-pattern song for the song layer. Between
// them the notes use every waveform, every effect, the custom instruments
// (sfx 0-7, which themselves use every waveform and effect) and every filter
// setting. Shared by the mixer's reference render test and audio_bench.
#pragma once
#include "audio/channel.h"
#include "cart/cart.h"

// filters word: noise mode bit 1, variant bit 2, then detune, reverb and dampen
// as three base-3 digits from bit 3
inline int busy_filters(int noise, int variant, int detune, int reverb, int dampen) {
    return noise * 2 + variant * 4 + 8 * (detune + 3 * reverb + 9 * dampen);
}

// A looping sfx of 32 sounding notes: waveform, effect and volume step through
// all their values; with `custom`, every third note plays an instrument.
inline void fill_busy_sfx(zibo6_sfx &s, int seed, int speed, int filters, bool custom) {
    s.speed = speed;
    s.filters = filters;
    s.loop_start = 0;
    s.loop_end = 32;
    for (int n = 0; n < 32; n++) {
        s.note[n].pitch = (seed * 7 + 5 * n) % 64;
        s.note[n].instrument = (seed + n) % 8;
        s.note[n].volume = 1 + (seed + n) % 7;
        s.note[n].effect = (seed + n / 2) % 8;
        s.note[n].custom = custom && (n + seed) % 3 == 0 ? 128 : 0;
    }
}

// Instruments in sfx 0-7, song sfx 8-11, sfx-voice sfx 12-15; patterns 0-3
// give every song voice one of sfx 8-11, pattern 3 loops back to 0.
inline void fill_busy_bank(zibo6_cart &bank) {
    for (int i = 0; i < 8; i++)
        fill_busy_sfx(bank.sfx[i], i, 1 + i % 4,
                      busy_filters(i % 3 == 1, i % 2, i % 3, (i / 3) % 3, i % 3), false);
    for (int i = 8; i < 16; i++)
        fill_busy_sfx(bank.sfx[i], i, 3 + i % 5,
                      busy_filters(i % 3 == 2, (i / 2) % 2, (i + 1) % 3, i % 3, (i / 2) % 3), true);
    for (int p = 0; p < 4; p++)
        for (int k = 0; k < 4; k++) bank.music[p][k] = 8 + (p + k) % 4;
    bank.pattern_flags[0] = 1;
    bank.pattern_flags[3] = 2;
}

// The song on the song layer, then the four sfx on voices 0-3.
inline void play_busy_bank(zibo6_cart &bank) {
    vull_play_zibo6_song(&bank, 0, 0);
    for (int k = 0; k < 4; k++) vull_play_sfx_ex(&bank.sfx[12 + k], 0, 0, &bank, k);
}
