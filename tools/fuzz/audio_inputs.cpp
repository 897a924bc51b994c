// The audio engine's readers of untrusted input as hostile-input entries.
// xm: whatever module loads is played for a while (looping, so every order
// position and effect path is reached) and rendered into a sound, then
// written, read back and written again to the same bytes. synth: the node
// synthesiser items of a POD file, rendered twice and written back.
#include "tools/fuzz/hostile_inputs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "audio/sound.h"
#include "audio/synth.h"
#include "audio/xm.h"
#include "cart/cart.h"
#include "console/api_sound.h"
#include "console/mem.h"
#include "cart/state.h"
#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "engine/vmath.h"
#include "engine/vull.h"

namespace {

constexpr size_t INPUT_LIMIT = 1u << 20;
// Modules play at a low rate: the same rows and effects in fewer samples.
constexpr int PLAY_RATE = 5512;
constexpr int PLAY_SAMPLES = 8192;
// Synths of up to this many buffer values are rendered (a larger one is read and
// written back only: its render time grows with the length).
constexpr int SYNTH_RENDER_MAX = 1 << 14;

void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "hostile audio: broken invariant: %s\n", what);
    std::abort();
}

xm_module *read_xm(const void *data, size_t size) {
    std::vector<uint8_t> copy(static_cast<const uint8_t *>(data),
                              static_cast<const uint8_t *>(data) + size);
    vull_file *f = vull_fopen_memory(copy.empty() ? nullptr : copy.data(), int(copy.size()));
    check(f != nullptr, "memory file");
    xm_module *m = vull_load_xm_from_file(f);
    vull_fclose(f);
    return m;
}

std::vector<uint8_t> write_xm(xm_module *m) {
    cbuffer *out = vull_create_buffer(0);
    check(vull_save_xm_to_file(m, out) == 0, "writing a loaded module");
    std::vector<uint8_t> bytes(out->data, out->data + out->length);
    vull_destroy_buffer(out);
    return bytes;
}

void free_xm(xm_module *m) {
    vull_destroy_xm(m);
    vull_free(m);
}

int run_xm(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    xm_module *m = read_xm(data, size);
    if (!m) return 0;
    check(m->channels >= 0 && m->channels <= XM_MAX_CHANNELS, "channel count");
    auto state = std::make_unique<xm_player>();
    vull_mix_xm_init(m, state.get(), PLAY_RATE);
    check(state->samples_per_tick >= 1 && state->samples_per_tick <= XM_TICK_SAMPLES,
          "samples per tick");
    state->loop = 1;
    state->playing = 1;
    std::vector<int16_t> out(PLAY_SAMPLES);
    vull_mix_xm_chunk(state.get(), out.data(), PLAY_SAMPLES);
    csound *sound = vull_create_sound(PLAY_SAMPLES, 16);
    csound_set_frequency(sound, PLAY_RATE);
    vull_mix_xm(m, sound);
    vull_destroy_sound(sound);
    std::vector<uint8_t> once = write_xm(m);
    xm_module *back = read_xm(once.data(), once.size());
    check(back != nullptr, "written module reads back");
    check(write_xm(back) == once, "written module writes back the same");
    free_xm(back);
    free_xm(m);
    return 0;
}

std::vector<int16_t> render(vull_synth *s) {
    vull_synth_generate(s, nullptr, 0);
    if (!s->rendered) return {};
    const auto *p = static_cast<const int16_t *>(vull_sound_lock(s->rendered));
    std::vector<int16_t> samples(p, p + s->rendered->sample_count);
    vull_sound_release(s->rendered);
    for (const vull_synth_node &n : s->node) check(n.buffer == nullptr, "node buffers freed");
    return samples;
}

cbuffer *write_synth(vull_synth *s) {
    cbuffer *out = vull_create_buffer(0);
    check(vull_serialise_synth(s, out) == 0, "writing a loaded synth");
    return out;
}

// The input as a pod set; every synth item in it is rendered twice with its own
// seed (the same samples, the engine's random sequence outside untouched) and
// written out after.
int run_synth(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    std::vector<uint8_t> copy(data, data + size);
    cpod *set[CPOD_SET_SIZE];
    vull_load_pod_set_from_memory(copy.data(), int(size), set);
    for (cpod *pod : set) {
        if (!pod) continue;
        for (int i = 0; i < pod->count; i++) {
            int slot = pod->used[i];
            if (pod->types[slot] != CPOD_SYNTH) continue;
            auto *s = static_cast<vull_synth *>(pod->items[slot]);
            if (s->length <= SYNTH_RENDER_MAX) {
                uint32_t high, low, high_after, low_after;
                vull_random_get_seeds(&high, &low);
                std::vector<int16_t> once = render(s);
                vull_random_get_seeds(&high_after, &low_after);
                check(high == high_after && low == low_after, "the render keeps the random state");
                check(render(s) == once, "a second render gives the same samples");
            }
            vull_destroy_buffer(write_synth(s));
        }
    }
    cpod_set_clear(set);
    return 0;
}

// cart_sound input: the sound memory 0x3100-0x42ff (music, then the 64 sfx;
// missing bytes read as 0), six setting bytes (registers 0x5f40-0x5f43, then
// 256 minus the sound and the music volume), then up to SOUND_COMMANDS
// commands of six bytes: op, a, b, c, d, e.
constexpr int SOUND_MEMORY = 0x3100;
constexpr int SOUND_MEMORY_BYTES = 0x4300 - SOUND_MEMORY;
constexpr int SOUND_SETTINGS = 6;
constexpr int SOUND_COMMAND_BYTES = 6;
constexpr int SOUND_COMMANDS = 64;
// Samples rendered an input at most (0.37 s, 44 ticks: a pattern ends within
// it at speed 1, or with a loop start as its length), and the tail played
// after the script. Every sample costs all 16 channels and the sum, so this
// bounds the time of an input.
constexpr int SOUND_RENDER_LIMIT = 1 << 13;
constexpr int SOUND_TAIL = 2048;
// Samples a stopped mixer is given to fade out, and then must be silent for.
constexpr int SOUND_SETTLE = 6 * Z6_TICK_SAMPLES;
constexpr int SOUND_SILENT = 256;
constexpr int SOUND_RATE = 22050;

enum sound_op : uint8_t {
    OP_SFX,      // sfx(int8 a, channel b % 7 - 3, offset int8 c, length int16 de)
    OP_MUSIC,    // music(int8 a, fade int16 de, mask c)
    OP_RENDER,   // ab % 4097 samples in device buffers of 1 + cd % 8192 samples (+1 byte when e is odd)
    OP_POKE,     // sound memory byte 0x3100 + ab % 4608 := c
    OP_REGISTER, // register 0x5f40 + (a & 3) := b
    OP_RELEASE,  // release channel int8 a
    OP_STOP,     // e odd: stop every sound; else stop channel int8 a (as sfx(-1, a))
    OP_BOOT_SFX, // sfx a & 63 as the boot sequence plays it
    OP_COUNT,
};

int32_t sound_regs[4];
int64_t sound_samples; // rendered in this play
int music_now;         // ms of sound rendered: the fade's clock
int music_clock() { return music_now; }

// The memory cart is a console record: made once, its sound section rewritten
// by each input.
zibo6_cart *sound_cart() {
    static zibo6_cart *cart = vull_create_zibo6_cart();
    check(cart != nullptr, "sound cart");
    return cart;
}

void check_sound_state(const zibo6_cart *cart) {
    for (const mixer_channel &ch : ms0.channel) {
        check(ch.tick_cursor >= 0 && ch.tick_cursor <= Z6_TICK_SAMPLES, "tick cursor");
        check(ch.ring_index >= 0 && ch.ring_index < Z6_ECHO_SLOTS, "echo ring index");
        check(ch.voice >= 0 && ch.voice <= 3, "voice");
        check(ch.echo_level >= 0 && ch.echo_level <= 2, "echo level");
        check(ch.dampen == 0 || ch.dampen == 8 || ch.dampen == 12 || ch.dampen == 15, "dampen");
        check(!ch.sfx || (ch.sfx >= cart->sfx && ch.sfx < cart->sfx + Z6_BANK_SFX),
              "a channel's sfx is one of the bank's");
        check(!ch.bank || ch.bank == cart, "a channel's bank");
        check(!ch.song || (ch.pattern >= 0 && ch.pattern < Z6_BANK_PATTERNS), "song pattern");
        check(!ch.sound, "no sound object");
        const osc_state &o = ch.osc;
        check(o.phase >= 0 && o.phase <= 0xFFFF && o.phase2 >= 0 && o.phase2 <= 0x1FFFF, "phase");
        check(o.noise_value >= -6143 && o.noise_value <= 6143, "noise walk");
        check(o.detune >= 0 && o.detune <= 2 && o.variant >= 0 && o.variant <= 1, "detune");
        check(o.noise_mode >= 0 && o.noise_mode <= 2 && o.reverb >= 0 && o.reverb <= 2, "modes");
        check(o.inst_drop >= 0 && o.inst_drop <= 256, "instrument drop");
    }
    int32_t fade = vull_fade_vol.load();
    check(fade >= 0 && fade <= 65536, "fade level");
    // What stat(16..26) tells a cart.
    for (int n = 16; n <= 26; n++) {
        int v = -2;
        check(zibo6_sound_stat(n, &v) == 1, "sound stat answered");
        if (n <= 19 || n == 24)
            check(v >= -1 && v <= 63, "stat: sfx or pattern number");
        else
            check(v >= -1, "stat: note, patterns or ticks");
    }
}

// Renders n samples through the device callback in buffers of chunk samples
// (plus an odd byte).
void render_sound(int n, int chunk, bool odd) {
    std::vector<uint8_t> device(size_t(chunk) * 2 + 1);
    int32_t volume = std::clamp<int32_t>(cconfig.sound_volume, 0, 256);
    int32_t peak = (32768 * volume) >> 8;
    for (int done = 0; done < n;) {
        int take = std::min(chunk, n - done);
        int bytes = take * 2 + (odd ? 1 : 0);
        vull_mixer_callback(nullptr, device.data(), bytes);
        for (int i = 0; i < take; i++) {
            int16_t v = int16_t(uint16_t(device[size_t(2 * i)] | device[size_t(2 * i + 1)] << 8));
            check(v >= -peak && v <= peak, "sample within the master volume");
        }
        done += take;
        sound_samples += take;
        music_now = int(sound_samples * 1000 / SOUND_RATE);
        vull_update_music_fading(); // once a frame in the player; here once a device buffer
    }
}

// One whole play of the input from a cleared mixer.
void play_sound(const uint8_t *data, size_t size) {
    zibo6_cart *cart = sound_cart();
    auto byte = [&](size_t i) { return i < size ? data[i] : uint8_t(0); };
    for (int p = 0; p < Z6_BANK_PATTERNS; p++) cart->pattern_flags[p] = 0;
    for (int i = 0; i < SOUND_MEMORY_BYTES; i++)
        zibo6_poke(nullptr, cart, SOUND_MEMORY + i, byte(size_t(i)));
    size_t at = SOUND_MEMORY_BYTES;
    vull_sound_init_offline();
    vull_state.paused = 0;
    vull_state.sound_paused = 0;
    vull_state.song_pattern = -1;
    vull_state.patterns_played = 0;
    for (int i = 0; i < 4; i++) sound_regs[i] = byte(at + size_t(i));
    cconfig.sound_volume = 256 - byte(at + 4);
    cconfig.music_volume = 256 - byte(at + 5);
    at += SOUND_SETTINGS;
    sound_samples = 0;
    music_now = 0;
    vull_fade_vol = 0;
    fade0 = fade1 = fade_len = fade_start_t = 0;
    vull_music_mask = 0;

    int rendered = 0;
    for (int k = 0; k < SOUND_COMMANDS && at + SOUND_COMMAND_BYTES <= size;
         k++, at += SOUND_COMMAND_BYTES) {
        const uint8_t *c = data + at;
        int a = c[1], b = c[2], x = c[3], d = c[4], e = c[5];
        int16_t de = int16_t(uint16_t(d << 8 | e));
        switch (c[0] % OP_COUNT) {
        case OP_SFX: {
            // The sfx call's own argument rules.
            int n = int8_t(a), channel = b % 7 - 3;
            if (channel < -2) break;
            if (n == -1) {
                vull_play_sfx_ex(nullptr, 0, 0, nullptr, channel);
            } else if (n == -2) {
                vull_release_looping_zibo6_channel(channel);
            } else if (channel != -2) {
                zibo6_sfx *sfx = &cart->sfx[std::clamp(n, 0, 63)];
                vull_stop_sfx(sfx);
                vull_play_sfx_ex(sfx, std::clamp(int(int8_t(x)), 0, 31), de, cart, channel);
            } else if (n >= 0 && n <= 63) {
                vull_stop_sfx(&cart->sfx[n]);
            }
            break;
        }
        case OP_MUSIC:
            if (int8_t(a) == -1) {
                cmusic_stop(nullptr, de);
            } else {
                vull_play_zibo6_song(cart, std::clamp(int(int8_t(a)), 0, 63), de);
                vull_music_mask = x;
            }
            break;
        case OP_RENDER: {
            int n = std::min((a << 8 | b) % (Z6_MIX_SAMPLES + 1), SOUND_RENDER_LIMIT - rendered);
            render_sound(n, 1 + (x << 8 | d) % 8192, e & 1);
            rendered += n;
            break;
        }
        case OP_POKE: zibo6_poke(nullptr, cart, SOUND_MEMORY + (a << 8 | b) % SOUND_MEMORY_BYTES, x); break;
        case OP_REGISTER: sound_regs[a & 3] = b; break;
        case OP_RELEASE: vull_release_looping_zibo6_channel(int8_t(a)); break;
        case OP_STOP:
            if (e & 1)
                vull_stop_all_sounds();
            else
                vull_play_sfx_ex(nullptr, 0, 0, nullptr, int8_t(a));
            break;
        case OP_BOOT_SFX: vull_play_sfx(&cart->sfx[a & 63], cart); break;
        default: break;
        }
        check_sound_state(cart);
    }
    int tail = std::min(SOUND_TAIL, SOUND_RENDER_LIMIT - rendered);
    render_sound(tail, 1024, false);
    check_sound_state(cart);
    // Stopped sound fades out within a few ticks (twice as many at half rate)
    // and then stays silent: nothing plays on.
    vull_stop_all_sounds();
    cmusic_stop(nullptr, 0);
    render_sound(SOUND_SETTLE, 1024, false);
    std::vector<uint8_t> after(SOUND_SILENT * 2);
    vull_mixer_callback(nullptr, after.data(), SOUND_SILENT * 2);
    check(std::all_of(after.begin(), after.end(), [](uint8_t v) { return v == 0; }),
          "silence after every sound is stopped");
}

int run_cart_sound(const uint8_t *data, size_t size) {
    if (size > INPUT_LIMIT) return 0;
    static bool ready = [] {
        vull_set_sound_registers(sound_regs);
        vull_set_music_clock(music_clock);
        vull_set_post_mix_func(nullptr);
        pstate.memory_cart = sound_cart(); // stat() reads the memory cart's bank
        return true;
    }();
    (void)ready;
    play_sound(data, size);
    return 0;
}

} // namespace

void hostile_attach() { vull_sound_attach(); }

const hostile_entry hostile_entries[] = {
    {"xm", run_xm},
    {"synth", run_synth},
    {"cart_sound", run_cart_sound},
    {nullptr, nullptr},
};
