// Polygon models: growth, polygon storage, bones and the derived data.
#include "engine/anim.h"
#include "engine/model.h"
#include "engine/vull.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {
struct model_ptr {
    cmodel *m = vull_create_model();
    ~model_ptr() { vull_destroy_model(m); }
};
} // namespace

TEST(Model, GrowthRuleAndMaterialDefaults) {
    model_ptr p;
    cmodel_max_vertices(p.m, 8);
    EXPECT_EQ(p.m->max_vertices, 8);
    cmodel_max_vertices(p.m, 9);
    EXPECT_EQ(p.m->max_vertices, 11);
    cmodel_max_vertices(p.m, 20);
    EXPECT_EQ(p.m->max_vertices, 20);
    cmodel_max_polygons(p.m, 3);
    EXPECT_EQ(p.m->polygons[2].count, 4);
    EXPECT_EQ(p.m->polygons[2].normal[2], 1.0f);
    vull_material *mat = vull_create_material();
    uint32_t c[2];
    std::memcpy(c, mat->bytes + 32, 8);
    EXPECT_EQ(c[0], 0xFF336699u);
    EXPECT_EQ(c[1], 0xFF606060u);
    vull_destroy_material(mat);
}

TEST(Model, PolygonStorageMovesOutOfLineAndSurvivesGrowth) {
    model_ptr p;
    int a = cmodel_new_polygon(p.m, 3);
    int b = cmodel_new_polygon(p.m, 5);
    cpoly *q = &p.m->polygons[b];
    EXPECT_EQ(q->capacity, 6);
    EXPECT_NE(q->index, q->inline_index);
    cpoly_set_num_vertices(q, 3);
    EXPECT_EQ(q->capacity, 6);
    EXPECT_EQ(q->count, 3);
    cpoly_set_num_vertices(q, -4);
    EXPECT_EQ(q->count, 0);
    p.m->polygons[a].index[2] = 77;
    for (int i = 0; i < 40; i++) cmodel_new_triangle(p.m, 0, 0, 0); // the array moves
    EXPECT_EQ(p.m->polygons[a].index, p.m->polygons[a].inline_index);
    EXPECT_EQ(p.m->polygons[a].index[2], 77);
    q = &p.m->polygons[b];
    EXPECT_EQ(q->capacity, 6);
    cpoly *copy = vull_create_poly(0), *deep = vull_create_poly(0);
    cpoly_set_num_vertices(q, 7);
    q->index[6] = 5;
    vull_destroy_cpoly(deep);
    deep = vull_create_poly(0);
    cpoly_copy(deep, q, 0);
    EXPECT_NE(deep->index, q->index);
    EXPECT_EQ(deep->index[6], 5);
    cpoly_copy(copy, &p.m->polygons[a], 1);
    EXPECT_EQ(copy->index, copy->inline_index);
    vull_destroy_cpoly(copy);
    vull_destroy_cpoly(deep);
}

TEST(Model, BonesGoToTheFrontAndDeleteKeepsThemThere) {
    model_ptr p;
    for (int i = 0; i < 4; i++) cmodel_new_vertex(p.m, (float)i, 0, 0);
    int p0 = cmodel_new_triangle(p.m, 0, 1, 2);
    cmodel_new_polygon(p.m, 6);
    p.m->polygons[1].index[5] = 3;
    EXPECT_EQ(p0, 0);
    EXPECT_EQ(cmodel_new_polygon(p.m, 2), 0);
    EXPECT_EQ(p.m->num_bones, 1);
    EXPECT_EQ(p.m->polygons[2].count, 3); // P0 moved to the end
    EXPECT_EQ(p.m->polygons[2].index[2], 2);
    EXPECT_EQ(p.m->polygons[1].index[5], 3);
    ASSERT_NE(p.m->bone_vertices, nullptr);
    EXPECT_EQ(p.m->bone_vertices[3].weight, 1.0f);
    cmodel_delete_polygon(p.m, 0);
    EXPECT_EQ(p.m->num_bones, 0);
    EXPECT_EQ(p.m->num_polygons, 2);
    EXPECT_EQ(p.m->polygons[0].count, 3);
    // A model of bones only: the new bone goes straight to index B.
    model_ptr q;
    EXPECT_EQ(cmodel_new_polygon(q.m, 2), 0);
    EXPECT_EQ(cmodel_new_polygon(q.m, 2), 1);
    EXPECT_EQ(q.m->num_polygons, 2);
}

TEST(Model, DeleteVertexRenumbers) {
    model_ptr p;
    for (int i = 0; i < 5; i++) cmodel_new_vertex(p.m, (float)i, 0, 0);
    cmodel_new_triangle(p.m, 2, 4, 1);
    cmodel_delete_vertex(p.m, 2);
    EXPECT_EQ(p.m->num_vertices, 4);
    EXPECT_EQ(p.m->vertices[6], 4.0f);
    EXPECT_EQ(p.m->polygons[0].index[0], -1);
    EXPECT_EQ(p.m->polygons[0].index[1], 2);
    cmodel_calculate_vertex_normals(p.m); // a -1 index is stepped over
}

TEST(Model, NormalsParentsAndOrder) {
    model_ptr p;
    cmodel_new_vertex(p.m, 0, 0, 0);
    cmodel_new_vertex(p.m, 1, 0, 0);
    cmodel_new_vertex(p.m, 0, 1, 0);
    int t = cmodel_new_triangle(p.m, 0, 1, 2);
    int b1 = cmodel_new_polygon(p.m, 2), b0;
    (void)t;
    (void)b1;
    b0 = cmodel_new_polygon(p.m, 2);
    // bone 0 starts where bone 1 ends
    p.m->polygons[0].index[0] = 1;
    p.m->polygons[0].index[1] = 2;
    p.m->polygons[1].index[0] = 0;
    p.m->polygons[1].index[1] = 1;
    (void)b0;
    cmodel_decorate(p.m);
    EXPECT_EQ(p.m->bone_parent[0], 1);
    EXPECT_EQ(p.m->bone_parent[1], -1);
    EXPECT_EQ(p.m->bone_order[0] & 0x7FFF, 1);
    EXPECT_EQ(p.m->bone_order[1] & 0x7FFF, 0);
    EXPECT_EQ(p.m->num_ordered, 2);
    EXPECT_EQ(p.m->bone_data_size, 16 * 2 + 16);
    EXPECT_EQ(p.m->polygons[0].normal[1], 1.0f); // bones face up
    const cpoly &tri = p.m->polygons[2];
    EXPECT_NEAR(std::fabs(tri.normal[2]), 1.0f, 1e-6);
    // A parent cycle leaves both bones unplaced, and posing still stays in bounds.
    p.m->polygons[1].index[0] = 2;
    cmodel_decorate(p.m);
    EXPECT_EQ(p.m->num_ordered, 0);
    float pose[12], out[9];
    cmodel_calculate_bone_vertices(p.m, pose);
    cmodel_calculate_matrices(p.m, pose);
    cmodel_evaluate_bone_vertices(p.m, out);
}

// The passes exactly as described: parents by a scan, then repeated passes over the bones.
static void reference_parents(const cmodel *m, std::vector<int32_t> &parent,
                              std::vector<int32_t> &order, int *placed) {
    int nb = m->num_bones;
    parent.assign((size_t)nb, -1);
    order.assign((size_t)nb, CMODEL_UNPLACED);
    for (int b = 0; b < nb; b++)
        for (int k = 0; k < nb; k++)
            if (m->polygons[k].index[1] == m->polygons[b].index[0]) parent[(size_t)b] = k;
    *placed = 0;
    for (bool progress = true; progress;) {
        progress = false;
        for (int j = 0; j < nb; j++) {
            if (!(order[(size_t)j] & CMODEL_UNPLACED)) continue;
            int p = parent[(size_t)j];
            if (p >= 0 && (order[(size_t)p] & CMODEL_UNPLACED)) continue;
            order[(size_t)(*placed)++] |= j;
            order[(size_t)j] &= ~CMODEL_UNPLACED;
            progress = true;
        }
    }
}

TEST(Model, BoneOrderMatchesThePassesOnRandomSkeletons) {
    // Few joints for many bones, so chains, forks, self-parents and cycles all turn up.
    std::mt19937 rng(1208);
    for (int round = 0; round < 300; round++) {
        model_ptr p;
        int joints = 2 + (int)(rng() % 12), bones = 1 + (int)(rng() % 40);
        for (int v = 0; v < joints; v++) cmodel_new_vertex(p.m, (float)v, (float)(v * v), 0);
        for (int b = 0; b < bones; b++) {
            int k = cmodel_new_polygon(p.m, 2);
            cpoly *bone = &p.m->polygons[k];
            bone->index[0] = (int)(rng() % joints);
            bone->index[1] = (int)(rng() % joints);
        }
        cmodel_calculate_bone_parents(p.m);
        std::vector<int32_t> parent, order;
        int placed;
        reference_parents(p.m, parent, order, &placed);
        ASSERT_EQ(p.m->num_ordered, placed) << "round " << round;
        EXPECT_EQ(std::vector<int32_t>(p.m->bone_parent, p.m->bone_parent + bones), parent)
            << "round " << round;
        EXPECT_EQ(std::vector<int32_t>(p.m->bone_order, p.m->bone_order + bones), order)
            << "round " << round;
    }
}
