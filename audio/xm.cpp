// The XM player: renders a module tick by tick into per-channel tick buffers,
// then serves requests of any size from them. The same steps drive the live
// player (ps0, run by the mixer's music step on the audio thread) and the
// whole-song render into a sound object.
#include "audio/xm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sound.h"
#include "engine/config.h"
#include "engine/vmath.h"

xm_player ps0;
int16_t xmbuf[4096];

namespace {

// Periods of 12 semitones x 8 fine steps.
constexpr uint32_t ptab[96] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814,
    808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725,
    720, 715, 709, 704, 699, 694, 689, 684, 678, 675, 670, 665, 660, 655, 651, 646,
    640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580, 575,
    570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457,
};

// BPM 0 or 1 would give ticks longer than the tick buffers (or divide by zero).
constexpr int min_bpm = 32, max_bpm = 255;

int clamp_bpm(int bpm) { return std::clamp(bpm, min_bpm, max_bpm); }

// An order entry naming a pattern the module lacks plays as 64 empty rows.
const xm_pattern empty_pattern = {XM_MAX_ROWS, {}};

const xm_pattern &current_pattern(const xm_player *s) {
    const xm_module *m = s->module;
    int pos = std::clamp(s->position, 0, XM_ORDERS - 1);
    int p = m->order[pos];
    if (!m->patterns || p >= m->pattern_count) return empty_pattern;
    return m->patterns[p];
}

const xm_instrument *instrument_of(const xm_player *s, const xm_channel *ch) {
    const xm_module *m = s->module;
    if (ch->instrument < 1 || ch->instrument > m->instrument_count || !m->instruments)
        return nullptr;
    return &m->instruments[ch->instrument];
}

void normalise(int32_t *note, int32_t *fine) {
    int32_t carry = *fine >= 0 ? *fine / 256 : -((255 - *fine) / 256);
    *note += carry;
    *fine -= carry * 256;
}

void update_channel_row(xm_player *s, xm_channel *ch) {
    const xm_module *m = s->module;
    const uint8_t *cell = current_pattern(s).cells[ch->index][std::clamp(s->row, 0, 63)];
    int note = cell[0], ins = cell[1], vol = cell[2], fx = cell[3], param = cell[4];
    int old_effect = ch->effect, old_param = ch->param;
    ch->prev_effect = ch->effect;
    ch->prev_param = ch->param;
    // An instrument number the module lacks is ignored: the note below reads its volume.
    if (ins && ins <= m->instrument_count && m->instruments) ch->instrument = ins;
    if (ch->instrument == 0 && fx != 11) return;
    if (fx) {
        ch->effect = fx;
        if (param) ch->param = param;
    } else {
        ch->effect = 0;
        ch->param = param;
    }
    if (note >= 1 && note <= 96) {
        if (ch->effect == 3) {
            ch->target = note;
            ch->env_point = ch->env_tick = 0;
        } else {
            ch->note = note;
            if (const xm_instrument *in = instrument_of(s, ch)) {
                ch->pos = ch->frac = ch->fine = 0;
                ch->env_point = ch->env_tick = ch->vib_phase = 0;
                ch->volume = std::clamp(in->volume, 0, 64);
            }
        }
    } else if (note >= 97) {
        ch->volume = 0;
    }
    // The volume column sets 0..64; larger bytes are other commands there.
    if (vol) ch->volume = std::clamp(vol - 16, 0, 64);
    if (old_effect == 11) {
        s->jump = old_param;
        ch->effect = ch->prev_effect = ch->prev_param = 0;
    }
}

// Tick effects; returns the arpeggio's semitones for this tick.
int tick_effects(xm_player *s, xm_channel *ch) {
    int p = ch->param;
    switch (ch->effect) {
    case 0:
        if (s->tick % 3 == 1) return p >> 4;
        if (s->tick % 3 == 2) return p & 15;
        return 0;
    case 1: ch->fine += p * 16; break;
    case 2: ch->fine -= p * 16; break;
    case 3:
        if (ch->note < ch->target) {
            ch->fine += p * 16;
            unify_note_identity(ch);
            if (ch->note >= ch->target) ch->note = ch->target, ch->fine = 0;
        } else if (ch->note > ch->target || ch->fine != 0) {
            ch->fine -= p * 16;
            unify_note_identity(ch);
            if (ch->note <= ch->target) ch->note = ch->target, ch->fine = 0;
        }
        break;
    case 10: ch->volume = std::clamp(ch->volume - p, 0, 63); break;
    default: break;
    }
    unify_note_identity(ch);
    return 0;
}

void update_pitch(const xm_player *s, xm_channel *ch, int arpeggio) {
    const xm_instrument *in = instrument_of(s, ch);
    if (!in) return;
    int offset = 0;
    if (ch->effect == 4) {
        ch->vib_phase = (ch->vib_phase + (ch->param >> 4) * 32) % 2048;
        int x = (ch->vib_phase + 512) % 2048;
        int t = x < 1024 ? x : 2048 - x;
        offset = (ch->param & 15) * (512 - t) / 16;
    }
    int32_t note = ch->note + arpeggio + in->relative_note;
    int32_t fine = ch->fine - in->finetune / 2 + offset;
    normalise(&note, &fine);
    ch->step = get_delta(note, fine);
}

void update_envelope(const xm_player *s, xm_channel *ch) {
    const xm_instrument *in = instrument_of(s, ch);
    int n = in ? in->vol_env.points : 0;
    if (n <= 0 || !(in->env_bytes[8] & 1)) {
        ch->env_volume = 64;
        return;
    }
    const xm_envelope &e = in->vol_env;
    int i = ch->env_point, t = ch->env_tick;
    if (i < n - 1 && e.x[i + 1] <= t) i++;
    i = std::max(std::min(i, n - 1), 0);
    ch->env_point = i;
    int y = e.y[i];
    // Points at the same x would divide by zero: the first one's level holds.
    if (i + 1 < n && e.x[i + 1] != e.x[i])
        y = (e.y[i] * (e.x[i + 1] - t) + (t - e.x[i]) * e.y[i + 1]) / (e.x[i + 1] - e.x[i]);
    ch->env_volume = std::clamp(y, 0, 64);
    // past the last point's tick (at most 65535) the count changes nothing: hold it
    ch->env_tick = std::min(t + 1, 0x20000);
}

// Renders n samples of a channel (or a shadow's copy of one) into buf.
void mix_channel(xm_player *s, xm_channel *ch, int16_t *buf, int n) {
    const xm_instrument *in = instrument_of(s, ch);
    int a = ch->volume * ch->env_volume;
    if (a == 0 || !in) {
        std::fill(buf, buf + n, int16_t(0));
        return;
    }
    if (in->generator) {
        in->generator(s, ch->index, buf, n, a);
        return;
    }
    const int16_t *d = in->data;
    bool loops = in->loop_length > 0 && (in->type & 3) != 0;
    int64_t loop_end = int64_t(in->loop_start) + in->loop_length;
    for (int i = 0; i < n; i++) {
        if (!d || ch->pos < 0 || ch->pos >= in->length) {
            ch->volume = 0;
            std::fill(buf + i, buf + n, int16_t(0));
            return;
        }
        int32_t v;
        if (in->width == 8) {
            v = int32_t(vull_random(32000));
        } else {
            int w = ch->frac >> 16;
            v = (d[ch->pos + 1] * w + d[ch->pos] * (256 - w)) >> 8;
        }
        buf[i] = int16_t(std::clamp((v * a) >> 12, -32768, 32767));
        int64_t frac = int64_t(ch->frac) + uint32_t(ch->step);
        int64_t pos = ch->pos + (frac >> 24);
        ch->frac = int32_t(frac & 0xFFFFFF);
        if (loops && pos >= loop_end) pos -= in->loop_length;
        ch->pos = int32_t(std::min<int64_t>(pos, INT32_MAX));
    }
}

void update_channel_tick(xm_player *s, int c) {
    xm_channel *ch = &s->channel[c];
    xm_shadow *sh = &s->shadow[c];
    int arpeggio = s->tick != 0 ? tick_effects(s, ch) : 0;
    update_pitch(s, ch, arpeggio);
    update_envelope(s, ch);
    int n = s->samples_per_tick;
    mix_channel(s, ch, ch->buffer, n);
    // Declick: fade from where the previous tick would have gone to this one.
    mix_channel(s, &sh->ch, sh->ramp, XM_RAMP_SAMPLES);
    for (int i = 0; i < std::min(n, XM_RAMP_SAMPLES); i++)
        ch->buffer[i] = int16_t((sh->ramp[i] * (XM_RAMP_SAMPLES - i) + ch->buffer[i] * i) >> 7);
}

void mix_channels_to_target(const xm_player *s, int16_t *out, int from, int n) {
    int channels = std::clamp(s->module->channels, 0, XM_MAX_CHANNELS);
    for (int i = 0; i < n; i++) {
        int32_t sum = 0;
        for (int c = 0; c < channels; c++) sum += s->channel[c].buffer[from + i];
        out[i] = int16_t(std::clamp(sum / 3, -32767, 32767));
    }
}

// Starts the next tick; false when the song ended without looping.
bool next_tick(xm_player *s) {
    xm_module *m = s->module;
    int channels = std::clamp(m->channels, 0, XM_MAX_CHANNELS);
    if (s->position >= m->song_length) {
        int c = 0;
        while (c < channels && s->channel[c].effect != 11) c++;
        if (c < channels) {
            xm_channel *ch = &s->channel[c];
            s->position = ch->param < m->song_length ? ch->param : 0;
            ch->effect = ch->param = 0;
            s->row = s->tick = 0;
        } else if (!s->loop || m->song_length < 1) {
            s->playing = 0;
            return false;
        } else {
            s->position = 0;
        }
    }
    for (int c = 0; c < channels; c++) s->shadow[c].ch = s->channel[c];
    s->jump = -1;
    if (s->tick == 0) {
        for (int c = 0; c < channels; c++) update_channel_row(s, &s->channel[c]);
        if (s->jump != -1) {
            s->position = s->jump;
            s->row = s->tick = 0;
            for (int c = 0; c < channels; c++) update_channel_row(s, &s->channel[c]);
        }
    }
    for (int c = 0; c < channels; c++) update_channel_tick(s, c);
    s->delivered = 0;
    if (++s->tick >= s->tempo) {
        s->tick = 0;
        if (++s->row >= current_pattern(s).rows) {
            s->row = 0;
            s->position++;
        }
    }
    return true;
}

// Renders up to count samples; returns how many were written before the song ended.
int render_chunk(xm_player *s, int16_t *out, int count) {
    if (!s->module) return 0;
    int done = 0;
    for (;;) {
        int n = std::min(s->samples_per_tick - s->delivered, count - done);
        if (n > 0) {
            mix_channels_to_target(s, out + done, s->delivered, n);
            s->delivered += n;
            done += n;
        }
        if (done >= count) return done;
        if (!next_tick(s)) return done;
    }
}

} // namespace

int get_delta(int note, int fine) {
    if (note < 0) return 1;
    int f = std::clamp(fine, 0, 255);
    double period = double(ptab[(note % 12) * 8 + (f >> 5)]) * 16;
    double p = period * 64 / std::pow(2.0, note / 12);
    if (p == 0) return 3749769;
    double step = 916317184.0 / p / 44742 * 65536 * 256 + 0.5;
    return int(std::min(step, double(INT32_MAX)));
}

int unify_note_identity(xm_channel *ch) {
    normalise(&ch->note, &ch->fine);
    return ch->fine;
}

void vull_mix_xm_init(xm_module *module, xm_player *s, int rate) {
    s->module = module;
    int channels = module ? std::clamp(module->channels, 0, XM_MAX_CHANNELS) : 0;
    for (int c = 0; c < channels; c++) {
        std::memset(&s->channel[c], 0, sizeof s->channel[c]);
        s->channel[c].index = c;
    }
    s->position = s->row = s->tick = 0;
    s->tempo = module ? module->tempo : 0;
    int bpm = clamp_bpm(module ? module->bpm : 0);
    s->samples_per_tick =
        int(std::clamp<int64_t>(int64_t(rate) * 5 / (bpm * 2), 1, XM_TICK_SAMPLES));
    s->delivered = s->samples_per_tick;
    s->jump = -1;
    s->loop = 0;
}

void vull_mix_xm_chunk(xm_player *s, int16_t *out, int count) { render_chunk(s, out, count); }

int vull_calculate_xm_length(xm_module *m) {
    if (!m || m->song_length < 1) return 0;
    int64_t per_tick = 110250 / (clamp_bpm(m->bpm) * 2);
    int64_t n = int64_t(m->song_length) * 64 * std::max(m->tempo, 0) * per_tick;
    return int(std::min<int64_t>(n, INT32_MAX));
}

void vull_mix_xm(xm_module *module, csound *sound) {
    if (!module || !sound) return;
    auto state = std::make_unique<xm_player>();
    vull_mix_xm_init(module, state.get(), sound->frequency);
    // The render goes into the sound's own block, never past it.
    int count = std::min(vull_calculate_xm_length(module), sound->sample_count);
    auto *data = static_cast<int16_t *>(vull_sound_lock(sound));
    if (data && sound->bits == 16) render_chunk(state.get(), data, count);
    vull_sound_release(sound);
}

void mix_in_xm(int16_t *out, int count) {
    int32_t fade = vull_fade_vol.load(std::memory_order_relaxed);
    if (!ps0.playing || !ps0.module || fade == 0 || !vull_current_music) return;
    count = std::clamp(count, 0, int(std::size(xmbuf)));
    int32_t volume = std::clamp<int32_t>(cconfig.music_volume, 0, 256);
    int32_t gain = int32_t((int64_t(fade) * volume) >> 16);
    int done = render_chunk(&ps0, xmbuf, count);
    // Past the song's end there is nothing to add: never mix an older chunk again.
    std::fill(xmbuf + done, xmbuf + count, int16_t(0));
    for (int i = 0; i < count; i++) xmbuf[i] = int16_t((xmbuf[i] * gain) >> 8);
    zibo6_mix_down(out, xmbuf, count);
}

void xm_player_stop() { ps0.playing = 0; }

int xm_player_running() { return ps0.module && ps0.playing ? 1 : 0; }
