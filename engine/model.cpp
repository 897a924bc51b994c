// Polygon models and materials.
//
// Polygons keep up to four vertices in inline arrays; whether the arrays are
// inline is decided by the capacity alone, so every move of a polygon record
// re-points an inline polygon at its own storage.
#include "engine/model.h"
#include "engine/anim.h"
#include "engine/mem.h"
#include "engine/vmath.h"
#include "engine/vull.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

static void assertion_failed(const char *what) {
    char line[128];
    std::snprintf(line, sizeof line, "\nAssertion failed: %s\n", what);
    vull_debug(line);
}

/*
** Polygons
*/

static void poly_init(cpoly *p) {
    std::memset(p, 0, sizeof *p);
    p->index = p->inline_index;
    p->uv = p->inline_uv;
    p->count = 4;
    p->capacity = 4;
    p->normal[2] = 1.0f;
}

static void poly_free_arrays(cpoly *p) {
    if (p->capacity > 4) {
        vull_free(p->index);
        vull_free(p->uv);
    }
    p->index = p->inline_index;
    p->uv = p->inline_uv;
    p->capacity = 4;
}

// Points an inline polygon at its own storage again after its record moved.
static void poly_repoint(cpoly *p) {
    if (p->capacity <= 4) {
        p->index = p->inline_index;
        p->uv = p->inline_uv;
    }
}

// Moves a record (its arrays go with it).
static void poly_move(cpoly *dst, const cpoly *src) {
    if (dst == src) return;
    std::memcpy(dst, src, sizeof *dst);
    poly_repoint(dst);
}

static int round_even(int n) { return (n + 1) & ~1; }

void cpoly_set_num_vertices(cpoly *p, int n) {
    if (!p) return;
    if (n < 0) n = 0;
    if (n > CPOLY_MAX_VERTICES) n = CPOLY_MAX_VERTICES;
    int c = round_even(n);
    int have = p->capacity > 4 ? p->capacity : 4;
    if (c > have) {
        auto *index = static_cast<int32_t *>(vull_calloc(c * (int)sizeof(int32_t)));
        auto *uv = static_cast<float *>(vull_calloc(c * 2 * (int)sizeof(float)));
        if (!index || !uv) {
            vull_free(index);
            vull_free(uv);
            assertion_failed("Could not allocate poly");
            return;
        }
        int keep = p->capacity < c ? p->capacity : c;
        std::memcpy(index, p->index, sizeof(int32_t) * (size_t)keep);
        std::memcpy(uv, p->uv, sizeof(float) * 2 * (size_t)keep);
        poly_free_arrays(p);
        p->index = index;
        p->uv = uv;
        p->capacity = (int16_t)c;
    }
    for (int i = p->count < 0 ? 0 : p->count; i < n; i++) {
        p->index[i] = 0;
        p->uv[2 * i] = p->uv[2 * i + 1] = 0.0f;
    }
    p->count = (int16_t)n;
}

cpoly *vull_create_poly(int n) {
    auto *p = static_cast<cpoly *>(vull_malloc((int)sizeof(cpoly)));
    if (!p) return nullptr;
    poly_init(p);
    p->count = 0;
    cpoly_set_num_vertices(p, n);
    vull_items_created++;
    return p;
}

void vull_destroy_cpoly(cpoly *p) {
    if (!p) return;
    poly_free_arrays(p);
    vull_free(p);
    vull_items_created--;
}

void cpoly_copy(cpoly *dst, const cpoly *src, int share) {
    if (!dst || !src || dst == src) return;
    std::memcpy(dst, src, sizeof *dst);
    if (src->capacity <= 4) {
        dst->index = dst->inline_index;
        dst->uv = dst->inline_uv;
        return;
    }
    if (share) return;
    int n = src->count < 0 ? 0 : src->count;
    int c = round_even(n);
    if (c <= 4) {
        dst->capacity = 4;
        dst->index = dst->inline_index;
        dst->uv = dst->inline_uv;
    } else {
        dst->index = static_cast<int32_t *>(vull_calloc(c * (int)sizeof(int32_t)));
        dst->uv = static_cast<float *>(vull_calloc(c * 2 * (int)sizeof(float)));
        if (!dst->index || !dst->uv) {
            vull_free(dst->index);
            vull_free(dst->uv);
            assertion_failed("Could not allocate poly");
            dst->index = dst->inline_index;
            dst->uv = dst->inline_uv;
            dst->capacity = 4;
            dst->count = 0;
            return;
        }
        dst->capacity = (int16_t)c;
    }
    std::memcpy(dst->index, src->index, sizeof(int32_t) * (size_t)n);
    std::memcpy(dst->uv, src->uv, sizeof(float) * 2 * (size_t)n);
}

/*
** Models
*/

cmodel *vull_create_model() {
    auto *m = static_cast<cmodel *>(vull_calloc((int)sizeof(cmodel)));
    if (m) vull_items_created++;
    return m;
}

void vull_destroy_model(cmodel *m) {
    if (!m) return;
    for (int i = 0; i < m->max_polygons; i++) poly_free_arrays(&m->polygons[i]);
    vull_free(m->vertices);
    vull_free(m->vertex_normals);
    vull_free(m->polygons);
    vull_free(m->bone_vertices);
    vull_free(m->bone_parent);
    vull_free(m->bone_order);
    vull_free(m->bone_matrices);
    vull_free(m);
    vull_items_created--;
}

vull_material *vull_create_material() {
    auto *mat = static_cast<vull_material *>(vull_calloc((int)sizeof(vull_material)));
    if (!mat) return nullptr;
    const uint32_t colours[2] = {0xFF336699u, 0xFF606060u};
    std::memcpy(mat->bytes + 32, colours, sizeof colours);
    vull_items_created++;
    return mat;
}

void vull_destroy_material(vull_material *mat) {
    if (!mat) return;
    vull_free(mat);
    vull_items_created--;
}

static int64_t grown_capacity(int64_t capacity, int64_t n) {
    return n == capacity + 1 ? n * 5 / 4 : n;
}

static void init_bone_vertices(cmodel_bone_vertex *bv, int from, int to) {
    for (int i = from; i < to; i++) {
        std::memset(&bv[i], 0, sizeof bv[i]);
        bv[i].weight = 1.0f;
    }
}

int cmodel_reserve_bone_vertices(cmodel *m, int n) {
    if (!m) return -1;
    if (n <= m->bone_vertex_slots) return 0;
    int bytes;
    if (!vull_checked_size(n, (int64_t)sizeof(cmodel_bone_vertex), 0, &bytes)) return -1;
    auto *bv = static_cast<cmodel_bone_vertex *>(vull_realloc(m->bone_vertices, bytes));
    if (!bv) return -1;
    init_bone_vertices(bv, m->bone_vertex_slots, n);
    m->bone_vertices = bv;
    m->bone_vertex_slots = n;
    return 0;
}

void cmodel_max_vertices(cmodel *m, int n) {
    if (!m) return;
    if (m->num_bones > 0 && !m->bone_vertices && m->max_vertices > 0 &&
        cmodel_reserve_bone_vertices(m, m->max_vertices) != 0)
        assertion_failed("Could not allocate bone_vertex");
    if (n <= m->max_vertices) return;
    int64_t cap = grown_capacity(m->max_vertices, n);
    int bytes;
    float *v = nullptr;
    if (vull_checked_size(cap, 3 * (int64_t)sizeof(float), 0, &bytes))
        v = static_cast<float *>(vull_realloc(m->vertices, bytes));
    if (!v) {
        assertion_failed("Could not allocate vertex");
        return;
    }
    std::memset(v + 3 * (size_t)m->max_vertices, 0,
                sizeof(float) * 3 * (size_t)(cap - m->max_vertices));
    m->vertices = v;
    m->max_vertices = (int32_t)cap;
    if (m->num_bones > 0 && cmodel_reserve_bone_vertices(m, (int)cap) != 0)
        assertion_failed("Could not allocate bone_vertex");
}

void cmodel_max_polygons(cmodel *m, int n) {
    if (!m || n <= m->max_polygons) return;
    int64_t cap = grown_capacity(m->max_polygons, n);
    int bytes;
    cpoly *p = nullptr;
    if (vull_checked_size(cap, (int64_t)sizeof(cpoly), 0, &bytes))
        p = static_cast<cpoly *>(vull_realloc(m->polygons, bytes));
    if (!p) {
        assertion_failed("Could not allocate poly");
        return;
    }
    // The block may have moved: inline polygons point at their own storage again.
    for (int i = 0; i < m->max_polygons; i++) poly_repoint(&p[i]);
    for (int i = m->max_polygons; i < (int)cap; i++) poly_init(&p[i]);
    m->polygons = p;
    m->max_polygons = (int32_t)cap;
}

int cmodel_new_vertex(cmodel *m, float x, float y, float z) {
    if (!m) return -1;
    cmodel_max_vertices(m, m->num_vertices + 1);
    if (m->num_vertices >= m->max_vertices) return -1;
    float *v = m->vertices + 3 * (size_t)m->num_vertices;
    v[0] = x;
    v[1] = y;
    v[2] = z;
    return m->num_vertices++;
}

int cmodel_new_polygon(cmodel *m, int n) {
    if (!m) return -1;
    if (n == 2 && m->num_bones >= CMODEL_MAX_BONES) return -1;
    cmodel_max_polygons(m, m->num_polygons + 1);
    if (m->num_polygons >= m->max_polygons) return -1;
    if (n != 2) {
        cpoly *p = &m->polygons[m->num_polygons];
        poly_init(p);
        cpoly_set_num_vertices(p, n);
        return m->num_polygons++;
    }
    int b = m->num_bones;
    // The first non-bone polygon makes room for the bone; the move takes its arrays along.
    if (m->num_polygons > b) poly_move(&m->polygons[m->num_polygons], &m->polygons[b]);
    poly_init(&m->polygons[b]);
    cpoly_set_num_vertices(&m->polygons[b], 2);
    m->num_bones++;
    m->num_polygons++;
    cmodel_max_vertices(m, m->num_vertices);
    return m->num_bones - 1;
}

static int new_polygon_with(cmodel *m, int n, const int *idx) {
    int i = cmodel_new_polygon(m, n);
    if (i < 0) return i;
    for (int k = 0; k < n; k++) m->polygons[i].index[k] = idx[k];
    return i;
}

int cmodel_new_quad(cmodel *m, int a, int b, int c, int d) {
    const int idx[4] = {a, b, c, d};
    return new_polygon_with(m, 4, idx);
}

int cmodel_new_triangle(cmodel *m, int a, int b, int c) {
    const int idx[3] = {a, b, c};
    return new_polygon_with(m, 3, idx);
}

void cmodel_delete_vertex(cmodel *m, int v) {
    if (!m || v < 0 || v >= m->num_vertices) return;
    int last = m->num_vertices - 1;
    std::memmove(m->vertices + 3 * (size_t)v, m->vertices + 3 * (size_t)last, 3 * sizeof(float));
    for (int i = 0; i < m->num_polygons; i++) {
        cpoly *p = &m->polygons[i];
        for (int k = 0; k < p->count; k++)
            if (p->index[k] == v) p->index[k] = -1;
        for (int k = 0; k < p->count; k++)
            if (p->index[k] == last) p->index[k] = v;
    }
    m->num_vertices--;
}

void cmodel_delete_polygon(cmodel *m, int i) {
    if (!m || i < 0 || i >= m->num_polygons) return;
    poly_free_arrays(&m->polygons[i]);
    int fill = i;
    if (m->polygons[i].count == 2 && i < m->num_bones) {
        m->num_bones--;
        poly_move(&m->polygons[i], &m->polygons[m->num_bones]);
        fill = m->num_bones;
    }
    m->num_polygons--;
    if (m->num_polygons != fill) poly_move(&m->polygons[fill], &m->polygons[m->num_polygons]);
    poly_init(&m->polygons[m->num_polygons]);
}

void cmodel_clear(cmodel *m) {
    if (!m) return;
    for (int i = 0; i < m->num_polygons; i++) poly_free_arrays(&m->polygons[i]);
    m->num_polygons = m->num_vertices = m->num_bones = 0;
}

/*
** Derived data
*/

static bool valid_index(const cmodel *m, int32_t v) { return v >= 0 && v < m->num_vertices; }

static vull_vec3 vertex(const cmodel *m, int32_t v) {
    const float *p = m->vertices + 3 * (size_t)v;
    return {p[0], p[1], p[2]};
}

void cmodel_calculate_normals(cmodel *m) {
    if (!m) return;
    for (int i = 0; i < m->num_polygons; i++) {
        cpoly *p = &m->polygons[i];
        if (p->count <= 2) {
            p->normal[0] = 0.0f;
            p->normal[1] = 1.0f;
            p->normal[2] = 0.0f;
            continue;
        }
        if (!valid_index(m, p->index[0]) || !valid_index(m, p->index[1]) ||
            !valid_index(m, p->index[2]))
            continue;
        vull_vec3 a = vertex(m, p->index[0]), b = vertex(m, p->index[1]),
                  c = vertex(m, p->index[2]);
        vull_vec3 u = {b.x - a.x, b.y - a.y, b.z - a.z}, w = {b.x - c.x, b.y - c.y, b.z - c.z}, n;
        vull_cross_product(&u, &w, &n);
        vull_normalize(&n);
        p->normal[0] = n.x;
        p->normal[1] = n.y;
        p->normal[2] = n.z;
    }
}

void cmodel_calculate_vertex_normals(cmodel *m) {
    if (!m) return;
    vull_free(m->vertex_normals);
    m->vertex_normals = nullptr;
    int bytes;
    if (m->num_vertices < 1 ||
        !vull_checked_size(m->num_vertices, 3 * (int64_t)sizeof(float), 0, &bytes))
        return;
    m->vertex_normals = static_cast<float *>(vull_calloc(bytes));
    if (!m->vertex_normals) return;
    cmodel_calculate_normals(m);
    for (int i = 0; i < m->num_polygons; i++) {
        const cpoly *p = &m->polygons[i];
        for (int k = 0; k < p->count; k++) {
            if (!valid_index(m, p->index[k])) continue;
            float *n = m->vertex_normals + 3 * (size_t)p->index[k];
            n[0] += p->normal[0];
            n[1] += p->normal[1];
            n[2] += p->normal[2];
        }
    }
    for (int v = 0; v < m->num_vertices; v++) {
        float *n = m->vertex_normals + 3 * (size_t)v;
        vull_vec3 vec = {n[0], n[1], n[2]};
        if (std::sqrt(vec.x * vec.x + vec.y * vec.y + vec.z * vec.z) < 0.001f)
            vec = {0.0f, 1.0f, 0.0f};
        vull_normalize(&vec);
        n[0] = vec.x;
        n[1] = vec.y;
        n[2] = vec.z;
    }
}

void cmodel_calculate_bone_parents(cmodel *m) {
    if (!m) return;
    m->bone_data_size = 0;
    m->num_ordered = 0;
    int nb = m->num_bones;
    if (nb <= 0 || nb > CMODEL_MAX_BONES || nb > m->num_polygons) {
        vull_free(m->bone_parent);
        vull_free(m->bone_order);
        m->bone_parent = m->bone_order = nullptr;
        return;
    }
    int bytes = nb * (int)sizeof(int32_t);
    auto *parent = static_cast<int32_t *>(vull_realloc(m->bone_parent, bytes));
    if (parent) m->bone_parent = parent;
    auto *order = static_cast<int32_t *>(vull_realloc(m->bone_order, bytes));
    if (order) m->bone_order = order;
    if (!parent || !order) {
        assertion_failed("Could not allocate bone");
        return;
    }
    // Parent: the last bone whose end (second vertex) is this bone's start (first vertex).
    // One map from end vertex to bone instead of a scan per bone; bones missing a joint
    // match nothing.
    std::unordered_map<int32_t, int> bone_ending_at;
    for (int k = 0; k < nb; k++)
        if (m->polygons[k].count >= 2) bone_ending_at[m->polygons[k].index[1]] = k;
    for (int b = 0; b < nb; b++) {
        auto it = m->polygons[b].count >= 1 ? bone_ending_at.find(m->polygons[b].index[0])
                                            : bone_ending_at.end();
        parent[b] = it != bone_ending_at.end() ? it->second : -1;
    }
    m->bone_data_size = 16 * nb + 16;
    // The order is that of repeated passes over the bones, each placing (in index order) every
    // bone whose parent is already placed. A bone's pass follows from its parent's: the same
    // pass when the parent comes earlier in the scan, the next one when it comes later; roots
    // go in pass 1 and bones in or below a parent cycle are never placed. Working the passes
    // out directly keeps this linear, where running the passes costs up to B x B steps.
    constexpr int UNKNOWN = 0, VISITING = -1, NEVER = -2;
    std::vector<int> pass((size_t)nb, UNKNOWN), chain;
    for (int j = 0; j < nb; j++) {
        for (int b = j; b >= 0 && pass[(size_t)b] == UNKNOWN; b = parent[b]) {
            pass[(size_t)b] = VISITING;
            chain.push_back(b);
        }
        while (!chain.empty()) {
            int b = chain.back(), p = parent[b];
            chain.pop_back();
            int above = p < 0 ? 0 : pass[(size_t)p]; // VISITING here: b is in a cycle
            pass[(size_t)b] = above < 0 ? NEVER : p < 0 ? 1 : above + (p > b ? 1 : 0);
        }
    }
    std::vector<int> placed_bones;
    for (int j = 0; j < nb; j++)
        if (pass[(size_t)j] > 0) placed_bones.push_back(j);
    std::stable_sort(placed_bones.begin(), placed_bones.end(),
                     [&](int a, int b) { return pass[(size_t)a] < pass[(size_t)b]; });
    // Entry p holds the p-th placed bone in its low bits and bone p's not-placed flag on top.
    int placed = (int)placed_bones.size();
    for (int p = 0; p < nb; p++)
        order[p] = (p < placed ? placed_bones[(size_t)p] : 0) |
                   (pass[(size_t)p] > 0 ? 0 : CMODEL_UNPLACED);
    m->num_ordered = placed;
}

void cmodel_decorate(cmodel *m) {
    if (!m) return;
    cmodel_calculate_normals(m);
    cmodel_calculate_bone_parents(m);
    cmodel_calculate_bone_vertices(m, nullptr);
}

int cmodel_get_bone_dat_index(cmodel *, int bone) { return 4 * bone; }
