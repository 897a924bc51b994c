// Voxel maps.
//
// The record and its slice table are one block; each slice is an 8-bit bitmap
// record (with its row table) that points into the shared voxel block, owns no
// pixels and is not counted as a live item.
#include "engine/voxel.h"
#include "engine/gfx.h"
#include "engine/mem.h"
#include "engine/vull.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

static vull_bitmap *make_slice(int width, int height, uint8_t *pixels) {
    int bytes;
    if (!vull_checked_size(height, (int64_t)sizeof(uint8_t *), (int64_t)sizeof(vull_bitmap),
                           &bytes))
        return nullptr;
    auto *s = static_cast<vull_bitmap *>(vull_calloc(bytes));
    if (!s) return nullptr;
    s->width = width;
    s->height = height;
    s->bpp = 8;
    s->pixels = pixels;
    s->rows = reinterpret_cast<uint8_t **>(s + 1);
    for (int y = 0; y < height; y++) s->rows[y] = pixels + (size_t)y * (size_t)width;
    s->clip_x1 = width;
    s->clip_y1 = height;
    return s;
}

vull_voxmap *vull_create_voxmap(int width, int height, int depth) {
    int level, voxel_bytes, record_bytes;
    if (width < 1 || height < 1 || depth < 1) return nullptr;
    if (!vull_checked_size(width, height, 0, &level) ||
        !vull_checked_size(level, depth, 0, &voxel_bytes) ||
        !vull_checked_size(depth, (int64_t)sizeof(vull_bitmap *), (int64_t)sizeof(vull_voxmap),
                           &record_bytes))
        return nullptr;
    auto *map = static_cast<vull_voxmap *>(vull_calloc(record_bytes));
    if (!map) return nullptr;
    map->voxels = static_cast<uint8_t *>(vull_calloc(voxel_bytes));
    if (!map->voxels) {
        vull_free(map);
        return nullptr;
    }
    map->width = width;
    map->height = height;
    map->depth = depth;
    map->slices = reinterpret_cast<vull_bitmap **>(map + 1);
    for (int z = 0; z < depth; z++) {
        map->slices[z] = make_slice(width, height, map->voxels + (size_t)z * (size_t)level);
        if (!map->slices[z]) {
            for (int i = 0; i < z; i++) vull_free(map->slices[i]);
            vull_free(map->voxels);
            vull_free(map);
            return nullptr;
        }
    }
    vull_reset_voxmap_clip(map);
    vull_items_created++;
    return map;
}

int vull_destroy_voxmap(vull_voxmap *map) {
    if (!map) return 0;
    vull_free(map->voxels);
    for (int z = 0; z < map->depth; z++) vull_free(map->slices[z]);
    vull_free(map);
    vull_items_created--;
    return 0;
}

void vull_clear_voxmap(vull_voxmap *map) {
    if (!map) return;
    std::memset(map->voxels, 0, (size_t)map->width * (size_t)map->height * (size_t)map->depth);
}

static size_t voxel_offset(const vull_voxmap *m, int x, int y, int z) {
    return ((size_t)z * (size_t)m->height + (size_t)y) * (size_t)m->width + (size_t)x;
}

static bool in_clip(const vull_voxmap *m, int64_t x, int64_t y, int64_t z) {
    return x >= m->clip[0] && x < m->clip[1] && y >= m->clip[2] && y < m->clip[3] &&
           z >= m->clip[4] && z < m->clip[5];
}

void vull_putvoxel(vull_voxmap *map, int x, int y, int z, int value) {
    if (map && in_clip(map, x, y, z)) map->voxels[voxel_offset(map, x, y, z)] = (uint8_t)value;
}

int vull_getvoxel(const vull_voxmap *map, int x, int y, int z) {
    if (!map || x < 0 || y < 0 || z < 0 || x >= map->width || y >= map->height || z >= map->depth)
        return 0;
    return map->voxels[voxel_offset(map, x, y, z)];
}

void vull_set_voxmap_clip(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1) {
    if (!map) return;
    map->clip[0] = std::max(0, x0);
    map->clip[1] = std::min(map->width, x1);
    map->clip[2] = std::max(0, y0);
    map->clip[3] = std::min(map->height, y1);
    map->clip[4] = std::max(0, z0);
    map->clip[5] = std::min(map->depth, z1);
    // Only the slices that exist are visited, whatever the z range asked for.
    for (int z = 0; z < map->depth; z++) {
        vull_bitmap *s = map->slices[z];
        if (z >= z0 && z < z1) {
            s->clip_x0 = std::max(0, x0);
            s->clip_x1 = std::min(x1, s->width);
            s->clip_y0 = std::max(0, y0);
            s->clip_y1 = std::min(y1, s->height);
        } else {
            s->clip_x0 = s->clip_x1 = s->clip_y0 = s->clip_y1 = 0;
        }
    }
}

void vull_reset_voxmap_clip(vull_voxmap *map) {
    if (!map) return;
    map->clip[0] = 0;
    map->clip[1] = map->width;
    map->clip[2] = 0;
    map->clip[3] = map->height;
    map->clip[4] = 0;
    map->clip[5] = map->depth;
    for (int z = 0; z < map->depth; z++) {
        vull_bitmap *s = map->slices[z];
        s->clip_x0 = s->clip_y0 = 0;
        s->clip_x1 = s->width;
        s->clip_y1 = s->height;
    }
}

void vull_boxfill(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1, int value) {
    if (!map) return;
    int za = std::max(map->clip[4], std::min(z0, z1));
    int zb = std::min(std::max(z0, z1), map->clip[5] - 1);
    for (int z = za; z <= zb; z++) vull_rectfill(map->slices[z], x0, y0, x1, y1, (uint32_t)value);
}

static int64_t floor_div(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Narrows [*first, *last] to the steps i at which (start + i * step) >> 16 lies in [lo, hi).
static void clip_steps(int64_t start, int64_t step, int64_t lo, int64_t hi, int64_t *first,
                       int64_t *last) {
    int64_t a = lo * 65536 - start, b = hi * 65536 - 1 - start; // need a <= i * step <= b
    if (step == 0) {
        if (a > 0 || b < 0) *last = *first - 1;
        return;
    }
    if (step < 0) {
        std::swap(a, b);
        a = -a, b = -b, step = -step;
    }
    *first = std::max(*first, -floor_div(-a, step));
    *last = std::min(*last, floor_div(b, step));
}

void vull_line3d(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1, int value) {
    int64_t ex = (int64_t)x1 - x0, ey = (int64_t)y1 - y0, ez = (int64_t)z1 - z0;
    int64_t n = std::max<int64_t>({ex < 0 ? -ex : ex, ey < 0 ? -ey : ey, ez < 0 ? -ez : ez, 1});
    // 16.16 steps; 64-bit so far-apart end points cannot overflow.
    int64_t dx = ex * 65536 / n, dy = ey * 65536 / n, dz = ez * 65536 / n;
    if (!map) return;
    int64_t X = (int64_t)x0 * 65536, Y = (int64_t)y0 * 65536, Z = (int64_t)z0 * 65536;
    // Only the steps that can land inside the clip box are walked, so a line with
    // far-away ends costs no more than one across the map.
    int64_t first = 0, last = n - 1;
    clip_steps(X, dx, map->clip[0], map->clip[1], &first, &last);
    clip_steps(Y, dy, map->clip[2], map->clip[3], &first, &last);
    clip_steps(Z, dz, map->clip[4], map->clip[5], &first, &last);
    for (int64_t i = first; i <= last; i++) {
        int64_t px = (X + i * dx) >> 16, py = (Y + i * dy) >> 16, pz = (Z + i * dz) >> 16;
        if (in_clip(map, px, py, pz))
            map->voxels[voxel_offset(map, (int)px, (int)py, (int)pz)] = (uint8_t)value;
    }
}

void vull_box(vull_voxmap *map, int x0, int y0, int z0, int x1, int y1, int z1, int value) {
    if (!map) return;
    for (int z : {z0, z1}) {
        vull_line3d(map, x0, y0, z, x1, y0, z, value);
        vull_line3d(map, x1, y0, z, x1, y1, z, value);
        vull_line3d(map, x1, y1, z, x0, y1, z, value);
        vull_line3d(map, x0, y1, z, x0, y0, z, value);
    }
    vull_line3d(map, x0, y0, z0, x0, y0, z1, value);
    vull_line3d(map, x1, y0, z0, x1, y0, z1, value);
    vull_line3d(map, x1, y1, z0, x1, y1, z1, value);
    vull_line3d(map, x0, y1, z0, x0, y1, z1, value);
}

// Visits the source slices whose target level lies inside the destination's clip z range.
template <typename Fn>
static void each_target_slice(const vull_voxmap *src, vull_voxmap *dst, int z, Fn fn) {
    if (!src || !dst) return;
    if ((int64_t)z + src->depth < dst->clip[4] || z >= dst->clip[5]) return;
    for (int i = 0; i < src->depth; i++) {
        int64_t level = (int64_t)z + i;
        if (level < dst->clip[4] || level >= dst->clip[5]) continue;
        fn(src->slices[i], dst->slices[level]);
    }
}

void vull_draw_voxmap(const vull_voxmap *src, vull_voxmap *dst, int x, int y, int z) {
    each_target_slice(src, dst, z, [&](vull_bitmap *s, vull_bitmap *d) {
        vull_draw_sprite(s, d, 0, 0, x, y, std::min(src->width, d->width),
                         std::min(src->height, d->height));
    });
}

void vull_blit_voxmap(const vull_voxmap *src, vull_voxmap *dst, int x, int y, int z) {
    each_target_slice(src, dst, z, [&](vull_bitmap *s, vull_bitmap *d) {
        vull_blit(s, d, 0, 0, x, y, src->width, src->height);
    });
}

void vull_draw_voxmap_matrix(const vull_voxmap *, vull_voxmap *, int n) {
    int step = n != 0 ? 0x10000 / n : 0;
    (void)step;
}
