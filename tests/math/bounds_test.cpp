#include "math/bounds.h"

#include <random>

#include "math_expect.h"

TEST(Box, OfPointsWidensThinAxes) {
    Vec3 p = {1, -2, 300}, lo, hi;
    box_of_points(&lo, &hi, &p, 1);
    EXPECT_TRUE(vecNear(lo, {1 - 0.0001f, -2 - 0.0001f, 300 - 0.0001f}, 0));
    EXPECT_TRUE(vecNear(hi, {1 + 0.0001f, -2 + 0.0001f, 300 + 0.0001f}, 0));
    // Only the axis thinner than the minimum extent grows; outputs may overlap the input.
    Vec3 pts[3] = {{0, 5, 1}, {2, 5.00005f, -1}, {-3, 5, 0}};
    box_of_points(&pts[0], &pts[1], pts, 3);
    EXPECT_TRUE(vecNear(pts[0], {-3, 5 - 0.0001f, -1}, 0));
    EXPECT_TRUE(vecNear(pts[1], {2, 5.00005f + 0.0001f, 1}, 0));
    box_of_points(&lo, &hi, nullptr, 0);  // no points: the inverted box, which unions away
    EXPECT_TRUE(lo.x == FAR_VALUE && hi.z == -FAR_VALUE);
    box_union(&lo, &hi, lo, hi, {-1, 0, -3}, {1, 2, 3});
    box_union(&lo, &hi, lo, hi, {0, -5, 0}, {4, 1, 1});
    EXPECT_TRUE(vecNear(lo, {-1, -5, -3}, 0));
    EXPECT_TRUE(vecNear(hi, {4, 2, 3}, 0));
}

TEST(Corners, FollowTheFixedOrderAndUnion) {
    BoxCorners c, b, separate;
    box_corners({0, 0, 0}, {1, 2, 3}, &c);
    const Vec3 expect[8] = {{1, 2, 3}, {0, 2, 3}, {0, 0, 3}, {1, 0, 3},
                            {1, 2, 0}, {0, 2, 0}, {0, 0, 0}, {1, 0, 0}};
    for (int i = 0; i < 8; i++) EXPECT_TRUE(vecNear(c.p[i], expect[i], 0)) << i;
    box_corners({-1, 0.5f, 0.25f}, {0.5f, 5, 0.75f}, &b);
    corners_union(&separate, &c, &b);
    corners_union(&c, &c, &b);  // into an operand
    EXPECT_TRUE(vecNear(separate.p[0], {1, 5, 3}, 0));
    EXPECT_TRUE(vecNear(separate.p[6], {-1, 0, 0}, 0));
    for (int i = 0; i < 8; i++) EXPECT_TRUE(vecNear(c.p[i], separate.p[i], 0)) << i;
}

TEST(Sphere, OfCornersAndReset) {
    BoxCorners c;
    box_corners({0, 0, 0}, {2, 4, 4}, &c);
    Vec3 centre;
    float radius;
    sphere_of_corners(&c, &centre, &radius);
    EXPECT_TRUE(vecNear(centre, {1, 2, 2}));
    EXPECT_FLOAT_EQ(radius, 3);
    c = BoxCorners{};  // any eight points: the radius reaches the farthest one
    c.p[3] = {8, 0, 0};
    sphere_of_corners(&c, &centre, &radius);
    EXPECT_TRUE(vecNear(centre, {1, 0, 0}));
    EXPECT_FLOAT_EQ(radius, 7);
    corners_reset(&c, &centre, &radius);
    EXPECT_TRUE(vecNear(c.p[6], {-0.0001f, -0.0001f, -0.0001f}, 0));
    EXPECT_TRUE(vecNear(centre, {0, 0, 0}, 1e-9f));
    EXPECT_NEAR(radius, 0.0001f * std::sqrt(3.0f), 1e-9f);
}

TEST(Sphere, MergeGrowsOnlyWhenNeededAndEnclosesBoth) {
    Vec3 centre = {0, 0, 0};
    float radius = 1;
    sphere_merge(&centre, &radius, {0.5f, 0, 0}, 0.25f);  // already inside
    EXPECT_TRUE(vecNear(centre, {0, 0, 0}, 0) && radius == 1.0f);
    sphere_merge(&centre, &radius, {4, 0, 0}, 1);
    EXPECT_TRUE(vecNear(centre, {2, 0, 0}));
    EXPECT_FLOAT_EQ(radius, 3);
    // A sphere that holds this one replaces it, the same centre included.
    centre = {0, 0, 0};
    radius = 1;
    sphere_merge(&centre, &radius, {0, 0, 0}, 5);
    EXPECT_TRUE(vecNear(centre, {0, 0, 0}, 0));
    EXPECT_FLOAT_EQ(radius, 5);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-10, 10), r(0.1f, 4);
    for (int i = 0; i < 500; i++) {
        Vec3 c1 = {u(rng), u(rng), u(rng)}, c2 = {u(rng), u(rng), u(rng)}, c = c1;
        float r1 = r(rng), r2 = r(rng), rad = r1;
        sphere_merge(&c, &rad, c2, r2);
        ASSERT_LE(vec3_distance(c, c1) + r1, rad + 1e-4f) << i;
        ASSERT_LE(vec3_distance(c, c2) + r2, rad + 1e-4f) << i;
    }
}
