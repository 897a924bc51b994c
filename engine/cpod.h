// Item containers: typed slot arrays with a dense used-list, pea pods over one block of
// equal-sized elements, and pod sets.
#pragma once
#include <cstdint>

#include "engine/hooks.h" // the application's item hooks

struct vull_file;
struct pod_source;

// Item types; a container destroys its items by type.
enum : int32_t {
    CPOD_EMPTY = 0,    // free slot
    CPOD_TAKEN = 1,    // taken by cpod_get_free_item; nothing to destroy
    CPOD_MEMORY = 2,   // vull_free
    CPOD_POD = 3,      // nested container: vull_destroy_pod
    CPOD_BITMAP = 4,   // vull_destroy_bitmap
    CPOD_PALETTE = 5,  // vull_destroy_palette
    CPOD_MODEL = 6,    // vull_destroy_model
    CPOD_MATERIAL = 7, // vull_destroy_material
    CPOD_ANIM = 8,     // vull_destroy_anim
    CPOD_SOUND = 9,    // vull_destroy_sound
    CPOD_VOXMAP = 10,  // vull_destroy_voxmap
    CPOD_SYNTH = 11,   // vull_destroy_synth
    CPOD_FILE = 12,    // engine file or cbuffer: vull_fclose
    CPOD_LAZY = 13,    // an item of a POD file, read when first asked for (engine/pod.h)
    CPOD_APP = 100,    // 100 and up: the application's, through vull_destroy_item_func
};

constexpr int CPOD_NAME_LEN = 32;
constexpr int CPOD_SET_SIZE = 256; // containers in a pod set

// Invariants: used[position[s]] == s for every slot; slot s is in use iff position[s] < count.
struct cpod {
    void **items;             // item pointer per slot (pea pod: address of element i, set once)
    int32_t *types;           // item type per slot (CPOD_EMPTY when free)
    int32_t *used;            // permutation of all slots: first count entries are in use
    int32_t *position;        // index of each slot in used
    int32_t count;            // slots in use
    int32_t capacity;         // slots allocated
    int32_t pea;              // 1 for a pea pod
    int32_t element_size;     // bytes per element of a pea pod
    char name[CPOD_NAME_LEN]; // empty at creation
    pod_source *source;       // the file CPOD_LAZY items are read from; null: none
};

cpod *vull_create_pod(int capacity);            // counts a live item; null on failure
cpod *vull_create_pea_pod(int count, int size); // zeroed block of count x size; counts a live item
void vull_destroy_pod(cpod *pod);               // destroys every item by type; accepts null
int cpod_set_size(cpod *pod, int n);            // grows to n slots, never shrinks; -1 on failure
int cpod_add_item(cpod *pod, int type, void *item); // slot, or -1 (full pea pod / no memory)
int cpod_get_free_item(cpod *pod);                  // takes a slot as CPOD_TAKEN; slot or -1
// Item of a slot in use (type 0: any type); null for a free slot or a type mismatch. An
// item of a POD file not read yet is read now.
void *cpod_get_item(cpod *pod, int slot, int type);
int cpod_get_item_index(cpod *pod, const void *element); // pea-pod slot of an element, or -1
void *cpod_first(cpod *pod);                             // item of the last entry in use of used
// The item before element in used (walks newest to oldest). Pea pods find the element's
// slot from its address; other containers search the used list. Null at the start.
void *cpod_next(cpod *pod, const void *element);
void cpod_delete_item_soft(cpod *pod, int slot); // frees the slot, item untouched
void cpod_delete_item(cpod *pod, int slot);      // destroys by type (not pea pods), frees the slot
void cpod_clear(cpod *pod);                      // deletes every item, all slots empty again

void cpod_set_init(cpod **set);  // CPOD_SET_SIZE entries null
void cpod_set_clear(cpod **set); // destroys every container and nulls its entry
