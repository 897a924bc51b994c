// Engine math: fixed point, trigonometry tables, random generator, matrices.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "engine/vmath.h"

TEST(VmathFixed, MulAndDivideClampAndSpecialCases) {
    EXPECT_EQ(vull_fmul(0x20000, 0x18000), 0x30000);
    EXPECT_EQ(vull_fmul(-0x10000, 0x8000), -0x8000);
    EXPECT_EQ(vull_fdiv(65536, 0), 0x7FFFFFFF);
    EXPECT_EQ(vull_fdiv(0, 0), 0x7FFFFFFF);
    EXPECT_EQ(vull_fdiv(-1, 0), int32_t(0x80000001));
    EXPECT_EQ(vull_fdiv(0x7FFF0000, 0x8000), 0x7FFFFFFF);
    EXPECT_EQ(vull_fdiv(INT_MIN, 1), int32_t(0x80000001));
    EXPECT_EQ(vull_fdiv(0x30000, 0x20000), 0x18000);
    EXPECT_EQ(vull_fdiv(-0x30000, 0x20000), -0x18000); // truncates toward zero
}

TEST(VmathTrig, TablesAndNamedPoints) {
    EXPECT_EQ(cos_val[0], 65536);
    EXPECT_EQ(cos_val[4096], 0);
    EXPECT_EQ(cos_val[2048], 46341); // cos 45 degrees
    EXPECT_EQ(atan_val[0], 0);
    EXPECT_EQ(atan_val[2048], 8192);
    for (int i = 1; i <= 4096; i++) ASSERT_LE(cos_val[i], cos_val[i - 1]);

    EXPECT_EQ(fcos(0), 65536);
    EXPECT_EQ(fcos(0x4000), 0);
    EXPECT_EQ(fcos(0x8000), -65536);
    EXPECT_EQ(fcos(0x10000), 65536);
    EXPECT_EQ(fcos(1), 65536);
    EXPECT_EQ(fsin(0), 0);
    EXPECT_EQ(fsin(0x4000), -65536);
    EXPECT_EQ(fsin(0xC000), 65536);
    // Extremes wrap instead of overflowing.
    EXPECT_EQ(fcos(INT_MAX), fcos(0xFFFF));
    EXPECT_EQ(fsin(INT_MAX), fcos(int32_t(0x3FFF)));

    EXPECT_EQ(ftan2(1, 0), 0);
    EXPECT_EQ(ftan2(1, -1), 8192);
    EXPECT_EQ(ftan2(-1, 0), 32768);
    EXPECT_EQ(ftan2(0, 1), 49152);
    EXPECT_EQ(ftan2(0, 0), 16384);
    EXPECT_EQ(ftan2(1, 1), 65536 - 8192);
    EXPECT_EQ(ftan2(1, INT_MIN), 16384); // slope beyond the 32-bit range
    EXPECT_EQ(ftan2(1, INT_MAX), 65536 - 16384);
    EXPECT_EQ(ftan(0x10000), 8192);
    EXPECT_EQ(ftan(-0x10000), -8192);
    EXPECT_EQ(ftan(INT_MIN), -16384);
    EXPECT_EQ(fdist(3, -4), 5);
}

TEST(VmathRandom, SeedsStepsAndBackup) {
    vull_srand(0);
    uint32_t hi, lo;
    vull_random_get_seeds(&hi, &lo);
    EXPECT_EQ(hi, 0x60009755u);
    EXPECT_EQ(lo, 0xDEADBEEFu);
    EXPECT_EQ(vull_random(0), 0u); // no step
    vull_random_get_seeds(&hi, &lo);
    EXPECT_EQ(hi, 0x60009755u);

    const uint32_t r = ((0x60009755u << 16) | (0x60009755u >> 16)) + 0xDEADBEEFu;
    EXPECT_EQ(vull_rand(), r);
    vull_random_get_seeds(&hi, &lo);
    EXPECT_EQ(lo, 0xDEADBEEFu + r);

    vull_srand(1234);
    vull_random_get_seeds(&hi, &lo);
    EXPECT_EQ(lo, 1234u);
    EXPECT_EQ(hi, 1234u ^ 0xBEAD29BAu);

    vull_random_save();
    uint32_t a = vull_rand(), b = vull_random(100);
    EXPECT_LT(b, 100u);
    vull_srand(99);
    vull_random_restore();
    EXPECT_EQ(vull_rand(), a);
    EXPECT_EQ(vull_random(100), b);
}

TEST(VmathRandom, MangleWrapsWithoutOverflow) {
    // Computed by hand with 32-bit wrap-around and arithmetic shifts.
    auto ref = [](int32_t value) {
        uint32_t v = uint32_t(value);
        auto sar = [](uint32_t x) { return uint32_t(int64_t(int32_t(x)) >> 8); };
        v = (v ^ 0x59Cu) * (v ^ 0x158u);
        v += sar(v);
        v = (v ^ 0x59Cu) * (v ^ 0x52Du);
        v += sar(v);
        return int32_t(v + sar(v));
    };
    for (int32_t v : {0, 1, -1, 12345, INT_MAX, INT_MIN})
        EXPECT_EQ(vull_mangle_int32(v), ref(v)) << v;
}

TEST(VmathVectors, NormalizeCrossAndMatrices) {
    vull_vec3 z = {0, 0, 0};
    vull_normalize(&z);
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 1.0f);
    EXPECT_EQ(z.z, 0.0f);
    vull_vec3 v = {3, 0, 4};
    vull_normalize(&v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);

    vull_vec3 ex = {1, 0, 0}, ey = {0, 1, 0}, c;
    vull_cross_product(&ex, &ey, &c);
    EXPECT_EQ(c.z, 1.0f);

    // A rotation with scale and translation is undone by the inverse.
    vull_matrix m, id, prod;
    vull_vec3 scale = {2, 2, 2}, angles = {0.3f, -0.7f, 1.1f}, move = {5, -3, 9};
    vull_get_transformation_matrix(&m, &scale, &angles, &move);
    vull_vec3 p = {1, 2, 3}, q, back;
    vull_apply_matrix(&m, &p, &q);
    vull_apply_matrix_inverse(&m, &q, &back);
    EXPECT_NEAR(back.x, 1, 1e-4);
    EXPECT_NEAR(back.y, 2, 1e-4);
    EXPECT_NEAR(back.z, 3, 1e-4);

    // a then b: identity on either side changes nothing.
    vull_get_identity_matrix(&id);
    vull_matrix_mul(&m, &id, &prod);
    for (int i = 0; i < 12; i++) EXPECT_FLOAT_EQ(prod.m[i], m.m[i]);
    vull_matrix_mul(&id, &m, &prod);
    for (int i = 0; i < 12; i++) EXPECT_FLOAT_EQ(prod.m[i], m.m[i]);
    // Applying the product equals applying a, then b.
    vull_matrix b;
    vull_vec3 axis = {0, 0, 5};
    vull_get_vector_rotation_matrix(&b, &axis, 0.5f);
    EXPECT_FLOAT_EQ(axis.z, 1.0f); // normalised in place
    vull_matrix_mul(&m, &b, &prod);
    vull_vec3 r1, r2;
    vull_apply_matrix(&prod, &p, &r1);
    vull_apply_matrix(&b, &q, &r2);
    EXPECT_NEAR(r1.x, r2.x, 1e-4);
    EXPECT_NEAR(r1.y, r2.y, 1e-4);
    EXPECT_NEAR(r1.z, r2.z, 1e-4);
}
