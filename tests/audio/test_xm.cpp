// XM modules: files from our own generator read, played through the real mixer
// and written back; hostile modules refused or played safely.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "audio/sound.h"
#include "audio/xm.h"
#include "audio_test_util.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "xm_gen.h"

namespace {

struct module_deleter {
    void operator()(xm_module *m) const {
        vull_destroy_xm(m);
        vull_free(m);
    }
};
using module_ptr = std::unique_ptr<xm_module, module_deleter>;

module_ptr load(std::vector<uint8_t> bytes) {
    vull_file *f = vull_fopen_memory(bytes.empty() ? nullptr : bytes.data(), int(bytes.size()));
    module_ptr m(vull_load_xm_from_file(f));
    vull_fclose(f);
    return m;
}

std::vector<uint8_t> save(xm_module *m) {
    cbuffer *out = vull_create_buffer(0);
    EXPECT_EQ(vull_save_xm_to_file(m, out), 0);
    std::vector<uint8_t> bytes(out->data, out->data + out->length);
    vull_destroy_buffer(out);
    return bytes;
}

// Frequency from the rising zero crossings between the first and the last.
double measure_hz(const std::vector<int16_t> &s, int rate = 22050) {
    int first = -1, last = -1, count = 0;
    for (size_t i = 1; i < s.size(); i++)
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (first < 0) first = int(i);
            last = int(i);
            count++;
        }
    if (count < 2) return 0;
    return double(count - 1) * rate / double(last - first);
}

class XmTest : public AudioTest {
protected:
    void TearDown() override {
        vull_destroy_music(music);
        AudioTest::TearDown();
    }
    // Loads the bytes into a music object and starts it at full level.
    void play(const std::vector<uint8_t> &bytes, int loop = 0) {
        music = vull_create_music();
        ASSERT_EQ(cmusic_load(music, bytes.data(), int(bytes.size())), 0);
        cmusic_play(music, 0, 0, loop);
    }
    cmusic *music = nullptr;
};

} // namespace

TEST_F(XmTest, OneNotePlaysAtTheFrequencyOfItsStep) {
    struct {
        int note, relative, finetune;
    } cases[] = {{49, 0, 0}, {49, 12, 0}, {37, 5, 64}, {61, -3, -80}};
    for (auto c : cases) {
        gen_module g = gen_one_note(c.note);
        g.instruments[0].relative_note = c.relative;
        g.instruments[0].finetune = c.finetune;
        play(gen_xm(g));
        std::vector<int16_t> out = render(22050);
        int32_t note = c.note + c.relative, fine = -c.finetune / 2;
        while (fine < 0) fine += 256, note--;
        double expect = get_delta(note, fine) / 16777216.0 * 22050 / 64;
        EXPECT_NEAR(measure_hz(out), expect, expect * 0.01) << "note " << c.note;
        vull_destroy_music(music);
        music = nullptr;
    }
}

TEST_F(XmTest, ChannelCountsAndSampleWidths) {
    gen_module g = gen_one_note(49, 8);
    EXPECT_NE(load(gen_xm(g)), nullptr);
    g.channels = 9;
    g.patterns[0].cells.resize(64 * 9);
    EXPECT_EQ(load(gen_xm(g)), nullptr);

    // 8-bit deltas 1, 1: frames 256, 512, guard 256, stored as 16-bit.
    gen_module e = gen_one_note(49);
    e.instruments[0] = gen_instrument{};
    e.instruments[0].eight_bit = true;
    e.instruments[0].raw = {1, 1};
    module_ptr m = load(gen_xm(e));
    ASSERT_NE(m, nullptr);
    const xm_instrument &in = m->instruments[1];
    ASSERT_EQ(in.length, 2);
    EXPECT_EQ(in.data[0], 256);
    EXPECT_EQ(in.data[1], 512);
    EXPECT_EQ(in.data[2], 256);
    EXPECT_EQ(in.width, 16);
    EXPECT_TRUE(in.type & 0x10);
    // Written back as 16-bit deltas 256, 256 at the end of the file.
    std::vector<uint8_t> bytes = save(m.get());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()),
              (std::vector<uint8_t>{0x00, 0x01, 0x00, 0x01}));
}

TEST_F(XmTest, PackedSizeZeroLeavesThePatternEmpty) {
    gen_module g = gen_one_note(49);
    g.patterns[0].packed_zero = true;
    module_ptr m = load(gen_xm(g));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->patterns[0].rows, 64);
    EXPECT_EQ(m->patterns[0].cells[0][0][0], 0);
    EXPECT_EQ(m->instruments[1].length, 64); // what follows was read from the right place
}

TEST_F(XmTest, WrittenBackAndReadAgainIsTheSame) {
    gen_module g = gen_one_note(49, 4);
    g.patterns[0].cells[5] = gen_cell{50, 1, 0x30, 1, 4}; // a full cell: five plain bytes
    g.patterns[0].cells[9] = gen_cell{0, 0, 0, 10, 2};
    g.instruments.push_back(gen_sine_instrument(32));
    g.instruments[1].env_points = 2;
    g.instruments[1].env_type = 1;
    g.instruments[1].env_x[1] = 10;
    g.instruments[1].env_y[0] = 64;
    gen_instrument none;
    none.has_sample = false;
    g.instruments.push_back(none);
    g.restart = 3;
    module_ptr m = load(gen_xm(g));
    ASSERT_NE(m, nullptr);
    std::vector<uint8_t> once = save(m.get());
    module_ptr again = load(once);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(save(again.get()), once);
    EXPECT_EQ(again->restart, 3);
    EXPECT_EQ(again->instruments[2].vol_env.x[1], 10);
    EXPECT_EQ(again->instruments[3].sample_count, 0);
    EXPECT_EQ(std::memcmp(again->patterns[0].cells[1][1], "\x32\x01\x30\x01\x04", 5), 0);
    // Fixed header words and our tracker name, whatever the source held.
    EXPECT_EQ(std::string(once.begin() + 38, once.begin() + 58), "zibo-6              ");
    EXPECT_EQ(once[58] | once[59] << 8, 0x0104);
    EXPECT_EQ(once[60] | once[61] << 8, 276);
}

TEST_F(XmTest, NoteOffSilencesAndLoopRestartsAtPositionZero) {
    gen_module g = gen_one_note(49);
    g.patterns[0].rows = 4;
    g.patterns[0].cells[2] = gen_cell{97, 0, 0, 0, 0};
    g.restart = 1;
    play(gen_xm(g), 1);
    int tick = 22050 * 5 / 250; // samples per tick at BPM 125
    std::vector<int16_t> out = render(tick * 6 * 4 + tick * 6);
    auto peak = [&](int from, int to) {
        int p = 0;
        for (int i = from; i < to; i++) p = std::max(p, std::abs(int(out[size_t(i)])));
        return p;
    };
    EXPECT_GT(peak(tick, tick * 6), 1000);       // row 0 sounds
    EXPECT_LT(peak(tick * 13, tick * 24), 10);   // after the note-off on row 2
    EXPECT_GT(peak(tick * 25, tick * 30), 1000); // looped to position 0
    EXPECT_EQ(vull_music_is_playing(), 1);
}

TEST_F(XmTest, SongEndStopsThePlayer) {
    gen_module g = gen_one_note(49);
    g.patterns[0].rows = 2;
    play(gen_xm(g));
    render(22050);
    EXPECT_EQ(ps0.playing, 0);
    EXPECT_EQ(vull_music_is_playing(), 0);
    // Past the end the music adds nothing.
    std::vector<int16_t> out = render(4096);
    for (int16_t s : out) ASSERT_EQ(s, 0);
}

TEST_F(XmTest, StopDestroyAndReloadLeaveThePlayerSafe) {
    gen_module g = gen_one_note(49);
    play(gen_xm(g), 1);
    EXPECT_EQ(vull_get_current_music(), music);
    cmusic_stop(nullptr, 0);
    EXPECT_EQ(ps0.playing, 0);
    cmusic_play(music, 0, 99, 1); // start clamped to the song
    EXPECT_EQ(ps0.position, 0);
    std::vector<uint8_t> bad = gen_xm(g);
    bad.resize(100);
    EXPECT_EQ(cmusic_load(music, bad.data(), int(bad.size())), 1);
    EXPECT_EQ(ps0.module, nullptr);
    render(2048);
    cmusic_play(music, 0, 0, 1); // no module: nothing
    EXPECT_EQ(ps0.playing, 0);
    std::vector<uint8_t> good = gen_xm(g);
    ASSERT_EQ(cmusic_load(music, good.data(), int(good.size())), 0);
    cmusic_play(music, 0, 0, 1);
    vull_destroy_music(music);
    music = nullptr;
    EXPECT_EQ(ps0.module, nullptr);
    EXPECT_EQ(vull_get_current_music(), nullptr);
    render(2048);
    EXPECT_EQ(cmusic_load(nullptr, good.data(), int(good.size())), 1);
}

TEST_F(XmTest, WholeSongRenderIntoASound) {
    gen_module g = gen_one_note(49);
    module_ptr m = load(gen_xm(g));
    ASSERT_NE(m, nullptr);
    int n = vull_calculate_xm_length(m.get());
    EXPECT_EQ(n, 1 * 64 * 6 * (110250 / 250));
    csound *s = vull_create_sound(n, 16);
    ASSERT_NE(s, nullptr);
    vull_mix_xm(m.get(), s);
    auto *d = static_cast<int16_t *>(s->data);
    int peak = 0;
    for (int i = 0; i < n; i++) peak = std::max(peak, std::abs(int(d[i])));
    EXPECT_GT(peak, 1000);
    vull_destroy_sound(s);
    // A smaller sound is filled only as far as it goes.
    csound *small = vull_create_sound(100, 16);
    vull_mix_xm(m.get(), small);
    vull_destroy_sound(small);
}

TEST_F(XmTest, HostileModulesPlaySafely) {
    gen_module g = gen_one_note(49, 2);
    g.patterns[0].rows = 100; // more rows than the store: cut to 64, the rest skipped
    g.patterns[0].cells.resize(100 * 2);
    g.patterns[0].cells[99 * 2] = gen_cell{50, 1, 0, 0, 0};
    g.song_length = 4;
    g.order = {0, 7, 200, 0};                              // patterns the module lacks
    g.patterns[0].cells[2] = gen_cell{50, 9, 0x50, 11, 3}; // instrument 9 does not exist
    g.instruments[0].env_points = 3;                       // equal x: no division by zero
    g.instruments[0].env_type = 1;
    g.instruments[0].env_x[1] = g.instruments[0].env_x[2] = 5;
    g.instruments[0].env_y[0] = 64;
    g.instruments[0].loop_start = 60;
    g.instruments[0].loop_length = 1000; // past the sample: silent when reached
    for (int bpm : {0, 1, 31, 65535}) {
        g.bpm = bpm;
        std::vector<uint8_t> bytes = gen_xm(g);
        module_ptr m = load(bytes);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->patterns[0].rows, 64);
        EXPECT_EQ(m->instruments[1].length, 64);
        auto state = std::make_unique<xm_player>();
        vull_mix_xm_init(m.get(), state.get(), 22050);
        EXPECT_LE(state->samples_per_tick, XM_TICK_SAMPLES);
        state->loop = 1;
        std::vector<int16_t> out(50000);
        vull_mix_xm_chunk(state.get(), out.data(), int(out.size()));
        play(bytes, 1);
        render(8192);
        vull_destroy_music(music);
        music = nullptr;
    }
    // A sample length past the end of the file, and lengths too large to hold.
    for (uint32_t length : {200u, 0x7FFFFFFEu, 0xFFFFFFFEu}) {
        gen_module h = gen_one_note(49);
        h.instruments[0].length_override = length;
        EXPECT_EQ(load(gen_xm(h)), nullptr) << length;
    }
}

// Envelope levels above 64 are taken as 64 on load, so an envelope that
// says full volume plays the note at full volume (the interpolation of the
// raw 16-bit levels overflowed and silenced it).
TEST_F(XmTest, EnvelopeLevelsAreClampedOnLoad) {
    auto loudest = [](const std::vector<int16_t> &v) {
        int p = 0;
        for (int16_t x : v) p = std::max(p, std::abs(int(x)));
        return p;
    };
    play(gen_xm(gen_one_note(49)));
    int want = loudest(render(8192));
    vull_destroy_music(music);
    music = nullptr;
    ASSERT_GT(want, 1000);

    gen_module g = gen_one_note(49);
    gen_instrument &in = g.instruments[0];
    in.env_points = 3;
    in.env_type = 1;
    in.env_x[1] = 0xFFFF;
    in.env_x[2] = 0xFFFF;
    in.env_y[0] = in.env_y[1] = 0xFFFF;
    in.env_y[2] = 200;
    std::vector<uint8_t> bytes = gen_xm(g);
    module_ptr m = load(bytes);
    ASSERT_NE(m, nullptr);
    const xm_envelope &e = m->instruments[1].vol_env;
    EXPECT_EQ(e.y[0], 64);
    EXPECT_EQ(e.y[1], 64);
    EXPECT_EQ(e.y[2], 64);
    EXPECT_EQ(e.x[1], 0xFFFF);
    play(bytes);
    EXPECT_EQ(loudest(render(8192)), want);
}

TEST_F(XmTest, EveryTruncationFailsCleanly) {
    gen_module g = gen_one_note(49, 2);
    g.instruments.push_back(gen_sine_instrument(16));
    g.instruments[1].eight_bit = true;
    std::vector<uint8_t> bytes = gen_xm(g);
    for (size_t n = 0; n < bytes.size(); n++) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
        ASSERT_EQ(load(cut), nullptr) << n;
    }
    EXPECT_NE(load(bytes), nullptr);
}

TEST_F(XmTest, SlideWithParameterZeroKeepsThePreviousParameter) {
    gen_module g = gen_one_note(49);
    g.tempo = 4;
    g.patterns[0].cells[0] = gen_cell{49, 1, 0, 1, 4};
    g.patterns[0].cells[1] = gen_cell{0, 0, 0, 1, 0};
    module_ptr m = load(gen_xm(g));
    ASSERT_NE(m, nullptr);
    auto state = std::make_unique<xm_player>();
    vull_mix_xm_init(m.get(), state.get(), 22050);
    std::vector<int16_t> out(size_t(state->samples_per_tick) * 8);
    vull_mix_xm_chunk(state.get(), out.data(), int(out.size()));
    // Six ticks with an effect (ticks 1-3 of two rows), 64 fine units each.
    EXPECT_EQ(state->channel[0].param, 4);
    EXPECT_EQ(state->channel[0].note, 50);
    EXPECT_EQ(state->channel[0].fine, 128);
}
