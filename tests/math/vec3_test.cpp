#include "math/vec3.h"

#include <random>

#include "math_expect.h"

TEST(Vec3, ArithmeticMayWriteOverAnOperand) {
    Vec3 a = {1, 2, 3}, b = {10, 20, 30};
    EXPECT_EQ(vec3_add(&a, a, b), &a);
    EXPECT_TRUE(vecNear(*vec3_div(&a, a, 2), {5.5f, 11, 16.5f}));
    Vec3 c = {2, 3, 4};
    vec3_cross(&c, c, {5, 6, 7});
    EXPECT_TRUE(vecNear(c, {-3, 6, -3}));
    EXPECT_FLOAT_EQ(vec3_distance({1, 2, 3}, {4, 6, 3}), 5);
}

TEST(Vec3, SetLengthLeavesTheZeroVectorAlone) {
    Vec3 out;
    EXPECT_TRUE(vecNear(*vec3_set_length(&out, {3, 4, 0}, 10), {6, 8, 0}));
    EXPECT_TRUE(vecNear(*vec3_set_length(&out, {0, 0, 0}, 5), {0, 0, 0}, 0));
}

TEST(Points, TranslateAndRotateAboutACentreInPlace) {
    Vec3 p[4] = {{1, 0, 4}, {6, 1, 2}, {1, 2, 1}, {0, 1, 0}};
    points_translate(p, p, 3, {1, 1, 1});
    points_rotate_axis(&p[0], &p[0], 1, {1, 1, 0}, 2, 90);  // X goes to Y about Z
    points_rotate_axis(&p[1], &p[1], 1, {0, 1, 2}, 0, 90);  // Y goes to Z about X
    points_rotate_axis(&p[2], &p[2], 1, {1, 0, 1}, 1, 90);  // Z goes to X about Y
    points_rotate_axis(&p[3], &p[3], 1, {0, 0, 0}, 3, 90);  // unknown axis: untouched
    EXPECT_TRUE(vecNear(p[0], {1, 2, 5}));
    EXPECT_TRUE(vecNear(p[1], {7, 0, 3}));
    EXPECT_TRUE(vecNear(p[2], {2, 3, 0}));
    EXPECT_TRUE(vecNear(p[3], {0, 1, 0}, 0));
}

TEST(Angles, NormalizeAndAddWrapWholeTurns) {
    // 1e10 and -3e9 are past exact whole turns in float (exact remainders 280 and 240); -1e-6 + 360
    // rounds to a full turn.
    const float cases[][2] = {{-360, 0},  {720, 0},    {360, 0},     {-10, 350}, {-730, 350},
                              {1085, 5}, {1e10f, 280}, {-3e9f, 240}, {-1e-6f, 0}};
    for (auto& c : cases) {
        float a = c[0];
        EXPECT_FLOAT_EQ(angle_normalize(&a), c[1]) << c[0];
        EXPECT_FLOAT_EQ(a, c[1]) << c[0];
        EXPECT_FALSE(std::signbit(a)) << c[0];  // a whole turn gives 0, never -0 (printed "-0")
    }
    float a = 350;
    EXPECT_FLOAT_EQ(angle_add(&a, 20), 10);
    EXPECT_FLOAT_EQ(angle_add(&a, -30), 340);
    EXPECT_NEAR(deg_to_rad(180), 3.1415927f, 1e-6f);
    EXPECT_NEAR(rad_to_deg(3.1415927f), 180.0f, 1e-4f);
}

TEST(Angles, DifferenceIsTheSignedShortestTurn) {
    // from, to, the turn, the forward and the backward way round
    const float cases[][5] = {{350, 10, 20, 20, 340}, {10, 350, -20, 340, 20}, {0, 180, 180, 180, 180},
                              {180, 0, 180, 180, 180}, {90, 90, 0, 0, 360},
                              {730, 0, -10, -10, 10}};  // beyond a turn: the backward way kept within one
    float d, e, r;
    for (auto& c : cases) {
        EXPECT_FLOAT_EQ(angle_difference(c[0], c[1], &d, &e, &r), c[2]) << c[0] << " -> " << c[1];
        EXPECT_TRUE(r == c[2] && d == c[3] && e == c[4]) << c[0] << " -> " << c[1];
    }
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
