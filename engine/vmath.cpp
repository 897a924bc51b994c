// Engine math. Trigonometry is table lookup on integers only, so results are
// identical on every processor; the tables are filled once at load time.
#include "engine/vmath.h"

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>

int32_t cos_val[4097];
int32_t atan_val[2049];

namespace {

struct trig_tables_init {
    trig_tables_init() {
        const double pi = 3.14159265358979323846;
        for (int i = 0; i <= 4096; i++)
            cos_val[i] = int32_t(std::lround(65536.0 * std::cos(i * pi / 8192.0)));
        for (int i = 0; i <= 2048; i++)
            atan_val[i] = int32_t(std::lround(std::atan(i / 2048.0) * 65536.0 / (2.0 * pi)));
    }
};
const trig_tables_init trig_tables;

// Generator state. Main and audio thread both step it without a lock; the
// atomics make that a benign race (an interleaved step only changes which
// numbers come out) instead of undefined behaviour.
std::atomic<uint32_t> m_high{0xDEADBEEFu};
std::atomic<uint32_t> m_low{0x01234567u};
uint32_t m_high_backup = 0xDEADBEEFu;
uint32_t m_low_backup = 0x01234567u;

uint32_t random_step() {
    uint32_t high = m_high.load(std::memory_order_relaxed);
    uint32_t low = m_low.load(std::memory_order_relaxed);
    high = ((high << 16) | (high >> 16)) + low;
    low += high;
    m_high.store(high, std::memory_order_relaxed);
    m_low.store(low, std::memory_order_relaxed);
    return high;
}

// Arctangent of a non-negative 16.16 magnitude, in angle units.
int32_t atan_magnitude(uint64_t m) {
    if (m <= 0x10000) return atan_val[m >> 5];
    return 16384 - atan_val[(uint64_t(1) << 32) / m >> 5];
}

} // namespace

/*
** Fixed point
*/

int32_t vull_fmul(int32_t a, int32_t b) {
    return int32_t(uint32_t(uint64_t(int64_t(a) * int64_t(b) >> 16)));
}

int32_t vull_fdiv(int32_t a, int32_t b) {
    if (b == 0) return a >= 0 ? 0x7FFFFFFF : int32_t(0x80000001);
    int64_t r = int64_t(a) * 65536 / b;
    if (r > 0x7FFFFFFF) return 0x7FFFFFFF;
    if (r < -0x7FFFFFFF) return -0x7FFFFFFF;
    return int32_t(r);
}

/*
** Trigonometry
*/

int32_t fcos(int32_t angle) {
    uint32_t i = ((uint32_t(angle) + 2) >> 2) & 0x3FFF;
    if (i > 0x1FFF) i = 0x4000 - i;
    if (i > 0xFFF) return -cos_val[0x2000 - i];
    return cos_val[i];
}

int32_t fsin(int32_t angle) { return fcos(int32_t(uint32_t(angle) + 0x4000)); }

int32_t ftan2(int32_t x, int32_t y) {
    if (x == 0) return y <= 0 ? 16384 : 49152;
    int64_t r = (-int64_t(y)) * 65536 / x;
    int32_t a;
    if (r < -0x7FFFFFFF)
        a = -16384;
    else if (r > 0x7FFFFFFF)
        a = 16384;
    else {
        int32_t s = r < 0 ? -1 : 1;
        a = s * atan_magnitude(uint64_t(r < 0 ? -r : r));
    }
    if (x < 0) a += 32768;
    return a & 0xFFFF;
}

int32_t ftan(int32_t v) {
    int64_t wide = v;
    int32_t s = wide < 0 ? -1 : 1;
    return s * atan_magnitude(uint64_t(wide < 0 ? -wide : wide));
}

int32_t fdist(int32_t a, int32_t b) {
    int64_t x = std::llabs(int64_t(a)), y = std::llabs(int64_t(b));
    int64_t big = x > y ? x : y, small = x > y ? y : x;
    return int32_t(uint32_t(uint64_t(big + (small >> 1))));
}

/*
** Random numbers
*/

void vull_srand(uint32_t seed) {
    if (seed == 0) {
        m_low.store(0xDEADBEEFu, std::memory_order_relaxed);
        m_high.store(0x60009755u, std::memory_order_relaxed);
    } else {
        m_low.store(seed, std::memory_order_relaxed);
        m_high.store(seed ^ 0xBEAD29BAu, std::memory_order_relaxed);
    }
}

uint32_t vull_random(uint32_t n) {
    if (n == 0) return 0;
    return random_step() % n;
}

uint32_t vull_rand() { return random_step(); }

void vull_random_save() {
    m_high_backup = m_high.load(std::memory_order_relaxed);
    m_low_backup = m_low.load(std::memory_order_relaxed);
}

void vull_random_restore() {
    m_high.store(m_high_backup, std::memory_order_relaxed);
    m_low.store(m_low_backup, std::memory_order_relaxed);
}

void vull_random_get_seeds(uint32_t *high, uint32_t *low) {
    if (high) *high = m_high.load(std::memory_order_relaxed);
    if (low) *low = m_low.load(std::memory_order_relaxed);
}

void vull_random_set_seeds(uint32_t high, uint32_t low) {
    m_high.store(high, std::memory_order_relaxed);
    m_low.store(low, std::memory_order_relaxed);
}

// Arithmetic shift right by 8 of a wrapped 32-bit value.
static uint32_t sar8(uint32_t v) { return uint32_t(int32_t(v) >> 8); }

int32_t vull_mangle_int32(int32_t value) {
    uint32_t v = uint32_t(value);
    v = (v ^ 0x59Cu) * (v ^ 0x158u);
    v = v + sar8(v);
    v = (v ^ 0x59Cu) * (v ^ 0x52Du);
    v = v + sar8(v);
    return int32_t(v + sar8(v));
}

/*
** Vectors and matrices
*/

void vull_normalize(vull_vec3 *v) {
    float len = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    if (len == 0.0f) {
        *v = {0.0f, 1.0f, 0.0f};
        return;
    }
    v->x /= len;
    v->y /= len;
    v->z /= len;
}

void vull_cross_product(const vull_vec3 *a, const vull_vec3 *b, vull_vec3 *out) {
    vull_vec3 r = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    *out = r;
}

void vull_apply_matrix(const vull_matrix *mat, const vull_vec3 *p, vull_vec3 *out) {
    const float *m = mat->m;
    vull_vec3 r = {m[0] * p->x + m[1] * p->y + m[2] * p->z + m[9],
                   m[3] * p->x + m[4] * p->y + m[5] * p->z + m[10],
                   m[6] * p->x + m[7] * p->y + m[8] * p->z + m[11]};
    *out = r;
}

void vull_apply_matrix_inverse(const vull_matrix *mat, const vull_vec3 *p, vull_vec3 *out) {
    const float *m = mat->m;
    float k = 1.0f / (m[0] * m[0] + m[3] * m[3] + m[6] * m[6]);
    float dx = p->x - m[9], dy = p->y - m[10], dz = p->z - m[11];
    vull_vec3 r = {k * (m[0] * dx + m[3] * dy + m[6] * dz), k * (m[1] * dx + m[4] * dy + m[7] * dz),
                   k * (m[2] * dx + m[5] * dy + m[8] * dz)};
    *out = r;
}

void vull_matrix_mul(const vull_matrix *ma, const vull_matrix *mb, vull_matrix *out) {
    const float *a = ma->m, *b = mb->m;
    vull_matrix r;
    for (int row = 0; row < 3; row++) {
        for (int i = 0; i < 3; i++)
            r.m[3 * row + i] =
                b[3 * row] * a[i] + b[3 * row + 1] * a[3 + i] + b[3 * row + 2] * a[6 + i];
        r.m[9 + row] =
            b[3 * row] * a[9] + b[3 * row + 1] * a[10] + b[3 * row + 2] * a[11] + b[9 + row];
    }
    *out = r;
}

void vull_get_identity_matrix(vull_matrix *m) {
    *m = {};
    m->m[0] = m->m[4] = m->m[8] = 1.0f;
}

void vull_get_transformation_matrix(vull_matrix *mat, const vull_vec3 *scale,
                                    const vull_vec3 *angles, const vull_vec3 *translation) {
    float s0 = std::sin(angles->x), c0 = std::cos(angles->x);
    float s1 = std::sin(angles->y), c1 = std::cos(angles->y);
    float s2 = std::sin(angles->z), c2 = std::cos(angles->z);
    float sx = scale->x, sy = scale->y, sz = scale->z;
    float *m = mat->m;
    m[0] = c1 * c2 * sx;
    m[1] = c1 * s2 * sy;
    m[2] = -s1 * sz;
    m[3] = (s0 * s1 * c2 - c0 * s2) * sx;
    m[4] = (s0 * s1 * s2 + c0 * c2) * sy;
    m[5] = s0 * c1 * sz;
    m[6] = (c0 * s1 * c2 + s0 * s2) * sx;
    m[7] = (c0 * s1 * s2 - s0 * c2) * sy;
    m[8] = c0 * c1 * sz;
    m[9] = translation->x;
    m[10] = translation->y;
    m[11] = translation->z;
}

void vull_get_vector_rotation_matrix(vull_matrix *mat, vull_vec3 *axis, float angle) {
    vull_normalize(axis);
    float x = axis->x, y = axis->y, z = axis->z;
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    float *m = mat->m;
    m[0] = t * x * x + c;
    m[1] = t * x * y + s * z;
    m[2] = t * x * z - s * y;
    m[3] = t * x * y - s * z;
    m[4] = t * y * y + c;
    m[5] = t * y * z + s * x;
    m[6] = t * x * z + s * y;
    m[7] = t * y * z - s * x;
    m[8] = t * z * z + c;
    m[9] = m[10] = m[11] = 0.0f;
}
