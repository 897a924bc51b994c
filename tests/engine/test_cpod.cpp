// Item containers, pea pods and pod sets.
#include "engine/cpod.h"
#include "engine/model.h"
#include "engine/voxel.h"
#include "engine/disk.h"
#include "engine/mem.h"
#include "engine/vull.h"
#include "audio/mixer.h"
#include "audio/sound.h"
#include "audio/synth.h"

#include <gtest/gtest.h>
#include <vector>

static int A, B, C, D; // distinct item addresses for containers that never destroy them

// Every slot agrees with the used list and the count.
static void expect_consistent(const cpod *pod) {
    for (int s = 0; s < pod->capacity; s++) {
        ASSERT_EQ(pod->used[pod->position[s]], s);
        if (pod->position[s] >= pod->count) {
            EXPECT_EQ(pod->types[s], CPOD_EMPTY) << "slot " << s;
        }
    }
}

TEST(Cpod, GrowthAndSlotOrder) {
    int live = vull_items_created;
    cpod *pod = vull_create_pod(2);
    EXPECT_EQ(vull_items_created, live + 1);
    EXPECT_STREQ(pod->name, "");
    EXPECT_EQ(cpod_add_item(pod, 100, &A), 0);
    EXPECT_EQ(cpod_add_item(pod, 100, &B), 1);
    EXPECT_EQ(cpod_add_item(pod, 100, &C), 2);
    EXPECT_EQ(pod->capacity, 11);
    EXPECT_EQ(pod->count, 3);
    EXPECT_EQ(cpod_get_item(pod, 2, 100), &C);
    EXPECT_EQ(cpod_get_item(pod, 2, 101), nullptr);
    EXPECT_EQ(cpod_get_item(pod, 1000, 0), nullptr);
    expect_consistent(pod);
    EXPECT_EQ(cpod_set_size(pod, 40), 0);
    EXPECT_EQ(pod->capacity, 40);
    EXPECT_EQ(cpod_get_item(pod, 1, 0), &B);
    expect_consistent(pod);
    vull_destroy_pod(pod);
    EXPECT_EQ(vull_items_created, live);

    // A container made with no slots grows on its first add.
    pod = vull_create_pod(0);
    EXPECT_EQ(pod->capacity, 0);
    EXPECT_EQ(cpod_add_item(pod, 100, &A), 0);
    EXPECT_EQ(pod->capacity, 8);
    vull_destroy_pod(pod);
}

TEST(Cpod, DeleteReuseAndWalk) {
    cpod *pod = vull_create_pod(4);
    cpod_add_item(pod, 100, &A);
    int b = cpod_add_item(pod, 100, &B);
    cpod_add_item(pod, 100, &C);
    cpod_delete_item_soft(pod, b);
    EXPECT_EQ(cpod_get_item(pod, b, 0), nullptr);
    EXPECT_EQ(cpod_add_item(pod, 100, &D), 1); // the slot freed last is reused first
    EXPECT_EQ(cpod_first(pod), &D);
    // Walking from the newest: used is now {0, 2, 1}.
    std::vector<void *> seen;
    for (void *it = cpod_first(pod); it; it = cpod_next(pod, it)) seen.push_back(it);
    EXPECT_EQ(seen, (std::vector<void *>{&D, &C, &A}));
    expect_consistent(pod);

    // Deleting an empty slot, a slot out of range or a free one changes nothing.
    int count = pod->count;
    cpod_delete_item(pod, 7);
    cpod_delete_item(pod, -1);
    cpod_delete_item(pod, 99);
    EXPECT_EQ(pod->count, count);
    EXPECT_EQ(cpod_next(pod, &B), nullptr); // not in the container
    cpod_delete_item_soft(pod, 0);
    cpod_delete_item_soft(pod, 1);
    cpod_delete_item_soft(pod, 2);
    EXPECT_EQ(cpod_first(pod), nullptr);
    expect_consistent(pod);
    vull_destroy_pod(pod);
}

TEST(Cpod, SparseSlotsStayReachableAndFreedOnesDoNot) {
    cpod *pod = vull_create_pod(4);
    for (int i = 0; i < 3; i++) cpod_add_item(pod, CPOD_MEMORY, vull_calloc(8));
    cpod_delete_item(pod, 0); // destroys the block
    EXPECT_EQ(pod->count, 2);
    EXPECT_EQ(cpod_get_item(pod, 0, 0), nullptr); // freed slot: no dangling pointer
    EXPECT_EQ(pod->items[0], nullptr);
    EXPECT_NE(cpod_get_item(pod, 2, CPOD_MEMORY), nullptr); // live slot above count
    expect_consistent(pod);
    vull_destroy_pod(pod); // the two remaining blocks are released (leak check)
}

TEST(Cpod, DestroyByType) {
    static std::vector<std::pair<void *, int>> app_destroyed;
    app_destroyed.clear();
    vull_set_destroy_item_func([](void *item, int type) { app_destroyed.push_back({item, type}); });

    int live = vull_items_created;
    cpod *inner = vull_create_pod(1);
    cpod_add_item(inner, CPOD_MEMORY, vull_calloc(32));
    cpod_add_item(inner, CPOD_FILE, vull_create_buffer(16));
    cpod *outer = vull_create_pod(2);
    cpod_add_item(outer, CPOD_POD, inner);
    cpod_add_item(outer, CPOD_SOUND, vull_create_sound(100, 16));
    cpod_add_item(outer, CPOD_SYNTH, vull_create_synth(10));
    cpod_add_item(outer, CPOD_MODEL, vull_create_model());
    cpod_add_item(outer, CPOD_VOXMAP, vull_create_voxmap(2, 2, 2));
    cpod_add_item(outer, 50, &A);  // other: slot freed, nothing destroyed
    cpod_add_item(outer, 123, &B); // the application's
    cpod_add_item(outer, CPOD_TAKEN, &C);
    EXPECT_GT(vull_items_created, live + 2);
    vull_destroy_pod(outer);
    EXPECT_EQ(vull_items_created, live); // the nested pod and every typed record went with it
    ASSERT_EQ(app_destroyed.size(), 1u);
    EXPECT_EQ(app_destroyed[0].first, &B);
    EXPECT_EQ(app_destroyed[0].second, 123);
    vull_set_destroy_item_func(nullptr);

    // Without a hook, application items are dropped, not destroyed.
    cpod *pod = vull_create_pod(1);
    cpod_add_item(pod, 200, &A);
    vull_destroy_pod(pod);
    vull_destroy_pod(nullptr);
}

TEST(Cpod, BadAddsAreLoggedAndKept) {
    cpod *pod = vull_create_pod(2);
    int s = cpod_add_item(pod, CPOD_EMPTY, &A); // a caller bug: stored all the same
    EXPECT_EQ(s, 0);
    EXPECT_EQ(pod->count, 1);
    cpod_delete_item(pod, s); // a type-0 slot cannot be deleted
    EXPECT_EQ(pod->count, 1);
    EXPECT_EQ(cpod_add_item(pod, 100, nullptr), 1);
    cpod_clear(pod);
    EXPECT_EQ(pod->count, 0);
    expect_consistent(pod);
    for (int i = 0; i < pod->capacity; i++) EXPECT_EQ(pod->used[i], i);
    cpod_add_item(pod, CPOD_EMPTY, &A);
    vull_destroy_pod(pod); // logs the leftover slot, still releases everything
    EXPECT_EQ(cpod_add_item(nullptr, 100, &A), -1);
}

TEST(PeaPod, FixedElementsAndIndex) {
    int live = vull_items_created;
    cpod *pea = vull_create_pea_pod(4, 24);
    ASSERT_NE(pea, nullptr);
    EXPECT_EQ(vull_items_created, live + 1);
    std::vector<int> slots;
    for (int i = 0; i < 4; i++) slots.push_back(cpod_get_free_item(pea));
    EXPECT_EQ(slots, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(cpod_get_free_item(pea), -1);
    EXPECT_EQ(cpod_add_item(pea, 100, &A), -1);
    EXPECT_EQ(pea->count, 4);
    auto *e2 = static_cast<uint8_t *>(cpod_get_item(pea, 2, CPOD_TAKEN));
    EXPECT_EQ(e2, static_cast<uint8_t *>(pea->items[0]) + 48);
    EXPECT_EQ(cpod_get_item_index(pea, e2), 2);
    EXPECT_EQ(cpod_get_item_index(pea, e2 + 1), -1);    // not an element start
    EXPECT_EQ(cpod_get_item_index(pea, e2 + 1000), -1); // outside the block
    EXPECT_EQ(cpod_next(pea, cpod_first(pea)), pea->items[2]);

    // Deleting keeps the element where it is; the slot is reused.
    cpod_delete_item(pea, 1);
    EXPECT_EQ(pea->items[1], static_cast<uint8_t *>(pea->items[0]) + 24);
    EXPECT_EQ(cpod_get_free_item(pea), 1);
    cpod_clear(pea);
    EXPECT_EQ(pea->count, 0);
    EXPECT_EQ(pea->items[3], static_cast<uint8_t *>(pea->items[0]) + 72);
    vull_destroy_pod(pea);
    EXPECT_EQ(vull_items_created, live);

    // One element: the index needs no second element.
    cpod *one = vull_create_pea_pod(1, 8);
    EXPECT_EQ(cpod_get_free_item(one), 0);
    EXPECT_EQ(cpod_get_item_index(one, one->items[0]), 0);
    EXPECT_EQ(cpod_next(one, one->items[0]), nullptr);
    vull_destroy_pod(one);

    EXPECT_EQ(vull_create_pea_pod(0, 8), nullptr);
    EXPECT_EQ(vull_create_pea_pod(0x10000, 0x10000), nullptr); // 4 GiB
    EXPECT_EQ(vull_create_pea_pod(-1, 8), nullptr);
}

TEST(PodSet, InitAndClear) {
    int live = vull_items_created;
    cpod *set[CPOD_SET_SIZE];
    cpod_set_init(set);
    for (int i = 0; i < CPOD_SET_SIZE; i++) EXPECT_EQ(set[i], nullptr);
    set[0] = vull_create_pod(1);
    set[255] = vull_create_pod(1);
    cpod_add_item(set[255], CPOD_MEMORY, vull_calloc(4));
    cpod_set_clear(set);
    EXPECT_EQ(set[0], nullptr);
    EXPECT_EQ(set[255], nullptr);
    EXPECT_EQ(vull_items_created, live);
}
