// Node synthesiser: evaluates a graph of oscillator and filter nodes one node
// per slice into 16.16 buffers, then folds the output node into a sound object.
// The graph comes from files, so nothing in it is trusted: source indices out of
// range name no node, a node being evaluated reads as not yet rendered (a cycle
// ends there), and every divisor a parameter can reach is kept away from zero.
#include "audio/synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/sound.h"
#include "audio/xm.h"
#include "engine/mem.h"
#include "engine/vmath.h"
#include "engine/vull.h"

namespace {

constexpr int max_partials = 16;
constexpr int noise_size = 4096;

// 16.16 arithmetic in 64 bits, wrapped back to 32 as the fixed-point format does.
int32_t wrap(int64_t v) { return int32_t(uint32_t(uint64_t(v))); }
int32_t fmul_i(int32_t a, int32_t b) { return wrap((int64_t(a) * b) >> 16); }
int32_t fdiv(int32_t a, int32_t b) { return b == 0 ? 0 : wrap((int64_t(a) << 16) / b); }
uint32_t rnd(int64_t n) {
    return n <= 0 ? 0 : vull_random(uint32_t(std::min<int64_t>(n, UINT32_MAX)));
}

const int32_t *source_buffer(const vull_synth *s, int index) {
    return index >= 0 && index < VULL_SYNTH_NODES ? s->node[index].buffer : nullptr;
}

// Slots 0..7 at index i into their current values.
void evaluate_all_p(vull_synth *s, vull_synth_node *n, int i) {
    for (int k = 0; k < VULL_SYNTH_FILE_PARAMS; k++) {
        vull_synth_param &p = n->param[k];
        int32_t v = p.value;
        const int32_t *src = p.mod_kind ? source_buffer(s, p.source) : nullptr;
        if (src && p.mod_kind == 1) v = wrap(int64_t(p.value) + src[i]);
        if (src && p.mod_kind == 2) v = wrap((int64_t(p.value >> 4) * (src[i] >> 4)) >> 8);
        p.current = v;
    }
    if (n->word[0] == SYNTH_OSCILLATOR) {
        n->param[0].current = wrap(int64_t(n->param[0].current) * 2);
        n->param[7].current = wrap(int64_t(n->param[7].current) * 2);
    } else if (n->word[1] == SYNTH_DELAY) {
        n->param[1].current /= 2;
    }
}

int table_length(vull_synth_node *n) {
    if (n->wave_length <= 0 || n->wave_length > VULL_SYNTH_WAVE) n->wave_length = VULL_SYNTH_WAVE;
    return n->wave_length;
}

struct partial_state {
    int64_t phase;  // 28-bit cycle position
    int64_t cycles; // whole cycles completed
    int32_t factor; // frequency ratio to partial 0, 16.16
    int32_t amp;    // amplitude ratio, 16.16
    int64_t slide;  // slide accumulator
    int32_t noise;  // filtered noise state of shape 4
};

void fill_noise(int32_t *noise) {
    for (int k = 0; k < noise_size; k++) noise[k] = int32_t(vull_random(0x20000)) - 0x10000;
}

// One partial's shape value, full scale +-4096.
int32_t shape_value(vull_synth *s, vull_synth_node *n, partial_state &ps, int32_t x, bool auto_freq,
                    int32_t prev, const int32_t *noise) {
    const int32_t *p = nullptr;
    int32_t slot[8];
    for (int k = 0; k < 8; k++) slot[k] = n->param[k].current;
    p = slot;
    int N = s->length;
    switch (n->word[1]) {
    case 1: {
        // The peak divides both slopes: keep it where neither divisor is zero.
        int64_t peak = std::clamp<int64_t>(p[2], 4, 0x10002);
        if (x < peak) return int32_t((((int64_t(x) << 15) / (peak / 4)) - 0x10000) >> 4);
        return int32_t(((((0x10000 - int64_t(x)) << 15) / ((0x10003 - peak) / 4)) - 0x10000) >> 4);
    }
    case 2: return x < p[2] ? 4096 : -4096;
    case 3: return int32_t(std::sin(2.0 * x * 3.1415 / 65536) * 65536) >> 4;
    case 4: {
        if (p[2] == 0) return noise[(x >> 7) & (noise_size - 1)] >> 4;
        int64_t r = std::max<int64_t>(ps.slide + p[0], 0) >> 9;
        int64_t q = (r * r) >> 2;
        int64_t a = int64_t(rnd(q)) + ps.noise;
        int64_t b = a - int64_t(rnd(q));
        if (q == 0) {
            ps.noise = wrap(b);
        } else {
            int64_t d = 0x40000 / q;
            ps.noise = d == 0 ? 0 : wrap(((d - 1) * b) / d);
        }
        return ps.noise >> 4;
    }
    case 5: {
        int64_t L = table_length(n);
        int32_t tstep = int32_t(0x10000 / L);
        int64_t j = (int64_t(x) * L) >> 16;
        int64_t f = x - ((int64_t(x) * L) & ~int64_t(0xFFFF)) / L;
        int64_t g = tstep - f;
        if ((auto_freq || n->word[2] == 0) && j == L - 1) f = 0, g = tstep;
        int64_t v = (n->wave[j] * g + n->wave[(j + 1) % L] * f) * L / 120;
        return wrap(v >> 4);
    }
    case 6: {
        if (n->param[2].current == 0 || n->param[2].current > 30) n->param[2].current = 1;
        int64_t L = table_length(n);
        int64_t semis = int64_t(n->wave[(L * x) >> 16]) * n->param[2].current;
        int32_t note = int32_t(std::clamp<int64_t>(semis + 49, -1, 1000));
        return fdiv(get_delta(note, 0), get_delta(49, 0)) >> 4;
    }
    case 7: {
        const int32_t *src = source_buffer(s, n->param[2].source);
        if (!src) return 0; // no sample to play
        int64_t pos = (ps.cycles << 8) + (ps.phase >> 20);
        int64_t frac = (ps.phase >> 8) & 0xFFF;
        auto at = [&](int64_t k) { return int64_t(src[std::clamp<int64_t>(k, 0, N - 1)]); };
        return wrap((at(pos) * (4096 - frac) + at(pos + 1) * frac) >> 16);
    }
    default: return prev >> 4;
    }
}

void run_oscillator(vull_synth *s, vull_synth_node *n) {
    int N = s->length;
    partial_state part[max_partials] = {};
    int32_t *noise = nullptr;
    evaluate_all_p(s, n, 0);
    int P = std::clamp(n->param[3].current, 1, max_partials);
    bool auto_freq = n->param[0].value == 0 && n->param[0].mod_kind == 0;
    bool shape4 = n->word[1] == 4;
    if (shape4) noise = static_cast<int32_t *>(vull_malloc(noise_size * 4));
    static const int32_t silent_noise[noise_size] = {};
    for (int i = 0; i < N; i++) {
        evaluate_all_p(s, n, i);
        const vull_synth_param *p = n->param;
        int32_t f0 = auto_freq ? 0x10000000 / N : p[0].current;
        part[0].factor = part[0].amp = 0x10000;
        if (P > 1) {
            part[1].factor = p[4].current;
            part[1].amp = fmul_i(p[6].current, part[0].amp);
        }
        for (int k = 2; k < P; k++) {
            part[k].factor = k & 1 ? fmul_i(part[k - 2].factor, p[4].current)
                                   : fdiv(part[k - 2].factor, p[4].current);
            part[k].amp = fmul_i(part[k - 2].amp, p[6].current);
        }
        int64_t value = 0, prev = 0;
        int64_t level = p[1].current >> 4;
        for (int k = 0; k < P; k++) {
            int32_t x = int32_t((int64_t(p[5].current) * k + (part[k].phase >> 12)) & 0xFFFF);
            int32_t w = shape_value(s, n, part[k], x, auto_freq, int32_t(prev),
                                    noise ? noise : silent_noise);
            if (k == 0 && i == 0 && noise) fill_noise(noise);
            int64_t c = k == 0 ? (level * w) >> 8 : (((level * w) >> 12) * (part[k].amp >> 4)) >> 8;
            value += c;
            prev = c;
        }
        n->buffer[i] = wrap(value);
        for (int k = 0; k < P; k++) {
            partial_state &ps = part[k];
            int64_t f = k == 0 ? f0 : fmul_i(f0, ps.factor);
            if ((i & 255) == 0)
                ps.slide = std::clamp<int64_t>(ps.slide + p[7].current, -0x10000000, 0x10000000);
            ps.phase += f + std::max(-f, ps.slide);
            if (k == 0 && noise && n->word[2] == 1 && (ps.phase < 0 || ps.phase > 0x0FFFFFFF))
                fill_noise(noise);
            ps.cycles += ps.phase >> 28;
            if (n->word[2])
                ps.phase &= 0x0FFFFFFF;
            else
                ps.phase = ps.phase < 0 ? 0x0FFFFFFF : std::min<int64_t>(ps.phase, 0x0FFFFFFF);
        }
    }
    vull_free(noise);
}

void apply_synth_filter_lphp(vull_synth *s, vull_synth_node *n, const int32_t *in) {
    int32_t *y = n->buffer;
    int N = s->length;
    y[0] = in[0];
    for (int i = 1; i < N; i++) {
        evaluate_all_p(s, n, i);
        int64_t h = std::clamp(n->param[2].current, 0, 0x10000);
        int64_t g = (h * h) >> 16;
        y[i] = wrap((((0x40000 - g) >> 4) * (int64_t(in[i]) + y[i - 1] - in[i - 1])) >> 14);
    }
    int64_t prev = 0;
    for (int i = 0; i < N; i++) {
        evaluate_all_p(s, n, i);
        int64_t open = 0x10000 - int64_t(n->param[1].current);
        if (open < 0) continue;
        int64_t q = (0x10000 - std::min<int64_t>(open, 0x10000)) >> 1;
        int64_t k = (0x10000 - ((((q * q) >> 15) * q) >> 14)) >> 2;
        y[i] = wrap((y[i] * (16384 - k) + prev * k) / 16384);
        prev = y[i];
    }
}

// The tap's time scale multiplies by its step at every tap. Once its size
// reaches N << 16 every later tap past the first lands outside the buffer,
// so it is held there: the same taps are read, and it cannot overflow.
int64_t next_time_scale(int64_t scale, int64_t step, int N) {
    const __int128 cap = (__int128(N) << 16) + 1;
    __int128 next = (__int128(scale) * step) >> 16;
    return int64_t(std::clamp(next, -cap, cap));
}

void apply_synth_filter_delay(vull_synth *s, vull_synth_node *n, const int32_t *in) {
    int N = s->length;
    for (int i = 0; i < N; i++) {
        evaluate_all_p(s, n, i);
        int64_t d = std::max(n->param[1].current, 1);
        int64_t fb = std::clamp(n->param[2].current, 0, 65535);
        int64_t taps = n->param[3].current;
        int64_t scale_step = n->param[4].current == 0 ? 0x10000 : n->param[4].current;
        int64_t weight = 16384, scale = 0x10000, sum = 0;
        for (int64_t t = 0; weight > 64 && t < taps; t++) {
            int64_t p = i - d * t;
            if (p < 0)
                break; // taps before the buffer's start are silent, and so are all later ones
            // A scale that has reached 0 would fold every tap onto the start: skip scaling.
            if (scale_step != 0x10000 && scale != 0) {
                __int128 scaled = (__int128(p) * scale) >> 16;
                p = scaled < 0 ? -1 : scaled >= N ? N : int64_t(scaled);
            }
            if (p >= 0 && p < N) sum += int64_t(in[p]) * weight / 16384;
            weight = weight * fb / 65536;
            scale = next_time_scale(scale, scale_step, N);
        }
        n->buffer[i] = wrap(sum);
    }
}

void apply_synth_filter_reduce(vull_synth *s, vull_synth_node *n, const int32_t *in) {
    for (int i = 0; i < s->length; i++) {
        evaluate_all_p(s, n, i);
        int64_t v = std::max(std::min(in[i], n->param[1].current), n->param[2].current);
        int64_t q = n->param[3].current;
        if (q >= 4) {
            int64_t step = q / 4;
            v = (v * step) / 16384 * 16384 / step;
        }
        n->buffer[i] = wrap(v);
    }
}

void apply_synth_filter_mix(vull_synth *s, vull_synth_node *n) {
    int N = s->length;
    int32_t *y = n->buffer;
    for (int i = 0; i < N; i++) {
        evaluate_all_p(s, n, i);
        const vull_synth_param *p = n->param;
        int64_t total = int64_t(p[0].current) + p[1].current + p[2].current + p[3].current;
        y[i] = wrap(((p[4].current >> 4) * total) / 4096);
    }
    // Loop-making halves the buffer: it needs two values at least.
    if (n->param[6].value == 0 || N < 2) return;
    int h = N / 2, z = 0;
    while ((h >> z) > 4096) z++;
    int64_t span = h >> z;
    for (int j = 0; j < N; j++) {
        int64_t ramp = j < h ? (j >> z) : ((N - j) >> z);
        y[j] = wrap(int64_t(y[j]) * ramp / span);
    }
    for (int j = 0; j < h; j++) y[j] = wrap(int64_t(y[j]) + y[h + j]);
    for (int j = h; j < N; j++) y[j] = y[j - h];
}

void apply_synth_filter(vull_synth *s, vull_synth_node *n) {
    if (n->word[1] == SYNTH_MIX) {
        apply_synth_filter_mix(s, n);
        return;
    }
    const int32_t *in = source_buffer(s, n->param[0].source);
    if (!in) return; // no input: the buffer stays zero
    switch (n->word[1]) {
    case SYNTH_LPHP: apply_synth_filter_lphp(s, n, in); break;
    case SYNTH_DELAY: apply_synth_filter_delay(s, n, in); break;
    case SYNTH_REDUCE: apply_synth_filter_reduce(s, n, in); break;
    default: break;
    }
}

void evaluate_synth_node(vull_synth *s, int index) {
    vull_synth_node *n = &s->node[index];
    int bytes = 0;
    if (n->word[0] == SYNTH_EMPTY || n->buffer || n->evaluating || s->length <= 0) return;
    if (!vull_checked_size(s->length, 4, 0, &bytes)) return; // a length no buffer can hold
    n->evaluating = 1;
    for (vull_synth_param &p : n->param) {
        if (!p.mod_kind) continue;
        if (p.source < 0 || p.source >= VULL_SYNTH_NODES) {
            p.mod_kind = 0;
            continue;
        }
        if (p.source != index) evaluate_synth_node(s, p.source);
    }
    n->buffer = static_cast<int32_t *>(vull_malloc(bytes));
    if (n->buffer) {
        if (n->word[0] == SYNTH_OSCILLATOR)
            run_oscillator(s, n);
        else if (n->word[0] == SYNTH_FILTER)
            apply_synth_filter(s, n);
    }
    n->evaluating = 0;
}

void write_output(vull_synth *s, csound *sound) {
    if (!sound) {
        if (!s->rendered) s->rendered = vull_create_sound(s->length / 4, 16);
        sound = s->rendered;
    }
    if (!sound || sound->bits != 16) return;
    auto *out = static_cast<int16_t *>(vull_sound_lock(sound));
    // Never past the sound's own block, whatever length the synth has.
    int count = std::min(s->length / 4, sound->sample_count);
    const vull_synth_node *o = s->output_node >= 0 ? &s->node[s->output_node] : nullptr;
    const int32_t *buf = o ? o->buffer : nullptr;
    for (int i = 0; out && i < count; i++) {
        int64_t sum = 0;
        for (int k = 0; buf && k < 4; k++) sum += buf[4 * i + k];
        out[i] = int16_t(std::clamp<int64_t>(sum / 4, -32767, 32767));
    }
    bool looped = o && o->word[0] == SYNTH_FILTER && o->word[1] == SYNTH_MIX && o->param[6].value;
    if (out && !looped && s->length > 256 && count > 256) {
        for (int k = 0; k < 256; k++) {
            out[k] = int16_t(out[k] * k / 256);
            out[count - 1 - k] = int16_t(out[count - 1 - k] * k / 256);
        }
    }
    vull_sound_release(sound);
}

} // namespace

vull_synth *vull_create_synth(int n) {
    // n output samples of four buffer values, each value four bytes
    if (!vull_checked_size(n, 16, 0, nullptr)) return nullptr;
    vull_synth *s = static_cast<vull_synth *>(vull_malloc(int(sizeof(vull_synth))));
    if (!s) return nullptr;
    s->length = n * 4;
    s->output_node = -1;
    vull_items_created++;
    return s;
}

void vull_synth_clear_buffers(vull_synth *synth) {
    if (!synth) return;
    for (vull_synth_node &node : synth->node) {
        vull_free(node.buffer);
        node.buffer = nullptr;
    }
}

void vull_destroy_synth(vull_synth *synth) {
    if (!synth) return;
    vull_synth_clear_buffers(synth);
    vull_destroy_sound(synth->rendered);
    vull_free(synth);
    vull_items_created--;
}

void vull_synth_generate_slice(vull_synth *s, csound *sound, int flags) {
    if (!s || !s->generating) return;
    vull_random_save();
    vull_srand(uint32_t(s->seed));
    if (s->next_node <= 0) {
        vull_synth_clear_buffers(s);
        s->next_node = 0;
        s->output_node = -1;
    }
    int index = s->next_node;
    vull_synth_node *n = &s->node[index];
    bool fresh = n->word[0] != SYNTH_EMPTY && !n->buffer;
    evaluate_synth_node(s, index);
    if (fresh) s->output_node = index;
    if (++s->next_node >= VULL_SYNTH_NODES) {
        s->generating = 0;
        s->next_node = 0;
        write_output(s, sound);
        if (!(flags & 1)) vull_synth_clear_buffers(s);
    }
    vull_random_restore();
}

void vull_synth_generate(vull_synth *s, csound *sound, int flags) {
    if (!s) return;
    s->generating = 1;
    s->next_node = 0;
    while (s->generating) vull_synth_generate_slice(s, sound, flags);
}
