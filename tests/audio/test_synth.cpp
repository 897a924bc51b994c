// Node synthesiser: graphs rendered into sound objects, hostile graphs included.
#include <gtest/gtest.h>

#include <vector>

#include "audio/sound.h"
#include "audio/synth.h"
#include "engine/mem.h"
#include "engine/vmath.h"

namespace {

struct synth_fixture {
    vull_synth *s;
    explicit synth_fixture(int samples) : s(vull_create_synth(samples)) {}
    ~synth_fixture() { vull_destroy_synth(s); }
    vull_synth_node &osc(int i, int shape, int32_t freq, int32_t amp) {
        vull_synth_node &n = s->node[i];
        n.word[0] = SYNTH_OSCILLATOR;
        n.word[1] = shape;
        n.word[2] = 1;
        n.param[0].value = freq;
        n.param[1].value = amp;
        return n;
    }
    std::vector<int16_t> render(int flags = 0) {
        vull_synth_generate(s, nullptr, flags);
        auto *d = static_cast<int16_t *>(s->rendered->data);
        return std::vector<int16_t>(d, d + s->rendered->sample_count);
    }
};

int peak(const std::vector<int16_t> &v) {
    int p = 0;
    for (int16_t x : v) p = std::max(p, std::abs(int(x)));
    return p;
}

} // namespace

TEST(Synth, OutputIsTheHighestNodeNothingPulledIn) {
    synth_fixture f(2048);
    f.osc(5, 3, 0x1000000, 0x8000);
    std::vector<int16_t> out = f.render();
    EXPECT_EQ(f.s->output_node, 5);
    EXPECT_GT(peak(out), 8000);
    // Node 6 pulls node 5 in as its frequency source: node 6 is the output.
    vull_synth_node &n6 = f.osc(6, 2, 0x800000, 0x4000);
    n6.param[0].source = 5;
    n6.param[0].mod_kind = 1;
    f.render();
    EXPECT_EQ(f.s->output_node, 6);
}

TEST(Synth, SameSeedSameSamplesAndTheEngineSequenceIsKept) {
    synth_fixture f(1024);
    f.osc(0, 4, 0x400000, 0x8000);
    f.s->seed = 77;
    vull_srand(5);
    uint32_t before = vull_random(1000000);
    vull_srand(5);
    std::vector<int16_t> a = f.render();
    EXPECT_EQ(vull_random(1000000), before);
    std::vector<int16_t> b = f.render();
    EXPECT_EQ(a, b);
    EXPECT_GT(peak(a), 0);
}

TEST(Synth, AutomaticFrequencyIsOneCycleOverTheBuffer) {
    synth_fixture f(4096);
    f.osc(0, 3, 0, 0x8000);
    std::vector<int16_t> out = f.render();
    int n = int(out.size());
    EXPECT_GT(out[n / 4], 10000);
    EXPECT_LT(out[3 * n / 4], -10000);
    int crossings = 0;
    for (int i = 300; i < n - 300; i++) crossings += (out[i - 1] >= 0) != (out[i] >= 0);
    EXPECT_EQ(crossings, 1);
}

TEST(Synth, HostileGraphsRenderAndEnd) {
    synth_fixture f(512);
    // A -> B -> A: each reads the other as not yet rendered.
    vull_synth_node &a = f.osc(0, 1, 0x1000000, 0x8000);
    vull_synth_node &b = f.osc(1, 3, 0x1000000, 0x8000);
    a.param[0] = {0x1000000, 0, 1, 1};
    b.param[1] = {0x8000, 0, 0, 2};
    a.param[12] = {0, 0, 1, 1}; // slots 8-15 only pull in their sources
    a.param[2].value = 0;       // shape 1 peak below 4
    // Indices out of range name no node.
    b.param[3] = {3, 0, -1, 1};
    b.param[4] = {0, 0, 40, 2};
    // A sample oscillator without a source node reads silence.
    f.osc(2, 7, 0x100000, 0x10000).param[2] = {0, 0, 31, 1};
    // Filters with zero divisors: delay scale, mix loop-making, no input.
    vull_synth_node &d = f.s->node[3];
    d.word[0] = SYNTH_FILTER;
    d.word[1] = SYNTH_DELAY;
    d.param[0] = {0, 0, 0, 1};
    d.param[1] = {0, 0, 0, 0};
    d.param[2] = {60000, 0, 0, 0};
    d.param[3] = {1 << 30, 0, 0, 0};
    d.param[4] = {1, 0, 0, 0}; // the scale falls to 0 after two taps
    vull_synth_node &r = f.s->node[4];
    r.word[0] = SYNTH_FILTER;
    r.word[1] = SYNTH_REDUCE;
    r.param[0] = {0, 0, 3, 1};
    r.param[1] = {INT32_MAX, 0, 0, 0};
    r.param[2] = {INT32_MIN, 0, 0, 0};
    r.param[3] = {INT32_MAX, 0, 0, 0};
    vull_synth_node &m = f.s->node[5];
    m.word[0] = SYNTH_FILTER;
    m.word[1] = SYNTH_MIX;
    m.param[0] = {0, 0, 4, 1};
    m.param[4] = {0x10000, 0, 0, 0};
    m.param[6] = {1, 0, 0, 0};
    f.s->node[6].word[0] = SYNTH_FILTER;
    f.s->node[6].word[1] = SYNTH_LPHP;
    f.s->node[6].param[0] = {0, 0, 99, 1};
    f.render(1);
    EXPECT_EQ(f.s->node[4].param[0].mod_kind, 1);
    EXPECT_EQ(b.param[3].mod_kind, 0);
    EXPECT_EQ(b.param[4].mod_kind, 0);
    ASSERT_NE(f.s->node[2].buffer, nullptr);
    for (int i = 0; i < f.s->length; i++) ASSERT_EQ(f.s->node[2].buffer[i], 0);

    // A mix node with loop-making and N below 2 values.
    synth_fixture tiny(0);
    tiny.s->length = 1;
    tiny.s->node[0] = m;
    tiny.s->node[0].param[0].source = 0;
    tiny.s->node[0].buffer = nullptr; // the copy does not own the original's buffer
    csound *snd = vull_create_sound(4, 16);
    vull_synth_generate(tiny.s, snd, 0);
    vull_destroy_sound(snd);
}

// Sizes: a length whose node buffers cannot be allocated is refused, never
// wrapped into a small block that the render then writes past.
TEST(Synth, LengthsPastTheAllocationCapAreRefused) {
    EXPECT_EQ(vull_create_synth(-1), nullptr);
    EXPECT_EQ(vull_create_synth(INT32_MAX / 4), nullptr);
    EXPECT_EQ(vull_create_synth(VULL_ALLOC_CAP / 16 + 1), nullptr);
    synth_fixture f(16);
    f.osc(0, 3, 0x1000000, 0x10000);
    f.s->length = 0x40000001; // as a file could set it: 4 bytes a value wraps to 4
    csound *snd = vull_create_sound(16, 16);
    vull_synth_generate(f.s, snd, 1);
    EXPECT_EQ(f.s->node[0].buffer, nullptr);
    vull_destroy_sound(snd);
}

// A delay whose time scale doubles every tap, with feedback near 1 and 1000
// taps: the scale is held once it puts every later tap past the buffer, and
// the taps read are those of exact arithmetic.
TEST(Synth, DelayTimeScaleSaturates) {
    synth_fixture f(128);
    const int N = f.s->length;
    f.osc(0, 3, 0x1000000, 0x8000);
    vull_synth_node &d = f.s->node[1];
    d.word[0] = SYNTH_FILTER;
    d.word[1] = SYNTH_DELAY;
    d.param[0] = {0, 0, 0, 1};
    d.param[1] = {6, 0, 0, 0}; // halved: 3 values
    d.param[2] = {65535, 0, 0, 0};
    d.param[3] = {1000, 0, 0, 0};
    d.param[4] = {0x20000, 0, 0, 0}; // 2.0
    f.render(1);
    const int32_t *in = f.s->node[0].buffer, *out = d.buffer;
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < N; i++) {
        int64_t sum = 0, weight = 16384;
        for (int t = 0; weight > 64 && t < 1000; t++) {
            int64_t p = i - 3 * t;
            if (p < 0) break;
            int64_t at = p == 0 ? 0 : t < 40 ? p << t : N; // tap t reads p x 2^t, exactly
            if (at < N) sum += int64_t(in[at]) * weight / 16384;
            weight = weight * 65535 / 65536;
        }
        ASSERT_EQ(out[i], int32_t(sum)) << i;
    }
}

TEST(Synth, FadesAndTheCallersSound) {
    synth_fixture f(2048);
    f.osc(0, 2, 0x100000, 0x8000).param[2].value = 0x8000;
    std::vector<int16_t> out = f.render();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out.back(), 0);
    // A looping mix as output gets no fades.
    vull_synth_node &m = f.s->node[1];
    m.word[0] = SYNTH_FILTER;
    m.word[1] = SYNTH_MIX;
    m.param[0] = {0, 0, 0, 1};
    m.param[4] = {0x10000, 0, 0, 0};
    m.param[6] = {1, 0, 0, 0};
    out = f.render();
    EXPECT_NE(out[1], 0);
    // A caller's sound shorter than the render is filled only to its end.
    csound *small = vull_create_sound(10, 16);
    vull_synth_generate(f.s, small, 0);
    EXPECT_NE(static_cast<int16_t *>(small->data)[5], 0);
    vull_destroy_sound(small);
}
