// Channel control, music and fades: starting sfx with the console's voice
// choice and stealing, stopping and releasing them, songs with fade-in and
// fade-out, the volumes and the queries of the status calls.
#include "audio/channel.h"

#include <algorithm>
#include <cstdio>

#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/xm.h"
#include "engine/config.h"
#include "engine/text.h"
#include "platform/system.h"
#include "platform/video.h"

std::atomic<int32_t> vull_fade_vol{0};
int32_t fade0, fade1, fade_len, fade_start_t;
cmusic *vull_current_music;
std::atomic<int32_t> vull_music_mask{0};

static vull_clock_fn music_clock = vull_get_time;

void vull_set_music_clock(vull_clock_fn clock) { music_clock = clock ? clock : vull_get_time; }

static mixer_channel *chan(int c) { return &ms0.channel[c]; }

static bool busy(const mixer_channel *ch) { return ch->sound || ch->sfx || ch->song; }

// The console's choice of a voice for an sfx on channel -1; -1 when none can be had.
static int choose_console_voice() {
    int32_t mask = vull_music_mask.load(std::memory_order_relaxed);
    auto masked = [&](int k) { return (mask >> k) & 1; };
    for (int k = 0; k < 4; k++)
        if (!busy(chan(k)) && !busy(chan(4 + k))) return k;
    for (int k = 0; k < 4; k++)
        if (!busy(chan(k)) && !chan(4 + k)->sound && !chan(4 + k)->sfx && !masked(k)) return k;
    for (int k = 0; k < 4; k++)
        if (!busy(chan(k)) && !masked(k)) return k;
    // Steal the voice whose sfx is fastest (smallest speed word); a tie goes higher.
    int best = -1;
    int32_t best_speed = 0;
    for (int k = 0; k < 4; k++) {
        const mixer_channel *ch = chan(k);
        if (!ch->sfx || (masked(k) && busy(chan(4 + k)))) continue;
        int32_t sp = z6_sfx_word(ch->sfx, Z6_SFX_SPEED);
        if (best < 0 || sp <= best_speed) {
            best = k;
            best_speed = sp;
        }
    }
    return best;
}

static int choose_engine_channel() {
    for (int c = 8; c < 16; c++)
        if (!busy(chan(c))) return c;
    int best = -1;
    int32_t best_speed = 0;
    for (int c = 8; c < 16; c++) {
        const mixer_channel *ch = chan(c);
        if (!ch->sfx || ch->song) continue;
        int32_t sp = z6_sfx_word(ch->sfx, Z6_SFX_SPEED);
        if (best < 0 || sp < best_speed) {
            best = c;
            best_speed = sp;
        }
    }
    return best;
}

int vull_play_sfx_ex(zibo6_sfx *sfx, int offset, int length, zibo6_cart *bank, int channel) {
    audio_lock lock;
    if (!sfx) {
        if (channel == -1) {
            int last = cconfig.console_sound ? 4 : 16;
            for (int c = 0; c < last; c++) clear_mixer_channel(chan(c));
        } else if (channel >= 0 && channel < Z6_MIXER_CHANNELS) {
            clear_mixer_channel(chan(channel));
        }
        return -1;
    }
    int c = channel;
    if (channel == -1) c = cconfig.console_sound ? choose_console_voice() : choose_engine_channel();
    if (c < 0 || c >= Z6_MIXER_CHANNELS) return -1;
    mixer_channel *ch = chan(c);
    int64_t speed = z6_sfx_speed(sfx);
    ch->sfx = sfx;
    ch->voice = c & 3;
    ch->bank = bank;
    ch->ticks = int32_t(std::clamp<int64_t>(offset * speed, INT32_MIN, INT32_MAX));
    ch->song = 0;
    ch->remaining_ticks = int32_t(std::clamp<int64_t>(speed * length, INT32_MIN, INT32_MAX));
    ch->loop_enabled = 1;
    return c;
}

void vull_stop_sfx(zibo6_sfx *sfx) {
    if (!sfx) return;
    audio_lock lock;
    for (mixer_channel &ch : ms0.channel)
        if (ch.sfx == sfx) clear_mixer_channel(&ch);
}

void vull_play_sfx(zibo6_sfx *sfx, zibo6_cart *bank) {
    if (!sfx) return;
    audio_lock lock;
    vull_stop_sfx(sfx);
    int32_t start = z6_sfx_word(sfx, Z6_SFX_LOOP_START), end = z6_sfx_word(sfx, Z6_SFX_LOOP_END);
    int n = end == 0 && start > 0 ? start : (start < end ? 0 : 32);
    vull_play_sfx_ex(sfx, 0, n, bank, -1);
}

void vull_release_looping_zibo6_channel(int channel) {
    if (channel < 0 || channel >= Z6_MIXER_CHANNELS) return;
    audio_lock lock;
    chan(channel)->loop_enabled = 0;
}

// The queries below read fields the mixer writes: they hold the audio lock (the
// queries were specified lock-free, which is a data race in C++).
static int channel_note(const mixer_channel &ch) {
    const zibo6_sfx *sfx = ch.sfx;
    return sfx ? ch.ticks / z6_sfx_speed(sfx) : -1;
}

int vull_get_sfx_playing_note(zibo6_sfx *sfx) {
    audio_lock lock;
    for (const mixer_channel &ch : ms0.channel)
        if (sfx && ch.sfx == sfx) return channel_note(ch);
    return -1;
}

int vull_get_channel_note(int channel) {
    if (channel < 0 || channel >= Z6_MIXER_CHANNELS) return -1;
    audio_lock lock;
    return channel_note(*chan(channel));
}

zibo6_sfx *vull_get_zibo6_channel_sfx(int channel) {
    if (channel < 0 || channel >= Z6_MIXER_CHANNELS) return nullptr;
    audio_lock lock;
    return chan(channel)->sfx;
}

void vull_stop_all_sounds() {
    audio_lock lock;
    for (mixer_channel &ch : ms0.channel) clear_mixer_channel(&ch);
}

static void clear_song_channels(const zibo6_cart *bank) {
    for (mixer_channel &ch : ms0.channel)
        if (ch.song && (!bank || ch.bank == bank)) clear_mixer_channel(&ch);
}

void vull_stop_zibo6_song(zibo6_cart *bank) {
    audio_lock lock;
    clear_song_channels(bank);
}

void vull_play_zibo6_song(zibo6_cart *bank, int pattern, int fade_ms) {
    audio_lock lock;
    if (!bank) {
        clear_song_channels(nullptr);
        return;
    }
    clear_song_channels(bank);
    if (pattern < 0 || pattern > 63) return;
    bool any = false;
    for (int k = 0; k < 4; k++) any |= z6_pattern_channel(bank, pattern, k) < 64;
    if (!any) return;
    vull_state.song_pattern = pattern;
    vull_state.patterns_played = 0;
    int32_t length = zibo6_pattern_length(bank, pattern);
    for (int k = 0; k < 4; k++) {
        int32_t s = z6_pattern_channel(bank, pattern, k);
        vull_play_sfx_ex(&bank->sfx[std::min(s, 63)], 0, 32, bank, 4 + k);
        mixer_channel *ch = chan(4 + k);
        if (s >= 64) ch->sfx = nullptr; // an off voice ticks silently
        ch->song = 1;
        ch->bank = bank;
        ch->pattern = pattern;
        ch->voice = k;
        ch->remaining_ticks = length;
    }
    vull_start_music_fade(0, fade_ms);
}

// Set once the music has been stopped for good: until the next fade starts,
// no song channel or module can be playing, so there is nothing to stop.
static bool music_stopped;

void vull_start_music_fade(int32_t from, int fade_ms) {
    music_stopped = false;
    fade_len = fade_ms;
    fade_start_t = music_clock();
    fade0 = from;
    fade1 = 65536;
    vull_update_music_fading();
}

// The level of the running fade at time t (ms since its start).
static int32_t fade_level(int64_t t) {
    int64_t v = (t * fade1 + (int64_t(fade_len) - t) * fade0) / fade_len;
    return int32_t(std::clamp<int64_t>(v, 0, 65536));
}

void vull_update_music_fading() {
    int32_t vol = vull_fade_vol.load(std::memory_order_relaxed);
    if (vol != fade1) {
        int64_t t = vull_ms_between(fade_start_t, music_clock());
        if (fade_len != 0 && t < fade_len) {
            vull_fade_vol.store(fade_level(t), std::memory_order_relaxed);
            return;
        }
        vull_fade_vol.store(fade1, std::memory_order_relaxed);
    }
    if (fade1 == 0 && !music_stopped) {
        audio_lock lock;
        xm_player_stop();
        clear_song_channels(nullptr);
        music_stopped = true;
    }
}

void cmusic_stop(cmusic *, int fade_ms) {
    music_stopped = false;
    fade0 = vull_fade_vol.load(std::memory_order_relaxed);
    fade1 = 0;
    fade_start_t = music_clock();
    fade_len = fade_ms;
    int64_t t = vull_ms_between(fade_start_t, music_clock());
    if (fade0 != 0 && fade_ms != 0 && t < fade_ms) {
        vull_fade_vol.store(fade_level(t), std::memory_order_relaxed);
        return;
    }
    vull_fade_vol.store(0, std::memory_order_relaxed);
    audio_lock lock;
    xm_player_stop();
    clear_song_channels(nullptr);
}

int vull_music_is_playing() {
    audio_lock lock;
    for (const mixer_channel &ch : ms0.channel)
        if (ch.song && ch.bank) {
            if (ch.pattern != -1) return 1;
            break;
        }
    bool finished = fade1 == 0 && vull_fade_vol.load(std::memory_order_relaxed) == 0;
    return vull_current_music && xm_player_running() && !finished ? 1 : 0;
}

int vull_get_zibo6_song_ticks() {
    audio_lock lock;
    int32_t most = 0;
    bool any = false;
    for (const mixer_channel &ch : ms0.channel)
        if (ch.sfx && ch.song) {
            most = std::max(most, std::max(ch.ticks, 0));
            any = true;
        }
    return any ? most : 0;
}

void vull_set_sound_volume(int volume) {
    if (vull_sound_inited) cconfig.sound_volume = volume;
}

void vull_set_music_volume(int volume) { cconfig.music_volume = volume; }

int vull_sfx_is_playing(zibo6_sfx *sfx) {
    audio_lock lock;
    for (const mixer_channel &ch : ms0.channel)
        if (sfx && ch.sfx == sfx) return 1;
    return 0;
}

int vull_zibo6_song_is_playing(zibo6_cart *bank) {
    audio_lock lock;
    for (const mixer_channel &ch : ms0.channel)
        if (ch.song && ch.bank && (!bank || ch.bank == bank)) return ch.pattern;
    return -1;
}

int vull_any_sound_is_playing() {
    audio_lock lock;
    for (const mixer_channel &ch : ms0.channel)
        if (ch.sfx || ch.sound) return 1;
    return 0;
}

void debug_zibo6_channels() {
    if (!vull_back_page) return;
    char line[64];
    for (int c = 0; c < Z6_MIXER_CHANNELS; c++) {
        const mixer_channel *ch = chan(c);
        std::snprintf(line, sizeof line, "chan %d %c %c %d", c, busy(ch) ? 'P' : '-',
                      ch->song ? 'S' : '-', int(ch->remaining_ticks));
        vull_draw_text(vull_back_page, line, vull_font2, 0, 8 * c);
    }
}

int vull_music_get_fading_state() {
    int32_t vol = vull_fade_vol.load(std::memory_order_relaxed);
    audio_lock lock;
    for (const mixer_channel &ch : ms0.channel)
        if (ch.song && ch.bank && ch.pattern >= 0) {
            if (fade1 > 0 && vol < fade1) return 1;
            if (fade1 == 0 && vol > 0) return 2;
            return 0;
        }
    if (vull_current_music && xm_player_running()) {
        if (fade1 > 0 && vol < fade1) return 1;
        if (fade1 == 0 && vol > 0) return 2;
    }
    return 0;
}

cmusic *vull_get_current_music() { return vull_current_music; }
