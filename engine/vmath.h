// Engine math: 16.16 fixed-point helpers, table trigonometry on 16-bit turn
// angles, the engine random generator, float vectors and 3x4 matrices.
#pragma once
#include <cstdint>

// Quarter cosine wave in 1/16384 turn steps and arctangent of 0..1 in angle units.
extern int32_t cos_val[4097];
extern int32_t atan_val[2049];

int32_t vull_fmul(int32_t a, int32_t b);
int32_t vull_fdiv(int32_t a, int32_t b);

int32_t fcos(int32_t angle);
int32_t fsin(int32_t angle);
int32_t ftan2(int32_t x, int32_t y);
int32_t ftan(int32_t v);
int32_t fdist(int32_t a, int32_t b);

// Engine random generator (shared by the main and the audio thread).
void vull_srand(uint32_t seed);
uint32_t vull_random(uint32_t n);
uint32_t vull_rand();
void vull_random_save();
void vull_random_restore();
void vull_random_get_seeds(uint32_t *high, uint32_t *low);
void vull_random_set_seeds(uint32_t high, uint32_t low);
int32_t vull_mangle_int32(int32_t v);

struct vull_vec3 {
    float x, y, z;
};

// m[0..8]: rows of the linear part; m[9..11]: translation.
struct vull_matrix {
    float m[12];
};

void vull_normalize(vull_vec3 *v);
void vull_cross_product(const vull_vec3 *a, const vull_vec3 *b, vull_vec3 *out);
void vull_apply_matrix(const vull_matrix *m, const vull_vec3 *p, vull_vec3 *out);
void vull_apply_matrix_inverse(const vull_matrix *m, const vull_vec3 *p, vull_vec3 *out);
void vull_matrix_mul(const vull_matrix *a, const vull_matrix *b, vull_matrix *out);
void vull_get_identity_matrix(vull_matrix *m);
void vull_get_transformation_matrix(vull_matrix *m, const vull_vec3 *scale, const vull_vec3 *angles,
                                    const vull_vec3 *translation);
void vull_get_vector_rotation_matrix(vull_matrix *m, vull_vec3 *axis, float angle);
