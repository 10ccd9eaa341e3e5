// Comparison helpers shared by the math tests.
#pragma once
#include <gtest/gtest.h>

#include <cmath>

#include "math/mat4.h"

inline ::testing::AssertionResult vecNear(Vec3 a, Vec3 b, float tol = 1e-5f) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a.x << "," << a.y << "," << a.z << " vs " << b.x << ","
                                         << b.y << "," << b.z;
}

inline ::testing::AssertionResult matNear(const Mat4& a, const Mat4& b, float tol = 1e-5f) {
    for (int i = 0; i < 16; i++)
        if (!(std::fabs(a.m[i] - b.m[i]) <= tol))
            return ::testing::AssertionFailure() << "[" << i << "] " << a.m[i] << " vs " << b.m[i];
    return ::testing::AssertionSuccess();
}

inline Mat4 identityMat() {
    Mat4 m;
    mat4_identity(&m);
    return m;
}

// M applied to one point, with the projective divide.
inline Vec3 apply(const Mat4& M, Vec3 p) {
    points_transform(&M, &p, &p, 1);
    return p;
}
