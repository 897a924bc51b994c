// Guarded allocator and growable byte buffers.
//
// Every block carries an 8-byte header (magic, recorded size) in front of the address the
// caller sees. Releasing checks the magic, poisons the payload and stamps the header, so a
// stale pointer or a double release is reported instead of corrupting the heap.
#include "engine/mem.h"
#include "engine/disk.h"
#include "engine/vull.h"
#include "engine/config.h"
#include "platform/system.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

uint32_t vull_total_mallocs = 0;
uint32_t vull_total_malloced = 0;
uint32_t vull_total_deallocs = 0;
int vull_alloc_refusal = 0;

// The test hook: the request that counts vull_alloc_refusal down to 0 is refused.
static bool refused_for_test() { return vull_alloc_refusal > 0 && --vull_alloc_refusal == 0; }

bool vull_checked_size(int64_t count, int64_t elem_size, int64_t extra, int *out) {
    if (count < 0 || elem_size < 0 || extra < 0) return false;
    if (count > VULL_ALLOC_CAP || elem_size > VULL_ALLOC_CAP || extra > VULL_ALLOC_CAP)
        return false;
    // Both factors are at most 2^30, so the product fits easily in 64 bits.
    int64_t total = count * elem_size + extra;
    if (total > VULL_ALLOC_CAP) return false;
    if (out) *out = (int)total;
    return true;
}

static vull_block_header *header_of(void *p) {
    return reinterpret_cast<vull_block_header *>(static_cast<uint8_t *>(p) -
                                                 sizeof(vull_block_header));
}

// A C-library failure below the cap leaves the engine nothing sensible to do.
[[noreturn]] static void out_of_memory() { vull_fatal_error("out of memory"); }

// Page blocks: large zeroed blocks made once and kept (the code tabs' text), mapped
// straight from the system's zero pages so that a page costs only when it is first
// written; the C library clears a block it carves from its heap, touching every page.
// Only blocks asked for so: mapping and unmapping a block that is made and released
// over and over would cost more than the heap. Released, a page block is unmapped.
constexpr size_t PAGE_BLOCK_MIN = 64 * 1024;
static std::vector<void *> page_blocks; // raw addresses of the mapped blocks

static bool is_page_block(vull_block_header *h) {
    if (sizeof(vull_block_header) + (size_t)h->size < PAGE_BLOCK_MIN) return false;
    return std::find(page_blocks.begin(), page_blocks.end(), h) != page_blocks.end();
}

static void *map_zero_pages(size_t bytes, bool large_pages) {
    void *raw = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    if (large_pages) madvise(raw, bytes, MADV_HUGEPAGE); // a hint: refused, small pages serve
    page_blocks.push_back(raw);
    return raw;
}

static void release_raw(vull_block_header *h, size_t bytes) {
    auto it = bytes >= PAGE_BLOCK_MIN ? std::find(page_blocks.begin(), page_blocks.end(), h)
                                      : page_blocks.end();
    if (it == page_blocks.end()) {
        std::free(h);
        return;
    }
    *it = page_blocks.back();
    page_blocks.pop_back();
    munmap(h, bytes);
}

// One guarded block of total payload bytes (total already validated: 1..cap).
static void *guarded_alloc(int64_t total, bool zero, bool pages = false, bool large = false) {
    size_t bytes = sizeof(vull_block_header) + (size_t)total;
    void *raw = pages && bytes >= PAGE_BLOCK_MIN ? map_zero_pages(bytes, large) : nullptr;
    if (!raw) raw = zero ? std::calloc(1, bytes) : std::malloc(bytes);
    if (!raw) out_of_memory();
    auto *h = static_cast<vull_block_header *>(raw);
    h->magic = VULL_MAGIC_LIVE;
    h->size = (uint32_t)total;
    vull_total_malloced += (uint32_t)total;
    return static_cast<uint8_t *>(raw) + sizeof(vull_block_header);
}

void *vull_malloc(int n) {
    vull_total_mallocs++;
    int64_t total = (int64_t)n + VULL_MALLOC_SPARE;
    if (total <= 0 || total > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    return guarded_alloc(total, true);
}

void *vull_calloc(int n) {
    vull_total_mallocs++;
    if (n <= 0 || n > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    return guarded_alloc(n, true);
}

void *vull_calloc_pages(int n, bool fills_in_order) {
    vull_total_mallocs++;
    if (n <= 0 || n > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    return guarded_alloc(n, true, true, fills_in_order);
}

void *vull_malloc_(int n) {
    vull_total_mallocs++;
    if (n <= 0 || n > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    return guarded_alloc(n, false);
}

static void report_bad_block(const vull_block_header *h) {
    char line[64];
    std::snprintf(line, sizeof line, "vull_free fail %x %x\n", h->magic, h->size);
    std::fputs(line, stdout);
    std::fflush(stdout);
    vull_debug(line);
}

void *vull_realloc(void *p, int n) {
    if (!p) return vull_malloc(n);
    vull_total_mallocs++;
    if (n <= 0 || n > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    vull_block_header *h = header_of(p);
    if (h->magic != VULL_MAGIC_LIVE) {
        report_bad_block(h);
        return nullptr;
    }
    uint32_t old_size = h->size;
    if (is_page_block(h)) {
        // Moved by hand: the C library cannot resize what it did not allocate.
        auto *to = static_cast<uint8_t *>(guarded_alloc(n, false));
        std::memcpy(to, p, std::min<size_t>(old_size, (size_t)n));
        vull_total_malloced -= old_size;
        release_raw(h, sizeof(vull_block_header) + old_size);
        return to;
    }
    void *raw = std::realloc(h, sizeof(vull_block_header) + (size_t)n);
    if (!raw) out_of_memory();
    h = static_cast<vull_block_header *>(raw);
    h->size = (uint32_t)n;
    vull_total_malloced += (uint32_t)n - old_size; // unsigned wrap makes this a signed delta
    return static_cast<uint8_t *>(raw) + sizeof(vull_block_header);
}

// Takes a live block out of use: poisons its payload when asked, uncounts it and
// stamps the header. Returns its recorded size; the caller hands the memory back.
static uint32_t retire(vull_block_header *h, bool poison) {
    uint32_t size = h->size;
    // Mapped pages go back to the system, where any later use faults: filling
    // them first would only bring in the pages that were never written.
    // The fill doubles in place: a few block copies, where a copy per word
    // costs a call each in unoptimised and sanitizer builds.
    if (poison && !is_page_block(h) && size >= 4) {
        size_t fill = (size_t)(size / 4) * 4;
        uint8_t *payload = reinterpret_cast<uint8_t *>(h + 1);
        std::memcpy(payload, &VULL_POISON, 4);
        for (size_t done = 4; done < fill; done *= 2)
            std::memcpy(payload + done, payload, std::min(done, fill - done));
    }
    vull_total_malloced -= size;
    h->magic = VULL_MAGIC_FREED;
    h->size = VULL_SIZE_FREED;
    return size;
}

// The header of a block a caller releases, or null when there is nothing to release:
// deferred release, a null pointer, or a block that is not live (reported).
static vull_block_header *block_to_release(void *p) {
    if (cconfig.deferred_dealloc) return nullptr;
    if (!p) return nullptr;
    vull_total_deallocs++;
    vull_block_header *h = header_of(p);
    if (h->magic != VULL_MAGIC_LIVE) {
        report_bad_block(h);
        return nullptr;
    }
    return h;
}

void vull_free(void *p) {
    vull_block_header *h = block_to_release(p);
    if (h) release_raw(h, sizeof(vull_block_header) + retire(h, true));
}

/*
** Lean blocks, the script VM's heap. The VM makes and drops closures, tables,
** upvalues and short strings by the million, more at a time than the C
** library's per-thread cache holds; so blocks of up to POOL_BLOCK_MAX bytes
** (header included) come from free lists, one per 16-byte size, carved from
** chunks that are kept for reuse. A block's recorded size tells where it lives:
** at most POOL_PAYLOAD_MAX, a pool slot; above, the C library's heap. In
** AddressSanitizer builds a free slot is poisoned, so a stale pointer into
** one is still caught.
*/
#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size)   ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

constexpr size_t POOL_GRAIN = 16;
constexpr size_t POOL_BLOCK_MAX = 256;
constexpr uint32_t POOL_PAYLOAD_MAX = POOL_BLOCK_MAX - sizeof(vull_block_header);
constexpr size_t POOL_CHUNK = 32 * 1024;

struct pool_link {
    pool_link *next;
};
static pool_link *pool_lists[POOL_BLOCK_MAX / POOL_GRAIN]; // free payloads of each size
// Every chunk, newest first, linked through its first word: kept for the process,
// and a plain pointer, so that no destructor at exit hides them from a leak check.
static void *pool_chunks;
constexpr size_t POOL_CHUNK_HEAD = 16; // the link, padded so slots stay 16-byte aligned

// Size class c holds slots of (c + 1) x 16 bytes.
static size_t pool_class(uint32_t size) {
    return (sizeof(vull_block_header) + size - 1) / POOL_GRAIN;
}

[[gnu::noinline]] static void pool_fill(size_t c) {
    size_t slot = (c + 1) * POOL_GRAIN;
    auto *chunk = static_cast<uint8_t *>(std::malloc(POOL_CHUNK));
    if (!chunk) out_of_memory();
    std::memcpy(chunk, &pool_chunks, sizeof pool_chunks);
    pool_chunks = chunk;
    chunk += POOL_CHUNK_HEAD;
    // Linked so that the lowest address is taken first.
    pool_link *head = pool_lists[c];
    for (size_t at = ((POOL_CHUNK - POOL_CHUNK_HEAD) / slot - 1) * slot;; at -= slot) {
        auto *link = reinterpret_cast<pool_link *>(chunk + at + sizeof(vull_block_header));
        link->next = head;
        head = link;
        ASAN_POISON_MEMORY_REGION(link, slot - sizeof(vull_block_header));
        if (at == 0) break;
    }
    pool_lists[c] = head;
}

// A pool slot for a block of size payload bytes (at most POOL_PAYLOAD_MAX).
static void *pool_take(uint32_t size) {
    size_t c = pool_class(size);
    if (!pool_lists[c]) pool_fill(c);
    pool_link *link = pool_lists[c];
    ASAN_UNPOISON_MEMORY_REGION(link, (c + 1) * POOL_GRAIN - sizeof(vull_block_header));
    pool_lists[c] = link->next;
    vull_block_header *h = header_of(link);
    h->magic = VULL_MAGIC_LIVE;
    h->size = size;
    vull_total_malloced += size;
    if (VULL_CHECKED_BUILD) std::memset(link, 0, size);
    return link;
}

// Hands back a retired block of the given recorded size to its pool or the heap.
static void lean_give_back(vull_block_header *h, uint32_t size) {
    if (size > POOL_PAYLOAD_MAX) {
        std::free(h);
        return;
    }
    size_t c = pool_class(size);
    auto *link = reinterpret_cast<pool_link *>(h + 1);
    link->next = pool_lists[c];
    pool_lists[c] = link;
    ASAN_POISON_MEMORY_REGION(link, (c + 1) * POOL_GRAIN - sizeof(vull_block_header));
}

void *vull_malloc_lean(int n) {
    vull_total_mallocs++;
    int64_t total = (int64_t)n + VULL_MALLOC_SPARE;
    if (total <= 0 || total > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    if (total <= POOL_PAYLOAD_MAX) return pool_take((uint32_t)total);
    return guarded_alloc(total, VULL_CHECKED_BUILD);
}

void *vull_realloc_lean(void *p, int n) {
    if (!p) return vull_malloc_lean(n);
    vull_block_header *h = header_of(p);
    uint32_t old_size = h->magic == VULL_MAGIC_LIVE ? h->size : 0;
    bool from_pool = old_size > 0 && old_size <= POOL_PAYLOAD_MAX;
    bool to_pool = n > 0 && (uint32_t)n <= POOL_PAYLOAD_MAX;
    if (!from_pool && !to_pool) return vull_realloc(p, n); // heap to heap; checks all
    vull_total_mallocs++;
    if (n <= 0 || n > VULL_ALLOC_CAP || refused_for_test()) return nullptr;
    if (h->magic != VULL_MAGIC_LIVE) {
        report_bad_block(h);
        return nullptr;
    }
    if (from_pool && to_pool && pool_class(old_size) == pool_class((uint32_t)n)) {
        h->size = (uint32_t)n;
        vull_total_malloced += (uint32_t)n - old_size;
        return p;
    }
    void *to = to_pool ? pool_take((uint32_t)n) : guarded_alloc(n, false);
    std::memcpy(to, p, std::min<size_t>(old_size, (size_t)n));
    lean_give_back(h, retire(h, VULL_CHECKED_BUILD));
    return to;
}

void vull_free_lean(void *p) {
    vull_block_header *h = block_to_release(p);
    if (h) lean_give_back(h, retire(h, VULL_CHECKED_BUILD));
}

void vull_memset(void *p, int value, int n) {
    if (p && n > 0) std::memset(p, value, (size_t)n);
}

/*
** Byte buffers
*/

static cbuffer *create_buffer(int n, bool pages) {
    int capacity = n < 4 ? 4 : n;
    auto *buf = static_cast<cbuffer *>(vull_calloc((int)sizeof(cbuffer)));
    if (!buf) return nullptr;
    buf->data = static_cast<uint8_t *>(pages ? vull_calloc_pages(capacity) : vull_calloc(capacity));
    if (!buf->data) {
        vull_free(buf);
        return nullptr;
    }
    buf->kind = VULL_FILE_MEMORY;
    buf->capacity = capacity;
    return buf;
}

cbuffer *vull_create_buffer(int n) { return create_buffer(n, false); }
cbuffer *vull_create_page_buffer(int n) { return create_buffer(n, true); }

// Grows to twice the needed size (not twice the old capacity), zeroing the new bytes. The
// doubled size is capped at 1 GiB; a need above the cap cannot be met.
int vull_allocate_buffer_size(cbuffer *buf, int n) {
    if (!buf) return -1;
    if (buf->capacity >= n) return 0;
    if (n > VULL_ALLOC_CAP) return -1;
    int64_t wanted = 2 * (int64_t)n;
    int new_capacity = (int)(wanted > VULL_ALLOC_CAP ? VULL_ALLOC_CAP : wanted);
    uint8_t *data;
    if (buf->data) {
        data = static_cast<uint8_t *>(vull_realloc(buf->data, new_capacity));
        if (!data) return -1;
        std::memset(data + buf->capacity, 0, (size_t)(new_capacity - buf->capacity));
    } else {
        data = static_cast<uint8_t *>(vull_calloc(new_capacity));
        if (!data) return -1;
    }
    buf->data = data;
    buf->capacity = new_capacity;
    return 0;
}

void vull_destroy_buffer(cbuffer *buf) { vull_fclose(buf); }

void vull_clear_buffer(cbuffer *buf) {
    if (!buf) return;
    buf->length = 0;
    buf->position = 0;
}

void *cbuffer_add_data(cbuffer *buf, const void *data, int n) {
    if (!buf || buf->kind != VULL_FILE_MEMORY || n < 0) return nullptr;
    int at = buf->position;
    if (vull_fwrite(data, 1, n, buf) != n) return nullptr;
    return buf->data ? buf->data + at : nullptr;
}

// A one-byte write grows to 2 x (position + 1), exactly as the add calls describe.
uint8_t *cbuffer_add_uint8(cbuffer *buf, uint8_t byte) {
    return static_cast<uint8_t *>(cbuffer_add_data(buf, &byte, 1));
}

char *cbuffer_add_string(cbuffer *buf, const char *text) {
    if (!text) text = "";
    size_t len = std::strlen(text) + 1;
    if (len > (size_t)VULL_ALLOC_CAP) return nullptr;
    return static_cast<char *>(cbuffer_add_data(buf, text, (int)len));
}

uint8_t cbuffer_get_uint8(cbuffer *buf) {
    if (!buf || buf->kind != VULL_FILE_MEMORY || !buf->data) return 0;
    if (buf->position < 0 || buf->position >= buf->length) return 0;
    return buf->data[buf->position++];
}
