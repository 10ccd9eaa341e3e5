#include "math/mat4.h"

#include <cmath>
#include <cstring>

void mat4_identity(Mat4* M) {
    for (int i = 0; i < 16; i++) M->m[i] = 0.0f;
    M->m[0] = M->m[5] = M->m[10] = M->m[15] = 1.0f;
}

void mat4_copy(Mat4* dst, const Mat4* src) { std::memmove(dst->m, src->m, sizeof dst->m); }

void mat4_mul(Mat4* dst, const Mat4* A, const Mat4* B) {
    // Built in a temporary so that dst may be either operand.
    Mat4 r;
    for (int c = 0; c < 4; c++) {
        for (int row = 0; row < 4; row++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += A->m[4 * k + row] * B->m[4 * c + k];
            r.m[4 * c + row] = sum;
        }
    }
    mat4_copy(dst, &r);
}

void mat4_sub(Mat4* dst, const Mat4* A, const Mat4* B) {
    for (int i = 0; i < 16; i++) dst->m[i] = A->m[i] - B->m[i];
}

void mat4_translate(Mat4* M, float x, float y, float z) {
    Mat4 t;
    mat4_identity(&t);
    mat4_set_translation(&t, x, y, z);
    mat4_mul(M, M, &t);
}

void mat4_scale(Mat4* M, float x, float y, float z) {
    Mat4 s;
    mat4_identity(&s);
    s.m[0] = x;
    s.m[5] = y;
    s.m[10] = z;
    mat4_mul(M, M, &s);
}

void mat4_rotate(Mat4* M, float degrees, float x, float y, float z) {
    float a = degrees * DEG_TO_RAD;
    float c = std::cos(a);
    float s = std::sin(a);
    float t = 1.0f - c;
    Mat4 r;
    mat4_identity(&r);
    r.m[0] = c + t * x * x;
    r.m[1] = t * x * y + z * s;
    r.m[2] = t * x * z - y * s;
    r.m[4] = t * x * y - z * s;
    r.m[5] = c + t * y * y;
    r.m[6] = t * y * z + x * s;
    r.m[8] = t * x * z + y * s;
    r.m[9] = t * y * z - x * s;
    r.m[10] = c + t * z * z;
    mat4_mul(M, M, &r);
}

void mat4_rotate_principal(Mat4* M, float degrees, int which) {
    if (which < 0 || which > 2) return;
    float a = degrees * DEG_TO_RAD;
    float c = std::cos(a);
    float s = std::sin(a);
    Mat4 r;
    mat4_identity(&r);
    if (which == 0) {
        r.m[5] = c;
        r.m[6] = s;
        r.m[9] = -s;
        r.m[10] = c;
    } else if (which == 1) {
        r.m[0] = c;
        r.m[2] = -s;
        r.m[8] = s;
        r.m[10] = c;
    } else {
        r.m[0] = c;
        r.m[1] = s;
        r.m[4] = -s;
        r.m[5] = c;
    }
    mat4_mul(M, M, &r);
}

void mat4_set_translation(Mat4* M, float x, float y, float z) {
    M->m[12] = x;
    M->m[13] = y;
    M->m[14] = z;
}

void mat4_get_translation(const Mat4* M, float* x, float* y, float* z) {
    *x = M->m[12];
    *y = M->m[13];
    *z = M->m[14];
}

void mat4_transpose(Mat4* dst, const Mat4* src) {
    Mat4 r;
    for (int c = 0; c < 4; c++)
        for (int row = 0; row < 4; row++) r.m[4 * c + row] = src->m[4 * row + c];
    mat4_copy(dst, &r);
}

int mat4_inverse_affine(Mat4* dst, const Mat4* src) {
    const float* m = src->m;
    float d = m[0] * m[5] * m[10] + m[4] * m[9] * m[2] + m[8] * m[1] * m[6] -
              m[8] * m[5] * m[2] - m[4] * m[1] * m[10] - m[0] * m[9] * m[6];
    if ((double)(d * d) < INVERSE_THRESHOLD) return 0;
    float k = 1.0f / d;
    Mat4 r;
    // Adjugate of the 3x3 part times 1/det.
    r.m[0] = k * (m[5] * m[10] - m[9] * m[6]);
    r.m[1] = -k * (m[1] * m[10] - m[9] * m[2]);
    r.m[2] = k * (m[1] * m[6] - m[5] * m[2]);
    r.m[4] = -k * (m[4] * m[10] - m[8] * m[6]);
    r.m[5] = k * (m[0] * m[10] - m[8] * m[2]);
    r.m[6] = -k * (m[0] * m[6] - m[4] * m[2]);
    r.m[8] = k * (m[4] * m[9] - m[8] * m[5]);
    r.m[9] = -k * (m[0] * m[9] - m[8] * m[1]);
    r.m[10] = k * (m[0] * m[5] - m[4] * m[1]);
    r.m[3] = r.m[7] = r.m[11] = 0.0f;
    // The inverse translation is the source translation taken back through the inverse 3x3.
    for (int i = 0; i < 3; i++)
        r.m[12 + i] = -(r.m[i] * m[12] + r.m[i + 4] * m[13] + r.m[i + 8] * m[14]);
    r.m[15] = 1.0f;
    mat4_copy(dst, &r);
    return 1;
}

void mat4_look_at(Mat4* out, Vec3 eye, Vec3 target, Vec3 up) {
    Vec3 f, s, u;
    vec3_set_length(&f, *vec3_sub(&f, target, eye), 1.0f);
    vec3_set_length(&s, *vec3_cross(&s, f, up), 1.0f);
    vec3_set_length(&u, *vec3_cross(&u, s, f), 1.0f);
    float* m = out->m;
    m[0] = s.x;
    m[1] = s.y;
    m[2] = s.z;
    m[3] = 0.0f;
    m[4] = u.x;
    m[5] = u.y;
    m[6] = u.z;
    m[7] = 0.0f;
    m[8] = -f.x;
    m[9] = -f.y;
    m[10] = -f.z;
    m[11] = 0.0f;
    m[12] = eye.x;
    m[13] = eye.y;
    m[14] = eye.z;
    m[15] = 1.0f;
}

void points_transform_linear(const Mat4* M, Vec3* dst, const Vec3* src, int count) {
    const float* m = M->m;
    for (int i = 0; i < count; i++) {
        Vec3 p = src[i];
        vec3_set(&dst[i], p.x * m[0] + p.y * m[4] + p.z * m[8],
                 p.x * m[1] + p.y * m[5] + p.z * m[9],
                 p.x * m[2] + p.y * m[6] + p.z * m[10]);
    }
}

void points_transform(const Mat4* M, Vec3* dst, const Vec3* src, int count) {
    const float* m = M->m;
    for (int i = 0; i < count; i++) {
        Vec3 p = src[i];
        float w = p.x * m[3] + p.y * m[7] + p.z * m[11] + m[15];
        // A point at infinity is left unprojected rather than divided by zero.
        if (w == 0.0f) w = 1.0f;
        vec3_set(&dst[i], (p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12]) / w,
                 (p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13]) / w,
                 (p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]) / w);
    }
}
