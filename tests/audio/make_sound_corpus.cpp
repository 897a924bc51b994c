// Writes the seed inputs of the cart_sound fuzz entry (tools/fuzz/audio_inputs.cpp):
// the sound memory of each cart named on the command line with a script that
// plays its song and its first sfx, and hand-made banks for the paths real
// carts rarely take (every waveform and effect, instruments, loops and
// releases, fast songs with loop and stop flags, the sound registers, fades,
// voice stealing, pokes while playing).
//   make_sound_corpus FOLDER [CART...]
#include <cstdio>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "cart/disk.h"
#include "console/mem.h"
#include "shell/zibo6.h"

namespace {

constexpr int MEMORY = 0x3100, MEMORY_BYTES = 0x4300 - 0x3100, SFX_BYTES = 68;
constexpr int SETTINGS = 6;

enum : uint8_t { SFX, MUSIC, RENDER, POKE, REGISTER, RELEASE, STOP, BOOT_SFX };

struct seed {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(MEMORY_BYTES + SETTINGS);

    uint8_t *sfx(int n) { return &bytes[size_t(0x100 + n * SFX_BYTES)]; }
    void note(int n, int i, int pitch, int wave, int volume, int effect, bool custom = false) {
        uint8_t *p = sfx(n) + 2 * i;
        p[0] = uint8_t((pitch & 63) | (wave & 3) << 6);
        p[1] = uint8_t(((wave >> 2) & 1) | (volume & 7) << 1 | (effect & 7) << 4 | (custom ? 128 : 0));
    }
    void head(int n, int filters, int speed, int loop_start, int loop_end) {
        uint8_t *p = sfx(n) + 64;
        p[0] = uint8_t(filters);
        p[1] = uint8_t(speed);
        p[2] = uint8_t(loop_start);
        p[3] = uint8_t(loop_end);
    }
    // Channel words of a pattern (64 or more: off) and its loop-start, loop-back and stop flags.
    void pattern(int p, int c0, int c1, int c2, int c3, int flags = 0) {
        int c[4] = {c0, c1, c2, c3};
        for (int k = 0; k < 4; k++) bytes[size_t(p * 4 + k)] = uint8_t((c[k] & 127) | ((flags >> k) & 1) << 7);
    }
    void settings(int r0, int r1, int r2, int r3, int sound_volume = 256, int music_volume = 256) {
        uint8_t *p = &bytes[MEMORY_BYTES];
        p[0] = uint8_t(r0), p[1] = uint8_t(r1), p[2] = uint8_t(r2), p[3] = uint8_t(r3);
        p[4] = uint8_t(256 - sound_volume);
        p[5] = uint8_t(256 - music_volume);
    }
    void command(uint8_t op, int a = 0, int b = 0, int c = 0, int de = 0) {
        uint8_t cmd[6] = {op, uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(de >> 8), uint8_t(de)};
        bytes.insert(bytes.end(), cmd, cmd + 6);
    }
    void play_sfx(int n, int channel = -1, int offset = 0, int length = 0) {
        command(SFX, n, channel + 3, offset, length);
    }
    void music(int n, int fade_ms = 0, int mask = 0) { command(MUSIC, n, 0, mask, fade_ms); }
    // samples in device buffers of chunk samples.
    void render(int samples, int chunk = 1024) {
        for (; samples > 0; samples -= 4096) {
            int n = samples < 4096 ? samples : 4096;
            command(RENDER, n >> 8, n & 255, (chunk - 1) >> 8, (chunk - 1) << 8);
        }
    }
};

bool put(const std::string &folder, const std::string &name, const seed &s) {
    std::string path = folder + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(s.bytes.data(), 1, s.bytes.size(), f) == s.bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "make_sound_corpus: could not write %s\n", path.c_str());
    return ok;
}

// A cart's song from its first pattern that plays, and up to four of its sfx.
bool put_cart(const std::string &folder, const char *path) {
    zibo6_cart_owner cart(load_prepared_cart(path));
    if (!cart) {
        std::fprintf(stderr, "make_sound_corpus: could not load %s\n", path);
        return false;
    }
    seed s;
    for (int i = 0; i < MEMORY_BYTES; i++) s.bytes[size_t(i)] = uint8_t(zibo6_peek(nullptr, cart.get(), MEMORY + i));
    std::string stem = path;
    stem = stem.substr(stem.find_last_of('/') + 1);
    stem = stem.substr(0, stem.find('.'));
    bool ok = true;
    for (int p = 0; p < 64; p++)
        if (!zibo6_pattern_is_empty(cart.get(), p)) {
            seed song = s;
            song.music(p);
            song.render(8192);
            ok &= put(folder, stem + "_song", song);
            break;
        }
    int played = 0;
    for (int n = 0; n < 64 && played < 4; n++)
        if (!zibo6_sfx_is_empty(cart.get(), n)) {
            s.play_sfx(n);
            s.render(2048, 512);
            played++;
        }
    if (played) ok &= put(folder, stem + "_sfx", s);
    return ok;
}

bool put_hand_made(const std::string &dir) {
    bool ok = true;
    // Every waveform under every effect, each filter bit, at a few speeds.
    seed wave;
    for (int n = 0; n < 32; n++) wave.note(1, n, 12 + n, n % 8, 7 - n % 3, n / 4);
    wave.head(1, 0, 2, 0, 0);
    for (int n = 0; n < 32; n++) wave.note(2, n, 63 - n, 7 - n % 8, 5, n % 8);
    wave.head(2, 0x02 | 0x04 | (1 << 3), 3, 0, 0); // noise mode, variant, detune 1
    for (int n = 0; n < 32; n++) wave.note(3, n, n * 2, n % 8, 3 + n % 5, (n + 3) % 8);
    wave.head(3, (2 + 3 * 2 + 9 * 1) << 3, 1, 0, 0); // detune 2, reverb 2, dampen 1
    wave.play_sfx(1, 0);
    wave.play_sfx(2, 1);
    wave.play_sfx(3, 2);
    wave.render(8192, 735);
    ok &= put(dir, "all_waveforms_and_effects", wave);

    // Instruments: sfx 0-7 with their own effects and loops, played as the notes of sfx 8.
    seed inst;
    for (int i = 0; i < 8; i++) {
        for (int n = 0; n < 32; n++) inst.note(i, n, 24 + (n * (i + 1)) % 24, (i + n) % 8, 7 - n % 4, (n + i) % 8);
        inst.head(i, (i % 2) << 1 | (i % 3) << 3, 1 + i, i % 3 ? 4 : 0, i % 3 ? 4 + i : 0);
    }
    for (int n = 0; n < 32; n++) inst.note(8, n, 20 + n, n % 8, 6, (n * 3) % 8, n % 3 != 2);
    inst.head(8, 0, 3, 0, 0);
    inst.note(9, 0, 36, 3, 7, 3, true); // one long instrument note with the drop effect
    inst.head(9, 0, 40, 0, 0);
    inst.play_sfx(8, 0);
    inst.play_sfx(9, 1);
    inst.render(7168, 1024);
    ok &= put(dir, "instrument_sfx", inst);

    // A loop played, released, played again; a length cut; an offset start.
    seed loop;
    for (int n = 0; n < 32; n++) loop.note(10, n, 30 + n % 12, 1, 5, n % 2 ? 0 : 2);
    loop.head(10, 0, 1, 4, 8);
    loop.play_sfx(10, 0);
    loop.render(2048);
    loop.command(RELEASE, 0);
    loop.render(2048);
    loop.play_sfx(10, 1, 20, 3);
    loop.head(11, 0, 2, 8, 0); // loop start alone: eight notes long
    for (int n = 0; n < 32; n++) loop.note(11, n, 40, 2, 4, 0);
    loop.command(BOOT_SFX, 11);
    loop.render(3072, 183);
    ok &= put(dir, "loop_release_and_cut", loop);

    // A fast song: loop start at 1, loop back at 3, stop at 5; some voices off.
    seed song;
    for (int s = 12; s < 16; s++) {
        for (int n = 0; n < 32; n++) song.note(s, n, 20 + s + n % 7, s % 8, 5, s == 13 ? 1 : 0);
        song.head(s, 0, 1, s == 14 ? 2 : 8, s == 14 ? 6 : 0); // eight notes unless looping
    }
    song.pattern(0, 12, 13, 64, 65);
    song.pattern(1, 12, 13, 14, 15, 1);
    song.pattern(2, 15, 14, 13, 12);
    song.pattern(3, 13, 64, 66, 14, 2);
    song.pattern(4, 12, 13, 14, 15);
    song.pattern(5, 12, 12, 12, 12, 4);
    song.music(0, 0, 3);
    song.play_sfx(15, -1);
    song.render(4096, 2048);
    song.music(4);
    song.render(3072, 4096);
    ok &= put(dir, "fast_song_flags", song);

    // The sound registers: half rate and pitch shift, echo, crush, dampen, on every voice.
    seed regs = song;
    regs.bytes.resize(MEMORY_BYTES + SETTINGS);
    regs.settings(0x35, 0x9c, 0x6a, 0xf3, 200, 100);
    regs.music(1);
    regs.play_sfx(13, 2);
    regs.render(3072, 1023);
    regs.command(REGISTER, 0, 0xca);
    regs.command(REGISTER, 2, 0x15);
    regs.render(3072, 4097);
    ok &= put(dir, "sound_registers", regs);

    // Fades in and out, volumes, a stop of every sound.
    seed fade = song;
    fade.bytes.resize(MEMORY_BYTES + SETTINGS);
    fade.settings(0, 0, 0, 0, 128, 64);
    fade.music(1, 100);
    fade.render(3072, 512);
    fade.music(-1, 50);
    fade.render(3072, 512);
    fade.music(2, 0);
    fade.command(STOP, 0, 0, 0, 1);
    fade.render(1024);
    ok &= put(dir, "fades_and_volumes", fade);

    // Five sfx on four voices: stealing, masks, stops by number and by channel.
    seed steal = wave;
    steal.bytes.resize(MEMORY_BYTES + SETTINGS);
    steal.head(4, 0, 8, 0, 0);
    for (int n = 0; n < 32; n++) steal.note(4, n, 50, 4, 6, 0);
    steal.music(0, 0, 1);
    for (int s = 1; s <= 4; s++) steal.play_sfx(s);
    steal.play_sfx(2);
    steal.render(2048);
    steal.play_sfx(3, -2); // stop sfx 3 wherever it plays
    steal.command(STOP, 1);
    steal.render(2048);
    ok &= put(dir, "voice_stealing", steal);

    // The bank rewritten while it plays: speed, loop, notes and pattern words.
    seed poke = song;
    poke.bytes.resize(MEMORY_BYTES + SETTINGS);
    poke.music(1);
    poke.render(2048);
    poke.command(POKE, (0x100 + 12 * SFX_BYTES + 65) >> 8, (0x100 + 12 * SFX_BYTES + 65) & 255, 0);
    poke.command(POKE, (0x100 + 14 * SFX_BYTES + 67) >> 8, (0x100 + 14 * SFX_BYTES + 67) & 255, 255);
    poke.command(POKE, 0, 4 * 2, 0x80 | 63);
    poke.command(POKE, (0x100 + 13 * SFX_BYTES + 1) >> 8, (0x100 + 13 * SFX_BYTES + 1) & 255, 0xff);
    poke.render(5120, 300);
    ok &= put(dir, "pokes_while_playing", poke);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    zibo6_attach_shell(); // the cart code reaches the console and the shell through hooks
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sound_corpus FOLDER [CART...]\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = put_hand_made(dir);
    for (int i = 2; i < argc; i++) ok &= put_cart(dir, argv[i]);
    return ok ? 0 : 1;
}
