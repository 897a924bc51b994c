// Keyframed animation records, and the bone poses and skinning of models
// (the model side of skeletal animation lives here with the rest of it).
#include "engine/anim.h"
#include "engine/mem.h"
#include "engine/model.h"
#include "engine/vmath.h"
#include "engine/vull.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/*
** Channels
*/

canim_channel *vull_create_anim_channel(int state_size) {
    if (state_size < 0) return nullptr;
    auto *ch = static_cast<canim_channel *>(vull_calloc((int)sizeof(canim_channel)));
    if (ch) ch->state_size = state_size;
    return ch;
}

void vull_destroy_anim_channel(canim_channel *ch) {
    if (!ch) return;
    vull_free(ch->states);
    vull_free(ch->times);
    vull_free(ch->modes);
    vull_free(ch);
}

int canim_channel_set_num_states(canim_channel *ch, int n) {
    if (!ch) return -1;
    if (n < 0) n = 0;
    if (n > ch->max_states) {
        int state_bytes, word_bytes;
        if (!vull_checked_size(n, ch->state_size, 0, &state_bytes) ||
            !vull_checked_size(n, (int64_t)sizeof(int32_t), 0, &word_bytes))
            return -1;
        // Each block is replaced only once all three could be resized.
        void *states = state_bytes > 0 ? vull_realloc(ch->states, state_bytes) : ch->states;
        if (!states && state_bytes > 0) return -1;
        ch->states = static_cast<uint8_t *>(states);
        auto *times = static_cast<int32_t *>(vull_realloc(ch->times, word_bytes));
        if (!times) return -1;
        ch->times = times;
        auto *modes = static_cast<int32_t *>(vull_realloc(ch->modes, word_bytes));
        if (!modes) return -1;
        ch->modes = modes;
        ch->max_states = n;
    }
    ch->num_states = n;
    return 0;
}

// The last index whose time is at most t; 0 when t is at or before the first time.
static int keyframe_search(const canim_channel *ch, int t) {
    int n = ch->num_states;
    if (n < 2 || t <= ch->times[0]) return 0;
    int lo = 0, hi = n;
    for (;;) {
        int mid = lo + ((hi - lo) >> 1);
        if (mid == lo) return lo;
        if (ch->times[mid] <= t)
            lo = mid;
        else
            hi = mid;
    }
}

// memmove that accepts the null blocks of a channel with 0-byte states.
static void move_bytes(void *dst, const void *src, size_t n) {
    if (n > 0) std::memmove(dst, src, n);
}

int canim_channel_insert_state(canim_channel *ch, int t) {
    if (!ch) return -1;
    int n = ch->num_states;
    int at = (n == 0 || t < ch->times[0]) ? 0 : keyframe_search(ch, t) + 1;
    if (canim_channel_set_num_states(ch, n + 1) != 0) return -1;
    size_t size = (size_t)ch->state_size;
    move_bytes(ch->states + (at + 1) * size, ch->states + at * size, (size_t)(n - at) * size);
    std::memmove(ch->times + at + 1, ch->times + at, sizeof(int32_t) * (size_t)(n - at));
    std::memmove(ch->modes + at + 1, ch->modes + at, sizeof(int32_t) * (size_t)(n - at));
    ch->times[at] = t;
    ch->modes[at] = 0;
    return at;
}

void canim_channel_clear(canim_channel *ch) {
    if (ch) ch->num_states = 0;
}

void canim_channel_delete(canim_channel *ch, int index) {
    if (!ch || index < 0 || ch->num_states <= 0) return;
    int n = ch->num_states;
    if (index >= n) index = n - 1;
    size_t size = (size_t)ch->state_size;
    move_bytes(ch->states + index * size, ch->states + (index + 1) * size,
               (size_t)(n - index - 1) * size);
    std::memmove(ch->times + index, ch->times + index + 1,
                 sizeof(int32_t) * (size_t)(n - index - 1));
    std::memmove(ch->modes + index, ch->modes + index + 1,
                 sizeof(int32_t) * (size_t)(n - index - 1));
    ch->num_states = n - 1;
}

int canim_channel_index_for_t(const canim_channel *ch, int t) {
    return ch ? keyframe_search(ch, t) : 0;
}

static int32_t event_code(const canim_channel *ch, int i) {
    int32_t code;
    std::memcpy(&code, ch->states + (size_t)i * (size_t)ch->state_size, sizeof code);
    return code;
}

int canim_channel_index_for_command(const canim_channel *ch, int t, int code) {
    if (!ch || ch->num_states <= 0 || ch->state_size < 4) return -1;
    int n = ch->num_states;
    if (n == 1) return event_code(ch, 0) == code ? 0 : -1;
    int i = keyframe_search(ch, t);
    if (event_code(ch, i) == code) return i;
    for (int k = i - 1; k >= 0; k--)
        if (event_code(ch, k) == code) return k;
    for (int k = i + 1; k < n; k++)
        if (event_code(ch, k) == code) return k;
    return -1;
}

static void state_floats(const canim_channel *ch, int i, float *out, int count) {
    std::memcpy(out, ch->states + (size_t)i * (size_t)ch->state_size,
                sizeof(float) * (size_t)count);
}

// Fraction of the way from keyframe i to i + 1; false when state i is the answer as it is.
static bool fraction(const canim_channel *ch, int i, int t, float *f) {
    if (i >= ch->num_states - 1 || t < ch->times[0] || ch->times[i + 1] == ch->times[i])
        return false;
    *f = (float)((int64_t)t - ch->times[i]) / (float)((int64_t)ch->times[i + 1] - ch->times[i]);
    return true;
}

static void lerp(const canim_channel *ch, int i, float f, float *out, int count) {
    float a[4], b[4];
    state_floats(ch, i, a, count);
    state_floats(ch, i + 1, b, count);
    for (int k = 0; k < count; k++) out[k] = a[k] * (1.0f - f) + b[k] * f;
}

void canim_channel_evaluate(const canim_channel *ch, int t, float *out) {
    if (!ch || ch->num_states <= 0 || ch->state_size < 12) return;
    int i = keyframe_search(ch, t);
    float f;
    if (!fraction(ch, i, t, &f)) {
        state_floats(ch, i, out, 3);
        return;
    }
    lerp(ch, i, f, out, 3);
}

void canim_channel_evaluate_nonlinear(const canim_channel *ch, int t, float *out) {
    if (!ch || ch->num_states <= 0 || ch->state_size < 12) return;
    int n = ch->num_states;
    int i = keyframe_search(ch, t);
    float f;
    if (!fraction(ch, i, t, &f)) {
        state_floats(ch, i, out, 3);
        return;
    }
    float sum[3] = {0, 0, 0}, total = 0.0f;
    for (int k = -1; k <= 2; k++) {
        int idx = i + k < 0 ? 0 : (i + k > n - 1 ? n - 1 : i + k);
        double d = (double)k - f;
        float w = (float)(std::cos(d * M_PI / 2) * (2.0 - std::fabs(d)) / 2.0);
        float s[3];
        state_floats(ch, idx, s, 3);
        for (int c = 0; c < 3; c++) sum[c] += w * s[c];
        total += std::fabs(w);
    }
    for (int c = 0; c < 3; c++) out[c] = total > 0.0f ? sum[c] / total : sum[c] * total;
}

/*
** Actors and animations
*/

void cactor_evaluate(const cactor *actor, int t, float *a, float *b, float *c) {
    a[0] = a[1] = a[2] = 1.0f;
    b[0] = b[1] = b[2] = 0.0f;
    c[0] = c[1] = c[2] = 0.0f;
    if (!actor) return;
    canim_channel_evaluate(actor->vec[0], t, a);
    canim_channel_evaluate(actor->vec[1], t, b);
    canim_channel_evaluate(actor->vec[2], t, c);
}

void cactor_evaluate_bones(const cactor *actor, int t, float *out) {
    if (!actor) return;
    for (int j = 0; j < actor->num_extra; j++) {
        const canim_channel *ch = actor->extra ? actor->extra[j] : nullptr;
        if (!ch || ch->num_states <= 0 || ch->state_size < 16) continue;
        float *o = out + 4 * j;
        if (ch->num_states == 1) {
            state_floats(ch, 0, o, 4);
            continue;
        }
        int i = keyframe_search(ch, t);
        float f;
        if (ch->modes[i] == 1 || !fraction(ch, i, t, &f))
            state_floats(ch, i, o, 4);
        else
            lerp(ch, i, f, o, 4);
    }
    const canim_channel *ev = actor->events;
    int i = canim_channel_index_for_command(ev, t, 2);
    if (i < 0 || ev->state_size < CANIM_EVENT_STATE) return;
    const uint8_t *s = ev->states + (size_t)i * (size_t)ev->state_size;
    int32_t value;
    std::memcpy(&value, s + 4, sizeof value);
    float *o = out + 4 * (actor->num_extra > 0 ? actor->num_extra : 0);
    std::memcpy(o, s + 12, 3 * sizeof(float));
    o[3] = (float)value;
}

vull_anim *vull_create_anim() {
    auto *anim = static_cast<vull_anim *>(vull_calloc((int)sizeof(vull_anim)));
    if (anim) vull_items_created++;
    return anim;
}

static void destroy_actor(cactor *a) {
    for (auto *ch : a->vec) vull_destroy_anim_channel(ch);
    vull_destroy_anim_channel(a->events);
    if (a->extra)
        for (int j = 0; j < a->num_extra; j++) vull_destroy_anim_channel(a->extra[j]);
    vull_free(a->extra);
    a->extra = nullptr;
}

void vull_clear_anim(vull_anim *anim) {
    if (!anim) return;
    for (int i = anim->num_actors - 1; i >= 0; i--) destroy_actor(&anim->actors[i]);
    anim->num_actors = 0;
}

void vull_destroy_anim(vull_anim *anim) {
    if (!anim) return;
    vull_clear_anim(anim);
    vull_free(anim->actors);
    vull_free(anim);
    vull_items_created--;
}

// A new actor with its defaults; false (with what was made released) when memory runs out.
static bool actor_init(cactor *a, int index) {
    *a = {};
    std::snprintf(a->name, sizeof a->name, "actor%d", index);
    for (auto &w : a->word) w = -1;
    for (auto &ch : a->vec) ch = vull_create_anim_channel(CANIM_VECTOR_STATE);
    a->events = vull_create_anim_channel(CANIM_EVENT_STATE);
    if (a->vec[0] && a->vec[1] && a->vec[2] && a->events) return true;
    destroy_actor(a);
    return false;
}

int canim_new_actors(vull_anim *anim, int n) {
    int bytes;
    if (!anim || n < 1 ||
        !vull_checked_size((int64_t)anim->num_actors + n, (int64_t)sizeof(cactor), 0, &bytes))
        return -1;
    auto *actors = static_cast<cactor *>(vull_realloc(anim->actors, bytes));
    if (!actors) return -1;
    anim->actors = actors;
    int first = anim->num_actors;
    for (int i = 0; i < n; i++) {
        if (actor_init(&actors[first + i], first + i)) continue;
        while (i-- > 0) destroy_actor(&actors[first + i]);
        return -1;
    }
    anim->num_actors += n;
    return first;
}

int canim_new_actor(vull_anim *anim) { return canim_new_actors(anim, 1); }

void canim_delete_actor(vull_anim *anim, int index) {
    if (!anim || index < 0 || index >= anim->num_actors) return;
    destroy_actor(&anim->actors[index]);
    anim->num_actors--;
    if (index != anim->num_actors) anim->actors[index] = anim->actors[anim->num_actors];
}

/*
** Bone poses and skinning
*/

// The two joint vertices of bone b, or false when the polygon does not name two vertices.
static bool bone_joints(const cmodel *m, int b, vull_vec3 *start, vull_vec3 *end) {
    if (b < 0 || b >= m->num_polygons) return false;
    const cpoly *p = &m->polygons[b];
    if (p->count < 2) return false;
    int32_t i0 = p->index[0], i1 = p->index[1];
    if (i0 < 0 || i1 < 0 || i0 >= m->num_vertices || i1 >= m->num_vertices) return false;
    const float *a = m->vertices + 3 * (size_t)i0, *c = m->vertices + 3 * (size_t)i1;
    *start = {a[0], a[1], a[2]};
    *end = {c[0], c[1], c[2]};
    return true;
}

static bool bones_usable(const cmodel *m) {
    return m->num_bones > 0 && m->num_bones <= m->num_polygons && m->num_bones <= CMODEL_MAX_BONES;
}

// Whether the parent and order lists were made for the current bone count (bones added
// or deleted since cmodel_calculate_bone_parents leave them stale).
static bool hierarchy_current(const cmodel *m) {
    return m->bone_parent && m->bone_order && m->bone_data_size == 16 * m->num_bones + 16;
}

void cmodel_calculate_bone_vertices(cmodel *m, float *pose_out) {
    if (!m) return;
    if (!bones_usable(m)) {
        vull_free(m->bone_vertices);
        m->bone_vertices = nullptr;
        m->bone_vertex_slots = 0;
        return;
    }
    int nb = m->num_bones;
    // One record per vertex slot (bone A, bone B and weight kept).
    int slots = m->max_vertices > m->num_vertices ? m->max_vertices : m->num_vertices;
    if (cmodel_reserve_bone_vertices(m, slots) != 0) return;
    auto *pose = static_cast<float *>(vull_calloc((nb + 1) * 4 * (int)sizeof(float)));
    if (!pose) return;
    const float half_pi = (float)(M_PI / 2);
    for (int b = 0; b < nb; b++) {
        vull_vec3 s, e;
        if (!bone_joints(m, b, &s, &e)) continue;
        vull_vec3 d = {e.x - s.x, e.y - s.y, e.z - s.z};
        float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        vull_normalize(&d);
        float yaw = std::atan2(d.z, d.x);
        float r = std::sqrt(d.x * d.x + d.z * d.z);
        float pitch = r != 0.0f ? std::atan(d.y / r) : (d.y >= 0.0f ? half_pi : -half_pi);
        if (d.z < 0.0f) {
            yaw += (float)M_PI;
            float turn = 2.0f * (half_pi - std::fabs(pitch));
            pitch = d.y >= 0.0f ? pitch + turn : pitch - turn;
        }
        float *entry = pose + 4 * b;
        entry[0] = yaw;
        entry[1] = pitch;
        entry[2] = 0.0f;
        entry[3] = length;
    }
    float *root = pose + 4 * nb;
    for (int b = 0; b < nb; b++) {
        vull_vec3 s, e;
        if (hierarchy_current(m) && m->bone_parent[b] != -1) continue;
        if (!bone_joints(m, b, &s, &e)) continue;
        root[0] = s.x;
        root[1] = s.y;
        root[2] = s.z;
        int32_t index = b;
        std::memcpy(&root[3], &index, sizeof index);
    }
    if (pose_out) {
        std::memcpy(pose_out, pose, sizeof(float) * 4 * (size_t)(nb + 1));
    } else {
        cmodel_calculate_matrices(m, pose);
        if (m->bone_matrices && m->num_matrices >= nb) {
            for (int v = 0; v < m->num_vertices; v++) {
                cmodel_bone_vertex *bv = &m->bone_vertices[v];
                int a = bv->bone_a < nb ? bv->bone_a : nb - 1,
                    c = bv->bone_b < nb ? bv->bone_b : nb - 1;
                vull_vec3 p = {m->vertices[3 * v], m->vertices[3 * v + 1], m->vertices[3 * v + 2]},
                          out;
                vull_apply_matrix_inverse(&m->bone_matrices[a], &p, &out);
                bv->pos_a[0] = out.x, bv->pos_a[1] = out.y, bv->pos_a[2] = out.z;
                vull_apply_matrix_inverse(&m->bone_matrices[c], &p, &out);
                bv->pos_b[0] = out.x, bv->pos_b[1] = out.y, bv->pos_b[2] = out.z;
            }
        }
    }
    vull_free(pose);
}

void cmodel_calculate_matrices(cmodel *m, const float *pose) {
    if (!m || !pose || !bones_usable(m)) return;
    int nb = m->num_bones;
    if (m->num_matrices != nb) {
        auto *mats = static_cast<vull_matrix *>(
            vull_realloc(m->bone_matrices, nb * (int)sizeof(vull_matrix)));
        if (!mats) return;
        m->bone_matrices = mats;
        m->num_matrices = nb;
    }
    for (int b = 0; b < nb; b++) {
        const float *e = pose + 4 * b;
        float sy = std::sin(e[0]), cy = std::cos(e[0]), sp = std::sin(e[1]), cp = std::cos(e[1]);
        float sr = std::sin(e[2]), cr = std::cos(e[2]), len = e[3];
        vull_vec3 u = {cy * cp, sp, sy * cp};
        vull_vec3 s = {-sp * sr * cy - sy * cr, cp * sr, -sp * sr * sy + cy * cr};
        vull_vec3 w;
        vull_cross_product(&u, &s, &w);
        float *mm = m->bone_matrices[b].m;
        mm[0] = len * u.x, mm[1] = len * s.x, mm[2] = len * w.x;
        mm[3] = len * u.y, mm[4] = len * s.y, mm[5] = len * w.y;
        mm[6] = len * u.z, mm[7] = len * s.z, mm[8] = len * w.z;
        mm[9] = mm[10] = mm[11] = 0.0f;
    }
    // Children start at their parent's end. Only placed bones are walked: bones in a
    // parent cycle were never placed and stay at the origin like roots.
    if (hierarchy_current(m)) {
        for (int k = 0; k < m->num_ordered && k < nb; k++) {
            int b = m->bone_order[k] & 0x7FFF;
            int p = b < nb ? m->bone_parent[b] : -1;
            if (p < 0 || p >= nb) continue;
            const float *pm = m->bone_matrices[p].m;
            float *bm = m->bone_matrices[b].m;
            bm[9] = pm[9] + pm[0];
            bm[10] = pm[10] + pm[3];
            bm[11] = pm[11] + pm[6];
        }
    }
    const float *root = pose + 4 * nb;
    int32_t r;
    std::memcpy(&r, &root[3], sizeof r);
    int64_t ar = r < 0 ? -(int64_t)r : r;
    if (ar >= nb) return;
    const float *rm = m->bone_matrices[ar].m;
    float base[3] = {rm[9], rm[10], rm[11]};
    if (r < 0) {
        base[0] += rm[0];
        base[1] += rm[3];
        base[2] += rm[6];
    }
    float dx = root[0] - base[0], dy = root[1] - base[1], dz = root[2] - base[2];
    for (int b = 0; b < nb; b++) {
        float *bm = m->bone_matrices[b].m;
        bm[9] += dx;
        bm[10] += dy;
        bm[11] += dz;
    }
}

void cmodel_evaluate_bone_vertices(const cmodel *m, float *out) {
    if (!m || !m->bone_vertices || !m->bone_matrices || m->num_matrices <= 0) return;
    int nb = m->num_matrices;
    for (int v = 0; v < m->num_vertices && v < m->bone_vertex_slots; v++) {
        const cmodel_bone_vertex *bv = &m->bone_vertices[v];
        int a = bv->bone_a < nb ? bv->bone_a : nb - 1, c = bv->bone_b < nb ? bv->bone_b : nb - 1;
        vull_vec3 pa = {bv->pos_a[0], bv->pos_a[1], bv->pos_a[2]},
                  pb = {bv->pos_b[0], bv->pos_b[1], bv->pos_b[2]};
        vull_vec3 p, q;
        vull_apply_matrix(&m->bone_matrices[a], &pa, &p);
        vull_apply_matrix(&m->bone_matrices[c], &pb, &q);
        float w = bv->weight;
        out[3 * v] = p.x * w + q.x * (1.0f - w);
        out[3 * v + 1] = p.y * w + q.y * (1.0f - w);
        out[3 * v + 2] = p.z * w + q.z * (1.0f - w);
    }
}
