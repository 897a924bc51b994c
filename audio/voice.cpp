// Voice synthesis: from the note under a channel's tick counter to the tick's
// oscillator state (effects, custom instruments, filters, registers), and from
// that state to samples (eight shapes with a detunable second oscillator, noise,
// echo). Integer arithmetic only; everything here runs on the audio thread.
#include "audio/voice.h"

#include <algorithm>

#include "audio/channel.h"
#include "engine/config.h"

static int32_t own_sound_registers[4];
static std::atomic<int32_t *> sound_registers{own_sound_registers};

void vull_set_sound_registers(int32_t *regs) {
    sound_registers.store(regs ? regs : own_sound_registers, std::memory_order_release);
}

int32_t z6_sound_register(int i) {
    int32_t *regs = sound_registers.load(std::memory_order_acquire);
    return std::atomic_ref<int32_t>(regs[i & 3]).load(std::memory_order_relaxed);
}

/*
** The bank, read in place
*/

int32_t z6_sfx_word(const zibo6_sfx *sfx, int word) {
    if (!sfx) return 0;
    switch (word) {
    case Z6_SFX_FILTERS: return sfx->filters;
    case Z6_SFX_SPEED: return sfx->speed;
    case Z6_SFX_LOOP_START: return sfx->loop_start;
    case Z6_SFX_LOOP_END: return sfx->loop_end;
    default: return sfx->flag;
    }
}

int32_t z6_note_word(const zibo6_sfx *sfx, int note, int field) {
    // Offsets, loop points used as lengths and negative tick counts can all name a
    // note outside the record: such a note is silent, never a read past it.
    if (!sfx || note < 0 || note >= Z6_SFX_NOTES) return 0;
    const zibo6_note &n = sfx->note[note];
    switch (field) {
    case Z6_NOTE_PITCH: return n.pitch;
    case Z6_NOTE_WAVEFORM: return n.instrument;
    case Z6_NOTE_VOLUME: return n.volume;
    case Z6_NOTE_EFFECT: return n.effect;
    default: return n.custom;
    }
}

int32_t z6_sfx_speed(const zibo6_sfx *sfx) {
    return std::max<int32_t>(z6_sfx_word(sfx, Z6_SFX_SPEED), 1);
}

bool z6_sfx_loops(const zibo6_sfx *sfx) {
    return z6_sfx_word(sfx, Z6_SFX_LOOP_END) > z6_sfx_word(sfx, Z6_SFX_LOOP_START);
}

int32_t z6_sfx_length(const zibo6_sfx *sfx) {
    int32_t start = z6_sfx_word(sfx, Z6_SFX_LOOP_START);
    return z6_sfx_word(sfx, Z6_SFX_LOOP_END) == 0 && start >= 1 ? start : 32;
}

const zibo6_sfx *z6_bank_sfx(const zibo6_cart *bank, int n) {
    if (!bank || n < 0 || n >= Z6_BANK_SFX) return nullptr;
    return &bank->sfx[n];
}

int32_t z6_pattern_channel(const zibo6_cart *bank, int pattern, int voice) {
    if (!bank || pattern < 0 || pattern >= Z6_BANK_PATTERNS) return 64;
    int32_t v = bank->music[pattern][voice & 3];
    return v < 0 ? 64 : v; // a negative word names no sfx either
}

int32_t z6_pattern_flags(const zibo6_cart *bank, int pattern) {
    if (!bank || pattern < 0 || pattern >= Z6_BANK_PATTERNS) return 0;
    return bank->pattern_flags[pattern];
}

/*
** The audio thread's random numbers: the engine's generator, its own state, so
** the main thread's sequence never depends on what the mixer drew.
*/

static uint32_t rnd_high = 0xDEADBEEFu, rnd_low = 0x01234567u;

void audio_random_seed(uint32_t high, uint32_t low) {
    rnd_high = high;
    rnd_low = low;
}

uint32_t audio_random(uint32_t n) {
    rnd_high = ((rnd_high << 16) | (rnd_high >> 16)) + rnd_low;
    rnd_low += rnd_high;
    return n ? rnd_high % n : 0;
}

static int32_t rnd_signed(int32_t n) { return int32_t(audio_random(uint32_t(n))); }

/*
** Pitch to phase step
*/

static constexpr int32_t note_dx[13] = {523, 554, 587, 622, 659, 698, 740,
                                        784, 831, 880, 932, 984, 1046};

int32_t get_dx_for_note(int32_t pitch) {
    int32_t k = pitch >> 16, f = pitch & 0xFFFF;
    int32_t octave = (k + 48) / 12 - 4;
    int32_t n = ((k % 12) + 12) % 12;
    int32_t base = int32_t((int64_t(65536 - f) * note_dx[n] + int64_t(f) * note_dx[n + 1]) / 22050);
    // Halving stops at 0 and doubling past the clamp, so no pitch can overflow.
    for (; octave < 3 && base > 0; octave++) base /= 2;
    for (; octave > 3 && base <= 32768; octave--) base *= 2;
    return base;
}

int32_t get_dx_for_note_fine(int32_t pitch) { return std::clamp(get_dx_for_note(pitch), 8, 32768); }

/*
** Shapes of a 16-bit phase
*/

static inline int32_t tri(int32_t x) { return x >= 32768 ? 3 * (49152 - x) : 3 * x - 49152; }
static inline int32_t r7(int32_t x) {
    return x < 57344 ? x * 6143 / 14336 : (65535 - x) * 6143 / 2048;
}
static inline int32_t r15(int32_t x) {
    return x < 61440 ? x * 6143 / 15360 : (65535 - x) * 6143 / 1024;
}
static inline int32_t f5(int32_t x) {
    if (x >= 32768) return ((x & 0x4000) ? 65536 - x : x - 32768) * 2 / 3;
    return (x & 0x4000) ? 32768 - x : x;
}

int32_t inst5(int32_t phase) { return f5(phase & 0xFFFF) - 8192; }

/*
** Oscillator state of a tick
*/

static constexpr int32_t vibrato_both[8] = {128, 130, 132, 130, 128, 126, 124, 126};
static constexpr int32_t vibrato_one[8] = {128, 129, 130, 129, 128, 127, 126, 127};

// Arpeggio divisor: faster sfx step through the chord in fewer ticks.
static int32_t arp_div(int32_t effect, int32_t speed) {
    if (speed < 9) return effect == 6 ? 2 : 4;
    return effect == 6 ? 4 : 8;
}

static int32_t digit(int32_t filters, int place) {
    int32_t d = (filters >> 3);
    for (int i = 0; i < place; i++) d /= 3;
    return d % 3;
}

// Where the custom instrument stands at the first tick of a note.
static void place_instrument(mixer_channel *ch, const zibo6_sfx *inst, int32_t i, int32_t effect,
                             int32_t note_pitch, int32_t note_wave) {
    bool retrigger = (i == 0 || note_pitch != ch->prev_pitch) && effect != 1;
    int32_t ispeed = z6_sfx_speed(inst);
    int64_t len = z6_sfx_loops(inst) ? 0x1000000 : int64_t(ispeed) * z6_sfx_length(inst);
    bool restart;
    if (ch->inst_ticks < len && !retrigger)
        restart = effect == 3 || effect == 4;
    else
        restart = effect != 3;
    if (!restart && note_wave != ch->prev_waveform) restart = true;
    if (restart) ch->inst_ticks = 0;
}

void apply_meta_instrument(mixer_channel *ch, const zibo6_sfx *inst, osc_state *o) {
    int32_t ispeed = z6_sfx_speed(inst);
    int32_t lstart = z6_sfx_word(inst, Z6_SFX_LOOP_START),
            lend = z6_sfx_word(inst, Z6_SFX_LOOP_END);
    if (lend > lstart && int64_t(ch->inst_ticks) >= int64_t(lend) * ispeed)
        ch->inst_ticks = int32_t(std::clamp<int64_t>(int64_t(lstart) * ispeed, 0, INT32_MAX));
    int32_t it = ch->inst_ticks;
    int32_t j = it / ispeed, u = it % ispeed;
    if (it < 0 || j >= Z6_SFX_NOTES || (lend == 0 && lstart >= 1 && j >= lstart)) {
        o->amp = 0;
        o->waveform = 0;
        return;
    }
    int32_t n_pitch = z6_note_word(inst, j, Z6_NOTE_PITCH);
    int32_t n_vol = z6_note_word(inst, j, Z6_NOTE_VOLUME);
    int32_t n_wave = z6_note_word(inst, j, Z6_NOTE_WAVEFORM);
    int32_t n_fx = z6_note_word(inst, j, Z6_NOTE_EFFECT);
    int64_t iv = int64_t(n_vol) << 8, ip = int64_t(n_pitch) << 16;
    if (u == ispeed - 1) {
        // Set before the slide below, so a sliding note reaches its target on its last tick.
        ch->inst_prev_pitch = n_pitch;
        ch->inst_prev_waveform = n_wave;
        ch->inst_prev_volume = n_vol;
    }
    switch (n_fx) {
    case 1: {
        int64_t fp = j == 0 ? 24 << 16 : int64_t(ch->inst_prev_pitch) << 16;
        int64_t fv = j == 0 ? iv : int64_t(ch->inst_prev_volume) << 8;
        ip = (ip * u + fp * (ispeed - u)) / ispeed;
        iv = (iv * u + fv * (ispeed - u)) / ispeed;
        break;
    }
    case 3: o->inst_drop = int32_t(int64_t(ispeed - u) * 256 / ispeed); break;
    case 4: iv = iv * u / ispeed; break;
    case 5: iv = (ispeed - u) * iv / ispeed; break;
    case 6:
    case 7: {
        int32_t a = it / arp_div(n_fx, ispeed);
        ip = int64_t(z6_note_word(inst, (j & 28) + (a % 4), Z6_NOTE_PITCH)) << 16;
        break;
    }
    default: break;
    }
    o->inst_effect = n_fx;
    o->waveform = n_wave;
    o->pitch = int32_t(std::clamp<int64_t>(o->pitch + ip - (24 << 16), INT32_MIN, INT32_MAX));
    o->pitch_number =
        int32_t(std::clamp<int64_t>(int64_t(o->pitch_number) + n_pitch - 24, INT32_MIN, INT32_MAX));
    o->crackle_level =
        int32_t(std::clamp<int64_t>(iv * 7 / std::max<int32_t>(n_vol, 1), -(1 << 20), 1 << 20));
    o->inst_filters = z6_sfx_word(inst, Z6_SFX_FILTERS);
    o->amp = int32_t(std::clamp<int64_t>(iv * o->amp / 1792, 0, 1 << 20));
}

void calculate_osc_state(mixer_channel *ch, osc_state *o) {
    const zibo6_sfx *sfx = ch->sfx;
    int32_t speed = z6_sfx_speed(sfx);
    int32_t i = ch->ticks / speed, t = ch->ticks % speed;
    // A negative tick count (an offset below 0) is treated like a note past the end.
    if (!sfx || ch->ticks < 0 || i >= Z6_SFX_NOTES) {
        o->amp = 0;
        o->waveform = 0;
        o->step = 0;
        return;
    }
    int32_t voice = ch->voice & 3;
    int32_t n_pitch = z6_note_word(sfx, i, Z6_NOTE_PITCH);
    int32_t n_wave = z6_note_word(sfx, i, Z6_NOTE_WAVEFORM);
    int32_t n_vol = z6_note_word(sfx, i, Z6_NOTE_VOLUME);
    int32_t effect = z6_note_word(sfx, i, Z6_NOTE_EFFECT);
    bool custom = z6_note_word(sfx, i, Z6_NOTE_CUSTOM) != 0;
    o->waveform = n_wave;
    o->note_volume = n_vol;
    o->note_pitch = n_pitch;
    o->note_waveform = n_wave;
    int64_t pitch = int64_t(n_pitch) << 16, v = int64_t(n_vol) << 8;

    switch (effect) {
    case 1: {
        int64_t fp = i > 0 ? int64_t(ch->prev_pitch) << 16 : 24 << 16;
        int64_t fv = i > 0 ? int64_t(ch->prev_volume) << 8 : v;
        pitch = (fp * (speed - t) + pitch * t) / speed;
        v = (v * t + (speed - t) * fv) / speed;
        break;
    }
    case 4: v = v * t / speed; break;
    case 5: v = (speed - t) * v / speed; break;
    case 6:
    case 7: {
        int32_t a = ch->ticks / arp_div(effect, speed);
        pitch = int64_t(z6_note_word(sfx, (i & 28) + (a % 4), Z6_NOTE_PITCH)) << 16;
        break;
    }
    default: break;
    }
    o->pitch = int32_t(std::clamp<int64_t>(pitch, INT32_MIN, INT32_MAX));
    // Hostile record words (huge volumes) must not overflow the products below;
    // real notes stay far under this bound.
    o->amp = int32_t(std::clamp<int64_t>(v, 0, 1 << 20));
    o->inst_effect = 0;
    o->inst_filters = 0;
    o->pitch_number = n_pitch;
    o->crackle_level = o->amp;

    if (custom) {
        const zibo6_sfx *inst = z6_bank_sfx(ch->bank, std::clamp(n_wave, 0, 7));
        if (!inst) {
            // No bank to take the instrument from: the note is silent.
            o->amp = 0;
            o->waveform = 0;
        } else {
            if (t == 0) place_instrument(ch, inst, i, effect, n_pitch, n_wave);
            apply_meta_instrument(ch, inst, o);
        }
    } else {
        ch->inst_ticks = 0;
    }

    if (z6_sound_register(0) & (1 << (voice + 4)))
        o->pitch = int32_t(std::max<int64_t>(int64_t(o->pitch) - (12 << 16), INT32_MIN));
    int64_t step = get_dx_for_note_fine(o->pitch);

    int vib = (effect == 2) + (o->inst_effect == 2);
    if (vib) {
        const int32_t *table = vib == 2 ? vibrato_both : vibrato_one;
        step = (step * table[(ch->ticks >> 1) & 7]) >> 7;
    }
    if (vib != 2) {
        if (effect == 3 && !custom) step = (speed - t) * step / speed;
        if (o->inst_effect == 3) step = step * o->inst_drop / 256;
    }

    if (ch->song) {
        int32_t fade = vull_fade_vol.load(std::memory_order_relaxed) >> 8;
        int32_t mv = std::clamp<int32_t>(cconfig.music_volume, 0, 256);
        o->amp = int32_t(((int64_t(fade) * o->amp) / 256 * mv) / 256);
    }

    int32_t F = z6_sfx_word(sfx, Z6_SFX_FILTERS), G = o->inst_filters;
    o->detune = std::max(digit(G, 0), digit(F, 0));
    o->variant = std::max<int32_t>((F >> 2) & 1, (G & 4) ? 1 : 0);
    o->noise_mode = std::max<int32_t>((F >> 1) & 1, (G & 2) ? 1 : 0);
    if (o->waveform == 6 && o->noise_mode && ch->dampen >= 12) {
        o->noise_mode = 2;
        ch->dampen = 0;
    }

    int64_t step2 = step;
    if (o->detune == 0) {
        if (o->waveform == 7) step2 = step * 254 / 256;
    } else {
        step2 = step * 255 / 256;
        if (o->waveform == 0) step2 = step * (o->detune == 1 ? 193 : 384) / 256;
        if (o->waveform == 7) step2 = step * (o->detune == 1 ? 250 : 508) / 256;
        if (o->waveform >= 0 && o->waveform <= 5) o->amp = o->amp * 5 / 4;
    }
    o->step = int32_t(step);
    o->step2 = int32_t(step2);

    int32_t reg1 = z6_sound_register(1);
    o->reverb = std::max(digit(F, 1), digit(G, 1));
    if (reg1 & (1 << (voice + 4))) o->reverb = std::max(o->reverb, 1);
    if (reg1 & (1 << voice)) o->reverb = 2;

    // The render's 32-bit products need a smaller bound still.
    o->amp = std::clamp(o->amp, 0, 8192);
}

/*
** Rendering
*/

static inline int16_t sat16(int32_t v) { return int16_t(std::clamp(v, -32768, 32767)); }

static void render_noise(osc_state *o, int16_t *out, int n, int32_t A) {
    if (o->noise_mode == 0) {
        int32_t S = o->step;
        int32_t base = std::max(S < 79 ? 1752 - 60 * (79 - S) : 8 * S + 1120, 0);
        int32_t c = o->variant ? 0 : o->crackle_level;
        int32_t gate = (S + 500) / 3;
        int32_t g = int32_t(
            std::max<int64_t>(2048 / (std::max<int64_t>(o->pitch_number, 48) + 16) + 48, 64));
        int32_t P = o->phase;
        for (int x = 0; x < n; x++) {
            o->noise_toggle ^= 1;
            if (o->noise_toggle) o->noise_value += rnd_signed(base) - base / 2;
            int32_t w = o->noise_value;
            if (c != 0 && ((int64_t(P) + 101) * (int64_t(P) + 317) & 0x1FFF) < gate)
                w = int32_t(int64_t(rnd_signed(12286) - 6143) * c / 1792) + o->noise_value;
            P = (P + S) & 0xFFFF;
            o->noise_value = std::clamp(w, -6143, 6143);
            out[x] = sat16(int32_t((int64_t(w >> 6) * g * A) / 2048));
        }
        o->phase = P;
        return;
    }
    int32_t k = int16_t(uint32_t(o->pitch) >> 16);
    int32_t p = 64 - k > 63 ? 64 - 4 * k : std::max(64 - k, 1);
    int32_t c = o->noise_counter;
    for (int x = 0; x < n; x++) {
        int64_t s;
        if (c == 0) {
            o->noise_from = o->noise_to;
            o->noise_to = rnd_signed(12286) - 6143;
            s = int64_t(o->noise_from) * A / 2048;
        } else if (o->noise_mode == 1) {
            s = int64_t(o->noise_from) * A / 2048;
        } else {
            s = ((int64_t(p - c) * A) / p * o->noise_from + (int64_t(A) * c) / p * o->noise_to) /
                2048;
        }
        out[x] = sat16(int32_t(s));
        c = (c + 1) % p;
    }
    o->noise_counter = c;
}

// One waveform per call: the shape is chosen outside the per-sample loop. Each
// sample's phases follow from its index ((a & m) + b and a + b agree under the
// mask), so the loop carries nothing from one sample to the next and the
// compiler can render several samples at once.
template <typename Shape>
[[gnu::always_inline]] inline void render_shape(osc_state *o, int16_t *__restrict out, int n,
                                                int32_t A, Shape shape) {
    const uint32_t P0 = uint32_t(o->phase), S = uint32_t(o->step), T = uint32_t(o->step2);
    const uint32_t Q0 = S == T ? P0 : uint32_t(o->phase2);
    for (int x = 0; x < n; x++) {
        int32_t P = int32_t((P0 + uint32_t(x) * S) & 0xFFFF);
        int32_t Q = int32_t((Q0 + uint32_t(x) * T) & 0x1FFFF);
        out[x] = sat16(shape(P, Q) * A / 3072);
    }
    o->phase = int32_t((P0 + uint32_t(n) * S) & 0xFFFF);
    o->phase2 = int32_t((Q0 + uint32_t(n) * T) & 0x1FFFF);
}

// out (a tick or ramp buffer) never lies in the channel's echo ring
Z6_SAMPLE_LOOPS static void add_echo(int16_t *__restrict out, const int16_t *__restrict ring,
                                     int n) {
    for (int x = 0; x < n; x++) out[x] = sat16((4 * out[x] + 2 * ring[x]) / 4);
}

Z6_SAMPLE_LOOPS static void render_wave(osc_state *o, int16_t *out, int n, int32_t A) {
    const bool var = o->variant != 0, d2 = o->detune == 2;
    auto sq = [&](int32_t Q) { return d2 ? (2 * Q) & 0xFFFF : Q & 0xFFFF; };
    switch (o->waveform) {
    case 0:
    case 7:
        if (!var)
            return render_shape(o, out, n, A, [](int32_t P, int32_t Q) {
                return tri(P) / 4 + (tri(Q & 0xFFFF) / 4) / 2;
            });
        return render_shape(o, out, n, A, [](int32_t P, int32_t Q) {
            int32_t q = Q & 0xFFFF;
            int32_t a = (3 * (tri(P) / 4) + r7(P) - 12286) / 4;
            int32_t b = (3 * (tri(q) / 4) + r7(q) - 12286) / 4;
            return a + b / 2;
        });
    case 1:
        if (!var)
            return render_shape(o, out, n, A, [&](int32_t P, int32_t Q) {
                return (r7(P) - 12286) + (r7(sq(Q)) - 12286) / 2;
            });
        return render_shape(o, out, n, A, [&](int32_t P, int32_t Q) {
            return (r15(P) - 12286) + (r15(sq(Q)) - 12286) / 2;
        });
    case 2:
        if (!var)
            return render_shape(o, out, n, A, [&](int32_t P, int32_t Q) {
                return (P - 32768) / 4 + (sq(Q) - 32768) / 8;
            });
        if (!d2)
            return render_shape(o, out, n, A, [](int32_t P, int32_t Q) {
                return ((P / 2 - 32768) / 4 + (P - 32768) / 4) / 2 +
                       ((Q / 2 - 32768) / 4 + ((Q & 0xFFFF) - 32768) / 4) / 4;
            });
        return render_shape(o, out, n, A, [](int32_t P, int32_t Q) {
            return ((P / 2 - 32768) / 4 + (P - 32768) / 4) / 2 +
                   ((((2 * Q) & 0xFFFF) - 32768) / 4 + (Q - 32768) / 4) / 4;
        });
    case 3:
    case 4: {
        int32_t H = o->waveform == 3 ? (var ? 38912 : 32768) : (var ? 51200 : 45056);
        return render_shape(o, out, n, A, [&](int32_t P, int32_t Q) {
            bool hp = P >= H, hs = sq(Q) >= H;
            return hp ? (hs ? 9214 : 3072) : (hs ? -3072 : -9214);
        });
    }
    case 5:
        if (!var)
            return render_shape(o, out, n, A, [&](int32_t P, int32_t Q) {
                return (f5(P) - 8192) + (f5(sq(Q)) - 8192) / 2;
            });
        return render_shape(o, out, n, A, [&](int32_t P, int32_t Q) {
            return f5(P) - (sq(Q) < 32768 ? 9727 : 6657);
        });
    case 6: return render_noise(o, out, n, A);
    default:
        for (int x = 0; x < n; x++) out[x] = 0;
        return;
    }
}

void mix_osc_tick_new(osc_state *o, int16_t *out, int n, mixer_channel *ch) {
    n = std::clamp(n, 0, Z6_TICK_SAMPLES);
    if (o->amp == 0 && ch->echo_level == 0) {
        for (int x = 0; x < n; x++) out[x] = 0;
        o->phase = 0;
        return;
    }
    render_wave(o, out, n, o->amp * 3 / 2);
    if (o->reverb >= 1)
        add_echo(out, ch->echo_ring[(ch->ring_index - (o->reverb == 1 ? 2 : 4)) & 7], n);
}

/*
** The older routines
*/

void mix_osc_tick_old(osc_state *o, int16_t *out, int n) {
    n = std::clamp(n, 0, Z6_TICK_SAMPLES);
    int32_t P = o->phase;
    for (int x = 0; x < n; x++) {
        int32_t v;
        switch (o->waveform) {
        case 0:
        case 7: v = tri(P) / 4; break;
        case 1: v = r7(P) - 12286; break;
        case 2: v = (P - 32768) / 4; break;
        case 3: v = P >= 32768 ? 9214 : -9214; break;
        case 4: v = P >= 45056 ? 9214 : -9214; break;
        case 5: v = inst5(P); break;
        case 6: v = rnd_signed(12286) - 6143; break;
        default: v = 0; break;
        }
        out[x] = sat16(int32_t(int64_t(v) * o->amp / 2048));
        P = (P + o->step) & 0xFFFF;
    }
    o->phase = P;
}

void generate_sfx_inst_note(mixer_channel *ch, const int32_t *note, int32_t pitch) {
    if (!ch->bank) {
        vull_debug("no cart!\n");
        return;
    }
    int32_t *slot = ch->inst_note[ch->ticks & 1];
    for (int f = 0; f < 5; f++) slot[f] = note[f];
    int32_t speed = z6_sfx_speed(ch->sfx), u = ch->ticks % speed;
    if (note[Z6_NOTE_EFFECT] == 6 || note[Z6_NOTE_EFFECT] == 7) {
        int32_t a = ch->ticks / arp_div(note[Z6_NOTE_EFFECT], speed);
        slot[Z6_NOTE_PITCH] = note[Z6_NOTE_PITCH] + a % 4;
    }
    slot[Z6_NOTE_PITCH] += pitch - 24;
    if (note[Z6_NOTE_EFFECT] == 4)
        slot[Z6_NOTE_VOLUME] = slot[Z6_NOTE_VOLUME] * (u + 1) * 256 / speed;
    if (note[Z6_NOTE_EFFECT] == 5)
        slot[Z6_NOTE_VOLUME] = slot[Z6_NOTE_VOLUME] * (speed - u) * 256 / speed;
}
