// One frame of the 3D scene: for each view, fresh world matrices, the camera's projection and view
// matrix, the scene's lights, then every node drawn in an opaque pass (depth writes on, with the
// debug overlays) and a transparent pass (depth writes off).
#pragma once
#include <cstdint>

// render_view for every view in use whose scene is set, in slot order.
void render_views();
// Draws one view. Without a usable camera (no camera copy, or one whose Camera is gone) it shows
// the "no camera" message and draws nothing.
void render_view(int32_t view);
// Perspective projection of a camera; the aspect comes from the camera, not from the window. A
// camera whose frustum GL would reject (near <= 0, far == near, zero aspect or field of view)
// leaves the identity.
void render_projection(int32_t camera);
// Loads the camera's view matrix and sets one directional GL light per light copy of the view's
// scene, in slot order, from GL_LIGHT0 on (up to GL_MAX_LIGHTS).
void render_lights(int32_t view, int32_t camera);
