// POD container files: the serialised form of an item container (cpod), one
// header chunk then one tagged chunk per item; pod sets of up to 256 pods
// stored back to back; LZ4 block streams.
//
// Damage (a chunk with impossible sizes or counts, a body that runs past the end
// of the input, a damaged LZ4 block) logs "vull_load_pod_file: bad chunk" and
// drops that item; the items before it are kept. A chunk whose size field the
// writer fills in is passed over; any other ends the pod, and the reader moves
// on to the next pod header of a set.
#pragma once
#include <cstdint>
#include "engine/cpod.h"

struct vull_file;
struct vull_synth;

// A chunk identifier: four letters, the first one lowest (first in the file).
constexpr uint32_t pod_chunk_id(const char (&s)[5]) {
    return (uint32_t)(uint8_t)s[0] | (uint32_t)(uint8_t)s[1] << 8 | (uint32_t)(uint8_t)s[2] << 16 |
           (uint32_t)(uint8_t)s[3] << 24;
}
constexpr uint32_t POD_COMPRESSED = 0x20; // bit of the first letter marking cBMP, cVMP and cFIL
constexpr int POD_HEADER_SIZE = 76;       // the CPOD chunk, identifier and size included
constexpr int POD_FILE_NAME_LEN = 64;     // name field of a CFIL chunk

// Reading. The name is not used. Items of the returned container fill slots 0.. in file order.
cpod *vull_load_pod_file(const char *name, vull_file *f);
cpod *vull_load_pod(const char *path);
int vull_load_pod_set(const char *path, cpod **set);
int vull_load_pod_set_from_memory(void *data, int length, cpod **set);
int vull_load_pod_set_from_text_file(const char *path, cpod **set);

// Opening a pod item by item: small items are read at once, each bitmap or file item of
// 4 KiB or more when cpod_get_item first asks for it (a chunk found damaged then empties
// its slot, and the call gives null). The container keeps the file open, and owns f from
// the call on, until it and the pods opened from its file items are destroyed.
cpod *vull_open_pod_file(vull_file *f);
cpod *vull_open_pod(const char *path); // logs as vull_load_pod does
// The pod stored in file item `slot` of pod: read in place, item by item, when pod was
// opened so and the item is not read yet; otherwise read whole from the item's bytes.
cpod *vull_open_pod_item(cpod *pod, int slot);
void vull_read_lazy_items(cpod *pod); // reads every item not read yet
// The byte length of file item `slot`, read or not, without reading its bytes; -1 when
// the slot holds no file item or the file no longer holds the chunk.
int64_t vull_pod_file_length(cpod *pod, int slot);

// For the container code: the file of a pod opened item by item, and its unread items.
struct pod_source;
void vull_release_pod_source(pod_source *src);
int vull_lazy_item_type(const void *lazy); // the item type it becomes
void *vull_read_lazy_item(cpod *pod, const void *lazy, int *type); // the item, or null

// Writing. 0 on success, 1 when nothing or not everything could be written, or when an
// item would not read back (a bitmap depth other than 8 or 32, a model with a vertex index
// out of range, a file item whose bytes are not in memory). The used slots are written in
// slot order, so a container with gaps reads back renumbered.
int vull_save_pod_file(const char *name, cpod *pod, vull_file *f);
int vull_save_pod(const char *path, cpod *pod);
int vull_save_pod_set(const char *path, cpod **set);
int vull_serialise_synth(vull_synth *synth, vull_file *f);

// LZ4 block streams: a 32-bit compressed length n, then n bytes of one LZ4 block.
int vull_fwrite_lz4(const void *data, int n, vull_file *f); // compressed length, or -1
int vull_fread_lz4(void *dest, int n, vull_file *f); // 0, or -1 unless exactly n bytes came out
