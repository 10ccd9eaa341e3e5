#include "math/quat.h"

#include <cmath>

void quat_identity(Quat* q) { quat_set(q, 0.0f, 0.0f, 0.0f, 1.0f); }

void quat_set(Quat* q, float x, float y, float z, float w) {
    q->x = x;
    q->y = y;
    q->z = z;
    q->w = w;
}

void quat_copy(Quat* dst, const Quat* src) { *dst = *src; }

void quat_add(Quat* q, const Quat* p) {
    quat_set(q, q->x + p->x, q->y + p->y, q->z + p->z, q->w + p->w);
}

void quat_conjugate(Quat* dst, const Quat* src) { quat_set(dst, -src->x, -src->y, -src->z, src->w); }

void quat_scale(Quat* q, float s) { quat_set(q, q->x * s, q->y * s, q->z * s, q->w * s); }

void quat_from_axis_angle(Quat* q, float x, float y, float z, float degrees) {
    float h = degrees * DEG_TO_RAD * 0.5f;
    float s = std::sin(h);
    quat_set(q, x * s, y * s, z * s, std::cos(h));
}

void quat_mul(Quat* dst, const Quat* a, const Quat* b) {
    // Built in a temporary so that dst may be either operand.
    Quat r;
    r.w = a->w * b->w - a->x * b->x - a->y * b->y - a->z * b->z;
    r.x = a->w * b->x + a->x * b->w + a->y * b->z - a->z * b->y;
    r.y = a->w * b->y + a->y * b->w + a->z * b->x - a->x * b->z;
    r.z = a->w * b->z + a->z * b->w + a->x * b->y - a->y * b->x;
    *dst = r;
}

float quat_length(const Quat* q) {
    return std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
}

void quat_normalize(Quat* q) {
    float len = quat_length(q);
    if (len == 0.0f) return;
    quat_scale(q, 1.0f / len);
}

void quat_to_mat4(Mat4* M, const Quat* q) {
    float x = q->x, y = q->y, z = q->z, w = q->w;
    float* m = M->m;
    m[0] = 1.0f - 2.0f * (y * y + z * z);
    m[1] = 2.0f * (x * y + w * z);
    m[2] = 2.0f * (x * z - w * y);
    m[3] = 0.0f;
    m[4] = 2.0f * (x * y - w * z);
    m[5] = 1.0f - 2.0f * (x * x + z * z);
    m[6] = 2.0f * (y * z + w * x);
    m[7] = 0.0f;
    m[8] = 2.0f * (x * z + w * y);
    m[9] = 2.0f * (y * z - w * x);
    m[10] = 1.0f - 2.0f * (x * x + y * y);
    m[11] = 0.0f;
    m[12] = m[13] = m[14] = 0.0f;
    m[15] = 1.0f;
}

void quat_slerp(Quat* dst, float t, Quat* b, const Quat* a) {
    if (a->x == b->x && a->y == b->y && a->z == b->z && a->w == b->w) {
        quat_copy(dst, a);
        return;
    }
    float d = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
    if (d < 0.0f) {
        // q and -q are the same rotation; flipping b makes the path the shorter arc.
        quat_set(b, -b->x, -b->y, -b->z, -b->w);
        d = -d;
    }
    float wa, wb;
    if (1.0f - d > SLERP_THRESHOLD) {
        float theta = std::acos(d);
        float s = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    } else {
        wa = 1.0f - t;
        wb = t;
    }
    // Both inputs are read before dst is written, so dst may be a or b.
    Quat r = {wa * a->x + wb * b->x, wa * a->y + wb * b->y, wa * a->z + wb * b->z,
              wa * a->w + wb * b->w};
    *dst = r;
}
