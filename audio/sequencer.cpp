// Channel sequencer: ticks of 183 samples, each rendered from the oscillator
// state, crossfaded from the previous tick's oscillator, post-processed by the
// sound registers (crush, dampen) and kept in the echo ring; then the counters
// advance, loops wrap, plain sfx end and song channels take their pattern step.
#include "audio/sequencer.h"

#include <algorithm>
#include <climits>

#include "audio/mixer.h"
#include "engine/vull.h"

int advanced_pattern;

// The previous tick's oscillator rendered for the crossfade (audio thread only).
static int16_t ramp_buf[Z6_RAMP_SAMPLES];

// Counters of idle channels run on forever: saturate instead of wrapping.
static inline void tick_up(int32_t &v) {
    if (v < INT32_MAX) v++;
}
static inline void tick_down(int32_t &v) {
    if (v > INT32_MIN) v--;
}

int32_t zibo6_pattern_length(const zibo6_cart *bank, int pattern) {
    int64_t longest = 0;
    for (int k = 0; k < 4; k++) {
        const zibo6_sfx *s = z6_bank_sfx(bank, z6_pattern_channel(bank, pattern, k));
        if (!s) continue;
        int64_t speed = z6_sfx_speed(s);
        if (!z6_sfx_loops(s)) {
            longest = speed * z6_sfx_length(s);
            break;
        }
        longest = std::max(longest, speed * 32);
    }
    return int32_t(std::min<int64_t>(longest, INT32_MAX)); // speed words are not bounded
}

static bool pattern_all_off(const zibo6_cart *bank, int pattern) {
    for (int k = 0; k < 4; k++)
        if (z6_pattern_channel(bank, pattern, k) < 64) return false;
    return true;
}

// A plain sfx ends when its cut is reached or nothing audible is left to play.
static bool sfx_goes_on(const mixer_channel *ch, int32_t next_note) {
    const zibo6_sfx *s = ch->sfx;
    if (ch->remaining_ticks == 0) return false;
    if (z6_sfx_loops(s)) return true;
    if (next_note >= z6_sfx_length(s)) return false;
    if (next_note < 31 && z6_note_word(s, next_note, Z6_NOTE_EFFECT) == 1) return true;
    if (ch->echo_level != 0 && int64_t(ch->ticks) < int64_t(z6_sfx_speed(s) + 4) * 32) return true;
    // Notes past 31 do not exist: a length above 32 finds nothing there.
    for (int n = std::max(next_note, 0); n < Z6_SFX_NOTES; n++)
        if (z6_note_word(s, n, Z6_NOTE_VOLUME) >= 1) return true;
    return false;
}

static void song_step(mixer_channel *ch) {
    advanced_pattern = 1;
    int32_t flags = z6_pattern_flags(ch->bank, ch->pattern);
    if (flags & 4) {
        ch->pattern = -1;
        vull_state.song_pattern = -1;
        clear_mixer_channel(ch);
        return;
    }
    int32_t next;
    if (!(flags & 2)) {
        next = ch->pattern + 1;
    } else if (ch->pattern == 0 || (flags & 1)) {
        next = ch->pattern;
    } else {
        next = 0;
        for (int p = ch->pattern - 1; p >= 1; p--)
            if (z6_pattern_flags(ch->bank, p) & 1) {
                next = p;
                break;
            }
    }
    ch->pattern = next;
    // Past the last pattern the song ends on this channel only: a voice at half
    // rate may still play pattern 63, which stays the song's pattern.
    if (next <= 63) vull_state.song_pattern = next;
    if (next > 63 || pattern_all_off(ch->bank, next)) {
        clear_mixer_channel(ch);
        return;
    }
    int32_t s = z6_pattern_channel(ch->bank, next, ch->voice);
    ch->sfx = s < 64 ? &ch->bank->sfx[s] : nullptr;
    ch->ticks = 0;
    ch->remaining_ticks = zibo6_pattern_length(ch->bank, next);
}

// the tick's first samples fade in over the previous oscillator's ramp
Z6_SAMPLE_LOOPS static void crossfade(int16_t *__restrict tick, const int16_t *__restrict ramp) {
    for (int i = 0; i < Z6_RAMP_SAMPLES; i++)
        tick[i] = int16_t((tick[i] * i + ramp[i] * (64 - i)) / 64);
}

// What a tick without an sfx changes besides its samples.
static void idle_tick(mixer_channel *ch) {
    tick_up(ch->ticks);
    ch->osc.amp = 0;
    ch->inst_ticks = 1;
    tick_down(ch->remaining_ticks);
    if (ch->song && ch->bank && ch->remaining_ticks == 0 && ch->pattern >= 0 && ch->pattern <= 63)
        song_step(ch);
}

void mix_sfx_tick(mixer_channel *ch, int16_t *tick) {
    std::fill(tick, tick + Z6_TICK_SAMPLES, int16_t(0));
    int32_t ticks_before = ch->ticks;
    const zibo6_sfx *sfx = ch->sfx;
    int32_t speed = z6_sfx_speed(sfx);
    if (sfx) {
        osc_state prev = ch->osc;
        if (ch->ticks % speed == 0) {
            ch->prev_pitch = ch->osc.note_pitch;
            ch->prev_waveform = ch->osc.note_waveform;
            ch->prev_volume = ch->osc.note_volume;
        }
        calculate_osc_state(ch, &ch->osc);
        mix_osc_tick_new(&ch->osc, tick, Z6_TICK_SAMPLES, ch);
        std::fill(ramp_buf, ramp_buf + Z6_RAMP_SAMPLES, int16_t(0));
        mix_osc_tick_new(&prev, ramp_buf, Z6_RAMP_SAMPLES, ch);
        // Every tick, changed note or not: for a steady note both sides are equal.
        crossfade(tick, ramp_buf);
        tick_up(ch->ticks);
        tick_up(ch->inst_ticks);
        tick_down(ch->remaining_ticks);
        int32_t lstart = z6_sfx_word(sfx, Z6_SFX_LOOP_START);
        int32_t lend = z6_sfx_word(sfx, Z6_SFX_LOOP_END);
        if (ch->loop_enabled && lend > lstart && int64_t(ch->ticks) >= int64_t(lend) * speed)
            ch->ticks = int32_t(std::clamp<int64_t>(int64_t(lstart) * speed, 0, INT32_MAX));
    } else {
        if (ch->osc.step != 0 && ch->osc.amp != 0) {
            mix_osc_tick_new(&ch->osc, tick, Z6_RAMP_SAMPLES, ch);
            for (int i = 0; i < Z6_RAMP_SAMPLES; i++) tick[i] = int16_t(tick[i] * (64 - i) / 64);
        }
        idle_tick(ch);
        return;
    }

    if (!ch->song) {
        int32_t next_note = int32_t((int64_t(ticks_before) + 1) / speed);
        if (!sfx_goes_on(ch, next_note)) ch->sfx = nullptr;
    }
    if (ch->song && ch->bank && ch->remaining_ticks == 0 && ch->pattern >= 0 && ch->pattern <= 63)
        song_step(ch);
}

static int32_t filter_digit(int32_t filters, int divisor) { return ((filters >> 3) / divisor) % 3; }

// Echo level and dampen of the tick about to be made, from the filters and registers.
static void tick_filters(mixer_channel *ch) {
    int32_t F = z6_sfx_word(ch->sfx, Z6_SFX_FILTERS), G = ch->osc.inst_filters;
    int32_t v = ch->voice & 3;
    int32_t r1 = z6_sound_register(1), r3 = z6_sound_register(3);
    int32_t level = std::max(filter_digit(G, 3), filter_digit(F, 3));
    if (r1 & (1 << (v + 4))) level = std::max(level, 1);
    if (r1 & (1 << v)) level = 2;
    ch->echo_level = level;
    static constexpr int32_t dampen_of[3] = {0, 8, 12};
    int32_t d = std::max(filter_digit(G, 9), filter_digit(F, 9));
    int32_t dampen = d >= 0 ? dampen_of[d] : 0;
    bool lo = r3 & (1 << (v + 4)), hi = r3 & (1 << v);
    if (lo) dampen = std::max(dampen, 8);
    if (hi) dampen = 12;
    if (lo && hi) dampen = 15;
    ch->dampen = dampen;
}

static void crush(mixer_channel *ch) {
    int32_t r2 = z6_sound_register(2), v = ch->voice & 3;
    int16_t *t = ch->tick_buffer;
    if (r2 & (1 << v)) {
        for (int i = 0; i < Z6_TICK_SAMPLES; i++)
            t[i] = int16_t(t[i] >= 0 ? t[i] & 0xF000 : -((-int32_t(t[i])) & 0xF000));
    } else if (r2 & (1 << (v + 4))) {
        for (int i = 0; i < Z6_TICK_SAMPLES; i++) t[i] = int16_t(uint16_t(t[i]) & 0xF007);
    }
}

// A one-pole low-pass: each sample moves d/16 of the way back toward the
// filtered one before it. Every output is a weighted mean of two 16-bit
// samples, so it stays a 16-bit sample. Each sample waits for the one before
// it, so the time per sample is the chain of that step: with the weight a
// constant the product becomes a shift or two (d x / 16 and x / (16 / d)
// truncate alike).
template <int D> static void dampen_by(int16_t *t, int32_t prev) {
    int32_t y = prev;
    for (int k = 0; k < Z6_TICK_SAMPLES; k++) {
        if constexpr (D == 8)
            y = (t[k] + y) / 2;
        else if constexpr (D == 12)
            y = (t[k] + 3 * y) / 4;
        else
            y = (t[k] * (16 - D) + y * D) / 16;
        t[k] = int16_t(y);
    }
}

static void dampen(mixer_channel *ch, int32_t prev) {
    int16_t *t = ch->tick_buffer;
    switch (ch->dampen) {
    case 0: return;
    case 8: return dampen_by<8>(t, prev);
    case 12: return dampen_by<12>(t, prev);
    case 15: return dampen_by<15>(t, prev);
    default: break; // tick_filters makes only the values above
    }
    int32_t d = ch->dampen;
    if (d < 0) return;
    t[0] = int16_t((prev * d + t[0] * (16 - d)) / 16);
    for (int k = 1; k < Z6_TICK_SAMPLES; k++) t[k] = int16_t((t[k] * (16 - d) + t[k - 1] * d) / 16);
}

Z6_SAMPLE_LOOPS static bool all_zero(const int16_t *t) {
    int16_t any = 0;
    for (int i = 0; i < Z6_TICK_SAMPLES; i++) any |= t[i];
    return any == 0;
}

bool mix_sfx_channel(mixer_channel *ch, int n) {
    n = std::clamp(n, 0, Z6_MIX_SAMPLES);
    int16_t *out = ch->mix_buffer;
    int done = 0;
    auto hand_out = [&] {
        int take = std::min(Z6_TICK_SAMPLES - int(ch->tick_cursor), n - done);
        if (take <= 0) return;
        std::copy(ch->tick_buffer + ch->tick_cursor, ch->tick_buffer + ch->tick_cursor + take,
                  out + done);
        ch->tick_cursor = int16_t(ch->tick_cursor + take);
        done += take;
    };
    if (ch->tick_cursor < 0 || ch->tick_cursor > Z6_TICK_SAMPLES) ch->tick_cursor = Z6_TICK_SAMPLES;
    ch->quiet_ticks = std::clamp(ch->quiet_ticks, 0, Z6_ECHO_SLOTS);
    bool silent = ch->quiet_ticks > 0 || ch->tick_cursor == Z6_TICK_SAMPLES;
    hand_out();
    while (done < n) {
        int32_t prev = ch->tick_buffer[Z6_TICK_SAMPLES - 1];
        tick_filters(ch);
        int slot = ch->ring_index & 7;
        if (ch->quiet_ticks == Z6_ECHO_SLOTS && !ch->sfx && !(ch->osc.step != 0 && ch->osc.amp != 0)) {
            // Nothing sounds and buffer and ring hold silence: the samples of
            // this tick, its crush, dampen and ring slot would all be 0 again.
            idle_tick(ch);
        } else {
            bool idle = !ch->sfx;
            mix_sfx_tick(ch, ch->tick_buffer);
            crush(ch);
            dampen(ch, prev);
            std::copy(ch->tick_buffer, ch->tick_buffer + Z6_TICK_SAMPLES, ch->echo_ring[slot]);
            bool zero = idle && all_zero(ch->tick_buffer);
            ch->quiet_ticks = zero ? std::min(ch->quiet_ticks + 1, Z6_ECHO_SLOTS) : 0;
            silent = silent && zero;
        }
        ch->ring_index = (slot + 1) % Z6_ECHO_SLOTS;
        ch->tick_cursor = 0;
        hand_out();
    }
    return silent;
}
