// Three-float vectors, contiguous point arrays and angles in degrees. All arithmetic is single
// precision. Vector operations take operands by value and write through `out`, which they return;
// `out` may point at one of the operands. Point-array operations work in place when dst == src.
#pragma once
#include <cstdint>

struct Vec3 {
    float x, y, z;
};
static_assert(sizeof(Vec3) == 12, "point arrays are handed to OpenGL with a 12-byte stride");

// Tolerance of approximate equality, minimum box extent and degenerate axis length.
constexpr float APPROX_EPSILON = 0.0001f;
// Start value of a box search: the minimum starts at +FAR_VALUE, the maximum at -FAR_VALUE.
constexpr float FAR_VALUE = 1.84e19f;
// Degrees to radians, radians to degrees, and degrees to half-radians (half a field of view).
constexpr float DEG_TO_RAD = 0.017453292f;
constexpr float RAD_TO_DEG = 57.29578f;
constexpr float DEG_TO_HALF_RAD = 0.008726646f;

// out = (x, y, z).
Vec3* vec3_set(Vec3* out, float x, float y, float z);
// out = a + b.
Vec3* vec3_add(Vec3* out, Vec3 a, Vec3 b);
// out = a - b.
Vec3* vec3_sub(Vec3* out, Vec3 a, Vec3 b);
// out = (a.x + s, a.y + s, a.z + s).
Vec3* vec3_add_scalar(Vec3* out, Vec3 a, float s);
// out = a * s.
Vec3* vec3_scale(Vec3* out, Vec3 a, float s);
// out = a / s; s == 0 gives infinities or NaN, exactly as the division does.
Vec3* vec3_div(Vec3* out, Vec3 a, float s);
// out = componentwise a * b.
Vec3* vec3_mul(Vec3* out, Vec3 a, Vec3 b);
// out = a x b (right-handed).
Vec3* vec3_cross(Vec3* out, Vec3 a, Vec3 b);
// a . b
float vec3_dot(Vec3 a, Vec3 b);
// |a|
float vec3_length(Vec3 a);
// |b - a|
float vec3_distance(Vec3 a, Vec3 b);
// out = a scaled to length L (L = 1 normalises). A vector of length exactly 0 gives the zero
// vector instead of dividing by zero; a negative L points the result the other way.
Vec3* vec3_set_length(Vec3* out, Vec3 a, float L);
// Angle between a and b in radians, in [0, pi]. When the cosine is NaN (a zero-length input, or a
// rounded cosine just outside [-1, 1]) the result is 0; note that this also maps a rounded
// anti-parallel pair to 0 rather than pi, which callers comparing directions must allow for.
float vec3_angle(Vec3 a, Vec3 b);
// True when every component of a lies strictly within APPROX_EPSILON of b's.
bool vec3_approx_equal(Vec3 a, Vec3 b);

// dst[i] = src[i] + offset for count points; count <= 0 does nothing.
void points_translate(Vec3* dst, const Vec3* src, int count, Vec3 offset);
// Rotates count points by `degrees` about the line through `centre` parallel to axis 0 (X), 1 (Y)
// or 2 (Z), right-handed. Any other axis value leaves dst untouched.
void points_rotate_axis(Vec3* dst, const Vec3* src, int count, Vec3 centre, int axis,
                        float degrees);

// degrees * DEG_TO_RAD
float deg_to_rad(float degrees);
// radians * RAD_TO_DEG
float rad_to_deg(float radians);
// Brings *degrees into [0, 360) by whole turns (-360 and 720 become 0) and returns it. Beyond about
// 1.3e8 degrees, where whole turns are no longer exact in float, it takes the exact remainder
// (fmodf) instead, so the range always holds. NaN and infinities give NaN.
float angle_normalize(float* degrees);
// *degrees += delta, then angle_normalize; returns the new value.
float angle_add(float* degrees, float delta);
// Signed shortest turn from `from` to `to` in (-180, 180], exactly 180 giving +180 (350 -> 10 is
// +20, 10 -> 350 is -20). Writes the forward turn d (brought into [0, 360) by a single step of 360,
// so both angles should be normalised or near it), the backward turn e = 360 - d and the result;
// all three pointers must be valid. Returns the result as well.
float angle_difference(float from, float to, float* d, float* e, float* result);
