#include "math/mat4.h"

#include <random>

#include "math_expect.h"

static Mat4 sequence(float start) {
    Mat4 m;
    for (int i = 0; i < 16; i++) m.m[i] = start + (float)i * 0.5f - (float)(i % 3);
    return m;
}

TEST(Mat4, TranslateScaleApplyInOpenGLOrder) {
    Mat4 m = identityMat();
    mat4_translate(&m, 1, 2, 3);
    mat4_scale(&m, 2, 3, 4);  // applied to points before the translation
    EXPECT_TRUE(vecNear(apply(m, {1, 1, 1}), {3, 5, 7}));
    mat4_set_translation(&m, -4, 5, 6);
    EXPECT_TRUE(vecNear(apply(m, {0, 0, 0}), {-4, 5, 6}, 0));
}

TEST(Mat4, MulAndSubTolerateAliasing) {
    Mat4 a = sequence(1), b = sequence(-3), ab;
    mat4_mul(&ab, &a, &b);
    float expect = 0;  // element (row 1, column 2)
    for (int k = 0; k < 4; k++) expect += a.m[4 * k + 1] * b.m[8 + k];
    EXPECT_FLOAT_EQ(ab.m[9], expect);
    Mat4 intoA = a, intoB = b;
    mat4_mul(&intoA, &intoA, &b);
    mat4_mul(&intoB, &a, &intoB);
    EXPECT_TRUE(matNear(intoA, ab, 0) && matNear(intoB, ab, 0));
    mat4_sub(&intoA, &intoA, &a);
    EXPECT_FLOAT_EQ(intoA.m[9], ab.m[9] - a.m[9]);
}

TEST(Mat4, RotationsAreRightHanded) {
    const Vec3 from[3] = {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, to[3] = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};
    for (int which = 0; which < 3; which++) {
        Mat4 m = identityMat();
        mat4_rotate(&m, 90, (float)(which == 0), (float)(which == 1), (float)(which == 2));
        EXPECT_TRUE(vecNear(apply(m, from[which]), to[which])) << which;
    }
}

TEST(Mat4, InverseAffineUndoesTransformsAndRefusesSingularOnes) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-1, 1), scale(0.2f, 5), deg(-180, 180);
    for (int i = 0; i < 200; i++) {
        Vec3 axis = {u(rng), u(rng), u(rng) + 2};
        vec3_set_length(&axis, axis, 1);
        Mat4 m = identityMat(), inv, prod;
        mat4_translate(&m, u(rng) * 50, u(rng) * 50, u(rng) * 50);
        mat4_rotate(&m, deg(rng), axis.x, axis.y, axis.z);
        mat4_scale(&m, scale(rng), scale(rng), scale(rng));
        ASSERT_EQ(mat4_inverse_affine(&inv, &m), 1);
        mat4_mul(&prod, &inv, &m);
        ASSERT_TRUE(matNear(prod, identityMat(), 2e-4f)) << i;
        m.m[3] = 7;  // the bottom row is ignored, and dst may be src
        ASSERT_EQ(mat4_inverse_affine(&m, &m), 1);
        ASSERT_TRUE(matNear(m, inv, 0)) << i;
    }
    // Determinant 1e-13 (squared 1e-26) is singular and dst keeps its contents; 1e-12 is not.
    Mat4 m = identityMat(), inv = sequence(9);
    m.m[0] = 1e-13f;
    EXPECT_EQ(mat4_inverse_affine(&inv, &m), 0);
    EXPECT_TRUE(matNear(inv, sequence(9), 0));
    m.m[0] = 1e-12f;
    EXPECT_EQ(mat4_inverse_affine(&inv, &m), 1);
}

TEST(Mat4, LookAtBuildsTheCameraFrame) {
    Mat4 m, view;
    // From an oblique eye the view puts the target straight ahead on -Z, with up still up.
    Vec3 eye = {3, 4, -2}, target = {-1, 0.5f, 2};
    mat4_look_at(&m, eye, target, {0, 1, 0});
    ASSERT_EQ(mat4_inverse_affine(&view, &m), 1);
    EXPECT_TRUE(vecNear(apply(view, target), {0, 0, -vec3_distance(eye, target)}, 1e-4f));
    EXPECT_GT(apply(view, {target.x, target.y + 1, target.z}).y, 0.0f);
    mat4_look_at(&m, {0, 0, 0}, {0, 5, 0}, {0, 1, 0});  // along up: degenerate but finite
    for (float v : m.m) EXPECT_FALSE(std::isnan(v));
}

TEST(Mat4, PointTransforms) {
    Mat4 m = identityMat();
    mat4_translate(&m, 10, 0, 5);
    mat4_rotate_principal(&m, 90, 2);
    Vec3 dirs[2] = {{1, 0, 0}, {0, 2, 0}};  // directions ignore the translation
    points_transform_linear(&m, dirs, dirs, 2);
    EXPECT_TRUE(vecNear(apply(m, {0, 2, 0}), {8, 0, 5}));
    EXPECT_TRUE(vecNear(dirs[0], {0, 1, 0}));
    EXPECT_TRUE(vecNear(dirs[1], {-2, 0, 0}));
    // A projective bottom row divides by w; a w of exactly 0 divides by 1 instead.
    Mat4 p = identityMat();
    mat4_set_translation(&p, 1, 2, 3);
    p.m[11] = 1;  // w = z + 1
    EXPECT_TRUE(vecNear(apply(p, {2, 2, 1}), {1.5f, 2, 2}));
    p.m[11] = p.m[15] = 0;
    EXPECT_TRUE(vecNear(apply(p, {2, 2, 1}), {3, 4, 4}));
}
