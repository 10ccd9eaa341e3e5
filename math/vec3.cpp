#include "math/vec3.h"

#include <cmath>

// Largest magnitude in degrees for which whole-turn arithmetic in float is exact (2^24 / 45 turns).
static const float ANGLE_EXACT_LIMIT = 1.3e8f;

Vec3* vec3_set(Vec3* out, float x, float y, float z) {
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3* vec3_add(Vec3* out, Vec3 a, Vec3 b) { return vec3_set(out, a.x + b.x, a.y + b.y, a.z + b.z); }

Vec3* vec3_sub(Vec3* out, Vec3 a, Vec3 b) { return vec3_set(out, a.x - b.x, a.y - b.y, a.z - b.z); }

Vec3* vec3_add_scalar(Vec3* out, Vec3 a, float s) {
    return vec3_set(out, a.x + s, a.y + s, a.z + s);
}

Vec3* vec3_scale(Vec3* out, Vec3 a, float s) { return vec3_set(out, a.x * s, a.y * s, a.z * s); }

Vec3* vec3_div(Vec3* out, Vec3 a, float s) { return vec3_set(out, a.x / s, a.y / s, a.z / s); }

Vec3* vec3_mul(Vec3* out, Vec3 a, Vec3 b) { return vec3_set(out, a.x * b.x, a.y * b.y, a.z * b.z); }

Vec3* vec3_cross(Vec3* out, Vec3 a, Vec3 b) {
    return vec3_set(out, a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float vec3_dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

float vec3_length(Vec3 a) { return std::sqrt(vec3_dot(a, a)); }

float vec3_distance(Vec3 a, Vec3 b) {
    Vec3 d;
    return vec3_length(*vec3_sub(&d, b, a));
}

Vec3* vec3_set_length(Vec3* out, Vec3 a, float L) {
    float len = vec3_length(a);
    // A zero vector has no direction; scaling it by 0 keeps it zero without a division.
    float factor = (len == 0.0f) ? len : L / len;
    return vec3_scale(out, a, factor);
}

float vec3_angle(Vec3 a, Vec3 b) {
    float angle = std::acos(vec3_dot(a, b) / (vec3_length(a) * vec3_length(b)));
    return std::isnan(angle) ? 0.0f : angle;
}

bool vec3_approx_equal(Vec3 a, Vec3 b) {
    return b.x - APPROX_EPSILON < a.x && a.x < b.x + APPROX_EPSILON &&
           b.y - APPROX_EPSILON < a.y && a.y < b.y + APPROX_EPSILON &&
           b.z - APPROX_EPSILON < a.z && a.z < b.z + APPROX_EPSILON;
}

void points_translate(Vec3* dst, const Vec3* src, int count, Vec3 offset) {
    for (int i = 0; i < count; i++) vec3_add(&dst[i], src[i], offset);
}

void points_rotate_axis(Vec3* dst, const Vec3* src, int count, Vec3 centre, int axis,
                        float degrees) {
    if (axis < 0 || axis > 2) return;
    float a = degrees * DEG_TO_RAD;
    float c = std::cos(a);
    float s = std::sin(a);
    for (int i = 0; i < count; i++) {
        // Read the whole point before writing so that dst may be src.
        Vec3 p = src[i];
        float dx = p.x - centre.x;
        float dy = p.y - centre.y;
        float dz = p.z - centre.z;
        if (axis == 0) {
            p.y = centre.y + c * dy - s * dz;
            p.z = centre.z + s * dy + c * dz;
        } else if (axis == 1) {
            p.x = centre.x + s * dz + c * dx;
            p.z = centre.z + c * dz - s * dx;
        } else {
            p.x = centre.x + c * dx - s * dy;
            p.y = centre.y + s * dx + c * dy;
        }
        dst[i] = p;
    }
}

float deg_to_rad(float degrees) { return degrees * DEG_TO_RAD; }

float rad_to_deg(float radians) { return radians * RAD_TO_DEG; }

float angle_normalize(float* degrees) {
    float p = *degrees;
    if (p < 0.0f) p += (std::trunc(p / -360.0f) + 1.0f) * 360.0f;
    if (p >= 360.0f) p += std::trunc(p / -360.0f) * 360.0f;
    // Whole turns times 360 stop being exact in float beyond ANGLE_EXACT_LIMIT, and the rounded
    // quotient can miss by a turn; take the true remainder of the original value then.
    if (p < 0.0f || p >= 360.0f || std::fabs(*degrees) > ANGLE_EXACT_LIMIT) {
        p = std::fmod(*degrees, 360.0f);
        if (p < 0.0f) p += 360.0f;
        if (p >= 360.0f) p = 0.0f;  // a tiny negative remainder rounds up to a full turn
    }
    *degrees = p;
    return p;
}

float angle_add(float* degrees, float delta) {
    *degrees += delta;
    return angle_normalize(degrees);
}

float angle_difference(float from, float to, float* d, float* e, float* result) {
    float fwd = (to > from) ? to - from : to + (360.0f - from);
    if (fwd < 0.0f)
        fwd += 360.0f;
    else if (fwd >= 360.0f)
        fwd -= 360.0f;
    float back = 360.0f - fwd;
    if (back > 360.0f) back -= 360.0f;
    float r = (std::fabs(fwd) > std::fabs(back)) ? -back : fwd;
    *d = fwd;
    *e = back;
    *result = r;
    return r;
}
