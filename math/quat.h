// Quaternions (x, y, z, w): vector part first, scalar last; the identity is (0, 0, 0, 1). Operations
// take pointers. Angles are degrees.
#pragma once
#include "math/mat4.h"

struct Quat {
    float x, y, z, w;
};

// Below this value of 1 - cos(theta) slerp falls back to linear interpolation, where sin(theta)
// would be too small to divide by safely.
constexpr float SLERP_THRESHOLD = 0.1f;

// q = (0, 0, 0, 1).
void quat_identity(Quat* q);
// q = (x, y, z, w).
void quat_set(Quat* q, float x, float y, float z, float w);
// dst = src.
void quat_copy(Quat* dst, const Quat* src);
// q += p componentwise.
void quat_add(Quat* q, const Quat* p);
// dst = (-x, -y, -z, w) of src; dst may alias src.
void quat_conjugate(Quat* dst, const Quat* src);
// q *= s, all four components.
void quat_scale(Quat* q, float s);
// q = rotation by `degrees` about (x, y, z). The axis is not normalised, so it must be of unit
// length for q to be a unit quaternion.
void quat_from_axis_angle(Quat* q, float x, float y, float z, float degrees);
// dst = Hamilton product a*b (b applied first); dst may alias a or b.
void quat_mul(Quat* dst, const Quat* a, const Quat* b);
// sqrt(x^2 + y^2 + z^2 + w^2)
float quat_length(const Quat* q);
// Scales q to unit length; a zero quaternion stays zero.
void quat_normalize(Quat* q);
// M = rotation matrix of the unit quaternion q (no translation).
void quat_to_mat4(Mat4* M, const Quat* q);
// dst = interpolation from a (t = 0) to b (t = 1) along the shorter arc; note the end comes first.
// When a . b < 0 the caller's b is negated in place. Close quaternions (1 - a.b <= SLERP_THRESHOLD)
// are blended linearly. The result is not renormalised and t is not clamped. dst may alias a or b.
void quat_slerp(Quat* dst, float t, Quat* b, const Quat* a);
