// Guarded engine allocator, byte buffers (cbuffer), string helpers and SHA-1.
#pragma once
#include <cstdint>
#include <cstddef>

// Every guarded block has this header directly in front of the address handed out.
struct vull_block_header {
    uint32_t magic; // VULL_MAGIC_LIVE while live, VULL_MAGIC_FREED after release
    uint32_t size;  // recorded payload size in bytes
};
static_assert(sizeof(vull_block_header) == 8, "guarded block header is 8 bytes");

constexpr uint32_t VULL_MAGIC_LIVE = 0xA110B10Cu;
constexpr uint32_t VULL_MAGIC_FREED = 0xABBA00u;
constexpr uint32_t VULL_SIZE_FREED = 0xCDDC00u;
constexpr uint32_t VULL_POISON = 0xDEADBEEFu;  // fill of released payloads
constexpr int64_t VULL_ALLOC_CAP = 0x40000000; // 1 GiB: larger requests return null
constexpr int VULL_MALLOC_SPARE = 16;          // spare bytes vull_malloc adds to a request

// Running counts, for inspection only (nothing prints them).
extern uint32_t vull_total_mallocs;  // allocation requests, null results included
extern uint32_t vull_total_malloced; // payload bytes currently recorded in live blocks
extern uint32_t vull_total_deallocs; // releases of non-null pointers
// Test hook for out-of-memory walks: when set to N > 0, the Nth allocation request from
// then on is refused as if memory had run out; 0 (the default) refuses nothing.
extern int vull_alloc_refusal;

// The one overflow-checked size helper. Every reader of file data passes a size or count
// read from a file through it before using or allocating it:
//   *out = count * elem_size + extra
// Returns false (and leaves *out alone) when any input is negative or the result exceeds
// VULL_ALLOC_CAP (1 GiB); the arithmetic is done in 64 bits so it cannot wrap.
bool vull_checked_size(int64_t count, int64_t elem_size, int64_t extra, int *out);

// A 64-bit intermediate brought back into int32 range, saturating instead of wrapping.
constexpr int32_t vull_saturate_int32(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int32_t)v;
}

void *vull_malloc(int n);  // zeroed, n + 16 bytes; null when n + 16 <= 0 or > 1 GiB
void *vull_calloc(int n);  // zeroed, exactly n bytes; null for n <= 0 or > 1 GiB
void *vull_malloc_(int n); // not zeroed; null for n <= 0 or > 1 GiB
// As vull_calloc, for a large block made once and kept: from 64 KiB on it is mapped from
// the system's zero pages, so only the pages written ever cost anything, and it
// goes back to the system unfilled when freed. fills_in_order: a block written
// from its start on, which the system may then back with large pages.
void *vull_calloc_pages(int n, bool fills_in_order = false);
// Resizes to exactly n bytes (null p: vull_malloc(n)). On a bad size or a failed resize
// returns null and the old block stays valid and owned by the caller.
void *vull_realloc(void *p, int n);
void vull_free(void *p); // accepts null; checks the magic, poisons, releases

// Whether this build zeroes and poisons every block: debug and sanitizer builds do.
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool VULL_CHECKED_BUILD = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool VULL_CHECKED_BUILD = true;
#else
constexpr bool VULL_CHECKED_BUILD = false;
#endif
#else
constexpr bool VULL_CHECKED_BUILD = false;
#endif
// For a caller that writes every byte before it reads it (the script VM's heap): vull_malloc,
// vull_realloc and vull_free with the same header, counts, refusal hook, magic check and
// release stamp, but outside a checked build a new block is not zeroed and a freed one not
// poisoned. Small blocks come from free lists kept for reuse, so a lean block is resized and
// released only by these calls.
void *vull_malloc_lean(int n);
void *vull_realloc_lean(void *p, int n);
void vull_free_lean(void *p);
void vull_memset(void *p, int value, int n);

// Byte buffers: a cbuffer is a memory-kind vull_file (engine/disk.h) that owns a growable block.
struct vull_file;
using cbuffer = vull_file;

cbuffer *vull_create_buffer(int n);                 // capacity max(n, 4), empty; null on failure
cbuffer *vull_create_page_buffer(int n);            // the same, its block from vull_calloc_pages
int vull_allocate_buffer_size(cbuffer *buf, int n); // capacity >= n: 0, or -1 when it cannot grow
void vull_destroy_buffer(cbuffer *buf);             // accepts null
void vull_clear_buffer(cbuffer *buf);               // length and position 0, block kept
// The add calls return where the data now lies (valid until the buffer next grows), or null
// when the buffer cannot grow.
void *cbuffer_add_data(cbuffer *buf, const void *data, int n);
uint8_t *cbuffer_add_uint8(cbuffer *buf, uint8_t byte);
char *cbuffer_add_string(cbuffer *buf, const char *text); // with its terminating zero
uint8_t cbuffer_get_uint8(cbuffer *buf); // byte at the position, then advances; 0 at/after length

// Strings.
constexpr bool vull_is_blank(int c) { return c == ' ' || c == '\t'; } // the engine's blanks
char *vull_strcpy(char *dst, const char *src); // null src empties dst; same address: nothing
void vull_lowercase(char *text);               // 'A'..'Z' to 'a'..'z' in place
// Copies src into a buffer of size bytes, cut so that the ending NUL fits; null src empties
// it. src need not be NUL-ended within size - 1 bytes.
void vull_copy_text(char *dst, const char *src, size_t size);
// First match of needle in haystack ignoring the case of 'A'..'Z'; address inside haystack or null.
char *vull_strcasestr(const char *haystack, const char *needle);

// SHA-1 of length bytes as 40 lowercase hex digits and a NUL into out (41 bytes); returns 1.
int vull_sha1(const void *data, int length, char *out);
