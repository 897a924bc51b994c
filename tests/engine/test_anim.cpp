// Animation channels, actors and bone posing.
#include "engine/anim.h"
#include "engine/model.h"
#include "engine/vmath.h"
#include "engine/vull.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>

namespace {
canim_channel *channel_with(std::initializer_list<int> times, std::initializer_list<float> values,
                            int size = 12) {
    canim_channel *ch = vull_create_anim_channel(size);
    auto v = values.begin();
    for (int t : times) {
        int i = canim_channel_insert_state(ch, t);
        float s[4] = {};
        for (int k = 0; k < size / 4 && k < 4 && v != values.end(); k++) s[k] = *v++;
        std::memcpy(ch->states + (size_t)i * size, s, (size_t)std::min(size, 16));
    }
    return ch;
}
} // namespace

TEST(Anim, KeyframeSearchAndInsertion) {
    canim_channel *ch = channel_with({0, 10, 20}, {});
    int expect[][2] = {{-5, 0}, {0, 0}, {9, 0}, {10, 1}, {19, 1}, {20, 2}, {100, 2}};
    for (auto &e : expect) EXPECT_EQ(canim_channel_index_for_t(ch, e[0]), e[1]) << e[0];
    EXPECT_EQ(canim_channel_insert_state(ch, 0), 1);
    EXPECT_EQ(canim_channel_insert_state(ch, -3), 0);
    EXPECT_EQ(ch->num_states, 5);
    EXPECT_EQ(ch->times[0], -3);
    canim_channel *empty = vull_create_anim_channel(12);
    EXPECT_EQ(canim_channel_insert_state(empty, 50), 0);
    // Deleting: past the end removes the last; an empty channel stays empty.
    canim_channel_delete(empty, 9);
    EXPECT_EQ(empty->num_states, 0);
    canim_channel_delete(empty, 0);
    EXPECT_EQ(empty->num_states, 0);
    canim_channel_delete(ch, -1);
    EXPECT_EQ(ch->num_states, 5);
    canim_channel_clear(ch);
    EXPECT_EQ(ch->num_states, 0);
    EXPECT_EQ(ch->max_states, 5);
    vull_destroy_anim_channel(ch);
    vull_destroy_anim_channel(empty);
}

TEST(Anim, LinearAndCosineEvaluation) {
    canim_channel *ch = channel_with({0, 10}, {0, 0, 0, 10, 20, 30});
    float out[3];
    canim_channel_evaluate(ch, 5, out);
    EXPECT_FLOAT_EQ(out[0], 5);
    EXPECT_FLOAT_EQ(out[1], 10);
    EXPECT_FLOAT_EQ(out[2], 15);
    canim_channel_evaluate(ch, 100, out);
    EXPECT_FLOAT_EQ(out[2], 30);
    canim_channel *three = channel_with({0, 10, 20}, {0, 0, 0, 10, 10, 10, 40, 40, 40});
    canim_channel_evaluate_nonlinear(three, 10, out);
    EXPECT_NEAR(out[0], 10, 1e-4);
    canim_channel_evaluate_nonlinear(three, 15, out);
    EXPECT_GT(out[0], 10);
    EXPECT_LT(out[0], 40);
    // Hostile times far apart must not overflow the differences.
    canim_channel *wide = channel_with({-2000000000, 2000000000}, {0, 0, 0, 1, 1, 1});
    canim_channel_evaluate(wide, 0, out);
    EXPECT_NEAR(out[0], 0.5f, 1e-3);
    vull_destroy_anim_channel(ch);
    vull_destroy_anim_channel(three);
    vull_destroy_anim_channel(wide);
}

TEST(Anim, ActorsEventsAndBones) {
    int live = vull_items_created;
    vull_anim *a = vull_create_anim();
    EXPECT_EQ(canim_new_actor(a), 0);
    EXPECT_EQ(canim_new_actor(a), 1);
    EXPECT_STREQ(a->actors[1].name, "actor1");
    EXPECT_EQ(a->actors[1].word[3], -1);
    float x[3], y[3], z[3];
    cactor_evaluate(&a->actors[0], 5, x, y, z);
    EXPECT_EQ(x[0], 1.0f);
    EXPECT_EQ(y[1], 0.0f);
    cactor *act = &a->actors[0];
    int k = canim_channel_insert_state(act->events, 0);
    int32_t ev[6] = {3, 5, 0, 0, 0, 0};
    std::memcpy(act->events->states + k * 24, ev, sizeof ev);
    float bones[4] = {-1, -1, -1, -1};
    cactor_evaluate_bones(act, 0, bones);
    EXPECT_EQ(bones[0], -1.0f); // no state of code 2
    EXPECT_EQ(canim_channel_index_for_command(act->events, 0, 3), 0);
    EXPECT_EQ(canim_channel_index_for_command(act->events, 0, 2), -1);
    ev[0] = 2;
    k = canim_channel_insert_state(act->events, 10);
    float tail[3] = {7, 8, 9};
    std::memcpy(ev + 3, tail, sizeof tail);
    std::memcpy(act->events->states + k * 24, ev, sizeof ev);
    cactor_evaluate_bones(act, 0, bones);
    EXPECT_EQ(bones[0], 7.0f);
    EXPECT_EQ(bones[3], 5.0f);
    canim_delete_actor(a, 0);
    EXPECT_EQ(a->num_actors, 1);
    EXPECT_STREQ(a->actors[0].name, "actor1");
    canim_delete_actor(a, 5);
    // Several at once: numbered on from the actors there, each with its own channels.
    EXPECT_EQ(canim_new_actors(a, 3), 1);
    EXPECT_EQ(a->num_actors, 4);
    EXPECT_STREQ(a->actors[3].name, "actor3");
    EXPECT_NE(a->actors[2].events, a->actors[3].events);
    EXPECT_EQ(canim_new_actors(a, 0), -1);
    vull_destroy_anim(a);
    EXPECT_EQ(vull_items_created, live);
}

TEST(Anim, RestPoseMatricesAndSkinning) {
    cmodel *m = vull_create_model();
    cmodel_new_vertex(m, 1, 1, 1);
    cmodel_new_vertex(m, 1, 3, 1); // vertical bone
    cmodel_new_vertex(m, 3, 3, 1);
    int b0 = cmodel_new_polygon(m, 2), b1 = cmodel_new_polygon(m, 2);
    m->polygons[b0].index[0] = 0;
    m->polygons[b0].index[1] = 1;
    m->polygons[b1].index[0] = 1;
    m->polygons[b1].index[1] = 2;
    m->bone_vertices[2].bone_a = 1;
    cmodel_decorate(m);
    float pose[12];
    cmodel_calculate_bone_vertices(m, pose);
    EXPECT_FLOAT_EQ(pose[1], (float)(M_PI / 2));
    EXPECT_FLOAT_EQ(pose[0], std::atan2(0.0f, 0.0f));
    EXPECT_FLOAT_EQ(pose[3], 2.0f);
    EXPECT_FLOAT_EQ(pose[7], 2.0f);
    int32_t root;
    std::memcpy(&root, &pose[11], 4);
    EXPECT_EQ(root, 0);
    // The rest pose reproduces every vertex.
    float out[9];
    cmodel_evaluate_bone_vertices(m, out);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(out[i], m->vertices[i], 1e-4) << i;
    // A child bone starts at its parent's end.
    EXPECT_NEAR(m->bone_matrices[1].m[10], 3.0f, 1e-5);
    // Root entries naming a bone that does not exist leave the pose unshifted.
    int32_t bad = -7;
    std::memcpy(&pose[11], &bad, 4);
    cmodel_calculate_matrices(m, pose);
    EXPECT_NEAR(m->bone_matrices[0].m[10], 0.0f, 1e-5);
    vull_destroy_model(m);
}
