// POD files opened item by item: the same items as reading them whole, large
// items read from the file only when asked for, damage found then refused
// cleanly, a nested pod bounded by its file item, and truncations.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/config.h"
#include "engine/cpod.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/pod.h"
#include "pod_test_util.h"
#include "tests/support/sweep.h"

namespace {

using podtest::expect_pod_equal;
using podtest::load_bytes;
using podtest::make_file_item;
using podtest::save_bytes;

// A bitmap of w x h whose pixels follow the seed.
vull_bitmap *bitmap(int w, int h, int bpp, int seed) {
    vull_bitmap *b = vull_create_bitmap(w, h, bpp);
    for (int i = 0; i < w * h * bpp / 8; i++) b->pixels[i] = uint8_t(i * seed >> 2);
    return b;
}

cbuffer *pod_as_file(const char *name, cpod *pod, int compression = 0) {
    std::vector<uint8_t> bytes = save_bytes(pod, compression);
    vull_destroy_pod(pod);
    cbuffer *b = vull_create_buffer(int(bytes.size()));
    cbuffer_add_data(b, bytes.data(), int(bytes.size()));
    b->position = 0;
    std::snprintf(b->name, sizeof b->name, "%s", name);
    return b;
}

// Small items, large ones (read when asked for), a nested pod holding both, a
// compressed file item and a voxel map (always read at once).
cpod *mixed_pod(bool nested_compressed = false) {
    cpod *inner = vull_create_pod(0);
    std::strcpy(inner->name, "inner");
    cpod_add_item(inner, CPOD_PALETTE, vull_create_palette());
    cpod_add_item(inner, CPOD_BITMAP, bitmap(32, 32, 32, 5));
    cpod_add_item(inner, CPOD_FILE, make_file_item("inner.bin", 4100, 3));

    cpod *pod = vull_create_pod(0);
    std::strcpy(pod->name, "mixed");
    cpod_add_item(pod, CPOD_FILE, make_file_item("small", 200, 11));
    cpod_add_item(pod, CPOD_FILE, pod_as_file("inner.pod", inner, nested_compressed));
    cpod_add_item(pod, CPOD_BITMAP, bitmap(8, 8, 8, 3));
    cpod_add_item(pod, CPOD_BITMAP, bitmap(128, 32, 8, 7));
    cpod_add_item(pod, CPOD_FILE, make_file_item("large", 4500, 13));
    vull_voxmap *vm = vull_create_voxmap(4, 4, 4);
    vm->voxels[7] = 9;
    cpod_add_item(pod, CPOD_VOXMAP, vm);
    cpod_add_item(pod, CPOD_FILE, make_file_item("tail", 4096, 17));
    return pod;
}

cpod *open_bytes(std::vector<uint8_t> &bytes, size_t n) {
    return vull_open_pod_file(vull_fopen_memory(bytes.data(), int(n)));
}

// Reads every item that is not read yet, then the pod must equal one read whole.
void expect_same_as_whole(cpod *opened, std::vector<uint8_t> &bytes) {
    cpod *whole = load_bytes(bytes);
    ASSERT_NE(opened, nullptr);
    vull_read_lazy_items(opened);
    expect_pod_equal(whole, opened);
    vull_destroy_pod(whole);
}

std::string temp_path(const char *name) {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && dir[0] ? dir : "/tmp") + "/z6_pod_open_" +
           std::to_string(getpid()) + "_" + name;
}

void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
}

// Offset of the first occurrence of needle in bytes from `from` on (bytes.size(): none).
size_t find(const std::vector<uint8_t> &bytes, const std::string &needle, size_t from = 0) {
    auto it = std::search(bytes.begin() + long(from), bytes.end(), needle.begin(), needle.end());
    return size_t(it - bytes.begin());
}

TEST(PodOpen, SameItemsAsReadingWholeLargeOnesReadWhenAskedFor) {
    for (int compression : {0, 1}) {
        cpod *pod = mixed_pod();
        std::vector<uint8_t> bytes = save_bytes(pod, compression);
        vull_destroy_pod(pod);
        cpod *opened = open_bytes(bytes, bytes.size());
        ASSERT_NE(opened, nullptr);
        ASSERT_EQ(opened->count, 7);
        // Large bitmaps and file items wait; the rest is read.
        const int lazy[] = {0, 1, 0, 1, 1, 0, 1};
        for (int s = 0; s < 7; s++)
            EXPECT_EQ(opened->types[s] == CPOD_LAZY, lazy[s] == 1) << compression << " " << s;
        // File items tell their length without being read; other items have none.
        const int64_t length[] = {200, -2, -1, -1, 4500, -1, 4096};
        for (int s = 0; s < 7; s++)
            if (length[s] != -2) {
                EXPECT_EQ(vull_pod_file_length(opened, s), length[s]) << s;
            }
        EXPECT_GT(vull_pod_file_length(opened, 1), 4096);
        EXPECT_EQ(vull_pod_file_length(opened, 7), -1);
        EXPECT_EQ(opened->types[4], CPOD_LAZY);
        // Asked for as something else, an item stays unread.
        EXPECT_EQ(cpod_get_item(opened, 3, CPOD_FILE), nullptr);
        EXPECT_EQ(opened->types[3], CPOD_LAZY);
        auto *big = static_cast<vull_bitmap *>(cpod_get_item(opened, 3, CPOD_BITMAP));
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(big->width, 128);
        EXPECT_EQ(opened->types[3], CPOD_BITMAP);

        // The nested pod, in place or from its bytes, equals the one read whole.
        cpod *whole = load_bytes(bytes);
        auto *inner_file = static_cast<vull_file *>(cpod_get_item(whole, 1, CPOD_FILE));
        cpod *inner_whole = vull_load_pod_file("", inner_file);
        cpod *inner = vull_open_pod_item(opened, 1);
        ASSERT_NE(inner, nullptr);
        // In place when the item is stored raw; from its bytes when compressed.
        EXPECT_EQ(inner->types[1], compression ? CPOD_BITMAP : CPOD_LAZY);
        vull_read_lazy_items(inner);
        expect_pod_equal(inner_whole, inner);
        vull_destroy_pod(inner_whole);
        vull_destroy_pod(whole);

        // The nested pod keeps the file open after its parent is gone.
        expect_same_as_whole(opened, bytes);
        vull_destroy_pod(opened);
        auto *inner_file_item = static_cast<vull_file *>(cpod_get_item(inner, 2, CPOD_FILE));
        ASSERT_NE(inner_file_item, nullptr);
        EXPECT_EQ(inner_file_item->length, 4100);
        vull_destroy_pod(inner);
    }
}

TEST(PodOpen, WrittenBackAsThePodReadWhole) {
    cpod *pod = mixed_pod();
    std::vector<uint8_t> bytes = save_bytes(pod);
    vull_destroy_pod(pod);
    cpod *opened = open_bytes(bytes, bytes.size());
    EXPECT_EQ(save_bytes(opened), bytes); // unread items read for the writer
    vull_destroy_pod(opened);
}

TEST(PodOpen, ItemsAreReadWhenAskedForAndDamageThenIsRefused) {
    cpod *pod = mixed_pod();
    std::vector<uint8_t> bytes = save_bytes(pod);
    vull_destroy_pod(pod);
    cpod *opened = open_bytes(bytes, bytes.size());
    ASSERT_NE(opened, nullptr);

    // Changed after opening: the large item read now has the new bytes.
    size_t large = find(bytes, "large");
    ASSERT_LT(large, bytes.size());
    bytes[large + POD_FILE_NAME_LEN] ^= 0xff; // its first data byte
    // Another item's chunk no longer what it was: refused, its slot emptied.
    bytes[find(bytes, "tail") - 4 - 8] = 'X';

    auto *f = static_cast<vull_file *>(cpod_get_item(opened, 4, CPOD_FILE));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->data[0], bytes[large + POD_FILE_NAME_LEN]);
    EXPECT_EQ(cpod_get_item(opened, 6, CPOD_FILE), nullptr);
    EXPECT_EQ(opened->types[6], CPOD_EMPTY);
    EXPECT_EQ(opened->count, 6);
    EXPECT_EQ(cpod_get_item(opened, 6, 0), nullptr) << "refused for good";
    EXPECT_NE(cpod_get_item(opened, 3, CPOD_BITMAP), nullptr) << "the others still read";
    vull_destroy_pod(opened);
}

TEST(PodOpen, FromAFileCutShortAfterOpening) {
    cpod *pod = mixed_pod();
    std::vector<uint8_t> bytes = save_bytes(pod);
    vull_destroy_pod(pod);
    std::string path = temp_path("cut.pod");
    write_file(path, bytes);
    cpod *opened = vull_open_pod(path.c_str());
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->count, 7);
    EXPECT_NE(cpod_get_item(opened, 4, CPOD_FILE), nullptr);
    // The file loses its second half: what lay there is refused, never read as zeros.
    write_file(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    EXPECT_EQ(cpod_get_item(opened, 6, CPOD_FILE), nullptr);
    EXPECT_NE(cpod_get_item(opened, 4, CPOD_FILE), nullptr) << "read before the cut";
    vull_destroy_pod(opened);
    // Opened whole again, it reads as the pod read whole from the same bytes.
    write_file(path, bytes);
    opened = vull_open_pod(path.c_str());
    expect_same_as_whole(opened, bytes);
    vull_destroy_pod(opened);
    std::remove(path.c_str());
}

TEST(PodOpen, ANestedPodEndsWithItsFileItem) {
    // The inner pod's last item claims 8 bytes more than the inner pod holds:
    // read whole from the item's bytes it is cut; read in place it must be cut
    // there too, not run on into the outer pod's next item.
    cpod *inner = vull_create_pod(0);
    cpod_add_item(inner, CPOD_FILE, make_file_item("first", 100, 3));
    cpod_add_item(inner, CPOD_FILE, make_file_item("last", 6000, 5));
    cpod *pod = vull_create_pod(0);
    cpod_add_item(pod, CPOD_FILE, pod_as_file("inner.pod", inner));
    cpod_add_item(pod, CPOD_FILE, make_file_item("after", 9000, 7));
    std::vector<uint8_t> bytes = save_bytes(pod);
    vull_destroy_pod(pod);
    size_t last = find(bytes, "last") - 4;
    int32_t length;
    std::memcpy(&length, &bytes[last], 4);
    length += 8;
    std::memcpy(&bytes[last], &length, 4);

    cpod *opened = open_bytes(bytes, bytes.size());
    ASSERT_NE(opened, nullptr);
    cpod *in_place = vull_open_pod_item(opened, 0);
    ASSERT_NE(in_place, nullptr);
    vull_read_lazy_items(in_place);
    cpod *whole = load_bytes(bytes);
    auto *inner_file = static_cast<vull_file *>(cpod_get_item(whole, 0, CPOD_FILE));
    cpod *inner_whole = vull_load_pod_file("", inner_file);
    expect_pod_equal(inner_whole, in_place);
    EXPECT_EQ(in_place->count, 1);
    for (cpod *p : {in_place, inner_whole, whole, opened}) vull_destroy_pod(p);
}

TEST(PodOpen, ATruncatedPodGivesWhatReadingItWholeGives) {
    cpod *pod = mixed_pod();
    std::vector<uint8_t> bytes = save_bytes(pod);
    vull_destroy_pod(pod);
    // Every cut near a chunk's start (and so near the end of the one before),
    // and a seeded sample of the rest; every cut under make test-long.
    std::vector<size_t> cuts = z6_sweep_points(bytes.size() + 1, 128, 1500);
    for (const char *id : {"CFIL", "CBMP", "CVMP", "CPAL"})
        for (size_t at = 0; (at = find(bytes, id, at)) < bytes.size(); at++)
            for (size_t n = at > 16 ? at - 16 : 0; n <= at + 16 && n <= bytes.size(); n++)
                cuts.push_back(n);
    for (size_t n : cuts) {
        vull_file *f = vull_fopen_memory(bytes.data(), int(n));
        cpod *whole = vull_load_pod_file("", f);
        vull_fclose(f);
        cpod *opened = open_bytes(bytes, n);
        ASSERT_EQ(whole == nullptr, opened == nullptr) << n;
        if (whole) {
            vull_read_lazy_items(opened);
            expect_pod_equal(whole, opened);
            cpod *a = vull_open_pod_item(opened, 1), *b = vull_open_pod_item(whole, 1);
            ASSERT_EQ(a == nullptr, b == nullptr) << n;
            if (a) {
                vull_read_lazy_items(a);
                expect_pod_equal(b, a);
            }
            vull_destroy_pod(a);
            vull_destroy_pod(b);
        }
        vull_destroy_pod(whole);
        vull_destroy_pod(opened);
        if (HasFatalFailure() || HasNonfatalFailure()) {
            ADD_FAILURE() << "at length " << n;
            break;
        }
    }
}

} // namespace
