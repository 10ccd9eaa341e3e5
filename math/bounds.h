// Bounding volumes: axis-aligned boxes as (min, max), the same boxes as their eight corners, and
// enclosing spheres (a centre plus a radius held by the caller); also the normal of a plane.
#pragma once
#include "math/vec3.h"

// The corners of the box (x0, y0, z0)-(x1, y1, z1), always in this order:
// 0 (x1,y1,z1)  1 (x0,y1,z1)  2 (x0,y0,z1)  3 (x1,y0,z1)
// 4 (x1,y1,z0)  5 (x0,y1,z0)  6 (x0,y0,z0)  7 (x1,y0,z0)
struct BoxCorners {
    Vec3 p[8];
};

// Box of count points. An axis thinner than APPROX_EPSILON is widened by APPROX_EPSILON each way,
// so no box is flat. With count <= 0 the result is the inverted box (min +FAR_VALUE, max
// -FAR_VALUE), which any union replaces. points may overlap min or max.
void box_of_points(Vec3* min, Vec3* max, const Vec3* points, int count);
// Smallest box holding both boxes: componentwise min of the minima, max of the maxima.
void box_union(Vec3* min, Vec3* max, Vec3 min1, Vec3 max1, Vec3 min2, Vec3 max2);
// Corners of the box (min, max) in the order above.
void box_corners(Vec3 min, Vec3 max, BoxCorners* out);
// Corners of the box holding both corner sets (each first boxed with box_of_points, so each axis
// is at least APPROX_EPSILON thick). out may be a or b.
void corners_union(BoxCorners* out, const BoxCorners* a, const BoxCorners* b);
// Sphere around corners: centre = mean of the 8 points, radius = farthest corner from it.
void sphere_of_corners(const BoxCorners* corners, Vec3* centre, float* radius);
// Grows (centre, radius) towards (c2, r2): unchanged when the other sphere already lies inside;
// the other sphere itself when it holds this one; otherwise the new sphere spans from this sphere's
// far side to the other's far side along the line of the centres.
void sphere_merge(Vec3* centre, float* radius, Vec3 c2, float r2);
// Resets to a point-sized box at the origin (+-APPROX_EPSILON) and its enclosing sphere.
void corners_reset(BoxCorners* out, Vec3* centre, float* radius);
// Unit normal of the plane through p1, p2, p3 (counter-clockwise seen from the side it points to);
// collinear points give the zero vector.
Vec3* plane_normal(Vec3* out, Vec3 p1, Vec3 p2, Vec3 p3);
