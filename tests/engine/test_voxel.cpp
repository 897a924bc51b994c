// Voxel maps: addressing, clipping, the 3-D primitives and slices as bitmaps.
#include "engine/gfx.h"
#include "engine/vull.h"
#include "engine/voxel.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
struct voxmap_ptr {
    vull_voxmap *m;
    voxmap_ptr(int w, int h, int d) : m(vull_create_voxmap(w, h, d)) {}
    ~voxmap_ptr() { vull_destroy_voxmap(m); }
};
int count_set(const vull_voxmap *m) {
    int n = 0;
    for (int i = 0; i < m->width * m->height * m->depth; i++) n += m->voxels[i] != 0;
    return n;
}
} // namespace

TEST(Voxmap, CreateRefusesBadSizesAndCountsItems) {
    int live = vull_items_created;
    EXPECT_EQ(vull_create_voxmap(0, 4, 4), nullptr);
    EXPECT_EQ(vull_create_voxmap(4, -1, 4), nullptr);
    EXPECT_EQ(vull_create_voxmap(0x10000, 0x10000, 2), nullptr);
    EXPECT_EQ(vull_items_created, live);
    {
        voxmap_ptr v(3, 2, 4);
        ASSERT_NE(v.m, nullptr);
        EXPECT_EQ(vull_items_created, live + 1);
        EXPECT_EQ(v.m->slices[2]->rows[1], v.m->voxels + 2 * 6 + 3);
    }
    EXPECT_EQ(vull_items_created, live);
    EXPECT_EQ(vull_destroy_voxmap(nullptr), 0);
}

TEST(Voxmap, ReadingIgnoresTheClipBoxButWritingHonoursIt) {
    voxmap_ptr v(16, 16, 8);
    v.m->voxels[7 * 256] = 9;
    EXPECT_EQ(vull_getvoxel(v.m, 16, 0, 0), 0);
    EXPECT_EQ(vull_getvoxel(v.m, -1, 0, 0), 0);
    vull_set_voxmap_clip(v.m, 0, 0, 2, 100, 100, 4);
    EXPECT_EQ(vull_getvoxel(v.m, 0, 0, 7), 9);
    for (int z = 0; z < 8; z++) {
        const vull_bitmap *s = v.m->slices[z];
        bool open = z == 2 || z == 3;
        EXPECT_EQ(s->clip_x1, open ? 16 : 0) << z;
        EXPECT_EQ(s->clip_y1, open ? 16 : 0) << z;
    }
    vull_putvoxel(v.m, 1, 1, 5, 3);
    EXPECT_EQ(vull_getvoxel(v.m, 1, 1, 5), 0);
    vull_putvoxel(v.m, 1, 1, 3, 3);
    EXPECT_EQ(vull_getvoxel(v.m, 1, 1, 3), 3);
    // A z range far beyond the map visits only the slices that exist.
    vull_set_voxmap_clip(v.m, 0, 0, -2000000000, 4, 4, 2000000000);
    EXPECT_EQ(v.m->clip[4], 0);
    EXPECT_EQ(v.m->clip[5], 8);
    EXPECT_EQ(v.m->slices[7]->clip_x1, 4);
    vull_reset_voxmap_clip(v.m);
    EXPECT_EQ(v.m->slices[0]->clip_x1, 16);
}

TEST(Voxmap, LinesBoxesAndFills) {
    voxmap_ptr v(8, 8, 8);
    vull_line3d(v.m, 0, 0, 0, 3, 0, 0, 1);
    EXPECT_EQ(vull_getvoxel(v.m, 2, 0, 0), 1);
    EXPECT_EQ(vull_getvoxel(v.m, 3, 0, 0), 0);
    EXPECT_EQ(count_set(v.m), 3);
    vull_clear_voxmap(v.m);
    vull_line3d(v.m, 4, 4, 4, 4, 4, 4, 2);
    EXPECT_EQ(count_set(v.m), 1);
    // Only the steps inside the map are walked, with the same points as a full walk.
    vull_clear_voxmap(v.m);
    vull_line3d(v.m, -2000000000, 3, 1, 2000000000, 3, 1, 5);
    EXPECT_EQ(count_set(v.m), 8);
    vull_clear_voxmap(v.m);
    vull_line3d(v.m, 20, -10, 7, -13, 9, 0, 5);
    std::vector<uint8_t> clipped(v.m->voxels, v.m->voxels + 512);
    vull_clear_voxmap(v.m);
    for (int64_t i = 0, X = 20 << 16, Y = -10 << 16, Z = 7 << 16; i < 33; i++) { // the plain walk
        vull_putvoxel(v.m, (int)(X >> 16), (int)(Y >> 16), (int)(Z >> 16), 5);
        X += (-33 * 65536) / 33, Y += (19 * 65536) / 33, Z += (-7 * 65536) / 33;
    }
    EXPECT_EQ(std::vector<uint8_t>(v.m->voxels, v.m->voxels + 512), clipped);
    vull_clear_voxmap(v.m);
    vull_boxfill(v.m, 1, 1, 3, 2, 2, 3, 7);
    EXPECT_EQ(count_set(v.m), 4);
    EXPECT_EQ(vull_getvoxel(v.m, 2, 2, 3), 7);
    vull_clear_voxmap(v.m);
    vull_box(v.m, 0, 0, 0, 7, 7, 7, 1);
    EXPECT_EQ(vull_getvoxel(v.m, 0, 0, 0), 1);
    EXPECT_EQ(vull_getvoxel(v.m, 3, 3, 3), 0);
    vull_putpixel(v.m->slices[4], 2, 3, 6);
    EXPECT_EQ(vull_getvoxel(v.m, 2, 3, 4), 6);
}

TEST(Voxmap, DrawSkipsZeroAndBlitCopiesWithinTheClipRange) {
    voxmap_ptr src(2, 2, 2), dst(4, 4, 4);
    src.m->voxels[0] = 5; // (0,0,0); the rest is 0
    src.m->voxels[7] = 6; // (1,1,1)
    vull_clear_voxmap(dst.m);
    for (int i = 0; i < 64; i++) dst.m->voxels[i] = 1;
    vull_draw_voxmap(src.m, dst.m, 1, 1, 1);
    EXPECT_EQ(vull_getvoxel(dst.m, 1, 1, 1), 5);
    EXPECT_EQ(vull_getvoxel(dst.m, 2, 1, 1), 1); // transparent
    EXPECT_EQ(vull_getvoxel(dst.m, 2, 2, 2), 6);
    vull_set_voxmap_clip(dst.m, 0, 0, 0, 4, 4, 2);
    vull_blit_voxmap(src.m, dst.m, 0, 0, 1);
    EXPECT_EQ(vull_getvoxel(dst.m, 1, 0, 1), 0); // copied, zero included
    EXPECT_EQ(vull_getvoxel(dst.m, 1, 1, 2), 1); // level 2 is outside the clip range
    vull_draw_voxmap(src.m, dst.m, 0, 0, 100);
    vull_draw_voxmap_matrix(src.m, dst.m, 0);
}
