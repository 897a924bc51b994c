// Hostile POD files: the committed corpus, a full pod cut at every offset, every
// 32-bit field replaced by extreme values, and seeded random damage. Nothing may
// crash, hang or leak; damage is logged, and the items before it are kept.
#include "pod_test_util.h"
#include "engine/vull.h"
#include "tests/support/sweep.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

using namespace podtest;
namespace fs = std::filesystem;

namespace {

// Captures log.txt lines for the duration of a test.
struct log_capture {
    FILE *saved = vull_state.log_file;
    log_capture() { vull_state.log_file = std::tmpfile(); }
    ~log_capture() {
        std::fclose(vull_state.log_file);
        vull_state.log_file = saved;
    }
    std::string text() {
        std::fflush(vull_state.log_file);
        std::rewind(vull_state.log_file);
        std::string out;
        for (int c; (c = std::fgetc(vull_state.log_file)) != EOF;) out += (char)c;
        std::fclose(vull_state.log_file);
        vull_state.log_file = std::tmpfile();
        return out;
    }
};

// Loads a pod and, when one comes back, writes and reads it again: whatever the
// reader accepts the writer must store.
cpod *load_and_rewrite(std::vector<uint8_t> &bytes) {
    cpod *pod = load_bytes(bytes);
    if (!pod) return nullptr;
    std::vector<uint8_t> again = save_bytes(pod);
    cpod *back = load_bytes(again);
    EXPECT_NE(back, nullptr);
    vull_destroy_pod(back);
    return pod;
}

std::vector<uint8_t> read_file(const fs::path &p) {
    std::vector<uint8_t> out(fs::file_size(p));
    FILE *f = std::fopen(p.c_str(), "rb");
    if (f) {
        size_t got = std::fread(out.data(), 1, out.size(), f);
        out.resize(got);
        std::fclose(f);
    }
    return out;
}

} // namespace

TEST(PodHostile, CorpusIsRefusedOrReadSafely) {
    fs::path dir = fs::path(std::getenv("ZIBO6_SOURCE_DIR")) / "tests/engine/pod_corpus";
    int live = vull_items_created, files = 0;
    log_capture log;
    for (const auto &entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".pod") continue;
        files++;
        std::string name = entry.path().filename().string();
        bool sound = name.rfind("accept_", 0) == 0, kept = name.rfind("keep_", 0) == 0;
        bool accept = sound || kept;
        std::vector<uint8_t> bytes = read_file(entry.path());
        cpod *pod = load_and_rewrite(bytes);
        EXPECT_EQ(pod != nullptr, accept) << name;
        std::string logged = log.text();
        EXPECT_EQ(logged.find("vull_load_pod_file: bad chunk\n") != std::string::npos, !sound)
            << name;
        if (name == "accept_unknown_then_material.pod") {
            const std::string line = "vull_load_pod_file: Unknown Chunk!\n";
            size_t at = logged.find(line);
            EXPECT_NE(at, std::string::npos);
            if (at != std::string::npos) {
                EXPECT_EQ(logged.find("Unknown Chunk", at + line.size()), std::string::npos)
                    << "logged twice";
            }
        }
        // Posing and skinning a loaded model stays in bounds whatever its bones are.
        for (int i = 0; pod && i < pod->count; i++) {
            auto *m = static_cast<cmodel *>(cpod_get_item(pod, i, CPOD_MODEL));
            if (!m || m->num_bones == 0) continue;
            std::vector<float> pose(4 * (size_t)(m->num_bones + 1)),
                out(3 * (size_t)m->num_vertices);
            cmodel_calculate_bone_vertices(m, pose.data());
            cmodel_calculate_matrices(m, pose.data());
            cmodel_evaluate_bone_vertices(m, out.data());
            EXPECT_LE(m->num_ordered, m->num_bones);
        }
        vull_destroy_pod(pod);
        // The same file through the stdio path.
        cpod *from_disk = vull_load_pod(entry.path().c_str());
        EXPECT_EQ(from_disk != nullptr, accept) << name;
        vull_destroy_pod(from_disk);
        std::string verdict =
            "vull_load_pod: " + entry.path().string() + (accept ? " ok \n" : " failed \n");
        EXPECT_NE(log.text().find(verdict), std::string::npos) << name;
    }
    EXPECT_GE(files, 50);
    EXPECT_EQ(vull_items_created, live);
}

// The sweeps below run once for a plain and once for a compressed pod, as
// test cases of their own that can run side by side.
struct pod_sweep : testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Compression, pod_sweep, testing::Values(0, 1));

TEST_P(pod_sweep, EveryTruncationOfAFullPod) {
    cpod *full = make_full_pod();
    int live = vull_items_created;
    std::vector<uint8_t> bytes = save_bytes(full, GetParam());
    // Every item read completely before the cut is kept, the one cut short dropped:
    // the count never falls as the cut moves on, and one byte short loses one item.
    int previous = 0;
    for (size_t cut = 0; cut < bytes.size(); cut++) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + (long)cut);
        cpod *pod = load_and_rewrite(part);
        int count = pod ? pod->count : 0;
        EXPECT_GE(count, previous) << cut;
        EXPECT_LT(count, full->count) << cut;
        if (cut + 1 == bytes.size()) { EXPECT_EQ(count, full->count - 1); }
        for (int i = 0; i < count; i++) EXPECT_EQ(pod->types[i], full->types[i]) << cut;
        previous = count;
        vull_destroy_pod(pod);
    }
    EXPECT_EQ(vull_items_created, live);
    vull_destroy_pod(full);
}

TEST_P(pod_sweep, ExtremeValuesInEveryWord) {
    cpod *full = make_full_pod();
    int live = vull_items_created;
    std::vector<uint8_t> bytes = save_bytes(full, GetParam());
    // Every word gets every value under make test-long; make test gives
    // each word one of them in turn, so that every word is still hit.
    const int32_t values[] = {-1, -8, 0x7FFFFFFF, (int32_t)0x80000000, 0x10000, 33, 65};
    const size_t nv = sizeof values / sizeof values[0];
    for (size_t at = 0; at + 4 <= bytes.size(); at += 2) {
        for (size_t k = 0; k < nv; k++) {
            if (!z6_long_tests() && k != (at / 2) % nv) continue;
            std::vector<uint8_t> damaged = bytes;
            std::memcpy(damaged.data() + at, &values[k], 4);
            vull_destroy_pod(load_and_rewrite(damaged));
        }
    }
    EXPECT_EQ(vull_items_created, live);
    vull_destroy_pod(full);
}

namespace {

// One seeded generator runs through the plain pod's rounds, then the compressed
// pod's, then the pod sets': a case that starts later first draws what the
// rounds before it drew, so that it always sees the same damage.
constexpr uint32_t DAMAGE_SEED = 20261208;
constexpr int DAMAGE_ROUNDS = 3000;

std::vector<uint8_t> damage(const std::vector<uint8_t> &bytes, std::mt19937 &rng) {
    std::vector<uint8_t> damaged = bytes;
    int flips = 1 + (int)(rng() % 8);
    for (int k = 0; k < flips; k++) damaged[rng() % damaged.size()] = (uint8_t)rng();
    return damaged;
}

void skip_damage_rounds(std::mt19937 &rng, int compressions) {
    const std::vector<uint8_t> any(1);
    for (int i = 0; i < compressions * DAMAGE_ROUNDS; i++) damage(any, rng);
}

} // namespace

TEST_P(pod_sweep, SeededRandomDamage) {
    cpod *full = make_full_pod();
    int live = vull_items_created;
    std::mt19937 rng(DAMAGE_SEED);
    skip_damage_rounds(rng, GetParam());
    std::vector<uint8_t> bytes = save_bytes(full, GetParam());
    for (int round = 0; round < DAMAGE_ROUNDS; round++) {
        std::vector<uint8_t> damaged = damage(bytes, rng);
        vull_destroy_pod(load_and_rewrite(damaged));
    }
    EXPECT_EQ(vull_items_created, live);
    vull_destroy_pod(full);
}

TEST(PodHostile, SeededDamageInsideAPodSet) {
    cpod *full = make_full_pod();
    int live = vull_items_created;
    std::mt19937 rng(DAMAGE_SEED);
    skip_damage_rounds(rng, 2);
    // Random damage inside the first pod of a set: the reader moves on through the rest
    // (an unknown chunk's damaged size may still carry it past the second pod).
    std::vector<uint8_t> second = save_bytes(full);
    int intact = 0;
    for (int round = 0; round < 300; round++) {
        std::vector<uint8_t> set = save_bytes(full);
        for (int k = 0; k < 4; k++)
            set[POD_HEADER_SIZE + rng() % (set.size() - POD_HEADER_SIZE)] ^= 0xFF;
        set.insert(set.end(), second.begin(), second.end());
        cpod *entries[CPOD_SET_SIZE];
        ASSERT_EQ(vull_load_pod_set_from_memory(set.data(), (int)set.size(), entries), 0);
        for (int i = 1; i < CPOD_SET_SIZE; i++) {
            if (entries[i] && entries[i]->count == full->count) {
                intact++;
                break;
            }
        }
        cpod_set_clear(entries);
    }
    EXPECT_GT(intact, 250);
    EXPECT_EQ(vull_items_created, live);
    vull_destroy_pod(full);
}
