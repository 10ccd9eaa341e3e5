#include "math/quat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "math_expect.h"

static Quat axisAngle(Vec3 axis, float deg) {
    Quat q;
    vec3_set_length(&axis, axis, 1);
    quat_from_axis_angle(&q, axis.x, axis.y, axis.z, deg);
    return q;
}

static Mat4 toMat(const Quat& q) {
    Mat4 m;
    quat_to_mat4(&m, &q);
    return m;
}

static bool quatNear(const Quat& a, const Quat& b, float tol = 1e-5f) {
    return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol &&
           std::fabs(a.z - b.z) <= tol && std::fabs(a.w - b.w) <= tol;
}

TEST(Quat, MatrixMatchesAxisAngleRotation) {
    EXPECT_TRUE(vecNear(apply(toMat(axisAngle({0, 0, 1}, 90)), {1, 0, 0}), {0, 1, 0}));
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1, 1), deg(-360, 360);
    for (int i = 0; i < 100; i++) {
        Vec3 axis = {u(rng), u(rng) + 2, u(rng)};
        vec3_set_length(&axis, axis, 1);
        float a = deg(rng);
        Mat4 r = identityMat();
        mat4_rotate(&r, a, axis.x, axis.y, axis.z);
        ASSERT_TRUE(matNear(toMat(axisAngle(axis, a)), r, 1e-5f)) << i;
    }
}

TEST(Quat, ProductComposesRotationsAndToleratesAliasing) {
    Quat a = axisAngle({1, 2, 3}, 70), b = axisAngle({-2, 0, 1}, 130), ab, conj, one;
    quat_mul(&ab, &a, &b);
    Mat4 ma = toMat(a), mb = toMat(b), mab;
    mat4_mul(&mab, &ma, &mb);
    EXPECT_TRUE(matNear(toMat(ab), mab, 1e-5f));
    Quat intoA = a, intoB = b;
    quat_mul(&intoA, &intoA, &b);
    quat_mul(&intoB, &a, &intoB);
    EXPECT_TRUE(quatNear(intoA, ab, 0) && quatNear(intoB, ab, 0));
    quat_conjugate(&conj, &a);
    quat_mul(&one, &a, &conj);
    EXPECT_TRUE(quatNear(one, {0, 0, 0, 1}));
}

TEST(Quat, ComponentwiseAndNormalize) {
    Quat q, p, c;
    quat_set(&q, 1, 2, 3, 4);
    quat_set(&p, 0.5f, -1, 2, -3);
    quat_add(&q, &p);
    quat_scale(&q, 2);
    quat_copy(&c, &q);
    quat_conjugate(&c, &c);
    EXPECT_TRUE(quatNear(c, {-3, -2, -10, 2}, 0));
    quat_set(&q, 0, 0, 3, 4);
    EXPECT_FLOAT_EQ(quat_length(&q), 5);
    quat_normalize(&q);
    EXPECT_TRUE(quatNear(q, {0, 0, 0.6f, 0.8f}));
    Quat zero = {0, 0, 0, 0};
    quat_normalize(&zero);
    EXPECT_TRUE(quatNear(zero, {0, 0, 0, 0}, 0));
}

TEST(Quat, SlerpFollowsTheArc) {
    Quat a = {0, 0, 0, 1}, b = axisAngle({0, 0, 1}, 90), out;
    quat_slerp(&out, 0, &b, &a);  // note: end first
    EXPECT_TRUE(quatNear(out, a));
    quat_slerp(&out, 1, &b, &a);
    EXPECT_TRUE(quatNear(out, b));
    Quat start = a;  // dst may be the start
    quat_slerp(&start, 0.5f, &b, &start);
    EXPECT_TRUE(quatNear(start, axisAngle({0, 0, 1}, 45)));
    // Equal inputs give the start exactly, whatever t.
    Quat tilted = axisAngle({1, 2, 3}, 77), same = tilted;
    for (float t : {0.3f, 7.0f}) {
        quat_slerp(&out, t, &same, &tilted);
        EXPECT_TRUE(quatNear(out, tilted, 0)) << t;
    }
}

TEST(Quat, SlerpBlendsLinearlyOnlyWhenClose) {
    Quat a = {0, 0, 0, 1}, out;
    // 40 degrees apart: 1 - cos 20 = 0.06 is within the threshold, so a plain (shorter) blend.
    Quat near = axisAngle({0, 0, 1}, 40);
    quat_slerp(&out, 0.5f, &near, &a);
    EXPECT_TRUE(quatNear(out, {0, 0, 0.5f * near.z, 0.5f * (1 + near.w)}, 1e-6f));
    // 60 degrees apart: 1 - cos 30 = 0.134 is outside it, so spherical and of unit length.
    Quat far = axisAngle({0, 0, 1}, 60);
    quat_slerp(&out, 0.5f, &far, &a);
    EXPECT_TRUE(quatNear(out, axisAngle({0, 0, 1}, 30)));
}

TEST(Quat, SlerpNegatesTheEndInPlaceForTheShorterArc) {
    Quat a = {0, 0, 0, 1}, b = axisAngle({0, 0, 1}, 90), positive = b, out;
    quat_scale(&b, -1);  // the same rotation from the other hemisphere
    quat_slerp(&out, 0.5f, &b, &a);
    EXPECT_TRUE(quatNear(b, positive, 0));
    EXPECT_TRUE(quatNear(out, axisAngle({0, 0, 1}, 45)));
}
