// The mixer against a stored render: all eight voices busy (every waveform,
// effect, custom instrument and filter, tests/audio/busy_bank.h) for one
// second under each of four settings of the sound registers 0x5f40-0x5f43
// (half rate, echo, crush and dampen bits), then, the sfx voices stopped, the
// song layer alone (which the sfx mute) the same way. Each device buffer of 1024 samples
// is reduced to a 64-bit FNV-1a hash and compared with
// tests/audio/reference_render.txt, so that a faster mixer stays sample-exact.
// Z6_WRITE_AUDIO_REFERENCE=FILE writes the hashes of this build instead.
#include "audio_test_util.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "busy_bank.h"

using ReferenceRender = AudioTest;

namespace {

uint64_t fnv1a(const std::vector<int16_t> &samples) {
    uint64_t h = 0xcbf29ce484222325u;
    for (int16_t s : samples)
        for (int b = 0; b < 2; b++) {
            h ^= (uint16_t(s) >> (8 * b)) & 0xff;
            h *= 0x100000001b3u;
        }
    return h;
}

constexpr int32_t kRegisterSettings[4][4] = {
    {0, 0, 0, 0},
    {0x00, 0x5a, 0xa5, 0x3c},
    {0x09, 0xf0, 0x0f, 0xc3},
    {0x06, 0x0f, 0xf0, 0xff},
};

} // namespace

TEST_F(ReferenceRender, BusyVoicesMatchTheStoredHashes) {
    fill_busy_bank(*bank);
    play_busy_bank(*bank);
    std::vector<std::string> got;
    int64_t sounding[2] = {0, 0};
    for (int part = 0; part < 2; part++) {
        if (part == 1) vull_play_sfx_ex(nullptr, 0, 0, bank.get(), -1); // the song alone
        for (const auto &regs : kRegisterSettings) {
            for (int r = 0; r < 4; r++) sound_regs[r] = regs[r];
            for (int c = 0; c < 22; c++) {
                std::vector<int16_t> buf = render(1024);
                for (int16_t v : buf) sounding[part] += v != 0;
                for (int k = part * 4; k < 8; k++)
                    ASSERT_NE(ms0.channel[k].sfx, nullptr) << "voice " << k;
                char line[32];
                std::snprintf(line, sizeof line, "%016" PRIx64, fnv1a(buf));
                got.emplace_back(line);
            }
        }
    }
    EXPECT_GT(sounding[0], 4 * 22 * 1024 * 9 / 10);
    EXPECT_GT(sounding[1], 4 * 22 * 1024 * 9 / 10);

    if (const char *out = std::getenv("Z6_WRITE_AUDIO_REFERENCE")) {
        std::ofstream f(out);
        for (const std::string &h : got) f << h << '\n';
        ASSERT_TRUE(f.good());
        return;
    }
    const char *src = std::getenv("ZIBO6_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::ifstream f(std::string(src) + "/tests/audio/reference_render.txt");
    ASSERT_TRUE(f.good());
    std::vector<std::string> want;
    for (std::string line; std::getline(f, line);) want.push_back(line);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < got.size(); i++)
        ASSERT_EQ(got[i], want[i]) << "device buffer " << i << (i < 88 ? " (sfx and song" : " (song")
                                   << ", register setting " << i / 22 % 4 << ", buffer " << i % 22
                                   << ")";
}
