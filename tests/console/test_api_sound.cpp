// The sfx, music and serial bindings through a VM state: argument rules,
// clamps, stops and releases, fades, the music mask, byte counts of serial,
// and the sound status values.
#include <gtest/gtest.h>

#include <string>

#include "audio/channel.h"
#include "audio/mixer.h"
#include "console/api.h"
#include "console/api_sound.h"
#include "console/serial.h"
#include "console_test_util.h"
#include "engine/config.h"
#include "engine/vull.h"
#include "tests/vm/vm_test_util.h"

using z6test::run;

namespace {

struct SoundConsole : z6console::Console {
    z6test::State vm;
    SoundConsole() {
        add_c_functions(vm);
        vull_sound_init_offline();
        vull_music_mask = 0;
        vull_state.sound_paused = 0;
        pstate.cart_code_running = 1;
        serial_init_runtime();
    }
    ~SoundConsole() {
        vull_stop_all_sounds();
        serial_init_runtime();
    }
    void exec(const std::string &code) {
        auto r = run(vm, code);
        EXPECT_EQ(r.status, LUA_OK) << code << ": " << r.joined();
    }
    std::string eval(const std::string &code) {
        auto r = run(vm, "return " + code);
        EXPECT_EQ(r.status, LUA_OK) << code << ": " << r.joined();
        return r.joined();
    }
    static zibo6_sfx *voice_sfx(int k) { return ms0.channel[k].sfx; }
    zibo6_sfx *sfx(int n) const { return &cart()->sfx[n]; }
};

int stat(int n) {
    int v = -99;
    EXPECT_EQ(zibo6_sound_stat(n, &v), 1) << n;
    return v;
}

} // namespace

TEST(ApiSound, SfxNumbersChannelsAndStops) {
    SoundConsole c;
    c.exec("sfx(70)");
    EXPECT_EQ(c.voice_sfx(0), c.sfx(63)); // clamped to 63
    c.exec("sfx(0.5)");
    EXPECT_EQ(c.voice_sfx(1), c.sfx(0));
    c.exec("sfx(-0.5)"); // integer part -1: stops voices 0-3
    for (int k = 0; k < 4; k++) EXPECT_EQ(c.voice_sfx(k), nullptr) << k;
    c.exec("sfx(3, 5) sfx()"); // channel out of range, no argument: nothing
    for (int k = 0; k < 4; k++) EXPECT_EQ(c.voice_sfx(k), nullptr) << k;
    c.exec("sfx(3, 2, 40)"); // offset clamped to 31
    EXPECT_EQ(c.voice_sfx(2), c.sfx(3));
    EXPECT_EQ(ms0.channel[2].ticks, 31 * 16);
    c.exec("sfx(3)"); // the running instance is stopped first, then voice 0 chosen
    EXPECT_EQ(c.voice_sfx(2), nullptr);
    EXPECT_EQ(c.voice_sfx(0), c.sfx(3));
    c.exec("sfx(3, -2)"); // stops sfx 3 wherever it plays
    EXPECT_EQ(c.voice_sfx(0), nullptr);
    c.exec("sfx(4, 1, 0, 2)");
    EXPECT_EQ(ms0.channel[1].remaining_ticks, 2 * 16);
    c.exec("sfx(-2, 1)"); // release
    EXPECT_EQ(ms0.channel[1].loop_enabled, 0);
    c.exec("sfx(-1, 1)");
    EXPECT_EQ(c.voice_sfx(1), nullptr);
}

TEST(ApiSound, MusicFadesAndMask) {
    SoundConsole c;
    c.cart()->music[2][1] = 7;
    c.exec("music(2, 0, 3)");
    EXPECT_EQ(vull_music_is_playing(), 1);
    EXPECT_EQ(int(vull_music_mask), 3);
    EXPECT_EQ(stat(24), 2);
    EXPECT_EQ(stat(25), 0);
    EXPECT_EQ(stat(17), 7); // voice 1 plays sfx 7 for the music
    EXPECT_EQ(stat(16), -1);
    EXPECT_EQ(stat(21), 0);
    c.exec("sfx(9)"); // voices 0 and 1 kept for the music: voice 2
    EXPECT_EQ(c.voice_sfx(2), c.sfx(9));
    EXPECT_EQ(stat(18), 9);
    c.exec("music(-1, 500)");
    EXPECT_EQ(fade1, 0);
    EXPECT_EQ(fade_len, 500);
    c.exec("music(-1)");
    EXPECT_EQ(vull_music_is_playing(), 0);
    EXPECT_EQ(stat(24), -1);
    EXPECT_EQ(stat(26), -1);
    c.exec("music(99)"); // clamped to 63: an all-off pattern starts nothing
    EXPECT_EQ(vull_music_is_playing(), 0);
    int v = 0;
    EXPECT_EQ(zibo6_sound_stat(27, &v), 0);
}

TEST(ApiSound, IdenticalSfxAreToldApartByRecord) {
    SoundConsole c;
    c.exec("sfx(12, 3)"); // sfx 12 and 13 are both empty, equal records
    EXPECT_EQ(stat(19), 12);
    c.exec("sfx(13, 3)");
    EXPECT_EQ(stat(19), 13);
}

TEST(ApiSound, CommandLineWakesStoppedSound) {
    SoundConsole c;
    c.exec("sfx(1, 0)");
    pstate.cart_code_running = 0;
    vull_state.sound_paused = 1;
    c.exec("music(-1)");
    EXPECT_EQ(int(vull_state.sound_paused), 0);
    EXPECT_EQ(c.voice_sfx(0), nullptr);
}

TEST(ApiSound, SerialCountsBytes) {
    SoundConsole c;
    EXPECT_EQ(c.eval("serial(0x808, 0x4300, 0.5)"), "0.5");
    EXPECT_EQ(c.eval("serial(0x808, 0x4300, 3000)"), "3000");
    EXPECT_EQ(serial_audio_fill(), 2048);
    EXPECT_EQ(c.eval("stat(108), stat(120), stat(121)"), "2048 false false");
    EXPECT_EQ(c.eval("serial(5, 0x4300, 2, 3)"), "6");
    EXPECT_EQ(c.eval("serial(5, 0x4300, 2, 0)"), "0");
    EXPECT_EQ(c.eval("serial(0x101, 0x4300, 16, 1000)"), "16000");
    EXPECT_EQ(c.eval("serial(-1, 0x4300, 4)"), "0");
    EXPECT_EQ(c.eval("serial(5000, 0x4300, 4)"), "0");
    // Repeats into a full GPIO stream: a second of host work a call before.
    double start = z6console::thread_cpu_seconds();
    EXPECT_EQ(c.eval("serial(3, 0x8000, 0x1000, 0x5f2c)"), c.eval("0x7fff.ffff"));
    EXPECT_LT(z6console::thread_cpu_seconds() - start, 2.0);
    c.exec("serial(7, 'freq:1234')");
    EXPECT_EQ(serial_channel_record(7)->freq, 1234);
    EXPECT_EQ(c.eval("serial(7, 'freq:1')"), ""); // returns nothing
}
