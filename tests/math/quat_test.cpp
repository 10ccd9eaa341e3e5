#include "math/quat.h"

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

TEST(Quat, NormalizeScalesToUnitLengthAndLeavesZeroAlone) {
    Quat q = {0, 0, 3, 4};
    quat_normalize(&q);
    EXPECT_TRUE(quatNear(q, {0, 0, 0.6f, 0.8f}));
    Quat zero = {0, 0, 0, 0};
    quat_normalize(&zero);
    EXPECT_TRUE(quatNear(zero, {0, 0, 0, 0}, 0));
}

// quat_slerp takes the end first and writes the result over the start here (dst may be the start).
TEST(Quat, SlerpFollowsTheShorterArc) {
    const Quat id = {0, 0, 0, 1}, z90 = axisAngle({0, 0, 1}, 90), z40 = axisAngle({0, 0, 1}, 40);
    const Quat tilted = axisAngle({1, 2, 3}, 77);
    const struct {
        const char* what;
        float t;
        Quat start, end, expect;
        float tol;
    } cases[] = {
        {"t 0", 0, id, z90, id, 1e-5f},
        {"t 1", 1, id, z90, z90, 1e-5f},
        {"halfway", 0.5f, id, z90, axisAngle({0, 0, 1}, 45), 1e-5f},
        // 1 - cos 20 = 0.06 is within the threshold: a plain blend, not of unit length.
        {"40 degrees: linear", 0.5f, id, z40, {0, 0, 0.5f * z40.z, 0.5f * (1 + z40.w)}, 1e-6f},
        // 1 - cos 30 = 0.134 is outside it: spherical.
        {"60 degrees: spherical", 0.5f, id, axisAngle({0, 0, 1}, 60), axisAngle({0, 0, 1}, 30), 1e-5f},
        // The same rotation from the other hemisphere: the end is negated in place, the short way taken.
        {"negated end", 0.5f, id, {-z90.x, -z90.y, -z90.z, -z90.w}, axisAngle({0, 0, 1}, 45), 1e-5f},
        {"equal ends give the start exactly", 7, tilted, tilted, tilted, 0},
    };
    for (const auto& c : cases) {
        Quat q = c.start, end = c.end;
        quat_slerp(&q, c.t, &end, &q);
        EXPECT_TRUE(quatNear(q, c.expect, c.tol)) << c.what;
        EXPECT_GE(end.w, 0.0f) << c.what;
    }
}
