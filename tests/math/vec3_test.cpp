#include "math/vec3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "math_expect.h"

TEST(Vec3, ArithmeticMayWriteOverAnOperand) {
    Vec3 a = {1, 2, 3}, b = {10, 20, 30};
    EXPECT_EQ(vec3_add(&a, a, b), &a);
    EXPECT_TRUE(vecNear(*vec3_mul(&a, a, b), {110, 440, 990}));
    EXPECT_TRUE(vecNear(*vec3_div(&a, *vec3_add_scalar(&a, a, 10), 4), {30, 112.5f, 250}));
    Vec3 c = {2, 3, 4};
    vec3_cross(&c, c, {5, 6, 7});
    EXPECT_TRUE(vecNear(c, {-3, 6, -3}));
    EXPECT_TRUE(vecNear(*vec3_cross(&c, {1, 0, 0}, {0, 1, 0}), {0, 0, 1}));  // right-handed
    EXPECT_FLOAT_EQ(vec3_distance({1, 2, 3}, {4, 6, 3}), 5);
}

TEST(Vec3, SetLengthAndAngleSurviveZeroVectors) {
    Vec3 out;
    EXPECT_TRUE(vecNear(*vec3_set_length(&out, {3, 4, 0}, 10), {6, 8, 0}));
    EXPECT_TRUE(vecNear(*vec3_set_length(&out, {0, 0, 0}, 5), {0, 0, 0}, 0));
    EXPECT_EQ(vec3_angle({0, 0, 0}, {1, 2, 3}), 0.0f);
    EXPECT_NEAR(vec3_angle({1, 0, 0}, {-1, 1, 0}), 2.3561945f, 1e-5f);
    // A rounded cosine just above 1 must not leak NaN.
    EXPECT_NEAR(vec3_angle({0.1f, 0.7f, 0.3f}, {0.3f, 2.1f, 0.9f}), 0.0f, 1e-3f);
}

TEST(Vec3, ApproxEqualIsStrictOnEveryComponentBothWays) {
    for (int axis = 0; axis < 3; axis++) {
        Vec3 one = {0, 0, 0}, off = {0, 0, 0};
        (&one.x)[axis] = 1.0f;
        (&off.x)[axis] = 1.0001f;
        EXPECT_FALSE(vec3_approx_equal(one, off)) << axis;
        EXPECT_FALSE(vec3_approx_equal(off, one)) << axis;
        (&off.x)[axis] = 1.00005f;
        EXPECT_TRUE(vec3_approx_equal(off, one)) << axis;
        EXPECT_TRUE(vec3_approx_equal(one, off)) << axis;
    }
}

TEST(Points, TranslateAndRotateAboutACentreInPlace) {
    Vec3 p[3] = {{2, 1, 5}, {7, 2, 3}, {2, 3, 2}};
    points_translate(p, p, 3, {1, 1, 1});
    points_translate(p, p, 3, {-1, -1, -1});
    points_rotate_axis(&p[0], &p[0], 1, {1, 1, 0}, 2, 90);  // X goes to Y about Z
    points_rotate_axis(&p[1], &p[1], 1, {0, 1, 2}, 0, 90);  // Y goes to Z about X
    points_rotate_axis(&p[2], &p[2], 1, {1, 0, 1}, 1, 90);  // Z goes to X about Y
    EXPECT_TRUE(vecNear(p[0], {1, 2, 5}));
    EXPECT_TRUE(vecNear(p[1], {7, 0, 3}));
    EXPECT_TRUE(vecNear(p[2], {2, 3, 0}));
    Vec3 src[2] = {{1, 0, 0}, {0, 1, 0}}, dst[2] = {{9, 9, 9}, {9, 9, 9}};
    points_rotate_axis(dst, src, 2, {0, 0, 0}, 3, 90);  // unknown axis: untouched
    EXPECT_TRUE(vecNear(dst[1], {9, 9, 9}, 0));
    points_rotate_axis(dst, src, 2, {0, 0, 0}, 2, 180);
    EXPECT_TRUE(vecNear(dst[1], {0, -1, 0}));
}

TEST(Angles, NormalizeAndAddWrapWholeTurns) {
    const float cases[][2] = {{-360, 0}, {720, 0}, {360, 0}, {-10, 350}, {-730, 350}, {1085, 5}};
    for (auto& c : cases) {
        float a = c[0];
        EXPECT_FLOAT_EQ(angle_normalize(&a), c[1]) << c[0];
        EXPECT_FLOAT_EQ(a, c[1]) << c[0];
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(-5000, 5000);
    float huge[] = {1e10f, -3e9f};  // exact remainders 280 and 240
    EXPECT_FLOAT_EQ(angle_normalize(&huge[0]), 280);
    EXPECT_FLOAT_EQ(angle_normalize(&huge[1]), 240);
    for (float v : {-1e-6f, any(rng), any(rng), any(rng), any(rng)}) {
        float a = v;
        angle_normalize(&a);
        EXPECT_TRUE(a >= 0.0f && a < 360.0f) << v << " -> " << a;
    }
    float a = 350;
    EXPECT_FLOAT_EQ(angle_add(&a, 20), 10);
    EXPECT_FLOAT_EQ(angle_add(&a, -30), 340);
    EXPECT_NEAR(deg_to_rad(180), 3.1415927f, 1e-6f);
    EXPECT_NEAR(rad_to_deg(3.1415927f), 180.0f, 1e-4f);
}

TEST(Angles, DifferenceIsTheSignedShortestTurn) {
    float d, e, r;
    EXPECT_FLOAT_EQ(angle_difference(350, 10, &d, &e, &r), 20);
    EXPECT_TRUE(d == 20 && e == 340 && r == 20);
    EXPECT_FLOAT_EQ(angle_difference(10, 350, &d, &e, &r), -20);
    EXPECT_TRUE(d == 340 && e == 20 && r == -20);
    EXPECT_FLOAT_EQ(angle_difference(0, 180, &d, &e, &r), 180);
    EXPECT_FLOAT_EQ(angle_difference(180, 0, &d, &e, &r), 180);
    EXPECT_FLOAT_EQ(angle_difference(90, 90, &d, &e, &r), 0);
    EXPECT_TRUE(d == 0 && e == 360);
    // Over random pairs the turn stays in (-180, 180] and lands on the target.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> deg(0, 360);
    for (int i = 0; i < 1000; i++) {
        float from = deg(rng), to = deg(rng);
        angle_difference(from, to, &d, &e, &r);
        ASSERT_TRUE(r > -180.0f && r <= 180.0f) << from << " -> " << to << " = " << r;
        float reached = from + r;
        float miss = std::fabs(angle_normalize(&reached) - to);
        ASSERT_TRUE(miss < 1e-3f || miss > 360.0f - 1e-3f) << from << " -> " << to << " = " << r;
    }
}
