// Mixer callback and device front. The callback renders every channel into its
// own buffer, mutes song voices under an sfx, sums the channels pairwise through
// the knee, applies the master volume and hands the result to the device, the
// post-mix hook and the recording buffer. Device buffers of any size are mixed
// in passes of at most Z6_MIX_SAMPLES samples.
#include "audio/mixer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "audio/channel.h"
#include "audio/sequencer.h"
#include "audio/sound.h"
#include "audio/synth.h"
#include "audio/xm.h"
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/hooks.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "platform/system.h"

vull_mixer_state ms0;
vull_file *vull_audio_buffer;

// Read on the audio thread: set once at start-up, but kept atomic for the reader.
constinit std::atomic<vull_post_mix_fn> vull_post_mix_func{nullptr};

void vull_set_post_mix_func(vull_post_mix_fn hook) {
    vull_post_mix_func.store(hook, std::memory_order_release);
}

xm_player *vull_get_xm_playstate() { return &ps0; }

static void clear_mixer() {
    for (mixer_channel &ch : ms0.channel) ch = mixer_channel{};
    std::fill(std::begin(xmbuf), std::end(xmbuf), int16_t(0));
    ps0.module = nullptr;
    audio_random_seed(0xDEADBEEFu, 0x01234567u);
}

void vull_sound_init(int rate, int channels) {
    clear_mixer();
    vull_debugf("vull_sound_init mix_buffer_size: %d\n", int(cconfig.mix_buffer_size));
    // The platform stores the requested rate and channel count before the device starts.
    if (!cconfig.headless) {
        vull_sound_init_plat(rate, channels, vull_mixer_callback);
        vull_set_sound_volume(cconfig.sound_volume);
        vull_set_music_volume(cconfig.music_volume);
    }
}

void vull_sound_init_offline() {
    clear_mixer();
    vull_state.audio_freq_requested = vull_state.audio_freq = 22050;
    vull_state.audio_channels_requested = vull_state.audio_channels = 1;
    cconfig.console_sound = 1;
    cconfig.sound_volume = 256;
    cconfig.music_volume = 256;
}

void vull_sound_exit() { vull_sound_exit_plat(); }

static void stop_music_now() { cmusic_stop(nullptr, 0); }

void vull_sound_attach() {
    vull_engine_attach();
    vull_set_audio_funcs({stop_music_now, vull_update_music_fading, vull_sound_exit});
    cpod_set_audio_items({vull_create_sound, vull_destroy_sound, vull_sound_lock,
                          vull_sound_release, csound_set_frequency, vull_create_synth,
                          vull_destroy_synth});
}

// Beyond +-24575 a sum keeps a fifth of its excess. The excess of a sum of two
// 16-bit samples is below 2^16, where x / 5 is (x * 52429) >> 18 exactly, and
// written so the sum loops below take several samples at once.
int32_t zibo6_knee(int32_t s) {
    assert(s >= -65536 && s <= 65534);
    int32_t up = int32_t((uint32_t(s - 24576) * 52429u) >> 18) + 24576;
    int32_t down = -int32_t((uint32_t(-24576 - s) * 52429u) >> 18) - 24576;
    return s > 24575 ? up : s < -24575 ? down : s;
}

Z6_SAMPLE_LOOPS void zibo6_mix_down(int16_t *__restrict dst, const int16_t *__restrict src,
                                    int n) {
    for (int i = 0; i < n; i++) dst[i] = int16_t(zibo6_knee(dst[i] + src[i]));
}

// Clearing keeps ticks, oscillator and ring: a new sfx crossfades from them.
void clear_mixer_channel(mixer_channel *ch) {
    ch->bank = nullptr;
    ch->sfx = nullptr;
    ch->song = 0;
    ch->sound = nullptr;
    ch->loop_enabled = 0;
}

// Copies the channel's sound object over its mix buffer, unchanged.
static void mix_sound_object(mixer_channel *ch, int n) {
    const csound *s = ch->sound;
    // Only 16-bit blocks can be read as samples; anything else has nothing to play.
    int32_t count = s->bits == 16 && s->play_data ? s->sample_count : 0;
    const int16_t *src = static_cast<const int16_t *>(s->play_data);
    if (ch->sound_position < 0) ch->sound_position = 0;
    int done = 0;
    while (done < n) {
        int take = int(std::min<int64_t>(n - done, int64_t(count) - ch->sound_position));
        if (take > 0) {
            std::memcpy(ch->mix_buffer + done, src + ch->sound_position, size_t(take) * 2);
            ch->sound_position += take;
            done += take;
        }
        if (ch->sound_position < count) continue;
        if (s->loop && count > 0) {
            ch->sound_position = 0;
            continue;
        }
        if (take <= 0) clear_mixer_channel(ch); // nothing was left for this pass
        break;
    }
}

bool update_mix_channel(mixer_channel *ch, int n) {
    n = std::clamp(n, 0, Z6_MIX_SAMPLES); // a pass reads its n samples only
    bool silent;
    if (z6_sound_register(0) & (1 << (ch->voice & 3))) {
        // Half rate: half the samples, each output twice (an octave lower).
        silent = mix_sfx_channel(ch, n / 2 + 1);
        if (!silent)
            for (int i = n - 1; i >= 0; i--) ch->mix_buffer[i] = ch->mix_buffer[i / 2];
    } else {
        silent = mix_sfx_channel(ch, n);
    }
    if (ch->sound) {
        if (silent) std::fill(ch->mix_buffer, ch->mix_buffer + n, int16_t(0));
        mix_sound_object(ch, n);
        silent = false;
    }
    return silent;
}

// One pass of at most Z6_MIX_SAMPLES samples; the result is in channel 0's buffer.
static void mix_pass(int n) {
    advanced_pattern = 0;
    bool silent[Z6_MIXER_CHANNELS];
    for (int c = 0; c < Z6_MIXER_CHANNELS; c++) silent[c] = update_mix_channel(&ms0.channel[c], n);
    if (advanced_pattern) vull_state.patterns_played += 1;
    int count = Z6_MIXER_CHANNELS;
    if (cconfig.console_sound) {
        // An sfx on a voice mutes that voice's song layer, which keeps running.
        for (int k = 0; k < 4; k++)
            if (ms0.channel[k].sfx) silent[4 + k] = true;
        count = 8;
    }
    // A silent channel's buffer was not written: it is cleared only to be summed.
    if (std::all_of(silent, silent + count, [](bool s) { return s; })) {
        std::fill(ms0.channel[0].mix_buffer, ms0.channel[0].mix_buffer + n, int16_t(0));
        mix_in_xm(ms0.channel[0].mix_buffer, n);
        return;
    }
    for (int c = 0; c < count; c++) {
        int16_t *b = ms0.channel[c].mix_buffer;
        if (silent[c]) std::fill(b, b + n, int16_t(0));
    }
    for (int step = 2; step <= count; step *= 2)
        for (int j = 0; j < count; j += step) {
            zibo6_mix_down(ms0.channel[j].mix_buffer, ms0.channel[j + step / 2].mix_buffer, n);
        }
    // The configured volume is read unchecked from config.txt: above 256 it would overflow.
    int32_t vol = std::clamp<int32_t>(cconfig.sound_volume, 0, 256);
    if (vol != 256) {
        int16_t *a = ms0.channel[0].mix_buffer;
        for (int i = 0; i < n; i++) a[i] = int16_t((a[i] * vol) >> 8);
    }
    mix_in_xm(ms0.channel[0].mix_buffer, n);
}

static void put16(uint8_t *p, int16_t v) {
    p[0] = uint8_t(uint16_t(v));
    p[1] = uint8_t(uint16_t(v) >> 8);
}

void vull_mixer_callback_0(uint8_t *stream, int bytes) {
    int rate = vull_state.audio_freq_requested, chans = vull_state.audio_channels_requested;
    int frames = chans == 2 ? bytes / 4 : bytes / 2;
    int n = rate == 44100 ? frames / 2 : frames;
    bool mono22 = rate == 22050 && chans == 1, stereo44 = rate == 44100 && chans == 2;
    for (int at = 0; at < n;) {
        int pass = std::min(n - at, Z6_MIX_SAMPLES);
        mix_pass(pass);
        const int16_t *mixed = ms0.channel[0].mix_buffer;
        if (mono22) {
            for (int i = 0; i < pass; i++) put16(stream + 2 * (at + i), mixed[i]);
            if (vull_state.audio_recording && vull_audio_buffer)
                cbuffer_add_data(vull_audio_buffer, stream + 2 * at, pass * 2);
        } else if (stereo44) {
            for (int j = 0; j < 4 * pass; j++) put16(stream + 2 * (4 * at + j), mixed[j / 4]);
        }
        at += pass;
    }
    if (vull_post_mix_fn hook = vull_post_mix_func.load(std::memory_order_acquire))
        hook(reinterpret_cast<int16_t *>(stream), bytes / 2);
}

void vull_mixer_callback(void *, uint8_t *stream, int bytes) {
    if (bytes <= 0 || !stream) return;
    bool silent = vull_state.paused != 0 || vull_state.sound_paused != 0 ||
                  vull_state.audio_freq != vull_state.audio_freq_requested ||
                  vull_state.audio_channels != vull_state.audio_channels_requested;
    if (silent) {
        std::memset(stream, 0, size_t(bytes));
        return;
    }
    vull_mixer_callback_0(stream, bytes);
}

// The callback appends to the recording: start and stop it with the mixer held off.
vull_file *vull_audio_rec() {
    vull_lock_audio();
    if (!vull_audio_buffer) vull_audio_buffer = vull_create_buffer(352000);
    if (vull_audio_buffer) vull_clear_buffer(vull_audio_buffer);
    vull_state.audio_recording = 1;
    vull_unlock_audio();
    return vull_audio_buffer;
}

vull_file *vull_audio_end() {
    vull_lock_audio();
    vull_file *buffer = vull_state.audio_recording ? vull_audio_buffer : nullptr;
    vull_state.audio_recording = 0;
    vull_unlock_audio();
    return buffer;
}
