// Debug shapes drawn over the scene in the current node's coordinates. Each turns texturing and
// lighting off and leaves them so. Colours are bytes.
#pragma once
#include <cstdint>

#include "math/bounds.h"

// A sphere of 32 x 32 grid points as filled triangles.
void draw_sphere(Vec3 centre, float radius, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// The six faces of a box given by its corners, as quads.
void draw_box(const BoxCorners* corners, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// A white 4-pixel point at the origin.
void draw_point_marker();
// Unit X, Y and Z lines in red, green and blue.
void draw_axes();
// Short (0.32) X, Y and Z lines in pale red, green and blue, 2 pixels wide.
void draw_small_axes();
