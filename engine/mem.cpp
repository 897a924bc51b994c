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

void vull_free(void *p) {
    if (cconfig.deferred_dealloc) return;
    if (!p) return;
    vull_total_deallocs++;
    vull_block_header *h = header_of(p);
    if (h->magic != VULL_MAGIC_LIVE) {
        report_bad_block(h);
        return;
    }
    // Mapped pages go back to the system, where any later use faults: filling
    // them first would only bring in the pages that were never written.
    // The fill doubles in place: a few block copies, where a copy per word
    // costs a call each in unoptimised and sanitizer builds.
    if (!is_page_block(h) && h->size >= 4) {
        size_t fill = (size_t)(h->size / 4) * 4;
        uint8_t *payload = static_cast<uint8_t *>(p);
        std::memcpy(payload, &VULL_POISON, 4);
        for (size_t done = 4; done < fill; done *= 2)
            std::memcpy(payload + done, payload, std::min(done, fill - done));
    }
    vull_total_malloced -= h->size;
    size_t bytes = sizeof(vull_block_header) + h->size;
    h->magic = VULL_MAGIC_FREED;
    h->size = VULL_SIZE_FREED;
    release_raw(h, bytes);
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
