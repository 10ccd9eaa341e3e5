// 4x4 matrices in OpenGL order (what glLoadMatrixf takes): column-major, element (row r, column c)
// at m[4*c + r], translation at 12, 13, 14. Operations take pointers; M is modified in place unless
// an output is named. Angles are degrees.
#pragma once
#include "math/vec3.h"

struct Mat4 {
    float m[16];
};

// Below this value of det*det (compared in double) an affine matrix counts as singular.
constexpr double INVERSE_THRESHOLD = 1e-25;

// M = identity.
void mat4_identity(Mat4* M);
// dst = src.
void mat4_copy(Mat4* dst, const Mat4* src);
// dst = A*B (B applied first, as glMultMatrixf onto A); dst may alias A or B.
void mat4_mul(Mat4* dst, const Mat4* A, const Mat4* B);
// dst = A - B elementwise; dst may alias A or B.
void mat4_sub(Mat4* dst, const Mat4* A, const Mat4* B);
// M = M*T, T the translation by (x, y, z).
void mat4_translate(Mat4* M, float x, float y, float z);
// M = M*S, S the scale diag(x, y, z, 1).
void mat4_scale(Mat4* M, float x, float y, float z);
// M = M*R, R the right-handed rotation by `degrees` about (x, y, z). The axis is used as given, so
// it must be of unit length for R to be a pure rotation.
void mat4_rotate(Mat4* M, float degrees, float x, float y, float z);
// M = M*R about a principal axis: which = 0 (X), 1 (Y) or 2 (Z). Any other value leaves M
// unchanged.
void mat4_rotate_principal(Mat4* M, float degrees, int which);
// Writes the translation (indices 12, 13, 14), leaving the rest.
void mat4_set_translation(Mat4* M, float x, float y, float z);
// Reads the translation (indices 12, 13, 14).
void mat4_get_translation(const Mat4* M, float* x, float* y, float* z);
// dst = transpose of src; dst may alias src.
void mat4_transpose(Mat4* dst, const Mat4* src);
// dst = inverse of the affine src (its bottom row is ignored and written as 0, 0, 0, 1). Returns 1,
// or 0 when the 3x3 part is singular (det*det < INVERSE_THRESHOLD), leaving dst untouched. dst may
// alias src.
int mat4_inverse_affine(Mat4* dst, const Mat4* src);
// out = camera-to-world matrix of an eye at `eye` looking at `target` along its own -Z with +Y
// towards `up`. When the view direction is parallel to `up` (or eye == target) the degenerate
// columns come out as zero vectors, never NaN.
void mat4_look_at(Mat4* out, Vec3 eye, Vec3 target, Vec3 up);
// dst[i] = upper-left 3x3 of M times src[i] (directions: no translation); dst may be src.
void points_transform_linear(const Mat4* M, Vec3* dst, const Vec3* src, int count);
// dst[i] = M times (src[i], 1) divided by its w; a w of exactly 0 is taken as 1. dst may be src.
void points_transform(const Mat4* M, Vec3* dst, const Vec3* src, int count);
