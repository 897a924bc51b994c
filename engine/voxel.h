// Voxel maps: a box of byte voxels that is also a stack of 8-bit slice bitmaps,
// one per z level, so the 2-D drawing routines draw into a slice directly.
#pragma once
#include <cstdint>

struct vull_bitmap;

struct vull_voxmap {
    int32_t width;        // x extent, at least 1
    int32_t height;       // y extent, at least 1
    int32_t depth;        // z extent (number of slices), at least 1
    uint8_t *voxels;      // width x height x depth bytes; (x, y, z) at z*width*height + y*width + x
    vull_bitmap **slices; // depth slice records, in the same block directly behind this record
    int32_t tag;          // free for the owner; 0 when created, kept by POD files
    int32_t clip[6];      // clip box x0, x1, y0, y1, z0, z1 (lower inclusive, upper exclusive)
};

// Null for a size below 1 or a voxel block above the allocator's cap.
vull_voxmap *vull_create_voxmap(int width, int height, int depth);
int vull_destroy_voxmap(vull_voxmap *map); // accepts null; 0
void vull_clear_voxmap(vull_voxmap *map);
void vull_putvoxel(vull_voxmap *map, int x, int y, int z, int value); // inside the clip box only
int vull_getvoxel(const vull_voxmap *map, int x, int y, int z);       // 0 outside the volume
void vull_set_voxmap_clip(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1);
void vull_reset_voxmap_clip(vull_voxmap *map);
void vull_boxfill(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1, int value);
void vull_line3d(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1, int value);
void vull_box(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1, int value);
void vull_draw_voxmap(const vull_voxmap *src, vull_voxmap *dst, int x, int y,
                      int z); // voxel 0 transparent
void vull_blit_voxmap(const vull_voxmap *src, vull_voxmap *dst, int x, int y, int z); // opaque
void vull_draw_voxmap_matrix(const vull_voxmap *src, vull_voxmap *dst, int n); // draws nothing
