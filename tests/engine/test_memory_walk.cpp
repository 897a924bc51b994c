// Out-of-memory walks: the guarded allocator refuses the Nth request, for every N until a
// load makes fewer requests than that, while reading a pod holding every item type (plain
// and compressed, from memory, from disk and as a set) and a PNG image. Each run must end
// with a result or a refusal, never a crash, a leak or a sanitizer report.
#include "engine/image.h"
#include "engine/vull.h"
#include "pod_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using namespace podtest;

namespace {

std::string temp_path(const char *name) {
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/" + name;
}

// Runs load once per N from 1 with the Nth request refused, until a run makes fewer than N
// requests; load releases what it made, so every run must leave the live-item count as it
// was. Returns the number of runs.
int walk(const std::function<void()> &load) {
    const int live = vull_items_created;
    int n = 1;
    for (;; n++) {
        vull_alloc_refusal = n;
        load();
        bool refused = vull_alloc_refusal == 0;
        vull_alloc_refusal = 0;
        EXPECT_EQ(vull_items_created, live) << "refusing request " << n;
        if (!refused || n > 100000) break;
    }
    return n;
}

} // namespace

TEST(MemoryWalk, PodReadsEndInAResultOrARefusal) {
    cpod *full = make_full_pod();
    for (int compression : {0, 1}) {
        std::vector<uint8_t> bytes = save_bytes(full, compression);
        int runs = walk([&] {
            cpod *pod = load_bytes(bytes);
            // What loads is the full pod less the items that could not be made.
            int j = 0;
            for (int i = 0; pod && i < pod->count; i++, j++)
                while (j < full->count && full->types[j] != pod->types[i]) j++;
            EXPECT_LE(j, full->count);
            vull_destroy_pod(pod);
        });
        EXPECT_GT(runs, 20) << "compression " << compression;
        // The whole pod again once memory is plentiful.
        pod_ptr back(load_bytes(bytes));
        ASSERT_NE(back, nullptr);
        expect_pod_equal(full, back.get());

        std::string path = temp_path("walk.pod");
        ASSERT_EQ(vull_save_pod(path.c_str(), full), 0);
        walk([&] { vull_destroy_pod(vull_load_pod(path.c_str())); });

        std::vector<uint8_t> set = bytes;
        set.insert(set.end(), bytes.begin(), bytes.end());
        walk([&] {
            cpod *entries[CPOD_SET_SIZE];
            vull_load_pod_set_from_memory(set.data(), (int)set.size(), entries);
            cpod_set_clear(entries);
        });
        std::remove(path.c_str());
    }
    vull_destroy_pod(full);
}

TEST(MemoryWalk, PngReadsEndInAPictureOrNull) {
    vull_bitmap *pic = vull_create_bitmap(37, 21, 32);
    for (int y = 0; y < 21; y++)
        for (int x = 0; x < 37; x++)
            reinterpret_cast<uint32_t *>(pic->rows[y])[x] = 0xFF000000u | uint32_t(x * 7 + y * 11);
    std::string path = temp_path("walk.png");
    ASSERT_EQ(vull_save_png(path.c_str(), pic), 0);
    int runs = walk([&] {
        vull_bitmap *back = vull_load_png(path.c_str());
        if (back) {
            EXPECT_EQ(back->width, 37);
            EXPECT_EQ(reinterpret_cast<uint32_t *>(back->rows[20])[36],
                      reinterpret_cast<uint32_t *>(pic->rows[20])[36]);
        }
        vull_destroy_bitmap(back);
    });
    EXPECT_GT(runs, 1);
    std::remove(path.c_str());
    vull_destroy_bitmap(pic);
}
