// Item containers.
//
// Slots hold an item pointer and its type. used[] is a permutation of all slots whose first
// count entries are the slots in use, and position[] is its inverse, so taking a slot,
// freeing one and walking the used ones are all constant time per slot.
#include "engine/cpod.h"
#include "engine/anim.h"
#include "engine/disk.h"
#include "engine/gfx.h"
#include "engine/hooks.h"
#include "engine/mem.h"
#include "engine/model.h"
#include "engine/pod.h"
#include "engine/sound_item.h"
#include "engine/voxel.h"
#include "engine/vull.h"

#include <cstdio>
#include <cstring>

static void assertion_failed(const char *what) {
    char line[128];
    std::snprintf(line, sizeof line, "\nAssertion failed: %s\n", what);
    vull_debug(line);
}

static void destroy_item(int type, void *item) {
    switch (type) {
    case CPOD_EMPTY:
    case CPOD_TAKEN: return;
    case CPOD_MEMORY:
    case CPOD_LAZY: vull_free(item); return;
    case CPOD_POD: vull_destroy_pod(static_cast<cpod *>(item)); return;
    case CPOD_BITMAP: vull_destroy_bitmap(static_cast<vull_bitmap *>(item)); return;
    case CPOD_PALETTE: vull_destroy_palette(static_cast<vull_palette_rec *>(item)); return;
    case CPOD_SOUND:
        if (cpod_audio.destroy_sound) cpod_audio.destroy_sound(static_cast<csound *>(item));
        return;
    case CPOD_SYNTH:
        if (cpod_audio.destroy_synth) cpod_audio.destroy_synth(static_cast<vull_synth *>(item));
        return;
    case CPOD_FILE: vull_fclose(static_cast<vull_file *>(item)); return;
    case CPOD_MODEL: vull_destroy_model(static_cast<cmodel *>(item)); return;
    case CPOD_MATERIAL: vull_destroy_material(static_cast<vull_material *>(item)); return;
    case CPOD_ANIM: vull_destroy_anim(static_cast<vull_anim *>(item)); return;
    case CPOD_VOXMAP: vull_destroy_voxmap(static_cast<vull_voxmap *>(item)); return;
    default:
        if (type >= CPOD_APP && vull_destroy_item_func) vull_destroy_item_func(item, type);
        return;
    }
}

// Replaces the four arrays by ones of n slots (n > capacity); the new slots are empty with
// used[i] == position[i] == i. Nothing changes when memory runs out.
static bool grow(cpod *pod, int64_t n) {
    int bytes_ptr, bytes_int;
    if (!vull_checked_size(n, (int64_t)sizeof(void *), 0, &bytes_ptr) ||
        !vull_checked_size(n, (int64_t)sizeof(int32_t), 0, &bytes_int))
        return false;
    auto *items = static_cast<void **>(vull_calloc(bytes_ptr));
    auto *types = static_cast<int32_t *>(vull_calloc(bytes_int));
    auto *used = static_cast<int32_t *>(vull_calloc(bytes_int));
    auto *position = static_cast<int32_t *>(vull_calloc(bytes_int));
    if (!items || !types || !used || !position) {
        vull_free(items);
        vull_free(types);
        vull_free(used);
        vull_free(position);
        return false;
    }
    int old = pod->capacity;
    if (old > 0) {
        std::memcpy(items, pod->items, sizeof(void *) * (size_t)old);
        std::memcpy(types, pod->types, sizeof(int32_t) * (size_t)old);
        std::memcpy(used, pod->used, sizeof(int32_t) * (size_t)old);
        std::memcpy(position, pod->position, sizeof(int32_t) * (size_t)old);
    }
    for (int i = old; i < (int)n; i++) used[i] = position[i] = i;
    vull_free(pod->items);
    vull_free(pod->types);
    vull_free(pod->used);
    vull_free(pod->position);
    pod->items = items;
    pod->types = types;
    pod->used = used;
    pod->position = position;
    pod->capacity = (int32_t)n;
    return true;
}

static void free_arrays(cpod *pod) {
    vull_free(pod->items);
    vull_free(pod->types);
    vull_free(pod->used);
    vull_free(pod->position);
}

cpod *vull_create_pod(int capacity) {
    auto *pod = static_cast<cpod *>(vull_calloc((int)sizeof(cpod)));
    if (!pod) return nullptr;
    if (capacity > 0 && !grow(pod, capacity)) {
        vull_free(pod);
        return nullptr;
    }
    vull_items_created++;
    return pod;
}

cpod *vull_create_pea_pod(int count, int size) {
    int bytes;
    if (count < 1 || size < 1 || !vull_checked_size(count, size, 0, &bytes)) return nullptr;
    auto *pod = static_cast<cpod *>(vull_calloc((int)sizeof(cpod)));
    if (!pod) return nullptr;
    // Elements are written as they come into use: the rest costs no memory.
    auto *block = static_cast<uint8_t *>(vull_calloc_pages(bytes));
    if (!block || !grow(pod, count)) {
        vull_free(block);
        free_arrays(pod);
        vull_free(pod);
        return nullptr;
    }
    for (int i = 0; i < count; i++) pod->items[i] = block + (size_t)i * (size_t)size;
    pod->pea = 1;
    pod->element_size = size;
    vull_items_created++;
    return pod;
}

int cpod_set_size(cpod *pod, int n) {
    if (!pod) return -1;
    if (n <= pod->capacity) return 0;
    return grow(pod, n) ? 0 : -1;
}

static bool slot_in_use(const cpod *pod, int slot) {
    return slot >= 0 && slot < pod->capacity && pod->position[slot] < pod->count;
}

// Takes the first free entry of used: the slot freed last, or the next never-used one.
static int take_slot(cpod *pod, int type, void *item, bool store_item) {
    if (pod->count + 1 > pod->capacity) {
        if (pod->pea) return -1;
        if (!grow(pod, (int64_t)pod->capacity + pod->capacity / 2 + 8)) return -1;
    }
    int slot = pod->used[pod->count];
    pod->count++;
    // A pea pod's item pointers are its element addresses and never change.
    if (store_item && !pod->pea) pod->items[slot] = item;
    pod->types[slot] = type;
    return slot;
}

int cpod_add_item(cpod *pod, int type, void *item) {
    if (type == CPOD_EMPTY) assertion_failed("Bad cpod_add_item type");
    if (!item) assertion_failed("Bad cpod_add_item");
    if (!pod) return -1;
    return take_slot(pod, type, item, true);
}

int cpod_get_free_item(cpod *pod) {
    if (!pod) return -1;
    return take_slot(pod, CPOD_TAKEN, nullptr, false);
}

static void free_slot(cpod *pod, int s);

void *cpod_get_item(cpod *pod, int slot, int type) {
    if (!pod || !slot_in_use(pod, slot)) return nullptr;
    if (pod->types[slot] == CPOD_LAZY) {
        void *lazy = pod->items[slot];
        if (type != 0 && vull_lazy_item_type(lazy) != type) return nullptr;
        int got = CPOD_EMPTY;
        void *item = vull_read_lazy_item(pod, lazy, &got);
        vull_free(lazy);
        if (!item) {
            free_slot(pod, slot); // damaged: the slot is empty from now on
            return nullptr;
        }
        pod->items[slot] = item;
        pod->types[slot] = got;
    }
    if (type != 0 && pod->types[slot] != type) return nullptr;
    return pod->items[slot];
}

// Slot of an item: by address arithmetic in a pea pod, by a search of the used list otherwise.
static int slot_of(const cpod *pod, const void *element) {
    if (!pod || !element || pod->capacity <= 0) return -1;
    if (pod->pea) {
        auto offset =
            static_cast<const uint8_t *>(element) - static_cast<const uint8_t *>(pod->items[0]);
        if (offset < 0 || offset % pod->element_size != 0) return -1;
        auto slot = offset / pod->element_size;
        return slot < pod->capacity ? (int)slot : -1;
    }
    for (int i = 0; i < pod->count; i++)
        if (pod->items[pod->used[i]] == element) return pod->used[i];
    return -1;
}

int cpod_get_item_index(cpod *pod, const void *element) { return slot_of(pod, element); }

void *cpod_first(cpod *pod) {
    if (!pod || pod->count <= 0) return nullptr;
    return pod->items[pod->used[pod->count - 1]];
}

void *cpod_next(cpod *pod, const void *element) {
    int slot = slot_of(pod, element);
    if (slot < 0 || !slot_in_use(pod, slot)) return nullptr;
    int p = pod->position[slot];
    if (p == 0) return nullptr;
    return pod->items[pod->used[p - 1]];
}

// Moves the last slot in use into s's entry of used and s to the first free entry.
static void free_slot(cpod *pod, int s) {
    pod->types[s] = CPOD_EMPTY;
    if (!pod->pea) pod->items[s] = nullptr;
    pod->count--;
    int last = pod->used[pod->count];
    int p = pod->position[s];
    pod->used[p] = last;
    pod->position[last] = p;
    pod->used[pod->count] = s;
    pod->position[s] = pod->count;
}

void cpod_delete_item_soft(cpod *pod, int slot) {
    if (!pod || !slot_in_use(pod, slot) || pod->types[slot] == CPOD_EMPTY) return;
    free_slot(pod, slot);
}

void cpod_delete_item(cpod *pod, int slot) {
    if (!pod || !slot_in_use(pod, slot) || pod->types[slot] == CPOD_EMPTY) return;
    int type = pod->types[slot];
    void *item = pod->items[slot];
    // Free the slot first so a destroyer that looks at this container sees it consistent.
    free_slot(pod, slot);
    if (!pod->pea) destroy_item(type, item);
}

// Deletes from the end of used, so each free is a swap with itself. Slots in use with
// type 0 (a caller's bad add) cannot be deleted and are stepped over.
static void delete_all(cpod *pod) {
    for (int i = pod->count - 1; i >= 0; i--) cpod_delete_item(pod, pod->used[i]);
}

void cpod_clear(cpod *pod) {
    if (!pod) return;
    delete_all(pod);
    for (int i = 0; i < pod->capacity; i++) {
        pod->types[i] = CPOD_EMPTY;
        if (!pod->pea) pod->items[i] = nullptr;
        pod->used[i] = pod->position[i] = i;
    }
    pod->count = 0;
}

void vull_destroy_pod(cpod *pod) {
    if (!pod) return;
    if (pod->pea) {
        if (pod->capacity > 0) vull_free(pod->items[0]);
    } else {
        delete_all(pod);
        if (pod->count != 0) vull_debug("vull_destroy_pod: cpod->items != 0\n");
    }
    free_arrays(pod);
    vull_release_pod_source(pod->source);
    vull_free(pod);
    vull_items_created--;
}

void cpod_set_init(cpod **set) {
    if (!set) return;
    for (int i = 0; i < CPOD_SET_SIZE; i++) set[i] = nullptr;
}

void cpod_set_clear(cpod **set) {
    if (!set) return;
    for (int i = 0; i < CPOD_SET_SIZE; i++) {
        vull_destroy_pod(set[i]);
        set[i] = nullptr;
    }
}
