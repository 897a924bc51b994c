// Guarded allocator, byte buffers, string helpers and SHA-1.
#include "engine/config.h"
#include "engine/disk.h"
#include "engine/mem.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

static vull_block_header *header(void *p) {
    return reinterpret_cast<vull_block_header *>(static_cast<uint8_t *>(p) - 8);
}

TEST(CheckedSize, RejectsNegativeAndOversizedResults) {
    int out = -1;
    EXPECT_TRUE(vull_checked_size(10, 4, 2, &out));
    EXPECT_EQ(out, 42);
    EXPECT_TRUE(vull_checked_size(1, VULL_ALLOC_CAP, 0, &out));
    out = 7;
    EXPECT_FALSE(vull_checked_size(-1, 4, 0, &out));
    EXPECT_FALSE(vull_checked_size(4, -1, 0, &out));
    EXPECT_FALSE(vull_checked_size(1, 1, -1, &out));
    EXPECT_FALSE(vull_checked_size(1, VULL_ALLOC_CAP, 1, &out));
    EXPECT_FALSE(vull_checked_size(0x10000, 0x10001, 0, &out));
    // Products that wrap 32 or 64 bits must not sneak back under the cap.
    EXPECT_FALSE(vull_checked_size(0x100000000LL, 0x100000000LL, 0, &out));
    EXPECT_FALSE(vull_checked_size(INT64_MAX, 2, 0, &out));
    EXPECT_EQ(out, 7);
}

TEST(Allocator, SizesHeadersAndCounters) {
    uint32_t requests = vull_total_mallocs, bytes = vull_total_malloced,
             frees = vull_total_deallocs;
    auto *p = static_cast<uint8_t *>(vull_malloc(0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(header(p)->magic, VULL_MAGIC_LIVE);
    EXPECT_EQ(header(p)->size, 16u);
    for (int i = 0; i < 16; i++) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(vull_total_malloced, bytes + 16);
    void *q = vull_calloc(100);
    EXPECT_EQ(header(q)->size, 100u);
    EXPECT_EQ(vull_total_mallocs, requests + 2);
    vull_free(p);
    vull_free(q);
    vull_free(nullptr); // accepted, not counted
    EXPECT_EQ(vull_total_malloced, bytes);
    EXPECT_EQ(vull_total_deallocs, frees + 2);

    // Refused sizes still count as requests.
    requests = vull_total_mallocs;
    EXPECT_EQ(vull_calloc(0), nullptr);
    EXPECT_EQ(vull_calloc(-5), nullptr);
    EXPECT_EQ(vull_calloc((int)VULL_ALLOC_CAP + 1), nullptr);
    EXPECT_EQ(vull_malloc_(0), nullptr);
    EXPECT_EQ(vull_malloc(-16), nullptr);
    EXPECT_EQ(vull_malloc(-100), nullptr);
    EXPECT_EQ(vull_malloc(INT32_MIN), nullptr);
    EXPECT_EQ(vull_malloc((int)VULL_ALLOC_CAP - 15), nullptr);
    EXPECT_EQ(vull_total_mallocs, requests + 8);
    EXPECT_EQ(vull_total_malloced, bytes);
}

TEST(Allocator, ReallocKeepsContentsAndOldBlockOnFailure) {
    uint32_t bytes = vull_total_malloced;
    auto *p = static_cast<char *>(vull_calloc(8));
    std::memcpy(p, "abcdefg", 8);
    p = static_cast<char *>(vull_realloc(p, 64));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "abcdefg");
    EXPECT_EQ(header(p)->size, 64u);
    EXPECT_EQ(vull_total_malloced, bytes + 64);
    // Bad sizes give null and leave the block valid and unchanged.
    EXPECT_EQ(vull_realloc(p, 0), nullptr);
    EXPECT_EQ(vull_realloc(p, -1), nullptr);
    EXPECT_EQ(vull_realloc(p, (int)VULL_ALLOC_CAP + 1), nullptr);
    EXPECT_EQ(header(p)->magic, VULL_MAGIC_LIVE);
    EXPECT_STREQ(p, "abcdefg");
    p = static_cast<char *>(vull_realloc(p, 4));
    EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
    vull_free(p);
    EXPECT_EQ(vull_total_malloced, bytes);
    // A null pointer allocates as vull_malloc.
    void *n = vull_realloc(nullptr, 4);
    EXPECT_EQ(header(n)->size, 20u);
    vull_free(n);
}

// Pages of [p, p + n) that are resident.
static int resident_pages(void *p, size_t n) {
    size_t page = (size_t)sysconf(_SC_PAGESIZE);
    auto start = reinterpret_cast<uintptr_t>(p) & ~(page - 1);
    size_t len = reinterpret_cast<uintptr_t>(p) + n - start;
    std::vector<unsigned char> v((len + page - 1) / page);
    if (mincore(reinterpret_cast<void *>(start), len, v.data()) != 0) return -1;
    int r = 0;
    for (unsigned char c : v) r += c & 1;
    return r;
}

TEST(Allocator, PageBlocksCostOnlyThePagesWritten) {
    uint32_t bytes = vull_total_malloced;
    constexpr int n = 0x10003; // a code tab's text
    auto *p = static_cast<uint8_t *>(vull_calloc_pages(n));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(header(p)->magic, VULL_MAGIC_LIVE);
    EXPECT_EQ(header(p)->size, (uint32_t)n);
    EXPECT_LE(resident_pages(p + 4096, n - 4096), 1) << "cleared page by page";
    for (int i = 0; i < n; i += 997) EXPECT_EQ(p[i], 0);
    p[n - 1] = 7;
    std::memcpy(p, "large", 6);

    // Grown, shrunk below the size that maps pages, and grown again: contents kept.
    p = static_cast<uint8_t *>(vull_realloc(p, 2 * n));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(p), "large");
    EXPECT_EQ(p[n - 1], 7);
    EXPECT_EQ(vull_total_malloced, bytes + 2 * n);
    p = static_cast<uint8_t *>(vull_realloc(p, 64));
    EXPECT_STREQ(reinterpret_cast<char *>(p), "large");
    EXPECT_EQ(header(p)->size, 64u);
    p = static_cast<uint8_t *>(vull_realloc(p, n));
    EXPECT_STREQ(reinterpret_cast<char *>(p), "large");
    vull_free(p);
    EXPECT_EQ(vull_total_malloced, bytes);

    // A buffer grown past the size keeps its bytes and zeroes the new ones.
    cbuffer *b = vull_create_page_buffer(n);
    ASSERT_NE(b, nullptr);
    std::memset(b->data, 0x33, n);
    ASSERT_EQ(vull_allocate_buffer_size(b, 3 * n), 0);
    EXPECT_EQ(b->data[n - 1], 0x33);
    EXPECT_EQ(b->data[n], 0);
    EXPECT_EQ(b->data[6 * n - 1], 0);
    vull_destroy_buffer(b);
    EXPECT_EQ(vull_total_malloced, bytes);
}

TEST(Allocator, ForeignBlocksAreReportedAndLeftAlone) {
    // A fake block whose header does not carry the live magic.
    alignas(8) uint8_t fake[24] = {};
    vull_block_header h{VULL_MAGIC_FREED, VULL_SIZE_FREED};
    std::memcpy(fake, &h, sizeof h);
    std::memset(fake + 8, 0x5a, 16);
    uint32_t bytes = vull_total_malloced;
    testing::internal::CaptureStdout();
    vull_free(fake + 8);
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said, "vull_free fail abba00 cddc00\n");
    EXPECT_EQ(fake[8], 0x5a); // not poisoned
    EXPECT_EQ(vull_total_malloced, bytes);
    testing::internal::CaptureStdout();
    EXPECT_EQ(vull_realloc(fake + 8, 32), nullptr);
    testing::internal::GetCapturedStdout();
}

// The VM's blocks: small ones from the free lists, large ones from the heap; a
// resize may move a block between them and keeps its bytes either way.
TEST(Allocator, LeanBlocksKeepHeadersCountsAndContentsAcrossPoolAndHeap) {
    uint32_t bytes = vull_total_malloced, frees = vull_total_deallocs;
    auto *p = static_cast<uint8_t *>(vull_malloc_lean(5));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(header(p)->magic, VULL_MAGIC_LIVE);
    EXPECT_EQ(header(p)->size, 21u); // the spare bytes of vull_malloc
    for (int i = 0; i < 21; i++) EXPECT_EQ(p[i], 0) << "checked builds zero lean blocks";
    std::memcpy(p, "lean", 5);
    // in the slot, to a larger slot, to the heap, back to a slot
    for (int n : {12, 100, 248, 249, 5000, 240, 30}) {
        p = static_cast<uint8_t *>(vull_realloc_lean(p, n));
        ASSERT_NE(p, nullptr) << n;
        EXPECT_STREQ(reinterpret_cast<char *>(p), "lean") << n;
        EXPECT_EQ(header(p)->size, (uint32_t)n);
        EXPECT_EQ(vull_total_malloced, bytes + n);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    }
    EXPECT_EQ(vull_realloc_lean(p, 0), nullptr);
    EXPECT_EQ(vull_realloc_lean(p, (int)VULL_ALLOC_CAP + 1), nullptr);
    vull_alloc_refusal = 1;
    EXPECT_EQ(vull_realloc_lean(p, 400), nullptr); // refused: the block stays
    vull_alloc_refusal = 2;
    void *first = vull_malloc_lean(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(vull_malloc_lean(8), nullptr); // the second request is refused
    vull_free_lean(first);
    EXPECT_STREQ(reinterpret_cast<char *>(p), "lean");
    vull_free_lean(p);
    EXPECT_EQ(vull_total_malloced, bytes);
    EXPECT_EQ(vull_total_deallocs, frees + 2); // moves between sizes count none
    // A second release finds the stamp and is reported, as for any block.
    EXPECT_EQ(header(p)->magic, VULL_MAGIC_FREED);
    testing::internal::CaptureStdout();
    vull_free_lean(p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "vull_free fail abba00 cddc00\n");
    EXPECT_EQ(vull_total_malloced, bytes);

    // More blocks of one size than a chunk holds: all distinct, all reused.
    std::vector<uint8_t *> blocks;
    for (int i = 0; i < 3000; i++) {
        blocks.push_back(static_cast<uint8_t *>(vull_malloc_lean(40)));
        blocks.back()[0] = uint8_t(i);
    }
    for (int i = 0; i < 3000; i++) ASSERT_EQ(blocks[i][0], uint8_t(i));
    for (uint8_t *b : blocks) vull_free_lean(b);
    EXPECT_EQ(vull_total_malloced, bytes);
}

TEST(Allocator, DeferredDeallocReleasesNothing) {
    void *p = vull_calloc(32);
    uint32_t frees = vull_total_deallocs, bytes = vull_total_malloced;
    cconfig.deferred_dealloc = 1;
    vull_free(p);
    cconfig.deferred_dealloc = 0;
    EXPECT_EQ(vull_total_deallocs, frees);
    EXPECT_EQ(vull_total_malloced, bytes);
    EXPECT_EQ(header(p)->magic, VULL_MAGIC_LIVE);
    vull_free(p);
}

TEST(Buffer, GrowsToTwiceTheNeededSize) {
    cbuffer *b = vull_create_buffer(0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->capacity, 4);
    EXPECT_EQ(b->kind, VULL_FILE_MEMORY);
    uint8_t *at = static_cast<uint8_t *>(cbuffer_add_data(b, "hello", 5));
    EXPECT_EQ(b->capacity, 10);
    EXPECT_EQ(std::memcmp(at, "hello", 5), 0);
    EXPECT_EQ(b->length, 5);
    EXPECT_EQ(at[5], 0); // grown bytes are zeroed
    vull_destroy_buffer(b);

    b = vull_create_buffer(4);
    for (int i = 0; i < 4; i++) cbuffer_add_uint8(b, (uint8_t)('a' + i));
    EXPECT_EQ(b->capacity, 4);
    uint8_t *e = cbuffer_add_uint8(b, 'e');
    EXPECT_EQ(b->capacity, 10);
    EXPECT_EQ(*e, 'e');
    EXPECT_EQ(b->position, 5);
    EXPECT_EQ(b->length, 5);

    char *s = cbuffer_add_string(b, "xy");
    EXPECT_STREQ(s, "xy");
    EXPECT_EQ(b->length, 8);

    // Reading stops at the length instead of walking off the block.
    b->position = 0;
    std::string got;
    for (int i = 0; i < 8; i++) got += (char)cbuffer_get_uint8(b);
    EXPECT_EQ(got, std::string("abcdexy\0", 8));
    EXPECT_EQ(cbuffer_get_uint8(b), 0);
    EXPECT_EQ(b->position, 8);
    b->position = -3;
    EXPECT_EQ(cbuffer_get_uint8(b), 0);

    vull_clear_buffer(b);
    EXPECT_EQ(b->length, 0);
    EXPECT_EQ(b->position, 0);
    EXPECT_EQ(b->capacity, 10);
    vull_clear_buffer(nullptr);
    vull_destroy_buffer(b);
    vull_destroy_buffer(nullptr);
}

TEST(Buffer, GrowthBeyondTheCapFailsWithoutWriting) {
    cbuffer *b = vull_create_buffer(16);
    EXPECT_EQ(vull_allocate_buffer_size(b, (int)VULL_ALLOC_CAP + 1), -1);
    EXPECT_EQ(vull_allocate_buffer_size(b, INT32_MAX), -1);
    EXPECT_EQ(b->capacity, 16);
    vull_fseek(b, (int)VULL_ALLOC_CAP - 2, SEEK_CUR);
    EXPECT_EQ(cbuffer_add_data(b, "abcd", 4), nullptr);
    EXPECT_EQ(b->capacity, 16);
    EXPECT_EQ(b->length, 0);
    vull_destroy_buffer(b);
}

TEST(Strings, CopyLowerSearch) {
    char buf[16] = "junk";
    EXPECT_EQ(vull_strcpy(buf, "text"), buf);
    EXPECT_STREQ(buf, "text");
    EXPECT_STREQ(vull_strcpy(buf, buf), "text");
    vull_strcpy(buf, nullptr);
    EXPECT_STREQ(buf, "");

    const char *abc = "abc";
    EXPECT_EQ(vull_strcasestr(abc, "B"), abc + 1);
    EXPECT_EQ(vull_strcasestr(abc, "BD"), nullptr);
    EXPECT_EQ(vull_strcasestr(nullptr, "a"), nullptr);
}

TEST(Sha1, KnownDigests) {
    char out[41];
    EXPECT_EQ(vull_sha1("abc", 3, out), 1);
    EXPECT_STREQ(out, "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(vull_sha1("", 0, out), 1);
    EXPECT_STREQ(out, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(vull_sha1("abc", -1, out), 0);
    EXPECT_STREQ(out, "");
}
