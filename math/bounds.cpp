#include "math/bounds.h"

// Widens one axis that is thinner than the minimum extent, so that no box is flat.
static void widenAxis(float* lo, float* hi) {
    if (*hi - *lo < APPROX_EPSILON) {
        *hi += APPROX_EPSILON;
        *lo -= APPROX_EPSILON;
    }
}

void box_of_points(Vec3* min, Vec3* max, const Vec3* points, int count) {
    Vec3 lo = {FAR_VALUE, FAR_VALUE, FAR_VALUE};
    Vec3 hi = {-FAR_VALUE, -FAR_VALUE, -FAR_VALUE};
    for (int i = 0; i < count; i++) {
        const Vec3& p = points[i];
        if (p.x < lo.x) lo.x = p.x;
        if (p.y < lo.y) lo.y = p.y;
        if (p.z < lo.z) lo.z = p.z;
        if (p.x > hi.x) hi.x = p.x;
        if (p.y > hi.y) hi.y = p.y;
        if (p.z > hi.z) hi.z = p.z;
    }
    widenAxis(&lo.x, &hi.x);
    widenAxis(&lo.y, &hi.y);
    widenAxis(&lo.z, &hi.z);
    *min = lo;
    *max = hi;
}

static float minf(float a, float b) { return b < a ? b : a; }
static float maxf(float a, float b) { return b > a ? b : a; }

void box_union(Vec3* min, Vec3* max, Vec3 min1, Vec3 max1, Vec3 min2, Vec3 max2) {
    vec3_set(min, minf(min1.x, min2.x), minf(min1.y, min2.y), minf(min1.z, min2.z));
    vec3_set(max, maxf(max1.x, max2.x), maxf(max1.y, max2.y), maxf(max1.z, max2.z));
}

void box_corners(Vec3 min, Vec3 max, BoxCorners* out) {
    vec3_set(&out->p[0], max.x, max.y, max.z);
    vec3_set(&out->p[1], min.x, max.y, max.z);
    vec3_set(&out->p[2], min.x, min.y, max.z);
    vec3_set(&out->p[3], max.x, min.y, max.z);
    vec3_set(&out->p[4], max.x, max.y, min.z);
    vec3_set(&out->p[5], min.x, max.y, min.z);
    vec3_set(&out->p[6], min.x, min.y, min.z);
    vec3_set(&out->p[7], max.x, min.y, min.z);
}

void corners_union(BoxCorners* out, const BoxCorners* a, const BoxCorners* b) {
    // Both boxes are taken before out is written, so out may be a or b.
    Vec3 minA, maxA, minB, maxB, lo, hi;
    box_of_points(&minA, &maxA, a->p, 8);
    box_of_points(&minB, &maxB, b->p, 8);
    box_union(&lo, &hi, minA, maxA, minB, maxB);
    box_corners(lo, hi, out);
}

void sphere_of_corners(const BoxCorners* corners, Vec3* centre, float* radius) {
    Vec3 sum = {0.0f, 0.0f, 0.0f};
    for (const Vec3& p : corners->p) vec3_add(&sum, sum, p);
    Vec3 c;
    vec3_div(&c, sum, 8.0f);
    float r = 0.0f;
    for (const Vec3& p : corners->p) {
        float dist = vec3_distance(c, p);
        if (dist > r) r = dist;
    }
    *centre = c;
    *radius = r;
}

void sphere_merge(Vec3* centre, float* radius, Vec3 c2, float r2) {
    Vec3 toOther;
    vec3_sub(&toOther, c2, *centre);
    float dist = vec3_length(toOther);
    float grow = dist + r2 - *radius;
    if (grow <= 0.0f) return;
    // When the other sphere already holds this one, growing half-way would leave part of it outside.
    if (dist + *radius <= r2) {
        *centre = c2;
        *radius = r2;
        return;
    }
    // Half the growth goes into the radius and half into moving the centre towards the other
    // sphere, which keeps this sphere's far side where it is.
    float h = grow / 2.0f;
    *radius += h;
    Vec3 dir;
    vec3_set_length(&dir, toOther, 1.0f);
    vec3_add(centre, *centre, *vec3_scale(&dir, dir, h));
}

void corners_reset(BoxCorners* out, Vec3* centre, float* radius) {
    Vec3 lo = {-APPROX_EPSILON, -APPROX_EPSILON, -APPROX_EPSILON};
    Vec3 hi = {APPROX_EPSILON, APPROX_EPSILON, APPROX_EPSILON};
    box_corners(lo, hi, out);
    sphere_of_corners(out, centre, radius);
}

Vec3* plane_normal(Vec3* out, Vec3 p1, Vec3 p2, Vec3 p3) {
    Vec3 e1, e2;
    vec3_sub(&e1, p2, p1);
    vec3_sub(&e2, p3, p1);
    vec3_cross(out, e1, e2);
    return vec3_set_length(out, *out, 1.0f);
}
